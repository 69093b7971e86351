// Tests of the packed 8+2-bit pictures and alphas: sizes and pads, plane layout, packing and pixel access.
#include <tuple>

#include <gtest/gtest.h>

#include "image_test_util.h"
#include "images/packed_image.h"
#include "images/unpacked_image.h"

using namespace image_test;
using PackedAlpha = Packed::Alpha::YCbCr_8_2;
using PackedImage = Packed::Image::YCbCr_8_2;

namespace {

// An unpacked 2 x 1 picture holding the one pixel pair (Cb, Y0, Cr, Y1) in its sample format.
void SetPair(Unpacked::Image::YCbCr_10_6& image, WORD cb, WORD y0, WORD cr, WORD y1) {
    WORD pair[4];
    Unpacked::Image::YCbCr_10_6::MakePixelPair(pair, y0, y1, cb, cr, image.nSampleFormat);
    for (int i = 0; i < 4; ++i) {
        image.GetBuffer()[2 * i] = static_cast<BYTE>(pair[i]);
        image.GetBuffer()[2 * i + 1] = static_cast<BYTE>(pair[i] >> 8);
    }
}

}  // namespace

TEST(PackedLayout, SizesAndPads) {
    struct Row {
        const char* name;
        DWORD (*sizeFor)(DWORD, DWORD);
        DWORD (*padFor)(DWORD, DWORD);
        DWORD w, h, size, pad;
    };
    const Row rows[] = {
        {"image HD", PackedImage::GetSizeFor, PackedImage::GetPadFor, 1920, 1080, 5184000, 1536},
        {"image whole units", PackedImage::GetSizeFor, PackedImage::GetPadFor, 128, 64, 20480, 0},
        {"image odd pixel count rounds the pair up", PackedImage::GetSizeFor, PackedImage::GetPadFor, 5, 3, 38, 4058},
        {"alpha SD", PackedAlpha::GetSizeFor, PackedAlpha::GetPadFor, 720, 486, 437400, 872},
        {"alpha whole units", PackedAlpha::GetSizeFor, PackedAlpha::GetPadFor, 128, 128, 20480, 0},
        {"alpha P mod 4 = 1 rounds the 2-bit plane down", PackedAlpha::GetSizeFor, PackedAlpha::GetPadFor, 5, 1, 6, 4090},
        {"alpha P mod 4 = 2 rounds it up", PackedAlpha::GetSizeFor, PackedAlpha::GetPadFor, 6, 1, 8, 4088},
        {"alpha P mod 4 = 3 rounds it up", PackedAlpha::GetSizeFor, PackedAlpha::GetPadFor, 3, 1, 4, 4092},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(r.size, r.sizeFor(r.w, r.h));
        EXPECT_EQ(r.pad, r.padFor(r.w, r.h));
    }
    // An odd 4:2:2 pixel count rounds the half pair up in GetSizeFor only.
    EXPECT_EQ(37u, PackedImage(5, 3, 0).GetSize());
}

