// YCbCr to 32-bit bitmap conversion and the BMP file writer with its field layouts.
#include "images/bitmap.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "images/byte_order.h"
#include "images/file_error.h"

namespace images_detail {

DibBlock NewDib(DWORD width, DWORD height, bool zeroPixels) {
    if (!HeadersHoldSides(width, height)) return nullptr;
    uint64_t bytes = sizeof(BITMAPINFOHEADER) + uint64_t(width) * height * 4;
    if (bytes > std::numeric_limits<DWORD>::max()) return nullptr;
    DibBlock dib(zeroPixels ? new (std::nothrow) BYTE[static_cast<size_t>(bytes)]() : new (std::nothrow) BYTE[static_cast<size_t>(bytes)]);
    if (!dib) return nullptr;
    BITMAPINFOHEADER h{};
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = static_cast<LONG>(width);
    h.biHeight = -static_cast<LONG>(height);
    h.biPlanes = 1;
    h.biBitCount = 32;
    std::memcpy(dib.get(), &h, sizeof h);
    return dib;
}

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define PEX_VECTOR_ROWS __attribute__((target_clones("avx2", "default"), optimize("tree-vectorize", "vect-cost-model=dynamic")))
#else
#define PEX_VECTOR_ROWS
#endif

PEX_VECTOR_ROWS void YCbCrPairsToBgr(const DibRange& range, DWORD mode, const BYTE* pairs, int shift, size_t n, BYTE* out) {
    constexpr size_t kBlock = 64;
    const ConversionGains& k = kGains[mode - 1];
    const int lo = range.lo, hi = range.hi, centre = range.centre, byteShift = range.shift;
    for (size_t first = 0; first < n; first += kBlock) {
        const size_t count = std::min(kBlock, n - first);
        const BYTE* p = pairs + 8 * first;
        BYTE* o = out + 8 * first;
        int y0[kBlock], y1[kBlock], r[kBlock], g[kBlock], b[kBlock], whole[kBlock];
        for (size_t i = 0; i < count; ++i) {
            const int cb = (p[8 * i] | p[8 * i + 1] << 8) >> shift, cr = (p[8 * i + 4] | p[8 * i + 5] << 8) >> shift;
            y0[i] = std::clamp((p[8 * i + 2] | p[8 * i + 3] << 8) >> shift, lo, hi);
            y1[i] = std::clamp((p[8 * i + 6] | p[8 * i + 7] << 8) >> shift, lo, hi);
            const int u = std::clamp(cb, lo, hi) - centre, v = std::clamp(cr, lo, hi) - centre;
            const int green = k.gu * u + k.gv * v;
            r[i] = FloorUnits(k.r * v);
            g[i] = FloorUnits(-green);
            b[i] = FloorUnits(k.b * u);
            whole[i] = (g[i] * kGainUnits == -green) & ((u | v) != 0);
        }
        for (size_t i = 0; i < count; ++i) {
            o[8 * i + 0] = static_cast<BYTE>(std::clamp(y0[i] + b[i], lo, hi) >> byteShift);
            o[8 * i + 1] = static_cast<BYTE>(std::clamp(y0[i] + g[i], lo, hi) >> byteShift);
            o[8 * i + 2] = static_cast<BYTE>(std::clamp(y0[i] + r[i], lo, hi) >> byteShift);
            o[8 * i + 3] = 0;
            o[8 * i + 4] = static_cast<BYTE>(std::clamp(y1[i] + b[i], lo, hi) >> byteShift);
            o[8 * i + 5] = static_cast<BYTE>(std::clamp(y1[i] + g[i], lo, hi) >> byteShift);
            o[8 * i + 6] = static_cast<BYTE>(std::clamp(y1[i] + r[i], lo, hi) >> byteShift);
            o[8 * i + 7] = 0;
        }
        // Where green's products add up to a whole number: the pair as the doubles give it.
        for (size_t i = 0; i < count; ++i) {
            if (!whole[i]) continue;
            const int cb = (p[8 * i] | p[8 * i + 1] << 8) >> shift, cr = (p[8 * i + 4] | p[8 * i + 5] << 8) >> shift;
            YCbCrToBgr(range, mode, (p[8 * i + 2] | p[8 * i + 3] << 8) >> shift, cb, cr, o + 8 * i);
            YCbCrToBgr(range, mode, (p[8 * i + 6] | p[8 * i + 7] << 8) >> shift, cb, cr, o + 8 * i + 4);
        }
    }
}

BYTE AlphaToGrey(const DibRange& range, int value) {
    return static_cast<BYTE>(std::clamp(value, range.lo, range.hi) >> range.shift);
}

namespace {

// The BMP file of the picture in dib, in the layout's rows, written into file; FALSE when a write
// failed or a buffer could not be had.
BOOL WriteBitmap(CFile& file, const DibBlock& dib, DWORD layout) {
    BITMAPINFOHEADER info;
    std::memcpy(&info, dib.get(), sizeof info);
    const DWORD width = static_cast<DWORD>(info.biWidth);
    const DWORD height = static_cast<DWORD>(-info.biHeight);
    const size_t rowBytes = size_t(width) * 4;
    const BYTE* pixels = DibPixels(dib);
    auto row = [&](DWORD r) { return pixels + size_t(r) * rowBytes; };

    // The field layouts take two fields of H / 2 rows each; an odd picture's last row is in neither.
    const DWORD half = height / 2;
    const DWORD fieldRows = 2 * half;
    const bool known = layout <= 3;
    const DWORD rows = layout == 0 ? height : layout == 2 ? half : fieldRows;

    BYTE header[14 + sizeof(BITMAPINFOHEADER)];
    uint64_t fileBytes = known ? sizeof header + uint64_t(rows) * rowBytes : 14;
    header[0] = 'B';
    header[1] = 'M';
    images_detail::StoreLE32(header + 2, static_cast<DWORD>(fileBytes));
    images_detail::StoreLE32(header + 6, 0);
    images_detail::StoreLE32(header + 10, sizeof header + 4 * info.biClrUsed);
    if (!known) return file.Write(header, 14) ? TRUE : FALSE;  // an unknown layout gets the file header alone
    info.biHeight = static_cast<LONG>(rows);
    std::memcpy(header + 14, &info, sizeof info);
    if (!file.Write(header, sizeof header)) return FALSE;

    // Rows go out gathered a megabyte at a time: one write call per row costs more than the copy.
    std::vector<BYTE> staged;
    try {
        staged.reserve(std::max<size_t>(rowBytes, size_t{1} << 20));
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
    bool ok = true;
    auto flush = [&] {
        ok = ok && file.Write(staged.data(), static_cast<UINT>(staged.size()));
        staged.clear();
    };
    auto put = [&](const BYTE* p) {
        if (staged.size() + rowBytes > staged.capacity()) flush();
        staged.insert(staged.end(), p, p + rowBytes);
    };
    switch (layout) {
    case 0:
        for (DWORD r = height; r-- > 0;) put(row(r));
        break;
    case 1:  // fields stacked top and bottom, woven back into frame order
        for (DWORD j = half; j-- > 0;) {
            put(row(j));
            put(row(half + j));
        }
        break;
    case 2:  // field 1 alone at half height
        for (DWORD r = half; r-- > 0;) put(row(r));
        break;
    case 3: {  // field 1 with the missing lines interpolated
        std::vector<BYTE> between;
        try {
            between.resize(rowBytes);
        } catch (const std::bad_alloc&) {
            return FALSE;
        }
        DWORD cursor = half - 1;
        for (DWORD k = 0; k < fieldRows; ++k) {
            if (k % 2 == 0 || k == fieldRows - 1) {
                put(row(cursor));
            } else {
                const BYTE* a = row(cursor);
                const BYTE* b = row(cursor - 1);
                for (size_t i = 0; i < rowBytes; ++i) between[i] = static_cast<BYTE>((a[i] + b[i]) / 2);
                put(between.data());
                --cursor;
            }
        }
        break;
    }
    }
    flush();
    return ok ? TRUE : FALSE;
}

}  // namespace

BOOL SaveBitmapFile(const CImage& image, const CString& path, DWORD mode, DWORD layout, bool anyLayout) {
    if (!anyLayout && layout != 0) return FALSE;
    // The picture is converted once the file could be created.
    const SaveOutcome saved = SaveWhole(path, [&](CFile& file) {
        const DibBlock dib = image.CreateDIB(mode);
        return dib ? WriteBitmap(file, dib, layout) : FALSE;
    });
    return saved.result == 1 ? TRUE : FALSE;
}

}  // namespace images_detail
