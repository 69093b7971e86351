// Tests of CJastel: the RAM clock enable read-modify-write and read-back, and its one keyword.
#include "boards/flash/jastel.h"

#include <gtest/gtest.h>

#include "devlib/devices.h"
#include "tests/support/rig.h"
#include "tests/support/output.h"

namespace {

// A controller block at BAR0 0x4000 whose RAM register may have bits that do not hold.
class FakeController : public CRegisterWindow {
public:
    DWORD Read(DWORD offset) override {
        ++reads;
        const DWORD v = m_words[Index(offset)];
        return (v & ~stuckMask) | (stuckValue & stuckMask);
    }
    void Write(DWORD offset, DWORD value) override {
        ++writes;
        m_words[Index(offset)] = value ^ toggledByWrite;
    }
    DWORD Size() const override { return 0x4020; }

    RegisterPtr Block() { return RegisterPtr(this, 0x4000); }
    DWORD Ram() const { return m_words[6]; }
    void SetRam(DWORD v) { m_words[6] = v; }

    DWORD stuckMask = 0;
    DWORD stuckValue = 0;
    DWORD toggledByWrite = 0;  // bits the hardware turns over when the register is written
    int reads = 0;
    int writes = 0;

private:
    static size_t Index(DWORD offset) { return (offset - 0x4000) / 4 % 8; }
    DWORD m_words[8] = {};
};

using support::TakeText;

TEST(Jastel, RamClockEnableSwitchesExactlyTheClockGroup) {
    support::InTempCwd cwd;  // no "CmdLine": no creation line
    CJastel jastel("CJastel");
    FakeController controller;
    jastel.SetControllerRegisters(controller.Block());
    TakeText();
    // Enable 1 sets bits 0-4; anything else clears them; the rest stays as read. Verbose 2 or more
    // says what was written.
    struct Row { DWORD before; int enable; DWORD verbose; DWORD after; const char* text; };
    const Row rows[] = {
        {0xABCD0100, 1, 1, 0xABCD011F, ""},
        {0xFFFFFFFF, 0, 1, 0xFFFFFFE0, ""},
        {0x0000013F, 2, 1, 0x00000120, ""},
        {0, 1, 2, 0x1F, "Wrote Jastel.RAM.dw = [0x0000001F]\n"},
        {0xFFFFFFFF, -1, 0xFFFFFFFF, 0xFFFFFFE0, "Wrote Jastel.RAM.dw = [0xFFFFFFE0]\n"},
    };
    for (const Row& row : rows) {
        controller.SetRam(row.before);
        EXPECT_TRUE(jastel.RAMClockEnable(row.enable, row.verbose));
        EXPECT_EQ(controller.Ram(), row.after) << row.enable;
        EXPECT_EQ(TakeText(), row.text);
    }
}

TEST(Jastel, ReadBackMismatchOrMissingBlockFails) {
    support::InTempCwd cwd;
    CJastel jastel("CJastel");
    FakeController controller;

    // No block yet: nothing touched.
    EXPECT_FALSE(jastel.RAMClockEnable(1, 2));
    EXPECT_EQ(TakeText(), "");

    jastel.SetControllerRegisters(controller.Block());
    // A clock bit that does not hold.
    controller.stuckMask = 0x4;
    EXPECT_FALSE(jastel.RAMClockEnable(1, 1));
    EXPECT_EQ(controller.Ram(), 0x1Fu);  // the write went out
    // A bit outside the group that reads back otherwise counts too.
    controller.stuckMask = 0;
    controller.toggledByWrite = 0x80000000;
    controller.SetRam(0x100);
    EXPECT_FALSE(jastel.RAMClockEnable(0, 1));
    EXPECT_EQ(controller.Ram(), 0x80000100u);  // what the hardware made of the write
    controller.toggledByWrite = 0;
    EXPECT_TRUE(jastel.RAMClockEnable(1, 1));
    EXPECT_EQ(controller.reads, 6);  // one read before and one after each write
    EXPECT_EQ(controller.writes, 3);
}

TEST(Jastel, RunAnswersOnlyTheExactKeyword) {
    support::InTempCwd cwd;
    CJastel jastel("CJastel");
    EXPECT_EQ(jastel.GetCodeName(), "CJastel");
    EXPECT_EQ(jastel.GetName(), "CJastel");
    FakeController controller;
    jastel.SetControllerRegisters(controller.Block());
    TakeText();

    EXPECT_EQ(jastel.Run("SorbelinRAM_CE"), kRunPassed);
    EXPECT_EQ(controller.Ram(), 0x1Fu);
    EXPECT_EQ(TakeText(), "");  // no PASS line: the root's header and the result report it

    for (const char* other : {"SorbelinRAM_CE VERBOSE=2", "sorbelinram_ce", "SorbelinRAM", ""}) {
        controller.writes = 0;
        EXPECT_EQ(jastel.Run(other), kRunFailed) << other;
        EXPECT_EQ(TakeText(), "\n\nERROR:  CJastel\n\"" + std::string(other) + "\" Not recognized as a valid test\n");
        EXPECT_EQ(controller.writes, 0);
    }

    controller.stuckMask = 0x1;
    EXPECT_EQ(jastel.Run("SorbelinRAM_CE"), kRunFailed);
    jastel.SetControllerRegisters(RegisterPtr());
    EXPECT_EQ(jastel.Run("SorbelinRAM_CE"), kRunFailed);
}

TEST(Jastel, RunIsVerboseInEngineeringModeOnly) {
    support::InTempCwd cwd;
    CJastel jastel("CJastel");
    FakeController controller;
    jastel.SetControllerRegisters(controller.Block());

    cwd.Dir().Write("CmdLine", "pexhost -ENGINEERING");
    TakeText();
    EXPECT_EQ(jastel.Run("SorbelinRAM_CE"), kRunPassed);
    EXPECT_EQ(TakeText(), "Wrote Jastel.RAM.dw = [0x0000001F]\n");

    cwd.Dir().Write("CmdLine", "pexhost -ENGINEERING -REGRESSION");
    EXPECT_EQ(jastel.Run("SorbelinRAM_CE"), kRunPassed);
    EXPECT_EQ(TakeText(), "");
}

TEST(Jastel, SimulatedControllerHoldsTheRamRegister) {
    support::InTempCwd cwd;
    support::ScopedRig rig(R"({"boards": [{"tag": "Nuxa1", "kind": "nuxa"}]})");
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetZorvHardware()->GetDevice("Nuxa1"));
    ASSERT_NE(board, nullptr);
    const RegisterPtr block = board->GetControllerRegisters();
    ASSERT_TRUE(block);
    EXPECT_EQ(static_cast<DWORD>(block[CJastel::kRamWord]), 0x1Fu);  // power-up

    CJastel jastel("CJastel");
    jastel.SetControllerRegisters(block);
    block[CJastel::kRamWord] = 0x100;
    EXPECT_TRUE(jastel.RAMClockEnable(1, 1));
    EXPECT_EQ(static_cast<DWORD>(block[CJastel::kRamWord]), 0x11Fu);
    EXPECT_TRUE(jastel.RAMClockEnable(0, 1));
    EXPECT_EQ(static_cast<DWORD>(block[CJastel::kRamWord]), 0x100u);
}

}  // namespace
