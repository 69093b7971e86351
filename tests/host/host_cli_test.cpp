// Integration tests: the real pexhost on the test plug-in, as an operator or a CI job runs it.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#include "tests/host/host_process.h"
#include "tests/support/output.h"
#include "tests/support/run_program.h"
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

// What an earlier run left as its report: the host must not lose it on a run that writes no report.
const char kKeptReport[] = "<testsuites name=\"earlier run\"/>\n";

// The hidden files in dir besides the host's captured output: temporary reports left behind.
std::vector<std::string> LeftBehind(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
        const std::string name = e.path().filename().string();
        if (name[0] == '.' && name != ".stdout" && name != ".stderr") names.push_back(name);
    }
    return names;
}

// Where a signal lands in a save of name: a write to its temporary (".<name>.<pid>.<serial>.<hex>"),
// from the second on, so that part of the file is written and the rest is not.
SignalPoint Saving(const std::string& name) {
    return {SYS_write, [name](const std::string& path) { return std::filesystem::path(path).filename().string().starts_with("." + name + "."); }, 2};
}
// Where a signal lands in a read of file: its second read, with part of the file read.
SignalPoint Reading(const std::string& file) {
    return {SYS_read, [file = std::filesystem::canonical(file).string()](const std::string& path) { return path == file; }, 2};
}

