// Tests of CJastel: the RAM clock enable read-modify-write and read-back, and its one keyword.
#include "framework/hw/jastel.h"

#include <gtest/gtest.h>

#include "tests/support/output.h"
#include "tests/support/temp_dir.h"

namespace {

using support::TakeText;

// A controller block at BAR0 0x4000 whose RAM register may read back otherwise than written.
class FakeController : public CRegisterWindow {
public:
    DWORD Read(DWORD offset) override { return m_words[Index(offset)]; }
    void Write(DWORD offset, DWORD value) override { ++writes, m_words[Index(offset)] = value ^ flipped; }
    DWORD Size() const override { return 0x4020; }
    RegisterPtr Block() { return RegisterPtr(this, 0x4000); }
    DWORD& Ram() { return m_words[CJastel::kRamWord]; }

    DWORD flipped = 0;  // bits the hardware turns over when the register is written
    int writes = 0;

private:
    static size_t Index(DWORD offset) { return (offset - 0x4000) / 4 % 8; }
    DWORD m_words[8] = {};
};

// No "CmdLine" in the fresh current folder: no creation line, manufacturing mode.
class Jastel : public ::testing::Test {
protected:
    Jastel() {
        jastel.SetControllerRegisters(controller.Block());
        TakeText();
    }
    support::InTempCwd cwd;
    CJastel jastel{"CJastel"};
    FakeController controller;
};

TEST_F(Jastel, RamClockEnableSwitchesExactlyTheClockGroupAndChecksTheWholeWord) {
    // Enable 1 sets bits 0-4; anything else clears them; the rest stays as read. Verbose 2 or more
    // says what was written. A bit that reads back otherwise fails the call, inside the group or not.
    struct Row { DWORD before; int enable; DWORD verbose; DWORD flipped; BOOL ok; DWORD after; const char* text; };
    const Row rows[] = {
        {0xABCD0100, 1, 1, 0, TRUE, 0xABCD011F, ""},
        {0x0000013F, 2, 1, 0, TRUE, 0x00000120, ""},
        {0xFFFFFFFF, -1, 0xFFFFFFFF, 0, TRUE, 0xFFFFFFE0, "Wrote Jastel.RAM.dw = [0xFFFFFFE0]\n"},
        {0, 1, 1, 0x4, FALSE, 0x1B, ""},
        {0x100, 0, 1, 0x80000000, FALSE, 0x80000100, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.after);
        controller.Ram() = row.before;
        controller.flipped = row.flipped;
        EXPECT_EQ(jastel.RAMClockEnable(row.enable, row.verbose), row.ok);
        EXPECT_EQ(controller.Ram(), row.after);
        EXPECT_EQ(TakeText(), row.text);
    }
    jastel.SetControllerRegisters(RegisterPtr());
    EXPECT_FALSE(jastel.RAMClockEnable(1, 2));  // no block: nothing to touch
}

TEST_F(Jastel, RunAnswersOnlyTheExactKeywordVerboseInEngineeringModeOnly) {
    EXPECT_EQ(jastel.Run("SorbelinRAM_CE"), kRunPassed);
    EXPECT_EQ(controller.Ram(), 0x1Fu);
    EXPECT_EQ(TakeText(), "");  // no PASS line: the root's header and the result report it
    for (const char* other : {"SorbelinRAM_CE VERBOSE=2", "sorbelinram_ce", ""}) {
        controller.writes = 0;
        EXPECT_EQ(jastel.Run(other), kRunFailed) << other;
        EXPECT_EQ(TakeText(), "\n\nERROR:  CJastel\n\"" + std::string(other) + "\" Not recognized as a valid test\n");
        EXPECT_EQ(controller.writes, 0);
    }
    controller.flipped = 0x1;
    EXPECT_EQ(jastel.Run("SorbelinRAM_CE"), kRunFailed);
    controller.flipped = 0;
    cwd.Dir().Write("CmdLine", "pexhost -ENGINEERING");
    EXPECT_EQ(jastel.Run("SorbelinRAM_CE"), kRunPassed);
    EXPECT_EQ(TakeText(), "Wrote Jastel.RAM.dw = [0x0000001F]\n");
    cwd.Dir().Write("CmdLine", "pexhost -ENGINEERING -REGRESSION");
    EXPECT_EQ(jastel.Run("SorbelinRAM_CE"), kRunPassed);
    EXPECT_EQ(TakeText(), "");
}

}  // namespace
