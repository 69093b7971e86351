// The I2C parts, product data and memory clock as the library reaches them: spaces, symbols, VPD fields, BAR0 registers, faults.
#include "rig_fixture.h"

namespace {

using devtest::RigTest;

// The 128 SPD bytes of a module read one at a time, as the DIMM report reads them.
std::vector<BYTE> ReadSpd(CDevAddrSpace* s) {
    std::vector<BYTE> b(128);
    for (DWORD i = 0; i < 128; ++i) EXPECT_EQ(s->GetBytes(&b[i], i, 1), 1) << "byte " << i;
    return b;
}

// A sensor register read by symbol as the temperature reports do: address and size from the symbol table.
DWORD Symbol(CDevAddrSpace* space, const char* name) {
    auto* regs = dynamic_cast<CDevRegSpace*>(space);
    CPPVarDesc d;
    DWORD v = 0;
    if (!regs || !regs->GetSymbolDesc(name, &d) || regs->GetBytes(&v, d.offset, static_cast<int>(d.size)) != static_cast<int>(d.size))
        return 0xDEAD;
    return v & 0xFF;
}

std::string Field(CWexalBoardDevice* b, const char* key, PCI_VPD::ErrorCode* rc) {
    char buf[80] = {};
    int len = 0;
    *rc = b->GetBAR0Space()->GetVPDField(key, 79, buf, &len);
    return len > 0 ? std::string(buf, static_cast<size_t>(std::min(len, 79))) : std::string();
}

TEST_F(RigTest, SpdSensorAndClockPartsThroughTheirSpaces) {
    for (const char* tag : {"Brimola1", "Nuxa1"}) {
        SCOPED_TRACE(tag);
        CWexalBoardDevice* b = Board(tag);
        const auto s1 = ReadSpd(b->GetSpace("I2C.DIMM1")), s2 = ReadSpd(b->GetSpace("I2C.DIMM2"));
        // Rows 13 and columns 11 (main) or 10 (codec); both modules together are twice the SDRAM.
        EXPECT_EQ(s1[3] * 100 + s1[4], tag[0] == 'B' ? 1311 : 1310);
        EXPECT_EQ((s1[5] * s1[31] * 4ull + s2[5] * s2[31] * 4ull) << 19, b->GetSDRAMSpace()->GetSize());
        BYTE x = 0;
        EXPECT_EQ(b->GetSpace("I2C.DIMM1")->GetBytes(&x, 256, 1), 0);
        EXPECT_EQ(b->GetSpace("I2C.DIMM1")->SetBytes(&x, 3, 1), 0) << "write-protected";
    }
    CDevAddrSpace* sensor = Board("Nuxa1")->GetSpace("I2C.TSENSOR");
    const std::pair<const char*, DWORD> symbols[] = {{"LTEMP", 30}, {"1TEMP", 45}, {"3TEMP", 42}, {"2RHI", 85},
                                                     {"STAT2", 0},  {"RCRIT", 100}, {"MANID", 1}, {"4TEMP", 0xDEAD}};
    for (const auto& [name, value] : symbols) EXPECT_EQ(Symbol(sensor, name), value) << name;
    // The clock command writes one address unit from a 32-bit value: its low byte.
    CZorvDevice* clock = Board("Brimola1")->GetDevice(CZorvDevice::DEVTYPE_CLOCK, 0);
    CDevAddrSpace* c1 = clock->GetSpace("CLOCK1");
    ASSERT_NE(c1, nullptr);
    EXPECT_NE(Board("Nuxa1")->GetDevice(CZorvDevice::DEVTYPE_CLOCK, 0)->GetSpace("CLOCK1"), c1) << "a synthesiser per board";
    const DWORD values[] = {0x208, 0x10, 0x102, 0x21};
    for (DWORD r = 0; r < 4; ++r) EXPECT_EQ(c1->Set(&values[r], r, 1), 1);
    BYTE back[8] = {};
    EXPECT_EQ(c1->Get(back, 0, 8), 8);
    EXPECT_EQ(back[0] * 0x1000000u + back[2] * 0x10000u + back[3] * 0x100u + back[4], 0x08022101u) << "register 4 untouched";
    clock->GetSpace("CLOCK2")->Get(back, 0, 1);
    EXPECT_EQ(back[0], 0x50) << "CLOCK2 is a part of its own";
    EXPECT_EQ(c1->Set(&values[0], 8, 1), 0) << "no register 8";
}

TEST_F(RigTest, SensorAndSpdFaultsShowOnTheirBoardOnly) {
    LoadJson(R"({"boards": [{"tag": "B1", "kind": "brimola"}, {"tag": "B2", "kind": "nuxa"}],
                 "faults": [{"kind": "sensor_over_limit", "board": "B1", "sensor": "3TEMP", "by": 10},
                            {"kind": "spd_wrong_geometry", "board": "B2", "module": 1, "rows": 13, "columns": 11}]})");
    CDevAddrSpace* s1 = Board("B1")->GetSpace("I2C.TSENSOR");
    EXPECT_EQ(Symbol(s1, "3TEMP"), 95u);
    EXPECT_EQ(Symbol(s1, "STAT2") & 0x10, 0x10u);
    EXPECT_EQ(Symbol(Board("B2")->GetSpace("I2C.TSENSOR"), "3TEMP"), 42u);
    EXPECT_EQ(ReadSpd(Board("B2")->GetSpace("I2C.DIMM1"))[4], 11) << "a main-board geometry on the codec board";
    EXPECT_EQ(ReadSpd(Board("B2")->GetSpace("I2C.DIMM2"))[4], 10);
}

