#include "scrivane/emit/typst.h"

namespace scrivane::emit::typst {

std::string render(const Document& doc) {
  std::string out;
  for (const Block& block : doc.blocks) out += block.text + "\n\n";
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out + "\n";
}

}  // namespace scrivane::emit::typst
