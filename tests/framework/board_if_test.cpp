// Tests of CWexalBoardIF: verbosity, device selection, spaces and register pointers, the SDRAM compare, channel mask.
#include "framework/board_if.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "tests/support/rig.h"
#include "tests/support/output.h"
#include "devlib/arg_list.h"
#include "devlib/wexal_spaces.h"
#include "framework/pattern_generators.h"
#include "framework/result_screen.h"

using support::RecordingTest;
using support::ScopedRig;

namespace {

class BoardIF : public ::testing::Test {
protected:
    void SetUp() override { devlib::LoadDefaultRig(); }
    void TearDown() override { devlib::LoadDefaultRig(); }

    // The SDRAM space the selected board holds itself.
    static CWexalSDRAMSpace* BoardSdram(const CWexalBoardIF& bif) {
        auto* board = dynamic_cast<CWexalBoardDevice*>(bif.GetDevice());
        return board ? board->GetSDRAMSpace() : nullptr;
    }
    static void Poke(const CWexalBoardIF& bif, DWORD address, DWORD value) {
        ASSERT_EQ(BoardSdram(bif)->Set(&value, address, 4), 4);
    }
    static DWORD Peek(const CWexalBoardIF& bif, DWORD address) {
        DWORD value = 0;
        EXPECT_EQ(BoardSdram(bif)->Get(&value, address, 4), 4);
        return value;
    }
    // Writes count words of 0x1000, 0x1001, ... at address (no read-back) and puts the generator back.
    static void WriteCounting(CWexalBoardIF& bif, DP_INC_Generator& gen, DWORD address, int count) {
        gen.SetStartIncrement(0xFFF, 1);
        gen.Reset(0);
        ASSERT_EQ(bif.CompareSDRAM(address, count, &gen, 0xFFFFFFFF, "W", nullptr, FALSE), 1u);
        gen.Reset(0);
    }
    // Addresses that begin dump rows (" %6.6X " then the expected words) in black.
    static std::vector<std::string> DumpRows(const RecordingTest& t) {
        std::vector<std::string> rows;
        for (const auto& [text, colour] : t.out.coloured)
            if (colour == kColorBlack && text.size() > 9 && text[0] == ' ' && std::isxdigit(static_cast<unsigned char>(text[1])) &&
                text[7] == ' ' && text[8] == ' ')
                rows.push_back(text.substr(1, 6));
        return rows;
    }
};

TEST_F(BoardIF, VerboseNeedsAnOwnerAndLookUpsKeepTheirVerbosity) {
    CWexalBoardIF bif;
    EXPECT_FALSE(bif.SetVerbose(TRUE));
    EXPECT_TRUE(bif.IsQuiet());
    EXPECT_TRUE(bif.SetVerbose(FALSE));
    EXPECT_TRUE(bif.IsQuiet());
    // Without an owner a verbose look-up cannot be met at all.
    EXPECT_EQ(bif.SelectDevice("Brimola1", TRUE), 1u);
    EXPECT_EQ(bif.GetBAR0(TRUE), 2u);

    RecordingTest t;
    CWexalBoardIF& own = t.GetBoardIF();
    EXPECT_EQ(own.GetOwner(), &t);
    EXPECT_TRUE(own.IsQuiet());
    EXPECT_TRUE(own.SetVerbose(TRUE));
    EXPECT_FALSE(own.IsQuiet());
    own.SetOwner(&t);
    EXPECT_TRUE(own.IsQuiet());
}

TEST_F(BoardIF, DeviceSelectionSaysWhyItFails) {
    RecordingTest t;
    CWexalBoardIF& bif = t.GetBoardIF();

    // A test's interface starts quiet; the list check comes before verbosity is set.
    EXPECT_EQ(bif.ParseDevice(nullptr, 0, TRUE), 2u);
    EXPECT_TRUE(t.out.text.empty());
    bif.SetVerbose(TRUE);
    EXPECT_EQ(bif.ParseDevice(nullptr, 0, TRUE), 2u);
    EXPECT_TRUE(t.out.HasColoured("CWexalBoardIF::ParseDevice\n  pal is NULL\n", kColorRed));

    ArgumentList list;
    list.Set("Brimola1 Nuxa1");
    EXPECT_EQ(bif.ParseDevice(&list, 2, TRUE), 2u);
    EXPECT_TRUE(t.out.HasColoured("Device name (parameter 3) missing from command line.\n", kColorRed));

    EXPECT_EQ(bif.SelectDevice("Brimola9", TRUE), 2u);
    EXPECT_TRUE(t.out.Has("CWexalBoardIF::ParseDevice\n  Selected device (Brimola9) has not been found.\n"));

    EXPECT_EQ(bif.SelectDevice("Brimola1.Clock", TRUE), 2u);
    EXPECT_TRUE(t.out.Has("CWexalBoardIF::ParseDevice\n  Selected device (Brimola1.Clock) is not valid for this test.\n"));
    EXPECT_EQ(bif.GetDevice(), nullptr);

    EXPECT_EQ(bif.SelectDevice(nullptr, TRUE), 2u);
    EXPECT_TRUE(t.out.Has("  pszDevice is NULL\n"));

    // Quiet look-ups fail the same way without a word.
    t.out = {};
    EXPECT_EQ(bif.ParseDevice(&list, 5, FALSE), 2u);
    EXPECT_TRUE(t.out.text.empty());

    EXPECT_EQ(bif.ParseDevice(&list, 1, TRUE), 1u);
    ASSERT_NE(bif.GetDevice(), nullptr);
    EXPECT_EQ(bif.GetDevice()->GetTag(), "Nuxa1");
}

TEST_F(BoardIF, SpacesAndRegisterPointersFollowTheBoardKind) {
    RecordingTest t;
    CWexalBoardIF& bif = t.GetBoardIF();
    EXPECT_EQ(bif.GetBAR0(TRUE), 2u);  // no device yet

    ASSERT_EQ(bif.SelectDevice("Brimola1", TRUE), 1u);
    ASSERT_EQ(bif.GetBAR0(FALSE), 1u);
    EXPECT_TRUE(bif.IsQuiet());
    ASSERT_TRUE(bif.GetRegisters());
    EXPECT_TRUE(bif.GetMainBoardRegisters());
    EXPECT_FALSE(bif.GetCodecBoardRegisters());
    EXPECT_EQ(bif.GetBAR0Space()->GetType(), CDevAddrSpace::SPACE_BAR0);
    EXPECT_EQ(bif.GetRegisterSpace(), bif.GetBAR0Space());  // BAR0 carries register symbols
    EXPECT_NE(bif.GetWexalBAR0Space(), nullptr);
    EXPECT_EQ(bif.GetRegisters()[0x40000 / 4] & 0xFFF, 0xC75u);
    EXPECT_EQ(bif.GetRegisters()[0x4000 / 4] & 0xFF, 0x52u);  // main-board identity

    ASSERT_EQ(bif.GetSDRAM(FALSE), 1u);
    EXPECT_FALSE(bif.IsQuiet());  // the SDRAM look-up always runs with messages on
    ASSERT_NE(bif.GetSDRAMSpace(), nullptr);
    EXPECT_EQ(bif.GetSDRAMSpace()->GetType(), CDevAddrSpace::SPACE_SDRAM);
    EXPECT_EQ(bif.GetRegisterSpace(), nullptr);
    EXPECT_NE(bif.GetWexalSDRAMSpace(), nullptr);

    // A copy takes the device part; the copy's own owner stays.
    RecordingTest other;
    CWexalBoardIF& copy = other.GetBoardIF();
    copy.Copy(&bif);
    EXPECT_EQ(copy.GetOwner(), &other);
    EXPECT_EQ(copy.GetDevice(), bif.GetDevice());
    EXPECT_EQ(copy.GetSDRAMSpace(), bif.GetSDRAMSpace());
    EXPECT_EQ(copy.GetBAR0Space(), bif.GetBAR0Space());
    EXPECT_TRUE(copy.GetRegisters() == bif.GetRegisters());
    EXPECT_TRUE(copy.GetMainBoardRegisters());
    copy.Copy(&copy);
    EXPECT_EQ(copy.GetDevice(), bif.GetDevice());
    copy.Copy(nullptr);
    EXPECT_EQ(copy.GetDevice(), nullptr);
    EXPECT_FALSE(copy.GetRegisters());
    EXPECT_NE(copy.GetBAR0Space(), nullptr);  // Clear leaves the BAR0 space

    // The codec board fills the codec-board pointer only.
    ASSERT_EQ(bif.SelectDevice("Nuxa1", TRUE), 1u);
    ASSERT_EQ(bif.GetBAR0(TRUE), 1u);
    EXPECT_FALSE(bif.GetMainBoardRegisters());
    EXPECT_TRUE(bif.GetCodecBoardRegisters());
    EXPECT_EQ(bif.GetRegisters()[0x4000 / 4] & 0xFF, 0x53u);
    copy.Copy(&bif);
    EXPECT_TRUE(copy.GetCodecBoardRegisters());
    EXPECT_FALSE(copy.GetMainBoardRegisters());
}

TEST_F(BoardIF, AMissingSpaceIsReportedEvenWhenQuietWasAsked) {
    ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}],
                      "faults": [{"kind": "missing_space", "board": "Brimola1", "space": "SDRAM"},
                                 {"kind": "missing_space", "board": "Brimola1", "space": "BAR0"}]})");
    ASSERT_TRUE(rig.Loaded());
    RecordingTest t;
    CWexalBoardIF& bif = t.GetBoardIF();
    ASSERT_EQ(bif.SelectDevice("Brimola1", TRUE), 1u);
    EXPECT_EQ(bif.GetSDRAM(FALSE), 2u);
    EXPECT_TRUE(t.out.HasColoured("There is no \"SDRAM\" space available for this device.", kColorRed));
    EXPECT_EQ(bif.GetSDRAMSpace(), nullptr);
    EXPECT_EQ(bif.GetBAR0(TRUE), 2u);
    EXPECT_TRUE(t.out.Has("There is no \"BAR0\" space available for this device."));
    EXPECT_FALSE(bif.GetRegisters());
    // Without the board's own SDRAM the compare cannot map the range.
    DP_INC_Generator gen;
    EXPECT_EQ(bif.CompareSDRAM(0, 16, &gen, 0xFFFFFFFF, "W", "R", TRUE), 2u);
    EXPECT_TRUE(t.out.Has("Failed on attempt to get write access to\n SDRAM."));
}

