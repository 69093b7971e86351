// CImage: block ownership, copies, and the binary and text image files shared by all six classes.
#include "images/image.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#define PEX_IMAGE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PEX_IMAGE_ASAN 1
#endif
#endif
#ifdef PEX_IMAGE_ASAN
#include <sanitizer/asan_interface.h>
#endif

#include "images/byte_order.h"
#include "images/file_error.h"
#include "images/image_detail.h"

using images_detail::kMaxBlockBytes;
using images_detail::LoadLE32;
using images_detail::StoreLE32;

// Large blocks kept for reuse: a few picture-sized ones (a 1080p picture is 8 MB unpacked) and a
// bound on the memory they hold while idle.
constexpr size_t kRecycleMinBytes = size_t{1} << 20;
constexpr size_t kRecycleMaxBlocks = 8;
constexpr size_t kRecycleMaxBytes = size_t{96} << 20;

// A pad a file does not hold is page alignment at most.
constexpr DWORD kMaxUnheldPad = 4096;

namespace {

bool ReadExact(CFile& file, void* buffer, uint64_t bytes) {
    BYTE* p = static_cast<BYTE*>(buffer);
    while (bytes > 0) {
        UINT chunk = static_cast<UINT>(std::min<uint64_t>(bytes, 1u << 30));
        UINT got = file.Read(p, chunk);
        if (got != chunk) return false;
        p += got;
        bytes -= got;
    }
    return true;
}

bool WriteAll(CFile& file, const void* buffer, uint64_t bytes) {
    const BYTE* p = static_cast<const BYTE*>(buffer);
    while (bytes > 0) {
        UINT chunk = static_cast<UINT>(std::min<uint64_t>(bytes, 1u << 30));
        if (!file.Write(p, chunk)) return false;
        p += chunk;
        bytes -= chunk;
    }
    return true;
}

constexpr DWORD kTagWidth = 1;
constexpr DWORD kTagHeight = 2;
constexpr DWORD kTagOffset = 3;
constexpr DWORD kTagSampleFormat = 4;
constexpr DWORD kTagDataSize = 5;

}  // namespace

CImage::CImage(DWORD width, DWORD height, DWORD offset) : nWidth(width), nHeight(height), nOffset(offset) {}

CImage::CImage(const CImage& source, DWORD offset)
    : nWidth(source.nWidth), nHeight(source.nHeight), nOffset(offset) {
    // Still a bare CImage here, so GetSize() is 0 and only an empty source copies anything.
    CopyFrom(source);
}

CImage::~CImage() { Free(); }

CImage& CImage::operator=(const CImage& source) {
    AssignRaw(source, 0);
    return *this;
}

void CImage::AssignRaw(const CImage& source, DWORD offset) {
    if (this == &source) return;  // freeing first would lose the data being copied
    if (source.GetSize() == 0) {
        Free();
        return;
    }
    if (GetSize() != 0) Free();
    SetWidth(source.GetWidth());
    SetHeight(source.GetHeight());
    SetOffset(offset);
    if (Allocate()) CopyLeadingBytes(source);
}

void CImage::CopyLeadingBytes(const CImage& source) {
    if (!pBuffer || !source.pBuffer) return;
    uint64_t n = std::min<uint64_t>(uint64_t(source.GetOffset()) + source.GetSize(), uint64_t(GetOffset()) + GetSize());
    n = std::min<uint64_t>({n, source.m_blockBytes, m_blockBytes});
    std::memcpy(pBuffer, source.pBuffer, static_cast<size_t>(n));
}

int CImage::Serialize(CArchive& ar) { return ar.IsLoading() ? Read(ar) : Write(ar, 0); }

void CImage::CopyFrom(const CImage& source) {
    if (this == &source) return;  // Allocate would clear the very bytes to be copied
    if (source.GetSize() != GetSize() || !source.pBuffer) return;
    if (!Allocate()) return;
    uint64_t size = GetSize();
    if (uint64_t(source.nOffset) + size > source.m_blockBytes || uint64_t(nOffset) + size > m_blockBytes) return;
    std::memcpy(pBuffer + nOffset, source.pBuffer + source.nOffset, static_cast<size_t>(size));
}

uint64_t CImage::DataBytesFor(DWORD width, DWORD height) const {
    (void)width;
    (void)height;
    return 0;
}

uint64_t CImage::SpareBytesFor(DWORD, DWORD, DWORD) const { return 0; }

bool CImage::GeometryFits(DWORD pad) const {
    return DataBytesFor(nWidth, nHeight) + pad <= kMaxBlockBytes && uint64_t(GetSize()) + pad <= kMaxBlockBytes;
}

