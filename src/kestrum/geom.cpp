#include "kestrum/geom.h"

#include <algorithm>

namespace kestrum {

Rect intersect(const Rect& a, const Rect& b) {
  return {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

Matrix concat(const Matrix& m, const Matrix& n) {
  return {
      m.a * n.a + m.b * n.c, m.a * n.b + m.b * n.d,       m.c * n.a + m.d * n.c,
      m.c * n.b + m.d * n.d, m.e * n.a + m.f * n.c + n.e, m.e * n.b + m.f * n.d + n.f,
  };
}

Rect apply_rect(const Matrix& m, const Rect& r) {
  const Point corners[4] = {m.apply(r.x0, r.y0), m.apply(r.x1, r.y0), m.apply(r.x0, r.y1),
                            m.apply(r.x1, r.y1)};
  Rect out{corners[0].x, corners[0].y, corners[0].x, corners[0].y};
  for (const Point& p : corners) {
    out.x0 = std::min(out.x0, p.x);
    out.y0 = std::min(out.y0, p.y);
    out.x1 = std::max(out.x1, p.x);
    out.y1 = std::max(out.y1, p.y);
  }
  return out;
}

}  // namespace kestrum
