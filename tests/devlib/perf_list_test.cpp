// Timers on the virtual clock: stamps, marks, deadlines, intervals and their text.
#include "devlib/perf_list.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/clock.h"

namespace {

TEST(PerformanceList, StampsUpToCapacityAndMarksOutsideAreZero) {
    CPerformanceList p;
    EXPECT_FALSE(p.Keep()) << "no room before Init";
    ASSERT_TRUE(p.Init(3));
    EXPECT_EQ(p.GetMark(0), 0);
    EXPECT_TRUE(p.Keep());
    Sleep(2);
    EXPECT_TRUE(p.Keep() && p.Keep());
    EXPECT_FALSE(p.Keep()) << "full";
    EXPECT_EQ(p.GetCount(), 3);
    EXPECT_GT(p.GetMark(1) - p.GetMark(0), 2 * kPerfFrequency / 1000 - 1);
    EXPECT_EQ(p.GetMark(-1) + p.GetMark(3), 0);
    p.Clear();
    EXPECT_EQ(p.GetCount() + p.GetMark(0), 0);
    EXPECT_FALSE(p.Init(0));
}

TEST(PerformanceList, DeadlinePassesOnSleepOrOnABusyPoll) {
    CPerformanceList p;
    const LONGLONG before = platform::NowTicks();
    const LONGLONG deadline = p.SetMilliTimeout(10, -1);
    EXPECT_GE(deadline - before, 10 * kPerfFrequency / 1000);
    EXPECT_FALSE(p.IsTimeout());
    Sleep(11);
    EXPECT_TRUE(p.IsTimeout());
    // A zero deadline has passed at the first fresh read.
    p.SetMilliTimeout(0, -1);
    EXPECT_TRUE(p.IsTimeout());
    // A spin without Sleep reaches a 1 ms deadline: each counter read moves the clock.
    p.SetMilliTimeout(1, -1);
    int spins = 0;
    while (!p.IsTimeout() && ++spins < 100000) {
    }
    EXPECT_LT(spins, 100000);
    // Relative to a stamp.
    ASSERT_TRUE(p.Init(2));
    p.Keep();
    EXPECT_EQ(p.SetMilliTimeout(5, 0), p.GetMark(0) + 5 * kPerfFrequency / 1000);
}

TEST(PerformanceList, IntervalsTheirTextAndTheCheckCorrection) {
    CPerformanceList p;
    ASSERT_TRUE(p.Init(4));
    p.Keep();
    Sleep(12);
    p.Keep();
    const LONGLONG ns = p.GetNanoInterval(0, 1);
    EXPECT_GE(ns, 12'000'000);
    EXPECT_LT(ns, 12'010'000);
    EXPECT_EQ(p.GetMicroInterval(0, 1), ns / 1000);
    EXPECT_EQ(p.GetNanoInterval(0, 3), 0) << "stamp 3 was never taken";
    char* milli = p.IncrementStringMilli3(0, 1);
    EXPECT_EQ(std::string(milli).substr(0, 3) + std::to_string(std::string(milli).size()), "12.6");
    std::free(milli);
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
