// Tests of CWexalTreeMapTB: command splitting, child maps, "CmdLine" switches, buffered output, device binding.
#include "framework/tree_map_tb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <ostream>
#include <string>

#include "tests/support/rig.h"
#include "tests/support/output.h"
#include "devlib/wexal_spaces.h"
#include "framework/param_string.h"
#include "framework/pattern_generators.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "platform/clock.h"
#include "platform/host_ui.h"

using support::InTempCwd;
using support::RecordingTreeTest;
using support::ScopedRig;

using namespace support;

namespace {

class PlainTest : public CWexalTreeMapTB {
public:
    explicit PlainTest(const char* name) : CWexalTreeMapTB(name) {}
    DWORD Run(CString) override { return kRunPassed; }
};

struct Split {
    std::string object, child, arguments;
    bool operator==(const Split&) const = default;
    friend void PrintTo(const Split& s, std::ostream* os) {
        *os << "{" << s.object << "|" << s.child << "|" << s.arguments << "}";
    }
};

Split SplitOf(const char* line) {
    PlainTest t("CSplit");
    CString o = "x", c = "x", a = "x";
    t.SplitCommandLine(line, o, c, a);
    return {o.str(), c.str(), a.str()};
}

TEST(TreeMap, SplitCommandLine) {
    EXPECT_EQ(SplitOf("DEV1 Memory tests <CWexal Random Memory Test VERBOSE = 0>"),
              (Split{"DEV1", "CWexal", "Random Memory Test VERBOSE = 0"}));
    EXPECT_EQ(SplitOf("DEV1 Flash tests"), (Split{"DEV1", "", ""}));
    // Bracket text without a blank or tab names no child; a leading blank is not skipped.
    EXPECT_EQ(SplitOf("DEV1 x <CWexal>"), (Split{"DEV1", "", "CWexal"}));
    EXPECT_EQ(SplitOf("DEV1 x <CWexal >"), (Split{"DEV1", "CWexal", ""}));
    EXPECT_EQ(SplitOf("DEV1 x < \tCWexal ARG=1>"), (Split{"DEV1", "", "\tCWexal ARG=1"}));
    EXPECT_EQ(SplitOf("DEV1 x <A  B C> trailing > tail"), (Split{"DEV1", "A", " B C> trailing "}));
    EXPECT_EQ(SplitOf("DEV1 x <A B> trailing"), (Split{"DEV1", "A", "B"}));
    EXPECT_EQ(SplitOf("<CWexal>"), (Split{"", "", "CWexal"}));
    EXPECT_EQ(SplitOf("DEV1 x <>"), (Split{"DEV1", "", ""}));
    EXPECT_EQ(SplitOf("<A B>"), (Split{"<A", "", ""}));
    // Only a blank ends the device name; a tab ends the child name too.
    EXPECT_EQ(SplitOf("DEV1\tx <A B>"), (Split{"DEV1\tx", "A", "B"}));
    EXPECT_EQ(SplitOf("DEV1 x\t<A\tB C>"), (Split{"DEV1", "A", "B C"}));
    EXPECT_EQ(SplitOf("DEV1 x <A B"), (Split{"DEV1", "A", "B"}));
    EXPECT_EQ(SplitOf(""), (Split{"", "", ""}));
}

TEST(TreeMap, ChildMapEntriesAndLookUps) {
    PlainTest root("CRoot"), memory("CWexal"), twin("CWexal");
    EXPECT_TRUE(memory.AddToMap(&root));
    EXPECT_FALSE(twin.AddToMap(&root));  // the first entry stays
    EXPECT_FALSE(memory.AddToMap(nullptr));
    EXPECT_TRUE(root.RegisterSelf());
    ASSERT_EQ(root.GetChildMap()->size(), 2u);
    EXPECT_EQ(root.GetChildMap()->at("CWexal"), &memory);

    CString object = "o", child = "c", arguments = "a";
    EXPECT_EQ(root.FindTest("Brimola1 Memory <CWexal Random VERBOSE=0>", object, child, arguments), &memory);
    EXPECT_EQ(object, "Brimola1");
    EXPECT_EQ(child, "CWexal");
    EXPECT_EQ(arguments, "Random VERBOSE=0");
    EXPECT_EQ(root.FindTest("Brimola1 Root <CRoot Display Rev>", object, child, arguments), &root);
    // Names match exactly; an unknown child leaves all three outputs empty.
    EXPECT_EQ(root.FindTest("Brimola1 Memory <cwexal Random>", object, child, arguments), nullptr);
    EXPECT_EQ(object, "");
    EXPECT_EQ(child, "");
    EXPECT_EQ(arguments, "");
    EXPECT_EQ(root.FindTest("Brimola1 Memory <CWexal>", object, child, arguments), nullptr);
    EXPECT_EQ(root.FindTest("Brimola1 Memory <CWexal >", object, child, arguments), &memory);
    EXPECT_EQ(arguments, "");

    EXPECT_TRUE(root.RemoveFromMap());
    EXPECT_FALSE(root.RemoveFromMap());
    EXPECT_EQ(root.GetChildMap()->count("CRoot"), 0u);
    {
        PlainTest self("CSelf");
        self.RegisterSelf();
        EXPECT_TRUE(self.AddToMap(&root));
    }
    // Only the own map's entry goes with the test; the parent keeps its (now stale) entry.
    EXPECT_EQ(root.GetChildMap()->count("CSelf"), 1u);
}

TEST(TreeMap, SwitchesAreReadFromCmdLineOnEveryQuery) {
    InTempCwd cwd;
    PlainTest t("CSwitches");
    // No switch file at all reads as empty text.
    EXPECT_EQ(CWexalTreeMapTB::ReadCmdLine(), "");
    EXPECT_FALSE(t.IsEngineering());
    EXPECT_EQ(t.GetSwitchValue("Config"), "");

    cwd.Dir().Write("CmdLine", "pexhost.exe /config=mytree.txt -Config=other.txt -autorun");
    EXPECT_EQ(t.GetSwitchValue("Config"), "MYTREE.TXT");
    EXPECT_TRUE(t.IsAutoRun());
    EXPECT_FALSE(t.IsRegression());

    cwd.Dir().Write("CmdLine", "pexhost.exe -Config=x -engineeringmode -Regression\r\n");
    EXPECT_EQ(t.GetSwitchValue("Config"), "X");
    EXPECT_EQ(t.GetSwitchValue("CLKDELTA"), "");
    EXPECT_TRUE(t.IsEngineering());
    EXPECT_TRUE(t.IsRegression());
    EXPECT_FALSE(t.IsAutoRun());

    cwd.Dir().Write("CmdLine", "pexhost.exe -PD=(A B) -CLKDELTA = 5");
    EXPECT_EQ(t.GetSwitchValue("PD"), "A B");
    EXPECT_EQ(t.GetSwitchValue("clkdelta"), "5");

    // A NUL byte ends the text.
    cwd.Dir().Write("CmdLine", std::string("pexhost.exe\0 -ENGINEERING", 25));
    EXPECT_EQ(CWexalTreeMapTB::ReadCmdLine(), "pexhost.exe");
    EXPECT_FALSE(t.IsEngineering());
}

// framework_tests never hands the registry to a host, so the tree-map slots buffer everything.
TEST(TreeMap, TextBeforeTheHostAttachesIsBufferedPlain) {
    ASSERT_EQ(GetCachedOutputCtrl(), nullptr);
    InTempCwd cwd;
    cwd.Dir().Write("CmdLine", "pexhost.exe -ENGINEERING");
    CTestBase::TakePreHostText(TRUE);
    PlainTest t("CAnnounced");
    EXPECT_EQ(CTestBase::TakePreHostText(TRUE), "Create class CAnnounced\n");

    t.Print("~*RED*~Error: ~*BLACK*~plain ~*BACK_YELLOW*~~*ULINE*~text~*NO_ULINE*~\n");
    t.PrintColor("coloured ~*BLUE*~too\n", kColorGreen);
    t.PrintStyled("styled\n", kColorRed, kColorWhite, TRUE);
    t.PrintRed("red line");
    t.GetSummary().push_back("summary 1\n");
    t.GetSummary().push_back("summary 2\n");
    t.ShowTestSummary(0);
    EXPECT_EQ(CTestBase::TakePreHostText(TRUE),
              "Error: plain text\ncoloured too\nstyled\nred line\nsummary 1\nsummary 2\n");

    cwd.Dir().Write("CmdLine", "pexhost.exe");
    PlainTest quiet("CQuiet");
    EXPECT_EQ(CTestBase::TakePreHostText(TRUE), "");
}

TEST(TreeMap, PrintDateTime) {
    struct tm when {};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 6;
    when.tm_hour = 2;
    when.tm_min = 58;
    when.tm_sec = 22;
    when.tm_isdst = -1;
    platform::SetWallTime(mktime(&when));
    RecordingTreeTest t;
    t.PrintDateTime(0xFF0000);
    EXPECT_EQ(t.out.text, "Sun Dec 6, 2026 2:58:22\n");
    EXPECT_TRUE(t.out.HasColoured("Sun Dec 6", 0xFF0000));

    when.tm_mon = 0;
    when.tm_mday = 1;
    when.tm_hour = 23;
    when.tm_min = 5;
    when.tm_sec = 9;
    platform::SetWallTime(mktime(&when));
    t.out = {};
    t.PrintDateTime(0);
    EXPECT_EQ(t.out.text, "Thu Jan 1, 2026 23:05:09\n");
}

class FakeProgress : public CProgressCtrl {
public:
    void SetRange32(int, int) override {}
    int SetPos(int) override { return 0; }
    int GetPos() const override { return 0; }
};

class FakeMainWindow : public CWnd {
public:
    CWnd* GetDlgItem(int id) override { return id == kProgressCtrlId ? m_item : nullptr; }
    CWnd* m_item = nullptr;
};

TEST(TreeMap, ProgressControlIsItem1034OfTheMainWindow) {
    platform::SetMainWnd(nullptr);
    EXPECT_EQ(GetProgressCtrl(), nullptr);
    FakeMainWindow main;
    platform::SetMainWnd(&main);
    EXPECT_EQ(GetProgressCtrl(), nullptr);  // no item 1034
    CWnd notAProgressBar;
    main.m_item = &notAProgressBar;
    EXPECT_EQ(GetProgressCtrl(), nullptr);
    FakeProgress progress;
    main.m_item = &progress;
    EXPECT_EQ(GetProgressCtrl(), &progress);
    platform::SetMainWnd(nullptr);
}

class TreeMapOnRig : public ::testing::Test {
protected:
    void SetUp() override { devlib::LoadDefaultRig(); }
    void TearDown() override { devlib::LoadDefaultRig(); }
};

TEST_F(TreeMapOnRig, SetupDeviceBindsBoardBAR0AndSDRAM) {
    RecordingTreeTest t;
    EXPECT_EQ(t.SetupDevice("Brimola1"), 1u);
    ASSERT_NE(t.GetDevice(), nullptr);
    EXPECT_EQ(t.GetDevice()->GetType(), CZorvDevice::DEVTYPE_BRIMOLA);
    EXPECT_TRUE(t.GetBoardIF().GetMainBoardRegisters());
    EXPECT_NE(t.GetBoardIF().GetSDRAMSpace(), nullptr);
    EXPECT_TRUE(t.out.text.empty());

    EXPECT_EQ(t.SetupDevice("Nuxa1 trailing words"), 1u);
    EXPECT_EQ(t.GetDevice()->GetTag(), "Nuxa1");
    EXPECT_TRUE(t.GetBoardIF().GetCodecBoardRegisters());

    EXPECT_EQ(t.SetupDevice("Brimola7"), 2u);
    EXPECT_EQ(t.GetDevice(), nullptr);
    EXPECT_TRUE(t.out.HasColoured("Selected device (Brimola7) has not been found.", kColorRed));
    EXPECT_EQ(t.SetupDevice(""), 2u);
    EXPECT_TRUE(t.out.Has("Device name (parameter 1) missing from command line.\n"));

    ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}],
                      "faults": [{"kind": "missing_space", "board": "Brimola1", "space": "SDRAM"}]})");
    ASSERT_TRUE(rig.Loaded());
    t.out = {};
    EXPECT_EQ(t.SetupDevice("Brimola1"), 2u);
    EXPECT_TRUE(t.out.Has("There is no \"SDRAM\" space available for this device."));
}

