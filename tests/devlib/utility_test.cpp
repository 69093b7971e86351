// Byte order, newest-file search, and how a process picks its rig from PEXANO_RIG.
#include "devlib/utility.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "tests/support/temp_dir.h"

namespace {

using support::TempDir;

TEST(Utility, SwapBytesAndTheNewestMatchingFile) {
    EXPECT_EQ(SwapBytes(0x12345678u), 0x78563412u);
    EXPECT_EQ(SwapBytes(0x000000FFu), 0xFF000000u);
    TempDir dir;
    dir.Write("ZVKX0100.oxd", "a");
    const std::string older = dir.Write("ZVKX0101.oxd", "b");
    dir.Write("other.txt", "c");
    const struct timespec times[2] = {{1000000, 0}, {1000000, 0}};
    utimensat(AT_FDCWD, older.c_str(), times, 0);
    char* found = FindMostRecentFile((dir / "ZVKX*.oxd").c_str());
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(std::string(found), dir / "ZVKX0100.oxd");
    std::free(found);
    EXPECT_EQ(FindMostRecentFile((dir / "*.bin").c_str()), nullptr);
    EXPECT_EQ(FindMostRecentFile(nullptr), nullptr);
}

TEST(RigStartUp, EnvironmentPicksTheRigAndABadFileStopsTheProcess) {
    TempDir dir;
    struct Row {
        const char* name;
        std::string rig;
        int status;
        std::string out, errorNames;
    } rows[] = {
        {"rig file", dir.Write("one.json", R"({"boards": [{"tag": "Brimola7", "kind": "brimola"}]})"), 0, "Brimola7\n", ""},
        {"no rig file: the default rig", "", 0, "Brimola1\nNuxa1\n", ""},
        {"bad rig file", dir.Write("bad.json", R"({"boards": [{"tag": "B1", "kind": "brimola", "sdram_mib": 9999}]})"), 2, "",
         dir / "bad.json\": key \"boards[0].sdram_mib\""},
        {"missing rig file", dir / "missing.json", 2, "", "missing.json"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string cmd = "PEXANO_RIG='" + row.rig + "' '" RIG_PROBE "' >" + (dir / "out") + " 2>" + (dir / "err");
        const int status = std::system(cmd.c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.status);
        EXPECT_EQ(dir.Read("out"), row.out);
        const std::string err = dir.Read("err");
        if (row.errorNames.empty()) {
            EXPECT_EQ(err, "");
        } else {
            EXPECT_NE(err.find(row.errorNames), std::string::npos) << err;
        }
    }
}

}  // namespace
