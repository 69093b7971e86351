// The device tree, and the I2C parts, product data, memory clock word and board controller as the library reaches them.
#include "rig_fixture.h"
#include "sim/device_names.h"

namespace {

using devtest::RigTest;

TEST_F(RigTest, TreeLookUpsPartsProductDataAndTheStoredClockWord) {
    const int boards[] = {CZorvDevice::DEVTYPE_BRIMOLA, CZorvDevice::DEVTYPE_NUXA, CZorvDevice::DEVTYPE_END};
    std::vector<CZorvDevice*> list;
    ASSERT_EQ(GetZorvHardware()->GetDevList(boards, list), 2);
    EXPECT_EQ(g_WexalHW->GetDevice("nuxa1"), list[1]) << "names compare without case";
    EXPECT_FALSE(g_WexalHW->GetDevice("Nuxa2") || g_WexalHW->GetDevice(static_cast<const char*>(nullptr)) ||
                 g_WexalHW->GetDevice(CZorvDevice::DEVTYPE_NUXA, 1));
    // The rig refuses a tag that is one of the library's own device names; they come from the same list.
    EXPECT_EQ(g_WexalHW->GetTag().str(), sim::kHostDeviceName);
    size_t parts = 0;
    for (CZorvDevice* board : list)
        for (std::vector<CZorvDevice*> below{board}; !below.empty();) {
            CZorvDevice* d = below.back();
            below.pop_back();
            for (int i = 0; i < d->GetDeviceCount(); ++i) below.push_back(d->GetChild(i));
            if (d == board) continue;
            bool listed = false;
            for (const sim::BoardPart part : sim::kBoardParts) listed = listed || d->GetTag().str() == sim::BoardPartDeviceName(board->GetTag().str(), part);
            EXPECT_TRUE(listed) << d->GetTag().str();
            ++parts;
        }
    EXPECT_EQ(parts, 8u) << "the I2C bus, the clock, the connector and its command conduit of each board";
    CWexalBoardDevice* b = Board("Brimola1");
    EXPECT_EQ(b->GetI2CDevice()->GetSpace("tsensor"), b->GetSpace("I2C.TSENSOR")) << "the controller test's name for it";
    EXPECT_FALSE(b->GetDMAChannel(64) || b->GetDMAChannel(-1) || b->GetSpace("X2V4000") || b->GetSpace(CDevAddrSpace::SPACE_SDRAM, 1));
    // The clock command writes one address unit from a 32-bit value: its low byte.
    CDevAddrSpace* c1 = b->GetDevice(CZorvDevice::DEVTYPE_CLOCK, 0)->GetSpace("CLOCK1");
    const DWORD value = 0x208;
    BYTE back = 0;
    EXPECT_EQ(c1->Set(&value, 0, 1) + c1->Set(&value, 8, 1), 1) << "no register 8";
    EXPECT_EQ(c1->Get(&back, 0, 1) * 0x100 + back, 0x108);
    LoadJson(R"({"boards": []})");
    EXPECT_EQ(GetZorvHardware(), nullptr);
    // Product data fields as the reports read them.
    LoadJson(R"({"boards": [{"tag": "N", "kind": "nuxa", "vpd": {"Z1": "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234"}}]})");
    const struct { const char *key, *text; PCI_VPD::ErrorCode rc; } rows[] = {
        {"V4", "FESK0202", PCI_VPD::VPD_OK}, {"PN", "0418-27606-01", PCI_VPD::VPD_OK}, {"V0", "", PCI_VPD::VPD_KEY_NOT_FOUND},
        {"Z1", "0123456789012345678901234567890123456789012345678901234567890123456789012345678", PCI_VPD::VPD_OK}};
    for (const auto& row : rows) {
        char buf[80] = {};
        int len = 0;
        EXPECT_EQ(Board("N")->GetBAR0Space()->GetVPDField(row.key, 79, buf, &len), row.rc) << row.key;
        EXPECT_EQ(std::string(buf), row.text) << row.key << ": at most the report's 79 characters";
    }
    int len = 0;
    EXPECT_EQ(Board("N")->GetBAR0Space()->GetVPDField("Z1", 0, nullptr, &len), PCI_VPD::VPD_OK);
    EXPECT_EQ(len, 85) << "the whole length when no buffer is given";
    // The stored clock word is one DCB word and survives a rig reload with a store.
    support::TempDir store;
    const std::string json = R"({"boards": [{"tag": "B1", "kind": "brimola", "memory_clock": {"store": ")" + store.File("clk") + R"("}}]})";
    for (DWORD want : {0u, 150u}) {
        LoadJson(json.c_str());  // a power cycle
        EXPECT_EQ(Regs("B1")[0x613E0 / 4], want);
        EXPECT_EQ(Regs("B1")[0x613E4 / 4], 0u) << "the next word of that DCB stays an ordinary register";
        Regs("B1")[0x613E0 / 4] = 150;
        Regs("B1")[0x613E4 / 4] = 0xCAFE;
    }
    LoadJson(R"({"boards": [{"tag": "B1", "kind": "brimola"}]})");
    EXPECT_EQ(Regs("B1")[0x613E0 / 4], 0u) << "without a store the word starts at 0";
}

}  // namespace
