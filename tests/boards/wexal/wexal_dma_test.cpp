// Tests of CWexal's DMA pieces: the video utility client, its image test, the PCI master wait and the DMA buffer compare.
#include <numeric>

#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/paged_memory.h"
#include "framework/hw/wexal_dcb.h"
#include "tests/boards/wexal/wexal_test_support.h"

using support::ScopedRig;
using wexaltest::Count;
using wexaltest::RecordingWexal;
using wexaltest::WexalTest;

namespace {

using Client = CWexal::VideoUtilityClient;

std::string Rig(const std::string& fault) {
    return R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}], "faults": [)" + fault + "]}";
}

TEST(VideoUtilityGeometry, EveryValidSizeGivesWholeLinesThatAddUp) {
    struct Case {
        DWORD size, lineLength, lines, initial;
    };
    // lines is the line count Y; the DCB's Lines field holds Y - 1.
    for (const Case& c : {Case{0x8000000, 8192, 4096, 8192}, Case{8192, 1024, 2, 1024}, Case{0x10000000, 12288, 5461, 16384},
                          Case{0x4000, 1024, 4, 1024}, Case{0x7FFC, 1024, 7, 2047}, Case{0x8000, 8192, 1, 8192},
                          Case{100, 1024, 1, 25}}) {
        const Client::Geometry g = Client::CalcGeometry(c.size);
        EXPECT_TRUE(g.valid) << c.size;
        EXPECT_EQ(g.lineLength, c.lineLength) << c.size;
        EXPECT_EQ(g.lines, c.lines) << c.size;
        EXPECT_EQ(g.initial, c.initial) << c.size;
    }
    for (DWORD size = 4; size < 0x100000; size = size * 3 + 4) {
        const Client::Geometry g = Client::CalcGeometry(size);
        ASSERT_TRUE(g.valid && g.lines >= 1) << size;
        EXPECT_EQ(g.initial + (g.lines - 1) * g.lineLength, size / 4) << size;
    }
    EXPECT_FALSE(Client::CalcGeometry(3).valid);
    EXPECT_EQ(Client::DrainTimeoutMs(0x8000000), 426u);
    EXPECT_EQ(Client::DrainTimeoutMs(0x1000), CWexal::kMinDmaDeadlineMs);
}

TEST_F(WexalTest, VideoUtilityClientMovesDataAndDrainsOnce) {
    RecordingWexal& t = Make();
    std::vector<DWORD> data(0x4000);
    std::iota(data.begin(), data.end(), 0x5A000000u);
    Poke("Brimola1", 0x100000, data);
    {
        Client client(&t);
        EXPECT_EQ(client.WaitForCompletion(), kRunPassed) << "idle: nothing to wait for";
        ASSERT_TRUE(client.StartTransfer(0x100000, 0x200000, 0x10000, 0));
        EXPECT_TRUE(client.IsBusy());
        EXPECT_EQ(client.WaitForCompletion(), kRunPassed) << Text();
        EXPECT_FALSE(client.IsBusy());
        EXPECT_EQ(client.WaitForCompletion(), kRunPassed);
        EXPECT_FALSE(client.StartTransfer(0, 0x1000, 2, 0));
        EXPECT_TRUE(HasRed("cannot move 2 bytes"));
    }
    EXPECT_EQ(Peek("Brimola1", 0x200000, data.size()), data);

    // A repeating transfer is stopped and drained by the destructor.
    {
        Client looping(&t);
        ASSERT_TRUE(looping.StartTransfer(0x100000, 0x300000, 0x10000, 1));
    }
    WexalDCB dcb;
    Board()->GetDMAChannel(CWexal::kVutilIn)->GetDCB(1, &dcb);
    EXPECT_EQ(dcb.GetOpField().GetNext(), 0u);
    Board()->GetDMAChannel(CWexal::kVutilOut)->GetDCB(0, &dcb);
    EXPECT_EQ(dcb.GetLines() | dcb.GetInitialLineLength(), 0u);
    EXPECT_EQ(Peek("Brimola1", 0x300000, data.size()), data);
}

