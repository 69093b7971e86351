// Tests of the data pattern generators against independent models of each stream.
#include "framework/pattern_generators.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kFixedTaps = 0x8000040000201000ull;  // bits 63, 42, 21, 12

// A plain bit-at-a-time shift register, written from the definition: the feedback is the XOR of
// the tapped bits, shifted in at bit 0, and is the output bit; words are 32 outputs, first in bit 31.
struct RefLfsr {
    uint64_t taps;
    uint64_t state;

    int Bit() {
        int parity = 0;
        for (int i = 0; i < 64; ++i)
            if ((taps >> i) & 1) parity ^= static_cast<int>((state >> i) & 1);
        state = (state << 1) | static_cast<uint64_t>(parity);
        return parity;
    }
    DWORD Word() {
        DWORD w = 0;
        for (int i = 0; i < 32; ++i) w = (w << 1) | static_cast<DWORD>(Bit());
        return w;
    }
    // The seeding rule: zero becomes 1, then 96 bits are discarded.
    static RefLfsr Seeded(uint64_t taps, uint64_t seed, uint64_t mask) {
        RefLfsr r{taps, seed & mask};
        if (r.state == 0) r.state = 1;
        r.Word();
        r.Word();
        r.Word();
        return r;
    }
};

std::vector<DWORD> Words(DataPatternGenerator& g, size_t n) {
    std::vector<DWORD> v(n);
    for (auto& w : v) w = g.Next();
    return v;
}

