// Tests of the two-image file: layout, round trips, refusals and the members it keeps.
#include <cstring>

#include <gtest/gtest.h>

#include "image_test_util.h"
#include "images/image_8bit.h"
#include "images/multi_image_file.h"
#include "images/packed_image.h"
#include "images/unpacked_image.h"
#include "platform/host_ui.h"

using namespace image_test;

namespace {

const std::vector<BYTE> kMagic = {0x80, 0x56, 0x23, 0x82, 0x2F, 0xB4, 0x52, 0x4B,
                                  0xB5, 0x1A, 0xAC, 0x3C, 0x72, 0x4E, 0x11, 0x6D};

bool SameImage(const CImage& a, const CImage& b) {
    size_t n = a.GetSize() + a.GetOffset();
    return a.GetWidth() == b.GetWidth() && a.GetHeight() == b.GetHeight() && a.GetOffset() == b.GetOffset() &&
           a.GetSize() == b.GetSize() && a.nSampleFormat == b.nSampleFormat && a.GetBuffer() && b.GetBuffer() &&
           std::memcmp(a.GetBuffer(), b.GetBuffer(), n) == 0;
}

template <class A, class B>
int LoadFrom(CMultiImageFile<A, B>& archive, const std::string& path, LONGLONG* position = nullptr) {
    CFile file;
    if (!file.Open(path.c_str(), CFile::modeRead | CFile::typeBinary)) return -1;
    CArchive ar(&file, CArchive::load);
    int result = archive.Load(ar);
    if (position) *position = file.GetPosition();
    return result;
}

}  // namespace

TEST(MultiImageFile, BinaryRoundTripOfTwoPictures) {
    ScratchDir dir;
    std::string path = dir.File("pair.img");
    Unpacked::Image::YCbCr_10_6 sent(16, 8, 0), received(16, 8, 0);
    sent.FillRandom(1, 1, 0, 0x3FF);
    received.FillHorzWedge(2, 0, 0x3FF);
    received.nSampleFormat = 1;

    CMultiImageFile<Unpacked::Image::YCbCr_10_6, Unpacked::Image::YCbCr_10_6> archive;
    EXPECT_EQ(0u, archive.GetFirst()->GetWidth());
    ASSERT_EQ(1, archive.Save(path.c_str(), sent, received, 0));
    std::vector<BYTE> file = ReadBytes(path);
    ASSERT_EQ(16u + 2 * (56u + 512u), file.size());
    EXPECT_EQ(kMagic, std::vector<BYTE>(file.begin(), file.begin() + 16));
    EXPECT_EQ(0xB2, file[16]);
    EXPECT_EQ(0xB2, file[16 + 56 + 512]);
    // The members hold the pair saved (assignment copies no sample format).
    EXPECT_EQ(16u, archive.GetFirst()->GetWidth());
    EXPECT_EQ(0, std::memcmp(sent.GetBuffer(), archive.GetFirst()->GetBuffer(), 512));
    EXPECT_EQ(0, std::memcmp(received.GetBuffer(), archive.GetSecond()->GetBuffer(), 512));

    CMultiImageFile<Unpacked::Image::YCbCr_10_6, Unpacked::Image::YCbCr_10_6> loaded;
    ASSERT_EQ(1, LoadFrom(loaded, path));
    EXPECT_TRUE(SameImage(sent, *loaded.GetFirst()));
    EXPECT_TRUE(SameImage(received, *loaded.GetSecond()));
}

TEST(MultiImageFile, MixedClassesKeepTheirPlanes) {
    ScratchDir dir;
    std::string path = dir.File("packer.img");
    Unpacked::Alpha::YCbCr_10_6 source(20, 6);
    source.FillRandom(11);
    Packed::Alpha::YCbCr_8_2 packed(source, Packed::Alpha::YCbCr_8_2::GetPadFor(20, 6));
    CMultiImageFile<Unpacked::Alpha::YCbCr_10_6, Packed::Alpha::YCbCr_8_2> archive;
    ASSERT_EQ(1, archive.Save(path.c_str(), source, packed, 0));
    // The kept packed alpha has planes over its own block.
    Packed::Alpha::YCbCr_8_2* kept = archive.GetSecond();
    ASSERT_NE(nullptr, kept->GetBuffer());
    for (DWORD c = 0; c < 20; ++c) {
        WORD a = 0, b = 0;
        ASSERT_TRUE(source.GetPixel(5, c, a));
        ASSERT_TRUE(kept->GetPixel(5, c, &b));
        EXPECT_EQ(a, b);
    }

    CMultiImageFile<Unpacked::Alpha::YCbCr_10_6, Packed::Alpha::YCbCr_8_2> loaded;
    ASSERT_EQ(1, LoadFrom(loaded, path));
    EXPECT_TRUE(SameImage(source, *loaded.GetFirst()));
    EXPECT_EQ(0, std::memcmp(packed.GetBuffer(), loaded.GetSecond()->GetBuffer(), packed.GetSize()));
    WORD v = 0;
    ASSERT_TRUE(loaded.GetSecond()->GetPixel(5, 19, &v));
    WORD expected = 0;
    source.GetPixel(5, 19, expected);
    EXPECT_EQ(expected, v);

    Unpacked::Image::YCbCr_10_6 picture(32, 2, 0);
    picture.FillTiles(0, 0, 0x3FF);
    Packed::Image::YCbCr_8_2 packedPicture(picture, Packed::Image::YCbCr_8_2::GetPadFor(32, 2));
    CMultiImageFile<Packed::Image::YCbCr_8_2, Unpacked::Image::YCbCr_10_6> unpacker;
    ASSERT_EQ(1, unpacker.Save(path.c_str(), packedPicture, picture, 0));
    CMultiImageFile<Packed::Image::YCbCr_8_2, Unpacked::Image::YCbCr_10_6> back;
    ASSERT_EQ(1, LoadFrom(back, path));
    EXPECT_TRUE(SameImage(packedPicture, *back.GetFirst()));
    EXPECT_TRUE(SameImage(picture, *back.GetSecond()));
}

