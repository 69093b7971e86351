// Unpacked 10-bit pictures and alphas: pattern fills, pixel access, sample formats, bitmaps and CRC words.
#include "images/unpacked_image.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "images/byte_order.h"
#include "images/image_detail.h"
#include "images/line.h"
#include "platform/runtime.h"
#if defined(__x86_64__)
#include "platform/vector_intrinsics.h"
#endif

using images_detail::LoadLE16;
using images_detail::LoadLE64;
using images_detail::PairPositionsPerRow;
using images_detail::RepeatBytes;
using images_detail::StoreLE16;
using images_detail::StoreLE64;

namespace {

// The unpacked word accessor keeps only bits 15..6 of each sample.
constexpr DWORD kSampleWordMask = 0xFFC0FFC0;

WORD Shifted(DWORD value) { return static_cast<WORD>(value << 6); }

// Clamp to [lo, hi] as unsigned 16-bit values; with lo above hi every value becomes lo.
WORD Clamp(DWORD value, WORD lo, WORD hi) {
    WORD v = std::min(static_cast<WORD>(value), hi);
    return v < lo ? lo : v;
}

void StorePair(BYTE* p, const WORD pair[4]) {
    StoreLE64(p, uint64_t(pair[0]) | uint64_t(pair[1]) << 16 | uint64_t(pair[2]) << 32 | uint64_t(pair[3]) << 48);
}

// StoreSample on the four words of each of pairs pairs at once: bits 0-5 of each word kept, the
// samples (bits 0-5 clear) in the rest. The loop is vectorised for the processor at hand.
PEX_VECTOR_LOOP void StorePairSamples(BYTE* p, size_t pairs, uint64_t samples) {
    constexpr uint64_t kKeep = 0x003F003F003F003Full;
    for (size_t k = 0; k < pairs; ++k) StoreLE64(p + 8 * k, (LoadLE64(p + 8 * k) & kKeep) | samples);
}

// Alpha words from count draws: each draw's low ten bits in bits 15..6.
PEX_VECTOR_LOOP void StoreDrawWords(BYTE* p, const int* draws, size_t count) {
    for (size_t i = 0; i < count; ++i) StoreLE16(p + 2 * i, Shifted(DWORD(draws[i]) % 1024));
}

// Keeps bits 0-5 of the stored word and puts value in bits 15..6.
void StoreSample(BYTE* p, WORD value) {
    StoreLE16(p, static_cast<WORD>((LoadLE16(p) & 0x3F) | Shifted(value)));
}

// A pixel of column col into its pair at p: the pair's Cb and Cr, and Y0 or Y1 by the column.
void StorePixel(BYTE* p, DWORD col, WORD y, WORD cb, WORD cr) {
    StoreSample(p, cb);
    StoreSample(p + 4, cr);
    StoreSample(p + ((col & 1) ? 6 : 2), y);
}

// Random values drawn per call of the generator's batch form: a few kilobytes on the stack.
constexpr size_t kRandomChunk = 1024;

// MakePixelPair's work, inlined into the fills' loops.
[[gnu::always_inline]] inline void MakePair(WORD pair[4], WORD y0, WORD y1, WORD cb, WORD cr, DWORD sampleFormat) {
    pair[0] = pair[1] = pair[2] = pair[3] = 0;
    switch (sampleFormat) {
    case kSampleFormatFull:
        pair[0] = Shifted(cb);
        pair[1] = Shifted(y0);
        pair[2] = Shifted(cr);
        pair[3] = Shifted(y1);
        break;
    case kSampleFormat8Bit:
        pair[0] = Shifted(cb & 0xFFFC);
        pair[1] = Shifted(y0 & 0xFFFC);
        pair[2] = Shifted(cr & 0xFFFC);
        pair[3] = Shifted(y1 & 0xFFFC);
        break;
    case kSampleFormatEncoded: {
        // Each word keeps its top eight value bits and takes the low two of its mirror word.
        const WORD t[4] = {Shifted(cb), Shifted(y0), Shifted(cr), Shifted(y1)};
        for (int i = 0; i < 4; ++i) pair[i] = static_cast<WORD>((t[i] & 0xFF00) | (t[3 - i] & 0x00C0));
        break;
    }
    default:
        break;
    }
}

}  // namespace

