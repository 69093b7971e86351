// What a simulated rig is made of: boards, what is attached, sensor settings and injected faults, read from JSON.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sim {

enum class BoardKind { Brimola, Nuxa };

// Faults are data: each kind below is one entry of a board's fault list (docs/rig.md lists them).
struct SdramStuckBit {
    uint64_t from = 0, to = 0;  // byte address range [from, to) of the physical cells
    int bit = 0;                // bit of the 32-bit word
    int value = 0;
};

// Address line `line` (a byte-address bit) is driven by line `source`, or held at `value` when
// source is -1. Either way two bus addresses land on the same cells.
struct SdramAlias {
    int line = 0;
    int source = -1;
    int value = 0;
};

// Soft errors on read: each 32-bit word read from [from, to) has one bit flipped with probability rate.
struct SdramFlips {
    double rate = 0.0;
    uint64_t seed = 1;
    uint64_t from = 0, to = 0;
};

struct DmaStall {
    int channel = 0;
};

// The words of every transfer of the channel from index first (count of them, 0 = to the end) are
// XORed with mask in flight.
struct DmaCorrupt {
    int channel = 0;
    uint32_t mask = 0;
    uint32_t first = 0;
    uint32_t count = 1;
};

// At completion the live context shows tag (or the real tag XOR 1 when tag is -1).
struct DmaWrongTag {
    int channel = 0;
    int tag = -1;
};

// A bit of a DCB or BCU register that always reads (and acts) as value.
struct RegisterStuckBit {
    uint32_t offset = 0;
    int bit = 0;
    int value = 0;
};

struct BoardFaults {
    std::vector<SdramStuckBit> sdramStuck;
    std::vector<SdramAlias> sdramAlias;
    std::vector<SdramFlips> sdramFlips;
    std::vector<DmaStall> dmaStall;
    std::vector<DmaCorrupt> dmaCorrupt;
    std::vector<DmaWrongTag> dmaWrongTag;
    std::vector<RegisterStuckBit> registerStuck;
    std::vector<std::string> missingSpaces;  // space names: "SDRAM", "BAR0"
    bool missing = false;                    // the board does not enumerate
};

struct BoardConfig {
    std::string tag;
    BoardKind kind = BoardKind::Brimola;
    uint64_t sdramBytes = 0;
    uint32_t revision = 0xC75;  // running Wexal image revision, low 12 bits significant
    std::vector<std::pair<std::string, std::string>> vpd;  // product-data fields in image order
    bool breakoutBox = false;
    int fpgaTempC = 45;
    int fpgaTempLimitC = 85;
    BoardFaults faults;
};

struct DmaTiming {
    bool modelled = false;              // false: a transfer is done at the first status read
    uint64_t bytesPerSecond = 600ull << 20;
};

struct RigConfig {
    std::vector<BoardConfig> boards;
    DmaTiming dmaTiming;
    uint64_t hostMemoryBytes = 1024ull << 20;  // host DMA memory the driver may hand out
};

// One healthy main board "Brimola1", one healthy codec board "Nuxa1", breakout box on the main board.
RigConfig DefaultRig();
BoardConfig DefaultBoard(BoardKind kind, const std::string& tag);

// Parses a rig description. On failure returns false and sets error to one line naming the file
// and the key ("rig file \"x.json\": key \"boards[0].sdram_mib\": ...").
bool ParseRig(const std::string& text, const std::string& fileName, RigConfig& out, std::string& error);
bool LoadRigFile(const std::string& path, RigConfig& out, std::string& error);

}  // namespace sim
