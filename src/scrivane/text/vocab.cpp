#include "scrivane/text/vocab.h"

#include <limits>

#include "scrivane/text/unicode.h"

namespace scrivane {

namespace {

// Below U+00AA the only alphabetic characters are the ASCII letters.
bool is_word_char(char32_t c) {
  return c == '-' || is_alphabetic(c);
}

bool all_word_chars(std::string_view s) {
  for (size_t pos = 0; pos < s.size();) {
    if (!is_word_char(next_scalar(s, pos))) return false;
  }
  return true;
}

bool starts_uppercase(std::string_view s) {
  std::optional<char32_t> c = first_scalar(s);
  return c && is_uppercase(*c);
}

}  // namespace

bool is_countable(std::string_view word) {
  return !word.empty() && all_word_chars(word);
}

Vocabulary Vocabulary::build(const std::vector<std::vector<Line>>& pages) {
  Vocabulary vocab;
  for (const std::vector<Line>& lines : pages) {
    for (const Line& line : lines) {
      if (line.words.size() < 3) continue;
      for (size_t i = 1; i + 1 < line.words.size(); ++i) vocab.add(line.words[i].text);
    }
  }
  return vocab;
}

void Vocabulary::add(std::string_view word) {
  if (!is_countable(word)) return;
  uint32_t& n = counts_[to_lower(word)];
  // Saturate rather than wrap: a wrapped count would make a frequent word look unknown.
  if (n < std::numeric_limits<uint32_t>::max()) ++n;
}

uint32_t Vocabulary::count(std::string_view word) const {
  if (!is_countable(word)) return 0;
  auto it = counts_.find(to_lower(word));
  return it == counts_.end() ? 0 : it->second;
}

std::optional<std::string> Vocabulary::rejoin(std::string_view head, std::string_view tail) const {
  if (!all_word_chars(head)) return std::nullopt;
  if (!all_word_chars(tail) || scalar_count(tail) < 2) return std::nullopt;
  if (starts_uppercase(tail)) return std::nullopt;
  std::string joined;
  joined.reserve(head.size() + tail.size());
  joined.append(head).append(tail);
  if (scalar_count(joined) <= 5) return std::nullopt;
  uint64_t j = count(joined);
  uint64_t t = count(tail);
  if (j > 0 && j >= 2 * t) return joined;
  return std::nullopt;
}

}  // namespace scrivane
