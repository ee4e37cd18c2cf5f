#include "kestrum/geom.h"

#include <gtest/gtest.h>

namespace kestrum {
namespace {

TEST(Geom, ConcatAppliesTheFirstMatrixFirst) {
  const Matrix scale = Matrix::scale(2, 3);
  const Matrix shift = Matrix::translate(10, 20);
  EXPECT_EQ(concat(scale, shift).apply(1, 1), (Point{12, 23}));
  EXPECT_EQ(concat(shift, scale).apply(1, 1), (Point{22, 63}));
  const Matrix m{1, 2, 3, 4, 5, 6};
  EXPECT_EQ(concat(m, Matrix::identity()), m);
  EXPECT_EQ(concat(Matrix::identity(), m), m);
}

TEST(Geom, ApplyRectBoundsTheMappedCorners) {
  const Matrix quarter_turn{0, 1, -1, 0, 0, 0};  // (x, y) -> (-y, x)
  EXPECT_EQ(apply_rect(quarter_turn, Rect{1, 2, 3, 5}), (Rect{-5, 1, -2, 3}));
  const Rect overlap = intersect(Rect{0, 0, 10, 10}, Rect{5, -5, 20, 5});
  EXPECT_EQ(overlap, (Rect{5, 0, 10, 5}));
  EXPECT_TRUE(has_area(overlap));
  EXPECT_FALSE(has_area(intersect(Rect{0, 0, 1, 1}, Rect{1, 0, 2, 1})));  // touching edges
}

}  // namespace
}  // namespace kestrum
