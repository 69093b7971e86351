// Starting pexhost as a subprocess for the integration tests.
#include "tests/host/host_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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

}  // namespace

HostRun RunHost(const std::vector<std::string>& args, const std::string& cwd,
                const std::function<bool(pid_t, const std::string&)>& watch, const std::string& program,
                const std::function<void()>& inChild) {
    const std::string outPath = cwd + "/.stdout", errPath = cwd + "/.stderr";
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY), out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                  err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) _exit(126);
        dup2(in, 0), dup2(out, 1), dup2(err, 2);
        if (inChild) inChild();
        ExecHost(args, cwd, program);
    }
    int raw = 0;
    for (bool watching = static_cast<bool>(watch);;) {
        const pid_t done = waitpid(pid, &raw, watching ? WNOHANG : 0);
        if (done == pid) break;
        if (done < 0) return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        watching = watch(pid, support::ReadText(outPath));
    }
    return {StatusOf(raw), support::ReadText(outPath), support::ReadText(errPath)};
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
