// Tests of the tree-map base's board memory services: chunked transfers, SDRAM clear, DMA chain scans and frame reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "devlib/addr_space.h"
#include "devlib/rig.h"
#include "framework/result_screen.h"
#include "tests/support/rig.h"
#include "tests/support/output.h"
#include "tests/framework/hw/board_dma.h"

namespace {

using support::RecordingTreeTest;
using support::ScopedRig;
using hwtest::BoundTest;
using hwtest::PatternBytes;

constexpr DWORD kChunk = 0x400000;

// A byte-addressed space over plain memory that lists its calls; the call numbered shortCall
// moves 4 bytes less than asked.
class ListingSpace : public CDevAddrSpace {
public:
    struct Call {
        DWORD address;
        int count;
        bool operator==(const Call&) const = default;
    };
    explicit ListingSpace(size_t bytes) : memory(bytes, 0) {}

    int Set(const void* buffer, DWORD address, int count) override {
        const int n = Allowed(address, count);
        if (n > 0) std::memcpy(memory.data() + address, buffer, static_cast<size_t>(n));
        return n;
    }
    int Get(void* buffer, DWORD address, int count) override {
        const int n = Allowed(address, count);
        if (n > 0) std::memcpy(buffer, memory.data() + address, static_cast<size_t>(n));
        return n;
    }

    std::vector<BYTE> memory;
    std::vector<Call> calls;
    int shortCall = -1;

private:
    int Allowed(DWORD address, int count) {
        calls.push_back({address, count});
        const long long room = static_cast<long long>(memory.size()) - address;
        int n = static_cast<int>(std::clamp<long long>(count, 0, std::max<long long>(room, 0)));
        if (static_cast<int>(calls.size()) - 1 == shortCall) n = std::max(0, n - 4);
        return n;
    }
};

TEST(MemoryTransferTest, TransfersMoveWholeChunksThenATrailer) {
    RecordingTreeTest test;
    ListingSpace space(0x900200);
    const std::vector<BYTE> data = PatternBytes(0x900010, 9);

    // Exactly one chunk: the trailer call of length 0 still comes, and its 0 is success.
    EXPECT_TRUE(test.WriteMemory(data.data(), 0, kChunk, &space));
    EXPECT_EQ(space.calls, (std::vector<ListingSpace::Call>{{0, static_cast<int>(kChunk)}, {kChunk, 0}}));
    // Below one chunk: only the trailer.
    space.calls.clear();
    EXPECT_TRUE(test.WriteMemory(data.data(), 0x40, 0x1000, &space));
    EXPECT_EQ(space.calls, (std::vector<ListingSpace::Call>{{0x40, 0x1000}}));

    space.calls.clear();
    std::fill(space.memory.begin(), space.memory.end(), 0);
    ASSERT_TRUE(test.WriteMemory(data.data(), 0x100, 0x900010, &space));
    const std::vector<ListingSpace::Call> pieces = {
        {0x100, static_cast<int>(kChunk)}, {0x400100, static_cast<int>(kChunk)}, {0x800100, 0x100010}};
    EXPECT_EQ(space.calls, pieces);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), space.memory.begin() + 0x100));

    space.calls.clear();
    std::vector<BYTE> back(0x900010, 0);
    const DWORD address = 0x100;
    ASSERT_TRUE(test.ReadMemory(address, back.data(), 0x900010, &space));
    EXPECT_EQ(space.calls, pieces);
    EXPECT_EQ(back, data);
    EXPECT_TRUE(test.out.text.empty()) << test.out.text;
}

