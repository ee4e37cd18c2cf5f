#include "support/paths.h"

#include <fstream>
#include <sstream>

namespace testing_support {

std::filesystem::path source_dir() {
  return SCRIVANE_SOURCE_DIR;
}
std::filesystem::path binary_dir() {
  return SCRIVANE_BINARY_DIR;
}

std::filesystem::path corpus_file(std::string_view name) {
  return source_dir() / "tests" / "corpus" / name;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace testing_support
