#include "scrivane/text/lines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "support/page_builder.h"

namespace scrivane {
namespace {

using testing_support::PageBuilder;
using testing_support::Run;

std::vector<std::string> texts(const std::vector<Line>& lines) {
  std::vector<std::string> out;
  for (const Line& line : lines) out.push_back(line.text());
  return out;
}

std::vector<std::string> words(const Line& line) {
  std::vector<std::string> out;
  for (const Word& w : line.words) out.push_back(w.text);
  return out;
}

TEST(BuildLines, BaselineToleranceIsAFractionOfTheSmallerSize) {
  struct Case {
    float size;
    float dy;
    size_t want_lines;
    const char* why;
  };
  // Baselines start at 16 so that 16 + dy - 16 is dy to within a rounding step below it.
  const Case kCases[] = {
      {10, 2.8f, 1, "2.8 is within 0.28 x 10"},
      {10, 2.9f, 2, "2.9 is beyond 0.28 x 10"},
      {1, 0.5f, 1, "tiny sizes still get half a point"},
      {1, 0.6f, 2, "but no more"},
  };
  for (const Case& c : kCases) {
    PageBuilder b;
    b.text({.text = "a", .x = 72, .baseline = 16, .size = c.size});
    b.text({.text = "b", .x = 100, .baseline = 16 + c.dy, .size = c.size});
    EXPECT_EQ(build_lines(b.page()).size(), c.want_lines) << c.why;
  }
}

TEST(BuildLines, OnlyNearlyHorizontalGlyphsMakeLines) {
  struct Case {
    float angle;
    size_t want_lines;
    const char* why;
  };
  const Case kCases[] = {
      {-std::numbers::pi_v<float> / 2, 0, "text running up the page"},
      {std::numeric_limits<float>::quiet_NaN(), 0, "no direction at all"},
      {std::numeric_limits<float>::infinity(), 0, "infinite angle"},
      {0.08f, 1, "4.6 degrees of tilt is still a line"},
      {2 * std::numbers::pi_v<float> - 0.08f, 1, "so is -4.6 degrees written as 355.4"},
      {0.1f, 0, "5.7 degrees is rotated"},
  };
  EXPECT_TRUE(build_lines(PageBuilder().page()).empty()) << "an empty page";
  for (const Case& c : kCases) {
    PageBuilder b;
    b.text({.text = "word", .x = 72, .baseline = 100, .angle = c.angle});
    EXPECT_EQ(build_lines(b.page()).size(), c.want_lines) << c.why;
  }
}

TEST(BuildLines, NonFiniteGeometryStaysOutOfTheWay) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  PageBuilder b;
  b.text({.text = "good text", .x = 72, .baseline = 100});
  b.glyph(U'n', Rect{nan, nan, nan, nan}, nan, 10);
  b.glyph(U's', Rect{80, 90, 85, 100}, 100, nan);
  b.glyph(U'w', Rect{-inf, 90, inf, 100}, 300, 10);
  b.glyph(U'z', Rect{90, 90, 95, 100}, 400, 0);
  std::vector<Line> lines = build_lines(b.page());
  // Whatever becomes of the damaged glyphs, no glyph lands in two lines and the intact line
  // keeps its size, baseline and last word.
  std::vector<int> seen(b.page().glyphs.size());
  for (const Line& line : lines) {
    for (const Placed& p : line.placed) EXPECT_EQ(++seen.at(p.glyph), 1);
  }
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].words.back().text, "text");
  EXPECT_EQ(lines[0].size, 10);
  EXPECT_EQ(lines[0].baseline, 100);
}

TEST(BuildLines, SmallLinesOnALargerOneBecomeScripts) {
  struct Case {
    std::string_view marker;
    float baseline;
    bool beside;  // starts just after the body line ends instead of under its start
    size_t want_lines;
    uint8_t want_script;
    const char* why;
  };
  const Case kCases[] = {
      {"1", 95, true, 1, 1, "a raised footnote marker is a superscript"},
      {"2", 103, true, 1, 2, "a lowered index is a subscript"},
      {"abcdefghijklmnopqrstuvwxy", 95, false, 1, 1, "25 glyphs 5 units off the baseline join"},
      {"abcdefghijklmnopqrstuvwxy", 93, false, 2, 0, "25 glyphs 7 units off stay a line"},
      {"abcdefghijklmnopqrstuvwxy", 98, true, 2, 0,
       "25 glyphs beside the line, over none of it, stay a line (the next column's text)"},
  };
  for (const Case& c : kCases) {
    PageBuilder b;
    float end = b.text({.text = "Body text", .x = 72, .baseline = 100, .size = 10});
    float x = c.beside ? end + (c.marker.size() == 1 ? 0 : 5) : 72;
    b.text({.text = c.marker, .x = x, .baseline = c.baseline, .size = 6, .advance = 1.5f});
    std::vector<Line> lines = build_lines(b.page());
    ASSERT_EQ(lines.size(), c.want_lines) << c.why;
    const Line& body = lines[0].size == 10 ? lines[0] : lines[1];
    EXPECT_EQ(body.size, 10) << c.why;
    size_t scripts = 0;
    for (const Placed& p : body.placed) {
      if (p.script != 0) {
        EXPECT_EQ(p.script, c.want_script) << c.why;
        ++scripts;
      }
    }
    EXPECT_EQ(scripts, c.want_lines == 1 ? c.marker.size() : 0) << c.why;
  }
}

