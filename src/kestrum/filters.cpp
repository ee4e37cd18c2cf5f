#include "kestrum/filters.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string_view>

#include <fmt/format.h>
#include <zlib.h>

#include "kestrum/checked.h"

namespace kestrum {

namespace {

// Inflate appends at most this much per step, so that a huge output is never reserved up front.
constexpr size_t kInflateStep = size_t{64} << 10;
// Initial output capacity of Flate: four times the input, but no more than this.
constexpr size_t kInflateInitialCapacity = size_t{1} << 20;
// LZW codes are at most 12 bits wide, so entries beyond 4096 can never be referred to.
constexpr size_t kLzwMaxEntries = 4096;

enum class FilterKind { Flate, Lzw, AsciiHex, Ascii85, RunLength, Crypt, Image, Unknown };

FilterKind classify(std::string_view name) {
  if (name == "FlateDecode" || name == "Fl") return FilterKind::Flate;
  if (name == "LZWDecode" || name == "LZW") return FilterKind::Lzw;
  if (name == "ASCIIHexDecode" || name == "AHx") return FilterKind::AsciiHex;
  if (name == "ASCII85Decode" || name == "A85") return FilterKind::Ascii85;
  if (name == "RunLengthDecode" || name == "RL") return FilterKind::RunLength;
  if (name == "Crypt") return FilterKind::Crypt;
  if (name == "DCTDecode" || name == "DCT" || name == "JPXDecode" || name == "CCITTFaxDecode" ||
      name == "CCF" || name == "JBIG2Decode") {
    return FilterKind::Image;
  }
  return FilterKind::Unknown;
}

// What `object` denotes; direct objects are used in place, only references are resolved.
const Object& resolved(const Object& object, const Resolver& resolver, Object& holder) {
  if (!object.is_ref()) return object;
  holder = resolver.resolve(object);
  return holder;
}

int64_t int_param(const Dict& params, std::string_view key, int64_t fallback,
                  const Resolver& resolver) {
  const Object* value = params.get(key);
  if (value == nullptr) return fallback;
  Object holder;
  return resolved(*value, resolver, holder).as_int().value_or(fallback);
}

std::vector<Dict> decode_params(const Dict& dict, const Resolver& resolver) {
  const Object* value = dict.get("DecodeParms");
  if (value == nullptr) value = dict.get("DP");
  if (value == nullptr) return {};
  Object holder;
  const Object& params = resolved(*value, resolver, holder);
  std::vector<Dict> out;
  if (const Dict* d = params.as_dict()) {
    out.push_back(*d);
  } else if (const Array* a = params.as_array()) {
    out.reserve(a->size());
    for (const Object& element : *a) {
      Object element_holder;
      const Dict* d = resolved(element, resolver, element_holder).as_dict();
      out.push_back(d != nullptr ? *d : Dict());
    }
  }
  return out;
}

bool is_flate_space(uint8_t c) {
  return c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x20;
}

uint8_t paeth(uint8_t a, uint8_t b, uint8_t c) {
  int p = int{a} + b - c;
  int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  if (pb <= pc) return b;
  return c;
}

}  // namespace

Object DirectResolver::resolve(const Object& object) const {
  return object.is_ref() ? Object() : object;
}

Result<Bytes> flate_decode(std::span<const uint8_t> input, size_t limit) {
  Bytes out;
  if (input.empty()) return out;
  size_t skip = 0;
  while (skip < input.size() && is_flate_space(input[skip])) ++skip;
  // Writers sometimes put stray whitespace before the zlib header; without a header the data
  // is raw deflate and is decoded from its first byte.
  bool zlib = skip < input.size() && (input[skip] & 0x0F) == 8;
  std::span<const uint8_t> source = zlib ? input.subspan(skip) : input;

  z_stream zs{};
  if (inflateInit2(&zs, zlib ? MAX_WBITS : -MAX_WBITS) != Z_OK) {
    return std::unexpected(Error::parse("flate stream decoded to nothing"));
  }
  out.reserve(std::min({saturating_mul(input.size(), size_t{4}), kInflateInitialCapacity, limit}));
  size_t fed = 0;
  while (out.size() < limit) {
    if (zs.avail_in == 0 && fed < source.size()) {
      size_t chunk = std::min<size_t>(source.size() - fed, UINT_MAX);
      zs.next_in = const_cast<Bytef*>(source.data() + fed);
      zs.avail_in = static_cast<uInt>(chunk);
      fed += chunk;
    }
    size_t step = std::min(kInflateStep, limit - out.size());
    size_t old = out.size();
    out.resize(old + step);
    zs.next_out = out.data() + old;
    zs.avail_out = static_cast<uInt>(step);
    uInt in_before = zs.avail_in;
    int ret = inflate(&zs, Z_NO_FLUSH);
    size_t produced = step - zs.avail_out;
    out.resize(old + produced);
    // A corrupt or truncated stream keeps what decoded before the damage.
    if (ret != Z_OK) break;
    if (produced == 0 && zs.avail_in == in_before && fed >= source.size()) break;
  }
  inflateEnd(&zs);
  if (out.empty()) return std::unexpected(Error::parse("flate stream decoded to nothing"));
  return out;
}

Bytes lzw_decode(std::span<const uint8_t> input, bool early_change, size_t limit) {
  struct Entry {
    uint16_t prefix = 0;  // code of the entry without its last byte
    uint16_t length = 0;
    uint8_t last = 0;
    uint8_t first = 0;
  };
  std::vector<Entry> table(kLzwMaxEntries);
  for (unsigned i = 0; i < 256; ++i) {
    table[i] = {0, 1, static_cast<uint8_t>(i), static_cast<uint8_t>(i)};
  }
  const size_t early = early_change ? 1 : 0;
  size_t size = 258;  // codes 256 (clear) and 257 (end) are empty entries
  unsigned width = 9;
  int prev = -1;
  Bytes out;
  out.reserve(std::min(saturating_mul(input.size(), size_t{2}), limit));

  auto emit = [&](unsigned code) {
    size_t len = table[code].length;
    size_t at = out.size();
    out.resize(at + len);
    for (size_t k = len; k > 0; --k) {
      out[at + k - 1] = table[code].last;
      code = table[code].prefix;
    }
  };

  uint32_t buffer = 0;
  unsigned bits = 0;
  size_t in = 0;
  while (true) {
    while (bits < width && in < input.size()) {
      buffer = buffer << 8 | input[in++];
      bits += 8;
    }
    if (bits < width) break;
    unsigned code = (buffer >> (bits - width)) & ((1u << width) - 1);
    bits -= width;
    if (code == 256) {
      size = 258;
      width = 9;
      prev = -1;
      continue;
    }
    if (code == 257) break;
    size_t start = out.size();
    if (code < size) {
      emit(code);
    } else if (code == size && prev >= 0) {
      emit(static_cast<unsigned>(prev));
      out.push_back(table[prev].first);
    } else {
      break;
    }
    if (out.size() >= limit) {
      out.resize(limit);
      break;
    }
    if (prev >= 0) {
      if (size < kLzwMaxEntries) {
        const Entry& p = table[prev];
        table[size] = {static_cast<uint16_t>(prev), static_cast<uint16_t>(p.length + 1), out[start],
                       p.first};
      }
      ++size;
    }
    prev = static_cast<int>(code);
    while (width < 12 && size + early >= (size_t{1} << width)) ++width;
  }
  return out;
}

Bytes ascii_hex_decode(std::span<const uint8_t> input, size_t limit) {
  Bytes out;
  out.reserve(std::min(input.size() / 2, limit));
  int high = -1;
  for (uint8_t c : input) {
    if (c == '>' || out.size() >= limit) break;
    int v = -1;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  if (high >= 0 && out.size() < limit) out.push_back(static_cast<uint8_t>(high << 4));
  return out;
}

Bytes ascii85_decode(std::span<const uint8_t> input, size_t limit) {
  Bytes out;
  out.reserve(std::min(input.size() / 5 * 4 + 4, limit));
  size_t i = 0;
  // The start marker may follow whitespace; elsewhere "<" would be ignored and "~" end the data.
  while (i < input.size() && (input[i] == ' ' || input[i] == '\t' || input[i] == '\r' ||
                              input[i] == '\n' || input[i] == '\f' || input[i] == 0)) {
    ++i;
  }
  if (input.size() - i >= 2 && input[i] == '<' && input[i + 1] == '~') i += 2;
  uint32_t value = 0;
  int digits = 0;
  for (; i < input.size() && out.size() < limit; ++i) {
    uint8_t c = input[i];
    if (c == '~') break;
    if (c == 'z' && digits == 0) {
      out.insert(out.end(), 4, 0);
      continue;
    }
    if (c < '!' || c > 'u') continue;
    value = value * 85 + (c - '!');  // wraps modulo 2^32 for out-of-range groups
    if (++digits == 5) {
      for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
      value = 0;
      digits = 0;
    }
  }
  if (digits > 0) {
    int n = digits;
    for (; digits < 5; ++digits) value = value * 85 + 84;
    for (int k = 0; k < n - 1; ++k) out.push_back(static_cast<uint8_t>(value >> (24 - 8 * k)));
  }
  if (out.size() > limit) out.resize(limit);
  return out;
}

Bytes run_length_decode(std::span<const uint8_t> input, size_t limit) {
  Bytes out;
  out.reserve(std::min(saturating_mul(input.size(), size_t{2}), limit));
  size_t i = 0;
  while (i < input.size() && out.size() < limit) {
    uint8_t len = input[i++];
    if (len == 128) break;
    if (len < 128) {
      size_t n = std::min<size_t>(size_t{len} + 1, input.size() - i);
      n = std::min(n, limit - out.size());
      out.insert(out.end(), input.begin() + i, input.begin() + i + n);
      i += n;
    } else {
      if (i >= input.size()) break;
      size_t n = std::min<size_t>(257 - len, limit - out.size());
      out.insert(out.end(), n, input[i++]);
    }
  }
  return out;
}

Result<Bytes> apply_predictor(const Dict& params, const Resolver& resolver, Bytes bytes) {
  int64_t predictor = int_param(params, "Predictor", 1, resolver);
  if (predictor <= 1) return bytes;
  int64_t colors = std::max<int64_t>(1, int_param(params, "Colors", 1, resolver));
  int64_t bpc = int_param(params, "BitsPerComponent", 8, resolver);
  int64_t columns = std::max<int64_t>(1, int_param(params, "Columns", 1, resolver));

  if (predictor == 2) {
    if (bpc != 8) return bytes;
    // A row longer than the data is one short row.
    auto row = checked_mul<int64_t>(colors, columns);
    size_t row_len = row ? static_cast<size_t>(*row) : SIZE_MAX;
    size_t shift = static_cast<size_t>(colors);
    for (size_t start = 0; start < bytes.size();) {
      size_t end = row_len > bytes.size() - start ? bytes.size() : start + row_len;
      for (size_t i = start + shift; i < end; ++i) bytes[i] += bytes[i - shift];
      start = end;
    }
    return bytes;
  }

  // PNG prediction: every row carries its own filter-type byte.
  int64_t bits = bpc < 2 ? 1 : bpc;
  auto bits_per_pixel = checked_mul<int64_t>(colors, bits);
  auto row_bits = bits_per_pixel ? checked_mul<int64_t>(columns, *bits_per_pixel) : std::nullopt;
  if (!row_bits || *row_bits / 8 >= static_cast<int64_t>(bytes.size())) {
    return Bytes();  // not one whole row of data
  }
  const size_t row_len = static_cast<size_t>((*row_bits + 7) / 8);
  const size_t bpp = static_cast<size_t>((*bits_per_pixel + 7) / 8);
  const size_t rows = bytes.size() / (row_len + 1);
  // Decoded in place: row r moves down to r * row_len, always behind the input still unread.
  uint8_t* data = bytes.data();
  for (size_t r = 0; r < rows; ++r) {
    const uint8_t* in = data + r * (row_len + 1);
    const uint8_t type = in[0];
    ++in;
    uint8_t* out = data + r * row_len;
    const uint8_t* up = r > 0 ? data + (r - 1) * row_len : nullptr;
    switch (type) {
      case 0:
        std::memmove(out, in, row_len);
        break;
      case 1:
        for (size_t i = 0; i < row_len; ++i) out[i] = in[i] + (i >= bpp ? out[i - bpp] : 0);
        break;
      case 2:
        for (size_t i = 0; i < row_len; ++i) out[i] = in[i] + (up ? up[i] : 0);
        break;
      case 3:
        for (size_t i = 0; i < row_len; ++i) {
          unsigned a = i >= bpp ? out[i - bpp] : 0, b = up ? up[i] : 0;
          out[i] = static_cast<uint8_t>(in[i] + (a + b) / 2);
        }
        break;
      case 4:
        for (size_t i = 0; i < row_len; ++i) {
          uint8_t a = i >= bpp ? out[i - bpp] : 0, b = up ? up[i] : 0;
          uint8_t c = (up && i >= bpp) ? up[i - bpp] : 0;
          out[i] = in[i] + paeth(a, b, c);
        }
        break;
      default:
        return std::unexpected(Error::parse(fmt::format("png predictor row type {}", type)));
    }
  }
  bytes.resize(rows * row_len);
  return bytes;
}

std::vector<std::string> filter_names(const Dict& dict, const Resolver& resolver) {
  const Object* value = dict.get("Filter");
  // /F names the filter only in inline-image dictionaries; in a stream it names an external
  // file holding the data, which is a string or dictionary, never a filter name.
  if (value == nullptr) value = dict.get("F");
  if (value == nullptr) return {};
  Object holder;
  const Object& filter = resolved(*value, resolver, holder);
  std::vector<std::string> names;
  if (const std::string* name = filter.as_name()) {
    names.push_back(*name);
  } else if (const Array* array = filter.as_array()) {
    for (const Object& element : *array) {
      Object element_holder;
      if (const std::string* name = resolved(element, resolver, element_holder).as_name()) {
        names.push_back(*name);
      }
    }
  }
  return names;
}

Result<Decoded> decode(const Dict& dict, const SharedBytes& raw, const Resolver& resolver,
                       size_t limit) {
  std::vector<std::string> names = filter_names(dict, resolver);
  std::vector<Dict> params;
  if (!names.empty()) params = decode_params(dict, resolver);
  static const Dict kNoParams;

  std::optional<Bytes> current;  // set once a general filter has run
  // What the filters still to run may produce: a chain of decompressors shares one cap, so a
  // stream listing the same filter many times cannot make each of them inflate to the cap.
  size_t budget = limit;
  auto spend = [&](const Bytes& produced) { budget -= std::min(budget, produced.size()); };
  auto finish = [&](std::optional<std::string> image) {
    SharedBytes bytes = current ? std::make_shared<const Bytes>(std::move(*current)) : raw;
    return Decoded{bytes ? bytes : empty_bytes(), std::move(image)};
  };
  for (size_t i = 0; i < names.size(); ++i) {
    const Dict& p = i < params.size() ? params[i] : kNoParams;
    std::span<const uint8_t> in =
        current ? std::span<const uint8_t>(*current)
                : (raw ? std::span<const uint8_t>(*raw) : std::span<const uint8_t>());
    switch (classify(names[i])) {
      case FilterKind::Crypt:
        break;  // decryption happens when the object is loaded
      case FilterKind::Image:
        return finish(names[i]);
      case FilterKind::Unknown:
        return std::unexpected(Error::parse(fmt::format("unknown filter {}", names[i])));
      case FilterKind::Flate: {
        Result<Bytes> out = flate_decode(in, budget);
        if (!out) return std::unexpected(std::move(out.error()));
        spend(*out);
        out = apply_predictor(p, resolver, std::move(*out));
        if (!out) return std::unexpected(std::move(out.error()));
        current = std::move(*out);
        break;
      }
      case FilterKind::Lzw: {
        bool early = int_param(p, "EarlyChange", 1, resolver) != 0;
        Bytes decoded = lzw_decode(in, early, budget);
        spend(decoded);
        Result<Bytes> out = apply_predictor(p, resolver, std::move(decoded));
        if (!out) return std::unexpected(std::move(out.error()));
        current = std::move(*out);
        break;
      }
      case FilterKind::AsciiHex:
        current = ascii_hex_decode(in, budget);
        spend(*current);
        break;
      case FilterKind::Ascii85:
        current = ascii85_decode(in, budget);
        spend(*current);
        break;
      case FilterKind::RunLength:
        current = run_length_decode(in, budget);
        spend(*current);
        break;
    }
  }
  return finish(std::nullopt);
}

}  // namespace kestrum
