#include "kestrum/font/glyph.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_CID_H
#include FT_FONT_FORMATS_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_IDS_H

#include "kestrum/font/encoding.h"
#include "kestrum/font/font.h"
#include "kestrum/font/system.h"

namespace kestrum {

namespace {

// The cubic that traces a quadratic segment puts its control points two thirds of the way from
// each end point to the quadratic one; the factor is the f32 value everyone computes with.
constexpr float kTwoThirds = 0.6666667f;

// Bare CFF glyphs are loaded at this many pixels per em, so that FreeType applies the program's
// font matrices (the Top DICT's and, in CID-keyed programs, each font dict's) and hands back
// 26.6 fixed-point coordinates with 1000 units per em.
constexpr FT_UInt kCffPixelsPerEm = 1000;
constexpr float kFromFixed26_6 = 1.0f / 64;

// A pool keeps at most this many idle faces; more exist only while more threads outline the
// same font at once.
constexpr size_t kMaxIdleFaces = 8;

// Glyph ids and CIDs are 16-bit; a CFF charset is walked at most this far.
constexpr uint32_t kMaxGlyphs = 65536;

// The process's FreeType library. It is never destroyed: a font kept in a static may release
// its faces during static destruction, after any destructor of this library would have run.
struct FreeType {
  FT_Library library = nullptr;
  std::mutex faces;  // FT_New_Memory_Face and FT_Done_Face on the shared library
};

FreeType& freetype() {
  static FreeType* const instance = [] {
    auto* ft = new FreeType;
    if (FT_Init_FreeType(&ft->library) != 0) ft->library = nullptr;
    return ft;
  }();
  return *instance;
}

void done_face(FT_Face face) {
  FreeType& ft = freetype();
  std::lock_guard lock(ft.faces);
  FT_Done_Face(face);
}

// What the file is read as. The kind decides the rules that pick a glyph, so a file of another
// kind (say a Type 1 font in a TrueType stream, which FreeType would read too) is unusable.
enum class FaceKind : uint8_t {
  Sfnt,        // TrueType or OpenType
  Cff,         // a bare CFF program
  Substitute,  // a system font file: whatever FreeType reads
};

// The first element of a bare CFF program's Top DICT FontMatrix; nullopt when the program has
// none (or cannot be read that far), which means the usual 0.001.
std::optional<double> cff_matrix_xx(std::span<const uint8_t> cff);

// How glyphs of one pool's faces are loaded and what scale makes 1000 units per em of them.
// A substitute glyph is stretched to the font's advance by at most these factors: a width far
// off (a code whose real glyph is a wide symbol, say) is no reason to distort it further.
constexpr float kMinSubstituteStretch = 0.5f;
constexpr float kMaxSubstituteStretch = 2.0f;

struct LoadMode {
  FT_Int32 flags = FT_LOAD_NO_SCALE;
  bool sized = false;   // loaded at kCffPixelsPerEm: coordinates are 26.6 already in 1000/em
  float raw_scale = 0;  // for unsized loads: 0 means 1000 / units per em
};

}  // namespace

// Parsed faces of one font file. A face is used by one thread at a time: `Lease` takes an idle
// one (or parses a new one) and gives it back when done; the lock covers only the idle list.
struct FacePool {
  FacePool(SharedBytes file, FaceKind face_kind) : bytes(std::move(file)), kind(face_kind) {
    if (kind == FaceKind::Cff) {
      // A degenerate matrix leaves the program's own units, taken as thousandths of an em;
      // FreeType would divide by it.
      std::optional<double> xx = cff_matrix_xx(*bytes);
      if (xx && std::fabs(*xx * 1000) < 1e-6) {
        mode.raw_scale = 1;
      } else {
        mode.flags = FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP;
        mode.sized = true;
      }
    }
  }
  ~FacePool() {
    for (FT_Face face : idle) done_face(face);
  }
  FacePool(const FacePool&) = delete;
  FacePool& operator=(const FacePool&) = delete;

