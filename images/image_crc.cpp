// CRC-32 register updates for the 52- and 64-bit image data paths: by carry-less multiplication
// where the processor has it, else by tables.
#include "images/image_crc.h"

#include <array>
#include <bit>
#include <cstdint>

#include "images/byte_order.h"

#if defined(__x86_64__)
#include "platform/vector_intrinsics.h"
#define PEX_IMAGE_CRC_CLMUL 1
#define PEX_IMAGE_CRC_WIDE 1
#endif

namespace images_detail {

namespace {

constexpr DWORD kPoly = 0x04C11DB7;

// (value * x^n) mod the generator, value a polynomial of degree below 32.
constexpr DWORD MulXPow(DWORD value, int n) {
    for (int i = 0; i < n; ++i) value = (value & 0x80000000u) ? (value << 1) ^ kPoly : value << 1;
    return value;
}

// Feeding L data bits D into register r gives (r * x^L + D * x^32) mod G. With D split into its
// first 32 bits hi and its last L - 32 bits lo, that is ((r ^ hi) * x^L + lo * x^32) mod G: one
// table per byte of r ^ hi and one per byte of lo.
template <int kDataBits>
struct PairTables {
    static constexpr int kLoBytes = (kDataBits - 32 + 7) / 8;
    std::array<std::array<DWORD, 256>, 4> reg{};
    std::array<std::array<DWORD, 256>, kLoBytes> lo{};

    constexpr PairTables() {
        for (int j = 0; j < 4; ++j)
            for (DWORD b = 0; b < 256; ++b) reg[j][b] = MulXPow(b, 8 * j + kDataBits);
        for (int k = 0; k < kLoBytes; ++k)
            for (DWORD b = 0; b < 256; ++b) lo[k][b] = MulXPow(b, 8 * k + 32);
    }

