#include "scrivane/figure.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/page_builder.h"

namespace scrivane {
namespace {

using testing_support::PageBuilder;

enum class Item { Image, Box, Other, HorizontalRule, VerticalRule };

struct Drawing {
  Item item;
  Rect box;
};

std::vector<Drawing> row_of_boxes(size_t count, float x, float y, float size, float step) {
  std::vector<Drawing> out;
  for (size_t i = 0; i < count; ++i) out.push_back({Item::Box, {x, y, x + size, y + size}});
  for (size_t i = 0; i < count; ++i) {
    out[i].box.x0 += step * i;
    out[i].box.x1 += step * i;
  }
  return out;
}

// A plot: a 200 x 150 frame with 40 short segments inside.
std::vector<Drawing> plot() {
  std::vector<Drawing> out{{Item::Box, {100, 100, 300, 250}}};
  for (int i = 0; i < 40; ++i) {
    float x = 105 + 4.5f * i, y = 240 - 3.0f * i;
    out.push_back({Item::Other, {x, y - 4, x + 5, y}});
  }
  return out;
}

TEST(Regions, ClusterImagesAndDrawings) {
  struct Case {
    std::vector<Drawing> drawings;
    std::vector<Region> want;
    const char* why;
  };
  const Case kCases[] = {
      {{}, {}, "an empty page"},
      {{{Item::HorizontalRule, {72, 100, 540, 101}}, {Item::VerticalRule, {300, 100, 301, 700}}},
       {},
       "rules never make a region"},
      {plot(), {{{100, 100, 300, 250}, 0, 41}}, "a plot of 40 segments and a frame"},
      {{{Item::Image, {100, 100, 200, 200}}, {Item::Image, {220, 100, 320, 200}}},
       {{{100, 100, 320, 200}, 2, 0}},
       "images 20 points apart merge"},
      {{{Item::Image, {100, 100, 200, 200}}, {Item::Image, {230, 100, 330, 200}}},
       {{{100, 100, 200, 200}, 1, 0}, {{230, 100, 330, 200}, 1, 0}},
       "30 points apart they stay two"},
      {{{Item::Image, {0, 0, 612, 792}}}, {}, "a full-page background is more than 85 %"},
      {{{Item::Image, {100, 100, 130, 400}}}, {}, "a logo 30 points wide"},
      {{{Item::Image, {100, 100, 140, 140}}}, {}, "a 40-point square is under 1.5 % of the page"},
      {row_of_boxes(5, 100, 100, 40, 45), {}, "five boxes without an image are not a figure"},
      {row_of_boxes(8, 100, 100, 40, 45), {{{100, 100, 455, 140}, 0, 8}}, "eight are"},
      {{{Item::Image, {0, 100, 50, 150}},
        {Item::Image, {140, 100, 190, 150}},
        {Item::Image, {70, 100, 120, 150}}},
       {{{0, 100, 190, 150}, 3, 0}},
       "a chain closed only by a second pass still becomes one region"},
      {{{Item::Box, {100, 500, 300, 650}},
        {Item::Image, {100, 100, 300, 250}},
        {Item::Image, {100, 520, 150, 560}}},
       {{{100, 100, 300, 250}, 1, 0}, {{100, 500, 300, 650}, 1, 1}},
       "ordered by first member, images before paths"},
  };
  for (const Case& c : kCases) {
    PageBuilder b(612, 792);
    for (const Drawing& d : c.drawings) {
      switch (d.item) {
        case Item::Image:
          b.image(d.box);
          break;
        case Item::Box:
          b.path(d.box, PathKind::Box);
          break;
        case Item::Other:
          b.path(d.box, PathKind::Other);
          break;
        case Item::HorizontalRule:
          b.path(d.box, PathKind::HorizontalRule);
          break;
        case Item::VerticalRule:
          b.path(d.box, PathKind::VerticalRule);
          break;
      }
    }
    EXPECT_EQ(regions(b.page()), c.want) << c.why;
  }
}

}  // namespace
}  // namespace scrivane
