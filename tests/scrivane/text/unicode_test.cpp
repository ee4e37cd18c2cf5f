#include "scrivane/text/unicode.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>
#include <vector>

namespace scrivane {
namespace {

TEST(Unicode, NextScalarDecodesAndReplacesMalformedBytes) {
  struct Case {
    std::string_view bytes;
    std::vector<char32_t> want;
    const char* why;
  };
  const Case kCases[] = {
      {"a\u00E9\u2010\U0001D6FC", {U'a', U'\u00E9', U'\u2010', U'\U0001D6FC'}, "1 to 4 bytes"},
      {"\xC3", {0xFFFD}, "truncated at the end"},
      {"\xC0\xAF", {0xFFFD, 0xFFFD}, "overlong: each byte on its own"},
      {"\xED\xA0\x80", {0xFFFD, 0xFFFD, 0xFFFD}, "encoded surrogate"},
      {"\xF4\x90\x80\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}, "beyond U+10FFFF"},
      {"\x80x", {0xFFFD, U'x'}, "stray continuation byte"},
  };
  for (const Case& c : kCases) {
    std::vector<char32_t> got;
    for (size_t pos = 0; pos < c.bytes.size();) got.push_back(next_scalar(c.bytes, pos));
    EXPECT_EQ(got, c.want) << c.why;
    std::vector<char32_t> back;
    for (size_t end = c.bytes.size(); end > 0;)
      back.insert(back.begin(), prev_scalar(c.bytes, end));
    EXPECT_EQ(back, c.want) << c.why << " (walking backwards)";
  }
}

TEST(Unicode, WhiteSpaceIsTheUnicodeProperty) {
  std::string_view text = "\u3000 one\u00A0two\tthree\u2028four\u200Bfive \u202F";
  EXPECT_EQ(split_white_space(text),
            (std::vector<std::string_view>{"one", "two", "three", "four\u200Bfive"}))
      << "U+200B ZERO WIDTH SPACE is not White_Space";
  EXPECT_EQ(count_words(text), 4u);
  EXPECT_EQ(trim_white_space(text), "one\u00A0two\tthree\u2028four\u200Bfive");
  EXPECT_EQ(trim_white_space(" \t\n"), "");
  EXPECT_TRUE(split_white_space("").empty());
}

TEST(Unicode, TrimsOneEndAtATime) {
  struct Case {
    std::string_view text;
    std::string_view start;  // trim_white_space_start
    std::string_view end;    // trim_white_space_end
    const char* why;
  };
  const Case kCases[] = {
      {"\u00A0 a b\t\u2003", "a b\t\u2003", "\u00A0 a b", "Unicode white space at both ends"},
      {"ab", "ab", "ab", "nothing to trim"},
      {" \t", "", "", "white space only"},
      {"", "", "", "empty"},
      {" \xC3 ", "\xC3 ", " \xC3", "a truncated sequence is no white space"},
      {"\xA0 x \xA0", "\xA0 x \xA0", "\xA0 x \xA0", "a stray byte A0 is no no-break space"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(trim_white_space_start(c.text), c.start) << c.why;
    EXPECT_EQ(trim_white_space_end(c.text), c.end) << c.why;
  }
}

TEST(Unicode, FirstScalar) {
  EXPECT_EQ(first_scalar(""), std::nullopt);
  EXPECT_EQ(first_scalar("\u00C9cole"), U'\u00C9');
  EXPECT_EQ(first_scalar("\xE2\x80"), char32_t{0xFFFD}) << "truncated";
}

TEST(Unicode, LowercaseIsTheFullMapping) {
  EXPECT_EQ(to_lower("ABC xyz"), "abc xyz");
  EXPECT_EQ(to_lower("ÉCOLE Ωmega"), "école ωmega");
  EXPECT_EQ(to_lower("\u0130"), "i\u0307") << "capital I with dot maps to two characters";
  EXPECT_EQ(to_lower("ΟΔΟΣ"), "οδος") << "final sigma";
}

TEST(Unicode, CharacterProperties) {
  EXPECT_TRUE(is_alphabetic(U'\u00E9'));
  EXPECT_FALSE(is_alphabetic(U'3'));
  EXPECT_TRUE(is_uppercase(U'\u00C9'));
  EXPECT_FALSE(is_uppercase(U'\u00E9'));
  EXPECT_TRUE(is_numeric(U'7'));
  EXPECT_TRUE(is_numeric(U'\u00BD')) << "vulgar fraction one half is No";
  EXPECT_TRUE(is_numeric(U'\u2168')) << "roman numeral nine is Nl";
  EXPECT_FALSE(is_numeric(U'x'));
}

}  // namespace
}  // namespace scrivane
