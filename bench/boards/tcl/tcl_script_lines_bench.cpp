// A script's braced block of n lines joined line by line into one command: the time grows as n.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "boards/tcl/tcl_script_lines.h"

namespace {

std::vector<std::string> BracedBlock(size_t lines) {
    std::vector<std::string> block{"proc long {} {\n"};
    for (size_t i = 0; i < lines; ++i) block.push_back(i % 3 ? "    incr ::n\n" : "    if {$::n > 0} {set ::m [list \"a\" {b c}]}\n");
    block.push_back("}\n");
    return block;
}

void BM_JoinBracedBlock(benchmark::State& state) {
    const std::vector<std::string> block = BracedBlock(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        CTclCommandAssembler command;
        command.Start(block[0]);
        size_t next = 1;
        while (!command.IsComplete() && next < block.size()) command.Append(block[next++]);
        benchmark::DoNotOptimize(command.Text().size());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_JoinBracedBlock)->RangeMultiplier(2)->Range(10000, 80000)->Complexity(benchmark::oN);

}  // namespace
