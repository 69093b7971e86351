// The board initialisation program: its argument lists, the data folder found without regard to case, exit codes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/process.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(InitPexano, ArgumentListsAndExitCodes) {
    support::TempDir dir;
    dir.MakeDir("testdata");
    const std::string program = std::string(PEX_INITPEXANO) + ".exe";  // as the roots name it
    const struct {
        const char* name;
        std::vector<std::string> args;
        const char* forced;  // PEXANO_INIT_EXIT
        int code;
        const char* says;  // on stdout for a run, on stderr for a refusal
    } rows[] = {
        {"main board", {"-c", "-v"}, nullptr, 0, "initialising the main board"},
        {"codec board, data folder by another case", {"-b", "-v", "-p", dir / "TestData"}, nullptr, 0, "testdata"},
        {"forced exit code", {"-c", "-v"}, "3", 3, "exit code 3"},
        {"no board", {"-v"}, nullptr, 1, "give -c"},
        {"both boards", {"-c", "-b"}, nullptr, 1, "give one of -c and -b"},
        {"unknown argument", {"-c", "-x"}, "3", 1, "unknown argument \"-x\""},
        {"no folder after -p", {"-b", "-p"}, nullptr, 1, "-p needs a data folder"},
        {"missing folder", {"-b", "-p", dir / "none"}, nullptr, 1, "no data folder"},
        {"bad forced code", {"-c"}, "x", 1, "PEXANO_INIT_EXIT \"x\""},
    };
    for (const auto& row : rows) {
        if (row.forced) setenv("PEXANO_INIT_EXIT", row.forced, 1);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(platform::RunProcess(program, row.args), row.code) << row.name;
        const std::string out = testing::internal::GetCapturedStdout(), err = testing::internal::GetCapturedStderr();
        EXPECT_NE((row.code == 1 ? err : out).find(row.says), std::string::npos) << row.name << ":\n" << out << err;
        unsetenv("PEXANO_INIT_EXIT");
    }
}

}  // namespace
