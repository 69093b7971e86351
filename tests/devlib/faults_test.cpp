// Each memory and DMA fault of a rig file changes what the hardware does where it should, and nowhere else.
#include <numeric>

#include "rig_fixture.h"

namespace {

using devtest::Dcb;
using devtest::HostBuffer;
using devtest::MakeDcb;
using devtest::RigTest;

TEST_F(RigTest, SdramStuckBitShowsOnlyInItsRangeWhicheverPathWrites) {
    LoadJson(R"({"boards": [{"tag": "B1", "kind": "brimola"}, {"tag": "B2", "kind": "brimola"}],
                 "faults": [{"kind": "sdram_stuck_bit", "board": "B1", "bit": 3, "value": 1, "from": "0x2000", "to": "0x3000"}]})");
    for (const char* tag : {"B1", "B2"}) {
        HostBuffer src(0x4000);
        Transfer(tag, 16, src.Table(), 0, 0x1000);  // zeros over 0-0x4000
        std::vector<DWORD> back(0x1000);
        Sdram(tag)->Get(back.data(), 0, 0x4000);
        for (DWORD i = 0; i < 0x1000; ++i) {
            const bool inRange = tag[1] == '1' && 4 * i >= 0x2000 && 4 * i < 0x3000;
            ASSERT_EQ(back[i], inRange ? 8u : 0u) << tag << " word " << i;
        }
    }
}

TEST_F(RigTest, SdramAddressAliasMakesLinesShareCells) {
    LoadJson(R"({"boards": [{"tag": "B1", "kind": "nuxa", "sdram_mib": 64}],
                 "faults": [{"kind": "sdram_address_alias", "board": "B1", "line": 20, "shorted_to": 6}]})");
    CWexalSDRAMSpace* s = Sdram("B1");
    // The line test's view: a pattern written at line address 64 also appears at 64 + 1 MiB.
    std::vector<DWORD> line(16, 0x40404040), other(16);
    s->Set(line.data(), 64, 64);
    s->Get(other.data(), 64 + (1 << 20), 64);
    EXPECT_EQ(other, line);
    // Addresses where both lines agree keep their own cells.
    const DWORD a = 0x11111111;
    s->Set(&a, 0x100, 4);
    DWORD v = 1;
    s->Get(&v, 0x200000, 4);
    EXPECT_EQ(v, 0u);
}

TEST_F(RigTest, SdramBitFlipsAreSoftReproducibleAndConfinedToTheirBoard) {
    const char* json = R"({"boards": [{"tag": "B1", "kind": "brimola"}, {"tag": "B2", "kind": "brimola"}],
                 "faults": [{"kind": "sdram_bit_flips", "board": "B1", "rate": 0.001, "seed": 1234}]})";
    auto readBack = [&](const char* tag) {
        std::vector<DWORD> v(0x10000);
        Sdram(tag)->Get(v.data(), 0, 0x40000);
        return v;
    };
    LoadJson(json);
    const auto first = readBack("B1");
    const auto clean = readBack("B2");
    LoadJson(json);
    EXPECT_EQ(readBack("B1"), first) << "same seed, same flips";
    EXPECT_EQ(std::count(clean.begin(), clean.end(), 0u), 0x10000);
    const auto flipped = std::count_if(first.begin(), first.end(), [](DWORD w) { return w != 0; });
    EXPECT_GT(flipped, 20);
    EXPECT_LT(flipped, 150);
}

TEST_F(RigTest, DmaStallHangsOnlyItsChannel) {
    LoadJson(R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "dma_stall", "board": "B1", "channel": 16}]})");
    HostBuffer src(0x1000);
    src.Words()[0] = 0x12345678;
    Transfer("B1", 16, src.Table(), 0x800, 16);
    for (int i = 0; i < 20; ++i) ASSERT_FALSE(Live(Board("B1")->GetDMAChannel(16)).Done());
    DWORD v = 0;
    Sdram("B1")->Get(&v, 0x800, 4);
    EXPECT_EQ(v, 0u);
    EXPECT_TRUE(Transfer("B1", 17, src.Table(), 0x800, 16).Done());
    Sdram("B1")->Get(&v, 0x800, 4);
    EXPECT_EQ(v, 0x12345678u);
}

