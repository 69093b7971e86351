// Tests of the unpacked 10-bit pictures and alphas: fills, sample formats, lines and pixel access.
#include <array>
#include <set>
#include <utility>

#include <gtest/gtest.h>

#include "image_test_util.h"
#include "images/unpacked_image.h"
#include "platform/runtime.h"

using namespace image_test;
using Picture = Unpacked::Image::YCbCr_10_6;
using Alpha10 = Unpacked::Alpha::YCbCr_10_6;

namespace {

// The four 10-bit values (Cb, Y0, Cr, Y1) of pair k.
std::array<WORD, 4> PairValues(const Picture& image, size_t k) {
    const BYTE* p = image.GetBuffer() + 8 * k;
    return {WORD(Le16(p) >> 6), WORD(Le16(p + 2) >> 6), WORD(Le16(p + 4) >> 6), WORD(Le16(p + 6) >> 6)};
}

std::array<WORD, 4> PairWords(const Picture& image, size_t k) {
    const BYTE* p = image.GetBuffer() + 8 * k;
    return {Le16(p), Le16(p + 2), Le16(p + 4), Le16(p + 6)};
}

std::vector<BYTE> Block(const CImage& image) {
    return std::vector<BYTE>(image.GetBuffer(), image.GetBuffer() + image.GetSize() + image.GetOffset());
}

}  // namespace

TEST(UnpackedPicture, SolidPatternIgnoresLimits) {
    Picture image(6, 2, 0);
    EXPECT_TRUE(image.FillPattern(8, 100, 200));
    for (size_t k = 0; k < 6; ++k) {
        EXPECT_EQ((std::array<WORD, 4>{64 << 6, 400 << 6, 640 << 6, 400 << 6}), PairWords(image, k));
    }
    EXPECT_FALSE(image.FillPattern(0, 0, 0x3FF));
    EXPECT_FALSE(image.FillPattern(11, 0, 0x3FF));
}

TEST(UnpackedPicture, WedgesRampAndClamp) {
    Picture image(4, 1, 0);
    ASSERT_TRUE(image.FillHorzWedge(0, 0, 0x3FF));
    EXPECT_EQ((std::array<WORD, 4>{512, 0, 512, 1}), PairValues(image, 0));
    EXPECT_EQ((std::array<WORD, 4>{512, 2, 512, 3}), PairValues(image, 1));
    ASSERT_TRUE(image.FillHorzWedge(0, 4, 0x3FB));
    EXPECT_EQ((std::array<WORD, 4>{512, 4, 512, 4}), PairValues(image, 0));
    // With lo above hi every value is lo.
    ASSERT_TRUE(image.FillHorzWedge(2, 300, 200));
    EXPECT_EQ((std::array<WORD, 4>{300, 300, 300, 300}), PairValues(image, 1));

    // Modes 1 and 2 run the chroma from 512 in opposite directions and wrap every 1024 columns.
    Picture wide(1030, 1, 0);
    ASSERT_TRUE(wide.FillHorzWedge(1, 0, 0x3FF));
    EXPECT_EQ((std::array<WORD, 4>{512, 0, 512, 1}), PairValues(wide, 0));
    EXPECT_EQ((std::array<WORD, 4>{462, 100, 562, 101}), PairValues(wide, 50));
    EXPECT_EQ((std::array<WORD, 4>{0, 0, 0, 1}), PairValues(wide, 512));  // x = 1024
    ASSERT_TRUE(wide.FillHorzWedge(2, 0, 0x3FF));
    EXPECT_EQ((std::array<WORD, 4>{562, 100, 462, 101}), PairValues(wide, 50));

    Picture tall(2, 600, 0);
    ASSERT_TRUE(tall.FillVertWedge(1, 0, 0x3FF));
    EXPECT_EQ((std::array<WORD, 4>{512 - 150, 300, 512 + 150, 300}), PairValues(tall, 300));
    ASSERT_TRUE(tall.FillVertWedge(0, 0, 0x3FF));
    EXPECT_EQ((std::array<WORD, 4>{512, 599, 512, 599}), PairValues(tall, 599));

    // Unknown modes write nothing but still succeed.
    image.FillSolid(7, 8, 9);
    const std::vector<BYTE> before = Block(image);
    EXPECT_TRUE(image.FillHorzWedge(5, 0, 0x3FF));
    EXPECT_TRUE(image.FillTiles(3, 0, 0x3FF));
    EXPECT_EQ(before, Block(image));
}

