// Tests of the board roots' own keyword commands, run through the root as the host runs them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "boards/dma/test_dcb.h"
#include "framework/result_screen.h"
#include "platform/dialog.h"
#include "tests/boards/root_fixture.h"

namespace {

using support::HasAll;

TEST_F(RootKeywords, FillPatternsRefillTheCodecBuffer) {
    // Each row runs after the one before it, on one buffer; values are the documented examples. The
    // first row is the buffer as built.
    struct Row { const char* command; DWORD result; std::vector<std::pair<int, DWORD>> words; };
    const Row rows[] = {
        {"", kRunPassed, {{0, 0x03020100}, {1, 0x07060504}, {64, 0x03020100}, {4095, 0xFFFEFDFC}}},
        {"Incrementing", kRunPassed, {{0, 0}, {1023, 1023}, {4095, 4095}}},
        {"Specify DWord 0x12345678", kRunPassed, {{0, 0x12345678}, {1023, 0x12345678}, {1024, 1024}}},
        {"Increment XOR 0x00000000", kRunPassed, {{0, 0}, {1, 0x04040404}, {64, 0x01010100}, {1024, 1024}}},
        {"Increment XOR 0x000000FF", kRunPassed, {{0, 0xFF}, {1, 0x040404FB}}},
        {"Specify DWord 12345678", kRunPassed, {{0, 0}, {1023, 0}, {1024, 1024}}},  // no "0x": V is 0
        {"Zero", kRunPassed, {{0, 0}, {4095, 0}}},
        {"Unique Byte", kRunPassed, {{0, 0x03020100}, {4095, 0xFFFEFDFC}}},
        {"Zero VERBOSE=0", kRunFailed, {{0, 0x03020100}}},  // exact keywords: not recognised
        {"zero", kRunFailed, {{4095, 0xFFFEFDFC}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        EXPECT_EQ(*row.command ? Run(std::string("Nuxa1 <CNuxaBoard ") + row.command + ">") : kRunPassed, row.result);
        for (const auto& [index, value] : row.words) EXPECT_EQ(nuxa.GetPatternBuffer()[index], value) << index;
    }
    EXPECT_EQ(nuxa.GetPatternBuffer().size(), 4096u);
}

TEST_F(RootKeywords, CompareFilesReportsTheFirstDifference) {
    for (const auto& [name, bytes] : {std::pair{"a.bin", "abc"}, {"same.bin", "abc"}, {"other.bin", "abd"}, {"long.bin", "abcd"},
                                      {"e1.bin", ""}, {"e2.bin", ""}})
        Dir().Write(name, bytes);
    // Past 4 GiB, where a length cut to 32 bits would compare 16 bytes of each: sparse, so fast.
    constexpr unsigned long long kBig = (4ull << 30) + 16;
    const std::string big1 = Dir().WriteSparse("big1.bin", kBig, 1000, "A"), big2 = Dir().WriteSparse("big2.bin", kBig, 1000, "B");
    ASSERT_FALSE(big1.empty() || big2.empty() || Dir().WriteSparse("bigger.bin", kBig + 1, 1000, "A").empty()) << "no sparse files here";
    struct Row { std::string arguments; DWORD result; const char* message; };
    const std::string a = " FILE1=" + support::Bracketed(Dir().File("a.bin"));
    const Row rows[] = {
        {a + " FILE2=" + support::Bracketed(Dir().File("same.bin")), kRunPassed, ""},
        {" FILE1=" + support::Bracketed(Dir().File("e1.bin")) + " FILE2=" + support::Bracketed(Dir().File("e2.bin")), kRunPassed, ""},
        {a + " FILE2=" + support::Bracketed(Dir().File("other.bin")), kRunFailed, "] does not match FILE2["},
        {a + " FILE2=" + support::Bracketed(Dir().File("long.bin")), kRunFailed, "] have different lengths.\n"},
        {" FILE1=" + support::Bracketed(big1) + " FILE2=" + support::Bracketed(big2), kRunFailed, "] does not match FILE2["},
        {" FILE1=" + support::Bracketed(big1) + " FILE2=" + support::Bracketed(Dir().File("bigger.bin")), kRunFailed, "] have different lengths.\n"},
        {" FILE2=" + support::Bracketed(Dir().File("a.bin")), kRunFailed, "ERROR:  FILE1= not specified on the command line.\n"},
        {a, kRunFailed, "ERROR:  FILE2= not specified on the command line.\n"},
        {a + " FILE2=" + support::Bracketed(Dir().File("none.bin")), kRunFailed, "ERROR:  Unable to expand variables FILE2["},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments);
        std::string out;
        EXPECT_EQ(Run("Nuxa1 <CNuxaBoard Compare Files" + row.arguments + ">", &out), row.result);
        EXPECT_TRUE(HasAll(out, {row.message}));
        EXPECT_EQ(nuxa.out.HasColoured("ERROR:  File compare failed\n", kColorRed), row.result != kRunPassed);
    }
}

// The eight registers of a board's clock synthesiser, read back through the device library.
std::vector<int> ClockRegisters(const char* board, const char* space) {
    std::vector<BYTE> bytes(8);
    support::RigBoard(board)->GetDevice(CZorvDevice::DEVTYPE_CLOCK, 0)->GetSpace(space)->Get(bytes.data(), 0, 8);
    return {bytes.begin(), bytes.end()};
}

TEST_F(RootKeywords, I2CClockProgramsEachNamedSetting) {
    // Registers 0-7 as the table gives them (register 2 is written last with its plain value), on rows
    // that each show something of their own: both references and devices, register 4, the divider
    // of 166, a name matched by its start without case, and a setting that gives another clock.
    struct Row { const char* mode; const char* device; std::vector<int> regs; const char* clock; };
    const Row rows[] = {
        {"40,100Mhz", "Wexal", {0x02, 0x10, 0x03, 0x14, 0, 0x33, 0, 0}, "Reference = 40 Mhz, Clock= 100.000000"},
        {"40,110Mhz", "Sorbelin", {0x04, 0x10, 0x02, 0x21, 0, 0x33, 0, 0}, "Reference = 40 Mhz, Clock= 110.000000"},
        {"40,133Mhz", "Wexal", {0x28, 0x10, 0x02, 0x8F, 1, 0x22, 0, 0}, "Reference = 40 Mhz, Clock= 133.000000"},
        {"40,166Mhz", "Sorbelin", {0x0A, 0x10, 0x01, 0x53, 0, 0x33, 0, 0}, "Reference = 40 Mhz, Clock= 166.000000"},
        {"80,105MHZ", "WEXALX", {0x08, 0x10, 0x02, 0x21, 0, 0x33, 0, 0}, "Reference = 80 Mhz, Clock= 110.000000"},
        {"80,125Mhz", "Sorbelin", {0x10, 0x10, 0x02, 0x48, 0, 0x33, 0, 0}, "Reference = 80 Mhz, Clock= 120.000000"},
        {"80,133Mhz", "Sorbelin", {0x50, 0x10, 0x02, 0x8F, 1, 0x22, 0, 0}, "Reference = 80 Mhz, Clock= 133.000000"},
        {"80,160Mhz", "Wexal", {0x04, 0x10, 0x01, 0x10, 0, 0x33, 0, 0}, "Reference = 80 Mhz, Clock= 160.000000"},  // the last row
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        std::string out;
        const std::string board = row.device[0] == 'S' ? "Nuxa1" : "Brimola1";  // both roots, both clocks
        const std::string root = row.device[0] == 'S' ? "CNuxaBoard" : "CBrimolaBoard";
        EXPECT_EQ(Run(board + " <" + root + " I2C Clock DEVICE=" + row.device + " MODE=" + row.mode + ">", &out), kRunPassed);
        EXPECT_EQ(ClockRegisters(board.c_str(), row.device[0] == 'S' ? "CLOCK2" : "CLOCK1"), row.regs);
        EXPECT_TRUE(HasAll(out, {std::string("SDRAM Memory: ") + row.clock + "\n", "jastelBID.dw(0x0004)\n"}));
    }
}

TEST_F(RootKeywords, I2CClockArgumentsAndRegisterFiles) {
    Dir().Write("five.txt", "MODE=Mine\nFREQUENCY=25000000\nREG[0x00]=0x04\nreg[1] = 0x10\r\nREG[2]=0x02\nREG[3]=12\nREG[0X04]=0X00\n");
    std::string twelve = "MODE=" + std::string(100, 'L') + "\n";
    for (int r = 0; r < 12; ++r) twelve += "REG[" + std::to_string(r % 8) + "]=0x" + std::to_string(r < 10 ? 1 : 7) + "\n";
    Dir().Write("twelve.txt", twelve);
    Dir().Write("nomode.txt", "REG[0]=0x04\n");
    // Numbers a register, a byte value or a frequency cannot hold: refused before a register is written.
    const char* const kWide[] = {"REG[0X100000000]=0X05", "REG[1]=0X123", "REG[4294967296]=05", "REG[2]=100", "REG[-1]=0X05"};
    for (size_t i = 0; i < std::size(kWide); ++i) Dir().Write("wide" + std::to_string(i) + ".txt", std::string("MODE=Wide\n") + kWide[i] + "\n");
    Dir().Write("widehz.txt", "MODE=Wide\nFREQUENCY=4294967296\nREG[0]=0x04\n");
    // A register file with zeros after it, past 4 GiB: a length cut to 32 bits would read its text alone.
    const std::string fiveText = support::ReadText(Dir().File("five.txt"));
    ASSERT_FALSE(Dir().WriteSparse("huge.txt", (4ull << 30) + fiveText.size(), 0, fiveText).empty()) << "no sparse files here";
    struct Row { std::string arguments; DWORD result; std::vector<std::string> text; std::vector<int> clock1; };
    const std::vector<int> kUnchanged = ClockRegisters("Brimola1", "CLOCK1");
    const Row rows[] = {
        {"DEVICE=Wexal MODE=40,10", kRunFailed, {"Using Space( CLOCK1 )\n"}, kUnchanged},  // the row name must begin the value
        {"DEVICE=Other MODE=40,100Mhz", kRunFailed, {}, kUnchanged},
        {"DEVICE=Wexal", kRunFailed, {"ERROR:  MODE not found on command line.\n"}, kUnchanged},
        {"MODE=40,100Mhz", kRunFailed, {"ERROR:  DEVICE not found on command line.\n"}, kUnchanged},
        {"DEVICE=Wexal FILE=" + support::Bracketed(Dir().File("none.txt")), kRunFailed, {"ERROR:  Unable to open file - \n"}, kUnchanged},
        {"DEVICE=Wexal FILE=" + support::Bracketed(Dir().File("nomode.txt")), kRunFailed, {}, kUnchanged},
        {"DEVICE=Wexal FILE=" + support::Bracketed(Dir().File("huge.txt")), kRunFailed, {"huge.txt: more than 2 GiB, larger than a register file may be.\n"}, kUnchanged},
        // Five register lines: five zero writes to register 0 follow; a 25 MHz reference shows as 80.
        {"DEVICE=Wexal FILE=" + support::Bracketed(Dir().File("five.txt")), kRunPassed,
         {"DevSettings[0].pszSetting(Mine)", "Reg[0x03] = 0x12\n", "Reference = 80 Mhz, Clock= 37.500000\n"},
         {0, 0x10, 0x02, 0x12, 0, 0x22, 0, 0}},  // registers 5-7 as they powered up
        // A name cut to 79 characters; lines beyond the ten writes are left out.
        {"DEVICE=Wexal FILE=" + support::Bracketed(Dir().File("twelve.txt")), kRunPassed, {"(" + std::string(79, 'L') + ")\n"}, {1, 1, 1, 1, 1, 1, 1, 1}},
        {"DEVICE=Wexal MODE=Reserved", kRunPassed, {"Reg[0x00] = 0x00\n", "Clock= 0.000000\n"}, {0, 1, 1, 1, 1, 1, 1, 1}},
        {"DEVICE=Wexal FILE=" + support::Bracketed(Dir().File("wide0.txt")), kRunFailed, {"Argument REG=0X100000000 does not fit its range 0..4294967295\n"},
         {0, 1, 1, 1, 1, 1, 1, 1}},
        {"DEVICE=Wexal FILE=" + support::Bracketed(Dir().File("wide1.txt")), kRunFailed, {"Argument REG[1]=0X123 does not fit its range 0..255\n"},
         {0, 1, 1, 1, 1, 1, 1, 1}},
        {"DEVICE=Wexal FILE=" + support::Bracketed(Dir().File("wide2.txt")), kRunFailed, {"Argument REG=4294967296 does not fit its range 0..4294967295\n"},
         {0, 1, 1, 1, 1, 1, 1, 1}},
        {"DEVICE=Wexal FILE=" + support::Bracketed(Dir().File("wide3.txt")), kRunFailed, {"Argument REG[2]=100 does not fit its range 0..255\n"},
         {0, 1, 1, 1, 1, 1, 1, 1}},
        {"DEVICE=Wexal FILE=" + support::Bracketed(Dir().File("wide4.txt")), kRunFailed, {"Argument REG=-1 does not fit its range 0..4294967295\n"},
         {0, 1, 1, 1, 1, 1, 1, 1}},
        {"DEVICE=Wexal FILE=" + support::Bracketed(Dir().File("widehz.txt")), kRunFailed,
         {"Argument FREQUENCY=4294967296 does not fit its range 0..4294967295\n"}, {0, 1, 1, 1, 1, 1, 1, 1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments);
        std::string out;
        EXPECT_EQ(Run("Brimola1 <CBrimolaBoard I2C Clock " + row.arguments + " VERBOSE=0>", &out), row.result);
        for (const std::string& text : row.text) EXPECT_TRUE(HasAll(out, {text}));
        EXPECT_EQ(out.find("Reg[") != std::string::npos, row.result == kRunPassed);
        EXPECT_EQ(ClockRegisters("Brimola1", "CLOCK1"), row.clock1);
    }
    EXPECT_EQ(nuxa.Run("Nuxa1 <CNuxaBoard I2C Clock DEVICE=Wexal MODE=40,100Mhz>"), kRunPassed);
    EXPECT_TRUE(nuxa.out.Has("DevSettings[1].szSetting(40,100Mhz)"));
    support::ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}], "faults": [{"kind": "missing_space", "board": "Brimola1", "space": "CLOCK2"}]})");
    EXPECT_EQ(brimola.Run("Brimola1 <CBrimolaBoard I2C Clock DEVICE=Sorbelin MODE=40,100Mhz>"), kRunFailed);
    EXPECT_TRUE(brimola.out.HasColoured("Could not GetSpace( CLOCK2 )\n", kColorRed));
}

