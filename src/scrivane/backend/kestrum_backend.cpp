#include "scrivane/backend/kestrum_backend.h"

#include <fmt/format.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <thread>
#include <unordered_map>

#include "kestrum/document.h"
#include "kestrum/font/font.h"
#include "kestrum/page.h"
#include "scrivane/parallel.h"
#include "scrivane/text/unicode.h"

namespace scrivane {

// A page converted without the document's font table: its glyphs' font ids index `names`, the
// page's own font names in the order of first use.
struct PreparedPage {
  std::expected<PageRaw, Error> raw = PageRaw{};
  FontTable names;
};

struct KestrumBackend::Reader {
  kestrum::Document document;
  // Pages read ahead of a sequential walk, by index, and where the walk is expected next.
  std::unordered_map<size_t, PreparedPage> ahead;
  size_t next = 0;
};

namespace {

// From PDF user space (y up) to page space: top-left origin, y down, /Rotate applied.
class PageTransform {
 public:
  PageTransform(const kestrum::Rect& crop, int32_t rotate)
      : x0_(std::fmin(crop.x0, crop.x1)),
        y0_(std::fmin(crop.y0, crop.y1)),
        x1_(std::fmax(crop.x0, crop.x1)),
        y1_(std::fmax(crop.y0, crop.y1)),
        rotation_(((rotate % 360) + 360) % 360) {
    width_ = x1_ - x0_;
    height_ = y1_ - y0_;
    // A quarter turn exchanges the sides; so does any /Rotate that is not a multiple of 180,
    // although only the multiples of 90 change the mapping.
    if (rotate % 180 != 0) std::swap(width_, height_);
  }

  Point point(float x, float y) const {
    switch (rotation_) {
      case 90:
        return {y - y0_, x - x0_};
      case 180:
        return {x1_ - x, y - y0_};
      case 270:
        return {y1_ - y, x1_ - x};
      default:
        return {x - x0_, y1_ - y};
    }
  }
  Point direction(float dx, float dy) const {
    switch (rotation_) {
      case 90:
        return {dy, dx};
      case 180:
        return {-dx, dy};
      case 270:
        return {-dy, -dx};
      default:
        return {dx, -dy};
    }
  }
  Rect rect(const kestrum::Rect& r) const {
    Point a = point(r.x0, r.y0);
    Point b = point(r.x1, r.y1);
    return {std::fmin(a.x, b.x), std::fmin(a.y, b.y), std::fmax(a.x, b.x), std::fmax(a.y, b.y)};
  }

  float width() const { return width_; }
  float height() const { return height_; }
  int32_t rotation() const { return rotation_; }

