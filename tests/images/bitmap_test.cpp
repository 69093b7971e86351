// Tests of the bitmap conversion and the BMP files, checked byte by byte and with an independent reader.
#include <cstdio>
#include <cstring>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "image_test_util.h"
#include "images/bitmap.h"
#include "images/image_8bit.h"
#include "images/packed_image.h"
#include "images/unpacked_image.h"

using namespace image_test;

namespace {

BITMAPINFOHEADER HeaderOf(const DibBlock& dib) {
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib.get(), sizeof h);
    return h;
}

// Blue, green, red of DIB pixel i.
std::vector<int> Bgr(const DibBlock& dib, size_t i) {
    const BYTE* p = dib.get() + 40 + 4 * i;
    return {p[0], p[1], p[2], p[3]};
}

// The DIB's rows, top first, each width x 4 bytes.
std::vector<std::vector<BYTE>> DibRows(const DibBlock& dib) {
    BITMAPINFOHEADER h = HeaderOf(dib);
    size_t rowBytes = size_t(h.biWidth) * 4;
    std::vector<std::vector<BYTE>> rows;
    for (LONG r = 0; r < -h.biHeight; ++r) {
        const BYTE* p = dib.get() + 40 + r * rowBytes;
        rows.emplace_back(p, p + rowBytes);
    }
    return rows;
}

// The BMP file's rows in file order (bottom row of the picture first).
std::vector<std::vector<BYTE>> FileRows(const std::vector<BYTE>& file, size_t width) {
    std::vector<std::vector<BYTE>> rows;
    for (size_t at = 54; at + width * 4 <= file.size(); at += width * 4)
        rows.emplace_back(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at + width * 4));
    return rows;
}

// Gives row r of the picture the luma luma[r], neutral chroma.
void SetRowLuma(Image::YCbCr_8bit& image, std::initializer_list<BYTE> luma) {
    DWORD r = 0;
    for (BYTE y : luma) {
        image.DrawLine(0, r, image.GetWidth() - 1, r, y, 128, 128);
        ++r;
    }
}

// Writes the RGB bytes, top row first, that a reader should see for rows of BGRX pixels.
void WriteRgb(const std::string& path, const std::vector<std::vector<BYTE>>& topFirst) {
    std::vector<BYTE> rgb;
    for (const auto& row : topFirst)
        for (size_t i = 0; i < row.size(); i += 4) {
            rgb.push_back(row[i + 2]);
            rgb.push_back(row[i + 1]);
            rgb.push_back(row[i]);
        }
    WriteBytes(path, rgb);
}

}  // namespace

TEST(Dib, HeaderAndConversionModes) {
    Image::YCbCr_8bit image(4, 1);
    BYTE y = 128, cb = 128, cr = 128;
    image.SetPixel(0, 0, &y, &cb, &cr);
    y = 100, cb = 200, cr = 60;
    image.SetPixel(0, 2, &y, &cb, &cr);
    y = 0;
    image.SetPixel(0, 3, &y, &cb, &cr);

    DibBlock dib = image.CreateDIB(1);
    ASSERT_TRUE(dib);
    BITMAPINFOHEADER h = HeaderOf(dib);
    EXPECT_EQ(40u, h.biSize);
    EXPECT_EQ(4, h.biWidth);
    EXPECT_EQ(-1, h.biHeight);
    EXPECT_EQ(1, h.biPlanes);
    EXPECT_EQ(32, h.biBitCount);
    EXPECT_EQ(0u, h.biCompression + h.biSizeImage + h.biClrUsed + h.biClrImportant);
    EXPECT_EQ(0, h.biXPelsPerMeter | h.biYPelsPerMeter);
    EXPECT_EQ((std::vector<int>{128, 128, 128, 0}), Bgr(dib, 0));
    EXPECT_EQ((std::vector<int>{224, 123, 16, 0}), Bgr(dib, 2));  // red computes to 6.79
    EXPECT_EQ((std::vector<int>{230, 117, 16, 0}), Bgr(image.CreateDIB(2), 2));
    EXPECT_EQ((std::vector<int>{16, 16, 16, 0}), Bgr(image.CreateDIB(3), 3));
    EXPECT_EQ((std::vector<int>{144, 144, 144, 0}), Bgr(image.CreateDIB(4), 2));
    EXPECT_EQ((std::vector<int>{0, 0, 0, 0}), Bgr(image.CreateDIB(5), 2));
    cb = 100;
    image.SetPixel(0, 0, &y, &cb, &cr);
    EXPECT_EQ((std::vector<int>{0, 0, 0, 0}), Bgr(image.CreateDIB(4), 0));
    EXPECT_FALSE(image.CreateDIB(6));
    EXPECT_FALSE(image.CreateDIB(0));

    Unpacked::Image::YCbCr_10_6 ten(2, 1, 0);
    ten.FillSolid(400, 600, 300);
    EXPECT_EQ((std::vector<int>{138, 129, 27, 0}), Bgr(ten.CreateDIB(1), 0));
    EXPECT_FALSE(ten.CreateDIB(6));
    Packed::Image::YCbCr_8_2 packed(ten, 0);
    EXPECT_EQ((std::vector<int>{138, 129, 27, 0}), Bgr(packed.CreateDIB(1), 1));

    // Alphas ignore the mode and show a clamped grey.
    Alpha::YCbCr_8bit a8(2, 1);
    BYTE v = 250;
    a8.SetPixel(0, 1, &v);
    EXPECT_EQ((std::vector<int>{245, 245, 245, 0}), Bgr(a8.CreateDIB(9), 1));
    EXPECT_EQ((std::vector<int>{16, 16, 16, 0}), Bgr(a8.CreateDIB(9), 0));
    Unpacked::Alpha::YCbCr_10_6 a10(2, 1);
    a10.SetPixel(0, 0, 1000);
    EXPECT_EQ((std::vector<int>{235, 235, 235, 0}), Bgr(a10.CreateDIB(0), 0));
    Packed::Alpha::YCbCr_8_2 pa(a10, 0);
    EXPECT_EQ((std::vector<int>{235, 235, 235, 0}), Bgr(pa.CreateDIB(0), 0));
    EXPECT_EQ((std::vector<int>{16, 16, 16, 0}), Bgr(pa.CreateDIB(0), 1));
}

