// Tests of CWexal's DMA memory tests: argument refusals, the healthy board, DMA faults and the temperature report.
#include <gtest/gtest.h>

#include "tests/boards/memory/memory_rig.h"

namespace {

using memtest::MainBoardRig;
using memtest::RootOnRig;

const std::string kDma =
    "CWexal \"DMA Memory Test\" Seed=0X00000010 Incr=0X00000001 Addr=0X00100000 ChWrite=16 ChRead=12 ";

TEST(WexalDmaTests, ArgumentsAreCheckedBeforeAnythingIsAllocated) {
    RootOnRig rig(MainBoardRig());
    const struct {
        std::string arguments;
        const char* message;
    } refused[] = {
        {"Incr=0X1 Addr=0X0 ChWrite=16 ChRead=12 Size=8192 Burst=4096", "No valid Seed parameter\n"},
        {"Seed=0X1 Addr=0X0 ChWrite=16 ChRead=12 Size=8192 Burst=4096", "No valid Incr parameter\n"},
        {"Seed=0X1 Incr=0X1 ChWrite=16 ChRead=12 Size=8192 Burst=4096", "No valid Addr parameter\n"},
        {"Seed=0X1 Incr=0X1 Addr=0X0 ChWrite=15 ChRead=12 Size=8192 Burst=4096", "Invalid ChWrite Number\n"},
        {"Seed=0X1 Incr=0X1 Addr=0X0 ChWrite=17 ChRead=14 Size=8192 Burst=4096", "Invalid ChRead Number\n"},
        {"Seed=0X1 Incr=0X1 Addr=0X0 ChWrite=16 ChRead=12 Size=8192 Burst=2048", "Invalid Alloc Size:  Range[4k ... 8MB]\n"},
        {"Seed=0X1 Incr=0X1 Addr=0X0 ChWrite=16 ChRead=12 Size=8192 Burst=16777216",
         "Invalid Alloc Size:  Range[4k ... 8MB]\n"},
        {"Seed=0X1 Incr=0X1 Addr=0X0 ChWrite=16 ChRead=12 Burst=4096", "Invalid Buffer Size\n"},
        {"Seed=0X1 Incr=0X1 Addr=0X0 ChWrite=16 ChRead=12 Size=4000 Burst=4096", "Invalid Buffer Size\n"},
        {"Seed=0X1 Incr=0X1 Addr=0X03FFF000 ChWrite=16 ChRead=12 Size=8192 Burst=4096",
         "is beyond the memory on the card\n"},
        {"Seed=0X1 Incr=0X0 Mode=Sequence Addr=0X0 ChWrite=16 ChRead=12 Size=8192 Burst=4096",
         "Incr must not be 0 in Sequence mode\n"},
    };
    for (const auto& r : refused) {
        EXPECT_EQ(rig.Run("CWexal \"DMA Memory Test\" " + r.arguments), 2u) << r.arguments;
        EXPECT_TRUE(rig.Has(r.message)) << r.arguments << "\n" << rig.text;
        EXPECT_FALSE(rig.Has("Allocate host DMA buffer")) << r.arguments;
    }
}

TEST(WexalDmaTests, HealthyBoardPassesBothDmaTests) {
    RootOnRig rig(MainBoardRig());
    EXPECT_EQ(rig.Run(kDma + "Size=1048576 Burst=131072 Verbose=2"), 1u) << rig.text;
    EXPECT_TRUE(rig.Has("Testing Brimola...\n"));
    EXPECT_TRUE(rig.Has("Wexal Temp:  Peek[45C]  Current[45C]\n"));
    EXPECT_TRUE(rig.Has(" 1) HostToWexal DMA:  Tag=2650"));
    EXPECT_TRUE(rig.Has("DMA_Read compare passed\n"));
    // The data written is the seed-and-increment stream.
    EXPECT_EQ(rig.SdramWord(0x100000), 0x10u);
    EXPECT_EQ(rig.SdramWord(0x100000 + 4 * 1000), 0x10u + 1000);

    // A burst of 0x4000-0x7FFF bytes still gets whole lines; sequence mode runs Incr, 2 x Incr, ...
    EXPECT_EQ(rig.Run(kDma + "Size=98304 Burst=24576"), 1u) << rig.text;
    EXPECT_EQ(rig.Run("CWexal \"DMA Memory Test\" Seed=0X1 Incr=0X40000000 Mode=SEQUENCE Addr=0X0 ChWrite=17 "
                      "ChRead=13 Size=8192 Burst=4096"),
              1u);
    EXPECT_TRUE(rig.Has("Incr[0xC0000000]"));
    EXPECT_FALSE(rig.Has("Incr[0x00000000]"));

    EXPECT_EQ(rig.Run("CWexal \"DMA Memory Stress Test\" Seed=0X12345678 Incr=0X00000003 Loop=2"), 1u) << rig.text;
    EXPECT_TRUE(rig.Has("Loop #2\n"));
    EXPECT_TRUE(rig.Has("DMA WexalAddr[0x00000000]  Size[33554432] and compare board data to host\n"));
}

TEST(WexalDmaTests, SequenceModeStopsWhenTheHostAsks) {
    RootOnRig rig(MainBoardRig());
    memtest::StopFlagSet stop;
    EXPECT_EQ(rig.Run(kDma + "Mode=Sequence Size=8192 Burst=4096"), 3u);
    EXPECT_TRUE(rig.Has("Incr[0x00000001]"));
    EXPECT_FALSE(rig.Has("Incr[0x00000002]"));
}

TEST(WexalDmaTests, CorruptionOnTheReadPathFailsTheDmaCompareButNotTheSlaveCompare) {
    RootOnRig rig(MainBoardRig(R"([{"kind": "dma_corrupt", "board": "Brimola1", "channel": 12, "mask": 256,
                                    "first": 3, "count": 2}])"));
    EXPECT_EQ(rig.Run(kDma + "Size=262144 Burst=131072"), 2u);
    EXPECT_TRUE(rig.Has("WexalAddress[0x0010000C] Write[0x00000013]  Read[0x00000113] XOR[0x00000100]\n")) << rig.text;
    EXPECT_TRUE(rig.Has("DMA_Read compare failed\n"));
    EXPECT_TRUE(rig.Has("Slave mode compare passed\n"));
    // With the slave compare off it is not run; the other read channel is clean.
    EXPECT_EQ(rig.Run(kDma + "Size=262144 Burst=131072 SlaveCompare=off"), 2u);
    EXPECT_FALSE(rig.Has("Compare using slave mode reads"));
    EXPECT_EQ(rig.Run("CWexal \"DMA Memory Test\" Seed=0X1 Incr=0X1 Addr=0X0 ChWrite=16 ChRead=13 Size=8192 Burst=4096"),
              1u);
}

