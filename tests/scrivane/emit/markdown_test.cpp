#include "scrivane/emit/markdown.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace scrivane::emit::markdown {
namespace {

Block block(BlockKind kind, std::string text) {
  Block b;
  b.kind = kind;
  b.text = std::move(text);
  return b;
}

Block of(BlockType type, std::string text) {
  return block(BlockKind::of(type), std::move(text));
}

Block with_asset(Block b, std::string asset) {
  b.asset = std::move(asset);
  return b;
}

Block equation(std::string latex, std::optional<std::string> number) {
  Block b = of(BlockType::Equation, "");
  b.math = MathData{std::move(latex), std::move(number), 0.9f};
  return b;
}

Block reference(std::string text, std::optional<std::string> label) {
  Block b = of(BlockType::Reference, std::move(text));
  b.reference = Reference{};
  b.reference->label = std::move(label);
  return b;
}

Block table(std::vector<std::vector<std::string>> rows, size_t header_rows) {
  Block b = of(BlockType::Table, "");
  b.table = TableData{std::move(rows), header_rows};
  return b;
}

std::string render_one(const Block& b) {
  return render(Document{{b}, std::nullopt});
}

TEST(Markdown, ChunkOfEveryKind) {
  struct Case {
    Block block;
    std::string_view want;
    const char* why;
  };
  const Case kCases[] = {
      {of(BlockType::Title, "A Study"), "# A Study\n", "title"},
      {block(BlockKind::heading(1), "Intro"), "## Intro\n", "level 1 heading"},
      {block(BlockKind::heading(3), "Deep"), "#### Deep\n", "level 3 heading"},
      {block(BlockKind::heading(9), "Deeper"), "###### Deeper\n", "levels from 5 up cap at six"},
      {block(BlockKind::heading(0), "Zero"), "## Zero\n", "level 0 reads as 1"},
      {of(BlockType::Paragraph, "Plain *text* [1]."), "Plain *text* [1].\n", "paragraph"},
      {of(BlockType::Caption, "Figure 1: Setup"), "*Figure 1: Setup*\n", "caption"},
      {with_asset(of(BlockType::Figure, " Figure 1: [Overview] "), "out/figure-001.png"),
       "![Figure 1: Overview](out/figure-001.png)\n", "figure alt without brackets, trimmed"},
      {of(BlockType::Figure, "# Figure 2"), "*\\# Figure 2*\n", "figure without asset"},
      {of(BlockType::Figure, ""), "*[figure]*\n", "figure without asset or text"},
      {block(BlockKind::list_item(true), "2) Second"), "1. Second\n", "ordered item"},
      {block(BlockKind::list_item(false), "\u2022 Point"), "- Point\n", "bullet item"},
      {block(BlockKind::list_item(false), "- # not escaped"), "- # not escaped\n",
       "list text is not escaped"},
      {block(BlockKind::list_item(false), "Enumerate all"), "- Enumerate all\n",
       "a first word over 6 bytes stays"},
      {of(BlockType::Footnote, "1 See above."), "> 1 See above.\n", "footnote"},
      {of(BlockType::Table, ""), "*[table]*\n", "table without payload"},
      {table({{}, {}}, 1), "\n", "a table of empty rows is an empty chunk"},
      {equation("x^2", "3"), "$$\nx^2 \\tag{3}\n$$\n", "numbered equation"},
      {equation("y", std::nullopt), "$$\ny\n$$\n", "unnumbered equation"},
      {of(BlockType::Equation, "-x = y"), "\\-x = y\n", "equation without math"},
      {with_asset(equation("x", "1"), "out/equation-001.png"),
       "![equation](out/equation-001.png)\n", "an equation image wins over its LaTeX"},
      {reference("[12] A. Smith. Things.", "12"), "<a id=\"ref-12\"></a>[12] A. Smith. Things.\n",
       "reference with label"},
      {reference("A. Smith. Things.", std::nullopt), "A. Smith. Things.\n", "no label"},
      {reference("x", "a\"><b"), "<a id=\"ref-a&quot;&gt;&lt;b\"></a>x\n",
       "a label cannot close the attribute"},
  };
  for (const Case& c : kCases) EXPECT_EQ(render_one(c.block), c.want) << c.why;
}

TEST(Markdown, BlocksAreSeparatedByOneBlankLine) {
  Document doc;
  EXPECT_EQ(render(doc), "\n");
  doc.blocks = {of(BlockType::Title, "T"), of(BlockType::Paragraph, "p"), of(BlockType::Table, ""),
                table({{}}, 0), of(BlockType::Paragraph, "q\n\n")};
  EXPECT_EQ(render(doc), "# T\n\np\n\n*[table]*\n\n\n\nq\n");
}

TEST(Markdown, EscapeProtectsTheStartOfALine) {
  struct Case {
    std::string_view text;
    std::string_view want;
    const char* why;
  };
  const Case kCases[] = {
      {"# one", "\\# one", "heading marker"},
      {"  - two", "\\- two", "leading blanks are dropped with the escape"},
      {"\u3000> three", "\\> three", "Unicode white space counts as leading blank"},
      {"+ = | x", "\\+ = | x", "only the first character matters"},
      {"=", "\\=", "a lone marker"},
      {"  * four", "  * four", "emphasis markers pass, leading blanks kept"},
      {"1. five", "1. five", "ordered markers pass"},
      {"", "", "empty"},
  };
  for (const Case& c : kCases) EXPECT_EQ(escape(c.text), c.want) << c.why;
}

TEST(Markdown, StripMarker) {
  struct Case {
    std::string_view text;
    std::string_view want;
    const char* why;
  };
  const Case kCases[] = {
      {"", "", "empty"},
      {"*  star", "star", "ASCII bullet, blanks after it dropped"},
      {"\u25e6open", "open", "a bullet needs no blank after it"},
      {"\u2013", "", "a bullet alone"},
      {"12. Twelve", "Twelve", "numbered"},
      {"(iv)\u00a0Four", "Four", "ends at Unicode white space"},
      {"A) Letter", "Letter", "letter marker"},
      {"abcdef  six", "six", "six bytes is still a marker"},
      {"abcdefg seven", "abcdefg seven", "seven bytes is not"},
      {"\u00e9\u00e9\u00e9\u00e9 x", "\u00e9\u00e9\u00e9\u00e9 x", "bytes, not characters"},
      {"Single", "Single", "no white space at all"},
  };
  for (const Case& c : kCases) EXPECT_EQ(strip_marker(c.text), c.want) << c.why;
}

TEST(Markdown, CellsAndRows) {
  EXPECT_EQ(cell(" a|b \t"), "a\\|b");
  EXPECT_EQ(cell("\u2003"), "");
  std::string out;
  std::vector<std::string> cells = {"a", "", "c"};
  write_row(out, cells);
  EXPECT_EQ(out, "| a |  | c |\n");
}

TEST(Markdown, PipeTables) {
  struct Case {
    Block block;
    std::string_view want;
    const char* why;
  };
  const Case kCases[] = {
      {table({{"Name", "Value"}, {"", "(units)"}, {"a", "1"}}, 2),
       "| Name | Value (units) |\n| --- | --- |\n| a | 1 |\n", "two header rows merge"},
      {table({{"x", "y", "z"}, {"1"}, {"a|b", "2"}}, 1),
       "| x | y | z |\n| --- | --- | --- |\n| 1 |  |  |\n| a\\|b | 2 |  |\n",
       "short rows padded, bars escaped"},
      {table({{"a", "b"}, {"c", "d"}}, 0), "|  |  |\n| --- | --- |\n| a | b |\n| c | d |\n",
       "no header rows give an empty header"},
      {table({{"h1", "h2"}}, 5), "| h1 | h2 |\n| --- | --- |\n",
       "header rows beyond the table, no body"},
  };
  for (const Case& c : kCases) EXPECT_EQ(render_one(c.block), c.want) << c.why;

  // The last row ends without a newline; the blank line that follows comes from render.
  Document doc{{table({{"a"}, {"1"}}, 1), of(BlockType::Paragraph, "after")}, std::nullopt};
  EXPECT_EQ(render(doc), "| a |\n| --- |\n| 1 |\n\nafter\n");
}

}  // namespace
}  // namespace scrivane::emit::markdown
