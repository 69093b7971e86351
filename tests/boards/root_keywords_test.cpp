// Tests of the board roots' own keyword commands, run through the root as the host runs them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "boards/roots/brimola_board_tests.h"
#include "boards/roots/nuxa_board_tests.h"
#include "framework/result_screen.h"
#include "platform/paths.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"

namespace {

using support::HasAll;
using support::Recording;
using support::TakeText;

// The host's folder for the roots: the current folder, holding the shipped firmware images (under
// "testdata") and the compatibility rules, without a tree file.
struct HostFolder {
    HostFolder() {
        static const std::string bin = platform::GetProgramDir();
        std::filesystem::create_directory_symlink(bin + "testdata", cwd.Dir().File("testdata"));
        cwd.Dir().Write("DeviceCompatiblity.txt", support::ReadText(bin + "DeviceCompatiblity.txt"));
        cwd.Dir().Write("CmdLine", "pexhost ");
        platform::SetProgramDir(cwd.Dir().Path());
    }
    ~HostFolder() { platform::SetProgramDir(""); }
    support::InTempCwd cwd;
};

class RootKeywords : public ::testing::Test {
protected:
    ~RootKeywords() override { TakeText(); }
    const support::TempDir& Dir() const { return host.cwd.Dir(); }
    // Runs a command on the root of the board's kind; the text it printed comes back in out.
    DWORD Run(const std::string& command, std::string* out = nullptr) {
        support::OutputLog& log = command.rfind("Nuxa", 0) == 0 ? nuxa.out : brimola.out;
        log = {};
        const DWORD result = command.rfind("Nuxa", 0) == 0 ? nuxa.Run(command.c_str()) : brimola.Run(command.c_str());
        if (out) *out = log.text;
        return result;
    }

    HostFolder host;
    Recording<CBrimolaBoardTests> brimola{"CBrimolaBoard"};
    Recording<CNuxaBoardTests> nuxa{"CNuxaBoard"};
};

TEST_F(RootKeywords, FillPatternsRefillTheCodecBuffer) {
    // Each row runs after the one before it, on one buffer; values are the documented examples.
    struct Row { const char* command; DWORD result; std::vector<std::pair<int, DWORD>> words; };
    const Row rows[] = {
        {"", kRunPassed, {{0, 0x03020100}, {1, 0x07060504}, {64, 0x03020100}, {4095, 0xFFFEFDFC}}},  // at construction
        {"Incrementing", kRunPassed, {{0, 0}, {1023, 1023}, {4095, 4095}}},
        {"Specify DWord 0x12345678", kRunPassed, {{0, 0x12345678}, {1023, 0x12345678}, {1024, 1024}}},
        {"Increment XOR 0x00000000", kRunPassed, {{0, 0}, {1, 0x04040404}, {64, 0x01010100}, {1024, 1024}}},
        {"Increment XOR 0x000000FF", kRunPassed, {{0, 0xFF}, {1, 0x040404FB}}},
        {"Specify DWord 12345678", kRunPassed, {{0, 0}, {1023, 0}, {1024, 1024}}},  // no "0x": V is 0
        {"Zero", kRunPassed, {{0, 0}, {4095, 0}}},
        {"Unique Byte", kRunPassed, {{0, 0x03020100}, {4095, 0xFFFEFDFC}}},
        {"Zero VERBOSE=0", kRunFailed, {{0, 0x03020100}}},  // exact keywords: not recognised
        {"zero", kRunFailed, {{4095, 0xFFFEFDFC}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        if (*row.command) {
            EXPECT_EQ(Run(std::string("Nuxa1 <CNuxaBoard ") + row.command + ">"), row.result);
        }
        for (const auto& [index, value] : row.words) EXPECT_EQ(nuxa.GetPatternBuffer()[index], value) << index;
    }
    EXPECT_EQ(nuxa.GetPatternBuffer().size(), 4096u);
}

TEST_F(RootKeywords, CompareFilesReportsTheFirstDifference) {
    Dir().Write("a.bin", "abc");
    Dir().Write("same.bin", "abc");
    Dir().Write("other.bin", "abd");
    Dir().Write("long.bin", "abcd");
    Dir().Write("e1.bin", "");
    Dir().Write("e2.bin", "");
    struct Row { std::string arguments; DWORD result; const char* message; };
    const std::string a = " FILE1=" + Dir().File("a.bin");
    const Row rows[] = {
        {a + " FILE2=" + Dir().File("same.bin"), kRunPassed, ""},
        {" FILE1=" + Dir().File("e1.bin") + " FILE2=" + Dir().File("e2.bin"), kRunPassed, ""},
        {a + " FILE2=" + Dir().File("other.bin"), kRunFailed, "] does not match FILE2["},
        {a + " FILE2=" + Dir().File("long.bin"), kRunFailed, "] have different lengths.\n"},
        {" FILE2=" + Dir().File("a.bin"), kRunFailed, "ERROR:  FILE1= not specified on the command line.\n"},
        {a, kRunFailed, "ERROR:  FILE2= not specified on the command line.\n"},
        {a + " FILE2=" + Dir().File("none.bin"), kRunFailed, "ERROR:  Unable to expand variables FILE2["},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments);
        std::string out;
        EXPECT_EQ(Run("Nuxa1 <CNuxaBoard Compare Files" + row.arguments + ">", &out), row.result);
        EXPECT_TRUE(HasAll(out, {row.message}));
        EXPECT_EQ(nuxa.out.HasColoured("ERROR:  File compare failed\n", kColorRed), row.result != kRunPassed);
    }
}

}  // namespace
