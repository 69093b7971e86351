// Tests of DownloadXilinx on the rig's configuration port: images configured, progress, and every port fault reported.
#include <unistd.h>

#include "framework/hw/fpga_download.h"
#include "platform/host_ui.h"
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

namespace fs = std::filesystem;

// What the identification words of the main board's FPGAs read (BAR0) and what they report once
// configured with the rig's images.
constexpr DWORD kKeyerIdWord = 0xBFC8, kPairAIdWord = 0x1BFC8;
constexpr DWORD kLocvId = 0x003010A5, kTazuId = 0x004020A0, kUnconfigured = 0xFFFFFFFF;
// The bits of the configuration register that read back as written.
constexpr DWORD kLatchedBits = 0x000707FF;

// The rig's firmware fixtures: beside the program when the build copied them, else the checked-in ones.
std::string Fixture(const char* name) {
    char exe[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        const fs::path beside = fs::path(std::string(exe, static_cast<size_t>(n))).parent_path() / "testdata" / name;
        if (fs::exists(beside)) return beside.string();
    }
    return (fs::path(__FILE__).parent_path() / "../../../testdata/oxd" / name).lexically_normal().string();
}

class RecordingProgress : public CProgressCtrl {
public:
    void ShowWindow(int cmd) override { shows.push_back(cmd); }
    void SetRange32(int lower, int upper) override { range = {lower, upper}; }
    int SetPos(int pos) override {
        positions.push_back(pos);
        return 0;
    }
    int GetPos() const override { return positions.empty() ? 0 : positions.back(); }
    std::vector<int> shows, positions;
    std::pair<int, int> range{-1, -1};
};

class FpgaDownloadTest : public ::testing::Test, public CWnd {
protected:
    void SetUp() override {
        devlib::LoadDefaultRig();
        platform::SetMainWnd(this);
    }
    void TearDown() override { platform::SetMainWnd(nullptr); }
    CWnd* GetDlgItem(int id) override { return id == kProgressCtrlId ? &progress : nullptr; }
    static DWORD Register(BoundTest& test, DWORD offset) { return test.GetBoardIF().GetRegisters()[offset / 4]; }

    RecordingProgress progress;
    const COxd image{Fixture("LOCV0202.oxd").c_str(), 1};
};

TEST_F(FpgaDownloadTest, KeyerIsConfiguredFromItsImageWithTheProgressBarMoving) {
    BoundTest test;
    ASSERT_EQ(Register(test, kKeyerIdWord), kUnconfigured);
    EXPECT_EQ(DownloadXilinx(0, &test, image), kRunPassed);
    EXPECT_EQ(test.out.text, "");
    EXPECT_EQ(Register(test, kKeyerIdWord), kLocvId);
    // Left with only the select bits; INIT and DONE up.
    const DWORD pins = Register(test, kFpgaConfigRegister);
    EXPECT_EQ(pins & (kLatchedBits | kFpgaConfigInit | kFpgaConfigDone), kFpgaConfigInit | kFpgaConfigDone);
    std::vector<int> steps;
    for (DWORD i = 0; i < image.GetDataSize(); i += 2500) steps.push_back(static_cast<int>(i));
    EXPECT_EQ(progress.range, (std::pair<int, int>{0, static_cast<int>(image.GetDataSize())}));
    EXPECT_EQ(progress.positions, steps);
    ASSERT_EQ(progress.shows.size(), 2u);
    EXPECT_NE(progress.shows[0], SW_HIDE);
    EXPECT_EQ(progress.shows[1], SW_HIDE);

    // Only the low three bits of the select number count: 9 is FPGA 1, the pair's A.
    EXPECT_EQ(DownloadXilinx(9, &test, COxd(Fixture("TAZU0202.oxd").c_str(), 1)), kRunPassed) << test.out.text;
    EXPECT_EQ(Register(test, kPairAIdWord), kTazuId);
    EXPECT_EQ(Register(test, kFpgaConfigRegister) & kLatchedBits, 1u << kFpgaConfigSelectShift);
    // Without a progress bar the download is the same.
    platform::SetMainWnd(nullptr);
    ScopedRig rig(MainBoardRig());
    BoundTest again;
    EXPECT_EQ(DownloadXilinx(0, &again, image), kRunPassed);
    EXPECT_EQ(Register(again, kKeyerIdWord), kLocvId);
}

