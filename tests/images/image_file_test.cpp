// Tests of the image base class and the binary, text and headerless image files of the six classes.
#include <cstdio>

#include "image_test_util.h"

using namespace image_test;

namespace {

// A binary file: the identity (hex digits), the records as tag, value, tag, value..., then the data.
Bytes FileOf(const std::string& guid, const std::vector<DWORD>& records, const Bytes& data = {}) {
    Bytes out;
    for (size_t i = 0; i + 1 < guid.size(); i += 2) out.push_back(static_cast<BYTE>(std::stoi(guid.substr(i, 2), nullptr, 16)));
    for (DWORD v : records) out.insert(out.end(), {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)});
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

template <class T, class... Pad>
std::function<std::unique_ptr<CImage>(DWORD, DWORD)> Maker(Pad... pad) {
    return [=](DWORD w, DWORD h) { return std::make_unique<T>(w, h, pad...); };
}

// Each class with its identity as it stands in the file, the data bytes of a 6 x 2 picture and
// the first two lines of its text form (none for the 8-bit classes); packed and unpacked pictures get a 4-byte pad.
struct ImageClass { const char* name; std::function<std::unique_ptr<CImage>(DWORD, DWORD)> make; const char* guid; DWORD size; const char* text; };
const ImageClass kClasses[] = {
    {"PackedAlpha", Maker<PAlpha>(4u), "8D0322CBAB347948B66D19EA8046DDEF", 15, "FRMPACKED:ALPHA\n2:8\n"},
    {"PackedImage", Maker<PPicture>(4u), "2DD6203EECA4BB489D37A05BE627E4A5", 30, "FRMPACKED:IMAGE\n2:8\n"},
    {"UnpackedAlpha", Maker<UAlpha>(), "3BF7EDBADF41FA4BB839C9CA2A9AF555", 24, "FRMUNPACKED:ALPHA\n16\n"},
    {"UnpackedImage", Maker<UPicture>(4u), "B2681765AA5C3B45B053ED7F8FA0001E", 48, "FRMUNPACKED:IMAGE\n16\n"},
    {"Alpha8", Maker<Alpha8>(), "C4E26CA8F0A618479B46C9EB42E61441", 12, nullptr},
    {"Image8", Maker<Picture8>(), "7D111B14DF22DA40A9612771887318A8", 24, nullptr},
};

void PrintTo(const ImageClass& c, std::ostream* os) { *os << c.name; }
class ImageFileRoundTrip : public ::testing::TestWithParam<ImageClass> {};

}  // namespace

