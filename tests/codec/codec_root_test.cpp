// The codec members of the codec-board root, run as the host runs them: programming, every diagnostics keyword, the package date.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/boards/root_fixture.h"

namespace {

using CodecRoot = RootKeywords;

TEST_F(CodecRoot, TheDiagnosticsImageIsProgrammedAndEveryKeywordPassesOnBothChips) {
    for (const char* chip : {"A", "B"}) {
        SCOPED_TRACE(chip);
        const std::string test = std::string("Nuxa1 <CSorbelinDiag") + chip + " ";
        std::string out;
        ASSERT_EQ(Run(test + "Program VERBOSITY=1 FILE=$(CWD)\\testdata\\SDIA$(VPDVER).oxd>", &out), kRunPassed) << out;
        EXPECT_NE(out.find("SDIA0202.oxd] Revision[0102]"), std::string::npos) << out;
        for (const char* keyword : {"FIFO EMIF_A", "FIFO EMIF_B", "RAMTable EMIF_A", "RAMTable EMIF_B", "SDRAM_32 Block", "SDRAM_64 Block",
                                    "SDRAM_32 Address", "SDRAM_64 Address", "Register write EMIF_A", "Register write EMIF_B",
                                    "Register read EMIF_A", "Register read EMIF_B", "RAM_Init", "Reset", "Show Programmed Info"})
            EXPECT_EQ(Run(test + keyword + ">", &out), kRunPassed) << keyword << "\n" << out;
        EXPECT_EQ(Run(test + "SDRAM_32/64 Block>", &out), kRunFailed);
    }
    // The bridge and the DSPs take no commands.
    for (const char* name : {"CDremolun", "CNuxaDSPA", "CNuxaDSPB"}) {
        std::string out;
        EXPECT_EQ(Run(std::string("Nuxa1 <") + name + " Reset>", &out), kRunFailed);
        EXPECT_NE(out.find(std::string("ERROR:  ") + name + "\n\"Reset\" Not recognized as a valid test\n"), std::string::npos) << out;
    }
}

TEST_F(CodecRoot, TheEncoderTestsTakeTheirCommandsOnBothChips) {
    for (const char* chip : {"A", "B"}) {
        SCOPED_TRACE(chip);
        const std::string test = std::string("Nuxa1 <CSorbelinEncoder") + chip + " ";
        std::string out;
        EXPECT_EQ(Run(test + "Set Environment VARIABLE=vcid_list VALUE=(0x4d6)>", &out), kRunPassed) << out;
        EXPECT_NE(out.find("VCID_LIST = 0X4D6\n"), std::string::npos) << out;
        ASSERT_EQ(Run(test + "Program VERBOSITY=1 FILE=$(CWD)\\testdata\\GUWT$(VPDVER).oxd>", &out), kRunPassed) << out;
        EXPECT_NE(out.find("GUWT0202.oxd] Revision[0850]"), std::string::npos) << out;
        EXPECT_EQ(Run(test + "RAM_Init VERBOSE=2>", &out), kRunPassed) << out;
        EXPECT_NE(out.find("Coeff DDR done received\n"), std::string::npos) << out;
        EXPECT_EQ(Run(test + "Show RevID>", &out), kRunPassed) << out;
        EXPECT_NE(out.find(std::string("Revision ID register = [0x1") + (chip[0] == 'A' ? "6" : "7") + "008050]\n"), std::string::npos) << out;
        EXPECT_EQ(Run(test + "Dump Regs>", &out), kRunPassed) << out;
        EXPECT_NE(out.find("CRAM[15]  Addr[0x600001F0]"), std::string::npos) << out;
        EXPECT_EQ(Run(test + "Clear Environment FRAMES=2>", &out), kRunFailed);
        EXPECT_NE(out.find("\"Clear Environment FRAMES=2\" Not recognized as a valid test\n"), std::string::npos) << out;
    }
}

// A round trip leaves its DCBs on the chip's channels; the root's DCB-addressed save re-issues
// the command to the unpacker test with those channels, and the unpacker saves both images.
TEST_F(CodecRoot, TheUnpackerRunsItsRoundTripsAndTakesTheRootsDcbSaves) {
    for (const char* chip : {"A", "B"}) {
        SCOPED_TRACE(chip);
        const std::string test = std::string("Nuxa1 <CSorbelinUnpacker") + chip + " ";
        std::string out;
        ASSERT_EQ(Run(test + "Program VERBOSITY=1 FILE=$(CWD)\\testdata\\UPQE$(VPDVER).oxd>", &out), kRunPassed) << out;
        EXPECT_NE(out.find("UPQE0202.oxd] Revision[060B]"), std::string::npos) << out;
        EXPECT_EQ(Run(test + "\"Video:Image\" DIM=(64,64)>", &out), kRunPassed) << out;
        const std::string save = std::string("Nuxa1 <CNuxaBoard \"Save Image\" ADDRESS=@DCB(UNPACKER, DEVICE") + chip +
                                 ", 1, 1) DIM=(64,64) FILE=saved" + chip + ">";
        EXPECT_EQ(Run(save, &out), kRunPassed) << out;
        EXPECT_NE(out.find(std::string("\"Save Image\" ADDRESS=@DCB(") + (chip[0] == 'A' ? "28, 24" : "29, 25") + ", 1)"), std::string::npos)
            << out;
        EXPECT_NE(out.find("Wexal Address:  Src[0x00800000]  Dst[0x00001000]\n"), std::string::npos) << out;
        EXPECT_TRUE(std::filesystem::exists(Dir().File(std::string("saved") + chip + ".Unpacked.1"))) << out;
    }
}

// The decoder tests have no sub-tests of their own yet and the main-FPGA unpacker tests take no
// command: each is reached under its registered name, carries out what its class takes (the codec
// tests' base commands, on the test's own chip) and answers anything else "Not recognized".
TEST_F(CodecRoot, DecoderAndMainFpgaUnpackerTestsAnswerWhatTheirClassTakes) {
    struct Row {
        const char* test;
        bool help;  // asked for help on the command instead of running it
        const char* command;
        DWORD result;
        const char* says;
    } rows[] = {
        {"CSorbelinDecoderA", false, "Show DCB Info", kRunPassed, "Channel[28] DCB[0]"},
        {"CSorbelinDecoderB", false, "Show DCB Info", kRunPassed, "Channel[29] DCB[0]"},
        {"CSorbelinDecoderB", false, "Program VERBOSITY=1 FILE=$(CWD)\\testdata\\SDIA$(VPDVER).oxd", kRunPassed,
         "SDIA0202.oxd] Revision[0102]"},
        {"CSorbelinDecoderA", false, "Reset", kRunPassed, ""},
        {"CSorbelinDecoderA", false, "Decode FRAMES=2", kRunFailed,
         "\n\nERROR:  CSorbelinDecoder\n\"Decode FRAMES=2\" Not recognized as a valid test\n"},
        {"CSorbelinDecoderB", false, "reset", kRunFailed, "\n\nERROR:  CSorbelinDecoder\n\"reset\" Not recognized as a valid test\n"},
        {"CSorbelinDecoderA", true, "Reset", kRunPassed, "\nHelp is not available for:\n  CSorbelin Reset\n"},
        {"CSorbelinDecoderB", true, "Decode", kRunPassed, "\nHelp is not available for:\n  CSorbelinDecoder Decode\n"},
        {"CWexal.Unpacker.A", false, "Reset", kRunFailed, "\n\nERROR:  CWexal.Unpacker.A\n\"Reset\" Not recognized as a valid test\n"},
        {"CWexal.Unpacker.B", false, "Unpack Image SW", kRunFailed,
         "\n\nERROR:  CWexal.Unpacker.B\n\"Unpack Image SW\" Not recognized as a valid test\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.test) + " " + row.command);
        const std::string command = std::string("Nuxa1 <") + row.test + " " + row.command + ">";
        std::string out;
        if (row.help) {
            EXPECT_EQ(nuxa.Help(command.c_str()), kRunPassed);
            out = support::TakeText();
        } else {
            EXPECT_EQ(Run(command, &out), row.result) << out;
        }
        EXPECT_NE(out.find(row.says), std::string::npos) << out;
        EXPECT_EQ(out.find("Unable to find test"), std::string::npos) << out;
    }
    // Every codec test, the decoders among them, reads the root's fill pattern after a run.
    ASSERT_EQ(Run("Nuxa1 <CSorbelinDecoderA Reset>"), kRunPassed);
    for (const char* name : {"CSorbelinDiagA", "CSorbelinDiagB", "CSorbelinPackerA", "CSorbelinPackerB", "CSorbelinUnpackerA",
                             "CSorbelinUnpackerB", "CSorbelinEncoderA", "CSorbelinEncoderB", "CSorbelinDecoderA", "CSorbelinDecoderB"}) {
        auto* test = dynamic_cast<CSorbelin*>(nuxa.GetChildMap()->at(name));
        ASSERT_NE(test, nullptr) << name;
        EXPECT_EQ(test->GetPatternBuffer(), &nuxa.GetPatternBuffer()) << name;
    }
}

// Numbers the codec tests cannot hold, as the host hands them over: each leaf fails with its red
// line and runs nothing (no phase is tried, no VCID tested), and the next leaf runs as before.
TEST_F(CodecRoot, NumbersPastTheirFieldsFailTheirLeafAndTheNextRuns) {
    const std::string intRange = " does not fit its range -2147483648..2147483647\n";
    const std::string step = "STEP must not be above 255: the phases run 0x00 ... 0xFF\n";
    const std::string unpacker = " FPGA=$(CWD)\\testdata\\UPQE$(VPDVER).oxd>", packer = " FILE=$(CWD)\\testdata\\PAQF$(VPDVER).oxd>";
    struct Row {
        std::string command;
        DWORD result;
        std::string says;
    } const rows[] = {
        {"Nuxa1 <CSorbelinEncoderB Program VERBOSITY=1 FILE=$(CWD)\\testdata\\GUWT$(VPDVER).oxd>", kRunPassed, "Revision[0850]"},
        {"Nuxa1 <CSorbelinEncoderB RAM_Init VERBOSE=4294967298>", kRunFailed, "Argument VERBOSE=4294967298" + intRange},
        {"Nuxa1 <CSorbelinEncoderB Program VERBOSITY=1 FILE=$(CWD)\\testdata\\GUWT$(VPDVER).oxd VERBOSE=4294967298>", kRunFailed,
         "Argument VERBOSE=4294967298" + intRange},
        {"Nuxa1 <CSorbelinDiagA Reset VERBOSE=-2147483649>", kRunFailed, "Argument VERBOSE=-2147483649" + intRange},
        {"Nuxa1 <CSorbelinEncoderB RAM_Init VERBOSE=2>", kRunPassed, "Coeff DDR done received\n"},
        {"Nuxa1 <CSorbelinEncoderA Set Environment VARIABLE=VCID_LIST VALUE=(0x1000004D6)>", kRunPassed, "VCID_LIST = 0X1000004D6\n"},
        {"Nuxa1 <CSorbelinEncoderA Encode>", kRunFailed, "Argument VCID_LIST=0X1000004D6 does not fit its range 0..4294967295\n"},
        {"Nuxa1 <CSorbelinEncoderA Set Environment VARIABLE=VCID_LIST VALUE=((4294968534))>", kRunPassed, "VCID_LIST = (4294968534)\n"},
        {"Nuxa1 <CSorbelinEncoderA Encode>", kRunFailed, "Argument VCID_LIST=(4294968534) does not fit its range 0..4294967295\n"},
        {"Nuxa1 <CSorbelinUnpackerA \"MemBist Scan\" DRAM=64 RANGE=(0x01,0x02) STEP=2147483647,1" + unpacker, kRunFailed, step},
        {"Nuxa1 <CSorbelinUnpackerA \"MemBist Scan\" DRAM=64 RANGE=(0x01,0x02) STEP=8,2147483647 MAXFAIL=0" + unpacker, kRunFailed, step},
        {"Nuxa1 <CSorbelinPackerA \"MemBist Scan\" DRAM=64 RANGE=(0x01,0x02) STEP=2147483647,1" + packer, kRunFailed, step},
        {"Nuxa1 <CSorbelinPackerA \"MemBist Scan\" DRAM=64 RANGE=(0x01,0x02) STEP=8,2147483647 MAXFAIL=0" + packer, kRunFailed, step},
        {"Nuxa1 <CSorbelinPackerA \"MemBist Scan\" DRAM=64 RANGE=(0x48,0x50) STEP=8,8 MAXFAIL=0" + packer, kRunPassed, "--- KEY ---"},
    };
    for (const Row& row : rows) {
        std::string out;
        EXPECT_EQ(Run(row.command, &out), row.result) << row.command << "\n" << out;
        EXPECT_NE(out.find(row.says), std::string::npos) << row.command << "\n" << out;
        if (row.result == kRunFailed) {
            EXPECT_EQ(out.find("--- TRY"), std::string::npos) << row.command;
            EXPECT_EQ(out.find("Test VCID["), std::string::npos) << row.command;
        }
    }
}

TEST_F(CodecRoot, DisplayRevShowsTheInstalledPackageDateAndTheCodecImageRevision) {
    // The host's system folder, where the build installs the packages and the microcode.
    std::filesystem::create_directory_symlink(std::string(PEX_BIN_DIR) + "/system", Dir().File("system"));
    std::string out;
    EXPECT_EQ(Run("Nuxa1 <CNuxaBoard Display Rev FILE=$(ZORV)\\$(ZYVPKG)>", &out), kRunPassed);
    EXPECT_NE(out.find("] date[20040521]\n"), std::string::npos) << out;
    EXPECT_EQ(Run("Nuxa1 <CNuxaBoard Display Rev FILE=$(CWD)\\testdata\\SDIA$(VPDVER).oxd>", &out), kRunPassed);
    EXPECT_NE(out.find("Revision[0102]"), std::string::npos) << out;
}

}  // namespace
