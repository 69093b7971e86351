// CFlashTest: status-read and block-erase timing, the STS pin poll and the identifier report.
#include "boards/flash/flash_test.h"

#include <algorithm>
#include <cstdlib>

#include "boards/flash/jastel_test.h"
#include "devlib/devices.h"
#include "devlib/perf_list.h"
#include "framework/hw/flash_prom.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "platform/clock.h"

namespace {

constexpr const char* kTiming = "Timing Tests";
constexpr const char* kPollSts = "Poll STS Pin";
constexpr const char* kIdChecks = "ID Checks";

constexpr int kLedWord = 0x10 / 4;
constexpr DWORD kStsBit = 0x1000;
constexpr COLORREF kDarkYellow = 0x00C0E8, kLightYellow = 0x80FFFF;

constexpr LONGLONG kSlowAccessNs = 4000, kSlowStatusReadNs = 30000, kSlowEraseUs = 1'600'000;
constexpr int kStampedReads = 4;
constexpr int kFirstSamples = 10, kMoreSamples = 90;

// A heap text of the device library's timer, released after printing.
CString TakeText(char* text) {
    CString s(text ? text : "");
    std::free(text);
    return s;
}

}  // namespace

CFlashTest::CFlashTest(CString name) : CWexalTreeMapTB(name) { SetCodeName(name); }

void CFlashTest::SetParent(CWexalTreeMapTB* parent) {
    m_parent = parent;
    AddToMap(parent);
}

DWORD CFlashTest::Run(CString arguments) {
    if (arguments.CompareNoCase(kTiming) == 0) return TimingTests(arguments);
    if (arguments.CompareNoCase(kPollSts) == 0) return PollStsPin();
    if (arguments.CompareNoCase(kIdChecks) == 0) return IdChecks();
    PrintColorFormat(kColorRed, "ERROR:  CFlashTest - Test[%s] not found\n", arguments.c_str());
    return kRunFailed;
}

DWORD CFlashTest::Help(CString arguments) {
    const char* text = nullptr;
    if (arguments.CompareNoCase(kTiming) == 0)
        text = "Timing Tests: the 28F640J3A flash chip's status register is polled 10000 times\n"
               "and the average access time is reported. Then the unused block 0x3C0000 is\n"
               "erased, the erase is timed, and the status register is checked for errors\n"
               "before and after it.\n";
    else if (arguments.CompareNoCase(kPollSts) == 0)
        text = "Poll STS Pin: the flash chip's STS pin is polled 10 times and its state is\n"
               "reported. When the state changes, the pin is polled 90 more times and the\n"
               "result is reported as an error.\n";
    else if (arguments.CompareNoCase(kIdChecks) == 0)
        text = "ID Checks: the flash chip's internal data fields (manufacturer and device\n"
               "codes, block locks, protection registers) are read and reported.\n";
    if (text) {
        PrintRule(72, 0, kColorGreen);
        PrintColor(text, kColorBlack);
        PrintRule(72, 0, kColorGreen);
    }
    return kRunPassed;
}

bool CFlashTest::AttachFlash(CFlashPROM& flash) {
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    if (!board || !board->GetControllerRegisters()) return false;
    flash.Attach(board->GetControllerRegisters() + static_cast<int>(CFlashPROM::kPortOffset - 0x4000) / 4);
    return true;
}

