// Tests of the BCU and DCB register pattern tests ("BCUActive", "DCBActive") on healthy rigs and rigs with descriptor faults.
#include "boards/dma/bcu_dcb_rw.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"

namespace {

using support::Count;
using support::HasAll;

// Sets the host's stop flag at the stopAt-th mask request (the BCU test asks once a pass, the DCB
// test once for every DCB it checks).
struct StopAt {
    int stopAt = 0, calls = 0;
    void Tick() {
        if (++calls == stopAt) *g_StopFlag() = 1;
    }
};
struct Bcu : support::Recording<C_BCU_RW_Active>, StopAt {
    Bcu() : Recording(CString("BCUActive")) {}
    const DWORD* GetMasks() override { return Tick(), C_BCU_RW_Active::GetMasks(); }
};
struct Dcb : support::Recording<C_DCB_RW_Active>, StopAt {
    Dcb() : Recording(CString("DCBActive")) {}
    const DWORD* GetMasks(int c, int d) override { return Tick(), C_DCB_RW_Active::GetMasks(c, d); }
};

// Both tests bound to Brimola1 of a main board at the firmware revision with the faults.
struct OnRig {
    explicit OnRig(const std::string& faults = "", const std::string& revision = "0xC75")
        : rig(support::MainBoardRig("[" + faults + "]", R"(, "revision": ")" + revision + "\"")) {
        bcu.SetupDevice("Brimola1");
        dcb.SetupDevice("Brimola1");
        support::TakeText();
    }
    ~OnRig() {
        *g_StopFlag() = 0;
        support::TakeText();
    }
    template <class T> DWORD Run(T& test) {
        test.out = {};
        return test.Run("any text");
    }
    static RegisterRef Reg(DWORD offset) { return support::RigBoard("Brimola1")->GetRegisters()[offset / 4]; }
    support::ScopedRig rig;
    Bcu bcu;
    Dcb dcb;
};

std::string Stuck(DWORD offset, int bit) {
    return R"({"kind": "register_stuck_bit", "board": "Brimola1", "value": 1, "offset": )" + std::to_string(offset) + R"(, "bit": )" +
           std::to_string(bit) + "}";
}
// Bit 0 of register 0 stuck at 1 in BCUs 0, 2, 4, ...: each fails passes 1 and 3 only.
std::string EvenBcusStuck(int count) {
    std::string faults;
    for (int n = 0; n < count; ++n) faults += (n ? ", " : "") + Stuck(0x70000 + 32 * n, 0);
    return faults;
}
std::string Alias(const char* memory, const char* fields) {
    return std::string(R"({"kind": "register_alias", "board": "Brimola1", "memory": ")") + memory + "\", " + fields + "}";
}

const char* const kFourOkay = "Testing with pattern 0x00000000...Okay\nTesting with pattern 0xFFFFFFFF...Okay\nTesting with pattern "
                              "0xAAAAAAAA...Okay\nTesting with pattern 0x55555555...Okay\nTesting with varying pattern...";

