#include "kestrum/font/font.h"

#include <cmath>
#include <map>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "kestrum/content.h"
#include "kestrum/document.h"
#include "kestrum/lexer.h"
#include "kestrum/parser.h"
#include "support/font_loader.h"
#include "support/paths.h"
#include "support/pdf_builder.h"

namespace kestrum {
namespace {

using testing_support::load_font;
using testing_support::PdfBuilder;

std::string texts(const std::vector<CodeItem>& items) {
  std::string out;
  for (const CodeItem& item : items) out += item.text.value_or("~");
  return out;
}

TEST(FontFlags, FromDescriptorAndName) {
  struct Case {
    std::string_view descriptor;  // "" for none
    std::string_view base_name;
    uint16_t want;
    const char* why;
  };
  const Case kCases[] = {
      {"", "Helvetica", kFontSansSerif, "nothing but a plain name"},
      {"/Flags 32", "X", kFontSansSerif, "nonsymbolic"},
      {"/Flags 4", "X", kFontSymbolic, "symbolic, no sans serif bit"},
      {"/Flags 36", "X", kFontSansSerif, "symbolic and nonsymbolic: nonsymbolic wins"},
      {"/Flags 6", "X", kFontSerif | kFontSymbolic, "serif and symbolic"},
      {"/Flags 2.9", "X", kFontSerif, "a real is truncated"},
      {"/Flags /Serif", "X", kFontSansSerif, "a non-number counts as 0"},
      {"", "ABCDEF+Times-Bold", kFontSerif | kFontBold, "serif and bold by name"},
      {"", "Georgia-BoldItalic", kFontSerif | kFontBold | kFontItalic, "georgia"},
      {"", "MinionPro-Regular", kFontSerif, "minion"},
      {"", "Palatino-Book", kFontSerif, "book"},
      {"/Flags 1", "X", kFontFixedPitch | kFontSansSerif, "fixed pitch flag"},
      {"", "Courier", kFontFixedPitch | kFontSansSerif, "courier"},
      {"", "DejaVuSansMono-Oblique", kFontFixedPitch | kFontItalic | kFontSansSerif,
       "mono oblique"},
      {"/Flags 64", "X", kFontItalic | kFontSansSerif, "italic flag"},
      {"/ItalicAngle -12", "X", kFontItalic | kFontSansSerif, "slanted without the italic flag"},
      {"/ItalicAngle -0.5", "X", kFontSansSerif, "half a degree is upright"},
      {"/ItalicAngle 0.6", "X", kFontItalic | kFontSansSerif, "either direction"},
      {"/StemV 140", "X", kFontBold | kFontSansSerif, "heavy stems"},
      {"/StemV 119", "X", kFontSansSerif, "below the bold stem width"},
      {"/FontWeight 600", "X", kFontBold | kFontSansSerif, "weight 600"},
      {"/FontWeight 599.9", "X", kFontSansSerif, "just below"},
      {"/Flags 262144", "X", kFontBold | kFontSansSerif, "force bold"},
      {"", "Helvetica-Black", kFontBold | kFontSansSerif, "black"},
      {"", "ABCDEF+HEAVY", kFontBold | kFontSansSerif, "heavy, any case"},
      {"", "BOLDXY+Helvetica", kFontSansSerif, "the subset tag is not read"},
      {"/Flags 8", "X", kFontScript | kFontSansSerif, "script flag"},
      {"", "BrushScriptMT", kFontScript | kFontSansSerif, "script name"},
      {"/Flags 65536", "X", kFontAllCaps | kFontSansSerif, "all caps"},
      {"/Flags 131072", "X", kFontSmallCaps | kFontSansSerif, "small caps"},
  };
  for (const Case& c : kCases) {
    std::string font = "<< /Type /Font /Subtype /Type1 /BaseFont /" + std::string(c.base_name);
    if (!c.descriptor.empty()) font += " /FontDescriptor << " + std::string(c.descriptor) + " >>";
    std::shared_ptr<const Font> loaded = load_font(font + " >>");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->flags, c.want) << c.why;
    EXPECT_EQ(loaded->symbolic, (c.want & kFontSymbolic) != 0) << c.why;
  }
}

TEST(FontWidths, SimpleFonts) {
  struct Case {
    std::string_view font;  // entries after /Type /Font
    uint32_t code;
    float want;
    const char* why;
  };
  const Case kCases[] = {
      {"/FirstChar 32 /Widths [250 333]", 33, 333, "listed"},
      {"/FirstChar 32 /Widths [250 333]", 34, 355, "past the list: the glyph's metrics"},
      {"/FirstChar 32 /Widths [250 333]", 1, 500, "no glyph name, no metrics: the default"},
      {"/BaseFont /ABCDEF+Times-Bold", 'a', 500, "Times-Bold metrics by name"},
      {"/BaseFont /Courier-Oblique", 'a', 600, "any Courier"},
      {"/BaseFont /Arial,Bold", 'A', 722, "Arial reads as Helvetica-Bold"},
      {"/BaseFont /Helvetica", 200, 500, "dieresis is not printable ASCII"},
      {"/BaseFont /Foo /FirstChar 32 /Widths [1] /FontDescriptor << /MissingWidth 250 >>", 200, 250,
       "missing width"},
      {"/BaseFont /Foo /FontDescriptor << /MissingWidth 250 >>", 'a', 250,
       "a missing width beats the metrics when the name has no hint"},
      {"/BaseFont /Helvetica /FontDescriptor << /MissingWidth 250 >> /Encoding << /Differences "
       "[200 /A] >>",
       200, 667, "a metric name beats the missing width"},
      {"/BaseFont /Helvetica /FontDescriptor << /MissingWidth 250 >>", 200, 250,
       "falls back to the missing width"},
      {"/BaseFont /Foo", 'a', 556, "metrics for any name as the last resort"},
      {"/BaseFont /Symbol", 'a', 500, "no symbol metrics"},
      {"/FirstChar -5 /Widths [100 200]", 1, 200, "a negative first code clamps to 0"},
      {"/FirstChar 99999999999 /Widths [100]", 4294967295u, 100, "a huge first code clamps"},
      {"/FirstChar 4.9 /Widths [100 200]", 5, 200, "a real first code is truncated"},
      {"/FirstChar 0 /Widths [100 /x 300]", 1, 0, "a non-number element counts as 0"},
      {"/FirstChar 0 /Widths [100 7 0 R]", 1, 640, "elements are resolved"},
      {"/FirstChar 0 /Widths 8 0 R", 1, 42, "the array itself may be a reference"},
      {"/FirstChar 0 /Widths 5", 'a', 556, "an ill-typed /Widths is no list"},
      {"/FirstChar 0 /Widths [] /BaseFont /Courier", 0, 600, "courier without a glyph name"},
  };
  PdfBuilder objects;
  objects.object(7, "640").object(8, "[41 42]");
  for (const Case& c : kCases) {
    std::shared_ptr<const Font> font =
        load_font("<< /Type /Font /Subtype /Type1 " + std::string(c.font) + " >>", objects);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->width_for(c.code, c.code), c.want) << c.font << ": " << c.why;
  }
}

