// A whole simulated rig: its boards with their FPGAs and memories, and the host's DMA memory.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/box_paths.h"
#include "sim/box_port.h"
#include "sim/breakout_box.h"
#include "sim/codec_bridge.h"
#include "sim/controller.h"
#include "sim/host_memory.h"
#include "sim/i2c_parts.h"
#include "sim/keyer_zbt.h"
#include "sim/rig_config.h"
#include "sim/video_fpgas.h"
#include "sim/video_ports.h"
#include "sim/wexal_fpga.h"

namespace sim {

class SimBoard {
public:
    SimBoard(const BoardConfig& config, HostMemory& host, const DmaTiming& timing)
        : m_config(config), m_fpga(config, host, timing), m_i2c(config), m_controller(config) {
        // Board controller: its registers, flash mirror and FPGA identification words in BAR0; the
        // temperature sensor's alarm drives its over-temperature bit.
        m_controller.Attach(m_fpga.Registers());
        m_controller.SetOverTemperatureSource([this] { return m_i2c.Sensor().OverLimit(); });
        if (config.breakoutBox) m_box = std::make_unique<BreakoutBox>(config);
        // The keyer and the FPGA pair after the controller: their registers take over its
        // identification words. The video ports after the FPGA's own blocks, for the same reason.
        if (config.kind == BoardKind::Brimola) {
            m_videoFpgas = std::make_unique<VideoFpgas>(m_config, m_controller.Fpgas(), [this] { return m_controller.RamRegister(); });
            m_videoFpgas->Attach(m_fpga.Registers());
            // The ZBT RAM's registers inside the keyer's window.
            m_zbt = std::make_unique<KeyerZbt>(
                m_config.faults.zbtAlias, [this] { return m_controller.Fpgas().Configured(0); },
                [this] { return m_controller.RamRegister(); });
            m_zbt->Attach(m_fpga.Registers());
        }
        m_ports = std::make_unique<VideoPorts>(m_config, m_controller, m_fpga.Dma());
        m_ports->Attach(m_fpga.Registers());
        if (m_videoFpgas) m_ports->AttachPpp(m_videoFpgas->PppRoute(0), m_videoFpgas->PppRoute(1));
        // The external I/O connector's loops: the box's, or a loopback cable's.
        m_boxPaths = std::make_unique<BoxPaths>(m_config, m_box.get(), m_fpga.Dma(), timing.modelled,
                                                [this](uint32_t bits) { m_ports->LatchSync(bits); });
        m_boxPaths->Attach(m_fpga.Registers());
        m_boxPort = std::make_unique<BoxPort>(m_config);
        m_boxPort->Attach(m_fpga.Registers());
        // The codec board's host-port bridge and its DSPs.
        if (config.kind == BoardKind::Nuxa) {
            m_bridge = std::make_unique<CodecBridge>(m_config);
            m_bridge->Attach(m_fpga.Registers());
            m_bridge->AttachPorts(m_fpga.Dma(), m_fpga.Registers());
            // The chips' expansion-port output reaches the expansion link's sink, channel 58.
            for (int dsp = 1; dsp <= 2; ++dsp)
                m_bridge->Dsp(dsp).Chip().SetExpansionSink([this](const uint8_t* data, size_t n) { m_ports->LinkPath(2).Deliver(data, n); });
        }
    }
    const BoardConfig& Config() const { return m_config; }
    const std::string& Tag() const { return m_config.tag; }
    WexalFpga& Fpga() { return m_fpga; }
    BoardI2C& I2C() { return m_i2c; }
    BoardController& Controller() { return m_controller; }
    VideoPorts& Ports() { return *m_ports; }
    // The keyer and the FPGA pair; null on a codec board.
    VideoFpgas* KeyerAndPair() { return m_videoFpgas.get(); }
    // The breakout box on the connector; null with a loopback cable or nothing there.
    BreakoutBox* Box() { return m_box.get(); }
    BoxPaths& Connector() { return *m_boxPaths; }
    // The host-port bridge; null on a main board.
    CodecBridge* Bridge() { return m_bridge.get(); }
    bool HasSpace(const char* name) const;

private:
    BoardConfig m_config;
    WexalFpga m_fpga;
    BoardI2C m_i2c;
    BoardController m_controller;
    std::unique_ptr<BreakoutBox> m_box;
    std::unique_ptr<VideoFpgas> m_videoFpgas;
    std::unique_ptr<VideoPorts> m_ports;
    std::unique_ptr<BoxPaths> m_boxPaths;
    std::unique_ptr<BoxPort> m_boxPort;  // the port's message and LTC registers
    std::unique_ptr<CodecBridge> m_bridge;
    std::unique_ptr<KeyerZbt> m_zbt;     // main board only
};

class Rig {
public:
    explicit Rig(const RigConfig& config);
    const RigConfig& Config() const { return m_config; }
    HostMemory& Host() { return m_host; }
    // Boards that enumerate (a missing-board fault hides one), in rig order.
    std::vector<SimBoard*> Boards();
    // A board by its tag, enumerating or not; null when the rig has none.
    SimBoard* Board(const std::string& tag);

private:
    RigConfig m_config;
    HostMemory m_host;
    std::vector<std::unique_ptr<SimBoard>> m_boards;
};

}  // namespace sim
