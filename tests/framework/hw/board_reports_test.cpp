// Tests of the tree-map base's board reports: DIMM SPD checks, VPD structure and serial, temperature, flash revision.
#include <sstream>

#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

// A bound test with the main-board root's DIMM checks, and SPD images that can be edited byte by byte.
class ReportTest : public BoundTest {
public:
    explicit ReportTest(const char* board = "Brimola1") : BoundTest(board) {}
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

private:
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
        {"64=7F 65=7F 66=2A", 1, true, "      Vendor: Kentron Technologies\n", "unknown"},
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
    EXPECT_EQ(test.ReadSPD(), 0x40000000u);
    test.EditSpd("5=1 31=40");
    EXPECT_EQ(test.ReadSPD(), 0x20000000u);
}

// Rig faults the DIMM report must catch, with the red line naming each and the size it counts.
TEST(BoardReportTest, DimmFaultsFailTheReport) {
    const struct { std::string faults; const char* line; DWORD size; } rows[] = {
        {R"({"kind": "spd_wrong_geometry", "board": "Brimola1"}, {"kind": "spd_wrong_size", "board": "Brimola1", "mib": 256})",
         "DIMM 1: Incorrect Size Expect:512MB   Actual:256MB\nDIMM 1: Incorrect Number of Row/Column addresses,exp: R=13,C=[10 | 11] act:R=12,C=9\n",
         0x20000000},
        {R"({"kind": "spd_wrong_geometry", "board": "Brimola1", "module": 2})", "DIMMS Mismatch, DIMM1[3]=0x0D DIMM2[3]=0x0C\n", 0x40000000},
        {R"({"kind": "missing_space", "board": "Brimola1", "space": "I2C.DIMM1"})", "Could not GetSpace( I2C.DIMM1 )\n", 0x20000000},
    };
    for (const auto& row : rows) {
        ScopedRig rig(OneBoard(row.faults));
        ReportTest test;
        EXPECT_FALSE(test.ShowDIMMInfo(1) || test.out.Has("DIMM Module ID check PASSES")) << row.line;
        EXPECT_TRUE(test.out.Has(row.line)) << test.out.text;
        EXPECT_TRUE(test.out.HasColoured(std::string(row.line).substr(0, std::string(row.line).find('\n') + 1), kColorRed));
        EXPECT_EQ(test.ReadSPD(), row.size) << row.line;
    }
    ScopedRig rig(OneBoard("", R"(, "sdram_mib": 2048)"));
    EXPECT_EQ(ReportTest().ReadSPD(), 0xFFFFFFFFu) << "4 GiB of modules does not fit 32 bits and must not read as 0";
}

TEST(BoardReportTest, VpdStructureAndSerialNumber) {
    devlib::LoadDefaultRig();
    ReportTest healthy;
    EXPECT_TRUE(healthy.CheckVPDStructure());
    EXPECT_EQ(Count(healthy.out.text, "Pass"), 4u);
    EXPECT_EQ(healthy.GetSerialNumber(), "BRM0000001");
    // The identifier's length (bytes 1-2 at BAR0 0x2000) is bent by the mirror fault to point past the image.
    const DWORD head = healthy.GetBoardIF().GetRegisters()[0x2000 / 4];
    const std::string pastTheEnd = R"({"kind": "flash_mirror_mismatch", "board": "Brimola1", "offset": 8192, "mask": )" +
                                   std::to_string((head ^ (0x400 - 4) << 8) & 0xFFFF00) + "}";
    const struct { std::string faults; bool structure; const char* line; } rows[] = {
        {R"({"kind": "vpd_broken", "board": "Brimola1", "part": "name_tag"})", false, " Check for Name Tag(0x82): FAIL, Expected: 0x82, Actual: 0xFF\n"},
        {R"({"kind": "vpd_broken", "board": "Brimola1", "part": "end_tag"})", false, " Check for End Tag(0x79):  FAIL, Expected: 0x79, Actual: 0x78"},
        {R"({"kind": "vpd_broken", "board": "Brimola1", "part": "checksum"})", true, ""},  // the field reader refuses the image
        {R"({"kind": "vpd_missing_field", "board": "Brimola1", "field": "SN"})", true, ""},
        {pastTheEnd, false, " Check for End Tag(0x79):  dwPos to large\n"},
    };
    for (const auto& row : rows) {
        ScopedRig rig(OneBoard(row.faults));
        ReportTest test;
        EXPECT_EQ(test.CheckVPDStructure(), row.structure ? TRUE : FALSE) << row.faults;
        EXPECT_TRUE(test.out.Has(row.line)) << test.out.text;
        EXPECT_EQ(test.GetSerialNumber(), "") << row.faults;
    }
}

