// 8-bit pictures and alphas: pattern fills, pixel access, bitmaps and BMP files.
#include "images/image_8bit.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "images/image_detail.h"
#include "images/line.h"
#include "platform/runtime.h"

namespace {

BYTE Low(DWORD v) { return static_cast<BYTE>(v); }

// Pairs whose random values one call of the generator's batch form draws.
constexpr size_t kRandomPairs = 340;

// count pairs (Cb, Y0, Cr, Y1) from three draws each: Y0, Y1 and the chroma ramp's distance
// from 128 (twice over), or neutral chroma; vectorised for the processor at hand.
PEX_VECTOR_LOOP void RandomPairs(BYTE* out, const int* draws, size_t count, bool ramp) {
    if (ramp) {
        for (size_t i = 0; i < count; ++i) {
            const DWORD d = DWORD(draws[3 * i + 2]) >> 1;
            out[4 * i] = Low(128 - d);
            out[4 * i + 1] = Low(DWORD(draws[3 * i]));
            out[4 * i + 2] = Low(128 + d);
            out[4 * i + 3] = Low(DWORD(draws[3 * i + 1]));
        }
    } else {
        for (size_t i = 0; i < count; ++i) {
            out[4 * i] = 128;
            out[4 * i + 1] = Low(DWORD(draws[3 * i]));
            out[4 * i + 2] = 128;
            out[4 * i + 3] = Low(DWORD(draws[3 * i + 1]));
        }
    }
}

}  // namespace

