// Tests of CTestBase: default slots, header, rule, coloured lines, compare dumps, list and number readers.
#include "framework/test_base.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <string>
#include <vector>

#include "framework/result_screen.h"
#include "platform/clock.h"
#include "tests/support/output.h"

using namespace support;

namespace {

constexpr COLORREF kBlack = 0x000000;
constexpr COLORREF kRed = 0x0000FF;
constexpr COLORREF kGreen = 0x00A000;

// Catches what the helpers print through slot 6: all text, the red text, and "text@colour" pieces.
class CaptureTest : public CTestBase {
public:
    DWORD Run(CString) override { return kRunPassed; }
    void PrintColor(CString text, COLORREF colour) override {
        text_ += text.str();
        if (colour == kRed) red += text.str();
        char c[16];
        std::snprintf(c, sizeof c, "@%X", colour);
        pieces.push_back(text.str() + c);
    }
    void ClearOutputTaps() override { ++tapClears; }
    void ShowHelp() override { ++helpShown; }
    void Reset() {
        text_.clear();
        red.clear();
        pieces.clear();
    }

    std::string text_, red;
    std::vector<std::string> pieces;
    int tapClears = 0, helpShown = 0;
};

class PlainTest : public CTestBase {
public:
    DWORD Run(CString) override { return kRunPassed; }
};

TEST(TestBaseSlots, DefaultSlotsReachTheResultScreen) {
    FakeRichEdit ctrl;
    FakeHost host(&ctrl);
    CResultScreen& screen = GetResultScreen();
    screen.SetHost(&host);
    PlainTest t;
    t.Print("a~*RED*~b");
    t.PrintColor("c", kGreen);
    t.PrintStyled("d", 0xFF0000, 0xFFFFFF, 1);
    ASSERT_EQ(ctrl.m_runs.size(), 4u);
    EXPECT_EQ(ctrl.m_text, "abcd");
    EXPECT_EQ(ctrl.m_runs[1].format.crTextColor, kRed);
    EXPECT_EQ(ctrl.m_runs[2].format.crTextColor, kGreen);
    EXPECT_EQ(ctrl.m_runs[3].format.crTextColor, 0xFF0000u);
    EXPECT_EQ(ctrl.m_runs[3].format.dwEffects & CFE_UNDERLINE, CFE_UNDERLINE);
    EXPECT_FALSE(screen.GetOutputTaps().empty());
    t.ClearOutputTaps();
    EXPECT_TRUE(screen.GetOutputTaps().empty());
    screen.Print("~*BLACK*~");
    screen.SetHost(nullptr);

    CaptureTest c;
    EXPECT_EQ(c.Help("any"), kRunPassed);
    EXPECT_EQ(c.helpShown, 1);
}

TEST(TestBaseHeader, OneLineUpTo52CharactersThenTwo) {
    const time_t when = 1700000000;
    platform::SetWallTime(when);
    struct tm lt {};
    localtime_r(&when, &lt);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d/%02d - %02d:%02d:%02d@0", lt.tm_mon + 1, lt.tm_mday, lt.tm_hour,
                  lt.tm_min, lt.tm_sec);
    const std::string desc40(40, 'd');

    CaptureTest t;
    t.PrintHeader(desc40.c_str(), "CWexalMemory");  // 12 + 40 = 52
    EXPECT_EQ(t.tapClears, 1);
    EXPECT_EQ(t.pieces, (std::vector<std::string>{std::string(72, '-') + "\n@0", stamp,
                                                  "\tCWexalMemory (" + desc40 + ")\n@0"}));
    t.Reset();
    t.PrintHeader(desc40.c_str(), "CWexalMemoryX");  // 53
    EXPECT_EQ(t.pieces.at(2), "\tCWexalMemoryX\n    (" + desc40 + ")\n\n@0");
    t.Reset();
    t.SetCodeName("CNuxaBoardTests");
    t.PrintHeader("Short", "");  // an empty name falls back to the code name
    EXPECT_EQ(t.pieces.at(2), "\tCNuxaBoardTests (Short)\n@0");
}

TEST(TestBaseLines, RuleAndColouredLines) {
    CaptureTest t;
    t.PrintRule(0, 0, kGreen);
    t.PrintRule(81, 0, kBlack);
    t.PrintRule(-1, 0, kBlack);
    t.PrintRule(80, 5, kRed);
    t.PrintRule(3, 0, kBlack);
    t.PrintGreen("PASS");
    t.PrintRed("FAIL");
    t.PrintBlack("info");
    t.PrintColorFormat(0x123456, "%s=%04X", "ADDR", 0xBEEFu);
    const std::string r72 = std::string(72, '=') + "\n@0";
    EXPECT_EQ(t.pieces, (std::vector<std::string>{"\n@A000", r72, r72, std::string(80, '=') + "\n@FF", "===\n@0",
                                                  "PASS\n@A000", "FAIL\n@FF", "info\n@0", "ADDR=BEEF@123456"}));
}

