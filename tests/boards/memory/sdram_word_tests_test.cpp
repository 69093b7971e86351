// Tests of CWexal's word tests (address, march, random) on healthy rigs and rigs with SDRAM faults.
#include <gtest/gtest.h>

#include "boards/memory/mt19937.h"
#include "tests/boards/memory/memory_rig.h"

namespace {

using memtest::MainBoardRig;
using memtest::RootOnRig;

const std::string kStuckHigh = R"([{"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 7, "value": 1}])";
const std::string kStuckLow = R"([{"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 3, "value": 0}])";
// Address line 12 follows line 13: 0x1000 lands on 0x0000, inside the random test's first 64 KB.
const std::string kAlias = R"([{"kind": "sdram_address_alias", "board": "Brimola1", "line": 12, "shorted_to": 13}])";

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
    EXPECT_EQ(rig.SdramWord(0), 0xD13C8AF5u);
    EXPECT_EQ(rig.SdramWord(4), 0xFFC27482u);
    EXPECT_EQ(rig.text, "\n--- CWexal Random Memory Test SEED=4357 ---\n");  // VERBOSE 0 prints nothing

    // COMP: the second pass leaves the complement of the stream.
    ASSERT_EQ(rig.Run("CWexal Random Memory Test SEED=4357 COMP=1"), 1u);
    EXPECT_EQ(rig.SdramWord(0), ~0xD13C8AF5u);
    // Seed 0 would write only zeros; it stands for the default seed 4357.
    ASSERT_EQ(rig.Run("CWexal Random Memory Test SEED=0"), 1u);
    EXPECT_EQ(rig.SdramWord(0), 0xD13C8AF5u);
    // Without SEED the clock value is the seed: two clock values write two different streams.
    ASSERT_EQ(rig.Run("CWexal Random Memory Test"), 1u);
    const DWORD at250 = rig.SdramWord(0);  // the calibration's sweep ended at 250
    CMersenneTwister1998 reference;
    reference.Seed(250);
    EXPECT_EQ(at250, reference.Next());
    // The stream covers exactly the first 64 KB by default.
    reference.Seed(250);
    DWORD last = 0;
    for (int i = 0; i < 0x4000; ++i) last = reference.Next();
    EXPECT_EQ(rig.SdramWord(0xFFFC), last);
    EXPECT_NE(rig.SdramWord(0x10000), reference.Next());
}

TEST(WexalWordTests, StuckBitsAreCaughtByAddressMarchAndRandom) {
    for (const auto& [faults, bit, value] : {std::tuple{kStuckHigh, 0x80u, 1u}, std::tuple{kStuckLow, 0x8u, 0u}}) {
        RootOnRig rig(MainBoardRig(faults));
        EXPECT_EQ(rig.Run("CWexal Random Memory Test VERBOSE=1 ABORTCOUNT=100000"), 2u);
        char summary[64];
        std::snprintf(summary, sizeof summary, "times: 0x%08x\n", bit);
        EXPECT_TRUE(rig.Has(summary)) << rig.text.substr(rig.text.size() - 200);  // that bit alone
        EXPECT_TRUE(rig.Has("\tFAILURE: random: at 0x"));

        EXPECT_EQ(rig.Run("CWexal March Memory Test ABORTCOUNT=1 EndAddress=FFFF"), 2u);
        char bits[64];
        std::snprintf(bits, sizeof bits, "Bits in error: 0x%08X\n", bit);
        EXPECT_TRUE(rig.Has("March Memory Test Failed\n"));
        EXPECT_TRUE(rig.Has(bits)) << rig.text;
        EXPECT_EQ(rig.Run("CWexal March Memory Test ABORTCOUNT=3 EndAddress=FFFF"), 2u);
        size_t blocks = 0;
        for (size_t at = rig.text.find("March Memory Test Failed"); at != std::string::npos;
             at = rig.text.find("March Memory Test Failed", at + 1))
            ++blocks;
        EXPECT_EQ(blocks, 3u);

        EXPECT_EQ(rig.Run("CWexal Address Memory Test"), 2u);
        EXPECT_TRUE(rig.Has("Address Memory Test Failed\n"));
        (void)value;
    }
    // A stuck bit only near the end of the memory escapes the test's 64 KB; one pass over the whole
    // memory finds it and names its address.
    RootOnRig rig(MainBoardRig(R"([{"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 0, "value": 1,
                                   "from": 67108608, "to": 67108864}])"));
    EXPECT_EQ(rig.Run("CWexal Random Memory Test"), 1u);
    CWexal wexal("CWexal");
    ASSERT_EQ(wexal.SetupDevice("Brimola1"), kRunPassed);
    memtest::TakeText();
    EXPECT_EQ(wexal.RandomMemPass(0, 0x4000000, 4357, 1, 1, FALSE), 2u);
    const std::string text = memtest::TakeText();
    EXPECT_NE(text.find("\tFAILURE: random: at 0x03ffff"), std::string::npos) << text;
    EXPECT_NE(text.find("failed 1 times: 0x00000001\n"), std::string::npos) << text;
}

TEST(WexalWordTests, AnAddressAliasIsCaughtByAddressAndRandom) {
    RootOnRig rig(MainBoardRig(kAlias));
    EXPECT_EQ(rig.Run("CWexal Address Memory Test VERBOSE=1"), 2u);
    // Writing 0x1000 to address 0x1000 landed on address 0: the report names both.
    EXPECT_TRUE(rig.Has("SDRAM Address: 0x00000000\nGood Data: 0x00000000\nBad Data: 0x00001000\n")) << rig.text;
    EXPECT_EQ(rig.Run("CWexal Random Memory Test VERBOSE=1"), 2u);
    EXPECT_TRUE(rig.Has("Random value test failed 1 times"));
}

TEST(WexalWordTests, SoftBitFlipsAreCaughtByRandomAndMarch) {
    RootOnRig rig(MainBoardRig(R"([{"kind": "sdram_bit_flips", "board": "Brimola1", "rate": 0.001, "seed": 5}])"));
    EXPECT_EQ(rig.Run("CWexal Random Memory Test VERBOSE=1"), 2u);
    EXPECT_TRUE(rig.Has("\tFAILURE: random: at 0x"));
    EXPECT_EQ(rig.Run("CWexal March Memory Test VERBOSE=1 EndAddress=FFFF"), 2u);
    EXPECT_TRUE(rig.Has("Bits in error: 0x"));
}

TEST(WexalWordTests, MarchArgumentsAndRange) {
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
}

TEST(WexalWordTests, FillSeedIncrement) {
    CWexal wexal("CWexal");
    DWORD buffer[16] = {};
    DWORD seed = 0x10;
    wexal.FillSeedIncrement(buffer, 16, seed, 1);
    for (DWORD i = 0; i < 16; ++i) EXPECT_EQ(buffer[i], 0x10 + i);
    EXPECT_EQ(seed, 0x1Fu);  // the next fill starts where this one ended
    DWORD small[7] = {};
    wexal.FillSeedIncrement(small, 7, seed, 1);
    EXPECT_EQ(small[0], 0u);
    EXPECT_EQ(seed, 0x1Fu);
    memtest::TakeText();
}

TEST(WexalWordTests, StopFlagEndsTheRandomTest) {
    RootOnRig rig(MainBoardRig());
    memtest::StopFlagSet stop;
    EXPECT_EQ(rig.Run("CWexal Random Memory Test"), 3u);
}

}  // namespace
