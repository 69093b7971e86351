// Tests of the Tcl test: keywords, script-file runs, the exit stand-in, TclTest, script buffers and handles.
#include "boards/tcl/tcl_test.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <tcl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "boards/tcl/tcl_buffers.h"
#include "boards/tcl/tcl_commands.h"
#include "boards/tcl/tcl_script_lines.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tests/support/output.h"
#include "tests/support/temp_dir.h"

namespace {

// Marks the running test as the library's ReportError and ABORT do, so the script loop's handling of
// the marks is seen apart from the command set.
// The host's stop request (its first Ctrl-C), made from inside a script.
int RaiseStop(ClientData, Tcl_Interp*, int, const char**) {
    *g_StopFlag() = 1;
    return TCL_OK;
}

int MarkCommand(ClientData data, Tcl_Interp*, int, const char** argv) {
    Tcl* test = static_cast<Tcl*>(data);
    if (std::string(argv[0]) == "MarkFailed") test->SetFailMark();
    else test->SetAbortMark();
    return TCL_OK;
}

// A Tcl test of its own under the library's main-board root (which serves the library's commands),
// its interpreter fresh, and a folder for scripts.
struct TclBench {
    TclBench() {
        tcl.SetParent(GetMainBoardRoot());
        for (const char* name : {"MarkFailed", "MarkAborted"}) Tcl_CreateCommand(tcl.GetInterp(), name, MarkCommand, &tcl, nullptr);
        Tcl_CreateCommand(tcl.GetInterp(), "RaiseStop", RaiseStop, nullptr, nullptr);
        support::TakeText();
    }
    ~TclBench() { *g_StopFlag() = 0; }
    bool IsSet(const char* variable) { return Tcl_GetVar(tcl.GetInterp(), variable, TCL_GLOBAL_ONLY) != nullptr; }
    std::string Text() { return tcl.out.text + support::TakeText(); }

