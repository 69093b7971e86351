// Codec chip model, packer and unpacker personalities: identification, DDR start, DCM phases, memory self-tests, flush, CRC registers and context RAM.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "platform/clock.h"
#include "platform/vector_intrinsics.h"
#include "sim/codec_chip.h"

namespace sim {

namespace {

using K = CodecChipFault::Kind;

constexpr uint32_t kId = 0x6C000000, kDdr = 0x6C000004, kPhase = 0x6C000008, kDcmControl = 0x6C00000C;
constexpr uint32_t kBist[2] = {0x6C000010, 0x6C000020}, kBistCount[2] = {0x6C000014, 0x6C000024};
constexpr uint32_t kFlush = 0x6C000014, kFifo1 = 0x6C000018, kFifo2 = 0x6C00001C;
constexpr uint32_t kCrc[3] = {0x6C000028, 0x6C00002C, 0x6C000030};
constexpr uint32_t kContext = 0x64000000, kContextEnd = kContext + 16 * 8;

constexpr uint32_t kDdr64Started = 1u << 0, kDdr64Done = 1u << 16, kDdr32Done = 1u << 17;
constexpr uint32_t kLoad32 = 1u << 2, kLoad64 = 1u << 3, kCrcRestart = 1u << 8;
constexpr uint32_t kBistDone = 1u << 16, kBistRunning = 1u << 17, kBistPassed = kBistDone | kBistRunning;
constexpr uint32_t kFlushBusy = 1u << 16;
// What the FIFO status registers show with no transfer under way: bit 0 the FIFO is empty.
constexpr uint32_t kFifoEmpty = 1;

// The image's DCM phase of both memories after configuration, and the phases at which a healthy
// memory passes its self-test (the library's default phase 0x82 lies inside).
constexpr uint32_t kPowerUpPhase = 0x80;
constexpr int kWindowLow = 0x48, kWindowHigh = 0xB8;
constexpr int64_t kBistMicros = 250000, kFlushMicros = 500;
constexpr uint32_t kCountView[2] = {0x20, 0x30};  // control values that choose the count's halves

int64_t Micros(int64_t n) { return n * (kPerfFrequency / 1'000'000); }
int Width(int m) { return m == 0 ? 64 : 32; }

// t[k][b] = b x^(32 + 8k) mod G: byte b at byte position k of a block of up to 16 bytes (0 the
// last byte fed) carried past the 32 bits of the register, so a step takes 16 bytes with one
// lookup each and no lookup waits on another.
struct CrcTables {
    std::array<std::array<uint32_t, 256>, 16> t{};
    constexpr CrcTables() {
        for (uint32_t b = 0; b < 256; ++b) {
            uint32_t r = b;
            for (int k = 0; k < 16; ++k) {
                for (int i = 0; i < 8 * (k == 0 ? 4 : 1); ++i) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
                t[k][b] = r;
            }
        }
    }
};
constexpr CrcTables kCrcTables;

// Stream byte i of a block: memory byte i (a byte stream), or the bytes of each 16-bit half
// swapped (little-endian words fed low unit first, each unit most significant bit first).
constexpr uint8_t kInOrder[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
constexpr uint8_t kUnitOrder[16] = {1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14};

// A word's 32 data bits in feeding order: its low 16-bit unit first, each most significant bit first.
inline uint32_t Units(uint32_t w) { return w << 16 | w >> 16; }

// The register's contribution of word c placed `words` words before the end of a block.
inline uint32_t Carry(uint32_t c, int words) {
    const auto& t = kCrcTables.t;
    const int k = 4 * words;
    return t[k + 3][c >> 24] ^ t[k + 2][(c >> 16) & 0xFF] ^ t[k + 1][(c >> 8) & 0xFF] ^ t[k][c & 0xFF];
}

// The table-driven register update over 16-byte blocks; order maps stream byte i of a block
// to the memory byte order[i].
inline uint32_t TableBlocks(uint32_t crc, const uint8_t* data, size_t blocks, const uint8_t (&order)[16]) {
    for (size_t b = 0; b < blocks; ++b, data += 16) {
        uint32_t w[4];
        for (int i = 0; i < 4; ++i)
            w[i] = uint32_t{data[order[4 * i]]} << 24 | uint32_t{data[order[4 * i + 1]]} << 16 | uint32_t{data[order[4 * i + 2]]} << 8 |
                   data[order[4 * i + 3]];
        crc = Carry(crc ^ w[0], 3) ^ Carry(w[1], 2) ^ Carry(w[2], 1) ^ Carry(w[3], 0);
    }
    return crc;
}

// x^k mod G.
constexpr uint32_t PowerMod(int k) {
    uint64_t r = 1;
    for (int i = 0; i < k; ++i) {
        r <<= 1;
        if (r >> 32) r ^= 0x104C11DB7ull;
    }
    return static_cast<uint32_t>(r);
}

#if defined(__x86_64__) || defined(__i386__)
// The register of a 128-bit remainder (the last stream byte in its lowest byte).
__attribute__((target("sse2"))) uint32_t Reduce(__m128i x) {
    alignas(16) uint8_t bytes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(bytes), x);
    const uint32_t w[4] = {uint32_t{bytes[15]} << 24 | uint32_t{bytes[14]} << 16 | uint32_t{bytes[13]} << 8 | bytes[12],
                           uint32_t{bytes[11]} << 24 | uint32_t{bytes[10]} << 16 | uint32_t{bytes[9]} << 8 | bytes[8],
                           uint32_t{bytes[7]} << 24 | uint32_t{bytes[6]} << 16 | uint32_t{bytes[5]} << 8 | bytes[4],
                           uint32_t{bytes[3]} << 24 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[1]} << 8 | bytes[0]};
    return Carry(w[0], 3) ^ Carry(w[1], 2) ^ Carry(w[2], 1) ^ Carry(w[3], 0);
}

// Carry-less folding: the blocks so far are kept as a 128-bit remainder X (X * x^32 mod G is the
// register); X * x^128 + next equals X_hi * (x^192 mod G) + X_lo * (x^128 mod G) + next modulo G,
// which fits 128 bits again. The last X is reduced by the tables.
__attribute__((target("pclmul,ssse3"))) uint32_t FoldBlocks(uint32_t crc, const uint8_t* data, size_t blocks, const uint8_t (&order)[16]) {
    alignas(16) uint8_t reverse[16];  // the 128-bit value's byte j (0 lowest) is stream byte 15 - j
    for (int j = 0; j < 16; ++j) reverse[j] = order[15 - j];
    const __m128i shuffle = _mm_load_si128(reinterpret_cast<const __m128i*>(reverse));
    const __m128i k = _mm_set_epi64x(PowerMod(192), PowerMod(128));
    const __m128i k4 = _mm_set_epi64x(PowerMod(576), PowerMod(512));  // past three more blocks
    const auto block = [&](size_t b) __attribute__((target("ssse3"))) {
        return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * b)), shuffle);
    };
    const auto fold = [](__m128i v, __m128i by) __attribute__((target("pclmul"))) {
        return _mm_xor_si128(_mm_clmulepi64_si128(v, by, 0x11), _mm_clmulepi64_si128(v, by, 0x00));
    };
    __m128i x = _mm_xor_si128(block(0), _mm_set_epi32(static_cast<int>(crc), 0, 0, 0));
    size_t b = 1;
    if (blocks >= 8) {
        // Four remainders side by side, each folded past four blocks, so the multiplies overlap;
        // then folded into one a block at a time.
        __m128i lane[4] = {x, block(1), block(2), block(3)};
        for (b = 4; b + 4 <= blocks; b += 4)
            for (int i = 0; i < 4; ++i) lane[i] = _mm_xor_si128(fold(lane[i], k4), block(b + i));
        x = lane[0];
        for (int i = 1; i < 4; ++i) x = _mm_xor_si128(fold(x, k), lane[i]);
    }
    for (; b < blocks; ++b) x = _mm_xor_si128(fold(x, k), block(b));
    return Reduce(x);
}