 private:
  float x0_, y0_, x1_, y1_;
  int32_t rotation_;
  float width_ = 0, height_ = 0;
};

bool finite(const Rect& r) {
  return std::isfinite(r.x0) && std::isfinite(r.y0) && std::isfinite(r.x1) && std::isfinite(r.y1);
}

// Clips `r` to the page; false when nothing with positive height and width is left.
bool clip_to_page(Rect& r, float width, float height) {
  r.y0 = std::fmax(r.y0, 0.0f);
  r.y1 = std::fmin(r.y1, height);
  if (!(r.y1 > r.y0)) return false;
  r.x0 = std::fmax(r.x0, 0.0f);
  r.x1 = std::fmin(r.x1, width);
  return r.x1 > r.x0;
}

// At least one code point of 32 or more outside 127..159: controls alone never reach the page.
bool has_printable(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    char32_t c = next_scalar(text, i);
    if (c >= 32 && !(c >= 127 && c <= 159)) return true;
  }
  return false;
}

// The letters of the presentation-form ligatures U+FB00..U+FB06, or null.
const char* ligature_letters(char32_t c) {
  static constexpr const char* kLetters[] = {"ff", "fi", "fl", "ffi", "ffl", "st", "st"};
  return c >= 0xFB00 && c <= 0xFB06 ? kLetters[c - 0xFB00] : nullptr;
}

// `text` with its ligature characters spelt out; `text` itself when it has none.
std::string_view expand_ligatures(std::string_view text, std::string& scratch) {
  bool any = false;
  for (size_t i = 0; i < text.size() && !any;) any = ligature_letters(next_scalar(text, i));
  if (!any) return text;
  scratch.clear();
  for (size_t i = 0; i < text.size();) {
    size_t start = i;
    char32_t c = next_scalar(text, i);
    if (const char* letters = ligature_letters(c)) {
      scratch += letters;
    } else {
      scratch.append(text.substr(start, i - start));
    }
  }
  return scratch;
}

uint16_t glyph_flags(uint16_t reader) {
  uint16_t flags = 0;
  if (reader & kestrum::kFontItalic) flags |= kFlagItalic;
  if (reader & kestrum::kFontSerif) flags |= kFlagSerif;
  if (reader & kestrum::kFontSymbolic) flags |= kFlagSymbolic;
  if (reader & kestrum::kFontFixedPitch) flags |= kFlagFixedPitch;
  if (reader & kestrum::kFontBold) flags |= kFlagBold;
  return flags;
}

// A size from the glyph's box when the reader has none: the extent across the baseline is
// about 0.7 of the size.
float estimated_size(const Rect& box, float angle) {
  float degrees = std::fmod(angle * 57.29578f, 180.0f);
  if (degrees < 0) degrees += 180.0f;
  float extent = std::fabs(degrees - 90.0f) >= 45.0f ? box.height() : box.width();
  return std::isfinite(extent) && extent > 0 ? extent / 0.7f : 1.0f;
}

void convert_glyphs(const kestrum::Page& page, const PageTransform& space, FontTable& fonts,
                    PageRaw& out) {
  std::string_view last_name;
  bool have_last = false;
  FontId id = 0;
  uint16_t flags = 0;
  std::string scratch;
  out.glyphs.reserve(page.glyphs.size());
  for (const kestrum::Glyph& g : page.glyphs) {
    if (!has_printable(g.text)) continue;
    std::string_view name = g.base_font.empty() ? g.font_name.view() : g.base_font.view();
    if (!have_last || name != last_name) {
      id = fonts.intern(name);
      flags = glyph_flags(g.flags);
      last_name = name;
      have_last = true;
    }
    Glyph glyph;
    glyph.bbox = space.rect(g.bbox);
    glyph.origin = space.point(g.origin.x, g.origin.y);
    Point dir = space.direction(std::cos(g.angle), std::sin(g.angle));
    glyph.angle = dir.x == 0 && dir.y == 0 ? 0.0f : std::atan2(dir.y, dir.x);
    glyph.text = out.add_expansion(expand_ligatures(g.text, scratch));
    glyph.font = id;
    glyph.flags = flags;
    glyph.size =
        std::isfinite(g.size) && g.size > 0 ? g.size : estimated_size(glyph.bbox, glyph.angle);
    glyph.color = pack_rgba(g.color.r, g.color.g, g.color.b, g.alpha);
    glyph.generated = g.generated;
    out.glyphs.push_back(glyph);
  }
}

using Segment = kestrum::PathSegment;

bool near(float a, float b) {
  return std::fabs(a - b) <= 0.01f;
}

// A closed axis-aligned quadrilateral drawn with straight lines, tested on user-space points.
bool is_box(std::span<const Segment> piece) {
  Point points[5];
  size_t n = 0;
  for (const Segment& s : piece) {
    switch (s.kind) {
      case Segment::Kind::MoveTo:
        if (n > 0) return false;
        points[n++] = {s.p[0].x, s.p[0].y};
        break;
      case Segment::Kind::LineTo:
        if (n > 0 && near(s.p[0].x, points[n - 1].x) && near(s.p[0].y, points[n - 1].y)) break;
        if (n == 5) return false;
        points[n++] = {s.p[0].x, s.p[0].y};
        break;
      case Segment::Kind::CurveTo:
        return false;
      case Segment::Kind::Close:
        break;
    }
  }
  if (n < 2) return false;
  if (near(points[n - 1].x, points[0].x) && near(points[n - 1].y, points[0].y)) --n;
  if (n != 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    const Point& a = points[i];
    const Point& b = points[(i + 1) % 4];
    if (!near(a.x, b.x) && !near(a.y, b.y)) return false;
  }
  return true;
}

void convert_piece(const kestrum::PathItem& path, std::span<const Segment> piece,
                   const PageTransform& space, PageRaw& out) {
  float x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
  bool any = false;
  for (const Segment& s : piece) {
    for (int k = 0; k < s.points(); ++k) {
      x0 = std::fmin(x0, s.p[k].x);
      y0 = std::fmin(y0, s.p[k].y);
      x1 = std::fmax(x1, s.p[k].x);
      y1 = std::fmax(y1, s.p[k].y);
      any = true;
    }
  }
  if (!any) return;
  bool filled = path.fill.has_value();
  bool stroked = path.stroke.has_value();
  if (stroked) {
    float grow = std::fmax(path.line_width, 0.1f) / 2;
    x0 -= grow, y0 -= grow, x1 += grow, y1 += grow;
  }
  Rect box = space.rect({x0, y0, x1, y1});
  if (!finite(box) || !clip_to_page(box, space.width(), space.height())) return;

  PathItem item;
  item.bbox = box;
  float w = box.width(), h = box.height();
  if (h <= 3 && w >= 3 * h) {
    item.kind = PathKind::HorizontalRule;
  } else if (w <= 3 && h >= 3 * w) {
    item.kind = PathKind::VerticalRule;
  } else if ((filled || stroked) && is_box(piece)) {
    item.kind = PathKind::Box;
  } else {
    item.kind = PathKind::Other;
  }
  item.thickness = std::fmin(w, h);
  item.filled = filled;
  item.stroked = stroked;
  kestrum::Rgb rgb = filled ? *path.fill : stroked ? *path.stroke : kestrum::Rgb{};
  float alpha = filled ? path.fill_alpha : path.stroke_alpha;
  item.color = pack_rgba(rgb.r, rgb.g, rgb.b, alpha);
  out.paths.push_back(item);
}

void convert_paths(const kestrum::Page& page, const PageTransform& space, PageRaw& out) {
  for (const kestrum::PathItem& path : page.paths) {
    std::span<const Segment> segments(path.segments);
    // Stroked outlines are often several rules in one path (underlines, table lines): each
    // subpath is a drawing of its own. Filled paths stay whole.
    if (!(path.stroke && !path.fill)) {
      convert_piece(path, segments, space, out);
      continue;
    }
    size_t start = 0;
    for (size_t i = 1; i <= segments.size(); ++i) {
      if (i == segments.size() || segments[i].kind == Segment::Kind::MoveTo) {
        if (i > start) convert_piece(path, segments.subspan(start, i - start), space, out);
        start = i;
      }
    }
  }
}

void convert_images(const kestrum::Page& page, const PageTransform& space, PageRaw& out) {
  for (size_t i = 0; i < page.images.size(); ++i) {
    const kestrum::ImageItem& image = page.images[i];
    Rect box = space.rect(image.bbox);
    if (!finite(box) || !clip_to_page(box, space.width(), space.height())) continue;
    out.images.push_back({box, i, image.width, image.height});
  }
}

}  // namespace

