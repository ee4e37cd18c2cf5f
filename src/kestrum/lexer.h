// The byte-level PDF lexer. A Cursor reads objects from a borrowed byte slice (the file, or a
// decoded object or content stream) and never reads past it. It never fails: broken syntax
// yields no object (std::nullopt) or a shortened value, and the caller decides what is fatal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "kestrum/object.h"

namespace kestrum {

// Arrays and dictionaries nested this deep yield no object: bounds the lexer's recursion on
// hostile input such as a file of opening brackets.
inline constexpr int kMaxDepth = 150;

// Array elements and dictionary entries one top-level read keeps, nested ones included; later
// ones are read and dropped. An element takes some 80 bytes against the two bytes of text it
// needs at the least ("0 "), so without this a few hundred bytes of doubly compressed object
// stream holding one long array claim gigabytes.
inline constexpr size_t kMaxObjectElements = size_t{1} << 20;

// A regular token longer than this that is not an object is skipped whole inside an array
// instead of byte by byte: retrying every suffix of a long garbage token would take time
// quadratic in its length.
inline constexpr size_t kMaxRetriedToken = 64;

// Character classes shared with the content-stream tokenizer.
bool is_whitespace(uint8_t c);  // 00 09 0A 0C 0D 20
bool is_delimiter(uint8_t c);   // ( ) < > [ ] { } / %
bool is_regular(uint8_t c);     // neither

// Integer or Real for a numeric token, else no object; tolerates doubled signs ("--5" is -5.0)
// and lone signs or points ("-" is 0.0).
std::optional<Object> parse_number(std::span<const uint8_t> token);
inline std::optional<Object> parse_number(std::string_view token) {
  return parse_number(std::span(reinterpret_cast<const uint8_t*>(token.data()), token.size()));
}

bool is_valid_utf8(std::span<const uint8_t> bytes);
// UTF-8 decoding in which every invalid sequence becomes U+FFFD.
std::string utf8_lossy(std::span<const uint8_t> bytes);

// First occurrence of `needle` in `hay` at or after `from`, or npos.
size_t find_bytes(std::span<const uint8_t> hay, std::string_view needle, size_t from = 0);
// Last occurrence of `needle` lying entirely in `hay`, or npos.
size_t rfind_bytes(std::span<const uint8_t> hay, std::string_view needle);

inline std::span<const uint8_t> as_bytes(std::string_view s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

class Cursor {
 public:
  explicit Cursor(std::span<const uint8_t> data, size_t pos = 0)
      : data_(data), pos_(pos < data.size() ? pos : data.size()) {}

  std::span<const uint8_t> data() const { return data_; }
  size_t pos() const { return pos_; }
  // Clamped to the end of the data.
  void set_pos(size_t pos) { pos_ = pos < data_.size() ? pos : data_.size(); }
  bool at_end() const { return pos_ >= data_.size(); }
  size_t remaining() const { return data_.size() - pos_; }
  // The byte at the cursor, or -1 at the end.
  int peek() const { return pos_ < data_.size() ? data_[pos_] : -1; }
  void advance(size_t n = 1) { set_pos(pos_ + (n < remaining() ? n : remaining())); }

  // Skips whitespace and comments (from % to the next CR or LF).
  void skip_ws();
  // Moves past `word` only if it is at the cursor and followed by whitespace, a delimiter or
  // the end; does not skip leading whitespace.
  bool eat_keyword(std::string_view word);
  // The run of regular bytes at the cursor, possibly empty; a view into the data.
  std::span<const uint8_t> read_regular();

  // Readers for what follows the opening "/", "(", "<" and "<<".
  std::string read_name();
  Bytes read_literal_string();
  Bytes read_hex_string();
  Dict read_dict_body(int depth);

  // One object after whitespace and comments, or no object with the cursor where the
  // unreadable syntax starts (keywords such as obj, R, stream and operators are left there).
  // A read at depth 0 starts a new count against kMaxObjectElements.
  std::optional<Object> read_object_at(int depth = 0);

  // Called just after the keyword `stream`; `length` is the /Length the caller found. Copies the
  // data into a new shared buffer and moves past `endstream` when it is there.
  Stream read_stream_data(Dict dict, std::optional<size_t> length);

 private:
  // The readers fill `out` in place, so that nested values are never moved level by level.
  bool read_into(Object& out, int depth);
  void read_array_into(Object& out, int depth);
  bool read_token_into(Object& out);

  std::span<const uint8_t> data_;
  size_t pos_ = 0;
  size_t elements_ = 0;  // kept by the current top-level read
};

}  // namespace kestrum