TEST(FontWidths, CompositeW) {
  struct Case {
    std::string_view w;
    std::vector<std::pair<uint32_t, float>> want;  // DW is 900 in every case
    const char* why;
  };
  const Case kCases[] = {
      {"[1 [500 600] 10 20 300]",
       {{1, 500}, {2, 600}, {3, 900}, {10, 300}, {20, 300}, {21, 900}},
       "both forms"},
      {"[5 3 700]", {{3, 900}, {5, 900}}, "a range ending before it starts sets nothing"},
      {"[0 100000 250]",
       {{0, 250}, {65536, 250}, {65537, 900}},
       "a range covers 65537 CIDs at most"},
      {"[0 4294967295 250]", {{65536, 250}, {65537, 900}, {4294967295u, 900}}, "the widest range"},
      {"[4294967295 [1 2 3]]", {{4294967295u, 1}, {0, 900}}, "an array stops at the last CID"},
      {"[/x 3 [700]]", {{3, 700}}, "a non-number start is skipped"},
      {"[1 [100] 1 [200]]", {{1, 200}}, "later entries overwrite"},
      {"[1 10 100 5 [200]]", {{4, 100}, {5, 200}, {6, 100}}, "a single CID inside a range"},
      {"[1 [500 (x) 700]]", {{1, 500}, {2, 900}, {3, 700}}, "non-numbers in an array still count"},
      {"[3 (x) 800]", {{3, 800}, {4, 900}}, "a non-number end makes a one-CID range"},
      {"[7 9]", {{7, 900}, {9, 900}}, "a range without its width takes the default"},
      {"[1 2 /w]", {{1, 900}}, "a non-number width takes the default"},
      {"[2.7 [300]]", {{2, 300}}, "a real start is truncated"},
      {"[-4 [300 400]]", {{0, 300}, {1, 400}}, "a negative start clamps to 0"},
      {"[5]", {{5, 900}}, "a lone start"},
      {"[1 [7 0 R] 8 0 R 9 0 R 650]",
       {{1, 640}, {3, 650}, {4, 650}, {5, 900}},
       "references everywhere"},
  };
  PdfBuilder objects;
  objects.object(7, "640").object(8, "3").object(9, "4");
  for (const Case& c : kCases) {
    std::shared_ptr<const Font> font = load_font(
        "<< /Type /Font /Subtype /Type0 /Encoding /Identity-H /DescendantFonts [<< /Subtype "
        "/CIDFontType2 /DW 900 /W " +
            std::string(c.w) + " >>] >>",
        objects);
    ASSERT_TRUE(font);
    for (auto [cid, want] : c.want) {
      EXPECT_EQ(font->width_for(0, cid), want) << c.w << " CID " << cid << ": " << c.why;
    }
  }
}

