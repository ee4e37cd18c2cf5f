#include "scrivane/layout/columns.h"

#include <algorithm>
#include <cmath>

#include "scrivane/parallel.h"

namespace scrivane {

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();

// Fewer glyphs than this cannot show columns reliably (and keeps small groups cheap).
constexpr size_t kMinGutterBoxes = 200;
// One histogram cell per point of page width. Page boxes larger than this come from damaged
// or hostile files; clamping bounds the histogram's memory.
constexpr size_t kMaxHistogramCells = size_t{1} << 16;
// Cells covered by at most this fraction of the peak count are empty.
constexpr float kEmptyFraction = 0.25f;
// Counts within this fraction of the peak above a run's minimum belong to its emptiest part.
constexpr float kLevelTolerance = 0.02f;
// A stretch of more than this many cells replaces the run it lies in.
constexpr size_t kNarrowAbove = 8;
// Narrower strips are word or sentence spaces, not gutters.
constexpr float kMinGutterCells = 9.0f;
// The text beside a gutter is looked for this many cells to each side.
constexpr size_t kFlankCells = 24;
constexpr float kMinFlankOfMedian = 0.5f;
constexpr uint64_t kMinFlankOverFloor = 2;
// More candidate strips than this mean a table or a scattered layout, not columns.
constexpr size_t kMaxGutters = 2;

// Gutters count as the spine when their centres lie this close to it.
constexpr float kSpineReach = 12.0f;
constexpr size_t kMinSpinePages = 3;
// Band search cuts a page at most this deep (a title block over an abstract over columns).
constexpr unsigned kMaxCutDepth = 1;

size_t to_cell(float v, size_t n) {
  if (!(v > 0)) return 0;  // negative and NaN
  if (v >= static_cast<float>(n)) return n;
  return static_cast<size_t>(v);
}

float centre(const Gutter& g) {
  return (g.first + g.second) / 2;
}

uint32_t smallest(std::span<const uint32_t> cells) {
  return cells.empty() ? 0 : *std::min_element(cells.begin(), cells.end());
}
uint32_t largest(std::span<const uint32_t> cells) {
  return cells.empty() ? 0 : *std::max_element(cells.begin(), cells.end());
}

void add_boxes(const PageRaw& page, std::span<const Line> lines, std::vector<Rect>& boxes) {
  for (const Line& line : lines) {
    for (const Placed& p : line.placed) {
      if (p.glyph < page.glyphs.size()) boxes.push_back(page.glyphs[p.glyph].bbox);
    }
  }
}

std::vector<Band> bands_with_spine(const PageRaw& page, std::span<const Line> lines,
                                   std::vector<Gutter> own, const Gutter& spine) {
  if (!own.empty()) return {Band{std::move(own), -kInfinity, kInfinity}};
  std::vector<const Line*> by_top;
  by_top.reserve(lines.size());
  for (const Line& line : lines) by_top.push_back(&line);
  std::stable_sort(by_top.begin(), by_top.end(),
                   [](const Line* a, const Line* b) { return total_less(a->bbox.y0, b->bbox.y0); });
  std::vector<Band> found;
  search_bands(page, by_top, 0, found, spine);

  std::vector<Band> bands;
  for (Band& band : found) {
    if (!bands.empty() && bands.back().gutters == band.gutters) {
      bands.back().bottom = std::fmax(bands.back().bottom, band.bottom);
    } else {
      bands.push_back(std::move(band));
    }
  }
  for (size_t i = 0; i + 1 < bands.size(); ++i) {
    float middle = (bands[i].bottom + bands[i + 1].top) / 2;
    bands[i].bottom = middle;
    bands[i + 1].top = middle;
  }
  if (bands.empty()) bands.emplace_back();
  bands.front().top = -kInfinity;
  bands.back().bottom = kInfinity;
  return bands;
}

}  // namespace

std::vector<Gutter> gutters(std::span<const Rect> boxes, float width) {
  if (!(width > 0) || boxes.size() < kMinGutterBoxes) return {};
  float cells = std::ceil(width);
  size_t n = cells >= static_cast<float>(kMaxHistogramCells) ? kMaxHistogramCells
                                                             : static_cast<size_t>(cells);
  if (n == 0) return {};

  // Coverage by differences: +1 where a box starts, -1 where it ends, then a running sum.
  // Unsigned wrap-around cancels out as long as the true counts fit.
  std::vector<uint32_t> histogram(n + 1, 0);
  for (const Rect& box : boxes) {
    size_t a = to_cell(std::floor(box.x0), n);
    size_t b = to_cell(std::ceil(box.x1), n);
    if (b <= a) continue;
    histogram[a] += 1;
    histogram[b] -= 1;
  }
  for (size_t c = 1; c < n; ++c) histogram[c] += histogram[c - 1];
  histogram.resize(n);

  uint32_t peak = largest(histogram);
  if (peak == 0) return {};
  auto threshold = static_cast<uint32_t>(kEmptyFraction * static_cast<float>(peak));
  auto full = [&](size_t c) { return histogram[c] > threshold; };
  size_t left = 0;
  while (left < n && !full(left)) ++left;
  size_t right = n;
  while (right > left && !full(right - 1)) --right;
  if (right == left) return {};

  std::vector<uint32_t> counts;
  for (size_t c = left; c < right; ++c) {
    if (full(c)) counts.push_back(histogram[c]);
  }
  auto middle = counts.begin() + static_cast<std::ptrdiff_t>(counts.size() / 2);
  std::nth_element(counts.begin(), middle, counts.end());
  uint32_t median = *middle;

  std::vector<Gutter> result;
  for (size_t c = left; c < right;) {
    if (full(c)) {
      ++c;
      continue;
    }
    size_t start = c;
    while (c < right && !full(c)) ++c;
    push_gutter(result, histogram, peak, median, start, c);
  }
  if (result.size() > kMaxGutters) return {};
  return result;
}

