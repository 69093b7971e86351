// Data pattern generators: shift-register sequence, count, circular file, solid colour and ramp.
#include "framework/pattern_generators.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <utility>

#include "platform/files.h"

static_assert(std::endian::native == std::endian::little,
              "pattern file words are little-endian and are copied as they lie in the file");

// ---- DataPatternGenerator ----

uint64_t DataPatternGenerator::Reset(int pass) {
    (void)pass;
    return SetValue(0);
}

void DataPatternGenerator::Fill(DWORD* out, size_t count) {
    if (!out) return;
    for (size_t i = 0; i < count; ++i) out[i] = Next();
}

// ---- LRS_Generator ----

namespace {

inline bool Parity(uint64_t v) { return (std::popcount(v) & 1) != 0; }

// n output bits of a register started at state, the first in bit n - 1 (n <= 64).
uint64_t OutputBits(uint64_t taps, uint64_t state, int n) {
    uint64_t bits = 0;
    for (int i = 0; i < n; ++i) {
        uint64_t fb = Parity(taps & state) ? 1 : 0;
        state = (state << 1) | fb;
        bits = (bits << 1) | fb;
    }
    return bits;
}

}  // namespace

LRS_Generator::LRS_Generator(DWORD tapsLow, DWORD tapsHigh) : m_wordTable(new DWORD[8 * 256]) {
    m_seedOffset = 1;
    m_seedStride = 1;
    SetTaps((static_cast<uint64_t>(tapsHigh) << 32) | tapsLow);
}

BOOL LRS_Generator::SetTaps(uint64_t taps) {
    m_taps = taps;
    m_width = 64;
    m_topBit = uint64_t{1} << 63;
    if (!(taps & m_topBit)) {
        do {
            --m_width;
            m_topBit >>= 1;
        } while (m_width > 0 && !(m_topBit & taps));
    }
    // No taps at all leave a register that only ever outputs zeros.
    m_mask = m_width == 0 ? 0 : (m_topBit << 1) - 1;  // all ones for width 64
    BuildWordTable();
    SetState(~uint64_t{0});
    return IsMaximal();
}

void LRS_Generator::SetSeedRule(int m, int n) {
    m_seedOffset = m;
    m_seedStride = n;
}

// A step of 32 is linear in the register, so its output word is the XOR of one table entry per
// register byte.
void LRS_Generator::BuildWordTable() {
    for (int k = 0; k < 8; ++k) {
        DWORD basis[8];
        for (int b = 0; b < 8; ++b)
            basis[b] = static_cast<DWORD>(OutputBits(m_taps, uint64_t{1} << (8 * k + b), 32));
        DWORD* row = &m_wordTable[static_cast<size_t>(k) * 256];
        row[0] = 0;
        for (unsigned v = 1; v < 256; ++v) row[v] = row[v & (v - 1)] ^ basis[std::countr_zero(v)];
    }
}

bool LRS_Generator::Shift() {
    uint64_t fb = Parity(m_taps & m_state) ? 1 : 0;
    m_state = (m_state << 1) | fb;
    return fb != 0;
}

void LRS_Generator::Unshift() {
    m_state &= m_mask;
    bool b = Parity(m_state & ((m_taps << 1) + 1));
    m_state >>= 1;
    if (b) m_state |= m_topBit;
}

void LRS_Generator::SetState(uint64_t seed) {
    m_state = seed & m_mask;
    if (m_state == 0) m_state = 1;
    Next();
    Next();
    Next();
}

DWORD LRS_Generator::Next() {
    uint64_t s = m_state;
    DWORD word = 0;
    for (int k = 0; k < 8; ++k) word ^= m_wordTable[static_cast<size_t>(k) * 256 + ((s >> (8 * k)) & 0xFF)];
    m_state = (s << 32) | word;
    return word;
}

uint64_t LRS_Generator::SetValue(uint64_t value) {
    for (int i = 0; i < m_width; ++i) Shift();
    uint64_t previous = m_state & m_mask;
    m_state = value & m_mask;
    for (int i = 0; i < m_width; ++i) Unshift();
    return previous;
}

uint64_t LRS_Generator::Reset(int pass) {
    uint64_t previous = SetValue(0);
    // 32-bit arithmetic as the seed rule always had, wrapping instead of overflowing.
    uint32_t seed32 = static_cast<uint32_t>(m_seedStride) * (static_cast<uint32_t>(pass) + 1u) +
                      static_cast<uint32_t>(m_seedOffset);
    int64_t seed = static_cast<int32_t>(seed32);
    SetState(static_cast<uint64_t>(seed));
    return previous;
}

