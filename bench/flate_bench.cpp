// Flate decoding through the reader's 64 KiB-step inflate, beside a one-shot zlib uncompress
// into a buffer of the known size: the practical limit for the same data.
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <zlib.h>

#include <random>
#include <string>

#include "kestrum/filters.h"
#include "kestrum/lexer.h"

namespace {

// Content-stream-like text, about 4 MiB, and its zlib compression.
struct Sample {
  std::string plain;
  std::string packed;
};

const Sample& sample() {
  static const Sample s = [] {
    Sample out;
    std::mt19937 rng(11);
    while (out.plain.size() < (4u << 20)) {
      out.plain +=
          fmt::format("BT /F{} {} Tf {}.{} {}.{} Td ({}) Tj ET\n", rng() % 8, 8 + rng() % 6,
                      rng() % 600, rng() % 100, rng() % 800, rng() % 100, rng() % 100000);
    }
    uLongf size = compressBound(out.plain.size());
    out.packed.resize(size);
    compress2(reinterpret_cast<Bytef*>(out.packed.data()), &size,
              reinterpret_cast<const Bytef*>(out.plain.data()), out.plain.size(), 6);
    out.packed.resize(size);
    return out;
  }();
  return s;
}

void BM_FlateDecode(benchmark::State& state) {
  const Sample& s = sample();
  for (auto _ : state) {
    auto out = kestrum::flate_decode(kestrum::as_bytes(s.packed));
    if (!out || out->size() != s.plain.size()) state.SkipWithError("bad decode");
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.plain.size()));
  state.counters["ratio"] = static_cast<double>(s.plain.size()) / s.packed.size();
}
BENCHMARK(BM_FlateDecode)->Unit(benchmark::kMillisecond);

void BM_ZlibUncompressOneShot(benchmark::State& state) {
  const Sample& s = sample();
  std::string out(s.plain.size(), '\0');
  for (auto _ : state) {
    uLongf size = out.size();
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                   reinterpret_cast<const Bytef*>(s.packed.data()), s.packed.size()) != Z_OK) {
      state.SkipWithError("bad uncompress");
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.plain.size()));
}
BENCHMARK(BM_ZlibUncompressOneShot)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
