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
    uint32_t state = g_randState;
    for (size_t i = 0; i < count; ++i) {
        state = state * 214013u + 2531011u;
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
