// Tests of the passthru loopbacks: FORMSEQ, the transfer geometry, VantrelLoop's arguments and set-up, the help pages, and both tests on healthy and faulty rigs.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/result_screen.h"
#include "tests/boards/root_fixture.h"
#include "tests/support/stop_flag.h"
#include "videopath/passthru_loopback.h"

namespace {

using namespace support;

using VantrelLoop = Recording<CVantrelLoopbackTest>;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(FormatSequence, KeepsTheLettersAToDInOrderAndRunsAtMostSixteen) {
    const struct { const char* text; const char* value; int formats; } rows[] = {
        {"FORMSEQ=CaX", "ca", 2},
        {"FORMSEQ=xyz", "abcd", 4},
        {"FORMSEQ=\"d-B b\"", "dbb", 3},
        {"FORMSEQ=abcdabcdabcdabcdDCBA", "abcdabcdabcdabcddcba", 16},
    };
    for (const auto& row : rows) {
        ArgListFeskFormat formSeq;
        std::string chained;  // what a chained handler sees: the cleaned value
        formSeq.SetPostAssignCB([](ArgListArg* arg, void* seen) {
            *static_cast<std::string*>(seen) = static_cast<ArgListFormatSequence*>(arg)->GetString().str();
        }, &chained);
        ArgListArg* table[] = {&formSeq, nullptr};
        ArgumentList list;
        char* leftover = nullptr;
        EXPECT_EQ(list.HandleOptArgs(table, row.text, &leftover), 0) << row.text;
        EXPECT_EQ(formSeq.GetString().str(), row.value) << row.text;
        EXPECT_EQ(chained, row.value) << row.text;
        VantrelLoop out;
        CPassthruLoopbackEngine engine(out, out.GetBoardIF(), LoopbackPort{'A', 59, 37, 8, 0x98000}, "");
        engine.SetSequence(formSeq.GetString());
        EXPECT_EQ(engine.GetFormatCount(), row.formats) << row.text;
    }
}

TEST(LoopbackGeometry, DestinationFollowsTheRoundedSourceAndTheDeadlineTheSize) {
    const struct { DWORD w, h, rounded, destination, deadline; } rows[] = {
        {512, 512, 262144, 0x200000, 33},  // 20 + 262144 / 20000
        {1, 1, 16384, 0x200000, 20},
        {1254, 1254, 1572864, 0x700000, 98},
    };
    for (const auto& row : rows) {
        const LoopbackGeometry g{row.w, row.h};
        EXPECT_EQ(g.RoundedWords(), row.rounded) << row.w;
        EXPECT_EQ(g.Destination(), row.destination) << row.w;
        EXPECT_EQ(g.DeadlineMs(), row.deadline) << row.w;
    }
}

// A fresh rig (the default one unless told) with the host's folder and a main-board root built on it.
struct Station {
    explicit Station(const std::string& rig = "") {
        if (!rig.empty()) scoped = std::make_unique<ScopedRig>(rig);
        root = std::make_unique<Recording<CBrimolaBoardTests>>("CBrimolaBoard");
        TakeText();
    }
    // Loads every FPGA the tree's "Program FPGAs" folder loads; false when one failed.
    bool ProgramAll() {
        bool all = true;
        for (int d = 0; d < 5; ++d) all = root->Run(ProgramLine(d).c_str()) == kRunPassed && all;
        TakeText();
        return all;
    }
    DWORD Sulveth(const std::string& arguments, std::string& text) {
        const DWORD result = root->Run(("Brimola1 <SulvethLoop " + arguments + ">").c_str());
        text = root->out.text + TakeText();
        return result;
    }
    HostFolder host;
    std::unique_ptr<ScopedRig> scoped;
    std::unique_ptr<Recording<CBrimolaBoardTests>> root;
};

DWORD RamRegister(const char* tag) { return RigBoard(tag)->GetControllerRegisters()[0x18 / 4]; }

TEST(VantrelLoopArguments, EveryMistakeEndsTheRunBeforeAnyRegisterIsWritten) {
    Station station;
    const struct { const char* command; std::string text; } rows[] = {
        {"Brimola1", "The second parameter is missing.  An expansion port letter\n(A or B) must be specified."},
        {"Brimola1 Brimola1 A", "The first two parameters specify the same device.  When\ntwo Pexano boards"},
        {"Brimola1 Nuxa1", "The third parameter is missing.  It must be an expansion\nport letter (A or B).\n"},
        {"Brimola1 C", "The second parameter is \"C\".  It must be an expansion\n port letter (\"A\" or \"B\").\n"},
        {"Brimola1 Nuxa1 AB", "The third parameter is \"AB\".  It must be an expansion\n port letter"},
        {"Brimola1 A FORMSQ=c", "Error: Unrecognized parameter: \"~*RED*~FORMSQ=c~*BLACK*~\".\n"},
        {"Brimola9 A", "Selected device (Brimola9) has not been found.\n"},
    };
    const DWORD ram = RamRegister("Brimola1");
    for (const auto& row : rows) {
        VantrelLoop test;
        EXPECT_EQ(test.Run(row.command), kRunFailed) << row.command;
        EXPECT_TRUE(test.out.Has(row.text)) << row.command << "\n" << test.out.text;
        EXPECT_FALSE(test.out.Has("loop back test")) << row.command;
        EXPECT_EQ(RamRegister("Brimola1"), ram) << row.command;
    }
}

TEST(VantrelLoopSetUp, AnUnloadedFpgaLeavesEveryFormatUntestedAndTheRegistersRestored) {
    Station station;
    const DWORD ram = RamRegister("Brimola1");
    VantrelLoop test;
    // A one-letter second word is the channel, in either case.
    EXPECT_EQ(test.Run("Brimola1 b FORMSEQ=ca"), kRunFailed);
    EXPECT_TRUE(HasAll(test.out.text, {"~*BLACK*~Vantrel B internal loop back test.\n",
                                       "~*RED*~Error: Vantrel B is not loaded (done==0).\n",
                                       "Test 3 -- Size: 16-bit, Format: 4-2-2 Untested\n",
                                       "Test 1 -- Size: 8-bit, Format: 4-2-2 Untested\n",
                                       "~*RED*~FAILED~*BLACK*~ with ~*RED*~1~*BLACK*~ error(s)\nDONE.\n"}));
    EXPECT_FALSE(test.out.Has("Test #1"));
    EXPECT_EQ(RamRegister("Brimola1"), ram);
}

TEST(LoopbackHelp, PagesShowSyntaxArgumentsAndSequenceBetweenRules) {
    Station station;
    VantrelLoop vantrel;
    vantrel.ShowHelp();
    const std::string rule(72, '=');
    EXPECT_EQ(vantrel.out.text.rfind(rule + "\nVantrelLoop: Wexal/Vantrel loopback test.\n\nCommand syntax: VantrelLoop Board "
                                            "[Board2] Channel [Options]\n", 0), 0u) << vantrel.out.text;
    EXPECT_TRUE(HasAll(vantrel.out.text, {"    DIM=", "    FORMSEQ=seq: Each letter in 'seq' specifies a test data\n",
                                          "    [-]EXTERNAL\n", "Test sequence:\n"}));
    EXPECT_TRUE(vantrel.out.HasColoured(rule, kColorGreen));
    std::string text;
    station.root->Help("Brimola1 <SulvethLoop >");
    text = station.root->out.text + TakeText();
    EXPECT_TRUE(HasAll(text, {rule + "\nSulvethLoop: BaseBoard/Kerzil/Sulveth passthru loopback test.\n\nCommand syntax: "
                                     "SulvethLoop Board Channel [Options]\n", "FORMSEQ=seq", "Test sequence:\n"}));
    EXPECT_FALSE(Has(text, "EXTERNAL"));
}

TEST(SulvethLoopSetUp, MissingChannelAndRefusedGeometryWriteNothing) {
    Station station(R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "sdram_mib": 8}]})");
    std::string text;
    const DWORD ram = RamRegister("Brimola1");
    EXPECT_EQ(station.Sulveth("PPC", text), kRunFailed);
    EXPECT_TRUE(Has(text, "VelkoDrun port letter")) << text;
    // Both regions of the largest DIM end at 13 MiB: past an 8 MiB board.
    EXPECT_EQ(station.Sulveth("PPA DIM=1254,1254", text), kRunFailed);
    EXPECT_TRUE(Has(text, "Error: DIM=1254,1254 needs SDRAM up to 0x00D00000; the board has 0x00800000 bytes.\n")) << text;
    EXPECT_FALSE(Has(text, "loop back test"));
    EXPECT_EQ(RamRegister("Brimola1"), ram);
}

