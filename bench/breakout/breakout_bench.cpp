// CBexi "Loopback Images" with FRAMES=13 at 1920 x 1080 through the default rig's breakout box: bytes sent a second beside memcpy's.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "bench/memcpy_baseline.h"
#include "framework/hw/jastel.h"
#include "breakout/external_io.h"
#include "devlib/devices.h"
#include "devlib/rig.h"

namespace {

class Root : public CWexalTreeMapTB {
public:
    Root() : CWexalTreeMapTB("CBrimolaBoard") {}
    DWORD Run(CString) override { return kRunPassed; }
};


void BM_BexiLoopbackImages1080Frames13(benchmark::State& state) {
    // FRAMES=13 at 1080i 29.97 sends 13 + 2 frames, every one an image frame here.
    constexpr size_t kFrames = 15, kFrameBytes = size_t{1920} * 1080 * 4;
    devlib::LoadDefaultRig();
    Root root;
    CJastel jastel("CJastel");
    CBexi bexi(&jastel, "CBexi");
    bexi.SetParent(&root);
    if (root.SetupDevice("Brimola1") != kRunPassed) {
        state.SkipWithError("the default rig has no Brimola1");
        return;
    }
    bexi.TakeBoardIF(&root);
    jastel.SetControllerRegisters(dynamic_cast<CWexalBoardDevice*>(root.GetDevice())->GetControllerRegisters());
    bexi.GetImageList()->FreeStrings();
    bexi.GetImageList()->Add("GRID");
    const CString command = "Loopback Images FRAMES=13 DIM=(1920,1080) SEQUENCE=I...";
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const DWORD result = bexi.Run(command);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        CTestBase::TakePreHostText(TRUE);
        root.GetSummary().clear();
        if (result != kRunPassed) {
            state.SkipWithError("the Bexi loopback failed on the default rig");
            return;
        }
    }
    // The loopback's rate over memcpy's of the same bytes, the 15 frames (1.0: as fast as one plain
    // copy of them), as the codec round trips are rated.
    bench::ReportBesideMemcpy(state, static_cast<double>(kFrames * kFrameBytes), seconds);
}
BENCHMARK(BM_BexiLoopbackImages1080Frames13)->Unit(benchmark::kMillisecond);

}  // namespace
