// DMA channels: DCB slots, chains and live context, page-table transfers, BCU gating, flush, the video utility loop, timing
// (the line and pad geometry belongs to the simulator's DMA engine tests).
#include <numeric>

#include "platform/clock.h"
#include "rig_fixture.h"

namespace {

using devtest::Dcb;
using devtest::HostBuffer;
using devtest::MakeDcb;
using devtest::RigTest;

RegisterRef DcbWord(RegisterPtr r, int channel, int dcb, int word) { return r[(0x60000 + 0x200 * channel + 0x20 * dcb + 4 * word) / 4]; }

TEST_F(RigTest, DcbSlotsAreTheRegisterWindowsStorage) {
    CWexalDMAChannel* ch = Board("Brimola1")->GetDMAChannel(16);
    RegisterPtr r = Regs("Brimola1");
    WexalDCB dcb;
    for (int i = 0; i < 9; ++i) dcb.w[i] = 0x11111111u * static_cast<DWORD>(i + 1);
    ASSERT_TRUE(ch->SetDCB(3, &dcb));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(DcbWord(r, 16, 3, i), dcb.w[i]) << "word " << i;
    DcbWord(r, 16, 5, 2) = 0xCAFE0000;
    WexalDCB back;
    back.w[8] = 0x5A5A5A5A;
    ASSERT_TRUE(ch->GetDCB(5, &back));
    EXPECT_EQ(back.w[2], 0xCAFE0000u);
    EXPECT_EQ(back.w[8], 0x5A5A5A5Au) << "only words 0-7 are filled";
    EXPECT_FALSE(ch->SetDCB(16, &dcb));
    EXPECT_FALSE(ch->GetDCB(-1, &back));
    EXPECT_FALSE(ch->SetDCB(1, nullptr));
    // Words 5-7 exist only where they hold a PCI address or audio words.
    Board("Brimola1")->GetDMAChannel(38)->SetDCB(2, &dcb);
    EXPECT_EQ(DcbWord(r, 38, 2, 5), 0u);
    EXPECT_EQ(DcbWord(r, 38, 2, 4), dcb.w[4]);
}

TEST_F(RigTest, RevisionProfileSetsTheImplementedBits) {
    RegisterPtr r = Regs("Brimola1");
    r[(0x70000 + 16 * 7 + 4) / 4] = 0xFFFFFFFF;
    EXPECT_EQ(r[(0x70000 + 16 * 7 + 4) / 4], 0u) << "BCU register 1 reads 0 from revision 0xC70";
    LoadJson(R"({"boards": [{"tag": "Old1", "kind": "brimola", "revision": "0xC50"}]})");
    r = Regs("Old1");
    const DWORD bcuMasks[4] = {0xFFFF0FFF, 0x003F0FFF, 0x0FFF0FFF, 0x003F0FFF};
    for (int reg = 0; reg < 4; ++reg) {
        r[(0x70000 + 16 * 9 + 4 * reg) / 4] = 0xFFFFFFFF;
        EXPECT_EQ(r[(0x70000 + 16 * 9 + 4 * reg) / 4], bcuMasks[reg]) << "register " << reg;
    }
    const DWORD dcbMasks[8] = {0xFFFF7FFF, 0x0FFF03FF, 0x3FFFFFFC, 0x3FFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    DWORD words[8];
    std::fill(words, words + 8, 0xFFFFFFFFu);
    CWexalDMAChannel* pci = Board("Old1")->GetDMAChannel(12);
    pci->SetDCBWords(4, words);
    pci->GetDCBWords(4, words);
    for (int w = 0; w < 8; ++w) EXPECT_EQ(words[w], dcbMasks[w]) << "word " << w;
}

TEST_F(RigTest, HostToSdramChainAndBackThroughPageTables) {
    CWexalBoardDevice* b = Board("Brimola1");
    constexpr DWORD kPage = 0x20000, kBytes = 3 * kPage;
    HostBuffer src(kBytes), dst(kBytes);
    std::iota(src.Words(), src.Words() + kBytes / 4, 0x40000000u);
    SetGo(Regs("Brimola1"), 0);
    CWexalDMAChannel* wr = b->GetDMAChannel(16);
    wr->Flush();
    // One DCB per page: 4096 + 7 x 4096 DWORDs; the chain runs 1 -> 2 -> 3 with tags 1-3.
    for (int k = 1; k <= 3; ++k) {
        const Dcb d = MakeDcb(k == 3 ? 0 : k + 1, 0, k, 0x100000 + (k - 1) * kPage, 7, 4096, 4096, 0, src.Table() + 16 * (k - 1));
        ASSERT_TRUE(wr->SetDCBWords(k, d.w));
    }
    wr->Trigger(1);
    const Dcb live = Live(wr);
    EXPECT_TRUE(live.Done());
    EXPECT_EQ(live.Tag(), 3) << "the last DCB's tag";
    EXPECT_EQ(live.w[2], 0x100000u + 2 * kPage) << "the rest of the live context is the last DCB's";
    std::vector<DWORD> sdram(kBytes / 4);
    ASSERT_EQ(b->GetSDRAMSpace()->Get(sdram.data(), 0x100000, static_cast<int>(kBytes)), static_cast<int>(kBytes));
    EXPECT_TRUE(std::equal(sdram.begin(), sdram.end(), src.Words()));
    // Back in one DCB over the three-entry table.
    CWexalDMAChannel* rd = b->GetDMAChannel(12);
    const Dcb d = MakeDcb(0, 0, 0xA5A, 0x100000, 23, 4096, 4096, 0, dst.Table());
    rd->SetDCBWords(1, d.w);
    rd->Trigger(1);
    const Dcb back = Live(rd);
    EXPECT_EQ(back.Tag(), 0xA5A);
    EXPECT_TRUE(back.Done());
    EXPECT_EQ(std::memcmp(dst.data, src.data, kBytes), 0);
}

TEST_F(RigTest, BcuWithoutGoStallsUntilGoAndFlushClearsTheContext) {
    CWexalBoardDevice* b = Board("Brimola1");
    RegisterPtr r = Regs("Brimola1");
    HostBuffer src(0x1000);
    src.Words()[0] = 0x600DF00D;
    SetGo(r, 5, false);
    CWexalDMAChannel* wr = b->GetDMAChannel(16);
    const Dcb d = MakeDcb(0, 5, 7, 0x3000, 0, 16, 0, 0, src.Table());
    wr->SetDCBWords(1, d.w);
    wr->Trigger(1);
    for (int poll = 0; poll < 100; ++poll) ASSERT_EQ(Live(wr).Initial(), 16u) << "stalled on BCU 5";
    EXPECT_EQ(Live(wr).Tag(), 7) << "the DCB in progress";
    DWORD v = 1;
    b->GetSDRAMSpace()->Get(&v, 0x3000, 4);
    EXPECT_EQ(v, 0u);
    SetGo(r, 5);
    EXPECT_TRUE(Live(wr).Done());
    b->GetSDRAMSpace()->Get(&v, 0x3000, 4);
    EXPECT_EQ(v, 0x600DF00Du);
    // Flush: a stalled chain is dropped and its live context cleared; Go later moves nothing.
    SetGo(r, 5, false);
    src.Words()[0] = 0x0BADF00D;
    wr->Trigger(1);
    EXPECT_TRUE(wr->Flush());
    const Dcb live = Live(wr);
    for (DWORD w : live.w) EXPECT_EQ(w, 0u);
    SetGo(r, 5);
    Live(wr);
    b->GetSDRAMSpace()->Get(&v, 0x3000, 4);
    EXPECT_EQ(v, 0x600DF00Du);
}

TEST_F(RigTest, UnroutedDisabledAndBadTableChannelsNeverComplete) {
    CWexalBoardDevice* b = Board("Brimola1");
    RegisterPtr r = Regs("Brimola1");
    EXPECT_EQ(Transfer("Brimola1", 0, 0, 0, 64).Initial(), 64u) << "no endpoint for channel 0 yet";
    EXPECT_EQ(Transfer("Brimola1", 13, 0x100000000ull, 0, 64).Initial(), 64u) << "a page table outside host memory hangs";
    // A disabled channel ignores its trigger.
    CWexalDMAChannel* rd = b->GetDMAChannel(13);
    rd->Flush();
    r[(0x58000 + 4 * 13) / 4] = 0;
    rd->Trigger(1);
    EXPECT_EQ(Live(rd).Initial() + Live(rd).Tag(), 0u);
    // A video utility frame larger than the whole memory (about 16 GiB) hangs the pair.
    SetGo(r, 2);
    const Dcb huge = MakeDcb(0, 2, 1, 0, 0xFFFF, 0xFFFF, 0xFFFF);
    for (int c : {57, 38}) {
        b->GetDMAChannel(c)->SetDCBWords(1, huge.w);
        b->GetDMAChannel(c)->Trigger(1);
    }
    EXPECT_EQ(Live(b->GetDMAChannel(38)).Lines(), 0xFFFFu);
    EXPECT_EQ(Live(b->GetDMAChannel(57)).Lines(), 0xFFFFu);
}

TEST_F(RigTest, VideoUtilityMovesEachFrameToTheDcbWithTheSameTag) {
    CWexalBoardDevice* b = Board("Nuxa1");
    RegisterPtr r = Regs("Nuxa1");
    CWexalSDRAMSpace* s = b->GetSDRAMSpace();
    CWexalDMAChannel* in = b->GetDMAChannel(38);
    CWexalDMAChannel* out = b->GetDMAChannel(57);
    constexpr DWORD kFrame = 16 * 8 * 4;  // 8 lines of 16 DWORDs, the 16bit flag set
    std::vector<DWORD> frame(kFrame / 4);
    const DWORD sentinel = 0x5E5E5E5E;
    s->Set(&sentinel, 0x1000 + 3 * kFrame, 4);
    for (int k = 1; k <= 3; ++k) {
        std::fill(frame.begin(), frame.end(), 0x01010101u * static_cast<DWORD>(k));
        s->Set(frame.data(), 0x40000 + (k - 1) * kFrame, kFrame);
        const Dcb src = MakeDcb((k + 1) % 4, 2, k, 0x40000 + (k - 1) * kFrame, 7, 16, 16, 0, 0, true);
        const Dcb dst = MakeDcb((k + 1) % 4, 2, k, 0x1000 + (k - 1) * kFrame, 7, 16, 16, 0, 0, true);
        in->SetDCBWords(k, src.w);
        out->SetDCBWords(k, dst.w);
    }
    SetGo(r, 2);
    out->Trigger(1);
    in->Trigger(1);
    EXPECT_EQ(Live(out).Tag() * 10 + Live(in).Tag(), 33);
    EXPECT_TRUE(Live(out).Done());
    for (int k = 1; k <= 3; ++k) {
        s->Get(frame.data(), 0x1000 + (k - 1) * kFrame, kFrame);
        for (DWORD w : frame) ASSERT_EQ(w, 0x01010101u * static_cast<DWORD>(k)) << "frame " << k;
    }
    DWORD after = 0;
    s->Get(&after, 0x1000 + 3 * kFrame, 4);
    EXPECT_EQ(after, sentinel) << "the last frame ends where its geometry does";
}

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
    DWORD v = 0;
    s->Get(&v, 0x100000, 4);
    EXPECT_EQ(v, 0x11111111u);
    std::fill(data.begin(), data.end(), 0x22222222u);
    s->Set(data.data(), 0, 4096);
    // Stop: Next = 0 in both (the output first); the pass in progress completes.
    src.w[0] &= ~0x3Fu;
    dst.w[0] &= ~0x3Fu;
    out->SetDCBWords(1, dst.w);
    in->SetDCBWords(1, src.w);
    EXPECT_TRUE(Live(out).Done());
    EXPECT_EQ(Live(out).Tag(), 0x111);
    EXPECT_TRUE(Live(in).Done());
    s->Get(&v, 0x100000 + 4092, 4);
    EXPECT_EQ(v, 0x22222222u);
    s->Get(&v, 0x100000 + 4096, 4);
    EXPECT_EQ(v, 0u) << "1024 DWORDs with the 16bit flag clear";
}

TEST_F(RigTest, ModelledTimingCountsDownOnTheVirtualClock) {
    LoadJson(R"({"boards": [{"tag": "B1", "kind": "brimola"}], "dma": {"timing": "modelled", "bytes_per_second": 100000000}})");
    HostBuffer src(0x100000);  // 1 MB at 100 MB/s: 10 ms
    src.Words()[0x3FFFF] = 0x7E57DA7A;
    SetGo(Regs("B1"), 0);
    CWexalDMAChannel* wr = Board("B1")->GetDMAChannel(16);
    const Dcb d = MakeDcb(0, 0, 9, 0, 63, 4096, 4096, 0, src.Table());
    wr->SetDCBWords(1, d.w);
    wr->Trigger(1);
    EXPECT_EQ(Live(wr).Lines(), 63u) << "just started: still in the initial line";
    Sleep(5);
    const Dcb half = Live(wr);
    EXPECT_GT(half.Lines(), 20u);
    EXPECT_LT(half.Lines(), 40u) << "about half way";
    DWORD v = 0;
    Sdram("B1")->Get(&v, 0xFFFFC, 4);
    EXPECT_EQ(v, 0u) << "the data lands when the DCB completes";
    // A busy poll without sleeping reaches completion: every status read takes bus time.
    int polls = 0;
    while (!Live(wr).Done() && ++polls < 1000000) {
    }
    EXPECT_LT(polls, 1000000);
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
