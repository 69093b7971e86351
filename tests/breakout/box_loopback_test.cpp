// The breakout-box loopbacks run through the main-board root as the host runs them: dispatch, image lists, loopback functional, logs and the faults each must catch.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "breakout/external_io.h"
#include "framework/result_screen.h"
#include "framework/hw/jastel.h"
#include "tests/boards/root_fixture.h"
#include "tests/support/stop_flag.h"

namespace {

using support::Count;
using support::HasAll;

std::string Rig(const std::string& faults = "[]", const std::string& attached = R"("breakout_box": true)",
                const std::string& timing = "instant") {
    return R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "attached": {)" + attached + R"(}}], "dma": {"timing": ")" +
           timing + R"("}, "faults": )" + faults + "}";
}
std::string Fault(const std::string& kind, const std::string& fields = "") {
    return R"([{"kind": ")" + kind + R"(", "board": "Brimola1")" + fields + "}]";
}
const char* const kCable = R"("loopback_cable": true)";

// A host window holding what the tests print: notification 1 hands its text out, 2 appends.
struct WindowHost : CTestHost {
    CRichEditCtrl* GetOutputCtrl() override { return &ctrl; }
    uintptr_t Notify(int code, uintptr_t value) override {
        auto* text = reinterpret_cast<CString*>(value);
        code == 1 ? void(*text = ctrl.GetWindowText()) : void(ctrl.m_text += text->str());
        return 1;
    }
    support::FakeRichEdit ctrl;
};

class BoxLoopbacks : public RootKeywords {
protected:
    template <class T> T& Child(const char* name) {
        auto* child = dynamic_cast<T*>(brimola.GetChildMap()->at(name));
        EXPECT_NE(child, nullptr) << name;
        return *child;
    }
    static void Fill(CStrList& list, std::vector<const char*> entries) {
        list.FreeStrings();
        for (const char* entry : entries) list.Add(entry);
    }
    // Files the run left in the host's folder whose names hold part.
    int Dumps(const std::string& part) const {
        int n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(Dir().Path()))
            if (entry.path().filename().string().find(part) != std::string::npos) ++n;
        return n;
    }
};

// Every keyword passes on its rig (the cable tests on a rig with a loopback cable), the variants too.
TEST_F(BoxLoopbacks, EveryKeywordPassesOnAHealthyLoop) {
    const char* const modelled = "modelled";  // transfers take their time: the deadlines must hold
    struct Row { const char* attached; const char* command; std::vector<std::string> parts; const char* timing = "instant"; } rows[] = {
        {nullptr, "CNulk Loopback Functional", {"BoB video loopback test for DATASIZE=0x00004000 PASSED\n", "PASS:\tTest[CNulk::LoopbackFunctional]"}},
        {nullptr, "CNulk Loopback Functional BVI=3 DATASIZE=0x10000 SRCADDR=0x100000 DSTADDR=0x0 VERBOSE=2",
         {"-> DstLocation[ 0x00110000 ... 0x0011FFFF]", "DATASIZE=0x00010000 PASSED"}},
        {nullptr, "CNulk Loopback Functional FRAMES=2", {"PASSED"}},
        {nullptr, "CNulk Test Yorb Command ENABLE=1", {}},
        {nullptr, "CNulk Internal Loopback Images", {"SUMMARY:  Internal Loopback Images\n", "PASS:\tTest[CNulk:LoopbackImages:"}},
        {nullptr, "CNulk Internal Loopback Images FRAMES=5 SEQUENCE=I:A... DIM=(64,32) VERBOSE=2",
         {"Alpha comparison not implemented yet", "Read/Compare DST Image:  1 ", "Passed\n"}},
        {nullptr, "CNulk Internal Loopback Images FRAMES=3 FORCEUPDATE=1 DIM=(64,32) VERBOSE=2", {"FORCEUPDATE=1\n", "Transfer #3:  Took "}},
        {nullptr, "CNulk Internal Loopback Images FORCESTALL=2 BVI=2 DIM=(64,32) VERBOSE=2", {"FORCESTALL=2\n", "DCB  Nulk outbound to Wexal=2\n"}},
        {nullptr, "CNulk Internal Loopback Images BVI=7 -NOCRC DIM=(64,32) VERBOSE=2", {"CRC check is off\n", "DCB  Nulk outbound to Wexal=0\n"}},
        {nullptr, "CNulk External Loopback Images", {"FMT[HVSDProjFmt_PAL] DIM[720,576]", "Format: HVSDProjFmt_NTSCJ\n"}},
        {nullptr, "CNulk External Loopback Images FRAMES=3 FORCEUPDATE=1 DIM=(720,576) VERBOSE=2",
         {"Transfer #4:  Took ", "SrcTag[3]  DstTag[4] "}},
        {nullptr, "CBexi Loopback Images VERBOSE=2", {"FMT[HVHDProjFmt_720P_5997FPS] DIM[1280,720]", "1 SrcTag[1]  DstTag[3] ", "1 SrcTag[1]  DstTag[4] "}},
        {nullptr, "CBexi Loopback Images FRAMES=4 SEQUENCE=I... DIM=(1280,720) VERBOSE=2", {"4 SrcTag[4]  DstTag[7] ", "Passed\n"}},
        {kCable, "CableLoopback Loopback Functional", {"PASS:\t\tTest[CCableLoopback::LoopbackFunctional]"}},
        {kCable, "CableLoopback Loopback Images FRAMES=4 SEQUENCE=I... DIM=(64,32) VERBOSE=2", {"Read/Compare DST Image:  1 \n2 \n3 \n4 \n", "Passed\n"}},
        {kCable, "CableLoopback Loopback Images FRAMES=2 FORCEUPDATE=1", {"PASS:\tTest[CCableLoopback:LoopbackImages:"}},
        {nullptr, "CNulk Loopback Functional", {"PASSED"}, modelled},
        {kCable, "CableLoopback Loopback Functional DATASIZE=0x100000", {"PASSED"}, modelled},
        // Blocks that take longer than any fixed pause: the wait lasts until the block is in.
        {nullptr, "CNulk Loopback Functional DATASIZE=0x700000", {"DATASIZE=0x00700000 PASSED"}, modelled},
        {nullptr, "CNulk Loopback Functional DATASIZE=0x1000000 VERBOSE=2", {"Transfer took ", "DATASIZE=0x01000000 PASSED"}, modelled},
        {kCable, "CableLoopback Loopback Functional DATASIZE=0x1000000 BVI=3", {"DATASIZE=0x01000000 PASSED"}, modelled},
        {nullptr, "CNulk Internal Loopback Images FRAMES=3 DIM=(720,486)", {"Passed\n"}, modelled},
        // PAL's path adds one delay frame: FRAMES=14 fills all 15 DCBs.
        {nullptr, "CNulk External Loopback Images FRAMES=14 DIM=(720,576)", {"Passed\n"}, modelled},
        {nullptr, "CNulk External Loopback Images FRAMES=3 FORCEUPDATE=1 DIM=(720,576)", {"Passed\n"}, modelled},
        {nullptr, "CBexi Loopback Images FRAMES=13 DIM=(1920,1080)", {"Passed\n"}, modelled},
        {nullptr, "CBexi Loopback Images FRAMES=3 FORCEUPDATE=1 DIM=(1280,720)", {"Passed\n"}, modelled},
    };
    for (const Row& row : rows) {
        support::ScopedRig rig(Rig("[]", row.attached ? row.attached : R"("breakout_box": true)", row.timing));
        std::string out;
        EXPECT_EQ(Run(std::string("Brimola1 <") + row.command + ">", &out), kRunPassed) << row.command << "\n" << out;
        EXPECT_TRUE(HasAll(out, row.parts)) << row.command;
        EXPECT_EQ(out.find("FAIL"), std::string::npos) << row.command;
    }
}

