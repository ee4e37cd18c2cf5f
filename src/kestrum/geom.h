// Geometry of the reader: rectangles and affine matrices in PDF user space (y up), f32 like every
// coordinate the reader hands on.
#pragma once

namespace kestrum {

// x0 <= x1 and y0 <= y1 wherever the reader builds one (rect_from normalises the corners).
struct Rect {
  float x0 = 0, y0 = 0, x1 = 0, y1 = 0;

  float width() const { return x1 - x0; }
  float height() const { return y1 - y0; }
  bool operator==(const Rect&) const = default;
};

// The overlap of two rectangles; its width or height is zero or negative when they do not
// overlap, so callers check `has_area` before using it.
Rect intersect(const Rect& a, const Rect& b);
// Positive width and height.
inline bool has_area(const Rect& r) {
  return r.x1 - r.x0 > 0 && r.y1 - r.y0 > 0;
}

struct Point {
  float x = 0, y = 0;
  bool operator==(const Point&) const = default;
};

// The PDF convention: (x, y) maps to (a·x + c·y + e, b·x + d·y + f).
struct Matrix {
  float a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

  static Matrix identity() { return {}; }
  static Matrix translate(float tx, float ty) { return {1, 0, 0, 1, tx, ty}; }
  static Matrix scale(float sx, float sy) { return {sx, 0, 0, sy, 0, 0}; }

  Point apply(float x, float y) const { return {a * x + c * y + e, b * x + d * y + f}; }
  Point apply(Point p) const { return apply(p.x, p.y); }
  bool operator==(const Matrix&) const = default;
};

// The matrix that applies `m` first and then `n` (the PDF product m × n).
Matrix concat(const Matrix& m, const Matrix& n);
// The bounding box of the four mapped corners of `r`.
Rect apply_rect(const Matrix& m, const Rect& r);

}  // namespace kestrum
