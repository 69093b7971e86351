// CImage: the base of the six pixel-format classes: the one pixel block, the picture size and the image files.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "images/word_pair.h"
#include "platform/cstring.h"
#include "platform/files.h"
#include "platform/types.h"

template <class TImage>
class CRC32;

// A class identity as its 16 bytes stand in a binary image file (little-endian GUID fields).
using ImageGuid = std::array<BYTE, 16>;

// The 16 bytes of a GUID in its in-memory layout: the u32 and two u16 fields little-endian, then eight bytes.
constexpr ImageGuid GuidBytes(DWORD d1, WORD d2, WORD d3, std::array<BYTE, 8> d4) {
    return {static_cast<BYTE>(d1), static_cast<BYTE>(d1 >> 8), static_cast<BYTE>(d1 >> 16),
            static_cast<BYTE>(d1 >> 24), static_cast<BYTE>(d2), static_cast<BYTE>(d2 >> 8),
            static_cast<BYTE>(d3), static_cast<BYTE>(d3 >> 8), d4[0], d4[1], d4[2], d4[3],
            d4[4], d4[5], d4[6], d4[7]};
}

// Sample-format codes (CImage::nSampleFormat).
constexpr DWORD kSampleFormatFull = 4;     // plain 10-bit samples
constexpr DWORD kSampleFormat8Bit = 1;     // the two low bits of every 10-bit value are zero
constexpr DWORD kSampleFormatEncoded = 2;  // low bits exchanged within each pixel pair

// How a class's image file looks; CImage writes and reads the files of every class from it.
struct ImageFileForm {
    ImageGuid guid;
    const char* textTitle = nullptr;  // first line of the text form; null when the class has no text form
    const char* textDepth = nullptr;  // second line of the text form
    bool shortRecords = false;  // records 1, 2, 5 only; the block holds just the data; Read keeps offset and format
    bool padInData = false;     // the file's data block is the whole block, pad first
    bool rawFallback = false;   // a file without the identity may be a headerless picture of a known size
};

// The words that a CRC model reads from an image: little-endian 32-bit words from data, each
// masked, as the class's word accessor delivers them.
struct CrcWordSpan {
    const BYTE* data;
    size_t words;
    DWORD mask;
};

// Keeps a few large freed image blocks so that a block of a size freed before comes back without
// the kernel mapping, zeroing and later unmapping fresh pages. A block is handed out again only
// for exactly its own size, so no image ever holds more bytes than it knows of; its content is
// whatever the last owner left, so the taker writes the whole block. Blocks below minBytes are
// never kept; the oldest kept blocks go first when maxBlocks or maxBytes would be passed.
// Thread-safe.
class CBlockRecycler {
public:
    CBlockRecycler(size_t minBytes, size_t maxBlocks, size_t maxBytes);
    ~CBlockRecycler();
    CBlockRecycler(const CBlockRecycler&) = delete;
    CBlockRecycler& operator=(const CBlockRecycler&) = delete;

    // A kept block of exactly bytes bytes, the one kept last, or null.
    BYTE* Take(size_t bytes);
    // Keeps block (bytes long, from new BYTE[]) or frees it. Null is ignored.
    void Give(BYTE* block, size_t bytes);
    size_t HeldBlocks() const;
    size_t HeldBytes() const;

    // The one that the image classes share; null once it is gone with the library, when blocks
    // are freed directly.
    static CBlockRecycler* Images();

private:
    struct Kept {
        BYTE* block;
        size_t bytes;
    };
    const size_t m_minBytes, m_maxBlocks, m_maxBytes;
    mutable std::mutex m_lock;
    std::vector<Kept> m_kept;  // oldest first
    size_t m_heldBytes = 0;
};

// Bitmap block made by CreateDIB: a BITMAPINFOHEADER followed by 32-bit pixels, top row first.
using DibBlock = std::unique_ptr<BYTE[]>;

// An image owns exactly one heap block (pBuffer) of GetSize() + GetOffset() bytes; where the
// offset bytes lie is the class's business. Operations answer 1 for success and 0 for failure
// and print nothing; a failed Read leaves the image as it was. Every pixel and block operation
// stays inside the block actually held, whatever width, height and offset claim.
class CImage {
public:
    CImage(DWORD width, DWORD height, DWORD offset);
    // Takes the source's size; copies nothing unless the source's data size is 0 as well (the
    // class constructors copy or convert the data themselves).
    CImage(const CImage& source, DWORD offset);
    CImage(const CImage&) = delete;  // an image owns its block; copy with a class constructor or operator=
    virtual ~CImage();

    // Raw copy for the classes that add no fields: the source's size, offset 0, a new block and
    // min(source offset + size, own offset + size) bytes from the source block's first byte.
    // The sample format is not copied. A source of data size 0 frees this image's block.
    CImage& operator=(const CImage& source);

