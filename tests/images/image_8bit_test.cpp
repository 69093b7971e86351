// Tests of the 8-bit pictures and alphas: sizes, pattern fills, pixel access and bounds.

#include "image_test_util.h"

using namespace image_test;

// Whole pictures of many shapes (odd widths walk a pair position more a row than their pixels
// hold, and the block ends the walk) hold what a walk of the pair positions gives: for position k,
// row k / positions-a-row and column 2 x (k % positions-a-row).
TEST(EightBit, WedgeAndSolidFillsMatchAPairByPairWalk) {
    const std::pair<DWORD, DWORD> shapes[] = {{1, 1}, {2, 1}, {3, 3}, {7, 5}, {64, 2}, {65, 3}, {720, 487}, {1920, 1080}};
    // {fill, the pair at row r and column c, false when the fill writes nothing}
    using Pair = std::array<BYTE, 4>;  // Cb, Y0, Cr, Y1
    const struct { const char* name; std::function<bool(Picture8&)> fill; std::function<Pair(DWORD r, DWORD c)> pair; } fills[] = {
        {"horizontal wedge 0", [](Picture8& p) { return p.FillHorzWedge(0); }, [](DWORD, DWORD c) { return Pair{0, BYTE(c), 0, BYTE(c + 1)}; }},
        {"horizontal wedge 1", [](Picture8& p) { return p.FillHorzWedge(1); },
         [](DWORD, DWORD c) { return Pair{BYTE(128 - c / 2), BYTE(c), BYTE(128 + c / 2), BYTE(c + 1)}; }},
        {"horizontal wedge 2", [](Picture8& p) { return p.FillHorzWedge(2); },
         [](DWORD, DWORD c) { return Pair{BYTE(128 + c / 2), BYTE(c), BYTE(128 - c / 2), BYTE(c + 1)}; }},
        {"vertical wedge 0", [](Picture8& p) { return p.FillVertWedge(0); }, [](DWORD r, DWORD) { return Pair{128, BYTE(r % 64), 128, BYTE(r % 64)}; }},
        {"vertical wedge 1", [](Picture8& p) { return p.FillVertWedge(1); },
         [](DWORD r, DWORD) { return Pair{BYTE(128 - r / 2), BYTE(r), BYTE(128 + r / 2), BYTE(r)}; }},
        {"vertical wedge 2", [](Picture8& p) { return p.FillVertWedge(2); },
         [](DWORD r, DWORD) { return Pair{BYTE(128 + r / 2), BYTE(r), BYTE(128 - r / 2), BYTE(r)}; }},
        {"unknown wedge modes", [](Picture8& p) { return p.FillHorzWedge(3) && p.FillVertWedge(7); }, nullptr},
    };
    for (const auto& [w, h] : shapes) {
        for (const auto& f : fills) {
            SCOPED_TRACE(std::string(f.name) + " " + std::to_string(w) + "x" + std::to_string(h));
            Picture8 picture(w, h);
            ASSERT_TRUE(f.fill(picture));
            Bytes want(size_t{2} * w * h, 0);
            const size_t perRow = (w + 1) / 2;
            for (size_t k = 0; f.pair && 4 * k + 4 <= want.size(); ++k) {
                const Pair p = f.pair(static_cast<DWORD>(k / perRow), static_cast<DWORD>(2 * (k % perRow)));
                std::copy(p.begin(), p.end(), want.begin() + static_cast<std::ptrdiff_t>(4 * k));
            }
            ASSERT_EQ(want, BlockBytes(picture, 0, want.size()));
        }
        // A solid fill sets the first w x h / 2 pairs, every one alike.
        Picture8 solid(w, h);
        ASSERT_TRUE(solid.FillSolid(10, 20, 30));
        Bytes want(size_t{2} * w * h, 0);
        for (size_t k = 0; k < size_t{w} * h / 2; ++k) {
            const BYTE pair[4] = {20, 10, 30, 10};
            std::copy(pair, pair + 4, want.begin() + static_cast<std::ptrdiff_t>(4 * k));
        }
        ASSERT_EQ(want, BlockBytes(solid, 0, want.size())) << w << "x" << h;
    }
}

