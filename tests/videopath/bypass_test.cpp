// Tests of the keyer and pair bypass loopbacks and their chip CRC checks on the simulated main board.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/hw/wexal_dcb.h"
#include "framework/result_screen.h"
#include "images/image_crc.h"
#include "images/multi_image_file.h"
#include "images/unpacked_image.h"
#include "platform/clock.h"
#include "sim/firmware_images.h"
#include "tests/boards/root_fixture.h"
#include "tests/support/stop_flag.h"

namespace {

using namespace support;
using Image = Unpacked::Image::YCbCr_10_6;
using Alpha = Unpacked::Alpha::YCbCr_10_6;

constexpr COLORREF kGreen = 0x00A000, kRed = 0x0000FF;
const std::string kKeyerFile = "FPGA=$(CWD)\\testdata\\LOCV$(VPDVER).oxd";
const std::string kPairFile = "FPGA=$(CWD)\\testdata\\TAZU$(VPDVER).oxd";

// A rig with every FPGA loaded as the tree loads them, and bypass test objects that record their output.
struct Bench {
    explicit Bench(const std::string& rig = "", const char* cmdLine = "pexhost ") {
        if (!rig.empty()) scoped = std::make_unique<ScopedRig>(rig);
        host.cwd.Dir().Write("CmdLine", cmdLine);
        root = std::make_unique<Recording<CBrimolaBoardTests>>("CBrimolaBoard");
        for (int d = 0; d < 5; ++d) root->Run(ProgramLine(d).c_str());
        kerzil = Attach(std::make_unique<StopOnPrint<CKerzil>>(root->GetController(), "CKerzil"));
        sulveth = Attach(std::make_unique<Recording<CSulveth>>(1, root->GetController(), "CSulvethA"));
        root->out = {};
        TakeText();
    }
    template <class T>
    std::unique_ptr<T> Attach(std::unique_ptr<T> test) {
        test->SetParent(root.get());  // the root's own objects keep the map entries and the bookkeeping
        test->SetupDevice("Brimola1");
        test->SetProgrammer([this](const CString& c, DWORD v) { return root->Program(c, static_cast<unsigned>(v), 0); });
        return test;
    }
    // Runs the body of one of the tests on frames of w x h; the text it printed lands in text.
    DWORD Run(bool pair, const std::string& args, DWORD frames, DWORD w = 64, DWORD h = 4, DWORD verbose = 1) {
        image = std::make_unique<Image>(w, h, 0);
        alpha = std::make_unique<Alpha>(w, h);
        for (DWORD i = 0; image->GetBuffer() && i < image->GetSize() / 2; ++i)
            reinterpret_cast<WORD*>(image->GetBuffer())[i] = static_cast<WORD>((i * 37 + 11) % 512 << 7);  // bit 6 of every sample 0
        CKeyerPathTB& test = pair ? static_cast<CKeyerPathTB&>(*sulveth) : *kerzil;
        OutputLog& log = pair ? sulveth->out : kerzil->out;
        log = {};
        const DWORD result = test.TestBypass(0, args.c_str(), alpha.get(), image.get(), frames, verbose);
        text = log.text + root->out.text + TakeText();
        root->out = {};
        return result;
    }
    OutputLog& Log(bool pair) { return pair ? sulveth->out : kerzil->out; }
    RegisterPtr Bar0() const { return RigBoard("Brimola1")->GetRegisters(); }
    WexalDCB Dcb(int channel, int n) const {
        WexalDCB dcb;
        RigBoard("Brimola1")->GetDMAChannel(channel)->GetDCB(n, &dcb);
        return dcb;
    }
    HostFolder host;
    std::unique_ptr<ScopedRig> scoped;
    std::unique_ptr<Recording<CBrimolaBoardTests>> root;
    std::unique_ptr<StopOnPrint<CKerzil>> kerzil;  // raises the stop flag when told
    std::unique_ptr<Recording<CSulveth>> sulveth;
    std::unique_ptr<Image> image;
    std::unique_ptr<Alpha> alpha;
    std::string text;
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(BypassArguments, FrameKindsChainsAndRefusalsBeforeAnyDcb) {
    Bench bench;
    const struct { const char* name; bool pair; std::string args; DWORD frames; DWORD result; const char* kinds; std::string text; } rows[] = {
        {"default kinds", false, "CHANNEL=A " + kKeyerFile, 4, 1, "IIAI", "Read/Compare DST Image:  1 2 3 4 \nPassed\n"},
        {"repeated list", false, "CHANNEL=a SEQUENCE=(i:A...) " + kKeyerFile, 5, 1, "IAIAI", "Test Kerzil Channel A\n"},
        {"per transfer", false, "CHANNEL=B FORCEUPDATE=1 SEQUENCE=(I:A...) " + kKeyerFile, 3, 1, "IAI", "FORCEUPDATE=1\n"},
        {"stall short", false, "CHANNEL=A FORCESTALL=1 " + kKeyerFile, 3, 1, "IIA", "FORCESTALL=1\n"},
        {"stall long", true, "CHANNEL=b FORCESTALL=2 " + kPairFile, 3, 1, "IIA", "Test Sulveth Channel B:  DevID["},
        {"pair per transfer", true, "CHANNEL=A FORCEUPDATE=1 SEQUENCE=(A:I...) " + kPairFile, 2, 1, "AI", "Passed\n"},
        {"short list", false, "CHANNEL=A SEQUENCE=(I:A) " + kKeyerFile, 5, 0, "",
         "SEQUENCE count[2] does not match number of frames specified[5]\n"},
        {"dots alone", true, "CHANNEL=A SEQUENCE=(...) " + kPairFile, 3, 0, "",
         "SEQUENCE count[0] does not match number of frames specified[3]\n"},
        {"bad token", false, "CHANNEL=A SEQUENCE=(I:X) " + kKeyerFile, 2, 0, "", "Bad token in SEQUENCE\n"},
        {"no channel", false, kKeyerFile, 1, 0, "", "CHANNEL not specified!\n"},
        {"bad channel", true, "CHANNEL=C " + kPairFile, 1, 0, "", "CHANNEL not understood!\n"},
        {"no file", false, "CHANNEL=A", 1, 0, "", "FPGA not specified on CmdLine!\n"},
        {"bad update", false, "CHANNEL=A FORCEUPDATE=2 " + kKeyerFile, 1, 0, "", "FORCEUPDATE must be 0 or 1\n"},
        {"bad stall", true, "CHANNEL=A FORCESTALL=3 " + kPairFile, 1, 0, "", "FORCESTALL must be 0, 1 or 2\n"},
    };
    for (const auto& row : rows) {
        const int destination = Has(row.args, "CHANNEL=B") || Has(row.args, "CHANNEL=b") ? 25 : 24;
        WexalDCB marker;
        marker.SetStartAddress(0xABC0);
        RigBoard("Brimola1")->GetDMAChannel(destination)->SetDCB(1, &marker);
        EXPECT_EQ(bench.Run(row.pair, row.args, row.frames), row.result) << row.name << "\n" << bench.text;
        EXPECT_TRUE(Has(bench.text, row.text)) << row.name << "\n" << bench.text;
        const DWORD n = static_cast<DWORD>(std::strlen(row.kinds));
        if (n == 0) {
            EXPECT_EQ(bench.Dcb(destination, 1).GetStartAddress(), 0xABC0u) << row.name;
        }
        const bool chained = !Has(row.args, "FORCEUPDATE=1");
        for (DWORD f = 1; f <= n; ++f) {
            const WexalDCB dcb = bench.Dcb(destination, static_cast<int>(f));
            EXPECT_EQ(dcb.GetOpField().GetBCUPointer(), row.kinds[f - 1] == 'I' ? 4u : 5u) << row.name << f;
            EXPECT_EQ(dcb.GetOpField().GetNext(), chained ? (f + 1) % (n + 1) : 0u) << row.name << f;
            EXPECT_EQ(dcb.GetPortField().GetContextID(), chained ? 15u : 2u) << row.name << f;
            EXPECT_EQ(dcb.GetPortField().GetTag(), f) << row.name << f;
        }
        // The first run of a stall test reports nothing: its time-out never shows.
        EXPECT_FALSE(Has(bench.text, "timed out")) << row.name;
    }
}

TEST(BypassLoopback, AStallRunGoesFirstAndOnlyTheRunAfterItCounts) {
    Bench bench;
    auto elapsedMs = [&](const std::string& extra) {
        const DWORD start = GetTickCount();
        EXPECT_EQ(bench.Run(false, "CHANNEL=A " + extra + kKeyerFile, 3), 1u) << extra << bench.text;
        return GetTickCount() - start;
    };
    const DWORD plain = elapsedMs("");
    // A short first frame leaves the first run waiting out its deadline (20 ms) and its ten reports.
    EXPECT_GE(elapsedMs("FORCESTALL=1 "), plain + 30);
    EXPECT_GE(elapsedMs("FORCESTALL=2 "), plain + 5);  // the first run's own sleeps
}

TEST(BypassArguments, ResolutionsThatDoNotFitTheFieldsOrTheBoardAreRefused) {
    Bench bench(MainBoardRig());
    const struct { DWORD w, h, frames; const char* text; } rows[] = {
        {0, 4, 1, "Invalid resolution DIM=(0,4)\n"},
        {70000, 1, 1, "Invalid resolution DIM=(70000,1)\n"},
        {1920, 1080, 5, "Invalid resolution DIM=(1920,1080)\n"},  // 0x1000 + 10 x 8 MB passes 64 MiB
    };
    for (const auto& row : rows) {
        EXPECT_EQ(bench.Run(false, "CHANNEL=A SEQUENCE=(I...) " + kKeyerFile, row.frames, row.w, row.h), 0u) << row.text;
        EXPECT_TRUE(Has(bench.text, row.text)) << bench.text;
    }
    EXPECT_EQ(bench.Run(false, "CHANNEL=A " + kKeyerFile, 3, 1920, 1080), 1u) << bench.text;
}

// Frames that arrived whole are passed without a read-back copy; any other frame is read back and
// compared word by word under the mask, so both ways give one verdict: a change the mask ignores
// (bit 3 of each sample) passes, one it sees (bit 6 of the luma) counts every compared word, and of an
// odd pixel count the last word, which has no pair, is never compared.
TEST(BypassLoopback, FramesComparedInPlaceOrReadBackGiveOneVerdict) {
    const struct { DWORD w, h, corrupt, result; const char* text; } rows[] = {
        {64, 4, 0, 1, "Passed\n"},
        {3, 3, 0, 1, "Passed\n"},
        {64, 4, 0x00080008, 1, "Passed\n"},
        {3, 3, 0x00080008, 1, "Passed\n"},
        {64, 4, 0x00400000, 0, "Total 512 errors out of 256\n"},  // 128 pairs, both words, two image frames
        {3, 3, 0x00400000, 0, "Total 16 errors out of 9\n"},      // 4 pairs, both words, two image frames
    };
    for (const auto& row : rows) {
        CString faults;
        faults.Format(R"([{"board": "Brimola1", "kind": "video_path_corrupt", "port": "PPPA", "stage": "keyer", "mask": %u}])",
                      row.corrupt);
        Bench bench(row.corrupt ? MainBoardRig(faults.str()) : "");
        EXPECT_EQ(bench.Run(false, "CHANNEL=A " + kKeyerFile, 3, row.w, row.h), row.result) << row.text << bench.text;
        EXPECT_TRUE(Has(bench.text, row.text)) << bench.text;
        EXPECT_EQ(Has(bench.text, "Passed"), row.result == 1) << bench.text;
    }
}

TEST(BypassLoopback, TheVerboseReportNamesEveryFrameAndOnlyImagesAreCompared) {
    Bench bench("", "pexhost -ENGINEERING");
    EXPECT_EQ(bench.Run(false, "CHANNEL=A -NoCRC " + kKeyerFile, 4, 64, 4, 2), 1u);
    EXPECT_TRUE(HasAll(bench.text, {"CRC check is off\n", "DCB  Kerzil outbound to Wexal=24\nDCB  Wexal outbound to Kerzil=28\n",
                                    "SET:  XSize = 64 YSize = 4 ImageSize = 1024\n",
                                    "DstImg:  Tag[3]:  Addr[0x00001800]  [I=32,W=32,H=3]\n",
                                    "SrcImg:  Tag[1]  Addr[0x00001E00]  [I=64,W=64,H=3]\n",
                                    "Total destination size in DWORDS = 896\n", "Transfer took K2Q[0, ",
                                    "Read/Compare DstAlpha #3:  Src[Tag=3,Addr=0x00002600]  Dst[Tag=3,Addr=0x00001800]\n",
                                    "Read/Compare DstImage #4:"}))
        << bench.text;
}

// The host's stop flag ends the frames of a per-transfer run and keeps a chained run from being
// compared: no verdict is made of frames cut short.
TEST(BypassLoopback, TheStopFlagEndsTheTransfersBeforeTheCompare) {
    const struct { const char* name; const char* mode; DWORD frames; int nth; } rows[] = {
        {"per transfer, in the second", "FORCEUPDATE=1 ", 5, 2},
        {"per transfer, in the last", "FORCEUPDATE=1 ", 3, 3},
        {"chained", "", 5, 1},
    };
    for (const auto& row : rows) {
        Bench bench;
        bench.kerzil->StopAt("Frame Size Dst:", row.nth);
        EXPECT_EQ(bench.Run(false, std::string("CHANNEL=A ") + row.mode + kKeyerFile, row.frames, 64, 4, 2), 0u) << row.name;
        EXPECT_EQ(Count(bench.text, "Frame Size Dst:"), static_cast<size_t>(row.nth)) << row.name << "\n" << bench.text;
        EXPECT_FALSE(Has(bench.text, "Read/Compare") || Has(bench.text, "Passed\n") || Has(bench.text, "errors out of"))
            << row.name << "\n" << bench.text;
    }
}

TEST(BypassLoopback, FailingFramesPrintTwentyEntriesEachCountEveryWordAndAreDumped) {
    // Bit 6 stuck at 1 over the first two image frames' destination (two 1 KiB frames from 0x1000).
    Bench bench(MainBoardRig(R"([{"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 6, "value": 1, "from": 4096, "to": 6144}])"));
    EXPECT_EQ(bench.Run(false, "CHANNEL=A SEQUENCE=(I...) " + kKeyerFile, 3), 0u);
    EXPECT_EQ(Count(bench.text, "Offset["), 2u * 2 * 20) << bench.text;
    EXPECT_TRUE(HasAll(bench.text, {"Offset[0x00000000]:  SRC[0x00001C00]  DST[0x00001000]\n",
                                    "                 Expected[0x18000580]  Read[0x180005C0]  EX xor RD[0x00000040]\n",
                                    "Read/Compare DST Image:  1 Offset[", "Read/Compare DST Image:  2 Offset[", "Read/Compare DST Image:  3 \n",
                                    "Total 512 errors out of 256\n"}))
        << bench.text;
    EXPECT_FALSE(Has(bench.text, "Passed"));
    for (int f : {1, 2}) {
        CMultiImageFile<Image, Image> dump;
        CFile file;
        ASSERT_TRUE(file.Open(bench.host.cwd.Dir().File("Zorv.Kerzil.Bypass.Unpacked." + std::to_string(f)).c_str(),
                              CFile::modeRead | CFile::typeBinary));
        CArchive ar(&file, CArchive::load, 4096);
        ASSERT_EQ(dump.Load(ar), 1);
        EXPECT_EQ(std::memcmp(dump.GetFirst()->GetBuffer(), bench.image->GetBuffer(), 1024), 0);
        EXPECT_EQ(dump.GetSecond()->GetBuffer()[0], bench.image->GetBuffer()[0] | 0x40);
    }
    EXPECT_FALSE(platform::FileExists(bench.host.cwd.Dir().File("Zorv.Kerzil.Bypass.Unpacked.3").c_str()));
}

TEST(BypassMends, FailedLoadsRecordNothingAndChannelBUsesItsOwnBlock) {
    Bench bench;
    const RegisterPtr bar0 = bench.Bar0();
    // A missing FPGA= file is named, expanded, in one red line; the chip keeps its image and the
    // root is not asked to load anything.
    const std::string dir = bench.host.cwd.Dir().Path();
    const struct { bool pair; const char* args; std::string file; CKeyerPathTB* chip; } missing[] = {
        {false, "CHANNEL=A FPGA=$(CWD)\\testdata\\LOCV9999.oxd", dir + "/testdata/LOCV9999.oxd", bench.root->GetKerzil()},
        {false, "CHANNEL=A FPGA=$(CWD)\\nowhere\\LOCV$(VPDVER).oxd", dir + "/nowhere/LOCV0202.oxd", bench.root->GetKerzil()},
        {true, "CHANNEL=B FPGA=$(CWD)\\testdata\\TAZU9999.oxd", dir + "/testdata/TAZU9999.oxd", bench.root->GetSulvethB()},
    };
    for (const auto& row : missing) {
        const CString loaded = row.chip->GetCurrentOXD();
        EXPECT_EQ(bench.Run(row.pair, row.args, 1), 0u) << row.args;
        const std::string line = "ERROR:  FPGA file[" + row.file + "] not found.\n";
        EXPECT_TRUE(bench.Log(row.pair).HasColoured(line, kColorRed)) << bench.text;
        EXPECT_EQ(Count(bench.text, "ERROR"), 1u) << bench.text;
        EXPECT_FALSE(Has(bench.text, "has not been downloaded") || Has(bench.text, "Program Xilinx")) << bench.text;
        EXPECT_EQ(row.chip->GetCurrentOXD(), loaded) << row.args;
    }
    // Channel A's block keeps its LOOPBACK while B runs through the pair.
    bar0[0x8FC8 / 4] = 0x8000;
    EXPECT_EQ(bench.Run(true, "CHANNEL=B " + kPairFile, 3), 1u) << bench.text;
    EXPECT_EQ(bar0[0x8FC8 / 4], 0x8000u);
    // The pair is loaded with its default first; the wanted file is held against the file loaded then.
    bench.root->GetSulvethA()->SetCurrentOXD("$(CWD)\\testdata\\..\\testdata\\TAZU$(VPDVER).oxd");
    EXPECT_EQ(bench.Run(true, "CHANNEL=A FPGA=$(CWD)\\testdata\\..\\testdata\\TAZU$(VPDVER).oxd", 1), 1u) << bench.text;
    EXPECT_TRUE(HasAll(bench.text, {"Program Xilinx FPGA.\n", "OXD FILE:  " + bench.host.cwd.Dir().Path() +
                                                               "/testdata/../testdata/TAZU0202.oxd\n"}));
}

TEST(BypassFaults, EveryPathFaultFailsNamingItAndLoopbackIsRestored) {
    auto rig = [](const std::string& fault) { return MainBoardRig("[{\"board\": \"Brimola1\", " + fault + "}]"); };
    const struct { const char* name; std::string rig; bool pair; const char* channel; std::string text; } rows[] = {
        {"keyer corrupt", rig(R"("kind": "video_path_corrupt", "port": "PPPA", "stage": "keyer", "mask": 64)"), false, "A",
         "Offset[0x00000000]:  SRC[0x00001A00]  DST[0x00001000]\n"},
        {"luma corrupt", rig(R"("kind": "video_path_corrupt", "port": "PPPA", "stage": "keyer", "mask": 4194304)"), false,
         "A", "Total 512 errors out of 256\n"},
        {"pair corrupt", rig(R"("kind": "video_path_corrupt", "port": "PPPA", "stage": "pair", "mask": 128)"), true, "A",
         "Total 512 errors out of 256\n"},
        // The frames arrive whole; the first one's read-back delivers flipped bits.
        {"soft errors", rig(R"("kind": "sdram_bit_flips", "rate": 1, "seed": 5, "from": 4096, "to": 5120)"), false, "A",
         "Read/Compare DST Image:  1 Offset[0x00000000]:  SRC[0x00001A00]  DST[0x00001000]\n"},
        {"stall 24", rig(R"("kind": "dma_stall", "channel": 24)"), false, "A", "timed out waiting for the\n  completion of"},
        {"stall 28", rig(R"("kind": "dma_stall", "channel": 28)"), false, "A", "Wexal to Kerzil"},
        {"wrong tag", rig(R"("kind": "dma_wrong_tag", "channel": 24)"), false, "A", "timed out waiting for the"},
        {"keyer unloaded", rig(R"("kind": "fpga_done_stays_low", "device": 0)"), false, "A",
         " Error: The Kerzil FPGA has not been downloaded.\n"},
        {"pair unloaded", rig(R"("kind": "fpga_done_stays_low", "device": 1)"), true, "A",
         "ERROR: Sulveth A has not been downloaded\n"},
        {"keyer DCM", rig(R"("kind": "dcm_unlocked", "device": 0, "bit": 27)"), true, "A", "ERROR:  Kerzil not locked = 0x"},
        {"pair DCM", rig(R"("kind": "dcm_unlocked", "device": 2, "bit": 24)"), true, "B", "ERROR:  Sulveth not locked = 0x"},
        {"DDR", rig(R"("kind": "ddr_init_fails", "device": 1)"), true, "A",
         "ERROR: Init did NOT complete in time: Sulveth A 1st-Pass DDR chips\nExpected[0x000C0000]"},
    };
    for (const auto& row : rows) {
        Bench bench(row.rig);
        const DWORD block = row.channel[0] == 'A' ? 0x8FC8 : 0xAFC8;
        const DWORD before = bench.Bar0()[block / 4] & 0x8000;
        const std::string file = row.pair ? kPairFile : kKeyerFile;
        EXPECT_EQ(bench.Run(row.pair, std::string("CHANNEL=") + row.channel + " " + file, 3, 64, 4, 2), 0u) << row.name;
        EXPECT_TRUE(Has(bench.text, row.text)) << row.name << "\n" << bench.text;
        EXPECT_FALSE(Has(bench.text, "Passed")) << row.name;
        EXPECT_EQ(bench.Bar0()[block / 4] & 0x8000, before) << row.name;
    }
}

// Later pair designs of device 4 (minor revision 0x9F on) return only bits 12-6 of each sample;
// earlier ones, and other devices at any revision, return all ten bits. Each row loads a pair
// image of that identification word and sends the frames through a pair stage that flips bits.
TEST(BypassFaults, ThePairCompareMaskFollowsTheDesignRevision) {
    const struct { DWORD idWord; DWORD flipped; DWORD result; const char* text; } rows[] = {
        {0x0040209F, 0x00008000, 1, "Passed\n"},  // the first revision that drops bits 15-13
        {0x0040209E, 0x00008000, 0, "Total 512 errors out of 256\n"},  // the last that keeps them
        {0x004020A0, 0x80000000, 1, "Passed\n"},
        {0x0040209E, 0x80000000, 0, "Total 512 errors out of 256\n"},
        {0x0030209F, 0x00008000, 0, "Total 512 errors out of 256\n"},  // another device keeps them
        {0x0040209F, 0x00001000, 0, "Total 512 errors out of 256\n"},  // bit 12 of the first sample counts
        {0x0040209F, 0x10000000, 0, "Total 512 errors out of 256\n"},  // and of the second
        {0x0040209E, 0x00000000, 1, "Passed\n"},
    };
    for (const auto& row : rows) {
        CString word;
        word.Format("0x%08X", row.idWord);
        SCOPED_TRACE(word.str());
        CString fault;
        fault.Format(R"([{"board": "Brimola1", "kind": "video_path_corrupt", "port": "PPPA", "stage": "pair", "mask": %u}])",
                     row.flipped);
        Bench bench(row.flipped ? MainBoardRig(fault.str()) : "");
        // A pair image as the configuration images are made, with the row's identification word,
        // in a folder of its own (the programming takes pair images by their file name).
        const sim::FirmwareImage image{"TAZU", sim::FirmwareImage::Kind::FpgaConfig, sim::BoardKind::Brimola, 0x06,
                                       row.idWord, 6028};
        const std::vector<uint8_t> oxd = sim::BuildOxdFile(image, sim::BoardConfig{}.revision);
        bench.host.cwd.Dir().MakeDir("design");
        bench.host.cwd.Dir().Write("design/TAZU0202.oxd", std::string(oxd.begin(), oxd.end()));
        EXPECT_EQ(bench.Run(true, "CHANNEL=A -NOCRC FPGA=$(CWD)\\design\\TAZU$(VPDVER).oxd", 3), row.result) << bench.text;
        EXPECT_EQ(bench.Bar0()[0x1BFC8 / 4], row.idWord) << "the row's design is loaded";
        EXPECT_TRUE(Has(bench.text, row.text)) << bench.text;
    }
}

TEST(ChipCrcCheck, EngineeringOnlyKeyerOnItsFirstRegisterPairOnAllThree) {
    {
        Bench plain;
        ASSERT_EQ(plain.Run(false, "CHANNEL=A SEQUENCE=(I...) " + kKeyerFile, 3), 1u);
        plain.kerzil->out = {};
        plain.kerzil->CheckCRCs(1, plain.image.get(), nullptr, 3);
        EXPECT_EQ(plain.kerzil->out.text + TakeText(), "");
    }
    Bench bench("", "pexhost -ENGINEERING");
    // {pair, register spoilt after the run (0: none), colour of the image line}
    const struct { bool pair; DWORD spoil; COLORREF colour; } rows[] = {
        {false, 0, kGreen}, {false, 0x87CC, kGreen}, {false, 0x8FD8, kRed},
        {true, 0, kGreen}, {true, 0x87CC, kRed}, {true, 0x18FD8, kRed},
    };
    for (const auto& row : rows) {
        ASSERT_EQ(bench.Run(row.pair, std::string("CHANNEL=A SEQUENCE=(I...) ") + (row.pair ? kPairFile : kKeyerFile), 3), 1u)
            << bench.text;
        if (row.spoil) bench.Bar0()[row.spoil / 4] = 0x12345678;
        OutputLog& log = bench.Log(row.pair);
        log = {};
        CKeyerPathTB& test = row.pair ? static_cast<CKeyerPathTB&>(*bench.sulveth) : *bench.kerzil;
        test.CheckCRCs(1, bench.image.get(), nullptr, 3);
        EXPECT_TRUE(Has(log.text, "\nCalculating CRCs\n...\n")) << log.text;
        // The checksum of three frames: each pass seeded by the one before.
        const CRC32_D52<Image> model;
        CString calculated;
        calculated.Format("Calculated%s[0x%08X]\n", row.pair ? "" : "CRC",
                          bench.image->ComputeCRC(model, bench.image->ComputeCRC(model, bench.image->ComputeCRC(model, 0, 1), 1), 1));
        EXPECT_TRUE(log.HasColoured(calculated.str(), row.colour)) << row.spoil << "\n" << log.text;
        EXPECT_TRUE(log.HasColoured(row.pair ? "Image CRCs:  Sulveth[" : "Image:  KerzilCRC[", row.colour));
    }
    // A keyer stage that corrupts what it sends back: the loopback runs the check itself, and it shows red.
    Bench corrupt(MainBoardRig(R"([{"kind": "video_path_corrupt", "board": "Brimola1", "port": "PPPA", "stage": "keyer", "mask": 64}])"),
                  "pexhost -ENGINEERING");
    EXPECT_EQ(corrupt.Run(false, "CHANNEL=A SEQUENCE=(I...) " + kKeyerFile, 2), 0u);
    EXPECT_TRUE(corrupt.kerzil->out.HasColoured("Image:  KerzilCRC[", kRed)) << corrupt.text;
    EXPECT_EQ(corrupt.Run(false, "CHANNEL=A -NOCRC SEQUENCE=(I...) " + kKeyerFile, 2), 0u);
    EXPECT_FALSE(Has(corrupt.text, "Calculating CRCs"));
}

}  // namespace
