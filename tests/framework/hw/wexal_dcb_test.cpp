// Tests of the DCB record: field placement, checked setters, copies, channel words and line geometry.
#include <array>

#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

// Every field of words 0-4 set, each to its own value, and the words that must result.
WexalDCB AllFields() {
    WexalDCB dcb;
    WexalDCBOp& op = dcb.GetOpField();
    for (BOOL ok : {op.SetNext(63), op.SetForceBCU(1), op.SetRepeatLine(1), op.SetPack(WEXAL_DCBPACK_WWWX), op.SetIntEn(1), op.SetWaitDMA(1),
                    op.Set16bit(1), op.SetInputFormat(INPUT_FORMAT_4444), op.SetBCUIncrement(1), op.SetBCUSequence(0x2A), op.SetBCUPointer(0x155),
                    dcb.GetPortField().SetContextID(0xA), dcb.GetPortField().SetSecondaryControl(0x3F), dcb.GetPortField().SetTag(0xABC),
                    dcb.SetInitialLineLength(0x1111), dcb.SetLines(0xFFFF), dcb.SetLineLength(0x3333), dcb.SetPad(0x4444)})
        EXPECT_TRUE(ok);
    dcb.SetStartAddress(0x12345678);
    return dcb;
}
constexpr DWORD kOpWord = 63u | 1u << 6 | 1u << 7 | 5u << 8 | 1u << 11 | 1u << 12 | 1u << 13 | 1u << 14 | 1u << 16 | 0x2Au << 17 | 0x155u << 23;
const std::vector<DWORD> kAllFields{kOpWord, 0xAu | 0x3Fu << 4 | 0xABCu << 16, 0x12345678u, 0xFFFF1111u, 0x44443333u};

std::vector<DWORD> Words(const WexalDCB& dcb, int from = 0, int to = 5) { return {dcb.GetWords() + from, dcb.GetWords() + to}; }

TEST(WexalDCBTest, FieldsSitAtTheirBitsBadValuesAreRefusedAndCopiesTakeTheirOwnWords) {
    WexalDCB dcb = AllFields();
    WexalDCBOp& op = dcb.GetOpField();
    WexalDCBPort& port = dcb.GetPortField();
    EXPECT_TRUE(Words(dcb) == kAllFields && op.GetPack() == 5 && op.GetBCUPointer() == 0x155);
    // Clearing a flag with any value but 1 touches that bit only.
    EXPECT_TRUE(op.SetForceBCU(2) && dcb.GetWords()[0] == (kOpWord & ~(1u << 6)));
    // Refused values leave their word alone; only the low 8 bits of Next arrive (0x140 is 64).
    const std::vector<DWORD> before = Words(dcb);
    EXPECT_FALSE(op.SetNext(64) || op.SetNext(static_cast<BYTE>(0x140)) || op.SetPack(3) || op.SetPack(4) || op.SetPack(8) || op.SetInputFormat(2) ||
                 op.SetBCUSequence(64) || op.SetBCUPointer(4096) || port.SetTag(4096) || port.SetContextID(16) || port.SetSecondaryControl(64));
    EXPECT_EQ(Words(dcb), before);
    EXPECT_TRUE(op.SetBCUPointer(600) && op.GetBCUPointer() == 88) << "BCU numbers below 4096 are kept by their low 9 bits";
    EXPECT_TRUE(dcb.Clear() == 0 && Words(dcb, 0, 8) == std::vector<DWORD>(8, 0));
    // Copies take their own words.
    WexalDCB source = AllFields(), copy;
    source.GetPCIAddressField().Set(0xAAAA, 0xBBBB);
    copy.GetPCIAddressField().Set(1, 2);
    EXPECT_TRUE(copy.CopyFrom(source) && Words(copy) == kAllFields && copy.GetPCIAddressField().Get() == 0x200000001ull) << "words 5-7 stay";
    // A Pack of 3 read from hardware cannot be stored: failure, but every other field is copied.
    source.GetWords()[0] ^= 6u << 8;
    copy.GetOpField().SetPack(1);
    EXPECT_FALSE(copy.CopyFrom(source) || copy.GetWords()[0] != (source.GetWords()[0] ^ 2u << 8));
    // Copies, assignments and records moved in a container keep their accessors on their own words.
    std::vector<WexalDCB> many;
    for (int i = 0; i < 20; ++i) {
        many.push_back(i % 2 ? WexalDCB(source) : source);
        many.back().GetOpField().SetNext(static_cast<BYTE>(i));
    }
    for (int i = 0; i < 20; ++i) EXPECT_EQ(many[i].GetWords()[0] & 0x3F, static_cast<DWORD>(i));
}

