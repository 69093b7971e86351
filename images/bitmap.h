// Device-independent bitmaps made from images, and the BMP file that the 4:2:2 classes write.
#pragma once

#include <algorithm>
#include <limits>

#include "images/image.h"
#include "platform/cstring.h"
#include "platform/types.h"

// The standard 40-byte bitmap information header, as it stands in a DIB block and a BMP file.
struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40, "the header is 40 bytes on every platform");

// Value ranges of the conversion: 8-bit samples, or 10-bit samples shifted down to 8 bits.
struct DibRange {
    int lo;
    int hi;
    int centre;
    int shift;
};
constexpr DibRange kDibRange8 = {16, 245, 128, 0};
constexpr DibRange kDibRange10 = {64, 940, 512, 2};

namespace images_detail {

// Whether the signed 32-bit fields that headers give a picture's sides can hold width and height:
// the bitmap's biWidth and biHeight (minus the height), the text form's WIDTH= and HEIGHT=.
constexpr bool HeadersHoldSides(DWORD width, DWORD height) {
    constexpr DWORD kMost = static_cast<DWORD>(std::numeric_limits<LONG>::max());
    return width <= kMost && height <= kMost;
}

// A DIB block of width x height 32-bit pixels with its header filled (biHeight negative: top
// row first) and the pixels zero (left as they come when the caller writes every byte of them);
// null when it cannot be had or the header cannot hold the picture.
DibBlock NewDib(DWORD width, DWORD height, bool zeroPixels = true);
inline BYTE* DibPixels(const DibBlock& dib) { return dib.get() + sizeof(BITMAPINFOHEADER); }

struct ConversionGains {
    double kR, kGu, kGv, kB;
    int r, gu, gv, b;  // the same gains in units of 1 / 100000
};
constexpr int kGainUnits = 100000;
// Modes 1 and 2: the two colour matrices in use; Y enters without black-level offset or gain.
constexpr ConversionGains kGains[2] = {
    {1.37071, 0.33645, 0.6982, 1.73245, 137071, 33645, 69820, 173245},
    {1.53965, 0.18314, 0.45768, 1.81418, 153965, 18314, 45768, 181418},
};

inline BYTE DibByte(double v, const DibRange& r) {
    return static_cast<BYTE>(std::clamp(static_cast<int>(v), r.lo, r.hi) >> r.shift);
}

// floor(n / kGainUnits) for |n| below 10^8 (a gain times a chroma difference), without branches.
inline int FloorUnits(int n) { return static_cast<int>(static_cast<unsigned>(n + 1000 * kGainUnits) / kGainUnits) - 1000; }

// n pairs (Cb, Y0, Cr, Y1 as little-endian 16-bit words, each sample in the bits above shift) to 8
// DIB bytes each in colour mode 1 or 2, in integers, a block of pairs at a time so that the steps
// run on vectors: the same bytes as YCbCrToBgr gives each pixel. With Y whole, the double sum
// truncates to Y + floor(gain x chroma), since each product of a gain in 1 / 100000 units lies at
// least 1 / 100000 from a whole number unless it is one, which the double computes exactly;
// green's two products can add up to a whole number, which the double may miss by a rounding, so
// that pair is converted as YCbCrToBgr does.
void YCbCrPairsToBgr(const DibRange& range, DWORD mode, const BYTE* pairs, int shift, size_t n, BYTE* out);

// Converts one YCbCr pixel to blue, green, red in conversion mode 1 to 5; false for other modes.
// Inline: pictures convert it once a pixel.
inline bool YCbCrToBgr(const DibRange& range, DWORD mode, int y, int cb, int cr, BYTE bgr[3]) {
    y = std::clamp(y, range.lo, range.hi);
    cb = std::clamp(cb, range.lo, range.hi);
    cr = std::clamp(cr, range.lo, range.hi);
    switch (mode) {
    case 1:
    case 2: {
        const ConversionGains& k = kGains[mode - 1];
        double u = cb - range.centre, v = cr - range.centre;
        bgr[2] = DibByte(y + k.kR * v, range);
        bgr[1] = DibByte(y - k.kGu * u - k.kGv * v, range);
        bgr[0] = DibByte(y + k.kB * u, range);
        return true;
    }
    case 3:
        bgr[0] = bgr[1] = bgr[2] = static_cast<BYTE>(y >> range.shift);
        return true;
    case 4:
        bgr[0] = bgr[1] = bgr[2] = static_cast<BYTE>((2 * std::max(cb - range.centre, 0)) >> range.shift);
        return true;
    case 5:
        bgr[0] = bgr[1] = bgr[2] = static_cast<BYTE>((2 * std::max(cr - range.centre, 0)) >> range.shift);
        return true;
    default:
        return false;
    }
}


// The grey level of an alpha value.
BYTE AlphaToGrey(const DibRange& range, int value);

// Writes image.CreateDIB(mode) as a BMP file in layout 0 to 3 (any layout when anyLayout, else
// only 0), replacing path only with the whole file. 0, with path as it was, when the file cannot
// be created or written (errno says why), the layout is refused, or there is no bitmap.
BOOL SaveBitmapFile(const CImage& image, const CString& path, DWORD mode, DWORD layout, bool anyLayout);

}  // namespace images_detail
