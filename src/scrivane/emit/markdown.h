#pragma once

#include <string>

#include "scrivane/doc.h"

namespace scrivane::emit::markdown {

std::string render(const Document& doc);

}  // namespace scrivane::emit::markdown
