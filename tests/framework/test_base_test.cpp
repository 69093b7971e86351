// Tests of CTestBase: default slots, header, rule, coloured lines, compare dumps, list and number readers.
#include "framework/test_base.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "framework/result_screen.h"
#include "tests/support/output.h"

using namespace support;

namespace {

constexpr COLORREF kRed = 0x0000FF;

// Keeps what the helpers print through slot 6, and counts the tap clears and help calls.
struct CaptureTest : Recording<CTestBase> {
    DWORD Run(CString) override { return kRunPassed; }
    void ClearOutputTaps() override { ++tapClears; }
    void ShowHelp() override { ++helpShown; }
    std::string Red() const {
        std::string red;
        for (const auto& [text, colour] : out.coloured) red += colour == kRed ? text : "";
        return red;
    }
    int tapClears = 0, helpShown = 0;
};

TEST(TestBaseOutput, SlotsLinesCompareDumpsAndListAndNumberReaders) {
    FakeRichEdit ctrl;
    FakeHost host(&ctrl);
    CResultScreen& screen = GetResultScreen();
    screen.SetHost(&host);
    struct Plain : CTestBase {
        DWORD Run(CString) override { return kRunPassed; }
    } p;
    p.Print("a~*RED*~b");
    p.PrintStyled("d", 0xFF0000, 0xFFFFFF, 1);
    p.PrintColor("c", 0x00A000);
    ASSERT_EQ(ctrl.m_text, "abdc");
    EXPECT_EQ(ctrl.m_runs.at(1).format.crTextColor, kRed);
    EXPECT_EQ(ctrl.m_runs.at(2).format.dwEffects & CFE_UNDERLINE, CFE_UNDERLINE);
    EXPECT_FALSE(screen.GetOutputTaps().empty());
    p.ClearOutputTaps();
    EXPECT_TRUE(screen.GetOutputTaps().empty());
    screen.Print("~*BLACK*~");
    screen.SetHost(nullptr);
    CaptureTest c;
    EXPECT_EQ(c.Help("any"), kRunPassed);
    EXPECT_EQ(c.helpShown, 1);
    // Header, rule and coloured lines.
    const std::string desc40(40, 'd');
    CaptureTest t;
    t.PrintHeader(desc40.c_str(), "CWexalMemory");  // 12 + 40 = 52: one line
    EXPECT_EQ(t.tapClears, 1);
    EXPECT_TRUE(t.out.text.starts_with(std::string(72, '-') + "\n"));
    EXPECT_TRUE(t.out.HasColoured("\tCWexalMemory (" + desc40 + ")\n", 0));
    t.out = {};
    t.PrintHeader(desc40.c_str(), "CWexalMemoryX");  // 53: two lines
    EXPECT_TRUE(t.out.Has("\tCWexalMemoryX\n    (" + desc40 + ")\n\n")) << t.out.text;
    t.out = {};
    t.PrintRule(81, 0, 0);
    t.PrintRed("FAIL");
    EXPECT_EQ(t.out.coloured, (decltype(t.out.coloured){{std::string(72, '=') + "\n", 0}, {"FAIL\n", kRed}}));
    // Compare dumps: the all form and the side-by-side form mark differences red.
    t.out = {};
    DWORD tenExp[10], tenAct[10];
    for (int i = 0; i < 10; ++i) tenExp[i] = tenAct[i] = 0xFFFFFFFF;
    tenAct[9] = 0;
    t.PrintCompare(nullptr, "%08X:", 0x1000, 4, 4, 10, tenExp, tenAct);  // rows addressed base + index * step
    EXPECT_TRUE(t.out.text.starts_with(" Expected is all FFFFFFFF.  Actual is:\n00001000: FFFFFFFF")) << t.out.text;
    EXPECT_TRUE(t.out.text.ends_with("\n00001020: FFFFFFFF 00000000\n")) << t.out.text;
    EXPECT_EQ(t.Red(), " 00000000");

    DWORD expected[10], actual[10];
    for (int i = 0; i < 10; ++i) expected[i] = actual[i] = static_cast<DWORD>(i);
    actual[1] = 0xDEADBEEF;
    actual[9] = 0xFF;
    t.out = {};
    t.PrintCompareDwords(10, expected, actual);
    const std::string d13(13, '.'), d14(14, '.');
    EXPECT_TRUE(t.out.text.starts_with("   " + d13 + "Expected" + d14 + "  " + d13 + ".Actual." + d14 + "\n" +
                                    "   00000000 00000001 00000002 00000003  00000000 DEADBEEF")) << t.out.text;
    EXPECT_TRUE(t.out.text.ends_with("\n   00000008 00000009 " + std::string(18, ' ') + " 00000008 000000FF\n")) << t.out.text;
    EXPECT_EQ(t.Red(), " DEADBEEF 000000FF");
    t.out = {};  // none prints nothing
    t.PrintCompareDwords(-3, expected, actual);
    EXPECT_TRUE(t.out.text.empty());
    // Readers of list items, ranges and numbers.
    // {list, index, mode, GetListItem's answer, the item, GetListRange's from and to (0, 0 when it fails)}
    const struct { const char* list; int index, mode; BOOL ok; const char* item; ULONGLONG from, to; } rows[] = {
        {"5, 6, 7", 1, 0, TRUE, "6", 6, 6}, {"5, 6, 7", 3, 0, FALSE, "", 0, 0}, {"a ,\tb", 0, 0, TRUE, "a ", 0, 0},
        {"-4", 0, 0, TRUE, "-4", 0, 4},     {"9-", 0, 0, TRUE, "9-", 9, ~0ull}, {"10-1F", 0, 1, TRUE, "10-1F", 0x10, 0x1F},
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
    ULONGLONG v = 99;  // a number needs a leading digit; a failed read leaves 0
    EXPECT_FALSE(CTestBase::GetListNumber("10, z", 1, v, 0));
    EXPECT_EQ(v, 0u);
    // A bound too wide for 64 bits fails the range (no open end); so does an item too wide to be a number.
    for (const char* wide : {"5-99999999999999999999", "99999999999999999999-7", "10-1FFFFFFFFFFFFFFFF", "99999999999999999999"}) {
        ULONGLONG from = 1, to = 1;
        EXPECT_FALSE(CTestBase::GetListRange(wide, 0, from, to, wide[1] == '0' ? 1 : 0)) << wide;
        EXPECT_EQ(from + to, 0u) << wide;
    }
    EXPECT_FALSE(CTestBase::GetListNumber("1, 99999999999999999999", 1, v, 0));
    // The same reading held to a byte: the item as typed is refused, never cut to fit.
    const struct { const char* list; int mode; ArgRead state; long long value; const char* typed; } held[] = {
        {"0xFF, 7", 0, ArgRead::Read, 0xFF, nullptr}, {"0X1C7", 0, ArgRead::Read, 0, nullptr},
        {"0x1C7 more", 0, ArgRead::Refused, 0, "0x1C7"}, {"1C7", 1, ArgRead::Refused, 0, "1C7"},
        {"99999999999999999999", 0, ArgRead::Refused, 0, "99999999999999999999"}, {"z", 0, ArgRead::Absent, 0, nullptr},
    };
    for (const auto& row : held) {
        const ArgNumber read = CTestBase::ReadListNumber(row.list, 0, row.mode, {0, 0xFF}, "bParam");
        EXPECT_EQ(std::make_pair(read.state, read.value), std::make_pair(row.state, row.value)) << row.list;
        EXPECT_EQ(read.refusal, row.typed ? "Argument bParam=" + std::string(row.typed) + " does not fit its range 0..255\n" : "")
            << row.list;
    }

    const struct { const char* text; int mode; BOOL ok; ULONGLONG value; } numbers[] = {
        {"0x1F", 0, TRUE, 31}, {"12abc", 0, TRUE, 12}, {"-5", 0, TRUE, ~0ull - 4}, {"0x123456789", 0, TRUE, 0x123456789ull},
        {"123456789ABC", 1, TRUE, 0x123456789ABCull}, {"0X1F", 0, TRUE, 0},  // upper-case X reads as decimal
        {"", 0, FALSE, 0}, {"0xZZZZZZZZZ", 0, FALSE, 0},
        // A number too wide for 64 bits is refused, never cut or saturated.
        {"-9223372036854775808", 0, TRUE, 1ull << 63}, {"9223372036854775808", 0, FALSE, 0},
        {"0x123456789ABCDEF012", 0, FALSE, 0}, {"FFFFFFFFFFFFFFFF", 1, TRUE, ~0ull}, {"1FFFFFFFFFFFFFFFF", 1, FALSE, 0},
    };
    for (const auto& row : numbers) {
        ULONGLONG n = 3;
        EXPECT_EQ(CTestBase::ParseNumber(row.text, n, row.mode), row.ok) << row.text;
        EXPECT_EQ(n, row.value) << row.text;
    }
}

}  // namespace
