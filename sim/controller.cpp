// Board controller model: register decoding, the flash port, the status bits of the booted image, the BAR0 mirror.
#include "sim/controller.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <cstdio>
#include <filesystem>

#include "platform/clock.h"

namespace sim {

namespace {

uint32_t SerialOf(const std::string& tag) {
    uint32_t h = 2166136261u;  // FNV-1a
    for (unsigned char c : tag) h = (h ^ c) * 16777619u;
    return h;
}

}  // namespace

BoardController::BoardController(const BoardConfig& config)
    : m_config(config), m_flash(config.faults.flash, SerialOf(config.tag)), m_fpgas(config.kind, config.faults.configPort) {
    // A missing image file is made from the healthy contents; one that is there is the board's
    // flash as the last run left it, whatever it holds, or the board has no flash to run on.
    const std::string& image = config.flashImage;
    std::error_code none;
    if (image.empty() || !std::filesystem::exists(image, none)) InstallHealthyContents(m_flash, config);
    if (!image.empty()) {
        std::string said;
        switch (m_flash.UseImageFile(image, FlashImageRole(config.tag), &said)) {
        case FlashProm::ImageUse::Refused: m_flashError = said; break;
        case FlashProm::ImageUse::ReadOnly:
            std::fprintf(stderr, "board \"%s\": %s: the board runs on its contents and keeps no changes\n", config.tag.c_str(), said.c_str());
            break;
        case FlashProm::ImageUse::Created:
        case FlashProm::ImageUse::Kept: break;
        }
    }
    for (const auto& r : config.faults.registerStuck) {
        if (r.offset < kBoardId || r.offset >= kEnd) continue;
        const uint32_t i = (r.offset - kBoardId) / 4, m = 1u << r.bit;
        (r.value ? m_stuckSet[i] : m_stuckClear[i]) |= m;
        (r.value ? m_stuckClear[i] : m_stuckSet[i]) &= ~m;
    }
    m_i2c = Stuck(kI2c, m_i2c) & 0x5;
    m_ram = Stuck(kRam, m_ram);
    SetFlashAddress(0);
    m_stsState = config.faults.flash.stsSeed;
    m_boot = ChooseBootImage(m_flash);
    ImageIdRecord record;
    if (ReadImageIdRecord(m_flash, SegmentOf(m_boot), &record) && record.texts.size() > 1) m_infoText = record.texts[1];
}

void BoardController::Attach(RegisterMap& map) {
    map.Add(0, kMirrorEnd, this);
    map.Add(kBoardId, kEnd, this);
    if (m_config.kind == BoardKind::Brimola)
        for (uint32_t id : {kKeyerId, kPairAId, kPairBId}) map.Add(id, id + 4, this);
}

void BoardController::SetPortClockSource(int port, std::function<bool()> source) {
    if (port == 1 || port == 2) m_portClock[port - 1] = std::move(source);
}

bool BoardController::PortEnabled(int port) {
    if (port != 1 && port != 2) return false;
    return (m_ram >> (port + 2) & 1) && m_fpgas.Configured(port + 2);
}

bool BoardController::PortClock(int port) {
    if (m_portClock[port - 1]) return m_portClock[port - 1]();
    return (port == 1 ? m_config.codecPort : m_config.expansionPort) == "loopback" && PortEnabled(port);
}

uint32_t BoardController::Stuck(uint32_t offset, uint32_t v) const {
    const uint32_t i = (offset - kBoardId) / 4;
    return (v & ~m_stuckClear[i]) | m_stuckSet[i];
}

void BoardController::FlashAccess() {
    const uint32_t ns = m_accessCarryNs + m_config.faults.flash.accessNs;
    constexpr uint32_t kNsPerTick = 1'000'000'000 / kPerfFrequency;
    platform::AdvanceTicks(ns / kNsPerTick);
    m_accessCarryNs = ns % kNsPerTick;
}

bool BoardController::FloatingSts() {
    // A floating input picks up noise: random, but never the same for more than 7 reads in a row,
    // so any poll of a few reads sees it change.
    m_stsState += 0x9E3779B97F4A7C15ull;  // splitmix64
    uint64_t z = m_stsState;
    z = (z ^ z >> 30) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ z >> 27) * 0x94D049BB133111EBull;
    bool bit = (z ^ z >> 31) & 1;
    if (bit == m_stsLast && m_stsRun >= 7) bit = !bit;
    m_stsRun = bit == m_stsLast ? m_stsRun + 1 : 1;
    m_stsLast = bit;
    return bit;
}