TEST(SulvethLoopSetUp, AFailedDownloadIsCountedAndNotRecordedAsTheCurrentFile) {
    Station station;
    ASSERT_TRUE(station.ProgramAll());
    std::string text;
    const std::string dir = station.host.cwd.Dir().Path();
    station.host.cwd.Dir().MakeDir("img");
    station.host.cwd.Dir().Write("img/TAZU0101.oxd", support::ReadText(dir + "/testdata/TAZU0202.oxd"));
    // A file that is not there is named in one red line, expanded, and the root is not asked; one
    // that does not fit the board's product data is refused by the root.
    const struct { const char* args; std::string line; bool rootAsked; } rows[] = {
        {"PPB FPGA=$(CWD)\\testdata\\TAZU9999.oxd", "ERROR:  FPGA file[" + dir + "/testdata/TAZU9999.OXD] not found.\n", false},
        {"PPB FPGA=$(CWD)\\none\\TAZU$(VPDVER).oxd", "ERROR:  FPGA file[" + dir + "/NONE/TAZU0202.OXD] not found.\n", false},
        {"PPB FPGA=$(CWD)\\img\\TAZU0101.oxd", "ERROR: Sulveth B could not be programmed with " + dir + "/img/TAZU0101.oxd\n", true},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(station.Sulveth(row.args, text), kRunFailed) << row.args;
        EXPECT_TRUE(HasAll(text, {row.line, "Test 1 -- Size: 8-bit, Format: 4-2-2 Untested\n"})) << text;
        EXPECT_EQ(Count(text, "ERROR"), row.rootAsked ? 2u : 1u) << text;  // the root says why it refused
        EXPECT_EQ(Has(text, "Unable to get OXD"), row.rootAsked) << text;
        EXPECT_FALSE(Has(text, "has not been downloaded")) << text;
        EXPECT_EQ(station.root->GetSulvethB()->GetProgrammedFile().FindOneOf("19"), -1) << row.args;
    }
    // The next run finds the image it had and passes.
    EXPECT_EQ(station.Sulveth("PPB FORMSEQ=a", text), kRunPassed) << text;
    EXPECT_FALSE(Has(text, "Program Xilinx"));
}

