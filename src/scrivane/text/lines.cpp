#include "scrivane/text/lines.h"

namespace scrivane {

std::string Line::text() const {
  std::string out;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i > 0) out.push_back(' ');
    out += words[i].text;
  }
  return out;
}

}  // namespace scrivane
