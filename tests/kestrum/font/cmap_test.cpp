#include "kestrum/font/cmap.h"

#include <string>
#include <string_view>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "kestrum/font/encoding.h"
#include "kestrum/lexer.h"
#include "kestrum/parser.h"
#include "support/pdf_builder.h"

namespace kestrum {
namespace {

using testing_support::PdfBuilder;
using testing_support::to_bytes;

CMap parse(std::string_view text) {
  return CMap::parse(as_bytes(text));
}

std::string text_or_none(const std::optional<std::string>& text) {
  return text ? "\"" + *text + "\"" : "none";
}

std::vector<uint8_t> bytes(std::initializer_list<uint8_t> b) {
  return b;
}

TEST(CodeSpace, SplitsBytesIntoCodes) {
  const std::vector<CodeRange> kMixed = {{0x00, 0x80, 1}, {0x8140, 0xFEFE, 2}};
  struct Case {
    std::vector<CodeRange> ranges;
    std::vector<uint8_t> input;
    std::vector<uint32_t> want;
    const char* why;
  };
  const Case kCases[] = {
      {kMixed, {0x41, 0x81, 0x40}, {0x41, 0x8140}, "one-byte ranges are tried first"},
      {kMixed, {0x81}, {0x81}, "no match: the shortest range's length"},
      {kMixed, {0xFF, 0x41}, {0xFF, 0x41}, "an unmatched byte does not swallow the next"},
      {{{0x0000, 0xFFFF, 2}}, {0x41, 0x42, 0x43}, {0x4142, 0x43}, "an odd trailing byte"},
      {{{0x0000, 0xFFFF, 2}}, {}, {}, "no bytes"},
      {{}, {0x01, 0xFF}, {0x01, 0xFF}, "no ranges: every byte is a code"},
      {{{0x8EA1A1A1, 0x8EA1FEFE, 4}, {0x00, 0x7F, 1}},
       {0x8E, 0xA1, 0xA1, 0xB0, 0x20},
       {0x8EA1A1B0, 0x20},
       "four-byte codes"},
      {{{0x000000, 0x00FFFF, 3}},
       {0x00, 0x00, 0x41, 0x00},
       {0x41, 0x00},
       "three bytes, then a short rest"},
      {{{0x8140, 0x9FFC, 2}, {0xE040, 0xFCFC, 2}, {0x00, 0x80, 1}, {0xA0, 0xDF, 1}},
       {0x82, 0xA0, 0xB1, 0xE0, 0x40},
       {0x82A0, 0xB1, 0xE040},
       "several ranges of each length in any order"},
      {{{0x20, 0x10, 1}}, {0x15, 0x20}, {0x15, 0x20}, "an inverted range matches nothing"},
      {{{0x00, 0xFF, 0}, {0x0000, 0xFFFF, 9}},
       {0x41, 0x42},
       {0x41, 0x42},
       "byte counts are clamped"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(CodeSpace(c.ranges).decode(c.input), c.want) << c.why;
  }
}

TEST(CMap, UnicodeMappings) {
  struct Case {
    std::string_view cmap;
    uint32_t code;
    std::optional<std::string> want;
    const char* why;
  };
  const Case kCases[] = {
      {"1 beginbfrange <0041> <0043> <0061> endbfrange", 0x42, "b", "a step range"},
      {"1 beginbfrange <0041> <0043> <0061> endbfrange", 0x44, std::nullopt, "past its end"},
      {"1 beginbfrange <0000> <0002> <FFFE> endbfrange", 1, "\uFFFF", "stepping to FFFF"},
      {"1 beginbfrange <0000> <0002> <FFFE> endbfrange", 2, std::nullopt,
       "the last unit wraps to 0000, which is no text"},
      {"1 beginbfrange <01> <02> <D835DC00> endbfrange", 2, "𝐁", "stepping a surrogate pair"},
      {"1 beginbfrange <01> <05> <00660066> endbfrange", 3, "fh", "only the last unit steps"},
      {"1 beginbfrange <01> <05> <> endbfrange", 1, std::nullopt, "a range without units"},
      {"1 beginbfrange <10> <12> [<0041> /nonexistentname <0043>] endbfrange", 0x10, "A",
       "array destinations"},
      {"1 beginbfrange <10> <12> [<0041> /nonexistentname <0043>] endbfrange", 0x11, "C",
       "an element without text is left out, the later ones move up"},
      {"1 beginbfrange <10> <12> [<0041> /nonexistentname <0043>] endbfrange", 0x12, std::nullopt,
       "so the last code has none"},
      {"1 beginbfrange <10> <10> [<0041> <0042>] endbfrange", 0x11, "B",
       "an array reaches as far as its texts"},
      {"1 beginbfrange <10> <12> [/alpha /fi] endbfrange", 0x11, "\uFB01", "names in an array"},
      {"1 beginbfchar <01> <0000> endbfchar 1 beginbfrange <00> <05> <0041> endbfrange", 1,
       std::nullopt, "a bfchar without text does not fall through to the ranges"},
      {"1 beginbfchar <03> <D835DC00> endbfchar", 3, "𝐀", "a surrogate pair"},
      {"1 beginbfchar <03> <D835> endbfchar", 3, std::nullopt, "an unpaired surrogate only"},
      {"1 beginbfchar <03> <00410000FFFD> endbfchar", 3, "A", "NUL and U+FFFD are removed"},
      {"1 beginbfchar <03> <004100> endbfchar", 3, "A", "a final odd byte is a unit of its own"},
      {"1 beginbfchar <03> /alpha endbfchar", 3, "α", "a glyph name destination"},
      {"1 beginbfchar <03> <0041> endbfchar 1 beginbfchar <03> <0042> endbfchar", 3, "B",
       "a later entry replaces an earlier one"},
      {"2 beginbfchar <03> <0041> (x) endbfchar", 3, "A", "a trailing incomplete pair is ignored"},
      {"2 beginbfchar 3 <0041> <04> <0042> endbfchar", 4, "B",
       "a wrong operand skips its pair only"},
      {"2 beginbfchar 3 <0041> <04> <0042> endbfchar", 3, std::nullopt, "the skipped pair"},
      {"1 beginbfchar <03> 7 endbfchar", 3, std::nullopt, "a number is no destination"},
      {"2 beginbfrange <00> <10> <0041> <05> <06> <0061> endbfrange", 5, "F",
       "the first range in file order wins"},
      {"1 beginbfrange <00> <10> [<0041>] endbfrange 1 beginbfrange <00> <10> <0061> endbfrange", 0,
       "A", "list ranges before step ranges"},
      {"1 beginbfrange <00> <10> [<0041>] endbfrange 1 beginbfrange <00> <10> <0061> endbfrange", 1,
       "b", "past the list, the step range"},
      {"1 beginbfrange <0041> <0043> 7 endbfrange", 0x41, std::nullopt, "a number destination"},
      {"1 beginbfrange 5 <0043> <0041> endbfrange", 5, std::nullopt, "a number low code"},
      {"1 beginbfrange <0041> <0043> (x) endbfrange", 0x42, "y", "a literal string destination"},
      {"1 beginbfrange <FFFFFFFF> <FFFFFFFF> [<0041> <0042>] endbfrange", 0xFFFFFFFF, "A",
       "a list range at the top of the code space"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(text_or_none(parse(c.cmap).unicode(c.code)), text_or_none(c.want))
        << c.cmap << " code " << c.code << ": " << c.why;
  }
}

TEST(CMap, Cids) {
  struct Case {
    std::string_view cmap;
    uint32_t code;
    uint32_t want;
    const char* why;
  };
  const Case kCases[] = {
      {"", 5, 0, "nothing mapped: CID 0"},
      {"/Identity-H usecmap", 5, 5, "identity fallback"},
      {"/IdentityFoo usecmap", 5, 5, "any name starting with Identity"},
      {"/UniJIS-UCS2-H usecmap", 5, 0, "other CMaps are not loaded"},
      {"(Identity-H) usecmap", 5, 0, "a string is no name"},
      {"1 begincidrange <0000> <00FF> 100 endcidrange", 0x10, 116, "a CID range"},
      {"1 begincidrange <0000> <00FF> 100 endcidrange", 0x100, 0, "outside it"},
      {"2 begincidrange <0000> <00FF> 100 <0010> <0020> 500 endcidrange", 0x10, 116,
       "the first range in file order"},
      {"1 begincidrange <0000> <00FF> 100 endcidrange 1 begincidchar <0010> 7 endcidchar", 0x10, 7,
       "a cidchar wins over ranges"},
      {"1 begincidchar <0010> 4294967297 endcidchar", 0x10, 1, "the low 32 bits"},
      {"1 begincidchar <0010> 7.5 endcidchar", 0x10, 0, "a real is the wrong kind"},
      {"1 begincidrange <00> <FF> 4294967295 endcidrange", 2, 1, "CIDs wrap at 32 bits"},
      {"/Identity-H usecmap 1 begincidchar <0010> 7 endcidchar", 0x11, 0x11,
       "identity for the unmapped codes"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(parse(c.cmap).cid(c.code), c.want) << c.cmap << ": " << c.why;
  }
}

TEST(CMap, Codespaces) {
  struct Case {
    std::string_view cmap;
    std::vector<CodeRange> want;
    const char* why;
  };
  const Case kCases[] = {
      {"2 begincodespacerange <00> <80> <8140> <FEFE> endcodespacerange",
       {{0x00, 0x80, 1}, {0x8140, 0xFEFE, 2}},
       "declared ranges"},
      {"1 begincodespacerange <> <FF> endcodespacerange", {{0, 0xFF, 1}}, "an empty low string"},
      {"1 begincodespacerange <0000000000> <FFFFFFFFFF> endcodespacerange",
       {{0, 0xFFFFFFFF, 4}},
       "at most four bytes"},
      {"1 begincodespacerange <00> 5 endcodespacerange",
       {{0x00, 0xFF, 1}},
       "an ill-typed pair: the default"},
      {"1 beginbfchar <20> <0041> endbfchar", {{0x00, 0xFF, 1}}, "codes below 256: one byte"},
      {"1 beginbfchar <0120> <0041> endbfchar", {{0x0000, 0xFFFF, 2}}, "a code above 255"},
      {"1 beginbfrange <0001> <0101> <0041> endbfrange",
       {{0x0000, 0xFFFF, 2}},
       "a step range ending above 255"},
      {"1 beginbfrange <01> <0101> [<0041>] endbfrange",
       {{0x00, 0xFF, 1}},
       "list ranges do not count"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(parse(c.cmap).codespace().ranges(), c.want) << c.why;
  }
  EXPECT_EQ(CMap::identity().codespace().ranges(), (std::vector<CodeRange>{{0, 0xFFFF, 2}}));
  EXPECT_EQ(CMap::identity().cid(0x1234), 0x1234u);
}

// The shape producers write, with the dictionaries and resource calls the parser ignores.
TEST(CMap, ReadsAProducersToUnicodeMap) {
  CMap cmap = parse(R"(/CIDInit /ProcSet findresource begin
12 dict begin
begincmap
/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def
/CMapName /Adobe-Identity-UCS def
/CMapType 2 def
1 begincodespacerange
<0000> <FFFF>
endcodespacerange
2 beginbfchar
<0003> <0020>
<0011> <002E>
endbfchar
1 beginbfrange
<0024> <0026> <0041>
endbfrange
endcmap
CMapName currentdict /CMap defineresource pop
end
end
)");
  EXPECT_TRUE(cmap.has_unicode());
  const uint8_t kShown[] = {0x00, 0x24, 0x00, 0x03, 0x00, 0x26, 0x00, 0x11};
  std::string text;
  for (uint32_t code : cmap.codespace().decode(kShown)) text += cmap.unicode(code).value_or("~");
  EXPECT_EQ(text, "A C.");
  EXPECT_FALSE(parse("1 begincodespacerange <00> <FF> endcodespacerange").has_unicode());
}

TEST(CMap, TargetsAndNonEmpty) {
  EXPECT_EQ(unicode_target(Object::string(std::string_view("\x00\x41", 2))), "A");
  EXPECT_EQ(unicode_target(Object::name("alpha")), "α");
  EXPECT_EQ(unicode_target(Object::name("nonexistentname")), std::nullopt);
  EXPECT_EQ(unicode_target(Object::integer(65)), std::nullopt);
  EXPECT_EQ(unicode_target(Object::string("")), "");
  EXPECT_EQ(non_empty(std::string("a\0b", 3)), "ab");
  EXPECT_EQ(non_empty("\uFFFD"), std::nullopt);
  EXPECT_EQ(non_empty(std::string(1, '\0')), std::nullopt);
  EXPECT_EQ(non_empty(""), std::nullopt);
  EXPECT_EQ(non_empty("é\uFFFDè"), "éè");
  EXPECT_EQ(code_value(bytes({})), 0u);
  EXPECT_EQ(code_value(bytes({0x12, 0x34, 0x56, 0x78, 0x9A})), 0x12345678u);
}

TEST(CMap, LoadsToUnicodeStreams) {
  std::string pdf = PdfBuilder()
                        .object(1, "<< /Type /Catalog /Pages 2 0 R >>")
                        .object(2, "<< /Type /Pages /Kids [] /Count 0 >>")
                        .flate_stream(3, "", "1 beginbfchar <01> <0041> endbfchar")
                        .stream(4, "", "1 begincodespacerange <00> <FF> endcodespacerange")
                        .stream(5, "/Filter /FlateDecode", "not deflate")
                        .trailer("/Root 1 0 R")
                        .build();
  auto file = PdfFile::load(to_bytes(pdf));
  ASSERT_TRUE(file);
  FileResolver resolver(**file);
  const Object kRefs[] = {Object::ref(3), Object::ref(4), Object::ref(5),
                          Object::name("Identity-H"), Object::ref(77)};
  std::optional<CMap> loaded = load_to_unicode(&kRefs[0], resolver);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->unicode(1), "A");
  EXPECT_FALSE(load_to_unicode(&kRefs[1], resolver)) << "only a codespace: dropped";
  EXPECT_FALSE(load_to_unicode(&kRefs[2], resolver)) << "undecodable";
  EXPECT_FALSE(load_to_unicode(&kRefs[3], resolver)) << "a name";
  EXPECT_FALSE(load_to_unicode(&kRefs[4], resolver)) << "a missing object";
  EXPECT_FALSE(load_to_unicode(nullptr, resolver));
}

// Lookups stay exact when there are many overlapping ranges to index.
TEST(CMap, ManyRangesKeepFileOrder) {
  std::string text = "2000 beginbfrange\n";
  for (int i = 0; i < 2000; ++i) {
    // Range i covers codes i..i+9 and maps them from U+4E00 + 10 * i.
    text += fmt::format("<{:04X}> <{:04X}> <{:04X}>\n", i, i + 9, 0x4E00 + 10 * i);
  }
  text += "endbfrange\n";
  CMap cmap = parse(text);
  for (uint32_t code : {0u, 5u, 9u, 10u, 1500u, 2008u}) {
    // The first range holding `code` is the lowest i with i <= code <= i + 9.
    uint32_t first = code >= 9 ? code - 9 : 0;
    std::string want;
    append_utf8(want, 0x4E00 + 10 * first + (code - first));
    EXPECT_EQ(cmap.unicode(code), want) << code;
  }
  EXPECT_EQ(cmap.unicode(2009), std::nullopt);
}

// Cut anywhere, a CMap still parses into something that answers every lookup.
TEST(CMap, EveryTruncationParses) {
  const std::string kText =
      "/CIDInit /ProcSet findresource begin begincmap /Identity-H usecmap\n"
      "2 begincodespacerange <00> <7F> <8000> <FFFF> endcodespacerange\n"
      "1 begincidrange <8000> <80FF> 1000 endcidrange 1 begincidchar <41> 7 endcidchar\n"
      "1 beginbfchar <41> <D835DC00> endbfchar\n"
      "2 beginbfrange <8000> <8010> <0061> <8011> <8020> [<0041> /alpha] endbfrange endcmap end";
  const uint8_t kShown[] = {0x41, 0x80, 0x11, 0x80, 0x05, 0xFF};
  for (size_t n = 0; n <= kText.size(); ++n) {
    CMap cmap = parse(std::string_view(kText).substr(0, n));
    for (uint32_t code : cmap.codespace().decode(kShown)) {
      (void)cmap.cid(code);
      (void)cmap.unicode(code);
    }
  }
  CMap whole = parse(kText);
  EXPECT_EQ(whole.unicode(0x8012), "α");
  EXPECT_EQ(whole.cid(0x8005), 1005u);
}

}  // namespace
}  // namespace kestrum
