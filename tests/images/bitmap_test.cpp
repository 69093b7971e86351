// Tests of the bitmap conversion and the BMP files, checked byte by byte and with an independent reader.
#include <array>
#include <cstdlib>
#include <cstring>

#include "image_test_util.h"
#include "images/bitmap.h"
#include "tests/support/run_program.h"

using namespace image_test;
using Rows = std::vector<Bytes>;

namespace {

// The DIB's rows, top first.
Rows DibRows(const DibBlock& dib) {
    const auto& h = *reinterpret_cast<const BITMAPINFOHEADER*>(dib.get());
    Rows rows;
    for (LONG r = 0; r < -h.biHeight; ++r) rows.emplace_back(dib.get() + 40 + r * 4 * h.biWidth, dib.get() + 40 + (r + 1) * 4 * h.biWidth);
    return rows;
}

}  // namespace

TEST(Dib, DibConversionBmpLayoutsAndWhatAnIndependentReaderSees) {
    Picture8 image(6, 1);  // pairs Cb, Y0, Cr, Y1: pixel 0 Y 128 Cb 128 Cr 128; 2: 100, 200, 60; 3: 0, 200, 60; 4: 0, 100, 60
    std::memcpy(image.GetBuffer(), Bytes({128, 128, 128, 128, 200, 100, 60, 0, 100, 0, 60, 0}).data(), 12);
    const BITMAPINFOHEADER expected{40, 6, -1, 1, 32, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(&expected, image.CreateDIB(1).get(), 40));
    const BITMAPINFOHEADER tallest{40, 0, -0x7FFFFFFF, 1, 32, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(&tallest, Picture8(0, 0x7FFFFFFF).CreateDIB(3).get(), 40));
    UPicture ten(2, 1, 0);
    ten.FillSolid(400, 600, 300);
    Alpha8 a8(2, 1);
    a8.GetBuffer()[1] = 250;
    // Pictures of nothing whose sides pass the header's signed fields (biHeight holds minus the height).
    Picture8 tall(0, 0x80000000);
    UAlpha broad(0xFFFFFFFF, 0);
    // Blue, green, red and the fourth byte of a pixel; empty when there is no bitmap.
    const struct { const char* name; std::function<DibBlock()> dib; size_t pixel; Bytes bgrx; } rows[] = {
        {"mode 1 clamps red", [&] { return image.CreateDIB(1); }, 2, {224, 123, 16, 0}},
        {"mode 2 matrix", [&] { return image.CreateDIB(2); }, 2, {230, 117, 16, 0}},
        {"mode 4 of Cb 200", [&] { return image.CreateDIB(4); }, 2, {144, 144, 144, 0}},
        {"mode 5 of Cr 60", [&] { return image.CreateDIB(5); }, 2, {0, 0, 0, 0}},
        {"mode 6", [&] { return image.CreateDIB(6); }, 0, {}},
        {"10-bit mode 3 shifts Y to 8 bits", [&] { return ten.CreateDIB(3); }, 0, {100, 100, 100, 0}},
        {"8-bit alpha clamps high", [&] { return a8.CreateDIB(9); }, 1, {245, 245, 245, 0}},
        {"2^31 rows", [&] { return tall.CreateDIB(3); }, 0, {}},
        {"2^32 - 1 columns", [&] { return broad.CreateDIB(3); }, 0, {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const DibBlock dib = r.dib();
        EXPECT_EQ(r.bgrx, dib ? Bytes(dib.get() + 40 + 4 * r.pixel, dib.get() + 44 + 4 * r.pixel) : Bytes());
    }
    // BMP files: each layout writes its rows; refusals answer 0.
    // The luma of the picture's rows, top first, and of the file's rows, bottom first.
    const struct { const char* name; Bytes luma; DWORD layout; Bytes fileRows; } layouts[] = {
        {"field 1 interpolated", {100, 200, 40, 80}, 3, {200, 150, 100, 100}},
        {"odd height woven: two fields of two rows", {100, 200, 40, 80, 60}, 1, {200, 80, 100, 40}},
        {"odd height field 1 alone", {100, 200, 40, 80, 60}, 2, {200, 100}},
        {"one row interpolated", {100}, 3, {}},
    };
    TempDir dir;
    const std::string path = dir / "f.bmp";
    for (const auto& r : layouts) {
        SCOPED_TRACE(r.name);
        Picture8 image(2, static_cast<DWORD>(r.luma.size()));
        for (DWORD row = 0; row < r.luma.size(); ++row) image.DrawLine(0, row, 1, row, r.luma[row], 128, 128);
        ASSERT_EQ(1, image.SaveBMP(path.c_str(), 3, r.layout));
        const Bytes file = ReadBytes(path);
        ASSERT_EQ(54 + 8 * r.fileRows.size(), file.size());
        Bytes luma;
        for (size_t i = 54; i < file.size(); i += 8) luma.push_back(file[i]);
        EXPECT_EQ(std::make_pair(r.fileRows, r.fileRows.size()), std::make_pair(luma, size_t(file[22])));  // rows and biHeight
    }
    ASSERT_EQ(1, Picture8(2, 2).SaveBMP(path.c_str(), 3, 5));  // an unknown layout: the file header alone
    EXPECT_EQ(Bytes({'B', 'M', 14, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0}), ReadBytes(path));
    // The 10-bit pictures take layout 0 only; an unknown mode or an uncreatable file is a failure, not an exception.
    UPicture wide(4, 2, 0);
    EXPECT_EQ(0, wide.SaveBMP(path.c_str(), 1, 1) || PPicture(wide, 0).SaveBMP(path.c_str(), 1, 2) || wide.SaveBMP(path.c_str(), 6, 0));
    EXPECT_EQ(Bytes({'B', 'M', 14, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0}), ReadBytes(path)) << "a refused save keeps the file";
    EXPECT_EQ(0, Picture8(4, 2).SaveBMP((dir / "no/x.bmp").c_str(), 1, 0) || wide.SaveBMP((dir / "no/x.bmp").c_str(), 1, 0));
    // An independent reader sees the sizes and pixels.
    std::vector<std::string> command = {PEX_IMAGE_PYTHON, PEX_BMP_CHECK_SCRIPT};
    // Saves name.bmp and, as name.rgb, the pixels a reader should see (DIB rows, top first).
    auto add = [&](const std::string& name, std::function<BOOL(const CString&)> save, const Rows& topFirst) {
        const std::string bmp = dir / (name + ".bmp"), rgb = dir / (name + ".rgb");
        ASSERT_EQ(1, save(bmp.c_str())) << name;
        Bytes pixels;
        for (const Bytes& row : topFirst)
            for (size_t i = 0; i < row.size(); i += 4) pixels.insert(pixels.end(), {row[i + 2], row[i + 1], row[i]});
        WriteBytes(rgb, pixels);
        command.push_back(bmp + ":" + rgb + ":" + std::to_string(topFirst[0].size() / 4) + ":" + std::to_string(topFirst.size()));
    };
    Picture8 random(64, 49);
    random.FillRandom(4242, 1);
    const Rows dibRows = DibRows(random.CreateDIB(2));
    Rows woven;
    for (size_t j = 0; j < 24; ++j) woven.insert(woven.end(), {dibRows[24 + j], dibRows[j]});
    add("woven", [&](const CString& p) { return random.SaveBMP(p, 2, 1); }, woven);
    UPicture wedge(96, 54, 0);
    wedge.FillHorzWedge(1, 0, 0x3FF);
    add("wedge", [&](const CString& p) { return wedge.SaveBMP(p, 1, 0); }, DibRows(wedge.CreateDIB(1)));

    const support::ProgramRun check = support::RunProgram(command);
    EXPECT_EQ(0, check.status) << PEX_IMAGE_PYTHON << " " << PEX_BMP_CHECK_SCRIPT << ":\n" << check.out << check.err;
    EXPECT_TRUE(check.out.find("2 BMP files match") != std::string::npos) << check.out;
}

TEST(Dib, PairsConvertedInIntegersGiveTheBytesOfEachPixelAlone) {
    // Every chroma pair of the 10-bit range and beyond it, at luma values across the range and past
    // both ends, in both colour modes, as a row of pairs (samples in bits 15..6) through the row
    // conversion. Where green's two products add up to a whole number the double sum may fall just
    // short of it: there every luma.
    auto word = [](std::vector<BYTE>& row, int value) {
        row.push_back(static_cast<BYTE>(value << 6));
        row.push_back(static_cast<BYTE>(value << 6 >> 8));
    };
    for (DWORD mode : {1u, 2u}) {
        const auto& k = images_detail::kGains[mode - 1];
        std::vector<BYTE> row;
        std::vector<std::array<int, 4>> pairs;  // y0, y1, cb, cr
        for (int cb = 0; cb < 1024; ++cb) {
            for (int cr = 0; cr < 1024; ++cr) {
                pairs.push_back({(cb * 7 + cr) % 1024, 64 + (cr * 3 + cb) % 877, cb, cr});
                const int u = cb - 512, v = cr - 512;
                if (cb < 64 || cb > 940 || cr < 64 || cr > 940 || (k.gu * u + k.gv * v) % images_detail::kGainUnits != 0) continue;
                for (int y = 0; y < 1024; y += 2) pairs.push_back({y, y + 1, cb, cr});
            }
        }
        for (const auto& [y0, y1, cb, cr] : pairs)
            for (int value : {cb, y0, cr, y1}) word(row, value);
        std::vector<BYTE> out(8 * pairs.size(), 0xEE);  // every byte is written, the fourth of each pixel 0
        images_detail::YCbCrPairsToBgr(kDibRange10, mode, row.data(), 6, pairs.size(), out.data());
        for (size_t i = 0; i < pairs.size(); ++i) {
            const auto& [y0, y1, cb, cr] = pairs[i];
            BYTE alone[8] = {};
            images_detail::YCbCrToBgr(kDibRange10, mode, y0, cb, cr, alone);
            images_detail::YCbCrToBgr(kDibRange10, mode, y1, cb, cr, alone + 4);
            ASSERT_EQ(0, std::memcmp(&out[8 * i], alone, 8))
                << "mode " << mode << " y " << y0 << "/" << y1 << " cb " << cb << " cr " << cr;
        }
    }
}
