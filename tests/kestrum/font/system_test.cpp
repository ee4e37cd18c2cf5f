#include "kestrum/font/system.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace kestrum {
namespace {

namespace fs = std::filesystem;

// A directory of its own for one test, removed afterwards.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "kestrum-fonts-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code error;
    if (!path_.empty()) fs::remove_all(path_, error);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Writes `content` to dir/relative, creating the directories on the way.
fs::path write(const fs::path& dir, const fs::path& relative, std::string_view content = "x") {
  fs::path path = dir / relative;
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

std::string content(const SharedBytes& bytes) {
  return bytes ? std::string(bytes->begin(), bytes->end()) : "<none>";
}

std::set<std::string> names(const FontIndex& index) {
  std::set<std::string> out;
  for (const IndexedFont& entry : index.entries()) out.insert(entry.name);
  return out;
}

TEST(FontRoots, EnvironmentThenHomeThenSystem) {
  const std::vector<fs::path> system = {"/usr/share/fonts", "/usr/local/share/fonts",
                                        "/Library/Fonts", "/System/Library/Fonts"};
  auto with = [&](std::vector<fs::path> first) {
    first.insert(first.end(), system.begin(), system.end());
    return first;
  };
  struct Case {
    const char* font_dir;
    const char* home;
    std::vector<fs::path> want;
    const char* why;
  };
  const Case kCases[] = {
      {"/a::/b", "/home/u", with({"/a", "/b", "/home/u/.local/share/fonts", "/home/u/.fonts"}),
       "the empty entry is skipped"},
      {nullptr, nullptr, with({}), "neither variable set"},
      {":", "", with({}), "only empty entries; an empty home"},
      {"/a/\xff", "/home/\xfe", with({}), "values that are not UTF-8 count as unset"},
      {"/a:", nullptr, with({"/a"}), "a trailing colon"},
  };
  for (const Case& c : kCases) EXPECT_EQ(font_roots(c.font_dir, c.home), c.want) << c.why;
}

TEST(CandidateNames, ByStyle) {
  struct Case {
    FontStyle style;
    std::vector<std::string> want;
  };
  const Case kCases[] = {
      {{}, {"LiberationSans-Regular.ttf", "DejaVuSans.ttf", "NotoSans-Regular.ttf"}},
      {{.serif = true, .bold = true, .italic = true},
       {"LiberationSerif-BoldItalic.ttf", "DejaVuSerif-BoldItalic.ttf", "NotoSerif-BoldItalic.ttf",
        "LiberationSerif-Regular.ttf", "DejaVuSerif.ttf", "NotoSerif-Regular.ttf"}},
      {{.bold = true, .italic = true},
       {"LiberationSans-BoldItalic.ttf", "DejaVuSans-BoldOblique.ttf", "NotoSans-BoldItalic.ttf",
        "LiberationSans-Regular.ttf", "DejaVuSans.ttf", "NotoSans-Regular.ttf"}},
      // Fixed pitch picks the family, serif still picks the second family's suffix.
      {{.serif = true, .fixed_pitch = true, .italic = true},
       {"LiberationMono-Italic.ttf", "DejaVuSansMono-Italic.ttf", "NotoSansMono-Italic.ttf",
        "LiberationMono-Regular.ttf", "DejaVuSansMono.ttf", "NotoSansMono-Regular.ttf"}},
      {{.fixed_pitch = true, .italic = true},
       {"LiberationMono-Italic.ttf", "DejaVuSansMono-Oblique.ttf", "NotoSansMono-Italic.ttf",
        "LiberationMono-Regular.ttf", "DejaVuSansMono.ttf", "NotoSansMono-Regular.ttf"}},
      {{.bold = true},
       {"LiberationSans-Bold.ttf", "DejaVuSans-Bold.ttf", "NotoSans-Bold.ttf",
        "LiberationSans-Regular.ttf", "DejaVuSans.ttf", "NotoSans-Regular.ttf"}},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(candidate_names(c.style), c.want)
        << c.style.serif << c.style.fixed_pitch << c.style.bold << c.style.italic;
  }
}

TEST(FontIndex, ScanRules) {
  TempDir root, elsewhere;
  ASSERT_FALSE(root.path().empty() || elsewhere.path().empty());
  const fs::path& r = root.path();
  write(r, "DejaVuSans.TTF");
  write(r, "Mixed.Otf");
  write(r, "collection.ttc");
  write(r, ".ttf");  // nothing but the extension is still a name
  write(r, "readme.txt");
  write(r, "font.ttf.bak");
  write(r, "a/b/c/d/four.ttf");
  write(r, "a/b/c/d/e/five.ttf");
  write(r, "dir.ttf/inside.ttf");  // a directory named like a font is entered, not indexed
  write(elsewhere.path(), "linked.ttf");
  write(elsewhere.path(), "sub/in-linked-dir.ttf");
  fs::create_symlink(elsewhere.path() / "linked.ttf", r / "LinkToFile.ttf");
  fs::create_directory_symlink(elsewhere.path() / "sub", r / "linkdir");
  fs::create_symlink(r / "missing.ttf", r / "dangling.ttf");
  fs::create_directory_symlink(r, r / "a" / "loop");  // leads back up; the depth limit ends it
  std::string not_utf8 = "bad\xff.ttf";
  write(r, not_utf8);

  const std::vector<fs::path> roots = {r, r / "does-not-exist"};
  FontIndex index = FontIndex::scan(roots);
  std::set<std::string> want = {"dejavusans.ttf", "mixed.otf",         "collection.ttc",
                                ".ttf",           "four.ttf",          "inside.ttf",
                                "linktofile.ttf", "in-linked-dir.ttf", "dangling.ttf"};
  std::set<std::string> found = names(index);
  EXPECT_EQ(found, want);
  auto count = [&](std::string_view name) {
    return std::ranges::count_if(index.entries(),
                                 [&](const IndexedFont& e) { return e.name == name; });
  };
  EXPECT_EQ(count("four.ttf"), 1) << "a/loop/a/b/c/d lies too deep";
  EXPECT_EQ(count("dejavusans.ttf"), 3) << "in the root, in a/loop and in a/loop/a/loop";
  EXPECT_TRUE(std::ranges::any_of(index.entries(), [&](const IndexedFont& e) {
    return e.path == r / "LinkToFile.ttf";
  })) << "a link is indexed under its own path, not its target's";
}

TEST(FontIndex, FindTakesTheFirstReadableCandidate) {
  TempDir first, second;
  write(first.path(), "DejaVuSans.ttf", "dejavu regular");
  fs::create_symlink(first.path() / "gone", first.path() / "LiberationSans-Regular.ttf");
  write(second.path(), "LIBERATIONSANS-REGULAR.TTF", "liberation regular");
  write(second.path(), "LiberationSerif-Bold.ttf/not-a-file.txt");  // a directory
  write(second.path(), "LiberationSerif-Regular.ttf", "liberation serif");
  const std::vector<fs::path> roots = {first.path(), second.path()};
  FontIndex index = FontIndex::scan(roots);

  struct Case {
    FontStyle style;
    std::string want;
    const char* why;
  };
  const Case kCases[] = {
      {{},
       "liberation regular",
       "the dangling link is passed over for a later file of the same name"},
      {{.bold = true}, "liberation regular", "bold falls back to the regular candidates"},
      {{.serif = true, .bold = true}, "liberation serif", "a directory is no candidate"},
      {{.fixed_pitch = true}, "<none>", "no monospaced file at all"},
  };
  for (const Case& c : kCases) EXPECT_EQ(content(index.find(c.style)), c.want) << c.why;

  const std::vector<fs::path> only_first = {first.path()};
  EXPECT_EQ(content(FontIndex::scan(only_first).find({})), "dejavu regular")
      << "upper-case or not, the next candidate after the unreadable one";
}

TEST(FontIndex, FileLimitAppliesWhereADirectoryStarts) {
  TempDir big, next, last;
  for (size_t i = 0; i + 1 < kMaxIndexedFonts; ++i) {
    std::ofstream(big.path() / ("f" + std::to_string(i) + ".ttf"));
  }
  write(next.path(), "one.ttf");
  write(next.path(), "two.ttf");
  write(next.path(), "three.ttf");
  write(last.path(), "late.ttf");
  const std::vector<fs::path> roots = {big.path(), next.path(), last.path()};
  FontIndex index = FontIndex::scan(roots);
  EXPECT_EQ(index.entries().size(), kMaxIndexedFonts + 2)
      << "below the limit when it started, the second directory is added whole";
  EXPECT_FALSE(names(index).contains("late.ttf")) << "at the limit nothing more is listed";
}

TEST(SystemFonts, ProcessWideStateIsBuiltOnce) {
  std::vector<const FontIndex*> seen(8);
  std::vector<SharedBytes> chosen(8);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < seen.size(); ++t) {
    threads.emplace_back([&, t] {
      seen[t] = &index();
      chosen[t] = substitute(false, false, false, false);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (size_t t = 1; t < seen.size(); ++t) {
    EXPECT_EQ(seen[t], seen[0]);
    EXPECT_EQ(chosen[t], chosen[0]) << "one buffer per style for the whole process";
  }
  EXPECT_EQ(substitute(false, false, false, false), chosen[0]);
}

}  // namespace
}  // namespace kestrum
