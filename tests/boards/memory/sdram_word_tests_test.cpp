// Tests of CWexal's word tests (address, march, random) on healthy rigs and rigs with SDRAM faults.
#include <gtest/gtest.h>

#include "boards/memory/mt19937.h"
#include "tests/boards/memory/memory_rig.h"

namespace {

using memtest::Fault;
using memtest::MainBoardRig;
using memtest::RootOnRig;

TEST(WexalWordTests, HealthyBoardPassesEveryWordTest) {
    RootOnRig rig(MainBoardRig());
    EXPECT_EQ(rig.Run("CWexal Address Memory Test"), 1u) << rig.text;
    // The address test leaves each power-of-two word holding its complemented address.
    EXPECT_EQ(rig.SdramWord(0x2000000), ~0x2000000u);
    EXPECT_EQ(rig.SdramWord(0x0), 0xFFFFFFFFu);
    EXPECT_EQ(rig.Run("CWexal March Memory Test VERBOSE=0"), 1u) << rig.text;
    EXPECT_EQ(rig.SdramWord(0x3FFFFFC), 0u);  // the last background pattern, put back
    EXPECT_EQ(rig.Run("CWexal Random Memory Test VERBOSE=1 COMP=1"), 1u) << rig.text;
    EXPECT_TRUE(rig.Has("\tRandom value test passed\n"));
}

TEST(WexalWordTests, RandomStreamIsTheSeededMersenneTwister) {
    RootOnRig rig(MainBoardRig());
    ASSERT_EQ(rig.Run("CWexal Random Memory Test SEED=4357"), 1u);
    EXPECT_EQ(rig.SdramWord(4), 0xFFC27482u);  // the published second output
    EXPECT_EQ(rig.text, "\n--- CWexal Random Memory Test SEED=4357 ---\n");  // VERBOSE 0 prints nothing
    ASSERT_EQ(rig.Run("CWexal Random Memory Test SEED=4357 COMP=1"), 1u);
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
        SCOPED_TRACE(fault);
        RootOnRig rig(MainBoardRig(Fault(fault)));
        EXPECT_EQ(rig.Run("CWexal Random Memory Test VERBOSE=1 ABORTCOUNT=100000"), 2u);
        EXPECT_TRUE(rig.Has(std::string("times: ") + bits + "\n")) << "that bit alone";
        EXPECT_TRUE(rig.Has("\tFAILURE: random: at 0x"));
        EXPECT_EQ(rig.Run("CWexal March Memory Test ABORTCOUNT=3 EndAddress=FFFF"), 2u);
        EXPECT_EQ(rig.Count("March Memory Test Failed\n"), 3u);
        EXPECT_TRUE(rig.Has(std::string("Bits in error: ") + bits + "\n"));
        EXPECT_EQ(rig.Run("CWexal Address Memory Test"), 2u);
        EXPECT_TRUE(rig.Has("Address Memory Test Failed\n"));
    }
    // A stuck bit near the end of the memory escapes the test's 64 KB; a pass over the whole memory
    // names its address.
    RootOnRig rig(MainBoardRig(Fault(R"("kind": "sdram_stuck_bit", "bit": 0, "value": 1, "from": 67108608, "to": 67108864)")));
    EXPECT_EQ(rig.Run("CWexal Random Memory Test"), 1u);
    CWexal wexal("CWexal");
    ASSERT_EQ(wexal.SetupDevice("Brimola1"), kRunPassed);
    memtest::TakeText();
    EXPECT_EQ(wexal.RandomMemPass(0, 0x4000000, 4357, 1, 1, FALSE), 2u);
    const std::string text = memtest::TakeText();
    EXPECT_NE(text.find("\tFAILURE: random: at 0x03ffff"), std::string::npos) << text;
    EXPECT_NE(text.find("failed 1 times: 0x00000001\n"), std::string::npos) << text;
}

