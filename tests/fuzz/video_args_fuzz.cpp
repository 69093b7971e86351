// Fuzz target video_args: the video tests' whole argument texts, run through the transfers they start on the default rig.
#include <string>

#include "tests/fuzz/board_station.h"
#include "tests/fuzz/fuzz_targets.h"
#include "videopath/passthru_loopback.h"

namespace {

// Byte 0 picks the test and its sub-test; the rest, up to a NUL, is the argument text.
struct VideoCommand {
    const char* prefix;  // what goes before the arguments; null: VantrelLoop, run on its own object
    bool loadFpgas;
};
constexpr VideoCommand kCommands[] = {
    {"Brimola1 <CWexal \"Host Transfer:Packed Image\" ", false},
    {"Brimola1 <CWexal \"Host Transfer:Unpacked Image\" ", false},
    {"Brimola1 <CWexal \"Video Utility Client:YCbCr_8bit Image\" ", false},
    {"Brimola1 <CKerzil \"Bypass:Image:Unpacked\" ", true},
    {"Brimola1 <CSulvethA \"Bypass:Image:Unpacked\" ", true},
    {"Brimola1 <SulvethLoop ", true},
    {nullptr, true},
    {"Brimola1 <CVantrelExpansion \"Loopback\" ", true},
};
constexpr size_t kCommandCount = sizeof kCommands / sizeof kCommands[0];

// Sizes are bounded so that one input takes a small part of a second: pictures of at most
// kMaxSide pixels a side, transfers of at most kMaxBytes, few re-reads.
constexpr long kMaxSide = 64;
constexpr unsigned long kMaxBytes = 0x40000;
constexpr long kMaxRetries = 4;

}  // namespace

int FuzzVideoArgs(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const VideoCommand& command = kCommands[data[0] % kCommandCount];
    std::string args = fuzzstation::ArgumentText(data + 1, size - 1);
    const std::string upper = fuzzstation::Upper(args);
    if (!fuzzstation::NumbersAfterStayBelow(upper, "DIM", kMaxSide, false) ||
        !fuzzstation::NumbersAfterStayBelow(upper, "SIZE", kMaxBytes, true) ||
        !fuzzstation::NumbersAfterStayBelow(upper, "RETRYREAD", kMaxRetries, false))
        return 0;
    // The board link's sequence mode runs a pass for every multiple of Incr: billions for a small one.
    if (!command.prefix || std::strstr(command.prefix, "Vantrel")) {
        if (upper.find("SEQUENCE") != std::string::npos) return 0;
    }
    // The passthru loopbacks default to 512 x 512 words in each of four formats: too much here.
    const bool loopback = !command.prefix || std::strstr(command.prefix, "SulvethLoop");
    if (loopback && upper.find("DIM") == std::string::npos) args += " DIM=32,16";
    fuzzstation::Run(command.loadFpgas, [&](CBrimolaBoardTests& root) {
        if (!command.prefix) {
            CVantrelLoopbackTest vantrelLoop;
            vantrelLoop.Run(("Brimola1 " + args).c_str());
            return;
        }
        // Without DIM the harnesses take their resolution lists: one small picture, two patterns.
        const std::string test = std::string(command.prefix).substr(10, std::string(command.prefix).find(' ', 10) - 10);
        if (test == "CWexal" || test == "CKerzil" || test == "CSulvethA") {
            for (const char* list : {"RESOLUTION_LIST CLEAR", "RESOLUTION_LIST ADD=(DIM=(9,3))", "IMAGE_LIST CLEAR",
                                     "IMAGE_LIST ADD=GRID", "IMAGE_LIST ADD=(RANDOM SEED=5)"})
                root.Run(("Brimola1 <" + test + " " + list + ">").c_str());
        }
        root.Run((command.prefix + args + ">").c_str());
    });
    return 0;
}