TEST_F(BoardIF, ChannelPresenceFollowsTheMaskAboveRevision0x47) {
    RecordingTest t;
    CWexalBoardIF& bif = t.GetBoardIF();
    EXPECT_FALSE(bif.IsChannelPresent(0));  // nothing mapped
    ASSERT_EQ(bif.SelectDevice("Brimola1", TRUE), 1u);
    ASSERT_EQ(bif.GetBAR0(TRUE), 1u);
    const DWORD low = bif.GetRegisters()[0x58308 / 4], high = bif.GetRegisters()[0x5830C / 4];
    int present = 0;
    for (int c = 0; c < 64; ++c) {
        const DWORD word = c < 32 ? low : high;
        EXPECT_EQ(bif.IsChannelPresent(c), (word >> (c % 32)) & 1) << "channel " << c;
        present += bif.IsChannelPresent(c);
    }
    EXPECT_GT(present, 0);
    EXPECT_LT(present, 64);
    EXPECT_FALSE(bif.IsChannelPresent(-1));
    EXPECT_FALSE(bif.IsChannelPresent(64));

    ScopedRig old(R"({"boards": [{"tag": "Nuxa1", "kind": "nuxa", "revision": 71}]})");
    ASSERT_TRUE(old.Loaded());
    ASSERT_EQ(bif.SelectDevice("Nuxa1", TRUE), 1u);
    ASSERT_EQ(bif.GetBAR0(TRUE), 1u);
    ASSERT_NE(bif.GetRegisters()[0x58308 / 4] | bif.GetRegisters()[0x5830C / 4], 0u);
    for (int c = 0; c < 64; ++c) EXPECT_FALSE(bif.IsChannelPresent(c)) << "channel " << c;
}

