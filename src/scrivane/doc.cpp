#include "scrivane/doc.h"

#include <algorithm>

namespace scrivane {

const char* block_type_name(BlockType type) {
  switch (type) {
    case BlockType::Title:
      return "title";
    case BlockType::Heading:
      return "heading";
    case BlockType::Paragraph:
      return "paragraph";
    case BlockType::Caption:
      return "caption";
    case BlockType::Figure:
      return "figure";
    case BlockType::ListItem:
      return "list_item";
    case BlockType::Footnote:
      return "footnote";
    case BlockType::Table:
      return "table";
    case BlockType::Equation:
      return "equation";
    case BlockType::Reference:
      return "reference";
  }
  return "paragraph";
}

Section section(const Document& doc, std::optional<std::string> title, uint8_t level, size_t start,
                size_t end, std::vector<Section> children) {
  Section s{std::move(title), level, start, end, 0, 0, std::move(children)};
  end = std::min(end, doc.blocks.size());
  if (start < end) {
    s.first_page = s.last_page = doc.blocks[start].page;
    for (size_t i = start + 1; i < end; ++i) {
      s.first_page = std::min(s.first_page, doc.blocks[i].page);
      s.last_page = std::max(s.last_page, doc.blocks[i].page);
    }
  }
  return s;
}

std::vector<Section> nest(const Document& doc, const std::vector<HeadingRef>& headings,
                          size_t& cursor, uint8_t parent_level) {
  std::vector<Section> out;
  while (cursor < headings.size() && headings[cursor].level > parent_level) {
    HeadingRef heading = headings[cursor++];
    std::vector<Section> children = nest(doc, headings, cursor, heading.level);
    size_t end = cursor < headings.size() ? headings[cursor].index : doc.blocks.size();
    out.push_back(section(doc, doc.blocks[heading.index].text, heading.level, heading.index, end,
                          std::move(children)));
  }
  return out;
}

std::vector<Section> Document::sections() const {
  std::vector<Section> out;
  if (blocks.empty()) return out;
  std::vector<HeadingRef> headings;
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (blocks[i].kind.type == BlockType::Heading)
      headings.push_back({i, std::max<uint8_t>(blocks[i].kind.level, 1)});
  }
  size_t first = headings.empty() ? blocks.size() : headings.front().index;
  if (first > 0) out.push_back(section(*this, std::nullopt, 0, 0, first, {}));
  size_t cursor = 0;
  for (Section& s : nest(*this, headings, cursor, 0)) out.push_back(std::move(s));
  return out;
}

namespace {

void optional_member(JsonWriter& out, const char* name, const std::optional<std::string>& value) {
  if (value) out.member(name, std::string_view(*value));
}

void write_kind(JsonWriter& out, const BlockKind& kind) {
  out.begin_object();
  out.member("type", block_type_name(kind.type));
  if (kind.type == BlockType::Heading) out.member_unsigned("level", kind.level);
  if (kind.type == BlockType::ListItem) out.member("ordered", kind.ordered);
  out.end_object();
}

void write_table(JsonWriter& out, const TableData& table) {
  out.begin_object();
  out.key("rows");
  out.begin_array();
  for (const auto& row : table.rows) {
    out.begin_array();
    for (const std::string& cell : row) out.string(cell);
    out.end_array();
  }
  out.end_array();
  out.member_unsigned("header_rows", table.header_rows);
  out.end_object();
}

void write_math(JsonWriter& out, const MathData& math) {
  out.begin_object();
  out.member("latex", std::string_view(math.latex));
  optional_member(out, "number", math.number);
  out.member("confidence", math.confidence);
  out.end_object();
}

void write_reference(JsonWriter& out, const Reference& ref) {
  out.begin_object();
  optional_member(out, "label", ref.label);
  out.member("raw", std::string_view(ref.raw));
  if (!ref.authors.empty()) {
    out.key("authors");
    out.begin_array();
    for (const std::string& author : ref.authors) out.string(author);
    out.end_array();
  }
  optional_member(out, "title", ref.title);
  if (ref.year) out.member_unsigned("year", *ref.year);
  optional_member(out, "doi", ref.doi);
  optional_member(out, "arxiv", ref.arxiv);
  out.end_object();
}

}  // namespace

void write_json(JsonWriter& out, const Block& block) {
  out.begin_object();
  out.key("kind");
  write_kind(out, block.kind);
  out.member("text", std::string_view(block.text));
  out.member_unsigned("page", block.page);
  out.key("bbox");
  write_json(out, block.bbox);
  out.member("size", block.size);
  optional_member(out, "asset", block.asset);
  if (block.table) {
    out.key("table");
    write_table(out, *block.table);
  }
  if (block.math) {
    out.key("math");
    write_math(out, *block.math);
  }
  if (block.reference) {
    out.key("reference");
    write_reference(out, *block.reference);
  }
  out.end_object();
}

void write_json(JsonWriter& out, const Section& s) {
  out.begin_object();
  out.key("title");
  if (s.title) {
    out.string(*s.title);
  } else {
    out.null();
  }
  out.member_unsigned("level", s.level);
  out.member_unsigned("start", s.start);
  out.member_unsigned("end", s.end);
  out.member_unsigned("first_page", s.first_page);
  out.member_unsigned("last_page", s.last_page);
  out.key("children");
  out.begin_array();
  for (const Section& child : s.children) write_json(out, child);
  out.end_array();
  out.end_object();
}

void write_json(JsonWriter& out, const Document& doc) {
  out.begin_object();
  out.key("title");
  if (doc.title) {
    out.string(*doc.title);
  } else {
    out.null();
  }
  out.key("blocks");
  out.begin_array();
  for (const Block& block : doc.blocks) write_json(out, block);
  out.end_array();
  out.key("sections");
  out.begin_array();
  for (const Section& s : doc.sections()) write_json(out, s);
  out.end_array();
  out.end_object();
}

std::string to_json(const Document& doc, JsonLayout layout) {
  JsonWriter out(layout);
  write_json(out, doc);
  return out.take();
}

}  // namespace scrivane
