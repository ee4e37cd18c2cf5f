// The Typst writer: every block of a Document becomes one chunk of Typst markup, chunks
// separated by a blank line. Displayed equations go to the mitex package as LaTeX, so the
// output imports it whenever the document holds mathematics.
#pragma once

#include <string>
#include <string_view>

#include "scrivane/doc.h"

namespace scrivane::emit::typst {

// The import line and blank line that open a document with mathematics.
inline constexpr std::string_view kPreamble = "#import \"@preview/mitex:0.2.4\": mi, mitex\n\n";

// The whole document, ending in exactly one newline.
std::string render(const Document& doc);

// True when a block carries a math payload or any block's text holds a dollar sign.
bool needs_preamble(const Document& doc);

// Prose escaped for Typst markup; text between dollar signs (inline formulas) passes
// through unchanged. (The markup word "inline" is taken by the language.)
std::string inline_text(std::string_view text);

// Appends the #table(...) call of `table` (nothing for an empty table).
void write_table(std::string& out, const TableData& table);

}  // namespace scrivane::emit::typst
