// Tests of the board roots built directly: dispatch to children and keywords, help, DIMM checks, switches.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "boards/roots/brimola_board_tests.h"
#include "boards/roots/nuxa_board_tests.h"
#include "platform/paths.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"

namespace {

using support::TakeText;

// A child that keeps what it was asked and may clear the board's RAM clock enables while it runs.
class ProbeTest : public CWexalTreeMapTB {
public:
    ProbeTest() : CWexalTreeMapTB("CProbe") {}
    DWORD Run(CString arguments) override {
        runs.push_back(arguments.str());
        if (clearRam) support::RigBoard(GetDevice()->GetTag())->GetControllerRegisters()[CJastel::kRamWord] = 0;
        return result;
    }
    DWORD Help(CString arguments) override { return helps.push_back(arguments.str()), kRunPassed; }
    std::vector<std::string> runs, helps;
    DWORD result = kRunPassed;
    bool clearRam = false;
};

// Roots read "CmdLine" from the current folder and their tree from the program folder: both are a
// fresh temporary folder here, without a tree file; each root has a probe child.
class BoardRoots : public ::testing::Test {
protected:
    BoardRoots() {
        platform::SetProgramDir(m_cwd.Dir().Path());
        Switches("");
        probe.AddToMap(&brimola);
        nuxaProbe.AddToMap(&nuxa);
        TakeText();
    }
    ~BoardRoots() override { platform::SetProgramDir(""), TakeText(); }
    void Switches(const std::string& text) { m_cwd.Dir().Write("CmdLine", "pexhost " + text); }
    const support::TempDir& Dir() const { return m_cwd.Dir(); }

