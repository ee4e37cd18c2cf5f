// Block assembly: runs, joined text, kinds, fragments, lists, title and heading levels.
#include "scrivane/doc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scrivane/text/lines.h"
#include "scrivane/text/vocab.h"

namespace scrivane {
namespace {

constexpr float kBody = 10;
constexpr float kLeading = 12;

// One line as a test states it; the box spans 0.8 size above and 0.2 size below the baseline.
struct L {
  std::string_view text;
  float baseline = 0;
  float x0 = 72;
  float x1 = 540;
  float size = kBody;
  bool bold = false;
};

Line make_line(const L& l) {
  Line line;
  line.bbox = {l.x0, l.baseline - 0.8f * l.size, l.x1, l.baseline + 0.2f * l.size};
  line.baseline = l.baseline;
  line.size = l.size;
  line.bold = l.bold;
  size_t start = 0;
  while (start <= l.text.size()) {
    size_t end = std::min(l.text.find(' ', start), l.text.size());
    if (end > start) {
      line.words.push_back({std::string(l.text.substr(start, end - start)), line.bbox, 0, 0});
    }
    start = end + 1;
  }
  return line;
}

using Pages = std::vector<std::vector<L>>;

std::vector<std::vector<Line>> make_pages(const Pages& pages) {
  std::vector<std::vector<Line>> out;
  for (const auto& page : pages) {
    out.emplace_back();
    for (const L& l : page) out.back().push_back(make_line(l));
  }
  return out;
}

// Every word in `known` counted three times inside lines.
Vocabulary knowing(const std::vector<std::string_view>& known) {
  std::vector<Line> lines;
  for (std::string_view word : known) {
    std::string text = "the " + std::string(word) + " of";
    for (int i = 0; i < 3; ++i) lines.push_back(make_line({text, 0}));
  }
  return Vocabulary::build({lines});
}

Assembled assemble(const Pages& pages, const Vocabulary& vocabulary = {},
                   std::optional<std::vector<float>> heights = std::nullopt) {
  std::vector<float> h = heights ? *heights : std::vector<float>(pages.size(), 792.0f);
  return assemble_placed(make_pages(pages), h, vocabulary, kBody, kLeading);
}

std::vector<std::string> texts(const Document& doc) {
  std::vector<std::string> out;
  for (const Block& b : doc.blocks) out.push_back(b.text);
  return out;
}

const BlockKind kParagraph = BlockKind::of(BlockType::Paragraph);
const BlockKind kCaption = BlockKind::of(BlockType::Caption);
const BlockKind kFootnote = BlockKind::of(BlockType::Footnote);
const BlockKind kHeading = BlockKind::heading(1);
const BlockKind kBullet = BlockKind::list_item(false);
const BlockKind kNumbered = BlockKind::list_item(true);

// A wide line at the top of a page: it sets the page's widest line and stays a paragraph.
const L kWideBody{"Body text of the page sets the widest line", 100};

TEST(Assembly, RunsBreakByGapDirectionAndSize) {
  struct Case {
    L second;
    size_t blocks;
    const char* why;
  };
  const Case kCases[] = {
      {{"second line of the text", 112}, 1, "one leading down"},
      {{"second line of the text", 117}, 1, "within 1.45 leadings (17.4)"},
      {{"second line of the text", 118}, 2, "beyond 1.45 leadings"},
      {{"second line of the text", 100}, 2, "the same baseline does not go down"},
      {{"second line of the text", 90}, 2, "a line above its predecessor"},
      {{.text = "second line of the text", .baseline = 112, .size = 10.3f}, 1, "size within 0.4"},
      {{.text = "second line of the text", .baseline = 112, .size = 10.5f},
       2,
       "size step over 0.4"},
      {{.text = "second line of the text", .baseline = 112, .size = 9.5f},
       2,
       "smaller by over 0.4"},
  };
  for (const Case& c : kCases) {
    Assembled a = assemble({{}, {{"first line of the text", 100}, c.second}});
    ASSERT_EQ(a.document.blocks.size(), c.blocks) << c.why;
    std::vector<size_t> want_first =
        c.blocks == 1 ? std::vector<size_t>{0} : std::vector<size_t>{0, 1};
    EXPECT_EQ(a.first_lines, want_first) << c.why;
    EXPECT_EQ(a.document.blocks[0].page, 1u);
  }
}

TEST(Assembly, LargerTypeMayStepFurtherWithinARun) {
  // At twice the body size, the allowed step doubles too: 1.45 leadings x 2 = 34.8.
  for (auto [step, blocks] : {std::pair{30.0f, 1u}, std::pair{34.0f, 1u}, std::pair{36.0f, 2u}}) {
    Assembled a = assemble({{{.text = "A Two Line", .baseline = 100, .size = 20},
                             {.text = "Title of a Paper With Many More Words in It",
                              .baseline = 100 + step,
                              .size = 20}}});
    EXPECT_EQ(a.document.blocks.size(), blocks) << step;
  }
}

TEST(Assembly, BlockGeometryIsTheRunsUnionAndFirstLineSize) {
  Assembled a =
      assemble({{{.text = "first line", .baseline = 100, .x0 = 80, .x1 = 500, .size = 10.2f},
                 {.text = "second line", .baseline = 112, .x0 = 72, .x1 = 300}}});
  ASSERT_EQ(a.document.blocks.size(), 1u);
  const Block& b = a.document.blocks[0];
  EXPECT_EQ(b.text, "first line second line");
  EXPECT_EQ(b.bbox, (Rect{72, 100 - 0.8f * 10.2f, 500, 114}));
  EXPECT_EQ(b.size, 10.2f);
  EXPECT_EQ(b.page, 0u);
  EXPECT_FALSE(b.asset || b.table || b.math || b.reference);
}

TEST(Assembly, LineEndsJoinThroughTheVocabulary) {
  struct Case {
    std::vector<L> lines;
    std::vector<std::string_view> known;
    std::string_view want;
    const char* why;
  };
  const Case kCases[] = {
      {{{"the state-", 100}, {"of-the-art methods", 112, 72, 300}},
       {},
       "the state-of-the-art methods",
       "a compound keeps its hyphen when the joined word is unknown"},
      {{{"a repre-", 100}, {"sentation of it", 112, 72, 300}},
       {"representation"},
       "a representation of it",
       "a known word is rejoined and the rest of the line follows"},
      {{{"a repre\u2010", 100}, {"sentation of it", 112, 72, 300}},
       {"representation"},
       "a representation of it",
       "U+2010 HYPHEN is a hyphen too"},
      {{{"a repre", 100}, {"sentation of it", 112, 72, 300}},
       {"representation"},
       "a representation of it",
       "a word broken without a hyphen"},
      {{{"a repre", 100}, {"sentation of it", 112, 72, 300}},
       {},
       "a repre sentation of it",
       "no hyphen and an unknown word: a plain join"},
      {{{"a repre-", 100}, {"sentation", 112, 72, 300}},
       {},
       "a repre-sentation",
       "letters after a hyphen read as a compound"},
      {{{"a repre-", 100, 72, 400}, {"sentation of it", 112}},
       {"representation"},
       "a repre- sentation of it",
       "a short line cannot have a word cut at its end"},
      {{{"a repre-", 100, 72, 531}, {"sentation of it", 112}},
       {"representation"},
       "a representation of it",
       "ending within one font size of the right edge counts as full"},
      {{{"a repre-", 100}, {"sentation, of it", 112, 72, 300}},
       {"representation"},
       "a representation, of it",
       "punctuation after the rest of the word stays after the joined word"},
      {{{"the state-", 100}, {"of-the-art). Then", 112, 72, 300}},
       {},
       "the state-of-the-art). Then",
       "and after a compound"},
      {{{"see panel x-", 100}, {"(left) here", 112, 72, 300}},
       {},
       "see panel x- (left) here",
       "punctuation in the next word: no compound"},
      {{{"values 1-", 100}, {"10 were used", 112, 72, 300}},
       {},
       "values 1-10 were used",
       "digits continue a compound"},
      {{{"here -", 100}, {"there it is", 112, 72, 300}},
       {},
       "here - there it is",
       "a lone dash joins with a space"},
      {{{"a repre-", 100}, {"Sentation of it", 112, 72, 300}},
       {"representation"},
       "a repre-Sentation of it",
       "a capitalised tail is not rejoined, but letters still make a compound"},
      {{{"the state-", 100}, {"of-the-art and con-", 112}, {"tinued work", 124, 72, 300}},
       {"continued"},
       "the state-of-the-art and continued work",
       "every line end of the run is examined"},
  };
  for (const Case& c : kCases) {
    Assembled a = assemble({{}, c.lines}, knowing(c.known));
    ASSERT_EQ(a.document.blocks.size(), 1u) << c.why;
    EXPECT_EQ(a.document.blocks[0].text, c.want) << c.why;
  }
}

TEST(Assembly, KindsOfBlocks) {
  struct Case {
    std::vector<L> run;
    BlockKind want;
    const char* why;
  };
  const Case kCases[] = {
      {{{"Figure 3: Results", 300, 72, 200}}, kCaption, "caption with a number"},
      {{{"FIG. 12 shows a plot", 300, 72, 200}}, kCaption, "markers ignore case"},
      {{{"Listing 2: the code", 300}}, kCaption, "listing"},
      {{{"Algorithm 1 Search", 300}}, kCaption, "algorithm"},
      {{{"Figure shows the results of all the experiments 3", 300}},
       kParagraph,
       "no digit among the first 24 characters"},
      {{{"Table of contents", 300, 72, 200}}, kParagraph, "a marker word without a number"},
      {{{"The table 3 shows", 300, 72, 200}}, kParagraph, "the marker must start the text"},
      {{{"Results of the main experiment", 300, 72, 300, kBody, true}}, kHeading, "bold"},
      {{{"Results of the main experiment.", 300, 72, 300, kBody, true}},
       kParagraph,
       "a heading does not end with a full stop"},
      {{{"3. Results of the main experiment.", 300, 72, 300}}, kHeading, "unless it is numbered"},
      {{{"1 Introduction", 300, 72, 200}}, kHeading, "numbered, body size, not bold"},
      {{{"Related work", 300, 72, 200, 11}}, kHeading, "set larger than 1.06 body sizes"},
      {{{"Related work", 300, 72, 200, 10.5f}}, kParagraph, "only slightly larger"},
      {{{"Results of the main experiment", 300, 72, 480, kBody, true}},
       kHeading,
       "0.87 of the widest line"},
      {{{"Results of the main experiment", 300, 72, 540, kBody, true}},
       kParagraph,
       "as wide as the widest line"},
      {{{"one two three four five six seven eight nine ten eleven twelve thirteen fourteen", 300,
         72, 300, kBody, true}},
       kHeading,
       "14 words"},
      {{{"one two three four five six seven eight nine ten eleven twelve thirteen fourteen fifteen",
         300, 72, 300, kBody, true}},
       kParagraph,
       "15 words"},
      {{{"A heading set over", 300, 72, 300, kBody, true},
        {"two lines", 312, 72, 200, kBody, true}},
       kHeading,
       "two bold lines"},
      {{{"A heading set over", 300, 72, 300, kBody, true}, {"two lines", 312, 72, 200}},
       kParagraph,
       "one of the two lines is not bold"},
      {{{"Not a heading set", 300, 72, 300, kBody, true},
        {"over three", 312, 72, 300, kBody, true},
        {"lines", 324, 72, 200, kBody, true}},
       kParagraph,
       "three lines"},
      {{{"\u2022 an item of the list", 300}}, kBullet, "bullet and a space"},
      {{{"\u2022an item of the list", 300}}, kParagraph, "bullet without a space"},
      {{{"- an item of the list", 300}}, kBullet, "hyphen-minus"},
      {{{"\u2217 an item", 300}}, kBullet, "asterisk operator"},
      {{{"\u25E6\u00A0an item", 300}}, kBullet, "white bullet and a no-break space"},
      {{{"\u2022", 300}}, kParagraph, "a bullet alone"},
      {{{"(ii) an item", 300}}, kNumbered, "roman in parentheses"},
      {{{"a) an item", 300}}, kNumbered, "letter and parenthesis"},
      {{{"1. an item", 300}}, kNumbered, "number and dot (too wide for a heading)"},
      {{{"iv) an item", 300}}, kNumbered, "lower-case roman"},
      {{{"2: an item", 300}}, kNumbered, "colon"},
      {{{"B. an item", 300}}, kNumbered, "capital letter"},
      {{{"(3 an item", 300}}, kNumbered, "opening parenthesis only"},
      {{{"(xl) an item", 300}}, kNumbered, "letters i, v, x, l"},
      {{{"12 items in all", 300}}, kParagraph, "a number without punctuation"},
      {{{"a item", 300}}, kParagraph, "a letter without punctuation"},
      {{{"(abc) an item", 300}}, kParagraph, "several letters that are no numeral"},
      {{{"(12345) an item", 300}}, kParagraph, "a marker of 7 bytes"},
      {{{"1.2. an item", 300}}, kParagraph, "a dotted number is no list marker"},
      {{{"() an item", 300}}, kParagraph, "empty core"},
      {{{"1.", 300}}, kParagraph, "a marker alone"},
      {{{"Supported by a grant from the foundation", 640, 72, 400, 8}},
       kFootnote,
       "small print low on the page"},
      {{{"Supported by a grant from the foundation", 300, 72, 400, 8}},
       kParagraph,
       "small print high on the page"},
      {{{"Supported by a grant from the foundation", 640, 72, 400, 9.5f}},
       kParagraph,
       "not small enough"},
  };
  for (const Case& c : kCases) {
    // The run appears twice, so that a list item has a neighbour to keep it a list item.
    std::vector<L> page{kWideBody};
    for (float shift : {0.0f, 60.0f}) {
      for (L l : c.run) {
        l.baseline += shift;
        page.push_back(l);
      }
    }
    Assembled a = assemble({{}, page});
    ASSERT_EQ(a.document.blocks.size(), 3u) << c.why;
    EXPECT_EQ(a.document.blocks[0].kind, kParagraph) << c.why;
    EXPECT_EQ(a.document.blocks[1].kind, c.want) << c.why;
    EXPECT_EQ(a.document.blocks[2].kind, c.want) << c.why;
    EXPECT_EQ(a.first_lines, (std::vector<size_t>{0, 1, 1 + c.run.size()})) << c.why;
  }
}

TEST(Assembly, FootnotesMeasureAgainstThePageHeight) {
  const L note{"Supported by a grant from the foundation", 640, 72, 400, 8};
  struct Case {
    std::vector<float> heights;
    BlockKind want;
    const char* why;
  };
  const Case kCases[] = {
      {{792}, kFootnote, "a page without a height counts as 792 high"},
      {{792, 792}, kFootnote, "0.8 of the page"},
      {{792, 2000}, kParagraph, "0.32 of a tall page"},
      {{792, 0}, kParagraph, "a page without height has no footnotes"},
  };
  for (const Case& c : kCases) {
    Assembled a = assemble({{}, {note}}, {}, c.heights);
    ASSERT_EQ(a.document.blocks.size(), 1u) << c.why;
    EXPECT_EQ(a.document.blocks[0].kind, c.want) << c.why;
  }
}

TEST(Assembly, ShortFragmentsJoinTheParagraphTheyContinue) {
  const L kOpen{"the results of this study show a clear", 100};
  const L kEnded{"the results of this study are clear.", 100};
  struct Case {
    L a, b;
    std::optional<std::string_view> merged;
    const char* why;
  };
  const Case kCases[] = {
      {kOpen,
       {"improvement overall", 118, 72, 200},
       "the results of this study show a clear improvement overall",
       "just below and overlapping"},
      {kOpen, {"improvement overall", 160, 72, 200}, std::nullopt, "too far below"},
      {kOpen, {"improvement overall", 118, 545, 600}, std::nullopt, "below but beside the column"},
      {{"the results of this study show a clear", 100, 72, 290},
       {"and more", 100, 300, 400},
       "the results of this study show a clear and more",
       "beside on the same baseline"},
      {{"the results of this study show a clear", 100, 72, 290},
       {"and more", 100, 10, 60},
       std::nullopt,
       "left of the paragraph"},
      {kEnded, {"Next part", 118, 72, 200}, std::nullopt, "a capital after a full stop"},
      {kOpen,
       {"Improvement overall", 118, 72, 200},
       "the results of this study show a clear Improvement overall",
       "a capital where no sentence ended"},
      {kEnded,
       {"and more", 118, 72, 200},
       "the results of this study are clear. and more",
       "lower case after a full stop"},
      {kOpen, {"improvement overall in all", 118, 72, 200}, std::nullopt, "four words"},
      {kOpen, {"REFERENCES", 118, 72, 200}, std::nullopt, "a bibliography heading"},
      {{"Figure 2: the results of this study", 100},
       {"improvement overall", 118, 72, 200},
       std::nullopt,
       "a caption takes no fragments"},
  };
  for (const Case& c : kCases) {
    Assembled a = assemble({{}, {c.a, c.b}});
    if (c.merged) {
      ASSERT_EQ(a.document.blocks.size(), 1u) << c.why;
      EXPECT_EQ(a.document.blocks[0].text, *c.merged) << c.why;
      Rect ra = make_line(c.a).bbox, rb = make_line(c.b).bbox;
      EXPECT_EQ(a.document.blocks[0].bbox, (Rect{std::min(ra.x0, rb.x0), std::min(ra.y0, rb.y0),
                                                 std::max(ra.x1, rb.x1), std::max(ra.y1, rb.y1)}))
          << c.why;
      EXPECT_EQ(a.first_lines, std::vector<size_t>{0}) << c.why;
    } else {
      ASSERT_EQ(a.document.blocks.size(), 2u) << c.why;
      EXPECT_EQ(a.first_lines, (std::vector<size_t>{0, 1})) << c.why;
    }
  }
}

TEST(Assembly, FragmentsOnAnotherPageStayApart) {
  Assembled a = assemble({{},
                          {{"the results of this study show a clear", 700}},
                          {{"improvement overall", 90, 72, 200}}});
  EXPECT_EQ(a.document.blocks.size(), 2u);
}

TEST(Assembly, IsolatedListItemsBecomeParagraphs) {
  struct Entry {
    size_t page;
    bool item;
  };
  struct Case {
    std::vector<Entry> blocks;
    std::vector<bool> want_item;
    const char* why;
  };
  const Case kCases[] = {
      {{{1, true}}, {false}, "alone"},
      {{{1, true}, {1, true}}, {true, true}, "two in a row"},
      {{{1, true}, {1, false}, {1, true}}, {true, false, true}, "two blocks apart"},
      {{{1, true}, {1, false}, {1, false}, {1, true}}, {false, false, false, false}, "three apart"},
      {{{1, true}, {2, true}}, {false, false}, "neighbours on different pages"},
      {{{1, true}, {1, false}, {1, true}, {1, false}, {1, false}, {1, true}},
       {true, false, true, false, false, false},
       "the last one is too far from the others"},
  };
  for (const Case& c : kCases) {
    Pages pages(3);
    for (const Entry& e : c.blocks) {
      float baseline = 100 + 40 * static_cast<float>(pages[e.page].size());
      pages[e.page].push_back(
          {e.item ? "\u2022 an item of the list" : "a paragraph of the text", baseline});
    }
    Assembled a = assemble(pages);
    ASSERT_EQ(a.document.blocks.size(), c.want_item.size()) << c.why;
    for (size_t i = 0; i < c.want_item.size(); ++i) {
      EXPECT_EQ(a.document.blocks[i].kind, c.want_item[i] ? kBullet : kParagraph)
          << c.why << ", block " << i;
    }
  }
}

TEST(Assembly, TitleIsTheLargestCandidateAmongTheFirstFourBlocks) {
  struct Case {
    std::vector<std::pair<std::string_view, float>> first_page;  // text and size
    std::optional<size_t> want;                                  // index of the title block
    const char* why;
  };
  const Case kCases[] = {
      {{{"arXiv preprint 2024", 8},
        {"A Study of Many Things", 17},
        {"Ann Author and Bob Writer", 11},
        {"Abstract text goes on here for a while", 10}},
       1,
       "the largest candidate"},
      {{{"Short", 20}, {"A Longer Title Here", 14}}, 1, "one word is no title"},
      {{{"A Title Ending Here.", 17}, {"Second Candidate Line", 12}}, 1, "a full stop ends it"},
      {{{"1 Introduction to things", 17}}, std::nullopt, "a numbered heading is no title"},
      {{{"small print line here", 9}}, std::nullopt, "smaller than body text"},
      {{{"Equal Size Here", 14}, {"Equal Size Title Here", 14}}, 1, "equal size, more words"},
      {{{"Equal Size Title Here", 14}, {"Equal Size Here", 14}}, 0, "equal size, fewer words"},
      {{{"Equal Size Here", 14}, {"Another Size Here", 14}}, 1, "equal size, equal words"},
      {{{"body line number one", 10},
        {"body line number two", 10},
        {"body line number three", 10},
        {"body line number four", 10},
        {"A Big Late Title", 20}},
       3,
       "only the first four blocks are looked at"},
      {{{"one two three four five six seven eight nine ten eleven twelve thirteen fourteen "
         "fifteen sixteen seventeen eighteen nineteen twenty twenty-one twenty-two twenty-three "
         "twenty-four twenty-five twenty-six",
         14}},
       std::nullopt,
       "26 words"},
  };
  for (const Case& c : kCases) {
    std::vector<L> page;
    for (auto [text, size] : c.first_page)
      page.push_back({.text = text, .baseline = 100 + 60.0f * page.size(), .size = size});
    Assembled a = assemble({page, {{"A Study of Other Things", 100, 72, 540, 30}}});
    const std::vector<Block>& blocks = a.document.blocks;
    ASSERT_EQ(blocks.size(), c.first_page.size() + 1) << c.why;
    for (size_t i = 0; i < blocks.size(); ++i) {
      EXPECT_EQ(blocks[i].kind.type == BlockType::Title, c.want == i) << c.why << ", block " << i;
    }
    if (c.want) {
      EXPECT_EQ(a.document.title, blocks[*c.want].text) << c.why;
    } else {
      EXPECT_EQ(a.document.title, std::nullopt) << c.why;
    }
  }
}

TEST(Assembly, TitleReplacesTheKindItHad) {
  Assembled a = assemble({{{"A Study of Things", 100, 72, 300, 17},
                           {"Body text of the page sets the widest line", 140}}});
  ASSERT_EQ(a.document.blocks.size(), 2u);
  EXPECT_EQ(a.document.blocks[0].kind, BlockKind::of(BlockType::Title))
      << "a narrow large line is a heading until the title is chosen";
  EXPECT_EQ(a.document.title, "A Study of Things");
}

TEST(Assembly, EmptyRunsYieldNoBlockAndFirstLinesIndexEachPage) {
  Assembled a = assemble(
      {{{"first paragraph of the text", 100}, {"", 140}, {"second paragraph of the text", 180}},
       {},
       {{"third paragraph of the text", 100}}});
  EXPECT_EQ(texts(a.document),
            (std::vector<std::string>{"first paragraph of the text", "second paragraph of the text",
                                      "third paragraph of the text"}));
  EXPECT_EQ(a.first_lines, (std::vector<size_t>{0, 2, 0}));
  EXPECT_EQ(a.document.blocks[2].page, 2u);
}

TEST(Assembly, NoLinesNoBlocks) {
  Assembled a = assemble({});
  EXPECT_TRUE(a.document.blocks.empty());
  EXPECT_TRUE(a.first_lines.empty());
  EXPECT_FALSE(a.document.title);
  a = assemble({{}, {}});
  EXPECT_TRUE(a.document.blocks.empty());
}

TEST(Assembly, HeadingLevelsFollowNumbering) {
  Assembled a = assemble({{},
                          {{"1 Introduction", 100, 72, 200},
                           {"Body text of the page sets the widest line", 140},
                           {"1.1 Background", 180, 72, 200},
                           {"Body text of the page in the section", 220}}});
  const std::vector<Block>& b = a.document.blocks;
  ASSERT_EQ(b.size(), 4u);
  EXPECT_EQ(b[0].kind, BlockKind::heading(1));
  EXPECT_EQ(b[2].kind, BlockKind::heading(2));
}

TEST(HeadingLevels, ByNumberingThenBySize) {
  struct Case {
    std::vector<std::pair<std::string_view, float>> headings;  // text and size
    std::vector<uint8_t> want;
    const char* why;
  };
  const float kNaN = std::nanf("");
  const Case kCases[] = {
      {{{"Intro", 14}, {"Setup", 12}, {"Details", 12.2f}}, {1, 2, 2}, "sizes within 0.25 share"},
      {{{"2.1 Setup", 11}, {"Method", 11.1f}, {"Other", 14}},
       {2, 2, 1},
       "an unnumbered heading takes the depth of a numbered one of its size"},
      {{{"Other", 20}, {"2.3.1 Results", 30}, {"IV. Results", 8}},
       {2, 3, 1},
       "numbering wins over size; the unnumbered one ranks second of three sizes"},
      {{{"1 Intro", 12}, {"1.1 Sub", 12.1f}, {"Plain", 12.05f}},
       {1, 2, 1},
       "the first numbered size wins"},
      {{{"A", 20}, {"B", 18}, {"C", 16}, {"D", 14}, {"E", 12}, {"F", 10}, {"G", 8}, {"H", 6}},
       {1, 2, 3, 4, 5, 6, 6, 6},
       "levels stop at 6"},
      {{{"A", 12}, {"B", 12.25f}}, {1, 1}, "0.25 apart is within"},
      {{{"A", 12}, {"B", 12.3f}}, {2, 1}, "0.3 apart is not"},
      {{{"A", kNaN}, {"B", 12}}, {1, 1}, "a size that is not a number ranks nowhere"},
      {{{"A", 0.0f}, {"B", -0.0f}}, {1, 1}, "zeros of either sign"},
  };
  for (const Case& c : kCases) {
    std::vector<Block> blocks;
    for (auto [text, size] : c.headings) {
      Block b;
      b.kind = BlockKind::heading(1);
      b.text = text;
      b.size = size;
      blocks.push_back(b);
      Block p;
      p.text = "a paragraph";
      p.size = size;
      blocks.push_back(p);
    }
    assign_heading_levels(blocks);
    for (size_t i = 0; i < c.want.size(); ++i) {
      EXPECT_EQ(blocks[2 * i].kind, BlockKind::heading(c.want[i])) << c.why << ", heading " << i;
      EXPECT_EQ(blocks[2 * i + 1].kind, kParagraph) << c.why;
    }
  }
}

TEST(HeadingNumbers, NumberedHeadingAndDepth) {
  struct Case {
    std::string_view text;
    std::optional<uint8_t> depth;  // absent: not a numbered heading
    const char* why;
  };
  const Case kCases[] = {
      {"1 Introduction", 1, "plain number"},
      {"2.3 Methods", 2, "two parts"},
      {"2.3.1 Results", 3, "three parts"},
      {"1.2.3.4 Deep", 4, "four parts"},
      {"1.2.3.4.5 Deeper", std::nullopt, "five parts"},
      {"IV. Results", 1, "roman numeral with a dot"},
      {"IV Results", std::nullopt, "roman numeral without a dot"},
      {"A.1 Proof", 2, "appendix letter"},
      {"A. Proof", 1, "letter with a dot"},
      {"A Proof", std::nullopt, "a capital letter alone is a word"},
      {"3. Results.", 1, "trailing dots"},
      {"123 Things", 1, "three digits"},
      {"2019 was a year", std::nullopt, "four digits"},
      {"1. 5", std::nullopt, "a number follows"},
      {"1..2 Gap", std::nullopt, "an empty part"},
      {"... Dots", std::nullopt, "only dots"},
      {"iv. Results", std::nullopt, "lower-case numeral"},
      {"IIII. Results", std::nullopt, "non-canonical numeral"},
      {"B.2.c Items", std::nullopt, "lower-case letter part"},
      {"1.", std::nullopt, "nothing after the number"},
      {"1 (a)", std::nullopt, "punctuation after the number"},
      {"1 \u00E9migr\u00E9s", 1, "a non-ASCII letter after the number"},
      {"  2\u00A0Setup", 1, "leading and Unicode whitespace"},
      {"", std::nullopt, "empty"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(numbered_heading(c.text), c.depth.has_value()) << c.text << ": " << c.why;
    EXPECT_EQ(numbering_depth(c.text), c.depth) << c.text << ": " << c.why;
  }
}

TEST(HeadingNumbers, RomanNumerals) {
  struct Case {
    std::string_view s;
    bool want;
  };
  const Case kCases[] = {
      {"II", true},    {"IV", true},    {"VIII", true}, {"IX", true},   {"XIV", true},
      {"XIX", true},   {"XXXIX", true}, {"I", false},   {"V", false},   {"X", false},
      {"", false},     {"IIII", false}, {"VX", false},  {"XL", false},  {"IIX", false},
      {"XXXX", false}, {"IXI", false},  {"iv", false},  {"IV.", false}, {"VV", false},
  };
  for (const Case& c : kCases) EXPECT_EQ(is_roman_numeral(c.s), c.want) << c.s;
}

}  // namespace
}  // namespace scrivane
