// Tests of the image CRC models against the worked values and a bit-by-bit reference register.
#include <random>

#include <gtest/gtest.h>

#include "image_test_util.h"
#include "images/image_8bit.h"
#include "images/image_crc.h"
#include "images/packed_image.h"
#include "images/unpacked_image.h"

using namespace image_test;

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

DWORD ReferenceD64(const std::vector<DWORD>& words, DWORD seed) {
    for (size_t i = 0; i + 1 < words.size(); i += 2) {
        for (DWORD w : {words[i], words[i + 1]}) {
            seed = FeedBits(seed, w & 0xFFFF, 16);
            seed = FeedBits(seed, w >> 16, 16);
        }
    }
    return seed;
}

DWORD ReferenceD52(const std::vector<DWORD>& words, DWORD seed) {
    for (size_t i = 0; i + 1 < words.size(); i += 2) {
        for (DWORD w : {words[i], words[i + 1]}) {
            seed = FeedBits(seed, (w & 0xFFFF) >> 3, 13);
            seed = FeedBits(seed, (w >> 16) >> 3, 13);
        }
    }
    return seed;
}

void StoreWords(CImage& image, const std::vector<DWORD>& words) {
    for (size_t i = 0; i < words.size(); ++i)
        for (int b = 0; b < 4; ++b) image.GetBuffer()[4 * i + b] = static_cast<BYTE>(words[i] >> (8 * b));
}

std::vector<DWORD> Masked(std::vector<DWORD> words, DWORD mask) {
    for (DWORD& w : words) w &= mask;
    return words;
}

}  // namespace

TEST(CrcReference, MatchesTheCatalogueCheckValue) {
    // CRC-32/MPEG-2 of "123456789": initial value FFFFFFFF, no reflection, no final XOR.
    DWORD crc = 0xFFFFFFFF;
    for (char c : std::string("123456789")) crc = FeedBits(crc, BYTE(c), 8);
    EXPECT_EQ(0x0376E6E7u, crc);
}

TEST(CrcModels, WorkedValues) {
    CRC32_D64<Packed::Image::YCbCr_8_2> d64;
    Packed::Image::YCbCr_8_2 two(2, 1, 3);  // 5 plane bytes behind a 3-byte pad: two words
    struct Row {
        DWORD w0, w1, seed, result;
    };
    for (Row r : {Row{0x89ABCDEF, 0xFEDCBA98, 0x00000000, 0x82C4CDBA}, Row{0x89ABCDEF, 0xFEDCBA98, 0xFFFFFFFF, 0xEBC076E3},
                  Row{0x00000000, 0x00000000, 0xFFFFFFFF, 0x6904BB59}, Row{0x80000000, 0x00000000, 0x00000000, 0xA5CB3AD3}}) {
        StoreWords(two, {r.w0, r.w1});
        EXPECT_EQ(r.result, two.ComputeCRC(d64, r.seed, 1)) << std::hex << r.w0 << " " << r.seed;
        EXPECT_EQ(r.result, ReferenceD64({r.w0, r.w1}, r.seed));
    }
    Packed::Image::YCbCr_8_2 four(4, 1, 6);
    StoreWords(four, {0x89ABCDEF, 0xFEDCBA98, 0xA5A5C3C3, 0xF0F0E1E1});
    EXPECT_EQ(0xCE3A653Cu, four.ComputeCRC(d64, 0, 1));
    // The first row's 64 data bits fed as one value.
    EXPECT_EQ(0x82C4CDBAu, FeedBits(0, 0xCDEF89ABBA98FEDCull, 64));

    CRC32_D52<Unpacked::Image::YCbCr_10_6> d52;
    Unpacked::Image::YCbCr_10_6 pair(2, 1, 0);
    for (Row r : {Row{0x8980CDC0, 0xFEC0BA80, 0x00000000, 0xE7C2B1D3}, Row{0x8980CDC0, 0xFEC0BA80, 0xFFFFFFFF, 0x4D2A502A},
                  Row{0xFFC0FFC0, 0xFFC0FFC0, 0x00000000, 0xF1A79C46}}) {
        StoreWords(pair, {r.w0, r.w1});
        EXPECT_EQ(r.result, pair.ComputeCRC(d52, r.seed, 1)) << std::hex << r.w0 << " " << r.seed;
        EXPECT_EQ(r.result, ReferenceD52({r.w0, r.w1}, r.seed));
    }
    EXPECT_EQ(0xE7C2B1D3u, FeedBits(0, 0xCDC44C2EA1FD8ull, 52));

    // Bits 5..3 count in D52 when the word source does not mask them.
    CRC32_D52<Alpha::YCbCr_8bit> raw52;
    Alpha::YCbCr_8bit raw(8, 1);
    StoreWords(raw, {0x89ABCDEF, 0xFEDCBA98});
    EXPECT_EQ(0x3B41B08Au, raw.ComputeCRC(raw52, 0, 1));
}

TEST(CrcModels, TablesAgreeWithTheBitwiseRegister) {
    std::mt19937 gen(8);
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<DWORD> words(gen() % 40);
        for (DWORD& w : words) w = gen();
        const DWORD seed = gen();
        const DWORD mask = trial % 2 ? 0xFFFFFFFF : 0xFFC0FFC0;
        std::vector<BYTE> bytes;
        for (DWORD w : words) PutLe32(bytes, w);
        const size_t pairs = words.size() / 2;
        ASSERT_EQ(ReferenceD64(Masked(words, mask), seed), images_detail::CrcFeedD64(seed, bytes.data(), pairs, mask));
        ASSERT_EQ(ReferenceD52(Masked(words, mask), seed), images_detail::CrcFeedD52(seed, bytes.data(), pairs, mask));
    }
}

