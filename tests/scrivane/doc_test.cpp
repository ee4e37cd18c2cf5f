#include "scrivane/doc.h"

#include <gtest/gtest.h>

#include <limits>

namespace scrivane {
namespace {

Block block(BlockKind kind, std::string text, size_t page) {
  Block b;
  b.kind = kind;
  b.text = std::move(text);
  b.page = page;
  return b;
}

Block heading(uint8_t level, std::string text, size_t page) {
  return block(BlockKind::heading(level), std::move(text), page);
}

Block paragraph(std::string text, size_t page) {
  return block(BlockKind::of(BlockType::Paragraph), std::move(text), page);
}

TEST(Sections, EmptyDocumentHasNone) {
  Document doc;
  EXPECT_TRUE(doc.sections().empty());
  EXPECT_EQ(to_json(doc, JsonLayout::Compact), R"({"title":null,"blocks":[],"sections":[]})");
}

TEST(Sections, NoHeadingsGiveOneFrontSection) {
  Document doc;
  doc.blocks = {paragraph("a", 2), paragraph("b", 0), paragraph("c", 1)};
  auto sections = doc.sections();
  ASSERT_EQ(sections.size(), 1u);
  EXPECT_FALSE(sections[0].title);
  EXPECT_EQ(sections[0].level, 0);
  EXPECT_EQ(sections[0].start, 0u);
  EXPECT_EQ(sections[0].end, 3u);
  EXPECT_EQ(sections[0].first_page, 0u);
  EXPECT_EQ(sections[0].last_page, 2u);
  EXPECT_TRUE(sections[0].children.empty());
}

TEST(Sections, LevelsNestAndCloseAtTheirOwnLevel) {
  Document doc;
  doc.blocks = {
      paragraph("front", 0),  // 0
      heading(1, "One", 0),   // 1
      paragraph("p", 0),      // 2
      heading(2, "1.1", 1),   // 3
      heading(2, "1.2", 1),   // 4: a heading right after a heading is a one-block section
      paragraph("q", 2),      // 5
      heading(1, "Two", 3),   // 6
      paragraph("r", 4),      // 7
  };
  auto s = doc.sections();
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0].end, 1u) << "front section";
  EXPECT_EQ(*s[1].title, "One");
  EXPECT_EQ(s[1].start, 1u);
  EXPECT_EQ(s[1].end, 6u);
  EXPECT_EQ(s[1].last_page, 2u);
  ASSERT_EQ(s[1].children.size(), 2u);
  EXPECT_EQ(s[1].children[0].start, 3u);
  EXPECT_EQ(s[1].children[0].end, 4u) << "the first child ends where the second starts";
  EXPECT_EQ(s[1].children[1].end, 6u) << "the last child ends with its parent";
  EXPECT_EQ(*s[2].title, "Two");
  EXPECT_EQ(s[2].end, 8u);
  EXPECT_EQ(s[2].first_page, 3u);
}

TEST(Sections, LevelZeroCountsAsOneAndLevelsMaySkip) {
  Document doc;
  doc.blocks = {heading(0, "A", 0), heading(3, "A.x", 0), heading(1, "B", 1)};
  auto s = doc.sections();
  ASSERT_EQ(s.size(), 2u) << "no front section when the first block is a heading";
  EXPECT_EQ(s[0].level, 1);
  ASSERT_EQ(s[0].children.size(), 1u);
  EXPECT_EQ(s[0].children[0].level, 3);
  EXPECT_EQ(s[1].start, 2u);
}

TEST(DocumentJson, CompactLayoutWithPayloads) {
  Document doc;
  doc.title = "T";
  Block h = heading(2, "Intro \"q\"\t\\ \xC3\xA9", 0);
  h.bbox = {1, 2, 3, 4};
  h.size = std::numeric_limits<float>::infinity();
  doc.blocks.push_back(h);
  Block item = block(BlockKind::list_item(false), "x", 0);
  doc.blocks.push_back(item);
  Block table = block(BlockKind::of(BlockType::Table), "", 1);
  table.table = TableData{{{"a", "b"}, {"1"}}, 1};
  doc.blocks.push_back(table);
  Block eq = block(BlockKind::of(BlockType::Equation), "", 1);
  eq.math = MathData{"x^2", std::nullopt, 0.5f};
  eq.asset = "assets/equation-001.png";
  doc.blocks.push_back(eq);
  Block ref = block(BlockKind::of(BlockType::Reference), "[1] A. B.", 2);
  ref.reference = Reference{"1", "A. B.", {}, std::nullopt, 2019, std::nullopt, std::nullopt};
  doc.blocks.push_back(ref);

  EXPECT_EQ(
      to_json(doc, JsonLayout::Compact),
      R"({"title":"T","blocks":[)"
      R"({"kind":{"type":"heading","level":2},"text":"Intro \"q\"\t\\ )"
      "\xC3\xA9"
      R"(","page":0,"bbox":{"x0":1.0,"y0":2.0,"x1":3.0,"y1":4.0},"size":null},)"
      R"({"kind":{"type":"list_item","ordered":false},"text":"x","page":0,)"
      R"("bbox":{"x0":0.0,"y0":0.0,"x1":0.0,"y1":0.0},"size":0.0},)"
      R"({"kind":{"type":"table"},"text":"","page":1,"bbox":{"x0":0.0,"y0":0.0,"x1":0.0,"y1":0.0},)"
      R"("size":0.0,"table":{"rows":[["a","b"],["1"]],"header_rows":1}},)"
      R"({"kind":{"type":"equation"},"text":"","page":1,"bbox":{"x0":0.0,"y0":0.0,"x1":0.0,"y1":0.0},)"
      R"("size":0.0,"asset":"assets/equation-001.png","math":{"latex":"x^2","confidence":0.5}},)"
      R"({"kind":{"type":"reference"},"text":"[1] A. B.","page":2,)"
      R"("bbox":{"x0":0.0,"y0":0.0,"x1":0.0,"y1":0.0},"size":0.0,)"
      R"("reference":{"label":"1","raw":"A. B.","year":2019}}],)"
      R"("sections":[{"title":"Intro \"q\"\t\\ )"
      "\xC3\xA9"
      R"(","level":2,"start":0,"end":5,"first_page":0,"last_page":2,"children":[]}]})");
}

TEST(DocumentJson, PrettyLayout) {
  Document doc;
  doc.blocks = {paragraph("p", 0)};
  EXPECT_EQ(to_json(doc, JsonLayout::Pretty),
            "{\n"
            "  \"title\": null,\n"
            "  \"blocks\": [\n"
            "    {\n"
            "      \"kind\": {\n"
            "        \"type\": \"paragraph\"\n"
            "      },\n"
            "      \"text\": \"p\",\n"
            "      \"page\": 0,\n"
            "      \"bbox\": {\n"
            "        \"x0\": 0.0,\n"
            "        \"y0\": 0.0,\n"
            "        \"x1\": 0.0,\n"
            "        \"y1\": 0.0\n"
            "      },\n"
            "      \"size\": 0.0\n"
            "    }\n"
            "  ],\n"
            "  \"sections\": [\n"
            "    {\n"
            "      \"title\": null,\n"
            "      \"level\": 0,\n"
            "      \"start\": 0,\n"
            "      \"end\": 1,\n"
            "      \"first_page\": 0,\n"
            "      \"last_page\": 0,\n"
            "      \"children\": []\n"
            "    }\n"
            "  ]\n"
            "}");
}

}  // namespace
}  // namespace scrivane
