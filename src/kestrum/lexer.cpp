#include "kestrum/lexer.h"

#include <locale.h>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace kestrum {

namespace {

enum : uint8_t { kRegular = 0, kWhite = 1, kDelim = 2 };

constexpr std::array<uint8_t, 256> kClass = [] {
  std::array<uint8_t, 256> t{};
  for (uint8_t c : {0x00, 0x09, 0x0A, 0x0C, 0x0D, 0x20}) t[c] = kWhite;
  for (char c : std::string_view("()<>[]{}/%")) t[static_cast<uint8_t>(c)] = kDelim;
  return t;
}();

int hex_value(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool is_digit(uint8_t c) {
  return c >= '0' && c <= '9';
}

std::string_view as_chars(std::span<const uint8_t> b) {
  return {reinterpret_cast<const char*>(b.data()), b.size()};
}

// A conventional decimal-to-double conversion of the whole text; nullopt when the text is not
// a decimal literal or its value is not finite.
std::optional<double> parse_decimal_real(std::string_view s) {
  std::string_view body = s;
  // from_chars rejects a leading plus that decimal literals allow; "+-5" stays invalid.
  if (body.size() > 1 && body[0] == '+' && body[1] != '+' && body[1] != '-') body.remove_prefix(1);
  double v = 0;
  auto [ptr, ec] = std::from_chars(body.data(), body.data() + body.size(), v);
  if (ptr != body.data() + body.size()) return std::nullopt;
  if (ec == std::errc::result_out_of_range) {
    // Overflow and underflow both land here; strtod in the C locale tells them apart.
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", nullptr);
    std::string text(body);
    v = strtod_l(text.c_str(), nullptr, c_locale);
  } else if (ec != std::errc()) {
    return std::nullopt;
  }
  if (!std::isfinite(v)) return std::nullopt;
  return v;
}

}  // namespace

bool is_whitespace(uint8_t c) {
  return kClass[c] == kWhite;
}
bool is_delimiter(uint8_t c) {
  return kClass[c] == kDelim;
}
bool is_regular(uint8_t c) {
  return kClass[c] == kRegular;
}

namespace {

// parse_number into `out`; false for no object.
bool parse_number_into(std::span<const uint8_t> token, Object& out) {
  // Fast path for the common [+-]digits token that fits in 64 bits.
  const size_t n = token.size();
  size_t i = 0;
  bool negative = false;
  if (n > 0 && (token[0] == '+' || token[0] == '-')) {
    negative = token[0] == '-';
    i = 1;
  }
  if (i < n) {
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    uint64_t v = 0;
    size_t j = i;
    for (; j < n && is_digit(token[j]); ++j) {
      uint64_t d = token[j] - '0';
      if (v > (limit - d) / 10) break;  // overflow: a Real further down
      v = v * 10 + d;
    }
    if (j == n) {
      out.variant().emplace<2>(negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v));
      return true;
    }
  }
  // Every accepted form is ASCII, so a byte above 0x7F (valid UTF-8 or not) rules the token out.
  for (uint8_t c : token) {
    if (c >= 0x80) return false;
  }
  std::string_view s = as_chars(token);
  if (auto r = parse_decimal_real(s)) {
    out.variant().emplace<3>(*r);
    return true;
  }

  // Lenient pass for writers that emit doubled signs or bare signs and points.
  std::string cleaned;
  cleaned.reserve(s.size());
  bool seen_digit_or_point = false;
  for (size_t k = 0; k < s.size(); ++k) {
    char c = s[k];
    if (c == '+' || c == '-') {
      if (k == 0) {
        cleaned += c;
      } else if (seen_digit_or_point) {
        return false;
      }
    } else if (is_digit(static_cast<uint8_t>(c)) || c == '.') {
      cleaned += c;
      seen_digit_or_point = true;
    } else {
      return false;
    }
  }
  if (cleaned.empty() || cleaned == "+" || cleaned == "-" || cleaned == "." || cleaned == "+." ||
      cleaned == "-.") {
    out.variant().emplace<3>(0.0);
    return true;
  }
  if (auto r = parse_decimal_real(cleaned)) {
    out.variant().emplace<3>(*r);
    return true;
  }
  return false;
}

}  // namespace

