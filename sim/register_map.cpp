// Register dispatch by offset range.
#include "sim/register_map.h"

#include <algorithm>

namespace sim {

RegisterMap::RegisterMap() : m_granules(kWindowBytes / kGranuleBytes) {}

void RegisterMap::Add(uint32_t begin, uint32_t end, RegisterBlock* block) {
    if (!block || begin >= end) return;
    // A granule the new claim covers whole is its own now; in one it covers in part, the covered
    // registers are, the others keep their owner.
    for (uint64_t g = begin / kGranuleBytes; g < m_granules.size() && g * kGranuleBytes < end; ++g) {
        Granule& granule = m_granules[g];
        const uint64_t first = g * kGranuleBytes, last = first + kGranuleBytes;
        if (first >= begin && last <= end) {
            granule = {block, nullptr};
            continue;
        }
        if (!granule.registers) {
            granule.registers = std::make_unique<std::array<RegisterBlock*, kGranuleWords>>();
            granule.registers->fill(granule.owner);
        }
        for (uint32_t i = 0; i < kGranuleWords; ++i) {
            const uint64_t offset = first + 4 * i;
            if (offset >= begin && offset < end) (*granule.registers)[i] = block;
        }
    }
}

RegisterBlock* RegisterMap::Find(uint32_t offset) const {
    const Granule& granule = m_granules[offset / kGranuleBytes];
    return granule.registers ? (*granule.registers)[offset % kGranuleBytes / 4] : granule.owner;
}

uint32_t RegisterMap::Read(uint32_t offset) {
    offset &= ~3u;
    if (offset >= kWindowBytes) return 0;
    RegisterBlock* b = Find(offset);
    return b ? b->Read(offset) : 0;
}

void RegisterMap::ReadBlock(uint32_t offset, uint32_t* out, size_t count) {
    offset &= ~3u;
    while (count > 0) {
        if (offset >= kWindowBytes) {
            for (size_t i = 0; i < count; ++i) out[i] = 0;
            return;
        }
        // The run of registers the same block answers.
        RegisterBlock* b = Find(offset);
        size_t n = 1;
        while (n < count && offset + 4 * n < kWindowBytes) {
            const uint32_t next = static_cast<uint32_t>(offset + 4 * n);
            const Granule& granule = m_granules[next / kGranuleBytes];
            if (next % kGranuleBytes == 0 && !granule.registers && granule.owner == b) {
                n += kGranuleWords;  // a whole granule of the same block
                continue;
            }
            if (Find(next) != b) break;
            ++n;
        }
        n = std::min(n, count);
        if (b) b->ReadBlock(offset, out, n);
        else
            for (size_t i = 0; i < n; ++i) out[i] = 0;
        offset += static_cast<uint32_t>(4 * n);
        out += n;
        count -= n;
    }
}

void RegisterMap::Write(uint32_t offset, uint32_t value) {
    offset &= ~3u;
    if (offset >= kWindowBytes) return;
    if (RegisterBlock* b = Find(offset)) b->Write(offset, value);
}

}  // namespace sim
