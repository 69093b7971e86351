// Tests of the DMA channel table and the channel disabler, on the rig and on a register block of chosen bits.
#include "boards/memory/dma_channel_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "tests/boards/memory/memory_rig.h"

namespace {

// The 64 channel control registers holding any bits (the rig's keep only bit 0), bit 0 of a channel
// stuck when asked; or, over a board's registers, a log of the writes.
class ControlRegisters : public CRegisterWindow {
public:
    explicit ControlRegisters(CRegisterWindow* board = nullptr) : m_board(board) { stuck.fill(-1); }
    DWORD Read(DWORD offset) override {
        if (m_board) return m_board->Read(offset);
        const int c = Channel(offset);
        return stuck[c] < 0 ? words[c] : (words[c] & ~1u) | static_cast<DWORD>(stuck[c]);
    }
    void Write(DWORD offset, DWORD value) override {
        written.push_back(Channel(offset));
        if (m_board) m_board->Write(offset, value);
        else words[Channel(offset)] = value;
    }
    DWORD Size() const override { return m_board ? m_board->Size() : 0x58100; }
    bool Wrote(int channel) const { return std::find(written.begin(), written.end(), channel) != written.end(); }
    CDMAControlChannels& Disabler(const DMAChannelInfo* table = g_DMAChannelTable) {
        m_channels = std::make_unique<CDMAControlChannels>(table);
        m_channels->Clear();
        m_channels->Init(RegisterPtr(this, CDMAControlChannels::kControlBase), RegisterPtr());
        return *m_channels;
    }
    DWORD Bit0(int channel) { return Read(CDMAControlChannels::kControlBase + 4 * channel) & 1; }

    std::array<DWORD, 64> words{};
    std::array<int, 64> stuck;
    std::vector<int> written;

private:
    static int Channel(DWORD offset) { return static_cast<int>((offset - CDMAControlChannels::kControlBase) / 4) & 63; }
    CRegisterWindow* m_board;
    std::unique_ptr<CDMAControlChannels> m_channels;
};

bool Present(int channel) { return g_DMAChannelTable[channel].present != 0; }

TEST(DMAChannelTable, DisableAllThenRestoreChangesOnlyBitZeroOfPresentChannels) {
    for (int i : {12, 13, 16, 17, 22, 23, 41}) EXPECT_EQ(g_DMAChannelTable[i].kind, 1) << i;  // the PCI channels
    support::RecordingTest out;
    ControlRegisters regs;
    for (int i = 0; i < 64; ++i) regs.words[i] = 0xABC00080u | static_cast<DWORD>(i % 2);  // odd channels enabled
    CDMAControlChannels& channels = regs.Disabler();
    EXPECT_TRUE(channels.DisableAll(&out));
    EXPECT_EQ(out.out.text, "Disabling all DMA Control Channels...\n Done - All channels are ready for the test.\n");
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(channels.IsReady(i), Present(i) && g_DMAChannelTable[i].channel == i) << i;
        EXPECT_EQ(regs.words[i], 0xABC00080u | (Present(i) ? 0u : static_cast<DWORD>(i % 2))) << i;
    }
    // Other bits changed by the hardware meanwhile stay as the hardware shows them.
    regs.words[20] = regs.words[21] = 0x12340000;
    regs.written.clear();
    channels.RestoreAll(&out);
    EXPECT_EQ(std::vector<DWORD>({regs.words[20], regs.words[21]}), std::vector<DWORD>({0x12340000, 0x12340001}));
    EXPECT_FALSE(channels.IsReady(21));
    channels.RestoreAll(&out);
    EXPECT_EQ(regs.written.size(), 47u) << "one write a present channel; a second restore writes nothing";
}

TEST(DMAChannelTable, OnTheRigAStuckEnableIsReportedAndLeftAlone) {
    // BAUDIOOUT (20) cannot be disabled; the absent channel 7 reads enabled but is none of the test's.
    support::ScopedRig rig(memtest::MainBoardRig(R"([
        {"kind": "register_stuck_bit", "board": "Brimola1", "offset": "0x58050", "bit": 0, "value": 1},
        {"kind": "register_stuck_bit", "board": "Brimola1", "offset": "0x5801C", "bit": 0, "value": 1}])"));
    ControlRegisters log(support::RigBoard("Brimola1")->GetRegisters().Window());
    support::RecordingTest out;
    CDMAControlChannels& channels = log.Disabler();
    EXPECT_FALSE(channels.DisableAll(&out));
    EXPECT_TRUE(memtest::HasAll(out.out.text, {" Error on channel 20 (BAUDIOOUT): Unable to disable this channel.\n",
                                               " Done - 46 channels ready for the test.\n"}));
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(channels.IsReady(i), Present(i) && i != 20) << i;
        EXPECT_EQ(log.Bit0(i), DWORD{i == 20 || i == 7}) << i;
    }
    EXPECT_FALSE(log.Wrote(7));
    log.written.clear();
    channels.RestoreAll(&out);
    EXPECT_EQ(log.written.size(), 46u);
    EXPECT_FALSE(log.Wrote(20)) << "a channel that failed is not rewritten";
    for (int i = 0; i < 64; ++i) EXPECT_EQ(log.Bit0(i), DWORD{Present(i) || i == 7}) << i;
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
    CDMAControlChannels& channels = regs.Disabler(table.data());
    EXPECT_FALSE(channels.DisableAll(&out));
    EXPECT_TRUE(channels.IsReady(3));
    EXPECT_EQ(std::pair(regs.words[3], channels.GetSaved(3) & 1), std::pair(1u, 1u));
    EXPECT_TRUE(memtest::HasAll(out.out.text, {" Error on channel 4 (FALLS): Disable-proof channel appears disabled.\n",
                                               " Error on channel 5 (WRONG): SW fault - invalid table entry.\n",
                                               " Done - 1 channels ready for the test.\n"}));
    EXPECT_LE(regs.written.size(), size_t{2 + CDMAControlChannels::kReenableAttempts});  // bounded rewrites
    channels.RestoreAll(&out);
    EXPECT_EQ(regs.words[3], 1u);  // a disable-proof channel ends enabled
    CDMAControlChannels none;
    none.Clear();
    none.Init(RegisterPtr(), RegisterPtr());
    EXPECT_FALSE(none.DisableAll(&out));
    EXPECT_TRUE(out.out.Has("No BAR0 register mapping"));
    EXPECT_FALSE(none.IsReady(12));
}

}  // namespace
