// Tests of the packed 8+2-bit pictures and alphas: plane layout, padding, packing and pixel access.
#include <cstring>

#include <gtest/gtest.h>

#include "image_test_util.h"
#include "images/packed_image.h"
#include "images/unpacked_image.h"

using namespace image_test;

namespace {

// An unpacked 2 x 1 picture holding the one pixel pair (Cb, Y0, Cr, Y1).
void SetPair(Unpacked::Image::YCbCr_10_6& image, WORD cb, WORD y0, WORD cr, WORD y1) {
    WORD pair[4];
    Unpacked::Image::YCbCr_10_6::MakePixelPair(pair, y0, y1, cb, cr, image.nSampleFormat);
    for (int i = 0; i < 4; ++i) {
        image.GetBuffer()[2 * i] = static_cast<BYTE>(pair[i]);
        image.GetBuffer()[2 * i + 1] = static_cast<BYTE>(pair[i] >> 8);
    }
}

}  // namespace

TEST(PackedLayout, SizesPadsAndPlaneOffsets) {
    EXPECT_EQ(5184000u, Packed::Image::YCbCr_8_2::GetSizeFor(1920, 1080));
    EXPECT_EQ(1536u, Packed::Image::YCbCr_8_2::GetPadFor(1920, 1080));
    Packed::Image::YCbCr_8_2 hd(1920, 1080, 1536);
    EXPECT_EQ(5184000u, hd.GetSize());
    EXPECT_EQ(hd.GetBuffer() + 1536, hd.Get2BitPlane());
    EXPECT_EQ(hd.GetBuffer() + 1038336, hd.Get8BitPlane());
    EXPECT_EQ(1036800u, hd.Get2BitPlaneSize());
    EXPECT_EQ(4147200u, hd.Get8BitPlaneSize());
    DWORD last = 0;
    EXPECT_TRUE(hd.GetWord(5185536 / 4 - 1, &last));
    EXPECT_FALSE(hd.GetWord(5185536 / 4, &last));

    EXPECT_EQ(437400u, Packed::Alpha::YCbCr_8_2::GetSizeFor(720, 486));
    EXPECT_EQ(872u, Packed::Alpha::YCbCr_8_2::GetPadFor(720, 486));
    Packed::Alpha::YCbCr_8_2 sd(720, 486, 872);
    EXPECT_EQ(437400u, sd.GetSize());
    EXPECT_EQ(sd.GetBuffer(), sd.Get8BitPlane());
    EXPECT_EQ(sd.GetBuffer() + 349920, sd.Get2BitPlane());
    EXPECT_TRUE(sd.GetWord(438272 / 4 - 1, &last));
    EXPECT_EQ(0u, last);  // the pad is zero
    EXPECT_FALSE(sd.GetWord(438272 / 4, &last));

    // Plane bytes already in whole 4096-byte units need no pad.
    EXPECT_EQ(0u, Packed::Image::YCbCr_8_2::GetPadFor(128, 64));
    EXPECT_EQ(0u, Packed::Alpha::YCbCr_8_2::GetPadFor(128, 128));
    // An odd pixel count rounds the 4:2:2 pair count up in GetSizeFor only.
    EXPECT_EQ(2u * 15 + 8, Packed::Image::YCbCr_8_2::GetSizeFor(5, 3));
    EXPECT_EQ(2u * 15 + 7, Packed::Image::YCbCr_8_2(5, 3, 0).GetSize());
}

TEST(PackedLayout, FreshBlockShowsMarkerBytes) {
    Packed::Image::YCbCr_8_2 image(8, 2, 4);
    const BYTE* b = image.GetBuffer();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(0, b[i]);
    for (int i = 4; i < 12; ++i) EXPECT_EQ(0x77, b[i]);
    for (int i = 12; i < 44; ++i) EXPECT_EQ(0x99, b[i]);
    WORD y = 0, cb = 0, cr = 0;
    ASSERT_TRUE(image.GetPixel(0, 0, &y, &cb, &cr));
    EXPECT_EQ(0x265, y);
    EXPECT_EQ(0x267, cb);
    EXPECT_EQ(0x267, cr);
    ASSERT_TRUE(image.GetPixel(0, 1, &y, &cb, &cr));
    EXPECT_EQ(0x265, y);

    Packed::Alpha::YCbCr_8_2 alpha(4, 2, 3);
    const BYTE* a = alpha.GetBuffer();
    const std::vector<BYTE> expected = {0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x77, 0x77, 0, 0, 0};
    EXPECT_EQ(expected, std::vector<BYTE>(a, a + 13));
}

