// Built-in advance widths for fonts that omit /Widths: the six Helvetica and Times faces for
// printable ASCII, and 600 for every glyph of a fixed-pitch font. Pure; no width is an answer.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrum {

enum class MetricsFace : uint8_t {
  Helvetica,
  HelveticaBold,
  TimesRoman,
  TimesBold,
  TimesItalic,
  TimesBoldItalic,
};

// The width of a printable ASCII character (U+0020..U+007E) in one of the six faces.
std::optional<uint16_t> core14_width(MetricsFace face, char32_t c);

// The width, in thousandths of an em, of `glyph_name` in the metrics that `base_name` selects:
// 600 when the name hints at a fixed-pitch face, otherwise Times or Helvetica by the name's
// style hints, none for symbol and dingbat faces or glyphs outside printable ASCII.
std::optional<float> builtin_width(std::string_view base_name, std::string_view glyph_name);

}  // namespace kestrum