    DWORD Fold(DWORD crc, DWORD hi, uint64_t lowBits) const {
        DWORD v = crc ^ hi;
        DWORD r = reg[0][v & 0xFF] ^ reg[1][(v >> 8) & 0xFF] ^ reg[2][(v >> 16) & 0xFF] ^ reg[3][v >> 24];
        for (int k = 0; k < kLoBytes; ++k) r ^= lo[k][(lowBits >> (8 * k)) & 0xFF];
        return r;
    }
};

constexpr PairTables<64> kTables64;
constexpr PairTables<52> kTables52;
constexpr PairTables<32> kTables32;  // reg: a register byte carried past 32 bits

// A pair's data bits, first unit most significant: lo(w0), hi(w0), lo(w1), hi(w1), all 16 bits.
inline uint64_t Units64(const BYTE* words, uint64_t mask) {
    const uint64_t q = (uint64_t{LoadLE32(words + 4)} << 32 | LoadLE32(words)) & mask;
    return (q & 0xFFFF) << 48 | (q & 0xFFFF0000u) << 16 | (q >> 16 & 0xFFFF0000u) | q >> 48;
}

// The same with bits 15..3 of each unit, 13 a unit.
inline uint64_t Units52(const BYTE* words, uint64_t mask) {
    const uint64_t r = Units64(words, mask);
    return (r >> 3 & 0x1FFF) | (r >> 6 & uint64_t{0x1FFF} << 13) | (r >> 9 & uint64_t{0x1FFF} << 26) |
           (r >> 12 & uint64_t{0x1FFF} << 39);
}

template <int kBits>
DWORD TablePairs(DWORD crc, const BYTE* words, size_t pairs, uint64_t mask) {
    const auto& tables = []() -> const auto& {
        if constexpr (kBits == 64) return kTables64;
        else return kTables52;
    }();
    for (size_t i = 0; i < pairs; ++i, words += 8) {
        const uint64_t d = kBits == 64 ? Units64(words, mask) : Units52(words, mask);
        crc = tables.Fold(crc, static_cast<DWORD>(d >> (kBits - 32)), d & ((uint64_t{1} << (kBits - 32)) - 1));
    }
    return crc;
}

#ifdef PEX_IMAGE_CRC_CLMUL

// Folding: the data is cut into chunks of two pairs, C bits each (128 for D64, 104 for D52), so
// that the message is M = sum C_i x^(C(N-1-i)) and the register after it (crc x^(CN) + M x^32) mod
// G; the seed joins the first chunk as crc x^(C-32). Four lanes take every fourth chunk: lane k
// holds A_k = A_k x^(4C) + chunk, kept within 128 bits by carrying its high 64 bits with
// x^(4C+64) mod G and its low 64 bits with x^(4C) mod G. At the end lane k is carried by
// x^(C(3-k)), the lanes are summed and the sum is reduced by feeding it to a register at 0.
// Pairs past the last group of eight go through the tables.
constexpr int kLanes = 4;
constexpr size_t kPairsPerGroup = 2 * kLanes;

constexpr DWORD XPow(int n) { return MulXPow(1, n); }

template <int kChunkBits, int kLaneCount = kLanes>
struct FoldKeys {
    // carry[k]: lane k's way to the end, x^(C(L-1-k)) (the last lane's, x^0, reduces to 128 bits only).
    DWORD lane[2], carry[kLaneCount][2];
    constexpr FoldKeys() : lane{XPow(kLaneCount * kChunkBits), XPow(kLaneCount * kChunkBits + 64)}, carry{} {
        for (int k = 0; k < kLaneCount; ++k) {
            carry[k][0] = XPow(kChunkBits * (kLaneCount - 1 - k));
            carry[k][1] = XPow(kChunkBits * (kLaneCount - 1 - k) + 64);
        }
    }
};

__attribute__((target("pclmul,ssse3,sse4.1"))) inline __m128i Key(const DWORD key[2]) {
    return _mm_set_epi64x(static_cast<long long>(key[1]), static_cast<long long>(key[0]));
}

__attribute__((target("pclmul,ssse3,sse4.1"))) inline __m128i Carry(__m128i a, __m128i key) {
    return _mm_xor_si128(_mm_clmulepi64_si128(a, key, 0x11), _mm_clmulepi64_si128(a, key, 0x00));
}

// The chunk of the two pairs at p: for D64 the 16 bytes in stream order (the first pair's units
// highest); for D52 each pair's 52 bits, the first pair's above the second's.
template <int kBits>
__attribute__((target("pclmul,ssse3,sse4.1"))) inline __m128i Chunk(const BYTE* p, __m128i mask) {
    const __m128i q = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), mask);
    if constexpr (kBits == 64) {
        return _mm_shuffle_epi8(q, _mm_set_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14));
    } else {
        // Each pair's 64-bit lane with its units in stream order (the first highest; the first pair
        // in the high lane), each unit's bits 15..3 brought down, then the four 13-bit fields
        // packed: two by a multiply-add into each 32-bit half, the halves joined at bit 26.
        const __m128i r = _mm_shuffle_epi8(q, _mm_set_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14));
        const __m128i halves = _mm_madd_epi16(_mm_srli_epi16(r, 3), _mm_set1_epi32(1 << 29 | 1));
        const __m128i v = _mm_or_si128(_mm_and_si128(halves, _mm_set1_epi64x(0xFFFFFFFF)), _mm_slli_epi64(_mm_srli_epi64(halves, 32), 26));
        // First x^52 + second.
        return _mm_xor_si128(_mm_clmulepi64_si128(v, _mm_set_epi64x(1ll << 52, 0), 0x11), _mm_move_epi64(v));
    }
}

