// Tests of the flash identification record: segment geometry, text lists, placement and address.
#include "framework/hw/image_id.h"
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

// A list of exactly n bytes (n >= 3): one text of n - 2 characters, its zero and the list's.
std::string ListOfLength(size_t n) { return std::string(n - 2, 'x') + '\0' + '\0'; }

TEST(ImageIdTest, TextListsAreCountedCheckedAndPlacedAtTheSegmentEndUnderTheirHeader) {
    EXPECT_EQ(ProgMemDevImageID::StringListLength("ab\0c\0") * 10 + ProgMemDevImageID::StringListLength("\0"), 62);
    ProgMemDevImageID id;
    EXPECT_FALSE(id.SetIdText(ListOfLength(10).c_str())) << "no geometry yet";
    id.SetGeometry(0x1000, 0, 0, 0x10000, 256);
    // Nothing, an empty list, or more than the room of 256 less the 8-byte header is refused.
    EXPECT_FALSE(id.SetIdText(nullptr) || id.SetIdText("\0") || id.SetIdText(ListOfLength(249).c_str()));
    const std::string list("J. Smith\0KEZO0101.oxd\0\0", 23);
    ASSERT_TRUE(id.SetIdText(list.c_str()) && std::string(id.GetIdText(), 32) == list + std::string(9, '\0'));
    EXPECT_TRUE(id.SetIdText(ListOfLength(248).c_str()));
    // Geometry (block, block start, segment start, size, room) and a text of some length -> block, segment start, end, size,
    // room (raised to the header; whole power-of-two blocks), and the block's offset, does-not-fit and address.
    const struct { const char* name; int in[5]; size_t text; int out[8]; } rows[] = {
        {"rounded to 4096 blocks; room raised to the header", {3000, 5000, 5000, 100, 4}, 0, {4096, 4096, 8192, 4096, 8, -1, 1, 4096}},
        {"block past the largest resets", {0x20000001, 0, 0, 0x10000, 0x100}, 0, {0, -1, -1, -1, -1, -1, 0, -1}},
        {"segment too small", {0x1000, 0, 0x1000, 7, 0x100}, 0, {0x1000, -1, -1, 0, 0x100, -1, 1, -1}},
        {"past the address range", {0x1000, 0, 0x7FFFF000, 0x2000, 0x100}, 0, {0x1000, -1, -1, 0x2000, 0x100, -1, 0, -1}},
        {"at the start when given", {0x1000, 0x1000, 0, 0x10000, 0x100}, 40, {0x1000, 0, 0x10000, 0x10000, 0x100, 0xFFD0, 0, 0xF000}},
        {"odd lengths go down to even; plus the segment start", {0x1000, 0, 0x20000, 0x10000, 0x100}, 41, {0x1000, 0x20000, 0x30000, 0x10000, 0x100, 0xFFCE, 0, 0x2FFCE}},
        {"rounding down pushes it out of an odd room", {0x1000, 0, 0, 0x10000, 49}, 41, {0x1000, 0, 0x10000, 0x10000, 49, -1, 1, 0x10000 - 8}},
        {"no texts: a bare header at the end", {0x1000, 0, 0, 0x10000, 0x100}, 0, {0x1000, 0, 0x10000, 0x10000, 0x100, -1, 0, 0x10000 - 8}},
        {"segment smaller than the block", {1, 0, 0, 16, 0x100}, 40, {1, 0, 16, 16, 0x100, -1, 1, 8}},
    };
    for (const auto& row : rows) {
        ProgMemDevImageID placed;
        placed.SetGeometry(row.in[0], row.in[1], row.in[2], row.in[3], row.in[4]);
        EXPECT_TRUE(!row.text || placed.SetIdText(ListOfLength(row.text).c_str())) << row.name;
        EXPECT_EQ((std::vector<int>{placed.GetBlockSize(), placed.GetSegmentStart(), placed.GetSegmentEnd(), placed.GetSegmentSize(), placed.GetMaxIdSize(),
                                    placed.GetIdOffset(), placed.DoesNotFit(), placed.GetIdAddress()}),
                  std::vector<int>(row.out, row.out + 8)) << row.name;
    }
    // The header carries the offset and must have an even length.
    id.SetGeometry(0x1000, 0, 0, 0x10000, 0x100);
    const DWORD header[2] = {0x0004BEEF, 0x1234};
    id.SetHeader(header);
    ASSERT_TRUE(id.SetIdText(ListOfLength(40).c_str()));
    // A longer even length is cut to 8, an old-form 4 becomes 8, an odd one drops the header.
    for (WORD length : {10, 4}) {
        id.GetHeader()->length = length;
        id.Normalize();
        ASSERT_NE(id.GetHeader(), nullptr);
        EXPECT_EQ((std::vector<int>{id.GetHeader()->tag, id.GetHeader()->length, id.GetHeader()->value}), (std::vector<int>{0xBEEF, 8, 0xFFD0})) << length;
    }
    id.GetHeader()->length = 7;
    id.Normalize();
    EXPECT_EQ(id.GetHeader(), nullptr);
}

}  // namespace
