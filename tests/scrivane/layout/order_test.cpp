#include "scrivane/layout/order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace scrivane::layout {
namespace {

// A line of one word, its baseline 2 points above the bottom of its box.
Line make_line(std::string_view text, Rect box, float size = 10) {
  Line line;
  line.bbox = box;
  line.baseline = box.y1 - 2;
  line.size = size;
  line.words.push_back({std::string(text), box, 0, 0});
  return line;
}

std::vector<std::string> texts(const std::vector<Line>& lines) {
  std::vector<std::string> out;
  for (const Line& line : lines) out.push_back(line.text());
  return out;
}

// Lines of height 10 stacked from `top` with 3 points between them.
std::vector<Line> column(std::string_view prefix, float x0, float x1, float top, int count) {
  std::vector<Line> out;
  for (int i = 0; i < count; ++i) {
    float y0 = top + static_cast<float>(i) * 13;
    out.push_back(make_line(std::string(prefix) + std::to_string(i), {x0, y0, x1, y0 + 10}));
  }
  return out;
}

std::vector<Line> concat(std::vector<Line> a, const std::vector<Line>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<std::string> names(std::string_view prefix, int count) {
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) out.push_back(std::string(prefix) + std::to_string(i));
  return out;
}

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Every ordering of the input must come back the same: reversed, interleaved, shuffled.
std::vector<std::vector<Line>> permutations(const std::vector<Line>& lines) {
  std::vector<std::vector<Line>> out{lines};
  out.emplace_back(lines.rbegin(), lines.rend());
  std::vector<Line> interleaved;
  for (size_t i = 0; i < lines.size(); i += 2) interleaved.push_back(lines[i]);
  for (size_t i = 1; i < lines.size(); i += 2) interleaved.push_back(lines[i]);
  out.push_back(interleaved);
  std::mt19937 random(7);
  for (int k = 0; k < 3; ++k) {
    std::vector<Line> shuffled = lines;
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    out.push_back(shuffled);
  }
  return out;
}

TEST(ReadingOrder, TrivialPagesComeBackUnchanged) {
  EXPECT_TRUE(reading_order({}).empty());
  EXPECT_EQ(texts(reading_order({make_line("only", {72, 100, 300, 110})})),
            std::vector<std::string>{"only"});
}

TEST(ReadingOrder, SameBaselineReadsLeftToRight) {
  // Two lines: too few for columns, and overlapping in y so no stacked split.
  EXPECT_EQ(texts(reading_order({make_line("right", {200, 100, 300, 110}),
                                 make_line("left", {72, 100, 180, 110})})),
            (std::vector<std::string>{"left", "right"}));
  // Three lines 20 points apart: still too few for columns, read by leaf order.
  EXPECT_EQ(texts(reading_order({make_line("c", {200, 100, 250, 110}),
                                 make_line("a", {72, 100, 130, 110}),
                                 make_line("b", {150, 100, 180, 110})})),
            (std::vector<std::string>{"a", "b", "c"}));
}

TEST(ReadingOrder, TwoColumnsReadColumnByColumn) {
  std::vector<Line> page = concat(column("L", 72, 300, 100, 10), column("R", 312, 540, 100, 10));
  std::vector<std::string> want = concat(names("L", 10), names("R", 10));
  for (const auto& input : permutations(page)) EXPECT_EQ(texts(reading_order(input)), want);
}

TEST(ReadingOrder, TitleAboveTwoColumns) {
  std::vector<Line> page = {make_line("title", {72, 50, 540, 70}, 18)};
  page = concat(page, column("L", 72, 300, 100, 6));
  page = concat(page, column("R", 312, 540, 100, 6));
  std::vector<std::string> want = concat(concat({"title"}, names("L", 6)), names("R", 6));
  for (const auto& input : permutations(page)) EXPECT_EQ(texts(reading_order(input)), want);
}

TEST(ReadingOrder, ParagraphGapsSplitAColumn) {
  // Line gaps of 3, a paragraph gap of 14 and one of 12: both at least 0.85 × 14 = 11.9.
  std::vector<Line> lines = {
      make_line("a0", {72, 100, 300, 110}), make_line("a1", {72, 113, 300, 123}),
      make_line("b0", {72, 137, 300, 147}), make_line("b1", {72, 150, 300, 160}),
      make_line("c0", {72, 172, 300, 182}),
  };
  std::vector<size_t> all = {4, 2, 0, 3, 1};
  auto groups = split_horizontally(all, lines, kBlockGapRatio * typical_height(all, lines));
  ASSERT_TRUE(groups);
  EXPECT_EQ(*groups, (Groups{{0, 1}, {2, 3}, {4}}));

  // A paragraph gap must exceed the threshold, not just reach it.
  EXPECT_FALSE(split_horizontally(all, lines, 14.0f));
}

TEST(ReadingOrder, SplitOnAxisIgnoresNaNEdges) {
  std::vector<Line> lines = {
      make_line("a", {72, 100, 300, 110}),
      make_line("b", {72, 130, 300, 140}),
  };
  lines[0].bbox.y1 = std::numeric_limits<float>::quiet_NaN();
  std::vector<size_t> all = {0, 1};
  // The NaN bottom leaves the reach at -inf: the only gap is infinite, so there is no split.
  EXPECT_FALSE(split_horizontally(all, lines, 1.5f));
}

TEST(ReadingOrder, TypicalHeight) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<Line> lines = {
      make_line("small", {0, 0, 10, 8}, 12),    // size wins: 12
      make_line("tall", {0, 0, 10, 20}, 9),     // box wins: 20
      make_line("nosize", {0, 0, 10, 7}, nan),  // box alone: 7
      make_line("empty", {0, 0, 10, 0}, 0),     // nothing positive: skipped
  };
  std::vector<size_t> all = {0, 1, 2, 3};
  EXPECT_EQ(typical_height(all, lines), 12.0f);  // of 7, 12, 20 the one at index 1
  std::vector<size_t> none = {3};
  EXPECT_EQ(typical_height(none, lines), kDefaultHeight);
}