  // A new face of the file, or null when it does not parse as its kind.
  FT_Face open() const {
    FreeType& ft = freetype();
    if (ft.library == nullptr || bytes == nullptr || bytes->empty() ||
        bytes->size() > static_cast<size_t>(LONG_MAX)) {
      return nullptr;
    }
    FT_Face face = nullptr;
    {
      std::lock_guard lock(ft.faces);
      if (FT_New_Memory_Face(ft.library, bytes->data(), static_cast<FT_Long>(bytes->size()), 0,
                             &face) != 0) {
        return nullptr;
      }
    }
    bool fits = true;
    if (kind == FaceKind::Sfnt) fits = FT_IS_SFNT(face);
    if (kind == FaceKind::Cff) {
      const char* format = FT_Get_Font_Format(face);
      fits = !FT_IS_SFNT(face) && format != nullptr && std::strcmp(format, "CFF") == 0;
    }
    if (fits && mode.sized) {
      fits = FT_Set_Pixel_Sizes(face, kCffPixelsPerEm, kCffPixelsPerEm) == 0;
    }
    if (!fits) {
      done_face(face);
      return nullptr;
    }
    return face;
  }

  SharedBytes bytes;  // the faces read from these bytes; they must outlive every face
  FaceKind kind;
  LoadMode mode;
  std::mutex mutex;
  std::vector<FT_Face> idle;
  bool unusable = false;  // the file did not parse: no face is tried again
};

namespace {

class Lease {
 public:
  explicit Lease(FacePool* pool) : pool_(pool) {
    if (pool_ == nullptr) return;
    {
      std::lock_guard lock(pool_->mutex);
      if (pool_->unusable) return;
      if (!pool_->idle.empty()) {
        face_ = pool_->idle.back();
        pool_->idle.pop_back();
        return;
      }
    }
    face_ = pool_->open();
    if (face_ == nullptr) {
      std::lock_guard lock(pool_->mutex);
      pool_->unusable = true;
    }
  }
  ~Lease() {
    if (face_ == nullptr) return;
    {
      std::lock_guard lock(pool_->mutex);
      if (pool_->idle.size() < kMaxIdleFaces) {
        pool_->idle.push_back(face_);
        return;
      }
    }
    done_face(face_);
  }
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;

  FT_Face face() const { return face_; }
  const LoadMode& mode() const { return pool_->mode; }

