// The document's vocabulary: how often each word occurs whole inside lines, where no line break
// can have cut it. Block assembly asks it whether the two halves of a word broken across lines
// belong together. Built once per document; read-only afterwards.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "scrivane/text/lines.h"

namespace scrivane {

// Not empty, and every character an ASCII letter, a hyphen-minus, or an alphabetic character
// at U+00AA or above (digits, apostrophes and other punctuation make a word uncountable).
bool is_countable(std::string_view word);

class Vocabulary {
 public:
  // Counts the interior words (neither first nor last) of every line with at least 3 words.
  static Vocabulary build(const std::vector<std::vector<Line>>& pages);

  // Counts one occurrence of `word`, lower-cased; an uncountable word is ignored.
  void add(std::string_view word);

  // How often the lower-cased `word` was counted; 0 for an uncountable or unknown word.
  uint32_t count(std::string_view word) const;

  // `head` followed by `tail` when the document uses that word, and at least twice as often as
  // the tail alone; nothing otherwise (also for capitalised tails and joined words of 5
  // characters or fewer).
  std::optional<std::string> rejoin(std::string_view head, std::string_view tail) const;

  // Number of distinct words counted.
  size_t size() const { return counts_.size(); }

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, uint32_t, Hash, std::equal_to<>> counts_;
};

}  // namespace scrivane