// ---- block recycling ----

namespace {

// A kept block is out of bounds to everyone until handed out again, so a read through a stale
// pointer is still caught as a use after free would be.
void Hide(BYTE* block, size_t bytes) {
#ifdef PEX_IMAGE_ASAN
    ASAN_POISON_MEMORY_REGION(block, bytes);
#else
    (void)block;
    (void)bytes;
#endif
}

void Show(BYTE* block, size_t bytes) {
#ifdef PEX_IMAGE_ASAN
    ASAN_UNPOISON_MEMORY_REGION(block, bytes);
#else
    (void)block;
    (void)bytes;
#endif
}

}  // namespace

CBlockRecycler::CBlockRecycler(size_t minBytes, size_t maxBlocks, size_t maxBytes)
    : m_minBytes(minBytes), m_maxBlocks(maxBlocks), m_maxBytes(maxBytes) {}

CBlockRecycler::~CBlockRecycler() {
    for (const Kept& k : m_kept) {
        Show(k.block, k.bytes);
        delete[] k.block;
    }
}

BYTE* CBlockRecycler::Take(size_t bytes) {
    if (bytes < m_minBytes || bytes > m_maxBytes) return nullptr;
    std::lock_guard<std::mutex> hold(m_lock);
    for (auto it = m_kept.rbegin(); it != m_kept.rend(); ++it) {
        if (it->bytes != bytes) continue;
        BYTE* block = it->block;
        m_heldBytes -= bytes;
        m_kept.erase(std::next(it).base());
        Show(block, bytes);
        return block;
    }
    return nullptr;
}

void CBlockRecycler::Give(BYTE* block, size_t bytes) {
    if (!block) return;
    if (bytes < m_minBytes || bytes > m_maxBytes || m_maxBlocks == 0) {
        delete[] block;
        return;
    }
    std::vector<Kept> evicted;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        size_t drop = 0;
        size_t held = m_heldBytes;
        while (drop < m_kept.size() && (m_kept.size() - drop >= m_maxBlocks || held + bytes > m_maxBytes))
            held -= m_kept[drop++].bytes;
        evicted.assign(m_kept.begin(), m_kept.begin() + static_cast<std::ptrdiff_t>(drop));
        m_kept.erase(m_kept.begin(), m_kept.begin() + static_cast<std::ptrdiff_t>(drop));
        Hide(block, bytes);
        m_kept.push_back({block, bytes});
        m_heldBytes = held + bytes;
    }
    // Freed outside the lock: returning megabytes to the kernel takes a while.
    for (const Kept& k : evicted) {
        Show(k.block, k.bytes);
        delete[] k.block;
    }
}

size_t CBlockRecycler::HeldBlocks() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_kept.size();
}

size_t CBlockRecycler::HeldBytes() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_heldBytes;
}

namespace {
// Set as the shared recycler goes; constant-initialised, so still readable after that.
std::atomic<bool> g_imageRecyclerGone{false};
}  // namespace

CBlockRecycler* CBlockRecycler::Images() {
    // Destroyed with the library, its blocks freed, so that a host unloading the library leaves
    // none behind; an image freed after that frees its block itself.
    static struct Shared {
        CBlockRecycler recycler{kRecycleMinBytes, kRecycleMaxBlocks, kRecycleMaxBytes};
        ~Shared() { g_imageRecyclerGone = true; }
    } shared;
    return g_imageRecyclerGone ? nullptr : &shared.recycler;
}

BYTE* CImage::NewBlock(uint64_t bytes) {
    if (bytes > kMaxBlockBytes) return nullptr;
    if (CBlockRecycler* recycler = CBlockRecycler::Images())
        if (BYTE* kept = recycler->Take(static_cast<size_t>(bytes))) return kept;
    return new (std::nothrow) BYTE[static_cast<size_t>(bytes)];
}

void CImage::ReleaseBlock(BYTE* block, size_t bytes) {
    if (CBlockRecycler* recycler = CBlockRecycler::Images()) recycler->Give(block, bytes);
    else delete[] block;
}

void CImage::TakeBlock(BYTE* block, size_t bytes) {
    ReleaseBlock(pBuffer, m_blockBytes);
    pBuffer = block;
    m_blockBytes = block ? bytes : 0;
}

BYTE* CImage::Allocate() {
    return AllocateBlock(GetOffset(), images_detail::ZeroFill);
}

void CImage::Free() { TakeBlock(nullptr, 0); }