TEST(ReadingOrder, LeafOrderPutsNaNLast) {
  std::vector<Line> lines = {
      make_line("nan", {72, 100, 90, 110}),
      make_line("second", {150, 100, 200, 110}),
      make_line("first", {72, 100, 140, 110}),
  };
  lines[0].baseline = std::numeric_limits<float>::quiet_NaN();
  std::vector<size_t> order = {0, 1, 2};
  leaf_order(order, lines);
  EXPECT_EQ(order, (std::vector<size_t>{2, 1, 0}));
}

// Two columns of two lines at the top, then `steps` full-width lines whose gaps grow by a
// quarter each, so every cut peels off only the lowest line and nests one level deeper.
std::vector<Line> staircase(int steps) {
  std::vector<Line> page = concat(column("L", 72, 300, 100, 2), column("R", 312, 540, 100, 2));
  float y = 123;  // bottom of the columns
  float gap = 5;
  for (int k = 0; k < steps; ++k) {
    y += gap;
    page.push_back(make_line("s" + std::to_string(k), {72, y, 540, y + 10}));
    y += 10;
    gap *= 1.25f;
  }
  return page;
}

TEST(ReadingOrder, DepthLimitFallsBackToLeafOrder) {
  // With 31 steps the columns are reached at depth 31 and still split side by side.
  auto shallow = texts(reading_order(staircase(31)));
  EXPECT_EQ(std::vector<std::string>(shallow.begin(), shallow.begin() + 4),
            (std::vector<std::string>{"L0", "L1", "R0", "R1"}));
  // With 32 they are reached at the depth limit and read line by line across.
  auto deep = texts(reading_order(staircase(32)));
  EXPECT_EQ(std::vector<std::string>(deep.begin(), deep.begin() + 4),
            (std::vector<std::string>{"L0", "R0", "L1", "R1"}));
  EXPECT_EQ(deep.size(), 36u);
  EXPECT_EQ(deep.back(), "s31");
}

}  // namespace
}  // namespace scrivane::layout
