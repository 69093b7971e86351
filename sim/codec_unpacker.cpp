// Codec chip model, unpacker personality: the data path from packed frames to unpacked words on the video or expansion port, and the bypass.
#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/vector_intrinsics.h"
#include "sim/codec_chip.h"
#include "sim/sdram.h"

namespace sim {

namespace {

using K = CodecChipFault::Kind;

// Writes to 0x6C000010 with bit 11 set put the unpacker in pass-through; bit 13 then keeps the
// high byte of each 16-bit half, without it the low byte moves up into the high byte.
constexpr uint32_t kPassThrough = 1u << 11, kKeepHigh = 1u << 13;

// Plane bytes of a packed 4:2:2 frame of pixels pixels: a 2-bit byte and four 8-bit bytes a pair.
uint64_t PackedImageBytes(uint64_t pixels) { return 2 * pixels + (pixels + 1) / 2; }

// Sixteen samples into eight words: sample t is high[t] << 8 with bits 2 (t % 4) of low[t / 4]
// in bits 7-6 (its 10-bit value in bits 15-6), two a word, the even one in the low half.
void UnpackSixteen(const uint8_t* high, const uint8_t* low, uint32_t* out) {
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    const __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(high));
    uint32_t lows;
    std::memcpy(&lows, low, 4);
    // Each 2-bit byte in the four 16-bit lanes of its samples, moved up by 6, 4, 2, 0 bits so its
    // pair of bits for the lane lands in bits 7-6.
    const __m128i l16 = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(lows)), zero);
    const __m128i l32 = _mm_unpacklo_epi16(l16, l16);
    const __m128i shift = _mm_set_epi16(1, 4, 16, 64, 1, 4, 16, 64), bits = _mm_set1_epi16(0xC0);
    const __m128i lo = _mm_and_si128(_mm_mullo_epi16(_mm_unpacklo_epi32(l32, l32), shift), bits);
    const __m128i hi = _mm_and_si128(_mm_mullo_epi16(_mm_unpackhi_epi32(l32, l32), shift), bits);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(_mm_unpacklo_epi8(zero, h), lo));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_or_si128(_mm_unpackhi_epi8(zero, h), hi));
#else
    for (int w = 0; w < 8; ++w) {
        uint32_t word = 0;
        for (int k = 0; k < 2; ++k) {
            const int t = 2 * w + k;
            word |= (uint32_t{high[t]} << 8 | (low[t / 4] >> (2 * (t % 4)) & 3u) << 6) << (16 * k);
        }
        out[w] = word;
    }
#endif
}