    support::TempDir dir;
    support::Recording<Tcl> tcl{nullptr, "Tcl"};
};

// Stand for a script file that is a FIFO without a writer, and for one that is a folder.
constexpr const char kFifo[] = "<FIFO>";
constexpr const char kFolder[] = "<FOLDER>";

// args: "%F" stands for the script file's path; script: written to that file when not null; the
// variables must exist, or must not, after the run ("" checks nothing).
struct RunCase { const char* name; const char* args; const char* script; DWORD result; std::vector<std::string> shown;
                 const char* setVariable; const char* unsetVariable; };

const RunCase kRuns[] = {
    {"KeywordIsCaseSensitive", "tclcommand set ran 1", nullptr, 2, {"\nInvalid Test"}, "", "ran"},
    {"CommandPasses", "TclCommand set ran 1", nullptr, 1, {}, "ran", ""},
    {"CommandErrorReportsItsCode", "TclCommand error boom", nullptr, 2, {"Error 1 executing Tcl command from script file "}, "", ""},
    {"ArgumentWordsStayInTheCommand", "TclCommand set ran 1 VERBOSE=1", nullptr, 2, {"Error 1 executing"}, "", "ran"},
    {"ExitTextIsNotEvaluated", "TclCommand set exiting 1", nullptr, 2, {"Error 1 executing"}, "", "exiting"},
    {"ExitCommandIsRefused", "TclCommand [join {ex it} {}]; set ran 1", nullptr, 2, {"\nexit is not available to Tcl test scripts\n"}, "", "ran"},
    // exit reached through other interpreters, aliases and new names (the text never says exit).
    {"ChildExitIsRefused", "TclCommand set i [interp create]; set c ex; interp eval $i [list ${c}it 7]; set ran 1", nullptr, 2,
     {"\nexit is not available to Tcl test scripts\n", "Error 1 executing"}, "i", "ran"},
    {"ChildExitByAlias", "TclCommand set i [interp create]; interp alias {} bye $i [join {ex it} {}]; catch {bye 7}; set ran 1",
     nullptr, 1, {"\nexit is not available to Tcl test scripts\n"}, "ran", ""},
    {"RenamedExit", "TclCommand rename [join {ex it} {}] foo; catch {foo 7}; set ran 1", nullptr, 1,
     {"\nexit is not available to Tcl test scripts\n"}, "ran", ""},
    {"SafeChildHiddenExit", "TclCommand set s [interp create -safe]; set e [join {ex it} {}]; catch {interp invokehidden $s $e 7}; "
     "catch {$s invokehidden $e 7}; interp expose $s $e; catch {$s eval $e 7}; set ran 1", nullptr, 1,
     {"\nexit is not available to Tcl test scripts\n"}, "ran", ""},
    {"GrandchildExit", "TclCommand set i [interp create]; $i eval {interp create g; interp create -safe h}; set e [join {ex it} {}]; "
     "catch {$i eval [list g eval $e 7]}; catch {interp eval [list $i g] $e}; catch {interp invokehidden [list $i h] $e}; "
     "interp create [list $i g k]; catch {interp eval [list $i g k] $e}; set ran 1", nullptr, 1,
     {"\nexit is not available to Tcl test scripts\n"}, "ran", ""},
    {"ChildLimitsAreKept", "TclCommand set i [interp create]; set a [catch {interp limit $i time -seconds {}}]; $i lim time -seconds {}; "
     "set ran 1", nullptr, 2, {"\ninterp limit is not available to Tcl test scripts\n"}, "a", "ran"},
    {"InterpLimitIsRefused", "TclCommand set i [interp create]; interp limit $i time -seconds {}; set ran 1", nullptr, 2,
     {"\ninterp limit is not available to Tcl test scripts\n"}, "i", "ran"},
    {"ChildExitInScript", "TclLoad FILE=%F", "set i [interp create]\nset c ex\ninterp eval $i [list ${c}it 7]\nset ran 1\n", 2,
     {"\nexit is not available to Tcl test scripts\n", "TCL Command Error on line 3\n"}, "i", "ran"},
    // The host's stop request ends a script that never ends by itself, wherever it loops.
    {"StopEndsALoop", "TclCommand RaiseStop; while 1 {}", nullptr, 3, {"\nStopped by User\n"}, "", ""},
    {"StopAfterManyCommands", "TclCommand proc tick {} {if {[incr ::ticks] == 1000} RaiseStop}; while 1 {tick}; set ran 1", nullptr, 3,
     {"\nStopped by User\n"}, "ticks", "ran"},
    {"StopIsNotCaught", "TclCommand RaiseStop; while 1 {catch {while 1 {}}}; set ran 1", nullptr, 3, {"\nStopped by User\n"}, "", "ran"},
    {"StopEndsAChildLoop", "TclCommand set i [interp create]; RaiseStop; catch {$i eval {while 1 {}}}; set ran 1", nullptr, 3,
     {"\nStopped by User\n"}, "", "ran"},
    {"StopEndsASafeGrandchildLoop", "TclCommand set i [interp create -safe]; $i eval {interp create -safe g}; RaiseStop; "
     "catch {$i eval {g eval {while 1 {}}}}; set ran 1", nullptr, 3, {"\nStopped by User\n"}, "", "ran"},
    {"StopInAScriptLoop", "TclLoad FILE=%F", "set a 1\nRaiseStop\nwhile 1 {}\nset ran 1\n", 3, {"\nStopped by User\n"}, "a", "ran"},
    {"StopBetweenScriptCommands", "TclLoad FILE=%F", "set a 1\nRaiseStop\nset ran 1\n", 3, {"\nStopped by User\n"}, "a", "ran"},
    {"FailingCommandReportsItsLastLine", "TclLoad FILE=%F", "set a 1\n\nset b 2\nset c [expr {1 +\nnoSuchFunction()}]\nset ran 1\n", 2,
     {"\n% set c [expr {1 +\nnoSuchFunction()}]\n", "\nTCL Command Error on line 5\nExecuting Tcl command from script file "}, "b", "ran"},
    {"AbortStopsAfterTheCommand", "TclLoad FILE=%F", "set a 1\nMarkAborted\nset ran 1\n", 1, {}, "a", "ran"},
    {"FailMarkRunsToTheEnd", "TclLoad FILE=%F", "MarkFailed\nset ran 1\n", 2, {"\nTest Failed\n"}, "ran", ""},
    {"IncompleteLastCommand", "TclLoad FILE=%F", "set a 1\nset ran {\n", 2,
     {"\nError fetching Tcl Command from script file ", "TCL Command Error on line 2\n"}, "a", "ran"},
    {"EmptyScriptFails", "TclLoad FILE=%F", "", 2, {}, "", ""},
    {"ExitInScriptStopsIt", "TclLoad FILE=%F", "set a 1\nset exits 1\nset ran 1\n", 2, {"TCL Command Error on line 2"}, "a", "ran"},
    {"VerboseEchoesEveryLine", "TclLoad VERBOSE=1 FILE=%F", "set a {\n1}\n", 1, {"% set a {\n", "% 1}\n"}, "a", ""},
    {"MissingFile", "TclLoad FILE=%F", nullptr, 2, {"\nERROR:  Unable to expand variables FILE["}, "", ""},
    {"FifoScript", "TclLoad FILE=%F", kFifo, 2, {"\nError opening "}, "", ""},
    {"FolderScriptSaysWhy", "TclLoad FILE=%F", kFolder, 2, {"\nError opening ", "script.tcl\nThe file could not be accessed.\n"}, "", ""},
    {"NulByteRefusesTheScript", "TclLoad FILE=%F", "set a 1\nset b {\n2}<NUL>; set ran 1\nset c 3\n", 2,
     {"\nNUL byte on line 3 of script file "}, "", "a"},
    {"NulByteOnTheLastLine", "TclLoad FILE=%F", "set a 1\n<NUL>", 2, {"\nNUL byte on line 2 of script file "}, "", "a"},
};

class TclRuns : public ::testing::TestWithParam<RunCase> {};

TEST_P(TclRuns, ResultTextAndWhatRan) {
    const RunCase& c = GetParam();
    TclBench bench;
    // Tcl's own exit (an object command) would end this process with the script, and the run with it.
    Tcl_CmdInfo exitCommand;
    ASSERT_TRUE(Tcl_GetCommandInfo(bench.tcl.GetInterp(), "exit", &exitCommand));
    ASSERT_EQ(exitCommand.isNativeObjectProc, 0);
    const std::string file = bench.dir.File("script.tcl");
    if (c.script == kFifo)
        ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    else if (c.script == kFolder)
        bench.dir.MakeDir("script.tcl");
    else if (c.script)
        bench.dir.Write("script.tcl", std::regex_replace(c.script, std::regex("<NUL>"), std::string(1, '\0')));
    std::string args = c.args;
    if (size_t at = args.find("%F"); at != std::string::npos) args.replace(at, 2, support::Bracketed(file));
    EXPECT_EQ(bench.tcl.Run(args.c_str()), c.result);
    const std::string text = bench.Text();
    EXPECT_TRUE(support::HasAll(text, c.shown));
    EXPECT_TRUE(!*c.setVariable || bench.IsSet(c.setVariable)) << text;
    EXPECT_TRUE(!*c.unsetVariable || !bench.IsSet(c.unsetVariable)) << text;
    EXPECT_EQ(g_pTclBoard, bench.tcl.GetParent());  // kept after the run
}

INSTANTIATE_TEST_SUITE_P(Tcl, TclRuns, ::testing::ValuesIn(kRuns), [](const auto& info) { return std::string(info.param.name); });

// After a stop the interpreters, children too, take the next run as usual.
TEST(TclRun, RunAfterAStop) {
    TclBench bench;
    EXPECT_EQ(bench.tcl.Run("TclCommand set i [interp create]; RaiseStop; $i eval {while 1 {}}"), kRunStopped);
    *g_StopFlag() = 0;
    EXPECT_EQ(bench.tcl.Run("TclCommand $i eval {set x 1}; set y 2"), kRunPassed) << bench.Text();
    EXPECT_STREQ(Tcl_GetVar(bench.tcl.GetInterp(), "y", TCL_GLOBAL_ONLY), "2");
}

// The host's Ctrl-C as pexhost takes it: a SIGINT handler, installed without SA_RESTART, that sets
// the stop flag; the process's own handling comes back at the end of the scope.
class HostInterrupt {
public:
    HostInterrupt() {
        s_flag = g_StopFlag();
        struct sigaction action = {};
        action.sa_handler = [](int) { *s_flag = 1; };
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_saved);
    }
    ~HostInterrupt() { sigaction(SIGINT, &m_saved, nullptr); }
    HostInterrupt(const HostInterrupt&) = delete;
    HostInterrupt& operator=(const HostInterrupt&) = delete;

private:
    static inline int* s_flag = nullptr;
    struct sigaction m_saved = {};
};

