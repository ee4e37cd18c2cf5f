#include "scrivane/emit/text.h"

namespace scrivane::emit::text {

namespace {

void write_table(std::string& out, const TableData& table) {
  for (size_t r = 0; r < table.rows.size(); ++r) {
    if (r > 0) out += "\n";
    const auto& row = table.rows[r];
    for (size_t j = 0; j < row.size(); ++j) {
      if (j > 0) out += "\t";
      out += row[j];
    }
  }
}

void write_block(std::string& out, const Block& block) {
  switch (block.kind.type) {
    case BlockType::ListItem:
      out += "  ";
      out += block.text;
      return;
    case BlockType::Table:
      if (block.table) write_table(out, *block.table);
      return;
    case BlockType::Equation:
      out += block.math ? block.math->latex : block.text;
      return;
    default:
      out += block.text;
      return;
  }
}

}  // namespace

std::string render(const Document& doc) {
  std::string out;
  append_blocks(out, doc, write_block);
  return out;
}

void append_blocks(std::string& out, const Document& doc,
                   void (*write)(std::string&, const Block&)) {
  for (const Block& block : doc.blocks) {
    write(out, block);
    out += "\n\n";
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  out += "\n";
}

}  // namespace scrivane::emit::text
