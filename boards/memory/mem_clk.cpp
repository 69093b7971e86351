// mem_clk: memory clock sweep and window choice, manual setting, display and the delta check.
#include "boards/memory/mem_clk.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "boards/wexal/wexal.h"
#include "boards/wexal/wexal_arguments.h"
#include "devlib/devices.h"
#include "framework/hw/oxd.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"

namespace {

constexpr COLORREF kBlue = 0xFF0000;
constexpr COLORREF kDarkRed = 0x0000C0;
constexpr COLORREF kYellow = 0x00F0FF;
constexpr int kShowWindow = 5;
constexpr int kHideWindow = 0;

// The host's progress bar, when there is one.
class Progress {
public:
    Progress() : m_ctrl(GetProgressCtrl()) {}
    void Show(bool on) {
        if (m_ctrl) m_ctrl->ShowWindow(on ? kShowWindow : kHideWindow);
    }
    void Range(int low, int high) {
        if (m_ctrl) m_ctrl->SetRange32(low, high);
    }
    void Pos(int pos) {
        if (m_ctrl) m_ctrl->SetPos(pos);
    }

private:
    CProgressCtrl* m_ctrl;
};

}  // namespace

mem_clk::mem_clk(CString name, CWexal* wexal) : CWexalTreeMapTB(name), m_wexal(wexal) {
    SetCodeName(name);
    std::fill(std::begin(m_results), std::end(m_results), -1);
}

void mem_clk::SetParent(CWexalTreeMapTB* parent) {
    m_parent = parent;
    AddToMap(parent);
}

CWexalTreeMapTB* mem_clk::GetParent() { return m_parent; }

DWORD mem_clk::SetClockDelta(DWORD delta) {
    m_clockDelta = delta;
    return delta;
}

DWORD mem_clk::GetClockDelta() { return m_clockDelta; }

DWORD mem_clk::Run(CString command) {
    if (!GetParent()) {
        PrintColor("mem_clk:  Parent is NULL\n", kColorRed);
        return kRunFailed;
    }
    enum Selection { kNone, kInvalid, kClockTest, kSetClock, kDisplayClock, kDeltaClockTest };
    static const struct {
        const char* prefix;
        Selection selection;
    } kPrefixes[] = {{"INVALID", kInvalid},
                     {"Clock Test", kClockTest},
                     {"Set Clock", kSetClock},
                     {"Display Clock", kDisplayClock},
                     {"Delta Clock Test", kDeltaClockTest}};
    Selection selection = kNone;
    CString arguments;
    for (const auto& entry : kPrefixes) {
        const CString prefix(entry.prefix);
        if (command.Left(prefix.GetLength()) != prefix) continue;
        selection = entry.selection;
        arguments = command.Mid(prefix.GetLength());
        arguments.TrimLeft(" \t");
    }

    DWORD result = kRunFailed;
    switch (selection) {
    case kClockTest: result = ClockTest(arguments); break;
    case kSetClock: result = SetClock(arguments); break;
    case kDisplayClock: result = DisplayClock(arguments); break;
    case kDeltaClockTest: result = DeltaClockTest(arguments); break;
    case kNone:
    case kInvalid: PrintColor("Invalid Test", kColorRed); return kRunFailed;
    }
    if (result == kRunStopped) return kRunStopped;
    return result == kRunPassed ? kRunPassed : kRunFailed;
}

DWORD mem_clk::Help(CString text) {
    if (text.Left(7) == "INVALID") text = text.Mid(7);
    CString line;
    line.Format("\n\nERROR:  mem_clk\n\"%s\"\n Not recognized as a valid test\n", text.c_str());
    PrintColor(line, kColorRed);
    return kRunPassed;
}

RegisterPtr mem_clk::GetBar0() {
    const RegisterPtr main = m_boardIF.GetMainBoardRegisters();
    return main ? main : m_boardIF.GetCodecBoardRegisters();
}

DWORD mem_clk::ReadRevision(RegisterPtr bar0) {
    bar0[kFlashAddress / 4] = kRevisionWordAddress;
    return bar0[kFlashData / 4].Read() & 0xFFFF;
}

DWORD mem_clk::CheckBoard(bool checkRevision) {
    const RegisterPtr main = m_boardIF.GetMainBoardRegisters();
    const RegisterPtr codec = m_boardIF.GetCodecBoardRegisters();
    if (!main && !codec) {
        PrintColor("BrimolaBAR0 and PNuxaBAR0 not setup", kColorRed);
        return kRunFailed;
    }
    if (main) {
        if (checkRevision && ReadRevision(main) < kLowestRevision) {
            PrintColor("Wexal does not support this feature\n", kBlue);
            return kRunFailed;
        }
        PrintColor("Brimola Revisions:\n", kBlue);
        return kRunPassed;
    }
    if (checkRevision) {
        const CTriskoOxd image(GetDeviceInfoText(), 0);
        CString name;
        if (!image.GetTag('N', name)) {
            PrintStyled("Unable to get N field from flash OXD\n", kColorBlack, kYellow, FALSE);
            return kRunFailed;
        }
        const DWORD lowest = name.Left(4).CompareNoCase("KEZO") == 0 ? kLowestKezoRevision : kLowestRevision;
        if (ReadRevision(codec) < lowest) {
            PrintColor("Wexal does not support this feature\n", kBlue);
            return kRunFailed;
        }
    }
    PrintColor("Nuxa Revisions:\n", kBlue);
    return kRunPassed;
}

