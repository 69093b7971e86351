// The codec encoder test on the simulated codec board: defaults, environment, dispatch, help, chip number, DDR wait.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "codec/chip/sorbelin_encoder.h"
#include "codec/dsp/zyv_file.h"
#include "framework/hw/oxd.h"
#include "framework/param_string.h"
#include "images/image_8bit.h"
#include "images/unpacked_image.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "sim/bitstream.h"
#include "sim/codec_bridge.h"
#include "sim/codec_chip.h"
#include "tests/codec/codec_board_fixture.h"
#include "tests/devlib/rig_fixture.h"
#include "tests/support/fixtures.h"
#include "tests/support/output.h"
#include "tests/support/temp_dir.h"

namespace {

using support::Bracketed;
using support::Recording;

const std::string kImage = support::Fixture("oxd/GUWT0202.oxd");
const std::string kMicrocode = support::Fixture("oxd/KAWF0101.oxd");
// The package set the build installs.
const std::string kShippedSet = support::Fixture("zyv/20040521");

class SorbelinEncoderTest : public codectest::CodecBoardTest<devtest::RigTest> {
protected:
    void SetUp() override {
        CodecBoardTest::SetUp();
        support::TakeText();  // what the constructors printed
    }
    void Attach() override {
        CodecBoardTest::Attach();
        support::SelectCodecBoard(encA, encB);
    }
    // The DSP's microcode running: its codec status word is its own from then on.
    bool Boot(CNuxaDSP& dsp) {
        CString path = kMicrocode.c_str();
        return dsp.DownloadMicrocode(path, 1) == TRUE;
    }
    DWORD Program(Recording<CSorbelinEncoder>& t) { return t.Run(("Program VERBOSITY=1 FILE=" + Bracketed(kImage)).c_str()); }

    Recording<CNuxaDSP> dspA{&bridge, "CNuxaDSPA"};
    Recording<CNuxaDSP> dspB{&bridge, "CNuxaDSPB"};
    Recording<CSorbelinEncoder> encA{&dspA, &bridge, nullptr, "CSorbelinEncoderA"};
    Recording<CSorbelinEncoder> encB{&dspB, &bridge, nullptr, "CSorbelinEncoderB"};
};

TEST_F(SorbelinEncoderTest, ConstructionSetsTheDefaultEnvironmentListsAndOnFail) {
    support::TakeText();
    Recording<CSorbelinEncoder> fresh{&dspA, &bridge, nullptr, "CSorbelinEncoderA"};
    const std::string printed = support::TakeText();
    // Each default is announced in order, upper-cased and without the outer brackets.
    // The installed drivers package picks the reference generation.
    const DWORD date = GetZyvPackageDate(GetDriversDirectory());
    const std::string generation = date >= 20040416 ? "2" : "1";
    const std::string order = "VCID_LIST = 0X4D6,0X4E3,0X4E4,0X4E5\nENCODE_IMAGE = $(ZORV)\\GUWT$(VPDVER).OXD\n"
                              "DSP_MICRO = $(ZORV)\\KAWF0101.OXD\nZYV_DIRECTORY = $(ZORV)\n"
                              "COMPRESS_IMAGE = $(CWD)\\TESTDATA\\VCID\\$(VCID_LIST)\\ENCODED_" + generation + ".IMG\n"
                              "DECOMPRESS_IMAGE = $(CWD)\\TESTDATA\\VCID\\DECODED_$(X)_$(Y)_$(P).IMG\nZyv package date = " + std::to_string(date) + "\n";
    EXPECT_NE(printed.find(order), std::string::npos) << printed;
    EXPECT_EQ(fresh.GetEnvironment().size(), 6u);
    // Plain mode: five images.
    const std::vector<CString> images = fresh.GetImageList()->GetEntries();
    ASSERT_EQ(images.size(), 5u);
    EXPECT_EQ(images[0], "HORZ_WEDGE_BLUE2RED=>$(CWD)\\testdata\\VCID\\$(VCID_LIST)\\E_HWB2R.img");
    EXPECT_EQ(images[3], "RANDOM SEED=0x12345678=>$(CWD)\\testdata\\VCID\\$(VCID_LIST)\\E_RandS_" + generation + ".img");
    EXPECT_EQ(images[4], "Env.$(DECOMPRESS_IMAGE)=>Env.$(COMPRESS_IMAGE)");
    EXPECT_EQ(fresh.GetResolutionList()->GetCount(), 0);
    ASSERT_EQ(fresh.GetOnFailList()->GetCount(), 1);
    EXPECT_EQ(fresh.GetOnFailList()->GetAt(0), "@FILE=$(CWD)\\testdata\\OnFail.txt");
}

TEST_F(SorbelinEncoderTest, DefaultListsFollowTheMode) {
    struct Row {
        int mode;
        BOOL result;
        size_t entries;
        const char* first;
    } const rows[] = {
        {0, TRUE, 5, "HORZ_WEDGE_BLUE2RED=>"},
        {1, TRUE, 13, "DIAGONAL_LINES=>$(CWD)\\testdata\\VCID\\$(VCID_LIST)\\E_DLine.img"},
        {2, TRUE, 13, "DIAGONAL_LINES=>"},
        {3, TRUE, 13, "DIAGONAL_LINES=>"},
        {4, FALSE, 0, nullptr},
        {-1, FALSE, 0, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        CStrListImages images;
        CStrListResolutions resolutions;
        images.Add("stale");
        resolutions.Add("DIM=(1,1)");
        encA.out = {};
        EXPECT_EQ(encA.SetDefaultLists(images, resolutions, row.mode), row.result);
        EXPECT_EQ(static_cast<size_t>(images.GetCount()), row.entries);
        EXPECT_EQ(resolutions.GetCount(), 0);
        EXPECT_TRUE(encA.out.Has("Zyv package date = " + std::to_string(GetZyvPackageDate(GetDriversDirectory())) + "\n"));
        if (row.first) {
            EXPECT_EQ(images.GetAt(0).str().rfind(row.first, 0), 0u) << images.GetAt(0).str();
        } else {
            EXPECT_TRUE(encA.out.HasColoured("Image Mode is UNDEFINED\n", kColorRed));
        }
        if (row.entries == 13) {
            EXPECT_EQ(images.GetAt(2), "SOLID=(Y=400:CB=50:CR=640)=>$(CWD)\\testdata\\VCID\\$(VCID_LIST)\\E_Solid.img");
        }
    }
}

TEST_F(SorbelinEncoderTest, SetAndClearEnvironment) {
    EXPECT_EQ(encA.RunTest("Set Environment VARIABLE=vcid_list VALUE=(0x4d6,(1,2))"), 1u);
    EXPECT_TRUE(encA.out.HasColoured("VCID_LIST = 0X4D6,(1,2)\n", kColorBlack)) << encA.out.text;
    EXPECT_EQ(encA.GetEnvironment().at("VCID_LIST"), "0X4D6,(1,2)");
    EXPECT_EQ(encA.GetEnvironment().size(), 6u);  // replaced, not added
    EXPECT_EQ(encA.RunTest("Set Environment VARIABLE=NEW_ONE VALUE=x"), 1u);
    EXPECT_EQ(encA.GetEnvironment().at("NEW_ONE"), "X");
    // A missing half changes nothing.
    struct Row {
        const char* command;
        const char* message;
    } const refused[] = {{"Set Environment VALUE=1", "VARIABLE not found\n"}, {"Set Environment VARIABLE=ZYV_DIRECTORY", "VALUE not found\n"}};
    for (const Row& row : refused) {
        encA.out = {};
        EXPECT_EQ(encA.RunTest(row.command), 0u);
        EXPECT_TRUE(encA.out.HasColoured(row.message, kColorRed)) << encA.out.text;
    }
    EXPECT_EQ(encA.GetEnvironment().size(), 7u);
    EXPECT_EQ(encA.GetEnvironment().at("ZYV_DIRECTORY"), "$(ZORV)");
    EXPECT_EQ(encA.RunTest("Clear Environment"), 1u);
    EXPECT_TRUE(encA.GetEnvironment().empty());
    // The other chip keeps its own.
    EXPECT_EQ(encB.GetEnvironment().size(), 6u);
}

TEST_F(SorbelinEncoderTest, KeywordsAreCaseSensitiveAndFramesOnlyWhereFramesMove) {
    struct Row {
        const char* command;
        DWORD result;
    } const rows[] = {
        {"Show RevID FRAMES=2", 0},          // FRAMES= with a keyword that moves no frames
        {"Show RevID FRAMES=x", 1},          // an unreadable FRAMES= is no FRAMES=
        {"show revid", 0},                   // keywords are case-sensitive
        {"Video:Bypass DIM=(480, 320)", 0},  // without its quotes
        {"Clear Environment frames=3", 0},   // options are read in any case
        {"Nothing", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        encA.out = {};
        EXPECT_EQ(encA.RunTest(row.command), row.result);
        const std::string refusal = std::string("\n\nERROR:  CSorbelinEncoder\n\"") + row.command + "\" Not recognized as a valid test\n";
        EXPECT_EQ(encA.out.HasColoured(refusal, kColorRed), row.result == 0) << encA.out.text;
    }
}

TEST_F(SorbelinEncoderTest, ChipComesFromTheLastLetterOfTheName) {
    Recording<CSorbelinEncoder> digit{&dspA, &bridge, nullptr, "CSorbelinEncoder1"};
    Recording<CSorbelinEncoder> blank{&dspA, &bridge, nullptr, "CSorbelinEncoderA "};
    Recording<CSorbelinEncoder> lower{&dspA, &bridge, nullptr, "CSorbelinEncoderb"};
    EXPECT_EQ(encA.GetChipFromName(1), 1);
    EXPECT_EQ(encB.GetChipFromName(5), 2);
    EXPECT_TRUE(encB.out.HasColoured("CSorbelinEncoder::ClassName[CSorbelinEncoderB] String[B] Char[B] isAlpha[1] Value[2]\n", kColorBlack))
        << encB.out.text;
    EXPECT_EQ(digit.GetChipFromName(1), 0);
    EXPECT_EQ(blank.GetChipFromName(1), 0);  // trailing blanks are not trimmed here
    EXPECT_EQ(lower.GetChipFromName(1), 2);
    EXPECT_TRUE(digit.out.text.empty());
}

TEST_F(SorbelinEncoderTest, OnlyEncodeHasHelp) {
    EXPECT_EQ(encA.Help("Encode IMG=$(IMG_LIST)"), kRunPassed);
    const std::string& help = encA.out.text;
    EXPECT_EQ(help.rfind("CSorbelinEncoder Encode IMG=$(IMG_LIST)\n    For each VCID in list\n      FlushDMAStreams  - All streams to/from sorbelin\n", 0), 0u)
        << help;
    EXPECT_NE(help.find("        if FAIL execute OnFail commands\n\nSYNTAX:   Encode [IMG=$(IMG_LIST)] [FRAMES=n]"), std::string::npos);
    EXPECT_EQ(help.substr(help.size() - 63), "NoReset     If set does not perform a reset after test is run\n\n");
    for (const char* name : {"Dump Regs", "Show RevID", "encode"}) {
        encA.out = {};
        encA.Help(name);
        EXPECT_EQ(encA.out.text, std::string("\nHelp is not available for:\n  ") + name + "\n");
    }
}

TEST_F(SorbelinEncoderTest, DetermineZyvPackageNeedsAPathAndAKnownPackage) {
    EXPECT_EQ(encA.RunTest("Determine Zyv Package"), 0u);
    EXPECT_TRUE(encA.out.HasColoured("Unable to get PATH from command line\n", kColorRed));
    encA.out = {};
    EXPECT_EQ(encA.RunTest("Determine Zyv Package PATH=/no/such/folder"), 0u);
    EXPECT_TRUE(encA.out.HasColoured("Unable to expand PATH specified on the command line\n", kColorRed));
    // A folder of files that form no package: each file's line, then a failure.
    support::TempDir dir;
    dir.Write("A.zyv", "not a package");
    dir.Write("B.zyv", "nor this");
    encA.out = {};
    EXPECT_EQ(encA.RunTest(("Determine Zyv Package VERBOSE=2 PATH=" + Bracketed(dir.Path())).c_str()), 0u);
    EXPECT_TRUE(encA.out.Has("ZYV Package Date:  0\n")) << encA.out.text;
    const size_t a = encA.out.text.find("FILE[A.zyv]  CRC[0x"), b = encA.out.text.find("FILE[B.zyv]  CRC[0x");
    ASSERT_NE(a, std::string::npos) << encA.out.text;
    ASSERT_NE(b, std::string::npos) << encA.out.text;
    EXPECT_LT(a, b);
    // The shipped package is recognised.
    encA.out = {};
    EXPECT_EQ(encA.RunTest(("Determine Zyv Package PATH=" + Bracketed(kShippedSet)).c_str()), 1u);
    EXPECT_TRUE(encA.out.Has("FILE[ZM04D6.zyv]  CRC[0x")) << encA.out.text;
    // Each file's whole 32-bit checksum: CRC-32/MPEG-2 computed here bit by bit.
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kShippedSet)) {
        std::vector<BYTE> bytes;
        ASSERT_TRUE(platform::ReadWholeFile(entry.path().string().c_str(), bytes));
        DWORD crc = 0xFFFFFFFF;
        for (const BYTE b : bytes) {
            crc ^= DWORD{b} << 24;
            for (int i = 0; i < 8; ++i) crc = (crc & 0x80000000u) ? crc << 1 ^ 0x04C11DB7u : crc << 1;
        }
        char line[64];
        std::snprintf(line, sizeof line, "FILE[%s]  CRC[0x%08X]\n", entry.path().filename().string().c_str(), crc);
        EXPECT_TRUE(encA.out.HasColoured(line, kColorBlack)) << line << encA.out.text;
        ++files;
    }
    EXPECT_EQ(files, 15u);
}

TEST_F(SorbelinEncoderTest, InitRegsChecksTheBridgeAndTheDeviceAndInitialisesTheDDROncePerProgramming) {
    for (auto* t : {&encA, &encB}) {
        SCOPED_TRACE(t->GetName().str());
        ASSERT_EQ(Program(*t), kRunPassed) << t->out.text;
        ASSERT_EQ(t->GetProgramFlag(), 1);
        t->out = {};
        EXPECT_TRUE(t->InitRegs(2));
        EXPECT_TRUE(t->out.HasColoured("Dremolun Rev[0x01.0x001]\n", kColorBlack)) << t->out.text;
        EXPECT_TRUE(t->out.HasColoured("  R2B DDR done received\n", kColorGreen)) << t->out.text;
        EXPECT_TRUE(t->out.HasColoured("  Coeff DDR done received\n", kColorGreen)) << t->out.text;
        EXPECT_EQ(t->GetProgramFlag(), 0);
        // Both done bits were cleared; the next wait starts nothing.
        t->out = {};
        t->ShowStatus();
        EXPECT_EQ(t->out.text.rfind("R2B_DDR_Done=0\nCoeff_DDR_Done=0\nCodeTableLoadDone=0\n", 0), 0u) << t->out.text;
        EXPECT_TRUE(t->RAMInit(2));
        EXPECT_FALSE(t->out.Has("DDR done received"));
        t->out = {};
        EXPECT_EQ(t->RunTest("Show RevID"), 1u);
        EXPECT_TRUE(t->out.HasColoured(t == &encA ? "Revision ID register = [0x16008050]\n" : "Revision ID register = [0x17008050]\n", kColorBlack))
            << t->out.text;
        EXPECT_TRUE(t->out.Has("CSorbelinEncoder::GetRevisionID() LO[0x60000018] = [0x00008050]\n"));
    }
}

TEST_F(SorbelinEncoderTest, ShowStatusReportsTheDoneBitsOfAStartedSequence) {
    ASSERT_EQ(Program(encA), kRunPassed);
    // A configured chip reports its PLLs out of lock until that is cleared: the top bit alone.
    encA.out = {};
    encA.ShowStatus();
    EXPECT_EQ(encA.out.text, "R2B_DDR_Done=0\nCoeff_DDR_Done=0\nCodeTableLoadDone=0\nByteCostError=0\nPadByteError=0\nNewFrame=0\n"
                             "PatternGeneratorDone=0\nDCM_NoLock=1\n");
    encA.ClearStatus();
    bridge.WriteDataFixed(CSorbelinEncoder::kDDRStart, 1);
    Sleep(10);
    encA.out = {};
    encA.ShowStatus();
    EXPECT_EQ(encA.out.text, "R2B_DDR_Done=1\nCoeff_DDR_Done=0\nCodeTableLoadDone=0\nByteCostError=0\nPadByteError=0\nNewFrame=0\n"
                             "PatternGeneratorDone=0\nDCM_NoLock=0\n");
}

TEST_F(SorbelinEncoderTest, ChipBIsExpectedByTheBoardArtwork) {
    struct Row {
        const char* vpd;
        DWORD expected;
    } const rows[] = {
        {R"(, "vpd": {"ZA": "02"})", 0x170}, {R"(, "vpd": {"ZA": "1"})", 0x160}, {R"(, "vpd": {"ZA": "AB"})", 0x160},
        {R"(, "vpd": {"ZA": ""})", 0x170},   {R"(, "vpd": {"ZA": null})", 0x170}, {R"(, "vpd": {"ZA": "1234567890123456789012345678901234567890123456789012345678901234567890"})", 0x170},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.vpd);
        LoadFaults("[]", row.vpd);
        EXPECT_EQ(encA.GetExpectedRevision(), 0x160u);
        EXPECT_EQ(encB.GetExpectedRevision(), row.expected);
        // The rig's chip B answers the same way.
        ASSERT_EQ(Program(encB), kRunPassed);
        encB.out = {};
        EXPECT_TRUE(encB.InitRegs(1)) << encB.out.text;
    }
    Recording<CSorbelinEncoder> detached{&dspB, &bridge, nullptr, "CSorbelinEncoderB"};
    EXPECT_EQ(detached.GetExpectedRevision(), 0u);
    EXPECT_TRUE(detached.out.HasColoured("ERROR:  CSorbelinEncoder::GetExpectedRevision()  pBar0Space is NULL\n", kColorRed));
}

