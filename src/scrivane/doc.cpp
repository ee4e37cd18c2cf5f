#include "scrivane/doc.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "scrivane/refs.h"
#include "scrivane/text/lines.h"
#include "scrivane/text/unicode.h"
#include "scrivane/text/vocab.h"

namespace scrivane {

const char* block_type_name(BlockType type) {
  switch (type) {
    case BlockType::Title:
      return "title";
    case BlockType::Heading:
      return "heading";
    case BlockType::Paragraph:
      return "paragraph";
    case BlockType::Caption:
      return "caption";
    case BlockType::Figure:
      return "figure";
    case BlockType::ListItem:
      return "list_item";
    case BlockType::Footnote:
      return "footnote";
    case BlockType::Table:
      return "table";
    case BlockType::Equation:
      return "equation";
    case BlockType::Reference:
      return "reference";
  }
  return "paragraph";
}

Section section(const Document& doc, std::optional<std::string> title, uint8_t level, size_t start,
                size_t end, std::vector<Section> children) {
  Section s{std::move(title), level, start, end, 0, 0, std::move(children)};
  end = std::min(end, doc.blocks.size());
  if (start < end) {
    s.first_page = s.last_page = doc.blocks[start].page;
    for (size_t i = start + 1; i < end; ++i) {
      s.first_page = std::min(s.first_page, doc.blocks[i].page);
      s.last_page = std::max(s.last_page, doc.blocks[i].page);
    }
  }
  return s;
}

std::vector<Section> nest(const Document& doc, const std::vector<HeadingRef>& headings,
                          size_t& cursor, uint8_t parent_level) {
  std::vector<Section> out;
  while (cursor < headings.size() && headings[cursor].level > parent_level) {
    HeadingRef heading = headings[cursor++];
    std::vector<Section> children = nest(doc, headings, cursor, heading.level);
    size_t end = cursor < headings.size() ? headings[cursor].index : doc.blocks.size();
    out.push_back(section(doc, doc.blocks[heading.index].text, heading.level, heading.index, end,
                          std::move(children)));
  }
  return out;
}

std::vector<Section> Document::sections() const {
  std::vector<Section> out;
  if (blocks.empty()) return out;
  std::vector<HeadingRef> headings;
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (blocks[i].kind.type == BlockType::Heading)
      headings.push_back({i, std::max<uint8_t>(blocks[i].kind.level, 1)});
  }
  size_t first = headings.empty() ? blocks.size() : headings.front().index;
  if (first > 0) out.push_back(section(*this, std::nullopt, 0, 0, first, {}));
  size_t cursor = 0;
  for (Section& s : nest(*this, headings, cursor, 0)) out.push_back(std::move(s));
  return out;
}

namespace {

void optional_member(JsonWriter& out, const char* name, const std::optional<std::string>& value) {
  if (value) out.member(name, std::string_view(*value));
}

void write_kind(JsonWriter& out, const BlockKind& kind) {
  out.begin_object();
  out.member("type", block_type_name(kind.type));
  if (kind.type == BlockType::Heading) out.member_unsigned("level", kind.level);
  if (kind.type == BlockType::ListItem) out.member("ordered", kind.ordered);
  out.end_object();
}

void write_table(JsonWriter& out, const TableData& table) {
  out.begin_object();
  out.key("rows");
  out.begin_array();
  for (const auto& row : table.rows) {
    out.begin_array();
    for (const std::string& cell : row) out.string(cell);
    out.end_array();
  }
  out.end_array();
  out.member_unsigned("header_rows", table.header_rows);
  out.end_object();
}

void write_math(JsonWriter& out, const MathData& math) {
  out.begin_object();
  out.member("latex", std::string_view(math.latex));
  optional_member(out, "number", math.number);
  out.member("confidence", math.confidence);
  out.end_object();
}

void write_reference(JsonWriter& out, const Reference& ref) {
  out.begin_object();
  optional_member(out, "label", ref.label);
  out.member("raw", std::string_view(ref.raw));
  if (!ref.authors.empty()) {
    out.key("authors");
    out.begin_array();
    for (const std::string& author : ref.authors) out.string(author);
    out.end_array();
  }
  optional_member(out, "title", ref.title);
  if (ref.year) out.member_unsigned("year", *ref.year);
  optional_member(out, "doi", ref.doi);
  optional_member(out, "arxiv", ref.arxiv);
  out.end_object();
}

}  // namespace