bool HasCarrylessMultiply() {
    static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
    return has;
}

// The same folding four blocks to a 512-bit register, and the packer's byte selection, where the
// processor has the 512-bit instructions.
#define PEX_WIDE __attribute__((target("avx512f,avx512bw,avx512vbmi,vpclmulqdq,pclmul,ssse3")))

bool HasWide() {
    static const bool has = HasCarrylessMultiply() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("vpclmulqdq");
    return has;
}

// Each lane's pair of constants that carries a remainder `bytes` bytes on.
constexpr uint32_t kLow64 = PowerMod(512), kHigh64 = PowerMod(576), kLow128 = PowerMod(1024), kHigh128 = PowerMod(1088);
constexpr uint32_t kLow256 = PowerMod(2048), kHigh256 = PowerMod(2112);

PEX_WIDE inline __m512i WideKey(uint32_t high, uint32_t low) { return _mm512_broadcast_i32x4(_mm_set_epi64x(high, low)); }

// Four 16-byte blocks in stream order, each lane as FoldBlocks holds one.
PEX_WIDE inline __m512i WideShuffle(const uint8_t (&order)[16]) {
    alignas(16) uint8_t reverse[16];
    for (int j = 0; j < 16; ++j) reverse[j] = order[15 - j];
    return _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(reverse)));
}

