// The document model: the one result of a conversion, rendered by every writer.
// A Document owns its blocks; a Section refers to blocks by index only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scrivane/ir.h"
#include "scrivane/json.h"

namespace scrivane {

// Fixed ordinals: later stages select kinds by ranges of them.
enum class BlockType : uint8_t {
  Title = 0,
  Heading = 1,
  Paragraph = 2,
  Caption = 3,
  Figure = 4,
  ListItem = 5,
  Footnote = 6,
  Table = 7,
  Equation = 8,
  Reference = 9,
};

// A block's kind; `level` belongs to headings and `ordered` to list items.
struct BlockKind {
  BlockType type = BlockType::Paragraph;
  uint8_t level = 0;
  bool ordered = false;

  static BlockKind of(BlockType type) { return {type, 0, false}; }
  static BlockKind heading(uint8_t level) { return {BlockType::Heading, level, false}; }
  static BlockKind list_item(bool ordered) { return {BlockType::ListItem, 0, ordered}; }
  bool operator==(const BlockKind&) const = default;
};

const char* block_type_name(BlockType type);

struct TableData {
  std::vector<std::vector<std::string>> rows;
  size_t header_rows = 0;
  bool operator==(const TableData&) const = default;
};

struct MathData {
  std::string latex;
  std::optional<std::string> number;
  float confidence = 0;
  bool operator==(const MathData&) const = default;
};

struct Reference {
  std::optional<std::string> label;
  std::string raw;
  std::vector<std::string> authors;
  std::optional<std::string> title;
  std::optional<uint16_t> year;
  std::optional<std::string> doi;
  std::optional<std::string> arxiv;
  bool operator==(const Reference&) const = default;
};

struct Block {
  BlockKind kind;
  std::string text;
  size_t page = 0;
  Rect bbox;
  float size = 0;
  std::optional<std::string> asset;
  std::optional<TableData> table;
  std::optional<MathData> math;
  std::optional<Reference> reference;
};

struct Section {
  std::optional<std::string> title;
  uint8_t level = 0;
  size_t start = 0;
  size_t end = 0;
  size_t first_page = 0;
  size_t last_page = 0;
  std::vector<Section> children;
};

struct Document {
  std::vector<Block> blocks;
  std::optional<std::string> title;

  // The section tree over the current blocks (computed on every call).
  std::vector<Section> sections() const;
};

// One heading of the section tree: its block index and its level (0 already read as 1).
struct HeadingRef {
  size_t index;
  uint8_t level;
};

// Consumes the headings deeper than `parent_level` from `cursor` and returns their sections.
std::vector<Section> nest(const Document& doc, const std::vector<HeadingRef>& headings,
                          size_t& cursor, uint8_t parent_level);

// A section over blocks [start, end) with its page span; requires start <= end <= blocks.
Section section(const Document& doc, std::optional<std::string> title, uint8_t level, size_t start,
                size_t end, std::vector<Section> children);

void write_json(JsonWriter& out, const Block& block);
void write_json(JsonWriter& out, const Section& section);
void write_json(JsonWriter& out, const Document& doc);
std::string to_json(const Document& doc, JsonLayout layout);

// ---------------------------------------------------------------------------------------------
// Block assembly: the text lines left on each page become title, heading, paragraph, caption,
// list-item and footnote blocks. Pure functions; the caller owns what they return.

struct Line;
class Vocabulary;

// The text blocks of a document and, for each block in the same order, the index of its first
// line within its page's line list (placement slots lifted tables and equations in by it).
struct Assembled {
  Document document;
  std::vector<size_t> first_lines;
};

// `pages`: the remaining lines of each page, in reading order (the page index is the position
// in this list); `heights`: page heights, a page without an entry counting as 792 points;
// `body_size` and `leading`: the document's body font size and baseline distance.
Assembled assemble_placed(const std::vector<std::vector<Line>>& pages,
                          const std::vector<float>& heights, const Vocabulary& vocabulary,
                          float body_size, float leading);

// The text opens with a section number such as "2.3", "IV." or "A.1" followed by a word.
bool numbered_heading(std::string_view text);

// How many parts the section number of a numbered heading has (at most 6); absent otherwise.
std::optional<uint8_t> numbering_depth(std::string_view text);

// "II" to "XXXIX" in canonical spelling; single letters are not accepted.
bool is_roman_numeral(std::string_view s);

// Sets the level of every heading block, from its numbering or from the rank of its size.
void assign_heading_levels(std::vector<Block>& blocks);

}  // namespace scrivane
