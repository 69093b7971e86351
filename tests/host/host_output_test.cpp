// Unit tests of the host's window model, terminal transcript, progress bar, options and JUnit text.
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

#include "host/host_options.h"
#include "host/junit_report.h"
#include "host/output_renderer.h"
#include "host/progress_bar.h"
#include "host/rich_edit_model.h"
#include "host/test_tree.h"

namespace {

using namespace richedit;

// A FILE* whose contents a test can read back.
class Capture {
public:
    Capture() : m_file(tmpfile()) {}
    ~Capture() { fclose(m_file); }
    FILE* File() { return m_file; }
    std::string Text() {
        fflush(m_file);
        std::string s;
        rewind(m_file);
        char buf[512];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, m_file)) > 0) s.append(buf, n);
        return s;
    }

private:
    FILE* m_file;
};

CHARFORMAT2 Colour(COLORREF c) {
    CHARFORMAT2 cf = DefaultCharFormat();
    cf.dwMask = CFM_COLOR | CFM_BACKCOLOR | CFM_UNDERLINE;
    cf.crTextColor = c;
    cf.crBackColor = 0xFFFFFF;
    return cf;
}

// What the library's Print does with one run: raw append at the end, select it, format it.
void PrintRun(RichEditModel& w, const char* text, const CHARFORMAT2& cf) {
    const long end = w.GetTextLength();
    w.SetSel(end, end);
    w.ReplaceSel(text);
    w.SetSel(end, w.GetTextLength());
    w.SetSelectionCharFormat(cf);
    w.LineScroll(w.GetLineCount() - 40);
}

}  // namespace

TEST(RichEditModel, ReplaceSelectionKeepsTextRunsLinesSelectionAndScrollConsistent) {
    RichEditModel w;
    EXPECT_EQ(w.GetLineCount(), 1) << "an empty control has one line";
    PrintRun(w, "black\n", Colour(0x000000));
    PrintRun(w, "red\n", Colour(0x0000FF));
    PrintRun(w, "more red", Colour(0x0000FF));
    EXPECT_EQ(w.GetWindowText(), "black\nred\nmore red");
    EXPECT_EQ(w.GetLineCount(), 3);
    EXPECT_EQ(w.RunCount(), 2u) << "runs of one look merge";
    EXPECT_EQ(w.FormatAt(5).crTextColor, 0x000000u);
    // Raw text takes the format of the character before it.
    w.SetSel(w.GetTextLength(), -1);
    w.ReplaceSel("+");
    EXPECT_EQ(w.FormatAt(w.GetTextLength() - 1).crTextColor, 0x0000FFu);
    // Replacing a middle selection: text, line count, formats and caret follow.
    w.SetSel(6, 10);  // "red\n"
    w.ReplaceSel("x");
    EXPECT_EQ(w.GetWindowText(), "black\nxmore red+");
    EXPECT_EQ(w.GetLineCount(), 2);
    EXPECT_EQ(w.FormatAt(6).crTextColor, 0x000000u) << "inherits from the newline before it";
    long s, e;
    w.GetSel(s, e);
    EXPECT_EQ(s * 100 + e, 707);
    // Selections are clipped and ordered; select-all and replace with "" empties the control.
    w.SetSel(100, 3);
    w.GetSel(s, e);
    EXPECT_EQ(s * 100 + e, 300 + w.GetTextLength());
    w.SetSel(0, -1);
    w.ReplaceSel("");
    EXPECT_EQ(w.GetLineCount() * 10 + static_cast<int>(w.RunCount()), 10);

    PrintRun(w, std::string(50, '\n').c_str(), Colour(0));
    EXPECT_EQ(w.LastScrollLines(), 11);
    EXPECT_EQ(w.FirstVisibleLine(), 11);
    w.LineScroll(-100);
    EXPECT_EQ(w.FirstVisibleLine(), 0);
    w.LineScroll(1000);
    EXPECT_EQ(w.FirstVisibleLine(), 50);
}

TEST(RichEditModel, FormatHonoursTheMaskAndAnEmptySelectionFormatsWhatIsTypedNext) {
    RichEditModel w;
    PrintRun(w, "abc", Colour(0x0000FF));
    CHARFORMAT2 underline = DefaultCharFormat();
    underline.dwMask = CFM_UNDERLINE;  // colour not in the mask: stays red
    underline.dwEffects = CFE_UNDERLINE;
    underline.crTextColor = 0x00FF00;
    w.SetSel(1, 2);
    w.SetSelectionCharFormat(underline);
    EXPECT_EQ(w.FormatAt(1).crTextColor, 0x0000FFu);
    EXPECT_EQ(w.FormatAt(1).dwEffects, CFE_UNDERLINE);
    EXPECT_EQ(w.FormatAt(2).dwEffects, 0u);
    w.SetSel(3, 3);
    w.SetSelectionCharFormat(Colour(0x00A000));
    w.ReplaceSel("d");
    EXPECT_EQ(w.FormatAt(3).crTextColor, 0x00A000u);
}

