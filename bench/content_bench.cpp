// Content tokenizer throughput on the busiest pages of the corpus: every page of the two-column
// journal article and of the one-column article with its vector plot, tokenized in full.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kestrum/content.h"
#include "kestrum/document.h"

namespace {

std::vector<kestrum::SharedBytes> page_contents(const char* name) {
  std::ifstream in(std::string(SCRIVANE_SOURCE_DIR) + "/tests/corpus/" + name, std::ios::binary);
  kestrum::Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  kestrum::Result<kestrum::Document> document = kestrum::Document::from_bytes(std::move(bytes));
  std::vector<kestrum::SharedBytes> out;
  if (!document) return out;
  for (const kestrum::PageNode& page : document->pages()) {
    out.push_back(document->page_content(page));
  }
  return out;
}

void BM_TokenizeContent(benchmark::State& state, const char* name) {
  const std::vector<kestrum::SharedBytes> pages = page_contents(name);
  if (pages.empty()) {
    state.SkipWithError("the corpus file did not open");
    return;
  }
  size_t bytes = 0;
  for (const kestrum::SharedBytes& page : pages) bytes += page->size();
  size_t operations = 0;
  kestrum::Operation op;
  for (auto _ : state) {
    for (const kestrum::SharedBytes& page : pages) {
      kestrum::ContentParser parser(*page);
      while (parser.next(op)) {
        benchmark::DoNotOptimize(op.operands.data());
        ++operations;
      }
    }
  }
  state.counters["ops"] =
      benchmark::Counter(static_cast<double>(operations), benchmark::Counter::kIsRate);
  state.counters["ops_per_pass"] =
      static_cast<double>(operations) / static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK_CAPTURE(BM_TokenizeContent, twocolumn, "twocolumn.pdf")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TokenizeContent, article, "article.pdf")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