 private:
  FacePool* pool_;
  FT_Face face_ = nullptr;
};

FacePool* pool_of(std::once_flag& once, std::shared_ptr<FacePool>& pool, const SharedBytes& bytes,
                  FaceKind kind) {
  std::call_once(once, [&] {
    if (bytes != nullptr && !bytes->empty()) pool = std::make_shared<FacePool>(bytes, kind);
  });
  return pool.get();
}

// ---- Reading the CFF Top DICT ----

// The INDEX at `pos`: its first element's bytes; `pos` moves past the INDEX. Nothing when the
// INDEX runs past the end of the program.
std::optional<std::span<const uint8_t>> cff_index_first(std::span<const uint8_t> cff, size_t& pos) {
  if (cff.size() - pos < 2) return std::nullopt;
  size_t count = (size_t{cff[pos]} << 8) | cff[pos + 1];
  pos += 2;
  if (count == 0) return std::span<const uint8_t>();
  if (pos >= cff.size()) return std::nullopt;
  size_t off_size = cff[pos++];
  if (off_size < 1 || off_size > 4) return std::nullopt;
  auto offset = [&](size_t k, size_t& value) {
    size_t at = pos + k * off_size;
    if (at > cff.size() || cff.size() - at < off_size) return false;
    value = 0;
    for (size_t b = 0; b < off_size; ++b) value = (value << 8) | cff[at + b];
    return true;
  };
  size_t first = 0, second = 0, last = 0;
  if (!offset(0, first) || !offset(1, second) || !offset(count, last)) return std::nullopt;
  size_t data = pos + (count + 1) * off_size;  // offsets count from the byte before the data
  if (first < 1 || second < first || last < second || data - 1 > cff.size() ||
      cff.size() - (data - 1) < last) {
    return std::nullopt;
  }
  pos = data - 1 + last;
  return cff.subspan(data - 1 + first, second - first);
}

// A real operand (after its 30 prefix) starting at `pos`; `pos` moves past its last nibble.
std::optional<double> cff_real(std::span<const uint8_t> dict, size_t& pos) {
  std::string text;
  while (pos < dict.size()) {
    uint8_t byte = dict[pos++];
    for (int nibble : {byte >> 4, byte & 0xF}) {
      if (nibble == 0xF) return std::strtod(text.c_str(), nullptr);
      if (nibble <= 9) {
        text += static_cast<char>('0' + nibble);
      } else if (nibble == 0xA) {
        text += '.';
      } else if (nibble == 0xB) {
        text += 'E';
      } else if (nibble == 0xC) {
        text += "E-";
      } else if (nibble == 0xE) {
        text += '-';
      }
      // A real longer than any number needs is damage.
      if (text.size() > 64) return std::nullopt;
    }
  }
  return std::nullopt;
}

std::optional<double> cff_matrix_xx(std::span<const uint8_t> cff) {
  if (cff.size() < 4) return std::nullopt;
  size_t pos = cff[2];                                                      // the header's size
  if (pos > cff.size() || !cff_index_first(cff, pos)) return std::nullopt;  // names
  std::optional<std::span<const uint8_t>> top = cff_index_first(cff, pos);
  if (!top) return std::nullopt;
  std::span<const uint8_t> dict = *top;
  std::optional<double> first;  // the first operand before the current operator
  size_t operands = 0;
  for (size_t i = 0; i < dict.size();) {
    uint8_t b = dict[i];
    std::optional<double> value;
    if (b == 28 && dict.size() - i >= 3) {
      value = static_cast<int16_t>((dict[i + 1] << 8) | dict[i + 2]);
      i += 3;
    } else if (b == 29 && dict.size() - i >= 5) {
      value = static_cast<int32_t>((uint32_t{dict[i + 1]} << 24) | (uint32_t{dict[i + 2]} << 16) |
                                   (uint32_t{dict[i + 3]} << 8) | dict[i + 4]);
      i += 5;
    } else if (b == 30) {
      ++i;
      value = cff_real(dict, i);
      if (!value) return std::nullopt;
    } else if (b >= 32 && b <= 246) {
      value = b - 139;
      ++i;
    } else if (b >= 247 && b <= 250 && dict.size() - i >= 2) {
      value = (b - 247) * 256 + dict[i + 1] + 108;
      i += 2;
    } else if (b >= 251 && b <= 254 && dict.size() - i >= 2) {
      value = -(b - 251) * 256 - dict[i + 1] - 108;
      i += 2;
    } else if (b <= 21) {
      bool matrix = b == 12 && i + 1 < dict.size() && dict[i + 1] == 7;
      if (matrix) return operands >= 1 ? first : std::nullopt;
      i += b == 12 ? 2 : 1;
      first.reset();
      operands = 0;
      continue;
    } else {
      return std::nullopt;  // a reserved byte or an operand cut short
    }
    if (operands++ == 0) first = value;
  }
  return std::nullopt;
}

// ---- Glyph selection ----

// The glyph of `cid` in a /CIDToGIDMap: the big-endian u16 at 2·cid, 0 past the map's end.
uint32_t mapped_gid(const Bytes& map, uint32_t cid) {
  uint64_t at = uint64_t{cid} * 2;
  if (at + 1 >= map.size()) return 0;
  return (uint32_t{map[at]} << 8) | map[at + 1];
}

// The glyph of `cid` in a composite font by its /CIDToGIDMap; the CID itself under Identity.
uint32_t composite_gid(const Font& font, uint32_t cid) {
  const SharedBytes& map = font.composite ? font.composite->cid_to_gid : nullptr;
  return map ? mapped_gid(*map, cid) : cid;
}

// The glyph of `code` in the first Macintosh Roman (1, 0) or Windows Symbol (3, 0) subtable
// that has one, in file order; the Symbol subtable is asked for 0xF000 + the low byte first,
// where symbol fonts put their characters.
std::optional<uint32_t> symbol_cmap_lookup(FT_Face face, uint32_t code) {
  for (FT_Int i = 0; i < face->num_charmaps; ++i) {
    FT_CharMap charmap = face->charmaps[i];
    bool mac_roman =
        charmap->platform_id == TT_PLATFORM_MACINTOSH && charmap->encoding_id == TT_MAC_ID_ROMAN;
    bool symbol =
        charmap->platform_id == TT_PLATFORM_MICROSOFT && charmap->encoding_id == TT_MS_ID_SYMBOL_CS;
    if ((!mac_roman && !symbol) || FT_Set_Charmap(face, charmap) != 0) continue;
    if (symbol) {
      if (FT_UInt gid = FT_Get_Char_Index(face, 0xF000 + (code & 0xFF))) return gid;
    }
    if (FT_UInt gid = FT_Get_Char_Index(face, code)) return gid;
  }
  return std::nullopt;
}

// The glyph of a character through the face's Unicode character map.
std::optional<uint32_t> unicode_lookup(FT_Face face, char32_t c) {
  if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) return std::nullopt;
  if (FT_UInt gid = FT_Get_Char_Index(face, c)) return gid;
  return std::nullopt;
}

// The glyph of a name in the post table or, in OpenType and bare CFF files, the CFF charset.
std::optional<uint32_t> name_lookup(FT_Face face, const std::string& name) {
  if (!FT_HAS_GLYPH_NAMES(face)) return std::nullopt;
  // 0 is both "not found" and .notdef, which no code is looked up for.
  if (FT_UInt gid = FT_Get_Name_Index(face, name.c_str())) return gid;
  return std::nullopt;
}

// The glyph of a code through a bare CFF program's own encoding, which FreeType offers as an
// Adobe character map.
std::optional<uint32_t> cff_encoding_lookup(FT_Face face, uint32_t code) {
  for (FT_Int i = 0; i < face->num_charmaps; ++i) {
    FT_CharMap charmap = face->charmaps[i];
    if (charmap->platform_id != TT_PLATFORM_ADOBE || FT_Set_Charmap(face, charmap) != 0) continue;
    if (FT_UInt gid = FT_Get_Char_Index(face, code)) return gid;
  }
  return std::nullopt;
}

// The text of the first character of a glyph name, through the glyph-name rules.
std::optional<char32_t> name_character(std::string_view name) {
  std::optional<std::string> text = glyph_name_to_unicode(name);
  if (!text || text->empty()) return std::nullopt;
  size_t pos = 0;
  return next_utf8(*text, pos);
}

const std::string& name_of(const Font& font, uint32_t code) {
  static const std::string kNone;
  return code < font.glyph_names.size() ? font.glyph_names[code] : kNone;
}

// What FreeType loads for glyph `gid`. A bare CID-keyed CFF face is addressed by CID, not by
// glyph id, and resolves a CID to its lowest glyph, so a glyph whose CID repeats an earlier
// one's loads as that one (their charset says they are the same character).
std::optional<FT_UInt> load_index(FT_Face face, uint32_t gid) {
  if (gid >= kMaxGlyphs) return std::nullopt;
  if (!FT_IS_CID_KEYED(face) || gid == 0) return gid;
  FT_UInt cid = 0;
  if (FT_Get_CID_From_Glyph_Index(face, gid, &cid) != 0) return std::nullopt;
  return cid;
}

// ---- Outlining ----

int sink_move(const FT_Vector* to, void* user) {
  static_cast<Sink*>(user)->move_to(static_cast<float>(to->x), static_cast<float>(to->y));
  return 0;
}
int sink_line(const FT_Vector* to, void* user) {
  static_cast<Sink*>(user)->line_to(static_cast<float>(to->x), static_cast<float>(to->y));
  return 0;
}
int sink_quad(const FT_Vector* control, const FT_Vector* to, void* user) {
  static_cast<Sink*>(user)->quad_to(static_cast<float>(control->x), static_cast<float>(control->y),
                                    static_cast<float>(to->x), static_cast<float>(to->y));
  return 0;
}
int sink_cubic(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
  static_cast<Sink*>(user)->cubic_to(static_cast<float>(c1->x), static_cast<float>(c1->y),
                                     static_cast<float>(c2->x), static_cast<float>(c2->y),
                                     static_cast<float>(to->x), static_cast<float>(to->y));
  return 0;
}
const FT_Outline_Funcs kSinkFuncs = {sink_move, sink_line, sink_quad, sink_cubic, 0, 0};

// The outline of one glyph of a leased face; null when it cannot be loaded, is not an outline
// (a bitmap glyph) or has no contour at all (a space).
std::shared_ptr<const Outline> outline_glyph(const Lease& lease, FT_UInt index, float width) {
  FT_Face face = lease.face();
  const LoadMode& mode = lease.mode();
  if (FT_Load_Glyph(face, index, mode.flags) != 0) return nullptr;
  FT_GlyphSlot slot = face->glyph;
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE || slot->outline.n_points <= 0) return nullptr;
  Sink sink;
  if (FT_Outline_Decompose(&slot->outline, &kSinkFuncs, &sink) != 0) return nullptr;
  if (sink.commands().empty()) return nullptr;
  float scale = mode.sized ? kFromFixed26_6
                : mode.raw_scale != 0
                    ? mode.raw_scale
                    : 1000.0f / static_cast<float>(std::max<FT_UShort>(face->units_per_EM, 1));
  return std::make_shared<const Outline>(sink.finish(scale, width));
}

