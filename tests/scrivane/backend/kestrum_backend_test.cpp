#include "scrivane/backend/kestrum_backend.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "scrivane/pipeline.h"
#include "support/paths.h"
#include "support/pdf_builder.h"

namespace scrivane {
namespace {

using testing_support::corpus_file;
using testing_support::PdfBuilder;

// A fixture file on disk, removed when the test ends.
class TempPdf {
 public:
  explicit TempPdf(const std::string& bytes) {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            fmt::format("scrivane-backend-{}-{}.pdf", ::getpid(), counter++);
    std::ofstream(path_, std::ios::binary) << bytes;
  }
  ~TempPdf() { std::filesystem::remove(path_); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

constexpr const char* kHelvetica = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";

// One page with `content`, a Helvetica font F1 (with `font_extra` inside its dictionary), an
// image XObject Im1 of 4x2 samples, and `page_extra` entries on the page.
std::string one_page(std::string_view content, std::string_view page_extra = "",
                     std::string_view font_extra = "") {
  PdfBuilder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
      .object(3, fmt::format("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
                             "/Resources << /Font << /F1 5 0 R >> /XObject << /Im1 6 0 R >> >> "
                             "{} >>",
                             page_extra))
      .stream(4, "", content)
      .object(5,
              fmt::format("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica {} >>", font_extra))
      .stream(6,
              "/Type /XObject /Subtype /Image /Width 4 /Height 2 /ColorSpace /DeviceGray "
              "/BitsPerComponent 8",
              "01234567")
      .trailer("/Root 1 0 R");
  return b.build();
}

PageRaw first_page(const std::string& pdf, FontTable* fonts_out = nullptr) {
  TempPdf file(pdf);
  auto backend = KestrumBackend::open_with_password(file.path());
  EXPECT_TRUE(backend) << (backend ? "" : backend.error().text());
  if (!backend) return {};
  FontTable fonts;
  auto page = (*backend)->page(0, fonts);
  EXPECT_TRUE(page) << (page ? "" : page.error().text());
  if (fonts_out) *fonts_out = fonts;
  return page ? *page : PageRaw{};
}

TEST(KestrumBackend, RotationMapsSizeAndOrigins) {
  struct Case {
    int rotate;
    float width, height;
    Point origin;
    int rotation;
  };
  // A glyph at user space (100, 700) on a 612 x 792 page.
  const Case kCases[] = {
      {0, 612, 792, {100, 92}, 0},      {90, 792, 612, {700, 100}, 90},
      {180, 612, 792, {512, 700}, 180}, {270, 792, 612, {92, 512}, 270},
      {-90, 792, 612, {92, 512}, 270},  {450, 792, 612, {700, 100}, 90},
      {45, 792, 612, {100, 92}, 45},  // unrotated mapping, sides still exchanged
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.rotate);
    PageRaw page = first_page(
        one_page("BT /F1 10 Tf 100 700 Td (A) Tj ET", fmt::format("/Rotate {}", c.rotate)));
    EXPECT_EQ(page.width, c.width);
    EXPECT_EQ(page.height, c.height);
    EXPECT_EQ(page.rotation, c.rotation);
    ASSERT_EQ(page.glyphs.size(), 1u);
    EXPECT_NEAR(page.glyphs[0].origin.x, c.origin.x, 1e-3);
    EXPECT_NEAR(page.glyphs[0].origin.y, c.origin.y, 1e-3);
    EXPECT_LE(page.glyphs[0].bbox.x0, page.glyphs[0].bbox.x1);
    EXPECT_LE(page.glyphs[0].bbox.y0, page.glyphs[0].bbox.y1);
  }
  PageRaw up = first_page(one_page("BT /F1 10 Tf 100 700 Td (A) Tj ET", "/Rotate 90"));
  EXPECT_NEAR(up.glyphs[0].angle, M_PI / 2, 1e-5) << "text along user x runs down the page";
}

TEST(KestrumBackend, GlyphTextsLigaturesAndControls) {
  // Codes 1..3 are named fi, a bell control and A: the ligature is spelt out, the control
  // glyph never reaches the page.
  FontTable fonts;
  PageRaw page = first_page(one_page("BT /F1 10 Tf 100 700 Td (\\001\\002\\003) Tj ET", "",
                                     "/Encoding << /Differences [1 /fi /uni0007 /A] >>"),
                            &fonts);
  ASSERT_EQ(page.glyphs.size(), 2u);
  EXPECT_EQ(page.glyphs[0].text, GlyphText::expanded(0));
  EXPECT_EQ(page.expansions, (std::vector<std::string>{"fi"}));
  EXPECT_EQ(page.glyphs[1].text, GlyphText::character(U'A'));
  EXPECT_EQ(fonts.names, (std::vector<std::string>{"Helvetica"}));
  EXPECT_EQ(page.glyphs[1].color, 0xFF000000u) << "opaque black";
  EXPECT_EQ(page.glyphs[1].size, 10.0f);
  EXPECT_FALSE(page.glyphs[1].generated);
}

TEST(KestrumBackend, SizeZeroIsEstimatedFromTheBox) {
  PageRaw page = first_page(one_page("BT /F1 0 Tf 100 700 Td (A) Tj ET"));
  ASSERT_EQ(page.glyphs.size(), 1u);
  EXPECT_EQ(page.glyphs[0].size, 1.0f) << "a box without height gives 1";
}

TEST(KestrumBackend, PathClassification) {
  struct Case {
    const char* content;
    std::vector<PathKind> want;
    const char* why;
  };
  const Case kCases[] = {
      {"1 w 100 100 m 200 100 l 100 80 m 200 80 l S",
       {PathKind::HorizontalRule, PathKind::HorizontalRule},
       "two underlines in one stroked path"},
      {"100 100 100 2 re f", {PathKind::HorizontalRule}, "a filled 100 x 2 rectangle"},
      {"100 100 m 200 100 l 200 150 l 100 150 l h S", {PathKind::Box}, "a stroked box"},
      {"100 100 100 50 re S", {PathKind::Box}, "re draws a box too"},
      {"100 100 m 150 100 150 100 200 100 c 200 150 l 100 150 l h f",
       {PathKind::Other},
       "the same box with a curve"},
      {"100 100 m 200 100 l 200 150 l 100 150 l S",
       {PathKind::Box},
       "an open box still has four corners"},
      {"100 100 m 200 100 l 150 150 l h f", {PathKind::Other}, "a triangle"},
      {"100 100 m 200 100 l 200 150 l 100 150 l h n", {}, "n paints nothing"},
      {"5 5 2 700 re f", {PathKind::VerticalRule}, "a tall thin fill"},
      {"5 5 10 700 re f", {PathKind::Box}, "too wide for a rule"},
      {"-500 -500 m -400 -500 l S", {}, "a path off the page"},
  };
  for (const Case& c : kCases) {
    PageRaw page = first_page(one_page(c.content));
    std::vector<PathKind> got;
    for (const PathItem& p : page.paths) got.push_back(p.kind);
    EXPECT_EQ(got, c.want) << c.why;
  }

  PageRaw rule = first_page(one_page("0 0 1 rg 100 100 100 2 re f"));
  ASSERT_EQ(rule.paths.size(), 1u);
  EXPECT_EQ(rule.paths[0].thickness, 2.0f);
  EXPECT_TRUE(rule.paths[0].filled);
  EXPECT_FALSE(rule.paths[0].stroked);
  EXPECT_EQ(rule.paths[0].color, 0xFF0000FFu);

  PageRaw hairline = first_page(one_page("0.5 w 100 100 m 200 100 l S"));
  ASSERT_EQ(hairline.paths.size(), 1u);
  EXPECT_NEAR(hairline.paths[0].bbox.height(), 0.5, 1e-4) << "half the width on each side";
  EXPECT_EQ(hairline.paths[0].kind, PathKind::HorizontalRule);

  PageRaw thin = first_page(one_page("0 w 100 100 m 200 100 l S"));
  ASSERT_EQ(thin.paths.size(), 1u);
  EXPECT_NEAR(thin.paths[0].bbox.height(), 0.1, 1e-4) << "widths below 0.1 count as 0.1";
}

TEST(KestrumBackend, ImagesOffThePageStillCount) {
  PageRaw page =
      first_page(one_page("q 10 0 0 10 -500 -500 cm /Im1 Do Q q 50 0 0 40 100 100 cm /Im1 Do Q"));
  ASSERT_EQ(page.images.size(), 1u);
  EXPECT_EQ(page.images[0].object_index, 1u);
  EXPECT_EQ(page.images[0].pixel_width, 4u);
  EXPECT_EQ(page.images[0].pixel_height, 2u);
  EXPECT_NEAR(page.images[0].bbox.x0, 100, 1e-3);
  EXPECT_NEAR(page.images[0].bbox.y0, 792 - 140, 1e-3);
  EXPECT_NEAR(page.images[0].bbox.width(), 50, 1e-3);
}

TEST(KestrumBackend, FontNamesInternOncePerDocument) {
  TempPdf file(PdfBuilder()
                   .object(1, "<< /Type /Catalog /Pages 2 0 R >>")
                   .object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>")
                   .object(3,
                           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 5 0 R "
                           "/Resources << /Font << /F1 7 0 R /F2 8 0 R >> >> >>")
                   .object(4,
                           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 6 0 R "
                           "/Resources << /Font << /F1 7 0 R >> >> >>")
                   .stream(5, "", "BT /F1 10 Tf 72 700 Td (ab) Tj /F2 12 Tf (c) Tj ET")
                   .stream(6, "", "BT /F1 10 Tf 72 700 Td (d) Tj ET")
                   .object(7, kHelvetica)
                   .object(8, "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Bold >>")
                   .trailer("/Root 1 0 R")
                   .build());
  auto backend = KestrumBackend::open_with_password(file.path());
  ASSERT_TRUE(backend);
  auto doc = extract_from(**backend, file.path().string());
  ASSERT_TRUE(doc) << doc.error().text();
  EXPECT_EQ(doc->fonts.names, (std::vector<std::string>{"Helvetica", "Times-Bold"}));
  ASSERT_EQ(doc->pages.size(), 2u);
  ASSERT_EQ(doc->pages[0].glyphs.size(), 3u);
  EXPECT_EQ(doc->pages[0].glyphs[2].font, 1u);
  EXPECT_EQ(doc->pages[0].glyphs[2].flags & kFlagBold, kFlagBold);
  EXPECT_EQ(doc->pages[0].glyphs[2].flags & kFlagSerif, kFlagSerif);
  EXPECT_EQ(doc->pages[1].glyphs[0].font, 0u) << "one id across the document";
}

TEST(KestrumBackend, OpenAndPageErrors) {
  auto missing = KestrumBackend::open_with_password("/nonexistent/x.pdf");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().text().rfind("could not open the document: /nonexistent/x.pdf: ", 0),
            0u)
      << missing.error().text();
  TempPdf junk("this is not a PDF");
  auto bad = KestrumBackend::open_with_password(junk.path());
  ASSERT_FALSE(bad);
  EXPECT_NE(bad.error().get<Error::PdfOpen>(), nullptr);

