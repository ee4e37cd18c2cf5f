// CMaps: a Type 0 font's encoding (bytes to codes by the codespace, codes to CIDs) and a font's
// /ToUnicode map (codes to text). One parser reads both from the stream's PostScript-like text;
// named CMaps are never loaded. Parsing never fails: whatever cannot be read is left out, and a
// CMap with nothing in it still splits bytes and answers CID 0 (or the code, for identity).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "kestrum/filters.h"
#include "kestrum/font/ranges.h"
#include "kestrum/object.h"

namespace kestrum {

struct CodeRange {
  uint32_t low = 0;
  uint32_t high = 0;
  uint8_t bytes = 1;  // 1..4
  bool operator==(const CodeRange&) const = default;
};

// How the bytes of a shown string split into character codes.
class CodeSpace {
 public:
  CodeSpace() = default;  // no ranges: every byte is a code
  // Byte counts outside 1..4 are clamped into it.
  explicit CodeSpace(std::vector<CodeRange> ranges);

  const std::vector<CodeRange>& ranges() const { return ranges_; }

  // The code at `pos` (which must be below bytes.size()); advances `pos` by its length, at
  // least one byte.
  uint32_t next(std::span<const uint8_t> bytes, size_t& pos) const;
  std::vector<uint32_t> decode(std::span<const uint8_t> bytes) const;

 private:
  bool covers(size_t length, uint32_t code) const;

  std::vector<CodeRange> ranges_;  // as declared
  // The union of the ranges of each byte count, sorted and merged, for binary search.
  std::array<std::vector<std::pair<uint32_t, uint32_t>>, 4> by_length_;
  size_t min_bytes_ = 1;
};

struct CidRange {
  uint32_t low = 0;
  uint32_t high = 0;
  uint32_t first_cid = 0;
};
struct ListRange {  // bfrange with an array of destinations
  uint32_t low = 0;
  uint32_t high = 0;
  std::vector<std::string> texts;
};
struct StepRange {  // bfrange with a string destination, incremented code by code
  uint32_t low = 0;
  uint32_t high = 0;
  std::vector<uint16_t> units;
};

class CMap {
 public:
  CMap() = default;
  static CMap parse(std::span<const uint8_t> bytes);
  // What named Type 0 encodings read as: two-byte codes 0000..FFFF, CID = code.
  static CMap identity();

  const CodeSpace& codespace() const { return codespace_; }
  uint32_t cid(uint32_t code) const;
  std::optional<std::string> unicode(uint32_t code) const;
  // Any bfchar entry or bfrange: what a ToUnicode map must have to be kept.
  bool has_unicode() const {
    return !unicode_map_.empty() || !list_ranges_.empty() || !step_ranges_.empty();
  }
  bool identity_fallback() const { return identity_; }

  const std::unordered_map<uint32_t, uint32_t>& cid_map() const { return cid_map_; }
  const std::vector<CidRange>& cid_ranges() const { return cid_ranges_; }
  const std::unordered_map<uint32_t, std::string>& unicode_map() const { return unicode_map_; }
  const std::vector<ListRange>& list_ranges() const { return list_ranges_; }
  const std::vector<StepRange>& step_ranges() const { return step_ranges_; }

 private:
  // Indexes the ranges so that a lookup finds the first range in file order that holds a code
  // without walking them all: files with thousands of ranges are read one glyph at a time.
  void build_indexes();

  CodeSpace codespace_;
  std::unordered_map<uint32_t, uint32_t> cid_map_;
  std::vector<CidRange> cid_ranges_;
  std::unordered_map<uint32_t, std::string> unicode_map_;
  std::vector<ListRange> list_ranges_;
  std::vector<StepRange> step_ranges_;
  bool identity_ = false;

  // Code -> position of the first range holding it, in each list.
  RangeMap<uint32_t> cid_index_;
  RangeMap<uint32_t> list_index_;
  RangeMap<uint32_t> step_index_;
};

// The text of a bfchar destination or a bfrange array element: a string is UTF-16BE (a final
// odd byte is a unit of its own), a name goes by its glyph name; anything else has none.
std::optional<std::string> unicode_target(const Object& operand);

// The text without U+0000 and U+FFFD, or none when nothing else remains.
std::optional<std::string> non_empty(std::string text);

// The code of a string operand: its first (up to four) bytes, big-endian; 0 when empty.
uint32_t code_value(std::span<const uint8_t> bytes);

// A font's /ToUnicode value (references followed): a stream that decodes and maps at least one
// code; anything else, such as /Identity-H, gives none.
std::optional<CMap> load_to_unicode(const Object* to_unicode, const Resolver& resolver);

}  // namespace kestrum