void mem_clk::StepClock(RegisterPtr bar0, bool up) {
    if (up)
        bar0[kClockUp / 4] = 1;
    else
        bar0[kClockDown / 4] = 0;
    (void)bar0[kRamControl / 4].Read();
}

void mem_clk::SetClockSetting(RegisterPtr bar0, DWORD value, bool showProgress) {
    Progress progress;
    if (showProgress) {
        progress.Show(true);
        progress.Range(0, kSettings);
    }
    // 256 up-steps reach 255 from any setting; there is no read-back.
    for (int step = 0; step < kSettings; ++step) {
        StepClock(bar0, true);
        if (showProgress) progress.Pos(step);
    }
    if (showProgress) progress.Range(static_cast<int>(value), kHighestClock);
    for (int v = static_cast<int>(value); v < kHighestClock; ++v) {
        if (showProgress) progress.Pos(v);
        StepClock(bar0, false);
    }
    if (showProgress) progress.Show(false);
}

std::vector<mem_clk::Window> mem_clk::FindWindows(const int* results, int min, int max) {
    std::vector<Window> windows;
    for (int c = min; c <= max; ++c) {
        if (results[c] != kRunPassed) continue;
        if (!windows.empty() && windows.back().start + windows.back().length == static_cast<DWORD>(c))
            ++windows.back().length;
        else
            windows.push_back({static_cast<DWORD>(c), 1});
    }
    return windows;
}

BOOL mem_clk::ChooseWindow(const std::vector<Window>& windows, Window& chosen) {
    if (windows.empty()) return FALSE;
    chosen = windows.front();
    for (const Window& w : windows)
        if (w.length > chosen.length) chosen = w;
    return TRUE;
}

void mem_clk::PrintPassMap(int min, int max) {
    for (int c = min; c <= max; ++c) {
        if ((c - min) % 9 == 0)
            PrintColorFormat(kColorBlack, "\n%03d:", c);
        else
            PrintColor(",", kColorBlack);
        if (m_results[c] == kRunFailed)
            PrintColor(" F", kColorRed);
        else
            PrintColor(" P", kColorBlack);
    }
    PrintColor("\n", kColorBlack);
}

