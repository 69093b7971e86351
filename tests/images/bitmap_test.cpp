// Tests of the bitmap conversion and the BMP files, checked byte by byte and with an independent reader.
#include <sys/wait.h>

#include <cstdio>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "image_test_util.h"
#include "images/bitmap.h"
#include "images/image_8bit.h"
#include "images/packed_image.h"
#include "images/unpacked_image.h"

using namespace image_test;
using Rows = std::vector<Bytes>;

namespace {

// Blue, green, red and the fourth byte of DIB pixel i.
Bytes Bgr(const DibBlock& dib, size_t i) { return dib ? Bytes(dib.get() + 40 + 4 * i, dib.get() + 44 + 4 * i) : Bytes(); }

// The DIB's rows, top first.
Rows DibRows(const DibBlock& dib) {
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib.get(), sizeof h);
    Rows rows;
    for (LONG r = 0; r < -h.biHeight; ++r) rows.emplace_back(dib.get() + 40 + r * 4 * h.biWidth, dib.get() + 40 + (r + 1) * 4 * h.biWidth);
    return rows;
}

// An 8-bit picture of the given width whose row r has luma luma[r] and neutral chroma.
std::unique_ptr<Image::YCbCr_8bit> Striped(DWORD width, const Bytes& luma) {
    auto image = std::make_unique<Image::YCbCr_8bit>(width, static_cast<DWORD>(luma.size()));
    for (DWORD r = 0; r < luma.size(); ++r) image->DrawLine(0, r, width - 1, r, luma[r], 128, 128);
    return image;
}

}  // namespace