TEST_F(SorbelinEncoderTest, InitRegsFaults) {
    struct Row {
        const char* faults;
        const char* message;
        COLORREF colour;
    } const rows[] = {
        {R"([{"kind": "bridge_wrong_id", "board": "Nuxa1", "id": 272, "major": 0, "minor": 1}])", "WARNING: Dremolun Major rev not high enough\n", kColorRed},
        {R"([{"kind": "bridge_wrong_id", "board": "Nuxa1", "id": 272, "major": 1, "minor": 0}])", "ERROR: Dremolun Minor rev not high enough\n", kColorRed},
        {R"([{"kind": "bridge_wrong_id", "board": "Nuxa1", "id": 273, "major": 1, "minor": 1}])", "ERROR: Bad Dremolun ID = 0x11101001", kColorRed},
        {R"([{"kind": "codec_ddr_init_never_done", "board": "Nuxa1", "chip": 1, "memory": 64}])", "Coeff DDR not received\n", kColorGreen},
        {R"([{"kind": "codec_ddr_init_never_done", "board": "Nuxa1", "chip": 1, "memory": 32}])", "R2B DDR not received\n", kColorGreen},
        // A device id that differs from the expected one in its top bit only.
        {R"([{"kind": "codec_wrong_device_id", "board": "Nuxa1", "chip": 1, "id": 2400}])",
         "Incorrect Sorbelin rev expected[0x160]  Received(DevID[0x960]  Major[0x008]  Minor[0x50]  full[0x96008050])\n", kColorRed},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.faults);
        LoadFaults(row.faults);
        ASSERT_EQ(Program(encA), kRunPassed);
        encA.out = {};
        EXPECT_FALSE(encA.InitRegs(2));
        EXPECT_TRUE(encA.out.HasColoured(row.message, row.colour)) << encA.out.text;
        // A failed wait leaves the sequence to run again.
        EXPECT_EQ(encA.GetProgramFlag(), 1);
        // Chip B is not affected by chip A's memory.
        if (std::string(row.faults).find("ddr") != std::string::npos) {
            ASSERT_EQ(Program(encB), kRunPassed);
            EXPECT_TRUE(encB.InitRegs(1));
        }
    }
    // A bridge revision is read field by field, each to its top bit: the widest ones pass.
    struct Passing {
        const char* faults;
        const char* line;
    } const passing[] = {
        {R"([{"kind": "bridge_wrong_id", "board": "Nuxa1", "id": 272, "major": 128, "minor": 1}])", "Dremolun Rev[0x80.0x001]\n"},
        {R"([{"kind": "bridge_wrong_id", "board": "Nuxa1", "id": 272, "major": 1, "minor": 2048}])", "Dremolun Rev[0x01.0x800]\n"},
    };
    for (const Passing& row : passing) {
        SCOPED_TRACE(row.faults);
        LoadFaults(row.faults);
        ASSERT_EQ(Program(encA), kRunPassed);
        encA.out = {};
        EXPECT_TRUE(encA.InitRegs(1)) << encA.out.text;
        EXPECT_TRUE(encA.out.HasColoured(row.line, kColorBlack)) << encA.out.text;
    }
    // A chip with another personality has no revision register there.
    LoadFaults("[]");
    ASSERT_EQ(encA.Run(("Program VERBOSITY=1 FILE=" + Bracketed(support::Fixture("oxd/SDIA0202.oxd"))).c_str()), kRunPassed);
    encA.out = {};
    EXPECT_FALSE(encA.InitRegs(1));
    EXPECT_TRUE(encA.out.HasColoured("Incorrect Sorbelin rev expected[0x160]  Received(DevID[0x000]  Major[0x000]  Minor[0x00]  full[0x00000000])\n",
                                     kColorRed))
        << encA.out.text;
}

TEST_F(SorbelinEncoderTest, ContextEntryAndVideoInput) {
    ASSERT_EQ(Program(encA), kRunPassed);
    Alpha::YCbCr_8bit bypass(480, 320), other(720, 486);
    struct Row {
        int index;
        CImage* image;
        BOOL result;
    } const rows[] = {{16, &bypass, FALSE}, {0, &other, FALSE}, {-1, &bypass, FALSE}, {0, nullptr, FALSE}, {3, &bypass, TRUE}};
    for (const Row& row : rows) EXPECT_EQ(encA.SetContext(row.index, row.image), row.result) << row.index;
    const DWORD expected[4] = {480 | 3u << 12 | 320u << 16, 0, 0x8002, 0};
    for (DWORD entry = 0; entry < 16; ++entry)
        for (DWORD w = 0; w < 4; ++w)
            EXPECT_EQ(bridge.ReadDataFixed(CSorbelinEncoder::kContextRAM + 16 * entry + 4 * w), entry == 3 ? expected[w] : 0u) << entry << " " << w;
    bridge.WriteDataFixed(CSorbelinEncoder::kControl, 0xFFFF);
    EXPECT_TRUE(encA.EnableVideoInput());
    EXPECT_EQ(bridge.ReadDataFixed(CSorbelinEncoder::kControl), 2u);
    // Without a controller the RAM clock cannot be set.
    encA.out = {};
    EXPECT_FALSE(encA.SetSDRAMClock(1));
    EXPECT_TRUE(encA.out.HasColoured("ERROR:  Unable to set SulvthSDRAMClock\n", kColorRed));
}

TEST_F(SorbelinEncoderTest, CodecStatusKeepsEveryErrorBit) {
    struct Row {
        DWORD word;
        int result;
        std::vector<std::string> lines;  // in this order, after the status line
    } const rows[] = {
        {0, 1, {}},
        {0x00007FE0, 1, {}},  // no error bit
        {0x00000010, 2, {"CODEC ERROR: INVALID_FRAME_MISSING_SIGNATURE\n"}},
        {0x00400000, 2, {"CODEC ERROR: CRC1_OR_CRC2_ERROR\n"}},
        {0x80010001, 2, {"CODEC ERROR: STATS_EDMA_TIMEOUT_ERROR\n", "CODEC ERROR: FPGA_DCM_NO_LOCK_ERROR\n", "CODEC ERROR: DSP_NMI_INT_ERROR\n"}},
        // Each half's top error bit alone.
        {0x80000000, 2, {"CODEC ERROR: DSP_NMI_INT_ERROR\n"}},
        {0x00008000, 2, {"CODEC ERROR: FIRMWARE_ERROR\n"}},
        {0x00010000, 2, {"CODEC ERROR: FPGA_DCM_NO_LOCK_ERROR\n"}},
        {0x7F807FE0, 1, {}},  // every bit that is no error
    };
    EXPECT_EQ(encA.GetCodecStatus(nullptr), 2);
    // A halted DSP reports its halted word, an error.
    DWORD halted = 0;
    EXPECT_EQ(encA.GetCodecStatus(&halted), 2);
    ASSERT_TRUE(Boot(dspA));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.word);
        bridge.SetDSPBlock(1);
        bridge.WriteDataFixed(CSorbelinEncoder::kCodecStatus, row.word);
        DWORD status = 0;
        EXPECT_EQ(encA.GetCodecStatus(&status), row.result);
        EXPECT_EQ(status, row.word);
        encA.out = {};
        encA.ShowCodecStatus();
        if (row.result == 1) {
            EXPECT_EQ(encA.out.coloured, (std::vector<std::pair<std::string, COLORREF>>{{"CODEC STATUS:  OK\n", kColorGreen}}));
            continue;
        }
        char head[64];
        std::snprintf(head, sizeof head, "DSP CODEC STATUS[0x%08X]\n", row.word);
        std::vector<std::pair<std::string, COLORREF>> expected{{head, kColorRed}};
        for (const std::string& line : row.lines) expected.emplace_back(line, kColorRed);
        EXPECT_EQ(encA.out.coloured, expected);
    }
}