void LRS_Generator::Decimate() {
    uint64_t decimated = 0;
    for (int j = 0; j < m_width; ++j) {
        uint64_t bit = (m_state & m_topBit) ? 1 : 0;
        Shift();
        Shift();
        decimated |= bit << (m_width - 1 - j);
    }
    m_state = decimated;
}

BOOL LRS_Generator::IsMaximal() {
    if (std::popcount(m_taps) & 1) return FALSE;
    uint64_t saved = m_state;
    m_state = m_mask;
    int stoppedAt = 0;
    for (int i = 1; i <= m_width + 1; ++i) {
        Decimate();
        if ((m_state & m_mask) == m_mask) {
            stoppedAt = i;
            break;
        }
    }
    m_state = saved;
    return stoppedAt == m_width ? TRUE : FALSE;
}

// The output bits obey o(t) = XOR over taps i of o(t - 1 - i). Raising the recurrence's polynomial
// to the 256th power (free over GF(2)) gives o(t) = XOR of o(t - 256 (1 + i)): bit j of word k is
// the XOR of bit j of the words k - 8 (1 + i). So once 8 x width words are out, each run of eight
// words is a few XORs of whole earlier runs of the same block (never of words still being
// written), and the register is the last 64 bits written.
void LRS_Generator::Fill(DWORD* out, size_t count) {
    if (!out || count == 0) return;
    constexpr size_t kRun = 8;
    size_t head = std::min(count, kRun * static_cast<size_t>(std::max(m_width, 1)));
    for (size_t i = 0; i < head; ++i) out[i] = Next();
    if (count == head) return;

    size_t lags[64];
    int nLags = 0;
    for (int i = 0; i < 64; ++i)
        if ((m_taps >> i) & 1) lags[nLags++] = kRun * (static_cast<size_t>(i) + 1);

    using V4 = DWORD __attribute__((vector_size(16)));
    auto load = [](const DWORD* p) {
        V4 v;
        std::memcpy(&v, p, sizeof v);
        return v;
    };
    size_t k = head;
    if (nLags == 4) {
        const size_t l0 = lags[0], l1 = lags[1], l2 = lags[2], l3 = lags[3];
        for (; k + kRun <= count; k += kRun) {
            DWORD* o = out + k;
            V4 lo = load(o - l0) ^ load(o - l1) ^ load(o - l2) ^ load(o - l3);
            V4 hi = load(o + 4 - l0) ^ load(o + 4 - l1) ^ load(o + 4 - l2) ^ load(o + 4 - l3);
            std::memcpy(o, &lo, sizeof lo);
            std::memcpy(o + 4, &hi, sizeof hi);
        }
    } else {
        for (; k + kRun <= count; k += kRun) {
            DWORD* o = out + k;
            V4 lo = {0, 0, 0, 0}, hi = {0, 0, 0, 0};
            for (int l = 0; l < nLags; ++l) {
                lo ^= load(o - lags[l]);
                hi ^= load(o + 4 - lags[l]);
            }
            std::memcpy(o, &lo, sizeof lo);
            std::memcpy(o + 4, &hi, sizeof hi);
        }
    }
    for (; k < count; ++k) {
        DWORD t = 0;
        for (int l = 0; l < nLags; ++l) t ^= out[k - lags[l]];
        out[k] = t;
    }
    m_state = (static_cast<uint64_t>(out[count - 2]) << 32) | out[count - 1];
}

// ---- DP_INC_Generator ----

void DP_INC_Generator::SetStartIncrement(DWORD start, DWORD increment) {
    m_start = start;
    m_increment = increment;
}

uint64_t DP_INC_Generator::SetValue(uint64_t value) {
    DWORD previous = m_current;
    m_current = static_cast<DWORD>(value);
    return previous;
}

uint64_t DP_INC_Generator::Reset(int pass) {
    (void)pass;
    m_current = m_start;
    return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(m_start)));
}

DWORD DP_INC_Generator::Next() {
    m_current += m_increment;
    return m_current;
}

void DP_INC_Generator::Fill(DWORD* out, size_t count) {
    if (!out || count == 0) return;
    const DWORD base = m_current, step = m_increment;
    for (size_t i = 0; i < count; ++i) out[i] = base + static_cast<DWORD>(i + 1) * step;
    m_current = out[count - 1];
}

// ---- DP_FILE_Generator ----

namespace {
constexpr int64_t kMaxCache = 32768;

int64_t Mod(int64_t a, int64_t m) {
    int64_t r = a % m;
    return r < 0 ? r + m : r;
}
}  // namespace

