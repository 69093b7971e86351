// The terminal dialog runner.
#include "host/terminal_dialog.h"

#include <string>

namespace {

std::string Show(platform::DialogModel& model) {
    std::string text = "\n=== " + model.GetTitle().str() + " ===\n" + model.Describe().str();
    if (text.back() != '\n') text += '\n';
    return text;
}

}  // namespace

int TerminalDialogRunner::Run(platform::DialogModel& model) {
    m_out.EnsureLineStart();
    m_out.WriteHostText(Show(model));
    for (;;) {
        m_out.WriteHostText("(action, ok or cancel)> ");
        m_out.FlushStreams();
        std::string line;
        int ch;
        while ((ch = fgetc(m_in)) != EOF && ch != '\n') line += static_cast<char>(ch);
        if (ch == EOF && line.empty()) {
            m_out.WriteHostText("\n");
            platform::DialogAction cancel{"cancel", {}};
            CString ignored;
            return platform::ApplyDialogAction(model, cancel, ignored);
        }
        m_out.WriteToLog(line + "\n");
        const platform::DialogAction action = platform::ParseDialogAction(line.c_str());
        if (action.verb.IsEmpty()) continue;
        CString error;
        const int result = platform::ApplyDialogAction(model, action, error);
        if (result == platform::IDOK || result == platform::IDCANCEL) return result;
        if (!error.IsEmpty()) m_out.WriteHostText("  " + error.str() + "\n", 0x0000FF);
        m_out.WriteHostText(Show(model));
    }
}
