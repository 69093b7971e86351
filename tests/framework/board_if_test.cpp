// Tests of CWexalBoardIF: device selection, spaces and register pointers, the SDRAM compare, channel mask.
#include "framework/board_if.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "devlib/arg_list.h"
#include "devlib/wexal_spaces.h"
#include "framework/pattern_generators.h"
#include "framework/result_screen.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"

using support::RecordingTest;
using support::ScopedRig;

namespace {

class BoardIF : public support::RigTest {
protected:
    void SetUp() override {
        RigTest::SetUp();
        ASSERT_EQ(bif.SelectDevice("Brimola1", TRUE), 1u);
        gen.SetStartIncrement(0xFFF, 1), gen.Reset(0);
    }
    void Poke(DWORD address, DWORD value) { Sdram("Brimola1")->Set(&value, address, 4); }
    DWORD Peek(DWORD address) { DWORD value = 0; return Sdram("Brimola1")->Get(&value, address, 4), value; }
    RecordingTest t;
    CWexalBoardIF& bif = t.GetBoardIF();
    DP_INC_Generator gen;  // 0x1000, 0x1001, ...
};

TEST_F(BoardIF, SelectionRefusalsSayWhy) {
    ArgumentList list;
    list.Set("Brimola1 Nuxa1");
    struct Row { const char* name; std::function<DWORD()> call; const char* message; };
    const Row rows[] = {
        {"no list", [&] { return bif.ParseDevice(nullptr, 0, TRUE); }, "CWexalBoardIF::ParseDevice\n  pal is NULL\n"},
        {"index past the words", [&] { return bif.ParseDevice(&list, 2, TRUE); }, "Device name (parameter 3) missing from command line.\n"},
        {"unknown", [&] { return bif.SelectDevice("Brimola9", TRUE); }, "CWexalBoardIF::ParseDevice\n  Selected device (Brimola9) has not been found.\n"},
        {"not a board", [&] { return bif.SelectDevice("Brimola1.Clock", TRUE); }, "CWexalBoardIF::ParseDevice\n  Selected device (Brimola1.Clock) is not valid for this test.\n"},
        {"quiet", [&] { return bif.ParseDevice(&list, 5, FALSE); }, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        bif.SetVerbose(TRUE);
        t.out = {};
        EXPECT_EQ(row.call(), 2u);
        EXPECT_EQ(t.out.text, row.message);
    }
    EXPECT_EQ(bif.GetDevice(), nullptr);
    EXPECT_TRUE(bif.ParseDevice(&list, 1, TRUE) == 1 && bif.GetDevice()->GetTag() == "Nuxa1");
}

TEST_F(BoardIF, RegisterPointersFollowTheBoardKindCopySharesTheDevicePartAndChannelPresenceTheMask) {
    EXPECT_FALSE(bif.IsChannelPresent(0));  // nothing mapped
    ASSERT_EQ(bif.GetBAR0(FALSE), 1u);
    // Channel presence follows the mask above revision 0x47.
    const DWORD mask[2] = {bif.GetRegisters()[0x58308 / 4], bif.GetRegisters()[0x5830C / 4]};
    for (int c = 0; c < 64; ++c) EXPECT_EQ(bif.IsChannelPresent(c), (mask[c / 32] >> (c % 32)) & 1) << c;
    EXPECT_TRUE((bif.GetRegisters()[0x4000 / 4] & 0xFF) == 0x52 && bif.GetMainBoardRegisters() && !bif.GetCodecBoardRegisters());
    RecordingTest other;
    CWexalBoardIF& copy = other.GetBoardIF();
    ASSERT_EQ(bif.SelectDevice("Nuxa1", TRUE), 1u);
    ASSERT_EQ(bif.GetBAR0(TRUE), 1u);
    copy.Copy(&bif);
    copy.Copy(&copy);  // a copy onto itself keeps what it has
    EXPECT_TRUE(copy.GetDevice() == bif.GetDevice() && (copy.GetRegisters()[0x4000 / 4] & 0xFF) == 0x53);
    EXPECT_TRUE(copy.GetCodecBoardRegisters() && !copy.GetMainBoardRegisters());
    copy.Copy(nullptr);
    EXPECT_FALSE(copy.GetDevice() || copy.GetRegisters());
    ScopedRig old(R"({"boards": [{"tag": "Nuxa1", "kind": "nuxa", "revision": 71}]})");
    ASSERT_EQ(bif.SelectDevice("Nuxa1", TRUE), 1u);
    ASSERT_EQ(bif.GetBAR0(TRUE), 1u);
    for (int c = 0; c < 64; ++c) EXPECT_FALSE(bif.IsChannelPresent(c)) << c;
}

TEST_F(BoardIF, AMissingSpaceIsReportedEvenWhenQuietWasAsked) {
    ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}],
                      "faults": [{"kind": "missing_space", "board": "Brimola1", "space": "SDRAM"}]})");
    ASSERT_EQ(bif.SelectDevice("Brimola1", TRUE), 1u);
    EXPECT_EQ(bif.GetSDRAM(FALSE), 2u);
    EXPECT_TRUE(t.out.HasColoured("There is no \"SDRAM\" space available for this device.", kColorRed));
}

