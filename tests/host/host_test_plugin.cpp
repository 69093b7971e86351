// A small test library for the host's tests: a keyed tree of tests that pass, fail, stop, print and ask.
// They print mark-up, raise a message box, rebuild the window through the notifications, move the
// progress bar and open a dialog.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "framework/result_screen.h"
#include "framework/test_base.h"
#include "framework/test_record.h"
#include "platform/dialog.h"
#include "platform/host_ui.h"

namespace {

class PassTest : public CTestBase {
public:
    DWORD Run(CString) override {
        Print("Checking the pass test\n");
        PrintColor("PASS\n", kColorGreen);
        return kRunPassed;
    }
};

// Red (RED and DKRED) lines with characters XML must escape, between black ones.
class FailTest : public CTestBase {
public:
    DWORD Run(CString) override {
        Print("Comparing words\n");
        PrintColor("Mismatch at <0x10>: expected 1 & got 2\n", kColorRed);
        Print("Address 0x14 ok\n");
        PrintColor("ERROR:  \"second\" failure", 0x0000C0);
        Print(" (after red on the same line)\n");
        return kRunFailed;
    }
};

// Polls the host's stop flag in real time; with "RAISE" in its command it interrupts the host
// itself first, as an operator pressing Ctrl-C would.
class PollTest : public CTestBase {
public:
    DWORD Run(CString command) override {
        Print("Polling the stop flag\n");
        if (command.Find("RAISE") >= 0) raise(SIGINT);
        for (int i = 0; i < 20000; ++i) {
            if (*g_StopFlag()) {
                PrintColor("Stopped by User\n", kColorRed);
                return kRunStopped;
            }
            usleep(1000);
        }
        PrintColor("The stop flag was never set\n", kColorRed);
        return kRunFailed;
    }
};

class MarkupTest : public CTestBase {
public:
    DWORD Run(CString) override {
        Print("one~*RED*~two~*BLACK*~three\n~*BACK_YELLOW*~hi~*BACK_WHITE*~ ~*ULINE*~under~*NO_ULINE*~ ~*PINK*~\n");
        return kRunPassed;
    }
};

class MessageBoxTest : public CTestBase {
public:
    DWORD Run(CString) override {
        Print("Before the box\n");
        platform::MessageBox("ERROR:  Couldn't open file missing.bin", "HostTest", platform::MB_OK);
        Print("After the box\n");
        return kRunPassed;
    }
};

// Reads the window, empties it and puts it back with a summary after it, as the image tests do;
// passes when the host handed the text over both ways.
class WindowTest : public CTestBase {
public:
    DWORD Run(CString) override {
        Print("window line\n");
        CResultScreen& screen = GetResultScreen();
        CString saved;
        screen.NotifyHost(reinterpret_cast<uintptr_t>(&saved));
        if (saved.Find("window line\n") < 0) return kRunFailed;
        screen.Clear();
        Print("summary line\n");
        CString summary;
        screen.NotifyHost(reinterpret_cast<uintptr_t>(&summary));
        if (summary != "summary line\n") return kRunFailed;
        screen.NotifyHostResult(reinterpret_cast<uintptr_t>(&saved), TRUE);
        screen.NotifyHostResult(reinterpret_cast<uintptr_t>(&summary), FALSE);
        CString rebuilt;
        screen.NotifyHost(reinterpret_cast<uintptr_t>(&rebuilt));
        return rebuilt == saved + summary ? kRunPassed : kRunFailed;
    }
};

// Ignores the stop flag for a long time: only a second Ctrl-C ends the host early.
class StubbornTest : public CTestBase {
public:
    DWORD Run(CString) override {
        Print("Ignoring the stop flag\n");
        for (int i = 0; i < 20000; ++i) usleep(1000);
        return kRunPassed;
    }
};

class RigTest : public CTestBase {
public:
    DWORD Run(CString) override {
        Print(CString("PEXANO_RIG=") + (std::getenv("PEXANO_RIG") ? std::getenv("PEXANO_RIG") : "(unset)") + "\n");
        return kRunPassed;
    }
};

class ProgressTest : public CTestBase {
public:
    DWORD Run(CString) override {
        CWnd* main = platform::GetMainWnd();
        // Item 1034 is the progress control by contract.
        auto* bar = main ? static_cast<CProgressCtrl*>(main->GetDlgItem(kProgressCtrlId)) : nullptr;
        if (!bar) return kRunFailed;
        bar->ShowWindow(1);
        bar->SetRange32(0, 200);
        bar->SetPos(100);
        if (bar->GetPos() != 100) return kRunFailed;
        bar->SetPos(200);
        bar->ShowWindow(SW_HIDE);
        Print("progress done\n");
        return kRunPassed;
    }
};

// A dialog with one counter: "add" counts up.
class CounterDialog : public platform::DialogModel {
public:
    CString GetTitle() const override { return "Counter"; }
    CString Describe() const override {
        CString text;
        text.Format("Count: %d\nVerbs: add\n", m_count);
        return text;
    }
    bool Apply(const platform::DialogAction& action, CString& error) override {
        if (action.verb != "add") {
            error = "Only add is known";
            return false;
        }
        ++m_count;
        return true;
    }
    int m_count = 0;
};

class DialogTest : public CTestBase {
public:
    DWORD Run(CString) override {
        CounterDialog dialog;
        const int answer = platform::DoModal(dialog);
        CString text;
        text.Format("Dialog answered %d, count %d\n", answer, dialog.m_count);
        Print(text);
        return answer == platform::IDOK && dialog.m_count == 1 ? kRunPassed : kRunFailed;
    }
};

class DocumentedTest : public CTestBase {
public:
    DWORD Run(CString) override { return kRunPassed; }
    // Shows what the host asked about, so a lost command text shows.
    DWORD Help(CString command) override {
        Print("Help on [" + command + "]\n");
        return CTestBase::Help(command);
    }
    void ShowHelp() override { Print("Usage: Documented ~*BLUE*~VERBOSE~*BLACK*~=n\n"); }
};

PassTest g_pass;
FailTest g_fail;
PollTest g_poll;
MarkupTest g_markup;
MessageBoxTest g_box;
WindowTest g_window;
DocumentedTest g_documented;
StubbornTest g_stubborn;
RigTest g_rig;
ProgressTest g_progress;
DialogTest g_dialog;

// Published out of key order, so only the key pass puts them in the order the host must show.
struct Publisher {
    Publisher() {
        CTestRegistry& r = CTestRegistry::Instance();
        r.AddTest("Host`+1\\Basic`+1\\Fail`+2", "FailTest", 1, &g_fail, "HostDev <Fail>");
        r.AddTest("Host`+1\\Basic`+1\\Pass`+1", "PassTest", 1, &g_pass, "HostDev <Pass>");
        r.AddTest("Host`+1\\Basic`+1\\Markup`+3", "MarkupTest", 1, &g_markup, "HostDev <Markup>");
        r.AddTest("Host`+1\\Basic`+1\\MessageBox`+4", "MessageBoxTest", 1, &g_box, "HostDev <Box>");
        r.AddTest("Host`+1\\Basic`+1\\Window`+5", "WindowTest", 1, &g_window, "HostDev <Window>");
        r.AddTest("Host`+1\\Stop`-2\\Poll`+1", "PollTest", 1, &g_poll, "HostDev <Poll>");
        r.AddTest("Host`+1\\Stop`-2\\RaiseAndPoll`+2", "PollTest", 1, &g_poll, "HostDev <Poll RAISE>");
        r.AddTest("Host`+1\\Extra`=3\\Documented`#1", "DocumentedTest", 1, &g_documented, "HostDev <Doc>");
        r.AddTest("Host`+1\\Extra`=3\\Skipped`-2", "PassTest", 1, &g_pass, "HostDev <Pass>");
        r.AddTest("Host`+1\\Extra`=3\\Rig`+3", "RigTest", 1, &g_rig, "HostDev <Rig>");
        r.AddTest("Host`+1\\Extra`=3\\Progress`+4", "ProgressTest", 1, &g_progress, "HostDev <Progress>");
        r.AddTest("Host`+1\\Extra`=3\\Dialog`+5", "DialogTest", 1, &g_dialog, "HostDev <Dialog>");
        r.AddTest("Host`+1\\Stop`-2\\Stubborn`+3", "StubbornTest", 1, &g_stubborn, "HostDev <Stubborn>");
        r.AddTest("Top`+0", "PassTest", 1, &g_pass, "HostDev <Pass>");
        CTestBase::BufferPreHostText("Test plug-in loaded\n");
    }
    // Leaves a mark in the current folder, so a test can tell the host unloaded the library.
    ~Publisher() {
        if (FILE* f = std::fopen("Unloaded", "w")) std::fclose(f);
    }
} g_publisher;

}  // namespace
