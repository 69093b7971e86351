// Flash contents: image identification records, the healthy set of images, and the boot choice.
#include "sim/flash_contents.h"

#include <algorithm>
#include <map>

#include "sim/firmware_images.h"
#include "sim/vpd.h"

namespace sim {

namespace {

constexpr int64_t kMaxReadRecord = 0x20000;

int64_t Floor(int64_t v, int64_t unit) { return v >= 0 ? v / unit * unit : -((-v + unit - 1) / unit) * unit; }

std::vector<uint8_t> TextList(const std::vector<std::string>& texts) {
    std::vector<uint8_t> list;
    for (const auto& t : texts) {
        list.insert(list.end(), t.begin(), t.end());
        list.push_back(0);
    }
    list.push_back(0);
    return list;
}

// The data of a catalogue image; built once per process, as every board of every rig uses the same.
const std::vector<uint8_t>& ImageData(const FirmwareImage& image) {
    static std::map<std::string, std::vector<uint8_t>> cache;
    auto it = cache.find(image.id);
    if (it == cache.end()) it = cache.emplace(image.id, FirmwareData(image)).first;
    return it->second;
}

bool Missing(const BoardConfig& config, const char* segment) {
    const auto& m = config.faults.flash.missingHeaders;
    return std::find(m.begin(), m.end(), segment) != m.end();
}

}  // namespace

bool WriteImageIdRecord(FlashProm& flash, const FlashSegment& segment, uint32_t imageWords, const ImageIdRecord& record) {
    const int64_t S = Floor(int64_t{segment.words} * 2, 32);
    int64_t M = std::min(Floor(S - int64_t{imageWords} * 2, 32), S);
    if (S < 8 || M < 8) return false;  // not even the header fits
    std::vector<uint8_t> list = TextList(record.texts);
    const int64_t L = static_cast<int64_t>(list.size());
    int64_t T = -1;
    if (L > 2 && L <= M - 8) {
        T = Floor(S - 8 - L, 2);
        if (T < S - M || T < 0) T = -1;
    }
    const int64_t K = T >= 0 ? Floor(T, 32) : Floor(S - 8, 32);
    std::vector<uint8_t> bytes(static_cast<size_t>(S - K), 0xFF);
    if (T >= 0) {
        std::copy(list.begin(), list.end(), bytes.begin() + (T - K));
        std::fill(bytes.begin() + (T - K + L), bytes.end() - 8, uint8_t{0});
    } else {
        std::fill(bytes.end() - 10, bytes.end() - 8, uint8_t{0});
    }
    const uint32_t offset = T >= 0 ? static_cast<uint32_t>(T) : 0xFFFFFFFF;
    uint8_t* h = bytes.data() + bytes.size() - 8;
    h[0] = static_cast<uint8_t>(record.revision);
    h[1] = static_cast<uint8_t>(record.revision >> 8);
    h[2] = 8;
    h[3] = 0;
    for (int i = 0; i < 4; ++i) h[4 + i] = static_cast<uint8_t>(offset >> (8 * i));
    flash.WriteBytes(segment.start + static_cast<uint32_t>(K / 2), bytes.data(), bytes.size());
    return true;
}

bool ReadImageIdRecord(const FlashProm& flash, const FlashSegment& segment, ImageIdRecord* out) {
    const int64_t S = Floor(int64_t{segment.words} * 2, 32);
    const int64_t M = std::min(kMaxReadRecord, S);
    uint16_t w[4];
    flash.ReadWords(segment.start + segment.words - 4, w, 4);
    const int64_t h = w[1] == 4 ? 8 : w[1];
    int64_t T = int64_t{w[2]} | int64_t{w[3]} << 16;
    if (w[1] == 4) T = T > 0 ? 2 * T - 2 * int64_t{segment.start} : -1;  // older form: a word address
    if (h < 8 || h > M || T < std::max<int64_t>(S - M, 1) || T >= S - h) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(S - h - T));
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uint32_t byte = static_cast<uint32_t>(T) + static_cast<uint32_t>(i);
        const uint16_t word = flash.Word(segment.start + byte / 2);
        bytes[i] = static_cast<uint8_t>(byte & 1 ? word >> 8 : word);
    }
    ImageIdRecord r;
    r.revision = w[0];
    r.textOffset = static_cast<uint32_t>(T);
    size_t at = 0;
    while (at < bytes.size() && bytes[at] != 0) {
        const auto end = std::find(bytes.begin() + static_cast<long>(at), bytes.end(), uint8_t{0});
        r.texts.emplace_back(bytes.begin() + static_cast<long>(at), end);
        at = static_cast<size_t>(end - bytes.begin()) + 1;
    }
    if (out) *out = std::move(r);
    return true;
}

std::string FactoryInstallerText(const std::string& fileName) {
    return " Filename:     " + fileName + "\n Installer:    PEXANO - factory\n Install Date: Thursday, January 15, 2026\n";
}

void InstallHealthyContents(FlashProm& flash, const BoardConfig& config) {
    const bool main = config.kind == BoardKind::Brimola;
    const struct {
        const FlashSegment& segment;
        const char* id;
    } images[] = {{kSafeSegment, "ZVKS"}, {kPcixSegment, config.pcixImage.empty() ? (main ? "PUVI" : "KEZO") : config.pcixImage.c_str()}, {kPciSegment, "ZVKP"}};
    for (const auto& [segment, id] : images) {
        if (Missing(config, segment.name)) continue;
        const FirmwareImage& image = *FindFirmwareImage(id);
        const std::vector<uint8_t>& data = ImageData(image);
        flash.WriteBytes(segment.start, data.data(), data.size());
        ImageIdRecord record;
        record.revision = static_cast<uint16_t>(std::stoul(ImageRevisionDigits(image, config.revision), nullptr, 16));
        record.texts = {FactoryInstallerText(FirmwareFileName(image)), OxdHeaderText(image, config.revision)};
        WriteImageIdRecord(flash, segment, static_cast<uint32_t>((data.size() + 1) / 2), record);
    }
    const std::vector<uint8_t>& rom = ImageData(*FindFirmwareImage(main ? "LOJT" : "RYVD"));
    flash.WriteBytes(kExpArea, rom.data(), rom.size());
    const std::vector<uint8_t> vpd = BuildVpdImage(config);
    flash.WriteBytes(kVpdArea, vpd.data(), vpd.size());
}

BootImage ChooseBootImage(const FlashProm& flash) {
    for (BootImage image : {BootImage::Pcix, BootImage::Pci}) {
        uint16_t w[6];
        flash.ReadWords(SegmentOf(image).start, w, 6);
        if (std::equal(w, w + 6, kSegmentHeader)) return image;
    }
    return BootImage::Safe;
}

const FlashSegment& SegmentOf(BootImage image) {
    switch (image) {
    case BootImage::Pcix: return kPcixSegment;
    case BootImage::Pci: return kPciSegment;
    case BootImage::Safe: break;
    }
    return kSafeSegment;
}

}  // namespace sim