// Keywords are case-sensitive prefixes; FRAMES= is checked before the dispatch; DIM= takes two numbers.
TEST_F(BoxLoopbacks, DispatchReadsKeywordFramesAndDim) {
    Fill(*Child<CNulk>("CNulk").GetImageList(), {"GRID"});
    Fill(*Child<CNulk>("CNulk").GetResolutionList(), {"DIM=(64,32)", "DIM=(32,16)"});
    struct Row { const char* command; DWORD result; std::vector<std::string> parts; int pairs; } rows[] = {
        {"CNulk loopback Functional", kRunFailed, {}, 0},
        {"CNulk Test Yorb Command ENABLE=1 FRAMES=2", kRunFailed, {}, 0},
        {"CNulk Loopback Functional FRAMES=0", kRunFailed, {"Number of frames must be between 1 and 15."}, 0},
        {"CNulk Internal Loopback Images FRAMES=16", kRunFailed, {"Number of frames must be between 1 and 15."}, 0},
        {"CNulk Internal Loopback Images FRAMES=-1", kRunFailed, {"Number of frames must be between 1 and 15."}, 0},
        {"CBexi Loopback Images FRAMES=14", kRunFailed, {"Number of frames must be between 1 and 13."}, 0},
        {"CNulk Modify Internal Image/Resolution List FRAMES=2", kRunFailed, {}, 0},
        {"CNulk Internal Loopback Images DIM=(720 486)", kRunPassed, {"DIM=(64,32)", "DIM=(32,16)"}, 2},
        {"CNulk Internal Loopback Images dim=(720,486)", kRunPassed, {"DIM=(64,32)"}, 2},
        {"CNulk Internal Loopback Images DIM=(16,8)", kRunPassed, {"PASS:\tTest[CNulk:LoopbackImages:GRID] DIM[16,8]"}, 1},
        {"CNulk Internal Loopback Images DIM=(-16,8)", kRunFailed, {"Invalid resolution DIM=(-16,8)\n"}, 0},
        {"CNulk Internal Loopback Images DIM=(70000,2)", kRunFailed, {"Invalid resolution DIM=(70000,2)\n"}, 0},
        {"CNulk Internal Loopback Images DIM=(16,20000)", kRunFailed, {"Invalid resolution DIM=(16,20000)\n"}, 0},
        {"CNulk Internal Loopback Images DIM=(16000,16000) FRAMES=15", kRunFailed, {"Invalid resolution DIM=(16000,16000)\n"}, 0},
        {"CBexi Loopback Images DIM=(1280,720)", kRunPassed, {"FMT[HVHDProjFmt_720P_5997FPS]"}, 2},
        {"CBexi Loopback Images DIM=(640,480)", kRunFailed, {"No format of DIM=(640,480) in the RESOLUTION list\n"}, 0},
    };
    for (const Row& row : rows) {
        std::string out;
        EXPECT_EQ(Run(std::string("Brimola1 <") + row.command + ">", &out), row.result) << row.command << "\n" << out;
        EXPECT_TRUE(HasAll(out, row.parts)) << row.command;
        EXPECT_EQ(static_cast<int>(Count(out, "Test[C")), row.pairs) << row.command << "\n" << out;
        if (row.result == kRunFailed && row.parts.empty()) {
            EXPECT_EQ(out.find("Nulk"), out.rfind("Nulk")) << row.command << "\n" << out;  // the header only
        }
    }
}

// Pattern entries: an unknown one or an unreadable SEED skips the rest of its resolution; SOLID values
// are limited in the format harness; a size entry without DIM before any size is refused.
TEST_F(BoxLoopbacks, PatternEntriesFillOrSkipTheirResolution) {
    CNulk& nulk = Child<CNulk>("CNulk");
    CBexi& bexi = Child<CBexi>("CBexi");
    Fill(*nulk.GetResolutionList(), {"DIM=(32,16)", "DIM=(16,8)"});
    Fill(*bexi.GetResolutionList(), {"HVHDProjFmt_720P_5997FPS"});
    struct Row { CStrList* list; std::vector<const char*> images; const char* command; DWORD result; std::vector<std::string> parts; int pairs; } rows[] = {
        {nulk.GetImageList(), {"GRID", "BOGUS", "SOLID"}, "CNulk Internal Loopback Images", kRunPassed, {"Unrecognized pattern=BOGUS\n"}, 2},
        {nulk.GetImageList(), {"RANDOM SEED=XYZ", "GRID"}, "CNulk Internal Loopback Images", kRunPassed, {"SEED not understood\n"}, 0},
        {nulk.GetImageList(), {"RANDOM SEED=1000", "solid"}, "CNulk Internal Loopback Images", kRunPassed,
         {"SEED=0x000003E8\n", "Unrecognized pattern=solid\n"}, 2},
        {nulk.GetImageList(), {"SOLID", "DIAGONAL_LINES", "VERT_WEDGE_RED2BLUE"}, "CNulk Internal Loopback Images", kRunPassed,
         {"Test Solid:  Y=502, Cb=512, Cr=512\n", "Test Diagonal Lines\n", "Test Vertical Wedge:  Red to Blue\n"}, 6},
        {bexi.GetImageList(), {"SOLID=(Y=0x3FF:CB=0:CR=640)", "SOLID=(Y=ABC)"}, "CBexi Loopback Images", kRunPassed,
         {"Test Solid:  Y=1019, Cb=4, Cr=640\n", "Test Solid:  Y=502, Cb=512, Cr=512\n"}, 2},
        // A SOLID value past its field is refused, never drawn cut: no pair of that entry runs.
        {nulk.GetImageList(), {"SOLID=(Y=4294967798)", "GRID"}, "CNulk Internal Loopback Images", kRunFailed,
         {"Argument SOLID Y=4294967798 does not fit its range -2147483648..2147483647\n"}, 0},
        {bexi.GetImageList(), {"SOLID=(Y=400:CB=0x100000200)"}, "CBexi Loopback Images", kRunFailed,
         {"Argument SOLID CB=0X100000200 does not fit its range 0..4294967295\n"}, 0},
        {bexi.GetImageList(), {"SOLID=(CR=0xFFFFFFFF)"}, "CBexi Loopback Images", kRunPassed, {"Test Solid:  Y=502, Cb=512, Cr=1019\n"}, 1},
        {nulk.GetResolutionList(), {"GRID", "DIM=(16,8)"}, "CNulk Internal Loopback Images", kRunFailed, {"Invalid resolution DIM=(0,0)\n"}, 0},
        {nulk.GetResolutionList(), {"DIM=(16)"}, "CNulk Internal Loopback Images", kRunFailed, {"Unrecognized resolution DIM=(16,0)\n"}, 0},
    };
    Fill(*nulk.GetImageList(), {"GRID"});
    for (const Row& row : rows) {
        Fill(*row.list, row.images);
        std::string out;
        EXPECT_EQ(Run(std::string("Brimola1 <") + row.command + ">", &out), row.result) << row.command << "\n" << out;
        EXPECT_TRUE(HasAll(out, row.parts)) << row.command;
        EXPECT_EQ(static_cast<int>(Count(out, "PASS:\tTest[C")), row.pairs) << row.command << "\n" << out;
    }
}

