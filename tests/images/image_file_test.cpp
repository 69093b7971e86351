// Tests of the image base class and the binary, text and headerless image files.
#include <cstring>

#include <gtest/gtest.h>

#include "image_test_util.h"
#include "images/image_8bit.h"
#include "images/packed_image.h"
#include "images/unpacked_image.h"
#include "platform/files.h"

using namespace image_test;

namespace {

std::vector<BYTE> Guid(std::initializer_list<int> bytes) { return std::vector<BYTE>(bytes.begin(), bytes.end()); }

const std::vector<BYTE> kPackedAlphaGuid = Guid({0x8D, 0x03, 0x22, 0xCB, 0xAB, 0x34, 0x79, 0x48, 0xB6, 0x6D, 0x19, 0xEA, 0x80, 0x46, 0xDD, 0xEF});
const std::vector<BYTE> kPackedImageGuid = Guid({0x2D, 0xD6, 0x20, 0x3E, 0xEC, 0xA4, 0xBB, 0x48, 0x9D, 0x37, 0xA0, 0x5B, 0xE6, 0x27, 0xE4, 0xA5});
const std::vector<BYTE> kUnpackedAlphaGuid = Guid({0x3B, 0xF7, 0xED, 0xBA, 0xDF, 0x41, 0xFA, 0x4B, 0xB8, 0x39, 0xC9, 0xCA, 0x2A, 0x9A, 0xF5, 0x55});
const std::vector<BYTE> kUnpackedImageGuid = Guid({0xB2, 0x68, 0x17, 0x65, 0xAA, 0x5C, 0x3B, 0x45, 0xB0, 0x53, 0xED, 0x7F, 0x8F, 0xA0, 0x00, 0x1E});
const std::vector<BYTE> kAlpha8Guid = Guid({0xC4, 0xE2, 0x6C, 0xA8, 0xF0, 0xA6, 0x18, 0x47, 0x9B, 0x46, 0xC9, 0xEB, 0x42, 0xE6, 0x14, 0x41});
const std::vector<BYTE> kImage8Guid = Guid({0x7D, 0x11, 0x1B, 0x14, 0xDF, 0x22, 0xDA, 0x40, 0xA9, 0x61, 0x27, 0x71, 0x88, 0x73, 0x18, 0xA8});

std::vector<BYTE> Head(const std::vector<BYTE>& b, size_t n) {
    return std::vector<BYTE>(b.begin(), b.begin() + static_cast<long>(std::min(n, b.size())));
}

// Reads one image from the file at path through a loading archive.
int ReadFrom(CImage& image, const std::string& path) {
    CFile file;
    if (!file.Open(path.c_str(), CFile::modeRead | CFile::typeBinary)) return -1;
    CArchive ar(&file, CArchive::load);
    return image.Serialize(ar);
}

std::vector<BYTE> BlockOf(const CImage& image, size_t bytes) {
    const BYTE* p = image.GetBuffer();
    return p ? std::vector<BYTE>(p, p + bytes) : std::vector<BYTE>();
}

// A binary file built record by record.
std::vector<BYTE> FileOf(const std::vector<BYTE>& guid, std::initializer_list<std::pair<DWORD, DWORD>> records,
                         const std::vector<BYTE>& data) {
    std::vector<BYTE> out = guid;
    for (auto [tag, value] : records) {
        PutLe32(out, tag);
        PutLe32(out, value);
    }
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

}  // namespace

TEST(ImageFile, EveryClassWritesItsIdentityFirst) {
    ScratchDir dir;
    struct Case {
        const CImage* image;
        const std::vector<BYTE>* guid;
    };
    Unpacked::Image::YCbCr_10_6 ui(4, 2, 0);
    Unpacked::Alpha::YCbCr_10_6 ua(4, 2);
    Packed::Image::YCbCr_8_2 pi(4, 2, 0);
    Packed::Alpha::YCbCr_8_2 pa(4, 2, 0);
    Image::YCbCr_8bit i8(4, 2);
    Alpha::YCbCr_8bit a8(4, 2);
    for (const Case& c : {Case{&ui, &kUnpackedImageGuid}, Case{&ua, &kUnpackedAlphaGuid}, Case{&pi, &kPackedImageGuid},
                          Case{&pa, &kPackedAlphaGuid}, Case{&i8, &kImage8Guid}, Case{&a8, &kAlpha8Guid}}) {
        std::string path = dir.File("id.img");
        ASSERT_EQ(1, c.image->SaveFile(path.c_str(), 0));
        EXPECT_EQ(*c.guid, Head(ReadBytes(path), 16));
    }
}

TEST(ImageFile, UnpackedPictureRoundTripsThroughBinaryFile) {
    ScratchDir dir;
    std::string path = dir.File("frame.img");
    Unpacked::Image::YCbCr_10_6 image(720, 486, 0);
    image.FillRandom(1234, 1, 0, 0x3FF);
    image.nSampleFormat = 2;
    ASSERT_EQ(1, image.SaveFile(path.c_str(), 0));

    std::vector<BYTE> file = ReadBytes(path);
    ASSERT_EQ(56u + 1399680u, file.size());
    EXPECT_EQ(Guid({0xB2, 0x68, 0x17, 0x65}), Head(file, 4));
    const DWORD records[5][2] = {{1, 720}, {2, 486}, {3, 0}, {4, 2}, {5, 1399680}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(records[i][0], Le32(file, 16 + 8 * i));
        EXPECT_EQ(records[i][1], Le32(file, 20 + 8 * i));
    }
    EXPECT_EQ(0, std::memcmp(file.data() + 56, image.GetBuffer(), 1399680));

    Unpacked::Image::YCbCr_10_6 back(2, 2, 16);
    ASSERT_EQ(1, ReadFrom(back, path));
    EXPECT_EQ(720u, back.GetWidth());
    EXPECT_EQ(486u, back.GetHeight());
    EXPECT_EQ(0u, back.GetOffset());
    EXPECT_EQ(2u, back.nSampleFormat);
    EXPECT_EQ(BlockOf(image, 1399680), BlockOf(back, 1399680));
}

TEST(ImageFile, ReaderTakesRecordsInAnyOrderAndSkipsUnknownTags) {
    ScratchDir dir;
    std::string path = dir.File("order.img");
    std::vector<BYTE> data(16);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(0x40 + i);
    WriteBytes(path, FileOf(kUnpackedImageGuid, {{2, 1}, {9, 77}, {1, 4}, {4, 1}, {3, 8}, {5, 16}}, data));

    Unpacked::Image::YCbCr_10_6 image(2, 1, 0);
    ASSERT_EQ(1, ReadFrom(image, path));
    EXPECT_EQ(4u, image.GetWidth());
    EXPECT_EQ(1u, image.GetHeight());
    EXPECT_EQ(8u, image.GetOffset());
    EXPECT_EQ(1u, image.nSampleFormat);
    EXPECT_EQ(data, BlockOf(image, 16));
}

TEST(ImageFile, FailedReadLeavesImageAsItWas) {
    ScratchDir dir;
    std::string path = dir.File("short.img");
    Unpacked::Alpha::YCbCr_10_6 source(8, 4);
    source.FillHorzRamp();
    ASSERT_EQ(1, source.SaveFile(path.c_str(), 0));
    const std::vector<BYTE> whole = ReadBytes(path);

    Unpacked::Alpha::YCbCr_10_6 image(3, 3);
    image.FillSolid(0x1234);
    image.nSampleFormat = 1;
    const BYTE* block = image.GetBuffer();
    const std::vector<BYTE> before = BlockOf(image, image.GetSize());
    auto unchanged = [&] {
        EXPECT_EQ(block, image.GetBuffer());
        EXPECT_EQ(3u, image.GetWidth());
        EXPECT_EQ(3u, image.GetHeight());
        EXPECT_EQ(1u, image.nSampleFormat);
        EXPECT_EQ(before, BlockOf(image, image.GetSize()));
    };

    // Cut inside the identity, inside the records, and inside the data.
    for (size_t cut : {size_t(10), size_t(20), size_t(50), whole.size() - 1}) {
        WriteBytes(path, Head(whole, cut));
        EXPECT_EQ(0, ReadFrom(image, path)) << "cut at " << cut;
        unchanged();
    }
    // Another class's file.
    Packed::Alpha::YCbCr_8_2 other(8, 4, 0);
    ASSERT_EQ(1, other.SaveFile(path.c_str(), 0));
    EXPECT_EQ(0, ReadFrom(image, path));
    unchanged();
}

TEST(ImageFile, StoredSizeSmallerThanThePictureIsRejected) {
    ScratchDir dir;
    std::string path = dir.File("small.img");
    std::vector<BYTE> data(64, 0x5A);
    struct Case {
        CImage* image;
        std::vector<BYTE> file;
    };
    Unpacked::Image::YCbCr_10_6 ui(2, 1, 0);
    Unpacked::Alpha::YCbCr_10_6 ua(2, 1);
    Packed::Image::YCbCr_8_2 pi(2, 1, 0);
    Packed::Alpha::YCbCr_8_2 pa(2, 1, 0);
    Image::YCbCr_8bit i8(2, 1);
    Alpha::YCbCr_8bit a8(2, 1);
    // Each file claims 16 x 16 pixels but stores fewer bytes than they need.
    std::vector<Case> cases = {
        {&ui, FileOf(kUnpackedImageGuid, {{1, 16}, {2, 16}, {5, 64}}, data)},
        {&ua, FileOf(kUnpackedAlphaGuid, {{1, 16}, {2, 16}, {5, 64}}, data)},
        {&pi, FileOf(kPackedImageGuid, {{1, 16}, {2, 16}, {5, 64}}, data)},
        {&pa, FileOf(kPackedAlphaGuid, {{1, 16}, {2, 16}, {5, 64}}, data)},
        {&i8, FileOf(kImage8Guid, {{1, 16}, {2, 16}, {5, 64}}, data)},
        {&a8, FileOf(kAlpha8Guid, {{1, 16}, {2, 16}, {5, 64}}, data)},
    };
    for (Case& c : cases) {
        const BYTE* block = c.image->GetBuffer();
        WriteBytes(path, c.file);
        EXPECT_EQ(0, ReadFrom(*c.image, path));
        EXPECT_EQ(2u, c.image->GetWidth());
        EXPECT_EQ(block, c.image->GetBuffer());
    }
    // A picture whose size overflows 32 bits is no more readable.
    WriteBytes(path, FileOf(kUnpackedImageGuid, {{1, 0x10000}, {2, 0x10000}, {5, 0}}, {}));
    EXPECT_EQ(0, ReadFrom(ui, path));
    EXPECT_EQ(2u, ui.GetWidth());
}

TEST(ImageFile, EightBitFilesHoldThreeRecordsAndKeepOffsetAndFormat) {
    ScratchDir dir;
    std::string path = dir.File("alpha8.img");
    Alpha::YCbCr_8bit alpha(720, 486);
    EXPECT_EQ(349920u, alpha.GetSize());
    alpha.FillHorzWedge(0);
    ASSERT_EQ(1, alpha.SaveFile(path.c_str(), 0));
    std::vector<BYTE> file = ReadBytes(path);
    ASSERT_EQ(40u + 349920u, file.size());
    EXPECT_EQ(1u, Le32(file, 16));
    EXPECT_EQ(720u, Le32(file, 20));
    EXPECT_EQ(2u, Le32(file, 24));
    EXPECT_EQ(486u, Le32(file, 28));
    EXPECT_EQ(5u, Le32(file, 32));
    EXPECT_EQ(349920u, Le32(file, 36));

    Alpha::YCbCr_8bit back(4, 4);
    back.nSampleFormat = 2;
    ASSERT_EQ(1, ReadFrom(back, path));
    EXPECT_EQ(720u, back.GetWidth());
    EXPECT_EQ(2u, back.nSampleFormat);
    EXPECT_EQ(0u, back.GetOffset());
    EXPECT_EQ(BlockOf(alpha, 349920), BlockOf(back, 349920));

    // Records 3 and 4 in an 8-bit file are skipped.
    Image::YCbCr_8bit picture(2, 2);
    picture.nSampleFormat = 1;
    WriteBytes(path, FileOf(kImage8Guid, {{1, 2}, {3, 100}, {4, 2}, {2, 1}, {5, 4}}, {1, 2, 3, 4}));
    ASSERT_EQ(1, ReadFrom(picture, path));
    EXPECT_EQ(0u, picture.GetOffset());
    EXPECT_EQ(1u, picture.nSampleFormat);
    EXPECT_EQ(Guid({1, 2, 3, 4}), BlockOf(picture, 4));

    EXPECT_EQ(0, picture.SaveFile(path.c_str(), 1));
    EXPECT_TRUE(ReadBytes(path).empty());
}

TEST(ImageFile, HeaderlessFileOfAKnownSizeReadsAsUnpackedPicture) {
    ScratchDir dir;
    std::string path = dir.File("raw.yuv");
    std::vector<BYTE> raw(4 * 720 * 486);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<BYTE>(i * 7);
    raw[0] = 0;  // not the identity of any class
    WriteBytes(path, raw);

    Unpacked::Image::YCbCr_10_6 image(2, 2, 8);
    image.nSampleFormat = 1;
    ASSERT_EQ(1, ReadFrom(image, path));
    EXPECT_EQ(720u, image.GetWidth());
    EXPECT_EQ(486u, image.GetHeight());
    EXPECT_EQ(0u, image.GetOffset());
    EXPECT_EQ(4u, image.nSampleFormat);
    EXPECT_EQ(raw, BlockOf(image, raw.size()));

    // The same bytes as any other class, and a length of no known size, fail.
    Unpacked::Alpha::YCbCr_10_6 alpha(2, 2);
    EXPECT_EQ(0, ReadFrom(alpha, path));
    WriteBytes(path, std::vector<BYTE>(1000, 3));
    const BYTE* block = image.GetBuffer();
    EXPECT_EQ(0, ReadFrom(image, path));
    EXPECT_EQ(720u, image.GetWidth());
    EXPECT_EQ(block, image.GetBuffer());

    // 4 x 2048 x 1536, the last size of the list.
    WriteBytes(path, std::vector<BYTE>(4 * 2048 * 1536, 1));
    ASSERT_EQ(1, ReadFrom(image, path));
    EXPECT_EQ(2048u, image.GetWidth());
    EXPECT_EQ(1536u, image.GetHeight());
}

TEST(ImageFile, TextFormListsTheBlockWordByWord) {
    ScratchDir dir;
    std::string path = dir.File("alpha.txt");
    Unpacked::Alpha::YCbCr_10_6 alpha(2, 1);
    alpha.SetPixel(0, 0, 0x3FF);
    alpha.SetPixel(0, 1, 0x001);
    ASSERT_EQ(1, alpha.SaveFile(path.c_str(), 1));
    EXPECT_EQ("FRMUNPACKED:ALPHA\n16\nWIDTH=2\nHEIGHT=1\nVCID=32768\nFFC0\n0040\n", ReadText(path));

    // The packed picture lists its pad too: (pad + planes) / 2 words.
    Packed::Image::YCbCr_8_2 packed(2, 1, 3);
    ASSERT_EQ(1, packed.SaveFile(path.c_str(), 1));
    EXPECT_EQ("FRMPACKED:IMAGE\n2:8\nWIDTH=2\nHEIGHT=1\nVCID=32768\n0000\n7700\n9999\n9999\n", ReadText(path));

    Unpacked::Image::YCbCr_10_6 image(2, 1, 0);
    ASSERT_EQ(1, image.SaveFile(path.c_str(), 1));
    EXPECT_EQ(0u, ReadText(path).find("FRMUNPACKED:IMAGE\n16\n"));
    Packed::Alpha::YCbCr_8_2 packedAlpha(2, 1, 0);
    ASSERT_EQ(1, packedAlpha.SaveFile(path.c_str(), 1));
    EXPECT_EQ(0u, ReadText(path).find("FRMPACKED:ALPHA\n2:8\n"));
}

TEST(ImageFile, UnknownFormatOrUnopenablePathWritesNothing) {
    ScratchDir dir;
    std::string path = dir.File("none.img");
    Unpacked::Image::YCbCr_10_6 image(4, 4, 0);
    EXPECT_EQ(0, image.SaveFile(path.c_str(), 2));
    EXPECT_TRUE(ReadBytes(path).empty());
    EXPECT_EQ(0, image.SaveFile(path.c_str(), 7));
    EXPECT_EQ(0, image.SaveFile(dir.File("missing/folder/x.img").c_str(), 0));
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
}

TEST(ImageFile, PackedPictureFileHoldsPadAndAcceptsPlanesAlone) {
    ScratchDir dir;
    std::string path = dir.File("packed.img");
    Packed::Image::YCbCr_8_2 packed(4, 2, 12);  // 20 plane bytes behind a 12-byte pad
    packed.GetBuffer()[0] = 0xAB;
    ASSERT_EQ(1, packed.SaveFile(path.c_str(), 0));
    std::vector<BYTE> file = ReadBytes(path);
    ASSERT_EQ(56u + 32u, file.size());
    EXPECT_EQ(12u, Le32(file, 36));
    EXPECT_EQ(20u, Le32(file, 52));
    EXPECT_EQ(0xAB, file[56]);

    Packed::Image::YCbCr_8_2 back(2, 2, 0);
    ASSERT_EQ(1, ReadFrom(back, path));
    EXPECT_EQ(BlockOf(packed, 32), BlockOf(back, 32));
    EXPECT_EQ(back.GetBuffer() + 12, back.Get2BitPlane());
    EXPECT_EQ(back.GetBuffer() + 16, back.Get8BitPlane());

    // A file whose data block holds only the 20 plane bytes: they fill the block from its start.
    std::vector<BYTE> planes(20);
    for (size_t i = 0; i < planes.size(); ++i) planes[i] = static_cast<BYTE>(i + 1);
    WriteBytes(path, FileOf(kPackedImageGuid, {{1, 4}, {2, 2}, {3, 12}, {4, 4}, {5, 20}}, planes));
    ASSERT_EQ(1, ReadFrom(back, path));
    EXPECT_EQ(planes, BlockOf(back, 20));

    // The alpha class writes its planes without the trailing pad.
    Packed::Alpha::YCbCr_8_2 alpha(4, 2, 100);
    ASSERT_EQ(1, alpha.SaveFile(path.c_str(), 0));
    EXPECT_EQ(56u + 10u, ReadBytes(path).size());
}

TEST(ImageFile, SeveralImagesFollowOneAnotherInOneFile) {
    ScratchDir dir;
    std::string path = dir.File("two.img");
    Unpacked::Alpha::YCbCr_10_6 first(6, 2);
    first.FillVertRamp();
    Image::YCbCr_8bit second(4, 2);
    second.FillHorzWedge(1);
    {
        CFile file;
        ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary));
        CArchive ar(&file, CArchive::store);
        ASSERT_EQ(1, first.Serialize(ar));
        ASSERT_EQ(1, second.Serialize(ar));
    }
    EXPECT_EQ(56u + 24u + 40u + 16u, ReadBytes(path).size());

    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeRead | CFile::typeBinary));
    CArchive ar(&file, CArchive::load);
    Unpacked::Alpha::YCbCr_10_6 a(1, 1);
    Image::YCbCr_8bit b(1, 1);
    ASSERT_EQ(1, a.Serialize(ar));
    ASSERT_EQ(1, b.Serialize(ar));
    EXPECT_EQ(BlockOf(first, 24), BlockOf(a, 24));
    EXPECT_EQ(BlockOf(second, 16), BlockOf(b, 16));
}

