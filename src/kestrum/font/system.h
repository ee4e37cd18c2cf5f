// System font substitution: a TrueType file of the Liberation, DejaVu or Noto families found in
// the machine's font directories, chosen by four style properties, for fonts without a usable
// embedded program (font/glyph). The index of font files and the file chosen for each style
// are kept for the whole process, so each directory tree is scanned once and each chosen file
// read once; fonts installed later, or a changed KESTRUM_FONT_DIR, count only after a restart.
// Nothing here fails: unreadable directories and files are passed over, and a style with no
// readable candidate has no substitute. Whether a style has one depends on the machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "kestrum/object.h"

namespace kestrum {

// A root's tree is followed at most this many levels below the root (the root is level 0):
// bounds the walk through deep trees and through symbolic links that lead back up.
inline constexpr int kMaxFontDirDepth = 4;
// No directory is listed once the index holds this many files (a directory's own files are
// always added together): bounds the index on machines with huge font collections.
inline constexpr size_t kMaxIndexedFonts = 5000;
// At most this many directories are listed for one index: a few directories with links to
// their parents would otherwise be listed exponentially often within the depth limit.
inline constexpr size_t kMaxFontDirectories = 10000;
// A candidate larger than this is passed over: the chosen file is held in memory whole.
inline constexpr uintmax_t kMaxSubstituteFileSize = uintmax_t{64} << 20;

struct FontStyle {
  bool serif = false;
  bool fixed_pitch = false;  // takes precedence over serif in choosing the family
  bool bold = false;
  bool italic = false;
  bool operator==(const FontStyle&) const = default;
};

struct IndexedFont {
  std::string name;            // the file name, ASCII letters lower-cased, extension included
  std::filesystem::path path;  // where it was found
};

// The font files (.ttf, .otf, .ttc, in any case) below a list of directories, in the order
// found. Symbolic links are followed; a link whose target cannot be read is indexed as a file.
class FontIndex {
 public:
  static FontIndex scan(std::span<const std::filesystem::path> roots);

  // Adds the font files below `directory`, which lies `depth` levels below its root.
  void collect(const std::filesystem::path& directory, int depth);

  // The content of the first file in the index, trying the style's candidate names in order,
  // that can be read; null when there is none.
  SharedBytes find(const FontStyle& style) const;

  const std::vector<IndexedFont>& entries() const { return entries_; }

 private:
  std::vector<IndexedFont> entries_;
  size_t directories_ = 0;  // listed so far, for kMaxFontDirectories
};

// The roots of the process-wide index, given the values of KESTRUM_FONT_DIR and HOME (nullptr
// when unset): each non-empty ":"-separated entry of the first, the two font directories of
// the home directory, then the system's font directories. A value that is not UTF-8 counts as
// unset.
std::vector<std::filesystem::path> font_roots(const char* font_dir, const char* home);

// The file names tried for a style, in order.
std::vector<std::string> candidate_names(const FontStyle& style);

// The process-wide index of the environment's roots, built once on the first call, however
// many threads make it at once.
const FontIndex& index();

// The process-wide choice for a style: the whole content of its file, or null when the style
// has none. The first call for each style scans (on the first call at all) and reads files
// under a lock that every call takes; later calls return the cached answer.
SharedBytes substitute(bool serif, bool fixed_pitch, bool bold, bool italic);

}  // namespace kestrum
