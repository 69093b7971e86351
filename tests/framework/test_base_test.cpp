// Tests of CTestBase: default slots, header, rule, coloured lines, compare dumps, list and number readers.
#include "framework/test_base.h"

#include <gtest/gtest.h>

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

struct Piece {
    std::string text;
    COLORREF colour;
    bool operator==(const Piece&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Piece& p) {
    return os << "{\"" << p.text << "\", " << std::hex << p.colour << std::dec << "}";
}

// Catches what the helpers print through slot 6, piece by piece.
class CaptureTest : public CTestBase {
public:
    DWORD Run(CString) override { return kRunPassed; }
    void PrintColor(CString text, COLORREF colour) override { m_pieces.push_back({text.str(), colour}); }
    void ClearOutputTaps() override { ++m_tapClears; }
    void ShowHelp() override { ++m_helpShown; }

    std::string Text() const {
        std::string all;
        for (const Piece& p : m_pieces) all += p.text;
        return all;
    }
    std::string RedText() const {
        std::string red;
        for (const Piece& p : m_pieces)
            if (p.colour == kRed) red += p.text;
        return red;
    }

    std::vector<Piece> m_pieces;
    int m_tapClears = 0;
    int m_helpShown = 0;
};

class PlainTest : public CTestBase {
public:
    DWORD Run(CString) override { return kRunPassed; }
};

TEST(TestBaseSlots, DefaultPrintSlotsReachTheResultScreen) {
    FakeRichEdit ctrl;
    FakeHost host(&ctrl);
    CResultScreen& screen = GetResultScreen();
    screen.SetHost(&host);
    PlainTest t;
    t.Print("a~*RED*~b");
    t.PrintColor("c", kGreen);
    t.PrintStyled("d", 0xFF0000, 0xFFFFFF, 1);
    t.Print("~*BLACK*~");
    ASSERT_EQ(ctrl.m_runs.size(), 4u);
    EXPECT_EQ(ctrl.m_text, "abcd");
    EXPECT_EQ(ctrl.m_runs[1].format.crTextColor, kRed);
    EXPECT_EQ(ctrl.m_runs[2].format.crTextColor, kGreen);
    EXPECT_EQ(ctrl.m_runs[3].format.crTextColor, 0xFF0000u);
    EXPECT_EQ(ctrl.m_runs[3].format.dwEffects & CFE_UNDERLINE, CFE_UNDERLINE);
    EXPECT_FALSE(screen.GetOutputTaps().empty());
    t.ClearOutputTaps();
    EXPECT_TRUE(screen.GetOutputTaps().empty());
    screen.SetHost(nullptr);
}

TEST(TestBaseSlots, HelpShowsTheHelpPage) {
    CaptureTest t;
    EXPECT_EQ(t.Help("any"), kRunPassed);
    EXPECT_EQ(t.m_helpShown, 1);
    t.EmptyHook();
    EXPECT_TRUE(t.m_pieces.empty());
}

std::string Stamp(time_t when) {
    struct tm lt {};
    localtime_r(&when, &lt);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d - %02d:%02d:%02d", lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min,
                  lt.tm_sec);
    return buf;
}

TEST(TestBaseHeader, OneLineUpTo52CharactersThenTwo) {
    const time_t when = 1700000000;  // a fixed instant, shown in local time
    platform::SetWallTime(when);
    const std::string dashes(72, '-');
    const std::string desc40(40, 'd');

    CaptureTest t;
    t.PrintHeader(desc40.c_str(), "CWexalMemory");  // 12 + 40 = 52
    EXPECT_EQ(t.m_tapClears, 1);
    ASSERT_EQ(t.m_pieces.size(), 3u);
    EXPECT_EQ(t.m_pieces[0], (Piece{dashes + "\n", kBlack}));
    EXPECT_EQ(t.m_pieces[1], (Piece{Stamp(when), kBlack}));
    EXPECT_EQ(t.m_pieces[2], (Piece{"\tCWexalMemory (" + desc40 + ")\n", kBlack}));

    t.m_pieces.clear();
    t.PrintHeader(desc40.c_str(), "CWexalMemoryX");  // 53
    ASSERT_EQ(t.m_pieces.size(), 3u);
    EXPECT_EQ(t.m_pieces[2], (Piece{"\tCWexalMemoryX\n    (" + desc40 + ")\n\n", kBlack}));

    // An empty name falls back to the code name.
    t.m_pieces.clear();
    t.SetCodeName("CNuxaBoardTests");
    t.PrintHeader("Short", "");
    ASSERT_EQ(t.m_pieces.size(), 3u);
    EXPECT_EQ(t.m_pieces[2].text, "\tCNuxaBoardTests (Short)\n");
}