// A pipe in place of the process's standard input for the scope, written through Type.
class PipedStdin {
public:
    PipedStdin() : m_saved(::dup(0)) {
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        ::dup2(fds[0], 0);
        ::close(fds[0]);
        m_writer = fds[1];
    }
    ~PipedStdin() {
        EndInput();
        ::dup2(m_saved, 0);
        ::close(m_saved);
    }
    PipedStdin(const PipedStdin&) = delete;
    PipedStdin& operator=(const PipedStdin&) = delete;
    void Type(const std::string& text) { EXPECT_EQ(::write(m_writer, text.data(), text.size()), static_cast<ssize_t>(text.size())); }
    void EndInput() {
        if (m_writer >= 0) ::close(m_writer);
        m_writer = -1;
    }

private:
    int m_saved;
    int m_writer = -1;
};

// A script stopped while exec waits for a program (the same Ctrl-C ends the program, so exec fails)
// is a stopped run, not a failed command; the exec'd shell plays the terminal, interrupting the host
// (its parent) and then itself.
TEST(TclRun, AStopInsideExecIsCountedStopped) {
    HostInterrupt interrupt;
    const std::string exec = "exec sh -c {kill -INT $PPID; kill -INT $$}";
    const struct { const char* name; std::string args, script; } rows[] = {
        {"command", "TclCommand set a 1; " + exec + "; set ran 1", ""},
        {"script", "TclLoad FILE=%F", "set a 1\n" + exec + "\nset ran 1\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TclBench bench;
        std::string args = row.args;
        if (!row.script.empty()) args.replace(args.find("%F"), 2, support::Bracketed(bench.dir.Write("stop.tcl", row.script)));
        EXPECT_EQ(bench.tcl.Run(args.c_str()), kRunStopped);
        const std::string text = bench.Text();
        EXPECT_TRUE(support::HasAll(text, {"\nStopped by User\n"})) << text;
        EXPECT_EQ(text.find("Error"), std::string::npos) << text;
        EXPECT_TRUE(bench.IsSet("a") && !bench.IsSet("ran")) << text;
    }
}

// A script waiting in a read of stdin ends at the host's stop request, however it arrives: as the
// host's SIGINT (on whichever thread) or as the flag alone. What is typed still reads as typed, and
// a program exec starts still reads the same stdin.
TEST(TclRun, ReadingStdinObeysTheStopRequest) {
    enum class Stop { None, Signal, FlagOnly };
    const struct { const char* name; Stop stop; const char* typed; bool endInput; const char* command; DWORD result; const char* line; } rows[] = {
        {"signal during gets", Stop::Signal, "", false, "gets stdin line; set ran 1", kRunStopped, nullptr},
        {"flag during gets", Stop::FlagOnly, "", false, "gets stdin line; set ran 1", kRunStopped, nullptr},
        {"flag during read", Stop::FlagOnly, "", false, "set line [read stdin]; set ran 1", kRunStopped, nullptr},
        {"a typed line", Stop::None, "typed line\n", false, "gets stdin line; set ran 1", kRunPassed, "typed line"},
        {"exec hands stdin on", Stop::None, "to cat", true, "set line [exec cat]; set ran 1", kRunPassed, "to cat"},
    };
    HostInterrupt interrupt;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TclBench bench;
        PipedStdin input;
        input.Type(row.typed);
        if (row.endInput) input.EndInput();
        std::atomic<bool> done{false};
        // The stop comes while the read waits; should it not end the read, a late line does, so a
        // failing run ends too.
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (row.stop == Stop::Signal) ::kill(::getpid(), SIGINT);
            if (row.stop == Stop::FlagOnly) *g_StopFlag() = 1;
            for (int waited = 0; !done && waited < 500; ++waited) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!done && !row.endInput) input.Type("late\n");
        });
        const auto start = std::chrono::steady_clock::now();
        const DWORD result = bench.tcl.Run((std::string("TclCommand ") + row.command).c_str());
        const auto took = std::chrono::steady_clock::now() - start;
        done = true;
        stopper.join();
        EXPECT_EQ(result, row.result) << bench.Text();
        EXPECT_EQ(bench.IsSet("ran"), row.result == kRunPassed);
        if (row.line) {
            EXPECT_STREQ(Tcl_GetVar(bench.tcl.GetInterp(), "line", TCL_GLOBAL_ONLY), row.line);
        }
        if (row.stop != Stop::None) {
            EXPECT_LT(took, std::chrono::seconds(2));
        }
    }
}

