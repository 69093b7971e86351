// Tests of CWexal's DMA memory tests: argument refusals, DMA faults, the temperature report and the
// production trees' memory leaves.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/boards/memory/memory_rig.h"

namespace {

using memtest::FaultRig;
using memtest::MainBoardRig;
using memtest::RootOnRig;

const std::string kDma =
    "CWexal \"DMA Memory Test\" Seed=0X00000010 Incr=0X00000001 Addr=0X00100000 ChWrite=16 ChRead=12 ";
std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

const std::string kStress = "CWexal \"DMA Memory Stress Test\" Seed=0X1 Incr=0X1 ";

TEST(WexalDmaTests, ArgumentsAreCheckedFirstThenStreamsSequencesAndStop) {
    RootOnRig rig(MainBoardRig());
    const std::string ch = " ChWrite=16 ChRead=12 Size=8192 Burst=";
    const std::pair<std::string, const char*> refused[] = {
        {"Incr=0X1 Addr=0X0" + ch + "4096", "No valid Seed parameter\n"},
        {"Seed=0X1 Addr=0X0" + ch + "4096", "No valid Incr parameter\n"},
        {"Seed=0X1 Incr=0X1" + ch + "4096", "No valid Addr parameter\n"},
        {"Seed=0X1 Incr=0X1 Addr=0X0 ChWrite=15 ChRead=12 Size=8192 Burst=4096", "Invalid ChWrite Number\n"},
        {"Seed=0X1 Incr=0X1 Addr=0X0 ChWrite=17 ChRead=14 Size=8192 Burst=4096", "Invalid ChRead Number\n"},
        {"Seed=0X1 Incr=0X1 Addr=0X0" + ch + "2048", "Invalid Alloc Size:  Range[4k ... 8MB]\n"},
        {"Seed=0X1 Incr=0X1 Addr=0X0" + ch + "16777216", "Invalid Alloc Size:  Range[4k ... 8MB]\n"},
        {"Seed=0X1 Incr=0X1 Addr=0X0 ChWrite=16 ChRead=12 Burst=4096", "Invalid Buffer Size\n"},
        {"Seed=0X1 Incr=0X1 Addr=0X0 ChWrite=16 ChRead=12 Size=4000 Burst=4096", "Invalid Buffer Size\n"},
        {"Seed=0X1 Incr=0X1 Addr=0X03FFF000" + ch + "4096", "is beyond the memory on the card\n"},
        {"Seed=0X1 Incr=0X0 Mode=Sequence Addr=0X0" + ch + "4096", "Incr must not be 0 in Sequence mode\n"},
        // No loop would move a byte: the stress test refuses it before touching the board.
        {"Loop=0", "Invalid Loop count"},
        {"Loop=-1", "Invalid Loop count"},
    };
    for (const auto& [arguments, message] : refused) {
        const bool stress = arguments.starts_with("Loop");
        EXPECT_TRUE(rig.Gives((stress ? kStress : "CWexal \"DMA Memory Test\" ") + arguments, 2, {message}));
        EXPECT_FALSE(rig.Has(stress ? "DMA PCI Memory Test" : "Allocate host DMA buffer")) << arguments;
    }

    // A block that ends at the last word of SDRAM is inside it.
    EXPECT_TRUE(rig.Gives("CWexal \"DMA Memory Test\" Seed=0X1 Incr=0X1 Addr=0X03FFE000" + ch + "4096", 1));
    EXPECT_TRUE(rig.Gives(kDma + "Size=1048576 Burst=131072", 1));
    EXPECT_EQ(rig.SdramWord(0x100000 + 4 * 40000), 0x10u + 40000);  // the seed-and-increment stream, across bursts
    // A burst of 0x4000-0x7FFF bytes still gets whole lines; sequence mode runs Incr, 2 x Incr, ...
    EXPECT_TRUE(rig.Gives(kDma + "Size=98304 Burst=24576", 1));
    EXPECT_TRUE(rig.Gives("CWexal \"DMA Memory Test\" Seed=0X1 Incr=0X40000000 Mode=SEQUENCE Addr=0X0 ChWrite=17 "
                          "ChRead=13 Size=8192 Burst=4096", 1, {"Incr[0xC0000000]"}));
    EXPECT_FALSE(rig.Has("Incr[0x00000000]"));
    memtest::StopFlagSet stop;
    EXPECT_TRUE(rig.Gives(kDma + "Mode=Sequence Size=8192 Burst=4096", 3, {"Incr[0x00000001]"}));
    EXPECT_FALSE(rig.Has("Incr[0x00000002]"));
}

// A test of one cycle over many pages ends at the host's stop request before its next page (here
// after the fifth was written), not at the end of the cycle.
TEST(WexalDmaTests, AStopEndsTheDmaTestBeforeItsNextPage) {
    RootOnRig rig(MainBoardRig());
    memtest::StoppingProgressBar bar(6);  // the start, then pages 1 to 5
    EXPECT_TRUE(rig.Gives("CWexal \"DMA Memory Test\" Seed=0X1 Incr=0X1 Addr=0X0 ChWrite=16 ChRead=12 Size=67108864 Burst=4096", 3,
                          {"DMA host data to board\n"}));
    EXPECT_EQ(bar.positions, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_FALSE(rig.Has("DMA & compare board data to host"));
}

TEST(WexalDmaTests, AFailedPageAllocationShowsTheDriversAnswer) {
    // 4 MiB of host DMA memory holds the page table but not an 8 MiB page.
    RootOnRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "sdram_mib": 64}], "host_memory_mib": 4})");
    EXPECT_TRUE(rig.Gives(kDma + "Size=8388608 Burst=8388608", 2,
                          {"ERROR:  Unable to allocate DmaMemory.  DrvReturn[0x00000003:0x00800000]\n"}));
}

