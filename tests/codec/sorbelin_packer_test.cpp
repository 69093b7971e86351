// The codec packer test: dispatcher and options, transfer-size check, chip number, the image-pattern harness and the round trips on the simulated codec board.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "codec/chip/sorbelin_harness.h"
#include "codec/chip/sorbelin_packer.h"
#include "devlib/devices.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/wexal_dcb.h"
#include "images/image_crc.h"
#include "platform/clock.h"
#include "platform/host_ui.h"
#include "tests/support/rig.h"
#include "framework/result_screen.h"
#include "tests/boards/root_fixture.h"
#include "tests/codec/codec_board_fixture.h"
#include "tests/support/fixtures.h"
#include "tests/support/output.h"
#include "tests/support/temp_dir.h"

namespace {

using support::Bracketed;
using support::Recording;

const std::string kImage = support::Fixture("oxd/PAQE0202.oxd");

class SorbelinPackerTest : public codectest::CodecBoardTest<support::RigTest> {
protected:
    void SetUp() override {
        CodecBoardTest::SetUp();
        support::TakeText();
    }
    void Attach() override {
        CodecBoardTest::Attach();
        jastel.SetControllerRegisters(Board("Nuxa1")->GetControllerRegisters());
        support::SelectCodecBoard(packA, packB);
        packA.out = {};
        packB.out = {};
    }
    void SetImages(CSorbelinPacker& t, const std::vector<const char*>& entries) {
        t.GetImageList()->FreeStrings();
        for (const char* e : entries) t.GetImageList()->Add(e);
    }

    // Programs the chip with the packer image (revision 0x424).
    void ProgramPacker(Recording<CSorbelinPacker>& t) {
        ASSERT_EQ(t.Run(("Program VERBOSITY=1 FILE=" + Bracketed(kImage)).c_str()), kRunPassed) << t.out.text;
        t.out = {};
    }
    // One frame of bytes from SDRAM 0x800000 through chip A's packer (context 0) into a DCB of
    // outBytes at SDRAM dst; the DST head as it ends. The inbound DCB's lines of w words lie pad
    // words apart.
    DWORD PackOnce(const CImage& source, DWORD w, DWORD h, DWORD format, DWORD outBytes, DWORD pad = 0, DWORD dst = 0) {
        bridge.WriteDataFixed(0x64000000, h << 16 | w);
        bridge.WriteDataFixed(0x64000004, format << 16 | format);
        for (DWORD at = 0, line = 0; at < source.GetSize(); at += 4 * w, ++line)
            EXPECT_TRUE(packA.WriteMemory(source.GetBuffer() + at, 0x800000 + line * 4 * (w + pad), std::min(4 * w, source.GetSize() - at)));
        auto* board = dynamic_cast<CWexalBoardDevice*>(packA.GetDevice());
        CWexalDMAChannel* in = board->GetDMAChannel(28);
        CWexalDMAChannel* out = board->GetDMAChannel(24);
        in->Flush();
        out->Flush();
        WexalDCB d;
        d.GetOpField().Set16bit(1);
        d.GetOpField().SetBCUPointer(2);
        d.GetPortField().SetTag(1);
        d.SetStartAddress(0x800000);
        d.SetInitialLineLength(static_cast<WORD>(w));
        d.SetLineLength(static_cast<WORD>(w));
        d.SetLines(static_cast<WORD>(h - 1));
        d.SetPad(static_cast<WORD>(pad));
        in->SetDCB(1, &d);
        d.SetPad(0);
        d.GetOpField().Set16bit(0);
        d.SetStartAddress(dst);
        d.SetInitialLineLength(1024);
        d.SetLineLength(1024);
        d.SetLines(static_cast<WORD>(outBytes / 4096 - 1));
        out->SetDCB(1, &d);
        BufferControlUnit bcu(packA.GetBoardIF(), 2);
        bcu.Clear();
        bcu.SetGo(1);
        Regs("Nuxa1")[0x88000 / 4] = 0;
        out->Trigger(1);
        in->Trigger(1);
        WexalDCB head;
        for (int poll = 0; poll < 1000; ++poll) {
            out->GetDCB(0, &head);
            if (head.GetLines() == 0 && head.GetInitialLineLength() == 0 && head.GetPortField().GetTag() == 1) break;
            Sleep(1);
        }
        return head.GetPortField().GetTag();
    }