TEST_F(RootKeywords, ShowVPDInformationPrintsTheFieldsOfTheBoard) {
    const std::string kLong(100, 'Q');
    support::ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "vpd": {"ZE": ")" + kLong +
                           R"("}}, {"tag": "Nuxa1", "kind": "nuxa"}, {"tag": "Brimola2", "kind": "brimola"}],
        "faults": [{"kind": "vpd_missing_field", "board": "Nuxa1", "field": "ZB"}, {"kind": "vpd_broken", "board": "Brimola2", "part": "checksum"}]})");
    struct Row { const char* command; DWORD result; size_t lines; std::vector<std::string> has, hasNot; };
    const Row rows[] = {
        {"Brimola1 <CBrimolaBoard Show VPD Information>", kRunPassed, 19,
         {"Serial Number:\t\t\t\tBRM0000001\n", "Part Number:\t\t\t\t\t0418-27604-01\n", "OXD Prefix Tag:\t\t\t\t" + kLong.substr(0, 79) + "\n"},
         {"V0:", kLong.substr(0, 80)}},
        {"Nuxa1 <CNuxaBoard Show VPD Information>", kRunPassed, 20, {"V3:\t\t\tFESK0202\n", "V4:\t\t\tFESK0202\n"}, {"Major Revision"}},
        {"Brimola2 <CBrimolaBoard Show VPD Information>", kRunFailed, 0, {}, {}},
        {"Brimola1 <CBrimolaBoard Show VPD Information now>", kRunFailed, 0, {"Not recognized as a valid test"}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        std::string out;
        EXPECT_EQ(Run(std::string(row.command), &out), row.result);
        EXPECT_EQ(support::Count(out, ":\t"), row.lines);
        for (const std::string& text : row.has) EXPECT_TRUE(HasAll(out, {text}));
        for (const std::string& text : row.hasNot) EXPECT_EQ(out.find(text), std::string::npos) << text;
    }
}