void push_gutter(std::vector<Gutter>& result, std::span<const uint32_t> histogram, uint32_t peak,
                 uint32_t median, size_t start, size_t end) {
  size_t n = histogram.size();
  end = std::min(end, n);
  if (start >= end) return;
  uint64_t tolerance =
      static_cast<uint64_t>(std::round(kLevelTolerance * static_cast<float>(peak)));
  uint64_t level = smallest(histogram.subspan(start, end - start)) + tolerance;

  // The emptiest stretch: a stray glyph column inside a wide run must not hide the gutter
  // beside it, nor widen it.
  size_t best_start = start, best_length = 0;
  for (size_t c = start; c < end;) {
    if (histogram[c] > level) {
      ++c;
      continue;
    }
    size_t s = c;
    while (c < end && histogram[c] <= level) ++c;
    if (c - s > best_length) {
      best_start = s;
      best_length = c - s;
    }
  }
  if (best_length > kNarrowAbove) {
    start = best_start;
    end = best_start + best_length;
  }
  if (static_cast<float>(end - start) < kMinGutterCells) return;

  size_t flank_from = start > kFlankCells ? start - kFlankCells : 0;
  uint32_t left_flank = largest(histogram.subspan(flank_from, start - flank_from));
  size_t flank_to = std::min(end + kFlankCells, n);
  uint32_t right_flank = largest(histogram.subspan(end, flank_to - end));
  uint32_t flank = std::min(left_flank, right_flank);
  uint32_t floor = smallest(histogram.subspan(start, end - start));
  auto needed = static_cast<uint32_t>(kMinFlankOfMedian * static_cast<float>(median));
  if (flank >= needed && flank >= kMinFlankOverFloor * floor) {
    result.emplace_back(static_cast<float>(start), static_cast<float>(end));
  }
}

std::vector<Gutter> page_gutters(const PageRaw& page, std::span<const Line> lines) {
  std::vector<Rect> boxes;
  add_boxes(page, lines, boxes);
  return gutters(boxes, page.width);
}

std::optional<Gutter> document_spine(std::span<const std::vector<Gutter>> page_gutters) {
  std::vector<Gutter> single;
  for (const auto& own : page_gutters) {
    if (own.size() == 1) single.push_back(own.front());
  }
  size_t k = single.size();
  if (k < kMinSpinePages) return std::nullopt;
  std::stable_sort(single.begin(), single.end(), [](const Gutter& a, const Gutter& b) {
    return total_less(centre(a), centre(b));
  });
  Gutter candidate = single[k / 2];
  size_t near = std::count_if(single.begin(), single.end(), [&](const Gutter& g) {
    return std::fabs(centre(g) - centre(candidate)) <= kSpineReach;
  });
  if (2 * near >= k) return candidate;
  return std::nullopt;
}

void search_bands(const PageRaw& page, std::span<const Line* const> lines, unsigned depth,
                  std::vector<Band>& bands, const Gutter& spine) {
  std::vector<Rect> boxes;
  for (const Line* line : lines) add_boxes(page, std::span(line, 1), boxes);
  std::vector<Gutter> kept;
  for (const Gutter& g : gutters(boxes, page.width)) {
    if (std::fabs(centre(g) - centre(spine)) <= kSpineReach) kept.push_back(g);
  }

  if (kept.empty() && depth <= kMaxCutDepth && lines.size() >= 2) {
    float lowest = lines[0]->bbox.y1;
    size_t cut = 0;
    float widest = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
      float gap = lines[i]->bbox.y0 - lowest;
      if (gap > widest) {
        cut = i;
        widest = gap;
      }
      lowest = std::fmax(lowest, lines[i]->bbox.y1);
    }
    if (cut > 0) {
      search_bands(page, lines.first(cut), depth + 1, bands, spine);
      search_bands(page, lines.subspan(cut), depth + 1, bands, spine);
      return;
    }
  }

  Band band{std::move(kept), kInfinity, -kInfinity};
  for (const Line* line : lines) {
    band.top = std::fmin(band.top, line->bbox.y0);
    band.bottom = std::fmax(band.bottom, line->bbox.y1);
  }
  bands.push_back(std::move(band));
}

std::vector<std::vector<Band>> document_bands(std::span<const PageRaw> pages,
                                              std::span<const std::vector<Line>> lines) {
  size_t count = std::min(pages.size(), lines.size());
  auto own = parallel_map_index(count, [&](size_t i) { return page_gutters(pages[i], lines[i]); });
  std::optional<Gutter> spine = document_spine(own);
  std::vector<std::vector<Band>> result(count);
  if (!spine) {
    for (size_t i = 0; i < count; ++i) {
      result[i].push_back(Band{std::move(own[i]), -kInfinity, kInfinity});
    }
    return result;
  }
  parallel_for_index(count, [&](size_t i) {
    result[i] = bands_with_spine(pages[i], lines[i], std::move(own[i]), *spine);
  });
  return result;
}

}  // namespace scrivane