TEST(MemoryTransferTest, ShortPiecesAndMissingSpacesFailWithARedLine) {
    RecordingTreeTest test;
    ListingSpace space(0x900200);
    const std::vector<BYTE> data = PatternBytes(0x900010, 4);

    // A short chunk ends the transfer there.
    space.shortCall = 1;
    EXPECT_FALSE(test.WriteMemory(data.data(), 0, 0x900010, &space));
    EXPECT_EQ(space.calls.size(), 2u);
    EXPECT_TRUE(test.out.HasColoured("Unable to send image data (chunk) Expected[4194304 bytes]  Transferred[4194300 bytes]\n",
                                     kColorRed))
        << test.out.text;

    // A trailer past the end of the space.
    test.out = {};
    space.shortCall = -1;
    std::vector<BYTE> back(0x20);
    EXPECT_FALSE(test.ReadMemory(0x900200 - 0x10, back.data(), 0x20, &space));
    EXPECT_TRUE(test.out.HasColoured("Unable to retrieve image data (trailer) Expected[32 bytes]  Transferred[16 bytes]\n",
                                     kColorRed))
        << test.out.text;

    // No space given and none bound.
    test.out = {};
    EXPECT_FALSE(test.ReadMemory(0, back.data(), 0x20));
    EXPECT_TRUE(test.out.HasColoured("ERROR:  pWexalSDRAM = NULL in CWexalTreeMapTB::ReadMemory()", kColorRed));
    test.out = {};
    EXPECT_FALSE(test.WriteMemory(data.data(), 0, 0x20));
    EXPECT_TRUE(test.out.HasColoured("pWexalSDRAM = NULL in CWexalTreeMapTB::WriteMemory()", kColorRed));
    // A missing host buffer is refused before anything moves.
    space.calls.clear();
    EXPECT_FALSE(test.WriteMemory(nullptr, 0, 0x20, &space));
    EXPECT_FALSE(test.ReadMemory(0, nullptr, 0x20, &space));
    EXPECT_TRUE(space.calls.empty());
}

TEST(MemoryTransferTest, SdramRoundTripsOnBothBoards) {
    devlib::LoadDefaultRig();
    for (const char* board : {"Brimola1", "Nuxa1"}) {
        BoundTest test(board);
        const DWORD size = 2 * kChunk + 12;
        const std::vector<BYTE> data = PatternBytes(size, 17);
        ASSERT_TRUE(test.WriteMemory(data.data(), 0x100004, size)) << board;
        std::vector<BYTE> back(size);
        ASSERT_TRUE(test.ReadMemory(0x100004, back.data(), size)) << board;
        EXPECT_EQ(back, data) << board;

        // The end of the memory: the trailer comes back short.
        const DWORD end = static_cast<DWORD>(test.GetBoardIF().GetSDRAMSpace()->GetSize());
        EXPECT_FALSE(test.WriteMemory(data.data(), end - 8, 16)) << board;
        EXPECT_TRUE(test.out.HasColoured("(trailer) Expected[16 bytes]  Transferred[8 bytes]\n", kColorRed)) << board;
    }
}

TEST(MemoryTransferTest, ClearSdramZeroesTheRangeAndReportsFailures) {
    devlib::LoadDefaultRig();
    BoundTest test;
    const DWORD base = 0x200000, size = 0x500000;
    const std::vector<BYTE> data = PatternBytes(size, 23);
    ASSERT_TRUE(test.WriteMemory(data.data(), base, size));

    // More than one transfer's worth, starting and ending inside the written range.
    const DWORD from = base + 0x1000, count = 0x480000;
    ASSERT_TRUE(test.ClearSDRAM(from, count, 0));
    std::vector<BYTE> back(size);
    ASSERT_TRUE(test.ReadMemory(base, back.data(), size));
    EXPECT_TRUE(std::equal(back.begin(), back.begin() + 0x1000, data.begin()));
    EXPECT_TRUE(std::all_of(back.begin() + 0x1000, back.begin() + 0x1000 + count, [](BYTE b) { return b == 0; }));
    EXPECT_TRUE(std::equal(back.begin() + 0x1000 + count, back.end(), data.begin() + 0x1000 + count));
    EXPECT_TRUE(test.ClearSDRAM(from, 0, 0));

    // A range that runs past the end of the memory.
    const DWORD end = static_cast<DWORD>(test.GetBoardIF().GetSDRAMSpace()->GetSize());
    EXPECT_FALSE(test.ClearSDRAM(end - 0x100, 0x200, 0));
    EXPECT_TRUE(test.out.HasColoured("Expected[512 bytes]  Transferred[256 bytes]\n", kColorRed)) << test.out.text;

    // A board without an SDRAM space.
    ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}],
        "faults": [{"kind": "missing_space", "board": "Brimola1", "space": "SDRAM"}]})");
    RecordingTreeTest bare;
    ASSERT_EQ(bare.GetBoardIF().SelectDevice("Brimola1", FALSE), 1u);
    ASSERT_EQ(bare.GetBoardIF().GetBAR0(FALSE), 1u);
    EXPECT_FALSE(bare.ClearSDRAM(0, 0x1000, 0));
    EXPECT_TRUE(bare.out.HasColoured("ERROR:  pWexalSDRAM = NULL in CWexalTreeMapTB::ClearSDRAM()", kColorRed));
}

