// The process-wide data-parallel pool: one worker per processor, created on first use and
// shared by every conversion of the process. Results always come back in input order.
#pragma once

#include <cstddef>
#include <functional>
#include <type_traits>
#include <vector>

namespace scrivane {

// Runs body(0) ... body(n - 1) on the pool and returns when all are done. Safe to call from
// several threads at once; a body must not throw.
void parallel_for_index(size_t n, const std::function<void(size_t)>& body);

// f(items[i]) for every item, in parallel, gathered in the order of `items`.
template <class T, class F>
auto parallel_map(std::vector<T>& items, F&& f) {
  using R = std::decay_t<std::invoke_result_t<F&, T&>>;
  std::vector<R> out(items.size());
  parallel_for_index(items.size(), [&](size_t i) { out[i] = f(items[i]); });
  return out;
}

template <class T, class F>
auto parallel_map(const std::vector<T>& items, F&& f) {
  using R = std::decay_t<std::invoke_result_t<F&, const T&>>;
  std::vector<R> out(items.size());
  parallel_for_index(items.size(), [&](size_t i) { out[i] = f(items[i]); });
  return out;
}

// f(i) for i in [0, n), in parallel, gathered by index.
template <class F>
auto parallel_map_index(size_t n, F&& f) {
  using R = std::decay_t<std::invoke_result_t<F&, size_t>>;
  std::vector<R> out(n);
  parallel_for_index(n, [&](size_t i) { out[i] = f(i); });
  return out;
}

}  // namespace scrivane
