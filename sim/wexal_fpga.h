// The Wexal FPGA that both boards carry: its BAR0 registers, the DMA engine behind them, and the board's SDRAM.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "sim/dma_engine.h"
#include "sim/mem_clock.h"
#include "sim/register_map.h"
#include "sim/rig_config.h"
#include "sim/sdram.h"
#include "sim/vpd.h"

namespace sim {

class DskCompositor;
class HostMemory;

// BAR0 layout (byte offsets):
//   0x00000-0x03FFF  (the board controller's: flash EXP and VPD mirror, sim/controller.h)
//   0x04000-0x0401F  (the board controller's registers, sim/controller.h)
//   0x40000          running image revision (low 12 bits), read-only
//   0x40004          SDRAM post-write flush: any write makes host-window writes reach SDRAM
//   0x40060, 0x48044 (CAS latency code, bits 4-6), 0x48048: read/write
//   0x613E0, 0x7F000, 0x7F004  memory clock: stored clock word, step down, step up (sim/mem_clock.h)
//   0x58000 + 4c     channel control (bit 0 DCB enable; bit 7 an end strobe that leaves no state)
//   0x58200 + 4c     channel trigger: writing k starts the chain at DCB k (1-15)
//   0x58400 + 4c     channel flush: any write stops the channel and clears its live context
//   0x58308/0x5830C  channel-present masks (channels 0-31, 32-63), read-only
//   0x58110, 0x88000, 0x90000, 0x98000, 0xA0000  (the video ports', sim/video_ports.h)
//   0x60000 + 0x200c + 0x20d  DCB d of channel c, 8 words; DCB 0 is the live context
//   0x70000 + 16n    BCU n, 4 registers; register 0 bit 29 is Go
//   0xE0020, 0xE023C DSK1 compositor control and active (sim/dsk_compositor.h)
class WexalFpga {
public:
    WexalFpga(const BoardConfig& config, HostMemory& host, const DmaTiming& timing);
    ~WexalFpga();
    WexalFpga(const WexalFpga&) = delete;
    WexalFpga& operator=(const WexalFpga&) = delete;

    uint32_t Read32(uint32_t offset) { return m_map.Read(offset); }
    void ReadBlock32(uint32_t offset, uint32_t* out, size_t count) { m_map.ReadBlock(offset, out, count); }
    void Write32(uint32_t offset, uint32_t value) { m_map.Write(offset, value); }

    RegisterMap& Registers() { return m_map; }
    SdramModel& Sdram() { return m_sdram; }
    DmaEngine& Dma() { return m_dma; }
    MemoryClock& MemClock() { return *m_memClock; }

    static constexpr uint32_t kControllerBase = 0x4000;
    static constexpr uint32_t kCoreBase = 0x40000;
    static constexpr uint32_t kControlBase = DmaEngine::kControlBase, kTriggerBase = 0x58200, kFlushBase = 0x58400;
    static constexpr uint32_t kPresentLow = 0x58308, kPresentHigh = 0x5830C;

private:
    class Block;
    BoardConfig m_config;
    SdramModel m_sdram;
    DcbStore m_dcbs;
    BcuStore m_bcus;
    DmaEngine m_dma;
    RegisterMap m_map;
    std::vector<std::unique_ptr<RegisterBlock>> m_blocks;
    std::unique_ptr<MemoryClock> m_memClock;
    std::shared_ptr<DskCompositor> m_dsk;
};

}  // namespace sim