namespace Image {

namespace {

// Chroma of wedge and tile modes 1 and 2 at position p: running from 128 in opposite directions.
bool RampChroma(DWORD mode, DWORD p, BYTE& cb, BYTE& cr) {
    if (mode == 1) {
        cb = Low(128 - (p >> 1));
        cr = Low(128 + (p >> 1));
        return true;
    }
    if (mode == 2) {
        cb = Low(128 + (p >> 1));
        cr = Low(128 - (p >> 1));
        return true;
    }
    return false;
}

void SetPair(BYTE pair[4], BYTE y0, BYTE y1, BYTE cb, BYTE cr) {
    pair[0] = cb;
    pair[1] = y0;
    pair[2] = cr;
    pair[3] = y1;
}

// The pair positions of the fills' walk row by row (PairPositionsPerRow a row, at most limit in
// all): fill(row, pairs, count) writes the count pairs of that row.
template <class Fill>
void FillRows(BYTE* pairs, DWORD width, DWORD height, uint64_t limit, Fill fill) {
    const uint64_t perRow = images_detail::PairPositionsPerRow(width);
    if (perRow == 0) return;
    for (uint64_t r = 0; r < height && r * perRow < limit; ++r)
        fill(static_cast<DWORD>(r), pairs + 4 * r * perRow, static_cast<size_t>(std::min(perRow, limit - r * perRow)));
}

}  // namespace

YCbCr_8bit::YCbCr_8bit(DWORD width, DWORD height) : CImage(width, height, 0) { Allocate(); }

const ImageFileForm& YCbCr_8bit::FileForm() const {
    static constexpr ImageFileForm kForm = {
        .guid = GuidBytes(0x141B117D, 0x22DF, 0x40DA, {0xA9, 0x61, 0x27, 0x71, 0x88, 0x73, 0x18, 0xA8}),
        .shortRecords = true};
    return kForm;
}

BYTE* YCbCr_8bit::Allocate() { return AllocateBlock(0, images_detail::ZeroFill); }

template <class Make>
bool YCbCr_8bit::WalkPairs(Make make) {
    if (!pBuffer) return false;
    // An odd width gives a row more pairs than its pixels; the data in the block bounds the walk.
    images_detail::ForEachPairPosition(nWidth, nHeight, DataBytesInBlock() / 4,
                                       [&](DWORD r, DWORD c, size_t k) { make(r, c, pBuffer + 4 * k); });
    return true;
}

BYTE* YCbCr_8bit::PairOf(DWORD row, DWORD col) const {
    if (!pBuffer || row >= nHeight || col >= nWidth) return nullptr;
    uint64_t pair = (uint64_t(row) * nWidth + (col & ~1u)) / 2;
    return pair * 4 + 4 <= DataBytesInBlock() ? pBuffer + pair * 4 : nullptr;
}

bool YCbCr_8bit::GetPixel(DWORD row, DWORD col, WORD* y, WORD* cb, WORD* cr) const {
    const BYTE* p = PairOf(row, col);
    if (!p || !y || !cb || !cr) return false;
    *cb = p[0];
    *cr = p[2];
    *y = (col & 1) ? p[3] : p[1];
    return true;
}

bool YCbCr_8bit::SetPixel(DWORD row, DWORD col, const BYTE* y, const BYTE* cb, const BYTE* cr) {
    BYTE* p = PairOf(row, col);
    if (!p || !y || !cb || !cr) return false;
    p[(col & 1) ? 3 : 1] = *y;
    p[0] = *cb;
    p[2] = *cr;
    return true;
}

CString YCbCr_8bit::GetPixelText(DWORD x, DWORD y) const {
    WORD luma = 0, cb = 0, cr = 0;
    GetPixel(y, x, &luma, &cb, &cr);
    CString text;
    text.Format("Y=0x%02X, Cb=0x%02X  Cr=0x%02X", luma, cb, cr);
    return text;
}

bool YCbCr_8bit::FillSolid(BYTE y, BYTE cb, BYTE cr) {
    if (!pBuffer) return false;
    size_t pairs = std::min<uint64_t>(uint64_t(nWidth) * nHeight / 2, DataBytesInBlock() / 4);
    // One pair, then copies of what is written so far, doubling.
    if (pairs) SetPair(pBuffer, y, y, cb, cr);
    images_detail::RepeatBytes(pBuffer, 4, 4 * pairs);
    return true;
}

bool YCbCr_8bit::FillTiles(DWORD mode) {
    return WalkPairs([&](DWORD r, DWORD c, BYTE* pair) {
        BYTE cb, cr;
        if (mode == 0) {
            // 64 levels 4 apart, laid out row-major in every 8 x 8 block.
            DWORD index = c % 8 + 8 * (r % 8);
            SetPair(pair, Low(4 * index), Low(4 * (index + 1)), 0, 0);
        } else if (RampChroma(mode, c, cb, cr)) {
            SetPair(pair, Low(c), Low(c + 1), cb, cr);
        }
    });
}

bool YCbCr_8bit::FillHorzWedge(DWORD mode) {
    if (!pBuffer) return false;
    BYTE cb, cr;
    if (mode != 0 && !RampChroma(mode, 0, cb, cr)) return true;  // an unknown mode writes nothing
    // A pair depends on its column only: the first row is made, the others copied from it.
    const BYTE* first = pBuffer;
    FillRows(pBuffer, nWidth, nHeight, DataBytesInBlock() / 4, [&](DWORD r, BYTE* row, size_t count) {
        if (r > 0) {
            std::memcpy(row, first, 4 * count);
            return;
        }
        for (size_t j = 0; j < count; ++j) {
            const DWORD c = static_cast<DWORD>(2 * j);
            if (mode == 0) SetPair(row + 4 * j, Low(c), Low(c + 1), 0, 0);
            else if (RampChroma(mode, c, cb, cr)) SetPair(row + 4 * j, Low(c), Low(c + 1), cb, cr);
        }
    });
    return true;
}

bool YCbCr_8bit::FillVertWedge(DWORD mode) {
    if (!pBuffer) return false;
    BYTE cb, cr;
    if (mode != 0 && !RampChroma(mode, 0, cb, cr)) return true;
    // A pair depends on its row only: each row is one pair repeated.
    FillRows(pBuffer, nWidth, nHeight, DataBytesInBlock() / 4, [&](DWORD r, BYTE* row, size_t count) {
        if (mode == 0) SetPair(row, Low(r % 64), Low(r % 64), 128, 128);
        else if (RampChroma(mode, r, cb, cr)) SetPair(row, Low(r), Low(r), cb, cr);
        images_detail::RepeatBytes(row, 4, 4 * count);
    });
    return true;
}

bool YCbCr_8bit::FillRandom(DWORD seed, DWORD mode) {
    platform::srand(seed);
    if (!pBuffer) return false;
    // Three draws a pair along the pair positions; where a pair lies does not matter.
    const uint64_t pairs =
        nWidth == 0 ? 0 : std::min<uint64_t>(images_detail::PairPositionsPerRow(nWidth) * nHeight, DataBytesInBlock() / 4);
    int draws[3 * kRandomPairs];
    for (uint64_t start = 0; start < pairs; start += kRandomPairs) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(kRandomPairs, pairs - start));
        platform::RandFill(draws, 3 * count);
        RandomPairs(pBuffer + 4 * start, draws, count, (mode & 0xFF) == 1);
    }
    return true;
}

