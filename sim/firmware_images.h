// The project's synthetic firmware images: what each one carries, and their OXD files as the generator writes them and the flash holds them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/rig_config.h"

namespace sim {

// An OXD file: the 8 characters "ZORV.OXD", the header length L (big-endian u32, also the offset
// of the data), the header text from byte 12 to L - 1, then the data. The header text starts with
// a fixed block of 32 characters and goes on with the tags:
//
//   text offset  content
//   0            'R'
//   1-4          the image revision, four hexadecimal digits
//   5            'F'
//   6-9          the image id ("ZVKX")
//   10           'M'
//   11-31        the board family, blank-padded
//   32 on        tags "X:value;": N name (id and VPD revision, "ZVKX0202"), R revision, P part
//                number, B board family, W lowest Wexal revision the image works with; then zero
//                bytes up to L, which is a multiple of 16
//
// The fixed block holds no colon, so a tag search over the whole header text finds only the tags.
constexpr char kOxdMagic[8] = {'Z', 'O', 'R', 'V', '.', 'O', 'X', 'D'};
constexpr size_t kOxdFixedHeader = 32;

struct FirmwareImage {
    enum class Kind {
        FpgaConfig,     // a configuration-port FPGA's bit stream
        WexalImage,     // a main FPGA image held in a flash segment
        ExpansionRom,   // the flash EXP area (mirrored at BAR0 0x0000)
        ProductData,    // the flash VPD area (mirrored at BAR0 0x2000)
    };
    const char* id;
    Kind kind;
    BoardKind board;       // the board family the image is made for
    uint16_t targets;      // bit stream targets (see Bitstream); 0 for the data areas
    uint32_t idWord;       // what the configured FPGA reports (bits 31-20 device, 19-12 major, 11-0 minor)
    uint32_t dataBytes;    // size of the data part of the file
};

// Every image of the set, configuration images first.
const std::vector<FirmwareImage>& FirmwareCatalogue();
// The image of that 4-character id (case-sensitive), or null.
const FirmwareImage* FindFirmwareImage(const std::string& id);

// The revision a Wexal image of running revision rev (low 12 bits) carries: four hexadecimal digits
// in the fixed header ("C750": the revision and a build digit) and the 'R' tag ("0C75"). Other
// images carry the product-data revision "0202" in both.
std::string ImageRevisionDigits(const FirmwareImage& image, uint32_t wexalRevision);
std::string ImageRevisionTag(const FirmwareImage& image, uint32_t wexalRevision);

// "ZVKX0202.oxd".
std::string FirmwareFileName(const FirmwareImage& image);

// The header text from its first character up to (not including) the zero padding.
std::string OxdHeaderText(const FirmwareImage& image, uint32_t wexalRevision);

// The data part: the bit stream for FPGA and Wexal images, the expansion ROM or the product-data
// image of a healthy board of the image's family for the data areas.
std::vector<uint8_t> FirmwareData(const FirmwareImage& image);

// The whole OXD file of an image; the fixtures under testdata/ are these bytes for the default
// Wexal revision.
std::vector<uint8_t> BuildOxdFile(const FirmwareImage& image, uint32_t wexalRevision);
// Returns an OXD file: the magic, the header length, the header text padded with at least one zero
// byte to a multiple of 16, then the data.
std::vector<uint8_t> WrapOxdFile(const std::string& headerText, const std::vector<uint8_t>& data);

}  // namespace sim
