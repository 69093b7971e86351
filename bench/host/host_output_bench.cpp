// Benchmark: the host's memory while a test prints without end, through the result screen into the
// host's window model, its transcript and the red lines kept for a report.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "framework/result_screen.h"
#include "host/output_renderer.h"
#include "host/rich_edit_model.h"
#include "host/test_host.h"

namespace {

double Mib(double bytes) { return bytes / (1024.0 * 1024.0); }
// Heap in use, the blocks the allocator maps on their own included.
size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// The process's resident size now.
size_t Resident() {
    std::ifstream statm("/proc/self/statm");
    size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// Prints state.range(0) lines as a failing test does (coloured prints, taps, red lines) with no test
// header between them. The counters, sampled as the run goes: the most heap in use and the largest
// resident size of the process, each beyond what the run started with. Both stay the same for ten
// times the lines.
void BM_LongPrintIntoTheHostWindow(benchmark::State& state) {
    const long lines = state.range(0);
    size_t heapGrowth = 0, residentPeak = 0;
    long textKept = 0, redKept = 0;
    for (auto _ : state) {
        FILE* terminal = std::fopen("/dev/null", "w");
        RichEditModel window;
        OutputRenderer renderer(window, terminal, false, nullptr);
        window.SetListener(&renderer);
        TestHost host(window, renderer);
        CResultScreen screen;
        screen.SetHost(&host);
        std::string red;
        renderer.CaptureRedLines(&red);
        const size_t start = HeapInUse(), residentAtStart = Resident();
        char line[96];
        for (long i = 0; i < lines; ++i) {
            std::snprintf(line, sizeof line, "  SDRAM block 0x%08lX: ~*GREEN*~PASS~*BLACK*~ pattern %ld\n", i * 512, i);
            if (i % 4 == 3) {
                std::snprintf(line, sizeof line, "Mismatch at 0x%08lX: expected 5A5A5A5A got 5A5A5A5B\n", i * 4);
                screen.PrintColor(line, kColorRed);
            } else {
                screen.Print(line);
            }
            if (i % 65536 == 0) {
                heapGrowth = std::max(heapGrowth, HeapInUse() - std::min(start, HeapInUse()));
                residentPeak = std::max(residentPeak, Resident() - std::min(residentAtStart, Resident()));
            }
        }
        renderer.CaptureRedLines(nullptr);
        renderer.FlushStreams();
        heapGrowth = std::max(heapGrowth, HeapInUse() - std::min(start, HeapInUse()));
        residentPeak = std::max(residentPeak, Resident() - std::min(residentAtStart, Resident()));
        textKept = static_cast<long>(window.Text().size());
        redKept = static_cast<long>(red.size());
        benchmark::DoNotOptimize(window.GetLineCount());
        window.SetListener(nullptr);
        std::fclose(terminal);
    }
    state.SetItemsProcessed(state.iterations() * lines);
    state.counters["heap_growth_mib"] = Mib(static_cast<double>(heapGrowth));
    state.counters["rss_growth_mib"] = Mib(static_cast<double>(residentPeak));
    state.counters["window_kept_kib"] = static_cast<double>(textKept) / 1024.0;
    state.counters["red_kept_kib"] = static_cast<double>(redKept) / 1024.0;
}
BENCHMARK(BM_LongPrintIntoTheHostWindow)->Arg(1'000'000)->Arg(10'000'000)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
