// Unit tests of the host's window model, terminal transcript, progress bar, options and JUnit text.
#include <gtest/gtest.h>

#include <tuple>

#include "host/host_options.h"
#include "host/junit_report.h"
#include "host/output_renderer.h"
#include "host/progress_bar.h"
#include "host/rich_edit_model.h"
#include "host/test_tree.h"
#include "tests/support/output.h"

namespace {

using namespace richedit;
using support::Capture;

CHARFORMAT2 Colour(COLORREF c) {
    CHARFORMAT2 cf = DefaultCharFormat();
    cf.dwMask = CFM_COLOR | CFM_BACKCOLOR | CFM_UNDERLINE, cf.crTextColor = c, cf.crBackColor = 0xFFFFFF;
    return cf;
}

// What the library's Print does with one run: raw append at the end, select it, format it.
void PrintRun(RichEditModel& w, const char* text, const CHARFORMAT2& cf) {
    const long end = w.GetTextLength();
    w.SetSel(end, end);
    w.ReplaceSel(text);
    w.SetSel(end, w.GetTextLength());
    w.SetSelectionCharFormat(cf);
}

// A window whose transcript goes to a capture.
struct Transcript {
    RichEditModel w;
    Capture out;
    OutputRenderer r{w, out.file, false, nullptr};
    Transcript() { w.SetListener(&r); }
};

}  // namespace

TEST(OutputRenderer, ARawRunWaitsForItsFormatRedLinesAreCollectedAndRebuiltTextIsNotShownTwice) {
    RichEditModel w;
    Capture out, log;
    OutputRenderer r(w, out.file, true, log.file);
    w.SetListener(&r);
    w.ReplaceSel("alarm");
    EXPECT_EQ(out.Text(), "") << "held back until formatted";
    w.SetSel(0, 5);
    w.SetSelectionCharFormat(Colour(0x0000FF));
    // A run raw-appended and never formatted shows when the next one arrives, in the format it has.
    w.SetSel(w.GetTextLength(), -1);
    w.ReplaceSel(" raw");
    CHARFORMAT2 styled = Colour(0x00A000);
    styled.crBackColor = 0xFF0000;
    styled.dwEffects = CFE_UNDERLINE;
    PrintRun(w, "\nnext\n", styled);
    EXPECT_EQ(out.Text(), "\033[0;38;2;255;0;0malarm\033[0m\033[0;38;2;255;0;0m raw\033[0m\n"
                          "\033[0;38;2;0;160;0;48;2;0;0;255;4mnext\033[0m\n");
    EXPECT_EQ(log.Text(), "alarm raw\nnext\n");
    // Red lines are collected; rebuilt window text is not shown twice.
    RichEditModel window;
    Capture screen;
    OutputRenderer renderer(window, screen.file, false, nullptr);
    window.SetListener(&renderer);
    std::string red;
    renderer.CaptureRedLines(&red);
    PrintRun(window, "ok ", Colour(0));
    PrintRun(window, "bad", Colour(0x0000FF));
    PrintRun(window, " tail\n", Colour(0));
    PrintRun(window, "dark red\n", Colour(0x0000C0));
    PrintRun(window, "light red is not red\n", Colour(0x8080FF));
    EXPECT_EQ(red, "bad\ndark red\n");
    const std::string saved = window.GetWindowText().str();
    window.SetSel(0, -1);
    window.ReplaceSel("");
    renderer.SetSilent(true);
    window.Append(saved, DefaultCharFormat());
    renderer.SetSilent(false);
    PrintRun(window, "after", Colour(0));
    renderer.EnsureLineStart();
    renderer.WriteHostText("host\n");
    EXPECT_EQ(screen.Text(), "ok bad tail\ndark red\nlight red is not red\nafter\nhost\n");
}

TEST(WindowModel, ALongPrintKeepsABoundedTailWhileLengthsAndLinesCountTheWholeText) {
    Transcript t;
    auto& [w, out, r] = t;
    // Four times what the model keeps, each line in a colour of its own, as a long report comes.
    std::string all;
    long lines = 0;
    for (long i = 0; all.size() < static_cast<size_t>(4 * RichEditModel::kKeptChars); ++i, ++lines) {
        const std::string line = "line " + std::to_string(i) + " of a long report\n";
        PrintRun(w, line.c_str(), Colour(i % 2 ? 0x0000FF : 0));
        all += line;
    }
    r.Flush();
    EXPECT_EQ(out.Text(), all) << "the terminal shows every line";
    EXPECT_EQ(w.GetTextLength(), static_cast<long>(all.size()));
    EXPECT_EQ(w.GetLineCount(), lines + 1);
    const long from = w.KeptFrom();
    EXPECT_GT(from, 0);
    EXPECT_LE(w.Text().size(), static_cast<size_t>(RichEditModel::kKeptChars + RichEditModel::kKeptChars / 4));
    EXPECT_GE(w.Text().size(), static_cast<size_t>(RichEditModel::kKeptChars));
    EXPECT_EQ(w.Text(), all.substr(static_cast<size_t>(from)));
    EXPECT_EQ(all[static_cast<size_t>(from) - 1], '\n') << "the kept text starts a line";
    EXPECT_LE(w.RunCount(), w.Text().size() / 20) << "runs of text let go are gone";
    EXPECT_EQ(w.FormatAt(w.GetTextLength() - 2).crTextColor, lines % 2 ? 0u : 0x0000FFu);
    // What the library reads back says where the text was let go.
    EXPECT_EQ(w.GetWindowText().str(),
              "[... " + std::to_string(from) + " earlier characters of this window are not kept ...]\n" + w.Text());
    // A selection reaches into the text let go only whole, from 0.
    const struct { long start, end, selStart, selEnd; } selections[] = {
        {0, -1, 0, w.GetTextLength()}, {5, 9, from, from}, {0, 0, from, from}, {3, from + 2, from, from + 2}, {0, 7, 0, from},
    };
    for (const auto& row : selections) {
        long a = -2, b = -2;
        w.SetSel(row.start, row.end);
        w.GetSel(a, b);
        EXPECT_EQ(std::make_pair(a, b), std::make_pair(row.selStart, row.selEnd)) << row.start << ".." << row.end;
    }
    // Clearing the window empties it whole; what comes next starts afresh.
    w.SetSel(0, -1);
    w.ReplaceSel("");
    EXPECT_EQ(std::make_tuple(w.GetTextLength(), w.GetLineCount(), w.KeptFrom(), w.GetWindowText().str()),
              std::make_tuple(0L, 1, 0L, std::string()));
    PrintRun(w, "summary\n", Colour(0));
    EXPECT_EQ(std::make_tuple(w.GetWindowText().str(), w.GetLineCount()), std::make_tuple(std::string("summary\n"), 2));
}

