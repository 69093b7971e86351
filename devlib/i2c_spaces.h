// Address spaces of the parts on a board's I2C bus: SDRAM module SPD, temperature sensor, clock synthesisers.
#pragma once

#include "devlib/addr_space.h"

namespace sim {
class SpdEeprom;
class TemperatureSensor;
class ClockSynth;
}  // namespace sim

// The serial presence detect EEPROM of one SDRAM module ("I2C.DIMM1", "I2C.DIMM2"): 256 bytes,
// one address unit each, write-protected (Set and SetBytes move nothing). The SPD image is read
// once, when the space is made, and gives the module's capacity.
class PEX_EXPORT CWexalI2CDIMMSpace : public CDevAddrSpace {
public:
    static constexpr DWORD kSpdBytes = 256;

    CWexalI2CDIMMSpace() = default;
    CWexalI2CDIMMSpace(const char* name, sim::SpdEeprom* part);
    int Get(void* buffer, DWORD address, int count) override;
    int Set(const void*, DWORD, int) override { return 0; }
    int SetBytes(const void*, DWORD, int) override { return 0; }

    // The module's capacity in MiB: rows (SPD byte 5) x bank density (byte 31, in 4 MiB units) x 4.
    DWORD GetDIMMCapacity() const { return m_capacity; }

private:
    sim::SpdEeprom* m_part = nullptr;
    BYTE m_spd[kSpdBytes] = {};
    DWORD m_capacity = 0;
};

// The board's temperature sensor ("I2C.TSENSOR", also found as "TSENSOR" through the I2C device):
// byte registers named by the symbol table: "LTEMP", "1TEMP", "2TEMP", "3TEMP" (readings, signed
// degrees Celsius), "LRHI", "1RHI", "2RHI", "3RHI" (high limits), "RCONF", "STAT1", "STAT2",
// "RCRIT", "MANID", "STEP". Each symbol is one byte wide.
class PEX_EXPORT CWexalI2CTSensorSpace : public CDevRegSpace {
public:
    CWexalI2CTSensorSpace() = default;
    CWexalI2CTSensorSpace(const char* name, sim::TemperatureSensor* part);
    int Get(void* buffer, DWORD address, int count) override;
    int Set(const void* buffer, DWORD address, int count) override;

private:
    sim::TemperatureSensor* m_part = nullptr;
};

// A clock synthesiser ("CLOCK1" the Wexal SDRAM clock, "CLOCK2" the codec clock) of the board's
// clock device: eight byte registers; a transfer stops at the first register the part lacks.
class PEX_EXPORT CWexalI2CClockSpace : public CDevAddrSpace {
public:
    CWexalI2CClockSpace() = default;
    CWexalI2CClockSpace(const char* name, sim::ClockSynth* part);
    int Get(void* buffer, DWORD address, int count) override;
    int Set(const void* buffer, DWORD address, int count) override;

private:
    sim::ClockSynth* m_part = nullptr;
};