// A Nulk test under a recording parent, printing into the host's window.
struct WindowNulk : CNulk {
    WindowNulk(CJastel* jastel, support::FakeRichEdit& window) : CNulk(jastel, "CNulk"), m_window(window) {}
    void PrintColor(CString text, COLORREF) override { m_window.m_text += text.str(); }
    void Print(CString text) override { m_window.m_text += text.str(); }
    support::FakeRichEdit& m_window;
};

// With the logs open, each failing pair's output goes to "Failures" and the summary block to
// "Summary"; the parent collects every line; a run that ends at once leaves nothing for the next.
TEST(BoxLogs, LogsAndSummariesTakeEachRunsLinesOnce) {
    HostFolder folder;
    support::ScopedRig rig(Rig(Fault("dma_corrupt", R"(, "channel": 0, "mask": 4194304, "first": 3)")));
    WindowHost host;
    GetResultScreen().SetHost(&host);
    support::RecordingTreeTest root("CBrimolaBoard");
    CJastel jastel("CJastel");
    WindowNulk nulk(&jastel, host.ctrl);
    nulk.SetParent(&root);
    ASSERT_EQ(root.SetupDevice("Brimola1"), 1u);
    nulk.TakeBoardIF(&root);
    jastel.SetControllerRegisters(support::RigBoard("Brimola1")->GetControllerRegisters());
    auto fill = [](CStrList& list, std::vector<const char*> entries) {
        list.FreeStrings();
        for (const char* entry : entries) list.Add(entry);
    };
    fill(*nulk.GetImageList(), {"GRID", "SOLID"});
    fill(*nulk.GetResolutionList(), {"DIM=(32,16)", "DIM=(16,8)", "DIM=(0,8)"});
    EXPECT_EQ(nulk.Run("Internal Loopback Images"), kRunFailed);
    EXPECT_EQ(root.GetSummary().size(), 4u);  // handed up although the run ended at the third size
    EXPECT_TRUE(nulk.GetSummary().empty());

    const support::TempDir& dir = folder.cwd.Dir();
    ASSERT_TRUE(root.OpenLogFile("FAILURES", dir.File("failures.txt")) && root.OpenLogFile("SUMMARY", dir.File("summary.txt")));
    fill(*nulk.GetImageList(), {"GRID", "SOLID"});
    fill(*nulk.GetResolutionList(), {"DIM=(16,8)"});
    host.ctrl.m_text = "before the command\n";
    EXPECT_EQ(nulk.Run("Internal Loopback Images"), kRunFailed);
    const std::string summary = dir.Read("summary.txt");
    EXPECT_TRUE(HasAll(summary, {"SUMMARY:  Internal Loopback Images\n", "FAIL:\tTest[CNulk:LoopbackImages:GRID] DIM[16,8]",
                                 "FAIL:\tTest[CNulk:LoopbackImages:SOLID] DIM[16,8]"}) &&
                summary.find("Test Grid") == std::string::npos) << summary;
    const std::string failures = dir.Read("failures.txt");
    EXPECT_TRUE(HasAll(failures, {"IMAGE=GRID DIM=(16,8)\n", "Test Solid:  Y=502", "EX xor RD[0x00400000]"}) &&
                failures.find("SUMMARY") == std::string::npos && failures.find("before the command") == std::string::npos)
        << failures;
    // The window ends with the summary block after what stood there before it.
    const std::string window = host.ctrl.m_text;
    EXPECT_EQ(Count(window, "SUMMARY:  "), 1u) << window;
    EXPECT_EQ(window.find("SUMMARY:  "), window.size() - std::string("SUMMARY:  Internal Loopback Images\n").size() -
                                             2 * std::string("~*RED*~FAIL:\tTest[CNulk:LoopbackImages:GRID] DIM[16,8]~*BLACK*~\n").size() - 1)
        << window;
    EXPECT_EQ(root.GetSummary().size(), 6u);
    EXPECT_EQ(nulk.Run("Loopback Functional"), kRunFailed);
    EXPECT_TRUE(HasAll(dir.Read("failures.txt"), {"Test BVO->BVI data transfer FAILED"}));
    EXPECT_EQ(root.GetSummary().back(), CString("~*RED*~FAIL:\tTest[CNulk::LoopbackFunctional]~*BLACK*~\n"));
    GetResultScreen().SetHost(nullptr);
}

// The host's stop flag ends an image-list run between its pairs, and the frames of a pair before
// they are compared: result 3 at once, the verdicts made before it handed up, none for a cut pair.
TEST_F(BoxLoopbacks, TheStopFlagEndsThePairsWithResultThree) {
    const struct { const char* name; const char* command; const char* marker; int nth; size_t pairs; } rows[] = {
        {"in the first pair", "Internal Loopback Images", "Test Nulk Images\n", 1, 1},
        {"in the fifth pair", "Internal Loopback Images", "Test Nulk Images\n", 5, 5},
        {"in a pair's second frame", "Internal Loopback Images FORCEUPDATE=1 FRAMES=4 VERBOSE=2", "Frame Size Dst:", 2, 1},
    };
    for (const auto& row : rows) {
        devlib::LoadDefaultRig();
        support::RecordingTreeTest root("CBrimolaBoard");
        CJastel jastel("CJastel");
        support::StopOnPrint<CNulk> nulk(&jastel, "CNulk");
        nulk.SetParent(&root);
        ASSERT_EQ(root.SetupDevice("Brimola1"), 1u);
        nulk.TakeBoardIF(&root);
        jastel.SetControllerRegisters(support::RigBoard("Brimola1")->GetControllerRegisters());
        Fill(*nulk.GetImageList(), {"GRID", "SOLID", "DIAGONAL_LINES"});
        Fill(*nulk.GetResolutionList(), {"DIM=(16,8)", "DIM=(32,8)"});
        nulk.StopAt(row.marker, row.nth);
        EXPECT_EQ(nulk.Run(row.command), kRunStopped) << row.name << "\n" << nulk.out.text;
        EXPECT_EQ(Count(nulk.out.text, "Test Nulk Images\n"), row.pairs) << row.name;
        EXPECT_EQ(Count(nulk.out.text, row.marker), static_cast<size_t>(row.nth)) << row.name;
        EXPECT_EQ(root.GetSummary().size(), row.pairs - 1) << row.name;
        EXPECT_TRUE(nulk.GetSummary().empty()) << row.name;
        EXPECT_TRUE(HasAll(nulk.out.text, {"Stopped by User\n"})) << row.name;
        EXPECT_FALSE(HasAll(nulk.out.text, {"SUMMARY:"}) || HasAll(nulk.out.text, {"Read/Compare"})) << row.name;
    }
}

