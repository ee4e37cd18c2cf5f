#include "scrivane/cli.h"

#include <cstdio>

namespace scrivane {

int run_cli(const std::vector<std::string>& args) {
  if (args.size() > 1 && (args[1] == "-V" || args[1] == "--version")) {
    std::puts("scrivane " SCRIVANE_VERSION);
    return 0;
  }
  return 2;
}

}  // namespace scrivane