void write_json(JsonWriter& out, const Block& block) {
  out.begin_object();
  out.key("kind");
  write_kind(out, block.kind);
  out.member("text", std::string_view(block.text));
  out.member_unsigned("page", block.page);
  out.key("bbox");
  write_json(out, block.bbox);
  out.member("size", block.size);
  optional_member(out, "asset", block.asset);
  if (block.table) {
    out.key("table");
    write_table(out, *block.table);
  }
  if (block.math) {
    out.key("math");
    write_math(out, *block.math);
  }
  if (block.reference) {
    out.key("reference");
    write_reference(out, *block.reference);
  }
  out.end_object();
}

void write_json(JsonWriter& out, const Section& s) {
  out.begin_object();
  out.key("title");
  if (s.title) {
    out.string(*s.title);
  } else {
    out.null();
  }
  out.member_unsigned("level", s.level);
  out.member_unsigned("start", s.start);
  out.member_unsigned("end", s.end);
  out.member_unsigned("first_page", s.first_page);
  out.member_unsigned("last_page", s.last_page);
  out.key("children");
  out.begin_array();
  for (const Section& child : s.children) write_json(out, child);
  out.end_array();
  out.end_object();
}

void write_json(JsonWriter& out, const Document& doc) {
  out.begin_object();
  out.key("title");
  if (doc.title) {
    out.string(*doc.title);
  } else {
    out.null();
  }
  out.key("blocks");
  out.begin_array();
  for (const Block& block : doc.blocks) write_json(out, block);
  out.end_array();
  out.key("sections");
  out.begin_array();
  for (const Section& s : doc.sections()) write_json(out, s);
  out.end_array();
  out.end_object();
}

std::string to_json(const Document& doc, JsonLayout layout) {
  JsonWriter out(layout);
  write_json(out, doc);
  return out.take();
}

}  // namespace scrivane

// ---------------------------------------------------------------------------------------------
// Block assembly.

