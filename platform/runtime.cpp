// The original runtime's pseudo-random generator and time, on the process clock.
#include "runtime.h"

#include <cstdlib>

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

void RandFill(int* out, size_t count) {
    constexpr uint32_t kA = 214013u, kC = 2531011u;
    // Four steps at once: state * kA4 + kC4 is the state four draws on.
    constexpr uint32_t kA4 = kA * kA * kA * kA, kC4 = kC * (kA * kA * kA + kA * kA + kA + 1);
    uint32_t state = g_randState;
    size_t i = 0;
    if (count >= 8) {
        // Four interleaved runs, out[i + j] from run j, so no draw waits for the one before.
        uint32_t s[4];
        for (uint32_t& lane : s) lane = state = state * kA + kC;
        for (; i + 4 <= count; i += 4) {
            for (int j = 0; j < 4; ++j) out[i + j] = static_cast<int>((s[j] >> 16) & 0x7FFF);
            state = s[3];
            for (uint32_t& lane : s) lane = lane * kA4 + kC4;
        }
    }
    for (; i < count; ++i) {
        state = state * kA + kC;
        out[i] = static_cast<int>((state >> 16) & 0x7FFF);
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