TEST(WexalDmaTests, CorruptionFailsTheDmaCompareAndTheSlaveCompareTellsWhere) {
    // {fault, compare line, slave compare}: corruption on the read path leaves the SDRAM right.
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {R"("kind": "dma_corrupt", "channel": 12, "mask": 256, "first": 3, "count": 2)",
         "WexalAddress[0x0010000C] Write[0x00000013]  Read[0x00000113] XOR[0x00000100]\n", "Slave mode compare passed\n"},
        {R"("kind": "dma_corrupt", "channel": 16, "mask": 1)",
         "WexalAddress[0x00100000] Write[0x00000010]  Read[0x00000011] XOR[0x00000001]\n", "Slave mode compare failed\n"},
    };
    for (const auto& [fault, line, slave] : cases) {
        RootOnRig rig(FaultRig(fault));
        EXPECT_TRUE(rig.Gives(kDma + "Size=262144 Burst=131072", 2, {line, "DMA_Read compare failed\n", slave}));
    }
    // The stress test's block is the seed-and-increment stream over its 128 KiB pages: the write
    // path's fault stops it at the first page, and the slave compare then names the first word and
    // the second page, never written, with the stream's words there (the increment wraps past 32 bits).
    {
        RootOnRig rig(FaultRig(std::get<0>(cases[1])));
        const DWORD seed = 0x10, incr = 0x9E3779B9;
        std::vector<std::string> lines{"Channel[12] WexalAddress[0x00000000] Write[0x00000010]  Read[0x00000011]",
                                       "WexalAddress[0x00000000] Write[0x00000010]  Read[0x00000011]"};
        for (DWORD i = 0; i < 19; ++i) {
            const DWORD word = seed + (0x8000 + i) * incr;
            lines.push_back("WexalAddress[0x" + Hex(0x20000 + 4 * i) + "] Write[0x" + Hex(word) + "]  Read[0x00000000]");
        }
        lines.push_back("Slave mode compare failed\n");
        EXPECT_TRUE(rig.Gives("CWexal \"DMA Memory Stress Test\" Seed=0X00000010 Incr=0X9E3779B9 ", 2));
        for (const std::string& line : lines) EXPECT_TRUE(rig.Has(line)) << line;
        EXPECT_FALSE(rig.Has("WexalAddress[0x0002004C]")) << "a 21st line";
    }
    // SlaveCompare=Off, in any case, leaves the slave compare out; any other value keeps it.
    for (const auto& [word, slave] : {std::pair{"off", false}, std::pair{"ON", true}}) {
        RootOnRig rig(FaultRig(std::get<0>(cases[1])));
        EXPECT_TRUE(rig.Gives(kDma + "Size=262144 Burst=131072 SlaveCompare=" + word, 2, {"DMA_Read compare failed\n"}));
        EXPECT_EQ(rig.Has("Compare using slave mode reads"), slave) << word;
    }
}