// A non-blocking read of stdin answers at once: blocked with nothing typed, the line when one is
// typed. A blocking one waits for its line asleep in its polls, not spinning. Should a read wait
// where it must not, a line typed late ends it, so a failing run ends too.
TEST(TclRun, NonBlockingStdinAnswersAtOnceAndABlockingReadWaitsAsleep) {
    using std::chrono::milliseconds;
    const struct { const char* name; bool blocking; const char* typed; int lateMs; const char* got; const char* blocked; const char* line; } rows[] = {
        {"non-blocking, nothing typed", false, "", 3000, "-1", "1", ""},
        {"non-blocking, a line typed", false, "typed\n", 3000, "5", "0", "typed"},
        {"blocking, a line typed later", true, "", 400, "4", "0", "late"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TclBench bench;
        PipedStdin input;
        input.Type(row.typed);
        const std::string command = std::string("TclCommand ") + (row.blocking ? "" : "fconfigure stdin -blocking 0; ") +
                                    "set got [gets stdin line]; set blocked [fblocked stdin]";
        const auto start = std::chrono::steady_clock::now();
        std::atomic<bool> done{false};
        std::thread typist([&] {
            while (!done && std::chrono::steady_clock::now() - start < milliseconds(row.lateMs)) std::this_thread::sleep_for(milliseconds(10));
            if (!done) input.Type("late\n");
        });
        timespec cpuBefore{}, cpuAfter{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuBefore);
        const DWORD result = bench.tcl.Run(command.c_str());
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuAfter);
        const auto took = std::chrono::steady_clock::now() - start;
        done = true;
        typist.join();
        // The channel is the process's: the next reader finds it blocking again.
        Tcl_Eval(bench.tcl.GetInterp(), "fconfigure stdin -blocking 1");
        EXPECT_EQ(result, kRunPassed) << bench.Text();
        auto value = [&](const char* name) {
            const char* v = Tcl_GetVar(bench.tcl.GetInterp(), name, TCL_GLOBAL_ONLY);
            return std::string(v ? v : "(unset)");
        };
        EXPECT_EQ(std::make_tuple(value("got"), value("blocked"), value("line")), std::make_tuple(row.got, row.blocked, row.line));
        if (row.blocking) EXPECT_GE(took, milliseconds(row.lateMs));
        else EXPECT_LT(took, milliseconds(1000));
        const auto cpu = std::chrono::seconds(cpuAfter.tv_sec - cpuBefore.tv_sec) + std::chrono::nanoseconds(cpuAfter.tv_nsec - cpuBefore.tv_nsec);
        EXPECT_LT(cpu, milliseconds(100)) << "read spun";
    }
}