#if defined(__x86_64__) || defined(__i386__)
// UnpackSixteen twice over, for thirty-two samples into sixteen words where the processor has AVX2.
__attribute__((target("avx2"))) void UnpackThirtyTwo(const uint8_t* high, const uint8_t* low, uint32_t* out) {
    uint64_t lows;
    std::memcpy(&lows, low, 8);
    const __m128i l = _mm_cvtsi64_si128(static_cast<long long>(lows));
    // Each 2-bit byte beside its four samples, then moved up by 6, 4, 2, 0 bits as UnpackSixteen does.
    const __m128i spread0 = _mm_shuffle_epi8(l, _mm_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3));
    const __m128i spread1 = _mm_shuffle_epi8(l, _mm_setr_epi8(4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7));
    const __m256i shift = _mm256_setr_epi16(64, 16, 4, 1, 64, 16, 4, 1, 64, 16, 4, 1, 64, 16, 4, 1), bits = _mm256_set1_epi16(0xC0);
    const auto half = [&](const uint8_t* h, __m128i spread) __attribute__((target("avx2"))) {
        const __m256i hs = _mm256_slli_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h))), 8);
        return _mm256_or_si256(hs, _mm256_and_si256(_mm256_mullo_epi16(_mm256_cvtepu8_epi16(spread), shift), bits));
    };
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), half(high, spread0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8), half(high + 16, spread1));
}
#endif

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
    const uint64_t pixels = uint64_t{ctx.width} * ctx.height;
    const bool passThrough = (control & kPassThrough) != 0;
    bool swap = false;
    for (const CodecChipFault& f : m_faults.codec.chips) swap = swap || f.kind == K::BypassLaneSwap;
    // Two words a whole pixel pair of a picture (an odd count's last pixel has no pair to go out
    // in), one a pair of alpha samples (an odd count's last sample alone in the low half).
    const size_t total = static_cast<size_t>(passThrough ? bytes.size() / 4 : ctx.inFormat == 1 ? (pixels + 1) / 2 : 2 * (pixels / 2));
    const uint8_t* b = bytes.data();
    // Sample t of a picture or an alpha: its high 8 bits at byte hBase + t, its low two at bits
    // 2 (t % 4) of byte lBase + t / 4 (a picture's planes follow its pad: a 2-bit byte and four
    // 8-bit bytes Cb, Y0, Cr, Y1 a pair; an alpha's come before its pad). Two samples a word.
    const bool alpha = ctx.inFormat == 1;
    const uint64_t samples = alpha ? pixels : 4 * (pixels / 2);
    const uint64_t imagePad = bytes.size() > PackedImageBytes(pixels) ? bytes.size() - PackedImageBytes(pixels) : 0;
    const uint64_t hBase = alpha ? 0 : imagePad + pixels / 2, lBase = alpha ? pixels : imagePad;
    // A whole frame is read without the check at every byte; one shorter than its context reads
    // as zeros where it ends.
    const bool whole = bytes.size() >= std::max(hBase + samples, lBase + (samples + 3) / 4);
    auto byteAt = [&](uint64_t at) -> uint32_t { return at < bytes.size() ? b[static_cast<size_t>(at)] : 0; };
    // The out CRC, where it is carried wide and no fault changes the words after they are made,
    // takes each run of words as it is unpacked, while it is still in the registers.
    std::optional<PixelCrcStream> outCrc;
    const bool foldAlong = !passThrough && whole && !HasOutputFaults(expansion ? 1 : 0);
    size_t folded = 0;  // words of the slice that the out CRC took as they were made
    // Output words [from, from + n) into w; the runs the out CRC takes as they are made go to
    // direct instead where it is given, past the cache.
    const auto produce = [&](size_t from, size_t n, uint32_t* w, uint32_t* direct) {
        size_t i = 0;
        folded = 0;
        if (outCrc && foldAlong) {
            const uint64_t t = 2 * uint64_t{from};  // the slice's first sample
            const size_t runs = std::min<uint64_t>(n / 64, (samples - std::min<uint64_t>(samples, t)) / 128);
            i = folded = 64 * UnpackRunsFast(b + hBase + t, b + lBase + t / 4, runs, direct ? direct : w, *outCrc, direct != nullptr);
        }
        if (passThrough) {
            for (; i < n; ++i) {
                uint32_t word = LittleWordAt(b + 4 * (from + i));
                word = control & kKeepHigh ? word & 0xFF00FF00 : (word & 0x00FF00FF) << 8;
                w[i] = swap ? word << 16 | word >> 16 : word;
            }
            return;
        }
        // from is a multiple of 16 here, so each group starts on a 2-bit byte of its own.
#if defined(__x86_64__) || defined(__i386__)
        if (whole && platform::HasAvx2())
            for (; i + 16 <= n && 2 * (from + i) + 32 <= samples; i += 16) {
                const uint64_t t = 2 * (from + i);
                UnpackThirtyTwo(b + hBase + t, b + lBase + t / 4, w + i);
            }
#endif
        if (whole)
            for (; i + 8 <= n && 2 * (from + i) + 16 <= samples; i += 8) {
                const uint64_t t = 2 * (from + i);
                UnpackSixteen(b + hBase + t, b + lBase + t / 4, w + i);
            }
        for (; i < n; ++i) {
            uint32_t word = 0;
            for (uint64_t t = 2 * (from + i); t < 2 * (from + i) + 2 && t < samples; ++t)
                word |= (byteAt(hBase + t) << 8 | (byteAt(lBase + t / 4) >> (2 * (t % 4)) & 3) << 6) << (t % 2 ? 16 : 0);
            w[i] = word;
        }
    };
    // A slice at a time through a buffer that stays in the cache: made, faulted as the port sends
    // it, fed to the port's CRC and only then stored, so each word is written out once.
    constexpr size_t kSlice = 2048;  // a multiple of 16: the groups of up to thirty-two samples never straddle two
    uint32_t slice[kSlice];
    // With nothing waiting before it, a frame for the video port goes straight into the cells of
    // the DCB that takes it, where the port finds that DCB sure to take it as the stream later
    // would; the push then moves that DCB on. Otherwise a chain's frames all come in before its
    // first goes out: their blocks come back for the next chain.
    uint8_t* const cells = !expansion && total && m_target && m_push && m_outbound.empty() ? m_target(4 * uint64_t{total}, bytes, true) : nullptr;
    std::vector<uint32_t> out;
    if (!cells) {
        out = m_outbound.RecycledFor(total);
        out.reserve(total);
    }
    // The in CRC takes the packed bytes in their order. Where the 8-bit plane lies on whole words,
    // each slice's stretch of it is fed while the slice has just read it, the bytes before the
    // plane first and those after it last; otherwise the frame is fed whole at the end.
    const bool feedAlong = !passThrough && whole && hBase % 4 == 0 && samples % 4 == 0;
    const int outReg = expansion ? kCrcExpansion : kCrcOut;
    // Where the registers count and the processor folds wide, each CRC is carried over the whole
    // frame and finished once, not after every slice; whatever does not make a whole run of the
    // folding goes to the register the usual way at the end.
    std::optional<PixelCrcStream> inCrc;
    // A picture's in CRC starts with its pad and 2-bit plane, which the unpacking reads again as
    // it goes: fed first, they would come from memory twice. Where they end on a whole pair, the
    // rest is carried from a register of 0 and they are joined in front at the end, from the
    // cache: register(s, A B) = register(s, A) x^(8 |B|) + register(0, B).
    const bool leadLast = feedAlong && hBase > 0 && hBase % 8 == 0;
    uint32_t leadSeed = 0;
    if (PixelCrcStream::Wide()) {
        if (const uint32_t* reg = feedAlong ? PixelCrcOpen(kCrcIn) : nullptr) {
            leadSeed = *reg;
            inCrc.emplace(leadLast ? 0 : *reg);
        }
        if (const uint32_t* reg = PixelCrcOpen(outReg)) outCrc.emplace(*reg);
    }
    uint64_t streamed = 0;  // bytes fed to the carried in CRC
    const auto feedIn = [&](const uint8_t* from, size_t length) {
        if (!inCrc) return PixelCrcFeedBytes(kCrcIn, from, length);
        inCrc->Feed(from, length / 4 * 4);
        streamed += length / 4 * 4;
    };
    uint64_t fed = 0;  // bytes fed to the in CRC so far
    if (feedAlong && inCrc && leadLast) fed = hBase;
    else if (feedAlong) feedIn(b, static_cast<size_t>(fed = hBase));
    for (size_t at = 0; at < total; at += kSlice) {
        const size_t n = std::min(kSlice, total - at);
        // With no fault to apply, the runs made in one pass go straight into their cells.
        uint32_t* const direct = cells && reinterpret_cast<uintptr_t>(cells + 4 * at) % 64 == 0 ? reinterpret_cast<uint32_t*>(cells + 4 * at) : nullptr;
        produce(at, n, slice, direct);
        const size_t sent = direct ? folded : 0;  // words already in their cells
        if (feedAlong) {
            const uint64_t end = hBase + std::min<uint64_t>(samples, 2 * uint64_t{at + n});
            feedIn(b + fed, static_cast<size_t>(end - fed));
            fed = end;
        }
        OutputFaults(expansion ? 1 : 0, slice, n);
        // The port CRCs: the unpacked words as they leave (and below, the packed words as they came in).
        if (outCrc) outCrc->Feed(reinterpret_cast<const uint8_t*>(slice + folded), 4 * (n - folded));
        else PixelCrcFeed(outReg, slice, n);
        if (cells) CopyWords(cells + 4 * (at + sent), reinterpret_cast<const uint8_t*>(slice + sent), 4 * (n - sent), ~0u, true);
        else out.insert(out.end(), slice, slice + n);
    }
    feedIn(b + fed, static_cast<size_t>(bytes.size() - fed));
    for (const auto& [stream, reg] : {std::pair{&inCrc, int{kCrcIn}}, std::pair{&outCrc, outReg}}) {
        if (!*stream) continue;
        const uint8_t* rest = nullptr;
        size_t restBytes = 0;
        uint32_t* const crc = PixelCrcOpen(reg);  // open at the start, and nothing fed it since
        if (!crc) continue;
        *crc = (*stream)->Finish(&rest, &restBytes);
        if (reg == kCrcIn && leadLast) *crc ^= Crc32Mpeg2Zeros(PixelCrc64Bytes(leadSeed, b, static_cast<size_t>(hBase / 8)), streamed - restBytes);
        PixelCrcFeedBytes(reg, rest, restBytes);
    }
    if (cells) {
        m_push();
        return true;
    }
    if (expansion) {
        if (m_expansionSink) m_expansionSink(reinterpret_cast<const uint8_t*>(out.data()), out.size() * 4);
        m_outbound.Recycle(std::move(out));
        return true;
    }
    m_outbound.Append(std::move(out));
    return true;
}

}  // namespace sim
