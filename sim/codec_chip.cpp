// Codec chip model: configuration from a bit stream, reset, and the diagnostics personality with its faults.
#include "sim/codec_chip.h"

#include <algorithm>
#include <cstdlib>

#include "platform/clock.h"

namespace sim {

namespace {

using K = CodecChipFault::Kind;

constexpr uint32_t kFifo[2] = {0x90000000, 0x64000000};
constexpr uint32_t kDdrStart32 = 0x60000010, kDdrStart64 = 0x60000020, kDdrStatus = 0x6C000112;
constexpr uint32_t kDdrDone32 = 1u << 17, kDdrDone64 = 1u << 16;
constexpr uint32_t kInStatus = 0x6C000102, kInData = 0x60000002, kOutData = 0x60000004, kOutCommit = 0x6C000104;
constexpr uint32_t kOutSetupA = 0x01B00000, kOutSetupB = 0x01B00004, kOutStatus = 0x01B00008;
// Window registers per width (0: 32-bit, 1: 64-bit).
constexpr uint32_t kIndex[2] = {0xB0000200, 0xB0000400}, kControl[2] = {0xB0000208, 0xB0000408}, kStatus[2] = {0xB0000210, 0xB0000410};
constexpr uint32_t kWritePort[2] = {0xA0000008, 0xA0000020}, kReadPort[2] = {0xA0000010, 0xA0000040};
constexpr uint32_t kBlockWords[2] = {2, 4};

int64_t Micros(int64_t n) { return n * (kPerfFrequency / 1'000'000); }

}  // namespace

CodecChip::CodecChip(const BoardConfig& config, int chip)
    : m_sdramBlocks{config.chipSdramBytes[0] / 8, config.chipSdramBytes[1] / 16} {
    // Chip B reports its own device id, except on boards whose artwork (product data "ZA", a
    // decimal number; anything else counts as 0) is below 2.
    if (chip == 2) m_idOffset = 0x10u << 20;
    for (const auto& [key, value] : config.vpd)
        if (key == "ZA" && chip == 2 && !value.empty() && std::strtoll(value.c_str(), nullptr, 10) < 2) m_idOffset = 0;
    for (const std::string& missing : config.faults.vpdMissing)
        if (missing == "ZA" && chip == 2) m_idOffset = 0x10u << 20;
    for (const CodecChipFault& f : config.faults.codec.chips)
        if (f.chip == chip) m_faults.codec.chips.push_back(f);
}

void WordStream::clear() {
    m_blocks.clear();
    m_offset = 0;
    m_size = 0;
}

void WordStream::Append(std::vector<uint32_t> block) {
    if (block.empty()) return;
    m_size += block.size();
    m_blocks.push_back(std::move(block));
}

uint32_t* WordStream::Front(size_t n, std::vector<uint32_t>& scratch) {
    n = std::min(n, m_size);
    if (n == 0) return scratch.data();
    std::vector<uint32_t>& front = m_blocks.front();
    if (front.size() - m_offset >= n) return front.data() + m_offset;
    scratch.clear();
    size_t offset = m_offset;
    for (const std::vector<uint32_t>& block : m_blocks) {
        const size_t take = std::min(n - scratch.size(), block.size() - offset);
        scratch.insert(scratch.end(), block.begin() + static_cast<std::ptrdiff_t>(offset),
                       block.begin() + static_cast<std::ptrdiff_t>(offset + take));
        offset = 0;
        if (scratch.size() == n) break;
    }
    return scratch.data();
}

void WordStream::Pop(size_t n) {
    n = std::min(n, m_size);
    m_size -= n;
    while (n) {
        const size_t left = m_blocks.front().size() - m_offset;
        if (n < left) {
            m_offset += n;
            return;
        }
        n -= left;
        Recycle(std::move(m_blocks.front()));
        m_blocks.pop_front();
        m_offset = 0;
    }
}

std::vector<uint32_t> WordStream::Recycled() {
    std::vector<uint32_t> block = std::move(m_spare);
    m_spare = {};
    block.clear();
    return block;
}

void WordStream::Recycle(std::vector<uint32_t>&& block) {
    if (block.capacity() > m_spare.capacity()) std::swap(m_spare, block);
    // The smaller of the two is kept beside the spare while there is room for it.
    size_t kept = block.capacity();
    for (const std::vector<uint32_t>& k : m_kept) kept += k.capacity();
    if (block.capacity() && m_kept.size() < kKeptBlocks && kept * sizeof(uint32_t) <= kKeptBytes) m_kept.push_back(std::move(block));
}

std::vector<uint32_t> WordStream::RecycledFor(size_t words) {
    if (m_spare.capacity() >= words) return Recycled();
    auto best = m_kept.end();
    for (auto it = m_kept.begin(); it != m_kept.end(); ++it)
        if (it->capacity() >= words && (best == m_kept.end() || it->capacity() < best->capacity())) best = it;
    if (best == m_kept.end()) return Recycled();
    std::vector<uint32_t> block = std::move(*best);
    m_kept.erase(best);
    block.clear();
    return block;
}

std::vector<uint32_t> WordStream::TakeAll() {
    std::vector<uint32_t> all;
    all.reserve(m_size);
    std::vector<uint32_t> scratch;
    const uint32_t* words = Front(m_size, scratch);
    all.assign(words, words + m_size);
    clear();
    return all;
}

void CodecChip::Reset() {
    m_inbound.clear();
    m_batch.clear();
    m_outbound.clear();
    m_fifo[0].clear();
    m_fifo[1].clear();
    m_ddrStatus = 0;
    // The PLLs report out of lock from power-up until the firmware clears the bit.
    m_encoderStatus = kEncoderDcmNoLock;
    m_ddrDoneAt[0] = m_ddrDoneAt[1] = 0;
    m_encodeJobs.clear();
    PixelReset(false);
    for (Window& w : m_window) {
        w.index = w.control = w.writeAt = w.readAt = 0;
        w.buffer = {};
        w.busyUntil = 0;
    }
}

uint32_t CodecChip::Read(uint32_t address) {
    switch (address & ~3u) {
    case kConfigControl: return (m_prog ? kProg : 0) | (m_init ? kInit : 0) | (m_configured ? kDone : 0);
    case kIdWord: return IdWord();
    case kConfigData:
    case kReset: return 0;
    default: break;
    }
    if (!m_configured) return 0xFFFFFFFF;
    uint32_t value = EmifFault(address, Personality(address, true, 0));
    for (const CodecChipFault& f : m_faults.codec.chips)
        if (f.kind == K::MemoryWord && f.address == address) value ^= f.mask;
    return value;
}

void CodecChip::Write(uint32_t address, uint32_t value) {
    switch (address & ~3u) {
    case kConfigControl:
        if (value & kProg) {
            m_prog = true;
            m_init = m_configured = false;
            m_stream.reset();
        } else if (m_prog) {
            m_prog = false;
            m_init = true;
            m_stream.emplace(kBitstreamDevice);
        }
        return;
    case kConfigData:
        if (!m_init || !m_stream || m_configured) return;
        for (int i = 0; i < 4; ++i) {
            const BitstreamChecker::State st = m_stream->Push(static_cast<uint8_t>(value >> (8 * i)));
            if (st == BitstreamChecker::State::Error) {
                m_init = false;  // the chip's CRC error
                return;
            }
            if (st == BitstreamChecker::State::Complete) {
                bool fails = false;
                for (const CodecChipFault& f : m_faults.codec.chips) fails = fails || f.kind == K::ConfigFails;
                if (fails) return;
                m_configured = true;
                m_idWord = m_stream->IdWord();
                m_registers.clear();
                m_encodeTables.clear();
                for (Window& w : m_window) w.blocks.clear();
                PixelReset(true);
                Reset();
                return;
            }
        }
        return;
    case kReset:
        if ((value & 1) && m_configured) Reset();
        return;
    case kIdWord: return;
    default: break;
    }
    if (m_configured) Personality(address, false, value);
}

void CodecChip::OutputFaults(int port, uint32_t* words, size_t count) const {
    for (const CodecChipFault& f : m_faults.codec.chips) {
        if (f.kind != K::OutputStuckBit || f.port != port) continue;
        const uint32_t bit = 1u << f.bit;
        for (size_t i = 0; i < count; ++i) words[i] = f.value ? words[i] | bit : words[i] & ~bit;
    }
}

bool CodecChip::HasOutputFaults(int port) const {
    return std::any_of(m_faults.codec.chips.begin(), m_faults.codec.chips.end(),
                       [port](const CodecChipFault& f) { return f.kind == K::OutputStuckBit && f.port == port; });
}

uint32_t CodecChip::EmifFault(uint32_t address, uint32_t value) const {
    const int emif = address >= 0x80000000u ? 0 : address >= 0x60000000u ? 1 : -1;
    for (const CodecChipFault& f : m_faults.codec.chips)
        if (f.kind == K::EmifStuckBit && f.emif == emif) value = f.value ? value | 1u << f.bit : value & ~(1u << f.bit);
    return value;
}

uint32_t CodecChip::Personality(uint32_t address, bool read, uint32_t value) {
    if (m_idWord >> 20 == kDiagnostics) return Diagnostics(address, read, value);
    if (m_idWord >> 20 == kEncoder) return Encoder(address, read, value);
    if (m_idWord >> 20 == kPacker || m_idWord >> 20 == kUnpacker) return Pixel(address, read, value);
    if (read) {
        const auto it = m_registers.find(address);
        return it == m_registers.end() ? 0 : it->second;
    }
    m_registers[address] = value;
    return 0;
}

bool CodecChip::TakeFrame(uint32_t portWord, std::span<const uint8_t> bytes) {
    if (!m_configured) return false;
    switch (m_idWord >> 20) {
    case kEncoder: return EncoderFrame(portWord, bytes);
    case kPacker: return PackerFrame(portWord, bytes);
    case kUnpacker: return UnpackerFrame(portWord, bytes);
    default: return false;
    }
}

uint32_t CodecChip::Diagnostics(uint32_t address, bool read, uint32_t value) {
    for (int f = 0; f < 2; ++f) {
        if (address != kFifo[f]) continue;
        std::deque<uint16_t>& fifo = m_fifo[f];
        if (!read) {
            if (fifo.size() < kFifoDepth) fifo.push_back(static_cast<uint16_t>(value));
            return 0;
        }
        if (fifo.empty()) return 0;
        const uint16_t word = fifo.front();
        fifo.pop_front();
        return word;
    }
    for (int w = 0; w < 2; ++w) {
        if (address == kIndex[w] || address == kControl[w] || address == kStatus[w] || address == kWritePort[w] || address == kReadPort[w])
            return WindowAccess(w, address, read, value);
    }
    if (address == kDdrStatus) return read ? m_ddrStatus : 0;
    // VelkoDrun port.
    if (address == kInStatus && read) {
        if (m_inbound.size() < 2 && m_pull) m_pull();
        return m_inbound.size() < 2 ? 1 : 0;
    }
    if (address == kInData && read) {
        if (m_inbound.size() < 2) return 0;
        const uint32_t low = m_inbound.front();
        m_inbound.pop_front();
        const uint32_t high = m_inbound.front();
        m_inbound.pop_front();
        return low | high << 16;
    }
    if (address == kOutData && !read) {
        m_batch.push_back(value);
        return 0;
    }
    if (address == kOutCommit && !read) {
        if (value == 0x10001) m_outbound.Append(std::move(m_batch));
        m_batch.clear();
        if (m_push) m_push();
        return 0;
    }
    if (address == kOutStatus && read) {
        const auto get = [&](uint32_t a) {
            const auto it = m_registers.find(a);
            return it == m_registers.end() ? 0u : it->second;
        };
        const bool ready = (get(kOutSetupA) & 0x3000) == 0x3000 && (get(kOutSetupB) & 0x3000) == 0;
        return ready ? 0x2000 : 0;
    }
    if (!read && (address == kDdrStart32 || address == kDdrStart64) && (value & 1)) {
        const int width = address == kDdrStart32 ? 32 : 64;
        bool never = false;
        for (const CodecChipFault& f : m_faults.codec.chips) never = never || (f.kind == K::DdrInitNeverDone && f.width == width);
        if (!never) m_ddrStatus |= width == 32 ? kDdrDone32 : kDdrDone64;
        return 0;
    }
    if (read) {
        const auto it = m_registers.find(address);
        return it == m_registers.end() ? 0 : it->second;
    }
    m_registers[address] = value;
    return 0;
}

uint32_t CodecChip::WindowAccess(int w, uint32_t address, bool read, uint32_t value) {
    Window& win = m_window[w];
    const int width = w == 0 ? 32 : 64;
    const uint32_t words = kBlockWords[w];
    const int64_t now = platform::NowTicks();
    if (address == kStatus[w]) {
        if (!read) return 0;
        for (const CodecChipFault& f : m_faults.codec.chips)
            if (f.kind == K::SdramBusyStuck && f.width == width) return 1;
        return now < win.busyUntil ? 1 : 0;
    }
    if (address == kIndex[w]) {
        if (read) return win.index;
        win.index = value;
        win.writeAt = win.readAt = 0;
        return 0;
    }
    if (address == kWritePort[w]) {
        if (read) return 0;
        win.buffer[win.writeAt % words] = value;
        win.writeAt = (win.writeAt + 1) % words;
        return 0;
    }
    if (address == kReadPort[w]) {
        if (!read) return 0;
        const uint32_t word = win.buffer[win.readAt % words];
        win.readAt = (win.readAt + 1) % words;
        return word;
    }
    // Control: 1 stores the window in the block the index selects, 2 loads it.
    if (read) return win.control;
    win.control = value;
    win.writeAt = win.readAt = 0;
    if (value != 1 && value != 2) return 0;
    // Index values past the memory wrap around it.
    uint32_t cell = static_cast<uint32_t>(win.index % m_sdramBlocks[w]);
    for (const CodecChipFault& f : m_faults.codec.chips)
        if (f.kind == K::SdramAddressAlias && f.width == width) cell &= ~(1u << f.line);
    if (value == 1) {
        std::array<uint32_t, 4> stored = win.buffer;
        for (const CodecChipFault& f : m_faults.codec.chips)
            if (f.kind == K::SdramStuckBit && f.width == width)
                for (uint32_t& word : stored) word = f.value ? word | 1u << f.bit : word & ~(1u << f.bit);
        win.blocks[cell] = stored;
    } else {
        const auto it = win.blocks.find(cell);
        win.buffer = it == win.blocks.end() ? std::array<uint32_t, 4>{} : it->second;
    }
    win.busyUntil = now + Micros(kBlockMicros);
    return 0;
}

}  // namespace sim
