// Tests of the board roots built directly: dispatch to children and keywords, help, DIMM checks, switches.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "boards/roots/brimola_board_tests.h"
#include "boards/roots/nuxa_board_tests.h"
#include "platform/paths.h"
#include "tests/support/rig.h"
#include "tests/support/output.h"

namespace {

using support::TakeText;

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
    ASSERT_TRUE(probe.AddToMap(&root) && other.AddToMap(&root));
    TakeText();
    EXPECT_EQ(root.Run("Brimola1 <CProbe Clear Memory>"), kRunPassed);
    ASSERT_NE(probe.deviceAtRun, nullptr);
    EXPECT_EQ(probe.deviceAtRun->GetTag(), "Brimola1");
    EXPECT_EQ(other.GetDevice(), probe.deviceAtRun);  // every child, not only the one that runs
    EXPECT_EQ(root.GetController()->GetControllerRegisters(), RamBlock("Brimola1"));

    // The test is the first token after "<", its arguments run to the last ">"; VERBOSE=0 among
    // them drops the header; the child's result comes back as it is.
    struct Row { const char* command; DWORD result; const char* arguments; const char* text; };
    const Row rows[] = {
        {"Brimola1 <CProbe Clear Memory>", kRunPassed, "Clear Memory", "\n--- CProbe Clear Memory ---\n"},
        {"Brimola1 <CProbe Random VERBOSE = 0 SEED=5>", kRunStopped, "Random VERBOSE = 0 SEED=5", ""},
        {"Brimola1 <CProbe verbose=2>", kRunFailed, "verbose=2", "\n--- CProbe verbose=2 ---\n"},
        {"Brimola1 Lines <CProbe >", kRunPassed, "", "\n--- CProbe  ---\n"},
        {"Brimola1 <CProbe NOTE=(a>b) ARG=1> dropped", kRunPassed, "NOTE=(a>b) ARG=1", "\n--- CProbe NOTE=(a>b) ARG=1 ---\n"},
        {"Nuxa1 <CProbe b>", kRunPassed, "b", "\n--- CProbe b ---\n"},  // a codec board is a board this root selects
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        TakeText();
        probe.result = row.result;
        EXPECT_EQ(root.Run(row.command), row.result);
        EXPECT_EQ(probe.runs.back(), row.arguments);
        EXPECT_EQ(TakeText(), row.text);
    }
    EXPECT_EQ(probe.deviceAtRun->GetTag(), "Nuxa1");
}

TEST_F(BoardRoots, UnknownTestsAndDevicesAreAnsweredWithErrors) {
    Switches("");
    CBrimolaBoardTests root("CBrimolaBoard");
    ProbeTest probe("CProbe");
    probe.AddToMap(&root);
    ASSERT_EQ(root.Run("Brimola1 <CProbe a>"), kRunPassed);
    TakeText();
    // Only exact names; bracket text without a blank names no test, nor does a leading blank; the
    // main board's controller is no test.
    for (const char* command : {"Brimola1 <CProb a>", "Brimola1 <cprobe a>", "Brimola1 <CJastel SorbelinRAM_CE>",
                                "Brimola1 CProbe a", "Brimola1 Lines <CProbe>", "Brimola1 < CProbe a>", "Brimola1 <>"}) {
        EXPECT_EQ(root.Run(command), kRunFailed) << command;
        EXPECT_EQ(TakeText(), "ERROR:  Unable to find test[" + std::string(command) + "]\n");
    }
    // A device the library does not know: nothing runs and the children keep what they had.
    EXPECT_EQ(root.Run("Brimola7 <CProbe a>"), kRunFailed);
    EXPECT_NE(TakeText().find("ERROR:  m_pDevice is NULL"), std::string::npos);
    EXPECT_EQ(probe.runs.size(), 1u);
    EXPECT_EQ(probe.GetDevice()->GetTag(), "Brimola1");
    // The root itself without a keyword is found and answers that nothing matched.
    EXPECT_EQ(root.Run("Brimola1 <CBrimolaBoard >"), kRunFailed);
    EXPECT_NE(TakeText().find("\"Brimola1 <CBrimolaBoard >\" Not recognized as a valid test\n"), std::string::npos);
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
        EXPECT_NE(TakeText().find("\n\nERROR:  CBrimolaBoardTests\n\"" + std::string(command) + "\" Not recognized as a valid test\n"),
                  std::string::npos) << command;
    }
    EXPECT_EQ(nuxa.Run("Nuxa1 <CNuxaBoard Zero> VERBOSE=0"), kRunFailed);
    EXPECT_EQ(TakeText(), "\n--- CNuxaBoard Zero ---\n\n\nERROR:  CNuxaBoardTests\n\"Nuxa1 <CNuxaBoard Zero> VERBOSE=0\" Not "
                          "recognized as a valid test\n");

    // "Copy File" gets the whole command text.
    Dir().Write("a.txt", "alpha");
    Dir().Write("b.txt", "old");
    const std::string copy = "Nuxa1 <CNuxaBoard Copy File SRC=" + Dir().File("a.txt") + " DST=" + Dir().File("b.txt");
    EXPECT_EQ(nuxa.Run((copy + " -OVERWRITE VERBOSE=0>").c_str()), kRunPassed);
    EXPECT_EQ(Dir().Read("b.txt"), "alpha");
    EXPECT_EQ(TakeText(), "");
    EXPECT_EQ(nuxa.Run(("Nuxa1 <CNuxaBoard Copy File SRC=" + Dir().File("none.txt") + " DST=" + Dir().File("b.txt") + ">").c_str()), kRunFailed);
    EXPECT_NE(TakeText().find("ERROR:  File copy failed\n"), std::string::npos);

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
    EXPECT_EQ(root.Help("Nuxa1 <CProbe >"), kRunPassed);
    EXPECT_EQ(root.Help("Nuxa1 <CProbe>"), kRunPassed);  // names no test: nothing to say
    EXPECT_EQ(probe.helps, (std::vector<std::string>{"Clear Memory", ""}));
    EXPECT_EQ(probe.GetDevice(), nullptr);  // help selects nothing
    EXPECT_EQ(TakeText(), "");
    root.Help("Nuxa1 <CNuxaBoard Program>");
    EXPECT_EQ(TakeText(), "\nHelp is not available for:\n  CNuxaBoardTests Nuxa1 <CNuxaBoard Program>\n");
}

