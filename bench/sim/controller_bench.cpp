// Real-time cost of the board controller model: a board's power-up, a flash block programmed through the port, the BAR0 mirror.
#include <benchmark/benchmark.h>

#include <chrono>
#include <iterator>

#include "bench/memcpy_baseline.h"

#include "platform/clock.h"
#include "sim/controller.h"
#include "sim/register_map.h"

namespace {

sim::BoardConfig Main() { return sim::DefaultBoard(sim::BoardKind::Brimola, "Brimola1"); }

// What every rig load pays per board: the healthy flash contents and the boot choice.
void BM_BoardControllerPowerUp(benchmark::State& state) {
    const sim::BoardConfig cfg = Main();
    for (auto _ : state) {
        sim::BoardController c(cfg);
        benchmark::DoNotOptimize(c.Booted());
    }
}
BENCHMARK(BM_BoardControllerPowerUp);

// One 0x10000-word block erased and programmed in 16-word buffered writes through the controller's
// address and data registers, with the status polls the flash access code makes.
void BM_ProgramBlockThroughThePort(benchmark::State& state) {
    sim::BoardController c(Main());
    sim::RegisterMap map;
    c.Attach(map);
    auto cmd = [&](uint32_t a, uint32_t v) {
        map.Write(0x4008, a);
        map.Write(0x400C, v);
    };
    auto waitReady = [&](uint32_t a) {
        for (;;) {
            cmd(a, 0x70);
            map.Write(0x4008, a);
            if (map.Read(0x400C) & 0x80) return;
            LONGLONG t;
            QueryPerformanceCounter(&t);
        }
    };
    const uint32_t block = 0x3C0000;
    for (auto _ : state) {
        cmd(block, 0x20);
        cmd(block, 0xD0);
        waitReady(block);
        for (uint32_t a = block; a < block + 0x10000; a += 16) {
            cmd(a, 0xE8E8);
            cmd(a, 0x0F0F);
            for (uint32_t i = 0; i < 16; ++i) cmd(a + i, 0x1234);
            cmd(a, 0xD0);
            waitReady(a);
        }
        cmd(0, 0x50);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 0x20000);
}
BENCHMARK(BM_ProgramBlockThroughThePort)->Unit(benchmark::kMillisecond);

// The controller test's compare: the 16 KiB of the EXP and VPD mirror read through the register
// window, beside memcpy of the same bytes.
void BM_MirrorRead(benchmark::State& state) {
    sim::BoardController c(Main());
    sim::RegisterMap map;
    c.Attach(map);
    uint32_t mirror[0x4000 / 4];
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        map.ReadBlock(0, mirror, std::size(mirror));
        benchmark::DoNotOptimize(mirror);
        benchmark::ClobberMemory();
    }
    bench::ReportBesideMemcpy(state, 0x4000, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}
BENCHMARK(BM_MirrorRead);

}  // namespace
