#include "kestrum/lexer.h"

#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace kestrum {
namespace {

std::optional<Object> read(std::string_view text, size_t* end = nullptr) {
  Cursor c(as_bytes(text));
  std::optional<Object> o = c.read_object_at(0);
  if (end != nullptr) *end = c.pos();
  return o;
}

Object integer(int64_t v) {
  return Object::integer(v);
}
Object real(double v) {
  return Object::real(v);
}
Object str(std::string_view s) {
  return Object::string(s);
}
Object name(std::string n) {
  return Object::name(std::move(n));
}
Object array(std::initializer_list<Object> items) {
  return Object(Array(items));
}
Object dict(std::initializer_list<std::pair<std::string, Object>> entries) {
  Dict d;
  for (const auto& [k, v] : entries) d.insert(k, v);
  return Object(std::move(d));
}

TEST(Lexer, ReadsObjects) {
  struct Case {
    std::string_view input;
    Object want;
    const char* why;
  };
  const Case kCases[] = {
      {"12 0 R", Object::ref(12, 0), "two integers and R are a reference"},
      {"4294967295 65535 R", Object::ref(4294967295u, 65535), "largest number and generation"},
      {"-1 0 R", integer(-1), "negative numbers cannot be referenced"},
      {"1 70000 R", integer(1), "generation above 65535"},
      {"4294967296 0 R", integer(4294967296), "number beyond 32 bits"},
      {"1 0.0 R", integer(1), "real generation"},
      {"12 0 % note\n R", Object::ref(12, 0), "comments between the parts"},
      {"[1 2 ) 3]", array({integer(1), integer(2), integer(3)}), "stray ) is skipped"},
      {"[1 0 R 2]", array({Object::ref(1, 0), integer(2)}), "references inside arrays"},
      {"[1 2", array({integer(1), integer(2)}), "unclosed array ends at the end of data"},
      {"[abc123]", array({integer(123)}), "an unreadable token is skipped byte by byte"},
      {"<</A 1 /B>>", dict({{"A", integer(1)}}), "key without value is dropped"},
      {"<</A 1 /A 2>>", dict({{"A", integer(2)}}), "repeated key replaces"},
      {"<</A 1 x /B 2>>", dict({{"A", integer(1)}, {"B", integer(2)}}), "stray bytes skipped"},
      {"<</A [1 /B", dict({{"A", array({integer(1), name("B")})}}), "unclosed dictionary"},
      {"<</A>", dict({}), "a single > ends the dictionary"},
      {"(a(b)c)", str("a(b)c"), "balanced parentheses nest"},
      {"(\\101\\7)", str("A\x07"), "octal escapes"},
      {"(\\0533)", str("+3"), "at most three octal digits"},
      {"(\\777)", str("\xFF"), "octal value taken modulo 256"},
      {"(\\q\\(\\)\\\\)", str("q()\\"), "unknown escape gives the byte"},
      {"(\\n\\r\\t\\b\\f)", str("\n\r\t\b\f"), "named escapes"},
      {"(a\\\nb\\\r\nc\\\rd)", str("abcd"), "line continuations"},
      {"(a\r\nb)", str("a\r\nb"), "raw line ends are kept"},
      {"(abc", str("abc"), "unclosed string runs to the end"},
      {"(abc\\", str("abc"), "backslash at the end"},
      {"<4E6F7>", str("\x4E\x6F\x70"), "odd final digit padded with 0"},
      {"<4E 6F\n70>", str("\x4E\x6F\x70"), "whitespace between digits"},
      {"<4g1>", str("\x41"), "non-hex bytes ignored"},
      {"<4E6F", str("\x4E\x6F"), "unclosed hex string"},
      {"/A#20B", name("A B"), "#xx escape"},
      {"/A#2", name("A#2"), "# without two hex digits is kept"},
      {"/A#2G", name("A#2G"), "# followed by a non-hex digit"},
      {"/#E9t#C3#A9", name("\xEF\xBF\xBDt\xC3\xA9"), "invalid UTF-8 becomes U+FFFD"},
      {"/", name(""), "empty name"},
      {"/Type/Page", name("Type"), "a name ends at a delimiter"},
      {"null", Object(), "null"},
      {"true", Object::boolean(true), "true"},
      {"false", Object::boolean(false), "false"},
      {"{ 5 }", integer(5), "braces are ignored"},
      {"  % only a comment\n 7", integer(7), "leading comment"},
  };
  for (const Case& c : kCases) {
    std::optional<Object> got = read(c.input);
    ASSERT_TRUE(got.has_value()) << c.why;
    EXPECT_EQ(*got, c.want) << c.why << ": got " << *got;
  }
}

TEST(Lexer, LeavesKeywordsAndStrayClosersForTheCaller) {
  struct Case {
    std::string_view input;
    size_t end;
    const char* why;
  };
  const Case kCases[] = {
      {"obj", 0, "keyword"},  {"  R", 2, "lone R after whitespace"},
      {")", 0, "stray )"},    {">>", 0, "stray >>"},
      {"]", 0, "stray ]"},    {"}", 0, "stray }"},
      {"", 0, "end of data"}, {"5-", 0, "sign after a digit"},
  };
  for (const Case& c : kCases) {
    size_t end = 99;
    EXPECT_FALSE(read(c.input, &end).has_value()) << c.why;
    EXPECT_EQ(end, c.end) << c.why;
  }
}

TEST(Lexer, IntegerBeforeObjLeavesCursorAfterIt) {
  Cursor c(as_bytes("12 0 obj"));
  EXPECT_EQ(c.read_object_at(0), integer(12));
  c.skip_ws();
  EXPECT_EQ(c.pos(), 3u);  // before the 0
  EXPECT_EQ(c.read_object_at(0), integer(0));
  c.skip_ws();
  EXPECT_TRUE(c.eat_keyword("obj"));
}

TEST(Lexer, ParsesNumbers) {
  struct Case {
    std::string_view token;
    std::optional<Object> want;
    const char* why;
  };
  const Case kCases[] = {
      {"0", integer(0), "zero"},
      {"+17", integer(17), "leading plus"},
      {"-98", integer(-98), "negative"},
      {"9223372036854775807", integer(INT64_MAX), "largest integer"},
      {"-9223372036854775808", integer(INT64_MIN), "smallest integer"},
      {"12345678901234567890", real(12345678901234567890.0), "20 digits overflow into a Real"},
      {"3.5", real(3.5), "decimal"},
      {".5", real(0.5), "leading point"},
      {"5.", real(5.0), "trailing point"},
      {"-.25", real(-0.25), "negative leading point"},
      {"1e3", real(1000.0), "exponent"},
      {"1e400", std::nullopt, "infinite"},
      {"1e-400", real(0.0), "underflow is a finite zero"},
      {"inf", std::nullopt, "infinity spelled out"},
      {"nan", std::nullopt, "not a number"},
      {"--5", real(-5.0), "doubled sign"},
      {"+-5", real(5.0), "the first sign is kept"},
      {"-", real(0.0), "lone sign"},
      {".", real(0.0), "lone point"},
      {"-.", real(0.0), "sign and point"},
      {"5-", std::nullopt, "sign after a digit"},
      {"1.2.3", std::nullopt, "two points"},
      {"0x10", std::nullopt, "hexadecimal is not a PDF number"},
      {"12a", std::nullopt, "trailing letter"},
      {"\xC3\xA9", std::nullopt, "non-ASCII"},
      {"\xFF"
       "1",
       std::nullopt, "invalid UTF-8"},
  };
  for (const Case& c : kCases) {
    std::optional<Object> got = parse_number(c.token);
    EXPECT_EQ(got, c.want) << c.why << ": got " << (got ? debug_string(*got) : "nothing");
  }
}

TEST(Lexer, NestingStopsAtTheDepthLimit) {
  // Counts the arrays from the outside in; the innermost one must be empty.
  auto depth_of = [](const Object& o) {
    int depth = 0;
    const Object* cur = &o;
    while (const Array* a = cur->as_array()) {
      ++depth;
      if (a->empty()) break;
      EXPECT_EQ(a->size(), 1u);
      cur = &a->front();
    }
    return depth;
  };
  std::optional<Object> o = read(std::string(200, '['));
  ASSERT_TRUE(o.has_value());
  EXPECT_EQ(depth_of(*o), kMaxDepth);

  // Far deeper input must neither overflow the stack nor take long.
  EXPECT_TRUE(read(std::string(1'000'000, '[')).has_value());
  std::string dicts;
  for (int i = 0; i < 100'000; ++i) dicts += "<</A ";
  EXPECT_TRUE(read(dicts).has_value());
}

TEST(Lexer, ElementsPastTheCapAreReadAndDropped) {
  // The first array fills the cap; what follows it, at any depth, is read but not kept.
  std::string text = "[[";
  for (size_t i = 0; i < kMaxObjectElements; ++i) text += "0 ";
  text += "] [1 2] << /K 3 >> 4] (after)";
  Cursor c(as_bytes(text));
  std::optional<Object> o = c.read_object_at(0);
  ASSERT_TRUE(o.has_value());
  const Array& outer = *o->as_array();
  ASSERT_EQ(outer.size(), 1u);
  EXPECT_EQ(outer[0].as_array()->size(), kMaxObjectElements);
  // The next top-level read starts a new count.
  EXPECT_EQ(c.read_object_at(0), str("after"));
  EXPECT_EQ(read("<< /A [1 2] /B << /C 3 >> >>"),
            dict({{"A", array({integer(1), integer(2)})}, {"B", dict({{"C", integer(3)}})}}));
}

TEST(Lexer, LongGarbageTokenInArrayIsSkippedWhole) {
  // Byte-by-byte retries over this token would take quadratic time.
  std::string input = "[1 " + std::string(500'000, 'x') + " 2]";
  EXPECT_EQ(read(input), array({integer(1), integer(2)}));
  std::string digits = "[" + std::string(300'000, '9') + "x]";
  EXPECT_EQ(read(digits), array({}));
}

TEST(Lexer, SkipsWhitespaceAndComments) {
  using namespace std::literals;
  Cursor c(as_bytes(" \t\r\n\f\0% comment\r%another\nx"sv));
  c.skip_ws();
  EXPECT_EQ(c.peek(), 'x');
  Cursor d(as_bytes("%unterminated comment"sv));
  d.skip_ws();
  EXPECT_TRUE(d.at_end());
}

TEST(Lexer, EatsKeywordsOnlyAtTokenBoundaries) {
  struct Case {
    std::string_view input;
    bool eaten;
  };
  const Case kCases[] = {
      {"obj", true},   {"obj ", true},  {"obj<<", true},
      {"objx", false}, {" obj", false}, {"ob", false},
  };
  for (const Case& c : kCases) {
    Cursor cur(as_bytes(c.input));
    EXPECT_EQ(cur.eat_keyword("obj"), c.eaten) << c.input;
    EXPECT_EQ(cur.pos(), c.eaten ? 3u : 0u) << c.input;
  }
}

TEST(Lexer, ReadsStreamData) {
  struct Case {
    std::string_view after_keyword;
    std::optional<size_t> length;
    std::string_view want;
    std::string_view rest;  // what follows once the stream is read
    const char* why;
  };
  const Case kCases[] = {
      {"\r\nABC\r\nendstream X", 3, "ABC", " X", "exact length"},
      {"\nABCDEF\r\nendstream X", 99, "ABCDEF", " X", "too long: cut at endstream, CR LF removed"},
      {"\nABCDEF\nendstream X", 3, "ABCDEF", " X", "too short: cut at endstream"},
      {"\nABCDEF\rendstream X", std::nullopt, "ABCDEF", " X", "no length, lone CR removed"},
      {"\rAB endstream", 2, "AB", "", "lone CR after the keyword"},
      {" AB\nendstream", std::nullopt, " AB", "", "a space after the keyword is data"},
      {"\nA endstream B\nendstream", 13, "A endstream B", "",
       "length wins over an early endstream"},
      {"\nABCDEFGHIJ", std::nullopt, "ABCDEFGHIJ", "", "no endstream: to the end"},
      {"\nABC", 10, "ABC", "", "fewer than 9 bytes left"},
  };
  for (const Case& c : kCases) {
    Cursor cur(as_bytes(c.after_keyword));
    Stream s = cur.read_stream_data(Dict(), c.length);
    EXPECT_EQ(std::string(s.bytes().begin(), s.bytes().end()), c.want) << c.why;
    std::span<const uint8_t> rest = cur.data().subspan(cur.pos());
    EXPECT_EQ(std::string(rest.begin(), rest.end()), c.rest) << c.why;
  }
}

TEST(Lexer, DecodesUtf8Lossily) {
  struct Case {
    std::string_view input;
    std::string_view want;
  };
  const Case kCases[] = {
      {"abc", "abc"},
      {"\xC3\xA9", "\xC3\xA9"},
      {"\xE2\x82", "\xEF\xBF\xBD"},                              // truncated sequence: one U+FFFD
      {"\xE2\x82x", "\xEF\xBF\xBDx"},                            // broken before x
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong: each byte replaced
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(utf8_lossy(as_bytes(c.input)), c.want);
    EXPECT_EQ(is_valid_utf8(as_bytes(c.input)), c.input == c.want);
  }
}

}  // namespace
}  // namespace kestrum