DWORD CFlashTest::TimingTests(const CString& arguments) {
    PrintHeader(arguments, "");
    CJastelTest* controllerTest = CJastelTest::FindSibling(m_parent);
    CZorvDevice* board = GetDevice();
    if (!controllerTest || controllerTest->GetFlashPortState(board) != CJastelTest::kPortWorking) {
        PrintColor("  The Jastel Flash register test has failed.\n", kColorBlack);
        PrintColor("  This test cannot be performed with that register failing.\n", kColorRed);
        return kRunStopped;
    }
    if (*g_StopFlag()) return kRunStopped;
    CFlashPROM flash;
    if (!AttachFlash(flash)) return kRunFailed;
    PrintColor("Measuring time to access the Jastel status register...", kColorBlack);
    flash.ClearStatus();
    flash.SetMode(CFlashPROM::kReadStatus, TRUE);

    CPerformanceList timer;
    timer.Init(10);
    timer.Keep();
    timer.SetMilliTimeout(kStatusReadBudgetMs, 0);
    int reads = 0;
    for (; reads < kStatusReads && !timer.IsTimeout(); ++reads) flash.ReadStatus(FALSE);
    timer.Keep();
    // The deadline tests inside the loop are not the port's time.
    timer.AdjustForTimeoutChecks(static_cast<DWORD>(reads));
    if (reads < kStatusReads) {
        PrintColor("Failed.\n  Timed out while reading Flash Status register.\n", kColorRed);
        return kRunFailed;
    }
    PrintColor("Passed.\n", kColorGreen);
    const LONGLONG average = (timer.GetNanoInterval(0, 1) + reads / 2) / reads;
    PrintColor("  Access required ", kColorBlack);
    PrintColorFormat(average > kSlowAccessNs ? kColorRed : kColorBlack, "%lld", static_cast<long long>(average));
    PrintColor(" nsec.\n", kColorBlack);

    DWORD result = kRunPassed;
    PrintColor("Attempting an erase of block 0x3C0000...", kColorBlack);
    if (flash.EraseBlock(kTestBlock)) {
        PrintColor("Completed.\n", kColorGreen);
    } else {
        PrintColor("Failed.\n", kColorRed);
        result = kRunFailed;
    }
    FlashOpStatus& erase = flash.GetEraseRecord();
    // Stamps: the start, before and after each of the first reads, the end.
    const int stamps = erase.timer.GetCount();
    const int timedReads = stamps < 2 ? 0 : std::min(kStampedReads, (stamps - 2) / 2);
    for (int read = 1; read <= timedReads; ++read) {
        const bool slow = erase.timer.GetNanoInterval(2 * read - 1, 2 * read) > kSlowStatusReadNs;
        if (slow) result = kRunFailed;
        PrintColorFormat(kColorBlack, "  Status read time #%d: ", read);
        PrintColor(TakeText(erase.timer.IncrementStringMicro3(2 * read - 1, 2 * read)), slow ? kColorRed : kColorGreen);
        PrintColor(" usec.\n", kColorBlack);
    }
    const int last = std::max(stamps - 1, 0);
    const bool slowErase = erase.timer.GetMicroInterval(0, last) > kSlowEraseUs;
    if (slowErase) result = kRunFailed;
    PrintColor("  Total block erase time: ", kColorBlack);
    PrintColor(TakeText(erase.timer.IncrementStringMilli3(0, last)), slowErase ? kColorRed : kColorGreen);
    PrintColor(" msec.\n", kColorBlack);
    controllerTest->SetFlashPortState(board, CJastelTest::kPortErased);

    auto statusColour = [](DWORD status) { return status == CFlashPROM::kStatusReady ? kColorBlack : kColorRed; };
    PrintColor("  Flash status register before: ", kColorBlack);
    PrintColorFormat(statusColour(erase.firstStatus), "%02X", erase.firstStatus & 0xFF);
    PrintColor(", after: ", kColorBlack);
    PrintColorFormat(statusColour(erase.lastStatus), "%02X", erase.lastStatus & 0xFF);
    PrintColor("\n", kColorBlack);
    return result;
}

