// A codec chip on its DSP's EMIFs: its configuration port in DSP space and the diagnostics personality's registers and SDRAM windows.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "sim/bitstream.h"
#include "sim/rig_config.h"

namespace sim {

// Words a chip has sent out, kept in the blocks it produced them in, so the channel that takes
// them writes them out from where they lie.
class WordStream {
public:
    bool empty() const { return m_size == 0; }
    size_t size() const { return m_size; }
    void clear();
    void Append(std::vector<uint32_t> block);
    // The first n words (at most size()): in place when they lie in one block, else copied into
    // scratch. Either may be changed before Pop(n) drops them.
    uint32_t* Front(size_t n, std::vector<uint32_t>& scratch);
    void Pop(size_t n);
    // Every word, oldest first; the stream is left empty.
    std::vector<uint32_t> TakeAll();
    // An empty vector for the next block, with the room of the largest block taken or given back
    // since the last call; Recycle gives one back.
    std::vector<uint32_t> Recycled();
    void Recycle(std::vector<uint32_t>&& block);
    // An empty vector with room for words when a block given back has it: the spare, else the
    // smallest such block of those kept beside it; else the spare. A burst of blocks sent before
    // any goes out thus finds its room again on the next burst instead of new pages.
    std::vector<uint32_t> RecycledFor(size_t words);

private:
    std::deque<std::vector<uint32_t>> m_blocks;
    std::vector<uint32_t> m_spare;
    // Blocks given back beside the larger spare, for RecycledFor: at most kKeptBlocks of them and
    // kKeptBytes in all (a chain of 15 1080p pictures), so what one burst needed stays at hand.
    static constexpr size_t kKeptBlocks = 16, kKeptBytes = size_t{128} << 20;
    std::vector<std::vector<uint32_t>> m_kept;
    size_t m_offset = 0;  // words of the front block already taken
    size_t m_size = 0;
};

// The chip's image is a Bitstream for device code kBitstreamDevice; its identification word picks
// the personality (bits 31-20). Addresses are DSP addresses:
//   0x01C40000 configuration control: bit 0 PROG (write; the chip forgets its configuration while
//     set), bit 1 INIT (reads 1 once PROG was released), bit 2 DONE (reads 1 after a good stream)
//   0x01C40004 configuration data: each write clocks four stream bytes, bits 0-7 first
//   0x01C40008 reset: writing 1 clears the personality's state (FIFOs, status, windows) and keeps
//     the configuration and the SDRAM contents
//   0x01C4000C identification word of the loaded image (0xFFFFFFFF while unconfigured)
// Every other address belongs to the personality; an unconfigured chip reads 0xFFFFFFFF there and
// ignores writes. EMIF A is the space from 0x80000000, EMIF B 0x60000000-0x7FFFFFFF.
//
// Diagnostics personality (docs/codec.md has the table): 16-bit FIFOs of 25 words at 0x90000000
// (A) and 0x64000000 (B); RAM tables at 0xB0000000 (0x200 bytes) and 0x6C000000 (0x80 bytes);
// register 0xB0010000; the 32-bit SDRAM window (index 0xB0000200, control 0xB0000208, status
// 0xB0000210 bit 0 busy, write port 0xA0000008, read port 0xA0000010, 2 DWORDs a block) and the
// 64-bit one (0xB0000400/408/410, 0xA0000020, 0xA0000040, 4 DWORDs a block), blocks kept by index
// value; DDR initialisation starts 0x60000010 (32-bit) and 0x60000020 (64-bit), done bits 17 and 16
// of 0x6C000112. VelkoDrun port: the inbound stream (what DMA channel 28 / 29 carries into the chip,
// each transfer headed by the port word as one 16-bit half, then each DWORD as two halves, low
// first) is read at 0x60000002, two halves a read (the first in bits 0-15), while 0x6C000102 bit 0
// says no data is ready; words written to 0x60000004 go out to channel 24 / 25 once 0x6C000104 is
// written 0x10001, and 0x01B00008 bit 13 shows the outbound port ready once 0x01B00000 has bits 12
// and 13 set and 0x01B00004 has them clear. Any other address reads back what was written.
class CodecChip {
public:
    static constexpr int kBitstreamDevice = 9;
    static constexpr uint16_t kTargets = 1u << kBitstreamDevice;
    static constexpr uint32_t kConfigControl = 0x01C40000, kConfigData = 0x01C40004, kReset = 0x01C40008, kIdWord = 0x01C4000C;
    static constexpr uint32_t kProg = 1, kInit = 2, kDone = 4;
    static constexpr uint32_t kDiagnostics = 0x5D0;  // personality codes (bits 31-20 of the word)
    static constexpr uint32_t kDiagnosticsIdWord = kDiagnostics << 20 | 0x01 << 12 | 0x002;
    // Encoder personality (sim/codec_encoder.cpp): device 0x160, revision 8.0x50 (tag "0850").
    static constexpr uint32_t kEncoder = 0x160;
    static constexpr uint32_t kEncoderIdWord = kEncoder << 20 | 0x08 << 12 | 0x050;
    // Packer and unpacker personalities (sim/codec_pixel.cpp). The identification word is
    // device << 20 | major << 12 | minor; an image's revision tag is "%02X%02X" of the major and the
    // low byte of the minor, which the library reads back as a hexadecimal number (so revision
    // 0x0424 is major 0x04, minor 0x024).
    static constexpr uint32_t kPacker = 0x120, kUnpacker = 0x140;
    static constexpr uint32_t kPackerIdWord = kPacker << 20 | 0x04 << 12 | 0x024;      // tag "0424"
    static constexpr uint32_t kPackerTestIdWord = kPacker << 20 | 0xFF << 12 | 0x0FF;  // tag "FFFF"
    static constexpr uint32_t kUnpackerIdWord = kUnpacker << 20 | 0x06 << 12 | 0x00B;  // tag "060B"
    static constexpr int64_t kDdrInitMicros = 3000;  // an encoder DDR sequence
    static constexpr uint32_t kFifoDepth = 25;
    static constexpr int64_t kBlockMicros = 4;  // a window block transfer

