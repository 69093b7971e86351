// Tests of DCB chains: building, shared storage, walking, and loading a chain into a board's channel.
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

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
    const std::vector<WexalDCB> dcbs = Walk(t.MakeDCBList(1, 4));
    ASSERT_EQ(dcbs.size(), 4u);
    const DWORD next[4] = {2, 3, 4, 0};
    const DWORD start[4] = {0x100000, 0x140000, 0x180000, 0x1C0000};
    for (int k = 0; k < 4; ++k) {
        WexalDCB expected = t;
        expected.GetPortField().SetTag(static_cast<WORD>(k + 1));
        expected.GetOpField().SetNext(static_cast<BYTE>(next[k]));
        expected.SetStartAddress(start[k]);
        EXPECT_EQ(std::vector<DWORD>(dcbs[k].GetWords(), dcbs[k].GetWords() + 8),
                  std::vector<DWORD>(expected.GetWords(), expected.GetWords() + 8)) << "DCB " << k + 1;
    }
}

TEST(DCBListTest, RangesAreOrderedAndHeldWithinOneToFifteen) {
    struct Case {
        DWORD a, b, first, last;
    };
    for (const Case& c : {Case{5, 2, 2, 5}, Case{0, 20, 1, 15}, Case{3, 3, 3, 3}, Case{0, 0, 1, 1}, Case{20, 30, 15, 15},
                          Case{0xFFFFFFFF, 0, 1, 15}}) {
        SCOPED_TRACE(testing::Message() << c.a << "," << c.b);
        const DCBList list(FrameTemplate(), c.a, c.b);
        EXPECT_EQ(list.GetFirst(), c.first);
        EXPECT_EQ(list.GetCount(), c.last - c.first + 1);
        const std::vector<WexalDCB> dcbs = Walk(list);
        ASSERT_EQ(dcbs.size(), list.GetCount());
        EXPECT_EQ(dcbs.front().GetPortField().GetTag(), c.first);
        EXPECT_EQ(dcbs.back().GetPortField().GetTag(), c.last);
        EXPECT_EQ(dcbs.back().GetOpField().GetNext(), 0u);
    }
    EXPECT_EQ(FrameTemplate().MakeDCBList(14, 99).GetLast(), 15u);
}

TEST(DCBListTest, CursorStopsAtTheEndAndCopiesShareTheArray) {
    DCBList list(FrameTemplate(), 3, 5);
    DCBList it = list;
    EXPECT_EQ((*it++).GetPortField().GetTag(), 3u);
    EXPECT_EQ((*it).GetPortField().GetTag(), 4u);
    EXPECT_TRUE(it != list);
    ++it;
    ++it;
    EXPECT_TRUE(it == DCBList::End(list));
    ++it;
    EXPECT_EQ(it.GetCursor(), 3u);
    EXPECT_EQ((*it).GetPortField().GetTag(), 5u) << "at the end: the last DCB";
    // Copies destroyed before and after the list leave it usable; the array goes with the last holder.
    {
        DCBList other(FrameTemplate(), 1, 1);
        other.CopyFrom(list);
        EXPECT_TRUE(other == list);
    }
    DCBList survivor = list;
    list = DCBList(FrameTemplate(), 7, 8);
    EXPECT_EQ(Walk(survivor).size(), 3u);
    EXPECT_EQ((*survivor).GetPortField().GetTag(), 3u);
    EXPECT_FALSE(DCBList(FrameTemplate(), 1, 3) == DCBList(FrameTemplate(), 2, 4));
    EXPECT_TRUE(DCBList(FrameTemplate(), 1, 3) == DCBList(FrameTemplate(), 3, 1));
}

TEST(DCBListTest, ChainLoadsIntoABoardChannel) {
    devlib::LoadDefaultRig();
    CWexalBoardIF board;
    ASSERT_EQ(board.SelectDevice("Brimola1", FALSE), 1u);
    ASSERT_EQ(board.GetBAR0(FALSE), 1u);
    CWexalDMAChannel* channel = dynamic_cast<CWexalBoardDevice*>(board.GetDevice())->GetDMAChannel(12);
    channel->Flush();
    const DCBList list = FrameTemplate().MakeDCBList(2, 6);
    for (DCBList it = list; it != DCBList::End(list); ++it) {
        const WexalDCB dcb = *it;
        ASSERT_TRUE(channel->SetDCB(static_cast<int>(dcb.GetPortField().GetTag()), &dcb));
    }
    // Read back straight from the DCB window of BAR0.
    for (const WexalDCB& expected : Walk(list)) {
        const DWORD n = expected.GetPortField().GetTag();
        WexalDCB viaWindow;
        viaWindow = board.GetRegisters() + (0x60000 + 0x200 * 12 + 0x20 * n) / 4;
        EXPECT_EQ(std::vector<DWORD>(viaWindow.GetWords(), viaWindow.GetWords() + 8),
                  std::vector<DWORD>(expected.GetWords(), expected.GetWords() + 8)) << "DCB " << n;
    }
    channel->Flush();
}

}  // namespace