TEST(MultiImageFile, TextFormAndUnknownFormats) {
    ScratchDir dir;
    std::string path = dir.File("text.img");
    Image::YCbCr_8bit a(2, 2), b(4, 2);
    a.FillSolid(1, 2, 3);
    CMultiImageFile<Image::YCbCr_8bit, Image::YCbCr_8bit> eight;
    // The 8-bit classes have no text form: only the identity is written and both are kept.
    EXPECT_EQ(0, eight.Save(path.c_str(), a, b, 1));
    EXPECT_EQ(kMagic, ReadBytes(path));
    EXPECT_EQ(4u, eight.GetSecond()->GetWidth());
    EXPECT_EQ(0, std::memcmp(a.GetBuffer(), eight.GetFirst()->GetBuffer(), 8));

    Unpacked::Image::YCbCr_10_6 first(2, 1, 0);
    Unpacked::Alpha::YCbCr_10_6 second(2, 1);
    CMultiImageFile<Unpacked::Image::YCbCr_10_6, Unpacked::Alpha::YCbCr_10_6> archive;
    ASSERT_EQ(1, archive.Save(path.c_str(), first, second, 1));
    std::string text = ReadText(path);
    EXPECT_EQ(std::string(kMagic.begin(), kMagic.end()), text.substr(0, 16));
    EXPECT_EQ(16u, text.find("FRMUNPACKED:IMAGE\n16\nWIDTH=2\n"));
    EXPECT_NE(std::string::npos, text.find("0000\nFRMUNPACKED:ALPHA\n16\n"));

    EXPECT_EQ(0, archive.Save(path.c_str(), first, second, 3));
    EXPECT_EQ(kMagic, ReadBytes(path));
}

TEST(MultiImageFile, LoadRefusals) {
    ScratchDir dir;
    std::string path = dir.File("bad.img");
    CMultiImageFile<Unpacked::Image::YCbCr_10_6, Unpacked::Image::YCbCr_10_6> archive;
    LONGLONG position = -1;

    WriteBytes(path, kMagic);
    EXPECT_EQ(0, LoadFrom(archive, path, &position));
    EXPECT_EQ(0, position);

    WriteBytes(path, std::vector<BYTE>(10, 0x80));
    EXPECT_EQ(0, LoadFrom(archive, path, &position));
    EXPECT_EQ(0, position);

    std::vector<BYTE> other(64, 0x33);
    WriteBytes(path, other);
    EXPECT_EQ(0, LoadFrom(archive, path, &position));
    EXPECT_EQ(16, position);

    // A second image cut short rewinds the file.
    Unpacked::Image::YCbCr_10_6 a(4, 1, 0), b(4, 1, 0);
    ASSERT_EQ(1, archive.Save(path.c_str(), a, b, 0));
    std::vector<BYTE> file = ReadBytes(path);
    file.resize(file.size() - 1);
    WriteBytes(path, file);
    EXPECT_EQ(0, LoadFrom(archive, path, &position));
    EXPECT_EQ(0, position);
}

TEST(MultiImageFile, UncreatableFileRaisesTheMessageBox) {
    ScratchDir dir;
    platform::ClearMessageBoxHistory();
    Unpacked::Image::YCbCr_10_6 a(4, 1, 0), b(4, 1, 0);
    CMultiImageFile<Unpacked::Image::YCbCr_10_6, Unpacked::Image::YCbCr_10_6> archive;
    EXPECT_EQ(0, archive.Save(dir.File("missing/pair.img").c_str(), a, b, 0));
    EXPECT_EQ(0u, archive.GetFirst()->GetWidth());
    ASSERT_EQ(1u, platform::MessageBoxHistory().size());
    const platform::MessageRecord& box = platform::MessageBoxHistory()[0];
    EXPECT_EQ(CString("ERROR:  Couldn't open file"), box.caption);
    EXPECT_EQ(CString("All or part of the path is invalid."), box.text);
    EXPECT_TRUE(box.type & platform::MB_TOPMOST);
    platform::ClearMessageBoxHistory();
}
