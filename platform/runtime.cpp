// The original runtime's pseudo-random generator and time, on the process clock.
#include "runtime.h"

#include <cstdlib>
#include <cstring>

#include "clock.h"

namespace {
// One generator per process, as the original runtime kept one per thread and the library is single-threaded.
uint32_t g_randState = 1;
}  // namespace

namespace platform {

void srand(unsigned int seed) { g_randState = seed; }

int rand() {
    g_randState = g_randState * 214013u + 2531011u;
    return static_cast<int>((g_randState >> 16) & 0x7FFF);
}

namespace {

constexpr uint32_t kRandA = 214013u, kRandC = 2531011u;

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define PEX_RAND_LANES __attribute__((target_clones("avx2", "default")))
#else
#define PEX_RAND_LANES
#endif

// Draws into out while eight remain, from eight interleaved runs (out[i + j] from run j) so that no
// draw waits for the one before; answers how many it wrote, with state the last draw's.
PEX_RAND_LANES size_t RandLanes(int* out, size_t count, uint32_t& state) {
    typedef uint32_t Lanes __attribute__((vector_size(32)));
    constexpr size_t kLanes = sizeof(Lanes) / sizeof(uint32_t);
    // state * kA8 + kC8 is the state eight draws on.
    uint32_t a8 = 1, c8 = 0;
    for (size_t j = 0; j < kLanes; ++j) a8 *= kRandA, c8 = c8 * kRandA + kRandC;
    Lanes s;
    for (size_t j = 0; j < kLanes; ++j) s[j] = state = state * kRandA + kRandC;
    size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        const Lanes draws = (s >> 16) & 0x7FFF;
        std::memcpy(out + i, &draws, sizeof draws);
        state = s[kLanes - 1];
        s = s * a8 + c8;
    }
    return i;
}

}  // namespace

void RandFill(int* out, size_t count) {
    uint32_t state = g_randState;
    const size_t i = count >= 16 ? RandLanes(out, count, state) : 0;
    for (size_t k = i; k < count; ++k) {
        state = state * kRandA + kRandC;
        out[k] = static_cast<int>((state >> 16) & 0x7FFF);
    }
    g_randState = state;
}

time_t time(time_t* out) {
    time_t t = WallTime();
    if (out) *out = t;
    return t;
}

CString GetEnv(const char* name) {
    const char* v = name ? std::getenv(name) : nullptr;
    return CString(v ? v : "");
}

}  // namespace platform
