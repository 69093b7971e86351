// pexhost: the test engine program. Loads the test library, lists or runs its tests, shows its output.
#include <signal.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "host/host_options.h"
#include "host/junit_report.h"
#include "host/output_files.h"
#include "host/output_renderer.h"
#include "host/plugin_library.h"
#include "host/progress_bar.h"
#include "host/rich_edit_model.h"
#include "host/terminal_dialog.h"
#include "host/test_host.h"
#include "host/test_runner.h"
#include "host/test_tree.h"
#include "platform/clock.h"
#include "platform/dialog.h"
#include "platform/files.h"
#include "platform/host_ui.h"

namespace {

constexpr int kExitPassed = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitStopped = 3;

// The stop flag the library polls. Written from the signal handler with an atomic store.
int g_stopFlag = 0;
std::atomic<int> g_interrupts{0};  // lock-free, so safe in the handler

void OnInterrupt(int) {
    if (g_interrupts.fetch_add(1) == 0) {
        __atomic_store_n(&g_stopFlag, 1, __ATOMIC_SEQ_CST);
        static const char msg[] = "\npexhost: stopping after the running test (Ctrl-C again to quit now)\n";
        ssize_t ignored = write(STDERR_FILENO, msg, sizeof msg - 1);
        (void)ignored;
        return;
    }
    static const char msg[] = "\npexhost: stopped\n";
    ssize_t ignored = write(STDERR_FILENO, msg, sizeof msg - 1);
    (void)ignored;
    _exit(kExitStopped);
}

// Everything the library may reach through the host until it is unloaded. It lives in static
// storage created before the library is loaded, so it outlives the library's static objects even
// when the library stays mapped until exit.
struct HostSession {
    HostSession(FILE* log, bool ansi, bool progressOnStderr)
        : log(log),
          renderer(window, stdout, ansi, log),
          host(window, renderer),
          progress(stderr, progressOnStderr),
          mainWnd(progress),
          dialogs(renderer, stdin, &g_stopFlag, DialogScreen(stdout, stderr)) {
        window.SetListener(&renderer);
        renderer.SetBeforeWrite([this] { progress.ClearLine(); });
    }
    ~HostSession() {
        renderer.FlushStreams();
        platform::SetMessageBoxSink(nullptr);
        platform::SetMainWnd(nullptr);
        if (platform::GetDialogRunner() == &dialogs) platform::SetDialogRunner(nullptr);
        window.SetListener(nullptr);
        if (log) fclose(log);
    }
    // Closes the log once nothing more is written to it; false when any of it was not written.
    bool CloseLog(std::string& error) {
        renderer.FlushStreams();
        renderer.DetachLog();
        FILE* f = log;
        log = nullptr;
        return !f || CloseLogFile(f, renderer.LogError(), error);
    }