TEST(DescriptorRegisterTests, PassOnHealthyBoardsAndNameEveryFault) {
    struct Row {
        const char* name;
        bool dcb;
        const char* revision;
        std::string faults;
        DWORD result;
        std::vector<std::string> parts, absent = {};
    };
    const std::string noBar0 = R"({"kind": "missing_space", "board": "Brimola1", "space": "BAR0"})";
    const Row rows[] = {
        {"BcuHealthy", false, "0xC75", "", 1, {std::string(kFourOkay) + "Okay\nZeroing all BCUs\nRestoring all DCB Enable flags.\n"}},
        {"BcuHealthyOld", false, "0xC6F", "", 1, {" - All channels are ready for the test.\n"}},
        {"DcbHealthy", true, "0xC75", "", 1, {std::string(kFourOkay) + "Okay\nZeroing all DCBs\nFlushing all DCBs\nRestoring all"}},
        {"DcbHealthyOld", true, "0xC6F", "", 1, {"Testing with varying pattern...Okay\n"}},
        // 0xC70 is the first revision with every bit implemented: a healthy board passes there only
        // with the full masks (BCU register 1 reading 0), as it passes at 0xC6F only with the old ones.
        {"BcuHealthyAtC70", false, "0xC70", "", 1, {std::string(kFourOkay) + "Okay\n"}},
        {"DcbHealthyAtC70", true, "0xC70", "", 1, {std::string(kFourOkay) + "Okay\n"}},
        {"BcuStuckBit", false, "0xC75", Stuck(0x70120, 4), 2,
         {"0x00000000...Fault\n BCU #18; BAR0+70120\n", " 00000010 00000000 00000000 00000000\n", " Total failing BCUs: 1 of 512\n\n", "0x55555555...Okay\n"}},
        {"BcuRegister1MustReadZero", false, "0xC70", Stuck(0x70014, 0), 2, {" BCU #1; BAR0+70010\n", " 00000000 00000001 00000000"}},
        {"DcbStuckBit", true, "0xC75", Stuck(0x60644, 0), 2,
         {" Channel: 3;  DCB #2; BAR0+60640\n", " 00000000 00000001 00000000 00000000 00000000\n", " Total failing DCBs: 1 of 752\n\n"}},
        {"AddressWordsOfKind1Old", true, "0xC6F", Stuck(0x61814, 0), 2,
         {" Channel: 12;  DCB #0; BAR0+61800\n", " 00000000 00000000 00000000 00000000 00000000 00000001 00000000 00000000\n"}},
        {"NoAddressWordsOfKind0", true, "0xC6F", Stuck(0x60014, 0), 1, {}, {"Fault"}},
        {"AddressWordsUncheckedFromC70", true, "0xC75", Stuck(0x61814, 0), 1, {}, {"Fault"}},
        {"EightBcuFaults", false, "0xC75", EvenBcusStuck(8), 2, {" BCU #12; BAR0+700C0\n", " BCU #14; BAR0+700E0\n", " Total failing BCUs: 8 of 512"},
         {"Additional"}},
        {"NineBcuFaults", false, "0xC75", EvenBcusStuck(9), 2,
         {" BCU #12; BAR0+700C0\n", " ... Additional faults not detailed ...\n BCU #16; BAR0+70100\n", " Total failing BCUs: 9 of 512"}, {" BCU #14;"}},
        {"BcuAlias", false, "0xC75", Alias("bcu", R"("line": 0, "stuck": 0)"), 2,
         {std::string(kFourOkay) + "Fault\n BCU #0; BAR0+70000\n", "FDFE0301 00000000 FDFE0301 FDFE0301  FBFD0602", " Total failing BCUs: 256 of 512\n"}},
        {"DcbAlias", true, "0xC75", Alias("dcb", R"("line": 4, "shorted_to": 0)"), 2,
         {std::string(kFourOkay) + "Fault\n Channel: 0;  DCB #0; BAR0+60000\n", "is all FDFE0301.", " DDEE3311 DDEE3311", " ... Additional faults"}},
        {"ChannelNotDisabled", true, "0xC75", Stuck(0x58050, 0), 1,
         {" Error on channel 20 (BAUDIOOUT): Unable to disable this channel.\n", " Done - 46 channels ready for the test.\n"}, {"Fault"}},
        {"NoBar0Bcu", false, "0xC75", noBar0, 2, {"Testing with varying pattern...Error: No BCU on this device.\n"}},
        {"NoBar0Dcb", true, "0xC75", noBar0, 2, {"Testing with varying pattern...Error: No DCB on this device.\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        OnRig board(row.faults, row.revision);
        const DWORD result = row.dcb ? board.Run(board.dcb) : board.Run(board.bcu);
        const support::OutputLog& out = row.dcb ? board.dcb.out : board.bcu.out;
        EXPECT_EQ(result, row.result) << out.text;
        EXPECT_TRUE(HasAll(out.text, {row.dcb ? "DCBActive" : "BCUActive", "any text"}));
        EXPECT_TRUE(HasAll(out.text, row.parts));
        for (const std::string& part : row.absent) EXPECT_EQ(out.text.find(part), std::string::npos) << part << " in:\n" << out.text;
        EXPECT_TRUE(row.result != 1 || out.HasColoured("Okay\n", row.dcb ? kColorBlack : kColorGreen));  // green for BCUs, black for DCBs
        EXPECT_EQ(Count(out.text, "Error: No "), std::string(row.name).rfind("NoBar0", 0) == 0 ? 5u : 0u);
    }
}

TEST(DescriptorRegisterTests, StopsZeroAndRestoreAndALeftOutChannelIsNotTouched) {
    {
        OnRig board;
        *g_StopFlag() = 1;
        EXPECT_EQ(board.Run(board.bcu), 3u);
        EXPECT_EQ(board.Run(board.dcb), 3u);
        EXPECT_FALSE(board.dcb.out.Has("Disabling"));
    }
    {
        OnRig board;
        board.bcu.stopAt = 2;  // the mask request of pass 2
        EXPECT_EQ(board.Run(board.bcu), 3u);
        EXPECT_TRUE(board.bcu.out.HasColoured("Interrupted\n", kColorRed));
        EXPECT_TRUE(HasAll(board.bcu.out.text, {"0xFFFFFFFF...Interrupted\nZeroing all BCUs\nRestoring all DCB Enable flags.\n"}));
        EXPECT_FALSE(board.bcu.out.Has("0xAAAAAAAA"));
        EXPECT_EQ(board.Reg(0x71FF8), 0u);
    }
    {
        OnRig board;
        board.dcb.stopAt = 47 * 16 + 1;  // the first DCB of pass 2
        EXPECT_EQ(board.Run(board.dcb), 2u);
        EXPECT_TRUE(HasAll(board.dcb.out.text, {"0xFFFFFFFF...Interrupted\nZeroing all DCBs\nFlushing all DCBs\nRestoring all DCB Enable flags.\n"}));
        EXPECT_FALSE(board.dcb.out.Has("0xAAAAAAAA"));
        EXPECT_EQ(board.Reg(0x60664), 0u);
        EXPECT_EQ(board.Reg(0x58000) & 1, 1u);
    }
    // Channel 20 cannot be disabled, channel 5 starts disabled; DCB 5 of channel 20 and a BCU hold words.
    OnRig board(Stuck(0x58050, 0));
    board.Reg(0x58014) = 0;
    board.Reg(0x628A8) = 0x1234;
    board.Reg(0x70078) = 0x5678;
    EXPECT_EQ(board.Run(board.dcb), 1u);
    EXPECT_EQ(board.Run(board.bcu), 1u);
    EXPECT_EQ(board.Reg(0x628A8), 0x1234u) << "the left-out channel's DCBs are neither written nor zeroed";
    EXPECT_EQ(board.Reg(0x60664), 0u);
    EXPECT_EQ(board.Reg(0x70078), 0u);
    for (int c = 0; c < 64; ++c)
        EXPECT_EQ(board.Reg(0x58000 + 4 * c) & 1, DWORD{g_DMAChannelTable[c].present && c != 5}) << "channel " << c;
}

TEST(DescriptorRegisterTests, HelpTextsAndRevisionText) {
    Bcu bcu;
    Dcb dcb;
    bcu.Help("");
    dcb.Help("");
    EXPECT_TRUE(HasAll(bcu.out.text, {"This test is intended to check the Active regions of the BCU\naddress space."}));
    EXPECT_TRUE(HasAll(dcb.out.text, {"Test: DCBactive\n This test disables", "each DCB.\n\n This is the \"Active\" DCB R/W test"}));
    struct Text { const char* text; DWORD value; };
    for (const Text& t : {Text{"0C6F", 0xC6F}, Text{"c70", 0xC70}, Text{"", 0}, Text{"0C7G", 0}, Text{"123456789", 0}})
        EXPECT_EQ(DescriptorMaskRevision(t.text), t.value) << t.text;
}

}  // namespace
