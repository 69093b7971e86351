// Tests of the result screen: mark-up splitting, styled and coloured prints, taps, raw append, scrolling
// and host notifications.
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

TEST_F(ScreenFixture, PrintsAppendTapScrollNotifyAndMarkUpSplitsTextIntoRuns) {
    screen.Print("~*RED*~~*ULINE*~");
    screen.PrintColor("a~*BLUE*~b", 0x00A000);
    screen.PrintColor("odd", 0x123456);  // outside the table, still that colour
    EXPECT_EQ(Runs(), "a[A000]b[FF0000]odd[123456]");
    EXPECT_EQ(Style(screen.GetFormat()), "FF_");
    screen.PrintStyled("text", 0x00A000, 0xFFFFFF, 1);  // styled prints leave no taps and put the format back
    EXPECT_EQ(Style(ctrl.m_runs.back().format), "A000_");
    EXPECT_EQ(Style(screen.GetFormat()), "FF_");
    screen.Print("~*BLUE*~");  // a colour outside the table keeps the current one; underline 0 the current state
    screen.PrintStyled("k", 0x123456, 0x654321, 0);
    EXPECT_EQ(Style(ctrl.m_runs.back().format), "FF0000_");
    const auto& taps = screen.GetOutputTaps();
    ASSERT_EQ(taps.size(), 2u);
    EXPECT_EQ(taps[0].colour, 0x00A000u);
    EXPECT_EQ(taps[0].text, "a~*BLUE*~b");
    screen.ClearOutputTaps();
    EXPECT_TRUE(screen.GetOutputTaps().empty());
    // A test that prints without a header keeps only the latest taps, oldest first.
    for (size_t i = 0; i < 3 * CResultScreen::kKeptTaps; ++i) screen.PrintColor(CString(std::to_string(i)), 0x00A000);
    ASSERT_EQ(taps.size(), CResultScreen::kKeptTaps);
    EXPECT_EQ(taps.front().text, CString(std::to_string(2 * CResultScreen::kKeptTaps)));
    EXPECT_EQ(taps.back().text, CString(std::to_string(3 * CResultScreen::kKeptTaps - 1)));
    screen.ClearOutputTaps();
    // Runs are appended, selected and scrolled; notifications keep the selection.
    ctrl = {};
    ctrl.m_text = "existing\n";
    screen.Print("l1\nl2\n~*RED*~l3");
    EXPECT_EQ(ctrl.m_text, "existing\nl1\nl2\nl3");
    EXPECT_EQ(std::make_pair(ctrl.m_start, ctrl.m_end), std::make_pair(15L, 17L));  // the last run is selected
    // 4 lines after each run; the window keeps the last 40 lines in view.
    EXPECT_EQ(ctrl.m_scrolls, (std::vector<std::pair<int, int>>(2, {4 - 40, 0})));
    screen.AppendToHostWindow("~*BLUE*~raw\n");  // keeps mark-up and applies no format
    EXPECT_EQ(ctrl.m_text, "existing\nl1\nl2\nl3~*BLUE*~raw\n");
    EXPECT_EQ(ctrl.m_runs.size(), 2u);

    ctrl.SetSel(2, 4);
    host.m_answer = 77;
    EXPECT_EQ(screen.NotifyHost(0x1234), 77u);
    EXPECT_EQ(std::make_pair(ctrl.m_start, ctrl.m_end), std::make_pair(2L, 4L));
    screen.NotifyHostResult(0x99, 2);  // clear exactly 1 empties the window first
    EXPECT_NE(ctrl.m_text, "");
    EXPECT_EQ(screen.NotifyHostResult(0x98, 1), 77u);
    EXPECT_EQ(ctrl.m_text, "");
    EXPECT_EQ(host.m_notifies, (std::vector<std::pair<int, uintptr_t>>{{1, 0x1234}, {2, 0x99}, {2, 0x98}}));
    // Mark-up splits text into runs; no host is harmless.
    const struct { const char *name, *text, *runs; } markups[] = {
        {"starts black on white", "x", "x[0]"},
        {"one run per colour", "one~*RED*~two~*DKRED*~three", "one[0]two[FF]three[C0]"},
        {"table colours", "~*LTBLUE*~a~*DKYELLOW*~b~*BACK_GRAY*~c", "a[FFC8BE]b[C0E8]c[C0E8/b909090]"},
        {"unknown name is text", "x~*PINK*~y", "x~*PINK*~y[0]"}, {"names are case-sensitive", "~*red*~q", "~*red*~q[0]"},
        {"last opener before the closer wins", "~*~*RED*~z", "~*[0]z[FF]"},
        {"names are trimmed", "~* GREEN\t*~g", "g[A000]"},
        {"a name of blanks only is text", "~* \t *~b", "~* \t *~b[0]"},
        {"background and underline", "~*BACK_YELLOW*~~*ULINE*~u~*NO_ULINE*~n", "u[0/bF0FF_]n[0/bF0FF]"},
        {"the colour stays for later prints", "~*RED*~|still red", "still red[FF]"},
    };
    for (const auto& row : markups) {
        SCOPED_TRACE(row.name);
        Screen f;
        for (const std::string& text : Split(row.text)) f.screen.Print(text.c_str());
        EXPECT_EQ(f.Runs(), row.runs);
    }
    // No host, or a host without a control, is harmless.
    CResultScreen detached;
    FakeHost blind(nullptr);
    blind.m_answer = 5;
    detached.SetHost(&blind);
    detached.Print("~*RED*~lost");
    EXPECT_EQ(detached.GetFormat().crTextColor, 0x0000FFu);  // mark-up still takes effect
    EXPECT_EQ(detached.NotifyHost(1), 0u);
    EXPECT_EQ(detached.NotifyHostResult(3, 1), 5u);  // code 2 needs only the host
    EXPECT_EQ(blind.m_notifies, (std::vector<std::pair<int, uintptr_t>>{{2, 3}}));
}

}  // namespace
