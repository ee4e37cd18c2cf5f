#include "scrivane/layout/stats.h"

#include <algorithm>
#include <cmath>

namespace scrivane {

namespace {

constexpr float kFallbackBodySize = 10.0f;
constexpr float kFallbackLeading = 1.2f;
// Body lines are those within this of the body size.
constexpr float kSameSize = 0.25f;
// Baseline distances outside this range (in body sizes) are column neighbours on one
// baseline, or the space between paragraphs, figures and sections, not leading.
constexpr float kMinLeading = 0.5f;
constexpr float kMaxLeading = 2.5f;

}  // namespace

Stats Stats::measure(std::span<const std::vector<Line>> pages) {
  SizeHistogram sizes;
  for (const auto& lines : pages) {
    for (const Line& line : lines) {
      if (!std::isfinite(line.size)) continue;
      sizes.add(line.size, static_cast<float>(line.placed.size()));
    }
  }
  float mode = sizes.mode().value_or(0.0f);
  Stats stats;
  stats.body_size = mode > 0 ? mode : kFallbackBodySize;
  stats.leading = measure_leading(pages, stats.body_size);
  return stats;
}

float measure_leading(std::span<const std::vector<Line>> pages, float body_size) {
  float lo = kMinLeading * body_size;
  float hi = kMaxLeading * body_size;
  std::vector<float> gaps;
  std::vector<float> baselines;
  for (const auto& lines : pages) {
    baselines.clear();
    for (const Line& line : lines) {
      if (std::fabs(line.size - body_size) < kSameSize) baselines.push_back(line.baseline);
    }
    if (baselines.size() < 2) continue;
    std::sort(baselines.begin(), baselines.end(), total_less);
    for (size_t i = 1; i < baselines.size(); ++i) {
      float gap = baselines[i] - baselines[i - 1];
      if (lo < gap && gap < hi) gaps.push_back(gap);
    }
  }
  if (gaps.empty()) return kFallbackLeading * body_size;
  auto middle = gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2);
  std::nth_element(gaps.begin(), middle, gaps.end(), total_less);
  return *middle;
}

}  // namespace scrivane
