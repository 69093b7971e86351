// Fuzz target codec_args: the codec chip tests' argument texts (packer, unpacker, and a few cheap encoder and diagnostics keywords) through the codec-board root on the default rig.
#include <algorithm>
#include <filesystem>
#include <string>

#include "tests/fuzz/board_station.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

// Byte 0 picks the command; image is the chip image programmed first (null: none), keyword null
// means the argument text starts with one of the cheap keywords below, picked by byte 4.
struct CodecCommand {
    const char* test;
    const char* image;
    const char* keyword;
};
constexpr CodecCommand kCommands[] = {
    {"CSorbelinPackerA", "PAQE", "\"Video:Image\""},
    {"CSorbelinPackerB", "PAQE", "\"Video:Alpha\""},
    {"CSorbelinPackerA", "PAQE", "\"Video:Mixed\""},
    {"CSorbelinPackerB", "PAQE", "\"Video:Mixed\""},
    {"CSorbelinPackerA", nullptr, "\"Save Image\""},
    {"CSorbelinPackerB", nullptr, "\"Save Alpha\""},
    {"CSorbelinPackerA", "PAQE", nullptr},
    {"CSorbelinUnpackerA", "UPQE", "\"Video:Image\""},
    {"CSorbelinUnpackerB", "UPQE", "\"Video:Image:Mask\""},
    {"CSorbelinUnpackerA", "UPQE", "\"Video:Alpha\""},
    {"CSorbelinUnpackerA", "UPQE", "\"Video:Mixed\""},
    {"CSorbelinUnpackerB", "UPQE", "\"Expansion:Image\""},
    {"CSorbelinUnpackerA", nullptr, "\"Test Wexal Memory\""},
    {"CSorbelinUnpackerA", nullptr, "\"Save Image\""},
    {"CSorbelinUnpackerB", nullptr, "\"Save Alpha\""},
    {"CSorbelinUnpackerA", nullptr, "\"Unpack Image SW\""},
    {"CSorbelinUnpackerB", "UPQE", nullptr},
    {"CSorbelinEncoderA", "GUWT", nullptr},
    {"CSorbelinDiagA", "SDIA", nullptr},
};
constexpr size_t kCommandCount = sizeof kCommands / sizeof kCommands[0];
// Keywords that answer at once, whatever the test (those a test lacks are refused).
constexpr const char* kCheapKeywords[] = {"Show Status",   "Show Context Ram", "Show RevID", "Show Programmed Info", "RAM_Init",
                                          "Reset",         "Dump Regs",        "FIFO EMIF_A", "Register read EMIF_B", "\"Context RAM\"",
                                          "Set Environment"};
constexpr size_t kCheapCount = sizeof kCheapKeywords / sizeof kCheapKeywords[0];

// One picture is at most this many pixels (a 4095-pixel side still runs, against a short other
// side), so that an input of fifteen frames takes a fraction of a second.
constexpr unsigned kMaxPixels = 1u << 14;

// The station's folder with the codec chips' images, as the tree's programming steps find them.
void InstallChipImages() {
    static const bool done = [] {
        for (const char* id : {"PAQE", "UPQE", "GUWT", "SDIA"}) {
            const std::string name = std::string(id) + "0202.oxd";
            std::filesystem::copy_file(std::string(PEX_TESTDATA_DIR) + "/oxd/" + name, fuzzstation::Folder().File("testdata/" + name),
                                       std::filesystem::copy_options::overwrite_existing);
        }
        return true;
    }();
    static_cast<void>(done);
}

}  // namespace

// Bytes 1-3: the picture's width and height (12 bits each, the height cut so the picture stays
// small); byte 4: the cheap keyword; the rest, up to a NUL, the argument text.
int FuzzCodecArgs(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const CodecCommand& command = kCommands[data[0] % kCommandCount];
    unsigned width = data[1] | (data[2] & 0xF) << 8, height = data[3] | (data[2] >> 4) << 8;
    if (width && height > kMaxPixels / width) height = std::max(1u, kMaxPixels / width);
    std::string args = fuzzstation::ArgumentText(data + 5, size - 5);
    // Any file the arguments name stays in the station's folder (no separator, so no other
    // folder); the picture's size is the target's.
    if (args.find_first_of("/\\") != std::string::npos) return 0;
    const std::string upper = fuzzstation::Upper(args);
    for (size_t at = upper.find("DIM"); at != std::string::npos; at = upper.find("DIM", at + 1)) args[at] = 'X';
    InstallChipImages();
    const std::string keyword = command.keyword ? command.keyword : kCheapKeywords[data[4] % kCheapCount];
    const std::string test = std::string("Nuxa1 <") + command.test + " ";
    fuzzstation::RunCodec([&](CNuxaBoardTests& root) {
        if (command.image)
            root.Run((test + "Program VERBOSITY=1 FILE=$(CWD)\\testdata\\" + command.image + "$(VPDVER).oxd>").c_str());
        // Should a command fall back on the lists: one small odd picture, two patterns.
        for (const char* list : {"RESOLUTION_LIST CLEAR", "RESOLUTION_LIST ADD=(DIM=(9,5))", "IMAGE_LIST CLEAR", "IMAGE_LIST ADD=GRID",
                                 "IMAGE_LIST ADD=(RANDOM SEED=5)"})
            root.Run((test + list + ">").c_str());
        root.Run((test + keyword + " DIM=(" + std::to_string(width) + "," + std::to_string(height) + ") " + args + ">").c_str());
    });
    return 0;
}
