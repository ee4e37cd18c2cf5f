// The interface through which the driver and the diagnostics obtain pages as page primitives
// and rasterised regions as PNG bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <vector>

#include "scrivane/error.h"
#include "scrivane/ir.h"

namespace scrivane {

class PageSource {
 public:
  virtual ~PageSource() = default;

  virtual size_t page_count() const = 0;
  // Page `index` (from 0) as primitives; interns its font names into `fonts`.
  virtual std::expected<PageRaw, Error> page(size_t index, FontTable& fonts) = 0;
  // The PNG bytes of `region` (page space) of page `index`, rendered at `dpi`.
  virtual std::expected<std::vector<uint8_t>, Error> render_region(size_t index, const Rect& region,
                                                                   float dpi) = 0;
};

}  // namespace scrivane
