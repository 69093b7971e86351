// A small test library for the host's tests: a keyed tree of tests that pass, fail, stop, print and ask.
// They print mark-up, raise a message box, rebuild the window through the notifications, move the
// progress bar and open a dialog.
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "framework/result_screen.h"
#include "framework/test_base.h"
#include "framework/test_record.h"
#include "platform/dialog.h"
#include "platform/files.h"
#include "platform/host_ui.h"
#include "platform/paths.h"

namespace {

// A test whose run is the function given.
struct FnTest : CTestBase {
    explicit FnTest(std::function<DWORD(FnTest&, CString)> fn) : run(std::move(fn)) {}
    DWORD Run(CString command) override { return run(*this, command); }
    std::function<DWORD(FnTest&, CString)> run;
};

FnTest g_pass([](FnTest& t, CString) {
    return t.Print("one~*RED*~two~*BLACK*~three\n~*BACK_YELLOW*~hi~*BACK_WHITE*~ ~*ULINE*~under~*NO_ULINE*~ ~*PINK*~\n"), kRunPassed;
});

// Red (RED and DKRED) lines with characters XML must escape, between black ones.
FnTest g_fail([](FnTest& t, CString) {
    t.PrintColor("Mismatch at <0x10>: expected 1 & got 2\n", kColorRed);
    t.PrintColor("ERROR:  \"second\" failure", 0x0000C0);
    t.Print(" (after red on the same line)\n");
    return kRunFailed;
});

// Polls the host's stop flag in real time; with "RAISE" in its command it interrupts the host
// itself first, as an operator pressing Ctrl-C would.
FnTest g_poll([](FnTest& t, CString command) {
    if (command.Find("RAISE") >= 0) raise(SIGINT);
    for (int i = 0; i < 20000; ++i, usleep(1000))
        if (*g_StopFlag()) return t.PrintColor("Stopped by User\n", kColorRed), kRunStopped;
    return kRunFailed;
});

// Ignores the stop flag for a long time: only a second Ctrl-C ends the host early.
FnTest g_stubborn([](FnTest&, CString) {
    for (int i = 0; i < 20000; ++i) usleep(1000);  // a signal cuts one short sleep only
    return kRunPassed;
});

// Reads the window, empties it and puts it back with a summary after it, as the image tests do;
// passes when the host handed the text over both ways. A message box comes first.
FnTest g_window([](FnTest& t, CString) {
    t.Print("Before the box\n");
    platform::MessageBox("ERROR:  Couldn't open file missing.bin", "HostTest", platform::MB_OK);
    t.Print("window line\n");
    CResultScreen& screen = GetResultScreen();
    CString saved, summary, rebuilt;
    screen.NotifyHost(reinterpret_cast<uintptr_t>(&saved));
    screen.Clear();
    t.Print("summary line\n");
    screen.NotifyHost(reinterpret_cast<uintptr_t>(&summary));
    screen.NotifyHostResult(reinterpret_cast<uintptr_t>(&saved), TRUE);
    screen.NotifyHostResult(reinterpret_cast<uintptr_t>(&summary), FALSE);
    screen.NotifyHost(reinterpret_cast<uintptr_t>(&rebuilt));
    const bool handed = saved.Find("window line\n") >= 0 && summary == "summary line\n" && rebuilt == saved + summary;
    return handed ? kRunPassed : kRunFailed;
});

FnTest g_progress([](FnTest&, CString) {
    CWnd* main = platform::GetMainWnd();
    auto* bar = static_cast<CProgressCtrl*>(main ? main->GetDlgItem(kProgressCtrlId) : nullptr);
    if (!bar) return kRunFailed;
    bar->ShowWindow(1), bar->SetRange32(0, 200), bar->SetPos(100), bar->ShowWindow(SW_HIDE);
    return kRunPassed;
});

// A dialog with one counter: "add" counts up.
struct CounterDialog : platform::DialogModel {
    int count = 0;
    CString GetTitle() const override { return "Counter"; }
    CString Describe() const override { return CString("Count: " + std::to_string(count) + "\nVerbs: add\n"); }
    bool Apply(const platform::DialogAction& action, CString& error) override {
        if (action.verb == "add") return ++count, true;
        error = "Only add is known";
        return false;
    }
};

FnTest g_dialog([](FnTest& t, CString) {
    CounterDialog dialog;
    const int answer = platform::DoModal(dialog);
    t.Print(CString("Dialog answered " + std::to_string(answer) + ", count " + std::to_string(dialog.count) + "\n"));
    if (answer == platform::IDCANCEL && *g_StopFlag()) return kRunStopped;  // cancelled by a stop
    return answer == platform::IDOK && dialog.count == 1 ? kRunPassed : kRunFailed;
});

// Answers stopped with no one asking, as a test whose earlier test has not passed does.
FnTest g_itself([](FnTest& t, CString) {
    t.PrintColor("Flash check skipped\n", kColorRed);
    t.PrintColor("Run the register test first\n", kColorRed);
    return kRunStopped;
});

// Saves "saved.bin" whole; with "WAIT" it waits mid-way (a signal ends it).
FnTest g_save([](FnTest& t, CString command) {
    CFile file;
    if (!file.Open("saved.bin", CFile::modeCreate | CFile::modeWrite)) {
        const int error = errno;
        t.PrintColor(CString("Couldn't open saved.bin: ") + std::strerror(error) + " (" + platform::FileFailureDetail(error).c_str() + ")\n", kColorRed);
        return kRunFailed;
    }
    file.Write("new", 3);
    file.Flush();
    if (command.Find("WAIT") >= 0)
        for (int i = 0; i < 20000; ++i) usleep(1000);
    return file.Close() ? kRunPassed : kRunFailed;
});

// Saves 1 GiB of zeros as "saved.bin" in one call, through WriteWholeFile or, with "STREAM", one
// CFile::Write: a save whose writing lasts long enough to signal the host in its middle. Zero
// pages cost no memory. With "COPY" it copies "source.bin" (which the caller made) over it instead.
FnTest g_largeSave([](FnTest&, CString command) {
    if (command.Find("COPY") >= 0) return platform::CopyFile("source.bin", "saved.bin", false) ? kRunPassed : kRunFailed;
    constexpr size_t kBytes = size_t{1} << 30;
    void* zeros = mmap(nullptr, kBytes, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (zeros == MAP_FAILED) return kRunFailed;
    bool saved = false;
    if (command.Find("STREAM") < 0) {
        saved = platform::WriteWholeFile("saved.bin", zeros, kBytes);
    } else {
        CFile file;
        saved = file.Open("saved.bin", CFile::modeCreate | CFile::modeWrite) && file.Write(zeros, kBytes) && file.Close();
    }
    munmap(zeros, kBytes);
    return saved ? kRunPassed : kRunFailed;
});

class DocumentedTest : public CTestBase {
public:
    // Says which rig the host named and where names land, from the file system's root as its
    // current folder, so the paths handed over show.
    DWORD Run(CString) override {
        Print(CString("PEXANO_RIG=") + (std::getenv("PEXANO_RIG") ? std::getenv("PEXANO_RIG") : "(unset)") + "\n");
        const std::string cwd = platform::GetCurrentDirectory();
        if (chdir("/") != 0) return kRunFailed;
        for (const char* name : {"C:\\..\\x.img", "\\ROOTED.bin", "..\\..\\REL.bin"})
            Print(CString(name) + "=" + platform::MapPath(name).c_str() + "\n");
        return chdir(cwd.c_str()) == 0 ? kRunPassed : kRunFailed;
    }
    // Shows what the host asked about, so a lost command text shows.
    DWORD Help(CString command) override {
        Print("Help on [" + command + "]\n");
        return CTestBase::Help(command);
    }
    void ShowHelp() override { Print("Usage: Documented ~*BLUE*~VERBOSE~*BLACK*~=n\n"); }
} g_documented;

// Published out of key order, so only the key pass puts them in the order the host must show.
struct Publisher {
    Publisher() {
        CTestRegistry& r = CTestRegistry::Instance();
        r.AddTest("Host`+1\\Basic`+1\\Fail`+2", "FailTest", 1, &g_fail, "HostDev <Fail>");
        r.AddTest("Host`+1\\Basic`+1\\Pass`+1", "PassTest", 1, &g_pass, "HostDev <Pass>");
        r.AddTest("Host`+1\\Basic`+1\\Window`+5", "WindowTest", 1, &g_window, "HostDev <Window>");
        r.AddTest("Host`+1\\Stop`-2\\RaiseAndPoll`+2", "PollTest", 1, &g_poll, "HostDev <Poll RAISE>");
        r.AddTest("Host`+1\\Extra`=3\\Documented`#1", "DocumentedTest", 1, &g_documented, "HostDev <Doc>");
        r.AddTest("Host`+1\\Extra`=3\\Skipped`-2", "PassTest", 1, &g_pass, "HostDev <Pass>");
        r.AddTest("Host`+1\\Extra`=3\\Progress`+4", "ProgressTest", 1, &g_progress, "HostDev <Progress>");
        r.AddTest("Host`+1\\Extra`=3\\Dialog`+5", "DialogTest", 1, &g_dialog, "HostDev <Dialog>");
        r.AddTest("Host`+1\\Extra`=3\\AfterDialog`+6", "PassTest", 1, &g_pass, "HostDev <Pass>");
        r.AddTest("Host`+1\\Stop`-2\\Stubborn`+3", "StubbornTest", 1, &g_stubborn, "HostDev <Stubborn>");
        r.AddTest("Host`+1\\Stop`-2\\Itself`+4", "ItselfTest", 1, &g_itself, "HostDev <Itself>");
        r.AddTest("Host`+1\\Extra`=3\\Save`+7", "SaveTest", 1, &g_save, "HostDev <Save>");
        r.AddTest("Host`+1\\Extra`=3\\SaveAndWait`+8", "SaveTest", 1, &g_save, "HostDev <Save WAIT>");
        r.AddTest("Host`+1\\Extra`=3\\LargeSave`+9", "SaveTest", 1, &g_largeSave, "HostDev <Save LARGE>");
        r.AddTest("Host`+1\\Extra`=3\\LargeStreamSave`+91", "SaveTest", 1, &g_largeSave, "HostDev <Save LARGE STREAM>");
        r.AddTest("Host`+1\\Extra`=3\\LargeCopy`+92", "SaveTest", 1, &g_largeSave, "HostDev <Save LARGE COPY>");
        r.AddTest("Top`+0", "PassTest", 1, &g_pass, "HostDev <Pass>");
        CTestBase::BufferPreHostText("Test plug-in loaded\n");
    }
    // Leaves a mark in the current folder, so a test can tell the host unloaded the library.
    ~Publisher() {
        if (FILE* f = std::fopen("Unloaded", "w")) std::fclose(f);
    }
} g_publisher;

}  // namespace