    // chip: 1 (A) or 2 (B).
    CodecChip(const BoardConfig& config, int chip);
    bool Claims(uint32_t address) const { return address >= kConfigControl && address <= kIdWord + 3; }
    uint32_t Read(uint32_t address);
    void Write(uint32_t address, uint32_t value);
    bool Configured() const { return m_configured; }
    // The VelkoDrun port's DMA side: pull is asked to bring the inbound channel up to date before
    // the chip says it has no data; the channels push and take the streams.
    void SetInboundPull(std::function<void()> pull) { m_pull = std::move(pull); }
    // push is asked to move the outbound stream on after a batch was committed.
    void SetOutboundPush(std::function<void()> push) { m_push = std::move(push); }
    // Where a frame of `bytes` output bytes may be written straight into the memory that will take
    // it, the push then finding it delivered: the cells, or null for the stream. Never cells that
    // `input` (the frame being read) lies in. queued: the frame would wait in the stream until
    // the inbound chain is through.
    using OutboundTarget = std::function<uint8_t*(uint64_t bytes, std::span<const uint8_t> input, bool queued)>;
    void SetOutboundTarget(OutboundTarget target) { m_target = std::move(target); }
    void PushInbound(uint16_t half) { m_inbound.push_back(half); }
    // A frame personality takes each inbound DMA transfer whole: the port word the transfer was
    // headed by and its bytes. False when the loaded personality streams halves instead (the
    // diagnostics port), or nothing is loaded. The bytes may be the SDRAM cells themselves, valid
    // for the call only: a personality reads all it needs of them before its output moves on
    // (the push, the expansion sink), which may write to the same memory.
    bool TakeFrame(uint32_t portWord, std::span<const uint8_t> bytes);
    WordStream& Outbound() { return m_outbound; }
    // A stuck output bit of the port (0 video, 1 expansion) on the words the chip sends out of it.
    void OutputFaults(int port, uint32_t* words, size_t count) const;
    bool HasOutputFaults(int port) const;
    // Where the chip's expansion-port output goes (the main FPGA's expansion link sink, channel 58).
    void SetExpansionSink(std::function<void(const uint8_t*, size_t)> sink) { m_expansionSink = std::move(sink); }
    // Whether the chip has words for the outbound channel now or a unit waiting to be encoded.
    bool HasOutbound() const { return !m_outbound.empty() || !m_encodeJobs.empty(); }
    // The outbound DCB about to take the chip's output spans spanBytes: an encoded unit waiting is
    // produced now, filling that span (the compressed size the DSP set up for the stream).
    void PrepareOutbound(uint64_t spanBytes);
    // The encode tables the DSP's table-list load hands the encoder (Status bit 2 rises).
    struct EncodeTable {
        uint32_t vcid = 0, offset = 0;
        std::vector<uint8_t> bytes;
    };
    void LoadEncodeTables(std::vector<EncodeTable> tables);

