// Tests of DownloadXilinx on the rig's configuration port: images configured, progress, and every port fault reported.
#include "framework/hw/fpga_download.h"
#include "platform/host_ui.h"
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

// The identification words of the main board's FPGAs (BAR0), and what they report once configured.
constexpr DWORD kKeyerIdWord = 0xBFC8, kPairAIdWord = 0x1BFC8;
constexpr DWORD kLocvId = 0x003010A5, kTazuId = 0x004020A0, kUnconfigured = 0xFFFFFFFF;
constexpr DWORD kLatchedBits = 0x000707FF;  // the configuration register's bits that read back as written
const char* const kTwoPinsLow = "Init bit did not go to 1 at end\nDone bit did not go to 1 at end\n";

std::string Fixture(const char* name) { return (std::filesystem::path(__FILE__).parent_path() / "../../../testdata/oxd" / name).string(); }

// The host's main window is the progress bar itself: it answers for its own id.
class FpgaDownloadTest : public ::testing::Test, public CProgressCtrl {
protected:
    void SetUp() override {
        devlib::LoadDefaultRig();
        platform::SetMainWnd(this);
    }
    void TearDown() override { platform::SetMainWnd(nullptr); }
    CWnd* GetDlgItem(int id) override { return id == kProgressCtrlId ? this : nullptr; }
    void ShowWindow(int cmd) override { shows.push_back(cmd); }
    void SetRange32(int lower, int upper) override { range = {lower, upper}; }
    int SetPos(int pos) override { return positions.push_back(pos), 0; }
    int GetPos() const override { return positions.empty() ? 0 : positions.back(); }
    static DWORD Register(BoundTest& test, DWORD offset) { return test.GetBoardIF().GetRegisters()[offset / 4]; }

    std::vector<int> shows, positions;
    std::pair<int, int> range{-1, -1};
    const COxd image{Fixture("LOCV0202.oxd").c_str(), 1};
};

TEST_F(FpgaDownloadTest, KeyerIsConfiguredFromItsImageWithTheProgressBarMoving) {
    BoundTest test;
    ASSERT_EQ(Register(test, kKeyerIdWord), kUnconfigured);
    EXPECT_EQ(DownloadXilinx(0, &test, image), kRunPassed);
    EXPECT_EQ(test.out.text, "");
    EXPECT_EQ(Register(test, kKeyerIdWord), kLocvId);
    // Left with only the select bits; INIT and DONE up.
    EXPECT_EQ(Register(test, kFpgaConfigRegister) & (kLatchedBits | kFpgaConfigInit | kFpgaConfigDone), kFpgaConfigInit | kFpgaConfigDone);
    std::vector<int> steps;
    for (DWORD i = 0; i < image.GetDataSize(); i += 2500) steps.push_back(static_cast<int>(i));
    EXPECT_EQ(range, (std::pair<int, int>{0, static_cast<int>(image.GetDataSize())}));
    EXPECT_EQ(positions, steps);
    EXPECT_TRUE(shows.size() == 2 && shows[0] != SW_HIDE && shows[1] == SW_HIDE) << "shown, then hidden";
    // Only the low three bits of the select number count: 9 is FPGA 1, the pair's A. No bar: the same download.
    platform::SetMainWnd(nullptr);
    EXPECT_EQ(DownloadXilinx(9, &test, COxd(Fixture("TAZU0202.oxd").c_str(), 1)), kRunPassed) << test.out.text;
    EXPECT_EQ(Register(test, kPairAIdWord), kTazuId);
    EXPECT_EQ(Register(test, kFpgaConfigRegister) & kLatchedBits, 1u << kFpgaConfigSelectShift);
}

TEST_F(FpgaDownloadTest, BadStreamsAndMissingRegistersFail) {
    TempDir dir;
    BoundTest test;
    // Zeros are no stream: the FPGA drops INIT at once, yet the handshake and the end checks run.
    for (size_t bytes : {2501, 0}) {
        positions.clear();
        test.out = {};
        const COxd junk(dir.Write("JUNK0001.oxd", MakeOxd(OxdParts{.tags = "N:JUNK0001;", .data = std::string(bytes, '\0')})).c_str(), 1);
        EXPECT_EQ(DownloadXilinx(0, &test, junk), kRunFailed);
        EXPECT_EQ(positions, (bytes ? std::vector<int>{0, 2500} : std::vector<int>{}));
        EXPECT_TRUE(test.out.HasColoured(kTwoPinsLow, kColorRed) || test.out.text == kTwoPinsLow) << test.out.text;
        EXPECT_EQ(Register(test, kFpgaConfigRegister) & kLatchedBits, 0u);
    }
    // Bytes in memory carry no image data, nor does a missing file: nothing is written or printed.
    test.GetBoardIF().GetRegisters()[kFpgaConfigRegister / 4] = 3u << kFpgaConfigSelectShift;
    test.out = {};
    EXPECT_EQ(DownloadXilinx(0, &test, COxd("N:LOCV0202;R:0202;", 0)) + DownloadXilinx(0, &test, COxd("/no/such/LOCV0202.oxd", 1)), 2 * kRunFailed);
    EXPECT_EQ(test.out.text, "");
    EXPECT_EQ(Register(test, kFpgaConfigRegister) & kLatchedBits, 3u << kFpgaConfigSelectShift);
    EXPECT_EQ(DownloadXilinx(0, nullptr, image), kRunFailed);
    // Unbound, or the codec board without the main board's registers.
    RecordingTreeTest unbound;
    BoundTest codec("Nuxa1");
    EXPECT_EQ(DownloadXilinx(0, &unbound, image) + DownloadXilinx(3, &codec, image), 2 * kRunFailed);
    EXPECT_TRUE(unbound.out.HasColoured("Invalid pBAR0\n", kColorRed));
    EXPECT_EQ(codec.out.text, "Invalid pBAR0\n");
}

TEST_F(FpgaDownloadTest, EachConfigurationPortFaultIsReported) {
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
        shows.clear();
        EXPECT_EQ(DownloadXilinx(0, &test, image), kRunFailed) << fault;
        EXPECT_EQ(test.out.text, expected) << fault;
        for (const auto& [text, colour] : test.out.coloured) EXPECT_EQ(colour, kColorRed) << text;
        EXPECT_EQ(Register(test, kKeyerIdWord), kUnconfigured) << fault;
        // PROG, chip select and data are off again; the bar is not left on screen.
        EXPECT_EQ(Register(test, kFpgaConfigRegister) & kLatchedBits & ~(7u << kFpgaConfigSelectShift), 0u) << fault;
        EXPECT_EQ(shows.back(), SW_HIDE) << fault;
    }
}

}  // namespace
