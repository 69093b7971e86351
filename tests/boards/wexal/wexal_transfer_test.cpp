// Tests of CWexal's image harness, host transfers, image compares and BMP capture on the simulated rig.
#include <filesystem>

#include "framework/hw/wexal_dcb.h"
#include "framework/test_record.h"
#include "images/packed_image.h"
#include "images/unpacked_image.h"
#include "tests/boards/wexal/wexal_test_support.h"

using support::ScopedRig;
using wexaltest::HasAll;
using wexaltest::Count;
using wexaltest::RecordingWexal;
using wexaltest::WexalTest;

namespace {

TEST_F(WexalTest, HarnessRunsEveryPatternPlacesFramesAndRefusesBadListsAndArguments) {
    Make("-ENGINEERING");
    Fill("IMAGE_LIST", {"GRID", "FOO", "(RANDOM SEED=0x2A)", "(RANDOM SEED=42)", "(SOLID=(Y=0x40:CB=512:CR=512))"});
    const std::string command = "\"Host Transfer:Unpacked Image\" DIM=(64, 8) VERBOSE=1";
    EXPECT_TRUE(Gives(command, kRunPassed,
                      {"Unsupported Image Pattern=FOO\n", "Test Solid:  Y=64, Cb=512, Cr=512\n",
                       "~*GREEN*~PASS:\tTest[CWexal:HostSlave_Unpacked:GRID] DIM[64,8]~*BLACK*~\n"}));
    EXPECT_EQ(Count(Text(), command + " IMAGE="), 5u) << "the explicit DIM replaces the resolution list";
    EXPECT_EQ(m_root.GetSummary().size(), 4u) << "an unsupported line gets no summary line";
    // A bad seed abandons the rest of its resolution.
    Fill("IMAGE_LIST", {"(RANDOM SEED=XYZ)", "GRID"});
    Fill("RESOLUTION_LIST", {"(DIM=(16,4))", "(DIM=(32,4))"});
    EXPECT_TRUE(Gives("\"Host Transfer:Unpacked Image\"", kRunPassed));
    EXPECT_EQ(Count(Text(), "SEED not understood\n"), 2u);
    EXPECT_FALSE(Has("Test Grid"));
    // So does a SOLID value past its field, and the test fails: nothing is drawn with a cut value.
    Fill("IMAGE_LIST", {"(SOLID=(Y=0x100000040))", "GRID"});
    EXPECT_TRUE(Gives("\"Host Transfer:Unpacked Image\"", kRunFailed,
                      {"Argument SOLID Y=0X100000040 does not fit its range 0..4294967295\n"}));
    EXPECT_FALSE(Has("Test Grid") || Has("Test Solid"));
    // No MODE counts as the slave transfer it always is; frame 3 lies two 720x486 frames on.
    Fill("IMAGE_LIST", {"HORZ_WEDGE"});
    EXPECT_TRUE(Gives("\"Host Transfer:Unpacked Image\" DIM=(720,486) FRAMES=3 ADDRESS=0x1000", kRunPassed,
                      {"Read/Compare DST Image #:  3  Address[0x002AC700]\n"}));
    // {the resolution list, the command's arguments, what it prints, whether a resolution ran and was summed up}
    const std::tuple<std::vector<const char*>, const char*, const char*, bool> cases[] = {
        {{"(DIM=(12))"}, "", "Unrecognized resolution DIM=(0,0)\n", false},
        {{"NOTHING"}, "", "Invalid resolution DIM=(0,0)\n", false},
        {{}, "", "The RESOLUTION list is empty!\n", false},
        {{}, " DIM=(0,8)", "Invalid resolution DIM=(0,8)\n", false},
        {{}, " DIM=(8,8) ADDRESS=XYZ", "FAIL:", true},
        {{}, " DIM=(8,8) MODE=MASTER", "FAIL:", true},
        {{}, " DIM=(1920,1080) FRAMES=2 ADDRESS=0x1FC00000", "Unsufficient memory for 2 unpacked frames\n", true}};
    for (const auto& [resolutions, arguments, message, summed] : cases) {
        Fill("RESOLUTION_LIST", resolutions);
        EXPECT_TRUE(Gives(std::string("\"Host Transfer:Unpacked Image\"") + arguments, kRunFailed, {message}));
        EXPECT_EQ(Has("SUMMARY"), summed) << message;
    }
    Fill("IMAGE_LIST", {});
    EXPECT_TRUE(Gives("\"Host Transfer:Unpacked Image\" DIM=(8,8)", kRunFailed, {"The IMAGE list is empty!\n"}));
}

TEST_F(WexalTest, HostTransfersCatchAStuckBitAndStoreTheFailingPair) {
    ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}],
        "faults": [{"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 10, "value": 1}]})");
    Make();
    Fill("IMAGE_LIST", {"(SOLID=(Y=0:CB=0:CR=0))"});
    EXPECT_TRUE(Gives("\"Host Transfer:Unpacked Image\" DIM=(64,4) FRAMES=2 RETRYREAD=2 VERBOSE=1", kRunFailed,
                      {"\tRetry[1]  Read/Compare SRC Image:  1 ",
                       "~*RED*~FAIL:\tTest[CWexal:HostSlave_Unpacked:SOLID=(Y=0:CB=0:CR=0)] DIM[64,4]~*BLACK*~\n"}));
    // Bit 10 is bit 4 of the Cb and Cr samples' values: every word is wrong. Each frame is
    // compared three times (RETRYREAD=2).
    EXPECT_EQ(Count(Text(), "Total 256 errors out of 256\n"), 6u) << Text();
    EXPECT_TRUE(Gives("\"Host Transfer:Packed Image\" DIM=(64,4)", kRunFailed));
    for (const char* pair : {"Unpacked.1", "Unpacked.2", "Packed.1"})
        EXPECT_TRUE(platform::FileExists(Dir().File(std::string("Zorv.Image.HostTransfer.") + pair).c_str())) << pair;
}

