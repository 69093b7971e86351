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

// A rig of the default pair whose boards carry these product data fields (JSON members) and faults.
std::string PairRig(const std::string& mainVpd, const std::string& codecVpd, const std::string& faults = "") {
    return R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "vpd": {)" + mainVpd +
           R"(}}, {"tag": "Nuxa1", "kind": "nuxa", "vpd": {)" + codecVpd + R"(}}], "faults": [)" + faults + "]}";
}

class RootProgram : public RootKeywords {
protected:
    // The keyer image under a name without a revision: the FPGA test's file choice then accepts it
    // on a board whose product data has no revision for it.
    RootProgram() { Dir().Write("img/LOCV", support::ReadText(Dir().File("testdata/LOCV0202.oxd"))); }
};

TEST_F(RootProgram, AnImageIsLoadedOnlyWhenItFitsTheBoard) {
    struct Row { std::string command; std::string rig; DWORD result; std::vector<std::string> has, hasNot; };
    const Row rows[] = {
        {"Brimola1 <CBrimolaBoard Program DEVICE=0 " + kImages + "LOCV$(VPDVER).oxd>", "", kRunPassed,
         {"OXD FILE:  ", "LOCV0202.OXD\n", "OXD Data Revision = 0202\n"}, {"Program Xilinx FPGA."}},
        {"Brimola1 <CBrimolaBoard Program DEVICE=0 " + kImages + "MEPT$(VPDVER).oxd VERBOSE=2>", "", kRunPassed, {"Program Xilinx FPGA.\n"}, {}},
        {"Brimola1 <CBrimolaBoard Program DEVICE=1 " + kImages + "VOKA$(VPDVER).oxd>", "", kRunPassed, {}, {"ERROR"}},
        {"Brimola1 <CBrimolaBoard Program DEVICE=2 " + kImages + "VOKB$(VPDVER).oxd>", "", kRunPassed, {}, {"ERROR"}},
        {"Brimola1 <CBrimolaBoard Program DEVICE=3 " + kImages + "FESK$(VPDVER).oxd>", "", kRunPassed, {"Program using dual board"}, {}},
        {"Brimola1 <CBrimolaBoard Program DEVICE=4 " + kImages + "FESK$(VPDVER).oxd>", "", kRunPassed, {}, {"ERROR"}},
        // The codec board's part number is compared as the main board family's: the rules file says so.
        {"Nuxa1 <CNuxaBoard Program DEVICE=3 " + kImages + "FESK$(VPDVER).oxd>", "", kRunPassed, {}, {"ERROR"}},
        {"Nuxa1 <CNuxaBoard Program DEVICE=4 " + kImages + "FESK$(VPDVER).oxd>", "", kRunPassed, {}, {"ERROR"}},
        {"Brimola1 <CBrimolaBoard Program DEVICE=0 " + kImages + "TAZU$(VPDVER).oxd>", "", kRunFailed,
         {"ERROR:  Unable to find LOCV0202 in filename "}, {"OXD Data"}},
        {"Brimola1 <CBrimolaBoard Program DEVICE=5 FILE=x>", "", kRunFailed, {"ERROR:  Unrecognized DEVICE= 5 on the command line.\n"}, {}},
        {"Brimola1 <CBrimolaBoard Program FILE=x>", "", kRunFailed,
         {"ERROR:  DEVICE= not specified on the command line.\n", "ERROR:  Unrecognized DEVICE= -1 on the command line.\n"}, {}},
        {"Nuxa1 <CNuxaBoard Program DEVICE=0 " + kImages + "LOCV$(VPDVER).oxd>", "", kRunFailed, {"ERROR:  Unrecognized DEVICE= 0 on the command line.\n"}, {}},
        {"Nuxa1 <CNuxaBoard Program DEVICE=3 " + kImages + "MIZB0202.oxd>", "", kRunFailed, {"B tag should be BRIMOLA\n"}, {}},
        {"Brimola1 <CBrimolaBoard Program DEVICE=0 FILE=" + std::string(20, 'Z') + ".oxd>", "", kRunFailed, {"ERROR:  Unable to get OXD["}, {}},
        // Sulveth B's revision names no file; Sulveth A's choice finds it, then the id check refuses it.
        {"Brimola1 <CBrimolaBoard Program DEVICE=2 " + kImages + "TAZU0202.oxd>", PairRig(R"("V2": "TAZU0201")", ""), kRunFailed,
         {"ERROR:  Unable to find TAZU0201 in filename "}, {"Unable to get OXD"}},
        {"Brimola1 <CBrimolaBoard Program DEVICE=0 " + kImages + "LOCV$(VPDVER).oxd>", PairRig(R"("PN": "0418-99999-01")", ""), kRunFailed,
         {"OXD does not match Part Number VPD(0418-99999-01)\n"}, {}},
        {"Brimola1 <CBrimolaBoard Program DEVICE=0 " + kImages + "LOCV$(VPDVER).oxd>", PairRig(R"("PN": null)", ""), kRunPassed, {}, {"ERROR"}},
        {"Nuxa1 <CNuxaBoard Program DEVICE=3 " + kImages + "FESK$(VPDVER).oxd>", PairRig("", R"("PN": "0418-27606-02")"), kRunFailed,
         {"OXD(0418-27604-01) does not match Part Number VPD(0418-27605-02)\n"}, {}},
        {"Nuxa1 <CNuxaBoard Program DEVICE=4 " + kImages + "FESK$(VPDVER).oxd>", PairRig("", R"("PN": null)"), kRunFailed,
         {"OXD(0418-27604-01) does not match Part Number VPD()\n"}, {}},
        {"Brimola1 <CBrimolaBoard Program DEVICE=0 " + kImages + "LOCV$(VPDVER).oxd>",
         PairRig("", "", R"({"kind": "vpd_missing_field", "board": "Brimola1", "field": "V0"})"), kRunFailed, {"ERROR:  Unable to get OXD["}, {}},
        {"Brimola1 <CBrimolaBoard Program DEVICE=0 FILE=$(CWD)\\img\\LOCV>",
         PairRig("", "", R"({"kind": "vpd_missing_field", "board": "Brimola1", "field": "V0"})"), kRunFailed,
         {"ERROR:  Unable to find VPD key[V0]\n"}, {"OXD Data"}},
        {"Brimola1 <CBrimolaBoard Program DEVICE=0 FILE=$(CWD)\\img\\LOCV>",
         PairRig("", "", R"({"kind": "vpd_broken", "board": "Brimola1", "part": "vpd_tag"})"), kRunFailed, {"ERROR:  Unable to find VPD key[V0]\n"}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        std::optional<support::ScopedRig> rig;
        if (!row.rig.empty()) rig.emplace(row.rig);
        std::string out;
        EXPECT_EQ(Run(row.command, &out), row.result);
        for (const std::string& text : row.has) EXPECT_TRUE(HasAll(out, {text}));
        for (const std::string& text : row.hasNot) EXPECT_EQ(out.find(text), std::string::npos) << text << " in:\n" << out;
    }
    // The files as the commands named them, upper-cased: the last keyer load, the FPGA pair's.
    EXPECT_EQ(brimola.GetKerzil()->GetProgrammedFile(), "$(CWD)\\TESTDATA\\LOCV$(VPDVER).OXD");
    EXPECT_EQ(brimola.GetKerzil()->GetRememberedFile(), "$(CWD)\\TESTDATA\\LOCV$(VPDVER).OXD");
    EXPECT_EQ(brimola.GetSulvethB()->GetProgrammedFile(), "$(CWD)\\TESTDATA\\VOKB$(VPDVER).OXD");
    // Without the rules file only an image naming the board's own part number fits.
    std::filesystem::remove(Dir().File("DeviceCompatiblity.txt"));
    EXPECT_EQ(Run("Brimola1 <CBrimolaBoard Program DEVICE=3 " + kImages + "FESK$(VPDVER).oxd>"), kRunPassed);
    EXPECT_EQ(Run("Nuxa1 <CNuxaBoard Program DEVICE=3 " + kImages + "FESK$(VPDVER).oxd>"), kRunFailed);
}

TEST_F(RootProgram, StatusBit15OnceEveryFpgaOfTheBoardWasAccepted) {
    // Accepted devices count whether or not their download worked; a device out of range does not.
    struct Row { const char* board; const char* root; std::vector<int> devices; };
    const Row rows[] = {{"Brimola1", "CBrimolaBoard", {0, 1, 7, 2, 2, 3, 4}}, {"Nuxa1", "CNuxaBoard", {0, 3, 4}}};
    for (const Row& row : rows) {
        const RegisterPtr status = support::RigBoard(row.board)->GetControllerRegisters() + 4;
        *status = *status & ~0x8000u;
        for (size_t i = 0; i < row.devices.size(); ++i) {
            SCOPED_TRACE(std::string(row.board) + " device " + std::to_string(row.devices[i]));
            Run(std::string(row.board) + " <" + row.root + " Program DEVICE=" + std::to_string(row.devices[i]) + " FILE=none.oxd>");
            EXPECT_EQ((*status & 0x8000u) != 0, i + 1 == row.devices.size());
        }
    }
}

TEST_F(RootProgram, ConfigurationFaultsFailTheDownload) {
    struct Row { std::string fault; std::string command; std::vector<std::string> has; };
    const std::string keyer = "Program DEVICE=0 " + kImages + "LOCV$(VPDVER).oxd>";
    const std::string link = "Program DEVICE=3 " + kImages + "FESK$(VPDVER).oxd>";
    const Row rows[] = {
        {R"("kind": "fpga_init_never_falls", "board": "Brimola1", "device": 0)", "Brimola1 <CBrimolaBoard " + keyer,
         {"ERROR TIMEOUT:  Waiting for xilinx to pull init pin low\n"}},
        {R"("kind": "fpga_init_never_rises", "board": "Brimola1", "device": 1)",
         "Brimola1 <CBrimolaBoard Program DEVICE=1 " + kImages + "TAZU$(VPDVER).oxd>", {"ERROR TIMEOUT:  Waiting for xilinx to pull init pin high\n"}},
        {R"("kind": "fpga_done_stays_low", "board": "Brimola1", "device": 2)",
         "Brimola1 <CBrimolaBoard Program DEVICE=2 " + kImages + "TAZU$(VPDVER).oxd>", {"Done bit did not go to 1 at end\n"}},
        {R"("kind": "fpga_crc_error", "board": "Brimola1", "device": 0)", "Brimola1 <CBrimolaBoard " + keyer,
         {"Init bit did not go to 1 at end\n", "Done bit did not go to 1 at end\n"}},
        {R"("kind": "fpga_code_stuck_bit", "board": "Brimola1", "bit": 0, "value": 1)", "Brimola1 <CBrimolaBoard " + keyer,
         {"Done bit did not go to 1 at end\n"}},
        {R"("kind": "fpga_init_never_falls", "board": "Brimola1", "device": 3)", "Brimola1 <CBrimolaBoard " + link,
         {"ERROR TIMEOUT:  Waiting for xilinx to pull init pin low\n"}},
        {R"("kind": "fpga_init_never_rises", "board": "Nuxa1", "device": 4)",
         "Nuxa1 <CNuxaBoard Program DEVICE=4 " + kImages + "FESK$(VPDVER).oxd>", {"ERROR TIMEOUT:  Waiting for xilinx to pull init pin high\n"}},
        {R"("kind": "fpga_done_stays_low", "board": "Nuxa1", "device": 3)", "Nuxa1 <CNuxaBoard " + link, {"Done bit did not go to 1 at end\n"}},
        {R"("kind": "fpga_crc_error", "board": "Brimola1", "device": 4)",
         "Brimola1 <CBrimolaBoard Program DEVICE=4 " + kImages + "FESK$(VPDVER).oxd>", {"Init bit did not go to 1 at end\n"}},
        {R"("kind": "fpga_code_stuck_bit", "board": "Nuxa1", "bit": 1, "value": 0)", "Nuxa1 <CNuxaBoard " + link,
         {"ERROR TIMEOUT:  Waiting for xilinx to pull init pin high\n"}},  // no FPGA answers to code 1 there
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        support::ScopedRig rig(PairRig("", "", "{" + row.fault + "}"));
        std::string out;
        EXPECT_EQ(Run(row.command, &out), kRunFailed);
        for (const std::string& text : row.has) EXPECT_TRUE(HasAll(out, {text}));
    }
}

}  // namespace