// Whatever a script does with cd, and however it ends, the host works in its own folder again
// afterwards: the switch file there still applies, and Tcl's pwd says so too.
TEST(TclRun, TheWorkingFolderIsPutBackAfterEveryScript) {
    support::InTempCwd host;
    host.Dir().Write("CmdLine", "pexhost -ENGINEERING");
    const std::string folder = platform::GetCurrentDirectory();
    const std::string elsewhere = host.Dir().MakeDir("elsewhere");
    const struct { const char* name; std::string args, script; DWORD result; } rows[] = {
        {"passing command", "TclCommand cd " + support::TclWord(elsewhere), "", kRunPassed},
        {"failing script", "TclLoad FILE=%F", "cd " + support::TclWord(elsewhere) + "\nerror boom\n", kRunFailed},
        {"stopped command", "TclCommand cd " + support::TclWord(elsewhere) + "; RaiseStop; while 1 {}", "", kRunStopped},
        {"script stopped between commands", "TclLoad FILE=%F", "cd " + support::TclWord(elsewhere) + "\nRaiseStop\nset a 1\n", kRunStopped},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TclBench bench;
        std::string args = row.args;
        if (!row.script.empty()) args.replace(args.find("%F"), 2, support::Bracketed(bench.dir.Write("cd.tcl", row.script)));
        EXPECT_EQ(bench.tcl.Run(args.c_str()), row.result) << bench.Text();
        EXPECT_EQ(platform::GetCurrentDirectory(), folder);
        EXPECT_TRUE(bench.tcl.IsEngineering());
        *g_StopFlag() = 0;
        ASSERT_EQ(Tcl_Eval(bench.tcl.GetInterp(), "pwd"), TCL_OK);
        EXPECT_EQ(std::string(Tcl_GetStringResult(bench.tcl.GetInterp())), folder);
    }
}