    support::InTempCwd m_cwd;
    CBrimolaBoardTests brimola{"CBrimolaBoard"};
    CNuxaBoardTests nuxa{"CNuxaBoard"};
    ProbeTest probe, nuxaProbe;
};

TEST_F(BoardRoots, RunSelectsTheDeviceForTheChildAndReturnsItsResult) {
    // The test is the first token after "<", its arguments run to the last ">"; VERBOSE=0 among
    // them drops the header; the child's result comes back as it is.
    struct Row { const char* command; DWORD result; const char* arguments; const char* text; };
    const Row rows[] = {
        {"Brimola1 <CProbe Clear Memory>", kRunPassed, "Clear Memory", "\n--- CProbe Clear Memory ---\n"},
        {"Brimola1 <CProbe Random VERBOSE = 0 SEED=5>", kRunStopped, "Random VERBOSE = 0 SEED=5", ""},
        {"Brimola1 Lines <CProbe >", kRunFailed, "", "\n--- CProbe  ---\n"},
        {"Brimola1 <CProbe NOTE=(a>b) ARG=1> dropped", kRunPassed, "NOTE=(a>b) ARG=1", "\n--- CProbe NOTE=(a>b) ARG=1 ---\n"},
        {"Nuxa1 <CProbe b>", kRunPassed, "b", "\n--- CProbe b ---\n"},  // a codec board is a board this root selects
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        probe.result = row.result;
        EXPECT_EQ(brimola.Run(row.command), row.result);
        EXPECT_EQ(probe.runs.back(), row.arguments);
        EXPECT_EQ(TakeText(), row.text);
    }
    EXPECT_EQ(probe.GetDevice()->GetTag(), "Nuxa1");
    EXPECT_EQ(brimola.GetController()->GetControllerRegisters(), support::RigBoard("Nuxa1")->GetControllerRegisters());
}

TEST_F(BoardRoots, UnknownTestsKeywordsAndDevicesAreAnsweredWithErrors) {
    // Only exact names; bracket text without a blank names no test, nor does a leading blank; the
    // main board's controller is no test.
    for (const char* command : {"Brimola1 <cprobe a>", "Brimola1 <CJastel SorbelinRAM_CE>", "Brimola1 CProbe a",
                                "Brimola1 Lines <CProbe>", "Brimola1 < CProbe a>"}) {
        EXPECT_EQ(brimola.Run(command), kRunFailed) << command;
        EXPECT_EQ(TakeText(), "ERROR:  Unable to find test[" + std::string(command) + "]\n");
    }
    EXPECT_EQ(brimola.Run("Brimola1 <CBrimolaBoard show test summary>"), kRunFailed);  // keywords are exact
    EXPECT_NE(TakeText().find("\n\nERROR:  CBrimolaBoardTests\n\"Brimola1 <CBrimolaBoard show test summary>\" Not recognized as a valid test\n"),
              std::string::npos);
    // A device the library does not know: nothing runs.
    EXPECT_EQ(brimola.Run("Brimola7 <CProbe a>"), kRunFailed);
    EXPECT_NE(TakeText().find("ERROR:  m_pDevice is NULL"), std::string::npos);
    EXPECT_TRUE(probe.runs.empty());
}

TEST_F(BoardRoots, TheRamClockWordIsRestoredAfterEveryRun) {
    const RegisterPtr block = support::RigBoard("Nuxa1")->GetControllerRegisters();
    block[CJastel::kRamWord] = 0x104;
    nuxaProbe.clearRam = true;
    EXPECT_EQ(nuxa.Run("Nuxa1 <CProbe x>"), kRunPassed);
    EXPECT_EQ(static_cast<DWORD>(block[CJastel::kRamWord]), 0x104u);
    // The codec board's controller test enables the clocks; the root puts the word back after it.
    block[CJastel::kRamWord] = 0x100;
    EXPECT_EQ(nuxa.Run("Nuxa1 <CJastel SorbelinRAM_CE>"), kRunPassed);
    EXPECT_EQ(static_cast<DWORD>(block[CJastel::kRamWord]), 0x100u);
    block[CJastel::kRamWord] = 0x1F;
}

TEST_F(BoardRoots, KeywordCommandsOfTheRoots) {
    brimola.GetSummary().push_back("line one\n");
    EXPECT_EQ(brimola.Run("Brimola1 <CBrimolaBoard Show Test Summary>"), kRunPassed);
    EXPECT_EQ(TakeText(), "\n--- CBrimolaBoard Show Test Summary ---\nline one\n");
    EXPECT_TRUE(brimola.GetSummary().empty());
    // "Copy File" gets the whole command text.
    auto copy = [&](const char* src) {
        return nuxa.Run(("Nuxa1 <CNuxaBoard Copy File SRC=" + support::Bracketed(Dir().File(src)) + " DST=" + support::Bracketed(Dir().File("b.txt")) + " -OVERWRITE VERBOSE=0>").c_str());
    };
    Dir().Write("a.txt", "alpha");
    Dir().Write("b.txt", "old");
    EXPECT_EQ(copy("a.txt"), kRunPassed);
    EXPECT_EQ(Dir().Read("b.txt"), "alpha");
    EXPECT_EQ(copy("none.txt"), kRunFailed);
    EXPECT_NE(TakeText().find("ERROR:  File copy failed\n"), std::string::npos);
    // A DST= that ends the command does not take the closing ">" into the file name.
    Dir().Write("c.txt", "old");
    EXPECT_EQ(nuxa.Run(("Nuxa1 <CNuxaBoard Copy File SRC=" + support::Bracketed(Dir().File("a.txt")) + " -OVERWRITE DST=" + support::Bracketed(Dir().File("c.txt")) + ">").c_str()), kRunPassed);
    EXPECT_EQ(Dir().Read("c.txt"), "alpha");
    // "FileMap" names a log file that the root's later writes go to, created with the case written.
    EXPECT_EQ(brimola.Run(("Brimola1 <CBrimolaBoard FileMap FILE=" + support::Bracketed(Dir().File("run.log")) + " NAME=RUN VERBOSE=0>").c_str()), kRunPassed);
    EXPECT_TRUE(brimola.WriteLog("RUN", "logged\n"));
    EXPECT_EQ(Dir().Read("run.log"), "logged\n");
    EXPECT_FALSE(std::filesystem::exists(Dir().File("RUN.LOG")));
    EXPECT_EQ(nuxa.Run("Nuxa1 <CNuxaBoard FileMap NAME=RUN VERBOSE=0>"), kRunFailed);
    EXPECT_NE(TakeText().find("Unable to find FILE= on command line\n"), std::string::npos);
}

TEST_F(BoardRoots, HelpGoesToTheChildOrSaysItIsNotAvailable) {
    EXPECT_EQ(nuxa.Help("Nuxa1 <CProbe Clear Memory>"), kRunPassed);
    EXPECT_EQ(nuxa.Help("Nuxa1 <CProbe>"), kRunPassed);  // names no test: nothing to say
    EXPECT_EQ(nuxaProbe.helps, (std::vector<std::string>{"Clear Memory"}));
    EXPECT_EQ(nuxaProbe.GetDevice(), nullptr);  // help selects nothing
    nuxa.Help("Nuxa1 <CNuxaBoard Program>");
    EXPECT_EQ(TakeText(), "\nHelp is not available for:\n  CNuxaBoardTests Nuxa1 <CNuxaBoard Program>\n");
}

TEST_F(BoardRoots, DimmChecksOfEachBoard) {
    CString message;
    EXPECT_TRUE(brimola.CheckDIMMGeometry(13, 11, message) && nuxa.CheckDIMMGeometry(13, 10, message) && nuxa.CheckDIMMSize(256, message));
    auto said = [&](BOOL ok) { return ok ? CString("passed") : message; };  // the message of each check in turn
    const std::pair<CString, const char*> rows[] = {
        {said(nuxa.CheckDIMMGeometry(13, 11, message)), "Incorrect Number of Row/Column addresses,exp: R=13,C=10 act:R=13,C=11"},
        {said(brimola.CheckDIMMGeometry(12, 10, message)), "Incorrect Number of Row/Column addresses,exp: R=13,C=[10 | 11] act:R=12,C=10"},
        {said(brimola.CheckDIMMSize(256, message)), "Incorrect Size Expect:512MB   Actual:256MB"},
        {said(nuxa.CheckDIMMSize(512, message)), "Incorrect Size Expect:256MB   Actual:512MB"},
    };
    for (const auto& [got, want] : rows) EXPECT_EQ(got, want);
}

TEST_F(BoardRoots, BoardReportsFailTheRunWhenTheRigHasAFault) {
    // A report that finds a fault fails the run with 2, not with the report's FALSE.
    support::ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}],
        "faults": [{"kind": "spd_wrong_size", "board": "Brimola1", "module": 2, "mib": 128},
                   {"kind": "vpd_broken", "board": "Brimola1", "part": "end_tag"}]})");
    EXPECT_EQ(brimola.Run("Brimola1 <CBrimolaBoard \"Show DIMM Information\" VERBOSE=0>"), kRunFailed);
    EXPECT_NE(TakeText().find("Incorrect Size Expect:512MB"), std::string::npos);
    EXPECT_EQ(brimola.Run("Brimola1 <CBrimolaBoard \"Check VPD Structure\">"), kRunFailed);
}

