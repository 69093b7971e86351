// The original runtime's rand/srand and time, so seeded pictures and data match the original platform.
#pragma once

#include <cstddef>
#include <ctime>

#include "cstring.h"
#include "types.h"

namespace platform {

// state = state * 214013 + 2531011; result = (state >> 16) & 0x7FFF; srand sets the state.
void srand(unsigned int seed);
int rand();
// Stores the next count values of rand into out and leaves the generator as count calls would:
// one call for the loops that draw a value per pixel.
void RandFill(int* out, size_t count);
constexpr int kRandMax = 0x7FFF;

// Seconds since 1970 on the process clock (see clock.h).
time_t time(time_t* out);

// Environment variables (empty string when unset).
CString GetEnv(const char* name);

}  // namespace platform
