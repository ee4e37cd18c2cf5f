// Builds small TrueType and CFF font programs for tests, so that a fixture states its glyphs,
// character maps, names and matrices next to the assertion that reads them. The programs are
// minimal but well formed: every table a font-file parser needs, nothing else.
//
//   std::string ttf = TrueTypeBuilder()
//                         .units_per_em(2048)
//                         .glyph({{{{0, 0}, {1024, 0}, {1024, 2048}}}})  // glyph 0
//                         .cmap({3, 1, {{'a', 0}}})
//                         .build();
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

struct TtPoint {
  int16_t x = 0;
  int16_t y = 0;
  bool on = true;  // false for a quadratic control point
};

struct TtGlyph {
  std::vector<std::vector<TtPoint>> contours;  // none for a glyph without outline, e.g. a space
  uint16_t advance = 500;
  std::string name = "";  // written to the post table when it has one; "" for none
};

// One character-map subtable: format 0 for platform 1, format 4 for every other platform.
struct CmapSubtable {
  uint16_t platform = 3;
  uint16_t encoding = 1;
  std::vector<std::pair<uint32_t, uint16_t>> map;  // code -> glyph id
};

class TrueTypeBuilder {
 public:
  TrueTypeBuilder& units_per_em(uint16_t units);
  // Glyph ids follow the order of the calls, starting at 0.
  TrueTypeBuilder& glyph(TtGlyph glyph);
  // Subtables are written in the order of the calls.
  TrueTypeBuilder& cmap(CmapSubtable subtable);
  // A format 2 post table with the glyph names (absent by default).
  TrueTypeBuilder& post_table();
  std::string build() const;

 private:
  uint16_t units_per_em_ = 1000;
  std::vector<TtGlyph> glyphs_;
  std::vector<CmapSubtable> cmaps_;
  bool post_ = false;
};

// A glyph of a CFF program: one closed polygon drawn with rmoveto and rlineto (no points for a
// glyph without outline).
struct CffGlyph {
  std::string name;  // name-keyed programs; single letters and "space" take standard strings
  uint16_t cid = 0;  // CID-keyed programs
  std::vector<std::pair<int, int>> points;
};

// A bare CFF program (version 1), name-keyed or CID-keyed. Glyph 0 is the first glyph added.
class CffBuilder {
 public:
  // The Top DICT's FontMatrix, written as the given decimal texts (e.g. "0.0005"); absent by
  // default.
  CffBuilder& font_matrix(std::vector<std::string> values);
  // CID-keyed: writes ROS, FDArray (one font dict, with `fd_matrix` when given) and FDSelect.
  CffBuilder& cid_keyed(std::optional<std::vector<std::string>> fd_matrix = std::nullopt);
  CffBuilder& glyph(CffGlyph glyph);
  // A format 0 encoding: codes[i] is the code of glyph i + 1. Without one the program uses
  // the standard encoding.
  CffBuilder& encoding(std::vector<uint8_t> codes);
  std::string build() const;

 private:
  std::optional<std::vector<std::string>> matrix_;
  bool cid_ = false;
  std::optional<std::vector<std::string>> fd_matrix_;
  std::vector<CffGlyph> glyphs_;
  std::optional<std::vector<uint8_t>> encoding_;
};

}  // namespace testing_support
