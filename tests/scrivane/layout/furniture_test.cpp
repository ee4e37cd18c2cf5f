#include "scrivane/layout/furniture.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scrivane::layout {
namespace {

constexpr float kHeight = 792;

// A line whose words are the blank-separated parts of `text`, with its baseline at the given
// share of the page height.
Line make_line(std::string_view text, float relative_height = 0.5f) {
  Line line;
  line.baseline = relative_height * kHeight;
  line.bbox = {72, line.baseline - 8, 540, line.baseline + 2};
  line.size = 10;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = std::min(text.find(' ', at), text.size());
    line.words.push_back({std::string(text.substr(at, end - at)), line.bbox, 0, 0});
    at = end + 1;
  }
  return line;
}

Line top(std::string_view text) {
  return make_line(text, 0.05f);
}
Line bottom(std::string_view text) {
  return make_line(text, 0.95f);
}
Line body(std::string_view text) {
  return make_line(text, 0.5f);
}

std::vector<std::string> texts(const std::vector<Line>& lines) {
  std::vector<std::string> out;
  for (const Line& line : lines) out.push_back(line.text());
  return out;
}

// `count` pages, each with a body line "body i" and whatever `furnish` adds.
template <class F>
std::vector<std::vector<Line>> document(size_t count, F&& furnish) {
  std::vector<std::vector<Line>> pages(count);
  for (size_t i = 0; i < count; ++i) {
    pages[i].push_back(body("body " + std::to_string(i)));
    furnish(i, pages[i]);
  }
  return pages;
}

std::vector<float> heights(size_t count) {
  return std::vector<float>(count, kHeight);
}

TEST(Furniture, SignatureFoldsCaseSpacingAndNumbers) {
  struct Case {
    std::string_view text;
    std::string_view want;
    const char* why;
  };
  const Case kCases[] = {
      {"Page 12 of 30", "page#of#", "numbers become #, blanks vanish, case folds"},
      {"1 2", "##", "a blank between digits starts a new number"},
      {"a1b22c", "a#b#c", "a run of digits is one #"},
      {"PAGE  12", "page#", "an empty word between two blanks changes nothing"},
      {"Vol.\u00a07\u2003(2021)", "vol.#(#)", "Unicode white space is dropped too"},
      {"\u0130stanbul", "i\u0307stanbul", "dotted capital I lowercases to two characters"},
      {"\u03a3\u0391\u03a3", "\u03c3\u03b1\u03c3", "each character mapped alone, no final sigma"},
      {"\uff11\uff12", "\uff11\uff12", "only ASCII digits are numbers"},
      {"", "", "an empty line"},
  };
  for (const Case& c : kCases) EXPECT_EQ(signature(make_line(c.text)), c.want) << c.why;
  EXPECT_EQ(signature(make_line("Page 3")), signature(make_line("PAGE  12")));
}

TEST(Furniture, SignatureReadsABrokenSequenceAsOneCharacter) {
  EXPECT_EQ(signature(make_line("a\xE2\x80"
                                "b\xC3")),
            "a\uFFFDb\uFFFD");
}

TEST(Furniture, BandsByRelativeBaseline) {
  auto at = [](float baseline) {
    Line line;
    line.baseline = baseline;
    return line;
  };
  EXPECT_EQ(edge_of(at(12), 100), Edge::Top) << "0.12 is still the top band";
  EXPECT_EQ(edge_of(at(12.5f), 100), std::nullopt);
  EXPECT_EQ(edge_of(at(88), 100), Edge::Bottom) << "0.88 is already the bottom band";
  EXPECT_EQ(edge_of(at(87.5f), 100), std::nullopt);
  EXPECT_EQ(edge_of(at(5), 0), std::nullopt) << "no bands without a height";
  EXPECT_EQ(edge_of(at(std::numeric_limits<float>::quiet_NaN()), 100), std::nullopt);
}

TEST(Furniture, ThreePagesAreLeftAlone) {
  auto pages = document(3, [](size_t i, auto& lines) {
    lines.push_back(top("Journal of Things"));
    lines.push_back(bottom(std::to_string(i + 1)));
  });
  EXPECT_EQ(strip(pages, heights(3)), 0u);
  for (const auto& lines : pages) EXPECT_EQ(lines.size(), 3u);
}

TEST(Furniture, PageNumbersOnFourPages) {
  auto pages = document(4, [](size_t i, auto& lines) {
    lines.insert(lines.begin(), top("A paper about things"));
    lines.push_back(bottom(std::to_string(i + 3)));
  });
  EXPECT_EQ(strip(pages, heights(4)), 8u);
  for (size_t i = 0; i < 4; ++i)
    EXPECT_EQ(texts(pages[i]), std::vector<std::string>{"body " + std::to_string(i)});
}

// Ten pages, each given a top line by `head`; the number of lines strip removes.
struct HeadCase {
  std::vector<std::string> heads;  // per page, "" for none, "/" between two heads
  size_t want;
  const char* why;
};