TEST(UnpackedPicture, SampleFormatOneKeepsEightBits) {
    Picture image(8, 1, 0);
    image.nSampleFormat = 1;
    ASSERT_TRUE(image.FillHorzWedge(0, 0, 0x3FF));
    EXPECT_EQ((std::array<WORD, 4>{512, 4, 512, 4}), PairValues(image, 2));  // x 4 and 5 & 0x3FC
    EXPECT_EQ((std::array<WORD, 4>{512, 0, 512, 0}), PairValues(image, 0));
    ASSERT_TRUE(image.FillRandom(99, 1, 0, 0x3FF));
    for (size_t k = 0; k < 4; ++k)
        for (WORD v : PairValues(image, k)) EXPECT_EQ(0, v & 3);
}

TEST(UnpackedPicture, TilesShowSixtyFourLevelsPerBlock) {
    Picture image(16, 16, 0);
    ASSERT_TRUE(image.FillTiles(0, 0, 0x3FF));
    WORD y, cb, cr;
    ASSERT_TRUE(image.GetPixel(9, 6, y, cb, cr));  // block row 1, column 6: level 14
    EXPECT_EQ(16 * 14, y);
    EXPECT_EQ(512, cb);
    ASSERT_TRUE(image.GetPixel(15, 15, y, cb, cr));
    EXPECT_EQ(1008, y);
    ASSERT_TRUE(image.GetPixel(8, 8, y, cb, cr));
    EXPECT_EQ(0, y);
}

TEST(UnpackedPicture, RandomFillFollowsTheRuntimeGenerator) {
    Picture image(4, 2, 0);
    ASSERT_TRUE(image.FillRandom(12345, 1, 0, 0x3FF));
    Lcg lcg(12345);
    for (size_t k = 0; k < 4; ++k) {
        DWORD r1 = lcg.Next(), r2 = lcg.Next(), r3 = lcg.Next();
        std::array<WORD, 4> expected = {WORD((512 - (r3 >> 1)) & 0x3FF), WORD(r1 % 1024), WORD((512 + (r3 >> 1)) & 0x3FF),
                                        WORD(r2 % 1024)};
        EXPECT_EQ(expected, PairValues(image, k)) << "pair " << k;
    }
    EXPECT_EQ(lcg.Next(), platform::rand());  // the sequence goes on after the fill

    Picture again(4, 2, 0);
    ASSERT_TRUE(again.FillRandom(12345, 1, 0, 0x3FF));
    EXPECT_EQ(Block(image), Block(again));
    ASSERT_TRUE(again.FillRandom(12345, 0, 0, 0x3FF));
    EXPECT_EQ(512, PairValues(again, 3)[0]);
    EXPECT_EQ(PairValues(image, 3)[1], PairValues(again, 3)[1]);

    Alpha10 alpha(3, 1);
    ASSERT_TRUE(alpha.FillRandom(7));
    Lcg alcg(7);
    for (DWORD c = 0; c < 3; ++c) {
        WORD v;
        ASSERT_TRUE(alpha.GetPixel(0, c, v));
        EXPECT_EQ(alcg.Next() % 1024, v);
    }
}

