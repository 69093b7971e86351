// The codec unpacker test on the simulated codec board: dispatch and options, set-up, compares, saves, round trips and the faults they catch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "codec/chip/sorbelin_unpacker.h"
#include "images/image_crc.h"
#include "images/multi_image_file.h"
#include "images/packed_image.h"
#include "platform/clock.h"
#include "platform/host_ui.h"
#include "tests/codec/codec_board_fixture.h"
#include "tests/devlib/rig_fixture.h"
#include "tests/support/fixtures.h"
#include "tests/support/output.h"
#include "tests/support/temp_dir.h"

namespace {

using support::Bracketed;
using support::Quoted;
using support::Recording;

const std::string kImage = support::Fixture("oxd/UPQE0202.oxd");

class SorbelinUnpackerTest : public codectest::CodecBoardTest<devtest::RigTest> {
protected:
    void SetUp() override {
        CodecBoardTest::SetUp();
        support::TakeText();
    }
    void Attach() override {
        CodecBoardTest::Attach();
        jastel.SetControllerRegisters(Board("Nuxa1")->GetControllerRegisters());
        support::SelectCodecBoard(unpA, unpB);
    }
    DWORD Program(Recording<CSorbelinUnpacker>& t) { return t.Run(("Program VERBOSITY=1 FILE=" + Bracketed(kImage)).c_str()); }
    void Clear() {
        for (support::OutputLog* log : {&bridge.out, &unpA.out, &unpB.out}) *log = {};
    }
    // SDRAM of the codec board.
    void WriteSdram(DWORD address, const void* data, DWORD bytes) { ASSERT_TRUE(unpA.WriteMemory(data, address, bytes)); }
    std::vector<BYTE> ReadSdram(DWORD address, DWORD bytes) {
        std::vector<BYTE> out(bytes);
        EXPECT_TRUE(unpA.ReadMemory(address, out.data(), bytes));
        return out;
    }