TEST(LoopbacksOnTheRig, PassOnHealthyPortsInEveryFormat) {
    Station station;
    ASSERT_TRUE(station.ProgramAll());
    std::string text;
    for (const char* channel : {"PPA", "PPB"}) {
        EXPECT_EQ(station.Sulveth(channel, text), kRunPassed) << text;
        EXPECT_TRUE(HasAll(text, {" Initialization Complete.\n", " Test #4: Format 4 of 4 (Size: 16-bit, Format: 4x4)\n",
                                  "4 test formats passed.\n", "PASSED\nDONE.\n"})) << text;
    }
    const char* commands[] = {"Brimola1 A", "Brimola1 B DIM=64,16 FORMSEQ=dc", "Brimola1 Nuxa1 A", "Nuxa1 Brimola1 b",
                              "Brimola1 Nuxa1 B -EXTERNAL"};
    for (const char* command : commands) {
        VantrelLoop test;
        EXPECT_EQ(test.Run(command), kRunPassed) << command << "\n" << test.out.text;
    }
    Station plugged(R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "sdram_mib": 64,
                        "attached": {"codec_port": "loopback", "expansion_port": "loopback"}}]})");
    ASSERT_TRUE(plugged.ProgramAll());
    for (const char* command : {"Brimola1 A EXTERNAL", "Brimola1 B EXTERNAL"}) {
        VantrelLoop test;
        EXPECT_EQ(test.Run(command), kRunPassed) << command << "\n" << test.out.text;
        EXPECT_TRUE(test.out.Has("Vantrel " + std::string(1, command[9]) + " external loop back test.\n"));
    }
}

