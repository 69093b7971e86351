// SDRAM model: memcpy on the healthy path; address translation, stuck bits and soft errors when faulted.
#include "sim/sdram.h"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>
#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/vector_intrinsics.h"

namespace sim {

namespace {

// Writes at least this long stream past the cache: the cells are not read again soon, and a
// cached store would first read each line it fills.
constexpr size_t kStreamBytes = size_t{256} << 10;
// A range read or handed out last, no longer than this, is still in the cache when it is written
// next: cached stores then cost no extra reads, while streaming stores would first evict its lines.
constexpr size_t kWarmBytes = size_t{1} << 20;
// Large writes fault the cells in a block at a time: one call maps a block's pages for a fraction
// of what a page fault for each of them costs. Small writes leave the pages to fault one by one, so
// sparse writes (the address tests') do not make the whole memory resident.
constexpr uint64_t kPopulateBlock = uint64_t{2} << 20;
constexpr size_t kPopulateFrom = size_t{256} << 10;
// A faulted window is compared with its record a block at a time: most blocks are unchanged.
constexpr size_t kDiffBytes = 256;

uint8_t* MapAnonymous(uint64_t size) {
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
}

#if defined(__x86_64__)
// Whole 256-byte steps into 64-byte aligned cells, each word ANDed with mask, the stores past the
// cache; the source is asked for ahead of need.
__attribute__((target("avx512f"))) void StreamWide(uint8_t* to, const uint8_t* from, size_t len, uint32_t mask) {
    constexpr size_t kAhead = 2048;
    const __m512i keep = _mm512_set1_epi32(static_cast<int>(mask));
    for (size_t i = 0; i < len; i += 256)
        for (size_t k = i; k < i + 256; k += 64) {
            _mm_prefetch(reinterpret_cast<const char*>(from + k + kAhead), _MM_HINT_T0);
            _mm512_stream_si512(reinterpret_cast<__m512i*>(to + k), _mm512_and_si512(_mm512_loadu_si512(from + k), keep));
        }
    _mm_sfence();
}
#endif

}  // namespace

#if defined(__x86_64__) && defined(__GNUC__)
#define PEX_AVX2_WORDS 1
namespace {

// CopyWords' whole 32-byte vectors from byte i on, four at a time where the stores stream; answers
// where it stopped. Twice SSE2's width takes the copy as far again towards the memory's own rate.
__attribute__((target("avx2"))) size_t CopyWordVectors(uint8_t* to, const uint8_t* from, size_t i, size_t len,
                                                      uint32_t mask, bool stream) {
    const __m256i m = _mm256_set1_epi32(static_cast<int>(mask));
    if (stream && reinterpret_cast<uintptr_t>(to + i) % 32 == 0) {
        for (; i + 128 <= len; i += 128) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i + 32));
            const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i + 64));
            const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i + 96));
            _mm256_stream_si256(reinterpret_cast<__m256i*>(to + i), _mm256_and_si256(a, m));
            _mm256_stream_si256(reinterpret_cast<__m256i*>(to + i + 32), _mm256_and_si256(b, m));
            _mm256_stream_si256(reinterpret_cast<__m256i*>(to + i + 64), _mm256_and_si256(c, m));
            _mm256_stream_si256(reinterpret_cast<__m256i*>(to + i + 96), _mm256_and_si256(d, m));
        }
        _mm_sfence();
    }
    for (; i + 32 <= len; i += 32) {
        const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + i), _mm256_and_si256(w, m));
    }
    return i;
}

}  // namespace
#endif

