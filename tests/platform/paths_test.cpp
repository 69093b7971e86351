// The program folder, the stand-in system folder and its drivers folder, the environment.
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/files.h"
#include "tests/support/temp_dir.h"

using namespace support;

namespace {
// Puts the process-wide settings back whatever a test did to them.
class PathsTest : public ::testing::Test {
protected:
    void TearDown() override {
        platform::SetProgramDir("");
        platform::SetSystemDir("");
        ::unsetenv("PEXANO_SYSTEM_DIR");
    }
};
}  // namespace

TEST_F(PathsTest, ProgramDirIsTheExecutablesFolderUnlessSet) {
    EXPECT_EQ(std::filesystem::canonical(platform::GetProgramDir()).string() + "/",
              std::filesystem::canonical(PEX_TEST_BIN_DIR).string() + "/");
    EXPECT_EQ(platform::GetProgramDir().back(), '/');
    platform::SetProgramDir("/opt/engine");
    EXPECT_EQ(platform::GetProgramDir(), "/opt/engine/");
    platform::SetProgramDir("/opt/engine/");
    EXPECT_EQ(platform::GetProgramDir(), "/opt/engine/");
}

TEST_F(PathsTest, SystemDirDefaultEnvironmentAndOverride) {
    platform::SetProgramDir("/opt/engine");
    EXPECT_EQ(platform::GetSystemDir(), "/opt/engine/system");
    ::setenv("PEXANO_SYSTEM_DIR", "/srv/sys/", 1);
    EXPECT_EQ(platform::GetSystemDir(), "/srv/sys");
    platform::SetSystemDir("/elsewhere");
    EXPECT_EQ(platform::GetSystemDir(), "/elsewhere");
}

TEST_F(PathsTest, DriversFolderMapsToARealFolder) {
    TempDir t;
    std::string drivers = t.MakeDir("system/Drivers/ZORV");
    platform::SetProgramDir(t.Path());
    char buf[260];
    UINT n = platform::GetSystemDirectory(buf, 246);
    ASSERT_GT(n, 0u);
    ASSERT_LT(n, 246u);
    EXPECT_EQ(platform::MapPath((std::string(buf) + "\\drivers\\Zorv").c_str()), drivers);
}

TEST_F(PathsTest, BufferContractsOfTheWindowsCalls) {
    platform::SetSystemDir("/abc");
    char buf[8] = "zzzzzzz";
    EXPECT_EQ(platform::GetSystemDirectory(buf, 5), 4u);  // exactly fits with its NUL
    EXPECT_STREQ(buf, "/abc");
    EXPECT_EQ(platform::GetSystemDirectory(buf, 4), 5u);  // too small: size needed, nothing copied
    EXPECT_STREQ(buf, "");

    ::setenv("PEX_TEST_VAR", "value", 1);
    EXPECT_EQ(platform::GetEnvironmentVariable("PEX_TEST_VAR", buf, sizeof buf), 5u);
    EXPECT_STREQ(buf, "value");
    EXPECT_EQ(platform::GetEnvironmentVariable("PEX_TEST_VAR", buf, 5), 6u);
    EXPECT_STREQ(buf, "");
    ::unsetenv("PEX_TEST_VAR");
    EXPECT_EQ(platform::GetEnvironmentVariable("PEX_TEST_VAR", buf, sizeof buf), 0u);
    EXPECT_EQ(platform::GetEnvironmentVariable(nullptr, buf, sizeof buf), 0u);
}

TEST_F(PathsTest, CurrentDirectoryFollowsChdir) {
    TempDir t;
    ScopedCwd cwd(t.Path());
    EXPECT_EQ(std::filesystem::canonical(platform::GetCurrentDirectory()), std::filesystem::canonical(t.Path()));
}