TEST(TestBaseLines, RuleAndColouredLines) {
    CaptureTest t;
    t.PrintRule(0, 0, kGreen);
    t.PrintRule(81, 0, kBlack);
    t.PrintRule(-1, 0, kBlack);
    t.PrintRule(80, 5, kRed);
    t.PrintRule(3, 0, kBlack);
    ASSERT_EQ(t.m_pieces.size(), 5u);
    EXPECT_EQ(t.m_pieces[0], (Piece{"\n", kGreen}));
    EXPECT_EQ(t.m_pieces[1].text, std::string(72, '=') + "\n");
    EXPECT_EQ(t.m_pieces[2].text, std::string(72, '=') + "\n");
    EXPECT_EQ(t.m_pieces[3], (Piece{std::string(80, '=') + "\n", kRed}));
    EXPECT_EQ(t.m_pieces[4].text, "===\n");

    t.m_pieces.clear();
    t.PrintGreen("PASS");
    t.PrintRed("FAIL");
    t.PrintBlack("info");
    t.PrintColorFormat(0x123456, "%s=%04X", "ADDR", 0xBEEFu);
    EXPECT_EQ(t.m_pieces, (std::vector<Piece>{{"PASS\n", kGreen}, {"FAIL\n", kRed}, {"info\n", kBlack},
                                               {"ADDR=BEEF", 0x123456}}));
}

TEST(TestBaseCompare, AllFormNamesTheCommonValueAndMarksDifferencesRed) {
    CaptureTest t;
    const DWORD expected[3] = {0x5A5A5A5A, 0x5A5A5A5A, 0x5A5A5A5A};
    const DWORD actual[3] = {0x5A5A5A5A, 0x5A5A5A5B, 0x5A5A5A5A};
    t.PrintCompareDwords(3, expected, actual);
    EXPECT_EQ(t.m_pieces, (std::vector<Piece>{{" Expected is all 5A5A5A5A.  Actual is:\n", kBlack},
                                               {"  ", kBlack},
                                               {" 5A5A5A5A", kBlack},
                                               {" 5A5A5A5B", kRed},
                                               {" 5A5A5A5A", kBlack},
                                               {"\n", kBlack}}));

    // One value is the all form too; titles come from the caller's header format.
    t.m_pieces.clear();
    const DWORD one = 7, other = 9;
    t.PrintCompare("%sWant%s %s..Got.%s\n", "%04X:", 0x100, 4, 8, 1, &one, &other);
    EXPECT_EQ(t.Text(), " Want is all 00000007.  Got is:\n0100: 00000009\n");
    EXPECT_EQ(t.RedText(), " 00000009");

    // A title longer than 8 characters is cut; an all-dots title falls back.
    t.m_pieces.clear();
    t.PrintCompare("%sLongerTitle%s %s...%s\n", nullptr, 0, 0, 8, 1, &one, &one);
    EXPECT_EQ(t.Text(), " LongerTi is all 00000007.  Actual is:\n   00000007\n");
    EXPECT_EQ(t.RedText(), "");

    // Rows of values per line, addressed base + index * step.
    t.m_pieces.clear();
    DWORD tenExp[10], tenAct[10];
    for (int i = 0; i < 10; ++i) tenExp[i] = tenAct[i] = 0xFFFFFFFF;
    tenAct[9] = 0;
    t.PrintCompare(nullptr, "%08X:", 0x1000, 4, 4, 10, tenExp, tenAct);
    EXPECT_EQ(t.Text(), " Expected is all FFFFFFFF.  Actual is:\n"
                        "00001000: FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF\n"
                        "00001010: FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF\n"
                        "00001020: FFFFFFFF 00000000\n");
    EXPECT_EQ(t.RedText(), " 00000000");
}

TEST(TestBaseCompare, SideBySideFormPadsTitlesAndRows) {
    CaptureTest t;
    DWORD expected[10], actual[10];
    for (int i = 0; i < 10; ++i) expected[i] = actual[i] = static_cast<DWORD>(i);
    actual[1] = 0xDEADBEEF;
    actual[9] = 0xFF;
    t.PrintCompareDwords(10, expected, actual);
    const std::string d13(13, '.'), d14(14, '.');
    EXPECT_EQ(t.Text(), "   " + d13 + "Expected" + d14 + "  " + d13 + ".Actual." + d14 + "\n" +
                            "   00000000 00000001 00000002 00000003  00000000 DEADBEEF 00000002 00000003\n"
                            "   00000004 00000005 00000006 00000007  00000004 00000005 00000006 00000007\n"
                            "   00000008 00000009 " + std::string(18, ' ') + " 00000008 000000FF\n");
    EXPECT_EQ(t.RedText(), " DEADBEEF 000000FF");
    // Each actual value is its own piece, so only the differing ones are red.
    int redPieces = 0;
    for (const Piece& p : t.m_pieces) redPieces += p.colour == kRed;
    EXPECT_EQ(redPieces, 2);
}

