#include "scrivane/parallel.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <thread>

namespace scrivane {

namespace {

tbb::task_arena& pool() {
  // Built on first use (thread-safe static initialisation) and kept for the process.
  static tbb::task_arena arena(static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
  return arena;
}

}  // namespace

void parallel_for_index(size_t n, const std::function<void(size_t)>& body) {
  if (n == 0) return;
  if (n == 1) {
    body(0);
    return;
  }
  pool().execute([&] {
    tbb::parallel_for(tbb::blocked_range<size_t>(0, n, 1),
                      [&](const tbb::blocked_range<size_t>& r) {
                        for (size_t i = r.begin(); i != r.end(); ++i) body(i);
                      });
  });
}

}  // namespace scrivane
