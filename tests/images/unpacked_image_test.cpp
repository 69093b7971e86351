// Tests of the unpacked 10-bit pictures and alphas: fills, sample formats, lines and pixel access.

#include <algorithm>
#include <optional>

#include "image_test_util.h"

#include "images/line.h"
#include "images/wedge_patterns.h"

using namespace image_test;
using Quad = std::array<WORD, 4>;

namespace {

// The four words (Cb, Y0, Cr, Y1) of pair k, shifted down to their 10-bit values unless raw.
Quad Pair(const CImage& image, size_t k, bool raw = false) {
    Quad q;
    for (size_t i = 0; i < 4; ++i) q[i] = WORD((image.GetBuffer()[8 * k + 2 * i] | image.GetBuffer()[8 * k + 2 * i + 1] << 8) >> (raw ? 0 : 6));
    return q;
}

// The pixels of an alpha at the full value 1023, as (column, row).
std::set<std::pair<DWORD, DWORD>> Lit(const UAlpha& alpha) {
    std::set<std::pair<DWORD, DWORD>> points;
    WORD v = 0;
    for (DWORD r = 0; r < alpha.GetHeight(); ++r)
        for (DWORD c = 0; c < alpha.GetWidth(); ++c)
            if (alpha.GetPixel(r, c, v) && v == 1023) points.insert({c, r});
    return points;
}

}  // namespace