bool YCbCr_8bit::FillRandomFromTime(DWORD mode) {
    return FillRandom(static_cast<DWORD>(platform::time(nullptr)), mode);
}

bool YCbCr_8bit::FillDiagonalLines(DWORD unused) {
    (void)unused;
    FillSolid(0, 128, 128);
    DrawLine(0, 0, nWidth - 1, nHeight - 1, 255, 255, 0);
    DrawLine(nWidth - 1, 0, 0, nHeight - 1, 255, 0, 255);
    return true;
}

bool YCbCr_8bit::FillGrid(DWORD unused) {
    (void)unused;
    FillSolid(255, 128, 128);
    images_detail::GridLines(nWidth, nHeight,
                             [&](DWORD x0, DWORD y0, DWORD x1, DWORD y1) { DrawLine(x0, y0, x1, y1, 0, 128, 128); });
    return true;
}

bool YCbCr_8bit::FillPattern(DWORD code) {
    switch (code) {
    case 1: FillHorzWedge(0); break;
    case 2: FillHorzWedge(2); break;
    case 3: FillHorzWedge(1); break;
    case 4: FillVertWedge(0); break;
    case 5: FillVertWedge(2); break;
    case 6: FillVertWedge(1); break;
    case 7: FillDiagonalLines(1); break;
    case 8: FillSolid(144, 64, 128); break;  // the low bytes of the 10-bit pattern's 400, 64, 640
    case 9: FillGrid(1); break;
    case 10: FillRandomFromTime(1); break;
    default: return false;
    }
    return true;
}

bool YCbCr_8bit::DrawLine(DWORD x0, DWORD y0, DWORD x1, DWORD y1, BYTE y, BYTE cb, BYTE cr) {
    images_detail::WalkLine(x0, y0, x1, y1, nWidth, nHeight,
                            [&](DWORD x, DWORD row) { SetPixel(row, x, &y, &cb, &cr); });
    return true;
}

DibBlock YCbCr_8bit::CreateDIB(DWORD mode) const {
    if (!pBuffer) return nullptr;
    auto samples = [this](DWORD r, DWORD c, WORD& y, WORD& cb, WORD& cr) { GetPixel(r, c, &y, &cb, &cr); };
    return images_detail::YCbCrDib(nWidth, nHeight, kDibRange8, mode, samples);
}

BOOL YCbCr_8bit::SaveBMP(const CString& path, DWORD mode, DWORD layout) const {
    return images_detail::SaveBitmapFile(*this, path, mode, layout, true);
}

}  // namespace Image

