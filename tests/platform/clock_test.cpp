// The virtual clock (waits cost nothing, polls reach their deadlines), real mode and the wall clock.
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "platform/runtime.h"

namespace {
class ClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetClockMode(platform::ClockMode::Virtual);
        platform::SetPollStep(kPerfFrequency / 1'000'000);
    }
    void TearDown() override { SetUp(); }
};
}  // namespace

TEST_F(ClockTest, SleepAdvancesTheVirtualClockAtOnce) {
    auto realStart = std::chrono::steady_clock::now();
    DWORD tickBefore = GetTickCount();
    LONGLONG before = platform::NowTicks();
    Sleep(60'000);
    EXPECT_EQ(platform::NowTicks() - before, 60LL * 10'000'000);
    EXPECT_GE(GetTickCount() - tickBefore, 60'000u);
    EXPECT_LT(GetTickCount() - tickBefore, 60'010u);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(5));
    LONGLONG freq = 0;
    EXPECT_TRUE(QueryPerformanceFrequency(&freq));
    EXPECT_EQ(freq, 10'000'000);
    EXPECT_FALSE(QueryPerformanceCounter(nullptr));
    EXPECT_FALSE(QueryPerformanceFrequency(nullptr));
}

TEST_F(ClockTest, CounterReadsAdvanceSoABusyPollEnds) {
    LONGLONG a = 0, b = 0;
    QueryPerformanceCounter(&a);
    QueryPerformanceCounter(&b);
    EXPECT_EQ(b - a, 10);  // 1 us per read
    LONGLONG deadline = b + 10'000 * 10;  // 10 ms
    int reads = 0;
    for (LONGLONG now = b; now < deadline; QueryPerformanceCounter(&now)) ++reads;
    EXPECT_EQ(reads, 10'000);
    platform::AdvanceTicks(-5);  // the clock never goes back
    LONGLONG c = 0;
    QueryPerformanceCounter(&c);
    EXPECT_GT(c, deadline);
    platform::SetTicks(42 * kPerfFrequency);
    EXPECT_EQ(platform::NowTicks(), 42 * kPerfFrequency);
}

TEST_F(ClockTest, WallTimeMovesWithTheClock) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    platform::SetWallTime(1'000'000'000);  // 2001-09-09 01:46:40 UTC
    Sleep(5'000);
    EXPECT_EQ(platform::WallTime(), 1'000'000'005);
    time_t out = 0;
    EXPECT_EQ(platform::time(&out), 1'000'000'005);
    EXPECT_EQ(out, 1'000'000'005);
    struct tm tm = platform::LocalTime();
    EXPECT_EQ(tm.tm_year + 1900, 2001);
    EXPECT_EQ(tm.tm_mon + 1, 9);
    EXPECT_EQ(tm.tm_mday, 9);
    EXPECT_EQ(tm.tm_hour, 1);
    EXPECT_EQ(tm.tm_min, 46);
    EXPECT_EQ(tm.tm_sec, 45);
    EXPECT_EQ(tm.tm_wday, 0);  // a Sunday
}

TEST_F(ClockTest, RealModeFollowsTheMachine) {
    platform::SetClockMode(platform::ClockMode::Real);
    LONGLONG a = 0, b = 0;
    QueryPerformanceCounter(&a);
    auto start = std::chrono::steady_clock::now();
    Sleep(30);
    auto slept = std::chrono::steady_clock::now() - start;
    QueryPerformanceCounter(&b);
    EXPECT_GE(slept, std::chrono::milliseconds(30));
    EXPECT_GE(b - a, 30 * 10'000);
    EXPECT_LT(b - a, 30 * 10'000 * 100);
}
