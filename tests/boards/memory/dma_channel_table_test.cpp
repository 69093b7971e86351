// Tests of the DMA channel table and the channel disabler, on the rig and on a register block of chosen bits.
#include "boards/memory/dma_channel_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "tests/boards/memory/memory_rig.h"

namespace {

// The 64 channel control registers at BAR0 0x58000, holding any bits (the rig's keep only bit 0) and
// able to hold bit 0 stuck at 0 on a disable-proof row, which the rig's table has none of.
class ControlRegisters : public CRegisterWindow {
public:
    DWORD Read(DWORD offset) override {
        const int c = Channel(offset);
        DWORD v = words[c];
        if (stuck[c] >= 0) v = (v & ~1u) | static_cast<DWORD>(stuck[c]);
        return v;
    }
    void Write(DWORD offset, DWORD value) override {
        ++writes;
        words[Channel(offset)] = value;
    }
    DWORD Size() const override { return 0x58100; }
    RegisterPtr Base() { return RegisterPtr(this, CDMAControlChannels::kControlBase); }

    std::array<DWORD, 64> words{};
    std::array<int, 64> stuck = Unstuck();
    int writes = 0;

private:
    static std::array<int, 64> Unstuck() {
        std::array<int, 64> a;
        a.fill(-1);
        return a;
    }
    static int Channel(DWORD offset) { return static_cast<int>((offset - CDMAControlChannels::kControlBase) / 4) & 63; }
};

TEST(DMAChannelTable, RowsAsTheFpgaHasThem) {
    int present = 0;
    for (int i = 0; i < kDMAChannelCount; ++i) {
        const DMAChannelInfo& row = g_DMAChannelTable[i];
        EXPECT_EQ(row.channel, i);
        if (!row.present) continue;
        ++present;
        EXPECT_EQ(row.disableable, 1) << "channel " << i;
        EXPECT_NE(row.kind, -1) << "channel " << i;
    }
    EXPECT_EQ(present, 47);
    for (int i : {12, 13, 16, 17, 22, 23, 41}) EXPECT_EQ(g_DMAChannelTable[i].kind, 1) << i;
    for (int i : {9, 14}) EXPECT_EQ(g_DMAChannelTable[i].disableable, 0) << i;
    EXPECT_STREQ(g_DMAChannelTable[38].name, "VUTILIN");
    EXPECT_STREQ(g_DMAChannelTable[57].name, "VUTILOUT");
    EXPECT_STREQ(g_DMAChannelTable[63].name, "DSK2BGIN");
}

TEST(DMAChannelTable, DisableAllThenRestoreChangesOnlyBitZero) {
    support::RecordingTest out;
    ControlRegisters regs;
    for (int i = 0; i < 64; ++i) regs.words[i] = 0xABC00080u | static_cast<DWORD>(i % 2);  // odd channels enabled
    CDMAControlChannels channels;
    channels.Clear();
    channels.Init(regs.Base(), RegisterPtr());
    EXPECT_TRUE(channels.DisableAll(&out));
    EXPECT_EQ(out.out.text, "Disabling all DMA Control Channels...\n Done - All channels are ready for the test.\n");
    EXPECT_TRUE(out.out.HasColoured(" Done", 0x00A000));
    int ready = 0;
    for (int i = 0; i < 64; ++i) {
        ready += channels.IsReady(i);
        if (g_DMAChannelTable[i].present)
            EXPECT_EQ(regs.words[i], 0xABC00080u) << i;
        else
            EXPECT_EQ(regs.words[i], 0xABC00080u | static_cast<DWORD>(i % 2)) << "absent channel " << i << " touched";
    }
    EXPECT_EQ(ready, 47);

    // Other bits changed by the hardware meanwhile stay as the hardware shows them.
    regs.words[20] = 0x12340000;
    regs.words[21] = 0x12340000;
    channels.RestoreAll(&out);
    EXPECT_EQ(regs.words[20], 0x12340000u);
    EXPECT_EQ(regs.words[21], 0x12340001u);
    EXPECT_EQ(regs.words[5], 0xABC00081u);
    EXPECT_EQ(regs.words[4], 0xABC00080u);
    EXPECT_FALSE(channels.IsReady(21));

    const int writes = regs.writes;
    channels.RestoreAll(&out);
    EXPECT_EQ(regs.writes, writes);  // a second restore writes nothing
}

// The board's own registers, with every write's offset kept.
class WriteLog : public CRegisterWindow {
public:
    explicit WriteLog(CRegisterWindow* board) : m_board(board) {}
    DWORD Read(DWORD offset) override { return m_board->Read(offset); }
    void Write(DWORD offset, DWORD value) override {
        written.push_back(offset);
        m_board->Write(offset, value);
    }
    DWORD Size() const override { return m_board->Size(); }
    bool Wrote(DWORD offset) const { return std::find(written.begin(), written.end(), offset) != written.end(); }

    std::vector<DWORD> written;

private:
    CRegisterWindow* m_board;
};

RegisterPtr MainBoardBar0() {
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetZorvHardware()->GetDevice("Brimola1"));
    return board ? board->GetRegisters() : RegisterPtr();
}

constexpr DWORD ControlOffset(int channel) { return CDMAControlChannels::kControlBase + 4u * static_cast<DWORD>(channel); }

