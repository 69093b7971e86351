// Tests of the data pattern generators against independent models of each stream.
#include "framework/pattern_generators.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

using Words = std::vector<DWORD>;
constexpr uint64_t kFixedTaps = 0x8000040000201000ull;  // bits 63, 42, 21, 12

// A bit-at-a-time shift register from the definition: the parity of the tapped bits is shifted in at
// bit 0 and output; words are 32 outputs, the first in bit 31. Seeding: zero becomes 1, 96 bits dropped.
Words RefLfsr(uint64_t seed, size_t n) {
    uint64_t state = seed ? seed : 1;
    Words v(n + 3);
    for (auto& w : v)
        for (int i = 0; i < 32; ++i) {
            const DWORD bit = static_cast<DWORD>(__builtin_parityll(state & kFixedTaps));
            state = state << 1 | bit;
            w = w << 1 | bit;
        }
    return Words(v.begin() + 3, v.end());
}

Words Take(DataPatternGenerator& g, size_t n) {
    Words v(n);
    for (auto& w : v) w = g.Next();
    return v;
}

// The word at byte offset p of a file read circularly, little-endian.
DWORD CircularWord(const std::string& b, size_t p) {
    DWORD w = 0;
    for (int i = 3; i >= 0; --i) w = (w << 8) | static_cast<BYTE>(b[(p + static_cast<size_t>(i)) % b.size()]);
    return w;
}

// Each byte of the ramp, rounded to nearest from the exact fraction.
DWORD RampRef(DWORD start, DWORD end, double t, double span) {
    DWORD c = 0;
    for (int k = 0; k < 3; ++k) {
        const double s = (start >> (8 * k)) & 0xFF, e = (end >> (8 * k)) & 0xFF;
        c |= static_cast<DWORD>(std::floor((e * t + s * (span - t)) / span + 0.5)) << (8 * k);
    }
    return c;
}

