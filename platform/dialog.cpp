// The dialog runners and the action reader they share with the host's terminal runner.
#include "dialog.h"

#include <cstdint>
#include <utility>

#include "number_text.h"

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
    if (action.verb == model.OkVerb()) {
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

void ScriptedDialogRunner::Step(DialogModel& model, Active& active) {
    const CString& line = active.script[active.next++];
    const DialogAction action = ParseDialogAction(line);
    if (action.verb == "wait") {
        // The whole word a count, never one cut to fit (a wait without end would hang the loop).
        constexpr NumberField kCount{0, INT32_MAX};
        const FieldScan count = action.args.empty() ? FieldScan{NumberFit::None, 0, "", false}
                                                    : ReadField(action.args[0].c_str(), NumberForm::Decimal, kCount);
        if (count.fit == NumberFit::OutOfRange)
            active.rec.errors.push_back(line + ": the count does not fit its range 0..2147483647");
        else if (count.fit == NumberFit::None || *count.end)
            active.rec.errors.push_back(line + ": needs a count of pumps");
        else
            active.wait = count.value;
        return;
    }
    CString error;
    const int result = ApplyDialogAction(model, action, error);
    if (!error.IsEmpty()) active.rec.errors.push_back(line + ": " + error);
    // A line pumped while this one ran may have closed the dialog already.
    if (active.rec.result == 0) active.rec.result = result;
}

int ScriptedDialogRunner::Run(DialogModel& model) {
    Active active;
    active.rec.title = model.GetTitle();
    active.rec.before = model.Describe();
    if (!m_scripts.empty()) {
        active.script = std::move(m_scripts.front());
        m_scripts.pop_front();
    }
    Active* const outer = std::exchange(m_active, &active);
    while (active.rec.result == 0 && active.next < active.script.size()) Step(model, active);
    m_active = outer;
    Record& rec = active.rec;
    if (rec.result == 0) {
        model.OnCancel();
        rec.result = IDCANCEL;
    }
    rec.after = model.Describe();
    m_history.push_back(rec);
    return rec.result;
}

bool ScriptedDialogRunner::Pump(DialogModel& model) {
    Active* const active = m_active;
    if (!active) return false;
    while (active->rec.result == 0) {
        if (active->wait > 0) {
            --active->wait;
            return true;
        }
        if (active->next >= active->script.size()) return false;
        const bool waits = ParseDialogAction(active->script[active->next]).verb == "wait";
        Step(model, *active);
        if (!waits) break;
    }
    return active->rec.result == 0;
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

bool PumpDialog(DialogModel& model) { return GetDialogRunner()->Pump(model); }

}  // namespace platform