TEST(UnpackedPicture, RampStride4NeedsWholeGroupsOfSixteen) {
    Picture odd(360, 2, 0);
    odd.FillSolid(5, 5, 5);
    const std::vector<BYTE> before = Block(odd);
    EXPECT_FALSE(odd.FillRampStride4());
    EXPECT_EQ(before, Block(odd));

    Picture image(32, 2, 0);
    ASSERT_TRUE(image.FillRampStride4());
    for (size_t row = 0; row < 2; ++row) {
        for (size_t k = 0; k < 16; ++k) {
            WORD v = k == 7 ? 1 : k == 15 ? 2 : 0;
            EXPECT_EQ((std::array<WORD, 4>{v, v, v, v}), PairValues(image, 16 * row + k)) << k;
        }
    }
    image.nSampleFormat = 1;
    ASSERT_TRUE(image.FillRampStride4());
    EXPECT_EQ((std::array<WORD, 4>{0, 0, 0, 0}), PairValues(image, 7));
}

TEST(UnpackedPicture, EncodedSampleFormatExchangesLowBits) {
    WORD pair[4];
    Picture::MakePixelPair(pair, 1, 0, 0, 0, 2);
    EXPECT_EQ((std::array<WORD, 4>{0x0000, 0x0000, 0x0040, 0x0000}), (std::array<WORD, 4>{pair[0], pair[1], pair[2], pair[3]}));
    Picture::MakePixelPair(pair, 0x3FF, 0x201, 0x1FE, 0x102, 1);
    EXPECT_EQ((std::array<WORD, 4>{0x7F00, 0xFF00, 0x4000, 0x8000}), (std::array<WORD, 4>{pair[0], pair[1], pair[2], pair[3]}));
    Picture::MakePixelPair(pair, 1, 2, 3, 4, 3);
    EXPECT_EQ((std::array<WORD, 4>{0, 0, 0, 0}), (std::array<WORD, 4>{pair[0], pair[1], pair[2], pair[3]}));

    Picture image(2, 1, 0);
    image.nSampleFormat = 2;
    Picture::MakePixelPair(pair, 1, 0, 0, 0, 2);
    for (int i = 0; i < 4; ++i) {
        image.GetBuffer()[2 * i] = static_cast<BYTE>(pair[i]);
        image.GetBuffer()[2 * i + 1] = static_cast<BYTE>(pair[i] >> 8);
    }
    ASSERT_TRUE(image.ConvertToFormat4());
    EXPECT_EQ(4u, image.nSampleFormat);
    EXPECT_EQ((std::array<WORD, 4>{0, 0x0040, 0, 0}), PairWords(image, 0));
    EXPECT_FALSE(image.ConvertToFormat4());

    // A whole picture filled encoded converts to the plain fill.
    Picture plain(16, 4, 0), encoded(16, 4, 0);
    encoded.nSampleFormat = 2;
    plain.FillRandom(5, 1, 0, 0x3FF);
    encoded.FillRandom(5, 1, 0, 0x3FF);
    EXPECT_NE(Block(plain), Block(encoded));
    ASSERT_TRUE(encoded.ConvertToFormat4());
    EXPECT_EQ(Block(plain), Block(encoded));
}

