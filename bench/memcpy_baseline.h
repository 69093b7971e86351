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

}  // namespace bench
