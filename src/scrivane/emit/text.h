// The plain-text writer: the blocks' texts in reading order with no markup, for indexing.
// Tables become tab-separated rows and equations their LaTeX.
#pragma once

#include <string>

#include "scrivane/doc.h"

namespace scrivane::emit::text {

// The whole document, blocks separated by one blank line, ending in exactly one newline.
std::string render(const Document& doc);

// The layout every writer shares: appends each block of `doc` to `out` as `write` writes it,
// one blank line between blocks, and ends `out` with exactly one newline, however many the
// text before it ended with.
void append_blocks(std::string& out, const Document& doc,
                   void (*write)(std::string&, const Block&));

}  // namespace scrivane::emit::text