// A face of the font's own program, of the given kind, leased from the font's pool.
Lease program_lease(const Font& font, FaceKind kind) {
  return Lease(pool_of(font.program_faces_once, font.program_faces, font.program.bytes, kind));
}

std::shared_ptr<const Outline> sfnt_outline(const Font& font, const CodeItem& item) {
  Lease lease = program_lease(font, FaceKind::Sfnt);
  FT_Face face = lease.face();
  if (face == nullptr) return nullptr;
  std::optional<uint32_t> gid;
  if (font.kind == FontKind::Type0) {
    gid = composite_gid(font, item.cid);
  } else {
    const std::string& name = name_of(font, item.code);
    if (font.symbolic) gid = symbol_cmap_lookup(face, item.code);
    if (!gid && !name.empty()) {
      gid = name_lookup(face, name);
      if (!gid) {
        if (std::optional<char32_t> c = name_character(name)) gid = unicode_lookup(face, *c);
      }
    }
    if (!gid && !font.symbolic) gid = symbol_cmap_lookup(face, item.code);
    if (!gid) gid = item.code;
  }
  std::optional<FT_UInt> index = load_index(face, *gid);
  return index ? outline_glyph(lease, *index, item.width) : nullptr;
}

// CID -> lowest glyph id of a CID-keyed bare CFF program, from its charset.
void build_cff_cid_map(const Font& font, FT_Face face) {
  FT_Bool cid_keyed = 0;
  if (FT_Get_CID_Is_Internally_CID_Keyed(face, &cid_keyed) != 0 || !cid_keyed) return;
  // The face's glyph count is the highest CID + 1 here, not the number of glyphs; the charset
  // answers for every glyph there is and fails past the last.
  for (uint32_t gid = 0; gid < kMaxGlyphs; ++gid) {
    FT_UInt cid = 0;
    if (FT_Get_CID_From_Glyph_Index(face, gid, &cid) != 0) break;
    if (cid < kMaxGlyphs) {
      font.cff_cid_to_gid.try_emplace(static_cast<uint16_t>(cid), static_cast<uint16_t>(gid));
    }
  }
}

