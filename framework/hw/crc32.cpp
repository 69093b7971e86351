// CRC-32/MPEG-2 by tables of eight byte positions, or by carry-less multiplication where the CPU has it.
#include "framework/hw/crc32.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "framework/hw/byte_order.h"
#include "platform/files.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PEX_CRC_CLMUL 1
#endif

namespace {

constexpr DWORD kPoly = 0x04C11DB7;
constexpr DWORD kWordsPerDot = 5000;

// v * x^32 mod P: the register after a word v entered with the register at 0.
constexpr DWORD MulX32(DWORD v) {
    for (int i = 0; i < 32; ++i) v = (v & 0x80000000u) ? (v << 1) ^ kPoly : v << 1;
    return v;
}

// x^n mod P.
constexpr DWORD XPow(int n) {
    DWORD v = 1;
    for (int i = 0; i < n; ++i) v = (v & 0x80000000u) ? (v << 1) ^ kPoly : v << 1;
    return v;
}

// t[k][b], k < 4: byte b at byte position k of a word, times x^32; k >= 4: the same times x^64,
// which is what a word contributes when one more word follows it.
struct Tables {
    DWORD t[8][256];
};

constexpr Tables MakeTables() {
    Tables tables{};
    for (int k = 0; k < 4; ++k)
        for (DWORD b = 0; b < 256; ++b) {
            tables.t[k][b] = MulX32(b << (8 * k));
            tables.t[k + 4][b] = MulX32(tables.t[k][b]);
        }
    return tables;
}

constexpr Tables kTables = MakeTables();

inline DWORD StepWord(DWORD c) {
    const auto& t = kTables.t;
    return t[3][c >> 24] ^ t[2][(c >> 16) & 0xFF] ^ t[1][(c >> 8) & 0xFF] ^ t[0][c & 0xFF];
}

inline DWORD LoadWord(const BYTE* p, bool swap) {
    DWORD w;
    std::memcpy(&w, p, 4);
    return swap ? SwapDword(w) : w;
}

// Two words per step: the first is carried past the second by the x^64 tables.
DWORD TableWords(DWORD crc, const BYTE* p, size_t words, bool swap) {
    const auto& t = kTables.t;
    size_t i = 0;
    for (; i + 2 <= words; i += 2, p += 8) {
        const DWORD c = crc ^ LoadWord(p, swap);
        const DWORD w = LoadWord(p + 4, swap);
        crc = t[7][c >> 24] ^ t[6][(c >> 16) & 0xFF] ^ t[5][(c >> 8) & 0xFF] ^ t[4][c & 0xFF] ^ t[3][w >> 24] ^
              t[2][(w >> 16) & 0xFF] ^ t[1][(w >> 8) & 0xFF] ^ t[0][w & 0xFF];
    }
    if (i < words) crc = StepWord(crc ^ LoadWord(p, swap));
    return crc;
}

#ifdef PEX_CRC_CLMUL

// Folding: 16 bytes as a 128-bit polynomial A = H x^64 + L (first byte highest) are carried D bits
// further by A x^D == H (x^(D+64) mod P) + L (x^D mod P), which stays within 128 bits. Four lanes
// run 64 bytes apart; at the end the one remaining lane and the leftover words go through the
// tables, which leaves the remainder mod P.
struct FoldKey {
    unsigned long long lo, hi;
};
constexpr FoldKey Key(int d) { return {XPow(d), XPow(d + 64)}; }
constexpr FoldKey kFold128 = Key(128), kFold256 = Key(256), kFold384 = Key(384), kFold512 = Key(512);

__attribute__((target("pclmul,ssse3,sse4.1"))) inline __m128i Fold(__m128i a, __m128i key) {
    return _mm_xor_si128(_mm_clmulepi64_si128(a, key, 0x11), _mm_clmulepi64_si128(a, key, 0x00));
}

__attribute__((target("pclmul,ssse3,sse4.1"))) inline __m128i LoadLane(const BYTE* q, __m128i order) {
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)), order);
}

__attribute__((target("pclmul,ssse3,sse4.1"))) inline __m128i KeyOf(const FoldKey& k) {
    return _mm_set_epi64x(static_cast<long long>(k.hi), static_cast<long long>(k.lo));
}

