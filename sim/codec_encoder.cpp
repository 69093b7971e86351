// Codec chip model, encoder personality: its 16-bit register file, the DDR initialisation sequences and the context RAM.
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
// holds the sequence's memory (32 R2B, 64 Coeff). The revision halves read the loaded image's
// identification word. Control, the interrupt registers, ContextID and the VCID halves keep 16
// bits of what was written; the context RAM keeps whole words.
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
        return address == kRevisionLow ? IdWord() & 0xFFFF : IdWord() >> 16;
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

// The frame's context is the one the port word names (bits 0-3). A bypass context (VCID 0x8002)
// returns the frame unchanged; a context without a VCID sends nothing back.
bool CodecChip::EncoderFrame(uint32_t portWord, const std::vector<uint8_t>& bytes) {
    const uint32_t entry = kContextRam + 16 * (portWord & 0xF);
    const auto word = [&](uint32_t n) {
        const auto it = m_registers.find(entry + 4 * n);
        return it == m_registers.end() ? 0u : it->second;
    };
    const uint32_t vcid = word(2);
    if (vcid == 0) return true;
    if (vcid == kBypassVcid) {
        for (size_t i = 0; i + 4 <= bytes.size(); i += 4)
            m_outbound.push_back(static_cast<uint32_t>(bytes[i] | bytes[i + 1] << 8 | bytes[i + 2] << 16 | static_cast<uint32_t>(bytes[i + 3]) << 24));
    }
    // The return channel is a different channel of the engine, so moving it on from inside this
    // transfer does not step the inbound one again.
    if (m_push) m_push();
    return true;
}

}  // namespace sim
