// External programs: exit codes, -1 when they cannot start, Windows-style names, working folder.
#include "platform/process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

using namespace support;

namespace {
const std::string kChild = PEX_CHILD_PATH;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    for (size_t nl; (nl = text.find('\n', pos)) != std::string::npos; pos = nl + 1) out.push_back(text.substr(pos, nl - pos));
    return out;
}
}  // namespace

TEST(ProcessTest, AnswersTheExitCode) {
    EXPECT_EQ(platform::RunProcess(kChild, {"0"}), 0);
    EXPECT_EQ(platform::RunProcess(kChild, {"3"}), 3);
    EXPECT_EQ(platform::RunProcess(kChild, {"255"}), 255);
    EXPECT_EQ(platform::RunProcess(kChild, {"signal"}), 128 + 15);
}

TEST(ProcessTest, MinusOneWhenItCannotStart) {
    TempDir t;
    EXPECT_EQ(platform::RunProcess(t / "absent.exe", {}), -1);
    EXPECT_EQ(platform::RunProcess("", {}), -1);
    std::string plain = t.Write("plain", "not a program\n");
    ::chmod(plain.c_str(), 0644);
    EXPECT_EQ(platform::RunProcess(plain, {}), -1);
    EXPECT_EQ(platform::RunProcess(t.Path(), {}), -1);
    EXPECT_EQ(platform::RunProcess(kChild, {"0"}, t / "no/such/folder"), -1);
}

TEST(ProcessTest, WindowsNamesArgumentsAndWorkingFolder) {
    TempDir t;
    std::string report = t / "report.txt";
    std::filesystem::path child(kChild);
    std::string upper = child.filename().string();
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string windowsName = WindowsPath(child.parent_path().string()) + "\\" + upper + ".exe";
    std::string work = t.MakeDir("Work");

    EXPECT_EQ(platform::RunProcess(windowsName, {"7", report, "two words", ""}, t / "WORK"), 7);
    std::vector<std::string> lines = Lines(ReadText(report));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(std::filesystem::canonical(lines[0]), std::filesystem::canonical(work));
    EXPECT_EQ(lines[1], windowsName);  // argv[0] is the program as given
    EXPECT_EQ(lines[3], report);
    EXPECT_EQ(lines[4], "two words");
    EXPECT_EQ(lines[5], "");

    // A relative program is found from the caller's folder, not from the child's.
    ScopedCwd cwd(child.parent_path().string());
    EXPECT_EQ(platform::RunProcess(".\\" + child.filename().string() + ".exe", {"9", report}, work), 9);
    EXPECT_EQ(platform::ResolveProgram(child.filename().string() + ".EXE"), child.filename().string());
}
