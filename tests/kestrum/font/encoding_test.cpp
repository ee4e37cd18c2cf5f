#include "kestrum/font/encoding.h"

#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "kestrum/lexer.h"
#include "kestrum/parser.h"
#include "support/pdf_builder.h"

namespace kestrum {
namespace {

using testing_support::PdfBuilder;
using testing_support::to_bytes;

Dict dict_of(std::string_view pdf_text) {
  Cursor cursor(as_bytes(pdf_text));
  std::optional<Object> object = cursor.read_object_at(0);
  return object && object->is_dict() ? *object->as_dict() : Dict();
}

GlyphNames encoding_of(std::string_view font, std::string_view base_name = "",
                       bool symbolic = false, std::string_view type1 = {}) {
  return build_encoding(dict_of(font), base_name, symbolic, as_bytes(type1), DirectResolver());
}

std::string text_or_none(const std::optional<std::string>& text) {
  return text ? "\"" + *text + "\"" : "none";
}

TEST(BaseEncoding, TablesDifferWhereTheEncodingsDo) {
  struct Case {
    BaseEncoding table;
    uint8_t code;
    std::optional<std::string_view> want;
  };
  const Case kCases[] = {
      {BaseEncoding::Standard, 39, "quoteright"},  // Standard keeps the curly quotes at 39, 96
      {BaseEncoding::Standard, 96, "quoteleft"},
      {BaseEncoding::WinAnsi, 39, "quotesingle"},
      {BaseEncoding::WinAnsi, 96, "grave"},
      {BaseEncoding::Standard, 251, "germandbls"},  // the letters the standard table carries
      {BaseEncoding::Standard, 232, "Lslash"},
      {BaseEncoding::Standard, 176, std::nullopt},  // high codes absent from the table
      {BaseEncoding::Standard, 245, "dotlessi"},
      {BaseEncoding::WinAnsi, 128, "Euro"},
      {BaseEncoding::WinAnsi, 255, "ydieresis"},
      {BaseEncoding::WinAnsi, 129, std::nullopt},
      {BaseEncoding::MacRoman, 202, "space"},
      {BaseEncoding::MacRoman, 255, "caron"},
      {BaseEncoding::MacRoman, 240, std::nullopt},
      {BaseEncoding::Symbol, 97, "alpha"},
      {BaseEncoding::Symbol, 45, "hyphen"},  // the ASCII codes that keep their names
      {BaseEncoding::Symbol, 34, "universal"},
      {BaseEncoding::Symbol, 65, "Alpha"},
      {BaseEncoding::Symbol, 242, "integral"},
      {BaseEncoding::Symbol, 36, "existential"},
      {BaseEncoding::Symbol, 243, std::nullopt},
      {BaseEncoding::WinAnsi, 0, std::nullopt},  // control codes never have names
      {BaseEncoding::Standard, 127, std::nullopt},
      {BaseEncoding::Symbol, 126, "similar"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(base_encoding_name(c.table, c.code), c.want)
        << "table " << static_cast<int>(c.table) << " code " << int{c.code};
  }
}

// A misspelt name in a table would silently lose that character's text.
TEST(BaseEncoding, EveryNameHasText) {
  for (BaseEncoding table : {BaseEncoding::Standard, BaseEncoding::WinAnsi, BaseEncoding::MacRoman,
                             BaseEncoding::Symbol}) {
    int named = 0;
    for (int code = 0; code < 256; ++code) {
      auto name = base_encoding_name(table, static_cast<uint8_t>(code));
      if (!name) continue;
      ++named;
      EXPECT_TRUE(glyph_name_to_unicode(*name)) << *name;
    }
    const int kNamed[] = {149, 217, 220, 152};
    EXPECT_EQ(named, kNamed[static_cast<int>(table)]) << static_cast<int>(table);
  }
}

TEST(GlyphNames, NamesToText) {
  struct Case {
    std::string_view name;
    std::optional<std::string> want;
    const char* why;
  };
  const Case kCases[] = {
      {"A", "A", "glyph list"},
      {"zeta", "ζ", "glyph list, last entry"},
      {"Euro", "€", "glyph list"},
      {"ffi", "\uFB03", "ligatures stay ligatures"},
      {"", std::nullopt, "empty"},
      {".notdef", std::nullopt, "notdef"},
      {"uni00410042", "AB", "two UTF-16 units"},
      {"uni004", std::nullopt, "not a multiple of four digits, falls through"},
      {"uniD835DC00", "𝐀", "a surrogate pair"},
      {"uniD835", "\uFFFD", "an unpaired surrogate"},
      {"uni00e9", "é", "lower-case digits"},
      {"uni00G9", std::nullopt, "not hexadecimal"},
      {"u1F600", "😀", "u with five digits"},
      {"u0041", "A", "u with four digits"},
      {"u10FFFF", "\U0010FFFF", "the last scalar value"},
      {"u110000", std::nullopt, "beyond Unicode"},
      {"uD800", std::nullopt, "a surrogate is no scalar value"},
      {"u041", std::nullopt, "too few digits"},
      {"u+0041", "A", "a plus sign before the digits"},
      {"parenlefttp", "(", "top piece of a delimiter"},
      {"parenleftbt", "", "bottom piece gives the empty text"},
      {"parenleftex", "", "extension piece"},
      {"bracelefttp", "{", "top piece through the TeX math names"},
      {"bracemid", "", "middle piece of a brace"},
      {"vertex", "", "exactly vert is a family"},
      {"arrowtp", std::nullopt, "family member without a character, then no full stop"},
      {"radicalBig", "√", "size variant from the glyph list"},
      {"summationdisplay", "∑", "size variant from the TeX math names"},
      {"integraltext", "∫", "text size variant"},
      {"parenleftbigg", "(", "bigg before big"},
      {"contintegraldisplay", "∮", "TeX math base"},
      {"xBig", std::nullopt, "base too short"},
      {"coproduct", "∐", "TeX math name"},
      {"negationslash", "⁄", "TeX math name"},
      {"radicalex", "‾", "glyph list before delimiter pieces"},
      {"f.alt", "f", "suffix dropped"},
      {"a.sc", "a", "small caps"},
      {"one.oldstyle", "1", "old-style figures"},
      {".sc", std::nullopt, "nothing before the full stop"},
      {"a.b.c", "a", "the part before the first full stop"},
      {"uni0041.sc", "A", "suffix after a uni name"},
      {"parenlefttp.alt", "(", "suffix after a delimiter piece"},
      {"nosuchglyph", std::nullopt, "unknown"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(text_or_none(glyph_name_to_unicode(c.name)), text_or_none(c.want))
        << c.name << ": " << c.why;
  }
}

TEST(GlyphNames, PlainLookupIsTheGlyphListAlone) {
  EXPECT_EQ(plain_lookup("A"), U'A');
  EXPECT_EQ(plain_lookup("zeta"), U'ζ');
  EXPECT_EQ(plain_lookup("AE"), U'Æ');
  EXPECT_EQ(plain_lookup("coproduct"), std::nullopt);  // TeX math names are not in it
  EXPECT_EQ(plain_lookup("uni0041"), std::nullopt);
  EXPECT_EQ(plain_lookup("a.sc"), std::nullopt);
}

TEST(GlyphNames, SymbolPrivateUseIsUndone) {
  EXPECT_EQ(undo_symbol_pua(0xF0B7), "•");  // Symbol 0xB7 bullet
  EXPECT_EQ(undo_symbol_pua(0xF061), "α");
  EXPECT_EQ(undo_symbol_pua(0xF020), " ");
  EXPECT_EQ(undo_symbol_pua(0xF0F2), "∫");
  EXPECT_EQ(undo_symbol_pua(0xF07F), "\uF07F");  // Symbol code 127 has no name
  EXPECT_EQ(undo_symbol_pua(0xF05C), "\u2234");  // Symbol code 92, "therefore"
  EXPECT_EQ(undo_symbol_pua(0xF01F), "\uF01F");  // below the range
  EXPECT_EQ(undo_symbol_pua(0xF100), "\uF100");
  EXPECT_EQ(undo_symbol_pua(U'a'), "a");
}

TEST(BuildEncoding, DifferencesOverBaseEncodings) {
  GlyphNames names = encoding_of(
      "<< /Encoding << /BaseEncoding /WinAnsiEncoding /Differences [24 /breve /caron 39 "
      "/quotesingle] >> >>");
  ASSERT_EQ(names.size(), 256u);
  EXPECT_EQ(names[24], "breve");
  EXPECT_EQ(names[25], "caron");
  EXPECT_EQ(names[39], "quotesingle");
  EXPECT_EQ(names[128], "Euro");  // WinAnsi elsewhere
  EXPECT_EQ(names[26], "");
}

TEST(BuildEncoding, DifferencesCodes) {
  struct Case {
    std::string_view differences;
    std::vector<std::pair<int, std::string>> want;  // codes that must hold these names
    const char* why;
  };
  const Case kCases[] = {
      {"[300 /a /b]", {{44, "comma"}, {45, "hyphen"}}, "codes above 255 store nothing"},
      {"[255 /a /b]", {{255, "a"}, {0, ""}}, "the code after 255 does not wrap to 0"},
      {"[-1 /a /b]", {{0, "b"}}, "a negative code counts up into range"},
      {"[65.7 /x]", {{65, "x"}}, "a real code is truncated"},
      {"[65 (s) /x 1 true /y]", {{65, "x"}, {1, "y"}}, "other elements are skipped"},
      {"[/x /y]", {{0, "x"}, {1, "y"}}, "the code starts at 0"},
      {"[9223372036854775807 /x /y]", {{0, ""}}, "the code saturates"},
  };
  for (const Case& c : kCases) {
    GlyphNames names = encoding_of("<< /Encoding << /BaseEncoding /StandardEncoding /Differences " +
                                   std::string(c.differences) + " >> >>");
    for (const auto& [code, name] : c.want) EXPECT_EQ(names[code], name) << c.why;
  }
}

TEST(BuildEncoding, BaseChoice) {
  // Type 1 clear text of a program whose own encoding puts /Alpha at 65 and /beta at 98.
  constexpr std::string_view kCustom =
      "%!PS-AdobeFont-1.0: CMR10\n/Encoding 256 array\n0 1 255 {1 index exch /.notdef put} for\n"
      "dup 65 /Alpha put\ndup 98 /beta put\nreadonly def\ncurrentfile eexec\x8f\x01";
  constexpr std::string_view kStandard = "/FontName /X def /Encoding StandardEncoding def eexec";
  struct Case {
    std::string_view font;
    std::string_view base_name;
    bool symbolic;
    std::string_view program;
    int code;
    std::string_view want;
    const char* why;
  };
  const Case kCases[] = {
      {"<< >>", "Helvetica", false, {}, 39, "quoteright", "non-symbolic defaults to Standard"},
      {"<< >>", "ABCDEF+Symbol", true, {}, 97, "alpha", "a name with symbol uses the Symbol table"},
      {"<< >>", "ABCDEF+SYMBOLMT", false, {}, 97, "alpha", "symbol in any case"},
      {"<< >>", "Wingdings", true, {}, 65, "", "symbolic without a name hint: no names at all"},
      {"<< /Encoding /MacExpertEncoding >>",
       "X",
       true,
       {},
       39,
       "quoteright",
       "expert reads as Standard"},
      {"<< /Encoding /MacRomanEncoding >>",
       "X",
       true,
       {},
       202,
       "space",
       "a named base wins over symbolic"},
      {"<< /Encoding /Identity-H >>",
       "X",
       false,
       {},
       65,
       "A",
       "an unknown name leaves the base open"},
      {"<< /Encoding 5 >>", "X", false, {}, 65, "A", "an ill-typed encoding leaves the base open"},
      {"<< /Encoding << /BaseEncoding /Foo >> >>", "X", true, {}, 65, "", "unknown base, symbolic"},
      {"<< >>", "CMR10", false, kCustom, 65, "Alpha", "the program's own encoding"},
      {"<< >>", "CMR10", false, kCustom, 66, "", "other codes stay empty: no base under it"},
      {"<< /Encoding << /Differences [66 /gamma] >> >>", "CMR10", false, kCustom, 66, "gamma",
       "differences apply over the program's encoding"},
      {"<< >>", "X", true, kStandard, 39, "quoteright", "the program names StandardEncoding"},
      {"<< /Encoding /WinAnsiEncoding >>", "CMR10", false, kCustom, 65, "A",
       "a named base beats the program"},
      {"<< >>", "Symbol", true, "no encoding here", 97, "alpha",
       "a program without one falls through"},
  };
  for (const Case& c : kCases) {
    GlyphNames names = encoding_of(c.font, c.base_name, c.symbolic, c.program);
    EXPECT_EQ(names[c.code], c.want) << c.why;
  }
}

TEST(BuildEncoding, FollowsReferences) {
  std::string pdf = PdfBuilder()
                        .object(1, "<< /Type /Catalog /Pages 2 0 R >>")
                        .object(2, "<< /Type /Pages /Kids [] /Count 0 >>")
                        .object(3, "<< /BaseEncoding 4 0 R /Differences 5 0 R >>")
                        .object(4, "/WinAnsiEncoding")
                        .object(5, "[32 /a 6 0 R]")
                        .object(6, "/b")
                        .trailer("/Root 1 0 R")
                        .build();
  auto file = PdfFile::load(to_bytes(pdf));
  ASSERT_TRUE(file);
  GlyphNames names =
      build_encoding(dict_of("<< /Encoding 3 0 R >>"), "X", true, {}, FileResolver(**file));
  EXPECT_EQ(names[32], "a");
  EXPECT_EQ(names[33], "b");
  EXPECT_EQ(names[128], "Euro");
}

TEST(FontNames, HintsIgnoreSubsetTagAndCase) {
  EXPECT_EQ(strip_subset_tag("ABCDEF+Times-Bold"), "Times-Bold");
  EXPECT_EQ(strip_subset_tag("A+B+Courier"), "Courier");
  EXPECT_EQ(strip_subset_tag("Arial,Bold"), "Arial,Bold");
  EXPECT_TRUE(base_name_has("ABCDEF+Times-BOLD", "bold"));
  EXPECT_FALSE(base_name_has("BOLDXX+Times", "bold"));  // only the part after the tag counts
  EXPECT_FALSE(base_name_has("", "bold"));
}

TEST(Utf, Utf16AndUtf8) {
  const uint16_t kPair[] = {0xD835, 0xDC00, 0x0041};
  EXPECT_EQ(utf16_to_utf8(kPair), "𝐀A");
  const uint16_t kLowFirst[] = {0xDC00, 0xD835};
  EXPECT_EQ(utf16_to_utf8(kLowFirst), "\uFFFD\uFFFD");
  std::string text = "aé😀";
  size_t pos = 0;
  EXPECT_EQ(next_utf8(text, pos), U'a');
  EXPECT_EQ(next_utf8(text, pos), U'é');
  EXPECT_EQ(next_utf8(text, pos), U'😀');
  EXPECT_EQ(pos, text.size());
  std::string broken = "\xE2\x82";
  pos = 0;
  EXPECT_EQ(next_utf8(broken, pos), U'\uFFFD');
  EXPECT_EQ(pos, 1u);
}

}  // namespace
}  // namespace kestrum