TEST_F(SorbelinEncoderTest, DumpRegsDecodesEveryRegisterAndTheContextRAM) {
    ASSERT_EQ(Program(encA), kRunPassed);
    ASSERT_TRUE(Boot(dspA));
    encA.out = {};
    EXPECT_EQ(encA.RunTest("Dump Regs"), 1u);
    // A freshly programmed chip: empty context RAM, the PLLs not yet reported locked.
    EXPECT_EQ(support::Count(encA.out.text, "] ID[0] VCID[0x00000000] Width[0] Height[0] bits[8] offset[0x00000000]\n"), 16u) << encA.out.text;
    EXPECT_TRUE(encA.out.Has("Status[0x8000]\n\tOne or more of the PLLs are not locked\n\tor have gone out of lock since last cleared.\n"
                             "\t(After power up, this bit will be 1 and must\n\tbe cleared by the firmware.\nControl[0x"))
        << encA.out.text;
    EXPECT_TRUE(encA.out.Has("CRAM[15]  Addr[0x600001F0] ID[0]"));
    EXPECT_TRUE(encA.out.HasColoured("CODEC STATUS:  OK\n", kColorGreen));
    // Set-up as a test leaves it.
    Alpha::YCbCr_8bit bypass(480, 320);
    ASSERT_TRUE(encA.SetContext(3, &bypass));
    encA.EnableVideoInput();
    encA.ClearStatus();
    bridge.WriteDataFixed(CSorbelinEncoder::kDDRStart, 1);
    bridge.WriteDataFixed(CSorbelinEncoder::kInterruptEnable, 0x8001);
    bridge.WriteDataFixed(CSorbelinEncoder::kInterrupt, 0x0804);
    bridge.WriteDataFixed(CSorbelinEncoder::kContextID, 0x0123);
    bridge.WriteDataFixed(CSorbelinEncoder::kVCIDLow, 0x04D6);
    bridge.WriteDataFixed(CSorbelinEncoder::kVCIDHigh, 0x0001);
    bridge.WriteDataFixed(CSorbelinEncoder::kCodecStatus, 0x10);
    Sleep(10);
    encA.out = {};
    EXPECT_EQ(encA.RunTest("Dump Regs"), 1u);
    const std::string& t = encA.out.text;
    for (const char* part : {
             "CSorbelinEncoder::GetRevisionID() HI[0x6000001C] = [0x00001600]\nRevision ID register = [0x16008050]\n",
             "Status[0x0001]\n\tR2B DDR SDRAM initialization sequence has completed.\nControl[0x0002]\n",
             "Control[0x0002]\n\tCode table loading is ignored\n\t(Video may be  processed.)\n\tEnable video input from VelkoDrun input port.\n"
             "\t(Ignored when the PG Select bit is 1.)\n\tEnable context updates from the VelkoDrun input port.\n\tContext[0]\n"
             "\tSpecifies the context ID",
             "Interrupt Enable[0x8001]\n\tDCM No Lock interrupt enabled\n\tR2B DDR Done interrupt enabled\n"
             "Interrupt[0x0804]\n\tByte Cost Error interrupt received\n\tCode Table Load Done interrupt received\n",
             "ContextID[0x0123]\n\tContextID = 3\n\tContext Offset = 0x00000012\nVCID[0x104D6]\n",
             "CRAM[3]  Addr[0x60000130] ID[3] VCID[0x00008002] Width[480] Height[320] bits[8] offset[0x00000000]\n",
             "DSP CODEC STATUS[0x00000010]\nCODEC ERROR: INVALID_FRAME_MISSING_SIGNATURE\n"})
        EXPECT_NE(t.find(part), std::string::npos) << part << "\n---\n" << t;
    // Every bit of Status and Control at once.
    bridge.WriteDataFixed(CSorbelinEncoder::kControl, 0xCF05);
    encA.out = {};
    encA.DumpRegs();
    for (const char* part : {"Control[0xCF05]\n\tCode tables may be loaded.\n", "\tDisable video input from VelkoDrun input port.\n",
                             "\tDisable context updates from the VelkoDrun input\n", "\tContext[15]\n", "(1=Start new frame, 0=Nothing)\n",
                             "(1=Pattern Generator, 0=Normal YJ port data)\nInterrupt Enable["})
        EXPECT_NE(encA.out.text.find(part), std::string::npos) << part << "\n---\n" << encA.out.text;
    // Every field at its widest: the upper halves, the top bits, the last context entry.
    bridge.WriteDataFixed(CSorbelinEncoder::kInterruptEnable, 0xF807);
    bridge.WriteDataFixed(CSorbelinEncoder::kInterrupt, 0xF807);
    bridge.WriteDataFixed(CSorbelinEncoder::kContextID, 0x3FFF);
    bridge.WriteDataFixed(CSorbelinEncoder::kVCIDLow, 0xFFFE);
    bridge.WriteDataFixed(CSorbelinEncoder::kVCIDHigh, 0x8001);
    const DWORD last = CSorbelinEncoder::kContextRAM + 16 * 15;
    const DWORD entry[4] = {0xFFFFFFFF, 0xFFFFFFFF, 0x87654321, 0};
    for (DWORD w = 0; w < 4; ++w) bridge.WriteDataFixed(last + 4 * w, entry[w]);
    encA.out = {};
    encA.DumpRegs();
    for (const std::string kind : {"enabled", "received"}) {
        std::string lines;
        for (const char* name : {"DCM No Lock", "Pattern Generator Done", "New context", "Pad Byte Error", "Byte Cost Error", "Code Table Load Done",
                                 "Coeff DDR Done", "R2B DDR Done"})
            lines += std::string("\t") + name + " interrupt " + kind + "\n";
        EXPECT_NE(encA.out.text.find((kind == "enabled" ? "Interrupt Enable[0xF807]\n" : "Interrupt[0xF807]\n") + lines), std::string::npos)
            << encA.out.text;
    }
    for (const char* part : {"ContextID[0x3FFF]\n\tContextID = 15\n\tContext Offset = 0x000003FF\n", "VCID[0x8001FFFE]\n",
                             "CRAM[15]  Addr[0x600001F0] ID[15] VCID[0x87654321] Width[4095] Height[4095] bits[10] offset[0x000003FF]\n"})
        EXPECT_NE(encA.out.text.find(part), std::string::npos) << part << "\n---\n" << encA.out.text;
}