void CopyWords(uint8_t* to, const uint8_t* from, size_t len, uint32_t mask, bool stream) {
#if defined(__x86_64__)
    // 64 bytes a store where the CPU has them and the cells allow.
    static const bool wide = __builtin_cpu_supports("avx512f");
    if (stream && wide && reinterpret_cast<uintptr_t>(to) % 64 == 0 && len >= 256) {
        const size_t n = len & ~size_t{255};
        StreamWide(to, from, n, mask);
        to += n;
        from += n;
        len -= n;
    }
#endif
    size_t i = 0;
    auto word = [&] {
        uint32_t w;
        std::memcpy(&w, from + i, 4);
        w &= mask;
        std::memcpy(to + i, &w, 4);
        i += 4;
    };
#ifdef PEX_AVX2_WORDS
    if (platform::HasAvx2()) {
        while (i + 4 <= len && reinterpret_cast<uintptr_t>(to + i) % 32) word();
        i = CopyWordVectors(to, from, i, len, mask, stream);
    }
#endif
#ifdef __SSE2__
    while (i + 4 <= len && reinterpret_cast<uintptr_t>(to + i) % 16) word();
    const __m128i m = _mm_set1_epi32(static_cast<int>(mask));
    if (stream && reinterpret_cast<uintptr_t>(to + i) % 16 == 0) {
        for (; i + 64 <= len; i += 64)
            for (size_t k = 0; k < 64; k += 16) {
                const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + k));
                _mm_stream_si128(reinterpret_cast<__m128i*>(to + i + k), _mm_and_si128(w, m));
            }
        _mm_sfence();
    } else {
        for (; i + 16 <= len; i += 16) {
            const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_and_si128(w, m));
        }
    }
#else
    (void)stream;
#endif
    while (i + 4 <= len) word();
    if (i < len) std::memcpy(to + i, from + i, len - i);
}

SdramModel::SdramModel(uint64_t size) : m_size(size) {
    if (size) m_cells = MapAnonymous(size);
    if (!m_cells) m_size = 0;
    m_populated.assign(static_cast<size_t>((m_size + kPopulateBlock - 1) / kPopulateBlock), false);
}

void SdramModel::Populate(uint64_t addr, size_t len) {
#ifdef MADV_POPULATE_WRITE
    if (len < kPopulateFrom) return;
    for (uint64_t b = addr / kPopulateBlock; b * kPopulateBlock < addr + len; ++b) {
        if (m_populated[static_cast<size_t>(b)]) continue;
        m_populated[static_cast<size_t>(b)] = true;
        const uint64_t from = b * kPopulateBlock, n = std::min(kPopulateBlock, m_size - from);
        // Without it (an older kernel) the pages fault in as the write reaches them.
        (void)madvise(m_cells + from, static_cast<size_t>(n), MADV_POPULATE_WRITE);
    }
#else
    (void)addr, (void)len;
#endif
}

SdramModel::~SdramModel() {
    if (m_cells) munmap(m_cells, m_size);
    if (m_view) munmap(m_view, m_size);
}

void SdramModel::SetFaults(const std::vector<SdramStuckBit>& stuck, const std::vector<SdramAlias>& alias,
                           const std::vector<SdramFlips>& flips) {
    Commit();
    m_stuck = stuck;
    m_alias = alias;
    m_flips = flips;
    m_flipRng.clear();
    m_untilFlip.clear();
    for (const auto& f : m_flips) {
        m_flipRng.emplace_back(f.seed);
        m_untilFlip.push_back(0);
        m_untilFlip.back() = NextGap(f);
    }
    m_runShift = 63;
    m_aliasLines = 0;
    for (const auto& a : m_alias) {
        m_aliasLines |= uint64_t{1} << a.line;
        m_runShift = std::min(m_runShift, a.line);
        if (a.source >= 0) m_runShift = std::min(m_runShift, a.source);
    }
    UpdateFaulted();
}

void SdramModel::UpdateFaulted() {
    m_faulted = !m_stuck.empty() || !m_alias.empty() || !m_flips.empty() || !m_timingOk;
    if (m_faulted && !m_view && m_size) m_view = MapAnonymous(m_size);
    if (!m_faulted) {
        // Healthy again: new windows are the cells themselves; the old views are no longer kept.
        m_pending = false;
        m_snapshot.clear();
        m_mapped.clear();
    }
}