    Recording<CNuxaDSP> dspA{&bridge, "CNuxaDSPA"};
    Recording<CNuxaDSP> dspB{&bridge, "CNuxaDSPB"};
    CJastel jastel{"CJastel"};
    support::StopOnPrint<CSorbelinPacker> packA{&dspA, &bridge, &jastel, "CSorbelinPackerA"};
    support::StopOnPrint<CSorbelinPacker> packB{&dspB, &bridge, &jastel, "CSorbelinPackerB"};
};

// Commands the dispatcher refuses before any chip work, and what it says.
TEST_F(SorbelinPackerTest, DispatcherRefusesBadKeywordsAndOptions) {
    support::TempDir dir;
    support::ScopedCwd cwd(dir.Path());
    const struct {
        const char* command;
        const char* says;
    } rows[] = {
        {"Show RevID FRAMES=2", "\"Show RevID FRAMES=2\" Not recognized as a valid test\n"},
        {"Video:Image DIM=(720,486)", "Not recognized as a valid test"},
        {"\"video:image\" DIM=(720,486)", "Not recognized as a valid test"},
        {"\"Save Image\" FRAMES=2 DIM=(720,486) ADDRESS=0x1000 FILE=x", "Not recognized as a valid test"},
        {"\"Video:Image\" DIM=(720,486) FRAMES=0", "Number of frames must be between 1 and 15."},
        {"\"Video:Alpha\" DIM=(720,486) FRAMES=16", "Number of frames must be between 1 and 15."},
        {"\"Video:Image\" DIM=(720 ,486)", "Unable to read either XSize or YSize"},
        {"\"Video:Alpha\" DIM=720,486", "Unable to read either XSize or YSize"},
        {"\"Video:Image\" DIM=(-720,486)", "Invalid resolution DIM=(-720,486)"},
        {"\"Video:Alpha\" DIM=(720,4096)", "Invalid resolution DIM=(720,4096)"},
        {"\"Save Image\" DIM=(720,486) FILE=\"C:\\a b", "Invalid file name"},
        {"\"Save Image\" DIM=(720,486) ADDRESS=4096 FILE=x", "Unrecognized WEXAL ADDRESS.\n"},
        {"\"Save Image\" DIM=(720,486) ADDRESS=@DCB(64, 0, 1) FILE=x", "SYNTAX:  \"Save Image\" ADDRESS=0x00001000 DIM=(720,486) FILE=C:\\Test.Img\n"},
        {"\"Save Alpha\" DIM=(720,486) ADDRESS=@DCB(28, 24, 16) FILE=x", "SYNTAX:  \"Save Alpha\""},
        {"\"Save Alpha\" ADDRESS=0x1000 FILE=x", "Unable to read either XSize or YSize.  Use DIM=(XSize, YSize).\n"},
        {"\"Save Image\" DIM=(720,486) ADDRESS=0x1000", "Unable to read filename.  Use FILE=filename.\n"},
        {"\"Save Image\" DIM=(720,486) FORMAT=-1 ADDRESS=0x1000 FILE=x", "Invalid FORMAT"},
        // An int would cut these to 1 and 2.
        {"\"Video:Mixed\" DIM=(64,64) FORCEUPDATE=4294967297", "FORCEUPDATE must be 0 or 1\n"},
        {"\"Video:Mixed\" DIM=(64,64) FORCESTALL=4294967298", "FORCESTALL must be 0, 1 or 2\n"},
    };
    for (const auto& row : rows) {
        packA.out = {};
        EXPECT_EQ(packA.RunTest(row.command), 0u) << row.command;
        EXPECT_TRUE(packA.out.HasColoured(row.says, kColorRed)) << row.command << "\n" << packA.out.text;
        EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/x")) << row.command;
    }
}

TEST_F(SorbelinPackerTest, ShowRevIDAndChipFromName) {
    EXPECT_EQ(packA.RunTest("Show RevID"), 1u);
    EXPECT_TRUE(packA.out.Has("Revision ID register = [0x")) << packA.out.text;
    const struct {
        const char* name;
        int chip;
    } rows[] = {{"CSorbelinPackerA", 1}, {"CSorbelinPackerB", 2}, {"CSorbelinPacker1", 0}, {"CSorbelinPackerb", 2}};
    for (const auto& row : rows) {
        Recording<CSorbelinPacker> t{&dspA, &bridge, &jastel, row.name};
        EXPECT_EQ(t.GetChipFromName(1), row.chip) << row.name;
    }
}

// Transfer sizes: (initial + lines x line length) DWORDs against the 28 common resolutions.
TEST_F(SorbelinPackerTest, CheckTransferSizeMatchesPackedFrames) {
    const struct {
        DWORD channel, initial, lines, length;
        BOOL result;
        const char* says;
    } rows[] = {
        {24, 0, 0, 0, 0, "Transfer size does not match any common resolution"},
        {24, 1024, 213, 1024, 1, "Transfer size matches Image[720,486]"},     // 720 x 486: 214 pages
        {28, 1024, 1265, 1024, 1, "Transfer size matches Image[1920,1080]"},  // 1266 pages
        {25, 1024, 632, 1024, 1, "Transfer size matches Alpha[1920,1080]"},   // 633 pages
        {29, 100, 3, 7, 0, "Transfer size does not match any common resolution"},
    };
    for (const auto& row : rows) {
        DWORD dcb[8] = {};
        dcb[3] = row.lines << 16 | row.initial;
        dcb[4] = row.length;
        CString report;
        EXPECT_EQ(packA.CheckTransferSize(row.channel, dcb, report), row.result) << row.says;
        EXPECT_NE(report.str().find(row.says), std::string::npos) << report.str();
        EXPECT_EQ(report.str().find("Image size is not modulo 4096"), std::string::npos);
    }
}

// The worked sizes that the round trips rely on.
TEST_F(SorbelinPackerTest, PackedSizesOfTheWorkedExamples) {
    const struct {
        bool image;
        DWORD w, h, size, pad;
    } rows[] = {
        {true, 1920, 1080, 5184000, 1536},
        {false, 1920, 1080, 2592000, 768},
        {true, 720, 486, 874800, 1744},
    };
    for (const auto& r : rows) {
        const DWORD size = r.image ? Packed::Image::YCbCr_8_2::GetSizeFor(r.w, r.h) : Packed::Alpha::YCbCr_8_2::GetSizeFor(r.w, r.h);
        const DWORD pad = r.image ? Packed::Image::YCbCr_8_2::GetPadFor(r.w, r.h) : Packed::Alpha::YCbCr_8_2::GetPadFor(r.w, r.h);
        EXPECT_EQ(size, r.size);
        EXPECT_EQ(pad, r.pad);
    }
}

TEST(ImagePatternHarnessParse, SolidAndSeed) {
    const struct {
        const char* entry;
        WORD y, cb, cr;
        const char* refusal = "";  // refused: the values stay as they were (0)
    } solids[] = {
        {"SOLID=(Y=400:CB=50:CR=640)", 400, 50, 640},
        {"SOLID", 0x1F6, 0x200, 0x200},
        {"SOLID=(Y=0x10:CR=7)", 0x10, 0x200, 7},
        {"SOLID=(Y=abc:CB=5)", 0x1F6, 5, 0x200},  // a component that is no number keeps its default
        // The samples are words: a value past one is refused, not cut.
        {"SOLID=(Y=0xFFFF:CR=65535)", 0xFFFF, 0x200, 0xFFFF},
        {"SOLID=(Y=65536)", 0, 0, 0, "Argument SOLID Y=65536 does not fit its range 0..65535\n"},
        {"SOLID=(CB=0x10000000000000000)", 0, 0, 0, "Argument SOLID CB=0X10000000000000000 does not fit its range 0..65535\n"},
        {"SOLID=(Y=1:CR=-1)", 0, 0, 0, "Argument SOLID CR=-1 does not fit its range 0..65535\n"},
    };
    for (const auto& s : solids) {
        WORD y = 0, cb = 0, cr = 0;
        EXPECT_EQ(CImagePatternHarness::ReadSolid(s.entry, y, cb, cr), CString(s.refusal)) << s.entry;
        EXPECT_EQ(y, s.y) << s.entry;
        EXPECT_EQ(cb, s.cb) << s.entry;
        EXPECT_EQ(cr, s.cr) << s.entry;
    }
    const struct {
        const char* entry;
        bool ok;
        DWORD seed;
    } seeds[] = {
        {"RANDOM SEED=0x12345678", true, 0x12345678}, {"RANDOM SEED=305419896", true, 0x12345678}, {"RANDOM", true, 77}, {"RANDOM SEED=zz", false, 77},
        {"RANDOM SEED=4294967297", false, 77},  // past a word: not cut to 1
    };
    for (const auto& s : seeds) {
        DWORD seed = 77;
        EXPECT_EQ(CImagePatternHarness::ReadSeed(s.entry, seed), s.ok) << s.entry;
        EXPECT_EQ(seed, s.seed) << s.entry;
    }
}

// The three forms with round trips that pass or fail by pattern.
TEST_F(SorbelinPackerTest, HarnessFormsWalkTheListsAndKeepTheirFailureRules) {
    SetImages(packA, {"GRID", "HORZ_WEDGE_RED2BLUE", "BOGUS", "SOLID=(Y=400:CB=50:CR=640)"});
    CImagePatternHarness harness(packA);
    HarnessRequest request;
    request.command = "\"Video:Mixed\" DIM=(64,64)";
    request.width = request.height = 64;
    request.dimensionsGiven = TRUE;
    // Full form: the unknown entry ends this resolution's loop; the failure is recorded, not fatal.
    std::vector<std::string> mixed;
    const BOOL full = harness.RunFull(request, [&](Unpacked::Alpha::YCbCr_10_6& a, Unpacked::Image::YCbCr_10_6& i) {
        mixed.push_back(std::to_string(a.GetWidth()) + "x" + std::to_string(i.GetHeight()));
        return mixed.size() == 1 ? TRUE : FALSE;
    });
    EXPECT_EQ(full, 0);
    EXPECT_EQ(mixed.size(), 2u);
    EXPECT_TRUE(support::HasAll(packA.out.text, {"Unrecognized pattern=BOGUS\n", "\nSUMMARY:  \"Video:Mixed\" DIM=(64,64)\n",
                                                 "~*GREEN*~PASS:\tResolution[64,64]\t\tTest[GRID]", "~*RED*~FAIL:\tResolution[64,64]\t\tTest[HORZ_WEDGE_RED2BLUE]"}));
    EXPECT_TRUE(packA.GetSummary().empty());
    // Image form: unknown entries skipped silently, the first failure ends the run.
    packA.out = {};
    int images = 0;
    EXPECT_EQ(harness.RunImage(request, [&](Unpacked::Image::YCbCr_10_6&) { return ++images < 2 ? TRUE : FALSE; }), 0);
    EXPECT_EQ(images, 2);
    EXPECT_FALSE(packA.out.Has("Unrecognized pattern"));
    // Alpha form: the coloured wedges are skipped, SOLID takes Y as the intensity.
    packA.out = {};
    int alphas = 0;
    EXPECT_EQ(harness.RunAlpha(request, [&](Unpacked::Alpha::YCbCr_10_6&) { return ++alphas > 0 ? TRUE : FALSE; }), 1);
    EXPECT_EQ(alphas, 2);
    EXPECT_TRUE(packA.out.Has("Test Solid:  Intensity=400\n"));
    // Resolution entries the full form refuses outright.
    const struct {
        const char* entry;
        const char* says;
    } bad[] = {{"DIM=(720)", "Unrecognized resolution DIM=(720,0)\n"}, {"SIZE=(720,486)", "Unrecognized resolution"}, {"DIM=(0,486)", "Invalid resolution DIM=(0,486)\n"},
               {"DIM=(4294967360,4)", "Argument DIM=(4294967360,4) does not fit its range -2147483648..2147483647\n"}};
    for (const auto& b : bad) {
        packA.out = {};
        packA.GetResolutionList()->FreeStrings();
        packA.GetResolutionList()->Add(b.entry);
        HarnessRequest listed;
        int calls = 0;
        EXPECT_EQ(harness.RunFull(listed, [&](Unpacked::Alpha::YCbCr_10_6&, Unpacked::Image::YCbCr_10_6&) { return ++calls ? TRUE : FALSE; }), 0);
        EXPECT_EQ(calls, 0) << b.entry;
        EXPECT_TRUE(packA.out.HasColoured(b.says, kColorRed)) << packA.out.text;
    }
}

TEST_F(SorbelinPackerTest, MixedSequencesAndWordsAreCheckedBeforeTheChip) {
    const struct {
        const char* value;
        DWORD frames;
        std::vector<DWORD> kinds;  // empty: refused
        const char* says;
    } rows[] = {
        {"I:A...", 5, {1, 2, 1, 2, 1}, ""},
        {"a : i", 2, {2, 1}, ""},
        {"I:A", 3, {}, "SEQUENCE count[2] does not match number of frames specified[3]\n"},
        {"I:X", 2, {}, "Bad token in SEQUENCE\n"},
        {"...", 3, {}, "Bad token in SEQUENCE\n"},
        {"I...", 20, {}, "SEQUENCE count[15] does not match number of frames specified[20]\n"},
    };
    for (const auto& row : rows) {
        packA.out = {};
        DWORD kinds[16] = {};
        const BOOL ok = packA.ReadSequence(row.value, row.frames, kinds);
        EXPECT_EQ(ok, row.kinds.empty() ? FALSE : TRUE) << row.value;
        for (size_t i = 0; i < row.kinds.size(); ++i) EXPECT_EQ(kinds[i], row.kinds[i]) << row.value << " frame " << i;
        if (row.kinds.empty()) {
            EXPECT_TRUE(packA.out.HasColoured(row.says, kColorRed)) << packA.out.text;
        }
    }
    Unpacked::Image::YCbCr_10_6 image(64, 64, 0);
    Unpacked::Alpha::YCbCr_10_6 alpha(64, 64);
    const struct {
        const char* rest;
        const char* says;
    } words[] = {{"FORCEUPDATE=3", "FORCEUPDATE must be 0 or 1\n"}, {"FORCESTALL=5", "FORCESTALL must be 0, 1 or 2\n"}, {"SEQUENCE=I:Q", "Bad token"}};
    for (const auto& row : words) {
        packA.out = {};
        EXPECT_EQ(packA.VideoMixed(0xD00, row.rest, alpha, image, 2, 1), 0) << row.rest;
        EXPECT_TRUE(packA.out.HasColoured(row.says, kColorRed)) << packA.out.text;
        EXPECT_FALSE(packA.out.Has("InitRegs")) << row.rest;
    }
}

// The rig's packer against the picture library's packing of the same source. The chip reads a
// frame where it lies when it can (one run of a healthy memory, no channel fault) and through a
// copy otherwise (lines apart, a faulty memory, a channel fault): the frame is the same, and the
// port CRCs are the library's CRCs of the frame taken in and sent out.
TEST_F(SorbelinPackerTest, RigPacksInboundFramesAsTheSoftwareDoes) {
    const char* const kStuck = R"({"kind": "sdram_stuck_bit", "board": "Nuxa1", "from": 8388608, "to": 8454144, "bit": 26, "value": 1})";
    const char* const kOutStuck = R"({"kind": "codec_output_stuck_bit", "board": "Nuxa1", "chip": 1, "port": "video", "bit": 6, "value": 1})";
    const char* const kOutCorrupt = R"({"kind": "dma_corrupt", "board": "Nuxa1", "channel": 24, "mask": "0x40", "first": 0, "count": 1})";
    const struct {
        bool image;
        DWORD w, h;
        DWORD pad;          // words between the inbound lines
        const char* fault;  // "" none
        int outUnits = 0;   // 4096-byte units the outbound DCB holds beyond (or short of) the frame
        DWORD dst = 0;      // where the outbound DCB lies
    } rows[] = {
        {true, 64, 64, 0, ""},
        {true, 320, 240, 0, ""},
        {false, 64, 64, 0, ""},
        {false, 180, 121, 0, ""},
        {true, 321, 8, 0, ""},
        {true, 320, 7, 5, ""},
        {false, 180, 121, 3, ""},
        // Frames of one slice of the chip's packing and of several, and pixel counts that end the
        // planes off a word pair.
        {true, 1920, 1080, 0, ""},
        {false, 1920, 1080, 0, ""},
        {true, 4092, 5, 0, ""},
        {true, 2050, 9, 0, ""},
        {false, 4094, 9, 0, ""},
        {false, 8, 3, 0, ""},
        {true, 6, 3, 0, ""},
        // An outbound DCB longer than the frame keeps its bytes past it; one a unit short takes
        // what it holds of the frame.
        {true, 320, 240, 0, "", 1},
        {false, 184, 120, 0, "", 2},
        {true, 320, 240, 0, "", -1},
        {false, 184, 120, 0, "", -1},
        // The frame written over its own source, which the chip reads where it lies.
        {true, 320, 240, 0, "", 0, 0x800000},
        {false, 184, 120, 0, "", 0, 0x800000},
        // Bit 26 of the source's words in its first 64 KiB stuck at 1: the chip packs what the memory gives.
        {true, 320, 240, 0, kStuck},
        {false, 180, 121, 0, kStuck},
        {false, 184, 120, 0, kStuck},
        // The first word's lowest bit flipped on its way in: the first pair's Cb comes out changed.
        {true, 320, 240, 0, R"({"kind": "dma_corrupt", "board": "Nuxa1", "channel": 28, "mask": "0x40", "first": 0, "count": 1})"},
        // Faults on the way out: every word's bit 6 (its port CRC sees it), the first word's bit 6
        // after the port (its CRC does not).
        {true, 320, 240, 0, kOutStuck},
        {false, 184, 120, 0, kOutStuck},
        {true, 320, 240, 0, kOutCorrupt},
        {false, 184, 120, 0, kOutCorrupt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.image ? "image " : "alpha ") + std::to_string(row.w) + "x" + std::to_string(row.h) + " pad " +
                     std::to_string(row.pad) + " " + row.fault + " out " + std::to_string(row.outUnits) + " at " + std::to_string(row.dst));
        LoadFaults(std::string("[") + row.fault + "]");
        ProgramPacker(packA);
        bridge.WriteDataFixed(0x6C00000C, 0x100);  // the port CRCs from 0
        bridge.WriteDataFixed(0x6C00000C, 0);
        const bool corrupt = std::string(row.fault).find("\"channel\": 28") != std::string::npos;
        std::vector<BYTE> got;
        std::vector<BYTE> want;
        DWORD crcIn = 0, crcOut = 0, outBytes = 0;
        const auto pack = [&](auto& source, auto packing, DWORD format) {
            // The bytes the chip takes in: what the memory gives, changed on the way when the channel changes them.
            std::vector<BYTE> written(source.GetBuffer(), source.GetBuffer() + source.GetSize());
            for (DWORD i = 0; row.fault == kStuck && i < 0x10000 && i < source.GetSize(); i += 4) source.GetBuffer()[i + 3] |= 0x04;
            if (corrupt) source.GetBuffer()[0] ^= 0x40;
            auto packed = packing(source);
            const DWORD frame = packed.GetSize() + packed.GetOffset();
            for (DWORD i = 0; row.fault == kOutStuck && i < frame; i += 4) packed.GetBuffer()[i] |= 0x40;
            crcIn = source.ComputeCRC(CRC32_D64<std::remove_reference_t<decltype(source)>>(), 0, 1);
            crcOut = packed.ComputeCRC(CRC32_D64<std::remove_reference_t<decltype(packed)>>(), 0, 1);
            // The outbound DCB's bytes before: a pattern, kept where the frame does not reach.
            outBytes = frame + static_cast<DWORD>(row.outUnits * 4096);
            want.assign(std::max(frame, outBytes), 0xEE);
            std::copy(packed.GetBuffer(), packed.GetBuffer() + std::min(frame, outBytes), want.begin());
            if (row.fault == kOutCorrupt) want[0] ^= 0x40;
            std::copy(written.begin(), written.end(), source.GetBuffer());
            got.assign(want.size(), 0xEE);
            ASSERT_TRUE(packA.WriteMemory(got.data(), row.dst, static_cast<DWORD>(got.size())));
            EXPECT_EQ(PackOnce(source, row.w, row.h, format, outBytes, row.pad, row.dst), 1u);
        };
        if (row.image) {
            Unpacked::Image::YCbCr_10_6 source(row.w, row.h, 0);
            source.FillRandom(0x1234 + row.w, 1, 0, 0x3FF);
            pack(source, [&](const CImage& s) { return Packed::Image::YCbCr_8_2(s, Packed::Image::YCbCr_8_2::GetPadFor(row.w, row.h)); }, 16);
        } else {
            Unpacked::Alpha::YCbCr_10_6 source(row.w, row.h);
            source.FillRandom(0x4321 + row.w);
            pack(source, [&](const CImage& s) { return Packed::Alpha::YCbCr_8_2(s, Packed::Alpha::YCbCr_8_2::GetPadFor(row.w, row.h)); }, 17);
        }
        ASSERT_TRUE(packA.ReadMemory(row.dst, got.data(), static_cast<DWORD>(got.size())));
        EXPECT_TRUE(got == want);
        EXPECT_EQ(bridge.ReadDataFixed(0x6C000028), crcIn);
        EXPECT_EQ(bridge.ReadDataFixed(0x6C00002C), crcOut);
    }
}

