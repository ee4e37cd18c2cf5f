#include "kestrum/font/metrics.h"

#include <string>

#include "kestrum/font/core14_widths.h"
#include "kestrum/font/encoding.h"

namespace kestrum {

namespace {

bool has_any(std::string_view base_name, std::initializer_list<std::string_view> hints) {
  for (std::string_view hint : hints) {
    if (base_name_has(base_name, hint)) return true;
  }
  return false;
}

}  // namespace

std::optional<uint16_t> core14_width(MetricsFace face, char32_t c) {
  if (c < 0x20 || c > 0x7E) return std::nullopt;
  return kCore14Widths[c - 0x20][static_cast<size_t>(face)];
}

std::optional<float> builtin_width(std::string_view base_name, std::string_view glyph_name) {
  constexpr float kFixedPitchWidth = 600;
  if (has_any(base_name, {"courier", "mono"})) return kFixedPitchWidth;
  bool bold = has_any(base_name, {"bold", "black", "heavy"});
  bool italic = has_any(base_name, {"italic", "oblique"});
  MetricsFace face;
  if (has_any(base_name, {"times", "serif", "roman"})) {
    face = bold ? (italic ? MetricsFace::TimesBoldItalic : MetricsFace::TimesBold)
                : (italic ? MetricsFace::TimesItalic : MetricsFace::TimesRoman);
  } else if (has_any(base_name, {"symbol", "dingbat", "zapf"})) {
    return std::nullopt;
  } else {
    face = bold ? MetricsFace::HelveticaBold : MetricsFace::Helvetica;
  }
  std::optional<std::string> text = glyph_name_to_unicode(glyph_name);
  if (!text || text->size() != 1) return std::nullopt;
  std::optional<uint16_t> width = core14_width(face, static_cast<unsigned char>((*text)[0]));
  if (!width) return std::nullopt;
  return static_cast<float>(*width);
}

}  // namespace kestrum
