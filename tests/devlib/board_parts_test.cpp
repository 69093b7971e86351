// The I2C parts, product data and memory clock as the library reaches them: spaces, symbols, VPD fields, BAR0 registers, faults.
#include <cstdio>
#include <fstream>
#include <unistd.h>

#include "rig_fixture.h"

namespace {

using devtest::RigTest;

// The 128 SPD bytes of a module read one at a time, as the DIMM report reads them.
std::vector<BYTE> ReadSpd(CDevAddrSpace* s) {
    std::vector<BYTE> b(128);
    for (DWORD i = 0; i < 128; ++i) EXPECT_EQ(s->GetBytes(&b[i], i, 1), 1) << "byte " << i;
    return b;
}

// A sensor register read by symbol as the temperature reports do: address and size from the
// symbol table, into a DWORD; the first byte read is the value.
bool ReadSymbol(CDevAddrSpace* space, const char* name, DWORD* value) {
    auto* regs = dynamic_cast<CDevRegSpace*>(space);
    if (!regs) return false;
    CPPVarDesc d;
    if (!regs->GetSymbolDesc(name, &d)) return false;
    DWORD v = 0;
    if (regs->GetBytes(&v, d.offset, static_cast<int>(d.size)) != static_cast<int>(d.size)) return false;
    *value = v & 0xFF;
    return true;
}

DWORD Symbol(CDevAddrSpace* space, const char* name) {
    DWORD v = 0xDEAD;
    EXPECT_TRUE(ReadSymbol(space, name, &v)) << name;
    return v;
}

std::string Field(CWexalBoardDevice* b, const char* key, PCI_VPD::ErrorCode* rc = nullptr) {
    char buf[80] = {};
    int len = 0;
    const PCI_VPD::ErrorCode r = b->GetBAR0Space()->GetVPDField(key, 79, buf, &len);
    if (rc) *rc = r;
    return len > 0 ? std::string(buf, static_cast<size_t>(std::min(len, 79))) : std::string();
}

TEST_F(RigTest, SpdOfBothModulesDescribesTheBoardsMemory) {
    for (const char* tag : {"Brimola1", "Nuxa1"}) {
        SCOPED_TRACE(tag);
        CWexalBoardDevice* b = Board(tag);
        CDevAddrSpace* d1 = b->GetSpace("I2C.DIMM1");
        CDevAddrSpace* d2 = b->GetSpace("I2C.DIMM2");
        ASSERT_NE(d1, nullptr);
        ASSERT_NE(d2, nullptr);
        EXPECT_EQ(d1->GetType(), CDevAddrSpace::SPACE_I2C_DIMM);
        const auto s1 = ReadSpd(d1), s2 = ReadSpd(d2);
        EXPECT_TRUE(std::equal(s1.begin(), s1.begin() + 67, s2.begin()));
        // The board-specific checks: rows 13 and columns 11 (main) or 10 (codec); 512 or 256 MB per module.
        const bool main = std::string(tag) == "Brimola1";
        EXPECT_EQ(s1[3], 13);
        EXPECT_EQ(s1[4], main ? 11 : 10);
        EXPECT_EQ(s1[5] * s1[31] * 4u, main ? 512u : 256u);
        // Both modules together are twice the SDRAM: the memory stress test tests half of their sum.
        const ULONGLONG total = (ULONGLONG{s1[5]} * s1[31] * 4 + ULONGLONG{s2[5]} * s2[31] * 4) << 20;
        EXPECT_EQ(total / 2, b->GetSDRAMSpace()->GetSize());
        BYTE x = 0;
        EXPECT_EQ(d1->GetBytes(&x, 256, 1), 0);
        EXPECT_EQ(d1->SetBytes(&x, 3, 1), 0) << "write-protected";
        EXPECT_EQ(ReadSpd(d1)[3], 13);
    }
}

TEST_F(RigTest, SensorRegistersBySymbolThroughEitherName) {
    for (const char* tag : {"Brimola1", "Nuxa1"}) {
        SCOPED_TRACE(tag);
        CWexalBoardDevice* b = Board(tag);
        CDevAddrSpace* s = b->GetSpace("I2C.TSENSOR");
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(b->GetI2CDevice()->GetSpace("TSENSOR"), s) << "the controller test's name for it";
        EXPECT_EQ(b->GetI2CDevice()->GetSpace("tsensor"), s);
        EXPECT_EQ(b->GetSpace("I2C.DIMM3"), nullptr);
        EXPECT_EQ(b->GetI2CDevice()->GetSpace("I2C"), nullptr);
        ASSERT_TRUE(s->AreSymbolsAvailable());
        const std::pair<const char*, DWORD> expected[] = {
            {"LTEMP", 30}, {"1TEMP", 45}, {"2TEMP", 40}, {"3TEMP", 42}, {"LRHI", 70},   {"1RHI", 85},  {"2RHI", 85},
            {"3RHI", 85},  {"RCONF", 0},  {"STAT1", 0},  {"STAT2", 0},  {"RCRIT", 100}, {"MANID", 1}, {"STEP", 3},
        };
        for (const auto& [name, value] : expected) EXPECT_EQ(Symbol(s, name), value) << name;
        DWORD v = 7;
        EXPECT_FALSE(ReadSymbol(s, "4TEMP", &v));
        EXPECT_EQ(v, 7u) << "an unknown name leaves the value alone";
        CPPVarDesc d;
        ASSERT_NE(dynamic_cast<CDevRegSpace*>(s)->GetSymbolDesc("1TEMP", &d), nullptr);
        EXPECT_EQ(d.size, 1u);
    }
}

TEST_F(RigTest, ClockSynthesisersAreSpacesOfTheBoardsClockDevice) {
    CWexalBoardDevice* main = Board("Brimola1");
    CZorvDevice* clock = main->GetDevice(CZorvDevice::DEVTYPE_CLOCK, 0);
    ASSERT_NE(clock, nullptr);
    EXPECT_EQ(Board("Nuxa1")->GetDevice(CZorvDevice::DEVTYPE_CLOCK, 0)->GetSpace("CLOCK1") == clock->GetSpace("CLOCK1"), false)
        << "each board has its own synthesisers";
    CDevAddrSpace* c1 = clock->GetSpace("CLOCK1");
    CDevAddrSpace* c2 = clock->GetSpace("CLOCK2");
    ASSERT_NE(c1, nullptr);
    ASSERT_NE(c2, nullptr);
    EXPECT_EQ(c1->GetType(), CDevAddrSpace::SPACE_I2C_CLOCK);
    // The clock command writes one address unit from a 32-bit value: its low byte.
    const DWORD values[] = {0x208, 0x10, 0x102, 0x21};
    for (DWORD r = 0; r < 4; ++r) EXPECT_EQ(c1->Set(&values[r], r, 1), 1);
    BYTE back[8] = {};
    EXPECT_EQ(c1->Get(back, 0, 8), 8);
    EXPECT_EQ(back[0], 0x08);
    EXPECT_EQ(back[2], 0x02);
    EXPECT_EQ(back[3], 0x21);
    EXPECT_EQ(back[4], 0x01) << "untouched registers keep their power-up values";
    c2->Get(back, 0, 1);
    EXPECT_EQ(back[0], 0x50) << "CLOCK2 is a part of its own";
    EXPECT_EQ(c1->Set(&values[0], 8, 1), 0) << "no register 8";
}

TEST_F(RigTest, MissingI2CSpacesHideExactlyThem) {
    LoadJson(R"({"boards": [{"tag": "B1", "kind": "brimola"}, {"tag": "B2", "kind": "nuxa"}],
                 "faults": [{"kind": "missing_space", "board": "B1", "space": "I2C.DIMM2"},
                            {"kind": "missing_space", "board": "B2", "space": "I2C.TSENSOR"},
                            {"kind": "missing_space", "board": "B2", "space": "CLOCK2"}]})");
    EXPECT_NE(Board("B1")->GetSpace("I2C.DIMM1"), nullptr);
    EXPECT_EQ(Board("B1")->GetSpace("I2C.DIMM2"), nullptr);
    EXPECT_NE(Board("B1")->GetSpace("I2C.TSENSOR"), nullptr);
    EXPECT_NE(Board("B2")->GetSpace("I2C.DIMM2"), nullptr);
    EXPECT_EQ(Board("B2")->GetSpace("I2C.TSENSOR"), nullptr);
    EXPECT_EQ(Board("B2")->GetI2CDevice()->GetSpace("TSENSOR"), nullptr);
    CZorvDevice* clock = Board("B2")->GetDevice(CZorvDevice::DEVTYPE_CLOCK, 0);
    EXPECT_NE(clock->GetSpace("CLOCK1"), nullptr);
    EXPECT_EQ(clock->GetSpace("CLOCK2"), nullptr);
    EXPECT_NE(Board("B1")->GetDevice(CZorvDevice::DEVTYPE_CLOCK, 0)->GetSpace("CLOCK2"), nullptr);
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
    EXPECT_EQ(ReadSpd(Board("B1")->GetSpace("I2C.DIMM1"))[4], 11);
}

