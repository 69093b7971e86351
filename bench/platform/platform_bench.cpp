// A large save through the platform's file layer beside one write() of the same bytes from memory.
#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "platform/files.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Seconds a write() of all bytes at once into path takes, with the open that empties the file and
// the close: the yardstick, negative when it failed.
double OneWriteSeconds(const char* path, const std::vector<char>& bytes) {
    const Clock::time_point start = Clock::now();
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    const ssize_t wrote = ::write(fd, bytes.data(), bytes.size());
    if (::close(fd) != 0 || wrote != static_cast<ssize_t>(bytes.size())) return -1;
    return SecondsSince(start);
}

// WriteWholeFile of the bytes, each run replacing the last run's file as a plain write of the same
// bytes does beside it, turn about, so that both see the same load and the same page cache. Time
// counted is the save's; vs_plain_write is the plain writes' time over the saves' (1.0: a save is
// as fast as one write()).
void BM_SaveWholeFile(benchmark::State& state) {
    std::vector<char> bytes(static_cast<size_t>(state.range(0)));
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + (i >> 12));
    double saves = 0, writes = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const bool saved = platform::WriteWholeFile("save.bin", bytes.data(), bytes.size());
        const double seconds = SecondsSince(start);
        const double plain = OneWriteSeconds("plain.bin", bytes);
        if (!saved || plain < 0) {
            state.SkipWithError("a write failed");
            return;
        }
        state.SetIterationTime(seconds);
        saves += seconds;
        writes += plain;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
    state.counters["plain_write_bytes_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(state.range(0)) / writes);
    state.counters["vs_plain_write"] = writes / saves;
}

}  // namespace

BENCHMARK(BM_SaveWholeFile)->Arg(int64_t{256} << 20)->UseManualTime()->Unit(benchmark::kMillisecond);