TEST(BmpFile, WholePictureIsWrittenBottomRowFirst) {
    ScratchDir dir;
    std::string path = dir.File("small.bmp");
    Image::YCbCr_8bit image(4, 2);
    image.FillHorzWedge(1);
    image.DrawLine(0, 1, 3, 1, 200, 90, 170);
    ASSERT_EQ(1, image.SaveBMP(path.c_str(), 1, 0));
    std::vector<BYTE> file = ReadBytes(path);
    ASSERT_EQ(86u, file.size());
    EXPECT_EQ('B', file[0]);
    EXPECT_EQ('M', file[1]);
    EXPECT_EQ(86u, Le32(file, 2));
    EXPECT_EQ(0u, Le32(file, 6));
    EXPECT_EQ(54u, Le32(file, 10));
    EXPECT_EQ(40u, Le32(file, 14));
    EXPECT_EQ(4u, Le32(file, 18));
    EXPECT_EQ(2u, Le32(file, 22));
    auto dibRows = DibRows(image.CreateDIB(1));
    EXPECT_EQ((std::vector<std::vector<BYTE>>{dibRows[1], dibRows[0]}), FileRows(file, 4));
}

TEST(BmpFile, FieldLayouts) {
    ScratchDir dir;
    std::string path = dir.File("fields.bmp");
    Image::YCbCr_8bit image(2, 4);
    SetRowLuma(image, {100, 200, 40, 80});
    auto rows = DibRows(image.CreateDIB(3));

    ASSERT_EQ(1, image.SaveBMP(path.c_str(), 3, 1));  // fields woven: rows 1, 3, 0, 2 from the bottom
    EXPECT_EQ((std::vector<std::vector<BYTE>>{rows[1], rows[3], rows[0], rows[2]}), FileRows(ReadBytes(path), 2));

    ASSERT_EQ(1, image.SaveBMP(path.c_str(), 3, 2));  // field 1 alone
    std::vector<BYTE> half = ReadBytes(path);
    ASSERT_EQ(14u + 40u + 2u * 8u, half.size());
    EXPECT_EQ(2u, Le32(half, 22));
    EXPECT_EQ((std::vector<std::vector<BYTE>>{rows[1], rows[0]}), FileRows(half, 2));

    ASSERT_EQ(1, image.SaveBMP(path.c_str(), 3, 3));  // field 1 with lines between
    std::vector<std::vector<BYTE>> expected = {rows[1], std::vector<BYTE>{150, 150, 150, 0, 150, 150, 150, 0}, rows[0],
                                               rows[0]};
    EXPECT_EQ(expected, FileRows(ReadBytes(path), 2));

    ASSERT_EQ(1, image.SaveBMP(path.c_str(), 3, 5));  // an unknown layout: the file header alone
    std::vector<BYTE> bare = ReadBytes(path);
    ASSERT_EQ(14u, bare.size());
    EXPECT_EQ(14u, Le32(bare, 2));
}

TEST(BmpFile, FieldLayoutsNeedTwoWholeFields) {
    ScratchDir dir;
    std::string whole = dir.File("whole.bmp"), field = dir.File("field.bmp");
    for (auto luma : {std::initializer_list<BYTE>{10, 20, 30}, std::initializer_list<BYTE>{10}}) {
        Image::YCbCr_8bit image(4, static_cast<DWORD>(luma.size()));
        SetRowLuma(image, luma);
        ASSERT_EQ(1, image.SaveBMP(whole.c_str(), 1, 0));
        for (DWORD layout : {1u, 2u, 3u}) {
            ASSERT_EQ(1, image.SaveBMP(field.c_str(), 1, layout));
            EXPECT_EQ(ReadBytes(whole), ReadBytes(field)) << "height " << image.GetHeight() << " layout " << layout;
        }
    }
}

