#include "scrivane/text/vocab.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scrivane {
namespace {

// A line whose words are the blank-separated parts of `text` (only the word texts matter here).
Line line(std::string_view text) {
  Line l;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = std::min(text.find(' ', start), text.size());
    if (end > start) l.words.push_back({std::string(text.substr(start, end - start)), {}, 0, 0});
    start = end + 1;
  }
  return l;
}

// `word` as the middle word of `times` three-word lines.
std::vector<Line> interior(std::string_view word, int times) {
  std::vector<Line> lines;
  for (int i = 0; i < times; ++i) lines.push_back(line("the " + std::string(word) + " of"));
  return lines;
}

Vocabulary vocabulary(std::vector<std::vector<Line>> pages) {
  return Vocabulary::build(pages);
}

TEST(Vocabulary, CountsOnlyInteriorWordsOfLinesWithThreeOrMoreWords) {
  Vocabulary v = vocabulary({
      {line("first middle last"), line("two words"), line("alone")},
      {line("a Middle b MIDDLE c"), line("x it's y"), line("x abc123 y"),
       line("x state-of-the-art y")},
  });
  EXPECT_EQ(v.count("middle"), 3u) << "counting and lookup ignore case";
  EXPECT_EQ(v.count("MiDDle"), 3u);
  EXPECT_EQ(v.count("first"), 0u) << "a line's first word may be the tail of a broken word";
  EXPECT_EQ(v.count("last"), 0u) << "a line's last word may be the head of a broken word";
  EXPECT_EQ(v.count("two"), 0u);
  EXPECT_EQ(v.count("words"), 0u);
  EXPECT_EQ(v.count("alone"), 0u);
  EXPECT_EQ(v.count("b"), 1u);
  EXPECT_EQ(v.count("it's"), 0u) << "apostrophes make a word uncountable";
  EXPECT_EQ(v.count("abc123"), 0u) << "digits make a word uncountable";
  EXPECT_EQ(v.count("state-of-the-art"), 1u) << "hyphen-minus is part of a word";
  EXPECT_EQ(v.count("unknown"), 0u);
  EXPECT_EQ(v.count(""), 0u);
}

TEST(Vocabulary, NonAsciiWordsShareOneCountAcrossCase) {
  Vocabulary v = vocabulary({{line("la ÉCOLE est"), line("une école ici"), line("une Straße da")}});
  EXPECT_EQ(v.count("école"), 2u);
  EXPECT_EQ(v.count("ÉCOLE"), 2u);
  EXPECT_EQ(v.count("STRASSE"), 0u) << "lower-casing, not case folding: ß stays ß";
  EXPECT_EQ(v.count("straße"), 1u);
}

TEST(Vocabulary, Countable) {
  struct Case {
    std::string_view word;
    bool want;
    const char* why;
  };
  const Case kCases[] = {
      {"word", true, "ASCII letters"},
      {"well-known", true, "hyphen-minus inside"},
      {"-", true, "a lone hyphen-minus"},
      {"naïve", true, "alphabetic above U+00AA"},
      {"λόγος", true, "Greek"},
      {"ª", true, "U+00AA is the first non-ASCII character allowed"},
      {"", false, "empty"},
      {"x2", false, "digit"},
      {"don't", false, "apostrophe"},
      {"well\u2010known", false, "U+2010 HYPHEN is not hyphen-minus"},
      {"end.", false, "punctuation"},
      {"a\u00B5b", true, "micro sign is alphabetic"},
      {"a\u00A9b", false, "copyright sign is not alphabetic"},
  };
  for (const Case& c : kCases) EXPECT_EQ(is_countable(c.word), c.want) << c.why;
}

TEST(Vocabulary, Rejoin) {
  std::vector<Line> lines = interior("representation", 3);
  for (auto l : interior("form", 10)) lines.push_back(l);
  for (auto l : interior("reform", 15)) lines.push_back(l);
  for (auto l : interior("perform", 20)) lines.push_back(l);
  for (auto l : interior("input", 4)) lines.push_back(l);
  for (auto l : interior("straße", 1)) lines.push_back(l);
  for (auto l : interior("préécole", 5)) lines.push_back(l);
  Vocabulary v = vocabulary({lines});

  struct Case {
    std::string_view head, tail;
    std::optional<std::string> want;
    const char* why;
  };
  const Case kCases[] = {
      {"repre", "sentation", "representation", "joined word known, tail unknown"},
      {"REPRE", "sentation", "REPREsentation", "the answer keeps the pieces' own case"},
      {"repre", "Sentation", std::nullopt, "a capitalised tail starts a new word"},
      {"state", "of-the-art", std::nullopt, "stateof-the-art was never counted"},
      {"in", "put", std::nullopt, "a joined word of 5 characters never rejoins"},
      {"re", "form", std::nullopt, "reform 15 < 2 x form 10"},
      {"per", "form", "perform", "perform 20 >= 2 x form 10"},
      {"repre", "s", std::nullopt, "a tail of one character"},
      {"rep're", "sentation", std::nullopt, "head with an apostrophe"},
      {"repre", "sentation.", std::nullopt, "tail with punctuation"},
      {"", "representation", std::nullopt, "empty head: the tail alone is never twice itself"},
      {"stra", "ße", "straße", "non-ASCII tail; 6 characters though 7 bytes"},
      {"", "", std::nullopt, "nothing at all"},
      {"pré", "École", std::nullopt, "a tail capitalised outside ASCII"},
      {"pré", "école", "préécole", "the same tail in lower case"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(v.rejoin(c.head, c.tail), c.want) << c.head << "|" << c.tail << ": " << c.why;
}

TEST(Vocabulary, AddStoresOnlyCountableWords) {
  Vocabulary v;
  v.add("Word");
  v.add("word");
  v.add("it's");
  v.add("");
  EXPECT_EQ(v.count("word"), 2u);
  EXPECT_EQ(v.size(), 1u);
}

}  // namespace
}  // namespace scrivane