DP_FILE_Generator::DP_FILE_Generator() { Release(TRUE); }

DP_FILE_Generator::~DP_FILE_Generator() { Release(FALSE); }

void DP_FILE_Generator::Release(BOOL constructing) {
    if (!constructing) {
        m_cache.reset();
        m_staging.reset();
        if (m_file) std::fclose(m_file);
    }
    m_file = nullptr;
    m_start = m_size = m_position = 0;
    m_cacheBase = -1;
    m_cacheSize = m_windowSize = 0;
}

void DP_FILE_Generator::Fail(const char* why) {
    Release(FALSE);
    if (m_name.IsEmpty()) m_error.Format("Pattern file %s", why);
    else m_error.Format("Pattern file \"%s\" %s", m_name.c_str(), why);
}

BOOL DP_FILE_Generator::Open(FILE* file, int start) {
    m_name.Empty();
    return OpenStream(file, start);
}

BOOL DP_FILE_Generator::OpenStream(FILE* file, int start) {
    Release(FALSE);
    m_error.Empty();
    if (!file) {
        Fail("cannot be opened");
        return FALSE;
    }
    m_file = file;
    if (::fseeko(file, 0, SEEK_END) != 0) {
        Fail("cannot be read");
        return FALSE;
    }
    int64_t size = ::ftello(file);
    if (size <= 0) {
        Fail("is empty");
        return FALSE;
    }
    m_size = size;
    m_start = Mod(start, size);
    m_position = m_start;
    return TRUE;
}

BOOL DP_FILE_Generator::Open(const CString& path, int start) {
    m_name = path;
    return OpenStream(platform::OpenFile(path, "rb"), start);
}

uint64_t DP_FILE_Generator::SetValue(uint64_t value) {
    if (m_size == 0) return 0;
    uint64_t previous = static_cast<uint64_t>(m_position);
    m_position = static_cast<int64_t>(value % static_cast<uint64_t>(m_size));
    return previous;
}

uint64_t DP_FILE_Generator::Reset(int pass) {
    (void)pass;
    if (m_size == 0) return 0;
    m_position = m_start;
    return static_cast<uint64_t>(m_start);
}

bool DP_FILE_Generator::EnsureCache() {
    if (m_cache) return true;
    m_cacheSize = std::min((m_size + 8) / 4 * 4, kMaxCache);
    m_windowSize = std::min(m_cacheSize, m_size);
    m_cache.reset(new (std::nothrow) BYTE[static_cast<size_t>(m_cacheSize) + 4]);
    m_staging.reset(new (std::nothrow) BYTE[static_cast<size_t>(m_cacheSize) + 4]);
    m_cacheBase = -1;
    if (!m_cache || !m_staging) {
        m_cache.reset();
        m_staging.reset();
        return false;
    }
    return true;
}

bool DP_FILE_Generator::ReadCircular(int64_t offset, BYTE* dst, int64_t count) {
    offset = Mod(offset, m_size);
    while (count > 0) {
        int64_t n = std::min(count, m_size - offset);
        if (::fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) != 0 ||
            std::fread(dst, 1, static_cast<size_t>(n), m_file) != static_cast<size_t>(n))
            return false;
        dst += n;
        count -= n;
        offset = 0;
    }
    return true;
}

// The window is the window-size bytes of the circular file from p. Bytes the old cache already
// holds are copied from it; only the rest is read. The cache then repeats the window, so bytes
// past the end of a small file are its first bytes again.
bool DP_FILE_Generator::LoadWindow(int64_t p) {
    if (m_cacheBase == p) return true;
    const int64_t W = m_windowSize, C = m_cacheSize;
    BYTE* staging = m_staging.get();
    if (m_cacheBase >= 0 && W == m_size) {
        int64_t d = Mod(p - m_cacheBase, m_size);
        std::memcpy(staging, m_cache.get() + d, static_cast<size_t>(m_size - d));
        std::memcpy(staging + (m_size - d), m_cache.get(), static_cast<size_t>(d));
    } else if (m_cacheBase < 0) {
        if (!ReadCircular(p, staging, W)) {
            Fail("cannot be read");
            return false;
        }
    } else {
        // Here the file is larger than the cache and the cache holds exactly one window.
        int64_t d = Mod(p - m_cacheBase, m_size);
        int64_t aEnd = d < C ? std::min(C - d, W) : 0;  // new [0, aEnd) = old [d, d + aEnd)
        int64_t bStart = std::min(m_size - d, W);       // new [bStart, bEnd) = old [0, bEnd - bStart)
        int64_t bEnd = std::min(m_size - d + C, W);     // aEnd <= bStart <= bEnd: two gaps to read
        if (aEnd > 0) std::memcpy(staging, m_cache.get() + d, static_cast<size_t>(aEnd));
        if (bEnd > bStart) std::memcpy(staging + bStart, m_cache.get(), static_cast<size_t>(bEnd - bStart));
        bool ok = (bStart <= aEnd || ReadCircular(p + aEnd, staging + aEnd, bStart - aEnd)) &&
                  (bEnd >= W || ReadCircular(p + bEnd, staging + bEnd, W - bEnd));
        if (!ok) {
            Fail("cannot be read");
            return false;
        }
    }
    if (W == C) {
        std::swap(m_cache, m_staging);
    } else {
        BYTE* cache = m_cache.get();
        std::memcpy(cache, staging, static_cast<size_t>(W));
        for (int64_t filled = W; filled < C;) {
            int64_t n = std::min(filled, C - filled);  // filled stays a multiple of W
            std::memcpy(cache + filled, cache, static_cast<size_t>(n));
            filled += n;
        }
    }
    m_cacheBase = p;
    return true;
}

