// DCB geometry as the DMA engine reads it: DWORD counts with either 16bit flag, pad, and whole-block runs.
#include "sim/dma_engine.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using Runs = std::vector<std::pair<uint64_t, uint64_t>>;

sim::DcbImage Geometry(uint32_t start, uint32_t lines, uint32_t initial, uint32_t lineLength, uint32_t pad, bool is16) {
    sim::DcbImage d;
    d.w[0] = is16 ? 1u << 13 : 0;
    d.w[2] = start;
    d.w[3] = lines << 16 | initial;
    d.w[4] = pad << 16 | lineLength;
    return d;
}

Runs RunsOf(const sim::DcbImage& d) {
    Runs runs;
    sim::DmaEngine::ForEachRun(d, [&](uint64_t at, uint64_t len) { runs.emplace_back(at, len); });
    return runs;
}

TEST(DmaGeometryTest, LinesCountDwordsWithEitherFlagAndPadSkipsAfterEachLine) {
    for (bool is16 : {false, true}) {
        SCOPED_TRACE(is16 ? "16bit" : "32bit");
        EXPECT_EQ(Geometry(0, 3, 5, 7, 0, is16).Bytes(), 104u) << "5 + 3 x 7 DWORDs";
        EXPECT_EQ(RunsOf(Geometry(0x1000, 3, 5, 7, 0, is16)), (Runs{{0x1000, 104}})) << "no pad: one block";
        EXPECT_EQ(RunsOf(Geometry(0x1000, 3, 5, 7, 2, is16)), (Runs{{0x1000, 20}, {0x1000 + 28, 28}, {0x1000 + 64, 28}, {0x1000 + 100, 28}}));
    }
    EXPECT_EQ(Geometry(0, 0xFFFF, 0xFFFF, 0xFFFF, 0, true).Bytes(), 4ull * 0x10000 * 0xFFFF) << "beyond 32 bits of bytes";
    EXPECT_TRUE(RunsOf(Geometry(0x40, 0, 0, 0, 3, false)).empty());
    EXPECT_EQ(RunsOf(Geometry(0, 2, 0, 4, 1, false)), (Runs{{0, 16}, {20, 16}})) << "an empty initial line leaves no gap";
}

}  // namespace
