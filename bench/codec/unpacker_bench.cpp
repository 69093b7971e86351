// The unpacker's "Video:Mixed" round trip at 1920 x 1080 with 15 frames on the default rig, in unpacked
// frame bytes brought back and compared a second beside memcpy of the same bytes, and the full-form
// harness over the test's resolution list.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "bench/codec/codec_board.h"
#include "bench/memcpy_baseline.h"
#include "codec/chip/sorbelin_unpacker.h"
#include "devlib/devices.h"
#include "devlib/rig.h"
#include "framework/result_screen.h"
#include "tests/support/codec_board.h"

namespace {

struct Unpacker {
    Unpacker() {
        bench::AttachCodecBoard(bridge, &jastel);
        support::SelectCodecBoard(unpacker);
        ok = unpacker.Run(("Program VERBOSITY=1 FILE=" + std::string(PEX_TESTDATA_DIR) + "/oxd/UPQE0202.oxd").c_str()) == kRunPassed;
        unpacker.GetImageList()->FreeStrings();
        unpacker.GetImageList()->Add("RANDOM SEED=0x12345678");
        CTestBase::TakePreHostText(TRUE);
    }
    CDremolun bridge{nullptr, nullptr, "CDremolun"};
    CNuxaDSP dsp{&bridge, "CNuxaDSPA"};
    CJastel jastel{"CJastel"};
    CSorbelinUnpacker unpacker{&dsp, &bridge, &jastel, "CSorbelinUnpackerA"};
    bool ok = false;
};

void Run(benchmark::State& state, const char* command, double payloadBytes) {
    Unpacker u;
    if (!u.ok) {
        state.SkipWithError("the unpacker image did not load");
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (u.unpacker.RunTest(command) != 1) {
            state.SkipWithError("the round trip failed on the default rig");
            return;
        }
        CTestBase::TakePreHostText(TRUE);
    }
    bench::ReportBesideMemcpy(state, payloadBytes, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

// 15 1920 x 1080 frames through the chip and compared: the default sequence makes every third an
// alpha (2 bytes a pixel unpacked), the other ten pictures (4 bytes a pixel).
void BM_UnpackerMixed1080p15Frames(benchmark::State& state) {
    Run(state, "\"Video:Mixed\" DIM=(1920,1080) FRAMES=15", 1920.0 * 1080 * (10 * 4 + 5 * 2));
}
BENCHMARK(BM_UnpackerMixed1080p15Frames)->Unit(benchmark::kMillisecond)->UseRealTime();

// The full form over every resolution of the list, one frame each.
void BM_UnpackerMixedResolutionList(benchmark::State& state) { Run(state, "\"Video:Mixed\" FRAMES=1", 0); }
BENCHMARK(BM_UnpackerMixedResolutionList)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