size_t CImage::DataBytesInBlock() const {
    return pBuffer ? std::min<size_t>(GetSize(), m_blockBytes) : 0;
}

bool CImage::RawWord(DWORD index, uint64_t limit, DWORD mask, DWORD* out) const {
    if (!pBuffer || !out) return false;
    uint64_t end = uint64_t(index) * 4 + 4;
    if (end > limit || end > m_blockBytes) return false;
    *out = LoadLE32(pBuffer + uint64_t(index) * 4) & mask;
    return true;
}

size_t CImage::RawWordCount(uint64_t limit) const {
    if (!pBuffer) return 0;
    return static_cast<size_t>(std::min<uint64_t>(limit, m_blockBytes) / 4);
}

CString CImage::GetPixelText(DWORD x, DWORD y) const {
    (void)x;
    (void)y;
    return CString("No info avail.");
}

DibBlock CImage::CreateDIB(DWORD mode) const {
    (void)mode;
    return nullptr;
}

BOOL CImage::LoadRawFile(const CString& path) {
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::typeBinary)) return FALSE;
    DWORD size = GetSize();
    if (file.GetLength() != LONGLONG(size)) return FALSE;
    if (!pBuffer || size > m_blockBytes) return FALSE;
    return ReadExact(file, pBuffer, size) ? TRUE : FALSE;
}

// ---- image files ----

images_detail::SaveOutcome images_detail::SaveImageFile(const CImage& image, const CString& path, int format) {
    return SaveWhole(path, [&](CFile& file) {
        CArchive ar(&file, CArchive::store, 4096);
        return image.Write(ar, format);
    });
}

int CImage::SaveFile(const CString& path, int format) const {
    return images_detail::SaveImageFile(*this, path, format).result;
}

int CImage::Write(CArchive& ar, int format) const {
    CFile* file = ar.GetFile();
    if (!file || !file->IsOpen()) return 0;
    if (format == 0) return WriteBinary(*file);
    if (format == 1 && FileForm().textTitle) return WriteText(*file);
    return 0;
}

int CImage::WriteBinary(CFile& file) const {
    const ImageFileForm& form = FileForm();
    BYTE header[16 + 5 * 8];
    std::memcpy(header, form.guid.data(), 16);
    size_t length = 16;
    auto record = [&](DWORD tag, DWORD value) {
        StoreLE32(header + length, tag);
        StoreLE32(header + length + 4, value);
        length += 8;
    };
    record(kTagWidth, nWidth);
    record(kTagHeight, nHeight);
    if (!form.shortRecords) {
        record(kTagOffset, nOffset);
        record(kTagSampleFormat, nSampleFormat);
    }
    record(kTagDataSize, GetSize());
    if (!WriteAll(file, header, length)) return 0;
    uint64_t dataBytes = form.padInData ? uint64_t(nOffset) + GetSize() : GetSize();
    // Without a whole block there is no data to follow the records.
    if (!pBuffer || dataBytes > m_blockBytes) return 0;
    return WriteAll(file, pBuffer, dataBytes) ? 1 : 0;
}

int CImage::WriteText(CFile& file) const {
    if (!images_detail::HeadersHoldSides(nWidth, nHeight)) return 0;
    const ImageFileForm& form = FileForm();
    std::string text;
    text += form.textTitle;
    text += '\n';
    text += form.textDepth;
    text += '\n';
    CString line;
    line.Format("WIDTH=%d\nHEIGHT=%d\nVCID=32768\n", static_cast<int>(nWidth), static_cast<int>(nHeight));
    text += line.c_str();
    if (pBuffer) {
        uint64_t words = std::min<uint64_t>(uint64_t(nOffset) + GetSize(), m_blockBytes) / 2;
        static const char kHex[] = "0123456789ABCDEF";
        size_t start = text.size();
        text.resize(start + static_cast<size_t>(words) * 5);
        char* out = text.data() + start;
        for (uint64_t i = 0; i < words; ++i) {
            unsigned v = images_detail::LoadLE16(pBuffer + 2 * i);
            out[0] = kHex[(v >> 12) & 0xF];
            out[1] = kHex[(v >> 8) & 0xF];
            out[2] = kHex[(v >> 4) & 0xF];
            out[3] = kHex[v & 0xF];
            out[4] = '\n';
            out += 5;
        }
    }
    return WriteAll(file, text.data(), text.size()) ? 1 : 0;
}