    // Read when the archive is loading, Write(ar, 0) when it is storing.
    int Serialize(CArchive& ar);
    // Copies the data (from each block's offset) when both data sizes agree and the source has a block.
    virtual void CopyFrom(const CImage& source);
    virtual DWORD GetSize() const { return 0; }
    virtual BYTE* GetBuffer() const { return pBuffer; }
    virtual DWORD GetWidth() const { return nWidth; }
    virtual DWORD GetHeight() const { return nHeight; }
    virtual DWORD GetOffset() const { return nOffset; }
    virtual DWORD GetBytesPerPixel() const { return 0; }
    // A new zero-filled block of GetSize() + GetOffset() bytes in place of the old one; null, with
    // nothing changed, when it cannot be had.
    virtual BYTE* Allocate();
    virtual void Free();
    virtual CString GetPixelText(DWORD x, DWORD y) const;
    virtual DibBlock CreateDIB(DWORD mode) const;
    virtual void SetWidth(DWORD width) { nWidth = width; }
    virtual void SetHeight(DWORD height) { nHeight = height; }
    virtual void SetOffset(DWORD offset) { nOffset = offset; }
    // Format 0 binary, 1 text (not for the 8-bit classes); written straight into the archive's file.
    virtual int Write(CArchive& ar, int format) const;
    // Writes the image in format as the whole of path; 0 when the file cannot be created or written,
    // or the image not written in that format, with path then as it was and errno the cause (0
    // for a refused format).
    virtual int SaveFile(const CString& path, int format) const;
    // Reads one binary image file from the archive's file at its current position.
    virtual int Read(CArchive& ar);

    // Reads a headerless file whose length equals GetSize() into the block from its first byte.
    BOOL LoadRawFile(const CString& path);

    // Applies the model count times, each result seeding the next (image_crc.h); count 0 answers
    // seed. An image of another class than the model's answers seed.
    template <class TImage>
    DWORD ComputeCRC(const CRC32<TImage>& model, DWORD seed, DWORD count) const;

    DWORD GetSampleFormat() const { return nSampleFormat; }
    void SetSampleFormat(DWORD format) { nSampleFormat = format; }

    // Sample-format code, a plain field that the tests set before filling or packing.
    DWORD nSampleFormat = kSampleFormatFull;

protected:
    virtual const ImageFileForm& FileForm() const = 0;
    // Data bytes that a picture of width x height needs in this class; 64-bit, as a picture may
    // need more than a DWORD can count.
    virtual uint64_t DataBytesFor(DWORD width, DWORD height) const;
    // Called by Read once the new block and geometry are in place (the packed classes place their planes).
    virtual void OnGeometryRead() {}
    // Bytes that a block read from a file holds behind the data and the pad: room for pixel bits
    // that a file of dataSize bytes has no place for (0 in most classes).
    virtual uint64_t SpareBytesFor(DWORD width, DWORD height, DWORD dataSize) const;

    // A block of bytes bytes, or null when it cannot be had or exceeds a 32-bit size. Its content
    // is undefined (a large one may be a recycled block): the caller writes all of it.
    static BYTE* NewBlock(uint64_t bytes);
    // Gives back a block from NewBlock that no image took.
    static void ReleaseBlock(BYTE* block, size_t bytes);
    // Frees the old block and keeps block (bytes long).
    void TakeBlock(BYTE* block, size_t bytes);
    size_t GetBlockBytes() const { return m_blockBytes; }
    static size_t BlockBytesOf(const CImage& image) { return image.m_blockBytes; }
    static const BYTE* BufferOf(const CImage& image) { return image.pBuffer; }
    // Whether the data for the picture's size plus pad bytes can be held in a 32-bit sized block.
    bool GeometryFits(DWORD pad) const;
    // Allocate's work: a new block of GetSize() + pad bytes, handed to fill(block, bytes), which
    // must write every byte of it, and then kept in place of the old one; null, with nothing
    // changed, when the picture and pad need more than a 32-bit size or the block cannot be had.
    template <class Fill>
    BYTE* AllocateBlock(DWORD pad, Fill fill) {
        if (!GeometryFits(pad)) return nullptr;
        const uint64_t bytes = uint64_t(GetSize()) + pad;
        BYTE* block = NewBlock(bytes);
        if (!block) return nullptr;
        fill(block, static_cast<size_t>(bytes));
        TakeBlock(block, static_cast<size_t>(bytes));
        return block;
    }
    // The raw-copy assignment: a source of data size 0 frees this image's block; else this
    // image takes the source's width and height and offset, a new block (Allocate) and the
    // leading bytes of the source's block (CopyLeadingBytes). The sample format is not copied.
    void AssignRaw(const CImage& source, DWORD offset);
    // Copies min(own offset + size, source offset + size) bytes, bounded by both blocks, from
    // the first byte of the source's block to the first byte of this one.
    void CopyLeadingBytes(const CImage& source);
    // Bytes of pixel data held from the block's first byte: GetSize() bounded by the block.
    size_t DataBytesInBlock() const;
    // The little-endian word at byte 4 * index, masked, when the whole word lies below limit
    // bytes and inside the block.
    bool RawWord(DWORD index, uint64_t limit, DWORD mask, DWORD* out) const;
    // Whole words below limit bytes that lie inside the block.
    size_t RawWordCount(uint64_t limit) const;

    BYTE* pBuffer = nullptr;
    DWORD nWidth;
    DWORD nHeight;
    DWORD nOffset;

private:
    int ReadRawFile(CFile& file);
    int WriteBinary(CFile& file) const;
    int WriteText(CFile& file) const;

    size_t m_blockBytes = 0;
};

namespace images_detail {
struct SaveOutcome;
// CImage::SaveFile's work, with how it ended (images/file_error.h), for callers that report it.
SaveOutcome SaveImageFile(const CImage& image, const CString& path, int format);
}  // namespace images_detail

// The known sizes of headerless 4:2:2 picture files, (width, height) in the order they are tried.
void BuildResolutionList(std::vector<CWordPair>& list);
