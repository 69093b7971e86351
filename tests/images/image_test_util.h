// Helpers of the image library tests: the six classes' short names, file bytes, block bytes and the runtime's generator.
#pragma once

#include <array>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "images/image_8bit.h"
#include "images/packed_image.h"
#include "images/unpacked_image.h"
#include "platform/files.h"
#include "platform/runtime.h"
#include "tests/support/temp_dir.h"

namespace image_test {

using support::TempDir;
using Bytes = std::vector<BYTE>;
using UPicture = Unpacked::Image::YCbCr_10_6;
using UAlpha = Unpacked::Alpha::YCbCr_10_6;
using PPicture = Packed::Image::YCbCr_8_2;
using PAlpha = Packed::Alpha::YCbCr_8_2;
using Picture8 = Image::YCbCr_8bit;
using Alpha8 = Alpha::YCbCr_8bit;

inline Bytes ReadBytes(const std::string& path) { const std::string s = support::ReadText(path); return Bytes(s.begin(), s.end()); }

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// count bytes of the image's block from byte from; the whole block: data and offset bytes.
inline Bytes BlockBytes(const CImage& image, size_t from, size_t count) {
    const BYTE* p = image.GetBuffer();
    return p ? Bytes(p + from, p + from + count) : Bytes();
}
inline Bytes AllBytes(const CImage& image) { return BlockBytes(image, 0, image.GetSize() + image.GetOffset()); }

// Size, offset, sample format and block of an image.
inline auto State(const CImage& a) { return std::make_tuple(a.GetWidth(), a.GetHeight(), a.GetOffset(), a.nSampleFormat, AllBytes(a)); }

// Reads one image from the file through a loading archive. A heap block of dirtyBytes is filled
// and freed first, so that a reader handing out unset bytes shows them.
inline int ReadFrom(CImage& image, const std::string& path, size_t dirtyBytes = 0) {
    CFile file;
    if (!file.Open(path.c_str(), CFile::modeRead | CFile::typeBinary)) return -1;
    CArchive ar(&file, CArchive::load);
    if (dirtyBytes) {
        BYTE* dirty = new BYTE[dirtyBytes];
        std::memset(dirty, 0xA5, dirtyBytes);
        asm volatile("" : : "r"(dirty) : "memory");  // keeps the fill
        delete[] dirty;
    }
    return image.Serialize(ar);
}

// The original runtime's generator, written out independently of the platform layer.
struct Lcg { uint32_t state; int Next() { return static_cast<int>(((state = state * 214013u + 2531011u) >> 16) & 0x7FFF); } };

}  // namespace image_test
