// Where the tests find the source tree, the build tree and the corpus.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace testing_support {

std::filesystem::path source_dir();
std::filesystem::path binary_dir();
// A file of tests/corpus, e.g. corpus_file("sample.pdf").
std::filesystem::path corpus_file(std::string_view name);
// The whole file, or "" when it cannot be read.
std::string read_file(const std::filesystem::path& path);

}  // namespace testing_support
