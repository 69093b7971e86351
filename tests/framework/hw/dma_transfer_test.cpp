// DMA from SDRAM into host pages on the simulated rig: a healthy and a stalled channel, and their frame reports.
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

// Channels 12 and 13 move SDRAM to host memory.
constexpr int kSdramToHost = 12, kSecondSdramToHost = 13;
constexpr DWORD kBytes = 0x80000;

// A chain of two 512 KiB frames from SDRAM 0 into host pages, started on a channel; its unit is the channel's number.
void StartChain(BoundTest& test, int channel, const CPagedBuffer& pages) {
    CWexalDMAChannel* dma = test.Channel(channel);
    dma->Flush();
    BufferControlUnit(test.GetBoardIF(), channel).SetGo(1);
    for (int index : {1, 2}) {
        WexalDCB dcb;
        dcb.GetOpField().SetBCUPointer(static_cast<WORD>(channel));
        dcb.GetOpField().SetNext(static_cast<BYTE>(index == 1 ? 2 : 0));
        dcb.GetPortField().SetTag(static_cast<WORD>(index));
        dcb.SetStartAddress(kBytes * (index - 1));
        dcb.SetGeometryForSize(kBytes, TRUE);
        dcb.GetPCIAddressField().Set(static_cast<DWORD>(pages.GetPageTableAddress(0)), static_cast<DWORD>(pages.GetPageTableAddress(0) >> 32));
        ASSERT_TRUE(dma->SetDCB(index, &dcb));
    }
    dma->Trigger(1);
}

TEST(DmaTransferTest, StalledChannelTimesOutAndItsFrameReportShowsNoProgress) {
    ScopedRig rig(MainBoardRig(R"([{"kind": "dma_stall", "board": "Brimola1", "channel": 13}])"));
    BoundTest test;
    const std::vector<BYTE> source = PatternBytes(2 * kBytes, 5);
    ASSERT_TRUE(test.WriteMemory(source.data(), 0, 2 * kBytes));
    for (int channel : {kSecondSdramToHost, kSdramToHost}) {
        const bool stalled = channel == kSecondSdramToHost;
        CPagedBuffer in(GetZorvHardware(), kBytes, 0x20000, 0x20000);
        StartChain(test, channel, in);
        WexalDCB live;  // the engine moves on as its registers are polled over 50 ms of the virtual clock
        for (int ms = 0; ms < 50; ++ms, Sleep(1)) test.Channel(channel)->GetDCB(0, &live);
        // Nothing moved on the stalled channel; the healthy one ends with the second frame.
        EXPECT_TRUE(in.Compare(stalled ? std::vector<BYTE>(kBytes).data() : source.data() + kBytes, kBytes)) << channel;
        test.ReportFrames("Channel\n", channel, 1);
        // Both frames are expected; the stalled one's first is still in its first line.
        EXPECT_TRUE(test.out.Has(stalled ? "expected[2]\nTotal Frames received[0]\nAdditional Lines received[1]\nAdditional Bytes received[0]"
                                         : "expected[2]\nTotal Frames received[2]\nAdditional Lines received[0]\nAdditional Bytes received[0]"))
            << test.out.text;
    }
}

}  // namespace
