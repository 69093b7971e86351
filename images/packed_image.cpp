// Packed 8+2-bit pictures and alphas: plane layout, packing from unpacked words, pixel access and bitmaps.
#include "images/packed_image.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include "platform/vector_intrinsics.h"
#endif

#include "images/byte_order.h"
#include "images/image_detail.h"

using images_detail::kMaxBlockBytes;
using images_detail::LoadLE16;
using images_detail::LoadLE64;
using images_detail::StoreLE32;
using images_detail::StoreLE64;

namespace {

constexpr BYTE kFresh2Bit = 0x77;
constexpr BYTE kFresh8Bit = 0x99;

DWORD PadTo4096(uint64_t bytes) {
    DWORD rest = static_cast<DWORD>(bytes % 4096);
    return rest ? 4096 - rest : 0;
}

// Bytes 1, 3, 5 and 7 of q: the high bytes of four little-endian 16-bit words.
DWORD HighBytes(uint64_t q) {
    return static_cast<DWORD>(((q >> 8) & 0xFF) | ((q >> 16) & 0xFF00) | ((q >> 24) & 0xFF0000) |
                              ((q >> 32) & 0xFF000000));
}

using images_detail::PackForm;
using LowBits = images_detail::PackLowBits;

template <LowBits kLow>
BYTE LowBitsOf(uint64_t q) {
    if constexpr (kLow == LowBits::None) return 0;
    const unsigned b = static_cast<unsigned>(((q >> 6) & 0x03) | ((q >> 20) & 0x0C) | ((q >> 34) & 0x30) | ((q >> 48) & 0xC0));
    if constexpr (kLow == LowBits::Encoded) return static_cast<BYTE>((b >> 2) | (b << 6));
    return static_cast<BYTE>(b);
}

// The encoded form's rotation of each of eight 2-bit bytes at once.
inline uint64_t RotateFields(uint64_t bits) { return ((bits >> 2) & 0x3F3F3F3F3F3F3F3Full) | ((bits << 6) & 0xC0C0C0C0C0C0C0C0ull); }

// The groups from g on, one at a time: the reference the vector forms are held to, and their tail.
template <LowBits kLow>
void PackPlain(const BYTE* src, uint64_t groups, BYTE* p8, BYTE* p2, uint64_t g = 0) {
    for (; g < groups; ++g) {
        uint64_t q = LoadLE64(src + 8 * g);
        StoreLE32(p8 + 4 * g, HighBytes(q));
        p2[g] = LowBitsOf<kLow>(q);
    }
}

#if defined(__SSE2__)
// Four groups a round in vector registers (x86 is little-endian): the high bytes by a shift and a
// pack, the 2-bit fields gathered by two multiply-adds, (1, 4) then (1, 16).
template <LowBits kLow>
void PackSse2(const BYTE* src, uint64_t groups, BYTE* p8, BYTE* p2) {
    uint64_t g = 0;
    const __m128i three = _mm_set1_epi16(3), by4 = _mm_set1_epi32(0x00040001), by16 = _mm_set1_epi32(0x00100001);
    for (; g + 4 <= groups; g += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8 * g));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8 * g + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p8 + 4 * g), _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8)));
        uint32_t bits = 0;
        if constexpr (kLow != LowBits::None) {
            const __m128i pairs = _mm_packs_epi32(_mm_madd_epi16(_mm_and_si128(_mm_srli_epi16(a, 6), three), by4),
                                                  _mm_madd_epi16(_mm_and_si128(_mm_srli_epi16(b, 6), three), by4));
            const __m128i quads = _mm_madd_epi16(pairs, by16);
            bits = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(quads, quads), quads)));
            if constexpr (kLow == LowBits::Encoded) bits = ((bits >> 2) & 0x3F3F3F3F) | ((bits << 6) & 0xC0C0C0C0);
        }
        StoreLE32(p2 + g, bits);
    }
    PackPlain<kLow>(src, groups, p8, p2, g);
}
#endif