TEST(UnpackedPicture, PixelAccessKeepsLowBitsAndChecksBounds) {
    Picture image(4, 2, 0);
    image.GetBuffer()[0] = 0x15;  // bits 0-5 of Cb of pair 0
    ASSERT_TRUE(image.SetPixel(0, 1, 0x3FF, 0x100, 0x200));
    EXPECT_EQ((std::array<WORD, 4>{0x4015, 0, 0x8000, 0xFFC0}), PairWords(image, 0));
    WORD y, cb, cr;
    ASSERT_TRUE(image.GetPixel(0, 0, y, cb, cr));
    EXPECT_EQ(0, y);
    EXPECT_EQ(0x100, cb);  // the neighbour shares the pair's chroma
    EXPECT_FALSE(image.SetPixel(2, 0, 1, 1, 1));
    EXPECT_FALSE(image.GetPixel(0, 4, y, cb, cr));
    EXPECT_EQ("Y=0x03FF, Cb=0x0100  Cr=0x0200", std::string(image.GetPixelText(1, 0).c_str()));

    Alpha10 alpha(3, 2);
    EXPECT_TRUE(alpha.SetPixel(1, 2, 0x2AB));
    WORD v;
    ASSERT_TRUE(alpha.GetPixel(1, 2, v));
    EXPECT_EQ(0x2AB, v);
    EXPECT_EQ(0xAAC0, Le16(alpha.GetBuffer() + 10));
    EXPECT_FALSE(alpha.SetPixel(2, 0, 1));
    EXPECT_FALSE(alpha.SetPixel(0, 3, 1));
    EXPECT_FALSE(alpha.GetPixel(9, 9, v));
    DWORD word;
    ASSERT_TRUE(alpha.GetWord(2, word));
    EXPECT_EQ(0xAAC00000u, word);
    EXPECT_FALSE(alpha.GetWord(3, word));
}

TEST(UnpackedPicture, LinesFollowTheBresenhamRule) {
    Alpha10 alpha(4, 2);
    auto lit = [&] {
        std::set<std::pair<DWORD, DWORD>> points;
        for (DWORD r = 0; r < 2; ++r)
            for (DWORD c = 0; c < 4; ++c) {
                WORD v;
                alpha.GetPixel(r, c, v);
                if (v) points.insert({c, r});
            }
        return points;
    };
    const std::set<std::pair<DWORD, DWORD>> expected = {{0, 0}, {1, 0}, {2, 1}, {3, 1}};
    EXPECT_TRUE(alpha.DrawLine(0, 0, 3, 1, 9));
    EXPECT_EQ(expected, lit());
    alpha.FillSolid(0);
    EXPECT_TRUE(alpha.DrawLine(3, 1, 0, 0, 9));
    EXPECT_EQ(expected, lit());
    // Points outside the picture are skipped.
    alpha.FillSolid(0);
    EXPECT_TRUE(alpha.DrawLine(2, 0, 2, 100000, 9));
    EXPECT_EQ((std::set<std::pair<DWORD, DWORD>>{{2, 0}, {2, 1}}), lit());

    // Steep lines step along the rows.
    Picture image(4, 4, 0);
    image.DrawLine(0, 0, 1, 3, 100, 512, 512);
    WORD y, cb, cr;
    for (auto [c, r] : std::vector<std::pair<DWORD, DWORD>>{{0, 0}, {0, 1}, {1, 2}, {1, 3}}) {
        ASSERT_TRUE(image.GetPixel(r, c, y, cb, cr));
        EXPECT_EQ(100, y) << c << "," << r;
    }
}

