// Keyer and FPGA-pair register models, their CRC registers and the PPP routes through them.
#include "sim/video_fpgas.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>
#include <vector>

#include "sim/sdram.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define PEX_VIDEO_CRC_CLMUL 1
#endif

namespace sim {

namespace {

static_assert(std::endian::native == std::endian::little, "words are carried as host-order bytes");

constexpr uint32_t kPoly = 0x04C11DB7;

// (value * x^n) mod the generator, value a polynomial of degree below 32.
constexpr uint32_t MulXPow(uint32_t value, int n) {
    for (int i = 0; i < n; ++i) value = (value & 0x80000000u) ? (value << 1) ^ kPoly : value << 1;
    return value;
}

// (a * b) mod the generator.
constexpr uint32_t MulMod(uint32_t a, uint32_t b) {
    uint32_t r = 0;
    for (int i = 31; i >= 0; --i) r = MulXPow(r, 1) ^ ((b >> i & 1) ? a : 0);
    return r;
}

// Each word gives 26 data bits: bits 15-3 of its low half, then bits 31-19 of its high half. Four
// words (104 bits D) fed into register r give (r * x^104 + D * x^32) mod G; with H the first 32 bits
// of D and R the other 72 that is ((r ^ H) * x^104 + R * x^32) mod G: four lookups that depend on
// the register and nine that do not.
struct CrcTables {
    std::array<std::array<uint32_t, 256>, 4> reg{};    // b * x^(8j + 104)
    std::array<std::array<uint32_t, 256>, 16> rest{};  // b * x^(8k + 32); k >= 9 only to reduce 128 bits
    std::array<uint32_t, 64> pow2{};                   // x^(2^k)

