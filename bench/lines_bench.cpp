// Line building over synthetic pages: body text of many lines of words, and two worst cases
// for the lookups that must not turn quadratic (one glyph per line, one size per glyph).
#include <benchmark/benchmark.h>

#include <string_view>

#include "scrivane/ir.h"
#include "scrivane/text/lines.h"

namespace {

using scrivane::Glyph;
using scrivane::GlyphText;
using scrivane::PageRaw;
using scrivane::Rect;

Glyph glyph(char32_t c, float x, float baseline, float size) {
  Glyph g;
  g.text = GlyphText::character(c);
  g.bbox = Rect{x, baseline - 0.75f * size, x + 0.5f * size, baseline + 0.25f * size};
  g.origin = {x, baseline};
  g.size = size;
  g.color = 0xFF000000;
  return g;
}

// Lines of 80 glyphs: words of 3 to 9 letters between space glyphs, 12 points apart.
PageRaw body_text(size_t count) {
  PageRaw page;
  page.width = 612;
  constexpr std::string_view kText =
      "the quick brown fox jumps over lazy dogs while seven wizards quietly hex judges ";
  size_t rows = (count + kText.size() - 1) / kText.size();
  page.height = 72.0f + 12.0f * static_cast<float>(rows);
  page.glyphs.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    size_t row = i / kText.size(), col = i % kText.size();
    page.glyphs.push_back(
        glyph(static_cast<char32_t>(kText[col]), 72.0f + 5.0f * col, 72.0f + 12.0f * row, 10));
  }
  return page;
}

// Every glyph on a baseline of its own (scattered labels, a dense scatter plot).
PageRaw one_glyph_per_line(size_t count) {
  PageRaw page;
  page.width = 612;
  page.height = 3.0f * static_cast<float>(count);
  for (size_t i = 0; i < count; ++i) {
    page.glyphs.push_back(glyph(U'a' + i % 26, 72.0f + 5.0f * (i % 80), 3.0f * i, 10));
  }
  return page;
}

// One long line in which every glyph has a size of its own.
PageRaw one_size_per_glyph(size_t count) {
  PageRaw page;
  page.width = 612;
  page.height = 792;
  for (size_t i = 0; i < count; ++i) {
    page.glyphs.push_back(glyph(U'a' + i % 26, 5.0f * i, 400, 10 + 0.3f * (i % 1000)));
  }
  return page;
}

template <PageRaw (*Make)(size_t)>
void BM_BuildLines(benchmark::State& state) {
  PageRaw page = Make(static_cast<size_t>(state.range(0)));
  size_t lines = 0;
  for (auto _ : state) {
    auto built = scrivane::build_lines(page);
    lines = built.size();
    benchmark::DoNotOptimize(built);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["lines"] = static_cast<double>(lines);
}

BENCHMARK(BM_BuildLines<body_text>)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildLines<one_glyph_per_line>)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildLines<one_size_per_glyph>)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
