// Rig files: the default rig, a full description, and one clear message naming file and key for each bad file.
#include "sim/rig_config.h"

#include <gtest/gtest.h>

namespace {

using sim::ParseRig;
using sim::RigConfig;

TEST(RigConfig, DefaultRigIsOneHealthyBoardOfEachKindWithTheBox) {
    const RigConfig rig = sim::DefaultRig();
    ASSERT_EQ(rig.boards.size(), 2u);
    EXPECT_EQ(rig.boards[0].tag, "Brimola1");
    EXPECT_EQ(rig.boards[0].kind, sim::BoardKind::Brimola);
    EXPECT_EQ(rig.boards[0].sdramBytes, 512ull << 20);
    EXPECT_TRUE(rig.boards[0].breakoutBox);
    EXPECT_EQ(rig.boards[1].tag, "Nuxa1");
    EXPECT_EQ(rig.boards[1].sdramBytes, 256ull << 20);
    // Partner boards share the last character of their tags.
    EXPECT_EQ(rig.boards[0].tag.back(), rig.boards[1].tag.back());
    EXPECT_GE(rig.boards[0].revision & 0xFFF, 0x48u);
    EXPECT_FALSE(rig.dmaTiming.modelled);
}

TEST(RigConfig, ReadsBoardsTimingAndEveryFaultKind) {
    const char* text = R"({
      "boards": [
        {"tag": "Brimola2", "kind": "brimola", "sdram_mib": 64, "revision": "0xC50",
         "vpd": {"SN": "X1", "EC": null}, "attached": {"breakout_box": true},
         "sensors": {"fpga_temp_c": 60, "fpga_temp_limit_c": 70}},
        {"tag": "Nuxa2", "kind": "nuxa"}
      ],
      "dma": {"timing": "modelled", "bytes_per_second": 1000000},
      "host_memory_mib": 64,
      "faults": [
        {"kind": "sdram_stuck_bit", "board": "Brimola2", "bit": 7, "value": 1, "from": "0x100", "to": 4096},
        {"kind": "sdram_address_alias", "board": "Brimola2", "line": 10, "shorted_to": 3},
        {"kind": "sdram_address_alias", "board": "Nuxa2", "line": 20, "stuck": 1},
        {"kind": "sdram_bit_flips", "board": "Nuxa2", "rate": 0.5, "seed": 7},
        {"kind": "dma_stall", "board": "Brimola2", "channel": 16},
        {"kind": "dma_corrupt", "board": "Brimola2", "channel": 12, "mask": "0x100", "first": 3, "count": 2},
        {"kind": "dma_wrong_tag", "board": "Nuxa2", "channel": 57, "tag": 5},
        {"kind": "register_stuck_bit", "board": "Nuxa2", "offset": "0x70020", "bit": 29, "value": 0},
        {"kind": "missing_space", "board": "Nuxa2", "space": "SDRAM"},
        {"kind": "missing_board", "board": "Nuxa2"}
      ]})";
    RigConfig rig;
    std::string error;
    ASSERT_TRUE(ParseRig(text, "r.json", rig, error)) << error;
    const auto& b = rig.boards[0];
    EXPECT_EQ(b.sdramBytes, 64ull << 20);
    EXPECT_EQ(b.revision, 0xC50u);
    EXPECT_EQ(b.sensors.tempC[1], 60);
    EXPECT_EQ(b.sensors.limitC[1], 70);
    bool sn = false, ec = false;
    for (const auto& [k, v] : b.vpd) {
        sn = sn || (k == "SN" && v == "X1");
        ec = ec || k == "EC";
    }
    EXPECT_TRUE(sn);
    EXPECT_FALSE(ec) << "a null field removes the default";
    EXPECT_TRUE(rig.dmaTiming.modelled);
    EXPECT_EQ(rig.hostMemoryBytes, 64ull << 20);
    ASSERT_EQ(b.faults.sdramStuck.size(), 1u);
    EXPECT_EQ(b.faults.sdramStuck[0].from, 0x100u);
    EXPECT_EQ(b.faults.sdramStuck[0].to, 4096u);
    EXPECT_EQ(b.faults.sdramAlias[0].source, 3);
    EXPECT_EQ(b.faults.dmaCorrupt[0].mask, 0x100u);
    EXPECT_EQ(b.faults.dmaCorrupt[0].first, 3u);
    const auto& n = rig.boards[1].faults;
    EXPECT_EQ(n.sdramAlias[0].source, -1);
    EXPECT_EQ(n.sdramAlias[0].value, 1);
    EXPECT_EQ(n.sdramFlips[0].seed, 7u);
    EXPECT_EQ(n.dmaWrongTag[0].tag, 5);
    EXPECT_EQ(n.registerStuck[0].offset, 0x70020u);
    EXPECT_EQ(n.missingSpaces, std::vector<std::string>{"SDRAM"});
    EXPECT_TRUE(n.missing);
    EXPECT_FALSE(rig.boards[1].breakoutBox);
}

struct BadRig {
    const char* text;
    const char* key;  // the key the message must name
};

TEST(RigConfig, EachBadFileGetsOneMessageNamingFileAndKey) {
    const BadRig cases[] = {
        {R"({"boards": [)", nullptr},
        {R"({"boards": [], "colour": 1})", "colour"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola", "sdram": 5}]})", "boards[0].sdram"},
        {R"({"boards": [{"tag": "B1", "kind": "toaster"}]})", "boards[0].kind"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola", "sdram_mib": 5000}]})", "boards[0].sdram_mib"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola", "revision": "0x1000"}]})", "boards[0].revision"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}, {"tag": "B1", "kind": "nuxa"}]})", "boards[1].tag"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "gremlin", "board": "B1"}]})", "faults[0].kind"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "dma_stall", "board": "B9", "channel": 1}]})",
         "faults[0].board"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "dma_stall", "board": "B1", "channel": 64}]})",
         "faults[0].channel"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "sdram_stuck_bit", "board": "B1", "bit": 32}]})",
         "faults[0].bit"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "sdram_bit_flips", "board": "B1", "rate": 0.1}]})",
         "faults[0].seed"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "register_stuck_bit", "board": "B1", "offset": "0x40000", "bit": 1}]})",
         "faults[0].offset"},
        // Past the last channel control word, below the first, and not on a word.
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "register_stuck_bit", "board": "B1", "offset": "0x58100", "bit": 0}]})",
         "faults[0].offset"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "register_stuck_bit", "board": "B1", "offset": "0x57FFC", "bit": 0}]})",
         "faults[0].offset"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "register_stuck_bit", "board": "B1", "offset": "0x58002", "bit": 0}]})",
         "faults[0].offset"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "dma_stall", "board": "B1", "channel": 1, "speed": 2}]})",
         "faults[0].speed"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}], "dma": {"timing": "slow"}})", "dma.timing"},
    };
    for (const auto& c : cases) {
        RigConfig rig;
        std::string error;
        EXPECT_FALSE(ParseRig(c.text, "bad.json", rig, error)) << c.text;
        EXPECT_NE(error.find("rig file \"bad.json\""), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
        if (c.key) EXPECT_NE(error.find(std::string("key \"") + c.key + "\""), std::string::npos) << error;
        else EXPECT_NE(error.find("not valid JSON"), std::string::npos) << error;
    }
    RigConfig rig;
    std::string error;
    EXPECT_FALSE(sim::LoadRigFile("/nonexistent/rig.json", rig, error));
    EXPECT_NE(error.find("/nonexistent/rig.json"), std::string::npos);
}

}  // namespace