int CImage::Read(CArchive& ar) {
    CFile* file = ar.GetFile();
    if (!file || !file->IsOpen()) return 0;
    const ImageFileForm& form = FileForm();
    ImageGuid id;
    if (!ReadExact(*file, id.data(), id.size())) return 0;
    if (id != form.guid) return form.rawFallback ? ReadRawFile(*file) : 0;

    DWORD width = 0, height = 0, offset = 0, format = kSampleFormatFull, dataSize = 0;
    for (;;) {
        BYTE rec[8];
        if (!ReadExact(*file, rec, sizeof rec)) return 0;
        DWORD tag = LoadLE32(rec), value = LoadLE32(rec + 4);
        if (tag == kTagDataSize) {
            dataSize = value;
            break;
        }
        if (tag == kTagWidth) width = value;
        else if (tag == kTagHeight) height = value;
        else if (form.shortRecords) continue;
        else if (tag == kTagOffset) offset = value;
        else if (tag == kTagSampleFormat) format = value;
    }
    // A stored size below what width and height need would let pixel operations run past the block.
    if (dataSize < DataBytesFor(width, height)) return 0;
    // Only a picture of nothing can claim a side past 2^31 - 1 here; no header that carries its
    // sides onwards (a bitmap's, the text form's) could hold it.
    if (!images_detail::HeadersHoldSides(width, height)) return 0;
    const LONGLONG position = file->GetPosition();
    const LONGLONG remaining = file->GetLength() - position;
    // A larger pad than a page that the file does not hold would let a few bytes of file demand
    // gigabytes of block.
    if (!form.shortRecords && offset > kMaxUnheldPad && !(form.padInData && remaining >= LONGLONG(dataSize) + offset))
        return 0;
    uint64_t blockBytes = form.shortRecords ? dataSize : uint64_t(dataSize) + offset;
    blockBytes += SpareBytesFor(width, height, dataSize);
    if (blockBytes > kMaxBlockBytes) return 0;

    // A file too short for the data fails as a short read would, without allocating first.
    if (position < 0 || remaining < LONGLONG(dataSize)) return 0;
    // The packed picture's file normally holds its pad too; a file holding only the planes is
    // read into the first bytes of the block.
    uint64_t readBytes = dataSize;
    if (form.padInData && remaining >= LONGLONG(blockBytes)) readBytes = blockBytes;

    BYTE* block = NewBlock(blockBytes);
    if (!block) return 0;
    if (!ReadExact(*file, block, readBytes)) {
        ReleaseBlock(block, static_cast<size_t>(blockBytes));
        return 0;
    }
    // The pad behind the data is read by the word accessors and the CRC models: it must not
    // change from run to run.
    std::memset(block + readBytes, 0, static_cast<size_t>(blockBytes - readBytes));
    TakeBlock(block, static_cast<size_t>(blockBytes));
    SetWidth(width);
    SetHeight(height);
    if (!form.shortRecords) {
        SetOffset(offset);
        nSampleFormat = format;
    }
    OnGeometryRead();
    return 1;
}

int CImage::ReadRawFile(CFile& file) {
    LONGLONG length = file.GetLength();
    file.SeekToBegin();
    std::vector<CWordPair> sizes;
    BuildResolutionList(sizes);
    const CWordPair* match = nullptr;
    for (const CWordPair& s : sizes) {
        if (4 * LONGLONG(s.GetFirst()) * s.GetSecond() == length) {
            match = &s;
            break;
        }
    }
    if (!match) return 0;
    BYTE* block = NewBlock(static_cast<uint64_t>(length));
    if (!block) return 0;
    if (!ReadExact(file, block, static_cast<uint64_t>(length))) {
        ReleaseBlock(block, static_cast<size_t>(length));
        return 0;
    }
    TakeBlock(block, static_cast<size_t>(length));
    SetWidth(match->GetFirst());
    SetHeight(match->GetSecond());
    SetOffset(0);
    nSampleFormat = kSampleFormatFull;
    OnGeometryRead();
    return 1;
}

void BuildResolutionList(std::vector<CWordPair>& list) {
    static constexpr DWORD kSizes[][2] = {
        {160, 120},  {180, 120},  {180, 121},  {180, 144},  {64, 64},    {256, 4},    {320, 180},
        {320, 240},  {360, 240},  {360, 242},  {360, 270},  {360, 288},  {480, 258},  {480, 270},
        {512, 384},  {640, 360},  {640, 480},  {720, 480},  {720, 486},  {720, 540},  {720, 576},
        {960, 517},  {960, 540},  {1024, 768}, {1280, 720}, {1440, 1080}, {1920, 1080}, {2048, 1536},
    };
    list.clear();
    for (const auto& s : kSizes) list.emplace_back(s[0], s[1]);
}
