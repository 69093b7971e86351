// Tests of the tree-map base's board reports: DIMM SPD checks, VPD structure and serial, temperature, flash revision.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "devlib/devices.h"
#include "devlib/rig.h"
#include "framework/result_screen.h"
#include "tests/support/rig.h"
#include "tests/support/output.h"
#include "tests/framework/hw/board_dma.h"

namespace {

using support::RecordingTreeTest;
using support::ScopedRig;

using Spd = std::array<BYTE, 256>;

// A board-bound test whose DIMM checks behave like the main-board root's, and which keeps the
// background colour of styled text.
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
    bool boardChecks = false;
    std::vector<COLORREF> backgrounds;
};

// An SPD EEPROM with bytes the test chooses, entered on the board device itself: the board's own
// spaces are found before those of its I2C bus.
class FakeSpdSpace : public CDevAddrSpace {
public:
    FakeSpdSpace(const char* name, const Spd& bytes)
        : CDevAddrSpace(SPACE_I2C_DIMM, name, "test SPD", 256, PMD_AccessInfo{1, 1, 1, 1, 1}), bytes(bytes) {}
    int Get(void* buffer, DWORD address, int count) override {
        if (address >= bytes.size() || count <= 0) return 0;
        const int n = std::min<int>(count, static_cast<int>(bytes.size() - address));
        std::memcpy(buffer, bytes.data() + address, static_cast<size_t>(n));
        return n;
    }
    Spd bytes;
};

// The healthy SPD of the bound board's module (1 or 2), read from the part on its I2C bus.
Spd HealthySpd(hwtest::BoundTest& test, int module) {
    Spd bytes{};
    CDevAddrSpace* space = test.Board()->GetI2CDevice()->GetSpace(module == 1 ? "I2C.DIMM1" : "I2C.DIMM2");
    EXPECT_NE(space, nullptr);
    if (space) {
        EXPECT_EQ(space->GetBytes(bytes.data(), 0, 256), 256);
    }
    return bytes;
}

// Puts the bytes in the board's fake parts, entering them the first time.
void InstallSpd(hwtest::BoundTest& test, const Spd& module1, const Spd& module2) {
    CWexalBoardDevice* board = test.Board();
    for (const auto& [name, bytes] : {std::pair{"I2C.DIMM1", &module1}, std::pair{"I2C.DIMM2", &module2}}) {
        FakeSpdSpace* fake = nullptr;
        for (int i = 0; i < board->GetSpaceCount() && !fake; ++i)
            if (board->GetSpaceAt(i)->GetName() == name) fake = dynamic_cast<FakeSpdSpace*>(board->GetSpaceAt(i));
        if (fake) fake->bytes = *bytes;
        else board->AddSpace(std::make_unique<FakeSpdSpace>(name, *bytes));
    }
}

