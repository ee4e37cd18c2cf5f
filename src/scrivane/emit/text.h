// The plain-text writer: the blocks' texts in reading order with no markup, for indexing.
// Tables become tab-separated rows and equations their LaTeX.
#pragma once

#include <string>

#include "scrivane/doc.h"

namespace scrivane::emit::text {

// The whole document, blocks separated by one blank line, ending in exactly one newline.
std::string render(const Document& doc);

}  // namespace scrivane::emit::text