TEST(FontLoad, Type0IdentityEncodings) {
  for (std::string_view encoding : {"/Identity-H", "/UniGB-UCS2-H", "5", "(x)"}) {
    std::shared_ptr<const Font> font =
        load_font("<< /Type /Font /Subtype /Type0 /BaseFont /ABCDEF+Foo /Encoding " +
                  std::string(encoding) + " /DescendantFonts [<< /Subtype /CIDFontType0 >>] >>");
    ASSERT_TRUE(font && font->composite);
    EXPECT_EQ(font->kind, FontKind::Type0);
    EXPECT_TRUE(font->symbolic);
    EXPECT_TRUE(font->glyph_names.empty());
    const uint8_t kBytes[] = {0x00, 0x41, 0x12, 0x34, 0x07};
    std::vector<CodeItem> items = font->decode(kBytes);
    ASSERT_EQ(items.size(), 3u) << encoding;
    EXPECT_EQ(items[0].code, 0x41u);
    EXPECT_EQ(items[0].cid, 0x41u);
    EXPECT_EQ(items[1].cid, 0x1234u);
    EXPECT_EQ(items[2].code, 0x07u) << "an odd trailing byte is a code of its own";
    for (const CodeItem& item : items) {
      EXPECT_EQ(item.width, 1000);
      EXPECT_FALSE(item.space);
      EXPECT_FALSE(item.text) << "no ToUnicode and no glyph names";
    }
  }
}

TEST(FontLoad, Type0Descendants) {
  struct Case {
    std::string_view descendants;
    float want;  // width of CID 1
    const char* why;
  };
  const Case kCases[] = {
      {"[<< /DW 700 >>]", 700, "the first element of the array"},
      {"<< /DW 700 >>", 700, "a dictionary instead of an array"},
      {"[5 0 R]", 700, "a reference in the array"},
      {"5 0 R", 700, "a reference to the dictionary"},
      {"6 0 R", 700, "a reference to an array"},
      {"[]", 1000, "an empty array: an empty descendant"},
      {"[/Foo]", 1000, "not a dictionary"},
      {"[<< /DW /x >>]", 1000, "a non-number /DW"},
  };
  PdfBuilder objects;
  objects.object(5, "<< /DW 700 >>").object(6, "[5 0 R]");
  for (const Case& c : kCases) {
    std::shared_ptr<const Font> font = load_font(
        "<< /Subtype /Type0 /DescendantFonts " + std::string(c.descendants) + " >>", objects);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->width_for(1, 1), c.want) << c.why;
  }
}

