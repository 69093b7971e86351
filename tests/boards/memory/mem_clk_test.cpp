// Tests of the memory clock calibration: window choice, the sweep on rigs, manual setting and the delta check.
#include "boards/memory/mem_clk.h"

#include <gtest/gtest.h>

#include "tests/boards/memory/memory_rig.h"

namespace {

using memtest::MainBoardRig;
using memtest::RootOnRig;

constexpr DWORD kStoredClock = 0x613E0;

DWORD Choose(const std::vector<std::pair<int, int>>& results, DWORD* start = nullptr, DWORD* end = nullptr) {
    int table[256];
    std::fill(std::begin(table), std::end(table), -1);
    int lo = 255, hi = 0;
    for (auto [c, r] : results) {
        table[c] = r;
        lo = std::min(lo, c);
        hi = std::max(hi, c);
    }
    mem_clk::Window w{};
    if (!mem_clk::ChooseWindow(mem_clk::FindWindows(table, lo, hi), w)) return 0;
    if (start) *start = w.start;
    if (end) *end = w.start + w.length - 1;
    return mem_clk::WindowCentre(w);
}

TEST(MemClk, WindowChoice) {
    DWORD start = 0, end = 0;
    // P P F P P P F at 100..106.
    EXPECT_EQ(Choose({{100, 1}, {101, 1}, {102, 2}, {103, 1}, {104, 1}, {105, 1}, {106, 2}}, &start, &end), 104u);
    EXPECT_EQ(start, 103u);
    EXPECT_EQ(end, 105u);
    // Equal windows: the lowest one.
    EXPECT_EQ(Choose({{100, 1}, {101, 1}, {102, 2}, {110, 1}, {111, 1}}), 100u);
    std::vector<std::pair<int, int>> wide;
    for (int c = 100; c <= 151; ++c) wide.emplace_back(c, 1);
    EXPECT_EQ(Choose(wide), 125u);
    // A stopped run (3) never belongs to a window.
    EXPECT_EQ(Choose({{100, 1}, {101, 3}, {102, 1}, {103, 1}}, &start, &end), 102u);
    EXPECT_EQ(start, 102u);
    EXPECT_EQ(Choose({{100, 2}, {101, 3}}), 0u);
}

TEST(MemClk, StartUpCalibrationIsQuietAndStoresTheClock) {
    RootOnRig rig(MainBoardRig());
    EXPECT_NE(rig.startup.find("Brimola Revisions:\n"), std::string::npos) << rig.startup;
    EXPECT_EQ(rig.startup.find("Clock Window"), std::string::npos);
    EXPECT_EQ(rig.startup.find("Start Testing"), std::string::npos);
    EXPECT_EQ(rig.Bar0(kStoredClock), 160u);  // the middle of the rig's window 110..210

    RootOnRig engineering(MainBoardRig(), "-ENGINEERING");
    EXPECT_NE(engineering.startup.find("Clock Window Begins: 110 Clock Window Ends: 210\nSetting clock value to 160\n"),
              std::string::npos)
        << engineering.startup;
    EXPECT_EQ(engineering.startup.find("Start Testing"), std::string::npos);
}

TEST(MemClk, ClockTestArgumentsAndSweep) {
    RootOnRig rig(MainBoardRig());
    const std::string cmd = " CMD=(CWexal Random Memory Test VERBOSE=0)";
    EXPECT_EQ(rig.Run("mem_clk Clock Test MIN=89 MAX=200" + cmd), 2u);
    EXPECT_EQ(rig.Run("mem_clk Clock Test MIN=90 MAX=256" + cmd), 2u);
    EXPECT_TRUE(rig.Has("MAX_VALUE must not be greater than 255\n"));
    EXPECT_EQ(rig.Run("mem_clk Clock Test MIN=200 MAX=199" + cmd), 2u);
    EXPECT_TRUE(rig.Has("MIN_VALUE greater than max value\n"));
    EXPECT_EQ(rig.Run("mem_clk Clock Test MIN=90 MAX=200"), 2u);
    EXPECT_TRUE(rig.Has("Missing CMD Test String\n"));
    EXPECT_EQ(rig.Run("mem_clk Clock Tset"), 2u);
    EXPECT_TRUE(rig.Has("Invalid Test"));

    // One setting only.
    EXPECT_EQ(rig.Run("mem_clk Clock Test MIN=150 MAX=150" + cmd), 1u) << rig.text;
    EXPECT_TRUE(rig.Has("\n150: P\n"));
    EXPECT_TRUE(rig.Has("Setting clock value to 150"));

    // The whole range with a second pass over the first pass's window only.
    EXPECT_EQ(rig.Run("mem_clk Clock Test MIN=90 MAX=255 ShrinkLoop=2" + cmd), 1u);
    EXPECT_TRUE(rig.Has("\n090: F, F, F, F, F, F, F, F, F\n"));
    EXPECT_TRUE(rig.Has("\n108: F, F, P, P, P"));
    EXPECT_TRUE(rig.Has("\n110: P, P"));  // the second pass starts at the window
    EXPECT_TRUE(rig.Has("... Done ...\n"));
    EXPECT_EQ(rig.Bar0(kStoredClock), 160u);
}

TEST(MemClk, NoGoodWindowIsReported) {
    RootOnRig rig(MainBoardRig(R"([{"kind": "clock_no_window", "board": "Brimola1"}])"));
    EXPECT_EQ(rig.Bar0(kStoredClock), 168u);  // the start-up calibration found none either
    EXPECT_EQ(rig.Run("mem_clk Clock Test MIN=100 MAX=120 CMD=(CWexal Random Memory Test)"), 2u);
    EXPECT_TRUE(rig.Has("\nUnable to calculate a valid clock value\n"));
    EXPECT_EQ(rig.Bar0(kStoredClock), 168u);
    // Every SDRAM read now fails now and then: the random test sees it.
    EXPECT_EQ(rig.Run("CWexal Random Memory Test"), 2u);
}

TEST(MemClk, SetDisplayAndDeltaClock) {
    // Window 120..150: the calibration chooses 135.
    RootOnRig rig(MainBoardRig("[]", R"(, "memory_clock": {"window_low": 120, "window_high": 150})"));
    EXPECT_EQ(rig.Run("mem_clk Set Clock CLK=89"), 2u);
    EXPECT_TRUE(rig.Has("Invalid Clock Setting\nMust be between 90 and 255\n"));
    EXPECT_EQ(rig.Run("mem_clk Set Clock CLK=256"), 2u);
    EXPECT_EQ(rig.Run("mem_clk Set Clock"), 2u);
    EXPECT_TRUE(rig.Has("Missing CLK setting"));
    EXPECT_EQ(rig.Run("mem_clk Set Clock CLK=120"), 1u);
    EXPECT_EQ(rig.Bar0(kStoredClock), 120u);
    EXPECT_EQ(rig.Run("mem_clk Display Clock"), 1u);
    EXPECT_TRUE(rig.Has("OldClockSetting = 135\nSaved Clock Value = 120\n")) << rig.text;

    // A power-up run takes the old clock from the stored word: 120 against the new 135.
    EXPECT_EQ(rig.Run("mem_clk Clock Test PWRUP=1 MIN=90 MAX=250 CMD=(CWexal Random Memory Test)"), 1u);
    EXPECT_EQ(rig.Run("mem_clk Delta Clock Test"), 2u);
    EXPECT_TRUE(rig.Has("Old Clock value = 120 New Clock value = 135 Clock delta = 10\n"));
    EXPECT_TRUE(rig.Has("exceeds the clock delta 10\n"));

    RootOnRig close(MainBoardRig("[]", R"(, "memory_clock": {"window_low": 120, "window_high": 140})"));
    EXPECT_EQ(close.Run("mem_clk Set Clock CLK=120"), 1u);
    EXPECT_EQ(close.Run("mem_clk Clock Test PWRUP=1 MIN=90 MAX=250 CMD=(CWexal Random Memory Test)"), 1u);
    EXPECT_EQ(close.Run("mem_clk Delta Clock Test"), 1u);  // a difference equal to the delta passes
    EXPECT_TRUE(close.Has("Old Clock value = 120 New Clock value = 130"));
}

TEST(MemClk, WithoutParentOrBoard) {
    memtest::TakeText();
    mem_clk orphan("mem_clk", nullptr);
    EXPECT_EQ(orphan.Run("Display Clock"), 2u);
    EXPECT_EQ(memtest::TakeText(), "mem_clk:  Parent is NULL\n");
    support::RecordingTreeTest parent("CRoot");
    ASSERT_TRUE(parent.RegisterSelf());
    orphan.SetParent(&parent);
    EXPECT_EQ(orphan.Run("Clock Test MIN=90 MAX=100 CMD=(x)"), 2u);
    EXPECT_EQ(memtest::TakeText(), "BrimolaBAR0 and PNuxaBAR0 not setup");
    orphan.Help("INVALID Foo");
    EXPECT_EQ(memtest::TakeText(), "\n\nERROR:  mem_clk\n\" Foo\"\n Not recognized as a valid test\n");
}

}  // namespace
