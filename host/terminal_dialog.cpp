// The terminal dialog runner.
#include "host/terminal_dialog.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

std::string Show(platform::DialogModel& model) {
    std::string text = "\n=== " + model.GetTitle().str() + " ===\n" + model.Describe().str();
    if (text.back() != '\n') text += '\n';
    return text;
}

}  // namespace

FILE* DialogScreen(FILE* out, FILE* err) {
    if (isatty(fileno(out))) return out;
    if (isatty(fileno(err))) return err;
    static FILE* const tty = fopen("/dev/tty", "we");
    return tty ? tty : out;
}

bool TerminalDialogRunner::StopRequested() const {
    return m_stopFlag && __atomic_load_n(m_stopFlag, __ATOMIC_SEQ_CST) != 0;
}

TerminalDialogRunner::Input TerminalDialogRunner::ReadLine(std::string& line, bool wait) {
    for (;;) {
        if (StopRequested()) return Input::kStopped;
        if (const size_t eol = m_pending.find('\n'); eol != std::string::npos) {
            line = m_pending.substr(0, eol);
            m_pending.erase(0, eol + 1);
            return Input::kLine;
        }
        if (m_ended) {
            if (m_pending.empty()) return Input::kEnd;
            line = std::exchange(m_pending, std::string());
            return Input::kLine;
        }
        const int fd = fileno(m_in);
        if (fd < 0) {  // a stream in memory never waits
            const int ch = fgetc(m_in);
            if (ch == EOF) m_ended = true;
            else m_pending += static_cast<char>(ch);
            continue;
        }
        // Never a wait the stop flag cannot end: a signal that comes just before it would not cut it short.
        pollfd ready{fd, POLLIN, 0};
        const int polled = poll(&ready, 1, wait ? kStopPollMs : 0);
        if (polled == 0 && !wait) return Input::kNone;
        if (polled <= 0) continue;  // time to look at the stop flag again, or a signal did
        char buffer[256];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) m_pending.append(buffer, static_cast<size_t>(n));
        else if (n == 0 || (errno != EINTR && errno != EAGAIN)) m_ended = true;
    }
}

void TerminalDialogRunner::Draw(std::string_view text, COLORREF color) { m_out.WriteHostTextOn(m_screen, text, color); }

void TerminalDialogRunner::FlushScreen() {
    m_out.FlushStreams();
    if (m_screen) fflush(m_screen);
}

void TerminalDialogRunner::Prompt(platform::DialogModel& model) {
    Draw("(action, " + model.OkVerb().str() + " or cancel)> ");
    FlushScreen();
}

int TerminalDialogRunner::Cancel(platform::DialogModel& model, const char* why) {
    Draw(std::string("\n") + why);
    FlushScreen();
    CString ignored;
    return platform::ApplyDialogAction(model, platform::DialogAction{"cancel", {}}, ignored);
}

int TerminalDialogRunner::Step(platform::DialogModel& model, const std::string& line) {
    m_out.WriteToLog(line + "\n");
    const platform::DialogAction action = platform::ParseDialogAction(line.c_str());
    if (action.verb.IsEmpty()) return 0;
    m_looping = false;
    CString error;
    const int result = platform::ApplyDialogAction(model, action, error);
    if (result == platform::IDOK || result == platform::IDCANCEL) return result;
    if (m_closedInLoop) return m_closedInLoop;
    if (!error.IsEmpty()) Draw("  " + error.str() + "\n", 0x0000FF);
    Draw(Show(model));
    return 0;
}

int TerminalDialogRunner::Run(platform::DialogModel& model) {
    const int outer = std::exchange(m_closedInLoop, 0);
    m_out.EnsureLineStart();
    Draw(Show(model));
    int result = 0;
    while (result == 0) {
        Prompt(model);
        std::string line;
        const Input input = ReadLine(line, true);
        if (input == Input::kStopped) result = Cancel(model, "Stopped: the dialog is cancelled.\n");
        else if (input == Input::kEnd) result = Cancel(model, "");
        else result = Step(model, line);
    }
    m_closedInLoop = outer;
    return result;
}

bool TerminalDialogRunner::Pump(platform::DialogModel& model) {
    if (m_closedInLoop) return false;
    if (!m_looping) {  // show what the loop has enabled, once per applied line
        Draw(Show(model));
        Prompt(model);
        m_looping = true;
    }
    std::string line;
    const Input input = ReadLine(line, false);
    if (input == Input::kNone) return true;
    if (input == Input::kEnd) return false;
    m_closedInLoop = input == Input::kStopped ? Cancel(model, "Stopped: the dialog is cancelled.\n") : Step(model, line);
    if (m_closedInLoop) return false;
    m_looping = true;
    Prompt(model);
    return true;
}
