// Integration tests: the real pexhost on the test plug-in, as an operator or a CI job runs it.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#include "tests/host/host_process.h"
#include "tests/support/output.h"
#include "tests/support/temp_dir.h"

using support::Count;
using support::ReadText;
using support::TempDir;

namespace {

std::vector<std::string> WithLib(std::vector<std::string> args) {
    args.insert(args.begin(), "--lib=" + PluginPath());
    return args;
}

// Fails the test when a needle is missing or out of order.
void ExpectInOrder(const std::string& text, const std::vector<std::string>& needles) {
    size_t at = 0;
    for (const std::string& n : needles) {
        const size_t found = text.find(n, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << n << "\n--- in ---\n" << text;
        at = found + n.size();
    }
}

bool Has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

TEST(HostCli, ListsTheKeyedTreeWithItsOwnMarksAndUnloadsTheLibrary) {
    TempDir dir;
    HostRun run = RunHost(WithLib({"--list"}), dir.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    // The pre-host text first; keys order the leaves; a leaf shows its own mark, not its folder's.
    ExpectInOrder(run.out, {"Test plug-in loaded\n[x] Top\n[x] Host/\n  [x] Basic/\n    [x] Pass\n    [x] Fail\n",
                            "  [ ] Stop/\n    [x] Poll\n", "  [ ] Extra/  (optional)\n    [x] Documented  (optional)\n    [ ] Skipped\n"});
    EXPECT_TRUE(std::filesystem::exists(dir.File("Unloaded"))) << "static destructors ran";
}

TEST(HostCli, DefaultRunTakesCheckedLeavesUnderCheckedFoldersAndSummarises) {
    TempDir dir;
    HostRun run = RunHost(WithLib({}), dir.Path());
    EXPECT_EQ(run.status, 1) << "one test fails";
    ExpectInOrder(run.out, {"[RUN]     Top\n", "[PASS]    Top  (", "Checking the pass test\nPASS\n", "[PASS]    Host/Basic/Pass  (",
                            "(after red on the same line)\n[FAIL]    Host/Basic/Fail  (", "Before the box\n",
                            "[HostTest] ERROR:  Couldn't open file missing.bin\n", "After the box\n", "[PASS]    Host/Basic/Window",
                            "\nSummary\n", "  FAIL", "Host/Basic/Fail\n", "6 tests: 5 passed, 1 failed, 0 stopped, 0 not run\n"});
    EXPECT_FALSE(Has(run.out, "Host/Stop") || Has(run.out, "Host/Extra") || Has(run.out, "\033"));
    EXPECT_EQ(Count(run.out, "window line\n"), 1u) << "the rebuilt window is not shown a second time";
}

TEST(HostCli, ExitStatusAndMessageForEachSelectionAndUsage) {
    TempDir dir;
    dir.Write("garbage.so", "not an ELF file");
    dir.Write("bad.json", "{\"boards\": [");
    dir.Write("rig.json", "{\"boards\": []}");
    struct Row { const char* name; std::vector<std::string> args; int status; const char* err; std::string ran; };
    const std::string lib = "--lib=" + PluginPath();
    const Row rows[] = {
        {"glob over the whole path", {lib, "host/*/m*"}, 0, "", "[RUN]     Host/Basic/Markup\n"},
        {"glob over a part", {lib, "m*"}, 2, "no checked test matches", ""},
        {"union in tree order", {lib, "Window", "Top"}, 0, "", "Test plug-in loaded\n[RUN]     Top\n"},
        {"unchecked needs --all", {lib, "Skipped"}, 2, "add --all", ""},
        {"--all", {lib, "--all", "Skipped"}, 0, "", "[PASS]    Host/Extra/Skipped"},
        {"unknown option", {lib, "--frobnicate"}, 2, "unknown option '--frobnicate'", ""},
        {"not a library", {"--lib", "garbage.so", "--junit", "j.xml"}, 2, "cannot load the test library garbage.so", ""},
        {"no entry", {"--lib", BinDir() + "/HostNoEntryPlugin.so"}, 2, "has no GetTestList", ""},
        {"missing rig", {lib, "--rig", "none.json", "--junit", "j.xml"}, 2, "cannot read the rig file none.json", ""},
        {"bad rig", {lib, "--rig", "bad.json"}, 2, "not valid JSON", ""},
        {"rig as an absolute path", {lib, "--all", "--rig", "rig.json", "Extra/Rig"}, 0, "", "PEXANO_RIG=" + dir.File("rig.json") + "\n"},
        {"help on a test", {lib, "--help-test", "documented"}, 0, "", "Help on [HostDev <Doc>]\nUsage: Documented VERBOSE=n\n"},
        {"help on nothing", {lib, "--help-test", "nothing"}, 2, "", ""},
        {"default library", {"--list"}, 0, "", "[x] "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HostRun run = RunHost(row.args, dir.Path());
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_TRUE(Has(run.err, row.err) && Has(run.out, row.ran)) << run.err << run.out;
        // No report rather than an empty one a CI job might take for a run of nothing.
        EXPECT_FALSE(std::filesystem::exists(dir.File("j.xml")));
    }
    EXPECT_EQ(Count(RunHost(WithLib({"host/*/m*"}), dir.Path()).out, "[RUN]"), 2u);
}

TEST(HostCli, ColoursOnlyWhenAskedOrOnATerminal) {
    TempDir dir;
    HostRun plain = RunHost(WithLib({"Markup"}), dir.Path());
    EXPECT_TRUE(Has(plain.out, "onetwothree\nhi under ~*PINK*~\n")) << plain.out;
    EXPECT_EQ(RunHost(WithLib({"--color=never", "Markup"}), dir.Path()).out, plain.out);
    HostRun ansi = RunHost(WithLib({"--color=always", "--log", dir.File("run.log"), "Markup"}), dir.Path());
    // Black on white stays in the terminal's own colours; an unknown name is printed as it is.
    EXPECT_TRUE(Has(ansi.out, "\033[0;38;2;0;0;0;48;2;255;240;0mhi\033[0m \033[0;4munder\033[0m ~*PINK*~\n")) << ansi.out;
    EXPECT_TRUE(Has(ReadText(dir.File("run.log")), "onetwothree\nhi under ~*PINK*~\n[PASS]    Host/Basic/Markup"));
    EXPECT_TRUE(Has(RunHostOnTerminal(WithLib({"Markup"}), dir.Path(), "").out, "one\033[0;38;2;255;0;0mtwo\033[0mthree"));
}

TEST(HostCli, TestThatRaisesCtrlCEndsStoppedAndLaterTestsDoNotStart) {
    TempDir dir;
    HostRun run = RunHost(WithLib({"--all", "RaiseAndPoll", "Documented", "--junit", dir.File("j.xml")}), dir.Path());
    EXPECT_EQ(run.status, 3) << run.out << run.err;
    ExpectInOrder(run.out, {"Stopped by User\n", "[STOPPED] Host/Stop/RaiseAndPoll", "NOT RUN", "Host/Extra/Documented",
                            "2 tests: 0 passed, 0 failed, 1 stopped, 1 not run\n"});
    EXPECT_TRUE(Has(run.err, "stopping after the running test"));
    const std::string xml = ReadText(dir.File("j.xml"));
    EXPECT_EQ(Count(xml, "<testcase "), 1u);
    EXPECT_TRUE(Has(xml, "type=\"STOPPED\" message=\"Stopped by User\"")) << xml;
}

TEST(HostCli, CtrlCFromOutsideStopsThePollingTestAndASecondOneQuitsAtOnce) {
    TempDir dir;
    auto interrupt = [](const char* running, int times) {
        return [=](pid_t pid, const std::string& out) {
            if (!Has(out, running)) return true;
            for (int i = 0; i < times; ++i, usleep(50000)) kill(pid, SIGINT);
            return false;
        };
    };
    HostRun once = RunHost(WithLib({"--all", "Stop/Poll"}), dir.Path(), interrupt("[RUN]     Host/Stop/Poll", 1));
    EXPECT_EQ(once.status, 3) << once.out;
    // The stubborn test ignores the flag; the second Ctrl-C ends the host long before it would.
    const auto start = std::chrono::steady_clock::now();
    HostRun twice = RunHost(WithLib({"--all", "Stubborn", "--junit", "j.xml"}), dir.Path(), interrupt("[RUN]     Host/Stop/Stubborn", 2));
    EXPECT_EQ(twice.status, 3);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(Has(twice.err, "pexhost: stopped")) << twice.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("j.xml")));
}

TEST(HostCli, CmdLineHoldsTheLibrarySwitchesAndNeverGoesStale) {
    TempDir dir;
    EXPECT_EQ(RunHost(WithLib({"-AUTORUN", "--list", "-Config=My.txt"}), dir.Path()).status, 0);
    EXPECT_EQ(dir.Read("CmdLine"), "pexhost -AUTORUN -Config=My.txt");
    EXPECT_EQ(RunHost({"--lib", "missing.so"}, dir.Path()).status, 2);  // written even when the library fails to load
    EXPECT_EQ(dir.Read("CmdLine"), "pexhost");
}

TEST(HostCli, JUnitReportIsValidXmlAndCarriesTheRedLinesOfFailures) {
    TempDir dir;
    const std::string report = dir.File("report.xml");
    EXPECT_EQ(RunHost(WithLib({"--junit", report}), dir.Path()).status, 1);
    EXPECT_TRUE(Has(ReadText(report), "<testcase classname=\"Host.Basic\" name=\"Pass\""));
    // An XML parser reads the red lines of the failure back.
    if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not installed";
    const std::string script = dir.Write("check.py", "import sys, xml.dom.minidom\n"
                                                     "d = xml.dom.minidom.parse(sys.argv[1])\n"
                                                     "f = d.getElementsByTagName('failure')\n"
                                                     "print(len(d.getElementsByTagName('testcase')), len(f))\n"
                                                     "print(f[0].firstChild.data, end='')\n");
    ASSERT_EQ(std::system(("python3 " + script + " " + report + " > " + dir.File("parsed.txt")).c_str()), 0);
    EXPECT_EQ(dir.Read("parsed.txt"), "6 1\nMismatch at <0x10>: expected 1 & got 2\nERROR:  \"second\" failure\n");
}

TEST(HostCli, OnATerminalTheProgressBarDrawsAndDialogsTakeTypedActions) {
    TempDir dir;
    HostRun run = RunHostOnTerminal(WithLib({"--all", "Extra/Progress", "Extra/Dialog"}), dir.Path(), "bogus\nadd\nok\n");
    std::string out = run.out;
    std::erase(out, '\r');
    EXPECT_EQ(run.status, 0) << out;
    // Range 0..200 at 100 is half the 40-cell bar; the bar is erased when hidden.
    EXPECT_TRUE(Has(out, "[####################....................]  50%")) << out;
    ExpectInOrder(out, {"=== Counter ===\nCount: 0\n", "Only add is known", "Count: 1\n", "Dialog answered 1, count 1"});
    // Without a terminal nobody can answer: the dialog is cancelled and no bar is drawn.
    HostRun headless = RunHost(WithLib({"--all", "Extra/Progress", "Extra/Dialog"}), dir.Path());
    EXPECT_TRUE(Has(headless.out, "Dialog answered 2, count 0")) << headless.out;
    EXPECT_FALSE(Has(headless.err, "["));
}

}  // namespace
