// Tests of argument-text reading and of the path-macro look-up of data files.
#include "framework/param_string.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/dialog.h"
#include "platform/paths.h"

namespace {

namespace fs = std::filesystem;

CString Value(const char* text, const char* key, BOOL caseSensitive = FALSE, BOOL* found = nullptr) {
    CString v = "left over";
    BOOL ok = CParamString(text).GetValue(key, v, caseSensitive);
    if (found) *found = ok;
    if (!ok) {
        EXPECT_EQ(v, "") << "value must be emptied when " << key << " is not found in " << text;
    }
    return ok ? v : CString("<none>");
}

TEST(ParamString, GetValueCaseAndSubstringMatching) {
    EXPECT_EQ(Value("VERBOSE=1", "verbose"), "1");
    EXPECT_EQ(Value("Mode=Fast", "mode"), "FAST");
    // Case-sensitive keys keep the value's case and need the key's exact case.
    EXPECT_EQ(Value("CMD=(CWexal Random Memory Test)", "CMD", TRUE), "CWexal Random Memory Test");
    EXPECT_EQ(Value("cmd=x", "CMD", TRUE), "<none>");
    // Plain substrings: the character before the key is not looked at; only the first occurrence counts.
    EXPECT_EQ(Value("XDIM=5", "DIM"), "5");
    EXPECT_EQ(Value("ABORTCOUNT=20 COUNT=3", "COUNT"), "20");
    EXPECT_EQ(Value("FRAMES=3", "FRAME"), "<none>");
    EXPECT_EQ(Value("DIMS=3 DIM=4", "DIM"), "<none>");
    EXPECT_EQ(Value("X=1 DIM =3", "DIM"), "3");
    EXPECT_EQ(Value("DIM\t=\t7", "DIM"), "7");
    EXPECT_EQ(Value("DIM 5", "DIM"), "<none>");
    EXPECT_EQ(Value("A=1", ""), "<none>");
    EXPECT_EQ(Value("", "A"), "<none>");
}

TEST(ParamString, GetValueBlanksAndBrackets) {
    // Blanks after "=" are skipped; the value ends at the next blank, tab, CR or LF.
    CString v = Value("FILE= a.txt b", "FILE");
    EXPECT_EQ(v, "A.TXT");
    EXPECT_EQ(v.GetLength(), 5);
    EXPECT_EQ(Value("A=x\tB=y", "A"), "X");
    EXPECT_EQ(Value("A=line\r\nB=y", "A"), "LINE");
    BOOL found = FALSE;
    EXPECT_EQ(Value("X=1 KEY=", "KEY", FALSE, &found), "");
    EXPECT_TRUE(found);

    // Brackets nest; the value is what the outermost pair holds; the rest is ignored.
    EXPECT_EQ(Value("DIM=(720,(486))", "DIM"), "720,(486)");
    EXPECT_EQ(Value("DIM=(720,486", "DIM"), "<none>");
    EXPECT_EQ(Value("DIM=((1)", "DIM"), "<none>");
    EXPECT_EQ(Value("DIM=()", "DIM", FALSE, &found), "");
    EXPECT_TRUE(found);
    EXPECT_EQ(Value("DIM = ( 1 2 )tail X=1", "DIM"), " 1 2 ");
    EXPECT_EQ(Value("DIM=(a)(b)", "DIM"), "A");

    // A group may be a parameter text of its own.
    CString group = Value("SOLID=(Y=400:CB=50:CR=640)", "SOLID");
    EXPECT_EQ(group, "Y=400:CB=50:CR=640");
    EXPECT_EQ(Value(group, "Y"), "400:CB=50:CR=640");
    EXPECT_EQ(Value(group, "CR"), "640");
}

TEST(ParamString, IsSwitch) {
    auto is = [](const char* text, const char* name, BOOL cs = FALSE) {
        return CParamString(text).IsSwitch(name, cs) != FALSE;
    };
    EXPECT_TRUE(is("A B -LOOP", "LOOP"));
    EXPECT_TRUE(is("-LOOP", "LOOP"));
    EXPECT_TRUE(is("x /loop y", "LOOP"));
    EXPECT_TRUE(is("-LOOP\tX", "LOOP"));
    EXPECT_TRUE(is("-LOOP\r\n", "LOOP"));
    EXPECT_FALSE(is("a-LOOPX", "LOOP"));
    EXPECT_FALSE(is("LOOP", "LOOP"));
    EXPECT_FALSE(is("-VERBOSE2", "VERBOSE"));
    EXPECT_FALSE(is("NOVERBOSE -VERBOSE", "VERBOSE"));
    EXPECT_FALSE(is("/loop", "LOOP", TRUE));
    EXPECT_TRUE(is("/LOOP", "LOOP", TRUE));
    EXPECT_FALSE(is("-LOOP", ""));
}

TEST(ParamString, GetToken) {
    auto token = [](const char* text, int n, const char* delims) {
        return std::string(CParamString(text).GetToken(n, delims).c_str());
    };
    EXPECT_EQ(token("A B C", 0, " "), "A");
    EXPECT_EQ(token("A B C", 2, " "), "C");
    EXPECT_EQ(token("A B", 1, " "), "B");
    EXPECT_EQ(token("A B", 2, " "), "");
    EXPECT_EQ(token("A  B", 1, " "), "");
    EXPECT_EQ(token("A  B", 2, " "), "B");
    EXPECT_EQ(token("A,B C", 2, ", "), "C");
    // Switches are cut with the character before the first "/".
    EXPECT_EQ(token("A B /X Y", 1, " "), "B");
    EXPECT_EQ(token("A B /X Y", 2, " "), "");
    EXPECT_EQ(token("/X", 0, " "), "");
    EXPECT_EQ(token("A", -1, " "), "");
}

class PathMacroTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/pexpathXXXXXX";
        m_root = ::mkdtemp(tmpl);
        m_prog = m_root + "/prog/";
        m_sys = m_root + "/sys";
        fs::create_directories(m_prog + "testdata");
        fs::create_directories(m_sys + "/drivers/Zorv");
        platform::SetProgramDir(m_prog);
        platform::SetSystemDir(m_sys);
    }
    void TearDown() override {
        platform::SetProgramDir("");
        platform::SetSystemDir("");
        fs::remove_all(m_root);
    }
    static void Touch(const std::string& path) {
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fputs("x", f);
        std::fclose(f);
    }

    std::string m_root, m_prog, m_sys;
};