TEST(HostCli, ListsTheKeyedTreeWithItsOwnMarksAndUnloadsTheLibrary) {
    TempDir dir;
    HostRun run = RunHost(WithLib({"-AUTORUN", "--list", "-Config=My.txt"}), dir.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    // The pre-host text first; keys order the leaves; a leaf shows its own mark, not its folder's.
    ExpectInOrder(run.out, {"Test plug-in loaded\n[x] Top\n[x] Host/\n  [x] Basic/\n    [x] Pass\n    [x] Fail\n",
                            "  [ ] Stop/\n    [x] RaiseAndPoll\n", "  [ ] Extra/  (optional)\n    [x] Documented  (optional)\n    [ ] Skipped\n"});
    EXPECT_TRUE(std::filesystem::exists(dir.File("Unloaded"))) << "static destructors ran";
    EXPECT_EQ(dir.Read("CmdLine"), "pexhost -AUTORUN -Config=My.txt");  // the library's switches
    EXPECT_EQ(RunHost({"--lib", "missing.so"}, dir.Path()).status, 2);  // written even when the library fails to load
    EXPECT_EQ(dir.Read("CmdLine"), "pexhost");
}

TEST(HostCli, DefaultRunTakesCheckedLeavesUnderCheckedFoldersSummarisesAndReportsAsJUnit) {
    TempDir dir;
    HostRun run = RunHost(WithLib({}), dir.Path());
    EXPECT_EQ(run.status, 1) << "one test fails";
    ExpectInOrder(run.out, {"[RUN]     Top\n", "[PASS]    Top  (", "onetwothree\nhi under ~*PINK*~\n[PASS]    Host/Basic/Pass  (",
                            "(after red on the same line)\n[FAIL]    Host/Basic/Fail  (", "Before the box\n",
                            "[HostTest] ERROR:  Couldn't open file missing.bin\n", "window line\n", "[PASS]    Host/Basic/Window",
                            "\nSummary\n", "  FAIL", "Host/Basic/Fail\n", "4 tests: 3 passed, 1 failed, 0 stopped, 0 not run\n"});
    EXPECT_FALSE(Has(run.out, "Host/Stop") || Has(run.out, "Host/Extra") || Has(run.out, "\033"));
    EXPECT_EQ(Count(run.out, "window line\n"), 1u) << "the rebuilt window is not shown a second time";
    // The JUnit report is valid XML and carries the red lines of failures. It replaces an earlier
    // report whole, keeping its permissions, and through a link, which stays a link.
    const std::string report = dir.Write("report.xml", kKeptReport);
    std::filesystem::permissions(report, std::filesystem::perms(0640));
    std::filesystem::create_symlink("report.xml", dir.File("link.xml"));
    EXPECT_EQ(RunHost(WithLib({"--junit", "link.xml"}), dir.Path()).status, 1);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.xml")));
    EXPECT_EQ(std::filesystem::status(report).permissions(), std::filesystem::perms(0640));
    EXPECT_TRUE(dir.Read("report.xml").starts_with("<?xml") && Has(dir.Read("report.xml"), "</testsuites>\n"));
    EXPECT_EQ(LeftBehind(dir), std::vector<std::string>{});
    // An XML parser reads the red lines of the failure back.
    const std::string script = dir.Write("check.py", "import sys, xml.dom.minidom\nd = xml.dom.minidom.parse(sys.argv[1])\n"
                                                     "f = d.getElementsByTagName('failure')\n"
                                                     "print(len(d.getElementsByTagName('testcase')), len(f), f[0].firstChild.data, end='')\n");
    const support::ProgramRun parsed = support::RunProgram({"python3", script, report});
    EXPECT_EQ(parsed.status, 0) << parsed.err;
    EXPECT_EQ(parsed.out, "4 1 Mismatch at <0x10>: expected 1 & got 2\nERROR:  \"second\" failure\n");
}

TEST(HostCli, ExitStatusAndMessageForEachSelectionAndUsage) {
    TempDir dir;
    dir.Write("garbage.so", "not an ELF file");
    dir.Write("bad.json", "{\"boards\": [");
    dir.Write("rig.json", "{\"boards\": []}");
    dir.Write("tags.json", R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}, {"tag": "Nuxa1", "kind": "nuxa"}, {"tag": "Nuxa1.Clock", "kind": "nuxa"}]})");
    dir.MakeDir("folder");
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0644), 0);
    // A copy of the library and one of the host, each alone in its folder: they find the project's
    // libraries all the same (the library in the host's folder).
    dir.MakeDir("lib copy");
    dir.MakeDir("host copy");
    std::filesystem::copy_file(BinDir() + "/PexanoTests.so", dir.File("lib copy/PexanoTests.so"));
    std::filesystem::copy_file(BinDir() + "/pexhost", dir.File("host copy/pexhost"));
    // The station's own copy of a library, in a folder LD_LIBRARY_PATH names, comes before the build's.
    dir.MakeDir("station libs");
    std::filesystem::copy_file(BinDir() + "/libpexdevice.so", dir.File("station libs/libpexdevice.so"));
    struct Row {
        const char* name; std::vector<std::string> args; int status; std::string err; std::string ran; std::string program = "";
        std::string libraryPath = "";  // LD_LIBRARY_PATH, with the loader saying which files it starts
    };
    const std::string lib = "--lib=" + PluginPath(), bare = BinDir() + "/HostBarePlugin.so";
    const Row rows[] = {
        {"glob matching nothing", {lib, "p*", "--junit", "j.xml"}, 2, "no checked test matches", ""},
        {"union in tree order", {lib, "Window", "Top"}, 0, "", "Test plug-in loaded\n[RUN]     Top\n"},
        {"unchecked needs --all", {lib, "Skipped"}, 2, "add --all", ""},
        // Every filter must choose a test that runs, whatever the others choose: a test the operator
        // named and did not get must not pass for one that was tested.
        {"a filter matching nothing beside one that matches", {lib, "Top", "Tpo", "--junit", "j.xml"}, 2,
         "pexhost: no checked test matches the filter \"Tpo\"\n", ""},
        {"a filter matching only unchecked tests beside one that matches", {lib, "Top", "Stop/", "--junit", "j.xml"}, 2,
         "pexhost: no checked test matches the filter \"Stop/\" (3 unchecked: add --all)\n", ""},
        {"a filter matching nothing with --all", {lib, "--all", "Skipped", "Tpo", "--junit", "j.xml"}, 2,
         "pexhost: no test matches the filter \"Tpo\"\n", ""},
        {"two filters matching nothing beside one that matches", {lib, "Tpo", "Top", "Stop/", "--junit", "j.xml"}, 2,
         "pexhost: no checked test matches the filter \"Tpo\"\npexhost: no checked test matches the filter \"Stop/\" (3 unchecked: add --all)\n", ""},
        {"a misspelt filter beside a right one", {"Main FPGA/March", "Flash ID Chekcs", "--junit", "j.xml"}, 2,
         "pexhost: no checked test matches the filter \"Flash ID Chekcs\"\n", ""},
        {"an engineering filter of unchecked tests beside a checked one",
         {"-ENGINEERING", "Manufacturing/Main FPGA/March", "EXP Area Check", "--junit", "j.xml"}, 2,
         "pexhost: no checked test matches the filter \"EXP Area Check\" (2 unchecked: add --all)\n", ""},
        {"--all", {lib, "--all", "Skipped"}, 0, "", "[PASS]    Host/Extra/Skipped"},
        {"unknown option", {lib, "--junit", "j.xml", "--frobnicate"}, 2, "unknown option '--frobnicate'", ""},
        {"report into a missing folder", {lib, "--junit", "none/j.xml", "Top"}, 2, "cannot write the JUnit report none/j.xml: No such file", ""},
        {"report over a folder", {lib, "--junit", "folder", "Top"}, 2, "cannot write the JUnit report folder: not a regular file", ""},
        {"report over a pipe", {lib, "--junit", "fifo", "--log", "new.log", "Top"}, 2, "cannot write the JUnit report fifo: not a regular file", ""},
        {"not a library", {"--lib", "garbage.so", "--junit", "j.xml"}, 2, "cannot load the test library garbage.so", ""},
        {"no entry", {"--lib", BinDir() + "/HostNoEntryPlugin.so"}, 2, "has no GetTestList", ""},
        {"missing rig", {lib, "--rig", "none.json", "--junit", "j.xml"}, 2, "cannot read the rig file none.json", ""},
        {"bad rig", {lib, "--rig", "bad.json", "--junit", "j.xml"}, 2, "not valid JSON", ""},
        // Its records would go to the device of that name, and the board would go untested.
        {"a tag that is the name of another device", {"--rig", "tags.json", "--junit", "j.xml"}, 2,
         "key \"boards[2].tag\": tag \"Nuxa1.Clock\" is the name of the device \"Nuxa1.Clock\" of board \"Nuxa1\"\n", ""},
        {"rig as an absolute path", {lib, "--all", "--rig", "rig.json", "Documented"}, 0, "", "PEXANO_RIG=" + dir.File("rig.json") + "\n"},
        {"station folder not there", {lib, "--station", "none", "--junit", "j.xml"}, 2, "the station folder none is not a folder", ""},
        {"station folder a file", {lib, "--station", "bad.json", "--junit", "j.xml"}, 2, "the station folder bad.json is not a folder", ""},
        // Drive-rooted names land in the station folder, the current one unless named; ".." stops at it.
        // The station folder is the one the run started in, wherever a test moves the current folder.
        {"current folder as the station", {lib, "--all", "Documented"}, 0, "", "C:\\..\\x.img=" + dir.File("x.img") + "\n\\ROOTED.bin=" +
                                                                               dir.File("ROOTED.bin") + "\n..\\..\\REL.bin=" + dir.File("REL.bin") + "\n"},
        {"station folder named", {lib, "--all", "--station=folder", "Documented"}, 0, "", "C:\\..\\x.img=" + dir.File("folder") + "/x.img\n"},
        {"help on a test", {lib, "--help-test", "documented", "--junit", "j.xml"}, 0, "", "Help on [HostDev <Doc>]\nUsage: Documented VERBOSE=n\n"},
        {"a list tests nothing", {lib, "--list", "--junit", "j.xml"}, 0, "", "[x] Top\n"},
        // What an unset shell variable gives must not run every test.
        {"an empty filter", {lib, "", "--junit", "j.xml"}, 2, "an empty filter selects nothing", ""},
        {"a blank filter", {lib, "Top", " \t", "--junit", "j.xml"}, 2, "an empty filter selects nothing", ""},
        {"default library", {"--list"}, 0, "", "[x] "},
        {"a copied library", {"--lib", dir.File("lib copy/PexanoTests.so"), "--list"}, 0, "", "[x] "},
        {"a copied host", {lib, "--list"}, 0, "", "[x] Top\n", dir.File("host copy/pexhost")},
        {"a copied library with the station's libraries", {"--lib", dir.File("lib copy/PexanoTests.so"), "--list"}, 0,
         "calling init: " + dir.File("station libs/libpexdevice.so") + "\n", "[x] ", "", dir.File("station libs")},
        // A run in which nothing was tested never passes: the library published nothing, or nothing checked.
        {"library with no test", {"--lib", bare, "--junit", "j.xml"}, 2, "the library published no test to run", "No board on this rig\n"},
        {"only unchecked tests", {"--lib", bare, "-UNCHECKED", "--junit", "j.xml"}, 2, "no checked test to run (1 unchecked: add --all)", ""},
        {"an empty tree listed is no run", {"--lib", bare, "--list"}, 0, "", "No board on this rig\n"},
        {"a rig without boards", {"--rig", "rig.json", "--junit", "j.xml"}, 2, "the library published no test to run", ""},
        {"a tree file that is not there", {"-Config=NOFILE.TXT", "--junit", "j.xml"}, 2, "the library published no test to run", "Unable to read"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        dir.Write("j.xml", kKeptReport);
        HostRun run = RunHost(row.args, dir.Path(), {}, row.program, [&] {
            if (row.libraryPath.empty()) return;
            setenv("LD_LIBRARY_PATH", row.libraryPath.c_str(), 1);
            setenv("LD_DEBUG", "files", 1);
        });
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_TRUE(Has(run.err, row.err) && Has(run.out, row.ran)) << run.err << run.out;
        EXPECT_FALSE(row.status == 2 && Has(run.out, "[RUN]")) << "refused before any test runs";
        // A run that ends before its report leaves the file as it was, and nothing beside it.
        EXPECT_EQ(dir.Read("j.xml"), kKeptReport);
        EXPECT_EQ(LeftBehind(dir), std::vector<std::string>{});
        EXPECT_TRUE(std::filesystem::is_directory(dir.File("folder")) && std::filesystem::is_fifo(dir.File("fifo")));
    }
}

