// The scrivane executable: the command line, with escaped faults reported instead of thrown.
#include <malloc.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "scrivane/cli.h"

int main(int argc, char** argv) {
  // A reader that closes the pipe early must show up as EPIPE on write, not kill the process.
  std::signal(SIGPIPE, SIG_IGN);
  // Pages allocate and free buffers of a few megabytes each (decoded streams, glyph records).
  // Served by mmap, every one would be zero-filled page by page anew; kept in the heap, they are
  // reused from page to page. A one-shot process has no reason to hand memory back early.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
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