    static constexpr std::array<uint32_t, 256> Table(int shift) {
        std::array<uint32_t, 256> t{};
        uint32_t bit[8] = {};
        for (int i = 0; i < 8; ++i) bit[i] = MulXPow(1u << i, shift);
        for (uint32_t b = 1; b < 256; ++b) t[b] = t[b & (b - 1)] ^ bit[std::countr_zero(b)];
        return t;
    }
    constexpr CrcTables() {
        for (int j = 0; j < 4; ++j) reg[j] = Table(8 * j + 104);
        for (int k = 0; k < 16; ++k) rest[k] = Table(8 * k + 32);
        pow2[0] = 2;
        for (int k = 1; k < 64; ++k) pow2[k] = MulMod(pow2[k - 1], pow2[k - 1]);
    }
};

constexpr CrcTables kCrc;

inline uint32_t Load(const uint8_t* p) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

inline uint32_t Units(uint32_t w) { return (w & 0xFFFF) >> 3 << 13 | w >> 19; }

// Four words at p into the register.
inline uint32_t FeedStep(uint32_t crc, const uint8_t* p) {
    const uint32_t d0 = Units(Load(p)), d1 = Units(Load(p + 4)), d2 = Units(Load(p + 8)), d3 = Units(Load(p + 12));
    const uint64_t lo = uint64_t{d1 & 0xFFF} << 52 | uint64_t{d2} << 26 | d3;
    const uint32_t v = crc ^ (d0 << 6 | d1 >> 20);
    uint32_t r = kCrc.rest[8][d1 >> 12 & 0xFF];
    for (int k = 0; k < 8; ++k) r ^= kCrc.rest[k][lo >> (8 * k) & 0xFF];
    return r ^ kCrc.reg[0][v & 0xFF] ^ kCrc.reg[1][v >> 8 & 0xFF] ^ kCrc.reg[2][v >> 16 & 0xFF] ^ kCrc.reg[3][v >> 24];
}

// One word: (r * x^26 + d * x^32) mod G = (r << 26) ^ (((r >> 6) ^ d) * x^32 mod G).
inline uint32_t FeedWord(uint32_t crc, uint32_t w) {
    const uint32_t v = (crc >> 6) ^ Units(w);
    return crc << 26 ^ kCrc.rest[0][v & 0xFF] ^ kCrc.rest[1][v >> 8 & 0xFF] ^ kCrc.rest[2][v >> 16 & 0xFF] ^
           kCrc.rest[3][v >> 24];
}

uint32_t FeedSerial(uint32_t crc, const uint8_t* p, size_t words) {
    const uint8_t* end = p + 4 * (words & ~size_t{3});
    for (; p < end; p += 16) crc = FeedStep(crc, p);
    for (size_t i = 0; i < (words & 3); ++i, p += 4) crc = FeedWord(crc, Load(p));
    return crc;
}

// x^(26 words) mod G, the factor that carries a register past that many words. Callers feed runs
// of the same lengths over and over, so the last few answers are kept.
uint32_t Shift(uint64_t words) {
    thread_local std::array<std::pair<uint64_t, uint32_t>, 4> cache{};
    thread_local unsigned next = 0;
    for (const auto& [n, x] : cache)
        if (n == words && x) return x;
    uint32_t x = 1;
    const uint64_t bits = 26 * words;
    for (int k = 0; k < 64; ++k)
        if (bits >> k & 1) x = MulMod(x, kCrc.pow2[k]);
    cache[next++ % cache.size()] = {words, x};
    return x;
}

#ifdef PEX_VIDEO_CRC_CLMUL
bool HasClmul() {
    static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return has;
}

// The 104 data bits of four words as one 128-bit number, the first unit most significant.
__attribute__((target("pclmul,sse4.1"))) inline __m128i Chunk(const uint8_t* p) {
    const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // Lanes d0..d3 (Units of each word), then e = d0 << 26 | d1 and d2 << 26 | d3 in the two halves.
    const __m128i d = _mm_or_si128(_mm_slli_epi32(_mm_srli_epi32(_mm_and_si128(w, _mm_set1_epi32(0xFFFF)), 3), 13),
                                   _mm_srli_epi32(w, 19));
    const __m128i e =
        _mm_or_si128(_mm_slli_epi64(_mm_and_si128(d, _mm_set1_epi64x(0xFFFFFFFF)), 26), _mm_srli_epi64(d, 32));
    // D = e0 * 2^52 + e1: low half e1 | e0 << 52, high half e0 >> 12.
    const __m128i low = _mm_or_si128(_mm_shuffle_epi32(e, 0x4E), _mm_slli_epi64(e, 52));
    return _mm_unpacklo_epi64(low, _mm_srli_epi64(e, 12));
}

// (a * x^32) mod G for a 128-bit a.
__attribute__((target("pclmul,sse4.1"))) inline uint32_t Reduce(__m128i a) {
    const uint64_t lo = static_cast<uint64_t>(_mm_cvtsi128_si64(a));
    const uint64_t hi = static_cast<uint64_t>(_mm_extract_epi64(a, 1));
    uint32_t r = 0;
    for (int k = 0; k < 8; ++k) r ^= kCrc.rest[k][lo >> (8 * k) & 0xFF] ^ kCrc.rest[k + 8][hi >> (8 * k) & 0xFF];
    return r;
}

// Four runs side by side, each in a 128-bit number A kept congruent to its data so far modulo G:
// A * x^104 + D with A = Ah * x^64 + Al is Ah * (x^168 mod G) + Al * (x^104 mod G) + D, below 2^104.
__attribute__((target("pclmul,sse4.1"))) void Crc0Parts(const uint8_t* p, size_t part, uint32_t out[4]) {
    constexpr uint32_t kX168 = MulXPow(1, 168), kX104 = MulXPow(1, 104);
    const __m128i key = _mm_set_epi64x(kX168, kX104);
    __m128i a[4] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
    for (size_t i = 0; i < 4 * part; i += 16)
        for (int s = 0; s < 4; ++s) {
            const __m128i folded = _mm_xor_si128(_mm_clmulepi64_si128(a[s], key, 0x11),
                                                 _mm_clmulepi64_si128(a[s], key, 0x00));
            a[s] = _mm_xor_si128(folded, Chunk(p + 4 * part * s + i));
        }
    for (int s = 0; s < 4; ++s) out[s] = Reduce(a[s]);
}

// GCC 12's AVX-512 intrinsics start their results from an undefined vector, which it then reports.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

bool HasWideClmul() {
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("vpclmulqdq");
    return has;
}

// Chunk on four chunks at once, one in each 128-bit lane.
__attribute__((target("avx512f,vpclmulqdq"))) inline __m512i Chunks(__m512i w) {
    const __m512i d = _mm512_or_si512(_mm512_slli_epi32(_mm512_srli_epi32(_mm512_and_si512(w, _mm512_set1_epi32(0xFFFF)), 3), 13),
                                      _mm512_srli_epi32(w, 19));
    const __m512i e = _mm512_or_si512(_mm512_slli_epi64(_mm512_and_si512(d, _mm512_set1_epi64(0xFFFFFFFF)), 26),
                                      _mm512_srli_epi64(d, 32));
    const __m512i low = _mm512_or_si512(_mm512_shuffle_epi32(e, _MM_PERM_BADC), _mm512_slli_epi64(e, 52));
    return _mm512_unpacklo_epi64(low, _mm512_srli_epi64(e, 12));
}

// Crc0Parts where the CPU multiplies four lanes at a time (part a multiple of 16 words). Lane j of a
// run's accumulator takes chunks j, j + 4, ...: A * x^416 + D, A = Ah * x^64 + Al, is Ah * (x^480
// mod G) + Al * (x^416 mod G) + D; the lanes then join as L0 * x^312 + L1 * x^208 + L2 * x^104 + L3.
// With kCopy the words, ANDed with mask, are also stored at the same place from to (64-byte
// aligned), past the cache.
template <bool kCopy>
__attribute__((target("avx512f,vpclmulqdq,pclmul,sse4.1"))) void Crc0PartsWide(const uint8_t* p, size_t part, uint32_t out[4],
                                                                               uint8_t* to = nullptr, uint32_t mask = ~0u) {
    constexpr uint32_t kX480 = MulXPow(1, 480), kX416 = MulXPow(1, 416);
    constexpr uint32_t kJoin[4] = {MulXPow(1, 312), MulXPow(1, 208), MulXPow(1, 104), 1};
    constexpr size_t kPrefetchAhead = 1024;
    const __m512i key = _mm512_broadcast_i32x4(_mm_set_epi64x(kX480, kX416));
    const __m512i keep = _mm512_set1_epi32(static_cast<int>(mask));
    __m512i a[4] = {_mm512_setzero_si512(), _mm512_setzero_si512(), _mm512_setzero_si512(), _mm512_setzero_si512()};
    for (size_t i = 0; i < 4 * part; i += 64)
        for (int s = 0; s < 4; ++s) {
            const size_t at = 4 * part * s + i;
            // The words often come from memory, four runs at once: asked for ahead of need.
            _mm_prefetch(reinterpret_cast<const char*>(p + at + kPrefetchAhead), _MM_HINT_T0);
            const __m512i w = _mm512_loadu_si512(p + at);
            if constexpr (kCopy) _mm512_stream_si512(reinterpret_cast<__m512i*>(to + at), _mm512_and_si512(w, keep));
            const __m512i folded = _mm512_xor_si512(_mm512_clmulepi64_epi128(a[s], key, 0x11),
                                                    _mm512_clmulepi64_epi128(a[s], key, 0x00));
            a[s] = _mm512_xor_si512(folded, Chunks(w));
        }
    if constexpr (kCopy) _mm_sfence();
    for (int s = 0; s < 4; ++s) {
        const __m128i lanes[4] = {_mm512_extracti32x4_epi32(a[s], 0), _mm512_extracti32x4_epi32(a[s], 1),
                                  _mm512_extracti32x4_epi32(a[s], 2), _mm512_extracti32x4_epi32(a[s], 3)};
        uint32_t crc = 0;
        for (int j = 0; j < 4; ++j) crc ^= MulMod(Reduce(lanes[j]), kJoin[j]);
        out[s] = crc;
    }
}
#pragma GCC diagnostic pop
#endif

// The register over four runs of part words from p (registers c) and the left words after them.
uint32_t JoinParts(const uint32_t c[4], size_t part, const uint8_t* p, size_t left) {
    const uint32_t x = Shift(part);
    const uint32_t crc = MulMod(MulMod(MulMod(c[0], x) ^ c[1], x) ^ c[2], x) ^ c[3];
    return MulMod(crc, Shift(left)) ^ FeedSerial(0, p + 16 * part, left);
}

// The register fed from 0. Feeding is linear: seed s over words W gives s * Shift(W) ^ Crc0(W), and
// a run split in two gives Crc0(A) * Shift(B) ^ Crc0(B). Where the CPU multiplies without carries,
// long runs are cut into four parts fed side by side.
uint32_t Crc0(const uint8_t* p, size_t words) {
#ifdef PEX_VIDEO_CRC_CLMUL
    if (words >= 256 && HasClmul()) {
        const bool wide = HasWideClmul();
        const size_t part = words / 4 & (wide ? ~size_t{15} : ~size_t{3});
        uint32_t c[4];
        if (wide) Crc0PartsWide<false>(p, part, c);
        else Crc0Parts(p, part, c);
        return JoinParts(c, part, p, words - 4 * part);
    }
#endif
    return FeedSerial(0, p, words);
}

// Crc0 of the words at from, which are also copied, ANDed with mask, to `to` (the stores past the
// cache; bytes after the last whole word as they are): one pass where the CPU multiplies four lanes
// at a time and `to` is 64-byte aligned, else a copy and a CRC pass.
uint32_t Crc0Into(uint8_t* to, const uint8_t* from, size_t bytes, uint32_t mask) {
    const size_t words = bytes / 4;
#ifdef PEX_VIDEO_CRC_CLMUL
    if (words >= 256 && HasClmul() && HasWideClmul() && reinterpret_cast<uintptr_t>(to) % 64 == 0) {
        const size_t part = words / 4 & ~size_t{15};
        uint32_t c[4];
        Crc0PartsWide<true>(from, part, c, to, mask);
        CopyWords(to + 16 * part, from + 16 * part, bytes - 16 * part, mask, true);
        return JoinParts(c, part, from, words - 4 * part);
    }
#endif
    CopyWords(to, from, bytes, mask, true);
    return Crc0(from, words);
}

// Moves each of n registers past words whose register fed from 0 is crc0.
void Advance(uint32_t* const* regs, int n, uint32_t crc0, size_t words) {
    const uint32_t x = Shift(words);
    for (int r = 0; r < n; ++r) *regs[r] = MulMod(*regs[r], x) ^ crc0;
}

// Feeds the same words to each of n registers.
void FeedAll(uint32_t* const* regs, int n, const uint8_t* p, size_t bytes) {
    const size_t words = bytes / 4;
    if (words < 64) {
        for (int r = 0; r < n; ++r) *regs[r] = FeedSerial(*regs[r], p, words);
        return;
    }
    Advance(regs, n, Crc0(p, words), words);
}

void XorWords(uint8_t* p, size_t bytes, uint32_t mask) {
    for (size_t i = 0; i + 4 <= bytes; i += 4) {
        uint32_t w = Load(p + i) ^ mask;
        std::memcpy(p + i, &w, 4);
    }
}

}  // namespace

uint32_t VideoCrcFeed(uint32_t crc, const uint8_t* words, size_t bytes) {
    uint32_t* reg = &crc;
    FeedAll(&reg, 1, words, bytes);
    return crc;
}

// One FPGA's register window. Unconfigured it answers all ones and ignores writes. A fresh
// configuration (the configuration port's count moving on) starts every register at 0, as the
// flip-flops of a newly loaded design do: controls, resets and CRC registers cleared, DDR passes
// not done. The DCM lock flags are not stored: they follow the clocks (RAM bits) while configured.
class VideoFpgas::Fpga : public RegisterBlock {
public:
    Fpga(int device, uint32_t base, uint32_t bytes, uint32_t dcmOffset, uint32_t dcmBits, uint32_t clockBits,
         const BoardConfig& config, ConfigPort& port, const std::function<uint32_t()>& ram)
        : m_device(device), m_base(base), m_dcmOffset(dcmOffset), m_dcmBits(dcmBits), m_clockBits(clockBits),
          m_port(port), m_ram(ram), m_words(bytes / 4, 0) {
        for (const DcmUnlocked& f : config.faults.dcmUnlocked)
            if (f.device == device && f.bit >= 0 && f.bit < 32) m_dcmBits &= ~(1u << f.bit);
    }

