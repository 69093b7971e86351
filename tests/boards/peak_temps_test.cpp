// Tests of the peak-temperature monitor: peak lines by mode, its log, bad readings, and what ends its loop.
#include "boards/tcl/brimola_peak_temps_dlg.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "framework/test_record.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"

namespace {

using platform::IDCANCEL;
using platform::IDOK;

const std::string kHeader = "Local, Wexal, Kerzil, SulvethA : MaxLocal, MaxWexal, MaxKerzil, MaxSulvethA\r\r\n";
const std::string kSample = "30, 45, 40, 42 : 30, 45, 40, 42\r\r\n";  // the default rig's sensors
const std::string kAllPeaks = "Local[30]  Wexal[45] Kerzil[40]  SulvethA[42]\r\r\n";
const std::string kEachPeak = "Local:  30\r\r\nWexal:  45\r\r\nKerzil:  40\r\r\nSulvethA:  42\r\r\n";

// The monitor on Brimola1 of the rig in place, answered by a script; the log goes to the fresh current folder.
class PeakTemps : public support::RigTest {
protected:
    PeakTemps() { platform::SetDialogRunner(&runner); }
    ~PeakTemps() override {
        platform::SetDialogRunner(nullptr);
        *g_StopFlag() = 0;
    }
    // Runs a new monitor with the script; answers its result and keeps the monitor in dlg.
    int Run(const char* parameters, int unique, std::vector<CString> script) {
        board = std::make_unique<support::RecordingTreeTest>("CBrimolaBoard");
        EXPECT_EQ(board->SetupDevice("Brimola1"), 1u) << board->out.text;
        dlg = std::make_unique<CBrimolaPeakTempsDlg>(board.get(), parameters, unique, nullptr);
        runner.Push(std::move(script));
        return dlg->DoModal();
    }
    std::string Log() const { return cwd.Dir().Read("peak.log"); }

