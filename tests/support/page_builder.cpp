#include "support/page_builder.h"

#include <unicode/utf8.h>

#include <algorithm>

namespace testing_support {

using scrivane::Glyph;
using scrivane::GlyphText;
using scrivane::Rect;

PageBuilder::PageBuilder(float width, float height) {
  page_.width = width;
  page_.height = height;
}

float PageBuilder::text(const Run& run) {
  float advance = run.advance > 0 ? run.advance : 0.5f * run.size;
  float x = run.x;
  auto length = static_cast<int32_t>(run.text.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(run.text.data(), i, length, c);
    if (c < 0) c = 0xFFFD;
    if (c != ' ' || run.spaces) {
      Glyph g;
      g.text = GlyphText::character(static_cast<char32_t>(c));
      g.bbox =
          Rect{x, run.baseline - 0.75f * run.size, x + advance, run.baseline + 0.25f * run.size};
      g.origin = {x, run.baseline};
      g.size = run.size;
      g.angle = run.angle;
      g.flags = run.flags;
      g.color = 0xFF000000;
      page_.glyphs.push_back(g);
    }
    x += advance + run.gap;
  }
  return x;
}

PageBuilder& PageBuilder::glyph(char32_t c, Rect box, float baseline, float size, uint16_t flags) {
  Glyph g;
  g.text = GlyphText::character(c);
  g.bbox = box;
  g.origin = {box.x0, baseline};
  g.size = size;
  g.flags = flags;
  g.color = 0xFF000000;
  page_.glyphs.push_back(g);
  return *this;
}

PageBuilder& PageBuilder::image(Rect box) {
  scrivane::ImageItem item;
  item.bbox = box;
  item.object_index = page_.images.size();
  item.pixel_width = 100;
  item.pixel_height = 100;
  page_.images.push_back(item);
  return *this;
}

PageBuilder& PageBuilder::path(Rect box, scrivane::PathKind kind) {
  scrivane::PathItem item;
  item.bbox = box;
  item.kind = kind;
  item.thickness = std::min(box.width(), box.height());
  item.stroked = true;
  item.color = 0xFF000000;
  page_.paths.push_back(item);
  return *this;
}

}  // namespace testing_support
