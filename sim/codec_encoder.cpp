// Codec chip model, encoder personality: its 16-bit register file, the DDR initialisation sequences and the context RAM.
#include <algorithm>
#include <array>
#include <cstring>

#include "platform/clock.h"
#include "sim/codec_chip.h"

namespace sim {

namespace {

using K = CodecChipFault::Kind;

constexpr uint32_t kStatus = 0x60000000, kRevisionLow = 0x60000018, kRevisionHigh = 0x6000001C, kDdrStart = 0x6000003C;
constexpr uint32_t kContextRam = 0x60000100, kContextRamEnd = kContextRam + 16 * 16;
constexpr uint32_t kBypassVcid = 0x8002;

}  // namespace

// Status (0x60000000) bits are cleared by writing 1 to them; bits 0 (R2B) and 1 (Coeff) rise a few
// ms after the matching bit of 0x6000003C started the sequence, unless a DdrInitNeverDone fault
// holds the sequence's memory (32 R2B, 64 Coeff); bit 13 rises with each frame the port brings,
// bit 15 (DCM no lock) stands from configuration or reset until cleared. The revision halves read
// the loaded image's identification word. Control, the interrupt registers, ContextID and the VCID
// halves keep 16 bits of what was written; the context RAM keeps whole words. A WrongDeviceId fault
// puts its device in bits 31-20 of the identification the revision halves show.
uint32_t CodecChip::Encoder(uint32_t address, bool read, uint32_t value) {
    const int64_t now = platform::NowTicks();
    address &= ~3u;
    if (address == kStatus) {
        for (int i = 0; i < 2; ++i) {
            if (m_ddrDoneAt[i] != 0 && now >= m_ddrDoneAt[i]) {
                m_encoderStatus |= 1u << i;
                m_ddrDoneAt[i] = 0;
            }
        }
        if (read) return m_encoderStatus & 0xFFFF;
        m_encoderStatus &= ~value;
        return 0;
    }
    if (address == kRevisionLow || address == kRevisionHigh) {
        if (!read) return 0;
        uint32_t id = IdWord();
        for (const CodecChipFault& f : m_faults.codec.chips)
            if (f.kind == K::WrongDeviceId) id = f.id << 20 | (id & 0xFFFFF);
        return address == kRevisionLow ? id & 0xFFFF : id >> 16;
    }
    if (address == kDdrStart && !read) {
        for (int i = 0; i < 2; ++i) {
            if (!(value & 1u << i)) continue;
            bool never = false;
            for (const CodecChipFault& f : m_faults.codec.chips) never = never || (f.kind == K::DdrInitNeverDone && f.width == (i == 0 ? 32 : 64));
            m_ddrDoneAt[i] = never ? 0 : now + kDdrInitMicros * (kPerfFrequency / 1'000'000);
        }
        return 0;
    }
    const bool wholeWord = address >= kContextRam && address < kContextRamEnd;
    if (read) {
        const auto it = m_registers.find(address);
        return it == m_registers.end() ? 0 : it->second;
    }
    m_registers[address] = wholeWord ? value : value & 0xFFFF;
    return 0;
}

namespace {

void PutBig(std::vector<uint8_t>& out, size_t at, uint32_t word) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(word >> (24 - 8 * i));
}

uint32_t Mix(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    return x ^ x >> 16;
}

}  // namespace

