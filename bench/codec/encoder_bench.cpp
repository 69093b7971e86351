// The codec encoder's Encode on the default rig: one 1920 x 1080 10-bit VCID over 15 frames beside memcpy of the same bytes, and the default manufacturing Encode of both chips.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/codec/codec_board.h"
#include "bench/memcpy_baseline.h"
#include "codec/chip/sorbelin_encoder.h"
#include "devlib/devices.h"
#include "devlib/rig.h"
#include "devlib/wexal_spaces.h"
#include "framework/hw/jastel.h"
#include "tests/support/codec_board.h"
#include "tests/support/temp_dir.h"

namespace {

// Both chips' encoder tests on the default rig, set up as the codec board root sets them up.
struct Encoders {
    Encoders() {
        bench::AttachCodecBoard(bridge, &jastel);
        support::SelectCodecBoard(a, b);
        for (CSorbelinEncoder* t : {&a, &b}) {
            const std::string data = PEX_TESTDATA_DIR;
            t->SetEnvironment(("VARIABLE=ENCODE_IMAGE VALUE=" + support::Bracketed(data + "/oxd/GUWT0202.oxd")).c_str());
            t->SetEnvironment(("VARIABLE=DSP_MICRO VALUE=" + support::Bracketed(data + "/oxd/KAWF0101.oxd")).c_str());
            t->SetEnvironment(("VARIABLE=ZYV_DIRECTORY VALUE=" + support::Bracketed(data + "/zyv/20040521")).c_str());
        }
        CTestBase::TakePreHostText(TRUE);
    }
    CDremolun bridge{nullptr, nullptr, "CDremolun"};
    CJastel jastel{"CJastel"};
    CNuxaDSP dspA{&bridge, "CNuxaDSPA"}, dspB{&bridge, "CNuxaDSPB"};
    CSorbelinEncoder a{&dspA, &bridge, &jastel, "CSorbelinEncoderA"}, b{&dspB, &bridge, &jastel, "CSorbelinEncoderB"};
};

// Seconds of wall time the timed part of each iteration took.
struct Wall {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    double Seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); }
};

// VCID 0x4DF: 1920 x 1080 10-bit frames (1125 lines sent), 15 of them a run; the reference comes
// from a MASTER run first.
void EncodeFifteenFrames10Bit(benchmark::State& state) {
    Encoders e;
    const std::string reference = (std::filesystem::current_path() / "E_4DF.img").string();  // the run's scratch folder
    {
        std::vector<char> zero(0x168000, 0);
        std::FILE* f = std::fopen(reference.c_str(), "wb");
        if (!f || std::fwrite(zero.data(), 1, zero.size(), f) != zero.size()) state.SkipWithError("cannot write the reference");
        if (f) std::fclose(f);
    }
    e.a.SetEnvironment("VARIABLE=VCID_LIST VALUE=0x4DF");
    const std::string entry = "IMG=" + support::Bracketed("HORZ_WEDGE=>" + reference);
    if (e.a.Run(("Encode " + entry + " -MASTER").c_str()) != kRunPassed) state.SkipWithError("the MASTER run failed");
    const size_t bytes = size_t{1920} * 1125 * 4 * 15;
    double seconds = 0;
    for (auto _ : state) {
        const Wall wall;
        if (e.a.Run(("Encode " + entry + " FRAMES=15 VERBOSE=0").c_str()) != kRunPassed) state.SkipWithError("the encode failed");
        seconds += wall.Seconds();
        CTestBase::TakePreHostText(TRUE);
    }
    bench::ReportBesideMemcpy(state, static_cast<double>(bytes), seconds);
}
BENCHMARK(EncodeFifteenFrames10Bit)->Unit(benchmark::kMillisecond)->UseRealTime();

// The manufacturing tree's Encode of both chips (default VCID list, the plain image list) against
// the build's references; the station budget is 2 s of wall time for the pair.
void DefaultManufacturingEncode(benchmark::State& state) {
    Encoders e;
    double worst = 0;
    for (auto _ : state) {
        const Wall wall;
        for (CSorbelinEncoder* t : {&e.a, &e.b})
            if (t->Run("Encode IMG=$(IMG_LIST) VERBOSE=0") != kRunPassed) state.SkipWithError("the default Encode failed");
        worst = std::max(worst, wall.Seconds());
        CTestBase::TakePreHostText(TRUE);
    }
    state.counters["worst_wall_seconds"] = benchmark::Counter(worst);
    state.counters["within_2s"] = benchmark::Counter(worst < 2.0 ? 1 : 0);
}
BENCHMARK(DefaultManufacturingEncode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