// The register after feeding the 128 bits of sum, most significant first, to a register at 0.
__attribute__((target("pclmul,ssse3,sse4.1"))) inline DWORD Reduce(__m128i sum) {
    DWORD c = 0;
    const DWORD parts[4] = {static_cast<DWORD>(_mm_extract_epi32(sum, 3)), static_cast<DWORD>(_mm_extract_epi32(sum, 2)),
                            static_cast<DWORD>(_mm_extract_epi32(sum, 1)), static_cast<DWORD>(_mm_extract_epi32(sum, 0))};
    for (DWORD part : parts) {
        const DWORD v = c ^ part;
        c = kTables32.reg[0][v & 0xFF] ^ kTables32.reg[1][(v >> 8) & 0xFF] ^ kTables32.reg[2][(v >> 16) & 0xFF] ^
            kTables32.reg[3][v >> 24];
    }
    return c;
}

template <int kBits>
__attribute__((target("pclmul,ssse3,sse4.1"))) DWORD FoldPairs(DWORD crc, const BYTE* words, size_t pairs, DWORD mask) {
    constexpr int kChunkBits = 2 * kBits;
    static constexpr FoldKeys<kChunkBits> kKeys;
    const __m128i wordMask = _mm_set1_epi32(static_cast<int>(mask));
    const size_t groups = pairs / kPairsPerGroup;
    __m128i lane[kLanes];
    for (int k = 0; k < kLanes; ++k) lane[k] = Chunk<kBits>(words + 16 * k, wordMask);
    // crc x^(C-32): bits C-32 .. C-1 of the first chunk.
    lane[0] = _mm_xor_si128(lane[0], kChunkBits == 128 ? _mm_set_epi32(static_cast<int>(crc), 0, 0, 0)
                                                       : _mm_set_epi64x(static_cast<long long>(uint64_t{crc} << (kChunkBits - 96)), 0));
    const __m128i key = Key(kKeys.lane);
    const BYTE* p = words + 16 * kLanes;
    for (size_t g = 1; g < groups; ++g, p += 16 * kLanes)
        for (int k = 0; k < kLanes; ++k) lane[k] = _mm_xor_si128(Carry(lane[k], key), Chunk<kBits>(p + 16 * k, wordMask));
    __m128i sum = lane[kLanes - 1];
    for (int k = 0; k + 1 < kLanes; ++k) sum = _mm_xor_si128(sum, Carry(lane[k], Key(kKeys.carry[k])));
    return TablePairs<kBits>(Reduce(sum), p, pairs - groups * kPairsPerGroup, uint64_t{mask} << 32 | mask);
}

#ifdef PEX_IMAGE_CRC_WIDE

// The same folding with sixteen lanes in four 512-bit registers, register a holding lanes 4a .. 4a+3
// (the chunks of 64 bytes in a row), where the processor multiplies four 128-bit lanes at once.
constexpr int kWideLanes = 16;
constexpr size_t kPairsPerWideGroup = 2 * kWideLanes;
#define PEX_WIDE_TARGET __attribute__((target("avx512f,avx512bw,vpclmulqdq,pclmul,ssse3,sse4.1")))

PEX_WIDE_TARGET inline __m512i WideKey(const DWORD k0[2], const DWORD k1[2], const DWORD k2[2], const DWORD k3[2]) {
    return _mm512_set_epi64(k3[1], k3[0], k2[1], k2[0], k1[1], k1[0], k0[1], k0[0]);
}

PEX_WIDE_TARGET inline __m512i WideCarry(__m512i a, __m512i key) {
    return _mm512_xor_si512(_mm512_clmulepi64_epi128(a, key, 0x11), _mm512_clmulepi64_epi128(a, key, 0x00));
}

// Four chunks, each 128-bit lane as Chunk makes it.
template <int kBits>
PEX_WIDE_TARGET inline __m512i WideChunk(const BYTE* p, __m512i mask) {
    const __m512i q = _mm512_and_si512(_mm512_loadu_si512(p), mask);
    const __m512i r = _mm512_shuffle_epi8(q, _mm512_broadcast_i32x4(_mm_set_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14)));
    if constexpr (kBits == 64) {
        return r;
    } else {
        const __m512i halves = _mm512_madd_epi16(_mm512_srli_epi16(r, 3), _mm512_set1_epi32(1 << 29 | 1));
        const __m512i v = _mm512_or_si512(_mm512_and_si512(halves, _mm512_set1_epi64(0xFFFFFFFF)), _mm512_slli_epi64(_mm512_srli_epi64(halves, 32), 26));
        const __m512i x52 = _mm512_broadcast_i32x4(_mm_set_epi64x(1ll << 52, 0));
        return _mm512_xor_si512(_mm512_clmulepi64_epi128(v, x52, 0x11), _mm512_maskz_mov_epi64(0x55, v));
    }
}

