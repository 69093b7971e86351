// Tests of the 8-bit pictures and alphas: sizes, pattern fills, pixel access and assignments.
#include <gtest/gtest.h>

#include "image_test_util.h"
#include "images/image_8bit.h"
#include "platform/runtime.h"

using namespace image_test;

namespace {

std::vector<BYTE> Bytes(const CImage& image, size_t from, size_t count) {
    return std::vector<BYTE>(image.GetBuffer() + from, image.GetBuffer() + from + count);
}

}  // namespace

TEST(EightBit, SizesAndRawWords) {
    Alpha::YCbCr_8bit alpha(720, 486);
    EXPECT_EQ(349920u, alpha.GetSize());
    EXPECT_EQ(349920u, Alpha::YCbCr_8bit::GetSizeFor(720, 486));
    alpha.GetBuffer()[349916] = 0x11;
    alpha.GetBuffer()[349919] = 0x44;
    DWORD word = 0;
    ASSERT_TRUE(alpha.GetWord(87479, &word));
    EXPECT_EQ(0x44000011u, word);
    EXPECT_FALSE(alpha.GetWord(87480, &word));

    Image::YCbCr_8bit picture(720, 486);
    EXPECT_EQ(699840u, picture.GetSize());
    EXPECT_EQ(699840u, Image::YCbCr_8bit::GetSizeFor(720, 486));
    EXPECT_EQ(8u, picture.GetBitsPerSample());
    EXPECT_EQ(std::vector<BYTE>(16, 0), Bytes(picture, 0, 16));
}

TEST(EightBit, PictureFillsWriteTheirPairs) {
    Image::YCbCr_8bit image(4, 1);
    ASSERT_TRUE(image.FillHorzWedge(0));
    EXPECT_EQ((std::vector<BYTE>{0, 0, 0, 1, 0, 2, 0, 3}), Bytes(image, 0, 8));
    ASSERT_TRUE(image.FillPattern(8));
    EXPECT_EQ((std::vector<BYTE>{64, 144, 128, 144, 64, 144, 128, 144}), Bytes(image, 0, 8));

    Image::YCbCr_8bit tall(2, 300);
    ASSERT_TRUE(tall.FillVertWedge(1));
    EXPECT_EQ((std::vector<BYTE>{127, 3, 129, 3}), Bytes(tall, 4 * 3, 4));
    EXPECT_EQ((std::vector<BYTE>{128 - 149 + 256, 299 - 256, 128 + 149 - 256, 299 - 256}), Bytes(tall, 4 * 299, 4));
    ASSERT_TRUE(tall.FillVertWedge(0));
    EXPECT_EQ((std::vector<BYTE>{128, 70 % 64, 128, 70 % 64}), Bytes(tall, 4 * 70, 4));
    ASSERT_TRUE(tall.FillVertWedge(2));
    EXPECT_EQ((std::vector<BYTE>{129, 3, 127, 3}), Bytes(tall, 4 * 3, 4));

    Image::YCbCr_8bit tiles(16, 16);
    ASSERT_TRUE(tiles.FillTiles(0));
    EXPECT_EQ((std::vector<BYTE>{0, 56, 0, 60}), Bytes(tiles, 4 * ((9 * 16 + 6) / 2), 4));
    ASSERT_TRUE(tiles.FillTiles(1));
    EXPECT_EQ((std::vector<BYTE>{128 - 5, 10, 128 + 5, 11}), Bytes(tiles, 4 * 5, 4));

    // Unknown modes and codes.
    const std::vector<BYTE> before = Bytes(tiles, 0, tiles.GetSize());
    EXPECT_TRUE(tiles.FillHorzWedge(3));
    EXPECT_TRUE(tiles.FillTiles(7));
    EXPECT_EQ(before, Bytes(tiles, 0, tiles.GetSize()));
    EXPECT_FALSE(tiles.FillPattern(11));
    EXPECT_FALSE(tiles.FillPattern(0));
}

TEST(EightBit, RandomFillsFollowTheRuntimeGenerator) {
    Image::YCbCr_8bit image(4, 1);
    ASSERT_TRUE(image.FillRandom(2024, 1));
    Lcg lcg(2024);
    for (size_t k = 0; k < 2; ++k) {
        DWORD a = lcg.Next(), b = lcg.Next(), d = lcg.Next();
        EXPECT_EQ((std::vector<BYTE>{BYTE(128 - (d >> 1)), BYTE(a), BYTE(128 + (d >> 1)), BYTE(b)}), Bytes(image, 4 * k, 4));
    }
    EXPECT_EQ(lcg.Next(), platform::rand());
    ASSERT_TRUE(image.FillRandom(2024, 0x100));  // only the low byte of the mode counts
    EXPECT_EQ(128, image.GetBuffer()[0]);

    Alpha::YCbCr_8bit alpha(4, 2);
    ASSERT_TRUE(alpha.FillRandom(31));
    Lcg alcg(31);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(BYTE(alcg.Next()), alpha.GetBuffer()[i]);
    EXPECT_EQ(std::vector<BYTE>(4, 0), Bytes(alpha, 4, 4));

    // The generator is seeded even when there is no block.
    Alpha::YCbCr_8bit none(0x10000, 0x10000);
    EXPECT_FALSE(none.FillRandom(31));
    EXPECT_EQ(Lcg(31).Next(), platform::rand());
}

