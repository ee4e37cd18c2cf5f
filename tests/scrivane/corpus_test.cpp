// The whole pipeline over the real PDFs of tests/corpus.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "scrivane/backend/kestrum_backend.h"
#include "scrivane/doc.h"
#include "scrivane/emit/markdown.h"
#include "scrivane/layout/columns.h"
#include "scrivane/pipeline.h"
#include "scrivane/text/lines.h"
#include "support/paths.h"

namespace scrivane {
namespace {

using testing_support::corpus_file;

std::expected<Document, Error> convert_corpus(const std::string& name,
                                              std::optional<std::string> password = {}) {
  auto backend = KestrumBackend::open_with_password(corpus_file(name), std::move(password));
  if (!backend) return std::unexpected(backend.error());
  return convert_from(**backend, name, Options{});
}

// Every file of the corpus goes through every stage; the scanned one is refused.
TEST(Corpus, EveryFileConverts) {
  struct Case {
    const char* name;
    const char* password;
    bool scanned;
  };
  const Case kCases[] = {
      {"article.pdf", nullptr, false},
      {"article-objstm.pdf", nullptr, false},
      {"authoryear.pdf", nullptr, false},
      {"dvips.pdf", nullptr, false},
      {"lualatex.pdf", nullptr, false},
      {"mixed.pdf", nullptr, false},
      {"sample.pdf", nullptr, false},
      {"scanned.pdf", nullptr, true},
      {"short.pdf", nullptr, false},
      {"twocolumn.pdf", nullptr, false},
      {"twocolumn-linearized.pdf", nullptr, false},
      {"xelatex.pdf", nullptr, false},
      {"short-r2-rc4-40.pdf", nullptr, false},
      {"short-r2-rc4-40-secret.pdf", "secret", false},
      {"short-r3-rc4-128.pdf", nullptr, false},
      {"short-r3-rc4-128-secret.pdf", "secret", false},
      {"short-r4-aes-128.pdf", nullptr, false},
      {"short-r4-aes-128-secret.pdf", "secret", false},
      {"short-r6-aes-256.pdf", nullptr, false},
      {"short-r6-aes-256-secret.pdf", "secret", false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    auto password = c.password ? std::optional<std::string>(c.password) : std::nullopt;
    auto doc = convert_corpus(c.name, password);
    if (c.scanned) {
      ASSERT_FALSE(doc);
      EXPECT_NE(doc.error().get<Error::Scanned>(), nullptr) << doc.error().text();
      continue;
    }
    ASSERT_TRUE(doc) << doc.error().text();
    EXPECT_FALSE(doc->blocks.empty());
    EXPECT_FALSE(emit::markdown::render(*doc).empty());
  }
  // The encrypted copies carry the same text as their source.
  auto source = convert_corpus("short.pdf");
  ASSERT_TRUE(source);
  for (const char* name : {"short-r2-rc4-40.pdf", "short-r6-aes-256.pdf"}) {
    auto copy = convert_corpus(name);
    ASSERT_TRUE(copy);
    EXPECT_EQ(emit::markdown::render(*copy), emit::markdown::render(*source)) << name;
  }
}

struct Heading {
  std::string text;
  int level;
  bool operator==(const Heading&) const = default;
};

std::vector<Heading> headings(const Document& doc) {
  std::vector<Heading> out;
  for (const Block& b : doc.blocks)
    if (b.kind.type == BlockType::Heading) out.push_back({b.text, b.kind.level});
  return out;
}

// The index of the paragraph that holds `sentence` whole, or -1.
int paragraph_with(const Document& doc, std::string_view sentence) {
  for (size_t i = 0; i < doc.blocks.size(); ++i) {
    const Block& b = doc.blocks[i];
    if (b.kind.type == BlockType::Paragraph && b.text.find(sentence) != std::string::npos)
      return static_cast<int>(i);
  }
  return -1;
}

// Each sentence whole in a paragraph, none in a paragraph before the previous one's.
void expect_paragraphs_in_order(const Document& doc, std::span<const char* const> sentences) {
  int previous = 0;
  for (const char* sentence : sentences) {
    int index = paragraph_with(doc, sentence);
    EXPECT_GE(index, previous) << sentence;
    previous = std::max(previous, index);
  }
}

// The labels of the reference blocks, in order.
std::vector<std::string> reference_labels(const Document& doc) {
  std::vector<std::string> labels;
  for (const Block& b : doc.blocks)
    if (b.kind.type == BlockType::Reference && b.reference && b.reference->label)
      labels.push_back(*b.reference->label);
  return labels;
}

TEST(Corpus, OneColumnArticleStructure) {
  auto doc = convert_corpus("article.pdf");
  ASSERT_TRUE(doc) << doc.error().text();
  EXPECT_EQ(doc->title, "Adaptive Step Control for Stiff Reaction–Diffusion Solvers");

  std::vector<Heading> got = headings(*doc);
  const Heading kSections[] = {
      {"1 Introduction", 1},     {"2 Method", 1},
      {"2.1 Discretisation", 2}, {"2.2 Error estimate and controller", 2},
      {"3 Experiments", 1},      {"4 Discussion", 1},
      {"References", 1},
  };
  // The section headings appear in this order with these levels (other short lines, such as the
  // date under the title, may read as headings too).
  auto at = got.begin();
  for (const Heading& want : kSections) {
    at = std::find(at, got.end(), want);
    EXPECT_NE(at, got.end()) << want.text << " level " << want.level;
  }

  // Sentences whole inside one paragraph, in reading order, across line and page breaks.
  const char* kSentences[] = {
      "Implicit and linearly implicit methods remove the stability restriction of the fast scale",
      "In this note we make three contributions:",
      "The remainder of the paper is organised as follows.",
      "The filtered controller is a drop-in replacement for the classical one",
      "Two questions remain open.",
  };
  expect_paragraphs_in_order(*doc, kSentences);

  // The numbered bibliography: five entries with their labels, and the citations link to them.
  EXPECT_EQ(reference_labels(*doc), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
  int intro = paragraph_with(*doc, "reaction kinetics");
  ASSERT_GE(intro, 0);
  EXPECT_NE(doc->blocks[intro].text.find("reaction kinetics [[2](#ref-2)]"), std::string::npos);
  EXPECT_NE(doc->blocks[intro].text.find("[[1](#ref-1), [3](#ref-3)]"), std::string::npos);
  std::string markdown = emit::markdown::render(*doc);
  EXPECT_NE(markdown.find("<a id=\"ref-5\"></a>[5] M. Kowalczyk."), std::string::npos);
}

TEST(Corpus, TwoColumnPagesHaveTheirGutter) {
  auto backend = KestrumBackend::open_with_password(corpus_file("twocolumn.pdf"));
  ASSERT_TRUE(backend);
  auto raw = extract_from(**backend, "twocolumn.pdf");
  ASSERT_TRUE(raw) << raw.error().text();
  ASSERT_EQ(raw->pages.size(), 6u);
  // Every page after the title page sets its text in two columns 18 points apart.
  for (size_t i = 1; i < raw->pages.size(); ++i) {
    std::vector<Gutter> gutters = page_gutters(raw->pages[i], build_lines(raw->pages[i]));
    ASSERT_EQ(gutters.size(), 1u) << "page " << i;
    EXPECT_NEAR(gutters[0].first, 289, 3) << "page " << i;
    EXPECT_NEAR(gutters[0].second, 307, 3) << "page " << i;
  }
  // The title page has a full-width band above its columns.
  BuiltPages built = build_pages(*raw);
  ASSERT_EQ(built.bands[0].size(), 2u);
  EXPECT_TRUE(built.bands[0][0].gutters.empty());
  EXPECT_EQ(built.bands[0][1].gutters.size(), 1u);
}

TEST(Corpus, TwoColumnArticleStructure) {
  auto doc = convert_corpus("twocolumn.pdf");
  ASSERT_TRUE(doc) << doc.error().text();
  EXPECT_EQ(doc->title, "Seasonal Variability of Dissolved Oxygen in Shallow Temperate Lakes")
      << "both lines of the title";

  std::vector<Heading> got = headings(*doc);
  const Heading kSections[] = {
      {"1 Introduction", 1}, {"2 Study Sites and Methods", 1},
      {"2.1 Lakes", 2},      {"2.2 Instruments", 2},
      {"3 Results", 1},      {"3.2 Oxygen depletion", 2},
      {"4 Discussion", 1},   {"5 Conclusions", 1},
      {"References", 1},
  };
  auto at = got.begin();
  for (const Heading& want : kSections) {
    at = std::find(at, got.end(), want);
    EXPECT_NE(at, got.end()) << want.text << " level " << want.level;
  }

  // Running heads and page numbers are gone.
  for (const Block& b : doc->blocks) {
    EXPECT_EQ(b.text.find("I. Lindqvist, P. Moreau and K. Takahashi"), std::string::npos);
    EXPECT_NE(b.text, "Dissolved oxygen in shallow temperate lakes");
    bool page_number = b.text == std::to_string(b.page + 1);
    EXPECT_FALSE(page_number && b.bbox.y0 > 700) << "page number on page " << b.page;
  }

  // Sentences whole in one paragraph, in reading order: the left column of a page before its
  // right column, words hyphenated at line ends joined again (the document uses them whole).
  const char* kSentences[] = {
      "Dissolved oxygen is one of the most informative variables in freshwater ecology.",
      "and its oxygen is gradually consumed until the autumnal overturn",
      "Temperature was recorded every five minutes and oxygen every ten minutes [[3](#ref-3)].",
      "Lake Kallmyren stratified least often, whereas the sheltered Lake Aspvik stratified most "
      "often",
      "Episodes began on average after two consecutive days on which the wind speed at noon",
      "within twelve hours of the breakdown of stratification, and in the remaining seven",
  };
  expect_paragraphs_in_order(*doc, kSentences);

  EXPECT_EQ(reference_labels(*doc),
            (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}));
}

}  // namespace
}  // namespace scrivane