namespace scrivane {

namespace {

// Lines of one run differ in size by no more than this (points).
constexpr float kRunSizeTolerance = 0.4f;
// A baseline step beyond this many leadings starts a new run (leadings scaled up for lines set
// larger than the body).
constexpr float kRunBreakGap = 1.45f;
// Headings are set at least this many body sizes, unless numbered or bold.
constexpr float kHeadingSize = 1.06f;
// Footnotes are set below this many body sizes...
constexpr float kFootnoteSize = 0.92f;
// ...and start no higher than this share of the page height.
constexpr float kFootnoteTop = 0.68f;
// A heading's widest line spans at most this share of the page's widest line.
constexpr float kHeadingWidthRatio = 0.9f;
constexpr size_t kHeadingMaxLines = 2;
constexpr size_t kHeadingMaxWords = 14;
// A fragment starts within this many leadings below the paragraph it continues.
constexpr float kMergeGap = 1.6f;
// A fragment beside a paragraph overlaps it by this share of the smaller height.
constexpr float kMergeOverlap = 0.5f;
constexpr size_t kFragmentMaxWords = 3;
// Heading sizes this close (points) count as the same level.
constexpr float kHeadingSizeTolerance = 0.25f;
constexpr uint8_t kMaxHeadingLevel = 6;
// Caption markers are looked for in this many leading characters.
constexpr size_t kCaptionPrefix = 24;
// The title is one of this many leading blocks.
constexpr size_t kTitleWindow = 4;
constexpr size_t kTitleMinWords = 2;
constexpr size_t kTitleMaxWords = 25;
// List items this many blocks apart still form a list.
constexpr size_t kListNeighbourhood = 2;
// An ordered-list marker is shorter than this many bytes.
constexpr size_t kListMarkerBytes = 7;
constexpr float kDefaultPageHeight = 792.0f;
// A section number has at most this many parts ("1.2.3.4").
constexpr size_t kMaxNumberParts = 4;

bool is_ascii_digit(char c) {
  return c >= '0' && c <= '9';
}
bool is_ascii_upper(char c) {
  return c >= 'A' && c <= 'Z';
}
bool is_ascii_letter(char c) {
  return is_ascii_upper(c) || (c >= 'a' && c <= 'z');
}

// The first White_Space-separated token of `s`; `end` is set to the byte just past it.
std::string_view first_token(std::string_view s, size_t& end) {
  size_t start = s.size() - trim_white_space_start(s).size();
  end = start;
  while (end < s.size()) {
    size_t next = end;
    if (is_white_space(next_scalar(s, next))) break;
    end = next;
  }
  return s.substr(start, end - start);
}

// The tail may follow a kept hyphen as part of a compound ("state-" "of-the-art").
bool is_compound_tail(std::string_view s) {
  for (size_t pos = 0; pos < s.size();) {
    char32_t c = next_scalar(s, pos);
    if (c != '-' && !is_alphabetic(c) && !is_numeric(c)) return false;
  }
  return true;
}

// Bytes of the hyphen ending `w` ("-" or U+2010), 0 when it ends with neither.
size_t hyphen_suffix(std::string_view w) {
  if (w.ends_with('-')) return 1;
  if (w.ends_with("\u2010")) return 3;
  return 0;
}

// The length of `word` without the punctuation that may follow a word ("tion," "tion)."), so
// that the rest of a broken word is judged by its letters.
size_t without_trailing_punctuation(std::string_view word) {
  constexpr std::string_view kClosing[] = {".", ",", ";", ":",  "!",      "?",     ")",
                                           "]", "}", "'", "\"", "\u2019", "\u201D"};
  bool trimmed = true;
  while (trimmed && !word.empty()) {
    trimmed = false;
    for (std::string_view p : kClosing) {
      if (word.size() > p.size() && word.ends_with(p)) {
        word.remove_suffix(p.size());
        trimmed = true;
        break;
      }
    }
  }
  return word.size();
}

// Joins `next` onto `text` across a word broken at the line end; false when it is not broken.
bool join_broken_word(std::string& text, std::string_view next, const Vocabulary& vocabulary) {
  size_t last_space = text.rfind(' ');
  size_t w_start = last_space == std::string::npos ? 0 : last_space + 1;
  std::string_view w = std::string_view(text).substr(w_start);
  // The punctuation after the rest of the word stays where it was, after the joined word.
  size_t f_end =
      without_trailing_punctuation(next.substr(0, std::min(next.find(' '), next.size())));
  std::string_view f = next.substr(0, f_end);
  std::optional<std::string> joined;
  if (size_t hyphen = hyphen_suffix(w)) {
    std::string_view head = w.substr(0, w.size() - hyphen);
    if (head.empty()) return false;
    joined = vocabulary.rejoin(head, f);
    if (!joined && is_compound_tail(f)) joined = std::string(w).append(f);
  } else {
    joined = vocabulary.rejoin(w, f);
  }
  if (!joined) return false;
  text.resize(w_start);
  text += *joined;
  text.append(next.substr(f_end));
  return true;
}

// The text of a run: its lines joined by spaces, with words broken at full line ends rejoined.
std::string run_text(std::span<const Line> run, const Vocabulary& vocabulary) {
  float right = run.front().bbox.x1;
  for (const Line& line : run) right = std::max(right, line.bbox.x1);
  std::string text = run.front().text();
  for (size_t i = 1; i < run.size(); ++i) {
    const Line& prev = run[i - 1];
    std::string next = run[i].text();
    // Only a line that runs to the run's right edge can have had a word cut at its end.
    if (right - prev.bbox.x1 <= prev.size && join_broken_word(text, next, vocabulary)) continue;
    text.push_back(' ');
    text += next;
  }
  return text;
}

bool is_caption(std::string_view text) {
  size_t pos = 0;
  for (size_t n = 0; n < kCaptionPrefix && pos < text.size(); ++n) next_scalar(text, pos);
  std::string prefix = to_lower(text.substr(0, pos));
  constexpr std::string_view kMarkers[] = {"figure", "fig.", "table", "algorithm", "listing"};
  bool marked = std::ranges::any_of(
      kMarkers, [&](std::string_view m) { return std::string_view(prefix).starts_with(m); });
  return marked && std::ranges::any_of(prefix, is_ascii_digit);
}

bool is_bullet(char32_t c) {
  switch (c) {
    case U'*':
    case U'-':
    case U'\u00B7':
    case U'\u2013':
    case U'\u2014':
    case U'\u2022':
    case U'\u2023':
    case U'\u2217':
    case U'\u25AA':
    case U'\u25E6':
      return true;
    default:
      return false;
  }
}

bool is_unordered_item(std::string_view text) {
  if (text.empty()) return false;
  size_t pos = 0;
  if (!is_bullet(next_scalar(text, pos)) || pos >= text.size()) return false;
  return is_white_space(next_scalar(text, pos));
}

// "1.", "(a)", "iv)", "2:", "B." or "(3" followed by more text.
bool is_ordered_item(std::string_view text) {
  size_t end = 0;
  std::string_view token = first_token(text, end);
  if (token.empty() || token.size() >= kListMarkerBytes) return false;
  if (trim_white_space(text.substr(end)).empty()) return false;
  size_t open = 0;
  while (open < token.size() && token[open] == '(') ++open;
  size_t close = token.size();
  while (close > open && std::string_view(").:").contains(token[close - 1])) --close;
  if (open == 0 && close == token.size()) return false;
  std::string_view core = token.substr(open, close - open);
  if (core.empty()) return false;
  if (std::ranges::all_of(core, is_ascii_digit)) return true;
  if (std::ranges::all_of(core, [](char c) { return std::string_view("ivxl").contains(c); }))
    return true;
  return core.size() == 1 && is_ascii_letter(core[0]);
}

struct PageMeasures {
  float width;   // the widest line, at least 1
  float height;  // the page height
};

BlockKind classify(std::span<const Line> run, std::string_view text, float size,
                   const PageMeasures& page, float body_size) {
  if (is_caption(text)) return BlockKind::of(BlockType::Caption);

  if (run.size() <= kHeadingMaxLines) {
    size_t words = count_words(text);
    bool numbered = numbered_heading(text);
    float widest = 0;
    for (const Line& line : run) widest = std::max(widest, line.bbox.width());
    bool all_bold = std::ranges::all_of(run, &Line::bold);
    if (words >= 1 && words <= kHeadingMaxWords && (!text.ends_with('.') || numbered) &&
        widest / page.width <= kHeadingWidthRatio &&
        (numbered || size >= kHeadingSize * body_size || all_bold))
      return BlockKind::heading(1);
  }

  if (is_unordered_item(text)) return BlockKind::list_item(false);
  if (is_ordered_item(text)) return BlockKind::list_item(true);

  float top = run.front().bbox.y0;
  for (const Line& line : run) top = std::min(top, line.bbox.y0);
  if (page.height > 0 && size < kFootnoteSize * body_size && top / page.height >= kFootnoteTop)
    return BlockKind::of(BlockType::Footnote);
  return BlockKind::of(BlockType::Paragraph);
}

// Phase 1: one page's lines cut into runs, each run one block.
void assemble_page(const std::vector<Line>& lines, size_t page_index, float page_height,
                   const Vocabulary& vocabulary, float body_size, float leading, Assembled& out) {
  PageMeasures page{1.0f, page_height};
  for (const Line& line : lines) page.width = std::max(page.width, line.bbox.width());

  size_t start = 0;
  while (start < lines.size()) {
    size_t end = start + 1;
    while (end < lines.size()) {
      const Line& prev = lines[end - 1];
      const Line& line = lines[end];
      float step = line.baseline - prev.baseline;
      // Type larger than the body is set with proportionally more leading: the lines of a
      // two-line title are further apart than body lines without starting a new block.
      float scale = body_size > 0 && prev.size > body_size ? prev.size / body_size : 1.0f;
      if (std::fabs(prev.size - line.size) > kRunSizeTolerance || step <= 0 ||
          step > kRunBreakGap * leading * scale)
        break;
      ++end;
    }
    std::span<const Line> run(lines.data() + start, end - start);
    std::string joined = run_text(run, vocabulary);
    std::string_view text = trim_white_space(joined);
    if (!text.empty()) {
      Block block;
      block.size = run.front().size;
      block.kind = classify(run, text, block.size, page, body_size);
      block.text = std::string(text);
      block.page = page_index;
      block.bbox = run.front().bbox;
      for (const Line& line : run) block.bbox = unite(block.bbox, line.bbox);
      out.document.blocks.push_back(std::move(block));
      out.first_lines.push_back(start);
    }
    start = end;
  }
}

bool is_paragraph(const Block& b) {
  return b.kind.type == BlockType::Paragraph;
}

// Phase 2: a short paragraph fragment continues the paragraph it sits below or beside.
bool continues(const Block& a, const Block& b, float leading) {
  if (count_words(b.text) > kFragmentMaxWords) return false;
  if (a.page != b.page || !is_paragraph(a) || !is_paragraph(b)) return false;
  std::optional<char32_t> first = first_scalar(b.text);
  bool sentence_ended = a.text.ends_with('.') || a.text.ends_with('!') || a.text.ends_with('?') ||
                        a.text.ends_with(':');
  if (first && is_uppercase(*first) && sentence_ended) return false;
  if (is_bibliography_heading(b.text)) return false;
  const Rect& ra = a.bbox;
  const Rect& rb = b.bbox;
  bool below =
      rb.y0 - ra.y1 <= kMergeGap * leading && std::max(ra.x0, rb.x0) < std::min(ra.x1, rb.x1);
  float overlap = std::min(ra.y1, rb.y1) - std::max(ra.y0, rb.y0);
  bool beside = rb.x0 >= ra.x0 &&
                overlap >= kMergeOverlap * std::max(std::min(ra.height(), rb.height()), 1.0f);
  return below || beside;
}

void merge_fragments(Assembled& out, float leading) {
  std::vector<Block>& blocks = out.document.blocks;
  size_t kept = 0;
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (kept > 0 && continues(blocks[kept - 1], blocks[i], leading)) {
      Block& a = blocks[kept - 1];
      a.text.push_back(' ');
      a.text += blocks[i].text;
      a.bbox = unite(a.bbox, blocks[i].bbox);
      continue;
    }
    if (kept != i) {
      blocks[kept] = std::move(blocks[i]);
      out.first_lines[kept] = out.first_lines[i];
    }
    ++kept;
  }
  blocks.resize(kept);
  out.first_lines.resize(kept);
}

// Phase 3: a list item without another one nearby on its page is a paragraph.
void demote_isolated_items(std::vector<Block>& blocks) {
  std::vector<bool> item(blocks.size());
  for (size_t i = 0; i < blocks.size(); ++i) item[i] = blocks[i].kind.type == BlockType::ListItem;
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (!item[i]) continue;
    size_t lo = i >= kListNeighbourhood ? i - kListNeighbourhood : 0;
    size_t hi = std::min(blocks.size() - 1, i + kListNeighbourhood);
    bool neighbour = false;
    for (size_t j = lo; j <= hi && !neighbour; ++j)
      neighbour = j != i && item[j] && blocks[j].page == blocks[i].page;
    if (!neighbour) blocks[i].kind = BlockKind::of(BlockType::Paragraph);
  }
}

