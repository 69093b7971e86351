// Tests of the keyer and FPGA-pair tests' image harness and their own commands: keywords, lists, resolutions, patterns, logs, summaries and register accessors.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "platform/dialog.h"
#include "images/unpacked_image.h"
#include "tests/boards/root_fixture.h"
#include "tests/support/stop_flag.h"
#include "videopath/kerzil.h"
#include "videopath/sulveth.h"

namespace {

using namespace support;

// A host window holding the harness test's prints: notification 1 hands its text out, 2 appends.
struct WindowHost : CTestHost {
    CRichEditCtrl* GetOutputCtrl() override { return &ctrl; }
    uintptr_t Notify(int code, uintptr_t value) override {
        auto* text = reinterpret_cast<CString*>(value);
        code == 1 ? void(*text = ctrl.GetWindowText()) : void(ctrl.m_text += text->str());
        return 1;
    }
    FakeRichEdit ctrl;
};

// The test with its loopback body replaced: keeps each call (size 0 when alpha and image differ) and answers the next verdict (else 1).
template <class Base>
class FakeBody : public Recording<Base> {
public:
    struct Call { std::string args; DWORD width, height, frames, verbose; };
    using Recording<Base>::Recording;
    DWORD TestBypass(DWORD, CString args, Unpacked::Alpha::YCbCr_10_6* alpha, Unpacked::Image::YCbCr_10_6* image,
                     DWORD frames, DWORD verbose) override {
        calls.push_back({args.str(), alpha->GetWidth() == image->GetWidth() ? image->GetWidth() : 0, alpha->GetHeight() == image->GetHeight() ? image->GetHeight() : 0, frames, verbose});
        PrintColor("body output\n", kColorBlack);
        if (calls.size() == stopAt) *g_StopFlag() = 1;  // the host asks to stop while this body runs
        return next < verdicts.size() ? verdicts[next++] : 1;
    }
    void PrintColor(CString text, COLORREF colour) override {
        Recording<Base>::PrintColor(text, colour);
        if (window) window->m_text += text.str();
    }
    void Print(CString text) override { PrintColor(text, kColorBlack); }
    std::vector<Call> calls;
    std::vector<DWORD> verdicts;
    size_t next = 0;
    size_t stopAt = 0;  // the body call that raises the host's stop flag (0: none)
    FakeRichEdit* window = nullptr;
};

class Harness : public ::testing::Test {
protected:
    Harness() {
        devlib::LoadDefaultRig();
        cwd.Dir().Write("CmdLine", "pexhost ");
        kerzil = Bind(std::make_unique<FakeBody<CKerzil>>(&jastel, "CKerzil"));
        sulveth = Bind(std::make_unique<FakeBody<CSulveth>>(1, &jastel, "CSulvethA"));
    }
    ~Harness() override { GetResultScreen().SetHost(nullptr); }
    template <class T> std::unique_ptr<T> Bind(std::unique_ptr<T> test) {
        test->SetParent(&root);
        EXPECT_EQ(root.SetupDevice("Brimola1"), 1u);
        test->TakeBoardIF(&root);
        TakeText();
        return test;
    }
    template <class T> void Fill(T& test, const char* list, const std::vector<const char*>& entries) {
        test.Run(std::string(list) + " CLEAR");
        for (const char* entry : entries) test.Run(std::string(list) + " ADD=" + entry);
    }
    // Runs (or asks Help for) the command on a fresh output: success when it answers result and prints every part.
    template <class T> ::testing::AssertionResult Gives(T& test, const std::string& command, DWORD result, std::vector<std::string> parts = {}, bool help = false) {
        test.out = {};
        test.calls.clear();
        const DWORD got = help ? test.Help(command) : test.Run(command);
        return got != result ? ::testing::AssertionFailure() << command << " answered " << got << ":\n" << test.out.text : HasAll(test.out.text, parts) << command;
    }