// A memory whose reads flip bits is read by the chip as a host read would read it, read for read:
// after two frames through the packer a host read of their source gets the flips that the third
// read of the same words gets on a fresh rig with the same fault.
TEST_F(SorbelinPackerTest, FlippingMemoryReachesTheChipReadForRead) {
    const std::string flips = R"([{"kind": "sdram_bit_flips", "board": "Nuxa1", "rate": 0.02, "seed": 9, "from": 8388608, "to": 8454144}])";
    Unpacked::Image::YCbCr_10_6 source(64, 64, 0);
    source.FillRandom(0x55, 1, 0, 0x3FF);
    const DWORD packedBytes = Packed::Image::YCbCr_8_2::GetSizeFor(64, 64) + Packed::Image::YCbCr_8_2::GetPadFor(64, 64);
    LoadFaults(flips);
    ProgramPacker(packA);
    DWORD chipCrc[2] = {};
    std::vector<BYTE> packed(packedBytes);
    for (DWORD& crc : chipCrc) {
        bridge.WriteDataFixed(0x6C00000C, 0x100);
        bridge.WriteDataFixed(0x6C00000C, 0);
        ASSERT_TRUE(packA.ClearSDRAM(0, packedBytes, 0));
        EXPECT_EQ(PackOnce(source, 64, 64, 16, packedBytes), 1u);
        ASSERT_TRUE(packA.ReadMemory(0, packed.data(), packedBytes));  // the frame is back
        crc = bridge.ReadDataFixed(0x6C000028);
    }
    EXPECT_NE(chipCrc[0], chipCrc[1]) << "each frame's read draws its own flips";
    Unpacked::Image::YCbCr_10_6 after(64, 64, 0), third(64, 64, 0);
    ASSERT_TRUE(packA.ReadMemory(0x800000, after.GetBuffer(), after.GetSize()));
    LoadFaults(flips);
    ProgramPacker(packA);
    for (int read = 0; read < 3; ++read) {
        ASSERT_TRUE(packA.WriteMemory(source.GetBuffer(), 0x800000, source.GetSize()));
        ASSERT_TRUE(packA.ReadMemory(0x800000, third.GetBuffer(), third.GetSize()));
    }
    EXPECT_NE(std::memcmp(third.GetBuffer(), source.GetBuffer(), source.GetSize()), 0) << "the reads flip bits";
    EXPECT_EQ(std::memcmp(after.GetBuffer(), third.GetBuffer(), source.GetSize()), 0);
}

