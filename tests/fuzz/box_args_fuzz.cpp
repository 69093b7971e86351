// Fuzz target box_args: the breakout-box tests' whole argument texts, run through the main-board root on the default rig or a cable rig.
#include <cstdio>
#include <string>
#include <vector>

#include "breakout/external_io.h"
#include "breakout/farnodek_tests.h"
#include "tests/fuzz/board_station.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

// Byte 0 picks the test and its keyword; the rest, up to a NUL, is the argument text.
struct BoxCommand {
    const char* prefix;
    bool cable;  // a loopback cable on the connector instead of the box
};
constexpr BoxCommand kCommands[] = {
    {"Brimola1 <CNulk Loopback Functional ", false},     {"Brimola1 <CNulk Internal Loopback Images ", false},
    {"Brimola1 <CNulk External Loopback Images ", false}, {"Brimola1 <CBexi Loopback Images ", false},
    {"Brimola1 <CNulk Test Yorb Command ", false},       {"Brimola1 <CableLoopback Loopback Functional ", true},
    {"Brimola1 <CableLoopback Loopback Images ", true},  {"Brimola1 <FarnoDeK ", false},
};
constexpr size_t kCommandCount = sizeof kCommands / sizeof kCommands[0];

// Sizes are bounded so that one input takes a small part of a second, while sizes the tests
// refuse at once stay in: pictures of at most kMaxSide pixels a side (or a side no image takes),
// blocks of at most kMaxBytes (or above the largest block), few frames of a video format.
constexpr unsigned long kMaxSide = 64, kRefusedSide = 0xFFFF;
constexpr unsigned long kMaxBytes = 0x40000, kRefusedBytes = 0x1000000;
constexpr unsigned long kMaxFormatFrames = 2, kRefusedFrames = 15;

int Broken(const char* promise) {
    std::fprintf(stderr, "broken promise: %s\n", promise);
    return 1;
}

template <class T> T* Child(CBrimolaBoardTests& root, const char* name) {
    const auto found = root.GetChildMap()->find(name);
    return found == root.GetChildMap()->end() ? nullptr : dynamic_cast<T*>(found->second);
}

void Fill(CStrList& list, std::vector<const char*> entries) {
    list.FreeStrings();
    for (const char* entry : entries) list.Add(entry);
}

}  // namespace

int FuzzBoxArgs(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const BoxCommand& command = kCommands[data[0] % kCommandCount];
    const std::string args = fuzzstation::ArgumentText(data + 1, size - 1);
    const std::string upper = fuzzstation::Upper(args);
    if (!fuzzstation::NumbersAfterStayBelow(upper, "DIM", kMaxSide, false, kRefusedSide) ||
        !fuzzstation::NumbersAfterStayBelow(upper, "SIZE", kMaxBytes, true, kRefusedBytes))
        return 0;
    // The format harnesses send frames of a whole video format each.
    const bool formats = std::strstr(command.prefix, "CBexi") || std::strstr(command.prefix, "External");
    if (formats && !fuzzstation::NumbersAfterStayBelow(upper, "FRAMES", kMaxFormatFrames, false, kRefusedFrames)) return 0;

    sim::RigConfig cableRig = sim::DefaultRig();
    for (sim::BoardConfig& board : cableRig.boards) {
        board.breakoutBox = false;
        board.loopbackCable = true;
    }
    int broken = 0;
    fuzzstation::Run(
        false,
        [&](CBrimolaBoardTests& root) {
            // Without DIM the harnesses take their lists: one small odd picture or the smallest
            // format of each list, two patterns.
            CNulk* nulk = Child<CNulk>(root, "CNulk");
            CBexi* bexi = Child<CBexi>(root, "CBexi");
            CCableLoopback* cable = Child<CCableLoopback>(root, "CableLoopback");
            if (!nulk || !bexi || !cable || !Child<CFarnoDeKTests>(root, "FarnoDeK")) {
                broken = Broken("the main-board root holds the four box tests");
                return;
            }
            for (CExternalIO* test : {static_cast<CExternalIO*>(nulk), static_cast<CExternalIO*>(bexi),
                                      static_cast<CExternalIO*>(cable)})
                Fill(*test->GetImageList(), {"GRID", "RANDOM SEED=5"});
            Fill(*nulk->GetResolutionList(), {"DIM=(9,3)"});
            Fill(*cable->GetResolutionList(), {"DIM=(9,3)"});
            Fill(*nulk->GetExternalResolutionList(), {"HVSDProjFmt_NTSC"});
            Fill(*bexi->GetResolutionList(), {"HVHDProjFmt_720P_5997FPS"});
            const DWORD result = root.Run((command.prefix + args + ">").c_str());
            // The box tests read no stop flag: every run passes or fails.
            if (result != kRunPassed && result != kRunFailed) broken = Broken("a box test answers passed or failed");
        },
        command.cable ? &cableRig : nullptr);
    return broken;
}