const BYTE* DP_FILE_Generator::Fetch(int64_t& position, int count) {
    if (m_size == 0 || !EnsureCache() || count > m_cacheSize) return nullptr;
    position = Mod(position, m_size);
    int64_t offset = -1;
    if (m_cacheBase >= 0) {
        int64_t d = Mod(position - m_cacheBase, m_size);
        if (d < m_cacheSize && m_cacheSize - d >= count) offset = d;
    }
    if (offset < 0) {
        if (!LoadWindow(position)) return nullptr;
        offset = 0;
    }
    const BYTE* bytes = m_cache.get() + offset;
    position = (position + count) % m_size;
    return bytes;
}

DWORD DP_FILE_Generator::Next() {
    const BYTE* b = Fetch(m_position, 4);
    if (!b) return 0;
    DWORD word;
    std::memcpy(&word, b, 4);
    return word;
}

// The word stream is the circular byte stream of the file from the position, so a block is
// copied out of the cache window by window; once a whole period (the file) is out, the rest
// repeats what was written.
void DP_FILE_Generator::Fill(DWORD* out, size_t count) {
    if (!out || count == 0) return;
    BYTE* dst = reinterpret_cast<BYTE*>(out);
    const uint64_t total = static_cast<uint64_t>(count) * 4;
    if (m_size == 0) {
        std::memset(dst, 0, static_cast<size_t>(total));
        return;
    }
    const uint64_t period = static_cast<uint64_t>(m_size);
    const uint64_t direct = total >= 2 * period ? period : total;
    uint64_t done = 0;
    while (done < direct) {
        int64_t avail = 0;
        int64_t pos = m_position;
        const BYTE* src = Fetch(pos, 1);  // makes the window hold the position
        if (src) {
            avail = m_cacheSize - (src - m_cache.get());
        }
        if (!src || avail <= 0) {  // no memory or the file went away: no data
            std::memset(dst + done, 0, static_cast<size_t>(total - done));
            return;
        }
        uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(avail), direct - done);
        std::memcpy(dst + done, src, static_cast<size_t>(n));
        done += n;
        m_position = static_cast<int64_t>((static_cast<uint64_t>(m_position) + n) % period);
    }
    while (done < total) {
        uint64_t n = std::min(done, total - done);  // done stays a multiple of the period
        std::memcpy(dst + done, dst, static_cast<size_t>(n));
        done += n;
    }
    m_position = static_cast<int64_t>((static_cast<uint64_t>(m_position) + (total - direct)) % period);
}

// ---- RGB_TestPatternGenerator ----

RGB_TestPatternGenerator::RGB_TestPatternGenerator() { RGB_TestPatternGenerator::InitDefaults(); }

void RGB_TestPatternGenerator::InitDefaults() {
    m_imageWidth = m_imageHeight = 512;
    m_windowWidth = m_windowHeight = 512;
    m_placement = m_xOffset = m_yOffset = 0;
    m_x = m_y = 0;
}

void RGB_TestPatternGenerator::SetSize(int w, int h) {
    if (w < 1 || h < 1) return;
    m_windowWidth = w;
    m_windowHeight = h;
    if (m_x >= w) m_x = 0;
    if (m_y >= h) m_y = 0;
}

void RGB_TestPatternGenerator::SetPlacement(int mode, int xOffset, int yOffset) {
    m_placement = (mode < 0 || mode > 3) ? 0 : mode;
    m_xOffset = xOffset;
    m_yOffset = yOffset;
}