TEST(BuildLines, SpaceGlyphsAreTheOnlyWordBoundaries) {
  PageBuilder b;
  // 4 points between letters is 0.4 of the size, far above any gap threshold.
  b.text({.text = " ab cd", .x = 72, .baseline = 100, .size = 10, .gap = 4});
  std::vector<Line> lines = build_lines(b.page());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(words(lines[0]), (std::vector<std::string>{"ab", "cd"}));
  ASSERT_EQ(lines[0].placed.size(), 4u) << "space glyphs are dropped";
  EXPECT_FALSE(lines[0].placed[0].space_before) << "a leading space separates nothing";
  EXPECT_FALSE(lines[0].placed[1].space_before);
  EXPECT_TRUE(lines[0].placed[2].space_before);
  EXPECT_EQ(lines[0].words[1].start, 2u);
  EXPECT_EQ(lines[0].words[1].end, 4u);
}

TEST(BuildLines, WordGapThresholdAdaptsToTheLine) {
  struct Case {
    std::vector<float> gaps;  // in units of the font size
    std::vector<std::string> want;
    const char* why;
  };
  const Case kCases[] = {
      {{0.02f, 0.03f, 0.02f, 0.35f, 0.03f}, {"abcd", "ef"}, "split at the one wide gap"},
      {{0.15f, 0.18f}, {"abc"}, "two gaps: the default 0.19 holds"},
      {{0.15f, 0.2f}, {"ab", "c"}, "two gaps: 0.2 is above the default"},
      {{0.01f, 0.01f, 0.01f, 0.01f, 0.15f, 0.15f},
       {"abcde", "f", "g"},
       "clearly narrow letter gaps pull the threshold down to 0.1"},
      {{0.15f, 0.15f, 0.15f, 0.15f, 0.15f}, {"abcdef"}, "uniform gaps keep the default"},
  };
  for (const Case& c : kCases) {
    PageBuilder b;
    float x = 72;
    for (size_t i = 0; i <= c.gaps.size(); ++i) {
      b.glyph(U'a' + i, Rect{x, 92.5f, x + 5, 102.5f}, 100, 10);
      if (i < c.gaps.size()) x += 5 + c.gaps[i] * 10;
    }
    std::vector<Line> lines = build_lines(b.page());
    ASSERT_EQ(lines.size(), 1u) << c.why;
    EXPECT_EQ(words(lines[0]), c.want) << c.why;
  }
}

TEST(BuildLines, DropCapitalRejoinsTheFirstLineItSpans) {
  struct Case {
    char32_t capital;
    float size;
    bool moved;
    const char* why;
  };
  const Case kCases[] = {
      {U'T', 36, true, "a three-line initial"},
      {U'\u00C9', 36, true, "an accented capital"},
      {U't', 36, false, "a lowercase initial"},
      {U'T', 15, false, "only 1.5 times the body size"},
  };
  for (const Case& c : kCases) {
    PageBuilder b;
    b.text({.text = "he first line of text", .x = 100, .baseline = 100});
    b.text({.text = "second line here", .x = 100, .baseline = 112});
    b.text({.text = "third line too", .x = 100, .baseline = 124});
    // The initial stands on the third baseline, as tall as the three lines.
    b.glyph(c.capital, Rect{72, 98, 97, 124}, 124, c.size);
    std::vector<Line> lines = build_lines(b.page());
    ASSERT_EQ(lines.size(), 3u) << c.why;
    std::string initial;
    append_utf8(initial, c.capital);
    if (c.moved) {
      EXPECT_EQ(lines[0].text(), initial + "he first line of text") << c.why;
      EXPECT_EQ(lines[2].text(), "third line too") << c.why;
      EXPECT_EQ(lines[2].bbox.x0, 100) << c.why;
    } else {
      EXPECT_EQ(lines[0].text(), "he first line of text") << c.why;
      EXPECT_EQ(lines[2].text().substr(0, initial.size()), initial) << c.why;
    }
  }
}