// A CWexal whose host sets the stop flag, as the operator's Ctrl-C, once the text the test printed
// holds trigger.
struct StoppedOnText : RecordingWexal {
    StoppedOnText(const char* name, std::string text) : RecordingWexal(name), trigger(std::move(text)) {}
    ~StoppedOnText() override { *g_StopFlag() = 0; }
    void PrintColor(CString text, COLORREF colour) override {
        RecordingWexal::PrintColor(text, colour);
        if (out.Has(trigger)) *g_StopFlag() = 1;
    }
    std::string trigger;
};

// The image transfers end at the host's stop request: in an operator's count of read retries, and in
// the wait for a DMA chain whose deadline follows the frames' size. The image runs no further, the
// summary holds only the images that ended, and the run answers 3.
TEST_F(WexalTest, ImageTransfersEndAtTheStopRequest) {
    const struct {
        const char* name;
        const char* fault;
        const char* command;
        const char* trigger;
        const char* counted;  // the text of each compare, or of each time-out report
        size_t count;
    } rows[] = {
        // The first frame's compare and its first retry, then no more.
        {"read retries", R"({"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 10, "value": 1})",
         "\"Host Transfer:Unpacked Image\" DIM=(64,4) FRAMES=2 RETRYREAD=1000000", "\tRetry[1]  Read/Compare SRC Image:  1 ",
         "Total 256 errors out of 256\n", 2},
        {"chain wait", R"({"kind": "dma_stall", "board": "Brimola1", "channel": 57})",
         "\"Video Utility Client:YCbCr_8bit Image\" DIM=(720,486) FRAMES=15 VERBOSE=2", "Timeout calculation:", "ERROR: After ", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedRig rig(std::string(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}], "faults": [)") + row.fault + "]}");
        Make();  // the lists as a test gets them
        StoppedOnText test("CWexal", row.trigger);
        test.SetParent(&m_root);
        test.TakeBoardIF(&m_root);
        test.Run("IMAGE_LIST CLEAR");
        test.Run("IMAGE_LIST ADD=GRID");
        test.Run("IMAGE_LIST ADD=HORZ_WEDGE");
        test.out = {};
        EXPECT_EQ(test.Run(row.command), kRunStopped) << test.out.text;
        EXPECT_TRUE(HasAll(test.out.text, {row.trigger, "\nStopped by User\n"}));
        EXPECT_EQ(Count(test.out.text, row.counted), row.count) << test.out.text;
        EXPECT_EQ(Count(test.out.text, " IMAGE="), 1u) << "the second image ran";
        EXPECT_EQ(Count(test.out.text, "PASS:") + Count(test.out.text, "FAIL:"), 0u);
        *g_StopFlag() = 0;
    }
}

