// The roots' keyword commands from the host: the engineering tree's board commands on the default rig, FPGAs programmed at load.
#include <gtest/gtest.h>

#include <string>

#include "tests/host/host_process.h"
#include "tests/support/output.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(RootKeywordsJob, EveryEngineeringLeafPassesAfterProgrammingAtLoad) {
    support::TempDir dir;
    const HostRun run = RunHost({"--color=never", "--all", "-ENGINEERING", "-PD=ALL", "Engineering"}, dir.Path());
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    // Every keyword reached its root.
    EXPECT_TRUE(support::HasAll(run.out, {"\n--- CNuxaBoard Program DEVICE=4 ", "Zyv files[", "\n--- CNuxaBoard InitPexano ---\n",
                                          "SDRAM Memory: Reference = 80 Mhz, Clock= 133.000000\n", "\n--- CNuxaBoard Compare Files "}));
}

}  // namespace
