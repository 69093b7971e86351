// Fuzz target of a rig file together with the flash image and memory clock store it names.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "devlib/rig.h"
#include "sim/rig.h"
#include "sim/rig_config.h"
#include "tests/fuzz/fuzz_targets.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr size_t kFlashBytes = 0x800000;

const support::TempDir& Scratch() {
    static const support::TempDir dir;
    return dir;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A main board's healthy flash as the rig creates it, made once.
const std::string& HealthyFlash() {
    static const std::string image = [] {
        const std::string path = Scratch() / "healthy.img";
        sim::RigConfig config;
        config.boards = {sim::DefaultBoard(sim::BoardKind::Brimola, "Brimola1")};
        config.boards[0].flashImage = path;
        { sim::Rig rig(config); }
        std::string bytes = ReadFile(path);
        std::filesystem::remove(path);
        return bytes;
    }();
    return image;
}

uint32_t LE(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

int Broken(const char* promise) {
    std::fprintf(stderr, "broken promise: %s\n", promise);
    return 1;
}

}  // namespace

// Layout: byte 0 flags (bit 0 a store file, bit 1 a flash file, bit 2 the flash file is the flash
// part as it is rather than the healthy image with the part written over it), bytes 1-2 the rig's
// length, 3-4 the store's, 5-7 the byte offset of the flash part in the image; then the rig, the
// store and the flash part. In the rig "@DIR@" stands for the scratch folder: flash.img and
// clock.store there are the files made here; a rig naming any other file is not loaded, so that
// nothing is written outside the folder.
int FuzzRigFileStore(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    const uint8_t flags = data[0];
    size_t rest = size - 8;
    const uint8_t* at = data + 8;
    const size_t rigLength = std::min<size_t>(LE(data + 1, 2), rest);
    std::string rig(reinterpret_cast<const char*>(at), rigLength);
    at += rigLength, rest -= rigLength;
    const size_t storeLength = std::min<size_t>(LE(data + 3, 2), rest);
    const std::string store(reinterpret_cast<const char*>(at), storeLength);
    at += storeLength, rest -= storeLength;
    const std::string part(reinterpret_cast<const char*>(at), rest);

    const support::TempDir& dir = Scratch();
    const std::string flashPath = dir / "flash.img", storePath = dir / "clock.store", rigPath = dir / "rig.json";
    std::error_code ec;
    std::filesystem::remove(flashPath, ec);
    std::filesystem::remove(storePath, ec);
    if (flags & 1) dir.Write("clock.store", store);
    std::string flash;
    if (flags & 2) {
        if (flags & 4) {
            flash = part;
        } else {
            flash = HealthyFlash();
            const size_t offset = LE(data + 5, 3) % kFlashBytes;
            flash.replace(offset, std::min(part.size(), kFlashBytes - offset), part, 0, kFlashBytes - offset);
        }
        dir.Write("flash.img", flash);
    }
    for (size_t p = rig.find("@DIR@"); p != std::string::npos; p = rig.find("@DIR@", p + dir.Path().size()))
        rig.replace(p, 5, dir.Path());
    dir.Write("rig.json", rig);

    sim::RigConfig config;
    std::string error;
    if (!sim::LoadRigFile(rigPath, config, error)) {
        if (error.rfind("rig file \"", 0) != 0 || error.find('\n') != std::string::npos) return Broken("one line naming the rig file");
        return 0;
    }
    for (const sim::BoardConfig& board : config.boards) {
        if (!board.flashImage.empty() && board.flashImage != flashPath) return 0;
        if (!board.memoryClock.store.empty() && board.memoryClock.store != storePath) return 0;
        if (board.flashImage == flashPath && (flags & 2) && flash.size() != kFlashBytes) return Broken("a flash image of another size is refused");
    }
    // A store that holds anything but a clock word is no store: the rig is refused, in one line.
    if (const std::string why = sim::CheckKeptContents(config); !why.empty()) {
        if (why.rfind("key \"boards[", 0) != 0 || why.find('\n') != std::string::npos) return Broken("a refusal is one line naming the key");
        if ((flags & 1) && ReadFile(storePath) != store) return Broken("a refused rig leaves the clock store as it was");
        return 0;
    }
    devlib::LoadRig(config);
    // Loading reads the files and writes neither.
    if ((flags & 2) && ReadFile(flashPath) != flash) return Broken("loading leaves the flash image as it was");
    if ((flags & 1) && ReadFile(storePath) != store) return Broken("loading leaves the clock store as it was");
    return 0;
}
