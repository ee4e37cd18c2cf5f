// The Markdown writer: every block of a Document becomes one GitHub-flavoured Markdown chunk,
// chunks separated by a blank line. Escaping is light: only what would turn the start of a
// line into another construct, and the column bar inside table cells.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "scrivane/doc.h"

namespace scrivane::emit::markdown {

// The whole document, ending in exactly one newline.
std::string render(const Document& doc);

// Prose protected against being read as a heading, list, rule, quote or table line.
std::string escape(std::string_view text);

// One table cell's text: bars escaped, whitespace trimmed.
std::string cell(std::string_view text);

// Appends "| a | b |" and a newline.
void write_row(std::string& out, std::span<const std::string> cells);

// Appends the pipe table of `table` without its final newline (nothing for an empty table).
void write_table(std::string& out, const TableData& table);

// A list item's text without its bullet or its short ordered marker ("12.", "(iv)", "A)").
std::string_view strip_marker(std::string_view text);

}  // namespace scrivane::emit::markdown