// Each fault of the loop, the box or the DMA fails the test that must catch it, with its message.
TEST_F(BoxLoopbacks, LoopFaultsFailTheirTestsWithTheirMessages) {
    const std::string notConnected = "SetupYorbflow():  External I/O cable is not connected!\n";
    struct Row { std::string rig; const char* command; std::vector<std::string> parts; const char* dump; } rows[] = {
        {Rig("[]", ""), "CNulk Loopback Functional", {notConnected, "Unable to enable Nulk video loopback\n"}, nullptr},
        {Rig("[]", ""), "CBexi Loopback Images DIM=(1280,720)", {"Loopback connector is not present\n"}, nullptr},
        {Rig("[]", ""), "CableLoopback Loopback Functional", {"Loopback connector is not present\n"}, nullptr},
        {Rig(Fault("box_link_down")), "CNulk Internal Loopback Images DIM=(32,16)", {"Loopback connector is not present\n"}, nullptr},
        {Rig(Fault("box_loop_open", R"(, "path": "hd")")), "CBexi Loopback Images DIM=(1280,720) VERBOSE=2",
         {"ERROR: After ", "FAIL:\tTest[CBexi:LoopbackImages:", "Wexal to Bexi"}, nullptr},
        {Rig(Fault("box_loop_open", R"(, "path": "hd")"), R"("breakout_box": true)", "modelled"),
         "CBexi Loopback Images DIM=(1280,720) FORCEUPDATE=1 VERBOSE=2", {"ERROR: After 797 milliseconds", "FAIL:\tTest[CBexi"}, nullptr},
        {Rig(Fault("box_loop_open", R"(, "path": "sdi")")), "CNulk External Loopback Images DIM=(720,576) VERBOSE=2",
         {"ERROR: After ", "FAIL:\tTest[CNulk:ExternalLoopbackImages:"}, nullptr},
        {Rig(Fault("box_device_silent", R"(, "device": "nulk")")), "CNulk Internal Loopback Images DIM=(32,16)",
         {"Unable to enable Nulk video loopback\n"}, nullptr},
        {Rig(Fault("box_device_silent", R"(, "device": "bexi")")), "CBexi Loopback Images DIM=(1280,720)",
         {"ERROR:  Unable to set PROJECT format = 14\n", "Unable to enable Bexi video loopback\n"}, nullptr},
        {Rig(Fault("box_device_silent", R"(, "device": "bexi")")), "CNulk External Loopback Images DIM=(720,576)",
         {"ERROR:  Unable to set PROJECT format = 23\n", "Unable to enable Nulk video loopback\n"}, nullptr},
        {Rig(Fault("box_frame_slip", R"(, "path": "bexi")")), "CBexi Loopback Images DIM=(1280,720)",
         {"Offset[0x00000000]", "Total "}, "Zorv.Bexi.LBypass.UP_YCbCr_10_6."},
        {Rig(Fault("box_frame_slip", R"(, "path": "nulk_sdi", "frames": 2)")), "CNulk External Loopback Images DIM=(720,576) FRAMES=3",
         {"Offset[0x00000000]"}, "Zorv.Nulk.LBypass.UP_YCbCr_10_6."},
        {Rig(Fault("box_frame_slip", R"(, "path": "nulk_internal")")), "CNulk Internal Loopback Images DIM=(32,16)",
         {"Offset[0x00000000]"}, "Zorv.Nulk.LBypass.YCbCr8bit."},
        // Soft errors on the destination frames alone (the sources lie from 0xC4F000): the cells hold what came
        // back, every read of them does not.
        {Rig(Fault("sdram_bit_flips", R"(, "rate": 0.0001, "seed": 3, "from": "0x1000", "to": "0xC4F000")")), "CBexi Loopback Images DIM=(1280,720)",
         {"EX xor RD[0x", "Total "}, "Zorv.Bexi.LBypass.UP_YCbCr_10_6."},
        // A luma bit: the high sample of a word counts as much as the low one.
        {Rig(Fault("dma_corrupt", R"(, "channel": 4, "mask": 268435456, "first": 5, "count": 1)"), kCable),
         "CableLoopback Loopback Images DIM=(32,16)",
         {"Offset[0x00000010]", "EX xor RD[0x10000000]", "Total 1 errors out of 512\n"}, "Zorv.CableLoopback.Bypass.Unpacked."},
        {Rig(Fault("dma_corrupt", R"(, "channel": 0, "mask": 268435456, "first": 9, "count": 1)")), "CBexi Loopback Images DIM=(1280,720)",
         {"EX xor RD[0x10000000]", "Y1[0x"}, nullptr},
        // Each part of a frame is compared: the last word (8-bit), the top bit alone, the odd word of
        // a pixel pair and the last pair (10-bit); the cable's odd word.
        {Rig(Fault("dma_corrupt", R"(, "channel": 0, "mask": "0x40000000", "first": 255)")), "CNulk Internal Loopback Images DIM=(32,16) VERBOSE=2",
         {"Offset[0x000003FC]", "Total 1 errors out of 512\n"}, nullptr},
        {Rig(Fault("dma_corrupt", R"(, "channel": 4, "mask": "0x80000000", "first": 10)")), "CNulk Internal Loopback Images DIM=(32,16) VERBOSE=2",
         {"EX xor RD[0x80000000]", "Total 1 errors out of 512\n"}, nullptr},
        {Rig(Fault("dma_corrupt", R"(, "channel": 0, "mask": "0x00000040", "first": 1)")), "CNulk External Loopback Images DIM=(720,576) VERBOSE=2",
         {"EX xor RD[0x00000040]", "Total 1 errors out of 414720\n"}, nullptr},
        {Rig(Fault("dma_corrupt", R"(, "channel": 0, "mask": "0x00400000", "first": 414719)")), "CNulk External Loopback Images DIM=(720,576) VERBOSE=2",
         {"Offset[0x00194FF8]", "Total 1 errors out of 414720\n"}, nullptr},
        {Rig(Fault("dma_corrupt", R"(, "channel": 4, "mask": "0x00000040", "first": 921599)")), "CBexi Loopback Images DIM=(1280,720) VERBOSE=2",
         {"Offset[0x00383FF8]", "Total 1 errors out of 921600\n"}, nullptr},
        {Rig(Fault("dma_corrupt", R"(, "channel": 0, "mask": "0x00000040", "first": 1)"), kCable), "CableLoopback Loopback Images DIM=(32,16) VERBOSE=2",
         {"Offset[0x00000000]", "Total 1 errors out of 512\n"}, nullptr},
        // Each BVI brings the frames back on its own channel: a fault there alone fails the run.
        {Rig(Fault("dma_corrupt", R"(, "channel": 1, "mask": "0x00400000")")), "CNulk Internal Loopback Images DIM=(32,16) BVI=1",
         {"Total 1 errors out of 512\n"}, nullptr},
        {Rig(Fault("dma_corrupt", R"(, "channel": 3, "mask": "0x00400000")"), kCable), "CableLoopback Loopback Images DIM=(32,16) BVI=3",
         {"Total 1 errors out of 512\n"}, nullptr},
        {Rig(Fault("dma_corrupt", R"(, "channel": 4, "mask": 64)")), "CNulk Loopback Functional VERBOSE=2",
         {"Read:   0x00000000: 0x03000140", "Test BVO->BVI data transfer FAILED\n"}, nullptr},
        {Rig(Fault("dma_stall", R"(, "channel": 4)")), "CNulk Internal Loopback Images DIM=(32,16) VERBOSE=2",
         {"ERROR: After ", "timed out waiting for the", "Wexal to Nulk"}, nullptr},
        {Rig(Fault("dma_wrong_tag", R"(, "channel": 0)")), "CNulk Internal Loopback Images DIM=(32,16) VERBOSE=2 FORCEUPDATE=1",
         {"ERROR: After "}, nullptr},
        {Rig(Fault("register_stuck_bit", R"(, "offset": 360464, "bit": 0)")), "CNulk Internal Loopback Images DIM=(32,16) VERBOSE=2",
         {"ERROR: After "}, nullptr},
        {Rig(Fault("bvi_sync_error", R"(, "bvi": 2)")), "CNulk Loopback Functional BVI=2",
         {"BVI sync error detected\n", "BoB video loopback test for DATASIZE=0x00004000 FAILED\n"}, nullptr},
        // A block that never ends fails after its deadline, with the time-out report when verbose.
        {Rig(Fault("dma_stall", R"(, "channel": 4)")), "CNulk Loopback Functional VERBOSE=2",
         {"ERROR: After ", "WexalToNulk DMA:", "Wexal to Nulk", "Test BVO->BVI data transfer FAILED\n"}, nullptr},
        {Rig(Fault("dma_stall", R"(, "channel": 1)"), kCable, "modelled"), "CableLoopback Loopback Functional BVI=1 VERBOSE=2",
         {"ERROR: After ", "CableLoopbackToWexal DMA:", "Test BVO->BVI data transfer FAILED\n"}, nullptr},
        // Every word came in, but the inbound channel never showed its end: not a pass.
        {Rig(Fault("dma_wrong_tag", R"(, "channel": 0)")), "CNulk Loopback Functional", {"Test BVO->BVI data transfer FAILED\n"}, nullptr},
    };
    for (const Row& row : rows) {
        support::ScopedRig rig(row.rig);
        std::string out;
        EXPECT_EQ(Run(std::string("Brimola1 <") + row.command + ">", &out), kRunFailed) << row.rig << row.command << "\n" << out;
        EXPECT_TRUE(HasAll(out, row.parts)) << row.rig << row.command;
        if (row.dump) {
            EXPECT_GT(Dumps(row.dump), 0) << row.rig << row.command;
        }
    }
    // The same sync fault on another channel is not this run's.
    support::ScopedRig rig(Rig(Fault("bvi_sync_error", R"(, "bvi": 2)")));
    EXPECT_EQ(Run("Brimola1 <CNulk Loopback Functional BVI=1>"), kRunPassed);
}

}  // namespace

