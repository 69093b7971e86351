// BAR0 register dispatch: blocks of registers claimed by byte-offset range, open for new device models.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace sim {

// A device model's registers. Offsets are BAR0 byte offsets (aligned to 4) inside the block's range.
class RegisterBlock {
public:
    virtual ~RegisterBlock() = default;
    virtual uint32_t Read(uint32_t offset) = 0;
    virtual void Write(uint32_t offset, uint32_t value) = 0;
    // count registers from offset, in order; a block whose registers are plain storage may read
    // them at once.
    virtual void ReadBlock(uint32_t offset, uint32_t* out, size_t count) {
        for (size_t i = 0; i < count; ++i) out[i] = Read(offset + 4 * static_cast<uint32_t>(i));
    }
};

// The 1 MiB register window. Offsets no block claims read 0 and ignore writes, as unimplemented
// decode space does; so do offsets past the window.
class RegisterMap {
public:
    static constexpr uint32_t kWindowBytes = 0x100000;

    RegisterMap();

    // Claims [begin, end) for block; the block is not owned. Later claims take precedence over
    // earlier ones where they overlap, so a model can take over part of a stand-in's range.
    void Add(uint32_t begin, uint32_t end, RegisterBlock* block);
    uint32_t Read(uint32_t offset);
    void Write(uint32_t offset, uint32_t value);
    // count registers from offset, as that many Reads in order would give them.
    void ReadBlock(uint32_t offset, uint32_t* out, size_t count);

private:
    // Each 256-byte granule of the window names the block that owns it whole, or, where claims
    // share it, the block of each of its registers: every access finds its block at once.
    static constexpr uint32_t kGranuleBytes = 0x100, kGranuleWords = kGranuleBytes / 4;
    struct Granule {
        RegisterBlock* owner = nullptr;
        std::unique_ptr<std::array<RegisterBlock*, kGranuleWords>> registers;
    };
    RegisterBlock* Find(uint32_t offset) const;
    std::vector<Granule> m_granules;
};

}  // namespace sim