    InTempCwd cwd;
    RecordingTreeTest root{"CBrimolaBoard"};
    CJastel jastel{"CJastel"};
    std::unique_ptr<FakeBody<CKerzil>> kerzil;
    std::unique_ptr<FakeBody<CSulveth>> sulveth;
};

// Help takes the same keywords (the keyer's register map excepted) and answers 1.
TEST_F(Harness, KeywordsAreCaseSensitivePrefixesFramesIsCheckedBeforeTheDispatchAndHelpFollowsTheKeywords) {
    const struct { bool keyer, help; const char* command; DWORD result; const char* text; size_t runs; } rows[] = {
        {true, false, "IMAGE_LIST SHOW", kRunPassed, "Index[1]\tRANDOM\n", 0},
        {true, false, "\"Bypass:Image:Unpacked\" CHANNEL=A FRAMES=15", kRunPassed, "SUMMARY:  ", 4},
        {true, false, "Show Structure Offsets", kRunPassed, "Kerzil.LBIA = 0x00008000 + 0x00003C00 = 0x0000BC00\n", 0},
        {true, false, "Modify Sliders", kRunFailed, "Loopback connector is not present\n", 0},
        {true, false, "image_list SHOW", kRunFailed, "\n\nERROR:  CKerzil\n\"image_list SHOW\"\n Not recognized as a valid test\n", 0},
        {true, false, "\"Bypass:Image:Unpacked\" FRAMES=0", kRunFailed, "Number of frames must be between 1 and 15.", 0},
        {false, false, "\"Bypass:Image:Unpacked\" FRAMES=16", kRunFailed, "Number of frames must be between 1 and 15.", 0},
        {true, false, "IMAGE_LIST SHOW FRAMES=2", kRunFailed, "Not recognized as a valid test", 0},
        {false, false, "Show Structure Offsets", kRunFailed, "\n\nERROR:  CSulveth\n\"Show Structure Offsets\"\n", 0},
        {false, false, "\"Bypass:Image:Unpacked\" CHANNEL=A", kRunPassed, "SUMMARY:  ", 4},
        {true, true, "\"Bypass:Image:Unpacked\"", kRunPassed, "Kerzil.AOP_A.CONTROL_REG_TWO = BAR0[0x00008000] + OFFSET[0x00000FC8] = 0x00008FC8\n\n", 0},
        {true, true, "IMAGE_LIST FRAMES=3", kRunPassed, "\n\nCKerzil\n\"IMAGE_LIST FRAMES=3\"\n Help is not available!\n", 0},
        {true, true, "Show Structure Offsets", kRunPassed, "\n\nERROR:  CKerzil\n\"Show Structure Offsets\"\n Not recognized as a valid test\n", 0},
        {false, true, "\"Bypass:Image:Unpacked\"", kRunPassed, "Host->Wexal->Kerzil->Sulveth->Kerzil->Wexal->Host\n", 0},
        {false, true, "Modify Image/Resolution List", kRunPassed, "\n\nCSulveth\n\"Modify Image/Resolution List\"\n Help is not available!\n", 0},
        {false, true, "Modify Sliders", kRunPassed, "\n\nERROR:  CSulveth\n\"Modify Sliders\"\n Not recognized as a valid test\n", 0},
    };
    for (const auto& row : rows) {
        EXPECT_TRUE(row.keyer ? Gives(*kerzil, row.command, row.result, {row.text}, row.help) : Gives(*sulveth, row.command, row.result, {row.text}, row.help));
        EXPECT_EQ(row.keyer ? kerzil->calls.size() : sulveth->calls.size(), row.runs) << row.command;
    }
    EXPECT_TRUE(Gives(*kerzil, "\"Bypass:Image:Unpacked\"   CHANNEL=B FRAMES=3", kRunPassed) && kerzil->calls.size() == 4 && kerzil->calls[0].args == "CHANNEL=B FRAMES=3" && kerzil->calls[0].frames == 3 && kerzil->calls[0].verbose == 1);
}

TEST_F(Harness, ResolutionsComeFromDimOrTheListAndUnsendableOnesEndTheCommand) {
    // A DIM argument replaces the list: every pattern at 720 x 486 only.
    ASSERT_TRUE(Gives(*kerzil, "\"Bypass:Image:Unpacked\" DIM=(720,486)", kRunPassed) && kerzil->calls.size() == 2);
    for (const auto& call : kerzil->calls) EXPECT_TRUE(call.width == 720 && call.height == 486);
    // The default rig's board has 512 MiB: destinations and sources of every frame must fit after 0x1000.
    const struct { std::vector<const char*> list; const char* arguments; const char* message; } rows[] = {
        {{}, " DIM=(0,486)", "Invalid resolution DIM=(0,486)\n"},
        {{}, " DIM=(-8,4)", "Invalid resolution DIM=(-8,4)\n"},
        {{}, " DIM=(65536,1)", "Invalid resolution DIM=(65536,1)\n"},
        {{}, " DIM=(1,65536)", "Invalid resolution DIM=(1,65536)\n"},
        {{}, " DIM=(4096,2048) FRAMES=8", "Invalid resolution DIM=(4096,2048)\n"},
        {{"NOTHING"}, "", "Invalid resolution DIM=(0,0)\n"},
        {{"(DIM=(12))"}, "", "Unrecognized resolution DIM=(0,0)\n"},
        {{}, "", "The RESOLUTION list is empty!\n"},
    };
    for (const auto& row : rows) {
        Fill(*kerzil, "RESOLUTION_LIST", row.list);
        EXPECT_TRUE(Gives(*kerzil, std::string("\"Bypass:Image:Unpacked\"") + row.arguments, kRunFailed, {row.message}));
        EXPECT_TRUE(kerzil->calls.empty() && !kerzil->out.Has("SUMMARY")) << row.message;
    }
    Fill(*kerzil, "RESOLUTION_LIST", {"(DIM=(4096,2048))"});
    EXPECT_TRUE(Gives(*kerzil, "\"Bypass:Image:Unpacked\" FRAMES=7", kRunPassed)) << "the largest count that fits";
}

TEST_F(Harness, AResolutionErrorHandsTheFinishedRunsToTheParentAndLeavesNothingForTheNextSummary) {
    Fill(*kerzil, "RESOLUTION_LIST", {"(DIM=(8,4))", "(DIM=(0,4))"});
    kerzil->verdicts = {1, 0};
    ASSERT_TRUE(Gives(*kerzil, "\"Bypass:Image:Unpacked\"", kRunFailed, {"Invalid resolution DIM=(0,4)\n"}));
    EXPECT_EQ(root.GetSummary(), (std::vector<CString>{"~*GREEN*~PASS:\tTest[CKerzil:TestBypass:HORZ_WEDGE_BLUE2RED] DIM[8,4]~*BLACK*~\n",
                                                       "~*RED*~FAIL:\tTest[CKerzil:TestBypass:RANDOM] DIM[8,4]~*BLACK*~\n"}));
    EXPECT_TRUE(kerzil->GetSummary().empty());
    ASSERT_TRUE(Gives(*kerzil, "\"Bypass:Image:Unpacked\" DIM=(16,2)", kRunPassed));
    EXPECT_FALSE(kerzil->out.Has("DIM[8,4]"));
    EXPECT_EQ(root.GetSummary().size(), 4u);
}

// The host's stop flag ends the image runs between patterns and resolutions: result 3 at once, the
// verdicts made before it handed up, none for the body it cut short.
TEST_F(Harness, TheStopFlagEndsTheImageRunsWithResultThree) {
    StopFlagReset reset;
    Fill(*kerzil, "RESOLUTION_LIST", {"(DIM=(8,4))", "(DIM=(16,4))"});
    Fill(*kerzil, "IMAGE_LIST", {"GRID", "SOLID", "DIAGONAL_LINES"});
    const struct { size_t stopAt; size_t calls; } rows[] = {{1, 1}, {3, 3}, {5, 5}};
    for (const auto& row : rows) {
        root.GetSummary().clear();
        kerzil->stopAt = row.stopAt;
        EXPECT_TRUE(Gives(*kerzil, "\"Bypass:Image:Unpacked\"", kRunStopped, {"Stopped by User\n"})) << row.stopAt;
        EXPECT_EQ(kerzil->calls.size(), row.calls);
        EXPECT_EQ(root.GetSummary().size(), row.calls - 1) << row.stopAt;
        EXPECT_TRUE(kerzil->GetSummary().empty());
        EXPECT_FALSE(kerzil->out.Has("SUMMARY:")) << row.stopAt;
        *g_StopFlag() = 0;
    }
    // Stopped before the command: no body runs.
    kerzil->stopAt = 0;
    *g_StopFlag() = 1;
    EXPECT_TRUE(Gives(*kerzil, "\"Bypass:Image:Unpacked\"", kRunStopped) && kerzil->calls.empty());
}

TEST_F(Harness, PatternsAreCaseSensitiveAndABadOneSkipsTheRestOfItsResolution) {
    Fill(*kerzil, "RESOLUTION_LIST", {"(DIM=(8,4))", "(DIM=(16,4))"});
    Fill(*sulveth, "RESOLUTION_LIST", {"(DIM=(8,4))"});
    // {patterns, parts printed by the keyer test, by the pair test, runs of the body per test, result}
    const struct { std::vector<const char*> patterns; std::vector<std::string> keyer, pair; size_t runs; DWORD result = kRunPassed; } rows[] = {
        {{"SOLID"}, {"Test Solid:  Y=502, Cb=512, Cr=512\n"}, {"Test Solid:  Y=502, Cb=512, Cr=512\n"}, 2},
        {{"(SOLID=(Y=0x40:CB=0x3FF:CR=640))"}, {"Test Solid:  Y=64, Cb=1023, Cr=640\n"}, {"Test Solid:  Y=0, Cb=0, Cr=640\n"}, 2},
        // A value past its field is refused, not drawn cut, and the test fails.
        {{"(SOLID=(Y=400:CB=99999999999))", "GRID"}, {"Argument SOLID CB=99999999999 does not fit its range -2147483648..2147483647\n"},
         {"Argument SOLID CB=99999999999 does not fit its range -2147483648..2147483647\n"}, 0, kRunFailed},
        {{"(RANDOM SEED=XYZ)", "GRID"}, {"SEED not understood\n"}, {"SEED not understood\n"}, 0},
        {{"(RANDOM SEED=0x2A)"}, {"Random Data\nSEED=0x0000002A\n"}, {"SEED=0x0000002A\n"}, 2},
        {{"(RANDOM SEED=42)", "VERT_WEDGE_RED2BLUE"}, {"SEED=0x0000002A\n", "Test Vertical Wedge:  Red to Blue\n"}, {}, 4},
        {{"DIAGONAL_LINES", "FOO", "GRID"}, {"Test Diagonal Lines\n", "Unrecognized pattern=FOO\n"}, {}, 2},
    };
    for (const auto& row : rows) {
        Fill(*kerzil, "IMAGE_LIST", row.patterns);
        Fill(*sulveth, "IMAGE_LIST", row.patterns);
        EXPECT_TRUE(Gives(*kerzil, "\"Bypass:Image:Unpacked\"", row.result, row.keyer));
        EXPECT_EQ(kerzil->calls.size(), row.runs) << row.keyer[0];
        EXPECT_TRUE(Gives(*sulveth, "\"Bypass:Image:Unpacked\"", row.result, row.pair));
    }
    EXPECT_FALSE(kerzil->out.Has("Test Grid")) << "patterns after a bad one wait for the next resolution";
    // Added entries are upper-cased, so a lower-case pattern only comes from a list built in code.
    kerzil->GetImageList()->FreeStrings();
    kerzil->GetImageList()->Add("grid");
    EXPECT_TRUE(Gives(*kerzil, "\"Bypass:Image:Unpacked\"", kRunPassed, {"Unrecognized pattern=grid\n"}) && kerzil->calls.empty());
    Fill(*kerzil, "IMAGE_LIST", {});
    EXPECT_TRUE(Gives(*kerzil, "IMAGE_LIST SHOW", kRunPassed, {"List is empty!\n"}));
    EXPECT_TRUE(Gives(*kerzil, "\"Bypass:Image:Unpacked\"", kRunFailed, {"The IMAGE list is empty!\n"}));
}

TEST_F(Harness, LogsTakeEachFailingRunAndTheSummaryAndTheParentCollectsTheLinesInOrder) {
    WindowHost host;
    GetResultScreen().SetHost(&host);
    kerzil->window = &host.ctrl;
    ASSERT_TRUE(root.OpenLogFile("FAILURES", cwd.Dir().File("failures.txt")) && root.OpenLogFile("SUMMARY", cwd.Dir().File("summary.txt")));
    Fill(*kerzil, "IMAGE_LIST", {"GRID", "HORZ_WEDGE", "VERT_WEDGE"});
    kerzil->verdicts = {1, 0, 1};
    host.ctrl.m_text = "before the command\n";
    const std::string command = "\"Bypass:Image:Unpacked\" DIM=(8,2)";
    ASSERT_TRUE(Gives(*kerzil, command, kRunFailed));
    const std::string failures = cwd.Dir().Read("failures.txt");
    EXPECT_TRUE(HasAll(failures, {command + " IMAGE=HORZ_WEDGE DIM=(8,2)\n", "Test Horizontal Wedge:  Greyscale\n", "body output\n"}) &&
                Count(failures, "body output") == 1) << "only the failing run:\n" << failures;
    const std::string summary = cwd.Dir().Read("summary.txt");
    EXPECT_TRUE(HasAll(summary, {"\nSUMMARY:  " + command + "\n", "FAIL:\tTest[CKerzil:TestBypass:HORZ_WEDGE] DIM[8,2]"}) &&
                summary.find("body output") == std::string::npos) << summary;
    // The window shows what stood there before the summary, then the summary.
    const std::string& window = host.ctrl.m_text;
    EXPECT_TRUE(Count(window, "SUMMARY:  ") == 1 && window.find("IMAGE=VERT_WEDGE") < window.find("SUMMARY:  ")) << window;
    EXPECT_EQ(root.GetSummary(), (std::vector<CString>{"~*GREEN*~PASS:\tTest[CKerzil:TestBypass:GRID] DIM[8,2]~*BLACK*~\n", "~*RED*~FAIL:\tTest[CKerzil:TestBypass:HORZ_WEDGE] DIM[8,2]~*BLACK*~\n",
                                                       "~*GREEN*~PASS:\tTest[CKerzil:TestBypass:VERT_WEDGE] DIM[8,2]~*BLACK*~\n"}));
    // A failing run's record that its log cannot take is reported with the cause.
    std::filesystem::remove(cwd.Dir().File("failures.txt"));
    std::filesystem::create_symlink("/dev/full", cwd.Dir().File("failures.txt"));
    kerzil->verdicts = {0};
    kerzil->next = 0;
    EXPECT_TRUE(Gives(*kerzil, command, kRunFailed, {"Unable to append to log file " + cwd.Dir().File("failures.txt") + "\nThe disk is full.\n"}));
}

TEST_F(RootKeywords, SlidersCheckTheConnectorThenEachFpgaAndOpenTheSheetOnTheKeyerContexts) {
    platform::ScriptedDialogRunner runner;
    platform::DialogRunner* const headless = platform::SetDialogRunner(&runner);
    runner.Push({"ok"});
    std::string text;
    const struct { std::string rig; int loaded; std::string message; } rows[] = {
        {MainBoardRig(), 0, "Loopback connector is not present\n"},  // nothing on the connector
        {MainBoardRig(R"([{"board": "Brimola1", "kind": "fpga_done_stays_low", "device": 0}])", R"(, "attached": {"breakout_box": true})"), 3, "Kerzil has not been downloaded\n"},
        {"", 1, "SulvethA has not been downloaded\n"},
        {"", 2, "SulvethB has not been downloaded\n"},
        {"", 3, ""},
    };
    for (const auto& row : rows) {
        const auto rig = row.rig.empty() ? nullptr : std::make_unique<ScopedRig>(row.rig);
        for (int device = 0; device < row.loaded; ++device) Run(ProgramLine(device));
        EXPECT_EQ(Run("Brimola1 <CKerzil Modify Sliders>", &text), kRunFailed) << "closed with OK";
        EXPECT_TRUE(HasAll(text, {row.message}) && Count(text, "downloaded") + Count(text, "connector") == !row.message.empty()) << text;
        EXPECT_EQ(runner.History().size(), row.message.empty() ? 1u : 0u);
    }
    // The sheet gets the argument text and the contexts from BAR0 0x9000: READHW=1 keeps them, else they are cleared.
    const RegisterRef word = RigBoard("Brimola1")->GetRegisters()[0x9004 / 4];
    word = 0x1234;
    EXPECT_TRUE(Run("Brimola1 <CKerzil Modify Sliders READHW=1>") == kRunFailed && word.Read() == 0x1234);
    EXPECT_TRUE(Run("Brimola1 <CKerzil Modify Sliders>") == kRunFailed && word.Read() == 0);
    platform::SetDialogRunner(headless);
}

// A dialog runner that closes the sheet as the host's Ctrl-C does (the stop flag set, the dialog
// cancelled), by a plain cancel, or with OK.
struct ClosingRunner : platform::DialogRunner {
    enum class Close { Stop, Cancel, Ok } close = Close::Ok;
    int Run(platform::DialogModel&) override {
        if (close == Close::Stop) *g_StopFlag() = 1;
        return close == Close::Ok ? platform::IDOK : platform::IDCANCEL;
    }
};

TEST_F(RootKeywords, SlidersStoppedByTheHostAnswerStopped) {
    for (int device = 0; device < 3; ++device) ASSERT_EQ(Run(ProgramLine(device)), kRunPassed);
    ClosingRunner runner;
    platform::DialogRunner* const headless = platform::SetDialogRunner(&runner);
    const struct { ClosingRunner::Close close; DWORD result; } rows[] = {
        {ClosingRunner::Close::Stop, kRunStopped},
        {ClosingRunner::Close::Cancel, kRunFailed},
        {ClosingRunner::Close::Ok, kRunFailed},
    };
    for (const auto& row : rows) {
        runner.close = row.close;
        EXPECT_EQ(Run("Brimola1 <CKerzil Modify Sliders>"), row.result) << static_cast<int>(row.close);
        *g_StopFlag() = 0;
    }
    platform::SetDialogRunner(headless);
}

// Every list sheet ends its test as stopped when the host's stop closed it, and only then.
TEST_F(RootKeywords, ListSheetsClosedByTheHostsStopAnswerStopped) {
    ClosingRunner runner;
    platform::DialogRunner* const headless = platform::SetDialogRunner(&runner);
    for (const char* command : {"Brimola1 <CWexal Modify Image/Resolution List>",
                                "Brimola1 <CKerzil Modify Image/Resolution List>",
                                "Brimola1 <CSulvethA Modify Image/Resolution List>",
                                "Brimola1 <CBexi Modify Image/Resolution List>",
                                "Brimola1 <CNulk Modify Internal Image/Resolution List>",
                                "Nuxa1 <CSorbelinPackerA Modify Image/Resolution List>",
                                "Nuxa1 <CSorbelinEncoderA Modify List Image>",
                                "Nuxa1 <CSorbelinEncoderA Modify List OnFail>"}) {
        runner.close = ClosingRunner::Close::Stop;
        EXPECT_EQ(Run(command), kRunStopped) << command;
        *g_StopFlag() = 0;
        runner.close = ClosingRunner::Close::Cancel;
        EXPECT_NE(Run(command), kRunStopped) << command;
    }
    platform::SetDialogRunner(headless);
}

TEST_F(RootKeywords, PairAccessorsGiveTheRevisionChannelResourcesAndCrcRegistersPerChip) {
    CSulveth& pair = *brimola.GetSulvethA();
    Run("Brimola1 <CSulvethA IMAGE_LIST SHOW>");  // binds the member tests to the board
    const RegisterPtr bar0 = RigBoard("Brimola1")->GetRegisters();
    DWORD id[3] = {1, 1, 1};
    pair.GetChipRevision(2, &id[0], &id[1], &id[2]);
    EXPECT_TRUE(id[0] == 0xFFF && id[1] == 0xFF && id[2] == 0xFFF) << "unconfigured";
    for (int device : {0, 1}) ASSERT_EQ(Run(ProgramLine(device)), kRunPassed);
    const DWORD word = bar0[0x1BFC8 / 4];
    pair.GetChipRevision(1, &id[0], &id[1], &id[2]);
    EXPECT_TRUE(word != 0xFFFFFFFF && id[0] == word >> 20 && id[1] == ((word >> 12) & 0xFF) && id[2] == (word & 0xFFF));
    const struct { DWORD channel, result, dst, src, context, sulveth, aop; } rows[] = {
        {1, 1, 24, 28, 0x88000, 0x18000, 0x8C00},
        {2, 1, 25, 29, 0x90000, 0x1C000, 0xAC00},
        {3, 0, 64, 64, 0, 0, 0},
    };
    for (const auto& row : rows) {
        DWORD dma[2] = {0, 0};
        RegisterPtr p[4];
        EXPECT_EQ(pair.GetDCBParams(row.channel, &dma[0], &dma[1], &p[0], &p[1], &p[2], &p[3]), row.result);
        const auto at = [&](DWORD offset) { return row.result ? bar0 + offset / 4 : RegisterPtr(); };
        EXPECT_TRUE(dma[0] == row.dst && dma[1] == row.src && p[0] == at(row.context) && p[1] == at(0x8000) && p[2] == at(row.sulveth) &&
                    p[3] == at(row.aop) && (TakeText().find("Unrecognized Channel") == std::string::npos) == row.result) << row.channel;
    }
    // A bad channel or chip writes no CRC register and leaves the outputs alone.
    DWORD first = 0x1234, second = 0;
    EXPECT_FALSE(pair.SetKerzilCRCs(0, 7) || pair.SetKerzilCRCs(3, 7) || pair.SetSulvethCRC(3, 7) || pair.GetSulvethCRC(0) ||
                 pair.GetKerzilCRCs(3, &first, &second) || first != 0x1234 || bar0[0x8FD8 / 4] == 7 || bar0[0xAFD8 / 4] == 7);
    EXPECT_EQ(Count(TakeText(), "Unrecognized Chip"), 5u);
}

}  // namespace
