// Board memory transfers and paged DMA buffer copies over 64 MiB, beside memcpy over the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "devlib/devices.h"
#include "framework/hw/paged_memory.h"
#include "framework/tree_map_tb.h"

namespace {

constexpr DWORD kAddress = 0x01000000;
constexpr DWORD kBytes = 64u << 20;

class BenchTest : public CWexalTreeMapTB {
public:
    BenchTest() : CWexalTreeMapTB("CBench") {}
    DWORD Run(CString) override { return kRunPassed; }
};

// WriteMemory then ReadMemory of 64 MiB in 4 MiB pieces.
void BM_WriteReadMemory(benchmark::State& state) {
    BenchTest test;
    if (test.SetupDevice("Brimola1") != kRunPassed) {
        state.SkipWithError("no main board on the rig");
        return;
    }
    std::vector<char> host(kBytes, 0x5A), back(kBytes);
    for (auto _ : state) {
        if (!test.WriteMemory(host.data(), kAddress, kBytes) || !test.ReadMemory(kAddress, back.data(), kBytes)) {
            state.SkipWithError("transfer failed on a healthy board");
            break;
        }
        benchmark::DoNotOptimize(back.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 * kBytes);
}

// ClearSDRAM of 64 MiB.
void BM_ClearSDRAM(benchmark::State& state) {
    BenchTest test;
    if (test.SetupDevice("Brimola1") != kRunPassed) {
        state.SkipWithError("no main board on the rig");
        return;
    }
    for (auto _ : state)
        if (!test.ClearSDRAM(kAddress, kBytes, 0)) state.SkipWithError("clear failed on a healthy board");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytes);
}

// CopyIn, Compare and CopyOut of a 64 MiB buffer in 128 KiB pages.
void BM_PagedBufferCopies(benchmark::State& state) {
    CPagedBuffer buffer(GetZorvHardware(), kBytes, CPagedBuffer::kMaxEntryBytes, CPagedBuffer::kMaxEntryBytes);
    if (!buffer.GetPageTable().IsValid()) {
        state.SkipWithError("no host DMA memory");
        return;
    }
    std::vector<BYTE> flat(kBytes, 0xA5), back(kBytes);
    for (auto _ : state) {
        if (!buffer.CopyIn(flat.data(), static_cast<int>(kBytes)) || !buffer.Compare(flat.data(), kBytes) ||
            !buffer.CopyOut(back.data(), static_cast<int>(kBytes))) {
            state.SkipWithError("copy failed");
            break;
        }
        benchmark::DoNotOptimize(back.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 3 * kBytes);
}

// memcpy in, memcmp and memcpy out over the same amounts of plain memory.
void BM_FlatMemcpy(benchmark::State& state) {
    std::vector<BYTE> flat(kBytes, 0xA5), middle(kBytes), back(kBytes);
    for (auto _ : state) {
        std::memcpy(middle.data(), flat.data(), kBytes);
        benchmark::DoNotOptimize(std::memcmp(middle.data(), flat.data(), kBytes));
        std::memcpy(back.data(), middle.data(), kBytes);
        benchmark::DoNotOptimize(back.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 3 * kBytes);
}

BENCHMARK(BM_WriteReadMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClearSDRAM)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PagedBufferCopies)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatMemcpy)->Unit(benchmark::kMillisecond);

}  // namespace
