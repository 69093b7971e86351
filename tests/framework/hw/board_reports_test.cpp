// Tests of the tree-map base's board reports: DIMM SPD checks, VPD structure and serial, temperature, flash revision.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "devlib/rig.h"
#include "tests/framework/hw/board_dma.h"

namespace {

using support::Count;
using support::RecordingTreeTest;
using support::ScopedRig;

using Spd = std::array<BYTE, 256>;

// A bound test whose DIMM checks are the main-board root's, keeping the background of styled text.
class ReportTest : public hwtest::BoundTest {
public:
    explicit ReportTest(const char* board = "Brimola1") : BoundTest(board) {}
    BOOL CheckDIMMGeometry(BYTE rows, BYTE columns, CString& message) override {
        if (!boardChecks || (rows == 13 && (columns == 10 || columns == 11))) return TRUE;
        message.Format("Incorrect Number of Row/Column addresses,exp: R=13,C=[10 | 11] act:R=%d,C=%d", rows, columns);
        return FALSE;
    }
    BOOL CheckDIMMSize(DWORD sizeMB, CString& message) override {
        if (!boardChecks || sizeMB == 512) return TRUE;
        message.Format("Incorrect Size Expect:512MB   Actual:%dMB", static_cast<int>(sizeMB));
        return FALSE;
    }
    void PrintStyled(CString text, COLORREF colour, COLORREF background, BOOL underline) override {
        backgrounds.push_back(background);
        RecordingTreeTest::PrintStyled(text, colour, background, underline);
    }
    // Puts SPD spaces with the healthy bytes plus edits on the board itself (found before its I2C bus).
    void EditSpd(std::vector<std::pair<int, BYTE>> edits1, std::vector<std::pair<int, BYTE>> edits2) {
        for (int m : {1, 2}) {
            Spd bytes{};
            EXPECT_EQ(Board()->GetI2CDevice()->GetSpace(m == 1 ? "I2C.DIMM1" : "I2C.DIMM2")->GetBytes(bytes.data(), 0, 256), 256);
            for (auto [at, v] : m == 1 ? edits1 : edits2) bytes[static_cast<size_t>(at)] = v;
            if (auto* fake = dynamic_cast<FakeSpd*>(Board()->GetSpace(m == 1 ? "I2C.DIMM1" : "I2C.DIMM2"))) {
                fake->bytes = bytes;
            } else {
                Board()->AddSpace(std::make_unique<FakeSpd>(m == 1 ? "I2C.DIMM1" : "I2C.DIMM2", bytes));
            }
        }
    }
    bool boardChecks = false;
    std::vector<COLORREF> backgrounds;

private:
    struct FakeSpd : CDevAddrSpace {
        FakeSpd(const char* name, const Spd& b) : CDevAddrSpace(SPACE_I2C_DIMM, name, "", 256, {1, 1, 1, 1, 1}), bytes(b) {}
        int Get(void* buffer, DWORD address, int count) override {
            if (address >= 256) return 0;
            const int n = std::min<int>(256 - static_cast<int>(address), count);
            std::memcpy(buffer, bytes.data() + address, static_cast<size_t>(n));
            return n;
        }
        Spd bytes;
    };
};

std::string OneBoard(const std::string& faults, const std::string& extra = "") {
    return R"({"boards": [{"tag": "Brimola1", "kind": "brimola")" + extra + R"(}], "faults": [)" + faults + "]}";
}

TEST(BoardReportTest, HealthyModulesDecodeAndPass) {
    devlib::LoadDefaultRig();
    ReportTest test;
    test.boardChecks = true;
    EXPECT_TRUE(test.ShowDIMMInfo(1));
    const std::string& out = test.out.text;
    EXPECT_TRUE(test.out.HasColoured("DIMMS have the same parameters\n", kColorGreen));
    EXPECT_TRUE(test.out.HasColoured("DIMM Module ID check PASSES\n", kColorGreen));
    EXPECT_EQ(Count(out, "        Size: 512 MB\n          = DIMM[5] * DIMM[31] * 4\n"), 2u);
    EXPECT_EQ(Count(out, "   Valid CLs: 2  , 2.5  (Using: CL=2.5)\n"), 2u);
    EXPECT_EQ(Count(out, "  MCC@CL=2.5: 6.0 ns (166Mhz)\n  MDA@CL=2.5: 0.70 ns\n  MCC@CL=2  : 7.5 ns (133Mhz)\n"
                         "  MDA@CL=2  : 0.75 ns\n"),
              2u);
    EXPECT_EQ(Count(out, "      RowAdr: 13 bits\n      ColAdr: 11 bits\n          CS: 1 lines\n"), 2u);
    test.out = {};
    EXPECT_TRUE(test.ShowDIMMInfo(0));
    EXPECT_EQ(out, "SDRAM module #1 (North): Smart Modular, 512MB, 166Mhz@CL=2.5, 133Mhz@CL=2  \n"
                   "SDRAM module #2 (West) : Smart Modular, 512MB, 166Mhz@CL=2.5, 133Mhz@CL=2  \n"
                   "DIMM Module ID check PASSES\n");
    test.out = {};
    EXPECT_TRUE(test.ShowDIMMInfo(2));
    EXPECT_TRUE(test.out.HasColoured("West DIMM (High Order Word)\n\n", kColorGreen));
    EXPECT_EQ(Count(out, "0x0000:  0x80 0x08 0x07 0x0D 0x0B 0x01 0x40 0x00\n"), 2u);
    EXPECT_EQ(Count(out, "0x0078:  "), 2u);
    EXPECT_EQ(test.ReadSPD(), 0x40000000u);
    EXPECT_EQ(ReportTest("Nuxa1").ReadSPD(), 0x20000000u);
}

// Modules edited byte by byte: the verdict, lines that must be there and a line that must not.
TEST(BoardReportTest, SpdContentsDecideTheReport) {
    const struct {
        const char* name;
        std::vector<std::pair<int, BYTE>> dimm1, dimm2;
        int verbosity;
        bool pass;
        std::vector<const char*> has;
        const char* lacks;
    } rows[] = {
        {"bytes after 66 are not compared", {}, {{100, 0}}, 1, true, {"DIMMS have the same parameters\n"}, "Mismatch"},
        {"byte 66 is compared", {}, {{66, 0x55}}, 1, false,
         {"DIMMS Mismatch, DIMM1[66]=0x00 DIMM2[66]=0x55\n", "DIMM1 and DIMM2 do not have identical parameters\n"}, nullptr},
        {"mismatch lines need verbosity 1", {}, {{66, 0x55}}, 0, false,
         {"DIMM1 and DIMM2 do not have identical parameters\n"}, "DIMMS Mismatch"},
        {"vendor in bank 3", {{64, 0x7F}, {65, 0x7F}, {66, 0x2A}}, {{64, 0x7F}, {65, 0x7F}, {66, 0x2A}}, 1, true,
         {"      Vendor: Kentron Technologies\n"}, nullptr},
        {"vendor in bank 5", {{64, 0x7F}, {65, 0x7F}, {66, 0x7F}, {67, 0x7F}, {68, 0xA8}},
         {{64, 0x7F}, {65, 0x7F}, {66, 0x7F}, {67, 0x7F}, {68, 0xA8}}, 1, true, {"      Vendor: US Modular\n"}, nullptr},
        {"vendor in bank 2", {{64, 0x7F}, {65, 0xCE}, {66, 0}}, {{64, 0x7F}, {65, 0xCE}, {66, 0}}, 1, true,
         {"      Vendor: Unigen Corporation\n"}, nullptr},
        {"unknown vendor", {{64, 0xCE}, {65, 0}, {66, 0}}, {{64, 0xCE}, {65, 0}, {66, 0}}, 1, true,
         {"      Vendor: unknown, Type: CE,xx,xx,xx\n"}, nullptr},
        {"unknown deep vendor", {{64, 0x7F}, {65, 0x7F}, {66, 0x7F}, {67, 0x33}},
         {{64, 0x7F}, {65, 0x7F}, {66, 0x7F}, {67, 0x33}}, 1, true, {"      Vendor: unknown, Type: 7F,7F,7F,33\n"}, nullptr},
        {"continuation bytes only", {{64, 0x7F}, {65, 0x7F}, {66, 0x7F}, {67, 0x7F}, {68, 0x7F}},
         {{64, 0x7F}, {65, 0x7F}, {66, 0x7F}, {67, 0x7F}, {68, 0x7F}}, 1, true,
         {"      Vendor: Invalid Vendor ID field: 7F,7F,7F,7F,7F\n"}, nullptr},
        {"no on-card PLL", {{21, 0x20}}, {{21, 0x20}}, 1, false,
         {"DIMM 1: Incorrect SDRAM Module Attributes(21d):  0x20 , expect: 0x24\nThis module does not have On-Card PLL\n"},
         "PASSES"},
        {"burst lengths and no latency", {{16, 6}, {18, 0}}, {{16, 6}, {18, 0}}, 1, false,
         {"DIMM 2: Incorrect SDRAM Device Attributes: BurstLength(16d): 0x06 , expect: 0x0E\n",
          "DIMM 1: Incorrect CL Values, DIMM[18]: 0x00, expect: 0x0C\n", "   Valid CLs: None Found, DIMM[18]=0x00000000\n"},
         "MCC@CL"},
        {"timing limits at CL 2.5", {{9, 0x75}, {24, 0x80}}, {{9, 0x75}, {24, 0x80}}, 0, false,
         {"DIMM 1: At CL=2.5, MCC expected: <=60, Actual: 75\n", "DIMM 2: At CL=2  , MDA expected: <=75, Actual: 80\n",
          "SDRAM module #1 (North): Smart Modular, 512MB, 133Mhz@CL=2.5, 133Mhz@CL=2  \n"},
         "MDA expected: <=70"},
        {"six latencies, three timed", {{18, 0x3F}, {25, 0x50}, {26, 0x45}}, {{18, 0x3F}, {25, 0x50}, {26, 0x45}}, 1, true,
         {"   Valid CLs: 1  , 1.5, 2  , 2.5, 3  , 3.5  (Using: CL=2.5)\n", "  MCC@CL=3.5: 6.0 ns (166Mhz)\n  MDA@CL=3.5: 0.70 ns\n",
          "  MCC@CL=2.5: 5.0 ns\n  MDA@CL=2.5: 0.45 ns\n"},
         "MCC@CL=2  "},
    };
    devlib::LoadDefaultRig();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ReportTest test;
        test.EditSpd(row.dimm1, row.dimm2);
        EXPECT_EQ(test.ShowDIMMInfo(row.verbosity), row.pass ? TRUE : FALSE);
        for (const char* line : row.has) EXPECT_TRUE(test.out.Has(line)) << test.out.text;
        if (row.lacks) {
            EXPECT_FALSE(test.out.Has(row.lacks));
        }
    }
    ReportTest test;
    test.EditSpd({{5, 1}, {31, 64}}, {{5, 1}, {31, 64}});
    EXPECT_EQ(test.ReadSPD(), 0x20000000u);
}

