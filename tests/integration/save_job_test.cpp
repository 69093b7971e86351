// Saves from the host: a save that cannot be written fails its test with the cause, and relative names land in the station folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/host/host_process.h"
#include "tests/support/output.h"
#include "tests/support/save_checks.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(SaveJob, ASaveToAFullDiskFailsItsTestAndRelativeNamesLandInTheStationFolder) {
    const std::string saves = "Codec Unpacker/Codec Chip A/Save";
    const std::string leaf = "Nuxa1/Engineering/Codec Unpacker/Codec Chip A/Save ";
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string station;  // below the current folder; "" for the current folder itself
        int status;
        std::vector<std::string> shows;
    } const rows[] = {
        {"image file on a full disk", {}, "", 1,
         {"[FAIL]    " + leaf + "Image  (", "[ERROR:  Couldn't write file] The disk is full.\n", "[PASS]    " + leaf + "Alpha  ("}},
        // The switch file goes where the library reads it, or the engineering tree would not be there.
        {"station folder elsewhere", {"--station", "station"}, "station", 0, {"[PASS]    " + leaf + "Image  (", "[PASS]    " + leaf + "Alpha  ("}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        support::TempDir dir;
        const std::string station = row.station.empty() ? dir.Path() : dir.MakeDir(row.station);
        if (row.station.empty()) std::filesystem::create_symlink("/dev/full", dir.File("UnpackerA.Img"));
        std::vector<std::string> args = {"--color=never", "--all", "-ENGINEERING", saves};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const HostRun run = RunHost(args, dir.Path());
        EXPECT_EQ(run.status, row.status) << run.out << run.err;
        EXPECT_TRUE(support::HasAll(run.out, row.shows));
        EXPECT_GT(std::filesystem::file_size(station + "/UnpackerA.Alpha"), 0u);
        EXPECT_TRUE(std::filesystem::exists(station + "/CmdLine"));
        // Nothing is left beside the saves (the host's captured output aside), and nothing lands outside the station folder.
        const std::vector<std::string> saved = {"CmdLine", "UnpackerA.Alpha", "UnpackerA.Img"};
        if (row.station.empty()) {
            EXPECT_EQ(support::Entries(dir.Path()), (std::vector<std::string>{".stderr", ".stdout", "CmdLine", "UnpackerA.Alpha", "UnpackerA.Img"}));
        } else {
            EXPECT_EQ(support::Entries(station), saved);
            EXPECT_EQ(support::Entries(dir.Path()), (std::vector<std::string>{".stderr", ".stdout", "station"}));
        }
    }
}

}  // namespace
