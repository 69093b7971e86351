// The dialog runner for a person at a terminal: shows the dialog as text and reads actions from stdin.
#pragma once

#include <cstdio>

#include "host/output_renderer.h"
#include "platform/dialog.h"

// Shows the dialog's title and description, then reads one action a line ("add NAME", "remove 2",
// "ok", "cancel", ...) until the dialog closes. The end of input cancels it.
class TerminalDialogRunner : public platform::DialogRunner {
public:
    TerminalDialogRunner(OutputRenderer& out, FILE* in) : m_out(out), m_in(in) {}
    int Run(platform::DialogModel& model) override;

private:
    OutputRenderer& m_out;
    FILE* m_in;
};