TEST_F(BoardIF, CompareWritesReadsBackAndMarksProgress) {
    RecordingTest t;
    CWexalBoardIF& bif = t.GetBoardIF();
    ASSERT_EQ(bif.SelectDevice("Brimola1", TRUE), 1u);
    LRS_Generator gen(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
    gen.Reset(0);
    const int count = 2 * 16384 + 1;
    EXPECT_EQ(bif.CompareSDRAM(0x200000, count, &gen, 0xFFFFFFFF, "Write", "Read back", TRUE), 1u);
    // The shorter label is indented by the difference; a dot every 16384 words in each phase.
    EXPECT_EQ(t.out.text, "    Write..\nRead back..\n");

    // The memory holds the generator's words, as an independent replay of it shows.
    LRS_Generator replay(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
    replay.Reset(0);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(Peek(bif, 0x200000 + 4 * i), replay.Next()) << i;

    // The mask applies to what is written; the read-back then agrees.
    t.out = {};
    DP_INC_Generator inc;
    inc.SetStartIncrement(0x12340000, 0x10001);
    inc.Reset(0);
    EXPECT_EQ(bif.CompareSDRAM(0x300000, 64, &inc, 0x0000FFFF, "Masked write ", "Read", FALSE), 1u);
    EXPECT_TRUE(t.out.text.empty());
    EXPECT_EQ(Peek(bif, 0x300000), (0x12340000u + 0x10001u) & 0xFFFF);
    EXPECT_EQ(Peek(bif, 0x300004), (0x12340000u + 2 * 0x10001u) & 0xFFFF);

    // Neither label: nothing is touched and all is well.
    EXPECT_EQ(bif.CompareSDRAM(0x300000, 64, &inc, 0, nullptr, nullptr, TRUE), 1u);
    EXPECT_EQ(Peek(bif, 0x300004), (0x12340000u + 2 * 0x10001u) & 0xFFFF);
}

TEST_F(BoardIF, OneWrongWordIsListedFromItsGroupOfEight) {
    RecordingTest t;
    CWexalBoardIF& bif = t.GetBoardIF();
    ASSERT_EQ(bif.SelectDevice("Brimola1", TRUE), 1u);
    DP_INC_Generator gen;
    WriteCounting(bif, gen, 0x200000, 100);
    Poke(bif, 0x200000 + 4 * 21, 0xDEADBEEF);
    t.out = {};

    EXPECT_EQ(bif.CompareSDRAM(0x200000, 100, &gen, 0xFFFFFFFF, nullptr, "Check", TRUE), 2u);
    EXPECT_TRUE(t.out.Has("Check\n~*BLACK*~Error: 100 DWORDs were checked in to SDRAM, address range 200000 to 200190.\n"
                          " On reading them, ~*RED*~1~*BLACK*~ were found to be incorrect.\n"));
    // Index 21 lies in the group starting at 16; (5 + 12) rounded down to 4 gives 16 words shown.
    EXPECT_EQ(DumpRows(t), (std::vector<std::string>{"200040", "200050", "200060", "200070"}));
    EXPECT_TRUE(t.out.HasColoured(" DEADBEEF", kColorRed));
    EXPECT_TRUE(t.out.Has(" 200050  00001014 00001015 00001016 00001017 "));
    EXPECT_FALSE(t.out.Has("Erroneous words"));

    // Wrong words that all get a slot widen the dump up to the last of them.
    WriteCounting(bif, gen, 0x200000, 200);
    for (int i : {3, 10, 60}) Poke(bif, 0x200000 + 4 * i, 0);
    t.out = {};
    EXPECT_EQ(bif.CompareSDRAM(0x200000, 200, &gen, 0xFFFFFFFF, nullptr, "Read", TRUE), 2u);
    const std::vector<std::string> rows = DumpRows(t);
    ASSERT_EQ(rows.size(), 18u);  // (60 + 12) / 4 * 4 = 72 words
    EXPECT_EQ(rows.back(), "200110");
    EXPECT_FALSE(t.out.Has("Erroneous words"));
}

TEST_F(BoardIF, ErrorsBeyondTheDumpAreGivenAsARange) {
    // Bit 31 stuck at 1 in the words at indices 5 and 500 of the range.
    ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}], "faults": [
        {"kind": "sdram_stuck_bit", "board": "Brimola1", "from": 2097172, "to": 2097176, "bit": 31, "value": 1},
        {"kind": "sdram_stuck_bit", "board": "Brimola1", "from": 2099152, "to": 2099156, "bit": 31, "value": 1}]})");
    ASSERT_TRUE(rig.Loaded());
    RecordingTest t;
    CWexalBoardIF& bif = t.GetBoardIF();
    ASSERT_EQ(bif.SelectDevice("Brimola1", TRUE), 1u);
    DP_INC_Generator gen;
    gen.SetStartIncrement(0xFFF, 1);
    gen.Reset(0);

    EXPECT_EQ(bif.CompareSDRAM(0x200000, 1000, &gen, 0xFFFFFFFF, "Write", "Read", TRUE), 2u);
    EXPECT_TRUE(t.out.Has("Error: 1000 DWORDs were written to SDRAM, address range 200000 to 200FA0.\n"
                          " On reading them back, ~*RED*~2~*BLACK*~ were found to be incorrect.\n"));
    EXPECT_EQ(DumpRows(t), (std::vector<std::string>{"200000", "200010", "200020", "200030"}));
    EXPECT_TRUE(t.out.HasColoured(" 80001005", kColorRed));
    EXPECT_TRUE(t.out.Has("~*BLACK*~ 200040  ...\nErroneous words were found within this address range: "
                          "~*RED*~200014~*BLACK*~ to ~*RED*~2007D0~*BLACK*~\n"));
}

