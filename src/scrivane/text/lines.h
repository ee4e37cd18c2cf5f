// Text lines: the glyphs of one page grouped by baseline into lines of words, with scripts
// attached and drop capitals reunited. Glyphs are referred to by index into the page's list,
// so a Line means something only together with the PageRaw it was built from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "scrivane/ir.h"

namespace scrivane {

// One glyph of a line.
struct Placed {
  size_t glyph = 0;           // index into PageRaw::glyphs
  uint8_t script = 0;         // 0 on the line, 1 superscript, 2 subscript
  bool space_before = false;  // a space glyph stood between this glyph and the previous one
};

// A run of placed glyphs [start, end) of its line.
struct Word {
  std::string text;
  Rect bbox;
  size_t start = 0;
  size_t end = 0;
};

struct Line {
  std::vector<Placed> placed;
  std::vector<Word> words;
  Rect bbox;
  float baseline = 0;
  float size = 0;  // dominant font size
  bool bold = false;
  bool italic = false;

  // The words' texts joined with one blank.
  std::string text() const;
};

// Weighted histogram of font sizes, shared by a line's dominant size and the document's body
// size: a size joins the first bucket (in creation order) whose size differs from it by less
// than 0.25, else it opens a bucket of its own; the heaviest bucket wins, the later on a tie.
class SizeHistogram {
 public:
  void clear();
  // Non-finite sizes and weights are ignored.
  void add(float size, float weight);
  // The size of the heaviest bucket, or nullopt when nothing was added.
  std::optional<float> mode() const;

 private:
  struct Bucket {
    float size;
    float weight;
  };
  size_t find(float size) const;

  std::vector<Bucket> buckets_;
  // Size -> bucket, kept only once there are many buckets, so that a line or document of
  // thousands of distinct sizes stays n log n instead of quadratic.
  std::map<float, size_t> index_;
};

// A column gutter: the empty strip [x0, x1] between two columns.
using Gutter = std::pair<float, float>;

// The page's lines, ordered by baseline, then by left edge.
std::vector<Line> build_lines(const PageRaw& page);

// Splits lines that run across a gutter; returns the lines unchanged when there are none.
std::vector<Line> split_at_gutters(const PageRaw& page, std::vector<Line> lines,
                                   const std::vector<Gutter>& gutters);

// Derive bbox, size, baseline, bold and italic from `placed`. The placed glyph indices must
// be valid for `page` (as build_lines makes them), here and in every function below.
void recompute(const PageRaw& page, Line& line);
// Rebuild `words` from `placed`.
void segment_words(const PageRaw& page, Line& line);

}  // namespace scrivane
