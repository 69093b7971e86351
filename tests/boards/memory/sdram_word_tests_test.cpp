// Tests of CWexal's word tests (address, march, random) on healthy rigs and rigs with SDRAM faults.
#include <gtest/gtest.h>

#include "boards/memory/mt19937.h"
#include "tests/boards/memory/memory_rig.h"

namespace {

using memtest::FaultRig;
using memtest::MainBoardRig;
using memtest::RootOnRig;

TEST(WexalWordTests, WhatEachTestLeavesInMemoryArgumentsAndStop) {
    RootOnRig rig(MainBoardRig());
    EXPECT_TRUE(rig.Gives("CWexal Address Memory Test", 1));
    // The address test leaves each power-of-two word holding its complemented address.
    EXPECT_EQ(std::pair(rig.SdramWord(0x2000000), rig.SdramWord(0)), std::pair(~0x2000000u, 0xFFFFFFFFu));
    EXPECT_TRUE(rig.Gives("CWexal March Memory Test VERBOSE=0", 1));
    EXPECT_EQ(rig.SdramWord(0x3FFFFFC), 0u);  // the last background pattern, put back
    EXPECT_TRUE(rig.Gives("CWexal March Memory Test EndAddress=4000000", 2, {"End Address greater than memory on card\n"}));
    EXPECT_TRUE(rig.Gives("CWexal March Memory Test StartAddress=200 EndAddress=100", 2, {"greater than End Address"}));
    // EndAddress 0x103 tests up to 0x100; StartAddress 0 is included in the descending element.
    rig.Board()->GetSDRAMSpace()->Set("\x11\x11\x11\x11\x22\x22\x22\x22", 0x104, 8);
    EXPECT_TRUE(rig.Gives("CWexal March Memory Test VERBOSE=0 StartAddress=0 EndAddress=103", 1));
    EXPECT_EQ(std::vector<DWORD>({rig.SdramWord(0), rig.SdramWord(0x100), rig.SdramWord(0x104)}),
              std::vector<DWORD>({0, 0, 0x11111111}));
    memtest::StopFlagSet stop;
    EXPECT_EQ(rig.Run("CWexal Random Memory Test"), 3u);
    EXPECT_EQ(rig.Run("CWexal March Memory Test VERBOSE=0"), 3u);
}

TEST(WexalWordTests, RandomStreamIsTheSeededMersenneTwister) {
    RootOnRig rig(MainBoardRig());
    ASSERT_EQ(rig.Run("CWexal Random Memory Test SEED=4357"), 1u);
    EXPECT_EQ(rig.SdramWord(4), 0xFFC27482u);  // the published second output
    EXPECT_EQ(rig.text, "\n--- CWexal Random Memory Test SEED=4357 ---\n");  // VERBOSE 0 prints nothing
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
    DWORD last = 0;
    for (int i = 1; i < 0x4000; ++i) last = reference.Next();
    EXPECT_EQ(rig.SdramWord(0xFFFC), last);
    EXPECT_NE(rig.SdramWord(0x10000), reference.Next());
}

TEST(WexalWordTests, StuckBitsAreCaughtByAddressMarchAndRandom) {
    for (const auto& [fault, bits] : {std::pair{R"("kind": "sdram_stuck_bit", "bit": 7, "value": 1)", "0x00000080"},
                                      std::pair{R"("kind": "sdram_stuck_bit", "bit": 3, "value": 0)", "0x00000008"}}) {
        RootOnRig rig(FaultRig(fault));
        // The random test's summary ORs the failing bits: that bit alone.
        EXPECT_TRUE(rig.Gives("CWexal Random Memory Test VERBOSE=1 ABORTCOUNT=100000", 2,
                              {std::string("times: ") + bits + "\n", "\tFAILURE: random: at 0x"}));
        EXPECT_TRUE(rig.Gives("CWexal March Memory Test ABORTCOUNT=3 EndAddress=FFFF", 2, {std::string("Bits in error: ") + bits + "\n"}));
        EXPECT_EQ(rig.Count("March Memory Test Failed\n"), 3u) << fault;
        EXPECT_TRUE(rig.Gives("CWexal Address Memory Test", 2, {"Address Memory Test Failed\n"}));
    }
    // A stuck bit near the end of the memory escapes the test's 64 KB; a pass over the whole memory
    // names its address.
    RootOnRig rig(FaultRig(R"("kind": "sdram_stuck_bit", "bit": 0, "value": 1, "from": 67108608, "to": 67108864)"));
    EXPECT_EQ(rig.Run("CWexal Random Memory Test"), 1u);
    CWexal wexal("CWexal");
    ASSERT_EQ(wexal.SetupDevice("Brimola1"), kRunPassed);
    memtest::TakeText();
    EXPECT_EQ(wexal.RandomMemPass(0, 0x4000000, 4357, 1, 1, FALSE), 2u);
    EXPECT_TRUE(memtest::HasAll(memtest::TakeText(), {"\tFAILURE: random: at 0x03ffff", "failed 1 times: 0x00000001\n"}));
}

TEST(WexalWordTests, AddressAliasesAndSoftFlipsAreCaught) {
    const std::string background = "Good Data: 0xFFFF0000\nBad Data: 0x0000FFFF\n";
    // {fault, what the march names: the first word the ascending element finds written already,
    //  whether the random test's 64 KB holds the fault}
    const std::tuple<const char*, std::string, bool> faults[] = {
        {R"("kind": "sdram_address_alias", "line": 12, "shorted_to": 13)", "SDRAM Address: 0x00001000\n" + background, true},
        {R"("kind": "sdram_address_alias", "line": 12, "stuck": 0)", "SDRAM Address: 0x00001000\n" + background, true},
        {R"("kind": "sdram_address_alias", "line": 16, "shorted_to": 20)", "SDRAM Address: 0x00010000\n" + background, false},
        {R"("kind": "sdram_bit_flips", "rate": 0.001, "seed": 5)", "Bits in error: 0x", true},
    };
    for (const auto& [fault, marchFailure, inRandomRange] : faults) {
        RootOnRig rig(FaultRig(fault));
        // Both aliased words lie within one run of the march's range.
        EXPECT_TRUE(rig.Gives("CWexal March Memory Test VERBOSE=1 EndAddress=1FFFFF", 2, {marchFailure}));
        EXPECT_EQ(rig.Run("CWexal Random Memory Test VERBOSE=1"), inRandomRange ? 2u : 1u) << fault;
    }
    // Writing 0x1000 to address 0x1000 landed on address 0: the address test names both.
    RootOnRig rig(FaultRig(std::get<0>(faults[0])));
    EXPECT_TRUE(rig.Gives("CWexal Address Memory Test VERBOSE=1", 2,
                          {"SDRAM Address: 0x00000000\nGood Data: 0x00000000\nBad Data: 0x00001000\n"}));
}

TEST(WexalWordTests, FillSeedIncrement) {
    CWexal wexal("CWexal");
    DWORD buffer[16] = {}, small[7] = {}, seed = 0x10;
    wexal.FillSeedIncrement(buffer, 16, seed, 1);
    EXPECT_EQ(std::vector<DWORD>({buffer[0], buffer[15], seed}), std::vector<DWORD>({0x10, 0x1F, 0x1F}));  // seed: where it ended
    wexal.FillSeedIncrement(small, 7, seed, 1);  // below 8 words nothing is filled
    EXPECT_EQ(std::vector<DWORD>({small[0], seed}), std::vector<DWORD>({0, 0x1F}));
    memtest::TakeText();
}

}  // namespace
