// The process clock: a virtual counter that waits advance at once, or the machine's steady clock.
#include "clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

std::atomic<platform::ClockMode> g_mode{platform::ClockMode::Virtual};
// The ticks every thread sees. Starts well above zero so that no deadline computed from it is ever 0
// or negative.
std::atomic<LONGLONG> g_ticks{100 * kPerfFrequency};
constexpr LONGLONG kYieldTicks = kPerfFrequency / 50'000;  // 20 us
std::atomic<LONGLONG> g_pollStep{kPerfFrequency / 1'000'000};  // 1 us per read
// Wall time = g_wallBase + ticks since g_wallTicks (virtual) or real time + offset (real).
std::atomic<time_t> g_wallBase{::time(nullptr)};
std::atomic<LONGLONG> g_wallTicks{100 * kPerfFrequency};
std::atomic<time_t> g_realOffset{0};

// The small steps a thread moves the clock by (counter reads, bus accesses, yields) gather here and
// reach g_ticks in batches: a locked add on each of them cost a third of a flash programming run. The
// thread itself always counts its held ticks, so what it reads stays exact and monotonic; other
// threads see them at most kBatchTicks late. Waits of a millisecond or more go to g_ticks at once.
constexpr LONGLONG kBatchTicks = kPerfFrequency / 1'000;  // 1 ms
// Initial-exec: the library is loaded with the host, and this keeps each access a plain load.
[[gnu::tls_model("initial-exec")]] thread_local LONGLONG t_held = 0;

LONGLONG VirtualNow() { return g_ticks.load(std::memory_order_relaxed) + t_held; }

// Moves this thread's clock on by ticks (>= 0) and answers its new reading.
LONGLONG Advance(LONGLONG ticks) {
    const LONGLONG held = t_held + ticks;
    if (held < kBatchTicks) {
        t_held = held;
        return g_ticks.load(std::memory_order_relaxed) + held;
    }
    t_held = 0;
    return g_ticks.fetch_add(held) + held;
}

LONGLONG RealTicks() {
    using namespace std::chrono;
    auto ns = duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<LONGLONG>(ns / 100);
}

}  // namespace

void Sleep(DWORD ms) {
    if (g_mode == platform::ClockMode::Real) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return;
    }
    // Sleep(0) gives up the rest of the time slice: the thread runs again a scheduler tick later.
    // A wait of 1 ms or more is a whole batch: every thread sees it at once.
    Advance(ms ? static_cast<LONGLONG>(ms) * (kPerfFrequency / 1000) : kYieldTicks);
}

BOOL QueryPerformanceCounter(LONGLONG* count) {
    if (!count) return FALSE;
    if (g_mode == platform::ClockMode::Real) *count = RealTicks();
    else *count = Advance(g_pollStep.load(std::memory_order_relaxed));
    return TRUE;
}

BOOL QueryPerformanceFrequency(LONGLONG* freq) {
    if (!freq) return FALSE;
    *freq = kPerfFrequency;
    return TRUE;
}

DWORD GetTickCount() {
    LONGLONG t = 0;
    QueryPerformanceCounter(&t);
    return static_cast<DWORD>(t / (kPerfFrequency / 1000));
}

namespace platform {

void SetClockMode(ClockMode mode) { g_mode = mode; }
ClockMode GetClockMode() { return g_mode; }

LONGLONG NowTicks() { return g_mode == ClockMode::Real ? RealTicks() : VirtualNow(); }
void AdvanceTicks(LONGLONG ticks) { if (ticks > 0) Advance(ticks); }
void SetTicks(LONGLONG ticks) { t_held = 0, g_ticks = ticks; }
void SetPollStep(LONGLONG ticks) { g_pollStep = ticks < 0 ? 0 : ticks; }

time_t WallTime() {
    if (g_mode == ClockMode::Real) return ::time(nullptr) + g_realOffset;
    return g_wallBase + static_cast<time_t>((VirtualNow() - g_wallTicks) / kPerfFrequency);
}

void SetWallTime(time_t t) {
    g_realOffset = t - ::time(nullptr);
    g_wallBase = t;
    g_wallTicks = VirtualNow();
}

struct tm LocalTime() {
    time_t t = WallTime();
    struct tm out {};
    localtime_r(&t, &out);
    return out;
}

}  // namespace platform
