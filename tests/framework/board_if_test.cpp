// Tests of CWexalBoardIF: verbosity, device selection, spaces and register pointers, the SDRAM compare, channel mask.
#include "framework/board_if.h"

#include <gtest/gtest.h>

#include <cctype>
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
    }
    void Poke(DWORD address, DWORD value) { ASSERT_EQ(Sdram("Brimola1")->Set(&value, address, 4), 4); }
    DWORD Peek(DWORD address) {
        DWORD value = 0;
        Sdram("Brimola1")->Get(&value, address, 4);
        return value;
    }
    // Writes count words 0x1000, 0x1001, ... at address and puts the generator back for the check.
    void WriteCounting(DWORD address, int count) {
        gen.SetStartIncrement(0xFFF, 1);
        gen.Reset(0);
        ASSERT_EQ(bif.CompareSDRAM(address, count, &gen, 0xFFFFFFFF, "W", nullptr, FALSE), 1u);
        gen.Reset(0);
        t.out = {};
    }
    // Addresses that begin dump rows (" %6.6X " then the expected words) in black.
    std::vector<std::string> DumpRows() const {
        std::vector<std::string> rows;
        for (const auto& [text, colour] : t.out.coloured)
            if (colour == kColorBlack && text.size() > 9 && text[0] == ' ' && std::isxdigit(static_cast<unsigned char>(text[1])) &&
                text[7] == ' ' && text[8] == ' ')
                rows.push_back(text.substr(1, 6));
        return rows;
    }
    RecordingTest t;
    CWexalBoardIF& bif = t.GetBoardIF();
    DP_INC_Generator gen;
};

TEST_F(BoardIF, VerboseNeedsAnOwnerAndSelectionSaysWhyItFails) {
    CWexalBoardIF orphan;
    EXPECT_FALSE(orphan.SetVerbose(TRUE));
    EXPECT_TRUE(orphan.IsQuiet());
    EXPECT_TRUE(orphan.SetVerbose(FALSE));
    EXPECT_EQ(orphan.SelectDevice("Brimola1", TRUE), 1u);
    EXPECT_EQ(orphan.GetBAR0(TRUE), 2u);  // a verbose look-up cannot be met without an owner
    EXPECT_TRUE(bif.IsQuiet());           // a test's interface starts quiet
    EXPECT_EQ(bif.ParseDevice(nullptr, 0, TRUE), 2u);
    EXPECT_TRUE(t.out.text.empty());  // the list check comes before verbosity is set

    ArgumentList list;
    list.Set("Brimola1 Nuxa1");
    struct Row { const char* name; std::function<DWORD()> call; const char* message; };
    const Row rows[] = {
        {"no list", [&] { return bif.ParseDevice(nullptr, 0, TRUE); }, "CWexalBoardIF::ParseDevice\n  pal is NULL\n"},
        {"index past the words", [&] { return bif.ParseDevice(&list, 2, TRUE); }, "Device name (parameter 3) missing from command line.\n"},
        {"unknown", [&] { return bif.SelectDevice("Brimola9", TRUE); }, "CWexalBoardIF::ParseDevice\n  Selected device (Brimola9) has not been found.\n"},
        {"not a board", [&] { return bif.SelectDevice("Brimola1.Clock", TRUE); }, "CWexalBoardIF::ParseDevice\n  Selected device (Brimola1.Clock) is not valid for this test.\n"},
        {"no name", [&] { return bif.SelectDevice(nullptr, TRUE); }, "CWexalBoardIF::ParseDevice\n  pszDevice is NULL\n"},
        {"quiet", [&] { return bif.ParseDevice(&list, 5, FALSE); }, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        bif.SetVerbose(TRUE);
        t.out = {};
        EXPECT_EQ(row.call(), 2u);
        EXPECT_EQ(t.out.text, row.message);
        if (*row.message) {
            EXPECT_TRUE(t.out.HasColoured(row.message, kColorRed));
        }
    }
    EXPECT_EQ(bif.GetDevice(), nullptr);
    EXPECT_EQ(bif.ParseDevice(&list, 1, TRUE), 1u);
    EXPECT_EQ(bif.GetDevice()->GetTag(), "Nuxa1");
}

TEST_F(BoardIF, SpacesAndRegisterPointersFollowTheBoardKindAndCopyTakesTheDevicePart) {
    ASSERT_EQ(bif.GetBAR0(FALSE), 1u);
    EXPECT_TRUE(bif.IsQuiet());
    EXPECT_TRUE(bif.GetMainBoardRegisters() && !bif.GetCodecBoardRegisters());
    EXPECT_EQ(bif.GetBAR0Space()->GetType(), CDevAddrSpace::SPACE_BAR0);
    EXPECT_EQ(bif.GetRegisterSpace(), bif.GetBAR0Space());  // BAR0 carries register symbols
    EXPECT_EQ(bif.GetRegisters()[0x4000 / 4] & 0xFF, 0x52u);  // main-board identity
    ASSERT_EQ(bif.GetSDRAM(FALSE), 1u);
    EXPECT_FALSE(bif.IsQuiet());  // the SDRAM look-up always runs with messages on
    EXPECT_EQ(bif.GetSDRAMSpace()->GetType(), CDevAddrSpace::SPACE_SDRAM);
    EXPECT_EQ(bif.GetRegisterSpace(), nullptr);

    RecordingTest other;
    CWexalBoardIF& copy = other.GetBoardIF();
    copy.Copy(&bif);
    EXPECT_EQ(copy.GetOwner(), &other);
    EXPECT_EQ(copy.GetDevice(), bif.GetDevice());
    EXPECT_EQ(copy.GetSDRAMSpace(), bif.GetSDRAMSpace());
    EXPECT_EQ(copy.GetBAR0Space(), bif.GetBAR0Space());
    EXPECT_TRUE(copy.GetMainBoardRegisters() == bif.GetRegisters());
    copy.Copy(&copy);
    EXPECT_EQ(copy.GetDevice(), bif.GetDevice());
    copy.Copy(nullptr);
    EXPECT_EQ(copy.GetDevice(), nullptr);
    EXPECT_FALSE(copy.GetRegisters());
    EXPECT_NE(copy.GetBAR0Space(), nullptr);  // Clear leaves the BAR0 space

    ASSERT_EQ(bif.SelectDevice("Nuxa1", TRUE), 1u);
    ASSERT_EQ(bif.GetBAR0(TRUE), 1u);
    EXPECT_EQ(bif.GetRegisters()[0x4000 / 4] & 0xFF, 0x53u);
    copy.Copy(&bif);
    EXPECT_TRUE(copy.GetCodecBoardRegisters() && !copy.GetMainBoardRegisters());
}

TEST_F(BoardIF, AMissingSpaceIsReportedEvenWhenQuietWasAsked) {
    ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}],
                      "faults": [{"kind": "missing_space", "board": "Brimola1", "space": "SDRAM"},
                                 {"kind": "missing_space", "board": "Brimola1", "space": "BAR0"}]})");
    ASSERT_EQ(bif.SelectDevice("Brimola1", TRUE), 1u);
    EXPECT_EQ(bif.GetSDRAM(FALSE), 2u);
    EXPECT_TRUE(t.out.HasColoured("There is no \"SDRAM\" space available for this device.", kColorRed));
    EXPECT_EQ(bif.GetBAR0(TRUE), 2u);
    EXPECT_TRUE(t.out.Has("There is no \"BAR0\" space available for this device."));
    EXPECT_FALSE(bif.GetRegisters());
    EXPECT_EQ(bif.CompareSDRAM(0, 16, &gen, 0xFFFFFFFF, "W", "R", TRUE), 2u);
    EXPECT_TRUE(t.out.Has("Failed on attempt to get write access to\n SDRAM."));
}

