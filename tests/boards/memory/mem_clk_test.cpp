// Tests of the memory clock calibration: window choice, the sweep on rigs, manual setting, the delta
// check and the board's store of the clock word.
#include "boards/memory/mem_clk.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_identity.h"
#include "sim/rig.h"
#include "tests/boards/memory/memory_rig.h"

namespace {

using memtest::MainBoardRig;
using memtest::RootOnRig;

constexpr DWORD kStoredClock = 0x613E0;

TEST(MemClk, WindowChoice) {
    // {name, (setting, run result) from the lowest setting up, {centre, first, last}: none when empty}
    const std::tuple<const char*, std::vector<std::pair<int, int>>, std::vector<DWORD>> cases[] = {
        {"the widest window", {{100, 1}, {101, 1}, {102, 2}, {103, 1}, {104, 1}, {105, 1}, {106, 2}}, {104, 103, 105}},
        {"equal windows: the lowest", {{100, 1}, {101, 1}, {102, 2}, {110, 1}, {111, 1}}, {100, 100, 101}},
        {"a stopped run (3) is no pass", {{100, 1}, {101, 3}, {102, 1}, {103, 1}}, {102, 102, 103}},
        {"an even width rounds down", {{100, 1}, {101, 1}, {102, 1}, {103, 1}, {104, 2}}, {101, 100, 103}},
        {"none", {{100, 2}, {101, 3}}, {}},
    };
    for (const auto& [name, results, expected] : cases) {
        int table[256];
        std::fill(std::begin(table), std::end(table), -1);
        for (auto [setting, result] : results) table[setting] = result;
        mem_clk::Window w{};
        std::vector<DWORD> got;
        if (mem_clk::ChooseWindow(mem_clk::FindWindows(table, results.front().first, results.back().first), w))
            got = {mem_clk::WindowCentre(w), w.start, w.start + w.length - 1};
        EXPECT_EQ(got, expected) << name;
    }
}

TEST(MemClk, ClockTestArgumentsAndSweep) {
    RootOnRig rig(MainBoardRig());
    EXPECT_EQ(rig.Bar0(kStoredClock), 160u);  // the middle of the rig's window 110..210
    const std::string cmd = " CMD=(CWexal Random Memory Test VERBOSE=0)";
    const std::pair<std::string, const char*> refused[] = {
        {"Clock Test MIN=89 MAX=200" + cmd, ""},
        {"Clock Test MIN=90 MAX=256" + cmd, "MAX_VALUE must not be greater than 255\n"},
        {"Clock Test MIN=200 MAX=199" + cmd, "MIN_VALUE greater than max value\n"},
        {"Clock Test MIN=90 MAX=200", "Missing CMD Test String\n"},
        {"Clock Tset", "Invalid Test"},
    };
    for (const auto& [command, message] : refused) EXPECT_TRUE(rig.Gives("mem_clk " + command, 2, {message}));
    // The whole range with a second pass over the first pass's window only.
    EXPECT_TRUE(rig.Gives("mem_clk Clock Test MIN=90 MAX=255 ShrinkLoop=2" + cmd, 1, {"\n108: F, F, P, P, P"}));
}

TEST(MemClk, NoGoodWindowIsReported) {
    RootOnRig rig(MainBoardRig(R"([{"kind": "clock_no_window", "board": "Brimola1"}])"));
    EXPECT_EQ(rig.Bar0(kStoredClock), 168u);  // the start-up calibration found none either
    EXPECT_TRUE(rig.Gives("mem_clk Clock Test MIN=100 MAX=120 CMD=(CWexal Random Memory Test)", 2,
                          {"\nUnable to calculate a valid clock value\n"}));
}

TEST(MemClk, SetDisplayAndDeltaClock) {
    // Window 120..150: the calibration chooses 135.
    RootOnRig rig(MainBoardRig("[]", R"(, "memory_clock": {"window_low": 120, "window_high": 150})"));
    for (const char* refused : {"CLK=89", "CLK=256", ""}) EXPECT_EQ(rig.Run(std::string("mem_clk Set Clock ") + refused), 2u);
    EXPECT_TRUE(rig.Has("Missing CLK setting"));
    // The setting has no read-back: 256 up-steps and 255 - CLK down-steps must land on CLK exactly,
    // so the window's edges pass a memory test and the settings just outside fail it.
    const std::pair<int, DWORD> edges[] = {{119, 2}, {151, 2}, {150, 1}, {120, 1}};
    for (const auto& [clk, result] : edges) {
        EXPECT_EQ(rig.Run("mem_clk Set Clock CLK=" + std::to_string(clk)), 1u);
        EXPECT_EQ(rig.Run("RAMblock RAMblockWR 0x0-0xFFF"), result) << "CLK=" << clk << "\n" << rig.text;
    }
    EXPECT_EQ(rig.Bar0(kStoredClock), 120u);
    EXPECT_TRUE(rig.Gives("mem_clk Display Clock", 1, {"OldClockSetting = 135\nSaved Clock Value = 120\n"}));
    // A power-up run takes the old clock from the stored word: 120 against the new 135.
    const std::string powerUp = "mem_clk Clock Test PWRUP=1 MIN=90 MAX=250 CMD=(CWexal Random Memory Test)";
    EXPECT_EQ(rig.Run(powerUp), 1u);
    EXPECT_TRUE(rig.Gives("mem_clk Delta Clock Test", 2, {"Old Clock value = 120 New Clock value = 135 Clock delta = 10\n"}));
    RootOnRig close(MainBoardRig("[]", R"(, "memory_clock": {"window_low": 120, "window_high": 140})"));
    EXPECT_EQ(close.Run("mem_clk Set Clock CLK=120"), 1u);
    EXPECT_EQ(close.Run(powerUp), 1u);
    EXPECT_EQ(close.Run("mem_clk Delta Clock Test"), 1u);  // a difference equal to the delta passes
}

// An operator's counts of runs and passes end at the host's stop request (here while the clock is
// stepped to the pass's first setting), before the next run of the command: result 3, and the
// clock goes back to the stored setting instead of staying where the sweep left it.
TEST(MemClk, TheSweepEndsAtTheStopRequestAndPutsTheClockBack) {
    const std::string cmd = " CMD=(CWexal Random Memory Test VERBOSE=0)";
    // A pass moves the bar through 256 up-steps, 255 - MIN down-steps and then one position per
    // setting run; the stop comes 10 steps into a pass, whose stepping still ends.
    const auto stepping = [](size_t min) { return 256 + 255 - min; };
    const struct { const char* name; std::string command; size_t stopAfter, moves; } rows[] = {
        {"runs at one setting", "mem_clk Clock Test MIN=90 MAX=90 TestLoop=1000000" + cmd, 10, stepping(90)},
        {"passes", "mem_clk Clock Test MIN=150 MAX=150 ShrinkLoop=1000000" + cmd, 3 * (stepping(150) + 1) + 10,
         4 * stepping(150) + 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RootOnRig rig(MainBoardRig());
        EXPECT_EQ(rig.Run("mem_clk Set Clock CLK=120"), 1u);
        memtest::StoppingProgressBar bar(row.stopAfter);
        EXPECT_TRUE(rig.Gives(row.command, 3, {"\nStopped by User\n"}));
        EXPECT_EQ(bar.positions.size(), row.moves) << "no setting ran after the stop";
        EXPECT_EQ(devlib::CurrentRig()->Boards()[0]->Fpga().MemClock().Setting(), 120);
        EXPECT_EQ(rig.Bar0(kStoredClock), 120u);
    }
}

TEST(MemClk, TheStoreReadsDecimalAndSaysWhenItCannotBeReadOrWritten) {
    support::TempDir dir;
    // {contents (null: a folder that goes after the rig was read), the role the store is protected
    // under before the board starts (none: ""), the old clock then displayed, the warning on stderr
    // if any, what the store holds after the calibration}
    // A store is a few bytes: blanks before its word, or blanks alone, up to 255 of them.
    const std::string lateWord = std::string(200, '\n') + "010\n", blanks(255, ' ');
    const struct { const char* contents; std::string role; const char *old, *warning, *after; } stores[] = {
        {"010\n", "", "OldClockSetting = 10\n", "", "0x000000A0\n"},
        {lateWord.c_str(), "", "OldClockSetting = 10\n", "", "0x000000A0\n"},
        {blanks.c_str(), "", "OldClockSetting = 160\n", "holds \"\", not a clock word", "0x000000A0\n"},
        {"0x0000008C\n", "", "OldClockSetting = 140\n", "", "0x000000A0\n"},
        // As never calibrated; a store that holds anything but a word is no store (the rig is refused).
        {" \n", "", "OldClockSetting = 160\n", "holds \"\", not a clock word", "0x000000A0\n"},
        {nullptr, "", "", "cannot be written; the clock word 0x000000A0 is not kept", ""},
        // The store's own role keeps no one but the others from it; a file the run depends on
        // otherwise stays as it was, and the word is kept in the board.
        {"010\n", sim::MemoryClockStoreRole("Brimola1"), "OldClockSetting = 10\n", "", "0x000000A0\n"},
        {"010\n", "the rig file", "OldClockSetting = 10\n", "clk.txt is the rig file, which this run must not write over", "010\n"},
    };
    for (const auto& [contents, role, old, warning, after] : stores) {
        SCOPED_TRACE(role + (contents ? contents : "none"));
        std::filesystem::remove(dir.File("clk.link"));
        if (contents) dir.Write("clk.txt", contents);
        const std::string store = contents ? dir.File("clk.txt") : dir.MakeDir("going") + "/clk.txt";
        // A second name of the old store: a store replaced whole leaves it the old word.
        if (contents) std::filesystem::create_hard_link(store, dir.File("clk.link"));
        if (!role.empty()) platform::ProtectFile(store, role);
        testing::internal::CaptureStderr();
        RootOnRig rig(MainBoardRig("[]", R"(, "memory_clock": {"store": ")" + store + R"("})"), "",
                      [&] { std::filesystem::remove_all(dir.File("going")); });
        const std::string err = testing::internal::GetCapturedStderr();
        platform::ClearProtectedFiles();
        EXPECT_EQ(err.find(*warning ? warning : "clock word") != std::string::npos, *warning != 0) << err;
        if (!contents) continue;
        EXPECT_TRUE(rig.Gives("mem_clk Display Clock", 1, {old}));
        EXPECT_EQ(dir.Read("clk.txt"), after);  // the calibration stored 160
        EXPECT_EQ(dir.Read("clk.link"), contents);
        EXPECT_EQ(rig.Bar0(kStoredClock), 160u);
    }
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
}

}  // namespace
