// Device-independent bitmaps made from images, and the BMP file that the 4:2:2 classes write.
#pragma once

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

// A DIB block of width x height 32-bit pixels with its header filled (biHeight negative: top
// row first) and the pixels zero; null when it cannot be had.
DibBlock NewDib(DWORD width, DWORD height);
inline BYTE* DibPixels(const DibBlock& dib) { return dib.get() + sizeof(BITMAPINFOHEADER); }

// Converts one YCbCr pixel to blue, green, red in conversion mode 1 to 5; false for other modes.
bool YCbCrToBgr(const DibRange& range, DWORD mode, int y, int cb, int cr, BYTE bgr[3]);
// The grey level of an alpha value.
BYTE AlphaToGrey(const DibRange& range, int value);

// Writes image.CreateDIB(mode) as a BMP file in layout 0 to 3 (any layout when anyLayout, else
// only 0). 0 when the file cannot be created, the layout is refused, or there is no bitmap.
BOOL SaveBitmapFile(const CImage& image, const CString& path, DWORD mode, DWORD layout, bool anyLayout);

}  // namespace images_detail
