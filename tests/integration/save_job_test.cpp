// Saves from the host: a save that cannot be written (a full disk, a size limit) fails its test with the cause, and relative names land in the station folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/host/host_process.h"
#include "tests/support/output.h"
#include "tests/support/save_checks.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(SaveJob, ASaveToAFullDiskFailsItsTestAndRelativeNamesLandInTheStationFolder) {
    constexpr rlim_t kLimit = 1024 * 1024;  // "ulimit -f 1024": above the alpha file, below the image file
    const std::string saves = "Codec Unpacker/Codec Chip A/Save";
    const std::string leaf = "Nuxa1/Engineering/Codec Unpacker/Codec Chip A/Save ";
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string station;  // below the current folder; "" for the current folder itself
        int status;
        std::vector<std::string> shows;
        rlim_t sizeLimit = 0;  // the host's file size limit in bytes, as "ulimit -f" sets it; 0 for none
    } const rows[] = {
        {"image file on a full disk", {}, "", 1,
         {"[FAIL]    " + leaf + "Image  (", "[ERROR:  Couldn't write file] The disk is full.\n", "[PASS]    " + leaf + "Alpha  ("}},
        // The switch file goes where the library reads it, or the engineering tree would not be there.
        {"station folder elsewhere", {"--station", "station"}, "station", 0, {"[PASS]    " + leaf + "Image  (", "[PASS]    " + leaf + "Alpha  ("}},
        // A save that meets the limit fails its test with the cause; the host, left to SIGXFSZ's
        // default action as from a shell, runs on and writes its report.
        {"image file past a size limit", {}, "", 1,
         {"[FAIL]    " + leaf + "Image  (",
          "[ERROR:  Couldn't write file] The disk is full. The file is too large for the size limit of this process or of its file system.\n",
          "[PASS]    " + leaf + "Alpha  ("}, kLimit},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        support::TempDir dir;
        const std::string station = row.station.empty() ? dir.Path() : dir.MakeDir(row.station);
        if (row.sizeLimit) dir.Write("UnpackerA.Img", "old");
        else if (row.station.empty()) std::filesystem::create_symlink("/dev/full", dir.File("UnpackerA.Img"));
        std::vector<std::string> args = {"--color=never", "--all", "-ENGINEERING", "--junit", "report.xml", saves};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const HostRun run = RunHost(args, dir.Path(), {}, "", [&] {
            if (!row.sizeLimit) return;
            signal(SIGXFSZ, SIG_DFL);
            const struct rlimit limit = {row.sizeLimit, row.sizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        });
        EXPECT_EQ(run.status, row.status) << run.out << run.err;
        EXPECT_TRUE(support::HasAll(run.out, row.shows));
        EXPECT_GT(std::filesystem::file_size(station + "/UnpackerA.Alpha"), 0u);
        EXPECT_TRUE(std::filesystem::exists(station + "/CmdLine"));
        EXPECT_TRUE(!row.sizeLimit || dir.Read("UnpackerA.Img") == "old") << "the file is kept";
        EXPECT_TRUE(support::HasAll(dir.Read("report.xml"), {"tests=\"2\" failures=\"" + std::to_string(row.status) + "\""}));
        // Nothing is left beside the saves (the host's captured output aside), and nothing lands outside the station folder.
        const std::vector<std::string> saved = {"CmdLine", "UnpackerA.Alpha", "UnpackerA.Img"};
        if (row.station.empty()) {
            EXPECT_EQ(support::Entries(dir.Path()),
                      (std::vector<std::string>{".stderr", ".stdout", "CmdLine", "UnpackerA.Alpha", "UnpackerA.Img", "report.xml"}));
        } else {
            EXPECT_EQ(support::Entries(station), saved);
            EXPECT_EQ(support::Entries(dir.Path()), (std::vector<std::string>{".stderr", ".stdout", "report.xml", "station"}));
        }
    }
}

}  // namespace