TEST_F(SorbelinEncoderTest, VCIDListForms) {
    struct Row {
        const char* value;  // as given to Set Environment (outer brackets are removed there)
        std::vector<DWORD> vcids;
        const char* message;
    } const rows[] = {
        {"0x4d6", {0x4D6}, nullptr},
        {"((1238))", {1238}, nullptr},
        {"(0x4D6,0x4E3)", {0x4D6, 0x4E3}, nullptr},
        {"(0x4D6, 0x4E3,(0x4e4))", {0x4D6, 0x4E3, 0x4E4}, nullptr},
        {"(0X4D6,(12),ZZ,0x4D6)", {0x4D6, 0x4D6}, nullptr},  // decimal and junk entries skipped, duplicates kept
        {"0x804D6000", {0x804D6000}, nullptr},                // all 32 bits
        {"(0xFFFFFFFF,0x10004E3)", {0xFFFFFFFF, 0x10004E3}, nullptr},
        {"12", {}, "ERROR:  Invalid VCID in VCID list\n"},
        {"((4294967295))", {0xFFFFFFFF}, nullptr},
        // Past 32 bits, or below 0: refused whole, never the VCID of the low bits.
        {"0x1000004D6", {}, "Argument VCID_LIST=0X1000004D6 does not fit its range 0..4294967295\n"},
        {"((4294968534))", {}, "Argument VCID_LIST=(4294968534) does not fit its range 0..4294967295\n"},
        {"((-1))", {}, "Argument VCID_LIST=(-1) does not fit"},
        {"(0x4D6,0x1000004E3)", {}, "Argument VCID_LIST=0X1000004E3 does not fit"},
        {"(0x4D6,0x-1,0x4E3)", {}, "Argument VCID_LIST=0X-1 does not fit"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        ASSERT_TRUE(encA.SetEnvironment(CString("VARIABLE=VCID_LIST VALUE=") + row.value));
        encA.out = {};
        EXPECT_EQ(encA.GetVCIDList(), row.vcids);
        if (row.message) EXPECT_TRUE(encA.out.HasColoured(row.message, kColorRed)) << encA.out.text;
        else EXPECT_TRUE(encA.out.text.empty()) << encA.out.text;
    }
    encA.RunTest("Clear Environment");
    EXPECT_TRUE(encA.GetVCIDList().empty());
    EXPECT_TRUE(encA.out.HasColoured("ERROR:  Unable to find VCID_LIST environment variable!\n", kColorRed));
}

TEST_F(SorbelinEncoderTest, CompareFilesRunsOncePerVCID) {
    support::TempDir dir;
    dir.Write("a_04D6.img", "same");
    dir.Write("b_04D6.img", "same");
    dir.Write("a_04E3.img", "one");
    dir.Write("b_04E3.img", "two");
    dir.Write("a_04E4.img", "x");
    dir.Write("b_04E4.img", "x");
    const std::string command =
        "Compare Files FILE1=" + Bracketed(dir.File("a_$(VCID_LIST).img")) + " FILE2=" + Bracketed(dir.File("b_$(VCID_LIST).img"));
    ASSERT_TRUE(encA.SetEnvironment("VARIABLE=VCID_LIST VALUE=(0x4D6,0x4E4)"));
    encA.out = {};
    EXPECT_EQ(encA.Run(command.c_str()), kRunPassed) << encA.out.text;
    EXPECT_EQ(support::Count(encA.out.text, " Pass\n"), 2u);
    EXPECT_TRUE(
        encA.out.HasColoured("Compare Files FILE1=" + Bracketed(dir.File("a_04D6.img")) + " FILE2=" + Bracketed(dir.File("b_04D6.img")), kColorBlack))
        << encA.out.text;
    // One mismatch fails the whole compare, and every VCID is still compared.
    ASSERT_TRUE(encA.SetEnvironment("VARIABLE=VCID_LIST VALUE=(0x4E3,0x4D6)"));
    encA.out = {};
    EXPECT_EQ(encA.RunTest(command.c_str()), 0u);
    EXPECT_LT(encA.out.text.find(" FAIL\n"), encA.out.text.find(" Pass\n"));
    // Without a list: a failure, not a stop.
    encA.RunTest("Clear Environment");
    encA.out = {};
    EXPECT_EQ(encA.Run(command.c_str()), kRunFailed);
    EXPECT_TRUE(encA.out.HasColoured("$(VCID_LIST) specified but VCID_LIST environment variable not defined\n", kColorRed));
    EXPECT_EQ(encA.CompareFiles(command.c_str()), 0);
    // Without the macro, the plain compare.
    encA.out = {};
    EXPECT_EQ(encA.RunTest(("Compare Files FILE1=" + Bracketed(dir.File("a_04D6.img")) + " FILE2=" + Bracketed(dir.File("b_04D6.img"))).c_str()), 1u);
    EXPECT_FALSE(encA.out.Has(" Pass\n"));
}

TEST_F(SorbelinEncoderTest, SourcePicturesFollowTheEntryKey) {
    using Ten = Unpacked::Image::YCbCr_10_6;
    auto solid8 = [](BYTE y, BYTE cb, BYTE cr) {
        auto* i = new Image::YCbCr_8bit(16, 4);
        i->FillSolid(y, cb, cr);
        return static_cast<CImage*>(i);
    };
    auto solid10 = [](WORD y, WORD cb, WORD cr) {
        auto* i = new Ten(16, 4);
        i->FillSolid(y, cb, cr);
        return static_cast<CImage*>(i);
    };
    auto wedge8 = [](DWORD mode) {
        auto* i = new Image::YCbCr_8bit(16, 4);
        i->FillHorzWedge(mode);
        return static_cast<CImage*>(i);
    };
    auto vwedge10 = [](DWORD mode) {
        auto* i = new Ten(16, 4);
        i->FillVertWedge(mode, 0, 0x3FF);
        return static_cast<CImage*>(i);
    };
    auto random10 = [](DWORD seed) {
        auto* i = new Ten(16, 4);
        i->FillRandom(seed, 1, 0, 0x3FF);
        return static_cast<CImage*>(i);
    };
    struct Row {
        const char* entry;
        bool tenBit;
        CImage* expected;  // null: refused
        const char* line;
    } const rows[] = {
        {"SOLID=(Y=0:CB=0:CR=0)=>x.img", false, solid8(0, 0, 0), "Test Solid:  Y=0, Cb=0, Cr=0\n"},
        {"SOLID=(Y=0x40)=>x.img", true, solid10(64, 512, 512), "Test Solid:  Y=64, Cb=512, Cr=512\n"},
        {"SOLID=(Y=400:CB=50:CR=640)=>x.img", true, solid10(400, 50, 640), "Test Solid:  Y=400, Cb=50, Cr=640\n"},
        {"SOLID=(CR=junk)=>x.img", false, solid8(502 & 0xFF, 0, 0), "Test Solid:  Y=502, Cb=512, Cr=512\n"},
        {"SOLID=(Y=0x1FFFFFFFF)=>x.img", true, nullptr, "Argument SOLID Y=0X1FFFFFFFF does not fit its range 0..4294967295\n"},
        {"SOLID=(CB=-2147483649)=>x.img", false, nullptr, "Argument SOLID CB=-2147483649 does not fit its range -2147483648..2147483647\n"},
        {"HORZ_WEDGE_RED2BLUE=>x.img", false, wedge8(1), nullptr},
        {"HORZ_WEDGE=>x.img", false, wedge8(0), nullptr},
        // Blue to red is wedge mode 2, red to blue mode 1.
        {"HORZ_WEDGE_BLUE2RED=>x.img", false, wedge8(2), nullptr},
        {"VERT_WEDGE_BLUE2RED=>x.img", true, vwedge10(2), nullptr},
        {"VERT_WEDGE_RED2BLUE=>x.img", true, vwedge10(1), nullptr},
        {"RANDOM SEED=0x12345678=>x.img", true, random10(0x12345678), "SEED=0x12345678\n"},
        {"RANDOM SEED=99=>x.img", true, random10(99), "SEED=0x00000063\n"},
        {"RANDOM SEED=zz=>x.img", true, random10(0x12345678), "SEED not understood using 0x12345678\n"},
        {"RANDOM SEED=4294967297=>x.img", true, random10(0x12345678), "SEED not understood using 0x12345678\n"},
        {"WEDGE=>x.img", false, nullptr, "Unrecognized image pattern[WEDGE]\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.entry);
        std::unique_ptr<CImage> expected(row.expected);
        std::unique_ptr<CImage> built(row.tenBit ? static_cast<CImage*>(new Ten(16, 4)) : new Image::YCbCr_8bit(16, 4));
        CKeyValue entry(row.entry, "=>");
        encA.out = {};
        const BOOL ok = row.tenBit ? encA.BuildSourceImage10(entry, built.get(), 0x4D6, 1) : encA.BuildSourceImage8(entry, built.get(), 0x4D6, 1);
        EXPECT_TRUE(encA.out.HasColoured(std::string("\n") + row.entry, kColorGreen)) << encA.out.text;
        if (row.line) {
            EXPECT_TRUE(encA.out.Has(row.line)) << encA.out.text;
        }
        ASSERT_EQ(ok, expected ? TRUE : FALSE) << encA.out.text;
        if (!expected) continue;
        EXPECT_EQ(std::memcmp(built->GetBuffer(), expected->GetBuffer(), expected->GetSize()), 0);
    }
    // The two wedge modes differ, so the key order matters.
    std::unique_ptr<CImage> a(wedge8(0)), b(wedge8(1));
    EXPECT_NE(std::memcmp(a->GetBuffer(), b->GetBuffer(), a->GetSize()), 0);
    // An 8-bit builder does not take a 10-bit picture.
    Ten ten(16, 4);
    CKeyValue grid("GRID=>x.img", "=>");
    EXPECT_FALSE(encA.BuildSourceImage8(grid, &ten, 0x4D6, 1));
}

TEST_F(SorbelinEncoderTest, ImageNamesAndLoadedSources) {
    support::TempDir dir;
    const std::string bytes = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";  // a 4 x 4 8-bit picture
    dir.Write("Decoded_4_4_8.img", bytes);
    dir.Write("E_4D6.img", "ref");
    // Variables are stored upper-cased; file names are matched in any case.
    ASSERT_TRUE(encA.SetEnvironment(("VARIABLE=DECOMPRESS_IMAGE VALUE=" + Bracketed(dir.File("Decoded_$(X)_$(Y)_$(P).img"))).c_str()));
    ASSERT_TRUE(encA.SetEnvironment(("VARIABLE=COMPRESS_IMAGE VALUE=" + Bracketed(dir.File("E_$(VCID_LIST).img"))).c_str()));
    struct Row {
        const char* name;
        DWORD vcid;
        BOOL found;
        const char* ends;  // how the expanded name ends
    } const rows[] = {
        {"Env.$(COMPRESS_IMAGE)", 0x4D6, TRUE, "E_4D6.img"},  // "%X": no leading zero; found in its own case
        {"Env.$(COMPRESS_IMAGE)", 0x4E3, FALSE, "E_4E3.IMG"},
        {"Env.$(DECOMPRESS_IMAGE)", 0x4D6, TRUE, "Decoded_4_4_8.img"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CString name = row.name;
        EXPECT_EQ(encA.ExpandImageName(name, row.vcid, 4, 4, 8), row.found);
        const std::string got = name.str(), ends = row.ends;
        ASSERT_GE(got.size(), ends.size());
        EXPECT_EQ(got.substr(got.size() - ends.size()), ends) << got;
    }
    Image::YCbCr_8bit picture(4, 4);
    CKeyValue entry("Env.$(DECOMPRESS_IMAGE)=>Env.$(COMPRESS_IMAGE)", "=>");
    encA.out = {};
    ASSERT_TRUE(encA.BuildSourceImage8(entry, &picture, 0x4D6, 2)) << encA.out.text;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(picture.GetBuffer()), 32), bytes);
    EXPECT_TRUE(encA.out.Has("SrcImg Decompressed:  ")) << encA.out.text;
    // A picture of another size names another file.
    Image::YCbCr_8bit other(8, 4);
    encA.out = {};
    EXPECT_FALSE(encA.BuildSourceImage8(entry, &other, 0x4D6, 1));
    EXPECT_TRUE(encA.out.Has("ERROR: Unable to find DECOMPRESS_IMAGE[")) << encA.out.text;
    // After Clear Environment both references are reported by name.
    ASSERT_TRUE(encA.RunTest("Clear Environment"));
    encA.out = {};
    EXPECT_FALSE(encA.BuildSourceImage8(entry, &picture, 0x4D6, 2));
    EXPECT_TRUE(encA.out.HasColoured("ERROR:  Unable to find DECOMPRESS_IMAGE environment variable\n", kColorRed));
    CString compress = "Env.$(COMPRESS_IMAGE)";
    encA.out = {};
    EXPECT_FALSE(encA.ExpandImageName(compress, 0x4D6, 4, 4, 8));
    EXPECT_TRUE(encA.out.HasColoured("ERROR:  Unable to find COMPRESS_IMAGE environment variable\n", kColorRed));
}

TEST_F(SorbelinEncoderTest, PackageCheckFollowsTheDateRules) {
    support::TempDir dir;
    for (const DWORD revision : {43u, 44u, 47u, 48u, 52u}) {
        const std::vector<uint8_t> image = sim::BuildDspMicrocodeOxd(revision);
        std::filesystem::create_directories(dir.File("m" + std::to_string(revision)));
        dir.Write("m" + std::to_string(revision) + "/KAWF0101.oxd", std::string(image.begin(), image.end()));
    }
    for (const DWORD minor : {0x0Fu, 0x10u}) {
        const std::vector<uint8_t> image = sim::BuildCodecChipOxd("GUWT", sim::CodecChip::kEncoder << 20 | 0x08 << 12 | minor);
        std::filesystem::create_directories(dir.File("e" + std::to_string(minor)));
        dir.Write("e" + std::to_string(minor) + "/GUWT0202.oxd", std::string(image.begin(), image.end()));
    }
    // A set with one changed byte matches no release.
    support::TempDir changed;
    std::filesystem::copy(kShippedSet, changed.Path());
    {
        std::FILE* f = std::fopen(changed.File("ZM04D6.zyv").c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fseek(f, 40, SEEK_SET);
        const int c = std::fgetc(f);
        std::fseek(f, 40, SEEK_SET);
        std::fputc(c ^ 1, f);
        std::fclose(f);
    }
    const std::string zyv = support::Fixture("zyv") + "/";
    struct Row {
        std::string directory;
        DWORD microcode, encoderMinor;
        BOOL allowed;
        std::string message;
    } const rows[] = {
        {zyv + "20040319", 43, 0x10, FALSE, "ERROR:  Zyv Package[20040319] requires DSP code[" + dir.File("m43/KAWF0101.oxd") + "] 43 >= 44.  Zyv["},
        {zyv + "20040319", 44, 0x10, TRUE, ""},
        {zyv + "20040416", 47, 0x10, FALSE, "ERROR:  Zyv Package[20040416] requires DSP code[" + dir.File("m47/KAWF0101.oxd") + "] 47 >= 48.  Zyv["},
        {zyv + "20040416", 48, 0x10, TRUE, ""},
        {zyv + "20040521", 43, 0x10, TRUE, ""},  // later sets need no microcode minimum
        {zyv + "20040521", 52, 0x0F, FALSE, "ERROR:  Requires Encoder[" + dir.File("e15/GUWT0202.oxd") + "] [0x0000080F] > 810\n"},
        {zyv + "20040319", 44, 0x0F, FALSE, "] [0x0000080F] > 810\n"},
        {changed.Path(), 52, 0x10, FALSE, "Test does not allow Zyv Package Date of 0\n"},
        {"/no/such/folder", 52, 0x10, FALSE, "ERROR:  Zyv Path[/no/such/folder] is not valid\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.directory + " " + std::to_string(row.microcode) + " " + std::to_string(row.encoderMinor));
        encA.out = {};
        const CString microcode = dir.File("m" + std::to_string(row.microcode) + "/KAWF0101.oxd").c_str();
        const CString encoder = dir.File("e" + std::to_string(row.encoderMinor) + "/GUWT0202.oxd").c_str();
        EXPECT_EQ(encA.CheckZyvPackage(row.directory.c_str(), microcode, encoder, 1), row.allowed) << encA.out.text;
        if (!row.allowed) {
            EXPECT_TRUE(encA.out.HasColoured(row.message, 0xF0FF)) << encA.out.text;
        } else {
            EXPECT_TRUE(encA.out.text.empty()) << encA.out.text;
        }
    }
}

TEST_F(SorbelinEncoderTest, CompressedFrameSectionsAndChecksums) {
    // 1080 lines: 68 macroblock rows of 4 bytes.
    struct Start {
        DWORD header, lines, start;
    } const starts[] = {{1024, 1080, 1024 - 272}, {1024, 1081, 1024 - 272}, {1024, 1088, 1024 - 272}, {512, 480, 512 - 120}, {512, 8, 508}};
    for (const Start& s : starts) EXPECT_EQ(CSorbelinEncoder::GetMacroBlockStart(s.header, s.lines), s.start) << s.lines;
    // Frames of 64 bytes, with a CRC (byte 6 bit 0x10) or the end marker, whole or as two fields;
    // each stored word big-endian. The CRC is computed here bytewise (MSB-first, polynomial 0x04C11DB7).
    auto crc = [](const std::vector<BYTE>& bytes, size_t from, size_t count) {
        DWORD c = 0;
        for (size_t i = from; i < from + count; ++i) {
            c ^= static_cast<DWORD>(bytes[i]) << 24;
            for (int b = 0; b < 8; ++b) c = (c & 0x80000000u) ? c << 1 ^ 0x04C11DB7u : c << 1;
        }
        return c;
    };
    auto put = [](std::vector<BYTE>& bytes, size_t at, DWORD word) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<BYTE>(word >> (24 - 8 * i));
    };
    auto frame = [&](bool withCrc, bool fields) {
        std::vector<BYTE> f(64);
        for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<BYTE>(i * 7 + 3);
        f[6] = withCrc ? 0x10 : 0;
        const size_t field = fields ? 32 : 64;
        for (size_t at = 0; at < f.size(); at += field) put(f, at + field - 4, withCrc ? crc(f, at, field - 4) : 0x600DC0DE);
        return f;
    };
    struct Row {
        const char* name;
        bool withCrc, fields;
        size_t flip;  // byte changed after the words were set; 64 none
        BOOL pass;
    } const rows[] = {
        {"crc frame", true, false, 64, TRUE},       {"crc frame, data changed", true, false, 20, FALSE},
        {"crc frame, word changed", true, false, 63, FALSE}, {"crc fields", true, true, 64, TRUE},
        {"crc fields, second field changed", true, true, 40, FALSE}, {"crc fields, first word changed", true, true, 31, FALSE},
        {"marker frame", false, false, 64, TRUE},  {"marker frame, data changed", false, false, 20, TRUE},
        {"marker fields, first marker changed", false, true, 29, FALSE}, {"marker frame, marker changed", false, false, 62, FALSE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<BYTE> f = frame(row.withCrc, row.fields);
        if (row.flip < 64) f[row.flip] ^= 0x40;
        DWORD computed = 0, stored = 0;
        encA.out = {};
        EXPECT_EQ(encA.CheckFrameCRC(f.data(), 64, &computed, &stored, row.fields, TRUE), row.pass);
        if (!row.withCrc) {
            EXPECT_EQ(computed, 0x600DC0DEu);
        } else if (row.pass) {
            EXPECT_EQ(computed, crc(f, row.fields ? 32 : 0, row.fields ? 28 : 60));
        }
    }
}

// The rig's stand-in encoder as its header defines it, a byte at a time: the reference its one-pass,
// vectorised form must match.
std::vector<uint8_t> DefinedEncode(const sim::EncoderUnit& unit, size_t bytes) {
    std::vector<uint8_t> out(bytes, 0);
    if (bytes < 16) return out;
    const auto crc = [](uint32_t c, const uint8_t* data, size_t length) {
        for (size_t i = 0; i < length; ++i) {
            c ^= uint32_t{data[i]} << 24;
            for (int b = 0; b < 8; ++b) c = (c & 0x80000000u) ? c << 1 ^ 0x04C11DB7u : c << 1;
        }
        return c;
    };
    const auto put = [&](size_t at, uint32_t word) {
        for (size_t i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(word >> (24 - 8 * i));
    };
    const auto mix = [](uint32_t x) {
        x = (x ^ x >> 16) * 0x7FEB352Du;
        x = (x ^ x >> 15) * 0x846CA68Bu;
        return x ^ x >> 16;
    };
    const std::vector<uint8_t> none;
    const std::vector<uint8_t>& table = unit.table ? *unit.table : none;
    const size_t rows = ((unit.height + 7) / 8 * 8 + 8) / 16;
    const size_t header = std::min(64 + 4 * rows, bytes - 4) / 4 * 4;
    put(0, static_cast<uint32_t>(header));
    out[4] = static_cast<uint8_t>(unit.vcid >> 8);
    out[5] = static_cast<uint8_t>(unit.vcid);
    out[6] = unit.crc ? 0x10 : 0;
    out[7] = unit.tenBit ? 1 : 0;
    for (size_t i = 8; i < std::min<size_t>(64, header); ++i) out[i] = table.empty() ? static_cast<uint8_t>(i) : table[i % table.size()];
    const size_t band = unit.height ? unit.inputBytes / unit.height * 16 : 0;
    for (size_t r = 0; r < rows && 64 + 4 * r + 4 <= header; ++r) {
        const size_t from = std::min(unit.inputBytes, r * band);
        put(64 + 4 * r, crc(static_cast<uint32_t>(r), unit.input + from, std::min(unit.inputBytes - from, band)));
    }
    const uint32_t digest = crc(crc(unit.vcid, table.data(), table.size()), unit.input, unit.inputBytes);
    const size_t samples = unit.inputBytes / 4;
    for (size_t at = header, i = 0; at + 8 <= bytes; at += 4, ++i) {
        uint32_t sample = 0;
        if (samples) std::memcpy(&sample, unit.input + 4 * (i % samples), 4);
        const uint32_t t = table.empty() ? 0 : table[i % table.size()];
        put(at, mix(digest ^ sample ^ t << 24 ^ static_cast<uint32_t>(i) * 0x9E3779B9u));
    }
    put(bytes - 4, unit.crc ? crc(0, out.data(), bytes - 4) : 0x600DC0DEu);
    return out;
}

// Units of every shape: rows cut short by the header, samples and tables shorter than the data
// words (counted round their ends, in steps the vector path cannot take whole), odd sizes, none.
TEST(StandInEncoder, EveryUnitMatchesTheDefinition) {
    struct Row {
        const char* name;
        size_t inputBytes;
        uint32_t height;
        size_t bytes, tableBytes;
        bool crc, tenBit;
    } const rows[] = {
        {"1125 lines of 64 10-bit pixels", 64 * 4 * 1125, 1125, 0x10000, 1000, true, true},
        {"8-bit fields, end marker", 32 * 2 * 243, 243, 0x4000, 300, false, false},
        {"samples past the last row", 37 * 52 + 19, 37, 0x1000, 64, true, true},
        {"no height: every sample past the rows", 5000, 0, 0x800, 64, true, true},
        {"no samples", 0, 16, 0x400, 64, true, true},
        {"no table", 4096, 32, 0x800, 0, true, false},
        {"one-byte table", 4096, 32, 0x800, 1, true, true},
        {"table shorter than a vector step", 4096, 32, 0x800, 7, true, true},
        {"samples wrap many times", 40, 8, 0x1000, 9, true, true},
        {"odd sample bytes wrap", 43, 8, 0x1000, 33, true, true},
        {"header cut before the rows", 4096, 480, 40, 64, true, true},
        {"header cut inside the rows", 4096, 480, 96, 64, true, true},
        {"smallest unit", 4096, 480, 16, 64, true, true},
        {"below the smallest unit", 4096, 480, 8, 64, true, true},
        {"size not a multiple of 4", 4096, 16, 1002, 64, true, true},
    };
    std::mt19937 random(0x5EED);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> input(row.inputBytes), table(row.tableBytes);
        for (uint8_t& b : input) b = static_cast<uint8_t>(random());
        for (uint8_t& b : table) b = static_cast<uint8_t>(random());
        sim::EncoderUnit unit;
        unit.input = input.data();
        unit.inputBytes = input.size();
        unit.width = 64;
        unit.height = row.height;
        unit.tenBit = row.tenBit;
        unit.vcid = 0x4DF;
        unit.table = row.tableBytes ? &table : nullptr;
        unit.crc = row.crc;
        const std::vector<uint8_t> want = DefinedEncode(unit, row.bytes);
        const std::vector<uint8_t> got = sim::EncodeUnit(unit, row.bytes);
        ASSERT_EQ(got.size(), want.size());
        const auto differs = std::mismatch(got.begin(), got.end(), want.begin());
        EXPECT_TRUE(differs.first == got.end()) << "first difference at byte " << (differs.first - got.begin());
    }
}

// A unit the return channel takes at once is encoded from the port's bytes; one left waiting keeps
// its own copy, so the port may reuse its buffer. Either leaves through the video port, stuck bit
// and all.
TEST(StandInEncoder, AUnitLeftWaitingKeepsItsOwnSamples) {
    struct Row {
        const char* name;
        bool atOnce, stuckBit;
    } const rows[] = {{"taken at once", true, false}, {"left waiting", false, false}, {"left waiting, output bit 5 stuck at 1", false, true}};
    constexpr uint32_t kContextRam = 0x60000100, kUnitBytes = 0x2000;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::BoardConfig config;
        config.kind = sim::BoardKind::Nuxa;
        if (row.stuckBit) {
            sim::CodecChipFault stuck;
            stuck.kind = sim::CodecChipFault::Kind::OutputStuckBit;
            stuck.bit = 5;
            config.faults.codec.chips.push_back(stuck);
        }
        sim::CodecChip chip(config, 1);
        chip.Write(sim::CodecChip::kConfigControl, sim::CodecChip::kProg);
        chip.Write(sim::CodecChip::kConfigControl, 0);
        std::vector<uint8_t> stream = sim::Bitstream::Build(sim::CodecChip::kTargets, sim::CodecChip::kEncoderIdWord, 0x100);
        stream.resize((stream.size() + 3) / 4 * 4, 0);
        for (size_t i = 0; i < stream.size(); i += 4) chip.Write(sim::CodecChip::kConfigData, static_cast<uint32_t>(stream[i] | stream[i + 1] << 8 | stream[i + 2] << 16 | stream[i + 3] << 24));
        ASSERT_TRUE(chip.Configured());
        // Context 3: 16 x 32 10-bit pixels, table offset 0x40, VCID 0x4DF.
        chip.Write(kContextRam + 16 * 3, 16 | 32 << 16);
        chip.Write(kContextRam + 16 * 3 + 4, 0x40 | 1 << 16);
        chip.Write(kContextRam + 16 * 3 + 8, 0x4DF);
        std::vector<uint8_t> table(200);
        for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(i * 13 + 1);
        chip.LoadEncodeTables({{0x4DF, 0x40, table}});
        if (row.atOnce) chip.SetOutboundPush([&] { chip.PrepareOutbound(kUnitBytes); });
        std::vector<uint8_t> port(16 * 32 * 4);
        for (size_t i = 0; i < port.size(); ++i) port[i] = static_cast<uint8_t>(i * 7 + i / 256);
        const std::vector<uint8_t> sent = port;
        ASSERT_TRUE(chip.TakeFrame(3, port));
        std::fill(port.begin(), port.end(), 0xEE);  // the port's next transfer
        if (!row.atOnce) {
            EXPECT_TRUE(chip.Outbound().empty());
            chip.PrepareOutbound(kUnitBytes);
        }
        sim::EncoderUnit unit;
        unit.input = sent.data();
        unit.inputBytes = sent.size();
        unit.width = 16;
        unit.height = 32;
        unit.tenBit = true;
        unit.vcid = 0x4DF;
        unit.table = &table;
        std::vector<uint8_t> want = DefinedEncode(unit, kUnitBytes);
        if (row.stuckBit)
            for (size_t i = 0; i < want.size(); i += 4) want[i] |= 0x20;  // bit 5 of each little-endian word
        std::vector<uint8_t> got;
        for (const uint32_t w : chip.Outbound().TakeAll())
            for (int i = 0; i < 4; ++i) got.push_back(static_cast<uint8_t>(w >> (8 * i)));
        EXPECT_EQ(got, want);
    }
}

TEST_F(SorbelinEncoderTest, ContextEntryOfAPackageAndDSPTimeouts) {
    ASSERT_EQ(Program(encA), kRunPassed);
    CZyvFile package((std::string(PEX_TESTDATA_DIR) + "/zyv/20040521/ZM04D6.zyv").c_str());
    ASSERT_EQ(package.Load(), 1);
    encA.out = {};
    EXPECT_TRUE(encA.SetupEncoderContext(0, 0x4E0, package, 2));
    EXPECT_TRUE(encA.out.HasColoured("Context RAM loaded\n", kColorGreen));
    EXPECT_TRUE(encA.out.Has("USE VCID[0x04D6, 1238]\nContext ID[0]\nSorbelinOffset[1248]\n")) << encA.out.text;
    const DWORD width = package.GetRasterWidth(), height = package.GetRasterHeight();
    EXPECT_EQ(bridge.ReadDataFixed(CSorbelinEncoder::kContextRAM), (width & 0xFFF) | (height & 0xFFF) << 16);
    EXPECT_EQ(bridge.ReadDataFixed(CSorbelinEncoder::kContextRAM + 4), 0xE0u | (package.Is10Bit() ? 1u << 16 : 0));
    EXPECT_EQ(bridge.ReadDataFixed(CSorbelinEncoder::kContextRAM + 8), 0x4D6u);
    // Words 0 and 1 field by field, from the package's own header (little-endian DWORDs: flags at
    // 0x08, raster at 0x10 / 0x14), for each sample width and the whole offset field.
    struct Entry {
        const char* file;
        DWORD context, offset;
        DWORD word0, word1;
    } const entries[] = {
        {"ZM04D6.zyv", 0, 0x3FF, 720 | 486u << 16, 0x3FF},            // 8 bit
        {"ZM04E5.zyv", 15, 0x200, 1280 | 15u << 12 | 720u << 16, 0x200 | 1u << 16},  // 10 bit
        {"ZM04DF.zyv", 7, 0x1FF, 1920 | 7u << 12 | 1080u << 16, 0x1FF | 1u << 16},
    };
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.file);
        CZyvFile p((std::string(PEX_TESTDATA_DIR) + "/zyv/20040416/" + e.file).c_str());
        ASSERT_EQ(p.Load(), 1);
        EXPECT_TRUE(encA.SetupEncoderContext(e.context, e.offset, p, 1));
        const DWORD at = CSorbelinEncoder::kContextRAM + 16 * e.context;
        EXPECT_EQ(bridge.ReadDataFixed(at), e.word0);
        EXPECT_EQ(bridge.ReadDataFixed(at + 4), e.word1);
        EXPECT_EQ(bridge.ReadDataFixed(at + 8), p.GetVCID());
        EXPECT_EQ(bridge.ReadDataFixed(at + 12), 0u);
    }
    // The DSP's time-out bits, once its microcode runs.
    CString text;
    EXPECT_TRUE(encA.ReportDSPTimeouts(text));
    EXPECT_EQ(text, "ERROR:  DspMicrocodeRev[0] < 52\n");
    ASSERT_TRUE(Boot(dspA));
    struct Row {
        DWORD word;
        const char* text;
    } const rows[] = {{0, "No DSP timeouts occurred\n"},
                      {0xFFF0, "No DSP timeouts occurred\n"},
                      {0x5, "ERROR:  DSP Timeout EDMA STATS\nERROR:  DSP Timeout EDMA VLC\n"},
                      {0x8000000A, "ERROR:  DSP Timeout EDMA QSF\nERROR:  DSP Timeout EDMA Format Frame\n"}};
    for (const Row& row : rows) {
        bridge.SetDSPBlock(1);
        bridge.WriteDataFixed(CSorbelinEncoder::kCodecStatus, row.word);
        EXPECT_TRUE(encA.ReportDSPTimeouts(text));
        EXPECT_EQ(text, row.text) << row.word;
    }
}

