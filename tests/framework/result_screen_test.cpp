// Tests of the result screen: character format, mark-up splitting, styled and coloured prints, taps,
// raw append, scrolling and host notifications.
#include "framework/result_screen.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/output.h"

using namespace support;

namespace {

constexpr COLORREF kBlue = 0xFF0000;
constexpr COLORREF kYellow = 0x00F0FF;

struct ScreenFixture : ::testing::Test {
    FakeRichEdit ctrl;
    FakeHost host{&ctrl};
    CResultScreen screen;
    ScreenFixture() { screen.SetHost(&host); }

    std::vector<std::string> RunTexts() const {
        std::vector<std::string> texts;
        for (const auto& r : ctrl.m_runs) texts.push_back(r.text);
        return texts;
    }
};

// Records what reaches Print, to see the mark-up PrintStyled builds.
class RecordingScreen : public CResultScreen {
public:
    void Print(const CString& text) override {
        m_printed.push_back(text.str());
        CResultScreen::Print(text);
    }
    std::vector<std::string> m_printed;
};

TEST(ResultScreenFormat, StartsAsNinePointCourierBlackOnWhite) {
    CResultScreen screen;
    const CHARFORMAT2& cf = screen.GetFormat();
    EXPECT_EQ(cf.cbSize, 84u);
    EXPECT_EQ(cf.dwMask, 0xEC03006Fu);
    EXPECT_EQ(cf.dwEffects, 0u);
    EXPECT_EQ(cf.yHeight, 180);
    EXPECT_EQ(cf.yOffset, 0);
    EXPECT_EQ(cf.crTextColor, 0x000000u);
    EXPECT_EQ(cf.bCharSet, 255);
    EXPECT_EQ(cf.bPitchAndFamily, 0x31);
    EXPECT_STREQ(cf.szFaceName, "Courier New");
    EXPECT_EQ(cf.crBackColor, 0xFFFFFFu);
    EXPECT_EQ(cf.wWeight, 0);
    EXPECT_EQ(cf.lcid, 0u);
    EXPECT_EQ(cf.bUnderlineType, 0);
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
        ASSERT_FALSE(ctrl.m_runs.empty());
        EXPECT_EQ(ctrl.m_runs.back().format.crTextColor, value) << name;
        EXPECT_EQ(ctrl.m_runs.back().format.crBackColor, value) << name;
    }
    EXPECT_EQ(ctrl.m_runs.size(), 15u);
}