std::shared_ptr<const Outline> cff_outline(const Font& font, const CodeItem& item) {
  Lease lease = program_lease(font, FaceKind::Cff);
  FT_Face face = lease.face();
  if (face == nullptr) return nullptr;
  std::optional<uint32_t> gid;
  if (font.kind == FontKind::Type0) {
    std::call_once(font.cff_cid_once, [&] { build_cff_cid_map(font, face); });
    if (item.cid < kMaxGlyphs) {
      auto it = font.cff_cid_to_gid.find(static_cast<uint16_t>(item.cid));
      if (it != font.cff_cid_to_gid.end()) gid = it->second;
    }
    if (!gid) {
      gid = composite_gid(font, item.cid);
    }
  } else {
    const std::string& name = name_of(font, item.code);
    if (!name.empty()) gid = name_lookup(face, name);
    if (!gid && item.code < 256) gid = cff_encoding_lookup(face, item.code);
    if (!gid) gid = item.cid;
  }
  std::optional<FT_UInt> index = load_index(face, *gid);
  return index ? outline_glyph(lease, *index, item.width) : nullptr;
}

std::shared_ptr<const Outline> compute_outline(const Font& font, const CodeItem& item) {
  std::shared_ptr<const Outline> outline;
  switch (font.program.kind) {
    case ProgramKind::Sfnt:
      outline = sfnt_outline(font, item);
      break;
    case ProgramKind::Cff:
      outline = cff_outline(font, item);
      break;
    case ProgramKind::Type1:  // never interpreted
    case ProgramKind::None:
      break;
  }
  return outline ? outline : substitute_outline(font, item);
}

}  // namespace

void Sink::move_to(float x, float y) {
  if (open_) commands_.push_back(PathCmd::close());
  commands_.push_back(PathCmd::move_to(x, y));
  x_ = x;
  y_ = y;
  open_ = true;
}

void Sink::line_to(float x, float y) {
  commands_.push_back(PathCmd::line_to(x, y));
  x_ = x;
  y_ = y;
}

void Sink::quad_to(float x1, float y1, float x, float y) {
  commands_.push_back(PathCmd::curve_to(x_ + kTwoThirds * (x1 - x_), y_ + kTwoThirds * (y1 - y_),
                                        x + kTwoThirds * (x1 - x), y + kTwoThirds * (y1 - y), x,
                                        y));
  x_ = x;
  y_ = y;
}