TEST_F(WexalTest, OddSizedImagesMoveExactlyTheirBlockAndPass) {
    // A packed picture of an odd pixel count is half a pair short of its counted size, which the
    // whole 4096-byte frame rounds up: the frame's last byte is not the picture's and stays as it
    // was. (Under the sanitizer a transfer of the counted size reads and writes past the blocks.)
    const struct { const char* command; DWORD w, h; bool packed; } rows[] = {
        {"\"Host Transfer:Packed Image\"", 1, 1, true},
        {"\"Host Transfer:Packed Image\"", 7, 5, true},
        {"\"Host Transfer:Packed Image\"", 65, 3, true},
        {"\"Host Transfer:Unpacked Image\"", 1, 1, false},
        {"\"Host Transfer:Unpacked Image\"", 7, 5, false},
        {"\"Host Transfer:Unpacked Image\"", 65, 3, false},
        {"\"Video Utility Client:YCbCr_8bit Image\"", 7, 5, false},
        {"\"Video Utility Client:YCbCr_8bit Image\"", 65, 3, false},
    };
    // Healthy memory has its frames compared where they lie; a fault far from them (any fault)
    // sends every frame through the read-back copy: the two must say the same.
    const char* const rigs[] = {
        R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}]})",
        R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}],
            "faults": [{"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 10, "value": 1, "from": 268435456, "to": 268435460}]})"};
    std::vector<std::string> said[2];
    for (int r = 0; r < 2; ++r) {
        ScopedRig rig(rigs[r]);
        Make();
        Fill("IMAGE_LIST", {"GRID", "(RANDOM SEED=7)"});
        for (const auto& row : rows) {
            const std::string dim = "DIM=(" + std::to_string(row.w) + "," + std::to_string(row.h) + ")";
            SCOPED_TRACE(std::string(row.command) + " " + dim + (r ? " read back" : " in place"));
            for (DWORD unit : {0x0FFCu, 0x1FFCu}) Poke(unit, {0xA5A5A5A5});
            EXPECT_TRUE(Gives(std::string(row.command) + " " + dim + " FRAMES=2 VERBOSE=2", kRunPassed, {"PASS:"}));
            EXPECT_FALSE(Has("FAIL:")) << Text();
            said[r].push_back(Text());
            if (!row.packed) continue;
            for (DWORD last : {0x0FFFu, 0x1FFFu}) {
                BYTE byte = 0;
                ASSERT_EQ(Board()->GetSDRAMSpace()->Get(&byte, last, 1), 1);
                EXPECT_EQ(byte, 0xA5) << "byte 0x" << std::hex << last << " lies beyond the picture's block";
            }
        }
    }
    ASSERT_EQ(said[0].size(), said[1].size());
    for (size_t i = 0; i < said[0].size(); ++i) EXPECT_EQ(said[0][i], said[1][i]) << rows[i].command;
}

TEST_F(WexalTest, ImageComparesCountSamplesAndLimitTheirReports) {
    RecordingWexal& t = Make();
    Unpacked::Image::YCbCr_10_6 expected(64, 4, 0), read(64, 4, 0);
    expected.FillHorzWedge(0, 0, 0x3FF);
    read.CopyFrom(expected);
    read.GetBuffer()[8] ^= 0x3F;  // bits 5..0 of a sample are not compared
    EXPECT_TRUE(t.CompareUnpackedImages(expected, read));
    // One sample wrong, anywhere in the picture: Y0 of the second pair, the last sample (Cr of the
    // last pair, 64 x 4 x 4 bytes in all).
    for (const auto& [at, says] : {std::pair<size_t, const char*>{11, "64 bit Offset[0x00000008]"},
                                   std::pair<size_t, const char*>{1021, "64 bit Offset[0x000003F8]"}}) {
        read.CopyFrom(expected);
        read.GetBuffer()[at] ^= 0x80;
        EXPECT_FALSE(t.CompareUnpackedImages(expected, read)) << at;
        EXPECT_TRUE(wexaltest::HasAll(Text(), {"Total 1 errors out of 256\n", says})) << at;
    }
    // Packed pictures: a wrong 2-bit field or 8-bit sample of the last pixel pair is found.
    const Packed::Image::YCbCr_8_2 packed(expected, 0);
    Packed::Image::YCbCr_8_2 packedRead(64, 4, 0);
    packedRead = packed;
    EXPECT_TRUE(t.ComparePackedImages(packed, packedRead));
    for (const bool twoBit : {true, false}) {
        packedRead = packed;
        if (twoBit) packedRead.Get2BitPlane()[127] ^= 0x40;
        else packedRead.Get8BitPlane()[4 * 127 + 3] ^= 0x40;
        EXPECT_FALSE(t.ComparePackedImages(packed, packedRead));
        EXPECT_TRUE(wexaltest::HasAll(Text(), {"Total 1 errors out of 256\n", "Offset[0x000000FE]"}));
    }
    EXPECT_FALSE(t.CompareUnpackedImages(expected, Unpacked::Image::YCbCr_10_6(32, 8, 0)));
    EXPECT_TRUE(HasRed("Image XSize mismatch\n"));

}