std::optional<Object> parse_number(std::span<const uint8_t> token) {
  Object out;
  if (!parse_number_into(token, out)) return std::nullopt;
  return out;
}

bool is_valid_utf8(std::span<const uint8_t> bytes) {
  size_t i = 0;
  const size_t n = bytes.size();
  while (i < n) {
    uint8_t c = bytes[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    uint8_t lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (n - i < len) return false;
    if (bytes[i + 1] < lo || bytes[i + 1] > hi) return false;
    for (size_t k = 2; k < len; ++k) {
      if (bytes[i + k] < 0x80 || bytes[i + k] > 0xBF) return false;
    }
    i += len;
  }
  return true;
}

std::string utf8_lossy(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t i = 0;
  const size_t n = bytes.size();
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  while (i < n) {
    uint8_t c = bytes[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    size_t len;
    uint8_t lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      out += kReplacement;
      ++i;
      continue;
    }
    // The maximal valid prefix of a broken sequence becomes a single replacement character.
    size_t k = 1;
    while (k < len && i + k < n) {
      uint8_t b = bytes[i + k];
      uint8_t l = k == 1 ? lo : 0x80, h = k == 1 ? hi : 0xBF;
      if (b < l || b > h) break;
      ++k;
    }
    if (k == len) {
      out.append(reinterpret_cast<const char*>(bytes.data() + i), len);
    } else {
      out += kReplacement;
    }
    i += k;
  }
  return out;
}

size_t find_bytes(std::span<const uint8_t> hay, std::string_view needle, size_t from) {
  if (from > hay.size() || needle.size() > hay.size() - from) return std::string_view::npos;
  if (needle.empty()) return from;
  const void* hit = memmem(hay.data() + from, hay.size() - from, needle.data(), needle.size());
  if (hit == nullptr) return std::string_view::npos;
  return static_cast<size_t>(static_cast<const uint8_t*>(hit) - hay.data());
}

size_t rfind_bytes(std::span<const uint8_t> hay, std::string_view needle) {
  return as_chars(hay).rfind(needle);
}

void Cursor::skip_ws() {
  const size_t n = data_.size();
  while (pos_ < n) {
    uint8_t c = data_[pos_];
    if (kClass[c] == kWhite) {
      ++pos_;
    } else if (c == '%') {
      ++pos_;
      while (pos_ < n && data_[pos_] != '\r' && data_[pos_] != '\n') ++pos_;
    } else {
      break;
    }
  }
}

bool Cursor::eat_keyword(std::string_view word) {
  if (remaining() < word.size()) return false;
  if (std::memcmp(data_.data() + pos_, word.data(), word.size()) != 0) return false;
  size_t after = pos_ + word.size();
  if (after < data_.size() && kClass[data_[after]] == kRegular) return false;
  pos_ = after;
  return true;
}

std::span<const uint8_t> Cursor::read_regular() {
  size_t start = pos_;
  const size_t n = data_.size();
  while (pos_ < n && kClass[data_[pos_]] == kRegular) ++pos_;
  return data_.subspan(start, pos_ - start);
}

std::string Cursor::read_name() {
  std::span<const uint8_t> run = read_regular();
  bool plain = true;
  for (uint8_t c : run) {
    if (c == '#' || c >= 0x80) {
      plain = false;
      break;
    }
  }
  if (plain) return std::string(as_chars(run));
  Bytes raw;
  raw.reserve(run.size());
  for (size_t i = 0; i < run.size(); ++i) {
    if (run[i] == '#' && i + 2 < run.size()) {
      int h = hex_value(run[i + 1]), l = hex_value(run[i + 2]);
      if (h >= 0 && l >= 0) {
        raw.push_back(static_cast<uint8_t>(h << 4 | l));
        i += 2;
        continue;
      }
    }
    raw.push_back(run[i]);
  }
  return utf8_lossy(raw);
}

Bytes Cursor::read_literal_string() {
  Bytes out;
  int depth = 1;
  const size_t n = data_.size();
  while (pos_ < n) {
    // Copy the run of ordinary bytes in one go.
    size_t run = pos_;
    while (run < n && data_[run] != '\\' && data_[run] != '(' && data_[run] != ')') ++run;
    out.insert(out.end(), data_.begin() + pos_, data_.begin() + run);
    pos_ = run;
    if (pos_ >= n) break;
    uint8_t c = data_[pos_++];
    if (c == '(') {
      ++depth;
      out.push_back(c);
    } else if (c == ')') {
      if (depth == 1) return out;
      --depth;
      out.push_back(c);
    } else {  // backslash
      if (pos_ >= n) break;
      uint8_t e = data_[pos_++];
      switch (e) {
        case 'n':
          out.push_back('\n');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case '\n':
          break;
        case '\r':
          if (pos_ < n && data_[pos_] == '\n') ++pos_;
          break;
        default:
          if (e >= '0' && e <= '7') {
            unsigned v = e - '0';
            for (int k = 0; k < 2 && pos_ < n && data_[pos_] >= '0' && data_[pos_] <= '7'; ++k) {
              v = v * 8 + (data_[pos_++] - '0');
            }
            out.push_back(static_cast<uint8_t>(v & 0xFF));
          } else {
            out.push_back(e);  // \( \) \\ and unknown escapes alike give the byte itself
          }
      }
    }
  }
  return out;
}

Bytes Cursor::read_hex_string() {
  Bytes out;
  int high = -1;
  const size_t n = data_.size();
  while (pos_ < n) {
    uint8_t c = data_[pos_++];
    if (c == '>') break;
    int v = hex_value(c);
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  if (high >= 0) out.push_back(static_cast<uint8_t>(high << 4));
  return out;
}

Dict Cursor::read_dict_body(int depth) {
  Dict dict;
  while (true) {
    skip_ws();
    if (at_end()) break;
    uint8_t c = data_[pos_];
    if (c == '/') {
      ++pos_;
      std::string key = read_name();
      // A key whose value cannot be read is dropped, and so is every entry past the cap.
      Object value;
      if (read_into(value, depth + 1) && elements_ < kMaxObjectElements) {
        dict.insert(std::move(key), std::move(value));
        ++elements_;
      }
    } else if (c == '>') {
      ++pos_;
      if (peek() == '>') ++pos_;
      break;
    } else {
      ++pos_;  // stray byte between entries
    }
  }
  return dict;
}

void Cursor::read_array_into(Object& out, int depth) {
  Array& items = out.variant().emplace<6>();
  while (true) {
    skip_ws();
    if (at_end()) break;
    if (data_[pos_] == ']') {
      ++pos_;
      break;
    }
    if (elements_ >= kMaxObjectElements) {
      // Past the cap elements are still read, so that the array ends where it should, but
      // kept nowhere: nested arrays and dictionaries among them stay empty.
      Object dropped;
      if (read_into(dropped, depth + 1)) continue;
    } else {
      if (items.empty()) items.reserve(4);
      if (read_into(items.emplace_back(), depth + 1)) {
        ++elements_;
        continue;
      }
      items.pop_back();
    }
    if (at_end()) break;
    // Skip the unreadable byte and try again; a long unreadable token goes in one step.
    size_t run = 0;
    while (run <= kMaxRetriedToken && pos_ + run < data_.size() &&
           kClass[data_[pos_ + run]] == kRegular) {
      ++run;
    }
    if (run > kMaxRetriedToken) {
      read_regular();
    } else {
      ++pos_;
    }
  }
}

bool Cursor::read_token_into(Object& out) {
  size_t start = pos_;
  std::span<const uint8_t> token = read_regular();
  std::string_view text = as_chars(token);
  if (text == "null") {
    out.variant().emplace<0>();
    return true;
  }
  if (text == "true" || text == "false") {
    out.variant().emplace<1>(text == "true");
    return true;
  }
  if (!parse_number_into(token, out)) {
    pos_ = start;
    return false;
  }
  if (!out.is_integer()) return true;
  int64_t n = *out.as_integer();
  if (n < 0 || n > int64_t{std::numeric_limits<uint32_t>::max()}) return true;

  // "n g R" is a reference; anything else leaves the cursor right after n.
  size_t after = pos_;
  skip_ws();
  int c = peek();
  if (c >= 0 && (is_digit(static_cast<uint8_t>(c)) || c == '+' || c == '-')) {
    Object gen;
    if (parse_number_into(read_regular(), gen) && gen.is_integer()) {
      int64_t g = *gen.as_integer();
      skip_ws();
      if (g >= 0 && g <= 65535 && eat_keyword("R")) {
        out.variant().emplace<9>(Ref{static_cast<uint32_t>(n), static_cast<uint16_t>(g)});
        return true;
      }
    }
  }
  pos_ = after;
  return true;
}

std::optional<Object> Cursor::read_object_at(int depth) {
  if (depth == 0) elements_ = 0;
  Object out;
  if (!read_into(out, depth)) return std::nullopt;
  return out;
}

bool Cursor::read_into(Object& out, int depth) {
  if (depth >= kMaxDepth) return false;
  while (true) {
    skip_ws();
    if (at_end()) return false;
    switch (data_[pos_]) {
      case '(':
        ++pos_;
        out.variant().emplace<4>(read_literal_string());
        return true;
      case '/':
        ++pos_;
        out.variant().emplace<5>(read_name());
        return true;
      case '<':
        if (pos_ + 1 < data_.size() && data_[pos_ + 1] == '<') {
          pos_ += 2;
          out.variant().emplace<7>(read_dict_body(depth));
          return true;
        }
        ++pos_;
        out.variant().emplace<4>(read_hex_string());
        return true;
      case '[':
        ++pos_;
        read_array_into(out, depth);
        return true;
      case ')':
      case '>':
      case ']':
      case '}':
        return false;
      case '{':
        ++pos_;  // PostScript braces carry nothing for the reader
        continue;
      default:
        return read_token_into(out);
    }
  }
}

Stream Cursor::read_stream_data(Dict dict, std::optional<size_t> length) {
  const size_t n = data_.size();
  if (pos_ < n && data_[pos_] == '\r') {
    ++pos_;
    if (pos_ < n && data_[pos_] == '\n') ++pos_;
  } else if (pos_ < n && data_[pos_] == '\n') {
    ++pos_;
  }
  const size_t start = pos_;
  size_t end = n;
  bool found = false;
  if (length && *length <= n - start) {
    Cursor probe(data_, start + *length);
    probe.skip_ws();
    if (probe.eat_keyword("endstream")) {
      end = start + *length;
      pos_ = probe.pos();
      found = true;
    }
  }
  if (!found) {
    // The length is missing or wrong: the data runs up to the first endstream.
    size_t hit = n - start < 9 ? std::string_view::npos : find_bytes(data_, "endstream", start);
    if (hit == std::string_view::npos) {
      end = n;
      pos_ = n;
    } else {
      end = hit;
      if (end > start && data_[end - 1] == '\n') --end;
      if (end > start && data_[end - 1] == '\r') --end;
      pos_ = hit;
      skip_ws();
      eat_keyword("endstream");
    }
  }
  Stream stream;
  stream.dict = std::move(dict);
  stream.data = std::make_shared<const Bytes>(data_.begin() + start, data_.begin() + end);
  return stream;
}

}  // namespace kestrum
