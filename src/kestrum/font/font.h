// The reader's model of one PDF font dictionary: how the bytes of a shown string split into
// character codes, and each code's Unicode text and advance width. Loading never fails: missing
// or malformed entries take their defaults, an undecodable program or CMap counts as absent.
// A Font is immutable after loading apart from its outline caches, and is shared by the
// interpreter's font cache and the glyphs that refer to it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "kestrum/filters.h"
#include "kestrum/font/cmap.h"
#include "kestrum/font/encoding.h"
#include "kestrum/font/ranges.h"
#include "kestrum/object.h"

namespace kestrum {

class PdfFile;
struct Outline;   // a glyph's shape, built on demand from the program (font/glyph)
struct FacePool;  // parsed faces of one font file, lent to one thread at a time (font/glyph)

enum class FontKind : uint8_t {
  Simple,  // Type1, MMType1, TrueType and unknown subtypes
  Type0,   // composite, with one descendant CIDFont
  Type3,   // glyphs drawn by content procedures
};

// Style bits of Font::flags.
inline constexpr uint16_t kFontFixedPitch = 1;
inline constexpr uint16_t kFontSerif = 2;
inline constexpr uint16_t kFontSymbolic = 4;
inline constexpr uint16_t kFontScript = 8;
inline constexpr uint16_t kFontItalic = 16;
inline constexpr uint16_t kFontAllCaps = 32;
inline constexpr uint16_t kFontSmallCaps = 64;
inline constexpr uint16_t kFontBold = 128;
inline constexpr uint16_t kFontSansSerif = 256;  // exactly when neither serif nor symbolic

enum class ProgramKind : uint8_t {
  None,
  Sfnt,   // TrueType or OpenType (/FontFile2, or /FontFile3 of subtype OpenType)
  Cff,    // a bare CFF program (/FontFile3 of any other subtype)
  Type1,  // /FontFile
};

// The embedded font program, decoded; the bytes are shared with every copy.
struct Program {
  ProgramKind kind = ProgramKind::None;
  // Empty for None; for Type 1 only the clear-text part that holds the encoding.
  SharedBytes bytes = empty_bytes();
};

struct SimpleWidths {
  uint32_t first_code = 0;
  std::vector<float> widths;
  std::optional<float> missing_width;
};
struct CompositeWidths {
  RangeMap<float> widths;  // by CID
  float default_width = 1000;
};
using Widths = std::variant<SimpleWidths, CompositeWidths>;

struct Composite {
  CMap encoding;
  SharedBytes cid_to_gid;  // the /CIDToGIDMap stream's bytes; null for /Identity or none
};

// One character code of a shown string.
struct CodeItem {
  std::optional<std::string> text;  // from unicode_for
  uint32_t code = 0;
  uint32_t cid = 0;    // the glyph selector: the code itself for simple fonts
  float width = 0;     // thousandths of text space (glyph space units for Type 3 fonts)
  bool space = false;  // the one-byte code 32 of a simple font, which takes word spacing
};

struct Font {
  // Reads the font dictionary `font`, following references through `resolver`.
  static std::shared_ptr<const Font> load(const Resolver& resolver, const Dict& font);
  static std::shared_ptr<const Font> load(const PdfFile& file, const Dict& font);

  // One item per character code. The second form reuses `out`, for callers that show many
  // strings.
  std::vector<CodeItem> decode(std::span<const uint8_t> bytes) const;
  void decode(std::span<const uint8_t> bytes, std::vector<CodeItem>& out) const;
  std::optional<std::string> unicode_for(uint32_t code) const;
  float width_for(uint32_t code, uint32_t cid) const;
  // The glyph name of a one-byte code, "" when it has none (always for Type 0 fonts). For
  // Type 3 fonts this is also the code's /CharProcs key.
  std::string_view glyph_name(uint32_t code) const;
  // The shape of the item's glyph (selected by its cid; its code, text and width are used too)
  // in glyph units with 1000 units per em, y up; null when the glyph has none. Computed once
  // per cid and cached; safe to call from several threads at once. Defined in font/glyph.
  std::shared_ptr<const Outline> outline(const CodeItem& item) const;

  FontKind kind = FontKind::Simple;
  std::string base_name;               // /BaseFont, "" when absent or not a name
  GlyphNames glyph_names;              // 256 names; empty for Type 0
  std::optional<Composite> composite;  // Type 0 only
  std::optional<CMap> to_unicode;
  Widths widths = SimpleWidths{};
  Program program;
  std::array<float, 6> font_matrix = {0.001f, 0, 0, 0.001f, 0, 0};
  uint16_t flags = 0;
  bool symbolic = false;  // Type 0 and Type 3 fonts, or simple fonts with the symbolic flag
  Dict char_procs;        // Type 3 only
  Dict resources;         // Type 3 only: the resources of the glyph procedures

  // Outline state, empty after loading and filled on first use (see font/glyph). A cached null
  // outline is an answer like any other.
  mutable std::mutex outline_mutex;
  mutable std::unordered_map<uint32_t, std::shared_ptr<const Outline>> outline_cache;
  mutable std::once_flag cff_cid_once;
  mutable std::unordered_map<uint16_t, uint16_t> cff_cid_to_gid;
  mutable std::once_flag substitute_once;
  mutable SharedBytes substitute;  // the whole system font file; null when there is none
  mutable std::once_flag program_faces_once;
  mutable std::shared_ptr<FacePool> program_faces;
  mutable std::once_flag substitute_faces_once;
  mutable std::shared_ptr<FacePool> substitute_faces;
};

// The style bits of a font from its descriptor (nullptr when it has none) and its base name.
uint16_t derive_flags(const Dict* descriptor, std::string_view base_name, const Resolver& resolver);

// The first of /FontFile2, /FontFile3 and /FontFile that is a stream and decodes.
Program load_program(const Dict* descriptor, const Resolver& resolver);

// /FirstChar, /Widths and the descriptor's /MissingWidth.
SimpleWidths simple_widths(const Dict& font, const Dict* descriptor, const Resolver& resolver);

// A CIDFont's /W and /DW.
CompositeWidths composite_widths(const Dict& cid_font, const Resolver& resolver);

}  // namespace kestrum
