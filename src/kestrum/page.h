// The page interpreter: runs page content against a graphics state and records what the page
// draws, in PDF user space (y up, the CTM applied, the page's /Rotate not): one Glyph per shown
// character code (plus generated spaces between words), one PathItem per painted path and one
// ImageItem per placed image, all numbered in paint order. It paints nothing and never fails:
// an operator it cannot use is skipped, a missing resource draws nothing.
//
//   Result<Page> page = document.page(0);
//   for (const Glyph& glyph : page->glyphs) use(glyph.text, glyph.bbox, glyph.base_font.view());
//
// A Page owns its records. Everything a record shares with others (its font, the font's base name,
// the font's resource name, decoded inline image data) is reference-counted, so a Page stays valid
// after its Document is gone; only image sources by reference need the document's file to decode.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "kestrum/content.h"
#include "kestrum/document.h"
#include "kestrum/error.h"
#include "kestrum/filters.h"
#include "kestrum/font/font.h"
#include "kestrum/geom.h"
#include "kestrum/object.h"

namespace kestrum {

// Content nested deeper than this below the page (forms drawn by forms, Type 3 glyph procedures)
// draws nothing: bounds the recursion of forms and glyphs that draw one another.
inline constexpr int kMaxContentDepth = 12;
// A `q` beyond this many saved states saves nothing (its `Q` restores nothing): bounds the stack
// a run of q operators builds.
inline constexpr size_t kMaxSavedStates = 1024;
// A page records at most this many glyphs, paths and images together, and holds at most this
// many path segments: bounds the memory that a small compressed stream of repeated show or path
// operators could claim. Real pages stay far below both.
inline constexpr size_t kMaxPageRecords = size_t{1} << 20;
inline constexpr size_t kMaxPageSegments = size_t{1} << 22;
// Nested content (forms and Type 3 glyph procedures) of one page stops running once this many
// bytes of it have been interpreted, each run counting as at least kNestedRunCharge bytes: forms
// that each draw another form many times would otherwise take time exponential in their nesting.
// The charge lets a page run 65536 tiny glyph procedures or forms, far more than real pages do.
inline constexpr size_t kMaxNestedContent = kMaxDecodedSize;
inline constexpr size_t kNestedRunCharge = size_t{4} << 10;
// Decoded form and glyph-procedure content is kept for reuse on the page up to this many bytes.
inline constexpr size_t kMaxCachedContent = size_t{64} << 20;

// Text shared by many records without a copy per record, such as the font names of the glyphs
// set in one font. Copying is a reference-count increment; the default is the empty text.
class SharedName {
 public:
  SharedName() = default;
  explicit SharedName(std::string_view text) : text_(std::make_shared<const std::string>(text)) {}
  // `*text`, kept alive by `owner` (the object that holds it); no allocation.
  template <class T>
  SharedName(const std::shared_ptr<T>& owner, const std::string* text) : text_(owner, text) {}

  std::string_view view() const { return text_ ? std::string_view(*text_) : std::string_view(); }
  bool empty() const { return view().empty(); }
  friend bool operator==(const SharedName& a, std::string_view b) { return a.view() == b; }

 private:
  std::shared_ptr<const std::string> text_;  // null for the empty text
};

struct Rgb {
  float r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// The graphics state that q saves and Q restores.
struct State {
  SharedName font_name;  // the resource name given to Tf
  Matrix ctm;
  Rect clip;  // tracked only: records outside it are kept
  size_t fill_components = 1;
  size_t stroke_components = 1;
  std::shared_ptr<const Font> font;  // null before Tf, or when the font cannot be found
  Rgb fill;
  Rgb stroke;
  float line_width = 1;
  float fill_alpha = 1;
  float stroke_alpha = 1;
  float font_size = 0;
  float char_spacing = 0;
  float word_spacing = 0;
  float horizontal_scaling = 1;  // a fraction: 1 is 100 %
  float leading = 0;
  float rise = 0;
  int32_t render_mode = 0;
};

// The state a page starts with: identity CTM, black, no font, clipped to `crop_box`.
State initial_state(const Rect& crop_box);

// One shown character code, or a space generated between two words.
struct Glyph {
  std::string text;      // the code's Unicode text without soft hyphens (U+00AD); may be empty
  SharedName font_name;  // the resource name given to Tf
  SharedName base_font;  // the font's /BaseFont
  uint32_t code = 0;
  uint32_t cid = 0;       // the glyph selector
  float width = 0;        // in thousandths of text space
  bool is_space = false;  // the code takes word spacing
  Point origin;           // the pen position (0, rise) of text space, in page space
  Rect bbox;
  std::shared_ptr<const Font> font;  // null on generated spaces
  Matrix glyph_matrix;               // glyph space to page space
  float advance = 0;                 // length of the pen movement, in page space
  float size = 0;                    // effective font size: length of the rendering matrix's y axis
  uint16_t flags = 0;                // the font's style bits (kFontBold, ...)
  float angle = 0;                   // baseline direction in page space, radians
  int32_t render_mode = 0;
  Rgb color;  // the fill colour
  float alpha = 1;
  uint32_t sequence = 0;
  bool generated = false;  // a space put between words that the content set apart by position

