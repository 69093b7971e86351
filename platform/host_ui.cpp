// The host-provided main window and the non-blocking message boxes.
#include "host_ui.h"

#include <utility>

namespace {
CWnd* g_mainWnd = nullptr;
platform::MessageSink g_sink;
std::vector<platform::MessageRecord> g_history;
std::vector<CString> g_startupFaults;
}  // namespace

namespace platform {

void SetMainWnd(CWnd* wnd) { g_mainWnd = wnd; }
CWnd* GetMainWnd() { return g_mainWnd; }

int MessageBox(const char* text, const char* caption, UINT type) {
    CString t(text), c(caption);
    g_history.push_back({t, c, type});
    if (g_sink) g_sink(t, c);
    return IDOK;
}

void SetMessageBoxSink(MessageSink sink) { g_sink = std::move(sink); }
const std::vector<MessageRecord>& MessageBoxHistory() { return g_history; }
void ClearMessageBoxHistory() { g_history.clear(); }

void NoteStartupFault(const CString& reason) { g_startupFaults.push_back(reason); }
const std::vector<CString>& StartupFaults() { return g_startupFaults; }
void ClearStartupFaults() { g_startupFaults.clear(); }

}  // namespace platform