TEST_F(RootKeywords, ShowDeviceTemperaturesMarksRowsAboveTheirSetPoint) {
    support::ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "sensors": {"fpga_temp_c": 85,
        "local_temp_c": -5, "remote3_temp_c": 50, "remote3_temp_limit_c": 49}},
        {"tag": "Nuxa1", "kind": "nuxa"}, {"tag": "Brimola2", "kind": "brimola"}],
        "faults": [{"kind": "sensor_over_limit", "board": "Nuxa1", "sensor": "2TEMP", "by": 1},
                   {"kind": "missing_space", "board": "Brimola2", "space": "I2C.TSENSOR"}]})");
    struct Row { const char* command; std::vector<std::pair<std::string, COLORREF>> lines; };
    const Row rows[] = {
        // Equal is black, one above red, a negative reading (251 as a byte) red.
        {"Brimola1 <CBrimolaBoard \"Show Device Temperatures\" PEAK=0>",
         {{"    Local\t70 C\t\t251 C\n", kColorRed}, {"    Wexal\t85 C\t\t85 C\n", kColorBlack},
          {"SulvethA\t49 C\t\t50 C\n", kColorRed}, {"           T-Crit: 0x00000064\n", kColorBlack}}},
        {"Nuxa1 <CNuxaBoard \"Show Device Temperatures\">",
         {{"SorbelinA\t85 C\t\t86 C\n", kColorRed}, {"SorbelinB\t85 C\t\t42 C\n", kColorBlack}}},
        {"Brimola2 <CBrimolaBoard \"Show Device Temperatures\">",
         {{"    Local\t0 C\t\t0 C\n", kColorBlack}, {"Could not GetSpace( I2C.TSENSOR )\n", kColorRed}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        EXPECT_EQ(Run(row.command), kRunPassed);
        const support::OutputLog& out = row.command[0] == 'N' ? nuxa.out : brimola.out;
        for (const auto& [line, colour] : row.lines) EXPECT_TRUE(out.HasColoured(line, colour)) << line;
    }
    EXPECT_EQ(Run("Nuxa1 <CNuxaBoard \"Show Device Temperatures\" PEAK=1>"), kRunFailed);  // exact on the codec board
    brimola.out = {};
    EXPECT_EQ(brimola.ShowDeviceTemperatures("", 0), kRunPassed);
    EXPECT_TRUE(HasAll(brimola.out.text, {"SulvethA\t0 C\t\t0 C\n\n"}));  // Brimola2 still
    EXPECT_FALSE(brimola.out.Has("Registers:"));  // not at verbosity 0
    // PEAK=1 on the main board runs the peak monitor instead, in the mode UNIQUE= gives (a byte of
    // 251 is a reading of 200 or more: the loop ends at once).
    platform::ScriptedDialogRunner runner;
    platform::SetDialogRunner(&runner);
    for (const auto& [unique, peaksShown] : {std::pair{"UNIQUE=1", true}, std::pair{"", false}}) {
        runner.Push({"begin", "end", "close"});
        std::string out;
        EXPECT_EQ(Run(std::string("Brimola1 <CBrimolaBoard \"Show Device Temperatures\" PEAK=1 VERBOSE=0 ") + unique + ">", &out), kRunPassed);
        EXPECT_EQ(out, "");
        const std::string after = runner.History().back().after.str();
        EXPECT_TRUE(HasAll(after, {"Text:\nLocal temp reading > 200\r\r\n"}));
        EXPECT_EQ(after.find("Local:  0") != std::string::npos, peaksShown);  // the peaks of mode 1
    }
    platform::SetDialogRunner(nullptr);
}

TEST_F(RootKeywords, InitPexanoRunsTheProgramBesideTheHost) {
    // A stand-in that keeps its arguments and exits with the code it is told.
    const std::string program = Dir().Write("InitPexano", "#!/bin/sh\necho \"$@\" > args.txt\nexit ${PEXANO_INIT_EXIT:-0}\n");
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    struct Row { const char* command; const char* switches; const char* exitCode; DWORD result; std::string arguments; DWORD initWord; };
    const Row rows[] = {
        {"Brimola1 <CBrimolaBoard InitPexano>", "", "0", kRunPassed, "-c -v", 2},
        {"Brimola1 <CBrimolaBoard InitPexano>", "-ENGINEERING", "0", kRunPassed, "-c -v -p " + Dir().Path() + "/TestData", 2},
        {"Nuxa1 <CNuxaBoard InitPexano X=1>", "", "0", kRunPassed, "-b -v", 0},
        {"Brimola1 <CBrimolaBoard InitPexano>", "", "3", kRunFailed, "-c -v", 0},
        {"Brimola1 <CBrimolaBoard InitPexano>", "", nullptr, kRunFailed, "", 0},  // no program: -1
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command + std::string(row.switches));
        Dir().Write("CmdLine", std::string("pexhost ") + row.switches);
        std::filesystem::remove(Dir().File("args.txt"));
        if (!row.exitCode) std::filesystem::remove(program);
        setenv("PEXANO_INIT_EXIT", row.exitCode ? row.exitCode : "0", 1);
        for (const char* board : {"Brimola1", "Nuxa1"}) support::RigBoard(board)->GetRegisters()[0x40060 / 4] = 0;
        std::string out;
        EXPECT_EQ(Run(row.command, &out), row.result);
        EXPECT_EQ(Dir().Read("args.txt"), row.arguments.empty() ? "" : row.arguments + "\n");
        const std::string code = row.exitCode ? row.exitCode : "-1";
        EXPECT_EQ(out.find("InitPexano _SPAWNL returned " + code) != std::string::npos, row.result != kRunPassed);
        EXPECT_EQ(static_cast<DWORD>(support::RigBoard(std::string(row.command).substr(0, std::string(row.command).find(" ")).c_str())->GetRegisters()[0x40060 / 4]), row.initWord);
    }
    unsetenv("PEXANO_INIT_EXIT");
}

