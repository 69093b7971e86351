// The FPGA configuration port of the board controller (BAR0 0x4014): one PROG/INIT/DONE state machine per configurable FPGA, with its faults.
#pragma once

#include <cstdint>
#include <optional>

#include "sim/bitstream.h"
#include "sim/rig_config.h"

namespace sim {

// Register bits: 0-7 data byte, 8 and 23 data strobes, 9 chip select (for a board-link FPGA also its
// reset, asserted while set), 10 PROG, 14 INIT and 15 DONE (read), 16-18 device code (0 keyer, 1
// and 2 the FPGA pair A and B, 3 codec-port and 4 expansion-port board link). Data byte, chip
// select, PROG and device code read back as written; the strobes read 0.
//
// Each FPGA follows the Xilinx handshake: while PROG is set INIT and DONE read 0 and the FPGA
// forgets its configuration; kInitRiseMicros after PROG is released INIT reads 1; then each write
// with chip select and a strobe clocks its data byte into the FPGA. A stream that is valid for the
// FPGA (see Bitstream) followed by Bitstream::kStartupClocks more clocks raises DONE; the first byte
// that makes it invalid drops INIT (a CRC error) and DONE stays 0. PROG, chip select and strobes act
// on the device the write selects; a device that is not selected sees PROG released. Codes without
// a device (5-7, and 0-2 on the codec board) read INIT and DONE 0.
class ConfigPort {
public:
    static constexpr int kDevices = 5;
    static constexpr int64_t kInitRiseMicros = 2000;
    static constexpr uint32_t kData = 0xFF, kStrobe = 0x100, kChipSelect = 0x200, kProg = 0x400;
    static constexpr uint32_t kInit = 0x4000, kDone = 0x8000, kStrobeHigh = 0x800000;
    static constexpr int kCodeShift = 16;

    ConfigPort(BoardKind kind, const ConfigPortFaults& faults);

    uint32_t Read();
    void Write(uint32_t value);

    // The FPGA side, for the models that sit behind the configured FPGAs.
    bool Present(int device) const;
    // DONE: the FPGA holds a configuration.
    bool Configured(int device);
    // The identification word the FPGA reports: its stream's word once configured, else 0xFFFFFFFF.
    uint32_t IdWord(int device);
    // How many times the FPGA has been configured since power-up: a model behind it sees a fresh
    // configuration (its registers back at their start values) by this count changing.
    uint32_t Configurations(int device) const { return Present(device) ? m_dev[device].configurations : 0; }
    // A board-link FPGA (3, 4) is held in reset while the port selects it with chip select set.
    bool InReset(int device) const;

private:
    struct Device {
        bool present = false;
        bool prog = false;
        int64_t initRiseAt = 0;  // tick INIT rises after PROG was released
        bool crcError = false;
        bool configured = false;
        uint32_t idWord = 0xFFFFFFFF;
        uint32_t configurations = 0;
        std::optional<BitstreamChecker> stream;
    };

    const ConfigDeviceFault* Fault(int device, ConfigDeviceFault::Kind kind) const;
    int Code(uint32_t value) const;
    bool Init(int device) const;
    bool Done(int device);
    void Clock(int device, uint8_t byte);

    ConfigPortFaults m_faults;
    Device m_dev[kDevices];
    uint32_t m_latch = 0;  // data byte, chip select, PROG and (possibly faulty) device code as written
};

}  // namespace sim
