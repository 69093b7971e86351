// Tests of the board roots built directly: dispatch to children and keywords, help, DIMM checks, switches.
#include <gtest/gtest.h>

#include <string>

#include "boards/roots/brimola_board_tests.h"
#include "boards/roots/nuxa_board_tests.h"
#include "platform/paths.h"
#include "tests/support/rig.h"
#include "tests/support/output.h"

namespace {

std::string TakeText() { return CTestBase::TakePreHostText(TRUE).str(); }

// A child that keeps what it was asked and may clear the board's RAM clock enables while it runs.
class ProbeTest : public CWexalTreeMapTB {
public:
    explicit ProbeTest(const char* name) : CWexalTreeMapTB(name) {}
    DWORD Run(CString arguments) override {
        runs.push_back(arguments.str());
        deviceAtRun = GetDevice();
        if (clearRam)
            if (auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice())) board->GetControllerRegisters()[6] = 0;
        return result;
    }
    DWORD Help(CString arguments) override {
        helps.push_back(arguments.str());
        return kRunPassed;
    }
    std::vector<std::string> runs, helps;
    CZorvDevice* deviceAtRun = nullptr;
    DWORD result = kRunPassed;
    bool clearRam = false;
};

// Roots read "CmdLine" from the current folder and their tree from the program folder: both are a
// fresh temporary folder here, without a tree file unless a test writes one.
class BoardRoots : public ::testing::Test {
protected:
    BoardRoots() { platform::SetProgramDir(m_cwd.Dir().Path()); }
    ~BoardRoots() override {
        platform::SetProgramDir("");
        TakeText();
    }
    void Switches(const std::string& text) { m_cwd.Dir().Write("CmdLine", "pexhost " + text); }
    const support::TempDir& Dir() const { return m_cwd.Dir(); }

    support::InTempCwd m_cwd;
};

RegisterPtr RamBlock(const char* tag) {
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetZorvHardware()->GetDevice(tag));
    return board ? board->GetControllerRegisters() : RegisterPtr();
}

TEST_F(BoardRoots, RunSelectsTheDeviceHandsItToEveryChildAndReturnsTheChildsResult) {
    Switches("");
    CBrimolaBoardTests root("CBrimolaBoard");
    ProbeTest probe("CProbe"), other("COther");
    ASSERT_TRUE(probe.AddToMap(&root));
    ASSERT_TRUE(other.AddToMap(&root));
    TakeText();

    EXPECT_EQ(root.Run("Brimola1 <CProbe Clear Memory>"), kRunPassed);
    ASSERT_EQ(probe.runs.size(), 1u);
    EXPECT_EQ(probe.runs[0], "Clear Memory");
    ASSERT_NE(probe.deviceAtRun, nullptr);
    EXPECT_EQ(probe.deviceAtRun->GetTag(), "Brimola1");
    EXPECT_EQ(other.GetDevice(), probe.deviceAtRun);  // every child, not only the one that runs
    EXPECT_EQ(TakeText(), "\n--- CProbe Clear Memory ---\n");
    EXPECT_EQ(root.GetController()->GetControllerRegisters(), RamBlock("Brimola1"));

    // VERBOSE=0 among the arguments: no header; the child's result comes back as it is.
    probe.result = kRunStopped;
    EXPECT_EQ(root.Run("Brimola1 <CProbe Random Memory Test VERBOSE = 0 SEED=5>"), kRunStopped);
    EXPECT_EQ(probe.runs.back(), "Random Memory Test VERBOSE = 0 SEED=5");
    EXPECT_EQ(TakeText(), "");
    probe.result = kRunFailed;
    EXPECT_EQ(root.Run("Brimola1 <CProbe verbose=2>"), kRunFailed);
    EXPECT_EQ(TakeText(), "\n--- CProbe verbose=2 ---\n");
}