    // Configured, with its registers brought up to date with the latest configuration.
    bool Live() {
        if (!m_port.Configured(m_device)) return false;
        const uint32_t n = m_port.Configurations(m_device);
        if (n != m_seen) {
            m_seen = n;
            std::fill(m_words.begin(), m_words.end(), 0);
            Fresh();
        }
        return true;
    }
    uint32_t& Word(uint32_t offset) { return m_words[(offset - m_base) / 4]; }
    uint32_t Ram() const { return m_ram(); }
    uint32_t DcmFlags() const { return (Ram() & m_clockBits) == m_clockBits ? m_dcmBits : 0; }
    // Every DCM locks: a design whose clock managers do not lock moves no data and runs no DDR pass.
    bool Locked() const { return DcmFlags() == m_dcmMask; }

    uint32_t Read(uint32_t offset) override {
        if (!Live()) return 0xFFFFFFFF;
        if (offset == m_base + m_idOffset) return m_port.IdWord(m_device);
        if (offset == m_base + m_dcmOffset) return (Word(offset) & ~m_dcmMask) | DcmFlags();
        return Special(offset, Word(offset));
    }
    void Write(uint32_t offset, uint32_t value) override {
        if (!Live()) return;
        if (offset == m_base + m_dcmOffset) value &= ~m_dcmMask;
        if (!WriteSpecial(offset, value)) Word(offset) = value;
    }

protected:
    virtual void Fresh() {}
    virtual uint32_t Special(uint32_t, uint32_t stored) { return stored; }
    // Handles a write the window does not simply store; false: store it.
    virtual bool WriteSpecial(uint32_t, uint32_t) { return false; }

