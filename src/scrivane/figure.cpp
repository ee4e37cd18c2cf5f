#include "scrivane/figure.h"

#include <cmath>

namespace scrivane {

namespace {

// Drawings this close to each other (in points) belong to the same figure.
constexpr float kMergeDistance = 24.0f;
// A figure covers between these fractions of the page: smaller ones are icons and marks,
// larger ones page backgrounds.
constexpr float kMinAreaFraction = 0.015f;
constexpr float kMaxAreaFraction = 0.85f;
// Thinner areas are logos, bars and decorations.
constexpr float kMinSide = 36.0f;
// Without an image, a figure needs more drawings than a few framed boxes.
constexpr size_t kMinPathsWithoutImage = 8;
// Merging compares regions pairwise and repeats until stable. A page built from a huge number
// of scattered drawings would make that quadratic many times over; past this many comparisons
// the regions found so far are kept as they are.
constexpr size_t kMaxMergeComparisons = size_t{50'000'000};

bool positive(const Rect& r) {
  return r.width() > 0 && r.height() > 0;
}

bool near(const Rect& a, const Rect& b) {
  return std::fmin(a.x1, b.x1) - std::fmax(a.x0, b.x0) >= -kMergeDistance &&
         std::fmin(a.y1, b.y1) - std::fmax(a.y0, b.y0) >= -kMergeDistance;
}

}  // namespace

std::vector<Region> regions(const PageRaw& page) {
  std::vector<Region> current;
  for (const ImageItem& image : page.images) {
    if (positive(image.bbox)) current.push_back({image.bbox, 1, 0});
  }
  for (const PathItem& path : page.paths) {
    bool drawing = path.kind == PathKind::Box || path.kind == PathKind::Other;
    if (drawing && positive(path.bbox)) current.push_back({path.bbox, 0, 1});
  }

  size_t budget = kMaxMergeComparisons;
  std::vector<Region> next;
  for (bool changed = true; changed && budget > 0;) {
    changed = false;
    next.clear();
    for (const Region& region : current) {
      Region* into = nullptr;
      for (Region& other : next) {
        if (budget == 0) break;
        --budget;
        if (near(other.bbox, region.bbox)) {
          into = &other;
          break;
        }
      }
      if (into == nullptr) {
        next.push_back(region);
        continue;
      }
      into->bbox = unite(into->bbox, region.bbox);
      into->images += region.images;
      into->paths += region.paths;
      changed = true;
    }
    current.swap(next);
  }

  float page_area = std::fmax(page.width * page.height, 1.0f);
  std::erase_if(current, [&](const Region& r) {
    float w = r.bbox.width(), h = r.bbox.height();
    float fraction = w * h / page_area;
    bool sized = fraction >= kMinAreaFraction && fraction <= kMaxAreaFraction;
    return !(sized && std::fmin(w, h) >= kMinSide &&
             (r.images > 0 || r.paths >= kMinPathsWithoutImage));
  });
  return current;
}

}  // namespace scrivane
