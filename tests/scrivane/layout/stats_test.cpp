#include "scrivane/layout/stats.h"

#include <gtest/gtest.h>

#include <vector>

namespace scrivane {
namespace {

Line line(float size, size_t glyphs, float baseline = 0) {
  Line l;
  l.size = size;
  l.baseline = baseline;
  l.placed.resize(glyphs);
  return l;
}

TEST(Stats, BodySizeIsTheHeaviestSizeBucket) {
  struct Case {
    std::vector<std::vector<Line>> pages;
    float want;
    const char* why;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Case kCases[] = {
      {{}, 10, "no pages"},
      {{{}, {}}, 10, "pages without lines"},
      {{{line(10.0f, 300), line(10.2f, 100)}, {line(12.0f, 350)}},
       10.0f,
       "10.2 joins the bucket of 10.0, whose size it keeps"},
      {{{line(9, 50), line(11, 50)}}, 11, "equal weights: the later bucket wins"},
      {{{line(10.0f, 10), line(10.24f, 10), line(10.25f, 15)}}, 10.0f, "10.24 joins 10.0"},
      {{{line(10.0f, 10), line(10.25f, 15)}}, 10.25f, "10.25 opens a bucket of its own"},
      {{{line(0, 100), line(0, 5)}}, 10, "a mode of size 0 falls back to 10"},
      {{{line(nan, 1000), line(8, 1)}}, 8, "non-finite sizes are ignored"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Stats::measure(c.pages).body_size, c.want) << c.why;
  }
}

TEST(Stats, LeadingIsTheMedianBodyBaselineGap) {
  struct Case {
    std::vector<std::vector<float>> baselines;  // per page, body lines of size 10
    float want;
    const char* why;
  };
  const Case kCases[] = {
      {{}, 12, "nothing measured: 1.2 x body size"},
      {{{100, 112, 124, 160, 172}}, 12, "36 is not below 25 and is dropped"},
      {{{100, 111, 123, 136, 150}}, 13, "11, 12, 13, 14: the upper middle"},
      {{{112, 100, 112, 100}}, 12, "side-by-side columns give gaps of 0, which are dropped"},
      {{{100}, {110}}, 12, "gaps never cross pages"},
      {{{100, 105}, {100, 105.5f}}, 5.5f, "5 is not above 0.5 x 10; 5.5 is"},
  };
  for (const Case& c : kCases) {
    std::vector<std::vector<Line>> pages;
    for (const auto& page : c.baselines) {
      auto& lines = pages.emplace_back();
      for (float y : page) lines.push_back(line(10, 40, y));
      lines.push_back(line(7, 1, 0));  // small print never counts
    }
    EXPECT_EQ(measure_leading(pages, 10), c.want) << c.why;
  }
  Stats stats = Stats::measure(std::vector<std::vector<Line>>{
      {line(10, 50, 100), line(10, 50, 112), line(10, 50, 124), line(8, 10, 130)}});
  EXPECT_EQ(stats.body_size, 10);
  EXPECT_EQ(stats.leading, 12);
}

}  // namespace
}  // namespace scrivane