// Phase 4: the largest-set title-like block among the first few of page 0.
void choose_title(std::vector<Block>& blocks, float body_size) {
  std::optional<size_t> chosen;
  size_t chosen_words = 0;
  for (size_t i = 0; i < std::min(blocks.size(), kTitleWindow); ++i) {
    const Block& b = blocks[i];
    if (b.page != 0 || !(b.size >= body_size)) continue;
    size_t words = count_words(b.text);
    if (words < kTitleMinWords || words > kTitleMaxWords) continue;
    if (b.text.ends_with('.') || numbered_heading(b.text)) continue;
    if (!chosen || b.size > blocks[*chosen].size ||
        (b.size == blocks[*chosen].size && words >= chosen_words)) {
      chosen = i;
      chosen_words = words;
    }
  }
  if (chosen) blocks[*chosen].kind = BlockKind::of(BlockType::Title);
}

bool same_heading_size(float a, float b) {
  return std::fabs(a - b) <= kHeadingSizeTolerance;
}

// The "."-separated parts of a section number, or nothing when `token` is not one.
std::optional<size_t> number_parts(std::string_view token) {
  std::string_view number = token;
  while (number.ends_with('.')) number.remove_suffix(1);
  if (number.empty()) return std::nullopt;
  size_t parts = 0;
  bool lettered = false;
  while (true) {
    size_t dot = number.find('.');
    std::string_view part = number.substr(0, dot);
    if (part.empty() || ++parts > kMaxNumberParts) return std::nullopt;
    bool digits = part.size() <= 3 && std::ranges::all_of(part, is_ascii_digit);
    bool letter = (part.size() == 1 && is_ascii_upper(part[0])) || is_roman_numeral(part);
    if (!digits && !letter) return std::nullopt;
    lettered = lettered || letter;
    if (dot == std::string_view::npos) break;
    number.remove_prefix(dot + 1);
  }
  // A bare letter or numeral ("A", "IV") is more likely a word than a section number.
  if (lettered && !token.contains('.')) return std::nullopt;
  return parts;
}

