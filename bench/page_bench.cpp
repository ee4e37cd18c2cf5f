// Page interpretation throughput on the largest documents of the corpus. Two measures per file:
// every page interpreted from a document opened once (objects already cached after the first
// pass, fonts loaded afresh per page as always), and the whole file opened and every page
// interpreted in each pass, which is what a text extractor run from the command line does.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>

#include "kestrum/document.h"
#include "kestrum/page.h"

namespace {

kestrum::Bytes corpus_bytes(const char* name) {
  std::ifstream in(std::string(SCRIVANE_SOURCE_DIR) + "/tests/corpus/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Interprets every page; the number of glyphs recorded, or -1 when a page fails.
int64_t interpret_all(const kestrum::Document& document) {
  int64_t glyphs = 0;
  for (size_t i = 0; i < document.page_count(); ++i) {
    kestrum::Result<kestrum::Page> page = document.page(i);
    if (!page) return -1;
    glyphs += static_cast<int64_t>(page->glyphs.size());
    benchmark::DoNotOptimize(page->paths.data());
  }
  return glyphs;
}

void report(benchmark::State& state, size_t pages, int64_t glyphs) {
  const double passes = static_cast<double>(state.iterations());
  state.counters["pages/s"] =
      benchmark::Counter(passes * static_cast<double>(pages), benchmark::Counter::kIsRate);
  state.counters["glyphs/s"] =
      benchmark::Counter(passes * static_cast<double>(glyphs), benchmark::Counter::kIsRate);
  state.counters["pages"] = static_cast<double>(pages);
}

void BM_InterpretPages(benchmark::State& state, const char* name) {
  kestrum::Result<kestrum::Document> document = kestrum::Document::from_bytes(corpus_bytes(name));
  if (!document) {
    state.SkipWithError("the corpus file did not open");
    return;
  }
  int64_t glyphs = 0;
  for (auto _ : state) {
    glyphs = interpret_all(*document);
    if (glyphs < 0) {
      state.SkipWithError("a page failed");
      return;
    }
  }
  report(state, document->page_count(), glyphs);
}

void BM_OpenAndInterpret(benchmark::State& state, const char* name) {
  const kestrum::Bytes bytes = corpus_bytes(name);
  size_t pages = 0;
  int64_t glyphs = 0;
  for (auto _ : state) {
    kestrum::Result<kestrum::Document> document = kestrum::Document::from_bytes(bytes);
    if (!document) {
      state.SkipWithError("the corpus file did not open");
      return;
    }
    pages = document->page_count();
    glyphs = interpret_all(*document);
    if (glyphs < 0) {
      state.SkipWithError("a page failed");
      return;
    }
  }
  report(state, pages, glyphs);
}

#define PAGE_BENCHES(label, file)                                                   \
  BENCHMARK_CAPTURE(BM_InterpretPages, label, file)->Unit(benchmark::kMillisecond); \
  BENCHMARK_CAPTURE(BM_OpenAndInterpret, label, file)->Unit(benchmark::kMillisecond);

PAGE_BENCHES(mixed, "mixed.pdf")
PAGE_BENCHES(sample, "sample.pdf")
PAGE_BENCHES(article, "article.pdf")
PAGE_BENCHES(twocolumn, "twocolumn.pdf")
PAGE_BENCHES(lualatex, "lualatex.pdf")
PAGE_BENCHES(authoryear, "authoryear.pdf")

}  // namespace

BENCHMARK_MAIN();
