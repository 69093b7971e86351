// DMA between host memory and SDRAM through page tables and DCB geometry on the simulated rig; a stalled channel's report.
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

// Channel 16 moves host memory to SDRAM through a page table, 12 and 13 SDRAM to host memory.
constexpr int kHostToSdram = 16, kSdramToHost = 12, kSecondSdramToHost = 13;
constexpr DWORD kBytes = 0x80000;
constexpr WORD kTag = 0xA5A;

TEST(DmaTransferTest, GeometryForSizeMovesItsBytesInDwordsWithEitherFlag) {
    devlib::LoadDefaultRig();
    BoundTest test;
    constexpr DWORD kAt = 0x400000, kGuard = 64;
    // Sizes in every line-length band (478, 832, 1216 DWORDs), whole lines, and sizes that are not
    // a multiple of 4 or 8.
    for (DWORD size : {DWORD{5003}, DWORD{0x3000 + 12}, DWORD{4 * 478 * 5}, DWORD{0x10D200 + 7}, DWORD{0x242800 + 0x123}}) {
        const std::vector<BYTE> source = PatternBytes(size, size);
        CPagedBuffer out(test.Host(), (size + 0x1FFFF) & ~0x1FFFFu, 0x20000, 0x20000);
        ASSERT_TRUE(out.CopyIn(source.data(), static_cast<int>(size)));
        for (BOOL is16bit : {TRUE, FALSE}) {
            SCOPED_TRACE(testing::Message() << size << " 16bit " << is16bit);
            // Without the flag the line lengths are halved, so half the DWORDs move.
            const DWORD moved = is16bit ? size / 4 * 4 : size / 8 * 4;
            const DWORD window = (size + kGuard + 3) & ~3u;
            ASSERT_TRUE(test.WriteMemory(std::vector<BYTE>(window, 0xEE).data(), kAt, window));
            WexalDCB dcb = MakeDcb(kAt, 0x1000, kTag, 16, out.GetPageTableAddress(0));
            EXPECT_TRUE(dcb.SetGeometryForSize(size, is16bit));
            StartChain(test, kHostToSdram, {dcb});
            ASSERT_TRUE(WaitForCompletion(test, kHostToSdram, kTag, 100));
            std::vector<BYTE> landed(window);
            ASSERT_TRUE(test.ReadMemory(kAt, landed.data(), window));
            EXPECT_TRUE(std::equal(source.begin(), source.begin() + moved, landed.begin()));
            EXPECT_TRUE(std::all_of(landed.begin() + moved, landed.end(), [](BYTE b) { return b == 0xEE; }));
        }
    }
}

TEST(DmaTransferTest, StalledChannelTimesOutAndItsFrameReportShowsNoProgress) {
    ScopedRig rig(MainBoardRig(R"([{"kind": "dma_stall", "board": "Brimola1", "channel": 13}])"));
    BoundTest test;
    const std::vector<BYTE> source = PatternBytes(2 * kBytes, 5);
    ASSERT_TRUE(test.WriteMemory(source.data(), 0, 2 * kBytes));
    for (int channel : {kSecondSdramToHost, kSdramToHost}) {
        const bool stalled = channel == kSecondSdramToHost;
        CPagedBuffer in(test.Host(), kBytes, 0x20000, 0x20000);
        const WORD unit = static_cast<WORD>(channel);
        StartChain(test, channel, {MakeDcb(0, kBytes, 1, unit, in.GetPageTableAddress(0)), MakeDcb(kBytes, kBytes, 2, unit, in.GetPageTableAddress(0))});
        EXPECT_EQ(WaitForCompletion(test, channel, 2, 50), !stalled);
        // Nothing moved on the stalled channel; the healthy one ends with the second frame.
        EXPECT_TRUE(in.Compare(stalled ? std::vector<BYTE>(kBytes).data() : source.data() + kBytes, kBytes));
        test.out = {};
        test.ReportFrames("Channel\n", channel, 1);
        // Both frames are expected; the stalled one's first is still in its first line.
        EXPECT_TRUE(test.out.Has(stalled ? "expected[2]\nTotal Frames received[0]\nAdditional Lines received[1]\nAdditional Bytes received[0]"
                                         : "expected[2]\nTotal Frames received[2]\nAdditional Lines received[0]\nAdditional Bytes received[0]"))
            << test.out.text;
    }
}

}  // namespace