// words >= 16.
__attribute__((target("pclmul,ssse3,sse4.1"))) DWORD FoldWords(DWORD crc, const BYTE* p, size_t words, bool swap) {
    // Byte j of the lane comes from byte order[j] of memory: the stream order reversed (swap), or
    // the words reversed with their bytes left as the processor reads them.
    const __m128i order = swap ? _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15)
                               : _mm_set_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    size_t bytes = words * 4;
    __m128i x0 = _mm_xor_si128(LoadLane(p, order), _mm_set_epi32(static_cast<int>(crc), 0, 0, 0));
    __m128i x1 = LoadLane(p + 16, order), x2 = LoadLane(p + 32, order), x3 = LoadLane(p + 48, order);
    p += 64;
    bytes -= 64;
    const __m128i k512 = KeyOf(kFold512);
    for (; bytes >= 64; bytes -= 64, p += 64) {
        x0 = _mm_xor_si128(Fold(x0, k512), LoadLane(p, order));
        x1 = _mm_xor_si128(Fold(x1, k512), LoadLane(p + 16, order));
        x2 = _mm_xor_si128(Fold(x2, k512), LoadLane(p + 32, order));
        x3 = _mm_xor_si128(Fold(x3, k512), LoadLane(p + 48, order));
    }
    __m128i x = _mm_xor_si128(_mm_xor_si128(Fold(x0, KeyOf(kFold384)), Fold(x1, KeyOf(kFold256))),
                              _mm_xor_si128(Fold(x2, KeyOf(kFold128)), x3));
    const __m128i k128 = KeyOf(kFold128);
    for (; bytes >= 16; bytes -= 16, p += 16) x = _mm_xor_si128(Fold(x, k128), LoadLane(p, order));

    DWORD c = 0;
    c = StepWord(c ^ static_cast<DWORD>(_mm_extract_epi32(x, 3)));
    c = StepWord(c ^ static_cast<DWORD>(_mm_extract_epi32(x, 2)));
    c = StepWord(c ^ static_cast<DWORD>(_mm_extract_epi32(x, 1)));
    c = StepWord(c ^ static_cast<DWORD>(_mm_extract_epi32(x, 0)));
    return TableWords(c, p, bytes / 4, swap);
}

bool HasClmul() {
    static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3") &&
                            __builtin_cpu_supports("sse4.1");
    return has;
}

#endif

DWORD Words(DWORD crc, const BYTE* p, size_t words, bool swap) {
#ifdef PEX_CRC_CLMUL
    if (words >= 16 && HasClmul()) return FoldWords(crc, p, words, swap);
#endif
    return TableWords(crc, p, words, swap);
}

}  // namespace

DWORD Crc32Word(DWORD crc, DWORD word) { return StepWord(crc ^ word); }

DWORD Crc32Buffer(const DWORD* buffer, DWORD byteCount, DWORD seed, BOOL swap) {
    if (!buffer || byteCount == 0 || byteCount % 4 != 0) return 0;
    const BYTE* p = reinterpret_cast<const BYTE*>(buffer);
    const DWORD words = byteCount / 4;
    DWORD crc = seed;
    for (DWORD done = 0; done < words; done += kWordsPerDot) {
        std::fputc('.', stdout);
        const DWORD n = std::min(kWordsPerDot, words - done);
        crc = Words(crc, p + static_cast<size_t>(done) * 4, n, swap == 1);
    }
    std::fputc('\n', stdout);
    return crc;
}

DWORD Crc32File(const CString& path, DWORD seed, BOOL swap) {
    FILE* fp = platform::OpenFile(path, "rb");
    if (!fp) return seed;
    struct stat st;
    if (::fstat(::fileno(fp), &st) != 0 || st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > 0xFFFFFFFCull) {
        std::fclose(fp);
        return seed;
    }
    const size_t length = static_cast<size_t>(st.st_size);
    std::vector<DWORD> words;
    try {
        words.assign((length + 3) / 4, 0);
    } catch (const std::bad_alloc&) {
        std::fclose(fp);
        return seed;
    }
    const size_t got = length ? std::fread(words.data(), 1, length, fp) : 0;
    std::fclose(fp);
    if (got < length) return seed;
    return Crc32Buffer(words.data(), static_cast<DWORD>(words.size() * 4), seed, swap);
}
