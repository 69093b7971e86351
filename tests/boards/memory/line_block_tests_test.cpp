// Tests of the SDRAM line tests (MemTestA, MemTestB) and the 512-byte block test (RAMblock).
#include <gtest/gtest.h>

#include "boards/memory/mem_test.h"
#include "boards/memory/sdram_pattern.h"
#include "tests/boards/memory/memory_rig.h"

namespace {

using memtest::FaultRig;
using memtest::MainBoardRig;
using memtest::RootOnRig;

TEST(SdramLineTests, LinesPatternsCleanBlocksAndStop) {
    RootOnRig rig(MainBoardRig());
    CMemTestA test("MemTestA");
    ASSERT_EQ(test.SetupDevice("Brimola1"), 1u);
    // Line 0 at 0, line n at 32 << n, up to the middle of a 64 MiB card.
    std::vector<DWORD> addresses;
    BYTE* pointer = nullptr;
    for (DWORD address = 0; test.GetLine(static_cast<int>(addresses.size()), pointer, address);) addresses.push_back(address);
    ASSERT_EQ(addresses.size(), 21u);
    for (DWORD n = 0; n < 21; ++n) EXPECT_EQ(addresses[n], n ? 32u << n : 0u) << n;
    // The extra pattern runs after 0xAA and before the fixed ones.
    EXPECT_TRUE(rig.Gives("MemTestA 0xC7", 1, {"Writing 0xAA passed\nWriting 0xC7 passed\nWriting 0x38 passed\n"}));
    EXPECT_TRUE(rig.Gives("RAMblock RAMblockWR 0x1000-0x13FF", 1));
    // The second block holds the clean pattern with the range start and its own address.
    EXPECT_EQ(std::vector<DWORD>({rig.SdramWord(0x1200 + 4 * 96), rig.SdramWord(0x1200 + 4 * 100), rig.SdramWord(0x1200 + 4 * 104)}),
              std::vector<DWORD>({0, 0x1000, 0x1200}));
    EXPECT_TRUE(rig.Gives("RAMblock RAMblockWR 0x3FFFE00-0x4000400", 2, {"Unable to find SDRAM address space.\n"}));
    memtest::StopFlagSet stop;
    EXPECT_EQ(rig.Run("MemTestA "), 3u);
    EXPECT_EQ(rig.Run("RAMblock 0x0-0x1000"), 3u);
}

TEST(SdramLineTests, AliasesAreListed) {
    // Address line 12 follows line 13: line 7 (0x1000) lands on line 0, whose words then hold 7s.
    RootOnRig alias(FaultRig(R"("kind": "sdram_address_alias", "line": 12, "shorted_to": 13)"));
    EXPECT_TRUE(alias.Gives("MemTestB ", 2, {"07070707"}));
    EXPECT_FALSE(alias.Has("Writing <x = LoopNum> passed"));
    EXPECT_TRUE(alias.Gives("RAMblock RAMblockWR 0x0-0x1000", 2, {"512-byte SDRAM block at 0x00000000 failed the R/W check.\n"}));
}

TEST(SdramBlockTest, RangesAndPattern) {
    // {from, to} -> {first block, last block, range start}
    const std::pair<std::pair<ULONGLONG, ULONGLONG>, std::vector<DWORD>> ranges[] = {
        {{0x1234, 0x1234}, {0x1200, 0x1200, 0x1200}},  // above the aligned end, the start became the end
        {{0x1234, 0x1400}, {0x1200, 0x1400, 0x1234}},
        {{0x5000, 0x1000}, {0x1000, 0x1000, 0x1000}},  // backwards: the end block only
        {{0x1FFFFFFFFull, 0x1FFFFFFFFull}, {0x3FFFFE00, 0x3FFFFE00, 0x3FFFFE00}},
    };
    for (const auto& [range, expected] : ranges) {
        std::vector<DWORD> got(3);
        CSDRAM_QD_blockWR::AlignRange(range.first, range.second, got[0], got[1], got[2]);
        EXPECT_EQ(got, expected) << std::hex << range.first;
    }
    CSDRAM_QD_blockWR block("RAMblock");
    block.SetBlockWords(0x123400, 0x123456, TRUE);
    const DWORD* p = block.GetPattern();
    const std::pair<int, DWORD> words[] = {{8, 0x55555555}, {47, 0x80808080}, {79, 0x7F7F7F7F}, {91, 0x77777777},
                                           {96, 0xBAD01234}, {100, 0x123456}, {107, 0x123400}, {127, 0x456789AB}};
    for (const auto& [index, value] : words) EXPECT_EQ(p[index], value) << index;
    block.SetBlockWords(0x123400, 0x123456, FALSE);
    EXPECT_EQ(p[99], 0u);
}

}  // namespace
