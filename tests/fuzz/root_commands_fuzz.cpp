// Fuzz target of the board roots' own keyword commands and of the split of "<device> <<test> <arguments>>".
#include <cstdio>
#include <cstring>
#include <string>

#include "boards/roots/brimola_board_tests.h"
#include "boards/roots/nuxa_board_tests.h"
#include "devlib/rig.h"
#include "framework/test_base.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

// The roots' commands that neither start another program (InitPexano), write files (FileMap, Copy
// File, the peak monitor's log), nor run for long; each is looked up as the roots look it up.
constexpr const char* kKeywords[] = {
    "Display Rev",   "Show VPD Information", "Show DCB Info",   "\"Save Image\"",  "\"Save Alpha\"",
    "Program",       "I2C Clock",            "\"Show DIMM Information\"",         "\"Check VPD Structure\"",
    "\"Show Device Temperatures\"",          "Zero",            "Unique Byte",     "Incrementing",
    "Increment XOR", "Specify DWord",        "Show Test Summary", "Compare Files",
};
constexpr size_t kKeywordCount = sizeof kKeywords / sizeof kKeywords[0];
constexpr size_t kMaxCommand = 512;

bool StartsWithAllowedKeyword(const CString& arguments) {
    if (arguments.Find("PEAK") >= 0) return false;  // the monitor's loop and its log
    for (const char* keyword : kKeywords)
        if (std::strncmp(arguments.c_str(), keyword, std::strlen(keyword)) == 0) return true;
    return false;
}

// Both roots, built on the default rig as the plug-in builds them (never destroyed: they live as
// long as the process, as the plug-in's do).
struct Roots {
    static bool LoadRig() {
        devlib::LoadDefaultRig();
        return true;
    }
    bool rig = LoadRig();
    CBrimolaBoardTests* brimola = new CBrimolaBoardTests("CBrimolaBoard");
    CNuxaBoardTests* nuxa = new CNuxaBoardTests("CNuxaBoard");
};

}  // namespace

// Byte 0: bit 0 picks the board, bit 1 whether the rest is the whole command line (the split
// decides where it goes) or the arguments after a keyword that the next byte picks.
int FuzzRootCommands(const uint8_t* data, size_t size) {
    static Roots roots;
    CTestBase::TakePreHostText(TRUE);
    if (size < 2 || size > kMaxCommand) return 0;
    const bool main = (data[0] & 1) == 0;
    CBoardRoot* root = main ? static_cast<CBoardRoot*>(roots.brimola) : static_cast<CBoardRoot*>(roots.nuxa);
    const std::string device = main ? "Brimola1" : "Nuxa1";
    const std::string name = main ? "CBrimolaBoard" : "CNuxaBoard";
    std::string command;
    if (data[0] & 2) {
        command.assign(reinterpret_cast<const char*>(data + 1), strnlen(reinterpret_cast<const char*>(data + 1), size - 1));
        CString object, test, arguments;
        // Only the root's own commands run, never a member test (a memory test over the whole
        // SDRAM, say); an unknown test or device is answered at once.
        if (root->FindTest(command.c_str(), object, test, arguments) &&
            (test != name.c_str() || !StartsWithAllowedKeyword(arguments)))
            return 0;
    } else {
        std::string rest(reinterpret_cast<const char*>(data + 2), strnlen(reinterpret_cast<const char*>(data + 2), size - 2));
        command = device + " <" + name + " " + kKeywords[data[1] % kKeywordCount] + rest + ">";
        CString object, test, arguments;
        root->FindTest(command.c_str(), object, test, arguments);
        if (!StartsWithAllowedKeyword(arguments)) return 0;
    }
    const DWORD result = root->Run(command.c_str());
    CTestBase::TakePreHostText(TRUE);
    // A run answers a run result (0 for a keyword command that refused its arguments).
    if (result > kRunStopped) {
        std::fprintf(stderr, "broken promise: a root command answers 0-3, not %u\n", static_cast<unsigned>(result));
        return 1;
    }
    return 0;
}
