// Packed 8+2-bit pictures and alphas: the top eight bits of each 10-bit sample in an 8-bit plane, the low two in a 2-bit plane.
#pragma once

#include "images/image.h"
#include "platform/cstring.h"
#include "platform/types.h"

namespace images_detail {

// What a group of four 16-bit words leaves in its 2-bit byte: bits 7..6 of word i in bits
// 2i + 1..2i (in order), that byte rotated right by two places (the encoded words' bits, whose
// mirror exchange puts Cr, Y0, Cb, Y1 there), or nothing.
enum class PackLowBits { InOrder, Encoded, None };
// The packer's forms: one group at a time, and the vector forms some processors run.
enum class PackForm { Plain, Sse2, Avx2, Avx512 };

// Whether this build and processor run the form.
bool CanPackBy(PackForm form);
// Packs groups of four little-endian 16-bit words from src by the form (nothing if it cannot
// run): the words' high bytes into p8, four a group, and the group's 2-bit byte into p2. The
// pictures use the widest form; the others are here for the tests that compare them.
void PackGroupsBy(PackForm form, PackLowBits low, const BYTE* src, uint64_t groups, BYTE* p8, BYTE* p2);

}  // namespace images_detail

namespace Packed {
namespace Alpha {

// Block layout [8-bit plane][2-bit plane][pad]: one 8-bit byte per pixel, and one 2-bit byte per
// four pixels (pixel 4g + i in bits 2i + 1..2i of byte g). The pad is the CImage offset. The
// 2-bit plane counts P / 4 rounded to nearest bytes; when P mod 4 is 1 the last pixel's field
// lies in one more byte, held in the block between the planes and the pad but in no size or file.
class YCbCr_8_2 : public CImage {
public:
    YCbCr_8_2(DWORD width, DWORD height, DWORD pad = 0);
    // Packs an unpacked alpha of the same size (Unpacked::Alpha::YCbCr_10_6); a source of data
    // size 0 leaves the image without a block.
    YCbCr_8_2(const CImage& source, DWORD offset);
    YCbCr_8_2& operator=(const YCbCr_8_2& source);

    DWORD GetSize() const override { return nPlaneBytes; }
    DWORD GetBytesPerPixel() const override { return 10; }
    // A fresh block for the current size and pad, the planes placed anew: 0x99 in the 8-bit
    // plane, 0x77 in the 2-bit plane, the pad zero.
    BYTE* Allocate() override;
    DibBlock CreateDIB(DWORD mode) const override;

    virtual BYTE* Get8BitPlane() const;
    virtual BYTE* Get2BitPlane() const;
    // The raw little-endian word at block byte 4 * index, pad included; only whole words.
    virtual bool GetWord(DWORD index, DWORD* out) const;
    // 10-bit value of a pixel; false without a block or for a pixel outside the picture.
    virtual bool GetPixel(DWORD row, DWORD col, WORD* value) const;
    virtual bool SetPixel(DWORD row, DWORD col, const WORD* value);

    // Packs the source's words (value << 6, one per pixel, from its block's first byte); nothing
    // happens unless the source holds a word for every pixel of this picture.
    void PackFrom(const CImage& source);

    // Plane bytes of a width x height alpha, and the pad that brings them to whole 4096-byte units.
    static DWORD GetSizeFor(DWORD width, DWORD height);
    static DWORD GetPadFor(DWORD width, DWORD height);

    CrcWordSpan GetCrcWords() const;

protected:
    const ImageFileForm& FileForm() const override;
    uint64_t DataBytesFor(DWORD width, DWORD height) const override;
    void OnGeometryRead() override { SetPlanes(); }
    uint64_t SpareBytesFor(DWORD width, DWORD height, DWORD dataSize) const override;

private:
    void SetPlanes();
    bool PlanesInBlock() const;
    // The 2-bit bytes that the pixels' fields take: n2BitPlaneSize, or one more (see above).
    DWORD TwoBitBytesHeld() const;
    // Allocate's block for the planes already set: the fresh planes, or with words (one per
    // pixel) the planes packed from them.
    BYTE* AllocatePlanes(const BYTE* words);
    // Packs n words from src: high bytes into p8, the 2-bit fields four a byte into p2.
    static void PackPixels(const BYTE* src, uint64_t n, BYTE* p8, BYTE* p2);

