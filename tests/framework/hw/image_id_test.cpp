// Tests of the flash identification record: segment geometry, text lists, placement and address.
#include "framework/hw/image_id.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A list of texts, each zero-terminated, ended by an empty text.
std::string TextList(std::initializer_list<std::string> texts) {
    std::string out;
    for (const std::string& t : texts) out += t + '\0';
    return out + '\0';
}

// A list of exactly n bytes (n >= 3): one text of n - 2 characters.
std::string ListOfLength(size_t n) { return TextList({std::string(n - 2, 'x')}); }

TEST(ImageIdTest, GeometryIsKeptOnWholePowerOfTwoBlocks) {
    ProgMemDevImageID id;
    id.SetGeometry(3000, 5000, 5000, 100, 4);
    EXPECT_EQ(id.GetBlockSize(), 4096);
    EXPECT_EQ(id.GetSegmentStart(), 4096);
    EXPECT_EQ(id.GetSegmentEnd(), 8192);
    EXPECT_EQ(id.GetSegmentSize(), 4096);
    EXPECT_EQ(id.GetIdAlignment(), 8192);
    EXPECT_EQ(id.GetMaxIdSize(), 8);  // raised to hold at least the header

    id.SetGeometry(1, 0, 3, 9, 100);
    EXPECT_EQ(id.GetBlockSize(), 1);
    EXPECT_EQ(id.GetSegmentStart(), 3);
    EXPECT_EQ(id.GetSegmentSize(), 9);
    id.SetGeometry(0x20000000, 0, 0, 0x20000000, 100);
    EXPECT_EQ(id.GetBlockSize(), 0x20000000);
    EXPECT_EQ(id.GetSegmentEnd(), 0x20000000);

    // A bad block size resets everything.
    for (int block : {0, -4, 0x20000001}) {
        id.SetGeometry(block, 0, 0, 0x10000, 0x100);
        EXPECT_EQ(id.GetBlockSize(), 0);
        EXPECT_EQ(id.GetSegmentStart(), -1);
        EXPECT_EQ(id.GetSegmentEnd(), -1);
        EXPECT_EQ(id.GetSegmentSize(), -1);
        EXPECT_EQ(id.GetMaxIdSize(), -1);
        EXPECT_EQ(id.GetIdAddress(), -1);
    }
    // Unusable segments: too small, no start, reaching past the address range.
    id.SetGeometry(0x1000, 0, 0x1000, 7, 0x100);
    EXPECT_EQ(id.GetSegmentSize(), 0);
    EXPECT_EQ(id.GetSegmentStart(), -1);
    id.SetGeometry(0x1000, 0, -1, 0x1000, 0x100);
    EXPECT_EQ(id.GetSegmentStart(), -1);
    EXPECT_EQ(id.GetSegmentEnd(), -1);
    EXPECT_EQ(id.GetIdAddress(), -1);
    id.SetGeometry(0x1000, 0, 0x7FFFF000, 0x2000, 0x100);
    EXPECT_EQ(id.GetSegmentStart(), -1);
    EXPECT_EQ(id.GetIdAddress(), -1);
}

TEST(ImageIdTest, TextListsAreCountedCheckedAndPadded) {
    EXPECT_EQ(ProgMemDevImageID::StringListLength(nullptr), 0);
    EXPECT_EQ(ProgMemDevImageID::StringListLength("a\0"), 3);
    EXPECT_EQ(ProgMemDevImageID::StringListLength("ab\0c\0"), 6);
    EXPECT_EQ(ProgMemDevImageID::StringListLength("\0"), 2);

    ProgMemDevImageID id;
    // Without a geometry the record resets itself and keeps no text.
    EXPECT_FALSE(id.SetIdText(TextList({"installer"}).c_str()));
    id.SetGeometry(0x1000, 0, 0, 0x10000, 256);
    EXPECT_FALSE(id.SetIdText(nullptr));
    EXPECT_FALSE(id.SetIdText("\0"));
    EXPECT_FALSE(id.SetIdText(ListOfLength(300).c_str()));
    EXPECT_FALSE(id.SetIdText(ListOfLength(249).c_str()));  // room 256 less the 8-byte header
    EXPECT_EQ(id.GetIdTextLength(), 0);
    EXPECT_EQ(id.GetIdText(), nullptr);
    const std::string list = TextList({"J. Smith", "KEZO0101.oxd", "2004-05-06"});
    ASSERT_TRUE(id.SetIdText(list.c_str()));
    EXPECT_EQ(id.GetIdTextLength(), static_cast<int>(list.size()));
    EXPECT_EQ(std::string(id.GetIdText(), list.size()), list);
    EXPECT_EQ(std::string(id.GetIdText() + list.size(), 48 - list.size()), std::string(48 - list.size(), '\0'));
    EXPECT_TRUE(id.SetIdText(ListOfLength(248).c_str()));
}

