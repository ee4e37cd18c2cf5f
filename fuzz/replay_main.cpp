// Runs a fuzz target's entry point over files, so that the normal and sanitizer builds replay
// the regression corpus without libFuzzer. Arguments are files or directories; a directory
// stands for the files in it (recursively, in name order, dot files skipped).
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// The fuzzers run with -rss_limit_mb=2048; an input that needs more is a defect here too.
constexpr long kMaxRssKib = 2048L * 1024;

bool collect(const std::filesystem::path& path, std::vector<std::filesystem::path>& out) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path, ec)) {
      if (entry.is_regular_file() && entry.path().filename().string().front() != '.') {
        found.push_back(entry.path());
      }
    }
    std::sort(found.begin(), found.end());
    out.insert(out.end(), found.begin(), found.end());
    return !ec;
  }
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  out.push_back(path);
  return true;
}

long peak_rss_kib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    if (!collect(argv[i], inputs)) {
      std::fprintf(stderr, "cannot read %s\n", argv[i]);
      return 2;
    }
  }
  for (const auto& path : inputs) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (!in.eof() && in.fail()) {
      std::fprintf(stderr, "cannot read %s\n", path.c_str());
      return 2;
    }
    // Named first, so that a sanitizer report or a hang shows which input caused it.
    std::fprintf(stderr, "replaying %s (%zu bytes)\n", path.c_str(), bytes.size());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    if (peak_rss_kib() > kMaxRssKib) {
      std::fprintf(stderr, "%s: peak memory %ld MiB is over the limit\n", path.c_str(),
                   peak_rss_kib() / 1024);
      return 1;
    }
  }
  std::fprintf(stderr, "replayed %zu inputs\n", inputs.size());
  return 0;
}
