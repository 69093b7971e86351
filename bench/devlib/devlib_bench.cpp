// SDRAM fill and compare through the SDRAM space and a host-to-SDRAM DMA, each beside memcpy over the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "devlib/devices.h"
#include "devlib/rig.h"
#include "devlib/wexal_spaces.h"

namespace {

constexpr DWORD kChunk = 0x400000;  // the most one SDRAM call moves

CWexalBoardDevice* MainBoard() { return dynamic_cast<CWexalBoardDevice*>(GetZorvHardware()->GetDevice("Brimola1")); }

// Writes `bytes` of a pattern to SDRAM in 4 MiB calls, as a memory fill test does.
void BM_SdramFill(benchmark::State& state) {
    const DWORD bytes = static_cast<DWORD>(state.range(0));
    CWexalSDRAMSpace* s = MainBoard()->GetSDRAMSpace();
    std::vector<DWORD> pattern(kChunk / 4, 0xA5A5A5A5);
    for (auto _ : state) {
        for (DWORD at = 0; at < bytes; at += kChunk) benchmark::DoNotOptimize(s->Set(pattern.data(), at, static_cast<int>(kChunk)));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}

// Reads SDRAM back in 4 MiB calls and compares with the pattern, as a memory compare test does.
void BM_SdramCompare(benchmark::State& state) {
    const DWORD bytes = static_cast<DWORD>(state.range(0));
    CWexalSDRAMSpace* s = MainBoard()->GetSDRAMSpace();
    std::vector<DWORD> pattern(kChunk / 4, 0x5A5A5A5A), back(kChunk / 4);
    for (DWORD at = 0; at < bytes; at += kChunk) s->Set(pattern.data(), at, static_cast<int>(kChunk));
    for (auto _ : state) {
        int differ = 0;
        for (DWORD at = 0; at < bytes; at += kChunk) {
            s->Get(back.data(), at, static_cast<int>(kChunk));
            differ += std::memcmp(back.data(), pattern.data(), kChunk) != 0;
        }
        benchmark::DoNotOptimize(differ);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}

// The same bytes moved by memcpy between two host buffers: the machine's own rate.
void BM_MemcpyReference(benchmark::State& state) {
    const size_t bytes = static_cast<size_t>(state.range(0));
    std::vector<char> a(bytes, 1), b(bytes, 0);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

// One DCB on PCI channel 16 through a page table of 128 KiB entries, completed at the status read.
void BM_DmaHostToSdram(benchmark::State& state) {
    const DWORD bytes = static_cast<DWORD>(state.range(0));
    CWexalBoardDevice* b = MainBoard();
    CHostPCDevice* host = GetZorvHardware();
    void* data = nullptr;
    void* table = nullptr;
    LARGE_INTEGER bus{}, tableBus{};
    host->Malloc(bytes, &data, &bus);
    const DWORD entries = bytes / 0x20000;
    host->Malloc(entries * 16, &table, &tableBus);
    std::memset(data, 0x3C, bytes);
    auto* e = static_cast<DWORD*>(table);
    for (DWORD i = 0; i < entries; ++i) {
        e[4 * i] = bus.u.LowPart + i * 0x20000;
        e[4 * i + 1] = static_cast<DWORD>(bus.u.HighPart);
        e[4 * i + 2] = 0x20000;
        e[4 * i + 3] = 0;
    }
    RegisterPtr regs = b->GetRegisters();
    regs[0x70000 / 4] = 1u << 29;
    CWexalDMAChannel* ch = b->GetDMAChannel(16);
    // bytes / 4 DWORDs as lines of 4096 with one initial line.
    const DWORD lines = bytes / 4 / 4096 - 1;
    DWORD dcb[8] = {0, 1u << 16, 0, lines << 16 | 4096, 4096, 0, tableBus.u.LowPart, static_cast<DWORD>(tableBus.u.HighPart)};
    DWORD live[8];
    for (auto _ : state) {
        ch->SetDCBWords(1, dcb);
        ch->Trigger(1);
        ch->GetDCBWords(0, live);
        if (live[3] != 0) state.SkipWithError("transfer did not complete");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
    host->Free(data);
    host->Free(table);
}

}  // namespace

BENCHMARK(BM_SdramFill)->Arg(64 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SdramCompare)->Arg(64 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DmaHostToSdram)->Arg(16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyReference)->Arg(16 << 20)->Arg(64 << 20)->Unit(benchmark::kMillisecond);