PEX_WIDE inline __m512i WideFold(__m512i x, __m512i key, __m512i next) {
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, key, 0x11), _mm512_clmulepi64_epi128(x, key, 0x00), next, 0x96);
}

// The register after the remainder x, its four lanes the last four blocks in order.
PEX_WIDE uint32_t WideReduce(__m512i x) {
    const __m128i next = _mm_set_epi64x(PowerMod(192), PowerMod(128));  // one lane on
    __m128i r = _mm512_extracti32x4_epi32(x, 0);
    const __m128i lanes[3] = {_mm512_extracti32x4_epi32(x, 1), _mm512_extracti32x4_epi32(x, 2), _mm512_extracti32x4_epi32(x, 3)};
    for (const __m128i& lane : lanes)
        r = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(r, next, 0x11), _mm_clmulepi64_si128(r, next, 0x00)), lane);
    return Reduce(r);
}

// The register after `quads` runs of four 16-byte blocks (at least one): four remainders side by
// side, each folded past the other three, so the multiplies overlap.
PEX_WIDE uint32_t WideFoldBlocks(uint32_t crc, const uint8_t* data, size_t quads, const uint8_t (&order)[16]) {
    const __m512i shuffle = WideShuffle(order);
    const auto load = [&](size_t q) PEX_WIDE { return _mm512_shuffle_epi8(_mm512_loadu_si512(data + 64 * q), shuffle); };
    const __m512i key64 = WideKey(kHigh64, kLow64);
    __m512i x = _mm512_xor_si512(load(0), _mm512_zextsi128_si512(_mm_set_epi32(static_cast<int>(crc), 0, 0, 0)));
    size_t q = 1;
    if (quads >= 8) {
        const __m512i key256 = WideKey(kHigh256, kLow256);
        __m512i lane[4] = {x, load(1), load(2), load(3)};
        for (q = 4; q + 4 <= quads; q += 4)
            for (int i = 0; i < 4; ++i) lane[i] = WideFold(lane[i], key256, load(q + i));
        x = lane[0];
        for (int i = 1; i < 4; ++i) x = WideFold(x, key64, lane[i]);
    }
    for (; q < quads; ++q) x = WideFold(x, key64, load(q));
    return WideReduce(x);
}

// PackGroups over 128-byte steps: the odd bytes picked across two registers, each 16-bit unit's
// bits 7-6 gathered four to a byte; the input folded into the CRC as it passes.
constexpr size_t kPrefetchBytes = 4096;
PEX_WIDE size_t WidePackGroups(const uint8_t* in, size_t steps, uint8_t* plane8, uint8_t* plane2, uint32_t* crc) {
    alignas(64) uint8_t odd[64];
    for (int i = 0; i < 64; ++i) odd[i] = static_cast<uint8_t>(2 * i + 1);
    const __m512i oddIndex = _mm512_load_si512(odd);
    const __m512i three = _mm512_set1_epi16(3), weights = _mm512_set1_epi32(0x00040001);
    // The four fields of a group: a + 4b in each 32-bit half, the high half's then moved to bits 7-4.
    const auto fields = [&](__m512i v) PEX_WIDE {
        const __m512i u = _mm512_madd_epi16(_mm512_and_si512(_mm512_srli_epi16(v, 6), three), weights);
        return _mm512_cvtepi64_epi8(_mm512_or_si512(u, _mm512_srli_epi64(u, 28)));
    };
    const __m512i shuffle = WideShuffle(kUnitOrder);
    const __m512i key128 = WideKey(kHigh128, kLow128), key64 = WideKey(kHigh64, kLow64);
    __m512i sum[2] = {_mm512_zextsi128_si512(_mm_set_epi32(crc ? static_cast<int>(*crc) : 0, 0, 0, 0)), _mm512_setzero_si512()};
    for (size_t k = 0; k < steps; ++k, in += 128, plane8 += 64, plane2 += 16) {
        _mm_prefetch(reinterpret_cast<const char*>(in + kPrefetchBytes), _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(in + kPrefetchBytes + 64), _MM_HINT_T0);
        const __m512i v0 = _mm512_loadu_si512(in), v1 = _mm512_loadu_si512(in + 64);
        _mm512_storeu_si512(plane8, _mm512_permutex2var_epi8(v0, oddIndex, v1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(plane2), _mm_unpacklo_epi64(fields(v0), fields(v1)));
        if (!crc) continue;
        const __m512i b0 = _mm512_shuffle_epi8(v0, shuffle), b1 = _mm512_shuffle_epi8(v1, shuffle);
        if (k == 0) {
            sum[0] = _mm512_xor_si512(sum[0], b0);
            sum[1] = b1;
        } else {
            sum[0] = WideFold(sum[0], key128, b0);
            sum[1] = WideFold(sum[1], key128, b1);
        }
    }
    if (crc && steps) *crc = WideReduce(WideFold(sum[0], key64, sum[1]));
    return steps;
}
#endif

// The register after whole 16-byte blocks; folding pays from a few blocks on.
uint32_t Blocks(uint32_t crc, const uint8_t* data, size_t blocks, const uint8_t (&order)[16]) {
#if defined(__x86_64__) || defined(__i386__)
    if (blocks >= 16 && HasWide()) {
        crc = WideFoldBlocks(crc, data, blocks / 4, order);
        data += blocks / 4 * 64;
        blocks %= 4;
    }
    if (blocks >= 4 && HasCarrylessMultiply()) return FoldBlocks(crc, data, blocks, order);
#endif
    return TableBlocks(crc, data, blocks, order);
}


}  // namespace

