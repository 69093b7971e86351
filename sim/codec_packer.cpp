// Codec chip model, packer personality: the data path from the inbound DMA channel through the packer to the outbound one.
#include <algorithm>
#include <bit>
#include <cstring>

#include "sim/codec_chip.h"
#include "sim/sdram.h"

namespace sim {

namespace {

constexpr uint32_t kFormatImage = 16, kFormatAlpha = 17;

uint64_t PadTo4096(uint64_t bytes) { return (4096 - bytes % 4096) % 4096; }

// a x b modulo the CRC-32/MPEG-2 polynomial, bit 31 the highest power.
uint32_t MultiplyModulo(uint32_t a, uint32_t b) {
    uint32_t r = 0;
    for (int i = 31; i >= 0; --i) {
        r = r << 1 ^ (r >> 31 ? 0x04C11DB7u : 0);
        if (a >> i & 1) r ^= b;
    }
    return r;
}

}  // namespace

// The register crc after `length` zero bytes: crc x x^(8 length), by squaring.
uint32_t Crc32Mpeg2Zeros(uint32_t crc, uint64_t length) {
    uint32_t power = 1, square = 2;  // x^0, x^1
    for (uint64_t e = 8 * length; e; e >>= 1, square = MultiplyModulo(square, square))
        if (e & 1) power = MultiplyModulo(power, square);
    return MultiplyModulo(crc, power);
}

namespace {

// 4:2:2 words (Cb, Y0, Cr, Y1 a pixel pair, the 10-bit sample in bits 15-6 of each little-endian
// half) packed as [pad][2-bit plane, one byte a pair][8-bit plane, four bytes a pair].
// The packed frames are whole words: their pad brings them to a multiple of 4096 bytes.
// Pairs from `first` on; the ones before are packed already.
void PackImage(std::span<const uint8_t> in, uint64_t pixels, uint8_t* out, uint64_t first) {
    const uint64_t pairs = pixels / 2, size = 2 * pixels + (pixels + 1) / 2, pad = PadTo4096(size);
    uint8_t* plane2 = out + pad;
    uint8_t* plane8 = plane2 + pairs;
    const uint8_t* from = in.data() + 8 * first;
    for (uint64_t g = first; g < pairs; ++g, from += 8) {
        plane8[4 * g] = from[1];
        plane8[4 * g + 1] = from[3];
        plane8[4 * g + 2] = from[5];
        plane8[4 * g + 3] = from[7];
        plane2[g] = static_cast<uint8_t>(from[0] >> 6 | (from[2] >> 6) << 2 | (from[4] >> 6) << 4 | (from[6] >> 6) << 6);
    }
}

// One 10-bit sample a pixel packed as [8-bit plane][2-bit plane, four pixels a byte][pad]; the
// 2-bit plane holds (pixels + 2) / 4 bytes. Pixels from 4 x `first` on.
void PackAlpha(std::span<const uint8_t> in, uint64_t pixels, uint8_t* out, uint64_t first) {
    const uint64_t size = pixels + (pixels + 2) / 4;
    uint8_t* plane2 = out + pixels;
    for (uint64_t p = 4 * first; p < pixels; ++p) out[p] = in[2 * p + 1];
    for (uint64_t q = first; q < size - pixels; ++q) {
        uint8_t low = 0;
        for (uint64_t s = 0; s < 4 && 4 * q + s < pixels; ++s) low |= static_cast<uint8_t>((in[2 * (4 * q + s)] >> 6) << (2 * s));
        plane2[q] = low;
    }
}

}  // namespace

// The frame's context entry (the port word's low four bits select it) gives the geometry and the
// input format: 16 a 4:2:2 picture of width x height pixels, 17 an alpha of width x height
// samples. The packed frame goes out whole once the transfer brought all of its input; a short
// transfer, an empty geometry or another format is taken and produces nothing, so the outbound
// channel waits as it would on the chip.
bool CodecChip::PackerFrame(uint32_t portWord, std::span<const uint8_t> bytes) {
    uint32_t word0 = 0, word1 = 0;
    PixelContext(static_cast<int>(portWord & 0xF), word0, word1);
    const uint64_t width = word0 & 0xFFF, height = (word0 >> 16) & 0xFFF, pixels = width * height;
    const uint32_t format = word1 & 0xFFFF;
    const bool image = format == kFormatImage;
    if (!pixels || (!image && format != kFormatAlpha) || bytes.size() < (image ? 4 : 2) * pixels) return true;
    // Both layouts take their input in groups of 8 bytes: a picture's pixel pair, four alpha pixels.
    const uint64_t consumed = (image ? 4 : 2) * pixels;
    const uint64_t size = image ? 2 * pixels + (pixels + 1) / 2 : pixels + (pixels + 2) / 4, pad = PadTo4096(size);
    const uint64_t total = size + pad;
    // With nothing to change the words on their way out, the frame goes straight into the cells of
    // the DCB that takes it.
    if constexpr (std::endian::native == std::endian::little)
        if (PackerDirectFits(image, pixels) && m_target && m_push && m_outbound.empty() && !HasOutputFaults(0))
            if (uint8_t* cells = m_target(total, bytes, false)) {
                PackerDirect(image, pixels, pad, bytes.data(), cells);
                m_push();
                return true;
            }
    std::vector<uint32_t> out = m_outbound.Recycled();
    out.assign(static_cast<size_t>(total / 4), 0);
    uint8_t* const packed = reinterpret_cast<uint8_t*>(out.data());
    uint8_t* const plane8 = image ? packed + pad + pixels / 2 : packed;
    uint8_t* const plane2 = image ? packed + pad : packed + pixels;
    // The in port's CRC goes with the packing over the groups it does at speed; the rest of the
    // groups and of the words after them are packed and fed the plain way.
    uint32_t* crcIn = PixelCrcOpen(kCrcIn);
    const uint64_t fast = PackGroupsFast(bytes.data(), static_cast<size_t>(image ? pixels / 2 : pixels / 4), plane8, plane2, crcIn);
    if (image) PackImage(bytes, pixels, packed, fast);
    else PackAlpha(bytes, pixels, packed, fast);
    // The packed bytes lie in the words in the order they go out: little-endian words.
    if constexpr (std::endian::native != std::endian::little)
        for (uint32_t& w : out) w = __builtin_bswap32(w);
    // The port CRCs run over the words the packer took in and the words it sent out.
    const uint64_t fed = crcIn ? 8 * fast : 0;
    PixelCrcFeedBytes(kCrcIn, bytes.data() + fed, static_cast<size_t>(consumed - fed));
    OutputFaults(0, out.data(), out.size());
    PixelCrcFeed(kCrcOut, out.data(), out.size());
    m_outbound.Append(std::move(out));
    // The outbound channel moves on from within this transfer: another channel's step, which the
    // engine allows while it brings this one.
    if (m_push) m_push();
    return true;
}

// The direct path keeps the port CRCs on whole word pairs at every plane's edge: a whole number of
// even groups (a picture of a multiple of four pixels, an alpha of eight).
bool CodecChip::PackerDirectFits(bool image, uint64_t pixels) { return pixels % (image ? 4 : 8) == 0; }

// The packed frame straight into `cells` (the whole frame's bytes). The input is taken a slice of
// groups at a time: the slice's 8-bit plane is packed into a buffer that stays in the cache, fed to
// the out CRC there and streamed into the cells, so the cells are written once and never read. The
// 2-bit plane (a fifth of the frame) is kept whole beside the pad, whose zeros it joins, and goes
// out at the end. A picture sends that part first: its CRC is carried over the 8-bit plane's
// length and joined with the 8-bit plane's own (the CRC is linear in its register and its data).
void CodecChip::PackerDirect(bool image, uint64_t pixels, uint64_t pad, const uint8_t* in, uint8_t* cells) {
    constexpr uint64_t kSlice = 8192;  // groups: 64 KiB in, 32 KiB out
    const uint64_t groups = image ? pixels / 2 : pixels / 4, bytes8 = 4 * groups, bytes2 = groups + pad;
    m_packSlice.resize(static_cast<size_t>(kSlice));  // words: 4 bytes a group
    m_packSmall.resize(static_cast<size_t>(bytes2 / 4));
    uint8_t* const slice = reinterpret_cast<uint8_t*>(m_packSlice.data());
    uint8_t* const small = reinterpret_cast<uint8_t*>(m_packSmall.data());
    // A picture's pad leads, an alpha's trails its 2-bit plane.
    uint8_t* const plane2 = image ? small + pad : small;
    std::memset(image ? small : small + groups, 0, static_cast<size_t>(pad));
    uint8_t* const out8 = image ? cells + bytes2 : cells;
    uint32_t* crcIn = PixelCrcOpen(kCrcIn);
    uint32_t* crcOut = PixelCrcOpen(kCrcOut);
    // A picture's 8-bit plane is fed from 0 and joined at the end; an alpha's goes on from the register.
    uint32_t crc8 = crcOut && !image ? *crcOut : 0;
    uint64_t crcedIn = 0;  // input bytes fed to the in CRC so far, all leading
    for (uint64_t g0 = 0; g0 < groups; g0 += kSlice) {
        const uint64_t n = std::min(kSlice, groups - g0);
        const uint8_t* from = in + 8 * g0;
        // The in CRC goes with the packing only while every byte before this slice has been fed.
        uint32_t* crc = crcedIn == 8 * g0 ? crcIn : nullptr;
        const uint64_t fast = PackGroupsFast(from, static_cast<size_t>(n), slice, plane2 + g0, crc);
        if (crc) crcedIn += 8 * fast;
        for (uint64_t g = fast; g < n; ++g) {
            const uint8_t* p = from + 8 * g;
            slice[4 * g] = p[1];
            slice[4 * g + 1] = p[3];
            slice[4 * g + 2] = p[5];
            slice[4 * g + 3] = p[7];
            plane2[g0 + g] = static_cast<uint8_t>(p[0] >> 6 | (p[2] >> 6) << 2 | (p[4] >> 6) << 4 | (p[6] >> 6) << 6);
        }
        if (crcOut) crc8 = PixelCrc64(crc8, m_packSlice.data(), static_cast<size_t>(n / 2));
        CopyWords(out8 + 4 * g0, slice, static_cast<size_t>(4 * n), ~0u, true);
    }
    CopyWords(image ? cells : cells + bytes8, small, static_cast<size_t>(bytes2), ~0u, true);
    PixelCrcFeedBytes(kCrcIn, in + crcedIn, static_cast<size_t>(8 * groups - crcedIn));
    if (!crcOut) {
        // A register that holds a word or is held in restart takes the frame the plain way.
        PixelCrcFeedBytes(kCrcOut, cells, static_cast<size_t>(bytes8 + bytes2));
    } else if (image) {
        const uint32_t lead = PixelCrc64(*crcOut, m_packSmall.data(), static_cast<size_t>(bytes2 / 8));
        *crcOut = crc8 ^ Crc32Mpeg2Zeros(lead, bytes8);
    } else {
        *crcOut = PixelCrc64(crc8, m_packSmall.data(), static_cast<size_t>(bytes2 / 8));
    }
}

}  // namespace sim
