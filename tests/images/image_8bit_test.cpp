// Tests of the 8-bit pictures and alphas: sizes, pattern fills, pixel access and bounds.
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "image_test_util.h"
#include "images/image_8bit.h"
#include "platform/runtime.h"

using namespace image_test;

TEST(EightBit, SizesAndRawWords) {
    Alpha::YCbCr_8bit alpha(720, 486);
    EXPECT_EQ(349920u, alpha.GetSize());
    alpha.GetBuffer()[349916] = 0x11;
    alpha.GetBuffer()[349919] = 0x44;
    DWORD word = 0;
    ASSERT_TRUE(alpha.GetWord(87479, &word));
    EXPECT_EQ(0x44000011u, word);
    EXPECT_FALSE(alpha.GetWord(87480, &word));
    EXPECT_EQ(699840u, Image::YCbCr_8bit(720, 486).GetSize());
}

TEST(EightBit, FillsWriteTheirBytes) {
    struct Fill {
        bool alpha;
        std::function<bool(CImage&)> run;
    };
    struct Row {
        const char* name;
        DWORD w, h;
        Fill fill;
        size_t at;
        Bytes bytes;
    };
    auto picture = [](auto f) { return Fill{false, [f](CImage& i) { return f(static_cast<Image::YCbCr_8bit&>(i)); }}; };
    auto alpha = [](auto f) { return Fill{true, [f](CImage& i) { return f(static_cast<Alpha::YCbCr_8bit&>(i)); }}; };
    const Row rows[] = {
        {"horizontal wedge 0", 4, 1, picture([](auto& p) { return p.FillHorzWedge(0); }), 0, {0, 0, 0, 1, 0, 2, 0, 3}},
        {"pattern 8", 4, 1, picture([](auto& p) { return p.FillPattern(8); }), 0, {64, 144, 128, 144, 64, 144, 128, 144}},
        {"vertical wedge 1", 2, 300, picture([](auto& p) { return p.FillVertWedge(1); }), 12, {127, 3, 129, 3}},
        {"vertical wedge 1 wraps", 2, 300, picture([](auto& p) { return p.FillVertWedge(1); }), 4 * 299, {235, 43, 21, 43}},
        {"vertical wedge 0", 2, 300, picture([](auto& p) { return p.FillVertWedge(0); }), 4 * 70, {128, 6, 128, 6}},
        {"vertical wedge 2", 2, 300, picture([](auto& p) { return p.FillVertWedge(2); }), 12, {129, 3, 127, 3}},
        {"tiles 0", 16, 16, picture([](auto& p) { return p.FillTiles(0); }), 4 * 75, {0, 56, 0, 60}},
        {"tiles 1", 16, 16, picture([](auto& p) { return p.FillTiles(1); }), 4 * 5, {123, 10, 133, 11}},
        {"odd width: whole pairs only", 3, 3, picture([](auto& p) {
             return p.FillHorzWedge(1) && p.FillTiles(0) && p.FillRandom(1, 1) && p.FillVertWedge(2) && p.FillGrid(0) &&
                    p.FillSolid(1, 2, 3);
         }), 12, {2, 1, 3, 1, 0, 0}},
        {"alpha wedge takes half a row", 6, 2, alpha([](auto& a) { return a.FillSolid(0xEE) && a.FillHorzWedge(0); }), 0,
         {0, 2, 4, 0, 2, 4, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        {"alpha vertical wedge", 6, 2, alpha([](auto& a) { return a.FillVertWedge(1); }), 0, {0, 0, 0, 1, 1, 1}},
        {"alpha unknown wedge mode", 6, 2, alpha([](auto& a) { return a.FillSolid(0xEE) && a.FillHorzWedge(3); }), 0, Bytes(12, 0xEE)},
        {"alpha pattern 8", 6, 2, alpha([](auto& a) { return a.FillPattern(8); }), 0, Bytes(12, 128)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::unique_ptr<CImage> image;
        if (r.fill.alpha) image = std::make_unique<Alpha::YCbCr_8bit>(r.w, r.h);
        else image = std::make_unique<Image::YCbCr_8bit>(r.w, r.h);
        ASSERT_TRUE(r.fill.run(*image));
        EXPECT_EQ(r.bytes, BlockBytes(*image, r.at, r.bytes.size()));
    }
    // Unknown modes leave the picture and succeed; unknown pattern codes fail.
    Image::YCbCr_8bit tiles(16, 16);
    tiles.FillTiles(0);
    const Bytes before = BlockBytes(tiles, 0, tiles.GetSize());
    EXPECT_TRUE(tiles.FillHorzWedge(3));
    EXPECT_TRUE(tiles.FillTiles(7));
    EXPECT_EQ(before, BlockBytes(tiles, 0, tiles.GetSize()));
    EXPECT_FALSE(tiles.FillPattern(11));
    EXPECT_FALSE(tiles.FillPattern(0));
    EXPECT_FALSE(Alpha::YCbCr_8bit(2, 2).FillPattern(11));
}

TEST(EightBit, RandomFillsFollowTheRuntimeGenerator) {
    Image::YCbCr_8bit image(4, 1);
    ASSERT_TRUE(image.FillRandom(2024, 1));
    Lcg lcg(2024);
    for (size_t k = 0; k < 2; ++k) {
        DWORD a = lcg.Next(), b = lcg.Next(), d = lcg.Next();
        EXPECT_EQ(Bytes({BYTE(128 - (d >> 1)), BYTE(a), BYTE(128 + (d >> 1)), BYTE(b)}), BlockBytes(image, 4 * k, 4));
    }
    EXPECT_EQ(lcg.Next(), platform::rand());
    ASSERT_TRUE(image.FillRandom(2024, 0x100));  // only the low byte of the mode counts
    EXPECT_EQ(128, image.GetBuffer()[0]);

    Alpha::YCbCr_8bit alpha(4, 2);
    ASSERT_TRUE(alpha.FillRandom(31));
    Lcg alcg(31);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(BYTE(alcg.Next()), alpha.GetBuffer()[i]);
    EXPECT_EQ(Bytes(4, 0), BlockBytes(alpha, 4, 4));
    // The generator is seeded even when there is no block.
    EXPECT_FALSE(Alpha::YCbCr_8bit(0x10000, 0x10000).FillRandom(31));
    EXPECT_EQ(Lcg(31).Next(), platform::rand());
}

TEST(EightBit, LinesGridsAndBounds) {
    Image::YCbCr_8bit image(40, 36);
    WORD y, cb, cr;
    auto luma = [&](DWORD r, DWORD c) { return image.GetPixel(r, c, &y, &cb, &cr) ? int(y) : -1; };
    ASSERT_TRUE(image.FillGrid(0));
    EXPECT_EQ(0, luma(5, 32));
    EXPECT_EQ(0, luma(35, 5));  // bottom row
    EXPECT_EQ(255, luma(5, 5));
    EXPECT_EQ(128, cb);
    ASSERT_TRUE(image.FillDiagonalLines(0));
    EXPECT_EQ(255, luma(0, 0));
    EXPECT_EQ(255, luma(35, 39));
    EXPECT_EQ(0, luma(10, 20));

    BYTE v = 9;
    EXPECT_FALSE(image.SetPixel(36, 0, &v, &v, &v));
    EXPECT_EQ(-1, luma(0, 40));
    Alpha::YCbCr_8bit alpha(3, 3);
    EXPECT_FALSE(alpha.SetPixel(3, 0, &v));
    EXPECT_FALSE(alpha.SetPixel(0, 3, &v));
    EXPECT_FALSE(alpha.GetPixel(0, 3, &v));
    EXPECT_TRUE(alpha.DrawLine(0, 5, 10, 5, 7));  // outside: skipped
    EXPECT_TRUE(alpha.DrawLine(0xFFFFFF00, 1, 1, 1, 7));
    EXPECT_EQ(Bytes({0, 0, 0, 0, 7, 7, 0, 0, 0}), BlockBytes(alpha, 0, 9));
    EXPECT_EQ("Alpha=0x07", std::string(alpha.GetPixelText(1, 1).c_str()));
    BYTE yy = 0x12, bb = 0x34, rr = 0x56;
    ASSERT_TRUE(image.SetPixel(0, 1, &yy, &bb, &rr));
    EXPECT_EQ("Y=0x12, Cb=0x34  Cr=0x56", std::string(image.GetPixelText(1, 0).c_str()));
    EXPECT_TRUE(Image::YCbCr_8bit(0, 0).FillGrid(0));
    EXPECT_TRUE(Alpha::YCbCr_8bit(7, 0).FillGrid());
}