uint32_t Crc32Mpeg2(uint32_t crc, const uint8_t* data, size_t length) {
    const size_t blocks = length / 16;
    crc = Blocks(crc, data, blocks, kInOrder);
    for (size_t i = 16 * blocks; i < length; ++i) crc = crc << 8 ^ kCrcTables.t[0][(crc >> 24 ^ data[i]) & 0xFF];
    return crc;
}

namespace {

// The register after `pairs` pairs of words, word k given by word(k); asBytes, where not null, is
// the same words as little-endian bytes for the block folding.
template <class Word>
uint32_t PairsCrc(uint32_t crc, const uint8_t* asBytes, size_t pairs, Word word) {
    size_t i = 0;
#if defined(__x86_64__) || defined(__i386__)
    // Two pairs make a block of their bytes as they lie in memory.
    if (asBytes && pairs >= 8 && HasCarrylessMultiply()) {
        crc = Blocks(crc, asBytes, pairs / 2, kUnitOrder);
        i = pairs / 2 * 2;
    }
#else
    (void)asBytes;
#endif
    for (; i + 2 <= pairs; i += 2)
        crc = Carry(crc ^ Units(word(2 * i)), 3) ^ Carry(Units(word(2 * i + 1)), 2) ^ Carry(Units(word(2 * i + 2)), 1) ^ Carry(Units(word(2 * i + 3)), 0);
    if (i < pairs) crc = Carry(crc ^ Units(word(2 * i)), 1) ^ Carry(Units(word(2 * i + 1)), 0);
    return crc;
}

}  // namespace

uint32_t PixelCrc64(uint32_t crc, const uint32_t* words, size_t pairs) {
    const uint8_t* asBytes = std::endian::native == std::endian::little ? reinterpret_cast<const uint8_t*>(words) : nullptr;
    return PairsCrc(crc, asBytes, pairs, [words](size_t k) { return words[k]; });
}

uint32_t PixelCrc64Bytes(uint32_t crc, const uint8_t* bytes, size_t pairs) {
    return PairsCrc(crc, bytes, pairs, [bytes](size_t k) { return LittleWordAt(bytes + 4 * k); });
}

bool PixelCrcStream::Wide() {
#if defined(__x86_64__) || defined(__i386__)
    if constexpr (std::endian::native == std::endian::little) return HasWide();
#endif
    return false;
}

void PixelCrcStream::Feed(const uint8_t* bytes, size_t length) {
    if (length == 0) return;
    if (m_waitingBytes) {
        const size_t take = std::min(sizeof m_waiting - m_waitingBytes, length);
        std::memcpy(m_waiting + m_waitingBytes, bytes, take);
        m_waitingBytes += take;
        bytes += take;
        length -= take;
        if (m_waitingBytes < sizeof m_waiting) return;
        FoldRuns(m_waiting, 1);
        m_waitingBytes = 0;
    }
    const size_t runs = length / 256;
    if (runs) FoldRuns(bytes, runs);
    m_waitingBytes = length - 256 * runs;
    std::memcpy(m_waiting, bytes + 256 * runs, m_waitingBytes);
}