void SdramModel::SetTimingMargin(bool ok) {
    if (ok == m_timingOk) return;
    Commit();  // a window handed out under the old mode reaches the cells first
    m_timingOk = ok;
    UpdateFaulted();
}

void SdramModel::ApplyTimingErrors(uint8_t* buf, uint64_t phys, size_t len) {
    const uint64_t read = ++m_timingReads;
    for (uint64_t w = (phys + 3) & ~uint64_t{3}; w + 4 <= phys + len; w += 4) {
        // splitmix64 of the word address and the read number
        uint64_t h = (w >> 2) ^ (read << 40);
        h += 0x9E3779B97F4A7C15ull;
        h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ull;
        h = (h ^ (h >> 27)) * 0x94D049BB133111EBull;
        h ^= h >> 31;
        if ((h & 7) != 0) continue;
        const unsigned bit = static_cast<unsigned>(h >> 3) & 31;
        buf[w - phys + bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    }
}

size_t SdramModel::Clip(uint64_t addr, size_t len) const {
    if (addr >= m_size) return 0;
    return static_cast<size_t>(std::min<uint64_t>(len, m_size - addr));
}

uint64_t SdramModel::Translate(uint64_t addr) const {
    uint64_t phys = addr;
    for (const auto& a : m_alias) {
        const uint64_t bit = a.source >= 0 ? (addr >> a.source) & 1 : static_cast<uint64_t>(a.value);
        phys = (phys & ~(uint64_t{1} << a.line)) | (bit << a.line);
    }
    return phys;
}

uint64_t SdramModel::RunEnd(uint64_t addr) const {
    if (m_runShift >= 63) return UINT64_MAX;
    const uint64_t run = uint64_t{1} << m_runShift;
    return (addr | (run - 1)) + 1;
}

uint64_t SdramModel::NextGap(const SdramFlips& f) {
    auto& rng = m_flipRng[static_cast<size_t>(&f - m_flips.data())];
    if (f.rate >= 1.0) return 0;
    // Geometric gap between flipped words, computed here so that a seed means the same on every platform.
    const double u = (static_cast<double>(rng() >> 11) + 1.0) * (1.0 / 9007199254740992.0);
    const double gap = std::floor(std::log(u) / std::log1p(-f.rate));
    return gap > 1e18 ? UINT64_MAX : static_cast<uint64_t>(gap);
}

void SdramModel::ApplyStuck(uint8_t* buf, uint64_t phys, size_t len) const {
    const uint64_t end = phys + len;
    for (const auto& s : m_stuck) {
        const uint64_t lo = std::max(phys, s.from), hi = std::min(end, s.to);
        if (lo >= hi) continue;
        const uint64_t byteInWord = static_cast<uint64_t>(s.bit / 8);
        const uint8_t mask = static_cast<uint8_t>(1u << (s.bit % 8));
        for (uint64_t w = lo & ~uint64_t{3}; w < hi; w += 4) {
            const uint64_t b = w + byteInWord;
            if (b < lo || b >= hi) continue;
            uint8_t& cell = buf[b - phys];
            cell = s.value ? static_cast<uint8_t>(cell | mask) : static_cast<uint8_t>(cell & ~mask);
        }
    }
}

void SdramModel::ApplyFlips(uint8_t* buf, uint64_t phys, size_t len) {
    const uint64_t end = phys + len;
    for (size_t i = 0; i < m_flips.size(); ++i) {
        const auto& f = m_flips[i];
        const uint64_t lo = (std::max(phys, f.from) + 3) & ~uint64_t{3};
        const uint64_t hi = std::min(end, f.to) & ~uint64_t{3};
        if (lo >= hi) continue;
        uint64_t words = (hi - lo) / 4, at = 0;
        while (m_untilFlip[i] < words - at) {
            at += m_untilFlip[i];
            const unsigned bit = static_cast<unsigned>(m_flipRng[i]() & 31);
            buf[lo + 4 * at + bit / 8 - phys] ^= static_cast<uint8_t>(1u << (bit % 8));
            ++at;
            m_untilFlip[i] = NextGap(f);
            if (at >= words) break;
        }
        if (at < words) m_untilFlip[i] -= words - at;
    }
}

void SdramModel::ReadFaulted(uint64_t addr, uint8_t* dst, size_t len) {
    while (len) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(len, RunEnd(addr) - addr));
        const uint64_t phys = Translate(addr);
        std::memcpy(dst, m_cells + phys, n);
        ApplyStuck(dst, phys, n);
        ApplyFlips(dst, phys, n);
        if (!m_timingOk) ApplyTimingErrors(dst, phys, n);
        addr += n;
        dst += n;
        len -= n;
    }
}

