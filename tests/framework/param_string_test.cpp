// Tests of argument-text reading and of the path-macro look-up of data files.
#include "framework/param_string.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/dialog.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace {

class PathMacroTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir.MakeDir("pro*g?/testdata");
        m_dir.MakeDir("sys/drivers/Zorv");
        platform::SetProgramDir(m_prog);
        platform::SetSystemDir(m_dir.File("sys"));
    }
    void TearDown() override {
        platform::SetProgramDir("");
        platform::SetSystemDir("");
    }
    CString Prog(const std::string& rel) const { return (m_prog + rel).c_str(); }
    CString Drivers(const std::string& rel) const { return (m_dir.File("sys") + "/drivers/Zorv" + rel).c_str(); }

    support::TempDir m_dir;
    // A folder here may hold what a pattern does: only a name's last part is one.
    std::string m_prog = m_dir.File("pro*g?/");
};

TEST_F(PathMacroTest, MacrosExpandFindFileOrAskFallsBackToTheDialogAndValuesSwitchesAndTokens) {
    EXPECT_EQ(GetDriversDirectory(), CString((m_dir.File("sys") + "\\drivers\\Zorv").c_str()));
    m_dir.Write("pro*g?/data.txt", "x");
    m_dir.Write("sys/drivers/Zorv/fw.oxd", "x");
    m_dir.Write("pro*g?/testdata/only.oxd", "x");

    m_dir.Write("pro*g?/testdata/LocV0202.oxd", "x");

    // A path found is named as it lies on disk (local separators, the case found); one not required
    // to exist keeps the case given where nothing exists yet.
    const struct { std::string path; BOOL retry, mustExist; int result; CString after; } rows[] = {
        {m_prog + "data.txt", TRUE, TRUE, 4, Prog("data.txt")},  // an existing path stays as it is
        {m_prog + "DATA.TXT", TRUE, TRUE, 4, Prog("data.txt")},  // found in any case, named as on disk
        {"$(CWD)xdata.txt", FALSE, TRUE, 4, Prog("data.txt")},  // "$(CWD)" takes the next character
        {"$(CWD)\\TESTDATA\\LOCV0202.OXD", FALSE, TRUE, 4, Prog("testdata/LocV0202.oxd")},
        {"$(ZORV)\\fw.oxd", TRUE, TRUE, 4, Drivers("/fw.oxd")},
        {"$(ZORV)\\only.oxd", FALSE, TRUE, 1, "$(ZORV)\\only.oxd"},  // testdata only when asked to try
        {"$(ZORV)\\ONLY.OXD", TRUE, TRUE, 3, Prog("testdata/only.oxd")},
        {"$(CWD)\\new.txt", FALSE, FALSE, 4, Prog("new.txt")},  // existence not asked
        {"$(CWD)\\TESTDATA\\Peak.Log", FALSE, FALSE, 4, Prog("testdata/Peak.Log")},  // a new name keeps its case
        {"$(CWD)\\*.txt", FALSE, TRUE, 1, "$(CWD)\\*.txt"},   // an expanded one is not taken
    };
    for (const auto& row : rows) {
        CString p = row.path.c_str();
        EXPECT_EQ(ExpandPathMacros(p, row.retry, row.mustExist), row.result) << row.path;
        EXPECT_EQ(p, row.after) << row.path;
    }
    // The name a message shows for a file, found or not: macros replaced, separators local.
    EXPECT_EQ(ExpandedPath("$(CWD)\\TESTDATA\\TAZU9999.OXD"), Prog("testdata/TAZU9999.OXD"));
    EXPECT_EQ(ExpandedPath("$(ZORV)\\ONLY.OXD"), Drivers("/ONLY.OXD"));
    EXPECT_EQ(ExpandedPath("$(CWD)\\DATA.TXT"), Prog("data.txt"));
    // A system directory too long for the room kept gives no drivers directory.
    platform::SetSystemDir("/" + std::string(250, 's'));
    EXPECT_EQ(GetDriversDirectory(), "");
    const std::string chosen = m_dir.Write("chosen.oxd", "x");
    const CString filter = "OXD Files (*.oxd)|*.oxd| All Files (*.*)|*.*||";
    CString p = "$(ZORV)\\missing.oxd";  // asked with nobody there (headless): 1, the path unchanged
    EXPECT_EQ(FindFileOrAsk(p, "", "*.oxd", filter, "JQV_OXD_IMAGE_PATH", TRUE, TRUE), 1);

    // Someone picks a file that does not exist, or one that does.
    platform::ScriptedDialogRunner runner;
    platform::DialogRunner* previous = platform::SetDialogRunner(&runner);
    runner.Push({CString(("file " + support::Quoted(m_dir.File("ghost.oxd"))).c_str()), "ok"});
    runner.Push({CString(("file " + support::Quoted(chosen)).c_str()), "ok"});
    EXPECT_EQ(FindFileOrAsk(p, "", "*.oxd", filter, "", TRUE, TRUE), 1);
    EXPECT_EQ(p, "$(ZORV)\\missing.oxd");
    EXPECT_EQ(FindFileOrAsk(p, "", "*.oxd", filter, "", TRUE, TRUE), 2);
    EXPECT_EQ(p, CString(chosen.c_str()));
    platform::SetDialogRunner(previous);
    EXPECT_NE(runner.History().at(0).before.Find("$(ZORV)\\missing.oxd"), -1);  // the unexpanded name shows
    // Values, switches and tokens.
    const struct { const char* text; const char* key; BOOL cs; const char* value; } values[] = {  // null: not found
        {"Mode=Fast", "mode", FALSE, "FAST"},  // case-insensitive reads upper-case the value
        {"CMD=(CWexal Random Memory Test)", "CMD", TRUE, "CWexal Random Memory Test"}, {"cmd=x", "CMD", TRUE, nullptr},
        {"XDIM=5", "DIM", FALSE, "5"},  // the character before the key is not looked at
        {"ABORTCOUNT=20 COUNT=3", "COUNT", FALSE, "20"},  // only the first occurrence counts
        {"DIMS=3 DIM=4", "DIM", FALSE, nullptr}, {"DIM\t=\t7", "DIM", FALSE, "7"}, {"A=line\r\nB=y", "A", FALSE, "LINE"},
        {"FILE= a.txt b", "FILE", FALSE, "A.TXT"},  // blanks after "=" skipped, a blank ends the value
        {"DIM=(720,(486))", "DIM", FALSE, "720,(486)"},  // brackets nest; the outermost pair's content
        {"DIM=((1)", "DIM", FALSE, nullptr}, {"DIM=()", "DIM", FALSE, ""}, {"DIM = ( 1 2 )tail X=1", "DIM", FALSE, " 1 2 "},
    };
    for (const auto& row : values) {
        CString v = "left over";
        EXPECT_EQ(CParamString(row.text).GetValue(row.key, v, row.cs), row.value != nullptr) << row.text;
        EXPECT_EQ(v, row.value ? row.value : "") << row.text << " / " << row.key;
    }
    // Names of files to create: the key in any case, the value exactly as written.
    const struct { const char* text; const char* key; const char* value; } written[] = {  // null: not found
        {"file=peak.log", "FILE", "peak.log"}, {"X=1 File = Logs\\Peak.Log -v", "FILE", "Logs\\Peak.Log"},
        {"FILE=(My Dump.bin) SIZE=4", "file", "My Dump.bin"}, {"Files=a.txt", "FILE", nullptr},
        {"FILE=(a.txt", "FILE", nullptr}, {"FILE=", "FILE", ""},
    };
    for (const auto& row : written) {
        CString v = "left over";
        EXPECT_EQ(CParamString(row.text).GetValueAsWritten(row.key, v), row.value != nullptr) << row.text;
        EXPECT_EQ(v, row.value ? row.value : "") << row.text;
    }
    const struct { const char* text; const char* name; BOOL cs; bool is; } switches[] = {
        {"A B -LOOP", "LOOP", FALSE, true}, {"x /loop y", "LOOP", FALSE, true}, {"LOOP", "LOOP", FALSE, false},
        {"-VERBOSE2", "VERBOSE", FALSE, false}, {"NOVERBOSE -VERBOSE", "VERBOSE", FALSE, false}, {"/loop", "LOOP", TRUE, false},
    };
    for (const auto& row : switches)
        EXPECT_EQ(CParamString(row.text).IsSwitch(row.name, row.cs) != FALSE, row.is) << row.text << " / " << row.name;

    const struct { const char* text; int n; const char* delims; const char* token; } tokens[] = {
        // Switches are cut with the character before "/".
        {"A  B", 1, " ", ""}, {"A,B C", 2, ", ", "C"}, {"A B /X Y", 1, " ", "B"}, {"A B /X Y", 2, " ", ""},
    };
    for (const auto& row : tokens)
        EXPECT_EQ(CParamString(row.text).GetToken(row.n, row.delims), row.token) << row.text << " #" << row.n;
}

}  // namespace
