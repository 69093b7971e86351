// The codec board's host-port bridge (BAR0 0x10000-0x10FFF) and the two DSPs behind its host ports.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/codec_chip.h"
#include "sim/dma_engine.h"
#include "sim/register_map.h"
#include "sim/rig_config.h"

namespace sim {

// The DSP microcode image's data (the part after the OXD header), little-endian words:
//   0 magic "KAWF" (0x4657414B)   1 revision (decimal, e.g. 52)   2 code length N in bytes (multiple of 4)
//   3 .. 3+N/4-1 code             then CRC-32 (Crc32Ieee) of every byte before it
// Returns the whole OXD file "KAWF0101.oxd" for that revision, its code filler deterministic.
std::vector<uint8_t> BuildDspMicrocodeOxd(uint32_t revision);
// The OXD file "<id>0202.oxd" of a codec chip image: the chip's bit stream with that identification
// word (its personality in bits 31-20), revision tag the word's major and minor digits; packages,
// when given, is the text of its tag 'X' (the table packages an encoder image supports).
std::vector<uint8_t> BuildCodecChipOxd(const std::string& id, uint32_t idWord, const std::string& packages = "");
// The diagnostics image of the codec chips.
constexpr const char* kDiagnosticsImageId = "SDIA";
// The revision of the microcode image the rig's testdata carries.
constexpr uint32_t kDspMicrocodeRevision = 52;

// One DSP (C6x family stand-in). Its address space as the host port reaches it:
//   0x00000000-0x000FFFFF internal memory (1 MiB). The top holds the mailbox:
//     0xFF200 command (the host writes a command code, the DSP clears it to 0 when done),
//     0xFF204 status (0 when healthy; kHaltedStatus while no valid microcode runs),
//     0xFF208-0xFF224 eight argument words, 0xFF240-0xFF25C eight reply words (reply 0: 1 done,
//     0 refused).
//   0x01800000-0x0180005F EMIF A control registers (24 words), 0x01A00000-0x01A0005F EMIF B;
//   0x01C00000 DSP control: write 1 boots the code at address 0, 0 halts; reads 1 while running.
//   Any other address: the codec chip's space (its configuration port, its EMIF registers).
// Mailbox commands (arguments in order): 1 start-up handshake (reply 1: microcode revision),
// 2 set state (1 run, 2 halt), 3 get state (reply 1), 4 set mode (0 idle, 1 encode, 2 decode, 3 HD encode),
// 5 get mode (reply 1), 6 alloc (bytes; reply 1: address or 0), 7 firmware mode (1 encode,
// 2 decode), 8 add table list (VCID, encode address, size, resolution address, size; reply 1: the
// table offset), 9 dealloc (address, bytes), 11 load the table list into the chip. The heap lies
// at 0x80000-0xFF000, blocks rounded to 16 bytes.
class CodecDsp {
public:
    static constexpr uint32_t kMemoryBytes = 0x100000;
    static constexpr uint32_t kMailboxCommand = 0xFF200, kMailboxStatus = 0xFF204, kMailboxArgs = 0xFF208,
                              kMailboxReply = 0xFF240;
    static constexpr uint32_t kHaltedStatus = 0xBAD0000D;
    static constexpr uint32_t kEmifBase[2] = {0x01800000, 0x01A00000};
    static constexpr uint32_t kEmifWords = 24;
    static constexpr uint32_t kControl = 0x01C00000;
    static constexpr uint32_t kHeapBegin = 0x80000, kHeapEnd = 0xFF000;
    static constexpr uint32_t kMicrocodeMagic = 0x4657414B;

    // chip: 1 (A) or 2 (B), the codec chip on this DSP's EMIFs.
    CodecDsp(const BoardConfig& config, int chip);
    uint32_t Read(uint32_t address);
    void Write(uint32_t address, uint32_t value);
    // The host rang the doorbell: a running DSP carries out the mailbox command.
    void Doorbell();
    bool Running() const { return m_running; }
    uint32_t Revision() const { return m_revision; }
    // The table list command 11 last handed to the chip: {VCID, encode address, size, resolution address, size}.
    const std::vector<std::vector<uint32_t>>& LoadedTables() const { return m_loadedTables; }
    CodecChip& Chip() { return m_chip; }
    // An encoded frame waits for the outbound channel: the running DSP formats it. False when it
    // cannot (its EDMA timed out), so the frame never leaves; the status word shows why.
    bool FormatFrame();
    // Changes what the DSP's faults change of length bytes of a formatted frame, the first of them
    // at byte `at` of the frame, as they go out.
    void FrameFaults(uint8_t* bytes, uint64_t at, size_t length) const;

private:
    uint32_t Word(uint32_t address) const;
    void SetWord(uint32_t address, uint32_t value);
    void Boot();
    void Command();

    bool Own(uint32_t address) const;
    bool HasFault(DspFault::Kind kind) const;

    CodecChip m_chip;
    std::vector<DspFault> m_faults;
    std::vector<uint32_t> m_memory;  // internal memory, allocated at the first write
    uint32_t m_emif[2][kEmifWords] = {};
    bool m_running = false;
    uint32_t m_revision = 0;
    uint32_t m_state = 2, m_mode = 0;
    std::map<uint32_t, uint32_t> m_heap;  // address -> bytes
    std::vector<std::vector<uint32_t>> m_tables, m_loadedTables;
};

// The bridge's registers (offsets from its base, BAR0 0x10000):
//   0x048 identification: 0x110 << 20 | major << 12 | minor.
//   Host port n (1, 2; DSP A, B) at 0x100 * n: +0x00 control (bit 3 ready: low for kBusyMicros of
//   virtual time after each data access), +0x04 address, +0x08 data at the address, +0x0C data with
//   the address advanced by 4 after the access, +0x10 doorbell (any write).
class CodecBridge : public RegisterBlock {
public:
    static constexpr uint32_t kBase = 0x10000, kEnd = 0x11000;
    static constexpr uint32_t kIdOffset = 0x48;
    static constexpr uint32_t kPortStride = 0x100, kControl = 0x0, kAddress = 0x4, kData = 0x8, kDataAuto = 0xC, kDoorbell = 0x10;
    static constexpr uint32_t kReady = 1u << 3;
    static constexpr int64_t kBusyMicros = 2;

    explicit CodecBridge(const BoardConfig& config);
    void Attach(RegisterMap& map) { map.Add(kBase, kEnd, this); }
    // The chips' VelkoDrun ports on the main FPGA's DMA: channel 28 (29) into chip A (B), headed by
    // the port word at BAR0 0x88000 (0x90000); the chip's output to channel 24 (25).
    void AttachPorts(DmaEngine& engine, RegisterMap& map);
    uint32_t Read(uint32_t offset) override;
    void Write(uint32_t offset, uint32_t value) override;
    CodecDsp& Dsp(int port) { return m_dsp[port == 2 ? 1 : 0]; }

private:
    struct Port {
        uint32_t address = 0;
        int64_t busyUntil = 0;
        bool neverReady = false;
    };
    Port* PortAt(uint32_t offset, uint32_t& reg, int& index);
    uint32_t m_id;
    Port m_ports[2];
    CodecDsp m_dsp[2];  // after the id and ports
    std::shared_ptr<DmaEndpoint> m_endpoints[4];
};

}  // namespace sim
