#include "kestrum/font/type1.h"

#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "kestrum/lexer.h"

namespace kestrum {
namespace {

Type1Encoding read(std::string_view program) {
  return read_type1_encoding(as_bytes(program));
}

TEST(Type1, ReadsDupEntriesUpToReadonlyDef) {
  Type1Encoding e = read(
      "%!PS-AdobeFont-1.0: CMMI10 003.002\n/Encoding 256 array\n"
      "0 1 255 {1 index exch /.notdef put} for\n"
      "dup 11 /alpha put\ndup 12 /beta put\n"
      "dup  255\t/dieresis\nput\n"  // any whitespace between the parts
      "dup 13 /.notdef put\n"       // .notdef assigns nothing
      "dup 256 /x put\ndup -1 /y put\n"
      "dup 14/gamma put\n"      // no whitespace before the slash: not an entry
      "dup 15 /delta(x) put\n"  // a name ends at a delimiter, and then comes no put
      "dup 16 /epsilon\rput\n"
      "dup 11 /alpha1 put\n"  // a later entry replaces an earlier one
      "readonly def\n"
      "dup 20 /zeta put\n"  // after the end of the encoding
      "currentfile eexec\n");
  EXPECT_FALSE(e.standard);
  ASSERT_EQ(e.names.size(), 256u);
  EXPECT_EQ(e.names[11], "alpha1");
  EXPECT_EQ(e.names[12], "beta");
  EXPECT_EQ(e.names[255], "dieresis");
  EXPECT_EQ(e.names[13], "");
  EXPECT_EQ(e.names[14], "");
  EXPECT_EQ(e.names[15], "");
  EXPECT_EQ(e.names[16], "epsilon");
  EXPECT_EQ(e.names[20], "");
}

TEST(Type1, Declarations) {
  struct Case {
    std::string program;
    bool standard;
    std::vector<std::pair<int, std::string>> names;
    const char* why;
  };
  const Case kCases[] = {
      {"/FontName /Foo def /Encoding StandardEncoding def", true, {}, "standard"},
      {"/Encoding\n\t StandardEncoding def", true, {}, "whitespace before the name"},
      {"/Encoding 256 array dup 65 /A put def",
       false,
       {{65, "A"}},
       "ends at \" def\" without readonly"},
      {"/Encoding 256 array dup 65 /A put", false, {{65, "A"}}, "no end at all: the rest"},
      {"no encoding at all dup 65 /A put", false, {}, "no /Encoding"},
      {"/Encoding 256 array\n0 1 255 {1 index exch /.notdef put} for readonly def",
       false,
       {},
       "nothing assigned"},
      {"/Encoding 256 array eexec dup 65 /A put readonly def", false, {}, "entries after eexec"},
      {std::string("\x80\x01\x20\x00\x00\x00", 6) +
           "/Encoding 256 array dup 66 /B put readonly def",
       false,
       {{66, "B"}},
       "a binary segment header is skipped"},
      {"/Encoding 256 array dup 99999999999999999999 /A put dup +66 /B put readonly def",
       false,
       {{66, "B"}},
       "huge codes are out of range; a plus sign is read"},
  };
  for (const Case& c : kCases) {
    Type1Encoding e = read(c.program);
    EXPECT_EQ(e.standard, c.standard) << c.why;
    EXPECT_EQ(e.names.empty(), c.names.empty()) << c.why;
    for (const auto& [code, name] : c.names) {
      ASSERT_EQ(e.names.size(), 256u) << c.why;
      EXPECT_EQ(e.names[code], name) << c.why;
    }
  }
}

TEST(Type1, ShortAndEmptyPrograms) {
  EXPECT_TRUE(read("").names.empty());
  EXPECT_TRUE(read("\x80\x01").names.empty());
  EXPECT_FALSE(read("/Encoding").standard);
  EXPECT_FALSE(read("/Encoding Standard").standard);
  EXPECT_TRUE(read("/Encoding 256 array dup").names.empty());
  EXPECT_TRUE(read("/Encoding 256 array dup 5 /").names.empty());
}

// Cut anywhere, the clear text yields a prefix of what the whole program declares.
TEST(Type1, EveryTruncationReads) {
  const std::string kProgram =
      "%!PS-AdobeFont-1.0: X\n/Encoding 256 array\ndup 65 /A put\ndup 66 /B put\nreadonly def\n"
      "currentfile eexec\n";
  for (size_t n = 0; n <= kProgram.size(); ++n) {
    Type1Encoding e = read(std::string_view(kProgram).substr(0, n));
    EXPECT_FALSE(e.standard);
    if (!e.names.empty()) {
      EXPECT_EQ(e.names[65], "A") << n;
    }
  }
  EXPECT_EQ(read(kProgram).names[66], "B");
}

}  // namespace
}  // namespace kestrum
