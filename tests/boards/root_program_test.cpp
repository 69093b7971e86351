// Tests of the roots' "Program" command: file choice, product-data and part-number checks, downloads and their faults.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/boards/root_fixture.h"

namespace {

using support::HasAll;

const std::string kImages = "FILE=$(CWD)\\testdata\\";

// "Program DEVICE=n" on Brimola1 or Nuxa1: a shipped image ("LOCV" stands for "LOCV$(VPDVER).oxd"), or
// FILE=file when it names no ".oxd".
std::string Program(char board, int device, std::string file) {
    const std::string root = board == 'N' ? "Nuxa1 <CNuxaBoard" : "Brimola1 <CBrimolaBoard";
    if (file.size() == 4) file += "$(VPDVER).oxd";
    const std::string files = file.find(".oxd") == std::string::npos ? "FILE=" + file : kImages + file;
    return root + " Program DEVICE=" + std::to_string(device) + " " + files + ">";
}

// A rig of the default pair, cabled on both ports, whose boards carry these product data fields (JSON members) and faults.
std::string PairRig(const std::string& mainVpd, const std::string& codecVpd = "", const std::string& faults = "") {
    return R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "attached": {"codec_port": "Nuxa1", "expansion_port": "Nuxa1"}, "vpd": {)" +
           mainVpd + R"(}}, {"tag": "Nuxa1", "kind": "nuxa", "vpd": {)" + codecVpd + R"(}}], "faults": [)" + faults + "]}";
}

// The default pair with one fault, given by its fields, on the board ('B' or 'N').
std::string FaultOn(char board, const std::string& fields) {
    return PairRig("", "", "{" + fields + R"(, "board": ")" + (board == 'N' ? "Nuxa1" : "Brimola1") + "\"}");
}

