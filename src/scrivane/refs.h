// Bibliography and citations: finds the bibliography of an assembled document, replaces its
// paragraphs by one reference block per entry with the entry's parsed fields, and links bracketed
// citations in the prose to those entries. Nothing here fails: a document without a recognisable
// bibliography is left as it was. All text is UTF-8; offsets are byte offsets unless they are
// said to count characters (Unicode scalar values).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "scrivane/doc.h"

namespace scrivane {

// Finds the first bibliography of `doc`, turns its paragraphs into reference blocks (the other
// blocks that sat among them follow the references) and links citations everywhere in the prose.
void extract_bibliography(Document& doc);

// Whether `text` is a bibliography heading ("References", "7. Bibliography", "WORKS CITED").
bool is_bibliography_heading(std::string_view text);

// For a paragraph that starts with a run-in bibliography heading ("References [1] ..."), the byte
// offset where the first entry begins.
std::optional<size_t> opens_bibliography(std::string_view text);

namespace refs {

// Where the bibliography lies in a document's block list.
struct Bibliography {
  size_t start = 0;           // first block of the bibliography
  size_t end = 0;             // one past its last block
  size_t run_in = 0;          // byte offset where the entries begin in blocks[start]'s text
  std::optional<size_t> cut;  // the byte length blocks[start - 1] keeps once the heading
                              // words at its end are removed
};

// Locates the bibliography without changing the document; nullopt when there is none.
std::optional<Bibliography> find_bibliography(const Document& doc);

// Splits the joined text of a bibliography into entries (labels included, each trimmed).
std::vector<std::string> split_entries(std::string_view text);

// Character positions of labels numbered 1, 2, 3 ... in sequence: "[n]" when `bracketed`,
// else "n." followed by whitespace; each stands at the start or after whitespace.
std::vector<size_t> label_positions(std::u32string_view chars, bool bracketed);

// A half-open range of character positions.
struct CharRange {
  size_t start = 0;
  size_t end = 0;
  bool operator==(const CharRange&) const = default;
};

// The identifier after the first "arXiv:" (any ASCII case), if one follows it.
std::optional<CharRange> arxiv_span(std::u32string_view chars);

// Parses one entry into its label, remaining text, authors, title, year, DOI and arXiv id.
Reference parse(std::string_view entry);

// Byte offset of the full stop that ends the author list of an entry's text.
std::optional<size_t> author_boundary(std::string_view text);

// The authors named in the segment before the author boundary; empty unless at least two.
std::vector<std::string> find_authors(std::string_view segment);

// Labels compare by exact text; the set looks them up by string_view.
using LabelSet = std::set<std::string, std::less<>>;

// `text` with every bracketed group whose items are all known labels rewritten as links:
// "[2, 5]" becomes "[[2](#ref-2), [5](#ref-5)]".
std::string link_citations(std::string_view text, const LabelSet& labels);

}  // namespace refs
}  // namespace scrivane
