// Tests of the diagnostics port's message and LTC loopbacks through the breakout-box port, with and without the loopback connector.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/boards/root_fixture.h"

namespace {

using namespace support;


std::string Rig(const std::string& attached, const std::string& faults = "[]") {
    return R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "attached": )" + attached +
           R"(}, {"tag": "Nuxa1", "kind": "nuxa", "attached": )" + attached + R"(}], "faults": )" + faults + "}";
}
const std::string kCable = Rig(R"({"loopback_cable": true})");
const std::string kBox = Rig(R"({"breakout_box": true})");
const std::string kNothing = Rig("{}");

class PortLoopbacks : public RootKeywords {
protected:
    static RegisterRef Reg(const char* board, DWORD offset) { return RigBoard(board)->GetRegisters()[offset / 4]; }
};

TEST_F(PortLoopbacks, MessageAndLtcWordsComeBackOverTheConnector) {
    const std::string head = "----------------------------------------------\nDMA BOB Audio Loopback Test\n";
    struct Row {
        const char* name;
        std::string rig, command;
        DWORD result;
        std::vector<std::string> parts;
        size_t failures;  // "Expected" lines
        size_t replies = 0;  // green REPLY lines
    };
    const Row rows[] = {
        {"message, verbose 1", kCable, "Brimola1 <SCRport KZ-BoBcom_lb VERBOSE=1>", 1,
         {head + "Testing Brimola\nMSG-LO: 0x10000000\nMSG-HI: 0x80000000\nREPLY: 0x10000000\nMSG-LO: 0x11111111\n",
          "MSG-LO: 0x0\nMSG-HI: 0x80000000\nREPLY: 0x0\n---\nSummary: (16 W/R transactions tried)\nAll REPLY reads passed\n"},
         0, 16},
        {"message, codec board", kCable, "Nuxa1 <SCRport KZ-BoBcom_lb>", 1,
         {head + "Testing Nuxa\n---\nSummary: (16 W/R transactions tried)\nAll REPLY reads passed\n"}, 0},
        {"LTC", kCable, "Brimola1 <SCRport KZ-LTC_WR_lb>", 1, {head + "Testing Brimola\nDone.\n"}, 0},
        {"LTC, verbose", kCable, "Nuxa1 <SCRport KZ-LTC_WR_lb VERBOSE=1>", 1,
         {"Testing Nuxa\nLTCin_MT: 0x1\nLTCout_MT: 0x1\nLTC: 0x10000000\n", "LTC: 0x7FFFFFFF\n", "LTC: 0x0\nDone.\n"}, 0},
        // With the box on the connector nothing loops: the reply register keeps its value (0), so
        // only the last word (0) comes back.
        {"message through the box", kBox, "Brimola1 <SCRport KZ-BoBcom_lb>", 2,
         {"Expected REPLY: 0x10000000 Read REPLY: 0x0\n", "Expected REPLY: 0xAAAAAAAA Read REPLY: 0x0\n",
          "---\nSummary: (16 W/R transactions tried)\n"},
         15},
        {"LTC through the box", kBox, "Brimola1 <SCRport KZ-LTC_WR_lb>", 2,
         {"Expected LTC: 0x10000000 Read LTC: 0x0\nLTCin_MT: 0x1\nLTCout_MT: 0x1\n", "Done.\n"}, 15},
        {"no connector", kNothing, "Nuxa1 <SCRport KZ-BoBcom_lb>", 2, {head + "Testing Nuxa\nLoopback connector is not present\n"}, 0},
        {"no connector, LTC", kNothing, "Brimola1 <SCRport KZ-LTC_WR_lb>", 2, {"Loopback connector is not present\n"}, 0},
        {"a stuck message line", Rig(R"({"loopback_cable": true})", R"([{"kind": "bob_loop_stuck_bit", "board": "Nuxa1", "path": "message", "bit": 4, "value": 1}])"),
         "Nuxa1 <SCRport KZ-BoBcom_lb>", 2,
         {"Expected REPLY: 0x10000000 Read REPLY: 0x10000010\n", "Expected REPLY: 0x0 Read REPLY: 0x10\n"}, 10},
        // The top bit alone: every message word that sets it comes back without it.
        {"message line 31 stuck at 0", Rig(R"({"loopback_cable": true})", R"([{"kind": "bob_loop_stuck_bit", "board": "Brimola1", "path": "message", "bit": 31, "value": 0}])"),
         "Brimola1 <SCRport KZ-BoBcom_lb>", 2,
         {"Expected REPLY: 0xFFFFFFFF Read REPLY: 0x7FFFFFFF\n", "Expected REPLY: 0xF0F0F0F0 Read REPLY: 0x70F0F0F0\n"}, 8},
        {"LTC line 0 stuck at 1", Rig(R"({"loopback_cable": true})", R"([{"kind": "bob_loop_stuck_bit", "board": "Nuxa1", "path": "ltc", "bit": 0, "value": 1}])"),
         "Nuxa1 <SCRport KZ-LTC_WR_lb>", 2, {"Expected LTC: 0x7FFF0000 Read LTC: 0x7FFF0001\n", "Expected LTC: 0x0 Read LTC: 0x1\n"}, 11},
        {"a stuck LTC line", Rig(R"({"loopback_cable": true})", R"([{"kind": "bob_loop_stuck_bit", "board": "Brimola1", "path": "ltc", "bit": 30, "value": 0}])"),
         "Brimola1 <SCRport KZ-LTC_WR_lb>", 2, {"Expected LTC: 0x44444444 Read LTC: 0x4444444\nLTCin_MT: 0x1\n"}, 9},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedRig rig(row.rig);
        std::string out;
        EXPECT_EQ(Run(row.command, &out), row.result);
        EXPECT_TRUE(HasAll(out, row.parts));
        EXPECT_EQ(Count(out, "Expected "), row.failures) << out;
        EXPECT_EQ(Count(out, "\nREPLY: "), row.replies);
    }
}

TEST_F(PortLoopbacks, RegistersAreRestoredAndTheRevisionCheckSeesTheCable) {
    ScopedRig rig(kCable);
    Reg("Brimola1", 0x80210) = 0x1234;
    Reg("Brimola1", 0x80218) = 0x5678;
    EXPECT_EQ(Run("Brimola1 <SCRport KZ-BoBcom_lb>"), kRunPassed);
    EXPECT_EQ(Run("Brimola1 <SCRport KZ-LTC_WR_lb>"), kRunPassed);
    EXPECT_EQ(static_cast<DWORD>(Reg("Brimola1", 0x80210)), 0x1234u);
    EXPECT_EQ(static_cast<DWORD>(Reg("Brimola1", 0x80218)), 0x5678u);
    std::string out;
    Run("Brimola1 <SCRport KZ_ChkR2Versions PATH=$(CWD) FILE=$(CWD)\\testdata\\MinRevisions.txt>", &out);
    EXPECT_TRUE(HasAll(out, {"Receiving clock from BoB Port\nBOB Loopback cable is present\n"}));
    Run("Brimola1 <SCRport KZ-BoBcom_lb>", &out);
    EXPECT_TRUE(HasAll(out, {"All REPLY reads passed\n"}));
    ScopedRig none(kNothing);
    Run("Brimola1 <SCRport KZ_ChkR2Versions PATH=$(CWD) FILE=$(CWD)\\testdata\\MinRevisions.txt>", &out);
    EXPECT_TRUE(HasAll(out, {"Loopback/BOB cable is not present\n"}));
    EXPECT_EQ(out.find("BOB Loopback cable is present"), std::string::npos);
}

}  // namespace
