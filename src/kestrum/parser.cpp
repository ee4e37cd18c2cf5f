#include "kestrum/parser.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <numeric>
#include <string_view>
#include <unordered_set>

#include <fmt/format.h>

#include "kestrum/checked.h"
#include "kestrum/lexer.h"

namespace kestrum {

namespace {

// startxref is looked for only this close to the end of the file.
constexpr size_t kStartxrefWindow = 2048;

bool contains(const std::vector<uint32_t>& v, uint32_t x) {
  return std::find(v.begin(), v.end(), x) != v.end();
}

// The next token as a number: an Integer, or a Real truncated toward zero. An empty token (a
// delimiter or the end of data) is not a number, so that loops over counts from the file
// stop where the data does.
std::optional<int64_t> read_int_token(Cursor& c) {
  c.skip_ws();
  std::span<const uint8_t> token = c.read_regular();
  if (token.empty()) return std::nullopt;
  std::optional<Object> n = parse_number(token);
  return n ? n->as_int() : std::nullopt;
}

// The next token when it is an Integer.
std::optional<int64_t> read_integer_token(Cursor& c) {
  c.skip_ws();
  std::span<const uint8_t> token = c.read_regular();
  if (token.empty()) return std::nullopt;
  std::optional<Object> n = parse_number(token);
  return n ? n->as_integer() : std::nullopt;
}

// Moves past "number generation obj"; true when the keyword is there and the first token is
// `number` (the generation is not checked).
bool read_object_header(Cursor& c, uint32_t number) {
  c.skip_ws();
  std::span<const uint8_t> first = c.read_regular();
  c.skip_ws();
  c.read_regular();
  c.skip_ws();
  if (!c.eat_keyword("obj")) return false;
  std::optional<Object> n = parse_number(first);
  return n && n->as_integer() == int64_t{number};
}

size_t to_offset(int64_t v) {
  // A negative offset can never be inside the data.
  return v < 0 ? std::numeric_limits<size_t>::max() : static_cast<size_t>(v);
}

uint64_t read_big_endian(std::span<const uint8_t> data, size_t at, size_t width) {
  uint64_t v = 0;
  for (size_t k = 0; k < width; ++k) v = v << 8 | data[at + k];
  return v;
}

bool is_digit(uint8_t c) {
  return c >= '0' && c <= '9';
}

// A run of decimal digits as a number, saturating far above any limit it is compared to.
uint64_t digits_value(std::span<const uint8_t> data, size_t from, size_t to) {
  uint64_t v = 0;
  for (size_t i = from; i < to; ++i) v = std::min<uint64_t>(v * 10 + (data[i] - '0'), 1ull << 40);
  return v;
}

void decrypt_in_place(Object& object, uint32_t number, uint16_t generation, const Decryptor& d) {
  switch (object.kind()) {
    case Object::Kind::String: {
      Bytes* s = object.as_string();
      *s = d.decrypt(d.string_method, number, generation, *s);
      break;
    }
    case Object::Kind::Array:
      for (Object& element : *object.as_array()) decrypt_in_place(element, number, generation, d);
      break;
    case Object::Kind::Dict:
      for (auto& [key, value] : *object.as_dict()) decrypt_in_place(value, number, generation, d);
      break;
    case Object::Kind::Stream: {
      Stream& stream = *object.as_stream();
      // A cross-reference stream is stored in the clear, the strings of its dictionary (the
      // document /ID among them) included.
      if (stream.dict.has_name("Type", "XRef")) break;
      for (auto& [key, value] : stream.dict) decrypt_in_place(value, number, generation, d);
      // Metadata is encrypted only when the file says so.
      if (!stream.dict.has_name("Type", "Metadata") || d.encrypt_metadata) {
        stream.data = std::make_shared<const Bytes>(
            d.decrypt(d.stream_method, number, generation, *stream.data));
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace

// Resolves through the file while carrying the current load chain, so that a filter parameter
// that leads back into the object being loaded ends as Null.
class ChainResolver final : public Resolver {
 public:
  ChainResolver(const PdfFile& file, Visiting& visiting) : file_(file), visiting_(visiting) {}
  Object resolve(const Object& object) const override {
    return file_.resolve_with(object, visiting_);
  }

 private:
  const PdfFile& file_;
  Visiting& visiting_;
};

std::optional<size_t> ObjStmIndex::find(uint32_t number, uint32_t hint) const {
  if (hint < entries.size() && entries[hint].first == number) return hint;
  auto it = std::lower_bound(by_number.begin(), by_number.end(), number,
                             [&](uint32_t pos, uint32_t n) { return entries[pos].first < n; });
  if (it != by_number.end() && entries[*it].first == number) return *it;
  return std::nullopt;
}

void merge_trailer(Dict& accumulated, const Dict& dict) {
  for (const auto& [key, value] : dict) {
    if (!accumulated.contains(key)) accumulated.insert(key, value);
  }
}

// Reads the cross-reference chain of a file under construction, or rebuilds it by scanning.
class XrefReader {
 public:
  explicit XrefReader(PdfFile& file) : file_(file), data_(file.data_) {}

  // Any damage in the chain is an error; the caller then rebuilds.
  Result<void> read_chain();
  // The rebuild runs in two steps with the decryptor made in between: objects stored in the
  // file itself and the trailer first, then the object streams, which may be encrypted.
  Result<void> rebuild();
  void finish_rebuild();

 private:
  struct Occurrence {
    uint32_t number;
    uint16_t generation;
    size_t header;  // first digit of the object number
    size_t body;    // just after "obj"
  };

  Result<void> read_table(Cursor& c, std::deque<size_t>& pending);
  Result<void> read_xref_stream(Cursor& c, std::deque<size_t>& pending);
  void insert(uint32_t number, XrefEntry entry) { file_.xref_.try_emplace(number, entry); }
  void push_prev(const Dict& trailer, std::deque<size_t>& pending);
  std::vector<Occurrence> scan_objects() const;
  bool packed_is_catalog(uint32_t number, const InStream& entry,
                         std::unordered_map<uint32_t, std::vector<size_t>>& offsets);
  std::optional<Dict> scan_trailer() const;
  // An object of the scan read only up to the next object header the scan found, which keeps a
  // file of many unterminated objects linear to scan.
  std::span<const uint8_t> window(size_t k) const {
    return data_.first(k + 1 < found_.size() ? found_[k + 1].header : data_.size());
  }

  PdfFile& file_;
  std::span<const uint8_t> data_;
  // State of a rebuild between its two steps.
  std::vector<Occurrence> found_;
  std::unordered_map<uint32_t, size_t> winner_;
  std::vector<uint32_t> object_streams_;
};

void XrefReader::push_prev(const Dict& trailer, std::deque<size_t>& pending) {
  if (const Object* prev = trailer.get("Prev")) {
    if (auto v = prev->as_int(); v && *v >= 0) pending.push_front(static_cast<size_t>(*v));
  }
}

Result<void> XrefReader::read_chain() {
  size_t tail = data_.size() > kStartxrefWindow ? data_.size() - kStartxrefWindow : 0;
  size_t at = rfind_bytes(data_.subspan(tail), "startxref");
  if (at == std::string_view::npos) return std::unexpected(Error::parse("no startxref"));
  Cursor c(data_, tail + at + 9);
  auto start = read_integer_token(c);
  if (!start || *start < 0) return std::unexpected(Error::parse("bad startxref offset"));

  // The last pending offset is read next: a table's /XRefStm goes to the back and is read right
  // after it, /Prev sections go to the front and are read after everything else.
  std::deque<size_t> pending{static_cast<size_t>(*start)};
  std::unordered_set<size_t> visited;
  while (!pending.empty()) {
    size_t offset = pending.back();
    pending.pop_back();
    if (offset >= data_.size() || !visited.insert(offset).second) continue;
    Cursor section(data_, offset);
    section.skip_ws();
    Result<void> read = section.eat_keyword("xref") ? read_table(section, pending)
                                                    : read_xref_stream(section, pending);
    if (!read) return read;
  }
  if (file_.trailer_.empty() || !file_.trailer_.contains("Root")) {
    return std::unexpected(Error::parse("trailer has no /Root"));
  }
  return {};
}

Result<void> XrefReader::read_table(Cursor& c, std::deque<size_t>& pending) {
  while (true) {
    c.skip_ws();
    if (c.eat_keyword("trailer")) {
      std::optional<Object> object = c.read_object_at(0);
      const Dict* trailer = object ? object->dict_or_stream_dict() : nullptr;
      if (trailer == nullptr) {
        return std::unexpected(Error::parse("xref table without trailer dict"));
      }
      merge_trailer(file_.trailer_, *trailer);
      push_prev(*trailer, pending);
      if (const Object* stm = trailer->get("XRefStm")) {
        if (auto v = stm->as_int(); v && *v >= 0) pending.push_back(static_cast<size_t>(*v));
      }
      return {};
    }
    auto start = read_integer_token(c);
    if (!start || *start < 0) return std::unexpected(Error::parse("bad xref subsection"));
    auto count = read_integer_token(c);
    if (!count || *count < 0) return std::unexpected(Error::parse("bad xref subsection count"));
    for (int64_t i = 0; i < *count; ++i) {
      auto offset = read_int_token(c);
      auto generation = read_int_token(c);
      c.skip_ws();
      std::span<const uint8_t> type = c.read_regular();
      if (!offset || !generation) return std::unexpected(Error::parse("bad xref entry"));
      if (type.size() != 1 || type[0] != 'n') continue;  // free entries and junk
      uint64_t number = static_cast<uint64_t>(*start) + static_cast<uint64_t>(i);
      if (number > std::numeric_limits<uint32_t>::max()) continue;
      auto gen = static_cast<uint16_t>(std::clamp<int64_t>(*generation, 0, 65535));
      insert(static_cast<uint32_t>(number), InFile{to_offset(*offset), gen});
    }
  }
}

Result<void> XrefReader::read_xref_stream(Cursor& c, std::deque<size_t>& pending) {
  c.skip_ws();
  c.read_regular();
  c.skip_ws();
  c.read_regular();
  c.skip_ws();
  if (!c.eat_keyword("obj")) {
    return std::unexpected(Error::parse("startxref points at neither table nor stream"));
  }
  std::optional<Object> object = c.read_object_at(0);
  if (!object) return std::unexpected(Error::parse("empty xref stream object"));
  Dict* dict = object->as_dict();
  if (dict == nullptr) return std::unexpected(Error::parse("xref stream object is not a stream"));
  c.skip_ws();
  if (!c.eat_keyword("stream")) {
    return std::unexpected(Error::parse("xref stream without stream body"));
  }
  // Only a direct length is used: the objects that could hold it are not known yet.
  std::optional<size_t> length;
  if (const Object* l = dict->get("Length"); l != nullptr && l->is_number()) {
    length = static_cast<size_t>(std::max<int64_t>(0, *l->as_int()));
  }
  Stream stream = c.read_stream_data(std::move(*dict), length);
  Result<Decoded> decoded = decode(stream, FileResolver(file_));
  if (!decoded) return std::unexpected(std::move(decoded.error()));
  const Dict& sd = stream.dict;

  std::vector<int64_t> widths;
  if (const Object* w = sd.get("W"); w != nullptr && w->is_array()) {
    for (const Object& e : *w->as_array()) {
      if (auto v = e.as_integer()) widths.push_back(*v);
    }
  }
  bool negative = std::any_of(widths.begin(), widths.end(), [](int64_t v) { return v < 0; });
  if (widths.size() < 3 || negative) return std::unexpected(Error::parse("xref stream missing /W"));
  uint64_t entry_width = 0;
  for (int64_t v : widths) entry_width = saturating_add(entry_width, static_cast<uint64_t>(v));
  if (entry_width == 0) return std::unexpected(Error::parse("xref stream /W is all zero"));
  const size_t w0 = static_cast<size_t>(widths[0]);
  const size_t w1 = static_cast<size_t>(widths[1]);
  const size_t w2 = static_cast<size_t>(widths[2]);

  int64_t size = 0;
  if (const Object* s = sd.get("Size")) size = s->as_int().value_or(0);
  std::vector<int64_t> index;
  if (const Object* ix = sd.get("Index"); ix != nullptr && ix->is_array()) {
    for (const Object& e : *ix->as_array()) {
      if (auto v = e.as_integer()) index.push_back(*v);
    }
  } else {
    index = {0, size};
  }

  std::span<const uint8_t> data = decoded->view();
  // Only whole entries are read; a width sum beyond the data leaves no entries at all.
  const size_t usable = entry_width > data.size() ? 0 : data.size() - data.size() % entry_width;
  size_t at = 0;
  for (size_t k = 0; k + 1 < index.size() && at < usable; k += 2) {
    const auto start = static_cast<uint32_t>(index[k]);
    for (int64_t i = 0; i < index[k + 1] && at < usable; ++i) {
      uint64_t type = w0 == 0 ? 1 : read_big_endian(data, at, w0);
      uint64_t f2 = read_big_endian(data, at + w0, w1);
      uint64_t f3 = read_big_endian(data, at + w0 + w1, w2);
      at += entry_width;
      uint32_t number = start + static_cast<uint32_t>(i);
      if (type == 1) {
        insert(number, InFile{static_cast<size_t>(f2),
                              static_cast<uint16_t>(std::min<uint64_t>(f3, 65535))});
      } else if (type == 2) {
        insert(number, InStream{static_cast<uint32_t>(f2), static_cast<uint32_t>(f3)});
      }
    }
  }
  merge_trailer(file_.trailer_, sd);
  push_prev(sd, pending);
  return {};
}

std::vector<XrefReader::Occurrence> XrefReader::scan_objects() const {
  std::vector<Occurrence> found;
  const size_t n = data_.size();
  for (size_t hit = find_bytes(data_, "obj"); hit != std::string_view::npos;
       hit = find_bytes(data_, "obj", hit + 3)) {
    size_t after = hit + 3;
    if (after < n && is_regular(data_[after])) continue;
    // Walk back over "number generation" before the keyword.
    size_t p = hit;
    while (p > 0 && is_whitespace(data_[p - 1])) --p;
    size_t gen_end = p;
    while (p > 0 && is_digit(data_[p - 1])) --p;
    if (p == gen_end) continue;
    size_t gen_start = p;
    while (p > 0 && is_whitespace(data_[p - 1])) --p;
    size_t num_end = p;
    while (p > 0 && is_digit(data_[p - 1])) --p;
    if (p == num_end) continue;
    uint64_t number = digits_value(data_, p, num_end);
    uint64_t generation = digits_value(data_, gen_start, gen_end);
    if (number > std::numeric_limits<uint32_t>::max() || generation > 65535) continue;
    found.push_back({static_cast<uint32_t>(number), static_cast<uint16_t>(generation), p, after});
  }
  return found;
}

std::optional<Dict> XrefReader::scan_trailer() const {
  // The last trailer dictionary in the file wins, so look from the end and stop at the first.
  // Whether an occurrence holds a dictionary shows in its first bytes, so the others are never
  // read (an unterminated string after each of many "trailer"s would make that quadratic).
  size_t end = data_.size();
  while (true) {
    size_t hit = rfind_bytes(data_.first(end), "trailer");
    if (hit == std::string_view::npos) return std::nullopt;
    Cursor probe(data_, hit + 7);
    while (true) {
      probe.skip_ws();
      if (probe.peek() != '{') break;
      probe.advance();
    }
    if (probe.remaining() >= 2 && probe.data()[probe.pos()] == '<' &&
        probe.data()[probe.pos() + 1] == '<') {
      Cursor c(data_, hit + 7);
      std::optional<Object> object = c.read_object_at(0);
      if (object && object->is_dict()) return std::move(*object->as_dict());
    }
    end = hit;
  }
}

Result<void> XrefReader::rebuild() {
  file_.xref_.clear();
  file_.trailer_ = Dict();
  file_.clear_caches();

  found_ = scan_objects();
  if (found_.empty()) return std::unexpected(Error::parse("no objects found in scan"));
  // The last definition of a number wins.
  for (size_t k = 0; k < found_.size(); ++k) {
    winner_[found_[k].number] = k;
    file_.xref_.insert_or_assign(found_[k].number, InFile{found_[k].header, found_[k].generation});
  }

  // A file with only cross-reference streams has no "trailer" keyword: its trailer entries,
  // /Encrypt and /ID among them, live in the dictionary of its last cross-reference stream.
  std::optional<Dict> xref_stream_dict;
  size_t xref_stream_header = 0;
  for (size_t k = 0; k < found_.size(); ++k) {
    if (winner_[found_[k].number] != k) continue;
    Cursor c(window(k), found_[k].body);
    std::optional<Object> object = c.read_object_at(0);
    if (!object || !object->is_dict()) continue;
    const Dict& dict = *object->as_dict();
    if (dict.has_name("Type", "ObjStm")) object_streams_.push_back(found_[k].number);
    if (dict.has_name("Type", "XRef") &&
        (!xref_stream_dict || found_[k].header >= xref_stream_header)) {
      xref_stream_dict = dict;
      xref_stream_header = found_[k].header;
    }
  }

  if (std::optional<Dict> candidate = scan_trailer()) merge_trailer(file_.trailer_, *candidate);
  if (xref_stream_dict && !file_.trailer_.contains("Root")) {
    // Without them an encrypted file would open undecrypted and yield garbage text. The root
    // is still chosen by the catalog search.
    for (const char* key : {"Encrypt", "ID", "Info"}) {
      const Object* value = xref_stream_dict->get(key);
      if (value && !file_.trailer_.contains(key)) file_.trailer_.insert(key, *value);
    }
  }
  return {};
}

void XrefReader::finish_rebuild() {
  for (uint32_t stream : object_streams_) {
    auto index = file_.objstm_index(stream);
    if (!index) continue;  // a broken object stream contributes nothing
    const auto& entries = (*index)->entries;
    for (size_t i = 0; i < entries.size(); ++i) {
      file_.xref_.try_emplace(entries[i].first, InStream{stream, static_cast<uint32_t>(i)});
    }
  }
  if (file_.trailer_.contains("Root")) return;

  // No usable trailer: the lowest-numbered catalog becomes the root.
  std::vector<uint32_t> numbers;
  numbers.reserve(file_.xref_.size());
  for (const auto& [number, entry] : file_.xref_) numbers.push_back(number);
  std::sort(numbers.begin(), numbers.end());
  std::unordered_map<uint32_t, std::vector<size_t>> stream_offsets;
  for (uint32_t number : numbers) {
    bool catalog = false;
    const XrefEntry& entry = file_.xref_.at(number);
    if (std::holds_alternative<InFile>(entry)) {
      size_t k = winner_.at(number);
      Cursor c(window(k), found_[k].header);
      if (read_object_header(c, number)) {
        std::optional<Object> object = c.read_object_at(0);
        catalog = object && object->is_dict() && object->as_dict()->has_name("Type", "Catalog");
      }
    } else {
      catalog = packed_is_catalog(number, std::get<InStream>(entry), stream_offsets);
    }
    if (catalog) {
      file_.trailer_.insert("Root", Object::ref(number, 0));
      return;
    }
  }
}

bool XrefReader::packed_is_catalog(uint32_t number, const InStream& entry,
                                   std::unordered_map<uint32_t, std::vector<size_t>>& offsets) {
  auto index = file_.objstm_index(entry.stream);
  if (!index) return false;
  std::optional<size_t> position = (*index)->find(number, entry.index);
  if (!position) return false;
  SharedBytes data;
  {
    std::lock_guard lock(file_.data_mutex_);
    if (auto it = file_.objstm_data_.find(entry.stream); it != file_.objstm_data_.end()) {
      data = it->second;
    }
  }
  if (!data) return false;
  // Like loading the object, but only up to where the next object of the stream starts: the
  // search reads every object, and each could otherwise run on to the end of the stream.
  auto [sorted, fresh] = offsets.try_emplace(entry.stream);
  if (fresh) {
    for (const auto& [n, offset] : (*index)->entries) sorted->second.push_back(offset);
    std::sort(sorted->second.begin(), sorted->second.end());
  }
  size_t start = std::min((*index)->entries[*position].second, data->size());
  auto next = std::upper_bound(sorted->second.begin(), sorted->second.end(), start);
  size_t end = next == sorted->second.end() ? data->size() : std::min(*next, data->size());
  Cursor c(std::span<const uint8_t>(*data).first(end), start);
  std::optional<Object> object = c.read_object_at(0);
  return object && object->is_dict() && object->as_dict()->has_name("Type", "Catalog");
}

Result<std::shared_ptr<PdfFile>> PdfFile::load(Bytes bytes, std::span<const uint8_t> password) {
  size_t header = bytes.size() > 4 ? find_bytes(bytes, "%PDF-") : std::string_view::npos;
  if (header == std::string_view::npos) return std::unexpected(Error::parse("no %PDF header"));
  // Offsets in the file count from the header, whatever junk precedes it.
  if (header > 0) bytes.erase(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(header));
  std::shared_ptr<PdfFile> file(new PdfFile(std::move(bytes)));

  XrefReader reader(*file);
  bool rebuilding = false;
  if (!reader.read_chain()) {
    if (Result<void> rebuilt = reader.rebuild(); !rebuilt) {
      return std::unexpected(std::move(rebuilt.error()));
    }
    rebuilding = true;
  }
  // Objects fetched while the cross-reference was incomplete may have been cached as Null.
  file->clear_caches();
  if (!rebuilding && !file->trailer_.contains("Root")) {
    return std::unexpected(Error::parse("trailer has no /Root"));
  }

  if (const Object* encrypt = file->trailer_.get("Encrypt")) {
    if (auto ref = encrypt->as_ref()) file->encrypt_number_ = ref->num;
    Object dict = file->resolve(*encrypt);
    const Dict* encrypt_dict = dict.dict_or_stream_dict();
    if (encrypt_dict == nullptr) {
      return std::unexpected(Error::parse("encrypt entry is not a dictionary"));
    }
    Bytes id;
    if (const Object* ids = file->trailer_.get("ID")) {
      Object resolved = file->resolve(*ids);
      if (const Array* a = resolved.as_array(); a != nullptr && !a->empty()) {
        if (const Bytes* first = (*a)[0].as_string()) id = *first;
      }
    }
    Result<Decryptor> decryptor = Decryptor::create(*encrypt_dict, id, password, *file);
    if (!decryptor) return std::unexpected(std::move(decryptor.error()));
    file->decryptor_ = std::move(*decryptor);
    // Everything read so far, object streams included, was read undecrypted.
    file->clear_caches();
  }
  if (rebuilding) {
    reader.finish_rebuild();
    if (!file->trailer_.contains("Root")) {
      return std::unexpected(Error::parse("trailer has no /Root"));
    }
  }
  return file;
}

void PdfFile::clear_caches() {
  {
    std::lock_guard lock(object_mutex_);
    objects_.clear();
  }
  {
    std::lock_guard lock(index_mutex_);
    indexes_.clear();
  }
  std::lock_guard lock(data_mutex_);
  objstm_data_.clear();
}

SharedObject PdfFile::get(uint32_t number) const {
  Visiting visiting;
  return get_with(number, visiting);
}

SharedObject PdfFile::get_with(uint32_t number, Visiting& visiting) const {
  {
    std::lock_guard lock(object_mutex_);
    if (auto it = objects_.find(number); it != objects_.end()) return it->second;
  }
  // A fetch made while other objects are half loaded may be cut short by the cycle guard, so
  // only fetches that start a load chain are cached.
  const bool top_level = visiting.depth() == 0;
  auto object = std::make_shared<const Object>(load_object(number, visiting));
  if (top_level) {
    std::lock_guard lock(object_mutex_);
    objects_.insert_or_assign(number, object);
  }
  return object;
}

Object PdfFile::resolve(const Object& object) const {
  Visiting visiting;
  return resolve_with(object, visiting);
}

Object PdfFile::resolve_with(const Object& object, Visiting& visiting) const {
  Object current = object;
  for (int fetches = 0; fetches < kMaxResolveFetches && current.is_ref(); ++fetches) {
    current = *get_with(current.as_ref()->num, visiting);
  }
  return current.is_ref() ? Object() : current;
}

Result<Decoded> PdfFile::decode(const Stream& stream) const {
  return kestrum::decode(stream, FileResolver(*this));
}

Object PdfFile::load_object(uint32_t number, Visiting& visiting) const {
  if (contains(visiting.loading, number) || xref_.empty()) return Object();
  auto it = xref_.find(number);
  if (it == xref_.end() || visiting.depth() >= kMaxNestedLoads) return Object();
  visiting.loading.push_back(number);
  Object result = std::visit(
      [&](const auto& entry) {
        if constexpr (std::is_same_v<std::decay_t<decltype(entry)>, InFile>) {
          return load_in_file(number, entry, visiting);
        } else {
          return load_in_stream(number, entry, visiting);
        }
      },
      it->second);
  visiting.loading.pop_back();
  return result;
}

Object PdfFile::load_in_file(uint32_t number, const InFile& entry, Visiting& visiting) const {
  if (entry.offset >= data_.size()) return Object();
  Cursor c(data_, entry.offset);
  if (!read_object_header(c, number)) return Object();
  std::optional<Object> object = c.read_object_at(0);
  if (!object) return Object();
  if (Dict* dict = object->as_dict()) {
    Cursor after = c;
    after.skip_ws();
    if (after.eat_keyword("stream")) {
      std::optional<size_t> length;
      if (const Object* l = dict->get("Length")) {
        std::optional<int64_t> value;
        if (l->is_integer()) {
          value = l->as_integer();
        } else if (auto ref = l->as_ref()) {
          // Through the chain: a length that refers back to this stream is no length.
          value = load_object(ref->num, visiting).as_int();
        }
        if (value) length = static_cast<size_t>(std::max<int64_t>(0, *value));
      }
      *object = Object(after.read_stream_data(std::move(*dict), length));
    }
  }
  if (decryptor_ && encrypt_number_ != number) {
    decrypt_in_place(*object, number, entry.generation, *decryptor_);
  }
  return std::move(*object);
}

Object PdfFile::load_in_stream(uint32_t number, const InStream& entry, Visiting& visiting) const {
  auto index = objstm_index_with(entry.stream, visiting);
  if (!index) return Object();
  std::optional<size_t> position = (*index)->find(number, entry.index);
  if (!position) return Object();
  SharedBytes data;
  {
    std::lock_guard lock(data_mutex_);
    if (auto it = objstm_data_.find(entry.stream); it != objstm_data_.end()) data = it->second;
  }
  if (!data) return Object();
  Cursor c(*data, std::min((*index)->entries[*position].second, data->size()));
  std::optional<Object> object = c.read_object_at(0);
  return object ? std::move(*object) : Object();
}

Result<std::shared_ptr<const ObjStmIndex>> PdfFile::objstm_index(uint32_t stream) const {
  Visiting visiting;
  return objstm_index_with(stream, visiting);
}

Result<std::shared_ptr<const ObjStmIndex>> PdfFile::objstm_index_with(uint32_t stream,
                                                                      Visiting& visiting) const {
  {
    std::lock_guard lock(index_mutex_);
    if (auto it = indexes_.find(stream); it != indexes_.end()) return it->second;
  }
  auto missing = [&] {
    return std::unexpected(Error::parse(fmt::format("object stream {} missing", stream)));
  };
  // An object stream whose own loading needs one of its objects cannot be indexed.
  if (contains(visiting.indexing, stream) || visiting.depth() >= kMaxNestedLoads) return missing();
  visiting.indexing.push_back(stream);
  struct Pop {
    Visiting& v;
    ~Pop() { v.indexing.pop_back(); }
  } pop{visiting};

  SharedObject object = get_with(stream, visiting);
  const Stream* s = object->as_stream();
  if (s == nullptr) return missing();
  Result<Decoded> decoded = kestrum::decode(*s, ChainResolver(*this, visiting));
  if (!decoded) return std::unexpected(std::move(decoded.error()));
  auto count = [&](std::string_view key) -> int64_t {
    const Object* v = s->dict.get(key);
    if (v == nullptr) return 0;
    return std::max<int64_t>(0, resolve_with(*v, visiting).as_int().value_or(0));
  };
  const int64_t n = count("N");
  const int64_t first = count("First");

  auto index = std::make_shared<ObjStmIndex>();
  std::span<const uint8_t> data = decoded->view();
  // /N comes from the file: reserve no more pairs than the data could spell out.
  index->entries.reserve(static_cast<size_t>(std::min<int64_t>(n, data.size() / 3 + 1)));
  Cursor c(data);
  for (int64_t k = 0; k < n; ++k) {
    auto number = read_int_token(c);
    auto offset = read_int_token(c);
    if (!number || !offset) break;
    if (*number < 0 || *offset < 0) continue;
    index->entries.emplace_back(static_cast<uint32_t>(*number),
                                static_cast<size_t>(saturating_add(first, *offset)));
  }
  index->by_number.resize(index->entries.size());
  std::iota(index->by_number.begin(), index->by_number.end(), 0);
  std::stable_sort(index->by_number.begin(), index->by_number.end(), [&](uint32_t a, uint32_t b) {
    return index->entries[a].first < index->entries[b].first;
  });

  // The data goes in first: another thread that finds the index must find the data too, or it
  // would load (and cache) the object as Null.
  {
    std::lock_guard lock(data_mutex_);
    objstm_data_.insert_or_assign(stream, decoded->bytes);
  }
  std::shared_ptr<const ObjStmIndex> shared = index;
  {
    std::lock_guard lock(index_mutex_);
    indexes_.insert_or_assign(stream, shared);
  }
  return shared;
}

}  // namespace kestrum
