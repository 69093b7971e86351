// Tests of the tree-map base's named log files: the "FileMap" command, WriteLog and records kept inside a closing brace.
#include <cerrno>
#include <optional>

#include "framework/log_file.h"
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

TEST(LogMapTest, FileMapBindsNamesInAnyLetterCaseAndFileAccessPutsRecordsBeforeTheClosingBrace) {
    InTempCwd cwd;
    RecordingTreeTest test;
    EXPECT_EQ(test.FileMap("FILE=results.txt") + test.FileMap("NAME=results"), 4u);
    EXPECT_TRUE(test.out.HasColoured("Unable to find NAME= on command line\n", kColorRed) && test.out.Has("Unable to find FILE= on command line\n"));
    // The file keeps the case written; the same path in other letters keeps the entry and its object.
    CLogFile *first = nullptr, *again = nullptr;
    ASSERT_TRUE(test.FileMap("FILE=results.txt NAME=results") == 1 && test.FindLogFile("Results", &first));
    ASSERT_TRUE(test.FileMap("FILE=Results.Txt NAME=RESULTS") == 1 && test.FindLogFile("results", &again) && again == first);
    // Another path replaces the entry; later text goes to the new file only.
    EXPECT_TRUE(test.WriteLog("results", "one\n") && test.WriteLog("RESULTS", "two") && test.OpenLogFile("results", "other.log") &&
                test.WriteLog("Results", "three"));
    EXPECT_EQ(cwd.Dir().Read("other.log") + "|" + cwd.Dir().Read("results.txt"), "three|one\ntwo");
    EXPECT_FALSE(std::filesystem::exists(cwd.Dir().File("RESULTS.TXT")));
    // A file text of two double quotes removes the mapping.
    EXPECT_EQ(test.FileMap("FILE=\"\" NAME=results"), 1u);
    EXPECT_FALSE(test.FindLogFile("results", &first) || test.WriteLog("results", "four") || std::filesystem::exists(cwd.Dir().File("\"\"")));
    // An open file is held exclusively until the map lets go of it.
    ASSERT_TRUE(test.OpenLogFile("held", "held.log") && test.FindLogFile("HELD", &first) && first->Open(CLogFile::kWrite | CLogFile::kOpenAlways));
    CLogFile other(cwd.Dir().File("held.log").c_str());
    EXPECT_FALSE(other.Open(CLogFile::kWrite | CLogFile::kOpenExisting));
    test.CloseLogFiles();
    EXPECT_TRUE(other.Open(CLogFile::kWrite | CLogFile::kOpenExisting)) << "let go when the map closes its files";
    // FileAccess puts the host window's text into the mapped file before its closing brace.
    RecordingTreeTest writer;
    RecordHost host;
    CResultScreen screen;
    screen.SetHost(&host);
    ASSERT_TRUE(writer.OpenLogFile("Summary", "summary.txt"));
    const struct { const char* name; std::optional<std::string> content; std::string record, result; } rows[] = {  // content none: no file
        {"the record takes the place of the brace line", "{\r\n  a\r\n}\r\n", "  b\r\n", "{\r\n  a\r\n  b\r\n}"},
        {"line ends beyond the record stay, across a read block", "{x}" + std::string(5000, '\n'), "y", "{xy}" + std::string(4999, '\n')},
        {"only line ends: written from the start", "\r\n\r\n", "abc", "abc\n"},
        {"no brace: after the content", "log\r\n", "R", "logR\n"},
        {"a missing file is created", std::nullopt, "new", "new"},
    };
    for (const auto& row : rows) {
        std::filesystem::remove(cwd.Dir().File("summary.txt"));
        if (row.content) cwd.Dir().Write("summary.txt", *row.content);
        host.record = row.record;
        EXPECT_TRUE(writer.FileAccess("SUMMARY", &screen)) << row.name;
        EXPECT_EQ(cwd.Dir().Read("summary.txt"), row.result) << row.name;
    }
    // Nothing is written without a mapping, a screen, the host's record or the file to itself.
    cwd.Dir().Write("summary.txt", "{\n}\n");
    host.record = "lost";
    CLogFile holder(cwd.Dir().File("summary.txt").c_str());
    ASSERT_TRUE(holder.Open(CLogFile::kRead | CLogFile::kOpenExisting));
    EXPECT_FALSE(writer.FileAccess("Failures", &screen) || writer.FileAccess("summary", nullptr));
    EXPECT_EQ(errno, 0) << "no file tried, no cause";
    EXPECT_FALSE(writer.FileAccess("summary", &screen));
    EXPECT_EQ(errno, EBUSY) << "held by another opener";
    holder.Close();
    host.answer = 0;
    EXPECT_FALSE(writer.FileAccess("summary", &screen));
    EXPECT_EQ(cwd.Dir().Read("summary.txt"), "{\n}\n");
}

}  // namespace
