// A stuck bit of a DMA channel control word: it holds in that word only, and the engine obeys it.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sim/host_memory.h"
#include "sim/rig_config.h"
#include "sim/wexal_fpga.h"

namespace {

using sim::WexalFpga;

// One 8 MiB main board with the faults given as the JSON text of a "faults" array.
struct Board {
    sim::HostMemory host{64ull << 20};
    std::unique_ptr<WexalFpga> fpga;
    explicit Board(const std::string& faults) {
        sim::RigConfig rig;
        std::string error;
        EXPECT_TRUE(sim::ParseRig(R"({"boards": [{"tag": "B1", "kind": "brimola", "sdram_mib": 8}], "faults": )" + faults + "}",
                                  "r.json", rig, error)) << error;
        if (rig.boards.empty()) rig.boards.emplace_back();
        fpga = std::make_unique<WexalFpga>(rig.boards[0], host, rig.dmaTiming);
    }
};

constexpr uint32_t Control(int c) { return WexalFpga::kControlBase + 4u * static_cast<uint32_t>(c); }

// Triggers DCB 1 (tag 0xABC, 16 DWORDs, BCU 0 without Go so it stays live); answers the live tag (0: refused).
uint32_t TriggeredTag(WexalFpga& f, int c) {
    f.Write32(WexalFpga::kFlushBase + 4u * static_cast<uint32_t>(c), 1);
    f.Write32(sim::DcbStore::Offset(c, 1, 1), 0x0ABC0000);
    f.Write32(sim::DcbStore::Offset(c, 1, 3), 16);
    f.Write32(WexalFpga::kTriggerBase + 4u * static_cast<uint32_t>(c), 1);
    return f.Read32(sim::DcbStore::Offset(c, 0, 1)) >> 16 & 0xFFF;
}

TEST(ChannelControlStuckBit, HoldsOnlyItsControlWordAndTheEngineObeysIt) {
    // Channel 20's enable stuck at 1, channel 21's at 0, bit 5 of channel 22 at 1.
    Board faulty(R"([{"kind": "register_stuck_bit", "board": "B1", "offset": "0x58050", "bit": 0, "value": 1},
                    {"kind": "register_stuck_bit", "board": "B1", "offset": "0x58054", "bit": 0},
                    {"kind": "register_stuck_bit", "board": "B1", "offset": "0x58058", "bit": 5, "value": 1}])");
    WexalFpga& f = *faulty.fpga;
    EXPECT_EQ(f.Read32(Control(21)) * 0x100 + f.Read32(Control(22)), 0x21u) << "shows before any write";
    for (uint32_t v : {0u, 1u}) {
        for (int c = 0; c < 64; ++c) f.Write32(Control(c), v);
        for (int c = 0; c < 64; ++c) {
            const uint32_t want = c == 20 ? 1 : c == 21 ? 0 : c == 22 ? v | 0x20 : v;
            ASSERT_EQ(f.Read32(Control(c)), want) << "channel " << c << " after writing " << v;
        }
    }
    f.Write32(sim::DcbStore::Offset(20, 3, 0), 0xFFFF0003u);
    f.Write32(0x70050, 0xFFFFFFFF);
    EXPECT_EQ(f.Read32(sim::DcbStore::Offset(20, 3, 0)) & f.Read32(0x70050), 0xFFFF0003u) << "neighbouring blocks keep every bit";
    // Disabled by the program but enabled by the fault starts; the reverse refuses; a neighbour obeys the program.
    const struct {
        int channel;
        uint32_t enable, tag;
    } rows[] = {{20, 0, 0xABC}, {21, 1, 0}, {24, 1, 0xABC}, {24, 0, 0}};
    for (const auto& row : rows) {
        f.Write32(Control(row.channel), row.enable);
        EXPECT_EQ(TriggeredTag(f, row.channel), row.tag) << row.channel << " enable " << row.enable;
    }
}

}  // namespace