// The buffer walks of an operator's length end at the host's stop request (asked here just before
// them): the copy writes nothing, the compare gives no count, and the run is stopped.
TEST(TclRun, BufferWalksEndAtTheStopRequest) {
    TclBench bench;
    ASSERT_EQ(bench.tcl.Run("TclCommand set a [CreateBuffer 0x400000]; set b [CreateBuffer 0x400000]; "
                            "SetBufferValue byte $a 0 7; SetBufferValue byte $a 0x3FFFFF 7"),
              kRunPassed)
        << bench.Text();
    EXPECT_EQ(bench.tcl.Run("TclCommand RaiseStop; CopyBuffers $a 0 $b 0 0x400000"), kRunStopped);
    EXPECT_EQ(bench.tcl.Run("TclCommand RaiseStop; set n [CompareBuffers $a $b noprint]"), kRunStopped);
    *g_StopFlag() = 0;
    EXPECT_FALSE(bench.IsSet("n"));
    ASSERT_EQ(bench.tcl.Run("TclCommand set first [GetBufferValue byte $b 0]; set last [GetBufferValue byte $b 0x3FFFFF]"), kRunPassed);
    EXPECT_STREQ(Tcl_GetVar(bench.tcl.GetInterp(), "first", TCL_GLOBAL_ONLY), "0x0");
    EXPECT_STREQ(Tcl_GetVar(bench.tcl.GetInterp(), "last", TCL_GLOBAL_ONLY), "0x0");
    // Without the stop both walk the whole length.
    EXPECT_EQ(bench.tcl.Run("TclCommand CopyBuffers $a 0 $b 0 0x400000; set n [CompareBuffers $a $b noprint]; "
                            "set last [GetBufferValue byte $b 0x3FFFFF]"),
              kRunPassed);
    EXPECT_STREQ(Tcl_GetVar(bench.tcl.GetInterp(), "n", TCL_GLOBAL_ONLY), "0");
    EXPECT_STREQ(Tcl_GetVar(bench.tcl.GetInterp(), "last", TCL_GLOBAL_ONLY), "0x7");
}

// A stop asked before the run starts runs nothing.
TEST(TclRun, AStopBeforeTheRunRunsNothing) {
    TclBench bench;
    *g_StopFlag() = 1;
    EXPECT_EQ(bench.tcl.Run("TclCommand set ran 1"), kRunStopped);
    EXPECT_FALSE(bench.IsSet("ran"));
}

TEST(TclRun, ArgumentsAndEchoColours) {
    TclBench bench;
    bench.dir.Write("s.tcl", "set a 1\n");
    EXPECT_EQ(bench.tcl.Run(("TclLoad VERBOSE=1 ABORTCOUNT=5 FILE=" + support::Bracketed(bench.dir.File("s.tcl"))).c_str()), kRunPassed);
    EXPECT_EQ(bench.tcl.GetAbortCount(), 5u);
    EXPECT_TRUE(bench.tcl.out.HasColoured("% set a 1\n", kColorBlack));
    bench.tcl.Run("TclCommand set b 2");
    EXPECT_EQ(bench.tcl.GetAbortCount(), Tcl::kDefaultAbortCount);  // back to the defaults every run
}