TEST_F(BoardRoots, UnknownTestsAndDevicesAreAnsweredWithErrors) {
    Switches("");
    CBrimolaBoardTests root("CBrimolaBoard");
    ProbeTest probe("CProbe");
    probe.AddToMap(&root);
    ASSERT_EQ(root.Run("Brimola1 <CProbe a>"), kRunPassed);
    TakeText();

    // Only exact names: a prefix is not found; the main board's controller is no test.
    for (const char* command : {"Brimola1 <CProb a>", "Brimola1 <cprobe a>", "Brimola1 <CJastel SorbelinRAM_CE>",
                                "Brimola1 CProbe a"}) {
        EXPECT_EQ(root.Run(command), kRunFailed) << command;
        EXPECT_EQ(TakeText(), "ERROR:  Unable to find test[" + std::string(command) + "]\n");
    }
    EXPECT_EQ(probe.runs.size(), 1u);

    // A device the library does not know: nothing runs and the children keep what they had.
    EXPECT_EQ(root.Run("Brimola7 <CProbe a>"), kRunFailed);
    EXPECT_NE(TakeText().find("ERROR:  m_pDevice is NULL"), std::string::npos);
    EXPECT_EQ(probe.runs.size(), 1u);
    ASSERT_NE(probe.GetDevice(), nullptr);
    EXPECT_EQ(probe.GetDevice()->GetTag(), "Brimola1");
    // A codec board named to the main board's root is still a board the root can select.
    EXPECT_EQ(root.Run("Nuxa1 <CProbe b>"), kRunPassed);
    EXPECT_EQ(probe.deviceAtRun->GetTag(), "Nuxa1");
}

// The first token after "<" names the test, with or without arguments; the arguments run to the
// last ">", so a ">" inside them stays.
TEST_F(BoardRoots, TheFirstTokenInTheBracketsNamesTheTest) {
    Switches("");
    CBrimolaBoardTests root("CBrimolaBoard");
    ProbeTest probe("CProbe");
    probe.AddToMap(&root);
    TakeText();

    EXPECT_EQ(root.Run("Brimola1 Lines <CProbe>"), kRunPassed);
    ASSERT_EQ(probe.runs.size(), 1u);
    EXPECT_EQ(probe.runs[0], "");
    EXPECT_EQ(TakeText(), "\n--- CProbe  ---\n");
    EXPECT_EQ(root.Run("Brimola1 <CProbe ARG=1>"), kRunPassed);
    EXPECT_EQ(probe.runs.back(), "ARG=1");
    EXPECT_EQ(TakeText(), "\n--- CProbe ARG=1 ---\n");
    EXPECT_EQ(root.Run("Brimola1 <CProbe NOTE=(a>b) ARG=1> dropped"), kRunPassed);
    EXPECT_EQ(probe.runs.back(), "NOTE=(a>b) ARG=1");
    EXPECT_EQ(TakeText(), "\n--- CProbe NOTE=(a>b) ARG=1 ---\n");
    EXPECT_EQ(probe.runs.size(), 3u);

    // The root itself without a keyword is found and answers that nothing matched.
    EXPECT_EQ(root.Run("Brimola1 <CBrimolaBoard>"), kRunFailed);
    EXPECT_NE(TakeText().find("\"Brimola1 <CBrimolaBoard>\" Not recognized as a valid test\n"), std::string::npos);
    EXPECT_EQ(root.Help("Brimola1 <CProbe>"), kRunPassed);
    ASSERT_EQ(probe.helps.size(), 1u);
    EXPECT_EQ(probe.helps[0], "");
    // An empty bracket names nothing.
    EXPECT_EQ(root.Run("Brimola1 <>"), kRunFailed);
    EXPECT_EQ(TakeText(), "ERROR:  Unable to find test[Brimola1 <>]\n");
}

