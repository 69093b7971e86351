// The Wexal FPGA that both boards carry: its BAR0 registers, the DMA engine behind them, and the board's SDRAM.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "sim/dma_engine.h"
#include "sim/register_map.h"
#include "sim/rig_config.h"
#include "sim/sdram.h"

namespace sim {

class HostMemory;

// BAR0 layout (byte offsets):
//   0x02000-0x023FF  PCI product data (VPD) image, read-only
//   0x04000-0x0401F  board controller registers (0x4000 board id: 0x52 main, 0x53 codec board)
//   0x40000          running image revision (low 12 bits), read-only
//   0x40004          SDRAM post-write flush: any write makes host-window writes reach SDRAM
//   0x40060, 0x48044 (CAS latency code, bits 4-6), 0x48048: read/write
//   0x58000 + 4c     channel control (bit 0 DCB enable; bit 7 an end strobe that leaves no state)
//   0x58200 + 4c     channel trigger: writing k starts the chain at DCB k (1-15)
//   0x58400 + 4c     channel flush: any write stops the channel and clears its live context
//   0x58308/0x5830C  channel-present masks (channels 0-31, 32-63), read-only
//   0x60000 + 0x200c + 0x20d  DCB d of channel c, 8 words; DCB 0 is the live context
//   0x70000 + 16n    BCU n, 4 registers; register 0 bit 29 is Go
class WexalFpga {
public:
    WexalFpga(const BoardConfig& config, HostMemory& host, const DmaTiming& timing);
    ~WexalFpga();
    WexalFpga(const WexalFpga&) = delete;
    WexalFpga& operator=(const WexalFpga&) = delete;

    uint32_t Read32(uint32_t offset) { return m_map.Read(offset); }
    void Write32(uint32_t offset, uint32_t value) { m_map.Write(offset, value); }

    RegisterMap& Registers() { return m_map; }
    SdramModel& Sdram() { return m_sdram; }
    DmaEngine& Dma() { return m_dma; }
    const std::vector<uint8_t>& VpdImage() const { return m_vpd; }

    static constexpr uint32_t kVpdBase = 0x2000, kVpdBytes = 0x400;
    static constexpr uint32_t kControllerBase = 0x4000;
    static constexpr uint32_t kCoreBase = 0x40000;
    static constexpr uint32_t kControlBase = 0x58000, kTriggerBase = 0x58200, kFlushBase = 0x58400;
    static constexpr uint32_t kPresentLow = 0x58308, kPresentHigh = 0x5830C;

private:
    class Block;
    BoardConfig m_config;
    SdramModel m_sdram;
    DcbStore m_dcbs;
    BcuStore m_bcus;
    DmaEngine m_dma;
    std::vector<uint8_t> m_vpd;
    RegisterMap m_map;
    std::vector<std::unique_ptr<RegisterBlock>> m_blocks;
};

// Builds the PCI VPD image of a board: identifier string (tag 0x82), read-only fields (tag 0x90),
// end tag 0x79 with a checksum byte that makes all bytes up to it sum to 0, zero fill to 1 KiB.
std::vector<uint8_t> BuildVpdImage(const BoardConfig& config);

}  // namespace sim
