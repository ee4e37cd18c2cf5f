// Geometry of the reader: rectangles and affine matrices in PDF user space (y up), f32 like every
// coordinate the reader hands on.
#pragma once

#include <cstdint>

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

// One command of a path: painted paths in page space, glyph outlines in glyph space.
struct PathSegment {
  enum class Kind : uint8_t { MoveTo, LineTo, CurveTo, Close };
  Kind kind = Kind::MoveTo;
  // MoveTo and LineTo use p[0]; CurveTo has its control points in p[0] and p[1] and its end in
  // p[2]; Close has none.
  Point p[3] = {};

  static PathSegment move_to(Point a) { return {Kind::MoveTo, {a, {}, {}}}; }
  static PathSegment line_to(Point a) { return {Kind::LineTo, {a, {}, {}}}; }
  static PathSegment curve_to(Point c1, Point c2, Point end) {
    return {Kind::CurveTo, {c1, c2, end}};
  }
  static PathSegment close() { return {Kind::Close, {}}; }
  // How many of `p` the kind uses.
  int points() const { return kind == Kind::CurveTo ? 3 : kind == Kind::Close ? 0 : 1; }
  bool operator==(const PathSegment&) const = default;
};

// The matrix that applies `m` first and then `n` (the PDF product m × n). Inline, like
// apply_rect: the interpreter calls both several times per glyph.
inline Matrix concat(const Matrix& m, const Matrix& n) {
  return {
      m.a * n.a + m.b * n.c, m.a * n.b + m.b * n.d,       m.c * n.a + m.d * n.c,
      m.c * n.b + m.d * n.d, m.e * n.a + m.f * n.c + n.e, m.e * n.b + m.f * n.d + n.f,
  };
}

// The bounding box of the four mapped corners of `r`.
inline Rect apply_rect(const Matrix& m, const Rect& r) {
  const Point corners[4] = {m.apply(r.x0, r.y0), m.apply(r.x1, r.y0), m.apply(r.x0, r.y1),
                            m.apply(r.x1, r.y1)};
  Rect out{corners[0].x, corners[0].y, corners[0].x, corners[0].y};
  for (const Point& p : corners) {
    out.x0 = p.x < out.x0 ? p.x : out.x0;
    out.y0 = p.y < out.y0 ? p.y : out.y0;
    out.x1 = p.x > out.x1 ? p.x : out.x1;
    out.y1 = p.y > out.y1 ? p.y : out.y1;
  }
  return out;
}

}  // namespace kestrum
