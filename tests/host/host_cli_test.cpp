// Integration tests: the real pexhost on the test plug-in, as an operator or a CI job runs it.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#include "tests/host/host_process.h"
#include "tests/support/output.h"

using support::Count;
using support::ReadText;
using support::TempDir;

namespace {

std::vector<std::string> WithLib(std::vector<std::string> args) {
    args.insert(args.begin(), "--lib=" + PluginPath());
    return args;
}

std::string WithoutCr(std::string s) {
    std::erase(s, '\r');
    return s;
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

TEST(HostCli, ListsTheKeyedTreeWithMarksInTheOrderOfTheKeys) {
    TempDir dir;
    HostRun run = RunHost(WithLib({"--list"}), dir.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    // The pre-host text comes first: the library appends it when the host attaches.
    EXPECT_EQ(run.out,
              "Test plug-in loaded\n[x] Top\n[x] Host/\n  [x] Basic/\n    [x] Pass\n    [x] Fail\n    [x] Markup\n"
              "    [x] MessageBox\n    [x] Window\n  [ ] Stop/\n    [x] Poll\n    [x] RaiseAndPoll\n    [x] Stubborn\n"
              "  [ ] Extra/  (optional)\n    [x] Documented  (optional)\n    [ ] Skipped\n    [x] Rig\n"
              "    [x] Progress\n    [x] Dialog\n");
    // The host unloaded the library before exiting, so its static destructors ran.
    EXPECT_TRUE(std::filesystem::exists(dir.File("Unloaded")));
}

TEST(HostCli, DefaultRunTakesCheckedLeavesUnderCheckedFoldersAndSummarises) {
    TempDir dir;
    HostRun run = RunHost(WithLib({}), dir.Path());
    EXPECT_EQ(run.status, 1) << "one test fails";
    ExpectInOrder(run.out, {"[RUN]     Top\n", "[PASS]    Top  (", "[RUN]     Host/Basic/Pass\n",
                            "Checking the pass test\nPASS\n", "[PASS]    Host/Basic/Pass  (",
                            "(after red on the same line)\n[FAIL]    Host/Basic/Fail  (", "[PASS]    Host/Basic/Window",
                            "\nSummary\n", "  FAIL", "Host/Basic/Fail\n", "6 tests: 5 passed, 1 failed, 0 stopped, 0 not run\n"});
    EXPECT_FALSE(Has(run.out, "Host/Stop") || Has(run.out, "Host/Extra"));
    EXPECT_FALSE(Has(run.out, "\033"));
}

TEST(HostCli, ExitStatusAndMessageForEachSelectionAndUsage) {
    TempDir dir;
    dir.Write("garbage.so", "not an ELF file");
    dir.Write("bad.json", "{\"boards\": [");
    struct Row { const char* name; std::vector<std::string> args; int status; const char* err; const char* ran; };
    const std::string lib = "--lib=" + PluginPath();
    const Row rows[] = {
        {"substring", {lib, "basic/PASS"}, 0, "", "[RUN]     Host/Basic/Pass"},
        {"glob over the whole path", {lib, "host/*/m*"}, 0, "", "[RUN]     Host/Basic/Markup\n"},
        {"glob over a part", {lib, "m*"}, 2, "no checked test matches", nullptr},
        {"union in tree order", {lib, "Window", "Top"}, 0, "", "[PASS]    Top  ("},
        {"failing test", {lib, "Fail"}, 1, "", "[FAIL]"},
        {"unchecked needs --all", {lib, "Skipped"}, 2, "add --all", nullptr},
        {"--all", {lib, "--all", "Skipped"}, 0, "", "[PASS]    Host/Extra/Skipped"},
        {"unknown option", {lib, "--frobnicate"}, 2, "unknown option '--frobnicate'", nullptr},
        {"missing value", {"--lib"}, 2, "", nullptr},
        {"bad colour", {lib, "--color=sometimes"}, 2, "", nullptr},
        {"missing library", {"--lib", "NoSuch.so", "--junit", "j.xml"}, 2, "cannot load the test library", nullptr},
        {"not a library", {"--lib", "garbage.so"}, 2, "cannot load the test library garbage.so", nullptr},
        {"no entry", {"--lib", BinDir() + "/HostNoEntryPlugin.so"}, 2, "has no GetTestList", nullptr},
        {"missing rig", {lib, "--rig", "none.json", "--junit", "j.xml"}, 2, "cannot read the rig file none.json", nullptr},
        {"bad rig", {lib, "--rig", "bad.json", "--junit", "j.xml"}, 2, "not valid JSON", nullptr},
        {"default library", {"--list"}, 0, "", "[x] "},
        {"usage", {"--help"}, 0, "", "--junit FILE"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HostRun run = RunHost(row.args, dir.Path());
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_TRUE(Has(run.err, row.err)) << run.err;
        if (row.ran) {
            EXPECT_TRUE(Has(run.out, row.ran)) << run.out;
        }
        // No report rather than an empty one a CI job might take for a run of nothing.
        EXPECT_FALSE(std::filesystem::exists(dir.File("j.xml")));
    }
    HostRun glob = RunHost(WithLib({"host/*/m*"}), dir.Path());
    EXPECT_EQ(Count(glob.out, "[RUN]"), 2u);
    ExpectInOrder(RunHost(WithLib({"Window", "Top"}), dir.Path()).out, {"[RUN]     Top", "[RUN]     Host/Basic/Window"});
}

TEST(HostCli, ColoursOnlyWhenAskedOrOnATerminal) {
    TempDir dir;
    HostRun plain = RunHost(WithLib({"Markup"}), dir.Path());
    EXPECT_TRUE(Has(plain.out, "onetwothree\nhi under ~*PINK*~\n")) << plain.out;
    EXPECT_FALSE(Has(plain.out, "\033"));
    EXPECT_EQ(RunHost(WithLib({"--color=never", "Markup"}), dir.Path()).out, plain.out);

    HostRun ansi = RunHost(WithLib({"--color=always", "--log", dir.File("run.log"), "Markup"}), dir.Path());
    // RED is 0x0000FF (COLORREF BBGGRR); black on white stays in the terminal's own colours; an
    // unknown name is printed as it is.
    EXPECT_TRUE(Has(ansi.out, "one\033[0;38;2;255;0;0mtwo\033[0mthree\n"
                              "\033[0;38;2;0;0;0;48;2;255;240;0mhi\033[0m \033[0;4munder\033[0m ~*PINK*~\n"))
        << ansi.out;
    EXPECT_TRUE(Has(ansi.out, "\033[0;38;2;0;160;0m[PASS]"));
    EXPECT_TRUE(Has(ReadText(dir.File("run.log")), "onetwothree\nhi under ~*PINK*~\n[PASS]    Host/Basic/Markup"));

    HostRun tty = RunHostOnTerminal(WithLib({"Markup"}), dir.Path(), "");
    EXPECT_TRUE(Has(WithoutCr(tty.out), "one\033[0;38;2;255;0;0mtwo\033[0mthree")) << tty.out;
}

TEST(HostCli, MessageBoxesAndWindowNotificationsShowInTheOutput) {
    TempDir dir;
    HostRun run = RunHost(WithLib({"MessageBox", "Window"}), dir.Path());
    EXPECT_EQ(run.status, 0) << run.out;
    ExpectInOrder(run.out, {"Before the box\n", "[HostTest] ERROR:  Couldn't open file missing.bin\n",
                            "After the box\n", "[PASS]    Host/Basic/MessageBox", "[PASS]    Host/Basic/Window"});
    // The rebuilt window is not shown a second time.
    EXPECT_EQ(Count(run.out, "window line\n"), 1u);
    EXPECT_EQ(Count(run.out, "summary line\n"), 1u);
}

TEST(HostCli, TestThatRaisesCtrlCEndsStoppedAndLaterTestsDoNotStart) {
    TempDir dir;
    HostRun run = RunHost(WithLib({"--all", "RaiseAndPoll", "Documented", "--junit", dir.File("j.xml")}), dir.Path());
    EXPECT_EQ(run.status, 3) << run.out << run.err;
    ExpectInOrder(run.out, {"Stopped by User\n", "[STOPPED] Host/Stop/RaiseAndPoll", "NOT RUN", "Host/Extra/Documented",
                            "2 tests: 0 passed, 0 failed, 1 stopped, 1 not run\n"});
    EXPECT_FALSE(Has(run.out, "[RUN]     Host/Extra/Documented"));
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
    EXPECT_TRUE(Has(once.out, "[STOPPED] Host/Stop/Poll")) << once.out;

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
    dir.Write("CmdLine", "old -ENGINEERING -REGRESSION");
    EXPECT_EQ(RunHost(WithLib({"-AUTORUN", "--list", "-Config=My.txt", "-CLKDELTA=5"}), dir.Path()).status, 0);
    EXPECT_EQ(dir.Read("CmdLine"), "pexhost -AUTORUN -Config=My.txt -CLKDELTA=5");
    // Written even when the library then fails to load.
    EXPECT_EQ(RunHost({"--lib", "missing.so"}, dir.Path()).status, 2);
    EXPECT_EQ(dir.Read("CmdLine"), "pexhost");
}

TEST(HostCli, JUnitReportIsValidXmlAndCarriesTheRedLinesOfFailures) {
    TempDir dir;
    const std::string report = dir.File("report.xml");
    EXPECT_EQ(RunHost(WithLib({"--junit", report}), dir.Path()).status, 1);
    const std::string xml = ReadText(report);
    EXPECT_EQ(Count(xml, "<testcase "), 6u);
    EXPECT_TRUE(Has(xml, "<testcase classname=\"HostTestPlugin\" name=\"Top\"")) << xml;
    EXPECT_TRUE(Has(xml, "<testcase classname=\"Host.Basic\" name=\"Pass\""));
    // An XML parser reads the red lines of the failure back.
    if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not installed";
    const std::string script = dir.Write("check.py",
                                         "import sys, xml.dom.minidom\n"
                                         "d = xml.dom.minidom.parse(sys.argv[1])\n"
                                         "s = d.getElementsByTagName('testsuite')[0]\n"
                                         "f = d.getElementsByTagName('failure')\n"
                                         "print(s.getAttribute('tests'), s.getAttribute('failures'), len(f))\n"
                                         "print(f[0].getAttribute('message'))\n"
                                         "print(f[0].firstChild.data, end='')\n");
    ASSERT_EQ(std::system(("python3 " + script + " " + report + " > " + dir.File("parsed.txt")).c_str()), 0);
    EXPECT_EQ(dir.Read("parsed.txt"), "6 1 1\nMismatch at <0x10>: expected 1 & got 2\n"
                                      "Mismatch at <0x10>: expected 1 & got 2\nERROR:  \"second\" failure\n");
}

TEST(HostCli, HelpTestAsksTheOwnerOfEachMatchingLeafWithItsCommand) {
    TempDir dir;
    HostRun run = RunHost(WithLib({"--help-test", "documented"}), dir.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    ExpectInOrder(run.out, {"[HELP]    Host/Extra/Documented\n", "Help on [HostDev <Doc>]\n", "Usage: Documented VERBOSE=n\n"});
    EXPECT_FALSE(Has(run.out, "[RUN]"));
    EXPECT_EQ(RunHost(WithLib({"--help-test", "nothing"}), dir.Path()).status, 2);
}

TEST(HostCli, RigFileReachesTheLibraryThroughTheEnvironmentAsAnAbsolutePath) {
    TempDir dir;
    dir.Write("rig.json", "{\"boards\": []}");
    HostRun run = RunHost(WithLib({"--all", "--rig", "rig.json", "Extra/Rig"}), dir.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "PEXANO_RIG=" + dir.File("rig.json") + "\n")) << run.out;
}

TEST(HostCli, OnATerminalTheProgressBarDrawsAndDialogsTakeTypedActions) {
    TempDir dir;
    HostRun run = RunHostOnTerminal(WithLib({"--all", "Extra/Progress", "Extra/Dialog"}), dir.Path(), "bogus\nadd\nok\n");
    const std::string out = WithoutCr(run.out);
    EXPECT_EQ(run.status, 0) << out;
    // Range 0..200 at 100 is half the 40-cell bar; the bar is erased when hidden.
    EXPECT_TRUE(Has(out, "[####################....................]  50%")) << out;
    EXPECT_TRUE(Has(out, "[########################################] 100%\033[K")) << out;
    ExpectInOrder(out, {"=== Counter ===\nCount: 0\n", "Only add is known", "Count: 1\n", "Dialog answered 1, count 1"});

    // Without a terminal nobody can answer: the dialog is cancelled and no bar is drawn.
    HostRun headless = RunHost(WithLib({"--all", "Extra/Progress", "Extra/Dialog"}), dir.Path());
    EXPECT_EQ(headless.status, 1);
    EXPECT_TRUE(Has(headless.out, "Dialog answered 2, count 0")) << headless.out;
    EXPECT_FALSE(Has(headless.err, "["));
}

}  // namespace