TEST(BmpFile, RefusalsAnswerZero) {
    ScratchDir dir;
    std::string path = dir.File("refused.bmp");
    Unpacked::Image::YCbCr_10_6 ten(4, 2, 0);
    Packed::Image::YCbCr_8_2 packed(ten, 0);
    EXPECT_EQ(0, ten.SaveBMP(path.c_str(), 1, 1));
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_TRUE(ReadBytes(path).empty());
    EXPECT_EQ(0, packed.SaveBMP(path.c_str(), 1, 2));
    EXPECT_EQ(0, ten.SaveBMP(path.c_str(), 6, 0));
    EXPECT_TRUE(ReadBytes(path).empty());
    EXPECT_EQ(1, packed.SaveBMP(path.c_str(), 1, 0));
    EXPECT_EQ(86u, ReadBytes(path).size());

    // A file that cannot be created is a failure, not an exception.
    Image::YCbCr_8bit image(4, 2);
    EXPECT_EQ(0, image.SaveBMP(dir.File("no/such/folder/x.bmp").c_str(), 1, 0));
    EXPECT_EQ(0, ten.SaveBMP(dir.File("no/such/folder/x.bmp").c_str(), 1, 0));
}

TEST(BmpFile, IndependentReaderSeesSizesAndPixels) {
    ScratchDir dir;
    std::vector<std::string> groups;
    auto add = [&](const std::string& name, const std::vector<std::vector<BYTE>>& expectedTopFirst, size_t width) {
        std::string rgb = dir.File(name + ".rgb");
        WriteRgb(rgb, expectedTopFirst);
        groups.push_back(dir.File(name + ".bmp") + ":" + rgb + ":" + std::to_string(width) + ":" +
                         std::to_string(expectedTopFirst.size()));
    };

    // A solid colour whose conversion is known: Y 100, Cb 200, Cr 60 is red 16, green 123, blue 224.
    Image::YCbCr_8bit solid(33 * 2, 20);
    solid.FillSolid(100, 200, 60);
    ASSERT_EQ(1, solid.SaveBMP(dir.File("solid.bmp").c_str(), 1, 0));
    add("solid", std::vector<std::vector<BYTE>>(20, [] {
            std::vector<BYTE> row;
            for (int i = 0; i < 66; ++i) row.insert(row.end(), {224, 123, 16, 0});
            return row;
        }()),
        66);

    Image::YCbCr_8bit random(64, 48);
    random.FillRandom(4242, 1);
    ASSERT_EQ(1, random.SaveBMP(dir.File("random.bmp").c_str(), 1, 0));
    add("random", DibRows(random.CreateDIB(1)), 64);

    auto rows = DibRows(random.CreateDIB(2));
    ASSERT_EQ(1, random.SaveBMP(dir.File("woven.bmp").c_str(), 2, 1));
    std::vector<std::vector<BYTE>> woven;
    for (size_t j = 0; j < 24; ++j) {
        woven.push_back(rows[24 + j]);
        woven.push_back(rows[j]);
    }
    add("woven", woven, 64);
    ASSERT_EQ(1, random.SaveBMP(dir.File("half.bmp").c_str(), 2, 2));
    add("half", std::vector<std::vector<BYTE>>(rows.begin(), rows.begin() + 24), 64);

    Unpacked::Image::YCbCr_10_6 ten(96, 54, 0);
    ten.FillHorzWedge(1, 0, 0x3FF);
    ASSERT_EQ(1, ten.SaveBMP(dir.File("ten.bmp").c_str(), 1, 0));
    add("ten", DibRows(ten.CreateDIB(1)), 96);

    Packed::Image::YCbCr_8_2 packed(ten, Packed::Image::YCbCr_8_2::GetPadFor(96, 54));
    ASSERT_EQ(1, packed.SaveBMP(dir.File("packed.bmp").c_str(), 1, 0));
    add("packed", DibRows(ten.CreateDIB(1)), 96);

    std::string command = std::string(PEX_IMAGE_PYTHON) + " " + PEX_BMP_CHECK_SCRIPT;
    for (const std::string& g : groups) command += " '" + g + "'";
    command += " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(nullptr, pipe) << command;
    std::string output;
    char buf[256];
    while (std::fgets(buf, sizeof buf, pipe)) output += buf;
    int status = ::pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    ASSERT_NE(2, WEXITSTATUS(status)) << "The BMP check needs Pillow (Debian package python3-pil) for "
                                      << PEX_IMAGE_PYTHON << ": " << output;
    EXPECT_EQ(0, WEXITSTATUS(status)) << output;
}