TEST_F(RigTest, ProductDataFieldsAndWhatEachFaultMakesOfThem) {
    LoadJson(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}, {"tag": "Nuxa1", "kind": "nuxa",
                             "vpd": {"Z1": "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234"}},
                            {"tag": "N", "kind": "brimola"}, {"tag": "V", "kind": "brimola"}, {"tag": "E", "kind": "brimola"},
                            {"tag": "L", "kind": "brimola"}, {"tag": "C", "kind": "brimola"}, {"tag": "M", "kind": "nuxa"}],
                 "faults": [{"kind": "vpd_broken", "board": "N", "part": "name_tag"},
                            {"kind": "vpd_broken", "board": "V", "part": "vpd_tag"},
                            {"kind": "vpd_broken", "board": "E", "part": "end_tag"},
                            {"kind": "vpd_broken", "board": "L", "part": "length"},
                            {"kind": "vpd_broken", "board": "C", "part": "checksum"},
                            {"kind": "vpd_missing_field", "board": "M", "field": "V4"}]})");
    const struct {
        const char *tag, *key, *text;
        PCI_VPD::ErrorCode rc;
    } rows[] = {
        {"Brimola1", "V0", "LOCV0202", PCI_VPD::VPD_OK},      {"Nuxa1", "V4", "FESK0202", PCI_VPD::VPD_OK},
        {"Nuxa1", "PN", "0418-27606-01", PCI_VPD::VPD_OK},     {"Nuxa1", "V0", "", PCI_VPD::VPD_KEY_NOT_FOUND},
        {"N", "SN", "", PCI_VPD::VPD_BAD_FORMAT},              {"V", "SN", "", PCI_VPD::VPD_BAD_FORMAT},
        {"E", "SN", "", PCI_VPD::VPD_BAD_FORMAT},              {"L", "SN", "", PCI_VPD::VPD_BAD_FORMAT},
        {"C", "SN", "", PCI_VPD::VPD_BAD_CHECKSUM},            {"M", "V4", "", PCI_VPD::VPD_KEY_NOT_FOUND},
        {"M", "V3", "FESK0202", PCI_VPD::VPD_OK},
    };
    for (const auto& row : rows) {
        PCI_VPD::ErrorCode rc = PCI_VPD::VPD_OK;
        EXPECT_EQ(Field(Board(row.tag), row.key, &rc), row.text) << row.tag << " " << row.key;
        EXPECT_EQ(rc, row.rc) << row.tag << " " << row.key;
    }
    PCI_VPD::ErrorCode rc = PCI_VPD::VPD_OK;
    EXPECT_EQ(Field(Board("Brimola1"), "ZB", &rc).substr(0, 4) + Field(Board("Brimola1"), "ZC", &rc).substr(0, 4), "0202");
    // A field longer than the report's 79 characters reads whole when the buffer allows.
    int len = 0;
    EXPECT_EQ(Board("Nuxa1")->GetBAR0Space()->GetVPDField("Z1", 0, nullptr, &len), PCI_VPD::VPD_OK);
    EXPECT_EQ(len, 85);
    EXPECT_EQ(Field(Board("Nuxa1"), "Z1", &rc).size(), 79u);
}