namespace Unpacked {
namespace Alpha {

YCbCr_10_6::YCbCr_10_6(DWORD width, DWORD height) : CImage(width, height, 0) { Allocate(); }

const ImageFileForm& YCbCr_10_6::FileForm() const {
    static constexpr ImageFileForm kForm = {
        .guid = GuidBytes(0xBAEDF73B, 0x41DF, 0x4BFA, {0xB8, 0x39, 0xC9, 0xCA, 0x2A, 0x9A, 0xF5, 0x55}),
        .textTitle = "FRMUNPACKED:ALPHA", .textDepth = "16"};
    return kForm;
}

size_t YCbCr_10_6::PixelsInBlock() const {
    return std::min<uint64_t>(uint64_t(nWidth) * nHeight, DataBytesInBlock() / 2);
}

BYTE* YCbCr_10_6::PixelWord(DWORD row, DWORD col) const {
    if (!pBuffer || row >= nHeight || col >= nWidth) return nullptr;
    uint64_t index = uint64_t(row) * nWidth + col;
    return index < PixelsInBlock() ? pBuffer + 2 * index : nullptr;
}

bool YCbCr_10_6::FillSolid(WORD word) {
    if (!pBuffer) return false;
    const size_t n = PixelsInBlock();
    if (n == 0) return true;
    StoreLE16(pBuffer, word);
    RepeatBytes(pBuffer, 2, 2 * n);
    return true;
}

bool YCbCr_10_6::SetPixel(DWORD row, DWORD col, WORD value) {
    BYTE* p = PixelWord(row, col);
    if (!p) return false;
    StoreLE16(p, Shifted(value));
    return true;
}

bool YCbCr_10_6::GetPixel(DWORD row, DWORD col, WORD& value) const {
    const BYTE* p = PixelWord(row, col);
    if (!p) return false;
    value = LoadLE16(p) >> 6;
    return true;
}

bool YCbCr_10_6::GetWord(DWORD index, DWORD& out) const {
    return RawWord(index, GetSize(), kSampleWordMask, &out);
}

CrcWordSpan YCbCr_10_6::GetCrcWords() const { return {pBuffer, RawWordCount(GetSize()), kSampleWordMask}; }

bool YCbCr_10_6::FillHorzRamp() {
    if (!pBuffer) return false;
    // Every row is the first one again.
    const size_t n = PixelsInBlock(), first = std::min<size_t>(n, nWidth);
    for (size_t c = 0; c < first; ++c) StoreLE16(pBuffer + 2 * c, Shifted(static_cast<DWORD>(c)));
    RepeatBytes(pBuffer, 2 * first, 2 * n);
    return true;
}

bool YCbCr_10_6::FillVertRamp() {
    if (!pBuffer) return false;
    const size_t n = PixelsInBlock();
    for (size_t start = 0, r = 0; start < n; start += nWidth, ++r) {
        BYTE* row = pBuffer + 2 * start;
        StoreLE16(row, Shifted(static_cast<DWORD>(r) & 0x3FF));
        RepeatBytes(row, 2, 2 * std::min<size_t>(nWidth, n - start));
    }
    return true;
}

bool YCbCr_10_6::FillRandom(DWORD seed) {
    if (!pBuffer) return false;
    platform::srand(seed);
    const size_t n = PixelsInBlock();
    int draws[kRandomChunk];
    for (size_t start = 0; start < n; start += kRandomChunk) {
        const size_t count = std::min(kRandomChunk, n - start);
        platform::RandFill(draws, count);
        StoreDrawWords(pBuffer + 2 * start, draws, count);
    }
    return true;
}

bool YCbCr_10_6::FillRandomFromTime() { return FillRandom(static_cast<DWORD>(platform::time(nullptr))); }

bool YCbCr_10_6::FillDiagonalLines(DWORD mode, BYTE frame) {
    (void)mode;
    FillSolid(0);
    const DWORD w = nWidth - 1, h = nHeight - 1;
    if (frame == 1) {
        DrawLine(0, 0, w, 0, 0x3FF);
        DrawLine(0, h, w, h, 0x3FF);
        DrawLine(0, 0, 0, h, 0x3FF);
        DrawLine(w, 0, w, h, 0x3FF);
    }
    DrawLine(0, 0, w, h, 0x3FF);
    DrawLine(w, 0, 0, h, 0x3FF);
    return true;
}

bool YCbCr_10_6::FillGrid(DWORD mode) {
    (void)mode;
    FillSolid(0xFFC0);
    images_detail::GridLines(nWidth, nHeight,
                             [&](DWORD x0, DWORD y0, DWORD x1, DWORD y1) { DrawLine(x0, y0, x1, y1, 0); });
    return true;
}

bool YCbCr_10_6::DrawLine(DWORD x0, DWORD y0, DWORD x1, DWORD y1, WORD value) {
    if (!pBuffer) return true;
    // SetPixel's stores, with the block's extent taken once for the whole line.
    const size_t pixels = PixelsInBlock();
    BYTE* const base = pBuffer;
    const uint64_t width = nWidth;
    const WORD word = Shifted(value);
    images_detail::WalkLine(x0, y0, x1, y1, nWidth, nHeight, [&](DWORD x, DWORD y) {
        const uint64_t index = uint64_t(y) * width + x;
        if (index < pixels) StoreLE16(base + 2 * index, word);
    });
    return true;
}

DibBlock YCbCr_10_6::CreateDIB(DWORD mode) const {
    (void)mode;
    if (!pBuffer) return nullptr;
    return images_detail::AlphaDib(nWidth, nHeight, kDibRange10, [this](DWORD r, DWORD c) {
        WORD v = 0;
        GetPixel(r, c, v);
        return v;
    });
}

}  // namespace Alpha

namespace Image {

YCbCr_10_6::YCbCr_10_6(DWORD width, DWORD height, DWORD offset) : CImage(width, height, offset) { Allocate(); }

YCbCr_10_6::YCbCr_10_6(const CImage& source, DWORD offset) : CImage(source, offset) {
    if (!pBuffer || GetBlockBytes() < uint64_t(GetSize()) + GetOffset()) Allocate();
    CopyLeadingBytes(source);
}

const ImageFileForm& YCbCr_10_6::FileForm() const {
    static constexpr ImageFileForm kForm = {
        .guid = GuidBytes(0x651768B2, 0x5CAA, 0x453B, {0xB0, 0x53, 0xED, 0x7F, 0x8F, 0xA0, 0x00, 0x1E}),
        .textTitle = "FRMUNPACKED:IMAGE", .textDepth = "16", .rawFallback = true};
    return kForm;
}

void YCbCr_10_6::MakePixelPair(WORD pair[4], WORD y0, WORD y1, WORD cb, WORD cr, DWORD sampleFormat) {
    MakePair(pair, y0, y1, cb, cr, sampleFormat);
}

template <class Make>
bool YCbCr_10_6::FillRowsRepeating(uint64_t period, Make make) {
    if (!pBuffer) return false;
    const uint64_t perRow = PairPositionsPerRow(nWidth), limit = DataBytesInBlock() / 8;
    for (uint64_t r = 0; r < nHeight && r * perRow < limit; ++r) {
        const uint64_t first = r * perRow, n = std::min(perRow, limit - first);
        BYTE* row = pBuffer + 8 * first;
        if (r >= period) {
            std::memcpy(row, row - 8 * period * perRow, static_cast<size_t>(8 * n));
            continue;
        }
        for (uint64_t j = 0; j < n; ++j) {
            WORD pair[4];
            make(static_cast<DWORD>(r), static_cast<DWORD>(2 * j), pair);
            StorePair(row + 8 * j, pair);
        }
    }
    return true;
}

template <class Make>
bool YCbCr_10_6::FillRowsSolid(Make make) {
    if (!pBuffer) return false;
    const uint64_t perRow = PairPositionsPerRow(nWidth), limit = DataBytesInBlock() / 8;
    for (uint64_t r = 0; r < nHeight && r * perRow < limit; ++r) {
        const uint64_t first = r * perRow, n = std::min(perRow, limit - first);
        BYTE* row = pBuffer + 8 * first;
        WORD pair[4];
        make(static_cast<DWORD>(r), pair);
        StorePair(row, pair);
        RepeatBytes(row, 8, static_cast<size_t>(8 * n));
    }
    return true;
}

BYTE* YCbCr_10_6::PairOf(DWORD row, DWORD col) const {
    if (!pBuffer || row >= nHeight || col >= nWidth) return nullptr;
    uint64_t pair = (uint64_t(row) * nWidth + col) / 2;
    return pair * 8 + 8 <= DataBytesInBlock() ? pBuffer + pair * 8 : nullptr;
}

bool YCbCr_10_6::FillSolid(WORD y, WORD cb, WORD cr) {
    if (!pBuffer) return false;
    size_t pairs = std::min<uint64_t>(uint64_t(nWidth) * nHeight / 2, DataBytesInBlock() / 8);
    const uint64_t samples = uint64_t(Shifted(cb)) | uint64_t(Shifted(y)) << 16 | uint64_t(Shifted(cr)) << 32 |
                             uint64_t(Shifted(y)) << 48;
    StorePairSamples(pBuffer, pairs, samples);
    return true;
}

bool YCbCr_10_6::SetPixel(DWORD row, DWORD col, WORD y, WORD cb, WORD cr) {
    BYTE* p = PairOf(row, col);
    if (!p) return false;
    StorePixel(p, col, y, cb, cr);
    return true;
}

bool YCbCr_10_6::GetPixel(DWORD row, DWORD col, WORD& y, WORD& cb, WORD& cr) const {
    const BYTE* p = PairOf(row, col);
    if (!p) return false;
    cb = LoadLE16(p) >> 6;
    cr = LoadLE16(p + 4) >> 6;
    y = LoadLE16(p + ((col & 1) ? 6 : 2)) >> 6;
    return true;
}

CString YCbCr_10_6::GetPixelText(DWORD x, DWORD y) const {
    WORD luma = 0, cb = 0, cr = 0;
    GetPixel(y, x, luma, cb, cr);
    CString text;
    text.Format("Y=0x%04X, Cb=0x%04X  Cr=0x%04X", luma, cb, cr);
    return text;
}

bool YCbCr_10_6::GetWord(DWORD index, DWORD& out) const {
    return RawWord(index, GetSize(), kSampleWordMask, &out);
}

CrcWordSpan YCbCr_10_6::GetCrcWords() const { return {pBuffer, RawWordCount(GetSize()), kSampleWordMask}; }

bool YCbCr_10_6::ConvertToFormat4() {
    if (nSampleFormat != kSampleFormatEncoded || !pBuffer) return false;
    size_t pairs = std::min<uint64_t>(uint64_t(nWidth) * nHeight / 2, DataBytesInBlock() / 8);
    for (size_t k = 0; k < pairs; ++k) {
        BYTE* p = pBuffer + 8 * k;
        // The exchange of low bits undoes itself.
        WORD pair[4];
        MakePixelPair(pair, LoadLE16(p + 2) >> 6, LoadLE16(p + 6) >> 6, LoadLE16(p) >> 6, LoadLE16(p + 4) >> 6,
                      kSampleFormatEncoded);
        StorePair(p, pair);
    }
    nSampleFormat = kSampleFormatFull;
    return true;
}

namespace {

// Chroma of the wedge modes: 0 neutral, 1 and 2 running from 512 in opposite directions.
bool WedgeChroma(DWORD mode, DWORD position, DWORD mask, WORD lo, WORD hi, WORD& cb, WORD& cr) {
    const DWORD down = (512 - position / 2) & 0x3FF, up = (position / 2 + 512) & 0x3FF;
    switch (mode) {
    case 0:
        cb = cr = Clamp(512 & mask, lo, hi);
        return true;
    case 1:
        cb = Clamp(down & mask, lo, hi);
        cr = Clamp(up & mask, lo, hi);
        return true;
    case 2:
        cb = Clamp(up & mask, lo, hi);
        cr = Clamp(down & mask, lo, hi);
        return true;
    default:
        return false;
    }
}

}  // namespace

bool YCbCr_10_6::FillHorzWedge(DWORD mode, WORD lo, WORD hi) {
    const DWORD m = nSampleFormat == kSampleFormat8Bit ? 0x3FC : 0x3FF, format = nSampleFormat;
    WORD cb, cr;
    if (!WedgeChroma(mode, 0, m, lo, hi, cb, cr)) return pBuffer != nullptr;  // an unknown mode writes nothing
    // A pair depends on its column only: the first row is made, the others copied.
    return FillRowsRepeating(1, [&](DWORD, DWORD x, WORD pair[4]) {
        WedgeChroma(mode, x, m, lo, hi, cb, cr);
        MakePair(pair, Clamp(x & m, lo, hi), Clamp((x + 1) & m, lo, hi), cb, cr, format);
    });
}

bool YCbCr_10_6::FillVertWedge(DWORD mode, WORD lo, WORD hi) {
    const DWORD m = nSampleFormat == kSampleFormat8Bit ? 0x3FC : 0x3FF, format = nSampleFormat;
    WORD cb, cr;
    if (!WedgeChroma(mode, 0, m, lo, hi, cb, cr)) return pBuffer != nullptr;
    // A pair depends on its row only.
    return FillRowsSolid([&](DWORD r, WORD pair[4]) {
        WedgeChroma(mode, r, m, lo, hi, cb, cr);
        WORD y = Clamp(r & m, lo, hi);
        MakePair(pair, y, y, cb, cr, format);
    });
}

bool YCbCr_10_6::FillTiles(DWORD mode, WORD lo, WORD hi) {
    if (mode == 1 || mode == 2) return FillHorzWedge(mode, lo, hi);
    if (!pBuffer) return false;
    if (mode != 0) return true;
    const DWORD m = nSampleFormat == kSampleFormat8Bit ? 0x3FC : 0x3FF, format = nSampleFormat;
    // Every 8 x 8 block shows the 64 levels 0, 16, ..., 1008 in row-major order: eight rows are
    // made, the others copied.
    const WORD c = Clamp(512 & m, lo, hi);
    return FillRowsRepeating(8, [&](DWORD r, DWORD x, WORD pair[4]) {
        DWORD k = 8 * (r % 8) + x % 8;
        MakePair(pair, Clamp((16 * k) & m, lo, hi), Clamp((16 * (k + 1)) & m, lo, hi), c, c, format);
    });
}

namespace {

// The pairs of the random fill from three draws each (Y0, Y1, then the chroma's), for one
// sample format: the format's choice made once per run of pairs, not per pair.
template <DWORD kFormat>
void RandomPairs(BYTE* out, const int* draws, size_t pairs, BYTE mode, DWORD m, WORD lo, WORD hi) {
    const WORD neutral = Clamp(512 & m, lo, hi);
    for (size_t i = 0; i < pairs; ++i, draws += 3, out += 8) {
        const DWORD r1 = DWORD(draws[0]), r2 = DWORD(draws[1]), r3 = DWORD(draws[2]);
        WORD cb = neutral, cr = neutral;
        if (mode == 1) {
            cb = Clamp(((512 - (r3 >> 1)) & 0x3FF) & m, lo, hi);
            cr = Clamp(((512 + (r3 >> 1)) & 0x3FF) & m, lo, hi);
        }
        WORD pair[4];
        MakePair(pair, Clamp((r1 % 1024) & m, lo, hi), Clamp((r2 % 1024) & m, lo, hi), cb, cr, kFormat);
        StorePair(out, pair);
    }
}

// Eight 32-bit lanes, one pair each.
using Lanes = uint32_t __attribute__((vector_size(32)));

constexpr uint32_t kRandA = 214013u, kRandC = 2531011u;

// The step that takes the generator count draws on: state * a + c.
constexpr std::pair<uint32_t, uint32_t> RandJump(uint32_t count) {
    uint32_t a = 1, c = 0;
    for (uint32_t i = 0; i < count; ++i) a *= kRandA, c = c * kRandA + kRandC;
    return {a, c};
}

// RandomPairs' pairs for blocks of eight, stored little-endian: the generator's steps for the 24
// draws of a block run side by side (lane j takes draws 3j+1, 3j+2, 3j+3), each lane stepping 24
// draws a block. Answers the generator's state after the last draw of the last block.
template <DWORD kFormat, bool kChromaRamp>
[[gnu::always_inline]] inline uint32_t RandomBlocksBody(BYTE* out, uint32_t state, size_t blocks, DWORD m, WORD lo, WORD hi) {
    constexpr auto kStep = RandJump(24);
    Lanes s1;
    for (uint32_t j = 0; j < 8; ++j) {
        const auto jump = RandJump(3 * j + 1);
        s1[j] = state * jump.first + jump.second;
    }
    const Lanes vm = Lanes{} + m, vlo = Lanes{} + lo, vhi = Lanes{} + hi;
    // In place: a lane vector is never passed by value, whose calling convention the target changes.
    auto clamp = [&](Lanes& v) {
        v = v < vhi ? v : vhi;
        v = v < vlo ? vlo : v;
    };
    Lanes neutral = Lanes{} + (512 & m);
    clamp(neutral);
    uint32_t last = state;
    for (size_t b = 0; b < blocks; ++b, out += 64, s1 = s1 * kStep.first + kStep.second) {
        const Lanes s2 = s1 * kRandA + kRandC, s3 = s2 * kRandA + kRandC;
        last = s3[7];
        Lanes y0 = (s1 >> 16) & 0x3FF & vm, y1 = (s2 >> 16) & 0x3FF & vm;
        clamp(y0);
        clamp(y1);
        Lanes cb = neutral, cr = neutral;
        if constexpr (kChromaRamp) {
            const Lanes half = (s3 >> 17) & 0x3FFF;  // the third draw halved
            cb = (512 - half) & 0x3FF & vm;
            cr = (512 + half) & 0x3FF & vm;
            clamp(cb);
            clamp(cr);
        }
        // The pair's four words in block order, as MakePair sets them.
        Lanes w0{}, w1{}, w2{}, w3{};
        if constexpr (kFormat == kSampleFormatFull || kFormat == kSampleFormat8Bit) {
            const uint32_t keep = kFormat == kSampleFormat8Bit ? 0xFFFC : 0xFFFF;
            w0 = (cb & keep) << 6 & 0xFFFF, w1 = (y0 & keep) << 6 & 0xFFFF;
            w2 = (cr & keep) << 6 & 0xFFFF, w3 = (y1 & keep) << 6 & 0xFFFF;
        } else if constexpr (kFormat == kSampleFormatEncoded) {
            const Lanes t0 = cb << 6, t1 = y0 << 6, t2 = cr << 6, t3 = y1 << 6;
            w0 = (t0 & 0xFF00) | (t3 & 0xC0), w1 = (t1 & 0xFF00) | (t2 & 0xC0);
            w2 = (t2 & 0xFF00) | (t1 & 0xC0), w3 = (t3 & 0xFF00) | (t0 & 0xC0);
        }
        const Lanes first = w0 | w1 << 16, second = w2 | w3 << 16;
        const Lanes a = __builtin_shufflevector(first, second, 0, 8, 1, 9, 2, 10, 3, 11);
        const Lanes c = __builtin_shufflevector(first, second, 4, 12, 5, 13, 6, 14, 7, 15);
        std::memcpy(out, &a, 32);
        std::memcpy(out + 32, &c, 32);
    }
    return last;
}

template <DWORD kFormat, bool kChromaRamp>
uint32_t RandomBlocksPlain(BYTE* out, uint32_t state, size_t blocks, DWORD m, WORD lo, WORD hi) {
    return RandomBlocksBody<kFormat, kChromaRamp>(out, state, blocks, m, lo, hi);
}

#if defined(__x86_64__)
template <DWORD kFormat, bool kChromaRamp>
__attribute__((target("avx2"))) uint32_t RandomBlocksAvx2(BYTE* out, uint32_t state, size_t blocks, DWORD m, WORD lo, WORD hi) {
    return RandomBlocksBody<kFormat, kChromaRamp>(out, state, blocks, m, lo, hi);
}
#endif

using RandomBlocksFn = uint32_t (*)(BYTE*, uint32_t, size_t, DWORD, WORD, WORD);

template <DWORD kFormat, bool kChromaRamp>
RandomBlocksFn PickRandomBlocks() {
#if defined(__x86_64__)
    if (platform::HasAvx2()) return &RandomBlocksAvx2<kFormat, kChromaRamp>;
#endif
    return &RandomBlocksPlain<kFormat, kChromaRamp>;
}

template <DWORD kFormat>
RandomBlocksFn PickRandomBlocks(bool chromaRamp) {
    return chromaRamp ? PickRandomBlocks<kFormat, true>() : PickRandomBlocks<kFormat, false>();
}

}  // namespace

bool YCbCr_10_6::FillRandom(DWORD seed, BYTE mode, WORD lo, WORD hi) {
    platform::srand(seed);
    if (!pBuffer) return false;
    const DWORD m = nSampleFormat == kSampleFormat8Bit ? 0x3FC : 0x3FF;
    auto make = &RandomPairs<0>;  // an unknown format: zero pairs, the draws still taken
    if (nSampleFormat == kSampleFormatFull) make = &RandomPairs<kSampleFormatFull>;
    if (nSampleFormat == kSampleFormat8Bit) make = &RandomPairs<kSampleFormat8Bit>;
    if (nSampleFormat == kSampleFormatEncoded) make = &RandomPairs<kSampleFormatEncoded>;
    // Three draws a pair along the pair positions; where a pair lies does not matter.
    const uint64_t pairs = nWidth == 0 ? 0 : std::min<uint64_t>(PairPositionsPerRow(nWidth) * nHeight, DataBytesInBlock() / 8);
    uint64_t start = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Whole blocks of eight pairs by the lanes, the generator then set where the draws left it.
        RandomBlocksFn blocks = nullptr;
        if (nSampleFormat == kSampleFormatFull) blocks = PickRandomBlocks<kSampleFormatFull>(mode == 1);
        else if (nSampleFormat == kSampleFormat8Bit) blocks = PickRandomBlocks<kSampleFormat8Bit>(mode == 1);
        else if (nSampleFormat == kSampleFormatEncoded) blocks = PickRandomBlocks<kSampleFormatEncoded>(mode == 1);
        else blocks = PickRandomBlocks<0>(false);
        start = pairs / 8 * 8;
        platform::srand(blocks(pBuffer, seed, static_cast<size_t>(pairs / 8), m, lo, hi));
    }
    constexpr size_t kPairsPerChunk = kRandomChunk / 3;
    int draws[3 * kPairsPerChunk];
    for (; start < pairs; start += kPairsPerChunk) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(kPairsPerChunk, pairs - start));
        platform::RandFill(draws, 3 * count);
        make(pBuffer + 8 * start, draws, count, mode, m, lo, hi);
    }
    return true;
}

