// Whole runs of pexhost, as an operator starts them, timed beside 20 memcpys of 256 MiB.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "bench/memcpy_baseline.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr size_t kReferenceBytes = size_t{256} << 20;
constexpr int kReferenceCopies = 20;

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; }

// Runs pexhost with args in cwd, its output into files there; answers its exit status (128 +
// signal when a signal ended it, -1 when it could not be started or waited for) and adds the
// processor time it took, in its own code and in the kernel's, to user and system.
int RunHost(const std::vector<std::string>& args, const std::string& cwd, double& user, double& system) {
    std::vector<std::string> storage{PEX_HOST_PROGRAM};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    const std::string outPath = cwd + "/.stdout", errPath = cwd + "/.stderr";
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY), out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                  err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || chdir(cwd.c_str()) != 0) _exit(126);
        dup2(in, 0), dup2(out, 1), dup2(err, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int raw = 0;
    rusage usage{};
    if (wait4(pid, &raw, 0, &usage) != pid) return -1;
    user += Seconds(usage.ru_utime);
    system += Seconds(usage.ru_stime);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : -1;
}

// Times whole runs of pexhost with args, each in a scratch folder of its own, that must end with
// status expected, and sets the counter vs_memcpy_x20: the run's wall time over that of 20 memcpys
// of 256 MiB (1.0: as fast as those copies; lower is better). The counters run_user_seconds and
// run_system_seconds split the run's processor time between its own code and the kernel's (mapping
// in and freeing the memory it touches, its files).
void TimeHostRuns(benchmark::State& state, const std::vector<std::string>& args, int expected) {
    double seconds = 0, user = 0, system = 0;
    // Under load memcpy's rate moves from one second to the next: the copies are timed on either
    // side of the runs, and the two times averaged, to stand for the machine the runs had.
    const double before = bench::MemcpySeconds(kReferenceBytes);
    for (auto _ : state) {
        std::optional<support::TempDir> dir;  // the host writes its files in the current folder
        try {
            dir.emplace();
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        const int status = RunHost(args, dir->Path(), user, system);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (status != expected) {
            state.SkipWithError(("pexhost exited with " + std::to_string(status) + ", not " + std::to_string(expected)).c_str());
            return;
        }
    }
    const double reference = kReferenceCopies * (before + bench::MemcpySeconds(kReferenceBytes)) / 2;
    const double runs = static_cast<double>(state.iterations());
    state.counters["run_seconds"] = seconds / runs;
    state.counters["run_user_seconds"] = user / runs;
    state.counters["run_system_seconds"] = system / runs;
    state.counters["memcpy_x20_seconds"] = reference;
    state.counters["vs_memcpy_x20"] = seconds / runs / reference;
}

// No arguments: both boards' default trees on the default simulated rig.
void BM_DefaultRun(benchmark::State& state) { TimeHostRuns(state, {}, 0); }
BENCHMARK(BM_DefaultRun)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

// Every engineering test of both boards. It ends with status 1: the keyer's slider sheet fails
// without an operator to close it, and every other test passes.
void BM_EngineeringRun(benchmark::State& state) {
    TimeHostRuns(state, {"-ENGINEERING", "-PD=ALL", "--all"}, 1);
}
BENCHMARK(BM_EngineeringRun)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
