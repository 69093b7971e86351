// Tests of the video-path FPGA objects: the OXD file choice by the product data, and the board-link FPGAs' control and download on one or two boards.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "framework/hw/fpga_download.h"
#include "framework/hw/oxd.h"
#include "framework/result_screen.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"
#include "videopath/kerzil.h"
#include "videopath/sulveth.h"
#include "videopath/vantrel.h"

namespace {

using namespace support;

using Vantrel = Recording<CVantrel>;

// The board-link FPGAs' image as shipped.
const std::string kImage = (std::filesystem::path(__FILE__).parent_path() / "../../testdata/oxd/FESK0202.oxd").string();

// The two boards cabled on both ports, as a station is delivered.
std::string TwoBoardRig(const std::string& faults = "[]", const std::string& mainVpd = "{}") {
    return R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "sdram_mib": 64, "vpd": )" + mainVpd +
           R"(, "attached": {"codec_port": "Nuxa1", "expansion_port": "Nuxa1"}}, {"tag": "Nuxa1", "kind": "nuxa", "sdram_mib": 64}], "faults": )" +
           faults + "}";
}

std::string Fault(const char* board, const char* kind, int device) {
    return std::string(R"([{"board": ")") + board + R"(", "kind": ")" + kind + R"(", "device": )" + std::to_string(device) + "}]";
}

DWORD Controller(const char* board, DWORD offset) { return RigBoard(board)->GetRegisters()[offset / 4]; }

// Each FPGA's field carries its own revision, so a file is found only through the right field;
// V4 is longer than a revision and V3 is missing.
class FileChoice : public ::testing::Test {
protected:
    FileChoice() {
        // FESK0304 is only under the test data, never in the drivers folder.
        for (const char* name : {"LOCV0301", "TAZU0302", "TAZU0202", "LOCV0202", "FESK0304"})
            m_dir.Write(std::string("prog/testdata/") + name + ".oxd", "x");
        m_dir.Write("prog/LOCV0301.oxd", "x");
        m_dir.MakeDir("sys/drivers/Zorv");
        platform::SetProgramDir(m_prog);
        platform::SetSystemDir(m_dir.File("sys"));
    }
    ~FileChoice() override {
        platform::SetProgramDir("");
        platform::SetSystemDir("");
    }
    TempDir m_dir;
    std::string m_prog = m_dir.File("prog/");
    ScopedRig m_rig{TwoBoardRig("[]", R"({"V0": "LOCV0301", "V1": "TAZU0302", "V3": null, "V4": "XFESK0304"})")};
};

TEST_F(FileChoice, RevisionComesFromTheFpgasOwnFieldAndMustMatchTheFileName) {
    Recording<CKerzil> kerzil(nullptr, "CKerzil");
    Recording<CSulveth> sulvethA(1, nullptr, "CSulvethA"), sulvethB(2, nullptr, "CSulvethB");
    Recording<CVantrel> codec(CVantrel::kCodecPort, "CVantrelCodec"), expansion(CVantrel::kExpansionPort, "CVantrelExpansion");
    for (CWexalTreeMapTB* t : std::initializer_list<CWexalTreeMapTB*>{&kerzil, &sulvethA, &sulvethB, &codec, &expansion})
        ASSERT_EQ(t->SetupDevice("Brimola1"), kRunPassed);
    const std::string testdata = m_prog + "testdata/";
    const std::string prefix = "ERROR:  CVantrel::DetermineFilenameOXD()  ";
    // found: the file chosen, announced from verbosity 1; error: what a refusal prints.
    struct Row { const char* name; CVideoPathTB* test; std::string path; BOOL ask; DWORD verbose; std::string found, error = ""; };
    const Row rows[] = {
        {"keyer V0", &kerzil, "$(CWD)\\testdata\\LOCV$(VPDVER).oxd", TRUE, 1, testdata + "LOCV0301.oxd"},
        {"keyer V0, program folder", &kerzil, "$(CWD)\\LOCV$(VPDVER).oxd", TRUE, 1, m_prog + "LOCV0301.oxd"},
        {"pair A V1", &sulvethA, "$(CWD)\\testdata\\TAZU$(VPDVER).oxd", TRUE, 1, testdata + "TAZU0302.oxd"},
        {"pair B V2, quiet", &sulvethB, "$(CWD)\\testdata\\TAZU$(VPDVER).oxd", TRUE, 0, testdata + "TAZU0202.oxd"},
        // The last four characters of a longer field; a file found only under the test data is taken.
        {"expansion V4 via testdata", &expansion, "$(ZORV)\\FESK$(VPDVER).oxd", TRUE, 1, testdata + "FESK0304.oxd"},
        {"no macro, testdata", &expansion, "$(ZORV)\\FESK0304.oxd", FALSE, 1, testdata + "FESK0304.oxd"},
        {"another revision, verbose 1", &kerzil, "$(CWD)\\testdata\\LOCV0202.oxd", FALSE, 1, "", ""},
        {"another revision, verbose 2", &kerzil, "$(CWD)\\testdata\\LOCV0202.oxd", FALSE, 2, "",
         prefix + "VPD rev[0301] does not match rev in filename[0202]\n"},
        {"pair A, revision differs", &sulvethA, "$(CWD)\\testdata\\TAZU0202.oxd", FALSE, 2, "",
         prefix + "VPD rev[0302] does not match rev in filename[0202]\n"},
        // No V3: the macro goes empty and nothing is found (no one answers the dialog).
        {"missing field, verbose 2", &codec, "$(CWD)\\testdata\\FESK$(VPDVER).oxd", TRUE, 2, "", prefix + "Unable to get OXD filename.\n"},
        {"missing field, verbose 1", &codec, "$(CWD)\\testdata\\FESK$(VPDVER).oxd", FALSE, 1, "", ""},
    };
    for (const Row& row : rows) {
        for (OutputLog* out : {&kerzil.out, &sulvethA.out, &sulvethB.out, &codec.out, &expansion.out}) out->text.clear();
        CString path = row.path.c_str();
        EXPECT_EQ(row.test->DetermineFilenameOXD(path, row.ask, row.verbose), row.found.empty() ? kRunFailed : kRunPassed) << row.name;
        EXPECT_EQ(row.found.empty() ? "" : path.str(), row.found) << row.name;
        const std::string text = kerzil.out.text + sulvethA.out.text + sulvethB.out.text + codec.out.text + expansion.out.text;
        EXPECT_EQ(text, row.found.empty() || !row.verbose ? row.error : "OXD FILE:  " + row.found + "\n") << row.name;
    }
    EXPECT_TRUE(kerzil.out.HasColoured("VPD rev[0301]", kColorRed) && codec.out.HasColoured("Unable to get", kColorRed));
}

TEST(FileChoiceWithoutBoard, MissingBar0IsReportedFromEachFpgasThreshold) {
    const struct { int channel; DWORD verbose; bool reported; } rows[] = {{0, 1, false}, {0, 2, true}, {1, 1, true}, {2, 0, false}, {3, 1, false}, {4, 2, true}};
    for (const auto& row : rows) {
        Recording<CKerzil> kerzil(nullptr, "CKerzil");
        Recording<CSulveth> sulveth(row.channel, nullptr, "CSulveth");
        Vantrel vantrel(static_cast<DWORD>(row.channel), "CVantrel");
        CVideoPathTB* test = row.channel == 0 ? static_cast<CVideoPathTB*>(&kerzil) : row.channel < 3 ? static_cast<CVideoPathTB*>(&sulveth) : &vantrel;
        CString path = "$(CWD)\\LOCV$(VPDVER).oxd";
        EXPECT_EQ(test->DetermineFilenameOXD(path, FALSE, row.verbose), kRunFailed);
        const std::string text = kerzil.out.text + sulveth.out.text + vantrel.out.text;
        EXPECT_EQ(text, row.reported ? "ERROR:  CVantrel::DetermineFilenameOXD()  pBar0Space is NULL\n" : "") << row.channel << "/" << row.verbose;
    }
}

const char* const kDual = "***************************** Program using dual board *****************************\n";
const char* const kSingle = "***************************** Program using single board *****************************\n";

TEST(VantrelProgram, LoadsOneOrBothBoardsAndReportsEveryPortFault) {
    // A cable brings the clock to neither end while one of its FPGAs is unloaded.
    const std::string noClock = "CVantrel::Program:  Clock is not ticking on Src\nCVantrel::Program:  Clock is not ticking on Dst\n";
    const std::string low = "ERROR TIMEOUT:  Waiting for xilinx to pull init pin low\n", high = "ERROR TIMEOUT:  Waiting for xilinx to pull init pin high\n";
    const std::string bothLow = "Init bit did not go to 1 at end\nDone bit did not go to 1 at end\n";
    struct Row { const char* name; std::string rig; DWORD id; DWORD result; std::string text; };
    const Row rows[] = {
        {"dual, codec port", TwoBoardRig(), 3, 1, kDual},
        {"dual, expansion port", TwoBoardRig(), 4, 1, kDual},
        {"single board", MainBoardRig(), 4, 1, kSingle},
        {"fault on the other FPGA", TwoBoardRig(Fault("Brimola1", "fpga_crc_error", 3)), 4, 1, kDual},
        {"INIT never falls", TwoBoardRig(Fault("Brimola1", "fpga_init_never_falls", 3)), 3, 2, kDual + low + noClock},
        {"INIT never rises, partner", TwoBoardRig(Fault("Nuxa1", "fpga_init_never_rises", 4)), 4, 2,
         kDual + high + noClock},
        {"DONE stays low", MainBoardRig(Fault("Brimola1", "fpga_done_stays_low", 3)), 3, 2, kSingle + std::string("Done bit did not go to 1 at end\n")},
        {"CRC error", MainBoardRig(Fault("Brimola1", "fpga_crc_error", 4)), 4, 2, kSingle + bothLow},
        {"CRC error, dual", TwoBoardRig(Fault("Brimola1", "fpga_crc_error", 4)), 4, 2, kDual + bothLow + noClock},
        {"code stuck bit", MainBoardRig(R"([{"board": "Brimola1", "kind": "fpga_code_stuck_bit", "bit": 0, "value": 1}])"), 4, 2, kSingle + high},
    };
    COxd image(kImage.c_str(), 1);
    ASSERT_NE(image.GetData(), nullptr);
    for (const Row& row : rows) {
        ScopedRig rig(row.rig);
        Vantrel vantrel(row.id, "CVantrel");
        ASSERT_EQ(vantrel.SetupDevice("Brimola1"), kRunPassed);
        EXPECT_EQ(vantrel.Program(nullptr, image), row.result) << row.name;
        EXPECT_EQ(vantrel.out.text, row.text) << row.name;
        // Out of reset either way; the own FPGA is loaded unless its download failed, and with a partner both links see their clock.
        EXPECT_EQ(Controller("Brimola1", 0x4014) & (kFpgaConfigChipSelect | kFpgaConfigProg), 0u) << row.name;
        EXPECT_EQ(vantrel.IsLoaded(), row.result == kRunPassed || row.rig.find("Nuxa1\", \"kind\": \"fpga") != std::string::npos) << row.name;
        const DWORD present = row.id == 3 ? 0x2 : 0x4;
        EXPECT_TRUE(row.result != kRunPassed || row.text != kDual || (Controller("Brimola1", 0x4010) & Controller("Nuxa1", 0x4010) & present)) << row.name;
    }
}

TEST(VantrelControl, ResetClockAndLoadedCheckActOnTheirOwnBits) {
    ScopedRig rig(MainBoardRig("[]", R"(, "attached": {"expansion_port": "loopback"})"));
    Vantrel vantrel(CVantrel::kExpansionPort, "CVantrelExpansion");
    ASSERT_EQ(vantrel.SetupDevice("Brimola1"), kRunPassed);
    CWexalBoardIF& board = vantrel.GetBoardIF();
    const RegisterRef fpga = RigBoard("Brimola1")->GetControllerRegisters()[0x14 / 4];
    fpga = 0x000100A5;  // another device, a data byte
    EXPECT_EQ(vantrel.Reset(board, true), kRunPassed);
    EXPECT_EQ(fpga.Read() & 0x707FF, 0x402A5u);
    vantrel.Reset(board, false);
    EXPECT_EQ(fpga.Read() & 0x707FF, 0x400A5u);

    // Only the port's own enable moves; the rest of the RAM register stays.
    vantrel.EnableClock(board, false);
    EXPECT_EQ(Controller("Brimola1", 0x4018), 0x0Fu);
    vantrel.EnableClock(board, true);
    EXPECT_EQ(Controller("Brimola1", 0x4018), 0x1Fu);

    // Not loaded: no clock, given up after 250 ms.
    const DWORD before = GetTickCount();
    EXPECT_FALSE(vantrel.IsLoaded() || vantrel.IsClockTicking());
    const DWORD waited = GetTickCount() - before;
    EXPECT_TRUE(waited >= 250 && waited < 300) << waited;
    COxd image(kImage.c_str(), 1);
    EXPECT_EQ(vantrel.ProgramVantrel(board, image), kRunPassed);
    EXPECT_TRUE(vantrel.IsLoaded() && vantrel.IsClockTicking(board));
    // The loaded check asks through the register it is given, with its own code.
    EXPECT_FALSE(Vantrel(CVantrel::kCodecPort, "CVantrelCodec").IsLoaded(RigBoard("Brimola1")->GetControllerRegisters() + 0x14 / 4));
    EXPECT_EQ(vantrel.out.text, "");
}

TEST(VantrelControl, WithoutBoardOrParentEachOperationRefuses) {
    Vantrel vantrel(CVantrel::kCodecPort, "CVantrelCodec");
    CWexalBoardIF none;
    RecordingTreeTest root("CBrimolaBoard");
    COxd image(kImage.c_str(), 1);
    COxd noData("N:FESK0202;", 0);
    struct Row { const char* name; std::function<DWORD()> call; DWORD result; const char* text; };
    const Row rows[] = {
        {"program", [&] { return vantrel.Program(nullptr, image); }, 2,
         "CVantrel::Program - Setup Error\n  SrcBoardIF.m_Brimola[0x00000000], SrcBoardIF.m_pNuxa[0x00000000]\n"},
        {"download", [&] { return vantrel.ProgramVantrel(none, image); }, 2, "CVantrel::ProgramVantrel:  pBoard = NULL"},
        {"reset", [&] { return vantrel.Reset(none, true); }, 2, "CVantrel::Reset:  rBoardIF.GetDevice() is NULL"},
        {"clock", [&] { return DWORD(vantrel.IsClockTicking(none)); }, 0, "CVantrel::IsClockTicking:  rBoardIF.GetDevice() is NULL"},
        {"loaded", [&] { return DWORD(vantrel.IsLoaded()); }, 0, ""},
        {"run without parent", [&] { return vantrel.Run("\"Loopback\" Size=0x20000"); }, 2, "CVantrel:  Parent is NULL\n"},
        {"run with parent, keyword without its quotes", [&] { vantrel.SetParent(&root); return vantrel.Run("Loopback Size=0x20000"); }, 2, ""},
        {"image without data", [&] { vantrel.SetupDevice("Brimola1"); return vantrel.ProgramVantrel(vantrel.GetBoardIF(), noData); }, 2, ""},
    };
    for (const Row& row : rows) {
        vantrel.out = {};
        EXPECT_EQ(row.call(), row.result) << row.name;
        EXPECT_EQ(vantrel.out.text, row.text) << row.name;
        EXPECT_TRUE(row.text[0] == '\0' || vantrel.out.HasColoured(row.text, kColorRed)) << row.name;
    }
}

}  // namespace
