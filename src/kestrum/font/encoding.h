// Encodings and glyph names: the four base encodings, a simple font's code-to-name table, and
// the rules that turn a glyph name into Unicode text. Everything here is pure and never fails;
// an unknown name simply has no text.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kestrum/filters.h"
#include "kestrum/object.h"

namespace kestrum {

enum class BaseEncoding : uint8_t { Standard = 0, WinAnsi = 1, MacRoman = 2, Symbol = 3 };

// A simple font's glyph names by one-byte code; an empty name means the code has none. Always
// 256 entries for simple and Type 3 fonts, empty for Type 0 fonts.
using GlyphNames = std::vector<std::string>;

// The name of `code` in a base encoding, or nullopt when the table has none there.
std::optional<std::string_view> base_encoding_name(BaseEncoding table, uint8_t code);

// The code-to-name table of a font from its /Encoding (references followed through `resolver`),
// its base font name, whether it is symbolic and, for a Type 1 program, the program's bytes
// (empty for other programs or none).
GlyphNames build_encoding(const Dict& font, std::string_view base_name, bool symbolic,
                          std::span<const uint8_t> type1_program, const Resolver& resolver);

// The text of a glyph name: the glyph list, uniXXXX and uXXXX names, TeX math names, pieces
// and size variants of large delimiters and operators, and suffixed names such as a.sc.
// Bottom and middle pieces of built-up delimiters give the empty text.
std::optional<std::string> glyph_name_to_unicode(std::string_view name);

// The glyph list alone (binary search).
std::optional<char32_t> plain_lookup(std::string_view name);

// The text for a character that some producers put in U+F020..U+F0FF for symbol fonts: the text
// of the Symbol encoding's glyph for the low byte; any other character, or one whose Symbol
// glyph has no text, as it is.
std::string undo_symbol_pua(char32_t c);
inline bool is_symbol_pua(char32_t c) {
  return c >= 0xF020 && c <= 0xF0FF;
}

// Font-name hints. The name is read after its last "+" (dropping a subset tag such as ABCDEF+)
// and compared without regard to ASCII case; `lower_needle` is lower-case ASCII.
std::string_view strip_subset_tag(std::string_view base_name);
bool base_name_has(std::string_view base_name, std::string_view lower_needle);

// UTF-8 helpers shared by the font modules. Scalar values only; unpaired surrogates in UTF-16
// become U+FFFD.
void append_utf8(std::string& out, char32_t c);
std::string utf16_to_utf8(std::span<const uint16_t> units);
// The scalar value at `pos` of valid UTF-8, advancing `pos`; U+FFFD for a broken sequence.
char32_t next_utf8(std::string_view text, size_t& pos);

}  // namespace kestrum