TEST_F(PathMacroTest, Directories) {
    EXPECT_EQ(GetProgramDirectory(), CString(m_prog.c_str()));
    EXPECT_EQ(GetDriversDirectory(), CString((m_sys + "\\drivers\\Zorv").c_str()));
    // A system directory too long for the room kept gives no drivers directory.
    platform::SetSystemDir("/" + std::string(250, 's'));
    EXPECT_EQ(GetDriversDirectory(), "");
}

TEST_F(PathMacroTest, ExpandPathMacros) {
    Touch(m_prog + "data.txt");
    Touch(m_sys + "/drivers/Zorv/fw.oxd");
    Touch(m_prog + "testdata/only.oxd");
    Touch(m_prog + "testdata/cwd.txt");

    // An existing path is left as it is.
    CString p = (m_prog + "data.txt").c_str();
    EXPECT_EQ(ExpandPathMacros(p, TRUE, TRUE), 4);
    EXPECT_EQ(p, CString((m_prog + "data.txt").c_str()));

    // "$(CWD)" takes the character after it with it.
    p = "$(CWD)\\data.txt";
    EXPECT_EQ(ExpandPathMacros(p, FALSE, TRUE), 4);
    EXPECT_EQ(p, CString((m_prog + "data.txt").c_str()));
    p = "$(CWD)xdata.txt";
    EXPECT_EQ(ExpandPathMacros(p, FALSE, TRUE), 4);
    EXPECT_EQ(p, CString((m_prog + "data.txt").c_str()));

    // "$(ZORV)" is the drivers directory.
    p = "$(ZORV)\\fw.oxd";
    EXPECT_EQ(ExpandPathMacros(p, TRUE, TRUE), 4);
    EXPECT_EQ(p, CString((m_sys + "\\drivers\\Zorv\\fw.oxd").c_str()));

    // Missing there, found under "$(CWD)\testdata": 3, only when asked to try.
    p = "$(ZORV)\\only.oxd";
    EXPECT_EQ(ExpandPathMacros(p, FALSE, TRUE), 1);
    EXPECT_EQ(p, "$(ZORV)\\only.oxd");
    EXPECT_EQ(ExpandPathMacros(p, TRUE, TRUE), 3);
    EXPECT_EQ(p, CString((m_prog + "testdata\\only.oxd").c_str()));

    // No "$(ZORV)", no retry; nowhere at all: 1 and the path unchanged.
    p = "$(CWD)\\cwd.txt";
    EXPECT_EQ(ExpandPathMacros(p, TRUE, TRUE), 1);
    EXPECT_EQ(p, "$(CWD)\\cwd.txt");
    p = "$(ZORV)\\nowhere.oxd";
    EXPECT_EQ(ExpandPathMacros(p, TRUE, TRUE), 1);
    EXPECT_EQ(p, "$(ZORV)\\nowhere.oxd");

    // Existence not asked: the expansion is given back as it is.
    p = "$(CWD)\\new.txt";
    EXPECT_EQ(ExpandPathMacros(p, FALSE, FALSE), 4);
    EXPECT_EQ(p, CString((m_prog + "new.txt").c_str()));

    // Wildcards: the unexpanded path may match; an expanded one with wildcards is not taken.
    p = (m_prog + "*.txt").c_str();
    EXPECT_EQ(ExpandPathMacros(p, FALSE, TRUE), 4);
    p = "$(CWD)\\*.txt";
    EXPECT_EQ(ExpandPathMacros(p, FALSE, TRUE), 1);
}