// ---- Chain scans, on a channel without a far end, so the blocks stay as loaded ----

constexpr int kIdleChannel = 20;

WexalDCB Block(WORD tag, BYTE next, WORD bcu, WORD lines = 10, WORD initial = 8, WORD lineLength = 16) {
    WexalDCB dcb;
    dcb.GetOpField().SetNext(next);
    dcb.GetOpField().SetBCUPointer(bcu);
    dcb.GetPortField().SetTag(tag);
    dcb.SetLines(lines);
    dcb.SetInitialLineLength(initial);
    dcb.SetLineLength(lineLength);
    return dcb;
}

struct Scan {
    DWORD expected, received, lines, bytes;
    bool operator==(const Scan&) const = default;
    friend void PrintTo(const Scan& s, std::ostream* os) {
        *os << "{" << s.expected << ", " << s.received << ", " << s.lines << ", " << s.bytes << "}";
    }
};

// Counts start from what the caller had; untouched lines and bytes stay 77.
Scan ScanFrom(CWexalTreeMapTB& test, DWORD first, DWORD channel = kIdleChannel) {
    Scan s{0, 0, 77, 77};
    test.ScanDescriptors(channel, first, &s.expected, &s.received, &s.lines, &s.bytes);
    return s;
}

class ChainScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        devlib::LoadDefaultRig();
        test = std::make_unique<BoundTest>();
        dma = test->Channel(kIdleChannel);
        ASSERT_NE(dma, nullptr);
        for (WORD unit : {30, 31, 32}) BufferControlUnit(test->GetBoardIF(), unit).SetGo(1);
        // Three live blocks 1 -> 2 -> 3.
        Load(1, Block(1, 2, 30));
        Load(2, Block(2, 3, 31));
        Load(3, Block(3, 0, 32));
    }
    void Load(int index, const WexalDCB& dcb) { ASSERT_TRUE(dma->SetDCB(index, &dcb)); }
    // The live context: the block with that tag, with lines and initial line left.
    void Context(WORD tag, WORD lines, WORD initial) { Load(0, Block(tag, 0, 0, lines, initial)); }

    std::unique_ptr<BoundTest> test;
    CWexalDMAChannel* dma = nullptr;
};