    const int m_device;
    const uint32_t m_base;
    uint32_t m_idOffset = 0;
    const uint32_t m_dcmOffset;
    uint32_t m_dcmMask = 0;  // the read-only lock flags
    uint32_t m_dcmBits;      // flags that lock (all but the faulty ones)
    const uint32_t m_clockBits;
    ConfigPort& m_port;
    const std::function<uint32_t()>& m_ram;

private:
    std::vector<uint32_t> m_words;
    uint32_t m_seen = 0;
};

// The keyer locks its DCMs on the clocks of RAM bits 0 and 2.
class VideoFpgas::Keyer : public Fpga {
public:
    Keyer(const BoardConfig& config, ConfigPort& port, const std::function<uint32_t()>& ram)
        : Fpga(0, kKeyerBase, kKeyerEnd - kKeyerBase, kKeyerDcm - kKeyerBase, kKeyerDcmLocked,
               kRamKeyerA | kRamKeyerB, config, port, ram) {
        m_idOffset = kKeyerId - kKeyerBase;
        m_dcmMask = kKeyerDcmLocked;
    }
};

// A pair FPGA locks its DCMs and runs its DDR passes on the clock of RAM bit 1.
class VideoFpgas::Pair : public Fpga {
public:
    Pair(int letter, const BoardConfig& config, ConfigPort& port, const std::function<uint32_t()>& ram)
        : Fpga(1 + letter, kPairBase[letter], kPairBytes, kPairDcm, kPairDcmLocked, kRamPair, config, port, ram) {
        m_idOffset = kPairId;
        m_dcmMask = kPairDcmLocked;
        for (const DdrInitFails& f : config.faults.ddrInitFails)
            if (f.device == m_device && (f.pass == 1 || f.pass == 2)) m_fails[f.pass - 1] = true;
    }