TEST(PackedLayout, AllocatePlacesThePlanesForTheCurrentPadAndSize) {
    // An offset changed after construction moves the planes with the pad; a shrunken pad once
    // made the fresh fill run past the block.
    Packed::Image::YCbCr_8_2 image(8, 2, 100);
    image.SetOffset(4);
    ASSERT_NE(nullptr, image.Allocate());
    const BYTE* b = image.GetBuffer();
    EXPECT_EQ(b + 4, image.Get2BitPlane());
    EXPECT_EQ(b + 12, image.Get8BitPlane());
    std::vector<BYTE> expected(4, 0);
    expected.resize(12, 0x77);
    expected.resize(44, 0x99);
    EXPECT_EQ(expected, std::vector<BYTE>(b, b + 44));
    DWORD word = 0;
    EXPECT_TRUE(image.GetWord(10, &word));
    EXPECT_FALSE(image.GetWord(11, &word));

    // Assigned through the base class the picture takes offset 0, and its planes follow.
    Packed::Image::YCbCr_8_2 source(8, 2, 0);
    WORD y = 0, cb = 0, cr = 0;
    CImage& base = image;
    base = source;
    EXPECT_EQ(0u, image.GetOffset());
    EXPECT_EQ(image.GetBuffer(), image.Get2BitPlane());
    ASSERT_TRUE(image.GetPixel(1, 7, &y, &cb, &cr));
    EXPECT_EQ((0x99 << 2) | 1, y);  // Y1 from field 01 of 0x77 at bits 7..6

    // A changed size gives the alpha planes for the new picture.
    Packed::Alpha::YCbCr_8_2 alpha(4, 2, 0);
    alpha.SetWidth(8);
    ASSERT_NE(nullptr, alpha.Allocate());
    EXPECT_EQ(16u + 4u, alpha.GetSize());
    EXPECT_EQ(alpha.GetBuffer() + 16, alpha.Get2BitPlane());
}

TEST(PackedPicture, PacksAPixelPairBySampleFormat) {
    Unpacked::Image::YCbCr_10_6 source(2, 1, 0);
    SetPair(source, 0x303, 0x201, 0x000, 0x102);
    Packed::Image::YCbCr_8_2 packed(source, 0);
    const BYTE* p8 = packed.Get8BitPlane();
    EXPECT_EQ(0xC0, p8[0]);
    EXPECT_EQ(0x80, p8[1]);
    EXPECT_EQ(0x00, p8[2]);
    EXPECT_EQ(0x40, p8[3]);
    EXPECT_EQ(0x87, packed.Get2BitPlane()[0]);
    WORD y = 0, cb = 0, cr = 0;
    ASSERT_TRUE(packed.GetPixel(0, 1, &y, &cb, &cr));
    EXPECT_EQ(0x102, y);
    EXPECT_EQ(0x303, cb);

    source.nSampleFormat = 1;
    Packed::Image::YCbCr_8_2 masked(source, 0);
    EXPECT_EQ(0x00, masked.Get2BitPlane()[0]);
    EXPECT_EQ(1u, masked.nSampleFormat);

    // Encoded words carry the low bits of Y1, Cr, Y0, Cb; the byte holds those of Cr, Y0, Cb, Y1.
    source.nSampleFormat = 2;
    SetPair(source, 0x001, 0x002, 0x003, 0x000);  // low bits Cb 1, Y0 2, Cr 3, Y1 0
    Packed::Image::YCbCr_8_2 encoded(source, 0);
    EXPECT_EQ(3 | 2 << 2 | 1 << 4 | 0 << 6, encoded.Get2BitPlane()[0]);
}

TEST(PackedPicture, PackingKeepsEveryTenBitSample) {
    Unpacked::Image::YCbCr_10_6 source(64, 18, 0);
    source.FillRandom(77, 1, 0, 0x3FF);
    DWORD pad = Packed::Image::YCbCr_8_2::GetPadFor(64, 18);
    Packed::Image::YCbCr_8_2 packed(source, pad);
    EXPECT_EQ(0u, (packed.GetSize() + packed.GetOffset()) % 4096);
    for (DWORD r = 0; r < 18; ++r) {
        for (DWORD c = 0; c < 64; ++c) {
            WORD y1, cb1, cr1, y2, cb2, cr2;
            ASSERT_TRUE(source.GetPixel(r, c, y1, cb1, cr1));
            ASSERT_TRUE(packed.GetPixel(r, c, &y2, &cb2, &cr2));
            ASSERT_EQ(y1, y2) << r << "," << c;
            ASSERT_EQ(cb1, cb2);
            ASSERT_EQ(cr1, cr2);
        }
    }
    // The pixel accessor refuses pixels outside the picture.
    WORD y, cb, cr;
    EXPECT_FALSE(packed.GetPixel(18, 0, &y, &cb, &cr));
    EXPECT_FALSE(packed.GetPixel(0, 64, &y, &cb, &cr));
}

