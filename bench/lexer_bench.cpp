// Lexer throughput over a dictionary-heavy buffer shaped like the object bodies of a PDF.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <string>

#include "kestrum/lexer.h"

namespace {

std::string page_objects(size_t target) {
  std::string out;
  for (unsigned n = 1; out.size() < target; ++n) {
    out += fmt::format(
        "{} 0 obj\n<< /Type /Page /Parent 3 0 R /MediaBox [0 0 612 792] /CropBox [0.0 0.0 "
        "612.0 792.0]\n/Resources << /Font << /F1 5 0 R /F2 6 0 R /F#233 7 0 R >> /XObject << "
        "/Im1 {} 0 R >> /ProcSet [/PDF /Text /ImageB] >>\n/Contents {} 0 R /Annots [9 0 R 10 0 "
        "R 11 0 R] /Rotate 0 /Group << /S /Transparency /CS /DeviceRGB /I true >>\n/T (Page "
        "\\(title\\) {}) /ID <A1B2C3D4E5F6> /UserUnit 1.5 /Widths [250 333 408 500 500 833 778 "
        "180 333 333 500 564] % comment\n>>\nendobj\n",
        n, n + 1, n + 2, n);
  }
  return out;
}

void BM_LexerDictionaries(benchmark::State& state) {
  const std::string data = page_objects(8 << 20);
  size_t objects = 0;
  for (auto _ : state) {
    kestrum::Cursor c(kestrum::as_bytes(data));
    while (true) {
      c.skip_ws();
      if (c.at_end()) break;
      if (auto o = c.read_object_at(0)) {
        ++objects;
        benchmark::DoNotOptimize(o);
      } else if (c.read_regular().empty()) {  // obj, endobj
        c.advance();
      }
    }
  }
  benchmark::DoNotOptimize(objects);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_LexerDictionaries)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
