#include "kestrum/page.h"

#include "kestrum/font/glyph.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include <fmt/format.h>

#include "kestrum/font/encoding.h"

namespace kestrum {

namespace {

enum class Op : uint8_t {
  Unknown,
  Save,
  Restore,
  Concat,
  LineWidth,
  GraphicsState,
  FillGray,
  StrokeGray,
  FillRgb,
  StrokeRgb,
  FillCmyk,
  StrokeCmyk,
  FillSpace,
  StrokeSpace,
  FillColor,
  StrokeColor,
  MoveTo,
  LineTo,
  CurveTo,
  CurveFromCurrent,
  CurveToEnd,
  ClosePath,
  Rectangle,
  Fill,
  FillEvenOdd,
  Stroke,
  CloseStroke,
  FillStroke,
  FillStrokeEvenOdd,
  CloseFillStroke,
  CloseFillStrokeEvenOdd,
  EndPath,
  Clip,
  BeginText,
  EndText,
  CharSpacing,
  WordSpacing,
  Scaling,
  Leading,
  Rise,
  RenderMode,
  SetFont,
  MoveText,
  MoveTextLeading,
  TextMatrix,
  NextLine,
  Show,
  NextLineShow,
  SpacingNextLineShow,
  ShowArray,
  XObject,
  InlineImage,
};

// Operators are at most three bytes long; their bytes and length make one switch key.
constexpr uint32_t op_key(std::string_view s) {
  uint32_t key = static_cast<uint32_t>(s.size()) << 24;
  for (size_t i = 0; i < s.size() && i < 3; ++i) {
    key |= static_cast<uint32_t>(static_cast<uint8_t>(s[i])) << (8 * i);
  }
  return key;
}

Op classify(std::string_view s) {
  if (s.empty() || s.size() > 3) return Op::Unknown;
  // clang-format off
  switch (op_key(s)) {
    case op_key("q"): return Op::Save;
    case op_key("Q"): return Op::Restore;
    case op_key("cm"): return Op::Concat;
    case op_key("w"): return Op::LineWidth;
    case op_key("gs"): return Op::GraphicsState;
    case op_key("g"): return Op::FillGray;
    case op_key("G"): return Op::StrokeGray;
    case op_key("rg"): return Op::FillRgb;
    case op_key("RG"): return Op::StrokeRgb;
    case op_key("k"): return Op::FillCmyk;
    case op_key("K"): return Op::StrokeCmyk;
    case op_key("cs"): return Op::FillSpace;
    case op_key("CS"): return Op::StrokeSpace;
    case op_key("sc"): return Op::FillColor;
    case op_key("scn"): return Op::FillColor;
    case op_key("SC"): return Op::StrokeColor;
    case op_key("SCN"): return Op::StrokeColor;
    case op_key("m"): return Op::MoveTo;
    case op_key("l"): return Op::LineTo;
    case op_key("c"): return Op::CurveTo;
    case op_key("v"): return Op::CurveFromCurrent;
    case op_key("y"): return Op::CurveToEnd;
    case op_key("h"): return Op::ClosePath;
    case op_key("re"): return Op::Rectangle;
    case op_key("f"): return Op::Fill;
    case op_key("F"): return Op::Fill;
    case op_key("f*"): return Op::FillEvenOdd;
    case op_key("S"): return Op::Stroke;
    case op_key("s"): return Op::CloseStroke;
    case op_key("B"): return Op::FillStroke;
    case op_key("B*"): return Op::FillStrokeEvenOdd;
    case op_key("b"): return Op::CloseFillStroke;
    case op_key("b*"): return Op::CloseFillStrokeEvenOdd;
    case op_key("n"): return Op::EndPath;
    case op_key("W"): return Op::Clip;
    case op_key("W*"): return Op::Clip;
    case op_key("BT"): return Op::BeginText;
    case op_key("ET"): return Op::EndText;
    case op_key("Tc"): return Op::CharSpacing;
    case op_key("Tw"): return Op::WordSpacing;
    case op_key("Tz"): return Op::Scaling;
    case op_key("TL"): return Op::Leading;
    case op_key("Ts"): return Op::Rise;
    case op_key("Tr"): return Op::RenderMode;
    case op_key("Tf"): return Op::SetFont;
    case op_key("Td"): return Op::MoveText;
    case op_key("TD"): return Op::MoveTextLeading;
    case op_key("Tm"): return Op::TextMatrix;
    case op_key("T*"): return Op::NextLine;
    case op_key("Tj"): return Op::Show;
    case op_key("'"): return Op::NextLineShow;
    case op_key("\""): return Op::SpacingNextLineShow;
    case op_key("TJ"): return Op::ShowArray;
    case op_key("Do"): return Op::XObject;
    case op_key("BI"): return Op::InlineImage;
    default: return Op::Unknown;
  }
  // clang-format on
}

std::optional<float> number(const Object& object) {
  std::optional<double> n = object.as_number();
  if (!n) return std::nullopt;
  return static_cast<float>(*n);
}

// The first N operands as numbers, or false when there are fewer or one of them is not a number.
template <size_t N>
bool numbers(std::span<const Object> operands, float (&out)[N]) {
  if (operands.size() < N) return false;
  for (size_t i = 0; i < N; ++i) {
    std::optional<float> n = number(operands[i]);
    if (!n) return false;
    out[i] = *n;
  }
  return true;
}

float number_or(std::span<const Object> operands, float fallback) {
  if (operands.empty()) return fallback;
  return number(operands[0]).value_or(fallback);
}

float clamp01(float v) {
  return std::clamp(v, 0.0f, 1.0f);
}

// Mentions of an object are followed through the file's object cache and never copied: the
// result points into the caller's object or into `holder`. Nothing for an absent value, Null, or
// a reference chain that does not end.
const Object* follow(const PdfFile& file, const Object* value, SharedObject& holder) {
  for (int fetches = 0; value != nullptr && value->is_ref(); ++fetches) {
    if (fetches >= kMaxResolveFetches) return nullptr;
    const uint32_t number = value->as_ref()->num;
    holder = file.get(number);
    value = holder.get();
  }
  return value == nullptr || value->is_null() ? nullptr : value;
}

const Object* lookup(const PdfFile& file, const Dict& dict, std::string_view key,
                     SharedObject& holder) {
  return follow(file, dict.get(key), holder);
}

// A Dict, or the dictionary of a Stream.
const Dict* lookup_dict(const PdfFile& file, const Dict& dict, std::string_view key,
                        SharedObject& holder) {
  const Object* value = lookup(file, dict, key, holder);
  return value != nullptr ? value->dict_or_stream_dict() : nullptr;
}

// The numbers among the array's elements, references followed, up to `out`'s size; how many.
size_t array_numbers(const PdfFile& file, const Object& array, std::span<float> out) {
  const Array* items = array.as_array();
  if (items == nullptr) return 0;
  size_t n = 0;
  for (const Object& item : *items) {
    if (n == out.size()) break;
    SharedObject holder;
    const Object* value = follow(file, &item, holder);
    if (std::optional<float> v = value != nullptr ? number(*value) : std::nullopt) out[n++] = *v;
  }
  return n;
}

uint32_t clamp_u32(int64_t v) {
  return static_cast<uint32_t>(std::clamp<int64_t>(v, 0, std::numeric_limits<uint32_t>::max()));
}

// The Unicode White_Space property.
bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

bool starts_with_white_space(std::string_view text) {
  size_t pos = 0;
  return !text.empty() && is_white_space(next_utf8(text, pos));
}

// Whitespace and nothing else; an empty text is not blank (it shows something the font could not
// name, which still separates words).
bool is_blank(std::string_view text) {
  if (text.empty()) return false;
  for (size_t pos = 0; pos < text.size();) {
    if (!is_white_space(next_utf8(text, pos))) return false;
  }
  return true;
}

constexpr std::string_view kSoftHyphen = "\xC2\xAD";  // U+00AD in UTF-8

void remove_soft_hyphens(std::string& text) {
  size_t at = text.find(kSoftHyphen);
  if (at == std::string::npos) return;
  size_t out = at;
  for (size_t in = at; in < text.size();) {
    if (text.compare(in, kSoftHyphen.size(), kSoftHyphen) == 0) {
      in += kSoftHyphen.size();
    } else {
      text[out++] = text[in++];
    }
  }
  text.resize(out);
}

float column_length(float x, float y) {
  return std::sqrt(x * x + y * y);
}

Rect segment_bounds(std::span<const PathSegment> segments) {
  bool any = false;
  Rect box;
  for (const PathSegment& segment : segments) {
    for (int i = 0; i < segment.points(); ++i) {
      const Point p = segment.p[i];
      if (!any) {
        box = {p.x, p.y, p.x, p.y};
        any = true;
        continue;
      }
      box.x0 = std::min(box.x0, p.x);
      box.y0 = std::min(box.y0, p.y);
      box.x1 = std::max(box.x1, p.x);
      box.y1 = std::max(box.y1, p.y);
    }
  }
  return box;
}

void set_color(Rgb& color, size_t& components, size_t n, std::span<const Object> operands) {
  float v[4];
  size_t collected = 0;
  for (const Object& operand : operands) {
    std::optional<float> value = number(operand);
    if (!value) continue;  // pattern names and the like
    if (collected < 4) v[collected] = *value;
    ++collected;
  }
  switch (std::min(n, collected)) {
    case 1:
      color = {clamp01(v[0]), clamp01(v[0]), clamp01(v[0])};
      break;
    case 3:
      color = {clamp01(v[0]), clamp01(v[1]), clamp01(v[2])};
      break;
    case 4: {
      const float k = 1 - clamp01(v[3]);
      color = {(1 - clamp01(v[0])) * k, (1 - clamp01(v[1])) * k, (1 - clamp01(v[2])) * k};
      break;
    }
    default:
      break;
  }
  components = n;
}

}  // namespace

State initial_state(const Rect& crop_box) {
  State state;
  state.clip = crop_box;
  return state;
}

Rect glyph_box(const Font& font, const CodeItem& item, const Matrix& glyph_matrix,
               const Matrix& text_to_page, float width) {
  // A tight box from the outline when the font gives one with a point, control points included.
  if (std::shared_ptr<const Outline> outline = font.outline(item); outline && outline->has_points)
    return apply_rect(glyph_matrix, Rect{outline->x0, outline->y0, outline->x1, outline->y1});
  const Matrix thousandths = concat(Matrix::scale(0.001f, 0.001f), text_to_page);
  return apply_rect(thousandths, Rect{0, -200, std::max(width, 1.0f), 800});
}

Result<Decoded> ImageItem::decode(const PdfFile& file) const {
  if (const Decoded* data = std::get_if<Decoded>(&source)) return *data;
  const Ref ref = std::get<Ref>(source);
  SharedObject holder = file.get(ref.num);
  SharedObject chain;
  const Object* object = follow(file, holder.get(), chain);
  const Stream* stream = object != nullptr ? object->as_stream() : nullptr;
  if (stream == nullptr) {
    return std::unexpected(Error::parse(fmt::format("image object {} is not a stream", ref.num)));
  }
  return file.decode(*stream);
}

// One execution of content: the state it changes, its saved states, text matrices and path.
struct Interpreter::Run {
  Run(const Dict& resources, std::shared_ptr<const void> owner, const State& state, int depth)
      : resources(resources), owner(std::move(owner)), state(state), depth(depth) {}

