// A codec chip's round-trip test timed on the default rig, in payload bytes a second beside memcpy
// of the same bytes: the chip's image loaded, the random source picture chosen, one untimed run
// first.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "bench/codec/codec_board.h"
#include "bench/memcpy_baseline.h"
#include "codec/dsp/nuxa_dsp.h"
#include "framework/result_screen.h"
#include "tests/support/codec_board.h"
#include "tests/support/temp_dir.h"

namespace bench {

// Chip: the test class, built as (DSP, bridge, controller port, name); image: its .oxd under
// testdata/oxd.
template <class Chip>
void TimeRoundTrip(benchmark::State& state, const char* name, const char* image, const char* command, double payloadBytes) {
    CDremolun bridge{nullptr, nullptr, "CDremolun"};
    CNuxaDSP dsp{&bridge, "CNuxaDSPA"};
    CJastel jastel{"CJastel"};
    Chip chip{&dsp, &bridge, &jastel, name};
    AttachCodecBoard(bridge, &jastel);
    support::SelectCodecBoard(chip);
    if (chip.Run(("Program VERBOSITY=1 FILE=" + support::Bracketed(std::string(PEX_TESTDATA_DIR) + "/oxd/" + image)).c_str()) != kRunPassed) {
        state.SkipWithError("the chip's image did not load");
        return;
    }
    chip.GetImageList()->FreeStrings();
    chip.GetImageList()->Add("RANDOM SEED=0x12345678");
    CTestBase::TakePreHostText(TRUE);
    // A first round trip, untimed, brings the fresh rig's memory in (its pages are mapped at their
    // first write), as the tests before this one do in a run.
    if (chip.RunTest(command) != 1) {
        state.SkipWithError("the round trip failed on the default rig");
        return;
    }
    CTestBase::TakePreHostText(TRUE);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (chip.RunTest(command) != 1) {
            state.SkipWithError("the round trip failed on the default rig");
            return;
        }
        CTestBase::TakePreHostText(TRUE);
    }
    ReportBesideMemcpy(state, payloadBytes, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

}  // namespace bench