TEST_P(ImageFileRoundTrip, WritesReadsAndRefuses) {
    const ImageClass& c = GetParam();
    const bool eightBit = !c.text, padInData = std::string(c.name) == "PackedImage";
    TempDir dir;
    const std::string path = dir / "image.img";
    std::unique_ptr<CImage> image = c.make(6, 2);
    ASSERT_EQ(c.size, image->GetSize());
    const size_t block = c.size + image->GetOffset(), data = padInData ? block : c.size;
    for (size_t i = 0; i < block; ++i) image->GetBuffer()[i] = static_cast<BYTE>(7 * i + 1);
    image->nSampleFormat = 2;
    // The text form: five lines, then one per 16-bit word of the block from its first byte.
    EXPECT_EQ(eightBit ? 0 : 1, image->SaveFile(path.c_str(), 1));
    std::string text = c.text ? std::string(c.text) + "WIDTH=6\nHEIGHT=2\nVCID=32768\n" : "";
    char word[8];
    for (size_t i = 0; c.text && i + 1 < block; i += 2, text += word)
        std::snprintf(word, sizeof word, "%04X\n", image->GetBuffer()[i] | image->GetBuffer()[i + 1] << 8);
    EXPECT_EQ(text, support::ReadText(path));
    // An unknown format writes nothing and keeps the file saved before, as does a text form whose
    // WIDTH= cannot hold the width; a file that cannot be created is refused.
    EXPECT_EQ(0, image->SaveFile(path.c_str(), 2) || c.make(0x80000000, 0)->SaveFile(path.c_str(), 1) ||
                     image->SaveFile((dir / "no/x.img").c_str(), 0));
    EXPECT_EQ(text, support::ReadText(path));
    ASSERT_EQ(1, image->SaveFile(path.c_str(), 0));

    const Bytes file = ReadBytes(path);
    using Records = std::vector<DWORD>;
    const Records records = eightBit ? Records{1, 6, 2, 2, 5, c.size} : Records{1, 6, 2, 2, 3, image->GetOffset(), 4, 2, 5, c.size};
    EXPECT_EQ(FileOf(c.guid, records, BlockBytes(*image, 0, data)), file);

    // Read back into an image of another size: the bytes behind the file's data are zero, not left over.
    std::unique_ptr<CImage> back = c.make(2, 1);
    back->nSampleFormat = 1;
    ASSERT_EQ(1, ReadFrom(*back, path, block));
    Bytes expected = BlockBytes(*image, 0, data);
    expected.resize(block, 0);
    EXPECT_EQ(std::make_tuple(6u, 2u, eightBit ? 0u : image->GetOffset(), eightBit ? 1u : 2u, expected), State(*back));

    // Cut inside the identity, the records and the plane data; a file claiming 16 x 16 pixels in 64
    // bytes, a size past 32 bits, or a side no bitmap header holds (2^31 rows or columns of nothing);
    // another class's file: each fails and leaves the image as it was.
    const BYTE* held = back->GetBuffer();
    for (const Bytes& bad : {Bytes(file.begin(), file.begin() + 10), Bytes(file.begin(), file.begin() + 20),
                             Bytes(file.begin(), file.end() - (data - c.size) - 1),
                             FileOf(c.guid, {1, 16, 2, 16, 5, 64}, Bytes(64, 0x5A)),
                             FileOf(c.guid, {1, 0x10000, 2, 0x10000, 5, 0}),
                             FileOf(c.guid, {1, 0, 2, 0x80000000, 5, 0}), FileOf(c.guid, {1, 0x80000000, 2, 0, 5, 0}),
                             FileOf(kClasses[padInData ? 0 : 1].guid, {1, 2, 2, 1, 5, 64}, Bytes(64))}) {
        WriteBytes(path, bad);
        EXPECT_EQ(0, ReadFrom(*back, path)) << bad.size() << " bytes";
        EXPECT_EQ(std::make_pair(held, 6u), std::make_pair(static_cast<const BYTE*>(back->GetBuffer()), back->GetWidth()));
    }
}

INSTANTIATE_TEST_SUITE_P(SixClasses, ImageFileRoundTrip, ::testing::ValuesIn(kClasses),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ImageFile, RecordsInAnyOrderPlanesAloneAndHeaderlessFiles) {
    TempDir dir;
    const std::string path = dir / "o.img";
    Bytes data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    WriteBytes(path, FileOf(kClasses[3].guid, {2, 1, 9, 77, 1, 4, 4, 1, 3, 8, 5, 16}, data));
    UPicture image(2, 1, 0);
    ASSERT_EQ(1, ReadFrom(image, path));
    data.resize(24, 0);
    EXPECT_EQ(std::make_tuple(4u, 1u, 8u, 1u, data), State(image));
    // A packed picture's file may hold the planes alone: they fill the block from its start.
    WriteBytes(path, FileOf(kClasses[1].guid, {1, 4, 2, 2, 3, 12, 4, 4, 5, 20}, Bytes(20, 0x3C)));
    PPicture packed(2, 2, 0);
    ASSERT_EQ(1, ReadFrom(packed, path, 32));
    Bytes expected(20, 0x3C);
    expected.resize(32, 0);
    EXPECT_EQ(std::make_pair(expected, packed.GetBuffer() + 16), std::make_pair(AllBytes(packed), packed.Get8BitPlane()));
    // A headerless file of a known size (the last of the list here) reads as an unpacked picture, in no other class.
    Bytes raw(4 * 2048 * 1536);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<BYTE>(i * 7);
    WriteBytes(path, raw);
    image.nSampleFormat = 1;
    ASSERT_EQ(1, ReadFrom(image, path));
    EXPECT_EQ(std::make_tuple(2048u, 1536u, 0u, 4u, raw), State(image));
    EXPECT_EQ(0, ReadFrom(*std::make_unique<UAlpha>(2, 2), path));
    WriteBytes(path, Bytes(1000, 3));
    EXPECT_EQ(0, ReadFrom(image, path));
}