TEST(PackedLayout, PlanesSitWhereTheClassPutsThem) {
    PackedImage hd(1920, 1080, 1536);
    EXPECT_EQ(5184000u, hd.GetSize());
    EXPECT_EQ(1036800u, hd.Get2BitPlaneSize());
    EXPECT_EQ(4147200u, hd.Get8BitPlaneSize());
    EXPECT_EQ(hd.GetBuffer() + 1536, hd.Get2BitPlane());
    EXPECT_EQ(hd.GetBuffer() + 1038336, hd.Get8BitPlane());
    DWORD word = 0;
    EXPECT_TRUE(hd.GetWord(5185536 / 4 - 1, &word));
    EXPECT_FALSE(hd.GetWord(5185536 / 4, &word));

    PackedAlpha sd(720, 486, 872);
    EXPECT_EQ(437400u, sd.GetSize());
    EXPECT_EQ(sd.GetBuffer(), sd.Get8BitPlane());
    EXPECT_EQ(sd.GetBuffer() + 349920, sd.Get2BitPlane());
    EXPECT_TRUE(sd.GetWord(438272 / 4 - 1, &word));
    EXPECT_EQ(0u, word);  // the pad is zero
    EXPECT_FALSE(sd.GetWord(438272 / 4, &word));

    // Fresh blocks: pad zero, 2-bit plane 0x77, 8-bit plane 0x99, in each class's order.
    Bytes image(4, 0);
    image.resize(12, 0x77);
    image.resize(44, 0x99);
    EXPECT_EQ(image, BlockBytes(PackedImage(8, 2, 4), 0, 44));
    EXPECT_EQ(Bytes({0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x77, 0x77, 0, 0, 0}),
              BlockBytes(PackedAlpha(4, 2, 3), 0, 13));
    WORD y = 0, cb = 0, cr = 0;
    ASSERT_TRUE(PackedImage(8, 2, 4).GetPixel(0, 1, &y, &cb, &cr));
    EXPECT_EQ(0x265, y);  // field 01 of 0x77 at bits 7..6
    EXPECT_EQ(0x267, cb);

    // An offset changed after construction moves the planes with the pad; a shrunken pad once
    // made the fresh fill run past the block.
    PackedImage moved(8, 2, 100);
    moved.SetOffset(4);
    ASSERT_NE(nullptr, moved.Allocate());
    EXPECT_EQ(image, BlockBytes(moved, 0, 44));
    EXPECT_EQ(moved.GetBuffer() + 12, moved.Get8BitPlane());
    EXPECT_TRUE(moved.GetWord(10, &word));
    EXPECT_FALSE(moved.GetWord(11, &word));
    // Assigned through the base class the picture takes offset 0, and its planes follow.
    CImage& base = moved;
    base = PackedImage(8, 2, 0);
    EXPECT_EQ(moved.GetBuffer(), moved.Get2BitPlane());
    PackedAlpha grown(4, 2, 0);
    grown.SetWidth(8);
    ASSERT_NE(nullptr, grown.Allocate());
    EXPECT_EQ(20u, grown.GetSize());
    EXPECT_EQ(grown.GetBuffer() + 16, grown.Get2BitPlane());
}

TEST(PackedPicture, PacksAPixelPairBySampleFormat) {
    Unpacked::Image::YCbCr_10_6 source(2, 1, 0);
    SetPair(source, 0x303, 0x201, 0x000, 0x102);
    PackedImage packed(source, 0);
    EXPECT_EQ(Bytes({0xC0, 0x80, 0x00, 0x40}), Bytes(packed.Get8BitPlane(), packed.Get8BitPlane() + 4));
    EXPECT_EQ(0x87, packed.Get2BitPlane()[0]);
    source.nSampleFormat = 1;
    PackedImage masked(source, 0);
    EXPECT_EQ(0x00, masked.Get2BitPlane()[0]);
    EXPECT_EQ(1u, masked.nSampleFormat);
    // Encoded words carry the low bits of Y1, Cr, Y0, Cb; the byte holds those of Cr, Y0, Cb, Y1.
    source.nSampleFormat = 2;
    SetPair(source, 0x001, 0x002, 0x003, 0x000);
    EXPECT_EQ(3 | 2 << 2 | 1 << 4, PackedImage(source, 0).Get2BitPlane()[0]);
}

TEST(PackedPicture, PackingKeepsEveryTenBitSample) {
    Unpacked::Image::YCbCr_10_6 source(64, 18, 0);
    source.FillRandom(77, 1, 0, 0x3FF);
    PackedImage packed(source, PackedImage::GetPadFor(64, 18));
    for (DWORD r = 0; r < 18; ++r) {
        for (DWORD c = 0; c < 64; ++c) {
            WORD y1, cb1, cr1, y2, cb2, cr2;
            ASSERT_TRUE(source.GetPixel(r, c, y1, cb1, cr1));
            ASSERT_TRUE(packed.GetPixel(r, c, &y2, &cb2, &cr2));
            ASSERT_EQ(std::make_tuple(y1, cb1, cr1), std::make_tuple(y2, cb2, cr2)) << r << "," << c;
        }
    }
    WORD y, cb, cr;
    EXPECT_FALSE(packed.GetPixel(18, 0, &y, &cb, &cr));
    EXPECT_FALSE(packed.GetPixel(0, 64, &y, &cb, &cr));

    // Assignment copies the block; a source without the standard pad keeps its planes at its bytes.
    PackedImage copy(2, 2, 0), unpadded(source, 0);
    copy = packed;
    EXPECT_EQ(BlockBytes(packed, 0, packed.GetSize() + packed.GetOffset()), BlockBytes(copy, 0, copy.GetSize() + copy.GetOffset()));
    copy = unpadded;
    ASSERT_TRUE(copy.GetPixel(3, 15, &y, &cb, &cr));
    WORD y1, cb1, cr1;
    ASSERT_TRUE(source.GetPixel(3, 15, y1, cb1, cr1));
    EXPECT_EQ(std::make_tuple(y1, cb1, cr1), std::make_tuple(y, cb, cr));
    // A source without data gives an image without a block, and empties an assigned one.
    PackedImage empty(Unpacked::Image::YCbCr_10_6(0, 0, 0), 0);
    EXPECT_EQ(nullptr, empty.Get8BitPlane());
    EXPECT_FALSE(empty.GetPixel(0, 0, &y, &cb, &cr));
    copy = empty;
    EXPECT_EQ(nullptr, copy.GetBuffer());
}

