// Running headers and footers: lines in the top or bottom band of a page whose normalised
// text (signature) recurs on many pages, or on many pages of one parity when the heads
// alternate between even and odd pages. Works on the whole document at once; never fails.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "scrivane/text/lines.h"

namespace scrivane::layout {

// Documents shorter than this have too few pages to tell furniture from coincidence.
inline constexpr size_t kFurnitureMinPages = 4;
// Baseline over page height at or below which a line is in the top band.
inline constexpr float kTopBand = 0.12f;
// Baseline over page height at or above which a line is in the bottom band.
inline constexpr float kBottomBand = 0.88f;
// Share of the pages (of all, or of one parity) a signature must reach.
inline constexpr float kRecurrence = 0.5f;
// A parity-rule signature must recur on at least this many pages of its parity.
inline constexpr size_t kParityMinPages = 2;

enum class Edge : uint8_t { Top, Bottom };
enum class Parity : uint8_t { Even, Odd };

// The band of a line on a page of this height, or nullopt for body text (and on pages
// without a positive height).
std::optional<Edge> edge_of(const Line& line, float page_height);

// The line's text without whitespace, each run of ASCII digits as one "#", all else in its
// full lowercase mapping: "Page 12 of 30" gives "page#of#".
std::string signature(const Line& line);

using Tally = std::unordered_map<std::string, size_t>;

// Signature counts, each signature counted at most once per page.
struct Tallies {
  Tally global;                 // pages with the signature in either band
  std::array<Tally, 4> banded;  // pages of one parity with the signature in one band

  Tally& band(Edge edge, Parity parity) { return banded[slot(edge, parity)]; }
  const Tally& band(Edge edge, Parity parity) const { return banded[slot(edge, parity)]; }

 private:
  static size_t slot(Edge edge, Parity parity) {
    return static_cast<size_t>(edge) * 2 + static_cast<size_t>(parity);
  }
};

// Counts the band signatures of the first min(pages, heights) pages.
Tallies tally(const std::vector<std::vector<Line>>& pages, std::span<const float> heights);

// Pages of a parity among `page_count` pages (index 0 is even).
size_t pages_of_parity(size_t page_count, Parity parity);

// The signatures that recur on the edge among pages of one parity (sorted), or nullopt when
// that parity has two pages or fewer or no signature on the edge at all.
std::optional<std::vector<std::string>> alternates(const Tallies& tallies, Edge edge, Parity parity,
                                                   size_t page_count);

// Removes the running headers and footers from the first min(pages, heights) pages, keeping
// the order of the rest; returns the number of lines removed.
size_t strip(std::vector<std::vector<Line>>& pages, std::span<const float> heights);

}  // namespace scrivane::layout