TEST(UnpackedPicture, FillsWriteTheirPairsAndRandomFillsFollowTheRuntimeGenerator) {
    // The 10-bit values Cb, Y0, Cr, Y1 of one pair after the fill.
    const struct { const char* name; DWORD w, h, format; std::function<bool(UPicture&)> fill; size_t pair; Quad values; } rows[] = {
        {"solid pattern ignores the limits", 6, 2, 4, [](UPicture& p) { return p.FillPattern(8, 100, 200); }, 5, {64, 400, 640, 400}},
        {"wedge clamps to lo", 4, 1, 4, [](UPicture& p) { return p.FillHorzWedge(0, 4, 0x3FB); }, 0, {512, 4, 512, 4}},
        {"wedge 1 chroma runs apart", 1030, 1, 4, [](UPicture& p) { return p.FillHorzWedge(1, 0, 0x3FF); }, 50, {462, 100, 562, 101}},
        {"wedge 1 wraps at 1024", 1030, 1, 4, [](UPicture& p) { return p.FillHorzWedge(1, 0, 0x3FF); }, 512, {0, 0, 0, 1}},
        {"wedge 2 runs the other way", 1030, 1, 4, [](UPicture& p) { return p.FillHorzWedge(2, 0, 0x3FF); }, 50, {562, 100, 462, 101}},
        {"vertical wedge 0 by row", 2, 300, 4, [](UPicture& p) { return p.FillVertWedge(0, 0, 0x3FF); }, 100, {512, 100, 512, 100}},
        {"vertical wedge 1 by row", 2, 300, 4, [](UPicture& p) { return p.FillVertWedge(1, 0, 0x3FF); }, 200, {412, 200, 612, 200}},
        {"vertical wedge 2 by row", 2, 300, 4, [](UPicture& p) { return p.FillVertWedge(2, 0, 0x3FF); }, 100, {562, 100, 462, 100}},
        // Pattern codes 2 and 5 are the blue-to-red wedges (Cb rising), 3 and 6 the red-to-blue ones.
        {"pattern 2: horizontal blue to red", 1030, 1, 4, [](UPicture& p) { return p.FillPattern(2, 0, 0x3FF); }, 50, {562, 100, 462, 101}},
        {"pattern 3: horizontal red to blue", 1030, 1, 4, [](UPicture& p) { return p.FillPattern(3, 0, 0x3FF); }, 50, {462, 100, 562, 101}},
        {"pattern 5: vertical blue to red", 2, 300, 4, [](UPicture& p) { return p.FillPattern(5, 0, 0x3FF); }, 100, {562, 100, 462, 100}},
        {"pattern 6: vertical red to blue", 2, 300, 4, [](UPicture& p) { return p.FillPattern(6, 0, 0x3FF); }, 200, {412, 200, 612, 200}},
        {"tiles: last levels", 16, 16, 4, [](UPicture& p) { return p.FillTiles(0, 0, 0x3FF); }, 127, {512, 992, 512, 1008}},
        {"format 1 masks the wedge", 8, 1, 1, [](UPicture& p) { return p.FillHorzWedge(0, 0, 0x3FF); }, 2, {512, 4, 512, 4}},
        {"ramp stride 4: group 1", 32, 2, 4, [](UPicture& p) { return p.FillRampStride4(); }, 7, {1, 1, 1, 1}},
        {"ramp stride 4: group 2", 32, 2, 4, [](UPicture& p) { return p.FillRampStride4(); }, 31, {2, 2, 2, 2}},
        {"diagonals: the falling one", 8, 8, 4, [](UPicture& p) { return p.FillDiagonalLines(1, 0, 0x3FF); }, 4, {1023, 1023, 0, 1023}},
        {"diagonals: the rising one", 8, 8, 4, [](UPicture& p) { return p.FillDiagonalLines(1, 0, 0x3FF); }, 7, {0, 1023, 1023, 1023}},
        {"grid: line along row 0", 8, 8, 4, [](UPicture& p) { return p.FillGrid(1, 4, 0x3FB); }, 2, {512, 4, 512, 4}},
        {"unknown modes write nothing", 2, 1, 4, [](UPicture& p) { return p.FillSolid(7, 8, 9) && p.FillHorzWedge(5, 0, 0x3FF) &&
             p.FillTiles(3, 0, 0x3FF); }, 0, {8, 7, 9, 7}},
        {"steep line steps along the rows", 4, 4, 4, [](UPicture& p) { return p.DrawLine(0, 0, 1, 3, 100, 9, 9); }, 4, {9, 0, 9, 100}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        UPicture image(r.w, r.h, 0);
        image.nSampleFormat = r.format;
        ASSERT_TRUE(r.fill(image));
        EXPECT_EQ(r.values, Pair(image, r.pair));
    }
    // Unknown patterns fail; the ramp needs whole groups of 16.
    UPicture image(360, 2, 0);
    EXPECT_FALSE(image.FillRampStride4() || image.FillPattern(0, 0, 0x3FF) || image.FillPattern(11, 0, 0x3FF));
    // Random fills follow the runtime's generator.
    UPicture random(4, 2, 0);
    ASSERT_TRUE(random.FillRandom(12345, 1, 0, 0x3FF));
    Lcg lcg{12345};
    for (size_t k = 0; k < 4; ++k) {
        DWORD r1 = lcg.Next(), r2 = lcg.Next(), r3 = lcg.Next();
        EXPECT_EQ(Quad({WORD((512 - (r3 >> 1)) & 0x3FF), WORD(r1 % 1024), WORD((512 + (r3 >> 1)) & 0x3FF), WORD(r2 % 1024)}), Pair(random, k)) << k;
    }
    EXPECT_EQ(lcg.Next(), platform::rand());  // the sequence goes on after the fill
    ASSERT_TRUE(random.FillRandom(12345, 0, 0, 0x3FF));  // mode 0: neutral chroma
    EXPECT_EQ(512, Pair(random, 3)[0]);
    UAlpha alpha(4, 1);
    ASSERT_TRUE(alpha.FillRandom(7));
    Lcg alcg{7};
    for (DWORD c = 0; c < 4; ++c) EXPECT_EQ(WORD(alcg.Next() % 1024 << 6), Pair(alpha, 0, true)[c]);
}

// The image lists' wedge keywords fill in the direction their names say: blue to red has Cb rising
// from 512 along the wedge, red to blue Cb falling, the plain wedge neutral chroma.
TEST(UnpackedPicture, WedgeKeywordsFillTheDirectionTheyName) {
    for (const WedgePattern& wedge : kWedgePatterns) {
        SCOPED_TRACE(wedge.keyword);
        const std::string name = wedge.keyword;
        const WORD want = name.ends_with("BLUE2RED") ? 562 : name.ends_with("RED2BLUE") ? 462 : 512;
        EXPECT_EQ(name.starts_with("HORZ"), wedge.horizontal);
        UPicture image(wedge.horizontal ? 200 : 2, wedge.horizontal ? 1 : 200, 0);
        image.nSampleFormat = 4;
        ASSERT_TRUE(wedge.horizontal ? image.FillHorzWedge(wedge.mode, 0, 0x3FF) : image.FillVertWedge(wedge.mode, 0, 0x3FF));
        // Position 100: pair 50 of the row, or row 100.
        EXPECT_EQ(want, Pair(image, wedge.horizontal ? 50 : 100)[0]);
    }
}

TEST(UnpackedPicture, SampleFormatsPixelAccessAndAlphaLinesGridsAndDiagonals) {
    auto pair = [](WORD y0, WORD y1, WORD cb, WORD cr, DWORD format) { Quad q; UPicture::MakePixelPair(q.data(), y0, y1, cb, cr, format); return q; };
    // Format 1 drops the low bits; an unknown format writes zeros.
    EXPECT_EQ(Quad({0x7F00, 0xFF00, 0x4000, 0x8000}), pair(0x3FF, 0x201, 0x1FE, 0x102, 1));
    EXPECT_EQ(Quad({0, 0, 0, 0}), pair(1, 2, 3, 4, 3));
    UPicture plain(16, 4, 0), encoded(16, 4, 0);  // an encoded fill converts to the plain one
    encoded.nSampleFormat = 2;
    plain.FillRandom(5, 1, 0, 0x3FF);
    encoded.FillRandom(5, 1, 0, 0x3FF);
    EXPECT_NE(AllBytes(plain), AllBytes(encoded));
    ASSERT_TRUE(encoded.ConvertToFormat4());
    EXPECT_EQ(std::make_pair(4u, AllBytes(plain)), std::make_pair(encoded.nSampleFormat, AllBytes(encoded)));
    EXPECT_FALSE(encoded.ConvertToFormat4());

    UPicture image(4, 2, 0);
    image.GetBuffer()[0] = 0x15;  // bits 0-5 of Cb of pair 0 are kept
    ASSERT_TRUE(image.SetPixel(0, 1, 0x3FF, 0x100, 0x200));
    EXPECT_EQ(Quad({0x4015, 0, 0x8000, 0xFFC0}), Pair(image, 0, true));
    WORD y, cb, cr;
    ASSERT_TRUE(image.GetPixel(0, 0, y, cb, cr));
    EXPECT_EQ(Quad({0, 0x100, 0x200, 0}), Quad({y, cb, cr, 0}));
    EXPECT_FALSE(image.SetPixel(2, 0, 1, 1, 1) || image.GetPixel(0, 4, y, cb, cr));
    UAlpha alpha(3, 2);
    DWORD word = 0;
    EXPECT_TRUE(alpha.SetPixel(1, 2, 0x2AB) && !alpha.GetWord(3, word) && alpha.GetWord(2, word));
    EXPECT_FALSE(alpha.SetPixel(2, 0, 1) || alpha.SetPixel(0, 3, 1) || alpha.GetPixel(9, 9, y));
    EXPECT_EQ(0xAAC00000u, word);
    UPicture small(3, 3, 16);  // 36 data bytes, then 16 offset bytes that no pixel operation may touch
    EXPECT_TRUE(small.FillHorzWedge(1, 0, 0x3FF) && small.FillVertWedge(0, 0, 0x3FF) && small.FillTiles(0, 0, 0x3FF) &&
                small.FillRandom(3, 1, 0, 0x3FF) && small.FillGrid(1, 0, 0x3FF) && small.FillDiagonalLines(1, 0, 0x3FF) &&
                small.FillSolid(1, 2, 3));
    EXPECT_EQ(Bytes(16, 0), BlockBytes(small, 36, 16));
    EXPECT_TRUE(!small.GetPixel(2, 2, y, cb, cr) && small.GetPixel(2, 1, y, cb, cr));  // the last pair would reach past the data
    UPicture none(0x10000, 0x10000, 0);  // more than a 32-bit block can hold: no block
    EXPECT_FALSE(none.GetBuffer() || none.FillHorzWedge(0, 0, 0x3FF) || none.FillSolid(1, 1, 1) || none.FillRandom(1, 0, 0, 0x3FF) ||
                 none.SetPixel(0, 0, 1, 1, 1));
    EXPECT_TRUE(none.FillPattern(1, 0, 0x3FF) && none.DrawLine(0, 0, 5, 5, 1, 1, 1));
    none.nSampleFormat = 2;
    EXPECT_FALSE(none.ConvertToFormat4() || none.CreateDIB(1));
    // Alphas: lines, grids and diagonals.
    using Points = std::set<std::pair<DWORD, DWORD>>;
    UAlpha line(4, 2), grid(4, 4), big(70, 40), frame(5, 5);
    EXPECT_TRUE(line.DrawLine(3, 1, 0, 0, 1023));
    EXPECT_EQ(Points({{0, 0}, {1, 0}, {2, 1}, {3, 1}}), Lit(line));
    ASSERT_TRUE(grid.FillGrid(0));
    EXPECT_EQ(Points({{1, 1}, {1, 2}, {2, 1}, {2, 2}}), Lit(grid));
    ASSERT_TRUE(big.FillGrid(0));
    EXPECT_EQ((70u - 4) * (40 - 3), Lit(big).size());  // lines at 0, 32 and the last row and column
    ASSERT_TRUE(frame.FillDiagonalLines(0, 0));
    const size_t diagonals = Lit(frame).size();
    ASSERT_TRUE(frame.FillDiagonalLines(0, 1));
    EXPECT_EQ(std::make_pair(size_t(9), size_t(21)), std::make_pair(diagonals, Lit(frame).size()));  // then the borders too
    EXPECT_TRUE(UAlpha(0, 0).FillGrid(0) && UPicture(16, 0, 0).FillDiagonalLines(1, 0, 0x3FF));
}

TEST(UnpackedPicture, FillsEqualThePairByPairWalkOnEverySizeAndFormat) {
    // Each fill against a walk of the pair positions (columns 0, 2, ... of each row, one pair
    // after another in the block, bounded by the data bytes) that makes every pair on its own.
    // A pair is (Y0, Y1, Cb, Cr) before the sample format, or nothing for a pair left as it was.
    using Want = std::optional<std::array<WORD, 4>>;
    auto clamp = [](DWORD v, WORD lo, WORD hi) { WORD w = std::min(WORD(v), hi); return w < lo ? lo : w; };
    auto wedgeChroma = [&](DWORD mode, DWORD p, DWORD m, WORD lo, WORD hi) -> std::optional<std::pair<WORD, WORD>> {
        const DWORD down = (512 - p / 2) & 0x3FF, up = (p / 2 + 512) & 0x3FF;
        if (mode == 0) return std::make_pair(clamp(512 & m, lo, hi), clamp(512 & m, lo, hi));
        if (mode == 1) return std::make_pair(clamp(down & m, lo, hi), clamp(up & m, lo, hi));
        if (mode == 2) return std::make_pair(clamp(up & m, lo, hi), clamp(down & m, lo, hi));
        return std::nullopt;
    };
    auto horz = [&](DWORD mode, WORD lo, WORD hi) {
        return [=](DWORD, DWORD x, DWORD m, Lcg&) -> Want {
            auto c = wedgeChroma(mode, x, m, lo, hi);
            if (!c) return std::nullopt;
            return std::array<WORD, 4>{clamp(x & m, lo, hi), clamp((x + 1) & m, lo, hi), c->first, c->second};
        };
    };
    auto vert = [&](DWORD mode, WORD lo, WORD hi) {
        return [=](DWORD r, DWORD, DWORD m, Lcg&) -> Want {
            auto c = wedgeChroma(mode, r, m, lo, hi);
            if (!c) return std::nullopt;
            return std::array<WORD, 4>{clamp(r & m, lo, hi), clamp(r & m, lo, hi), c->first, c->second};
        };
    };
    auto tiles = [&](WORD lo, WORD hi) {
        return [=](DWORD r, DWORD x, DWORD m, Lcg&) -> Want {
            DWORD k = 8 * (r % 8) + x % 8;
            return std::array<WORD, 4>{clamp(16 * k & m, lo, hi), clamp(16 * (k + 1) & m, lo, hi), clamp(512 & m, lo, hi), clamp(512 & m, lo, hi)};
        };
    };
    auto random = [&](BYTE mode, WORD lo, WORD hi) {
        return [=](DWORD, DWORD, DWORD m, Lcg& lcg) -> Want {
            DWORD r1 = lcg.Next(), r2 = lcg.Next(), r3 = lcg.Next();
            WORD cb = clamp(512 & m, lo, hi), cr = cb;
            if (mode == 1) cb = clamp((512 - (r3 >> 1)) & 0x3FF & m, lo, hi), cr = clamp((512 + (r3 >> 1)) & 0x3FF & m, lo, hi);
            return std::array<WORD, 4>{clamp(r1 % 1024 & m, lo, hi), clamp(r2 % 1024 & m, lo, hi), cb, cr};
        };
    };
    using Model = std::function<Want(DWORD, DWORD, DWORD, Lcg&)>;
    const struct { const char* name; std::function<bool(UPicture&)> fill; Model model; DWORD seed = 0; } rows[] = {
        {"horizontal wedge 0", [](UPicture& p) { return p.FillHorzWedge(0, 0, 0x3FF); }, horz(0, 0, 0x3FF)},
        {"horizontal wedge 1 clamped", [](UPicture& p) { return p.FillHorzWedge(1, 6, 0x3F0); }, horz(1, 6, 0x3F0)},
        {"horizontal wedge 2", [](UPicture& p) { return p.FillHorzWedge(2, 0, 0x3FF); }, horz(2, 0, 0x3FF)},
        {"horizontal wedge, unknown mode", [](UPicture& p) { return p.FillHorzWedge(3, 0, 0x3FF); }, horz(3, 0, 0x3FF)},
        {"vertical wedge 0 clamped", [](UPicture& p) { return p.FillVertWedge(0, 3, 0x200); }, vert(0, 3, 0x200)},
        {"vertical wedge 1", [](UPicture& p) { return p.FillVertWedge(1, 0, 0x3FF); }, vert(1, 0, 0x3FF)},
        {"vertical wedge 2", [](UPicture& p) { return p.FillVertWedge(2, 0, 0x3FF); }, vert(2, 0, 0x3FF)},
        {"vertical wedge, unknown mode", [](UPicture& p) { return p.FillVertWedge(9, 0, 0x3FF); }, vert(9, 0, 0x3FF)},
        {"tiles", [](UPicture& p) { return p.FillTiles(0, 0, 0x3FF); }, tiles(0, 0x3FF)},
        {"tiles clamped", [](UPicture& p) { return p.FillTiles(0, 40, 0x300); }, tiles(40, 0x300)},
        {"random, chroma ramp", [](UPicture& p) { return p.FillRandom(77, 1, 0, 0x3FF); }, random(1, 0, 0x3FF), 77},
        {"random, neutral clamped", [](UPicture& p) { return p.FillRandom(78, 0, 9, 0x3F7); }, random(0, 9, 0x3F7), 78},
        {"random, chroma ramp clamped", [](UPicture& p) { return p.FillRandom(0xDEADBEEF, 1, 0x101, 0x2F3); }, random(1, 0x101, 0x2F3), 0xDEADBEEF},
        {"random, low above high", [](UPicture& p) { return p.FillRandom(79, 1, 0x300, 0x100); }, random(1, 0x300, 0x100), 79},
        {"random, mode 2 neutral", [](UPicture& p) { return p.FillRandom(80, 2, 0, 0x3FF); }, random(2, 0, 0x3FF), 80},
    };
    const std::pair<DWORD, DWORD> sizes[] = {{1, 1}, {3, 3}, {7, 1}, {5, 7}, {2, 33}, {33, 2}, {17, 9}, {16, 1}, {15, 2}, {1030, 3}, {31, 300}};
    for (const auto& row : rows) {
        for (auto [w, h] : sizes) {
            for (DWORD format : {4u, 1u, 2u, 3u}) {  // 3: unknown, zero pairs
                SCOPED_TRACE(testing::Message() << row.name << " " << w << "x" << h << " format " << format);
                UPicture image(w, h, 12);  // the offset bytes behind the data stay as they are
                image.nSampleFormat = format;
                const size_t blockBytes = image.GetSize() + image.GetOffset();
                for (size_t i = 0; i < blockBytes; ++i) image.GetBuffer()[i] = BYTE(0xA5 ^ i);
                Bytes want = AllBytes(image);
                const DWORD m = format == 1 ? 0x3FC : 0x3FF;
                Lcg lcg{row.seed};
                size_t k = 0;
                const size_t limit = image.GetSize() / 8;
                for (DWORD r = 0; r < h && k < limit; ++r) {
                    for (DWORD x = 0; x < w && k < limit; x += 2, ++k) {
                        const Want v = row.model(r, x, m, lcg);
                        if (!v) continue;
                        WORD pair[4];
                        UPicture::MakePixelPair(pair, (*v)[0], (*v)[1], (*v)[2], (*v)[3], format);
                        for (int i = 0; i < 4; ++i) want[8 * k + 2 * i] = BYTE(pair[i]), want[8 * k + 2 * i + 1] = BYTE(pair[i] >> 8);
                    }
                }
                ASSERT_TRUE(row.fill(image));
                ASSERT_EQ(want, AllBytes(image));
                // The generator goes on from the fill's last draw, as after one call per draw.
                if (row.seed) {
                    ASSERT_EQ(lcg.Next(), platform::rand());
                }
            }
        }
    }
    // The solid fill: every whole pair of the data (width x height / 2 of them, not the pair
    // positions) takes Cb, Y, Cr, Y in its words' bits 15..6 and keeps their bits 0-5.
    for (auto [w, h] : sizes) {
        SCOPED_TRACE(testing::Message() << "solid " << w << "x" << h);
        UPicture image(w, h, 12);
        const size_t blockBytes = image.GetSize() + image.GetOffset();
        for (size_t i = 0; i < blockBytes; ++i) image.GetBuffer()[i] = BYTE(0xA5 ^ (7 * i));
        Bytes want = AllBytes(image);
        const WORD values[4] = {0x1C0, 0x2A5, 0x3FE, 0x2A5};  // low bits 00, 01, 10
        for (size_t k = 0; k < size_t(w) * h / 2 && 8 * k + 8 <= image.GetSize(); ++k) {
            for (size_t i = 0; i < 4; ++i) {
                const size_t at = 8 * k + 2 * i;
                const WORD word = WORD(values[i] << 6 | (want[at] & 0x3F));
                want[at] = BYTE(word), want[at + 1] = BYTE(word >> 8);
            }
        }
        ASSERT_TRUE(image.FillSolid(0x2A5, 0x1C0, 0x3FE));
        ASSERT_EQ(want, AllBytes(image));
    }
    // Lines: the points of the line rule, each set as SetPixel sets it, lines partly or wholly
    // outside and a block shorter than the picture included.
    const struct { DWORD x0, y0, x1, y1; } lines[] = {{0, 0, 40, 0}, {3, 1, 3, 400}, {0, 2, 31, 1}, {30, 0, 0, 299},
                                                      {2, 7, 9000, 7}, {5, 1, 1, 5}, {9000, 9000, 0, 0}, {1, 0, 1, 0}};
    for (auto [w, h] : sizes) {
        for (const bool shortBlock : {false, true}) {
            SCOPED_TRACE(testing::Message() << "lines " << w << "x" << h << (shortBlock ? ", block of two rows fewer" : ""));
            UPicture fast(w, h, 12), slow(w, h, 12);
            UAlpha fastAlpha(w, h), slowAlpha(w, h);
            const size_t pictureBytes = fast.GetSize(), alphaBytes = fastAlpha.GetSize();
            for (CImage* image : {static_cast<CImage*>(&fast), static_cast<CImage*>(&slow), static_cast<CImage*>(&fastAlpha), static_cast<CImage*>(&slowAlpha)}) {
                for (size_t i = 0; i < image->GetSize(); ++i) image->GetBuffer()[i] = BYTE(0x5A ^ (3 * i));
                if (shortBlock) image->SetHeight(h + 2);  // the block keeps its bytes
            }
            for (const auto& l : lines) {
                const WORD value = WORD(l.x0 * 7 + l.y1);
                ASSERT_TRUE(fast.DrawLine(l.x0, l.y0, l.x1, l.y1, value, WORD(value + 1), WORD(value + 2)) &&
                            fastAlpha.DrawLine(l.x0, l.y0, l.x1, l.y1, value));
                images_detail::WalkLine(l.x0, l.y0, l.x1, l.y1, w, slow.GetHeight(), [&](DWORD x, DWORD y) {
                    slow.SetPixel(y, x, value, WORD(value + 1), WORD(value + 2));
                    slowAlpha.SetPixel(y, x, value);
                });
            }
            ASSERT_EQ(BlockBytes(slow, 0, pictureBytes), BlockBytes(fast, 0, pictureBytes));
            ASSERT_EQ(BlockBytes(slowAlpha, 0, alphaBytes), BlockBytes(fastAlpha, 0, alphaBytes));
        }
    }
    // The alphas: ramps by column and by row (wrapping at 1024), random values, a solid word.
    const struct { const char* name; std::function<bool(UAlpha&)> fill; std::function<WORD(size_t, DWORD, Lcg&)> word; } alphaRows[] = {
        {"horizontal ramp", [](UAlpha& a) { return a.FillHorzRamp(); }, [](size_t i, DWORD w, Lcg&) { return WORD(i % w << 6); }},
        {"vertical ramp", [](UAlpha& a) { return a.FillVertRamp(); }, [](size_t i, DWORD w, Lcg&) { return WORD((i / w & 0x3FF) << 6); }},
        {"random", [](UAlpha& a) { return a.FillRandom(4321); }, [](size_t, DWORD, Lcg& g) { return WORD(g.Next() % 1024 << 6); }},
        {"solid", [](UAlpha& a) { return a.FillSolid(0x1235); }, [](size_t, DWORD, Lcg&) { return WORD(0x1235); }},
    };
    for (const auto& row : alphaRows) {
        for (auto [w, h] : {std::pair<DWORD, DWORD>{1, 1}, {3, 5}, {1100, 2}, {2, 1100}, {7, 13}}) {
            SCOPED_TRACE(testing::Message() << row.name << " " << w << "x" << h);
            UAlpha alpha(w, h);
            Lcg lcg{4321};
            Bytes want(2 * size_t(w) * h);
            for (size_t i = 0; i < size_t(w) * h; ++i) {
                const WORD v = row.word(i, w, lcg);
                want[2 * i] = BYTE(v), want[2 * i + 1] = BYTE(v >> 8);
            }
            ASSERT_TRUE(row.fill(alpha));
            ASSERT_EQ(want, AllBytes(alpha));
        }
    }
}
