#include "kestrum/font/cmap.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "kestrum/content.h"
#include "kestrum/font/encoding.h"

namespace kestrum {

namespace {

std::vector<uint16_t> utf16_units(const Bytes& bytes) {
  std::vector<uint16_t> units;
  units.reserve((bytes.size() + 1) / 2);
  size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2)
    units.push_back(static_cast<uint16_t>(bytes[i] << 8 | bytes[i + 1]));
  if (i < bytes.size()) units.push_back(bytes[i]);
  return units;
}

// The operands of one begin...end block, read in groups of `size`; a trailing incomplete group
// is dropped.
template <class F>
void for_each_group(const std::vector<Object>& operands, size_t size, F&& f) {
  for (size_t i = 0; i + size <= operands.size(); i += size) f(&operands[i]);
}

}  // namespace

CodeSpace::CodeSpace(std::vector<CodeRange> ranges) : ranges_(std::move(ranges)) {
  if (ranges_.empty()) return;
  min_bytes_ = 4;
  for (CodeRange& range : ranges_) {
    range.bytes = std::clamp<uint8_t>(range.bytes, 1, 4);
    min_bytes_ = std::min<size_t>(min_bytes_, range.bytes);
    if (range.low <= range.high) by_length_[range.bytes - 1].emplace_back(range.low, range.high);
  }
  for (auto& spans : by_length_) {
    std::ranges::sort(spans);
    std::vector<std::pair<uint32_t, uint32_t>> merged;
    for (const auto& span : spans) {
      if (!merged.empty() && span.first <= merged.back().second) {
        merged.back().second = std::max(merged.back().second, span.second);
      } else {
        merged.push_back(span);
      }
    }
    spans = std::move(merged);
  }
}

bool CodeSpace::covers(size_t length, uint32_t code) const {
  const auto& spans = by_length_[length - 1];
  auto it = std::ranges::upper_bound(spans, code, {}, &std::pair<uint32_t, uint32_t>::first);
  return it != spans.begin() && code <= std::prev(it)->second;
}

uint32_t CodeSpace::next(std::span<const uint8_t> bytes, size_t& pos) const {
  if (ranges_.empty()) return bytes[pos++];
  size_t left = bytes.size() - pos;
  uint32_t code = 0;
  for (size_t length = 1; length <= 4 && length <= left; ++length) {
    code = code << 8 | bytes[pos + length - 1];
    if (covers(length, code)) {
      pos += length;
      return code;
    }
  }
  // No range holds these bytes: take as many as the shortest range would, so that one damaged
  // code does not shift the rest of the string.
  size_t length = std::min(min_bytes_, left);
  code = code_value(bytes.subspan(pos, length));
  pos += length;
  return code;
}

std::vector<uint32_t> CodeSpace::decode(std::span<const uint8_t> bytes) const {
  std::vector<uint32_t> codes;
  codes.reserve(bytes.size());
  for (size_t pos = 0; pos < bytes.size();) codes.push_back(next(bytes, pos));
  return codes;
}

uint32_t code_value(std::span<const uint8_t> bytes) {
  uint32_t code = 0;
  for (size_t i = 0; i < bytes.size() && i < 4; ++i) code = code << 8 | bytes[i];
  return code;
}

std::optional<std::string> unicode_target(const Object& operand) {
  if (const Bytes* s = operand.as_string()) return utf16_to_utf8(utf16_units(*s));
  if (const std::string* name = operand.as_name()) return glyph_name_to_unicode(*name);
  return std::nullopt;
}

std::optional<std::string> non_empty(std::string text) {
  constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  if (text.find('\0') != std::string::npos || text.find(kReplacement) != std::string::npos) {
    std::string kept;
    kept.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
      if (text[i] == '\0') {
        ++i;
      } else if (std::string_view(text).substr(i, 3) == kReplacement) {
        i += 3;
      } else {
        kept += text[i++];
      }
    }
    text = std::move(kept);
  }
  if (text.empty()) return std::nullopt;
  return text;
}

CMap CMap::identity() {
  CMap cmap;
  cmap.codespace_ = CodeSpace({CodeRange{0x0000, 0xFFFF, 2}});
  cmap.identity_ = true;
  return cmap;
}