TEST(TestBaseCompare, AllFormNamesTheCommonValueAndMarksDifferencesRed) {
    CaptureTest t;
    const DWORD expected[3] = {0x5A5A5A5A, 0x5A5A5A5A, 0x5A5A5A5A};
    const DWORD actual[3] = {0x5A5A5A5A, 0x5A5A5A5B, 0x5A5A5A5A};
    t.PrintCompareDwords(3, expected, actual);
    EXPECT_EQ(t.pieces, (std::vector<std::string>{" Expected is all 5A5A5A5A.  Actual is:\n@0", "  @0", " 5A5A5A5A@0",
                                                  " 5A5A5A5B@FF", " 5A5A5A5A@0", "\n@0"}));
    // One value is the all form too; titles come from the caller's header format.
    t.Reset();
    const DWORD one = 7, other = 9;
    t.PrintCompare("%sWant%s %s..Got.%s\n", "%04X:", 0x100, 4, 8, 1, &one, &other);
    EXPECT_EQ(t.text_, " Want is all 00000007.  Got is:\n0100: 00000009\n");
    EXPECT_EQ(t.red, " 00000009");
    // A title longer than 8 characters is cut; an all-dots title falls back.
    t.Reset();
    t.PrintCompare("%sLongerTitle%s %s...%s\n", nullptr, 0, 0, 8, 1, &one, &one);
    EXPECT_EQ(t.text_, " LongerTi is all 00000007.  Actual is:\n   00000007\n");
    EXPECT_EQ(t.red, "");
    // Rows of values per line, addressed base + index * step.
    t.Reset();
    DWORD tenExp[10], tenAct[10];
    for (int i = 0; i < 10; ++i) tenExp[i] = tenAct[i] = 0xFFFFFFFF;
    tenAct[9] = 0;
    t.PrintCompare(nullptr, "%08X:", 0x1000, 4, 4, 10, tenExp, tenAct);
    EXPECT_EQ(t.text_, " Expected is all FFFFFFFF.  Actual is:\n"
                       "00001000: FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF\n"
                       "00001010: FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF\n"
                       "00001020: FFFFFFFF 00000000\n");
    EXPECT_EQ(t.red, " 00000000");
}

TEST(TestBaseCompare, SideBySideFormPadsTitlesAndRows) {
    CaptureTest t;
    DWORD expected[10], actual[10];
    for (int i = 0; i < 10; ++i) expected[i] = actual[i] = static_cast<DWORD>(i);
    actual[1] = 0xDEADBEEF;
    actual[9] = 0xFF;
    t.PrintCompareDwords(10, expected, actual);
    const std::string d13(13, '.'), d14(14, '.');
    EXPECT_EQ(t.text_, "   " + d13 + "Expected" + d14 + "  " + d13 + ".Actual." + d14 + "\n" +
                           "   00000000 00000001 00000002 00000003  00000000 DEADBEEF 00000002 00000003\n"
                           "   00000004 00000005 00000006 00000007  00000004 00000005 00000006 00000007\n"
                           "   00000008 00000009 " + std::string(18, ' ') + " 00000008 000000FF\n");
    EXPECT_EQ(t.red, " DEADBEEF 000000FF");
    EXPECT_EQ(std::count(t.pieces.begin(), t.pieces.end(), " DEADBEEF@FF"), 1);

    // Values per line choose the pairs per row and the dots around the titles.
    const DWORD two[2] = {1, 2};
    const struct { int perLine, before, after; } rows[] = {{1, 0, 0}, {2, 0, 0},  {3, 0, 0},   {4, 4, 5},
                                                            {6, 9, 9}, {9, 13, 14}, {10, 18, 18}, {0, 13, 14},
                                                            {11, 13, 14}};
    for (const auto& row : rows) {
        CaptureTest c;
        c.PrintCompare(nullptr, nullptr, 0, 0, row.perLine, 2, two, two);
        const std::string a(row.before, '.'), b(row.after, '.');
        EXPECT_EQ(c.pieces.at(0), "   " + a + "Expected" + b + "  " + a + ".Actual." + b + "\n@0") << row.perLine;
        if (row.perLine == 2) {
            EXPECT_EQ(c.text_.substr(c.text_.find('\n')), "\n   00000001  00000001\n   00000002  00000002\n");
        }
    }
    // No values print nothing.
    t.Reset();
    t.PrintCompareDwords(0, nullptr, nullptr);
    t.PrintCompareDwords(-3, two, two);
    EXPECT_TRUE(t.pieces.empty());
}

