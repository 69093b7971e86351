// Timers on the virtual clock: stamps, deadlines, intervals and their text, and the deadline-check correction.
#include "devlib/perf_list.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/clock.h"

namespace {

TEST(PerformanceList, StampsUpToCapacityAndDeadlinesPassOnSleepOrBusyPoll) {
    CPerformanceList p;
    EXPECT_FALSE(p.Keep()) << "no room before Init";
    ASSERT_TRUE(p.Init(2));
    EXPECT_TRUE(p.Keep() && p.Keep());
    EXPECT_FALSE(p.Keep()) << "full";
    EXPECT_EQ(p.GetMark(-1) + p.GetMark(2), 0);
    EXPECT_EQ(p.SetMilliTimeout(5, 0), p.GetMark(0) + 5 * kPerfFrequency / 1000) << "relative to a stamp";
    const LONGLONG before = platform::NowTicks();
    EXPECT_GE(p.SetMilliTimeout(10, -1) - before, 10 * kPerfFrequency / 1000);
    EXPECT_FALSE(p.IsTimeout());
    Sleep(11);
    EXPECT_TRUE(p.IsTimeout());
    // A spin without Sleep reaches a 1 ms deadline: each counter read moves the clock.
    p.SetMilliTimeout(1, -1);
    int spins = 0;
    while (!p.IsTimeout() && ++spins < 100000) {
    }
    EXPECT_LT(spins, 100000);
}

TEST(PerformanceList, IntervalsTheirTextAndTheCheckCorrection) {
    CPerformanceList p;
    ASSERT_TRUE(p.Init(4));
    p.Keep();
    Sleep(12);
    p.Keep();
    const LONGLONG ns = p.GetNanoInterval(0, 1);
    EXPECT_TRUE(ns >= 12'000'000 && ns < 12'010'000) << ns;
    EXPECT_EQ(p.GetNanoInterval(0, 3), 0) << "stamp 3 was never taken";
    char* micro = p.IncrementStringMicro3(0, 1);
    char want[32];
    std::snprintf(want, sizeof want, "%lld.%03lld", static_cast<long long>(ns / 1000), static_cast<long long>(ns % 1000));
    EXPECT_STREQ(micro, want);
    std::free(micro);
    // 1000 deadline checks between two stamps: their cost comes out of the interval.
    p.Clear();
    p.Init(2);
    p.SetMilliTimeout(500, -1);
    p.Keep();
    for (int i = 0; i < 1000; ++i) (void)p.IsTimeout();
    p.Keep();
    const LONGLONG raw = p.GetMark(1) - p.GetMark(0);
    const LONGLONG perCheck = p.AdjustForTimeoutChecks(1000);
    EXPECT_GT(perCheck, 0);
    EXPECT_EQ(p.GetMark(1) - p.GetMark(0), raw - 1000 * perCheck);
    EXPECT_LT(p.GetMark(1) - p.GetMark(0), raw / 10);
}

}  // namespace
