// The clear-text part of a Type 1 font program: the encoding the program declares for itself.
// The encrypted part and the outlines are never read. Never fails; a program without a readable
// encoding declares nothing.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kestrum {

struct Type1Encoding {
  bool standard = false;           // the program says /Encoding StandardEncoding
  std::vector<std::string> names;  // 256 names when it assigns at least one code, else empty
};

// Reads the `dup <code> /<name> put` entries of the program's /Encoding, before "eexec".
Type1Encoding read_type1_encoding(std::span<const uint8_t> program);

}  // namespace kestrum