TEST_F(BoardRoots, TheRamClockWordIsRestoredAfterEveryRun) {
    Switches("");
    CNuxaBoardTests root("CNuxaBoard");
    ProbeTest probe("CProbe");
    probe.AddToMap(&root);
    const RegisterPtr block = RamBlock("Nuxa1");
    ASSERT_TRUE(block);

    block[6] = 0x104;
    probe.clearRam = true;
    EXPECT_EQ(root.Run("Nuxa1 <CProbe x>"), kRunPassed);
    EXPECT_EQ(static_cast<DWORD>(block[6]), 0x104u);

    // The codec board's controller test enables the clocks; the root puts the word back after it.
    block[6] = 0x100;
    EXPECT_EQ(root.Run("Nuxa1 <CJastel SorbelinRAM_CE>"), kRunPassed);
    EXPECT_EQ(static_cast<DWORD>(block[6]), 0x100u);
    TakeText();
    EXPECT_EQ(root.Run("Nuxa1 <CJastel SorbelinRAM_CE VERBOSE=0>"), kRunFailed);
    const std::string text = TakeText();
    EXPECT_EQ(text.find("--- CJastel"), std::string::npos);
    EXPECT_NE(text.find("Not recognized as a valid test"), std::string::npos);
    block[6] = 0x1F;
}

TEST_F(BoardRoots, KeywordCommandsOfTheRoots) {
    Switches("");
    CBrimolaBoardTests brimola("CBrimolaBoard");
    CNuxaBoardTests nuxa("CNuxaBoard");
    TakeText();

    brimola.GetSummary().push_back("line one\n");
    brimola.GetSummary().push_back("line two\n");
    EXPECT_EQ(brimola.Run("Brimola1 <CBrimolaBoard Show Test Summary>"), kRunPassed);
    EXPECT_EQ(TakeText(), "\n--- CBrimolaBoard Show Test Summary ---\nline one\nline two\n");
    EXPECT_TRUE(brimola.GetSummary().empty());

    // Not the exact keyword, other case, or a command whose handler is not in this build.
    for (const char* command : {"Brimola1 <CBrimolaBoard Show VPD Information now>",
                                "Brimola1 <CBrimolaBoard show test summary>", "Brimola1 <CBrimolaBoard Display Rev FILE=x>"}) {
        EXPECT_EQ(brimola.Run(command), kRunFailed);
        const std::string text = TakeText();
        EXPECT_NE(text.find("\n\nERROR:  CBrimolaBoardTests\n\"" + std::string(command) +
                            "\" Not recognized as a valid test\n"),
                  std::string::npos)
            << text;
    }
    EXPECT_EQ(nuxa.Run("Nuxa1 <CNuxaBoard Zero> VERBOSE=0"), kRunFailed);
    EXPECT_EQ(TakeText(), "\n--- CNuxaBoard Zero ---\n\n\nERROR:  CNuxaBoardTests\n\"Nuxa1 <CNuxaBoard Zero> VERBOSE=0\" Not "
                          "recognized as a valid test\n");

    // "Copy File" gets the whole command text.
    Dir().Write("a.txt", "alpha");
    Dir().Write("b.txt", "old");
    const std::string copy = "Nuxa1 <CNuxaBoard Copy File SRC=" + Dir().File("a.txt") + " DST=" + Dir().File("b.txt") +
                             " -OVERWRITE VERBOSE=0>";
    EXPECT_EQ(nuxa.Run(copy.c_str()), kRunPassed);
    EXPECT_EQ(Dir().Read("b.txt"), "alpha");
    EXPECT_EQ(TakeText(), "");
    // A DST= that ends the command does not take the closing ">" into the file name.
    Dir().Write("c.txt", "old");
    const std::string last = "Nuxa1 <CNuxaBoard Copy File SRC=" + Dir().File("a.txt") + " -OVERWRITE DST=" + Dir().File("c.txt") + ">";
    EXPECT_EQ(nuxa.Run(last.c_str()), kRunPassed) << TakeText();
    EXPECT_EQ(Dir().Read("c.txt"), "alpha");
    const std::string missing = "Nuxa1 <CNuxaBoard Copy File SRC=" + Dir().File("none.txt") + " DST=" + Dir().File("b.txt") + ">";
    EXPECT_EQ(nuxa.Run(missing.c_str()), kRunFailed);
    const std::string text = TakeText();
    EXPECT_NE(text.find("ERROR:  File copy failed\n"), std::string::npos) << text;

    // "FileMap" names a log file that the root's later writes go to, on either board.
    const std::string map = "Brimola1 <CBrimolaBoard FileMap FILE=" + Dir().File("run.log") + " NAME=RUN VERBOSE=0>";
    EXPECT_EQ(brimola.Run(map.c_str()), kRunPassed);
    EXPECT_TRUE(brimola.WriteLog("RUN", "logged\n"));
    // Argument values arrive upper-cased, and a new file keeps the name as given.
    EXPECT_EQ(Dir().Read("RUN.LOG"), "logged\n");
    EXPECT_EQ(nuxa.Run("Nuxa1 <CNuxaBoard FileMap NAME=RUN VERBOSE=0>"), kRunFailed);
    EXPECT_NE(TakeText().find("Unable to find FILE= on command line\n"), std::string::npos);
}

