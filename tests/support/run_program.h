// Starting a program from a test with its arguments as a list: no shell reads a path, whatever it holds.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace support {

struct ProgramRun {
    int status = -1;   // exit status; 128 + signal when a signal ended it; -1 when it could not start
    std::string out;   // what it wrote on stdout
    std::string err;   // on stderr, or why it could not start
};

namespace detail {
inline std::string ReadAll(std::FILE* f) {
    std::string text;
    std::rewind(f);
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    return text;
}
}  // namespace detail

// Runs args[0] (looked up in PATH when it holds no "/") with args, stdin from /dev/null, in cwd
// when one is given, with env's names set over this process's environment. Answers its status and
// output once it has ended.
inline ProgramRun RunProgram(const std::vector<std::string>& args, const std::string& cwd = "",
                             const std::vector<std::pair<std::string, std::string>>& env = {}) {
    ProgramRun run;
    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e) {
        bool replaced = false;
        for (const auto& [name, value] : env) replaced = replaced || std::strncmp(*e, (name + "=").c_str(), name.size() + 1) == 0;
        if (!replaced) envText.emplace_back(*e);
    }
    for (const auto& [name, value] : env) envText.push_back(name + "=" + value);
    std::vector<char*> argv, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& e : envText) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (out && err) {
        posix_spawn_file_actions_adddup2(&actions, fileno(out), 1);
        posix_spawn_file_actions_adddup2(&actions, fileno(err), 2);
    }
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    pid_t pid = -1;
    const int started = !out || !err || args.empty() ? EINVAL : posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) {
        run.err = "could not start " + (args.empty() ? std::string("a program") : args[0]) + ": " + std::strerror(started);
    } else {
        int raw = 0;
        while (::waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
        }
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : -1;
        run.out = detail::ReadAll(out);
        run.err = detail::ReadAll(err);
    }
    if (out) std::fclose(out);
    if (err) std::fclose(err);
    return run;
}

}  // namespace support
