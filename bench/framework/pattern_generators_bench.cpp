// The shift-register generator's block fill beside memcpy of the same bytes and beside word-by-word Next.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "framework/pattern_generators.h"

namespace {

void BM_LrsFill(benchmark::State& state) {
    const size_t words = static_cast<size_t>(state.range(0)) / 4;
    std::vector<DWORD> buf(words);
    LRS_Generator g(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
    g.SetSeedRule(0, 1);
    int pass = 0;
    for (auto _ : state) {
        g.Reset(pass++);
        g.Fill(buf.data(), words);
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Memcpy(benchmark::State& state) {
    const size_t bytes = static_cast<size_t>(state.range(0));
    std::vector<char> src(bytes, 1), dst(bytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_LrsNext(benchmark::State& state) {
    const size_t words = static_cast<size_t>(state.range(0)) / 4;
    std::vector<DWORD> buf(words);
    LRS_Generator g(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
    DataPatternGenerator& base = g;
    for (auto _ : state) {
        base.Reset(0);
        for (size_t i = 0; i < words; ++i) buf[i] = base.Next();
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(BM_LrsFill)->Arg(1 << 20)->Arg(16 << 20)->Arg(64 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Arg(1 << 20)->Arg(16 << 20)->Arg(64 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LrsNext)->Arg(1 << 20)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

