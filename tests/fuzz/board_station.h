// The main-board station of the board-level fuzz targets: a scratch host folder with the firmware images, a fresh default rig and root for every input.
#pragma once

#include <string>
#include <vector>

#include "boards/roots/brimola_board_tests.h"
#include "boards/roots/nuxa_board_tests.h"
#include "devlib/rig.h"
#include "framework/test_base.h"
#include "platform/paths.h"
#include "sim/firmware_images.h"
#include "sim/rig_config.h"
#include "tests/support/temp_dir.h"

namespace fuzzstation {

// The folder a run treats as both the program folder and the current one: "CmdLine" and the
// configuration images under "testdata", as the host's folder holds them. Made once a process.
inline const support::TempDir& Folder() {
    static const support::TempDir dir;
    static const bool ready = [] {
        dir.Write("CmdLine", "pexhost ");
        dir.MakeDir("testdata");
        for (const sim::FirmwareImage& image : sim::FirmwareCatalogue()) {
            if (image.kind != sim::FirmwareImage::Kind::FpgaConfig) continue;
            const std::vector<uint8_t> bytes = sim::BuildOxdFile(image, sim::BoardConfig{}.revision);
            dir.Write("testdata/" + sim::FirmwareFileName(image), std::string(bytes.begin(), bytes.end()));
        }
        return true;
    }();
    static_cast<void>(ready);
    return dir;
}

// Runs body(root) with the station's folder as program and current folder, on the default rig
// as it powers up and a main-board root built on it; with loadFpgas the five configuration-port
// FPGAs are loaded first, as the tree's "Program FPGAs" folder loads them. Whatever was printed
// is dropped, and the program folder is given back.
template <class Body>
void Run(bool loadFpgas, Body&& body) {
    const support::TempDir& dir = Folder();
    const std::string programDir = platform::GetProgramDir();
    platform::SetProgramDir(dir.Path());
    {
        const support::ScopedCwd cwd(dir.Path());
        devlib::LoadDefaultRig();
        CBrimolaBoardTests root("CBrimolaBoard");
        if (loadFpgas) {
            static const char* const files[] = {"LOCV", "TAZU", "TAZU", "FESK", "FESK"};
            for (int device = 0; device < 5; ++device)
                root.Run(("Brimola1 <CBrimolaBoard Program DEVICE=" + std::to_string(device) + " FILE=$(CWD)\\testdata\\" +
                          files[device] + "$(VPDVER).oxd>").c_str());
        }
        body(root);
        CTestBase::TakePreHostText(TRUE);
    }
    devlib::LoadDefaultRig();
    platform::SetProgramDir(programDir);
}

// Runs body(root) as Run does, with a codec-board root on the default rig as it powers up.
template <class Body>
void RunCodec(Body&& body) {
    const support::TempDir& dir = Folder();
    const std::string programDir = platform::GetProgramDir();
    platform::SetProgramDir(dir.Path());
    {
        const support::ScopedCwd cwd(dir.Path());
        devlib::LoadDefaultRig();
        CNuxaBoardTests root("CNuxaBoard");
        body(root);
        CTestBase::TakePreHostText(TRUE);
    }
    devlib::LoadDefaultRig();
    platform::SetProgramDir(programDir);
}

}  // namespace fuzzstation
