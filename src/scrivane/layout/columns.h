// Columns: the gutters of a page, found from the horizontal coverage of its glyph boxes, the
// document's typical gutter (its spine) and the horizontal bands each page is cut into, each
// with the gutters that apply inside it. Results are plain values owned by the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "scrivane/ir.h"
#include "scrivane/text/lines.h"

namespace scrivane {

// A horizontal slice [top, bottom) of a page with the gutters inside it (at most two).
struct Band {
  std::vector<Gutter> gutters;
  float top = -std::numeric_limits<float>::infinity();
  float bottom = std::numeric_limits<float>::infinity();

  bool operator==(const Band&) const = default;
};

// The gutters, left to right, between the columns that `boxes` form on a page of `width`
// points; none for fewer than 200 boxes or when more than two strips qualify.
std::vector<Gutter> gutters(std::span<const Rect> boxes, float width);

// Appends [start, end) to `result` when that empty run of the coverage histogram, narrowed to
// its emptiest stretch, is wide enough and flanked by enough text to be a gutter.
void push_gutter(std::vector<Gutter>& result, std::span<const uint32_t> histogram, uint32_t peak,
                 uint32_t median, size_t start, size_t end);

// `gutters` over the boxes of the glyphs placed in `lines`, with the page's width.
std::vector<Gutter> page_gutters(const PageRaw& page, std::span<const Line> lines);

// The gutter that most pages with exactly one gutter share, given every page's gutters.
std::optional<Gutter> document_spine(std::span<const std::vector<Gutter>> page_gutters);

// Appends the bands of `lines` (sorted by the top of their box) to `bands`: cuts the group at
// its widest vertical gap, up to two levels deep, until the group's gutters match the spine.
void search_bands(const PageRaw& page, std::span<const Line* const> lines, unsigned depth,
                  std::vector<Band>& bands, const Gutter& spine);

// The bands of every page, tiling it from -inf to +inf. Pages and line lists are paired by
// position, as many as the shorter list holds. Page gutters and band searches run on the
// process-wide pool.
std::vector<std::vector<Band>> document_bands(std::span<const PageRaw> pages,
                                              std::span<const std::vector<Line>> lines);

}  // namespace scrivane