TEST(HostCli, ColoursOnlyWhenAskedOrOnATerminalWhereTheProgressBarDrawsAndDialogsTakeActions) {
    TempDir dir;
    const std::string red = "one\033[0;38;2;255;0;0mtwo\033[0mthree";  // RED is 0x0000FF (COLORREF BBGGRR)
    EXPECT_TRUE(Has(RunHost(WithLib({"--color=always", "--log", "run.log", "Basic/Pass"}), dir.Path()).out, red));
    EXPECT_TRUE(Has(dir.Read("run.log"), "onetwothree\nhi under ~*PINK*~\n[PASS]    Host/Basic/Pass"));
    EXPECT_TRUE(Has(RunHostOnTerminal(WithLib({"Basic/Pass"}), dir.Path(), "").out, red));
    EXPECT_FALSE(Has(RunHostOnTerminal(WithLib({"--color=never", "Basic/Pass"}), dir.Path(), "").out, "\033[0;38"));
    // On a terminal the progress bar draws and dialogs take typed actions. With stdout in a file, and
    // stderr too, a dialog is drawn on the terminal all the same and only there; the log keeps it
    // with what was typed.
    struct Row { const char* name; std::vector<int> inFile; };
    const Row rows[] = {{"all on the terminal", {}}, {"stdout in a file", {1}}, {"stdout and stderr in a file", {1, 2}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string file = dir.File("out.txt");
        HostRun run = RunHostOnTerminal(WithLib({"--all", "--log", "run.log", "Extra/Progress", "Extra/Dialog"}), dir.Path(),
                                        "bogus\nadd\nok\n", [&] {
                                            const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                                            for (int to : row.inFile) dup2(fd, to);
                                        });
        std::string out = run.out;
        std::erase(out, '\r');
        EXPECT_EQ(run.status, 0) << out;
        // 100 of 0..200, drawn while stderr is the terminal
        EXPECT_EQ(Has(out, "[####################....................]  50%"), row.inFile.size() < 2) << out;
        ExpectInOrder(out, {"=== Counter ===\nCount: 0\n", "Only add is known", "Count: 1\n"});
        const std::string results = row.inFile.empty() ? out : dir.Read("out.txt");
        ExpectInOrder(results, {"Dialog answered 1, count 1", "[PASS]    Host/Extra/Dialog"});
        EXPECT_EQ(Has(results, "=== Counter ==="), row.inFile.empty()) << results;
        EXPECT_EQ(Has(results, "(action, ok or cancel)> "), row.inFile.empty()) << results;
        ExpectInOrder(dir.Read("run.log"), {"=== Counter ===\nCount: 0\n", "cancel)> bogus\n", "Only add is known",
                                            "cancel)> add\n", "Count: 1\n", "cancel)> ok\n", "Dialog answered 1, count 1"});
    }
    // Without a terminal nobody can answer: the dialog is cancelled and no bar is drawn.
    HostRun headless = RunHost(WithLib({"--all", "Extra/Progress", "Extra/Dialog"}), dir.Path());
    EXPECT_TRUE(Has(headless.out, "Dialog answered 2, count 0") && !Has(headless.err, "[")) << headless.out;
}

TEST(HostCli, ACtrlCEndsTheTestStoppedAndASecondQuitsAtOnceWhenTheTestIgnoresTheFirst) {
    TempDir dir;
    dir.Write("s.xml", kKeptReport);
    HostRun run = RunHost(WithLib({"--all", "RaiseAndPoll", "Documented", "--junit", "s.xml"}), dir.Path());
    EXPECT_EQ(run.status, 3) << run.out << run.err;
    ExpectInOrder(run.out, {"Stopped by User\n", "[STOPPED] Host/Stop/RaiseAndPoll", "NOT RUN", "Host/Extra/Documented",
                            "2 tests: 0 passed, 0 failed, 1 stopped, 1 not run\n"});
    // The report replaces the last one with a whole account of the stopped run: every test chosen,
    // the stopped one and the one never started skipped, each with its reason; none reads as passed.
    ExpectInOrder(dir.Read("s.xml"), {"<testsuite name=\"HostTestPlugin\" tests=\"2\" failures=\"0\" errors=\"0\" skipped=\"2\"",
                                      "<testcase classname=\"Host.Stop\" name=\"RaiseAndPoll\"",
                                      "<skipped message=\"stopped: the run was stopped while this test ran\">Stopped by User\n</skipped>",
                                      "<testcase classname=\"Host.Extra\" name=\"Documented\" time=\"0.000\">",
                                      "<skipped message=\"not run: the run was stopped before this test\"/>", "</testsuites>\n"});
    EXPECT_EQ(Count(dir.Read("s.xml"), "<testcase "), 2u);
    EXPECT_TRUE(Has(run.err, "stopping after the running test"));
    // A second Ctrl-C quits at once when the test ignores the first.
    const auto start = std::chrono::steady_clock::now();
    dir.Write("j.xml", kKeptReport);
    HostRun second = RunHost(WithLib({"--all", "Stubborn", "--junit", "j.xml"}), dir.Path(),
                             SignalOnceShown(dir.Path(), "[RUN]     Host/Stop/Stubborn", {SIGINT, SIGINT}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(second.status == 3 && Has(second.err, "pexhost: stopped")) << second.err;
    EXPECT_EQ(dir.Read("j.xml"), kKeptReport);
    EXPECT_EQ(LeftBehind(dir), std::vector<std::string>{});
}

TEST(HostCli, ATestThatStopsItselfIsNoOperatorsStopAndASignalMidSaveLeavesTheFileAsItWas) {
    TempDir dir;
    // No one pressed Ctrl-C: the test did not pass, and its report says why in its own words.
    HostRun itself = RunHost(WithLib({"--all", "Stop/Itself", "Basic/Pass", "--junit", "j.xml"}), dir.Path());
    EXPECT_EQ(itself.status, 1) << itself.out;
    ExpectInOrder(itself.out, {"[PASS]    Host/Basic/Pass", "[STOPPED] Host/Stop/Itself", "2 tests: 1 passed, 0 failed, 1 stopped, 0 not run\n"});
    ExpectInOrder(dir.Read("j.xml"), {"failures=\"1\" errors=\"0\" skipped=\"0\"",
                                      "<failure type=\"STOPPED\" message=\"Run the register test first\">Flash check skipped\n"});
    EXPECT_FALSE(Has(dir.Read("j.xml"), "the run was stopped"));
    // A signal that ends the host mid-save removes the save's temporary: the file and the report
    // stay as they were. A large save (1 GiB, in one call) takes each signal between two of its
    // writes, not once it is all written. Each signal is sent while the host is held at a write of
    // the temporary and taken as that write returns, so two Ctrl-Cs stay two and the second finds
    // the save still under way. A large copy takes them between two reads of its source as well.
    dir.Write("source.bin", "");
    std::filesystem::resize_file(dir.File("source.bin"), 1ull << 30);
    // The rig's flash image is made as a save is: a signal leaves none, or a whole one.
    dir.Write("rig.json", R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "flash": {"image": "flash.img"}}]})");
    ASSERT_EQ(RunHost({"--rig", "rig.json", "--list"}, dir.Path()).status, 0);
    ASSERT_EQ(dir.Read("flash.img").size(), 8u << 20);
    struct Row { const char* name; const char* test; std::vector<int> signals; int status; } const rows[] = {
        {"SIGTERM", "SaveAndWait", {SIGTERM}, 128 + SIGTERM}, {"SIGHUP", "SaveAndWait", {SIGHUP}, 128 + SIGHUP},
        {"two Ctrl-Cs", "SaveAndWait", {SIGINT, SIGINT}, 3}, {"SIGKILL", "SaveAndWait", {SIGKILL}, 128 + SIGKILL},
        {"two Ctrl-Cs in a large save", "LargeSave", {SIGINT, SIGINT}, 3},
        {"SIGTERM in a large save", "LargeSave", {SIGTERM}, 128 + SIGTERM},
        {"SIGHUP in a large save through CFile", "LargeStreamSave", {SIGHUP}, 128 + SIGHUP},
        {"two Ctrl-Cs in a large copy's read", "LargeCopy", {SIGINT, SIGINT}, 3},
        {"SIGTERM as the rig makes its flash image", "", {SIGTERM}, 128 + SIGTERM},
        {"two Ctrl-Cs as the rig makes its flash image", "", {SIGINT, SIGINT}, 3},
    };
    std::string untraced;  // the rows that could not run, and why
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        dir.Write("saved.bin", "old");
        dir.Write("j.xml", kKeptReport);
        const std::string test = row.test;
        if (test != "SaveAndWait") {
            // The library makes the image as it loads, whole or not at all.
            const bool image = test.empty(), copy = test == "LargeCopy";
            if (image) std::filesystem::remove(dir.File("flash.img"));
            const std::vector<std::string> args = image ? std::vector<std::string>{"--rig", "rig.json", "--list", "--junit", "j.xml"}
                                                        : WithLib({"--all", row.test, "--junit", "j.xml"});
            const SignalledRun run = RunHostSignalled(args, dir.Path(), copy ? Reading(dir.File("source.bin")) : Saving(image ? "flash.img" : "saved.bin"),
                                                      row.signals);
            if (run.status == -1 && run.err.starts_with(kUntraceable)) {
                untraced += std::string("\n  ") + row.name + " (" + run.err + ")";
                continue;
            }
            EXPECT_EQ(run.status, row.status) << run.err;
            ASSERT_EQ(run.offsets.size(), row.signals.size()) << "each signal sent mid-" << (copy ? "read" : "save");
            for (long long done : run.offsets)
                EXPECT_TRUE(done > 0 && done < (image ? 8ll << 20 : 1ll << 30)) << done << " bytes " << (copy ? "read" : "written") << " where it stopped";
            EXPECT_TRUE(!image || !std::filesystem::exists(dir.File("flash.img")));
        } else {
            // The save is open from the test's start; its text shows once the test ends.
            HostRun run = RunHost(WithLib({"--all", row.test, "--junit", "j.xml"}), dir.Path(),
                                  SignalOnceShown(dir.Path(), "[RUN]     Host/Extra/SaveAndWait", row.signals, 300));
            EXPECT_EQ(run.status, row.status) << run.err;
        }
        EXPECT_EQ(dir.Read("saved.bin"), "old");
        EXPECT_EQ(dir.Read("j.xml"), kKeptReport);
        // A process killed outright leaves its temporary; the next save of the file removes it.
        EXPECT_EQ(LeftBehind(dir).size(), row.signals[0] == SIGKILL ? 1u : 0u);
    }
    // Only temporaries go: not the rig file nor the log the host writes, though each is named as a
    // temporary of a process that is gone, of the report and of the save.
    const std::string rig = dir.Write(".j.xml.99999999.1.a", "{\"boards\": []}");
    const std::string log = dir.File(".saved.bin.99999999.2.b");
    const HostRun swept = RunHost(WithLib({"--all", "--rig", rig, "--log", log, "--junit", "j.xml", "*/Extra/Save"}), dir.Path());
    EXPECT_EQ(swept.status, 0) << swept.err;
    EXPECT_EQ(dir.Read("saved.bin"), "new");
    EXPECT_TRUE(Has(dir.Read("j.xml"), "<testcase ") && Has(ReadText(log), "[PASS]    Host/Extra/Save")) << ReadText(log);
    EXPECT_EQ(ReadText(rig), "{\"boards\": []}");
    // The switch file is saved before the library names its files: a report that --list keeps as
    // it is, named as a temporary of the switch file, stays.
    const std::string listed = dir.Write(".CmdLine.99999999.3.c", kKeptReport);
    EXPECT_EQ(RunHost(WithLib({"--list", "--junit", listed}), dir.Path()).status, 0);
    EXPECT_EQ(ReadText(listed), kKeptReport);
    std::vector<std::string> left = LeftBehind(dir);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".CmdLine.99999999.3.c", ".j.xml.99999999.1.a", ".saved.bin.99999999.2.b"}));
    if (!untraced.empty() && std::getenv(kTraceRequired)) ADD_FAILURE() << "these rows did not run:" << untraced;
    else if (!untraced.empty()) GTEST_SKIP() << "these rows did not run:" << untraced;
}