    Recording<CNuxaDSP> dspA{&bridge, "CNuxaDSPA"};
    Recording<CNuxaDSP> dspB{&bridge, "CNuxaDSPB"};
    Recording<CJastel> jastel{"CJastel"};
    support::StopOnPrint<CSorbelinUnpacker> unpA{&dspA, &bridge, &jastel, "CSorbelinUnpackerA"};
    support::StopOnPrint<CSorbelinUnpacker> unpB{&dspB, &bridge, &jastel, "CSorbelinUnpackerB"};
};

// Commands refused by the dispatcher or by the first check of their handler, before any chip access.
TEST_F(SorbelinUnpackerTest, DispatcherRefusesBadCommandsAndOptions) {
    struct Row {
        const char* command;
        const char* red;
    } const rows[] = {
        {"Show Revid", "\n\nERROR:  CSorbelinUnpacker\n\"Show Revid\"\n Not recognized as a valid test\n"},
        {"Show RevID FRAMES=2", "\"Show RevID FRAMES=2\"\n Not recognized as a valid test\n"},
        {"\"Video:Image\" DIM=(64,64) FRAMES=0", "Number of frames must be between 1 and 15."},
        {"\"Video:Image\" DIM=(64,64) FRAMES=16", "Number of frames must be between 1 and 15."},
        {"\"Video:Image\" DIM=(64,64) FRAMES=-1", "Number of frames must be between 1 and 15."},
        {"\"Video:Image\"", "Unable to read either XSize or YSize"},
        {"\"Video:Alpha\" DIM=(0, 64)", "Unable to read either XSize or YSize"},
        {"\"Video:Image\" DIM=(-64,64)", "DIM=(-64,64) is out of range"},
        {"\"Video:Image\" DIM=(4096,64)", "DIM=(4096,64) is out of range"},
        {"\"Video:Alpha\" DIM=(64,64) FILE=\"missing.raw", "Invalid file name"},
        {"\"Video:Alpha\" DIM=(64,64) FILE=/no/such/alpha.raw", "ERROR:  Unable to open\n/no/such/alpha.raw\n"},
        {"\"Test Wexal Memory\" DIM=(64,64)", "Unable to find wexal address on command line\n"},
        {"\"Test Wexal Memory\" ADDRESS=100000 DIM=(64,64)", "Wexal address on command line is not in the format 0xFCE32BA0.\n"},
        {"\"Test Wexal Memory\" ADDRESS=0xZZ DIM=(64,64)", "Wexal address on command line is not in the format 0xFCE32BA0.\n"},
        {"\"Test Wexal Memory\" ADDRESS=0x100000", "Unable to read either XSize or YSize"},
        {"\"Video:Bypass\" RAMP", "Unable to find SIZE parameter"},
        {"\"Video:Bypass\" SIZE=MB RAMP", "Unrecognized size"},
        {"\"Video:Bypass\" SIZE=-4096 RAMP", "Unrecognized size"},
        {"\"Video:Bypass\" SIZE=5000MB RAMP", "Unrecognized size"},
        // 2^44 MB is 2^64 bytes: a size that would wrap to 0 in the product.
        {"\"Video:Bypass\" SIZE=17592186044416MB RAMP", "Unrecognized size"},
        {"\"Video:Bypass\" SIZE=18446744073709555712 RAMP", "Unrecognized size"},
        {"\"Video:Bypass\" SIZE=0 RAMP", "Buffersize must be greater than zero.\n"},
        {"\"Video:Bypass\" SIZE=3kb RAMP", "Buffer size must be a multiple of 4096"},
        {"\"Video:Bypass\" SIZE=8392704 RAMP", "Buffer size must be less than 8MB"},
        {"\"Video:Bypass\" SIZE=4KB", "Data requirement was not specified"},
        {"\"Expansion:Video:Image:Alpha\"", "Test not implemented yet!\n"},
        {"\"Video:Mixed\" DIM=(64,64) FORCEUPDATE=2", "FORCEUPDATE must be 0 or 1\n"},
        {"\"Expansion:Mixed\" DIM=(64,64) FORCESTALL=3", "FORCESTALL must be 0, 1 or 2\n"},
        {"\"Video:Mixed\" DIM=(64,64) FRAMES=3 SEQUENCE=I:A", "SEQUENCE count[2] does not match number of frames specified[3]\n"},
        {"\"Video:Mixed\" DIM=(64,64) FRAMES=2 SEQUENCE=I:X", "Bad token in SEQUENCE\n"},
        {"\"Video:Mixed\" DIM=(64,64) FRAMES=5 SEQUENCE=I:A:I:A:I:A", "SEQUENCE count[6] does not match number of frames specified[5]\n"},
        {"\"Save Image\" ADDRESS=0x1000 FILE=x", "Unable to read either XSize or YSize.  Use DIM=(XSize, YSize).\n"},
        {"\"Save Alpha\" ADDRESS=0x1000 DIM=(720,486)", "Unable to read filename.  Use FILE=filename.\n"},
        {"\"Save Image\" ADDRESS=@DCB(64, 1, 0) DIM=(8,8) FILE=x", "Unrecognized WEXAL ADDRESS.\n"},
        {"\"Save Image\" ADDRESS=@DCB(28, 24, 16) DIM=(8,8) FILE=x", "Unrecognized WEXAL ADDRESS.\n"},
        {"\"Save Alpha\" ADDRESS=0xZZ DIM=(8,8) FILE=x", "SYNTAX:  \"Save Alpha\" ADDRESS=0x00001000 DIM=(720,486) FILE=C:\\Test.Img\n"},
        {"\"Save Image\" ADDRESS=0x1000 DIM=(8,8) FORMAT=-1 FILE=x", "FORMAT=-1 is not a file format"},
        // Past a long's 32 bits: refused, never read as the text form.
        {"\"Save Image\" ADDRESS=0x1000 DIM=(8,8) FORMAT=4294967296 FILE=x",
         "Argument FORMAT=4294967296 does not fit its range -2147483648..2147483647\n"},
        {"\"Video:Mixed\" DIM=(64,64) FORCESTALL=4294967298", "FORCESTALL must be 0, 1 or 2\n"},
        {"\"Video:Mixed\" DIM=(64,64) FORCEUPDATE=x", "FORCEUPDATE must be 0 or 1\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        Clear();
        EXPECT_EQ(unpA.RunTest(row.command), 0u);
        EXPECT_TRUE(unpA.out.HasColoured(row.red, kColorRed)) << unpA.out.text;
    }
}

TEST_F(SorbelinUnpackerTest, ChipNumberComesFromTheNamesLastLetter) {
    struct Row {
        const char* name;
        int chip;
    } const rows[] = {{"CSorbelinUnpackerA", 1}, {"CSorbelinUnpackerB", 2}, {"CSorbelinUnpackerc \t", 3}, {"CSorbelinUnpacker1", 0}, {"", 0}};
    for (const Row& row : rows) {
        Recording<CSorbelinUnpacker> t{&dspA, &bridge, nullptr, row.name};
        t.GetBoardIF().SelectDevice("Nuxa1", FALSE);
        t.GetBoardIF().GetBAR0(FALSE);
        EXPECT_EQ(t.GetChipFromName(1), row.chip) << row.name;
        EXPECT_EQ(t.GetExpectedDeviceId(), row.chip == 1 ? 0x140u : row.chip == 2 ? 0x150u : 0u) << row.name;
    }
    // Without the board's register space chip B's product data cannot be read.
    Recording<CSorbelinUnpacker> unbound{&dspB, &bridge, nullptr, "CSorbelinUnpackerB"};
    EXPECT_EQ(unbound.GetExpectedDeviceId(), 0u);
    EXPECT_TRUE(unbound.out.HasColoured("no BAR0 register space", kColorRed));
}

// Chip B of an early board (product data "ZA" below 2) reports chip A's device id.
TEST_F(SorbelinUnpackerTest, ExpectedDeviceIdOfChipBFollowsTheBoardArtwork) {
    struct Row {
        const char* vpd;
        DWORD a, b;
    } const rows[] = {
        {R"(, "vpd": {"ZA": "1"})", 0x140, 0x140},
        {R"(, "vpd": {"ZA": "2"})", 0x140, 0x150},
        {R"(, "vpd": {"ZA": ""})", 0x140, 0x150},
        {R"(, "vpd": {"ZA": "x"})", 0x140, 0x140},
        {R"(, "vpd": {"ZA": "-3"})", 0x140, 0x140},
        // Longer than the field buffer: only what was copied is read.
        {R"(, "vpd": {"ZA": "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000005"})", 0x140, 0x140},
        {"", 0x140, 0x150},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.vpd);
        LoadFaults("[]", row.vpd);
        EXPECT_EQ(unpA.GetExpectedDeviceId(), row.a);
        EXPECT_EQ(unpB.GetExpectedDeviceId(), row.b);
    }
}

TEST_F(SorbelinUnpackerTest, TransferSizeIsMatchedAgainstTheResolutionTable) {
    struct Row {
        DWORD lines, initial, length;
        BOOL result;
        const char* line;
    } const rows[] = {
        {485, 720, 720, TRUE, "Transfer size matches Image[720,486]\n"},
        {485, 360, 360, TRUE, "Transfer size matches Alpha[720,486]\n"},
        {3, 256, 256, TRUE, "Transfer size matches Image[256,4]\n"},  // 4096 bytes
        {0, 1000, 0, FALSE, "Transfer size does not match any common resolution\n."},
        {0, 0, 0, FALSE, "Transfer size does not match any common resolution\n."},
    };
    for (const Row& row : rows) {
        const DWORD dcb[8] = {0, 0, 0, row.lines << 16 | row.initial, row.length, 0, 0, 0};
        CString report;
        EXPECT_EQ(unpA.CheckTransferSize(0, dcb, report), row.result) << row.line;
        EXPECT_NE(report.str().find(row.line), std::string::npos) << report.str();
        EXPECT_EQ(report.str().back(), '\n');
    }
}

TEST_F(SorbelinUnpackerTest, ContextEntriesOutsideTheRamAreRefusedUnwritten) {
    struct Row {
        DWORD index, width, height;
        BOOL result;
    } const rows[] = {{15, 4095, 4, TRUE}, {16, 64, 64, FALSE}, {0, 4096, 64, FALSE}, {0, 64, 4096, FALSE}, {0, 64, 3, FALSE}, {0, 0, 4, TRUE}};
    for (const Row& row : rows) {
        Clear();
        EXPECT_EQ(unpA.SetContextRamEntry(row.index, row.width, row.height, 1, 3), row.result) << row.index << " " << row.width << " " << row.height;
    }
}

// ClearDCB empties the OP, Port, address and geometry words of a DCB and keeps the rest.
TEST_F(SorbelinUnpackerTest, ClearDcbEmptiesTheTransferWords) {
    CWexalDMAChannel* channel = Board("Nuxa1")->GetDMAChannel(24);
    const DWORD words[8] = {0x00802001, 0x00050000, 0x1000, 0x00030100, 0x100, 0x5, 0x6, 0x7};
    ASSERT_TRUE(channel->SetDCBWords(2, words));
    DWORD before[8];
    ASSERT_TRUE(channel->GetDCBWords(2, before));
    ASSERT_NE(before[3], 0u);
    unpA.ClearDCB(Regs("Nuxa1") + (0x60000 + 0x200 * 24 + 0x20 * 2) / 4, channel->GetControlWord());
    DWORD after[8];
    ASSERT_TRUE(channel->GetDCBWords(2, after));
    for (int w = 0; w < 5; ++w) EXPECT_EQ(after[w], 0u) << w;
    for (int w = 5; w < 8; ++w) EXPECT_EQ(after[w], before[w]) << w;
}

// Bits 15..6 of both halves of every word decide; bits 5..0 never do.
TEST_F(SorbelinUnpackerTest, UnpackedImagesCompareEverySample) {
    struct Row {
        const char* what;
        DWORD xorFirst, xorSecond;  // applied to pixel pair 5
        int pairs;                  // pairs changed from pair 5 on
        BOOL equal;
        long total;
    } const rows[] = {
        {"Y0 only", 0x00400000, 0, 1, FALSE, 1},
        {"Y1 and Cr", 0, 0x80000040, 1, FALSE, 1},
        {"Cb", 0x00000040, 0, 1, FALSE, 1},
        {"bits 5..0 of every half", 0x003F003F, 0x003F003F, 1, TRUE, 0},
        {"25 pairs, both words", 0x00400040, 0x00400040, 25, FALSE, 50},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Unpacked::Image::YCbCr_10_6 expected(16, 8, 0), read(16, 8, 0);
        expected.FillRandom(7, 1, 0, 0x3FF);
        std::memcpy(read.GetBuffer(), expected.GetBuffer(), expected.GetSize());
        for (int p = 5; p < 5 + row.pairs; ++p) {
            DWORD w[2];
            std::memcpy(w, read.GetBuffer() + 8 * p, 8);
            w[0] ^= row.xorFirst;
            w[1] ^= row.xorSecond;
            std::memcpy(read.GetBuffer() + 8 * p, w, 8);
        }
        Clear();
        EXPECT_EQ(unpA.CompareUnpackedImages(expected, read, 1), row.equal);
        if (row.equal) {
            EXPECT_TRUE(unpA.out.HasColoured("Passed\n", kColorGreen));
            continue;
        }
        EXPECT_TRUE(unpA.out.HasColoured("Total " + std::to_string(row.total) + " errors out of 128\n", kColorRed)) << unpA.out.text;
        EXPECT_EQ(support::Count(unpA.out.text, "64 bit Offset["), std::min(row.pairs, 20));
        EXPECT_TRUE(unpA.out.Has("64 bit Offset[0x00000028]:  \n")) << unpA.out.text;
    }
    Unpacked::Image::YCbCr_10_6 a(16, 8, 0), wide(18, 8, 0), tall(16, 9, 0);
    EXPECT_EQ(unpA.CompareUnpackedImages(a, wide, 1), FALSE);
    EXPECT_TRUE(unpA.out.HasColoured("Image XSize mismatch\n", kColorRed));
    EXPECT_EQ(unpA.CompareUnpackedImages(a, tall, 1), FALSE);
    EXPECT_TRUE(unpA.out.HasColoured("Image YSize mismatch\n", kColorRed));
}

TEST_F(SorbelinUnpackerTest, UnpackImageSWSplitsAFileOfExactlyTheFramesGiven) {
    support::TempDir dir;
    const DWORD w = 64, h = 8, frame = 4 * w * h;
    struct Row {
        long extra;  // bytes beside two whole frames
        BOOL result;
    } const rows[] = {{0, TRUE}, {1, FALSE}, {-1, FALSE}};
    for (const Row& row : rows) {
        const std::string file = dir.File("frames" + std::to_string(row.extra + 1));
        std::vector<char> data(static_cast<size_t>(2 * frame + row.extra));
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
        std::ofstream(file, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
        EXPECT_EQ(unpA.UnpackImageSW(file.c_str(), w, h, 2), row.result) << row.extra;
        EXPECT_EQ(std::filesystem::exists(file + ".1"), row.result == TRUE);
        EXPECT_EQ(std::filesystem::exists(file + ".2"), row.result == TRUE);
        if (row.result != TRUE) continue;
        // Frame 2 is the packed form of the file's second frame, pad in front.
        Unpacked::Image::YCbCr_10_6 second(w, h, 0);
        std::memcpy(second.GetBuffer(), data.data() + frame, frame);
        const Packed::Image::YCbCr_8_2 packed(second, Packed::Image::YCbCr_8_2::GetPadFor(w, h));
        const std::string reference = dir.File("reference");
        packed.SaveFile(reference.c_str(), 0);
        EXPECT_EQ(support::ReadText(file + ".2"), support::ReadText(reference));
    }
    // A frame that cannot be saved (a folder stands where its file goes) fails the split, saying why.
    std::filesystem::remove(dir.File("frames1.2"));
    std::filesystem::create_directory(dir.File("frames1.2"));
    platform::ClearMessageBoxHistory();
    EXPECT_EQ(unpA.UnpackImageSW(dir.File("frames1").c_str(), w, h, 2), FALSE);
    ASSERT_EQ(platform::MessageBoxHistory().size(), 1u);
    EXPECT_EQ(platform::MessageBoxHistory()[0].caption, CString("ERROR:  Couldn't open file"));
    EXPECT_EQ(unpA.UnpackImageSW(dir.File("none").c_str(), w, h, 1), FALSE);
    EXPECT_EQ(unpA.UnpackImageSW(dir.File("none").c_str(), 4095, 4095, 0x10000), FALSE);
    EXPECT_TRUE(unpA.out.HasColoured("do not fit a 4 GB file", kColorRed)) << unpA.out.text;
}

// Saves: the address form writes the unpacked image read from SDRAM, the DCB form both images of
// the two channels' DCB; a file that cannot be written fails the save.
TEST_F(SorbelinUnpackerTest, SavesFetchWhatTheSdramHolds) {
    support::TempDir dir;
    support::ScopedCwd cwd(dir.Path());
    const DWORD w = 64, h = 8;
    Unpacked::Image::YCbCr_10_6 image(w, h, 0);
    image.FillRandom(3, 1, 0, 0x3FF);
    Unpacked::Alpha::YCbCr_10_6 alpha(w, h);
    alpha.FillRandom(4);
    const DWORD pad = Packed::Image::YCbCr_8_2::GetPadFor(w, h);
    const Packed::Image::YCbCr_8_2 packed(image, pad);
    WriteSdram(0x1000, image.GetBuffer(), image.GetSize());
    WriteSdram(0x20000, alpha.GetBuffer(), alpha.GetSize());
    WriteSdram(0x800000, packed.GetBuffer(), packed.GetSize() + pad);
    // DCB 3 of channel 28 names the packed source, of channel 24 the unpacked result.
    for (auto [channel, start] : {std::pair{28, 0x800000u}, std::pair{24, 0x1000u}}) {
        DWORD words[8] = {0, 3u << 16, start, 0, 0, 0, 0, 0};
        Board("Nuxa1")->GetDMAChannel(channel)->SetDCBWords(3, words);
    }
    auto reference = [&](const CImage& im, const std::string& name, int format) {
        const std::string path = dir.File(name);
        im.SaveFile(path.c_str(), format);
        return support::ReadText(path);
    };
    const std::string imageFile = reference(image, "ref.image", 0);
    const std::string imageText = reference(image, "ref.image.text", 1);
    const std::string alphaFile = reference(alpha, "ref.alpha", 0);
    const std::string packedText = reference(packed, "ref.packed.text", 1);
    struct Row {
        std::string command;
        DWORD result;
        std::vector<std::pair<std::string, std::string>> files;  // file, expected content
    } const rows[] = {
        {"\"Save Image\" ADDRESS=0x00001000 DIM=(64,8) FILE=" + Quoted(dir.File("a.img")), 1, {{"a.img", imageFile}}},
        {"\"Save Image\" ADDRESS=0x00001000 DIM=(64,8) FORMAT=7 FILE=" + Quoted(dir.File("t.img")), 1, {{"t.img", imageText}}},
        {"\"Save Alpha\" ADDRESS=0x00020000 DIM=(64,8) FILE=" + Quoted(dir.File("a.alpha")), 1, {{"a.alpha", alphaFile}}},
        {"\"Save Image\" ADDRESS=@DCB(28, 24, 3) DIM=(64,8) FORMAT=1 FILE=" + Quoted(dir.File("d")), 1, {{"d.U", imageText}, {"d.P", packedText}}},
        // A name holding a blank, and what follows its quotes belongs to it.
        {"\"Save Image\" ADDRESS=0x00001000 DIM=(64,8) FILE=" + Quoted(dir.File("an image")) + ".img VERBOSE=0", 1, {{"an image.img", imageFile}}},
        // An unquoted name ends at its blank: the next argument is no part of it.
        {"\"Save Image\" ADDRESS=0x00001000 DIM=(64,8) FILE=plain.img VERBOSE=0", 1, {{"plain.img", imageFile}}},
        {"\"Save Image\" ADDRESS=0x00001000 DIM=(64,8) FILE=" + Quoted(dir.File("no/such/folder/x.img")), 0, {}},
        {"\"Save Alpha\" ADDRESS=0x00020000 DIM=(64,8) FILE=" + Quoted(dir.File("no/such/folder/x.img")), 0, {}},
        {"\"Save Image\" ADDRESS=@DCB(28, 24, 3) DIM=(64,8) FORMAT=1 FILE=" + Quoted(dir.File("no/such/folder/x.img")), 0, {}},
        {"\"Save Image\" ADDRESS=@DCB(28, 24, 3) DIM=(64,8) FILE=" + Quoted(dir.File("no/such/folder/x.img")), 0, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        Clear();
        platform::ClearMessageBoxHistory();
        EXPECT_EQ(unpA.RunTest(row.command.c_str()), row.result) << unpA.out.text;
        for (const auto& [file, content] : row.files) EXPECT_TRUE(support::ReadText(dir.File(file)) == content) << file;
        // A file that cannot be written says why, whichever form wrote it.
        const auto& boxes = platform::MessageBoxHistory();
        EXPECT_EQ(boxes.empty(), row.result == 1);
        if (!boxes.empty()) {
            EXPECT_EQ(boxes[0].caption, CString("ERROR:  Couldn't open file"));
        }
    }
    // The archive of the DCB form opens with the two-image identity and holds the packed image first.
    Clear();
    EXPECT_EQ(unpA.RunTest(("\"Save Image\" ADDRESS=@DCB(28, 24, 3) DIM=(64,8) FILE=" + Quoted(dir.File("pair"))).c_str()), 1u);
    EXPECT_TRUE(unpA.out.HasColoured("Wexal Address:  Src[0x00800000]  Dst[0x00001000]\n", kColorBlack));
    const std::string pair = support::ReadText(dir.File("pair"));
    ASSERT_GT(pair.size(), 16u);
    EXPECT_EQ(std::memcmp(pair.data(), kMultiImageFileGuid.data(), 16), 0);
    const std::string packedFile = reference(packed, "ref.packed", 0);
    EXPECT_EQ(pair.substr(16), packedFile + imageFile);
}

}  // namespace

namespace {

class UnpackerRoundTrip : public SorbelinUnpackerTest {
protected:
    void SetUp() override {
        SorbelinUnpackerTest::SetUp();
        for (auto* t : {&unpA, &unpB}) {
            ASSERT_EQ(Program(*t), kRunPassed) << t->out.text;
            t->GetImageList()->FreeStrings();
            t->GetImageList()->Add("RANDOM SEED=0x1234");
        }
        Clear();
    }
    void Reprogram() {
        Attach();
        for (auto* t : {&unpA, &unpB}) ASSERT_EQ(Program(*t), kRunPassed) << t->out.text;
        Clear();
    }
    support::InTempCwd cwd;  // dumps land here
    std::vector<DWORD> pattern = std::vector<DWORD>(4096, 0x5A5AA5A5);
};

// Healthy rig: every round trip passes on both chips, the results and sources where the layout puts them.
TEST_F(UnpackerRoundTrip, RoundTripsPassOnBothChips) {
    struct Row {
        const char* command;
        std::vector<std::string> lines;  // in the output of chip A's run
    } const rows[] = {
        {"\"Video:Image\" DIM=(64,64)", {"Test Sorbelin A\n", "SizeData[10240]  SizePad[2048]", "DCBAddr[0x00800000]", "Passed\n"}},
        // 4096 x 4 pixels pack to exactly 40960 bytes: no pad, ten blocks.
        {"\"Video:Image\" DIM=(4096,4)", {"DIM=(4096,4) is out of range"}},
        {"\"Video:Image\" DIM=(2048,4)", {"SizeData[20480]  SizePad[0]", "[4, 1024, 1024]  DCBAddr[0x00800000]", "Passed\n"}},
        {"\"Video:Image:Mask\" DIM=(64,64)", {"Passed\n"}},
        {"\"Video:Alpha\" DIM=(64,64) FRAMES=2", {"Read/Compare Image #:  1 2 ", "Passed\n"}},
        {"\"Expansion:Image\" DIM=(64,64)", {"Test Sorbelin A Expansion Port\n", "Passed\n"}},
        {"\"Expansion:Alpha\" DIM=(64,64)", {"Passed\n"}},
        {"\"Video:Mixed\" DIM=(64,64) FRAMES=3",
         {"Read/Compare DST Image:  1\n", "Read/Compare DST Image:  2\n", "Read/Compare DST Alpha:  3\n", "PASS:\tResolution[64,64]", "Passed\n"}},
        {"\"Expansion:Mixed\" DIM=(64,64) FRAMES=5 SEQUENCE=A:I...",
         {"Read/Compare DST Alpha:  1\n", "Read/Compare DST Image:  4\n", "Read/Compare DST Alpha:  5\n", "PASS:\tResolution[64,64]"}},
        {"\"Video:Mixed\" DIM=(64,64) FRAMES=2 FORCEUPDATE=1", {"Transfer #1:  Took", "Transfer #2:  Took", "PASS:"}},
        // Results of two 1920 x 1080 frames reach past 0x800000: the sources start after them.
        {"\"Video:Image\" DIM=(1920,1080) FRAMES=2", {"DCBAddr[0x00FD3000]", "DCBAddr[0x014C5000]", "Passed\n"}},
        {"\"Video:Bypass\" SIZE=4KB RAMP", {"Initial[256] Length[256] Lines[3]", "Passed\n"}},
        {"\"Video:Bypass\" SIZE=2MB RAMP", {"Size=2097152\n", "Initial[1024] Length[1024] Lines[511]", "Passed\n"}},
        {"\"Video:Bypass\" SIZE=8192 RANDOM DATA", {"Initial[512] Length[512] Lines[3]", "Passed\n"}},
        {"\"Expansion:Bypass\" SIZE=8MB RANDOM DATA FRAMES=2", {"Size=8388608\n", "DST #2[0x01001000]", "SRC[0x02001000]", "Read/Compare Image #:  2\n", "Passed\n"}},
        {"\"Video:Bypass\" SIZE=8MB RAMP FRAMES=15", {"The frames do not fit the board's SDRAM"}},
        // Odd pixel counts: the packed source is written from its block and no byte past it (the
        // sanitizer build sees any overrun), the results compared a whole pair at a time.
        {"\"Video:Image\" DIM=(17,9)", {"SizeData[383]  SizePad[3713]", "Passed\n"}},
        {"\"Video:Image:Mask\" DIM=(17,9) FRAMES=2", {"Passed\n"}},
        // A chip sends an odd picture's whole pairs only (152 words of 17 x 9, lines of 17 and 33
        // first), an odd alpha's last sample alone in a word (77): each frame's DCB takes as many.
        {"\"Video:Image\" DIM=(17,9) FRAMES=3", {"DST Image:  Tag[3]:  Addr[0x000014C0]  [7, 17, 33]", "Passed\n"}},
        {"\"Video:Alpha\" DIM=(17,9) FRAMES=3", {"DST Image:  Tag[3]:  Addr[0x00001268]  [8, 8, 13]", "Passed\n"}},
        // 1023 x 9 packs into six 4096-byte units, its block one byte short: each source takes six.
        {"\"Video:Mixed\" DIM=(1023,9) FRAMES=3 SEQUENCE=I:A:I", {"PASS:\tResolution[1023,9]"}},
        {"\"Test Wexal Memory\" ADDRESS=0x01000000 DIM=(3,3)", {"Passed\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        Clear();
        const bool refused = row.lines[0].find("fit") != std::string::npos || row.lines[0].find("range") != std::string::npos;
        EXPECT_EQ(unpA.Run(row.command), refused ? kRunFailed : kRunPassed);
        EXPECT_TRUE(support::HasAll(unpA.out.text, row.lines));
        if (!refused) {
            EXPECT_EQ(unpB.Run(row.command), kRunPassed) << unpB.out.text;
        }
    }
}

// RAM_Init starts each memory's DDR initialisation and waits for that width's own done bit (32-bit
// bit 17, 64-bit bit 16): a width that never finishes fails with its own time-out line, also when
// the other width's bit is already up from the run before, and the other width still finishes.
TEST_F(UnpackerRoundTrip, RamInitWaitsForEachWidthsOwnDoneBit) {
    const std::string timeout32 = "RAMInit() Timeout (100 milliseconds) waiting for 32Bit DDR Init done.\nReceived Status[0x";
    const std::string timeout64 = "RAMInit() Timeout (100 milliseconds) waiting for 64Bit DDR Init done.\nReceived Status[0x";
    struct Row {
        const char* faults;
        int chip;
        DWORD result;
        std::vector<std::string> lines;  // red time-out lines and green done lines
        std::vector<std::string> absent;
    } const rows[] = {
        {"[]", 1, kRunPassed, {"32Bit DDR Init done received\n", "64Bit DDR Init done received\n"}, {"Timeout"}},
        {R"([{"kind": "codec_ddr_init_never_done", "board": "Nuxa1", "chip": 1, "memory": 32}])", 1, kRunFailed,
         {timeout32, "], Looking for bit(s)[0x00020000]\n", "64Bit DDR Init done received\n"}, {timeout64, "32Bit DDR Init done received"}},
        {R"([{"kind": "codec_ddr_init_never_done", "board": "Nuxa1", "chip": 2, "memory": 64}])", 2, kRunFailed,
         {timeout64, "], Looking for bit(s)[0x00010000]\n", "32Bit DDR Init done received\n"}, {timeout32, "64Bit DDR Init done received"}},
        {R"([{"kind": "codec_ddr_init_never_done", "board": "Nuxa1", "chip": 2, "memory": 64}])", 1, kRunPassed,
         {"32Bit DDR Init done received\n", "64Bit DDR Init done received\n"}, {"Timeout"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.faults) + " chip " + std::to_string(row.chip));
        LoadFaults(row.faults);
        Reprogram();
        auto& t = row.chip == 1 ? unpA : unpB;
        // The second run starts with the bits the first one left.
        for (int run = 0; run < 2; ++run) {
            t.out = {};
            EXPECT_EQ(t.Run("RAM_Init VERBOSE=2"), row.result) << t.out.text;
            EXPECT_TRUE(support::HasAll(t.out.text, row.lines));
            for (const std::string& line : row.absent) EXPECT_FALSE(t.out.Has(line)) << line << "\n" << t.out.text;
            if (row.result == kRunFailed) {
                EXPECT_TRUE(t.out.HasColoured(row.lines[0], kColorRed)) << t.out.text;
            }
        }
    }
}

// The host's stop ends the loops over the image list before their next entry (the harness's after
// the summary of what ran); the command answers 3.
TEST_F(UnpackerRoundTrip, AStopEndsTheImageListBeforeTheNextEntry) {
    support::StopFlagReset reset;
    const struct {
        const char* command;
        const char* says;
    } rows[] = {
        {"\"Video:Image\" DIM=(64,64)", "Passed\n"},
        {"\"Video:Alpha\" DIM=(64,64)", "Passed\n"},
        {"\"Test Wexal Memory\" ADDRESS=0x01000000 DIM=(16,8)", "Passed\n"},
        {"\"Video:Mixed\" DIM=(64,64) FRAMES=2", "\nSUMMARY:  "},
    };
    unpA.GetImageList()->FreeStrings();
    for (const char* entry : {"GRID", "DIAGONAL_LINES", "RANDOM SEED=0x1234"}) unpA.GetImageList()->Add(entry);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        Clear();
        unpA.StopAt(" IMAGE=");
        EXPECT_EQ(unpA.Run((std::string(row.command) + " -NORESET").c_str()), kRunStopped) << unpA.out.text;
        *g_StopFlag() = 0;
        unpA.StopAt("");
        EXPECT_EQ(support::Count(unpA.out.text, " IMAGE="), 1u) << unpA.out.text;
        EXPECT_TRUE(unpA.out.Has(row.says)) << unpA.out.text;
    }
}

// Each fault fails the test it must (naming what the messages allow) and leaves a healthy run alone.
TEST_F(UnpackerRoundTrip, FaultsAreCaughtByTheirTests) {
    struct Row {
        const char* fault;
        int chip;
        std::string command;
        DWORD result;
        std::vector<std::string> lines;
        std::vector<std::string> absent;
        const char* dump;  // a file the run must leave in the current folder
    } const rows[] = {
        // A Y sample's bit: the high half of the word decides since both halves are compared.
        {R"({"kind": "codec_output_stuck_bit", "board": "Nuxa1", "chip": 1, "port": "video", "bit": 22, "value": 1})", 1,
         "\"Video:Image\" DIM=(64,64)", kRunFailed, {"Offset[0x", "EX xor RD[0x00400000]", "Total "}, {}, "Zorv.Image.Unpacked.1"},
        // The lowest bit of a 10-bit alpha sample.
        {R"({"kind": "codec_output_stuck_bit", "board": "Nuxa1", "chip": 1, "port": "video", "bit": 6, "value": 1})", 1,
         "\"Video:Alpha\" DIM=(64,64)", kRunFailed, {"Address[0x", "Total errors "}, {}, "Zorv.Alpha.Unpacked.1"},
        {R"({"kind": "codec_output_stuck_bit", "board": "Nuxa1", "chip": 2, "port": "expansion", "bit": 9, "value": 0})", 2,
         "\"Expansion:Image\" DIM=(64,64)", kRunFailed, {"Test Sorbelin B Expansion Port\n", "Total "}, {}, nullptr},
        {R"({"kind": "codec_output_stuck_bit", "board": "Nuxa1", "chip": 2, "port": "expansion", "bit": 9, "value": 0})", 2,
         "\"Video:Image\" DIM=(64,64)", kRunPassed, {"Passed\n"}, {}, nullptr},
        // The odd word (Cr and Y1) of the last whole pair of an odd picture (152 words out): Y1's lowest bit.
        {R"({"kind": "dma_corrupt", "board": "Nuxa1", "channel": 24, "mask": "0x00400000", "first": 151})", 1,
         "\"Video:Image\" DIM=(17,9)", kRunFailed, {"Offset[0x00000258]:  SRC[", "Offset[0x0000025C]:  SRC[", "Total 1 errors out of 152\n"}, {"Offset[0x00000250]:"}, nullptr},
        // The same on the expansion port's channel.
        {R"({"kind": "dma_corrupt", "board": "Nuxa1", "channel": 58, "mask": "0x00400000", "first": 151})", 2,
         "\"Expansion:Image\" DIM=(17,9)", kRunFailed, {"Offset[0x00000258]:  SRC[", "Total 1 errors out of 152\n"}, {"Offset[0x00000250]:"}, nullptr},
        // The last whole pair of a 3 x 3 memory image (bytes 24-31): a Y1 bit of its odd word.
        {R"({"kind": "sdram_stuck_bit", "board": "Nuxa1", "bit": 23, "value": 0, "from": 16777244, "to": 16777248})", 1,
         "\"Test Wexal Memory\" ADDRESS=0x01000000 DIM=(3,3)", kRunFailed, {"64 bit Offset[0x00000018]:", "Total 1 errors out of 9\n"}, {}, nullptr},
        {R"({"kind": "codec_output_stuck_bit", "board": "Nuxa1", "chip": 1, "port": "video", "bit": 7, "value": 0})", 1,
         "\"Video:Mixed\" DIM=(64,64) FRAMES=3", kRunFailed, {"FAIL:\tResolution[64,64]", "Total "}, {}, "Zorv.Alpha.Unpacked.1.3"},
        {R"({"kind": "codec_bypass_lane_swap", "board": "Nuxa1", "chip": 1})", 1, "\"Video:Bypass\" SIZE=1MB RAMP", kRunFailed,
         {"Offset[0x00000000]:  SRC[0x01010000]  DST[0x00000101]", "Total "}, {}, nullptr},
        {R"({"kind": "dma_stall", "board": "Nuxa1", "channel": 58})", 2, "\"Expansion:Image\" DIM=(64,64)", kRunFailed,
         {"timed out waiting for the", "Sorbelin to Wexal"}, {"Passed\n"}, nullptr},
        {R"({"kind": "dma_corrupt", "board": "Nuxa1", "channel": 29, "mask": 65280, "count": 0})", 2, "\"Video:Image\" DIM=(64,64)",
         kRunFailed, {"Read/Compare SRC Image #:  1", "Destination Image #1:  Retest Wexal memory[0x00001000]"}, {"Source Image #1:", "Offset[0x00000000]  2bit"}, nullptr},
        {R"({"kind": "sdram_stuck_bit", "board": "Nuxa1", "bit": 23, "value": 1, "from": 16777216, "to": 20971520})", 1,
         "\"Test Wexal Memory\" ADDRESS=0x01000000 DIM=(720,486)", kRunFailed,
         {"Test Wexal Address[01000000] with Random Data\n", "64 bit Offset[0x", "Total "}, {}, nullptr},
        {R"({"kind": "sdram_stuck_bit", "board": "Nuxa1", "bit": 23, "value": 1, "from": 16777216, "to": 20971520})", 1,
         "\"Test Wexal Memory\" ADDRESS=0x02000000 DIM=(720,486)", kRunPassed, {"Passed\n"}, {}, nullptr},
        // Cells of the destination frame deep into a larger frame: found past the blocks that match.
        {R"({"kind": "sdram_stuck_bit", "board": "Nuxa1", "bit": 22, "value": 1, "from": 71680, "to": 71744})", 1,
         "\"Video:Image\" DIM=(256,128)", kRunFailed, {"Offset[0x000108", "Total "}, {"Offset[0x000107"}, nullptr},
        // A stuck cell in the source area: the source check and both retests name it.
        {R"({"kind": "sdram_stuck_bit", "board": "Nuxa1", "bit": 17, "value": 1, "from": 8388608, "to": 8400000})", 1,
         "\"Video:Image\" DIM=(64,64)", kRunFailed, {"2bit[0x", "Source Image #1:  Retest Wexal memory[0x00800000]", "Total "}, {}, nullptr},
        // The last pair of the packed source (its Y1 byte at 0x802FFF): the source check walks every pair.
        {R"({"kind": "sdram_stuck_bit", "board": "Nuxa1", "bit": 24, "value": 0, "from": 8400892, "to": 8400896})", 1,
         "\"Video:Image\" DIM=(64,64)", kRunFailed,
         {"Offset[0x00001FFC]  2bit[0x00800FFF]  8bit[0x00802FFC]", "Source Image #1:  Retest Wexal memory[0x00800000]", "Total "}, {}, nullptr},
        {R"({"kind": "codec_ddr_init_never_done", "board": "Nuxa1", "chip": 1, "memory": 64})", 1, "\"Video:Image\" DIM=(64,64)",
         kRunFailed, {"Timeout waiting for DDR SDRAM Init done.\n", "InitRegs failed.\n"}, {}, nullptr},
        {R"({"kind": "codec_ddr_init_never_done", "board": "Nuxa1", "chip": 2, "memory": 32})", 2, "RAM_Init", kRunFailed,
         {"RAMInit() Timeout (100 milliseconds) waiting for 32Bit DDR Init done.\nReceived Status[0x"}, {}, nullptr},
        {R"({"kind": "codec_flush_stuck", "board": "Nuxa1", "chip": 1})", 1, "\"Video:Mixed\" DIM=(64,64) FRAMES=2", kRunFailed,
         {"Unable to flush Sorbelin\n", "FAIL:"}, {}, nullptr},
        {R"({"kind": "codec_wrong_device_id", "board": "Nuxa1", "chip": 2, "id": 320})", 2, "\"Video:Bypass\" SIZE=4KB RAMP", kRunFailed,
         {"Incorrect Sorbelin rev expected[0x150]  Received(DevID[0x140]"}, {}, nullptr},
        {R"({"kind": "codec_context_ram_stuck_bit", "board": "Nuxa1", "chip": 1, "entry": 15, "word": 1, "bit": 17, "value": 0})", 1,
         "\"Context RAM\"", kRunFailed, {"Address[0x6400007C]  Wrote[0x5A5AA5A5]  Read[0x5A58A5A5]"}, {}, nullptr},
        {R"({"kind": "codec_membist_window", "board": "Nuxa1", "chip": 1, "memory": 64, "low": 32, "high": 96})", 1,
         "\"MemBist Range\" RANGE=(0x10,0x70) STEP=16 FPGA=" + Bracketed(kImage), kRunPassed, {"found Range[ 32 ... 96 ]"}, {}, nullptr},
        // The CRC report only informs: the red line, and the run still passes.
        {R"({"kind": "codec_crc_wrong", "board": "Nuxa1", "chip": 1, "register": "in", "mask": 1})", 1, "\"Video:Mixed\" DIM=(64,64) FRAMES=1 SEQUENCE=I",
         kRunPassed, {"SRC Packed Image:\tSorbelinCRC[0x", "DST Unpacked Image:\tSorbelinCRC[0x"}, {}, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.fault) + " " + row.command);
        LoadFaults(std::string("[") + row.fault + "]");
        Reprogram();
        // The frame CRC report speaks only in engineering runs.
        cwd.Dir().Write("CmdLine", "pexhost.exe -ENGINEERING");
        for (auto* t : {&unpA, &unpB}) {
            t->GetImageList()->FreeStrings();
            t->GetImageList()->Add("RANDOM SEED=0x1234");
        }
        Recording<CSorbelinUnpacker>& t = row.chip == 1 ? unpA : unpB;
        t.SetPatternBuffer(&pattern);
        EXPECT_EQ(t.Run(row.command.c_str()), row.result);
        EXPECT_TRUE(support::HasAll(t.out.text, row.lines));
        for (const std::string& line : row.absent) EXPECT_EQ(t.out.text.find(line), std::string::npos) << line << "\n" << t.out.text;
        if (row.fault[10] == 'c' && std::string(row.fault).find("crc_wrong") != std::string::npos) {
            // Red for the register that is off, green for the one that is right.
            EXPECT_TRUE(t.out.HasColoured("SRC Packed Image:\tSorbelinCRC[0x", kColorRed)) << t.out.text;
            EXPECT_TRUE(t.out.HasColoured("DST Unpacked Image:\tSorbelinCRC[0x", kColorGreen)) << t.out.text;
        }
        if (row.dump) {
            EXPECT_TRUE(std::filesystem::exists(cwd.Dir().File(std::string(".\\") + row.dump)) ||
                        std::filesystem::exists(cwd.Dir().File(row.dump)))
                << row.dump;
        }
    }
}

// Frames read in place from healthy memory report exactly as frames read back from a memory with
// a fault elsewhere (where each frame is read, as the faults act on every read, and the chip's
// frames wait in its word stream instead of going straight into their DCBs): the same lines, the
// same dumps, the same result cells; the CRC report sums the last picture frame as it came back. Faults of the chip or
// a channel give each its errors, deep in a frame past blocks that match and in bits the compare
// leaves out.
TEST_F(UnpackerRoundTrip, FramesReadInPlaceReportAsFramesReadBack) {
    const std::string elsewhere = R"({"kind": "sdram_stuck_bit", "board": "Nuxa1", "bit": 3, "value": 1, "from": 268435200, "to": 268435204})";
    struct Row {
        const char* fault;
        const char* command;
        DWORD result;
        std::vector<std::string> lines;
    } const rows[] = {
        {R"({"kind": "codec_output_stuck_bit", "board": "Nuxa1", "chip": 1, "port": "video", "bit": 7, "value": 0})",
         "\"Video:Mixed\" DIM=(64,64) FRAMES=3", kRunFailed, {"Read/Compare DstAlpha #3:", "RTV Unpacked Image:\tSorbelinCRC[0x"}},
        {R"({"kind": "codec_output_stuck_bit", "board": "Nuxa1", "chip": 1, "port": "video", "bit": 22, "value": 1})",
         "\"Video:Mixed\" DIM=(17,9) FRAMES=5 SEQUENCE=A:I...", kRunFailed, {"Read/Compare DstImage #4:", "Total "}},
        {R"({"kind": "codec_output_stuck_bit", "board": "Nuxa1", "chip": 1, "port": "video", "bit": 22, "value": 1})",
         "\"Video:Image\" DIM=(17,9) FRAMES=3", kRunFailed, {"Total "}},
        // One word of each picture frame, past the first blocks (the alpha frame is 3000 words long).
        {R"({"kind": "dma_corrupt", "board": "Nuxa1", "channel": 24, "mask": "0x00400000", "first": 3000})",
         "\"Video:Mixed\" DIM=(100,60) FRAMES=3", kRunFailed, {"Offset[0x00002EE0]:  SRC[", "DST[0x00009CA0]", "Total 2 errors out of 18000\n"}},
        {R"({"kind": "dma_corrupt", "board": "Nuxa1", "channel": 24, "mask": "0x01000000", "first": 1500})",
         "\"Video:Alpha\" DIM=(100,60) FRAMES=2", kRunFailed, {"Address[0x00001772]", "DstAddr[0x00005652]", "Total errors 2 out of 12000\n"}},
        // Bits 5..0 of the samples differ: nothing to report.
        {R"({"kind": "dma_corrupt", "board": "Nuxa1", "channel": 24, "mask": "0x00200020", "first": 1500, "count": 600})",
         "\"Video:Mixed\" DIM=(100,60) FRAMES=3", kRunPassed, {"Passed\n"}},
        // Healthy chips, frames written straight into their DCBs where the memory is healthy: odd
        // and larger geometries, one frame a chain, the expansion route and the bypass.
        {"", "\"Video:Mixed\" DIM=(17,9) FRAMES=5 SEQUENCE=A:I...", kRunPassed, {"Passed\n"}},
        {"", "\"Video:Mixed\" DIM=(720,486) FRAMES=3", kRunPassed, {"Passed\n"}},
        {"", "\"Video:Mixed\" DIM=(64,64) FRAMES=2 FORCEUPDATE=1", kRunPassed, {"Transfer #2:  Took", "PASS:"}},
        {"", "\"Expansion:Mixed\" DIM=(64,64) FRAMES=3", kRunPassed, {"PASS:"}},
        // RAMP: random data is seeded from the wall clock, so two runs of it differ bit for bit.
        {"", "\"Video:Bypass\" SIZE=8192 RAMP", kRunPassed, {"Passed\n"}},
        // The source's words changed on their way in: the frames out follow them.
        {R"({"kind": "dma_corrupt", "board": "Nuxa1", "channel": 28, "mask": 65280, "count": 0})", "\"Video:Image\" DIM=(64,64)", kRunFailed,
         {"Read/Compare SRC Image #:  1"}},
    };
    cwd.Dir().Write("CmdLine", "pexhost.exe -ENGINEERING");
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.fault) + " " + row.command);
        std::string text[2];
        std::map<std::string, std::string> dumps[2];
        std::vector<BYTE> results[2];
        for (int path = 0; path < 2; ++path) {
            const std::string fault = row.fault;
            LoadFaults("[" + fault + (path ? (fault.empty() ? "" : ", ") + elsewhere : "") + "]");
            Reprogram();
            unpA.GetImageList()->FreeStrings();
            unpA.GetImageList()->Add("RANDOM SEED=0x1234");
            EXPECT_EQ(unpA.Run(row.command), row.result);
            // The run's time stamp apart.
            text[path] = std::regex_replace(unpA.out.text, std::regex("\\d\\d/\\d\\d - \\d\\d:\\d\\d:\\d\\d\\n"), "");
            for (const auto& entry : std::filesystem::directory_iterator(cwd.Dir().Path())) {
                const std::string name = entry.path().filename().string();
                if (name.find("Zorv.") == std::string::npos) continue;
                dumps[path][name] = support::ReadText(entry.path().string());
                std::filesystem::remove(entry.path());
            }
            // The cells the results land in, bit for bit (the compares leave bits 5..0 out).
            results[path] = ReadSdram(0, 0x800000);
        }
        EXPECT_TRUE(results[0] == results[1]) << "the results differ first at "
                                              << std::mismatch(results[0].begin(), results[0].end(), results[1].begin()).first - results[0].begin();
        EXPECT_TRUE(support::HasAll(text[0], row.lines));
        EXPECT_EQ(text[0], text[1]);
        EXPECT_EQ(dumps[0], dumps[1]);
        EXPECT_EQ(dumps[0].empty(), row.result == kRunPassed);
    }
    // The report's read-back picture: frame 2 of I:I:A (the last picture, at 0x1000 + one picture
    // frame, where a stuck cell sets it apart from frame 1), summed three times.
    const std::string report = std::string("RTV Unpacked Image:\tSorbelinCRC[0x");
    LoadFaults(R"([{"kind": "sdram_stuck_bit", "board": "Nuxa1", "bit": 22, "value": 1, "from": 20480, "to": 20736}])");
    Reprogram();
    unpA.GetImageList()->FreeStrings();
    unpA.GetImageList()->Add("RANDOM SEED=0x1234");
    ASSERT_EQ(unpA.Run(rows[0].command), kRunFailed);
    Unpacked::Image::YCbCr_10_6 last(64, 64, 0);
    const std::vector<BYTE> frame2 = ReadSdram(0x1000 + 64 * 64 * 4, 64 * 64 * 4);
    std::memcpy(last.GetBuffer(), frame2.data(), frame2.size());
    CString line;
    line.Format("CalculatedCRC[0x%08X]\n", last.ComputeCRC(CRC32_D64<Unpacked::Image::YCbCr_10_6>(), 0, 3));
    const size_t at = unpA.out.text.find(report);
    ASSERT_NE(at, std::string::npos) << unpA.out.text;
    EXPECT_EQ(unpA.out.text.substr(at + report.size() + 9, line.GetLength() + 2), std::string("  ") + line.c_str()) << unpA.out.text;
}