KestrumBackend::KestrumBackend(std::filesystem::path path, std::unique_ptr<Reader> reader)
    : path_(std::move(path)), reader_(std::move(reader)) {}

KestrumBackend::~KestrumBackend() = default;

std::expected<std::unique_ptr<KestrumBackend>, Error> KestrumBackend::open_with_password(
    const std::filesystem::path& path, std::optional<std::string> password) {
  auto fail = [&](const std::string& reason) {
    return std::unexpected(Error::pdf_open(fmt::format("{}: {}", path.string(), reason)));
  };
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail(os_error_text(std::error_code(errno, std::system_category())));
  std::error_code code;
  if (std::filesystem::is_directory(path, code))
    return fail(os_error_text(std::make_error_code(std::errc::is_a_directory)));
  kestrum::Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return fail(os_error_text(std::make_error_code(std::errc::io_error)));

  std::span<const uint8_t> secret;
  if (password) secret = {reinterpret_cast<const uint8_t*>(password->data()), password->size()};
  auto document = kestrum::Document::from_bytes(std::move(bytes), secret);
  if (!document) return fail(document.error().message());
  auto reader = std::make_unique<Reader>(Reader{std::move(*document), {}, 0});
  return std::unique_ptr<KestrumBackend>(new KestrumBackend(path, std::move(reader)));
}

