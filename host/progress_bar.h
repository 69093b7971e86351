// The host's progress control (dialog item 1034 of its main window), drawn as a bar on stderr.
#pragma once

#include <cstdio>

#include "platform/host_ui.h"

// Draws only when enabled (stderr is a terminal) and shown; redraws only when what it shows
// changes, so a test moving it every few bytes costs little.
class ProgressBar : public CProgressCtrl {
public:
    ProgressBar(FILE* out, bool enabled) : m_out(out), m_enabled(enabled) {}

    void ShowWindow(int cmd) override;
    void SetRange32(int lower, int upper) override;
    int SetPos(int pos) override;
    int GetPos() const override { return m_pos; }

    bool IsShown() const { return m_shown; }
    // Erases the bar from the terminal line (it comes back at the next change).
    void ClearLine();

    static constexpr int kWidth = 40;

private:
    void Draw();

    FILE* m_out;
    bool m_enabled;
    bool m_shown = false;
    bool m_drawn = false;
    int m_lower = 0;
    int m_upper = 100;
    int m_pos = 0;
    int m_lastFilled = -1;
    int m_lastPercent = -1;
};

// The host's main window: its dialog item 1034 is the progress bar.
class MainWindow : public CWnd {
public:
    explicit MainWindow(ProgressBar& progress) : m_progress(progress) {}
    CWnd* GetDlgItem(int id) override { return id == kProgressCtrlId ? &m_progress : nullptr; }

private:
    ProgressBar& m_progress;
};
