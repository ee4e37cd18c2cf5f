#include "kestrum/font/system.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>

namespace kestrum {

namespace {

namespace fs = std::filesystem;

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool ends_with_font_extension(std::string_view lower) {
  return lower.size() >= 4 &&
         (lower.ends_with(".ttf") || lower.ends_with(".otf") || lower.ends_with(".ttc"));
}

// Well-formed UTF-8: no overlong forms, surrogates or values past U+10FFFF.
bool valid_utf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    uint8_t lead = byte(i);
    size_t length = 0;
    uint32_t value = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      value = lead & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((byte(i + k) & 0xC0) != 0x80) return false;
      value = (value << 6) | (byte(i + k) & 0x3F);
    }
    if ((length == 3 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF))) ||
        (length == 4 && (value < 0x10000 || value > 0x10FFFF))) {
      return false;
    }
    i += length;
  }
  return true;
}

// The whole file, or nothing when it is not a regular file (a FIFO named x.ttf would block the
// read forever), is too large, or cannot be read.
SharedBytes read_font_file(const fs::path& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return nullptr;  // follows links
  uintmax_t size = fs::file_size(path, error);
  if (error || size > kMaxSubstituteFileSize) return nullptr;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return nullptr;
  auto bytes = std::make_shared<Bytes>(static_cast<size_t>(size));
  size_t got = std::fread(bytes->data(), 1, bytes->size(), file);
  // A file that shrank meanwhile is read as far as it goes; one that grew is cut at the size
  // measured, which the bound above has checked.
  bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return nullptr;
  bytes->resize(got);
  return bytes;
}

// Style suffixes: S1 for the first and third family, S2 for the second.
std::string_view suffix_s1(const FontStyle& style) {
  if (style.bold && style.italic) return "-BoldItalic";
  if (style.bold) return "-Bold";
  if (style.italic) return "-Italic";
  return "-Regular";
}
std::string_view suffix_s2(const FontStyle& style) {
  if (style.bold && style.italic) return style.serif ? "-BoldItalic" : "-BoldOblique";
  if (style.bold) return "-Bold";
  if (style.italic) return style.serif ? "-Italic" : "-Oblique";
  return "";
}

}  // namespace

FontIndex FontIndex::scan(std::span<const fs::path> roots) {
  FontIndex index;
  for (const fs::path& root : roots) index.collect(root, 0);
  return index;
}

void FontIndex::collect(const fs::path& directory, int depth) {
  if (depth > kMaxFontDirDepth || entries_.size() >= kMaxIndexedFonts) return;
  if (directories_ >= kMaxFontDirectories) return;
  ++directories_;
  std::error_code error;
  fs::directory_iterator it(directory, error);
  if (error) return;
  for (fs::directory_iterator end; it != end; it.increment(error)) {
    if (error) return;  // the listing broke off; what was read so far stays
    const fs::path& path = it->path();
    std::error_code status_error;
    fs::file_status status = fs::status(path, status_error);  // follows links
    if (!status_error && fs::is_directory(status)) {
      collect(path, depth + 1);
      continue;
    }
    std::string name = path.filename().string();
    if (!valid_utf8(name)) continue;
    std::string lower = ascii_lower(name);
    if (ends_with_font_extension(lower)) entries_.push_back({std::move(lower), path});
  }
}

SharedBytes FontIndex::find(const FontStyle& style) const {
  for (const std::string& candidate : candidate_names(style)) {
    std::string lower = ascii_lower(candidate);
    for (const IndexedFont& entry : entries_) {
      if (entry.name != lower) continue;
      if (SharedBytes bytes = read_font_file(entry.path)) return bytes;
    }
  }
  return nullptr;
}

std::vector<fs::path> font_roots(const char* font_dir, const char* home) {
  std::vector<fs::path> roots;
  if (font_dir != nullptr && valid_utf8(font_dir)) {
    std::string_view list = font_dir;
    while (true) {
      size_t colon = list.find(':');
      std::string_view entry = list.substr(0, colon);
      if (!entry.empty()) roots.emplace_back(entry);
      if (colon == std::string_view::npos) break;
      list.remove_prefix(colon + 1);
    }
  }
  // An empty HOME would turn these into paths relative to the working directory.
  if (home != nullptr && *home != '\0' && valid_utf8(home)) {
    roots.push_back(fs::path(home) / ".local/share/fonts");
    roots.push_back(fs::path(home) / ".fonts");
  }
  for (const char* system :
       {"/usr/share/fonts", "/usr/local/share/fonts", "/Library/Fonts", "/System/Library/Fonts"}) {
    roots.emplace_back(system);
  }
#ifdef _WIN32
  // Elsewhere this would name a directory relative to the working directory.
  roots.emplace_back("C:\\Windows\\Fonts");
#endif
  return roots;
}

std::vector<std::string> candidate_names(const FontStyle& style) {
  std::array<std::string_view, 3> families =
      style.fixed_pitch
          ? std::array<std::string_view, 3>{"LiberationMono", "DejaVuSansMono", "NotoSansMono"}
      : style.serif ? std::array<std::string_view, 3>{"LiberationSerif", "DejaVuSerif", "NotoSerif"}
                    : std::array<std::string_view, 3>{"LiberationSans", "DejaVuSans", "NotoSans"};
  auto name = [](std::string_view family, std::string_view suffix) {
    std::string out(family);
    out += suffix;
    out += ".ttf";
    return out;
  };
  std::vector<std::string> names = {name(families[0], suffix_s1(style)),
                                    name(families[1], suffix_s2(style)),
                                    name(families[2], suffix_s1(style))};
  if (style.bold || style.italic) {
    names.push_back(name(families[0], "-Regular"));
    names.push_back(name(families[1], ""));
    names.push_back(name(families[2], "-Regular"));
  }
  return names;
}

const FontIndex& index() {
  static const FontIndex kIndex = [] {
    std::vector<fs::path> roots = font_roots(std::getenv("KESTRUM_FONT_DIR"), std::getenv("HOME"));
    return FontIndex::scan(roots);
  }();
  return kIndex;
}

SharedBytes substitute(bool serif, bool fixed_pitch, bool bold, bool italic) {
  struct Cache {
    std::mutex mutex;
    // By style key; an engaged null is a style known to have no substitute.
    std::array<std::optional<SharedBytes>, 16> by_style;
  };
  static Cache cache;
  size_t key = (serif ? 1u : 0u) | (fixed_pitch ? 2u : 0u) | (bold ? 4u : 0u) | (italic ? 8u : 0u);
  // Held while scanning and reading: each style's file is read once for the process.
  std::lock_guard lock(cache.mutex);
  std::optional<SharedBytes>& entry = cache.by_style[key];
  if (!entry) entry = index().find(FontStyle{serif, fixed_pitch, bold, italic});
  return *entry;
}

}  // namespace kestrum
