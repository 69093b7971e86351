// A benchmark program built from the benchmarks' own main and scratch folder for bench_main_test.cpp:
// a clean case and one whose second repetition reports an error.
#include <benchmark/benchmark.h>

namespace {

void BM_Clean(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(state.iterations());
}
// One iteration a repetition: each call of a case is one of its repetitions.
BENCHMARK(BM_Clean)->Iterations(1);

void BM_FailsSecond(benchmark::State& state) {
    static int calls = 0;
    if (++calls == 2) state.SkipWithError("the second repetition fails");
    for (auto _ : state) benchmark::DoNotOptimize(calls);
}
BENCHMARK(BM_FailsSecond)->Iterations(1);

}  // namespace