TEST(TestBaseCompare, ValuesPerLineChoosesPairsAndDots) {
    const DWORD expected[2] = {1, 2}, actual[2] = {1, 2};
    auto titleFor = [&](int perLine) {
        CaptureTest t;
        t.PrintCompare(nullptr, nullptr, 0, 0, perLine, 2, expected, actual);
        return t.m_pieces.at(0).text;
    };
    auto title = [](int a, int b) {
        return "   " + std::string(a, '.') + "Expected" + std::string(b, '.') + "  " + std::string(a, '.') +
               ".Actual." + std::string(b, '.') + "\n";
    };
    EXPECT_EQ(titleFor(1), title(0, 0));
    EXPECT_EQ(titleFor(2), title(0, 0));
    EXPECT_EQ(titleFor(3), title(0, 0));
    EXPECT_EQ(titleFor(4), title(4, 5));
    EXPECT_EQ(titleFor(6), title(9, 9));
    EXPECT_EQ(titleFor(9), title(13, 14));
    EXPECT_EQ(titleFor(10), title(18, 18));
    EXPECT_EQ(titleFor(0), title(13, 14));   // out of range: 8
    EXPECT_EQ(titleFor(11), title(13, 14));

    CaptureTest t;
    t.PrintCompare(nullptr, nullptr, 0, 0, 2, 2, expected, actual);
    EXPECT_EQ(t.Text(), title(0, 0) + "   00000001  00000001\n   00000002  00000002\n");
}

TEST(TestBaseCompare, NoValuesPrintNothing) {
    CaptureTest t;
    t.PrintCompareDwords(0, nullptr, nullptr);
    const DWORD v = 1;
    t.PrintCompareDwords(-3, &v, &v);
    t.PrintCompare(nullptr, nullptr, 0, 0, 8, 0, &v, &v);
    EXPECT_TRUE(t.m_pieces.empty());
}

TEST(TestBaseLists, GetListItemSkipsCommasAndLeadingBlanks) {
    CString item = "old";
    EXPECT_TRUE(CTestBase::GetListItem("5, 6, 7", 1, item));
    EXPECT_EQ(item, "6");
    EXPECT_TRUE(CTestBase::GetListItem("5, 6, 7", 2, item));
    EXPECT_EQ(item, "7");
    EXPECT_TRUE(CTestBase::GetListItem("5, 6, 7", 0, item));
    EXPECT_EQ(item, "5");
    EXPECT_TRUE(CTestBase::GetListItem("a ,\tb", 0, item));
    EXPECT_EQ(item, "a ");  // trailing blanks stay
    EXPECT_TRUE(CTestBase::GetListItem("a ,\tb", 1, item));
    EXPECT_EQ(item, "b");
    EXPECT_TRUE(CTestBase::GetListItem("5,,6", 1, item));
    EXPECT_EQ(item, "");
    EXPECT_FALSE(CTestBase::GetListItem("5, 6, 7", 3, item));
    EXPECT_EQ(item, "");
    EXPECT_FALSE(CTestBase::GetListItem("", 0, item));
}

TEST(TestBaseLists, GetListNumberNeedsALeadingDigit) {
    ULONGLONG v = 99;
    EXPECT_TRUE(CTestBase::GetListNumber("10, 0x20, z, 1F", 0, v, 0));
    EXPECT_EQ(v, 10u);
    EXPECT_TRUE(CTestBase::GetListNumber("10, 0x20, z, 1F", 1, v, 0));
    EXPECT_EQ(v, 0x20u);
    EXPECT_FALSE(CTestBase::GetListNumber("10, 0x20, z, 1F", 2, v, 0));
    EXPECT_EQ(v, 0u);
    EXPECT_TRUE(CTestBase::GetListNumber("10, 0x20, z, 1F", 3, v, 1));
    EXPECT_EQ(v, 0x1Fu);
    v = 5;
    EXPECT_FALSE(CTestBase::GetListNumber("10, 0x20", 2, v, 0));
    EXPECT_EQ(v, 0u);
    EXPECT_FALSE(CTestBase::GetListNumber("5,,6", 1, v, 0));  // an empty item does not parse
}