void SdramModel::WriteFaulted(uint64_t addr, const uint8_t* src, size_t len, bool refresh) {
    const uint64_t start = addr;
    const size_t all = len;
    while (len) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(len, RunEnd(addr) - addr));
        const uint64_t phys = Translate(addr);
        std::memcpy(m_cells + phys, src, n);
        ApplyStuck(m_cells + phys, phys, n);
        addr += n;
        src += n;
        len -= n;
    }
    // Only after the whole write: a later part of it may share cells with an earlier one, and the
    // view it comes from must not change under it.
    if (refresh) RefreshImages(start, all);
}

void SdramModel::RefreshImages(uint64_t addr, size_t len) {
    if (m_mapped.empty()) return;
    ForEachImage(addr, len, [this](uint64_t lo, uint64_t hi) { RefreshView(lo, hi); });
}

template <class Fn>
void SdramModel::ForEachImage(uint64_t addr, size_t len, Fn&& fn) const {
    while (len) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(len, RunEnd(addr) - addr));
        // Addresses that share these cells differ from addr only in lines an alias fault drives.
        const uint64_t phys = Translate(addr);
        for (uint64_t flip = m_aliasLines;; flip = (flip - 1) & m_aliasLines) {
            const uint64_t image = addr ^ flip;
            if (image < m_size && Translate(image) == phys) fn(image, std::min<uint64_t>(image + n, m_size));
            if (!flip) break;
        }
        addr += n;
        len -= n;
    }
}

void SdramModel::RefreshView(uint64_t addr, uint64_t end) {
    auto it = m_mapped.upper_bound(addr);
    if (it != m_mapped.begin()) --it;
    for (; it != m_mapped.end() && it->first < end; ++it) {
        const uint64_t lo = std::max(addr, it->first), hi = std::min(end, it->second);
        if (lo >= hi) continue;
        ReadFaulted(lo, m_view + lo, static_cast<size_t>(hi - lo));
        if (!m_pending) continue;
        // The latest window's record moves with it, so the refreshed bytes do not count as the host's.
        const uint64_t wlo = std::max(lo, m_pendingAddr), whi = std::min(hi, m_pendingAddr + m_snapshot.size());
        if (wlo < whi) std::memcpy(m_snapshot.data() + (wlo - m_pendingAddr), m_view + wlo, static_cast<size_t>(whi - wlo));
    }
}

void SdramModel::AddMapped(uint64_t addr, uint64_t end) {
    if (addr >= end) return;
    auto it = m_mapped.upper_bound(addr);
    if (it != m_mapped.begin() && std::prev(it)->second >= addr) --it;
    while (it != m_mapped.end() && it->first <= end) {
        addr = std::min(addr, it->first);
        end = std::max(end, it->second);
        it = m_mapped.erase(it);
    }
    m_mapped.emplace(addr, end);
}

size_t SdramModel::Read(uint64_t addr, void* dst, size_t len) {
    if (m_beforeRead) m_beforeRead();
    const size_t n = Clip(addr, len);
    if (!n) return 0;
    NoteWarm(addr, n);
    if (!m_faulted) {
        std::memcpy(dst, m_cells + addr, n);
        return n;
    }
    CommitRange(addr, n);
    ReadFaulted(addr, static_cast<uint8_t*>(dst), n);
    return n;
}

