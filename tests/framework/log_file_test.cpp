// Tests of log files, KEY=value splitting and the application object.
#include "framework/log_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/files.h"

namespace {

namespace fs = std::filesystem;

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/pexlogXXXXXX";
        m_dir = ::mkdtemp(tmpl);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    CString PathOf(const std::string& name) const { return CString((m_dir + "/" + name).c_str()); }
    static std::string Content(const CString& path) {
        std::ifstream in(path.c_str(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    std::string m_dir;
};

TEST_F(LogFileTest, OpenChecksTheModeWord) {
    CLogFile log(PathOf("a.log"));
    EXPECT_FALSE(log.Open(0x30));  // no access bit
    EXPECT_FALSE(log.Open(0x01));  // no creation bit
    EXPECT_FALSE(log.Open(0x10));  // no access bit
    EXPECT_FALSE(log.Open(0x33));  // both creation bits
    EXPECT_FALSE(log.Open(0));     // a closed log is not "already open in mode 0"
    EXPECT_FALSE(log.IsOpen());
    EXPECT_FALSE(log.Open(0x22));  // must exist, and does not
    EXPECT_FALSE(fs::exists(m_dir + "/a.log"));
    EXPECT_EQ(log.Close(), 0);     // nothing was open

    ASSERT_TRUE(log.Open(0x12));  // created
    EXPECT_TRUE(fs::exists(m_dir + "/a.log"));
    EXPECT_EQ(log.GetMode(), 0x12);
    // The same mode again keeps the handle: the write position is not reset.
    ASSERT_TRUE(log.Write("abc", 3));
    EXPECT_TRUE(log.Open(0x12));
    ASSERT_TRUE(log.Write("def", 3));
    EXPECT_EQ(log.Close(), 1);
    EXPECT_EQ(log.GetMode(), 0);
    EXPECT_EQ(Content(PathOf("a.log")), "abcdef");

    // A folder is not a log file.
    CLogFile dir(CString(m_dir.c_str()));
    EXPECT_FALSE(dir.Open(0x21));
}

TEST_F(LogFileTest, AppendAddsBehindAndRestoresTheOpenMode) {
    CLogFile log(PathOf("run.log"));
    // A missing file is created; a second append goes behind the first; the log stays closed.
    ASSERT_TRUE(log.Append("first\n", 6));
    EXPECT_FALSE(log.IsOpen());
    ASSERT_TRUE(log.Append("second\n", 7));
    EXPECT_EQ(Content(PathOf("run.log")), "first\nsecond\n");
    EXPECT_TRUE(log.Append("", 0));
    EXPECT_FALSE(log.Append(nullptr, 3));

    // Open for read and write: it stays open in that mode, reopened at its start.
    ASSERT_TRUE(log.Open(0x23));
    ASSERT_TRUE(log.Append("third\n", 6));
    EXPECT_TRUE(log.IsOpen());
    EXPECT_EQ(log.GetMode(), 0x23);
    char head[6] = {};
    EXPECT_EQ(log.Read(head, 5), 5u);
    EXPECT_STREQ(head, "first");
    EXPECT_EQ(log.GetLength(), 19);

    // Read-only open: the append still reaches the file, the log is read-only again afterwards.
    log.Close();
    ASSERT_TRUE(log.Open(0x21));
    ASSERT_TRUE(log.Append("4\n", 2));
    EXPECT_EQ(log.GetMode(), 0x21);
    EXPECT_FALSE(log.Write("x", 1));
    log.Close();
    EXPECT_EQ(Content(PathOf("run.log")), "first\nsecond\nthird\n4\n");

    // A log whose folder does not exist cannot be appended to.
    CLogFile nowhere(PathOf("no/such/folder.log"));
    EXPECT_FALSE(nowhere.Append("x", 1));
}

TEST_F(LogFileTest, OpenIsExclusive) {
    CLogFile a(PathOf("shared.log"));
    CLogFile b(PathOf("shared.log"));
    ASSERT_TRUE(a.Open(0x13));
    EXPECT_FALSE(b.Open(0x21));
    EXPECT_FALSE(b.Append("x", 1));
    EXPECT_FALSE(b.IsOpen());
    a.Close();
    EXPECT_TRUE(b.Append("x", 1));
    EXPECT_EQ(Content(PathOf("shared.log")), "x");
}

TEST_F(LogFileTest, SeekAndRewriteInPlace) {
    CLogFile log(PathOf("records.log"));
    ASSERT_TRUE(log.Append("{\r\n}\r\n", 6));
    ASSERT_TRUE(log.Open(0x23));
    EXPECT_EQ(log.Seek(-3, CFile::end), 3);
    char c = 0;
    EXPECT_EQ(log.Read(&c, 1), 1u);
    EXPECT_EQ(c, '}');
    EXPECT_EQ(log.Seek(3, CFile::begin), 3);
    ASSERT_TRUE(log.Write("rec\r\n}", 6));
    log.Close();
    EXPECT_EQ(Content(PathOf("records.log")), "{\r\nrec\r\n}");
    EXPECT_EQ(log.Seek(0, CFile::begin), -1);
    EXPECT_EQ(log.GetLength(), -1);
}

TEST(KeyValue, SplitsAtTheFirstSeparatorAndTrims) {
    CKeyValue seed("SEED = 0x10", "=");
    EXPECT_EQ(seed.GetKey(), "SEED");
    EXPECT_EQ(seed.GetValue(), "0x10");
    EXPECT_EQ(seed.GetText(), "SEED = 0x10");
    EXPECT_TRUE(seed.KeyEquals("SEED"));
    EXPECT_FALSE(seed.KeyEquals("seed"));
    EXPECT_TRUE(seed.KeyStartsWith("SEx", 2));
    EXPECT_FALSE(seed.KeyStartsWith("SX", 2));
    EXPECT_FALSE(seed.KeyStartsWith("SEEDS", 5));
    EXPECT_FALSE(seed.KeyStartsWith(nullptr, 1));

    CKeyValue solid("SOLID", "=");
    EXPECT_EQ(solid.GetKey(), "");
    EXPECT_EQ(solid.GetValue(), "");

    CKeyValue multi(" Y :=\t400 ", ":=");
    EXPECT_EQ(multi.GetKey(), "Y");
    EXPECT_EQ(multi.GetValue(), "400");

    CKeyValue twice("A=B=C", "=");
    EXPECT_EQ(twice.GetKey(), "A");
    EXPECT_EQ(twice.GetValue(), "B=C");

    CKeyValue lead("=X", "=");
    EXPECT_EQ(lead.GetKey(), "");
    EXPECT_EQ(lead.GetValue(), "X");
}

class FakeProgress : public CProgressCtrl {
public:
    void SetRange32(int, int) override {}
    int SetPos(int pos) override {
        int old = m_pos;
        m_pos = pos;
        return old;
    }
    int GetPos() const override { return m_pos; }

private:
    int m_pos = 0;
};

class FakeMainWnd : public CWnd {
public:
    CWnd* GetDlgItem(int id) override { return id == kProgressCtrlId ? &progress : nullptr; }
    FakeProgress progress;
};

TEST(Application, GivesTheHostsMainWindow) {
    CBrimolaTestsApp* app = AfxGetApp();
    ASSERT_NE(app, nullptr);
    platform::SetMainWnd(nullptr);
    EXPECT_EQ(app->GetMainWnd(), nullptr);
    FakeMainWnd wnd;
    platform::SetMainWnd(&wnd);
    ASSERT_EQ(app->GetMainWnd(), &wnd);
    EXPECT_EQ(app->GetMainWnd()->GetDlgItem(kProgressCtrlId), &wnd.progress);
    platform::SetMainWnd(nullptr);
}

}  // namespace