TEST_F(TreeMapOnRig, PartnerBoardsPairByTheLastCharacterOfTheTag) {
    ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}, {"tag": "Nuxa1", "kind": "nuxa"},
                                 {"tag": "Brimola2", "kind": "brimola"}]})");
    ASSERT_TRUE(rig.Loaded());
    RecordingTreeTest t;
    CWexalBoardIF none = t.MakePartnerBoardIF();
    EXPECT_EQ(none.GetDevice(), nullptr);
    EXPECT_EQ(none.GetOwner(), &t);

    ASSERT_EQ(t.SetupDevice("Brimola1"), 1u);
    CWexalBoardIF partner = t.MakePartnerBoardIF();
    ASSERT_NE(partner.GetDevice(), nullptr);
    EXPECT_EQ(partner.GetDevice()->GetTag(), "Nuxa1");
    EXPECT_TRUE(partner.GetCodecBoardRegisters());
    EXPECT_NE(partner.GetSDRAMSpace(), nullptr);
    EXPECT_EQ(t.GetDevice()->GetTag(), "Brimola1");  // the test's own binding is untouched

    ASSERT_EQ(t.SetupDevice("Nuxa1"), 1u);
    partner = t.MakePartnerBoardIF();
    ASSERT_NE(partner.GetDevice(), nullptr);
    EXPECT_EQ(partner.GetDevice()->GetTag(), "Brimola1");
    EXPECT_TRUE(partner.GetMainBoardRegisters());

    // Brimola2 has no Nuxa2: the partner comes back cleared.
    ASSERT_EQ(t.SetupDevice("Brimola2"), 1u);
    t.out = {};
    partner = t.MakePartnerBoardIF();
    EXPECT_EQ(partner.GetDevice(), nullptr);
    EXPECT_FALSE(partner.GetRegisters());
    // The partner interface starts quiet, so the failed selection says nothing: callers report it.
    EXPECT_TRUE(t.out.text.empty());
}

