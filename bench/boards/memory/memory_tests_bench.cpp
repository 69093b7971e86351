// The random and march memory tests over the whole 512 MiB of the default main board, beside memcpy.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "boards/wexal/wexal.h"
#include "devlib/devices.h"

namespace {

// The tested bytes of one run: the march test reads and writes every word twice per pattern.
ULONGLONG BoardBytes(CWexal& wexal) { return wexal.GetSDRAMSize(); }

std::unique_ptr<CWexal> BoundWexal(benchmark::State& state) {
    auto wexal = std::make_unique<CWexal>("CWexal");
    if (wexal->SetupDevice("Brimola1") != kRunPassed || BoardBytes(*wexal) == 0) {
        state.SkipWithError("no main board on the rig");
        return nullptr;
    }
    return wexal;
}

void BM_RandomMemoryTestWholeSdram(benchmark::State& state) {
    auto wexal = BoundWexal(state);
    if (!wexal) return;
    // The test itself covers the first 64 KB; its pass is run here over the whole memory.
    const DWORD bytes = static_cast<DWORD>(std::min<ULONGLONG>(BoardBytes(*wexal), 0xFFFFFFFC));
    for (auto _ : state) {
        if (wexal->RandomMemPass(0, bytes, 4357, 0, 1, FALSE) != kRunPassed) {
            state.SkipWithError("the random test failed on a healthy board");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * BoardBytes(*wexal)));
    CTestBase::TakePreHostText(TRUE);
}
BENCHMARK(BM_RandomMemoryTestWholeSdram)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MarchMemoryTestWholeSdram(benchmark::State& state) {
    auto wexal = BoundWexal(state);
    if (!wexal) return;
    for (auto _ : state) {
        if (wexal->March_Mem_Test("VERBOSE=0") != kRunPassed) {
            state.SkipWithError("the march test failed on a healthy board");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * BoardBytes(*wexal)));
    CTestBase::TakePreHostText(TRUE);
}
BENCHMARK(BM_MarchMemoryTestWholeSdram)->Unit(benchmark::kMillisecond)->UseRealTime();

// memcpy over the same number of bytes, for scale.
void BM_MemcpyBoardSize(benchmark::State& state) {
    constexpr size_t kBytes = size_t{512} << 20;
    std::vector<char> from(kBytes, 0x5A), to(kBytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}
BENCHMARK(BM_MemcpyBoardSize)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
