#include "scrivane/emit/typst.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace scrivane::emit::typst {
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

const std::string kImport(kPreamble);

TEST(Typst, ChunkOfEveryKind) {
  struct Case {
    Block block;
    std::string want;
    const char* why;
  };
  const Case kCases[] = {
      {of(BlockType::Title, "A Study"), "= A Study\n", "title"},
      {block(BlockKind::heading(1), "Intro"), "== Intro\n", "level 1 heading"},
      {block(BlockKind::heading(0), "Zero"), "== Zero\n", "level 0 reads as 1"},
      {block(BlockKind::heading(7), "Deep"), "====== Deep\n", "levels from 5 up cap at six"},
      {of(BlockType::Paragraph, "see [1] and a_b"), "see \\[1\\] and a\\_b\n", "escaped prose"},
      {of(BlockType::Caption, "Table 1: #s"), "#emph[Table 1: \\#s]\n", "caption"},
      {with_asset(of(BlockType::Figure, "Figure 1: Setup"), "out/figure-001.png"),
       "#figure(\n  image(\"out/figure-001.png\"),\n  caption: [Figure 1: Setup],\n)\n",
       "figure with asset"},
      {with_asset(of(BlockType::Figure, ""), "my \"dir\"/figure-002.png"),
       "#figure(\n  image(\"my \\\"dir\\\"/figure-002.png\"),\n  caption: [],\n)\n",
       "a quotation mark in the path stays inside the string"},
      {of(BlockType::Figure, "Figure 3"), "#emph[Figure 3]\n", "figure without asset"},
      {block(BlockKind::list_item(false), "\u2022 Point <x>"), "- Point \\<x\\>\n", "bullet"},
      {block(BlockKind::list_item(true), "(iv) Fourth"), "+ Fourth\n", "ordered item"},
      {of(BlockType::Footnote, "1 Note."), "#footnote[1 Note.]\n", "footnote"},
      {of(BlockType::Table, ""), "#emph[table]\n", "table without payload"},
      {table({}, 0), "\n", "a table without rows is an empty chunk"},
      {equation("x^2", "4"), kImport + "#mitex(`x^2`) <eq-4>\n", "numbered equation"},
      {equation("y", std::nullopt), kImport + "#mitex(`y`)\n", "unnumbered equation"},
      {with_asset(equation("x", "1"), "out/equation-001.png"),
       kImport + "#figure(image(\"out/equation-001.png\"))\n", "equation image"},
      {of(BlockType::Equation, "x * y"), "x \\* y\n", "equation without math"},
      {reference("[12] A. Smith.", "12"), "#label(\"ref-12\")\\[12\\] A. Smith.\n",
       "reference with label"},
      {reference("A. Smith.", std::nullopt), "A. Smith.\n", "reference without label"},
      {reference("x", "a\"b"), "#label(\"ref-a\\\"b\")x\n", "a label cannot close the string"},
  };
  for (const Case& c : kCases) EXPECT_EQ(render_one(c.block), c.want) << c.why;
}

TEST(Typst, InlineEscapesOnlyOutsideDollarSigns) {
  struct Case {
    std::string_view text;
    std::string_view want;
    const char* why;
  };
  const Case kCases[] = {
      {"a_b [1]", "a\\_b \\[1\\]", "outside maths"},
      {"#*<>@[\\]_", "\\#\\*\\<\\>\\@\\[\\\\\\]\\_", "every markup character"},
      {"$a_b [1]$", "$a_b [1]$", "inside maths nothing changes"},
      {"x_1 $x_1$ y_1", "x\\_1 $x_1$ y\\_1", "dollars switch in and out"},
      {"$open _", "$open _", "an unclosed formula runs to the end"},
      {"caf\u00e9 = ok", "caf\u00e9 = ok", "other characters pass"},
  };
  for (const Case& c : kCases) EXPECT_EQ(inline_text(c.text), c.want) << c.why;
}

TEST(Typst, PreambleOnlyWithMathematics) {
  Document doc;
  EXPECT_EQ(render(doc), "\n");
  doc.blocks = {of(BlockType::Title, "T"), of(BlockType::Paragraph, "no maths here")};
  EXPECT_FALSE(needs_preamble(doc));
  EXPECT_EQ(render(doc), "= T\n\nno maths here\n");
  doc.blocks.push_back(of(BlockType::Paragraph, "with $x$"));
  EXPECT_TRUE(needs_preamble(doc));
  EXPECT_EQ(render(doc), kImport + "= T\n\nno maths here\n\nwith $x$\n");
}

TEST(Typst, TableCall) {
  EXPECT_EQ(render_one(table({{"A", "B"}, {"1"}}, 1)),
            "#table(\n  columns: 2,\n"
            "  table.cell(fill: luma(240))[A], table.cell(fill: luma(240))[B], \n"
            "  [1], [], \n)\n");
  // Cells are escaped but not trimmed.
  EXPECT_EQ(render_one(table({{" a_b "}}, 0)), "#table(\n  columns: 1,\n  [ a\\_b ], \n)\n");
}

}  // namespace
}  // namespace scrivane::emit::typst