#if defined(__x86_64__) || defined(__i386__)
namespace {

// WideFoldBlocks' four remainders kept in lanes (256 bytes) from one piece to the next; the first
// run starts them from crc.
PEX_WIDE void FoldStreamRuns(uint8_t* lanes, bool first, uint32_t crc, const uint8_t* bytes, size_t runs) {
    const __m512i shuffle = WideShuffle(kUnitOrder), key256 = WideKey(kHigh256, kLow256);
    const auto load = [&](size_t q) PEX_WIDE { return _mm512_shuffle_epi8(_mm512_loadu_si512(bytes + 64 * q), shuffle); };
    __m512i lane[4];
    size_t r = 0;
    if (first) {
        lane[0] = _mm512_xor_si512(load(0), _mm512_zextsi128_si512(_mm_set_epi32(static_cast<int>(crc), 0, 0, 0)));
        for (size_t i = 1; i < 4; ++i) lane[i] = load(i);
        r = 1;
    } else {
        for (size_t i = 0; i < 4; ++i) lane[i] = _mm512_load_si512(lanes + 64 * i);
    }
    for (; r < runs; ++r)
        for (size_t i = 0; i < 4; ++i) lane[i] = WideFold(lane[i], key256, load(4 * r + i));
    for (size_t i = 0; i < 4; ++i) _mm512_store_si512(lanes + 64 * i, lane[i]);
}

// Thirty-two samples into sixteen words (see UnpackRunsFast): each 2-bit byte beside its four
// samples, moved up by 6, 4, 2, 0 bits so the lane's pair lands in bits 7-6, under the high byte.
PEX_WIDE inline __m512i UnpackWide(const uint8_t* high, const uint8_t* low) {
    uint64_t lows;
    std::memcpy(&lows, low, 8);
    const __m128i l = _mm_cvtsi64_si128(static_cast<long long>(lows));
    const __m256i spread = _mm256_setr_m128i(_mm_shuffle_epi8(l, _mm_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3)),
                                             _mm_shuffle_epi8(l, _mm_setr_epi8(4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7)));
    const __m512i shift = _mm512_set4_epi32(0x00010004, 0x00100040, 0x00010004, 0x00100040);
    const __m512i hs = _mm512_slli_epi16(_mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(high))), 8);
    const __m512i lo = _mm512_and_si512(_mm512_mullo_epi16(_mm512_cvtepu8_epi16(spread), shift), _mm512_set1_epi16(0xC0));
    return _mm512_or_si512(hs, lo);
}

// UnpackRunsFast's work: each run's four 64-byte blocks stored and folded into the four lanes.
PEX_WIDE void UnpackAndFoldRuns(const uint8_t* high, const uint8_t* low, size_t runs, uint32_t* out, uint8_t* lanes, bool first,
                                uint32_t crc, bool stream) {
    const __m512i shuffle = WideShuffle(kUnitOrder), key256 = WideKey(kHigh256, kLow256);
    __m512i lane[4];
    if (!first)
        for (size_t i = 0; i < 4; ++i) lane[i] = _mm512_load_si512(lanes + 64 * i);
    for (size_t r = 0; r < runs; ++r, high += 128, low += 32, out += 64)
        for (size_t i = 0; i < 4; ++i) {
            const __m512i words = UnpackWide(high + 32 * i, low + 8 * i);
            if (stream) _mm512_stream_si512(reinterpret_cast<__m512i*>(out + 16 * i), words);
            else _mm512_storeu_si512(out + 16 * i, words);
            const __m512i units = _mm512_shuffle_epi8(words, shuffle);
            if (!first || r > 0) lane[i] = WideFold(lane[i], key256, units);
            else lane[i] = i == 0 ? _mm512_xor_si512(units, _mm512_zextsi128_si512(_mm_set_epi32(static_cast<int>(crc), 0, 0, 0))) : units;
        }
    for (size_t i = 0; i < 4; ++i) _mm512_store_si512(lanes + 64 * i, lane[i]);
    if (stream) _mm_sfence();
}

PEX_WIDE uint32_t FinishStream(const uint8_t* lanes) {
    const __m512i key64 = WideKey(kHigh64, kLow64);
    __m512i x = _mm512_load_si512(lanes);
    for (size_t i = 1; i < 4; ++i) x = WideFold(x, key64, _mm512_load_si512(lanes + 64 * i));
    return WideReduce(x);
}

}  // namespace
#endif

