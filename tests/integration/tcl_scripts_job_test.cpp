// The shipped Tcl scripts run from the host's engineering tree, on the healthy rig and on rigs with the faults they must catch.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/host/host_process.h"
#include "tests/support/output.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(TclScriptsJob, PassOnTheHealthyRigAndCatchTheirFaults) {
    struct Row { const char* name; const char* faults; const char* leaf; int status; std::vector<std::string> shows; };
    const Row rows[] = {
        {"healthy", "[]", "Tcl Scripts", 0, {"Tcl interpreter ready on the main board", "Tcl interpreter ready on the codec board"}},
        {"SDRAM bit 7 at 1", R"([{"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 7, "value": 1}])", "Brimola1/*/Tcl SDRAM Check",
         1, {"Buffer Compare Error Detected", "Bits in error 0x80", "\nTest Failed\n"}},
        {"board id bit 8 at 1", R"([{"kind": "register_stuck_bit", "board": "Nuxa1", "offset": "0x4000", "bit": 8, "value": 1}])",
         "Nuxa1/*/Tcl Identity Registers", 1, {"Board id 0x210553", "\nTest Failed\n"}},
    };
    for (const Row& row : rows) {
        support::TempDir dir;
        std::ofstream(dir.File("rig.json")) << R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}, {"tag": "Nuxa1", "kind": "nuxa"}], "faults": )"
                                            << row.faults << "}";
        const HostRun run = RunHost({"--color=never", "--all", "-ENGINEERING", "--rig", dir.File("rig.json"), row.leaf}, dir.Path());
        EXPECT_EQ(run.status, row.status) << row.name << run.out << run.err;
        EXPECT_TRUE(support::HasAll(run.out, row.shows)) << row.name;
    }
}

}  // namespace
