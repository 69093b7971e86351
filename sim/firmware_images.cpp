// The firmware image set: its table, the OXD container and the data of each kind of image.
#include "sim/firmware_images.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "sim/bitstream.h"
#include "sim/vpd.h"

namespace sim {

namespace {

using K = FirmwareImage::Kind;
constexpr BoardKind kMain = BoardKind::Brimola;
constexpr BoardKind kCodec = BoardKind::Nuxa;

// A Wexal image fills one erase block and a little of the next, so programming spans blocks.
constexpr uint32_t kWexalBytes = 0x21000;
constexpr uint32_t kFpgaBytes = 6028;
constexpr uint32_t kExpansionRomBytes = 0x800;

// Identification words: device 0x003 keyer and older pair images, 0x004 the current pair image,
// 0x005 the board links, 0x001 the main FPGA. TAZU loads into either FPGA of the pair.
// A constant table: the rig is built while static objects are, so nothing here may wait for them.
constexpr FirmwareImage kCatalogue[] = {
    {"LOCV", K::FpgaConfig, kMain, 0x01, 0x003010A5, kFpgaBytes},
    {"MEPT", K::FpgaConfig, kMain, 0x01, 0x003010B2, kFpgaBytes},
    {"TAZU", K::FpgaConfig, kMain, 0x06, 0x004020A0, kFpgaBytes},
    {"VOKA", K::FpgaConfig, kMain, 0x02, 0x00302091, kFpgaBytes},
    {"VOKB", K::FpgaConfig, kMain, 0x04, 0x00302092, kFpgaBytes},
    {"FESK", K::FpgaConfig, kMain, 0x18, 0x00501010, kFpgaBytes},
    {"ZVKS", K::WexalImage, kMain, Bitstream::kTargetWexal, 0x00100001, kWexalBytes},
    {"ZVKX", K::WexalImage, kMain, Bitstream::kTargetWexal, 0x00100002, kWexalBytes},
    {"ZVKP", K::WexalImage, kMain, Bitstream::kTargetWexal, 0x00100003, kWexalBytes},
    {"PUVI", K::WexalImage, kMain, Bitstream::kTargetWexal, 0x00100012, kWexalBytes},
    {"KEZO", K::WexalImage, kCodec, Bitstream::kTargetWexal, 0x00100022, kWexalBytes},
    {"LOJT", K::ExpansionRom, kMain, 0, 0, kExpansionRomBytes},
    {"RYVD", K::ExpansionRom, kCodec, 0, 0, kExpansionRomBytes},
    {"HUXO", K::ProductData, kMain, 0, 0, kVpdImageBytes},
    {"MIZB", K::ProductData, kCodec, 0, 0, kVpdImageBytes},
};

const char* Family(BoardKind kind) { return kind == kMain ? "BRIMOLA" : "NUXA"; }
const char* PartNumber(BoardKind kind) { return kind == kMain ? kBrimolaPartNumber : kNuxaPartNumber; }

// A PCI expansion ROM: signature 55 AA, size in 512-byte units, pointer at 0x18 to the "PCIR"
// structure (vendor and device of the board, class "other multimedia", last image), and a final
// byte that makes the byte sum 0.
std::vector<uint8_t> ExpansionRom(BoardKind kind) {
    std::vector<uint8_t> r(kExpansionRomBytes, 0);
    r[0] = 0x55;
    r[1] = 0xAA;
    r[2] = static_cast<uint8_t>(kExpansionRomBytes / 512);
    r[0x18] = 0x1C;
    uint8_t* p = &r[0x1C];
    std::memcpy(p, "PCIR", 4);
    p[4] = 0x7A;  // vendor 0x1B7A
    p[5] = 0x1B;
    p[6] = kind == kMain ? 0x52 : 0x53;  // device 0x0052 / 0x0053
    p[10] = 0x18;  // structure length
    p[13] = 0x80;  // class code 04 80 00, little-endian from the programming interface
    p[14] = 0x04;
    p[16] = static_cast<uint8_t>(kExpansionRomBytes / 512);
    p[18] = 0x02;  // code revision 0x0202
    p[19] = 0x02;
    p[21] = 0x80;  // last image
    uint8_t sum = 0;
    for (size_t i = 0; i + 1 < r.size(); ++i) sum = static_cast<uint8_t>(sum + r[i]);
    r.back() = static_cast<uint8_t>(-sum);
    return r;
}

}  // namespace

const std::vector<FirmwareImage>& FirmwareCatalogue() {
    static const std::vector<FirmwareImage> catalogue(std::begin(kCatalogue), std::end(kCatalogue));
    return catalogue;
}

const FirmwareImage* FindFirmwareImage(const std::string& id) {
    for (const auto& image : kCatalogue)
        if (id == image.id) return &image;
    return nullptr;
}

std::string ImageRevisionDigits(const FirmwareImage& image, uint32_t wexalRevision) {
    if (image.kind != K::WexalImage) return kVpdRevision;
    char buf[8];
    std::snprintf(buf, sizeof buf, "%03X0", wexalRevision & 0xFFF);
    return buf;
}

std::string ImageRevisionTag(const FirmwareImage& image, uint32_t wexalRevision) {
    if (image.kind != K::WexalImage) return kVpdRevision;
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", wexalRevision & 0xFFF);
    return buf;
}

std::string FirmwareFileName(const FirmwareImage& image) { return std::string(image.id) + kVpdRevision + ".oxd"; }

std::string OxdHeaderText(const FirmwareImage& image, uint32_t wexalRevision) {
    std::string fixed = "R";
    fixed.append(ImageRevisionDigits(image, wexalRevision)).append("F").append(image.id).append("M").append(Family(image.board));
    fixed.resize(kOxdFixedHeader, ' ');
    // Configuration images are Brimola-family parts whichever board carries them (the roots check
    // 'B' against "BRIMOLA"); the flash images name the board they boot.
    const char* family = image.kind == K::FpgaConfig ? "BRIMOLA" : Family(image.board);
    return fixed + "N:" + image.id + kVpdRevision + ";R:" + ImageRevisionTag(image, wexalRevision) + ";P:" +
           PartNumber(image.board) + ";B:" + family + ";W:0C5E;";
}

std::vector<uint8_t> FirmwareData(const FirmwareImage& image) {
    switch (image.kind) {
    case K::FpgaConfig:
    case K::WexalImage:
        return Bitstream::Build(image.targets, image.idWord,
                                image.dataBytes - static_cast<uint32_t>(Bitstream::kHeaderBytes + Bitstream::kCrcBytes));
    case K::ExpansionRom: return ExpansionRom(image.board);
    case K::ProductData: return BuildVpdImage(DefaultBoard(image.board, image.board == kMain ? "Brimola1" : "Nuxa1"));
    }
    return {};
}

std::vector<uint8_t> BuildOxdFile(const FirmwareImage& image, uint32_t wexalRevision) {
    return WrapOxdFile(OxdHeaderText(image, wexalRevision), FirmwareData(image));
}

std::vector<uint8_t> WrapOxdFile(const std::string& text, const std::vector<uint8_t>& data) {
    const size_t headerLength = (12 + text.size() + 1 + 15) / 16 * 16;  // at least one zero byte
    std::vector<uint8_t> file(headerLength, 0);
    std::memcpy(file.data(), kOxdMagic, sizeof kOxdMagic);
    for (int i = 0; i < 4; ++i) file[8 + static_cast<size_t>(i)] = static_cast<uint8_t>(headerLength >> (24 - 8 * i));
    std::memcpy(&file[12], text.data(), text.size());
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

}  // namespace sim
