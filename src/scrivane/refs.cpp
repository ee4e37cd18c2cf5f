#include "scrivane/refs.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <utility>

#include "scrivane/text/unicode.h"

namespace scrivane {
namespace {

// Labels are at most three digits: "[1]" to "[999]", "1." to "999.".
constexpr size_t kMaxLabelDigits = 3;
// A bracketed label longer than this is prose in brackets, not a label.
constexpr size_t kMaxBracketLabelBytes = 12;
// A surname longer than this is not a name that opens an author-year entry.
constexpr size_t kMaxSurnameChars = 30;
// Author-year boundaries that cut the text into entries longer than this (median) are false.
constexpr size_t kMaxMedianEntryChars = 400;
// An author list ends within this many bytes of the start of an entry.
constexpr size_t kMaxAuthorListBytes = 200;
constexpr size_t kMaxAuthorBytes = 60;
constexpr size_t kMinTitleBytes = 8;
constexpr size_t kMaxTitleBytes = 299;
constexpr int kTitleCandidates = 3;
constexpr unsigned kMinYear = 1800;
constexpr unsigned kMaxYear = 2100;

// ---- UTF-8 ----------------------------------------------------------------------------------

// A text as characters, with the byte offset of every character and of the end.
struct Chars {
  std::u32string text;
  std::vector<size_t> offsets;

