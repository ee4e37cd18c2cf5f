#include "scrivane/parallel.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <thread>

namespace scrivane {
namespace {

TEST(Parallel, MapKeepsInputOrder) {
  std::vector<int> items(1000);
  std::iota(items.begin(), items.end(), 0);
  auto out = parallel_map(items, [](int& v) { return std::to_string(v * 2); });
  ASSERT_EQ(out.size(), items.size());
  for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i], std::to_string(2 * i));
  EXPECT_TRUE(parallel_map_index(0, [](size_t i) { return i; }).empty());
}

TEST(Parallel, SeveralCallersShareThePool) {
  // Conversions on several threads each run their own per-page stages on the one pool.
  std::vector<std::thread> callers;
  std::vector<size_t> sums(4);
  for (size_t t = 0; t < sums.size(); ++t) {
    callers.emplace_back([t, &sums] {
      auto out = parallel_map_index(500, [t](size_t i) { return i + t; });
      sums[t] = std::accumulate(out.begin(), out.end(), size_t{0});
    });
  }
  for (auto& c : callers) c.join();
  for (size_t t = 0; t < sums.size(); ++t) EXPECT_EQ(sums[t], 500 * 499 / 2 + 500 * t);
}

}  // namespace
}  // namespace scrivane
