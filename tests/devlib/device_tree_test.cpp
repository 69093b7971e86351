// Device tree look-ups on the default rig: boards, devices and spaces by list, name, type and index.
#include "rig_fixture.h"

namespace {

using devtest::RigTest;

TEST_F(RigTest, BoardsDevicesAndSpacesByListNameTypeAndIndex) {
    ASSERT_EQ(GetZorvHardware(), g_WexalHW);
    const int boards[] = {CZorvDevice::DEVTYPE_BRIMOLA, CZorvDevice::DEVTYPE_NUXA, CZorvDevice::DEVTYPE_END};
    std::vector<CZorvDevice*> list;
    ASSERT_EQ(g_WexalHW->GetDevList(boards, list), 2);
    EXPECT_EQ(list[0]->GetTag() + list[1]->GetTag(), "Brimola1Nuxa1");
    EXPECT_EQ(g_WexalHW->GetDevice("nuxa1"), list[1]) << "names compare without case";
    EXPECT_EQ(g_WexalHW->GetDevice(CZorvDevice::DEVTYPE_NUXA, 0), list[1]);
    EXPECT_FALSE(g_WexalHW->GetDevice("Nuxa2") || g_WexalHW->GetDevice(static_cast<const char*>(nullptr)) ||
                 g_WexalHW->GetDevice(CZorvDevice::DEVTYPE_NUXA, 1));
    CZorvDevice* clock = g_WexalHW->GetDevice(CZorvDevice::DEVTYPE_CLOCK, 0);
    ASSERT_NE(clock, nullptr);
    EXPECT_EQ(g_WexalHW->GetDevice(clock->GetTag()), clock) << "a clock device is found by its name too";
    // The breakout box hangs off the main board, with its conduit.
    CZorvDevice* box = g_WexalHW->GetDevice(CZorvDevice::DEVTYPE_FARNODEK, 0);
    ASSERT_NE(box, nullptr);
    EXPECT_NE(box->GetDevice(CZorvDevice::DEVTYPE_YORBFLOW, 0), nullptr);
    auto* boxSpace = dynamic_cast<CFarnoDeKAddrSpace*>(Board("Brimola1")->GetSpace(CDevAddrSpace::SPACE_FARNODEK, 0));
    ASSERT_NE(boxSpace, nullptr);
    EXPECT_TRUE(boxSpace->GetBoxDevice() == box && boxSpace->GetBoxDevice()->IsCableConnected());
    EXPECT_EQ(Board("Nuxa1")->GetSpace(CDevAddrSpace::SPACE_FARNODEK, 0), nullptr);

    CWexalBoardDevice* b = Board("Brimola1");
    EXPECT_EQ(b->GetSpace(CDevAddrSpace::SPACE_SDRAM, 0), b->GetSDRAMSpace());
    EXPECT_EQ(b->GetSpace("sdram"), b->GetSDRAMSpace());
    EXPECT_EQ(b->GetSDRAMSpace()->GetSize() + Sdram("Nuxa1")->GetSize(), 768ull << 20);
    EXPECT_EQ(b->GetSpace(CDevAddrSpace::SPACE_SDRAM, 1), nullptr);
    int index = 0;
    EXPECT_EQ(b->GetSpace(CDevAddrSpace::SPACE_BAR0, &index), b->GetBAR0Space());
    EXPECT_EQ(b->GetSpace(CDevAddrSpace::SPACE_I2C_DIMM, 1), b->GetSpace("I2C.DIMM2"));
    EXPECT_EQ(b->GetI2CDevice()->GetSpace("tsensor"), b->GetSpace("I2C.TSENSOR")) << "the controller test's name for it";
    EXPECT_EQ(b->GetSpace("X2V4000"), nullptr);
    EXPECT_EQ(CDevAddrSpace::EncodeType(CDevAddrSpace::SPACE_SDRAM) + CDevAddrSpace::EncodeType(CDevAddrSpace::SPACE_BAR0), "SDRAMBAR0");
    EXPECT_EQ(b->GetBoardID() * 0x100 + Board("Nuxa1")->GetBoardID(), 0x5253u);
    EXPECT_EQ(b->GetDMAChannel(63)->GetChannel(), 63u);
    EXPECT_FALSE(b->GetDMAChannel(64) || b->GetDMAChannel(-1));
    LoadJson(R"({"boards": []})");
    EXPECT_EQ(GetZorvHardware(), nullptr);
}

}  // namespace