TEST(Dib, HeaderAndConversionModes) {
    Image::YCbCr_8bit image(6, 1);
    BYTE y = 128, cb = 128, cr = 128;
    image.SetPixel(0, 0, &y, &cb, &cr);
    y = 100, cb = 200, cr = 60;
    image.SetPixel(0, 2, &y, &cb, &cr);
    y = 0;
    image.SetPixel(0, 3, &y, &cb, &cr);
    cb = 100;
    image.SetPixel(0, 4, &y, &cb, &cr);
    const BITMAPINFOHEADER expected{40, 6, -1, 1, 32, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(&expected, image.CreateDIB(1).get(), 40));

    Unpacked::Image::YCbCr_10_6 ten(2, 1, 0);
    ten.FillSolid(400, 600, 300);
    Alpha::YCbCr_8bit a8(2, 1);
    BYTE v = 250;
    a8.SetPixel(0, 1, &v);
    Unpacked::Alpha::YCbCr_10_6 a10(2, 1);
    a10.SetPixel(0, 0, 1000);
    const struct {
        const char* name;
        std::function<DibBlock()> dib;
        size_t pixel;
        Bytes bgrx;
    } rows[] = {
        {"mode 1 of neutral grey", [&] { return image.CreateDIB(1); }, 0, {128, 128, 128, 0}},
        {"mode 1 clamps red", [&] { return image.CreateDIB(1); }, 2, {224, 123, 16, 0}},
        {"mode 2 matrix", [&] { return image.CreateDIB(2); }, 2, {230, 117, 16, 0}},
        {"mode 3 of Y 0", [&] { return image.CreateDIB(3); }, 3, {16, 16, 16, 0}},
        {"mode 4 of Cb 200", [&] { return image.CreateDIB(4); }, 2, {144, 144, 144, 0}},
        {"mode 4 of Cb 100", [&] { return image.CreateDIB(4); }, 4, {0, 0, 0, 0}},
        {"mode 5 of Cr 60", [&] { return image.CreateDIB(5); }, 2, {0, 0, 0, 0}},
        {"mode 6", [&] { return image.CreateDIB(6); }, 0, {}},
        {"mode 0", [&] { return image.CreateDIB(0); }, 0, {}},
        {"10-bit mode 1", [&] { return ten.CreateDIB(1); }, 0, {138, 129, 27, 0}},
        {"10-bit mode 6", [&] { return ten.CreateDIB(6); }, 0, {}},
        {"packed mode 1", [&] { return Packed::Image::YCbCr_8_2(ten, 0).CreateDIB(1); }, 1, {138, 129, 27, 0}},
        {"8-bit alpha clamps high", [&] { return a8.CreateDIB(9); }, 1, {245, 245, 245, 0}},
        {"8-bit alpha clamps low", [&] { return a8.CreateDIB(9); }, 0, {16, 16, 16, 0}},
        {"10-bit alpha", [&] { return a10.CreateDIB(0); }, 0, {235, 235, 235, 0}},
        {"packed alpha", [&] { return Packed::Alpha::YCbCr_8_2(a10, 0).CreateDIB(0); }, 0, {235, 235, 235, 0}},
        {"packed alpha low", [&] { return Packed::Alpha::YCbCr_8_2(a10, 0).CreateDIB(0); }, 1, {16, 16, 16, 0}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(r.bgrx, Bgr(r.dib(), r.pixel));
    }
}

TEST(BmpFile, LayoutsWriteTheirRows) {
    const struct {
        const char* name;
        Bytes luma;  // of the picture's rows, top first
        DWORD layout;
        Bytes fileRows;  // luma of the file's rows, bottom first
    } rows[] = {
        {"whole picture, bottom row first", {100, 200, 40, 80}, 0, {80, 40, 200, 100}},
        {"fields woven", {100, 200, 40, 80}, 1, {200, 80, 100, 40}},
        {"field 1 alone", {100, 200, 40, 80}, 2, {200, 100}},
        {"field 1 interpolated", {100, 200, 40, 80}, 3, {200, 150, 100, 100}},
        {"odd height woven: two fields of two rows", {100, 200, 40, 80, 60}, 1, {200, 80, 100, 40}},
        {"odd height field 1 alone", {100, 200, 40, 80, 60}, 2, {200, 100}},
        {"odd height interpolated", {100, 200, 40, 80, 60}, 3, {200, 150, 100, 100}},
        {"three rows woven", {100, 200, 40}, 1, {100, 200}},
        {"three rows interpolated", {100, 200, 40}, 3, {100, 100}},
        {"one row has empty fields", {100}, 2, {}},
        {"one row interpolated", {100}, 3, {}},
    };
    TempDir dir;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_EQ(1, Striped(2, r.luma)->SaveBMP((dir / "f.bmp").c_str(), 3, r.layout));
        const Bytes file = ReadBytes(dir / "f.bmp");
        ASSERT_EQ(54 + 8 * r.fileRows.size(), file.size());
        EXPECT_EQ(Bytes({'B', 'M'}), Bytes(file.begin(), file.begin() + 2));
        const std::vector<DWORD> header = {Le32(file, 2), Le32(file, 6), Le32(file, 10), Le32(file, 14), Le32(file, 18), Le32(file, 22)};
        EXPECT_EQ(std::vector<DWORD>({DWORD(file.size()), 0, 54, 40, 2, DWORD(r.fileRows.size())}), header);
        Rows expected;
        for (BYTE l : r.fileRows) expected.push_back({l, l, l, 0, l, l, l, 0});
        Rows written;
        for (size_t at = 54; at < file.size(); at += 8) written.emplace_back(file.begin() + at, file.begin() + at + 8);
        EXPECT_EQ(expected, written);
    }
    // An unknown layout: the file header alone.
    ASSERT_EQ(1, Striped(2, {1, 2})->SaveBMP((dir / "f.bmp").c_str(), 3, 5));
    const Bytes bare = ReadBytes(dir / "f.bmp");
    ASSERT_EQ(14u, bare.size());
    EXPECT_EQ(14u, Le32(bare, 2));
}