TEST_F(BoardIF, CompareWithoutDeviceOrMappingFailsCleanly) {
    RecordingTest t;
    CWexalBoardIF& bif = t.GetBoardIF();
    DP_INC_Generator gen;
    EXPECT_EQ(bif.CompareSDRAM(0, 16, &gen, 0xFFFFFFFF, "W", "R", TRUE), 2u);
    EXPECT_TRUE(t.out.Has("No device selected"));

    ASSERT_EQ(bif.SelectDevice("Brimola1", TRUE), 1u);
    EXPECT_EQ(bif.CompareSDRAM(0, 16, nullptr, 0xFFFFFFFF, "W", "R", TRUE), 2u);
    t.out = {};
    // 512 MiB of SDRAM end at 0x20000000.
    EXPECT_EQ(bif.CompareSDRAM(0x1FFFFFF0, 8, &gen, 0xFFFFFFFF, "W", "R", TRUE), 2u);
    EXPECT_EQ(t.out.text,
              "~*BLACK*~Error: ~*RED*~Failed on attempt to get write access to\n SDRAM.~*BLACK*~  Address: 0x1FFFFFF0  DWORD size: 0x000008.\n");
    t.out = {};
    EXPECT_EQ(bif.CompareSDRAM(0x1FFFFFF0, 8, &gen, 0xFFFFFFFF, nullptr, "R", TRUE), 2u);
    EXPECT_TRUE(t.out.Has("Failed on attempt to get read access to\n SDRAM."));
    EXPECT_EQ(bif.CompareSDRAM(0, -1, &gen, 0xFFFFFFFF, "W", nullptr, TRUE), 2u);
    EXPECT_EQ(bif.CompareSDRAM(0x1002, 8, &gen, 0xFFFFFFFF, "W", nullptr, TRUE), 2u);
}

}  // namespace
