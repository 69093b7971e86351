// The diagnostics port's tree leaves run by the host: each fault they exist for fails the leaf that names it.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/host/host_process.h"
#include "tests/support/output.h"
#include "tests/support/temp_dir.h"

namespace {

using support::HasAll;

// The default rig's boards (the box on the main board, or a loopback cable on both) with faults.
std::string Rig(const std::string& faults, bool cable = false) {
    const std::string attached = cable ? R"({"loopback_cable": true})" : R"({"breakout_box": true})";
    return R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "attached": )" + attached +
           R"(}, {"tag": "Nuxa1", "kind": "nuxa", "attached": )" + (cable ? attached : std::string("{}")) +
           R"(}], "faults": )" + faults + "}";
}

TEST(DiagPortJob, EachFaultFailsTheLeafThatNamesIt) {
    const std::vector<std::string> revisions = {"-PD=ALL", "Revisions"};
    const std::vector<std::string> port = {"--all", "-ENGINEERING", "-NULKLOOPBACK", "Breakout-Box Port"};
    struct Row {
        const char* name;
        std::string rig;
        std::vector<std::string> args;
        std::vector<std::string> failing;  // leaf paths; none: every leaf passes
        std::vector<std::string> parts;
        size_t leaves;
    };
    const Row rows[] = {
        {"healthy", Rig("[]"), revisions, {}, {"Brimola1/Revisions/Minimum Revisions", "PCI-X ACTIVE Image is running\n"}, 4},
        {"vpd_broken end tag", Rig(R"([{"kind": "vpd_broken", "board": "Nuxa1", "part": "end_tag"}])"), revisions,
         {"Nuxa1/Revisions/Product Data Tags"},  // the keywords are found by their bytes, chain or not
         {" Check for End Tag(0x79):  FAIL, Expected: 0x79, Actual: 0x78\n", "Nuxa MinorNum(ZC): 02 (OK)\n"}, 4},
        {"vpd_missing_field ZB", Rig(R"([{"kind": "vpd_missing_field", "board": "Brimola1", "field": "ZB"}])"), revisions,
         {"Brimola1/Revisions/Minimum Revisions"}, {"VPD Not Programmed 1\n"}, 4},
        {"vpd_missing_field ZC", Rig(R"([{"kind": "vpd_missing_field", "board": "Nuxa1", "field": "ZC"}])"), revisions,
         {"Nuxa1/Revisions/Minimum Revisions"}, {"Nuxa MajorNum(ZB): 02 (OK)\n", "VPD Not Programmed 1\n"}, 4},
        {"flash_missing_header PCIX and PCI",
         Rig(R"([{"kind": "flash_missing_header", "board": "Brimola1", "segment": "PCIX"},
                 {"kind": "flash_missing_header", "board": "Brimola1", "segment": "PCI"}])"),
         revisions, {"Brimola1/Revisions/Minimum Revisions"}, {"SAFE Image is running (FORCED)\n"}, 4},
        {"fpga_done_stays_low pair B", Rig(R"([{"kind": "fpga_done_stays_low", "board": "Brimola1", "device": 2}])"), revisions,
         {"Brimola1/Revisions/Minimum Revisions"}, {"SulvethB ID.Major.Minor Revision: FFF.FF.FFF (OK)\n (not Loaded)\n"}, 4},
        {"fpga_done_stays_low keyer", Rig(R"([{"kind": "fpga_done_stays_low", "board": "Brimola1", "device": 0}])"), revisions,
         {"Brimola1/Revisions/Minimum Revisions"}, {"Kerzil   ID.Major.Minor Revision: FFF.FF.FFF (OK)\n (not Loaded)\n"}, 4},
        {"loopback cable", Rig("[]", true), port, {}, {"All REPLY reads passed\n", "Testing Nuxa\n"}, 4},
        {"bob_loop_stuck_bit message",
         Rig(R"([{"kind": "bob_loop_stuck_bit", "board": "Brimola1", "path": "message", "bit": 4, "value": 1}])", true), port,
         {"Brimola1/Engineering/Breakout-Box Port/Message Loopback"}, {"Expected REPLY: 0x10000000 Read REPLY: 0x10000010\n"}, 4},
        {"bob_loop_stuck_bit ltc",
         Rig(R"([{"kind": "bob_loop_stuck_bit", "board": "Nuxa1", "path": "ltc", "bit": 0, "value": 1}])", true), port,
         {"Nuxa1/Engineering/Breakout-Box Port/LTC Loopback"}, {"Expected LTC: 0x10000000 Read LTC: 0x10000001\n"}, 4},
        {"the box in place of the cable", Rig("[]"), port,
         {"Brimola1/Engineering/Breakout-Box Port/Message Loopback", "Brimola1/Engineering/Breakout-Box Port/LTC Loopback",
          "Nuxa1/Engineering/Breakout-Box Port/Message Loopback", "Nuxa1/Engineering/Breakout-Box Port/LTC Loopback"},
         {"Expected REPLY: 0x10000000 Read REPLY: 0x0\n", "Loopback connector is not present\n"}, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        support::TempDir dir;
        std::ofstream(dir.File("rig.json")) << row.rig;
        std::vector<std::string> args = {"--color=never", "--rig", dir.File("rig.json")};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const HostRun run = RunHost(args, dir.Path());
        EXPECT_EQ(run.status, row.failing.empty() ? 0 : 1) << run.out << run.err;
        for (const std::string& leaf : row.failing) EXPECT_TRUE(HasAll(run.out, {"[FAIL]    " + leaf + "  ("}));
        EXPECT_TRUE(HasAll(run.out, row.parts));
        const std::string total = std::to_string(row.leaves);
        EXPECT_TRUE(HasAll(run.out, {total + " tests: " + std::to_string(row.leaves - row.failing.size()) + " passed, " +
                                     std::to_string(row.failing.size()) + " failed"}));
    }
}

}  // namespace