  auto article = KestrumBackend::open_with_password(corpus_file("article.pdf"));
  ASSERT_TRUE(article);
  FontTable fonts;
  auto page = (*article)->page(5, fonts);
  ASSERT_FALSE(page);
  EXPECT_EQ(page.error().text(), "page 5 is out of range");
}

// The scanned-document refusal on whole files: more than half the pages image-only.
std::string image_pages(int image_only, int with_text) {
  PdfBuilder b;
  std::string kids;
  int n = image_only + with_text;
  for (int i = 0; i < n; ++i) kids += fmt::format("{} 0 R ", 10 + 2 * i);
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .object(2, fmt::format("<< /Type /Pages /Kids [{}] /Count {} >>", kids, n))
      .object(3, kHelvetica)
      .stream(4,
              "/Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceGray "
              "/BitsPerComponent 8",
              "x");
  for (int i = 0; i < n; ++i) {
    b.object(10 + 2 * i,
             fmt::format("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 600 800] /Contents {} 0 R "
                         "/Resources << /Font << /F1 3 0 R >> /XObject << /Im 4 0 R >> >> >>",
                         11 + 2 * i));
    b.stream(11 + 2 * i, "",
             i < image_only ? "q 600 0 0 800 0 0 cm /Im Do Q" : "BT /F1 10 Tf 72 700 Td (x) Tj ET");
  }
  return b.trailer("/Root 1 0 R").build();
}

TEST(ExtractFrom, RefusesMostlyScannedDocuments) {
  struct Case {
    int image_only, with_text;
    bool refused;
  };
  const Case kCases[] = {{2, 1, true}, {1, 1, false}, {1, 2, false}, {0, 0, false}};
  for (const Case& c : kCases) {
    TempPdf file(image_pages(c.image_only, c.with_text));
    auto backend = KestrumBackend::open_with_password(file.path());
    ASSERT_TRUE(backend);
    auto doc = extract_from(**backend, "x.pdf");
    EXPECT_EQ(!doc, c.refused) << c.image_only << " of " << c.image_only + c.with_text;
    if (!doc) {
      EXPECT_EQ(doc.error().text(),
                fmt::format("x.pdf looks like a scanned document ({}/{} pages have no extractable "
                            "text); scrivane handles born-digital PDFs only",
                            c.image_only, c.image_only + c.with_text));
    }
  }
  auto scanned = KestrumBackend::open_with_password(corpus_file("scanned.pdf"));
  ASSERT_TRUE(scanned);
  EXPECT_FALSE(extract_from(**scanned, "scanned.pdf"));
  auto mixed = KestrumBackend::open_with_password(corpus_file("mixed.pdf"));
  ASSERT_TRUE(mixed);
  EXPECT_TRUE(extract_from(**mixed, "mixed.pdf")) << "one image-only page of three is kept";
}

}  // namespace
}  // namespace scrivane
