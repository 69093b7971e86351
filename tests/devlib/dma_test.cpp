// DMA channels: DCB slots, BCU gating and flush, channels that never complete, the video utility loop, host memory.
#include "rig_fixture.h"

namespace {

using devtest::Dcb;
using devtest::HostBuffer;
using devtest::MakeDcb;
using devtest::RigTest;

TEST_F(RigTest, DcbSlotsAreTheRegisterWindowsStorageABcuWithoutGoStallsAndFlushDropsTheChain) {
    HostBuffer src(0x1000);
    src.Words()[0] = 0x600DF00D;
    SetGo("Brimola1", 5, false);
    CWexalDMAChannel* wr = Board("Brimola1")->GetDMAChannel(16);
    Run("Brimola1", 16, MakeDcb(0, 5, 7, 0x3000, 0, 16, 0, src.Table()));
    for (int poll = 0; poll < 100; ++poll) ASSERT_EQ(Live(wr).w[3], 16u) << "stalled on BCU 5";
    SetGo("Brimola1", 5);
    EXPECT_TRUE(Live(wr).Done());
    SetGo("Brimola1", 5, false);
    src.Words()[0] = 0x0BADF00D;
    wr->Trigger(1);
    EXPECT_TRUE(wr->Flush());
    EXPECT_EQ(Live(wr).w[1] | Live(wr).w[3], 0u) << "the live context cleared";
    SetGo("Brimola1", 5);
    DWORD v = Live(wr).w[3];
    Sdram("Brimola1")->Get(&v, 0x3000, 4);
    EXPECT_EQ(v, 0x600DF00Du) << "the flushed chain never ran";
    // DCB slots are the register window's storage.
    CWexalDMAChannel* ch = Board("Brimola1")->GetDMAChannel(16);
    WexalDCB dcb, back;
    for (int i = 0; i < 9; ++i) dcb.w[i] = 0x11111111u * static_cast<DWORD>(i + 1);
    ASSERT_TRUE(ch->SetDCB(3, &dcb));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(Regs("Brimola1")[(0x60000 + 0x200 * 16 + 0x20 * 3 + 4 * i) / 4], dcb.w[i]) << "word " << i;
    ASSERT_TRUE(ch->GetDCB(3, &back));
    EXPECT_EQ(back.w[7] ^ back.w[8], dcb.w[7]) << "only words 0-7 are filled";
    EXPECT_FALSE(ch->SetDCB(16, &dcb) || ch->GetDCB(-1, &back) || ch->SetDCB(1, nullptr));
    // The trigger names the chain's first DCB, any of 1 to 15.
    ch->Flush();
    ch->SetDCBWords(9, MakeDcb(0, 5, 9, 0x3100, 0, 16, 0, src.Table()).w);
    ch->Trigger(9);
    Sdram("Brimola1")->Get(&v, 0x3100, 4);
    EXPECT_TRUE(Live(ch).Done() && Live(ch).Tag() == 9 && v == 0x0BADF00Du) << std::hex << v;
}

TEST_F(RigTest, DisabledAndBadTableChannelsNeverCompleteAndHostMemoryRefusesWhatItCannotGive) {
    EXPECT_EQ(Transfer("Brimola1", 13, 0x100000000ull, 0, 64).w[3], 64u) << "a page table outside host memory hangs";
    Regs("Brimola1")[(0x58000 + 4 * 13) / 4] = 0;
    EXPECT_EQ(Transfer("Brimola1", 13, 0, 0, 64).w[3], 0u) << "a disabled channel ignores its trigger";
    SetGo("Brimola1", 2);
    for (int c : {57, 38}) Run("Brimola1", c, MakeDcb(0, 2, 1, 0, 0xFFFF, 0xFFFF, 0xFFFF));
    EXPECT_EQ(Live(Board("Brimola1")->GetDMAChannel(57)).w[3] >> 16, 0xFFFFu) << "a video utility frame of about 16 GiB hangs";
    // Host memory: refusals and a double free.
    void* p = nullptr;
    LARGE_INTEGER bus{};
    EXPECT_NE(g_WexalHW->Malloc(0, &p, &bus).status, DRV_SUCCESS);
    const Drv_Return rc = g_WexalHW->Malloc(0x7FFFFFFF, &p, &bus);
    EXPECT_EQ(rc.status + rc.detail, DRV_NO_MEMORY + 0x7FFFFFFFu);
    ASSERT_EQ(g_WexalHW->Malloc(0x1000, &p, &bus).status, DRV_SUCCESS);
    EXPECT_EQ(g_WexalHW->Free(p).status, DRV_SUCCESS);
    EXPECT_EQ(g_WexalHW->Free(p).status, DRV_NOT_OURS);
    // A freed block's bus range goes to the next allocation of its size.
    void* blocks[3] = {};
    LARGE_INTEGER buses[3] = {};
    for (int i = 0; i < 3; ++i) ASSERT_EQ(g_WexalHW->Malloc(i == 2 ? 0x1000 : 0x2000, &blocks[i], &buses[i]).status, DRV_SUCCESS);
    ASSERT_EQ(g_WexalHW->Free(blocks[1]).status, DRV_SUCCESS);
    LARGE_INTEGER reused{};
    ASSERT_EQ(g_WexalHW->Malloc(0x2000, &blocks[1], &reused).status, DRV_SUCCESS);
    EXPECT_EQ(reused.QuadPart, buses[1].QuadPart);
    for (void* block : blocks) EXPECT_EQ(g_WexalHW->Free(block).status, DRV_SUCCESS);
}

// The video utility pair (38 in, 57 out, BCU 2): a looping one-DCB pass copies until Next is cleared, then finishes the pass.
TEST_F(RigTest, LoopedVideoUtilityRunsUntilNextIsClearedThenFinishesThePass) {
    std::vector<DWORD> data(1025, 0x22222222);
    data[1024] = 0x33333333;  // just past the pass: never copied
    Dcb src = MakeDcb(1, 2, 0x111, 0, 0, 1024, 1024), dst = MakeDcb(1, 2, 0x111, 0x100000, 0, 1024, 1024);
    SetGo("Brimola1", 2);
    Run("Brimola1", 57, dst);
    Run("Brimola1", 38, src);
    CWexalDMAChannel *in = Board("Brimola1")->GetDMAChannel(38), *out = Board("Brimola1")->GetDMAChannel(57);
    for (int poll = 0; poll < 50; ++poll) ASSERT_FALSE(Live(out).Done()) << "a looping pass is never done";
    Sdram("Brimola1")->Set(data.data(), 0, 4100);
    src.w[0] = dst.w[0] = 2u << 23;  // Next = 0
    out->SetDCBWords(1, dst.w);
    in->SetDCBWords(1, src.w);
    EXPECT_TRUE(Live(out).Done() && Live(in).Done() && Live(out).Tag() == 0x111);
    Sdram("Brimola1")->Get(data.data(), 0x100000, 4100);
    EXPECT_EQ(data[1023], 0x22222222u) << "the pass in progress completes";
    EXPECT_EQ(data[1024], 0u);
}

// One pass of the video utility pair copies the input DCB's words, in line order, into the output
// DCB's lines as they were when the input read them, up to the shorter of the two; words past
// either stay as they were. Rows: pads on either side, a frame longer than the output, and outputs
// overlapping the input from above and from below.
TEST_F(RigTest, AVideoUtilityPassCopiesTheFrameAsReadIntoTheOutputLines) {
    struct Geometry {
        DWORD start, lines, initial, lineLength, pad;
    };
    struct Row {
        const char* name;
        Geometry in, out;
    };
    const Row rows[] = {
        {"one run each", {0x0, 4, 0, 256, 0}, {0x100000, 4, 0, 256, 0}},
        {"output lines with pad", {0x0, 0, 1024, 0, 0}, {0x100000, 8, 0, 128, 32}},
        {"input lines with pad, output shorter", {0x0, 6, 16, 100, 20}, {0x100000, 2, 0, 200, 0}},
        {"output overlapping the input from above", {0x0, 4, 0, 256, 0}, {0x800, 4, 0, 256, 0}},
        {"output overlapping the input from below", {0x2000, 4, 0, 256, 0}, {0x1800, 4, 0, 256, 0}},
    };
    constexpr DWORD kBytes = 0x110000;
    const auto words = [](const Geometry& g) {
        std::vector<DWORD> at;
        DWORD addr = g.start;
        const auto line = [&](DWORD units) {
            for (DWORD u = 0; u < units; ++u) at.push_back(addr + 4 * u);
            if (units) addr += 4 * (units + g.pad);
        };
        line(g.initial);
        for (DWORD l = 0; l < g.lines; ++l) line(g.lineLength);
        return at;
    };
    SetGo("Brimola1", 2);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<DWORD> memory(kBytes / 4);
        for (DWORD i = 0; i < memory.size(); ++i) memory[i] = 0x5A000000u | i;
        ASSERT_EQ(Sdram("Brimola1")->Set(memory.data(), 0, static_cast<int>(kBytes)), static_cast<int>(kBytes));
        const std::vector<DWORD> from = words(row.in), to = words(row.out);
        std::vector<DWORD> want = memory;
        for (size_t i = 0; i < std::min(from.size(), to.size()); ++i) want[to[i] / 4] = memory[from[i] / 4];
        const auto dcb = [](const Geometry& g) { return MakeDcb(0, 2, 0x55, g.start, g.lines, g.initial, g.lineLength | g.pad << 16); };
        Run("Brimola1", 57, dcb(row.out));
        EXPECT_TRUE(Run("Brimola1", 38, dcb(row.in)).Done());
        EXPECT_TRUE(Live(Board("Brimola1")->GetDMAChannel(57)).Done());
        std::vector<DWORD> got(kBytes / 4);
        ASSERT_EQ(Sdram("Brimola1")->Get(got.data(), 0, static_cast<int>(kBytes)), static_cast<int>(kBytes));
        size_t wrong = 0;
        for (size_t i = 0; i < got.size(); ++i) wrong += got[i] != want[i];
        EXPECT_EQ(wrong, 0u);
    }
}

}  // namespace