TEST(UnpackedPicture, GridsAndDiagonals) {
    Alpha10 alpha(4, 4);
    ASSERT_TRUE(alpha.FillGrid(0));
    for (DWORD r = 0; r < 4; ++r)
        for (DWORD c = 0; c < 4; ++c) {
            WORD v;
            alpha.GetPixel(r, c, v);
            EXPECT_EQ((r == 1 || r == 2) && (c == 1 || c == 2) ? 1023 : 0, v) << r << "," << c;
        }

    Alpha10 big(70, 40);
    ASSERT_TRUE(big.FillGrid(0));
    WORD v;
    big.GetPixel(10, 32, v);
    EXPECT_EQ(0, v);
    big.GetPixel(32, 10, v);
    EXPECT_EQ(0, v);
    big.GetPixel(33, 33, v);
    EXPECT_EQ(1023, v);

    Alpha10 frame(5, 5);
    ASSERT_TRUE(frame.FillDiagonalLines(0, 0));
    frame.GetPixel(0, 2, v);
    EXPECT_EQ(0, v);
    frame.GetPixel(2, 2, v);
    EXPECT_EQ(1023, v);
    ASSERT_TRUE(frame.FillDiagonalLines(0, 1));
    frame.GetPixel(0, 2, v);
    EXPECT_EQ(1023, v);
    frame.GetPixel(1, 2, v);
    EXPECT_EQ(0, v);

    Picture image(8, 8, 0);
    ASSERT_TRUE(image.FillDiagonalLines(1, 0, 0x3FF));
    WORD y, cb, cr;
    image.GetPixel(1, 1, y, cb, cr);
    EXPECT_EQ(1023, cb);  // the falling diagonal
    EXPECT_EQ(0, cr);
    image.GetPixel(1, 6, y, cb, cr);
    EXPECT_EQ(0, cb);  // the rising one
    EXPECT_EQ(1023, cr);
    image.GetPixel(3, 0, y, cb, cr);
    EXPECT_EQ(1023, y);  // background
    EXPECT_EQ(512, cb);
    ASSERT_TRUE(image.FillGrid(1, 4, 0x3FB));
    image.GetPixel(0, 5, y, cb, cr);
    EXPECT_EQ(4, y);
    image.GetPixel(3, 3, y, cb, cr);
    EXPECT_EQ(0x3FB, y);

    // Degenerate sizes draw nothing and end at once.
    Picture flat(16, 0, 0);
    EXPECT_TRUE(flat.FillGrid(1, 0, 0x3FF));
    EXPECT_TRUE(flat.FillDiagonalLines(1, 0, 0x3FF));
    Alpha10 none(0, 0);
    EXPECT_TRUE(none.FillGrid(0));
    EXPECT_TRUE(none.FillDiagonalLines(0, 1));
}

TEST(UnpackedPicture, OddWidthFillsStayInsideTheData) {
    // 3 x 3 pixels: 36 data bytes, then 16 offset bytes that no pixel operation may touch.
    Picture image(3, 3, 16);
    for (auto fill : {+[](Picture& p) { return p.FillHorzWedge(1, 0, 0x3FF); },
                      +[](Picture& p) { return p.FillVertWedge(0, 0, 0x3FF); },
                      +[](Picture& p) { return p.FillTiles(0, 0, 0x3FF); },
                      +[](Picture& p) { return p.FillRandom(3, 1, 0, 0x3FF); },
                      +[](Picture& p) { return p.FillGrid(1, 0, 0x3FF); },
                      +[](Picture& p) { return p.FillDiagonalLines(1, 0, 0x3FF); },
                      +[](Picture& p) { return p.FillSolid(1, 2, 3); }}) {
        EXPECT_TRUE(fill(image));
        const std::vector<BYTE> block = Block(image);
        EXPECT_EQ(std::vector<BYTE>(16, 0), std::vector<BYTE>(block.begin() + 36, block.end()));
    }
    WORD y, cb, cr;
    EXPECT_FALSE(image.GetPixel(2, 2, y, cb, cr));  // its pair would reach past the data
    EXPECT_TRUE(image.GetPixel(2, 1, y, cb, cr));
}

TEST(UnpackedPicture, WithoutABlockFillsFail) {
    Picture image(0x10000, 0x10000, 0);  // more than a 32-bit block can hold
    EXPECT_EQ(nullptr, image.GetBuffer());
    EXPECT_FALSE(image.FillHorzWedge(0, 0, 0x3FF));
    EXPECT_FALSE(image.FillSolid(1, 1, 1));
    EXPECT_FALSE(image.FillRandom(1, 0, 0, 0x3FF));
    EXPECT_FALSE(image.SetPixel(0, 0, 1, 1, 1));
    EXPECT_TRUE(image.FillPattern(1, 0, 0x3FF));
    EXPECT_TRUE(image.DrawLine(0, 0, 5, 5, 1, 1, 1));
    image.nSampleFormat = 2;
    EXPECT_FALSE(image.ConvertToFormat4());
    EXPECT_EQ(nullptr, image.CreateDIB(1));
}
