// Page primitives: the records every stage after the backend reads. Geometry is in points,
// origin at the top-left of the page as displayed, y downward, rotation already applied.
// A PageRaw owns its lists; a glyph's FontId means something only with its DocRaw's FontTable,
// and an Expanded glyph text only with its own page's expansions.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "scrivane/json.h"

namespace scrivane {

struct Rect {
  float x0 = 0, y0 = 0, x1 = 0, y1 = 0;

  float width() const { return x1 - x0; }
  float height() const { return y1 - y0; }
  bool operator==(const Rect&) const = default;
};

// Key giving floats a total order for sorting: -0 before +0, every NaN after everything.
inline int32_t total_order_key(float f) {
  if (std::isnan(f)) return std::numeric_limits<int32_t>::max();
  auto bits = std::bit_cast<int32_t>(f);
  return bits < 0 ? bits ^ std::numeric_limits<int32_t>::max() : bits;
}
inline bool total_less(float a, float b) {
  return total_order_key(a) < total_order_key(b);
}

// The smallest box holding both; a NaN edge gives way to the other box's edge.
inline Rect unite(const Rect& a, const Rect& b) {
  return {std::fmin(a.x0, b.x0), std::fmin(a.y0, b.y0), std::fmax(a.x1, b.x1),
          std::fmax(a.y1, b.y1)};
}

struct Point {
  float x = 0, y = 0;
  bool operator==(const Point&) const = default;
};

// 0xAARRGGBB.
using Rgba = uint32_t;
// Packs colour components in [0, 1] (clamped, rounded) into an Rgba.
Rgba pack_rgba(float r, float g, float b, float a);

using FontId = uint32_t;

// Glyph style flags as stored in Glyph::flags.
inline constexpr uint16_t kFlagItalic = 1;
inline constexpr uint16_t kFlagSerif = 2;
inline constexpr uint16_t kFlagSymbolic = 8;
inline constexpr uint16_t kFlagFixedPitch = 16;
inline constexpr uint16_t kFlagBold = 256;

enum class GlyphTextKind : uint8_t { Char, Expanded };

// One Unicode scalar value (Char) or an index into the page's expansions (Expanded).
struct GlyphText {
  GlyphTextKind kind = GlyphTextKind::Char;
  uint32_t value = 0;

  static GlyphText character(char32_t c) { return {GlyphTextKind::Char, c}; }
  static GlyphText expanded(uint32_t index) { return {GlyphTextKind::Expanded, index}; }
  bool operator==(const GlyphText&) const = default;
};

struct Glyph {
  GlyphText text;
  Rect bbox;
  Point origin;
  FontId font = 0;
  float size = 0;
  float angle = 0;
  uint16_t flags = 0;
  Rgba color = 0;
  bool generated = false;
};

enum class PathKind : uint8_t { HorizontalRule, VerticalRule, Box, Other };

struct PathItem {
  Rect bbox;
  PathKind kind = PathKind::Other;
  float thickness = 0;
  Rgba color = 0;
  bool filled = false;
  bool stroked = false;
};

struct ImageItem {
  Rect bbox;
  size_t object_index = 0;
  uint32_t pixel_width = 0;
  uint32_t pixel_height = 0;
};

struct PageRaw {
  size_t index = 0;
  float width = 0;
  float height = 0;
  int32_t rotation = 0;
  std::vector<Glyph> glyphs;
  std::vector<PathItem> paths;
  std::vector<ImageItem> images;
  std::vector<std::string> expansions;

  // One scalar value becomes Char; anything else (including "") a new expansions entry.
  GlyphText add_expansion(std::string_view text);
  // The glyph's text as UTF-8 (an out-of-range expansion index reads as empty).
  std::string_view text_of(const Glyph& glyph, std::string& scratch) const;
  std::string text_of(const Glyph& glyph) const;
};

struct FontTable {
  std::vector<std::string> names;

  // The id of `name`, added at the end when new.
  FontId intern(std::string_view name);
  // The name of `id`, or "" when the table has no such id.
  std::string_view name(FontId id) const;

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, FontId, Hash, std::equal_to<>> index_;
};

struct DocRaw {
  FontTable fonts;
  std::vector<PageRaw> pages;
};

const char* path_kind_name(PathKind kind);

void write_json(JsonWriter& out, const Rect& rect);
void write_json(JsonWriter& out, const Glyph& glyph);
void write_json(JsonWriter& out, const PathItem& path);
void write_json(JsonWriter& out, const ImageItem& image);
void write_json(JsonWriter& out, const PageRaw& page);
void write_json(JsonWriter& out, const FontTable& fonts);
void write_json(JsonWriter& out, const DocRaw& doc);

// Appends the UTF-8 encoding of `c` (a surrogate or out-of-range value becomes U+FFFD).
void append_utf8(std::string& out, char32_t c);

// `bytes` as valid UTF-8: each maximal invalid sequence becomes U+FFFD.
std::string utf8_lossy(std::string_view bytes);

}  // namespace scrivane
