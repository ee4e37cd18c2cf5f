#include "scrivane/emit/markdown.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "scrivane/emit/text.h"
#include "scrivane/text/unicode.h"

namespace scrivane::emit::markdown {

namespace {

// List bullets that a list item's text may start with.
constexpr char32_t kBullets[] = {'*',    '-',    0x00B7, 0x2013, 0x2014,
                                 0x2022, 0x2023, 0x2217, 0x25AA, 0x25E6};

// The longest ordered marker, in bytes, that strip_marker removes.
constexpr size_t kMaxMarkerBytes = 6;

// An id attribute value: a label out of the bibliography is page text and must not be able
// to close the attribute or the tag.
void append_attribute(std::string& out, std::string_view value) {
  for (char c : value) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out.push_back(c);
    }
  }
}

void write_figure(std::string& out, const Block& block) {
  if (block.asset) {
    std::string alt;
    for (char c : block.text) {
      if (c != '[' && c != ']') alt.push_back(c);
    }
    out += "![";
    out += trim_white_space(alt);
    out += "](";
    out += *block.asset;
    out += ")";
  } else if (!block.text.empty()) {
    out += "*" + escape(block.text) + "*";
  } else {
    out += "*[figure]*";
  }
}

void write_equation(std::string& out, const Block& block) {
  if (block.asset) {
    out += "![equation](" + *block.asset + ")";
  } else if (!block.math) {
    out += escape(block.text);
  } else {
    out += "$$\n";
    out += block.math->latex;
    if (block.math->number) out += " \\tag{" + *block.math->number + "}";
    out += "\n$$";
  }
}

void write_block(std::string& out, const Block& block) {
  switch (block.kind.type) {
    case BlockType::Title:
      out += "# " + escape(block.text);
      break;
    case BlockType::Heading: {
      int level = std::min<int>(std::max<int>(block.kind.level, 1), 5) + 1;
      out.append(static_cast<size_t>(level), '#');
      out += " " + escape(block.text);
      break;
    }
    case BlockType::Paragraph:
      out += escape(block.text);
      break;
    case BlockType::Caption:
      out += "*" + escape(block.text) + "*";
      break;
    case BlockType::Figure:
      write_figure(out, block);
      break;
    case BlockType::ListItem:
      out += block.kind.ordered ? "1. " : "- ";
      out += strip_marker(block.text);
      break;
    case BlockType::Footnote:
      out += "> " + escape(block.text);
      break;
    case BlockType::Table:
      if (block.table) {
        write_table(out, *block.table);
      } else {
        out += "*[table]*";
      }
      break;
    case BlockType::Equation:
      write_equation(out, block);
      break;
    case BlockType::Reference:
      if (block.reference && block.reference->label) {
        out += "<a id=\"ref-";
        append_attribute(out, *block.reference->label);
        out += "\"></a>";
      }
      out += escape(block.text);
      break;
  }
}

}  // namespace

std::string escape(std::string_view text) {
  std::string_view t = trim_white_space_start(text);
  if (!t.empty() && std::string_view("#+-=>|").find(t.front()) != std::string_view::npos) {
    std::string out = "\\";
    out += t;
    return out;
  }
  return std::string(text);
}

std::string cell(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    if (c == '|') escaped.push_back('\\');
    escaped.push_back(c);
  }
  return std::string(trim_white_space(escaped));
}

void write_row(std::string& out, std::span<const std::string> cells) {
  out += "|";
  for (const std::string& c : cells) {
    out += " ";
    out += c;
    out += " |";
  }
  out += "\n";
}

void write_table(std::string& out, const TableData& table) {
  size_t width = 0;
  for (const auto& row : table.rows) width = std::max(width, row.size());
  if (width == 0) return;

  const size_t header_rows = std::min(table.header_rows, table.rows.size());
  std::vector<std::string> header(width);
  for (size_t r = 0; r < header_rows; ++r) {
    const auto& row = table.rows[r];
    for (size_t j = 0; j < std::min(width, row.size()); ++j) {
      if (row[j].empty()) continue;
      if (!header[j].empty()) header[j] += " ";
      header[j] += cell(row[j]);
    }
  }
  write_row(out, header);
  out += "|";
  for (size_t j = 0; j < width; ++j) out += " --- |";
  out += "\n";

  std::vector<std::string> cells(width);
  for (size_t r = header_rows; r < table.rows.size(); ++r) {
    const auto& row = table.rows[r];
    for (size_t j = 0; j < width; ++j) cells[j] = j < row.size() ? cell(row[j]) : std::string();
    write_row(out, cells);
  }
  out.pop_back();
}

std::string_view strip_marker(std::string_view text) {
  if (text.empty()) return text;
  size_t after_first = 0;
  char32_t first = next_scalar(text, after_first);
  if (std::find(std::begin(kBullets), std::end(kBullets), first) != std::end(kBullets))
    return trim_white_space_start(text.substr(after_first));
  for (size_t at = 0; at < text.size();) {
    size_t next = at;
    if (is_white_space(next_scalar(text, next))) {
      if (at > kMaxMarkerBytes) return text;
      return trim_white_space_start(text.substr(next));
    }
    at = next;
  }
  return text;
}

std::string render(const Document& doc) {
  std::string out;
  text::append_blocks(out, doc, write_block);
  return out;
}

}  // namespace scrivane::emit::markdown
