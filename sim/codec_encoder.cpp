// Codec chip model, encoder personality: its 16-bit register file, the DDR initialisation sequences and the context RAM.
#include <algorithm>
#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "platform/clock.h"
#include "platform/vector_intrinsics.h"
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

void PutBig(uint8_t* out, uint32_t word) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(word >> (24 - 8 * i));
}

uint32_t Mix(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    return x ^ x >> 16;
}

constexpr uint32_t kDspBytes = 64;
constexpr uint32_t kIndexStep = 0x9E3779B9u;
// Data words are made and their CRC taken a slice at a time, while the slice is in the cache.
constexpr size_t kSliceWords = 4096;

// a(x) b(x) mod G (CRC-32/MPEG-2's polynomial).
uint32_t MultiplyMod(uint32_t a, uint32_t b) {
    uint32_t r = 0;
    for (int i = 31; i >= 0; --i) {
        r = (r & 0x80000000u) ? r << 1 ^ 0x04C11DB7u : r << 1;
        if (b >> i & 1) r ^= a;
    }
    return r;
}

// What `length` zero bytes multiply the CRC register by: x^(8 length) mod G. The register is
// linear in its start and its data, so Crc32Mpeg2(s, d) = Crc32Mpeg2(0, d) ^ s ZeroBytes(|d|) mod
// G, which lets one pass over the samples give both the row entries and the digest.
uint32_t ZeroBytes(size_t length) {
    uint32_t power = 1;
    for (uint32_t square = 0x100; length; length >>= 1, square = MultiplyMod(square, square))
        if (length & 1) power = MultiplyMod(power, square);
    return power;
}

// Data words first .. first + n - 1 at out: word i mixes the digest, sample word i (0 without
// samples), table byte i (0 without a table) and i.
void DataWordsScalar(uint8_t* out, const uint8_t* samples, const uint8_t* table, uint32_t digest, size_t first, size_t n) {
    for (size_t k = 0; k < n; ++k) {
        uint32_t sample = 0;
        if (samples) std::memcpy(&sample, samples + 4 * k, 4);
        const uint32_t t = table ? table[k] : 0;
        PutBig(out + 4 * k, Mix(digest ^ sample ^ t << 24 ^ static_cast<uint32_t>(first + k) * kIndexStep));
    }
}

#if defined(__x86_64__) || defined(__i386__)
// The same eight words a step; returns how many words it made (a multiple of 8).
__attribute__((target("avx2"))) size_t DataWordsAvx2(uint8_t* out, const uint8_t* samples, const uint8_t* table, uint32_t digest,
                                                     size_t first, size_t n) {
    const __m256i bigEndian = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8,
                                               15, 14, 13, 12);
    const __m256i d = _mm256_set1_epi32(static_cast<int>(digest));
    const __m256i m1 = _mm256_set1_epi32(0x7FEB352D), m2 = _mm256_set1_epi32(static_cast<int>(0x846CA68Bu));
    const __m256i step = _mm256_set1_epi32(static_cast<int>(8 * kIndexStep));
    const auto base = static_cast<int>(static_cast<uint32_t>(first));
    __m256i index = _mm256_mullo_epi32(_mm256_add_epi32(_mm256_set1_epi32(base), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)),
                                       _mm256_set1_epi32(static_cast<int>(kIndexStep)));
    size_t k = 0;
    for (; k + 8 <= n; k += 8) {
        __m256i x = _mm256_xor_si256(d, index);
        if (samples) x = _mm256_xor_si256(x, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples + 4 * k)));
        if (table) {
            const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(table + k));
            x = _mm256_xor_si256(x, _mm256_slli_epi32(_mm256_cvtepu8_epi32(bytes), 24));
        }
        x = _mm256_xor_si256(x, _mm256_srli_epi32(x, 16));
        x = _mm256_mullo_epi32(x, m1);
        x = _mm256_xor_si256(x, _mm256_srli_epi32(x, 15));
        x = _mm256_mullo_epi32(x, m2);
        x = _mm256_xor_si256(x, _mm256_srli_epi32(x, 16));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * k), _mm256_shuffle_epi8(x, bigEndian));
        index = _mm256_add_epi32(index, step);
    }
    return k;
}
#endif

void DataWords(uint8_t* out, const uint8_t* samples, const uint8_t* table, uint32_t digest, size_t first, size_t n) {
    size_t k = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (platform::HasAvx2()) k = DataWordsAvx2(out, samples, table, digest, first, n);
#endif
    DataWordsScalar(out + 4 * k, samples ? samples + 4 * k : nullptr, table ? table + k : nullptr, digest, first + k, n - k);
}