TEST(OutputRenderer, ARawRunWaitsForItsFormatSoTheTerminalShowsItsColour) {
    RichEditModel w;
    Capture out, log;
    OutputRenderer r(w, out.File(), true, log.File());
    w.SetListener(&r);
    const long end = w.GetTextLength();
    w.ReplaceSel("alarm");
    EXPECT_EQ(out.Text(), "") << "held back until formatted";
    w.SetSel(end, w.GetTextLength());
    w.SetSelectionCharFormat(Colour(0x0000FF));
    EXPECT_EQ(out.Text(), "\033[0;38;2;255;0;0malarm\033[0m");

    // A run raw-appended and never formatted shows when the next one arrives, in the format it has.
    w.SetSel(w.GetTextLength(), -1);
    w.ReplaceSel(" raw");
    PrintRun(w, "\nnext\n", Colour(0x00A000));
    EXPECT_EQ(out.Text(),
              "\033[0;38;2;255;0;0malarm\033[0m\033[0;38;2;255;0;0m raw\033[0m\n"
              "\033[0;38;2;0;160;0mnext\033[0m\n");
    EXPECT_EQ(log.Text(), "alarm raw\nnext\n");

    // Underline and a background that is not white; black on white uses the terminal's colours.
    CHARFORMAT2 styled = Colour(0x000000);
    styled.crBackColor = 0xFF0000;
    styled.dwEffects = CFE_UNDERLINE;
    PrintRun(w, "s", styled);
    PrintRun(w, "p", Colour(0x000000));
    EXPECT_NE(out.Text().find("\033[0;38;2;0;0;0;48;2;0;0;255;4ms\033[0mp"), std::string::npos) << out.Text();
}

TEST(OutputRenderer, ClearedAndRebuiltWindowTextIsNotShownTwice) {
    RichEditModel w;
    Capture out;
    OutputRenderer r(w, out.File(), false, nullptr);
    w.SetListener(&r);
    PrintRun(w, "first\n", Colour(0));
    const std::string saved = w.GetWindowText().str();
    w.SetSel(0, -1);
    w.ReplaceSel("");
    PrintRun(w, "summary\n", Colour(0));
    r.SetSilent(true);
    w.SetSel(0, -1);
    w.ReplaceSel("");
    w.Append(saved, DefaultCharFormat());
    w.Append("summary\n", DefaultCharFormat());
    r.SetSilent(false);
    PrintRun(w, "after\n", Colour(0));
    EXPECT_EQ(w.GetWindowText(), "first\nsummary\nafter\n");
    EXPECT_EQ(out.Text(), "first\nsummary\nafter\n");
}

TEST(OutputRenderer, CollectsRedTextLineByLineAndHostTextKeepsItsPlace) {
    RichEditModel w;
    Capture out;
    OutputRenderer r(w, out.File(), false, nullptr);
    w.SetListener(&r);
    std::string red;
    r.CaptureRedLines(&red);
    PrintRun(w, "ok ", Colour(0));
    PrintRun(w, "bad", Colour(0x0000FF));
    PrintRun(w, " tail\nfine\n", Colour(0));
    PrintRun(w, "dark red\n", Colour(0x0000C0));
    PrintRun(w, "light red is not red\n", Colour(0x8080FF));
    r.EnsureLineStart();
    r.WriteHostText("host\n");
    r.CaptureRedLines(nullptr);
    PrintRun(w, "ignored", Colour(0x0000FF));
    EXPECT_EQ(red, "bad\ndark red\n");
    r.EnsureLineStart();
    EXPECT_EQ(out.Text(), "ok bad tail\nfine\ndark red\nlight red is not red\nhost\nignored\n");
}

TEST(ProgressBar, DrawsOnlyWhenShownAndEnabledAndOnlyWhenItChanges) {
    Capture err, quiet;
    ProgressBar bar(err.File(), true), off(quiet.File(), false);
    MainWindow main(bar);
    EXPECT_EQ(main.GetDlgItem(kProgressCtrlId), &bar);
    EXPECT_EQ(main.GetDlgItem(1035), nullptr);
    for (ProgressBar* b : {&bar, &off}) {
        b->SetRange32(0, 1000);
        b->SetPos(10);  // hidden: not drawn
        b->ShowWindow(1);
        b->SetPos(500);
        EXPECT_EQ(b->SetPos(501), 500) << "answers the previous position";
        b->SetPos(5000);
        EXPECT_EQ(b->GetPos(), 1000) << "clipped to the range";
        b->ShowWindow(SW_HIDE);
    }
    EXPECT_EQ(err.Text(), "\r\033[K[........................................]   1%"
                          "\r\033[K[####################....................]  50%"
                          "\r\033[K[########################################] 100%\r\033[K");
    EXPECT_EQ(quiet.Text(), "");
}