// With a plug on one port only, the external run of that port passes and the other port's waits
// for its own clock in vain.
TEST(LoopbacksOnTheRig, ExternalRunsWaitForTheirOwnPortsClock) {
    const struct { const char* port; const char* command; DWORD result; } rows[] = {
        {"codec_port", "Brimola1 A EXTERNAL", kRunPassed},
        {"codec_port", "Brimola1 B EXTERNAL", kRunFailed},
        {"expansion_port", "Brimola1 B EXTERNAL", kRunPassed},
        {"expansion_port", "Brimola1 A EXTERNAL", kRunFailed},
    };
    for (const auto& row : rows) {
        Station station(std::string(R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "sdram_mib": 64, "attached": {")") +
                        row.port + R"(": "loopback"}}]})");
        ASSERT_TRUE(station.ProgramAll());
        VantrelLoop test;
        EXPECT_EQ(test.Run(row.command), row.result) << row.port << " " << row.command << "\n" << test.out.text;
        const std::string missing = std::string("cable is not in place on Expansion Port ") + row.command[9] + ". \n";
        EXPECT_EQ(test.out.Has(missing), row.result == kRunFailed) << row.port << " " << row.command;
        EXPECT_EQ(test.out.Has("4 test formats passed.\n"), row.result == kRunPassed) << row.port << " " << row.command;
    }
}

// The host's stop flag ends the formats (before one, or in its transfer wait): the rest stay
// untested, the registers are put back and the run answers 3.
TEST(LoopbacksOnTheRig, TheStopFlagEndsTheFormatsWithResultThree) {
    const std::string stalled = MainBoardRig(R"([{"board": "Brimola1", "kind": "dma_stall", "channel": 59}])");
    const struct { std::string rig; const char* marker; int nth; int passed, begun; } rows[] = {
        {"", "  Reseting Vantrel A device.\n", 1, 0, 0},
        {"", "Frame size:", 2, 2, 2},  // the second transfer is done at once: the third format sees it
        {"", "---------------------------------------------\n", 3, 3, 3},
        {stalled, "Frame size:", 1, 0, 1},  // seen in the first format's wait, before its deadline
    };
    for (const auto& row : rows) {
        Station station(row.rig);
        ASSERT_TRUE(station.ProgramAll());
        const DWORD ram = RamRegister("Brimola1");
        StopOnPrint<CVantrelLoopbackTest> test;
        test.StopAt(row.marker, row.nth);
        EXPECT_EQ(test.Run("Brimola1 A DIM=64,16 FORMSEQ=abcdab"), kRunStopped) << row.marker << "\n" << test.out.text;
        EXPECT_EQ(Count(test.out.text, "PASSED\n"), static_cast<size_t>(row.passed)) << row.marker;
        EXPECT_EQ(Count(test.out.text, "Untested\n"), static_cast<size_t>(6 - row.passed)) << row.marker;
        // The formats begun: those passed, and one whose wait saw the flag.
        EXPECT_EQ(Count(test.out.text, "Test #"), static_cast<size_t>(row.begun)) << row.marker;
        EXPECT_TRUE(HasAll(test.out.text, {"Stopped by User\n", "DONE.\n"})) << row.marker;
        EXPECT_FALSE(test.out.Has("FAILED") || test.out.Has("timed out")) << row.marker;
        EXPECT_EQ(RamRegister("Brimola1"), ram) << row.marker;
    }
}

