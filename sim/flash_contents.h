// What a board's flash PROM holds: its segments, the image identification records at their ends, the healthy contents, and the image the board boots.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/flash_prom.h"
#include "sim/rig_config.h"

namespace sim {

// Word addresses and sizes of the parts of the flash.
struct FlashSegment {
    const char* name;
    uint32_t start;
    uint32_t words;
};
constexpr FlashSegment kSafeSegment{"SAFE", 0x000000, 0x100000};
constexpr FlashSegment kPcixSegment{"PCIX", 0x100000, 0x100000};
constexpr FlashSegment kPciSegment{"PCI", 0x200000, 0x100000};
constexpr uint32_t kExpArea = 0x3E0000;  // expansion ROM, mirrored at BAR0 0x0000
constexpr uint32_t kVpdArea = 0x3F0000;  // product data, mirrored at BAR0 0x2000
constexpr uint32_t kAreaWords = 0x2000;

// The first words of a segment that holds a Wexal image (its bit stream preamble as words).
constexpr uint16_t kSegmentHeader[6] = {0xFFFF, 0xFFFF, 0x9955, 0x66AA, 0x000C, 0x8001};

// The image identification record at the end of a segment, in the layout the flash programming
// test writes and reads (byte offsets from the segment start, S the segment size in bytes, all
// fields little-endian): S-8 revision (u16), S-6 header length 8 (u16), S-4 offset T of the text
// list (u32, 0xFFFFFFFF without text); the text list (zero-terminated texts ended by an empty one,
// L bytes) at T = (S - 8 - L) rounded down to even; zero from T + L to S - 9; 0xFF from T rounded
// down to 32 up to T.
struct ImageIdRecord {
    uint16_t revision = 0;
    uint32_t textOffset = 0xFFFFFFFF;
    std::vector<std::string> texts;
};

// Writes the record for an image of imageWords words straight into the array, in the free space
// after the image (a list that does not fit there leaves a header-only record; no room for 32 bytes
// leaves none). Answers whether a record was written.
bool WriteImageIdRecord(FlashProm& flash, const FlashSegment& segment, uint32_t imageWords, const ImageIdRecord& record);
// Reads a segment's record from the array as the report does (the record may take up to 0x20000
// bytes); false when there is none.
bool ReadImageIdRecord(const FlashProm& flash, const FlashSegment& segment, ImageIdRecord* out);

// The first text of a record as the factory installs it.
std::string FactoryInstallerText(const std::string& fileName);

// A healthy board's flash: the SAFE, PCIX and PCI segments hold the Wexal images of the board's
// family (ZVKS; the rig's PCIX image, PUVI or ZVKX on the main board, KEZO on the codec board; ZVKP) with records whose revision
// is the board's running revision and a build digit, the EXP area the expansion ROM (LOJT, RYVD)
// and the VPD area the product-data image of the rig's fields. A segment named by a missing-header
// fault stays blank.
void InstallHealthyContents(FlashProm& flash, const BoardConfig& config);

// The board controller tries the PCIX segment first, then PCI, then SAFE, and boots the first whose
// header is intact (SAFE when none is).
enum class BootImage { Pcix, Pci, Safe };
BootImage ChooseBootImage(const FlashProm& flash);
const FlashSegment& SegmentOf(BootImage image);

}  // namespace sim
