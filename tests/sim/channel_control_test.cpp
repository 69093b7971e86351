// A stuck bit of a DMA channel control word: it holds in that word only, and the engine obeys it.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sim/host_memory.h"
#include "sim/rig_config.h"
#include "sim/wexal_fpga.h"

namespace {

using sim::WexalFpga;

// One main board on its own, with the faults given as the JSON text of a "faults" array.
class Board {
public:
    explicit Board(const std::string& faults) : m_host(64ull << 20) {
        const std::string text =
            R"({"boards": [{"tag": "B1", "kind": "brimola", "sdram_mib": 8}], "faults": )" + faults + "}";
        sim::RigConfig rig;
        std::string error;
        EXPECT_TRUE(sim::ParseRig(text, "r.json", rig, error)) << error;
        if (rig.boards.empty()) rig.boards.emplace_back();
        m_fpga = std::make_unique<WexalFpga>(rig.boards[0], m_host, rig.dmaTiming);
    }
    WexalFpga& operator*() { return *m_fpga; }
    WexalFpga* operator->() { return m_fpga.get(); }

private:
    sim::HostMemory m_host;
    std::unique_ptr<WexalFpga> m_fpga;
};

constexpr uint32_t Control(int c) { return WexalFpga::kControlBase + 4u * static_cast<uint32_t>(c); }
uint32_t DcbWord(int c, int d, int w) { return sim::DcbStore::Offset(c, d, w); }

// Loads DCB 1 of the channel with a tag, triggers it and answers the tag its live context shows
// (0 when the trigger was refused).
uint32_t TriggeredTag(WexalFpga& f, int c) {
    f.Write32(WexalFpga::kFlushBase + 4u * static_cast<uint32_t>(c), 1);
    f.Write32(DcbWord(c, 1, 1), 0x0ABC0000);
    f.Write32(DcbWord(c, 1, 3), 16);  // 16 DWORDs; BCU 0 has no Go, so the DCB stays live
    f.Write32(WexalFpga::kTriggerBase + 4u * static_cast<uint32_t>(c), 1);
    return f.Read32(DcbWord(c, 0, 1)) >> 16 & 0xFFF;
}

TEST(ChannelControlStuckBit, HoldsOnlyItsControlWord) {
    // Channel 20's enable stuck at 1, channel 21's at 0, bit 5 of channel 22 at 1.
    Board faulty(R"([{"kind": "register_stuck_bit", "board": "B1", "offset": "0x58050", "bit": 0, "value": 1},
                    {"kind": "register_stuck_bit", "board": "B1", "offset": "0x58054", "bit": 0},
                    {"kind": "register_stuck_bit", "board": "B1", "offset": "0x58058", "bit": 5, "value": 1}])");
    Board healthy("[]");

    // Before any write: the stuck bits show over the channels' starting enables (both present, enabled).
    for (int c = 0; c < 64; ++c) {
        if (c == 21) continue;
        EXPECT_EQ(faulty->Read32(Control(c)) & ~0x20u, healthy->Read32(Control(c))) << c;
    }
    EXPECT_EQ(healthy->Read32(Control(21)) * 0x100 + faulty->Read32(Control(21)), 0x100u);
    EXPECT_EQ(faulty->Read32(Control(22)), 0x21u);

    for (uint32_t v : {0u, 1u}) {
        for (int c = 0; c < 64; ++c) {
            faulty->Write32(Control(c), v);
            healthy->Write32(Control(c), v);
        }
        for (int c = 0; c < 64; ++c) {
            uint32_t expected = v;
            if (c == 20) expected = 1;
            if (c == 21) expected = 0;
            if (c == 22) expected = v | 0x20;
            EXPECT_EQ(faulty->Read32(Control(c)), expected) << "channel " << c << " after writing " << v;
            EXPECT_EQ(healthy->Read32(Control(c)), v) << "healthy channel " << c;
        }
    }

    // The neighbouring blocks keep every bit: the channel's DCBs, the present words, the BCUs.
    for (int d = 1; d < 16; ++d) {
        faulty->Write32(DcbWord(20, d, 0), 0xFFFF0000u | static_cast<uint32_t>(d));
        EXPECT_EQ(faulty->Read32(DcbWord(20, d, 0)), 0xFFFF0000u | static_cast<uint32_t>(d)) << "DCB " << d;
    }
    faulty->Write32(0x70050, 0xFFFFFFFF);
    EXPECT_EQ(faulty->Read32(0x70050), 0xFFFFFFFFu);
    EXPECT_EQ(faulty->Read32(WexalFpga::kPresentLow), healthy->Read32(WexalFpga::kPresentLow));
}

TEST(ChannelControlStuckBit, TheEngineObeysTheStuckEnable) {
    Board faulty(R"([{"kind": "register_stuck_bit", "board": "B1", "offset": "0x58050", "bit": 0, "value": 1},
                    {"kind": "register_stuck_bit", "board": "B1", "offset": "0x58054", "bit": 0, "value": 0}])");
    Board healthy("[]");

    // Channel 20 disabled by the program still starts when enabled by the fault; channel 21 enabled by
    // the program refuses every trigger; a neighbour starts and refuses as the program says.
    const struct {
        int channel;
        uint32_t enable, faultyTag, healthyTag;
    } rows[] = {{20, 0, 0xABC, 0}, {21, 1, 0, 0xABC}, {24, 1, 0xABC, 0xABC}, {24, 0, 0, 0}};
    for (const auto& row : rows) {
        faulty->Write32(Control(row.channel), row.enable);
        healthy->Write32(Control(row.channel), row.enable);
        EXPECT_EQ(TriggeredTag(*faulty, row.channel), row.faultyTag) << row.channel << " enable " << row.enable;
        EXPECT_EQ(TriggeredTag(*healthy, row.channel), row.healthyTag) << row.channel << " enable " << row.enable;
    }
}

}  // namespace
