// Tests of DCB chains: building from a template, ranges, walking and shared storage.
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

// A template of 0x10000 DWORDs per frame (the pad is not part of it) at 1 MiB, with channel words set.
WexalDCB FrameTemplate() {
    WexalDCB t;
    t.SetStartAddress(0x100000);
    EXPECT_TRUE(t.SetLines(0xFF) && t.SetLineLength(0x100) && t.SetInitialLineLength(0x100) && t.SetPad(0x40) && t.GetOpField().Set16bit(1));
    t.GetPCIAddressField().Set(0xDEAD0000, 0x1);
    return t;
}

// The eight words of each DCB, walking a copy of the list to its end as the callers do.
std::vector<std::vector<DWORD>> Walk(const DCBList& list) {
    std::vector<std::vector<DWORD>> out;
    for (DCBList it = list; it != DCBList::End(list); ++it) {
        const WexalDCB dcb = *it;
        out.emplace_back(dcb.GetWords(), dcb.GetWords() + 8);
    }
    return out;
}

TEST(DCBListTest, ChainsOfTemplateCopiesWithinOneToFifteen) {
    std::vector<std::vector<DWORD>> expected;
    for (DWORD k = 0; k < 4; ++k) {
        WexalDCB dcb = FrameTemplate();
        EXPECT_TRUE(dcb.GetPortField().SetTag(static_cast<WORD>(k + 1)) && dcb.GetOpField().SetNext(static_cast<BYTE>(k < 3 ? k + 2 : 0)));
        dcb.SetStartAddress(0x100000 + 0x40000 * k);
        expected.emplace_back(dcb.GetWords(), dcb.GetWords() + 8);
    }
    EXPECT_EQ(Walk(FrameTemplate().MakeDCBList(1, 4)), expected);
    // Ranges are ordered and held within 1-15: from, to -> first and last tag; the last Next is 0.
    const DWORD rows[][4] = {{5, 2, 2, 5}, {0, 20, 1, 15}, {20, 30, 15, 15}, {0xFFFFFFFF, 0, 1, 15}};
    for (const auto& [a, b, first, last] : rows) {
        const auto dcbs = Walk(DCBList(FrameTemplate(), a, b));
        ASSERT_EQ(dcbs.size(), last - first + 1) << a << "," << b;
        EXPECT_EQ((dcbs.front()[1] >> 16) * 100 + (dcbs.back()[1] >> 16) + (dcbs.back()[0] & 0x3F), first * 100 + last) << a << "," << b;
    }
    // The cursor stops at the end, on the last DCB.
    DCBList list(FrameTemplate(), 3, 5), it = list;
    EXPECT_EQ((*it++).GetPortField().GetTag() * 10 + (*it).GetPortField().GetTag(), 34u);
    ++++++it;
    EXPECT_TRUE(it == DCBList::End(list) && it.GetCursor() * 10 + (*it).GetPortField().GetTag() == 35u);
    // Copies destroyed before and after the list leave it usable; the array goes with the last holder.
    {
        DCBList other(FrameTemplate(), 1, 1);
        other.CopyFrom(list);
        EXPECT_TRUE(other == list);
    }
    DCBList survivor = list;
    list = DCBList(FrameTemplate(), 7, 8);
    EXPECT_EQ(Walk(survivor).size(), 3u);
}

}  // namespace