TEST(WexalDmaTests, CorruptionOnTheWritePathReachesTheSdram) {
    RootOnRig rig(MainBoardRig(R"([{"kind": "dma_corrupt", "board": "Brimola1", "channel": 16, "mask": 1}])"));
    EXPECT_EQ(rig.Run(kDma + "Size=8192 Burst=4096"), 2u);
    EXPECT_TRUE(rig.Has("WexalAddress[0x00100000] Write[0x00000010]  Read[0x00000011] XOR[0x00000001]\n")) << rig.text;
    EXPECT_TRUE(rig.Has("Slave mode compare failed\n"));
}

TEST(WexalDmaTests, StuckSdramBitFailsBothCompares) {
    RootOnRig rig(MainBoardRig(R"([{"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 30, "value": 1}])"));
    EXPECT_EQ(rig.Run(kDma + "Size=8192 Burst=4096"), 2u);
    EXPECT_TRUE(rig.Has("XOR[0x40000000]"));
    EXPECT_TRUE(rig.Has("Slave mode compare failed\n"));
}

TEST(WexalDmaTests, StalledOrWronglyTaggedTransfersTimeOut) {
    for (const char* fault : {R"([{"kind": "dma_stall", "board": "Brimola1", "channel": 16}])",
                              R"([{"kind": "dma_wrong_tag", "board": "Brimola1", "channel": 16}])"}) {
        RootOnRig rig(MainBoardRig(fault));
        EXPECT_EQ(rig.Run(kDma + "Size=131072 Burst=131072 Verbose=2"), 2u) << fault;
        EXPECT_TRUE(rig.Has("ERROR: After ")) << fault;
        EXPECT_TRUE(rig.Has(" 2) HostToWexal DMA:  Tag=")) << fault;
        EXPECT_TRUE(rig.Has("Host to Sorbelin")) << fault;
        size_t reports = 0;
        for (size_t at = rig.text.find("ERROR: After"); at != std::string::npos; at = rig.text.find("ERROR: After", at + 1))
            ++reports;
        EXPECT_EQ(reports, 10u) << fault;
        EXPECT_FALSE(rig.Has("DMA & compare board data to host"));

        EXPECT_EQ(rig.Run("CWexal \"DMA Memory Stress Test\" Seed=0X1 Incr=0X1"), 2u) << fault;
        EXPECT_TRUE(rig.Has("ERROR: After ")) << fault;
    }
}

TEST(WexalDmaTests, TemperatureReport) {
    {
        RootOnRig rig(MainBoardRig(R"([{"kind": "sensor_over_limit", "board": "Brimola1", "by": 5}])"));
        EXPECT_EQ(rig.Run(kDma + "Size=8192 Burst=4096"), 2u);
        EXPECT_TRUE(rig.Has("Wexal Temp:  Peek[90C]  Current[90C]  Max[85C]\n")) << rig.text;
        EXPECT_FALSE(rig.Has("DMA host data to board"));
    }
    {
        // An open sensor diode reads 0 for ever: the report gives up instead of hanging.
        RootOnRig rig(MainBoardRig(R"([{"kind": "sensor_bad_reading", "board": "Brimola1", "value": 0}])"));
        EXPECT_EQ(rig.Run(kDma + "Size=8192 Burst=4096"), 2u);
        EXPECT_TRUE(rig.Has("giving up")) << rig.text;
    }
    {
        // A few zero readings are read past.
        RootOnRig rig(MainBoardRig(R"([{"kind": "sensor_bad_reading", "board": "Brimola1", "value": 0, "count": 3}])"));
        EXPECT_EQ(rig.Run(kDma + "Size=8192 Burst=4096"), 1u) << rig.text;
    }
}

}  // namespace
