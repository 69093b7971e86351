// Byte order, timers on the virtual clock, and how a process picks its rig from PEXANO_RIG.
#include "devlib/utility.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "devlib/perf_list.h"
#include "platform/clock.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(Utility, SwapBytes) { EXPECT_EQ(SwapBytes(0x12345678u), 0x78563412u); }

TEST(PerformanceList, StampsDeadlinesIntervalsAndTheRigThatTheEnvironmentPicks) {
    CPerformanceList p;
    EXPECT_FALSE(p.Keep()) << "no room before Init";
    ASSERT_TRUE(p.Init(2));
    p.Keep();
    Sleep(12);
    EXPECT_TRUE(p.Keep() && !p.Keep()) << "two stamps, then full";
    const LONGLONG ns = p.GetNanoInterval(0, 1);
    EXPECT_TRUE(ns >= 12'000'000 && ns < 12'010'000) << ns;
    EXPECT_EQ(p.GetNanoInterval(0, 2) + p.GetMark(-1), 0) << "outside the stamps";
    char *micro = p.IncrementStringMicro3(0, 1), want[32];
    std::snprintf(want, sizeof want, "%lld.%03lld", static_cast<long long>(ns / 1000), static_cast<long long>(ns % 1000));
    EXPECT_STREQ(micro, want);
    std::free(micro);
    EXPECT_EQ(p.SetMilliTimeout(5, 0), p.GetMark(0) + 5 * kPerfFrequency / 1000) << "relative to a stamp";
    p.SetMilliTimeout(10, -1);
    EXPECT_FALSE(p.IsTimeout());
    Sleep(11);
    EXPECT_TRUE(p.IsTimeout());
    // 1000 deadline checks between two stamps: their cost comes out of the interval; each one moves the clock.
    p.Clear();
    p.Init(2);
    p.SetMilliTimeout(500, -1);
    p.Keep();
    for (int i = 0; i < 1000; ++i) (void)p.IsTimeout();
    p.Keep();
    const LONGLONG raw = p.GetMark(1) - p.GetMark(0), perCheck = p.AdjustForTimeoutChecks(1000);
    EXPECT_GT(perCheck, 0);
    EXPECT_EQ(p.GetMark(1) - p.GetMark(0), raw - 1000 * perCheck);
    // How a process picks its rig: the environment, and a bad file stops it.
    support::TempDir dir;
    const struct { std::string rig, out, error; int status; } rows[] = {
        {dir.Write("one.json", R"({"boards": [{"tag": "Brimola7", "kind": "brimola"}]})"), "Brimola7\n", "", 0},
        {"", "Brimola1\nNuxa1\n", "", 0},
        {dir.Write("bad.json", R"({"boards": [{"tag": "B1", "kind": "brimola", "sdram_mib": 9999}]})"), "", dir / "bad.json\": key \"boards[0].sdram_mib\"", 2},
        {dir / "missing.json", "", "missing.json", 2},
    };
    for (const auto& row : rows) {
        const support::ProgramRun probe = support::RunProgram({RIG_PROBE}, "", {{"PEXANO_RIG", row.rig}});
        EXPECT_EQ(probe.status, row.status) << row.rig << "\n" << probe.err;
        EXPECT_EQ(probe.out, row.out) << row.rig;
        EXPECT_TRUE(row.error.empty() ? probe.err.empty() : probe.err.find(row.error) != std::string::npos) << probe.err;
    }
}

}  // namespace
