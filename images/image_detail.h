// Internal helpers of the image classes' sources: the block limit, the fills' pair walk and the bitmap loops.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "images/bitmap.h"
#include "platform/types.h"

// A plain loop over pixels, vectorised and cloned for the widest vector unit the processor has.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define PEX_VECTOR_LOOP __attribute__((target_clones("avx512f", "avx2", "default"), optimize("tree-vectorize", "vect-cost-model=dynamic")))
#else
#define PEX_VECTOR_LOOP
#endif

namespace images_detail {

// Blocks and files count their bytes in 32-bit sizes.
constexpr uint64_t kMaxBlockBytes = std::numeric_limits<DWORD>::max();

// The fresh contents of a block in the classes whose new blocks are all zero.
inline void ZeroFill(BYTE* block, size_t bytes) { std::memset(block, 0, bytes); }

// Copies the unit bytes at block to fill the first bytes bytes, whole copies first and then a part.
inline void RepeatBytes(BYTE* block, size_t unit, size_t bytes) {
    if (unit == 0) return;
    for (size_t done = std::min(unit, bytes); done < bytes; done *= 2)
        std::memcpy(block + done, block, std::min(done, bytes - done));
}

// Pair positions that the fills walk in each row: an odd width's last pixel takes a whole pair.
inline uint64_t PairPositionsPerRow(DWORD width) { return (uint64_t(width) + 1) / 2; }

// Visits the pixel-pair positions along the rows (column 0, 2, ... below width) as
// visit(row, column, k), k counting the positions from 0, and stops after limit of them.
template <class Visit>
void ForEachPairPosition(DWORD width, DWORD height, size_t limit, Visit visit) {
    // A picture of no columns may claim billions of rows (a file says so): nothing to walk.
    if (width == 0) return;
    size_t k = 0;
    for (DWORD r = 0; r < height; ++r) {
        for (uint64_t c = 0; c < width; c += 2) {
            if (k == limit) return;
            visit(r, static_cast<DWORD>(c), k++);
        }
    }
}

// The DIB of a width x height 4:2:2 picture in conversion mode 1 to 5 (null for any other
// mode); samples(row, col, y, cb, cr) reads a pixel, leaving 0 where it reads nothing.
template <class Samples>
DibBlock YCbCrDib(DWORD width, DWORD height, const DibRange& range, DWORD mode, Samples samples) {
    if (mode < 1 || mode > 5) return nullptr;
    DibBlock dib = NewDib(width, height);
    if (!dib || width == 0) return dib;  // no pixels, however many rows are claimed
    BYTE* out = DibPixels(dib);
    for (DWORD r = 0; r < height; ++r) {
        for (DWORD c = 0; c < width; ++c, out += 4) {
            WORD y = 0, cb = 0, cr = 0;
            samples(r, c, y, cb, cr);
            YCbCrToBgr(range, mode, y, cb, cr, out);
        }
    }
    return dib;
}

// The grey DIB of a width x height alpha; value(row, col) answers a pixel's value, 0 where it
// reads nothing.
template <class Value>
DibBlock AlphaDib(DWORD width, DWORD height, const DibRange& range, Value value) {
    DibBlock dib = NewDib(width, height);
    if (!dib || width == 0) return dib;  // no pixels, however many rows are claimed
    BYTE* out = DibPixels(dib);
    for (DWORD r = 0; r < height; ++r) {
        for (DWORD c = 0; c < width; ++c, out += 4) out[0] = out[1] = out[2] = AlphaToGrey(range, value(r, c));
    }
    return dib;
}

}  // namespace images_detail
