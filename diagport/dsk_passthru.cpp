// SCRport: a block from SDRAM through the DSK compositor's foreground (and background) input and
// out of its DSK1 output back into SDRAM.
#include "devlib/dma_channel.h"
#include "diagport/port_colours.h"
#include "diagport/port_dma.h"
#include "diagport/scr_port.h"
#include "framework/hw/wexal_dcb.h"

namespace {

using namespace portdma;

constexpr DWORD kRam = 0x4018, kDskControl = 0xE0020, kDskActive = 0xE023C;
constexpr DWORD kWords = 0x100, kBytes = kWords * 4, kDestination = 0x100000, kMaxWaitMs = 256;
constexpr int kOutput = 42, kForeground = 46, kBackground = 62;

}  // namespace

DWORD SCRport::DSKFG422Passthru(CString, int verbose) { return DSKPassthru(verbose, false); }

DWORD SCRport::DSKFGBGPassthru(CString, int verbose) { return DSKPassthru(verbose, true); }

DWORD SCRport::DSKPassthru(int verboseLevel, bool background) {
    const DWORD verbose = static_cast<DWORD>(verboseLevel);
    const char* name = background ? "DMA DSK FG BG 422 Passthru" : "DMA DSK FG 422 Passthru";
    PrintColor("----------------------------------------------\n", kColorBlack);
    PrintColor("DMA DSK FG 422 Passthru ", kColorBlue);
    PrintDateTime(kColorBlue);
    PrintColor("\n", kColorBlack);
    const RegisterPtr bar0 = ChooseBAR0("Testing Brimola\n", "Testing Nuxa\n");
    if (!bar0) return kRunFailed;
    PrintColor(FormatString("Frame Size: Y=0x%X I=0x%X L=0x%X P=0x%X\n", 1, 0x80, 0x80, 0), kColorBlack);
    PrintColor(FormatString("BUF LEN = 0x%X\n", kWords), kColorBlack);
    PrintColor("Initializing SDRAM Controller\n", kColorBlack);
    bar0[kRam / 4] = bar0[kRam / 4] | 1;
    CWexalDMAChannel* fg = PortChannel(kForeground);
    CWexalDMAChannel* bg = PortChannel(kBackground);
    CWexalDMAChannel* out = PortChannel(kOutput);
    if (!fg || !bg || !out) {
        PrintColor("DMA Channels 42, 46 and 62 are not available\n", kColorDarkRed);
        return kRunFailed;
    }
    DWORD data[kWords], zeros[kWords] = {};
    DWORD errors = 0, total = 0;
    int passed = 0, failed = 0;
    bool timedOut = false;
    const int pass = 0;
    PrintColor("Filling the SDRAM\n", kColorBlack);
    for (DWORD i = 0; i < kWords; ++i) data[i] = 8 + 8 * i;
    PrintColor(".\n", kColorBlack);
    WriteMemory(data, 0, kBytes);
    PrintColor(FormatString("Reading the filled data from SDRAM at 0x%X\n", 0), kColorBlack);
    PrintColor(kRule, kColorBlack);
    if (VerifySDRAM(data, 0, kBytes, verbose)) return kRunFailed;
    PrintColor(FormatString("Zeroing SDRAM at 0x%X\n", kDestination), kColorBlack);
    PrintColor(kRule, kColorBlack);
    WriteMemory(zeros, kDestination, kBytes);
    PrintColor(FormatString("Check Zeroed Buffer at  0x%X\n", kDestination), kColorBlack);
    PrintColor(kRule, kColorBlack);
    if (VerifySDRAM(zeros, kDestination, kBytes, verbose)) return kRunFailed;
    PrintColor(kRule, kColorBlack);
    for (CWexalDMAChannel* channel : {fg, bg, out}) {
        if (channel == bg && !background) continue;
        PrintColor(FormatString("Flush DMA Channel %d\n", channel->GetChannel()), kColorBlack);
        channel->Flush();
    }
    const DcbSetting toSdram{0, 0, kDestination, 1, 2, nullptr, 0, 0, 0x80, 0x80};
    const DcbSetting fromSdram{0, 0, 0, 1, 3, nullptr, 0, 0, 0x80, 0x80};
    PrintColor(FormatString("Initializing DCB 1 Channel %d - DSK1 Out\n", kOutput), kColorBlack);
    LoadDcb(*out, 1, toSdram);
    PrintColor("Initializing BCU 2\n", kColorBlack);
    SetRunningBcu(m_boardIF, 2);
    PrintColor(FormatString("Initialising DCB 1 Channel %d - Compositor FG IN\n", kForeground), kColorBlack);
    LoadDcb(*fg, 1, fromSdram);
    if (background) {
        PrintColor(FormatString("Initializing DCB 1 Channel %d - DSK1 Out\n", kBackground), kColorBlack);
        LoadDcb(*bg, 1, fromSdram);
    }
    PrintColor("Initializing BCU 3\n", kColorBlack);
    SetRunningBcu(m_boardIF, 3);
    if (background) {
        PrintColor("Initializing BCU 4\n", kColorBlack);
        SetRunningBcu(m_boardIF, 4);
    }
    const RegisterRef control = bar0[kDskControl / 4];
    control = 0;
    control = (control & ~4u) | 0xB;
    control = control & ~0x70u;
    if (background)
        for (DWORD bit : {1u << 8, 1u << 10, 1u << 30}) control = control | bit;
    control = control | 1u << 31;
    Delay(1);
    out->Trigger(1);
    if (background) bg->Trigger(1);
    fg->Trigger(1);
    const auto reportActive = [&] {
        if (verbose != 0) PrintColor(FormatString(" DSK Control Active Reg : 0x%X\n", static_cast<DWORD>(bar0[kDskActive / 4])), kGreen);
    };
    reportActive();
    Delay(10);
    reportActive();
    if (!WaitForDCB(fg, out, kMaxWaitMs)) {
        ++errors;
        timedOut = true;
    }
    FlushSdramWrites();
    if (!timedOut) {
        PrintColor(FormatString("Reading the data at 0x%X from SDRAM\n", kDestination), kColorBlack);
        PrintColor(kRule, kColorBlack);
        errors += VerifySDRAM(data, kDestination, kBytes, verbose);
        if (errors > static_cast<DWORD>(m_AbortCount)) {
            PrintColor("MAX ERROR COUNT EXCEEDED! aborting error printing....\n", kColorDarkRed);
            bar0[kRam / 4] = bar0[kRam / 4] & ~(1u << 8);
            return kRunFailed;
        }
    }
    if (errors == 0) {
        PrintColor(FormatString("Loop # %d PASSED\n", pass), kGreen);
        ++passed;
    } else {
        PrintColor(FormatString("Loop # %d  FAILED with %d errors\n", pass, errors), kColorDarkRed);
        ++failed;
        total += errors;
    }
    PrintColor(kRule, kColorBlack);
    if (passed) PrintColor(FormatString("%d # Loops PASSED\n", passed), kGreen);
    DWORD result = kRunPassed;
    if (failed) {
        PrintColor(FormatString("%d # Loops FAILED\n", failed), kColorDarkRed);
        PrintColor(FormatString("%s FAILED with %d error(s)\n", name, total), kColorDarkRed);
        result = kRunFailed;
    } else {
        PrintColor(FormatString("%s PASSED\nDONE.\n", name), kGreen);
    }
    PrintColor("Done\n", kColorBlack);
    return result;
}
