// CVantrel: board-link FPGA control on the board controller (reset, link clock, loaded check) and its configuration download on one or both boards.
#include "videopath/vantrel.h"

#include <cstdint>

#include "devlib/devices.h"
#include "devlib/perf_list.h"
#include "framework/hw/fpga_download.h"
#include "framework/hw/oxd.h"
#include "framework/result_screen.h"
#include "platform/clock.h"

namespace {

constexpr DWORD kNoBar0Verbosity = 2;

// Controller block (BAR0 0x4000) words.
constexpr int kStatusWord = 0x10 / 4;
constexpr int kFpgaWord = 0x14 / 4;
constexpr int kRamWord = 0x18 / 4;
constexpr DWORD kCodeMask = 7u << kFpgaConfigSelectShift;

constexpr DWORD kResetAssertWaitMs = 1;
constexpr DWORD kResetReleaseWaitMs = 30;
constexpr DWORD kClockSwitchWaitMs = 10;
constexpr DWORD kAfterDownloadWaitMs = 10;
constexpr DWORD kClockDeadlineMs = 250;

const char* const kSingleBoardBanner =
    "***************************** Program using single board *****************************\n";
const char* const kDualBoardBanner =
    "***************************** Program using dual board *****************************\n";

DWORD PointerText(const RegisterPtr& p) { return static_cast<DWORD>(reinterpret_cast<uintptr_t>(p.Window())); }

}  // namespace

CVantrel::CVantrel(DWORD id, CString name) : CVideoPathTB(name, id, kNoBar0Verbosity) {}

RegisterPtr CVantrel::ControllerBlock(const CWexalBoardIF& board) {
    auto* device = dynamic_cast<CWexalBoardDevice*>(board.GetDevice());
    return device ? device->GetControllerRegisters() : RegisterPtr();
}

// A board interface bound to a main or a codec board carries the window under that kind.
RegisterPtr CVantrel::BoardWindow(const CWexalBoardIF& board) {
    if (RegisterPtr main = board.GetMainBoardRegisters()) return main;
    return board.GetCodecBoardRegisters();
}

DWORD CVantrel::ClockPresentBit() const {
    switch (GetId()) {
    case kCodecPort: return 0x2;
    case kExpansionPort: return 0x4;
    default: return 0;
    }
}

DWORD CVantrel::ClockEnableBit() const {
    switch (GetId()) {
    case kCodecPort: return 0x8;
    case kExpansionPort: return 0x10;
    default: return 0;
    }
}

DWORD CVantrel::Reset(CWexalBoardIF& board, bool assert) {
    if (!board.GetDevice()) {
        PrintColor("CVantrel::Reset:  rBoardIF.GetDevice() is NULL", kColorRed);
        return kRunFailed;
    }
    const RegisterRef reg = ControllerBlock(board)[kFpgaWord];
    DWORD value = (reg.Read() & ~kCodeMask) | GetId() << kFpgaConfigSelectShift;
    value = assert ? value | kFpgaConfigChipSelect : value & ~kFpgaConfigChipSelect;
    reg = value;
    Sleep(assert ? kResetAssertWaitMs : kResetReleaseWaitMs);
    return kRunPassed;
}

void CVantrel::EnableClock(CWexalBoardIF& board, bool on) {
    const DWORD bit = ClockEnableBit();
    const RegisterRef ram = ControllerBlock(board)[kRamWord];
    if (!bit || !board.GetDevice()) return;
    const DWORD value = ram.Read();
    if (((value & bit) != 0) == on) return;
    ram = on ? value | bit : value & ~bit;
    Sleep(kClockSwitchWaitMs);
}

bool CVantrel::IsLoaded(RegisterPtr fpgaRegister) {
    if (!fpgaRegister) fpgaRegister = ControllerBlock(m_boardIF) + kFpgaWord;
    if (!fpgaRegister) return false;
    const DWORD code = GetId() << kFpgaConfigSelectShift;
    *fpgaRegister = code;
    const DWORD value = *fpgaRegister;
    if ((value & kCodeMask) != (code & kCodeMask)) return false;
    return (value & kFpgaConfigDone) != 0;
}

bool CVantrel::WaitForClock(CWexalBoardIF& board) {
    const DWORD bit = ClockPresentBit();
    const RegisterRef status = ControllerBlock(board)[kStatusWord];
    if (!bit || !board.GetDevice()) return false;
    if (status.Read() & bit) return true;
    CPerformanceList deadline;
    deadline.SetMilliTimeout(kClockDeadlineMs);
    while (!deadline.IsTimeout()) {
        if (status.Read() & bit) return true;
        Sleep(1);
    }
    return false;
}

bool CVantrel::IsClockTicking() { return WaitForClock(m_boardIF); }

bool CVantrel::IsClockTicking(CWexalBoardIF& board) {
    if (!board.GetDevice()) {
        PrintColor("CVantrel::IsClockTicking:  rBoardIF.GetDevice() is NULL", kColorRed);
        return false;
    }
    return WaitForClock(board);
}

DWORD CVantrel::ProgramVantrel(CWexalBoardIF& board, COxd& image) {
    const RegisterPtr window = BoardWindow(board);
    if (!window) {
        PrintColor("CVantrel::ProgramVantrel:  pBoard = NULL", kColorRed);
        return kRunFailed;
    }
    return DownloadXilinxThrough(GetId(), window, *this, image);
}

DWORD CVantrel::Program(CWexalTreeMapTB*, COxd& image) {
    CWexalBoardIF source = m_boardIF;
    CWexalBoardIF destination = MakePartnerBoardIF();
    if (!BoardWindow(source)) {
        CString text;
        text.Format("CVantrel::Program - Setup Error\n  SrcBoardIF.m_Brimola[0x%08X], SrcBoardIF.m_pNuxa[0x%08X]\n",
                    PointerText(source.GetMainBoardRegisters()), PointerText(source.GetCodecBoardRegisters()));
        PrintColor(text, kColorRed);
        return kRunFailed;
    }
    if (!BoardWindow(destination)) {
        Print(kSingleBoardBanner);
        EnableClock(source, false);
        const DWORD result = ProgramVantrel(source, image);
        Sleep(kAfterDownloadWaitMs);
        Reset(source, true);
        Reset(source, false);
        return result;
    }

    // Both FPGAs stay in reset with their link clocks off until both are loaded, so neither
    // link starts against a half-loaded partner; every step runs even after a failed download,
    // so both boards leave reset.
    Print(kDualBoardBanner);
    Reset(destination, true);
    Reset(source, true);
    EnableClock(destination, false);
    EnableClock(source, false);
    const DWORD toDestination = ProgramVantrel(destination, image);
    const DWORD toSource = ProgramVantrel(source, image);
    Sleep(kAfterDownloadWaitMs);
    EnableClock(source, true);
    EnableClock(destination, true);
    Reset(destination, false);
    Reset(source, false);
    DWORD result = toDestination == kRunPassed && toSource == kRunPassed ? kRunPassed : kRunFailed;
    if (!IsClockTicking(source)) {
        PrintColor("CVantrel::Program:  Clock is not ticking on Src\n", kColorRed);
        result = kRunFailed;
    }
    if (!IsClockTicking(destination)) {
        PrintColor("CVantrel::Program:  Clock is not ticking on Dst\n", kColorRed);
        result = kRunFailed;
    }
    return result;
}