// Rig faults the DIMM report must catch, with the line naming each and the size it counts.
TEST(BoardReportTest, DimmFaultsFailTheReport) {
    const struct {
        const char* name;
        std::string faults;
        bool boardChecks;
        const char* line;
        DWORD size;
        bool idPasses = false;  // the module ID check alone
    } rows[] = {
        {"geometry and size", R"({"kind": "spd_wrong_geometry", "board": "Brimola1"},
                                 {"kind": "spd_wrong_size", "board": "Brimola1", "mib": 256})",
         true,
         "DIMM 1: Incorrect Size Expect:512MB   Actual:256MB\n"
         "DIMM 1: Incorrect Number of Row/Column addresses,exp: R=13,C=[10 | 11] act:R=12,C=9\n"
         "DIMM 2: Incorrect Size Expect:512MB   Actual:256MB\n",
         0x20000000},
        {"one module's geometry", R"({"kind": "spd_wrong_geometry", "board": "Brimola1", "module": 2})", false,
         "DIMMS Mismatch, DIMM1[3]=0x0D DIMM2[3]=0x0C\n", 0x40000000, true},
        {"module 1 missing", R"({"kind": "missing_space", "board": "Brimola1", "space": "I2C.DIMM1"})", false,
         "Could not GetSpace( I2C.DIMM1 )\n", 0x20000000},
        {"both missing", R"({"kind": "missing_space", "board": "Brimola1", "space": "I2C.DIMM1"},
                            {"kind": "missing_space", "board": "Brimola1", "space": "I2C.DIMM2"})",
         false, "Could not GetSpace( I2C.DIMM2 )\n", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedRig rig(OneBoard(row.faults));
        ReportTest test;
        test.boardChecks = row.boardChecks;
        EXPECT_FALSE(test.ShowDIMMInfo(1));
        EXPECT_TRUE(test.out.Has(row.line)) << test.out.text;
        EXPECT_EQ(test.out.Has("DIMM Module ID check PASSES"), row.idPasses);
        EXPECT_EQ(test.ReadSPD(), row.size);
    }
    {
        // The base class accepts any module geometry and size.
        ScopedRig rig(OneBoard(rows[0].faults));
        ReportTest plain;
        EXPECT_TRUE(plain.ShowDIMMInfo(1)) << plain.out.text;
    }
    // 4 GiB of modules does not fit 32 bits and must not read as 0.
    ScopedRig rig(OneBoard("", R"(, "sdram_mib": 2048)"));
    EXPECT_EQ(ReportTest().ReadSPD(), 0xFFFFFFFFu);
    RecordingTreeTest unbound;
    EXPECT_FALSE(unbound.ShowDIMMInfo(1));
    EXPECT_TRUE(unbound.out.HasColoured("Invalid pBAR0\n", kColorRed));
}