TEST(FontLoad, Type3) {
  struct Case {
    std::string_view matrix;
    std::array<float, 6> want;
    const char* why;
  };
  const Case kCases[] = {
      {"[0.01 0 0 0.01 0 0]", {0.01f, 0, 0, 0.01f, 0, 0}, "six numbers"},
      {"[0.01 0 0 0.01 0]", {0.001f, 0, 0, 0.001f, 0, 0}, "five numbers keep the default"},
      {"[0.01 /x 0 0 0.01 0 0 9]",
       {0.01f, 0, 0, 0.01f, 0, 0},
       "non-numbers skipped, extras dropped"},
      {"5", {0.001f, 0, 0, 0.001f, 0, 0}, "not an array"},
  };
  for (const Case& c : kCases) {
    std::shared_ptr<const Font> font = load_font(
        "<< /Type /Font /Subtype /Type3 /FontMatrix " + std::string(c.matrix) +
        " /CharProcs << /a 5 0 R >> /Resources << /ProcSet [/PDF] >> /FirstChar 97 /LastChar 98 "
        "/Widths [50 60] /Encoding << /Type /Encoding /Differences [97 /a /b] >> >>");
    ASSERT_TRUE(font);
    EXPECT_EQ(font->font_matrix, c.want) << c.why;
    EXPECT_EQ(font->kind, FontKind::Type3);
    EXPECT_EQ(font->flags, kFontSymbolic);
    EXPECT_TRUE(font->symbolic);
    EXPECT_EQ(font->program.kind, ProgramKind::None);
    EXPECT_EQ(font->glyph_name(97), "a");
    EXPECT_EQ(font->glyph_name(65), "") << "only /Differences: no base encoding";
    EXPECT_TRUE(font->char_procs.contains("a"));
    EXPECT_TRUE(font->resources.contains("ProcSet"));
    const uint8_t kBytes[] = {97, 98, 32};
    std::vector<CodeItem> items = font->decode(kBytes);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(texts(items), "ab~");
    EXPECT_EQ(items[0].width, 50);  // glyph space units
    EXPECT_EQ(items[1].width, 60);
    EXPECT_TRUE(items[2].space);
  }
}

TEST(FontLoad, SimpleDecode) {
  std::shared_ptr<const Font> font = load_font(
      "<< /Type /Font /Subtype /TrueType /BaseFont /Arial /FirstChar 32 /Widths [278 278] "
      "/Encoding /WinAnsiEncoding >>");
  ASSERT_TRUE(font);
  const uint8_t kBytes[] = {'A', 32, 0x80, 0x93, 0x01};
  std::vector<CodeItem> items = font->decode(kBytes);
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(texts(items), "A €“~");
  EXPECT_EQ(items[2].code, 0x80u);
  EXPECT_EQ(items[2].cid, 0x80u);
  EXPECT_TRUE(items[1].space);
  EXPECT_FALSE(items[0].space);
  EXPECT_EQ(items[0].width, 667);  // Helvetica metrics for Arial
  EXPECT_EQ(items[1].width, 278);
  std::vector<CodeItem> reused(7);
  font->decode(std::span(kBytes).first(2), reused);
  EXPECT_EQ(reused.size(), 2u);
}

TEST(FontLoad, DamagedDictionariesTakeDefaults) {
  const std::string_view kFonts[] = {
      "<< >>",
      "<< /Subtype 5 /BaseFont (Helvetica) /Encoding [1 2] /Widths 7 /FirstChar /x >>",
      "<< /Subtype /Type1 /FontDescriptor 5 /ToUnicode /Identity-H >>",
      "<< /Subtype /Type1 /FontDescriptor << /FontFile 5 /FontFile2 (x) /Flags (y) >> >>",
      "<< /Subtype /Type0 /DescendantFonts 99 0 R /Encoding 98 0 R >>",
      "<< /Subtype /Type0 /DescendantFonts [[1]] /ToUnicode 5 >>",
      "<< /Subtype /Type3 /CharProcs 5 /Resources [1] /Encoding /WinAnsiEncoding >>",
  };
  for (std::string_view text : kFonts) {
    std::shared_ptr<const Font> font = load_font(text);
    ASSERT_TRUE(font) << text;
    EXPECT_EQ(font->base_name, "") << text;
    EXPECT_FALSE(font->to_unicode) << text;
    EXPECT_EQ(font->program.kind, ProgramKind::None) << text;
    EXPECT_TRUE(font->program.bytes && font->program.bytes->empty()) << text;
    const uint8_t kBytes[] = {'a', 'b'};
    std::vector<CodeItem> items = font->decode(kBytes);
    EXPECT_FALSE(items.empty()) << text;
    for (const CodeItem& item : items) EXPECT_TRUE(std::isfinite(item.width)) << text;
  }
}