bool YCbCr_10_6::FillRandomFromTime(BYTE mode, WORD lo, WORD hi) {
    return FillRandom(static_cast<DWORD>(platform::time(nullptr)), mode, lo, hi);
}

bool YCbCr_10_6::FillRampStride4() {
    if (!pBuffer || nWidth % 16 != 0) return false;
    const DWORD format = nSampleFormat;
    // Groups of 8 pairs; the last pair of group g carries (g + 1) mod 4 in all four samples.
    return FillRowsRepeating(1, [&](DWORD, DWORD x, WORD pair[4]) {
        WORD v = (x % 16 == 14) ? static_cast<WORD>((x / 16 + 1) % 4) : 0;
        MakePair(pair, v, v, v, v, format);
    });
}

bool YCbCr_10_6::FillDiagonalLines(DWORD mode, WORD lo, WORD hi) {
    (void)mode;
    FillSolid(Clamp(1023, lo, hi), Clamp(512, lo, hi), Clamp(512, lo, hi));
    const WORD full = Clamp(1023, lo, hi), none = Clamp(0, lo, hi);
    DrawLine(0, 0, nWidth - 1, nHeight - 1, full, full, none);
    DrawLine(nWidth - 1, 0, 0, nHeight - 1, full, none, full);
    return true;
}

