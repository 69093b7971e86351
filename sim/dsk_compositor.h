// The DSK1 compositor of the Wexal FPGA: its control registers, and foreground (46) and background
// (62) frames through the downstream keyer to its output channel (42).
#pragma once

#include <cstdint>
#include <vector>

#include "sim/dma_engine.h"
#include "sim/register_map.h"

namespace sim {

// Registers (BAR0 byte offsets):
//   0xE0020  control: reads back as written; bit 31 runs the compositor, bit 30 also takes a
//            background frame from channel 62 for each foreground frame
//   0xE023C  active: the control word while running, else 0; read-only
// While running, each foreground frame read by channel 46 leaves on channel 42 unchanged (the keyer
// passes the foreground through); with bit 30 set it leaves only once a background frame has been
// read by 62 as well, which is consumed. Stopped, the frames wait.
class DskCompositor : public RegisterBlock, public DmaEndpoint {
public:
    static constexpr uint32_t kControl = 0xE0020, kActive = 0xE023C;
    static constexpr int kForeground = 46, kBackground = 62, kOutput = 42;
    static constexpr uint32_t kRun = 1u << 31, kBackgroundOn = 1u << 30;

    void Attach(RegisterMap& map);

    uint32_t Read(uint32_t offset) override;
    void Write(uint32_t offset, uint32_t value) override;

    bool Ready(DmaEngine& engine, int channel, const DcbImage& dcb) override;
    bool Transfer(DmaEngine& engine, int channel, const DcbImage& dcb) override;
    std::vector<int> Group(int) const override { return {kOutput, kForeground, kBackground}; }
    void Flush(int channel) override;

private:
    bool Running() const { return m_control & kRun; }
    bool NeedsBackground() const { return m_control & kBackgroundOn; }
    static bool ReadFrame(DmaEngine& engine, int channel, const DcbImage& dcb, std::vector<uint8_t>& frame);

    uint32_t m_control = 0;
    bool m_foregroundFull = false, m_backgroundFull = false;
    std::vector<uint8_t> m_foreground, m_background;
};

}  // namespace sim
