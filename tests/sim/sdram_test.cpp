// SDRAM model: healthy access, windows, and each SDRAM fault acting where it should and nowhere else.
#include "sim/sdram.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

namespace {

using sim::SdramModel;

std::vector<uint32_t> Words(size_t n, uint32_t seed) {
    std::vector<uint32_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = seed * 2654435761u + static_cast<uint32_t>(i) * 0x9E3779B9u;
    return v;
}

TEST(Sdram, HealthyReadWriteClipsAtTheEndAndStartsZeroed) {
    SdramModel m(1 << 20);
    ASSERT_TRUE(m.IsValid());
    uint32_t w = 0xFFFFFFFF;
    EXPECT_EQ(m.Read(0x1000, &w, 4), 4u);
    EXPECT_EQ(w, 0u);
    auto data = Words(256, 7);
    EXPECT_EQ(m.Write(0x100, data.data(), 1024), 1024u);
    std::vector<uint32_t> back(256);
    EXPECT_EQ(m.Read(0x100, back.data(), 1024), 1024u);
    EXPECT_EQ(back, data);
    // Past the end: short counts, nothing beyond the memory touched.
    EXPECT_EQ(m.Write((1 << 20) - 8, data.data(), 16), 8u);
    EXPECT_EQ(m.Read((1 << 20) - 8, back.data(), 16), 8u);
    EXPECT_EQ(m.Read(1 << 20, back.data(), 4), 0u);
    EXPECT_EQ(m.Map((1 << 20) - 4, 8), nullptr);
    // A healthy window is the memory itself.
    std::memset(m.Map(0x2000, 64), 0xA5, 64);
    m.Read(0x203C, &w, 4);
    EXPECT_EQ(w, 0xA5A5A5A5u);
}

TEST(Sdram, StuckBitForcesOneBitInItsRangeOnly) {
    SdramModel m(1 << 20);
    m.SetFaults({{0x1000, 0x2000, 5, 1}}, {}, {});
    std::vector<uint32_t> zero(0x1000, 0);
    m.Write(0, zero.data(), zero.size() * 4);
    std::vector<uint32_t> back(0x1000);
    m.Read(0, back.data(), back.size() * 4);
    for (size_t i = 0; i < back.size(); ++i) {
        const uint64_t addr = 4 * i;
        EXPECT_EQ(back[i], (addr >= 0x1000 && addr < 0x2000) ? 0x20u : 0u) << "word at " << addr;
    }
    // Stuck at 0 under all ones; through a window the fault shows after the flush too.
    SdramModel n(1 << 20);
    n.SetFaults({{0, 1 << 20, 31, 0}}, {}, {});
    auto* p = reinterpret_cast<uint32_t*>(n.Map(0x40, 16));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 4; ++i) p[i] = 0xFFFFFFFF;
    n.Commit();
    uint32_t w = 0;
    n.Read(0x44, &w, 4);
    EXPECT_EQ(w, 0x7FFFFFFFu);
    auto* q = reinterpret_cast<uint32_t*>(n.Map(0x40, 16));
    EXPECT_EQ(q[3], 0x7FFFFFFFu);
}

TEST(Sdram, ShortedAddressLineMakesTwoAddressesShareCells) {
    SdramModel m(1 << 20);
    m.SetFaults({}, {{12, 4, 0}}, {});  // line 12 follows line 4
    const uint32_t a = 0xAAAA0001, b = 0xBBBB0002;
    m.Write(0x0010, &a, 4);  // line 4 set: lands where line 12 is set too
    m.Write(0x1000, &b, 4);  // line 12 set, line 4 clear: lands at 0
    uint32_t r = 0;
    m.Read(0x1010, &r, 4);
    EXPECT_EQ(r, a) << "0x10 and 0x1010 share cells";
    m.Read(0x0000, &r, 4);
    EXPECT_EQ(r, b) << "0x1000 and 0 share cells";
    // Addresses whose lines 4 and 12 agree are unaffected.
    const uint32_t c = 0x12345678;
    m.Write(0x2018, &c, 4);
    m.Read(0x2018, &r, 4);
    EXPECT_EQ(r, c);
    // A power-of-two address test sees one address read back another's value.
    SdramModel t(1 << 20);
    t.SetFaults({}, {{16, -1, 0}}, {});  // line 16 stuck at 0
    const uint32_t zero = 0;
    t.Write(0, &zero, 4);
    for (uint32_t addr = 4; addr < (1 << 20); addr <<= 1) t.Write(addr, &addr, 4);
    for (uint32_t addr = 4; addr < (1 << 20); addr <<= 1) {
        t.Read(addr, &r, 4);
        EXPECT_EQ(r, addr);
    }
    t.Read(0, &r, 4);
    EXPECT_EQ(r, 0x10000u) << "the write to 0x10000 landed on address 0";
}

TEST(Sdram, BitFlipsAreReproducibleAndStayInTheirRange) {
    auto run = [](uint64_t seed) {
        SdramModel m(1 << 20);
        m.SetFaults({}, {}, {{0.01, seed, 0x8000, 0x10000}});
        std::vector<uint32_t> back(0x4000);
        m.Read(0, back.data(), back.size() * 4);
        return back;
    };
    const auto a = run(42), b = run(42), c = run(43);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    int flipped = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const uint64_t addr = 4 * i;
        if (addr < 0x8000 || addr >= 0x10000) {
            EXPECT_EQ(a[i], 0u);
        } else if (a[i]) {
            EXPECT_EQ(__builtin_popcount(a[i]), 1) << "one bit per flipped word";
            ++flipped;
        }
    }
    // 8192 words at 1%: about 82 flips.
    EXPECT_GT(flipped, 40);
    EXPECT_LT(flipped, 140);
    // Flips are soft: the cells keep what was written.
    SdramModel m(1 << 20);
    m.SetFaults({}, {}, {{1.0, 1, 0, 1 << 20}});
    const uint32_t v = 0x0F0F0F0F;
    m.Write(0x100, &v, 4);
    uint32_t r1 = 0, r2 = 0;
    m.Read(0x100, &r1, 4);
    m.Read(0x100, &r2, 4);
    EXPECT_EQ(__builtin_popcount(r1 ^ v), 1);
    EXPECT_EQ(__builtin_popcount(r2 ^ v), 1);
}

TEST(Sdram, FaultedWindowWritesBackOnlyChangedBytes) {
    SdramModel m(1 << 20);
    m.SetFaults({}, {}, {{1.0, 9, 0, 1 << 20}});
    const uint32_t v[4] = {1, 2, 3, 4};
    m.Write(0x200, v, 16);
    auto* p = reinterpret_cast<uint32_t*>(m.Map(0x200, 16));
    p[2] = 0x33333333;
    m.Commit();
    // Words not written through the window must not take the flips they were read with.
    m.SetFaults({}, {}, {});
    std::vector<uint32_t> back(4);
    m.Read(0x200, back.data(), 16);
    EXPECT_EQ(back, (std::vector<uint32_t>{1, 2, 0x33333333, 4}));
}

}  // namespace