CMap CMap::parse(std::span<const uint8_t> bytes) {
  CMap cmap;
  std::vector<CodeRange> codespace;
  ContentParser parser(bytes);
  Operation op;
  while (parser.next(op)) {
    const std::vector<Object>& operands = op.operands;
    if (op.op == "usecmap") {
      // The named CMap is never loaded; only the identity it would give is honoured.
      for (const Object& operand : operands) {
        const std::string* name = operand.as_name();
        if (name != nullptr && name->starts_with("Identity")) cmap.identity_ = true;
      }
    } else if (op.op == "endcodespacerange") {
      for_each_group(operands, 2, [&](const Object* g) {
        const Bytes* low = g[0].as_string();
        const Bytes* high = g[1].as_string();
        if (low == nullptr || high == nullptr) return;
        uint8_t count = low->empty() ? 1 : static_cast<uint8_t>(std::min<size_t>(low->size(), 4));
        codespace.push_back({code_value(*low), code_value(*high), count});
      });
    } else if (op.op == "endbfchar") {
      for_each_group(operands, 2, [&](const Object* g) {
        const Bytes* source = g[0].as_string();
        if (source == nullptr) return;
        if (std::optional<std::string> text = unicode_target(g[1])) {
          cmap.unicode_map_.insert_or_assign(code_value(*source), std::move(*text));
        }
      });
    } else if (op.op == "endbfrange") {
      for_each_group(operands, 3, [&](const Object* g) {
        const Bytes* low = g[0].as_string();
        const Bytes* high = g[1].as_string();
        if (low == nullptr || high == nullptr) return;
        if (const Bytes* target = g[2].as_string()) {
          cmap.step_ranges_.push_back({code_value(*low), code_value(*high), utf16_units(*target)});
        } else if (const Array* targets = g[2].as_array()) {
          ListRange range{code_value(*low), code_value(*high), {}};
          for (const Object& target : *targets) {
            if (std::optional<std::string> text = unicode_target(target)) {
              range.texts.push_back(std::move(*text));
            }
          }
          cmap.list_ranges_.push_back(std::move(range));
        }
      });
    } else if (op.op == "endcidchar") {
      for_each_group(operands, 2, [&](const Object* g) {
        const Bytes* source = g[0].as_string();
        std::optional<int64_t> cid = g[1].as_integer();
        if (source == nullptr || !cid) return;
        cmap.cid_map_.insert_or_assign(code_value(*source), static_cast<uint32_t>(*cid));
      });
    } else if (op.op == "endcidrange") {
      for_each_group(operands, 3, [&](const Object* g) {
        const Bytes* low = g[0].as_string();
        const Bytes* high = g[1].as_string();
        std::optional<int64_t> cid = g[2].as_integer();
        if (low == nullptr || high == nullptr || !cid) return;
        cmap.cid_ranges_.push_back(
            {code_value(*low), code_value(*high), static_cast<uint32_t>(*cid)});
      });
    }
  }

  if (codespace.empty()) {
    bool wide =
        std::ranges::any_of(cmap.unicode_map_, [](const auto& e) { return e.first > 255; }) ||
        std::ranges::any_of(cmap.step_ranges_, [](const StepRange& r) { return r.high > 255; });
    codespace.push_back(wide ? CodeRange{0x0000, 0xFFFF, 2} : CodeRange{0x00, 0xFF, 1});
  }
  cmap.codespace_ = CodeSpace(std::move(codespace));
  cmap.build_indexes();
  return cmap;
}

void CMap::build_indexes() {
  // Painting the ranges from the last to the first leaves each code with the first range (in
  // file order) that holds it.
  for (size_t i = cid_ranges_.size(); i-- > 0;) {
    cid_index_.assign(cid_ranges_[i].low, cid_ranges_[i].high, static_cast<uint32_t>(i));
  }
  for (size_t i = list_ranges_.size(); i-- > 0;) {
    const ListRange& range = list_ranges_[i];
    if (range.texts.empty()) continue;
    // A list range holds as many codes as it has texts, whatever its declared high code.
    uint64_t last = uint64_t{range.low} + range.texts.size() - 1;
    list_index_.assign(range.low, static_cast<uint32_t>(std::min<uint64_t>(last, UINT32_MAX)),
                       static_cast<uint32_t>(i));
  }
  for (size_t i = step_ranges_.size(); i-- > 0;) {
    step_index_.assign(step_ranges_[i].low, step_ranges_[i].high, static_cast<uint32_t>(i));
  }
}

uint32_t CMap::cid(uint32_t code) const {
  if (auto it = cid_map_.find(code); it != cid_map_.end()) return it->second;
  if (const uint32_t* index = cid_index_.find(code)) {
    const CidRange& range = cid_ranges_[*index];
    return range.first_cid + (code - range.low);  // wraps at 32 bits like the codes themselves
  }
  return identity_ ? code : 0;
}

std::optional<std::string> CMap::unicode(uint32_t code) const {
  if (auto it = unicode_map_.find(code); it != unicode_map_.end()) return non_empty(it->second);
  if (const uint32_t* index = list_index_.find(code)) {
    const ListRange& range = list_ranges_[*index];
    return non_empty(range.texts[code - range.low]);
  }
  if (const uint32_t* index = step_index_.find(code)) {
    const StepRange& range = step_ranges_[*index];
    if (range.units.empty()) return std::nullopt;
    // The offset goes into the last unit only, wrapping at 16 bits: a range over a surrogate
    // pair steps its low half. Short destinations are copied without allocating.
    auto stepped = [&](std::span<uint16_t> units) {
      std::ranges::copy(range.units, units.begin());
      units.back() = static_cast<uint16_t>(units.back() + (code - range.low));
      return non_empty(utf16_to_utf8(units));
    };
    constexpr size_t kInlineUnits = 16;
    if (range.units.size() <= kInlineUnits) {
      std::array<uint16_t, kInlineUnits> units;
      return stepped(std::span(units).first(range.units.size()));
    }
    std::vector<uint16_t> units(range.units.size());
    return stepped(units);
  }
  return std::nullopt;
}

std::optional<CMap> load_to_unicode(const Object* to_unicode, const Resolver& resolver) {
  if (to_unicode == nullptr) return std::nullopt;
  Object holder;
  if (to_unicode->is_ref()) {
    holder = resolver.resolve(*to_unicode);
    to_unicode = &holder;
  }
  const Stream* stream = to_unicode->as_stream();
  if (stream == nullptr) return std::nullopt;
  Result<Decoded> decoded = decode(*stream, resolver);
  if (!decoded || decoded->image_filter) return std::nullopt;
  CMap cmap = CMap::parse(decoded->view());
  if (!cmap.has_unicode()) return std::nullopt;
  return cmap;
}

}  // namespace kestrum
