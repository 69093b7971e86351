// Tests of the tree-map base's board reports: DIMM SPD checks, VPD structure and serial, temperature, flash revision.
#include <functional>
#include <sstream>

#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

// A bound test with the main-board root's DIMM checks, and SPD images that can be edited byte by byte.
class ReportTest : public BoundTest {
public:
    BOOL CheckDIMMGeometry(BYTE rows, BYTE cols, CString& text) override {
        return text.Format("Incorrect Number of Row/Column addresses,exp: R=13,C=[10 | 11] act:R=%d,C=%d", rows, cols), rows == 13 && (cols == 10 || cols == 11);
    }
    BOOL CheckDIMMSize(DWORD mb, CString& text) override { return text.Format("Incorrect Size Expect:512MB   Actual:%dMB", static_cast<int>(mb)), mb == 512; }
    // Both modules become board spaces (found before the I2C bus's) holding the healthy bytes with edits "at=hex ...".
    void EditSpd(const char* edits) {
        for (const char* name : {"I2C.DIMM1", "I2C.DIMM2"}) {
            auto* fake = dynamic_cast<FakeSpd*>(Board()->GetSpace(name));
            if (!fake) fake = static_cast<FakeSpd*>(Board()->AddSpace(std::make_unique<FakeSpd>(name)));
            Board()->GetI2CDevice()->GetSpace(name)->GetBytes(fake->bytes, 0, 256);
            std::istringstream in(edits);
            int at = 0, value = 0;
            for (char eq = 0; in >> std::dec >> at >> eq >> std::hex >> value;) fake->bytes[at] = static_cast<BYTE>(value);
        }
    }
    struct FakeSpd : CDevAddrSpace {
        explicit FakeSpd(const char* name) : CDevAddrSpace(SPACE_I2C_DIMM, name, "", 256, {1, 1, 1, 1, 1}) {}
        int Get(void* buffer, DWORD address, int count) override {
            const int n = address < 256 ? std::clamp<int>(count, 0, 256 - static_cast<int>(address)) : 0;
            if (n > 0) std::memcpy(buffer, bytes + address, static_cast<size_t>(n));
            return n;
        }
        BYTE bytes[256] = {};
    };
};

std::string OneBoard(const std::string& faults, const std::string& extra = "") {
    return R"({"boards": [{"tag": "Brimola1", "kind": "brimola")" + extra + R"(}], "faults": [)" + faults + "]}";
}

// Healthy modules, and modules edited byte by byte: the verdict, a line that must be there and one that must not.
TEST(BoardReportTest, SpdContentsDecideTheDimmReport) {
    const struct { const char* edits; int verbosity; bool pass; const char *has, *lacks; } rows[] = {
        {"", 1, true, "        Size: 512 MB\n", "Mismatch"},
        {"", 0, true, "SDRAM module #2 (West) : Smart Modular, 512MB, 166Mhz@CL=2.5, 133Mhz@CL=2  \n", "Size:"},
        {"", 2, true, "0x0000:  0x80 0x08 0x07 0x0D 0x0B 0x01 0x40 0x00\n", "FAIL"},
        {"64=7F 65=7F 66=7F 67=7F 68=7F", 1, true, "      Vendor: Invalid Vendor ID field: 7F,7F,7F,7F,7F\n", "Smart"},
        {"21=20", 1, false, "DIMM 1: Incorrect SDRAM Module Attributes(21d):  0x20 , expect: 0x24\n", "PASSES"},
        {"16=6 18=0", 1, false, "DIMM 1: Incorrect CL Values, DIMM[18]: 0x00, expect: 0x0C\n", "MDA"},
        // The controller runs at CL 2.5: at that latency 6.0 ns and 0.70 ns are the limits.
        {"9=75 24=80", 0, false, "DIMM 1: At CL=2.5, MCC expected: <=60, Actual: 75\n", "MDA expected: <=70"},
        // Six latencies: all are listed, the three highest get their timing bytes (9/10, 23/24, 25/26).
        {"18=3F 25=50 26=45", 1, true, "   Valid CLs: 1  , 1.5, 2  , 2.5, 3  , 3.5  (Using: CL=2.5)\n", "MCC@CL=2  "},
        {"18=3F 25=50 26=45", 1, true, "  MCC@CL=2.5: 5.0 ns\n  MDA@CL=2.5: 0.45 ns\n", "MCC@CL=2  "},
    };
    devlib::LoadDefaultRig();
    for (const auto& row : rows) {
        ReportTest test;
        test.EditSpd(row.edits);
        EXPECT_EQ(test.ShowDIMMInfo(row.verbosity), row.pass ? TRUE : FALSE) << row.has;
        EXPECT_TRUE(test.out.Has(row.has) && !test.out.Has(row.lacks)) << row.has << "\n" << test.out.text;
    }
    ReportTest test;
    const DWORD healthy = test.ReadSPD();
    test.EditSpd("5=1 31=40");
    EXPECT_EQ(uint64_t{healthy} << 32 | test.ReadSPD(), 0x4000000020000000ull) << "512 MiB modules, then 256 MiB";
}

