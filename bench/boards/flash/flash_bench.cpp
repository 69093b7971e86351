// "Flash" PROG then CHECK of the PCIX image on the default main board, in flash words per second.
#include <benchmark/benchmark.h>

#include <string>

#include "boards/flash/diag_flash.h"
#include "framework/hw/flash_image_file.h"
#include "tests/support/temp_dir.h"

namespace {

const std::string kImage = PEX_TESTDATA_DIR "/oxd/ZVKX0202.oxd";

void BM_ProgramAndCheckPcix(benchmark::State& state) {
    CFlashImageFile file;
    if (file.Open(kImage.c_str()) != CFlashImageFile::kReady) {
        state.SkipWithError("no ZVKX0202.oxd in testdata/oxd");
        return;
    }
    const double words = static_cast<double>((file.GetDataSize() + 1) / 2);
    file.Close();
    CDiagFlash flash("Flash");
    if (flash.SetupDevice("Brimola1") != kRunPassed) {
        state.SkipWithError("no main board on the rig");
        return;
    }
    const CString command = ("MODE=(PROG CHECK) DEVICE=PCIX FILE=" + support::Bracketed(kImage)).c_str();
    for (auto _ : state) {
        if (flash.Run(command) != kRunPassed) {
            state.SkipWithError("PROG and CHECK failed on a healthy board");
            break;
        }
        CTestBase::TakePreHostText(TRUE);
    }
    // Each word is programmed (with the rest of its erase block) and compared once per run.
    state.counters["flash_words"] = benchmark::Counter(words * static_cast<double>(state.iterations()),
                                                       benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ProgramAndCheckPcix)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