    FILE* log;
    RichEditModel window;
    OutputRenderer renderer;
    TestHost host;
    ProgressBar progress;
    MainWindow mainWnd;
    TerminalDialogRunner dialogs;
};

std::optional<HostSession> g_session;

int Fail(const std::string& program, const std::string& message, bool hint = false, bool red = false) {
    if (red) fprintf(stderr, "\033[31m%s: %s\033[0m\n", program.c_str(), message.c_str());
    else fprintf(stderr, "%s: %s\n", program.c_str(), message.c_str());
    if (hint) fprintf(stderr, "Try '%s --help'.\n", program.c_str());
    return kExitUsage;
}

std::string SuiteName(const std::string& libraryPath) {
    std::string name = libraryPath.substr(libraryPath.find_last_of('/') + 1);
    const size_t dot = name.find('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

int Main(int argc, char** argv) {
    HostOptions opt;
    std::string error;
    const std::string program = argc > 0 ? std::string(argv[0]).substr(std::string(argv[0]).find_last_of('/') + 1) : "pexhost";
    if (!ParseHostOptions(argc, argv, opt, error)) return Fail(program, error, true);
    if (opt.usage) {
        fputs(HostUsage(program).c_str(), stdout);
        return kExitPassed;
    }

    // An operator's slip must not destroy a file: a log or report over the library, the host, an
    // input of the run or each other is refused before anything is opened.
    const std::string libraryPath = opt.library.empty() ? DefaultLibraryPath() : opt.library;
    std::vector<NamedFile> outputs, inputs = {{"the test library", libraryPath},
                                              {"the host program", "/proc/self/exe"},
                                              {"the switch file", "CmdLine"}};
    if (!opt.rigFile.empty()) inputs.push_back({"the rig file", opt.rigFile});
    if (!opt.logFile.empty()) outputs.push_back({"--log", opt.logFile});
    if (!opt.junitFile.empty()) outputs.push_back({"--junit", opt.junitFile});
    if (!CheckOutputsApart(outputs, inputs, error)) return Fail(program, error);

    // The report replaces its file only once it is complete: every earlier way out leaves the
    // file as it was.
    std::string reportTarget;
    if (!opt.junitFile.empty() && !PrepareReportPath(opt.junitFile, reportTarget, error))
        return Fail(program, "cannot write the JUnit report " + opt.junitFile + ": " + error);

    if (!opt.rigFile.empty()) {
        char* full = realpath(opt.rigFile.c_str(), nullptr);
        if (!full) return Fail(program, "cannot read the rig file " + opt.rigFile);
        setenv("PEXANO_RIG", full, 1);
        free(full);
    }
    if (!opt.stationDir.empty()) {
        char* full = realpath(opt.stationDir.c_str(), nullptr);
        struct stat st;
        const bool folder = full && stat(full, &st) == 0 && S_ISDIR(st.st_mode);
        const std::string station = full ? full : "";
        free(full);
        if (!folder) return Fail(program, "the station folder " + opt.stationDir + " is not a folder");
        platform::SetDriveRoot(station);
    }
    // The library reads its switches from "CmdLine", where its relative names land (the station
    // folder when the current folder is outside it); a stale one must never be read.
    const std::string switches = CmdLineText(opt);
    if (!platform::WriteWholeFile("CmdLine", switches.data(), switches.size()))
        return Fail(program, "cannot write the switch file CmdLine in the station folder");
    FILE* log = nullptr;
    if (!opt.logFile.empty() && !(log = OpenLogFile(opt.logFile, error)))
        return Fail(program, "cannot write the log file " + opt.logFile + ": " + error);
    if (opt.realTime) platform::SetClockMode(platform::ClockMode::Real);

    const bool ansi = opt.color == ColorMode::Always || (opt.color == ColorMode::Auto && isatty(STDOUT_FILENO));
    // Output lost after the run: the results stay on the screen, and this line stands out in red.
    const bool redErrors = opt.color == ColorMode::Always || (opt.color == ColorMode::Auto && isatty(STDERR_FILENO));
    HostSession& s = g_session.emplace(log, ansi, isatty(STDERR_FILENO) != 0);
    platform::SetMainWnd(&s.mainWnd);
    platform::SetMessageBoxSink([&s](const CString& text, const CString& caption) {
        s.renderer.EnsureLineStart();
        std::string line = "[" + caption.str() + "] " + text.str();
        if (line.back() != '\n') line += '\n';
        s.renderer.WriteHostText(line);
    });
    if (isatty(STDIN_FILENO)) platform::SetDialogRunner(&s.dialogs);

    // Without SA_RESTART: a read that waits for the operator returns, so it sees the stop flag.
    struct sigaction sa = {};
    sa.sa_handler = OnInterrupt;
    sa.sa_flags = 0;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);

    PluginLibrary library;
    if (!library.Load(libraryPath, error)) {
        return Fail(program, error);
    }

    const std::vector<TreeNode> nodes = ReadTestTree(library.GetTestList()(&s.host, &g_stopFlag));
    s.renderer.Flush();

    int status = kExitPassed;
    std::vector<TestResult> results;
    std::vector<const TreeNode*> notRun;
    if (opt.list) {
        s.renderer.EnsureLineStart();
        s.renderer.WriteHostText(FormatTree(nodes));
    } else if (opt.helpTest) {
        const std::vector<const TreeNode*> tests = SelectTests(nodes, {opt.helpFilter}, true);
        if (tests.empty()) status = Fail(program, "no test matches " + opt.helpFilter);
        for (const TreeNode* n : tests) {
            s.renderer.EnsureLineStart();
            s.renderer.WriteHostText("[HELP]    " + n->path + "\n");
            if (HasOwner(n->record)) HelpRecord(n->record);
            s.renderer.EnsureLineStart();
        }
    } else {
        const std::vector<const TreeNode*> tests = SelectTests(nodes, opt.filters, opt.all);
        // A run that tests nothing must not pass for one that passed.
        if (tests.empty()) {
            const size_t unchecked = SelectTests(nodes, opt.filters, true).size();
            std::string why = !opt.filters.empty() ? "no checked test matches the filters"
                              : unchecked          ? "the library offers no checked test to run"
                                                   : "the library published no test to run (see its start-up text above): nothing was tested";
            if (unchecked) why += " (" + std::to_string(unchecked) + " unchecked: add --all)";
            s.renderer.EnsureLineStart();  // the start-up text may end inside a line
            s.renderer.FlushStreams();
            status = Fail(program, why);
        } else {
            TestRunner runner(s.renderer, s.progress, g_stopFlag);
            results = runner.Run(tests);
            notRun.assign(tests.begin() + static_cast<long>(results.size()), tests.end());
            runner.PrintSummary(results, notRun);
            for (const TestResult& r : results) {
                if (r.outcome == Outcome::Failed && status == kExitPassed) status = kExitFailed;
                if (r.outcome == Outcome::Stopped) status = kExitStopped;
            }
            if (!notRun.empty() || __atomic_load_n(&g_stopFlag, __ATOMIC_SEQ_CST)) status = kExitStopped;
        }
    }
    if (!opt.junitFile.empty() && status != kExitUsage) {
        // A second Ctrl-C waits until the report is in place or its temporary file is gone.
        sigset_t interrupt, before;
        sigemptyset(&interrupt);
        sigaddset(&interrupt, SIGINT);
        sigprocmask(SIG_BLOCK, &interrupt, &before);
        if (!WriteReportFile(reportTarget, JUnitXml(SuiteName(libraryPath), results, notRun), error))
            status = Fail(program, "cannot write the JUnit report " + opt.junitFile + ": " + error, false, redErrors);
        sigprocmask(SIG_SETMASK, &before, nullptr);
    }
    s.renderer.FlushStreams();
    // Unloading runs the library's static destructors while the host's objects still exist.
    library.Unload();
    // The results are on the screen; a log cut short still makes the run a failure.
    if (!s.CloseLog(error)) status = Fail(program, "cannot write the log file " + opt.logFile + ": " + error, false, redErrors);
    return status;
}

}  // namespace

int main(int argc, char** argv) { return Main(argc, argv); }