template <int kBits>
PEX_WIDE_TARGET DWORD WideFoldPairs(DWORD crc, const BYTE* words, size_t pairs, DWORD mask) {
    constexpr int kChunkBits = 2 * kBits;
    static constexpr FoldKeys<kChunkBits, kWideLanes> kKeys;
    const __m512i wordMask = _mm512_set1_epi32(static_cast<int>(mask));
    const size_t groups = pairs / kPairsPerWideGroup;
    __m512i lane[4];
    for (int a = 0; a < 4; ++a) lane[a] = WideChunk<kBits>(words + 64 * a, wordMask);
    const __m128i seed = kChunkBits == 128 ? _mm_set_epi32(static_cast<int>(crc), 0, 0, 0)
                                           : _mm_set_epi64x(static_cast<long long>(uint64_t{crc} << (kChunkBits - 96)), 0);
    lane[0] = _mm512_xor_si512(lane[0], _mm512_zextsi128_si512(seed));
    const __m512i key = WideKey(kKeys.lane, kKeys.lane, kKeys.lane, kKeys.lane);
    const BYTE* p = words + 64 * 4;
    for (size_t g = 1; g < groups; ++g, p += 64 * 4)
        for (int a = 0; a < 4; ++a) lane[a] = _mm512_xor_si512(WideCarry(lane[a], key), WideChunk<kBits>(p + 64 * a, wordMask));
    __m512i sum = _mm512_setzero_si512();
    for (int a = 0; a < 4; ++a) {
        const auto* k = kKeys.carry + 4 * a;
        sum = _mm512_xor_si512(sum, WideCarry(lane[a], WideKey(k[0], k[1], k[2], k[3])));
    }
    const __m128i folded = _mm_xor_si128(_mm_xor_si128(_mm512_extracti32x4_epi32(sum, 0), _mm512_extracti32x4_epi32(sum, 1)),
                                         _mm_xor_si128(_mm512_extracti32x4_epi32(sum, 2), _mm512_extracti32x4_epi32(sum, 3)));
    return TablePairs<kBits>(Reduce(folded), p, pairs - groups * kPairsPerWideGroup, uint64_t{mask} << 32 | mask);
}

bool HasWideClmul() {
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("pclmul") &&
                            __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.1");
    return has;
}

#endif

bool HasClmul() {
    static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.1");
    return has;
}

#endif

template <int kBits>
DWORD FeedPairs(DWORD crc, const BYTE* words, size_t pairs, DWORD mask) {
#ifdef PEX_IMAGE_CRC_WIDE
    if (pairs >= kPairsPerWideGroup && HasWideClmul()) return WideFoldPairs<kBits>(crc, words, pairs, mask);
#endif
#ifdef PEX_IMAGE_CRC_CLMUL
    if (pairs >= kPairsPerGroup && HasClmul()) return FoldPairs<kBits>(crc, words, pairs, mask);
#endif
    return TablePairs<kBits>(crc, words, pairs, uint64_t{mask} << 32 | mask);
}

}  // namespace

DWORD CrcFeedD64(DWORD crc, const BYTE* words, size_t pairs, DWORD mask) { return FeedPairs<64>(crc, words, pairs, mask); }

DWORD CrcFeedD52(DWORD crc, const BYTE* words, size_t pairs, DWORD mask) { return FeedPairs<52>(crc, words, pairs, mask); }

}  // namespace images_detail
