// The main board's video-path FPGAs: the keyer (device 0) and the FPGA pair A and B (devices 1 and
// 2), their BAR0 registers, CRC registers and the two PPP routes through them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "sim/config_port.h"
#include "sim/register_map.h"
#include "sim/rig_config.h"
#include "sim/video_route.h"

namespace sim {

// Returns the keyer and pair CRC register crc after the words: CRC-32 (polynomial 0x04C11DB7, no
// reflection, no final XOR) fed bits 15-3 of each 16-bit half of each little-endian 32-bit word,
// low half first, most significant bit first; a trailing partial word is not fed. Table-driven,
// with carry-less multiplication on long runs where the CPU has it (some GB/s).
uint32_t VideoCrcFeed(uint32_t crc, const uint8_t* words, size_t bytes);

// BAR0 layout (byte offsets); every offset not listed reads back as written, and the whole window
// of an unconfigured FPGA reads all ones.
//   Keyer 0x8000-0xBFFF:
//     0x8C00 / 0xAC00 channel block A / B: +0x3C4 port control (bits 30-31 path on),
//       +0x3C8 control two (bit 15 loopback, bit 14 passthru), +0x3D8 first CRC (words going back)
//     0x87CC / 0xA7CC second CRC A / B (words arriving from the main FPGA)
//     0xBFC8 identification word; 0xBFD0 DCM lock flags 24-30 (read-only), datapath resets 16 (A),
//       17 (B), 18
//   Pair windows 0x18000 (A), 0x1C000 (B), 0x4000 bytes each:
//     +0x0FD8 CRC (words arriving); +0x1FC4 / +0x27C4 DDR pass 1 / 2 start (write 0x16);
//     +0x17FC / +0x27FC DDR pass 1 / 2 status (bits 18-19 when done), +0x1FFC pass 1 status too;
//     +0x3FC8 identification word; +0x3FD0 DCM lock flags 24-28 (read-only), datapath reset 16
class VideoFpgas {
public:
    static constexpr uint32_t kKeyerBase = 0x8000, kKeyerEnd = 0xC000;
    static constexpr uint32_t kPairBase[2] = {0x18000, 0x1C000};
    static constexpr uint32_t kPairBytes = 0x4000;
    // Keyer registers.
    static constexpr uint32_t kChannelBlock[2] = {0x8C00, 0xAC00};
    static constexpr uint32_t kPortControl = 0x3C4, kControlTwo = 0x3C8, kFirstCrc = 0x3D8;
    static constexpr uint32_t kSecondCrc[2] = {0x87CC, 0xA7CC};
    static constexpr uint32_t kKeyerId = 0xBFC8, kKeyerDcm = 0xBFD0;
    static constexpr uint32_t kPathOn = 0xC0000000, kLoopback = 1u << 15, kPassthru = 1u << 14;
    static constexpr uint32_t kKeyerDcmLocked = 0x7F000000;             // bits 24-30
    static constexpr uint32_t kKeyerResets = 0x00070000;                // bits 16-18
    // Pair registers (offsets inside the window).
    static constexpr uint32_t kPairCrc = 0xFD8;
    static constexpr uint32_t kDdrStart[2] = {0x1FC4, 0x27C4}, kDdrStatus[2] = {0x17FC, 0x27FC};
    static constexpr uint32_t kDdrStatusAlso = 0x1FFC;                  // pass 1's status again
    static constexpr uint32_t kDdrStartCode = 0x16, kDdrDone = 0x000C0000;
    static constexpr uint32_t kPairId = 0x3FC8, kPairDcm = 0x3FD0;
    static constexpr uint32_t kPairDcmLocked = 0x1F000000;              // bits 24-28
    static constexpr uint32_t kPairReset = 1u << 16;
    // Bits of the controller's RAM register (clock enables) the models depend on.
    static constexpr uint32_t kRamKeyerA = 1u << 0, kRamPair = 1u << 1, kRamKeyerB = 1u << 2;

    // ramRegister answers the board controller's RAM register (clock enables) when asked.
    VideoFpgas(const BoardConfig& config, ConfigPort& port, std::function<uint32_t()> ramRegister);
    ~VideoFpgas();
    VideoFpgas(const VideoFpgas&) = delete;
    VideoFpgas& operator=(const VideoFpgas&) = delete;

    // Claims the keyer's range and both pair windows.
    void Attach(RegisterMap& map);
    // The PPP route of channel 0 (A) or 1 (B).
    VideoRoute& PppRoute(int channel);

    // Register access as the host sees it (the same as through the map Attach filled).
    uint32_t Read(uint32_t offset);
    void Write(uint32_t offset, uint32_t value);

private:
    class Fpga;
    class Keyer;
    class Pair;
    class Route;
    RegisterBlock* Block(uint32_t offset);

    std::function<uint32_t()> m_ram;
    std::unique_ptr<Keyer> m_keyer;
    std::unique_ptr<Pair> m_pair[2];
    std::unique_ptr<Route> m_route[2];
};

}  // namespace sim
