// The board roots built in a test, with the host's folder they expect, for the tests of their keyword commands.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "boards/roots/brimola_board_tests.h"
#include "boards/roots/nuxa_board_tests.h"
#include "platform/paths.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"

// The host's folder for the roots: the current folder, holding the shipped firmware images (under
// "testdata") and the compatibility rules, without a tree file.
struct HostFolder {
    HostFolder() {
        devlib::LoadDefaultRig();  // the boards as they power up
        static const std::string bin = platform::GetProgramDir();
        std::filesystem::create_directory_symlink(bin + "testdata", cwd.Dir().File("testdata"));
        cwd.Dir().Write("DeviceCompatiblity.txt", support::ReadText(bin + "DeviceCompatiblity.txt"));
        cwd.Dir().Write("CmdLine", "pexhost ");
        platform::SetProgramDir(cwd.Dir().Path());
    }
    ~HostFolder() {
        platform::SetProgramDir("");
        devlib::LoadDefaultRig();
    }
    support::InTempCwd cwd;
};

// Both roots, recording what they print; commands go to the root of the board they name.
class RootKeywords : public ::testing::Test {
protected:
    RootKeywords() { support::TakeText(); }  // what the roots printed while they were built
    ~RootKeywords() override { support::TakeText(); }
    const support::TempDir& Dir() const { return host.cwd.Dir(); }
    // Runs a command on the root of the board's kind; the text it printed comes back in out.
    DWORD Run(const std::string& command, std::string* out = nullptr) {
        support::OutputLog& log = command.rfind("Nuxa", 0) == 0 ? nuxa.out : brimola.out;
        log = {};
        const DWORD result = command.rfind("Nuxa", 0) == 0 ? nuxa.Run(command.c_str()) : brimola.Run(command.c_str());
        if (out) *out = log.text + support::TakeText();  // the member tests print without a host
        return result;
    }

    HostFolder host;
    support::Recording<CBrimolaBoardTests> brimola{"CBrimolaBoard"};
    support::Recording<CNuxaBoardTests> nuxa{"CNuxaBoard"};
};