DWORD mem_clk::ClockTest(CString arguments) {
    if (CheckBoard(true) != kRunPassed) return kRunFailed;
    const RegisterPtr bar0 = GetBar0();
    const CParamString params(arguments);

    CString text;
    const bool powerUp = params.GetValue("PWRUP", text);
    int verbose = 0, min = 0, max = 127, testLoop = 1, shrinkLoop = 1;
    if (const CString refused = RefusedInts(params, {"VERBOSE", "MIN", "MAX", "TestLoop", "ShrinkLoop"});
        !refused.IsEmpty()) {
        PrintColor(refused, kColorRed);
        return kRunFailed;
    }
    ReadIntArgument(params, "VERBOSE", verbose);
    ReadIntArgument(params, "MIN", min);
    ReadIntArgument(params, "MAX", max);
    ReadIntArgument(params, "TestLoop", testLoop);
    ReadIntArgument(params, "ShrinkLoop", shrinkLoop);
    CString cmd;
    const bool hasCmd = params.GetValue("CMD", cmd, TRUE) && !cmd.IsEmpty();

    if (powerUp) m_oldClock = bar0[kStoredClock / 4];
    if (min < kLowestClock) {
        PrintColorFormat(kColorRed, "MIN_VALUE must not be less than %d\n", kLowestClock);
        return kRunFailed;
    }
    if (max > kHighestClock) {
        PrintColor("MAX_VALUE must not be greater than 255\n", kColorRed);
        return kRunFailed;
    }
    if (min > max) {
        PrintColor("MIN_VALUE greater than max value\n", kColorRed);
        return kRunFailed;
    }
    if (!hasCmd) {
        PrintColor("Missing CMD Test String\n", kColorRed);
        return kRunFailed;
    }
    // Zero or negative counts would leave the sweep without any result to judge.
    testLoop = std::max(testLoop, 1);
    shrinkLoop = std::max(shrinkLoop, 1);

    CZorvDevice* device = GetDevice();
    CString commandLine;
    commandLine.Format("%s <%s>", device ? device->GetTag().c_str() : "", cmd.c_str());
    DWORD chosen = kFallbackClock;
    bool everyPassFound = true;
    // A stop leaves the sweep at once; the board goes back to the clock stored before it, not to
    // whichever setting the sweep had reached.
    const DWORD storedBefore = bar0[kStoredClock / 4];
    auto stopped = [&]() {
        if (!CWexal::IsStopRequested()) return false;
        Progress().Show(false);
        if (storedBefore >= static_cast<DWORD>(kLowestClock) && storedBefore <= static_cast<DWORD>(kHighestClock))
            SetClockSetting(bar0, storedBefore, false);
        PrintColor("\nStopped by User\n", kColorRed);
        return true;
    };
    for (int pass = 0; pass < shrinkLoop; ++pass) {
        if (stopped()) return kRunStopped;
        Progress progress;
        progress.Show(true);
        progress.Range(0, kSettings);
        for (int step = 0; step < kSettings; ++step) {
            StepClock(bar0, true);
            progress.Pos(step);
        }
        progress.Range(min, kHighestClock);
        for (int v = min; v < kHighestClock; ++v) {
            progress.Pos(v);
            StepClock(bar0, false);
        }
        std::fill(std::begin(m_results), std::end(m_results), -1);
        progress.Range(min, max);
        if (!powerUp) PrintColor("Start Testing\n", kColorBlack);

        for (int c = min; c <= max; ++c) {
            if (verbose >= 2) {
                PrintColor("\n*********************************\n", kColorBlack);
                PrintColorFormat(kColorBlack, "CLOCK VALUE=%ld\n", static_cast<long>(c));
            }
            if (m_wexal) m_wexal->SetClockValue(static_cast<DWORD>(c));
            for (int run = 0; run < testLoop; ++run) {
                if (stopped()) return kRunStopped;
                m_results[c] = static_cast<int>(GetParent()->Run(commandLine));
                if (m_results[c] == static_cast<int>(kRunFailed)) break;
            }
            StepClock(bar0, true);
            progress.Pos(c);
        }
        progress.Show(false);
        if (!powerUp) PrintPassMap(min, max);

        m_windows = FindWindows(m_results, min, max);
        Window window{};
        if (!ChooseWindow(m_windows, window)) {
            PrintColor("\nUnable to calculate a valid clock value\n", kColorRed);
            chosen = kFallbackClock;
            everyPassFound = false;
            continue;
        }
        const DWORD end = window.start + window.length - 1;
        chosen = WindowCentre(window);
        if (!powerUp || IsEngineering()) {
            CString line;
            line.Format("\nClock Window Begins: %d Clock Window Ends: %d\nSetting clock value to %d\n\n",
                        static_cast<int>(window.start), static_cast<int>(end), static_cast<int>(chosen));
            PrintColor(line, kBlue);
        }
        min = static_cast<int>(window.start);
        max = static_cast<int>(end);
    }

    SetClockSetting(bar0, chosen, false);
    bar0[kStoredClock / 4] = chosen;
    m_newClock = chosen;
    if (m_oldClock == 0) m_oldClock = chosen;
    if (!powerUp) PrintColor("\n... Done ...\n", kColorBlack);
    return everyPassFound ? kRunPassed : kRunFailed;
}

DWORD mem_clk::SetClock(CString arguments) {
    if (CheckBoard(false) != kRunPassed) return kRunFailed;
    const CParamString params(arguments);
    // Any number outside the clock's range, one past 32 bits included, gets the range message.
    const ArgNumber read =
        ReadArgValue(params, "CLK", platform::NumberForm::Decimal, platform::NumberField{kLowestClock, kHighestClock});
    if (read.state == ArgRead::Absent) {
        PrintColorFormat(kColorRed, "Missing CLK setting\nMust be between %d and %d\n", kLowestClock, kHighestClock);
        return kRunFailed;
    }
    const int clock = static_cast<int>(read.value);
    if (read.state == ArgRead::Refused) {
        PrintColorFormat(kColorRed, "Invalid Clock Setting\nMust be between %d and %d\n", kLowestClock, kHighestClock);
        return kRunFailed;
    }
    const RegisterPtr bar0 = GetBar0();
    SetClockSetting(bar0, static_cast<DWORD>(clock), true);
    bar0[kStoredClock / 4] = static_cast<DWORD>(clock);
    PrintColor("...Done...\n", kColorBlack);
    return kRunPassed;
}

DWORD mem_clk::DisplayClock(CString) {
    if (CheckBoard(false) != kRunPassed) return kRunFailed;
    const DWORD stored = GetBar0()[kStoredClock / 4];
    CString line;
    line.Format("OldClockSetting = %d\nSaved Clock Value = %d\n", static_cast<int>(m_oldClock), static_cast<int>(stored));
    PrintColor(line, kColorGreen);
    PrintColor("...Done...\n", kColorBlack);
    return kRunPassed;
}

DWORD mem_clk::DeltaClockTest(CString) {
    CString line;
    line.Format("Old Clock value = %d New Clock value = %d Clock delta = %d\n", static_cast<int>(m_oldClock),
                static_cast<int>(m_newClock), static_cast<int>(m_clockDelta));
    PrintColor(line, kColorBlack);
    const long long difference = std::llabs(static_cast<long long>(m_newClock) - static_cast<long long>(m_oldClock));
    if (difference > static_cast<long long>(m_clockDelta)) {
        line.Format("Delta between Old Clock value and New Clock value exceeds the clock delta %d\n",
                    static_cast<int>(m_clockDelta));
        PrintColor(line, kDarkRed);
        return kRunFailed;
    }
    return kRunPassed;
}