TEST_F(RootKeywords, DisplayRevShowsTheImageRevision) {
    std::string header = std::string("ZORV.OXD") + std::string("\0\0\0\x40", 4) + std::string(32, ' ') + "N:NOREV;B:X;";
    Dir().Write("NOREV.OXD", header + std::string(64 - header.size(), ';') + "data");
    Dir().Write("text.oxd", "not an image");
    struct Row { std::string command; DWORD result; const char* text; COLORREF colour; };
    const Row rows[] = {
        {"Brimola1 <CBrimolaBoard Display Rev FILE=$(CWD)\\testdata\\HUXO0202.oxd>", kRunPassed, "testdata/HUXO0202.oxd Revision[0202]\n", kColorGreen},
        {"Nuxa1 <CNuxaBoard Display Rev FILE=" + support::Bracketed(Dir().File("norev.oxd")) + ">", kRunPassed, "NOREV.OXD Revision[Unknown]\n", kColorGreen},
        // Images of the board's FPGAs are found by their tests, which know the revision.
        {"Brimola1 <CBrimolaBoard Display Rev FILE=$(CWD)\\testdata\\VOKB$(VPDVER).oxd>", kRunPassed, "testdata/VOKB0202.oxd Revision[0202]\n", kColorGreen},
        {"Nuxa1 <CNuxaBoard Display Rev FILE=$(CWD)\\testdata\\FESK$(VPDVER).oxd>", kRunPassed, "testdata/FESK0202.oxd Revision[0202]\n", kColorGreen},
        {"Brimola1 <CBrimolaBoard Display Rev FILE=" + support::Bracketed(Dir().File("text.oxd")) + ">", kRunFailed, "ERROR:  Unrecognized file[", kColorRed},
        {"Brimola1 <CBrimolaBoard Display Rev>", kRunFailed, "ERROR:  FILE= not specified on the command line.\n", kColorRed},
        {"Nuxa1 <CNuxaBoard Display Rev FILE=$(CWD)\\$(ZYVPKG)>", kRunPassed, "] date[0]\n", kColorGreen},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        EXPECT_EQ(Run(row.command), row.result);
        EXPECT_TRUE((row.command[0] == 'N' ? nuxa.out : brimola.out).HasColoured(row.text, row.colour));
    }
    std::string out;
    EXPECT_EQ(Run("Brimola1 <CBrimolaBoard Display Rev FILE=" + support::Bracketed(Dir().File("none.oxd")) + ">", &out), kRunFailed);
    EXPECT_EQ(out.find("ERROR"), std::string::npos);  // not found: silent
}

