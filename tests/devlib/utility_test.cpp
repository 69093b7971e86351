// Byte order, newest-file search, and how a process picks its rig from PEXANO_RIG.
#include "devlib/utility.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string TempDir() {
    char tmpl[] = "/tmp/devlib_test_XXXXXX";
    const char* d = mkdtemp(tmpl);
    return d ? d : "/tmp";
}

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(Utility, SwapBytesReversesTheFourBytes) {
    EXPECT_EQ(SwapBytes(0x12345678u), 0x78563412u);
    EXPECT_EQ(SwapBytes(SwapBytes(0xA1B2C3D4u)), 0xA1B2C3D4u);
    EXPECT_EQ(SwapBytes(0x000000FFu), 0xFF000000u);
}

TEST(Utility, FindMostRecentFileAnswersTheNewestMatchOrNull) {
    const std::string dir = TempDir();
    WriteFile(dir + "/ZVKX0100.oxd", "a");
    WriteFile(dir + "/ZVKX0101.oxd", "b");
    WriteFile(dir + "/other.txt", "c");
    struct timespec times[2] = {{1000000, 0}, {1000000, 0}};
    utimensat(AT_FDCWD, (dir + "/ZVKX0101.oxd").c_str(), times, 0);
    char* found = FindMostRecentFile((dir + "/ZVKX*.oxd").c_str());
    ASSERT_NE(found, nullptr);
    EXPECT_NE(std::string(found).find("ZVKX0100.oxd"), std::string::npos) << found;
    std::free(found);
    EXPECT_EQ(FindMostRecentFile((dir + "/*.bin").c_str()), nullptr);
    EXPECT_EQ(FindMostRecentFile(nullptr), nullptr);
}

// Runs the probe with PEXANO_RIG set; answers its exit status and fills its output.
int RunProbe(const std::string& rig, std::string& out, std::string& err) {
    const std::string dir = TempDir();
    const std::string cmd = "PEXANO_RIG='" + rig + "' '" RIG_PROBE "' >" + dir + "/out 2>" + dir + "/err";
    const int status = std::system(cmd.c_str());
    out = ReadFile(dir + "/out");
    err = ReadFile(dir + "/err");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RigStartUp, EnvironmentPicksTheRigAndABadFileStopsTheProcess) {
    const std::string dir = TempDir();
    std::string out, err;
    WriteFile(dir + "/one.json", R"({"boards": [{"tag": "Brimola7", "kind": "brimola"}]})");
    EXPECT_EQ(RunProbe(dir + "/one.json", out, err), 0) << err;
    EXPECT_EQ(out, "Brimola7\n");
    EXPECT_EQ(RunProbe("", out, err), 0);
    EXPECT_EQ(out, "Brimola1\nNuxa1\n") << "no rig file: the default rig";
    WriteFile(dir + "/bad.json", R"({"boards": [{"tag": "B1", "kind": "brimola", "sdram_mib": 9999}]})");
    EXPECT_EQ(RunProbe(dir + "/bad.json", out, err), 2);
    EXPECT_EQ(out, "") << "the rig never started";
    EXPECT_NE(err.find(dir + "/bad.json"), std::string::npos) << err;
    EXPECT_NE(err.find("boards[0].sdram_mib"), std::string::npos) << err;
    EXPECT_EQ(RunProbe(dir + "/missing.json", out, err), 2);
    EXPECT_NE(err.find("missing.json"), std::string::npos);
}

}  // namespace
