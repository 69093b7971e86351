// A whole simulated rig: its boards with their FPGAs and memories, and the host's DMA memory.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/host_memory.h"
#include "sim/rig_config.h"
#include "sim/wexal_fpga.h"

namespace sim {

class SimBoard {
public:
    SimBoard(const BoardConfig& config, HostMemory& host, const DmaTiming& timing)
        : m_config(config), m_fpga(config, host, timing) {}
    const BoardConfig& Config() const { return m_config; }
    const std::string& Tag() const { return m_config.tag; }
    WexalFpga& Fpga() { return m_fpga; }
    bool HasSpace(const char* name) const;

private:
    BoardConfig m_config;
    WexalFpga m_fpga;
};

class Rig {
public:
    explicit Rig(const RigConfig& config);
    const RigConfig& Config() const { return m_config; }
    HostMemory& Host() { return m_host; }
    // Boards that enumerate (a missing-board fault hides one), in rig order.
    std::vector<SimBoard*> Boards();

private:
    RigConfig m_config;
    HostMemory m_host;
    std::vector<std::unique_ptr<SimBoard>> m_boards;
};

}  // namespace sim