    // Packer and unpacker: the running CRC registers the data paths feed. Each register is
    // CRC-32/MPEG-2 (polynomial 0x04C11DB7, most significant bit first, no reflection, no final
    // XOR) from 0 at the last restart, fed 64 bits per pair of words: bits 15-0 of the first word,
    // its bits 31-16, then the same of the second, as the library's 64-bit image CRC model
    // computes it. Words pair across feeds; an unpaired word waits for the next feed. Nothing is
    // fed while 0x6C00000C bit 8 holds the registers in restart, or to a register the loaded
    // personality lacks.
    enum PixelCrc { kCrcIn = 0, kCrcOut = 1, kCrcExpansion = 2 };
    void PixelCrcFeed(int reg, const uint32_t* words, size_t n);
    // The same fed with the whole little-endian words of bytes (a trailing part word is left out).
    void PixelCrcFeedBytes(int reg, const uint8_t* bytes, size_t length);
    // The register reg when a feed of it now starts a new pair (loaded, not held in restart, no
    // word waiting), for a data path that computes it as it goes; null otherwise.
    uint32_t* PixelCrcOpen(int reg);
    // Clears the three CRC registers and any unpaired word (what 0x6C00000C bit 8 does).
    void PixelCrcRestart();
    // Context RAM entry n (0-15) as written: word 0 geometry, word 1 formats; false past 15.
    bool PixelContext(int n, uint32_t& word0, uint32_t& word1) const;
    // The MemBist control register of memory 64 (0x6C000010) or 32 (0x6C000020) as last written
    // (the unpacker's pass-through bits 11 and 13 live there).
    uint32_t PixelBistControl(int memory) const { return m_pixel.bist[memory == 64 ? 0 : 1].control; }
    // Chip B reports a device id 0x10 above A's, except on a board whose product data "ZA" holds
    // an artwork below 2 (an absent or empty field counts as a later board).
    uint32_t IdWord() const { return m_configured ? m_idWord + m_idOffset : 0xFFFFFFFF; }

private:
    struct Window {
        uint32_t index = 0, control = 0;
        std::array<uint32_t, 4> buffer{};
        uint32_t writeAt = 0, readAt = 0;
        int64_t busyUntil = 0;
        std::unordered_map<uint32_t, std::array<uint32_t, 4>> blocks;
    };
    void Reset();
    uint32_t Personality(uint32_t address, bool read, uint32_t value);
    uint32_t Diagnostics(uint32_t address, bool read, uint32_t value);
    uint32_t Encoder(uint32_t address, bool read, uint32_t value);
    // One frame (or field) into the encoder: its output goes out to the return channel.
    bool EncoderFrame(uint32_t portWord, std::span<const uint8_t> bytes);
    bool PackerFrame(uint32_t portWord, std::span<const uint8_t> bytes);
    static bool PackerDirectFits(bool image, uint64_t pixels);
    void PackerDirect(bool image, uint64_t pixels, uint64_t pad, const uint8_t* in, uint8_t* cells);
    uint32_t Pixel(uint32_t address, bool read, uint32_t value);
    void PixelUpdate(int64_t now);
    void PixelStartBist(int m, uint32_t test, int64_t now);
    void PixelReset(bool configured);
    bool HasFault(CodecChipFault::Kind kind, int width = 0) const;
    uint32_t WindowAccess(int w, uint32_t reg, bool read, uint32_t value);
    uint32_t EmifFault(uint32_t address, uint32_t value) const;
    // Unpacker data path: a packed frame (pad, 2-bit plane, 8-bit plane) or alpha (planes, pad)
    // in the format of its context entry gives unpacked words (10-bit samples in bits 15..6) on
    // the video port (out formats 0, 1) or the expansion port (2, 3); writes of bit 11 to
    // 0x6C000010 pass the data through instead.
    struct UnpackerContext {
        uint32_t width, height, inFormat, outFormat;
    };
    UnpackerContext UnpackerEntry(uint32_t index) const;
    bool UnpackerFrame(uint32_t portWord, std::span<const uint8_t> bytes);

