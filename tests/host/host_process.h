// Runs the real pexhost binary in a folder of its own, its output into files or on a terminal.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

struct HostRun {
    int status = -1;  // exit status; 128 + signal when a signal ended it
    std::string out;  // stdout (on a terminal: everything the terminal showed)
    std::string err;
};

std::string BinDir();  // where the host, the plug-ins and this test live
std::string PluginPath();

// Runs pexhost with args in cwd, stdin from /dev/null. While it runs, watch (when given) is called
// with the host's pid and the stdout written so far, about every 5 ms, until it answers false.
// program: another copy of pexhost to run instead of the one built. inChild (when given) runs in
// the child just before pexhost starts there (to set a resource limit, say).
HostRun RunHost(const std::vector<std::string>& args, const std::string& cwd,
                const std::function<bool(pid_t, const std::string&)>& watch = {}, const std::string& program = "",
                const std::function<void()>& inChild = {});

// A watch for RunHost in cwd: once the host's stdout shows shown, waits pauseMs and sends signals
// one after another. A signal that follows a Ctrl-C waits until the host has said (on its stderr)
// that it stops after the running test, so that two Ctrl-Cs reach it as two however it is scheduled.
std::function<bool(pid_t, const std::string&)> SignalOnceShown(const std::string& cwd, const std::string& shown,
                                                              const std::vector<int>& signals, int pauseMs = 0);

// Where RunHostSignalled signals the host: as it makes its nth call of system call syscall (SYS_write
// or SYS_read) on a file whose path file accepts, and each further signal with the next such call.
struct SignalPoint {
    long syscall;
    std::function<bool(const std::string& path)> file;
    int nth = 1;
};
struct SignalledRun : HostRun {
    std::vector<long long> offsets;  // how far the host had gone in the file as each signal was sent
};
// Runs pexhost as RunHost does, traced from its start, and sends signals[i] at the call point names
// for it: the host is held there until the signal is sent, and takes it as that call returns. So a
// signal lands at the same point of a save or a read each time, however long the save lasts and
// whatever else runs beside the test. Signals the host does not reach are not sent.
// What RunHostSignalled answers in err, followed by the reason, when the kernel refuses to let the
// host be traced here (status -1); any other failure to trace it answers another text.
inline constexpr char kUntraceable[] = "the kernel lets no test trace the host: ";
// Set (to anything) where tracing is known to work, as in CI: rows that could not trace then fail
// rather than skip.
inline constexpr char kTraceRequired[] = "PEX_REQUIRE_TRACE";
SignalledRun RunHostSignalled(const std::vector<std::string>& args, const std::string& cwd, const SignalPoint& point,
                              const std::vector<int>& signals);

// Runs pexhost on a pseudo-terminal (stdin, stdout and stderr), typing input into it. inChild (when
// given) runs in the child just before pexhost starts there (to set a resource limit, say).
HostRun RunHostOnTerminal(const std::vector<std::string>& args, const std::string& cwd, const std::string& input,
                          const std::function<void()>& inChild = {});

// What to type on the terminal once it shows a text: typed when the output since the last answer
// holds prompt ("\x03" is a Ctrl-C, which the terminal turns into SIGINT for the host).
struct TerminalAnswer {
    std::string prompt;
    std::string typed;
};
// RunHostOnTerminal typing the answers one after the other, each once its prompt has shown.
HostRun RunHostAnswering(const std::vector<std::string>& args, const std::string& cwd,
                         const std::vector<TerminalAnswer>& answers);