TEST(PackedAlpha, SetAndGetPixelFields) {
    PackedAlpha alpha(4, 2, 0);
    WORD value = 0x2D7, back = 0;
    ASSERT_TRUE(alpha.SetPixel(1, 1, &value));  // pixel 5
    EXPECT_EQ(0xB5, alpha.Get8BitPlane()[5]);
    EXPECT_EQ(0x77 | 0x0C, alpha.Get2BitPlane()[1]);  // field 11 in bits 3..2, the rest kept
    ASSERT_TRUE(alpha.GetPixel(1, 1, &back));
    EXPECT_EQ(0x2D7, back);
    value = 0;
    ASSERT_TRUE(alpha.SetPixel(1, 1, &value));
    EXPECT_EQ(0x77 & ~0x0C, alpha.Get2BitPlane()[1]);
    EXPECT_FALSE(alpha.SetPixel(2, 0, &value));
    EXPECT_FALSE(alpha.SetPixel(0, 4, &value));
    EXPECT_FALSE(alpha.GetPixel(5, 5, &back));
}

TEST(PackedAlpha, PacksGroupsOfFourAndAPartialGroup) {
    const WORD values[6] = {0x3FF, 0x001, 0x002, 0x203, 0x155, 0x2AA};
    Unpacked::Alpha::YCbCr_10_6 six(6, 1), five(5, 1);
    for (DWORD c = 0; c < 6; ++c) six.SetPixel(0, c, values[c]);
    for (DWORD c = 0; c < 5; ++c) five.SetPixel(0, c, values[c]);
    PackedAlpha packed(six, 0);
    ASSERT_EQ(8u, packed.GetSize());
    for (DWORD c = 0; c < 6; ++c) EXPECT_EQ(values[c] >> 2, packed.Get8BitPlane()[c]);
    EXPECT_EQ(3 | 1 << 2 | 2 << 4 | 3 << 6, packed.Get2BitPlane()[0]);
    EXPECT_EQ(1 | 2 << 2, packed.Get2BitPlane()[1]);  // bits 7..4 zero

    // Five pixels: six plane bytes, the last pixel's field held in the block behind them.
    TempDir dir;
    PackedAlpha packedFive(five, 0);
    ASSERT_EQ(6u, packedFive.GetSize());
    WORD v = 0;
    ASSERT_TRUE(packedFive.GetPixel(0, 4, &v));
    EXPECT_EQ(0x155, v);
    DWORD word = 0;
    EXPECT_TRUE(packedFive.GetWord(0, &word));
    EXPECT_EQ(0x800000FFu, word);
    EXPECT_FALSE(packedFive.GetWord(1, &word));
    // A file of the six plane bytes reads back.
    ASSERT_EQ(1, packedFive.SaveFile((dir / "five.img").c_str(), 0));
    EXPECT_EQ(56u + 6u, ReadBytes(dir / "five.img").size());
    PackedAlpha back(2, 2, 0);
    ASSERT_EQ(1, ReadFrom(back, dir / "five.img"));
    EXPECT_EQ(6u, back.GetSize());
    EXPECT_EQ(BlockBytes(packedFive, 0, 6), BlockBytes(back, 0, 6));
    PackedAlpha copy(1, 1, 0);
    copy = packedFive;
    ASSERT_TRUE(copy.GetPixel(0, 4, &v));
    EXPECT_EQ(0x155, v);

    // A source with more pixels than the planes hold is not packed.
    PackedAlpha target(4, 2, 0);
    target.PackFrom(Unpacked::Alpha::YCbCr_10_6(8, 2));
    EXPECT_EQ(0x99, target.Get8BitPlane()[0]);
}
