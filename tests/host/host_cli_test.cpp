// Integration tests: the real pexhost on the test plug-in, as an operator or a CI job runs it.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#include "tests/host/host_process.h"

namespace {

const std::string kLib = "--lib=";

std::vector<std::string> WithLib(std::vector<std::string> args) {
    args.insert(args.begin(), kLib + PluginPath());
    return args;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

std::string WithoutCr(std::string s) {
    std::erase(s, '\r');
    return s;
}

// Positions of each needle in order; fails the test when one is missing or out of order.
void ExpectInOrder(const std::string& text, const std::vector<std::string>& needles) {
    size_t at = 0;
    for (const std::string& n : needles) {
        const size_t found = text.find(n, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << n << "\n--- in ---\n" << text;
        at = found + n.size();
    }
}

}  // namespace

TEST(HostCli, ListsTheKeyedTreeWithMarksInTheOrderOfTheKeys) {
    TempDir dir;
    HostRun run = RunHost(WithLib({"--list"}), dir.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    // The pre-host text comes first: the library appends it when the host attaches.
    EXPECT_EQ(run.out,
              "Test plug-in loaded\n"
              "[x] Top\n"
              "[x] Host/\n"
              "  [x] Basic/\n"
              "    [x] Pass\n"
              "    [x] Fail\n"
              "    [x] Markup\n"
              "    [x] MessageBox\n"
              "    [x] Window\n"
              "  [ ] Stop/\n"
              "    [x] Poll\n"
              "    [x] RaiseAndPoll\n"
              "    [x] Stubborn\n"
              "  [ ] Extra/  (optional)\n"
              "    [x] Documented  (optional)\n"
              "    [ ] Skipped\n"
              "    [x] Rig\n"
              "    [x] Progress\n"
              "    [x] Dialog\n"
              "    [x] Lists\n");
    // The host unloaded the library before exiting, so its static destructors ran.
    EXPECT_TRUE(std::filesystem::exists(dir.File("Unloaded")));
}

TEST(HostCli, DefaultRunTakesCheckedLeavesUnderCheckedFoldersAndSummarises) {
    TempDir dir;
    HostRun run = RunHost(WithLib({}), dir.Path());
    EXPECT_EQ(run.status, 1) << "one test fails";
    ExpectInOrder(run.out, {"[RUN]     Top\n", "[PASS]    Top  (", "[RUN]     Host/Basic/Pass\n",
                            "Checking the pass test\nPASS\n", "[PASS]    Host/Basic/Pass  (",
                            "[RUN]     Host/Basic/Fail\n", "[FAIL]    Host/Basic/Fail  (",
                            "[PASS]    Host/Basic/Markup", "[PASS]    Host/Basic/MessageBox",
                            "[PASS]    Host/Basic/Window", "\nSummary\n", "  FAIL", "Host/Basic/Fail\n",
                            "6 tests: 5 passed, 1 failed, 0 stopped, 0 not run\n"});
    // Unchecked folders keep their leaves out; no colours go into a file.
    EXPECT_EQ(run.out.find("Host/Stop"), std::string::npos);
    EXPECT_EQ(run.out.find("Host/Extra"), std::string::npos);
    EXPECT_EQ(run.out.find('\033'), std::string::npos);
    // A line the library left open is ended before the host's result line.
    EXPECT_NE(run.out.find("(after red on the same line)\n[FAIL]"), std::string::npos);
}

TEST(HostCli, FiltersMatchPathsBySubstringOrGlobIgnoringCase) {
    TempDir dir;
    HostRun bySubstring = RunHost(WithLib({"basic/PASS"}), dir.Path());
    EXPECT_EQ(bySubstring.status, 0) << bySubstring.out << bySubstring.err;
    EXPECT_EQ(Count(bySubstring.out, "[RUN]"), 1u);
    EXPECT_NE(bySubstring.out.find("[PASS]    Host/Basic/Pass"), std::string::npos);

    HostRun byGlob = RunHost(WithLib({"host/*/m*"}), dir.Path());
    EXPECT_EQ(byGlob.status, 0) << byGlob.err;
    ExpectInOrder(byGlob.out, {"[RUN]     Host/Basic/Markup", "[RUN]     Host/Basic/MessageBox"});
    EXPECT_EQ(Count(byGlob.out, "[RUN]"), 2u);

    // A glob must match the whole path, so "m*" alone selects nothing.
    HostRun partialGlob = RunHost(WithLib({"m*"}), dir.Path());
    EXPECT_EQ(partialGlob.status, 2);

    // Two filters: the union, in tree order.
    HostRun two = RunHost(WithLib({"Window", "Top"}), dir.Path());
    EXPECT_EQ(two.status, 0);
    ExpectInOrder(two.out, {"[RUN]     Top", "[RUN]     Host/Basic/Window"});

    HostRun none = RunHost(WithLib({"NoSuchTest"}), dir.Path());
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("no checked test matches"), std::string::npos);

    // Unchecked leaves need --all, and the message says so.
    HostRun unchecked = RunHost(WithLib({"Skipped"}), dir.Path());
    EXPECT_EQ(unchecked.status, 2);
    EXPECT_NE(unchecked.err.find("add --all"), std::string::npos) << unchecked.err;
    HostRun all = RunHost(WithLib({"--all", "Skipped"}), dir.Path());
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_NE(all.out.find("[PASS]    Host/Extra/Skipped"), std::string::npos);
}

TEST(HostCli, ColoursOnlyWhenAskedOrOnATerminal) {
    TempDir dir;
    HostRun plain = RunHost(WithLib({"Markup"}), dir.Path());
    EXPECT_EQ(plain.status, 0);
    EXPECT_NE(plain.out.find("onetwothree\nhi under ~*PINK*~\n"), std::string::npos) << plain.out;
    EXPECT_EQ(plain.out.find('\033'), std::string::npos);

    HostRun never = RunHost(WithLib({"--color=never", "Markup"}), dir.Path());
    EXPECT_EQ(never.out, plain.out);

    HostRun ansi = RunHost(WithLib({"--color=always", "--log", dir.File("run.log"), "Markup"}), dir.Path());
    EXPECT_EQ(ansi.status, 0);
    // RED is 0x0000FF (COLORREF BBGGRR), so red 255; BACK_YELLOW 0x00F0FF is 255,240,0 and the
    // black text on it is then black. Black on white stays in the terminal's own colours; an
    // unknown name is printed as it is.
    EXPECT_NE(ansi.out.find("one\033[0;38;2;255;0;0mtwo\033[0mthree\n"
                            "\033[0;38;2;0;0;0;48;2;255;240;0mhi\033[0m \033[0;4munder\033[0m ~*PINK*~\n"),
              std::string::npos)
        << ansi.out;
    EXPECT_NE(ansi.out.find("\033[0;38;2;0;160;0m[PASS]"), std::string::npos) << "result in green";
    // The log holds the plain text of the same run.
    const std::string log = ReadFileText(dir.File("run.log"));
    EXPECT_EQ(log.find('\033'), std::string::npos);
    EXPECT_NE(log.find("onetwothree\nhi under ~*PINK*~\n[PASS]    Host/Basic/Markup"), std::string::npos) << log;

    // On a terminal, auto means colour.
    HostRun tty = RunHostOnTerminal(WithLib({"Markup"}), dir.Path(), "");
    EXPECT_EQ(tty.status, 0);
    EXPECT_NE(WithoutCr(tty.out).find("one\033[0;38;2;255;0;0mtwo\033[0mthree"), std::string::npos) << tty.out;

    HostRun bad = RunHost(WithLib({"--color=sometimes"}), dir.Path());
    EXPECT_EQ(bad.status, 2);
}

TEST(HostCli, MessageBoxesAndWindowNotificationsShowInTheOutput) {
    TempDir dir;
    HostRun run = RunHost(WithLib({"--log", dir.File("log.txt"), "MessageBox", "Window"}), dir.Path());
    EXPECT_EQ(run.status, 0) << run.out;
    ExpectInOrder(run.out, {"Before the box\n", "[HostTest] ERROR:  Couldn't open file missing.bin\n",
                            "After the box\n", "[PASS]    Host/Basic/MessageBox"});
    EXPECT_NE(ReadFileText(dir.File("log.txt")).find("[HostTest] ERROR:  Couldn't open file"), std::string::npos);
    // The window test passes only when code 1 copied the window out and code 2 put text back;
    // the rebuilt window is not shown a second time.
    EXPECT_NE(run.out.find("[PASS]    Host/Basic/Window"), std::string::npos);
    EXPECT_EQ(Count(run.out, "window line\n"), 1u);
    EXPECT_EQ(Count(run.out, "summary line\n"), 1u);
}

TEST(HostCli, ExitStatusesForPassFailAndBadUsage) {
    TempDir dir;
    EXPECT_EQ(RunHost(WithLib({"Top"}), dir.Path()).status, 0);
    EXPECT_EQ(RunHost(WithLib({"Fail"}), dir.Path()).status, 1);

    HostRun unknown = RunHost(WithLib({"--frobnicate"}), dir.Path());
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown option '--frobnicate'"), std::string::npos) << unknown.err;
    EXPECT_EQ(RunHost({"--lib"}, dir.Path()).status, 2) << "a missing option value";

    HostRun missing = RunHost({"--lib", dir.File("NoSuch.so"), "--junit", dir.File("j.xml")}, dir.Path());
    EXPECT_EQ(missing.status, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.File("j.xml"))) << "no empty report";
    EXPECT_NE(missing.err.find("cannot load the test library"), std::string::npos) << missing.err;

    WriteFileText(dir.File("garbage.so"), "not an ELF file");
    HostRun garbage = RunHost({"--lib", "garbage.so"}, dir.Path());
    EXPECT_EQ(garbage.status, 2);
    EXPECT_NE(garbage.err.find("cannot load the test library garbage.so"), std::string::npos) << garbage.err;

    HostRun noEntry = RunHost({"--lib", BinDir() + "/HostNoEntryPlugin.so"}, dir.Path());
    EXPECT_EQ(noEntry.status, 2);
    EXPECT_NE(noEntry.err.find("has no GetTestList"), std::string::npos) << noEntry.err;

    HostRun badRig = RunHost(WithLib({"--rig", dir.File("none.json")}), dir.Path());
    EXPECT_EQ(badRig.status, 2);

    // Without --lib the host loads the library built beside it.
    HostRun defaultLib = RunHost({"--list"}, dir.Path());
    EXPECT_EQ(defaultLib.status, 0) << defaultLib.err;

    HostRun help = RunHost({"--help"}, dir.Path());
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: pexhost"), std::string::npos);
    EXPECT_NE(help.out.find("--junit FILE"), std::string::npos);
}

TEST(HostCli, TestThatRaisesCtrlCEndsStoppedAndLaterTestsDoNotStart) {
    TempDir dir;
    HostRun run = RunHost(WithLib({"--all", "RaiseAndPoll", "Documented", "--junit", dir.File("j.xml")}), dir.Path());
    EXPECT_EQ(run.status, 3) << run.out << run.err;
    ExpectInOrder(run.out, {"[RUN]     Host/Stop/RaiseAndPoll", "Stopped by User\n",
                            "[STOPPED] Host/Stop/RaiseAndPoll", "NOT RUN", "Host/Extra/Documented",
                            "2 tests: 0 passed, 0 failed, 1 stopped, 1 not run\n"});
    EXPECT_EQ(run.out.find("[RUN]     Host/Extra/Documented"), std::string::npos);
    EXPECT_NE(run.err.find("stopping after the running test"), std::string::npos);
    // Only the test that ran is reported.
    const std::string xml = ReadFileText(dir.File("j.xml"));
    EXPECT_EQ(Count(xml, "<testcase "), 1u);
    EXPECT_NE(xml.find("type=\"STOPPED\" message=\"Stopped by User\""), std::string::npos) << xml;
}

TEST(HostCli, CtrlCFromOutsideStopsThePollingTestAndASecondOneQuitsAtOnce) {
    TempDir dir;
    bool sent = false;
    HostRun once = RunHost(WithLib({"--all", "Stop/Poll"}), dir.Path(), [&](pid_t pid, const std::string& out) {
        if (out.find("[RUN]     Host/Stop/Poll") == std::string::npos) return true;
        kill(pid, SIGINT);
        sent = true;
        return false;
    });
    ASSERT_TRUE(sent);
    EXPECT_EQ(once.status, 3) << once.out;
    EXPECT_NE(once.out.find("[STOPPED] Host/Stop/Poll"), std::string::npos) << once.out;

    // The stubborn test ignores the flag; the second Ctrl-C ends the host long before it would.
    const auto start = std::chrono::steady_clock::now();
    HostRun twice = RunHost(WithLib({"--all", "Stubborn"}), dir.Path(), [&](pid_t pid, const std::string& out) {
        if (out.find("[RUN]     Host/Stop/Stubborn") == std::string::npos) return true;
        kill(pid, SIGINT);
        usleep(50000);
        kill(pid, SIGINT);
        return false;
    });
    EXPECT_EQ(twice.status, 3);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_NE(twice.err.find("pexhost: stopped"), std::string::npos) << twice.err;
}

TEST(HostCli, CmdLineHoldsTheLibrarySwitchesAndNeverGoesStale) {
    TempDir dir;
    WriteFileText(dir.File("CmdLine"), "old -ENGINEERING -REGRESSION");
    HostRun run = RunHost(WithLib({"-AUTORUN", "--list", "-Config=My.txt", "-PD=ALL", "-CLKDELTA=5"}), dir.Path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ReadFileText(dir.File("CmdLine")), "pexhost -AUTORUN -Config=My.txt -PD=ALL -CLKDELTA=5");

    // No switches: just the program; written even when the library then fails to load.
    HostRun failed = RunHost({"--lib", "missing.so"}, dir.Path());
    EXPECT_EQ(failed.status, 2);
    EXPECT_EQ(ReadFileText(dir.File("CmdLine")), "pexhost");
}

TEST(HostCli, JUnitReportIsValidXmlAndCarriesTheRedLinesOfFailures) {
    TempDir dir;
    const std::string report = dir.File("report.xml");
    HostRun run = RunHost(WithLib({"--junit", report}), dir.Path());
    EXPECT_EQ(run.status, 1);
    const std::string xml = ReadFileText(report);
    EXPECT_EQ(Count(xml, "<testcase "), 6u);
    EXPECT_NE(xml.find("<testcase classname=\"HostTestPlugin\" name=\"Top\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("<testcase classname=\"Host.Basic\" name=\"Pass\""), std::string::npos);
    EXPECT_NE(xml.find("<failure type=\"FAIL\" message=\"Mismatch at &lt;0x10&gt;: expected 1 &amp; got 2\">"
                       "Mismatch at &lt;0x10&gt;: expected 1 &amp; got 2\n"
                       "ERROR:  &quot;second&quot; failure\n</failure>"),
              std::string::npos)
        << xml;
    EXPECT_EQ(Count(xml, "<failure "), 1u);

    // An XML parser reads it: suite totals, and the failure text as one parser sees it.
    if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not installed";
    const std::string script = dir.File("check.py");
    WriteFileText(script,
                  "import sys, xml.dom.minidom\n"
                  "d = xml.dom.minidom.parse(sys.argv[1])\n"
                  "s = d.getElementsByTagName('testsuite')[0]\n"
                  "f = d.getElementsByTagName('failure')\n"
                  "print(s.getAttribute('tests'), s.getAttribute('failures'), len(f))\n"
                  "print(f[0].firstChild.data, end='')\n");
    const std::string out = dir.File("parsed.txt");
    ASSERT_EQ(std::system(("python3 " + script + " " + report + " > " + out).c_str()), 0);
    EXPECT_EQ(ReadFileText(out), "6 1 1\nMismatch at <0x10>: expected 1 & got 2\nERROR:  \"second\" failure\n");
}

TEST(HostCli, HelpTestCallsHelpOnTheMatchingLeaves) {
    TempDir dir;
    HostRun run = RunHost(WithLib({"--help-test", "documented"}), dir.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    ExpectInOrder(run.out, {"[HELP]    Host/Extra/Documented\n", "Usage: Documented VERBOSE=n\n"});
    EXPECT_EQ(run.out.find("[RUN]"), std::string::npos);
    EXPECT_EQ(RunHost(WithLib({"--help-test", "nothing"}), dir.Path()).status, 2);
}

TEST(HostCli, RigFileReachesTheLibraryThroughTheEnvironment) {
    TempDir dir;
    // The smallest rig the device library accepts: no boards.
    WriteFileText(dir.File("rig.json"), "{\"boards\": []}");
    HostRun run = RunHost(WithLib({"--all", "--rig", "rig.json", "Extra/Rig"}), dir.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    // Made absolute, so the library finds it whatever folder it works in.
    EXPECT_NE(run.out.find("PEXANO_RIG=" + dir.File("rig.json") + "\n"), std::string::npos) << run.out;
}

TEST(HostCli, OnATerminalTheProgressBarDrawsAndDialogsTakeTypedActions) {
    TempDir dir;
    HostRun run = RunHostOnTerminal(WithLib({"--all", "Extra/Progress", "Extra/Dialog"}), dir.Path(), "bogus\nadd\nok\n");
    const std::string out = WithoutCr(run.out);
    EXPECT_EQ(run.status, 0) << out;
    // Range 0..200 at 100 is half the 40-cell bar; the bar is erased when hidden.
    EXPECT_NE(out.find("[####################....................]  50%"), std::string::npos) << out;
    EXPECT_NE(out.find("[########################################] 100%\033[K"), std::string::npos) << out;
    ExpectInOrder(out, {"=== Counter ===\nCount: 0\n", "Only add is known", "Count: 1\n",
                        "Dialog answered 1, count 1", "[PASS]    Host/Extra/Dialog"});

    // Without a terminal nobody can answer: the dialog is cancelled and no bar is drawn.
    HostRun headless = RunHost(WithLib({"--all", "Extra/Progress", "Extra/Dialog"}), dir.Path());
    EXPECT_EQ(headless.status, 1);
    EXPECT_NE(headless.out.find("Dialog answered 2, count 0"), std::string::npos) << headless.out;
    EXPECT_EQ(headless.err.find('['), std::string::npos) << headless.err;
}

TEST(HostCli, OnATerminalAnOperatorEditsTheListsInTheListSelectorSheet) {
    TempDir dir;
    // The image page is in front; a mistyped item is refused and changes nothing.
    HostRun run = RunHostOnTerminal(WithLib({"--all", "Extra/Lists"}), dir.Path(),
                                    "add NOSUCH\nadd GRID\npage 1\nadd DIM=(1280,720)\nok\n");
    const std::string out = WithoutCr(run.out);
    EXPECT_EQ(run.status, 0) << out;
    ExpectInOrder(out, {"=== List Selections ===\n", "[0: Images (163)] 1: Resolutions (162)",
                        "No item \"NOSUCH\" in Sources", "[1: Resolutions (162)]", "List sheet answered 1\n",
                        "Image list:\nIndex[0]\tHORZ_WEDGE_BLUE2RED\nIndex[1]\tRANDOM\nIndex[2]\tGRID\n"
                        "Resolution list:\nIndex[0]\tDIM=(720,486)\nIndex[1]\tDIM=(720,576)\n"
                        "Index[2]\tDIM=(1280,720)\n",
                        "[PASS]    Host/Extra/Lists"});

    // Cancel after an edit leaves the lists as they were.
    HostRun cancelled = RunHostOnTerminal(WithLib({"--all", "Extra/Lists"}), dir.Path(), "add GRID\ncancel\n");
    const std::string kept = WithoutCr(cancelled.out);
    EXPECT_EQ(cancelled.status, 1) << kept;
    EXPECT_NE(kept.find("List sheet answered 2\nImage list:\nIndex[0]\tHORZ_WEDGE_BLUE2RED\nIndex[1]\tRANDOM\n"
                        "Resolution list:\n"),
              std::string::npos)
        << kept;

    // Without a terminal nobody can answer: the sheet is cancelled unseen and the lists stay.
    HostRun headless = RunHost(WithLib({"--all", "Extra/Lists"}), dir.Path());
    EXPECT_EQ(headless.status, 1);
    EXPECT_EQ(headless.out.find("=== List Selections"), std::string::npos) << headless.out;
    EXPECT_NE(headless.out.find("List sheet answered 2\nImage list:\nIndex[0]\tHORZ_WEDGE_BLUE2RED\n"
                                "Index[1]\tRANDOM\nResolution list:\nIndex[0]\tDIM=(720,486)\n"
                                "Index[1]\tDIM=(720,576)\n[FAIL]"),
              std::string::npos)
        << headless.out;
}
