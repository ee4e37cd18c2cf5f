// Overflow-checked arithmetic for offsets, lengths and counts read from files: a number from the
// file never wraps around into a small, plausible value.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <type_traits>

namespace kestrum {

template <class T>
requires std::is_integral_v<T> std::optional<T> checked_mul(T a, T b) {
  T r;
  if (__builtin_mul_overflow(a, b, &r)) return std::nullopt;
  return r;
}

template <class T>
requires std::is_integral_v<T> T saturating_add(T a, T b) {
  T r;
  if (__builtin_add_overflow(a, b, &r)) {
    return (b > 0) ? std::numeric_limits<T>::max() : std::numeric_limits<T>::min();
  }
  return r;
}

template <class T>
requires std::is_integral_v<T> T saturating_mul(T a, T b) {
  T r;
  if (__builtin_mul_overflow(a, b, &r)) {
    return ((a < 0) != (b < 0)) ? std::numeric_limits<T>::min() : std::numeric_limits<T>::max();
  }
  return r;
}

}  // namespace kestrum