void PixelCrcStream::FoldRuns(const uint8_t* bytes, size_t runs) {
#if defined(__x86_64__) || defined(__i386__)
    FoldStreamRuns(m_lanes, !m_folding, m_crc, bytes, runs);
    m_folding = true;
#else
    // Not reached (Wide() is false here); the narrow register keeps the result right all the same.
    m_crc = PixelCrc64Bytes(m_crc, bytes, 32 * runs);
#endif
}

size_t UnpackRunsFast(const uint8_t* high, const uint8_t* low, size_t runs, uint32_t* out, PixelCrcStream& crc, bool stream) {
    if (!PixelCrcStream::Wide() || !crc.OnRunBoundary() || runs == 0) return 0;
    if (stream && reinterpret_cast<uintptr_t>(out) % 64) return 0;
#if defined(__x86_64__) || defined(__i386__)
    UnpackAndFoldRuns(high, low, runs, out, crc.m_lanes, !crc.m_folding, crc.m_crc, stream);
    crc.m_folding = true;
    return runs;
#else
    (void)high, (void)low, (void)out, (void)stream;
    return 0;
#endif
}

uint32_t PixelCrcStream::Finish(const uint8_t** rest, size_t* restBytes) const {
    *rest = m_waiting;
    *restBytes = m_waitingBytes;
#if defined(__x86_64__) || defined(__i386__)
    if (m_folding) return FinishStream(m_lanes);
#endif
    return m_crc;
}

size_t PackGroupsFast(const uint8_t* in, size_t groups, uint8_t* plane8, uint8_t* plane2, uint32_t* crc) {
#if defined(__x86_64__) || defined(__i386__)
    if constexpr (std::endian::native == std::endian::little)
        if (groups >= 16 && HasWide()) return 16 * WidePackGroups(in, groups / 16, plane8, plane2, crc);
#endif
    (void)in, (void)plane8, (void)plane2, (void)crc;
    return 0;
}

uint32_t* CodecChip::PixelCrcOpen(int reg) {
    const uint32_t personality = m_idWord >> 20;
    const int registers = personality == kUnpacker ? 3 : personality == kPacker ? 2 : 0;
    if (!m_configured || reg < 0 || reg >= registers || (m_pixel.dcmControl & kCrcRestart) || m_pixel.holding[reg]) return nullptr;
    return &m_pixel.crc[reg];
}

bool CodecChip::HasFault(CodecChipFault::Kind kind, int width) const {
    for (const CodecChipFault& f : m_faults.codec.chips)
        if (f.kind == kind && (width == 0 || f.width == width)) return true;
    return false;
}

void CodecChip::PixelReset(bool configured) {
    const PixelState old = m_pixel;
    m_pixel = PixelState{};
    if (configured) {
        m_pixel.loadedPhase[0] = m_pixel.loadedPhase[1] = kPowerUpPhase;
        return;
    }
    // A reset keeps the RAM and the DCMs' phases; the logic starts again.
    m_pixel.context = old.context;
    m_pixel.phaseRegister = old.phaseRegister;
    m_pixel.loadedPhase[0] = old.loadedPhase[0];
    m_pixel.loadedPhase[1] = old.loadedPhase[1];
}

void CodecChip::PixelCrcRestart() {
    for (int r = 0; r < 3; ++r) {
        m_pixel.crc[r] = 0;
        m_pixel.holding[r] = false;
    }
}

void CodecChip::PixelCrcFeed(int reg, const uint32_t* words, size_t n) {
    const uint32_t personality = m_idWord >> 20;
    const int registers = personality == kUnpacker ? 3 : personality == kPacker ? 2 : 0;
    if (!m_configured || reg < 0 || reg >= registers || (m_pixel.dcmControl & kCrcRestart) || n == 0) return;
    uint32_t crc = m_pixel.crc[reg];
    if (m_pixel.holding[reg]) {
        const uint32_t pair[2] = {m_pixel.held[reg], words[0]};
        crc = PixelCrc64(crc, pair, 1);
        m_pixel.holding[reg] = false;
        ++words;
        --n;
    }
    crc = PixelCrc64(crc, words, n / 2);
    if (n % 2) {
        m_pixel.held[reg] = words[n - 1];
        m_pixel.holding[reg] = true;
    }
    m_pixel.crc[reg] = crc;
}

