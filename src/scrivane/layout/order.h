// Reading order of one page: a recursive cut of the line boxes into side-by-side groups
// (columns) and stacked groups (blocks), read left to right and top to bottom. It works from
// the line boxes alone and never fails; lines are referred to by index into the page's list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "scrivane/text/lines.h"

namespace scrivane::layout {

// Nesting bound of the cut: a page of pathological boxes (each split peeling off one line)
// would otherwise recurse once per line. Deeper groups are read in leaf order.
inline constexpr size_t kMaxCutDepth = 32;
// White space between columns must be wider than this many points.
inline constexpr float kColumnGapMin = 9.0f;
// A group needs this many lines before it is tried for columns.
inline constexpr size_t kColumnMinLines = 4;
// White space between stacked blocks must exceed this fraction of the typical line height.
inline constexpr float kBlockGapRatio = 0.15f;
// Every gap at least this fraction of the widest gap cuts too.
inline constexpr float kCutRatio = 0.85f;
// Typical line height of a group without any usable height.
inline constexpr float kDefaultHeight = 10.0f;

enum class Axis : uint8_t {
  X,  // groups side by side, edges x0 and x1
  Y,  // groups stacked, edges y0 and y1
};

using Groups = std::vector<std::vector<size_t>>;

// The page's lines in reading order (each line exactly once).
std::vector<Line> reading_order(std::vector<Line> lines);

// Appends the indices of one group, in reading order, to `order`.
void cut(std::span<const size_t> indices, const std::vector<Line>& lines,
         std::vector<size_t>& order, size_t depth);

// The groups separated by the widest white strip across `axis` when it is wider than
// `threshold`, first group leftmost or topmost; nullopt when there is no split.
std::optional<Groups> split_on_axis(std::span<const size_t> indices, const std::vector<Line>& lines,
                                    Axis axis, float threshold);

inline std::optional<Groups> split_vertically(std::span<const size_t> indices,
                                              const std::vector<Line>& lines, float threshold) {
  return split_on_axis(indices, lines, Axis::X, threshold);
}
inline std::optional<Groups> split_horizontally(std::span<const size_t> indices,
                                                const std::vector<Line>& lines, float threshold) {
  return split_on_axis(indices, lines, Axis::Y, threshold);
}

// The median of the lines' heights (the larger of font size and box height), or
// kDefaultHeight when no line has a positive one.
float typical_height(std::span<const size_t> indices, const std::vector<Line>& lines);

// Sorts by baseline, then left edge (stable; NaN last, -0 before 0).
void leaf_order(std::vector<size_t>& indices, const std::vector<Line>& lines);

}  // namespace scrivane::layout