// A frame of a chain: the model's other fields and words 5-7 kept, the frame's own fields set, Next
// to the following frame only when chained and 0 after the last.
TEST(WexalDCBTest, FrameDCBsOfAChain) {
    WexalDCB model = AllFields();
    model.GetPCIAddressField().Set(0xAAAA, 0xBBBB);
    const struct { DWORD index, count; bool chained; WORD bcu; BYTE context; DWORD length, lines, address, next; } rows[] = {
        {2, 5, true, 4, 15, 64, 3, 0x1000, 3},
        {5, 5, true, 5, 5, 32, 3, 0x1C00, 0},  // the last frame ends the chain
        {15, 15, true, 2, 0, 1920, 1079, 0x7E9000, 0},
        {3, 5, false, 3, 2, 960, 1079, 0x300000, 0},
        {1, 1, true, 2, 7, 0x12345, 0xFFFF, 0xFFFFFFF0, 0},  // a line length past its field keeps its low 16 bits
    };
    for (const auto& row : rows) {
        const WexalDCB dcb = MakeFrameDCB(model, row.index, row.count, row.chained, row.bcu, row.context, row.length, row.lines,
                                          row.address);
        const DWORD length = row.length & 0xFFFF;
        const std::vector<DWORD> want{(kOpWord & ~(0x3Fu | 0x1FFu << 23)) | row.next | DWORD{row.bcu} << 23,
                                      (kAllFields[1] & ~(0xFu | 0xFFFu << 16)) | row.context | row.index << 16, row.address,
                                      row.lines << 16 | length, 0x4444u << 16 | length};
        EXPECT_EQ(Words(dcb), want) << row.index << " of " << row.count;
        EXPECT_EQ(Words(dcb, 5, 8), Words(model, 5, 8));
    }
}

TEST(WexalDCBTest, ChannelWordsFiveToSeven) {
    WexalDCB dcb;
    DWORD* w = dcb.GetWords();
    EXPECT_EQ(dcb.GetPCIAddressField().Set(0x89ABCDEF, 0x01234567) + dcb.GetPCIAddressField().Set(0x1000, 0x2), 0x0123456789ABCDEFull);
    // Remap samples are the nibbles of words 6 and 7; gains 0-5 sit in word 5 at bits 0, 5, 10, 16,
    // 21, 26, then word 6, then 12-15 in word 7.
    w[5] = 1 | 2 << 5 | 3 << 10 | 31 << 16 | 5 << 21 | 6 << 26;
    w[6] = 0x76543210;
    w[7] = 0xFEDCBA98;
    DWORD sample = 0, gain = 0;
    for (int i = 0; i < 16; ++i) {
        EXPECT_TRUE(dcb.GetARemapField().GetSample(i, &sample) && sample == static_cast<DWORD>(i)) << i;
        EXPECT_TRUE(dcb.GetAAlphaField().GetGain(i, &gain) && gain == (w[5 + i / 6] >> (i % 6 * 5 + (i % 6 > 2)) & 0x1F)) << i;
    }
    EXPECT_FALSE(dcb.GetARemapField().GetSample(16, &sample) || dcb.GetARemapField().GetSample(-1, &sample) || dcb.GetAAlphaField().GetGain(16, &gain));
}

using Geometry = std::array<DWORD, 3>;  // line length, lines, initial line length

TEST(WexalDCBTest, GeometryOfTheWorkedSizesAndSetGeometryStoresWhatFits) {
    const struct { const char* name; DWORD size; int mode; BOOL is16bit; Geometry in, out; } rows[] = {
        {"mode 1 halved", 8192, 1, FALSE, {}, {512, 1, 512}},
        {"mode 1 with a rest", 8200, 1, TRUE, {}, {1024, 2, 2}},
        {"mode 2 at the 478 limit", 1102336, 2, TRUE, {}, {478, 576, 256}},
        {"mode 2 past the 478 limit", 1102337, 2, TRUE, {}, {832, 331, 192}},
        {"mode 2 past the 832 limit", 0x242801, 2, TRUE, {}, {1216, 487, 192}},
        {"mode 2 past the 1216 limit", 0x501A011, 2, TRUE, {}, {16382, 1281, 12806}},
        {"mode 0 halved", 0, 0, FALSE, {100, 10, 0}, {50, 9, 50}},
        // The raw result, past the 16-bit Lines field: 131072 lines of 1024 DWORDs, the last as initial.
        {"mode 1 512 MiB", 0x20000000, 1, TRUE, {}, {1024, 131071, 1024}},
    };
    for (const auto& row : rows) {
        Geometry g = row.in;
        CalcDCBGeometry(row.size, &g[0], &g[1], &g[2], row.mode, row.is16bit);
        EXPECT_EQ(g, row.out) << row.name;
    }
    // With 16-bit elements the lines cover the size rounded down to whole DWORDs.
    std::mt19937 rng(11);
    for (int i = 0; i < 2000; ++i) {
        const DWORD size = static_cast<DWORD>(rng());
        Geometry g{};
        CalcDCBGeometry(size, &g[0], &g[1], &g[2], 1 + i % 2, TRUE);
        ASSERT_TRUE(g[2] >= 1 && g[2] <= g[0] && uint64_t{g[1]} * g[0] + g[2] == size / 4) << "size " << size << " mode " << 1 + i % 2;
    }
    // SetGeometry stores what fits and refuses the rest.
    WexalDCB dcb;
    ASSERT_TRUE(dcb.SetGeometryForSize(2000000, TRUE));
    EXPECT_EQ((std::vector<DWORD>{dcb.GetLineLength(), dcb.GetLines(), dcb.GetInitialLineLength(), dcb.GetOpField().Get16bit()}),
              (std::vector<DWORD>{832, 600, 800, 1}));
    // Too many lines, or a line longer than its field: refused.
    EXPECT_FALSE(dcb.SetGeometry(0x20000000, 0, 0, 0, 1, TRUE) || dcb.GetLines() != 0xFFFF ||
                 dcb.SetGeometry(0, 0x20000, 1, 1, 0, TRUE) || dcb.SetGeometry(0, 4, 0x10000, 4, 0, TRUE));
}

}  // namespace