TEST(FontLoad, Programs) {
  struct Case {
    std::string_view descriptor;
    ProgramKind want;
    std::string_view bytes;
    const char* why;
  };
  const Case kCases[] = {
      {"/FontFile2 10 0 R", ProgramKind::Sfnt, "truetype", "FontFile2 is sfnt"},
      {"/FontFile3 11 0 R", ProgramKind::Sfnt, "opentype", "FontFile3 of subtype OpenType"},
      {"/FontFile3 12 0 R", ProgramKind::Cff, "cff", "FontFile3 of any other subtype is CFF"},
      {"/FontFile 13 0 R", ProgramKind::Type1, "type1", "FontFile"},
      {"/FontFile 13 0 R /FontFile3 12 0 R /FontFile2 10 0 R", ProgramKind::Sfnt, "truetype",
       "FontFile2 first"},
      {"/FontFile 13 0 R /FontFile3 12 0 R", ProgramKind::Cff, "cff", "then FontFile3"},
      {"/FontFile2 14 0 R /FontFile 13 0 R", ProgramKind::Type1, "type1",
       "an undecodable program counts as absent"},
      {"/FontFile2 15 0 R /FontFile 13 0 R", ProgramKind::Type1, "type1", "an image filter too"},
      {"/FontFile2 [10 0 R] /FontFile3 (x) /FontFile 13 0 R", ProgramKind::Type1, "type1",
       "only streams count"},
      {"/FontFile2 16 0 R", ProgramKind::None, "", "an unknown filter"},
      {"/FontFile 17 0 R", ProgramKind::Type1, "clear",
       "a compressed Type 1 program is inflated only to the end of its clear text"},
      {"/FontFile 18 0 R", ProgramKind::Type1, "clear text, then eexec",
       "without /Length1, as far as a clear text can reach"},
  };
  PdfBuilder objects;
  objects.flate_stream(10, "", "truetype")
      .stream(11, "/Subtype /OpenType", "opentype")
      .stream(12, "/Subtype /Type1C", "cff")
      .stream(13, "/Length1 5", "type1")
      .stream(14, "/Filter /FlateDecode", "this is not deflate data")
      .stream(15, "/Filter /DCTDecode", "jpeg")
      .stream(16, "/Filter /Unknown", "x")
      .flate_stream(17, "/Length1 5", "clear text, then eexec")
      .flate_stream(18, "", "clear text, then eexec");
  for (const Case& c : kCases) {
    std::shared_ptr<const Font> font = load_font(
        "<< /Subtype /TrueType /FontDescriptor << " + std::string(c.descriptor) + " >> >>",
        objects);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->program.kind, c.want) << c.why;
    ASSERT_TRUE(font->program.bytes);
    EXPECT_EQ(std::string(font->program.bytes->begin(), font->program.bytes->end()), c.bytes)
        << c.why;
  }
}

TEST(FontLoad, Type1ProgramEncoding) {
  PdfBuilder objects;
  objects.flate_stream(10, "/Length1 90",
                       "%!PS-AdobeFont-1.0: CMR10\n/Encoding 256 array\ndup 12 /fi put\ndup 65 "
                       "/Alpha put\nreadonly def\ncurrentfile eexec\n");
  std::shared_ptr<const Font> font = load_font(
      "<< /Subtype /Type1 /BaseFont /ABCDEF+CMR10 /FontDescriptor << /Flags 4 /FontFile 10 0 R >> "
      "/Encoding << /Differences [66 /B] >> >>",
      objects);
  ASSERT_TRUE(font);
  EXPECT_EQ(font->program.kind, ProgramKind::Type1);
  const uint8_t kBytes[] = {12, 65, 66, 67};
  EXPECT_EQ(texts(font->decode(kBytes)), "\uFB01ΑB~");
}

