#include "scrivane/refs.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace scrivane {
namespace {

using refs::CharRange;
using refs::LabelSet;

Block make(BlockType type, std::string text, size_t page = 0) {
  Block b;
  b.kind = type == BlockType::Heading ? BlockKind::heading(1) : BlockKind::of(type);
  b.text = std::move(text);
  b.page = page;
  b.bbox = {10.0f * page, 20, 300, 40.0f + page};
  b.size = 9.0f + page;
  return b;
}

Block heading(std::string text) {
  return make(BlockType::Heading, std::move(text));
}
Block para(std::string text, size_t page = 0) {
  return make(BlockType::Paragraph, std::move(text), page);
}

std::vector<std::string> texts(const Document& doc) {
  std::vector<std::string> out;
  for (const Block& b : doc.blocks) out.push_back(b.text);
  return out;
}

std::vector<BlockType> types(const Document& doc) {
  std::vector<BlockType> out;
  for (const Block& b : doc.blocks) out.push_back(b.kind.type);
  return out;
}

std::u32string u32(std::string_view ascii) {
  return std::u32string(ascii.begin(), ascii.end());
}

// ---- Headings -------------------------------------------------------------------------------

TEST(Refs, BibliographyHeadings) {
  struct Case {
    const char* text;
    bool want;
    const char* why;
  };
  const Case kCases[] = {
      {"References", true, "plain"},
      {"REFERENCES", true, "any case"},
      {"7. References", true, "numbering is dropped"},
      {"  Bibliography: ", true, "punctuation and outer whitespace are dropped"},
      {"Works Cited", true, "two words"},
      {"Literature Cited", true, "two words"},
      {"Literature  Cited", false, "inner whitespace is not collapsed"},
      {"References and Notes", false, "more words"},
      {"Reference", false, "singular"},
      {"Referen\xc3\xa7"
       "es",
       false, "a non-ASCII letter stays a letter"},
      {"", false, "empty"},
  };
  for (const Case& c : kCases) EXPECT_EQ(is_bibliography_heading(c.text), c.want) << c.why;
}

TEST(Refs, RunInHeadingOpensTheBibliography) {
  struct Case {
    const char* text;
    std::optional<size_t> want;
    const char* why;
  };
  const Case kCases[] = {
      {"References [1] A. One", 11, "a bracketed label follows"},
      {"REFERENCES\t Smith, J.", 12, "any case; the offset skips the whitespace"},
      {"ReferencesSmith, J.", 10, "no blank needed"},
      {"References and notes", std::nullopt, "a lower-case word is prose"},
      {"References 12", std::nullopt, "a page number is no entry"},
      {"References", std::nullopt, "nothing after the heading"},
      {"Bibliography Smith", 13, ""},
      {"Bibliography [1] x", std::nullopt, "only References may run into a bracket"},
      {"Works cited Smith", 12, ""},
      {"Literature Cited Smith", 17, ""},
      {"Refs Smith", std::nullopt, "too short"},
      {"WOR\xe2\x84\xaaS CITED Smith", 14, "a Kelvin sign reads as k; the offset stays whole"},
      {"References \xc3\x89tienne, A.", 11, "a non-ASCII capital starts an entry"},
  };
  for (const Case& c : kCases) EXPECT_EQ(opens_bibliography(c.text), c.want) << c.text;
}

TEST(Refs, RunInHeadingReadsACapitalIWithDotAsI) {
  // Compared one character at a time, so U+0130 takes its one-character lowercase "i", not
  // the two-character full mapping.
  EXPECT_EQ(opens_bibliography("B\u0130BL\u0130OGRAPHY Smith"), 15u);
}

// ---- Finding --------------------------------------------------------------------------------

TEST(Refs, FindsTheBibliographyFourWays) {
  struct Case {
    std::vector<Block> blocks;
    std::optional<refs::Bibliography> want;
    const char* why;
  };
  using refs::Bibliography;
  const Case kCases[] = {
      {{para("a"), heading("References"), para("[1] x"), para("[2] y"), heading("A"), para("z")},
       Bibliography{2, 4, 0, std::nullopt},
       "a heading; the next heading ends it"},
      {{heading("References 12"), para("[1] x")}, std::nullopt, "a contents line"},
      {{para("References 12"), para("[1] x")}, std::nullopt, "a contents line set as a paragraph"},
      {{para("REFERENCES"), para("[1] x"), make(BlockType::Title, "T"), para("[2] y")},
       Bibliography{1, 4, 0, std::nullopt},
       "a paragraph heading; a title does not end it"},
      {{para("x"), para("References [1] A"), para("[2] B")},
       Bibliography{1, 3, 11, std::nullopt},
       "run-in heading"},
      {{para("We are done. References"), para("[1] x")},
       Bibliography{1, 2, 0, 12},
       "a paragraph ending in the heading"},
      {{para("Thanks to all! Works  Cited"), para("[1] x")},
       std::nullopt,
       "inner whitespace of the heading words is kept, so they are no heading"},
      {{para("Thanks to all!  Works Cited"), para("[1] x")},
       Bibliography{1, 2, 0, 14},
       "two heading words at the end"},
      {{para("as described in References"), para("[1] x")},
       std::nullopt,
       "the heading words must follow a sentence"},
      {{para("We are done. References")}, std::nullopt, "the last block never ends in it"},
      {{para("x"), heading("Bibliography")},
       Bibliography{2, 2, 0, std::nullopt},
       "a heading as the last block gives an empty range"},
  };
  for (const Case& c : kCases) {
    Document doc;
    doc.blocks = c.blocks;
    std::optional<Bibliography> got = refs::find_bibliography(doc);
    ASSERT_EQ(got.has_value(), c.want.has_value()) << c.why;
    if (!got) continue;
    EXPECT_EQ(got->start, c.want->start) << c.why;
    EXPECT_EQ(got->end, c.want->end) << c.why;
    EXPECT_EQ(got->run_in, c.want->run_in) << c.why;
    EXPECT_EQ(got->cut, c.want->cut) << c.why;
  }
}

// ---- Splitting ------------------------------------------------------------------------------

TEST(Refs, LabelPositionsFollowTheSequence) {
  struct Case {
    const char* text;
    bool bracketed;
    std::vector<size_t> want;
    const char* why;
  };
  const Case kCases[] = {
      {"[1] a [2] b", true, {0, 6}, "in sequence"},
      {"[1] a [3] b [2] c", true, {0, 12}, "a label out of sequence is ignored"},
      {"[3] a [1] b [2] c", true, {6, 12}, "a label before [1] does not count"},
      {"[1] a [2] b [1] c [3] d", true, {0, 6, 18}, "a restart at 1 is not followed"},
      {"x[1] a [1] b", true, {7}, "a label must start the text or follow whitespace"},
      {"[01] a [2] b", true, {0, 7}, "leading zeros are digits like any other"},
      {"[1000] a", true, {}, "at most three digits"},
      {"1. a 2. b 2. c", false, {0, 5}, "numbered"},
      {"1.5 a 1. b", false, {6}, "the full stop must be followed by whitespace"},
      {"1.", false, {}, "nothing after the full stop"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(refs::label_positions(u32(c.text), c.bracketed), c.want) << c.why;
}

std::string repeat(std::string_view word, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) {
    if (i) out += ' ';
    out += word;
  }
  return out;
}

TEST(Refs, SplitEntries) {
  // Entries of about 450 characters each.
  const std::string filler = repeat("words", 75) + ".";
  struct Case {
    std::string text;
    std::vector<std::string> want;
    const char* why;
  };
  const Case kCases[] = {
      {"Preamble [1] A. One. [2] B. Two.",
       {"[1] A. One.", "[2] B. Two."},
       "text before the first label is dropped"},
      {"[1] A [3] C [2] B", {"[1] A [3] C", "[2] B"}, "labels out of sequence stay inside"},
      {"1. A. One 2. B. Two [1] X",
       {"1. A. One", "2. B. Two [1] X"},
       "the longer list of labels wins"},
      {"[1] a 1. b [2] c 2. d", {"[1] a 1. b", "[2] c 2. d"}, "a tie goes to brackets"},
      {"Smith, J. (2019). Alpha. van Dijk, A. (2020). Beta. Jones, K. (2021). Gamma.",
       {"Smith, J. (2019). Alpha.", "van Dijk, A. (2020). Beta.", "Jones, K. (2021). Gamma."},
       "author-year entries, one behind a particle"},
      {"Smith, J. 2019. Alpha. Le, T. 2020. Beta. Jones, K. 2021. Gamma. Ng, A. 2022. Delta.",
       {"Smith, J. 2019. Alpha. Le, T. 2020. Beta.", "Jones, K. 2021. Gamma.",
        "Ng, A. 2022. Delta."},
       "a particle followed by a comma starts no entry"},
      {"Smith, J. 2019. Alpha. Jones, K. 2020. Beta. Ng, A. 2021. With J. Brown, L. Gamma.",
       {"Smith, J. 2019. Alpha.", "Jones, K. 2020. Beta.", "Ng, A. 2021. With J. Brown, L. Gamma."},
       "the full stop of a lone initial starts no entry"},
      {"Smith, J. 2019. Alpha. Jones, K. 2020. Beta.",
       {"Smith, J. 2019. Alpha. Jones, K. 2020. Beta."},
       "two author-year entries are not enough"},
      {"Smith, J. 2019. Alpha. Jones, K. 2020. Beta. Abcdefghijklmnopqrstuvwxyzabcde, K. 2021. "
       "Gamma.",
       {"Smith, J. 2019. Alpha. Jones, K. 2020. Beta. Abcdefghijklmnopqrstuvwxyzabcde, K. 2021. "
        "Gamma."},
       "a surname of 31 characters starts no entry"},
      {"Smith, J. " + filler + " Jones, K. " + filler + " Brown, L. " + filler,
       {"Smith, J. " + filler + " Jones, K. " + filler + " Brown, L. " + filler},
       "a median entry above 400 characters means the boundaries are false"},
      {"Smith, J. 2019. Alpha. Jones, K. " + filler + " Brown, L. 2021. Gamma.",
       {"Smith, J. 2019. Alpha.", "Jones, K. " + filler, "Brown, L. 2021. Gamma."},
       "one long entry does not stop the split"},
      {"  A single entry.  ", {"A single entry."}, "no split: the whole text, trimmed"},
      {" \t ", {}, "nothing"},
  };
  for (const Case& c : kCases) EXPECT_EQ(refs::split_entries(c.text), c.want) << c.why;
}

// ---- Parsing --------------------------------------------------------------------------------

TEST(Refs, ParseEntries) {
  struct Case {
    const char* entry;
    Reference want;
    const char* why;
  };
  const Case kCases[] = {
      {"[1] A. Smith. Deep things. 2019.",
       {"1", "A. Smith. Deep things. 2019.", {}, "Deep things", 2019, {}, {}},
       "one author piece is no author list"},
      {"Smith, J. (2019). A study of things. Journal.",
       {{},
        "Smith, J. (2019). A study of things. Journal.",
        {"Smith", "J."},
        "A study of things",
        2019,
        {},
        {}},
       "author-year entry without a label"},
      {"12. Smith, J. and Doe, K. (2020a). Learning to parse. Proc. doi:10.1000/xyz123.",
       {"12",
        "Smith, J. and Doe, K. (2020a). Learning to parse. Proc. doi:10.1000/xyz123.",
        {"Smith", "J.", "Doe", "K."},
        "Learning to parse",
        2020,
        "10.1000/xyz123",
        {}},
       "numbered label, year with a letter, DOI behind doi:"},
      {"3) Lee, A. (2018). Paper title here. Journal, pp. 1995-2001.",
       {"3",
        "Lee, A. (2018). Paper title here. Journal, pp. 1995-2001.",
        {"Lee", "A."},
        "Paper title here",
        2018,
        {},
        {}},
       "a page range next to the year is no year"},
      {"Kim, B. (2017). Title of a paper. arXiv:2001.01234.",
       {{},
        "Kim, B. (2017). Title of a paper. arXiv:2001.01234.",
        {"Kim", "B."},
        "Title of a paper",
        2017,
        {},
        "2001.01234"},
       "the arXiv identifier holds no year; its full stop is dropped"},
      {"arXiv:2001.01234", {{}, "arXiv:2001.01234", {}, {}, {}, {}, "2001.01234"}, "arXiv alone"},
      {"[Smi+19]   Smith, J. (2019). Title words here.  ",
       {"Smi+19",
        "Smith, J. (2019). Title words here.",
        {"Smith", "J."},
        "Title words here",
        2019,
        {},
        {}},
       "an alphanumeric label; raw is trimmed"},
      {"[a label that is too long] Text.",
       {{}, "[a label that is too long] Text.", {}, {}, {}, {}, {}},
       "more than 12 bytes in brackets is no label"},
      {"2019. Something.",
       {{}, "2019. Something.", {}, "Something", 2019, {}, {}},
       "four digits are no label"},
      {"Doe, J. (2001). 1234 5678 90. Real title words. X.",
       {{},
        "Doe, J. (2001). 1234 5678 90. Real title words. X.",
        {"Doe", "J."},
        "Real title words",
        2001,
        {},
        {}},
       "a candidate of digits is passed over"},
      {"Ab, C. (2001). Short. Another one here. X.",
       {{},
        "Ab, C. (2001). Short. Another one here. X.",
        {"Ab", "C."},
        "Another one here",
        2001,
        {},
        {}},
       "a candidate under 8 bytes is passed over"},
      {"Ab, C. (2001). Short. Tiny. Small. Another one here.",
       {{}, "Ab, C. (2001). Short. Tiny. Small. Another one here.", {"Ab", "C."}, {}, 2001, {}, {}},
       "at most three candidates"},
      {"Doe, J. (2001).\xc2\xa0"
       "A title of things.",
       {{},
        "Doe, J. (2001).\xc2\xa0"
        "A title of things.",
        {"Doe", "J."},
        {},
        2001,
        {},
        {}},
       "a wide blank after the author list leaves no title"},
      {"See https://doi.org/10.5555/ab.c12, 1700 and 2101.",
       {{}, "See https://doi.org/10.5555/ab.c12, 1700 and 2101.", {}, {}, {}, "10.5555/ab.c12", {}},
       "a resolver address; years out of range"},
      {"x 10.1/abc 10.12/. 10.34/x",
       {{}, "x 10.1/abc 10.12/. 10.34/x", {}, {}, {}, "10.34/x", {}},
       "a one-digit prefix and an empty suffix are no DOI"},
      {"Pages 1995\xe2\x80\x93"
       "2001 and 12019 and 1800.",
       {{},
        "Pages 1995\xe2\x80\x93"
        "2001 and 12019 and 1800.",
        {},
        {},
        1800,
        {},
        {}},
       "an en dash makes a range; five digits are no year"},
  };
  for (const Case& c : kCases) {
    Reference got = refs::parse(c.entry);
    EXPECT_EQ(got.label, c.want.label) << c.why;
    EXPECT_EQ(got.raw, c.want.raw) << c.why;
    EXPECT_EQ(got.authors, c.want.authors) << c.why;
    EXPECT_EQ(got.title, c.want.title) << c.why;
    EXPECT_EQ(got.year, c.want.year) << c.why;
    EXPECT_EQ(got.doi, c.want.doi) << c.why;
    EXPECT_EQ(got.arxiv, c.want.arxiv) << c.why;
  }
}

TEST(Refs, AuthorBoundary) {
  struct Case {
    const char* text;
    std::optional<size_t> want;
    const char* why;
  };
  const Case kCases[] = {
      {"A. Smith. Deep", 8, "the first word of two letters before a blank"},
      {"Smith, J. (2019). A", 16, "after a year in parentheses"},
      {"Smith, J. (2019a). A", 17, "after a year with a letter"},
      {"Smith, J. K. L.", std::nullopt, "initials only, the last at the end"},
      {"Smith.Jones", std::nullopt, "no blank after the full stop"},
      {"\xc3\x89t\xc3\xa9. X", 5, "letters beyond ASCII; the offset counts bytes"},
  };
  for (const Case& c : kCases) EXPECT_EQ(refs::author_boundary(c.text), c.want) << c.why;
}

TEST(Refs, FindAuthors) {
  struct Case {
    std::string segment;
    std::vector<std::string> want;
    const char* why;
  };
  const Case kCases[] = {
      {"Smith, J.", {"Smith", "J."}, "surname and initials are separate"},
      {"Smith, J.; Doe, K. and Roe, L.", {"Smith", "J.", "Doe", "K.", "Roe", "L."}, "; and and"},
      {"A. Smith", {}, "a single piece"},
      {"smith, jones", {}, "lower-case pieces are dropped"},
      {"Smith, 12, J.", {"Smith", "J."}, "a piece without a letter is dropped"},
      {"Smith, J., " + std::string(61, 'X'), {"Smith", "J."}, "a piece over 60 bytes is dropped"},
      {"\xc3\x89tienne, A.", {"\xc3\x89tienne", "A."}, "a non-ASCII capital"},
  };
  for (const Case& c : kCases) EXPECT_EQ(refs::find_authors(c.segment), c.want) << c.why;
}

TEST(Refs, ArxivSpan) {
  struct Case {
    const char* text;
    std::optional<CharRange> want;
    const char* why;
  };
  const Case kCases[] = {
      {"ARXIV:1234.5678v2 x", CharRange{6, 17}, "any case"},
      {"arXiv preprint arXiv:1706.03762", CharRange{21, 31}, "the first with a colon"},
      {"arXiv:hep-th/9901001,", CharRange{6, 20}, "old style with a slash"},
      {"arXiv: 1234", std::nullopt, "a blank after the colon"},
      {"arXiv: x arXiv:123", std::nullopt, "later occurrences are not examined"},
      {"arxiv", std::nullopt, "too short"},
  };
  for (const Case& c : kCases) EXPECT_EQ(refs::arxiv_span(u32(c.text)), c.want) << c.why;
}

// ---- Citations ------------------------------------------------------------------------------

TEST(Refs, LinkCitations) {
  const LabelSet labels{"1", "2", "5"};
  struct Case {
    const char* text;
    const char* want;
    const char* why;
  };
  const Case kCases[] = {
      {"as shown in [1, 2]", "as shown in [[1](#ref-1), [2](#ref-2)]", "a group"},
      {"[2,5] and [1]", "[[2](#ref-2), [5](#ref-5)] and [[1](#ref-1)]", "two groups"},
      {"[ 1 ,\xc2\xa0"
       "2 ]",
       "[[1](#ref-1), [2](#ref-2)]", "items are trimmed"},
      {"[1-3]", "[1-3]", "a range is no label"},
      {"[]", "[]", "empty"},
      {"[1,]", "[1,]", "an empty item"},
      {"[1, 9]", "[1, 9]", "an unknown label keeps the whole group"},
      {"[1] and [2", "[[1](#ref-1)] and [2", "an unclosed bracket"},
      {"[a [1]", "[a [1]", "the group runs to the first closing bracket"},
      {"no citations", "no citations", ""},
  };
  for (const Case& c : kCases) EXPECT_EQ(refs::link_citations(c.text, labels), c.want) << c.why;
}

// ---- The whole pass -------------------------------------------------------------------------

TEST(Refs, NumericBibliographyUnderHeading) {
  Document doc;
  doc.blocks = {
      heading("1 Introduction"),
      para("as shown in [1, 2] and [1-3]"),
      make(BlockType::Caption, "Figure 1: from [2]"),
      make(BlockType::ListItem, "- see [1]"),
      make(BlockType::Footnote, "cf. [1]"),
      heading("References"),
      para("[1] A. Smith. Deep things. 2019.", 3),
      make(BlockType::Figure, "", 3),
      para("[2] B. Jones. More things. 2020.", 4),
      make(BlockType::Equation, "", 4),
      // Small print at the foot of a page reads as a footnote, but here it is an entry.
      make(BlockType::Footnote, "[3] C. Small. Fine print. 2021.", 4),
      heading("A Appendix"),
      para("again [2]"),
  };
  extract_bibliography(doc);
  EXPECT_EQ(types(doc),
            (std::vector<BlockType>{BlockType::Heading, BlockType::Paragraph, BlockType::Caption,
                                    BlockType::ListItem, BlockType::Footnote, BlockType::Heading,
                                    BlockType::Reference, BlockType::Reference,
                                    BlockType::Reference, BlockType::Figure, BlockType::Equation,
                                    BlockType::Heading, BlockType::Paragraph}));
  EXPECT_EQ(doc.blocks[8].text, "[3] C. Small. Fine print. 2021.");
  EXPECT_EQ(doc.blocks[1].text, "as shown in [[1](#ref-1), [2](#ref-2)] and [1-3]");
  EXPECT_EQ(doc.blocks[2].text, "Figure 1: from [[2](#ref-2)]");
  EXPECT_EQ(doc.blocks[3].text, "- see [[1](#ref-1)]");
  EXPECT_EQ(doc.blocks[4].text, "cf. [1]") << "footnotes are not linked";
  EXPECT_EQ(doc.blocks[12].text, "again [[2](#ref-2)]") << "text after the bibliography too";

  const Block& first = doc.blocks[6];
  EXPECT_EQ(first.text, "[1] A. Smith. Deep things. 2019.");
  EXPECT_EQ(first.page, 3u);
  EXPECT_EQ(first.bbox, (Rect{30, 20, 300, 43}));
  EXPECT_EQ(first.size, 12.0f);
  ASSERT_TRUE(first.reference);
  EXPECT_EQ(*first.reference,
            (Reference{"1", "A. Smith. Deep things. 2019.", {}, "Deep things", 2019, {}, {}}));
  const Block& second = doc.blocks[7];
  EXPECT_EQ(second.page, 4u) << "each entry takes the geometry of its own paragraph";
  ASSERT_TRUE(second.reference);
  EXPECT_EQ(second.reference->label, "2");
  EXPECT_EQ(second.reference->title, "More things");
  EXPECT_EQ(second.reference->year, 2020);
}

TEST(Refs, EntriesSplitAcrossAndWithinParagraphs) {
  Document doc;
  doc.blocks = {heading("Bibliography"), para("[1] A. One. Title one here.", 1),
                para("Continued. [2] B. Two. Title two here. [3] C. Three.", 2)};
  extract_bibliography(doc);
  EXPECT_EQ(texts(doc),
            (std::vector<std::string>{"Bibliography", "[1] A. One. Title one here. Continued.",
                                      "[2] B. Two. Title two here.", "[3] C. Three."}));
  EXPECT_EQ(doc.blocks[1].page, 1u) << "an entry belongs to the paragraph where it starts";
  EXPECT_EQ(doc.blocks[2].page, 2u);
  EXPECT_EQ(doc.blocks[3].page, 2u);
}

TEST(Refs, RunInParagraphOpensTheBibliography) {
  Document doc;
  doc.blocks = {para("Body text [2]."), para("References [1] A. One [2] B. Two")};
  extract_bibliography(doc);
  EXPECT_EQ(texts(doc),
            (std::vector<std::string>{"Body text [[2](#ref-2)].", "[1] A. One", "[2] B. Two"}));
}

TEST(Refs, RunInHeadingStaysOutOfAParagraphEntry) {
  Document doc;
  doc.blocks = {para("References Smith, J. (2019). A study of things."),
                para("Jones, K. (2020). Another study.")};
  extract_bibliography(doc);
  EXPECT_EQ(texts(doc), (std::vector<std::string>{"Smith, J. (2019). A study of things.",
                                                  "Jones, K. (2020). Another study."}));
}

TEST(Refs, ParagraphEndingInTheHeadingIsCut) {
  Document doc;
  doc.blocks = {para("We are done. References"), para("[1] A. One. [2] B. Two.")};
  extract_bibliography(doc);
  EXPECT_EQ(texts(doc), (std::vector<std::string>{"We are done.", "[1] A. One.", "[2] B. Two."}));
}

TEST(Refs, AuthorYearList) {
  Document doc;
  doc.blocks = {
      para("as Smith [1] showed"),
      heading("References"),
      para("Smith, J. (2019). A study of things. Journal of Alpha.", 5),
      para("van Dijk, A. (2020). Other things here. Journal of Beta. Jones, K. (2021). Third "
           "thing studied. Journal of Gamma.",
           6),
  };
  extract_bibliography(doc);
  EXPECT_EQ(texts(doc),
            (std::vector<std::string>{"as Smith [1] showed", "References",
                                      "Smith, J. (2019). A study of things. Journal of Alpha.",
                                      "van Dijk, A. (2020). Other things here. Journal of Beta.",
                                      "Jones, K. (2021). Third thing studied. Journal of Gamma."}))
      << "entries without labels link nothing";
  EXPECT_EQ(doc.blocks[2].page, 5u);
  EXPECT_EQ(doc.blocks[3].page, 6u) << "the second entry starts the second paragraph";
  ASSERT_TRUE(doc.blocks[4].reference);
  EXPECT_EQ(doc.blocks[4].reference->authors, (std::vector<std::string>{"Jones", "K."}));
  EXPECT_EQ(doc.blocks[4].reference->year, 2021);
  EXPECT_EQ(doc.blocks[4].reference->title, "Third thing studied");
}

TEST(Refs, LongMedianFallsBackToParagraphs) {
  const std::string filler = repeat("words", 75) + ".";
  const std::string first = "Smith, J. " + filler + " Jones, K. " + filler;
  const std::string second = "Brown, L. " + filler;
  Document doc;
  doc.blocks = {heading("References"), para(first, 1), para(second, 2)};
  extract_bibliography(doc);
  EXPECT_EQ(texts(doc), (std::vector<std::string>{"References", first, second}));
  EXPECT_EQ(types(doc)[1], BlockType::Reference);
  EXPECT_EQ(doc.blocks[2].page, 2u);
}

TEST(Refs, DocumentsWithoutEntriesStayUnchanged) {
  const std::vector<std::vector<Block>> kCases = {
      {para("[1] x"), heading("References")},
      {heading("References 12"), para("[1] A. [2] B.")},
      {heading("References"), make(BlockType::Figure, ""), para("")},
      {para("We are done. References"), make(BlockType::Table, "")},
  };
  for (const auto& blocks : kCases) {
    Document doc;
    doc.blocks = blocks;
    extract_bibliography(doc);
    EXPECT_EQ(texts(doc).size(), blocks.size());
    for (size_t i = 0; i < blocks.size(); ++i) {
      EXPECT_EQ(doc.blocks[i].text, blocks[i].text);
      EXPECT_EQ(doc.blocks[i].kind, blocks[i].kind);
    }
  }
}

TEST(Refs, MalformedTextIsHandled) {
  // Stray continuation bytes and a truncated sequence must neither crash nor split characters.
  const std::string junk = "References [1] \x80\xbf A. \xe2\x82 B. [2] \xf0\x9f";
  Document doc;
  doc.blocks = {para("see [1]"), para(junk)};
  extract_bibliography(doc);
  ASSERT_EQ(doc.blocks.size(), 3u);
  EXPECT_EQ(doc.blocks[1].text, "[1] \x80\xbf A. \xe2\x82 B.");
  EXPECT_EQ(doc.blocks[2].text, "[2] \xf0\x9f");
  for (const char* text : {"\xff", "[", "]", "10.", "10.12/", "arXiv:", "(2019). ", ". . ."}) {
    Reference r = refs::parse(text);
    EXPECT_FALSE(r.title) << text;
    EXPECT_FALSE(is_bibliography_heading(text)) << text;
    EXPECT_FALSE(opens_bibliography(text)) << text;
  }
}

}  // namespace
}  // namespace scrivane