DWORD CFlashTest::PollStsPin() {
    PrintColor("The Flash STS signal is ", kColorBlack);
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    const RegisterPtr registers = board ? board->GetControllerRegisters() : RegisterPtr();
    int on = 0, samples = 0;
    auto sample = [&](int count) {
        for (int i = 0; i < count; ++i, ++samples) {
            Sleep(1);
            if (registers[kLedWord] & kStsBit) ++on;
        }
    };
    sample(kFirstSamples);
    if (on == samples) {
        PrintColor("on and steady.\n", kColorBlack);
        return kRunPassed;
    }
    if (on == 0) {
        PrintColor("off and steady.", kDarkYellow);
        PrintColor(".\n", kColorBlack);
        return kRunPassed;
    }
    sample(kMoreSamples);
    PrintColorFormat(kColorRed, "sometimes on (%d%%) and sometimes off (%d%%)", on, samples - on);
    PrintColor(".\n", kColorBlack);
    return kRunFailed;
}

DWORD CFlashTest::IdChecks() {
    CFlashPROM flash;
    if (!(GetBoardIF().GetMainBoardRegisters() || GetBoardIF().GetCodecBoardRegisters()) || !AttachFlash(flash)) {
        PrintColor("Cannot report flash device ID without an Brimola or Nuxa Board installed.\n", kColorRed);
        return kRunFailed;
    }
    FlashIDRecord id;
    flash.ReadIdentifier(&id);
    DWORD result = kRunPassed;
    CString text;
    PrintColor("  Flash PROM Device Report:\n   Manufacturer Code:   ", kColorBlack);
    text.Format("%4.4X", id.manufacturer);
    // A chip of another maker or type does not take this driver's command set for granted.
    const bool knownMaker = id.manufacturer == 0x0089, knownDevice = id.device == 0x0016 || id.device == 0x0017;
    PrintColor(text, knownMaker ? kColorGreen : kColorRed);
    PrintColor(".\n   Device Code:         ", kColorBlack);
    text.Format("%4.4X", id.device);
    if (knownDevice)
        PrintColor(text, kColorBlack);
    else
        PrintStyled(text, kColorBlack, kLightYellow, FALSE);
    PrintColor(".\n", kColorBlack);
    if (!knownMaker || !knownDevice) result = kRunFailed;

    bool allClear = true, allSet = true;
    for (const BYTE b : id.lockBits) {
        allClear = allClear && b == 0;
        allSet = allSet && b == 0xFF;
    }
    if (allClear) {
        PrintColor("   Block Locks:         ", kColorBlack);
        PrintColor("All 64 blocks are unlocked", kColorGreen);
    } else if (allSet) {
        result = kRunFailed;
        PrintColor("   Block Locks:         ", kColorBlack);
        PrintColor("All 64 blocks are locked", kColorRed);
    } else {
        result = kRunFailed;
        CString locks = "   Block Locks:\n         ";
        for (int i = 0; i < 8; ++i)
            if (id.lockBits[i]) locks.AppendFormat("%srpt.byaLocks[%d] = 0x%02X\n", i ? "         " : "", i, id.lockBits[i]);
        locks += "         ";
        for (int block = 63; block >= 0; --block) locks += (id.lockBits[block / 8] >> (block % 8)) & 1 ? 'L' : 'u';
        locks += "\n         ";
        locks += "       7       6       5       4       3       2       1       0\n";
        locks += "\n         ";
        locks += "Key { Locked[L], Unlocked[u] } msb...lsb\n";
        PrintColor(locks, kColorRed);
    }
    text.Format(".\n   Factory UDN Lock:    %s\n   Factory UDN:         %4.4X,%4.4X,%4.4X,%4.4X.\n"
                "   User Prot Code Lock: %s\n   User Protected Code: %4.4X,%4.4X,%4.4X,%4.4X.\n\n",
                id.factoryLocked ? "yes" : "no", id.factoryWords[0], id.factoryWords[1], id.factoryWords[2],
                id.factoryWords[3], id.userLocked ? "yes" : "no", id.userWords[0], id.userWords[1], id.userWords[2],
                id.userWords[3]);
    PrintColor(text, kColorBlack);
    return result;
}
