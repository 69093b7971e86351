// Tests of the unpacked 10-bit pictures and alphas: fills, sample formats, lines and pixel access.
#include <array>
#include <functional>
#include <set>
#include <tuple>
#include <utility>

#include <gtest/gtest.h>

#include "image_test_util.h"
#include "images/unpacked_image.h"
#include "platform/runtime.h"

using namespace image_test;
using Picture = Unpacked::Image::YCbCr_10_6;
using Alpha10 = Unpacked::Alpha::YCbCr_10_6;
using Quad = std::array<WORD, 4>;

namespace {

WORD Le16(const BYTE* p) { return WORD(p[0] | p[1] << 8); }

// The four words (Cb, Y0, Cr, Y1) of pair k, shifted down to their 10-bit values unless raw.
Quad Pair(const Picture& image, size_t k, bool raw = false) {
    Quad q;
    for (int i = 0; i < 4; ++i) q[i] = WORD(Le16(image.GetBuffer() + 8 * k + 2 * i) >> (raw ? 0 : 6));
    return q;
}

Bytes Block(const CImage& image) { return BlockBytes(image, 0, image.GetSize() + image.GetOffset()); }

// The pixels of an alpha with a value other than 0, as (column, row).
std::set<std::pair<DWORD, DWORD>> Lit(const Alpha10& alpha) {
    std::set<std::pair<DWORD, DWORD>> points;
    for (DWORD r = 0; r < alpha.GetHeight(); ++r)
        for (DWORD c = 0; c < alpha.GetWidth(); ++c) {
            WORD v = 0;
            if (alpha.GetPixel(r, c, v) && v) points.insert({c, r});
        }
    return points;
}

}  // namespace

