#include "scrivane/emit/text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace scrivane::emit::text {
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

Block table(std::vector<std::vector<std::string>> rows) {
  Block b = of(BlockType::Table, "");
  b.table = TableData{std::move(rows), 1};
  return b;
}

std::string render_between(const Block& b) {
  return render(Document{{of(BlockType::Paragraph, "<"), b, of(BlockType::Paragraph, ">")}, {}});
}

TEST(PlainText, ChunkOfEveryKind) {
  Block equation = of(BlockType::Equation, "ignored");
  equation.math = MathData{"x^2", "3", 0.9f};
  Block figure = of(BlockType::Figure, "Figure 1: *Setup*");
  figure.asset = "out/figure-001.png";
  Block reference = of(BlockType::Reference, "[1] A. Smith.");
  reference.reference = Reference{"1", "A. Smith.", {}, {}, {}, {}, {}};

  struct Case {
    Block block;
    std::string_view want;
    const char* why;
  };
  const Case kCases[] = {
      {of(BlockType::Title, "# Title"), "# Title", "no escaping"},
      {block(BlockKind::heading(2), "Intro"), "Intro", "heading"},
      {of(BlockType::Caption, "Table 1: x"), "Table 1: x", "caption"},
      {figure, "Figure 1: *Setup*", "figure text only, no asset"},
      {block(BlockKind::list_item(true), "2. Second"), "  2. Second", "marker stays"},
      {of(BlockType::Footnote, "1 Note"), "1 Note", "footnote"},
      {reference, "[1] A. Smith.", "reference text only, no anchor"},
      {equation, "x^2", "LaTeX without delimiters or number"},
      {of(BlockType::Equation, "x = y"), "x = y", "equation without math"},
      {table({{"a", "b"}, {"1", "2"}}), "a\tb\n1\t2", "tab-separated rows"},
      {table({{"a", "b", "c"}, {"1"}}), "a\tb\tc\n1", "short rows are not padded"},
      {table({}), "", "a table without rows"},
      {of(BlockType::Table, ""), "", "a table without payload"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(render_between(c.block), "<\n\n" + std::string(c.want) + "\n\n>\n") << c.why;
  }
}

TEST(PlainText, DocumentFraming) {
  EXPECT_EQ(render(Document{}), "\n");
  Document doc{{block(BlockKind::heading(1), "Intro"), of(BlockType::Paragraph, "Body.")}, {}};
  EXPECT_EQ(render(doc), "Intro\n\nBody.\n");
  doc.blocks.push_back(of(BlockType::Figure, ""));
  EXPECT_EQ(render(doc), "Intro\n\nBody.\n") << "trailing empty chunks leave one newline";
}

}  // namespace
}  // namespace scrivane::emit::text
