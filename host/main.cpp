// pexhost: the test engine program. Loads the test library, lists or runs its tests, shows its output.
#include <signal.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
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
#include "platform/file_identity.h"
#include "platform/files.h"
#include "platform/host_ui.h"
#include "platform/paths.h"

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
    platform::RemoveSaveTemporaries();
    static const char msg[] = "\npexhost: stopped\n";
    ssize_t ignored = write(STDERR_FILENO, msg, sizeof msg - 1);
    (void)ignored;
    _exit(kExitStopped);
}

// SIGTERM or SIGHUP (a CI time-out, a closed terminal) ends the host at once, as they would, but
// first removes the temporary of a save under way: the file it would replace stays as it was.
void OnTerminate(int signal) {
    platform::RemoveSaveTemporaries();
    static const char msg[] = "\npexhost: ended by a signal\n";
    ssize_t ignored = write(STDERR_FILENO, msg, sizeof msg - 1);
    (void)ignored;
    ::signal(signal, SIG_DFL);
    raise(signal);
}

// SIGXFSZ is taken rather than ignored: an ignored signal would stay ignored in the programs a test
// starts, where a handler goes back to the default action.
void OnFileSizeLimit(int) {}

// Everything the library may reach through the host until it is unloaded. It lives in static
// storage created before the library is loaded, so it outlives the library's static objects even
// when the library stays mapped until exit.
struct HostSession {
    // The log is opened once the library has started and every file it depends on is known: what
    // it would have got until then is kept for it.
    HostSession(bool ansi, bool progressOnStderr)
        : renderer(window, stdout, ansi, nullptr),
          host(window, renderer),
          progress(stderr, progressOnStderr),
          mainWnd(progress),
          dialogs(renderer, stdin, &g_stopFlag, DialogScreen(stdout, stderr)) {
        window.SetListener(&renderer);
        renderer.HoldLog();
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
    void AttachLog(FILE* opened) {
        log = opened;
        renderer.AttachLog(opened);
    }
    // Closes the log once nothing more is written to it; false when any of it was not written.
    bool CloseLog(std::string& error) {
        renderer.FlushStreams();
        renderer.DetachLog();
        FILE* f = log;
        log = nullptr;
        return !f || CloseLogFile(f, renderer.LogError(), error);
    }

    FILE* log = nullptr;
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
    // A file size limit (ulimit -f) fails the write that meets it, with EFBIG, and so the save,
    // the log or the report that made it, each with its cause, rather than ending the host.
    struct sigaction limit = {};
    limit.sa_handler = OnFileSizeLimit;
    sigemptyset(&limit.sa_mask);
    sigaction(SIGXFSZ, &limit, nullptr);
    HostOptions opt;
    std::string error;
    const std::string program = argc > 0 ? std::string(argv[0]).substr(std::string(argv[0]).find_last_of('/') + 1) : "pexhost";
    if (!ParseHostOptions(argc, argv, opt, error)) return Fail(program, error, true);
    if (opt.usage) {
        fputs(HostUsage(program).c_str(), stdout);
        return kExitPassed;
    }

    // The station folder is fixed for the whole run: a test that changes the current folder does
    // not move where the names it saves land.
    std::string station = platform::GetCurrentDirectory();
    if (!opt.stationDir.empty()) {
        char* full = realpath(opt.stationDir.c_str(), nullptr);
        struct stat st;
        const bool folder = full && stat(full, &st) == 0 && S_ISDIR(st.st_mode);
        station = full ? full : "";
        free(full);
        if (!folder) return Fail(program, "the station folder " + opt.stationDir + " is not a folder");
    }
    if (station.empty()) return Fail(program, "the current folder cannot be read");
    platform::SetDriveRoot(station);

    // An operator's slip must not destroy a file: a log or report over a file the run loads, reads
    // or writes, over another output or over a file the host did not write is refused before any
    // output is opened; the saves of the tests refuse the same files.
    const std::string libraryPath = opt.library.empty() ? DefaultLibraryPath() : opt.library;
    const char* rigVariable = getenv("PEXANO_RIG");
    const std::string rigFile = !opt.rigFile.empty() ? opt.rigFile : rigVariable ? rigVariable : "";
    const std::string switchFile = platform::MapPath("CmdLine");
    platform::ProtectFile(libraryPath, "the test library");
    platform::ProtectFile("/proc/self/exe", "the host program");
    if (!rigFile.empty()) platform::ProtectFile(rigFile, "the rig file");
    platform::ProtectLoadedObjects();
    static const char kSwitchRole[] = "the switch file";
    platform::ProtectFile(switchFile, kSwitchRole);
    std::vector<OutputFile> outputs;
    if (!opt.logFile.empty()) outputs.push_back({"--log", opt.logFile, false});
    if (!opt.junitFile.empty()) outputs.push_back({"--junit", opt.junitFile, true});
    if (!CheckOutputs(outputs, false, error)) return Fail(program, error);

    // The report replaces its file only once it is complete, and only after a run that tested:
    // every earlier way out leaves the file as it was.
    const bool writesReport = !opt.junitFile.empty() && !opt.list && !opt.helpTest;
    std::string reportTarget;
    if (writesReport && !PrepareReportPath(opt.junitFile, reportTarget, error))
        return Fail(program, "cannot write the JUnit report " + opt.junitFile + ": " + error);
    // The outputs are files the run depends on from now: the rig, which the library checks as it
    // loads, must not keep a board's files in them, nor a test write over them.
    if (!opt.logFile.empty()) platform::ProtectFile(opt.logFile, kLogRole);
    // Under --list and --help-test the report named is kept as it is: nothing may write over it.
    if (!opt.junitFile.empty()) platform::ProtectFile(writesReport ? reportTarget : opt.junitFile, kReportRole);

    if (!opt.rigFile.empty()) {
        char* full = realpath(opt.rigFile.c_str(), nullptr);
        if (!full) return Fail(program, "cannot read the rig file " + opt.rigFile);
        setenv("PEXANO_RIG", full, 1);
        free(full);
    }
    // Until the library has started, the files its rig and trees keep are not known: a save before
    // then leaves what look like dead processes' temporaries beside its file.
    platform::HoldTemporarySweeps(true);
    // The library reads its switches from "CmdLine", where its relative names land (the station
    // folder when the current folder is outside it); a stale one must never be read.
    const std::string switches = CmdLineText(opt);
    // Nor is it written over another file the run depends on (through a link, say).
    if (const std::string role = platform::ProtectedRole(switchFile, kSwitchRole); !role.empty())
        return Fail(program, "the switch file " + switchFile + " is " + role + ": refusing to write over it");
    if (!platform::SaveLocalFile(switchFile, switches.data(), switches.size())) {
        const int cause = errno;
        std::string why = strerror(cause);
        if (const std::string detail = platform::FileFailureDetail(cause); !detail.empty()) why += " (" + detail + ")";
        return Fail(program, "cannot write the switch file " + switchFile + ": " + why);
    }
    if (opt.realTime) platform::SetClockMode(platform::ClockMode::Real);

    const bool ansi = opt.color == ColorMode::Always || (opt.color == ColorMode::Auto && isatty(STDOUT_FILENO));
    // Output lost after the run: the results stay on the screen, and this line stands out in red.
    const bool redErrors = opt.color == ColorMode::Always || (opt.color == ColorMode::Auto && isatty(STDERR_FILENO));
    HostSession& s = g_session.emplace(ansi, isatty(STDERR_FILENO) != 0);
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
    sa.sa_handler = OnTerminate;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);