namespace {

using support::Count;
using support::HasAll;

// The pattern's worked values: byte runs from the index, carries included, period 256.
TEST(LoopbackPattern, BytesRunFromTheIndexWithTheirCarries) {
    const std::pair<DWORD, DWORD> rows[] = {{0, 0x03020100}, {1, 0x04030201}, {0xFC, 0xFFFEFDFC}, {0xFE, 0x0200FFFE},
                                            {0xFF, 0x030200FF}, {0x100, 0x03020100}, {0x1FE, 0x0200FFFE}};
    for (const auto& [index, word] : rows) EXPECT_EQ(CExternalIO::LoopbackPattern(index), word) << index;
}

// The arguments of the loopback functional test, the compare rule of each class and its registers.
TEST_F(BoxLoopbacks, LoopbackFunctionalReadsItsArgumentsAndComparesByItsClassesRule) {
    struct Row { const char* attached; std::string faults; const char* command; DWORD result; std::vector<std::string> parts; } rows[] = {
        {nullptr, "[]", "CNulk Loopback Functional DATASIZE=4000", kRunPassed, {"DATASIZE=0x00004000 PASSED"}},
        {nullptr, "[]", "CNulk Loopback Functional DATASIZE=0x3", kRunFailed, {"Data size cannot be 0\n"}},
        {nullptr, "[]", "CNulk Loopback Functional DATASIZE=0x500", kRunFailed, {"DATASIZE=0x00000500 must be a multiple of 0x400 up to 0x01000000\n"}},
        {nullptr, "[]", "CNulk Loopback Functional DATASIZE=0x1000400", kRunFailed, {"must be a multiple of 0x400"}},
        {nullptr, "[]", "CNulk Loopback Functional SRCADDR=0x1000 DSTADDR=0x1000", kRunFailed,
         {"Source[0x00001000 ... 0x00004FFF] overlaps Destination[0x00001000 ... 0x00004FFF]\n"}},
        {nullptr, "[]", "CNulk Loopback Functional DSTADDR=0x2000", kRunFailed, {"overlaps Destination[0x00002000 ... 0x00005FFF]"}},
        {nullptr, "[]", "CNulk Loopback Functional SRCADDR=0x1FFFE000", kRunFailed, {"lies outside the SDRAM\n"}},
        {nullptr, "[]", "CNulk Loopback Functional SRCADDR=0x1000 DSTADDR=0x0 VERBOSE=2", kRunPassed, {"-> DstLocation[ 0x00005000 ... 0x00008FFF]"}},
        // The low six bits of each sample: the Nulk masks them, the cable wants them back as 0.
        {nullptr, Fault("dma_corrupt", R"(, "channel": 0, "mask": 1, "count": 0)"), "CNulk Loopback Functional", kRunPassed, {"PASSED"}},
        {kCable, Fault("dma_corrupt", R"(, "channel": 0, "mask": 1, "count": 0)"), "CableLoopback Loopback Functional VERBOSE=2", kRunFailed,
         {"Read:   0x00000000: 0x03000101 0x04000201", "Test BVO->BVI data transfer FAILED\n"}},
        {nullptr, Fault("sdram_stuck_bit", R"(, "from": 4, "to": 8, "bit": 3, "value": 1)"), "CNulk Loopback Functional", kRunFailed,
         {"Offset[0x00000001]  Wrote[0x04030201]  Read[0x04030209]\n", "ERROR:  Reading the source SDRAM data pattern FAILED"}},
        // The last word of each block, source and destination, is compared too.
        {nullptr, Fault("sdram_stuck_bit", R"(, "from": 16380, "to": 16384, "bit": 31, "value": 1)"), "CNulk Loopback Functional", kRunFailed,
         {"Offset[0x00000FFF]  Wrote[0x030200FF]  Read[0x830200FF]\n", "ERROR:  Reading the source SDRAM data pattern FAILED"}},
        {nullptr, Fault("sdram_stuck_bit", R"(, "from": 32764, "to": 32768, "bit": 0, "value": 1)"), "CNulk Loopback Functional", kRunFailed,
         {"Offset[0x00000FFF]  Wrote[0x00000000]  Read[0x00000001]\n", "ERROR:  Clearing destination SDRAM memory FAILED"}},
        // One value bit in one word of the block fails it: each word of a group, the last group, the
        // top bit of the high sample alone, the low bit of the value bits of the low sample.
        {nullptr, Fault("dma_corrupt", R"(, "channel": 0, "mask": "0x80000000", "first": 3)"), "CNulk Loopback Functional VERBOSE=2",
         kRunFailed, {"Read:   0x00000000: 0x03000100 0x04000200 0x05000300 0x86000400\n"}},
        {nullptr, Fault("dma_corrupt", R"(, "channel": 0, "mask": "0x00000040", "first": 4094)"), "CNulk Loopback Functional VERBOSE=2",
         kRunFailed, {"Read:   0x00000FFC: 0xFFC0FDC0 0x00C0FEC0 0x0200FF80 0x030000C0\n"}},
        {nullptr, Fault("dma_corrupt", R"(, "channel": 4, "mask": "0x00400000", "first": 4095)"), "CNulk Loopback Functional", kRunFailed,
         {"Test BVO->BVI data transfer FAILED\n"}},
        {kCable, Fault("dma_corrupt", R"(, "channel": 0, "mask": "0x80000000", "first": 4095)"), "CableLoopback Loopback Functional",
         kRunFailed, {"Test BVO->BVI data transfer FAILED\n"}},
        // Each BVI takes its own inbound channel: a fault on that channel alone fails it.
        {nullptr, Fault("dma_corrupt", R"(, "channel": 1, "mask": "0x00400000")"), "CNulk Loopback Functional BVI=1", kRunFailed,
         {"Test BVO->BVI data transfer FAILED\n"}},
        {nullptr, Fault("dma_corrupt", R"(, "channel": 2, "mask": "0x00400000")"), "CNulk Loopback Functional BVI=2", kRunFailed,
         {"Test BVO->BVI data transfer FAILED\n"}},
        {kCable, Fault("dma_corrupt", R"(, "channel": 3, "mask": "0x00400000")"), "CableLoopback Loopback Functional BVI=3", kRunFailed,
         {"Test BVO->BVI data transfer FAILED\n"}},
        {nullptr, Fault("dma_corrupt", R"(, "channel": 3, "mask": "0x00400000")"), "CNulk Loopback Functional BVI=2", kRunPassed, {"PASSED"}},
        // The bounds: blocks that touch share a byte only when they overlap; a block may end at the
        // SDRAM's last byte, not one byte further.
        {nullptr, "[]", "CNulk Loopback Functional DSTADDR=0x3FFF", kRunFailed, {"overlaps Destination[0x00003FFF ... 0x00007FFE]"}},
        {nullptr, "[]", "CNulk Loopback Functional SRCADDR=0x7FFF DSTADDR=0x4000", kRunFailed, {"Source[0x00007FFF ... 0x0000BFFE] overlaps"}},
        {nullptr, "[]", "CNulk Loopback Functional SRCADDR=0x8000 DSTADDR=0x4000", kRunPassed, {"PASSED"}},
        {nullptr, "[]", "CNulk Loopback Functional SRCADDR=0x1FFFC000 DSTADDR=0x4000", kRunPassed, {"PASSED"}},
        {nullptr, "[]", "CNulk Loopback Functional SRCADDR=0x1FFFC001 DSTADDR=0x4000", kRunFailed, {"lies outside the SDRAM\n"}},
        {nullptr, "[]", "CNulk Loopback Functional DSTADDR=0x1FFFC000", kRunPassed, {"PASSED"}},
        {nullptr, "[]", "CNulk Loopback Functional DSTADDR=0x1FFFC004", kRunFailed, {"lies outside the SDRAM\n"}},
        // Addresses at the top of 32 bits: the default destination after the source is not wrapped to 0.
        {nullptr, "[]", "CNulk Loopback Functional SRCADDR=0xFFFFC000", kRunFailed,
         {"Source[0xFFFFC000 ... 0xFFFFFFFF] or Destination[0x100000000 ... 0x100003FFF] lies outside the SDRAM\n"}},
        {nullptr, Fault("missing_space", R"(, "space": "SDRAM")"), "CNulk Loopback Functional SRCADDR=0xFFFFC000", kRunFailed,
         {"or Destination[0x100000000 ... 0x100003FFF] lies outside the SDRAM\n"}},
        {nullptr, "[]", "CNulk Loopback Functional SRCADDR=0x100000000", kRunFailed,
         {"Argument SRCADDR=0X100000000 does not fit its range 0..4294967295\n"}},
    };
    for (const Row& row : rows) {
        support::ScopedRig rig(Rig(row.faults, row.attached ? row.attached : R"("breakout_box": true)"));
        std::string out;
        EXPECT_EQ(Run(std::string("Brimola1 <") + row.command + ">", &out), row.result) << row.command << "\n" << out;
        EXPECT_TRUE(HasAll(out, row.parts)) << row.command;
        // At verbose 1 no mismatch is shown, and the Nulk's loopback is off again on every way out.
        if (std::string(row.command).find("VERBOSE") == std::string::npos) {
            EXPECT_EQ(out.find("Write:  "), std::string::npos) << row.command;
        }
    }
    // BVI=7: inbound channel 0, the select register and the outbound context 7.
    std::string out;
    ASSERT_EQ(Run("Brimola1 <CNulk Loopback Functional BVI=7>", &out), kRunPassed) << out;
    const RegisterPtr bar0 = support::RigBoard("Brimola1")->GetRegisters();
    EXPECT_EQ(bar0[0x80100 / 4].Read(), 7u);
    EXPECT_EQ(bar0[(0x60000 + 0x200 * 4 + 0x20 + 4) / 4].Read() & 0xF, 7u);
    EXPECT_EQ(bar0[(0x60000 + 0x20 + 8) / 4].Read(), 0x4000u);  // channel 0's DCB 1 took the destination
    EXPECT_EQ(bar0[(0x60000 + 0x20 + 12) / 4].Read(), 0x000F0100u);  // 15 lines after an initial one of 256
}

// An image loopback leaves chains of DCBs on channels 0 and 4; the loopback functional test that
// follows moves its one block and stops at its DCB, whatever Next the earlier chain left there.
TEST_F(BoxLoopbacks, LoopbackFunctionalEndsAtItsOwnDcbAfterAnImageChain) {
    Fill(*Child<CBexi>("CBexi").GetImageList(), {"GRID"});
    Fill(*Child<CBexi>("CBexi").GetResolutionList(), {"HVHDProjFmt_1080I_2997FPS"});
    Fill(*Child<CNulk>("CNulk").GetImageList(), {"GRID"});
    struct Row { const char* attached; const char* before; const char* command; } rows[] = {
        {nullptr, "CBexi Loopback Images DIM=(1920,1080) FRAMES=1", "CNulk Loopback Functional DATASIZE=0x800000"},
        {nullptr, "CNulk Internal Loopback Images DIM=(64,32) FRAMES=4", "CNulk Loopback Functional BVI=0"},
        {kCable, "CableLoopback Loopback Images DIM=(64,32) FRAMES=3", "CableLoopback Loopback Functional DATASIZE=0x10000"},
    };
    for (const Row& row : rows) {
        support::ScopedRig rig(Rig("[]", row.attached ? row.attached : R"("breakout_box": true)"));
        std::string out;
        ASSERT_EQ(Run(std::string("Brimola1 <") + row.before + ">", &out), kRunPassed) << row.before << "\n" << out;
        const RegisterPtr bar0 = support::RigBoard("Brimola1")->GetRegisters();
        ASSERT_NE(bar0[(0x60000 + 0x20) / 4].Read() & 0x3F, 0u) << "the image chain links DCB 1 on";
        EXPECT_EQ(Run(std::string("Brimola1 <") + row.command + ">", &out), kRunPassed) << row.command << "\n" << out;
        for (int channel : {0, 4})
            EXPECT_EQ(bar0[(0x60000 + 0x200 * channel + 0x20) / 4].Read() & 0x3F, 0u) << row.command << " channel " << channel;
    }
}

// The keys of the image loopbacks: bad values fail before anything is sent; SEQUENCE fills the frames.
TEST_F(BoxLoopbacks, ImageLoopbackKeysAndSequences) {
    Fill(*Child<CNulk>("CNulk").GetImageList(), {"GRID"});
    Fill(*Child<CBexi>("CBexi").GetImageList(), {"GRID"});
    const char* const external = "CNulk External Loopback Images DIM=(720,576)";
    const char* const bexi = "CBexi Loopback Images DIM=(1280,720)";
    struct Row { const char* command; DWORD result; std::vector<std::string> parts; const char* test = "CNulk Internal Loopback Images DIM=(32,16)"; } rows[] = {
        {"FORCEUPDATE=2", kRunFailed, {"FORCEUPDATE must be 0 or 1\n"}},
        {"FORCESTALL=3", kRunFailed, {"FORCESTALL must be 0, 1 or 2\n"}},
        {"FRAMES=5 SEQUENCE=I:A", kRunFailed, {"SEQUENCE count[2] does not match number of frames specified[5]\n"}},
        {"FRAMES=2 SEQUENCE=I:X", kRunFailed, {"SEQUENCE count[1] does not match number of frames specified[2]\n"}},
        {"FRAMES=3 SEQUENCE=I:i:X", kRunFailed, {"SEQUENCE count[2] does not match number of frames specified[3]\n"}},
        {"FRAMES=5 SEQUENCE=I:A...", kRunPassed, {"Read/Compare DST Image:  1 \n2 Alpha comparison not implemented yet\n3 \n"}},
        {"SEQUENCE=A", kRunPassed, {"Alpha comparison not implemented yet"}},
        {"FRAMES=2 SEQUENCE=A:A FORCEUPDATE=1", kRunPassed, {"Transfer #2:  Took "}},
        // A late path sends delay frames behind the operator's: the sequence names the compared ones.
        {"FRAMES=2 SEQUENCE=I:I", kRunPassed, {"1 SrcTag[1]  DstTag[2] \n2 SrcTag[2]  DstTag[3] \n", "Passed\n"}, external},
        {"FRAMES=2 SEQUENCE=I:A", kRunPassed, {"1 SrcTag[1]  DstTag[2] \n2 SrcTag[2]  DstTag[3] Alpha comparison not implemented yet\n"}, external},
        {"FRAMES=3 SEQUENCE=I:I", kRunFailed, {"SEQUENCE count[2] does not match number of frames specified[3]\n"}, external},
        {"FRAMES=1 SEQUENCE=A:I", kRunPassed, {"1 SrcTag[1]  DstTag[2] Alpha comparison not implemented yet\n"}, external},
        {"FRAMES=3 SEQUENCE=A:I...", kRunPassed, {"1 SrcTag[1]  DstTag[4] Alpha comparison not implemented yet\n2 SrcTag[2]  DstTag[5] \n3 SrcTag[3]  DstTag[6] Alpha"}, bexi},
        {"FRAMES=2 SEQUENCE=I:Y", kRunFailed, {"SEQUENCE count[1] does not match number of frames specified[2]\n"}, bexi},
        // FRAMES and the path's delay frames share the 15 DCBs: a count that does not fit is refused, not lowered.
        {"FRAMES=13 SEQUENCE=I...", kRunFailed, {"FRAMES=13 does not fit format HVHDProjFmt_720P_5997FPS: its path adds 3 delay frames, so FRAMES=12 is the most it allows\n"}, bexi},
        {"FRAMES=12 SEQUENCE=I...", kRunPassed, {"12 SrcTag[12]  DstTag[15] ", "Passed\n"}, bexi},
    };
    for (const Row& row : rows) {
        support::RigBoard("Brimola1")->GetRegisters()[0x80100 / 4] = 5;
        std::string out;
        const std::string command = std::string("Brimola1 <") + row.test + " VERBOSE=2 " + row.command + ">";
        EXPECT_EQ(Run(command, &out), row.result) << command << "\n" << out;
        EXPECT_TRUE(HasAll(out, row.parts)) << command;
        if (row.result == kRunFailed) {
            // Refused before the box or the board was touched.
            EXPECT_EQ(out.find("Nulk Video loopback enabled"), std::string::npos) << command;
            EXPECT_EQ(support::RigBoard("Brimola1")->GetRegisters()[0x80100 / 4].Read(), 5u) << command;
        }
    }
    // BVI=7 goes to the select word as it is and takes inbound channel 0; the source DCBs carry it.
    std::string out;
    ASSERT_EQ(Run("Brimola1 <CNulk Internal Loopback Images DIM=(32,16) BVI=7>", &out), kRunPassed) << out;
    const RegisterPtr bar0 = support::RigBoard("Brimola1")->GetRegisters();
    EXPECT_EQ(bar0[0x80100 / 4].Read(), 7u);
    EXPECT_EQ(bar0[(0x60000 + 0x200 * 4 + 0x20 + 4) / 4].Read() & 0xF, 7u);
    EXPECT_EQ(bar0[(0x60000 + 0x20 + 8) / 4].Read(), 0x1000u);  // channel 0's DCB 1: the first destination
}

// FORCESTALL: the frames go twice and only the second run speaks and counts.
TEST_F(BoxLoopbacks, AStalledFirstRunLeavesNoTrace) {
    Fill(*Child<CBexi>("CBexi").GetImageList(), {"GRID"});
    std::string out;
    EXPECT_EQ(Run("Brimola1 <CBexi Loopback Images DIM=(1280,720) FORCESTALL=1 VERBOSE=2>", &out), kRunPassed) << out;
    EXPECT_EQ(Count(out, "DST Image:  Tag[1]"), 1u) << out;
    EXPECT_EQ(Count(out, "Bexi IO started\n"), 1u) << out;
    EXPECT_EQ(Count(out, "Transfer took "), 1u) << out;
}

// A failing frame is dumped beside the expected image: the two-image file's identity, then both images.
TEST_F(BoxLoopbacks, AMismatchingFrameIsDumpedWithTheExpectedImage) {
    support::ScopedRig rig(Rig(Fault("box_frame_slip", R"(, "path": "nulk_internal")")));
    Fill(*Child<CNulk>("CNulk").GetImageList(), {"GRID"});
    // Frame 1 came back black; frame 2 holds frame 1, whose stamp differs in one word. The second
    // run the same: switching the loopback off and on dropped the first run's last frame.
    for (int run = 1; run <= 2; ++run) {
        std::string out;
        EXPECT_EQ(Run("Brimola1 <CNulk Internal Loopback Images DIM=(32,16) FRAMES=2>", &out), kRunFailed);
        EXPECT_EQ(Count(out, "Offset["), 20u) << "at most 20 mismatches a call are shown";
        EXPECT_TRUE(HasAll(out, {"Total 257 errors out of 512\n"})) << "run " << run << "\n" << out;
    }
    for (int frame : {1, 2}) {
        const std::string file = Dir().Read("Zorv.Nulk.LBypass.YCbCr8bit." + std::to_string(frame));
        const unsigned char guid[16] = {0x80, 0x56, 0x23, 0x82, 0x2F, 0xB4, 0x52, 0x4B, 0xB5, 0x1A, 0xAC, 0x3C, 0x72, 0x4E, 0x11, 0x6D};
        ASSERT_GT(file.size(), 16u + 2 * 2 * 32 * 16) << frame;
        EXPECT_EQ(file.compare(0, 16, std::string(reinterpret_cast<const char*>(guid), 16)), 0) << frame;
    }
}

// Frames are compared where they lie on healthy memory and through a read-back copy on memory with a
// fault: a stuck bit far above the frames switches to the copy, and every line printed and every
// dump written stays the same, for each compare rule, odd sizes, passing and failing frames.
TEST_F(BoxLoopbacks, FramesComparedInPlaceReportAsTheirReadBackCopies) {
    const std::string farBit = R"({"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 0, "value": 1, "from": "0x1F000000", "to": "0x1F000004"})";
    auto faults = [](const std::string& first, const std::string& more) {
        if (first.empty()) return "[" + more + "]";
        return "[" + first + (more.empty() ? "" : ", " + more) + "]";
    };
    auto corrupt = [](int channel, const char* mask, int first) {
        return R"({"kind": "dma_corrupt", "board": "Brimola1", "channel": )" + std::to_string(channel) + R"(, "mask": ")" + mask +
               R"(", "first": )" + std::to_string(first) + "}";
    };
    struct Row { std::string fault; const char* attached; const char* command; DWORD result; } rows[] = {
        {"", nullptr, "CBexi Loopback Images FRAMES=3 DIM=(1280,720) VERBOSE=2", kRunPassed},
        {corrupt(4, "0x00000040", 921599), nullptr, "CBexi Loopback Images FRAMES=2 DIM=(1280,720) VERBOSE=2", kRunFailed},
        {"", nullptr, "CNulk Internal Loopback Images FRAMES=3 DIM=(35,13) VERBOSE=2", kRunPassed},
        // The 8-bit compare masks the words of a differing block in both images: later frames see it.
        {corrupt(0, "0x00400000", 3), nullptr, "CNulk Internal Loopback Images FRAMES=4 DIM=(35,13) VERBOSE=2", kRunFailed},
        {corrupt(0, "0x40000000", 255), nullptr, "CNulk Internal Loopback Images FRAMES=2 DIM=(33,17)", kRunFailed},
        // Three compare blocks a frame, the last one short; a wrong word in the last block after two
        // that differ from the expected only under the mask.
        {"", nullptr, "CNulk Internal Loopback Images FRAMES=5 DIM=(64,40) VERBOSE=2", kRunPassed},
        {corrupt(0, "0x00400000", 1100), nullptr, "CNulk Internal Loopback Images FRAMES=3 DIM=(64,40) VERBOSE=2", kRunFailed},
        {corrupt(0, "0x00000100", 1266), nullptr, "CNulk Internal Loopback Images FRAMES=2 DIM=(65,39)", kRunFailed},
        {corrupt(0, "0x00400000", 5), nullptr, "CNulk External Loopback Images FRAMES=2 DIM=(720,576) VERBOSE=2", kRunFailed},
        {R"({"kind": "box_frame_slip", "board": "Brimola1", "path": "nulk_internal"})", nullptr,
         "CNulk Internal Loopback Images DIM=(32,16) FRAMES=3", kRunFailed},
        {"", kCable, "CableLoopback Loopback Images FRAMES=2 DIM=(31,9) VERBOSE=2", kRunPassed},
        {corrupt(4, "0x10000000", 5), kCable, "CableLoopback Loopback Images FRAMES=2 DIM=(31,9) VERBOSE=2", kRunFailed},
    };
    // The dumps the run wrote, by name; taken away so that the next run's stand alone.
    auto takeDumps = [&] {
        std::map<std::string, std::string> dumps;
        for (const auto& entry : std::filesystem::directory_iterator(Dir().Path())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("Zorv.", 0) != 0) continue;
            dumps[name] = Dir().Read(name);
            std::filesystem::remove(entry.path());
        }
        return dumps;
    };
    for (const Row& row : rows) {
        const std::string attached = row.attached ? row.attached : R"("breakout_box": true)";
        std::string inPlace, copied;
        std::map<std::string, std::string> inPlaceDumps, copiedDumps;
        {
            support::ScopedRig rig(Rig(faults(row.fault, ""), attached));
            EXPECT_EQ(Run(std::string("Brimola1 <") + row.command + ">", &inPlace), row.result) << row.command << "\n" << inPlace;
            inPlaceDumps = takeDumps();
        }
        {
            support::ScopedRig rig(Rig(faults(row.fault, farBit), attached));
            EXPECT_EQ(Run(std::string("Brimola1 <") + row.command + ">", &copied), row.result) << row.command << "\n" << copied;
            copiedDumps = takeDumps();
        }
        // The banner's wall-clock time ("12/07 - 23:31:13") may tick between the two runs.
        const auto untimed = [](std::string text) {
            for (size_t at = text.find(" - "); at != std::string::npos; at = text.find(" - ", at + 1))
                if (at >= 5 && text[at - 3] == '/' && at + 11 <= text.size() && text[at + 5] == ':' && text[at + 8] == ':')
                    text.replace(at + 3, 8, "hh:mm:ss");
            return text;
        };
        EXPECT_EQ(untimed(inPlace), untimed(copied)) << row.fault << " " << row.command;
        EXPECT_EQ(inPlaceDumps.empty(), row.result == kRunPassed) << row.command << ": a failing frame is dumped";
        EXPECT_TRUE(inPlaceDumps == copiedDumps) << row.command << ": " << inPlaceDumps.size() << " dumps beside " << copiedDumps.size();
    }
}

