// The codec packer test: dispatcher and options, transfer-size check, chip number, the image-pattern harness and the round trips on the simulated codec board.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/chip/sorbelin_harness.h"
#include "codec/chip/sorbelin_packer.h"
#include "devlib/devices.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/wexal_dcb.h"
#include "platform/clock.h"
#include "tests/support/rig.h"
#include "tests/support/output.h"
#include "tests/support/temp_dir.h"

namespace {

using support::Recording;

const std::string kImage = std::string(PEX_TESTDATA_DIR) + "/oxd/PAQE0202.oxd";

class SorbelinPackerTest : public support::RigTest {
protected:
    void SetUp() override {
        support::RigTest::SetUp();
        Attach();
        support::TakeText();
    }
    static RegisterPtr Regs(const char* tag) { return Board(tag)->GetBAR0Space()->GetRegisterPointer(0, 0x100000); }
    void Attach() {
        bridge.SetRegisterBase(Regs("Nuxa1") + 0x10000 / 4);
        jastel.SetControllerRegisters(Board("Nuxa1")->GetControllerRegisters());
        for (auto* t : {&packA, &packB}) {
            t->GetBoardIF().SelectDevice("Nuxa1", FALSE);
            t->GetBoardIF().GetBAR0(FALSE);
            t->GetBoardIF().GetSDRAM(FALSE);
            t->out = {};
        }
    }
    void SetImages(CSorbelinPacker& t, const std::vector<const char*>& entries) {
        t.GetImageList()->FreeStrings();
        for (const char* e : entries) t.GetImageList()->Add(e);
    }

    // Programs the chip with the packer image (revision 0x424).
    void ProgramPacker(Recording<CSorbelinPacker>& t) {
        ASSERT_EQ(t.Run(("Program VERBOSITY=1 FILE=" + kImage).c_str()), kRunPassed) << t.out.text;
        t.out = {};
    }
    // One frame of bytes from SDRAM 0x800000 through chip A's packer (context 0) into SDRAM 0;
    // the DST head as it ends.
    DWORD PackOnce(const CImage& source, DWORD w, DWORD h, DWORD format, DWORD outBytes) {
        bridge.WriteDataFixed(0x64000000, h << 16 | w);
        bridge.WriteDataFixed(0x64000004, format << 16 | format);
        EXPECT_TRUE(packA.WriteMemory(source.GetBuffer(), 0x800000, source.GetSize()));
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
        in->SetDCB(1, &d);
        d.GetOpField().Set16bit(0);
        d.SetStartAddress(0);
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

    Recording<CDremolun> bridge{nullptr, nullptr, "CDremolun"};
    Recording<CNuxaDSP> dspA{&bridge, "CNuxaDSPA"};
    Recording<CNuxaDSP> dspB{&bridge, "CNuxaDSPB"};
    CJastel jastel{"CJastel"};
    Recording<CSorbelinPacker> packA{&dspA, &bridge, &jastel, "CSorbelinPackerA"};
    Recording<CSorbelinPacker> packB{&dspB, &bridge, &jastel, "CSorbelinPackerB"};
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
    } solids[] = {
        {"SOLID=(Y=400:CB=50:CR=640)", 400, 50, 640},
        {"SOLID", 0x1F6, 0x200, 0x200},
        {"SOLID=(Y=0x10:CR=7)", 0x10, 0x200, 7},
        {"SOLID=(Y=abc:CB=5)", 0x1F6, 5, 0x200},  // a component that is no number keeps its default
    };
    for (const auto& s : solids) {
        WORD y = 0, cb = 0, cr = 0;
        CImagePatternHarness::ReadSolid(s.entry, y, cb, cr);
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
    } bad[] = {{"DIM=(720)", "Unrecognized resolution DIM=(720,0)\n"}, {"SIZE=(720,486)", "Unrecognized resolution"}, {"DIM=(0,486)", "Invalid resolution DIM=(0,486)\n"}};
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

// The rig's packer against the picture library's packing of the same source.
TEST_F(SorbelinPackerTest, RigPacksInboundFramesAsTheSoftwareDoes) {
    ProgramPacker(packA);
    const struct {
        bool image;
        DWORD w, h;
    } rows[] = {{true, 64, 64}, {true, 320, 240}, {false, 64, 64}, {false, 180, 121}};
    for (const auto& row : rows) {
        std::vector<BYTE> got;
        std::vector<BYTE> want;
        if (row.image) {
            Unpacked::Image::YCbCr_10_6 source(row.w, row.h, 0);
            source.FillRandom(0x1234 + row.w, 1, 0, 0x3FF);
            const Packed::Image::YCbCr_8_2 packed(source, Packed::Image::YCbCr_8_2::GetPadFor(row.w, row.h));
            want.assign(packed.GetBuffer(), packed.GetBuffer() + packed.GetSize() + packed.GetOffset());
            got.assign(want.size(), 0xEE);
            ASSERT_TRUE(packA.ClearSDRAM(0, static_cast<DWORD>(want.size()), 0));
            EXPECT_EQ(PackOnce(source, row.w, row.h, 16, static_cast<DWORD>(want.size())), 1u);
        } else {
            Unpacked::Alpha::YCbCr_10_6 source(row.w, row.h);
            source.FillRandom(0x4321 + row.w);
            const Packed::Alpha::YCbCr_8_2 packed(source, Packed::Alpha::YCbCr_8_2::GetPadFor(row.w, row.h));
            want.assign(packed.GetBuffer(), packed.GetBuffer() + packed.GetSize() + packed.GetOffset());
            got.assign(want.size(), 0xEE);
            ASSERT_TRUE(packA.ClearSDRAM(0, static_cast<DWORD>(want.size()), 0));
            EXPECT_EQ(PackOnce(source, row.w, row.h, 17, static_cast<DWORD>(want.size())), 1u);
        }
        ASSERT_TRUE(packA.ReadMemory(0, got.data(), static_cast<DWORD>(got.size())));
        EXPECT_TRUE(got == want) << (row.image ? "image " : "alpha ") << row.w << "x" << row.h;
    }
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
    };
    for (Recording<CSorbelinPacker>* t : {&packA, &packB}) {
        ProgramPacker(*t);
        for (const auto& row : rows) {
            t->out = {};
            SetImages(*t, {"GRID", "RANDOM SEED=0x12345678"});
            EXPECT_EQ(t->RunTest(row.command), 1u) << t->GetName().str() << " " << row.command << "\n" << t->out.text;
            EXPECT_TRUE(support::HasAll(t->out.text, row.says)) << row.command;
            EXPECT_FALSE(t->out.Has("FAIL")) << row.command;
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

}  // namespace
