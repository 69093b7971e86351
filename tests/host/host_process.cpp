// Starting pexhost as a subprocess for the integration tests.
#include "tests/host/host_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/paths.h"
#include "tests/support/temp_dir.h"

std::string BinDir() { return std::filesystem::path(platform::GetProgramDir()).parent_path().string(); }

std::string PluginPath() { return BinDir() + "/HostTestPlugin.so"; }

namespace {

// Replaces the child with pexhost in cwd; 126 or 127 when that fails.
[[noreturn]] void ExecHost(const std::vector<std::string>& args, const std::string& cwd,
                           const std::string& program = "") {
    std::vector<std::string> storage{program.empty() ? BinDir() + "/pexhost" : program};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
}

int StatusOf(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : -1; }

// Starts pexhost as a child with stdin from /dev/null and its output into files in cwd.
pid_t StartHost(const std::vector<std::string>& args, const std::string& cwd, const std::function<void()>& inChild,
                const std::string& program = "") {
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY), out = open((cwd + "/.stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                  err = open((cwd + "/.stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) _exit(126);
        dup2(in, 0), dup2(out, 1), dup2(err, 2);
        if (inChild) inChild();
        ExecHost(args, cwd, program);
    }
    return pid;
}

HostRun Finished(int raw, const std::string& cwd) {
    return {StatusOf(raw), support::ReadText(cwd + "/.stdout"), support::ReadText(cwd + "/.stderr")};
}

// The path of the host's descriptor fd, and how far into its file the host has gone.
std::string DescriptorPath(pid_t pid, long long fd) {
    std::error_code none;
    return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd), none).string();
}
long long DescriptorOffset(pid_t pid, long long fd) {
    const std::string info = support::ReadText("/proc/" + std::to_string(pid) + "/fdinfo/" + std::to_string(fd));
    return info.starts_with("pos:") ? std::atoll(info.c_str() + 4) : -1;
}

}  // namespace

HostRun RunHost(const std::vector<std::string>& args, const std::string& cwd,
                const std::function<bool(pid_t, const std::string&)>& watch, const std::string& program,
                const std::function<void()>& inChild) {
    const std::string outPath = cwd + "/.stdout";
    const pid_t pid = StartHost(args, cwd, inChild, program);
    int raw = 0;
    for (bool watching = static_cast<bool>(watch);;) {
        const pid_t done = waitpid(pid, &raw, watching ? WNOHANG : 0);
        if (done == pid) break;
        if (done < 0) return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        watching = watch(pid, support::ReadText(outPath));
    }
    return Finished(raw, cwd);
}

