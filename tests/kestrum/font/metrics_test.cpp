#include "kestrum/font/metrics.h"

#include <string_view>

#include <gtest/gtest.h>

namespace kestrum {
namespace {

TEST(Metrics, FacesChosenByNameHints) {
  struct Case {
    std::string_view base_name;
    std::string_view glyph;
    std::optional<float> want;
    const char* why;
  };
  const Case kCases[] = {
      {"Helvetica", "a", 556, "Helvetica"},
      {"ABCDEF+Times-Bold", "a", 500, "subset tag dropped, Times-Bold"},
      {"Times-Roman", "a", 444, "Times-Roman"},
      {"Times-Italic", "W", 833, "Times-Italic"},
      {"Times-BoldItalic", "W", 889, "Times-BoldItalic"},
      {"Arial,Bold", "A", 722, "Helvetica-Bold for any other name"},
      {"Helvetica-Oblique", "W", 944, "italic does not change Helvetica"},
      {"Courier", "a", 600, "fixed pitch"},
      {"DejaVuSansMono", "anything", 600, "every glyph of a mono face"},
      {"LiberationSerif", "space", 250, "serif selects Times"},
      {"NewCenturySchlbk-Roman", "at", 921, "roman selects Times"},
      {"Symbol", "a", std::nullopt, "symbol faces have no built-in widths"},
      {"ZapfDingbats", "a", std::nullopt, "nor dingbats"},
      {"Helvetica", "quotesingle", 191, "quotesingle, not quoteright"},
      {"Times-Bold", "grave", 333, "grave, not quoteleft"},
      {"Helvetica-Black", "at", 975, "black is bold"},
      {"Helvetica", "quoteright", std::nullopt, "U+2019 is outside printable ASCII"},
      {"Helvetica", "eacute", std::nullopt, "accented letters are outside it too"},
      {"Helvetica", "A.sc", 667, "a suffixed name reads as its base"},
      {"Helvetica", "uni0041", 667, "uni names"},
      {"Helvetica", "", std::nullopt, "no glyph name"},
      {"", "space", 278, "no base name: Helvetica"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(builtin_width(c.base_name, c.glyph), c.want)
        << c.base_name << " " << c.glyph << ": " << c.why;
  }
}

TEST(Metrics, TableRows) {
  // Faces in table order: Helvetica, -Bold, Times-Roman, -Bold, -Italic, -BoldItalic.
  const uint16_t kSpace[] = {278, 278, 250, 250, 250, 250};
  const uint16_t kA[] = {556, 556, 444, 500, 500, 500};
  const uint16_t kW[] = {944, 944, 944, 1000, 833, 889};
  const uint16_t kQuote[] = {191, 238, 180, 278, 214, 278};
  const uint16_t kAt[] = {1015, 975, 921, 930, 920, 832};
  const uint16_t kTilde[] = {584, 584, 541, 520, 541, 570};
  for (int face = 0; face < 6; ++face) {
    auto f = static_cast<MetricsFace>(face);
    EXPECT_EQ(core14_width(f, U' '), kSpace[face]) << face;
    EXPECT_EQ(core14_width(f, U'a'), kA[face]) << face;
    EXPECT_EQ(core14_width(f, U'W'), kW[face]) << face;
    EXPECT_EQ(core14_width(f, U'\''), kQuote[face]) << face;
    EXPECT_EQ(core14_width(f, U'`'), 333) << face;
    EXPECT_EQ(core14_width(f, U'@'), kAt[face]) << face;
    EXPECT_EQ(core14_width(f, U'~'), kTilde[face]) << face;
    EXPECT_EQ(core14_width(f, 0x7F), std::nullopt);
    EXPECT_EQ(core14_width(f, 0x1F), std::nullopt);
  }
}

}  // namespace
}  // namespace kestrum