TEST_F(BoardRoots, HelpGoesToTheChildOrSaysItIsNotAvailable) {
    Switches("");
    CNuxaBoardTests root("CNuxaBoard");
    ProbeTest probe("CProbe");
    probe.AddToMap(&root);
    TakeText();

    EXPECT_EQ(root.Help("Nuxa1 <CProbe Clear Memory>"), kRunPassed);
    ASSERT_EQ(probe.helps.size(), 1u);
    EXPECT_EQ(probe.helps[0], "Clear Memory");
    EXPECT_EQ(probe.GetDevice(), nullptr);  // help selects nothing
    EXPECT_EQ(TakeText(), "");

    root.Help("Nuxa1 <CNuxaBoard Program>");
    EXPECT_EQ(TakeText(), "\nHelp is not available for:\n  CNuxaBoardTests Nuxa1 <CNuxaBoard Program>\n");
    root.Help("Nuxa1 <CNothing x>");
    EXPECT_EQ(TakeText(), "");
}

TEST_F(BoardRoots, DimmChecksOfEachBoard) {
    Switches("");
    CBrimolaBoardTests brimola("CBrimolaBoard");
    CNuxaBoardTests nuxa("CNuxaBoard");
    EXPECT_EQ(nuxa.GetProgramDir(), Dir().Path() + "/");
    CString message = "untouched";
    EXPECT_TRUE(brimola.CheckDIMMGeometry(13, 10, message));
    EXPECT_TRUE(brimola.CheckDIMMGeometry(13, 11, message));
    EXPECT_TRUE(nuxa.CheckDIMMGeometry(13, 10, message));
    EXPECT_TRUE(brimola.CheckDIMMSize(512, message));
    EXPECT_TRUE(nuxa.CheckDIMMSize(256, message));
    EXPECT_EQ(message, "untouched");

    EXPECT_FALSE(nuxa.CheckDIMMGeometry(13, 11, message));
    EXPECT_EQ(message, "Incorrect Number of Row/Column addresses,exp: R=13,C=10 act:R=13,C=11");
    EXPECT_FALSE(brimola.CheckDIMMGeometry(12, 10, message));
    EXPECT_EQ(message, "Incorrect Number of Row/Column addresses,exp: R=13,C=[10 | 11] act:R=12,C=10");
    EXPECT_FALSE(brimola.CheckDIMMSize(256, message));
    EXPECT_EQ(message, "Incorrect Size Expect:512MB   Actual:256MB");
    EXPECT_FALSE(nuxa.CheckDIMMSize(512, message));
    EXPECT_EQ(message, "Incorrect Size Expect:256MB   Actual:512MB");
}