TEST(DMAChannelTableOnRig, TheHealthyRigDisablesAndRestoresEveryPresentChannel) {
    support::ScopedRig rig(memtest::MainBoardRig());
    const RegisterPtr bar0 = MainBoardBar0();
    ASSERT_TRUE(bar0);
    WriteLog log(bar0.Window());
    support::RecordingTest out;
    CDMAControlChannels channels;
    channels.Clear();
    channels.Init(RegisterPtr(&log, CDMAControlChannels::kControlBase), bar0 + CDMAControlChannels::kDCBWindowBase / 4);

    EXPECT_TRUE(channels.DisableAll(&out));
    EXPECT_EQ(out.out.text, "Disabling all DMA Control Channels...\n Done - All channels are ready for the test.\n");
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(channels.IsReady(i), g_DMAChannelTable[i].present) << i;
        EXPECT_EQ(bar0[ControlOffset(i) / 4] & 1, 0u) << "channel " << i << " still enabled";
        EXPECT_EQ(channels.GetSaved(i) & 1, static_cast<DWORD>(g_DMAChannelTable[i].present)) << i;
    }

    log.written.clear();
    channels.RestoreAll(&out);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(bar0[ControlOffset(i) / 4] & 1, static_cast<DWORD>(g_DMAChannelTable[i].present)) << i;
        EXPECT_EQ(log.Wrote(ControlOffset(i)), g_DMAChannelTable[i].present != 0) << i;
    }
    EXPECT_EQ(log.written.size(), 47u);
}

TEST(DMAChannelTableOnRig, AStuckEnableIsReportedAndTheChannelLeftAlone) {
    // BAUDIOOUT (20) cannot be disabled; the absent channel 7 reads enabled but is none of the test's.
    support::ScopedRig rig(memtest::MainBoardRig(
        R"([{"kind": "register_stuck_bit", "board": "Brimola1", "offset": "0x58050", "bit": 0, "value": 1},
            {"kind": "register_stuck_bit", "board": "Brimola1", "offset": "0x5801C", "bit": 0, "value": 1}])"));
    const RegisterPtr bar0 = MainBoardBar0();
    ASSERT_TRUE(bar0);
    WriteLog log(bar0.Window());
    support::RecordingTest out;
    CDMAControlChannels channels;
    channels.Clear();
    channels.Init(RegisterPtr(&log, CDMAControlChannels::kControlBase), bar0 + CDMAControlChannels::kDCBWindowBase / 4);

    EXPECT_FALSE(channels.DisableAll(&out));
    EXPECT_EQ(out.out.text, "Disabling all DMA Control Channels...\n"
                            " Error on channel 20 (BAUDIOOUT): Unable to disable this channel.\n"
                            " Done - 46 channels ready for the test.\n");
    EXPECT_TRUE(out.out.HasColoured("Unable to disable this channel", 0x0000FF));
    EXPECT_FALSE(log.Wrote(ControlOffset(7)));
    for (int i = 0; i < 64; ++i) {
        if (i == 20 || !g_DMAChannelTable[i].present) continue;
        EXPECT_TRUE(channels.IsReady(i)) << i;
        EXPECT_EQ(bar0[ControlOffset(i) / 4] & 1, 0u) << i;
    }
    EXPECT_FALSE(channels.IsReady(20));

    log.written.clear();
    channels.RestoreAll(&out);
    EXPECT_FALSE(log.Wrote(ControlOffset(20))) << "a channel that failed is not rewritten";
    EXPECT_EQ(log.written.size(), 46u);
    for (int i = 0; i < 64; ++i) {
        if (!g_DMAChannelTable[i].present) continue;
        EXPECT_EQ(bar0[ControlOffset(i) / 4] & 1, 1u) << i;
    }
}

TEST(DMAChannelTable, DisableProofRowsAndBadRowsOfAnotherTable) {
    std::array<DMAChannelInfo, 64> table;
    for (int i = 0; i < 64; ++i) table[i] = {i, "unused", 0, 1, -1};
    table[3] = {3, "PROOF", 1, 0, 0};
    table[4] = {4, "FALLS", 1, 0, 0};
    table[5] = {7, "WRONG", 1, 1, 0};
    support::RecordingTest out;
    ControlRegisters regs;
    regs.stuck[4] = 0;  // reads disabled whatever is written
    CDMAControlChannels channels(table.data());
    channels.Clear();
    channels.Init(regs.Base(), RegisterPtr());
    EXPECT_FALSE(channels.DisableAll(&out));
    EXPECT_EQ(regs.words[3], 1u);
    EXPECT_TRUE(channels.IsReady(3));
    EXPECT_EQ(channels.GetSaved(3) & 1, 1u);
    EXPECT_TRUE(out.out.Has(" Error on channel 4 (FALLS): Disable-proof channel appears disabled.\n"));
    EXPECT_TRUE(out.out.Has(" Error on channel 5 (WRONG): SW fault - invalid table entry.\n"));
    EXPECT_LE(regs.writes, 2 + CDMAControlChannels::kReenableAttempts);  // the rewrites are bounded
    EXPECT_TRUE(out.out.Has(" Done - 1 channels ready for the test.\n"));
    channels.RestoreAll(&out);
    EXPECT_EQ(regs.words[3], 1u);  // a disable-proof channel ends enabled
}

TEST(DMAChannelTable, WithoutRegistersNothingIsTouched) {
    support::RecordingTest out;
    CDMAControlChannels channels;
    channels.Clear();
    channels.Init(RegisterPtr(), RegisterPtr());
    EXPECT_FALSE(channels.DisableAll(&out));
    EXPECT_TRUE(out.out.Has("No BAR0 register mapping"));
    for (int i = 0; i < 64; ++i) EXPECT_FALSE(channels.IsReady(i));
    channels.RestoreAll(&out);
}

}  // namespace
