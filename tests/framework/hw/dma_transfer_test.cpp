// DMA between host memory and SDRAM through page tables on the simulated rig: round trips, chains, corruption and stalls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "devlib/rig.h"
#include "framework/hw/paged_memory.h"
#include "framework/result_screen.h"
#include "tests/support/rig.h"
#include "tests/support/output.h"
#include "tests/framework/hw/board_dma.h"

namespace {

using support::ScopedRig;
using hwtest::BoundTest;
using hwtest::MakeDcb;
using hwtest::PatternBytes;
using hwtest::StartChain;
using hwtest::WaitForCompletion;

// Channels 16 and 17 move host memory to SDRAM, 12 and 13 SDRAM to host memory.
constexpr int kHostToSdram = 16, kSdramToHost = 12, kSecondSdramToHost = 13;
constexpr DWORD kBytes = 0x80000;
constexpr WORD kTag = 0xA5A;

std::vector<DWORD> AsWords(const std::vector<BYTE>& bytes) {
    std::vector<DWORD> words(bytes.size() / 4);
    std::memcpy(words.data(), bytes.data(), words.size() * 4);
    return words;
}

TEST(DmaTransferTest, HostToSdramAndBackThroughPageTables) {
    devlib::LoadDefaultRig();
    BoundTest test;
    ASSERT_NE(test.Board(), nullptr);
    const std::vector<BYTE> source = PatternBytes(kBytes, 21);

    // Out through pages of 128 KiB, one table entry each.
    CPagedBuffer out(test.Host(), kBytes, 0x20000, 0x20000);
    ASSERT_TRUE(out.CopyIn(source.data(), kBytes));
    StartChain(test, kHostToSdram, {MakeDcb(0x100000, kBytes, kTag, 16, out.GetPageTableAddress(0))});
    ASSERT_TRUE(WaitForCompletion(test, kHostToSdram, kTag, 100));
    std::vector<BYTE> sdram(kBytes);
    ASSERT_TRUE(test.ReadMemory(0x100000, sdram.data(), kBytes));
    EXPECT_EQ(sdram, source);

    // Back into one page of 512 KiB that the table lists in four entries.
    CPagedBuffer in(test.Host(), kBytes, kBytes, 0x20000);
    ASSERT_EQ(in.GetPageCount(), 1);
    EXPECT_FALSE(in.Compare(source.data(), kBytes));
    StartChain(test, kSdramToHost, {MakeDcb(0x100000, kBytes, kTag, 12, in.GetPageTableAddress(0))});
    ASSERT_TRUE(WaitForCompletion(test, kSdramToHost, kTag, 100));
    EXPECT_TRUE(in.Compare(source.data(), kBytes));
    std::vector<BYTE> copy(kBytes);
    ASSERT_TRUE(in.CopyOut(copy.data(), kBytes));
    EXPECT_EQ(copy, source);
}

TEST(DmaTransferTest, GeometryForSizeMovesItsBytesInDwordsWithEitherFlag) {
    devlib::LoadDefaultRig();
    BoundTest test;
    ASSERT_NE(test.Board(), nullptr);
    constexpr DWORD kAt = 0x400000, kGuard = 64;
    // Sizes in every line-length band (478, 832, 1216 DWORDs), whole lines, and sizes that are not
    // a multiple of 4 or 8.
    for (DWORD size : {DWORD{5003}, DWORD{0x3000 + 12}, DWORD{4 * 478 * 5}, DWORD{0x10D200 + 7}, DWORD{0x242800 + 0x123}}) {
        const std::vector<BYTE> source = PatternBytes(size, size);
        CPagedBuffer out(test.Host(), (size + 0x1FFFF) & ~0x1FFFFu, 0x20000, 0x20000);
        ASSERT_TRUE(out.CopyIn(source.data(), static_cast<int>(size)));
        for (BOOL is16bit : {TRUE, FALSE}) {
            // With the flag the DCB covers the size in whole DWORDs; without it the library halves
            // the line lengths, so half the DWORDs move.
            const DWORD moved = is16bit ? size / 4 * 4 : size / 8 * 4;
            const DWORD window = (size + kGuard + 3) & ~3u;
            const std::vector<BYTE> guard(window, 0xEE);
            ASSERT_TRUE(test.WriteMemory(guard.data(), kAt, window));

            WexalDCB dcb;
            EXPECT_TRUE(dcb.SetGeometryForSize(size, is16bit));
            EXPECT_EQ(dcb.GetOpField().Get16bit(), static_cast<DWORD>(is16bit));
            dcb.GetOpField().SetBCUPointer(16);
            dcb.GetPortField().SetTag(kTag);
            dcb.SetStartAddress(kAt);
            const ULONGLONG table = out.GetPageTableAddress(0);
            dcb.GetPCIAddressField().Set(static_cast<DWORD>(table), static_cast<DWORD>(table >> 32));
            StartChain(test, kHostToSdram, {dcb});
            ASSERT_TRUE(WaitForCompletion(test, kHostToSdram, kTag, 100)) << size << " 16bit " << is16bit;

            std::vector<BYTE> landed(window);
            ASSERT_TRUE(test.ReadMemory(kAt, landed.data(), window));
            EXPECT_TRUE(std::equal(source.begin(), source.begin() + moved, landed.begin())) << size << " 16bit " << is16bit;
            EXPECT_TRUE(std::all_of(landed.begin() + moved, landed.end(), [](BYTE b) { return b == 0xEE; }))
                << size << " 16bit " << is16bit << ": nothing past " << moved << " bytes";
        }
    }
}

TEST(DmaTransferTest, InjectedCorruptionIsFoundInTheTransferredData) {
    ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}], "faults": [
        {"kind": "dma_corrupt", "board": "Brimola1", "channel": 12, "mask": "0x00800001", "first": 1000, "count": 2},
        {"kind": "dma_corrupt", "board": "Brimola1", "channel": 16, "mask": "0x80000000"}]})");
    BoundTest test;
    const std::vector<BYTE> source = PatternBytes(kBytes, 33);
    const std::vector<DWORD> sourceWords = AsWords(source);

    // SDRAM to host: exactly words 1000 and 1001 arrive changed by the mask.
    ASSERT_TRUE(test.WriteMemory(source.data(), 0x200000, kBytes));
    CPagedBuffer in(test.Host(), kBytes, 0x20000, 0x20000);
    StartChain(test, kSdramToHost, {MakeDcb(0x200000, kBytes, kTag, 12, in.GetPageTableAddress(0))});
    ASSERT_TRUE(WaitForCompletion(test, kSdramToHost, kTag, 100));
    EXPECT_FALSE(in.Compare(source.data(), kBytes));
    std::vector<BYTE> arrived(kBytes);
    ASSERT_TRUE(in.CopyOut(arrived.data(), kBytes));
    const std::vector<DWORD> arrivedWords = AsWords(arrived);
    std::vector<size_t> changed;
    for (size_t i = 0; i < arrivedWords.size(); ++i)
        if (arrivedWords[i] != sourceWords[i]) changed.push_back(i);
    ASSERT_EQ(changed, (std::vector<size_t>{1000, 1001}));
    EXPECT_EQ(arrivedWords[1000] ^ sourceWords[1000], 0x00800001u);
    EXPECT_EQ(arrivedWords[1001] ^ sourceWords[1001], 0x00800001u);
    // Only the data in flight was changed: a slave read of SDRAM still matches.
    std::vector<BYTE> slave(kBytes);
    ASSERT_TRUE(test.ReadMemory(0x200000, slave.data(), kBytes));
    EXPECT_EQ(slave, source);

    // Host to SDRAM: the first word lands changed, the host pages keep what was sent.
    CPagedBuffer out(test.Host(), kBytes, 0x20000, 0x20000);
    ASSERT_TRUE(out.CopyIn(source.data(), kBytes));
    StartChain(test, kHostToSdram, {MakeDcb(0x300000, kBytes, kTag, 16, out.GetPageTableAddress(0))});
    ASSERT_TRUE(WaitForCompletion(test, kHostToSdram, kTag, 100));
    std::vector<BYTE> landed(kBytes);
    ASSERT_TRUE(test.ReadMemory(0x300000, landed.data(), kBytes));
    const std::vector<DWORD> landedWords = AsWords(landed);
    EXPECT_EQ(landedWords[0] ^ sourceWords[0], 0x80000000u);
    EXPECT_TRUE(std::equal(landedWords.begin() + 1, landedWords.end(), sourceWords.begin() + 1));
    EXPECT_TRUE(out.Compare(source.data(), kBytes));
}

