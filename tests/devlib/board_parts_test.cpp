// The I2C parts, product data, memory clock word and board controller as the library reaches them on the default rig.
#include "platform/clock.h"
#include "rig_fixture.h"
#include "sim/firmware_images.h"

namespace {

using devtest::RigTest;

TEST_F(RigTest, SpdSensorAndClockPartsThroughTheirSpaces) {
    CWexalBoardDevice* b = Board("Nuxa1");
    BYTE spd[2][32] = {};
    for (int m = 0; m < 2; ++m)
        for (DWORD i = 0; i < 32; ++i) ASSERT_EQ(b->GetSpace(m ? "I2C.DIMM2" : "I2C.DIMM1")->GetBytes(&spd[m][i], i, 1), 1);
    EXPECT_EQ((spd[0][5] * spd[0][31] * 4ull + spd[1][5] * spd[1][31] * 4ull) << 19, b->GetSDRAMSpace()->GetSize()) << "two modules: twice the SDRAM";
    BYTE x = 0;
    EXPECT_EQ(b->GetSpace("I2C.DIMM1")->GetBytes(&x, 256, 1) + b->GetSpace("I2C.DIMM1")->SetBytes(&x, 3, 1), 0) << "past the end; write-protected";
    // Sensor registers by the library's symbol names.
    auto* sensor = dynamic_cast<CDevRegSpace*>(b->GetSpace("I2C.TSENSOR"));
    ASSERT_NE(sensor, nullptr);
    const std::pair<const char*, DWORD> symbols[] = {{"LTEMP", 30}, {"1TEMP", 45}, {"2RHI", 85}, {"RCRIT", 100}, {"MANID", 1}};
    for (const auto& [name, value] : symbols) {
        CPPVarDesc d;
        DWORD v = 0;
        ASSERT_TRUE(sensor->GetSymbolDesc(name, &d)) << name;
        EXPECT_EQ(sensor->GetBytes(&v, d.offset, static_cast<int>(d.size)), static_cast<int>(d.size));
        EXPECT_EQ(v & 0xFF, value) << name;
    }
    CPPVarDesc none;
    EXPECT_FALSE(sensor->GetSymbolDesc("4TEMP", &none));
    // The clock command writes one address unit from a 32-bit value: its low byte.
    CDevAddrSpace* c1 = Board("Brimola1")->GetDevice(CZorvDevice::DEVTYPE_CLOCK, 0)->GetSpace("CLOCK1");
    const DWORD values[] = {0x208, 0x10};
    EXPECT_EQ(c1->Set(values, 0, 1) + c1->Set(&values[1], 1, 1), 2);
    BYTE back[2] = {};
    EXPECT_EQ(c1->Get(back, 0, 2), 2);
    EXPECT_EQ(back[0] * 0x100 + back[1], 0x0810);
    EXPECT_EQ(c1->Set(values, 8, 1), 0) << "no register 8";
}

TEST_F(RigTest, ProductDataFieldsAsTheReportsReadThem) {
    LoadJson(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}, {"tag": "Nuxa1", "kind": "nuxa",
                             "vpd": {"Z1": "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234"}}]})");
    const struct {
        const char *tag, *key, *text;
        PCI_VPD::ErrorCode rc;
    } rows[] = {{"Brimola1", "V0", "LOCV0202", PCI_VPD::VPD_OK}, {"Nuxa1", "V4", "FESK0202", PCI_VPD::VPD_OK},
                {"Nuxa1", "PN", "0418-27606-01", PCI_VPD::VPD_OK}, {"Nuxa1", "V0", "", PCI_VPD::VPD_KEY_NOT_FOUND},
                {"Nuxa1", "Z1", "0123456789012345678901234567890123456789012345678901234567890123456789012345678", PCI_VPD::VPD_OK}};
    for (const auto& row : rows) {
        char buf[80] = {};
        int len = 0;
        EXPECT_EQ(Board(row.tag)->GetBAR0Space()->GetVPDField(row.key, 79, buf, &len), row.rc) << row.key;
        EXPECT_EQ(std::string(buf), row.text) << row.tag << " " << row.key << ": at most the report's 79 characters";
    }
    int len = 0;
    EXPECT_EQ(Board("Nuxa1")->GetBAR0Space()->GetVPDField("Z1", 0, nullptr, &len), PCI_VPD::VPD_OK);
    EXPECT_EQ(len, 85) << "the whole length when no buffer is given";
}

TEST_F(RigTest, StoredClockWordIsOneDcbWordAndSurvivesARigReload) {
    support::TempDir dir;
    const std::string json = R"({"boards": [{"tag": "B1", "kind": "brimola", "memory_clock": {"store": ")" + dir.File("clk") + R"("}}]})";
    for (DWORD want : {0u, 150u}) {
        LoadJson(json.c_str());  // a power cycle
        EXPECT_EQ(Regs("B1")[0x613E0 / 4], want);
        EXPECT_EQ(Regs("B1")[0x613E4 / 4], 0u) << "the next word of that DCB stays an ordinary register";
        Regs("B1")[0x613E0 / 4] = 150;
        Regs("B1")[0x613E4 / 4] = 0xCAFE;
    }
    devlib::LoadDefaultRig();
    Regs("Brimola1")[0x613E0 / 4] = 150;
    devlib::LoadDefaultRig();
    EXPECT_EQ(Regs("Brimola1")[0x613E0 / 4], 0u) << "without a store the word starts at 0";
}

TEST_F(RigTest, ControllerBlockAndFpgaDownloadThroughBar0) {
    for (const char* tag : {"Brimola1", "Nuxa1"}) {
        CWexalBoardDevice* b = Board(tag);
        RegisterPtr c = b->GetControllerRegisters();
        EXPECT_EQ(c[0] & 0xFF, b->GetBoardID()) << tag;
        c[2] = 0x3F0001;
        EXPECT_EQ(c[3] >> 16, Regs(tag)[0x2000 / 4] >> 16) << "the VPD area through the port is what BAR0 0x2000 mirrors";
        const std::string info = b->GetInfoText().c_str();
        EXPECT_NE(info.find(std::string("N:") + (tag[0] == 'B' ? "ZVKX0202" : "KEZO0202") + ";R:0C75;"), std::string::npos) << info;
    }
    RegisterPtr c = Board("Brimola1")->GetControllerRegisters();
    c[5] = 1u << 16 | 0x400;
    c[5] = 1u << 16;
    Sleep(5);
    c[5] = 1u << 16 | 0x200;
    for (uint8_t x : sim::FirmwareData(*sim::FindFirmwareImage("VOKA"))) c[5] = 1u << 16 | 0x800300 | x;
    for (int i = 0; i < 16; ++i) c[5] = 1u << 16 | 0x800300;
    EXPECT_EQ(c[5] & 0xC000, 0xC000u);
    EXPECT_EQ(Regs("Brimola1")[0x1BFC8 / 4], 0x00302091u);
    EXPECT_EQ(Regs("Brimola1")[0xBFC8 / 4], 0xFFFFFFFFu) << "the keyer is not loaded";
}

}  // namespace
