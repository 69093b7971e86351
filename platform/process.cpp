// External programs through posix_spawn, waited for to the end.
#include "process.h"

#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "files.h"
#include "paths.h"

extern char** environ;

namespace {

bool IsExecutableFile(const std::string& local) {
    struct stat st;
    return ::stat(local.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(local.c_str(), X_OK) == 0;
}

}  // namespace

namespace platform {

std::string ResolveProgram(const std::string& program) {
    if (program.empty()) return "";
    std::string local = MapPath(program.c_str());
    if (IsExecutableFile(local)) return local;
    if (program.size() > 4 && strcasecmp(program.c_str() + program.size() - 4, ".exe") == 0) {
        std::string bare = MapPath(program.substr(0, program.size() - 4).c_str());
        if (IsExecutableFile(bare)) return bare;
    }
    return "";
}

int RunProcess(const std::string& program, const std::vector<std::string>& args, const std::string& workDir) {
    std::string local = ResolveProgram(program);
    if (local.empty()) return -1;
    // The program is found from the caller's folder, before the child moves to workDir.
    if (std::string cwd = GetCurrentDirectory(); local[0] != '/' && !cwd.empty()) local = cwd + "/" + local;

    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return -1;
    std::string dir;
    if (!workDir.empty()) {
        dir = MapPath(workDir.c_str());
        if (!IsDirectory(dir.c_str()) || posix_spawn_file_actions_addchdir_np(&actions, dir.c_str()) != 0) {
            posix_spawn_file_actions_destroy(&actions);
            return -1;
        }
    }
    // Our own buffered output goes first, so the terminal shows it before the child's.
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, local.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace platform
