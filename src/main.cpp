// The scrivane executable: the command line, with escaped faults reported instead of thrown.
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "scrivane/cli.h"

int main(int argc, char** argv) {
  // A reader that closes the pipe early must show up as EPIPE on write, not kill the process.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    std::vector<std::string> args(argv, argv + argc);
    return scrivane::run_cli(args);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Error: internal fault: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "Error: internal fault\n");
  }
  return 1;
}