TEST(FontText, ToUnicodeBeforeGlyphNames) {
  PdfBuilder objects;
  objects
      .stream(10, "",
              "3 beginbfchar <61> <F061> <62> <F0FF> <63> <0078F0B7> endbfchar "
              "1 beginbfchar <64> <0000> endbfchar")
      .stream(11, "", "1 begincodespacerange <00> <FF> endcodespacerange");
  struct Case {
    std::string_view to_unicode;
    std::string_view shown;
    std::string want;
    const char* why;
  };
  const Case kCases[] = {
      {"10 0 R", "a", "α", "Symbol private use is undone: U+F061 is alpha"},
      {"10 0 R", "b", "\uF0FF", "a Symbol code without a name keeps its character"},
      {"10 0 R", "c", "x•", "every character of a text is undone"},
      {"10 0 R", "d", "d", "a mapping to NUL alone is no text: the glyph name speaks"},
      {"10 0 R", "e", "e", "unmapped codes fall back to glyph names"},
      {"11 0 R", "ab", "ab", "a map without mappings is dropped"},
      {"/Identity-H", "ab", "ab", "a named ToUnicode is none"},
  };
  for (const Case& c : kCases) {
    std::shared_ptr<const Font> font = load_font(
        "<< /Subtype /Type1 /BaseFont /Helvetica /ToUnicode " + std::string(c.to_unicode) + " >>",
        objects);
    ASSERT_TRUE(font);
    EXPECT_EQ(texts(font->decode(as_bytes(c.shown))), c.want) << c.why;
  }
}

TEST(FontText, Type0WithEmbeddedCMaps) {
  PdfBuilder objects;
  objects
      .flate_stream(10, "/Type /CMap /CMapName /Custom",
                    "2 begincodespacerange <00> <7F> <8000> <FFFF> endcodespacerange "
                    "1 begincidrange <8000> <80FF> 1000 endcidrange "
                    "1 begincidchar <41> 7 endcidchar")
      .stream(11, "", "2 beginbfchar <41> <0041> <8001> <00E9> endbfchar")
      .stream(12, "/Filter /NoSuchFilter", "1 begincidchar <41> 7 endcidchar")
      .stream(13, "", std::string("\x00\x05\x00\x06", 4));
  std::shared_ptr<const Font> font = load_font(
      "<< /Subtype /Type0 /BaseFont /ABCDEF+Foo /Encoding 10 0 R /ToUnicode 11 0 R "
      "/DescendantFonts [<< /Subtype /CIDFontType2 /CIDToGIDMap 13 0 R /W [1001 [444]] >>] >>",
      objects);
  ASSERT_TRUE(font && font->composite);
  const uint8_t kShown[] = {0x41, 0x80, 0x01, 0x90};
  std::vector<CodeItem> items = font->decode(kShown);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].code, 0x41u);
  EXPECT_EQ(items[0].cid, 7u);
  EXPECT_EQ(items[1].code, 0x8001u);
  EXPECT_EQ(items[1].cid, 1001u);
  EXPECT_EQ(items[1].width, 444);
  EXPECT_EQ(items[2].code, 0x90u) << "a short final code";
  EXPECT_EQ(items[2].cid, 0u) << "no identity fallback in this CMap";
  EXPECT_EQ(texts(items), "Aé~");
  ASSERT_TRUE(font->composite->cid_to_gid);
  EXPECT_EQ(font->composite->cid_to_gid->size(), 4u);

  std::shared_ptr<const Font> broken = load_font(
      "<< /Subtype /Type0 /Encoding 12 0 R /DescendantFonts [<< /CIDToGIDMap /Identity >>] >>",
      objects);
  ASSERT_TRUE(broken && broken->composite);
  EXPECT_TRUE(broken->composite->encoding.identity_fallback()) << "undecodable: Identity-H";
  EXPECT_FALSE(broken->composite->cid_to_gid);
}

// The text of page 1's show-text operators, each string decoded with the font set by Tf.
std::string shown_text(const Document& doc, const PageNode& page,
                       const std::map<std::string, std::shared_ptr<const Font>>& fonts) {
  SharedBytes content = doc.page_content(page);
  ContentParser parser(*content);
  Operation op;
  std::string text;
  const Font* font = nullptr;
  auto show = [&](const Object& operand) {
    const Bytes* bytes = operand.as_string();
    if (font == nullptr || bytes == nullptr) return;
    for (const CodeItem& item : font->decode(*bytes)) text += item.text.value_or("");
  };
  while (parser.next(op)) {
    if (op.op == "Tf" && !op.operands.empty() && op.operands[0].is_name()) {
      auto it = fonts.find(*op.operands[0].as_name());
      font = it != fonts.end() ? it->second.get() : nullptr;
    } else if ((op.op == "Tj" || op.op == "'" || op.op == "\"") && !op.operands.empty()) {
      show(op.operands.back());
    } else if (op.op == "TJ" && !op.operands.empty() && op.operands[0].is_array()) {
      for (const Object& element : *op.operands[0].as_array()) show(element);
    }
    if (op.op == "ET") text += ' ';
  }
  return text;
}