// The structure walk of the VPD check over the BAR0 image: which tag is missing first (0 none).
int FirstBadTag(CWexalBoardDevice* b) {
    RegisterPtr r = b->GetBAR0Space()->GetRegisterPointer(0, 0x100000);
    BYTE img[0x400];
    for (int i = 0; i < 0x100; ++i) {
        const DWORD w = r[(0x2000 + 4 * i) / 4];
        std::memcpy(img + 4 * i, &w, 4);
    }
    if (img[0] != 0x82) return 0x82;
    DWORD pos = img[1] + 256u * img[2] + 3;
    if (pos >= 0x400 || img[pos] != 0x90) return 0x90;
    pos = pos + img[pos + 1] + 256u * img[pos + 2] + 3;
    if (pos >= 0x3FE || img[pos] != 0x79) return 0x79;
    if (img[pos + 1] != 0) ++pos;
    return img[pos + 1] == 0 ? 0 : 0x00FF;
}

TEST_F(RigTest, ProductDataFieldsOfHealthyBoards) {
    CWexalBoardDevice* main = Board("Brimola1");
    CWexalBoardDevice* codec = Board("Nuxa1");
    EXPECT_EQ(FirstBadTag(main), 0);
    EXPECT_EQ(FirstBadTag(codec), 0);
    EXPECT_EQ(Field(main, "ZB").substr(0, 4) + Field(main, "ZC").substr(0, 4), "0202");
    EXPECT_EQ(Field(main, "V0"), "LOCV0202");
    EXPECT_EQ(Field(codec, "V4"), "FESK0202");
    EXPECT_EQ(Field(codec, "PN"), "0418-27606-01");
    PCI_VPD::ErrorCode rc = PCI_VPD::VPD_OK;
    EXPECT_EQ(Field(codec, "V0", &rc), "");
    EXPECT_EQ(rc, PCI_VPD::VPD_KEY_NOT_FOUND);

    // A field longer than the report's 79 characters reads whole when the buffer allows.
    LoadJson(R"({"boards": [{"tag": "B1", "kind": "nuxa", "vpd": {"Z1": "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234"}}]})");
    int len = 0;
    EXPECT_EQ(Board("B1")->GetBAR0Space()->GetVPDField("Z1", 0, nullptr, &len), PCI_VPD::VPD_OK);
    EXPECT_EQ(len, 85);
    EXPECT_EQ(Field(Board("B1"), "Z1").size(), 79u);
}

