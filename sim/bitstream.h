// Configuration bit streams of the simulated FPGAs: their layout, the CRC that closes them, and the check an FPGA makes while loading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

// CRC-32 as zlib and PNG compute it (reflected polynomial 0xEDB88320, initial value and final XOR
// 0xFFFFFFFF); pass the previous result as crc to continue over more bytes. "123456789" gives
// 0xCBF43926. Table driven, one lookup per byte.
uint32_t Crc32Ieee(const void* data, size_t len, uint32_t crc = 0);

// The synthetic bit stream that every FPGA of the rig loads (all numbers little-endian):
//
//   offset  size  content
//   0       12    preamble: a dummy word FF FF FF FF, the sync word 55 99 AA 66 and the first
//                 command packet 0C 00 01 80, in the bit-swapped byte order of the configuration
//                 bus (read as 16-bit words: FFFF FFFF 9955 66AA 000C 8001, the words the flash
//                 segment headers start with)
//   12      2     targets: bit n set when configuration-port device n may load it (0 keyer, 1-2 the
//                 FPGA pair, 3-4 the board links); bit 8 for a main FPGA (Wexal) image in flash
//   14      2     0
//   16      4     identification word the configured FPGA reports
//   20      4     body length N
//   24      N     body (deterministic filler standing for the configuration frames)
//   24+N    4     CRC-32 (Crc32Ieee) of bytes 0 .. 23+N
//
// After the stream the FPGA needs kStartupClocks more clocks before DONE rises.
struct Bitstream {
    static constexpr uint8_t kPreamble[12] = {0xFF, 0xFF, 0xFF, 0xFF, 0x55, 0x99, 0xAA, 0x66, 0x0C, 0x00, 0x01, 0x80};
    static constexpr size_t kHeaderBytes = 24;
    static constexpr size_t kCrcBytes = 4;
    static constexpr uint16_t kTargetWexal = 0x100;
    static constexpr uint32_t kMaxBody = 0x300000;
    static constexpr int kStartupClocks = 8;

    // The whole stream for these targets and identification word, with a body of bodyBytes.
    static std::vector<uint8_t> Build(uint16_t targets, uint32_t idWord, uint32_t bodyBytes);
};

// What an FPGA makes of the bytes clocked into it after a PROG cycle, one byte at a time. The first
// byte that cannot belong to a stream for this FPGA (a preamble mismatch, a stream not meant for its
// device code, an oversized body, a CRC mismatch) is an error, as the FPGA's CRC error that pulls
// INIT low; bytes after an error or after the end of a good stream change nothing.
class BitstreamChecker {
public:
    enum class State { Receiving, Complete, Error };

    // device: the configuration-port device code 0-7, or 8 for a Wexal image.
    explicit BitstreamChecker(int device) : m_device(device) {}

    State Push(uint8_t byte);
    State GetState() const { return m_state; }
    // Bytes received since the PROG cycle (including those after the end of the stream).
    uint64_t Received() const { return m_received; }
    // Clocks seen after a good stream ended.
    uint64_t ClocksAfterEnd() const { return m_after; }
    uint32_t IdWord() const { return m_idWord; }

private:
    State Fail() { return m_state = State::Error; }

    int m_device;
    State m_state = State::Receiving;
    uint64_t m_received = 0;
    uint64_t m_after = 0;
    uint8_t m_header[Bitstream::kHeaderBytes] = {};
    uint32_t m_bodyBytes = 0;
    uint32_t m_idWord = 0;
    uint32_t m_crc = 0;       // running CRC over header and body
    uint32_t m_crcRead = 0;   // the closing CRC as it arrives
};

}  // namespace sim
