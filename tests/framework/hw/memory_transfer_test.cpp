// Tests of the tree-map base's board memory services: chunked transfers, SDRAM clear, DMA chain scans and frame reports.
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

constexpr DWORD kChunk = 0x400000;
using Calls = std::vector<std::pair<DWORD, int>>;

// A byte-addressed space over plain memory that lists its calls; call number shortCall moves 4 bytes less.
struct ListingSpace : CDevAddrSpace {
    int Set(const void* buffer, DWORD address, int count) override { return Move(memory.data() + address, buffer, address, count); }
    int Get(void* buffer, DWORD address, int count) override { return Move(buffer, memory.data() + address, address, count); }
    std::vector<BYTE> memory = std::vector<BYTE>(0x900200);
    Calls calls;
    int shortCall = -1;
    int Move(void* to, const void* from, DWORD address, int count) {
        calls.emplace_back(address, count);
        int n = static_cast<int>(std::clamp<long long>(count, 0, std::max<long long>(0, 0x900200ll - address)));
        if (static_cast<int>(calls.size()) - 1 == shortCall) n = std::max(0, n - 4);
        if (n > 0) std::memmove(to, from, static_cast<size_t>(n));
        return n;
    }
};

TEST(MemoryTransferTest, TransfersMoveWholeChunksThenATrailerAndSdramRoundTripsAndClears) {
    RecordingTreeTest test;
    ListingSpace space;
    const std::vector<BYTE> data = PatternBytes(0x900010, 9);
    // Exactly one chunk: the trailer call of length 0 still comes, and its 0 is success.
    std::vector<BYTE> back(0x900010, 0);
    ASSERT_TRUE(test.WriteMemory(data.data(), 0, kChunk, &space) && test.ReadMemory(0x100, back.data(), 0x900010, &space));
    EXPECT_EQ(space.calls, (Calls{{0, kChunk}, {kChunk, 0}, {0x100, kChunk}, {0x400100, kChunk}, {0x800100, 0x100010}}));
    EXPECT_TRUE(std::equal(back.begin(), back.begin() + kChunk - 0x100, data.begin() + 0x100));
    // A short chunk ends the transfer there; a short trailer fails too.
    space.calls = {};
    space.shortCall = 1;
    EXPECT_FALSE(test.WriteMemory(data.data(), 0, 0x900010, &space) || space.calls.size() != 2);
    EXPECT_TRUE(test.out.HasColoured("Unable to send image data (chunk) Expected[4194304 bytes]  Transferred[4194300 bytes]\n", kColorRed));
    space.shortCall = -1;
    EXPECT_FALSE(test.ReadMemory(0x900200 - 0x10, back.data(), 0x20, &space) ||
                 !test.out.Has("Unable to retrieve image data (trailer) Expected[32 bytes]  Transferred[16 bytes]\n"));
    // No space given and none bound; no host buffer: refused before anything moves.
    EXPECT_FALSE(test.ReadMemory(0, back.data(), 0x20) || test.WriteMemory(nullptr, 0, 0x20, &space) || test.ReadMemory(0, nullptr, 0x20, &space));
    EXPECT_TRUE(test.out.HasColoured("ERROR:  pWexalSDRAM = NULL in CWexalTreeMapTB::ReadMemory()", kColorRed));
    EXPECT_EQ(space.calls.size(), 3u);
    // On a board: round trips and clears.
    devlib::LoadDefaultRig();
    BoundTest bound("Nuxa1");
    const DWORD size = 0x500000, from = 0x100004 + 0x1000, count = 0x480000;  // more than one transfer's worth
    std::vector<BYTE> pattern = PatternBytes(size, 17), readBack(size);
    ASSERT_TRUE(bound.WriteMemory(pattern.data(), 0x100004, size) && bound.ClearSDRAM(from, count, 0) && bound.ClearSDRAM(from, 0, 0) &&
                bound.ReadMemory(0x100004, readBack.data(), size));
    std::fill(pattern.begin() + 0x1000, pattern.begin() + 0x1000 + count, 0);
    EXPECT_EQ(readBack, pattern);
    // At the end of the memory a clear comes back short.
    EXPECT_FALSE(bound.ClearSDRAM(static_cast<DWORD>(bound.GetBoardIF().GetSDRAMSpace()->GetSize()) - 0x100, 0x200, 0));
    EXPECT_TRUE(bound.out.HasColoured("Expected[512 bytes]  Transferred[256 bytes]\n", kColorRed));
}

