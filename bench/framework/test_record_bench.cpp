// Benchmark: publishing one leaf under a deep chain of keyed folders and handing the list over.
#include <benchmark/benchmark.h>

#include <string>

#include "framework/test_record.h"

namespace {

void BM_DeepTreeHandOver(benchmark::State& state) {
    std::string path;
    for (int64_t i = 0; i < state.range(0); ++i) path += "L" + std::to_string(i) + "`+" + std::to_string(i % 7) + "\\";
    path += "Leaf`+1";
    for (auto _ : state) {
        CTestRegistry registry;
        registry.AddTest(path.c_str(), "C", 1, nullptr, "");
        benchmark::DoNotOptimize(registry.DetachList());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_DeepTreeHandOver)->RangeMultiplier(4)->Range(500, 8000)->Arg(10000)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace
