// The peak-temperature monitor: a dialog that samples the main board's four sensors until stopped.
#pragma once

#include "framework/tree_map_tb.h"
#include "platform/clock.h"
#include "platform/dialog.h"

// Samples "LTEMP", "1TEMP", "2TEMP" and "3TEMP" of the board's sensor in a loop of its own (verb
// "begin") until "end", a sensor stuck at 200 or more, the end of the runner's input or the host's
// stop request; keeps the highest reading of each for the dialog's life and reports new peaks in its
// text. With FILE= in the parameters every sample is appended to that log, lines ended by CR CR LF
// (see GetLogFailure for a log that cannot take them).
// "close" ends the dialog, only while no loop runs.
class CBrimolaPeakTempsDlg : public platform::DialogModel {
public:
    static constexpr int kSensors = 4;

    // unique 1: a line per risen peak and the peaks when the loop ends; 0: a line of all four peaks
    // when one rises; other values: no peak lines. parent is not used (the dialog has no window).
    CBrimolaPeakTempsDlg(CWexalTreeMapTB* board, const CString& parameters, int unique, void* parent);

    // Runs the dialog through the current dialog runner; IDOK after "close", else IDCANCEL.
    int DoModal();
    // The highest reading so far: 0 Local, 1 Wexal, 2 Kerzil, 3 SulvethA (0 for any other index).
    DWORD GetPeak(int sensor) const;
    const CString& GetText() const { return m_text; }
    // The report of the last line that did not reach the FILE= log, "" while none was lost: a log
    // with lines missing must not pass for a whole one.
    const CString& GetLogFailure() const { return m_logFailure; }

    // Whether each sampling cycle also waits 1 ms of real time: only on the virtual clock, for an
    // operator at a terminal answering through an interactive runner, so a watched loop runs at the
    // pace of the board (on the real clock every wait is real already). Runs answered by nobody or
    // by a script stay on the virtual clock and take no real time.
    static bool WaitsInRealTime(platform::ClockMode mode, const platform::DialogRunner* runner, bool terminal);

    CString GetTitle() const override { return "Brimola Peak Temperatures"; }
    CString Describe() const override;
    bool Apply(const platform::DialogAction& action, CString& error) override;
    CString OkVerb() const override { return "close"; }
    bool OnOk(CString& error) override;
    void OnCancel() override { m_looping = false; }

private:
    void OnBeginLoop();
    // Appends to the log named by FILE=, creating it; nothing when there is none.
    void Log(const CString& line);

    CWexalTreeMapTB* m_board;
    CString m_parameters;
    int m_unique;
    CString m_logFile;
    DWORD m_peak[kSensors] = {};
    bool m_looping = false;
    CString m_text;  // what the edit box shows
    CString m_logFailure;
};