    uint32_t m_idOffset = 0;
    uint64_t m_sdramBlocks[2];
    BoardFaults m_faults;
    bool m_prog = false, m_init = false, m_configured = false;
    uint32_t m_idWord = 0xFFFFFFFF;
    std::optional<BitstreamChecker> m_stream;
    // Diagnostics state.
    std::deque<uint16_t> m_fifo[2];
    uint32_t m_ddrStatus = 0;
    Window m_window[2];
    std::map<uint32_t, uint32_t> m_registers;  // RAM tables, registers and anything else written
    std::function<void()> m_pull, m_push;
    OutboundTarget m_target;
    std::vector<uint32_t> m_packSlice, m_packSmall;  // the direct packer's buffers, kept hot
    std::function<void(const uint8_t*, size_t)> m_expansionSink;
    std::deque<uint16_t> m_inbound;
    std::vector<uint32_t> m_batch;
    WordStream m_outbound;
    // Encoder state: Status bits 0 and 1 rise when their DDR sequence ends (0 while none runs);
    // bit 13 with each frame received, bit 15 (DCM no lock) from power-up until cleared.
    static constexpr uint32_t kEncoderNewFrame = 0x2000, kEncoderDcmNoLock = 0x8000;
    uint32_t m_encoderStatus = 0;
    int64_t m_ddrDoneAt[2] = {0, 0};
    std::vector<EncodeTable> m_encodeTables;
    struct EncodeJob {
        std::vector<uint8_t> input;
        uint32_t word0 = 0, word1 = 0, vcid = 0;
        // The unit's bytes where the port still holds them, while it is encoded at once; a unit
        // left waiting copies them into input instead.
        std::span<const uint8_t> borrowed;
    };
    std::deque<EncodeJob> m_encodeJobs;
    // Packer / unpacker state; memories are indexed 0 (64-bit) and 1 (32-bit).
    struct PixelBist {
        uint32_t control = 0;  // as written
        uint32_t status = 0;   // bits 17-16: 10 running, 11 passed, 01 failed; bits 7-0 the test
        uint32_t errors = 0;   // 22-bit error count of the last self-test
        int64_t doneAt = 0;    // 0: nothing running (or never ends)
        uint32_t outcome = 0;  // status bits 17-16 when it ends
    };
    struct PixelState {
        uint32_t ddr = 0;
        int64_t ddrDoneAt[2] = {0, 0};
        uint32_t phaseRegister = 0, dcmControl = 0;
        uint32_t loadedPhase[2] = {0, 0};
        PixelBist bist[2];
        int64_t flushUntil = 0;
        bool flushStuck = false;
        uint32_t crc[3] = {0, 0, 0};
        uint32_t held[3] = {0, 0, 0};
        bool holding[3] = {false, false, false};
        std::array<uint32_t, 32> context{};
    } m_pixel;
};

// One unit (a frame, or a field of a field-based format) as the encoder personality compresses it.
struct EncoderUnit {
    const uint8_t* input = nullptr;  // the unit's samples as they arrived
    size_t inputBytes = 0;
    uint32_t width = 0, height = 0;  // the context's raster
    bool tenBit = false;
    uint32_t vcid = 0;
    const std::vector<uint8_t>* table = nullptr;  // the context's encode table
    bool crc = true;                              // images from revision 0x840 end fields in a CRC
};
// The stand-in encoder, stateless per unit: bytes bytes (a multiple of 8, at least 16). The first
// DWORD, big-endian, is the header size H; bytes 4-5 the VCID, byte 6 bit 0x10 the CRC flag, byte 7
// bit 0 the sample size; 64 bytes of DSP section from the table, 4 bytes per 16-line macroblock
// row of the raster (rows rounded as the compare rounds them) from that band's samples; from H
// data words that each depend on every sample and every table byte; the last DWORD the CRC-32
// (MPEG-2, seed 0) of the bytes before it, or the end marker 0x600DC0DE, stored big-endian.
std::vector<uint8_t> EncodeUnit(const EncoderUnit& unit, size_t bytes);
// The revision from which the encoder's fields end in a CRC.
constexpr uint32_t kEncoderCrcRevision = 0x840;

// The encoder image of the codec chips.
constexpr const char* kEncoderImageId = "GUWT";
// The packer image, the packer image of revision FFFF (the one the packer's memory self-test
// accepts) and the unpacker image.
constexpr const char* kPackerImageId = "PAQE";
constexpr const char* kPackerTestImageId = "PAQF";
constexpr const char* kUnpackerImageId = "UPQE";

// The little-endian 32-bit word at p, at any alignment.
inline uint32_t LittleWordAt(const uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
        uint32_t w;
        std::memcpy(&w, p, 4);
        return w;
    }
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// CRC-32/MPEG-2 register crc after the 64 data bits of each of `pairs` word pairs (see
// CodecChip::PixelCrcFeed for the order); table-driven, two pairs a step.
uint32_t PixelCrc64(uint32_t crc, const uint32_t* words, size_t pairs);
// The same over 2 * pairs little-endian words as bytes at any alignment.
uint32_t PixelCrc64Bytes(uint32_t crc, const uint8_t* bytes, size_t pairs);

// A pixel CRC register carried over little-endian words fed in pieces, as PixelCrc64Bytes takes
// them, without finishing the register after every piece: whole runs of 256 bytes are folded
// into four 512-bit remainders, reduced once at Finish. Only where Wide(); elsewhere the caller
// feeds the register directly.
class PixelCrcStream {
public:
    static bool Wide();
    explicit PixelCrcStream(uint32_t crc) : m_crc(crc) {}
    // length: whole words.
    void Feed(const uint8_t* bytes, size_t length);
    // The register after every whole run fed; *rest: the bytes fed after the last whole run
    // (*restBytes, fewer than 256), which the caller feeds on as before.
    uint32_t Finish(const uint8_t** rest, size_t* restBytes) const;

