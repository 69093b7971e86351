// Tests of CWexal's DMA pieces: the video utility client, its image test, DMA deadlines and the DMA buffer compare.
#include <array>

#include "framework/hw/paged_memory.h"
#include "framework/hw/wexal_dcb.h"
#include "tests/boards/wexal/wexal_test_support.h"

using support::ScopedRig;
using wexaltest::Count;
using wexaltest::RecordingWexal;
using wexaltest::WexalTest;

namespace {

using Client = CWexal::VideoUtilityClient;

std::string Rig(const std::string& fault, const std::string& board = "") {
    return R"({"boards": [{"tag": "Brimola1", "kind": "brimola")" + board + R"(}], "faults": [)" + fault + "]}";
}

TEST(VideoUtilityGeometry, EveryValidSizeGivesWholeLinesThatAddUpAndDeadlinesHaveAFloor) {
    // {size, lineLength, lines Y, initial}; the DCB's Lines field holds Y - 1.
    for (const auto& c : std::vector<std::array<DWORD, 4>>{{0x10000000, 12288, 5461, 16384}, {0x7FFC, 1024, 7, 2047}}) {
        const Client::Geometry g = Client::CalcGeometry(c[0]);
        EXPECT_EQ(std::vector<DWORD>({g.lineLength, g.lines, g.initial}), std::vector<DWORD>(c.begin() + 1, c.end())) << c[0];
    }
    for (DWORD size = 4; size < 0x100000; size = size * 3 + 4) {
        const Client::Geometry g = Client::CalcGeometry(size);
        ASSERT_TRUE(g.valid && g.lines >= 1) << size;
        EXPECT_EQ(g.initial + (g.lines - 1) * g.lineLength, size / 4) << size;
    }
    EXPECT_FALSE(Client::CalcGeometry(3).valid);
    EXPECT_EQ(Client::DrainTimeoutMs(0x8000000), 426u);
    EXPECT_EQ(Client::DrainTimeoutMs(0x1000), CWexal::kMinDmaDeadlineMs);
    EXPECT_EQ(CWexal::PCIMasterDeadlineMs(0x20000, CWexal::kPCIMasterRate), CWexal::kMinDmaDeadlineMs);
    EXPECT_EQ(CWexal::PCIMasterDeadlineMs(0x1000000, CWexal::kPCIMasterRate), 45u);
}

TEST_F(WexalTest, VideoUtilityClientRefusesOddSizesDrainsOnceAndTimesOut) {
    RecordingWexal& t = Make();
    {
        Client client(&t);
        EXPECT_FALSE(client.StartTransfer(0, 0x1000, 2, 0));
        EXPECT_TRUE(HasRed("cannot move 2 bytes"));
        Client looping(&t);  // a repeating transfer is stopped and drained by the destructor
        ASSERT_TRUE(looping.StartTransfer(0x100000, 0x300000, 0x10000, 1));
    }
    WexalDCB dcb;
    Board()->GetDMAChannel(CWexal::kVutilOut)->GetDCB(0, &dcb);
    EXPECT_EQ(dcb.GetLines() | dcb.GetInitialLineLength(), 0u);
    ScopedRig rig(Rig(R"({"kind": "dma_stall", "board": "Brimola1", "channel": 57})"));
    RecordingWexal& stalled = Make();
    Client client(&stalled);
    ASSERT_TRUE(client.StartTransfer(0, 0x100000, 1000 * 1024, 0));  // 1000 KB: "1.000" Megabytes
    EXPECT_EQ(client.WaitForCompletion(), kRunFailed);
    EXPECT_EQ(Count(Text(), "timed out waiting for the\n  completion of 1.000 Megabytes to DMA.\n~*BLACK*~ VideoUtilT2M:"), 10u);
    EXPECT_FALSE(client.IsBusy());
}

TEST_F(WexalTest, VideoUtilityImagesPassAndCatchCorruptionAndWrongTags) {
    // The image test on GRID frames, on a new test on the rig in place.
    auto images = [&](const char* arguments, DWORD result, std::initializer_list<std::string> parts, const char* switches = "") {
        Make(switches);
        Fill("IMAGE_LIST", {"GRID"});
        return Gives(std::string("\"Video Utility Client:YCbCr_8bit Image\" ") + arguments, result, parts);
    };
    // A DCB line is `width` DWORDs, so frames lie 4 x 64 x 16 = 0x1000 bytes apart and the time-out
    // counts 3 x 0x1000 bytes.
    EXPECT_TRUE(images("DIM=(64,16) FRAMES=3", kRunPassed,
                       {"DST Image:  Tag[3]:  Addr[0x00003000]  [I=64,W=64,H=15]\n",
                        "KBytes = 6 DCBs=3  nTOmsec=26\n", "PASS:\tTest[CWexam:VUC_8:GRID] DIM[64,16]"}, "-ENGINEERING"));
    // A frame's first word, and its last (word 511 of 64 x 16 pixels), corrupted in each frame.
    for (const char* where : {"", R"(, "first": 511, "count": 1)"}) {
        ScopedRig rig(Rig(std::string(R"({"kind": "dma_corrupt", "board": "Brimola1", "channel": 57, "mask": "0x100")") + where + "}"));
        EXPECT_TRUE(images("DIM=(64,16) FRAMES=2", kRunFailed, {"EX xor RD[0x00000100]\n", "\nTotal 2 errors out of 1024\n"})) << where;
        EXPECT_TRUE(platform::FileExists(Dir().File("Zorv.Image.Wexal.YCbCr_8bit.2").c_str()));
    }
    {
        ScopedRig rig(Rig(R"({"kind": "dma_wrong_tag", "board": "Brimola1", "channel": 57})"));
        EXPECT_TRUE(images("DIM=(64,16)", kRunFailed, {"Wexal outbound", "FAIL:\tTest[CWexam:VUC_8:GRID]"}));
        EXPECT_EQ(Count(Text(), "~*RED*~\nERROR: After "), 10u);
        EXPECT_FALSE(Has("Passed\n")) << "a time-out is no pass";
    }
    // A 1920x1080 DCB moves 8,294,400 bytes: two of them do not fit 9 MiB, so the run is refused up front.
    {
        ScopedRig small(Rig("", R"(, "sdram_mib": 9)"));
        EXPECT_TRUE(images("DIM=(1920,1080) FRAMES=1", kRunFailed, {"Unsufficient memory for 1 8bit frames\n"}));
        EXPECT_FALSE(Has("timed out")) << Text();
    }
    ScopedRig large(Rig("", R"(, "sdram_mib": 17)"));
    EXPECT_TRUE(images("DIM=(1920,1080) FRAMES=1", kRunPassed, {}));
}

TEST_F(WexalTest, DmaBufferCompareListsAtMostTwentyWordsInsideTheBuffer) {
    RecordingWexal& t = Make();
    CPagedBuffer buffer(GetZorvHardware(), 0x1000, 0x1000, 0x1000);
    std::vector<DWORD> written(0x800, 0x77777777u);  // twice the buffer
    ASSERT_TRUE(buffer.CopyIn(reinterpret_cast<const BYTE*>(written.data()), 0x1000));
    for (int i = 0; i < 25; ++i) written[static_cast<size_t>(3 * i)] ^= 0x10;
    EXPECT_EQ(t.CompareDmaBuffer(13, 0x2000, &buffer, written.data(), 0x2000), kRunFailed);
    EXPECT_EQ(Count(Text(), "Channel[13] WexalAddress["), 20u);
    EXPECT_TRUE(HasRed("Channel[13] WexalAddress[0x0000200C] Write[0x77777767]  Read[0x77777777] XOR[0x00000010]\n"));
}

}  // namespace
