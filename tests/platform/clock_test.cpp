// The virtual clock (waits cost nothing, polls reach their deadlines), real mode and the wall clock.
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <random>
#include <thread>

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

// One thread's readings are exactly what a single shared counter gave: a model replays random
// waits, counter reads, bus advances and poll steps, and every reading must match it.
TEST_F(ClockTest, OneThreadReadsExactlyWhatOneSharedCounterWouldGive) {
    std::mt19937 rng(20261207);
    LONGLONG model = platform::NowTicks(), step = 10;
    for (int i = 0; i < 20'000; ++i) {
        switch (rng() % 6) {
        case 0: {
            const DWORD ms = rng() % 3;
            Sleep(ms);
            model += ms ? LONGLONG{ms} * 10'000 : 200;
            break;
        }
        case 1: {
            const LONGLONG ticks = static_cast<LONGLONG>(rng() % 7000) - 100;  // negative ones do nothing
            platform::AdvanceTicks(ticks);
            if (ticks > 0) model += ticks;
            break;
        }
        case 2:
            step = rng() % 3000;
            platform::SetPollStep(step);
            break;
        default: {
            LONGLONG t = 0;
            QueryPerformanceCounter(&t);
            model += step;
            ASSERT_EQ(t, model) << "after " << i << " steps";
        }
        }
        ASSERT_EQ(platform::NowTicks(), model) << "after " << i << " steps";
    }
    // Setting the clock drops whatever this thread had not yet passed on.
    platform::SetTicks(1000);
    platform::AdvanceTicks(5);
    EXPECT_EQ(platform::NowTicks(), 1005);
    platform::SetTicks(500 * kPerfFrequency);
    EXPECT_EQ(platform::NowTicks(), 500 * kPerfFrequency);
    EXPECT_EQ(GetTickCount(), 500'000u);
}

// What another thread sees of this thread's time: waits of a millisecond or more at once, small
// steps at most 1 ms late, never more than this thread itself reads, and never going back.
TEST_F(ClockTest, AnotherThreadSeesTheTimeAtMostOneMillisecondLate) {
    const auto seenElsewhere = [] {
        LONGLONG t = 0;
        std::thread([&t] { t = platform::NowTicks(); }).join();
        return t;
    };
    const struct {
        const char* what;
        std::function<void()> advance;
        LONGLONG atLeast;  // ticks the other thread must see
    } rows[] = {
        {"Sleep(5)", [] { Sleep(5); }, 50'000},
        {"Sleep(1) after small steps", [] { platform::AdvanceTicks(3); Sleep(1); }, 10'003},
        {"100 yields, 2 ms", [] { for (int i = 0; i < 100; ++i) Sleep(0); }, 10'000},
        {"2000 counter reads, 2 ms", [] { LONGLONG t; for (int i = 0; i < 2000; ++i) QueryPerformanceCounter(&t); }, 10'000},
        {"bus time of 25 000 ticks", [] { for (int i = 0; i < 5000; ++i) platform::AdvanceTicks(5); }, 15'000},
        {"one small step", [] { platform::AdvanceTicks(1); }, 0},
    };
    for (const auto& row : rows) {
        const LONGLONG before = seenElsewhere(), mine = platform::NowTicks();
        row.advance();
        const LONGLONG seen = seenElsewhere();
        EXPECT_GE(seen - before, row.atLeast) << row.what;
        EXPECT_LE(seen, platform::NowTicks()) << row.what;
        EXPECT_GE(platform::NowTicks() - mine, row.atLeast) << row.what;
    }
}

// Threads moving the clock at once: each one's readings rise by at least its own steps, and no
// thread's time is lost beyond the last unflushed millisecond of each.
TEST_F(ClockTest, ThreadsPollingTogetherEachSeeTheirOwnStepsAndLoseNoWait) {
    constexpr int kThreads = 4, kReads = 50'000;
    const LONGLONG start = platform::NowTicks();
    int rising[kThreads] = {};
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k)
        threads.emplace_back([k, &rising] {
            LONGLONG last = 0, t = 0;
            QueryPerformanceCounter(&last);
            for (int i = 0; i < kReads; ++i) {
                if (i % 1000 == 0) Sleep(2);
                QueryPerformanceCounter(&t);
                rising[k] += t - last >= 10;
                last = t;
            }
        });
    for (auto& t : threads) t.join();
    for (int k = 0; k < kThreads; ++k) EXPECT_EQ(rising[k], kReads) << "thread " << k;
    // 4 threads x (50 000 reads of 1 us + 50 waits of 2 ms), less at most 1 ms each still held.
    EXPECT_GE(platform::NowTicks() - start, kThreads * (LONGLONG{kReads} * 10 + 50 * 20'000 - 10'000));
}