TEST(UnpackedPicture, FillsWriteTheirPairs) {
    struct Row {
        const char* name;
        DWORD w, h, format;
        std::function<bool(Picture&)> fill;
        size_t pair;
        Quad values;  // Cb, Y0, Cr, Y1
    };
    const Row rows[] = {
        {"solid pattern ignores the limits", 6, 2, 4, [](Picture& p) { return p.FillPattern(8, 100, 200); }, 5, {64, 400, 640, 400}},
        {"wedge 0 ramps the luma", 4, 1, 4, [](Picture& p) { return p.FillHorzWedge(0, 0, 0x3FF); }, 1, {512, 2, 512, 3}},
        {"wedge clamps to lo", 4, 1, 4, [](Picture& p) { return p.FillHorzWedge(0, 4, 0x3FB); }, 0, {512, 4, 512, 4}},
        {"lo above hi gives lo", 4, 1, 4, [](Picture& p) { return p.FillHorzWedge(2, 300, 200); }, 1, {300, 300, 300, 300}},
        {"wedge 1 chroma runs apart", 1030, 1, 4, [](Picture& p) { return p.FillHorzWedge(1, 0, 0x3FF); }, 50, {462, 100, 562, 101}},
        {"wedge 1 wraps at 1024", 1030, 1, 4, [](Picture& p) { return p.FillHorzWedge(1, 0, 0x3FF); }, 512, {0, 0, 0, 1}},
        {"wedge 2 runs the other way", 1030, 1, 4, [](Picture& p) { return p.FillHorzWedge(2, 0, 0x3FF); }, 50, {562, 100, 462, 101}},
        {"vertical wedge 1", 2, 600, 4, [](Picture& p) { return p.FillVertWedge(1, 0, 0x3FF); }, 300, {362, 300, 662, 300}},
        {"vertical wedge 0", 2, 600, 4, [](Picture& p) { return p.FillVertWedge(0, 0, 0x3FF); }, 599, {512, 599, 512, 599}},
        {"vertical wedge 2", 2, 600, 4, [](Picture& p) { return p.FillVertWedge(2, 0, 0x3FF); }, 300, {662, 300, 362, 300}},
        {"tiles: block row 1, columns 6 and 7", 16, 16, 4, [](Picture& p) { return p.FillTiles(0, 0, 0x3FF); }, 75, {512, 224, 512, 240}},
        {"tiles: last levels", 16, 16, 4, [](Picture& p) { return p.FillTiles(0, 0, 0x3FF); }, 127, {512, 992, 512, 1008}},
        {"tiles 1 are wedge 1", 16, 1, 4, [](Picture& p) { return p.FillTiles(1, 0, 0x3FF); }, 5, {507, 10, 517, 11}},
        {"format 1 masks the wedge", 8, 1, 1, [](Picture& p) { return p.FillHorzWedge(0, 0, 0x3FF); }, 2, {512, 4, 512, 4}},
        {"format 1 masks the vertical wedge", 2, 600, 1, [](Picture& p) { return p.FillVertWedge(0, 0, 0x3FF); }, 599, {512, 596, 512, 596}},
        {"ramp stride 4: group 1", 32, 2, 4, [](Picture& p) { return p.FillRampStride4(); }, 7, {1, 1, 1, 1}},
        {"ramp stride 4: group 2", 32, 2, 4, [](Picture& p) { return p.FillRampStride4(); }, 31, {2, 2, 2, 2}},
        {"ramp stride 4: other pairs 0", 32, 2, 4, [](Picture& p) { return p.FillRampStride4(); }, 22, {0, 0, 0, 0}},
        {"ramp stride 4 in format 1", 32, 2, 1, [](Picture& p) { return p.FillRampStride4(); }, 7, {0, 0, 0, 0}},
        {"diagonals: the falling one", 8, 8, 4, [](Picture& p) { return p.FillDiagonalLines(1, 0, 0x3FF); }, 4, {1023, 1023, 0, 1023}},
        {"diagonals: the rising one", 8, 8, 4, [](Picture& p) { return p.FillDiagonalLines(1, 0, 0x3FF); }, 7, {0, 1023, 1023, 1023}},
        {"diagonals: background", 8, 8, 4, [](Picture& p) { return p.FillDiagonalLines(1, 0, 0x3FF); }, 12, {512, 1023, 512, 1023}},
        {"grid: lines at 0 and the borders", 8, 8, 4, [](Picture& p) { return p.FillGrid(1, 4, 0x3FB); }, 14, {512, 0x3FB, 512, 0x3FB}},
        {"grid: line row 0", 8, 8, 4, [](Picture& p) { return p.FillGrid(1, 4, 0x3FB); }, 2, {512, 4, 512, 4}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Picture image(r.w, r.h, 0);
        image.nSampleFormat = r.format;
        ASSERT_TRUE(r.fill(image));
        EXPECT_EQ(r.values, Pair(image, r.pair));
    }
    // Unknown modes write nothing but succeed; unknown patterns fail; a width not of whole
    // groups of 16 refuses the ramp.
    Picture image(360, 2, 0);
    image.FillSolid(7, 8, 9);
    const Bytes before = Block(image);
    EXPECT_TRUE(image.FillHorzWedge(5, 0, 0x3FF));
    EXPECT_TRUE(image.FillTiles(3, 0, 0x3FF));
    EXPECT_FALSE(image.FillRampStride4());
    EXPECT_FALSE(image.FillPattern(0, 0, 0x3FF));
    EXPECT_FALSE(image.FillPattern(11, 0, 0x3FF));
    EXPECT_EQ(before, Block(image));
}

TEST(UnpackedPicture, RandomFillsFollowTheRuntimeGenerator) {
    Picture image(4, 2, 0);
    ASSERT_TRUE(image.FillRandom(12345, 1, 0, 0x3FF));
    Lcg lcg(12345);
    for (size_t k = 0; k < 4; ++k) {
        DWORD r1 = lcg.Next(), r2 = lcg.Next(), r3 = lcg.Next();
        EXPECT_EQ(Quad({WORD((512 - (r3 >> 1)) & 0x3FF), WORD(r1 % 1024), WORD((512 + (r3 >> 1)) & 0x3FF), WORD(r2 % 1024)}),
                  Pair(image, k)) << "pair " << k;
    }
    EXPECT_EQ(lcg.Next(), platform::rand());  // the sequence goes on after the fill
    ASSERT_TRUE(image.FillRandom(12345, 0, 0, 0x3FF));  // mode 0: neutral chroma
    EXPECT_EQ(512, Pair(image, 3)[0]);
    image.nSampleFormat = 1;
    ASSERT_TRUE(image.FillRandom(99, 1, 0, 0x3FF));
    for (size_t k = 0; k < 4; ++k)
        for (WORD v : Pair(image, k)) EXPECT_EQ(0, v & 3);

    Alpha10 alpha(3, 1);
    ASSERT_TRUE(alpha.FillRandom(7));
    Lcg alcg(7);
    for (DWORD c = 0; c < 3; ++c) {
        WORD v;
        ASSERT_TRUE(alpha.GetPixel(0, c, v));
        EXPECT_EQ(alcg.Next() % 1024, v);
    }
}

TEST(UnpackedPicture, EncodedSampleFormatExchangesLowBits) {
    const struct {
        const char* name;
        WORD y0, y1, cb, cr;
        DWORD format;
        Quad words;
    } rows[] = {
        {"format 2 moves Y0's low bit to Cr", 1, 0, 0, 0, 2, {0, 0, 0x0040, 0}},
        {"format 1 drops the low bits", 0x3FF, 0x201, 0x1FE, 0x102, 1, {0x7F00, 0xFF00, 0x4000, 0x8000}},
        {"unknown format gives zeros", 1, 2, 3, 4, 3, {0, 0, 0, 0}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Quad pair;
        Picture::MakePixelPair(pair.data(), r.y0, r.y1, r.cb, r.cr, r.format);
        EXPECT_EQ(r.words, pair);
    }
    // A picture filled encoded converts to the plain fill; only format 2 converts.
    Picture plain(16, 4, 0), encoded(16, 4, 0);
    encoded.nSampleFormat = 2;
    plain.FillRandom(5, 1, 0, 0x3FF);
    encoded.FillRandom(5, 1, 0, 0x3FF);
    EXPECT_NE(Block(plain), Block(encoded));
    ASSERT_TRUE(encoded.ConvertToFormat4());
    EXPECT_EQ(4u, encoded.nSampleFormat);
    EXPECT_EQ(Block(plain), Block(encoded));
    EXPECT_FALSE(encoded.ConvertToFormat4());
}

TEST(UnpackedPicture, PixelAccessKeepsLowBitsAndChecksBounds) {
    Picture image(4, 2, 0);
    image.GetBuffer()[0] = 0x15;  // bits 0-5 of Cb of pair 0
    ASSERT_TRUE(image.SetPixel(0, 1, 0x3FF, 0x100, 0x200));
    EXPECT_EQ(Quad({0x4015, 0, 0x8000, 0xFFC0}), Pair(image, 0, true));
    WORD y, cb, cr;
    ASSERT_TRUE(image.GetPixel(0, 0, y, cb, cr));
    EXPECT_EQ(std::make_tuple(0, 0x100, 0x200), std::make_tuple(int(y), int(cb), int(cr)));
    EXPECT_FALSE(image.SetPixel(2, 0, 1, 1, 1));
    EXPECT_FALSE(image.GetPixel(0, 4, y, cb, cr));
    EXPECT_EQ("Y=0x03FF, Cb=0x0100  Cr=0x0200", std::string(image.GetPixelText(1, 0).c_str()));

    Alpha10 alpha(3, 2);
    EXPECT_TRUE(alpha.SetPixel(1, 2, 0x2AB));
    EXPECT_EQ(0xAAC0, Le16(alpha.GetBuffer() + 10));
    EXPECT_FALSE(alpha.SetPixel(2, 0, 1));
    EXPECT_FALSE(alpha.SetPixel(0, 3, 1));
    WORD v;
    EXPECT_FALSE(alpha.GetPixel(9, 9, v));
    DWORD word;
    ASSERT_TRUE(alpha.GetWord(2, word));
    EXPECT_EQ(0xAAC00000u, word);
    EXPECT_FALSE(alpha.GetWord(3, word));
}

TEST(UnpackedPicture, LinesGridsAndDiagonals) {
    using Points = std::set<std::pair<DWORD, DWORD>>;
    Alpha10 alpha(4, 2);
    EXPECT_TRUE(alpha.DrawLine(0, 0, 3, 1, 9));
    EXPECT_EQ(Points({{0, 0}, {1, 0}, {2, 1}, {3, 1}}), Lit(alpha));
    alpha.FillSolid(0);
    EXPECT_TRUE(alpha.DrawLine(3, 1, 0, 0, 9));
    EXPECT_EQ(Points({{0, 0}, {1, 0}, {2, 1}, {3, 1}}), Lit(alpha));
    alpha.FillSolid(0);
    EXPECT_TRUE(alpha.DrawLine(2, 0, 2, 100000, 9));  // points outside are skipped
    EXPECT_EQ(Points({{2, 0}, {2, 1}}), Lit(alpha));
    Picture steep(4, 4, 0);
    steep.DrawLine(0, 0, 1, 3, 100, 512, 512);
    for (auto [c, r] : Points{{0, 0}, {0, 1}, {1, 2}, {1, 3}}) {
        WORD y, cb, cr;
        ASSERT_TRUE(steep.GetPixel(r, c, y, cb, cr));
        EXPECT_EQ(100, y) << c << "," << r;
    }

    Alpha10 grid(4, 4), big(70, 40), frame(5, 5);
    ASSERT_TRUE(grid.FillGrid(0));
    EXPECT_EQ(Points({{1, 1}, {1, 2}, {2, 1}, {2, 2}}), Lit(grid));
    ASSERT_TRUE(big.FillGrid(0));
    EXPECT_EQ((70u - 4) * (40 - 3), Lit(big).size());  // lines at 0, 32 and the last row and column
    ASSERT_TRUE(frame.FillDiagonalLines(0, 0));
    EXPECT_EQ(9u, Lit(frame).size());
    ASSERT_TRUE(frame.FillDiagonalLines(0, 1));
    EXPECT_EQ(16u + 9u - 4u, Lit(frame).size());  // the borders too
    Alpha10 none(0, 0);
    EXPECT_TRUE(none.FillGrid(0));
    EXPECT_TRUE(Picture(16, 0, 0).FillDiagonalLines(1, 0, 0x3FF));
}

TEST(UnpackedPicture, FillsStayInsideTheDataAndNeedABlock) {
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
        EXPECT_EQ(Bytes(16, 0), BlockBytes(image, 36, 16));
    }
    WORD y, cb, cr;
    EXPECT_FALSE(image.GetPixel(2, 2, y, cb, cr));  // its pair would reach past the data
    EXPECT_TRUE(image.GetPixel(2, 1, y, cb, cr));

    Picture none(0x10000, 0x10000, 0);  // more than a 32-bit block can hold
    EXPECT_EQ(nullptr, none.GetBuffer());
    EXPECT_FALSE(none.FillHorzWedge(0, 0, 0x3FF));
    EXPECT_FALSE(none.FillSolid(1, 1, 1));
    EXPECT_FALSE(none.FillRandom(1, 0, 0, 0x3FF));
    EXPECT_FALSE(none.SetPixel(0, 0, 1, 1, 1));
    EXPECT_TRUE(none.FillPattern(1, 0, 0x3FF));
    EXPECT_TRUE(none.DrawLine(0, 0, 5, 5, 1, 1, 1));
    none.nSampleFormat = 2;
    EXPECT_FALSE(none.ConvertToFormat4());
    EXPECT_EQ(nullptr, none.CreateDIB(1));
}