TEST_F(RootKeywords, AnImageIsLoadedOnlyWhenItFitsTheBoard) {
    // The keyer image under a name without a revision: the FPGA test's file choice then accepts it
    // on a board whose product data has no revision for it.
    Dir().Write("img/LOCV", support::ReadText(Dir().File("testdata/LOCV0202.oxd")));
    struct Row { std::string command; std::string rig; DWORD result; std::string has, hasNot = ""; };
    const std::string keyV0 = "ERROR:  Unable to find VPD key[V0]\n", noV0 = FaultOn('B', R"("kind": "vpd_missing_field", "field": "V0")");
    const std::string low = "ERROR TIMEOUT:  Waiting for xilinx to pull init pin low\n", done = "Done bit did not go to 1 at end\n",
                      high = "ERROR TIMEOUT:  Waiting for xilinx to pull init pin high\n", init = "Init bit did not go to 1 at end\n";
    const Row rows[] = {
        {Program('B', 0, "LOCV"), "", kRunPassed, "testdata/LOCV0202.oxd\nOXD Data Revision = 0202\n", "Program Xilinx FPGA."},
        {Program('B', 0, "MEPT$(VPDVER).oxd VERBOSE=2"), "", kRunPassed, "Program Xilinx FPGA.\n", "ERROR"},
        {Program('B', 1, "VOKA"), "", kRunPassed, "", "ERROR"},
        {Program('B', 2, "VOKB"), "", kRunPassed, "", "ERROR"},
        {Program('B', 3, "FESK"), "", kRunPassed, "Program using dual board", "ERROR"},
        {Program('B', 4, "FESK"), "", kRunPassed, "", "ERROR"},
        // The codec board's part number is compared as the main board family's: the rules file says so.
        {Program('N', 3, "FESK"), "", kRunPassed, "", "ERROR"},
        {Program('N', 4, "FESK"), "", kRunPassed, "", "ERROR"},
        {Program('B', 0, "TAZU"), "", kRunFailed, "ERROR:  Unable to find LOCV0202 in filename ", "OXD Data"},
        {Program('B', 5, "x"), "", kRunFailed, "ERROR:  Unrecognized DEVICE= 5 on the command line.\n"},
        {"Brimola1 <CBrimolaBoard Program FILE=x>", "", kRunFailed,
         "ERROR:  DEVICE= not specified on the command line.\nERROR:  Unrecognized DEVICE= -1 on the command line.\n"},
        {Program('N', 0, "LOCV"), "", kRunFailed, "ERROR:  Unrecognized DEVICE= 0 on the command line.\n"},
        {Program('N', 3, "MIZB0202.oxd"), "", kRunFailed, "B tag should be BRIMOLA\n"},
        // A file that is not there is named with its macros replaced.
        {Program('B', 0, "ZZZZ0202.oxd"), "", kRunFailed, "ERROR:  Unable to get OXD[" + Dir().Path() + "/testdata/ZZZZ0202.OXD].\n"},
        {Program('B', 0, "$(CWD)\\none\\LOCV$(VPDVER)"), "", kRunFailed, "ERROR:  Unable to get OXD[" + Dir().Path() + "/NONE/LOCV0202].\n"},
        {Program('B', 3, "$(CWD)\\none\\FESK$(VPDVER)"), "", kRunFailed, "ERROR:  Unable to get OXD[" + Dir().Path() + "/NONE/FESK0202].\n"},
        {Program('N', 3, "$(CWD)\\none\\FESK$(VPDVER)"), "", kRunFailed, "ERROR:  Unable to get OXD[" + Dir().Path() + "/NONE/FESK0202].\n"},
        // Sulveth B's revision names no file; Sulveth A's choice finds it, then the id check refuses it.
        {Program('B', 2, "TAZU0202.oxd"), PairRig(R"("V2": "TAZU0201")"), kRunFailed, "ERROR:  Unable to find TAZU0201 in filename ",
         "Unable to get OXD"},
        {Program('B', 0, "LOCV"), PairRig(R"("PN": "0418-99999-01")"), kRunFailed, "OXD does not match Part Number VPD(0418-99999-01)\n"},
        {Program('B', 0, "LOCV"), PairRig(R"("PN": null)"), kRunPassed, "", "ERROR"},
        {Program('N', 3, "FESK"), PairRig("", R"("PN": "0418-27606-02")"), kRunFailed,
         "OXD(0418-27604-01) does not match Part Number VPD(0418-27605-02)\n"},
        {Program('N', 4, "FESK"), PairRig("", R"("PN": null)"), kRunFailed, "OXD(0418-27604-01) does not match Part Number VPD()\n"},
        // Through "$(VPDVER)" the FPGA test's file choice refuses first; a name without a revision gets further.
        {Program('B', 0, "LOCV"), noV0, kRunFailed, "ERROR:  Unable to get OXD[", "VPD key"},
        {Program('B', 0, "$(CWD)\\img\\LOCV"), noV0, kRunFailed, keyV0, "OXD Data"},
        {Program('B', 0, "$(CWD)\\img\\LOCV"), FaultOn('B', R"("kind": "vpd_broken", "part": "vpd_tag")"), kRunFailed, keyV0},
        // Configuration faults: devices 0-2 load through the configuration port, 3-4 through the
        // board-link test (whose own tests cover its faults).
        {Program('B', 0, "LOCV"), FaultOn('B', R"("kind": "fpga_init_never_falls", "device": 0)"), kRunFailed, low},
        {Program('B', 1, "TAZU"), FaultOn('B', R"("kind": "fpga_init_never_rises", "device": 1)"), kRunFailed, high},
        {Program('B', 2, "TAZU"), FaultOn('B', R"("kind": "fpga_done_stays_low", "device": 2)"), kRunFailed, done},
        {Program('B', 0, "LOCV"), FaultOn('B', R"("kind": "fpga_crc_error", "device": 0)"), kRunFailed, init + done},
        {Program('B', 0, "LOCV"), FaultOn('B', R"("kind": "fpga_code_stuck_bit", "bit": 0, "value": 1)"), kRunFailed, done},  // reaches FPGA 1
        {Program('B', 3, "FESK"), FaultOn('B', R"("kind": "fpga_init_never_falls", "device": 3)"), kRunFailed, low},
        {Program('N', 4, "FESK"), FaultOn('N', R"("kind": "fpga_init_never_rises", "device": 4)"), kRunFailed, high},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        std::optional<support::ScopedRig> rig;
        if (!row.rig.empty()) rig.emplace(row.rig);
        std::string out;
        EXPECT_EQ(Run(row.command, &out), row.result);
        EXPECT_TRUE(HasAll(out, {row.has}));
        EXPECT_EQ(row.hasNot.empty() ? std::string::npos : out.find(row.hasNot), std::string::npos) << out;
    }
    // The files as the commands named them, upper-cased: the last keyer load, the FPGA pair's.
    EXPECT_EQ(brimola.GetKerzil()->GetProgrammedFile(), "$(CWD)\\TESTDATA\\LOCV$(VPDVER).OXD");
    EXPECT_EQ(brimola.GetKerzil()->GetRememberedFile(), "$(CWD)\\TESTDATA\\LOCV$(VPDVER).OXD");
    EXPECT_EQ(brimola.GetSulvethB()->GetProgrammedFile(), "$(CWD)\\TESTDATA\\VOKB$(VPDVER).OXD");
    // Without the rules file only an image naming the board's own part number fits.
    std::filesystem::remove(Dir().File("DeviceCompatiblity.txt"));
    EXPECT_EQ(Run(Program('B', 3, "FESK")), kRunPassed);
    EXPECT_EQ(Run(Program('N', 3, "FESK")), kRunFailed);
}

TEST_F(RootKeywords, StatusBit15OnceEveryFpgaOfTheBoardWasAccepted) {
    // Accepted devices count whether or not their download worked; a device out of range does not.
    struct Row { const char* board; std::vector<int> devices; };
    const Row rows[] = {{"Brimola1", {0, 1, 7, 2, 2, 3, 4}}, {"Nuxa1", {0, 3, 4}}};
    for (const Row& row : rows) {
        const RegisterPtr status = support::RigBoard(row.board)->GetControllerRegisters() + 4;
        *status = *status & ~0x8000u;
        for (size_t i = 0; i < row.devices.size(); ++i) {
            SCOPED_TRACE(std::string(row.board) + " device " + std::to_string(row.devices[i]));
            Run(Program(row.board[0], row.devices[i], "none"));
            EXPECT_EQ((*status & 0x8000u) != 0, i + 1 == row.devices.size());
        }
    }
}

}  // namespace
