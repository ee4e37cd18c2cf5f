#pragma once

#include <string>

#include "scrivane/doc.h"

namespace scrivane::emit::text {

std::string render(const Document& doc);

}  // namespace scrivane::emit::text