uint32_t BoardController::Status() {
    uint32_t v = m_led & kLedBits;
    if (ConnectorPresent(m_config)) v |= 1u << 0;
    if (PortClock(1)) v |= 1u << 1;
    if (PortClock(2)) v |= 1u << 2;
    switch (m_boot) {
    case BootImage::Pcix: v |= 1u << 7 | 1u << 6 | 1u << 16; break;
    case BootImage::Pci: v |= 1u << 6 | 1u << 16 | 1u << 17; break;
    case BootImage::Safe: v |= 1u << 16 | 1u << 17 | 1u << 18; break;
    }
    if (m_overTemperature && m_overTemperature()) v |= 1u << 11;
    if (m_config.faults.flash.stsFloating ? FloatingSts() : m_flash.Ready()) v |= 1u << 12;
    return Stuck(kStatus, v);
}

void BoardController::ReadBlock(uint32_t offset, uint32_t* out, size_t count) {
    while (count > 0 && offset < kMirrorEnd) {
        // Up to the end of this area's half of the mirror (the EXP area below 0x2000, VPD above).
        const uint32_t areaEnd = offset < 0x2000 ? 0x2000 : kMirrorEnd;
        const size_t n = std::min<size_t>(count, (areaEnd - offset) / 4);
        uint16_t words[2 * 256];
        for (size_t done = 0; done < n;) {
            const size_t k = std::min<size_t>(n - done, 256);
            const uint32_t at = offset + 4 * static_cast<uint32_t>(done);
            m_flash.ReadWords((at < 0x2000 ? kExpArea : kVpdArea) + (at & 0x1FFF) / 2, words, 2 * k);
            // Word 2i in bits 15-0 and 2i + 1 above it: on a little-endian host, the words' own bytes.
            if constexpr (std::endian::native == std::endian::little) std::memcpy(out + done, words, 4 * k);
            else
                for (size_t i = 0; i < k; ++i) out[done + i] = uint32_t{words[2 * i]} | uint32_t{words[2 * i + 1]} << 16;
            done += k;
        }
        for (const auto& m : m_config.faults.flash.mirrorMismatch)
            if (m.offset >= offset && m.offset < offset + 4 * n && m.offset % 4 == 0) out[(m.offset - offset) / 4] ^= m.mask;
        offset += static_cast<uint32_t>(4 * n);
        out += n;
        count -= n;
    }
    RegisterBlock::ReadBlock(offset, out, count);
}

uint32_t BoardController::Read(uint32_t offset) {
    if (offset < kMirrorEnd) {
        uint32_t v = 0;
        ReadBlock(offset, &v, 1);
        return v;
    }
    switch (offset) {
    case kBoardId:
        return Stuck(kBoardId,
                     (m_config.kind == BoardKind::Brimola ? 0x52u : 0x53u) | kHardwareRevision << 8 | kControllerRevision << 16);
    case kI2c: {
        // The inputs are the lines, which the outputs drive unless something holds them.
        const uint32_t co = m_i2c & 1, dout = m_i2c >> 2 & 1;
        return Stuck(kI2c, co | dout << 1 | dout << 2 | co << 3);
    }
    case kFlashAddress: return Stuck(kFlashAddress, m_flashAddress);
    case kFlashData: {
        FlashAccess();
        const uint32_t v = m_flash.ReadPair(m_flashAddress);
        SetFlashAddress(m_flashAddress + 1);
        return v;
    }
    case kStatus: return Status();
    case kFpga: return m_fpgas.Read();
    case kRam: return Stuck(kRam, m_ram);
    case kKeyerId: return m_fpgas.IdWord(0);
    case kPairAId: return m_fpgas.IdWord(1);
    case kPairBId: return m_fpgas.IdWord(2);
    default: return 0;
    }
}

void BoardController::Write(uint32_t offset, uint32_t value) {
    switch (offset) {
    case kI2c: m_i2c = Stuck(kI2c, value) & 0x5; break;
    case kFlashAddress: SetFlashAddress(value); break;
    case kFlashData:
        FlashAccess();
        m_flash.Write(m_flashAddress, static_cast<uint16_t>(value));
        SetFlashAddress(m_flashAddress + 1);
        break;
    case kStatus: m_led = value & kLedBits; break;
    case kFpga: m_fpgas.Write(value); break;
    case kRam: m_ram = Stuck(kRam, value); break;
    default: break;  // board id, mirror and identification words are read-only
    }
}

}  // namespace sim