TEST_F(RigTest, DmaCorruptionFlipsTheChosenWordsInFlightOnly) {
    LoadJson(R"({"boards": [{"tag": "B1", "kind": "brimola"}],
                 "faults": [{"kind": "dma_corrupt", "board": "B1", "channel": 12, "mask": "0x100", "first": 3, "count": 2}]})");
    std::vector<DWORD> data(64);
    std::iota(data.begin(), data.end(), 0u);
    Sdram("B1")->Set(data.data(), 0x4000, 256);
    HostBuffer a(0x1000), c(0x1000);
    ASSERT_TRUE(Transfer("B1", 12, a.Table(), 0x4000, 64).Done());
    ASSERT_TRUE(Transfer("B1", 13, c.Table(), 0x4000, 64).Done());
    for (DWORD i = 0; i < 64; ++i) {
        EXPECT_EQ(a.Words()[i], (i == 3 || i == 4) ? i ^ 0x100 : i) << "channel 12 word " << i;
        EXPECT_EQ(c.Words()[i], i) << "channel 13 word " << i;
    }
    DWORD v = 0;
    Sdram("B1")->Get(&v, 0x4000 + 12, 4);
    EXPECT_EQ(v, 3u) << "the memory itself is intact";
}

TEST_F(RigTest, DmaWrongTagShowsAtCompletionAfterTheDataMoved) {
    LoadJson(R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "dma_wrong_tag", "board": "B1", "channel": 16}]})");
    HostBuffer src(0x1000);
    src.Words()[1] = 0xABCDEF01;
    const Dcb live = Transfer("B1", 16, src.Table(), 0, 16, 0xA5A);
    EXPECT_TRUE(live.Done());
    EXPECT_EQ(live.Tag(), 0xA5B);
    DWORD v = 0;
    Sdram("B1")->Get(&v, 4, 4);
    EXPECT_EQ(v, 0xABCDEF01u);
    EXPECT_EQ(Transfer("B1", 17, src.Table(), 0, 16, 0xA5A).Tag(), 0xA5A);
}

TEST_F(RigTest, RegisterStuckBitActsInTheRegisterAndOnTheEngine) {
    LoadJson(R"({"boards": [{"tag": "B1", "kind": "brimola"}],
                 "faults": [{"kind": "register_stuck_bit", "board": "B1", "offset": "0x70020", "bit": 29, "value": 0},
                            {"kind": "register_stuck_bit", "board": "B1", "offset": "0x62028", "bit": 20, "value": 1}]})");
    CWexalBoardDevice* b = Board("B1");
    RegisterPtr r = Regs("B1");
    // BCU 2's Go never sets: the pattern test sees it, and the video utility loop stalls on it.
    r[0x70020 / 4] = 0xFFFFFFFF;
    r[0x70030 / 4] = 0xFFFFFFFF;
    EXPECT_EQ(r[0x70020 / 4], 0xDFFFFFFFu);
    EXPECT_EQ(r[0x70030 / 4], 0xFFFFFFFFu) << "BCU 3 is sound";
    const Dcb src = MakeDcb(0, 2, 1, 0, 0, 16, 0), dst = MakeDcb(0, 2, 1, 0x1000, 0, 16, 0);
    b->GetDMAChannel(38)->SetDCBWords(1, src.w);
    b->GetDMAChannel(57)->SetDCBWords(1, dst.w);
    b->GetDMAChannel(57)->Trigger(1);
    b->GetDMAChannel(38)->Trigger(1);
    EXPECT_FALSE(Live(b->GetDMAChannel(57)).Done());
    // DCB 1 of channel 16, word 2 (start address) has bit 20 stuck at 1: the data lands 1 MiB higher.
    HostBuffer buf(0x1000);
    buf.Words()[0] = 0x5EED5EED;
    EXPECT_EQ(Transfer("B1", 16, buf.Table(), 0x100, 4).w[2], 0x100100u);
    DWORD v = 0;
    Sdram("B1")->Get(&v, 0x100100, 4);
    EXPECT_EQ(v, 0x5EED5EEDu);
    Sdram("B1")->Get(&v, 0x100, 4);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(Transfer("B1", 17, buf.Table(), 0x100, 4).w[2], 0x100u) << "the same DCB of another channel is sound";
}

}  // namespace
