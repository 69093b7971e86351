// CRC models of the video hardware's image checksums: CRC-32 over 52 or 64 data bits per pair of image words.
#pragma once

#include <cstddef>

#include "images/image.h"
#include "platform/types.h"

// The register is CRC-32/MPEG-2's: polynomial 0x04C11DB7, data fed most significant bit first,
// starting from the caller's seed, no reflection and no final XOR. An image is walked as pairs
// of 32-bit little-endian words (w0, w1) from its word accessor; an unpaired last word is not
// fed. With lo(w) bits 15..0 and hi(w) bits 31..16 of a word, each pair feeds the units
// lo(w0), hi(w0), lo(w1), hi(w1) in that order:
//   D64: all 16 bits of each unit (64 bits a pair);
//   D52: bits 15..3 of each unit (52 bits a pair).
namespace images_detail {

// Register after feeding the 64 data bits of each of pairs word pairs (the words masked).
// Folds by carry-less multiplication where the processor has it, else eight lookups a pair.
DWORD CrcFeedD64(DWORD crc, const BYTE* words, size_t pairs, DWORD mask);
// The same with the 52 data bits of each pair (seven lookups a pair by tables).
DWORD CrcFeedD52(DWORD crc, const BYTE* words, size_t pairs, DWORD mask);

}  // namespace images_detail

// A CRC model over an image class: Compute answers the register after the image's words,
// starting from seed. Models hold no state.
template <class TImage>
class CRC32 {
public:
    virtual ~CRC32() = default;
    virtual DWORD Compute(const TImage& image, DWORD seed) const = 0;
};

namespace images_detail {

// A model that feeds the image's word pairs (GetCrcWords) to Feed; an image without a block answers seed.
template <class TImage, DWORD (*Feed)(DWORD, const BYTE*, size_t, DWORD)>
class CrcWordPairModel : public CRC32<TImage> {
public:
    DWORD Compute(const TImage& image, DWORD seed) const override {
        CrcWordSpan span = image.GetCrcWords();
        return span.data ? Feed(seed, span.data, span.words / 2, span.mask) : seed;
    }
};

}  // namespace images_detail

// 52 data bits per word pair, as the keyer and FPGA-pair CRC registers compute them.
template <class TImage>
class CRC32_D52 : public images_detail::CrcWordPairModel<TImage, images_detail::CrcFeedD52> {};

// 64 data bits per word pair, as the codec chip's CRC registers compute them.
template <class TImage>
class CRC32_D64 : public images_detail::CrcWordPairModel<TImage, images_detail::CrcFeedD64> {};

template <class TImage>
DWORD CImage::ComputeCRC(const CRC32<TImage>& model, DWORD seed, DWORD count) const {
    const TImage* image = dynamic_cast<const TImage*>(this);
    if (!image) return seed;
    for (DWORD i = 0; i < count; ++i) seed = model.Compute(*image, seed);
    return seed;
}