std::vector<DWORD> RefWords(RefLfsr& r, size_t n) {
    std::vector<DWORD> v(n);
    for (auto& w : v) w = r.Word();
    return v;
}

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/pexgenXXXXXX";
        m_path = ::mkdtemp(tmpl);
    }
    ~TempDir() { fs::remove_all(m_path); }
    std::string File(const std::string& name, const std::vector<BYTE>& bytes) const {
        std::string p = m_path + "/" + name;
        FILE* f = std::fopen(p.c_str(), "wb");
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return p;
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// The word at byte offset p of a file read circularly, little-endian.
DWORD CircularWord(const std::vector<BYTE>& b, size_t p) {
    DWORD w = 0;
    for (int i = 3; i >= 0; --i) w = (w << 8) | b[(p + static_cast<size_t>(i)) % b.size()];
    return w;
}

TEST(LrsGenerator, WordsAfterResetFollowTheSeedRule) {
    LRS_Generator g(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
    EXPECT_EQ(g.GetWidth(), 64);
    EXPECT_EQ(g.GetTaps(), kFixedTaps);

    // As built: all ones, warmed up.
    RefLfsr fresh = RefLfsr::Seeded(kFixedTaps, ~0ull, ~0ull);
    EXPECT_EQ(Words(g, 200), RefWords(fresh, 200));

    // The builder's rule m = 0, n = 1: pass q is seeded with q + 1.
    g.SetSeedRule(0, 1);
    for (int pass = 0; pass < 4; ++pass) {
        g.Reset(pass);
        RefLfsr ref = RefLfsr::Seeded(kFixedTaps, static_cast<uint64_t>(pass) + 1, ~0ull);
        EXPECT_EQ(Words(g, 500), RefWords(ref, 500)) << "pass " << pass;
    }

    // Same words on every run, other words on another pass.
    LRS_Generator other(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
    other.SetSeedRule(0, 1);
    g.Reset(0);
    other.Reset(0);
    std::vector<DWORD> pass0 = Words(g, 64);
    EXPECT_EQ(pass0, Words(other, 64));
    g.Reset(1);
    EXPECT_NE(pass0, Words(g, 64));

    // n = 0: every pass gets seed m; a zero seed becomes 1.
    g.SetSeedRule(3, 0);
    g.Reset(0);
    std::vector<DWORD> seed3 = Words(g, 64);
    g.Reset(7);
    EXPECT_EQ(seed3, Words(g, 64));
    RefLfsr ref3 = RefLfsr::Seeded(kFixedTaps, 3, ~0ull);
    EXPECT_EQ(seed3, RefWords(ref3, 64));
    g.SetSeedRule(0, 0);
    g.Reset(2);
    RefLfsr ref1 = RefLfsr::Seeded(kFixedTaps, 1, ~0ull);
    EXPECT_EQ(Words(g, 64), RefWords(ref1, 64));

    // A negative seed (32-bit rule) is sign-extended: m = -5, n = 1, pass 0 gives -4.
    g.SetSeedRule(-5, 1);
    g.Reset(0);
    RefLfsr refNeg = RefLfsr::Seeded(kFixedTaps, static_cast<uint64_t>(int64_t{-4}), ~0ull);
    EXPECT_EQ(Words(g, 64), RefWords(refNeg, 64));
}

TEST(LrsGenerator, RegisterOfOneGivesTheKnownWord) {
    // The window that leaves the register at exactly 1 is the next 64 outputs from a register of 1.
    RefLfsr fromOne{kFixedTaps, 1};
    uint64_t window = (static_cast<uint64_t>(fromOne.Word()) << 32) | fromOne.Word();
    LRS_Generator g(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
    g.SetValue(window);
    // The single 1 reaches taps 12 and 21 on steps 13 and 22, the bit fed back on step 13 reaches
    // tap 12 on step 26: bits 19, 10 and 6.
    EXPECT_EQ(g.Next(), 0x00080440u);
}

TEST(LrsGenerator, SetValueReplaysAndLoadsTheOutputWindow) {
    LRS_Generator g(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
    g.Reset(5);
    Words(g, 17);
    uint64_t v = g.SetValue(0);
    g.SetValue(v);
    std::vector<DWORD> first = Words(g, 300);
    g.SetValue(v);
    EXPECT_EQ(first, Words(g, 300));

    // The value is the next 64 output bits, the first in bit 63.
    const uint64_t x = 0x0123456789ABCDEFull;
    g.SetValue(x);
    EXPECT_EQ(g.Next(), 0x01234567u);
    EXPECT_EQ(g.Next(), 0x89ABCDEFu);
    g.SetValue(x);
    EXPECT_EQ(g.SetValue(0), x);

    // A zero value is kept: the register then gives zeros (the loopback tests rely on it).
    g.SetValue(0);
    EXPECT_EQ(Words(g, 100), std::vector<DWORD>(100, 0));
    std::vector<DWORD> block(1000, 0xDEADBEEF);
    g.Fill(block.data(), block.size());
    EXPECT_EQ(block, std::vector<DWORD>(1000, 0));
}

TEST(LrsGenerator, NarrowRegisterMasksItsValue) {
    // Taps 3 and 2: width 4, x^4 + x^3 + 1 is primitive, so from any non-zero state the period is 15.
    LRS_Generator g(0x0C, 0);
    EXPECT_EQ(g.GetWidth(), 4);
    g.SetValue(0xF5);
    EXPECT_EQ(g.SetValue(0), 0x5u);
    g.SetValue(0x9);
    // The next four outputs are the value's bits 3..0, then the recurrence o(t) = o(t-3) ^ o(t-4).
    DWORD w = g.Next();
    EXPECT_EQ(w >> 28, 0x9u);
    std::vector<int> bits;
    for (int i = 31; i >= 0; --i) bits.push_back(static_cast<int>((w >> i) & 1));
    for (size_t t = 4; t < bits.size(); ++t) EXPECT_EQ(bits[t], bits[t - 3] ^ bits[t - 4]) << t;
    for (size_t t = 15; t < bits.size(); ++t) EXPECT_EQ(bits[t], bits[t - 15]) << t;

    // The maximal-length test answers FALSE for an odd number of taps.
    LRS_Generator odd(0x0E, 0);
    EXPECT_FALSE(odd.IsMaximal());
}

TEST(LrsGenerator, BlockFillEqualsWordByWord) {
    struct Case {
        DWORD low, high;
    };
    // The suite's taps, a tap next to bit 0 (feeding the next word), an odd count, a short register.
    const Case cases[] = {{LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh},
                          {0x00000003, 0x80000000},
                          {0x00010007, 0x00400000},
                          {0x0000000C, 0}};
    for (const Case& c : cases) {
        for (size_t count : {0, 1, 5, 63, 64, 65, 72, 511, 512, 513, 521, 1000, 100003}) {
            LRS_Generator a(c.low, c.high), b(c.low, c.high);
            a.Reset(2);
            b.Reset(2);
            std::vector<DWORD> filled(count);
            a.Fill(filled.data(), count);
            EXPECT_EQ(filled, Words(b, count)) << std::hex << c.high << c.low << " count " << std::dec << count;
            // The register is left where the words ended.
            EXPECT_EQ(Words(a, 70), Words(b, 70)) << "after fill of " << count;
            EXPECT_EQ(a.SetValue(0), b.SetValue(0));
        }
    }
    // And against the bit-by-bit reference, over a block long enough for the fast path.
    LRS_Generator g(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
    g.SetSeedRule(0, 1);
    g.Reset(0);
    std::vector<DWORD> block(20000);
    g.Fill(block.data(), block.size());
    RefLfsr ref = RefLfsr::Seeded(kFixedTaps, 1, ~0ull);
    EXPECT_EQ(block, RefWords(ref, block.size()));
}

TEST(IncGenerator, CountsFromTheStartByTheIncrement) {
    DP_INC_Generator g;
    g.Reset(0);
    EXPECT_EQ(Words(g, 4), (std::vector<DWORD>{1, 2, 3, 4}));

    g.SetStartIncrement(7, 0);
    g.Reset(3);
    EXPECT_EQ(Words(g, 3), (std::vector<DWORD>{7, 7, 7}));

    // Wraps modulo 2^32; Reset answers the start sign-extended.
    g.SetStartIncrement(0xFFFFFFFE, 1);
    EXPECT_EQ(g.Reset(0), 0xFFFFFFFFFFFFFFFEull);
    EXPECT_EQ(Words(g, 3), (std::vector<DWORD>{0xFFFFFFFF, 0, 1}));

    // Replay and block fill.
    g.SetStartIncrement(100, 4);
    g.Reset(0);
    Words(g, 10);
    uint64_t v = g.SetValue(0);
    EXPECT_EQ(v, 140u);
    g.SetValue(v);
    std::vector<DWORD> block(1000);
    g.Fill(block.data(), block.size());
    for (size_t i = 0; i < block.size(); ++i) ASSERT_EQ(block[i], 140u + 4u * static_cast<DWORD>(i + 1)) << i;
    EXPECT_EQ(g.Next(), 140u + 4u * 1001u);
}

TEST(FileGenerator, SmallFileIsReadCircularly) {
    TempDir dir;
    std::string six = dir.File("six.bin", {0, 1, 2, 3, 4, 5});
    DP_FILE_Generator g;
    ASSERT_TRUE(g.Open(CString(six.c_str()), 0));
    EXPECT_EQ(g.GetError(), "");
    // Offsets 0, 4 (bytes 4, 5, 0, 1), 2, 0, ...
    EXPECT_EQ(Words(g, 6), (std::vector<DWORD>{0x03020100, 0x01000504, 0x05040302, 0x03020100, 0x01000504,
                                               0x05040302}));

    // A start equal to the size starts at 0; a negative start counts from the end.
    g.Open(CString(six.c_str()), 6);
    EXPECT_EQ(g.Next(), 0x03020100u);
    g.Open(CString(six.c_str()), -2);
    EXPECT_EQ(g.Reset(0), 4u);
    EXPECT_EQ(g.Next(), 0x01000504u);

    // Replay by byte position.
    g.Reset(0);
    g.Next();
    uint64_t v = g.SetValue(0);
    EXPECT_EQ(v, 2u);
    g.SetValue(v);
    EXPECT_EQ(g.Next(), 0x05040302u);
    g.SetValue(13);  // modulo the size: 1
    EXPECT_EQ(g.Next(), 0x04030201u);

    // One byte repeats in every byte of the word.
    DP_FILE_Generator one;
    ASSERT_TRUE(one.Open(CString(dir.File("one.bin", {0xAB}).c_str()), 0));
    EXPECT_EQ(one.Next(), 0xABABABABu);

    // Block fill over many periods, from an odd position.
    g.SetValue(3);
    std::vector<DWORD> block(10001);
    g.Fill(block.data(), block.size());
    std::vector<BYTE> bytes{0, 1, 2, 3, 4, 5};
    for (size_t i = 0; i < block.size(); ++i) ASSERT_EQ(block[i], CircularWord(bytes, 3 + 4 * i)) << i;
    EXPECT_EQ(g.SetValue(0), (3 + 4 * block.size()) % 6);
}

TEST(FileGenerator, MissingOrEmptyFileYieldsNothingAndSaysSo) {
    TempDir dir;
    DP_FILE_Generator g;
    std::string missing = dir.Path() + "/none.bin";
    EXPECT_FALSE(g.Open(CString(missing.c_str()), 0));
    EXPECT_TRUE(g.IsEmpty());
    EXPECT_NE(g.GetError().Find("cannot be opened"), -1);
    EXPECT_NE(g.GetError().Find("none.bin"), -1);
    EXPECT_EQ(g.Next(), 0u);

    std::string empty = dir.File("empty.bin", {});
    EXPECT_FALSE(g.Open(CString(empty.c_str()), 0));
    EXPECT_NE(g.GetError().Find("is empty"), -1);
    EXPECT_EQ(Words(g, 3), (std::vector<DWORD>{0, 0, 0}));
    EXPECT_EQ(g.SetValue(5), 0u);
    EXPECT_EQ(g.Reset(1), 0u);
    std::vector<DWORD> block(9, 0xFFFFFFFF);
    g.Fill(block.data(), block.size());
    EXPECT_EQ(block, std::vector<DWORD>(9, 0));

    EXPECT_FALSE(g.Open(static_cast<FILE*>(nullptr), 0));
    EXPECT_NE(g.GetError().Find("cannot be opened"), -1);
}

TEST(FileGenerator, LargeFileStreamsThroughItsWindow) {
    TempDir dir;
    std::vector<BYTE> bytes(100001);  // more than the 32 KiB window, not a multiple of 4
    std::mt19937 rng(12345);
    for (auto& b : bytes) b = static_cast<BYTE>(rng());
    std::string path = dir.File("big.bin", bytes);

    DP_FILE_Generator g;
    ASSERT_TRUE(g.Open(CString(path.c_str()), 99990));
    // Three passes over the file word by word, from a start just before the end.
    for (size_t i = 0; i < 80000; ++i) ASSERT_EQ(g.Next(), CircularWord(bytes, 99990 + 4 * i)) << i;

    // Jumps backwards and forwards, and block fills that cross the end.
    std::uniform_int_distribution<uint64_t> pos(0, 1000000);
    for (int k = 0; k < 50; ++k) {
        uint64_t p = pos(rng);
        g.SetValue(p);
        size_t count = static_cast<size_t>(pos(rng) % 40000);
        std::vector<DWORD> block(count);
        g.Fill(block.data(), count);
        size_t start = static_cast<size_t>(p % bytes.size());
        for (size_t i = 0; i < count; ++i) ASSERT_EQ(block[i], CircularWord(bytes, start + 4 * i)) << k << " " << i;
        EXPECT_EQ(g.Next(), CircularWord(bytes, start + 4 * count));
    }

    // Replay.
    uint64_t v = g.SetValue(0);
    g.SetValue(v);
    std::vector<DWORD> a = Words(g, 20000);
    g.SetValue(v);
    EXPECT_EQ(a, Words(g, 20000));
}

TEST(FileGenerator, FileThatShrinksEmptiesTheGenerator) {
    TempDir dir;
    std::vector<BYTE> bytes(100000, 0x5A);
    std::string path = dir.File("shrink.bin", bytes);
    DP_FILE_Generator g;
    ASSERT_TRUE(g.Open(CString(path.c_str()), 0));
    EXPECT_EQ(g.Next(), 0x5A5A5A5Au);
    ASSERT_EQ(::truncate(path.c_str(), 10), 0);
    g.SetValue(90000);  // outside the loaded window: must be read, and cannot
    EXPECT_EQ(g.Next(), 0u);
    EXPECT_TRUE(g.IsEmpty());
    EXPECT_NE(g.GetError().Find("cannot be read"), -1);
}

// Each byte of the ramp, rounded to nearest from the exact fraction.
DWORD RampRef(DWORD start, DWORD end, double t, double span) {
    DWORD c = 0;
    for (int k = 0; k < 3; ++k) {
        double s = (start >> (8 * k)) & 0xFF, e = (end >> (8 * k)) & 0xFF;
        c |= static_cast<DWORD>(std::floor((e * t + s * (span - t)) / span + 0.5)) << (8 * k);
    }
    return c;
}

TEST(RgbGenerators, RampRunsFromStartToEndAlongItsDirection) {
    RGBRamp_Generator g;
    g.SetRamp(0, 0x102030, 0xF0E0D0);
    g.Reset(0);
    std::vector<DWORD> row = Words(g, 513);
    EXPECT_EQ(row[0], 0x102030u);
    EXPECT_EQ(row[511], 0xF0E0D0u);
    EXPECT_EQ(row[512], 0x102030u);  // next row, same x
    for (int x = 0; x < 512; ++x) ASSERT_EQ(row[static_cast<size_t>(x)], RampRef(0x102030, 0xF0E0D0, x, 511)) << x;
    EXPECT_EQ(g.GetColor(-1, 0), 0u);
    EXPECT_EQ(g.GetColor(512, 3), 0u);
    EXPECT_EQ(g.GetColor(5, 512), 0u);

    // The other directions on a 4 x 3 image.
    g.SetSize(4, 3);
    g.SetRamp(2, 0x000000, 0xFFFFFF);  // vertical
    EXPECT_EQ(g.GetColor(3, 0), 0u);
    EXPECT_EQ(g.GetColor(0, 1), RampRef(0, 0xFFFFFF, 1, 2));
    EXPECT_EQ(g.GetColor(2, 2), 0xFFFFFFu);
    g.SetRamp(1, 0x000000, 0x0000FF);  // along x + y, span 5
    EXPECT_EQ(g.GetColor(0, 0), 0u);
    EXPECT_EQ(g.GetColor(2, 1), RampRef(0, 0xFF, 3, 5));
    EXPECT_EQ(g.GetColor(3, 2), 0xFFu);
    g.SetRamp(3, 0x0000FF, 0x000000);  // along (w - 1 - x) + y
    EXPECT_EQ(g.GetColor(3, 0), 0xFFu);
    EXPECT_EQ(g.GetColor(0, 2), 0u);
    EXPECT_EQ(g.GetColor(1, 1), RampRef(0xFF, 0, 3, 5));
    g.SetRamp(9, 0x000000, 0x0000FF);  // unknown direction: horizontal
    EXPECT_EQ(g.GetColor(3, 2), 0xFFu);
    EXPECT_EQ(g.GetColor(0, 2), 0u);
}

TEST(RgbGenerators, RampOverAnAxisOfLengthOneGivesTheStartColour) {
    RGBRamp_Generator g;
    g.SetSize(1, 8);
    g.SetRamp(0, 0x123456, 0xABCDEF);
    EXPECT_EQ(Words(g, 16), std::vector<DWORD>(16, 0x123456u));
    g.SetSize(1, 1);
    for (int d = 0; d < 4; ++d) {
        g.SetRamp(d, 0x654321, 0);
        EXPECT_EQ(g.GetColor(0, 0), 0x654321u) << d;
    }
    g.SetSize(8, 1);
    g.SetRamp(2, 0x777777, 0);  // vertical over one row
    EXPECT_EQ(g.GetColor(5, 0), 0x777777u);
}

TEST(RgbGenerators, SolidAndTheRasterWalk) {
    RGBSolid_Generator solid;
    EXPECT_EQ(solid.Next(), 0u);  // no colour given
    solid.SetColor(0xFF123456);
    EXPECT_EQ(Words(solid, 5), std::vector<DWORD>(5, 0x123456u));
    EXPECT_EQ(solid.GetColor(-7, 100000), 0x123456u);

    // The walk: x first, then y, then back to the top; SetValue holds x low, y high.
    RGBRamp_Generator g;
    g.SetRamp(2, 0, 0xFFFFFF);
    g.Reset(0);
    Words(g, 512 * 3 + 7);
    uint64_t v = g.SetValue(0);
    EXPECT_EQ(v, (uint64_t{3} << 32) | 7);
    g.SetValue(v);
    EXPECT_EQ(g.Next(), g.GetColor(7, 3));
    EXPECT_EQ(g.SetValue((uint64_t{600} << 32) | 2), (uint64_t{3} << 32) | 8);  // y outside: 0
    EXPECT_EQ(g.SetValue(0), 2u);
    EXPECT_EQ(g.Reset(0), 0u);  // the base Reset: SetValue(0)

    // A full frame and a bit: the words wrap to the top.
    g.SetValue(0);
    std::vector<DWORD> frame = Words(g, 512 * 512 + 3);
    EXPECT_EQ(frame[512 * 512], frame[0]);
    EXPECT_EQ(frame[512 * 512 + 2], frame[2]);

    // Block fills equal the walk, for the ramp and the solid colour.
    for (RGB_TestPatternGenerator* gen : {static_cast<RGB_TestPatternGenerator*>(&g),
                                          static_cast<RGB_TestPatternGenerator*>(&solid)}) {
        gen->SetValue((uint64_t{511} << 32) | 500);
        std::vector<DWORD> block(1500);
        gen->Fill(block.data(), block.size());
        gen->SetValue((uint64_t{511} << 32) | 500);
        EXPECT_EQ(block, Words(*gen, block.size()));
    }

    // A smaller window of the image.
    g.SetRamp(0, 0, 0xFFFFFF);
    g.RGB_TestPatternGenerator::SetSize(4, 2);
    g.SetValue(0);
    std::vector<DWORD> win = Words(g, 9);
    EXPECT_EQ(win[4], g.GetColor(0, 1));
    EXPECT_EQ(win[8], win[0]);
    DWORD buf[6];
    DWORD* out = buf;
    g.FillBuffer(&out, 1, 0, 3, 2);
    EXPECT_EQ(out, buf + 6);
    EXPECT_EQ(buf[0], g.GetColor(1, 0));
    EXPECT_EQ(buf[5], g.GetColor(3, 1));
}

TEST(Generators, DeleteThroughTheBase) {
    TempDir dir;
    std::vector<std::unique_ptr<DataPatternGenerator>> all;
    all.push_back(std::make_unique<LRS_Generator>(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh));
    all.push_back(std::make_unique<DP_INC_Generator>());
    auto file = std::make_unique<DP_FILE_Generator>();
    file->Open(CString(dir.File("f.bin", {1, 2, 3, 4, 5}).c_str()), 0);
    all.push_back(std::move(file));
    all.push_back(std::make_unique<RGBSolid_Generator>());
    all.push_back(std::make_unique<RGBRamp_Generator>());
    for (auto& g : all) {
        g->Reset(0);
        DWORD a = g->Next();
        g->Reset(0);
        EXPECT_EQ(g->Next(), a);
    }
    all.clear();  // the file generator closes its file; the sanitizer checks the rest
}

}  // namespace