  size_t size() const { return text.size(); }
};

Chars decode(std::string_view s) {
  Chars out;
  out.text.reserve(s.size());
  out.offsets.reserve(s.size() + 1);
  for (size_t pos = 0; pos < s.size();) {
    out.offsets.push_back(pos);
    out.text.push_back(next_scalar(s, pos));
  }
  out.offsets.push_back(s.size());
  return out;
}

// ---- Character classes ----------------------------------------------------------------------

bool is_ascii_letter(char32_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_digit(char32_t c) {
  return c >= '0' && c <= '9';
}
bool is_alnum(char32_t c) {
  return is_alphabetic(c) || is_digit(c);
}
bool is_hyphen_like(char32_t c) {
  return c == '-' || (c >= 0x2010 && c <= 0x2014);
}
// The simple (one-to-one) lowercase mapping: headings and particles are compared character by
// character with ASCII words, and a capital I with dot must still read as "i" there, which its
// full mapping (two characters) would not.
char32_t simple_lower(char32_t c) {
  return static_cast<char32_t>(u_tolower(static_cast<UChar32>(c)));
}

// ---- Finding the bibliography ---------------------------------------------------------------

// The last whitespace character of s[0, end): its start and the offset just past it.
std::optional<std::pair<size_t, size_t>> last_space_before(std::string_view s, size_t end) {
  while (end > 0) {
    size_t start = end;
    if (is_white_space(prev_scalar(s, start))) return std::pair{start, end};
    end = start;
  }
  return std::nullopt;
}

bool ends_sentence(std::string_view s) {
  return !s.empty() && (s.back() == '.' || s.back() == '!' || s.back() == '?' || s.back() == ':');
}

bool ends_with_digit(std::string_view s) {
  std::string_view t = trim_white_space_end(s);
  return !t.empty() && is_digit(static_cast<unsigned char>(t.back()));
}

// For a paragraph that closes with a bibliography heading ("... as shown. References"), the byte
// length of the paragraph without it.
std::optional<size_t> heading_at_end(std::string_view text) {
  std::string_view t = trim_white_space_end(text);
  auto last = last_space_before(t, t.size());
  if (!last) return std::nullopt;
  size_t before_end = last->first;
  if (!is_bibliography_heading(t.substr(last->second))) {
    // Two-word headings ("Works Cited"): look one word further back.
    auto prev = last_space_before(t, trim_white_space_end(t.substr(0, last->first)).size());
    if (!prev || !is_bibliography_heading(t.substr(prev->second))) return std::nullopt;
    before_end = prev->first;
  }
  std::string_view before = trim_white_space_end(t.substr(0, before_end));
  if (!ends_sentence(before)) return std::nullopt;
  return before.size();
}

bool is_kind(const Block& block, BlockType type) {
  return block.kind.type == type;
}

// ---- Splitting ------------------------------------------------------------------------------

// Cuts `text` at the given character positions; text before the first one is dropped.
std::vector<std::string> cut_at(std::string_view text, const Chars& chars,
                                const std::vector<size_t>& positions) {
  std::vector<std::string> out;
  out.reserve(positions.size());
  for (size_t i = 0; i < positions.size(); ++i) {
    size_t from = chars.offsets[positions[i]];
    size_t to = i + 1 < positions.size() ? chars.offsets[positions[i + 1]] : text.size();
    std::string_view entry = trim_white_space(text.substr(from, to - from));
    if (!entry.empty()) out.emplace_back(entry);
  }
  return out;
}

bool is_particle(std::u32string_view run) {
  static constexpr std::u32string_view kParticles[] = {
      U"de", U"di", U"da", U"du", U"la", U"le", U"van", U"von", U"den", U"der", U"del", U"ten"};
  if (run.size() > 3) return false;
  std::u32string low(run);
  for (char32_t& c : low) c = simple_lower(c);
  return std::find(std::begin(kParticles), std::end(kParticles), low) != std::end(kParticles);
}

bool is_surname_char(char32_t c) {
  switch (c) {
    case '\'':
    case '-':
    case '^':
    case '`':
    case '~':
    case 0x00A8:
    case 0x00B4:
    case 0x2019:
      return true;
    default:
      return is_alphabetic(c);
  }
}

// Whether an author-year entry ("Smith, J." or "van Dijk, A.") may start at k.
bool opens_author_entry(std::u32string_view t, size_t k) {
  size_t n = t.size();
  // Every such entry begins with a letter (a particle or the surname's capital); testing that
  // first keeps the walk back over whitespace linear in the text.
  if (!is_alphabetic(t[k]) || !is_white_space(t[k - 1])) return false;
  size_t j = k;
  while (j > 0 && is_white_space(t[j - 1])) --j;
  if (j == 0 || t[j - 1] != '.') return false;
  size_t stop = j - 1;
  // "J. Smith": the full stop of a lone initial does not end an entry.
  if (stop >= 1 && is_uppercase(t[stop - 1]) && (stop < 2 || !is_alnum(t[stop - 2]))) return false;
  size_t s = k;
  size_t r = k;
  while (r < n && r - k <= 3 && is_alphabetic(t[r])) ++r;
  if (is_particle(t.substr(k, r - k)) && (r == n || !is_alphabetic(t[r]))) {
    if (r >= n || t[r] != ' ') return false;
    s = r + 1;
  }
  if (s >= n || !is_uppercase(t[s])) return false;
  size_t e = s + 1;
  while (e < n && e - s <= kMaxSurnameChars && is_surname_char(t[e])) ++e;
  if (e - s > kMaxSurnameChars) return false;
  return e + 3 < n && t[e] == ',' && t[e + 1] == ' ' && is_uppercase(t[e + 2]) && t[e + 3] == '.';
}

std::vector<size_t> author_year_boundaries(std::u32string_view t) {
  std::vector<size_t> out{0};
  for (size_t k = 1; k < t.size(); ++k) {
    if (opens_author_entry(t, k)) out.push_back(k);
  }
  return out;
}

// ---- Parsing --------------------------------------------------------------------------------

std::optional<size_t> author_boundary_in(const Chars& chars) {
  const std::u32string& t = chars.text;
  size_t n = t.size();
  auto digits = [&](size_t from, size_t count) {
    for (size_t i = from; i < from + count; ++i)
      if (!is_digit(t[i])) return false;
    return true;
  };
  for (size_t i = 0; i + 1 < n; ++i) {
    if (t[i] != '.' || !is_white_space(t[i + 1])) continue;
    bool year = i >= 6 && t[i - 1] == ')' && t[i - 6] == '(' && digits(i - 5, 4);
    bool year_letter = i >= 7 && t[i - 1] == ')' && is_ascii_letter(t[i - 2]) && t[i - 7] == '(' &&
                       digits(i - 6, 4);
    bool word = i >= 2 && is_alnum(t[i - 1]) && is_alnum(t[i - 2]);
    if (year || year_letter || word) return chars.offsets[i];
  }
  return std::nullopt;
}

std::optional<uint16_t> find_year(std::u32string_view t, std::optional<refs::CharRange> arxiv) {
  std::optional<uint16_t> year;
  size_t n = t.size();
  for (size_t j = 0; j + 4 <= n; ++j) {
    if (!is_digit(t[j]) || !is_digit(t[j + 1]) || !is_digit(t[j + 2]) || !is_digit(t[j + 3]))
      continue;
    if (j > 0 && is_digit(t[j - 1])) continue;
    if (j + 4 < n && is_digit(t[j + 4])) continue;
    if (arxiv && j >= arxiv->start && j < arxiv->end) continue;
    // Page ranges such as 1995-2001 are not years.
    if (j >= 2 && is_hyphen_like(t[j - 1]) && is_digit(t[j - 2])) continue;
    if (j + 5 < n && is_hyphen_like(t[j + 4]) && is_digit(t[j + 5])) continue;
    unsigned value =
        (t[j] - '0') * 1000 + (t[j + 1] - '0') * 100 + (t[j + 2] - '0') * 10 + (t[j + 3] - '0');
    if (value >= kMinYear && value <= kMaxYear) year = static_cast<uint16_t>(value);
  }
  return year;
}

std::optional<std::string> find_doi(std::string_view raw) {
  size_t slash = std::string_view::npos;
  for (size_t p = raw.find("10."); p != std::string_view::npos; p = raw.find("10.", p + 1)) {
    // One search for the slash serves every "10." before it.
    if (slash == std::string_view::npos || slash < p + 3) {
      slash = raw.find('/', p + 3);
      if (slash == std::string_view::npos) return std::nullopt;
    }
    size_t prefix = slash - (p + 3);
    if (prefix < 2) continue;
    bool digits = true;
    for (size_t i = p + 3; i < slash && digits; ++i)
      digits = is_digit(static_cast<unsigned char>(raw[i]));
    if (!digits) continue;
    size_t end = slash + 1;
    while (end < raw.size()) {
      size_t next = end;
      if (is_white_space(next_scalar(raw, next))) break;
      end = next;
    }
    std::string_view candidate = raw.substr(p, end - p);
    while (!candidate.empty() &&
           (candidate.back() == '.' || candidate.back() == ',' || candidate.back() == ';'))
      candidate.remove_suffix(1);
    if (candidate.size() > slash + 1 - p) return std::string(candidate);
  }
  return std::nullopt;
}

bool acceptable_title(std::string_view title) {
  if (title.size() < kMinTitleBytes || title.size() > kMaxTitleBytes) return false;
  size_t chars = 0;
  size_t letters = 0;
  for (size_t pos = 0; pos < title.size(); ++chars) {
    if (is_alphabetic(next_scalar(title, pos))) ++letters;
  }
  return letters * 4 > chars * 3;
}

std::optional<std::string> find_title(std::string_view raw, size_t boundary) {
  size_t start = boundary + 2;
  // The title follows the full stop and one blank; after a wider blank there is none.
  if (start > raw.size()) return std::nullopt;
  if (start < raw.size() && (static_cast<unsigned char>(raw[start]) & 0xC0) == 0x80)
    return std::nullopt;
  for (int i = 0; i < kTitleCandidates; ++i) {
    size_t stop = raw.find(". ", start);
    std::string_view candidate = trim_white_space(
        raw.substr(start, stop == std::string_view::npos ? std::string_view::npos : stop - start));
    while (!candidate.empty() && candidate.back() == '.') candidate.remove_suffix(1);
    if (acceptable_title(candidate)) return std::string(candidate);
    if (stop == std::string_view::npos) break;
    start = stop + 2;
  }
  return std::nullopt;
}

// The entry's label and the text after it.
std::pair<std::optional<std::string>, std::string_view> split_label(std::string_view entry) {
  std::string_view s = trim_white_space_start(entry);
  if (!s.empty() && s[0] == '[') {
    size_t close = s.find(']', 1);
    if (close != std::string_view::npos && close > 1 && close - 1 <= kMaxBracketLabelBytes)
      return {std::string(s.substr(1, close - 1)), s.substr(close + 1)};
  }
  size_t d = 0;
  while (d < s.size() && d < kMaxLabelDigits && is_digit(static_cast<unsigned char>(s[d]))) ++d;
  if (d > 0 && d + 1 < s.size() && (s[d] == '.' || s[d] == ')')) {
    size_t after = d + 1;
    if (is_white_space(next_scalar(s, after)))
      return {std::string(s.substr(0, d)), s.substr(d + 1)};
  }
  return {std::nullopt, s};
}

// ---- Building the reference blocks ----------------------------------------------------------

// A paragraph of the bibliography and where its text begins in the joined text.
struct Source {
  size_t block;
  size_t offset;
  std::string_view text;  // the part that belongs to the bibliography
};

Block reference_block(std::string entry, const Block* source) {
  Block block;
  block.kind = BlockKind::of(BlockType::Reference);
  if (source) {
    block.page = source->page;
    block.bbox = source->bbox;
    block.size = source->size;
  }
  block.reference = refs::parse(entry);
  block.text = std::move(entry);
  return block;
}

}  // namespace

bool is_bibliography_heading(std::string_view text) {
  if (text.size() > static_cast<size_t>(INT32_MAX)) return false;
  std::string lowered = to_lower(text);
  std::u32string kept;
  for (size_t pos = 0; pos < lowered.size();) {
    char32_t c = next_scalar(lowered, pos);
    if (is_alphabetic(c) || is_white_space(c)) kept.push_back(c);
  }
  size_t from = 0;
  size_t to = kept.size();
  while (from < to && is_white_space(kept[from])) ++from;
  while (to > from && is_white_space(kept[to - 1])) --to;
  std::u32string_view core = std::u32string_view(kept).substr(from, to - from);
  return core == U"references" || core == U"works cited" || core == U"bibliography" ||
         core == U"literature cited";
}

std::optional<size_t> opens_bibliography(std::string_view text) {
  struct Opening {
    std::string_view prefix;
    bool bracket;  // the entries may also start with "["
  };
  static constexpr Opening kOpenings[] = {
      {"references", true},
      {"bibliography", false},
      {"works cited", false},
      {"literature cited", false},
  };
  for (const Opening& opening : kOpenings) {
    // Compared character by character so that the offset after the heading always lies on a
    // character boundary of the original text, whatever its case.
    size_t pos = 0;
    bool match = true;
    for (char want : opening.prefix) {
      if (pos >= text.size()) {
        match = false;
        break;
      }
      if (simple_lower(next_scalar(text, pos)) != static_cast<char32_t>(want)) {
        match = false;
        break;
      }
    }
    if (!match) continue;
    std::string_view rest = trim_white_space_start(text.substr(pos));
    std::optional<char32_t> first = first_scalar(rest);
    if (!first) return std::nullopt;
    if (is_uppercase(*first) || (opening.bracket && *first == '['))
      return text.size() - rest.size();
    return std::nullopt;
  }
  return std::nullopt;
}

namespace refs {

std::optional<Bibliography> find_bibliography(const Document& doc) {
  const std::vector<Block>& blocks = doc.blocks;
  std::optional<Bibliography> found;
  for (size_t i = 0; i < blocks.size() && !found; ++i) {
    const Block& b = blocks[i];
    if (is_kind(b, BlockType::Heading)) {
      // A contents line such as "References 12" is no heading of the bibliography.
      if (is_bibliography_heading(b.text) && !ends_with_digit(b.text))
        found = Bibliography{i + 1, 0, 0, std::nullopt};
    } else if (is_kind(b, BlockType::Paragraph)) {
      if (is_bibliography_heading(b.text)) {
        // Contents lines are often set as plain paragraphs; taking one for the heading would
        // turn the contents into references and hide the real bibliography.
        if (!ends_with_digit(b.text)) found = Bibliography{i + 1, 0, 0, std::nullopt};
      } else if (auto offset = opens_bibliography(b.text)) {
        found = Bibliography{i, 0, *offset, std::nullopt};
      } else if (i + 1 < blocks.size()) {
        if (auto keep = heading_at_end(b.text)) found = Bibliography{i + 1, 0, 0, *keep};
      }
    }
  }
  if (!found) return std::nullopt;
  found->end = blocks.size();
  for (size_t i = found->start + 1; i < blocks.size(); ++i) {
    if (is_kind(blocks[i], BlockType::Heading)) {
      found->end = i;
      break;
    }
  }
  found->end = std::max(found->end, found->start);
  return found;
}

std::vector<size_t> label_positions(std::u32string_view chars, bool bracketed) {
  std::vector<size_t> out;
  size_t expected = 1;
  size_t n = chars.size();
  size_t i = 0;
  while (i < n) {
    if (i == 0 || is_white_space(chars[i - 1])) {
      size_t j = i;
      if (!bracketed || chars[j] == '[') {
        if (bracketed) ++j;
        size_t d = j;
        size_t value = 0;
        while (d < n && d - j < kMaxLabelDigits && is_digit(chars[d]))
          value = value * 10 + (chars[d++] - '0');
        bool shaped =
            d > j && (bracketed ? d < n && chars[d] == ']'
                                : d + 1 < n && chars[d] == '.' && is_white_space(chars[d + 1]));
        if (shaped && value == expected) {
          out.push_back(i);
          ++expected;
          i = d;
          continue;
        }
      }
    }
    ++i;
  }
  return out;
}

std::vector<std::string> split_entries(std::string_view text) {
  Chars chars = decode(text);
  std::vector<size_t> bracketed = label_positions(chars.text, true);
  std::vector<size_t> numbered = label_positions(chars.text, false);
  const std::vector<size_t>& labels = numbered.size() > bracketed.size() ? numbered : bracketed;
  if (labels.size() >= 2) return cut_at(text, chars, labels);

  std::vector<size_t> bounds = author_year_boundaries(chars.text);
  if (bounds.size() >= 3) {
    std::vector<size_t> lengths;
    lengths.reserve(bounds.size());
    for (size_t i = 0; i < bounds.size(); ++i)
      lengths.push_back((i + 1 < bounds.size() ? bounds[i + 1] : chars.size()) - bounds[i]);
    std::sort(lengths.begin(), lengths.end());
    if (lengths[lengths.size() / 2] <= kMaxMedianEntryChars) return cut_at(text, chars, bounds);
  }

  std::vector<std::string> out;
  if (std::string_view whole = trim_white_space(text); !whole.empty()) out.emplace_back(whole);
  return out;
}

std::optional<CharRange> arxiv_span(std::u32string_view chars) {
  static constexpr std::u32string_view kTag = U"arxiv:";
  if (chars.size() < kTag.size()) return std::nullopt;
  for (size_t i = 0; i + kTag.size() <= chars.size(); ++i) {
    bool match = true;
    for (size_t k = 0; k < kTag.size() && match; ++k) {
      char32_t c = chars[i + k];
      if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
      match = c == kTag[k];
    }
    if (!match) continue;
    size_t start = i + kTag.size();
    size_t end = start;
    while (end < chars.size() &&
           (chars[end] < 0x80 && (is_ascii_letter(chars[end]) || is_digit(chars[end]) ||
                                  chars[end] == '-' || chars[end] == '.' || chars[end] == '/')))
      ++end;
    if (end == start) return std::nullopt;
    return CharRange{start, end};
  }
  return std::nullopt;
}

std::optional<size_t> author_boundary(std::string_view text) {
  return author_boundary_in(decode(text));
}

std::vector<std::string> find_authors(std::string_view segment) {
  std::vector<std::string> out;
  auto keep = [&](std::string_view piece) {
    piece = trim_white_space(piece);
    if (piece.size() > kMaxAuthorBytes) return;
    std::optional<char32_t> first = first_scalar(piece);
    if (!first || !is_uppercase(*first)) return;
    for (size_t pos = 0; pos < piece.size();) {
      if (is_alphabetic(next_scalar(piece, pos))) {
        out.emplace_back(piece);
        return;
      }
    }
  };
  size_t from = 0;
  while (from <= segment.size()) {
    size_t stop = segment.find_first_of(",;", from);
    std::string_view piece =
        segment.substr(from, stop == std::string_view::npos ? std::string_view::npos : stop - from);
    for (size_t and_at = piece.find(" and "); and_at != std::string_view::npos;
         and_at = piece.find(" and ")) {
      keep(piece.substr(0, and_at));
      piece.remove_prefix(and_at + 5);
    }
    keep(piece);
    if (stop == std::string_view::npos) break;
    from = stop + 1;
  }
  if (out.size() < 2) out.clear();
  return out;
}

Reference parse(std::string_view entry) {
  Reference ref;
  auto [label, rest] = split_label(entry);
  ref.label = std::move(label);
  std::string_view raw = trim_white_space(rest);
  ref.raw = std::string(raw);

  Chars chars = decode(raw);
  std::optional<CharRange> arxiv = arxiv_span(chars.text);
  ref.year = find_year(chars.text, arxiv);
  ref.doi = find_doi(raw);
  if (arxiv) {
    std::string_view id = raw.substr(chars.offsets[arxiv->start],
                                     chars.offsets[arxiv->end] - chars.offsets[arxiv->start]);
    while (!id.empty() && id.back() == '.') id.remove_suffix(1);
    if (!id.empty()) ref.arxiv = std::string(id);
  }

  std::optional<size_t> boundary = author_boundary_in(chars);
  if (boundary && *boundary < kMaxAuthorListBytes) {
    std::string_view segment = trim_white_space_end(raw.substr(0, *boundary));
    // "Smith, J. (2019)": the year in parentheses is no author.
    if (!segment.empty() && segment.back() == ')') {
      if (size_t open = segment.rfind('('); open != std::string_view::npos)
        segment = trim_white_space_end(segment.substr(0, open));
    }
    ref.authors = find_authors(segment);
  }
  if (boundary) ref.title = find_title(raw, *boundary);
  return ref;
}

std::string link_citations(std::string_view text, const LabelSet& labels) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    size_t open = text.find('[', pos);
    size_t close = open == std::string_view::npos ? open : text.find(']', open + 1);
    if (close == std::string_view::npos) break;
    out.append(text.substr(pos, open - pos));
    std::string_view group = text.substr(open + 1, close - open - 1);
    auto for_each_item = [&](auto&& visit) {
      size_t from = 0;
      while (true) {
        size_t comma = group.find(',', from);
        std::string_view item = trim_white_space(group.substr(
            from, comma == std::string_view::npos ? std::string_view::npos : comma - from));
        if (!visit(item)) return false;
        if (comma == std::string_view::npos) return true;
        from = comma + 1;
      }
    };
    bool all_labels = for_each_item(
        [&](std::string_view item) { return !item.empty() && labels.find(item) != labels.end(); });
    if (all_labels) {
      out.push_back('[');
      bool first = true;
      for_each_item([&](std::string_view item) {
        if (!first) out.append(", ");
        first = false;
        out.push_back('[');
        out.append(item);
        out.append("](#ref-");
        out.append(item);
        out.push_back(')');
        return true;
      });
      out.push_back(']');
    } else {
      out.append(text.substr(open, close + 1 - open));
    }
    pos = close + 1;
  }
  // Text after the last group, including a "[" that is never closed.
  if (pos < text.size()) out.append(text.substr(pos));
  return out;
}

}  // namespace refs