TEST(BmpFile, RefusalsAnswerZero) {
    TempDir dir;
    const std::string path = dir / "r.bmp", absent = dir / "no/such/x.bmp";
    Unpacked::Image::YCbCr_10_6 ten(4, 2, 0);
    Packed::Image::YCbCr_8_2 packed(ten, 0);
    EXPECT_EQ(0, ten.SaveBMP(path.c_str(), 1, 1));  // the 10-bit pictures take layout 0 only
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(0, packed.SaveBMP(path.c_str(), 1, 2));
    EXPECT_EQ(0, ten.SaveBMP(path.c_str(), 6, 0));
    EXPECT_TRUE(ReadBytes(path).empty());
    EXPECT_EQ(1, packed.SaveBMP(path.c_str(), 1, 0));
    EXPECT_EQ(86u, ReadBytes(path).size());
    // A file that cannot be created is a failure, not an exception.
    EXPECT_EQ(0, Image::YCbCr_8bit(4, 2).SaveBMP(absent.c_str(), 1, 0));
    EXPECT_EQ(0, ten.SaveBMP(absent.c_str(), 1, 0));
}

TEST(BmpFile, IndependentReaderSeesSizesAndPixels) {
    TempDir dir;
    std::string command = std::string(PEX_IMAGE_PYTHON) + " " + PEX_BMP_CHECK_SCRIPT;
    // Saves the picture as name.bmp and the pixels a reader should see (DIB rows, top first) as name.rgb.
    auto add = [&](const std::string& name, const CImage& image, DWORD mode, DWORD layout, const Rows& topFirst) {
        const std::string bmp = dir / (name + ".bmp"), rgb = dir / (name + ".rgb");
        BOOL saved = 0;
        if (auto* p = dynamic_cast<const Image::YCbCr_8bit*>(&image)) saved = p->SaveBMP(bmp.c_str(), mode, layout);
        if (auto* p = dynamic_cast<const Unpacked::Image::YCbCr_10_6*>(&image)) saved = p->SaveBMP(bmp.c_str(), mode, layout);
        if (auto* p = dynamic_cast<const Packed::Image::YCbCr_8_2*>(&image)) saved = p->SaveBMP(bmp.c_str(), mode, layout);
        ASSERT_EQ(1, saved) << name;
        Bytes pixels;
        for (const Bytes& row : topFirst)
            for (size_t i = 0; i < row.size(); i += 4) pixels.insert(pixels.end(), {row[i + 2], row[i + 1], row[i]});
        WriteBytes(rgb, pixels);
        command += " '" + bmp + ":" + rgb + ":" + std::to_string(image.GetWidth()) + ":" + std::to_string(topFirst.size()) + "'";
    };

    Image::YCbCr_8bit solid(66, 20);  // Y 100, Cb 200, Cr 60 is blue 224, green 123, red 16
    solid.FillSolid(100, 200, 60);
    Bytes solidRow;
    for (int i = 0; i < 66; ++i) solidRow.insert(solidRow.end(), {224, 123, 16, 0});
    add("solid", solid, 1, 0, Rows(20, solidRow));
    Image::YCbCr_8bit random(64, 49);
    random.FillRandom(4242, 1);
    add("random", random, 1, 0, DibRows(random.CreateDIB(1)));
    const Rows rows = DibRows(random.CreateDIB(2));
    Rows woven;
    for (size_t j = 0; j < 24; ++j) woven.insert(woven.end(), {rows[24 + j], rows[j]});
    add("woven", random, 2, 1, woven);
    add("half", random, 2, 2, Rows(rows.begin(), rows.begin() + 24));
    Unpacked::Image::YCbCr_10_6 ten(96, 54, 0);
    ten.FillHorzWedge(1, 0, 0x3FF);
    add("ten", ten, 1, 0, DibRows(ten.CreateDIB(1)));
    add("packed", Packed::Image::YCbCr_8_2(ten, Packed::Image::YCbCr_8_2::GetPadFor(96, 54)), 1, 0, DibRows(ten.CreateDIB(1)));

    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    ASSERT_NE(nullptr, pipe) << command;
    std::string output;
    char buf[256];
    while (std::fgets(buf, sizeof buf, pipe)) output += buf;
    const int status = ::pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    ASSERT_NE(2, WEXITSTATUS(status)) << "The BMP check needs Pillow (Debian package python3-pil) for "
                                      << PEX_IMAGE_PYTHON << ": " << output;
    EXPECT_EQ(0, WEXITSTATUS(status)) << output;
}
