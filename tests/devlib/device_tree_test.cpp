// Device tree look-ups on the default rig and on rigs with missing boards or spaces.
#include "rig_fixture.h"

namespace {

using devtest::RigTest;

TEST_F(RigTest, DefaultTreeHasBothBoardsFoundByListNameAndIndex) {
    ASSERT_EQ(GetZorvHardware(), g_WexalHW);
    EXPECT_EQ(g_WexalHW->GetType(), CZorvDevice::DEVTYPE_HOSTPC);
    const int boards[] = {CZorvDevice::DEVTYPE_BRIMOLA, CZorvDevice::DEVTYPE_NUXA, CZorvDevice::DEVTYPE_END};
    std::vector<CZorvDevice*> list;
    ASSERT_EQ(g_WexalHW->GetDevList(boards, list), 2);
    EXPECT_EQ(list[0]->GetTag() + list[1]->GetTag(), "Brimola1Nuxa1");
    EXPECT_EQ(list[1]->GetType(), CZorvDevice::DEVTYPE_NUXA);
    const int codecOnly[] = {3, 8};
    EXPECT_EQ(g_WexalHW->GetDevList(codecOnly, list), 1);
    EXPECT_EQ(g_WexalHW->GetDevice("nuxa1"), list[0]) << "names compare without case";
    EXPECT_EQ(g_WexalHW->GetDevice("Nuxa2"), nullptr);
    EXPECT_EQ(g_WexalHW->GetDevice(static_cast<const char*>(nullptr)), nullptr);
    EXPECT_EQ(g_WexalHW->GetDevice(CZorvDevice::DEVTYPE_NUXA, 0), list[0]);
    EXPECT_EQ(g_WexalHW->GetDevice(CZorvDevice::DEVTYPE_NUXA, 1), nullptr);
    CZorvDevice* clock = g_WexalHW->GetDevice(CZorvDevice::DEVTYPE_CLOCK, 0);
    ASSERT_NE(clock, nullptr);
    EXPECT_EQ(g_WexalHW->GetDevice(clock->GetTag()), clock) << "a clock device is found by its name too";
    // The breakout box hangs off the main board, with its conduit.
    CZorvDevice* box = g_WexalHW->GetDevice(CZorvDevice::DEVTYPE_FARNODEK, 0);
    ASSERT_NE(box, nullptr);
    EXPECT_NE(box->GetDevice(CZorvDevice::DEVTYPE_YORBFLOW, 0), nullptr);
    auto* boxSpace = dynamic_cast<CFarnoDeKAddrSpace*>(Board("Brimola1")->GetSpace(CDevAddrSpace::SPACE_FARNODEK, 0));
    ASSERT_NE(boxSpace, nullptr);
    EXPECT_EQ(boxSpace->GetBoxDevice(), box);
    EXPECT_TRUE(boxSpace->GetBoxDevice()->IsCableConnected());
    EXPECT_EQ(Board("Nuxa1")->GetSpace(CDevAddrSpace::SPACE_FARNODEK, 0), nullptr);
}

TEST_F(RigTest, SpacesByTypeIndexAndName) {
    CWexalBoardDevice* b = Board("Brimola1");
    CDevAddrSpace* sdram = b->GetSpace(CDevAddrSpace::SPACE_SDRAM, 0);
    ASSERT_NE(sdram, nullptr);
    EXPECT_EQ(sdram, b->GetSDRAMSpace());
    EXPECT_EQ(sdram->GetSize() + Sdram("Nuxa1")->GetSize(), 768ull << 20);
    EXPECT_EQ(b->GetSpace(CDevAddrSpace::SPACE_SDRAM, 1), nullptr);
    int index = 0;
    EXPECT_EQ(b->GetSpace(CDevAddrSpace::SPACE_BAR0, &index), b->GetBAR0Space());
    EXPECT_EQ(b->GetSpace("sdram"), sdram);
    EXPECT_EQ(b->GetSpace("I2C.DIMM1")->GetType(), CDevAddrSpace::SPACE_I2C_DIMM);
    EXPECT_EQ(b->GetSpace(CDevAddrSpace::SPACE_I2C_DIMM, 1), b->GetSpace("I2C.DIMM2"));
    EXPECT_EQ(b->GetI2CDevice()->GetSpace("tsensor"), b->GetSpace("I2C.TSENSOR")) << "the controller test's name for it";
    EXPECT_EQ(b->GetSpace("X2V4000"), nullptr);
    EXPECT_EQ(CDevAddrSpace::EncodeType(CDevAddrSpace::SPACE_SDRAM) + CDevAddrSpace::EncodeType(CDevAddrSpace::SPACE_BAR0), "SDRAMBAR0");
    EXPECT_EQ(b->GetBoardID() * 0x100 + Board("Nuxa1")->GetBoardID(), 0x5253u);
    EXPECT_EQ(b->GetDMAChannel(63)->GetChannel(), 63u);
    EXPECT_EQ(b->GetDMAChannel(64), nullptr);
    EXPECT_EQ(b->GetDMAChannel(-1), nullptr);
}

TEST_F(RigTest, MissingBoardAndMissingSpaceFaultsHideExactlyThem) {
    LoadJson(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}, {"tag": "Nuxa1", "kind": "nuxa"},
                            {"tag": "Brimola2", "kind": "brimola"}, {"tag": "Nuxa2", "kind": "nuxa"}],
                 "faults": [{"kind": "missing_board", "board": "Nuxa1"},
                            {"kind": "missing_space", "board": "Brimola2", "space": "SDRAM"},
                            {"kind": "missing_space", "board": "Brimola1", "space": "I2C.DIMM2"},
                            {"kind": "missing_space", "board": "Nuxa2", "space": "I2C.TSENSOR"},
                            {"kind": "missing_space", "board": "Nuxa2", "space": "CLOCK2"}]})");
    const int boards[] = {2, 3, 8};
    std::vector<CZorvDevice*> list;
    EXPECT_EQ(g_WexalHW->GetDevList(boards, list), 3);
    EXPECT_EQ(g_WexalHW->GetDevice("Nuxa1"), nullptr);
    EXPECT_EQ(Board("Brimola2")->GetSDRAMSpace(), nullptr);
    EXPECT_NE(Board("Brimola2")->GetSpace(CDevAddrSpace::SPACE_BAR0, 0), nullptr);
    EXPECT_NE(Board("Brimola1")->GetSpace(CDevAddrSpace::SPACE_SDRAM, 0), nullptr);
    EXPECT_NE(Board("Brimola1")->GetSpace("I2C.DIMM1"), nullptr);
    EXPECT_EQ(Board("Brimola1")->GetSpace("I2C.DIMM2"), nullptr);
    EXPECT_NE(Board("Nuxa2")->GetSpace("I2C.DIMM2"), nullptr);
    EXPECT_EQ(Board("Nuxa2")->GetI2CDevice()->GetSpace("TSENSOR"), nullptr);
    CZorvDevice* clock = Board("Nuxa2")->GetDevice(CZorvDevice::DEVTYPE_CLOCK, 0);
    EXPECT_NE(clock->GetSpace("CLOCK1"), nullptr);
    EXPECT_EQ(clock->GetSpace("CLOCK2"), nullptr);
    EXPECT_NE(Board("Brimola1")->GetDevice(CZorvDevice::DEVTYPE_CLOCK, 0)->GetSpace("CLOCK2"), nullptr);

    LoadJson(R"({"boards": []})");
    EXPECT_EQ(GetZorvHardware(), nullptr);
}

}  // namespace
