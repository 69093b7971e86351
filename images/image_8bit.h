// 8-bit pictures (4:2:2, bytes Cb, Y0, Cr, Y1 per pixel pair) and 8-bit alphas (one byte per pixel).
#pragma once

#include "images/image.h"
#include "platform/cstring.h"
#include "platform/types.h"

namespace Image {

// Fills take byte values modulo 256 and walk the rows pair by pair, left to right.
class YCbCr_8bit : public CImage {
public:
    YCbCr_8bit(DWORD width, DWORD height);

    DWORD GetSize() const override { return nWidth * nHeight * GetBytesPerPixel(); }
    DWORD GetBytesPerPixel() const override { return 2; }
    // A zero-filled block of GetSize() bytes: the 8-bit classes hold no offset bytes.
    BYTE* Allocate() override;
    CString GetPixelText(DWORD x, DWORD y) const override;
    // Conversion modes 1 to 5 (bitmap.h); null for any other mode or without a block.
    DibBlock CreateDIB(DWORD mode) const override;

    virtual DWORD GetBitsPerSample() const { return 8; }
    // BMP file of CreateDIB(mode) in layout 0 (whole picture), 1 (two stacked fields woven),
    // 2 (field 1 at half height) or 3 (field 1 interpolated); each field is H / 2 rows. 0 when
    // the file cannot be created.
    virtual BOOL SaveBMP(const CString& path, DWORD mode, DWORD layout) const;
    virtual bool FillSolid(BYTE y, BYTE cb, BYTE cr);
    virtual bool FillTiles(DWORD mode);
    virtual bool FillHorzWedge(DWORD mode);
    virtual bool FillVertWedge(DWORD mode);
    virtual bool FillRandom(DWORD seed, DWORD mode);
    virtual bool FillRandomFromTime(DWORD mode);
    virtual bool FillDiagonalLines(DWORD unused);
    virtual bool FillGrid(DWORD unused);
    // Pattern codes 1 to 10 of the image tests; false for any other code.
    virtual bool FillPattern(DWORD code);
    virtual bool DrawLine(DWORD x0, DWORD y0, DWORD x1, DWORD y1, BYTE y, BYTE cb, BYTE cr);

    // Pixel accessors: false without a block or for a pixel outside the picture.
    bool GetPixel(DWORD row, DWORD col, WORD* y, WORD* cb, WORD* cr) const;
    bool SetPixel(DWORD row, DWORD col, const BYTE* y, const BYTE* cb, const BYTE* cr);

    static DWORD GetSizeFor(DWORD width, DWORD height) { return 2 * width * height; }

protected:
    const ImageFileForm& FileForm() const override;
    uint64_t DataBytesFor(DWORD width, DWORD height) const override { return 2 * uint64_t(width) * height; }

private:
    // Writes 4-byte pairs along the rows (c = 0, 2, ... below the width), never past the data in
    // the block; make(row, c, pair) answers whether to store the pair. false without a block.
    template <class Make>
    bool WalkPairs(Make make);
    BYTE* PairOf(DWORD row, DWORD col) const;
};

}  // namespace Image

namespace Alpha {

// The wedge and random fills handle one byte per pixel pair position, so each row takes
// (width + 1) / 2 consecutive bytes and the rest of the block keeps its contents.
class YCbCr_8bit : public CImage {
public:
    YCbCr_8bit(DWORD width, DWORD height);

    DWORD GetSize() const override { return nWidth * nHeight * GetBytesPerPixel(); }
    DWORD GetBytesPerPixel() const override { return 1; }
    BYTE* Allocate() override;
    CString GetPixelText(DWORD x, DWORD y) const override;
    DibBlock CreateDIB(DWORD mode) const override;

    // The raw little-endian word at block byte 4 * index; only whole words.
    virtual bool GetWord(DWORD index, DWORD* word) const;
    // Pixel accessors: false without a block or for a pixel outside the picture.
    virtual bool GetPixel(DWORD row, DWORD col, BYTE* value) const;
    virtual bool SetPixel(DWORD row, DWORD col, const BYTE* value);
    virtual bool FillSolid(BYTE value);
    virtual bool FillHorzWedge(DWORD mode);
    virtual bool FillVertWedge(DWORD mode);
    virtual bool FillRandom(DWORD seed);
    virtual bool FillRandomFromTime();
    virtual bool FillDiagonalLines();
    virtual bool FillGrid();
    virtual bool FillPattern(DWORD code);
    virtual bool DrawLine(DWORD x0, DWORD y0, DWORD x1, DWORD y1, BYTE value);

    static DWORD GetSizeFor(DWORD width, DWORD height) { return width * height; }

    CrcWordSpan GetCrcWords() const;

protected:
    const ImageFileForm& FileForm() const override;
    uint64_t DataBytesFor(DWORD width, DWORD height) const override { return uint64_t(width) * height; }

private:
    template <class Make>
    bool WalkPositions(Make make);
    BYTE* PixelOf(DWORD row, DWORD col) const;
};

}  // namespace Alpha
