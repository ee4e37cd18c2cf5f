#include "scrivane/emit/typst.h"

#include <algorithm>

#include <fmt/format.h>

#include "scrivane/emit/markdown.h"
#include "scrivane/emit/text.h"

namespace scrivane::emit::typst {

namespace {

// Characters that start markup outside maths.
constexpr std::string_view kMarkup = "#*<>@[\\]_";

// The body of a Typst string literal. Asset paths carry the user's directory name and
// labels come from page text; either may hold a quotation mark or a backslash.
void append_string_body(std::string& out, std::string_view text) {
  for (char c : text) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
}

void write_equation(std::string& out, const Block& block) {
  if (block.asset) {
    out += "#figure(image(\"";
    append_string_body(out, *block.asset);
    out += "\"))";
  } else if (!block.math) {
    out += inline_text(block.text);
  } else {
    out += "#mitex(`";
    out += block.math->latex;
    out += "`)";
    if (block.math->number) out += " <eq-" + *block.math->number + ">";
  }
}

void write_block(std::string& out, const Block& block) {
  switch (block.kind.type) {
    case BlockType::Title:
      out += "= " + inline_text(block.text);
      break;
    case BlockType::Heading: {
      int level = std::min<int>(std::max<int>(block.kind.level, 1), 5) + 1;
      out.append(static_cast<size_t>(level), '=');
      out += " " + inline_text(block.text);
      break;
    }
    case BlockType::Paragraph:
      out += inline_text(block.text);
      break;
    case BlockType::Caption:
      out += "#emph[" + inline_text(block.text) + "]";
      break;
    case BlockType::Figure:
      if (block.asset) {
        out += "#figure(\n  image(\"";
        append_string_body(out, *block.asset);
        out += "\"),\n  caption: [" + inline_text(block.text) + "],\n)";
      } else {
        out += "#emph[" + inline_text(block.text) + "]";
      }
      break;
    case BlockType::ListItem:
      out += block.kind.ordered ? "+ " : "- ";
      out += inline_text(markdown::strip_marker(block.text));
      break;
    case BlockType::Footnote:
      out += "#footnote[" + inline_text(block.text) + "]";
      break;
    case BlockType::Table:
      if (block.table) {
        write_table(out, *block.table);
      } else {
        out += "#emph[table]";
      }
      break;
    case BlockType::Equation:
      write_equation(out, block);
      break;
    case BlockType::Reference:
      if (block.reference && block.reference->label) {
        out += "#label(\"ref-";
        append_string_body(out, *block.reference->label);
        out += "\")";
      }
      out += inline_text(block.text);
      break;
  }
}

}  // namespace

std::string inline_text(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  bool in_math = false;
  // Every character that matters is ASCII, so bytes of multi-byte characters pass as they are.
  for (char c : text) {
    if (c == '$') {
      in_math = !in_math;
    } else if (!in_math && kMarkup.find(c) != std::string_view::npos) {
      out.push_back('\\');
    }
    out.push_back(c);
  }
  return out;
}

void write_table(std::string& out, const TableData& table) {
  size_t width = 0;
  for (const auto& row : table.rows) width = std::max(width, row.size());
  if (width == 0) return;
  out += fmt::format("#table(\n  columns: {},\n", width);
  for (size_t i = 0; i < table.rows.size(); ++i) {
    const auto& row = table.rows[i];
    const bool header = i < table.header_rows;
    out += "  ";
    for (size_t j = 0; j < width; ++j) {
      out += header ? "table.cell(fill: luma(240))[" : "[";
      if (j < row.size()) out += inline_text(row[j]);
      out += "], ";
    }
    out += "\n";
  }
  out += ")";
}

bool needs_preamble(const Document& doc) {
  return std::any_of(doc.blocks.begin(), doc.blocks.end(), [](const Block& block) {
    return block.math.has_value() || block.text.find('$') != std::string::npos;
  });
}

std::string render(const Document& doc) {
  std::string out;
  if (needs_preamble(doc)) out += kPreamble;
  text::append_blocks(out, doc, write_block);
  return out;
}

}  // namespace scrivane::emit::typst
