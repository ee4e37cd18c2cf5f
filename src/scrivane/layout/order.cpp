#include "scrivane/layout/order.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace scrivane::layout {

namespace {

float lower_edge(const Line& line, Axis axis) {
  return axis == Axis::X ? line.bbox.x0 : line.bbox.y0;
}

float upper_edge(const Line& line, Axis axis) {
  return axis == Axis::X ? line.bbox.x1 : line.bbox.y1;
}

}  // namespace

void leaf_order(std::vector<size_t>& indices, const std::vector<Line>& lines) {
  std::stable_sort(indices.begin(), indices.end(), [&](size_t a, size_t b) {
    const Line& la = lines[a];
    const Line& lb = lines[b];
    if (total_order_key(la.baseline) != total_order_key(lb.baseline))
      return total_less(la.baseline, lb.baseline);
    return total_less(la.bbox.x0, lb.bbox.x0);
  });
}

std::optional<Groups> split_on_axis(std::span<const size_t> indices, const std::vector<Line>& lines,
                                    Axis axis, float threshold) {
  if (indices.size() < 2) return std::nullopt;
  std::vector<size_t> sorted(indices.begin(), indices.end());
  std::stable_sort(sorted.begin(), sorted.end(), [&](size_t a, size_t b) {
    return total_less(lower_edge(lines[a], axis), lower_edge(lines[b], axis));
  });

  constexpr float kInf = std::numeric_limits<float>::infinity();
  std::vector<float> gaps(sorted.size());
  gaps[0] = -kInf;
  float reach = -kInf;
  float widest = -kInf;
  bool any_finite = false;
  for (size_t k = 0; k < sorted.size(); ++k) {
    const Line& line = lines[sorted[k]];
    if (k > 0) {
      float gap = lower_edge(line, axis) - reach;
      gaps[k] = gap;
      if (std::isfinite(gap) && (!any_finite || gap > widest)) {
        widest = gap;
        any_finite = true;
      }
    }
    // A NaN edge is no evidence of where the group ends.
    float hi = upper_edge(line, axis);
    if (!std::isnan(hi)) reach = std::max(reach, hi);
  }
  if (!any_finite || !(widest > threshold)) return std::nullopt;

  float cut_at = kCutRatio * widest;
  Groups groups;
  groups.emplace_back();
  for (size_t k = 0; k < sorted.size(); ++k) {
    if (k > 0 && gaps[k] >= cut_at) groups.emplace_back();
    groups.back().push_back(sorted[k]);
  }
  if (groups.size() < 2) return std::nullopt;
  return groups;
}

float typical_height(std::span<const size_t> indices, const std::vector<Line>& lines) {
  std::vector<float> heights;
  heights.reserve(indices.size());
  for (size_t i : indices) {
    const Line& line = lines[i];
    // fmax ignores a NaN on either side: a NaN size leaves the box height alone.
    float h = std::fmax(line.size, line.bbox.height());
    if (h > 0) heights.push_back(h);
  }
  if (heights.empty()) return kDefaultHeight;
  std::sort(heights.begin(), heights.end());
  return heights[heights.size() / 2];
}

void cut(std::span<const size_t> indices, const std::vector<Line>& lines,
         std::vector<size_t>& order, size_t depth) {
  auto append_leaf = [&] {
    std::vector<size_t> leaf(indices.begin(), indices.end());
    leaf_order(leaf, lines);
    order.insert(order.end(), leaf.begin(), leaf.end());
  };
  if (depth >= kMaxCutDepth || indices.size() < 2) {
    append_leaf();
    return;
  }
  if (indices.size() >= kColumnMinLines) {
    if (auto columns = split_vertically(indices, lines, kColumnGapMin)) {
      for (const auto& group : *columns) cut(group, lines, order, depth + 1);
      return;
    }
  }
  float h = typical_height(indices, lines);
  if (auto blocks = split_horizontally(indices, lines, kBlockGapRatio * h)) {
    for (const auto& group : *blocks) cut(group, lines, order, depth + 1);
    return;
  }
  append_leaf();
}

std::vector<Line> reading_order(std::vector<Line> lines) {
  std::vector<size_t> all(lines.size());
  for (size_t i = 0; i < all.size(); ++i) all[i] = i;
  std::vector<size_t> order;
  order.reserve(lines.size());
  cut(all, lines, order, 0);

  std::vector<Line> out;
  out.reserve(lines.size());
  std::vector<bool> taken(lines.size(), false);
  for (size_t i : order) {
    if (i >= lines.size() || taken[i]) continue;
    taken[i] = true;
    out.push_back(std::move(lines[i]));
  }
  return out;
}

}  // namespace scrivane::layout