std::vector<uint8_t> EncodeUnit(const EncoderUnit& unit, size_t bytes) {
    std::vector<uint8_t> out(bytes, 0);
    if (bytes < 16) return out;
    static const std::vector<uint8_t> kNoTable;
    const std::vector<uint8_t>& table = unit.table ? *unit.table : kNoTable;
    const uint32_t rows = ((unit.height + 7) / 8 * 8 + 8) / 16;
    constexpr uint32_t kDspBytes = 64;
    const uint32_t header = static_cast<uint32_t>(std::min<size_t>(kDspBytes + 4u * rows, bytes - 4) & ~3u);
    // Every table byte and every sample reach the digest that each data word carries.
    const uint32_t tableSum = Crc32Mpeg2(unit.vcid, table.data(), table.size());
    const uint32_t digest = Crc32Mpeg2(tableSum, unit.input, unit.inputBytes);
    PutBig(out, 0, header);
    out[4] = static_cast<uint8_t>(unit.vcid >> 8);
    out[5] = static_cast<uint8_t>(unit.vcid);
    out[6] = unit.crc ? 0x10 : 0;
    out[7] = unit.tenBit ? 1 : 0;
    for (size_t i = 8; i < kDspBytes && i < header; ++i) out[i] = table.empty() ? static_cast<uint8_t>(i) : table[i % table.size()];
    // A macroblock row's entry: the CRC of its 16 lines of samples.
    const size_t rowBytes = unit.height ? unit.inputBytes / unit.height * 16 : 0;
    for (uint32_t r = 0; r < rows && kDspBytes + 4 * r + 4 <= header; ++r) {
        const size_t from = std::min(unit.inputBytes, size_t{r} * rowBytes);
        const size_t length = std::min(unit.inputBytes - from, rowBytes);
        PutBig(out, kDspBytes + 4 * r, Crc32Mpeg2(r, unit.input + from, length));
    }
    // Data word i takes sample word i and table byte i, both counted round their ends.
    const size_t inputWords = unit.inputBytes / 4;
    for (size_t at = header, i = 0, s = 0, b = 0; at + 4 <= bytes - 4; at += 4, ++i) {
        uint32_t sample = 0;
        if (inputWords) {
            std::memcpy(&sample, unit.input + 4 * s, 4);
            if (++s == inputWords) s = 0;
        }
        uint32_t t = 0;
        if (!table.empty()) {
            t = table[b];
            if (++b == table.size()) b = 0;
        }
        PutBig(out, at, Mix(digest ^ sample ^ t << 24 ^ static_cast<uint32_t>(i) * 0x9E3779B9u));
    }
    PutBig(out, bytes - 4, unit.crc ? Crc32Mpeg2(0, out.data(), bytes - 4) : 0x600DC0DEu);
    return out;
}

void CodecChip::LoadEncodeTables(std::vector<EncodeTable> tables) {
    m_encodeTables = std::move(tables);
    m_encoderStatus |= 4;  // CodeTableLoadDone
}

// The frame's context is the one the port word names (bits 0-3). A bypass context (VCID 0x8002)
// returns the frame unchanged; a context without a VCID sends nothing back; any other context
// queues the unit for the encoder, which produces it when the outbound DCB is ready for it. Both
// leave through the video port, so its stuck output bits reach them.
bool CodecChip::EncoderFrame(uint32_t portWord, std::span<const uint8_t> bytes) {
    const uint32_t entry = kContextRam + 16 * (portWord & 0xF);
    const auto word = [&](uint32_t n) {
        const auto it = m_registers.find(entry + 4 * n);
        return it == m_registers.end() ? 0u : it->second;
    };
    m_encoderStatus |= kEncoderNewFrame;
    const uint32_t vcid = word(2);
    if (vcid == 0) return true;
    if (vcid == kBypassVcid) {
        std::vector<uint32_t> words(bytes.size() / 4);
        for (size_t i = 0; i < words.size(); ++i)
            words[i] = static_cast<uint32_t>(bytes[4 * i] | bytes[4 * i + 1] << 8 | bytes[4 * i + 2] << 16 | static_cast<uint32_t>(bytes[4 * i + 3]) << 24);
        OutputFaults(0, words.data(), words.size());
        m_outbound.Append(std::move(words));
    } else {
        m_encodeJobs.push_back({std::vector<uint8_t>(bytes.begin(), bytes.end()), word(0), word(1), vcid});
    }
    // The return channel is a different channel of the engine, so moving it on from inside this
    // transfer does not step the inbound one again.
    if (m_push) m_push();
    return true;
}

void CodecChip::PrepareOutbound(uint64_t spanBytes) {
    if (!m_outbound.empty() || m_encodeJobs.empty()) return;
    const EncodeJob job = std::move(m_encodeJobs.front());
    m_encodeJobs.pop_front();
    const size_t bytes = static_cast<size_t>(spanBytes) & ~size_t{7};
    const std::vector<uint8_t>* table = nullptr;
    for (const EncodeTable& t : m_encodeTables)
        if (t.offset == (job.word1 & 0x3FF)) table = &t.bytes;
    const uint32_t revision = (m_idWord >> 12 & 0xFF) << 8 | (m_idWord & 0xFF);
    EncoderUnit unit;
    unit.input = job.input.data();
    unit.inputBytes = job.input.size();
    unit.width = job.word0 & 0xFFF;
    unit.height = job.word0 >> 16 & 0xFFF;
    unit.tenBit = (job.word1 >> 16 & 1) != 0;
    unit.vcid = job.vcid;
    unit.table = table;
    unit.crc = revision >= kEncoderCrcRevision;
    const std::vector<uint8_t> out = EncodeUnit(unit, bytes);
    std::vector<uint32_t> frame(out.size() / 4);
    if (!frame.empty()) std::memcpy(frame.data(), out.data(), 4 * frame.size());
    // The compressed frame leaves through the video port, as the packer's output does.
    OutputFaults(0, frame.data(), frame.size());
    m_outbound.Append(std::move(frame));
}

}  // namespace sim