TEST(Furniture, RecurrenceThresholds) {
  const std::string a = "Authors et al.";
  const std::string t = "A Title";
  const HeadCase kCases[] = {
      {{a, a, a, a, a, "", "", "", "", ""}, 5, "five of ten pages reach the threshold"},
      {{a, a, a, a, "", "", "", "", "", ""}, 0, "four of ten do not"},
      {{"", t, a, t, a, t, a, t, a, t},
       9,
       "the title reaches 5 of 10, the author line 4 but the top edge alternates"},
      {{"", "", a, t, a, t, a, t, "", ""},
       6,
       "three of the five pages of each parity are enough when the heads alternate"},
      {{"", "", a, t, a, t, "", "", "", ""}, 0, "two pages of each parity are not"},
      {{a, t, a, t, a, t, a, t, a, t}, 10, "alternating heads on every page pass globally"},
      {{"", "", a, "", a, "", a, "", "", ""}, 0, "a parity list without a counterpart"},
      {{a, a + "/" + t, a, a + "/" + t, a, a, "", t, "", ""},
       6,
       "the odd list holds everything of the even list: no alternation, the title stays"},
  };
  for (const HeadCase& c : kCases) {
    auto pages = document(c.heads.size(), [&](size_t i, auto& lines) {
      std::string_view heads = c.heads[i];
      while (!heads.empty()) {
        size_t end = std::min(heads.find('/'), heads.size());
        lines.push_back(top(heads.substr(0, end)));
        heads.remove_prefix(std::min(end + 1, heads.size()));
      }
    });
    EXPECT_EQ(strip(pages, heights(pages.size())), c.want) << c.why;
    for (size_t i = 0; i < pages.size(); ++i)
      EXPECT_EQ(pages[i].front().text(), "body " + std::to_string(i)) << c.why;
  }
}

TEST(Furniture, ParityRuleNeedsMoreThanTwoPagesPerParity) {
  // Five pages: T = 3. The author line on pages 2 and 4 reaches 2 of the 3 even pages, the
  // title is on both odd pages; the odd parity has only two pages, so nothing alternates.
  auto pages = document(5, [](size_t i, auto& lines) {
    if (i == 2 || i == 4) lines.push_back(top("Authors"));
    if (i == 1 || i == 3) lines.push_back(top("Title"));
  });
  Tallies tallies = tally(pages, heights(5));
  EXPECT_EQ(alternates(tallies, Edge::Top, Parity::Odd, 5), std::nullopt);
  EXPECT_EQ(alternates(tallies, Edge::Top, Parity::Even, 5), std::vector<std::string>{"authors"});
  EXPECT_EQ(alternates(tallies, Edge::Bottom, Parity::Even, 5), std::nullopt) << "no entry";
  EXPECT_EQ(strip(pages, heights(5)), 0u);
}

TEST(Furniture, BodyLinesAreNeverRemoved) {
  auto pages = document(6, [](size_t, auto& lines) { lines.push_back(body("Draft")); });
  EXPECT_EQ(strip(pages, heights(6)), 0u);
}

TEST(Furniture, BothBandsOfOnePageCountOnce) {
  // On pages 0 to 3 of ten, twice on page 3: four pages, below the threshold of five.
  auto pages = document(10, [](size_t i, auto& lines) {
    if (i < 4) lines.push_back(top("Draft"));
    if (i == 3) lines.push_back(bottom("Draft"));
  });
  Tallies tallies = tally(pages, heights(10));
  EXPECT_EQ(tallies.global.at("draft"), 4u);
  EXPECT_EQ(tallies.band(Edge::Bottom, Parity::Odd).at("draft"), 1u);
  EXPECT_EQ(strip(pages, heights(10)), 0u);
}

TEST(Furniture, PagesWithoutHeightKeepTheirLines) {
  // Page 3 has no height: its footer stays and its header does not count.
  auto pages = document(4, [](size_t i, auto& lines) {
    lines.push_back(bottom(std::to_string(i + 1)));
    if (i == 0 || i == 3) lines.push_back(top("Header"));
  });
  std::vector<float> h = heights(4);
  h[3] = 0;
  EXPECT_EQ(strip(pages, h), 3u);
  EXPECT_EQ(texts(pages[0]), (std::vector<std::string>{"body 0", "Header"}));
  EXPECT_EQ(texts(pages[3]), (std::vector<std::string>{"body 3", "4", "Header"}));
}

TEST(Furniture, PagesBeyondTheHeightsAreKept) {
  auto pages =
      document(5, [](size_t i, auto& lines) { lines.push_back(bottom(std::to_string(i + 1))); });
  std::vector<float> h = heights(3);
  EXPECT_EQ(strip(pages, h), 3u);  // T = ceil(5 × 0.5) = 3 over all five pages
  EXPECT_EQ(pages[3].size(), 2u);
  EXPECT_EQ(pages[4].size(), 2u);
}

}  // namespace
}  // namespace scrivane::layout