  // Whether the font gave a text for the code, and that text as given when it differs from
  // `text` (it held soft hyphens); see raw_text().
  bool has_raw_text = false;
  std::string raw_with_soft_hyphens;

  // The text as the font decoded it, soft hyphens included; nothing when the font gave none.
  std::optional<std::string_view> raw_text() const {
    if (!has_raw_text) return std::nullopt;
    return raw_with_soft_hyphens.empty() ? std::string_view(text) : raw_with_soft_hyphens;
  }
};

struct PathItem {
  std::vector<PathSegment> segments;  // in page space
  std::optional<Rgb> fill;            // set when the path is filled
  std::optional<Rgb> stroke;          // set when the path is stroked
  Rect bbox;                          // of every point, control points included
  float line_width = 1;               // in page units
  float fill_alpha = 1;
  float stroke_alpha = 1;
  uint32_t sequence = 0;
  bool even_odd = false;
};

// Where an image's samples are: an image XObject by reference, decoded only when asked; or the
// data of an inline or direct image, decoded when it was placed.
using ImageSource = std::variant<Ref, Decoded>;

struct ImageItem {
  std::string name;  // the XObject's resource name, "inline" for inline images
  ImageSource source;
  // The unit square with its origin at the image's top-left corner, y down, onto page space.
  Matrix image_matrix;
  Rect bbox;  // the unit square under the CTM
  uint32_t width = 0;
  uint32_t height = 0;
  Rgb color;  // the fill colour at placement, which paints image masks
  float alpha = 1;
  uint32_t sequence = 0;
  uint8_t bits_per_component = 8;
  bool image_mask = false;
  uint8_t components = 1;

  // The image data: a referenced stream is loaded and decoded now (bytes plus the image filter
  // left, if any); stored data is shared. Fails with the filter errors, or
  // Parse("image object {} is not a stream").
  Result<Decoded> decode(const PdfFile& file) const;
};

// What Document::page produces.
struct Page {
  size_t index = 0;
  Rect media_box;
  Rect crop_box;
  int32_t rotate = 0;  // as written
  std::vector<Glyph> glyphs;
  std::vector<PathItem> paths;
  std::vector<ImageItem> images;

  // From PDF user space to a top-down raster of the page as displayed, scaled by `scale`.
  Matrix page_matrix(float scale) const { return kestrum::page_matrix(crop_box, rotate, scale); }
};

// The glyph's box in page space: the bounds of its outline's points through `glyph_matrix` when
// the font gives an outline, else the nominal box: from 0.2 em below the baseline to 0.8 em
// above it, as wide as the glyph's advance (at least a thousandth of an em), through
// `text_to_page` (the text rendering matrix).
Rect glyph_box(const Font& font, const CodeItem& item, const Matrix& glyph_matrix,
               const Matrix& text_to_page, float width);

// Interprets the content of one page. Not shareable between threads; each page gets its own.
// The document must outlive the interpreter; the records stay valid without either.
class Interpreter {
 public:
  explicit Interpreter(const Document& document);