void CodecChip::PixelCrcFeedBytes(int reg, const uint8_t* bytes, size_t length) {
    // Read where they lie, a pair of words at a time, rather than copied out into words first.
    size_t n = length / 4;
    if (n == 0 || reg < 0 || reg >= 3) return;
    if (m_pixel.holding[reg]) {
        const uint32_t first = LittleWordAt(bytes);
        PixelCrcFeed(reg, &first, 1);
        bytes += 4;
        --n;
    }
    const size_t pairs = n / 2;
    uint32_t* crc = PixelCrcOpen(reg);
    if (!crc) return;  // not counting
    *crc = PixelCrc64Bytes(*crc, bytes, pairs);
    if (n % 2) {
        const uint32_t last = LittleWordAt(bytes + 8 * pairs);
        PixelCrcFeed(reg, &last, 1);
    }
}

bool CodecChip::PixelContext(int n, uint32_t& word0, uint32_t& word1) const {
    if (n < 0 || n > 15) return false;
    word0 = m_pixel.context[2 * n];
    word1 = m_pixel.context[2 * n + 1];
    return true;
}

void CodecChip::PixelUpdate(int64_t now) {
    PixelState& p = m_pixel;
    for (int i = 0; i < 2; ++i) {
        if (p.ddrDoneAt[i] == 0 || now < p.ddrDoneAt[i]) continue;
        p.ddrDoneAt[i] = 0;
        if (i == 0) p.ddr |= kDdr64Started | (HasFault(K::DdrInitNeverDone, 64) ? 0 : kDdr64Done);
        else if (!HasFault(K::DdrInitNeverDone, 32)) p.ddr |= kDdr32Done;
    }
    for (PixelBist& b : p.bist) {
        if (b.doneAt == 0 || now < b.doneAt) continue;
        b.doneAt = 0;
        b.status = (b.status & 0xFF) | b.outcome;
    }
}

// Starts self-test `test` on memory m: it runs for a while and then passes when the memory's
// loaded DCM phase lies in its window, else fails with an error count that grows with the
// distance from the window.
void CodecChip::PixelStartBist(int m, uint32_t test, int64_t now) {
    PixelBist& b = m_pixel.bist[m];
    int low = kWindowLow, high = kWindowHigh;
    for (const CodecChipFault& f : m_faults.codec.chips) {
        if (f.width != Width(m)) continue;
        if (f.kind == K::MemBistWindow) {
            low = f.low;
            high = f.high;
        }
        if (f.kind == K::MemBistFails) {
            // Failed: ends with its error count; not done: runs for ever; not started: stays 0.
            b.errors = f.result == 1 ? f.errors : 0;
            b.status = f.result == 0 ? 0 : kBistRunning | test;
            b.outcome = kBistDone;
            b.doneAt = f.result == 1 ? now + Micros(kBistMicros) : 0;
            return;
        }
    }
    const int64_t phase = m_pixel.loadedPhase[m];
    const int64_t distance = phase < low ? low - phase : phase > high ? phase - high : 0;
    b.outcome = distance == 0 ? kBistPassed : kBistDone;
    b.errors = static_cast<uint32_t>(std::min<int64_t>(0x3FFFFF, distance * 0x801));
    b.status = kBistRunning | test;
    b.doneAt = now + Micros(kBistMicros);
}

