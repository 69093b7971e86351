// Codec chip model, unpacker personality: the data path from packed frames to unpacked words on the video or expansion port, and the bypass.
#include <cstring>

#include "sim/codec_chip.h"

namespace sim {

namespace {

using K = CodecChipFault::Kind;

// Writes to 0x6C000010 with bit 11 set put the unpacker in pass-through; bit 13 then keeps the
// high byte of each 16-bit half, without it the low byte moves up into the high byte.
constexpr uint32_t kPassThrough = 1u << 11, kKeepHigh = 1u << 13;

uint32_t LittleWord(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24; }

// Plane bytes of a packed 4:2:2 frame of pixels pixels: a 2-bit byte and four 8-bit bytes a pair.
uint64_t PackedImageBytes(uint64_t pixels) { return 2 * pixels + (pixels + 1) / 2; }

}  // namespace

CodecChip::UnpackerContext CodecChip::UnpackerEntry(uint32_t index) const {
    uint32_t w0 = 0, w1 = 0;
    PixelContext(static_cast<int>(index), w0, w1);
    return {w0 & 0xFFF, (w0 >> 16) & 0xFFF, w1 & 0xFFFF, w1 >> 16};
}

bool CodecChip::UnpackerFrame(uint32_t portWord, std::span<const uint8_t> bytes) {
    const uint32_t control = PixelBistControl(64);
    // The port word carries the frame's context (a chain's later frames: the DCB before names it).
    const UnpackerContext ctx = UnpackerEntry(portWord & 0xF);
    const bool expansion = ctx.outFormat >= 2;
    std::vector<uint32_t> out = m_outbound.Recycled();
    if (control & kPassThrough) {
        bool swap = false;
        for (const CodecChipFault& f : m_faults.codec.chips) swap = swap || f.kind == K::BypassLaneSwap;
        out.resize(bytes.size() / 4);
        for (size_t i = 0; i < out.size(); ++i) {
            uint32_t w = LittleWord(&bytes[4 * i]);
            w = control & kKeepHigh ? w & 0xFF00FF00 : (w & 0x00FF00FF) << 8;
            if (swap) w = w << 16 | w >> 16;
            out[i] = w;
        }
    } else {
        const uint64_t pixels = uint64_t{ctx.width} * ctx.height;
        // A frame shorter than its context reads as zeros where it ends.
        auto byteAt = [&](uint64_t at) -> uint32_t { return at < bytes.size() ? bytes[static_cast<size_t>(at)] : 0; };
        if (ctx.inFormat == 1) {
            const uint64_t plane2 = pixels;
            out.resize(static_cast<size_t>((pixels + 1) / 2));
            // A whole frame is read without the check at every byte.
            const uint64_t whole = bytes.size() >= plane2 + (pixels + 3) / 4 ? pixels : 0;
            const uint8_t* b = bytes.data();
            for (uint64_t p = 0; p < whole; ++p) {
                const uint32_t low = b[plane2 + p / 4] >> (2 * (p % 4)) & 3;
                const uint32_t word = ((uint32_t{b[p]} << 2 | low) << 6) & 0xFFFF;
                out[static_cast<size_t>(p / 2)] |= p % 2 ? word << 16 : word;
            }
            for (uint64_t p = whole; p < pixels; ++p) {
                const uint32_t low = byteAt(plane2 + p / 4) >> (2 * (p % 4)) & 3;
                const uint32_t word = ((byteAt(p) << 2 | low) << 6) & 0xFFFF;
                out[static_cast<size_t>(p / 2)] |= p % 2 ? word << 16 : word;
            }
        } else {
            const uint64_t planes = PackedImageBytes(pixels);
            const uint64_t pad = bytes.size() > planes ? bytes.size() - planes : 0;
            const uint64_t plane2 = pad, plane8 = pad + pixels / 2;
            out.resize(static_cast<size_t>(2 * (pixels / 2)));
            const uint64_t pairs = pixels / 2, whole = bytes.size() >= plane8 + 4 * pairs ? pairs : 0;
            const uint8_t* b = bytes.data();
            const auto sample = [](uint32_t high, uint32_t low) { return (high << 2 | (low & 3)) << 6; };  // bits 15-6
            for (uint64_t pair = 0; pair < whole; ++pair) {
                const uint32_t low = b[plane2 + pair];
                const uint8_t* high = b + plane8 + 4 * pair;
                out[static_cast<size_t>(2 * pair)] = sample(high[0], low) | sample(high[1], low >> 2) << 16;
                out[static_cast<size_t>(2 * pair + 1)] = sample(high[2], low >> 4) | sample(high[3], low >> 6) << 16;
            }
            for (uint64_t pair = whole; pair < pairs; ++pair) {
                const uint32_t low = byteAt(plane2 + pair);
                uint32_t sample[4];
                for (int s = 0; s < 4; ++s) sample[s] = ((byteAt(plane8 + 4 * pair + s) << 2 | (low >> (2 * s) & 3)) << 6) & 0xFFFF;
                out[static_cast<size_t>(2 * pair)] = sample[0] | sample[1] << 16;      // Cb, Y0
                out[static_cast<size_t>(2 * pair + 1)] = sample[2] | sample[3] << 16;  // Cr, Y1
            }
        }
    }
    OutputFaults(expansion ? 1 : 0, out.data(), out.size());
    // The port CRCs: the packed words as they came in, the unpacked words as they leave.
    PixelCrcFeedBytes(kCrcIn, bytes.data(), bytes.size());
    PixelCrcFeed(expansion ? kCrcExpansion : kCrcOut, out.data(), out.size());
    if (expansion) {
        if (m_expansionSink) m_expansionSink(reinterpret_cast<const uint8_t*>(out.data()), out.size() * 4);
        m_outbound.Recycle(std::move(out));
    } else {
        m_outbound.Append(std::move(out));
    }
    return true;
}

}  // namespace sim