std::optional<size_t> heading_number_parts(std::string_view text) {
  size_t end = 0;
  std::string_view token = first_token(text, end);
  if (token.empty()) return std::nullopt;
  std::optional<size_t> parts = number_parts(token);
  if (!parts) return std::nullopt;
  std::optional<char32_t> next = first_scalar(trim_white_space(text.substr(end)));
  if (!next || !is_alphabetic(*next)) return std::nullopt;
  return parts;
}

}  // namespace

bool is_roman_numeral(std::string_view s) {
  if (s.size() < 2) return false;
  auto digit = [](char c) { return c == 'I' ? 1 : c == 'V' ? 5 : c == 'X' ? 10 : 0; };
  if (!std::ranges::all_of(s, digit)) return false;
  int value = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    int v = digit(s[i]);
    bool later_larger =
        std::any_of(s.begin() + i + 1, s.end(), [&](char c) { return digit(c) > v; });
    value += later_larger ? -v : v;
  }
  if (value < 1 || value > 39) return false;
  std::string canonical(value / 10, 'X');
  int ones = value % 10;
  if (ones == 9) {
    canonical += "IX";
  } else if (ones >= 5) {
    canonical += 'V';
    canonical.append(ones - 5, 'I');
  } else if (ones == 4) {
    canonical += "IV";
  } else {
    canonical.append(ones, 'I');
  }
  return canonical == s;
}

