// Tests of the keyer slider sheet: the clear at opening, slider ends and widths, the display modes and register scripts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/dialog.h"
#include "platform/host_ui.h"
#include "tests/support/temp_dir.h"
#include "videopath/kerzil_slider.h"

namespace {

constexpr DWORD kFirst = 0x9000;

// BAR0 up to the last context block as plain words, counting the writes.
struct Bar0 : CRegisterWindow {
    DWORD Read(DWORD offset) override { return words[offset / 4]; }
    void Write(DWORD offset, DWORD value) override {
        words[offset / 4] = value;
        ++writes;
    }
    DWORD Size() const override { return DWORD(words.size() * 4); }
    DWORD& At(int context, DWORD word) { return words[(kFirst + 0x40 * context + word) / 4]; }
    std::vector<DWORD> words = std::vector<DWORD>((kFirst + 0x40 * 15) / 4, 0xFFFFFFFF);
    int writes = 0;
};

class KerzilSliderTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetDialogRunner(&runner);
        platform::ClearMessageBoxHistory();
    }
    void TearDown() override { platform::SetDialogRunner(nullptr); }
    COptionsSheetKerzilSlider Open(const char* args) { return COptionsSheetKerzilSlider(args, kFirst, RegisterPtr(&bar0, kFirst), nullptr); }
    // Runs the sheet with its lines, then one file dialog per path ("" cancels it).
    int Run(COptionsSheetKerzilSlider& sheet, std::vector<CString> lines, const std::vector<std::string>& files = {}) {
        runner.Push(std::move(lines));
        for (const std::string& f : files) runner.Push(f.empty() ? std::vector<CString>{"cancel"} : std::vector<CString>{"file \"" + f + "\"", "ok"});
        return sheet.DoModal();
    }

    Bar0 bar0;
    platform::ScriptedDialogRunner runner;
    support::TempDir dir;
};

TEST_F(KerzilSliderTest, OpeningClearsEveryContextUnlessReadHwIsOne) {
    // The field bits of the seven registers cleared, every other bit kept.
    const DWORD cleared[8] = {0xFFFFFFFF, 0xC000E000, 0xC000C000, 0xC000C000, 0xFFF8FC00, 0xF800F800, 0xFC00FC00, 0xFFFFF800};
    {
        COptionsSheetKerzilSlider sheet = Open("\"Modify Sliders\" readhw=0");
        EXPECT_EQ(bar0.writes, 15 * 13);
        for (int c = 0; c < 15; ++c)
            for (DWORD w = 0; w < 16; ++w) EXPECT_EQ(bar0.At(c, 4 * w), w < 8 ? cleared[w] : 0xFFFFFFFF) << c << " +" << 4 * w;
        EXPECT_EQ(sheet.GetPage(14).GetOffsetLabel(), "BAR0 Offset:  0x00009380");
    }
    bar0.writes = 0;
    bar0.At(2, 0x0C) = 0x00003000;  // Cb Slope #1 -1.0
    bar0.At(2, 0x1C) = 0x7FF;
    bar0.At(2, 0x10) = 0x70000;
    COptionsSheetKerzilSlider sheet = Open("\"Modify Sliders\" ReadHW=1");
    EXPECT_EQ(bar0.writes, 0);
    EXPECT_EQ(sheet.GetPage(2).GetValueText(1), "-1.000000");
    EXPECT_EQ(sheet.GetPage(2).GetValueText(0), "1.999023");  // Alpha Mult 0x7FF
    EXPECT_EQ(sheet.GetPage(2).GetValueText(10), "7");
    EXPECT_EQ(Run(sheet, {"page 2", "hex", "ok"}), platform::IDOK);
    EXPECT_NE(runner.History().back().after.Find("Context #2"), -1);
    EXPECT_EQ(sheet.GetPage(2).GetValueText(1), "0x3000");
    EXPECT_EQ(bar0.writes, 0);
}

