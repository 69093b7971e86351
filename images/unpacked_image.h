// Unpacked 10-bit pictures and alphas: one sample per little-endian 16-bit word, the value in bits 15..6.
#pragma once

#include "images/image.h"
#include "platform/cstring.h"
#include "platform/types.h"

namespace Unpacked {
namespace Alpha {

// One key value per pixel, row-major, each the word value << 6.
class YCbCr_10_6 : public CImage {
public:
    YCbCr_10_6(DWORD width, DWORD height);

    DWORD GetSize() const override { return nWidth * nHeight * GetBytesPerPixel(); }
    DWORD GetBytesPerPixel() const override { return 2; }
    DibBlock CreateDIB(DWORD mode) const override;

    static DWORD GetSizeFor(DWORD width, DWORD height) { return width * height * 2; }

    // Word index of the block with bits 0-5 and 16-21 cleared: the word source of the CRC models.
    virtual bool GetWord(DWORD index, DWORD& out) const;
    virtual bool FillHorzRamp();
    virtual bool FillVertRamp();
    // srand(seed), then (rand() % 1024) << 6 into every pixel, row by row.
    virtual bool FillRandom(DWORD seed);
    virtual bool FillRandomFromTime();
    // Zero, then the two diagonals in 1023 (with frame 1 also the four borders); mode is not used.
    virtual bool FillDiagonalLines(DWORD mode, BYTE frame);
    // 1023 with zero lines every 32 pixels and along the last column and row; mode is not used.
    virtual bool FillGrid(DWORD mode);
    virtual bool DrawLine(DWORD x0, DWORD y0, DWORD x1, DWORD y1, WORD value);

    // Stores the raw word, unshifted, into every pixel.
    bool FillSolid(WORD word);
    // Pixel accessors: false without a block or for a pixel outside the picture.
    bool SetPixel(DWORD row, DWORD col, WORD value);
    bool GetPixel(DWORD row, DWORD col, WORD& value) const;

    CrcWordSpan GetCrcWords() const;

protected:
    const ImageFileForm& FileForm() const override;
    uint64_t DataBytesFor(DWORD width, DWORD height) const override { return uint64_t(width) * height * 2; }

private:
    // The word of pixel (row, col) when it lies in the picture and the block; null otherwise.
    BYTE* PixelWord(DWORD row, DWORD col) const;
    size_t PixelsInBlock() const;
};

}  // namespace Alpha

namespace Image {

// A 4:2:2 picture: pixel pairs of the words Cb, Y0, Cr, Y1 along the row-major pixel sequence.
// Fills write pairs through MakePixelPair in the image's sample format and clamp values to
// [lo, hi]; the wedge, tile and random fills also mask them to eight bits in sample format 1.
class YCbCr_10_6 : public CImage {
public:
    YCbCr_10_6(DWORD width, DWORD height, DWORD offset = 0);
    // A raw copy of the source's block from its first byte, whatever the source's class.
    YCbCr_10_6(const CImage& source, DWORD offset);

    DWORD GetSize() const override { return nWidth * nHeight * GetBytesPerPixel(); }
    DWORD GetBytesPerPixel() const override { return 4; }
    CString GetPixelText(DWORD x, DWORD y) const override;
    // Conversion modes 1 to 5 (bitmap.h); null for any other mode or without a block.
    DibBlock CreateDIB(DWORD mode) const override;

    virtual DWORD GetBitsPerSample() const { return 10; }
    // Decodes a sample-format-2 picture into format 4; false, changing nothing, for any other format.
    virtual bool ConvertToFormat4();
    virtual bool FillTiles(DWORD mode, WORD lo, WORD hi);
    virtual bool FillHorzWedge(DWORD mode, WORD lo, WORD hi);
    virtual bool FillVertWedge(DWORD mode, WORD lo, WORD hi);
    virtual bool FillRandom(DWORD seed, BYTE mode, WORD lo, WORD hi);
    virtual bool FillRandomFromTime(BYTE mode, WORD lo, WORD hi);
    virtual bool FillRampStride4();
    virtual bool FillDiagonalLines(DWORD mode, WORD lo, WORD hi);
    virtual bool FillGrid(DWORD mode, WORD lo, WORD hi);
    // Pattern codes 1 to 10 of the image tests; false for any other code.
    virtual bool FillPattern(DWORD code, WORD lo, WORD hi);
    virtual bool DrawLine(DWORD x0, DWORD y0, DWORD x1, DWORD y1, WORD y, WORD cb, WORD cr);

    static DWORD GetSizeFor(DWORD width, DWORD height) { return width * height * 4; }
    // The four words of a pixel pair in the given sample format (an unknown format gives zeros).
    static void MakePixelPair(WORD pair[4], WORD y0, WORD y1, WORD cb, WORD cr, DWORD sampleFormat);

    // Every pair Cb, Y, Cr, Y with bits 0-5 of each word kept; the sample format is not applied.
    bool FillSolid(WORD y, WORD cb, WORD cr);
    // Pixel accessors: false without a block or for a pixel outside the picture.
    bool SetPixel(DWORD row, DWORD col, WORD y, WORD cb, WORD cr);
    bool GetPixel(DWORD row, DWORD col, WORD& y, WORD& cb, WORD& cr) const;
    BOOL SaveBMP(const CString& path, DWORD mode, DWORD layout) const;

    // Word index of the block with bits 0-5 and 16-21 cleared: the word source of the CRC models.
    bool GetWord(DWORD index, DWORD& out) const;
    CrcWordSpan GetCrcWords() const;

protected:
    const ImageFileForm& FileForm() const override;
    uint64_t DataBytesFor(DWORD width, DWORD height) const override { return uint64_t(width) * height * 4; }

private:
    // The fills write pairs along the rows (x = 0, 2, ... below the width) one after another in
    // the block, never past the data in the block; false without a block. For fills whose rows
    // repeat every period rows, make(row, x, pair) makes each pair of the first period rows and
    // every later row is a copy of the one period rows up.
    template <class Make>
    bool FillRowsRepeating(uint64_t period, Make make);
    // Fills whose rows hold one pair throughout: make(row, pair) makes it.
    template <class Make>
    bool FillRowsSolid(Make make);
    // The pair holding pixel (row, col) when it lies in the picture and the block; null otherwise.
    BYTE* PairOf(DWORD row, DWORD col) const;
};

}  // namespace Image
}  // namespace Unpacked
