// The main-board station of the board-level fuzz targets: a scratch host folder with the firmware images, a fresh default rig and root for every input.
#pragma once

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
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

// The argument text of an input's bytes from data on (size of them), up to a NUL: angle brackets
// become spaces, so the text stays inside the one command, neither ending it nor starting another.
inline std::string ArgumentText(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    for (char& c : text)
        if (c == '<' || c == '>') c = ' ';
    return text;
}

inline std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Whether every number written within a few characters after each occurrence of key stays at
// most limit (read in base 16 when hex), or lies above refusedAbove, where the tests refuse it at
// once. Any reading of the value a parser might make is covered: each run of digits counts on its own.
inline bool NumbersAfterStayBelow(const std::string& upper, const char* key, unsigned long limit, bool hex,
                                  unsigned long long refusedAbove = ULLONG_MAX) {
    for (size_t at = upper.find(key); at != std::string::npos; at = upper.find(key, at + 1)) {
        const size_t end = std::min(upper.size(), at + std::strlen(key) + 32);
        for (size_t i = at + std::strlen(key); i < end;) {
            const auto digit = [&](char c) { return hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : std::isdigit(static_cast<unsigned char>(c)) != 0; };
            if (!digit(upper[i])) {
                ++i;
                continue;
            }
            size_t j = i;
            while (j < upper.size() && digit(upper[j])) ++j;
            if (hex && upper.compare(i, 2, "0X") == 0) {  // the 0 of a 0x prefix
                i += 2;
                continue;
            }
            const std::string run = upper.substr(i, j - i);
            const unsigned long long value = run.size() > 15 ? ULLONG_MAX : std::strtoull(run.c_str(), nullptr, hex ? 16 : 10);
            if (value > limit && value <= refusedAbove) return false;
            i = j;
        }
    }
    return true;
}

// Runs body(root) with the station's folder as program and current folder, on the default rig
// (or rig, when given) as it powers up and a main-board root built on it; with loadFpgas the five configuration-port
// FPGAs are loaded first, as the tree's "Program FPGAs" folder loads them. Whatever was printed
// is dropped, and the program folder is given back.
template <class Body>
void Run(bool loadFpgas, Body&& body, const sim::RigConfig* rig = nullptr) {
    const support::TempDir& dir = Folder();
    const std::string programDir = platform::GetProgramDir();
    platform::SetProgramDir(dir.Path());
    {
        const support::ScopedCwd cwd(dir.Path());
        if (rig) devlib::LoadRig(*rig);
        else devlib::LoadDefaultRig();
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
