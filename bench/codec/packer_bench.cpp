// The packer's "Video:Mixed" round trip at 1920 x 1080 with 15 frames on the default rig, in source
// bytes packed and compared a second beside memcpy of the same bytes, and the full-form harness over
// the test's resolution list.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "bench/codec/codec_board.h"
#include "bench/memcpy_baseline.h"
#include "codec/chip/sorbelin_packer.h"
#include "devlib/devices.h"
#include "devlib/rig.h"
#include "framework/result_screen.h"
#include "tests/support/codec_board.h"

namespace {

struct Packer {
    Packer() {
        bench::AttachCodecBoard(bridge, &jastel);
        support::SelectCodecBoard(packer);
        ok = packer.Run(("Program VERBOSITY=1 FILE=" + std::string(PEX_TESTDATA_DIR) + "/oxd/PAQE0202.oxd").c_str()) == kRunPassed;
        packer.GetImageList()->FreeStrings();
        packer.GetImageList()->Add("RANDOM SEED=0x12345678");
        CTestBase::TakePreHostText(TRUE);
    }
    CDremolun bridge{nullptr, nullptr, "CDremolun"};
    CNuxaDSP dsp{&bridge, "CNuxaDSPA"};
    CJastel jastel{"CJastel"};
    CSorbelinPacker packer{&dsp, &bridge, &jastel, "CSorbelinPackerA"};
    bool ok = false;
};

void Run(benchmark::State& state, const char* command, double sourceBytes) {
    Packer p;
    if (!p.ok) {
        state.SkipWithError("the packer image did not load");
        return;
    }
    // A first round trip, untimed, brings the fresh rig's memory in (its pages are mapped at their
    // first write), as the tests before the packer's do in a run; the runs timed are the packer's.
    if (p.packer.RunTest(command) != 1) {
        state.SkipWithError("the round trip failed on the default rig");
        return;
    }
    CTestBase::TakePreHostText(TRUE);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (p.packer.RunTest(command) != 1) {
            state.SkipWithError("the round trip failed on the default rig");
            return;
        }
        CTestBase::TakePreHostText(TRUE);
    }
    bench::ReportBesideMemcpy(state, sourceBytes, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

// 15 unpacked 1920 x 1080 source frames (4 bytes a pixel) through the chip and compared.
void BM_PackerMixed1080p15Frames(benchmark::State& state) {
    Run(state, "\"Video:Mixed\" DIM=(1920,1080) FRAMES=15", 1920.0 * 1080 * 4 * 15);
}
BENCHMARK(BM_PackerMixed1080p15Frames)->Unit(benchmark::kMillisecond)->UseRealTime();

// The full form over every resolution of the list, one frame each.
void BM_PackerMixedResolutionList(benchmark::State& state) { Run(state, "\"Video:Mixed\" FRAMES=1", 0); }
BENCHMARK(BM_PackerMixedResolutionList)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
