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
    TempDir dir;
    dir.Write("ZVKX0100.oxd", "a");
    const std::string older = dir.Write("ZVKX0101.oxd", "b");
    dir.Write("other.txt", "c");
    const struct timespec times[2] = {{1000000, 0}, {1000000, 0}};
    utimensat(AT_FDCWD, older.c_str(), times, 0);
    char* found = FindMostRecentFile((dir / "ZVKX*.oxd").c_str());
    EXPECT_EQ(std::string(found ? found : "(none)"), dir / "ZVKX0100.oxd");
    std::free(found);
    EXPECT_EQ(FindMostRecentFile((dir / "*.bin").c_str()), nullptr);
}

TEST(RigStartUp, EnvironmentPicksTheRigAndABadFileStopsTheProcess) {
    TempDir dir;
    const struct {
        std::string rig;
        int status;
        std::string out, error;
    } rows[] = {
        {dir.Write("one.json", R"({"boards": [{"tag": "Brimola7", "kind": "brimola"}]})"), 0, "Brimola7\n", ""},
        {"", 0, "Brimola1\nNuxa1\n", ""},
        {dir.Write("bad.json", R"({"boards": [{"tag": "B1", "kind": "brimola", "sdram_mib": 9999}]})"), 2, "", dir / "bad.json\": key \"boards[0].sdram_mib\""},
        {dir / "missing.json", 2, "", "missing.json"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.rig);
        const int status = std::system(("PEXANO_RIG='" + row.rig + "' '" RIG_PROBE "' >" + (dir / "out") + " 2>" + (dir / "err")).c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.status);
        EXPECT_EQ(dir.Read("out"), row.out);
        const std::string err = dir.Read("err");
        EXPECT_TRUE(row.error.empty() ? err.empty() : err.find(row.error) != std::string::npos) << err;
    }
}

}  // namespace