TEST_F(WexalTest, VideoUtilityClientReportsAStalledChannel) {
    ScopedRig rig(Rig(R"({"kind": "dma_stall", "board": "Brimola1", "channel": 57})"));
    RecordingWexal& t = Make();
    Client client(&t);
    ASSERT_TRUE(client.StartTransfer(0, 0x100000, 0x10000, 0));
    EXPECT_EQ(client.WaitForCompletion(), kRunFailed);
    EXPECT_EQ(Count(Text(), "timed out waiting for the\n  completion of 0.064 Megabytes to DMA.\n~*BLACK*~ VideoUtilT2M:"), 10u)
        << Text();
    EXPECT_FALSE(client.IsBusy());
}

TEST_F(WexalTest, VideoUtilityImagesPassAndCatchCorruptionStallsAndWrongTags) {
    {
        RecordingWexal& t = Make("-ENGINEERING");
        t.Run("IMAGE_LIST CLEAR");
        t.Run("IMAGE_LIST ADD=GRID");
        t.out = {};
        EXPECT_EQ(t.Run("\"Video Utility Client:YCbCr_8bit Image\" DIM=(64,16) FRAMES=3"), kRunPassed) << Text();
        EXPECT_TRUE(Has("Width=64  Height=16  dcbs[57 -> 38]\n"));
        EXPECT_TRUE(Has("DST Image:  Tag[3]:  Addr[0x00002000]  [I=64,W=64,H=15]\n"));
        EXPECT_TRUE(Has("SRC Image:  Tag[1]:  Addr[0x00022800]  [I=64,W=64,H=15]\n"));
        EXPECT_TRUE(Has("Transfer took outbound["));
        EXPECT_TRUE(Has("\nPassed\n"));
        EXPECT_TRUE(Has("~*GREEN*~PASS:\tTest[CWexam:VUC_8:GRID] DIM[64,16]~*BLACK*~\n"));
    }
    {
        ScopedRig rig(Rig(R"({"kind": "dma_corrupt", "board": "Brimola1", "channel": 57, "mask": "0x100"})"));
        RecordingWexal& t = Make();
        t.Run("IMAGE_LIST CLEAR");
        t.Run("IMAGE_LIST ADD=GRID");
        t.out = {};
        EXPECT_EQ(t.Run("\"Video Utility Client:YCbCr_8bit Image\" DIM=(64,16) FRAMES=2"), kRunFailed);
        EXPECT_EQ(Count(Text(), "Offset[0x00000000]:  SRC[0x"), 2u) << Text();
        EXPECT_TRUE(Has("EX xor RD[0x00000100]\n"));
        EXPECT_TRUE(HasRed("\nTotal 2 errors out of 1024\n"));
        EXPECT_TRUE(platform::FileExists(Dir().File("Zorv.Image.Wexal.YCbCr_8bit.2").c_str()));
    }
    for (const char* fault : {R"({"kind": "dma_stall", "board": "Brimola1", "channel": 38})",
                              R"({"kind": "dma_wrong_tag", "board": "Brimola1", "channel": 57})"}) {
        ScopedRig rig(Rig(fault));
        RecordingWexal& t = Make();
        t.Run("IMAGE_LIST CLEAR");
        t.Run("IMAGE_LIST ADD=GRID");
        t.out = {};
        EXPECT_EQ(t.Run("\"Video Utility Client:YCbCr_8bit Image\" DIM=(64,16)"), kRunFailed) << fault;
        EXPECT_EQ(Count(Text(), "~*RED*~\nERROR: After "), 10u) << fault;
        EXPECT_TRUE(Has("Wexal outbound")) << fault;
        EXPECT_TRUE(Has("FAIL:\tTest[CWexam:VUC_8:GRID]")) << fault;
    }
}

// A read of 0x20000 bytes from SDRAM 0x40000 into one host page on channel 12.
struct PciRead {
    explicit PciRead(CWexal& test, WORD tag = 0xA5A) : buffer(GetZorvHardware(), 0x20000, 0x20000, 0x20000) {
        BufferControlUnit(test.GetBoardIF(), 0).SetGo(1);
        dcb.GetOpField().Set16bit(1);
        dcb.GetPortField().SetTag(tag);
        dcb.SetStartAddress(0x40000);
        dcb.SetInitialLineLength(4096);
        dcb.SetLines(7);
        dcb.SetLineLength(4096);
        const ULONGLONG table = buffer.GetPageTableAddress(0);
        dcb.GetPCIAddressField().Set(static_cast<DWORD>(table), static_cast<DWORD>(table >> 32));
    }
    void Start(CWexal& test) {
        CWexalDMAChannel* ch = test.GetDMAChannel(12);
        ch->Flush();
        ch->SetDCB(1, &dcb);
        ch->Trigger(1);
    }
    CPagedBuffer buffer;
    WexalDCB dcb;
};