bool numbered_heading(std::string_view text) {
  return heading_number_parts(text).has_value();
}

std::optional<uint8_t> numbering_depth(std::string_view text) {
  std::optional<size_t> parts = heading_number_parts(text);
  if (!parts) return std::nullopt;
  return static_cast<uint8_t>(std::min<size_t>(*parts, kMaxHeadingLevel));
}

void assign_heading_levels(std::vector<Block>& blocks) {
  struct NumberedSize {
    float size;
    uint8_t depth;
  };
  std::vector<NumberedSize> numbered;
  std::vector<float> sizes;
  for (const Block& b : blocks) {
    if (b.kind.type != BlockType::Heading) continue;
    // A NaN size matches no other size; ranked, it would only push every real size down a level.
    if (!std::isnan(b.size)) sizes.push_back(b.size);
    std::optional<uint8_t> depth = numbering_depth(b.text);
    if (depth && std::ranges::none_of(numbered, [&](const NumberedSize& n) {
          return same_heading_size(n.size, b.size);
        }))
      numbered.push_back({b.size, *depth});
  }
  std::ranges::stable_sort(sizes, [](float a, float b) { return total_less(b, a); });
  std::vector<float> ranks;
  for (float s : sizes)
    if (ranks.empty() || !same_heading_size(s, ranks.back())) ranks.push_back(s);

  for (Block& b : blocks) {
    if (b.kind.type != BlockType::Heading) continue;
    uint8_t level = 1;
    if (std::optional<uint8_t> depth = numbering_depth(b.text)) {
      level = *depth;
    } else if (auto n = std::ranges::find_if(
                   numbered,
                   [&](const NumberedSize& n) { return same_heading_size(n.size, b.size); });
               n != numbered.end()) {
      level = n->depth;
    } else if (auto r = std::ranges::find_if(ranks,
                                             [&](float s) { return same_heading_size(s, b.size); });
               r != ranks.end()) {
      size_t rank = std::min<size_t>(static_cast<size_t>(r - ranks.begin()), kMaxHeadingLevel - 1);
      level = static_cast<uint8_t>(1 + rank);
    }
    b.kind.level = std::max<uint8_t>(level, 1);
  }
}

Assembled assemble_placed(const std::vector<std::vector<Line>>& pages,
                          const std::vector<float>& heights, const Vocabulary& vocabulary,
                          float body_size, float leading) {
  Assembled out;
  for (size_t p = 0; p < pages.size(); ++p) {
    float height = p < heights.size() ? heights[p] : kDefaultPageHeight;
    assemble_page(pages[p], p, height, vocabulary, body_size, leading, out);
  }
  merge_fragments(out, leading);
  demote_isolated_items(out.document.blocks);
  choose_title(out.document.blocks, body_size);
  assign_heading_levels(out.document.blocks);
  for (const Block& b : out.document.blocks) {
    if (b.kind.type == BlockType::Title) {
      out.document.title = b.text;
      break;
    }
  }
  return out;
}

}  // namespace scrivane
