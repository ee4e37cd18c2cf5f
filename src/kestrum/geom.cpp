#include "kestrum/geom.h"

#include <algorithm>

namespace kestrum {

Rect intersect(const Rect& a, const Rect& b) {
  return {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

}  // namespace kestrum
