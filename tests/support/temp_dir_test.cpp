// The tests' scratch folders: one that cannot be made, or a file that cannot be written in one, stops
// the test there instead of leaving it to name its files from "/".
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

// Sets TMPDIR for the scope and puts back what it was.
class ScopedTmpdir {
public:
    explicit ScopedTmpdir(const std::string& value) {
        if (const char* old = std::getenv("TMPDIR")) m_old = old;
        ::setenv("TMPDIR", value.c_str(), 1);
    }
    ~ScopedTmpdir() {
        if (m_old) {
            ::setenv("TMPDIR", m_old->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }

private:
    std::optional<std::string> m_old;
};

TEST(TempDir, ThatCannotBeMadeThrows) {
    const support::TempDir work;
    work.Write("file", "");
    const struct {
        const char* what;
        std::string tmpdir;
    } rows[] = {
        {"a folder that takes no new folder, whoever asks", "/proc"},
        {"a folder that is not there", work.File("missing")},
        {"a file", work.File("file")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const ScopedTmpdir tmpdir(row.tmpdir);
        EXPECT_THROW(support::TempDir(), std::runtime_error);
    }
}

TEST(TempDir, WriteThatCannotMakeTheFileThrows) {
    const support::TempDir dir;
    dir.MakeDir("folder");
    EXPECT_THROW(dir.Write("folder", "bytes"), std::runtime_error);
    EXPECT_EQ(support::ReadText(dir.Write("folder/file", "bytes")), "bytes");
}

}  // namespace
