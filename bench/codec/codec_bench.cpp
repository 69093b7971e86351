// Bridge accesses a second on the default rig (fixed reads, fixed writes, auto-increment block reads), one diagnostics SDRAM address test and a whole "VelkoDrun_IB" frame.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/codec/codec_board.h"
#include "codec/chip/sorbelin_diag.h"
#include "devlib/devices.h"
#include "devlib/rig.h"
#include "devlib/wexal_spaces.h"
#include "tests/support/codec_board.h"

namespace {

struct Codec {
    Codec() {
        bench::AttachCodecBoard(bridge);
        bridge.SetDSPBlock(1);
        diag.GetBoardIF().SelectDevice("Nuxa1", FALSE);
        diag.GetBoardIF().GetBAR0(FALSE);
        for (DWORD i = 0; i < pattern.size(); ++i) pattern[i] = i * 0x01010101u;
        diag.SetPatternBuffer(&pattern);
    }
    std::vector<DWORD> pattern = std::vector<DWORD>(4096);
    CDremolun bridge{nullptr, nullptr, "CDremolun"};
    CNuxaDSP dsp{&bridge, "CNuxaDSPA"};
    CSorbelinDiag diag{&dsp, &bridge, nullptr, "CSorbelinDiagA"};
};

void BridgeReadFixed(benchmark::State& state) {
    Codec codec;
    DWORD sum = 0;
    for (auto _ : state) sum += codec.bridge.ReadDataFixed(0x1000);
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BridgeReadFixed);

void BridgeWriteFixed(benchmark::State& state) {
    Codec codec;
    DWORD v = 0;
    for (auto _ : state) codec.bridge.WriteDataFixed(0x1000, ++v);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BridgeWriteFixed);

void BridgeReadAuto(benchmark::State& state) {
    Codec codec;
    std::vector<DWORD> words(4096);
    for (auto _ : state) codec.bridge.ReadDataAuto(0x1000, words.data(), static_cast<DWORD>(words.size()));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(words.size()));
}
BENCHMARK(BridgeReadAuto);

void DiagSdramAddress(benchmark::State& state) {
    Codec codec;
    CString image((std::string(PEX_TESTDATA_DIR) + "/oxd/SDIA0202.oxd").c_str());
    codec.dsp.ProgramFPGA(image, 1);
    for (auto _ : state) benchmark::DoNotOptimize(codec.diag.SdramTest(0x1000000, 64, 2, 1));
}
BENCHMARK(DiagSdramAddress)->Unit(benchmark::kMillisecond);

// "VelkoDrun_IB" over the whole frame: a pattern below 0x10000 matches, so all 311,040 port reads
// (each behind a status poll) run.
void VelkoDrunInbound(benchmark::State& state) {
    Codec codec;
    auto* board = dynamic_cast<CWexalBoardDevice*>(g_WexalHW->GetDevice("Nuxa1"));
    CJastel jastel("CJastel");
    jastel.SetControllerRegisters(board->GetControllerRegisters());
    CSorbelinDiag diag(&codec.dsp, &codec.bridge, &jastel, "CSorbelinDiagA");
    support::SelectCodecBoard(diag);
    std::vector<DWORD> zero(4096, 0);
    diag.SetPatternBuffer(&zero);
    CString image((std::string(PEX_TESTDATA_DIR) + "/oxd/SDIA0202.oxd").c_str());
    codec.dsp.ProgramFPGA(image, 1);
    for (auto _ : state) benchmark::DoNotOptimize(diag.VelkoDrunInbound(28));
    state.SetItemsProcessed(state.iterations() * 311040);
}
BENCHMARK(VelkoDrunInbound)->Unit(benchmark::kMillisecond);

}  // namespace
