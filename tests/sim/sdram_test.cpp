// SDRAM model: healthy access and windows, and each SDRAM fault acting where it should and nowhere else.
#include "sim/sdram.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using sim::SdramModel;

std::vector<uint32_t> ReadAll(SdramModel& m, size_t words) {
    std::vector<uint32_t> v(words);
    m.Read(0, v.data(), words * 4);
    return v;
}

TEST(Sdram, HealthyAccessClipsAtTheEndAndWindowsAreTheMemory) {
    SdramModel m(1 << 20);
    uint32_t data[4] = {1, 2, 3, 4}, back[4] = {9, 9, 9, 9};
    EXPECT_EQ(m.Write((1 << 20) - 8, data, 16) + m.Read((1 << 20) - 8, back, 16), 16u) << "past the end: short counts";
    EXPECT_EQ(back[1] * 10 + back[2], 29u);
    EXPECT_EQ(m.Read(1 << 20, back, 4), 0u);
    EXPECT_EQ(m.Map((1 << 20) - 4, 8), nullptr);
    std::memset(m.Map(0x2000, 64), 0xA5, 64);
    m.Read(0x203C, back, 4);
    EXPECT_EQ(back[0], 0xA5A5A5A5u);
}

TEST(Sdram, StuckBitForcesOneBitInItsRangeOnlyThroughWritesAndWindows) {
    SdramModel m(1 << 20);
    m.SetFaults({{0x1000, 0x2000, 5, 1}}, {}, {});
    const std::vector<uint32_t> back = ReadAll(m, 0x1000);
    for (size_t i = 0; i < back.size(); ++i) ASSERT_EQ(back[i], (4 * i >= 0x1000 && 4 * i < 0x2000) ? 0x20u : 0u) << 4 * i;
    SdramModel n(1 << 20);
    n.SetFaults({{0, 1 << 20, 31, 0}}, {}, {});
    auto* p = reinterpret_cast<uint32_t*>(n.Map(0x40, 16));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 4; ++i) p[i] = 0xFFFFFFFF;
    n.Commit();
    uint32_t w = 0;
    n.Read(0x44, &w, 4);
    EXPECT_EQ(w, 0x7FFFFFFFu) << "stuck at 0 under all ones";
    EXPECT_EQ(reinterpret_cast<uint32_t*>(n.Map(0x40, 16))[3], 0x7FFFFFFFu);
}

TEST(Sdram, ShortedOrStuckAddressLineMakesAddressesShareCells) {
    SdramModel m(1 << 20);
    m.SetFaults({}, {{12, 4, 0}}, {});  // line 12 follows line 4
    const uint32_t a = 0xAAAA0001, b = 0xBBBB0002, c = 0x12345678;
    uint32_t r = 0;
    m.Write(0x0010, &a, 4);
    m.Write(0x1000, &b, 4);
    m.Write(0x2018, &c, 4);  // lines 4 and 12 agree: its own cell
    for (const auto& [addr, want] : {std::pair{0x1010u, a}, {0x0000u, b}, {0x2018u, c}}) {
        m.Read(addr, &r, 4);
        EXPECT_EQ(r, want) << std::hex << addr;
    }
    SdramModel t(1 << 20);
    t.SetFaults({}, {{16, -1, 0}}, {});  // line 16 stuck at 0: the power-of-two test's view
    for (uint32_t addr = 4; addr < (1 << 20); addr <<= 1) t.Write(addr, &addr, 4);
    t.Read(0, &r, 4);
    EXPECT_EQ(r, 0x10000u) << "the write to 0x10000 landed on address 0";
}

TEST(Sdram, BitFlipsAreSoftReproducibleAndStayInTheirRange) {
    auto run = [](uint64_t seed) {
        SdramModel m(1 << 20);
        m.SetFaults({}, {}, {{0.01, seed, 0x8000, 0x10000}});
        return ReadAll(m, 0x4000);
    };
    const auto a = run(42);
    EXPECT_EQ(a, run(42));
    EXPECT_NE(a, run(43));
    int flipped = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const bool inRange = 4 * i >= 0x8000 && 4 * i < 0x10000;
        ASSERT_LE(__builtin_popcount(a[i]), inRange ? 1 : 0) << "one bit per flipped word, in range only: " << 4 * i;
        flipped += a[i] != 0;
    }
    EXPECT_GT(flipped, 40);  // 8192 words at 1%: about 82
    EXPECT_LT(flipped, 140);
    // A faulted window writes back only the words changed through it, not the flips it was read with.
    SdramModel m(1 << 20);
    m.SetFaults({}, {}, {{1.0, 9, 0, 1 << 20}});
    const uint32_t v[4] = {1, 2, 3, 4};
    m.Write(0x200, v, 16);
    reinterpret_cast<uint32_t*>(m.Map(0x200, 16))[2] = 0x33333333;
    m.Commit();
    m.SetFaults({}, {}, {});
    std::vector<uint32_t> back(4);
    m.Read(0x200, back.data(), 16);
    EXPECT_EQ(back, (std::vector<uint32_t>{1, 2, 0x33333333, 4}));
}

}  // namespace