size_t KestrumBackend::page_count() const {
  return reader_->document.page_count();
}

namespace {

PreparedPage prepare(const kestrum::Document& document, size_t index) {
  PreparedPage prepared;
  auto page = document.page(index);
  if (!page) {
    prepared.raw = std::unexpected(Error::pdf_page(index, page.error().message()));
    return prepared;
  }
  PageTransform space(page->crop_box, page->rotate);
  PageRaw& out = *prepared.raw;
  out.index = index;
  out.width = space.width();
  out.height = space.height();
  out.rotation = space.rotation();
  convert_glyphs(*page, space, prepared.names, out);
  convert_paths(*page, space, out);
  convert_images(*page, space, out);
  return prepared;
}

// Interning the page's names in their order of first use gives every name the id a page-by-page
// walk would have given it.
std::expected<PageRaw, Error> finish(PreparedPage prepared, FontTable& fonts) {
  if (!prepared.raw) return prepared.raw;
  std::vector<FontId> ids;
  ids.reserve(prepared.names.names.size());
  for (const std::string& name : prepared.names.names) ids.push_back(fonts.intern(name));
  for (Glyph& glyph : prepared.raw->glyphs) glyph.font = ids[glyph.font];
  return prepared.raw;
}

}  // namespace

std::expected<PageRaw, Error> KestrumBackend::page(size_t index, FontTable& fonts) {
  if (index >= page_count()) return std::unexpected(Error::page_out_of_range(index));
  Reader& reader = *reader_;
  // Pages asked for in order are interpreted ahead, several at once on the pool: interpretation
  // is the costly part and pages share nothing but the reader's locked caches. Only the font
  // names are given their ids here, one page after another, so ids stay those of a sequential
  // walk. Any other order interprets just the page asked for.
  if (index == reader.next && !reader.ahead.contains(index)) {
    size_t window = std::max<size_t>(2, 2 * std::thread::hardware_concurrency());
    size_t end = std::min(page_count(), index + window);
    std::vector<PreparedPage> batch = parallel_map_index(
        end - index, [&](size_t k) { return prepare(reader.document, index + k); });
    for (size_t k = 0; k < batch.size(); ++k) reader.ahead.emplace(index + k, std::move(batch[k]));
  }
  reader.next = index + 1;
  if (auto it = reader.ahead.find(index); it != reader.ahead.end()) {
    PreparedPage prepared = std::move(it->second);
    reader.ahead.erase(it);
    return finish(std::move(prepared), fonts);
  }
  return finish(prepare(reader.document, index), fonts);
}

std::expected<std::vector<uint8_t>, Error> KestrumBackend::render_region(size_t index, const Rect&,
                                                                         float) {
  if (index >= page_count()) return std::unexpected(Error::page_out_of_range(index));
  return std::unexpected(Error::pdf_page(index, "region rendering is not available yet"));
}

}  // namespace scrivane
