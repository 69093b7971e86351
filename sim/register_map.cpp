// Register dispatch by offset range.
#include "sim/register_map.h"

namespace sim {

void RegisterMap::Add(uint32_t begin, uint32_t end, RegisterBlock* block) {
    if (block && begin < end) m_ranges.push_back({begin, end, block});
}

RegisterBlock* RegisterMap::Find(uint32_t offset) const {
    for (auto it = m_ranges.rbegin(); it != m_ranges.rend(); ++it)
        if (offset >= it->begin && offset < it->end) return it->block;
    return nullptr;
}

uint32_t RegisterMap::Read(uint32_t offset) {
    offset &= ~3u;
    if (offset >= kWindowBytes) return 0;
    RegisterBlock* b = Find(offset);
    return b ? b->Read(offset) : 0;
}

void RegisterMap::Write(uint32_t offset, uint32_t value) {
    offset &= ~3u;
    if (offset >= kWindowBytes) return;
    if (RegisterBlock* b = Find(offset)) b->Write(offset, value);
}

}  // namespace sim