TEST_F(WexalTest, SaveBMPFindsTheResolutionAndTakesTheFirstFreeName) {
    Make("-ENGINEERING");
    CWexalDMAChannel* ch = Board()->GetDMAChannel(12);
    auto load = [&](DWORD lines, DWORD width) {
        WexalDCB dcb;
        dcb.SetStartAddress(0x80000);
        dcb.SetLines(lines - 1);
        dcb.SetLineLength(width);
        dcb.SetInitialLineLength(width);
        ASSERT_TRUE(ch->SetDCB(3, &dcb));
    };
    load(1080, 960);
    Dir().Write("PIC1.BMP", "in use");
    const std::string save = "\"Save BMP Image\" ADDRESS=@DCB(12,3,1) ";
    EXPECT_TRUE(Gives(save + "FILE=pic%d.bmp FORMAT=Image:YCbCr_8bit", kRunPassed,
                      {"Wexal Address[0x00080000]\n", "Resolution Match:  Width=1920, Height=1080 Progressive\n", "File:  pic2.bmp\n"}));
    // The name in use is found in any case; the new file takes the case written.
    EXPECT_GT(Dir().Read("pic2.bmp").size(), 1920u * 1080u);
    EXPECT_FALSE(std::filesystem::exists(Dir().File("PIC2.BMP")));
    EXPECT_FALSE(platform::FileExists(Dir().File("PIC3.BMP").c_str())) << "no empty files beyond the one taken";
    // Interlaced match; a 10-bit frame cannot be saved so, and the failed capture leaves no file.
    load(540, 960);
    EXPECT_TRUE(Gives(save + "FILE=pic%d.bmp FORMAT=Unpacked:Image:YCbCr_10_6", kRunFailed, {"Unable to write:  pic3.bmp\n"}));
    EXPECT_TRUE(Has("Height=1080 Interlaced\n"));
    EXPECT_FALSE(platform::FileExists(Dir().File("PIC3.BMP").c_str()));
    const std::pair<const char*, const char*> refused[] = {
        {"FILE=p%d.bmp", "Unable to find ADDRESS field\n"},
        {"ADDRESS=(12,3) FILE=p%d.bmp", "Unable to find DCB field of ADDRESS\n"},
        {"ADDRESS=@DCB(12,3) FILE=p%d.bmp", "DCB field does not contain 3 entries\n"},
        {"ADDRESS=@DCB(12,3,1) DIM=(0,4) FILE=p%d.bmp", "Invalid resolution DIM=(0,4)\n"},
        {"ADDRESS=@DCB(12,3,1) DIM=(8,4) FILE=p%d.bmp FORMAT=RGB", "FORMAT not supported\n"},
        {"ADDRESS=@DCB(12,3,1) DIM=(8,4) FILE=none/p%d.bmp", "Unable to open:  none/p1.bmp\nAll or part of the path is invalid.\n"}};
    for (const auto& [command, message] : refused) EXPECT_TRUE(Gives(std::string("\"Save BMP Image\" ") + command, kRunFailed, {message}));
    EXPECT_FALSE(platform::FileExists(Dir().File("P1.BMP").c_str()));
    // With both switches the preset holds 320x240 and 640x480: a quarter of one is the other.
    Make("-ENGINEERING -REGRESSION");
    load(240, 320);
    EXPECT_TRUE(Gives(save + "FILE=q%d.bmp", kRunFailed, {"Format in DCB does matches more than 1 common resolution\nDIM=(x,y) must be specified\n"}));
}

}  // namespace
