// Tests of the image CRC models against the worked values and a bit-by-bit reference register.
#include <random>

#include "image_test_util.h"
#include "images/image_crc.h"

using namespace image_test;
using Words = std::vector<DWORD>;

namespace {

// The register fed one bit at a time, most significant bit of bits first.
DWORD FeedBits(DWORD crc, uint64_t bits, int count) {
    for (int i = count - 1; i >= 0; --i) crc = (crc << 1) ^ (((crc >> 31) ^ DWORD((bits >> i) & 1)) ? 0x04C11DB7 : 0);
    return crc;
}

// Each whole pair of words as the units lo(w0), hi(w0), lo(w1), hi(w1): all 16 bits, or bits 15..3 for D52.
DWORD Reference(const Words& words, DWORD seed, bool d52, DWORD mask = 0xFFC0FFC0) {
    for (size_t i = 0; i + 1 < words.size(); i += 2)
        for (DWORD w : {words[i] & mask, words[i + 1] & mask})
            for (DWORD unit : {w & 0xFFFF, w >> 16}) seed = d52 ? FeedBits(seed, unit >> 3, 13) : FeedBits(seed, unit, 16);
    return seed;
}

template <class Image>
Image& WithWords(Image& image, const Words& words) {
    for (size_t i = 0; i < 4 * words.size(); ++i) image.GetBuffer()[i] = static_cast<BYTE>(words[i / 4] >> (8 * (i % 4)));
    return image;
}

template <template <class> class Model, class Image>
DWORD Crc(const Image& image, DWORD seed, DWORD count = 1) { return image.ComputeCRC(Model<Image>(), seed, count); }

}  // namespace

TEST(CrcModels, WorkedValuesImageWordsAndChainedFrames) {
    DWORD crc = 0xFFFFFFFF;  // CRC-32/MPEG-2 of "123456789": the reference register is that catalogue's
    for (char c : std::string("123456789")) crc = FeedBits(crc, BYTE(c), 8);
    EXPECT_EQ(0x0376E6E7u, crc);
    const struct { const char* name; bool d52; Words words; DWORD seed, result; } rows[] = {
        {"D64 seed 0", false, {0x89ABCDEF, 0xFEDCBA98}, 0, 0x82C4CDBA},
        {"D64 seed ones", false, {0x89ABCDEF, 0xFEDCBA98}, 0xFFFFFFFF, 0xEBC076E3},
        {"D64 two pairs", false, {0x89ABCDEF, 0xFEDCBA98, 0xA5A5C3C3, 0xF0F0E1E1}, 0, 0xCE3A653C},
        {"D52 seed 0", true, {0x8980CDC0, 0xFEC0BA80}, 0, 0xE7C2B1D3},
        {"D52 counts bits 5..3 of raw words", true, {0x89ABCDEF, 0xFEDCBA98}, 0, 0x3B41B08A},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Alpha8 raw(4 * static_cast<DWORD>(r.words.size()), 1);
        EXPECT_EQ(r.result, r.d52 ? Crc<CRC32_D52>(WithWords(raw, r.words), r.seed) : Crc<CRC32_D64>(WithWords(raw, r.words), r.seed));
        EXPECT_EQ(r.result, Reference(r.words, r.seed, r.d52, 0xFFFFFFFF));
    }
    // Images deliver their words, and frames chain.
    std::mt19937 gen(21);
    Words words(32 * 4), noisy(32 * 4);
    for (size_t i = 0; i < words.size(); ++i) noisy[i] = (words[i] = gen()) ^ 0x002A0015;
    UPicture image(32, 4, 0);
    UAlpha alpha(32, 8);
    // Bits 5..0 of unpacked samples never count.
    EXPECT_EQ(Reference(words, 7, true), Crc<CRC32_D52>(WithWords(alpha, noisy), 7));
    EXPECT_EQ(Reference(words, 9, false), Crc<CRC32_D64>(WithWords(image, noisy), 9));
    // Frame by frame, each result seeding the next; count 0 answers the seed.
    EXPECT_EQ(Reference(words, Reference(words, 9, true), true), Crc<CRC32_D52>(image, 9, 2));
    EXPECT_EQ(0x5555u, Crc<CRC32_D52>(image, 0x5555, 0));
    // An unpaired last word is not fed; a missing block answers the seed.
    Alpha8 three(12, 1);
    EXPECT_EQ(0x82C4CDBAu, Crc<CRC32_D64>(WithWords(three, {0x89ABCDEF, 0xFEDCBA98, 0xDEADBEEF}), 0));
    EXPECT_EQ(0xABCDu, Crc<CRC32_D64>(UPicture(0x10000, 0x10000, 0), 0xABCD));
    // The packed picture's words run from the first byte of its block, pad included.
    PPicture packed(2, 1, 3);  // 5 plane bytes behind a 3-byte pad: two words
    EXPECT_EQ(0x82C4CDBAu, Crc<CRC32_D64>(WithWords(packed, {0x89ABCDEF, 0xFEDCBA98}), 0));
}

TEST(CrcModels, EveryLengthAndMaskAgreesWithTheBitRegister) {
    // Lengths around the eight- and 32-pair groups of the folding paths and well past them, each model, a
    // few masks and seeds: the register must match the bit-by-bit one exactly.
    std::mt19937 gen(33);
    const size_t pairCounts[] = {0, 1, 7, 8, 9, 15, 16, 17, 23, 31, 32, 33, 63, 64, 65, 95, 96, 97, 1001};
    for (size_t pairs : pairCounts) {
        for (DWORD mask : {0xFFFFFFFFu, 0xFFC0FFC0u, 0x0000FFC0u}) {
            Words words(2 * pairs);
            for (DWORD& w : words) w = gen();
            std::vector<BYTE> bytes(4 * words.size() + 1);
            for (size_t i = 0; i < 4 * words.size(); ++i) bytes[i] = static_cast<BYTE>(words[i / 4] >> (8 * (i % 4)));
            const DWORD seed = gen();
            SCOPED_TRACE(testing::Message() << pairs << " pairs, mask " << std::hex << mask);
            EXPECT_EQ(images_detail::CrcFeedD64(seed, bytes.data(), pairs, mask), Reference(words, seed, false, mask));
            EXPECT_EQ(images_detail::CrcFeedD52(seed, bytes.data(), pairs, mask), Reference(words, seed, true, mask));
        }
    }
}