TEST_F(BoardRoots, DimmChecksOfEachBoard) {
    Switches("");
    CBrimolaBoardTests brimola("CBrimolaBoard");
    CNuxaBoardTests nuxa("CNuxaBoard");
    EXPECT_EQ(nuxa.GetProgramDir(), Dir().Path() + "/");
    CString message = "untouched";
    EXPECT_TRUE(brimola.CheckDIMMGeometry(13, 10, message) && brimola.CheckDIMMGeometry(13, 11, message) &&
                nuxa.CheckDIMMGeometry(13, 10, message) && brimola.CheckDIMMSize(512, message) && nuxa.CheckDIMMSize(256, message));
    EXPECT_EQ(message, "untouched");
    const std::pair<std::function<BOOL()>, const char*> rows[] = {
        {[&] { return nuxa.CheckDIMMGeometry(13, 11, message); }, "Incorrect Number of Row/Column addresses,exp: R=13,C=10 act:R=13,C=11"},
        {[&] { return brimola.CheckDIMMGeometry(12, 10, message); }, "Incorrect Number of Row/Column addresses,exp: R=13,C=[10 | 11] act:R=12,C=10"},
        {[&] { return brimola.CheckDIMMSize(256, message); }, "Incorrect Size Expect:512MB   Actual:256MB"},
        {[&] { return nuxa.CheckDIMMSize(512, message); }, "Incorrect Size Expect:256MB   Actual:512MB"},
    };
    for (const auto& [check, text] : rows) {
        EXPECT_FALSE(check()) << text;
        EXPECT_EQ(message, text);
    }
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
    const std::pair<const char*, int> deltas[] = {{"pexhost -CLKDELTA=25", 25},        {"pexhost -AUTORUN", 10},
                                                  {"pexhost -CLKDELTA=0x19", -10},     {"pexhost -CLKDELTA=abc", -10},
                                                  {"pexhost -CLKDELTA=25x", -10},      {"pexhost -CLKDELTA=99999999999", -10}};
    for (const auto& [switches, delta] : deltas) {  // a negative delta: the default 10, and not well formed
        bool wellFormed = delta < 0;
        EXPECT_EQ(CBoardRoot::ReadClockDelta(switches, &wellFormed), std::abs(delta)) << switches;
        EXPECT_EQ(wellFormed, delta > 0) << switches;
    }

    Switches("-PD=all");
    CBrimolaBoardTests brimola("CBrimolaBoard");
    CNuxaBoardTests nuxa("CNuxaBoard");
    const std::vector<CString> main = brimola.GetStartupProgramCommands(), codec = nuxa.GetStartupProgramCommands();
    ASSERT_EQ(main.size(), 5u);
    EXPECT_EQ(main[0], "Program DEVICE=0 FILE=$(CWD)\\testdata\\LOCV$(VPDVER).oxd");
    EXPECT_EQ(main[2], "Program DEVICE=2 FILE=$(CWD)\\testdata\\TAZU$(VPDVER).oxd");
    EXPECT_EQ(main[4], "Program DEVICE=4 FILE=$(CWD)\\testdata\\FESK$(VPDVER).oxd");
    EXPECT_EQ(codec, (std::vector<CString>{"Program DEVICE=3 FILE=$(CWD)\\testdata\\FESK$(VPDVER).oxd",
                                           "Program DEVICE=4 FILE=$(CWD)\\testdata\\FESK$(VPDVER).oxd"}));
    for (const char* other : {"-PD=ALLX", "-PD=0", ""}) {
        Switches(other);
        EXPECT_TRUE(brimola.GetStartupProgramCommands().empty()) << other;
    }
}

}  // namespace