TEST(ImageIdTest, BlockIsPlacedAtTheEndOfTheSegment) {
    ProgMemDevImageID id;
    id.SetGeometry(0x1000, 0, 0, 0x10000, 0x100);
    ASSERT_TRUE(id.SetIdText(ListOfLength(40).c_str()));
    EXPECT_EQ(id.GetIdOffset(), 0xFFD0);  // 40 bytes of text and the 8-byte header
    EXPECT_FALSE(id.DoesNotFit());
    EXPECT_EQ(id.GetIdAddress(), 0xFFD0);
    id.SetGeometry(0x1000, 0x1000, 0, 0x10000, 0x100);
    ASSERT_TRUE(id.SetIdText(ListOfLength(40).c_str()));
    EXPECT_EQ(id.GetIdAddress(), 0xF000);

    // Odd lengths go down to an even offset; the segment start is added to the address.
    id.SetGeometry(0x1000, 0, 0x20000, 0x10000, 0x100);
    ASSERT_TRUE(id.SetIdText(ListOfLength(41).c_str()));
    EXPECT_EQ(id.GetIdOffset(), 0xFFCE);
    EXPECT_EQ(id.GetIdAddress(), 0x2FFCE);

    // Rounding down to even can push the block out of an odd-sized room.
    id.SetGeometry(0x1000, 0, 0, 0x10000, 49);
    EXPECT_TRUE(id.SetIdText(ListOfLength(41).c_str()));
    EXPECT_TRUE(id.DoesNotFit());
    EXPECT_EQ(id.GetIdOffset(), -1);
    // Unplaced: the address is that of a bare header at the segment's end.
    EXPECT_EQ(id.GetIdAddress(), 0x10000 - 8);

    // Without texts the block is not placed either.
    id.SetGeometry(0x1000, 0, 0, 0x10000, 0x100);
    EXPECT_EQ(id.GetIdOffset(), -1);
    EXPECT_FALSE(id.DoesNotFit());
    EXPECT_EQ(id.GetIdAddress(), 0x10000 - 8);
    id.SetGeometry(0x1000, 0x1000, 0, 0x10000, 0x100);
    EXPECT_EQ(id.GetIdAddress(), 0xF000);

    // A segment smaller than the block.
    id.SetGeometry(1, 0, 0, 16, 0x100);
    EXPECT_TRUE(id.SetIdText(ListOfLength(40).c_str()));
    EXPECT_TRUE(id.DoesNotFit());
    EXPECT_EQ(id.GetIdAddress(), 8);
}

TEST(ImageIdTest, HeaderCarriesTheOffsetAndMustHaveAnEvenLength) {
    ProgMemDevImageID id;
    id.SetGeometry(0x1000, 0, 0, 0x10000, 0x100);
    EXPECT_EQ(id.GetHeader(), nullptr);
    const DWORD header[2] = {0x0004BEEF, 0x1234};
    id.SetHeader(header);
    ASSERT_NE(id.GetHeader(), nullptr);
    EXPECT_EQ(id.GetHeader()->tag, 0xBEEF);
    EXPECT_EQ(id.GetHeader()->length, 8);
    EXPECT_EQ(id.GetHeader()->value, -1);  // nothing placed yet
    ASSERT_TRUE(id.SetIdText(ListOfLength(40).c_str()));
    EXPECT_EQ(id.GetHeader()->value, 0xFFD0);

    // A longer even length is cut to 8, an old-form 4 becomes 8, an odd one drops the header.
    id.GetHeader()->length = 10;
    id.Normalize();
    ASSERT_NE(id.GetHeader(), nullptr);
    EXPECT_EQ(id.GetHeader()->length, 8);
    id.GetHeader()->length = 4;
    id.Normalize();
    ASSERT_NE(id.GetHeader(), nullptr);
    EXPECT_EQ(id.GetHeader()->length, 8);
    EXPECT_EQ(id.GetHeader()->value, 0xFFD0);
    id.GetHeader()->length = 7;
    id.Normalize();
    EXPECT_EQ(id.GetHeader(), nullptr);

    // Reset forgets header, texts and segment.
    ImageIdHeader* raw = id.Reset();
    EXPECT_EQ(raw->tag, 0);
    EXPECT_EQ(raw->value, 0);
    EXPECT_EQ(id.GetIdTextLength(), 0);
    EXPECT_EQ(id.GetSegmentStart(), -1);
    EXPECT_EQ(id.GetIdAddress(), -1);
}

}  // namespace
