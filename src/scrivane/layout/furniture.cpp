#include "scrivane/layout/furniture.h"

#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "scrivane/text/unicode.h"

namespace scrivane::layout {

namespace {

// ceil(count × share), in single precision like every other layout threshold.
size_t share_of(size_t count) {
  return static_cast<size_t>(std::ceil(static_cast<float>(count) * kRecurrence));
}

size_t parity_threshold(size_t pages) {
  return std::max(share_of(pages), kParityMinPages);
}

Parity parity_of(size_t page) {
  return page % 2 == 0 ? Parity::Even : Parity::Odd;
}

// Appends the full lowercase mapping of one scalar value. The mapping is taken for the
// character alone in the root locale, so it does not depend on its neighbours (as a sigma
// does in to_lower, which maps whole strings) or on the process locale.
void append_lower(std::string& out, UChar32 c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c));
    return;
  }
  UChar src[2];
  int32_t src_len = 0;
  U16_APPEND_UNSAFE(src, src_len, c);
  // Full lowercase mappings are at most three UTF-16 units long.
  UChar dest[8];
  UErrorCode status = U_ZERO_ERROR;
  int32_t len = u_strToLower(dest, 8, src, src_len, "", &status);
  if (U_FAILURE(status) || len > 8) {
    append_utf8(out, static_cast<char32_t>(c));
    return;
  }
  for (int32_t i = 0; i < len;) {
    UChar32 lower;
    U16_NEXT(dest, i, len, lower);
    append_utf8(out, static_cast<char32_t>(lower));
  }
}

}  // namespace

std::optional<Edge> edge_of(const Line& line, float page_height) {
  if (!(page_height > 0)) return std::nullopt;
  float relative = line.baseline / page_height;
  if (relative <= kTopBand) return Edge::Top;
  if (relative >= kBottomBand) return Edge::Bottom;
  return std::nullopt;
}

std::string signature(const Line& line) {
  const std::string text = line.text();
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const size_t length = text.size();
  std::string out;
  out.reserve(length);
  bool in_number = false;
  for (size_t i = 0; i < length;) {
    // Unlike next_scalar, this reads an ill-formed sequence as one U+FFFD over its maximal
    // subpart, as utf8_lossy replaces it: a broken character is one character of the line.
    UChar32 c;
    U8_NEXT_OR_FFFD(bytes, i, length, c);
    if (c >= '0' && c <= '9') {
      if (!in_number) out.push_back('#');
      in_number = true;
      continue;
    }
    in_number = false;
    if (is_white_space(static_cast<char32_t>(c))) continue;
    append_lower(out, c);
  }
  return out;
}

size_t pages_of_parity(size_t page_count, Parity parity) {
  return parity == Parity::Even ? (page_count + 1) / 2 : page_count / 2;
}

Tallies tally(const std::vector<std::vector<Line>>& pages, std::span<const float> heights) {
  Tallies tallies;
  const size_t n = std::min(pages.size(), heights.size());
  std::vector<std::pair<Edge, std::string>> seen;
  std::vector<std::string> signatures;
  for (size_t i = 0; i < n; ++i) {
    if (!(heights[i] > 0)) continue;
    seen.clear();
    for (const Line& line : pages[i]) {
      if (auto edge = edge_of(line, heights[i])) seen.emplace_back(*edge, signature(line));
    }
    std::sort(seen.begin(), seen.end());
    seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
    signatures.clear();
    for (const auto& [edge, sig] : seen) {
      ++tallies.band(edge, parity_of(i))[sig];
      signatures.push_back(sig);
    }
    // A signature in both bands of one page still counts once for the page.
    std::sort(signatures.begin(), signatures.end());
    signatures.erase(std::unique(signatures.begin(), signatures.end()), signatures.end());
    for (const std::string& sig : signatures) ++tallies.global[sig];
  }
  return tallies;
}

std::optional<std::vector<std::string>> alternates(const Tallies& tallies, Edge edge, Parity parity,
                                                   size_t page_count) {
  const size_t pages = pages_of_parity(page_count, parity);
  const Tally& band = tallies.band(edge, parity);
  if (pages <= kParityMinPages || band.empty()) return std::nullopt;
  const size_t threshold = parity_threshold(pages);
  std::vector<std::string> out;
  for (const auto& [sig, count] : band) {
    if (count >= threshold) out.push_back(sig);
  }
  std::sort(out.begin(), out.end());
  return out;
}

size_t strip(std::vector<std::vector<Line>>& pages, std::span<const float> heights) {
  const size_t page_count = pages.size();
  if (page_count < kFurnitureMinPages) return 0;
  const size_t n = std::min(page_count, heights.size());
  const Tallies tallies = tally(pages, heights);
  const size_t global_threshold = share_of(page_count);

  std::array<bool, 2> alternating{};
  for (Edge edge : {Edge::Top, Edge::Bottom}) {
    auto even = alternates(tallies, edge, Parity::Even, page_count);
    auto odd = alternates(tallies, edge, Parity::Odd, page_count);
    if (!even || !odd || even->empty() || odd->empty()) continue;
    auto missing_from = [](const std::vector<std::string>& some,
                           const std::vector<std::string>& other) {
      return std::any_of(some.begin(), some.end(), [&](const std::string& sig) {
        return !std::binary_search(other.begin(), other.end(), sig);
      });
    };
    alternating[static_cast<size_t>(edge)] = missing_from(*even, *odd) && missing_from(*odd, *even);
  }

  size_t removed = 0;
  for (size_t i = 0; i < n; ++i) {
    const float height = heights[i];
    const Parity parity = parity_of(i);
    const size_t parity_min = parity_threshold(pages_of_parity(page_count, parity));
    auto is_furniture = [&](const Line& line) {
      auto edge = edge_of(line, height);
      if (!edge) return false;
      const std::string sig = signature(line);
      auto global = tallies.global.find(sig);
      if (global != tallies.global.end() && global->second >= global_threshold) return true;
      if (!alternating[static_cast<size_t>(*edge)]) return false;
      const Tally& band = tallies.band(*edge, parity);
      auto banded = band.find(sig);
      return banded != band.end() && banded->second >= parity_min;
    };
    auto& lines = pages[i];
    auto kept = std::remove_if(lines.begin(), lines.end(), is_furniture);
    removed += static_cast<size_t>(lines.end() - kept);
    lines.erase(kept, lines.end());
  }
  return removed;
}

}  // namespace scrivane::layout