void Sink::cubic_to(float x1, float y1, float x2, float y2, float x, float y) {
  commands_.push_back(PathCmd::curve_to(x1, y1, x2, y2, x, y));
  x_ = x;
  y_ = y;
}

void Sink::close() {
  if (!open_) return;
  commands_.push_back(PathCmd::close());
  open_ = false;
}

Outline Sink::finish(float scale, float width) {
  close();
  if (std::fabs(scale - 1) > 1e-6f) {
    for (PathCmd& cmd : commands_) {
      cmd.x1 *= scale;
      cmd.y1 *= scale;
      cmd.x2 *= scale;
      cmd.y2 *= scale;
      cmd.x *= scale;
      cmd.y *= scale;
    }
  }
  Outline outline{std::move(commands_), width};
  outline.measure();
  commands_.clear();
  x_ = y_ = 0;
  return outline;
}

void Outline::measure() {
  has_points = false;
  auto add = [&](float x, float y) {
    if (!has_points) {
      x0 = x1 = x, y0 = y1 = y;
      has_points = true;
      return;
    }
    x0 = std::fmin(x0, x), y0 = std::fmin(y0, y), x1 = std::fmax(x1, x), y1 = std::fmax(y1, y);
  };
  for (const PathCmd& cmd : commands) {
    if (cmd.kind == PathCmd::Kind::Close) continue;
    if (cmd.kind == PathCmd::Kind::CurveTo) add(cmd.x1, cmd.y1), add(cmd.x2, cmd.y2);
    add(cmd.x, cmd.y);
  }
}

std::shared_ptr<const Outline> substitute_outline(const Font& font, const CodeItem& item) {
  if (font.kind == FontKind::Type3 || !item.text || item.text->empty()) return nullptr;
  std::call_once(font.substitute_once, [&] {
    uint16_t flags = font.flags;
    font.substitute = kestrum::substitute((flags & kFontSerif) != 0, (flags & kFontFixedPitch) != 0,
                                          (flags & kFontBold) != 0, (flags & kFontItalic) != 0);
  });
  Lease lease(pool_of(font.substitute_faces_once, font.substitute_faces, font.substitute,
                      FaceKind::Substitute));
  FT_Face face = lease.face();
  if (face == nullptr) return nullptr;
  size_t pos = 0;
  std::optional<uint32_t> gid = unicode_lookup(face, next_utf8(*item.text, pos));
  std::shared_ptr<const Outline> outline = gid ? outline_glyph(lease, *gid, item.width) : nullptr;
  if (!outline) return nullptr;
  // The substitute's letters are not as wide as the font's own: stretched to the font's advance,
  // the glyph fills its box as the real one does, and neighbouring boxes do not drift apart (the
  // gaps between boxes decide where words end).
  const LoadMode& mode = lease.mode();
  float to_thousandths =
      mode.sized ? kFromFixed26_6
      : mode.raw_scale != 0
          ? mode.raw_scale
          : 1000.0f / static_cast<float>(std::max<FT_UShort>(face->units_per_EM, 1));
  float advance = static_cast<float>(face->glyph->advance.x) * to_thousandths;
  if (!(advance > 0) || !(item.width > 0)) return outline;
  float stretch = std::clamp(item.width / advance, kMinSubstituteStretch, kMaxSubstituteStretch);
  if (std::fabs(stretch - 1) < 1e-3f) return outline;
  Outline fitted = *outline;
  for (PathCmd& cmd : fitted.commands) {
    cmd.x1 *= stretch;
    cmd.x2 *= stretch;
    cmd.x *= stretch;
  }
  fitted.measure();
  return std::make_shared<const Outline>(std::move(fitted));
}

std::shared_ptr<const Outline> Font::outline(const CodeItem& item) const {
  {
    std::lock_guard lock(outline_mutex);
    auto it = outline_cache.find(item.cid);
    if (it != outline_cache.end()) return it->second;
  }
  // Computed without the lock; a thread that raced this one to the same cid computed the same
  // outline, and whichever stored first is what every caller gets from now on.
  std::shared_ptr<const Outline> outline = compute_outline(*this, item);
  std::lock_guard lock(outline_mutex);
  return outline_cache.try_emplace(item.cid, std::move(outline)).first->second;
}

}  // namespace kestrum
