// Tests of the tree-map base's named log files: the "FileMap" command, WriteLog and records kept inside a closing brace.
#include "framework/log_file.h"
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

// A host whose window holds a given text, which it hands out on the read notification.
class WindowHost : public CTestHost {
public:
    CRichEditCtrl* GetOutputCtrl() override { return &m_ctrl; }
    uintptr_t Notify(int code, uintptr_t value) override {
        if (code != 1 || !value) return 0;
        *reinterpret_cast<CString*>(value) = window;
        return answer;
    }
    std::string window;
    uintptr_t answer = 1;

private:
    FakeRichEdit m_ctrl;
};

TEST(LogMapTest, FileMapBindsNamesInAnyLetterCase) {
    InTempCwd cwd;
    RecordingTreeTest test;
    EXPECT_EQ(test.FileMap("FILE=results.txt"), 2u);
    EXPECT_TRUE(test.out.HasColoured("Unable to find NAME= on command line\n", kColorRed));
    EXPECT_EQ(test.FileMap("NAME=results"), 2u);
    EXPECT_TRUE(test.out.HasColoured("Unable to find FILE= on command line\n", kColorRed));
    ASSERT_EQ(test.FileMap("FILE=results.txt NAME=results"), 1u);
    CLogFile* first = nullptr;
    ASSERT_TRUE(test.FindLogFile("Results", &first));
    EXPECT_EQ(first->GetFileName(), "RESULTS.TXT") << "the parameter parser upper-cases values";
    // The same path in other letters keeps the entry and its object.
    ASSERT_EQ(test.FileMap("FILE=Results.Txt NAME=RESULTS"), 1u);
    CLogFile* again = nullptr;
    ASSERT_TRUE(test.FindLogFile("results", &again));
    EXPECT_EQ(again, first);
    EXPECT_TRUE(test.WriteLog("results", "one\n") && test.WriteLog("RESULTS", "two"));
    // Another path replaces the entry; later text goes to the new file only.
    ASSERT_EQ(test.OpenLogFile("results", "other.log"), 1u);
    EXPECT_TRUE(test.WriteLog("Results", "three"));
    EXPECT_EQ(cwd.Dir().Read("other.log"), "three");
    EXPECT_EQ(cwd.Dir().Read("RESULTS.TXT"), "one\ntwo");
    // A file text of two double quotes removes the mapping, and maps nothing where nothing was.
    EXPECT_EQ(test.FileMap("FILE=\"\" NAME=results"), 1u);
    CLogFile* untouched = first;
    EXPECT_FALSE(test.FindLogFile("results", &untouched));
    EXPECT_EQ(untouched, first);
    EXPECT_FALSE(test.WriteLog("results", "four"));
    EXPECT_EQ(test.OpenLogFile("fresh", "\"\""), 1u);
    EXPECT_FALSE(test.WriteLog("fresh", "x"));
    EXPECT_FALSE(std::filesystem::exists(cwd.Dir().File("\"\"")));
    // An empty text is written without looking the name up.
    EXPECT_TRUE(test.WriteLog("unmapped", ""));
    EXPECT_FALSE(test.WriteLog("unmapped", "x"));

    // An open file is held exclusively until the map lets go of it.
    ASSERT_EQ(test.OpenLogFile("held", "held.log"), 1u);
    CLogFile* log = nullptr;
    ASSERT_TRUE(test.FindLogFile("HELD", &log));
    ASSERT_TRUE(log->Open(CLogFile::kWrite | CLogFile::kOpenAlways));
    CLogFile other(cwd.Dir().File("held.log").c_str());
    EXPECT_FALSE(other.Open(CLogFile::kWrite | CLogFile::kOpenExisting));
    test.CloseLogFiles();
    EXPECT_FALSE(test.FindLogFile("held", nullptr));
    EXPECT_TRUE(other.Open(CLogFile::kWrite | CLogFile::kOpenExisting));
}

class FileAccessTest : public ::testing::Test {
protected:
    void SetUp() override {
        screen.SetHost(&host);
        ASSERT_EQ(test.OpenLogFile("Summary", "summary.txt"), 1u);
    }
    // Writes content to the mapped file (none: no file), inserts record, and answers what the file holds.
    std::string Insert(const char* content, const std::string& record, const char* name = "summary") {
        if (content) cwd.Dir().Write("summary.txt", content);
        else std::filesystem::remove(cwd.Dir().File("summary.txt"));
        host.window = record;
        EXPECT_TRUE(test.FileAccess(name, &screen));
        return cwd.Dir().Read("summary.txt");
    }
    InTempCwd cwd;
    RecordingTreeTest test;
    WindowHost host;
    CResultScreen screen;
};

TEST_F(FileAccessTest, RecordsGoBeforeTheClosingBraceOrAfterTheContent) {
    const std::string longTail = "{x}" + std::string(5000, '\n');
    const struct {
        const char* name;
        const char* content;
        std::string record, result;
    } rows[] = {
        {"the record takes the place of the brace line", "{\r\n  a\r\n}\r\n", "  b\r\n", "{\r\n  a\r\n  b\r\n}"},
        // Line ends beyond the record's length stay behind the brace, across a read block boundary.
        {"a long tail is walked back", longTail.c_str(), "y", "{xy}" + std::string(4999, '\n')},
        {"an empty file", "", "first", "first"},
        {"only line ends: written from the start", "\r\n\r\n", "abc", "abc\n"},
        {"no brace: after the content", "log\r\n", "R", "logR\n"},
        {"a missing file is created", nullptr, "new", "new"},
    };
    for (const auto& row : rows) EXPECT_EQ(Insert(row.content, row.record), row.result) << row.name;
    EXPECT_EQ(Insert("{\r\n  a\r\n}\r\n", "  c\r\n", "SUMMARY"), "{\r\n  a\r\n  c\r\n}");
}

TEST_F(FileAccessTest, NothingIsWrittenWithoutAMappingARecordOrTheFile) {
    cwd.Dir().Write("summary.txt", "{\n}\n");
    host.window = "lost";
    EXPECT_FALSE(test.FileAccess("Failures", &screen));
    EXPECT_FALSE(test.FileAccess("summary", nullptr));
    host.answer = 0;  // the host did not deliver its window
    EXPECT_FALSE(test.FileAccess("summary", &screen));
    CResultScreen detached;
    EXPECT_FALSE(test.FileAccess("summary", &detached));
    // The file held by someone else cannot be opened in either mode.
    host.answer = 1;
    CLogFile holder(cwd.Dir().File("summary.txt").c_str());
    ASSERT_TRUE(holder.Open(CLogFile::kRead | CLogFile::kOpenExisting));
    EXPECT_FALSE(test.FileAccess("summary", &screen));
    holder.Close();
    EXPECT_EQ(cwd.Dir().Read("summary.txt"), "{\n}\n");
    EXPECT_FALSE(std::filesystem::exists(cwd.Dir().File("FAILURES")));
}

}  // namespace
