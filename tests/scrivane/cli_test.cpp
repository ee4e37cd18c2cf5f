#include "scrivane/cli.h"

#include <gtest/gtest.h>

namespace scrivane {
namespace {

TEST(Cli, InputStems) {
  struct Case {
    const char* input;
    const char* want;
    const char* why;
  };
  const Case kCases[] = {
      {"paper.pdf", "paper", "the extension goes"},
      {"dir/archive.tar.pdf", "archive.tar", "only the last extension goes"},
      {".hidden", ".hidden", "a leading dot is no extension"},
      {"notes", "notes", "no dot keeps the whole name"},
      {"a/b/..", "", "a parent-directory component has no stem"},
      {"/", "", "a root has no stem"},
      {"dir/x.pdf/.", "x", "a trailing current-directory component is no component"},
      {"bad\xFF.pdf", "bad\xEF\xBF\xBD", "invalid UTF-8 is replaced"},
  };
  for (const Case& c : kCases) EXPECT_EQ(input_stem(c.input), c.want) << c.why;
}

TEST(Cli, AssetsDirectories) {
  using P = std::filesystem::path;
  EXPECT_EQ(assets_dir_for(1, "a", std::nullopt, std::nullopt), std::nullopt);
  EXPECT_EQ(assets_dir_for(1, "a", std::nullopt, "a.md"), std::nullopt);
  EXPECT_EQ(assets_dir_for(1, "a", "figs", std::nullopt), P("figs"));
  EXPECT_EQ(assets_dir_for(2, "a", "figs", "out"), P("figs/a"));
  EXPECT_EQ(assets_dir_for(2, "b", std::nullopt, "out"), P("out/b_assets"));
}

}  // namespace
}  // namespace scrivane