TEST_F(PathMacroTest, FindFileOrAskFallsBackToTheDialog) {
    Touch(m_sys + "/drivers/Zorv/fw.oxd");
    Touch(m_root + "/chosen.oxd");
    const CString filter = "OXD Files (*.oxd)|*.oxd| All Files (*.*)|*.*||";

    CString p = "$(ZORV)\\fw.oxd";
    EXPECT_EQ(FindFileOrAsk(p, "", "*.oxd", filter, "JQV_OXD_IMAGE_PATH", TRUE, TRUE), 2);
    EXPECT_EQ(p, CString((m_sys + "\\drivers\\Zorv\\fw.oxd").c_str()));

    // Not found, not asked; asked with nobody there (headless): 1, the path unchanged.
    p = "$(ZORV)\\missing.oxd";
    EXPECT_EQ(FindFileOrAsk(p, "", "*.oxd", filter, "JQV_OXD_IMAGE_PATH", FALSE, TRUE), 1);
    EXPECT_EQ(FindFileOrAsk(p, "", "*.oxd", filter, "JQV_OXD_IMAGE_PATH", TRUE, TRUE), 1);
    EXPECT_EQ(p, "$(ZORV)\\missing.oxd");

    // Someone picks a file, a file that does not exist, or cancels.
    platform::ScriptedDialogRunner runner;
    platform::DialogRunner* previous = platform::SetDialogRunner(&runner);
    runner.Push({CString(("file " + m_root + "/chosen.oxd").c_str()), "ok"});
    runner.Push({CString(("file " + m_root + "/ghost.oxd").c_str()), "ok"});
    runner.Push({CString(("file " + m_root + "/chosen.oxd").c_str()), "cancel"});
    EXPECT_EQ(FindFileOrAsk(p, "", "*.oxd", filter, "", TRUE, TRUE), 2);
    EXPECT_EQ(p, CString((m_root + "/chosen.oxd").c_str()));
    p = "$(ZORV)\\missing.oxd";
    EXPECT_EQ(FindFileOrAsk(p, "", "*.oxd", filter, "", TRUE, TRUE), 1);
    EXPECT_EQ(FindFileOrAsk(p, "", "*.oxd", filter, "", TRUE, TRUE), 1);
    EXPECT_EQ(p, "$(ZORV)\\missing.oxd");
    platform::SetDialogRunner(previous);

    // The dialog showed the unexpanded name, the filter and the extension.
    ASSERT_EQ(runner.History().size(), 3u);
    const CString& shown = runner.History()[0].before;
    EXPECT_NE(shown.Find("$(ZORV)\\missing.oxd"), -1);
    EXPECT_NE(shown.Find(filter), -1);
    EXPECT_NE(shown.Find("*.oxd"), -1);
}

}  // namespace