// A root in the shape of the board roots: it finds the child a command names, binds itself to the
// command's device, hands the binding to every child and runs the child with the arguments.
class ChildTest : public CWexalTreeMapTB {
public:
    ChildTest() : CWexalTreeMapTB("Child") {}
    DWORD Run(CString arguments) override {
        m_arguments = arguments;
        CString value;
        CParamString(arguments).GetValue("ARG", value);
        m_arg = value;
        return GetDevice() ? kRunPassed : kRunFailed;
    }
    CString m_arguments, m_arg;
};

class RootTest : public RecordingTreeTest {
public:
    RootTest() : RecordingTreeTest("CRootTest") {
        m_child.AddToMap(this);
        RegisterSelf();
    }
    DWORD Run(CString command) override {
        CString object, name, arguments;
        CTestBase* test = FindTest(command, object, name, arguments);
        if (!test) {
            PrintColorFormat(kColorRed, "ERROR:  Unable to find test[%s]", name.c_str());
            return kRunFailed;
        }
        if (SetupDevice(object) != kRunPassed) return kRunFailed;
        for (auto& [childName, child] : *GetChildMap())
            if (auto* tree = dynamic_cast<CWexalTreeMapTB*>(child)) tree->TakeBoardIF(this);
        return test == this ? kRunPassed : test->Run(arguments);
    }
    ChildTest m_child;
};

