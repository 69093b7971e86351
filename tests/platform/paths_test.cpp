// The program folder, the stand-in system folder and its drivers folder, the environment.
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/files.h"
#include "tests/support/temp_dir.h"

using namespace support;

namespace {
// Puts the process-wide settings back whatever a test did to them.
struct PathsTest : ::testing::Test {
    void TearDown() override { platform::SetProgramDir(""), platform::SetSystemDir(""), ::unsetenv("PEXANO_SYSTEM_DIR"); }
};
}  // namespace

TEST_F(PathsTest, ProgramAndSystemFoldersAndTheBufferContractsOfTheWindowsCalls) {
    EXPECT_EQ(std::filesystem::canonical(platform::GetProgramDir()), std::filesystem::canonical(PEX_TEST_BIN_DIR));
    platform::SetProgramDir("/opt/engine");
    EXPECT_EQ(platform::GetProgramDir(), "/opt/engine/");
    EXPECT_EQ(platform::GetSystemDir(), "/opt/engine/system");
    ::setenv("PEXANO_SYSTEM_DIR", "/srv/sys/", 1);
    EXPECT_EQ(platform::GetSystemDir(), "/srv/sys");
    platform::SetSystemDir("/elsewhere");
    EXPECT_EQ(platform::GetSystemDir(), "/elsewhere");
    // The drivers folder the original asks for maps to a real folder of the stand-in.
    TempDir t;
    const std::string drivers = t.MakeDir("ELSEWHERE/Drivers/ZORV");
    platform::SetSystemDir(t / "elsewhere");
    char buf[260];
    ASSERT_GT(platform::GetSystemDirectory(buf, sizeof buf), 0u);
    EXPECT_EQ(platform::MapPath((std::string(buf) + "\\drivers\\Zorv").c_str()), drivers);
    // Buffer contracts of the Windows calls.
    platform::SetSystemDir("/abc");
    std::strcpy(buf, "zzzzzzz");
    EXPECT_EQ(platform::GetSystemDirectory(buf, 5), 4u);  // exactly fits with its NUL
    EXPECT_STREQ(buf, "/abc");
    EXPECT_EQ(platform::GetSystemDirectory(buf, 4), 5u);  // too small: size needed, nothing copied
    EXPECT_STREQ(buf, "");
    ::setenv("PEX_TEST_VAR", "value", 1);
    EXPECT_EQ(platform::GetEnvironmentVariable("PEX_TEST_VAR", buf, 5), 6u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(platform::GetEnvironmentVariable(nullptr, buf, sizeof buf), 0u);
}