// Round trips on the healthy rig, through the dispatcher, for both chips.
TEST_F(SorbelinPackerTest, RoundTripsPassOnTheHealthyRig) {
    support::TempDir dir;
    support::ScopedCwd cwd(dir.Path());
    const struct {
        const char* command;
        std::vector<std::string> says;
    } rows[] = {
        {"\"Video:Image\" DIM=(720,486)", {"Width = 720  Height = 486\n", "Passed\n"}},
        {"\"Video:Image\" DIM=(64,64) FRAMES=3", {"DST Image:  Tag[3]:  Addr[0x00006000]  [1024, 1024, 2]\n", "Passed\n"}},
        {"\"Video:Alpha\" DIM=(720,486) FRAMES=2", {"Passed\n"}},
        {"\"Video:Mixed\" DIM=(64,64) FRAMES=3 FORCEUPDATE=1", {"~*GREEN*~PASS:\tResolution[64,64]\t\tTest[GRID]"}},
        {"\"Video:Mixed\" DIM=(64,64) FRAMES=2 SEQUENCE=I:I", {"~*GREEN*~PASS:\tResolution[64,64]"}},
        // One chain of images and alphas: each frame in the context its DCB before announced.
        {"\"Video:Mixed\" DIM=(64,64) FRAMES=5 SEQUENCE=I:A:A:I:A", {"~*GREEN*~PASS:\tResolution[64,64]"}},
        // A silent first pass leaves frames in the chip; the flush before the second drops them.
        {"\"Video:Mixed\" DIM=(64,64) FRAMES=4 FORCESTALL=1", {"FORCESTALL=1\n", "~*GREEN*~PASS:\tResolution[64,64]"}},
        // Odd pixel counts: the packed picture holds half a pair less than its whole 4096-byte
        // frame, which the host moves no byte past (the sanitizer build sees any overrun).
        {"\"Video:Image\" DIM=(3,3) FRAMES=2", {"Passed\n"}},
        {"\"Video:Image\" DIM=(1,4095)", {"Passed\n"}},
        {"\"Video:Alpha\" DIM=(17,9) FRAMES=2", {"Passed\n"}},
        // 1023 x 9 packs into six 4096-byte units, its block one byte short of them: each
        // destination frame still takes all six.
        {"\"Video:Mixed\" DIM=(1023,9) FRAMES=3 SEQUENCE=I:A:I", {"~*GREEN*~PASS:\tResolution[1023,9]"}},
    };
    auto* board = dynamic_cast<CWexalBoardDevice*>(packA.GetDevice());
    ASSERT_NE(board, nullptr);
    for (Recording<CSorbelinPacker>* t : {&packA, &packB}) {
        ProgramPacker(*t);
        for (const auto& row : rows) {
            // DCB 1 of each channel as an encoder run of fields leaves it: a line spacing the
            // round trips' frames must not take.
            for (int channel : {24, 25, 28, 29}) {
                WexalDCB dcb;
                board->GetDMAChannel(channel)->GetDCB(1, &dcb);
                dcb.SetPad(360);
                board->GetDMAChannel(channel)->SetDCB(1, &dcb);
            }
            t->out = {};
            SetImages(*t, {"GRID", "RANDOM SEED=0x12345678"});
            EXPECT_EQ(t->RunTest(row.command), 1u) << t->GetName().str() << " " << row.command << "\n" << t->out.text;
            EXPECT_TRUE(support::HasAll(t->out.text, row.says)) << row.command;
            EXPECT_FALSE(t->out.Has("FAIL")) << row.command;
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

// The host's stop ends each form of the image-pattern harness before its next image entry (the
// full form after the summary of what ran); the command answers 3.
TEST_F(SorbelinPackerTest, AStopEndsTheHarnessBeforeTheNextEntry) {
    support::StopFlagReset reset;
    const struct {
        const char* command;
        std::vector<std::string> says;
    } rows[] = {
        {"\"Video:Image\" DIM=(64,64)", {"Passed\n"}},
        {"\"Video:Alpha\" DIM=(64,64) FRAMES=2", {"Passed\n"}},
        {"\"Video:Mixed\" DIM=(64,64) FRAMES=2", {"\nSUMMARY:  ", "~*GREEN*~PASS:\tResolution[64,64]\t\tTest[GRID]"}},
    };
    ProgramPacker(packA);
    SetImages(packA, {"GRID", "DIAGONAL_LINES", "RANDOM SEED=0x12345678"});
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        packA.out = {};
        packA.StopAt(" IMAGE=");
        EXPECT_EQ(packA.Run((std::string(row.command) + " -NORESET").c_str()), kRunStopped) << packA.out.text;
        *g_StopFlag() = 0;
        packA.StopAt("");
        EXPECT_EQ(support::Count(packA.out.text, " IMAGE="), 1u);
        EXPECT_TRUE(support::HasAll(packA.out.text, row.says));
        EXPECT_EQ(support::Count(packA.out.text, "PASS:"), std::string(row.command).find("Mixed") != std::string::npos ? 1u : 0u);
    }
}

// Each fault fails the round trips it reaches, with the lines that name it; the other chip passes.
TEST_F(SorbelinPackerTest, RoundTripFaultsAreCaught) {
    support::TempDir dir;
    support::ScopedCwd cwd(dir.Path());
    const struct {
        const char* fault;
        int chip;
        const char* command;
        std::vector<std::string> says;
        const char* dump;  // a frame dump the failure leaves, or null
    } rows[] = {
        {R"({"kind": "codec_wrong_device_id", "board": "Nuxa1", "chip": 1, "id": 1365})", 1, "\"Video:Image\" DIM=(64,64)",
         {"Incorrect Sorbelin rev expected[0x120]  Received(DevID[0x555]", "InitRegs failed.\n"}, nullptr},
        {R"({"kind": "bridge_wrong_id", "board": "Nuxa1", "id": 272, "major": 0})", 2, "\"Video:Alpha\" DIM=(64,64)",
         {"ERROR: Dremolun Major rev not high enough\n", "InitRegs failed.\n"}, nullptr},
        {R"({"kind": "bridge_wrong_id", "board": "Nuxa1", "id": 273})", 1, "\"Video:Image\" DIM=(64,64)", {"ERROR: Bad Dremolun ID = 0x111"}, nullptr},
        {R"({"kind": "codec_ddr_init_never_done", "board": "Nuxa1", "chip": 2, "memory": 64})", 2, "\"Video:Alpha\" DIM=(64,64)",
         {"Timeout waiting for DDR SDRAM Init done.\n", "InitRegs failed.\n"}, nullptr},
        {R"({"kind": "codec_emif_stuck_bit", "board": "Nuxa1", "chip": 1, "emif": "B", "bit": 0, "value": 0})", 1, "\"Video:Image\" DIM=(64,64)",
         {"Timeout waiting for DDR SDRAM Init done.\n"}, nullptr},
        {R"({"kind": "dma_stall", "board": "Nuxa1", "channel": 28})", 1, "\"Video:Image\" DIM=(64,64) FRAMES=2",
         {"ERROR: After ", "timed out waiting for the\n", "Wexal to Sorbelin"}, nullptr},
        {R"({"kind": "dma_stall", "board": "Nuxa1", "channel": 25})", 2, "\"Video:Alpha\" DIM=(64,64)", {"timed out waiting for the\n"}, nullptr},
        {R"({"kind": "dma_stall", "board": "Nuxa1", "channel": 24})", 1, "\"Video:Mixed\" DIM=(64,64) FRAMES=2 SEQUENCE=I:I VERBOSE=2",
         {"timed out waiting for the\n", "~*RED*~FAIL:\tResolution[64,64]"}, nullptr},
        // A Y bit of the source frames in the main SDRAM: the packed frames and the source check both show it.
        {R"({"kind": "sdram_stuck_bit", "board": "Nuxa1", "from": 12288, "to": 28672, "bit": 24, "value": 1})", 1, "\"Video:Image\" DIM=(64,64)",
         {"Offset[0x00000000]  2bit[", "Read/Compare SRC Image #:  1", "EX xor RD[0x01000000]", "Total "}, "Zorv.Image.Packed.1"},
        // The same in the mixed chain's source frames, which lie 0x20000 after the destination frames.
        {R"({"kind": "sdram_stuck_bit", "board": "Nuxa1", "from": 155648, "to": 188416, "bit": 24, "value": 1})", 2,
         "\"Video:Mixed\" DIM=(64,64) FRAMES=2 SEQUENCE=I:I -NOCRC", {"Read/Compare SRC Image #:  1", "EX xor RD[0x01000000]", "~*RED*~FAIL:"},
         "Zorv.Image.Packed.1"},
        // A stuck bit of the chip's video output: every packed frame shows it.
        {R"({"kind": "codec_output_stuck_bit", "board": "Nuxa1", "chip": 2, "port": "video", "bit": 3, "value": 1})", 2,
         "\"Video:Mixed\" DIM=(64,64) FRAMES=2 SEQUENCE=I:A", {"Offset[0x0000", "~*RED*~FAIL:"}, "Zorv.Image.Packed.1"},
        // Words corrupted on the way into the chip or out of it: the packed frames differ, the source check passes.
        {R"({"kind": "dma_corrupt", "board": "Nuxa1", "channel": 28, "mask": "0x100"})", 1, "\"Video:Image\" DIM=(64,64)",
         {"Offset[0x00000000]  2bit[", "Total "}, "Zorv.Image.Packed.1"},
        // One word deep into a larger frame: the compare finds it past the blocks that match.
        {R"({"kind": "dma_corrupt", "board": "Nuxa1", "channel": 28, "mask": "0x100", "first": 20001})", 1, "\"Video:Image\" DIM=(256,128)",
         {"Offset[0x00004E20]  2bit[0x00002710]  8bit[0x0000DC40]", "Total "}, "Zorv.Image.Packed.1"},
        {R"({"kind": "dma_corrupt", "board": "Nuxa1", "channel": 25, "mask": "0x1", "first": 8})", 2, "\"Video:Alpha\" DIM=(64,64)",
         {"Total "}, nullptr},
        {R"({"kind": "codec_flush_stuck", "board": "Nuxa1", "chip": 2})", 2, "\"Video:Mixed\" DIM=(64,64) FRAMES=2 SEQUENCE=I:A FORCEUPDATE=1",
         {"Unable to flush Sorbelin\n"}, nullptr},
        // One part of a 64 x 64 packed picture's frame (2048 pad bytes, 2048 2-bit bytes, 8192
        // 8-bit bytes: 3072 words) on its way out of the chip: each is compared, and counted once
        // of the frame's 2 x 4096 samples. The last pair's Y1 byte (word 3071, top byte):
        {R"({"kind": "dma_corrupt", "board": "Nuxa1", "channel": 24, "mask": "0x01000000", "first": 3071})", 1, "\"Video:Image\" DIM=(64,64)",
         {"Offset[0x00000FFE]  2bit[0x00000FFF]  8bit[0x00002FFC]", "Total 1 errors out of 8192\n"}, "Zorv.Image.Packed.1"},
        // its 2-bit byte's Y1 field (word 1023, top byte):
        {R"({"kind": "dma_corrupt", "board": "Nuxa1", "channel": 25, "mask": "0x40000000", "first": 1023})", 2, "\"Video:Image\" DIM=(64,64)",
         {"Offset[0x00000FFE]  2bit[0x00000FFF]", "Total 1 errors out of 8192\n"}, "Zorv.Image.Packed.1"},
        // On the way in: the odd word of the first pair (Cr and Y1), Y1's lowest bit alone.
        {R"({"kind": "dma_corrupt", "board": "Nuxa1", "channel": 28, "mask": "0x00400000", "first": 1})", 1, "\"Video:Image\" DIM=(64,64)",
         {"Offset[0x00000000]  2bit[0x00000800]  8bit[0x00001000]", "Total 1 errors out of 8192\n"}, "Zorv.Image.Packed.1"},
        // An alpha's 2-bit plane alone (4096 8-bit bytes first, then the 2-bit bytes): pixel 4095's field.
        {R"({"kind": "dma_corrupt", "board": "Nuxa1", "channel": 24, "mask": "0x80000000", "first": 1279})", 1, "\"Video:Alpha\" DIM=(64,64)",
         {"Offset[0x00000FFF]  Addr8bit[", "Total 1 errors out of 4096\n"}, "Zorv.Alpha.Packed.1"},
        // Every byte of every frame of a mixed chain: each of the 2 x 8192 picture samples and
        // 4096 alpha pixels once, and never more errors than were compared.
        {R"({"kind": "dma_corrupt", "board": "Nuxa1", "channel": 24, "mask": "0x01010101", "count": 0})", 1,
         "\"Video:Mixed\" DIM=(64,64) FRAMES=3 SEQUENCE=I:A:I -NOCRC", {"Total 20480 errors out of 20480\n", "~*RED*~FAIL:"}, "Zorv.Alpha.Packed.2"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        LoadFaults(std::string("[") + row.fault + "]");
        Recording<CSorbelinPacker>& t = row.chip == 1 ? packA : packB;
        Recording<CSorbelinPacker>& other = row.chip == 1 ? packB : packA;
        ProgramPacker(t);
        ProgramPacker(other);
        for (auto* p : {&t, &other}) SetImages(*p, {"GRID"});
        EXPECT_EQ(t.RunTest(row.command), 0u) << t.out.text;
        EXPECT_TRUE(support::HasAll(t.out.text, row.says));
        EXPECT_FALSE(t.out.Has("Passed\n"));
        if (row.dump) {
            EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/.\\" + row.dump) || std::filesystem::exists(dir.Path() + "/" + row.dump));
        }
        // The fault is this chip's (or this chip's channels'), so the other chip still passes;
        // a bridge fault reaches both.
        if (std::string(row.fault).find("bridge_") == std::string::npos && std::string(row.fault).find("sdram_stuck") == std::string::npos) {
            EXPECT_EQ(other.RunTest("\"Video:Image\" DIM=(64,64)"), 1u) << other.out.text;
        }
    }
}

// Frames that reach past the board's SDRAM are refused before anything is written there.
TEST_F(SorbelinPackerTest, FramesBeyondTheSdramAreRefusedBeforeAnyWrite) {
    ProgramPacker(packA);
    SetImages(packA, {"GRID"});
    // 15 packed 4095 x 4095 pictures alone take 15 x 41922560 bytes, past the 256 MiB board.
    for (const char* command : {"\"Video:Mixed\" DIM=(4095,4095) FRAMES=15", "\"Video:Image\" DIM=(4095,4095) FRAMES=15"}) {
        SCOPED_TRACE(command);
        const std::vector<BYTE> marks(16, 0xA5);
        ASSERT_TRUE(packA.WriteMemory(marks.data(), 0, 16));
        packA.out = {};
        EXPECT_EQ(packA.RunTest(command), 0u);
        EXPECT_TRUE(packA.out.HasColoured("The frames do not fit the board's SDRAM: results 0x", kColorRed)) << packA.out.text;
        EXPECT_FALSE(packA.out.Has("DST Image:") || packA.out.Has("Total "));
        std::vector<BYTE> after(16);
        ASSERT_TRUE(packA.ReadMemory(0, after.data(), 16));
        EXPECT_EQ(after, marks);
    }
}

// The memory keywords reach the shared memory tests on the packer's chip, with its revision rule.
TEST_F(SorbelinPackerTest, MemoryKeywordsRunOnThePackersChip) {
    std::vector<DWORD> pattern(64);
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = 0x01010101u * static_cast<DWORD>(i) ^ 0xA5A55A5Au;
    const std::string testImage = support::Fixture("oxd/PAQF0202.oxd");
    const struct {
        const char* fault;  // "" none
        bool testImage;     // the revision FFFF image
        int chip;
        const char* command;
        DWORD result;
        const char* says;
    } rows[] = {
        {"", false, 1, "\"Context RAM\"", 1, nullptr},
        {R"({"kind": "codec_context_ram_stuck_bit", "board": "Nuxa1", "chip": 2, "entry": 3, "word": 1, "bit": 9})", false, 2, "\"Context RAM\"", 0,
         "Address[0x6400001C]"},
        {"", false, 2, "\"Set DCM Phase\" DRAM=32 VALUE=130", 1, nullptr},
        {"", false, 1, "\"MemBist Test\" DRAM=64 TEST=1", 0, "64 bit memory requires a minimum Packer revision of 0xFFFF\n"},
        {"", true, 1, "\"MemBist Test\" DRAM=64 TEST=1", 1, "Passed\n"},
        {R"({"kind": "codec_membist_fails", "board": "Nuxa1", "chip": 2, "memory": 32, "result": "not_done"})", true, 2, "\"MemBist Test\" DRAM=32 TEST=1", 0,
         "Not Done"},
        {"", true, 1, "\"MemBist Scan\" FRAMES=2 RETRY=17", 0, "RETRY must be between 0 and 16\n"},
        {"", true, 1, "\"MemBist Test\" FRAMES=2 DRAM=64 TEST=1", 0, "Not recognized as a valid test"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        if (*row.fault) LoadFaults(std::string("[") + row.fault + "]");
        Recording<CSorbelinPacker>& t = row.chip == 1 ? packA : packB;
        t.SetPatternBuffer(&pattern);
        if (row.testImage) {
            ASSERT_EQ(t.Run(("Program VERBOSITY=1 FILE=" + Bracketed(testImage)).c_str()), kRunPassed) << t.out.text;
            t.out = {};
        } else {
            ProgramPacker(t);
        }
        EXPECT_EQ(t.RunTest(row.command), row.result) << t.out.text;
        if (row.says) {
            EXPECT_TRUE(t.out.Has(row.says)) << t.out.text;
        }
        if (*row.fault) LoadFaults("[]");
    }
}

// The chip's port CRCs: the check against the models in engineering mode, the status display's
// cache, and the context display after a mixed run.
TEST_F(SorbelinPackerTest, PortCrcsStatusAndContextDisplays) {
    support::TempDir dir;
    support::ScopedCwd cwd(dir.Path());
    const struct {
        const char* fault;
        bool engineering;
        std::vector<std::pair<const char*, COLORREF>> lines;  // each line and its colour; none: nothing printed
    } rows[] = {
        {"[]", true, {{"SRC Unpacked Image:\tSorbelinCRC[", kColorGreen}, {"DST Packed Image:\tSorbelinCRC[", kColorGreen}}},
        {R"([{"kind": "codec_crc_wrong", "board": "Nuxa1", "chip": 1, "register": "out", "mask": 4}])", true,
         {{"SRC Unpacked Image:\tSorbelinCRC[", kColorGreen}, {"DST Packed Image:\tSorbelinCRC[", kColorRed}}},
        {"[]", false, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        LoadFaults(row.fault);
        std::FILE* f = std::fopen("CmdLine", "w");
        ASSERT_NE(f, nullptr);
        std::fputs(row.engineering ? "pexhost.exe -ENGINEERING" : "pexhost.exe", f);
        std::fclose(f);
        ProgramPacker(packA);
        Unpacked::Image::YCbCr_10_6 source(64, 64, 0);
        source.FillGrid(1, 0, 0x3FF);
        packA.ResetVideoPortCRCs();
        ASSERT_EQ(packA.VideoImage(0x900, "", source, 2, 1), 1) << packA.out.text;
        const Packed::Image::YCbCr_8_2 expected(source, Packed::Image::YCbCr_8_2::GetPadFor(64, 64));
        packA.out = {};
        packA.CheckChipCRCs(&source, &expected, nullptr, 2);
        if (row.lines.empty()) {
            EXPECT_EQ(packA.out.text, "");
        }
        for (const auto& [line, colour] : row.lines) EXPECT_TRUE(packA.out.HasColoured(line, colour)) << packA.out.text;
        EXPECT_FALSE(packA.out.Has("RTV Packed Image"));
        // The status display keeps the first values it read until the next reset.
        packA.out = {};
        packA.ShowStatus();
        const std::string first = packA.out.text;
        EXPECT_TRUE(support::HasAll(first, {"Packer fifo:\tStatus1[0x", "\"<-- Clears on read\"\n", "PACKER CRC Video Port IN = 0x", "PACKER CRC Video Port OUT = 0x"}));
        source.FillGrid(0, 0, 0x3FF);
        ASSERT_EQ(packA.VideoImage(0x900, "", source, 1, 1), 1);
        packA.out = {};
        packA.ShowStatus();
        EXPECT_EQ(packA.out.text.substr(packA.out.text.find("PACKER CRC")), first.substr(first.find("PACKER CRC")));
    }
    LoadFaults("[]");
    ProgramPacker(packB);
    SetImages(packB, {"GRID"});
    ASSERT_EQ(packB.RunTest("\"Video:Mixed\" DIM=(720,486) FRAMES=2 SEQUENCE=I:A FORCEUPDATE=1"), 1u) << packB.out.text;
    packB.out = {};
    packB.ShowContextRam();
    EXPECT_TRUE(support::HasAll(packB.out.text, {"ContextRam[0]:  ID[0]  Width[720]  Height[486]  InFormat[16]  OutFormat[16]\n",
                                                 "ContextRam[1]:  ID[0]  Width[720]  Height[486]  InFormat[17]  OutFormat[17]\n"}));
}

// After a failed mixed chain the CRC check reads the picture read back last; where no picture was
// read back (it matched in place, or the chain held none) that is the expected packing, so its
// calculated CRC is the destination's. The read-back picture is never packed from the source.
TEST_F(SorbelinPackerTest, MixedChainCrcsReadThePictureReadBackLast) {
    support::TempDir dir;
    support::ScopedCwd cwd(dir.Path());
    std::FILE* f = std::fopen("CmdLine", "w");
    ASSERT_NE(f, nullptr);
    std::fputs("pexhost.exe -ENGINEERING", f);
    std::fclose(f);
    const auto calculated = [](const std::string& text, const std::string& label) {
        const size_t at = text.find(label);
        const size_t crc = at == std::string::npos ? at : text.find("CalculatedCRC[", at);
        return crc == std::string::npos ? std::string() : text.substr(crc, 24);
    };
    // {the DIM and SEQUENCE, the corrupted word of each of chip A's outbound DCBs, whether the read-back CRC is the expected packing's}
    const struct {
        const char* frames;
        int word;
        bool rtvIsExpected;
    } rows[] = {
        {"DIM=(64,64) FRAMES=2 SEQUENCE=A:A", 8, true},     // no picture in the chain
        {"DIM=(64,64) FRAMES=2 SEQUENCE=I:A", 8, false},    // the picture read back with its wrong word
        {"DIM=(66,63) FRAMES=3 SEQUENCE=A:A:A", 40, true},  // an odd-sized alpha, still no picture
        {"DIM=(66,63) FRAMES=3 SEQUENCE=A:I:A", 2500, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.frames);
        LoadFaults(R"([{"kind": "dma_corrupt", "board": "Nuxa1", "channel": 24, "mask": "0x01010101", "first": )" +
                   std::to_string(row.word) + "}]");
        ProgramPacker(packA);
        SetImages(packA, {"GRID"});
        EXPECT_EQ(packA.RunTest(std::string("\"Video:Mixed\" ") + row.frames), 0u) << packA.out.text;
        const std::string dst = calculated(packA.out.text, "DST Packed Image:"), rtv = calculated(packA.out.text, "RTV Packed Image:");
        ASSERT_FALSE(dst.empty() || rtv.empty()) << packA.out.text;
        EXPECT_EQ(rtv == dst, row.rtvIsExpected) << dst << " " << rtv;
    }
}

TEST_F(SorbelinPackerTest, ChipBIsExpectedByTheBoardArtwork) {
    const struct {
        const char* vpd;
        DWORD expected;
    } rows[] = {
        {R"(, "vpd": {"ZA": "02"})", 0x130}, {R"(, "vpd": {"ZA": "1"})", 0x120}, {R"(, "vpd": {"ZA": "AB"})", 0x120},
        {R"(, "vpd": {"ZA": ""})", 0x130},   {R"(, "vpd": {"ZA": null})", 0x130},
        {R"(, "vpd": {"ZA": "1234567890123456789012345678901234567890123456789012345678901234567890123456789012345"})", 0x130},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.vpd);
        LoadJson((std::string(R"({"boards": [{"tag": "Nuxa1", "kind": "nuxa")") + row.vpd + "}]}").c_str());
        Attach();
        EXPECT_EQ(packA.GetExpectedDeviceID(), 0x120u);
        EXPECT_EQ(packB.GetExpectedDeviceID(), row.expected);
        // The rig's chip B answers the same way.
        ProgramPacker(packB);
        EXPECT_TRUE(packB.InitRegs(2)) << packB.out.text;
        EXPECT_TRUE(support::HasAll(packB.out.text, {"Dremolun Rev[0x01.0x001]\n", "64Bit DDR Init done received\n"}));
    }
    Recording<CSorbelinPacker> detached{&dspB, &bridge, nullptr, "CSorbelinPackerB"};
    EXPECT_EQ(detached.GetExpectedDeviceID(), 0u);
    EXPECT_TRUE(detached.out.HasColoured("ERROR:  CSorbelin::Packer()  pBar0Space is NULL\n", kColorRed));
}

// The frame addresses of the worked examples: 1920 x 1080 with FRAMES=2.
TEST_F(SorbelinPackerTest, WorkedFrameAddresses) {
    const struct {
        const char* command;
        std::vector<std::string> says;
    } rows[] = {
        {"\"Video:Image\" DIM=(1920,1080) FRAMES=2",
         {"DST Image:  Tag[1]:  Addr[0x00000000]  [1024, 1024, 1265]\n", "DST Image:  Tag[2]:  Addr[0x004F2000]  [1024, 1024, 1265]\n",
          "SRC Image:  Tag[1]  Addr[0x009E4000]  [1920, 1920, 1079]", "SRC Image:  Tag[2]  Addr[0x011CD000]  [1920, 1920, 1079]", "Passed\n"}},
        {"\"Video:Alpha\" DIM=(1920,1080) FRAMES=2",
         {"usXSize=1024 {0x0400}, usYSize = 633 {0x0279}\n", "DST Image:  Tag[1]:  Addr[0x00001000]", "DST Image:  Tag[2]:  Addr[0x0027A000]",
          "SRC Image:  Tag[1]  Addr[0x004F3000]", "SRC Image:  Tag[2]  Addr[0x00CDC000]", "Passed\n"}},
    };
    for (const auto& row : rows) {
        LoadFaults("[]");
        ProgramPacker(packA);
        SetImages(packA, {"GRID"});
        EXPECT_EQ(packA.RunTest(row.command), 1u) << packA.out.text;
        EXPECT_TRUE(support::HasAll(packA.out.text, row.says));
    }
}

// Both address forms of the saves, each format, and the failures that now answer 0.
TEST_F(SorbelinPackerTest, SavesWriteWhatTheirAddressAndFormatSay) {
    support::TempDir dir;
    support::ScopedCwd cwd(dir.Path());
    ProgramPacker(packA);
    SetImages(packA, {"GRID"});
    ASSERT_EQ(packA.RunTest("\"Video:Image\" DIM=(64,64)"), 1u);
    const struct {
        const char* command;
        DWORD result;
        std::vector<std::string> files;  // what must exist afterwards
    } rows[] = {
        {"\"Save Image\" ADDRESS=0x00000000 DIM=(64,64) FILE=single", 1, {"single"}},
        {"\"Save Image\" ADDRESS=@DCB(28, 24, 1) DIM=(64,64) FILE=pair", 1, {"pair"}},
        {"\"Save Image\" ADDRESS=@DCB(28, 24, 1) DIM=(64,64) FORMAT=7 FILE=text", 1, {"text.P", "text.U"}},
        {"\"Save Alpha\" ADDRESS=@DCB(5, 6, 15) DIM=(64,64) FILE=alpha", 1, {"alpha"}},
        // A quoted name keeps its blank and loses its quotes; what follows them belongs to it.
        {"\"Save Image\" ADDRESS=0x00000000 DIM=(64,64) FILE=\"a single\".img", 1, {"a single.img"}},
        {"\"Save Image\" ADDRESS=@DCB(28, 24, 1) DIM=(64,64) FORMAT=1 FILE=\"a text\" VERBOSE=0", 1, {"a text.P", "a text.U"}},
        // An unquoted name ends at its blank: the next argument is no part of it.
        {"\"Save Image\" ADDRESS=0x00000000 DIM=(64,64) FILE=plain.img VERBOSE=0", 1, {"plain.img"}},
        {"\"Save Image\" ADDRESS=@DCB(28, 24, 1) DIM=(64,64) FORMAT=1 FILE=plain VERBOSE=0", 1, {"plain.P", "plain.U"}},
        {"\"Save Image\" ADDRESS=0x00000000 DIM=(64,64) FILE=nowhere/x", 0, {}},
        {"\"Save Alpha\" ADDRESS=0x00000000 DIM=(64,64) FILE=nowhere/x", 0, {}},
        {"\"Save Image\" ADDRESS=@DCB(28, 24, 1) DIM=(64,64) FILE=nowhere/x", 0, {}},
        {"\"Save Image\" ADDRESS=@DCB(28, 24, 1) DIM=(64,64) FORMAT=1 FILE=nowhere/x", 0, {}},
    };
    for (const auto& row : rows) {
        packA.out = {};
        platform::ClearMessageBoxHistory();
        EXPECT_EQ(packA.RunTest(row.command), row.result) << row.command << "\n" << packA.out.text;
        // A file that cannot be written says why, whichever form wrote it.
        const auto& boxes = platform::MessageBoxHistory();
        EXPECT_EQ(boxes.empty(), row.result == 1) << row.command;
        if (!boxes.empty()) {
            EXPECT_EQ(std::make_pair(boxes[0].caption, boxes[0].text),
                      std::make_pair(CString("ERROR:  Couldn't open file"), CString("All or part of the path is invalid.")));
        }
        for (const std::string& f : row.files) EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/" + f)) << row.command << " " << f;
    }
    // The single save is the packed frame as it lies in SDRAM, pad included.
    EXPECT_GT(std::filesystem::file_size(dir.Path() + "/single"), 12288u);
    EXPECT_GT(std::filesystem::file_size(dir.Path() + "/pair"), std::filesystem::file_size(dir.Path() + "/single"));
}

// A host that copies the window's text out (code 1) and puts a text in (code 2), as the harness
// relies on, and a packer whose prints reach that window.
class CopyingHost : public support::FakeHost {
public:
    using support::FakeHost::FakeHost;
    uintptr_t Notify(int code, uintptr_t value) override {
        auto* text = reinterpret_cast<CString*>(value);
        if (code == 1) *text = m_ctrl->GetWindowText();
        if (code == 2) {
            const long end = m_ctrl->GetTextLength();
            m_ctrl->SetSel(end, end);
            m_ctrl->ReplaceSel(text->c_str(), false);
        }
        return 1;
    }
};

class WindowPacker : public CSorbelinPacker {
public:
    using CSorbelinPacker::CSorbelinPacker;
    void PrintColor(CString text, COLORREF colour) override { CTestBase::PrintColor(text, colour); }
    void Print(CString text) override { CTestBase::Print(text); }
};

// The full form's logs: "Failures" gets each failing pattern's window text only, "Summary" the
// summary block; the window ends with the run's output followed by the summary.
TEST(ImagePatternHarnessLogs, FailuresAndSummaryGetOnlyTheirPart) {
    support::TempDir dir;
    support::ScopedCwd cwd(dir.Path());
    support::FakeRichEdit ctrl;
    CopyingHost host(&ctrl);
    CResultScreen& screen = GetResultScreen();
    screen.SetHost(&host);
    {
        WindowPacker packer(nullptr, nullptr, nullptr, "CSorbelinPackerA");
        packer.GetImageList()->FreeStrings();
        for (const char* e : {"GRID", "SOLID", "HORZ_WEDGE"}) packer.GetImageList()->Add(e);
        ASSERT_EQ(packer.OpenLogFile("Failures", (dir.Path() + "/failures.log").c_str()), 1u);
        ASSERT_EQ(packer.OpenLogFile("Summary", (dir.Path() + "/summary.log").c_str()), 1u);
        CImagePatternHarness harness(packer);
        HarnessRequest request;
        request.command = "\"Video:Mixed\" DIM=(64,64)";
        request.width = request.height = 64;
        request.dimensionsGiven = TRUE;
        int call = 0;
        const BOOL result = harness.RunFull(request, [&](Unpacked::Alpha::YCbCr_10_6&, Unpacked::Image::YCbCr_10_6&) {
            packer.PrintColor(call == 1 ? "round trip of the solid pattern failed\n" : "round trip passed\n", kColorBlack);
            return call++ == 1 ? FALSE : TRUE;
        });
        EXPECT_EQ(result, 0);
        packer.CloseLogFiles();
    }
    screen.SetHost(nullptr);
    std::ifstream fin(dir.Path() + "/failures.log"), sin(dir.Path() + "/summary.log");
    const std::string failures((std::istreambuf_iterator<char>(fin)), {}), summary((std::istreambuf_iterator<char>(sin)), {});
    EXPECT_TRUE(support::HasAll(failures, {"Test Solid:  Y=502, Cb=512, Cr=512\n", "round trip of the solid pattern failed\n"}));
    EXPECT_EQ(failures.find("Test Grid"), std::string::npos) << failures;
    EXPECT_EQ(failures.find("round trip passed"), std::string::npos) << failures;
    EXPECT_TRUE(support::HasAll(summary, {"SUMMARY:  \"Video:Mixed\" DIM=(64,64)\n", "PASS:\tResolution[64,64]\t\tTest[GRID]",
                                          "FAIL:\tResolution[64,64]\t\tTest[SOLID]", "PASS:\tResolution[64,64]\t\tTest[HORZ_WEDGE]"}));
    EXPECT_EQ(summary.find("Test Grid"), std::string::npos) << summary;
    // The window: the run's output (the failing pattern's went to the log), then the summary.
    const size_t wedge = ctrl.m_text.find("Test Horizontal Wedge"), block = ctrl.m_text.find("SUMMARY:");
    EXPECT_NE(wedge, std::string::npos) << ctrl.m_text;
    EXPECT_NE(block, std::string::npos) << ctrl.m_text;
    EXPECT_LT(wedge, block);
}

using PackerRoot = RootKeywords;

// Through the codec board's root as the host runs it: the production lines, then the root's
// DCB-addressed save of the frames the round trip left.
TEST_F(PackerRoot, ProductionLinesPassAndTheRootsDcbSaveLands) {
    for (const char* chip : {"A", "B"}) {
        SCOPED_TRACE(chip);
        const std::string test = std::string("Nuxa1 <CSorbelinPacker") + chip + " ";
        std::string out;
        ASSERT_EQ(Run(test + "Program VERBOSITY=1 FILE=$(CWD)\\testdata\\PAQE$(VPDVER).oxd>", &out), kRunPassed) << out;
        EXPECT_EQ(Run(test + "\"Video:Image\" DIM=(720,486)>", &out), kRunPassed) << out;
        EXPECT_EQ(Run(test + "\"Video:Alpha\" DIM=(720,486)>", &out), kRunPassed) << out;
        EXPECT_EQ(Run(test + "\"Video:Image\" DIM=(64,64) FRAMES=2>", &out), kRunPassed) << out;
        // A name in the working folder, and a quoted one holding a blank, each DCB's suffix after its quotes.
        const std::string spaced = Dir().File(std::string("saved img") + chip);
        const std::pair<std::string, std::string> names[] = {{std::string("img") + chip, Dir().Path() + "/img" + chip},
                                                             {support::Quoted(spaced), spaced}};
        for (const auto& [name, path] : names) {
            const std::string save =
                std::string("Nuxa1 <CNuxaBoard \"Save Image\" ADDRESS=@DCB(PACKER, DEVICE") + chip + ", 1, 2) DIM=(64,64) FILE=" + name + ">";
            EXPECT_EQ(Run(save, &out), kRunPassed) << out;
            // The alpha round trip left the destination chain at 0x1000, where the image frames follow it.
            EXPECT_TRUE(support::HasAll(out, {"Wexal Address:  Src[0x00007000]  Dst[0x00001000]\n", "Wexal Address:  Src[0x0000B000]  Dst[0x00004000]\n"}));
            for (int d : {1, 2}) {
                const std::string file = path + ".Packed." + std::to_string(d);
                ASSERT_TRUE(std::filesystem::exists(file)) << file;
                // The identity, the unpacked source (64 x 64 x 4 bytes) and the packed frame with its pad.
                EXPECT_GT(std::filesystem::file_size(file), 16u + 64 * 64 * 4 + 12288u) << file;
            }
        }
    }
}

}  // namespace