// The settings in [lo, hi] at which 64 KiB of SDRAM read back what was written, the clock set through
// BAR0 as the calibration does (256 steps up, then 255 - v down).
std::vector<int> PassingSettings(CWexalBoardDevice* b, int lo, int hi) {
    RegisterPtr r = b->GetBAR0Space()->GetRegisterPointer(0, 0x100000);
    std::vector<DWORD> out(0x4000), in(0x4000);
    std::vector<int> pass;
    for (int v = lo; v <= hi; ++v) {
        for (int i = 0; i < 256; ++i) r[0x7F004 / 4] = 1;
        for (int i = 0; i < 255 - v; ++i) r[0x7F000 / 4] = 0;
        for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<DWORD>(v) * 0x01000193u ^ static_cast<DWORD>(i * 0x9E3779B9u);
        b->GetSDRAMSpace()->Set(out.data(), 0, 0x10000);
        b->GetSDRAMSpace()->Get(in.data(), 0, 0x10000);
        if (in == out) pass.push_back(v);
    }
    return pass;
}

TEST_F(RigTest, MemoryClockWindowThroughBar0AndOnItsBoardOnly) {
    const std::vector<int> pass = PassingSettings(Board("Nuxa1"), 90, 250);
    ASSERT_EQ(pass.size(), 101u);
    EXPECT_EQ(pass.front(), 110);
    LoadJson(R"({"boards": [{"tag": "B1", "kind": "brimola", "sdram_mib": 64}, {"tag": "B2", "kind": "nuxa", "sdram_mib": 64}],
                 "faults": [{"kind": "clock_no_window", "board": "B1"}]})");
    EXPECT_TRUE(PassingSettings(Board("B1"), 100, 220).empty());
    EXPECT_EQ(PassingSettings(Board("B2"), 105, 115).front(), 110) << "the other board keeps its window";
}

TEST_F(RigTest, StoredClockWordIsOneDcbWordAndSurvivesARigReload) {
    support::TempDir dir;
    const std::string json = R"({"boards": [{"tag": "B1", "kind": "brimola", "memory_clock": {"store": ")" + dir.File("clk") + R"("}}]})";
    LoadJson(json.c_str());
    RegisterPtr r = Regs("B1");
    EXPECT_EQ(r[0x613E0 / 4], 0u) << "never calibrated";
    r[0x613E0 / 4] = 150;
    r[0x613E4 / 4] = 0xCAFE;  // the next word of that DCB stays an ordinary register
    LoadJson(json.c_str());   // a power cycle
    r = Regs("B1");
    EXPECT_EQ(r[0x613E0 / 4], 150u);
    EXPECT_EQ(r[0x613E4 / 4], 0u);
    devlib::LoadDefaultRig();
    Regs("Brimola1")[0x613E0 / 4] = 150;
    devlib::LoadDefaultRig();
    EXPECT_EQ(Regs("Brimola1")[0x613E0 / 4], 0u) << "without a store the word starts at 0";
}

}  // namespace