TEST_F(RigTest, ProductDataFaultsBreakTheStructureOrTheFields) {
    LoadJson(R"({"boards": [{"tag": "N", "kind": "brimola"}, {"tag": "V", "kind": "brimola"}, {"tag": "E", "kind": "brimola"},
                            {"tag": "L", "kind": "brimola"}, {"tag": "C", "kind": "brimola"}, {"tag": "M", "kind": "nuxa"}],
                 "faults": [{"kind": "vpd_broken", "board": "N", "part": "name_tag"},
                            {"kind": "vpd_broken", "board": "V", "part": "vpd_tag"},
                            {"kind": "vpd_broken", "board": "E", "part": "end_tag"},
                            {"kind": "vpd_broken", "board": "L", "part": "length"},
                            {"kind": "vpd_broken", "board": "C", "part": "checksum"},
                            {"kind": "vpd_missing_field", "board": "M", "field": "V4"}]})");
    const std::pair<const char*, int> walk[] = {{"N", 0x82}, {"V", 0x90}, {"E", 0x79}, {"L", 0x79}, {"C", 0}, {"M", 0}};
    for (const auto& [tag, bad] : walk) EXPECT_EQ(FirstBadTag(Board(tag)), bad) << tag;
    PCI_VPD::ErrorCode rc = PCI_VPD::VPD_OK;
    for (const char* tag : {"N", "V", "E", "L"}) {
        EXPECT_EQ(Field(Board(tag), "SN", &rc), "") << tag;
        EXPECT_EQ(rc, PCI_VPD::VPD_BAD_FORMAT) << tag;
    }
    // The structure walk cannot see a bad checksum; the field reader refuses the image.
    EXPECT_EQ(Field(Board("C"), "SN", &rc), "");
    EXPECT_EQ(rc, PCI_VPD::VPD_BAD_CHECKSUM);
    EXPECT_EQ(Field(Board("M"), "V4", &rc), "");
    EXPECT_EQ(rc, PCI_VPD::VPD_KEY_NOT_FOUND);
    EXPECT_EQ(Field(Board("M"), "V3", &rc), "FESK0202");
    EXPECT_EQ(rc, PCI_VPD::VPD_OK);
}

