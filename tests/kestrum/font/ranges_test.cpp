#include "kestrum/font/ranges.h"

#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace kestrum {
namespace {

TEST(RangeMap, LaterAssignmentsReplaceEarlierOnes) {
  RangeMap<int> map;
  map.assign(10, 20, 1);
  map.assign(15, 16, 2);  // splits the first run in three
  map.assign(5, 11, 3);   // cuts its head
  map.assign(19, 30, 4);  // and its tail
  map.assign(40, 39, 9);  // empty: ignored
  const std::pair<uint32_t, int> kWant[] = {{4, 0},  {5, 3},  {11, 3}, {12, 1}, {14, 1},
                                            {15, 2}, {16, 2}, {17, 1}, {18, 1}, {19, 4},
                                            {30, 4}, {31, 0}, {39, 0}, {40, 0}};
  for (auto [key, want] : kWant) {
    const int* got = map.find(key);
    EXPECT_EQ(got ? *got : 0, want) << key;
  }
  map.assign(0, UINT32_MAX, 7);  // covers everything in one run
  EXPECT_EQ(map.runs(), 1u);
  EXPECT_EQ(*map.find(UINT32_MAX), 7);
  EXPECT_EQ(*map.find(0), 7);
}

// The runs answer exactly what a plain array written in the same order would.
TEST(RangeMap, MatchesAnArrayUnderRandomAssignments) {
  constexpr uint32_t kKeys = 200;
  std::mt19937 rng(3);
  for (int round = 0; round < 20; ++round) {
    RangeMap<int> map;
    std::vector<int> plain(kKeys, 0);
    for (int step = 1; step <= 60; ++step) {
      uint32_t a = rng() % kKeys, b = rng() % kKeys;
      if (rng() % 4 == 0) b = a;
      map.assign(a, b, step);
      for (uint32_t k = a; k <= b && a <= b; ++k) plain[k] = step;
    }
    for (uint32_t k = 0; k < kKeys; ++k) {
      const int* got = map.find(k);
      ASSERT_EQ(got ? *got : 0, plain[k]) << "round " << round << " key " << k;
    }
  }
}

}  // namespace
}  // namespace kestrum
