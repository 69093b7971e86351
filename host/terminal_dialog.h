// The dialog runner for a person at a terminal: shows the dialog as text and reads actions from stdin.
#pragma once

#include <cstdio>
#include <string>

#include "host/output_renderer.h"
#include "platform/dialog.h"

// Shows the dialog's title and description, then reads one action a line ("add NAME", "remove 2",
// "ok", "cancel", ...) until the dialog closes. The end of input cancels it. While the dialog runs
// a loop of its own, a line is applied only when a whole one is already waiting.
// The input is read through its descriptor, past the stream's own buffer: nothing else may read it.
class TerminalDialogRunner : public platform::DialogRunner {
public:
    TerminalDialogRunner(OutputRenderer& out, FILE* in) : m_out(out), m_in(in) {}
    int Run(platform::DialogModel& model) override;
    bool Pump(platform::DialogModel& model) override;

private:
    enum class Input { kLine, kNone, kEnd };
    // The next line; with wait false, kNone at once when no whole line is there yet.
    Input ReadLine(std::string& line, bool wait);
    // Applies a typed line; answers IDOK or IDCANCEL when it closed the dialog, else 0.
    int Step(platform::DialogModel& model, const std::string& line);
    void Prompt(platform::DialogModel& model);

    OutputRenderer& m_out;
    FILE* m_in;
    std::string m_pending;  // read past the last line handed out
    bool m_ended = false;
    int m_closedInLoop = 0;  // the result of a line that closed the dialog while its loop ran
    bool m_looping = false;  // a pump has shown the dialog since the last line was applied
};
