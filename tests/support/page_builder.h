// Builds PageRaw records by hand for tests of the stages after the backend: runs of text at a
// position and size, single glyphs with explicit boxes, images and path items.
#pragma once

#include <cstdint>
#include <string_view>

#include "scrivane/ir.h"

namespace testing_support {

// A run of text laid out left to right from (x, baseline), one glyph per scalar value. Each
// glyph is `advance` wide (half the size when 0) and followed by `gap` extra points; its box
// reaches 0.75 × size above the baseline and 0.25 × size below. Blanks become space glyphs,
// or only advance when `spaces` is false.
struct Run {
  std::string_view text;
  float x = 0;
  float baseline = 0;
  float size = 10;
  float advance = 0;
  float gap = 0;
  uint16_t flags = 0;
  float angle = 0;
  bool spaces = true;
};

class PageBuilder {
 public:
  explicit PageBuilder(float width = 612, float height = 792);

  // Adds the run's glyphs and returns the x where a following glyph would start.
  float text(const Run& run);
  // One glyph with an explicit box, its origin at (box.x0, baseline).
  PageBuilder& glyph(char32_t c, scrivane::Rect box, float baseline, float size,
                     uint16_t flags = 0);
  PageBuilder& image(scrivane::Rect box);
  PageBuilder& path(scrivane::Rect box, scrivane::PathKind kind);

  scrivane::PageRaw& page() { return page_; }
  const scrivane::PageRaw& page() const { return page_; }

 private:
  scrivane::PageRaw page_;
};

}  // namespace testing_support
