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

// The rig with loopback plugs on both board-link ports of both boards.
std::string PlugRig(const std::string& faults) {
    const std::string plugs = R"({"codec_port": "loopback", "expansion_port": "loopback"})";
    return R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "attached": )" + plugs + R"(}, {"tag": "Nuxa1", "kind": "nuxa", "attached": )" +
           plugs + R"(}], "faults": )" + faults + "}";
}

struct JobRow {
    const char* name;
    std::string rig;
    std::vector<std::string> failing;  // leaf names under the group of Brimola1 (or "Nuxa1/..." paths)
    std::vector<std::string> parts;
};

// Runs the rows on the leaves the arguments select: the failing leaves fail, every other passes.
void RunJobRows(const std::vector<JobRow>& rows, const std::vector<std::string>& select, const std::string& group, size_t leaves) {
    for (const JobRow& row : rows) {
        SCOPED_TRACE(row.name);
        support::TempDir dir;
        std::ofstream(dir.File("rig.json")) << row.rig;
        std::vector<std::string> args = {"--color=never", "--rig", dir.File("rig.json")};
        args.insert(args.end(), select.begin(), select.end());
        const HostRun run = RunHost(args, dir.Path());
        EXPECT_EQ(run.status, row.failing.empty() ? 0 : 1) << run.out << run.err;
        for (const std::string& leaf : row.failing) {
            const std::string path = leaf.rfind("Nuxa1/", 0) == 0 ? leaf : "Brimola1/" + group + leaf;
            EXPECT_TRUE(HasAll(run.out, {"[FAIL]    " + path + "  ("}));
        }
        EXPECT_TRUE(HasAll(run.out, row.parts));
        const std::string total = std::to_string(leaves);
        EXPECT_TRUE(HasAll(run.out, {total + " tests: " + std::to_string(leaves - row.failing.size()) + " passed, " +
                                     std::to_string(row.failing.size()) + " failed"}));
    }
}

std::string Fault(const std::string& kind, const std::string& rest) {
    return R"([{"kind": ")" + kind + R"(", "board": "Brimola1", )" + rest + "}]";
}

// The production group of both boards (13 leaves on the main board, 8 on the codec board).
TEST(DiagPortJob, EachFaultFailsTheDmaDiagnosticsThatMustCatchIt) {
    const char* ppp[] = {"PPP A Keyer Loopback", "PPP B Keyer Loopback", "PPP A through FPGA Pair A", "PPP B through FPGA Pair B"};
    const std::string timeout = "Waiting for the DCB to complete exceeded the maxtime of 256ms\n";
    const std::vector<JobRow> rows = {
        {"healthy", Rig("[]"), {}, {"CACHE TEST 0x40 kBytes\n", "Entire ZBT RAM Read SUCCESSFULLY\n", "Testing Nuxa...\n"}},
        {"board link 3 not loaded", Rig(Fault("fpga_done_stays_low", R"("device": 3)")), {"Codec Port Link Internal Loopback"},
         {"Vantrel (3) : NOT LOADED\n"}},
        {"keyer not loaded", Rig(Fault("fpga_done_stays_low", R"("device": 0)")), {ppp[0], ppp[1], ppp[2], ppp[3], "Keyer ZBT Addresses"},
         {"ERROR: Kerzil has not been downloaded\n"}},
        {"pair A not loaded", Rig(Fault("fpga_done_stays_low", R"("device": 1)")), {ppp[2]}, {"ERROR: Sulveth A has not been downloaded\n"}},
        {"link sink 59 stalled", Rig(Fault("dma_stall", R"("channel": 59)")), {"Codec Port Link Internal Loopback"}, {timeout}},
        {"PPP A sink stalled", Rig(Fault("dma_stall", R"("channel": 24)")), {ppp[0], ppp[2]}, {timeout}},
        {"DSK foreground stalled", Rig(Fault("dma_stall", R"("channel": 46)")),
         {"DSK Foreground Passthru", "DSK Foreground and Background Passthru"}, {timeout}},
        {"PCI and VUC channels stalled",
         Rig(R"([{"kind": "dma_stall", "board": "Brimola1", "channel": 12}, {"kind": "dma_stall", "board": "Brimola1", "channel": 16},
                 {"kind": "dma_stall", "board": "Brimola1", "channel": 57}])"),
         {"PCI Master Read Two DCBs", "PCI Master Write Two DCBs", "Video Utility Client"},
         {"PCI Master SDRAM write test with 2 DCBs failed\n", "Video Utility Client test failed\n"}},
        {"link source, PPP source, DSK output and VUC corrupting",
         Rig(R"([{"kind": "dma_corrupt", "board": "Brimola1", "channel": 37, "mask": 256}, {"kind": "dma_corrupt", "board": "Brimola1", "channel": 28, "mask": 256},
                 {"kind": "dma_corrupt", "board": "Brimola1", "channel": 42, "mask": 256}, {"kind": "dma_corrupt", "board": "Brimola1", "channel": 57, "mask": 256}])"),
         {"Codec Port Link Internal Loopback", ppp[0], ppp[2], "DSK Foreground Passthru", "DSK Foreground and Background Passthru", "Video Utility Client"},
         {"SDRAM Addr: 0x1000000 Expected: 0x3020100, Read: 0x3020000\n", "SDRAM Addr: 0x100000 Expected: 0x8, Read: 0x108\n"}},
        {"sync errors of EXPA and PPPB",
         Rig(R"([{"kind": "port_sync_error", "board": "Brimola1", "port": "EXPA"}, {"kind": "port_sync_error", "board": "Brimola1", "port": "PPPB"}])"),
         {"Codec Port Link Internal Loopback", ppp[1], ppp[3]}, {"Sync Error!!!\n"}},
        {"keyer TAPA unlocked", Rig(Fault("dcm_unlocked", R"("device": 0, "bit": 25)")), {ppp[0], ppp[1], ppp[2], ppp[3]},
         {" LockTAPA is not locked\n"}},
        {"pair A DDR pass 2", Rig(Fault("ddr_init_fails", R"("device": 1, "pass": 2)")), {ppp[2]},
         {"Initialization NOT completed in time: Sulveth A 2st-Pass DDR chips\n"}},
        {"pair A stage corrupting", Rig(Fault("video_path_corrupt", R"("port": "PPPA", "stage": "pair")")), {ppp[2]}, {}},
        {"ZBT address line", Rig(Fault("zbt_address_alias", R"("line": 5, "stuck": 0)")), {"Keyer ZBT Addresses"},
         {"Consecutive Data readback failed @0x0, expected: 0x0 read: 0x20\n"}},
    };
    RunJobRows(rows, {"-PD=ALL", "SCRport Diagnostics"}, "SCRport Diagnostics/", 21);
}