    // Whether the bytes fed so far make whole runs (none waiting).
    bool OnRunBoundary() const { return m_waitingBytes == 0; }

private:
    friend size_t UnpackRunsFast(const uint8_t* high, const uint8_t* low, size_t runs, uint32_t* out, PixelCrcStream& crc, bool stream);
    void FoldRuns(const uint8_t* bytes, size_t runs);

    alignas(64) uint8_t m_lanes[256];
    uint8_t m_waiting[256];
    size_t m_waitingBytes = 0;
    bool m_folding = false;
    uint32_t m_crc;
};
// The packer's byte selection over `groups` groups of 8 bytes (a picture's pixel pair, or four
// alpha pixels): each group's four odd bytes to plane8 (four bytes a group) and bits 7-6 of its
// four even bytes to one plane2 byte, the first group's bits 1-0. With crc given, *crc goes on
// over the groups' bytes as PixelCrc64 takes their little-endian words. Answers how many leading
// groups it did, in the steps it takes them (0 where the processor lacks the instructions); the
// caller does the rest.
size_t PackGroupsFast(const uint8_t* in, size_t groups, uint8_t* plane8, uint8_t* plane2, uint32_t* crc);
// The unpacker's data path over `runs` runs of 128 samples: sample t's high 8 bits at high[t],
// its low two at bits 2 (t % 4) of low[t / 4], two samples a word (the even one in the low half),
// 64 words a run to out, each run folded into crc as it is made; crc must be on a run boundary.
// With stream, out is 64-byte aligned and the words go past the cache. Answers the runs it did:
// all of them where PixelCrcStream::Wide(), else none.
size_t UnpackRunsFast(const uint8_t* high, const uint8_t* low, size_t runs, uint32_t* out, PixelCrcStream& crc, bool stream = false);
// CRC-32/MPEG-2 register crc after the length bytes at data, each most significant bit first
// (no reflection, no final XOR; seed 0xFFFFFFFF for the published check value); 16 bytes a step.
uint32_t Crc32Mpeg2(uint32_t crc, const uint8_t* data, size_t length);
// The same register after `length` zero bytes.
uint32_t Crc32Mpeg2Zeros(uint32_t crc, uint64_t length);

}  // namespace sim
