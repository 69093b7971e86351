// The chip CRC check after a failed bypass loopback: the checksum of the frames sent beside the keyer's and the pair's CRC registers.
#include "framework/result_screen.h"
#include "images/image_crc.h"
#include "images/unpacked_image.h"
#include "videopath/kerzil.h"
#include "videopath/sulveth.h"

namespace {

constexpr COLORREF kColorMatch = 0x00A000;
constexpr COLORREF kColorMismatch = 0x0000FF;

struct FrameChecksums {
    DWORD image = 0;
    DWORD alpha = 0;
};

// count copies of each frame back to back, each pass seeded by the one before, as the chips saw them.
FrameChecksums Calculate(CTestBase& out, const Unpacked::Image::YCbCr_10_6* image,
                         const Unpacked::Alpha::YCbCr_10_6* alpha, DWORD count) {
    const CRC32_D52<Unpacked::Image::YCbCr_10_6> imageModel;
    const CRC32_D52<Unpacked::Alpha::YCbCr_10_6> alphaModel;
    FrameChecksums sums;
    out.PrintColor("\nCalculating CRCs\n", kColorBlack);
    for (DWORD i = 0; i < count; ++i) {
        if (alpha) {
            out.PrintColor(".", kColorBlack);
            sums.alpha = alpha->ComputeCRC(alphaModel, sums.alpha, 1);
        }
        if (image) {
            out.PrintColor(".", kColorBlack);
            sums.image = image->ComputeCRC(imageModel, sums.image, 1);
        }
    }
    out.PrintColor("\n", kColorBlack);
    return sums;
}

}  // namespace

void CKerzil::CheckCRCs(DWORD channel, Unpacked::Image::YCbCr_10_6* image, Unpacked::Alpha::YCbCr_10_6* alpha,
                        DWORD count) {
    if (IsEngineering() != 1) return;
    const FrameChecksums sums = Calculate(*this, image, alpha, count);
    // Only the first register (the words sent back to the main FPGA) is held against the checksum.
    auto line = [&](const char* format, DWORD checksum) {
        DWORD first = 0, second = 0;
        GetKerzilCRCs(channel, &first, &second);
        PrintColorFormat(checksum == first ? kColorMatch : kColorMismatch, format, first, second, checksum);
    };
    if (alpha) line("Alpha:  KerzilCRC[0x%08X, 0x%08X]  CalculatedCRC[0x%08X]\n", sums.alpha);
    if (image) line("Image:  KerzilCRC[0x%08X, 0x%08X]  CalculatedCRC[0x%08X]\n", sums.image);
}

void CSulveth::CheckCRCs(DWORD channel, Unpacked::Image::YCbCr_10_6* image, Unpacked::Alpha::YCbCr_10_6* alpha,
                         DWORD count) {
    if (IsEngineering() != 1) return;
    const FrameChecksums sums = Calculate(*this, image, alpha, count);
    // Green only when the pair and both keyer registers agree with the checksum.
    auto line = [&](const char* format, DWORD checksum) {
        DWORD first = 0, second = 0;
        GetKerzilCRCs(channel, &first, &second);
        const DWORD pair = GetSulvethCRC(channel);
        const bool match = checksum == pair && checksum == first && checksum == second;
        PrintColorFormat(match ? kColorMatch : kColorMismatch, format, pair, first, second, checksum);
    };
    if (alpha) line("Alpha CRCs:  Sulveth[0x%08X] Kerzil[0x%08X, 0x%08X]  Calculated[0x%08X]\n", sums.alpha);
    if (image) line("Image CRCs:  Sulveth[0x%08X]  Kerzil[0x%08X, 0x%08X]  Calculated[0x%08X]\n", sums.image);
}