TEST(CrcModels, ImagesDeliverTheirWordsThroughTheirAccessors) {
    std::mt19937 gen(21);
    std::vector<DWORD> words(32 * 4);  // a 32 x 4 unpacked picture: two words a pixel pair
    for (DWORD& w : words) w = gen();
    Unpacked::Image::YCbCr_10_6 image(32, 4, 0);
    StoreWords(image, words);
    const std::vector<DWORD> masked = Masked(words, 0xFFC0FFC0);
    EXPECT_EQ(ReferenceD64(masked, 0x1234), image.ComputeCRC(CRC32_D64<Unpacked::Image::YCbCr_10_6>(), 0x1234, 1));
    EXPECT_EQ(ReferenceD52(masked, 0x1234), image.ComputeCRC(CRC32_D52<Unpacked::Image::YCbCr_10_6>(), 0x1234, 1));

    Unpacked::Alpha::YCbCr_10_6 alpha(32, 8);
    StoreWords(alpha, words);
    EXPECT_EQ(ReferenceD52(masked, 7), alpha.ComputeCRC(CRC32_D52<Unpacked::Alpha::YCbCr_10_6>(), 7, 1));

    // Bits 5..0 of unpacked samples never count; bits 2..0 of a unit never count in D52.
    std::vector<DWORD> noisy = words;
    for (DWORD& w : noisy) w ^= 0x002A0015;
    StoreWords(image, noisy);
    EXPECT_EQ(ReferenceD64(masked, 0x1234), image.ComputeCRC(CRC32_D64<Unpacked::Image::YCbCr_10_6>(), 0x1234, 1));
    Alpha::YCbCr_8bit raw(16, 2);
    StoreWords(raw, {0x89ABCDEF, 0xFEDCBA98, 1, 2, 3, 4, 5, 6});
    const DWORD before = raw.ComputeCRC(CRC32_D52<Alpha::YCbCr_8bit>(), 0, 1);
    StoreWords(raw, {0x89ABCDEF ^ 0x00050003, 0xFEDCBA98 ^ 0x00070007, 1, 2, 3, 4, 5, 6});
    EXPECT_EQ(before, raw.ComputeCRC(CRC32_D52<Alpha::YCbCr_8bit>(), 0, 1));
    EXPECT_NE(before, raw.ComputeCRC(CRC32_D64<Alpha::YCbCr_8bit>(), 0, 1));

    // The packed picture's pad is part of its words.
    Packed::Image::YCbCr_8_2 packed(8, 2, 24);
    CRC32_D64<Packed::Image::YCbCr_8_2> d64;
    const DWORD padded = packed.ComputeCRC(d64, 0, 1);
    packed.GetBuffer()[5] = 1;
    EXPECT_NE(padded, packed.ComputeCRC(d64, 0, 1));
}

TEST(CrcModels, OddWordsEmptyImagesAndChaining) {
    CRC32_D64<Alpha::YCbCr_8bit> d64;
    Alpha::YCbCr_8bit three(12, 1);  // three words: the last one has no partner
    StoreWords(three, {0x89ABCDEF, 0xFEDCBA98, 0xDEADBEEF});
    EXPECT_EQ(0x82C4CDBAu, three.ComputeCRC(d64, 0, 1));

    Alpha::YCbCr_8bit zeros(8, 1);
    EXPECT_EQ(0u, zeros.ComputeCRC(d64, 0, 1));
    EXPECT_EQ(0x6904BB59u, zeros.ComputeCRC(d64, 0xFFFFFFFF, 1));

    Unpacked::Image::YCbCr_10_6 empty(0, 0, 0);
    EXPECT_EQ(0xABCDu, empty.ComputeCRC(CRC32_D52<Unpacked::Image::YCbCr_10_6>(), 0xABCD, 1));
    Unpacked::Image::YCbCr_10_6 none(0x10000, 0x10000, 0);
    ASSERT_EQ(nullptr, none.GetBuffer());
    EXPECT_EQ(0xABCDu, none.ComputeCRC(CRC32_D64<Unpacked::Image::YCbCr_10_6>(), 0xABCD, 1));

    // Frame by frame, each result seeding the next, equals one pass over both frames.
    std::mt19937 gen(3);
    std::vector<DWORD> first(8), second(8);
    for (DWORD& w : first) w = gen() & 0xFFC0FFC0;
    for (DWORD& w : second) w = gen() & 0xFFC0FFC0;
    Unpacked::Image::YCbCr_10_6 f1(4, 2, 0), f2(4, 2, 0);
    StoreWords(f1, first);
    StoreWords(f2, second);
    CRC32_D52<Unpacked::Image::YCbCr_10_6> d52;
    std::vector<DWORD> both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(ReferenceD52(both, 0), f2.ComputeCRC(d52, f1.ComputeCRC(d52, 0, 1), 1));

    // count 0 answers the seed; count 2 applies the model twice.
    EXPECT_EQ(0x5555u, f1.ComputeCRC(d52, 0x5555, 0));
    EXPECT_EQ(ReferenceD52(first, ReferenceD52(first, 9)), f1.ComputeCRC(d52, 9, 2));

    // A model of another image class leaves the seed as it is.
    EXPECT_EQ(0x77u, f1.ComputeCRC(CRC32_D64<Packed::Image::YCbCr_8_2>(), 0x77, 1));
}
