// The DMA channel table and the channel disabler: clear each channel's DCB enable, then restore it.
#include "boards/memory/dma_channel_table.h"

#include "framework/result_screen.h"
#include "framework/test_base.h"

namespace {

constexpr COLORREF kGreen = kColorGreen;
constexpr COLORREF kRed = kColorRed;
constexpr COLORREF kBlack = kColorBlack;

}  // namespace

// clang-format off
const DMAChannelInfo g_DMAChannelTable[kDMAChannelCount] = {
    {0, "BVIDEOIN0", 1, 1, 0},   {1, "BVIDEOIN1", 1, 1, 0},   {2, "BVIDEOIN2", 1, 1, 0},   {3, "BVIDEOIN3", 1, 1, 0},
    {4, "BVIDEOOUT", 1, 1, 0},   {5, "EDPOUT", 1, 1, 0},      {6, "ABUFIN", 0, 1, -1},     {7, "unused", 0, 1, -1},
    {8, "unused", 0, 1, -1},     {9, "BARSIN", 0, 0, 0},      {10, "unused", 0, 1, -1},    {11, "unused", 0, 1, -1},
    {12, "PCIWRITE1", 1, 1, 1},  {13, "PCIWRITE2", 1, 1, 1},  {14, "BARSOUT", 0, 0, 0},    {15, "unused", 0, 1, -1},
    {16, "PCIREAD1", 1, 1, 1},   {17, "PCIREAD2", 1, 1, 1},   {18, "unused", 0, 1, -1},    {19, "unused", 0, 1, -1},
    {20, "BAUDIOOUT", 1, 1, 0},  {21, "AUTILIN", 1, 1, 0},    {22, "MIXERINA", 1, 1, 1},   {23, "MIXERINB", 1, 1, 1},
    {24, "PPPA_IN", 1, 1, 0},    {25, "PPPB_IN", 1, 1, 0},    {26, "unused", 0, 1, -1},    {27, "unused", 0, 1, -1},
    {28, "PPPA_OUT", 1, 1, 0},   {29, "PPPB_OUT", 1, 1, 0},   {30, "unused", 0, 1, -1},    {31, "unused", 0, 1, -1},
    {32, "BAUDIOIN1", 1, 1, 0},  {33, "BAUDIOIN2", 1, 1, 0},  {34, "BAUDIOIN3", 1, 1, 0},  {35, "BAUDIOIN4", 1, 1, 0},
    {36, "EXPB_OUT", 1, 1, 0},   {37, "EXPA_OUT", 1, 1, 0},   {38, "VUTILIN", 1, 1, 0},    {39, "EDRIN", 1, 1, 0},
    {40, "AUTILOUT", 1, 1, 0},   {41, "MIXEROUT", 1, 1, 1},   {42, "DSK1OUT", 1, 1, 0},    {43, "unused", 0, 1, -1},
    {44, "COMPFGIN", 1, 1, 0},   {45, "COMPAIN1", 1, 1, 0},   {46, "DSK1FGIN", 1, 1, 0},   {47, "DSK2AIN", 1, 1, 0},
    {48, "DSK2OUT", 1, 1, 0},    {49, "EDROUT", 1, 1, 0},     {50, "ABUFOUT", 0, 1, -1},   {51, "unused", 0, 1, -1},
    {52, "COMPBGIN", 1, 1, 0},   {53, "COMPAIN2", 1, 1, 0},   {54, "DSK1AIN", 1, 1, 0},    {55, "DSK2FGIN", 1, 1, 0},
    {56, "COMPOUT", 1, 1, 0},    {57, "VUTILOUT", 1, 1, 0},   {58, "EXPB_IN", 1, 1, 0},    {59, "EXPA_IN", 1, 1, 0},
    {60, "COMPAIN3", 1, 1, 0},   {61, "COMPAIN4", 1, 1, 0},   {62, "DSK1BGIN", 1, 1, 0},   {63, "DSK2BGIN", 1, 1, 0},
};
// clang-format on

void CDMAControlChannels::Clear() {
    m_control = RegisterPtr();
    m_dcbWindow = RegisterPtr();
    for (ChannelState& state : m_channels) state = ChannelState();
}

void CDMAControlChannels::Init(RegisterPtr controlRegisters, RegisterPtr dcbWindow) {
    m_control = controlRegisters;
    m_dcbWindow = dcbWindow;
}

BOOL CDMAControlChannels::DisableAll(CTestBase* out) {
    out->PrintColor("Disabling all DMA Control Channels...\n", kBlack);
    for (ChannelState& state : m_channels) state = ChannelState();
    if (!m_control) {
        out->PrintColor(" No BAR0 register mapping: the DMA channels were not touched.\n", kRed);
        return FALSE;
    }

    BOOL allPassed = TRUE;
    int readyCount = 0;
    for (int i = 0; i < kDMAChannelCount; ++i) {
        const DMAChannelInfo& row = m_table[i];
        const char* error = nullptr;
        if (row.channel != i) {
            error = "SW fault - invalid table entry";
        } else if (!row.present) {
            continue;
        } else {
            const RegisterRef reg = m_control[i];
            DWORD saved = reg;
            if (row.disableable) {
                reg = saved & ~1u;
                if (reg.Read() & 1) error = "Unable to disable this channel";
            } else {
                saved |= 1;
                reg = saved;
                if (!(reg.Read() & 1)) {
                    error = "Disable-proof channel appears disabled";
                    for (int attempt = 0; attempt < kReenableAttempts; ++attempt) {
                        reg = reg.Read() | 1;
                        if (reg.Read() & 1) break;
                    }
                }
            }
            m_channels[i].saved = saved;
        }
        if (error) {
            out->PrintColorFormat(kBlack, " Error on channel %d (%s): ", i, row.name ? row.name : "");
            out->PrintColor(error, kRed);
            out->PrintColor(".\n", kBlack);
            allPassed = FALSE;
            continue;
        }
        m_channels[i].ready = TRUE;
        ++readyCount;
    }

    if (allPassed) {
        out->PrintColor(" Done", kGreen);
        out->PrintColor(" - All channels are ready for the test.\n", kBlack);
        return TRUE;
    }
    out->PrintColorFormat(kBlack, " Done - %d channels ready for the test.\n", readyCount);
    return FALSE;
}

void CDMAControlChannels::RestoreAll(CTestBase* out) {
    out->PrintColor("Restoring all DCB Enable flags.\n", kBlack);
    for (int i = 0; i < kDMAChannelCount; ++i) {
        ChannelState& state = m_channels[i];
        if (!state.ready) continue;
        state.ready = FALSE;
        if (!m_control || !m_table[i].present) continue;
        const RegisterRef reg = m_control[i];
        reg = (reg.Read() & ~1u) | (state.saved & 1);
    }
}