    PluginLibrary library;
    if (!library.Load(libraryPath, error)) {
        return Fail(program, error);
    }

    const std::vector<TreeNode> nodes = ReadTestTree(library.GetTestList()(&s.host, &g_stopFlag));
    s.renderer.Flush();

    // The host's own lines after the library's text, which may end inside a line.
    const auto failAfterOutput = [&](const std::string& message, bool red = false) {
        s.renderer.EnsureLineStart();
        s.renderer.FlushStreams();
        return Fail(program, message, false, red);
    };
    // Now the library's own libraries, its test trees and the rig's files are known too: what an
    // output would replace is looked at only now, so that a refusal names what the file is.
    platform::ProtectLoadedObjects();
    // The sweeps held until now go before any refusal ends the run too.
    platform::HoldTemporarySweeps(false);
    if (!CheckOutputs(outputs, true, error)) return failAfterOutput(error);
    // A file of the rig's that the library protected only as it started (its environment file, a
    // tree): the rig would write over it.
    if (const std::vector<std::string> clashes = platform::ProtectedClashes(); !clashes.empty())
        return failAfterOutput(clashes.front() + ": refusing to write over it");
    FILE* log = nullptr;
    if (!opt.logFile.empty() && !(log = OpenLogFile(opt.logFile, error)))
        return failAfterOutput("cannot write the log file " + opt.logFile + ": " + error);
    s.AttachLog(log);

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
        // A test the operator named and did not get must not pass for a run that tested it, nor
        // a run that tests nothing for one that passed.
        std::vector<std::string> refused = RefusedFilters(nodes, opt.filters, opt.all);
        if (refused.empty() && tests.empty()) {
            const size_t unchecked = SelectTests(nodes, {}, true).size();
            refused.push_back(unchecked ? "the library offers no checked test to run (" + std::to_string(unchecked) + " unchecked: add --all)"
                                        : "the library published no test to run (see its start-up text above): nothing was tested");
        }
        if (!refused.empty()) {
            for (const std::string& why : refused) status = failAfterOutput(why);
        } else {
            TestRunner runner(s.renderer, s.progress, g_stopFlag);
            results = runner.Run(tests);
            notRun.assign(tests.begin() + static_cast<long>(results.size()), tests.end());
            runner.PrintSummary(results, notRun);
            for (const TestResult& r : results)
                if (FailsTheRun(r) && status == kExitPassed) status = kExitFailed;
            if (!notRun.empty() || __atomic_load_n(&g_stopFlag, __ATOMIC_SEQ_CST)) status = kExitStopped;
        }
    }
    // A board whose tests could not be published: what was published ran, but the run cannot pass.
    for (const CString& fault : platform::StartupFaults())
        status = failAfterOutput("the run cannot be trusted: " + fault.str(), redErrors);
    // A run that cannot be trusted leaves the last report as it was, as one that tested nothing.
    if (writesReport && status != kExitUsage &&
        !WriteReportFile(reportTarget, JUnitXml(SuiteName(libraryPath), results, notRun), error))
        status = Fail(program, "cannot write the JUnit report " + opt.junitFile + ": " + error, false, redErrors);
    s.renderer.FlushStreams();
    // Unloading runs the library's static destructors while the host's objects still exist.
    library.Unload();
    // The results are on the screen; a log cut short still makes the run a failure.
    if (!s.CloseLog(error)) status = Fail(program, "cannot write the log file " + opt.logFile + ": " + error, false, redErrors);
    return status;
}

}  // namespace

int main(int argc, char** argv) { return Main(argc, argv); }