TEST(WexalDmaTests, StalledOrWronglyTaggedTransfersTimeOut) {
    for (const char* fault : {R"("kind": "dma_stall", "channel": 16)", R"("kind": "dma_wrong_tag", "channel": 16)"}) {
        RootOnRig rig(FaultRig(fault));
        EXPECT_TRUE(rig.Gives(kDma + "Size=131072 Burst=131072 Verbose=2", 2, {" 2) HostToWexal DMA:  Tag=", "Host to Sorbelin"}));
        EXPECT_EQ(support::Count(rig.text, "ERROR: After "), 10u) << fault;
        EXPECT_TRUE(rig.Gives(kStress, 2, {"ERROR: After "}));
    }
}

TEST(WexalDmaTests, TemperatureReport) {
    const std::tuple<std::string, DWORD, const char*> cases[] = {
        {FaultRig(R"("kind": "sensor_over_limit", "by": 5)"), 2, "Wexal Temp:  Peek[90C]  Current[90C]  Max[85C]\n"},
        {FaultRig(R"("kind": "sensor_bad_reading", "value": 0)"), 2, "giving up"},  // an open diode reads 0 for ever
        {FaultRig(R"("kind": "sensor_bad_reading", "value": 0, "count": 3)"), 1, "Current[45C]"},  // a few zeros are read past
        // Only a reading above the limit fails; one equal to it passes.
        {MainBoardRig("[]", R"(, "sensors": {"fpga_temp_c": 85, "fpga_temp_limit_c": 85})"), 1, "Current[85C]\n"},
        {MainBoardRig("[]", R"(, "sensors": {"fpga_temp_c": 86, "fpga_temp_limit_c": 85})"), 2, "Max[85C]\n"},
    };
    for (const auto& [rigJson, result, line] : cases) {
        RootOnRig rig(rigJson);
        EXPECT_TRUE(rig.Gives(kDma + "Size=8192 Burst=4096", result, {line})) << rigJson;
    }
}

TEST(WexalDmaTests, ProductionTreesCatchEveryDmaChannelAndNameAFailingAddress) {
    for (const char* tree : {"BrimolaTree_Mfg.txt", "NuxaTree_Mfg.txt"}) {
        SCOPED_TRACE(tree);
        std::ifstream in(std::string(PEX_TESTDATA_DIR) + "/" + tree);
        std::vector<std::string> leaves;  // the memory leaves, as "<test> <arguments>"
        for (std::string line; std::getline(in, line);) {
            const size_t open = line.find('<'), close = line.rfind('>');
            if (open != std::string::npos && line.find("Memory Test") < open) leaves.push_back(line.substr(open + 1, close - open - 1));
        }
        ASSERT_FALSE(leaves.empty());
        for (const char* channel : {"13", "17"}) {
            RootOnRig rig(FaultRig(std::string(R"("kind": "dma_corrupt", "mask": 1, "channel": )") + channel));
            int failed = 0;
            for (const std::string& leaf : leaves) failed += leaf.find("DMA") != std::string::npos && rig.Run(leaf) == 2;
            EXPECT_GT(failed, 0) << "channel " << channel;
        }
        RootOnRig rig(FaultRig(R"("kind": "sdram_stuck_bit", "bit": 5, "value": 1)"));
        for (const std::string& leaf : leaves) EXPECT_TRUE(leaf.find("Random") == std::string::npos || rig.Run(leaf) == 2) << leaf;
        EXPECT_TRUE(rig.Has("\tFAILURE: random: at 0x")) << rig.text;
    }
}

}  // namespace