// The tests that move frames: a board controller for the RAM clock.
class EncoderRoundTripTest : public SorbelinEncoderTest {
protected:
    void Attach() override {
        SorbelinEncoderTest::Attach();
        jastel.SetControllerRegisters(Board("Nuxa1")->GetControllerRegisters());
        support::SelectCodecBoard(runA, runB);
    }
    void LoadRig(const std::string& faults) {
        LoadFaults(faults);
        support::TakeText();
    }
    Recording<CJastel> jastel{"CJastel"};
    support::StopOnPrint<CSorbelinEncoder> runA{&dspA, &bridge, &jastel, "CSorbelinEncoderA"};
    support::StopOnPrint<CSorbelinEncoder> runB{&dspB, &bridge, &jastel, "CSorbelinEncoderB"};
};

TEST_F(EncoderRoundTripTest, BypassMovesEachFrameThroughTheChipsOwnChannels) {
    struct Row {
        Recording<CSorbelinEncoder>* test;
        int send, back, other;
        DWORD frames;
    } const rows[] = {{&runA, 28, 24, 29, 1}, {&runB, 29, 25, 28, 1}, {&runA, 28, 24, 29, 15}};
    for (const Row& row : rows) {
        auto& t = *row.test;
        SCOPED_TRACE(t.GetName().str() + " frames " + std::to_string(row.frames));
        ASSERT_EQ(Program(t), kRunPassed) << t.out.text;
        const DWORD cleared[8] = {};
        ASSERT_TRUE(Board("Nuxa1")->GetDMAChannel(row.other)->SetDCBWords(1, cleared));
        t.out = {};
        const std::string command = "\"Video:Bypass\" DIM=(480, 320) VERBOSE=2 FRAMES=" + std::to_string(row.frames);
        EXPECT_EQ(t.RunTest(command.c_str()), 1u) << t.out.text;
        EXPECT_TRUE(t.out.HasColoured("This is an engineering test and is not intended to pass\n", kColorRed));
        // S 307200: return frames from 0x4C000 in lines of 1024, sends after the last return frame.
        EXPECT_TRUE(t.out.Has("DST Image:  Tag[1]:  Addr[0x0004C000]  Initial[1024] Length[1024] Lines[74]\n")) << t.out.text;
        const DWORD sendStart = 0x4C000 + row.frames * 307200;
        char line[128];
        std::snprintf(line, sizeof line, "SRC Image:  Tag[1]  Address[0x%08X]  Initial[1024] Length[1024] Lines[74]\n", sendStart);
        EXPECT_TRUE(t.out.Has(line)) << t.out.text;
        if (row.frames == 1) {
            EXPECT_TRUE(t.out.Has("for the completion of 0.307Mbytes to DMA.\n")) << t.out.text;
        }
        // What came back is what was sent, frame by frame.
        std::vector<BYTE> sent(307200), back(307200);
        for (DWORD f = 0; f < row.frames; ++f) {
            ASSERT_TRUE(t.ReadMemory(sendStart + f * 307200, sent.data(), 307200));
            ASSERT_TRUE(t.ReadMemory(0x4C000 + f * 307200, back.data(), 307200));
            EXPECT_EQ(back, sent) << f;
        }
        EXPECT_NE(sent, std::vector<BYTE>(307200, 0));
        // The closing status: frames arrived, the PLL bit cleared by the DDR wait.
        EXPECT_TRUE(t.out.Has("NewFrame=1\nPatternGeneratorDone=0\nDCM_NoLock=0\n")) << t.out.text;
        // The send buffer holds the wedge one 16-bit sample per picture byte, the byte in the sample's
        // upper half: every sample, both words of each pair, up to the last one. Frames lie S bytes
        // apart, so each frame's buffer of 2 S bytes keeps its first S; the last one keeps all.
        Image::YCbCr_8bit wedge(480, 320);
        wedge.FillHorzWedge(2);
        std::vector<BYTE> samples(2 * 307200), area(2 * 307200);
        for (size_t i = 0; i < 307200; ++i) samples[2 * i + 1] = wedge.GetBuffer()[i];
        for (DWORD f = 0; f < row.frames; ++f) {
            const DWORD bytes = f + 1 == row.frames ? 2 * 307200 : 307200;
            ASSERT_TRUE(t.ReadMemory(sendStart + f * 307200, area.data(), bytes));
            EXPECT_EQ(std::memcmp(area.data(), samples.data(), bytes), 0) << f;
        }
        // The other chip's channel was left alone.
        DWORD words[8] = {};
        ASSERT_TRUE(Board("Nuxa1")->GetDMAChannel(row.other)->GetDCBWords(1, words));
        EXPECT_EQ(words[2], 0u);
    }
}

