// The converter's stages over the real corpus: extraction through the backend, then the page
// stages (build_pages) and the whole conversion, each reported in glyphs per second.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "scrivane/backend/kestrum_backend.h"
#include "scrivane/pipeline.h"

namespace {

const char* const kFiles[] = {"article.pdf", "twocolumn.pdf", "xelatex.pdf", "lualatex.pdf",
                              "dvips.pdf"};

std::filesystem::path corpus(const char* name) {
  return std::filesystem::path(SCRIVANE_SOURCE_DIR) / "tests" / "corpus" / name;
}

size_t glyph_count(const scrivane::DocRaw& doc) {
  size_t n = 0;
  for (const auto& page : doc.pages) n += page.glyphs.size();
  return n;
}

scrivane::DocRaw extract(const char* name) {
  auto backend = scrivane::KestrumBackend::open_with_password(corpus(name));
  if (!backend) return {};
  auto doc = scrivane::extract_from(**backend, name);
  return doc ? std::move(*doc) : scrivane::DocRaw{};
}

void BM_Extract(benchmark::State& state) {
  const char* name = kFiles[state.range(0)];
  size_t glyphs = 0;
  for (auto _ : state) glyphs += glyph_count(extract(name));
  state.SetLabel(name);
  state.counters["glyphs/s"] =
      benchmark::Counter(static_cast<double>(glyphs), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Extract)->DenseRange(0, std::size(kFiles) - 1)->Unit(benchmark::kMillisecond);

void BM_BuildPages(benchmark::State& state) {
  const char* name = kFiles[state.range(0)];
  scrivane::DocRaw doc = extract(name);
  size_t glyphs = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(scrivane::build_pages(doc));
    glyphs += glyph_count(doc);
  }
  state.SetLabel(name);
  state.counters["glyphs/s"] =
      benchmark::Counter(static_cast<double>(glyphs), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BuildPages)->DenseRange(0, std::size(kFiles) - 1)->Unit(benchmark::kMillisecond);

void BM_Convert(benchmark::State& state) {
  const char* name = kFiles[state.range(0)];
  size_t glyphs = glyph_count(extract(name));
  for (auto _ : state) benchmark::DoNotOptimize(scrivane::convert_with(corpus(name), {}));
  state.SetLabel(name);
  state.counters["glyphs/s"] = benchmark::Counter(static_cast<double>(glyphs * state.iterations()),
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Convert)->DenseRange(0, std::size(kFiles) - 1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