TEST_F(BoardRoots, ClockDeltaAndStartUpProgramming) {
    // A delta that is no decimal number, or none a distance can be, keeps the default 10 with a red
    // line saying why; the edges of the field are deltas.
    const std::string refused = " does not fit its range 0..2147483647; the clock test uses 10\n";
    const struct { const char* switches; int delta; std::string problem; } deltas[] = {
        {"pexhost -CLKDELTA=25", 25, ""},
        {"pexhost -AUTORUN", 10, ""},
        {"pexhost -CLKDELTA=0", 0, ""},
        {"pexhost -CLKDELTA=2147483647", 2147483647, ""},
        {"pexhost -CLKDELTA=0x19", 10, "ERROR:  CLKDELTA=0X19 is not a decimal number; the clock test uses 10\n"},
        {"pexhost -CLKDELTA=25x", 10, "ERROR:  CLKDELTA=25X is not a decimal number; the clock test uses 10\n"},
        {"pexhost -CLKDELTA=2147483648", 10, "Argument CLKDELTA=2147483648" + refused},
        {"pexhost -CLKDELTA=99999999999999999999", 10, "Argument CLKDELTA=99999999999999999999" + refused},
        {"pexhost -CLKDELTA=-5", 10, "Argument CLKDELTA=-5" + refused},
    };
    for (const auto& row : deltas) {
        CString problem = "stale";
        EXPECT_EQ(CBoardRoot::ReadClockDelta(row.switches, &problem), row.delta) << row.switches;
        EXPECT_EQ(problem.str(), row.problem) << row.switches;
    }
    Switches("-PD=all");
    const std::vector<CString> main = brimola.GetStartupProgramCommands(), codec = nuxa.GetStartupProgramCommands();
    ASSERT_EQ(main.size(), 5u);
    EXPECT_EQ(main[4], "Program DEVICE=4 FILE=$(CWD)\\testdata\\FESK$(VPDVER).oxd");
    EXPECT_EQ(codec, (std::vector<CString>{"Program DEVICE=3 FILE=$(CWD)\\testdata\\FESK$(VPDVER).oxd",
                                           "Program DEVICE=4 FILE=$(CWD)\\testdata\\FESK$(VPDVER).oxd"}));
    Switches("-PD=ALLX");
    EXPECT_TRUE(brimola.GetStartupProgramCommands().empty());
}

}  // namespace
