// Tests of the tree-map base's named log files: the "FileMap" command, WriteLog and records kept inside a closing brace.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "framework/log_file.h"
#include "framework/result_screen.h"
#include "tests/support/rig.h"
#include "tests/support/output.h"
#include "tests/support/output.h"

using namespace support;

namespace {

using support::InTempCwd;
using support::RecordingTreeTest;

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
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetFileName(), "RESULTS.TXT");  // the parameter parser upper-cases values
    // The same path in other letters keeps the entry and its object.
    ASSERT_EQ(test.FileMap("FILE=Results.Txt NAME=RESULTS"), 1u);
    CLogFile* again = nullptr;
    ASSERT_TRUE(test.FindLogFile("results", &again));
    EXPECT_EQ(again, first);

    EXPECT_TRUE(test.WriteLog("results", "one\n"));
    EXPECT_TRUE(test.WriteLog("RESULTS", "two"));
    EXPECT_EQ(cwd.Dir().Read("RESULTS.TXT"), "one\ntwo");

    // Another path replaces the entry; later text goes to the new file only.
    ASSERT_EQ(test.OpenLogFile("results", "other.log"), 1u);
    EXPECT_TRUE(test.WriteLog("Results", "three"));
    EXPECT_EQ(cwd.Dir().Read("other.log"), "three");
    EXPECT_EQ(cwd.Dir().Read("RESULTS.TXT"), "one\ntwo");

    // A file text of two double quotes removes the mapping.
    EXPECT_EQ(test.FileMap("FILE=\"\" NAME=results"), 1u);
    CLogFile* untouched = first;
    EXPECT_FALSE(test.FindLogFile("results", &untouched));
    EXPECT_EQ(untouched, first);
    EXPECT_FALSE(test.WriteLog("results", "four"));
    // ... and maps nothing where nothing was mapped (no file named "" appears).
    EXPECT_EQ(test.OpenLogFile("fresh", "\"\""), 1u);
    EXPECT_FALSE(test.FindLogFile("fresh", nullptr));
    EXPECT_FALSE(test.WriteLog("fresh", "x"));
    EXPECT_FALSE(std::filesystem::exists(cwd.Dir().File("\"\"")));

    // An empty text is written without looking the name up.
    EXPECT_TRUE(test.WriteLog("unmapped", ""));
    EXPECT_FALSE(test.WriteLog("unmapped", "x"));
}

TEST(LogMapTest, CloseLogFilesReleasesOpenFiles) {
    InTempCwd cwd;
    RecordingTreeTest test;
    ASSERT_EQ(test.OpenLogFile("held", "held.log"), 1u);
    CLogFile* log = nullptr;
    ASSERT_TRUE(test.FindLogFile("HELD", &log));
    ASSERT_TRUE(log->Open(CLogFile::kWrite | CLogFile::kOpenAlways));
    // The open file is held exclusively ...
    CLogFile other(cwd.Dir().File("held.log").c_str());
    EXPECT_FALSE(other.Open(CLogFile::kWrite | CLogFile::kOpenExisting));
    // ... until the map lets go of it.
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
    // Writes content to the mapped file, inserts record, and answers what the file holds.
    std::string Insert(const std::string& content, const std::string& record) {
        cwd.Dir().Write("summary.txt", content);
        host.window = record;
        EXPECT_TRUE(test.FileAccess("summary", &screen));
        return cwd.Dir().Read("summary.txt");
    }

    InTempCwd cwd;
    RecordingTreeTest test;
    WindowHost host;
    CResultScreen screen;
};

TEST_F(FileAccessTest, RecordsGoBeforeTheClosingBrace) {
    // The record takes the place of "}\r\n" and the file ends with the brace again.
    EXPECT_EQ(Insert("{\r\n  a\r\n}\r\n", "  b\r\n"), "{\r\n  a\r\n  b\r\n}");
    host.window = "  c\r\n";
    ASSERT_TRUE(test.FileAccess("SUMMARY", &screen));
    EXPECT_EQ(cwd.Dir().Read("summary.txt"), "{\r\n  a\r\n  b\r\n  c\r\n}");
    // Line ends beyond the record's length stay behind the brace; a tail longer than one read
    // block is walked back across the block boundary.
    EXPECT_EQ(Insert("{x}" + std::string(5000, '\n'), "y"), "{xy}" + std::string(4999, '\n'));
}

TEST_F(FileAccessTest, FilesWithoutABraceTakeTheRecordAfterTheirContent) {
    EXPECT_EQ(Insert("", "first"), "first");
    EXPECT_EQ(Insert("\r\n\r\n", "abc"), "abc\n");  // only line ends: written from the start
    EXPECT_EQ(Insert("log\r\n", "R"), "logR\n");
    // A missing file is created holding the record alone.
    std::filesystem::remove(cwd.Dir().File("summary.txt"));
    host.window = "new";
    ASSERT_TRUE(test.FileAccess("summary", &screen));
    EXPECT_EQ(cwd.Dir().Read("summary.txt"), "new");
}

TEST_F(FileAccessTest, NothingIsWrittenWithoutAMappingARecordOrTheFile) {
    cwd.Dir().Write("summary.txt", "{\n}\n");
    host.window = "lost";
    EXPECT_FALSE(test.FileAccess("Failures", &screen));
    EXPECT_FALSE(test.FileAccess("summary", nullptr));
    host.answer = 0;  // the host did not deliver its window
    EXPECT_FALSE(test.FileAccess("summary", &screen));
    // A screen without a host delivers nothing either.
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