TEST_F(FpgaDownloadTest, ShortAndEmptyStreamsStillRunTheHandshakeAndEndChecks) {
    TempDir dir;
    OxdParts parts;
    parts.tags = "N:JUNK0001;";
    parts.data = std::string(2501, '\0');  // not a stream: the FPGA drops INIT at once
    const COxd junk(dir.Write("JUNK0001.oxd", MakeOxd(parts)).c_str(), 1);
    BoundTest test;
    EXPECT_EQ(DownloadXilinx(0, &test, junk), kRunFailed);
    EXPECT_EQ(progress.positions, (std::vector<int>{0, 2500}));
    EXPECT_EQ(test.out.text, "Init bit did not go to 1 at end\nDone bit did not go to 1 at end\n");
    // No data bytes: PROG, INIT, then the trailing clocks, whose zero bytes are no stream either.
    progress.positions.clear();
    test.out = {};
    parts.data.clear();
    const COxd empty(dir.Write("JUNK0001.oxd", MakeOxd(parts)).c_str(), 1);
    ASSERT_TRUE(empty.IsValid());
    EXPECT_EQ(DownloadXilinx(0, &test, empty), kRunFailed);
    EXPECT_EQ(test.out.text, "Init bit did not go to 1 at end\nDone bit did not go to 1 at end\n");
    EXPECT_TRUE(test.out.HasColoured("Done bit", kColorRed));
    EXPECT_TRUE(progress.positions.empty());
    EXPECT_EQ(progress.range, (std::pair<int, int>{0, 0}));
    EXPECT_EQ(Register(test, kFpgaConfigRegister) & kLatchedBits, 0u);
}

TEST_F(FpgaDownloadTest, NoDataOrNoMainBoardRegistersMeansNoDownload) {
    BoundTest test;
    // Bytes in memory carry no image data: nothing is written or printed.
    test.GetBoardIF().GetRegisters()[kFpgaConfigRegister / 4] = 3u << kFpgaConfigSelectShift;
    EXPECT_EQ(DownloadXilinx(0, &test, COxd("N:LOCV0202;R:0202;", 0)), kRunFailed);
    EXPECT_EQ(DownloadXilinx(0, &test, COxd("/no/such/LOCV0202.oxd", 1)), kRunFailed);
    EXPECT_EQ(test.out.text, "");
    EXPECT_EQ(Register(test, kFpgaConfigRegister) & kLatchedBits, 3u << kFpgaConfigSelectShift);
    EXPECT_EQ(DownloadXilinx(0, nullptr, image), kRunFailed);
    RecordingTreeTest unbound;
    EXPECT_EQ(DownloadXilinx(0, &unbound, image), kRunFailed);
    EXPECT_TRUE(unbound.out.HasColoured("Invalid pBAR0\n", kColorRed));
    // The codec board has no main-board registers.
    BoundTest codec("Nuxa1");
    EXPECT_EQ(DownloadXilinx(3, &codec, image), kRunFailed);
    EXPECT_EQ(codec.out.text, "Invalid pBAR0\n");
}

TEST_F(FpgaDownloadTest, EachConfigurationPortFaultIsReported) {
    const std::pair<const char*, const char*> rows[] = {
        {R"("kind": "fpga_init_never_falls", "device": 0)", "ERROR TIMEOUT:  Waiting for xilinx to pull init pin low\n"},
        {R"("kind": "fpga_init_never_rises", "device": 0)", "ERROR TIMEOUT:  Waiting for xilinx to pull init pin high\n"},
        {R"("kind": "fpga_done_stays_low", "device": 0)", "Done bit did not go to 1 at end\n"},
        {R"("kind": "fpga_crc_error", "device": 0, "at": 1024)", "Init bit did not go to 1 at end\nDone bit did not go to 1 at end\n"},
        // The download reaches FPGA 1, which refuses the keyer's stream.
        {R"("kind": "fpga_code_stuck_bit", "bit": 0, "value": 1)", "Init bit did not go to 1 at end\nDone bit did not go to 1 at end\n"},
    };
    for (const auto& [fault, expected] : rows) {
        SCOPED_TRACE(fault);
        ScopedRig rig(MainBoardRig(std::string(R"([{"board": "Brimola1", )") + fault + "}]"));
        BoundTest test;
        progress.shows.clear();
        EXPECT_EQ(DownloadXilinx(0, &test, image), kRunFailed);
        EXPECT_EQ(test.out.text, expected);
        for (const auto& [text, colour] : test.out.coloured) EXPECT_EQ(colour, kColorRed) << text;
        EXPECT_EQ(Register(test, kKeyerIdWord), kUnconfigured);
        // PROG, chip select and data are off again; the bar is not left on screen.
        EXPECT_EQ(Register(test, kFpgaConfigRegister) & (kLatchedBits & ~(7u << kFpgaConfigSelectShift)), 0u);
        ASSERT_FALSE(progress.shows.empty());
        EXPECT_EQ(progress.shows.back(), SW_HIDE);
    }
}

}  // namespace