// Each rig fault fails the check that owns it, with the line naming it (red where the row says so).
TEST(BoardReportTest, RigFaultsFailTheirChecks) {
    const auto dimm = [](ReportTest& t) { return t.ShowDIMMInfo(1) || t.out.Has("DIMM Module ID check PASSES"); };
    const auto vpd = [](ReportTest& t) { return t.CheckVPDStructure() && t.GetSerialNumber() != ""; };
    const auto openDiode = [](ReportTest& t) { DWORD v = 77; return t.ReadTemperatureNonZero("1TEMP", &v) || v != 0; };
    const auto noSensor = [](ReportTest& t) { DWORD v = 77; return t.ReadTemperature("1TEMP", &v) || v != 77; };
    const auto revision = [](ReportTest& t) { return t.GetDeviceInfoText() != "" || t.GetFlashRevision() != ""; };
    const std::string missingHeader = R"({"kind": "flash_missing_header", "board": "Brimola1", "segment": ")";
    // The identifier's length (bytes 1-2 at BAR0 0x2000) is bent by the mirror fault to point past the image.
    devlib::LoadDefaultRig();
    const std::string pastTheEnd = R"({"kind": "flash_mirror_mismatch", "board": "Brimola1", "offset": 8192, "mask": )" +
                                   std::to_string((ReportTest().GetBoardIF().GetRegisters()[0x2000 / 4] ^ (0x400 - 4) << 8) & 0xFFFF00) + "}";
    const struct { std::string faults; std::function<bool(ReportTest&)> passes; const char* line; bool red; } rows[] = {
        {R"({"kind": "spd_wrong_geometry", "board": "Brimola1"}, {"kind": "spd_wrong_size", "board": "Brimola1", "mib": 256})", dimm,
         "DIMM 1: Incorrect Size Expect:512MB   Actual:256MB\nDIMM 1: Incorrect Number of Row/Column addresses,exp: R=13,C=[10 | 11] act:R=12,C=9\n", true},
        {R"({"kind": "spd_wrong_geometry", "board": "Brimola1", "module": 2})", dimm, "DIMMS Mismatch, DIMM1[3]=0x0D DIMM2[3]=0x0C\n", true},
        {R"({"kind": "missing_space", "board": "Brimola1", "space": "I2C.DIMM1"})", dimm, "Could not GetSpace( I2C.DIMM1 )\n", true},
        {R"({"kind": "vpd_broken", "board": "Brimola1", "part": "name_tag"})", vpd, " Check for Name Tag(0x82): FAIL, Expected: 0x82, Actual: 0xFF\n", false},
        {R"({"kind": "vpd_broken", "board": "Brimola1", "part": "end_tag"})", vpd, " Check for End Tag(0x79):  FAIL, Expected: 0x79, Actual: 0x78", false},
        {R"({"kind": "vpd_broken", "board": "Brimola1", "part": "checksum"})", vpd, "", false},  // the chain holds; the field reader refuses it
        {R"({"kind": "vpd_missing_field", "board": "Brimola1", "field": "SN"})", vpd, "", false},
        {pastTheEnd, vpd, " Check for End Tag(0x79):  dwPos to large\n", false},
        // An open diode reads 0 for ever and the retries end.
        {R"({"kind": "sensor_bad_reading", "board": "Brimola1", "sensor": "1TEMP", "value": 0})", openDiode, "", false},
        {R"({"kind": "missing_space", "board": "Brimola1", "space": "I2C.TSENSOR"})", noSensor, "Could not GetSpace( I2C.TSENSOR )\n", true},
        // No image with a record booted: no text, no revision, one line saying so.
        {missingHeader + "PCIX\"}," + missingHeader + "PCI\"}," + missingHeader + "SAFE\"}", revision, "Unable to get R field from flash OXD\n", false},
    };
    for (const auto& row : rows) {
        ScopedRig rig(OneBoard(row.faults));
        ReportTest test;
        EXPECT_FALSE(row.passes(test)) << row.faults;
        EXPECT_TRUE(test.out.Has(row.line)) << row.faults << "\n" << test.out.text;
        EXPECT_TRUE(!row.red || test.out.HasColoured(std::string(row.line).substr(0, std::string(row.line).find('\n') + 1), kColorRed)) << row.line;
    }
    ScopedRig rig(OneBoard("", R"(, "sdram_mib": 2048)"));
    EXPECT_EQ(ReportTest().ReadSPD(), 0xFFFFFFFFu) << "4 GiB of modules does not fit 32 bits and must not read as 0";
}

