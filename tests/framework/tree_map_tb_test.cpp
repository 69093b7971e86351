// Tests of CWexalTreeMapTB: command splitting, child maps, "CmdLine" switches, buffered output, device binding.
#include "framework/tree_map_tb.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "platform/clock.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"

using namespace support;

namespace {

class PlainTest : public CWexalTreeMapTB {
public:
    explicit PlainTest(const char* name) : CWexalTreeMapTB(name) {}
    DWORD Run(CString) override { return kRunPassed; }
};

TEST(TreeMap, SplitCommandLineChildMapSwitchesBufferedTextAndDateLine) {
    const struct { const char* line; const char* split; } rows[] = {  // split: "object|child|arguments"
        {"DEV1 Memory tests <CWexal Random Memory Test VERBOSE = 0>", "DEV1|CWexal|Random Memory Test VERBOSE = 0"},
        {"DEV1 Flash tests", "DEV1||"}, {"DEV1 x <A  B C> trailing > tail", "DEV1|A| B C> trailing "},
        {"DEV1\tx <A B>", "DEV1\tx|A|B"},  // only a blank ends the device name
        {"DEV1 x\t<A\tB C>", "DEV1|A|B C"},  // a tab ends the child name
        {"DEV1 x <A B", "DEV1|A|B"}, {"", "||"},
        // Bracket text without a blank or tab names no child; a leading blank is not skipped.
        {"DEV1 x <CWexal>", "DEV1||CWexal"}, {"DEV1 x <CWexal >", "DEV1|CWexal|"},
        {"DEV1 x < \tCWexal ARG=1>", "DEV1||\tCWexal ARG=1"}, {"<CWexal>", "||CWexal"}, {"DEV1 x <>", "DEV1||"},
        {"<A B>", "<A||"},
    };
    PlainTest t("CSplit");
    for (const auto& row : rows) {
        CString o = "x", c = "x", a = "x";
        t.SplitCommandLine(row.line, o, c, a);
        EXPECT_EQ(o.str() + "|" + c.str() + "|" + a.str(), row.split) << row.line;
    }
    PlainTest root("CRoot"), memory("CWexal"), twin("CWexal");  // the child map
    EXPECT_TRUE(memory.AddToMap(&root) && root.RegisterSelf());
    EXPECT_FALSE(twin.AddToMap(&root));  // the first entry stays

    CString object = "o", child = "c", arguments = "a";
    EXPECT_EQ(root.FindTest("Brimola1 Memory <CWexal Random VERBOSE=0>", object, child, arguments), &memory);
    EXPECT_EQ(root.FindTest("Brimola1 Root <CRoot Display Rev>", object, child, arguments), &root);
    // Names match exactly; an unknown child leaves all three outputs empty.
    EXPECT_EQ(root.FindTest("Brimola1 Memory <cwexal Random>", object, child, arguments), nullptr);
    EXPECT_EQ(object + child + arguments, "");
    EXPECT_EQ(root.FindTest("Brimola1 Memory <CWexal>", object, child, arguments), nullptr);
    EXPECT_EQ(root.FindTest("Brimola1 Memory <CWexal >", object, child, arguments), &memory);
    EXPECT_EQ(arguments, "");

    EXPECT_TRUE(root.RemoveFromMap());
    EXPECT_EQ(root.GetChildMap()->count("CRoot"), 0u);
    // Switches, buffered text and the date line.
    InTempCwd cwd;
    PlainTest sw("CSwitches");
    EXPECT_EQ(CWexalTreeMapTB::ReadCmdLine(), "");  // no switch file reads as empty text
    cwd.Dir().Write("CmdLine", "pexhost.exe /config=mytree.txt -Config=other.txt -autorun -PD=(A B)");
    EXPECT_EQ(sw.GetSwitchValue("Config") + "|" + sw.GetSwitchValue("PD"), "MYTREE.TXT|A B");
    EXPECT_TRUE(sw.IsAutoRun() && !sw.IsRegression());
    cwd.Dir().Write("CmdLine", "pexhost.exe -engineeringmode -Regression\r\n");  // read again on every query
    EXPECT_TRUE(sw.IsEngineering() && sw.IsRegression() && !sw.IsAutoRun());
    cwd.Dir().Write("CmdLine", std::string("pexhost.exe\0 -ENGINEERING", 25));  // a NUL byte ends the text
    EXPECT_EQ(CWexalTreeMapTB::ReadCmdLine(), "pexhost.exe");
    EXPECT_FALSE(sw.IsEngineering());
    // framework_tests never hands the registry to a host, so the tree-map slots buffer everything.
    ASSERT_EQ(GetCachedOutputCtrl(), nullptr);
    cwd.Dir().Write("CmdLine", "pexhost.exe -ENGINEERING");
    CTestBase::TakePreHostText(TRUE);
    PlainTest announced("CAnnounced");
    EXPECT_EQ(CTestBase::TakePreHostText(TRUE), "Create class CAnnounced\n");
    sw.Print("~*RED*~Error: ~*BLACK*~plain ~*BACK_YELLOW*~~*ULINE*~text~*NO_ULINE*~\n");
    sw.PrintColor("coloured ~*BLUE*~too\n", kColorGreen);
    sw.GetSummary().push_back("summary\n");
    sw.ShowTestSummary(0);
    EXPECT_EQ(CTestBase::TakePreHostText(TRUE), "Error: plain text\ncoloured too\nsummary\n");
    cwd.Dir().Write("CmdLine", "pexhost.exe");
    PlainTest quiet("CQuiet");  // announced only in engineering mode
    EXPECT_EQ(CTestBase::TakePreHostText(TRUE), "");
    // The date line.
    const struct { int mon, day, hour, min, sec; const char* text; } dates[] = {
        {11, 6, 2, 58, 22, "Sun Dec 6, 2026 2:58:22\n"}, {0, 3, 23, 5, 9, "Sat Jan 3, 2026 23:05:09\n"}};
    for (const auto& row : dates) {
        struct tm when = {row.sec, row.min, row.hour, row.day, row.mon, 2026 - 1900, 0, 0, -1, 0, nullptr};
        platform::SetWallTime(mktime(&when));
        RecordingTreeTest sw;
        sw.PrintDateTime(0xFF0000);
        EXPECT_TRUE(sw.out.HasColoured(row.text, 0xFF0000)) << sw.out.text;
    }
}

using TreeMapOnRig = RigTest;

TEST_F(TreeMapOnRig, SetupDeviceBindsBoardsAndPartnersPairByTheTagsLastCharacter) {
    LoadJson(kThreeBoardRig);
    RecordingTreeTest t;
    EXPECT_EQ(t.SetupDevice("Brimola1"), 1u);
    EXPECT_TRUE(t.GetBoardIF().GetMainBoardRegisters() && t.GetBoardIF().GetSDRAMSpace());
    RecordingTreeTest child("CChild");  // a child takes the binding and owns its copy
    EXPECT_EQ(child.TakeBoardIF(&t), 1u);
    EXPECT_TRUE(child.GetDevice() == t.GetDevice() && child.GetBoardIF().GetOwner() == &child);
    const struct { const char* own; const char* partner; } rows[] = {{"Nuxa1", "Brimola1"}, {"Brimola2", "none"}};
    for (const auto& row : rows) {
        ASSERT_EQ(t.SetupDevice(row.own), 1u);
        CWexalBoardIF partner = t.MakePartnerBoardIF();
        EXPECT_EQ(t.GetDevice()->GetTag(), row.own);  // the test's own binding is untouched
        EXPECT_EQ(partner.GetDevice() ? partner.GetDevice()->GetTag() : CString("none"), row.partner) << row.own;
    }
    EXPECT_TRUE(t.out.text.empty()) << "the partner starts quiet: callers report a missing one";

    EXPECT_EQ(t.SetupDevice("Brimola7"), 2u);
    EXPECT_TRUE(t.out.HasColoured("Selected device (Brimola7) has not been found.", kColorRed));
    EXPECT_EQ(t.SetupDevice(""), 2u);
    EXPECT_TRUE(t.out.Has("Device name (parameter 1) missing from command line.\n"));
    LoadJson(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}],
                 "faults": [{"kind": "missing_space", "board": "Brimola1", "space": "SDRAM"}]})");
    EXPECT_EQ(t.SetupDevice("Brimola1"), 2u);
    EXPECT_TRUE(t.out.Has("There is no \"SDRAM\" space available for this device."));
}

}  // namespace
