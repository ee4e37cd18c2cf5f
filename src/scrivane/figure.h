// Figure regions: areas of a page where placed images and vector drawings cluster. Only the
// page's images and paths are looked at, never its text.
#pragma once

#include <cstddef>
#include <vector>

#include "scrivane/ir.h"

namespace scrivane {

// One figure area: the union of its members' boxes and how many of each kind it holds.
struct Region {
  Rect bbox;
  size_t images = 0;
  size_t paths = 0;

  bool operator==(const Region&) const = default;
};

// The page's figure regions, in order of their first member (images first, then paths, each
// in painting order). Rules never seed a region.
std::vector<Region> regions(const PageRaw& page);

}  // namespace scrivane