TEST_F(TreeMapOnRig, ARootRunsItsChildOnTheCommandsDevice) {
    RootTest root;
    EXPECT_EQ(root.Run("Brimola1 Child test <Child ARG=1 MODE=(a b)>"), kRunPassed);
    EXPECT_EQ(root.m_child.m_arguments, "ARG=1 MODE=(a b)");
    EXPECT_EQ(root.m_child.m_arg, "1");
    ASSERT_NE(root.m_child.GetDevice(), nullptr);
    EXPECT_EQ(root.m_child.GetDevice()->GetTag(), "Brimola1");
    EXPECT_TRUE(root.m_child.GetBoardIF().GetMainBoardRegisters());
    EXPECT_EQ(root.m_child.GetBoardIF().GetOwner(), &root.m_child);

    EXPECT_EQ(root.Run("Nuxa1 Child test <Child ARG=2>"), kRunPassed);
    EXPECT_EQ(root.m_child.GetDevice()->GetTag(), "Nuxa1");
    EXPECT_EQ(root.Run("Nuxa1 Root <CRootTest Display Rev>"), kRunPassed);

    EXPECT_EQ(root.Run("Brimola1 x <Nobody ARG=1>"), kRunFailed);
    EXPECT_TRUE(root.out.HasColoured("ERROR:  Unable to find test[]", kColorRed));
    EXPECT_EQ(root.Run("Brimola9 x <Child ARG=1>"), kRunFailed);
    EXPECT_EQ(root.m_child.GetDevice()->GetTag(), "Nuxa1");  // a failed binding is not handed on
}