// Help: a green rule, the test's line, the rule again; the Nulk's external page only for its keyword.
TEST_F(BoxLoopbacks, HelpPagesFrameTheirLines) {
    struct Row { const char* test; const char* command; std::vector<std::string> parts; bool longPage; } rows[] = {
        {"CableLoopback", "anything", {"Test for Cable loopback.\n"}, false},
        {"CBexi", "", {"Test for Bexi.\n"}, false},
        {"CNulk", "Loopback Functional", {"Test for Nulk.\n", "Loopback Functional"}, false},
        {"CNulk", "External Loopback Images", {"Test the Nulk SDI loopback path", "  click the \"Add\" button."}, true},
        {"CNulk", "external loopback images", {"external loopback images"}, false},
    };
    for (const Row& row : rows) {
        CTestBase* child = brimola.GetChildMap()->at(row.test);
        support::TakeText();
        EXPECT_EQ(child->Help(row.command), kRunPassed);
        const std::string out = support::TakeText();
        EXPECT_TRUE(HasAll(out, row.parts)) << row.test << out;
        EXPECT_EQ(out.find("Test the Nulk SDI") != std::string::npos, row.longPage) << row.command;
        EXPECT_EQ(Count(out, std::string(72, '=')), 2u) << out;
    }
}

// The host's progress bar, dialog item 1034 of its main window.
struct FakeProgress : CProgressCtrl {
    void SetRange32(int lower, int upper) override { range = {lower, upper}; }
    int SetPos(int pos) override {
        positions.push_back(pos);
        return 0;
    }
    int GetPos() const override { return positions.empty() ? 0 : positions.back(); }
    void ShowWindow(int cmd) override { shown.push_back(cmd); }
    std::pair<int, int> range{-1, -1};
    std::vector<int> positions, shown;
};
struct FakeMain : CWnd {
    CWnd* GetDlgItem(int id) override { return id == kProgressCtrlId ? &bar : nullptr; }
    FakeProgress bar;
};

