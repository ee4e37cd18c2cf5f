// Glyph outlines: the shape of one glyph as path commands in glyph units with 1000 units per em
// (y up, as in the font), built on demand from a font's embedded TrueType, OpenType or bare CFF
// program, or from a system substitute (font/system) for Type 1 programs and fonts without a
// program. Type 3 fonts have no outlines. Nothing fails: an unusable program, glyph or
// substitute gives no outline, which Font::outline caches like any other answer.
//
// Font files are read with FreeType. One FT_Library serves the process. FreeType requires that
// faces of a shared library be created and destroyed one at a time, so both happen under one
// mutex; loading and decomposing glyphs of distinct faces needs no lock. A face itself must not
// be used by two threads at once, so each font keeps a small pool of parsed faces of its
// program (and another of its substitute): a thread borrows a face for the length of one
// outline and gives it back. A file is thus parsed about once per thread that outlines the font
// at the same moment, never once per glyph, and no lock is held while a glyph is outlined.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace kestrum {

struct Font;
struct CodeItem;

// One path command. The page interpreter uses the same type for the segments of painted paths.
struct PathCmd {
  enum class Kind : uint8_t { MoveTo, LineTo, CurveTo, Close };

  Kind kind = Kind::Close;
  // CurveTo: control points (x1, y1) and (x2, y2), end point (x, y). MoveTo and LineTo use
  // (x, y) only; Close uses nothing. Unused coordinates are 0.
  float x1 = 0, y1 = 0, x2 = 0, y2 = 0, x = 0, y = 0;

  static PathCmd move_to(float x, float y) { return {Kind::MoveTo, 0, 0, 0, 0, x, y}; }
  static PathCmd line_to(float x, float y) { return {Kind::LineTo, 0, 0, 0, 0, x, y}; }
  static PathCmd curve_to(float x1, float y1, float x2, float y2, float x, float y) {
    return {Kind::CurveTo, x1, y1, x2, y2, x, y};
  }
  static PathCmd close() { return {}; }
  bool operator==(const PathCmd&) const = default;
};

// A glyph's shape, shared immutable once built.
struct Outline {
  std::vector<PathCmd> commands;  // glyph units, 1000 per em, y up
  float width = 0;                // the code item's advance, thousandths of text space
  // The bounds of every point, control points included, kept so that a glyph box costs no walk
  // over the commands; only meaningful when has_points.
  bool has_points = false;
  float x0 = 0, y0 = 0, x1 = 0, y1 = 0;

  // Sets the bounds from the commands.
  void measure();
};

// Receives a glyph's outline from the font-file parser, segment by segment, and makes an
// Outline of it. Quadratic segments become the equivalent cubic ones.
class Sink {
 public:
  void move_to(float x, float y);
  void line_to(float x, float y);
  void quad_to(float x1, float y1, float x, float y);
  void cubic_to(float x1, float y1, float x2, float y2, float x, float y);
  void close();
  // Closes an open contour and multiplies every coordinate by `scale` (unless it is 1). The
  // sink is empty afterwards.
  Outline finish(float scale, float width);

  const std::vector<PathCmd>& commands() const { return commands_; }

 private:
  std::vector<PathCmd> commands_;
  float x_ = 0, y_ = 0;  // the current point
  bool open_ = false;    // a contour has been started and not yet closed
};

// The outline of the item's first character in the font's system substitute, chosen by the
// font's style on first use; null for Type 3 fonts, items without text, styles without a
// substitute and characters it lacks. Font::outline falls back to this; it does not cache.
std::shared_ptr<const Outline> substitute_outline(const Font& font, const CodeItem& item);

}  // namespace kestrum