TEST_F(BoardIF, CompareWritesTheMaskedPatternReadsBackAndMarksProgress) {
    EXPECT_EQ(bif.CompareSDRAM(0x200000, 2 * 16384 + 1, &gen, 0xFFFFFFFF, "Write", "Read back", TRUE), 1u);
    EXPECT_EQ(Peek(0x200000 + 4 * 40), 0x1028u);
    gen.SetStartIncrement(0x12340000, 0x10001), gen.Reset(0);
    EXPECT_EQ(bif.CompareSDRAM(0x300000, 64, &gen, 0x0000FFFF, "W", "R", FALSE), 1u);
    // The shorter label is indented by the difference; a dot every 16384 words in each phase; quiet adds nothing.
    EXPECT_EQ(t.out.text, "    Write..\nRead back..\n");
    EXPECT_EQ(Peek(0x300004), (0x12340000u + 2 * 0x10001u) & 0xFFFF);
}

TEST_F(BoardIF, WrongWordsAreDumpedFromTheGroupOfEightOfTheFirstTheRestAsARangeAndWhatCannotBeReachedIsRefused) {
    ASSERT_EQ(bif.CompareSDRAM(0x200000, 200, &gen, 0xFFFFFFFF, "W", nullptr, FALSE), 1u);
    gen.Reset(0);
    Poke(0x200000 + 4 * 21, 0xDEADBEEF);
    t.out = {};
    EXPECT_EQ(bif.CompareSDRAM(0x200000, 100, &gen, 0xFFFFFFFF, nullptr, "Check", TRUE), 2u);
    EXPECT_TRUE(t.out.Has("Check\n~*BLACK*~Error: 100 DWORDs were checked in to SDRAM, address range 200000 to 200190.\n"
                          " On reading them, ~*RED*~1~*BLACK*~ were found to be incorrect.\n"));
    // Index 21 lies in the group starting at 16; (5 + 12) rounded down to 4 gives 16 words shown.
    // Dump rows are " ADDRESS  " and four words.
    EXPECT_TRUE(t.out.Has(" 200040  ") && t.out.Has(" 200070  ") && !t.out.Has(" 200030  ") && !t.out.Has(" 200080  "));
    EXPECT_TRUE(t.out.HasColoured(" DEADBEEF", kColorRed));

    // Wrong words that all get a slot widen the dump up to the last of them: (60 + 12) / 4 * 4 = 72 words.
    for (int i : {3, 10, 60}) Poke(0x200000 + 4 * i, 0);
    gen.Reset(0), t.out = {};
    EXPECT_EQ(bif.CompareSDRAM(0x200000, 200, &gen, 0xFFFFFFFF, nullptr, "Read", TRUE), 2u);
    EXPECT_TRUE(t.out.Has(" 200000  ") && t.out.Has(" 200110  ") && !t.out.Has(" 200120  "));

    // A word beyond the dump: the dump ends with "..." and the wrong words are given as a range.
    Poke(0x200000 + 4 * 150, 0);
    gen.Reset(0), t.out = {};
    EXPECT_EQ(bif.CompareSDRAM(0x200000, 200, &gen, 0xFFFFFFFF, nullptr, "Read", TRUE), 2u);
    EXPECT_TRUE(t.out.Has("Erroneous words were found within this address range: ~*RED*~20000C~*BLACK*~ to ~*RED*~200258~*BLACK*~\n"))
        << t.out.text;
    // The compare refuses what it cannot reach.
    struct Row { const char* name; DWORD address; int count; bool generator; const char* write; const char* message; };
    const Row rows[] = {
        {"no generator", 0, 16, false, "W", "No pattern generator"},
        // 512 MiB of SDRAM end at 0x20000000.
        {"past the end", 0x1FFFFFF0, 8, true, "W", "Failed on attempt to get write access to\n SDRAM.~*BLACK*~  Address: 0x1FFFFFF0  DWORD size: 0x000008.\n"},
        {"read past the end", 0x1FFFFFF0, 8, true, nullptr, "Failed on attempt to get read access to\n SDRAM."},
        {"negative count", 0, -1, true, "W", "Failed on attempt to get write access"},
        {"off a word", 0x1002, 8, true, "W", "SDRAM address 0x001002 is not on a DWORD boundary."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        t.out = {};
        EXPECT_EQ(bif.CompareSDRAM(row.address, row.count, row.generator ? &gen : nullptr, 0xFFFFFFFF, row.write, "R", TRUE), 2u);
        EXPECT_TRUE(t.out.Has(row.message)) << t.out.text;
    }
    RecordingTest unbound;
    EXPECT_EQ(unbound.GetBoardIF().CompareSDRAM(0, 16, &gen, 0xFFFFFFFF, "W", "R", TRUE), 2u);
    EXPECT_TRUE(unbound.out.Has("No device selected"));
}

}  // namespace
