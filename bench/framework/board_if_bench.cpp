// The SDRAM write/read-back compare over 64 MiB against the LRS generator, beside memcpy to and from the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "devlib/devices.h"
#include "devlib/wexal_spaces.h"
#include "framework/pattern_generators.h"
#include "framework/wexal_test_base.h"

namespace {

constexpr DWORD kAddress = 0x01000000;
constexpr int kBytes = 64 << 20;

class BenchTest : public CWexalTestBase {
public:
    DWORD Run(CString) override { return kRunPassed; }
};

CWexalSDRAMSpace* MainBoardSdram() {
    auto* board = GetZorvHardware() ? dynamic_cast<CWexalBoardDevice*>(GetZorvHardware()->GetDevice("Brimola1")) : nullptr;
    return board ? board->GetSDRAMSpace() : nullptr;
}

// Writes the words and reads them back against a replay: 64 MiB each way.
void BM_CompareSDRAM(benchmark::State& state) {
    BenchTest test;
    CWexalBoardIF& bif = test.GetBoardIF();
    if (bif.SelectDevice("Brimola1", FALSE) != kRunPassed) {
        state.SkipWithError("no main board on the rig");
        return;
    }
    LRS_Generator gen(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
    for (auto _ : state) {
        gen.Reset(0);
        if (bif.CompareSDRAM(kAddress, kBytes / 4, &gen, 0xFFFFFFFF, "W", "R", FALSE) != kRunPassed) {
            state.SkipWithError("compare failed on a healthy board");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytes);
}

// The same SDRAM bytes written from and read into host memory with memcpy.
void BM_SdramMemcpy(benchmark::State& state) {
    CWexalSDRAMSpace* sdram = MainBoardSdram();
    if (!sdram) {
        state.SkipWithError("no main board on the rig");
        return;
    }
    std::vector<char> host(kBytes, 0x5A), back(kBytes);
    for (auto _ : state) {
        std::memcpy(sdram->GetWrPointer(kAddress, kBytes), host.data(), kBytes);
        std::memcpy(back.data(), sdram->GetRdPointer(kAddress, kBytes), kBytes);
        benchmark::DoNotOptimize(back.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytes);
}

}  // namespace

BENCHMARK(BM_CompareSDRAM)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SdramMemcpy)->Unit(benchmark::kMillisecond);
