// Tests of SCRport: keyword dispatch and help, the wait with message pumping, the date line, and its diagnostics on both boards.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "diagport/scr_port.h"
#include "platform/clock.h"
#include "platform/message_pump.h"
#include "tests/boards/root_fixture.h"

namespace {

using namespace support;

// A port whose diagnostics only record how they were called.
class ProbePort : public Recording<SCRport> {
public:
    ProbePort() : Recording<SCRport>(nullptr, "SCRport") {}
    struct Call {
        std::string diagnostic, args;
        int verbose, abortCount;
    };
    DWORD ShowVersions(CString a, int v) override { return Record("ShowVersions", a, v); }
    DWORD ShowTemperatures(CString a, int v) override { return Record("ShowTemperatures", a, v); }
    DWORD CheckR2Versions(CString a, int v) override { return Record("CheckR2Versions", a, v); }
    DWORD ShowDMAStatus(CString a, int v) override { return Record("ShowDMAStatus", a, v); }
    DWORD LTCLoopback(CString a, int v) override { return Record("LTCLoopback", a, v); }
    DWORD DMACacheTest(CString a, int v) override { return Record("DMACacheTest", a, v); }
    std::vector<Call> calls;

private:
    DWORD Record(const char* name, const CString& a, int v) {
        calls.push_back({name, a.str(), v, GetAbortCount()});
        return 7;  // handed back unchanged
    }
};

class Dispatch : public ::testing::Test {
protected:
    Dispatch() { port.SetParent(&parent); }
    RecordingTreeTest parent{"CParent"};
    ProbePort port;
};

TEST_F(Dispatch, KeywordPicksTheDiagnosticAndTheCommonSettings) {
    struct Row {
        const char* command;
        const char* diagnostic;  // "" for Invalid Test
        const char* args;
        int verbose, abortCount;
    };
    const Row rows[] = {
        {"KZ-Version", "ShowVersions", "", 0, 20},
        {"KZ-ShowTemp VERBOSE=2 ABORTCOUNT=5", "ShowTemperatures", "VERBOSE=2 ABORTCOUNT=5", 2, 5},
        {"KZ-ShowDMA-B Channel=3 verbose=1", "ShowDMAStatus", "Channel=3 verbose=1", 1, 20},
        {"KZ-VersionVERBOSE=x", "ShowVersions", "VERBOSE=x", 0, 20},  // no separator needed; no number keeps 0
        {"KZ-LTC_WR_lb VERBOSE=-1", "LTCLoopback", "VERBOSE=-1", -1, 20},
        {"KZ_ChkR2Versions PATH=$(CWD) FILE=a.txt", "CheckR2Versions", "PATH=$(CWD) FILE=a.txt", 0, 20},
        {" KZ-Version", "", "", 0, 20},
        {"kz-version", "", "", 0, 20},
        {"KZ-ChkR2Versions", "", "", 0, 20},
        {"INVALID KZ-Version", "", "", 0, 20},
        {"KZ-Versio", "", "", 0, 20},
        {"ZT-DMA_CACHE", "", "", 0, 20},
        {"ZT-DMA_Cache VERBOSE=2", "DMACacheTest", "VERBOSE=2", 2, 20},
        {"INVALID", "", "", 0, 20},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        port.calls.clear();
        port.out = {};
        const DWORD result = port.Run(row.command);
        if (!*row.diagnostic) {
            EXPECT_EQ(result, kRunFailed);
            EXPECT_TRUE(port.calls.empty());
            EXPECT_EQ(port.out.text, "Invalid Test");
            EXPECT_TRUE(port.out.HasColoured("Invalid Test", 0x0000FF));
            continue;
        }
        EXPECT_EQ(result, 7u);
        ASSERT_EQ(port.calls.size(), 1u);
        EXPECT_EQ(port.calls[0].diagnostic, row.diagnostic);
        EXPECT_EQ(port.calls[0].args, row.args);
        EXPECT_EQ(port.calls[0].verbose, row.verbose);
        EXPECT_EQ(port.calls[0].abortCount, row.abortCount);
    }
}

TEST_F(Dispatch, WithoutParentNothingRuns) {
    ProbePort orphan;
    EXPECT_EQ(orphan.Run("KZ-Version"), kRunFailed);
    EXPECT_TRUE(orphan.calls.empty());
    EXPECT_TRUE(orphan.out.HasColoured("SCRport:  Parent is NULL\n", 0x0000FF));
}

TEST_F(Dispatch, HelpDescribesByItsOwnSpelling) {
    const std::string rule = std::string(72, '=') + "\n";
    struct Row {
        const char* command;
        std::string text;  // "" for the not-recognized error
    };
    const Row rows[] = {
        {"ZT-DMA_CACHE", rule + "CACHE TEST.\n" + rule},
        {"ZT-DMA_Cache", ""},
        {"KZ_ChkR2Versions FILE=x", rule + "Check Rev2-VERSIONS\n" + rule},
        {"ZT-Play_VUC", rule + "This test will verify the ability for the Video Utility Client Out DMA and\n"
                               "Video Utility Client In DMA Wexal to move data\n" + rule},
        {"KZ-LTC_WR_lb", rule + "Bob LTC W/R Loopback Test\n" + rule},
        {"INVALID", ""},
        {"kz-version", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        port.out = {};
        port.Help(row.command);
        if (row.text.empty()) {
            EXPECT_EQ(port.out.text, "\n\nERROR:  SCRport\n\"" + std::string(row.command) + "\"\n Not recognized as a valid test\n");
            EXPECT_TRUE(port.out.HasColoured("Not recognized", 0x0000FF));
        } else {
            EXPECT_EQ(port.out.text, row.text);
        }
    }
}

TEST(Delay, PumpsBetweenTwentyMillisecondSleeps) {
    std::vector<LONGLONG> pumps;
    LONGLONG start = 0;
    platform::SetMessagePump([&] { pumps.push_back(platform::NowTicks() - start); });
    ProbePort port;
    constexpr LONGLONG ms = kPerfFrequency / 1000;
    struct Row {
        int ms;
        std::vector<LONGLONG> pumpsAt;
    };
    for (const Row& row : {Row{50, {20 * ms, 40 * ms}}, Row{20, {}}, Row{21, {20 * ms}}, Row{0, {}}, Row{-5, {}}}) {
        SCOPED_TRACE(row.ms);
        pumps.clear();
        start = platform::NowTicks();
        port.Delay(row.ms);
        EXPECT_EQ(pumps, row.pumpsAt);
        EXPECT_EQ(platform::NowTicks() - start, std::max(row.ms, 0) * ms);
    }
    platform::SetMessagePump(nullptr);
    port.Delay(50);  // without a pump the wait just passes
}

TEST(DateLine, WeekdayMonthDayYearAndTime) {
    struct tm when = {};
    when.tm_year = 2026 - 1900, when.tm_mon = 11, when.tm_mday = 5, when.tm_hour = 16, when.tm_min = 22, when.tm_sec = 53;
    when.tm_isdst = -1;
    const time_t saved = platform::WallTime();
    platform::SetWallTime(std::mktime(&when));
    ProbePort port;
    port.PrintDateTime(0x123456);
    platform::SetWallTime(saved);
    EXPECT_EQ(port.out.text, "Sat Dec 5, 2026 16:22:53\n");
    EXPECT_TRUE(port.out.HasColoured("Sat", 0x123456));
}

}  // namespace

namespace {

using namespace support;

// The port as the host reaches it: through the root of each board.
class OnBoards : public RootKeywords {};

TEST_F(OnBoards, BothRootsCarryThePort) {
    struct Row {
        const char* command;
        DWORD result;
        std::vector<std::string> parts;
    };
    const Row rows[] = {
        {"Brimola1 <SCRport KZ-ShowTemp>", 1, {"Brimola Temperature Sensor Info:\n", "Wexal    45 C\n"}},
        {"Nuxa1 <SCRport KZ-ShowTemp>", 1, {"Nuxa Temperature Sensor Info:\n", "Local    30 C\n"}},
        {"Nuxa1 <SCRport KZ-Versio>", 2, {"Invalid Test"}},
        {"Brimola1 <SCRport KZ-ShowDMA-B Channel=4>", 1, {"Brimola DMA Status:\n", "Channel 4 Control: 0x", "DCB 0: 0x"}},
        {"Nuxa1 <SCRport KZ-ShowDMA-B Channel=64>", 2, {"Channel= must be a channel number from 0 to 63\n"}},
        {"Nuxa1 <SCRport KZ-ShowDMA-B Channel=-1>", 2, {"Channel= must be a channel number from 0 to 63\n"}},
        {"Nuxa1 <SCRport KZ-ShowDMA-B Channel=63>", 1, {"Nuxa DMA Status:\nChannel 63 Control: 0x"}},
        {"Brimola1 <SCRport KZ-ShowDIMMS>", 1, {}},
        {"Brimola1 <SCRport KZ-CheckPCISpeed>", 2, {"ERROR:  KZ-CheckPCISpeed is not part of this build\n"}},
        {"Nuxa1 <SCRport KZ-TazuDDR DEVICE=1>", 2, {"ERROR:  KZ-TazuDDR needs TEST=\n"}},
        {"Brimola1 <SCRport KZ-TazuQDR DEVICE=1 TEST=DATA>", 2, {"ERROR:  KZ-TazuQDR is not part of this build\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        std::string out;
        EXPECT_EQ(Run(row.command, &out), row.result);
        EXPECT_TRUE(HasAll(out, row.parts));
    }
    // A board without its temperature sensor fails the report, naming each channel.
    ScopedRig rig(MainBoardRig(R"([{"kind": "missing_space", "board": "Brimola1", "space": "I2C.TSENSOR"}])"));
    std::string out;
    EXPECT_EQ(Run("Brimola1 <SCRport KZ-ShowTemp>", &out), kRunFailed);
    EXPECT_TRUE(HasAll(out, {"Could not GetSpace( I2C.TSENSOR )\n", "Local    unable to read LTEMP\n", "Remote 3 unable to read 3TEMP\n"}));
}

// The status report shows the channel's control word and all eight words of its live DCB, each
// as its own register reads, on the lowest and the highest channel and on a PCI channel, whose
// words 5-7 hold its page table's address.
TEST_F(OnBoards, DmaStatusShowsTheChannelsControlWordAndWholeLiveDcb) {
    for (const DWORD channel : {0u, 12u, 63u}) {
        SCOPED_TRACE(channel);
        RegisterPtr bar0 = RigBoard("Brimola1")->GetRegisters();
        bar0[(0x58000 + 4 * channel) / 4] = 1;
        const DWORD dcb0 = (0x60000 + 0x200 * channel) / 4;
        for (DWORD w = 0; w < 8; ++w) bar0[dcb0 + w] = 0x11111111 * (w + 1) ^ channel;
        DWORD held[8];
        for (DWORD w = 0; w < 8; ++w) held[w] = bar0[dcb0 + w];
        EXPECT_EQ(held[4], 0x55555555u ^ channel);
        if (channel == 12) {
            EXPECT_EQ(held[7], 0x88888888u ^ channel);
        }
        std::string out;
        EXPECT_EQ(Run("Brimola1 <SCRport KZ-ShowDMA-B Channel=" + std::to_string(channel) + ">", &out), kRunPassed);
        const std::string dcb = FormatString("DCB 0: 0x%08X 0x%08X 0x%08X 0x%08X 0x%08X 0x%08X 0x%08X 0x%08X\n", held[0], held[1],
                                             held[2], held[3], held[4], held[5], held[6], held[7])
                                    .str();
        EXPECT_TRUE(HasAll(out, {"Channel " + std::to_string(channel) + " Control: 0x00000001\n" + dcb})) << out;
    }
}

// Each channel of the temperature report from its own register, read as a signed byte.
TEST_F(OnBoards, TemperatureReportShowsEachChannelSigned) {
    struct Row {
        const char* sensors;
        const char* board;
        std::string lines;
    };
    const Row rows[] = {
        {R"("local_temp_c": -40, "fpga_temp_c": 127, "remote2_temp_c": -1, "remote3_temp_c": 100)", "Brimola1",
         "Brimola Temperature Sensor Info:\n  Local    -40 C\n  Wexal    127 C\n  Remote 2 -1 C\n  Remote 3 100 C\n"},
        {R"("local_temp_c": 1, "fpga_temp_c": -40, "remote2_temp_c": 64, "remote3_temp_c": -5)", "Nuxa1",
         "Nuxa Temperature Sensor Info:\n  Local    1 C\n  Wexal    -40 C\n  Remote 2 64 C\n  Remote 3 -5 C\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.lines);
        const std::string kind = std::string(row.board) == "Brimola1" ? "brimola" : "nuxa";
        ScopedRig rig(std::string(R"({"boards": [{"tag": ")") + row.board + R"(", "kind": ")" + kind + R"(", "sensors": {)" +
                      row.sensors + "}}]}");
        std::string out;
        EXPECT_EQ(Run(std::string(row.board) + " <SCRport KZ-ShowTemp>", &out), kRunPassed);
        EXPECT_TRUE(HasAll(out, {row.lines})) << out;
    }
}

// The port's DIMM report compares the two modules' SPD bytes; it has no geometry check of its own.
TEST_F(OnBoards, DimmReportComparesTheModulesOnly) {
    struct Row {
        const char* name;
        std::string faults;
        DWORD result;
    };
    const Row rows[] = {
        {"healthy", "[]", 1},
        {"one module's geometry", R"([{"kind": "spd_wrong_geometry", "board": "Brimola1", "module": 2}])", 2},
        {"both modules' geometry", R"([{"kind": "spd_wrong_geometry", "board": "Brimola1"}])", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedRig rig(MainBoardRig(row.faults));
        std::string out;
        EXPECT_EQ(Run("Brimola1 <SCRport KZ-ShowDIMMS>", &out), row.result) << out;
        EXPECT_EQ(out.find("DIMM1 and DIMM2 do not have identical parameters") != std::string::npos, row.result == 2) << out;
    }
}

}  // namespace