std::function<bool(pid_t, const std::string&)> SignalOnceShown(const std::string& cwd, const std::string& shown,
                                                              const std::vector<int>& signals, int pauseMs) {
    size_t sent = 0;
    return [=](pid_t pid, const std::string& out) mutable {
        if (sent == 0) {
            if (out.find(shown) == std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        } else if (signals[sent - 1] == SIGINT &&
                   support::ReadText(cwd + "/.stderr").find("stopping after the running test") == std::string::npos) {
            return true;
        }
        kill(pid, signals[sent]);
        return ++sent < signals.size();
    };
}

SignalledRun RunHostSignalled(const std::vector<std::string>& args, const std::string& cwd, const SignalPoint& point,
                              const std::vector<int>& signals) {
    SignalledRun run;
    // The host waits, stopped, until it is traced, so that it makes no call unseen.
    const pid_t pid = StartHost(args, cwd, [] { raise(SIGSTOP); });
    int raw = 0;
    if (pid < 0 || waitpid(pid, &raw, WUNTRACED) != pid || !WIFSTOPPED(raw)) return run;
    if (ptrace(PTRACE_SEIZE, pid, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL) != 0) {
        const int error = errno;
        // Only the kernel's refusal is no fault of the test; another tracer holding the host is
        // named as such.
        const std::string status = support::ReadText("/proc/" + std::to_string(pid) + "/status");
        const size_t tracer = status.find("TracerPid:\t");
        const long by = tracer == std::string::npos ? 0 : std::atol(status.c_str() + tracer + 11);
        run.err = error != EPERM ? std::string("tracing the host failed: ") + std::strerror(error)
                  : by != 0     ? std::string(kUntraceable) + "another program (pid " + std::to_string(by) + ") traces it already"
                                : std::string(kUntraceable) + std::strerror(error);
        kill(pid, SIGKILL);
        waitpid(pid, &raw, 0);
        return run;
    }
    kill(pid, SIGCONT);
    int calls = 0, pass = 0;  // matching calls so far; a signal to hand on as the host goes on
    for (bool traced = true; traced;) {
        ptrace(PTRACE_SYSCALL, pid, nullptr, pass);
        pass = 0;
        if (waitpid(pid, &raw, __WALL) != pid) return run;
        if (!WIFSTOPPED(raw)) return {Finished(raw, cwd), run.offsets};
        const int stop = WSTOPSIG(raw), event = raw >> 16;
        if (stop != (SIGTRAP | 0x80)) {
            // A signal the host is to take (the SIGCONT that woke it, an earlier signal sent here);
            // group stops and the exec go on as they are.
            if (event == 0) pass = stop;
            continue;
        }
        __ptrace_syscall_info call{};
        if (ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof call, &call) <= 0 || call.op != PTRACE_SYSCALL_INFO_ENTRY ||
            static_cast<long>(call.entry.nr) != point.syscall)
            continue;
        if (run.offsets.size() == signals.size()) continue;
        const long long fd = static_cast<long long>(call.entry.args[0]);
        if (!point.file(DescriptorPath(pid, fd)) || ++calls < point.nth + static_cast<int>(run.offsets.size())) continue;
        run.offsets.push_back(DescriptorOffset(pid, fd));
        kill(pid, signals[run.offsets.size() - 1]);
        // After the last signal the host runs untraced, to its end as any run ends.
        if (run.offsets.size() == signals.size()) traced = ptrace(PTRACE_DETACH, pid, nullptr, 0) != 0;
    }
    waitpid(pid, &raw, 0);
    return {Finished(raw, cwd), run.offsets};
}

namespace {

HostRun RunOnTerminal(const std::vector<std::string>& args, const std::string& cwd,
                      const std::vector<TerminalAnswer>& answers, const std::function<void()>& inChild) {
    int master = -1;
    struct winsize size = {50, 200, 0, 0};
    const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid == 0) {
        if (inChild) inChild();
        ExecHost(args, cwd);
    }
    HostRun run;
    if (pid < 0) return run;
    size_t next = 0, shownFrom = 0;  // the next answer; where the output it waits in starts
    char buf[4096];
    for (struct pollfd p = {master, POLLIN, 0};;) {
        for (size_t at; next < answers.size() && (at = run.out.find(answers[next].prompt, shownFrom)) != std::string::npos; ++next) {
            const std::string& typed = answers[next].typed;
            if (!typed.empty() && write(master, typed.data(), typed.size()) < 0) kill(pid, SIGKILL);
            shownFrom = at + answers[next].prompt.size();
        }
        if (poll(&p, 1, 30000) <= 0) {
            kill(pid, SIGKILL);  // hung: fail the test rather than the whole run
            break;
        }
        const ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;  // EIO once the host and its terminal are gone
        run.out.append(buf, static_cast<size_t>(n));
    }
    close(master);
    int raw = 0;
    waitpid(pid, &raw, 0);
    run.status = StatusOf(raw);
    return run;
}

}  // namespace

HostRun RunHostOnTerminal(const std::vector<std::string>& args, const std::string& cwd, const std::string& input,
                          const std::function<void()>& inChild) {
    return RunOnTerminal(args, cwd, {{"", input}}, inChild);
}

HostRun RunHostAnswering(const std::vector<std::string>& args, const std::string& cwd,
                         const std::vector<TerminalAnswer>& answers) {
    return RunOnTerminal(args, cwd, answers, {});
}