TEST_F(EncoderRoundTripTest, BypassRefusals) {
    ASSERT_EQ(Program(runA), kRunPassed);
    struct Row {
        const char* command;
        const char* message;
        bool chipTouched;  // the register set-up ran before the refusal
    } const rows[] = {
        {"\"Video:Bypass\"", "Buffersize must be greater than zero.\n", false},
        {"\"Video:Bypass\" DIM=(480, 320) FRAMES=0", "Number of frames must be between 1 and 15.", false},
        {"\"Video:Bypass\" DIM=(480, 320) FRAMES=16", "Number of frames must be between 1 and 15.", false},
        {"\"Video:Bypass\" DIM=(-480, 320)", "Invalid resolution DIM=(-480,320)\n", false},
        {"\"Video:Bypass\" DIM=(70000, 2)", "Invalid resolution DIM=(70000,2)\n", false},
        {"\"Video:Bypass\" DIM=(4096, 4096)", "Buffer size must be less than 8MB", false},
        {"\"Video:Bypass\" DIM=(2, 2)", "dwXSizeDst = 0\n.", false},
        {"\"Video:Bypass\" DIM=(720, 486)", "ERROR:  Unable to set the context\n", true},
        // The bounds themselves: exactly 8 MB and 16 bytes (one DWORD a line) are taken.
        {"\"Video:Bypass\" DIM=(2048, 2048)", "ERROR:  Unable to set the context\n", true},
        {"\"Video:Bypass\" DIM=(2049, 2048)", "Buffer size must be less than 8MB", false},
        {"\"Video:Bypass\" DIM=(4, 2)", "ERROR:  Unable to set the context\n", true},
        {"\"Video:Bypass\" DIM=(480, 321)", "ERROR:  Unable to set the context\n", true},
        {"\"Video:Bypass\" DIM=(481, 320)", "ERROR:  Unable to set the context\n", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        runA.out = {};
        EXPECT_EQ(runA.RunTest(row.command), 0u);
        EXPECT_TRUE(runA.out.HasColoured(row.message, kColorRed)) << runA.out.text;
        EXPECT_EQ(runA.out.Has("Dremolun Rev["), row.chipTouched) << runA.out.text;
    }
    Recording<CSorbelinEncoder> digit{&dspA, &bridge, &jastel, "CSorbelinEncoder1"};
    EXPECT_EQ(digit.RunTest("\"Video:Bypass\" DIM=(480, 320)"), 0u);
    EXPECT_TRUE(digit.out.HasColoured("Unrecognized Chip", kColorRed));
}

TEST_F(EncoderRoundTripTest, BypassFaults) {
    struct Row {
        const char* faults;
        const char* program;  // another image than the encoder's
        const char* message;
    } const rows[] = {
        {R"([{"kind": "dma_stall", "board": "Nuxa1", "channel": 24}])", nullptr,
         "~*RED*~Error: After 23msec, timed out waiting for the completion of 0.307Mbytes to DMA.\n~*BLACK*~ SorbelinToWexal DMA:  Tag=~*RED*~ 1"},
        {R"([{"kind": "dma_stall", "board": "Nuxa1", "channel": 28}])", nullptr, "Error: After 23msec, timed out"},
        {R"([{"kind": "bridge_wrong_id", "board": "Nuxa1", "id": 273, "major": 1, "minor": 1}])", nullptr, "InitRegs failed.\n"},
        {R"([{"kind": "codec_wrong_device_id", "board": "Nuxa1", "chip": 1, "id": 368}])", nullptr,
         "Incorrect Sorbelin rev expected[0x160]  Received(DevID[0x170]  Major[0x008]  Minor[0x50]  full[0x17008050])\n"},
        {"[]", "SDIA0202.oxd", "Incorrect Sorbelin rev expected[0x160]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.faults);
        LoadRig(row.faults);
        const std::string image = row.program ? support::Fixture(std::string("oxd/") + row.program) : kImage;
        ASSERT_EQ(runA.Run(("Program VERBOSITY=1 FILE=" + Bracketed(image)).c_str()), kRunPassed);
        runA.out = {};
        EXPECT_EQ(runA.Run("\"Video:Bypass\" DIM=(480, 320) -NORESET"), kRunFailed);
        EXPECT_TRUE(runA.out.Has(row.message)) << runA.out.text;
        // Chip B's channels are not chip A's.
        ASSERT_EQ(Program(runB), kRunPassed);
        runB.out = {};
        EXPECT_EQ(runB.RunTest("\"Video:Bypass\" DIM=(480, 320)"), std::string(row.faults).find("bridge") != std::string::npos ? 0u : 1u)
            << runB.out.text;
    }
}

// The encode tests run on the shipped encoder image and package set, with references in a scratch folder.
class EncodeTest : public EncoderRoundTripTest {
protected:
    void SetUp() override {
        EncoderRoundTripTest::SetUp();
        platform::SetDriveRoot(scratch.Path());
        for (auto* t : {&runA, &runB}) {
            for (const std::string& setting :
                 {"VARIABLE=ENCODE_IMAGE VALUE=" + Bracketed(kImage), "VARIABLE=DSP_MICRO VALUE=" + Bracketed(kMicrocode),
                  "VARIABLE=ZYV_DIRECTORY VALUE=" + Bracketed(kShippedSet),
                  std::string("VARIABLE=VCID_LIST VALUE=0x4D6")})
                ASSERT_TRUE(t->SetEnvironment(setting.c_str()));
        }
        support::TakeText();
    }
    void TearDown() override {
        platform::SetDriveRoot("");
        EncoderRoundTripTest::TearDown();
    }
    // A reference of bytes zero bytes for the VCID, to be written by a MASTER run.
    std::string Reference(const std::string& name, size_t bytes) {
        scratch.Write(name, std::string(bytes, '\0'));
        return scratch.File(name);
    }
    support::TempDir scratch;
};

TEST_F(EncodeTest, MasterWritesAReferenceThatThePlainRunPasses) {
    struct Row {
        Recording<CSorbelinEncoder>* test;
        const char* vcids;
        DWORD frameBytes;
        const char* frames;
    } const rows[] = {
        {&runA, "0x4D6", 0x40000, "FRAMES=3"},  // 8-bit fields
        {&runB, "0x4E5", 0xB4000, "FRAMES=2"},  // 10-bit frames
    };
    for (const Row& row : rows) {
        auto& t = *row.test;
        SCOPED_TRACE(t.GetName().str() + " " + row.vcids);
        ASSERT_TRUE(t.SetEnvironment(std::string("VARIABLE=VCID_LIST VALUE=") + row.vcids));
        const std::string reference = Reference(std::string("E_") + row.vcids + ".img", row.frameBytes);
        const std::string entry = "IMG=" + Bracketed("HORZ_WEDGE=>" + reference);
        t.out = {};
        EXPECT_EQ(t.Run(("Encode " + entry + " -MASTER").c_str()), kRunPassed) << t.out.text;
        EXPECT_TRUE(t.out.HasColoured("Image Saved - ", kColorGreen)) << t.out.text;
        std::vector<BYTE> written;
        ASSERT_TRUE(platform::ReadWholeFile(reference.c_str(), written));
        ASSERT_EQ(written.size(), row.frameBytes);
        EXPECT_NE(written, std::vector<BYTE>(row.frameBytes, 0));
        t.out = {};
        EXPECT_EQ(t.Run(("Encode " + entry + " " + row.frames + " VERBOSE=2").c_str()), kRunPassed) << t.out.text;
        EXPECT_TRUE(t.out.Has("Encoder processed ")) << t.out.text;
        EXPECT_FALSE(t.out.Has("failed comparison")) << t.out.text;
        // Another picture does not match that reference.
        t.out = {};
        EXPECT_EQ(t.Run(("Encode IMG=" + Bracketed("VERT_WEDGE=>" + reference)).c_str()), kRunFailed);
        EXPECT_TRUE(t.out.Has("failed comparison.  HwHeaderSize[")) << t.out.text.substr(0, 3000);
    }
}

TEST_F(EncodeTest, DifferencesAreCountedBySection) {
    // 0x4D6: 8-bit fields of 0x20000 bytes; 0x4E5: 10-bit frames of 0xB4000.
    struct Row {
        const char* vcid;
        DWORD frameBytes;
        DWORD flip;  // byte of the reference changed after the MASTER run
        const char* sections;
    } const rows[] = {
        {"0x4E5", 0xB4000, 0xB4000 - 1, "Errors[1]\nSections:  DspSdram[0]  MacroBlock[0]  Data[0]  fCRC[1]  iCRC[0]\n"},
        {"0x4D6", 0x40000, 0x40000 - 1, "Errors[1]\nSections:  DspSdram[0]  MacroBlock[0]  Data[0]  fCRC[F0(0),F1(1)]  iCRC[0]\n"},
        {"0x4D6", 0x40000, 0x20000 - 2, "Errors[1]\nSections:  DspSdram[0]  MacroBlock[0]  Data[0]  fCRC[F0(1),F1(0)]  iCRC[0]\n"},
        {"0x4D6", 0x40000, 0x20000 - 6, "Errors[1]\nSections:  DspSdram[0]  MacroBlock[0]  Data[1]  fCRC[F0(0),F1(0)]  iCRC[0]\n"},
        {"0x4D6", 0x40000, 9, "Errors[1]\nSections:  DspSdram[1]  MacroBlock[0]  Data[0]"},
        // 262 lines: 17 macroblock rows end the header.
        {"0x4D6", 0x40000, 64 + 4 * 17 - 1, "Errors[1]\nSections:  DspSdram[0]  MacroBlock[1]  Data[0]"},
        // The section bounds: the stand-in's header of a 486-line raster is H = 64 + 4 x 31 = 188
        // bytes, its macroblock section the last 4 x 17 of them (M = 120); the unit holding H is
        // still MacroBlock.
        {"0x4D6", 0x40000, 119, "Errors[1]\nSections:  DspSdram[1]  MacroBlock[0]  Data[0]"},
        {"0x4D6", 0x40000, 120, "Errors[1]\nSections:  DspSdram[0]  MacroBlock[1]  Data[0]"},
        {"0x4D6", 0x40000, 191, "Errors[1]\nSections:  DspSdram[0]  MacroBlock[1]  Data[0]"},
        {"0x4D6", 0x40000, 192, "Errors[1]\nSections:  DspSdram[0]  MacroBlock[0]  Data[1]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.vcid) + " " + std::to_string(row.flip));
        ASSERT_TRUE(runA.SetEnvironment(std::string("VARIABLE=VCID_LIST VALUE=") + row.vcid));
        const std::string reference = Reference("E.img", row.frameBytes);
        ASSERT_EQ(runA.Run(("Encode IMG=" + Bracketed("GRID=>" + reference) + " -MASTER").c_str()), kRunPassed);
        std::vector<BYTE> bytes;
        ASSERT_TRUE(platform::ReadWholeFile(reference.c_str(), bytes));
        bytes[row.flip] ^= 0x20;
        scratch.Write("E.img", std::string(bytes.begin(), bytes.end()));
        runA.out = {};
        EXPECT_EQ(runA.Run(("Encode FRAMES=2 IMG=" + Bracketed("GRID=>" + reference)).c_str()), kRunFailed);
        EXPECT_EQ(support::Count(runA.out.text, row.sections), 2u) << runA.out.text.substr(0, 4000);
        EXPECT_EQ(support::Count(runA.out.text, "Offset[0x"), 2u);
        // The DSP's time-out report and the OnFail list follow a failed compare.
        EXPECT_TRUE(runA.out.HasColoured("No DSP timeouts occurred\n", kColorGreen)) << runA.out.text.substr(0, 4000);
    }
}

TEST_F(EncodeTest, SavedFramesAndSaveOnFail) {
    struct Row {
        const char* vcid;
        DWORD frameBytes;
        const char* options;
        const char* picture;  // GRID matches the MASTER reference, VERT_WEDGE does not
        int saved;            // frames 0 .. saved - 1 are written, no more
        int failures;
    } const rows[] = {
        {"0x4E5", 0xB4000, "FRAMES=15 SAVE=20", "GRID", 15, 0},  // SAVE is held at 15
        {"0x4E3", 0x30000, "FRAMES=7 SAVE=20", "GRID", 7, 0},    // fields: each frame saved once
        {"0x4E3", 0x30000, "FRAMES=3 SAVE=1", "GRID", 1, 0},
        {"0x4E3", 0x30000, "FRAMES=3 SAVE=1 -SAVE_ON_FAIL", "VERT_WEDGE", 3, 3},  // a failure switches saving on
        {"0x4E3", 0x30000, "FRAMES=2", "VERT_WEDGE", 0, 2},
        // A count past 32 bits is still above 15, never cut to its low bits (1 here); one below 0
        // is no count and saves nothing, as a SAVE that does not read.
        {"0x4E3", 0x30000, "FRAMES=3 SAVE=4294967297", "GRID", 3, 0},
        {"0x4E3", 0x30000, "FRAMES=2 SAVE=-1", "GRID", 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.vcid) + " " + row.options + " " + row.picture);
        ASSERT_TRUE(runA.SetEnvironment(std::string("VARIABLE=VCID_LIST VALUE=") + row.vcid));
        const std::string reference = Reference("E.img", row.frameBytes);
        ASSERT_EQ(runA.Run(("Encode IMG=" + Bracketed("GRID=>" + reference) + " -MASTER").c_str()), kRunPassed);
        runA.out = {};
        const std::string command = std::string("Encode ") + row.options + " IMG=" + Bracketed(row.picture + std::string("=>") + reference);
        EXPECT_EQ(runA.Run(command.c_str()), row.failures ? kRunFailed : kRunPassed) << runA.out.text.substr(0, 3000);
        EXPECT_EQ(support::Count(runA.out.text, "failed comparison"), static_cast<size_t>(row.failures));
        // "C:\Zorv.Encode.<i>.img" lands in the station folder, and the line names it there.
        for (int i = 0; i < 16; ++i) {
            const std::string file = scratch.File("Zorv.Encode." + std::to_string(i) + ".img");
            EXPECT_EQ(platform::FileExists(file.c_str()), i < row.saved) << i;
            EXPECT_EQ(runA.out.HasColoured("Save image [" + file + "]\n", kColorGreen), i < row.saved) << i;
            std::remove(file.c_str());
        }
    }
    // What is saved is the frame as received: a passing frame equals its reference.
    ASSERT_TRUE(runA.SetEnvironment("VARIABLE=VCID_LIST VALUE=0x4E3"));
    const std::string reference = Reference("E.img", 0x30000);
    ASSERT_EQ(runA.Run(("Encode IMG=" + Bracketed("GRID=>" + reference) + " -MASTER").c_str()), kRunPassed);
    ASSERT_EQ(runA.Run(("Encode FRAMES=2 SAVE=2 IMG=" + Bracketed("GRID=>" + reference)).c_str()), kRunPassed);
    std::vector<BYTE> saved, wanted;
    ASSERT_TRUE(platform::ReadWholeFile(scratch.File("Zorv.Encode.1.img").c_str(), saved));
    ASSERT_TRUE(platform::ReadWholeFile(reference.c_str(), wanted));
    EXPECT_EQ(saved, wanted);
}

TEST_F(EncodeTest, RefusalsEndTheRunAsFailed) {
    support::TempDir changed;
    std::filesystem::copy(kShippedSet, changed.Path());
    changed.Write("ZM04E5.zyv", "not this");
    scratch.Write("KAWF0101.oxd", "no microcode");
    const std::string reference = Reference("E.img", 0x40000);
    struct Row {
        std::string setting;  // Set Environment text
        std::string options;
        const char* message;
    } const rows[] = {
        {"VARIABLE=ZYV_DIRECTORY VALUE=" + Bracketed(changed.Path()), "", "Test does not allow Zyv Package Date of 0\n"},
        {"VARIABLE=ZYV_DIRECTORY VALUE=/no/such/folder", "", "ERROR:  Unable to determine ZYV directory\n"},
        {"VARIABLE=DSP_MICRO VALUE=" + Bracketed(scratch.File("KAWF0101.oxd")), "", "ERROR:  Unable to download DSP microcode!\n"},
        {"VARIABLE=VCID_LIST VALUE=0x123", "", "ERROR:  Encoder does not support VCID[0x0123]\n"},
        {"VARIABLE=VCID_LIST VALUE=(0x1000004D6)", "", "Argument VCID_LIST=0X1000004D6 does not fit its range 0..4294967295\n"},
        {"VARIABLE=VCID_LIST VALUE=0x4D6", "FRAMES=8 ", "Number of frames must be between 1 and 7 for this mode."},
        {"VARIABLE=VCID_LIST VALUE=0x4E3", "FRAMES=0 ", "Number of frames must be between 1 and 7 for this mode."},
        {"VARIABLE=VCID_LIST VALUE=0x4E5", "", "ERROR:  FileEncodeLength[262144] < CompressedFrameSize[737280]\n"},
        {"VARIABLE=VCID_LIST VALUE=0x4E5", "FRAMES=16 IMG=" + Bracketed("GRID=>" + Reference("Full.img", 0xB4000)) + " ",
         "Number of frames must be between 1 and 15 for this mode."},
        {"VARIABLE=VCID_LIST VALUE=0x4E5", "FRAMES=0 IMG=" + Bracketed("GRID=>" + Reference("Full.img", 0xB4000)) + " ",
         "Number of frames must be between 1 and 15 for this mode."},
        {"VARIABLE=VCID_LIST VALUE=0x4E5", "IMG=" + Bracketed("GRID=>" + Reference("Short.img", 0xB4000 - 1)) + " ",
         "ERROR:  FileEncodeLength[737279] < CompressedFrameSize[737280]\n"},
        {"VARIABLE=VCID_LIST VALUE=0x4E5", "IMG=GRID=>/no/such.img ", "ERROR: Unable to find COMPRESS_IMAGE[/NO/SUCH.IMG]\n"},
        {"VARIABLE=VCID_LIST VALUE=0x4E3", "IMG=" + Bracketed("STRIPES=>" + reference) + " ", "Unrecognized image pattern[STRIPES]\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.setting + " " + row.options);
        Recording<CSorbelinEncoder> t{&dspA, &bridge, &jastel, "CSorbelinEncoderA"};
        support::SelectCodecBoard(t);
        for (const std::string& setting :
             {"VARIABLE=ENCODE_IMAGE VALUE=" + Bracketed(kImage), "VARIABLE=DSP_MICRO VALUE=" + Bracketed(kMicrocode),
              "VARIABLE=ZYV_DIRECTORY VALUE=" + Bracketed(kShippedSet),
              std::string("VARIABLE=VCID_LIST VALUE=0x4D6"), row.setting})
            ASSERT_TRUE(t.SetEnvironment(setting.c_str()));
        ASSERT_TRUE(t.SetEnvironment(("VARIABLE=COMPRESS_IMAGE VALUE=" + Bracketed(reference)).c_str()));
        ASSERT_TRUE(t.SetEnvironment(("VARIABLE=DECOMPRESS_IMAGE VALUE=" + Bracketed(reference)).c_str()));
        const std::string entry = row.options.find("IMG=") == std::string::npos ? "IMG=" + Bracketed("GRID=>" + reference) + " " : "";
        t.out = {};
        EXPECT_EQ(t.Run(("Encode " + entry + row.options + "-NORESET").c_str()), kRunFailed);
        EXPECT_TRUE(t.out.Has(row.message)) << t.out.text.substr(0, 3000);
    }
}

// The host's stop ends an Encode before its next VCID or image entry, whatever the lists still
// hold; the run answers 3.
TEST_F(EncodeTest, AStopEndsTheRunBeforeTheNextVCIDOrEntry) {
    support::StopFlagReset reset;
    const std::string reference = Reference("E.img", 0x40000);
    ASSERT_EQ(runA.Run(("Encode IMG=" + Bracketed("GRID=>" + reference) + " -MASTER").c_str()), kRunPassed) << runA.out.text;
    runA.GetImageList()->FreeStrings();
    for (int i = 0; i < 3; ++i) runA.GetImageList()->Add(("GRID=>" + reference).c_str());
    struct Row {
        const char* vcids;
        std::string options;
        const char* trigger;  // the stop comes with the first text holding it (the first VCID's end)
        std::string started;  // what each VCID or entry begins with, counted
    } const rows[] = {
        {"(0x4D6,0x4E3,0x4E4)", "IMG=" + Bracketed("GRID=>" + reference) + " VERBOSE=2", "DSP halted\n", "Test VCID["},
        {"0x4D6", "IMG=$(IMG_LIST)", "GRID=>", "\nGRID=>" + reference},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.options);
        ASSERT_TRUE(runA.SetEnvironment(std::string("VARIABLE=VCID_LIST VALUE=") + row.vcids));
        runA.out = {};
        runA.StopAt(row.trigger);
        EXPECT_EQ(runA.Run(("Encode " + row.options + " -NORESET").c_str()), kRunStopped) << runA.out.text.substr(0, 3000);
        *g_StopFlag() = 0;
        runA.StopAt("");
        EXPECT_EQ(support::Count(runA.out.text, row.started), 1u) << runA.out.text.substr(0, 3000);
    }
}

TEST_F(EncodeTest, OlderImagesEndTheReferenceFieldsInTheMarker) {
    // An image before the CRC revision, listing the same packages as the shipped one.
    COxd shippedImage(kImage.c_str(), 1);
    CString packages;
    ASSERT_TRUE(shippedImage.GetTag('X', packages));
    std::filesystem::create_directories(scratch.File("old"));
    const std::vector<uint8_t> old = sim::BuildCodecChipOxd("GUWT", sim::CodecChip::kEncoder << 20 | 0x08 << 12 | 0x3F, packages.str());
    scratch.Write("old/GUWT0202.oxd", std::string(old.begin(), old.end()));
    ASSERT_TRUE(runA.SetEnvironment("VARIABLE=ENCODE_IMAGE VALUE=" + Bracketed(scratch.File("old/GUWT0202.oxd"))));
    ASSERT_TRUE(runA.SetEnvironment("VARIABLE=VCID_LIST VALUE=0x4D6"));
    const std::string reference = Reference("E.img", 0x40000);
    ASSERT_EQ(runA.Run(("Encode IMG=" + Bracketed("GRID=>" + reference) + " -MASTER").c_str()), kRunPassed) << runA.out.text.substr(0, 2000);
    std::vector<BYTE> frame;
    ASSERT_TRUE(platform::ReadWholeFile(reference.c_str(), frame));
    const BYTE marker[4] = {0x60, 0x0D, 0xC0, 0xDE};
    EXPECT_EQ(std::memcmp(frame.data() + 0x20000 - 4, marker, 4), 0);
    EXPECT_EQ(std::memcmp(frame.data() + 0x40000 - 4, marker, 4), 0);
    // A reference of two frames whose fields end in other words: the last frame is compared, its
    // end words patched to the marker; the first frame is not touched.
    ASSERT_EQ(frame.size(), 0x40000u);
    std::vector<BYTE> twice(0x80000, 0xAB);
    std::memcpy(twice.data() + 0x40000, frame.data(), 0x40000);
    for (const size_t end : {size_t{0x60000}, size_t{0x80000}}) std::memset(twice.data() + end - 4, 0x11, 4);
    scratch.Write("E.img", std::string(twice.begin(), twice.end()));
    runA.out = {};
    EXPECT_EQ(runA.Run(("Encode FRAMES=2 IMG=" + Bracketed("GRID=>" + reference)).c_str()), kRunPassed) << runA.out.text.substr(0, 3000);
    // The current image takes the reference as read.
    ASSERT_TRUE(runA.SetEnvironment("VARIABLE=ENCODE_IMAGE VALUE=" + Bracketed(kImage)));
    runA.out = {};
    EXPECT_EQ(runA.Run(("Encode IMG=" + Bracketed("GRID=>" + reference)).c_str()), kRunFailed);
    // So does the first image with CRCs, 0x840: its own frames, which end in their CRCs, pass.
    std::filesystem::create_directories(scratch.File("first"));
    const std::vector<uint8_t> first = sim::BuildCodecChipOxd("GUWT", sim::CodecChip::kEncoder << 20 | 0x08 << 12 | 0x40, packages.str());
    scratch.Write("first/GUWT0202.oxd", std::string(first.begin(), first.end()));
    ASSERT_TRUE(runA.SetEnvironment("VARIABLE=ENCODE_IMAGE VALUE=" + Bracketed(scratch.File("first/GUWT0202.oxd"))));
    ASSERT_EQ(runA.Run(("Encode IMG=" + Bracketed("GRID=>" + reference) + " -MASTER").c_str()), kRunPassed);
    runA.out = {};
    EXPECT_EQ(runA.Run(("Encode FRAMES=2 IMG=" + Bracketed("GRID=>" + reference)).c_str()), kRunPassed) << runA.out.text.substr(0, 3000);
}

TEST_F(EncodeTest, TransferFaults) {
    // The encode table's last byte.
    CZyvFile package((std::string(PEX_TESTDATA_DIR) + "/zyv/20040521/ZM04E3.zyv").c_str());
    ASSERT_EQ(package.Load(), 1);
    const BYTE* table = nullptr;
    DWORD tableBytes = 0;
    ASSERT_TRUE(package.GetTable(CZyvFile::kTableEncode, table, tableBytes));
    const std::string lastTableByte =
        R"([{"kind": "dsp_table_corrupt", "board": "Nuxa1", "chip": 1, "mask": 128, "offset": )" + std::to_string(tableBytes - 1) + "}]";
    struct Row {
        std::string faults;
        const char* message;          // null: chip A passes
        bool masterFails = false;     // a MASTER run fails too: no frame comes back
        bool dspTimedOut = false;     // the DSP's report names its time-outs
        bool setUpFails = false;      // the DSP's set-up fails: no run, so no report and no OnFail list
    } const rows[] = {
        {R"([{"kind": "dma_corrupt", "board": "Nuxa1", "channel": 28, "mask": 256, "first": 100}])", "failed comparison", false},
        {R"([{"kind": "dma_stall", "board": "Nuxa1", "channel": 24}])", "timed out waiting for the\n  completion of", true},
        {R"([{"kind": "dma_stall", "board": "Nuxa1", "channel": 28}])", "timed out waiting for the\n  completion of", true},
        // The video port's stuck bit reaches every word of the compressed frames, the top bit and
        // bit 0 too; the expansion port carries none of them.
        {R"([{"kind": "codec_output_stuck_bit", "board": "Nuxa1", "chip": 1, "port": "video"}])", "failed comparison", false},
        {R"([{"kind": "codec_output_stuck_bit", "board": "Nuxa1", "chip": 1, "port": "video", "bit": 31, "value": 0}])", "failed comparison", false},
        {R"([{"kind": "codec_output_stuck_bit", "board": "Nuxa1", "chip": 1, "port": "video", "bit": 0, "value": 1}])", "failed comparison", false},
        {R"([{"kind": "codec_output_stuck_bit", "board": "Nuxa1", "chip": 1, "port": "expansion", "bit": 6}])", nullptr, false},
        // The DSP's faults.
        {R"([{"kind": "dsp_fails", "board": "Nuxa1", "chip": 1, "stage": "download"}])", "ERROR:  Unable to download DSP microcode!\n", true, false, true},
        {R"([{"kind": "dsp_fails", "board": "Nuxa1", "chip": 1, "stage": "boot"}])", "ERROR:  Unable to download DSP microcode!\n", true, false, true},
        {R"([{"kind": "dsp_fails", "board": "Nuxa1", "chip": 1, "stage": "initialise"}])",
         "ERROR:  Unable to initialize the DSP!\n        Microcode Revision = 52\n", true, false, true},
        {R"([{"kind": "dsp_table_corrupt", "board": "Nuxa1", "chip": 1, "offset": 8}])", "failed comparison"},
        {lastTableByte, "failed comparison"},
        {R"([{"kind": "dsp_frame_corrupt", "board": "Nuxa1", "chip": 1, "offset": 8, "mask": 1}])", "failed comparison"},
        {R"([{"kind": "dsp_frame_corrupt", "board": "Nuxa1", "chip": 1, "offset": 4096, "mask": 128}])", "failed comparison"},
        // An EDMA time-out keeps the frame in the DSP: the transfer times out and the report names it.
        {R"([{"kind": "dsp_codec_status", "board": "Nuxa1", "chip": 1, "bits": 1}])", "ERROR:  DSP Timeout EDMA STATS\n", true, true},
        {R"([{"kind": "dsp_codec_status", "board": "Nuxa1", "chip": 1, "bits": "0x8000000C"}])",
         "ERROR:  DSP Timeout EDMA VLC\nERROR:  DSP Timeout EDMA Format Frame\n", true, true},
    };
    ASSERT_TRUE(runA.SetEnvironment("VARIABLE=VCID_LIST VALUE=0x4E3"));
    const std::string reference = Reference("E.img", 0x30000);
    ASSERT_EQ(runA.Run(("Encode IMG=" + Bracketed("GRID=>" + reference) + " -MASTER").c_str()), kRunPassed);
    std::vector<BYTE> master;
    ASSERT_TRUE(platform::ReadWholeFile(reference.c_str(), master));
    runA.GetOnFailList()->FreeStrings();
    runA.GetOnFailList()->Add("Show Programmed Info");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.faults);
        LoadRig(row.faults);
        runA.out = {};
        EXPECT_EQ(runA.Run(("Encode IMG=" + Bracketed("GRID=>" + reference)).c_str()), row.message ? kRunFailed : kRunPassed);
        if (row.message) {
            EXPECT_TRUE(runA.out.Has(row.message)) << runA.out.text.substr(0, 3000);
            // The DSP's time-out report and the OnFail list follow every failed run.
            EXPECT_EQ(runA.out.HasColoured("No DSP timeouts occurred\n", kColorGreen), !row.dspTimedOut && !row.setUpFails)
                << runA.out.text.substr(0, 3000);
            EXPECT_NE(runA.out.Has("Programmed File["), row.setUpFails) << runA.out.text.substr(0, 3000);
        }
        if (row.masterFails) {
            // A MASTER run is no exception, and it leaves the reference as it was.
            runA.out = {};
            EXPECT_EQ(runA.Run(("Encode IMG=" + Bracketed("GRID=>" + reference) + " -MASTER").c_str()), kRunFailed);
            EXPECT_EQ(runA.out.HasColoured("No DSP timeouts occurred\n", kColorGreen), !row.dspTimedOut && !row.setUpFails)
                << runA.out.text.substr(0, 3000);
            EXPECT_NE(runA.out.Has("Programmed File["), row.setUpFails) << runA.out.text.substr(0, 3000);
            std::vector<BYTE> after;
            ASSERT_TRUE(platform::ReadWholeFile(reference.c_str(), after));
            EXPECT_EQ(after, master);
        }
        // Chip B's channels are its own.
        ASSERT_TRUE(runB.SetEnvironment("VARIABLE=VCID_LIST VALUE=0x4E3"));
        runB.out = {};
        EXPECT_EQ(runB.Run(("Encode IMG=" + Bracketed("GRID=>" + reference)).c_str()), kRunPassed) << runB.out.text.substr(0, 3000);
    }
}

