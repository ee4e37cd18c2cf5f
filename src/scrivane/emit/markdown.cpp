#include "scrivane/emit/markdown.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <iterator>
#include <vector>

namespace scrivane::emit::markdown {

namespace {

struct Decoded {
  UChar32 c;
  size_t size;  // bytes taken
};

// The scalar value at byte `at` (ill-formed bytes read as U+FFFD, one byte at a time).
Decoded decode_at(std::string_view text, size_t at) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  size_t next = at;
  UChar32 c;
  U8_NEXT_OR_FFFD(bytes, next, text.size(), c);
  return {c, next - at};
}

bool is_space(UChar32 c) {
  return u_hasBinaryProperty(c, UCHAR_WHITE_SPACE);
}

std::string_view trim_start(std::string_view text) {
  size_t at = 0;
  while (at < text.size()) {
    Decoded d = decode_at(text, at);
    if (!is_space(d.c)) break;
    at += d.size;
  }
  return text.substr(at);
}

std::string_view trim_end(std::string_view text) {
  size_t end = 0;
  for (size_t at = 0; at < text.size();) {
    Decoded d = decode_at(text, at);
    at += d.size;
    if (!is_space(d.c)) end = at;
  }
  return text.substr(0, end);
}

std::string_view trim(std::string_view text) {
  return trim_end(trim_start(text));
}

// List bullets that a list item's text may start with.
constexpr UChar32 kBullets[] = {'*',    '-',    0x00B7, 0x2013, 0x2014,
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
    out += trim(alt);
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
  std::string_view t = trim_start(text);
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
  return std::string(trim(escaped));
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
  Decoded first = decode_at(text, 0);
  if (std::find(std::begin(kBullets), std::end(kBullets), first.c) != std::end(kBullets))
    return trim_start(text.substr(first.size));
  for (size_t at = 0; at < text.size();) {
    Decoded d = decode_at(text, at);
    if (is_space(d.c)) {
      if (at > kMaxMarkerBytes) return text;
      return trim_start(text.substr(at + d.size));
    }
    at += d.size;
  }
  return text;
}

std::string render(const Document& doc) {
  std::string out;
  for (const Block& block : doc.blocks) {
    write_block(out, block);
    out += "\n\n";
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  out += "\n";
  return out;
}

}  // namespace scrivane::emit::markdown
