#include "scrivane/text/lines.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "scrivane/text/unicode.h"

namespace scrivane {

namespace {

constexpr size_t kNone = std::numeric_limits<size_t>::max();

// Glyphs more than this far from horizontal (rotated labels, vertical axis titles) are not
// part of any line.
constexpr float kRadiansToDegrees = 57.29578f;
constexpr float kMaxTiltDegrees = 5.0f;

// Baseline grouping: a glyph may join one of the most recently started lines when its origin
// lies within a fraction of the smaller font size of the line's key. Looking back a fixed
// number of lines keeps grouping linear in the glyph count.
constexpr size_t kLookBackLines = 8;
constexpr float kBaselineTolerance = 0.28f;
constexpr float kMinBaselineTolerance = 0.5f;

// Two font sizes closer than this count as the same size.
constexpr float kSameSize = 0.25f;
// A glyph's weight in the size histogram is its width, but never less than this, so that
// zero-width glyphs still count.
constexpr float kMinGlyphWeight = 0.1f;

// Scripts: a line at most this fraction of another's size, overlapping it vertically by at
// least a quarter of its own height and horizontally near it, belongs to it. Lines of many
// glyphs must also sit close to its baseline, so that a small-print paragraph next to body
// text is not swallowed.
constexpr float kScriptMaxSizeRatio = 0.85f;
constexpr float kScriptMinOverlap = 0.25f;
constexpr float kScriptMaxDistance = 1.5f;
constexpr float kScriptMaxBaselineShift = 0.6f;
constexpr size_t kScriptFreeGlyphCount = 20;

// Word gaps, in units of the smaller font size of the two glyphs.
constexpr float kDefaultGapThreshold = 0.19f;
constexpr float kMinGapThreshold = 0.1f;
constexpr size_t kMinFiniteGaps = 4;
constexpr size_t kMinGaps = 3;
// The wide gaps must stand out this clearly from the narrow ones to move the threshold.
constexpr float kGapSeparation = 2.5f;

// Drop capitals, in units of the line's dominant size.
constexpr float kDropCapMinRatio = 1.8f;
constexpr float kDropCapMaxRatio = 6.0f;
constexpr float kDropCapOverhang = 0.25f;
constexpr float kDropCapReach = 2.0f;
constexpr float kDropCapSizeMatch = 0.5f;

// Splitting at gutters: a gap this many font sizes wide over a gutter's middle splits a line
// of more than kMinRealWords real words (a title of short words is left alone).
constexpr float kWideGutterGap = 2.0f;
constexpr size_t kMinRealWords = 3;
constexpr size_t kMinRealWordLength = 3;

// Sorting lists no longer than this by insertion is cheaper than a merge sort.
constexpr size_t kInsertionSortMax = 20;

// Above this many buckets the size histogram keeps an index by size.
constexpr size_t kLinearBuckets = 32;

template <class T, class Less>
void stable_sort_by(std::vector<T>& items, Less less) {
  if (std::is_sorted(items.begin(), items.end(), less)) return;
  if (items.size() <= kInsertionSortMax) {
    for (size_t i = 1; i < items.size(); ++i) {
      T item = std::move(items[i]);
      size_t j = i;
      for (; j > 0 && less(item, items[j - 1]); --j) items[j] = std::move(items[j - 1]);
      items[j] = std::move(item);
    }
    return;
  }
  std::stable_sort(items.begin(), items.end(), less);
}

bool is_upright(float angle) {
  if (!std::isfinite(angle)) return false;
  float degrees = std::fmod(angle * kRadiansToDegrees, 360.0f);
  if (degrees < 0) degrees += 360.0f;
  return std::fmin(degrees, 360.0f - degrees) <= kMaxTiltDegrees;
}

bool is_space(const Glyph& glyph) {
  return glyph.text.kind == GlyphTextKind::Char && glyph.text.value <= 0x10FFFF &&
         is_white_space(glyph.text.value);
}

bool is_capital(const Glyph& glyph) {
  return glyph.text.kind == GlyphTextKind::Char && glyph.text.value <= 0x10FFFF &&
         is_uppercase(glyph.text.value);
}

// Working lists reused across the lines of one call.
struct Scratch {
  SizeHistogram sizes;
  std::vector<float> values;
  std::vector<float> gaps;
  std::vector<uint8_t> boundary;
  std::string text;
  std::string glyph_text;
};

void recompute_with(const PageRaw& page, Line& line, Scratch& scratch) {
  if (line.placed.empty()) {
    line.bbox = {};
    line.size = 0;
    line.baseline = 0;
    line.bold = line.italic = false;
    return;
  }
  const auto& glyphs = page.glyphs;
  Rect box = glyphs[line.placed.front().glyph].bbox;
  scratch.sizes.clear();
  size_t bold = 0, italic = 0;
  for (const Placed& p : line.placed) {
    const Glyph& g = glyphs[p.glyph];
    box = unite(box, g.bbox);
    if (g.flags & kFlagBold) ++bold;
    if (g.flags & kFlagItalic) ++italic;
    if (!std::isfinite(g.size)) continue;
    float weight = std::fmax(g.bbox.width(), kMinGlyphWeight);
    if (std::isinf(weight)) continue;
    scratch.sizes.add(g.size, weight);
  }
  line.bbox = box;
  line.size = scratch.sizes.mode().value_or(0.0f);

  auto& ys = scratch.values;
  ys.clear();
  for (const Placed& p : line.placed) {
    const Glyph& g = glyphs[p.glyph];
    if (std::fabs(g.size - line.size) < kSameSize) ys.push_back(g.origin.y);
  }
  if (ys.empty()) {
    for (const Placed& p : line.placed) ys.push_back(glyphs[p.glyph].origin.y);
  }
  auto middle = ys.begin() + static_cast<std::ptrdiff_t>(ys.size() / 2);
  std::nth_element(ys.begin(), middle, ys.end(), total_less);
  line.baseline = *middle;

  size_t count = std::max<size_t>(line.placed.size(), 1);
  line.bold = 2 * bold > count;
  line.italic = 2 * italic > count;
}

// The word-gap threshold of one line: the default unless the gaps fall clearly into narrow
// and wide ones, in which case it lies between the two groups.
float gap_threshold(std::vector<float>& finite) {
  if (finite.size() < kMinFiniteGaps) return kDefaultGapThreshold;
  std::sort(finite.begin(), finite.end());
  size_t m = finite.size();
  double total = 0;
  for (float g : finite) total += g;
  double below = 0, best_score = -1;
  size_t best = 0;
  double best_low = 0, best_high = 0;
  for (size_t l = 1; l < m; ++l) {
    below += finite[l - 1];
    double low = below / static_cast<double>(l);
    double high = (total - below) / static_cast<double>(m - l);
    double score =
        static_cast<double>(l) * static_cast<double>(m - l) * (low - high) * (low - high);
    if (score > best_score) {
      best_score = score;
      best = l;
      best_low = low;
      best_high = high;
    }
  }
  auto low = static_cast<float>(best_low);
  auto high = static_cast<float>(best_high);
  if (finite[best] >= kMinGapThreshold && std::fabs(low) * kGapSeparation <= high) {
    return std::clamp((finite[best - 1] + finite[best]) / 2, kMinGapThreshold,
                      kDefaultGapThreshold);
  }
  return kDefaultGapThreshold;
}

void segment_words_with(const PageRaw& page, Line& line, Scratch& scratch) {
  line.words.clear();
  size_t n = line.placed.size();
  if (n == 0) return;
  const auto& glyphs = page.glyphs;
  auto& boundary = scratch.boundary;
  boundary.assign(n, 0);

  bool spaced = std::any_of(line.placed.begin(), line.placed.end(),
                            [](const Placed& p) { return p.space_before; });
  if (spaced) {
    for (size_t i = 0; i < n; ++i) boundary[i] = line.placed[i].space_before;
  } else {
    auto& gaps = scratch.gaps;
    auto& finite = scratch.values;
    gaps.clear();
    finite.clear();
    for (size_t i = 1; i < n; ++i) {
      const Glyph& a = glyphs[line.placed[i - 1].glyph];
      const Glyph& b = glyphs[line.placed[i].glyph];
      float gap = (b.bbox.x0 - a.bbox.x1) / std::fmax(std::fmin(a.size, b.size), 1.0f);
      gaps.push_back(gap);
      if (std::isfinite(gap)) finite.push_back(gap);
    }
    float threshold = gaps.size() >= kMinGaps ? gap_threshold(finite) : kDefaultGapThreshold;
    for (size_t i = 1; i < n; ++i) boundary[i] = gaps[i - 1] > threshold;
  }

  std::string& text = scratch.text;
  text.clear();
  size_t start = 0;
  auto close = [&](size_t end) {
    if (end > start && !text.empty()) {
      Rect box = glyphs[line.placed[start].glyph].bbox;
      for (size_t i = start + 1; i < end; ++i) box = unite(box, glyphs[line.placed[i].glyph].bbox);
      line.words.push_back(Word{text, box, start, end});
    }
    text.clear();
    start = end;
  };
  for (size_t i = 0; i < n; ++i) {
    if (boundary[i]) close(i);
    text += page.text_of(glyphs[line.placed[i].glyph], scratch.glyph_text);
  }
  close(n);
}

// Groups the upright glyphs by baseline into lines, in order of their first glyph.
std::vector<Line> group_by_baseline(const PageRaw& page) {
  struct Candidate {
    int32_t y, x;
    size_t glyph;
    auto operator<=>(const Candidate&) const = default;
  };
  std::vector<Candidate> candidates;
  candidates.reserve(page.glyphs.size());
  for (size_t i = 0; i < page.glyphs.size(); ++i) {
    const Glyph& g = page.glyphs[i];
    if (is_upright(g.angle)) {
      candidates.push_back({total_order_key(g.origin.y), total_order_key(g.origin.x), i});
    }
  }
  // The glyph index as last key makes the sort stable.
  std::sort(candidates.begin(), candidates.end());

  struct Key {
    float y, size;
  };
  std::vector<Key> keys;
  std::vector<Line> lines;
  for (const Candidate& c : candidates) {
    const Glyph& g = page.glyphs[c.glyph];
    size_t best = kNone;
    float best_distance = 0;
    size_t oldest = keys.size() > kLookBackLines ? keys.size() - kLookBackLines : 0;
    for (size_t k = keys.size(); k-- > oldest;) {
      float distance = std::fabs(keys[k].y - g.origin.y);
      float tolerance =
          std::fmax(kMinBaselineTolerance, kBaselineTolerance * std::fmin(keys[k].size, g.size));
      if (!(distance <= tolerance)) continue;
      if (best == kNone || distance < best_distance) {
        best = k;
        best_distance = distance;
      }
    }
    if (best == kNone) {
      best = keys.size();
      keys.push_back({g.origin.y, g.size});
      lines.emplace_back();
    }
    lines[best].placed.push_back(Placed{c.glyph, 0, false});
  }
  return lines;
}

bool finite_rect(const Rect& r) {
  return std::isfinite(r.x0) && std::isfinite(r.y0) && std::isfinite(r.x1) && std::isfinite(r.y1);
}

// Moves every smaller line that sits on or just off a larger line into it as super- or
// subscripts. Candidates are looked up by vertical position, so that a page of thousands
// of single-glyph lines stays near n log n.
void attach_scripts(const PageRaw& page, std::vector<Line>& lines) {
  size_t n = lines.size();
  if (n < 2) return;
  std::vector<size_t> by_size(n);
  for (size_t i = 0; i < n; ++i) by_size[i] = i;
  std::stable_sort(by_size.begin(), by_size.end(),
                   [&](size_t a, size_t b) { return total_less(lines[b].size, lines[a].size); });

  std::vector<size_t> by_top;  // lines with finite boxes, by top edge
  std::vector<size_t> loose;   // lines with a non-finite edge, always considered
  float max_height = 0;
  for (size_t i = 0; i < n; ++i) {
    if (finite_rect(lines[i].bbox)) {
      by_top.push_back(i);
      max_height = std::max(max_height, lines[i].bbox.height());
    } else {
      loose.push_back(i);
    }
  }
  std::stable_sort(by_top.begin(), by_top.end(),
                   [&](size_t a, size_t b) { return lines[a].bbox.y0 < lines[b].bbox.y0; });

  std::vector<uint8_t> absorbed(n, 0);
  std::vector<std::pair<size_t, size_t>> pairs;
  std::vector<size_t> candidates;
  for (size_t s : by_size) {
    const Line& small = lines[s];
    float h = small.bbox.height();
    if (absorbed[s] || !(h > 0)) continue;
    float overlap_needed = kScriptMinOverlap * h;

    candidates.clear();
    if (finite_rect(small.bbox)) {
      // A partner's top lies in [y0 + overlap - tallest line, y1 - overlap]; the slack only
      // widens the window, the exact test below decides.
      float slack =
          1.0f + 1e-4f * (std::fabs(small.bbox.y0) + std::fabs(small.bbox.y1) + max_height);
      float lo = small.bbox.y0 + overlap_needed - max_height - slack;
      float hi = small.bbox.y1 - overlap_needed + slack;
      auto first = std::lower_bound(by_top.begin(), by_top.end(), lo,
                                    [&](size_t i, float v) { return lines[i].bbox.y0 < v; });
      for (auto it = first; it != by_top.end() && lines[*it].bbox.y0 <= hi; ++it) {
        candidates.push_back(*it);
      }
      candidates.insert(candidates.end(), loose.begin(), loose.end());
      std::sort(candidates.begin(), candidates.end());
    } else {
      for (size_t i = 0; i < n; ++i) candidates.push_back(i);
    }

    size_t best = kNone;
    float best_distance = 0;
    for (size_t p : candidates) {
      const Line& big = lines[p];
      if (p == s || absorbed[p] || big.placed.empty()) continue;
      if (!(small.size <= kScriptMaxSizeRatio * big.size)) continue;
      float vertical =
          std::fmin(small.bbox.y1, big.bbox.y1) - std::fmax(small.bbox.y0, big.bbox.y0);
      if (!(vertical >= overlap_needed)) continue;
      float horizontal =
          std::fmin(small.bbox.x1, big.bbox.x1) - std::fmax(small.bbox.x0, big.bbox.x0);
      if (!(horizontal > -kScriptMaxDistance * big.size)) continue;
      float distance = std::fabs(small.baseline - big.baseline);
      // A long run is a script only when it also lies over or under its partner: a whole line
      // of the neighbouring column beside a large heading is no script of it.
      if (small.placed.size() >= kScriptFreeGlyphCount &&
          (!(distance <= kScriptMaxBaselineShift * big.size) || !(horizontal > 0))) {
        continue;
      }
      if (best == kNone || distance < best_distance) {
        best = p;
        best_distance = distance;
      }
    }
    if (best != kNone) {
      absorbed[s] = 1;
      pairs.emplace_back(s, best);
    }
  }

  for (auto [s, p] : pairs) {
    Line& big = lines[p];
    for (Placed placed : lines[s].placed) {
      placed.script = page.glyphs[placed.glyph].origin.y < big.baseline ? 1 : 2;
      big.placed.push_back(placed);
    }
    lines[s].placed.clear();
  }
}

// Sorts a line's glyphs left to right and drops the space glyphs, remembering them as
// space_before on the glyph that follows.
void drop_spaces(const PageRaw& page, Line& line) {
  stable_sort_by(line.placed, [&](const Placed& a, const Placed& b) {
    return total_less(page.glyphs[a.glyph].origin.x, page.glyphs[b.glyph].origin.x);
  });
  size_t kept = 0;
  bool space = false;
  for (const Placed& p : line.placed) {
    if (is_space(page.glyphs[p.glyph])) {
      if (kept > 0) space = true;
      continue;
    }
    Placed q = p;
    q.space_before = space;
    space = false;
    line.placed[kept++] = q;
  }
  line.placed.resize(kept);
}

// The line that a large initial capital starting `line` belongs to, if it has one.
size_t drop_capital_partner(const PageRaw& page, const std::vector<Line>& lines, size_t index,
                            const std::vector<size_t>& by_baseline) {
  const Line& line = lines[index];
  float f = line.size;
  if (!(f > 0) || line.placed.size() < 2) return kNone;
  const Glyph& cap = page.glyphs[line.placed.front().glyph];
  if (!is_capital(cap)) return kNone;
  if (!(cap.size >= kDropCapMinRatio * f && cap.size <= kDropCapMaxRatio * f)) return kNone;
  float rest_left = std::numeric_limits<float>::infinity();
  for (size_t i = 1; i < line.placed.size(); ++i) {
    const Glyph& g = page.glyphs[line.placed[i].glyph];
    if (!(g.size <= kDropCapMinRatio * f)) return kNone;
    rest_left = std::fmin(rest_left, g.bbox.x0);
  }
  float right = cap.bbox.x1;
  float margin = right - kDropCapOverhang * f;
  if (!(rest_left >= margin)) return kNone;

  // by_baseline is stably sorted, so the first fit has the smallest baseline and, among
  // equal baselines, comes first in the list.
  auto first =
      std::lower_bound(by_baseline.begin(), by_baseline.end(), cap.bbox.y0,
                       [&](size_t i, float v) { return total_less(lines[i].baseline, v); });
  for (auto it = first; it != by_baseline.end(); ++it) {
    const Line& c = lines[*it];
    if (total_less(line.baseline, c.baseline)) break;
    if (*it == index || c.placed.empty()) continue;
    if (!(std::fabs(c.size - f) <= kDropCapSizeMatch)) continue;
    if (!(c.baseline > cap.bbox.y0 && c.baseline < line.baseline)) continue;
    if (!(c.bbox.x0 >= margin && c.bbox.x0 <= right + kDropCapReach * f)) continue;
    return *it;
  }
  return kNone;
}

// Puts a drop capital, grouped with the last line it spans, in front of the first one.
void reunite_drop_capitals(const PageRaw& page, std::vector<Line>& lines, Scratch& scratch) {
  std::vector<size_t> by_baseline(lines.size());
  for (size_t i = 0; i < lines.size(); ++i) by_baseline[i] = i;
  std::stable_sort(by_baseline.begin(), by_baseline.end(), [&](size_t a, size_t b) {
    return total_less(lines[a].baseline, lines[b].baseline);
  });
  std::vector<std::pair<size_t, size_t>> pairs;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (size_t c = drop_capital_partner(page, lines, i, by_baseline); c != kNone) {
      pairs.emplace_back(i, c);
    }
  }
  for (auto [l, c] : pairs) {
    Line& from = lines[l];
    Line& to = lines[c];
    if (from.placed.size() <= 1) continue;
    Placed cap{from.placed.front().glyph, 0, false};
    from.placed.erase(from.placed.begin());
    to.placed.insert(to.placed.begin(), cap);
    recompute_with(page, from, scratch);
    segment_words_with(page, from, scratch);
    recompute_with(page, to, scratch);
    segment_words_with(page, to, scratch);
  }
}

bool line_before(const Line& a, const Line& b) {
  if (total_order_key(a.baseline) != total_order_key(b.baseline)) {
    return total_less(a.baseline, b.baseline);
  }
  return total_less(a.bbox.x0, b.bbox.x0);
}

bool ascii_punctuation(unsigned char c) {
  return (c >= 33 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 96) ||
         (c >= 123 && c <= 126);
}

// A word of at least three letters once surrounding punctuation is trimmed.
bool is_real_word(std::string_view text) {
  while (!text.empty() && ascii_punctuation(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && ascii_punctuation(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  size_t letters = 0;
  for (size_t pos = 0; pos < text.size(); ++letters) {
    if (!is_alphabetic(next_scalar(text, pos))) return false;
  }
  return letters >= kMinRealWordLength;
}

float centre_x(const Rect& r) {
  return (r.x0 + r.x1) / 2;
}

}  // namespace

void SizeHistogram::clear() {
  buckets_.clear();
  index_.clear();
}

size_t SizeHistogram::find(float size) const {
  if (index_.empty()) {
    for (size_t i = 0; i < buckets_.size(); ++i) {
      if (std::fabs(buckets_[i].size - size) < kSameSize) return i;
    }
    return kNone;
  }
  // Bucket sizes are pairwise at least kSameSize apart, so only a couple lie in the window.
  size_t best = kNone;
  for (auto it = index_.lower_bound(size - 2 * kSameSize);
       it != index_.end() && it->first <= size + 2 * kSameSize; ++it) {
    if (std::fabs(it->first - size) < kSameSize) best = std::min(best, it->second);
  }
  return best;
}

void SizeHistogram::add(float size, float weight) {
  if (!std::isfinite(size) || !std::isfinite(weight)) return;
  if (size_t i = find(size); i != kNone) {
    buckets_[i].weight += weight;
    return;
  }
  buckets_.push_back({size, weight});
  if (!index_.empty()) {
    index_.emplace(size, buckets_.size() - 1);
  } else if (buckets_.size() > kLinearBuckets) {
    for (size_t i = 0; i < buckets_.size(); ++i) index_.emplace(buckets_[i].size, i);
  }
}

std::optional<float> SizeHistogram::mode() const {
  if (buckets_.empty()) return std::nullopt;
  size_t best = 0;
  for (size_t i = 1; i < buckets_.size(); ++i) {
    if (!total_less(buckets_[i].weight, buckets_[best].weight)) best = i;
  }
  return buckets_[best].size;
}

std::string Line::text() const {
  std::string out;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i > 0) out.push_back(' ');
    out += words[i].text;
  }
  return out;
}

std::vector<Line> build_lines(const PageRaw& page) {
  std::vector<Line> lines = group_by_baseline(page);
  Scratch scratch;
  for (Line& line : lines) recompute_with(page, line, scratch);
  attach_scripts(page, lines);
  std::erase_if(lines, [](const Line& line) { return line.placed.empty(); });
  for (Line& line : lines) drop_spaces(page, line);
  // A line of nothing but spaces has no text and no meaningful box.
  std::erase_if(lines, [](const Line& line) { return line.placed.empty(); });
  for (Line& line : lines) {
    recompute_with(page, line, scratch);
    segment_words_with(page, line, scratch);
  }
  reunite_drop_capitals(page, lines, scratch);
  std::stable_sort(lines.begin(), lines.end(), line_before);
  return lines;
}

std::vector<Line> split_at_gutters(const PageRaw& page, std::vector<Line> lines,
                                   const std::vector<Gutter>& gutters) {
  if (gutters.empty()) return lines;
  Scratch scratch;
  std::vector<Line> out;
  out.reserve(lines.size());
  std::vector<size_t> cuts;
  for (Line& line : lines) {
    if (line.placed.empty()) continue;
    size_t real_words = std::count_if(line.words.begin(), line.words.end(),
                                      [](const Word& w) { return is_real_word(w.text); });
    bool prose = real_words > kMinRealWords;
    float wide_gap = kWideGutterGap * line.size;
    cuts.clear();
    for (size_t i = 1; i < line.placed.size(); ++i) {
      const Rect& a = page.glyphs[line.placed[i - 1].glyph].bbox;
      const Rect& b = page.glyphs[line.placed[i].glyph].bbox;
      float ca = centre_x(a), cb = centre_x(b);
      bool cut = std::any_of(gutters.begin(), gutters.end(),
                             [&](const Gutter& g) { return ca < g.first && cb > g.second; });
      if (!cut && prose && b.x0 - a.x1 >= wide_gap) {
        cut = std::any_of(gutters.begin(), gutters.end(), [&](const Gutter& g) {
          float middle = (g.first + g.second) / 2;
          return middle >= a.x1 && middle <= b.x0;
        });
      }
      if (cut) cuts.push_back(i);
    }
    if (cuts.empty()) {
      out.push_back(std::move(line));
      continue;
    }
    cuts.push_back(line.placed.size());
    size_t start = 0;
    for (size_t end : cuts) {
      Line piece;
      piece.placed.assign(line.placed.begin() + static_cast<std::ptrdiff_t>(start),
                          line.placed.begin() + static_cast<std::ptrdiff_t>(end));
      // The space before a piece's first glyph separated it from the other column, not
      // from a word of its own line.
      piece.placed.front().space_before = false;
      recompute_with(page, piece, scratch);
      segment_words_with(page, piece, scratch);
      out.push_back(std::move(piece));
      start = end;
    }
  }
  std::stable_sort(out.begin(), out.end(), line_before);
  return out;
}

void recompute(const PageRaw& page, Line& line) {
  Scratch scratch;
  recompute_with(page, line, scratch);
}

void segment_words(const PageRaw& page, Line& line) {
  Scratch scratch;
  segment_words_with(page, line, scratch);
}

}  // namespace scrivane
