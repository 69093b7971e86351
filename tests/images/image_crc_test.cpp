// Tests of the image CRC models against the worked values and a bit-by-bit reference register.
#include <random>

#include <gtest/gtest.h>

#include "image_test_util.h"
#include "images/image_8bit.h"
#include "images/image_crc.h"
#include "images/packed_image.h"
#include "images/unpacked_image.h"

using namespace image_test;
using Words = std::vector<DWORD>;

namespace {

// The register fed one bit at a time, most significant bit of bits first.
DWORD FeedBits(DWORD crc, uint64_t bits, int count) {
    for (int i = count - 1; i >= 0; --i) {
        DWORD t = (crc >> 31) ^ DWORD((bits >> i) & 1);
        crc <<= 1;
        if (t) crc ^= 0x04C11DB7;
    }
    return crc;
}

// Each whole pair of words as the units lo(w0), hi(w0), lo(w1), hi(w1): all 16 bits, or bits 15..3 for D52.
DWORD Reference(const Words& words, DWORD seed, bool d52, DWORD mask = 0xFFFFFFFF) {
    for (size_t i = 0; i + 1 < words.size(); i += 2)
        for (DWORD w : {words[i] & mask, words[i + 1] & mask})
            for (DWORD unit : {w & 0xFFFF, w >> 16}) seed = d52 ? FeedBits(seed, unit >> 3, 13) : FeedBits(seed, unit, 16);
    return seed;
}

void StoreWords(CImage& image, const Words& words) {
    for (size_t i = 0; i < words.size(); ++i)
        for (int b = 0; b < 4; ++b) image.GetBuffer()[4 * i + b] = static_cast<BYTE>(words[i] >> (8 * b));
}

}  // namespace

TEST(CrcModels, WorkedValuesAndTheCatalogueCheck) {
    // CRC-32/MPEG-2 of "123456789": the reference register is that catalogue's.
    DWORD crc = 0xFFFFFFFF;
    for (char c : std::string("123456789")) crc = FeedBits(crc, BYTE(c), 8);
    EXPECT_EQ(0x0376E6E7u, crc);

    Packed::Image::YCbCr_8_2 two(2, 1, 3);  // 5 plane bytes behind a 3-byte pad: two words
    Unpacked::Image::YCbCr_10_6 pair(2, 1, 0);
    const struct {
        const char* name;
        bool d52;
        Words words;
        DWORD seed, result;
    } rows[] = {
        {"D64 seed 0", false, {0x89ABCDEF, 0xFEDCBA98}, 0, 0x82C4CDBA},
        {"D64 seed ones", false, {0x89ABCDEF, 0xFEDCBA98}, 0xFFFFFFFF, 0xEBC076E3},
        {"D64 zeros", false, {0, 0}, 0xFFFFFFFF, 0x6904BB59},
        {"D64 top bit", false, {0x80000000, 0}, 0, 0xA5CB3AD3},
        {"D52 seed 0", true, {0x8980CDC0, 0xFEC0BA80}, 0, 0xE7C2B1D3},
        {"D52 seed ones", true, {0x8980CDC0, 0xFEC0BA80}, 0xFFFFFFFF, 0x4D2A502A},
        {"D52 ones", true, {0xFFC0FFC0, 0xFFC0FFC0}, 0, 0xF1A79C46},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        StoreWords(r.d52 ? static_cast<CImage&>(pair) : two, r.words);
        EXPECT_EQ(r.result, r.d52 ? pair.ComputeCRC(CRC32_D52<Unpacked::Image::YCbCr_10_6>(), r.seed, 1)
                                  : two.ComputeCRC(CRC32_D64<Packed::Image::YCbCr_8_2>(), r.seed, 1));
        EXPECT_EQ(r.result, Reference(r.words, r.seed, r.d52));
    }
    EXPECT_EQ(0x82C4CDBAu, FeedBits(0, 0xCDEF89ABBA98FEDCull, 64));  // the first pair's 64 bits as one value
    EXPECT_EQ(0xE7C2B1D3u, FeedBits(0, 0xCDC44C2EA1FD8ull, 52));
    Packed::Image::YCbCr_8_2 four(4, 1, 6);
    StoreWords(four, {0x89ABCDEF, 0xFEDCBA98, 0xA5A5C3C3, 0xF0F0E1E1});
    EXPECT_EQ(0xCE3A653Cu, four.ComputeCRC(CRC32_D64<Packed::Image::YCbCr_8_2>(), 0, 1));
    // Bits 5..3 count in D52 when the word source does not mask them.
    Alpha::YCbCr_8bit raw(8, 1);
    StoreWords(raw, {0x89ABCDEF, 0xFEDCBA98});
    EXPECT_EQ(0x3B41B08Au, raw.ComputeCRC(CRC32_D52<Alpha::YCbCr_8bit>(), 0, 1));
}

