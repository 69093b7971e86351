// Tests of log files, KEY=value splitting and the application object.
#include "framework/log_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/file_identity.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"

namespace {

struct LogFileTest : ::testing::Test {
    support::TempDir dir;
    CString Path(const std::string& name) const { return dir.File(name).c_str(); }
};

TEST_F(LogFileTest, OpenAppendSeekAndKeyValueSplitting) {
    CLogFile log(Path("a.log"));
    // No access bit, no creation bit, both creation bits, mode 0 on a closed log, must exist and does not.
    for (int mode : {0x30, 0x01, 0x10, 0x33, 0, 0x22}) EXPECT_FALSE(log.Open(mode)) << std::hex << mode;
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.log")));
    ASSERT_TRUE(log.Open(0x12));
    ASSERT_TRUE(log.Write("abc", 3));
    EXPECT_TRUE(log.Open(0x12));  // the same mode again keeps the write position
    ASSERT_TRUE(log.Write("def", 3));
    log.Close();
    EXPECT_EQ(dir.Read("a.log"), "abcdef");
    EXPECT_FALSE(CLogFile(dir.Path().c_str()).Open(0x21));  // a folder is not a log file
    EXPECT_EQ(errno, EISDIR);
    // Append adds behind and restores the open mode.
    CLogFile run(Path("run.log"));
    ASSERT_TRUE(run.Append("first\n", 6));  // a missing file is created; the log stays closed
    EXPECT_FALSE(run.IsOpen());
    EXPECT_FALSE(run.Append(nullptr, 3));
    // Read-only open: the append still reaches the file, the log is read-only again afterwards.
    ASSERT_TRUE(run.Open(0x21));
    ASSERT_TRUE(run.Append("4\n", 2));
    EXPECT_EQ(run.GetMode(), 0x21);
    EXPECT_FALSE(run.Write("x", 1));
    run.Close();
    EXPECT_EQ(dir.Read("run.log"), "first\n4\n");
    EXPECT_FALSE(CLogFile(Path("no/such/folder.log")).Append("x", 1));
    EXPECT_EQ(errno, ENOENT);
    // A file the run depends on is read but never written, and the refusal says why, also once the
    // append has put the caller's read-only handle back.
    platform::ProtectFile(dir.File("run.log"), "the rig file");
    const std::string refused = dir.File("run.log") + " is the rig file, which this run must not write over";
    for (int mode : {0x12, 0x22, 0x23}) {
        EXPECT_FALSE(run.Open(mode)) << std::hex << mode;
        EXPECT_EQ(errno, EPERM);
    }
    ASSERT_TRUE(run.Open(0x21));
    EXPECT_FALSE(run.Append("x", 1));
    EXPECT_EQ(errno, EPERM);
    EXPECT_EQ(platform::FileFailureDetail(EPERM), refused);
    EXPECT_EQ(run.GetMode(), 0x21);
    run.Close();
    platform::ClearProtectedFiles();
    EXPECT_EQ(dir.Read("run.log"), "first\n4\n");
    // Open is exclusive; seek rewrites in place.
    CLogFile a(Path("shared.log")), b(Path("shared.log"));
    ASSERT_TRUE(a.Append("{\r\n}\r\n", 6));
    ASSERT_TRUE(a.Open(0x23));
    EXPECT_FALSE(b.Open(0x21));
    EXPECT_FALSE(b.Append("x", 1));
    EXPECT_EQ(errno, EBUSY);
    EXPECT_EQ(a.Seek(-3, CFile::end), 3);
    ASSERT_TRUE(a.Write("rec\r\n}", 6));
    a.Close();
    EXPECT_TRUE(b.Append("x", 1));
    EXPECT_EQ(dir.Read("shared.log"), "{\r\nrec\r\n}x");
    // KEY=value splits at the first separator and trims.
    const struct { const char* text; const char* sep; const char* key; const char* value; } rows[] = {
        {"SOLID", "=", "", ""}, {" Y :=\t400 ", ":=", "Y", "400"}, {"A=B=C", "=", "A", "B=C"},
    };
    for (const auto& row : rows) {
        CKeyValue kv(row.text, row.sep);
        EXPECT_EQ(kv.GetKey() + "|" + kv.GetValue(), CString(row.key) + "|" + row.value) << row.text;
    }
    CKeyValue seed("SEED = 0x10", "=");
    EXPECT_FALSE(seed.KeyEquals("seed"));
    EXPECT_TRUE(seed.KeyStartsWith("SEx", 2));
    EXPECT_FALSE(seed.KeyStartsWith("SEEDS", 5));
}

}  // namespace
