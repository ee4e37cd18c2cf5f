#include "scrivane/ir.h"

#include <cmath>

namespace scrivane {

namespace {

uint32_t channel(float c) {
  if (!(c > 0)) return 0;  // below 0, and NaN
  if (c >= 1) return 255;
  return static_cast<uint32_t>(std::lround(c * 255.0f));
}

// Decodes one scalar value from valid UTF-8; returns false unless `text` is exactly one.
bool single_scalar(std::string_view text, char32_t& out) {
  if (text.empty()) return false;
  auto b0 = static_cast<unsigned char>(text[0]);
  size_t len = b0 < 0x80 ? 1 : (b0 >> 5) == 6 ? 2 : (b0 >> 4) == 14 ? 3 : (b0 >> 3) == 30 ? 4 : 0;
  if (len == 0 || text.size() != len) return false;
  char32_t c = len == 1 ? b0 : len == 2 ? (b0 & 0x1F) : len == 3 ? (b0 & 0x0F) : (b0 & 0x07);
  for (size_t i = 1; i < len; ++i) {
    auto b = static_cast<unsigned char>(text[i]);
    if ((b >> 6) != 2) return false;
    c = (c << 6) | (b & 0x3F);
  }
  out = c;
  return true;
}

}  // namespace

Rgba pack_rgba(float r, float g, float b, float a) {
  return (channel(a) << 24) | (channel(r) << 16) | (channel(g) << 8) | channel(b);
}

void append_utf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string utf8_lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    auto b0 = static_cast<unsigned char>(bytes[i]);
    if (b0 < 0x80) {
      out.push_back(static_cast<char>(b0));
      ++i;
      continue;
    }
    // The accepted ranges of the second byte keep out overlongs and surrogates.
    size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF)
      len = 2;
    else if (b0 >= 0xE0 && b0 <= 0xEF) {
      len = 3;
      if (b0 == 0xE0) lo = 0xA0;
      if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      len = 4;
      if (b0 == 0xF0) lo = 0x90;
      if (b0 == 0xF4) hi = 0x8F;
    }
    size_t good = 1;
    while (len > 0 && good < len && i + good < bytes.size()) {
      auto b = static_cast<unsigned char>(bytes[i + good]);
      if (good == 1 ? (b < lo || b > hi) : (b >> 6) != 2) break;
      ++good;
    }
    if (len > 0 && good == len) {
      out.append(bytes.substr(i, len));
      i += len;
    } else {
      out.append("\xEF\xBF\xBD");
      i += good;
    }
  }
  return out;
}

GlyphText PageRaw::add_expansion(std::string_view text) {
  char32_t c;
  if (single_scalar(text, c)) return GlyphText::character(c);
  expansions.emplace_back(text);
  return GlyphText::expanded(static_cast<uint32_t>(expansions.size() - 1));
}

std::string_view PageRaw::text_of(const Glyph& glyph, std::string& scratch) const {
  if (glyph.text.kind == GlyphTextKind::Expanded) {
    if (glyph.text.value < expansions.size()) return expansions[glyph.text.value];
    return {};
  }
  scratch.clear();
  append_utf8(scratch, glyph.text.value);
  return scratch;
}

std::string PageRaw::text_of(const Glyph& glyph) const {
  std::string scratch;
  return std::string(text_of(glyph, scratch));
}

FontId FontTable::intern(std::string_view name) {
  if (auto it = index_.find(name); it != index_.end()) return it->second;
  auto id = static_cast<FontId>(names.size());
  names.emplace_back(name);
  index_.emplace(names.back(), id);
  return id;
}

std::string_view FontTable::name(FontId id) const {
  return id < names.size() ? std::string_view(names[id]) : std::string_view();
}

const char* path_kind_name(PathKind kind) {
  switch (kind) {
    case PathKind::HorizontalRule:
      return "HorizontalRule";
    case PathKind::VerticalRule:
      return "VerticalRule";
    case PathKind::Box:
      return "Box";
    case PathKind::Other:
      return "Other";
  }
  return "Other";
}

void write_json(JsonWriter& out, const Rect& rect) {
  out.begin_object();
  out.member("x0", rect.x0);
  out.member("y0", rect.y0);
  out.member("x1", rect.x1);
  out.member("y1", rect.y1);
  out.end_object();
}

void write_json(JsonWriter& out, const Glyph& glyph) {
  out.begin_object();
  out.key("text");
  out.begin_object();
  if (glyph.text.kind == GlyphTextKind::Char) {
    std::string ch;
    append_utf8(ch, glyph.text.value);
    out.member("Char", std::string_view(ch));
  } else {
    out.member_unsigned("Expanded", glyph.text.value);
  }
  out.end_object();
  out.key("bbox");
  write_json(out, glyph.bbox);
  out.key("origin");
  out.begin_object();
  out.member("x", glyph.origin.x);
  out.member("y", glyph.origin.y);
  out.end_object();
  out.member_unsigned("font", glyph.font);
  out.member("size", glyph.size);
  out.member("angle", glyph.angle);
  out.member_unsigned("flags", glyph.flags);
  out.member_unsigned("color", glyph.color);
  out.member("generated", glyph.generated);
  out.end_object();
}

void write_json(JsonWriter& out, const PathItem& path) {
  out.begin_object();
  out.key("bbox");
  write_json(out, path.bbox);
  out.member("kind", path_kind_name(path.kind));
  out.member("thickness", path.thickness);
  out.member_unsigned("color", path.color);
  out.member("filled", path.filled);
  out.member("stroked", path.stroked);
  out.end_object();
}

void write_json(JsonWriter& out, const ImageItem& image) {
  out.begin_object();
  out.key("bbox");
  write_json(out, image.bbox);
  out.member_unsigned("object_index", image.object_index);
  out.member_unsigned("pixel_width", image.pixel_width);
  out.member_unsigned("pixel_height", image.pixel_height);
  out.end_object();
}

void write_json(JsonWriter& out, const PageRaw& page) {
  out.begin_object();
  out.member_unsigned("index", page.index);
  out.member("width", page.width);
  out.member("height", page.height);
  out.member_integer("rotation", page.rotation);
  out.key("glyphs");
  out.begin_array();
  for (const Glyph& glyph : page.glyphs) write_json(out, glyph);
  out.end_array();
  out.key("paths");
  out.begin_array();
  for (const PathItem& path : page.paths) write_json(out, path);
  out.end_array();
  out.key("images");
  out.begin_array();
  for (const ImageItem& image : page.images) write_json(out, image);
  out.end_array();
  out.key("expansions");
  out.begin_array();
  for (const std::string& text : page.expansions) out.string(text);
  out.end_array();
  out.end_object();
}

void write_json(JsonWriter& out, const FontTable& fonts) {
  out.begin_object();
  out.key("names");
  out.begin_array();
  for (const std::string& name : fonts.names) out.string(name);
  out.end_array();
  out.end_object();
}

void write_json(JsonWriter& out, const DocRaw& doc) {
  out.begin_object();
  out.key("fonts");
  write_json(out, doc.fonts);
  out.key("pages");
  out.begin_array();
  for (const PageRaw& page : doc.pages) write_json(out, page);
  out.end_array();
  out.end_object();
}

}  // namespace scrivane
