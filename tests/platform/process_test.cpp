// External programs: exit codes, -1 when they cannot start, Windows-style names, working folder.
#include "platform/process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <filesystem>
#include <sstream>

#include "platform/cstring.h"
#include "tests/support/temp_dir.h"

using namespace support;

static const std::string kChild = PEX_CHILD_PATH;

TEST(ProcessTest, ExitCodeOrMinusOneWhenItCannotStartWindowsNamesArgumentsAndWorkingFolder) {
    TempDir t;
    const std::string plain = t.Write("plain", "not a program\n");
    ::chmod(plain.c_str(), 0644);
    const std::pair<int, int> rows[] = {  // {got, want}
        {platform::RunProcess(kChild, {"0"}), 0},
        {platform::RunProcess(kChild, {"255"}), 255},
        {platform::RunProcess(kChild, {"signal"}), 128 + 15},
        {platform::RunProcess(t / "absent.exe", {}), -1},
        {platform::RunProcess("", {}), -1},
        {platform::RunProcess(plain, {}), -1},
        {platform::RunProcess(t.Path(), {}), -1},
        {platform::RunProcess(kChild, {"0"}, t / "no/such/folder"), -1},
    };
    for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
    const std::string report = t / "report.txt";
    const std::filesystem::path child(kChild);
    const std::string windowsName = WindowsPath(child.parent_path().string()) + "\\" + CString(child.filename().c_str()).MakeUpper().str() + ".exe";
    const std::string work = t.MakeDir("Work");

    EXPECT_EQ(platform::RunProcess(windowsName, {"7", report, "two words", ""}, t / "WORK"), 7);
    std::istringstream in(ReadText(report));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    EXPECT_EQ(std::filesystem::canonical(lines.at(0)), std::filesystem::canonical(work));
    EXPECT_EQ(lines.at(1), windowsName);  // argv[0] is the program as given
    EXPECT_EQ(lines.at(4), "two words");

    // A relative program is found from the caller's folder, not from the child's.
    ScopedCwd cwdScope(child.parent_path().string());
    EXPECT_EQ(platform::RunProcess(".\\" + child.filename().string() + ".exe", {"9", report}, work), 9);
}