// The example lines of a help page: the rest of a line naming "Example:" or "Examples:", and the
// indented lines after it up to a blank line.
std::vector<std::string> HelpExamples(const std::string& help) {
    std::vector<std::string> examples;
    size_t at = help.find("Example");
    if (at == std::string::npos) return examples;
    at = help.find(':', at) + 1;
    auto trim = [](std::string line) {
        line.erase(0, line.find_first_not_of(" \t"));
        line.erase(line.find_last_not_of(" \t\r") + 1);
        return line;
    };
    for (bool first = true; at < help.size(); first = false) {
        size_t end = help.find('\n', at);
        if (end == std::string::npos) end = help.size();
        const std::string line = help.substr(at, end - at);
        if (!first && (line.empty() || (line[0] != ' ' && line[0] != '\t'))) break;
        if (!trim(line).empty()) examples.push_back(trim(line));
        else if (!first) break;
        at = end + 1;
    }
    return examples;
}

TEST_F(RootKeywords, EveryExampleOfAHelpPageRunsInTheProgramFolder) {
    // The program folder holds what the build delivers (testdata/ beside the program), on the
    // default rig. prefix: what the example line is preceded by to make the command.
    struct Row { const char* test; const char* prefix; size_t count; };
    const Row rows[] = {{"Flash", "Flash ", 2}, {"MemTestA", "", 2}, {"MemTestB", "", 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.test);
        support::TakeText();
        brimola.Help(("Brimola1 <" + std::string(row.test) + " >").c_str());
        const std::string help = brimola.out.text + support::TakeText();
        const std::vector<std::string> examples = HelpExamples(help);
        EXPECT_EQ(examples.size(), row.count) << help;
        for (const std::string& example : examples) {
            std::string out;
            // As a tree leaf writes it: a blank ends the test name when no argument follows.
            EXPECT_EQ(Run(std::string("Brimola1 <") + row.prefix + example + " >", &out), kRunPassed) << example << "\n" << out;
            EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;
        }
    }
    // The stand-alone DCB display names itself in its example; the host gives the board.
    support::Recording<CTestDCB> dcb;
    dcb.Help("");
    const std::vector<std::string> examples = HelpExamples(dcb.out.text);
    ASSERT_EQ(examples.size(), 1u) << dcb.out.text;
    ASSERT_EQ(examples[0].rfind("DispDCB ", 0), 0u);
    EXPECT_EQ(dcb.Run(("Brimola1 " + examples[0].substr(8)).c_str()), kRunPassed) << dcb.out.text;
}

}  // namespace

