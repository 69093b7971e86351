// Host DMA memory pool with first-fit reuse of bus addresses.
#include "sim/host_memory.h"

#include <cstdlib>
#include <cstring>

namespace sim {

HostMemory::~HostMemory() {
    for (auto& [bus, b] : m_byBus) std::free(b.host);
}

HostMemory::Status HostMemory::Alloc(size_t size, void** host, uint64_t* bus) {
    if (!size || !host || !bus) return Status::BadArgument;
    const uint64_t span = (static_cast<uint64_t>(size) + kPage - 1) & ~(kPage - 1);
    if (span > m_limit - m_inUse) return Status::NoMemory;
    uint64_t at = kBusBase;
    for (const auto& [start, b] : m_byBus) {
        if (start - at >= span) break;
        at = start + b.span;
    }
    if (at + span > kBusEnd) return Status::NoMemory;
    void* p = std::aligned_alloc(kPage, span);
    if (!p) return Status::NoMemory;
    std::memset(p, 0, span);
    auto* bytes = static_cast<uint8_t*>(p);
    m_byBus.emplace(at, Block{bytes, size, span});
    m_byHost.emplace(bytes, at);
    m_inUse += span;
    *host = p;
    *bus = at;
    return Status::Ok;
}

bool HostMemory::Free(void* host) {
    auto h = m_byHost.find(static_cast<const uint8_t*>(host));
    if (h == m_byHost.end()) return false;
    auto b = m_byBus.find(h->second);
    m_inUse -= b->second.span;
    std::free(b->second.host);
    m_byBus.erase(b);
    m_byHost.erase(h);
    return true;
}

uint8_t* HostMemory::Translate(uint64_t bus, size_t len) const {
    auto it = m_byBus.upper_bound(bus);
    if (it == m_byBus.begin()) return nullptr;
    --it;
    const uint64_t off = bus - it->first;
    if (off > it->second.size || len > it->second.size - off) return nullptr;
    return it->second.host + off;
}

uint64_t HostMemory::BusAddressOf(const void* host) const {
    const auto* p = static_cast<const uint8_t*>(host);
    auto it = m_byHost.upper_bound(p);
    if (it == m_byHost.begin()) return 0;
    --it;
    const auto& block = m_byBus.at(it->second);
    if (p >= it->first + block.size) return 0;
    return it->second + static_cast<uint64_t>(p - it->first);
}

}  // namespace sim
