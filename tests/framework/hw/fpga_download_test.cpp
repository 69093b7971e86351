// Tests of DownloadXilinx on the rig's configuration port: images configured, and every port fault reported.
#include "framework/hw/fpga_download.h"
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

// The identification words of the main board's FPGAs (BAR0), and what they report once configured.
constexpr DWORD kKeyerIdWord = 0xBFC8, kPairAIdWord = 0x1BFC8;
constexpr DWORD kLatchedBits = 0x000707FF;  // the configuration register's bits that read back as written
const char* const kTwoPinsLow = "Init bit did not go to 1 at end\nDone bit did not go to 1 at end\n";

std::string Fixture(const char* name) { return (std::filesystem::path(__FILE__).parent_path() / "../../../testdata/oxd" / name).string(); }
DWORD Register(BoundTest& test, DWORD offset) { return test.GetBoardIF().GetRegisters()[offset / 4]; }

TEST(FpgaDownloadTest, ImagesAreConfiguredAndBadStreamsFail) {
    devlib::LoadDefaultRig();
    BoundTest test;
    const COxd image(Fixture("LOCV0202.oxd").c_str(), 1);
    EXPECT_TRUE(DownloadXilinx(0, &test, image) == kRunPassed && Register(test, kKeyerIdWord) == 0x003010A5u) << test.out.text;
    // Left with only the select bits; INIT and DONE up.
    EXPECT_EQ(Register(test, kFpgaConfigRegister) & (kLatchedBits | kFpgaConfigInit | kFpgaConfigDone), kFpgaConfigInit | kFpgaConfigDone);
    // Only the low three bits of the select number count: 9 is FPGA 1, the pair's A.
    EXPECT_TRUE(DownloadXilinx(9, &test, COxd(Fixture("TAZU0202.oxd").c_str(), 1)) == kRunPassed && Register(test, kPairAIdWord) == 0x004020A0u);
    // Zeros are no stream: the FPGA drops INIT at once, yet the end checks run.
    TempDir dir;
    const COxd junk(dir.Write("JUNK0001.oxd", MakeOxd(OxdParts{.tags = "N:JUNK0001;", .data = std::string(2501, '\0')})).c_str(), 1);
    EXPECT_TRUE(DownloadXilinx(0, &test, junk) == kRunFailed && test.out.Has(kTwoPinsLow)) << test.out.text;
    // No image data, no test, no board registers: failed.
    RecordingTreeTest unbound;
    EXPECT_EQ(DownloadXilinx(0, &test, COxd("N:LOCV0202;R:0202;", 0)) + DownloadXilinx(0, nullptr, image) + DownloadXilinx(0, &unbound, image),
              3 * kRunFailed);
    EXPECT_TRUE(unbound.out.HasColoured("Invalid pBAR0\n", kColorRed));
}

TEST(FpgaDownloadTest, EachConfigurationPortFaultIsReported) {
    const std::pair<const char*, const char*> rows[] = {
        {R"("kind": "fpga_init_never_falls", "device": 0)", "ERROR TIMEOUT:  Waiting for xilinx to pull init pin low\n"},
        {R"("kind": "fpga_init_never_rises", "device": 0)", "ERROR TIMEOUT:  Waiting for xilinx to pull init pin high\n"},
        {R"("kind": "fpga_done_stays_low", "device": 0)", "Done bit did not go to 1 at end\n"},
        {R"("kind": "fpga_crc_error", "device": 0, "at": 1024)", kTwoPinsLow},
        {R"("kind": "fpga_code_stuck_bit", "bit": 0, "value": 1)", kTwoPinsLow},  // FPGA 1 gets the keyer's stream and refuses it
    };
    for (const auto& [fault, expected] : rows) {
        ScopedRig rig(MainBoardRig(std::string(R"([{"board": "Brimola1", )") + fault + "}]"));
        BoundTest test;
        EXPECT_EQ(DownloadXilinx(0, &test, COxd(Fixture("LOCV0202.oxd").c_str(), 1)), kRunFailed) << fault;
        EXPECT_EQ(test.out.text, expected) << fault;
        EXPECT_TRUE(std::all_of(test.out.coloured.begin(), test.out.coloured.end(), [](const auto& p) { return p.second == kColorRed; }));
        // PROG, chip select and data are off again.
        EXPECT_EQ(Register(test, kFpgaConfigRegister) & kLatchedBits & ~(7u << kFpgaConfigSelectShift), 0u) << fault;
    }
}

}  // namespace