// Every test's numbers go through one reader: a value its field cannot hold (past 2^31, 2^32 or
// 2^63, or negative where only a count fits) gets the test's own range message or a red line
// naming it, result 2, and nothing runs (the marker of the first step never shows). The edge
// values still run.
TEST_F(RootKeywords, NumbersThatDoNotFitTheirFieldAreRefusedBeforeAnythingRuns) {
    const std::string intRange = " does not fit its range -2147483648..2147483647\n";
    const std::string wordRange = " does not fit its range 0..4294967295\n";
    const std::string frames = "Number of frames must be between 1 and 15.";
    struct Row { std::string command; DWORD result; std::vector<std::string> parts; const char* ranMarker; };
    const Row rows[] = {
        // The breakout box: each of these used to run on the 32-bit cut (or crash on frames 0).
        {"Brimola1 <CNulk Internal Loopback Images DIM=(64,64) FRAMES=4294967296>", kRunFailed, {frames}, "Test Nulk Images"},
        {"Brimola1 <CNulk Internal Loopback Images DIM=(64,64) FRAMES=-8589934592>", kRunFailed, {frames}, "Test Nulk Images"},
        {"Brimola1 <CNulk Internal Loopback Images DIM=(64,64) FRAMES=4294967297 SEQUENCE=I...>", kRunFailed, {frames}, "Test Nulk Images"},
        {"Brimola1 <CNulk Internal Loopback Images DIM=(64,64) FRAMES=18446744073709551617>", kRunFailed, {frames}, "Test Nulk Images"},
        {"Brimola1 <CableLoopback Loopback Images DIM=(64,64) FRAMES=4294967296>", kRunFailed, {frames}, "Test CableLoopback Images"},
        {"Brimola1 <CBexi Loopback Images FRAMES=4294967297>", kRunFailed, {"Number of frames must be between 1 and 13."}, "Test Bexi Images"},
        {"Brimola1 <CNulk Internal Loopback Images DIM=(4294967360,64)>", kRunFailed,
         {"Argument DIM=(4294967360,64)" + intRange}, "Test Nulk Images"},
        {"Brimola1 <CNulk Internal Loopback Images DIM=(64,-2147483649)>", kRunFailed,
         {"Argument DIM=(64,-2147483649)" + intRange}, "Test Nulk Images"},
        {"Brimola1 <CNulk Internal Loopback Images DIM=(16,8) VERBOSE=2147483648>", kRunFailed, {"Argument VERBOSE=2147483648" + intRange}, "Test Nulk Images"},
        {"Brimola1 <CNulk Internal Loopback Images DIM=(16,8) BVI=4294967296>", kRunFailed, {"Argument BVI=4294967296" + intRange}, "DST Image"},
        {"Brimola1 <CNulk Internal Loopback Images DIM=(16,8) FORCEUPDATE=4294967297>", kRunFailed, {"FORCEUPDATE must be 0 or 1\n"}, "FORCEUPDATE=1"},
        {"Brimola1 <CNulk Internal Loopback Images DIM=(16,8) FORCESTALL=4294967298>", kRunFailed, {"FORCESTALL must be 0, 1 or 2\n"}, "FORCESTALL=2"},
        {"Brimola1 <CNulk Loopback Functional SRCADDR=0x100000000>", kRunFailed, {"Argument SRCADDR=0X100000000" + wordRange}, "DMA BOB"},
        {"Brimola1 <CNulk Loopback Functional DATASIZE=0x100004000>", kRunFailed, {"Argument DATASIZE=0X100004000" + wordRange}, "DMA BOB"},
        {"Brimola1 <CNulk Loopback Functional DSTADDR=0x8000000000000000>", kRunFailed, {"Argument DSTADDR=0X8000000000000000" + wordRange}, "DMA BOB"},
        {"Brimola1 <CNulk Loopback Functional BVI=-2147483649>", kRunFailed, {"Argument BVI=-2147483649" + intRange}, "DMA BOB"},
        {"Brimola1 <CNulk Test Yorb Command ENABLE=4294967296>", kRunFailed, {"Argument ENABLE=4294967296" + intRange}, "video loopback"},
        // The main board's own tests.
        {"Brimola1 <CWexal Video Utility Client:YCbCr_8bit Image FRAMES=4294967297>", kRunFailed, {frames}, "IMAGE="},
        {"Brimola1 <CWexal Video Utility Client:YCbCr_8bit Image DIM=(4294967360 ,64)>", kRunFailed,
         {"Argument DIM=(4294967360 ,64)" + intRange}, "IMAGE="},
        {"Brimola1 <CWexal Random Memory Test ABORTCOUNT=4294967297>", kRunFailed, {"Argument ABORTCOUNT=4294967297" + intRange}, "Random"},
        {"Brimola1 <CWexal March Memory Test EndAddress=100000000>", kRunFailed, {"Argument EndAddress=100000000" + wordRange}, "March Memory Test Failed"},
        {"Brimola1 <CWexal Clear Memory SIZE=65536 ADDRESS=0x100000000 VALUE=0x0>", kRunFailed, {"ADDRESS parameter not 0x"}, "Unable to write"},
        {"Brimola1 <CWexal Clear Memory SIZE=65536 ADDRESS=0x0 VALUE=0x100000001>", kRunFailed, {"VALUE parameter not 0x"}, "Unable to write"},
        {"Brimola1 <CWexal Clear Memory SIZE=4294967296 ADDRESS=0x0 VALUE=0x1>", kRunFailed, {"SIZE parameter not"}, "Unable to write"},
        {"Brimola1 <CWexal CRC ADDRESS=0x0 SIZE=0x100010000>", kRunFailed, {"ERROR:  Unable to interpret SIZE.\n"}, "CRC"},
        {"Brimola1 <CWexal Flush DMA CHANNEL=4294967308>", kRunFailed, {"ERROR:  CHANNEL=4294967308 is not a DMA channel (0 to 63)\n"}, "Flush"},
        {"Brimola1 <CWexal Flush DMA CHANNEL=-1>", kRunFailed, {"ERROR:  CHANNEL=-1 is not a DMA channel (0 to 63)\n"}, "Flush"},
        {"Brimola1 <mem_clk Set Clock CLK=4294967456>", kRunFailed, {"Invalid Clock Setting\n"}, "Clock set"},
        {"Brimola1 <Tcl TclCommand echo ready ABORTCOUNT=4294967296>", kRunFailed, {"Argument ABORTCOUNT=4294967296" + intRange}, "ready"},
        {"Brimola1 <SCRport KZ-Version VERBOSE=4294967297>", kRunFailed, {"Argument VERBOSE=4294967297" + intRange}, "Version"},
        {"Brimola1 <SCRport KZ-ShowDMA-B Channel=4294967308>", kRunFailed, {"Channel= must be a channel number from 0 to 63\n"}, "Control:"},
        {"Brimola1 <CKerzil Bypass:Image:Unpacked CHANNEL=A FRAMES=4294967297>", kRunFailed, {frames}, "IMAGE="},
        {"Brimola1 <CKerzil Bypass:Image:Unpacked CHANNEL=A DIM=(64,4294967360)>", kRunFailed, {"Argument DIM=(64,4294967360)" + intRange}, "IMAGE="},
        {"Brimola1 <CKerzil \"Bypass:Image:Unpacked\" CHANNEL=A DIM=(64,64) FORCEUPDATE=4294967297>", kRunFailed, {"FORCEUPDATE must be 0 or 1\n"}, "FORCEUPDATE=1"},
        {"Nuxa1 <CNuxaBoard FileMap NAME=RUN VERBOSE=4294967296>", kRunFailed, {"Argument VERBOSE=4294967296" + intRange}, "LogFile"},
        // The board roots' own numbers: a byte pattern, a fill word, DCB fields.
        {"Brimola1 <MemTestA 0x1C7>", kRunFailed, {"Argument bParam=0x1C7 does not fit its range 0..255\n"}, "Writing 0x"},
        {"Nuxa1 <MemTestA 18446744073709551815>", kRunFailed, {"Argument bParam=18446744073709551815 does not fit its range 0..255\n"},
         "Writing 0x"},
        {"Nuxa1 <CNuxaBoard Specify DWord 0x123456789>", kRunFailed,
         {"Argument Specify DWord=0x123456789" + wordRange}, "Not recognized"},
        {"Nuxa1 <CNuxaBoard Increment XOR 0x10000000000000000>", kRunFailed,
         {"Argument Increment XOR=0x10000000000000000" + wordRange}, "Not recognized"},
        {"Nuxa1 <CNuxaBoard \"Save Image\" ADDRESS=@DCB(PACKER, DEVICEA, 4294967297, 1) DIM=(16,8) FILE=p.img>", 0,
         {"DCB Field #3:  Illegal value for dcbStart.\n"}, "Wexal Address"},
        {"Nuxa1 <CNuxaBoard \"Save Image\" ADDRESS=@DCB(PACKER, DEVICEA, 1, 18446744073709551617) DIM=(16,8) FILE=p.img>", 0,
         {"DCB Field #4:  Illegal value for dcbCount.\n"}, "Wexal Address"},
        {"Brimola1 <SulvethLoop PPA DIM=4294967360,64>", kRunFailed, {"Error: Unrecognized parameter: \"DIM=4294967360,64\".\n"}, "PASS"},
        {"Brimola1 <SulvethLoop PPA DIM=64,0x100000040>", kRunFailed, {"Error: Unrecognized parameter: \"DIM=64,0x100000040\".\n"}, "PASS"},
        {"Brimola1 <CBrimolaWemp Play FRAMES=4294967296>", kRunFailed, {"Number of frames must be between less than 15."}, "Test BrimolaWemp"},
        {"Brimola1 <CVantrelCodec \"Over the top\" Src=Brimola Seed=0x00000001 Incr=0x00000001 Size=0x100200000 BitsPerPixel=8 Format=4:2:2>",
         kRunFailed, {"Argument Size=0X100200000" + wordRange}, "DMA WexalAddr"},
        {"Brimola1 <CWexal \"Host Transfer:Unpacked Image\" FRAMES=2 ADDRESS=0x100001000>", kRunFailed,
         {"Wexal address on command line is not in the format 0xFCE32BA0.\n"}, "Write wexal address"},
        {"Brimola1 <CWexal \"Host Transfer:Unpacked Image\" RETRYREAD=4294967297>", kRunFailed, {"Argument RETRYREAD=4294967297" + intRange}, "Write wexal address"},
        {"Brimola1 <CWexal \"Save BMP Image\" ADDRESS=@DCB(4294967353,1,1) DIM=(720,486) FILE=W%d.bmp FORMAT=Image:YCbCr_8bit>", kRunFailed,
         {"Argument DCB=4294967353" + intRange}, "DCB Channel:"},
        {"Brimola1 <CBrimolaBoard Program DEVICE=4294967297 FILE=$(CWD)\\testdata\\TAZU$(VPDVER).oxd>", kRunFailed,
         {"Argument DEVICE=4294967297" + intRange}, "bit did not go"},
        {"Brimola1 <CWexal \"DMA Memory Test\" Addr=0x00000000 ChWrite=16 ChRead=12 Size=4294971392 Burst=131072 Seed=0x12345678 Incr=0x00000001>",
         kRunFailed, {"Argument Size=4294971392" + intRange}, "DMA PCI Memory Test"},
        // The codec board.
        {"Nuxa1 <CSorbelinPackerA Video:Image FRAMES=4294967297>", kRunFailed, {frames}, "IMAGE="},
        {"Nuxa1 <CSorbelinPackerA Video:Image DIM=(4294967360,64)>", kRunFailed, {"Argument DIM=(4294967360,64)" + intRange}, "IMAGE="},
        {"Nuxa1 <CSorbelinUnpackerA Video:Image FRAMES=-4294967295>", kRunFailed, {frames}, "IMAGE="},
        {"Nuxa1 <CSorbelinUnpackerA Video:Image DIM=(9223372036854775808,64)>", kRunFailed,
         {"Argument DIM=(9223372036854775808,64)" + intRange}, "IMAGE="},
        {"Nuxa1 <CSorbelinUnpackerA \"Test Wexal Memory\" ADDRESS=0x100001000 DIM=(16,8)>", kRunFailed,
         {"Wexal address on command line is not in the format 0xFCE32BA0.\n"}, "Wexal Address"},
        {"Nuxa1 <CSorbelinUnpackerA \"Save Image\" ADDRESS=0x100001000 DIM=(16,8) FILE=unpacked.img>", kRunFailed,
         {"Argument ADDRESS=0x100001000" + wordRange}, "Wexal Address"},
        {"Nuxa1 <CSorbelinPackerA \"Save Image\" ADDRESS=0x100001000 DIM=(16,8) FILE=packed.img>", kRunFailed,
         {"Argument ADDRESS=0x100001000" + wordRange}, "Wexal Address"},
        {"Nuxa1 <CSorbelinPackerA \"Save Image\" ADDRESS=0x1000 DIM=(16,8) FILE=packed.img FORMAT=4294967296>", kRunFailed,
         {"Argument FORMAT=4294967296" + intRange}, "Wexal Address"},
        {"Nuxa1 <CSorbelinUnpackerA \"MemBist Range\" DRAM=64 RANGE=(0x100000010,0x20)>", kRunFailed,
         {"RANGE values must not be above 0xFF\n"}, "LogFile"},
        {"Nuxa1 <CSorbelinUnpackerA \"MemBist Scan\" DRAM=64 RETRY=4294967297>", kRunFailed, {"Argument RETRY=4294967297" + intRange}, "Phase"},
        {"Nuxa1 <CSorbelinPackerA \"Save Image\" ADDRESS=@DCB(4294967308,13,1) DIM=(16,8) FILE=packed.img>", kRunFailed,
         {"Argument DCB=4294967308" + intRange}, "Wexal Address"},
        {"Nuxa1 <CSorbelinUnpackerA \"Save Image\" ADDRESS=@DCB(12, 13, 4294967297) DIM=(16,8) FILE=unpacked.img>", kRunFailed,
         {"Argument DCB=4294967297" + intRange}, "Wexal Address"},
        {"Nuxa1 <CSorbelinEncoderA Encode FRAMES=-1>", kRunFailed, {"Argument FRAMES=-1" + wordRange}, "Encod"},
        // The edges of the fields still run.
        {"Brimola1 <CNulk Loopback Functional VERBOSE=-2147483648 SRCADDR=0x0 DATASIZE=0x0000000000004000>", kRunPassed,
         {"DATASIZE=0x00004000 PASSED"}, "does not fit"},
        {"Brimola1 <CNulk Internal Loopback Images DIM=(16,8) FRAMES=15>", kRunPassed, {"PASS:"}, "Number of frames"},
        // MemTestA's byte is held to its field as the list reader reads it: "0x" is hexadecimal, but
        // "0X" is the decimal 0 and text, so the 0 pattern runs whatever digits follow.
        {"Brimola1 <MemTestA 0xC7>", kRunPassed, {"Writing 0xAA passed\nWriting 0xC7 passed\nWriting 0x38 passed\n"}, "does not fit"},
        {"Brimola1 <MemTestA 0XC7>", kRunPassed, {"Writing 0xAA passed\nWriting 0x00 passed\nWriting 0xFF passed\n"}, "Writing 0xC7"},
        {"Brimola1 <MemTestA 0X1C7>", kRunPassed, {"Writing 0xAA passed\nWriting 0x00 passed\nWriting 0xFF passed\n"}, "does not fit"},
    };
    for (const Row& row : rows) {
        std::string out;
        EXPECT_EQ(Run(row.command, &out), row.result) << row.command << "\n" << out;
        EXPECT_TRUE(HasAll(out, row.parts)) << row.command;
        // The root echoes the command first; the marker is looked for in what the test printed.
        const size_t echo = out.find(" ---\n");
        const std::string printed = echo == std::string::npos ? out : out.substr(echo + 5);
        EXPECT_EQ(printed.find(row.ranMarker), std::string::npos) << row.command << "\n" << out;
    }
}

