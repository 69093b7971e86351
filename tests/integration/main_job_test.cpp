// The main job end to end: bin/pexhost loads the plug-in, lists both boards' trees and runs the
// default tree on the default rig (and on rigs or switches a station may have), as an operator would.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/paths.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct HostRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A fresh folder the host runs in (it writes "CmdLine" there), removed afterwards.
class WorkDir {
public:
    WorkDir() {
        std::string pattern = (fs::temp_directory_path() / "pexmain-XXXXXX").string();
        m_path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~WorkDir() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

    // Runs bin/pexhost here with its output in files, nothing on stdin, colours off.
    HostRun Host(std::vector<std::string> args) const {
        args.insert(args.begin(), "--color=never");
        args.insert(args.begin(), platform::GetProgramDir() + "pexhost");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, m_path.c_str());
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, File(".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, File(".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        HostRun run;
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
            int raw = 0;
            if (waitpid(pid, &raw, 0) == pid) run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        }
        posix_spawn_file_actions_destroy(&actions);
        run.out = ReadText(File(".out"));
        run.err = ReadText(File(".err"));
        return run;
    }

private:
    std::string m_path;
};

bool Has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

TEST(MainJob, TheHostListsBothBoardsTrees) {
    WorkDir dir;
    const HostRun run = dir.Host({"--list"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(Has(run.out, "Brimola diagnostics are in Manufacturing mode\n")) << run.out;
    EXPECT_TRUE(Has(run.out, "Nuxa diagnostics are in Manufacturing mode\n"));
    EXPECT_TRUE(Has(run.out,
                    "[x] Brimola1/\n"
                    "  [x] Summary/\n"
                    "    [x] Test Summary\n"
                    "[x] Nuxa1/\n"
                    "  [x] Board Controller/\n"
                    "    [x] RAM Clock Enable\n"))
        << run.out;
    EXPECT_FALSE(Has(run.out, "ERROR")) << run.out;
}

TEST(MainJob, TheDefaultTreePassesOnTheDefaultRig) {
    WorkDir dir;
    const HostRun run = dir.Host({"--junit", "report.xml"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(Has(run.out, "[PASS]    Brimola1/Summary/Test Summary")) << run.out;
    EXPECT_TRUE(Has(run.out, "[PASS]    Nuxa1/Board Controller/RAM Clock Enable")) << run.out;
    EXPECT_TRUE(Has(run.out, "\n--- CJastel SorbelinRAM_CE ---\n")) << run.out;
    EXPECT_TRUE(Has(run.out, "2 tests: 2 passed, 0 failed")) << run.out;
    const std::string report = ReadText(dir.File("report.xml"));
    EXPECT_TRUE(Has(report, "RAM Clock Enable")) << report;
    EXPECT_FALSE(Has(report, "<failure")) << report;
}

TEST(MainJob, AStationWithoutTheCodecBoardRunsTheMainBoardAndSaysSo) {
    WorkDir dir;
    std::ofstream(dir.File("rig.json")) << R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}]})";
    const HostRun run = dir.Host({"--rig", dir.File("rig.json")});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(Has(run.out, "No Nuxa board was found: its tests are not published.\n")) << run.out;
    EXPECT_TRUE(Has(run.out, "[PASS]    Brimola1/Summary/Test Summary")) << run.out;
    EXPECT_TRUE(Has(run.out, "1 tests: 1 passed") || Has(run.out, "1 test: 1 passed")) << run.out;
}

TEST(MainJob, EngineeringModeListsTheEngineeringTrees) {
    WorkDir dir;
    const HostRun run = dir.Host({"--list", "-ENGINEERING"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_FALSE(Has(run.out, "Manufacturing mode")) << run.out;
    EXPECT_TRUE(Has(run.out, "Create class CBrimolaBoard\n")) << run.out;
    // Each board's folder holds its own subtree, the production run first.
    EXPECT_TRUE(Has(run.out,
                    "[x] Brimola1/\n"
                    "  [x] Manufacturing/\n"
                    "    [x] Summary/\n"
                    "      [x] Test Summary\n"
                    "  [x] Engineering/\n"
                    "    [ ] Board Commands/\n"
                    "      [ ] Show Test Summary\n"
                    "[x] Nuxa1/\n"
                    "  [x] Manufacturing/\n"))
        << run.out;
}

TEST(MainJob, AMissingTreeFileIsReportedByBothRoots) {
    WorkDir dir;
    const HostRun run = dir.Host({"-Config=NoSuchTree.txt"});
    EXPECT_TRUE(Has(run.out, "*** ERROR:  Unable to read ")) << run.out;
    EXPECT_TRUE(Has(run.out, "NOSUCHTREE.TXT\n")) << run.out;
    EXPECT_TRUE(Has(run.out, "The library offers no checked test to run.")) << run.out;
}

}  // namespace
