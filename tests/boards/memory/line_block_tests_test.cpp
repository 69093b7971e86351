// Tests of the SDRAM line tests (MemTestA, MemTestB) and the 512-byte block test (RAMblock).
#include <gtest/gtest.h>

#include "boards/memory/mem_test.h"
#include "boards/memory/sdram_pattern.h"
#include "tests/boards/memory/memory_rig.h"

namespace {

using memtest::MainBoardRig;
using memtest::RootOnRig;

TEST(SdramLineTests, LinesOfA64MegabyteCard) {
    RootOnRig rig(MainBoardRig());
    CMemTestA test("MemTestA");
    ASSERT_EQ(test.SetupDevice("Brimola1"), 1u);
    std::vector<DWORD> addresses;
    BYTE* pointer = nullptr;
    DWORD address = 0;
    for (int n = 0; test.GetLine(n, pointer, address); ++n) {
        EXPECT_NE(pointer, nullptr);
        addresses.push_back(address);
    }
    ASSERT_EQ(addresses.size(), 21u);
    EXPECT_EQ(addresses[0], 0u);
    EXPECT_EQ(addresses[1], 64u);
    EXPECT_EQ(addresses[2], 128u);
    EXPECT_EQ(addresses[20], 0x2000000u);
    EXPECT_FALSE(test.GetLine(27, pointer, address));
    memtest::TakeText();
}

TEST(SdramLineTests, HealthyBoardPassesWithEveryPattern) {
    RootOnRig rig(MainBoardRig());
    EXPECT_EQ(rig.Run("MemTestA 0xC7"), 1u) << rig.text;
    for (const char* line : {"Writing 0x00 passed\n", "Writing 0xFF passed\n", "Writing 0x55 passed\n",
                             "Writing 0xAA passed\n", "Writing 0xC7 passed\n", "Writing 0x38 passed\n"})
        EXPECT_TRUE(rig.Has(line)) << line;
    EXPECT_EQ(rig.Run("MemTestA "), 1u);
    EXPECT_FALSE(rig.Has("Writing 0xC7"));
    EXPECT_EQ(rig.Run("MemTestB "), 1u) << rig.text;
    EXPECT_TRUE(rig.Has(" Address lines test for Brimola1 SDRAM (size is 64MBytes).\n"));
    EXPECT_TRUE(rig.Has("Writing <x = 0xAA; x += 0x55> passed\n"));
    EXPECT_TRUE(rig.Has("Writing <x = LoopNum> passed\n"));
    // The line-number pattern stays in memory: line 20 (0x2000000) holds 0x14 bytes.
    EXPECT_EQ(rig.SdramWord(0x2000000), 0x14141414u);
}

TEST(SdramLineTests, StuckBitsAndAliasesAreListed) {
    {
        RootOnRig rig(MainBoardRig(R"([{"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 7, "value": 1}])"));
        EXPECT_EQ(rig.Run("MemTestA "), 2u);
        EXPECT_FALSE(rig.Has("Writing 0x00 passed"));
        EXPECT_TRUE(rig.Has("Writing 0xFF passed"));  // a bit stuck at 1 passes all ones
        EXPECT_TRUE(rig.Has("00000080")) << rig.text;
        EXPECT_EQ(rig.Run("RAMblock RAMblockWR 0x0-0x3FF"), 2u);
        EXPECT_TRUE(rig.Has("512-byte SDRAM block at 0x00000000 failed the R/W check.\n"));
    }
    {
        RootOnRig rig(MainBoardRig(R"([{"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 3, "value": 0}])"));
        EXPECT_EQ(rig.Run("MemTestA "), 2u);
        EXPECT_TRUE(rig.Has("Writing 0x00 passed"));
        EXPECT_FALSE(rig.Has("Writing 0xFF passed"));
    }
    {
        // Address line 12 follows line 13: line 7 (0x1000) lands on line 0, whose words then hold 7s.
        RootOnRig rig(MainBoardRig(R"([{"kind": "sdram_address_alias", "board": "Brimola1", "line": 12,
                                        "shorted_to": 13}])"));
        EXPECT_EQ(rig.Run("MemTestB "), 2u);
        EXPECT_FALSE(rig.Has("Writing <x = LoopNum> passed"));
        EXPECT_TRUE(rig.Has("07070707")) << rig.text;
        EXPECT_EQ(rig.Run("RAMblock RAMblockWR 0x0-0x1000"), 2u);
        EXPECT_TRUE(rig.Has("512-byte SDRAM block at 0x00000000 failed the R/W check.\n")) << rig.text;
    }
}