// Arguments at the ends of their fields, where a size, count or step meets an address: each leaf
// fails with its red reason (or runs within the board), nothing wraps or overflows (the sanitizer
// build stays quiet), and the next leaf runs as before.
TEST_F(RootKeywords, ExtremeSizesAndAddressesFailWithAReasonAndTheNextLeafRuns) {
    struct Row { std::string command; DWORD result; const char* reason; };
    const std::string beyond = " is beyond the board's memory (0x20000000 bytes).\n";
    const Row rows[] = {
        {"Brimola1 <CWexal Dump Memory SIZE=2147483647 ADDRESS=0xFFFFFFFF FORMAT=8BIT>", kRunFailed, "ERROR:  ADDRESS 0xFFFFFFFF + SIZE 0x7FFFFFFF"},
        {"Brimola1 <CWexal Dump Memory SIZE=2147483632 ADDRESS=0x00000000 FORMAT=32BIT>", kRunFailed, beyond.c_str()},
        {"Brimola1 <CWexal Clear Memory SIZE=2147483644 ADDRESS=0xFFFFFFFC VALUE=0xFFFFFFFF>", kRunFailed, beyond.c_str()},
        {"Brimola1 <CWexal CRC ADDRESS=0xFFFFFFFF SIZE=0xFFFFFFFF>", kRunFailed, beyond.c_str()},
        {"Brimola1 <CWexal March Memory Test StartAddress=0xFFFFFFFC EndAddress=0xFFFFFFFC>", kRunFailed,
         "End Address greater than memory on card\n"},
        {"Brimola1 <CWexal \"DMA Memory Test\" Seed=0xFFFFFFFF Incr=0xFFFFFFFF Mode=Sequence Addr=0xFFFFF000 ChWrite=16 ChRead=12 "
         "Size=2147483647 Burst=8388608>", kRunFailed, "is beyond the memory on the card\n"},
        {"Brimola1 <CWexal \"Host Transfer:Unpacked Image\" DIM=(2147483647,2147483647) ADDRESS=0xFFFFFFFF>", kRunFailed, "DIM=("},
        {"Brimola1 <CWexal \"Host Transfer:Packed Image\" DIM=(720,486) FRAMES=15 ADDRESS=0xFFFFF000>", kRunFailed,
         "Unsufficient memory for 15 packed frames\n"},
        {"Brimola1 <CWexal \"Host Transfer:Packed Image\" DIM=(65535,65535) FRAMES=15 ADDRESS=0xFFFFF000>", kRunFailed,
         "Unable to allocate an image of DIM=(65535,65535)\n"},
        {"Brimola1 <CWexal \"Video Utility Client:YCbCr_8bit Image\" DIM=(2147483647,2147483647) FRAMES=15>", kRunFailed, "DIM=("},
        {"Brimola1 <CWexal \"Save BMP Image\" ADDRESS=@DCB(2147483647,2147483647,2147483647) DIM=(2147483647,2147483647) "
         "FILE=x%d.bmp FORMAT=Image:YCbCr_8bit>", kRunFailed, "Unable to read DCB 2147483647 of channel 2147483647\n"},
        // The range is held to 32 bits and the block mask, as the test's range reading does: the last block.
        {"Brimola1 <RAMblock RAMblockWR 0xFFFFFFFFFFFFFFFF-0xFFFFFFFFFFFFFFFF>", kRunPassed, "Pass\n"},
        {"Brimola1 <mem_clk Clock Test MIN=-2147483648 MAX=2147483647 CMD=(CWexal Random Memory Test VERBOSE=0)>", kRunFailed,
         "MIN_VALUE must not be less than 90\n"},
        {"Brimola1 <CWexal Flush DMA CHANNEL=2147483647>", kRunFailed, "ERROR:  CHANNEL=2147483647 is not a DMA channel (0 to 63)\n"},
        {"Nuxa1 <CNuxaBoard \"Save Image\" ADDRESS=@DCB(PACKER, DEVICEA, 15, 2147483647) FILE=p.img>", 0,
         "DCB Field #4:  Illegal value for dcbCount.\n"},
    };
    for (const Row& row : rows) {
        std::string out;
        EXPECT_EQ(Run(row.command, &out), row.result) << row.command << "\n" << out;
        EXPECT_TRUE(HasAll(out, {row.reason})) << row.command;
        EXPECT_EQ(Run("Brimola1 <CWexal Random Memory Test VERBOSE=0>"), kRunPassed) << "after " << row.command;
    }
    EXPECT_FALSE(std::filesystem::exists(Dir().File("x1.bmp")));
}
