// Tests of the result screen: character format, mark-up splitting, styled and coloured prints, taps,
// raw append, scrolling and host notifications.
#include "framework/result_screen.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/framework/list_text.h"
#include "tests/support/output.h"

using namespace support;

namespace {

// A format as "colour[/bBack][_]": text colour, background when not white, "_" when underlined.
std::string Style(const CHARFORMAT2& f) {
    char buf[48];
    std::snprintf(buf, sizeof buf, f.crBackColor == 0xFFFFFF ? "%X" : "%X/b%X", f.crTextColor, f.crBackColor);
    return buf + std::string(f.dwEffects & CFE_UNDERLINE ? "_" : "");
}

struct Screen {
    FakeRichEdit ctrl;
    FakeHost host{&ctrl};
    CResultScreen screen;
    Screen() { screen.SetHost(&host); }

    // Every run so far as "text[style]".
    std::string Runs() const {
        std::string all;
        for (const auto& r : ctrl.m_runs) all += r.text + "[" + Style(r.format) + "]";
        return all;
    }
};
struct ScreenFixture : ::testing::Test, Screen {};

// Records what reaches Print, to see the mark-up PrintStyled builds.
class RecordingScreen : public CResultScreen {
public:
    void Print(const CString& text) override {
        m_printed = text.str();
        CResultScreen::Print(text);
    }
    std::string m_printed;
};

TEST(ResultScreenFormat, StartsAsNinePointCourierBlackOnWhite) {
    CResultScreen screen;
    const CHARFORMAT2& f = screen.GetFormat();
    char buf[160];
    std::snprintf(buf, sizeof buf, "%u %X %X %ld %ld %X %u %X %s %X %u %u %u", f.cbSize, f.dwMask, f.dwEffects,
                  static_cast<long>(f.yHeight), static_cast<long>(f.yOffset), f.crTextColor, f.bCharSet,
                  f.bPitchAndFamily, f.szFaceName, f.crBackColor, f.wWeight, f.lcid, f.bUnderlineType);
    EXPECT_STREQ(buf, "84 EC03006F 0 180 0 0 255 31 Courier New FFFFFF 0 0 0");
    EXPECT_TRUE(screen.GetOutputTaps().empty());
}

TEST_F(ScreenFixture, EveryTableNameSetsItsColourAndBackground) {
    // The 15 names with their COLORREF values, written out independently of the library's table.
    const std::pair<const char*, COLORREF> colours[] = {
        {"BLACK", 0x000000}, {"DKGRAY", 0x606060}, {"GRAY", 0x909090}, {"LTGRAY", 0xC0C0C0},
        {"WHITE", 0xFFFFFF}, {"DKRED", 0x0000C0}, {"RED", 0x0000FF}, {"LTRED", 0x8080FF},
        {"DKYELLOW", 0x00C0E8}, {"YELLOW", 0x00F0FF}, {"LTYELLOW", 0x80FFFF}, {"GREEN", 0x00A000},
        {"DKBLUE", 0x900000}, {"BLUE", 0xFF0000}, {"LTBLUE", 0xFFC8BE}};
    for (const auto& [name, value] : colours) {
        screen.Print(CString("~*") + name + "*~~*BACK_" + name + "*~x");
        EXPECT_EQ(ctrl.m_runs.back().format.crTextColor, value) << name;
        EXPECT_EQ(ctrl.m_runs.back().format.crBackColor, value) << name;
    }
    EXPECT_EQ(ctrl.m_runs.size(), 15u);
}

TEST(ResultScreenMarkup, TextIsSplitIntoFormattedRuns) {
    struct Row {
        const char* name;
        const char* text;
        const char* runs;
    } rows[] = {
        {"mark-up alone prints nothing", "~*GREEN*~", ""},
        {"one run per colour", "one~*RED*~two~*BLACK*~three", "one[0]two[FF]three[0]"},
        {"unknown name is text", "x~*PINK*~y", "x~*PINK*~y[0]"}, {"unclosed opener is text", "a~*RED", "a~*RED[0]"},
        {"names are case-sensitive", "~*red*~q", "~*red*~q[0]"}, {"empty name is text", "~**~e", "~**~e[0]"},
        {"unknown name stays before a known one", "~*PINK*~x~*RED*~y", "~*PINK*~x[0]y[FF]"},
        {"last opener before the closer wins", "~*~*RED*~z", "~*[0]z[FF]"},
        {"an opener must stand two before the closer", "~*RED~*~", "~*RED~*~[0]"},
        {"names are trimmed", "~* GREEN\t*~g", "g[A000]"},
        {"background and underline", "~*BACK_YELLOW*~~*ULINE*~u~*NO_ULINE*~n", "u[0/bF0FF_]n[0/bF0FF]"},
        {"the colour stays for later prints", "~*RED*~|still red", "still red[FF]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Screen f;
        for (const std::string& text : Split(row.text)) f.screen.Print(text.c_str());
        EXPECT_EQ(f.Runs(), row.runs);
    }
}

TEST(ResultScreenSegments, NextSegmentTakesOneRunAndLeavesMarkupInFront) {
    CResultScreen screen;
    CString rest = "ab~*RED*~cd";
    EXPECT_EQ(screen.NextSegment(rest), "ab");
    EXPECT_EQ(rest, "~*RED*~cd");
    EXPECT_EQ(screen.GetFormat().crTextColor, 0x000000u);
    EXPECT_EQ(screen.NextSegment(rest), "cd");
    EXPECT_EQ(rest, "");
    EXPECT_EQ(screen.GetFormat().crTextColor, 0x0000FFu);
    rest = "~*GREEN*~";
    EXPECT_EQ(screen.NextSegment(rest), "");
    EXPECT_EQ(screen.GetFormat().crTextColor, 0x00A000u);
}

TEST_F(ScreenFixture, PrintColorRecordsATapAndPutsTheFormatBack) {
    screen.Print("~*RED*~~*ULINE*~");
    screen.PrintColor("a~*BLUE*~b", 0x00A000);
    screen.PrintColor("odd", 0x123456);  // outside the table, still that colour
    EXPECT_EQ(Runs(), "a[A000]b[FF0000]odd[123456]");
    EXPECT_EQ(Style(screen.GetFormat()), "FF_");

    screen.Print("p");  // plain and styled prints leave no taps
    screen.PrintStyled("s", 0x0000FF, 0xFFFFFF, 0);
    const auto& taps = screen.GetOutputTaps();
    ASSERT_EQ(taps.size(), 2u);
    EXPECT_EQ(std::make_pair(taps[0].kind, taps[0].reserved), std::make_pair(1, DWORD{0}));
    EXPECT_EQ(taps[0].colour, 0x00A000u);
    EXPECT_EQ(taps[0].text, "a~*BLUE*~b");
    EXPECT_EQ(Style(taps[0].format), "A000");
    EXPECT_EQ(taps[1].colour, 0x123456u);
    screen.ClearOutputTaps();
    EXPECT_TRUE(screen.GetOutputTaps().empty());
}

TEST(ResultScreenStyled, BuildsMarkupInTableOrderAndPutsTheFormatBack) {
    FakeRichEdit ctrl;
    FakeHost host(&ctrl);
    RecordingScreen screen;
    screen.SetHost(&host);
    screen.PrintStyled("text", 0x00A000, 0xFFFFFF, 1);
    EXPECT_EQ(screen.m_printed, "~*ULINE*~~*BACK_WHITE*~~*GREEN*~text");
    EXPECT_EQ(Style(ctrl.m_runs.back().format), "A000_");
    EXPECT_EQ(Style(screen.GetFormat()), "0");
    // Same colour for text and background: the colour first. Underline other than 1 adds nothing.
    screen.PrintStyled("r", 0x0000FF, 0x0000FF, 2);
    EXPECT_EQ(screen.m_printed, "~*RED*~~*BACK_RED*~r");
    // A colour outside the table keeps the current one; underline 0 keeps the current state.
    screen.Print("~*BLUE*~~*ULINE*~");
    screen.PrintStyled("k", 0x123456, 0x654321, 0);
    EXPECT_EQ(screen.m_printed, "k");
    EXPECT_EQ(Style(ctrl.m_runs.back().format), "FF0000_");
}

TEST_F(ScreenFixture, EveryRunIsAppendedAtTheEndSelectedAndScrolled) {
    ctrl.m_text = "existing\n";
    screen.Print("l1\nl2\n~*RED*~l3");
    EXPECT_EQ(ctrl.m_text, "existing\nl1\nl2\nl3");
    EXPECT_EQ(std::make_pair(ctrl.m_start, ctrl.m_end), std::make_pair(15L, 17L));  // the last run is selected
    // 4 lines after each run; the window keeps the last 40 lines in view.
    EXPECT_EQ(ctrl.m_scrolls, (std::vector<std::pair<int, int>>(2, {4 - 40, 0})));

    // The raw append keeps mark-up and applies no format.
    ctrl.m_runs.clear();
    ctrl.m_scrolls.clear();
    screen.AppendToHostWindow("~*BLUE*~early\n");
    EXPECT_EQ(ctrl.m_text, "existing\nl1\nl2\nl3~*BLUE*~early\n");
    EXPECT_TRUE(ctrl.m_runs.empty() && ctrl.m_scrolls.empty());
    EXPECT_EQ(std::make_pair(ctrl.m_start, ctrl.m_end), std::make_pair(17L, 31L));
    EXPECT_EQ(screen.GetFormat().crTextColor, 0x0000FFu);

    EXPECT_EQ(screen.Clear(), TRUE);
    EXPECT_EQ(ctrl.m_text, "");
}

TEST_F(ScreenFixture, NotificationsReachTheHostAndKeepTheSelection) {
    screen.Print("window text");
    ctrl.SetSel(2, 4);
    host.m_answer = 77;
    EXPECT_EQ(screen.NotifyHost(0x1234), 77u);
    EXPECT_EQ(std::make_pair(ctrl.m_start, ctrl.m_end), std::make_pair(2L, 4L));
    // Clear exactly 1 empties the window before the host is asked.
    EXPECT_EQ(screen.NotifyHostResult(0x99, 2), 77u);
    EXPECT_EQ(ctrl.m_text, "window text");
    EXPECT_EQ(screen.NotifyHostResult(0x98, 1), 77u);
    EXPECT_EQ(ctrl.m_text, "");
    EXPECT_EQ(host.m_notifies, (std::vector<std::pair<int, uintptr_t>>{{1, 0x1234}, {2, 0x99}, {2, 0x98}}));
}

TEST(ResultScreenDetached, NoHostOrNoControlIsHarmless) {
    CResultScreen screen;
    EXPECT_EQ(screen.NotifyHost(1), 0u);
    EXPECT_EQ(screen.NotifyHostResult(1, 1), 0u);
    EXPECT_EQ(screen.Clear(), FALSE);
    screen.Print("~*RED*~lost");
    screen.AppendToHostWindow("raw");
    EXPECT_EQ(screen.GetFormat().crTextColor, 0x0000FFu);  // mark-up still takes effect

    FakeHost blind(nullptr);
    blind.m_answer = 5;
    screen.SetHost(&blind);
    screen.PrintColor("x", 0x00A000);
    EXPECT_EQ(screen.Clear(), FALSE);
    EXPECT_EQ(screen.NotifyHost(1), 0u);
    // Code 2 needs only the host.
    EXPECT_EQ(screen.NotifyHostResult(3, 1), 5u);
    EXPECT_EQ(blind.m_notifies, (std::vector<std::pair<int, uintptr_t>>{{2, 3}}));
}

}  // namespace
