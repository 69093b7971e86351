// Default behaviours of address spaces and the symbol look-up of register spaces.
#include "devlib/addr_space.h"

#include <cstring>

void* CDevAddrSpace::GetRdPointer(DWORD, DWORD) { return nullptr; }
void* CDevAddrSpace::GetWrPointer(DWORD, DWORD) { return nullptr; }
int CDevAddrSpace::Set(const void*, DWORD, int) { return 0; }
int CDevAddrSpace::Get(void*, DWORD, int) { return 0; }
int CDevAddrSpace::EraseBytes(DWORD, int) { return -1; }

BOOL CDevAddrSpace::GetPhysAddress(DWORD, DWORD* out) {
    if (out) *out = 0xFFFFFFFF;
    return 0;
}

RegisterPtr CDevAddrSpace::GetRegisterPointer(DWORD, DWORD) { return nullptr; }

CString CDevAddrSpace::EncodeType(SPACETYPE type) {
    switch (type) {
    case SPACE_MEMORY: return "Memory";
    case SPACE_REGISTER: return "Register";
    case SPACE_SDRAM: return "SDRAM";
    case SPACE_FLASH: return "Flash";
    case SPACE_BAR0: return "BAR0";
    case SPACE_I2C_DIMM: return "I2C DIMM";
    case SPACE_I2C_TSENSOR: return "I2C Temperature Sensor";
    case SPACE_I2C_CLOCK: return "I2C Clock";
    case SPACE_FARNODEK: return "FarnoDeK";
    default: return "Unknown";
    }
}

const CPPVarDesc* CDevRegSpace::GetSymbolDesc(const char* name, CPPVarDesc* out) const {
    if (!name || !m_symbols) return nullptr;
    for (int i = 0; i < m_symbolCount; ++i) {
        if (m_symbols[i].name && std::strcmp(m_symbols[i].name, name) == 0) {
            if (out) *out = m_symbols[i];
            return &m_symbols[i];
        }
    }
    return nullptr;
}

void CDevRegSpace::SetSymbolTable(const CPPVarDesc* table, int count) {
    m_symbols = count > 0 ? table : nullptr;
    m_symbolCount = m_symbols ? count : 0;
    m_dataItemCount = m_symbolCount;
}