TEST_F(ScreenFixture, MarkupSplitsTextIntoRunsAndTheColourPersists) {
    screen.Print("~*GREEN*~");
    EXPECT_TRUE(ctrl.m_runs.empty());  // mark-up alone prints nothing
    screen.Print("one~*RED*~two~*BLACK*~three");
    ASSERT_EQ(RunTexts(), (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(ctrl.m_runs[0].format.crTextColor, 0x00A000u);
    EXPECT_EQ(ctrl.m_runs[1].format.crTextColor, 0x0000FFu);
    EXPECT_EQ(ctrl.m_runs[2].format.crTextColor, 0x000000u);
    EXPECT_EQ(screen.GetFormat().crTextColor, 0x000000u);
    EXPECT_EQ(ctrl.m_text, "onetwothree");

    screen.Print("~*RED*~");
    screen.Print("still red");
    EXPECT_EQ(ctrl.m_runs.back().format.crTextColor, 0x0000FFu);
}

TEST_F(ScreenFixture, UnknownOrBrokenMarkupIsPrintedLiterally) {
    screen.Print("x~*PINK*~y");
    screen.Print("a~*RED");
    screen.Print("~*red*~q");
    screen.Print("~**~e");
    ASSERT_EQ(RunTexts(), (std::vector<std::string>{"x~*PINK*~y", "a~*RED", "~*red*~q", "~**~e"}));
    for (const auto& r : ctrl.m_runs) EXPECT_EQ(r.format.crTextColor, 0x000000u);

    // An unknown name before a known one stays with the text in front of the known one.
    ctrl.m_runs.clear();
    screen.Print("~*PINK*~x~*RED*~y");
    ASSERT_EQ(RunTexts(), (std::vector<std::string>{"~*PINK*~x", "y"}));
    EXPECT_EQ(ctrl.m_runs[0].format.crTextColor, 0x000000u);
    EXPECT_EQ(ctrl.m_runs[1].format.crTextColor, 0x0000FFu);
}

TEST_F(ScreenFixture, LastOpenerBeforeACloserWinsAndNamesAreTrimmed) {
    screen.Print("~*~*RED*~z");
    ASSERT_EQ(RunTexts(), (std::vector<std::string>{"~*", "z"}));
    EXPECT_EQ(ctrl.m_runs[0].format.crTextColor, 0x000000u);
    EXPECT_EQ(ctrl.m_runs[1].format.crTextColor, 0x0000FFu);

    screen.Print("~* GREEN\t*~g");
    EXPECT_EQ(ctrl.m_runs.back().text, "g");
    EXPECT_EQ(ctrl.m_runs.back().format.crTextColor, 0x00A000u);
}

TEST_F(ScreenFixture, BackgroundAndUnderlineMarkup) {
    screen.Print("~*BACK_YELLOW*~~*ULINE*~u~*NO_ULINE*~n");
    ASSERT_EQ(RunTexts(), (std::vector<std::string>{"u", "n"}));
    EXPECT_EQ(ctrl.m_runs[0].format.crBackColor, kYellow);
    EXPECT_EQ(ctrl.m_runs[0].format.dwEffects & CFE_UNDERLINE, CFE_UNDERLINE);
    EXPECT_EQ(ctrl.m_runs[1].format.crBackColor, kYellow);
    EXPECT_EQ(ctrl.m_runs[1].format.dwEffects & CFE_UNDERLINE, 0u);
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

    rest = "tail~*GREEN*~";
    EXPECT_EQ(screen.NextSegment(rest), "tail");
    EXPECT_EQ(screen.NextSegment(rest), "");
    EXPECT_EQ(rest, "");
    EXPECT_EQ(screen.GetFormat().crTextColor, 0x00A000u);
}

TEST_F(ScreenFixture, PrintColorRecordsATapAndPutsTheFormatBack) {
    screen.Print("~*RED*~~*ULINE*~");
    screen.PrintColor("a~*BLUE*~b", 0x00A000);
    ASSERT_EQ(RunTexts(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(ctrl.m_runs[0].format.crTextColor, 0x00A000u);
    EXPECT_EQ(ctrl.m_runs[0].format.dwEffects & CFE_UNDERLINE, 0u);
    EXPECT_EQ(ctrl.m_runs[1].format.crTextColor, kBlue);
    // The red underlined format from before the call is back.
    EXPECT_EQ(screen.GetFormat().crTextColor, 0x0000FFu);
    EXPECT_EQ(screen.GetFormat().dwEffects & CFE_UNDERLINE, CFE_UNDERLINE);

    // A colour outside the table still prints in that colour.
    screen.PrintColor("odd", 0x123456);
    EXPECT_EQ(ctrl.m_runs.back().format.crTextColor, 0x123456u);

    const auto& taps = screen.GetOutputTaps();
    ASSERT_EQ(taps.size(), 2u);
    EXPECT_EQ(taps[0].kind, 1);
    EXPECT_EQ(taps[0].colour, 0x00A000u);
    EXPECT_EQ(taps[0].reserved, 0u);
    EXPECT_EQ(taps[0].text, "a~*BLUE*~b");
    EXPECT_EQ(taps[0].format.crTextColor, 0x00A000u);
    EXPECT_EQ(taps[0].format.dwEffects & CFE_UNDERLINE, 0u);
    EXPECT_EQ(taps[1].colour, 0x123456u);

    // Plain prints and styled prints leave no taps.
    screen.Print("p");
    screen.PrintStyled("s", 0x0000FF, 0xFFFFFF, 0);
    EXPECT_EQ(screen.GetOutputTaps().size(), 2u);
    screen.ClearOutputTaps();
    EXPECT_TRUE(screen.GetOutputTaps().empty());
}

TEST(ResultScreenStyled, BuildsMarkupInTableOrderAndPutsTheFormatBack) {
    FakeRichEdit ctrl;
    FakeHost host(&ctrl);
    RecordingScreen screen;
    screen.SetHost(&host);

    screen.PrintStyled("text", 0x00A000, 0xFFFFFF, 1);
    ASSERT_EQ(screen.m_printed.size(), 1u);
    EXPECT_EQ(screen.m_printed[0], "~*ULINE*~~*BACK_WHITE*~~*GREEN*~text");
    ASSERT_EQ(ctrl.m_runs.size(), 1u);
    EXPECT_EQ(ctrl.m_runs[0].format.crTextColor, 0x00A000u);
    EXPECT_EQ(ctrl.m_runs[0].format.crBackColor, 0xFFFFFFu);
    EXPECT_EQ(ctrl.m_runs[0].format.dwEffects & CFE_UNDERLINE, CFE_UNDERLINE);
    EXPECT_EQ(screen.GetFormat().crTextColor, 0x000000u);
    EXPECT_EQ(screen.GetFormat().dwEffects & CFE_UNDERLINE, 0u);

    // Same colour for text and background: the colour comes first. Underline other than 1 adds nothing.
    screen.PrintStyled("r", 0x0000FF, 0x0000FF, 2);
    EXPECT_EQ(screen.m_printed.back(), "~*RED*~~*BACK_RED*~r");

    // A colour outside the table keeps the current one; underline 0 keeps the current state.
    screen.Print("~*BLUE*~~*ULINE*~");
    screen.PrintStyled("k", 0x123456, 0x654321, 0);
    EXPECT_EQ(screen.m_printed.back(), "k");
    EXPECT_EQ(ctrl.m_runs.back().format.crTextColor, kBlue);
    EXPECT_EQ(ctrl.m_runs.back().format.dwEffects & CFE_UNDERLINE, CFE_UNDERLINE);
}

TEST_F(ScreenFixture, EveryRunIsAppendedAtTheEndSelectedAndScrolled) {
    ctrl.m_text = "existing\n";
    screen.Print("l1\nl2\n~*RED*~l3");
    ASSERT_EQ(RunTexts(), (std::vector<std::string>{"l1\nl2\n", "l3"}));
    EXPECT_EQ(ctrl.m_text, "existing\nl1\nl2\nl3");
    // The last run is selected: from the old end to the new end.
    EXPECT_EQ(ctrl.m_start, 15);
    EXPECT_EQ(ctrl.m_end, 17);
    // Line counts after each run: 4 and 4; the window keeps the last 40 lines in view.
    ASSERT_EQ(ctrl.m_scrolls.size(), 2u);
    EXPECT_EQ(ctrl.m_scrolls[0], std::make_pair(4 - 40, 0));
    EXPECT_EQ(ctrl.m_scrolls[1], std::make_pair(4 - 40, 0));
}

TEST_F(ScreenFixture, RawAppendKeepsMarkupAndAppliesNoFormat) {
    ctrl.m_text = "ab";
    screen.AppendToHostWindow("~*RED*~early\n");
    EXPECT_EQ(ctrl.m_text, "ab~*RED*~early\n");
    EXPECT_TRUE(ctrl.m_runs.empty());
    EXPECT_TRUE(ctrl.m_scrolls.empty());
    EXPECT_EQ(ctrl.m_start, 2);
    EXPECT_EQ(ctrl.m_end, 15);
    EXPECT_EQ(screen.GetFormat().crTextColor, 0x000000u);
}

TEST_F(ScreenFixture, ClearEmptiesTheWindow) {
    screen.Print("some text\nmore");
    EXPECT_EQ(screen.Clear(), TRUE);
    EXPECT_EQ(ctrl.m_text, "");
}

TEST_F(ScreenFixture, NotificationsReachTheHostAndKeepTheSelection) {
    screen.Print("window text");
    ctrl.SetSel(2, 4);
    host.m_answer = 77;
    EXPECT_EQ(screen.NotifyHost(0x1234), 77u);
    ASSERT_EQ(host.m_notifies.size(), 1u);
    EXPECT_EQ(host.m_notifies[0], std::make_pair(1, uintptr_t{0x1234}));
    EXPECT_EQ(ctrl.m_start, 2);
    EXPECT_EQ(ctrl.m_end, 4);

    // Clear exactly 1 empties the window before the host is asked.
    EXPECT_EQ(screen.NotifyHostResult(0x99, 2), 77u);
    EXPECT_EQ(ctrl.m_text, "window text");
    EXPECT_EQ(screen.NotifyHostResult(0x98, 1), 77u);
    EXPECT_EQ(ctrl.m_text, "");
    ASSERT_EQ(host.m_notifies.size(), 3u);
    EXPECT_EQ(host.m_notifies[1], std::make_pair(2, uintptr_t{0x99}));
    EXPECT_EQ(host.m_notifies[2], std::make_pair(2, uintptr_t{0x98}));
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
    EXPECT_TRUE(blind.m_notifies.empty());
    // Code 2 needs only the host.
    EXPECT_EQ(screen.NotifyHostResult(3, 1), 5u);
    ASSERT_EQ(blind.m_notifies.size(), 1u);
    EXPECT_EQ(blind.m_notifies[0].first, 2);
}

}  // namespace