// A chain of two 64 x 64 picture frames (12288 packed bytes in, 16384 out each) through chip A
// into DCBs laid out by hand, on healthy memory (where a frame may go straight into its DCB's
// cells) and with a stuck cell far away (where every frame waits in the word stream): the same
// cells and port CRCs after, whether the DCBs take exactly their frames, more or less (the stream
// then runs on into the next DCB), or lie over the later frame's source or the frame's own.
TEST_F(UnpackerRoundTrip, HandLaidChainsEndAsTheWordStreamLeavesThem) {
    const std::string elsewhere = R"({"kind": "sdram_stuck_bit", "board": "Nuxa1", "bit": 3, "value": 1, "from": 268435200, "to": 268435204})";
    constexpr DWORD kSource = 0x800000, kSecond = kSource + 0x3000, kSecondOut = 0x100000;
    const struct Row {
        const char* name;
        DWORD firstAt, firstUnits, secondUnits;  // 4096-byte units
    } rows[] = {
        {"exact", 0, 4, 4},
        {"first longer", 0, 5, 4},
        {"first shorter", 0, 3, 5},
        {"first over the second's source", kSecond, 4, 4},
        {"first over its own source", kSource, 4, 4},
    };
    std::mt19937 random(31);
    std::vector<BYTE> packed(2 * 0x3000);
    for (BYTE& b : packed) b = static_cast<BYTE>(random());
    const std::vector<BYTE> before(0x110000, 0xEE);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<BYTE> cells[2];
        DWORD crcs[2][3] = {};
        for (int path = 0; path < 2; ++path) {
            LoadFaults(path ? "[" + elsewhere + "]" : "[]");
            Reprogram();
            // A round trip first sets the chip up: its memory, and context 0 for 64 x 64 pictures.
            ASSERT_EQ(unpA.Run("\"Video:Image\" DIM=(64,64)"), kRunPassed) << unpA.out.text;
            WriteSdram(0, before.data(), static_cast<DWORD>(before.size()));
            WriteSdram(kSource, packed.data(), static_cast<DWORD>(packed.size()));
            unpA.ResetCRCs();
            CWexalDMAChannel* in = Board("Nuxa1")->GetDMAChannel(28);
            CWexalDMAChannel* out = Board("Nuxa1")->GetDMAChannel(24);
            in->Flush();
            out->Flush();
            for (int k = 1; k <= 2; ++k) {
                // Lines of 1024 words; each DCB names context 0 for the frame after it.
                const DWORD units = k == 1 ? row.firstUnits : row.secondUnits;
                ASSERT_TRUE(in->SetDCBWords(k, devtest::MakeDcb(k == 1 ? 2 : 0, 2, k, k == 1 ? kSource : kSecond, 2, 1024, 1024).w));
                ASSERT_TRUE(out->SetDCBWords(k, devtest::MakeDcb(k == 1 ? 2 : 0, 2, k, k == 1 ? row.firstAt : kSecondOut, units - 1, 1024, 1024).w));
            }
            SetGo("Nuxa1", 2);
            Regs("Nuxa1")[0x88000 / 4] = 0;
            out->Trigger(1);
            in->Trigger(1);
            devtest::Dcb head;
            for (int poll = 0; poll < 1000; ++poll) {
                Live(in);  // the inbound chain moves as it is looked at
                head = Live(out);
                if (head.Done() && head.Tag() == 2) break;
                Sleep(1);
            }
            EXPECT_EQ(head.Tag(), 2) << path;
            cells[path] = ReadSdram(0, 0x110000);
            const std::vector<BYTE> sources = ReadSdram(kSource, 0x6000);
            cells[path].insert(cells[path].end(), sources.begin(), sources.end());
            unpA.GetCRCs(crcs[path][0], crcs[path][1], crcs[path][2]);
        }
        EXPECT_TRUE(cells[0] == cells[1]) << "the cells differ first at " << std::mismatch(cells[0].begin(), cells[0].end(), cells[1].begin()).first - cells[0].begin();
        EXPECT_EQ(crcs[0][0], crcs[1][0]);
        EXPECT_EQ(crcs[0][1], crcs[1][1]);
        EXPECT_NE(crcs[0][1], 0u);
        // The first frame's words reached their DCB (the sources' copy follows the low cells).
        const auto first = cells[0].begin() + (row.firstAt < kSource ? row.firstAt : 0x110000 + row.firstAt - kSource);
        EXPECT_FALSE(std::equal(first, first + 0x3000, row.firstAt < kSource ? before.begin() : packed.begin() + (row.firstAt - kSource)));
    }
}

