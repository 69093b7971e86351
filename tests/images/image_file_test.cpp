// Tests of the image base class and the binary, text and headerless image files of the six classes.
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "image_test_util.h"
#include "images/image_8bit.h"
#include "images/packed_image.h"
#include "images/unpacked_image.h"

using namespace image_test;

namespace {

// A binary file built record by record.
Bytes FileOf(const Bytes& guid, std::initializer_list<std::pair<DWORD, DWORD>> records, const Bytes& data) {
    Bytes out = guid;
    for (auto [tag, value] : records) {
        PutLe32(out, tag);
        PutLe32(out, value);
    }
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

struct ImageClass {
    const char* name;
    std::function<std::unique_ptr<CImage>(DWORD w, DWORD h)> make;  // the packed and unpacked pictures get a 4-byte pad
    Bytes guid;
    DWORD size;         // data bytes of a 6 x 2 picture
    bool shortRecords;  // records 1, 2, 5 only; offset and sample format stay the reader's
    bool padInData;     // the data block is the whole block, pad first
};

template <class T, class... Pad>
std::function<std::unique_ptr<CImage>(DWORD, DWORD)> Maker(Pad... pad) {
    return [=](DWORD w, DWORD h) { return std::make_unique<T>(w, h, pad...); };
}

const ImageClass kClasses[] = {
    {"PackedAlpha", Maker<Packed::Alpha::YCbCr_8_2>(4u),
     {0x8D, 0x03, 0x22, 0xCB, 0xAB, 0x34, 0x79, 0x48, 0xB6, 0x6D, 0x19, 0xEA, 0x80, 0x46, 0xDD, 0xEF}, 15, false, false},
    {"PackedImage", Maker<Packed::Image::YCbCr_8_2>(4u),
     {0x2D, 0xD6, 0x20, 0x3E, 0xEC, 0xA4, 0xBB, 0x48, 0x9D, 0x37, 0xA0, 0x5B, 0xE6, 0x27, 0xE4, 0xA5}, 30, false, true},
    {"UnpackedAlpha", Maker<Unpacked::Alpha::YCbCr_10_6>(),
     {0x3B, 0xF7, 0xED, 0xBA, 0xDF, 0x41, 0xFA, 0x4B, 0xB8, 0x39, 0xC9, 0xCA, 0x2A, 0x9A, 0xF5, 0x55}, 24, false, false},
    {"UnpackedImage", Maker<Unpacked::Image::YCbCr_10_6>(4u),
     {0xB2, 0x68, 0x17, 0x65, 0xAA, 0x5C, 0x3B, 0x45, 0xB0, 0x53, 0xED, 0x7F, 0x8F, 0xA0, 0x00, 0x1E}, 48, false, false},
    {"Alpha8", Maker<Alpha::YCbCr_8bit>(),
     {0xC4, 0xE2, 0x6C, 0xA8, 0xF0, 0xA6, 0x18, 0x47, 0x9B, 0x46, 0xC9, 0xEB, 0x42, 0xE6, 0x14, 0x41}, 12, true, false},
    {"Image8", Maker<Image::YCbCr_8bit>(),
     {0x7D, 0x11, 0x1B, 0x14, 0xDF, 0x22, 0xDA, 0x40, 0xA9, 0x61, 0x27, 0x71, 0x88, 0x73, 0x18, 0xA8}, 24, true, false},
};

class ImageFileRoundTrip : public ::testing::TestWithParam<ImageClass> {};

}  // namespace

TEST_P(ImageFileRoundTrip, WritesReadsAndRefuses) {
    const ImageClass& c = GetParam();
    TempDir dir;
    const std::string path = dir / "image.img";
    std::unique_ptr<CImage> image = c.make(6, 2);
    ASSERT_EQ(c.size, image->GetSize());
    const size_t block = image->GetSize() + image->GetOffset();
    for (size_t i = 0; i < block; ++i) image->GetBuffer()[i] = static_cast<BYTE>(7 * i + 1);
    image->nSampleFormat = 2;
    ASSERT_EQ(1, image->SaveFile(path.c_str(), 0));

    const Bytes file = ReadBytes(path);
    const size_t header = c.shortRecords ? 40 : 56, data = c.padInData ? block : image->GetSize();
    ASSERT_EQ(header + data, file.size());
    EXPECT_EQ(c.guid, Bytes(file.begin(), file.begin() + 16));
    std::vector<std::pair<DWORD, DWORD>> records = {{1, 6}, {2, 2}, {3, image->GetOffset()}, {4, 2}, {5, image->GetSize()}};
    if (c.shortRecords) records.erase(records.begin() + 2, records.begin() + 4);
    for (size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(records[i], std::make_pair(Le32(file, 16 + 8 * i), Le32(file, 20 + 8 * i))) << "record " << i;
    EXPECT_EQ(BlockBytes(*image, 0, data), Bytes(file.begin() + header, file.end()));

    // Read back into an image of another size: the bytes behind the file's data are zero, not left over.
    std::unique_ptr<CImage> back = c.make(2, 1);
    back->nSampleFormat = 1;
    ASSERT_EQ(1, ReadFrom(*back, path, block));
    EXPECT_EQ(6u, back->GetWidth());
    EXPECT_EQ(2u, back->GetHeight());
    EXPECT_EQ(c.shortRecords ? 0u : image->GetOffset(), back->GetOffset());
    EXPECT_EQ(c.shortRecords ? 1u : 2u, back->nSampleFormat);
    EXPECT_EQ(BlockBytes(*image, 0, data), BlockBytes(*back, 0, data));
    EXPECT_EQ(Bytes(block - data, 0), BlockBytes(*back, data, block - data));

    // Cut inside the identity, the records and the plane data; a file claiming 16 x 16 pixels in 64
    // bytes; another class's file: each fails and leaves the image as it was.
    const BYTE* held = back->GetBuffer();
    std::vector<Bytes> bad = {Bytes(file.begin(), file.begin() + 10), Bytes(file.begin(), file.begin() + 20),
                              Bytes(file.begin(), file.begin() + header + c.size - 1),
                              FileOf(c.guid, {{1, 16}, {2, 16}, {5, 64}}, Bytes(64, 0x5A)),
                              FileOf(c.guid, {{1, 0x10000}, {2, 0x10000}, {5, 0}}, {}),
                              FileOf(kClasses[c.guid == kClasses[0].guid ? 1 : 0].guid, {{1, 2}, {2, 1}, {5, 64}}, Bytes(64))};
    for (const Bytes& b : bad) {
        WriteBytes(path, b);
        EXPECT_EQ(0, ReadFrom(*back, path)) << b.size() << " bytes";
        EXPECT_EQ(held, back->GetBuffer());
        EXPECT_EQ(6u, back->GetWidth());
    }
}

INSTANTIATE_TEST_SUITE_P(SixClasses, ImageFileRoundTrip, ::testing::ValuesIn(kClasses),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ImageFile, ReaderTakesRecordsInAnyOrderAndSkipsUnknownTags) {
    TempDir dir;
    Bytes data(16);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(0x40 + i);
    WriteBytes(dir / "o.img", FileOf(kClasses[3].guid, {{2, 1}, {9, 77}, {1, 4}, {4, 1}, {3, 8}, {5, 16}}, data));
    Unpacked::Image::YCbCr_10_6 image(2, 1, 0);
    ASSERT_EQ(1, ReadFrom(image, dir / "o.img"));
    EXPECT_EQ(4u, image.GetWidth());
    EXPECT_EQ(1u, image.GetHeight());
    EXPECT_EQ(8u, image.GetOffset());
    EXPECT_EQ(1u, image.nSampleFormat);
    EXPECT_EQ(data, BlockBytes(image, 0, 16));
    // The 8-bit classes skip records 3 and 4.
    Image::YCbCr_8bit eight(2, 2);
    WriteBytes(dir / "o.img", FileOf(kClasses[5].guid, {{1, 2}, {3, 100}, {4, 2}, {2, 1}, {5, 4}}, {1, 2, 3, 4}));
    ASSERT_EQ(1, ReadFrom(eight, dir / "o.img"));
    EXPECT_EQ(0u, eight.GetOffset());
    EXPECT_EQ(4u, eight.nSampleFormat);
    EXPECT_EQ(Bytes({1, 2, 3, 4}), BlockBytes(eight, 0, 4));
}

TEST(ImageFile, PackedPictureAcceptsAFileHoldingThePlanesAlone) {
    TempDir dir;
    Bytes planes(20);
    for (size_t i = 0; i < planes.size(); ++i) planes[i] = static_cast<BYTE>(i + 1);
    WriteBytes(dir / "p.img", FileOf(kClasses[1].guid, {{1, 4}, {2, 2}, {3, 12}, {4, 4}, {5, 20}}, planes));
    Packed::Image::YCbCr_8_2 back(2, 2, 0);
    ASSERT_EQ(1, ReadFrom(back, dir / "p.img", 32));
    EXPECT_EQ(planes, BlockBytes(back, 0, 20));
    EXPECT_EQ(Bytes(12, 0), BlockBytes(back, 20, 12));
    EXPECT_EQ(back.GetBuffer() + 12, back.Get2BitPlane());
    EXPECT_EQ(back.GetBuffer() + 16, back.Get8BitPlane());
}

TEST(ImageFile, HeaderlessFileOfAKnownSizeReadsAsUnpackedPicture) {
    TempDir dir;
    const std::string path = dir / "raw.yuv";
    Bytes raw(4 * 720 * 486);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<BYTE>(i * 7);
    WriteBytes(path, raw);
    Unpacked::Image::YCbCr_10_6 image(2, 2, 8);
    image.nSampleFormat = 1;
    ASSERT_EQ(1, ReadFrom(image, path));
    EXPECT_EQ(720u, image.GetWidth());
    EXPECT_EQ(486u, image.GetHeight());
    EXPECT_EQ(0u, image.GetOffset());
    EXPECT_EQ(4u, image.nSampleFormat);
    EXPECT_EQ(raw, BlockBytes(image, 0, raw.size()));
    Unpacked::Alpha::YCbCr_10_6 alpha(2, 2);
    EXPECT_EQ(0, ReadFrom(alpha, path));  // no other class reads headerless files
    WriteBytes(path, Bytes(1000, 3));
    EXPECT_EQ(0, ReadFrom(image, path));
    EXPECT_EQ(720u, image.GetWidth());
    WriteBytes(path, Bytes(4 * 2048 * 1536, 1));  // the last size of the list
    ASSERT_EQ(1, ReadFrom(image, path));
    EXPECT_EQ(1536u, image.GetHeight());
}

TEST(ImageFile, TextFormListsTheBlockWordByWord) {
    TempDir dir;
    const std::string path = dir / "t.txt";
    Unpacked::Alpha::YCbCr_10_6 alpha(2, 1);
    alpha.SetPixel(0, 0, 0x3FF);
    alpha.SetPixel(0, 1, 0x001);
    ASSERT_EQ(1, alpha.SaveFile(path.c_str(), 1));
    EXPECT_EQ("FRMUNPACKED:ALPHA\n16\nWIDTH=2\nHEIGHT=1\nVCID=32768\nFFC0\n0040\n", support::ReadText(path));
    Packed::Image::YCbCr_8_2 packed(2, 1, 3);  // (pad + planes) / 2 words
    ASSERT_EQ(1, packed.SaveFile(path.c_str(), 1));
    EXPECT_EQ("FRMPACKED:IMAGE\n2:8\nWIDTH=2\nHEIGHT=1\nVCID=32768\n0000\n7700\n9999\n9999\n", support::ReadText(path));
    ASSERT_EQ(1, Unpacked::Image::YCbCr_10_6(2, 1, 0).SaveFile(path.c_str(), 1));
    EXPECT_EQ(0u, support::ReadText(path).find("FRMUNPACKED:IMAGE\n16\n"));
    ASSERT_EQ(1, Packed::Alpha::YCbCr_8_2(2, 1, 0).SaveFile(path.c_str(), 1));
    EXPECT_EQ(0u, support::ReadText(path).find("FRMPACKED:ALPHA\n2:8\n"));
    // Unknown formats, the 8-bit classes' text form and an unopenable path write nothing.
    EXPECT_EQ(0, packed.SaveFile(path.c_str(), 2));
    EXPECT_TRUE(ReadBytes(path).empty());
    EXPECT_EQ(0, Image::YCbCr_8bit(2, 2).SaveFile(path.c_str(), 1));
    EXPECT_EQ(0, packed.SaveFile((dir / "missing/x.img").c_str(), 0));
}

TEST(ImageBase, CopiesAndAssignments) {
    // The base copy copies nothing; the class constructor copies the source's block from its first byte.
    Unpacked::Alpha::YCbCr_10_6 alpha(4, 2);
    alpha.FillHorzRamp();
    Unpacked::Image::YCbCr_10_6 copy(alpha, 0);
    EXPECT_EQ(32u, copy.GetSize());
    EXPECT_EQ(BlockBytes(alpha, 0, 16), BlockBytes(copy, 0, 16));
    EXPECT_EQ(Bytes(16, 0), BlockBytes(copy, 16, 16));

    Image::YCbCr_8bit target(6, 6), source(10, 10);
    source.FillTiles(0);
    source.nSampleFormat = 1;
    target = source;  // size, bytes and offset 0; not the sample format
    EXPECT_EQ(10u, target.GetHeight());
    EXPECT_EQ(4u, target.nSampleFormat);
    EXPECT_EQ(BlockBytes(source, 0, 200), BlockBytes(target, 0, 200));
    target = target;
    EXPECT_EQ(BlockBytes(source, 0, 200), BlockBytes(target, 0, 200));
    target = Image::YCbCr_8bit(0, 5);  // data size 0: the block goes, the size stays
    EXPECT_EQ(nullptr, target.GetBuffer());
    EXPECT_EQ(10u, target.GetWidth());

    // CopyFrom copies only between equal data sizes, from offset to offset.
    Unpacked::Image::YCbCr_10_6 a(2, 1, 4), b(2, 1, 8), c(4, 1, 0);
    b.FillSolid(1, 2, 3);
    a.CopyFrom(b);
    EXPECT_EQ(BlockBytes(b, 8, 8), BlockBytes(a, 4, 8));
    c.CopyFrom(b);
    EXPECT_EQ(Bytes(16, 0), BlockBytes(c, 0, 16));
    b.CopyFrom(b);
    EXPECT_EQ(BlockBytes(a, 4, 8), BlockBytes(b, 8, 8));
}

TEST(ImageBase, LoadRawFileNeedsTheExactDataSize) {
    TempDir dir;
    Unpacked::Alpha::YCbCr_10_6 alpha(4, 2);
    const Bytes raw = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    WriteBytes(dir / "a.raw", raw);
    EXPECT_TRUE(alpha.LoadRawFile((dir / "a.raw").c_str()));
    EXPECT_EQ(raw, BlockBytes(alpha, 0, 16));
    WriteBytes(dir / "a.raw", Bytes(15, 0));
    EXPECT_FALSE(alpha.LoadRawFile((dir / "a.raw").c_str()));
    EXPECT_EQ(raw, BlockBytes(alpha, 0, 16));
    EXPECT_FALSE(alpha.LoadRawFile((dir / "absent.raw").c_str()));
}