TEST(WexalWordTests, AddressAliasesAreCaughtByEveryWordTest) {
    struct Alias {
        const char* name;
        const char* fault;
        const char* marchFailure;  // the first word the ascending element finds written already
        bool inRandomRange;        // the alias lands within the random test's 64 KB
    };
    const Alias aliases[] = {
        {"line 12 follows line 13", R"("kind": "sdram_address_alias", "line": 12, "shorted_to": 13)",
         "SDRAM Address: 0x00001000\nGood Data: 0xFFFF0000\nBad Data: 0x0000FFFF\n", true},
        {"line 12 stuck at 0", R"("kind": "sdram_address_alias", "line": 12, "stuck": 0)",
         "SDRAM Address: 0x00001000\nGood Data: 0xFFFF0000\nBad Data: 0x0000FFFF\n", true},
        {"line 16 follows line 20", R"("kind": "sdram_address_alias", "line": 16, "shorted_to": 20)",
         "SDRAM Address: 0x00010000\nGood Data: 0xFFFF0000\nBad Data: 0x0000FFFF\n", false},
    };
    for (const Alias& a : aliases) {
        SCOPED_TRACE(a.name);
        RootOnRig rig(MainBoardRig(Fault(a.fault)));
        // Both aliased words lie within one run of the march's range.
        EXPECT_EQ(rig.Run("CWexal March Memory Test VERBOSE=1 EndAddress=1FFFFF"), 2u);
        EXPECT_TRUE(rig.Has(a.marchFailure)) << rig.text;
        EXPECT_EQ(rig.Run("CWexal Random Memory Test VERBOSE=1"), a.inRandomRange ? 2u : 1u);
    }
    // Writing 0x1000 to address 0x1000 landed on address 0: the address test names both.
    RootOnRig rig(MainBoardRig(Fault(aliases[0].fault)));
    EXPECT_EQ(rig.Run("CWexal Address Memory Test VERBOSE=1"), 2u);
    EXPECT_TRUE(rig.Has("SDRAM Address: 0x00000000\nGood Data: 0x00000000\nBad Data: 0x00001000\n")) << rig.text;
}

TEST(WexalWordTests, SoftBitFlipsAreCaughtByRandomAndMarch) {
    RootOnRig rig(MainBoardRig(Fault(R"("kind": "sdram_bit_flips", "rate": 0.001, "seed": 5)")));
    EXPECT_EQ(rig.Run("CWexal Random Memory Test VERBOSE=1"), 2u);
    EXPECT_TRUE(rig.Has("\tFAILURE: random: at 0x"));
    EXPECT_EQ(rig.Run("CWexal March Memory Test VERBOSE=1 EndAddress=FFFF"), 2u);
    EXPECT_TRUE(rig.Has("Bits in error: 0x"));
}

TEST(WexalWordTests, MarchArgumentsRangeAndStop) {
    RootOnRig rig(MainBoardRig());
    EXPECT_EQ(rig.Run("CWexal March Memory Test EndAddress=4000000"), 2u);
    EXPECT_TRUE(rig.Has("End Address greater than memory on card\n"));
    EXPECT_EQ(rig.Run("CWexal March Memory Test StartAddress=200 EndAddress=100"), 2u);
    EXPECT_TRUE(rig.Has("greater than End Address"));
    // EndAddress 0x103 tests up to 0x100; StartAddress 0 is included in the descending element.
    rig.Board()->GetSDRAMSpace()->Set("\x11\x11\x11\x11\x22\x22\x22\x22", 0x104, 8);
    EXPECT_EQ(rig.Run("CWexal March Memory Test VERBOSE=0 StartAddress=0 EndAddress=103"), 1u);
    EXPECT_EQ(rig.SdramWord(0x100), 0u);
    EXPECT_EQ(rig.SdramWord(0), 0u);
    EXPECT_EQ(rig.SdramWord(0x104), 0x11111111u);
    memtest::StopFlagSet stop;
    EXPECT_EQ(rig.Run("CWexal Random Memory Test"), 3u);
    EXPECT_EQ(rig.Run("CWexal March Memory Test VERBOSE=0"), 3u);
}

TEST(WexalWordTests, FillSeedIncrement) {
    CWexal wexal("CWexal");
    DWORD buffer[16] = {};
    DWORD seed = 0x10;
    wexal.FillSeedIncrement(buffer, 16, seed, 1);
    for (DWORD i = 0; i < 16; ++i) EXPECT_EQ(buffer[i], 0x10 + i);
    EXPECT_EQ(seed, 0x1Fu);  // the next fill starts where this one ended
    DWORD small[7] = {};
    wexal.FillSeedIncrement(small, 7, seed, 1);  // below 8 words nothing is filled
    EXPECT_EQ(small[0], 0u);
    EXPECT_EQ(seed, 0x1Fu);
    memtest::TakeText();
}

}  // namespace