TEST_F(EncodeTest, EveryAcceptedSetPassesOnItsOwnReferences) {
    // The build's references (made by make_encoded, which splits fields and lays out each unit
    // itself): the installed set's in VCID/<VCID>, each older set's in VCID/<date>/<VCID>. They
    // lie beside this program, named as the tree names them.
    const std::string built = "$(CWD)\\testdata\\VCID\\";
    struct Row {
        Recording<CSorbelinEncoder>* test;
        const char* date;
        DWORD vcid;
        const char* pattern;  // null: the DECOMPRESS_IMAGE source against COMPRESS_IMAGE
        const char* file;
        const char* other;    // a set whose reference of that file does not fit this set's tables
    } const rows[] = {
        {&runA, "20040521", 0x4D6, "GRID", "E_Grid.img", "20040416"},                      // 8-bit fields
        {&runB, "20040521", 0x4E5, "STAMP_LINEAR", "E_StampLinear.img", "20040319"},       // 10-bit frames
        {&runA, "20040416", 0x4E4, "HORZ_WEDGE_BLUE2RED", "E_HWB2R.img", "20040521"},      // 10-bit fields
        {&runB, "20040416", 0x4E3, "DIAGONAL_LINES", "E_DLine.img", "20040319"},           // 8-bit fields
        {&runA, "20040319", 0x4E5, nullptr, "Encoded_1.img", "20040416"},
        {&runB, "20040319", 0x4D6, "VERT_WEDGE_RED2BLUE", "E_VWR2B.img", "20040521"},
    };
    auto folder = [&](const std::string& date, DWORD vcid) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%X/", vcid);
        return built + (date == "20040521" ? "" : date + "/") + hex;
    };
    for (const Row& row : rows) {
        auto& t = *row.test;
        SCOPED_TRACE(t.GetName().str() + " " + row.date + " " + std::to_string(row.vcid));
        LoadRig("[]");
        char vcid[16];
        std::snprintf(vcid, sizeof vcid, "0x%X", row.vcid);
        for (const std::string& setting : {"VARIABLE=ZYV_DIRECTORY VALUE=" + Bracketed(support::Fixture(std::string("zyv/") + row.date)),
                                           "VARIABLE=VCID_LIST VALUE=" + std::string(vcid),
                                           "VARIABLE=DECOMPRESS_IMAGE VALUE=" + built + "Decoded_$(X)_$(Y)_$(P).img"})
            ASSERT_TRUE(t.SetEnvironment(setting.c_str()));
        auto encode = [&](const std::string& reference) {
            t.out = {};
            if (!row.pattern) {
                EXPECT_TRUE(t.SetEnvironment(("VARIABLE=COMPRESS_IMAGE VALUE=" + reference).c_str()));
                return t.Run("Encode FRAMES=2");
            }
            return t.Run(("Encode FRAMES=2 IMG=" + std::string(row.pattern) + "=>" + reference).c_str());
        };
        EXPECT_EQ(encode(folder(row.date, row.vcid) + row.file), kRunPassed) << t.out.text.substr(0, 3000);
        EXPECT_FALSE(t.out.Has("failed comparison"));
        // The references differ from set to set.
        EXPECT_EQ(encode(folder(row.other, row.vcid) + row.file), kRunFailed);
        EXPECT_EQ(support::Count(t.out.text, "failed comparison"), 2u) << t.out.text.substr(0, 3000);
        // A chip whose video output has a stuck bit fails on them.
        LoadRig(R"([{"kind": "codec_output_stuck_bit", "board": "Nuxa1", "chip": )" + std::to_string(t.GetChipFromName(1)) + R"(, "port": "video", "bit": 9, "value": 0}])");
        EXPECT_EQ(encode(folder(row.date, row.vcid) + row.file), kRunFailed);
        EXPECT_EQ(support::Count(t.out.text, "failed comparison"), 2u) << t.out.text.substr(0, 3000);
    }
}

