// YCbCr to 32-bit bitmap conversion and the BMP file writer with its field layouts.
#include "images/bitmap.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "images/byte_order.h"

namespace images_detail {

namespace {

constexpr UINT kCreateFlags = CFile::modeCreate | CFile::modeWrite | CFile::typeBinary;

}  // namespace

DibBlock NewDib(DWORD width, DWORD height) {
    uint64_t bytes = sizeof(BITMAPINFOHEADER) + uint64_t(width) * height * 4;
    if (bytes > std::numeric_limits<DWORD>::max()) return nullptr;
    DibBlock dib(new (std::nothrow) BYTE[static_cast<size_t>(bytes)]());
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

BYTE AlphaToGrey(const DibRange& range, int value) {
    return static_cast<BYTE>(std::clamp(value, range.lo, range.hi) >> range.shift);
}

BOOL SaveBitmapFile(const CImage& image, const CString& path, DWORD mode, DWORD layout, bool anyLayout) {
    CFile file;
    if (!file.Open(path, kCreateFlags)) return FALSE;
    if (!anyLayout && layout != 0) return FALSE;
    DibBlock dib = image.CreateDIB(mode);
    if (!dib) return FALSE;

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

    bool ok = true;
    auto put = [&](const BYTE* p) { ok = ok && file.Write(p, static_cast<UINT>(rowBytes)); };
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
    return ok ? TRUE : FALSE;
}

}  // namespace images_detail
