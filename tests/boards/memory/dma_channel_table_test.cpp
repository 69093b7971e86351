// Tests of the channel disabler on the rig's channel control registers.
#include "boards/memory/dma_channel_table.h"

#include <gtest/gtest.h>

#include <array>

#include "tests/boards/memory/memory_rig.h"

namespace {

// The disabler over Brimola1's control registers, driven by a table; Bit0 reads a channel's enable.
struct Channels {
    explicit Channels(const DMAChannelInfo* table = g_DMAChannelTable) : disabler(table) {
        disabler.Clear();
        disabler.Init(RegisterPtr(Window(), CDMAControlChannels::kControlBase), RegisterPtr());
    }
    static CRegisterWindow* Window() { return support::RigBoard("Brimola1")->GetRegisters().Window(); }
    static DWORD Bit0(int c) { return Window()->Read(CDMAControlChannels::kControlBase + 4 * c) & 1; }
    static void Set(int c, DWORD v) { Window()->Write(CDMAControlChannels::kControlBase + 4 * c, v); }
    CDMAControlChannels disabler;
    support::RecordingTest out;
};

bool Present(int channel) { return g_DMAChannelTable[channel].present != 0; }

TEST(DMAChannelTable, AStuckEnableIsReportedAndLeftAloneAndRestoreRunsOnce) {
    // BAUDIOOUT (20) cannot be disabled; the absent channel 7 reads enabled but is none of the test's.
    support::ScopedRig rig(memtest::MainBoardRig(R"([
        {"kind": "register_stuck_bit", "board": "Brimola1", "offset": "0x58050", "bit": 0, "value": 1},
        {"kind": "register_stuck_bit", "board": "Brimola1", "offset": "0x5801C", "bit": 0, "value": 1}])"));
    Channels c;
    EXPECT_FALSE(c.disabler.DisableAll(&c.out));
    EXPECT_TRUE(memtest::HasAll(c.out.out.text, {" Error on channel 20 (BAUDIOOUT): Unable to disable this channel.\n",
                                                 " Done - 46 channels ready for the test.\n"}));
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(c.disabler.IsReady(i), Present(i) && i != 20) << i;
        EXPECT_EQ(c.Bit0(i), DWORD{i == 20 || i == 7}) << i;
    }
    c.disabler.RestoreAll(&c.out);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(c.Bit0(i), DWORD{Present(i) || i == 7}) << i;
    c.Set(12, 0);
    c.disabler.RestoreAll(&c.out);
    EXPECT_EQ(c.Bit0(12), 0u) << "a second restore writes nothing";
}

TEST(DMAChannelTable, DisableProofRowsAndBadRowsOfAnotherTable) {
    // Channel 4 reads disabled whatever is written.
    support::ScopedRig rig(memtest::MainBoardRig(
        R"([{"kind": "register_stuck_bit", "board": "Brimola1", "offset": "0x58010", "bit": 0, "value": 0}])"));
    std::array<DMAChannelInfo, 64> table;
    for (int i = 0; i < 64; ++i) table[i] = {i, "unused", 0, 1, -1};
    table[3] = {3, "PROOF", 1, 0, 0};
    table[4] = {4, "FALLS", 1, 0, 0};
    table[5] = {7, "WRONG", 1, 1, 0};
    Channels c(table.data());
    c.Set(3, 0);
    EXPECT_FALSE(c.disabler.DisableAll(&c.out));
    EXPECT_EQ(std::tuple(!!c.disabler.IsReady(3), c.Bit0(3), c.disabler.GetSaved(3) & 1), std::tuple(true, 1u, 1u));
    EXPECT_TRUE(memtest::HasAll(c.out.out.text, {" Error on channel 4 (FALLS): Disable-proof channel appears disabled.\n",
                                                 " Error on channel 5 (WRONG): SW fault - invalid table entry.\n",
                                                 " Done - 1 channels ready for the test.\n"}));
    c.disabler.RestoreAll(&c.out);
    EXPECT_EQ(c.Bit0(3), 1u);  // a disable-proof channel ends enabled
    CDMAControlChannels none;
    none.Clear();
    none.Init(RegisterPtr(), RegisterPtr());
    EXPECT_FALSE(none.DisableAll(&c.out));
    EXPECT_TRUE(c.out.out.Has("No BAR0 register mapping"));
    EXPECT_FALSE(none.IsReady(12));
}

}  // namespace