    DWORD n8BitPlaneSize = 0;
    DWORD n2BitPlaneSize = 0;
    DWORD n8BitPlaneOffset = 0;
    DWORD n2BitPlaneOffset = 0;
    DWORD nPlaneBytes = 0;
};

}  // namespace Alpha

namespace Image {

// Block layout [pad][2-bit plane][8-bit plane]: four 8-bit bytes per pixel pair (Cb, Y0, Cr,
// Y1) and one 2-bit byte per pair (Cb bits 1..0, Y0 3..2, Cr 5..4, Y1 7..6 in sample format 4).
// The pad is the CImage offset; the binary file holds the whole block, pad first.
class YCbCr_8_2 : public CImage {
public:
    YCbCr_8_2(DWORD width, DWORD height, DWORD pad = 0);
    // Packs an unpacked 4:2:2 picture (Unpacked::Image::YCbCr_10_6) in its sample format, which
    // the packed picture takes over; a source of data size 0 leaves the image without a block.
    YCbCr_8_2(const CImage& source, DWORD offset);
    // A raw copy of the source's block; the planes lie where the source's pad puts them.
    YCbCr_8_2& operator=(const YCbCr_8_2& source);

    DWORD GetSize() const override { return nPlaneBytes; }
    DWORD GetBytesPerPixel() const override { return 10; }
    // As the alpha's: the planes placed anew behind the current pad.
    BYTE* Allocate() override;
    // Conversion modes 1 to 5 (bitmap.h); null for any other mode or without a block.
    DibBlock CreateDIB(DWORD mode) const override;

    virtual BYTE* Get8BitPlane() const;
    virtual BYTE* Get2BitPlane() const;
    virtual DWORD Get2BitPlaneSize() const { return n2BitPlaneSize; }
    virtual DWORD Get8BitPlaneSize() const { return n8BitPlaneSize; }

    // Packs pixels / 2 pairs of unpacked words (Cb, Y0, Cr, Y1, each value << 6) into the planes
    // by this picture's sample format: 4 keeps the low bits in pair order, 2 takes them from the
    // encoded words, 1 stores 0. The caller guarantees the sizes behind the pointers.
    void PackFrom(DWORD pixels, const WORD* words, BYTE* plane8, BYTE* plane2) const;

    // Y of the pixel and Cb, Cr of its pair, read in the sample-format-4 layout; false without a
    // block or for a pixel outside the picture.
    bool GetPixel(DWORD row, DWORD col, WORD* y, WORD* cb, WORD* cr) const;
    BOOL SaveBMP(const CString& path, DWORD mode, DWORD layout) const;
    // The raw little-endian word at block byte 4 * index, pad first: the CRC models' word source.
    bool GetWord(DWORD index, DWORD* out) const;
    CrcWordSpan GetCrcWords() const;

    // Plane bytes of a width x height picture (rounding half a pair up), and the pad that brings
    // them to whole 4096-byte units.
    static DWORD GetSizeFor(DWORD width, DWORD height);
    static DWORD GetPadFor(DWORD width, DWORD height);

protected:
    const ImageFileForm& FileForm() const override;
    uint64_t DataBytesFor(DWORD width, DWORD height) const override;
    void OnGeometryRead() override { SetPlanes(); }

private:
    void SetPlanes();
    bool PlanesInBlock() const;
    // Allocate's block for the planes already set: the fresh planes, or with words (a pair for
    // every pixel pair) the planes packed from them by this picture's sample format.
    BYTE* AllocatePlanes(const WORD* words);

    DWORD n8BitPlaneOffset = 0;
    DWORD n2BitPlaneOffset = 0;
    DWORD n2BitPlaneSize = 0;
    DWORD n8BitPlaneSize = 0;
    DWORD nPlaneBytes = 0;
};

}  // namespace Image
}  // namespace Packed