TEST(TestBaseLists, GetListRangeReadsBoundsAndOpenEnds) {
    ULONGLONG from = 1, to = 1;
    EXPECT_TRUE(CTestBase::GetListRange("3-9", 0, from, to, 0));
    EXPECT_EQ(from, 3u);
    EXPECT_EQ(to, 9u);
    EXPECT_TRUE(CTestBase::GetListRange("1, 7", 1, from, to, 0));
    EXPECT_EQ(from, 7u);
    EXPECT_EQ(to, 7u);
    EXPECT_TRUE(CTestBase::GetListRange("-4", 0, from, to, 0));
    EXPECT_EQ(from, 0u);
    EXPECT_EQ(to, 4u);
    EXPECT_TRUE(CTestBase::GetListRange("5-", 0, from, to, 0));
    EXPECT_EQ(from, 5u);
    EXPECT_EQ(to, ~0ull);
    EXPECT_TRUE(CTestBase::GetListRange("0x10-0x1F", 0, from, to, 0));
    EXPECT_EQ(from, 0x10u);
    EXPECT_EQ(to, 0x1Fu);
    EXPECT_TRUE(CTestBase::GetListRange("10-1F", 0, from, to, 1));
    EXPECT_EQ(from, 0x10u);
    EXPECT_EQ(to, 0x1Fu);
    EXPECT_FALSE(CTestBase::GetListRange("x5", 0, from, to, 0));
    EXPECT_EQ(from, 0u);
    EXPECT_EQ(to, 0u);
    EXPECT_FALSE(CTestBase::GetListRange("1,", 1, from, to, 0));
    EXPECT_FALSE(CTestBase::GetListRange("1", 1, from, to, 0));
}

TEST(TestBaseNumbers, ParseNumberDecimalAndHexadecimal) {
    ULONGLONG v = 1;
    EXPECT_TRUE(CTestBase::ParseNumber("0x1F", v, 0));
    EXPECT_EQ(v, 31u);
    EXPECT_TRUE(CTestBase::ParseNumber("1F", v, 1));
    EXPECT_EQ(v, 31u);
    EXPECT_TRUE(CTestBase::ParseNumber("0x123456789", v, 0));
    EXPECT_EQ(v, 0x123456789ull);
    EXPECT_TRUE(CTestBase::ParseNumber("0xFFFFFFFFFFFFFFFF", v, 0));
    EXPECT_EQ(v, ~0ull);
    EXPECT_TRUE(CTestBase::ParseNumber("123456789ABC", v, 1));
    EXPECT_EQ(v, 0x123456789ABCull);
    EXPECT_TRUE(CTestBase::ParseNumber("12abc", v, 0));
    EXPECT_EQ(v, 12u);
    EXPECT_TRUE(CTestBase::ParseNumber("0X1F", v, 0));  // upper-case X reads as decimal 0
    EXPECT_EQ(v, 0u);
    EXPECT_TRUE(CTestBase::ParseNumber("1234567890123", v, 0));
    EXPECT_EQ(v, 1234567890123ull);
    EXPECT_TRUE(CTestBase::ParseNumber("-5", v, 0));
    EXPECT_EQ(static_cast<LONGLONG>(v), -5);
    EXPECT_TRUE(CTestBase::ParseNumber("zz", v, 1));  // no hex digit: the decimal reading
    EXPECT_EQ(v, 0u);
    // Trailing blanks do not turn a short number into a long one.
    EXPECT_TRUE(CTestBase::ParseNumber("0x1F        ", v, 0));
    EXPECT_EQ(v, 31u);
    v = 3;
    EXPECT_FALSE(CTestBase::ParseNumber("", v, 0));
    EXPECT_EQ(v, 0u);
    EXPECT_FALSE(CTestBase::ParseNumber("0xZZZZZZZZZ", v, 0));
    EXPECT_EQ(v, 0u);
}

TEST(TestBasePreHost, BufferCollectsUntilTakenWithRelease) {
    CTestBase::TakePreHostText(TRUE);
    EXPECT_EQ(CTestBase::TakePreHostText(FALSE), "");
    CTestBase::BufferPreHostText("Create class A\n");
    CTestBase::BufferPreHostText("Create class B\n");
    EXPECT_EQ(CTestBase::TakePreHostText(FALSE), "Create class A\nCreate class B\n");
    EXPECT_EQ(CTestBase::TakePreHostText(TRUE), "Create class A\nCreate class B\n");
    EXPECT_EQ(CTestBase::TakePreHostText(TRUE), "");
    CTestBase::BufferPreHostText("next");
    EXPECT_EQ(CTestBase::TakePreHostText(TRUE), "next");
}

}  // namespace
