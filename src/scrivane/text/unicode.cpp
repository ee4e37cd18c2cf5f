#include "scrivane/text/unicode.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace scrivane {

char32_t next_scalar(std::string_view s, size_t& pos) {
  auto b0 = static_cast<unsigned char>(s[pos]);
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  // The accepted ranges of the second byte keep out overlongs, surrogates and values past
  // U+10FFFF, so whatever decodes here is a scalar value.
  size_t len = 0;
  unsigned char lo = 0x80, hi = 0xBF;
  char32_t c = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, c = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, c = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, c = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    ++pos;
    return 0xFFFD;
  }
  if (s.size() - pos < len) {
    ++pos;
    return 0xFFFD;
  }
  for (size_t k = 1; k < len; ++k) {
    auto b = static_cast<unsigned char>(s[pos + k]);
    if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) {
      ++pos;
      return 0xFFFD;
    }
    c = (c << 6) | (b & 0x3F);
  }
  pos += len;
  return c;
}

char32_t prev_scalar(std::string_view s, size_t& end) {
  // Step back over at most three continuation bytes to a lead byte that decodes up to `end`;
  // anything else is a stray byte read on its own.
  size_t start = end - 1;
  for (size_t back = 1; back <= 3 && start > 0; ++back) {
    if ((static_cast<unsigned char>(s[start]) & 0xC0) != 0x80) break;
    --start;
  }
  size_t pos = start;
  char32_t c = next_scalar(s, pos);
  if (pos == end) {
    end = start;
    return c;
  }
  --end;
  pos = end;
  return next_scalar(s, pos);
}

std::optional<char32_t> first_scalar(std::string_view s) {
  if (s.empty()) return std::nullopt;
  size_t pos = 0;
  return next_scalar(s, pos);
}

size_t scalar_count(std::string_view s) {
  size_t n = 0;
  for (size_t pos = 0; pos < s.size(); ++n) next_scalar(s, pos);
  return n;
}

bool is_white_space(char32_t c) {
  return u_isUWhiteSpace(static_cast<UChar32>(c));
}

bool is_alphabetic(char32_t c) {
  return u_isUAlphabetic(static_cast<UChar32>(c));
}

bool is_uppercase(char32_t c) {
  return u_isUUppercase(static_cast<UChar32>(c));
}

bool is_numeric(char32_t c) {
  int8_t type = u_charType(static_cast<UChar32>(c));
  return type == U_DECIMAL_DIGIT_NUMBER || type == U_LETTER_NUMBER || type == U_OTHER_NUMBER;
}

std::string to_lower(std::string_view s) {
  std::string out;
  bool ascii = true;
  for (char ch : s) ascii = ascii && static_cast<unsigned char>(ch) < 0x80;
  if (ascii) {
    out.reserve(s.size());
    for (char ch : s) out.push_back(ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + 32) : ch);
    return out;
  }
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), s.size()));
  u.toLower(icu::Locale::getRoot());
  u.toUTF8String(out);
  return out;
}

std::string_view trim_white_space_start(std::string_view s) {
  size_t begin = 0;
  while (begin < s.size()) {
    size_t next = begin;
    if (!is_white_space(next_scalar(s, next))) break;
    begin = next;
  }
  return s.substr(begin);
}

std::string_view trim_white_space_end(std::string_view s) {
  size_t end = s.size();
  while (end > 0) {
    size_t prev = end;
    if (!is_white_space(prev_scalar(s, prev))) break;
    end = prev;
  }
  return s.substr(0, end);
}

std::string_view trim_white_space(std::string_view s) {
  return trim_white_space_end(trim_white_space_start(s));
}

namespace {

// Calls `f` with each non-empty token of `s` between White_Space characters.
template <typename F>
void for_each_token(std::string_view s, F&& f) {
  size_t pos = 0;
  size_t start = 0;
  while (pos < s.size()) {
    size_t here = pos;
    if (is_white_space(next_scalar(s, pos))) {
      if (here > start) f(s.substr(start, here - start));
      start = pos;
    }
  }
  if (s.size() > start) f(s.substr(start));
}

}  // namespace

std::vector<std::string_view> split_white_space(std::string_view s) {
  std::vector<std::string_view> out;
  for_each_token(s, [&](std::string_view token) { out.push_back(token); });
  return out;
}

size_t count_words(std::string_view s) {
  size_t n = 0;
  for_each_token(s, [&](std::string_view) { ++n; });
  return n;
}

}  // namespace scrivane