// Sets the memory clock through BAR0 as the calibration does.
void SetClock(RegisterPtr r, int v) {
    for (int i = 0; i < 256; ++i) r[0x7F004 / 4] = 1;
    for (int i = 0; i < 255 - v; ++i) r[0x7F000 / 4] = 0;
}

// The settings in [lo, hi] at which 64 KiB of SDRAM read back what was written.
std::vector<int> PassingSettings(CWexalBoardDevice* b, int lo, int hi) {
    RegisterPtr r = b->GetBAR0Space()->GetRegisterPointer(0, 0x100000);
    CWexalSDRAMSpace* s = b->GetSDRAMSpace();
    std::vector<DWORD> out(0x4000), in(0x4000);
    std::vector<int> pass;
    for (int v = lo; v <= hi; ++v) {
        SetClock(r, v);
        for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<DWORD>(v) * 0x01000193u ^ static_cast<DWORD>(i * 0x9E3779B9u);
        s->Set(out.data(), 0, 0x10000);
        s->Get(in.data(), 0, 0x10000);
        if (in == out) pass.push_back(v);
    }
    return pass;
}

TEST_F(RigTest, MemoryClockWindowThroughBar0AndOnItsBoardOnly) {
    std::vector<int> pass = PassingSettings(Board("Nuxa1"), 90, 250);
    ASSERT_EQ(pass.size(), 101u);
    EXPECT_EQ(pass.front(), 110);
    EXPECT_EQ(pass.back(), 210);

    LoadJson(R"({"boards": [{"tag": "B1", "kind": "brimola", "sdram_mib": 64}, {"tag": "B2", "kind": "nuxa", "sdram_mib": 64}],
                 "faults": [{"kind": "clock_no_window", "board": "B1"}]})");
    EXPECT_TRUE(PassingSettings(Board("B1"), 100, 220).empty());
    EXPECT_EQ(PassingSettings(Board("B2"), 105, 115).front(), 110) << "the other board keeps its window";
}

TEST_F(RigTest, StoredClockWordIsOneDcbWordAndSurvivesARigReload) {
    char path[] = "/tmp/clockstoreXXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::remove(path);
    const std::string json = std::string(R"({"boards": [{"tag": "B1", "kind": "brimola", "memory_clock": {"store": ")") + path +
                             R"("}}]})";
    LoadJson(json.c_str());
    RegisterPtr r = Board("B1")->GetBAR0Space()->GetRegisterPointer(0, 0x100000);
    EXPECT_EQ(r[0x613E0 / 4], 0u) << "never calibrated";
    r[0x613E0 / 4] = 150;
    r[0x613E4 / 4] = 0xCAFE;  // the next word of that DCB stays an ordinary register
    EXPECT_EQ(r[0x613E0 / 4], 150u);
    EXPECT_EQ(r[0x613E4 / 4], 0xCAFEu);

    LoadJson(json.c_str());  // a power cycle
    r = Board("B1")->GetBAR0Space()->GetRegisterPointer(0, 0x100000);
    EXPECT_EQ(r[0x613E0 / 4], 150u);
    EXPECT_EQ(r[0x613E4 / 4], 0u);
    std::remove(path);

    devlib::LoadDefaultRig();
    r = Regs("Brimola1");
    r[0x613E0 / 4] = 150;
    devlib::LoadDefaultRig();
    EXPECT_EQ(Regs("Brimola1")[0x613E0 / 4], 0u) << "without a store the word starts at 0";
}

}  // namespace