TEST(DmaTransferTest, StalledChannelTimesOutAndItsFrameReportShowsNoProgress) {
    ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}],
        "faults": [{"kind": "dma_stall", "board": "Brimola1", "channel": 13}]})");
    BoundTest test;
    const std::vector<BYTE> source = PatternBytes(2 * kBytes, 5);
    ASSERT_TRUE(test.WriteMemory(source.data(), 0, 2 * kBytes));

    CPagedBuffer stalled(test.Host(), kBytes, 0x20000, 0x20000);
    StartChain(test, kSecondSdramToHost,
               {MakeDcb(0, kBytes, 1, 13, stalled.GetPageTableAddress(0)),
                MakeDcb(kBytes, kBytes, 2, 13, stalled.GetPageTableAddress(0))});
    EXPECT_FALSE(WaitForCompletion(test, kSecondSdramToHost, 2, 50));
    const std::vector<BYTE> zeros(kBytes, 0);
    EXPECT_TRUE(stalled.Compare(zeros.data(), kBytes));  // nothing moved

    test.out = {};
    test.ReportFrames("PCIMasterDma Channel=13\n", kSecondSdramToHost, 1);
    // Both frames are expected; the first is still in its first line.
    EXPECT_TRUE(test.out.HasColoured("\nPCIMasterDma Channel=13\n\nTotal Frames expected[2]\nTotal Frames received[0]\n"
                                     "Additional Lines received[1]\nAdditional Bytes received[0]\n\n",
                                     kColorBlack))
        << test.out.text;

    // The healthy channel beside it finishes both frames, and its report says so.
    CPagedBuffer healthy(test.Host(), kBytes, 0x20000, 0x20000);
    StartChain(test, kSdramToHost,
               {MakeDcb(0, kBytes, 1, 12, healthy.GetPageTableAddress(0)),
                MakeDcb(kBytes, kBytes, 2, 12, healthy.GetPageTableAddress(0))});
    ASSERT_TRUE(WaitForCompletion(test, kSdramToHost, 2, 50));
    EXPECT_TRUE(healthy.Compare(source.data() + kBytes, kBytes));  // the second frame came last
    test.out = {};
    test.ReportFrames("Healthy", kSdramToHost, 1);
    EXPECT_TRUE(test.out.Has("Total Frames expected[2]\nTotal Frames received[2]\nAdditional Lines received[0]\n"
                             "Additional Bytes received[0]"))
        << test.out.text;
}

}  // namespace
