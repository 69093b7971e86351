// The dialog runner for a person at a terminal: shows the dialog as text and reads actions from stdin.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "host/output_renderer.h"
#include "platform/dialog.h"

// Where the operator sees a dialog: out while it is a terminal, else err when that is one, else the
// controlling terminal (opened at the first call that needs it and kept while the process runs);
// out when there is none.
FILE* DialogScreen(FILE* out, FILE* err);

// Shows the dialog's title and description, then reads one action a line ("add NAME", "remove 2",
// "ok", "cancel", ...) until the dialog closes. The end of input cancels it. While the dialog runs
// a loop of its own, a line is applied only when a whole one is already waiting.
// The input is read through its descriptor, past the stream's own buffer: nothing else may read it.
// The host's stop flag (when given) ends a dialog as cancelled, at once, as platform/dialog.h asks:
// a wait for input looks at it at least every kStopPollMs, and whenever a signal cuts the wait short.
// The dialog is drawn on screen (null: the renderer's own stream); the log gets it either way, with
// what was typed.
class TerminalDialogRunner : public platform::DialogRunner {
public:
    static constexpr int kStopPollMs = 50;

    TerminalDialogRunner(OutputRenderer& out, FILE* in, const int* stopFlag = nullptr, FILE* screen = nullptr)
        : m_out(out), m_in(in), m_stopFlag(stopFlag), m_screen(screen) {}
    int Run(platform::DialogModel& model) override;
    bool Pump(platform::DialogModel& model) override;

private:
    enum class Input { kLine, kNone, kEnd, kStopped };
    // The next line; with wait false, kNone at once when no whole line is there yet. kStopped as
    // soon as the stop flag is up, before anything typed.
    Input ReadLine(std::string& line, bool wait);
    bool StopRequested() const;
    // Closes the dialog as Cancel does, saying why.
    int Cancel(platform::DialogModel& model, const char* why);
    // Applies a typed line; answers IDOK or IDCANCEL when it closed the dialog, else 0.
    int Step(platform::DialogModel& model, const std::string& line);
    void Prompt(platform::DialogModel& model);
    void Draw(std::string_view text, COLORREF color = OutputRenderer::kDefaultColor);
    void FlushScreen();

    OutputRenderer& m_out;
    FILE* m_in;
    const int* m_stopFlag;
    FILE* m_screen;
    std::string m_pending;  // read past the last line handed out
    bool m_ended = false;
    int m_closedInLoop = 0;  // the result of a line that closed the dialog while its loop ran
    bool m_looping = false;  // a pump has shown the dialog since the last line was applied
};
