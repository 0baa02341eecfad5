// Reducing true-colour pictures to the 8-bit DefaultPalette (the cached nearest-colour look-up).
// Run by hand: build/release/bench/dib_bench

#include "core/dib.h"
#include "core/nearest_color.h"
#include "core/palette.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

using namespace velmora;

// A 1024 x 1024 24-bit picture: smooth gradients with noise, like a rendered sprite sheet.
TDIB Picture(bool random) {
    TDIB dib;
    dib.SetSize(1024, 1024, 24);
    std::mt19937 rng(7);
    for (int y = 0; y < 1024; ++y) {
        uint8_t* row = dib.ScanLine(y);
        for (int x = 0; x < 1024; ++x) {
            if (random) {
                uint32_t v = rng();
                row[x * 3] = uint8_t(v);
                row[x * 3 + 1] = uint8_t(v >> 8);
                row[x * 3 + 2] = uint8_t(v >> 16);
            } else {
                int n = int(rng() & 7);
                row[x * 3] = uint8_t((x ^ y) / 8 + n);
                row[x * 3 + 1] = uint8_t(y / 4 + n);
                row[x * 3 + 2] = uint8_t(x / 4 + n);
            }
        }
    }
    return dib;
}

void ReduceTo8Bits(benchmark::State& state) {
    const TDIB source = Picture(state.range(0) != 0);
    NearestColorIndex(DefaultPalette, 1, 2, 3); // the look-up is built once per process
    for (auto _ : state) {
        TDIB dib(source);
        dib.SetBitCount(8);
        benchmark::DoNotOptimize(dib.PBits());
    }
    state.SetItemsProcessed(state.iterations() * 1024 * 1024);
}
BENCHMARK(ReduceTo8Bits)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BuildLookupOnce(benchmark::State& state) {
    // What the first reduction to a colour table pays once: building its look-up.
    for (auto _ : state) {
        TNearestColorLookup lookup(DefaultPalette.data(), 256);
        benchmark::DoNotOptimize(lookup.Find(1, 2, 3));
    }
}
BENCHMARK(BuildLookupOnce)->Unit(benchmark::kMillisecond);

void Widen565To24(benchmark::State& state) {
    TDIB dib;
    dib.SetPixelFormat(MakePixelFormat(5, 6, 5));
    dib.SetSize(1024, 1024, 16);
    for (auto _ : state) {
        TDIB copy(dib);
        copy.SetBitCount(24);
        benchmark::DoNotOptimize(copy.PBits());
    }
}
BENCHMARK(Widen565To24)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
