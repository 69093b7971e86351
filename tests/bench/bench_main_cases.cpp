// A benchmark program built from the benchmarks' own main and scratch folder for bench_main_test.cpp:
// a clean case (which checks the temporary folder it was given) and one whose second repetition reports an error.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

// Clean where the program, in its scratch folder, and what it starts find the temporary folder.
void BM_Clean(benchmark::State& state) {
    const char* temp = std::getenv("TMPDIR");
    std::error_code ec;
    if (!temp || temp[0] != '/' || !std::filesystem::is_directory(temp, ec)) state.SkipWithError("TMPDIR names no folder from here");
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