TEST(PackedPicture, AssignmentCopiesTheBlockAndItsPlanes) {
    Unpacked::Image::YCbCr_10_6 source(16, 4, 0);
    source.FillHorzWedge(1, 0, 0x3FF);
    Packed::Image::YCbCr_8_2 packed(source, Packed::Image::YCbCr_8_2::GetPadFor(16, 4));
    Packed::Image::YCbCr_8_2 copy(2, 2, 0);
    copy = packed;
    EXPECT_EQ(packed.GetOffset(), copy.GetOffset());
    EXPECT_EQ(packed.GetSize(), copy.GetSize());
    EXPECT_EQ(0, std::memcmp(packed.GetBuffer(), copy.GetBuffer(), packed.GetSize() + packed.GetOffset()));

    // A source built without the standard pad keeps its planes where its bytes are.
    Packed::Image::YCbCr_8_2 unpadded(source, 0);
    copy = unpadded;
    EXPECT_EQ(copy.GetBuffer(), copy.Get2BitPlane());
    WORD y1, cb1, cr1, y2, cb2, cr2;
    ASSERT_TRUE(unpadded.GetPixel(3, 15, &y1, &cb1, &cr1));
    ASSERT_TRUE(copy.GetPixel(3, 15, &y2, &cb2, &cr2));
    EXPECT_EQ(y1, y2);
    EXPECT_EQ(cb1, cb2);

    // An image without data empties the target.
    Unpacked::Image::YCbCr_10_6 none(0, 0, 0);
    Packed::Image::YCbCr_8_2 empty(none, 0);
    EXPECT_EQ(nullptr, empty.GetBuffer());
    EXPECT_EQ(nullptr, empty.Get8BitPlane());
    EXPECT_FALSE(empty.GetPixel(0, 0, &y1, &cb1, &cr1));
    copy = empty;
    EXPECT_EQ(nullptr, copy.GetBuffer());
    DWORD word;
    EXPECT_FALSE(copy.GetWord(0, &word));
}

TEST(PackedAlpha, SetAndGetPixelFields) {
    Packed::Alpha::YCbCr_8_2 alpha(4, 2, 0);
    WORD value = 0x2D7;
    ASSERT_TRUE(alpha.SetPixel(1, 1, &value));  // pixel 5
    EXPECT_EQ(0xB5, alpha.Get8BitPlane()[5]);
    EXPECT_EQ(0x77 | 0x0C, alpha.Get2BitPlane()[1]);  // field 11 in bits 3..2, the rest kept
    EXPECT_EQ(0x77, alpha.Get2BitPlane()[0]);
    WORD back = 0;
    ASSERT_TRUE(alpha.GetPixel(1, 1, &back));
    EXPECT_EQ(0x2D7, back);
    value = 0;
    ASSERT_TRUE(alpha.SetPixel(1, 1, &value));
    EXPECT_EQ(0x77 & ~0x0C, alpha.Get2BitPlane()[1]);

    // Outside the picture nothing is read or written.
    EXPECT_FALSE(alpha.SetPixel(2, 0, &value));
    EXPECT_FALSE(alpha.SetPixel(0, 4, &value));
    EXPECT_FALSE(alpha.GetPixel(5, 5, &back));
}

TEST(PackedAlpha, PacksGroupsOfFourAndAPartialGroup) {
    Unpacked::Alpha::YCbCr_10_6 source(6, 1);
    const WORD values[6] = {0x3FF, 0x001, 0x002, 0x203, 0x155, 0x2AA};
    for (DWORD c = 0; c < 6; ++c) source.SetPixel(0, c, values[c]);
    Packed::Alpha::YCbCr_8_2 packed(source, 0);
    ASSERT_EQ(6u + 2u, packed.GetSize());
    for (DWORD c = 0; c < 6; ++c) EXPECT_EQ(values[c] >> 2, packed.Get8BitPlane()[c]);
    EXPECT_EQ(3 | 1 << 2 | 2 << 4 | 3 << 6, packed.Get2BitPlane()[0]);
    EXPECT_EQ(1 | 2 << 2, packed.Get2BitPlane()[1]);  // bits 7..4 zero

    // Five pixels: the last one has a 2-bit byte of its own, and GetWord stops at whole words.
    Unpacked::Alpha::YCbCr_10_6 five(5, 1);
    for (DWORD c = 0; c < 5; ++c) five.SetPixel(0, c, values[c]);
    Packed::Alpha::YCbCr_8_2 packedFive(five, 0);
    EXPECT_EQ(7u, Packed::Alpha::YCbCr_8_2::GetSizeFor(5, 1));
    ASSERT_EQ(7u, packedFive.GetSize());
    WORD v = 0;
    ASSERT_TRUE(packedFive.GetPixel(0, 4, &v));
    EXPECT_EQ(0x155, v);
    DWORD word = 0;
    EXPECT_TRUE(packedFive.GetWord(0, &word));
    EXPECT_EQ(DWORD(0xFF) | DWORD(0x00) << 8 | DWORD(0x00) << 16 | DWORD(0x80) << 24, word);
    EXPECT_FALSE(packedFive.GetWord(1, &word));

    // A source with more pixels than the planes hold is not packed.
    Unpacked::Alpha::YCbCr_10_6 large(8, 2);
    Packed::Alpha::YCbCr_8_2 target(4, 2, 0);
    target.PackFrom(large);
    EXPECT_EQ(0x99, target.Get8BitPlane()[0]);
    EXPECT_EQ(0x77, target.Get2BitPlane()[0]);
}
