// DMA channels: DCB slots, chains and live context, page-table transfers, BCU gating, flush, the video utility loop, timing.
#include <numeric>

#include "platform/clock.h"
#include "rig_fixture.h"

namespace {

using devtest::Dcb;
using devtest::HostBuffer;
using devtest::MakeDcb;
using devtest::RigTest;

TEST_F(RigTest, DcbSlotsAreTheRegisterWindowsStorage) {
    CWexalDMAChannel* ch = Board("Brimola1")->GetDMAChannel(16);
    RegisterPtr r = Regs("Brimola1");
    WexalDCB dcb, back;
    for (int i = 0; i < 9; ++i) dcb.w[i] = 0x11111111u * static_cast<DWORD>(i + 1);
    ASSERT_TRUE(ch->SetDCB(3, &dcb));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(r[(0x60000 + 0x200 * 16 + 0x20 * 3 + 4 * i) / 4], dcb.w[i]) << "word " << i;
    r[(0x60000 + 0x200 * 16 + 0x20 * 5 + 8) / 4] = 0xCAFE0000;
    back.w[8] = 0x5A5A5A5A;
    ASSERT_TRUE(ch->GetDCB(5, &back));
    EXPECT_EQ(back.w[2] ^ back.w[8], 0xCAFE0000u ^ 0x5A5A5A5Au) << "only words 0-7 are filled";
    EXPECT_FALSE(ch->SetDCB(16, &dcb) || ch->GetDCB(-1, &back) || ch->SetDCB(1, nullptr));
    // A revision's profile sets the implemented bits: BCU register 1 reads 0 from 0xC70 on.
    r[(0x70000 + 16 * 7 + 4) / 4] = 0xFFFFFFFF;
    EXPECT_EQ(r[(0x70000 + 16 * 7 + 4) / 4], 0u);
    LoadJson(R"({"boards": [{"tag": "Old1", "kind": "brimola", "revision": "0xC50"}]})");
    Regs("Old1")[(0x70000 + 16 * 9 + 4) / 4] = 0xFFFFFFFF;
    EXPECT_EQ(Regs("Old1")[(0x70000 + 16 * 9 + 4) / 4], 0x003F0FFFu);
}

TEST_F(RigTest, HostToSdramChainAndBackThroughPageTables) {
    CWexalBoardDevice* b = Board("Brimola1");
    constexpr DWORD kPage = 0x20000, kBytes = 3 * kPage;
    HostBuffer src(kBytes), dst(kBytes);
    std::iota(src.Words(), src.Words() + kBytes / 4, 0x40000000u);
    SetGo(Regs("Brimola1"), 0);
    CWexalDMAChannel* wr = b->GetDMAChannel(16);
    wr->Flush();
    // One DCB per page (4096 + 7 x 4096 DWORDs), chained 1 -> 2 -> 3 with tags 1-3.
    for (int k = 1; k <= 3; ++k)
        ASSERT_TRUE(wr->SetDCBWords(k, MakeDcb(k % 3 ? k + 1 : 0, 0, k, 0x100000 + (k - 1) * kPage, 7, 4096, 4096, src.Table() + 16 * (k - 1)).w));
    wr->Trigger(1);
    const Dcb live = Live(wr);
    EXPECT_TRUE(live.Done());
    EXPECT_EQ(live.Tag(), 3) << "the last DCB's tag";
    EXPECT_EQ(live.w[2], 0x100000u + 2 * kPage) << "the rest of the live context is the last DCB's";
    // Back in one DCB over the three-entry table.
    CWexalDMAChannel* rd = b->GetDMAChannel(12);
    rd->SetDCBWords(1, MakeDcb(0, 0, 0xA5A, 0x100000, 23, 4096, 4096, dst.Table()).w);
    rd->Trigger(1);
    EXPECT_EQ(Live(rd).Tag(), 0xA5A);
    EXPECT_EQ(std::memcmp(dst.data, src.data, kBytes), 0);
}

TEST_F(RigTest, BcuWithoutGoStallsUntilGoAndFlushDropsTheChain) {
    CWexalBoardDevice* b = Board("Brimola1");
    RegisterPtr r = Regs("Brimola1");
    HostBuffer src(0x1000);
    src.Words()[0] = 0x600DF00D;
    SetGo(r, 5, false);
    CWexalDMAChannel* wr = b->GetDMAChannel(16);
    wr->SetDCBWords(1, MakeDcb(0, 5, 7, 0x3000, 0, 16, 0, src.Table()).w);
    wr->Trigger(1);
    for (int poll = 0; poll < 100; ++poll) ASSERT_EQ(Live(wr).Initial(), 16u) << "stalled on BCU 5";
    EXPECT_EQ(Live(wr).Tag(), 7) << "the DCB in progress";
    SetGo(r, 5);
    EXPECT_TRUE(Live(wr).Done());
    SetGo(r, 5, false);
    src.Words()[0] = 0x0BADF00D;
    wr->Trigger(1);
    EXPECT_TRUE(wr->Flush());
    const Dcb flushed = Live(wr);
    EXPECT_EQ(std::count(flushed.w, flushed.w + 8, 0u), 8) << "the live context cleared";
    SetGo(r, 5);
    Live(wr);
    DWORD v = 0;
    b->GetSDRAMSpace()->Get(&v, 0x3000, 4);
    EXPECT_EQ(v, 0x600DF00Du) << "the first transfer only";
}

TEST_F(RigTest, UnroutedDisabledAndBadTableChannelsNeverComplete) {
    RegisterPtr r = Regs("Brimola1");
    EXPECT_EQ(Transfer("Brimola1", 0, 0, 0, 64).Initial(), 64u) << "no endpoint for channel 0 yet";
    EXPECT_EQ(Transfer("Brimola1", 13, 0x100000000ull, 0, 64).Initial(), 64u) << "a page table outside host memory hangs";
    r[(0x58000 + 4 * 13) / 4] = 0;
    EXPECT_EQ(Transfer("Brimola1", 13, 0, 0, 64).Initial(), 0u) << "a disabled channel ignores its trigger";
    // A video utility frame larger than the whole memory (about 16 GiB) hangs the pair.
    SetGo(r, 2);
    for (int c : {57, 38}) {
        Board("Brimola1")->GetDMAChannel(c)->SetDCBWords(1, MakeDcb(0, 2, 1, 0, 0xFFFF, 0xFFFF, 0xFFFF).w);
        Board("Brimola1")->GetDMAChannel(c)->Trigger(1);
    }
    EXPECT_EQ(Live(Board("Brimola1")->GetDMAChannel(57)).w[3] >> 16, 0xFFFFu);
}

// The video utility pair (38 in, 57 out, BCU 2): a looping one-DCB pass copies until Next is cleared, then finishes the pass.
TEST_F(RigTest, LoopedVideoUtilityRunsUntilNextIsClearedThenFinishesThePass) {
    CWexalBoardDevice* b = Board("Brimola1");
    CWexalSDRAMSpace* s = b->GetSDRAMSpace();
    CWexalDMAChannel* in = b->GetDMAChannel(38);
    CWexalDMAChannel* out = b->GetDMAChannel(57);
    std::vector<DWORD> data(1024, 0x11111111);
    s->Set(data.data(), 0, 4096);
    const DWORD beyond = 0x33333333;  // just past the pass: never copied
    s->Set(&beyond, 4096, 4);
    Dcb src = MakeDcb(1, 2, 0x111, 0, 0, 1024, 1024), dst = MakeDcb(1, 2, 0x111, 0x100000, 0, 1024, 1024);
    SetGo(Regs("Brimola1"), 2);
    in->SetDCBWords(1, src.w);
    out->SetDCBWords(1, dst.w);
    out->Trigger(1);
    in->Trigger(1);
    for (int poll = 0; poll < 50; ++poll) ASSERT_FALSE(Live(out).Done()) << "a looping pass is never done";
    std::fill(data.begin(), data.end(), 0x22222222u);
    s->Set(data.data(), 0, 4096);
    src.w[0] &= ~0x3Fu;
    dst.w[0] &= ~0x3Fu;
    out->SetDCBWords(1, dst.w);
    in->SetDCBWords(1, src.w);
    EXPECT_TRUE(Live(out).Done() && Live(in).Done());
    EXPECT_EQ(Live(out).Tag(), 0x111);
    DWORD v[2] = {};
    s->Get(v, 0x100000 + 4092, 8);
    EXPECT_EQ(v[0] * 0x10 + v[1], 0x22222222u * 0x10) << "the pass ends after 1024 DWORDs";
}

TEST_F(RigTest, ModelledTimingCountsDownOnTheVirtualClock) {
    LoadJson(R"({"boards": [{"tag": "B1", "kind": "brimola"}], "dma": {"timing": "modelled", "bytes_per_second": 100000000}})");
    HostBuffer src(0x100000);  // 1 MB at 100 MB/s: 10 ms
    src.Words()[0x3FFFF] = 0x7E57DA7A;
    SetGo(Regs("B1"), 0);
    CWexalDMAChannel* wr = Board("B1")->GetDMAChannel(16);
    wr->SetDCBWords(1, MakeDcb(0, 0, 9, 0, 63, 4096, 4096, src.Table()).w);
    wr->Trigger(1);
    Sleep(5);
    const DWORD lines = Live(wr).w[3] >> 16;
    EXPECT_TRUE(lines > 20 && lines < 40) << lines << " lines left: about half way";
    DWORD v = 0;
    Sdram("B1")->Get(&v, 0xFFFFC, 4);
    EXPECT_EQ(v, 0u) << "the data lands when the DCB completes";
    // A busy poll without sleeping reaches completion: every status read takes bus time.
    int polls = 0;
    while (!Live(wr).Done() && ++polls < 1000000) {
    }
    Sdram("B1")->Get(&v, 0xFFFFC, 4);
    EXPECT_EQ(v, 0x7E57DA7Au);
}

TEST_F(RigTest, HostMemoryResultsAndBusAddresses) {
    void* p = nullptr;
    LARGE_INTEGER bus{};
    EXPECT_NE(g_WexalHW->Malloc(0, &p, &bus).status, DRV_SUCCESS);
    ASSERT_EQ(g_WexalHW->Malloc(0x1000, &p, &bus).status, DRV_SUCCESS);
    EXPECT_NE(bus.QuadPart, 0);
    EXPECT_EQ(g_WexalHW->Free(p).status, DRV_SUCCESS);
    EXPECT_EQ(g_WexalHW->Free(p).status, DRV_NOT_OURS);
    const Drv_Return rc = g_WexalHW->Malloc(0x7FFFFFFF, &p, &bus);
    EXPECT_EQ(rc.status, DRV_NO_MEMORY);
    EXPECT_EQ(rc.detail, 0x7FFFFFFFu);
}

}  // namespace