TEST(BoardReportTest, VpdStructureAndSerialNumber) {
    devlib::LoadDefaultRig();
    {
        ReportTest test;
        EXPECT_TRUE(test.CheckVPDStructure());
        EXPECT_EQ(Count(test.out.text, "Pass"), 4u);
        EXPECT_TRUE(test.out.Has(" Check for Name Tag(0x82): Pass\n Check for VPD Tag(0x90):  Pass\n"
                                 " Check for End Tag(0x79):  Pass\n Check for End Zero(0x00): "));
        EXPECT_EQ(test.GetSerialNumber(), "BRM0000001");
    }
    // The identifier's length (bytes 1-2 at BAR0 0x2000) is bent by the mirror fault to point anywhere.
    const DWORD head = ReportTest().GetBoardIF().GetRegisters()[0x2000 / 4];
    auto withLength = [head](DWORD length) {
        return R"({"kind": "flash_mirror_mismatch", "board": "Brimola1", "offset": 8192, "mask": )" +
               std::to_string((head ^ (length << 8)) & 0x00FFFF00) + "}";
    };
    const struct {
        const char* name;
        std::string faults;
        bool structure;
        const char* line;
        size_t tooLarge = 0;  // checks that found the position past the image
    } rows[] = {
        {"name tag", R"({"kind": "vpd_broken", "board": "Brimola1", "part": "name_tag"})", false,
         " Check for Name Tag(0x82): FAIL, Expected: 0x82, Actual: 0xFF\n"},
        {"vpd tag", R"({"kind": "vpd_broken", "board": "Brimola1", "part": "vpd_tag"})", false,
         " Check for VPD Tag(0x90):  FAIL, Expected: 0x90, Actual: 0x91"},
        {"end tag", R"({"kind": "vpd_broken", "board": "Brimola1", "part": "end_tag"})", false,
         " Check for End Tag(0x79):  FAIL, Expected: 0x79, Actual: 0x78"},
        {"length", R"({"kind": "vpd_broken", "board": "Brimola1", "part": "length"})", false,
         " Check for End Tag(0x79):  FAIL, Expected: 0x79, Actual: 0x00"},
        {"checksum: the chain holds, the field reader refuses", R"({"kind": "vpd_broken", "board": "Brimola1", "part": "checksum"})",
         true, ""},
        {"tag on the last byte", withLength(0x400 - 4), false,
         " Check for VPD Tag(0x90):  FAIL, Expected: 0x90, Actual: 0x00 Check for End Tag(0x79):  dwPos to large\n"
         " Check for End Zero(0x00): dwPos to large\n", 2},
        {"length far beyond", withLength(0xFFF0), false, "", 3},
        {"length past 1 KiB", withLength(0x500), false, "", 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedRig rig(OneBoard(row.faults));
        ReportTest test;
        EXPECT_EQ(test.CheckVPDStructure(), row.structure ? TRUE : FALSE);
        EXPECT_TRUE(test.out.Has(row.line)) << test.out.text;
        EXPECT_EQ(Count(test.out.text, "dwPos to large\n"), row.tooLarge);
        EXPECT_EQ(test.GetSerialNumber(), "");
    }
    {
        ScopedRig rig(OneBoard(R"({"kind": "vpd_missing_field", "board": "Brimola1", "field": "SN"})"));
        EXPECT_EQ(ReportTest().GetSerialNumber(), "");
    }
    ScopedRig rig(OneBoard("", R"(, "vpd": {"SN": "BRM0000042"})"));
    EXPECT_EQ(ReportTest().GetSerialNumber(), "BRM0000042");
    RecordingTreeTest unbound;
    EXPECT_FALSE(unbound.CheckVPDStructure());
    EXPECT_EQ(unbound.GetSerialNumber(), "");
}

// A sensor register whose descriptor claims more bytes than a reading holds.
class WideSensorSpace : public CDevRegSpace {
public:
    WideSensorSpace() : CDevRegSpace(SPACE_I2C_TSENSOR, "I2C.TSENSOR", "", 256, {1, 1, 1, 1, 1}) { SetSymbolTable(m_symbols, 1); }
    int Get(void* buffer, DWORD, int count) override {
        asked = count;
        std::memset(buffer, 0x2A, static_cast<size_t>(count));
        return count;
    }
    int asked = 0;

private:
    const CPPVarDesc m_symbols[1] = {{"WIDE", 0x10, 8, 0, nullptr}};
};

TEST(BoardReportTest, TemperatureRegistersAreReadByName) {
    {
        ScopedRig rig(OneBoard("", R"(, "sensors": {"fpga_temp_c": 61, "local_temp_c": -5})"));
        ReportTest test;
        const std::pair<const char*, DWORD> readings[] = {{"1TEMP", 61}, {"1RHI", 85}, {"LTEMP", 0xFB}, {"MANID", 1}};
        for (auto [name, expected] : readings) {
            DWORD value = 0;
            EXPECT_TRUE(test.ReadTemperature(name, &value));
            EXPECT_EQ(value, expected) << name;
        }
        DWORD value = 1234;
        EXPECT_FALSE(test.ReadTemperature("XTEMP", &value));
        EXPECT_FALSE(test.ReadTemperature(nullptr, &value));
        EXPECT_FALSE(test.ReadTemperature("1TEMP", nullptr));
        EXPECT_EQ(value, 1234u);
        auto* wide = static_cast<WideSensorSpace*>(test.Board()->AddSpace(std::make_unique<WideSensorSpace>()));
        EXPECT_TRUE(test.ReadTemperature("WIDE", &value));
        EXPECT_EQ(wide->asked, 4);
        EXPECT_EQ(value, 0x2Au);
        EXPECT_EQ(test.out.text, "");
    }
    {
        ScopedRig rig(OneBoard(R"({"kind": "missing_space", "board": "Brimola1", "space": "I2C.TSENSOR"})"));
        ReportTest test;
        DWORD value = 77;
        EXPECT_FALSE(test.ReadTemperature("1TEMP", &value));
        EXPECT_EQ(value, 77u);
        EXPECT_TRUE(test.out.HasColoured("Could not GetSpace( I2C.TSENSOR )\n", kColorRed));
    }
    // An open diode reads 0 for ever and the retries end; a few bad readings are retried past.
    const std::pair<const char*, bool> faults[] = {{"", false}, {R"(, "count": 3)", true}};
    for (auto [count, pass] : faults) {
        ScopedRig rig(OneBoard(std::string(R"({"kind": "sensor_bad_reading", "board": "Brimola1", "sensor": "1TEMP", "value": 0)") +
                               count + "}"));
        DWORD value = 77;
        EXPECT_EQ(ReportTest().ReadTemperatureNonZero("1TEMP", &value), pass ? TRUE : FALSE);
        EXPECT_EQ(value, pass ? 45u : 0u);
    }
}

TEST(BoardReportTest, DeviceInfoTextAndFlashRevision) {
    devlib::LoadDefaultRig();
    {
        ReportTest main;
        EXPECT_NE(main.GetDeviceInfoText().Find("N:ZVKX0202"), -1);
        EXPECT_EQ(main.GetFlashRevision(), "0C75");
        EXPECT_NE(ReportTest("Nuxa1").GetDeviceInfoText().Find("N:KEZO0202"), -1);
    }
    // No image with a record booted: no text, no revision, one black line on yellow.
    ScopedRig rig(OneBoard(R"({"kind": "flash_missing_header", "board": "Brimola1", "segment": "PCIX"},
                              {"kind": "flash_missing_header", "board": "Brimola1", "segment": "PCI"},
                              {"kind": "flash_missing_header", "board": "Brimola1", "segment": "SAFE"})"));
    ReportTest test;
    EXPECT_EQ(test.GetDeviceInfoText(), "");
    EXPECT_EQ(test.GetFlashRevision(), "");
    EXPECT_EQ(test.out.text, "Unable to get R field from flash OXD\n");
    EXPECT_EQ(test.out.coloured.at(0).second, kColorBlack);
    EXPECT_EQ(test.backgrounds, std::vector<COLORREF>{0x00F0FF});
    EXPECT_EQ(RecordingTreeTest().GetDeviceInfoText(), "");
}

}  // namespace