TEST_F(BoardIF, ChannelPresenceFollowsTheMaskAboveRevision0x47) {
    EXPECT_FALSE(bif.IsChannelPresent(0));  // nothing mapped
    ASSERT_EQ(bif.GetBAR0(TRUE), 1u);
    const DWORD mask[2] = {bif.GetRegisters()[0x58308 / 4], bif.GetRegisters()[0x5830C / 4]};
    ASSERT_TRUE(mask[0] != 0 && mask[0] != ~0u);
    for (int c = 0; c < 64; ++c) EXPECT_EQ(bif.IsChannelPresent(c), (mask[c / 32] >> (c % 32)) & 1) << c;

    ScopedRig old(R"({"boards": [{"tag": "Nuxa1", "kind": "nuxa", "revision": 71}]})");
    ASSERT_EQ(bif.SelectDevice("Nuxa1", TRUE), 1u);
    ASSERT_EQ(bif.GetBAR0(TRUE), 1u);
    for (int c = 0; c < 64; ++c) EXPECT_FALSE(bif.IsChannelPresent(c)) << c;
}

TEST_F(BoardIF, CompareWritesTheMaskedPatternReadsBackAndMarksProgress) {
    LRS_Generator lrs(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh), replay(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
    lrs.Reset(0);
    replay.Reset(0);
    EXPECT_EQ(bif.CompareSDRAM(0x200000, 2 * 16384 + 1, &lrs, 0xFFFFFFFF, "Write", "Read back", TRUE), 1u);
    // The shorter label is indented by the difference; a dot every 16384 words in each phase.
    EXPECT_EQ(t.out.text, "    Write..\nRead back..\n");
    for (int i = 0; i < 40; ++i) EXPECT_EQ(Peek(0x200000 + 4 * i), replay.Next()) << i;

    gen.SetStartIncrement(0x12340000, 0x10001);
    gen.Reset(0);
    t.out = {};
    EXPECT_EQ(bif.CompareSDRAM(0x300000, 64, &gen, 0x0000FFFF, "W", "R", FALSE), 1u);
    EXPECT_EQ(t.out.text, "");
    EXPECT_EQ(Peek(0x300004), (0x12340000u + 2 * 0x10001u) & 0xFFFF);
    EXPECT_EQ(bif.CompareSDRAM(0x300000, 64, &gen, 0, nullptr, nullptr, TRUE), 1u);  // neither label: nothing touched
    EXPECT_EQ(Peek(0x300004), (0x12340000u + 2 * 0x10001u) & 0xFFFF);
}

TEST_F(BoardIF, WrongWordsAreListedFromTheGroupOfEightOfTheFirst) {
    WriteCounting(0x200000, 100);
    Poke(0x200000 + 4 * 21, 0xDEADBEEF);
    EXPECT_EQ(bif.CompareSDRAM(0x200000, 100, &gen, 0xFFFFFFFF, nullptr, "Check", TRUE), 2u);
    EXPECT_TRUE(t.out.Has("Check\n~*BLACK*~Error: 100 DWORDs were checked in to SDRAM, address range 200000 to 200190.\n"
                          " On reading them, ~*RED*~1~*BLACK*~ were found to be incorrect.\n"));
    // Index 21 lies in the group starting at 16; (5 + 12) rounded down to 4 gives 16 words shown.
    EXPECT_EQ(DumpRows(), (std::vector<std::string>{"200040", "200050", "200060", "200070"}));
    EXPECT_TRUE(t.out.HasColoured(" DEADBEEF", kColorRed));
    EXPECT_TRUE(t.out.Has(" 200050  00001014 00001015 00001016 00001017 "));
    EXPECT_FALSE(t.out.Has("Erroneous words"));

    // Wrong words that all get a slot widen the dump up to the last of them: (60 + 12) / 4 * 4 = 72 words.
    WriteCounting(0x200000, 200);
    for (int i : {3, 10, 60}) Poke(0x200000 + 4 * i, 0);
    EXPECT_EQ(bif.CompareSDRAM(0x200000, 200, &gen, 0xFFFFFFFF, nullptr, "Read", TRUE), 2u);
    EXPECT_EQ(DumpRows().size(), 18u);
    EXPECT_EQ(DumpRows().back(), "200110");
}

TEST_F(BoardIF, ErrorsBeyondTheDumpAreGivenAsARange) {
    // Bit 31 stuck at 1 in the words at indices 5 and 500 of the range.
    ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}], "faults": [
        {"kind": "sdram_stuck_bit", "board": "Brimola1", "from": 2097172, "to": 2097176, "bit": 31, "value": 1},
        {"kind": "sdram_stuck_bit", "board": "Brimola1", "from": 2099152, "to": 2099156, "bit": 31, "value": 1}]})");
    ASSERT_EQ(bif.SelectDevice("Brimola1", TRUE), 1u);
    gen.SetStartIncrement(0xFFF, 1);
    gen.Reset(0);
    EXPECT_EQ(bif.CompareSDRAM(0x200000, 1000, &gen, 0xFFFFFFFF, "Write", "Read", TRUE), 2u);
    EXPECT_TRUE(t.out.Has("Error: 1000 DWORDs were written to SDRAM, address range 200000 to 200FA0.\n"
                          " On reading them back, ~*RED*~2~*BLACK*~ were found to be incorrect.\n"));
    EXPECT_EQ(DumpRows(), (std::vector<std::string>{"200000", "200010", "200020", "200030"}));
    EXPECT_TRUE(t.out.HasColoured(" 80001005", kColorRed));
    EXPECT_TRUE(t.out.Has("~*BLACK*~ 200040  ...\nErroneous words were found within this address range: "
                          "~*RED*~200014~*BLACK*~ to ~*RED*~2007D0~*BLACK*~\n"));
}

TEST_F(BoardIF, CompareRefusesWhatItCannotReach) {
    struct Row { const char* name; DWORD address; int count; bool generator; const char* write; const char* message; };
    const Row rows[] = {
        {"no generator", 0, 16, false, "W", "No pattern generator"},
        // 512 MiB of SDRAM end at 0x20000000.
        {"past the end", 0x1FFFFFF0, 8, true, "W",
         "~*BLACK*~Error: ~*RED*~Failed on attempt to get write access to\n SDRAM.~*BLACK*~  Address: 0x1FFFFFF0  DWORD size: 0x000008.\n"},
        {"read past the end", 0x1FFFFFF0, 8, true, nullptr, "Failed on attempt to get read access to\n SDRAM."},
        {"negative count", 0, -1, true, "W", "Failed on attempt to get write access"},
        {"off a word", 0x1002, 8, true, "W", "~*BLACK*~Error: ~*RED*~SDRAM address 0x001002 is not on a DWORD boundary.~*BLACK*~\n"},
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