namespace Alpha {

YCbCr_8bit::YCbCr_8bit(DWORD width, DWORD height) : CImage(width, height, 0) { Allocate(); }

const ImageFileForm& YCbCr_8bit::FileForm() const {
    static constexpr ImageFileForm kForm = {
        .guid = GuidBytes(0xA86CE2C4, 0xA6F0, 0x4718, {0x9B, 0x46, 0xC9, 0xEB, 0x42, 0xE6, 0x14, 0x41}),
        .shortRecords = true};
    return kForm;
}

BYTE* YCbCr_8bit::Allocate() { return AllocateBlock(0, images_detail::ZeroFill); }

BYTE* YCbCr_8bit::PixelOf(DWORD row, DWORD col) const {
    if (!pBuffer || row >= nHeight || col >= nWidth) return nullptr;
    uint64_t index = uint64_t(row) * nWidth + col;
    return index < DataBytesInBlock() ? pBuffer + index : nullptr;
}

bool YCbCr_8bit::GetWord(DWORD index, DWORD* word) const {
    return RawWord(index, uint64_t(GetSize()) + GetOffset(), 0xFFFFFFFF, word);
}

CrcWordSpan YCbCr_8bit::GetCrcWords() const {
    return {pBuffer, RawWordCount(uint64_t(GetSize()) + GetOffset()), 0xFFFFFFFF};
}

bool YCbCr_8bit::GetPixel(DWORD row, DWORD col, BYTE* value) const {
    const BYTE* p = PixelOf(row, col);
    if (!p || !value) return false;
    *value = *p;
    return true;
}

bool YCbCr_8bit::SetPixel(DWORD row, DWORD col, const BYTE* value) {
    BYTE* p = PixelOf(row, col);
    if (!p || !value) return false;
    *p = *value;
    return true;
}

CString YCbCr_8bit::GetPixelText(DWORD x, DWORD y) const {
    BYTE value = 0;
    GetPixel(y, x, &value);
    CString text;
    text.Format("Alpha=0x%02X", value);
    return text;
}

bool YCbCr_8bit::FillSolid(BYTE value) {
    if (!pBuffer) return false;
    std::memset(pBuffer, value, DataBytesInBlock());
    return true;
}

template <class Make>
bool YCbCr_8bit::WalkPositions(Make make) {
    if (!pBuffer) return false;
    images_detail::ForEachPairPosition(nWidth, nHeight, DataBytesInBlock(),
                                       [&](DWORD r, DWORD c, size_t k) { make(r, c, pBuffer + k); });
    return true;
}

bool YCbCr_8bit::FillHorzWedge(DWORD mode) {
    return WalkPositions([&](DWORD, DWORD c, BYTE* p) {
        if (mode <= 2) *p = Low(c);
    });
}

bool YCbCr_8bit::FillVertWedge(DWORD mode) {
    return WalkPositions([&](DWORD r, DWORD, BYTE* p) {
        if (mode == 0) *p = Low(r % 64);
        else if (mode <= 2) *p = Low(r);
    });
}

bool YCbCr_8bit::FillRandom(DWORD seed) {
    platform::srand(seed);
    if (!pBuffer) return false;
    // One draw a pair position, the positions one byte after another.
    const uint64_t positions =
        nWidth == 0 ? 0 : std::min<uint64_t>(images_detail::PairPositionsPerRow(nWidth) * nHeight, DataBytesInBlock());
    int draws[3 * kRandomPairs];
    for (uint64_t start = 0; start < positions; start += std::size(draws)) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(std::size(draws), positions - start));
        platform::RandFill(draws, count);
        for (size_t i = 0; i < count; ++i) pBuffer[start + i] = Low(DWORD(draws[i]));
    }
    return true;
}

bool YCbCr_8bit::FillRandomFromTime() { return FillRandom(static_cast<DWORD>(platform::time(nullptr))); }

bool YCbCr_8bit::FillDiagonalLines() {
    FillSolid(0);
    DrawLine(0, 0, nWidth - 1, nHeight - 1, 255);
    DrawLine(nWidth - 1, 0, 0, nHeight - 1, 255);
    return true;
}

bool YCbCr_8bit::FillGrid() {
    FillSolid(255);
    images_detail::GridLines(nWidth, nHeight,
                             [&](DWORD x0, DWORD y0, DWORD x1, DWORD y1) { DrawLine(x0, y0, x1, y1, 0); });
    return true;
}

bool YCbCr_8bit::FillPattern(DWORD code) {
    switch (code) {
    case 1: FillHorzWedge(0); break;
    case 2: FillHorzWedge(2); break;
    case 3: FillHorzWedge(1); break;
    case 4: FillVertWedge(0); break;
    case 5: FillVertWedge(2); break;
    case 6: FillVertWedge(1); break;
    case 7: FillDiagonalLines(); break;
    case 8: FillSolid(128); break;
    case 9: FillGrid(); break;
    case 10: FillRandomFromTime(); break;
    default: return false;
    }
    return true;
}

bool YCbCr_8bit::DrawLine(DWORD x0, DWORD y0, DWORD x1, DWORD y1, BYTE value) {
    images_detail::WalkLine(x0, y0, x1, y1, nWidth, nHeight, [&](DWORD x, DWORD row) { SetPixel(row, x, &value); });
    return true;
}

DibBlock YCbCr_8bit::CreateDIB(DWORD mode) const {
    (void)mode;
    if (!pBuffer) return nullptr;
    return images_detail::AlphaDib(nWidth, nHeight, kDibRange8, [this](DWORD r, DWORD c) {
        BYTE v = 0;
        GetPixel(r, c, &v);
        return v;
    });
}

}  // namespace Alpha