// Registers (DSP addresses), packer (0x120) and unpacker (0x140) alike unless said:
//   0x6C000000 identification word (read-only)
//   0x6C000004 DDR: writing bit 0 starts the 64-bit memory's initialisation, which sets bits 0
//     and 16 3 ms later; on the unpacker bit 1 starts the 32-bit memory's, which sets bit 17
//   0x6C000008 DCM phases (bits 31-16 the 32-bit memory, 15-0 the 64-bit), read back as written
//   0x6C00000C DCM control: bit 2 loads the 32-bit memory's phase, bit 3 the 64-bit's; bit 8
//     restarts the CRC registers and holds them while set
//   0x6C000010 / 0x6C000020 MemBist control (write) and status (read) of the 64- / 32-bit memory:
//     writing another test number (bits 7-0) starts that self-test, 0 idles it, 0x20 and 0x30
//     only choose the error count's view; the status reads 10 in bits 17-16 while it runs, then
//     11 passed or 01 failed, with the test number in bits 7-0; a finished status clears when read
//   0x6C000014 flush: writing bit 16 drops the frames the chip holds in either direction; bit 16
//     reads 1 while the flush runs (0.5 ms)
//   0x6C000014 / 0x6C000024, unpacker: the error count of the last self-test of the 64- / 32-bit
//     memory, bits 15-0 of it while the control holds 0x20, bits 21-16 in bits 5-0 while 0x30
//   0x6C000018 / 0x6C00001C FIFO status 1 / 2: bit 0 empty
//   0x6C000028 / 0x6C00002C CRC in / out, 0x6C000030 (unpacker) expansion out (PixelCrcFeed)
//   0x64000000 + 8n, + 4: context RAM entry n (0-15), two whole words
// Reset keeps the context RAM and the loaded phases; configuration clears both, the phases
// starting at the image's 0x80.
uint32_t CodecChip::Pixel(uint32_t address, bool read, uint32_t value) {
    const int64_t now = platform::NowTicks();
    const bool unpacker = m_idWord >> 20 == kUnpacker;
    PixelState& p = m_pixel;
    address &= ~3u;
    PixelUpdate(now);
    if (address >= kContext && address < kContextEnd) {
        const uint32_t i = (address - kContext) / 4;
        if (!read) {
            p.context[i] = value;
            return 0;
        }
        uint32_t word = p.context[i];
        for (const CodecChipFault& f : m_faults.codec.chips)
            if (f.kind == K::ContextRamStuckBit && static_cast<uint32_t>(2 * f.entry + f.word) == i)
                word = f.value ? word | 1u << f.bit : word & ~(1u << f.bit);
        return word;
    }
    switch (address) {
    case kId: {
        if (!read) return 0;
        uint32_t id = IdWord();
        for (const CodecChipFault& f : m_faults.codec.chips)
            if (f.kind == K::WrongDeviceId) id = f.id << 20 | (id & 0xFFFFF);
        return id;
    }
    case kDdr:
        if (read) return p.ddr;
        if (value & 1) {
            p.ddr &= ~(kDdr64Started | kDdr64Done);
            p.ddrDoneAt[0] = now + Micros(kDdrInitMicros);
        }
        if ((value & 2) && unpacker) {
            p.ddr &= ~kDdr32Done;
            p.ddrDoneAt[1] = now + Micros(kDdrInitMicros);
        }
        return 0;
    case kPhase:
        if (read) return p.phaseRegister;
        p.phaseRegister = value;
        return 0;
    case kDcmControl:
        if (read) return p.dcmControl;
        if (value & kLoad32) p.loadedPhase[1] = p.phaseRegister >> 16;
        if (value & kLoad64) p.loadedPhase[0] = p.phaseRegister & 0xFFFF;
        if (value & kCrcRestart) PixelCrcRestart();
        p.dcmControl = value;
        return 0;
    case kFifo1:
    case kFifo2: return read ? kFifoEmpty : 0;
    default: break;
    }
    for (int m = 0; m < 2; ++m) {
        if (address != kBist[m]) continue;
        PixelBist& b = p.bist[m];
        if (read) {
            const uint32_t status = b.status;
            if (status & kBistDone) b.status = 0;
            return status;
        }
        b.control = value;
        const uint32_t test = value & 0xFF;
        if (test == 0) {
            b = PixelBist{};
            b.control = value;
        } else if (test != kCountView[0] && test != kCountView[1]) {
            PixelStartBist(m, test, now);
        }
        return 0;
    }
    if (address == kFlush && !read) {
        if (value & kFlushBusy) {
            p.flushUntil = now + Micros(kFlushMicros);
            p.flushStuck = p.flushStuck || HasFault(K::FlushStuck);
            // The chip drops what it holds of the streams in either direction.
            if (!p.flushStuck) {
                m_inbound.clear();
                m_outbound.clear();
            }
        }
        return 0;
    }
    const bool flushing = p.flushStuck || now < p.flushUntil;
    if (read && (address == kBistCount[0] || address == kBistCount[1])) {
        const int m = address == kBistCount[0] ? 0 : 1;
        const uint32_t view = p.bist[m].control & 0xFF;
        uint32_t count = 0;
        if (unpacker && view == kCountView[0]) count = p.bist[m].errors & 0xFFFF;
        if (unpacker && view == kCountView[1]) count = p.bist[m].errors >> 16 & 0x3F;
        return count | (m == 0 && flushing ? kFlushBusy : 0);
    }
    for (int r = 0; r < 3; ++r) {
        if (address != kCrc[r] || (r == 2 && !unpacker)) continue;
        if (!read) return 0;
        uint32_t crc = p.crc[r];
        for (const CodecChipFault& f : m_faults.codec.chips)
            if (f.kind == K::CrcWrong && f.reg == r) crc ^= f.mask;
        return crc;
    }
    if (read) {
        const auto it = m_registers.find(address);
        return it == m_registers.end() ? 0 : it->second;
    }
    m_registers[address] = value;
    return 0;
}

}  // namespace sim