// The engineering loopbacks that need a plug or cable, and a stuck SDRAM bit under every
// diagnostic that moves data through SDRAM 0-0xFFFF.
TEST(DiagPortJob, LoopbackPlugsCablesAndStuckSdram) {
    const std::string plugs = "Engineering/Board Link Loopback Plugs/";
    const std::vector<std::string> eng = {"--all", "-ENGINEERING", "-NULKLOOPBACK", "-PD=ALL", "Board Link Loopback Plugs"};
    RunJobRows({{"plugs", PlugRig("[]"), {}, {"E-Channel Vantrel External Loopback PASSED\n"}},
                {"no plugs", Rig("[]"),
                 {"Codec Port Link External Loopback", "Expansion Port Link External Loopback", "Nuxa1/" + plugs + "Codec Port Link External Loopback",
                  "Nuxa1/" + plugs + "Expansion Port Link External Loopback"},
                 {"External Loopback Connector/Cable is NOT present for Vantrel 4\n"}}},
               eng, plugs, 4);
    const std::vector<std::string> audio = {"--all", "-ENGINEERING", "-NULKLOOPBACK", "Breakout-Box Audio Loopback"};
    RunJobRows({{"cable", Rig("[]", true), {}, {"BoB Audio loopback test passed\n"}},
                {"no cable", Rig("[]"), {"Nuxa1/Engineering/Loopback Cable/Breakout-Box Audio Loopback"}, {"Loopback connector is not present\n"}},
                {"audio source stalled", Rig(Fault("dma_stall", R"("channel": 20)"), true), {"Breakout-Box Audio Loopback"},
                 {"BoB Audio loopback test failed\n"}}},
               audio, "Engineering/Loopback Cable/", 2);
    RunJobRows({{"stuck SDRAM bit below 64 KB", Rig(Fault("sdram_stuck_bit", R"("bit": 9, "value": 1, "from": 0, "to": 65536)")),
                 {"SDRAM Cache", "PCI Master Read Two DCBs", "PCI Master Write Two DCBs", "Video Utility Client", "PPP A Keyer Loopback",
                  "PPP B Keyer Loopback", "PPP A through FPGA Pair A", "PPP B through FPGA Pair B", "Codec Port Link Internal Loopback",
                  "Expansion Port Link Internal Loopback", "DSK Foreground Passthru", "DSK Foreground and Background Passthru"},
                 {"SDRAM Addr: 0x0 Expected: 0x3020100, Read: 0x3020300\n"}}},
               {"-PD=ALL", "SCRport Diagnostics"}, "SCRport Diagnostics/", 21);
}

}  // namespace