TEST(HostOptions, SeparatesHostOptionsLibrarySwitchesAndFilters) {
    const char* argv[] = {"pexhost", "--lib", "x.so", "-AUTORUN", "Boards/Scan", "--color=never",
                          "-Config=Tree A.txt", "--junit=r.xml", "--all", "--", "--literal"};
    HostOptions o;
    std::string error;
    ASSERT_TRUE(ParseHostOptions(11, argv, o, error)) << error;
    EXPECT_EQ(o.library, "x.so");
    EXPECT_EQ(o.junitFile, "r.xml");
    EXPECT_EQ(o.color, ColorMode::Never);
    EXPECT_TRUE(o.all);
    EXPECT_EQ(o.filters, (std::vector<std::string>{"Boards/Scan", "--literal"}));
    EXPECT_EQ(o.librarySwitches, (std::vector<std::string>{"-AUTORUN", "-Config=Tree A.txt"}));
    EXPECT_EQ(CmdLineText(o), "pexhost -AUTORUN -Config=Tree A.txt");

    // Only the file name: a folder such as "build-regression" must not read as -REGRESSION.
    const char* inFolder[] = {"/work/build-regression/my host", "-PD=ALL"};
    ASSERT_TRUE(ParseHostOptions(2, inFolder, o, error));
    EXPECT_EQ(CmdLineText(o), "\"my host\" -PD=ALL");

    for (std::vector<const char*> bad : {std::vector<const char*>{"h", "--nope"}, {"h", "--log"}, {"h", "--log="},
                                         {"h", "-"}, {"h", "--color=blue"}, {"h", "--list", "--help-test", "x"}}) {
        EXPECT_FALSE(ParseHostOptions(static_cast<int>(bad.size()), bad.data(), o, error)) << bad[1];
        EXPECT_FALSE(error.empty());
    }
}

TEST(TestTree, FiltersAreCaseInsensitiveSubstringsOrWholePathGlobs) {
    const std::pair<const char*, bool> rows[] = {{"scan", true},          {"LA/SC", true},    {"Scanner", false},
                                                 {"boards/*/scan", true}, {"*/SC?N", true},   {"*[bc]rimola*", true},
                                                 {"brimola/*", false}};
    for (const auto& [filter, matches] : rows) EXPECT_EQ(FilterMatches(filter, "Boards/Brimola/Scan"), matches) << filter;
}

TEST(JUnitReport, EscapesMarkupAndMakesAnyBytesValidUtf8) {
    const std::pair<std::string, std::string> rows[] = {
        {"a<b>&\"c'", "a&lt;b&gt;&amp;&quot;c&apos;"},
        {"tab\tline\n", "tab\tline\n"},
        {std::string("bell\x07" "esc\x1b", 9), "bell\xEF\xBF\xBD" "esc\xEF\xBF\xBD"},
        {"caf\xE9", "caf\xC3\xA9"},       // Latin-1 e acute
        {"caf\xC3\xA9", "caf\xC3\xA9"},  // UTF-8 kept
        {"\xC3", "\xC3\x83"},             // a cut sequence is Latin-1
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xEF\xBF\xBD"},  // a surrogate is not UTF-8; the C1 control replaced
    };
    for (const auto& [in, out] : rows) EXPECT_EQ(XmlEscape(in), out) << in;
}

TEST(JUnitReport, OneTestcaseEachWithFailuresForFailedAndStoppedTests) {
    TreeNode top, deep;
    top.name = top.path = "Top";
    deep.name = "Scan";
    deep.folder = "Boards/Brimola";
    deep.path = "Boards/Brimola/Scan";
    std::vector<TestResult> results(3);
    results[0] = {&top, 1, Outcome::Passed, 0.25, ""};
    results[1] = {&deep, 7, Outcome::Failed, 1.5, ""};
    results[2] = {&deep, 3, Outcome::Stopped, 0, "Stopped by User\n"};
    const std::string xml = JUnitXml("Suite", results);
    EXPECT_EQ(xml,
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<testsuites name=\"Suite\" tests=\"3\" failures=\"2\" errors=\"0\" time=\"1.750\">\n"
              "  <testsuite name=\"Suite\" tests=\"3\" failures=\"2\" errors=\"0\" skipped=\"0\" time=\"1.750\">\n"
              "    <testcase classname=\"Suite\" name=\"Top\" time=\"0.250\"/>\n"
              "    <testcase classname=\"Boards.Brimola\" name=\"Scan\" time=\"1.500\">\n"
              "      <failure type=\"FAIL\" message=\"Result 7\"></failure>\n"
              "    </testcase>\n"
              "    <testcase classname=\"Boards.Brimola\" name=\"Scan\" time=\"0.000\">\n"
              "      <failure type=\"STOPPED\" message=\"Stopped by User\">Stopped by User\n</failure>\n"
              "    </testcase>\n"
              "  </testsuite>\n"
              "</testsuites>\n");
}