TEST_F(ChainScanTest, CountsFinishedFramesAndTheProgressOfTheOneInTransfer) {
    // The second block has just finished.
    Context(2, 0, 0);
    EXPECT_EQ(ScanFrom(*test, 1), (Scan{3, 2, 77, 77}));
    Context(3, 0, 0);
    EXPECT_EQ(ScanFrom(*test, 1), (Scan{3, 3, 77, 77}));
    // The second block is under way: 10 lines of 16 after an initial line of 8. Still in the
    // initial line, 5 of 8 left: lines 10 - 4 + 1, bytes 4 x (8 - 5).
    Context(2, 4, 5);
    EXPECT_EQ(ScanFrom(*test, 1), (Scan{3, 1, 7, 12}));
    // Past the initial line, 12 of a line of 16 left: one line fewer, bytes 4 x (8 + 16 - 12).
    Context(2, 4, 12);
    EXPECT_EQ(ScanFrom(*test, 1), (Scan{3, 1, 6, 48}));
    // The counts add to the caller's.
    DWORD expected = 10, received = 20, lines = 0, bytes = 0;
    test->ScanDescriptors(kIdleChannel, 1, &expected, &received, &lines, &bytes);
    EXPECT_EQ(expected, 13u);
    EXPECT_EQ(received, 21u);
    // Starting further down the chain.
    Context(3, 0, 0);
    EXPECT_EQ(ScanFrom(*test, 2), (Scan{2, 2, 77, 77}));
}

TEST_F(ChainScanTest, StoppedUnitsEndTheWalk) {
    Context(3, 0, 0);
    BufferControlUnit(test->GetBoardIF(), 31).SetGo(0);
    EXPECT_EQ(ScanFrom(*test, 1), (Scan{1, 1, 77, 77}));
    BufferControlUnit(test->GetBoardIF(), 30).SetGo(0);
    EXPECT_EQ(ScanFrom(*test, 1), (Scan{0, 0, 77, 77}));

    test->out = {};
    test->ReportFrames("Wexal outbound", kIdleChannel, 1);
    ASSERT_EQ(test->out.coloured.size(), 1u);
    EXPECT_EQ(test->out.coloured[0].first,
              "\nWexal outbound\nTotal Frames expected[0]\nTotal Frames received[0]\nAdditional Lines received[0]\n"
              "Additional Bytes received[0]\n\n");
    EXPECT_EQ(test->out.coloured[0].second, kColorBlack);
}

TEST_F(ChainScanTest, WalksEndAtTheChannelsBlocksEvenWhenTheChainLoops) {
    // 1 -> 2 -> 1 with no block in transfer would go round for ever: it is cut after 16 steps.
    Load(2, Block(2, 1, 31));
    Context(9, 0, 0);
    EXPECT_EQ(ScanFrom(*test, 1), (Scan{16, 16, 77, 77}));
    // A Next beyond the channel's 16 blocks ends the chain there.
    Load(1, Block(1, 40, 30));
    EXPECT_EQ(ScanFrom(*test, 1), (Scan{1, 1, 77, 77}));
    // Chains never start at the live context or outside the channel.
    for (DWORD first : {0u, 16u, 63u, 0xFFFFFFFFu}) EXPECT_EQ(ScanFrom(*test, first), (Scan{0, 0, 77, 77})) << first;
    // Nor on a channel the board does not have, or on a test without a board.
    EXPECT_EQ(ScanFrom(*test, 1, 64), (Scan{0, 0, 77, 77}));
    RecordingTreeTest unbound;
    EXPECT_EQ(ScanFrom(unbound, 1), (Scan{0, 0, 77, 77}));
}

TEST(FrameReportTest, CodecBoardUnitsAreReadOnItsOwnWindow) {
    devlib::LoadDefaultRig();
    BoundTest codec("Nuxa1");
    CWexalDMAChannel* dma = codec.Channel(kIdleChannel);
    ASSERT_NE(dma, nullptr);
    const WexalDCB only = Block(5, 0, 40);
    const WexalDCB context = Block(5, 0, 0, 0, 0);
    ASSERT_TRUE(dma->SetDCB(1, &only));
    ASSERT_TRUE(dma->SetDCB(0, &context));
    EXPECT_EQ(ScanFrom(codec, 1), (Scan{0, 0, 77, 77}));
    BufferControlUnit(codec.GetBoardIF(), 40).SetGo(1);
    EXPECT_EQ(ScanFrom(codec, 1), (Scan{1, 1, 77, 77}));
}

}  // namespace