TEST(EightBit, AlphaWedgesTakeHalfARowOfBytes) {
    Alpha::YCbCr_8bit alpha(6, 2);
    alpha.FillSolid(0xEE);
    ASSERT_TRUE(alpha.FillHorzWedge(0));
    EXPECT_EQ((std::vector<BYTE>{0, 2, 4, 0, 2, 4, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}), Bytes(alpha, 0, 12));
    ASSERT_TRUE(alpha.FillVertWedge(1));
    EXPECT_EQ((std::vector<BYTE>{0, 0, 0, 1, 1, 1}), Bytes(alpha, 0, 6));
    alpha.FillSolid(0xEE);
    EXPECT_TRUE(alpha.FillHorzWedge(3));
    EXPECT_EQ(std::vector<BYTE>(12, 0xEE), Bytes(alpha, 0, 12));
    EXPECT_TRUE(alpha.FillPattern(8));
    EXPECT_EQ(std::vector<BYTE>(12, 128), Bytes(alpha, 0, 12));
    EXPECT_FALSE(alpha.FillPattern(11));
}

TEST(EightBit, LinesGridsAndBounds) {
    Image::YCbCr_8bit image(40, 36);
    ASSERT_TRUE(image.FillGrid(0));
    WORD y, cb, cr;
    ASSERT_TRUE(image.GetPixel(5, 32, &y, &cb, &cr));
    EXPECT_EQ(0, y);
    ASSERT_TRUE(image.GetPixel(35, 5, &y, &cb, &cr));
    EXPECT_EQ(0, y);  // bottom row
    ASSERT_TRUE(image.GetPixel(5, 5, &y, &cb, &cr));
    EXPECT_EQ(255, y);
    EXPECT_EQ(128, cb);

    ASSERT_TRUE(image.FillDiagonalLines(0));
    ASSERT_TRUE(image.GetPixel(0, 0, &y, &cb, &cr));
    EXPECT_EQ(255, y);
    ASSERT_TRUE(image.GetPixel(35, 39, &y, &cb, &cr));
    EXPECT_EQ(255, y);
    ASSERT_TRUE(image.GetPixel(10, 20, &y, &cb, &cr));
    EXPECT_EQ(0, y);

    // Pixel operations outside the picture are refused; lines outside are skipped.
    BYTE v = 9;
    EXPECT_FALSE(image.SetPixel(36, 0, &v, &v, &v));
    EXPECT_FALSE(image.GetPixel(0, 40, &y, &cb, &cr));
    Alpha::YCbCr_8bit alpha(3, 3);
    EXPECT_FALSE(alpha.SetPixel(3, 0, &v));
    EXPECT_FALSE(alpha.SetPixel(0, 3, &v));
    EXPECT_FALSE(alpha.GetPixel(0, 3, &v));
    EXPECT_TRUE(alpha.DrawLine(0, 5, 10, 5, 7));
    EXPECT_TRUE(alpha.DrawLine(0xFFFFFF00, 1, 1, 1, 7));
    EXPECT_EQ(std::vector<BYTE>({0, 0, 0, 0, 7, 7, 0, 0, 0}), Bytes(alpha, 0, 9));
    EXPECT_EQ("Alpha=0x07", std::string(alpha.GetPixelText(1, 1).c_str()));
    BYTE yy = 0x12, bb = 0x34, rr = 0x56;
    ASSERT_TRUE(image.SetPixel(0, 1, &yy, &bb, &rr));
    EXPECT_EQ("Y=0x12, Cb=0x34  Cr=0x56", std::string(image.GetPixelText(1, 0).c_str()));

    // Empty pictures end their lines at once.
    Image::YCbCr_8bit empty(0, 0);
    EXPECT_TRUE(empty.FillGrid(0));
    EXPECT_TRUE(empty.FillDiagonalLines(0));
    Alpha::YCbCr_8bit flat(7, 0);
    EXPECT_TRUE(flat.FillGrid());
}

TEST(EightBit, OddWidthFillsStayInsideTheBlock) {
    // A 3 x 3 picture holds 18 bytes; the row walk would write 3 x 2 pairs of 4 bytes.
    Image::YCbCr_8bit image(3, 3);
    EXPECT_TRUE(image.FillHorzWedge(1));
    EXPECT_TRUE(image.FillTiles(0));
    EXPECT_TRUE(image.FillRandom(1, 1));
    EXPECT_TRUE(image.FillVertWedge(2));
    EXPECT_TRUE(image.FillGrid(0));
    EXPECT_TRUE(image.FillSolid(1, 2, 3));
    // Four whole pairs were written; the last two bytes belong to no whole pair.
    EXPECT_EQ((std::vector<BYTE>{2, 1, 3, 1}), Bytes(image, 12, 4));
    EXPECT_EQ((std::vector<BYTE>{0, 0}), Bytes(image, 16, 2));
}