// The main board's SDRAM with one bit stuck: the compare finds exactly the words whose written
// value had that bit clear, at their addresses.
TEST_F(TreeMapOnRig, CompareSDRAMFindsAnInjectedStuckBit) {
    const DWORD base = 0x01000000;
    const int count = 4096;
    // Bit 7 stuck at 1 over 256 words from word 1000 on.
    const DWORD from = base + 4 * 1000, to = from + 4 * 256;

    // Which of those words the LRS pattern writes with bit 7 clear, from a fresh generator.
    LRS_Generator replay(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
    replay.Reset(0);
    std::vector<int> wrong;
    for (int i = 0; i < count; ++i) {
        const DWORD word = replay.Next();
        const DWORD address = base + 4 * static_cast<DWORD>(i);
        if (address >= from && address < to && !(word & 0x80)) wrong.push_back(i);
    }
    ASSERT_GT(wrong.size(), 2u);

    {
        RecordingTreeTest healthy;
        ASSERT_EQ(healthy.SetupDevice("Brimola1"), 1u);
        LRS_Generator gen(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
        gen.Reset(0);
        EXPECT_EQ(healthy.GetBoardIF().CompareSDRAM(base, count, &gen, 0xFFFFFFFF, "Writing", "Reading", TRUE), 1u);
    }

    char json[512];
    std::snprintf(json, sizeof json,
                  R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}, {"tag": "Nuxa1", "kind": "nuxa"}],
                      "faults": [{"kind": "sdram_stuck_bit", "board": "Brimola1", "from": %u, "to": %u, "bit": 7, "value": 1}]})",
                  from, to);
    ScopedRig rig(json);
    ASSERT_TRUE(rig.Loaded());
    RecordingTreeTest t;
    ASSERT_EQ(t.SetupDevice("Brimola1"), 1u);
    LRS_Generator gen(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
    gen.Reset(0);
    EXPECT_EQ(t.GetBoardIF().CompareSDRAM(base, count, &gen, 0xFFFFFFFF, "Writing", "Reading", TRUE), 2u);

    char line[256];
    std::snprintf(line, sizeof line, " On reading them back, ~*RED*~%d~*BLACK*~ were found to be incorrect.\n",
                  static_cast<int>(wrong.size()));
    EXPECT_TRUE(t.out.Has(line)) << t.out.text;
    // The dump starts at the 8-word group of the first wrong word.
    std::snprintf(line, sizeof line, " %6.6X  ", base + 4 * static_cast<DWORD>(wrong.front() & ~7));
    EXPECT_TRUE(t.out.Has(line)) << t.out.text;
    // The stuck bit shows in red: the replayed word with bit 7 set.
    LRS_Generator again(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
    again.Reset(0);
    DWORD first = 0;
    for (int i = 0; i <= wrong.front(); ++i) first = again.Next();
    std::snprintf(line, sizeof line, " %8.8X", first | 0x80);
    EXPECT_TRUE(t.out.HasColoured(line, kColorRed)) << t.out.text;
    // At most 128 words are kept from that group on; wrong words past them are given as a range.
    const int groupStart = wrong.front() & ~7;
    int lastSlot = 0;
    for (int w : wrong)
        if (w - groupStart < 128) lastSlot = w - groupStart;
    const int shown = std::min(std::min(128, count - groupStart), (lastSlot + 12) / 4 * 4);
    ASSERT_LT(groupStart + shown, wrong.back());
    std::snprintf(line, sizeof line, "this address range: ~*RED*~%6.6X~*BLACK*~ to ~*RED*~%6.6X~*BLACK*~\n",
                  base + 4 * static_cast<DWORD>(wrong.front()), base + 4 * static_cast<DWORD>(wrong.back()));
    EXPECT_TRUE(t.out.Has(line)) << t.out.text;
    std::snprintf(line, sizeof line, "~*BLACK*~ %6.6X  ...\n", base + 4 * static_cast<DWORD>(groupStart + shown));
    EXPECT_TRUE(t.out.Has(line)) << t.out.text;
}

}  // namespace
