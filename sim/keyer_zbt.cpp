// The keyer's ZBT RAM and its indirect-access registers.
#include "sim/keyer_zbt.h"

namespace sim {

void KeyerZbt::Attach(RegisterMap& map) {
    for (uint32_t offset : {kAddress, kWriteData, kReadData}) map.Add(offset, offset + 4, this);
}

uint32_t KeyerZbt::Cell(uint32_t address) const {
    uint32_t cell = address & kAddressMask;
    for (const ZbtAddressAlias& a : m_aliases) {
        const uint32_t bit = a.source >= 0 ? (address >> a.source & 1) : static_cast<uint32_t>(a.value);
        cell = (cell & ~(1u << a.line)) | bit << a.line;
    }
    return cell;
}

uint32_t KeyerZbt::Read(uint32_t offset) {
    if (!m_configured()) return 0xFFFFFFFF;
    switch (offset) {
    case kAddress: return m_address;
    case kWriteData: return m_writeData;
    default: {
        if (!Clocked()) return 0;
        const auto it = m_cells.find(Cell(m_address));
        return it == m_cells.end() ? 0 : it->second;
    }
    }
}

void KeyerZbt::Write(uint32_t offset, uint32_t value) {
    if (!m_configured()) return;
    if (offset == kAddress) {
        m_address = value & kAddressMask;
    } else if (offset == kWriteData) {
        m_writeData = value;
        if (!Clocked()) return;
        m_cells[Cell(m_address)] = value;
        m_address = (m_address + 2) & kAddressMask;
    }
}

}  // namespace sim
