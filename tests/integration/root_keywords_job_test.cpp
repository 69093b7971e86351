// The roots' keyword commands from the host: the engineering tree's board commands on the default rig, FPGAs programmed at load.
#include <gtest/gtest.h>

#include <string>

#include "tests/host/host_process.h"
#include "tests/support/output.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(RootKeywordsJob, EveryEngineeringLeafPassesAfterProgrammingAtLoadButTheSliderSheet) {
    support::TempDir dir;
    const HostRun run = RunHost({"--color=never", "--all", "-ENGINEERING", "-PD=ALL", "Engineering"}, dir.Path());
    // The keyer's slider sheet answers 2 however it was closed; its readiness checks passed to open it.
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_TRUE(support::HasAll(run.out, {"[FAIL]    Brimola1/Engineering/Video Paths/Keyer and FPGA Pair/Keyer Sliders  (",
                                          " passed, 1 failed, 0 stopped, 0 not run\n"}));
    EXPECT_TRUE(run.out.find("has not been downloaded") == std::string::npos &&
                run.out.find("Loopback connector is not present") == std::string::npos) << run.out;
    // Every keyword reached its root.
    EXPECT_TRUE(support::HasAll(run.out, {"\n--- CNuxaBoard Program DEVICE=4 ", "Zyv files[", "\n--- CNuxaBoard InitPexano ---\n",
                                          "SDRAM Memory: Reference = 80 Mhz, Clock= 133.000000\n", "\n--- CNuxaBoard Compare Files "}));
}

}  // namespace