TEST_F(EncodeTest, MicrocodeAfterRevision26IsInitialisedFirst) {
    struct Row {
        DWORD revision;
        bool initialised;
    } const rows[] = {{26, false}, {27, true}, {52, true}};
    ASSERT_TRUE(runA.SetEnvironment("VARIABLE=VCID_LIST VALUE=0x4E3"));
    const std::string reference = Reference("E.img", 0x30000);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.revision);
        const std::vector<uint8_t> image = sim::BuildDspMicrocodeOxd(row.revision);
        const std::string folder = "m" + std::to_string(row.revision);
        scratch.Write(folder + "/KAWF0101.oxd", std::string(image.begin(), image.end()));
        ASSERT_TRUE(runA.SetEnvironment("VARIABLE=DSP_MICRO VALUE=" + Bracketed(scratch.File(folder + "/KAWF0101.oxd"))));
        runA.out = {};
        EXPECT_EQ(runA.Run(("Encode VERBOSE=2 IMG=" + Bracketed("GRID=>" + reference) + " -MASTER").c_str()), kRunPassed) << runA.out.text.substr(0, 3000);
        EXPECT_EQ(runA.out.HasColoured("DSP is initialized\n", kColorGreen), row.initialised) << runA.out.text.substr(0, 3000);
    }
}

TEST_F(EncodeTest, EveryVCIDOfTheListMeetsItsOwnReference) {
    // References named through "$(VCID_LIST)" ("%X" folders), copied from the build's sets; only
    // the list's last VCID takes another set's frame in the second row.
    const std::string built = std::string(PEX_BIN_DIR) + "/testdata/VCID/";
    struct Row {
        const char* lastFrom;  // the set folder the last VCID's reference comes from
        DWORD result;
    } const rows[] = {{"", kRunPassed}, {"20040416/", kRunFailed}};
    ASSERT_TRUE(runB.SetEnvironment("VARIABLE=VCID_LIST VALUE=(0x4D6,0x4E4,0x4E5)"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.lastFrom);
        for (const char* vcid : {"4D6", "4E4", "4E5"}) {
            std::vector<BYTE> bytes;
            const std::string from = (std::string(vcid) == "4E5" ? built + row.lastFrom : built) + vcid + "/E_HW.img";
            ASSERT_TRUE(platform::ReadWholeFile(from.c_str(), bytes)) << from;
            scratch.Write(std::string("lists/") + vcid + "/E_HW.img", std::string(bytes.begin(), bytes.end()));
        }
        runB.out = {};
        EXPECT_EQ(runB.Run(("Encode IMG=" + Bracketed("HORZ_WEDGE=>" + scratch.File("lists/$(VCID_LIST)/E_HW.img"))).c_str()), row.result)
            << runB.out.text.substr(0, 3000);
        // Each VCID is reached, and only the last one's frames differ.
        EXPECT_EQ(support::Count(runB.out.text, "Test VCID[0x"), 3u);
        const size_t last = runB.out.text.find("Test VCID[0x04E5 = 1253]");
        ASSERT_NE(last, std::string::npos);
        const size_t failed = runB.out.text.find("failed comparison");
        if (row.result == kRunPassed) {
            EXPECT_EQ(failed, std::string::npos);
        } else {
            EXPECT_NE(failed, std::string::npos);
            EXPECT_GT(failed, last);
        }
    }
}

// Codec status bits without an EDMA time-out let the frames through; "Dump Regs" shows them.
TEST_F(EncodeTest, CodecStatusBitsShowInDumpRegs) {
    ASSERT_TRUE(runA.SetEnvironment("VARIABLE=VCID_LIST VALUE=0x4E3"));
    const std::string reference = Reference("E.img", 0x30000);
    ASSERT_EQ(runA.Run(("Encode IMG=" + Bracketed("GRID=>" + reference) + " -MASTER").c_str()), kRunPassed);
    LoadRig(R"([{"kind": "dsp_codec_status", "board": "Nuxa1", "chip": 1, "bits": "0x80000000"}])");
    runA.out = {};
    EXPECT_EQ(runA.Run(("Encode IMG=" + Bracketed("GRID=>" + reference)).c_str()), kRunPassed) << runA.out.text.substr(0, 3000);
    runA.out = {};
    EXPECT_EQ(runA.Run("Dump Regs"), kRunPassed);
    EXPECT_TRUE(runA.out.HasColoured("DSP CODEC STATUS[0x80000000]\n", kColorRed)) << runA.out.text;
    EXPECT_TRUE(runA.out.HasColoured("CODEC ERROR: DSP_NMI_INT_ERROR\n", kColorRed));
}

}  // namespace
