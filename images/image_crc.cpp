// Table-driven CRC-32 register updates for the 52- and 64-bit image data paths.
#include "images/image_crc.h"

#include <array>
#include <bit>
#include <cstdint>

#include "images/byte_order.h"

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

}  // namespace

DWORD CrcFeedD64(DWORD crc, const BYTE* words, size_t pairs, DWORD mask) {
    for (size_t i = 0; i < pairs; ++i, words += 8) {
        // Units lo(w0), hi(w0), lo(w1), hi(w1): each word with its halves exchanged.
        DWORD w0 = std::rotl(LoadLE32(words) & mask, 16);
        DWORD w1 = std::rotl(LoadLE32(words + 4) & mask, 16);
        crc = kTables64.Fold(crc, w0, w1);
    }
    return crc;
}

DWORD CrcFeedD52(DWORD crc, const BYTE* words, size_t pairs, DWORD mask) {
    for (size_t i = 0; i < pairs; ++i, words += 8) {
        DWORD w0 = LoadLE32(words) & mask, w1 = LoadLE32(words + 4) & mask;
        // Bits 15..3 of each 16-bit unit, 13 a unit, first unit most significant.
        uint64_t d = uint64_t((w0 & 0xFFFF) >> 3) << 39 | uint64_t(w0 >> 19) << 26 |
                     uint64_t((w1 & 0xFFFF) >> 3) << 13 | uint64_t(w1 >> 19);
        crc = kTables52.Fold(crc, static_cast<DWORD>(d >> 20), d & 0xFFFFF);
    }
    return crc;
}

}  // namespace images_detail
