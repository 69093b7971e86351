// DownloadXilinx: PROG/INIT/DONE handshake and byte-serial data phase on the configuration register.
#include "framework/hw/fpga_download.h"

#include "devlib/register_window.h"
#include "framework/hw/oxd.h"
#include "framework/result_screen.h"
#include "framework/tree_map_tb.h"
#include "framework/wexal_test_base.h"
#include "platform/clock.h"
#include "platform/host_ui.h"

namespace {

constexpr int kInitPolls = 100;       // of 1 ms each
constexpr DWORD kProgressStep = 2500;  // bytes between progress bar moves
constexpr int kTrailingClocks = 16;   // start-up clocks after the last byte
constexpr DWORD kStartupWaitMs = 100;
constexpr int kShowNormal = 1;

// Polls INIT until it reads the wanted level; true when it did within the polls.
bool WaitForInit(const RegisterRef& reg, bool high) {
    for (int i = 0; i < kInitPolls; ++i) {
        if (((reg.Read() & kFpgaConfigInit) != 0) == high) return true;
        Sleep(1);
    }
    return ((reg.Read() & kFpgaConfigInit) != 0) == high;
}

}  // namespace

DWORD DownloadXilinx(DWORD fpgaSelect, CWexalTestBase* test, const COxd& image) {
    if (!image.GetData() || !test) return kRunFailed;
    const RegisterPtr bar0 = test->GetBoardIF().GetMainBoardRegisters();
    if (!bar0) {
        test->PrintColor("Invalid pBAR0\n", kColorRed);
        return kRunFailed;
    }
    return DownloadXilinxThrough(fpgaSelect, bar0, *test, image);
}

DWORD DownloadXilinxThrough(DWORD fpgaSelect, RegisterPtr bar0, CTestBase& printer, const COxd& image) {
    const DWORD size = image.GetDataSize();
    const BYTE* data = image.GetData();
    if (!data || !bar0) return kRunFailed;
    const RegisterRef reg = bar0[kFpgaConfigRegister / 4];
    const DWORD select = (fpgaSelect & 7) << kFpgaConfigSelectShift;

    CProgressCtrl* progress = GetProgressCtrl();
    if (progress) {
        progress->ShowWindow(kShowNormal);
        progress->SetRange32(0, static_cast<int>(size));
    }
    // A handshake that times out hides the bar again, so it does not stand half-filled.
    auto giveUp = [&](const char* message) {
        if (progress) progress->ShowWindow(SW_HIDE);
        printer.PrintColor(message, kColorRed);
        return kRunFailed;
    };

    reg = select | kFpgaConfigProg;
    if (!WaitForInit(reg, false)) {
        reg = select;
        return giveUp("ERROR TIMEOUT:  Waiting for xilinx to pull init pin low\n");
    }
    reg = select;
    if (!WaitForInit(reg, true)) return giveUp("ERROR TIMEOUT:  Waiting for xilinx to pull init pin high\n");

    reg = select | kFpgaConfigChipSelect;
    const DWORD clock = select | kFpgaConfigStrobeHigh | kFpgaConfigChipSelect | kFpgaConfigStrobe;
    for (DWORD i = 0; i < size; ++i) {
        reg = clock | data[i];
        if (progress && i % kProgressStep == 0) progress->SetPos(static_cast<int>(i));
    }
    if (progress) progress->ShowWindow(SW_HIDE);
    for (int i = 0; i < kTrailingClocks; ++i) reg = clock;
    Sleep(kStartupWaitMs);

    DWORD result = kRunPassed;
    const DWORD pins = reg.Read();
    if (!(pins & kFpgaConfigInit)) {
        printer.PrintColor("Init bit did not go to 1 at end\n", kColorRed);
        result = kRunFailed;
    }
    if (!(pins & kFpgaConfigDone)) {
        printer.PrintColor("Done bit did not go to 1 at end\n", kColorRed);
        result = kRunFailed;
    }
    reg = select;
    return result;
}
