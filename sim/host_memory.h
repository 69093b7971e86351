// Host DMA memory: blocks with a bus address that the simulated DMA engine maps back to host bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

namespace sim {

// Hands out zeroed, page-aligned blocks and gives each a 32-bit bus address from a window that
// stands in for the PCI bus, so a page-table entry's address resolves to the block again. Bus space
// freed by Free is reused (first fit), and the total is capped like a driver's DMA pool.
class HostMemory {
public:
    explicit HostMemory(uint64_t limitBytes) : m_limit(limitBytes) {}
    ~HostMemory();
    HostMemory(const HostMemory&) = delete;
    HostMemory& operator=(const HostMemory&) = delete;

    enum class Status { Ok, BadArgument, NoMemory };

    Status Alloc(size_t size, void** host, uint64_t* bus);
    bool Free(void* host);

    // The host bytes of [bus, bus + len), or null when the range is not inside one block.
    uint8_t* Translate(uint64_t bus, size_t len) const;
    // The bus address of a host pointer inside a block; 0 when it is none of ours.
    uint64_t BusAddressOf(const void* host) const;

    uint64_t InUse() const { return m_inUse; }
    uint64_t Limit() const { return m_limit; }

    static constexpr uint64_t kBusBase = 0x10000000;
    static constexpr uint64_t kBusEnd = 0xF0000000;
    static constexpr uint64_t kPage = 0x1000;

private:
    struct Block {
        uint8_t* host;
        uint64_t size;   // bytes asked for
        uint64_t span;   // bus bytes taken (whole pages)
    };
    uint64_t m_limit;
    uint64_t m_inUse = 0;
    std::map<uint64_t, Block> m_byBus;
    std::map<const uint8_t*, uint64_t> m_byHost;
};

}  // namespace sim