// A sensor register whose descriptor claims more bytes than a reading holds.
struct WideSensorSpace : CDevRegSpace {
    WideSensorSpace() : CDevRegSpace(SPACE_I2C_TSENSOR, "I2C.TSENSOR", "", 256, {1, 1, 1, 1, 1}) { SetSymbolTable(symbols, 1); }
    int Get(void* buffer, DWORD, int count) override { return std::memset(buffer, 0x2A, static_cast<size_t>(asked = count)), count; }
    int asked = 0;
    const CPPVarDesc symbols[1] = {{"WIDE", 0x10, 8, 0, nullptr}};
};

TEST(BoardReportTest, TemperatureRegistersAreReadByName) {
    {
        ScopedRig rig(OneBoard("", R"(, "sensors": {"local_temp_c": -5})"));
        ReportTest test;
        DWORD value = 0;
        EXPECT_TRUE(test.ReadTemperature("LTEMP", &value) && value == 0xFB) << value;
        EXPECT_FALSE(test.ReadTemperature("XTEMP", &value) || test.ReadTemperature(nullptr, &value) || test.ReadTemperature("1TEMP", nullptr) || value != 0xFB);
        auto* wide = static_cast<WideSensorSpace*>(test.Board()->AddSpace(std::make_unique<WideSensorSpace>()));
        EXPECT_TRUE(test.ReadTemperature("WIDE", &value));
        EXPECT_EQ(wide->asked * 1000 + value, 4042u) << "at most four bytes";
    }
    // An open diode reads 0 for ever and the retries end; a few bad readings are retried past.
    for (auto [count, pass] : {std::pair<const char*, bool>{"", false}, {R"(, "count": 3)", true}}) {
        ScopedRig rig(OneBoard(std::string(R"({"kind": "sensor_bad_reading", "board": "Brimola1", "sensor": "1TEMP", "value": 0)") + count + "}"));
        DWORD value = 77;
        EXPECT_EQ(ReportTest().ReadTemperatureNonZero("1TEMP", &value), pass ? TRUE : FALSE);
        EXPECT_EQ(value, pass ? 45u : 0u);
    }
    ScopedRig rig(OneBoard(R"({"kind": "missing_space", "board": "Brimola1", "space": "I2C.TSENSOR"})"));
    ReportTest test;
    DWORD value = 77;
    EXPECT_FALSE(test.ReadTemperature("1TEMP", &value));
    EXPECT_TRUE(value == 77 && test.out.HasColoured("Could not GetSpace( I2C.TSENSOR )\n", kColorRed));
}

TEST(BoardReportTest, DeviceInfoTextAndFlashRevision) {
    devlib::LoadDefaultRig();
    EXPECT_NE(ReportTest().GetDeviceInfoText().Find("N:ZVKX0202"), -1);
    EXPECT_EQ(ReportTest().GetFlashRevision(), "0C75");
    EXPECT_NE(ReportTest("Nuxa1").GetDeviceInfoText().Find("N:KEZO0202"), -1);
    // No image with a record booted: no text, no revision, one line saying so.
    const char* missing = R"({"kind": "flash_missing_header", "board": "Brimola1", "segment": ")";
    ScopedRig rig(OneBoard(missing + std::string("PCIX\"},") + missing + "PCI\"}," + missing + "SAFE\"}"));
    ReportTest test;
    EXPECT_EQ(test.GetDeviceInfoText() + test.GetFlashRevision(), "");
    EXPECT_EQ(Count(test.out.text, "Unable to get R field from flash OXD\n"), 1u);
}

}  // namespace