TEST(TestBaseLists, ItemsNumbersAndRanges) {
    // {list, index, mode, GetListItem's answer, the item, GetListRange's from and to (0, 0 when it fails)}
    const struct { const char* list; int index, mode; BOOL ok; const char* item; ULONGLONG from, to; } rows[] = {
        {"5, 6, 7", 1, 0, TRUE, "6", 6, 6},      {"5, 6, 7", 0, 0, TRUE, "5", 5, 5}, {"5, 6, 7", 3, 0, FALSE, "", 0, 0},
        {"a ,\tb", 0, 0, TRUE, "a ", 0, 0},      {"a ,\tb", 1, 0, TRUE, "b", 0, 0},   {"5,,6", 1, 0, TRUE, "", 0, 0},
        {"", 0, 0, FALSE, "", 0, 0},             {"3-9", 0, 0, TRUE, "3-9", 3, 9},   {"-4", 0, 0, TRUE, "-4", 0, 4},
        {"9-", 0, 0, TRUE, "9-", 9, ~0ull},      {"x5", 0, 0, TRUE, "x5", 0, 0},
        {"0x10-0x1F", 0, 0, TRUE, "0x10-0x1F", 0x10, 0x1F}, {"10-1F", 0, 1, TRUE, "10-1F", 0x10, 0x1F},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.list) + " #" + std::to_string(row.index));
        CString item = "old";
        EXPECT_EQ(CTestBase::GetListItem(row.list, row.index, item), row.ok);
        EXPECT_EQ(item, row.item);
        ULONGLONG from = 1, to = 1;
        const bool range = row.ok && (std::isdigit(row.item[0]) || row.item[0] == '-');
        EXPECT_EQ(CTestBase::GetListRange(row.list, row.index, from, to, row.mode) != FALSE, range);
        EXPECT_EQ(from, row.from);
        EXPECT_EQ(to, row.to);
    }
    // A number needs a leading digit; a failed read leaves 0.
    const struct { const char* list; int index, mode; BOOL ok; ULONGLONG value; } numbers[] = {
        {"10, 0x20, z, 1F", 1, 0, TRUE, 0x20}, {"10, 0x20, z, 1F", 3, 1, TRUE, 0x1F},
        {"10, 0x20, z, 1F", 2, 0, FALSE, 0},   {"10, 0x20", 2, 0, FALSE, 0}, {"5,,6", 1, 0, FALSE, 0}};
    for (const auto& row : numbers) {
        ULONGLONG v = 99;
        EXPECT_EQ(CTestBase::GetListNumber(row.list, row.index, v, row.mode), row.ok) << row.list << " #" << row.index;
        EXPECT_EQ(v, row.value) << row.list << " #" << row.index;
    }
}

TEST(TestBaseNumbers, ParseNumberDecimalAndHexadecimal) {
    const struct { const char* text; int mode; BOOL ok; ULONGLONG value; } rows[] = {
        {"0x1F", 0, TRUE, 31}, {"1F", 1, TRUE, 31}, {"12abc", 0, TRUE, 12}, {"-5", 0, TRUE, ~0ull - 4},
        {"0x123456789", 0, TRUE, 0x123456789ull},  // the high digit in the upper word
        {"0xFFFFFFFFFFFFFFFF", 0, TRUE, ~0ull}, {"123456789ABC", 1, TRUE, 0x123456789ABCull},
        {"0X1F", 0, TRUE, 0},  // upper-case X reads as decimal
        {"1x", 0, TRUE, 1},    // too short for a prefix: decimal
        {"1234567890123", 0, TRUE, 1234567890123ull}, {"zz", 1, TRUE, 0},  // no hex digit: the decimal reading
        {"0x1f        ", 0, TRUE, 31},  // trailing blanks do not make it long
        {"", 0, FALSE, 0}, {"0xZZZZZZZZZ", 0, FALSE, 0},
    };
    for (const auto& row : rows) {
        ULONGLONG v = 3;
        EXPECT_EQ(CTestBase::ParseNumber(row.text, v, row.mode), row.ok) << row.text;
        EXPECT_EQ(v, row.value) << row.text;
    }
}

TEST(TestBasePreHost, BufferCollectsUntilTakenWithRelease) {
    CTestBase::TakePreHostText(TRUE);
    EXPECT_EQ(CTestBase::TakePreHostText(FALSE), "");
    CTestBase::BufferPreHostText("Create class A\n");
    CTestBase::BufferPreHostText("Create class B\n");
    EXPECT_EQ(CTestBase::TakePreHostText(FALSE), "Create class A\nCreate class B\n");
    EXPECT_EQ(CTestBase::TakePreHostText(TRUE), "Create class A\nCreate class B\n");
    CTestBase::BufferPreHostText("next");
    EXPECT_EQ(CTestBase::TakePreHostText(TRUE), "next");
}

}  // namespace
