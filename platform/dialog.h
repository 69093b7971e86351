// Modal dialogs without windows: a model that describes itself and takes typed actions, and the runners.
#pragma once

#include <cstddef>
#include <deque>
#include <vector>

#include "cstring.h"
#include "host_ui.h"

namespace platform {

// One typed action on a dialog: a verb such as "add", "remove", "default", "ok" or "cancel" (always
// lower case), and its arguments.
struct DialogAction {
    CString verb;
    std::vector<CString> args;
};

// Reads an action line: words separated by blanks or tabs, double quotes group a word with blanks
// ('add "Color Bars" 2'); the first word is the verb. A blank line gives an empty verb.
DialogAction ParseDialogAction(const char* line);

// What a dialog shows and what can be done on it. OkVerb() and "cancel" are the runner's; every
// other verb goes to Apply.
class DialogModel {
public:
    virtual ~DialogModel() = default;
    virtual CString GetTitle() const = 0;
    // The verb of the button that closes the dialog through OnOk ("close" on a dialog whose only
    // closing button says Close).
    virtual CString OkVerb() const { return "ok"; }
    // What a person would see: lists, their selections, fields and the verbs that apply, as text.
    virtual CString Describe() const = 0;
    // false, with a message in error, when the action is unknown or not possible now.
    virtual bool Apply(const DialogAction& action, CString& error) = 0;
    // The dialog is about to close with OK; false (with a message) keeps it open, as a page that
    // refuses its data does.
    virtual bool OnOk(CString& error) { (void)error; return true; }
    virtual void OnCancel() {}
};

// Applies one action, the closing verbs included. Answers IDOK or IDCANCEL when the dialog has
// closed, 0 while it stays open (error then says why the action failed, or is empty).
int ApplyDialogAction(DialogModel& model, const DialogAction& action, CString& error);

// Runs one dialog to its end; answers IDOK or IDCANCEL.
//
// A stop ends a dialog: a runner that waits for a person also watches the host's stop flag, and once
// it is up (one Ctrl-C, before the dialog opened or while it waits) the dialog closes as Cancel
// closes it, at once and whatever was typed: OnCancel runs, Run answers IDCANCEL and Pump answers
// false. So a test never hangs in a dialog after a stop. A caller that gets IDCANCEL tells a stop
// from the operator's Cancel by the stop flag, which is still up when Run returns, and then ends
// as a stopped test does (result 3).
class DialogRunner {
public:
    virtual ~DialogRunner() = default;
    virtual int Run(DialogModel& model) = 0;
    // Called by a dialog that runs a loop of its own inside one of its actions: applies what has
    // arrived for it meanwhile, without waiting for more. Answers false when the loop must end:
    // the input has run out or the dialog has closed (Run then answers as it closed). A runner that
    // cannot deliver anything while a loop runs answers false, so no such loop runs for ever.
    virtual bool Pump(DialogModel& model) {
        (void)model;
        return false;
    }
};

// Nobody is there to answer: every dialog is cancelled at once and the model is not touched.
class HeadlessDialogRunner : public DialogRunner {
public:
    int Run(DialogModel& model) override;
};

// Answers dialogs from scripts queued ahead, one script per dialog, for tests. A script's lines are
// applied in order until one closes the dialog (lines after it are not applied); a script that ends
// with the dialog open, or a dialog with no script left, is cancelled. While the dialog runs a loop
// of its own, each Pump applies the next line; "wait N" lets the next N pumps pass without one.
class ScriptedDialogRunner : public DialogRunner {
public:
    struct Record {
        CString title;
        CString before;               // Describe() when the dialog opened
        CString after;                // Describe() when it closed
        std::vector<CString> errors;  // one per refused line
        int result = 0;
    };

    void Push(std::vector<CString> script);
    size_t Pending() const { return m_scripts.size(); }
    int Run(DialogModel& model) override;
    bool Pump(DialogModel& model) override;
    const std::vector<Record>& History() const { return m_history; }

private:
    // The dialog being run: its script, the next line, the pumps still to let pass.
    struct Active {
        std::vector<CString> script;
        size_t next = 0;
        long wait = 0;
        Record rec;
    };
    void Step(DialogModel& model, Active& active);

    std::deque<std::vector<CString>> m_scripts;
    std::vector<Record> m_history;
    Active* m_active = nullptr;
};

// Installs the runner DoModal uses (not owned; null goes back to the headless one) and answers the
// one it replaces, so a caller can put it back.
DialogRunner* SetDialogRunner(DialogRunner* runner);
DialogRunner* GetDialogRunner();
// Shows model through the current runner; IDOK or IDCANCEL.
int DoModal(DialogModel& model);
// The current runner's Pump, for a dialog running its own loop inside DoModal.
bool PumpDialog(DialogModel& model);

}  // namespace platform
