#include "scrivane/layout/columns.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "support/page_builder.h"

namespace scrivane {
namespace {

using testing_support::PageBuilder;

constexpr float kInf = std::numeric_limits<float>::infinity();

struct Span {
  float x0, x1;
};

// `rows` rows of text 12 points apart from `first_baseline`, each filling every span with
// glyphs 6 points wide, so each row covers each cell under a span exactly once.
void fill(PageBuilder& b, const std::vector<Span>& spans, int rows, float first_baseline = 100) {
  for (int r = 0; r < rows; ++r) {
    for (const Span& s : spans) {
      std::string text(static_cast<size_t>((s.x1 - s.x0) / 6), 'x');
      b.text({.text = text, .x = s.x0, .baseline = first_baseline + 12.0f * r, .advance = 6});
    }
  }
}

std::vector<Rect> boxes(const PageRaw& page) {
  std::vector<Rect> out;
  for (const Glyph& g : page.glyphs) out.push_back(g.bbox);
  return out;
}

TEST(Gutters, FoundFromEmptyStripsBetweenColumns) {
  struct Case {
    std::vector<Span> columns;
    std::vector<Span> strays;  // two glyph boxes each, as high as a row
    std::vector<Gutter> want;
    const char* why;
  };
  const Case kCases[] = {
      {{{72, 300}, {312, 540}}, {}, {{300, 312}}, "two columns"},
      {{{72, 300}, {309, 540}}, {}, {{300, 309}}, "nine empty cells are enough"},
      {{{72, 300}, {308, 540}}, {}, {}, "eight are a wide space, not a gutter"},
      {{{72, 198}, {222, 378}, {402, 540}}, {}, {{198, 222}, {378, 402}}, "three columns"},
      {{{72, 180}, {204, 300}, {324, 420}, {444, 540}}, {}, {}, "three gutters mean none"},
      {{{72, 300}, {330, 540}},
       {{314, 316}},
       {{300, 314}},
       "a stray glyph column narrows a wide run to its emptiest stretch"},
  };
  for (const Case& c : kCases) {
    PageBuilder b;
    fill(b, c.columns, 20);
    for (const Span& s : c.strays) {
      for (int i = 0; i < 2; ++i) b.glyph(U'-', Rect{s.x0, 100, s.x1, 110}, 110, 10);
    }
    EXPECT_EQ(gutters(boxes(b.page()), 612), c.want) << c.why;
  }
}

TEST(Gutters, TooFewBoxesOrNoWidthMeanNoGutters) {
  PageBuilder b;
  fill(b, {{72, 300}, {312, 540}}, 20);
  std::vector<Rect> all = boxes(b.page());
  std::vector<Rect> first(all.begin(), all.begin() + 200);
  EXPECT_EQ(gutters(first, 612), (std::vector<Gutter>{{300, 312}}));
  first.pop_back();
  EXPECT_TRUE(gutters(first, 612).empty()) << "199 boxes";
  EXPECT_TRUE(gutters(all, 0).empty()) << "width 0";
  EXPECT_TRUE(gutters(all, std::numeric_limits<float>::quiet_NaN()).empty()) << "width NaN";
  EXPECT_EQ(gutters(all, 1e30f), (std::vector<Gutter>{{300, 312}})) << "a huge page box";
}

TEST(PushGutter, NeedsTextOnBothSides) {
  struct Case {
    uint32_t flank;
    uint32_t floor;
    bool accepted;
    const char* why;
  };
  const Case kCases[] = {
      {40, 0, false, "flanks at 40 % of the median column count"},
      {60, 0, true, "flanks at 60 %"},
      {60, 30, true, "flanks twice the strip's own count"},
      {60, 31, false, "flanks less than twice the strip's own count"},
  };
  for (const Case& c : kCases) {
    std::vector<uint32_t> h(100, 100);
    for (size_t i = 20; i < 80; ++i) h[i] = c.flank;
    for (size_t i = 45; i < 55; ++i) h[i] = c.floor;
    std::vector<Gutter> result;
    push_gutter(result, h, 100, 100, 45, 55);
    std::vector<Gutter> want;
    if (c.accepted) want.emplace_back(45, 55);
    EXPECT_EQ(result, want) << c.why;
  }
}

TEST(DocumentSpine, MostSingleGutterPagesMustShareIt) {
  struct Case {
    std::vector<std::vector<float>> centres;  // per page, 12-point gutters
    std::optional<float> want;
    const char* why;
  };
  const Case kCases[] = {
      {{{306}, {306}, {330}, {400}}, std::nullopt, "candidate 330 has only itself within 12"},
      {{{306}, {306}, {310}, {400}}, 310, "candidate 310 has three within 12"},
      {{{306}, {306}, {}}, std::nullopt, "two single-gutter pages are too few"},
      {{{306}, {306}, {150, 306}, {306}}, 306, "pages with two gutters do not count"},
  };
  for (const Case& c : kCases) {
    std::vector<std::vector<Gutter>> pages;
    for (const auto& page : c.centres) {
      auto& own = pages.emplace_back();
      for (float x : page) own.emplace_back(x - 6, x + 6);
    }
    std::optional<Gutter> spine = document_spine(pages);
    ASSERT_EQ(spine.has_value(), c.want.has_value()) << c.why;
    if (spine) {
      EXPECT_EQ((spine->first + spine->second) / 2, *c.want) << c.why;
    }
  }
}

PageRaw two_column_page() {
  PageBuilder b;
  fill(b, {{72, 300}, {312, 540}}, 20);
  return std::move(b.page());
}

TEST(DocumentBands, TitlePageGetsABandAboveTheColumns) {
  std::vector<PageRaw> pages;
  PageBuilder title;
  title.text({.text = "A Title", .x = 250, .baseline = 60, .size = 20});
  fill(title, {{72, 540}}, 10, 100);              // the abstract: 10 full-width rows down to 210.5
  fill(title, {{72, 300}, {312, 540}}, 20, 250);  // the columns, from 242.5
  pages.push_back(std::move(title.page()));
  for (int i = 1; i < 10; ++i) pages.push_back(two_column_page());
  std::vector<std::vector<Line>> lines;
  for (const PageRaw& page : pages) lines.push_back(build_lines(page));

  EXPECT_TRUE(page_gutters(pages[0], lines[0]).empty()) << "the abstract covers the gutter";
  EXPECT_EQ(page_gutters(pages[1], lines[1]), (std::vector<Gutter>{{300, 312}}));

  std::vector<std::vector<Band>> bands = document_bands(pages, lines);
  ASSERT_EQ(bands.size(), 10u);
  const float middle = (210.5f + 242.5f) / 2;
  EXPECT_EQ(bands[0], (std::vector<Band>{{{}, -kInf, middle}, {{{300, 312}}, middle, kInf}}));
  for (size_t i = 1; i < bands.size(); ++i) {
    EXPECT_EQ(bands[i], (std::vector<Band>{{{{300, 312}}, -kInf, kInf}})) << "page " << i;
  }
}

TEST(DocumentBands, WithoutSpineEveryPageKeepsItsOwnGutters) {
  std::vector<PageRaw> pages;
  PageBuilder title;
  fill(title, {{72, 540}}, 10, 100);
  fill(title, {{72, 300}, {312, 540}}, 20, 250);
  pages.push_back(std::move(title.page()));
  pages.push_back(two_column_page());
  pages.push_back(two_column_page());
  pages.push_back(PageRaw{});
  std::vector<std::vector<Line>> lines;
  for (const PageRaw& page : pages) lines.push_back(build_lines(page));
  lines.pop_back();  // only pages with a line list take part

  std::vector<std::vector<Band>> bands = document_bands(pages, lines);
  ASSERT_EQ(bands.size(), 3u);
  EXPECT_EQ(bands[0], (std::vector<Band>{{{}, -kInf, kInf}}));
  EXPECT_EQ(bands[1], (std::vector<Band>{{{{300, 312}}, -kInf, kInf}}));
  EXPECT_EQ(bands[2], bands[1]);
  EXPECT_TRUE(document_bands({}, {}).empty());
}

}  // namespace
}  // namespace scrivane
