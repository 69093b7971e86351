// The parts on a board's I2C bus: the two SDRAM modules' SPD EEPROMs, the temperature sensor and two clock synthesisers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sim/rig_config.h"

namespace sim {

// One SDRAM module's serial presence detect EEPROM: 256 bytes in the JEDEC DDR SDRAM layout,
// write-protected. Reads are sequential and stop at the end of the part.
class SpdEeprom {
public:
    static constexpr size_t kBytes = 256;

    SpdEeprom() { m_bytes.fill(0xFF); }
    explicit SpdEeprom(const std::array<uint8_t, kBytes>& bytes) : m_bytes(bytes) {}

    // Bytes delivered from offset on (0 past the end).
    size_t Read(uint32_t offset, void* dst, size_t len) const;
    const std::array<uint8_t, kBytes>& Bytes() const { return m_bytes; }

private:
    std::array<uint8_t, kBytes> m_bytes;
};

// The SPD's size bytes for a module of `mib` MiB: byte 5 the ranks (1, 2, 4 or 8) and byte 31 the
// rank density in 4 MB units (1-255), so that 4 x ranks x density is the size in MB. `exact` is
// false when no such pair makes `mib` (a size that is not a multiple of 4, or such as 1028 MB, whose
// quarter is an odd 257); the bytes then hold a smaller size, from 4 MB up.
struct SpdSizeBytes {
    uint8_t ranks;
    uint8_t density;
    bool exact;
};
SpdSizeBytes SpdSizeFor(uint64_t mib);

// The row and column address bits (SPD bytes 3 and 4) of the modules a board of that kind carries.
struct SpdGeometry {
    int rows;
    int columns;
};
SpdGeometry SpdGeometryFor(BoardKind kind);

// The SPD image of module 1 or 2 of a board: a DDR-333 registered module whose size is the board's
// SDRAM size (the two modules carry the low and high order words of the same addresses), 13 row
// and 11 (main board) or 10 (codec board) column address bits, CAS latencies 2 and 2.5. Bytes 0-66
// are the same on both modules; the serial number (bytes 95-98) differs. The board's SPD faults for
// that module are applied, with the checksum (byte 63) kept right.
std::array<uint8_t, SpdEeprom::kBytes> BuildSpdImage(const BoardConfig& config, int module);

// The board's temperature sensor: a local channel and three remote diodes (channel 1 the Wexal
// FPGA; 2 and 3 the keyer and FPGA-pair A on the main board, the codec chips on the codec board),
// byte registers in two's complement degrees Celsius. The status registers follow the readings;
// the limit, critical and configuration registers take writes; the rest ignore them.
class TemperatureSensor {
public:
    struct Register {
        const char* name;
        uint8_t address;
    };
    // The registers by symbol name, with their addresses.
    static constexpr std::array<Register, 14> kRegisters = {{
        {"LTEMP", 0x00}, {"2TEMP", 0x01}, {"STAT1", 0x02}, {"RCONF", 0x03}, {"LRHI", 0x05}, {"2RHI", 0x07},
        {"1TEMP", 0x30}, {"3TEMP", 0x31}, {"STAT2", 0x35}, {"1RHI", 0x38}, {"3RHI", 0x3A}, {"RCRIT", 0x42},
        {"MANID", 0xFE}, {"STEP", 0xFF},
    }};
    static constexpr uint8_t kManufacturerId = 0x01, kStepping = 0x03, kCriticalC = 100;

    explicit TemperatureSensor(const BoardConfig& config);

    // A register read; an intermittent bad-reading fault counts its reads here.
    uint8_t ReadRegister(uint8_t address);
    void WriteRegister(uint8_t address, uint8_t value);

    // True while a channel's reading is above its high limit (as the part compares: signed). Drives
    // the board controller's over-temperature indicator; reading it has no side effect.
    bool OverLimit() const;
    // The reading a channel's temperature register gives now (faults included), without counting a read.
    int8_t Reading(int channel) const;

private:
    struct BadReading {
        bool active = false;
        uint8_t value = 0;
        uint32_t remaining = 0;  // reads left before recovery; 0 with active: for ever
    };
    static int ChannelOfTemperature(uint8_t address);
    static int ChannelOfLimit(uint8_t address);
    uint8_t Status(int first, int second) const;

    int8_t m_temp[4] = {};
    int8_t m_limit[4] = {};
    uint8_t m_crit = kCriticalC;
    uint8_t m_config = 0;
    BadReading m_bad[4];
};

// A programmable clock synthesiser: eight byte registers (PLL dividers and control) that read back
// as written. Register addresses above 7 are not acknowledged.
class ClockSynth {
public:
    static constexpr uint32_t kRegisters = 8;

    ClockSynth();
    // Registers moved (a transfer stops at the first unacknowledged address).
    size_t Read(uint32_t address, void* dst, size_t len) const;
    size_t Write(uint32_t address, const void* src, size_t len);
    uint8_t Register(uint32_t address) const { return address < kRegisters ? m_regs[address] : 0; }

private:
    std::array<uint8_t, kRegisters> m_regs;
};

// Everything on one board's I2C bus.
class BoardI2C {
public:
    explicit BoardI2C(const BoardConfig& config);

    SpdEeprom& Dimm(int module) { return m_dimm[module == 2 ? 1 : 0]; }
    TemperatureSensor& Sensor() { return m_sensor; }
    const TemperatureSensor& Sensor() const { return m_sensor; }
    ClockSynth& Clock(int n) { return m_clock[n == 2 ? 1 : 0]; }

private:
    SpdEeprom m_dimm[2];
    TemperatureSensor m_sensor;
    ClockSynth m_clock[2];
};

}  // namespace sim
