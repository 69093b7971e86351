// Crc32Buffer over 64 MiB beside memcpy of the same bytes, both swap settings.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "framework/hw/crc32.h"

namespace {

constexpr size_t kBytes = 64u << 20;

const std::vector<DWORD>& Source() {
    static const std::vector<DWORD> words = [] {
        std::vector<DWORD> w(kBytes / 4);
        std::mt19937 rng(1);
        for (DWORD& x : w) x = rng();
        return w;
    }();
    return words;
}

// Crc32Buffer prints a progress dot every 5000 words; keep them out of the report.
class QuietStdout {
public:
    QuietStdout() {
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
    ~QuietStdout() {
        std::fflush(stdout);
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
    }

private:
    int m_saved;
};

void BM_Crc32Buffer64MiB(benchmark::State& state) {
    const std::vector<DWORD>& src = Source();
    const BOOL swap = static_cast<BOOL>(state.range(0));
    {
        QuietStdout quiet;
        for (auto _ : state) benchmark::DoNotOptimize(Crc32Buffer(src.data(), static_cast<DWORD>(kBytes), 0xFFFFFFFF, swap));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBytes));
}

void BM_MemcpySame64MiB(benchmark::State& state) {
    const std::vector<DWORD>& src = Source();
    std::vector<DWORD> dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), kBytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBytes));
}

}  // namespace

BENCHMARK(BM_Crc32Buffer64MiB)->ArgName("swap")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpySame64MiB)->Unit(benchmark::kMillisecond);
