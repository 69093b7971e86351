// Tests of CWexal's DMA memory tests: argument refusals, DMA faults, the temperature report and the
// production trees' memory leaves.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/boards/memory/memory_rig.h"

namespace {

using memtest::FaultRig;
using memtest::HasAll;
using memtest::MainBoardRig;
using memtest::RootOnRig;

const std::string kDma =
    "CWexal \"DMA Memory Test\" Seed=0X00000010 Incr=0X00000001 Addr=0X00100000 ChWrite=16 ChRead=12 ";
const std::string kStress = "CWexal \"DMA Memory Stress Test\" Seed=0X1 Incr=0X1 ";

TEST(WexalDmaTests, ArgumentsAreCheckedBeforeAnythingIsAllocated) {
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
    };
    for (const auto& [command, message] : refused) {
        EXPECT_EQ(rig.Run("CWexal \"DMA Memory Test\" " + command), 2u) << command;
        EXPECT_TRUE(rig.Has(message)) << rig.text;
        EXPECT_FALSE(rig.Has("Allocate host DMA buffer")) << command;
    }
    // No loop would move a byte: the stress test refuses it before touching the board.
    for (const char* loop : {"Loop=0", "Loop=-1"}) {
        EXPECT_EQ(rig.Run(kStress + loop), 2u) << loop;
        EXPECT_TRUE(rig.Has("Invalid Loop count")) << rig.text;
        EXPECT_FALSE(rig.Has("DMA PCI Memory Test")) << loop;
    }
}

TEST(WexalDmaTests, AFailedPageAllocationShowsTheDriversAnswer) {
    // 4 MiB of host DMA memory holds the page table but not an 8 MiB page.
    RootOnRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "sdram_mib": 64}], "host_memory_mib": 4})");
    EXPECT_EQ(rig.Run(kDma + "Size=8388608 Burst=8388608"), 2u);
    EXPECT_TRUE(rig.Has("ERROR:  Unable to allocate DmaMemory.  DrvReturn[0x00000003:0x00800000]\n")) << rig.text;
}

TEST(WexalDmaTests, StreamsLinesSequenceStressAndStop) {
    RootOnRig rig(MainBoardRig());
    EXPECT_EQ(rig.Run(kDma + "Size=1048576 Burst=131072"), 1u) << rig.text;
    EXPECT_EQ(rig.SdramWord(0x100000 + 4 * 1000), 0x10u + 1000);  // the seed-and-increment stream
    // A burst of 0x4000-0x7FFF bytes still gets whole lines; sequence mode runs Incr, 2 x Incr, ...
    EXPECT_EQ(rig.Run(kDma + "Size=98304 Burst=24576"), 1u) << rig.text;
    EXPECT_EQ(rig.Run("CWexal \"DMA Memory Test\" Seed=0X1 Incr=0X40000000 Mode=SEQUENCE Addr=0X0 ChWrite=17 "
                      "ChRead=13 Size=8192 Burst=4096"),
              1u);
    EXPECT_TRUE(rig.Has("Incr[0xC0000000]"));
    EXPECT_FALSE(rig.Has("Incr[0x00000000]"));
    EXPECT_EQ(rig.Run(kStress + "Loop=2"), 1u) << rig.text;
    EXPECT_TRUE(HasAll(rig.text, {"Loop #2\n", "DMA WexalAddr[0x00000000]  Size[33554432] and compare board data to host\n"}));
    memtest::StopFlagSet stop;
    EXPECT_EQ(rig.Run(kDma + "Mode=Sequence Size=8192 Burst=4096"), 3u);
    EXPECT_TRUE(rig.Has("Incr[0x00000001]"));
    EXPECT_FALSE(rig.Has("Incr[0x00000002]"));
}

TEST(WexalDmaTests, CorruptionFailsTheDmaCompareAndTheSlaveCompareTellsWhere) {
    const struct {
        const char* fault;
        const char* line;
        const char* slave;  // corruption on the read path leaves the SDRAM right
    } cases[] = {
        {R"("kind": "dma_corrupt", "channel": 12, "mask": 256, "first": 3, "count": 2)",
         "WexalAddress[0x0010000C] Write[0x00000013]  Read[0x00000113] XOR[0x00000100]\n", "Slave mode compare passed\n"},
        {R"("kind": "dma_corrupt", "channel": 16, "mask": 1)",
         "WexalAddress[0x00100000] Write[0x00000010]  Read[0x00000011] XOR[0x00000001]\n", "Slave mode compare failed\n"},
        {R"("kind": "sdram_stuck_bit", "bit": 30, "value": 1)", "XOR[0x40000000]", "Slave mode compare failed\n"},
    };
    for (const auto& c : cases) {
        RootOnRig rig(FaultRig(c.fault));
        EXPECT_EQ(rig.Run(kDma + "Size=262144 Burst=131072"), 2u) << c.fault;
        EXPECT_TRUE(HasAll(rig.text, {c.line, "DMA_Read compare failed\n", c.slave})) << c.fault;
        EXPECT_EQ(rig.Run(kDma + "Size=262144 Burst=131072 SlaveCompare=off"), 2u);
        EXPECT_FALSE(rig.Has("Compare using slave mode reads")) << c.fault;
    }
}

TEST(WexalDmaTests, StalledOrWronglyTaggedTransfersTimeOut) {
    for (const char* fault : {R"("kind": "dma_stall", "channel": 16)", R"("kind": "dma_wrong_tag", "channel": 16)"}) {
        RootOnRig rig(FaultRig(fault));
        EXPECT_EQ(rig.Run(kDma + "Size=131072 Burst=131072 Verbose=2"), 2u) << fault;
        EXPECT_EQ(rig.Count("ERROR: After "), 10u) << fault;
        EXPECT_TRUE(HasAll(rig.text, {" 2) HostToWexal DMA:  Tag=", "Host to Sorbelin"})) << fault;
        EXPECT_FALSE(rig.Has("DMA & compare board data to host")) << fault;
        EXPECT_EQ(rig.Run(kStress), 2u) << fault;
        EXPECT_TRUE(rig.Has("ERROR: After ")) << fault;
    }
}

TEST(WexalDmaTests, TemperatureReport) {
    const struct {
        const char* fault;
        DWORD result;
        const char* line;
    } cases[] = {
        {R"("kind": "sensor_over_limit", "by": 5)", 2, "Wexal Temp:  Peek[90C]  Current[90C]  Max[85C]\n"},
        {R"("kind": "sensor_bad_reading", "value": 0)", 2, "giving up"},  // an open diode reads 0 for ever
        {R"("kind": "sensor_bad_reading", "value": 0, "count": 3)", 1, "Current[45C]"},  // a few zeros are read past
    };
    for (const auto& c : cases) {
        RootOnRig rig(FaultRig(c.fault));
        EXPECT_EQ(rig.Run(kDma + "Size=8192 Burst=4096"), c.result) << c.fault;
        EXPECT_TRUE(rig.Has(c.line)) << rig.text;
        EXPECT_EQ(rig.Has("DMA host data to board"), c.result == 1) << c.fault;
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