bool YCbCr_10_6::FillGrid(DWORD mode, WORD lo, WORD hi) {
    (void)mode;
    FillSolid(Clamp(1023, lo, hi), Clamp(512, lo, hi), Clamp(512, lo, hi));
    const WORD y = Clamp(0, lo, hi), c = Clamp(512, lo, hi);
    images_detail::GridLines(nWidth, nHeight,
                             [&](DWORD x0, DWORD y0, DWORD x1, DWORD y1) { DrawLine(x0, y0, x1, y1, y, c, c); });
    return true;
}

bool YCbCr_10_6::FillPattern(DWORD code, WORD lo, WORD hi) {
    switch (code) {
    case 1: FillHorzWedge(0, lo, hi); break;
    case 2: FillHorzWedge(2, lo, hi); break;
    case 3: FillHorzWedge(1, lo, hi); break;
    case 4: FillVertWedge(0, lo, hi); break;
    case 5: FillVertWedge(2, lo, hi); break;
    case 6: FillVertWedge(1, lo, hi); break;
    case 7: FillDiagonalLines(1, lo, hi); break;
    case 8: FillSolid(400, 64, 640); break;
    case 9: FillGrid(1, lo, hi); break;
    case 10: FillRandomFromTime(1, lo, hi); break;
    default: return false;
    }
    return true;
}

