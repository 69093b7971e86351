// The line rule that the pattern fills and DrawLine of every image class share.
#pragma once

#include <algorithm>
#include <cstdint>

#include "platform/types.h"

namespace images_detail {

// Visits the points of the line from (x0, y0) to (x1, y1), x the column and y the row, that lie
// inside width x height: a straight run when x or y is constant, else Bresenham stepping along
// the major axis (a tie, d = 0, steps the major axis only). Points outside are skipped, and the
// walk stops once it has left the picture for good, so lines far outside cost nothing.
template <class Plot>
void WalkLine(DWORD x0, DWORD y0, DWORD x1, DWORD y1, DWORD width, DWORD height, Plot plot) {
    if (width == 0 || height == 0) return;
    if (x0 == x1) {
        if (x0 >= width) return;
        DWORD lo = std::min(y0, y1), hi = std::min(std::max(y0, y1), height - 1);
        for (uint64_t y = lo; y <= hi; ++y) plot(x0, static_cast<DWORD>(y));
        return;
    }
    if (y0 == y1) {
        if (y0 >= height) return;
        DWORD lo = std::min(x0, x1), hi = std::min(std::max(x0, x1), width - 1);
        for (uint64_t x = lo; x <= hi; ++x) plot(static_cast<DWORD>(x), y0);
        return;
    }
    int64_t dx = x1 > x0 ? int64_t(x1) - x0 : int64_t(x0) - x1;
    int64_t dy = y1 > y0 ? int64_t(y1) - y0 : int64_t(y0) - y1;
    int64_t sx = x1 < x0 ? -1 : 1, sy = y1 < y0 ? -1 : 1;
    int64_t x = x0, y = y0;
    auto gone = [&] {
        return (sx > 0 ? x >= int64_t(width) : x < 0) || (sy > 0 ? y >= int64_t(height) : y < 0);
    };
    auto visit = [&] {
        if (x >= 0 && y >= 0 && x < int64_t(width) && y < int64_t(height))
            plot(static_cast<DWORD>(x), static_cast<DWORD>(y));
    };
    // One Bresenham walk serves both axes: it steps the major coordinate every point and the
    // minor one where the error term says.
    auto walk = [&](int64_t& major, int64_t stepMajor, int64_t dMajor, int64_t& minor, int64_t stepMinor,
                    int64_t dMinor) {
        int64_t d = 2 * dMinor - dMajor;
        for (int64_t i = 0; i <= dMajor && !gone(); ++i) {
            visit();
            if (d > 0) {
                minor += stepMinor;
                d += 2 * (dMinor - dMajor);
            } else {
                d += 2 * dMinor;
            }
            major += stepMajor;
        }
    };
    if (dx >= dy) walk(x, sx, dx, y, sy, dy);
    else walk(y, sy, dy, x, sx, dx);
}

// The lines of the grid fills: a vertical and a horizontal line every 32 pixels from 0, then
// the last column and the last row. line(x0, y0, x1, y1) draws one line.
template <class Line>
void GridLines(DWORD width, DWORD height, Line line) {
    if (width > 0 && height > 0) {
        for (uint64_t c = 0; c < width; c += 32) line(DWORD(c), 0u, DWORD(c), height - 1);
        for (uint64_t r = 0; r < height; r += 32) line(0u, DWORD(r), width - 1, DWORD(r));
    }
    line(width - 1, 0u, width - 1, height - 1);
    line(0u, height - 1, width - 1, height - 1);
}

}  // namespace images_detail