TEST(SequenceGenerators, LrsIncFileAndRgbRampSequences) {
    LRS_Generator g(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
    EXPECT_EQ(Take(g, 200), RefLfsr(~0ull, 200));  // as built: all ones
    // Pass q is seeded with n * (q + 1) + m; a zero seed becomes 1; a negative one is sign-extended.
    const struct { int m, n, pass; int64_t seed; } rows[] = {{0, 1, 3, 4}, {0, 0, 2, 1}, {-5, 1, 0, -4}};
    for (const auto& row : rows) {
        g.SetSeedRule(row.m, row.n);
        g.Reset(row.pass);
        EXPECT_EQ(Take(g, 300), RefLfsr(static_cast<uint64_t>(row.seed), 300)) << row.m << "," << row.n;
    }
    // The value is the next 64 output bits, the first in bit 63; SetValue answers the one before.
    g.SetValue(0x0123456789ABCDEFull);
    EXPECT_EQ(Take(g, 2), (Words{0x01234567u, 0x89ABCDEFu}));
    Words block(1000, 0xDEADBEEF);  // a zero value is kept: zeros (the loopback tests rely on it)
    g.SetValue(0);
    g.Fill(block.data(), block.size());
    EXPECT_EQ(block, Words(1000, 0));

    // The suite's taps, a tap next to bit 0 (feeding the next word), an odd count.
    const DWORD taps[][2] = {{LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh}, {3, 0x80000000}, {0x00010007, 0x00400000}};
    for (const auto& t : taps)
        for (size_t count : {1, 64, 65, 100003}) {
            LRS_Generator a(t[0], t[1]), b(t[0], t[1]);
            Words filled(count);
            a.Fill(filled.data(), count);
            EXPECT_EQ(filled, Take(b, count)) << std::hex << t[1] << t[0] << std::dec << " count " << count;
            EXPECT_EQ(a.SetValue(0), b.SetValue(0)) << "the register is left where the words ended";
        }
    // INC counts from the start by the increment.
    DP_INC_Generator inc;
    inc.Reset(0);
    EXPECT_EQ(Take(inc, 2), (Words{1, 2}));
    inc.SetStartIncrement(100, 4);  // replay from the value read back, and block fill
    inc.Reset(0);
    Take(inc, 10);
    EXPECT_EQ(inc.SetValue(140), 140u);
    inc.Fill(block.data(), block.size());
    EXPECT_EQ(block[999], 140u + 4u * 1000u);
    EXPECT_EQ(inc.Next(), 140u + 4u * 1001u);
    // A file is read circularly, or gives zeros with a reason.
    support::TempDir dir;
    const std::string bytes("\0\1\2\3\4\5", 6), six = dir.Write("six.bin", bytes);
    DP_FILE_Generator file;
    ASSERT_TRUE(file.Open(CString(six.c_str()), -2));  // a negative start counts from the end
    EXPECT_EQ(Take(file, 2), (Words{0x01000504, 0x05040302}));

    std::string big(100001, '\0');  // more than the 32 KiB window, not a multiple of 4
    std::mt19937 rng(12345);
    for (auto& b : big) b = static_cast<char>(rng());
    ASSERT_TRUE(file.Open(CString(dir.Write("big.bin", big).c_str()), 0));
    // Jumps backwards and forwards, and block fills that cross the end.
    std::uniform_int_distribution<uint64_t> pos(0, 1000000);
    for (int k = 0; k < 10; ++k) {
        const uint64_t p = pos(rng);
        file.SetValue(p);
        Words block(static_cast<size_t>(pos(rng) % 40000));
        file.Fill(block.data(), block.size());
        const size_t start = static_cast<size_t>(p % big.size());
        for (size_t i = 0; i < block.size(); ++i) ASSERT_EQ(block[i], CircularWord(big, start + 4 * i)) << k << " " << i;
        EXPECT_EQ(file.Next(), CircularWord(big, start + 4 * block.size()));
    }
    // A missing, empty or shrunk file yields zeros and says so.
    EXPECT_FALSE(file.Open(CString(dir.File("none.bin").c_str()), 0));
    EXPECT_NE(file.GetError().Find("none.bin\" cannot be opened"), -1) << file.GetError().c_str();
    EXPECT_FALSE(file.Open(CString(dir.Write("empty.bin", "").c_str()), 0));
    EXPECT_NE(file.GetError().Find("is empty"), -1);
    EXPECT_EQ(file.Next(), 0u);

    const std::string path = dir.Write("shrink.bin", std::string(100000, 'Z'));
    ASSERT_TRUE(file.Open(CString(path.c_str()), 0));
    ASSERT_EQ(::truncate(path.c_str(), 10), 0);
    file.SetValue(90000);  // outside the loaded window: must be read, and cannot
    EXPECT_EQ(file.Next(), 0u);
    EXPECT_NE(file.GetError().Find("cannot be read"), -1);
    // The RGB ramp runs along its direction and the walk wraps.
    RGBRamp_Generator ramp;
    ramp.SetRamp(0, 0x102030, 0xF0E0D0);
    ramp.Reset(0);
    const Words line = Take(ramp, 513);
    for (int x = 0; x < 512; ++x) ASSERT_EQ(line[static_cast<size_t>(x)], RampRef(0x102030, 0xF0E0D0, x, 511)) << x;
    EXPECT_EQ(line[512], 0x102030u);  // next row, same x
    ramp.SetSize(4, 3);  // the other directions on a 4 x 3 image
    const struct { int dir; DWORD start, end; int x, y; DWORD want; } directions[] = {
        {2, 0, 0xFFFFFF, 0, 1, RampRef(0, 0xFFFFFF, 1, 2)}, {1, 0, 0xFF, 2, 1, RampRef(0, 0xFF, 3, 5)},
        {3, 0xFF, 0, 1, 1, RampRef(0xFF, 0, 3, 5)}};
    for (const auto& r : directions) {
        ramp.SetRamp(r.dir, r.start, r.end);
        EXPECT_EQ(ramp.GetColor(r.x, r.y), r.want) << r.dir << " at " << r.x << "," << r.y;
    }

    // The walk: x first, then y; SetValue holds x low, y high; y outside gives 0.
    ramp.SetSize(512, 512);
    ramp.SetRamp(2, 0, 0xFFFFFF);
    ramp.SetValue((uint64_t{3} << 32) | 7);
    EXPECT_EQ(ramp.Next(), ramp.GetColor(7, 3));
    ramp.SetValue((uint64_t{511} << 32) | 500);  // block fills equal the walk across the frame's end
    Words frame(1500);
    ramp.Fill(frame.data(), frame.size());
    ramp.SetValue((uint64_t{511} << 32) | 500);
    EXPECT_EQ(frame, Take(ramp, frame.size()));
}


}  // namespace