TEST(EightBit, FillsRandomFillsSizesPatternsPixelsAndBounds) {
    // A fill of a picture or an alpha of w x h, and the bytes it leaves from byte at of the one named.
    const struct { const char* name; DWORD w, h; std::function<bool(Picture8&, Alpha8&)> fill; bool alpha; size_t at; Bytes bytes; } rows[] = {
        {"horizontal wedge 0", 4, 1, [](Picture8& p, Alpha8&) { return p.FillHorzWedge(0); }, false, 0, {0, 0, 0, 1, 0, 2, 0, 3}},
        {"vertical wedge 0", 2, 300, [](Picture8& p, Alpha8&) { return p.FillVertWedge(0); }, false, 4 * 100, {128, 36, 128, 36}},
        // Each wedge direction: chroma runs apart from 128 one way or the other, luma follows x or the row.
        {"horizontal wedge 1", 8, 1, [](Picture8& p, Alpha8&) { return p.FillHorzWedge(1); }, false, 8, {126, 4, 130, 5}},
        {"horizontal wedge 2", 8, 1, [](Picture8& p, Alpha8&) { return p.FillHorzWedge(2); }, false, 8, {130, 4, 126, 5}},
        {"vertical wedge 1", 2, 300, [](Picture8& p, Alpha8&) { return p.FillVertWedge(1); }, false, 4 * 100, {78, 100, 178, 100}},
        {"vertical wedge 2", 2, 300, [](Picture8& p, Alpha8&) { return p.FillVertWedge(2); }, false, 4 * 100, {178, 100, 78, 100}},
        {"pattern 2: horizontal blue to red", 8, 1, [](Picture8& p, Alpha8&) { return p.FillPattern(2); }, false, 8, {130, 4, 126, 5}},
        {"pattern 3: horizontal red to blue", 8, 1, [](Picture8& p, Alpha8&) { return p.FillPattern(3); }, false, 8, {126, 4, 130, 5}},
        {"pattern 5: vertical blue to red", 2, 300, [](Picture8& p, Alpha8&) { return p.FillPattern(5); }, false, 4 * 100, {178, 100, 78, 100}},
        {"pattern 6: vertical red to blue", 2, 300, [](Picture8& p, Alpha8&) { return p.FillPattern(6); }, false, 4 * 100, {78, 100, 178, 100}},
        {"tiles 0", 16, 16, [](Picture8& p, Alpha8&) { return p.FillTiles(0); }, false, 4 * 75, {0, 56, 0, 60}},
        {"odd width: whole pairs only", 3, 3, [](Picture8& p, Alpha8&) { return p.FillHorzWedge(1) && p.FillTiles(0) && p.FillRandom(1, 1) &&
             p.FillVertWedge(2) && p.FillGrid(0) && p.FillSolid(1, 2, 3); }, false, 12, {2, 1, 3, 1, 0, 0}},
        {"unknown modes leave the picture", 2, 1, [](Picture8& p, Alpha8&) { return p.FillSolid(9, 8, 7) && p.FillHorzWedge(3) && p.FillTiles(7); },
         false, 0, {8, 9, 7, 9}},
        {"alpha wedge takes half a row", 6, 2, [](Picture8&, Alpha8& a) { return a.FillSolid(0xEE) && a.FillHorzWedge(0); }, true, 0,
         {0, 2, 4, 0, 2, 4, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        {"alpha lines outside are skipped", 3, 3, [](Picture8&, Alpha8& a) { return a.DrawLine(0, 5, 10, 5, 7) && a.DrawLine(0xFFFFFF00, 1, 1, 1, 7); },
         true, 0, {0, 0, 0, 0, 7, 7, 0, 0, 0}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Picture8 picture(r.w, r.h);
        Alpha8 alpha(r.w, r.h);
        ASSERT_TRUE(r.fill(picture, alpha));
        EXPECT_EQ(r.bytes, BlockBytes(r.alpha ? static_cast<CImage&>(alpha) : picture, r.at, r.bytes.size()));
    }
    EXPECT_FALSE(Picture8(2, 2).FillPattern(11) || Picture8(2, 2).FillPattern(0) || Alpha8(2, 2).FillPattern(11));  // unknown pattern codes
    // Random fills follow the runtime's generator.
    Picture8 image(4, 1);
    ASSERT_TRUE(image.FillRandom(2024, 1));
    Lcg lcg{2024};
    for (size_t k = 0; k < 2; ++k) {
        DWORD a = lcg.Next(), b = lcg.Next(), d = lcg.Next();
        EXPECT_EQ(Bytes({BYTE(128 - (d >> 1)), BYTE(a), BYTE(128 + (d >> 1)), BYTE(b)}), BlockBytes(image, 4 * k, 4));
    }
    EXPECT_EQ(lcg.Next(), platform::rand());
    const Bytes ramped = AllBytes(image);
    ASSERT_TRUE(image.FillRandom(2024, 0x101));  // only the low byte of the mode counts
    EXPECT_EQ(ramped, AllBytes(image));
    ASSERT_TRUE(image.FillRandom(2024, 0));
    EXPECT_EQ(128, image.GetBuffer()[0]);
    Alpha8 alpha(4, 2);
    ASSERT_TRUE(alpha.FillRandom(31));
    Lcg alcg{31};
    Bytes expected(8, 0);  // the first half of the alpha only
    for (size_t i = 0; i < 4; ++i) expected[i] = BYTE(alcg.Next());
    EXPECT_EQ(expected, AllBytes(alpha));
    EXPECT_FALSE(Alpha8(0x10000, 0x10000).FillRandom(31));  // seeded even without a block
    EXPECT_EQ(Lcg{31}.Next(), platform::rand());
    // Sizes whose draws span several batches of the generator, odd widths included: the values
    // follow the pair positions one after another.
    for (auto [w, h] : {std::pair<DWORD, DWORD>{3, 3}, {1001, 3}, {2, 1500}, {37, 5}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        Picture8 p(w, h), neutral(w, h);
        Alpha8 a(w, h);
        ASSERT_TRUE(p.FillRandom(99, 1) && a.FillRandom(98) && neutral.FillRandom(99, 0));
        Lcg pg{99}, ag{98};
        Bytes pw(p.GetSize()), aw(a.GetSize()), nw(p.GetSize());
        const size_t positions = (w + 1) / 2 * size_t(h);
        for (size_t k = 0; k < std::min(positions, pw.size() / 4); ++k) {
            DWORD y0 = pg.Next(), y1 = pg.Next(), d = pg.Next();
            pw[4 * k] = BYTE(128 - (d >> 1)), pw[4 * k + 1] = BYTE(y0), pw[4 * k + 2] = BYTE(128 + (d >> 1)), pw[4 * k + 3] = BYTE(y1);
            nw[4 * k] = 128, nw[4 * k + 1] = BYTE(y0), nw[4 * k + 2] = 128, nw[4 * k + 3] = BYTE(y1);
        }
        for (size_t k = 0; k < std::min(positions, aw.size()); ++k) aw[k] = BYTE(ag.Next());
        EXPECT_EQ(pw, AllBytes(p));
        EXPECT_EQ(nw, AllBytes(neutral));
        EXPECT_EQ(aw, AllBytes(a));
    }
    // Sizes, patterns, pixels and bounds.
    Alpha8 sd(720, 486);
    EXPECT_EQ(std::make_pair(349920u, 699840u), std::make_pair(sd.GetSize(), Picture8(720, 486).GetSize()));

    Picture8 grid(40, 36);
    WORD y, cb, cr;
    auto luma = [&](DWORD r, DWORD c) { return grid.GetPixel(r, c, &y, &cb, &cr) ? int(y) : -1; };
    ASSERT_TRUE(grid.FillGrid(0));
    EXPECT_EQ(std::make_tuple(0, 0, 255), std::make_tuple(luma(5, 32), luma(35, 5), luma(5, 5)));
    ASSERT_TRUE(grid.FillDiagonalLines(0));
    EXPECT_EQ(std::make_tuple(255, 255, 255, 0, -1), std::make_tuple(luma(0, 0), luma(35, 39), luma(35, 0), luma(10, 20), luma(0, 40)));
    BYTE v = 9, yy = 0x12, bb = 0x34, rr = 0x56;
    EXPECT_FALSE(grid.SetPixel(36, 0, &v, &v, &v) || sd.SetPixel(486, 0, &v) || sd.SetPixel(0, 720, &v) || sd.GetPixel(0, 720, &v));
    ASSERT_TRUE(grid.SetPixel(0, 1, &yy, &bb, &rr) && sd.SetPixel(1, 1, &v));
    EXPECT_EQ("Y=0x12, Cb=0x34  Cr=0x56", std::string(grid.GetPixelText(1, 0).c_str()));
    EXPECT_TRUE(Picture8(0, 0).FillGrid(0) && Alpha8(7, 0).FillGrid());
}
