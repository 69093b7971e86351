// The fixed table of the Wexal FPGA's 64 DMA channels and the disabler of their DCB enable flags.
#pragma once

#include "devlib/register_window.h"
#include "platform/types.h"

class CTestBase;

// One row of the channel table.
struct DMAChannelInfo {
    int channel;      // equal to the row's index
    const char* name;
    int present;      // 1: the channel exists and takes part in the descriptor tests
    int disableable;  // 1: the disabler clears the enable flag; 0: it must stay set
    int kind;         // -1 no channel, 0 data channel, 1 DCB words 5-7 hold a PCI address or audio words
};

constexpr int kDMAChannelCount = 64;
extern const DMAChannelInfo g_DMAChannelTable[kDMAChannelCount];

// Stops every present channel from using its descriptors before the descriptor tests overwrite
// them, and puts each channel's enable flag (bit 0 of its control register at BAR0 0x58000 + 4c)
// back afterwards. Only bit 0 is ever changed. Order of use: Clear, Init, DisableAll, the test,
// RestoreAll.
class CDMAControlChannels {
public:
    static constexpr DWORD kControlBase = 0x58000;
    static constexpr DWORD kDCBWindowBase = 0x60000;
    // Rewrites of a disable-proof channel that reads disabled before it is left out.
    static constexpr int kReenableAttempts = 3;

    // The table is g_DMAChannelTable unless another one is given.
    explicit CDMAControlChannels(const DMAChannelInfo* table = g_DMAChannelTable) : m_table(table) {}

    void Clear();
    // The channel control registers and the DCB window (kept, not used by the disabler; may be null).
    void Init(RegisterPtr controlRegisters, RegisterPtr dcbWindow);
    // Prepares every present channel and reports through out; TRUE when every row passed. Without
    // control registers it touches nothing and answers FALSE.
    BOOL DisableAll(CTestBase* out);
    // Puts back bit 0 of every channel DisableAll made ready; a second call writes nothing.
    void RestoreAll(CTestBase* out);

    BOOL IsReady(int channel) const { return channel >= 0 && channel < kDMAChannelCount && m_channels[channel].ready; }
    DWORD GetSaved(int channel) const { return channel >= 0 && channel < kDMAChannelCount ? m_channels[channel].saved : 0; }
    RegisterPtr GetDCBWindow() const { return m_dcbWindow; }

private:
    struct ChannelState {
        BOOL ready = FALSE;
        DWORD saved = 0;
    };

    const DMAChannelInfo* m_table;
    RegisterPtr m_control;
    RegisterPtr m_dcbWindow;
    ChannelState m_channels[kDMAChannelCount];
};