TEST(ImageBase, CopiesAndAssignments) {
    // The base copy takes the size and, still being a bare CImage, copies nothing; the class
    // constructor then allocates and copies the source's block from its first byte.
    Unpacked::Alpha::YCbCr_10_6 alpha(4, 2);
    alpha.FillHorzRamp();
    Unpacked::Image::YCbCr_10_6 copy(alpha, 0);
    EXPECT_EQ(4u, copy.GetWidth());
    EXPECT_EQ(32u, copy.GetSize());
    EXPECT_EQ(BlockOf(alpha, 16), BlockOf(copy, 16));
    EXPECT_EQ(std::vector<BYTE>(16, 0), std::vector<BYTE>(copy.GetBuffer() + 16, copy.GetBuffer() + 32));

    // Assigning an image of data size 0 frees the block and keeps the size.
    Image::YCbCr_8bit target(6, 6);
    Image::YCbCr_8bit empty(0, 5);
    target = empty;
    EXPECT_EQ(nullptr, target.GetBuffer());
    EXPECT_EQ(6u, target.GetWidth());

    // Assigning a 10 x 10 picture gives its size, bytes and offset 0; not its sample format.
    Image::YCbCr_8bit source(10, 10);
    source.FillTiles(0);
    source.nSampleFormat = 1;
    target = source;
    EXPECT_EQ(10u, target.GetWidth());
    EXPECT_EQ(10u, target.GetHeight());
    EXPECT_EQ(0u, target.GetOffset());
    EXPECT_EQ(4u, target.nSampleFormat);
    EXPECT_EQ(BlockOf(source, 200), BlockOf(target, 200));
    const auto& self = target;  // self-assignment, without the compiler's complaint
    target = self;
    EXPECT_EQ(BlockOf(source, 200), BlockOf(target, 200));

    // CopyFrom copies only between equal data sizes, from offset to offset.
    Unpacked::Image::YCbCr_10_6 a(2, 1, 4), b(2, 1, 8), c(4, 1, 0);
    b.FillSolid(1, 2, 3);
    a.CopyFrom(b);
    EXPECT_EQ(0, std::memcmp(a.GetBuffer() + 4, b.GetBuffer() + 8, 8));
    c.FillSolid(9, 9, 9);
    const std::vector<BYTE> cBefore = BlockOf(c, 16);
    c.CopyFrom(b);
    EXPECT_EQ(cBefore, BlockOf(c, 16));
    b.CopyFrom(b);
    EXPECT_EQ(0, std::memcmp(a.GetBuffer() + 4, b.GetBuffer() + 8, 8));
}

TEST(ImageBase, LoadRawFileNeedsTheExactDataSize) {
    ScratchDir dir;
    std::string path = dir.File("alpha.raw");
    Unpacked::Alpha::YCbCr_10_6 alpha(4, 2);
    std::vector<BYTE> raw(16);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<BYTE>(0xF0 + i);
    WriteBytes(path, raw);
    EXPECT_TRUE(alpha.LoadRawFile(path.c_str()));
    EXPECT_EQ(raw, BlockOf(alpha, 16));
    WriteBytes(path, std::vector<BYTE>(15, 0));
    EXPECT_FALSE(alpha.LoadRawFile(path.c_str()));
    EXPECT_EQ(raw, BlockOf(alpha, 16));
    EXPECT_FALSE(alpha.LoadRawFile(dir.File("absent.raw").c_str()));
}
