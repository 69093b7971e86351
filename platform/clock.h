// The process clock: virtual by default (waits cost nothing), real time on request.
#pragma once

#include <ctime>

#include "types.h"

// Performance counter frequency in counts per second.
constexpr LONGLONG kPerfFrequency = 10'000'000;  // 100 ns ticks

// Sleep: on the virtual clock the clock advances at once by ms milliseconds; Sleep(0), which
// gives up the time slice, by 20 us.
void Sleep(DWORD ms);
// Reads the counter. On the virtual clock every read advances it by a small step, so a busy
// poll against a deadline always reaches it. A thread reads its own steps at once; other threads
// see small steps up to 1 ms late, and waits of 1 ms or more at once.
BOOL QueryPerformanceCounter(LONGLONG* count);
BOOL QueryPerformanceFrequency(LONGLONG* freq);
DWORD GetTickCount();

namespace platform {

enum class ClockMode { Virtual, Real };

void SetClockMode(ClockMode mode);
ClockMode GetClockMode();

// Virtual-clock control (tests, and the simulated rig finishing work on the clock).
LONGLONG NowTicks();               // the counter without advancing it
void AdvanceTicks(LONGLONG ticks); // moves the virtual clock forward
void SetTicks(LONGLONG ticks);
void SetPollStep(LONGLONG ticks);  // how far each counter read advances (default 1 us)

// Wall time: starts at the real time when the process starts and moves with the clock.
time_t WallTime();
void SetWallTime(time_t t);
// Local broken-down time of the wall clock.
struct tm LocalTime();

}  // namespace platform