#if defined(__x86_64__)
// Eight groups a round. The packs work within each 128-bit half, so a cross-half permute puts
// the groups back in order before the 2-bit fields are summed: bytes (1, 4), then words (1, 16).
template <LowBits kLow>
__attribute__((target("avx2"))) void PackAvx2(const BYTE* src, uint64_t groups, BYTE* p8, BYTE* p2) {
    uint64_t g = 0;
    const __m256i three = _mm256_set1_epi16(3), by4 = _mm256_set1_epi16(0x0401), by16 = _mm256_set1_epi32(0x00100001);
    const __m256i firstBytes = _mm256_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i halves = _mm256_setr_epi32(0, 4, 1, 1, 1, 1, 1, 1);
    for (; g + 8 <= groups; g += 8) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 8 * g));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 8 * g + 32));
        const __m256i high = _mm256_permute4x64_epi64(_mm256_packus_epi16(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8)), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p8 + 4 * g), high);
        uint64_t bits = 0;
        if constexpr (kLow != LowBits::None) {
            const __m256i fields = _mm256_permute4x64_epi64(
                _mm256_packus_epi16(_mm256_and_si256(_mm256_srli_epi16(a, 6), three), _mm256_and_si256(_mm256_srli_epi16(b, 6), three)), 0xD8);
            const __m256i quads = _mm256_madd_epi16(_mm256_maddubs_epi16(fields, by4), by16);
            const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(quads, firstBytes), halves);
            bits = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm256_castsi256_si128(packed)));
            if constexpr (kLow == LowBits::Encoded) bits = RotateFields(bits);
        }
        StoreLE64(p2 + g, bits);
    }
    PackPlain<kLow>(src, groups, p8, p2, g);
}

// Sixteen groups a round, one group in each 64-bit lane: the high bytes narrowed straight from
// the words, the fields summed within each lane and narrowed to the lane's low byte.
template <LowBits kLow>
__attribute__((target("avx512f,avx512bw"))) void PackAvx512(const BYTE* src, uint64_t groups, BYTE* p8, BYTE* p2) {
    uint64_t g = 0;
    const __m512i three = _mm512_set1_epi16(3), by4 = _mm512_set1_epi32(0x00040001);
    const auto lowBits = [&](__m512i q) __attribute__((target("avx512f,avx512bw"))) {
        const __m512i pairs = _mm512_madd_epi16(_mm512_and_si512(_mm512_srli_epi16(q, 6), three), by4);
        return _mm512_cvtepi64_epi8(_mm512_or_si512(pairs, _mm512_srli_epi64(pairs, 28)));
    };
    for (; g + 16 <= groups; g += 16) {
        const __m512i a = _mm512_loadu_si512(src + 8 * g);
        const __m512i b = _mm512_loadu_si512(src + 8 * g + 64);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p8 + 4 * g), _mm512_cvtepi16_epi8(_mm512_srli_epi16(a, 8)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p8 + 4 * g + 32), _mm512_cvtepi16_epi8(_mm512_srli_epi16(b, 8)));
        __m128i bits = _mm_setzero_si128();
        if constexpr (kLow != LowBits::None) {
            bits = _mm_unpacklo_epi64(lowBits(a), lowBits(b));
            if constexpr (kLow == LowBits::Encoded)
                bits = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(bits, 2), _mm_set1_epi8(0x3F)),
                                    _mm_and_si128(_mm_slli_epi16(bits, 6), _mm_set1_epi8(static_cast<char>(0xC0))));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p2 + g), bits);
    }
    PackPlain<kLow>(src, groups, p8, p2, g);
}
#endif

using PackFn = void (*)(const BYTE*, uint64_t, BYTE*, BYTE*);

template <LowBits kLow>
void PackPlainAll(const BYTE* src, uint64_t groups, BYTE* p8, BYTE* p2) { PackPlain<kLow>(src, groups, p8, p2); }

template <LowBits kLow>
PackFn PackerOf(PackForm form) {
    switch (form) {
#if defined(__SSE2__)
    case PackForm::Sse2: return &PackSse2<kLow>;
#endif
#if defined(__x86_64__)
    case PackForm::Avx2: return &PackAvx2<kLow>;
    case PackForm::Avx512: return &PackAvx512<kLow>;
#endif
    default: return &PackPlainAll<kLow>;
    }
}

PackForm BestPackForm() {
    static const PackForm best = [] {
        for (PackForm form : {PackForm::Avx512, PackForm::Avx2, PackForm::Sse2})
            if (images_detail::CanPackBy(form)) return form;
        return PackForm::Plain;
    }();
    return best;
}

// Packs groups of four little-endian 16-bit words from src: the words' high bytes into p8, four
// a group, and LowBitsOf<kLow>(group) into one byte of p2; by the widest form the processor runs.
template <LowBits kLow>
void PackGroups(const BYTE* src, uint64_t groups, BYTE* p8, BYTE* p2) {
    static const PackFn pack = PackerOf<kLow>(BestPackForm());
    pack(src, groups, p8, p2);
}

