// Tests of CWexal's image harness, host transfers, image compares and BMP capture on the simulated rig.
#include "framework/hw/wexal_dcb.h"
#include "images/packed_image.h"
#include "images/unpacked_image.h"
#include "tests/boards/wexal/wexal_test_support.h"

using support::ScopedRig;
using wexaltest::Count;
using wexaltest::HasAll;
using wexaltest::RecordingWexal;
using wexaltest::WexalTest;

namespace {

// Fills the image list (after clearing it) and empties the output.
void Images(RecordingWexal& t, std::initializer_list<const char*> images) {
    t.Run("IMAGE_LIST CLEAR");
    for (const char* image : images) t.Run(std::string("IMAGE_LIST ADD=") + image);
    t.out = {};
}

TEST_F(WexalTest, HarnessRunsEveryPatternAndCollectsSummaryLines) {
    RecordingWexal& t = Make();
    Images(t, {"GRID", "FOO", "(RANDOM SEED=0x2A)", "(RANDOM SEED=42)", "(SOLID=(Y=0x40:CB=512:CR=512))"});
    const std::string command = "\"Host Transfer:Unpacked Image\" DIM=(64, 8) VERBOSE=1";
    EXPECT_EQ(t.Run(command), kRunPassed) << Text();
    EXPECT_EQ(Count(Text(), command + " IMAGE="), 5u) << "the explicit DIM replaces the resolution list";
    EXPECT_TRUE(Has("Unsupported Image Pattern=FOO\n"));
    EXPECT_EQ(Count(Text(), "SEED=0x0000002A\n"), 2u) << "hexadecimal and decimal seeds read alike";
    EXPECT_TRUE(Has("Test Solid:  Y=64, Cb=512, Cr=512\n"));
    EXPECT_TRUE(Has("~*GREEN*~PASS:\tTest[CWexal:HostSlave_Unpacked:GRID] DIM[64,8]~*BLACK*~\n"));
    EXPECT_EQ(m_root.GetSummary().size(), 4u) << "an unsupported line gets no summary line";
    EXPECT_TRUE(t.GetSummary().empty()) << "the lines go to the parent";
    EXPECT_EQ(t.Run(command), kRunPassed);
    EXPECT_EQ(m_root.GetSummary().size(), 8u) << "the parent keeps every run's lines";
    t.out = {};
    EXPECT_EQ(t.Run("\"Host Transfer:Packed Image\" DIM=(16,4)"), kRunPassed);
    EXPECT_TRUE(Has("Test Solid:  Y=0, Cb=512, Cr=512\n")) << "the packed transfer reads decimal only";
    // A bad seed abandons the rest of its resolution.
    Images(t, {"(RANDOM SEED=XYZ)", "GRID"});
    t.Run("RESOLUTION_LIST CLEAR");
    t.Run("RESOLUTION_LIST ADD=(DIM=(16,4))");
    t.Run("RESOLUTION_LIST ADD=(DIM=(32,4))");
    t.out = {};
    EXPECT_EQ(t.Run("\"Host Transfer:Unpacked Image\""), kRunPassed);
    EXPECT_EQ(Count(Text(), "SEED not understood\n"), 2u);
    EXPECT_FALSE(Has("Test Grid"));
}

TEST_F(WexalTest, HarnessRefusesEmptyListsAndBadResolutions) {
    RecordingWexal& t = Make();
    const struct {
        const char* resolution;  // the list's one entry; null: an empty list
        const char* dim;         // DIM= of the command, if any
        const char* message;
    } cases[] = {{"(DIM=(12))", "", "Unrecognized resolution DIM=(0,0)\n"},
                 {"NOTHING", "", "Invalid resolution DIM=(0,0)\n"},
                 {nullptr, "", "The RESOLUTION list is empty!\n"},
                 {nullptr, " DIM=(0,8)", "Invalid resolution DIM=(0,8)\n"}};
    for (const auto& c : cases) {
        t.Run("RESOLUTION_LIST CLEAR");
        if (c.resolution) t.Run(std::string("RESOLUTION_LIST ADD=") + c.resolution);
        t.out = {};
        EXPECT_EQ(t.Run(std::string("\"Host Transfer:Unpacked Image\"") + c.dim), kRunFailed) << c.message;
        EXPECT_TRUE(HasRed(c.message)) << Text();
        EXPECT_FALSE(Has("SUMMARY"));
    }
    Images(t, {});
    EXPECT_EQ(t.Run("\"Host Transfer:Unpacked Image\" DIM=(8,8)"), kRunFailed);
    EXPECT_TRUE(HasRed("The IMAGE list is empty!\n"));
}

TEST_F(WexalTest, HostTransfersPlaceFramesAndCheckTheirArguments) {
    RecordingWexal& t = Make("-ENGINEERING");
    Images(t, {"HORZ_WEDGE"});
    // No MODE counts as the slave transfer it always is; frame 3 lies two 720x486 frames on.
    EXPECT_EQ(t.Run("\"Host Transfer:Unpacked Image\" DIM=(720,486) FRAMES=3 ADDRESS=0x1000"), kRunPassed) << Text();
    EXPECT_TRUE(Has("Read/Compare DST Image #:  3  Address[0x002AC700]\n"));
    const auto atHex = Peek("Brimola1", 0x1000, 64);
    t.out = {};
    EXPECT_EQ(t.Run("\"Host Transfer:Packed Image\" DIM=(720,486) ADDRESS=4096 MODE=SLAVE VERBOSE=1"), kRunPassed);
    EXPECT_FALSE(Has("Test Wexal Using")) << "VERBOSE=1 replaces the default";
    EXPECT_NE(Peek("Brimola1", 0x1000, 64), atHex) << "ADDRESS=4096 is the same start as 0x1000";
    for (const char* refused : {"DIM=(8,8) ADDRESS=XYZ", "DIM=(8,8) MODE=MASTER", "DIM=(1920,1080) FRAMES=2 ADDRESS=0x1FC00000"}) {
        t.out = {};
        EXPECT_EQ(t.Run(std::string("\"Host Transfer:Unpacked Image\" ") + refused), kRunFailed) << refused;
        EXPECT_TRUE(Has("FAIL:")) << refused;
    }
    EXPECT_TRUE(HasRed("Unsufficient memory for 2 unpacked frames\n"));
    Bind("Nuxa1");  // 5 frames of 1920x1080 fit the codec board's 256 MiB
    EXPECT_EQ(t.Run("\"Host Transfer:Unpacked Image\" DIM=(1920,1080) FRAMES=5 VERBOSE=1"), kRunPassed);
}

TEST_F(WexalTest, HostTransfersCatchAStuckBitAndStoreTheFailingPair) {
    ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}],
        "faults": [{"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 10, "value": 1}]})");
    RecordingWexal& t = Make();
    Images(t, {"(SOLID=(Y=0:CB=0:CR=0))"});
    EXPECT_EQ(t.Run("\"Host Transfer:Unpacked Image\" DIM=(64,4) FRAMES=2 RETRYREAD=2 VERBOSE=1"), kRunFailed);
    // Bit 10 is bit 4 of the Cb and Cr samples' values: every word is wrong. Each frame is
    // compared three times (RETRYREAD=2), each compare reporting 20 steps.
    EXPECT_EQ(Count(Text(), "Total 256 errors out of 256\n"), 6u) << Text();
    EXPECT_EQ(Count(Text(), "64 bit Offset["), 120u);
    EXPECT_TRUE(HasAll(Text(), {"\tRetry[1]  Read/Compare SRC Image:  1 ",
                            "~*RED*~FAIL:\tTest[CWexal:HostSlave_Unpacked:SOLID=(Y=0:CB=0:CR=0)] DIM[64,4]~*BLACK*~\n"}));
    EXPECT_FALSE(Has("Passed\n"));
    for (const char* pair : {"Unpacked.1", "Unpacked.2"})
        EXPECT_TRUE(platform::FileExists(Dir().File(std::string("Zorv.Image.HostTransfer.") + pair).c_str())) << pair;
    EXPECT_EQ(t.Run("\"Host Transfer:Packed Image\" DIM=(64,4)"), kRunFailed);
    EXPECT_TRUE(platform::FileExists(Dir().File("Zorv.Image.HostTransfer.Packed.1").c_str()));
}