// The recycler keeps only large blocks, within its count and byte bounds (the oldest go first),
// and hands a block out only for exactly its own size.
TEST(ImageBlocks, RecyclerKeepsLargeBlocksWithinItsBoundsByExactSize) {
    CBlockRecycler recycler(1000, 3, 10000);
    recycler.Give(new BYTE[999], 999);
    recycler.Give(nullptr, 4000);
    recycler.Give(new BYTE[10001], 10001);
    EXPECT_EQ(std::make_pair(size_t{0}, size_t{0}), std::make_pair(recycler.HeldBlocks(), recycler.HeldBytes()));
    BYTE* a = new BYTE[4000];
    BYTE* b = new BYTE[4000];
    BYTE* c = new BYTE[1000];
    recycler.Give(a, 4000);
    recycler.Give(b, 4000);
    recycler.Give(c, 1000);
    EXPECT_EQ(std::make_pair(size_t{3}, size_t{9000}), std::make_pair(recycler.HeldBlocks(), recycler.HeldBytes()));
    // A fourth block passes the count: the oldest (a) goes. A larger one passes the bytes too.
    BYTE* d = new BYTE[2000];
    recycler.Give(d, 2000);
    EXPECT_EQ(std::make_pair(size_t{3}, size_t{7000}), std::make_pair(recycler.HeldBlocks(), recycler.HeldBytes()));
    BYTE* e = new BYTE[6000];
    recycler.Give(e, 6000);  // b goes: 1000 + 2000 + 6000
    EXPECT_EQ(std::make_pair(size_t{3}, size_t{9000}), std::make_pair(recycler.HeldBlocks(), recycler.HeldBytes()));
    EXPECT_EQ(nullptr, recycler.Take(4000));
    EXPECT_EQ(nullptr, recycler.Take(1999));
    EXPECT_EQ(nullptr, recycler.Take(2001));
    EXPECT_EQ(nullptr, recycler.Take(999));
    EXPECT_EQ(d, recycler.Take(2000));
    EXPECT_EQ(nullptr, recycler.Take(2000));
    EXPECT_EQ(std::make_pair(size_t{2}, size_t{7000}), std::make_pair(recycler.HeldBlocks(), recycler.HeldBytes()));
    // Room for the count but not the bytes: the oldest (c) goes.
    BYTE* g = new BYTE[4000];
    recycler.Give(g, 4000);
    EXPECT_EQ(std::make_pair(size_t{2}, size_t{10000}), std::make_pair(recycler.HeldBlocks(), recycler.HeldBytes()));
    EXPECT_EQ(nullptr, recycler.Take(1000));
    EXPECT_EQ(g, recycler.Take(4000));
    // Two of one size: the one kept last comes first.
    BYTE* f1 = new BYTE[1000];
    BYTE* f2 = new BYTE[1000];
    recycler.Give(f1, 1000);
    recycler.Give(f2, 1000);
    EXPECT_EQ(f2, recycler.Take(1000));
    EXPECT_EQ(f1, recycler.Take(1000));
    for (BYTE* taken : {d, g, f1, f2}) delete[] taken;
}

// A freed picture-sized block comes back to the next image of its size (no new pages) with that
// class's fresh content, never the bytes its last owner left; an image of another size gets
// another block; a file read into a recycled block leaves no stale byte behind its data.
TEST(ImageBlocks, AFreedLargeBlockComesBackFilledAfreshInEveryClass) {
    for (const ImageClass& c : kClasses) {
        SCOPED_TRACE(c.name);
        auto first = c.make(1920, 1080);
        const Bytes fresh = AllBytes(*first);
        BYTE* const block = first->GetBuffer();
        ASSERT_TRUE(block && fresh.size() > (1u << 20));
        ASSERT_NE(Bytes(fresh.size(), 0xA5), fresh);
        std::memset(block, 0xA5, fresh.size());
        first.reset();
        auto other = c.make(1920, 1078);
        EXPECT_NE(block, other->GetBuffer());
        auto second = c.make(1920, 1080);
        EXPECT_EQ(block, second->GetBuffer());
        EXPECT_EQ(fresh, AllBytes(*second));
    }
    TempDir dir;
    const std::string path = dir / "planes.img";
    const DWORD planes = 1920 * 1080 * 5 / 2;
    WriteBytes(path, FileOf(kClasses[1].guid, {1, 1920, 2, 1080, 3, 4, 4, 4, 5, planes}, Bytes(planes, 0x5A)));
    auto dirty = std::make_unique<PPicture>(1920, 1080, 4);
    std::memset(dirty->GetBuffer(), 0xA5, planes + 4);
    dirty.reset();
    PPicture packed(2, 2, 0);
    ASSERT_EQ(1, ReadFrom(packed, path));
    Bytes expected(planes, 0x5A);
    expected.resize(planes + 4, 0);
    EXPECT_EQ(expected, AllBytes(packed));
}
