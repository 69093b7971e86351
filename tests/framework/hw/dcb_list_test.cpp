// Tests of DCB chains: building, shared storage, walking, and loading a chain into a board's channel.
#include "framework/hw/dcb_list.h"

#include <gtest/gtest.h>

#include <vector>

#include "devlib/devices.h"
#include "devlib/dma_channel.h"
#include "devlib/rig.h"
#include "framework/board_if.h"

namespace {

// A template of 0x10000 DWORDs per frame at 1 MiB.
WexalDCB FrameTemplate() {
    WexalDCB t;
    t.SetStartAddress(0x100000);
    t.SetLines(0xFF);
    t.SetLineLength(0x100);
    t.SetInitialLineLength(0x100);
    t.SetPad(0x40);  // not part of the frame size
    t.GetOpField().SetBCUPointer(2);
    t.GetOpField().Set16bit(1);
    t.GetPortField().SetContextID(5);
    t.GetPCIAddressField().Set(0xDEAD0000, 0x1);
    return t;
}

std::vector<WexalDCB> Walk(const DCBList& list) {
    std::vector<WexalDCB> out;
    for (DCBList it = list; it != DCBList::End(list); ++it) out.push_back(*it);
    return out;
}

TEST(DCBListTest, BuildChainsCopiesOfTheTemplate) {
    const WexalDCB t = FrameTemplate();
    const DCBList list = t.MakeDCBList(1, 4);
    ASSERT_TRUE(list.IsBuilt());
    EXPECT_EQ(list.GetCount(), 4u);
    const std::vector<WexalDCB> dcbs = Walk(list);
    ASSERT_EQ(dcbs.size(), 4u);
    const DWORD next[4] = {2, 3, 4, 0};
    const DWORD start[4] = {0x100000, 0x140000, 0x180000, 0x1C0000};
    for (int k = 0; k < 4; ++k) {
        const WexalDCB& d = dcbs[k];
        EXPECT_EQ(d.GetPortField().GetTag(), static_cast<DWORD>(k + 1));
        EXPECT_EQ(d.GetOpField().GetNext(), next[k]);
        EXPECT_EQ(d.GetStartAddress(), start[k]);
        // Everything else is the template's.
        EXPECT_EQ(d.GetWords()[0] & ~0x3Fu, t.GetWords()[0] & ~0x3Fu);
        EXPECT_EQ(d.GetWords()[1] & ~(0xFFFu << 16), t.GetWords()[1] & ~(0xFFFu << 16));
        for (int w = 3; w < 8; ++w) EXPECT_EQ(d.GetWords()[w], t.GetWords()[w]);
    }
}

TEST(DCBListTest, RangesAreOrderedAndHeldWithinOneToFifteen) {
    const WexalDCB t = FrameTemplate();
    struct Case {
        DWORD a, b, first, last;
    };
    for (const Case& c : {Case{5, 2, 2, 5}, Case{0, 20, 1, 15}, Case{3, 3, 3, 3}, Case{0, 0, 1, 1}, Case{20, 30, 15, 15},
                          Case{0xFFFFFFFF, 0, 1, 15}}) {
        const DCBList list(t, c.a, c.b);
        ASSERT_TRUE(list.IsBuilt());
        EXPECT_EQ(list.GetFirst(), c.first) << c.a << "," << c.b;
        EXPECT_EQ(list.GetLast(), c.last) << c.a << "," << c.b;
        EXPECT_EQ(list.GetCount(), c.last - c.first + 1);
        const std::vector<WexalDCB> dcbs = Walk(list);
        ASSERT_EQ(dcbs.size(), list.GetCount());
        EXPECT_EQ(dcbs.front().GetPortField().GetTag(), c.first);
        EXPECT_EQ(dcbs.back().GetPortField().GetTag(), c.last);
        EXPECT_EQ(dcbs.back().GetOpField().GetNext(), 0u);
    }
    // MakeDCBList holds last at 15 as well.
    EXPECT_EQ(t.MakeDCBList(14, 99).GetLast(), 15u);
}

TEST(DCBListTest, CursorStopsAtTheEndAndCopiesShareTheArray) {
    DCBList list(FrameTemplate(), 3, 5);
    DCBList it = list;
    EXPECT_TRUE(it == list);
    EXPECT_EQ((*it++).GetPortField().GetTag(), 3u);
    EXPECT_EQ((*it).GetPortField().GetTag(), 4u);
    EXPECT_TRUE(it != list);
    ++it;
    ++it;
    EXPECT_TRUE(it == DCBList::End(list));
    ++it;
    EXPECT_EQ(it.GetCursor(), 3u);
    EXPECT_EQ((*it).GetPortField().GetTag(), 5u);  // at the end: the last DCB

    // Copies destroyed before and after the list leave it usable; the array goes with the last holder.
    {
        DCBList copy(list);
        DCBList other(FrameTemplate(), 1, 1);
        other.CopyFrom(list);
        EXPECT_TRUE(other == list);
    }
    EXPECT_EQ((*list).GetPortField().GetTag(), 3u);
    DCBList survivor = list;
    list = DCBList(FrameTemplate(), 7, 8);
    EXPECT_EQ(Walk(survivor).size(), 3u);
    EXPECT_EQ(Walk(list).size(), 2u);

    // Lists are compared by range, cursor and count.
    EXPECT_FALSE(DCBList(FrameTemplate(), 1, 3) == DCBList(FrameTemplate(), 2, 4));
    EXPECT_TRUE(DCBList(FrameTemplate(), 1, 3) == DCBList(FrameTemplate(), 3, 1));
}

TEST(DCBListTest, ChainLoadsIntoABoardChannel) {
    devlib::LoadDefaultRig();
    CWexalBoardIF board;
    ASSERT_EQ(board.SelectDevice("Brimola1", FALSE), 1u);
    ASSERT_EQ(board.GetBAR0(FALSE), 1u);
    auto* device = dynamic_cast<CWexalBoardDevice*>(board.GetDevice());
    ASSERT_NE(device, nullptr);
    CWexalDMAChannel* channel = device->GetDMAChannel(12);
    ASSERT_NE(channel, nullptr);
    channel->Flush();

    const DCBList list = FrameTemplate().MakeDCBList(2, 6);
    for (DCBList it = list; it != DCBList::End(list); ++it) {
        const WexalDCB dcb = *it;
        ASSERT_TRUE(channel->SetDCB(static_cast<int>(dcb.GetPortField().GetTag()), &dcb));
    }
    // Read back through the channel and straight from the DCB window of BAR0.
    const std::vector<WexalDCB> written = Walk(list);
    for (const WexalDCB& expected : written) {
        const int n = static_cast<int>(expected.GetPortField().GetTag());
        WexalDCB viaChannel;
        ASSERT_TRUE(channel->GetDCB(n, &viaChannel));
        WexalDCB viaWindow;
        viaWindow = board.GetRegisters() + (0x60000 + 0x200 * 12 + 0x20 * n) / 4;
        for (int w = 0; w < 8; ++w) {
            EXPECT_EQ(viaChannel.GetWords()[w], expected.GetWords()[w]) << "DCB " << n << " word " << w;
            EXPECT_EQ(viaWindow.GetWords()[w], expected.GetWords()[w]) << "DCB " << n << " word " << w;
        }
    }
    channel->Flush();
}

}  // namespace