// A braced block of tens of thousands of lines is one command, its lines counted for the report.
TEST(TclRun, LongBracedBlockIsOneCommand) {
    TclBench bench;
    constexpr int kLines = 40000;
    std::string script = "proc long {} {\n";
    for (int i = 0; i < kLines; ++i) script += i % 2 ? "    incr ::n\n" : "    if {1} {incr ::n}\n";
    script += "}\nset n 0\nlong\nerror \"after the block\"\n";
    bench.dir.Write("long.tcl", script);
    EXPECT_EQ(bench.tcl.Run(("TclLoad FILE=" + support::Bracketed(bench.dir.File("long.tcl"))).c_str()), kRunFailed);
    EXPECT_STREQ(Tcl_GetVar(bench.tcl.GetInterp(), "n", TCL_GLOBAL_ONLY), "40000");
    EXPECT_NE(bench.Text().find("TCL Command Error on line " + std::to_string(kLines + 5) + "\n"), std::string::npos);
}

// The assembler splits a script into the same commands as asking Tcl_CommandComplete of the whole
// text after every line, on scripts built at random from the characters that open, close and
// escape words.
TEST(TclScriptLines, SplitsAsTclCommandCompleteDoes) {
    const std::vector<std::string> pieces = {"{", "}", "\"", "[", "]", "\\", "\\\\", "#", ";", " ", "set a", "x", "{}",
                                             "\\{", "\\}", "\\\"", "$a", "\t"};
    std::mt19937 random(20240611);
    auto split = [](const std::vector<std::string>& lines, bool incremental) {
        std::vector<std::string> commands;
        CTclCommandAssembler assembler;
        size_t next = 0;
        while (next < lines.size()) {
            std::string text = lines[next];
            assembler.Start(lines[next++]);
            while (!(incremental ? assembler.IsComplete() : Tcl_CommandComplete(text.c_str())) && next < lines.size()) {
                text += lines[next];
                assembler.Append(lines[next++]);
            }
            commands.push_back(text);
            EXPECT_EQ(text, assembler.Text());
        }
        return commands;
    };
    for (int script = 0; script < 3000; ++script) {
        std::vector<std::string> lines(1 + random() % 40);
        for (std::string& line : lines) {
            for (unsigned n = random() % 6; n > 0; --n) line += pieces[random() % pieces.size()];
            if (random() % 8) line += "\n";
        }
        ASSERT_EQ(split(lines, true), split(lines, false)) << "script " << script;
    }
}

TEST(TclRun, ScriptObjectsLiveAcrossCommandsButNotPastAScript) {
    TclBench bench;
    CTclHandles& handles = bench.tcl.GetHandles();
    handles.AddBuffer(std::make_unique<CBuffer>(16));
    handles.AddPageMemory(std::make_unique<PageMemory>(4096));
    EXPECT_EQ(bench.tcl.Run("TclCommand set a 1") + bench.tcl.Run("TclCommand error again"), kRunPassed + kRunFailed);
    EXPECT_EQ(handles.BufferCount() + handles.PageMemoryCount(), 2u);
    bench.dir.Write("s.tcl", "set a 1\n");
    EXPECT_EQ(bench.tcl.Run(("TclLoad FILE=" + support::Bracketed(bench.dir.File("s.tcl"))).c_str()), kRunPassed);
    EXPECT_EQ(handles.BufferCount() + handles.PageMemoryCount(), 0u);
}

TEST(TclRun, FactorialScriptAtItsDrivePath) {
    support::TempDir drive;
    platform::SetDriveRoot(drive.Path());
    TclBench bench;
    EXPECT_EQ(bench.tcl.Run("TclTest"), kRunFailed);  // not there yet
    EXPECT_TRUE(bench.tcl.out.HasColoured("Error loading factorial\n", kColorRed));
    const std::string target = drive.File("JQV_TCL/20040429/diags/quickies/JQV/JQV_Exe/factorial.tcl");
    std::filesystem::create_directories(std::filesystem::path(target).parent_path());
    std::filesystem::copy_file(PEX_TESTDATA_DIR "/tcl/factorial.tcl", target);
    EXPECT_EQ(bench.tcl.Run("TclTest"), kRunPassed);
    EXPECT_STREQ(Tcl_GetVar(bench.tcl.GetInterp(), "result", TCL_GLOBAL_ONLY), "3628800");
    platform::SetDriveRoot("");
}