TEST_F(BoxLoopbacks, TheProgressBarCountsEveryPairOfTheFormatRuns) {
    FakeMain main;
    platform::SetMainWnd(&main);
    Fill(*Child<CNulk>("CNulk").GetImageList(), {"GRID", "SOLID"});
    EXPECT_EQ(Run("Brimola1 <CNulk External Loopback Images>"), kRunPassed);
    EXPECT_EQ(main.bar.range, std::make_pair(0, 6));  // three formats by two images
    EXPECT_EQ(main.bar.positions, (std::vector<int>{0, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(main.bar.shown, (std::vector<int>{SW_SHOW, SW_HIDE}));
    main.bar = FakeProgress{};
    EXPECT_EQ(Run("Brimola1 <CableLoopback Loopback Images>"), kRunFailed);  // no cable; the size form shows no bar
    EXPECT_TRUE(main.bar.positions.empty());
    platform::SetMainWnd(nullptr);
}

}  // namespace

namespace {

// The testdata rig with a loopback cable on both boards' connectors runs the cable keywords.
TEST_F(BoxLoopbacks, TheCableRigRunsTheCableKeywordsOnBothBoards) {
    support::ScopedRig rig(support::ReadText(std::string(PEX_SOURCE_DIR) + "/testdata/rigs/loopback_cable.json"));
    for (const char* command : {"Brimola1 <CableLoopback Loopback Functional>", "Brimola1 <CableLoopback Loopback Images>",
                                "Nuxa1 <CableLoopback Loopback Functional BVI=2>", "Nuxa1 <CableLoopback Loopback Images FRAMES=3>"}) {
        std::string out;
        EXPECT_EQ(Run(command, &out), kRunPassed) << command << "\n" << out;
        EXPECT_EQ(out.find("FAIL"), std::string::npos) << command;
    }
    // The box's own loopbacks need the box.
    EXPECT_EQ(Run("Brimola1 <CNulk Loopback Functional>"), kRunFailed);
}

}  // namespace