TEST(FontCorpus, EveryFontLoadsAndPageOneReads) {
  struct Case {
    std::string_view file;
    ProgramKind programs;                 // what every font of the file embeds
    std::vector<std::string_view> words;  // on page 1; no ligatures, no accents built of two glyphs
  };
  const Case kCases[] = {
      {"article.pdf",
       ProgramKind::Type1,
       {"Adaptive", "Control", "Kowalczyk", "Achterberg", "Abstract", "Introduction",
        "Discretisation", "[2]", "Reaction–Diffusion"}},
      {"article-objstm.pdf", ProgramKind::Type1, {"Kowalczyk", "Introduction"}},
      {"mixed.pdf", ProgramKind::Type1, {"Kowalczyk", "Introduction"}},
      {"twocolumn.pdf",
       ProgramKind::Type1,
       {"Seasonal", "Variability", "Lindqvist", "Freshwater", "Norrmark", "Abstract",
        "Introduction", "d’Hydrobiologie"}},
      {"twocolumn-linearized.pdf", ProgramKind::Type1, {"Seasonal", "Lindqvist"}},
      {"authoryear.pdf",
       ProgramKind::Type1,
       {"Loanword", "Adaptation", "Epenthesis", "Marchetti", "Wierzbicki", "Abstract", "(Brekke,"}},
      {"xelatex.pdf",
       ProgramKind::Cff,
       {"Thermal", "Conductivity", "José", "Núñez", "Zoë", "Müller", "Søren", "Ødegård",
        "Großenhain", "Ingeniería", "µm", "“interface"}},
      {"lualatex.pdf",
       ProgramKind::Cff,
       {"Spectral", "Virtanen", "Kaarlela", "Ramanujan", "Theorem", "Non-backtracking", "𝜆2(𝐺)"}},
      {"dvips.pdf",
       ProgramKind::Cff,
       {"Measuring", "Latency", "Partitioned", "Quintero", "Berglund", "Tidewater",
        "Introduction"}},
      {"sample.pdf",
       ProgramKind::Type1,
       {"Estimating", "River", "Discharge", "Altimetry", "Nwosu", "Brandt", "Ferreira",
        "Nash–Sutcli"}},
      {"short.pdf", ProgramKind::Type1, {"Leaf", "Litter", "Decomposition", "Riparian", "Holt"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.file);
    std::string bytes = testing_support::read_file(testing_support::corpus_file(c.file));
    Result<Document> doc = Document::from_bytes(Bytes(bytes.begin(), bytes.end()));
    ASSERT_TRUE(doc) << doc.error().message();
    ASSERT_GT(doc->page_count(), 0u);
    size_t loaded = 0;
    std::map<std::string, std::shared_ptr<const Font>> page_one;
    for (const PageNode& page : doc->pages()) {
      std::optional<Object> fonts = doc->dict_get(*page.resources, "Font");
      if (!fonts || !fonts->is_dict()) continue;
      for (const auto& [name, entry] : *fonts->as_dict()) {
        Object dict = doc->resolve(entry);
        ASSERT_TRUE(dict.is_dict()) << name;
        std::shared_ptr<const Font> font = Font::load(doc->file(), *dict.as_dict());
        ++loaded;
        EXPECT_EQ(font->program.kind, c.programs) << name << " " << font->base_name;
        EXPECT_FALSE(font->base_name.empty()) << name;
        if (font->kind == FontKind::Type0) {
          EXPECT_TRUE(font->composite && font->to_unicode) << name;
        } else {
          EXPECT_EQ(font->glyph_names.size(), 256u) << name;
        }
        if (&page == &doc->pages()[0]) page_one[name] = font;
      }
    }
    EXPECT_GT(loaded, 0u);
    std::string text = shown_text(*doc, doc->pages()[0], page_one);
    for (std::string_view word : c.words) {
      EXPECT_NE(text.find(word), std::string::npos)
          << "no \"" << word << "\" in: " << text.substr(0, 600);
    }
  }
}

}  // namespace
}  // namespace kestrum