size_t SdramModel::Write(uint64_t addr, const void* src, size_t len) {
    const size_t n = Clip(addr, len);
    if (!n) return 0;
    Populate(addr, n);
    if (!m_faulted) {
        const bool warm = addr >= m_warmAddr && addr + n <= m_warmEnd;
        if (n >= kStreamBytes && !warm) CopyWords(m_cells + addr, static_cast<const uint8_t*>(src), n, ~0u, true);
        else std::memcpy(m_cells + addr, src, n);
        return n;
    }
    CommitRange(addr, n);
    WriteFaulted(addr, static_cast<const uint8_t*>(src), n);
    return n;
}

uint8_t* SdramModel::Map(uint64_t addr, size_t len) {
    if (!m_cells || addr > m_size || len > m_size - addr) return nullptr;
    NoteWarm(addr, len);
    Populate(addr, len);
    if (!m_faulted) return m_cells + addr;
    Commit();
    if (!m_view) return nullptr;
    ReadFaulted(addr, m_view + addr, len);
    AddMapped(addr, addr + len);
    m_snapshot.assign(m_view + addr, m_view + addr + len);
    m_pending = true;
    m_pendingAddr = addr;
    return m_view + addr;
}

const uint8_t* SdramModel::ReadView(uint64_t addr, size_t len) {
    if (!m_cells || m_faulted || addr > m_size || len > m_size - addr) return nullptr;
    // The DMA's writes so far land first, as before a Read; they never set faults, so the cells
    // are still what a Read would copy.
    if (m_beforeRead) m_beforeRead();  // a view's bring-up
    NoteWarm(addr, len);
    return m_cells + addr;
}

void SdramModel::NoteWarm(uint64_t addr, size_t len) {
    m_warmAddr = addr;
    m_warmEnd = len <= kWarmBytes ? addr + len : addr;
}

void SdramModel::Commit() {
    if (!m_pending) return;
    std::vector<std::pair<size_t, size_t>> changed;
    FindChanged(0, m_snapshot.size(), changed);
    Land(changed);
}

void SdramModel::CommitRange(uint64_t addr, size_t len) {
    if (!m_pending) return;
    // Only the latest window's bytes on the cells this access reaches: the rest waits for the
    // flush, a new window or an access that reaches it, and costs nothing meanwhile.
    const uint64_t end = m_pendingAddr + m_snapshot.size();
    std::vector<std::pair<size_t, size_t>> changed;
    ForEachImage(addr, len, [&](uint64_t lo, uint64_t hi) {
        lo = std::max(lo, m_pendingAddr);
        hi = std::min(hi, end);
        if (lo < hi) FindChanged(static_cast<size_t>(lo - m_pendingAddr), static_cast<size_t>(hi - m_pendingAddr), changed);
    });
    Land(changed);
}

void SdramModel::FindChanged(size_t from, size_t to, std::vector<std::pair<size_t, size_t>>& changed) const {
    const uint8_t* view = m_view + m_pendingAddr;
    const uint8_t* was = m_snapshot.data();
    size_t i = from;
    while (i < to) {
        if (i % kDiffBytes == 0 && to - i >= kDiffBytes && std::memcmp(view + i, was + i, kDiffBytes) == 0) {
            i += kDiffBytes;
            continue;
        }
        if (view[i] == was[i]) {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < to && view[j] != was[j]) ++j;
        changed.emplace_back(i, j);
        i = j;
    }
}

void SdramModel::Land(const std::vector<std::pair<size_t, size_t>>& changed) {
    // The window stays the latest: what the host writes through it later lands at a later commit.
    // Only the bytes changed since the last one are written, so unchanged cells keep what they
    // hold; all of them land before any view is read again (see WriteFaulted).
    const uint8_t* view = m_view + m_pendingAddr;
    for (const auto& [from, to] : changed) WriteFaulted(m_pendingAddr + from, view + from, to - from, false);
    for (const auto& [from, to] : changed) RefreshImages(m_pendingAddr + from, to - from);
}

}  // namespace sim