// EncodeUnit into the bytes bytes at out, whatever they held.
void EncodeInto(const EncoderUnit& unit, uint8_t* out, size_t bytes) {
    if (bytes < 16) {
        std::memset(out, 0, bytes);
        return;
    }
    static const std::vector<uint8_t> kNoTable;
    const std::vector<uint8_t>& table = unit.table ? *unit.table : kNoTable;
    const uint8_t* input = unit.inputBytes ? unit.input : nullptr;
    const uint32_t rows = ((unit.height + 7) / 8 * 8 + 8) / 16;
    const uint32_t header = static_cast<uint32_t>(std::min<size_t>(kDspBytes + 4u * rows, bytes - 4) & ~3u);
    PutBig(out, header);
    out[4] = static_cast<uint8_t>(unit.vcid >> 8);
    out[5] = static_cast<uint8_t>(unit.vcid);
    out[6] = unit.crc ? 0x10 : 0;
    out[7] = unit.tenBit ? 1 : 0;
    for (size_t i = 8; i < kDspBytes && i < header; ++i) out[i] = table.empty() ? static_cast<uint8_t>(i) : table[i % table.size()];
    // A macroblock row's entry: the CRC of its 16 lines of samples. Every table byte and every
    // sample reach the digest that each data word carries: the rows' CRCs, then what lies past
    // them, chained onto the table's.
    uint32_t digest = Crc32Mpeg2(unit.vcid, table.data(), table.size());
    const size_t rowBytes = unit.height ? unit.inputBytes / unit.height * 16 : 0;
    const uint32_t rowShift = ZeroBytes(rowBytes);
    size_t from = 0;
    for (uint32_t r = 0; r < rows; ++r) {
        const size_t length = std::min(unit.inputBytes - from, rowBytes);
        const uint32_t crc = length ? Crc32Mpeg2(0, input + from, length) : 0;
        const uint32_t shift = length == rowBytes ? rowShift : ZeroBytes(length);
        if (kDspBytes + 4 * r + 4 <= header) PutBig(out + kDspBytes + 4 * r, crc ^ MultiplyMod(r, shift));
        digest = MultiplyMod(digest, shift) ^ crc;
        from += length;
    }
    if (from < unit.inputBytes) {
        const size_t length = unit.inputBytes - from;
        digest = MultiplyMod(digest, ZeroBytes(length)) ^ Crc32Mpeg2(0, input + from, length);
    }
    // Data word i takes sample word i and table byte i, both counted round their ends.
    const size_t words = (bytes - 4 - header) / 4, inputWords = unit.inputBytes / 4;
    uint32_t crc = 0;
    size_t crcEnd = 0;
    const auto crcTo = [&](size_t end) {
        if (unit.crc) crc = Crc32Mpeg2(crc, out + crcEnd, end - crcEnd);
        crcEnd = end;
    };
    for (size_t i = 0, s = 0, b = 0; i < words;) {
        size_t n = std::min(words - i, kSliceWords);
        if (inputWords) n = std::min(n, inputWords - s);
        if (!table.empty()) n = std::min(n, table.size() - b);
        DataWords(out + header + 4 * i, inputWords ? input + 4 * s : nullptr, table.empty() ? nullptr : table.data() + b, digest, i, n);
        i += n;
        if (inputWords && (s += n) == inputWords) s = 0;
        if (!table.empty() && (b += n) == table.size()) b = 0;
        crcTo(header + 4 * i);
    }
    std::memset(out + header + 4 * words, 0, bytes - 4 - header - 4 * words);
    crcTo(bytes - 4);
    PutBig(out + bytes - 4, unit.crc ? crc : 0x600DC0DEu);
}

}  // namespace

std::vector<uint8_t> EncodeUnit(const EncoderUnit& unit, size_t bytes) {
    std::vector<uint8_t> out(bytes);
    EncodeInto(unit, out.data(), bytes);
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
        EncodeJob job{{}, word(0), word(1), vcid, bytes};
        m_encodeJobs.push_back(std::move(job));
    }
    // The return channel is a different channel of the engine, so moving it on from inside this
    // transfer does not step the inbound one again. It mostly encodes the unit at once, from the
    // port's bytes; one left waiting keeps a copy, as the port's bytes are the next transfer's.
    if (m_push) m_push();
    for (EncodeJob& job : m_encodeJobs) {
        if (job.borrowed.empty()) continue;
        job.input.assign(job.borrowed.begin(), job.borrowed.end());
        job.borrowed = {};
    }
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
    const std::span<const uint8_t> input = job.borrowed.empty() ? std::span<const uint8_t>(job.input) : job.borrowed;
    EncoderUnit unit;
    unit.input = input.data();
    unit.inputBytes = input.size();
    unit.width = job.word0 & 0xFFF;
    unit.height = job.word0 >> 16 & 0xFFF;
    unit.tenBit = (job.word1 >> 16 & 1) != 0;
    unit.vcid = job.vcid;
    unit.table = table;
    unit.crc = revision >= kEncoderCrcRevision;
    std::vector<uint32_t> frame = m_outbound.Recycled();
    frame.resize(bytes / 4);
    EncodeInto(unit, reinterpret_cast<uint8_t*>(frame.data()), 4 * frame.size());
    // The compressed frame leaves through the video port, as the packer's output does.
    OutputFaults(0, frame.data(), frame.size());
    m_outbound.Append(std::move(frame));
}

}  // namespace sim