TEST_F(WexalTest, ImageComparesCountSamplesAndLimitTheirReports) {
    RecordingWexal& t = Make();
    Unpacked::Image::YCbCr_10_6 expected(64, 4, 0), read(64, 4, 0);
    expected.FillHorzWedge(0, 0, 0x3FF);
    read.CopyFrom(expected);
    read.GetBuffer()[8] ^= 0x3F;  // bits 5..0 of a sample are not compared
    EXPECT_TRUE(t.CompareUnpackedImages(expected, read));
    read.GetBuffer()[11] ^= 0x80;  // Y0 of the second pair
    EXPECT_FALSE(t.CompareUnpackedImages(expected, read));
    EXPECT_TRUE(HasRed("Total 1 errors out of 256\n"));
    EXPECT_TRUE(HasRed("64 bit Offset[0x00000008]"));
    Unpacked::Image::YCbCr_10_6 narrow(32, 8, 0);
    EXPECT_FALSE(t.CompareUnpackedImages(expected, narrow));
    EXPECT_TRUE(HasRed("Image XSize mismatch\n"));
    // 50 differing pairs, 2 errors each: reports stop once 80 errors are counted or 20 steps shown.
    read.CopyFrom(expected);
    for (int k = 0; k < 50; ++k) {
        read.GetBuffer()[8 * k + 1] ^= 0x40;
        read.GetBuffer()[8 * k + 5] ^= 0x40;
    }
    t.out = {};
    EXPECT_FALSE(t.CompareUnpackedImages(expected, read));
    EXPECT_EQ(Count(Text(), "64 bit Offset["), 20u);
    EXPECT_TRUE(Has("Total 100 errors out of 256\n"));

    Packed::Image::YCbCr_8_2 packed(expected, Packed::Image::YCbCr_8_2::GetPadFor(64, 4));
    Packed::Image::YCbCr_8_2 copy(64, 4, Packed::Image::YCbCr_8_2::GetPadFor(64, 4));
    copy = packed;
    EXPECT_TRUE(t.ComparePackedImages(packed, copy));
    copy.Get2BitPlane()[3] ^= 0x0C;   // Y0's low bits of pair 3
    copy.Get8BitPlane()[13] ^= 0x01;  // and its 8-bit byte: still one sample
    t.out = {};
    EXPECT_FALSE(t.ComparePackedImages(packed, copy));
    EXPECT_TRUE(HasRed("Total 1 errors out of 256\n"));
    EXPECT_TRUE(Has("Offset[0x00000006]"));
}