  // Executes `content` with `resources` from `state`; records accumulate in the interpreter.
  // Content deeper than kMaxContentDepth draws nothing. Returns the state the content leaves
  // (its clip among others), which the caller's own state does not take on.
  State run(std::span<const uint8_t> content, const Dict& resources, const State& state, int depth);

  // The font `name` of the resources' /Font, loaded once per object number (a font written
  // directly in the resources is loaded anew); null when missing.
  std::shared_ptr<const Font> font_for(const Dict& resources, std::string_view name);
  // The colour components that cs, CS and inline images mean by their operand.
  size_t colorspace_components(const Dict& resources, std::span<const Object> operands) const;
  size_t components_of(const Object& space, int depth) const;

  const std::vector<Glyph>& glyphs() const { return glyphs_; }
  const std::vector<PathItem>& paths() const { return paths_; }
  const std::vector<ImageItem>& images() const { return images_; }
  // Moves the records into `page`; the interpreter holds none afterwards.
  void take_records(Page& page);

 private:
  struct Run;
  // What the generated-space rule needs of the last glyph recorded on the page.
  struct LastGlyph {
    bool present = false;
    Point end;
    float origin_y = 0;
    float size = 0;
    bool blank = false;  // its text is whitespace only
  };
  struct ImageParams {
    uint32_t width = 0;
    uint32_t height = 0;
    bool mask = false;
    uint8_t bits = 8;
    uint8_t components = 1;
  };

  // A font written directly into resources, loaded once per run of the page: content that sets
  // it over and over must not load it over and over. The key is the font dictionary's address,
  // which `keep` holds alive while the entry exists.
  struct DirectFont {
    std::shared_ptr<const Font> font;
    std::shared_ptr<const void> keep[2];
  };

  // `owner` holds `resources` alive, or is null when the caller does for the whole page.
  State run_content(std::span<const uint8_t> content, const Dict& resources,
                    std::shared_ptr<const void> owner, const State& state, int depth);
  std::shared_ptr<const Font> set_font(const Run& run, std::string_view name);
  void execute(Run& run, Operation& op);
  void show(Run& run, std::span<const uint8_t> bytes);
  void paint(Run& run, bool fill, bool stroke, bool even_odd);
  void add_segment(Run& run, const PathSegment& segment);
  void set_graphics_state(Run& run, std::string_view name);
  void draw_xobject(Run& run, std::string_view name);
  void draw_form(Run& run, const Stream& form, std::optional<Ref> ref,
                 std::shared_ptr<const void> form_owner);
  void draw_inline_image(Run& run, Operation& op);
  void run_glyph_procedure(Run& run, const Font& font, uint32_t code, const Matrix& glyph_matrix);
  std::optional<ImageParams> image_params(const Dict& dict, const Dict* inline_resources) const;
  void push_image(std::string name, const State& state, const ImageParams& params,
                  ImageSource source);
  // Decoded content of a form or glyph procedure, kept by object number; null when it does not
  // decode or the page's budget for nested content is spent.
  SharedBytes nested_content(const Stream& stream, std::optional<Ref> ref);
  const SharedName& intern(std::string_view name);
  uint32_t next_sequence();
  bool has_room() const;

  const Document& document_;
  const PdfFile& file_;
  std::vector<Glyph> glyphs_;
  std::vector<PathItem> paths_;
  std::vector<ImageItem> images_;
  size_t recorded_segments_ = 0;
  std::unordered_map<uint32_t, std::shared_ptr<const Font>> fonts_;
  std::unordered_map<const Dict*, DirectFont> direct_fonts_;
  std::unordered_map<std::string, SharedName, NameHash, std::equal_to<>> names_;
  std::vector<uint32_t> active_forms_;  // object numbers of the forms being executed
  std::unordered_map<uint32_t, SharedBytes> content_cache_;
  size_t cached_bytes_ = 0;
  size_t nested_bytes_ = 0;
  LastGlyph last_;
  uint32_t sequence_ = 0;
  // Scratch of each nesting level, reused from one operation or string to the next; a nested run
  // must not disturb the operation or string of the level that started it.
  std::array<Operation, kMaxContentDepth + 1> operations_;
  std::array<std::vector<CodeItem>, kMaxContentDepth + 1> codes_;
};

}  // namespace kestrum
