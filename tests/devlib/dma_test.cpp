// DMA channels: DCB slots, chains and live context, page-table transfers, BCU gating, flush, the video utility loop, timing.
#include <numeric>

#include "platform/clock.h"
#include "rig_fixture.h"

namespace {

using devtest::Dcb;
using devtest::HostBuffer;
using devtest::MakeDcb;
using devtest::RigTest;

DWORD DcbWord(RegisterPtr r, int channel, int dcb, int word) { return r[(0x60000 + 0x200 * channel + 0x20 * dcb + 4 * word) / 4]; }

TEST_F(RigTest, DcbSlotsAreTheRegisterWindowsStorage) {
    CWexalDMAChannel* ch = Board("Brimola1")->GetDMAChannel(16);
    RegisterPtr r = Regs("Brimola1");
    WexalDCB dcb;
    for (int i = 0; i < 8; ++i) dcb.w[i] = 0x11111111u * static_cast<DWORD>(i + 1);
    dcb.w[8] = 0xDEADBEEF;  // beyond the hardware image: never read
    ASSERT_TRUE(ch->SetDCB(3, &dcb));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(DcbWord(r, 16, 3, i), dcb.w[i]) << "word " << i;
    r[(0x60000 + 0x200 * 16 + 0x20 * 5 + 8) / 4] = 0xCAFE0000;
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
    EXPECT_EQ(DcbWord(r, 16, 3, 7), dcb.w[7]);
}

TEST_F(RigTest, RevisionProfileSetsTheImplementedBits) {
    RegisterPtr r = Regs("Brimola1");
    r[(0x70000 + 16 * 7 + 4) / 4] = 0xFFFFFFFF;
    r[(0x70000 + 16 * 7) / 4] = 0xFFFFFFFF;
    EXPECT_EQ(r[(0x70000 + 16 * 7 + 4) / 4], 0u) << "BCU register 1 reads 0 from revision 0xC70";
    EXPECT_EQ(r[(0x70000 + 16 * 7) / 4], 0xFFFFFFFFu);

    LoadJson(R"({"boards": [{"tag": "Old1", "kind": "brimola", "revision": "0xC50"}]})");
    r = Regs("Old1");
    const DWORD bcuMasks[4] = {0xFFFF0FFF, 0x003F0FFF, 0x0FFF0FFF, 0x003F0FFF};
    for (int reg = 0; reg < 4; ++reg) {
        r[(0x70000 + 16 * 9 + 4 * reg) / 4] = 0xFFFFFFFF;
        EXPECT_EQ(r[(0x70000 + 16 * 9 + 4 * reg) / 4], bcuMasks[reg]) << "register " << reg;
    }
    const DWORD dcbMasks[8] = {0xFFFF7FFF, 0x0FFF03FF, 0x3FFFFFFC, 0x3FFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    DWORD ones[8];
    std::fill(ones, ones + 8, 0xFFFFFFFFu);
    CWexalDMAChannel* pci = Board("Old1")->GetDMAChannel(12);
    pci->SetDCBWords(4, ones);
    DWORD got[8];
    pci->GetDCBWords(4, got);
    for (int w = 0; w < 8; ++w) EXPECT_EQ(got[w], dcbMasks[w]) << "word " << w;
}

TEST_F(RigTest, HostToSdramChainAndBackThroughPageTables) {
    CWexalBoardDevice* b = Board("Brimola1");
    RegisterPtr r = Regs("Brimola1");
    constexpr DWORD kPage = 0x20000, kPages = 3;
    HostBuffer src(kPage * kPages), dst(kPage * kPages);
    std::iota(src.Words(), src.Words() + kPage * kPages / 4, 0x40000000u);
    SetGo(r, 0);
    CWexalDMAChannel* wr = b->GetDMAChannel(16);
    wr->Flush();
    // One DCB per page: 4096 + 7 x 4096 DWORDs; the chain runs 1 -> 2 -> 3 with tags 1-3.
    for (int k = 1; k <= 3; ++k) {
        Dcb d = MakeDcb(k == 3 ? 0 : k + 1, 0, k, 0x100000 + (k - 1) * kPage, 7, 4096, 4096, 0,
                        static_cast<ULONGLONG>(src.tableBus.QuadPart) + 16 * (k - 1));
        ASSERT_TRUE(wr->SetDCBWords(k, d.w));
    }
    wr->Trigger(1);
    const Dcb live = Live(wr);
    EXPECT_EQ(devtest::Lines(live), 0u);
    EXPECT_EQ(devtest::Initial(live), 0u);
    EXPECT_EQ(devtest::Tag(live), 3) << "the last DCB's tag";
    EXPECT_EQ(live.w[2], 0x100000u + 2 * kPage) << "the rest of the live context is the last DCB's";
    std::vector<DWORD> sdram(kPage * kPages / 4);
    ASSERT_EQ(b->GetSDRAMSpace()->Get(sdram.data(), 0x100000, static_cast<int>(kPage * kPages)), static_cast<int>(kPage * kPages));
    EXPECT_TRUE(std::equal(sdram.begin(), sdram.end(), src.Words()));

    CWexalDMAChannel* rd = b->GetDMAChannel(12);
    rd->Flush();
    Dcb d = MakeDcb(0, 0, 0xA5A, 0x100000, 23, 4096, 4096, 0, static_cast<ULONGLONG>(dst.tableBus.QuadPart));
    rd->SetDCBWords(1, d.w);
    rd->Trigger(1);
    const Dcb back = Live(rd);
    EXPECT_EQ(devtest::Tag(back), 0xA5A);
    EXPECT_EQ(devtest::Lines(back) | devtest::Initial(back), 0u);
    EXPECT_EQ(std::memcmp(dst.data, src.data, kPage * kPages), 0) << "one DCB over a three-entry table";
}

TEST_F(RigTest, LinesAndPadCountDwordsWhateverTheSixteenBitFlag) {
    CWexalBoardDevice* b = Board("Nuxa1");
    RegisterPtr r = Regs("Nuxa1");
    SetGo(r, 1);
    HostBuffer src(0x1000);
    std::iota(src.Words(), src.Words() + 32, 1u);
    CWexalDMAChannel* wr = b->GetDMAChannel(17);
    std::vector<DWORD> fill(64, 0xEEEEEEEE);
    // 4 + 2 x 4 DWORDs with 2 DWORDs of pad after each line: the same SDRAM picture with either flag.
    const DWORD want[19] = {1, 2, 3, 4, 0xEEEEEEEE, 0xEEEEEEEE, 5, 6, 7, 8, 0xEEEEEEEE, 0xEEEEEEEE,
                            9, 10, 11, 12, 0xEEEEEEEE, 0xEEEEEEEE, 0xEEEEEEEE};
    for (bool is16 : {false, true}) {
        b->GetSDRAMSpace()->Set(fill.data(), 0x1000, 256);
        Dcb d = MakeDcb(0, 1, 1, 0x1000, 2, 4, 4, 2, static_cast<ULONGLONG>(src.tableBus.QuadPart), is16);
        wr->SetDCBWords(1, d.w);
        wr->Trigger(1);
        ASSERT_EQ(devtest::Lines(Live(wr)) | devtest::Initial(Live(wr)), 0u) << "16bit " << is16;
        DWORD got[19];
        b->GetSDRAMSpace()->Get(got, 0x1000, sizeof got);
        for (int i = 0; i < 19; ++i) EXPECT_EQ(got[i], want[i]) << "16bit " << is16 << " word " << i;
    }

    // Without pad, 8 + 1 x 8 units are 16 DWORDs with either flag, and not one word more.
    for (bool is16 : {false, true}) {
        b->GetSDRAMSpace()->Set(fill.data(), 0x2000, 256);
        Dcb d = MakeDcb(0, 1, 2, 0x2000, 1, 8, 8, 0, static_cast<ULONGLONG>(src.tableBus.QuadPart), is16);
        wr->SetDCBWords(1, d.w);
        wr->Trigger(1);
        ASSERT_EQ(devtest::Tag(Live(wr)), 2);
        DWORD got[17];
        b->GetSDRAMSpace()->Get(got, 0x2000, sizeof got);
        for (DWORD i = 0; i < 16; ++i) EXPECT_EQ(got[i], i + 1) << "16bit " << is16 << " word " << i;
        EXPECT_EQ(got[16], 0xEEEEEEEEu) << "16bit " << is16;
    }
}

TEST_F(RigTest, BcuWithoutGoStallsUntilGoAndFlushClearsTheContext) {
    CWexalBoardDevice* b = Board("Brimola1");
    RegisterPtr r = Regs("Brimola1");
    HostBuffer src(0x1000);
    src.Words()[0] = 0x600DF00D;
    SetGo(r, 5, false);
    CWexalDMAChannel* wr = b->GetDMAChannel(16);
    Dcb d = MakeDcb(0, 5, 7, 0x3000, 0, 16, 0, 0, static_cast<ULONGLONG>(src.tableBus.QuadPart));
    wr->SetDCBWords(1, d.w);
    wr->Trigger(1);
    for (int poll = 0; poll < 100; ++poll) ASSERT_EQ(devtest::Initial(Live(wr)), 16u) << "stalled on BCU 5";
    EXPECT_EQ(devtest::Tag(Live(wr)), 7) << "the DCB in progress";
    DWORD v = 0;
    b->GetSDRAMSpace()->Get(&v, 0x3000, 4);
    EXPECT_EQ(v, 0u);
    SetGo(r, 5);
    EXPECT_EQ(devtest::Initial(Live(wr)), 0u);
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
    SetGo(r, 0);
    Dcb d = MakeDcb(0, 0, 1, 0, 0, 64, 0);
    CWexalDMAChannel* video = b->GetDMAChannel(0);
    video->SetDCBWords(1, d.w);
    video->Trigger(1);
    EXPECT_EQ(devtest::Initial(Live(video)), 64u) << "no endpoint for channel 0 yet";
    // A disabled channel ignores its trigger.
    CWexalDMAChannel* rd = b->GetDMAChannel(13);
    rd->Flush();
    r[(0x58000 + 4 * 13) / 4] = 0;
    rd->SetDCBWords(1, d.w);
    rd->Trigger(1);
    EXPECT_EQ(devtest::Initial(Live(rd)), 0u);
    EXPECT_EQ(devtest::Tag(Live(rd)), 0);
    // A page table outside host memory: the transfer hangs, it does not report done.
    r[(0x58000 + 4 * 13) / 4] = 1;
    d = MakeDcb(0, 0, 1, 0, 0, 64, 0, 0, 0x0000000100000000ull);
    rd->SetDCBWords(1, d.w);
    rd->Trigger(1);
    EXPECT_EQ(devtest::Initial(Live(rd)), 64u);
    // A video utility frame larger than the whole memory (about 16 GiB) hangs the pair.
    SetGo(r, 2);
    const Dcb huge = MakeDcb(0, 2, 1, 0, 0xFFFF, 0xFFFF, 0xFFFF);
    CWexalDMAChannel* in = b->GetDMAChannel(38);
    CWexalDMAChannel* out = b->GetDMAChannel(57);
    out->SetDCBWords(1, huge.w);
    in->SetDCBWords(1, huge.w);
    out->Trigger(1);
    in->Trigger(1);
    EXPECT_EQ(devtest::Lines(Live(in)), 0xFFFFu);
    EXPECT_EQ(devtest::Lines(Live(out)), 0xFFFFu);
}

TEST_F(RigTest, VideoUtilityMovesEachFrameToTheDcbWithTheSameTag) {
    CWexalBoardDevice* b = Board("Nuxa1");
    RegisterPtr r = Regs("Nuxa1");
    CWexalSDRAMSpace* s = b->GetSDRAMSpace();
    CWexalDMAChannel* in = b->GetDMAChannel(38);
    CWexalDMAChannel* out = b->GetDMAChannel(57);
    in->Flush();
    out->Flush();
    constexpr DWORD kFrame = 16 * 8 * 4;  // 8 lines of 16 DWORDs, the 16bit flag set
    std::vector<DWORD> frame(kFrame / 4);
    const DWORD sentinel = 0x5E5E5E5E;
    s->Set(&sentinel, 0x1000 + 3 * kFrame, 4);
    for (int k = 1; k <= 3; ++k) {
        std::fill(frame.begin(), frame.end(), 0x01010101u * static_cast<DWORD>(k));
        s->Set(frame.data(), 0x40000 + (k - 1) * kFrame, kFrame);
        Dcb src = MakeDcb((k + 1) % 4, 2, k, 0x40000 + (k - 1) * kFrame, 7, 16, 16, 0, 0, true);
        Dcb dst = MakeDcb((k + 1) % 4, 2, k, 0x1000 + (k - 1) * kFrame, 7, 16, 16, 0, 0, true);
        in->SetDCBWords(k, src.w);
        out->SetDCBWords(k, dst.w);
    }
    r[(0x70000 + 16 * 2) / 4] = 0;
    SetGo(r, 2);
    out->Trigger(1);
    in->Trigger(1);
    const Dcb liveOut = Live(out), liveIn = Live(in);
    EXPECT_EQ(devtest::Tag(liveOut), 3);
    EXPECT_EQ(devtest::Tag(liveIn), 3);
    EXPECT_EQ(devtest::Lines(liveOut) | devtest::Initial(liveOut), 0u);
    for (int k = 1; k <= 3; ++k) {
        s->Get(frame.data(), 0x1000 + (k - 1) * kFrame, kFrame);
        for (DWORD w : frame) ASSERT_EQ(w, 0x01010101u * static_cast<DWORD>(k)) << "frame " << k;
    }
    DWORD after = 0;
    s->Get(&after, 0x1000 + 3 * kFrame, 4);
    EXPECT_EQ(after, sentinel) << "the last frame ends where its geometry does";
    // The channel control end strobe (0x80 then 1) leaves the channels usable.
    for (int c : {57, 38}) {
        r[(0x58000 + 4 * c) / 4] = 0x80;
        r[(0x58000 + 4 * c) / 4] = 1;
    }
    EXPECT_EQ(r[(0x58000 + 4 * 57) / 4] & 1, 1u);
}

TEST_F(RigTest, LoopedVideoUtilityRunsUntilNextIsClearedThenFinishesThePass) {
    CWexalBoardDevice* b = Board("Brimola1");
    RegisterPtr r = Regs("Brimola1");
    CWexalSDRAMSpace* s = b->GetSDRAMSpace();
    CWexalDMAChannel* in = b->GetDMAChannel(38);
    CWexalDMAChannel* out = b->GetDMAChannel(57);
    std::vector<DWORD> data(1024, 0x11111111);
    s->Set(data.data(), 0, 4096);
    const DWORD beyond = 0x33333333;  // just past the pass: never copied
    s->Set(&beyond, 4096, 4);
    // 8192 bytes would be L 1024, Y 2; 4096 bytes: one line of 1024 DWORDs.
    Dcb src = MakeDcb(1, 2, 0x111, 0, 0, 1024, 1024), dst = MakeDcb(1, 2, 0x111, 0x100000, 0, 1024, 1024);
    SetGo(r, 2);
    in->SetDCBWords(1, src.w);
    out->SetDCBWords(1, dst.w);
    out->Trigger(1);
    in->Trigger(1);
    for (int poll = 0; poll < 50; ++poll) ASSERT_NE(devtest::Initial(Live(out)), 0u) << "a looping pass is never done";
    DWORD v = 0;
    s->Get(&v, 0x100000, 4);
    EXPECT_EQ(v, 0x11111111u);
    std::fill(data.begin(), data.end(), 0x22222222u);
    s->Set(data.data(), 0, 4096);
    // Stop: Next = 0 in both (the output first); the pass in progress completes.
    in->GetDCBWords(1, src.w);
    out->GetDCBWords(1, dst.w);
    src.w[0] &= ~0x3Fu;
    dst.w[0] &= ~0x3Fu;
    out->SetDCBWords(1, dst.w);
    in->SetDCBWords(1, src.w);
    const Dcb live = Live(out);
    EXPECT_EQ(devtest::Lines(live) | devtest::Initial(live), 0u);
    EXPECT_EQ(devtest::Tag(live), 0x111);
    EXPECT_EQ(devtest::Initial(Live(in)), 0u);
    s->Get(&v, 0x100000 + 4092, 4);
    EXPECT_EQ(v, 0x22222222u);
    s->Get(&v, 0x100000 + 4096, 4);
    EXPECT_EQ(v, 0u) << "1024 DWORDs with the 16bit flag clear";
}

TEST_F(RigTest, ModelledTimingCountsDownOnTheVirtualClock) {
    LoadJson(R"({"boards": [{"tag": "B1", "kind": "brimola"}], "dma": {"timing": "modelled", "bytes_per_second": 100000000}})");
    CWexalBoardDevice* b = Board("B1");
    RegisterPtr r = Regs("B1");
    SetGo(r, 0);
    HostBuffer src(0x100000);  // 1 MB at 100 MB/s: 10 ms
    src.Words()[0x3FFFF] = 0x7E57DA7A;
    CWexalDMAChannel* wr = b->GetDMAChannel(16);
    Dcb d = MakeDcb(0, 0, 9, 0, 63, 4096, 4096, 0, static_cast<ULONGLONG>(src.tableBus.QuadPart));
    wr->SetDCBWords(1, d.w);
    wr->Trigger(1);
    Dcb live = Live(wr);
    EXPECT_EQ(devtest::Tag(live), 9);
    EXPECT_EQ(devtest::Lines(live), 63u) << "just started: still in the initial line";
    Sleep(5);
    live = Live(wr);
    EXPECT_GT(devtest::Lines(live), 20u);
    EXPECT_LT(devtest::Lines(live), 40u) << "about half way";
    EXPECT_GE(devtest::Initial(live), 1u);
    EXPECT_LE(devtest::Initial(live), 4096u);
    DWORD v = 0;
    b->GetSDRAMSpace()->Get(&v, 0xFFFFC, 4);
    EXPECT_EQ(v, 0u) << "the data lands when the DCB completes";
    // A busy poll without sleeping reaches completion: every status read takes bus time.
    int polls = 0;
    do {
        live = Live(wr);
    } while ((devtest::Lines(live) | devtest::Initial(live)) && ++polls < 1000000);
    EXPECT_LT(polls, 1000000);
    b->GetSDRAMSpace()->Get(&v, 0xFFFFC, 4);
    EXPECT_EQ(v, 0x7E57DA7Au);
}

TEST_F(RigTest, HostMemoryResultsAndBusAddresses) {
    void* p = nullptr;
    LARGE_INTEGER bus{};
    Drv_Return rc = g_WexalHW->Malloc(0, &p, &bus);
    EXPECT_NE(rc.status, DRV_SUCCESS);
    rc = g_WexalHW->Malloc(0x1000, &p, &bus);
    ASSERT_EQ(rc.status, DRV_SUCCESS);
    EXPECT_NE(p, nullptr);
    EXPECT_NE(bus.QuadPart, 0);
    EXPECT_EQ(g_WexalHW->Free(p).status, DRV_SUCCESS);
    EXPECT_EQ(g_WexalHW->Free(p).status, DRV_NOT_OURS);
    rc = g_WexalHW->Malloc(0x7FFFFFFF, &p, &bus);
    EXPECT_EQ(rc.status, DRV_NO_MEMORY);
    EXPECT_EQ(rc.detail, 0x7FFFFFFFu);
}

}  // namespace