TEST_F(WexalTest, PciMasterWaitHasAFloorAndNeedsTheTag) {
    EXPECT_EQ(CWexal::PCIMasterDeadlineMs(0x20000, CWexal::kPCIMasterRate), CWexal::kMinDmaDeadlineMs);
    EXPECT_EQ(CWexal::PCIMasterDeadlineMs(0x1000000, CWexal::kPCIMasterRate), 45u);

    ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}], "dma": {"timing": "modelled"}})");
    RecordingWexal& t = Make();
    std::vector<DWORD> data(0x8000);
    std::iota(data.begin(), data.end(), 0x11110000u);
    Poke("Brimola1", 0x40000, data);
    PciRead read(t);
    ASSERT_TRUE(read.buffer.IsValid());
    read.Start(t);
    EXPECT_EQ(t.WaitPCIMasterDma(12, &read.dcb, 0x40000, 0x20000, CWexal::kPCIMasterRate, 1), kRunPassed) << Text();
    EXPECT_EQ(Text(), "") << "verbose 1 prints nothing on completion";
    EXPECT_EQ(t.CompareDmaBuffer(12, 0x40000, &read.buffer, data.data(), 0x20000), kRunPassed);
    EXPECT_EQ(Text(), "");

    read.Start(t);
    EXPECT_EQ(t.WaitPCIMasterDma(12, &read.dcb, 0x40000, 0x20000, CWexal::kPCIMasterRate, 2), kRunPassed);
    EXPECT_TRUE(Has("Transfer took PCIMasterDma[0, "));
    EXPECT_TRUE(Has("0.128Mbytes to DMA.\n DMA Channel=12:  Tag=2650  Lines= 0  InitialWidth= 0  Width=4096.\n"));

    // Complete lines but another tag: not this transfer.
    t.out = {};
    WexalDCB other(read.dcb);
    other.GetPortField().SetTag(0x123);
    EXPECT_EQ(t.WaitPCIMasterDma(12, &other, 0x40000, 0x20000, CWexal::kPCIMasterRate, 1), kRunFailed);
    EXPECT_EQ(Count(Text(), "5) DMA Channel[12]:  Tag=~*RED*~2650~*BLACK*~  Lines= 0  InitialWidth= 0  Width=~*RED*~4096"), 10u)
        << Text();
}

TEST_F(WexalTest, PciMasterWaitReportsAStall) {
    ScopedRig rig(Rig(R"({"kind": "dma_stall", "board": "Brimola1", "channel": 12})"));
    RecordingWexal& t = Make();
    PciRead read(t);
    read.Start(t);
    EXPECT_EQ(t.WaitPCIMasterDma(12, &read.dcb, 0x40000, 0x20000, CWexal::kPCIMasterRate, 1), kRunFailed);
    EXPECT_EQ(Count(Text(), "timed out waiting for the\n  completion of 0.128 Megabytes to DMA."), 10u) << Text();
    EXPECT_TRUE(Has("PCIMasterDma Channel=12"));
}

TEST_F(WexalTest, DmaBufferCompareListsAtMostTwentyWordsInsideTheBuffer) {
    RecordingWexal& t = Make();
    CPagedBuffer buffer(GetZorvHardware(), 0x1000, 0x1000, 0x1000);
    ASSERT_TRUE(buffer.IsValid());
    std::vector<DWORD> written(0x800, 0x77777777u);  // twice the buffer
    ASSERT_TRUE(buffer.CopyIn(reinterpret_cast<const BYTE*>(written.data()), 0x1000));
    EXPECT_EQ(t.CompareDmaBuffer(13, 0x2000, &buffer, written.data(), 0x2000), kRunPassed);
    for (int i = 0; i < 25; ++i) written[static_cast<size_t>(3 * i)] ^= 0x10;
    EXPECT_EQ(t.CompareDmaBuffer(13, 0x2000, &buffer, written.data(), 0x2000), kRunFailed);
    EXPECT_EQ(Count(Text(), "Channel[13] WexalAddress["), 20u);
    EXPECT_TRUE(HasRed("Channel[13] WexalAddress[0x0000200C] Write[0x77777767]  Read[0x77777777] XOR[0x00000010]\n"));
}

}  // namespace
