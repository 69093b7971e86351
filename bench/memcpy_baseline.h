// The memcpy time a benchmark sets its own rate beside, measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace bench {

// Seconds one memcpy of bytes takes here, best of three, so the two rates of a run compare like with like.
inline double MemcpySeconds(size_t bytes) {
    std::vector<char> from(bytes, 0x5A), to(bytes);
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        const auto start = std::chrono::steady_clock::now();
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// A benchmark's rate beside memcpy's: sets the bytes processed (runBytes a run) and the counters
// memcpy_bytes_per_second (a copy of memcpyBytes, runBytes when 0) and vs_memcpy, the runs' rate over
// memcpy's (1.0: as fast as a plain copy); seconds is what the runs took.
inline void ReportBesideMemcpy(benchmark::State& state, double runBytes, double seconds, size_t memcpyBytes = 0) {
    const double total = runBytes * static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(total));
    if (memcpyBytes == 0) memcpyBytes = static_cast<size_t>(runBytes);
    if (memcpyBytes == 0) return;
    const double memcpyRate = static_cast<double>(memcpyBytes) / MemcpySeconds(memcpyBytes);
    state.counters["memcpy_bytes_per_second"] = benchmark::Counter(memcpyRate);
    if (seconds > 0) state.counters["vs_memcpy"] = benchmark::Counter(total / seconds / memcpyRate);
}

}  // namespace bench