// A sensor register whose descriptor claims more bytes than a reading holds.
struct WideSensorSpace : CDevRegSpace {
    WideSensorSpace() : CDevRegSpace(SPACE_I2C_TSENSOR, "I2C.TSENSOR", "", 256, {1, 1, 1, 1, 1}) { SetSymbolTable(symbols, 1); }
    int Get(void* buffer, DWORD, int count) override { return std::memset(buffer, 0x2A, static_cast<size_t>(asked = count)), count; }
    int asked = 0;
    const CPPVarDesc symbols[1] = {{"WIDE", 0x10, 8, 0, nullptr}};
};

// Healthy VPD, temperature registers by name, and the flash record's text.
TEST(BoardReportTest, HealthyBoardReports) {
    ScopedRig rig(OneBoard(R"({"kind": "sensor_bad_reading", "board": "Brimola1", "sensor": "1TEMP", "value": 0, "count": 3})",
                           R"(, "sensors": {"local_temp_c": -5})"));
    ReportTest test;
    EXPECT_TRUE(test.CheckVPDStructure() && Count(test.out.text, "Pass") == 4);
    EXPECT_EQ(test.GetSerialNumber() + "|" + test.GetFlashRevision(), "BRM0000001|0C75");
    EXPECT_NE(test.GetDeviceInfoText().Find("N:PUVI0202"), -1);
    // A few bad readings are retried past.
    DWORD value = 0;
    EXPECT_TRUE(test.ReadTemperatureNonZero("1TEMP", &value) && value == 45 && test.ReadTemperature("LTEMP", &value) && value == 0xFB) << value;
    EXPECT_FALSE(test.ReadTemperature("XTEMP", &value) || test.ReadTemperature(nullptr, &value) || test.ReadTemperature("1TEMP", nullptr) || value != 0xFB);
    auto* wide = static_cast<WideSensorSpace*>(test.Board()->AddSpace(std::make_unique<WideSensorSpace>()));
    EXPECT_TRUE(test.ReadTemperature("WIDE", &value) && wide->asked * 1000 + value == 4042) << "at most four bytes: " << value;
}

}  // namespace