DWORD RGB_TestPatternGenerator::GetPixel(int x, int y) { return GetColor(x + m_xOffset, y + m_yOffset); }

void RGB_TestPatternGenerator::ColorRun(DWORD* out, int x, int y, int n) {
    for (int i = 0; i < n; ++i) out[i] = GetColor(x + i, y);
}

void RGB_TestPatternGenerator::FillBuffer(DWORD** out, int x, int y, int w, int h) {
    if (!out || !*out || w < 1 || h < 1) return;
    for (int row = 0; row < h; ++row) {
        ColorRun(*out, x + m_xOffset, y + row + m_yOffset, w);
        *out += w;
    }
}

uint64_t RGB_TestPatternGenerator::SetValue(uint64_t value) {
    uint64_t previous = (static_cast<uint64_t>(static_cast<uint32_t>(m_y)) << 32) | static_cast<uint32_t>(m_x);
    auto x = static_cast<int32_t>(static_cast<uint32_t>(value));
    auto y = static_cast<int32_t>(static_cast<uint32_t>(value >> 32));
    m_x = (x < 0 || x >= m_windowWidth) ? 0 : x;
    m_y = (y < 0 || y >= m_windowHeight) ? 0 : y;
    return previous;
}

DWORD RGB_TestPatternGenerator::Next() {
    DWORD color = GetPixel(m_x, m_y);
    if (++m_x >= m_windowWidth) {
        m_x = 0;
        if (++m_y >= m_windowHeight) m_y = 0;
    }
    return color;
}

void RGB_TestPatternGenerator::Fill(DWORD* out, size_t count) {
    if (!out) return;
    while (count > 0) {
        int n = static_cast<int>(std::min<size_t>(count, static_cast<size_t>(m_windowWidth - m_x)));
        ColorRun(out, m_x + m_xOffset, m_y + m_yOffset, n);
        out += n;
        count -= static_cast<size_t>(n);
        m_x += n;
        if (m_x >= m_windowWidth) {
            m_x = 0;
            if (++m_y >= m_windowHeight) m_y = 0;
        }
    }
}

// ---- RGBSolid_Generator ----

void RGBSolid_Generator::SetSize(int w, int h) {
    if (w < 1 || h < 1) return;
    m_imageWidth = w;
    m_imageHeight = h;
    RGB_TestPatternGenerator::SetSize(w, h);
}

DWORD RGBSolid_Generator::GetColor(int x, int y) {
    (void)x;
    (void)y;
    return m_color & 0xFFFFFF;
}

void RGBSolid_Generator::ColorRun(DWORD* out, int x, int y, int n) {
    (void)x;
    (void)y;
    std::fill(out, out + n, m_color & 0xFFFFFF);
}

// ---- RGBRamp_Generator ----

void RGBRamp_Generator::SetRamp(int direction, DWORD startColor, DWORD endColor) {
    m_direction = (direction < 0 || direction > 3) ? 0 : direction;
    for (int k = 0; k < 3; ++k) {
        m_start[k] = static_cast<int>((startColor >> (8 * k)) & 0xFF);
        m_end[k] = static_cast<int>((endColor >> (8 * k)) & 0xFF);
    }
}

void RGBRamp_Generator::SetSize(int w, int h) {
    if (w < 1 || h < 1) return;
    m_imageWidth = w;
    m_imageHeight = h;
    RGB_TestPatternGenerator::SetSize(w, h);
}

DWORD RGBRamp_Generator::ColorAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_imageWidth || y >= m_imageHeight) return 0;
    int64_t t = 0, span = 0;
    const int64_t w = m_imageWidth, h = m_imageHeight;
    switch (m_direction) {
    case 1: t = x + y; span = w + h - 2; break;
    case 2: t = y; span = h - 1; break;
    case 3: t = (w - 1 - x) + y; span = w + h - 2; break;
    default: t = x; span = w - 1; break;
    }
    DWORD color = 0;
    for (int k = 0; k < 3; ++k) {
        // A single point along the ramp has nowhere to go: it keeps the start colour.
        int64_t v = span <= 0 ? m_start[k] : (m_end[k] * 2 * t + m_start[k] * 2 * (span - t) + span) / (2 * span);
        color |= static_cast<DWORD>(v & 0xFF) << (8 * k);
    }
    return color;
}

DWORD RGBRamp_Generator::GetColor(int x, int y) { return ColorAt(x, y); }

void RGBRamp_Generator::ColorRun(DWORD* out, int x, int y, int n) {
    for (int i = 0; i < n; ++i) out[i] = ColorAt(x + i, y);
}