    bool DdrDone() { return m_done[0] && m_done[1]; }

protected:
    void Fresh() override { m_done[0] = m_done[1] = false; }
    uint32_t Special(uint32_t offset, uint32_t stored) override {
        const uint32_t o = offset - m_base;
        if (o == kDdrStatus[0] || o == kDdrStatusAlso) return m_done[0] ? kDdrDone : 0;
        if (o == kDdrStatus[1]) return m_done[1] ? kDdrDone : 0;
        return stored;
    }
    bool WriteSpecial(uint32_t offset, uint32_t value) override {
        const uint32_t o = offset - m_base;
        if (o == kDdrStatus[0] || o == kDdrStatusAlso || o == kDdrStatus[1]) return true;  // read-only
        for (int pass = 0; pass < 2; ++pass)
            if (o == kDdrStart[pass] && value == kDdrStartCode)
                m_done[pass] = Locked() && !m_fails[pass];
        return false;
    }

private:
    bool m_done[2] = {false, false};
    bool m_fails[2] = {false, false};
};

class VideoFpgas::Route : public VideoRoute {
public:
    Route(VideoFpgas& owner, int channel, const BoardConfig& config) : m_owner(owner), m_channel(channel) {
        const VideoPort port = channel ? VideoPort::PppB : VideoPort::PppA;
        for (const VideoPathCorrupt& f : config.faults.videoPathCorrupt) {
            if (f.port != port) continue;
            if (f.stage == VideoStageKind::Keyer) m_keyerMask ^= f.mask;
            if (f.stage == VideoStageKind::Pair) m_pairMask ^= f.mask;
        }
    }