  const Dict& resources;
  std::shared_ptr<const void> owner;  // keeps `resources` alive; null for the page's own
  State state;
  int depth;
  Matrix text_matrix;
  Matrix line_matrix;
  std::vector<State> saved;
  size_t unsaved = 0;  // q operators beyond kMaxSavedStates, matched by the next Q operators
  std::vector<PathSegment> path;
  Point current;
  Point start;
  bool clip_pending = false;
};

Interpreter::Interpreter(const Document& document) : document_(document), file_(document.file()) {}

void Interpreter::take_records(Page& page) {
  page.glyphs = std::move(glyphs_);
  page.paths = std::move(paths_);
  page.images = std::move(images_);
  glyphs_.clear();
  paths_.clear();
  images_.clear();
}

uint32_t Interpreter::next_sequence() {
  const uint32_t sequence = sequence_;
  if (sequence_ != std::numeric_limits<uint32_t>::max()) ++sequence_;
  return sequence;
}

bool Interpreter::has_room() const {
  return glyphs_.size() + paths_.size() + images_.size() < kMaxPageRecords;
}

const SharedName& Interpreter::intern(std::string_view name) {
  auto it = names_.find(name);
  if (it == names_.end()) it = names_.emplace(std::string(name), SharedName(name)).first;
  return it->second;
}

State Interpreter::run(std::span<const uint8_t> content, const Dict& resources, const State& state,
                       int depth) {
  State end = run_content(content, resources, nullptr, state, depth);
  // The caller vouches for its resources only during the call.
  direct_fonts_.clear();
  return end;
}

State Interpreter::run_content(std::span<const uint8_t> content, const Dict& resources,
                               std::shared_ptr<const void> owner, const State& state, int depth) {
  if (depth < 0) depth = 0;
  if (depth > kMaxContentDepth) return state;
  if (depth == 0 && glyphs_.empty()) {
    // Shown text takes a few bytes of content per glyph; the cap keeps a page of paths from
    // reserving room for glyphs it does not have.
    constexpr size_t kReservedGlyphs = 8192;
    glyphs_.reserve(std::min(content.size() / 4, kReservedGlyphs));
  }
  Run run(resources, std::move(owner), state, depth);
  ContentParser parser(content);
  Operation& op = operations_[depth];
  while (parser.next(op)) execute(run, op);
  return std::move(run.state);
}

void Interpreter::execute(Run& run, Operation& op) {
  State& s = run.state;
  const std::span<const Object> operands = op.operands;
  const Op kind = classify(op.op);
  switch (kind) {
    case Op::Unknown:
      return;
    case Op::Save:
      if (run.saved.size() < kMaxSavedStates) {
        run.saved.push_back(s);
      } else {
        ++run.unsaved;
      }
      return;
    case Op::Restore:
      if (run.unsaved > 0) {
        --run.unsaved;
      } else if (!run.saved.empty()) {
        s = std::move(run.saved.back());
        run.saved.pop_back();
      }
      return;
    case Op::Concat: {
      float m[6];
      if (numbers(operands, m)) s.ctm = concat(Matrix{m[0], m[1], m[2], m[3], m[4], m[5]}, s.ctm);
      return;
    }
    case Op::LineWidth: {
      float w[1];
      if (numbers(operands, w)) s.line_width = w[0];
      return;
    }
    case Op::GraphicsState:
      if (!operands.empty() && operands[0].is_name()) {
        set_graphics_state(run, *operands[0].as_name());
      }
      return;
    case Op::FillGray:
      return set_color(s.fill, s.fill_components, 1, operands);
    case Op::StrokeGray:
      return set_color(s.stroke, s.stroke_components, 1, operands);
    case Op::FillRgb:
      return set_color(s.fill, s.fill_components, 3, operands);
    case Op::StrokeRgb:
      return set_color(s.stroke, s.stroke_components, 3, operands);
    case Op::FillCmyk:
      return set_color(s.fill, s.fill_components, 4, operands);
    case Op::StrokeCmyk:
      return set_color(s.stroke, s.stroke_components, 4, operands);
    case Op::FillSpace:
      s.fill_components = colorspace_components(run.resources, operands);
      s.fill = {};
      return;
    case Op::StrokeSpace:
      s.stroke_components = colorspace_components(run.resources, operands);
      s.stroke = {};
      return;
    case Op::FillColor:
      return set_color(s.fill, s.fill_components, s.fill_components, operands);
    case Op::StrokeColor:
      return set_color(s.stroke, s.stroke_components, s.stroke_components, operands);
    case Op::MoveTo: {
      float v[2];
      if (!numbers(operands, v)) return;
      const Point p = s.ctm.apply(v[0], v[1]);
      add_segment(run, PathSegment::move_to(p));
      run.current = run.start = p;
      return;
    }
    case Op::LineTo: {
      float v[2];
      if (!numbers(operands, v)) return;
      const Point p = s.ctm.apply(v[0], v[1]);
      add_segment(run, PathSegment::line_to(p));
      run.current = p;
      return;
    }
    case Op::CurveTo: {
      float v[6];
      if (!numbers(operands, v)) return;
      const Point end = s.ctm.apply(v[4], v[5]);
      add_segment(run,
                  PathSegment::curve_to(s.ctm.apply(v[0], v[1]), s.ctm.apply(v[2], v[3]), end));
      run.current = end;
      return;
    }
    case Op::CurveFromCurrent: {
      float v[4];
      if (!numbers(operands, v)) return;
      const Point end = s.ctm.apply(v[2], v[3]);
      add_segment(run, PathSegment::curve_to(run.current, s.ctm.apply(v[0], v[1]), end));
      run.current = end;
      return;
    }
    case Op::CurveToEnd: {
      float v[4];
      if (!numbers(operands, v)) return;
      const Point end = s.ctm.apply(v[2], v[3]);
      add_segment(run, PathSegment::curve_to(s.ctm.apply(v[0], v[1]), end, end));
      run.current = end;
      return;
    }
    case Op::ClosePath:
      // A close without a subpath does nothing; it would otherwise paint a path of no points.
      if (!run.path.empty()) add_segment(run, PathSegment::close());
      run.current = run.start;
      return;
    case Op::Rectangle: {
      float v[4];
      if (!numbers(operands, v)) return;
      const auto [x, y, w, h] = v;
      const Point origin = s.ctm.apply(x, y);
      add_segment(run, PathSegment::move_to(origin));
      add_segment(run, PathSegment::line_to(s.ctm.apply(x + w, y)));
      add_segment(run, PathSegment::line_to(s.ctm.apply(x + w, y + h)));
      add_segment(run, PathSegment::line_to(s.ctm.apply(x, y + h)));
      add_segment(run, PathSegment::close());
      run.current = run.start = origin;
      return;
    }
    case Op::Fill:
      return paint(run, true, false, false);
    case Op::FillEvenOdd:
      return paint(run, true, false, true);
    case Op::Stroke:
      return paint(run, false, true, false);
    case Op::CloseStroke:
      if (!run.path.empty()) add_segment(run, PathSegment::close());
      return paint(run, false, true, false);
    case Op::FillStroke:
      return paint(run, true, true, false);
    case Op::FillStrokeEvenOdd:
      return paint(run, true, true, true);
    case Op::CloseFillStroke:
      if (!run.path.empty()) add_segment(run, PathSegment::close());
      return paint(run, true, true, false);
    case Op::CloseFillStrokeEvenOdd:
      if (!run.path.empty()) add_segment(run, PathSegment::close());
      return paint(run, true, true, true);
    case Op::EndPath:
      return paint(run, false, false, false);
    case Op::Clip:
      run.clip_pending = true;
      return;
    case Op::BeginText:
      run.text_matrix = run.line_matrix = Matrix::identity();
      return;
    case Op::EndText:
      return;
    case Op::CharSpacing:
      s.char_spacing = number_or(operands, 0);
      return;
    case Op::WordSpacing:
      s.word_spacing = number_or(operands, 0);
      return;
    case Op::Scaling:
      s.horizontal_scaling = number_or(operands, 100) / 100;
      return;
    case Op::Leading:
      s.leading = number_or(operands, 0);
      return;
    case Op::Rise:
      s.rise = number_or(operands, 0);
      return;
    case Op::RenderMode: {
      const int64_t mode = operands.empty() ? 0 : operands[0].as_int().value_or(0);
      s.render_mode = static_cast<int32_t>(std::clamp<int64_t>(
          mode, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
      return;
    }
    case Op::SetFont:
      s.font_size = operands.size() > 1 ? number(operands[1]).value_or(0) : 0;
      if (!operands.empty() && operands[0].is_name()) {
        const std::string& name = *operands[0].as_name();
        s.font_name = intern(name);
        s.font = set_font(run, name);
      }
      return;
    case Op::MoveText:
    case Op::MoveTextLeading: {
      float v[2];
      if (!numbers(operands, v)) return;
      if (kind == Op::MoveTextLeading) s.leading = -v[1];
      run.line_matrix = concat(Matrix::translate(v[0], v[1]), run.line_matrix);
      run.text_matrix = run.line_matrix;
      return;
    }
    case Op::TextMatrix: {
      float m[6];
      if (!numbers(operands, m)) return;
      run.text_matrix = run.line_matrix = Matrix{m[0], m[1], m[2], m[3], m[4], m[5]};
      return;
    }
    case Op::NextLine:
    case Op::NextLineShow:
    case Op::SpacingNextLineShow: {
      size_t shown = 0;
      if (kind == Op::SpacingNextLineShow) {
        if (operands.size() > 0) {
          if (std::optional<float> aw = number(operands[0])) s.word_spacing = *aw;
        }
        if (operands.size() > 1) {
          if (std::optional<float> ac = number(operands[1])) s.char_spacing = *ac;
        }
        shown = 2;
      }
      run.line_matrix = concat(Matrix::translate(0, -s.leading), run.line_matrix);
      run.text_matrix = run.line_matrix;
      if (kind != Op::NextLine && operands.size() > shown) {
        if (const Bytes* text = operands[shown].as_string()) show(run, *text);
      }
      return;
    }
    case Op::Show:
      if (!operands.empty()) {
        if (const Bytes* text = operands[0].as_string()) show(run, *text);
      }
      return;
    case Op::ShowArray: {
      const Array* items = operands.empty() ? nullptr : operands[0].as_array();
      if (items == nullptr) return;
      for (const Object& item : *items) {
        if (const Bytes* text = item.as_string()) {
          show(run, *text);
        } else if (std::optional<float> n = number(item)) {
          const float tx = -*n / 1000 * s.font_size * s.horizontal_scaling;
          run.text_matrix = concat(Matrix::translate(tx, 0), run.text_matrix);
        }
      }
      return;
    }
    case Op::XObject:
      if (!operands.empty() && operands[0].is_name()) draw_xobject(run, *operands[0].as_name());
      return;
    case Op::InlineImage:
      return draw_inline_image(run, op);
  }
}

void Interpreter::add_segment(Run& run, const PathSegment& segment) {
  if (recorded_segments_ + run.path.size() >= kMaxPageSegments) return;
  run.path.push_back(segment);
}

void Interpreter::paint(Run& run, bool fill, bool stroke, bool even_odd) {
  const State& s = run.state;
  const Rect box = segment_bounds(run.path);
  if (run.clip_pending) {
    run.clip_pending = false;
    // Comparisons are written so that a NaN coordinate keeps the old bound.
    if (box.x1 - box.x0 > 0 && box.y1 - box.y0 > 0) {
      Rect& clip = run.state.clip;
      if (box.x0 > clip.x0) clip.x0 = box.x0;
      if (box.y0 > clip.y0) clip.y0 = box.y0;
      if (box.x1 < clip.x1) clip.x1 = box.x1;
      if (box.y1 < clip.y1) clip.y1 = box.y1;
    }
  }
  if (!run.path.empty() && (fill || stroke) && has_room()) {
    PathItem& item = paths_.emplace_back();
    recorded_segments_ += run.path.size();
    item.segments = std::move(run.path);
    if (fill) item.fill = s.fill;
    if (stroke) item.stroke = s.stroke;
    item.bbox = box;
    item.line_width =
        s.line_width * std::max(column_length(s.ctm.a, s.ctm.b), column_length(s.ctm.c, s.ctm.d));
    item.fill_alpha = s.fill_alpha;
    item.stroke_alpha = s.stroke_alpha;
    item.sequence = next_sequence();
    item.even_odd = even_odd;
  }
  run.path.clear();
}

void Interpreter::set_graphics_state(Run& run, std::string_view name) {
  SharedObject states_holder, holder;
  const Dict* states = lookup_dict(file_, run.resources, "ExtGState", states_holder);
  const Dict* gs = states != nullptr ? lookup_dict(file_, *states, name, holder) : nullptr;
  if (gs == nullptr) return;
  State& s = run.state;
  SharedObject value_holder;
  if (const Object* lw = lookup(file_, *gs, "LW", value_holder)) {
    if (std::optional<float> v = number(*lw)) s.line_width = *v;
  }
  if (const Object* ca = lookup(file_, *gs, "ca", value_holder)) {
    if (std::optional<float> v = number(*ca)) s.fill_alpha = clamp01(*v);
  }
  if (const Object* ca = lookup(file_, *gs, "CA", value_holder)) {
    if (std::optional<float> v = number(*ca)) s.stroke_alpha = clamp01(*v);
  }
  // Only the size: the font itself would need a resource name that the state cannot give.
  if (const Object* font = lookup(file_, *gs, "Font", value_holder)) {
    const Array* entry = font->as_array();
    if (entry != nullptr && entry->size() > 1) {
      SharedObject size_holder;
      const Object* size = follow(file_, &(*entry)[1], size_holder);
      if (std::optional<float> v = size != nullptr ? number(*size) : std::nullopt) {
        s.font_size = *v;
      }
    }
  }
}

std::shared_ptr<const Font> Interpreter::font_for(const Dict& resources, std::string_view name) {
  SharedObject fonts_holder;
  const Dict* fonts = lookup_dict(file_, resources, "Font", fonts_holder);
  const Object* entry = fonts != nullptr ? fonts->get(name) : nullptr;
  if (entry == nullptr) return nullptr;
  const std::optional<Ref> ref = entry->as_ref();
  if (ref) {
    if (auto it = fonts_.find(ref->num); it != fonts_.end()) return it->second;
  }
  SharedObject holder;
  const Object* resolved = follow(file_, entry, holder);
  const Dict* dict = resolved != nullptr ? resolved->dict_or_stream_dict() : nullptr;
  if (dict == nullptr) return nullptr;
  if (!ref) return Font::load(file_, *dict);
  std::shared_ptr<const Font> font =
      document_.font(ref->num, [&] { return Font::load(file_, *dict); });
  fonts_.emplace(ref->num, font);
  return font;
}

std::shared_ptr<const Font> Interpreter::set_font(const Run& run, std::string_view name) {
  SharedObject fonts_holder;
  const Dict* fonts = lookup_dict(file_, run.resources, "Font", fonts_holder);
  const Object* entry = fonts != nullptr ? fonts->get(name) : nullptr;
  if (entry == nullptr || entry->is_ref()) return font_for(run.resources, name);
  const Dict* dict = entry->dict_or_stream_dict();
  if (dict == nullptr) return nullptr;
  if (auto it = direct_fonts_.find(dict); it != direct_fonts_.end()) return it->second.font;
  std::shared_ptr<const Font> font = Font::load(file_, *dict);
  direct_fonts_.emplace(dict, DirectFont{font, {run.owner, std::move(fonts_holder)}});
  return font;
}

size_t Interpreter::colorspace_components(const Dict& resources,
                                          std::span<const Object> operands) const {
  if (operands.empty() || !operands[0].is_name()) return 1;
  const std::string& name = *operands[0].as_name();
  if (name == "G" || name == "CalGray" || name == "DeviceGray") return 1;
  if (name == "RGB" || name == "Lab" || name == "CalRGB" || name == "DeviceRGB") return 3;
  if (name == "CMYK" || name == "DeviceCMYK") return 4;
  if (name == "Pattern") return 0;
  SharedObject spaces_holder, holder;
  const Dict* spaces = lookup_dict(file_, resources, "ColorSpace", spaces_holder);
  const Object* space = spaces != nullptr ? lookup(file_, *spaces, name, holder) : nullptr;
  return space != nullptr ? components_of(*space, 0) : 1;
}

size_t Interpreter::components_of(const Object& written, int depth) const {
  // Colour spaces nest only through arrays of arrays; this bounds a chain of them.
  constexpr int kMaxSpaceDepth = 4;
  if (depth > kMaxSpaceDepth) return 1;
  SharedObject holder;
  const Object* space = follow(file_, &written, holder);
  if (space == nullptr) return 1;
  if (const std::string* name = space->as_name()) {
    if (*name == "Lab" || *name == "CalRGB" || *name == "DeviceRGB") return 3;
    if (*name == "DeviceCMYK") return 4;
    return 1;
  }
  const Array* items = space->as_array();
  if (items == nullptr || items->empty()) return 1;
  SharedObject first_holder;
  const Object* first = follow(file_, &(*items)[0], first_holder);
  if (first == nullptr) return 1;
  if (const std::string* family = first->as_name()) {
    if (*family == "I" || *family == "Indexed") return 1;
    if (*family == "Lab" || *family == "CalRGB") return 3;
    if (*family == "CalGray" || *family == "Separation") return 1;
    if (*family == "Pattern") return 0;
    SharedObject second_holder;
    const Object* second = items->size() > 1 ? follow(file_, &(*items)[1], second_holder) : nullptr;
    if (*family == "DeviceN") {
      const Array* names = second != nullptr ? second->as_array() : nullptr;
      return names != nullptr ? names->size() : 1;
    }
    if (*family == "ICCBased") {
      const Stream* profile = second != nullptr ? second->as_stream() : nullptr;
      SharedObject n_holder;
      const Object* n = profile != nullptr ? lookup(file_, profile->dict, "N", n_holder) : nullptr;
      std::optional<int64_t> count = n != nullptr ? n->as_int() : std::nullopt;
      return count ? static_cast<size_t>(std::clamp<int64_t>(*count, 1, 4)) : 3;
    }
  }
  return components_of(*first, depth + 1);
}

void Interpreter::show(Run& run, std::span<const uint8_t> bytes) {
  const State& s = run.state;
  if (!s.font || !has_room()) return;
  const Font& font = *s.font;
  // No code is longer than four bytes: what lies beyond the page's remaining room for records
  // could not be recorded, so it is not decoded either.
  const size_t room = kMaxPageRecords - (glyphs_.size() + paths_.size() + images_.size());
  if (bytes.size() / 4 > room) bytes = bytes.first(room * 4);
  std::vector<CodeItem>& items = codes_[run.depth];
  font.decode(bytes, items);

  const bool type3 = font.kind == FontKind::Type3;
  const Matrix font_matrix{font.font_matrix[0], font.font_matrix[1], font.font_matrix[2],
                           font.font_matrix[3], font.font_matrix[4], font.font_matrix[5]};
  // Type 3 widths are in glyph space, which the font matrix maps to text space; all other widths
  // are thousandths of text space.
  const float width_scale = type3 ? font.font_matrix[0] : 0.001f;
  const float tfs = s.font_size;
  const float th = s.horizontal_scaling;
  const SharedName base_font(s.font, &font.base_name);

  for (CodeItem& item : items) {
    const Matrix text_to_user = concat(run.text_matrix, s.ctm);
    const Matrix trm = concat(Matrix{tfs * th, 0, 0, tfs, 0, s.rise}, text_to_user);
    const Point origin{trm.e, trm.f};
    const float width = item.width * width_scale * 1000;
    const float tx = (width / 1000 * tfs + s.char_spacing + (item.space ? s.word_spacing : 0)) * th;
    const Point advance{tx * text_to_user.a, tx * text_to_user.b};
    const Matrix glyph_matrix = concat(type3 ? font_matrix : Matrix::scale(0.001f, 0.001f), trm);

    if (has_room()) {
      const Rect bbox = glyph_box(font, item, glyph_matrix, trm, width);  // before the text moves
      const bool has_text = item.text.has_value();
      std::string text = has_text ? std::move(*item.text) : std::string();
      std::string raw;
      if (text.find(kSoftHyphen) != std::string::npos) {
        raw = text;
        remove_soft_hyphens(text);
      }
      const float size = column_length(trm.c, trm.d);
      const float angle = std::atan2(trm.b, trm.a);
      // Records are built in place: a Glyph is large enough for moves to show.
      auto fill_common = [&](Glyph& g) {
        g.font_name = s.font_name;
        g.base_font = base_font;
        g.code = item.code;
        g.cid = item.cid;
        g.width = width;
        g.is_space = item.space;
        g.glyph_matrix = glyph_matrix;
        g.flags = font.flags;
        g.angle = angle;
        g.render_mode = s.render_mode;
        g.color = s.fill;
        g.alpha = s.fill_alpha;
      };

      const float gap = origin.x - last_.end.x;
      if (!text.empty() && last_.present && last_.size > 0 && gap > 0.12f * last_.size &&
          std::fabs(origin.y - last_.origin_y) <= 0.1f * last_.size && !last_.blank &&
          !starts_with_white_space(text)) {
        // The space takes this glyph's attributes, apart from its place and its font.
        Glyph& space = glyphs_.emplace_back();
        fill_common(space);
        space.text.assign(1, ' ');
        space.origin = last_.end;
        space.bbox = {last_.end.x, last_.origin_y, origin.x, last_.origin_y + last_.size};
        space.advance = gap;
        space.size = last_.size;
        space.generated = true;
        space.sequence = next_sequence();
      }
      Glyph& glyph = glyphs_.emplace_back();
      fill_common(glyph);
      glyph.text = std::move(text);
      glyph.has_raw_text = has_text;
      glyph.raw_with_soft_hyphens = std::move(raw);
      glyph.origin = origin;
      glyph.bbox = bbox;
      glyph.font = s.font;
      glyph.advance = column_length(advance.x, advance.y);
      glyph.size = size;
      glyph.sequence = next_sequence();
      last_ = {
          true, {origin.x + advance.x, origin.y + advance.y}, origin.y, size, is_blank(glyph.text)};
    }

    if (type3 && run.depth < kMaxContentDepth) {
      run_glyph_procedure(run, font, item.code, glyph_matrix);
    }
    run.text_matrix = concat(Matrix::translate(tx, 0), run.text_matrix);
  }
}

void Interpreter::run_glyph_procedure(Run& run, const Font& font, uint32_t code,
                                      const Matrix& glyph_matrix) {
  const std::string_view name = font.glyph_name(code);
  if (name.empty()) return;
  const Object* entry = font.char_procs.get(name);
  if (entry == nullptr) return;
  SharedObject holder;
  const Object* resolved = follow(file_, entry, holder);
  const Stream* procedure = resolved != nullptr ? resolved->as_stream() : nullptr;
  if (procedure == nullptr) return;
  SharedBytes content = nested_content(*procedure, entry->as_ref());
  if (!content) return;
  State state = run.state;
  state.ctm = glyph_matrix;
  // A Type 3 font without resources of its own draws with those of the content showing it.
  if (font.resources.empty()) {
    run_content(*content, run.resources, run.owner, state, run.depth + 1);
  } else {
    run_content(*content, font.resources, run.state.font, state, run.depth + 1);
  }
}

SharedBytes Interpreter::nested_content(const Stream& stream, std::optional<Ref> ref) {
  if (nested_bytes_ >= kMaxNestedContent) return nullptr;
  SharedBytes bytes;
  if (ref) {
    if (auto it = content_cache_.find(ref->num); it != content_cache_.end()) bytes = it->second;
  }
  if (!bytes) {
    Result<Decoded> decoded = file_.decode(stream);
    if (!decoded) return nullptr;
    bytes = std::move(decoded->bytes);
    if (ref && bytes->size() <= kMaxCachedContent - cached_bytes_) {
      cached_bytes_ += bytes->size();
      content_cache_.emplace(ref->num, bytes);
    }
  }
  nested_bytes_ += std::max(bytes->size(), kNestedRunCharge);
  return bytes;
}

void Interpreter::draw_xobject(Run& run, std::string_view name) {
  SharedObject xobjects_holder, holder;
  const Dict* xobjects = lookup_dict(file_, run.resources, "XObject", xobjects_holder);
  const Object* entry = xobjects != nullptr ? xobjects->get(name) : nullptr;
  if (entry == nullptr) return;
  const std::optional<Ref> ref = entry->as_ref();
  const Object* resolved = follow(file_, entry, holder);
  const Stream* stream = resolved != nullptr ? resolved->as_stream() : nullptr;
  if (stream == nullptr) return;
  SharedObject subtype_holder;
  const Object* subtype = lookup(file_, stream->dict, "Subtype", subtype_holder);
  if (subtype == nullptr || !subtype->is_name()) return;
  if (subtype->is_name("Form")) {
    // What holds the form's stream alive: the file's object, or whatever holds the dictionary
    // it is written in.
    std::shared_ptr<const void> owner = holder            ? holder
                                        : xobjects_holder ? xobjects_holder
                                                          : run.owner;
    return draw_form(run, *stream, ref, std::move(owner));
  }
  if (!subtype->is_name("Image") || !has_room()) return;
  std::optional<ImageParams> params = image_params(stream->dict, nullptr);
  if (!params) return;
  if (ref) return push_image(std::string(name), run.state, *params, *ref);
  // A direct image stream lives only in its resources, so its data is taken now.
  Result<Decoded> decoded = file_.decode(*stream);
  if (!decoded) return;
  push_image(std::string(name), run.state, *params, std::move(*decoded));
}

void Interpreter::draw_form(Run& run, const Stream& form, std::optional<Ref> ref,
                            std::shared_ptr<const void> form_owner) {
  // A form drawing itself, directly or through others, is drawn once.
  if (ref && std::ranges::find(active_forms_, ref->num) != active_forms_.end()) return;
  if (run.depth >= kMaxContentDepth) return;  // its content would draw nothing
  SharedBytes content = nested_content(form, ref);
  if (!content) return;

  State state = run.state;
  SharedObject holder;
  if (const Object* matrix = lookup(file_, form.dict, "Matrix", holder)) {
    float m[6];
    if (array_numbers(file_, *matrix, m) == 6) {
      state.ctm = concat(Matrix{m[0], m[1], m[2], m[3], m[4], m[5]}, state.ctm);
    }
  }
  if (const Object* box = lookup(file_, form.dict, "BBox", holder)) {
    float v[4];
    if (array_numbers(file_, *box, v) == 4) {
      const Rect bbox{std::min(v[0], v[2]), std::min(v[1], v[3]), std::max(v[0], v[2]),
                      std::max(v[1], v[3])};
      const Rect clipped = intersect(state.clip, apply_rect(state.ctm, bbox));
      if (has_area(clipped)) state.clip = clipped;
    }
  }
  SharedObject resources_holder;
  const Dict* own = lookup_dict(file_, form.dict, "Resources", resources_holder);
  std::shared_ptr<const void> owner = resources_holder ? resources_holder
                                      : own != nullptr ? std::move(form_owner)
                                                       : run.owner;

  if (ref) active_forms_.push_back(ref->num);
  run_content(*content, own != nullptr ? *own : run.resources, std::move(owner), state,
              run.depth + 1);
  if (ref) active_forms_.pop_back();
}

std::optional<Interpreter::ImageParams> Interpreter::image_params(
    const Dict& dict, const Dict* inline_resources) const {
  ImageParams params;
  SharedObject holder;
  auto dimension = [&](std::string_view key) -> uint32_t {
    const Object* value = lookup(file_, dict, key, holder);
    std::optional<int64_t> n = value != nullptr ? value->as_int() : std::nullopt;
    return n ? clamp_u32(*n) : 0;
  };
  params.width = dimension("Width");
  params.height = dimension("Height");
  if (params.width == 0 || params.height == 0) return std::nullopt;
  const Object* mask = lookup(file_, dict, "ImageMask", holder);
  params.mask = mask != nullptr && mask->as_bool() == true;
  const Object* bits = lookup(file_, dict, "BitsPerComponent", holder);
  std::optional<int64_t> b = bits != nullptr ? bits->as_int() : std::nullopt;
  params.bits = b ? static_cast<uint8_t>(std::clamp<int64_t>(*b, 1, 16)) : (params.mask ? 1 : 8);
  if (params.mask) {
    params.components = 1;
    return params;
  }
  const Object* space = lookup(file_, dict, "ColorSpace", holder);
  size_t components = 1;
  if (space == nullptr) {
    components = components_of(Object(), 0);
  } else if (inline_resources != nullptr && space->is_name()) {
    components = colorspace_components(*inline_resources, std::span<const Object>(space, 1));
  } else {
    components = components_of(*space, 0);
  }
  params.components = static_cast<uint8_t>(std::clamp<size_t>(components, 1, 255));
  return params;
}

void Interpreter::push_image(std::string name, const State& state, const ImageParams& params,
                             ImageSource source) {
  ImageItem& image = images_.emplace_back();
  const Matrix& m = state.ctm;
  image.name = std::move(name);
  image.source = std::move(source);
  image.image_matrix = {m.a, m.b, -m.c, -m.d, m.c + m.e, m.d + m.f};
  image.bbox = apply_rect(m, Rect{0, 0, 1, 1});
  image.width = params.width;
  image.height = params.height;
  image.color = state.fill;
  image.alpha = state.fill_alpha;
  image.sequence = next_sequence();
  image.bits_per_component = params.bits;
  image.image_mask = params.mask;
  image.components = params.components;
}

void Interpreter::draw_inline_image(Run& run, Operation& op) {
  if (op.operands.empty() || !op.inline_data || !has_room()) return;
  const Dict* dict = op.operands[0].as_dict();
  if (dict == nullptr) return;
  std::optional<ImageParams> params = image_params(*dict, &run.resources);
  if (!params) return;
  auto raw = std::make_shared<const Bytes>(std::move(*op.inline_data));
  Result<Decoded> decoded = decode(*dict, raw, FileResolver(file_));
  if (!decoded) return;
  push_image("inline", run.state, *params, std::move(*decoded));
}

}  // namespace kestrum
