// Unicode helpers for text stages: UTF-8 walked as scalar values, character properties from
// ICU, whitespace splitting and full lowercase mapping. All functions are pure.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scrivane {

// The scalar value starting at byte `pos` of `s`, advancing `pos` past it. A malformed or
// truncated sequence reads as U+FFFD and advances by one byte. Requires pos < s.size().
char32_t next_scalar(std::string_view s, size_t& pos);

// The scalar value ending at byte `end` of `s`, moving `end` to its first byte. Requires end > 0.
char32_t prev_scalar(std::string_view s, size_t& end);

// The first scalar value of `s`, read as next_scalar reads it; nothing when `s` is empty.
std::optional<char32_t> first_scalar(std::string_view s);

// Number of scalar values in `s`.
size_t scalar_count(std::string_view s);

bool is_white_space(char32_t c);  // the White_Space property
bool is_alphabetic(char32_t c);   // the Alphabetic property
bool is_uppercase(char32_t c);    // the Uppercase property
bool is_numeric(char32_t c);      // general categories Nd, Nl and No

// `s` with its full lowercase mapping applied (no language-specific rules).
std::string to_lower(std::string_view s);

// `s` without White_Space characters at either end, at its start, or at its end.
std::string_view trim_white_space(std::string_view s);
std::string_view trim_white_space_start(std::string_view s);
std::string_view trim_white_space_end(std::string_view s);

// The non-empty White_Space-separated tokens of `s`, as views into it.
std::vector<std::string_view> split_white_space(std::string_view s);

// The number of tokens split_white_space would return.
size_t count_words(std::string_view s);

}  // namespace scrivane
