// Tests of the breakout box's audio loopback test: its pattern, dump windows, and the healthy and faulty rigs.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "breakout/farnodek_tests.h"
#include "framework/result_screen.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"

namespace {

TEST(FarnoDeKPattern, MatchesAnIndependentGeneratorWithSilentLowBytes) {
    std::vector<DWORD> pattern(CFarnoDeKTests::kBlockDwords);
    CFarnoDeKTests::FillPattern(pattern.data());
    EXPECT_EQ(pattern[0], 0xECB97400u);
    EXPECT_EQ(pattern[1], 0xF2357C00u);
    // The same generator in 64-bit arithmetic, cut to 32 bits after every step.
    uint64_t x = 0x12345678;
    for (uint64_t i = 0; i < pattern.size(); ++i) {
        x = (((i + 13) * (x + 4)) % (1ull << 32)) ^ (0x111000 + (i << 12) % (1ull << 32));
        ASSERT_EQ(pattern[i], static_cast<DWORD>(x) & 0xFFFFFF00u) << i;
    }
}

TEST(FarnoDeKPattern, DumpWindowsShowFortyDwordsOrBothEndsOfAWideSpan) {
    struct Row { const char* name; int first, last, count; CFarnoDeKTests::Window a, b; } rows[] = {
        {"first DWORD", 0, 0, 1, {0, 40}, {}},
        {"last DWORD", 32767, 32767, 1, {32728, 40}, {}},
        {"one in the middle", 1001, 1001, 1, {984, 40}, {}},
        {"exactly forty", 8, 44, 1, {8, 40}, {}},
        {"wide span", 100, 900, 2, {100, 20}, {888, 16}}};
    for (const Row& row : rows) {
        CFarnoDeKTests::Window w[2] = {};
        ASSERT_EQ(CFarnoDeKTests::DumpWindows(row.first, row.last, w), row.count) << row.name;
        EXPECT_EQ(std::tuple(w[0].from, w[0].count, w[1].from, w[1].count),
                  std::tuple(row.a.from, row.a.count, row.b.from, row.b.count)) << row.name;
    }
}

// The test bound to the main board of the rig, its output kept.
struct BoundFarnoDeK : support::Recording<CFarnoDeKTests> {
    BoundFarnoDeK() : support::Recording<CFarnoDeKTests>("FarnoDeK") { SetupDevice("Brimola1"); }
};

const char* const kBox = R"(, "attached": {"breakout_box": true})";
const char* const kLoopAlone = "  Channel #20 (BoB Audio Output ): all 0x020000 DWORDs transfered.\n"
                               "  Channel #32 (BoB Audio Input 1): ~*RED*~0x000000~*BLACK*~ of 0x020000 DWORDs DMA'd.\n";

TEST(FarnoDeKRig, PassesOnAHealthyLoopAndNamesEachFault) {
    struct Row { const char* name; std::string faults; const char* attached; DWORD result; std::vector<std::string> lines; } rows[] = {
        {"healthy box", "[]", kBox, kRunPassed, {"BoB Audio In 1 and BoB Audio Out DMA Loopback test:\n 131072 bytes"}},
        {"loopback cable", "[]", R"(, "attached": {"loopback_cable": true})", kRunPassed, {}},
        {"nothing attached", "[]", "", kRunFailed, {"Cannot Test BoB: No BoB clock detected.\n"}},
        {"link down", R"([{"board": "Brimola1", "kind": "box_link_down"}])", kBox, kRunFailed, {"Cannot Test BoB: No BoB clock detected.\n"}},
        {"audio loop open", R"([{"board": "Brimola1", "kind": "box_loop_open", "path": "audio"}])", kBox, kRunFailed,
         {"~*BLACK*~DMA(s) ~*RED*~failed to complete:~*BLACK*~\n", kLoopAlone}},
        {"silent dolwer", R"([{"board": "Brimola1", "kind": "box_device_silent", "device": "dolwer"}])", kBox, kRunFailed, {kLoopAlone}},
        {"stalled output", R"([{"board": "Brimola1", "kind": "dma_stall", "channel": 20}])", kBox, kRunFailed,
         {"  Channel #20 (BoB Audio Output ): ~*RED*~0x000000~*BLACK*~ of 0x020000 DWORDs DMA'd.\n"}},
        {"corrupt input", R"([{"board": "Brimola1", "kind": "dma_corrupt", "channel": 32, "mask": "0x00010000", "first": 5}])", kBox, kRunFailed,
         {"\nFailed on final comparison.\n Of the 32768 DWORDs that were DMA'ed, 1 differ from the originals.\n",
          "do not seem to match any expected value is: 1\n   with differences occuring in these bit positions: 00010000\n",
          "DMA+ "}},
        // Every part of the block: its last DWORD, a word's top bit alone, the outbound channel too.
        {"corrupt last input DWORD", R"([{"board": "Brimola1", "kind": "dma_corrupt", "channel": 32, "mask": "0x00000100", "first": 32767}])", kBox,
         kRunFailed, {" 1 differ from the originals.\n", "bit positions: 00000100\n"}},
        {"corrupt top bit of the output", R"([{"board": "Brimola1", "kind": "dma_corrupt", "channel": 20, "mask": "0x80000000", "first": 1000}])", kBox,
         kRunFailed, {" 1 differ from the originals.\n", "bit positions: 80000000\n"}},
        {"slip 8 late", R"([{"board": "Brimola1", "kind": "box_audio_slip", "dwords": 8}])", kBox, kRunFailed,
         {"pattern  8 DWORDs back is: 32760\n", "any expected value is: 8\n"}},
        {"slip 8 early", R"([{"board": "Brimola1", "kind": "box_audio_slip", "dwords": -8}])", kBox, kRunFailed,
         {"pattern  8 DWORDs forward is: 32760\n", "any expected value is: 8\n"}},
        {"slip 16 late", R"([{"board": "Brimola1", "kind": "box_audio_slip", "dwords": 16}])", kBox, kRunFailed,
         {"pattern 16 DWORDs back is: 32752\n", "any expected value is: 16\n"}},
        {"slip 16 early", R"([{"board": "Brimola1", "kind": "box_audio_slip", "dwords": -16}])", kBox, kRunFailed,
         {"pattern 16 DWORDs forward is: 32752\n", "   ...\n"}},
        // SDRAM faults act where they lie: the blocks are 0x20000-0x40000 (source) and 0x40000-0x60000.
        {"stuck bit far from the blocks", R"([{"board": "Brimola1", "kind": "sdram_stuck_bit", "bit": 0, "value": 1, "from": 16777216, "to": 16777220}])",
         kBox, kRunPassed, {}},
        {"stuck bit under the source", R"([{"board": "Brimola1", "kind": "sdram_stuck_bit", "bit": 0, "value": 1, "from": 131328, "to": 131332}])",
         kBox, kRunFailed, {"\nFailed on SDRAM readback (of test pattern)."}},
        {"stuck bit under the destination, set in the clear-out word", R"([{"board": "Brimola1", "kind": "sdram_stuck_bit", "bit": 1, "value": 1, "from": 262400, "to": 262404}])",
         kBox, kRunFailed,
         {" Of the 32768 DWORDs that were DMA'ed, 1 differ from the originals.\n", "in these bit positions: 00000002\n"}},
        {"stuck bit under the destination, clear in the clear-out word", R"([{"board": "Brimola1", "kind": "sdram_stuck_bit", "bit": 0, "value": 1, "from": 262144, "to": 262148}])",
         kBox, kRunFailed, {"\nFailed on SDRAM readback (of clear-out value)."}},
        // The write and read-back checks cover each block to its end: a cell in the second half fails them too.
        {"stuck bit in the source's second half", R"([{"board": "Brimola1", "kind": "sdram_stuck_bit", "bit": 0, "value": 1, "from": 196608, "to": 196612}])",
         kBox, kRunFailed, {"\nFailed on SDRAM readback (of test pattern)."}},
        {"stuck bit in the source's last DWORD", R"([{"board": "Brimola1", "kind": "sdram_stuck_bit", "bit": 0, "value": 1, "from": 262140, "to": 262144}])",
         kBox, kRunFailed, {"\nFailed on SDRAM readback (of test pattern)."}},
        {"stuck bit in the destination's second half", R"([{"board": "Brimola1", "kind": "sdram_stuck_bit", "bit": 0, "value": 1, "from": 327680, "to": 327684}])",
         kBox, kRunFailed, {"\nFailed on SDRAM readback (of clear-out value)."}},
        {"stuck bit in the destination's last DWORD", R"([{"board": "Brimola1", "kind": "sdram_stuck_bit", "bit": 0, "value": 1, "from": 393212, "to": 393216}])",
         kBox, kRunFailed, {"\nFailed on SDRAM readback (of clear-out value)."}}};
    for (const Row& row : rows) {
        support::ScopedRig rig(support::MainBoardRig(row.faults, row.attached));
        BoundFarnoDeK test;
        EXPECT_EQ(test.Run("FarnoDeK"), row.result) << row.name << "\n" << test.out.text;
        EXPECT_TRUE(support::HasAll(test.out.text, row.lines)) << row.name;
        EXPECT_EQ(test.out.HasColoured(" Passed.\n", kColorGreen), row.result == kRunPassed) << row.name;
    }
}

}  // namespace
