// Bit stream building and the loading FPGA's incremental check.
#include "sim/bitstream.h"

#include <array>
#include <cstring>

namespace sim {

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}

// Constant-initialised: the rig (and its flash contents) is built while static objects are.
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t GetLe32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

uint32_t Crc32Ieee(const void* data, size_t len, uint32_t crc) {
    const auto* p = static_cast<const uint8_t*>(data);
    uint32_t c = ~crc;
    for (size_t i = 0; i < len; ++i) c = kCrcTable[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return ~c;
}

std::vector<uint8_t> Bitstream::Build(uint16_t targets, uint32_t idWord, uint32_t bodyBytes) {
    std::vector<uint8_t> s(kHeaderBytes + bodyBytes + kCrcBytes, 0);
    std::memcpy(s.data(), kPreamble, sizeof kPreamble);
    s[12] = static_cast<uint8_t>(targets);
    s[13] = static_cast<uint8_t>(targets >> 8);
    PutLe32(&s[16], idWord);
    PutLe32(&s[20], bodyBytes);
    // Filler from a xorshift generator seeded by what the stream is, so every image differs.
    uint32_t x = idWord ^ (uint32_t{targets} << 16) ^ 0x9E3779B9u;
    if (x == 0) x = 1;
    for (uint32_t i = 0; i < bodyBytes; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[kHeaderBytes + i] = static_cast<uint8_t>(x >> 24);
    }
    PutLe32(&s[kHeaderBytes + bodyBytes], Crc32Ieee(s.data(), kHeaderBytes + bodyBytes));
    return s;
}

BitstreamChecker::State BitstreamChecker::Push(uint8_t byte) {
    if (m_state == State::Error) return m_state;
    ++m_received;
    if (m_state == State::Complete) {
        ++m_after;
        return m_state;
    }
    const uint64_t i = m_received - 1;
    if (i < Bitstream::kHeaderBytes) {
        m_header[i] = byte;
        m_crc = Crc32Ieee(&byte, 1, m_crc);
        if (i < sizeof Bitstream::kPreamble && byte != Bitstream::kPreamble[i]) return Fail();
        if (i == 13) {
            const uint16_t targets = static_cast<uint16_t>(m_header[12] | m_header[13] << 8);
            if (m_device < 0 || m_device > 15 || !(targets >> m_device & 1)) return Fail();
        }
        if (i == Bitstream::kHeaderBytes - 1) {
            m_idWord = GetLe32(&m_header[16]);
            m_bodyBytes = GetLe32(&m_header[20]);
            if (m_bodyBytes > Bitstream::kMaxBody) return Fail();
        }
        return m_state;
    }
    const uint64_t body = i - Bitstream::kHeaderBytes;
    if (body < m_bodyBytes) {
        m_crc = Crc32Ieee(&byte, 1, m_crc);
        return m_state;
    }
    const uint64_t k = body - m_bodyBytes;  // 0-3: the closing CRC
    m_crcRead |= uint32_t{byte} << (8 * k);
    if (k == Bitstream::kCrcBytes - 1) m_state = m_crcRead == m_crc ? State::Complete : State::Error;
    return m_state;
}

}  // namespace sim