    support::InTempCwd cwd;
    platform::ScriptedDialogRunner runner;
    std::unique_ptr<support::RecordingTreeTest> board;
    std::unique_ptr<CBrimolaPeakTempsDlg> dlg;
};

TEST_F(PeakTemps, ModesScriptsAndStopDecideTextCyclesAndResult) {
    // Each cycle logs one sample: "wait N" lets N pumps pass, so N + 1 cycles run before the next
    // line; the end of the script and the host's stop request end the loop like "end".
    struct Row { const char* name; int unique; const char* params; std::vector<CString> script; bool stop;
                 std::string text; int cycles; int result; size_t errors; };
    const Row rows[] = {
        {"mode 0: one line of all peaks", 0, "PEAK=1 FILE=peak.log", {"begin", "end", "close"}, false, kAllPeaks, 1, IDOK, 0},
        {"mode 1: a line per peak, the peaks at the end", 1, "FILE=peak.log", {"begin", "wait 2", "end", "close"}, false,
         kEachPeak + "\r\r\n" + kEachPeak, 3, IDOK, 0},
        {"other modes: no peak lines; the script runs out", 7, "FILE=peak.log", {"begin", "wait 3"}, false, "", 4, IDCANCEL, 0},
        {"the stop request ends the loop", 0, "FILE=peak.log", {"begin", "wait 50", "close"}, true, kAllPeaks, 1, IDOK, 0},
        {"close refused while looping; cancel ends loop and dialog", 0, "FILE=peak.log",
         {"begin", "close", "begin", "cancel", "close"}, false, kAllPeaks, 3, IDCANCEL, 2},
        {"no FILE: no log", 0, "UNIQUE=0", {"begin", "end", "close"}, false, kAllPeaks, -1, IDOK, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        *g_StopFlag() = row.stop;
        std::filesystem::remove(cwd.Dir().File("peak.log"));
        EXPECT_EQ(Run(row.params, row.unique, row.script), row.result);
        EXPECT_EQ(dlg->GetText().str(), row.text);
        EXPECT_EQ(runner.History().back().errors.size(), row.errors);
        std::string log = row.cycles < 0 ? "" : kHeader;
        for (int i = 0; i < row.cycles; ++i) log += kSample;
        EXPECT_EQ(Log(), log);
        EXPECT_EQ(std::filesystem::exists(cwd.Dir().File("peak.log")), row.cycles >= 0);
        EXPECT_FALSE(std::filesystem::exists(cwd.Dir().File("PEAK.LOG")));  // created as written, not upper-cased
    }
}

TEST_F(PeakTemps, UpToFortyNineBadReadingsAreReadPastAndTheFiftiethEndsTheLoop) {
    // The fiftieth bad reading in a row ends the loop with the sensor's line: "close" is the next
    // script line, and it is accepted.
    struct Row { const char* fault; int unique; std::vector<CString> script; std::string text, log; };
    const std::string zeros = "\r\r\nLocal:  0\r\r\nWexal:  0\r\r\nKerzil:  0\r\r\nSulvethA:  0\r\r\n";
    const Row rows[] = {
        {R"("sensor": "1TEMP", "value": 200)", 0, {"begin", "close"}, "Wexal temp reading > 200\r\r\n", kHeader + "Wexal temp reading > 200\r\r\n"},
        {R"("sensor": "3TEMP", "value": 255, "count": 50)", 1, {"begin", "close"}, "SulvethA temp reading > 200\r\r\n" + zeros,
         kHeader + "SulvethA temp reading > 200\r\r\n"},
        // 49 readings of 200, then the diode recovers: the first sample reads 45, no peak rises in the second loop.
        {R"("sensor": "1TEMP", "value": 200, "count": 49)", 0, {"begin", "end", "begin", "end", "close"}, kAllPeaks,
         kHeader + kSample + kHeader + kSample},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        std::filesystem::remove(cwd.Dir().File("peak.log"));
        support::ScopedRig rig(support::MainBoardRig(R"([{"kind": "sensor_bad_reading", "board": "Brimola1", )" + std::string(row.fault) + "}]"));
        EXPECT_EQ(Run("FILE=peak.log", row.unique, row.script), IDOK);
        EXPECT_EQ(dlg->GetText().str(), row.text);
        EXPECT_EQ(Log(), row.log);
        EXPECT_EQ(runner.History().back().errors.size(), 0u);
    }
    // The last monitor's peaks, and its buttons as the ended loop leaves them.
    const DWORD peaks[] = {30, 45, 40, 42, 0};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(dlg->GetPeak(i), peaks[i]);
    EXPECT_NE(dlg->Describe().Find("begin \"&Begin Loop\" enabled, end \"&End Loop\" disabled"), -1) << dlg->Describe().str();
}

// A runner that an operator answers, as the host's terminal runner is.
class OperatorRunner : public platform::DialogRunner {
public:
    int Run(platform::DialogModel&) override { return IDCANCEL; }
};

TEST(PeakTempsPacing, OnlyAnOperatorAtATerminalOnTheVirtualClockWaitsInRealTime) {
    OperatorRunner atTerminal;
    platform::HeadlessDialogRunner nobody;
    platform::ScriptedDialogRunner script;
    using platform::ClockMode;
    const struct {
        const char* name;
        ClockMode mode;
        const platform::DialogRunner* runner;
        bool terminal;
        bool realTime;
    } rows[] = {
        {"an operator on the virtual clock", ClockMode::Virtual, &atTerminal, true, true},
        {"the real clock waits in real time already", ClockMode::Real, &atTerminal, true, false},
        {"no terminal: input comes from a file or pipe", ClockMode::Virtual, &atTerminal, false, false},
        {"nobody answers", ClockMode::Virtual, &nobody, true, false},
        {"a script answers", ClockMode::Virtual, &script, true, false},
        {"no runner", ClockMode::Virtual, nullptr, true, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(CBrimolaPeakTempsDlg::WaitsInRealTime(row.mode, row.runner, row.terminal), row.realTime) << row.name;
}

}  // namespace
