#include "kestrum/page.h"

#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "support/paths.h"
#include "support/pdf_builder.h"

namespace kestrum {
namespace {

using testing_support::PdfBuilder;
using testing_support::to_bytes;

// Courier has the same width, 600, for every glyph: a pen 10 points tall moves 6 per glyph.
constexpr std::string_view kCourier = "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>";
constexpr std::string_view kFontResources = "/Font << /F1 5 0 R >>";

// A one-page document (612 x 792) whose page shows `content` with `resources` (the text inside
// the page's /Resources << >>). Object 5 is Courier; `more` adds objects numbered from 10.
Result<Document> one_page(std::string_view content, std::string_view resources = kFontResources,
                          const std::function<void(PdfBuilder&)>& more = {}) {
  PdfBuilder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
      .object(3, fmt::format("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] "
                             "/Resources << {} >> /Contents 4 0 R >>",
                             resources))
      .stream(4, "", content)
      .object(5, kCourier)
      .trailer("/Root 1 0 R");
  if (more) more(b);
  return Document::from_bytes(to_bytes(b.build()));
}

Page page_of(std::string_view content, std::string_view resources = kFontResources,
             const std::function<void(PdfBuilder&)>& more = {}) {
  Result<Document> document = one_page(content, resources, more);
  EXPECT_TRUE(document) << document.error().message();
  if (!document) return {};
  Result<Page> page = document->page(0);
  EXPECT_TRUE(page) << page.error().message();
  return page ? std::move(*page) : Page{};
}

std::string text_of(const Page& page) {
  std::string out;
  for (const Glyph& glyph : page.glyphs) out += glyph.text;
  return out;
}

void expect_near(const Rect& got, const Rect& want) {
  EXPECT_NEAR(got.x0, want.x0, 1e-3);
  EXPECT_NEAR(got.y0, want.y0, 1e-3);
  EXPECT_NEAR(got.x1, want.x1, 1e-3);
  EXPECT_NEAR(got.y1, want.y1, 1e-3);
}

void expect_near(const Matrix& got, const Matrix& want) {
  const float g[6] = {got.a, got.b, got.c, got.d, got.e, got.f};
  const float w[6] = {want.a, want.b, want.c, want.d, want.e, want.f};
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(g[i], w[i], 1e-5) << i;
}

TEST(PageText, ShowBeforeAnyFontRecordsNothingAndKeepsThePen) {
  Page page = page_of("BT 100 700 Td (xy) Tj /F1 10 Tf (a) Tj ET");
  ASSERT_EQ(page.glyphs.size(), 1u);
  EXPECT_EQ(page.glyphs[0].text, "a");
  EXPECT_EQ(page.glyphs[0].origin, (Point{100, 700}));
}

TEST(PageText, OperatorsPlaceThePen) {
  struct Placed {
    std::string_view text;
    float x, y;
  };
  struct Case {
    std::string_view content;  // between "BT /F1 10 Tf 100 700 Td" and "ET"
    std::vector<Placed> want;  // every glyph, generated spaces included
    const char* why;
  };
  const Case kCases[] = {
      {"(ab) Tj", {{"a", 100, 700}, {"b", 106, 700}}, "each glyph advances its width"},
      {"2 Tc (ab) Tj", {{"a", 100, 700}, {"b", 108, 700}}, "character spacing"},
      {"50 Tz (ab) Tj", {{"a", 100, 700}, {"b", 103, 700}}, "horizontal scaling"},
      {"[(a) -250 (b)] TJ",
       {{"a", 100, 700}, {" ", 106, 700}, {"b", 108.5, 700}},
       "a TJ number of -250 moves 2.5 right, a gap that takes a space"},
      {"[(a) 1000 (b)] TJ", {{"a", 100, 700}, {"b", 96, 700}}, "a positive number moves back"},
      {"[(a) /x 3 (b)] TJ", {{"a", 100, 700}, {"b", 105.97, 700}}, "names in TJ are skipped"},
      {"3 Tw (a b) Tj",
       {{"a", 100, 700}, {" ", 106, 700}, {"b", 115, 700}},
       "word spacing applies to code 32 only"},
      {"14 TL (a) '", {{"a", 100, 686}}, "' starts a new line first"},
      {"14 TL 5 1 (a b) \"",
       {{"a", 100, 686}, {" ", 107, 686}, {"b", 119, 686}},
       "\" sets word and character spacing, then starts a line"},
      {"0 -20 TD (a) Tj T* (b) Tj", {{"a", 100, 680}, {"b", 100, 660}}, "TD sets the leading"},
      {"1 0 0 1 50 60 Tm (a) Tj", {{"a", 50, 60}}, "Tm replaces both matrices"},
      {"5 Ts (a) Tj", {{"a", 100, 705}}, "rise lifts the origin"},
      {"(a) Tj BT (b) Tj", {{"a", 100, 700}, {"b", 0, 0}}, "BT resets the text matrix"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.why);
    Page page = page_of(fmt::format("BT /F1 10 Tf 100 700 Td {} ET", c.content));
    ASSERT_EQ(page.glyphs.size(), c.want.size()) << text_of(page);
    for (size_t i = 0; i < c.want.size(); ++i) {
      EXPECT_EQ(page.glyphs[i].text, c.want[i].text) << i;
      EXPECT_NEAR(page.glyphs[i].origin.x, c.want[i].x, 1e-3) << i;
      EXPECT_NEAR(page.glyphs[i].origin.y, c.want[i].y, 1e-3) << i;
    }
  }
}

TEST(PageText, GlyphCarriesStateAndGeometry) {
  Page page = page_of(
      "2 0 0 2 10 20 cm 0 0 1 rg BT /F1 10 Tf 3 Tr 1 0 0 1 5 5 Tm (a) Tj "
      "2.7 Tr 0 1 -1 0 100 100 Tm (b) Tj ET");
  ASSERT_EQ(page.glyphs.size(), 2u);
  const Glyph& a = page.glyphs[0];
  // The text rendering matrix is [20 0 0 20 20 30].
  EXPECT_EQ(a.origin, (Point{20, 30}));
  EXPECT_FLOAT_EQ(a.size, 20);
  EXPECT_FLOAT_EQ(a.advance, 12);
  EXPECT_FLOAT_EQ(a.angle, 0);
  // The nominal box would be [20 26 32 46]; the substitute's outline of "a" lies inside it.
  EXPECT_GE(a.bbox.x0, 20 - 1e-3);
  EXPECT_GE(a.bbox.y0, 26 - 1e-3);
  EXPECT_LE(a.bbox.x1, 32 + 1e-3);
  EXPECT_LE(a.bbox.y1, 46 + 1e-3);
  EXPECT_GT(a.bbox.width(), 0);
  EXPECT_GT(a.bbox.height(), 0);
  expect_near(a.glyph_matrix, Matrix{0.02f, 0, 0, 0.02f, 20, 30});
  EXPECT_EQ(a.width, 600);
  EXPECT_EQ(a.code, 97u);
  EXPECT_EQ(a.cid, 97u);
  EXPECT_FALSE(a.is_space);
  EXPECT_EQ(a.render_mode, 3) << "invisible text is recorded";
  EXPECT_EQ(a.color, (Rgb{0, 0, 1}));
  EXPECT_EQ(a.alpha, 1);
  EXPECT_EQ(a.font_name, "F1");
  EXPECT_EQ(a.base_font, "Courier");
  EXPECT_EQ(a.flags, kFontFixedPitch | kFontSansSerif);
  ASSERT_NE(a.font, nullptr);
  EXPECT_FALSE(a.generated);
  EXPECT_EQ(a.raw_text(), "a");

  const Glyph& b = page.glyphs[1];
  EXPECT_EQ(b.render_mode, 2) << "a real render mode is truncated";
  EXPECT_NEAR(b.angle, std::numbers::pi / 2, 1e-6);
  EXPECT_FLOAT_EQ(b.size, 20);
  EXPECT_EQ(b.font, a.font) << "one font object per page and reference";
  EXPECT_EQ(b.font_name.view().data(), a.font_name.view().data()) << "names are shared";
}

TEST(PageText, FontsLoadOncePerPage) {
  Page page = page_of(
      "BT /F1 10 Tf (a) Tj /F2 10 Tf (b) Tj /D 10 Tf (c) Tj /F1 10 Tf (d) Tj /D 10 Tf (e) Tj ET "
      "/X Do",
      "/Font << /F1 5 0 R /F2 5 0 R /D << /Subtype /Type1 /BaseFont /Courier >> >> "
      "/XObject << /X 10 0 R >>",
      [](PdfBuilder& b) {
        b.stream(10, "/Subtype /Form /Resources << /Font << /D << /BaseFont /Times-Roman >> >> >>",
                 "BT /D 10 Tf (f) Tj ET");
      });
  ASSERT_EQ(page.glyphs.size(), 6u) << text_of(page);
  EXPECT_EQ(page.glyphs[0].font, page.glyphs[1].font) << "two names of one object";
  EXPECT_EQ(page.glyphs[0].font, page.glyphs[3].font);
  EXPECT_NE(page.glyphs[0].font, page.glyphs[2].font) << "a direct font is another font";
  EXPECT_EQ(page.glyphs[2].font, page.glyphs[4].font) << "and is loaded once";
  EXPECT_EQ(page.glyphs[5].base_font, "Times-Roman") << "the form's own direct font";
}

TEST(PageText, GeneratedSpacesFillWordGaps) {
  struct Case {
    std::string_view content;  // after "BT /F1 10 Tf 100 700 Td"; (a) ends at x = 106
    bool space;
    const char* why;
  };
  const Case kCases[] = {
      {"(a) Tj 9 0 Td (b) Tj", true, "a gap of 3 at size 10 is above 1.2"},
      {"(a) Tj 7 0 Td (b) Tj", false, "a gap of 1 is not"},
      {"(a) Tj 7.3 0 Td (b) Tj", true, "1.3 is"},
      {"(a) Tj 9 2 Td (b) Tj", false, "a vertical offset of 2 is another line"},
      {"(a) Tj 9 0.5 Td (b) Tj", true, "half a point up is the same line"},
      {"(a) Tj 9 0 Td ( b) Tj", false, "the next text starts with a space"},
      {"(a ) Tj 20 0 Td (b) Tj", false, "the previous text is a space"},
      {"/F1 0 Tf (a) Tj 20 0 Td /F1 10 Tf (b) Tj", false, "the previous glyph has no size"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.why);
    Page page = page_of(fmt::format("BT /F1 10 Tf 100 700 Td {} ET", c.content));
    size_t generated = 0;
    for (const Glyph& glyph : page.glyphs) generated += glyph.generated;
    EXPECT_EQ(generated, c.space ? 1u : 0u) << text_of(page);
  }

  Page page = page_of("0.5 g BT /F1 10 Tf 100 700 Td (a) Tj 9 0 Td (b) Tj ET");
  ASSERT_EQ(page.glyphs.size(), 3u);
  const Glyph& space = page.glyphs[1];
  EXPECT_EQ(space.text, " ");
  EXPECT_TRUE(space.generated);
  EXPECT_EQ(space.font, nullptr);
  EXPECT_EQ(space.raw_text(), std::nullopt);
  EXPECT_EQ(space.origin, (Point{106, 700}));
  expect_near(space.bbox, Rect{106, 700, 109, 710});
  EXPECT_FLOAT_EQ(space.advance, 3);
  EXPECT_FLOAT_EQ(space.size, 10);
  EXPECT_EQ(space.base_font, "Courier");
  EXPECT_EQ(space.font_name, "F1");
  EXPECT_EQ(space.code, 98u) << "the attributes of the glyph after it";
  EXPECT_EQ(space.color, (Rgb{0.5f, 0.5f, 0.5f}));
  EXPECT_EQ(page.glyphs[0].sequence, 0u);
  EXPECT_EQ(space.sequence, 1u);
  EXPECT_EQ(page.glyphs[2].sequence, 2u);
}

TEST(PageText, SoftHyphensLeaveTheTextButStayInTheRawText) {
  const std::string cmap =
      "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /T def "
      "1 begincodespacerange <00> <FF> endcodespacerange 2 beginbfchar "
      "<41> <00AD> <42> <006100AD0062> endbfchar endcmap end end";
  Page page =
      page_of("BT /F2 10 Tf (ABC\\001) Tj ET", "/Font << /F2 10 0 R >>", [&](PdfBuilder& b) {
        b.object(10, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /ToUnicode 11 0 R >>")
            .stream(11, "", cmap);
      });
  ASSERT_EQ(page.glyphs.size(), 4u);
  EXPECT_EQ(page.glyphs[0].text, "");
  EXPECT_EQ(page.glyphs[0].raw_text(), "\u00AD");
  EXPECT_EQ(page.glyphs[1].text, "ab");
  EXPECT_EQ(page.glyphs[1].raw_text(), "a\u00ADb");
  EXPECT_EQ(page.glyphs[2].text, "C") << "from the glyph name";
  EXPECT_EQ(page.glyphs[2].raw_text(), "C");
  EXPECT_EQ(page.glyphs[3].text, "") << "code 1 has neither a name nor a mapping";
  EXPECT_EQ(page.glyphs[3].raw_text(), std::nullopt);
}

TEST(PageText, Type3GlyphsAdvanceInGlyphSpaceAndRunTheirProcedures) {
  Page page =
      page_of("BT /T3 10 Tf 100 700 Td (aa) Tj ET", "/Font << /T3 10 0 R >>", [](PdfBuilder& b) {
        b.object(10,
                 "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 100 100] "
                 "/FontMatrix [0.01 0 0 0.01 0 0] /CharProcs << /sq 11 0 R >> "
                 "/Encoding << /Differences [97 /sq] >> /FirstChar 97 "
                 "/LastChar 97 /Widths [50] >>")
            .stream(11, "", "50 0 d0 0 0 100 100 re f");
      });
  ASSERT_EQ(page.glyphs.size(), 2u);
  // A width of 50 under a font matrix of 0.01 is half an em: 5 points at size 10.
  EXPECT_FLOAT_EQ(page.glyphs[1].origin.x, 105);
  EXPECT_FLOAT_EQ(page.glyphs[0].width, 500);
  expect_near(page.glyphs[0].glyph_matrix, Matrix{0.1f, 0, 0, 0.1f, 100, 700});
  expect_near(page.glyphs[0].bbox, Rect{100, 698, 105, 708});
  ASSERT_EQ(page.paths.size(), 2u);
  expect_near(page.paths[0].bbox, Rect{100, 700, 110, 710});
  expect_near(page.paths[1].bbox, Rect{105, 700, 115, 710});
  EXPECT_LT(page.glyphs[0].sequence, page.paths[0].sequence);
  EXPECT_LT(page.paths[0].sequence, page.glyphs[1].sequence);
}

TEST(PagePaths, RectangleFillRecordsFiveSegmentsUnderTheCtm) {
  Page page = page_of("2 0 0 2 10 10 cm 0.5 g 3 w 0 0 10 5 re f");
  ASSERT_EQ(page.paths.size(), 1u);
  const PathItem& path = page.paths[0];
  const std::vector<PathSegment> want = {
      PathSegment::move_to({10, 10}), PathSegment::line_to({30, 10}),
      PathSegment::line_to({30, 20}), PathSegment::line_to({10, 20}), PathSegment::close()};
  EXPECT_EQ(path.segments, want);
  EXPECT_EQ(path.bbox, (Rect{10, 10, 30, 20}));
  EXPECT_EQ(path.fill, (Rgb{0.5f, 0.5f, 0.5f}));
  EXPECT_EQ(path.stroke, std::nullopt);
  EXPECT_FLOAT_EQ(path.line_width, 6) << "scaled by the CTM";
  EXPECT_FALSE(path.even_odd);
  EXPECT_EQ(path.sequence, 0u);
}

TEST(PagePaths, CurvesAndPaintOperators) {
  Page page = page_of("0 0 m 10 0 l 10 10 20 10 20 0 c 30 10 30 0 v 40 10 40 0 y h 1 G B*");
  ASSERT_EQ(page.paths.size(), 1u);
  const std::vector<PathSegment> want = {
      PathSegment::move_to({0, 0}),
      PathSegment::line_to({10, 0}),
      PathSegment::curve_to({10, 10}, {20, 10}, {20, 0}),
      PathSegment::curve_to({20, 0}, {30, 10}, {30, 0}),
      PathSegment::curve_to({40, 10}, {40, 0}, {40, 0}),
      PathSegment::close(),
  };
  EXPECT_EQ(page.paths[0].segments, want);
  EXPECT_EQ(page.paths[0].bbox, (Rect{0, 0, 40, 10}));
  EXPECT_EQ(page.paths[0].stroke, (Rgb{1, 1, 1}));

  struct Case {
    std::string_view op;
    bool recorded, fill, stroke, even_odd;
    size_t segments;
  };
  const Case kCases[] = {
      {"f", true, true, false, false, 2}, {"F", true, true, false, false, 2},
      {"f*", true, true, false, true, 2}, {"S", true, false, true, false, 2},
      {"s", true, false, true, false, 3}, {"B", true, true, true, false, 2},
      {"B*", true, true, true, true, 2},  {"b", true, true, true, false, 3},
      {"b*", true, true, true, true, 3},  {"n", false, false, false, false, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.op);
    Page page = page_of(fmt::format("0 0 m 5 5 l {}", c.op));
    ASSERT_EQ(page.paths.size(), c.recorded ? 1u : 0u);
    if (!c.recorded) continue;
    EXPECT_EQ(page.paths[0].fill.has_value(), c.fill);
    EXPECT_EQ(page.paths[0].stroke.has_value(), c.stroke);
    EXPECT_EQ(page.paths[0].even_odd, c.even_odd);
    EXPECT_EQ(page.paths[0].segments.size(), c.segments);
  }
}

TEST(PagePaths, ClipPathsShrinkTheClipRectangle) {
  struct Case {
    std::string_view content;
    Rect clip;
    size_t paths;
    const char* why;
  };
  const Case kCases[] = {
      {"10 20 100 50 re W n", {10, 20, 110, 70}, 0, "re W n records nothing but clips"},
      {"10 20 100 0 re W n", {0, 0, 612, 792}, 0, "a clip path without height is ignored"},
      {"500 700 200 200 re W n", {500, 700, 612, 792}, 0, "intersected with the old clip"},
      {"q 10 20 100 50 re W n Q", {0, 0, 612, 792}, 0, "Q restores the clip"},
      {"10 20 100 50 re W f", {10, 20, 110, 70}, 1, "a clip path may be painted as well"},
      {"10 20 100 50 re f", {0, 0, 612, 792}, 1, "no W, no clip"},
  };
  Result<Document> document = one_page("");
  ASSERT_TRUE(document);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.why);
    Interpreter interpreter(*document);
    State end = interpreter.run(as_bytes(c.content), Dict(), initial_state({0, 0, 612, 792}), 0);
    EXPECT_EQ(end.clip, c.clip);
    EXPECT_EQ(interpreter.paths().size(), c.paths);
  }
}

TEST(PagePaths, FillColours) {
  const std::string_view resources =
      "/ColorSpace << /Icc4 [/ICCBased 10 0 R] /Icc [/ICCBased 11 0 R] "
      "/Ix [/Indexed /DeviceRGB 1 <000000FFFFFF>] /Sep [/Separation /Spot /DeviceCMYK 12 0 R] "
      "/N2 [/DeviceN [/a /b] /DeviceCMYK 12 0 R] /Nested [[/CalRGB << >>]] >>";
  struct Case {
    std::string_view content;  // before "0 0 1 1 re f"
    Rgb want;
    const char* why;
  };
  const Case kCases[] = {
      {"0.5 g", {0.5f, 0.5f, 0.5f}, "grey"},
      {"1 0 0 0 k", {0, 1, 1}, "cyan"},
      {"0.2 0.4 0.6 rg", {0.2f, 0.4f, 0.6f}, "rgb"},
      {"2 -1 0.5 rg", {1, 0, 0.5f}, "components are clamped"},
      {"0.3 0.5 g", {0.3f, 0.3f, 0.3f}, "extra operands are left over"},
      {"1 0 0 rg 0.1 0.2 k", {1, 0, 0}, "too few components change nothing"},
      {"/Pattern cs /P1 scn", {0, 0, 0}, "a pattern name alone leaves the fill black"},
      {"1 0 0 rg /DeviceRGB cs", {0, 0, 0}, "cs resets the colour to black"},
      {"/DeviceRGB cs 0 1 0 sc", {0, 1, 0}, "sc after cs"},
      {"/DeviceCMYK cs 0 0 0 0.5 scn", {0.5f, 0.5f, 0.5f}, "cmyk space"},
      {"/Icc4 cs 1 0 0 0 scn", {0, 1, 1}, "ICCBased with /N 4"},
      {"/Icc cs 0.3 0.2 0.1 scn", {0.3f, 0.2f, 0.1f}, "ICCBased without /N has three"},
      {"/Ix cs 0.25 scn", {0.25f, 0.25f, 0.25f}, "Indexed has one"},
      {"/Sep cs 0.7 scn", {0.7f, 0.7f, 0.7f}, "Separation has one"},
      {"0 1 0 rg /N2 cs 0.1 0.2 scn", {0, 0, 0}, "DeviceN with two names has two"},
      {"/Nested cs 0.1 0.2 0.3 scn", {0.1f, 0.2f, 0.3f}, "an array in an array"},
      {"/Missing cs 0.7 scn", {0.7f, 0.7f, 0.7f}, "an unknown space has one"},
      {"0.5 g q 1 g Q", {0.5f, 0.5f, 0.5f}, "Q restores the colour"},
      {"0.5 g Q Q", {0.5f, 0.5f, 0.5f}, "Q without q is ignored"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.why);
    Page page = page_of(fmt::format("{} 0 0 1 1 re f", c.content), resources, [](PdfBuilder& b) {
      b.stream(10, "/N 4", "").stream(11, "", "").object(12, "<< >>");
    });
    ASSERT_EQ(page.paths.size(), 1u);
    ASSERT_TRUE(page.paths[0].fill);
    EXPECT_NEAR(page.paths[0].fill->r, c.want.r, 1e-6);
    EXPECT_NEAR(page.paths[0].fill->g, c.want.g, 1e-6);
    EXPECT_NEAR(page.paths[0].fill->b, c.want.b, 1e-6);
  }

  Page page = page_of("0 1 0 0 K 0 0 m 1 1 l S");
  ASSERT_EQ(page.paths.size(), 1u);
  EXPECT_EQ(page.paths[0].stroke, (Rgb{1, 0, 1}));
  EXPECT_EQ(page.paths[0].fill, std::nullopt);
}

TEST(PagePaths, ExtGStateSetsWidthAlphaAndFontSize) {
  Page page = page_of(
      "/GS1 gs 0 0 1 1 re B BT /F1 10 Tf /GS1 gs (a) Tj ET",
      "/ExtGState << /GS1 << /LW 4 /ca 0.5 /CA 3 /Font [5 0 R 12] >> >> /Font << /F1 5 0 R >>");
  ASSERT_EQ(page.paths.size(), 1u);
  EXPECT_EQ(page.paths[0].line_width, 4);
  EXPECT_EQ(page.paths[0].fill_alpha, 0.5f);
  EXPECT_EQ(page.paths[0].stroke_alpha, 1) << "clamped";
  ASSERT_EQ(page.glyphs.size(), 1u);
  EXPECT_FLOAT_EQ(page.glyphs[0].size, 12);
  EXPECT_EQ(page.glyphs[0].alpha, 0.5f);
}

TEST(PageBadInput, OperatorsWithUnusableOperandsAreSkipped) {
  struct Case {
    std::string_view content;
    size_t glyphs;
    std::optional<Rect> path;  // the bbox of the one path, or no path
    const char* why;
  };
  const Rect unit{0, 0, 1, 1};
  const Case kCases[] = {
      {"1 0 0 1 /x 5 cm 0 0 1 1 re f", 0, unit, "cm with a name"},
      {"1 0 0 1 5 cm 0 0 1 1 re f", 0, unit, "cm with five numbers"},
      {"1 0 0 1 5 5 7 cm 0 0 1 1 re f", 0, Rect{5, 5, 6, 6}, "extra operands are ignored"},
      {"(s) 0 m 0 0 1 1 re f", 0, unit, "m with a string"},
      {"0 0 1 re f", 0, std::nullopt, "re with three numbers"},
      {"BT /F1 10 Tf 5 Tj ET", 0, std::nullopt, "Tj with a number"},
      {"BT /F1 10 Tf (a) TJ ET", 0, std::nullopt, "TJ with a string"},
      {"BT /Missing 10 Tf (a) Tj ET", 0, std::nullopt, "a font that is not in the resources"},
      {"BT 10 /F1 Tf (a) Tj ET", 0, std::nullopt, "Tf with its operands swapped sets no font"},
      {"BT /F1 10 Tf (a) Tj /F2 12 Tf (b) Tj ET", 1, std::nullopt,
       "a missing font drops the old one"},
      {"/Nothing Do 5 Do /GS9 gs 7 gs /X cs foo 1 2 bar", 0, std::nullopt, "nothing to use"},
      {"BT /F1 10 Tf (a) Tj 1 0 Td (b) Tj ET", 2, std::nullopt, "Td with one number"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.why);
    Page page = page_of(c.content);
    EXPECT_EQ(page.glyphs.size(), c.glyphs);
    ASSERT_EQ(page.paths.size(), c.path ? 1u : 0u);
    if (c.path) {
      EXPECT_EQ(page.paths[0].bbox, *c.path);
    }
  }
}

TEST(PageBadInput, DeepSaveStacksStayBalanced) {
  std::string content = "1 0 0 rg ";
  for (int i = 0; i < 2000; ++i) content += "q ";
  content += "0 1 0 rg Q 0 0 1 1 re f ";
  for (int i = 1; i < 2000; ++i) content += "Q ";
  content += "0 0 1 1 re f Q 0 0 1 1 re f";
  Page page = page_of(content);
  ASSERT_EQ(page.paths.size(), 3u);
  EXPECT_EQ(page.paths[0].fill, (Rgb{0, 1, 0})) << "a q beyond the bound saved nothing";
  EXPECT_EQ(page.paths[1].fill, (Rgb{1, 0, 0})) << "the matching Q is back at the start";
  EXPECT_EQ(page.paths[2].fill, (Rgb{1, 0, 0}));
}

TEST(PageImages, ImageXObjectIsPlacedByTheCtm) {
  const std::string_view data = "\x01\x02\x03\x04\x05\x06";
  Result<Document> document = one_page(
      "0.2 g q 200 0 0 100 50 600 cm /Im1 Do Q", "/XObject << /Im1 10 0 R >>", [&](PdfBuilder& b) {
        b.stream(10,
                 "/Type /XObject /Subtype /Image /Width 2 /Height 1 "
                 "/ColorSpace /DeviceRGB /BitsPerComponent 8",
                 data);
      });
  ASSERT_TRUE(document);
  Result<Page> page = document->page(0);
  ASSERT_TRUE(page);
  ASSERT_EQ(page->images.size(), 1u);
  const ImageItem& image = page->images[0];
  EXPECT_EQ(image.name, "Im1");
  EXPECT_EQ(image.bbox, (Rect{50, 600, 250, 700}));
  EXPECT_EQ(image.image_matrix, (Matrix{200, 0, 0, -100, 50, 700}));
  EXPECT_EQ(image.width, 2u);
  EXPECT_EQ(image.height, 1u);
  EXPECT_EQ(image.bits_per_component, 8);
  EXPECT_EQ(image.components, 3);
  EXPECT_FALSE(image.image_mask);
  EXPECT_EQ(image.color, (Rgb{0.2f, 0.2f, 0.2f}));
  ASSERT_TRUE(std::holds_alternative<Ref>(image.source)) << "not decoded while interpreting";
  EXPECT_EQ(std::get<Ref>(image.source), (Ref{10, 0}));
  Result<Decoded> decoded = image.decode(document->file());
  ASSERT_TRUE(decoded) << decoded.error().message();
  EXPECT_EQ(std::string(decoded->bytes->begin(), decoded->bytes->end()), data);
}

TEST(PageImages, ImageParameters) {
  struct Case {
    std::string_view dict;  // the image stream's entries after /Subtype /Image
    bool recorded;
    uint32_t width;
    uint8_t bits, components;
    bool mask;
  };
  const Case kCases[] = {
      {"/Width 2 /Height 2 /ColorSpace /DeviceRGB", true, 2, 8, 3, false},
      {"/Width 0 /Height 2", false, 0, 0, 0, false},
      {"/Width 2 /Height -3", false, 0, 0, 0, false},
      {"/Width 2.9 /Height 1", true, 2, 8, 1, false},
      {"/Width 2 /Height 2 /ImageMask true", true, 2, 1, 1, true},
      {"/Width 2 /Height 2 /ImageMask true /BitsPerComponent 4 /ColorSpace /DeviceRGB", true, 2, 4,
       1, true},
      {"/Width 2 /Height 2 /ColorSpace [/Indexed /DeviceRGB 1 <000000FFFFFF>] "
       "/BitsPerComponent 1",
       true, 2, 1, 1, false},
      {"/Width 2 /Height 2 /ColorSpace [/ICCBased 11 0 R]", true, 2, 8, 4, false},
      {"/Width 2 /Height 2 /ColorSpace 12 0 R /BitsPerComponent 99", true, 2, 16, 4, false},
      {"/Width 2 /Height 2 /ColorSpace [/Pattern]", true, 2, 8, 1, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.dict);
    Page page = page_of("/Im Do", "/XObject << /Im 10 0 R >>", [&](PdfBuilder& b) {
      b.stream(10, fmt::format("/Subtype /Image {}", c.dict), "xxxx")
          .stream(11, "/N 4", "")
          .object(12, "/DeviceCMYK");
    });
    ASSERT_EQ(page.images.size(), c.recorded ? 1u : 0u);
    if (!c.recorded) continue;
    EXPECT_EQ(page.images[0].width, c.width);
    EXPECT_EQ(page.images[0].bits_per_component, c.bits);
    EXPECT_EQ(page.images[0].components, c.components);
    EXPECT_EQ(page.images[0].image_mask, c.mask);
  }
}

TEST(PageImages, InlineImagesCarryTheirDecodedData) {
  struct Case {
    std::string_view image;  // between BI and EI
    bool recorded;
    std::string_view data;
    std::optional<std::string> filter;
    uint8_t bits, components;
  };
  const Case kCases[] = {
      {"/W 2 /H 2 /IM true ID ab", true, "ab", std::nullopt, 1, 1},
      {"/W 1 /H 1 /CS /RGB /BPC 8 /F /AHx ID FF0000>", true, std::string_view("\xFF\0\0", 3),
       std::nullopt, 8, 3},
      {"/W 1 /H 1 /CS /CS0 ID abcd", true, "abcd", std::nullopt, 8, 4},
      {"/W 1 /H 1 /CS /G ID a", true, "a", std::nullopt, 8, 1},
      {"/W 1 /H 1 /CS [/I /RGB 1 <000000FFFFFF>] ID a", true, "a", std::nullopt, 8, 1},
      {"/W 1 /H 1 /F /DCT ID xyz", true, "xyz", "DCT", 8, 1},
      {"/W 0 /H 1 ID a", false, "", std::nullopt, 0, 0},
      {"/W 1 /H 1 /F /Unknown ID a", false, "", std::nullopt, 0, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.image);
    Page page = page_of(fmt::format("q 10 0 0 10 5 5 cm BI {} EI Q", c.image),
                        "/ColorSpace << /CS0 [/ICCBased 10 0 R] >>",
                        [](PdfBuilder& b) { b.stream(10, "/N 4", ""); });
    ASSERT_EQ(page.images.size(), c.recorded ? 1u : 0u);
    if (!c.recorded) continue;
    const ImageItem& image = page.images[0];
    EXPECT_EQ(image.name, "inline");
    EXPECT_EQ(image.bbox, (Rect{5, 5, 15, 15}));
    EXPECT_EQ(image.bits_per_component, c.bits);
    EXPECT_EQ(image.components, c.components);
    ASSERT_TRUE(std::holds_alternative<Decoded>(image.source));
    const Decoded& decoded = std::get<Decoded>(image.source);
    EXPECT_EQ(std::string(decoded.bytes->begin(), decoded.bytes->end()), c.data);
    EXPECT_EQ(decoded.image_filter, c.filter);
  }
}

TEST(PageForms, FormMatrixMovesItsContentOnly) {
  Page page =
      page_of("q 2 0 0 2 0 0 cm /X1 Do Q /X2 Do BT /F1 10 Tf (c) Tj ET",
              "/Font << /F1 5 0 R >> /XObject << /X1 10 0 R /X2 11 0 R >>", [](PdfBuilder& b) {
                b.stream(10,
                         "/Type /XObject /Subtype /Form /BBox [0 0 1000 1000] "
                         "/Matrix [1 0 0 1 100 0] /Resources << /Font << /F9 5 0 R >> >>",
                         "BT /F9 10 Tf (a) Tj ET 1 0 0 1 50 50 cm")
                    .stream(11, "/Subtype /Form /Matrix [1 0 0 1 0 300]", "BT /F1 10 Tf (b) Tj ET");
              });
  ASSERT_EQ(page.glyphs.size(), 3u) << text_of(page);
  EXPECT_EQ(page.glyphs[0].origin, (Point{200, 0})) << "the form matrix, then the CTM";
  EXPECT_EQ(page.glyphs[0].font_name, "F9");
  EXPECT_EQ(page.glyphs[1].origin, (Point{0, 300})) << "without resources, the caller's";
  EXPECT_EQ(page.glyphs[2].origin, (Point{0, 0})) << "the caller's state is untouched";
}

TEST(PageForms, RecursionIsCutShort) {
  // A form that draws itself, two forms that draw each other, and a chain of 13 forms.
  auto forms = [](PdfBuilder& b) {
    b.stream(10, "/Subtype /Form /Resources << /XObject << /Self 10 0 R >> >>",
             "0 0 1 1 re f /Self Do")
        .stream(11, "/Subtype /Form /Resources << /XObject << /B 12 0 R >> >>",
                "0 0 1 1 re f /B Do")
        .stream(12, "/Subtype /Form /Resources << /XObject << /A 11 0 R >> >>",
                "0 0 1 1 re f /A Do");
    for (uint32_t i = 20; i < 33; ++i) {
      b.stream(i, fmt::format("/Subtype /Form /Resources << /XObject << /Next {} 0 R >> >>", i + 1),
               "0 0 1 1 re f /Next Do");
    }
  };
  const std::string_view resources = "/XObject << /Self 10 0 R /A 11 0 R /Chain 20 0 R >>";
  struct Case {
    std::string_view content;
    size_t paths;
    const char* why;
  };
  const Case kCases[] = {
      {"/Self Do", 1, "a form that draws itself runs once"},
      {"/Self Do /Self Do", 2, "and may be drawn again afterwards"},
      {"/A Do", 2, "two forms that draw each other run once each"},
      {"/Chain Do", 12, "of 13 nested forms the 13th draws nothing"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(page_of(c.content, resources, forms).paths.size(), c.paths);
  }
}

TEST(PageForms, FormsThatMultiplyStopWithinTheNestedBudget) {
  // Twelve levels of forms, each drawing the next ten times: 10^11 rectangles if drawn in full.
  std::string draws;
  for (int i = 0; i < 10; ++i) draws += "/N Do ";
  Page page = page_of("/L1 Do", "/XObject << /L1 11 0 R >>", [&](PdfBuilder& b) {
    for (uint32_t level = 1; level <= 12; ++level) {
      b.stream(10 + level,
               fmt::format("/Subtype /Form /Resources << /XObject << /N {} 0 R >> >>", 11 + level),
               level == 12 ? std::string("0 0 1 1 re f") : draws);
    }
  });
  EXPECT_GT(page.paths.size(), 0u);
  EXPECT_LE(page.paths.size(), kMaxNestedContent / kNestedRunCharge);
}

// The text of a page as the glyphs give it, ligatures spelled out as the converter does.
std::string page_text(const Page& page) {
  static const std::pair<std::string_view, std::string_view> kLigatures[] = {
      {"\uFB00", "ff"},  {"\uFB01", "fi"}, {"\uFB02", "fl"}, {"\uFB03", "ffi"},
      {"\uFB04", "ffl"}, {"\uFB05", "st"}, {"\uFB06", "st"},
  };
  std::string out;
  for (const Glyph& glyph : page.glyphs) {
    std::string_view text = glyph.text;
    for (const auto& [ligature, letters] : kLigatures) {
      if (text == ligature) text = letters;
    }
    out += text;
  }
  return out;
}

TEST(PageCorpus, FirstPagesReadAndGlyphCountsStayPut) {
  using Phrases = std::vector<std::string_view>;
  const Phrases kArticle = {"Adaptive Step Control for Stiff Reaction–Diffusion Solvers",
                            "Marta Kowalczyk",
                            "Daniel Achterberg",
                            "Abstract",
                            "Introduction",
                            "reaction kinetics [2]",
                            "less well understood [3, 5]",
                            "a filtered controller that uses the last three error estimates",
                            "Discretisation"};
  const Phrases kTwoColumn = {"Seasonal Variability of Dissolved Oxygen",
                              "in Shallow Temperate Lakes",
                              "Ingrid Lindqvist",
                              "Freshwater Ecology Group, Norrmark Research Station",
                              "Abstract",
                              "Introduction",
                              "Dissolved oxygen is one of the most informative variables",
                              "Table 1: Morphometry and trophic state of the four lakes."};
  const Phrases kAuthorYear = {"Loanword Adaptation in Coastal Trade Languages:",
                               "Evidence from Vowel Epenthesis",
                               "Elena Marchetti",
                               "Tomasz Wierzbicki",
                               "Abstract",
                               "Introduction",
                               "(Brekke, 1951; Lachance and Duval, 2008)",
                               "As Smith and van der Berg (2019) observe"};
  const Phrases kXelatex = {"Thermal Conductivity of Layered Ceramic Composites",
                            "at Temperatures between 20 °C and 900 °C",
                            "José Núñez",
                            "Zoë Müller",
                            "Søren Ødegård",
                            "Escuela de Ingeniería de Materiales",
                            "Hochschule Großenhain",
                            "Abstract",
                            "between 12 µm and 480 µm",
                            "The magnitude of this “interface effect” is disputed [1, 3]."};
  const Phrases kLualatex = {"A Note on Spectral Gaps of Sparse Random Regular Graphs",
                             "Aino Virtanen",
                             "Department of Mathematics and Statistics, University of Kaarlela",
                             "Abstract",
                             "Introduction",
                             "called Ramanujan",
                             "Theorem 1.",
                             "Results of this form are known [1, 2]",
                             "Non-backtracking walks"};
  const Phrases kDvips = {"Measuring Tail Latency in Partitioned Message Queues",
                          "Rafael Quintero",
                          "Hanna Berglund",
                          "Wei Chen",
                          "Distributed Systems Laboratory, Tidewater Institute of Technology",
                          "Abstract",
                          "Introduction",
                          "replicated on several brokers [1]",
                          "Setup"};
  const Phrases kSample = {"Estimating River Discharge from Satellite Altimetry",
                           "with a Rating-Curve Prior",
                           "Amara Nwosu",
                           "Lukas Brandt",
                           "Sofia Ferreira",
                           "Abstract",
                           "Nash–Sutcliffe efficiency of 0.81",
                           "Introduction",
                           "fitted to occasional field measurements [3]",
                           "a prior on its parameters derived from channel width and slope;",
                           "Data"};
  const Phrases kShort = {"Leaf Litter Decomposition in Riparian Woodland",
                          "Maren Holt",
                          "5 May 2021",
                          "Decay rates",
                          "placed on the forest floor at six riparian",
                          "oak litter lost almost no mass during the first ninety days.",
                          "The confidential field notes are kept with the site register."};
  struct Case {
    std::string_view file;
    std::string_view password;
    std::vector<size_t> glyphs;  // per page, generated spaces included
    const Phrases& phrases;      // on page 1
  };
  const Phrases kNone;
  const Case kCases[] = {
      {"article.pdf", "", {2253, 2441, 2299}, kArticle},
      {"article-objstm.pdf", "", {2253, 2441, 2299}, kArticle},
      {"twocolumn.pdf", "", {4118, 5348, 4205, 6044, 5154, 3572}, kTwoColumn},
      {"twocolumn-linearized.pdf", "", {4118, 5348, 4205, 6044, 5154, 3572}, kTwoColumn},
      {"authoryear.pdf", "", {2662, 2637, 798}, kAuthorYear},
      {"xelatex.pdf", "", {2728, 2574, 1965}, kXelatex},
      {"lualatex.pdf", "", {2198, 2138, 878}, kLualatex},
      {"dvips.pdf", "", {2507, 1893, 969}, kDvips},
      {"sample.pdf", "", {2865, 2044}, kSample},
      {"short.pdf", "", {608}, kShort},
      {"short-r2-rc4-40.pdf", "", {608}, kShort},
      {"short-r2-rc4-40-secret.pdf", "secret", {608}, kShort},
      {"short-r3-rc4-128.pdf", "", {608}, kShort},
      {"short-r3-rc4-128-secret.pdf", "secret", {608}, kShort},
      {"short-r4-aes-128.pdf", "", {608}, kShort},
      {"short-r4-aes-128-secret.pdf", "secret", {608}, kShort},
      {"short-r6-aes-256.pdf", "", {608}, kShort},
      {"short-r6-aes-256-secret.pdf", "secret", {608}, kShort},
      {"scanned.pdf", "", {0, 0, 0}, kNone},
      {"mixed.pdf", "", {2253, 0, 2299}, kArticle},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.file);
    std::string bytes = testing_support::read_file(testing_support::corpus_file(c.file));
    Result<Document> document =
        Document::from_bytes(Bytes(bytes.begin(), bytes.end()), as_bytes(c.password));
    ASSERT_TRUE(document) << document.error().message();
    std::vector<size_t> counts;
    for (size_t i = 0; i < document->page_count(); ++i) {
      Result<Page> page = document->page(i);
      ASSERT_TRUE(page) << page.error().message();
      counts.push_back(page->glyphs.size());
      if (i == 0) {
        const std::string text = page_text(*page);
        for (std::string_view phrase : c.phrases) {
          EXPECT_NE(text.find(phrase), std::string::npos) << phrase << " not in: " << text;
        }
      }
    }
    EXPECT_EQ(counts, c.glyphs);
  }
}

TEST(PageCorpus, ScannedPagesPlaceOneFullPageImageEach) {
  std::string bytes = testing_support::read_file(testing_support::corpus_file("scanned.pdf"));
  Result<Document> document = Document::from_bytes(Bytes(bytes.begin(), bytes.end()));
  ASSERT_TRUE(document) << document.error().message();
  ASSERT_EQ(document->page_count(), 3u);
  for (size_t i = 0; i < document->page_count(); ++i) {
    Result<Page> page = document->page(i);
    ASSERT_TRUE(page);
    ASSERT_EQ(page->images.size(), 1u);
    const ImageItem& image = page->images[0];
    EXPECT_EQ(image.width, 827u);
    EXPECT_EQ(image.height, 1169u);
    EXPECT_EQ(image.components, 1);
    EXPECT_NEAR(image.bbox.width(), page->crop_box.width(), 1);
    EXPECT_NEAR(image.bbox.height(), page->crop_box.height(), 1);
    ASSERT_TRUE(std::holds_alternative<Ref>(image.source));
    Result<Decoded> decoded = image.decode(document->file());
    ASSERT_TRUE(decoded) << decoded.error().message();
    EXPECT_EQ(decoded->image_filter, "DCTDecode");
  }
}

}  // namespace
}  // namespace kestrum
