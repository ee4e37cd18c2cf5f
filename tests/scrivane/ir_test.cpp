#include "scrivane/ir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace scrivane {
namespace {

std::string compact(const PageRaw& page) {
  JsonWriter out;
  write_json(out, page);
  return out.take();
}

TEST(FontTable, InternGivesDenseIdsInFirstUseOrder) {
  FontTable fonts;
  EXPECT_EQ(fonts.intern("CMR10"), 0u);
  EXPECT_EQ(fonts.intern("CMBX10"), 1u);
  EXPECT_EQ(fonts.intern("CMR10"), 0u);
  EXPECT_EQ(fonts.names, (std::vector<std::string>{"CMR10", "CMBX10"}));
  EXPECT_EQ(fonts.name(1), "CMBX10");
  EXPECT_EQ(fonts.name(7), "");
}

TEST(PageRaw, AddExpansionStoresOnlyMultiCharacterTexts) {
  PageRaw page;
  EXPECT_EQ(page.add_expansion("a"), GlyphText::character(U'a'));
  EXPECT_EQ(page.add_expansion("\xF0\x9D\x9B\xBC"), GlyphText::character(U'\U0001D6FC'))
      << "a character beyond the BMP is still one scalar value";
  EXPECT_TRUE(page.expansions.empty());
  EXPECT_EQ(page.add_expansion("ffi"), GlyphText::expanded(0));
  EXPECT_EQ(page.add_expansion("ffi"), GlyphText::expanded(1)) << "entries are never shared";
  EXPECT_EQ(page.add_expansion(""), GlyphText::expanded(2));
  EXPECT_EQ(page.expansions, (std::vector<std::string>{"ffi", "ffi", ""}));

  Glyph g;
  g.text = GlyphText::expanded(1);
  EXPECT_EQ(page.text_of(g), "ffi");
  g.text = GlyphText::expanded(9);
  EXPECT_EQ(page.text_of(g), "") << "an index past the list reads as empty";
  g.text = GlyphText::character(U'\u00e9');
  EXPECT_EQ(page.text_of(g), "\xC3\xA9");
}

TEST(PageRawJson, EmptyPageCompact) {
  PageRaw page;
  page.width = 612;
  page.height = 792;
  EXPECT_EQ(compact(page),
            R"({"index":0,"width":612.0,"height":792.0,"rotation":0,"glyphs":[],"paths":[],)"
            R"("images":[],"expansions":[]})");
}

TEST(PageRawJson, GlyphsPathsAndImages) {
  PageRaw page;
  page.index = 3;
  page.width = 100;
  page.height = std::numeric_limits<float>::quiet_NaN();
  page.rotation = 90;
  Glyph a;
  a.text = GlyphText::character(U'"');
  a.bbox = {1, 2, 3.5f, 4};
  a.origin = {1, 4};
  a.font = 2;
  a.size = 10;
  a.flags = kFlagBold | kFlagItalic;
  a.color = pack_rgba(0, 0, 0, 1);
  page.glyphs.push_back(a);
  Glyph fi = a;
  fi.text = page.add_expansion("fi");
  fi.generated = true;
  fi.color = pack_rgba(1, 0.5f, -1, 0);
  page.glyphs.push_back(fi);
  page.paths.push_back({{0, 1, 100, 3}, PathKind::HorizontalRule, 2, 0xFF000000u, true, false});
  page.images.push_back({{0, 0, 50, 60}, 4, 640, 480});

  std::string json = compact(page);
  EXPECT_NE(json.find(R"("height":null)"), std::string::npos) << "NaN is written as null";
  EXPECT_NE(json.find(R"({"text":{"Char":"\""},"bbox":{"x0":1.0,"y0":2.0,"x1":3.5,"y1":4.0},)"
                      R"("origin":{"x":1.0,"y":4.0},"font":2,"size":10.0,"angle":0.0,)"
                      R"("flags":257,"color":4278190080,"generated":false})"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find(R"("text":{"Expanded":0})"), std::string::npos);
  EXPECT_NE(json.find(R"("color":16744448,"generated":true)"), std::string::npos)
      << "a transparent fill packs below 16777216";
  EXPECT_NE(json.find(R"("paths":[{"bbox":{"x0":0.0,"y0":1.0,"x1":100.0,"y1":3.0},)"
                      R"("kind":"HorizontalRule","thickness":2.0,"color":4278190080,)"
                      R"("filled":true,"stroked":false}])"),
            std::string::npos);
  EXPECT_NE(json.find(R"("images":[{"bbox":{"x0":0.0,"y0":0.0,"x1":50.0,"y1":60.0},)"
                      R"("object_index":4,"pixel_width":640,"pixel_height":480}])"),
            std::string::npos);
  EXPECT_NE(json.find(R"("expansions":["fi"])"), std::string::npos);
}

TEST(PageRawJson, DocRawPretty) {
  DocRaw doc;
  doc.fonts.intern("F1");
  doc.pages.emplace_back();
  JsonWriter out(JsonLayout::Pretty);
  write_json(out, doc);
  EXPECT_EQ(out.text(),
            "{\n  \"fonts\": {\n    \"names\": [\n      \"F1\"\n    ]\n  },\n  \"pages\": [\n"
            "    {\n      \"index\": 0,\n      \"width\": 0.0,\n      \"height\": 0.0,\n"
            "      \"rotation\": 0,\n      \"glyphs\": [],\n      \"paths\": [],\n"
            "      \"images\": [],\n      \"expansions\": []\n    }\n  ]\n}");
}

TEST(Utf8, LossyReplacesEachInvalidSequence) {
  struct Case {
    std::string_view in;
    std::string_view want;
    const char* why;
  };
  const Case kCases[] = {
      {"plain", "plain", "ASCII passes"},
      {"caf\xC3\xA9", "caf\xC3\xA9", "valid two-byte sequence"},
      {"a\xFF"
       "b",
       "a\xEF\xBF\xBD"
       "b",
       "a stray byte"},
      {"\xE2\x82", "\xEF\xBF\xBD", "a truncated three-byte sequence is one replacement"},
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", "an encoded surrogate"},
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD", "an overlong encoding"},
  };
  for (const Case& c : kCases) EXPECT_EQ(utf8_lossy(c.in), c.want) << c.why;
}

}  // namespace
}  // namespace scrivane