// The alpha's 2-bit plane as its size is counted: P / 4 rounded to nearest, halves up. For
// P mod 4 = 1 that leaves the last pixel without a byte of its own.
uint64_t AlphaTwoBitBytes(uint64_t pixels) { return (pixels + 2) / 4; }
// The 2-bit bytes the pixels' fields actually take; the one byte more than the counted plane is
// held in the block only, never in sizes, pads or files.
uint64_t AlphaTwoBitBytesHeld(uint64_t pixels) { return (pixels + 3) / 4; }

}  // namespace

namespace images_detail {

bool CanPackBy(PackForm form) {
    switch (form) {
    case PackForm::Plain: return true;
#if defined(__SSE2__)
    case PackForm::Sse2: return true;
#endif
#if defined(__x86_64__)
    case PackForm::Avx2: return platform::HasAvx2();
    case PackForm::Avx512: return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
#endif
    default: return false;
    }
}

void PackGroupsBy(PackForm form, PackLowBits low, const BYTE* src, uint64_t groups, BYTE* p8, BYTE* p2) {
    if (!CanPackBy(form)) return;
    switch (low) {
    case PackLowBits::InOrder: return PackerOf<LowBits::InOrder>(form)(src, groups, p8, p2);
    case PackLowBits::Encoded: return PackerOf<LowBits::Encoded>(form)(src, groups, p8, p2);
    case PackLowBits::None: return PackerOf<LowBits::None>(form)(src, groups, p8, p2);
    }
}

}  // namespace images_detail