TEST(TclRun, HelpAndParentless) {
    support::Recording<Tcl> tcl{nullptr, "Tcl"};
    tcl.Help("TCL");
    EXPECT_TRUE(tcl.out.HasColoured(std::string(72, '=') + "\n", kColorGreen));
    EXPECT_TRUE(tcl.out.HasColoured("Executes TCL commands", kColorBlack));
    tcl.Help("tcl");
    EXPECT_TRUE(tcl.out.HasColoured("\n\nERROR:  Tcl\n\"tcl\"\n Not recognized as a valid test\n", kColorRed));
    EXPECT_EQ(tcl.Run("TclCommand set a 1"), kRunFailed);
    EXPECT_TRUE(tcl.out.HasColoured("Tcl:  Parent is NULL\n", kColorRed));
}

std::vector<std::string> Commands(Tcl_Interp* interp) {
    Tcl_Eval(interp, "join [info commands] { }");
    std::istringstream in(Tcl_GetStringResult(interp));
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

TEST(TclRun, WithoutTheExecutableNoCommandIsRegistered) {
    // What registration adds, seen on an interpreter of our own.
    Tcl_Interp* probe = Tcl_CreateInterp();
    const std::vector<std::string> builtIn = Commands(probe);
    RegisterTclCommands(probe);
    std::vector<std::string> added;
    for (const std::string& name : Commands(probe))
        if (std::find(builtIn.begin(), builtIn.end(), name) == builtIn.end()) added.push_back(name);
    Tcl_DeleteInterp(probe);

    support::TakeText();
    SetTclExecutableQuery([]() -> const char* { return nullptr; });
    Tcl lost(nullptr, "Tcl");
    SetTclExecutableQuery(nullptr);
    Tcl found(nullptr, "Tcl");
    const std::string text = support::TakeText();
    EXPECT_EQ(support::Count(text, "\nCan't find Tcl Executable(ZorvTestEngine.exe)\n"), 1u);
    EXPECT_EQ(support::Count(text, "Tcl_AppInit Failed!\n"), 1u);
    Tcl_CmdInfo info;
    for (const std::string& name : added) {
        EXPECT_EQ(Tcl_GetCommandInfo(lost.GetInterp(), name.c_str(), &info), 0) << name;
        EXPECT_EQ(Tcl_GetCommandInfo(found.GetInterp(), name.c_str(), &info), 1) << name;
    }
}

}  // namespace

namespace {

// Script memory starts zeroed; a size that is no multiple of 4 has none. Handles never name two
// live objects of either list, and a deleted one names nothing.
TEST(TclBuffers, ZeroedStorageAndUniqueHandles) {
    CTclHandles handles;
    std::vector<DWORD> live;
    for (DWORD size : {16u, 6u, 4096u}) {
        live.push_back(handles.AddBuffer(std::make_unique<CBuffer>(size)));
        live.push_back(handles.AddPageMemory(std::make_unique<PageMemory>(size)));
        TclBufferView view;
        ASSERT_TRUE(handles.Lookup(live[live.size() - 2], &view));
        EXPECT_EQ(view.size, size % 4 ? 0 : size);
        EXPECT_EQ(std::count(view.data, view.data + view.size, 0), view.size) << size;
    }
    EXPECT_EQ(std::set<DWORD>(live.begin(), live.end()).size(), live.size());
    EXPECT_FALSE(handles.DeleteBuffer(live[1]));  // a page memory is not a script buffer
    EXPECT_TRUE(handles.DeleteBuffer(live[2]));
    EXPECT_FALSE(handles.Lookup(live[2], nullptr));
    EXPECT_EQ(CTclHandles::Format(0x1AF), "0x1AF");
}

}  // namespace
