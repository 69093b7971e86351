// I2C part spaces over the simulated parts: byte transfers and the temperature sensor's symbol table.
#include "devlib/i2c_spaces.h"

#include <algorithm>

#include "sim/i2c_parts.h"

namespace {

struct SensorSymbols {
    CPPVarDesc table[sim::TemperatureSensor::kRegisters.size()];
    SensorSymbols() {
        for (size_t i = 0; i < sim::TemperatureSensor::kRegisters.size(); ++i) {
            const auto& r = sim::TemperatureSensor::kRegisters[i];
            table[i] = {r.name, r.address, 1, 0, nullptr};
        }
    }
};

const SensorSymbols& Symbols() {
    static const SensorSymbols symbols;
    return symbols;
}

constexpr PMD_AccessInfo kByteAccess{1, 1, 1, 1, 1};

}  // namespace

CWexalI2CDIMMSpace::CWexalI2CDIMMSpace(const char* name, sim::SpdEeprom* part)
    : CDevAddrSpace(SPACE_I2C_DIMM, name, "SDRAM module SPD", static_cast<DWORD>(sim::SpdEeprom::kBytes), kByteAccess),
      m_part(part) {
    if (!m_part || m_part->Read(0, m_spd, kSpdBytes) != kSpdBytes) return;
    m_capacity = DWORD{m_spd[5]} * m_spd[31] * 4;
}

int CWexalI2CDIMMSpace::Get(void* buffer, DWORD address, int count) {
    if (!m_part || !buffer || count <= 0) return 0;
    return static_cast<int>(m_part->Read(address, buffer, static_cast<size_t>(count)));
}

CWexalI2CTSensorSpace::CWexalI2CTSensorSpace(const char* name, sim::TemperatureSensor* part)
    : CDevRegSpace(SPACE_I2C_TSENSOR, name, "Temperature sensor", 256, kByteAccess), m_part(part) {
    SetSymbolTable(Symbols().table, static_cast<int>(sim::TemperatureSensor::kRegisters.size()));
}

int CWexalI2CTSensorSpace::Get(void* buffer, DWORD address, int count) {
    if (!m_part || !buffer || count <= 0 || address > 0xFF) return 0;
    const DWORD n = std::min<DWORD>(static_cast<DWORD>(count), 0x100 - address);
    BYTE* out = static_cast<BYTE*>(buffer);
    for (DWORD i = 0; i < n; ++i) out[i] = m_part->ReadRegister(static_cast<uint8_t>(address + i));
    return static_cast<int>(n);
}

int CWexalI2CTSensorSpace::Set(const void* buffer, DWORD address, int count) {
    if (!m_part || !buffer || count <= 0 || address > 0xFF) return 0;
    const DWORD n = std::min<DWORD>(static_cast<DWORD>(count), 0x100 - address);
    const BYTE* in = static_cast<const BYTE*>(buffer);
    for (DWORD i = 0; i < n; ++i) m_part->WriteRegister(static_cast<uint8_t>(address + i), in[i]);
    return static_cast<int>(n);
}

CWexalI2CClockSpace::CWexalI2CClockSpace(const char* name, sim::ClockSynth* part)
    : CDevAddrSpace(SPACE_I2C_CLOCK, name, "Clock synthesiser", sim::ClockSynth::kRegisters, kByteAccess), m_part(part) {}

int CWexalI2CClockSpace::Get(void* buffer, DWORD address, int count) {
    if (!m_part || !buffer || count <= 0) return 0;
    return static_cast<int>(m_part->Read(address, buffer, static_cast<size_t>(count)));
}

int CWexalI2CClockSpace::Set(const void* buffer, DWORD address, int count) {
    if (!m_part || !buffer || count <= 0) return 0;
    return static_cast<int>(m_part->Write(address, buffer, static_cast<size_t>(count)));
}
