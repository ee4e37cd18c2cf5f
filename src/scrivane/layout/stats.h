// Document statistics: the body font size and the leading of body text, the units in which
// later stages measure distances. Measured once per document over the lines of all pages.
#pragma once

#include <span>
#include <vector>

#include "scrivane/text/lines.h"

namespace scrivane {

struct Stats {
  float body_size = 10;  // always > 0
  float leading = 12;    // baseline to baseline; > 0

  // Never fails: a document without usable lines gets body size 10 and leading 12.
  static Stats measure(std::span<const std::vector<Line>> pages);
};

// The median distance between neighbouring baselines of body lines (size within 0.25 of
// `body_size`) on the same page, ignoring distances outside (0.5, 2.5) × body size;
// 1.2 × body size when there are none.
float measure_leading(std::span<const std::vector<Line>> pages, float body_size);

}  // namespace scrivane