TEST_F(KerzilSliderTest, SliderReleaseWritesItsFieldOnlyOnChange) {
    struct Row {
        const char* name;
        std::vector<CString> lines;
        int context, field;
        DWORD word, expect;  // the field's register and all it holds afterwards (bits of other fields kept)
        const char* text;
        int writes;
        size_t refused;
        const char* said = nullptr;  // the refusals, a line each, where the row checks their words
    };
    const Row rows[] = {
        {"14-bit left end", {"release \"Cb Slope #2\" 0"}, 0, 2, 0x0C, 0xE000C000, "-2.000000", 1, 0},
        {"14-bit middle", {"release 2 16383", "release 2 8192"}, 0, 2, 0x0C, 0xC000C000, "0.000000", 2, 0},
        {"14-bit right end", {"release 2 16383"}, 0, 2, 0x0C, 0xDFFFC000, "1.999756", 1, 0},
        {"release at the cached value", {"release 2 8192", "release 2 0", "release 2 0"}, 0, 2, 0x0C, 0xE000C000, "-2.000000", 1, 0},
        {"hexadecimal", {"hex", "release 1 0"}, 0, 1, 0x0C, 0xC000E000, "0x2000", 1, 0},
        {"11-bit signed left end", {"page 7", "release \"cb suppress\" 0"}, 7, 5, 0x14, 0xF800FC00, "-1024", 1, 0},
        {"unsigned right end", {"page 14", "release 7 1023"}, 14, 7, 0x18, 0xFC00FFFF, "1023", 1, 0},
        {"13-bit YScale", {"release 12 4095", "interpreted"}, 0, 12, 0x04, 0xC000FFFF, "-0.000244", 1, 0},
        {"off the slider's range", {"release 7 1024", "release 13 0"}, 0, 7, 0x18, 0xFC00FC00, "   0", 0, 2},
        {"disabled Set, Set All, Read HW", {"set 3", "setall", "readhw"}, 0, 3, 0x08, 0xC000C000, "0.000000", 0, 3},
        // Numbers past any width are refused as typed, never cut into a field, position or page.
        {"positions and fields past 32 and 64 bits", {"release 7 4294967296", "release 7 18446744073709551617", "release 4294967303 5",
         "release -1 5", "release 7 -1", "page 4294967297", "release 7 3x"}, 0, 7, 0x18, 0xFC00FC00, "   0", 0, 7},
        {"a leading plus and zeros", {"page +01", "release 007 0012"}, 1, 7, 0x18, 0xFC00FC0C, "  12", 1, 0},
        // A number past a slider's or the page's end says so and is ignored; the sheet goes on.
        {"past an end, then a position that fits", {"release 0 2048", "hue 361", "page 15", "release 0 2047"}, 0, 0, 0x1C,
         0xFFFFFFFF, "1.999023", 1, 3,
         "release 0 2048: Argument Alpha Mult=2048 does not fit its range 0..2047\n"
         "hue 361: Argument Hue Angle=361 does not fit its range 0..360\n"
         "page 15: Argument page=15 does not fit its range 0..14\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        COptionsSheetKerzilSlider sheet = Open("");
        bar0.writes = 0;
        std::vector<CString> lines = row.lines;
        lines.push_back("ok");
        EXPECT_EQ(Run(sheet, lines), platform::IDOK);
        EXPECT_EQ(bar0.At(row.context, row.word), row.expect);
        EXPECT_EQ(sheet.GetPage(row.context).GetValueText(row.field), row.text);
        EXPECT_EQ(bar0.writes, row.writes);
        EXPECT_EQ(runner.History().back().errors.size(), row.refused);
        EXPECT_EQ(sheet.GetActivePage(), row.context);
        EXPECT_EQ(sheet.GetPage(row.context).GetHueText(), "") << "no row moves the Hue Angle slider";
        if (!row.said) continue;
        std::string said;
        for (const CString& e : runner.History().back().errors) said += e.str() + "\n";
        EXPECT_EQ(said, row.said);
    }
}

TEST_F(KerzilSliderTest, HueAngleChangesOnlyItsText) {
    COptionsSheetKerzilSlider sheet = Open("");
    bar0.writes = 0;
    EXPECT_EQ(Run(sheet, {"hue 90", "release \"Hue Angle\" 360"}), platform::IDCANCEL);
    EXPECT_EQ(sheet.GetPage(0).GetHueText(), "360");
    EXPECT_EQ(bar0.writes, 0);
}

TEST_F(KerzilSliderTest, ScriptSavesSevenRegistersAndLoadsOnlyIntoItsContext) {
    const std::string path = dir / "ctx0.zorvds";
    COptionsSheetKerzilSlider sheet = Open("");
    Run(sheet, {"release 0 2047", "release 1 0", "release 2 16383", "release 10 5", "save", "ok"}, {path});
    const std::string text = support::ReadText(path);
    ASSERT_EQ(text.rfind("#SCRIPT \"YCK Context #0\"\n\n;KERZIL_YCK_A_C3_ALPHA_MULT_R\nBAR0 0901C = 000007FF\n", 0), 0u) << text;
    std::vector<std::string> offsets;
    for (size_t at = text.find("BAR0 "); at != std::string::npos; at = text.find("BAR0 ", at + 1)) offsets.push_back(text.substr(at + 5, 5));
    EXPECT_EQ(offsets, (std::vector<std::string>{"0901C", "0900C", "09014", "09008", "09010", "09004", "09018"}));
    EXPECT_NE(text.find("BAR0 0900C = 1FFF2000\n"), std::string::npos);
    EXPECT_NE(text.find("BAR0 09010 = 00050000\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 13), "\n\n#ENDSCRIPT\n");

    // Into context 1 no key matches: all its fields are written, as 0.
    bar0.At(1, 0x1C) = 0xFFFFFFFF;
    bar0.writes = 0;
    Run(sheet, {"page 1", "load", "ok"}, {path});
    EXPECT_EQ(bar0.writes, 13);
    EXPECT_EQ(bar0.At(1, 0x1C), 0xFFFFF800);
    // Back into context 0 after a clear: the saved values return.
    COptionsSheetKerzilSlider fresh = Open("");
    Run(fresh, {"load", "ok"}, {path});
    EXPECT_EQ(bar0.At(0, 0x0C) & 0x3FFF3FFF, 0x1FFF2000u);
    EXPECT_EQ(bar0.At(0, 0x10) & 0x70000, 0x50000u);
    EXPECT_EQ(fresh.GetPage(0).GetValueText(0), "1.999023");
}

TEST_F(KerzilSliderTest, ScriptKeepsEveryFieldInItsOwnPlace) {
    // Every field holds a value of its own, the top bit of its width set where the width allows a
    // value that a narrower neighbour cannot hold, so a field swapped, dropped or cut shows.
    struct Row { int field; int position; DWORD value; };
    const Row rows[] = {
        {0, 291, 0x123},     // Alpha Mult
        {1, 9302, 0x0456},   // Cb Slope #1 (signed: the slider's middle is 0)
        {2, 1929, 0x2789},   // Cb Slope #2
        {3, 15036, 0x1ABC},  // Cr Slope #1
        {4, 11759, 0x0DEF},  // Cr Slope #2
        {5, 1333, 0x135},    // Cb Suppress
        {6, 679, 0x6A7},     // Cr Suppress
        {7, 689, 0x2B1},     // Luma Limit
        {8, 451, 0x1C3},     // Luma Peak Suppress
        {9, 468, 0x3D4},     // Compare Slope
        {10, 6, 6},          // YCK Mode
        {11, 741, 0x22E5},   // Offset
        {12, 4598, 0x1F6},   // YScale
    };
    // The registers as the script holds them: the high field in bits 16 up, the low one from bit 0.
    const std::pair<DWORD, const char*> registers[] = {
        {0x1C, "BAR0 0905C = 00000123\n"}, {0x0C, "BAR0 0904C = 27890456\n"}, {0x14, "BAR0 09054 = 06A70135\n"},
        {0x08, "BAR0 09048 = 0DEF1ABC\n"}, {0x10, "BAR0 09050 = 000603D4\n"}, {0x04, "BAR0 09044 = 22E501F6\n"},
        {0x18, "BAR0 09058 = 01C302B1\n"},
    };
    const DWORD fieldBits[8] = {0, 0x3FFF1FFF, 0x3FFF3FFF, 0x3FFF3FFF, 0x000703FF, 0x07FF07FF, 0x03FF03FF, 0x000007FF};
    const std::string path = dir / "ctx1.zorvds";
    COptionsSheetKerzilSlider sheet = Open("");
    std::vector<CString> lines = {"page 1"};
    for (const Row& row : rows) lines.push_back("release " + std::to_string(row.field) + " " + std::to_string(row.position));
    lines.push_back("hex");
    lines.push_back("save");
    lines.push_back("ok");
    Run(sheet, lines, {path});
    const std::string text = support::ReadText(path);
    for (const auto& [reg, line] : registers) {
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
        EXPECT_EQ(bar0.At(1, reg) & fieldBits[reg / 4], std::stoul(std::string(line).substr(13, 8), nullptr, 16)) << reg;
    }
    for (const Row& row : rows) {
        CString hex;
        hex.Format("0x%04X", row.value);
        EXPECT_EQ(sheet.GetPage(1).GetValueText(row.field), hex) << row.field;
    }
    // Cleared and loaded again: every register and every field as saved.
    COptionsSheetKerzilSlider fresh = Open("");
    EXPECT_EQ(bar0.At(1, 0x0C) & 0x3FFF3FFF, 0u);
    Run(fresh, {"page 1", "load", "hex", "ok"}, {path});
    for (const auto& [reg, line] : registers)
        EXPECT_EQ(bar0.At(1, reg) & fieldBits[reg / 4], std::stoul(std::string(line).substr(13, 8), nullptr, 16)) << line;
    for (const Row& row : rows) {
        CString hex;
        hex.Format("0x%04X", row.value);
        EXPECT_EQ(fresh.GetPage(1).GetValueText(row.field), hex) << row.field;
    }
}

TEST_F(KerzilSliderTest, ScriptValueLines) {
    struct Row { const char* name; const char* script; DWORD expect; };
    const Row rows[] = {
        {"last line without a line feed", "; x\nBAR0 09004 = 1234ABCD", 0x1234ABCD},
        {"CR LF and blanks", "BAR0 09004 =   00C0FFEE \r\nBAR0 09008 = 1\n", 0x00C0FFEE},
        {"first occurrence wins", "BAR0 09004 = 2\nBAR0 09004 = 3\n", 2},
        {"key is case-sensitive", "bar0 09004 = 2\n", 0},
        {"not a number", "BAR0 09004 = zz\n", 0},
        {"other offset only", "BAR0 09044 = 5\n", 0},
        {"0x prefix", "BAR0 09004 = 0x1F\n", 0x1F},
        // A value too wide for the register makes the line unreadable, as text that is no number does.
        {"nine digits", "BAR0 09004 = 100000005\n", 0},
        {"past 64 bits", "BAR0 09004 = 1FFFFFFFFFFFFFFFF\n", 0},
        {"negative", "BAR0 09004 = -1\n", 0},
    };
    for (const Row& row : rows) EXPECT_EQ(CKerzilSliderDlg::FindRegisterValue(row.script, 0x9004), row.expect) << row.name;

    // Loaded: the last line's value reaches the register.
    const std::string path = dir.Write("tail.zorvds", "#SCRIPT \"YCK Context #0\"\nBAR0 0901C = 00000400");
    COptionsSheetKerzilSlider sheet = Open("");
    Run(sheet, {"load", "ok"}, {path});
    EXPECT_EQ(bar0.At(0, 0x1C) & 0x7FF, 0x400u);
    EXPECT_EQ(sheet.GetPage(0).GetValueText(0), "1.000000");
    // The same text with zeros after it, past 4 GiB: a length cut to 32 bits would load the text alone.
    const std::string text = "#SCRIPT \"YCK Context #0\"\nBAR0 0901C = 00000200";
    const std::string huge = dir.WriteSparse("huge.zorvds", (4ull << 30) + text.size(), 0, text);
    ASSERT_FALSE(huge.empty()) << "no sparse files here";
    Run(sheet, {"load", "ok"}, {huge});
    EXPECT_EQ(bar0.At(0, 0x1C) & 0x7FF, 0x400u);
    EXPECT_EQ(sheet.GetPage(0).GetValueText(0), "1.000000");
    ASSERT_FALSE(platform::MessageBoxHistory().empty());
    EXPECT_EQ(platform::MessageBoxHistory().back().text, "Unable to read file:\r\r\n  " + huge + "\r\r\nIt is more than 2 GiB, larger than a script may be.");
}

TEST_F(KerzilSliderTest, CancelledFileDialogShowsTheEmptyName) {
    COptionsSheetKerzilSlider sheet = Open("");
    bar0.writes = 0;
    Run(sheet, {"save", "load", "ok"}, {"", ""});
    ASSERT_EQ(platform::MessageBoxHistory().size(), 2u);
    for (const auto& box : platform::MessageBoxHistory()) {
        EXPECT_EQ(box.text, "Unable to open file:\r\r\n  ");
        EXPECT_EQ(box.caption, "ERROR");
    }
    EXPECT_EQ(bar0.writes, 0);
}

}  // namespace