TEST_F(WexalTest, SaveBMPFindsTheResolutionAndTakesTheFirstFreeName) {
    RecordingWexal& t = Make("-ENGINEERING");
    CWexalDMAChannel* ch = Board()->GetDMAChannel(12);
    WexalDCB dcb;
    auto load = [&](DWORD lines, DWORD width) {
        dcb.SetStartAddress(0x80000);
        dcb.SetLines(lines - 1);
        dcb.SetLineLength(width);
        dcb.SetInitialLineLength(width);
        ASSERT_TRUE(ch->SetDCB(3, &dcb));
    };
    load(1080, 960);
    Dir().Write("PIC1.BMP", "in use");
    Dir().Write("page.html", "<img src=\"old.bmp\"> <a href=\"old.bmp\">x</a>");
    const std::string save = "\"Save BMP Image\" ADDRESS=@DCB(12,3,1) ";
    EXPECT_EQ(t.Run(save + "FILE=pic%d.bmp FORMAT=Image:YCbCr_8bit"), kRunPassed) << Text();
    EXPECT_TRUE(HasAll(Text(), {"Wexal Address[0x00080000]\n", "Resolution Match:  Width=1920, Height=1080 Progressive\n",
                            "File:  PIC2.BMP\n"}));
    EXPECT_EQ(Dir().Read("PIC1.BMP"), "in use");
    EXPECT_GT(Dir().Read("PIC2.BMP").size(), 1920u * 1080u);
    EXPECT_FALSE(platform::FileExists(Dir().File("PIC3.BMP").c_str())) << "no empty files beyond the one taken";
    // Interlaced match; a 10-bit frame cannot be saved so, and the failed capture leaves no file.
    load(540, 960);
    t.out = {};
    EXPECT_EQ(t.Run(save + "FILE=pic%d.bmp FORMAT=Unpacked:Image:YCbCr_10_6"), kRunFailed);
    EXPECT_TRUE(Has("Height=1080 Interlaced\n"));
    EXPECT_TRUE(HasRed("Unable to write:  PIC3.BMP\n"));
    EXPECT_FALSE(platform::FileExists(Dir().File("PIC3.BMP").c_str()));
    // Without FORMAT nothing is saved, but the page is pointed at the file.
    t.out = {};
    EXPECT_EQ(t.Run(save + "FILE=pic%d.bmp HTML=page.html"), kRunPassed) << Text();
    EXPECT_EQ(support::ReadText(Dir().Path() + "/../page.html"), "<img src=\"PIC3.BMP\"> <a href=\"PIC3.BMP\">x</a>");
    std::remove((Dir().Path() + "/../page.html").c_str());
    const std::pair<const char*, const char*> refused[] = {
        {"FILE=p%d.bmp", "Unable to find ADDRESS field\n"},
        {"ADDRESS=(12,3) FILE=p%d.bmp", "Unable to find DCB field of ADDRESS\n"},
        {"ADDRESS=@DCB(12,3) FILE=p%d.bmp", "DCB field does not contain 3 entries\n"},
        {"ADDRESS=@DCB(12,3,1) DIM=(0,4) FILE=p%d.bmp", "Invalid resolution DIM=(0,4)\n"},
        {"ADDRESS=@DCB(12,3,1) DIM=(8,4) FILE=p%d.bmp FORMAT=RGB", "FORMAT not supported\n"}};
    for (const auto& [command, message] : refused) {
        t.out = {};
        EXPECT_EQ(t.Run(std::string("\"Save BMP Image\" ") + command), kRunFailed) << command;
        EXPECT_TRUE(HasRed(message)) << command << ": " << Text();
    }
    EXPECT_FALSE(platform::FileExists(Dir().File("P1.BMP").c_str()));
    // With both switches the preset holds 320x240 and 640x480: a quarter of one is the other.
    RecordingWexal& both = Make("-ENGINEERING -REGRESSION");
    load(240, 320);
    EXPECT_EQ(both.Run(save + "FILE=q%d.bmp"), kRunFailed);
    EXPECT_TRUE(HasRed("Format in DCB does matches more than 1 common resolution\nDIM=(x,y) must be specified\n"));
    // MODE=2 keeps field 1 only: half the rows.
    EXPECT_EQ(both.Run(save + "DIM=(320,240) MODE=2 FILE=q%d.bmp FORMAT=Image:YCbCr_8bit"), kRunPassed);
    EXPECT_EQ(Dir().Read("Q1.BMP").size(), 54u + 120u * 320u * 4u);
    EXPECT_EQ(both.Run(save + "DIM=(320,240) FILE=q%d.bmp FORMAT=Unpacked:Image:YCbCr_10_6"), kRunPassed);
    EXPECT_EQ(Dir().Read("Q2.BMP").size(), 54u + 240u * 320u * 4u);
}

}  // namespace
