// The register_alias fault: how a rig file gives it, and which DCB and BCU cells the aliased units share.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "sim/dma_engine.h"
#include "sim/rig_config.h"

namespace {

std::string Rig(const std::string& fields) {
    return R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "register_alias", "board": "B1", )" + fields + "}]}";
}

TEST(RegisterAlias, RigFileFieldsAndTheirErrors) {
    struct Row { const char* fields; const char* error; };
    const Row rows[] = {
        {R"("memory": "sdram", "line": 1, "stuck": 0)", "memory\": \"sdram\" is not \"dcb\" or \"bcu\""},
        {R"("line": 1, "stuck": 0)", "memory\": missing"},
        {R"("memory": "dcb", "line": 10, "stuck": 0)", "line\": value 10 is out of range 0..9"},
        {R"("memory": "bcu", "line": 9, "stuck": 0)", "line\": value 9 is out of range 0..8"},
        {R"("memory": "bcu", "line": 2, "stuck": 0, "shorted_to": 3)", "shorted_to\": give exactly one"},
        {R"("memory": "dcb", "line": 2)", "shorted_to\": give exactly one"},
        {R"("memory": "dcb", "line": 4, "shorted_to": 4)", "shorted_to\": a line cannot be shorted to itself"},
        {R"("memory": "dcb", "line": 4, "stuck": 2)", "stuck\": value 2 is out of range 0..1"},
    };
    sim::RigConfig rig;
    std::string error;
    for (const Row& row : rows) {
        EXPECT_FALSE(sim::ParseRig(Rig(row.fields), "bad.json", rig, error)) << row.fields;
        EXPECT_NE(error.find(row.error), std::string::npos) << error;
    }
    ASSERT_TRUE(sim::ParseRig(Rig(R"("memory": "bcu", "line": 8, "stuck": 1)"), "r.json", rig, error)) << error;
    const sim::RegisterAlias& a = rig.boards[0].faults.registerAlias.at(0);
    EXPECT_EQ(std::tuple(a.bcu, a.line, a.source, a.value), std::tuple(true, 8, -1, 1));
}

TEST(RegisterAlias, AliasedUnitsShareTheirCellsAndOthersKeepTheirOwn) {
    // DCB index line 4 (the channel's low bit) follows line 0 (the DCB's low bit); BCU line 0 held at 0.
    const std::vector<sim::RegisterAlias> aliases = {{false, 4, 0, 0}, {true, 0, -1, 0}};
    sim::DcbStore dcbs;
    sim::BcuStore bcus;
    dcbs.Configure(0xC75, {}, aliases);
    bcus.Configure(0xC75, {}, aliases);
    dcbs.Write(1, 0, 2, 0x11);  // channel 1 DCB 0 reaches channel 0 DCB 0
    dcbs.Write(0, 1, 2, 0x22);  // channel 0 DCB 1 reaches channel 1 DCB 1
    dcbs.Write(2, 0, 2, 0x33);
    EXPECT_EQ(std::tuple(dcbs.Read(0, 0, 2), dcbs.Read(1, 1, 2), dcbs.Read(2, 0, 2), dcbs.Read(3, 1, 2)),
              std::tuple(0x11u, 0x22u, 0x33u, 0u));
    bcus.Write(5, 2, 0x44);
    bcus.Write(6, 2, 0x55);
    EXPECT_EQ(std::tuple(bcus.Read(4, 2), bcus.Read(6, 2), bcus.Read(7, 2)), std::tuple(0x44u, 0x55u, 0x55u));
}

}  // namespace
