// I2C part models: SPD images by board kind, the four-channel temperature sensor, the clock synthesisers.
#include "sim/i2c_parts.h"

#include <algorithm>
#include <cstring>

namespace sim {

size_t SpdEeprom::Read(uint32_t offset, void* dst, size_t len) const {
    if (!dst || offset >= kBytes) return 0;
    const size_t n = std::min<size_t>(len, kBytes - offset);
    std::memcpy(dst, m_bytes.data() + offset, n);
    return n;
}

SpdSizeBytes SpdSizeFor(uint64_t mib) {
    // Ranks double while the density would pass 0x80 and halves evenly (JEDEC DDR encoding: 0x80
    // 512 MB ... 0x08 32 MB).
    uint64_t units = std::max<uint64_t>(mib / 4, 1);
    uint64_t ranks = 1;
    while (units > 0x80 && units % 2 == 0 && ranks < 8) {
        units /= 2;
        ranks *= 2;
    }
    const bool exact = mib >= 4 && mib % 4 == 0 && units <= 0xFF;
    return {static_cast<uint8_t>(ranks), static_cast<uint8_t>(std::min<uint64_t>(units, 0xFF)), exact};
}

SpdGeometry SpdGeometryFor(BoardKind kind) { return {13, kind == BoardKind::Brimola ? 11 : 10}; }

namespace {

void SetSize(std::array<uint8_t, SpdEeprom::kBytes>& s, uint64_t mib) {
    const SpdSizeBytes size = SpdSizeFor(mib);
    s[5] = size.ranks;
    s[31] = size.density;
}

bool Applies(int faultModule, int module) { return faultModule == 0 || faultModule == module; }

}  // namespace

std::array<uint8_t, SpdEeprom::kBytes> BuildSpdImage(const BoardConfig& config, int module) {
    std::array<uint8_t, SpdEeprom::kBytes> s{};
    const SpdGeometry geometry = SpdGeometryFor(config.kind);
    const uint8_t head[] = {
        0x80, 0x08, 0x07,                  // 128 bytes written of 256, DDR SDRAM
        static_cast<uint8_t>(geometry.rows), static_cast<uint8_t>(geometry.columns),  // row and column address bits
        1, 0x40, 0x00, 0x04,               // ranks (set below), 64 data bits, SSTL 2.5 V
        0x60, 0x70,                        // at CL 2.5: cycle 6.0 ns (166 MHz), access 0.70 ns
        0x00, 0x82, 0x08, 0x00, 0x01,      // no ECC, 7.8 us self refresh, x8 devices, tCCD 1
        0x0E, 0x04, 0x0C, 0x01, 0x02,      // burst lengths 2, 4, 8; 4 banks; CL 2 and 2.5; CS and WE latency
        0x24, 0xC0,                        // registered-module attributes: on-card PLL, differential clock
        0x75, 0x75, 0x00, 0x00,            // at CL 2: cycle 7.5 ns (133 MHz), access 0.75 ns; no third latency
        0x48, 0x30, 0x48, 0x2A,            // tRP, tRRD, tRCD, tRAS
        0x80,                              // rank density (set below)
        0x60, 0x60, 0x40, 0x40,            // address and data setup and hold
    };
    std::copy(std::begin(head), std::end(head), s.begin());
    s[41] = 0x3C;  // tRC 60 ns
    s[42] = 0x48;  // tRFC 72 ns
    s[43] = 0x30;  // tCK max 12 ns
    s[44] = 0x28;  // tDQSQ 0.40 ns
    s[45] = 0x50;  // tQHS 0.50 ns
    SetSize(s, config.sdramBytes >> 20);
    s[64] = 0x7F;  // manufacturer in JEDEC bank 2
    s[65] = 0x94;
    s[72] = 0x01;  // manufacturing location
    const char part[] = "PXM-DDR333-REG    ";
    std::memcpy(&s[73], part, 18);
    s[91] = 0x00;
    s[92] = 0x01;
    s[93] = 0x04;  // year and week of manufacture
    s[94] = 0x18;
    s[95] = 0x12;
    s[96] = 0x34;
    s[97] = 0x56;
    s[98] = static_cast<uint8_t>(0x70 + module);
    std::fill(s.begin() + 128, s.end(), 0xFF);  // open area, erased

    for (const auto& g : config.faults.spdGeometry)
        if (Applies(g.module, module)) {
            s[3] = static_cast<uint8_t>(g.rows);
            s[4] = static_cast<uint8_t>(g.columns);
        }
    for (const auto& z : config.faults.spdSize)
        if (Applies(z.module, module)) SetSize(s, z.mib ? z.mib : (config.sdramBytes >> 21));

    uint8_t sum = 0;
    for (int i = 0; i < 63; ++i) sum = static_cast<uint8_t>(sum + s[static_cast<size_t>(i)]);
    s[63] = sum;
    return s;
}

TemperatureSensor::TemperatureSensor(const BoardConfig& config) {
    for (int c = 0; c < 4; ++c) {
        m_temp[c] = static_cast<int8_t>(config.sensors.tempC[c]);
        m_limit[c] = static_cast<int8_t>(config.sensors.limitC[c]);
    }
    for (const auto& o : config.faults.sensorOverLimit)
        m_temp[o.channel & 3] = static_cast<int8_t>(std::min(m_limit[o.channel & 3] + o.by, 127));
    for (const auto& b : config.faults.sensorBadReading) {
        BadReading& r = m_bad[b.channel & 3];
        r.active = true;
        r.value = static_cast<uint8_t>(b.value);
        r.remaining = b.count;
    }
}

int TemperatureSensor::ChannelOfTemperature(uint8_t address) {
    switch (address) {
    case 0x00: return 0;
    case 0x30: return 1;
    case 0x01: return 2;
    case 0x31: return 3;
    default: return -1;
    }
}

int TemperatureSensor::ChannelOfLimit(uint8_t address) {
    switch (address) {
    case 0x05: return 0;
    case 0x38: return 1;
    case 0x07: return 2;
    case 0x3A: return 3;
    default: return -1;
    }
}

int8_t TemperatureSensor::Reading(int channel) const {
    const BadReading& b = m_bad[channel & 3];
    return b.active ? static_cast<int8_t>(b.value) : m_temp[channel & 3];
}

bool TemperatureSensor::OverLimit() const {
    for (int c = 0; c < 4; ++c)
        if (Reading(c) > m_limit[c]) return true;
    return false;
}

// Status 1 covers the local channel and remote 2, status 2 remotes 1 and 3: bits 6 and 4 over the
// high limit, bits 1 and 0 over the critical limit (first channel, second channel).
uint8_t TemperatureSensor::Status(int first, int second) const {
    const int crit = static_cast<int8_t>(m_crit);
    uint8_t s = 0;
    if (Reading(first) > m_limit[first]) s |= 0x40;
    if (Reading(second) > m_limit[second]) s |= 0x10;
    if (Reading(first) > crit) s |= 0x02;
    if (Reading(second) > crit) s |= 0x01;
    return s;
}

uint8_t TemperatureSensor::ReadRegister(uint8_t address) {
    const int t = ChannelOfTemperature(address);
    if (t >= 0) {
        BadReading& b = m_bad[t];
        if (!b.active) return static_cast<uint8_t>(m_temp[t]);
        const uint8_t v = b.value;
        if (b.remaining && --b.remaining == 0) b.active = false;  // an intermittent fault recovers
        return v;
    }
    const int l = ChannelOfLimit(address);
    if (l >= 0) return static_cast<uint8_t>(m_limit[l]);
    switch (address) {
    case 0x02: return Status(0, 2);
    case 0x35: return Status(1, 3);
    case 0x03: return m_config;
    case 0x42: return m_crit;
    case 0xFE: return kManufacturerId;
    case 0xFF: return kStepping;
    default: return 0;
    }
}

void TemperatureSensor::WriteRegister(uint8_t address, uint8_t value) {
    const int l = ChannelOfLimit(address);
    if (l >= 0) m_limit[l] = static_cast<int8_t>(value);
    else if (address == 0x03) m_config = value;
    else if (address == 0x42) m_crit = value;
}

ClockSynth::ClockSynth() : m_regs{0x50, 0x10, 0x02, 0x8F, 0x01, 0x22, 0x00, 0x00} {}  // 133 MHz from 80 MHz

size_t ClockSynth::Read(uint32_t address, void* dst, size_t len) const {
    if (!dst || address >= kRegisters) return 0;
    const size_t n = std::min<size_t>(len, kRegisters - address);
    std::memcpy(dst, m_regs.data() + address, n);
    return n;
}

size_t ClockSynth::Write(uint32_t address, const void* src, size_t len) {
    if (!src || address >= kRegisters) return 0;
    const size_t n = std::min<size_t>(len, kRegisters - address);
    std::memcpy(m_regs.data() + address, src, n);
    return n;
}

BoardI2C::BoardI2C(const BoardConfig& config)
    : m_dimm{SpdEeprom(BuildSpdImage(config, 1)), SpdEeprom(BuildSpdImage(config, 2))}, m_sensor(config) {}

}  // namespace sim