TEST(BuildLines, LinesComeTopToBottomThenLeftToRight) {
  PageBuilder b;
  b.text({.text = "right", .x = 320, .baseline = 100});
  b.text({.text = "lower", .x = 72, .baseline = 130});
  b.text({.text = "left", .x = 72, .baseline = 100, .spaces = false});
  std::vector<Line> lines = build_lines(b.page());
  // One baseline makes one line, its glyphs left to right whatever their painting order.
  EXPECT_EQ(texts(lines), (std::vector<std::string>{"left right", "lower"}));
  EXPECT_EQ(lines[0].baseline, 100);
}

TEST(Recompute, DominantSizeWeighsGlyphWidths) {
  struct Case {
    float wide;
    float want;
    const char* why;
  };
  const Case kCases[] = {
      {10, 10, "30 glyphs of 5 points outweigh two of 10"},
      {80, 12, "two glyphs of 80 points outweigh 150 points of body text"},
  };
  for (const Case& c : kCases) {
    PageBuilder b;
    float x = b.text({.text = "abcdefghijklmnopqrstuvwxyzabcd", .x = 72, .baseline = 100});
    b.glyph(U'M', Rect{x, 91, x + c.wide, 103}, 100, 12);
    b.glyph(U'W', Rect{x + c.wide, 91, x + 2 * c.wide, 103}, 100, 12);
    std::vector<Line> lines = build_lines(b.page());
    ASSERT_EQ(lines.size(), 1u) << c.why;
    EXPECT_EQ(lines[0].size, c.want) << c.why;
    EXPECT_EQ(lines[0].baseline, 100) << c.why;
  }
}

TEST(Recompute, StyleNeedsMoreThanHalfTheGlyphs) {
  PageBuilder b;
  b.text({.text = "bold", .x = 72, .baseline = 100, .flags = kFlagBold});
  b.text({.text = "text", .x = 100, .baseline = 100, .flags = kFlagItalic});
  b.text({.text = "x", .x = 130, .baseline = 100, .flags = kFlagItalic});
  std::vector<Line> lines = build_lines(b.page());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_FALSE(lines[0].bold) << "4 of 9";
  EXPECT_TRUE(lines[0].italic) << "5 of 9";
}

TEST(SplitAtGutters, CutsLinesThatJumpAGutter) {
  struct Case {
    std::string_view left;
    float left_end;
    std::string_view right;
    float right_start;
    std::vector<std::string> want;
    const char* why;
  };
  const std::vector<Gutter> kGutter = {{300, 312}};
  const Case kCases[] = {
      {"Deep Learning Methods For Columns",
       0,
       "",
       0,
       {"Deep Learning Methods For Columns"},
       "a title across the gutter without a wide gap"},
      {"left column text",
       295,
       "right column words",
       320,
       {"left column text", "right column words"},
       "glyph centres on both sides of the gutter, 25 apart"},
      {"alpha beta gamma",
       288,
       "delta epsilon",
       309,
       {"alpha beta gamma", "delta epsilon"},
       "a wide gap over the gutter's middle in prose"},
      {"ab cd ef", 288, "gh ij", 309, {"ab cd efgh ij"}, "the same gap between short words"},
  };
  for (const Case& c : kCases) {
    PageBuilder b;
    float advance = 5;
    if (c.right.empty()) {
      b.text({.text = c.left, .x = 220, .baseline = 100});
    } else {
      b.text({.text = c.left, .x = c.left_end - advance * c.left.size(), .baseline = 100});
      b.text({.text = c.right, .x = c.right_start, .baseline = 100});
    }
    std::vector<Line> lines = build_lines(b.page());
    ASSERT_EQ(lines.size(), 1u) << c.why;
    std::vector<Line> split = split_at_gutters(b.page(), lines, kGutter);
    EXPECT_EQ(texts(split), c.want) << c.why;
    EXPECT_EQ(texts(split_at_gutters(b.page(), lines, {})), texts(lines)) << c.why;
    for (const Line& line : split) {
      EXPECT_FALSE(line.placed.front().space_before) << c.why;
    }
  }
}

TEST(SplitAtGutters, PiecesGetTheirOwnFieldsAndOrder) {
  PageBuilder b;
  b.text({.text = "left", .x = 200, .baseline = 110});
  b.text({.text = "right", .x = 320, .baseline = 109, .size = 12});
  b.text({.text = "top", .x = 72, .baseline = 50});
  std::vector<Line> lines = build_lines(b.page());
  ASSERT_EQ(texts(lines), (std::vector<std::string>{"top", "left right"}));
  std::vector<Line> split = split_at_gutters(b.page(), std::move(lines), {{300, 312}});
  ASSERT_EQ(texts(split), (std::vector<std::string>{"top", "right", "left"}))
      << "sorted by baseline: the larger piece sits one point higher";
  EXPECT_EQ(split[1].size, 12);
  EXPECT_EQ(split[1].bbox.x0, 320);
  EXPECT_EQ(split[2].size, 10);
  EXPECT_EQ(split[2].bbox.x1, 220);
}

}  // namespace
}  // namespace scrivane