// Chain scans run on a channel without a far end, so the blocks stay as loaded.
constexpr int kIdleChannel = 20;

WexalDCB Block(WORD tag, BYTE next, WORD bcu, WORD lines = 10, WORD initial = 8) {
    WexalDCB dcb;
    EXPECT_TRUE(dcb.GetOpField().SetNext(next) && dcb.GetOpField().SetBCUPointer(bcu) && dcb.GetPortField().SetTag(tag) && dcb.SetLines(lines) &&
                dcb.SetInitialLineLength(initial) && dcb.SetLineLength(16));
    return dcb;
}

// expected, received, lines, bytes; untouched lines and bytes stay 77.
std::vector<DWORD> ScanFrom(CWexalTreeMapTB& test, DWORD first, DWORD channel = kIdleChannel) {
    std::vector<DWORD> s{0, 0, 77, 77};
    test.ScanDescriptors(channel, first, &s[0], &s[1], &s[2], &s[3]);
    return s;
}

TEST(ChainScanTest, CountsFramesUpToTheOneInTransfer) {
    devlib::LoadDefaultRig();
    BoundTest test;
    auto load = [&](int index, const WexalDCB& dcb) { ASSERT_TRUE(test.Channel(kIdleChannel)->SetDCB(index, &dcb)); };
    for (WORD unit : {30, 31, 32}) BufferControlUnit(test.GetBoardIF(), unit).SetGo(1);
    // Rows: the live context (tag, lines and initial line left), the chain's first block, the scan.
    const struct { const char* name; WORD tag, lines, initial; DWORD first; std::vector<DWORD> scan; } rows[] = {
        {"second block finished", 2, 0, 0, 1, {3, 2, 77, 77}},
        {"in the initial line, 5 of 8 left: lines 10 - 4 + 1, bytes 4 x 3", 2, 4, 5, 1, {3, 1, 7, 12}},
        {"past the initial line, 12 of 16 left: bytes 4 x (8 + 4)", 2, 4, 12, 1, {3, 1, 6, 48}},
        {"from further down", 3, 0, 0, 2, {2, 2, 77, 77}},
        {"never past the channel's blocks", 3, 0, 0, 16, {0, 0, 77, 77}},
    };
    for (WORD k : {1, 2, 3}) load(k, Block(k, static_cast<BYTE>(k == 3 ? 0 : k + 1), 29 + k));
    for (const auto& row : rows) {
        load(0, Block(row.tag, 0, 0, row.lines, row.initial));
        EXPECT_EQ(ScanFrom(test, row.first), row.scan) << row.name;
    }
    // A stopped unit ends the walk.
    BufferControlUnit(test.GetBoardIF(), 31).SetGo(0);
    EXPECT_EQ(ScanFrom(test, 1), (std::vector<DWORD>{1, 1, 77, 77}));
    BufferControlUnit(test.GetBoardIF(), 31).SetGo(1);
    // 1 -> 2 -> 1 with no block in transfer is cut after 16 steps.
    load(2, Block(2, 1, 31));
    load(0, Block(9, 0, 0));
    EXPECT_EQ(ScanFrom(test, 1), (std::vector<DWORD>{16, 16, 77, 77}));
    test.ReportFrames("Wexal outbound", kIdleChannel, 1);
    EXPECT_TRUE(test.out.Has("\nWexal outbound\nTotal Frames expected[16]\nTotal Frames received[16]\n")) << test.out.text;
}

}  // namespace
