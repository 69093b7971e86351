// The dialog runners and the action reader they share with the host's terminal runner.
#include "dialog.h"

#include <utility>

namespace platform {

DialogAction ParseDialogAction(const char* line) {
    DialogAction action;
    std::vector<CString> words;
    const char* p = line ? line : "";
    while (*p) {
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
        if (!*p) break;
        std::string word;
        bool quoted = false;
        for (; *p && (quoted || (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n')); ++p) {
            if (*p == '"') quoted = !quoted;
            else word += *p;
        }
        words.emplace_back(word);
    }
    if (words.empty()) return action;
    action.verb = words.front();
    action.verb.MakeLower();
    action.args.assign(words.begin() + 1, words.end());
    return action;
}

int ApplyDialogAction(DialogModel& model, const DialogAction& action, CString& error) {
    error.Empty();
    if (action.verb.IsEmpty()) return 0;
    if (action.verb == "cancel") {
        model.OnCancel();
        return IDCANCEL;
    }
    if (action.verb == "ok") {
        if (model.OnOk(error)) return IDOK;
        if (error.IsEmpty()) error = "The dialog refused OK";
        return 0;
    }
    if (!model.Apply(action, error) && error.IsEmpty()) error.Format("Cannot %s here", action.verb.c_str());
    return 0;
}

int HeadlessDialogRunner::Run(DialogModel& model) {
    (void)model;
    return IDCANCEL;
}

void ScriptedDialogRunner::Push(std::vector<CString> script) { m_scripts.push_back(std::move(script)); }

int ScriptedDialogRunner::Run(DialogModel& model) {
    Record rec;
    rec.title = model.GetTitle();
    rec.before = model.Describe();
    if (!m_scripts.empty()) {
        std::vector<CString> script = std::move(m_scripts.front());
        m_scripts.pop_front();
        for (const CString& line : script) {
            CString error;
            rec.result = ApplyDialogAction(model, ParseDialogAction(line), error);
            if (!error.IsEmpty()) rec.errors.push_back(line + ": " + error);
            if (rec.result != 0) break;
        }
    }
    if (rec.result == 0) {
        model.OnCancel();
        rec.result = IDCANCEL;
    }
    rec.after = model.Describe();
    m_history.push_back(rec);
    return rec.result;
}

namespace {
HeadlessDialogRunner g_headless;
DialogRunner* g_runner = nullptr;
}  // namespace

DialogRunner* SetDialogRunner(DialogRunner* runner) {
    DialogRunner* previous = GetDialogRunner();
    g_runner = runner;
    return previous;
}

DialogRunner* GetDialogRunner() { return g_runner ? g_runner : &g_headless; }

int DoModal(DialogModel& model) { return GetDialogRunner()->Run(model); }

}  // namespace platform
