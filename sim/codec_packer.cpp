// Codec chip model, packer personality: the data path from the inbound DMA channel through the packer to the outbound one.
#include <algorithm>
#include <bit>
#include <cstring>

#include "sim/codec_chip.h"

namespace sim {

namespace {

constexpr uint32_t kFormatImage = 16, kFormatAlpha = 17;

uint64_t PadTo4096(uint64_t bytes) { return (4096 - bytes % 4096) % 4096; }

// 4:2:2 words (Cb, Y0, Cr, Y1 a pixel pair, the 10-bit sample in bits 15-6 of each little-endian
// half) packed as [pad][2-bit plane, one byte a pair][8-bit plane, four bytes a pair].
// The packed frames are whole words: their pad brings them to a multiple of 4096 bytes.
// Pairs from `first` on; the ones before are packed already.
void PackImage(std::span<const uint8_t> in, uint64_t pixels, uint32_t* words, uint64_t first) {
    const uint64_t pairs = pixels / 2, size = 2 * pixels + (pixels + 1) / 2, pad = PadTo4096(size);
    uint8_t* out = reinterpret_cast<uint8_t*>(words);
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
void PackAlpha(std::span<const uint8_t> in, uint64_t pixels, uint32_t* words, uint64_t first) {
    const uint64_t size = pixels + (pixels + 2) / 4;
    uint8_t* out = reinterpret_cast<uint8_t*>(words);
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
    std::vector<uint32_t> out = m_outbound.Recycled();
    out.assign(static_cast<size_t>((size + pad) / 4), 0);
    uint8_t* const packed = reinterpret_cast<uint8_t*>(out.data());
    uint8_t* const plane8 = image ? packed + pad + pixels / 2 : packed;
    uint8_t* const plane2 = image ? packed + pad : packed + pixels;
    // The in port's CRC goes with the packing over the groups it does at speed; the rest of the
    // groups and of the words after them are packed and fed the plain way.
    uint32_t* crcIn = PixelCrcOpen(kCrcIn);
    const uint64_t fast = PackGroupsFast(bytes.data(), static_cast<size_t>(image ? pixels / 2 : pixels / 4), plane8, plane2, crcIn);
    if (image) PackImage(bytes, pixels, out.data(), fast);
    else PackAlpha(bytes, pixels, out.data(), fast);
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

}  // namespace sim