TEST(SdramBlockTest, RangesAndPattern) {
    DWORD first = 0, last = 0, start = 0;
    CSDRAM_QD_blockWR::AlignRange(0x1000, 0x13FF, first, last, start);
    EXPECT_EQ(first, 0x1000u);
    EXPECT_EQ(last, 0x1200u);
    CSDRAM_QD_blockWR::AlignRange(0x1234, 0x1234, first, last, start);
    EXPECT_EQ(first, 0x1200u);
    EXPECT_EQ(last, 0x1200u);
    EXPECT_EQ(start, 0x1200u);  // above the aligned end, the start became the end
    CSDRAM_QD_blockWR::AlignRange(0x1234, 0x1400, first, last, start);
    EXPECT_EQ(first, 0x1200u);
    EXPECT_EQ(start, 0x1234u);
    CSDRAM_QD_blockWR::AlignRange(0x5000, 0x1000, first, last, start);  // backwards: the end block only
    EXPECT_EQ(first, 0x1000u);
    EXPECT_EQ(last, 0x1000u);
    CSDRAM_QD_blockWR::AlignRange(0x1FFFFFFFFull, 0x1FFFFFFFFull, first, last, start);
    EXPECT_EQ(last, 0x3FFFFE00u);

    memtest::TakeText();
    CSDRAM_QD_blockWR block("RAMblock");
    const DWORD* p = block.GetPattern();
    EXPECT_EQ(p[0], 0u);
    EXPECT_EQ(p[4], 0xFFFFFFFFu);
    EXPECT_EQ(p[8], 0x55555555u);
    EXPECT_EQ(p[12], 0xAAAAAAAAu);
    EXPECT_EQ(p[16], 0x01010101u);
    EXPECT_EQ(p[47], 0x80808080u);
    EXPECT_EQ(p[48], 0xFEFEFEFEu);
    EXPECT_EQ(p[79], 0x7F7F7F7Fu);
    EXPECT_EQ(p[84], 0x77777777u);
    EXPECT_EQ(p[91], 0x77777777u);
    EXPECT_EQ(p[124], 0x12345678u);
    EXPECT_EQ(p[127], 0x456789ABu);
    block.SetBlockWords(0x123400, 0x123456, TRUE);
    EXPECT_EQ(p[96], 0xBAD01234u);
    EXPECT_EQ(p[100], 0x123456u);
    EXPECT_EQ(p[107], 0x123400u);
    block.SetBlockWords(0x123400, 0x123456, FALSE);
    EXPECT_EQ(p[99], 0u);
    memtest::TakeText();
}

TEST(SdramBlockTest, HealthyRangePassesAndTheStopFlagEndsIt) {
    RootOnRig rig(MainBoardRig());
    EXPECT_EQ(rig.Run("RAMblock RAMblockWR 0x1000-0x13FF"), 1u) << rig.text;
    EXPECT_TRUE(rig.Has("Pass\n"));
    // The second block holds the clean pattern with its own address and the range start.
    EXPECT_EQ(rig.SdramWord(0x1200 + 4 * 96), 0u);
    EXPECT_EQ(rig.SdramWord(0x1200 + 4 * 100), 0x1000u);
    EXPECT_EQ(rig.SdramWord(0x1200 + 4 * 104), 0x1200u);
    EXPECT_EQ(rig.Run("RAMblock 0x1234"), 1u);
    EXPECT_EQ(rig.Run("RAMblock RAMblockWR 0x3FFFE00-0x4000400"), 2u);  // past the card
    EXPECT_TRUE(rig.Has("Unable to find SDRAM address space.\n"));
    memtest::StopFlagSet stop;
    EXPECT_EQ(rig.Run("RAMblock 0x0-0x1000"), 3u);
    EXPECT_EQ(rig.Run("MemTestA "), 3u);
}

}  // namespace