TEST(HostCli, AFailedWriteOfTheLogOrTheReportFailsTheRunWithOneRedLineAndTheResultsStayOnScreen) {
    TempDir dir;
    // Past 100 bytes a write fails ("File too large"): the host itself must keep SIGXFSZ from
    // ending it, so the child starts with the signal's default action, as from a shell.
    const auto sizeLimit = [] {
        signal(SIGXFSZ, SIG_DFL);
        const struct rlimit limit = {100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
    };
    struct Row { const char* name; std::vector<std::string> args; bool limited; const char* err; };
    const Row rows[] = {
        {"log on a full disk", {"--log", "/dev/full"}, false, "\x1b[31mpexhost: cannot write the log file /dev/full: No space left on device\x1b[0m\r\n"},
        {"log over a size limit", {"--log", "run.log"}, true, "\x1b[31mpexhost: cannot write the log file run.log: File too large\x1b[0m\r\n"},
        {"report over a size limit", {"--junit", "j.xml"}, true, "\x1b[31mpexhost: cannot write the JUnit report j.xml: File too large\x1b[0m\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        dir.Write("j.xml", kKeptReport);
        std::vector<std::string> args = WithLib(row.args);
        args.push_back("Basic/Pass");
        HostRun run = RunHostOnTerminal(args, dir.Path(), "", row.limited ? std::function<void()>(sizeLimit) : nullptr);
        EXPECT_EQ(run.status, 2) << run.out;
        EXPECT_TRUE(Has(run.out, "[PASS]    Host/Basic/Pass") && Has(run.out, "1 test: 1 passed")) << run.out;
        EXPECT_TRUE(Has(run.out, row.err) && Count(run.out, "pexhost: ") == 1) << run.out;
        EXPECT_EQ(dir.Read("j.xml"), kKeptReport);
        EXPECT_EQ(LeftBehind(dir), std::vector<std::string>{});
    }
}

TEST(HostCli, ALogOrReportOverTheLibraryTheHostAnInputOrEachOtherIsRefusedBeforeAnythingIsOpened) {
    TempDir dir;
    // A host and a library of the test's own: a refusal that failed could spoil only these copies.
    const std::string host = dir.File("pexhost");
    std::filesystem::copy_file(BinDir() + "/pexhost", host);
    std::filesystem::copy_file(PluginPath(), dir.File("lib.so"));
    // The libraries they load are found beside them, as in the build's folder.
    for (const auto& entry : std::filesystem::directory_iterator(BinDir()))
        if (const std::string name = entry.path().filename().string(); name.starts_with("libpex") && name.ends_with(".so"))
            std::filesystem::create_symlink(entry.path(), dir.File(name));
    std::filesystem::create_symlink("lib.so", dir.File("link.so"));
    std::filesystem::create_symlink("later.txt", dir.File("dangling"));
    dir.MakeDir("sub");
    dir.MakeDir("st");
    dir.Write("rig.json", "{\"boards\": []}");
    const std::string notes = "the operator's notes\n";
    dir.Write("notes.txt", notes);
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0644), 0);
    const std::string library = ReadText(dir.File("lib.so")), program = ReadText(host);
    // Rigs whose clock store is a file the host protected before loading the library.
    for (const char* store : {"CmdLine", "pexhost", "link.so"})
        dir.Write(std::string("store-") + store + ".json",
                  std::string(R"({"boards": [{"tag": "B", "kind": "brimola", "memory_clock": {"store": ")") + store + "\"}}]}");
    struct Row { const char* name; std::vector<std::string> args; const char* err; const char* rigVariable = nullptr; };
    const Row rows[] = {
        {"log over a library the host loaded", {"--log", "libpexplatform.so"}, "--log libpexplatform.so is a library the run loaded: refusing"},
        {"log over the rig file the environment names", {"--log", "rig.json"}, "--log rig.json is the rig file", "rig.json"},
        // The switch file is where the host writes it: in the station folder when the current one is outside.
        {"log over the switch file from outside the station", {"--station", "st", "--log", "st/CmdLine"}, "--log st/CmdLine is the switch file"},
        {"log over a file of another program", {"--log", "notes.txt"},
         "--log notes.txt is not a log that pexhost wrote: refusing to write over it (delete it first to use its name)"},
        {"report over a file of another program", {"--junit", "notes.txt"}, "--junit notes.txt is not a JUnit report that pexhost wrote"},
        {"log over the library, spelt otherwise", {"--log", "./sub/../lib.so"}, "--log ./sub/../lib.so is the test library: refusing"},
        {"log over the library through a link", {"--log", "link.so"}, "--log link.so is the test library"},
        {"report over the library", {"--junit", dir.File("lib.so")}, "is the test library"},
        {"report over the host program", {"--junit", "./pexhost"}, "--junit ./pexhost is the host program"},
        {"log over the rig file", {"--rig", "rig.json", "--log", "rig.json"}, "--log rig.json is the rig file"},
        {"log and report one file not there yet", {"--log", "r.txt", "--junit", "sub/../r.txt"}, "--log r.txt and --junit sub/../r.txt name the same file"},
        {"log and report one file through a link leading nowhere yet", {"--log", "dangling", "--junit", "later.txt"}, "name the same file"},
        {"log and report one file", {"--log", "j.xml", "--junit", "./j.xml"}, "--log j.xml and --junit ./j.xml name the same file"},
        {"log on a pipe", {"--log", "fifo"}, "cannot write the log file fifo: a pipe"},
        {"the rig's clock store on the switch file", {"--rig", "store-CmdLine.json", "--list"},
         "store-CmdLine.json\": key \"boards[0].memory_clock.store\": \"CmdLine\" is the switch file: refusing to write over it"},
        {"the rig's clock store on the host program", {"--rig", "store-pexhost.json"}, "\"pexhost\" is the host program: refusing"},
        {"the rig's clock store on the library through a link", {"--rig", "store-link.so.json"}, "\"link.so\" is the test library: refusing"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        dir.Write("j.xml", kKeptReport);
        std::vector<std::string> args = {"--lib=lib.so"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        args.push_back("Top");
        const auto start = std::chrono::steady_clock::now();
        if (row.rigVariable) setenv("PEXANO_RIG", dir.File(row.rigVariable).c_str(), 1);
        HostRun run = RunHost(args, dir.Path(), [&](pid_t pid, const std::string&) {
            if (std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) return true;
            kill(pid, SIGKILL);  // a host waiting on a pipe: fail the row, not the whole run
            return false;
        }, host);
        unsetenv("PEXANO_RIG");
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_TRUE(Has(run.err, row.err)) << run.err;
        EXPECT_FALSE(Has(run.out, "[RUN]")) << "nothing ran";
        EXPECT_TRUE(ReadText(dir.File("lib.so")) == library && ReadText(host) == program) << "the library and the host are whole";
        EXPECT_EQ(dir.Read("j.xml"), kKeptReport);
        EXPECT_EQ(dir.Read("rig.json"), "{\"boards\": []}");
        EXPECT_EQ(dir.Read("notes.txt"), notes);
        EXPECT_FALSE(std::filesystem::exists(dir.File("st/CmdLine")));
        EXPECT_FALSE(std::filesystem::exists(dir.File("r.txt")) || std::filesystem::exists(dir.File("later.txt")));
        EXPECT_TRUE(std::filesystem::is_fifo(dir.File("fifo")));
    }
    // Apart, the same names work: the copied host runs the copied library, and a log it wrote is
    // replaced by the next; "CmdLine" outside the station folder is no switch file.
    for (int run = 0; run < 2; ++run)
        EXPECT_EQ(RunHost({"--lib=link.so", "--log", "dangling", "--junit", "j.xml", "Top"}, dir.Path(), {}, host).status, 0);
    EXPECT_TRUE(dir.Read("later.txt").starts_with("Log of pexhost") && Has(dir.Read("later.txt"), "[PASS]    Top") &&
                Has(dir.Read("j.xml"), "<testcase ")) << dir.Read("later.txt");
    std::filesystem::remove(dir.File("CmdLine"));  // the last run's switches: no log, so the operator deletes it
    EXPECT_EQ(RunHost({"--lib=link.so", "--station", "st", "--log", "CmdLine", "Top"}, dir.Path(), {}, host).status, 0);
    EXPECT_TRUE(Has(dir.Read("CmdLine"), "[PASS]    Top") && dir.Read("st/CmdLine") == "pexhost");
    // Nor does the switch file go over the library through a link where it is written.
    std::filesystem::remove(dir.File("st/CmdLine"));
    std::filesystem::create_symlink("../lib.so", dir.File("st/CmdLine"));
    HostRun linked = RunHost({"--lib=lib.so", "--station", "st", "Top"}, dir.Path(), {}, host);
    EXPECT_EQ(linked.status, 2);
    EXPECT_TRUE(Has(linked.err, "/st/CmdLine is the test library: refusing to write over it")) << linked.err;
    EXPECT_EQ(ReadText(dir.File("lib.so")), library);
    // A test's save over the log fails with the reason, and the log stays whole.
    HostRun saveOverLog = RunHost({"--lib=link.so", "--all", "--log", "saved.bin", "*/Extra/Save"}, dir.Path(), {}, host);
    EXPECT_EQ(saveOverLog.status, 1);
    EXPECT_TRUE(Has(saveOverLog.out, "/saved.bin is the host's log, which this run must not write over")) << saveOverLog.out;
    EXPECT_TRUE(dir.Read("saved.bin").starts_with("Log of pexhost") && Has(dir.Read("saved.bin"), "[FAIL]    Host/Extra/Save"));
}

TEST(HostCli, OneCtrlCEndsADialogWaitingForAnAnswerAsCancelledAndTheTestStops) {
    TempDir dir;
    const std::string prompt = "(action, ok or cancel)> ";
    struct Row { const char* name; std::vector<std::string> args; const char* shown; const char* ran; };
    const Row rows[] = {
        {"a dialog of the test plug-in", WithLib({"--all", "Extra/Dialog", "Extra/AfterDialog"}), "=== Counter ===",
         "Dialog answered 2, count 0\n[STOPPED] Host/Extra/Dialog"},
        {"the image and resolution lists", {"-ENGINEERING", "--all", "*brimola*/modify image and resolution lists", "*keyer sliders"},
         "=== List Selections ===", "[STOPPED] Brimola1/Engineering/Main FPGA/Modify Image and Resolution Lists"},
        {"the keyer sliders", {"-ENGINEERING", "-PD=ALL", "--all", "*keyer sliders", "*fpga pair a image list"},
         "=== Kerzil Sliders ===", "Brimola1/Engineering/Video Paths/Keyer and FPGA Pair/Keyer Sliders  ("},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // One Ctrl-C once the dialog waits; the test after it must not start, nor any second dialog show.
        std::vector<std::string> args = row.args;
        args.push_back("--color=never");
        HostRun run = RunHostAnswering(args, dir.Path(), {{row.shown, ""}, {prompt, "\x03"}});
        std::erase(run.out, '\r');
        EXPECT_EQ(run.status, 3) << run.out;
        ExpectInOrder(run.out, {row.shown, prompt, "stopping after the running test", "Stopped: the dialog is cancelled.\n",
                                row.ran, "NOT RUN", "2 tests: 0 passed, "});
        EXPECT_EQ(Count(run.out, "=== "), 1u) << run.out;
        EXPECT_FALSE(Has(run.out, "pexhost: stopped")) << "one Ctrl-C was enough";
    }
}

}  // namespace
