// The virtual clock (waits cost nothing, polls reach their deadlines), real mode and the wall clock.
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

namespace {
// Every test starts and ends on the virtual clock with a 1 us poll step.
struct ClockTest : ::testing::Test {
    void SetUp() override { platform::SetClockMode(platform::ClockMode::Virtual), platform::SetPollStep(kPerfFrequency / 1'000'000); }
    void TearDown() override { SetUp(); }
};
}  // namespace

TEST_F(ClockTest, VirtualAndWallTimeAndRealModeThatFollowsTheMachine) {
    const auto realStart = std::chrono::steady_clock::now();
    const DWORD tickBefore = GetTickCount();
    const LONGLONG before = platform::NowTicks();
    Sleep(60'000);
    EXPECT_EQ(platform::NowTicks() - before, 60LL * 10'000'000);
    EXPECT_NEAR(GetTickCount() - tickBefore, 60'000u, 10u);
    // Each counter read moves 1 us on, so a busy poll reaches its 10 ms deadline.
    LONGLONG start = 0, now = 0;
    QueryPerformanceCounter(&start);
    int reads = 0;
    for (now = start; now < start + 100'000; QueryPerformanceCounter(&now)) ++reads;
    EXPECT_EQ(reads, 10'000);
    platform::AdvanceTicks(-5);
    EXPECT_GE(platform::NowTicks(), now);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(5));
    // Wall time moves with the clock.
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    platform::SetWallTime(1'000'000'000);  // 2001-09-09 01:46:40 UTC
    Sleep(5'000);
    EXPECT_EQ(platform::WallTime(), 1'000'000'005);
    const struct tm tm = platform::LocalTime();
    EXPECT_EQ((tm.tm_year + 1900) * 10000 + (tm.tm_mon + 1) * 100 + tm.tm_mday, 20010909);
    EXPECT_EQ(tm.tm_hour * 10000 + tm.tm_min * 100 + tm.tm_sec, 14645);
    // Real mode follows the machine.
    platform::SetClockMode(platform::ClockMode::Real);
    LONGLONG a = 0, b = 0;
    QueryPerformanceCounter(&a);
    Sleep(30);
    QueryPerformanceCounter(&b);
    EXPECT_GE(b - a, 30 * 10'000);
    EXPECT_LT(b - a, 30 * 10'000 * 100);
}