TEST(LoopbacksOnTheRig, EveryPortFaultFailsWithItsMessage) {
    const std::string fault = R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "sdram_mib": 64}], "faults": [{"board": "Brimola1", )";
    auto plugged = [](const char* attached) {
        return std::string(R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "sdram_mib": 64, "attached": {)") + attached + "}}]}";
    };
    const struct { const char* name; std::string rig; const char* command; std::string text; } rows[] = {
        {"sync PPP-A", fault + R"("kind": "port_sync_error", "port": "PPPA"}]})", "PPA", "Sync Error!!!  DMACtrl.ERR.IStatus=0x00000001.\n"},
        {"sync PPP-B", fault + R"("kind": "port_sync_error", "port": "PPPB"}]})", "PPB", "Sync Error!!!  DMACtrl.ERR.IStatus=0x00000002.\n"},
        {"sync EXPA", fault + R"("kind": "port_sync_error", "port": "EXPA"}]})", "Brimola1 A", "Sync Error!!!  DMACtrl.ERR.IStatus=0x00000008.\n"},
        {"sync EXPB", fault + R"("kind": "port_sync_error", "port": "EXPB"}]})", "Brimola1 B", "Sync Error!!!  DMACtrl.ERR.IStatus=0x00000004.\n"},
        {"corrupt pair", fault + R"("kind": "video_path_corrupt", "port": "PPPB", "stage": "pair", "mask": "0x8"}]})", "PPB", " were found to be incorrect.\n"},
        {"corrupt link", fault + R"("kind": "video_path_corrupt", "port": "EXPA", "stage": "link", "mask": "0x8"}]})", "Brimola1 A", " were found to be incorrect.\n"},
        {"pair dcm", fault + R"("kind": "dcm_unlocked", "device": 1, "bit": 24}]})", "PPA", "Initialization NOT completed in time: Sulveth A 1st-Pass DDR chips.\n"},
        {"keyer dcm", fault + R"("kind": "dcm_unlocked", "device": 0, "bit": 29}]})", "PPB", "timed out waiting for the completion of "},
        {"ddr pass 2", fault + R"("kind": "ddr_init_fails", "device": 2, "pass": 2}]})", "PPB", "Initialization NOT completed in time: Sulveth B 2nd-Pass DDR chips.\n"},
        {"keyer", fault + R"("kind": "fpga_done_stays_low", "device": 0}]})", "PPA", " Error: The Kerzil FPGA has not been downloaded.\n"},
        {"pair A", fault + R"("kind": "fpga_done_stays_low", "device": 1}]})", "PPA", "ERROR: Sulveth A has not been downloaded\n"},
        {"link B", fault + R"("kind": "fpga_done_stays_low", "device": 4}]})", "Brimola1 B", "is not loaded (done==0).\n"},
        {"no cable", MainBoardRig(), "Brimola1 A EXTERNAL", "Error: Timed out (250msec) waiting for clock.\n"},
        // Each external run waits for its own port's clock: a plug on the other port does not stand in.
        {"plug on the expansion port only", plugged(R"("expansion_port": "loopback")"), "Brimola1 A EXTERNAL",
         "Error: Timed out (250msec) waiting for clock.\n~*BLACK*~ ~*BACK_LTYELLOW*~ This error may indicate that the loopback  \n"
         "~*BACK_WHITE*~ ~*BACK_LTYELLOW*~ cable is not in place on Expansion Port A. \n"},
        {"plug on the codec port only", plugged(R"("codec_port": "loopback")"), "Brimola1 B EXTERNAL",
         "cable is not in place on Expansion Port B. \n"},
    };
    for (const auto& row : rows) {
        Station station(row.rig);
        station.ProgramAll();
        std::string text;
        DWORD result;
        if (row.command[0] == 'P') {
            result = station.Sulveth(row.command, text);
        } else {
            VantrelLoop test;
            result = test.Run(row.command);
            text = test.out.text;
        }
        EXPECT_EQ(result, kRunFailed) << row.name;
        EXPECT_TRUE(HasAll(text, {row.text, " error(s)\nDONE.\n"})) << row.name << "\n" << text;
    }
    // A fault on one VelkoDrun port leaves the other port's loopback passing.
    for (const auto& [port, other] : {std::pair{"PPPA", "PPB"}, std::pair{"PPPB", "PPA"}}) {
        Station station(fault + R"("kind": "port_sync_error", "port": ")" + port + "\"}]}");
        ASSERT_TRUE(station.ProgramAll());
        std::string text;
        EXPECT_EQ(station.Sulveth(other, text), kRunPassed) << port << "\n" << text;
    }
}

}  // namespace