bool YCbCr_10_6::DrawLine(DWORD x0, DWORD y0, DWORD x1, DWORD y1, WORD y, WORD cb, WORD cr) {
    if (!pBuffer) return true;
    // SetPixel's stores, with the block's extent taken once for the whole line.
    const size_t limit = DataBytesInBlock();
    BYTE* const base = pBuffer;
    const uint64_t width = nWidth;
    images_detail::WalkLine(x0, y0, x1, y1, nWidth, nHeight, [&](DWORD x, DWORD row) {
        const uint64_t pair = (uint64_t(row) * width + x) / 2;
        if (pair * 8 + 8 <= limit) StorePixel(base + pair * 8, x, y, cb, cr);
    });
    return true;
}

DibBlock YCbCr_10_6::CreateDIB(DWORD mode) const {
    if (!pBuffer) return nullptr;
    // GetPixel's reads, with the block's extent taken once.
    const size_t limit = DataBytesInBlock();
    const BYTE* const base = pBuffer;
    const uint64_t width = nWidth;
    if ((mode == 1 || mode == 2) && width % 2 == 0 && uint64_t(nHeight) * width * 4 <= limit) {
        // Whole pairs in every row: convert a pair at a time.
        DibBlock dib = images_detail::NewDib(nWidth, nHeight, false);  // every pixel byte is written
        if (!dib) return dib;
        images_detail::YCbCrPairsToBgr(kDibRange10, mode, base, 6, uint64_t(nHeight) * width / 2, images_detail::DibPixels(dib));
        return dib;
    }
    auto samples = [=](DWORD r, DWORD c, WORD& y, WORD& cb, WORD& cr) {
        const uint64_t pair = (r * width + c) / 2;
        if (pair * 8 + 8 > limit) return;
        const BYTE* p = base + pair * 8;
        cb = LoadLE16(p) >> 6;
        cr = LoadLE16(p + 4) >> 6;
        y = LoadLE16(p + ((c & 1) ? 6 : 2)) >> 6;
    };
    return images_detail::YCbCrDib(nWidth, nHeight, kDibRange10, mode, samples);
}

BOOL YCbCr_10_6::SaveBMP(const CString& path, DWORD mode, DWORD layout) const {
    return images_detail::SaveBitmapFile(*this, path, mode, layout, false);
}

}  // namespace Image
}  // namespace Unpacked
