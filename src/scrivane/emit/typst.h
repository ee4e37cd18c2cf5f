#pragma once

#include <string>

#include "scrivane/doc.h"

namespace scrivane::emit::typst {

std::string render(const Document& doc);

}  // namespace scrivane::emit::typst