namespace Packed {
namespace Alpha {

YCbCr_8_2::YCbCr_8_2(DWORD width, DWORD height, DWORD pad) : CImage(width, height, pad) { Allocate(); }

YCbCr_8_2::YCbCr_8_2(const CImage& source, DWORD offset)
    : CImage(source.GetWidth(), source.GetHeight(), offset) {
    // A source without data leaves the plane fields 0.
    if (source.GetSize() == 0) return;
    SetPlanes();
    const uint64_t n = uint64_t(nWidth) * nHeight;
    const BYTE* src = BufferOf(source);
    // A source with a word for every pixel is packed straight into the new block, which is then
    // written once; any other gets the fresh planes.
    AllocatePlanes(src && n == n8BitPlaneSize && 2 * n <= BlockBytesOf(source) ? src : nullptr);
}

YCbCr_8_2& YCbCr_8_2::operator=(const YCbCr_8_2& source) {
    AssignRaw(source, source.GetOffset());
    // The whole block, so that a last pixel's field held behind the counted planes comes along.
    if (pBuffer && BufferOf(source) && this != &source)
        std::memcpy(pBuffer, BufferOf(source), std::min(GetBlockBytes(), BlockBytesOf(source)));
    return *this;
}

const ImageFileForm& YCbCr_8_2::FileForm() const {
    static constexpr ImageFileForm kForm = {
        .guid = GuidBytes(0xCB22038D, 0x34AB, 0x4879, {0xB6, 0x6D, 0x19, 0xEA, 0x80, 0x46, 0xDD, 0xEF}),
        .textTitle = "FRMPACKED:ALPHA", .textDepth = "2:8"};
    return kForm;
}

uint64_t YCbCr_8_2::DataBytesFor(DWORD width, DWORD height) const {
    uint64_t pixels = uint64_t(width) * height;
    return pixels + AlphaTwoBitBytes(pixels);
}

uint64_t YCbCr_8_2::SpareBytesFor(DWORD width, DWORD height, DWORD dataSize) const {
    uint64_t pixels = uint64_t(width) * height;
    uint64_t held = pixels + AlphaTwoBitBytesHeld(pixels);
    return held > dataSize ? held - dataSize : 0;
}

DWORD YCbCr_8_2::TwoBitBytesHeld() const { return static_cast<DWORD>(AlphaTwoBitBytesHeld(n8BitPlaneSize)); }

DWORD YCbCr_8_2::GetSizeFor(DWORD width, DWORD height) {
    uint64_t pixels = uint64_t(width) * height;
    return static_cast<DWORD>(pixels + AlphaTwoBitBytes(pixels));
}

DWORD YCbCr_8_2::GetPadFor(DWORD width, DWORD height) { return PadTo4096(GetSizeFor(width, height)); }

void YCbCr_8_2::SetPlanes() {
    uint64_t pixels = uint64_t(nWidth) * nHeight;
    if (pixels + AlphaTwoBitBytesHeld(pixels) > kMaxBlockBytes) {
        n8BitPlaneSize = n2BitPlaneSize = n8BitPlaneOffset = n2BitPlaneOffset = nPlaneBytes = 0;
        return;
    }
    n8BitPlaneSize = static_cast<DWORD>(pixels);
    n2BitPlaneSize = static_cast<DWORD>(AlphaTwoBitBytes(pixels));
    n8BitPlaneOffset = 0;
    n2BitPlaneOffset = n8BitPlaneSize;
    nPlaneBytes = n8BitPlaneSize + n2BitPlaneSize;
}

bool YCbCr_8_2::PlanesInBlock() const {
    return pBuffer && uint64_t(n8BitPlaneOffset) + n8BitPlaneSize <= GetBlockBytes() &&
           uint64_t(n2BitPlaneOffset) + TwoBitBytesHeld() <= GetBlockBytes();
}

BYTE* YCbCr_8_2::Allocate() {
    SetPlanes();
    return AllocatePlanes(nullptr);
}

BYTE* YCbCr_8_2::AllocatePlanes(const BYTE* words) {
    const DWORD held = TwoBitBytesHeld(), spare = held - n2BitPlaneSize;
    if (nOffset > kMaxBlockBytes - spare) return nullptr;
    return AllocateBlock(nOffset + spare, [this, held, words](BYTE* block, size_t) {
        if (words) {
            PackPixels(words, n8BitPlaneSize, block + n8BitPlaneOffset, block + n2BitPlaneOffset);
        } else {
            std::memset(block + n8BitPlaneOffset, kFresh8Bit, n8BitPlaneSize);
            std::memset(block + n2BitPlaneOffset, kFresh2Bit, held);
        }
        std::memset(block + n2BitPlaneOffset + held, 0, nOffset);  // the pad behind the planes
    });
}

BYTE* YCbCr_8_2::Get8BitPlane() const { return pBuffer ? pBuffer + n8BitPlaneOffset : nullptr; }
BYTE* YCbCr_8_2::Get2BitPlane() const { return pBuffer ? pBuffer + n2BitPlaneOffset : nullptr; }

bool YCbCr_8_2::GetWord(DWORD index, DWORD* out) const {
    return RawWord(index, uint64_t(nPlaneBytes) + nOffset, 0xFFFFFFFF, out);
}

CrcWordSpan YCbCr_8_2::GetCrcWords() const {
    return {pBuffer, RawWordCount(uint64_t(nPlaneBytes) + nOffset), 0xFFFFFFFF};
}

bool YCbCr_8_2::GetPixel(DWORD row, DWORD col, WORD* value) const {
    if (!PlanesInBlock() || !value || row >= nHeight || col >= nWidth) return false;
    uint64_t i = uint64_t(row) * nWidth + col;
    if (i >= n8BitPlaneSize || i / 4 >= TwoBitBytesHeld()) return false;
    const BYTE* p8 = Get8BitPlane();
    const BYTE* p2 = Get2BitPlane();
    *value = static_cast<WORD>((p8[i] << 2) | ((p2[i / 4] >> (2 * (i % 4))) & 3));
    return true;
}

bool YCbCr_8_2::SetPixel(DWORD row, DWORD col, const WORD* value) {
    if (!PlanesInBlock() || !value || row >= nHeight || col >= nWidth) return false;
    uint64_t i = uint64_t(row) * nWidth + col;
    if (i >= n8BitPlaneSize || i / 4 >= TwoBitBytesHeld()) return false;
    BYTE* p8 = Get8BitPlane();
    BYTE* p2 = Get2BitPlane();
    const unsigned shift = static_cast<unsigned>(2 * (i % 4));
    p8[i] = static_cast<BYTE>(*value >> 2);
    p2[i / 4] = static_cast<BYTE>((p2[i / 4] & ~(3u << shift)) | ((*value & 3u) << shift));
    return true;
}

void YCbCr_8_2::PackFrom(const CImage& source) {
    const BYTE* src = BufferOf(source);
    BYTE* p8 = Get8BitPlane();
    BYTE* p2 = Get2BitPlane();
    if (!src || !p8 || !p2 || !PlanesInBlock()) return;
    const uint64_t n = uint64_t(source.GetHeight()) * source.GetWidth();
    if (n > n8BitPlaneSize || AlphaTwoBitBytesHeld(n) > TwoBitBytesHeld() || 2 * n > BlockBytesOf(source)) return;
    PackPixels(src, n, p8, p2);
}

void YCbCr_8_2::PackPixels(const BYTE* src, uint64_t n, BYTE* p8, BYTE* p2) {
    const uint64_t groups = n / 4;
    PackGroups<LowBits::InOrder>(src, groups, p8, p2);
    if (uint64_t rest = n % 4) {
        BYTE bits = 0;
        for (uint64_t i = 0; i < rest; ++i) {
            WORD w = LoadLE16(src + 2 * (4 * groups + i));
            p8[4 * groups + i] = static_cast<BYTE>(w >> 8);
            bits = static_cast<BYTE>(bits | (((w >> 6) & 3) << (2 * i)));
        }
        p2[groups] = bits;
    }
}

DibBlock YCbCr_8_2::CreateDIB(DWORD mode) const {
    (void)mode;
    if (!pBuffer) return nullptr;
    return images_detail::AlphaDib(nWidth, nHeight, kDibRange10, [this](DWORD r, DWORD c) {
        WORD v = 0;
        GetPixel(r, c, &v);
        return v;
    });
}

}  // namespace Alpha

namespace Image {

YCbCr_8_2::YCbCr_8_2(DWORD width, DWORD height, DWORD pad) : CImage(width, height, pad) { Allocate(); }

YCbCr_8_2::YCbCr_8_2(const CImage& source, DWORD offset)
    : CImage(source.GetWidth(), source.GetHeight(), offset) {
    if (source.GetSize() == 0) return;
    SetPlanes();
    const uint64_t pixels = uint64_t(nWidth) * nHeight;
    const BYTE* src = BufferOf(source);
    // The source must hold a pair of words for every pixel pair behind its offset; then the
    // pairs are packed straight into the new block, which is written once.
    const bool packs = src && nPlaneBytes != 0 && uint64_t(source.GetOffset()) + pixels / 2 * 8 <= BlockBytesOf(source);
    const DWORD ownFormat = nSampleFormat;
    nSampleFormat = source.nSampleFormat;  // the packer's form; kept only with a block
    if (!AllocatePlanes(packs ? reinterpret_cast<const WORD*>(src + source.GetOffset()) : nullptr)) nSampleFormat = ownFormat;
}

YCbCr_8_2& YCbCr_8_2::operator=(const YCbCr_8_2& source) {
    // The planes go where the copied bytes put them: behind the source's own pad.
    AssignRaw(source, source.GetOffset());
    return *this;
}

const ImageFileForm& YCbCr_8_2::FileForm() const {
    static constexpr ImageFileForm kForm = {
        .guid = GuidBytes(0x3E20D62D, 0xA4EC, 0x48BB, {0x9D, 0x37, 0xA0, 0x5B, 0xE6, 0x27, 0xE4, 0xA5}),
        .textTitle = "FRMPACKED:IMAGE", .textDepth = "2:8", .padInData = true};
    return kForm;
}

uint64_t YCbCr_8_2::DataBytesFor(DWORD width, DWORD height) const {
    uint64_t pixels = uint64_t(width) * height;
    return 2 * pixels + pixels / 2;
}

DWORD YCbCr_8_2::GetSizeFor(DWORD width, DWORD height) {
    uint64_t pixels = uint64_t(width) * height;
    return static_cast<DWORD>(2 * pixels + (pixels + 1) / 2);
}

DWORD YCbCr_8_2::GetPadFor(DWORD width, DWORD height) { return PadTo4096(GetSizeFor(width, height)); }

void YCbCr_8_2::SetPlanes() {
    uint64_t pixels = uint64_t(nWidth) * nHeight;
    if (2 * pixels + pixels / 2 + nOffset > kMaxBlockBytes) {
        n8BitPlaneOffset = n2BitPlaneOffset = n2BitPlaneSize = n8BitPlaneSize = nPlaneBytes = 0;
        return;
    }
    n2BitPlaneSize = static_cast<DWORD>(pixels / 2);
    n8BitPlaneSize = static_cast<DWORD>(2 * pixels);
    n2BitPlaneOffset = nOffset;
    n8BitPlaneOffset = nOffset + n2BitPlaneSize;
    nPlaneBytes = n2BitPlaneSize + n8BitPlaneSize;
}

bool YCbCr_8_2::PlanesInBlock() const {
    return pBuffer && uint64_t(n8BitPlaneOffset) + n8BitPlaneSize <= GetBlockBytes() &&
           uint64_t(n2BitPlaneOffset) + n2BitPlaneSize <= GetBlockBytes();
}

BYTE* YCbCr_8_2::Allocate() {
    SetPlanes();
    return AllocatePlanes(nullptr);
}

BYTE* YCbCr_8_2::AllocatePlanes(const WORD* words) {
    return AllocateBlock(nOffset, [this, words](BYTE* block, size_t) {
        std::memset(block, 0, nOffset);  // the pad before the planes
        // Packed pairs leave only an odd pixel count's last half pair fresh.
        const DWORD packed8 = words ? n2BitPlaneSize * 4 : 0;
        if (words) PackFrom(n2BitPlaneSize * 2, words, block + n8BitPlaneOffset, block + n2BitPlaneOffset);
        else std::memset(block + n2BitPlaneOffset, kFresh2Bit, n2BitPlaneSize);
        std::memset(block + n8BitPlaneOffset + packed8, kFresh8Bit, n8BitPlaneSize - packed8);
    });
}

BYTE* YCbCr_8_2::Get8BitPlane() const { return pBuffer ? pBuffer + n8BitPlaneOffset : nullptr; }
BYTE* YCbCr_8_2::Get2BitPlane() const { return pBuffer ? pBuffer + n2BitPlaneOffset : nullptr; }

void YCbCr_8_2::PackFrom(DWORD pixels, const WORD* words, BYTE* plane8, BYTE* plane2) const {
    if (!words || !plane8 || !plane2) return;
    const BYTE* src = reinterpret_cast<const BYTE*>(words);
    const DWORD pairs = pixels / 2;
    switch (nSampleFormat) {
    case kSampleFormat8Bit:
        PackGroups<LowBits::None>(src, pairs, plane8, plane2);
        break;
    case kSampleFormatEncoded:
        // The encoded words carry the low bits of Y1, Cr, Y0, Cb; this byte holds Cr, Y0, Cb, Y1.
        PackGroups<LowBits::Encoded>(src, pairs, plane8, plane2);
        break;
    default:
        PackGroups<LowBits::InOrder>(src, pairs, plane8, plane2);
        break;
    }
}

bool YCbCr_8_2::GetPixel(DWORD row, DWORD col, WORD* y, WORD* cb, WORD* cr) const {
    if (!PlanesInBlock() || !y || !cb || !cr || row >= nHeight || col >= nWidth) return false;
    uint64_t k = (uint64_t(row) * nWidth + (col & ~1u)) / 2;
    if (k >= n2BitPlaneSize || 4 * k + 4 > n8BitPlaneSize) return false;
    const BYTE b = Get2BitPlane()[k];
    const BYTE* e = Get8BitPlane() + 4 * k;
    *cb = static_cast<WORD>((e[0] << 2) | (b & 3));
    *cr = static_cast<WORD>((e[2] << 2) | ((b >> 4) & 3));
    *y = (col & 1) ? static_cast<WORD>((e[3] << 2) | (b >> 6)) : static_cast<WORD>((e[1] << 2) | ((b >> 2) & 3));
    return true;
}

bool YCbCr_8_2::GetWord(DWORD index, DWORD* out) const {
    return RawWord(index, uint64_t(nPlaneBytes) + nOffset, 0xFFFFFFFF, out);
}

CrcWordSpan YCbCr_8_2::GetCrcWords() const {
    return {pBuffer, RawWordCount(uint64_t(nPlaneBytes) + nOffset), 0xFFFFFFFF};
}

DibBlock YCbCr_8_2::CreateDIB(DWORD mode) const {
    if (!pBuffer) return nullptr;
    auto samples = [this](DWORD r, DWORD c, WORD& y, WORD& cb, WORD& cr) { GetPixel(r, c, &y, &cb, &cr); };
    return images_detail::YCbCrDib(nWidth, nHeight, kDibRange10, mode, samples);
}

BOOL YCbCr_8_2::SaveBMP(const CString& path, DWORD mode, DWORD layout) const {
    return images_detail::SaveBitmapFile(*this, path, mode, layout, false);
}

}  // namespace Image
}  // namespace Packed