TEST(OutputRenderer, RedLinesKeptForAReportAreCappedWithAMarkWhereTheyWereCut) {
    Transcript t;
    auto& [w, out, r] = t;
    std::string red;
    r.CaptureRedLines(&red);
    const std::string line = "Mismatch at 0x00001000\n";  // 23 characters
    const size_t count = 2 * OutputRenderer::kRedKept / line.size();
    for (size_t i = 0; i < count; ++i) PrintRun(w, line.c_str(), Colour(0x0000FF));
    PrintRun(w, "black after\n", Colour(0));
    r.CaptureRedLines(nullptr);
    const size_t kept = OutputRenderer::kRedKept / line.size() * line.size();  // whole lines only
    const std::string mark = "[... " + std::to_string(count * line.size() - kept) + " more characters of red text are not kept here ...]\n";
    ASSERT_EQ(red.size(), kept + mark.size());
    EXPECT_EQ(red.substr(kept), mark);
    EXPECT_EQ(support::Count(red.substr(0, kept), line), kept / line.size());
    EXPECT_EQ(support::Count(out.Text(), line), count) << "the terminal shows them all";
    // A capture under the cap is kept whole, without a mark.
    std::string few;
    r.CaptureRedLines(&few);
    PrintRun(w, "bad\n", Colour(0x0000FF));
    r.CaptureRedLines(nullptr);
    EXPECT_EQ(few, "bad\n");
}

TEST(ProgressBar, DrawsOnlyWhenShownAndOnlyWhenItChanges) {
    Capture err;
    ProgressBar bar(err.file, true);
    bar.SetRange32(0, 1000);
    bar.SetPos(10);  // hidden: not drawn
    bar.ShowWindow(1);
    bar.SetPos(500);
    EXPECT_EQ(bar.SetPos(501), 500) << "answers the previous position";
    bar.SetPos(5000);  // clipped to the range
    bar.ShowWindow(SW_HIDE);
    EXPECT_EQ(err.Text(), "\r\033[K[........................................]   1%"
                          "\r\033[K[####################....................]  50%"
                          "\r\033[K[########################################] 100%\r\033[K");
}

TEST(HostOptions, SeparatesHostOptionsLibrarySwitchesAndFiltersThatAreSubstringsOrPathGlobs) {
    const char* argv[] = {"pexhost", "--lib", "x.so", "-AUTORUN", "Boards/Scan", "--color=never", "--all", "--", "--literal"};
    HostOptions o;
    std::string error;
    ASSERT_TRUE(ParseHostOptions(9, argv, o, error)) << error;
    EXPECT_EQ(o.color, ColorMode::Never);
    EXPECT_EQ(o.filters, (std::vector<std::string>{"Boards/Scan", "--literal"}));
    EXPECT_EQ(CmdLineText(o), "pexhost -AUTORUN");
    // Only the file name: a folder such as "build-regression" must not read as -REGRESSION.
    const char* inFolder[] = {"/work/build-regression/my host", "-PD=ALL"};
    EXPECT_TRUE(ParseHostOptions(2, inFolder, o, error) && CmdLineText(o) == "\"my host\" -PD=ALL");
    for (std::vector<const char*> bad : {std::vector<const char*>{"h", "--nope"}, {"h", "--log="}, {"h", "-"},
                                         {"h", "--color=blue"}, {"h", "--list", "--help-test", "x"}})
        EXPECT_FALSE(ParseHostOptions(static_cast<int>(bad.size()), bad.data(), o, error)) << bad[1];
    // Filters are case-insensitive substrings or whole-path globs.
    const std::pair<const char*, bool> rows[] = {{"LA/SC", true}, {"Scanner", false}, {"*/SC?N", true},
                                                 {"*[bc]rimola*", true}, {"brimola/*", false}};
    for (const auto& [filter, matches] : rows) EXPECT_EQ(FilterMatches(filter, "Boards/Brimola/Scan"), matches) << filter;
}

TEST(JUnitReport, EscapesMarkupAndMakesAnyBytesValidUtf8) {
    const std::pair<std::string, std::string> rows[] = {
        {"a<b>&\"c'\t\n", "a&lt;b&gt;&amp;&quot;c&apos;\t\n"}, {std::string("bell\x07", 5), "bell\xEF\xBF\xBD"},
        {"caf\xE9", "caf\xC3\xA9"}, {"caf\xC3\xA9", "caf\xC3\xA9"},  // Latin-1 e acute becomes UTF-8; UTF-8 is kept
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xEF\xBF\xBD"},  // a surrogate is not UTF-8; the C1 control replaced
    };
    for (const auto& [in, out] : rows) EXPECT_EQ(XmlEscape(in), out) << in;
}