    bool Open() override {
        Keyer& k = *m_owner.m_keyer;
        if (!k.Live() || !k.Locked()) return false;
        if (k.Word(kKeyerDcm) & (1u << (16 + m_channel))) return false;
        const uint32_t block = kChannelBlock[m_channel];
        const uint32_t two = k.Word(block + kControlTwo);
        if (two & kLoopback) return true;
        if (!(two & kPassthru) || (k.Word(block + kPortControl) & kPathOn) != kPathOn) return false;
        Pair& p = *m_owner.m_pair[m_channel];
        return p.Live() && p.Locked() && p.DdrDone() && !(p.Word(kPairBase[m_channel] + kPairDcm) & kPairReset);
    }

    // The registers take bits 15-3 of each half-word only.
    bool Watches(uint32_t mask) const override {
        return !m_keyerMask && !m_pairMask && (mask & kCrcBits) == kCrcBits;
    }

    bool CarryInto(uint8_t* to, const uint8_t* from, size_t len, uint32_t mask) override {
        if (!Watches(mask)) return false;
        Keyer& k = *m_owner.m_keyer;
        if (!k.Live()) return false;
        // Every register takes the same words (no fault between them): one pass feeds them all.
        uint32_t* regs[3];
        int n = 0;
        regs[n++] = &k.Word(kSecondCrc[m_channel]);
        Pair& p = *m_owner.m_pair[m_channel];
        if (!(k.Word(kChannelBlock[m_channel] + kControlTwo) & kLoopback) && p.Live())
            regs[n++] = &p.Word(kPairBase[m_channel] + kPairCrc);
        regs[n++] = &k.Word(kChannelBlock[m_channel] + kFirstCrc);
        Advance(regs, n, Crc0Into(to, from, len, mask), len / 4);
        return true;
    }

    void Carry(uint8_t* data, size_t len) override {
        Keyer& k = *m_owner.m_keyer;
        if (!k.Live()) return;
        const uint32_t block = kChannelBlock[m_channel];
        // Registers fed the same words go through the data together.
        uint32_t* group[3];
        int n = 0;
        auto feed = [&] {
            FeedAll(group, n, data, len);
            n = 0;
        };
        group[n++] = &k.Word(kSecondCrc[m_channel]);
        if (m_keyerMask) {
            feed();
            XorWords(data, len, m_keyerMask);
        }
        Pair& p = *m_owner.m_pair[m_channel];
        if (!(k.Word(block + kControlTwo) & kLoopback) && p.Live()) {
            group[n++] = &p.Word(kPairBase[m_channel] + kPairCrc);
            if (m_pairMask) {
                feed();
                XorWords(data, len, m_pairMask);
            }
        }
        group[n++] = &k.Word(block + kFirstCrc);
        feed();
    }

private:
    static constexpr uint32_t kCrcBits = 0xFFF8FFF8;
    VideoFpgas& m_owner;
    const int m_channel;
    uint32_t m_keyerMask = 0, m_pairMask = 0;
};

VideoFpgas::VideoFpgas(const BoardConfig& config, ConfigPort& port, std::function<uint32_t()> ramRegister)
    : m_ram(std::move(ramRegister)) {
    m_keyer = std::make_unique<Keyer>(config, port, m_ram);
    for (int c = 0; c < 2; ++c) {
        m_pair[c] = std::make_unique<Pair>(c, config, port, m_ram);
        m_route[c] = std::make_unique<Route>(*this, c, config);
    }
}

VideoFpgas::~VideoFpgas() = default;

void VideoFpgas::Attach(RegisterMap& map) {
    map.Add(kKeyerBase, kKeyerEnd, m_keyer.get());
    for (int c = 0; c < 2; ++c) map.Add(kPairBase[c], kPairBase[c] + kPairBytes, m_pair[c].get());
}

VideoRoute& VideoFpgas::PppRoute(int channel) { return *m_route[channel ? 1 : 0]; }

RegisterBlock* VideoFpgas::Block(uint32_t offset) {
    if (offset >= kKeyerBase && offset < kKeyerEnd) return m_keyer.get();
    for (int c = 0; c < 2; ++c)
        if (offset >= kPairBase[c] && offset < kPairBase[c] + kPairBytes) return m_pair[c].get();
    return nullptr;
}

uint32_t VideoFpgas::Read(uint32_t offset) {
    RegisterBlock* b = Block(offset & ~3u);
    return b ? b->Read(offset & ~3u) : 0;
}

void VideoFpgas::Write(uint32_t offset, uint32_t value) {
    if (RegisterBlock* b = Block(offset & ~3u)) b->Write(offset & ~3u, value);
}

}  // namespace sim