TEST_F(BoardRoots, BoardReportsAnswerWithRunResults) {
    Switches("");
    CBrimolaBoardTests brimola("CBrimolaBoard");
    CNuxaBoardTests nuxa("CNuxaBoard");
    EXPECT_EQ(brimola.Run("Brimola1 <CBrimolaBoard \"Show DIMM Information\" VERBOSE=0>"), kRunPassed);
    EXPECT_EQ(nuxa.Run("Nuxa1 <CNuxaBoard \"Show DIMM Information\" VERBOSE=0>"), kRunPassed);
    EXPECT_EQ(nuxa.Run("Nuxa1 <CNuxaBoard \"Check VPD Structure\">"), kRunPassed) << TakeText();
    TakeText();

    // A report that finds a fault fails the run with 2, not with the report's FALSE.
    support::ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}],
        "faults": [{"kind": "spd_wrong_size", "board": "Brimola1", "module": 2, "mib": 128},
                   {"kind": "vpd_broken", "board": "Brimola1", "part": "end_tag"}]})");
    ASSERT_TRUE(rig.Loaded());
    EXPECT_EQ(brimola.Run("Brimola1 <CBrimolaBoard \"Show DIMM Information\" VERBOSE=0>"), kRunFailed);
    std::string text = TakeText();
    EXPECT_NE(text.find("Incorrect Size Expect:512MB"), std::string::npos) << text;
    EXPECT_EQ(brimola.Run("Brimola1 <CBrimolaBoard \"Check VPD Structure\">"), kRunFailed);
    TakeText();
}

TEST_F(BoardRoots, ClockDeltaAndStartUpProgramming) {
    bool wellFormed = false;
    EXPECT_EQ(CBoardRoot::ReadClockDelta("pexhost -CLKDELTA=25", &wellFormed), 25);
    EXPECT_TRUE(wellFormed);
    EXPECT_EQ(CBoardRoot::ReadClockDelta("pexhost -AUTORUN", &wellFormed), 10);
    EXPECT_TRUE(wellFormed);
    for (const char* bad : {"pexhost -CLKDELTA=0x19", "pexhost -CLKDELTA=abc", "pexhost -CLKDELTA=25x",
                            "pexhost -CLKDELTA=99999999999"}) {
        EXPECT_EQ(CBoardRoot::ReadClockDelta(bad, &wellFormed), 10) << bad;
        EXPECT_FALSE(wellFormed) << bad;
    }

    Switches("-PD=all");
    CBrimolaBoardTests brimola("CBrimolaBoard");
    CNuxaBoardTests nuxa("CNuxaBoard");
    const std::vector<CString> main = brimola.GetStartupProgramCommands();
    ASSERT_EQ(main.size(), 5u);
    EXPECT_EQ(main[0], "Program DEVICE=0 FILE=$(CWD)\\testdata\\LOCV$(VPDVER).oxd");
    EXPECT_EQ(main[2], "Program DEVICE=2 FILE=$(CWD)\\testdata\\TAZU$(VPDVER).oxd");
    EXPECT_EQ(main[4], "Program DEVICE=4 FILE=$(CWD)\\testdata\\FESK$(VPDVER).oxd");
    const std::vector<CString> codec = nuxa.GetStartupProgramCommands();
    ASSERT_EQ(codec.size(), 2u);
    EXPECT_EQ(codec[0], "Program DEVICE=3 FILE=$(CWD)\\testdata\\FESK$(VPDVER).oxd");
    EXPECT_EQ(codec[1], "Program DEVICE=4 FILE=$(CWD)\\testdata\\FESK$(VPDVER).oxd");

    for (const char* other : {"-PD=ALLX", "-PD=0", ""}) {
        Switches(other);
        EXPECT_TRUE(brimola.GetStartupProgramCommands().empty()) << other;
    }
}

}  // namespace
