#include "support/encoders.h"

#include <cstdint>
#include <map>

namespace testing_support {

std::string lzw_encode(std::string_view data, bool early_change) {
  std::map<std::string, unsigned> table;
  for (unsigned i = 0; i < 256; ++i) table[std::string(1, static_cast<char>(i))] = i;
  unsigned next = 258, width = 9;
  std::string out;
  uint32_t buffer = 0;
  int bits = 0;
  auto put = [&](unsigned code) {
    buffer = buffer << width | code;
    bits += static_cast<int>(width);
    while (bits >= 8) {
      out += static_cast<char>(buffer >> (bits - 8));
      bits -= 8;
    }
  };
  put(256);
  std::string current;
  for (char ch : data) {
    std::string extended = current + ch;
    if (table.count(extended) != 0) {
      current = extended;
      continue;
    }
    put(table[current]);
    if (next < 4096) table[extended] = next++;
    // The decoder adds this entry one code later, so its table is one smaller than ours.
    while (width < 12 && (next - 1) + (early_change ? 1 : 0) >= (1u << width)) ++width;
    current = std::string(1, ch);
  }
  if (!current.empty()) put(table[current]);
  put(257);
  if (bits > 0) out += static_cast<char>(buffer << (8 - bits));
  return out;
}

}  // namespace testing_support