std::string OneBoard(const std::string& faults, const std::string& board = R"("tag": "Brimola1", "kind": "brimola")") {
    return R"({"boards": [{)" + board + R"(}], "faults": [)" + faults + "]}";
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class BoardReportTest : public ::testing::Test {
protected:
    void SetUp() override { devlib::LoadDefaultRig(); }
    void TearDown() override { devlib::LoadDefaultRig(); }
};

TEST_F(BoardReportTest, HealthyModulesDecodeAndPass) {
    ReportTest test;
    test.boardChecks = true;
    EXPECT_TRUE(test.ShowDIMMInfo(1));
    const std::string& out = test.out.text;
    EXPECT_TRUE(test.out.HasColoured("DIMMS have the same parameters\n", kColorGreen));
    EXPECT_TRUE(test.out.HasColoured("DIMM Module ID check PASSES\n", kColorGreen));
    EXPECT_EQ(Count(out, "      Vendor: Smart Modular\n"), 2);
    EXPECT_EQ(Count(out, "        Size: 512 MB\n          = DIMM[5] * DIMM[31] * 4\n"), 2);
    // CAS latencies 2 and 2.5, listed lowest first; the controller runs at 2.5.
    EXPECT_EQ(Count(out, "   Valid CLs: 2  , 2.5  (Using: CL=2.5)\n"), 2);
    // 6.0 ns is 166 MHz, 7.5 ns 133 MHz.
    EXPECT_EQ(Count(out, "  MCC@CL=2.5: 6.0 ns (166Mhz)\n  MDA@CL=2.5: 0.70 ns\n  MCC@CL=2  : 7.5 ns (133Mhz)\n"
                         "  MDA@CL=2  : 0.75 ns\n"),
              2);
    EXPECT_EQ(Count(out, "      RowAdr: 13 bits\n      ColAdr: 11 bits\n          CS: 1 lines\n"), 2);
    EXPECT_TRUE(test.out.Has("SDRAM module #1 (North):\n"));
    EXPECT_TRUE(test.out.Has("\nSDRAM module #2 (West) :\n"));

    test.out = {};
    EXPECT_TRUE(test.ShowDIMMInfo(0));
    EXPECT_EQ(out, "SDRAM module #1 (North): Smart Modular, 512MB, 166Mhz@CL=2.5, 133Mhz@CL=2  \n"
                   "SDRAM module #2 (West) : Smart Modular, 512MB, 166Mhz@CL=2.5, 133Mhz@CL=2  \n"
                   "DIMM Module ID check PASSES\n");

    test.out = {};
    EXPECT_TRUE(test.ShowDIMMInfo(2));
    EXPECT_TRUE(test.out.HasColoured("North DIMM (Low Order Word)\n\n", kColorGreen));
    EXPECT_TRUE(test.out.HasColoured("West DIMM (High Order Word)\n\n", kColorGreen));
    EXPECT_EQ(Count(out, "0x0000:  0x80 0x08 0x07 0x0D 0x0B 0x01 0x40 0x00\n"), 2);
    EXPECT_EQ(Count(out, "0x0078:  "), 2);

    // Two modules of 512 MB each.
    EXPECT_EQ(test.ReadSPD(), 0x40000000u);
    ReportTest codec("Nuxa1");
    EXPECT_EQ(codec.ReadSPD(), 0x20000000u);
}

TEST_F(BoardReportTest, ModulesAreComparedOnlyUpToByte66) {
    ReportTest test;
    const Spd healthy = HealthySpd(test, 1);
    Spd other = healthy;
    other[100] ^= 0xFF;
    InstallSpd(test, healthy, other);
    EXPECT_TRUE(test.ShowDIMMInfo(1));

    // Byte 66 differs (a bank-3 manufacturer byte, unused after 7F 94): no error line, yet it fails.
    ReportTest second;
    other = healthy;
    other[66] = 0x55;
    InstallSpd(second, healthy, other);
    EXPECT_FALSE(second.ShowDIMMInfo(1));
    EXPECT_TRUE(second.out.HasColoured("DIMMS Mismatch, DIMM1[66]=0x00 DIMM2[66]=0x55\n", kColorRed));
    EXPECT_TRUE(second.out.HasColoured("DIMM1 and DIMM2 do not have identical parameters\n", kColorRed));
    EXPECT_TRUE(second.out.Has("DIMM Module ID check PASSES\n"));
    // The mismatch lines belong to verbosity 1; the verdict line is always there.
    second.out = {};
    EXPECT_FALSE(second.ShowDIMMInfo(0));
    EXPECT_FALSE(second.out.Has("DIMMS Mismatch"));
    EXPECT_TRUE(second.out.Has("DIMM1 and DIMM2 do not have identical parameters\n"));
}

TEST_F(BoardReportTest, ManufacturerIsNamedFromItsJedecBank) {
    const struct {
        std::array<BYTE, 5> id;
        const char* vendor;
    } cases[] = {
        {{0x7F, 0x7F, 0x2A, 0x00, 0x00}, "Kentron Technologies"},
        {{0x7F, 0x7F, 0x7F, 0x7F, 0xA8}, "US Modular"},
        {{0x7F, 0xCE, 0x00, 0x00, 0x00}, "Unigen Corporation"},
        {{0xCE, 0x00, 0x00, 0x00, 0x00}, "unknown, Type: CE,xx,xx,xx"},
        {{0x7F, 0x7F, 0x7F, 0x33, 0x00}, "unknown, Type: 7F,7F,7F,33"},
        {{0x7F, 0x7F, 0x7F, 0x7F, 0x7F}, "Invalid Vendor ID field: 7F,7F,7F,7F,7F"},
    };
    for (const auto& c : cases) {
        ReportTest test;
        Spd spd = HealthySpd(test, 1);
        std::copy(c.id.begin(), c.id.end(), spd.begin() + 64);
        InstallSpd(test, spd, spd);
        test.ShowDIMMInfo(1);
        EXPECT_EQ(Count(test.out.text, std::string("      Vendor: ") + c.vendor + "\n"), 2) << c.vendor;
    }
}

TEST_F(BoardReportTest, LatencyTimingAndAttributeChecks) {
    {
        // Module attributes without the PLL bit: one attributes line and the PLL line under it.
        ReportTest test;
        Spd spd = HealthySpd(test, 1);
        spd[21] = 0x20;
        InstallSpd(test, spd, spd);
        EXPECT_FALSE(test.ShowDIMMInfo(1));
        EXPECT_TRUE(test.out.Has("DIMM 1: Incorrect SDRAM Module Attributes(21d):  0x20 , expect: 0x24\n"
                                 "This module does not have On-Card PLL\n"));
        EXPECT_TRUE(test.out.HasColoured("This module does not have On-Card PLL\n", kColorRed));
        EXPECT_FALSE(test.out.Has("does not have a Differential Clock Input"));
        EXPECT_FALSE(test.out.Has("PASSES"));
    }
    {
        // Burst lengths and no latency at all.
        ReportTest test;
        Spd spd = HealthySpd(test, 1);
        spd[16] = 0x06;
        spd[18] = 0x00;
        InstallSpd(test, spd, spd);
        EXPECT_FALSE(test.ShowDIMMInfo(1));
        EXPECT_TRUE(test.out.Has("DIMM 2: Incorrect SDRAM Device Attributes: BurstLength(16d): 0x06 , expect: 0x0E\n"));
        EXPECT_TRUE(test.out.HasColoured("DIMM 1: Incorrect CL Values, DIMM[18]: 0x00, expect: 0x0C\n", kColorRed));
        EXPECT_TRUE(test.out.HasColoured("   Valid CLs: None Found, DIMM[18]=0x00000000\n", kColorRed));
        EXPECT_FALSE(test.out.Has("MCC@CL"));
    }
    {
        // The controller runs at CL 2.5 (code 6): at that latency 6.0 ns and 0.70 ns are the limits.
        ReportTest test;
        Spd spd = HealthySpd(test, 1);
        spd[9] = 0x75;
        spd[24] = 0x80;
        InstallSpd(test, spd, spd);
        EXPECT_FALSE(test.ShowDIMMInfo(0));
        EXPECT_TRUE(test.out.HasColoured("DIMM 1: At CL=2.5, MCC expected: <=60, Actual: 75\n", kColorRed));
        EXPECT_TRUE(test.out.Has("DIMM 2: At CL=2  , MDA expected: <=75, Actual: 80\n"));
        EXPECT_FALSE(test.out.Has("MDA expected: <=70"));
        EXPECT_TRUE(test.out.Has("SDRAM module #1 (North): Smart Modular, 512MB, 133Mhz@CL=2.5, 133Mhz@CL=2  \n"));
    }
    {
        // Six latencies: all are listed, the three highest get their timing bytes (9/10, 23/24, 25/26).
        ReportTest test;
        Spd spd = HealthySpd(test, 1);
        spd[18] = 0x3F;
        spd[25] = 0x50;
        spd[26] = 0x45;
        InstallSpd(test, spd, spd);
        test.ShowDIMMInfo(1);
        EXPECT_EQ(Count(test.out.text, "   Valid CLs: 1  , 1.5, 2  , 2.5, 3  , 3.5  (Using: CL=2.5)\n"), 2);
        EXPECT_EQ(Count(test.out.text, "  MCC@CL="), 6);
        EXPECT_EQ(Count(test.out.text, "  MCC@CL=3.5: 6.0 ns (166Mhz)\n  MDA@CL=3.5: 0.70 ns\n"), 2);
        EXPECT_EQ(Count(test.out.text, "  MCC@CL=2.5: 5.0 ns\n  MDA@CL=2.5: 0.45 ns\n"), 2);
        EXPECT_FALSE(test.out.Has("MCC@CL=2  "));
    }
}

TEST_F(BoardReportTest, BoardGeometryAndSizeChecksReportTheirMessages) {
    // The base class accepts any module; a board's own checks name what is wrong.
    ScopedRig rig(OneBoard(R"({"kind": "spd_wrong_geometry", "board": "Brimola1"},
                              {"kind": "spd_wrong_size", "board": "Brimola1", "mib": 256})"));
    ReportTest plain;
    EXPECT_TRUE(plain.ShowDIMMInfo(1)) << plain.out.text;
    ReportTest test;
    test.boardChecks = true;
    EXPECT_FALSE(test.ShowDIMMInfo(1));
    const std::string lines =
        "DIMM 1: Incorrect Size Expect:512MB   Actual:256MB\n"
        "DIMM 1: Incorrect Number of Row/Column addresses,exp: R=13,C=[10 | 11] act:R=12,C=9\n"
        "DIMM 2: Incorrect Size Expect:512MB   Actual:256MB\n"
        "DIMM 2: Incorrect Number of Row/Column addresses,exp: R=13,C=[10 | 11] act:R=12,C=9\n";
    EXPECT_TRUE(test.out.Has(lines)) << test.out.text;
    EXPECT_EQ(test.ReadSPD(), 0x20000000u);

    // One module alone wrong: the compare fails as well.
    ScopedRig one(OneBoard(R"({"kind": "spd_wrong_geometry", "board": "Brimola1", "module": 2})"));
    ReportTest single;
    EXPECT_FALSE(single.ShowDIMMInfo(1));
    EXPECT_TRUE(single.out.Has("DIMMS Mismatch, DIMM1[3]=0x0D DIMM2[3]=0x0C\n"));
}

TEST_F(BoardReportTest, MissingModulesFailAndCountNothing) {
    {
        ScopedRig rig(OneBoard(R"({"kind": "missing_space", "board": "Brimola1", "space": "I2C.DIMM1"})"));
        ReportTest test;
        EXPECT_FALSE(test.ShowDIMMInfo(1));
        EXPECT_TRUE(test.out.HasColoured("Could not GetSpace( I2C.DIMM1 )\n", kColorRed));
        EXPECT_TRUE(test.out.Has("DIMM1 and DIMM2 do not have identical parameters\n"));
        EXPECT_TRUE(test.out.Has("\nSDRAM module #2 (West) :\n"));
        EXPECT_FALSE(test.out.Has("SDRAM module #1"));
        test.out = {};
        EXPECT_EQ(test.ReadSPD(), 0x20000000u);
        EXPECT_TRUE(test.out.HasColoured("Could not GetSpace( I2C.DIMM1 )\n", kColorRed));
    }
    {
        // Both missing: the zeros compare equal, but the report must still fail and claim no pass.
        ScopedRig rig(OneBoard(R"({"kind": "missing_space", "board": "Brimola1", "space": "I2C.DIMM1"},
                                  {"kind": "missing_space", "board": "Brimola1", "space": "I2C.DIMM2"})"));
        ReportTest test;
        EXPECT_FALSE(test.ShowDIMMInfo(1));
        EXPECT_FALSE(test.out.Has("PASSES"));
        EXPECT_TRUE(test.out.Has("Could not GetSpace( I2C.DIMM2 )\n"));
        EXPECT_EQ(test.ReadSPD(), 0u);
    }
    // Not bound to a board: no register window, no modules.
    RecordingTreeTest unbound;
    EXPECT_FALSE(unbound.ShowDIMMInfo(1));
    EXPECT_TRUE(unbound.out.HasColoured("Invalid pBAR0\n", kColorRed));
    EXPECT_FALSE(unbound.out.Has("PASSES"));
}

TEST_F(BoardReportTest, ModuleSizesAddUpAndSaturate) {
    ReportTest test;
    Spd spd = HealthySpd(test, 1);
    spd[5] = 1;
    spd[31] = 64;
    InstallSpd(test, spd, spd);
    EXPECT_EQ(test.ReadSPD(), 0x20000000u);

    // 2 GiB boards carry two 2 GiB modules: 4 GiB does not fit 32 bits and must not read as 0.
    ScopedRig rig(OneBoard("", R"("tag": "Brimola1", "kind": "brimola", "sdram_mib": 2048)"));
    ReportTest big;
    EXPECT_EQ(big.ReadSPD(), 0xFFFFFFFFu);
}

TEST_F(BoardReportTest, VpdStructureOfHealthyAndDamagedImages) {
    {
        ReportTest test;
        EXPECT_TRUE(test.CheckVPDStructure());
        EXPECT_EQ(Count(test.out.text, "Pass"), 4);
        EXPECT_TRUE(test.out.Has(" Check for Name Tag(0x82): Pass\n Check for VPD Tag(0x90):  Pass\n"
                                 " Check for End Tag(0x79):  Pass\n Check for End Zero(0x00): "));
        EXPECT_EQ(test.GetSerialNumber(), "BRM0000001");
    }
    const struct {
        const char* part;
        const char* line;
    } broken[] = {
        {"name_tag", " Check for Name Tag(0x82): FAIL, Expected: 0x82, Actual: 0xFF\n"},
        {"vpd_tag", " Check for VPD Tag(0x90):  FAIL, Expected: 0x90, Actual: 0x91"},
        {"end_tag", " Check for End Tag(0x79):  FAIL, Expected: 0x79, Actual: 0x78"},
        {"length", " Check for End Tag(0x79):  FAIL, Expected: 0x79, Actual: 0x00"},
    };
    for (const auto& b : broken) {
        ScopedRig rig(OneBoard(std::string(R"({"kind": "vpd_broken", "board": "Brimola1", "part": ")") + b.part + "\"}"));
        ReportTest test;
        EXPECT_FALSE(test.CheckVPDStructure()) << b.part;
        EXPECT_TRUE(test.out.Has(b.line)) << b.part << "\n" << test.out.text;
        EXPECT_EQ(test.GetSerialNumber(), "") << b.part;
    }
    {
        // A wrong checksum keeps the chain: the structure passes, the field reader refuses it.
        ScopedRig rig(OneBoard(R"({"kind": "vpd_broken", "board": "Brimola1", "part": "checksum"})"));
        ReportTest test;
        EXPECT_TRUE(test.CheckVPDStructure());
        EXPECT_EQ(test.GetSerialNumber(), "");
    }
    {
        ScopedRig rig(OneBoard(R"({"kind": "vpd_missing_field", "board": "Brimola1", "field": "SN"})",
                               R"("tag": "Brimola1", "kind": "brimola", "vpd": {"PN": "0418-27604-01"})"));
        ReportTest test;
        EXPECT_EQ(test.GetSerialNumber(), "");
    }
    {
        ScopedRig rig(OneBoard("", R"("tag": "Brimola1", "kind": "brimola", "vpd": {"SN": "BRM0000042"})"));
        ReportTest test;
        EXPECT_EQ(test.GetSerialNumber(), "BRM0000042");
    }
    RecordingTreeTest unbound;
    EXPECT_FALSE(unbound.CheckVPDStructure());
    EXPECT_TRUE(unbound.out.HasColoured("Invalid pBAR0\n", kColorRed));
    EXPECT_EQ(unbound.GetSerialNumber(), "");
}

TEST_F(BoardReportTest, VpdWalkNeverLeavesTheImage) {
    // The identifier string's length sits in bytes 1-2 of the image (BAR0 0x2000); the mirror fault
    // XORs that DWORD, so a length can be made to point anywhere.
    DWORD head = 0;
    {
        ReportTest healthy;
        head = healthy.GetBoardIF().GetRegisters()[0x2000 / 4];
    }
    auto withLength = [head](DWORD length) {
        const DWORD mask = (head ^ (length << 8)) & 0x00FFFF00;
        return OneBoard(R"({"kind": "flash_mirror_mismatch", "board": "Brimola1", "offset": 8192, "mask": )" +
                        std::to_string(mask) + "}");
    };
    {
        // The read-only tag lands on the last byte: its own length bytes would lie past the image.
        ScopedRig rig(withLength(0x400 - 4));
        ReportTest test;
        EXPECT_FALSE(test.CheckVPDStructure());
        EXPECT_TRUE(test.out.Has(" Check for VPD Tag(0x90):  FAIL, Expected: 0x90, Actual: 0x00"
                                 " Check for End Tag(0x79):  dwPos to large\n"
                                 " Check for End Zero(0x00): dwPos to large\n"))
            << test.out.text;
    }
    {
        // Far beyond: every later check says so.
        ScopedRig rig(withLength(0xFFF0));
        ReportTest test;
        EXPECT_FALSE(test.CheckVPDStructure());
        EXPECT_EQ(Count(test.out.text, "dwPos to large\n"), 3);
    }
    {
        // Inside the image but past its 1 KiB: too large as well, never read.
        ScopedRig rig(withLength(0x500));
        ReportTest test;
        EXPECT_FALSE(test.CheckVPDStructure());
        EXPECT_EQ(Count(test.out.text, "dwPos to large\n"), 3);
    }
}

TEST_F(BoardReportTest, TemperatureRegistersAreReadByName) {
    ScopedRig rig(OneBoard("", R"("tag": "Brimola1", "kind": "brimola", "sensors": {"fpga_temp_c": 61, "local_temp_c": -5})"));
    ReportTest test;
    DWORD value = 0;
    EXPECT_TRUE(test.ReadTemperature("1TEMP", &value));
    EXPECT_EQ(value, 61u);
    EXPECT_TRUE(test.ReadTemperature("1RHI", &value));
    EXPECT_EQ(value, 85u);
    EXPECT_TRUE(test.ReadTemperature("LTEMP", &value));
    EXPECT_EQ(value, 0xFBu);  // two's complement byte, kept as read
    EXPECT_TRUE(test.ReadTemperature("MANID", &value));
    EXPECT_EQ(value, 0x01u);

    value = 1234;
    EXPECT_FALSE(test.ReadTemperature("XTEMP", &value));
    EXPECT_FALSE(test.ReadTemperature(nullptr, &value));
    EXPECT_FALSE(test.ReadTemperature("1TEMP", nullptr));
    EXPECT_EQ(value, 1234u);
    EXPECT_EQ(test.out.text, "");
}

TEST_F(BoardReportTest, TemperatureFaultsFailWithoutHanging) {
    {
        ScopedRig rig(OneBoard(R"({"kind": "missing_space", "board": "Brimola1", "space": "I2C.TSENSOR"})"));
        ReportTest test;
        DWORD value = 77;
        EXPECT_FALSE(test.ReadTemperature("1TEMP", &value));
        EXPECT_EQ(value, 77u);
        EXPECT_TRUE(test.out.HasColoured("Could not GetSpace( I2C.TSENSOR )\n", kColorRed));
        EXPECT_FALSE(test.ReadTemperatureNonZero("1TEMP", &value));
    }
    {
        // An open diode reads 0 for ever: the retries end.
        ScopedRig rig(OneBoard(R"({"kind": "sensor_bad_reading", "board": "Brimola1", "sensor": "1TEMP", "value": 0})"));
        ReportTest test;
        DWORD value = 77;
        EXPECT_FALSE(test.ReadTemperatureNonZero("1TEMP", &value));
        EXPECT_EQ(value, 0u);
    }
    {
        // A few bad readings, then the channel recovers.
        ScopedRig rig(OneBoard(R"({"kind": "sensor_bad_reading", "board": "Brimola1", "sensor": "1TEMP", "value": 0, "count": 3})"));
        ReportTest test;
        DWORD value = 0;
        EXPECT_TRUE(test.ReadTemperatureNonZero("1TEMP", &value));
        EXPECT_EQ(value, 45u);
    }
}

// A sensor space whose register descriptor claims more bytes than a reading holds.
class WideSensorSpace : public CDevRegSpace {
public:
    WideSensorSpace() : CDevRegSpace(SPACE_I2C_TSENSOR, "I2C.TSENSOR", "test sensor", 256, PMD_AccessInfo{1, 1, 1, 1, 1}) {
        SetSymbolTable(m_symbols, 1);
    }
    int Get(void* buffer, DWORD, int count) override {
        asked = count;
        std::memset(buffer, 0x2A, static_cast<size_t>(count));
        return count;
    }
    int asked = 0;

private:
    const CPPVarDesc m_symbols[1] = {{"WIDE", 0x10, 8, 0, nullptr}};
};

TEST_F(BoardReportTest, ATemperatureReadCopiesAtMostFourBytes) {
    ReportTest test;
    auto* space = static_cast<WideSensorSpace*>(test.Board()->AddSpace(std::make_unique<WideSensorSpace>()));
    DWORD value = 0;
    EXPECT_TRUE(test.ReadTemperature("WIDE", &value));
    EXPECT_EQ(space->asked, 4);
    EXPECT_EQ(value, 0x2Au);
}

TEST_F(BoardReportTest, DeviceInfoTextAndFlashRevision) {
    {
        ReportTest main;
        EXPECT_NE(main.GetDeviceInfoText().Find("N:ZVKX0202"), -1) << main.GetDeviceInfoText().c_str();
        EXPECT_EQ(main.GetFlashRevision(), "0C75");
        ReportTest codec("Nuxa1");
        EXPECT_NE(codec.GetDeviceInfoText().Find("N:KEZO0202"), -1);
        EXPECT_EQ(codec.out.text, "");
    }
    {
        // No image with a record booted: no information text, no revision.
        ScopedRig rig(OneBoard(R"({"kind": "flash_missing_header", "board": "Brimola1", "segment": "PCIX"},
                                  {"kind": "flash_missing_header", "board": "Brimola1", "segment": "PCI"},
                                  {"kind": "flash_missing_header", "board": "Brimola1", "segment": "SAFE"})"));
        ReportTest test;
        EXPECT_EQ(test.GetDeviceInfoText(), "");
        EXPECT_EQ(test.GetFlashRevision(), "");
        EXPECT_EQ(test.out.text, "Unable to get R field from flash OXD\n");
        ASSERT_EQ(test.out.coloured.size(), 1u);
        EXPECT_EQ(test.out.coloured[0].second, kColorBlack);
        EXPECT_EQ(test.backgrounds, std::vector<COLORREF>{0x00F0FF});
    }
    RecordingTreeTest unbound;
    EXPECT_EQ(unbound.GetDeviceInfoText(), "");
}

}  // namespace
