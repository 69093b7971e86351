// The keyer FPGA's ZBT RAM (main board): 512 Ki words behind three indirect-access registers.
#pragma once

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "sim/register_map.h"
#include "sim/rig_config.h"

namespace sim {

// Registers (BAR0 byte offsets, inside the keyer's window):
//   0x9BC4  address (word address, 19 bits): reads back as written
//   0x9B84  write data: stores the word at the address, then the address advances by 2
//   0x9BCC  read data: the word at the address
// Like the rest of the keyer they read all ones while the keyer is unconfigured, and writes are
// lost then. The RAM is clocked by RAM register bit 2: without it data writes do not reach it and
// the read-data register reads 0. Words never written read 0. An address-line fault (a line driven
// by another or held) makes two addresses share one word.
class KeyerZbt : public RegisterBlock {
public:
    static constexpr uint32_t kAddress = 0x9BC4, kWriteData = 0x9B84, kReadData = 0x9BCC;
    static constexpr uint32_t kWords = 512 * 1024, kAddressMask = kWords - 1;
    static constexpr uint32_t kRamClock = 1u << 2;

    // configured answers whether the keyer holds a configuration; ram the controller's RAM register.
    KeyerZbt(const std::vector<ZbtAddressAlias>& aliases, std::function<bool()> configured, std::function<uint32_t()> ram)
        : m_aliases(aliases), m_configured(std::move(configured)), m_ram(std::move(ram)) {}

    void Attach(RegisterMap& map);
    uint32_t Read(uint32_t offset) override;
    void Write(uint32_t offset, uint32_t value) override;

private:
    // The word the address reaches over the (possibly faulty) address lines.
    uint32_t Cell(uint32_t address) const;
    bool Clocked() const { return m_ram() & kRamClock; }

    std::vector<ZbtAddressAlias> m_aliases;
    std::function<bool()> m_configured;
    std::function<uint32_t()> m_ram;
    uint32_t m_address = 0, m_writeData = 0;
    std::unordered_map<uint32_t, uint32_t> m_cells;  // held lazily: a test touches a few thousand
};

}  // namespace sim