TEST(CrcModels, TablesAgreeWithTheBitwiseRegister) {
    std::mt19937 gen(8);
    for (int trial = 0; trial < 300; ++trial) {
        Words words(gen() % 40);
        for (DWORD& w : words) w = gen();
        const DWORD seed = gen(), mask = trial % 2 ? 0xFFFFFFFF : 0xFFC0FFC0;
        Bytes bytes;
        for (DWORD w : words) PutLe32(bytes, w);
        ASSERT_EQ(Reference(words, seed, false, mask), images_detail::CrcFeedD64(seed, bytes.data(), words.size() / 2, mask));
        ASSERT_EQ(Reference(words, seed, true, mask), images_detail::CrcFeedD52(seed, bytes.data(), words.size() / 2, mask));
    }
}

TEST(CrcModels, ImagesDeliverTheirWordsThroughTheirAccessors) {
    std::mt19937 gen(21);
    Words words(32 * 4), noisy(32 * 4);
    for (DWORD& w : words) w = gen();
    for (size_t i = 0; i < words.size(); ++i) noisy[i] = words[i] ^ 0x002A0015;
    Unpacked::Image::YCbCr_10_6 image(32, 4, 0);
    Unpacked::Alpha::YCbCr_10_6 alpha(32, 8);
    StoreWords(alpha, words);
    EXPECT_EQ(Reference(words, 7, true, 0xFFC0FFC0), alpha.ComputeCRC(CRC32_D52<Unpacked::Alpha::YCbCr_10_6>(), 7, 1));
    // Bits 5..0 of unpacked samples never count.
    StoreWords(image, noisy);
    EXPECT_EQ(Reference(words, 0x1234, false, 0xFFC0FFC0), image.ComputeCRC(CRC32_D64<Unpacked::Image::YCbCr_10_6>(), 0x1234, 1));
    EXPECT_EQ(Reference(words, 0x1234, true, 0xFFC0FFC0), image.ComputeCRC(CRC32_D52<Unpacked::Image::YCbCr_10_6>(), 0x1234, 1));

    // The 8-bit alpha's words are raw: an unpaired last word is not fed, a missing block answers the seed.
    Alpha::YCbCr_8bit three(12, 1);
    StoreWords(three, {0x89ABCDEF, 0xFEDCBA98, 0xDEADBEEF});
    EXPECT_EQ(0x82C4CDBAu, three.ComputeCRC(CRC32_D64<Alpha::YCbCr_8bit>(), 0, 1));
    EXPECT_EQ(0xABCDu, Unpacked::Image::YCbCr_10_6(0x10000, 0x10000, 0).ComputeCRC(CRC32_D64<Unpacked::Image::YCbCr_10_6>(), 0xABCD, 1));

    // The packed picture's pad is part of its words.
    Packed::Image::YCbCr_8_2 packed(8, 2, 24);
    CRC32_D64<Packed::Image::YCbCr_8_2> d64;
    const DWORD padded = packed.ComputeCRC(d64, 0, 1);
    packed.GetBuffer()[5] = 1;
    EXPECT_NE(padded, packed.ComputeCRC(d64, 0, 1));
}

TEST(CrcModels, FramesChainAndCountsRepeat) {
    std::mt19937 gen(3);
    Words first(8), second(8);
    for (DWORD& w : first) w = gen() & 0xFFC0FFC0;
    for (DWORD& w : second) w = gen() & 0xFFC0FFC0;
    Unpacked::Image::YCbCr_10_6 f1(4, 2, 0), f2(4, 2, 0);
    StoreWords(f1, first);
    StoreWords(f2, second);
    CRC32_D52<Unpacked::Image::YCbCr_10_6> d52;
    Words both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(Reference(both, 0, true), f2.ComputeCRC(d52, f1.ComputeCRC(d52, 0, 1), 1));
    EXPECT_EQ(0x5555u, f1.ComputeCRC(d52, 0x5555, 0));
    EXPECT_EQ(Reference(first, Reference(first, 9, true), true), f1.ComputeCRC(d52, 9, 2));
    EXPECT_EQ(0x77u, f1.ComputeCRC(CRC32_D64<Packed::Image::YCbCr_8_2>(), 0x77, 1));  // a model of another class
}
