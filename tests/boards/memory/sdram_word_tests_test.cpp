// Tests of CWexal's word tests (address, march, random) on healthy rigs and rigs with SDRAM faults.
#include <gtest/gtest.h>

#include "boards/memory/mt19937.h"
#include "tests/boards/memory/memory_rig.h"

namespace {

using memtest::FaultRig;
using memtest::MainBoardRig;
using memtest::RootOnRig;

TEST(WexalWordTests, WhatEachTestLeavesInMemoryTheRandomStreamArgumentsAndStop) {
    RootOnRig rig(MainBoardRig());
    EXPECT_TRUE(rig.Gives("CWexal Address Memory Test", 1));
    // The address test leaves each power-of-two word holding its complemented address.
    EXPECT_EQ(std::pair(rig.SdramWord(0x2000000), rig.SdramWord(0)), std::pair(~0x2000000u, 0xFFFFFFFFu));
    EXPECT_TRUE(rig.Gives("CWexal March Memory Test EndAddress=4000000", 2, {"End Address greater than memory on card\n"}));
    EXPECT_TRUE(rig.Gives("CWexal March Memory Test StartAddress=200 EndAddress=100", 2, {"greater than End Address"}));
    EXPECT_TRUE(rig.Gives("CWexal March Memory Test VERBOSE=0 StartAddress=3FFFF00 EndAddress=3FFFFFC", 1)) << "the last word";
    // EndAddress 0x103 tests up to 0x100; StartAddress 0 is included in the descending element.
    support::RigBoard("Brimola1")->GetSDRAMSpace()->Set("\x11\x11\x11\x11\x22\x22\x22\x22", 0x104, 8);
    EXPECT_TRUE(rig.Gives("CWexal March Memory Test VERBOSE=0 StartAddress=0 EndAddress=103", 1));
    EXPECT_EQ(std::vector<DWORD>({rig.SdramWord(0), rig.SdramWord(0x100), rig.SdramWord(0x104)}),
              std::vector<DWORD>({0, 0, 0x11111111}));
    // The random test's stream is the seeded 1998 Mersenne Twister.
    ASSERT_EQ(rig.Run("CWexal Random Memory Test SEED=4357"), 1u);
    EXPECT_EQ(rig.SdramWord(4), 0xFFC27482u);  // the published second output
    EXPECT_TRUE(rig.Gives("CWexal Random Memory Test SEED=4357 COMP=1 VERBOSE=1", 1, {"\tRandom value test passed\n"}));
    EXPECT_EQ(rig.SdramWord(0), ~0xD13C8AF5u);
    // Seed 0 would write only zeros; it stands for the default seed 4357.
    ASSERT_EQ(rig.Run("CWexal Random Memory Test SEED=0"), 1u);
    EXPECT_EQ(rig.SdramWord(0), 0xD13C8AF5u);
    // Without SEED the clock value (the calibration's last setting, 250) seeds a stream over 64 KB.
    ASSERT_EQ(rig.Run("CWexal Random Memory Test"), 1u);
    CMersenneTwister1998 reference;
    reference.Seed(250);
    EXPECT_EQ(rig.SdramWord(0), reference.Next());
    for (int i = 1; i < 0x4000; ++i) reference.Next();
    EXPECT_NE(rig.SdramWord(0x10000), reference.Next());
    memtest::StopFlagSet stop;
    EXPECT_EQ(rig.Run("CWexal Random Memory Test"), 3u);
    EXPECT_EQ(rig.Run("CWexal March Memory Test VERBOSE=0"), 3u);
}

TEST(WexalWordTests, AStuckBitIsCaughtByEveryWordLineAndBlockTest) {
    RootOnRig rig(FaultRig(R"("kind": "sdram_stuck_bit", "bit": 7, "value": 1)"));
    // The random test's summary ORs the failing bits: that bit alone.
    EXPECT_TRUE(rig.Gives("CWexal Random Memory Test VERBOSE=1 ABORTCOUNT=100000", 2, {"times: 0x00000080\n", "\tFAILURE: random: at 0x"}));
    EXPECT_TRUE(rig.Gives("CWexal March Memory Test ABORTCOUNT=3 EndAddress=FFFF", 2, {"Bits in error: 0x00000080\n"}));
    EXPECT_EQ(support::Count(rig.text, "March Memory Test Failed\n"), 3u);
    EXPECT_TRUE(rig.Gives("CWexal Address Memory Test", 2, {"Address Memory Test Failed\n"}));
    // 0xFF cannot be spoilt by a bit stuck at 1; 0x00 is, and the dump shows the bit.
    EXPECT_TRUE(rig.Gives("MemTestA ", 2, {"Writing 0xFF passed", "00000080"}));
    EXPECT_FALSE(rig.Has("Writing 0x00 passed"));
    EXPECT_TRUE(rig.Gives("RAMblock RAMblockWR 0x0-0x3FF", 2, {"512-byte SDRAM block at 0x00000000 failed the R/W check.\n"}));
}

// The march reads each run in wide steps of 64 words into four accumulators, then the words left
// over one by one: a bit stuck in one word is found wherever in the run it lies (either end of a
// step, the last accumulator's words, the first and last of the words left over).
TEST(WexalWordTests, TheMarchFindsAStuckWordAnywhereInItsRun) {
    const struct {
        DWORD address;
        const char* end;  // EndAddress: 3FFFF one whole run of 64K words
    } rows[] = {{0x0, "3FFFF"}, {0x7FFC, "3FFFF"}, {0x8000, "3FFFF"}, {0x38000, "3FFFF"}, {0x3FFFC, "3FFFF"}, {0x1000, "1013"},
                  {0x13C0, "1413"}, {0x1400, "1413"}, {0x1410, "1413"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.address);
        RootOnRig rig(FaultRig(R"("kind": "sdram_stuck_bit", "bit": 7, "value": 1, "from": )" + std::to_string(row.address) +
                               R"(, "to": )" + std::to_string(row.address + 4)));
        char says[128];
        std::snprintf(says, sizeof says, "SDRAM Address: 0x%08X\nGood Data: 0xFFFF0000\nBad Data: 0xFFFF0080\n", row.address);
        EXPECT_TRUE(rig.Gives(std::string("CWexal March Memory Test VERBOSE=1 EndAddress=") + row.end, 2, {says}));
    }
}

TEST(WexalWordTests, AddressAliasesAndSoftFlipsAreCaught) {
    const std::string background = "Good Data: 0xFFFF0000\nBad Data: 0x0000FFFF\n";
    // {fault, what the march names: the first word the ascending element finds written already,
    //  whether the random test's 64 KB holds the fault}
    const std::tuple<const char*, std::string, bool> faults[] = {
        {R"("kind": "sdram_address_alias", "line": 12, "shorted_to": 13)", "SDRAM Address: 0x00001000\n" + background, true},
        {R"("kind": "sdram_address_alias", "line": 16, "shorted_to": 20)", "SDRAM Address: 0x00010000\n" + background, false},
        {R"("kind": "sdram_bit_flips", "rate": 0.001, "seed": 5)", "Bits in error: 0x", true},
    };
    for (const auto& [fault, marchFailure, inRandomRange] : faults) {
        RootOnRig rig(FaultRig(fault));
        // Both aliased words lie within one run of the march's range.
        EXPECT_TRUE(rig.Gives("CWexal March Memory Test VERBOSE=1 EndAddress=1FFFFF", 2, {marchFailure}));
        EXPECT_EQ(rig.Run("CWexal Random Memory Test VERBOSE=1"), inRandomRange ? 2u : 1u) << fault;
    }
    // Address line 2 stuck low: writing 4 to address 4 landed on address 0, and the address test names both.
    RootOnRig rig(FaultRig(R"("kind": "sdram_address_alias", "line": 2, "stuck": 0)"));
    EXPECT_TRUE(rig.Gives("CWexal Address Memory Test VERBOSE=1", 2,
                          {"SDRAM Address: 0x00000000\nGood Data: 0x00000000\nBad Data: 0x00000004\n"}));
}

}  // namespace