namespace {

// Entries set in small type at the foot of a page read as footnotes during assembly; inside the
// bibliography they are entries like the paragraphs around them.
bool holds_entries(const Block& block) {
  return is_kind(block, BlockType::Paragraph) || is_kind(block, BlockType::Footnote);
}

}  // namespace

void extract_bibliography(Document& doc) {
  std::optional<refs::Bibliography> bib = refs::find_bibliography(doc);
  if (!bib || bib->start >= bib->end) return;
  std::vector<Block>& blocks = doc.blocks;

  std::string joined;
  std::vector<Source> sources;
  for (size_t i = bib->start; i < bib->end; ++i) {
    if (!holds_entries(blocks[i])) continue;
    std::string_view text = blocks[i].text;
    if (i == bib->start) text = text.substr(std::min(bib->run_in, text.size()));
    if (!joined.empty()) joined.push_back(' ');
    sources.push_back({i, joined.size(), text});
    joined.append(text);
  }

  std::vector<std::string> entries = refs::split_entries(joined);
  if (entries.size() < 2) {
    // One entry is no better than the paragraphs as they stand: take them one each. A run-in
    // heading stays out of the first one, as it does from the split.
    entries.clear();
    for (const Source& source : sources) {
      if (std::string_view t = trim_white_space(source.text); !t.empty()) entries.emplace_back(t);
    }
  }
  // Nothing to make references of: leave the document as it was, heading words included.
  if (entries.empty()) return;

  std::vector<Block> references;
  references.reserve(entries.size());
  size_t cursor = 0;
  size_t next_source = 0;  // positions only grow, so the source paragraph only moves forward
  for (std::string& entry : entries) {
    size_t found = joined.find(entry, cursor);
    size_t at = found == std::string::npos ? cursor : found;
    while (next_source < sources.size() && sources[next_source].offset <= at) ++next_source;
    const Block* source = next_source > 0 ? &blocks[sources[next_source - 1].block] : nullptr;
    cursor = std::min(at + entry.size(), joined.size());
    references.push_back(reference_block(std::move(entry), source));
  }

  if (bib->cut) {
    std::string& text = blocks[bib->start - 1].text;
    text.resize(std::min(*bib->cut, text.size()));
  }

  std::vector<Block> rebuilt;
  rebuilt.reserve(blocks.size() + references.size());
  std::move(blocks.begin(), blocks.begin() + static_cast<ptrdiff_t>(bib->start),
            std::back_inserter(rebuilt));
  refs::LabelSet labels;
  for (Block& ref : references) {
    if (ref.reference && ref.reference->label) labels.insert(*ref.reference->label);
    rebuilt.push_back(std::move(ref));
  }
  for (size_t i = bib->start; i < bib->end; ++i) {
    if (!holds_entries(blocks[i])) rebuilt.push_back(std::move(blocks[i]));
  }
  std::move(blocks.begin() + static_cast<ptrdiff_t>(bib->end), blocks.end(),
            std::back_inserter(rebuilt));
  blocks = std::move(rebuilt);

  if (labels.empty()) return;
  for (Block& block : blocks) {
    BlockType type = block.kind.type;
    if (type == BlockType::Paragraph || type == BlockType::Caption || type == BlockType::ListItem)
      block.text = refs::link_citations(block.text, labels);
  }
}

}  // namespace scrivane