// The mask variant fills with 8-bit samples (bits 7..6 of every sample 0) and compares like the plain one.
TEST_F(UnpackerRoundTrip, TheMaskVariantSendsEightBitSamples) {
    struct Row {
        const char* command;
        bool lowBitsClear;
    } const rows[] = {{"\"Video:Image:Mask\" DIM=(64,64)", true}, {"\"Video:Image\" DIM=(64,64)", false}, {"\"Expansion:Image:Mask\" DIM=(64,64)", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        ASSERT_EQ(unpA.Run(row.command), kRunPassed) << unpA.out.text;
        const std::vector<BYTE> result = ReadSdram(0x1000, 64 * 64 * 4);
        DWORD low = 0;
        for (size_t i = 0; i + 4 <= result.size(); i += 4) low |= (result[i] | result[i + 2] << 16) & 0x00C000C0;
        EXPECT_EQ(low == 0, row.lowBitsClear);
    }
}

// An alpha from a raw file runs once; the image lists' own cases.
TEST_F(UnpackerRoundTrip, SingleResolutionLoopsFollowTheImageList) {
    std::vector<char> raw(64 * 64 * 2);
    for (size_t i = 0; i < raw.size(); i += 2) raw[i + 1] = static_cast<char>(i * 13);
    std::ofstream(cwd.Dir().File("key.raw"), std::ios::binary).write(raw.data(), static_cast<std::streamsize>(raw.size()));
    struct Row {
        std::vector<const char*> images;
        std::string command;
        DWORD result;
        std::vector<std::string> lines;
        size_t roundTrips;
    } const rows[] = {
        {{"GRID"}, "\"Video:Alpha\" DIM=(64,64) FILE=" + Quoted(cwd.Dir().File("key.raw")), kRunPassed, {"Passed\n"}, 1},
        {{}, "\"Video:Image\" DIM=(64,64)", kRunFailed, {}, 0},
        {{"GRID", "PLAID", "SOLID"}, "\"Video:Image\" DIM=(64,64)", kRunFailed, {"Test Grid\n", "Unrecognized pattern=PLAID\n"}, 1},
        {{"SOLID=(Y=0X40:CB=0x41:CR=66)", "VERT_WEDGE_RED2BLUE"}, "\"Video:Image\" DIM=(64,64)", kRunPassed,
         {"Test Solid:  Y=64, Cb=65, Cr=66\n", "Test Vertical Wedge:  Red to Blue\n"}, 2},
        {{"HORZ_WEDGE_BLUE2RED", "RANDOM SEED=zz"}, "\"Video:Alpha\" DIM=(64,64)", kRunFailed, {"Test Horizontal Wedge\n", "SEED not understood\n"}, 1},
        {{"GRID", "SOLID=(Y=70000)", "GRID"}, "\"Video:Image\" DIM=(64,64)", kRunFailed, {"Argument SOLID Y=70000 does not fit its range 0..65535\n"}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        unpA.GetImageList()->FreeStrings();
        for (const char* image : row.images) unpA.GetImageList()->Add(image);
        Clear();
        EXPECT_EQ(unpA.Run(row.command.c_str()), row.result);
        EXPECT_TRUE(support::HasAll(unpA.out.text, row.lines));
        EXPECT_EQ(support::Count(unpA.out.text, "Test Sorbelin A\n"), row.roundTrips);
        if (row.images.empty()) {
            EXPECT_EQ(unpA.out.text.find("IMAGE="), std::string::npos) << unpA.out.text;
        }
    }
    // A blue-to-red wedge runs Cb up from 512 and Cr down along the row: the round trip brings back
    // Cb 532 and Cr 492 at x = 40 (pair 20 of row 0).
    unpA.GetImageList()->FreeStrings();
    unpA.GetImageList()->Add("HORZ_WEDGE_BLUE2RED");
    Clear();
    ASSERT_EQ(unpA.Run("\"Video:Image\" DIM=(64,64)"), kRunPassed) << unpA.out.text;
    const size_t dstLine = unpA.out.text.find("DST Image:  Tag[1]:  Addr[0x");
    ASSERT_NE(dstLine, std::string::npos) << unpA.out.text;
    const DWORD dst = static_cast<DWORD>(std::stoul(unpA.out.text.substr(unpA.out.text.find("Addr[0x", dstLine) + 7, 8), nullptr, 16));
    WORD words[4] = {};
    ASSERT_TRUE(Board("Nuxa1")->GetSDRAMSpace()->Get(words, dst + 8 * 20, sizeof words));
    EXPECT_EQ(words[0] >> 6, 532);
    EXPECT_EQ(words[2] >> 6, 492);
}

// -NORESET (any case) keeps the chip as the expansion test left it; the CRC cache keeps what it read.
TEST_F(UnpackerRoundTrip, ExpansionTestsResetTheChipUnlessToldNot) {
    auto crcLine = [](const std::string& text, const char* name) {
        const size_t at = text.rfind(name);
        return at == std::string::npos ? std::string() : text.substr(at + std::strlen(name), 10);
    };
    // Verbose 1: no status at all.
    EXPECT_EQ(unpA.RunTest("Show Status"), 1u);
    EXPECT_EQ(unpA.out.text, "");
    ASSERT_EQ(unpA.Run("\"Video:Image\" DIM=(64,64) -noreset"), kRunPassed);
    DWORD in = 0, out = 0, expansion = 0;
    unpA.GetCRCs(in, out, expansion);
    EXPECT_NE(in, 0u);
    EXPECT_NE(out, 0u);
    EXPECT_EQ(expansion, 0u);
    ASSERT_EQ(unpA.Run("\"Expansion:Image\" DIM=(64,64) -NoReset"), kRunPassed);
    DWORD in2 = 0, out2 = 0, expansion2 = 0;
    unpA.GetCRCs(in2, out2, expansion2);
    EXPECT_EQ(in2, in);  // cached although the chip's register moved on
    EXPECT_EQ(out2, out);
    EXPECT_NE(expansion2, 0u);
    Clear();
    EXPECT_EQ(unpA.RunTest("Show Status VERBOSE=2"), 1u);
    EXPECT_TRUE(support::HasAll(unpA.out.text, {"Unpacker fifo:\tStatus1[0x", "Membist Control:\tStatus[32bit=0x", "Unpacker CRC Video Port IN = 0x"}));
    EXPECT_NE(crcLine(unpA.out.text, "Unpacker CRC Expansion Port OUT = "), "0x00000000");
    // Without the switch the chip is reset after the test: its expansion CRC starts again.
    ASSERT_EQ(unpB.Run("\"Expansion:Image\" DIM=(64,64)"), kRunPassed);
    Clear();
    EXPECT_EQ(unpB.RunTest("Show Status VERBOSE=2"), 1u);
    EXPECT_EQ(crcLine(unpB.out.text, "Unpacker CRC Expansion Port OUT = "), "0x00000000") << unpB.out.text;
    // ResetCRCs forgets the cache and restarts the chip's registers.
    unpA.ResetCRCs();
    unpA.GetCRCs(in2, out2, expansion2);
    EXPECT_EQ(in2 | out2 | expansion2, 0u);
}

// The frame CRC report: engineering runs only, a dot per image and frame, a line per image given.
TEST_F(UnpackerRoundTrip, FrameCrcReportComparesWithTheSoftwareModels) {
    Unpacked::Image::YCbCr_10_6 image(64, 8, 0);
    image.FillRandom(9, 1, 0, 0x3FF);
    const Packed::Image::YCbCr_8_2 packed(image, Packed::Image::YCbCr_8_2::GetPadFor(64, 8));
    unpA.ResetCRCs();
    unpA.FrameCRCReport(&packed, &image, &image, 3);
    EXPECT_EQ(unpA.out.text, "");  // not an engineering run
    cwd.Dir().Write("CmdLine", "pexhost.exe -ENGINEERING");
    const CRC32_D64<Unpacked::Image::YCbCr_10_6> model;
    const DWORD three = image.ComputeCRC(model, 0, 3);
    CString expected;
    expected.Format("DST Unpacked Image:\tSorbelinCRC[0x00000000]  CalculatedCRC[0x%08X]\n", three);
    struct Row {
        bool src, dst, rtv;
        const char* dots;
    } const rows[] = {{true, true, true, "\n.........\n"}, {false, true, true, "\n......\n"}, {false, false, false, "\n\n"}};
    for (const Row& row : rows) {
        Clear();
        unpA.FrameCRCReport(row.src ? &packed : nullptr, row.dst ? &image : nullptr, row.rtv ? &image : nullptr, 3);
        EXPECT_TRUE(unpA.out.Has(std::string("\nCalculating CRCs") + row.dots)) << unpA.out.text;
        EXPECT_EQ(unpA.out.Has("SRC Packed Image:\t"), row.src);
        EXPECT_EQ(unpA.out.HasColoured(expected.str(), kColorRed), row.dst);
        EXPECT_EQ(unpA.out.Has("RTV Unpacked Image:\t"), row.rtv);
    }
}

// The SDRAM test alone: patterns by the image list, the first failure ends it.
TEST_F(UnpackerRoundTrip, WexalMemoryTestWalksTheImageList) {
    struct Row {
        const char* fault;
        std::vector<const char*> images;
        DWORD result;
        size_t patterns;  // "Test Wexal Address" lines
        std::vector<std::string> lines;
    } const rows[] = {
        {"", {}, kRunFailed, 0, {}},
        // A pattern without a fill goes as the image was made.
        {"", {"SOLID"}, kRunPassed, 0, {"IMAGE=SOLID DIM=(64,64)\n", "Passed\n"}},
        {"", {"GRID", "HORZ_WEDGE_RED2BLUE", "RANDOM SEED=0x10"}, kRunPassed, 3,
         {"with Grid Pattern\n", "with Horizontal Wedge[Red to Blue]\n", "SEED=0x00000010\n"}},
        {R"({"kind": "sdram_stuck_bit", "board": "Nuxa1", "bit": 7, "value": 1})", {"GRID", "VERT_WEDGE"}, kRunFailed, 1, {"Total "}},
        // Bits 5..0 of a sample carry nothing.
        {R"({"kind": "sdram_stuck_bit", "board": "Nuxa1", "bit": 0, "value": 1})", {"GRID", "VERT_WEDGE"}, kRunPassed, 2, {"Passed\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        LoadFaults(std::string("[") + row.fault + "]");
        Attach();
        unpA.GetImageList()->FreeStrings();
        for (const char* image : row.images) unpA.GetImageList()->Add(image);
        Clear();
        EXPECT_EQ(unpA.RunTest("\"Test Wexal Memory\" ADDRESS=0x00100000 DIM=(64,64)") == 1 ? kRunPassed : kRunFailed, row.result);
        EXPECT_EQ(support::Count(unpA.out.text, "Test Wexal Address["), row.patterns);
        EXPECT_TRUE(support::HasAll(unpA.out.text, row.lines));
    }
    // A blue-to-red wedge runs Cb up from 512 and Cr down along the wedge: at position 40 (pair 20 of
    // row 0, or row 40) Cb is 532 and Cr 492, each sample in bits 15..6 of its word.
    for (const auto& [image, pair] : {std::pair{"HORZ_WEDGE_BLUE2RED", 20u}, std::pair{"VERT_WEDGE_BLUE2RED", 40u * 32u}}) {
        SCOPED_TRACE(image);
        LoadFaults("[]");
        Attach();
        unpA.GetImageList()->FreeStrings();
        unpA.GetImageList()->Add(image);
        Clear();
        ASSERT_EQ(unpA.RunTest("\"Test Wexal Memory\" ADDRESS=0x00100000 DIM=(64,64)"), 1u) << unpA.out.text;
        WORD words[4] = {};
        ASSERT_TRUE(Board("Nuxa1")->GetSDRAMSpace()->Get(words, 0x00100000 + 8 * pair, sizeof words));
        EXPECT_EQ(words[0] >> 6, 532);
        EXPECT_EQ(words[2] >> 6, 492);
    }
}

}  // namespace
