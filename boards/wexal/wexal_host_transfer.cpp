// CWexal's host transfer image tests: images written to SDRAM by the host, read back and compared.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "boards/wexal/wexal.h"
#include "devlib/wexal_spaces.h"
#include "framework/arg_number.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "images/multi_image_file.h"
#include "images/packed_image.h"
#include "images/unpacked_image.h"
#include "platform/clock.h"

namespace {

constexpr int kMaxReportedErrors = 80;
constexpr int kMaxReportedSteps = 20;

// "0x..." (either case) as hexadecimal, else a decimal number; false when neither reads or the
// number is no 32-bit address (negative, or past 32 bits: never cut to one).
bool ReadAddress(const CString& text, DWORD& value) {
    const platform::FieldScan read =
        platform::ReadField(text.c_str(), platform::NumberForm::Either, platform::kUnsigned32Field);
    if (read.fit != platform::NumberFit::Fits) return false;
    value = static_cast<DWORD>(read.value);
    return true;
}

WORD Le16(const BYTE* p) { return static_cast<WORD>(p[0] | p[1] << 8); }
DWORD Le32(const BYTE* p) { return static_cast<DWORD>(p[0] | p[1] << 8 | p[2] << 16) | DWORD{p[3]} << 24; }

}  // namespace

void CWexal::StoreImagePair(const CString& path, const CImage& expected, const CImage& read, int kind) {
    // The pair file's class follows the images; Save raises the message box when it cannot open.
    if (kind == 0) {
        CMultiImageFile<Unpacked::Image::YCbCr_10_6, Unpacked::Image::YCbCr_10_6> file;
        file.Save(path, static_cast<const Unpacked::Image::YCbCr_10_6&>(expected),
                  static_cast<const Unpacked::Image::YCbCr_10_6&>(read), 0);
    } else if (kind == 1) {
        CMultiImageFile<Packed::Image::YCbCr_8_2, Packed::Image::YCbCr_8_2> file;
        file.Save(path, static_cast<const Packed::Image::YCbCr_8_2&>(expected),
                  static_cast<const Packed::Image::YCbCr_8_2&>(read), 0);
    }
}

DWORD CWexal::HostTransferUnpacked(DWORD, CString arguments, CImage* image, DWORD frames, DWORD verbose) {
    return HostTransfer(false, arguments, image, frames, verbose);
}

DWORD CWexal::HostTransferPacked(DWORD, CString arguments, CImage* image, DWORD frames, DWORD verbose) {
    return HostTransfer(true, arguments, image, frames, verbose);
}

DWORD CWexal::HostTransfer(bool packed, CString arguments, CImage* image, DWORD frames, DWORD verbose) {
    if (verbose > 1)
        PrintColor(packed ? "Test Wexal Using Host Transfer - Packed Images\n"
                          : "Test Wexal Using Host Transfer - Unpacked Images\n",
                   kColorBlack);
    if (!m_boardIF.GetCodecBoardRegisters() && !m_boardIF.GetMainBoardRegisters()) {
        PrintColor("m_pNuxa and m_pBrimola are NULL\n", kColorRed);
        return 0;
    }
    arguments.MakeUpper();
    const CParamString params(arguments);
    CString text;
    DWORD address = 0;
    if (params.GetValue("ADDRESS", text) && !ReadAddress(text, address)) {
        PrintColor("Wexal address on command line is not in the format 0xFCE32BA0.\n", kColorRed);
        return 0;
    }
    const ArgNumber retryRead = ReadArgValue(params, "RETRYREAD", platform::NumberForm::Decimal, platform::kSigned32Field);
    if (retryRead.state == ArgRead::Refused) {
        PrintColor(retryRead.refusal, kColorRed);
        return 0;
    }
    const long retries = retryRead.state == ArgRead::Read ? static_cast<long>(retryRead.value) : 0;
    // A run without MODE is a slave transfer, the only kind there is.
    if (params.GetValue("MODE", text) && text != "SLAVE") {
        PrintColor("Only MODE=SLAVE is supported\n", kColorRed);
        return 0;
    }
    DWORD result = 1;

    const DWORD width = image->GetWidth(), height = image->GetHeight();
    if (verbose > 1) PrintColorFormat(kColorBlack, "Width = %ld  Height = %ld\n", long{width}, long{height});
    // A frame moves the image's whole block, pad first, and no byte more: a packed picture of an
    // odd pixel count holds half a pair less than its size is counted with. Frames keep their
    // counted size apart (whole 4096-byte units for packed pictures), or the block's when larger.
    const ULONGLONG moved = ULONGLONG{image->GetSize()} + image->GetOffset();
    const ULONGLONG counted = packed ? ULONGLONG{Packed::Image::YCbCr_8_2::GetSizeFor(width, height)} +
                                           Packed::Image::YCbCr_8_2::GetPadFor(width, height)
                                     : Unpacked::Image::YCbCr_10_6::GetSizeFor(width, height);
    const ULONGLONG stride = std::max(counted, moved);
    // Every frame must lie inside the board's own memory, from ADDRESS on.
    if (ULONGLONG{address} + stride * frames > GetSDRAMSize()) {
        PrintColorFormat(kColorRed, packed ? "Unsufficient memory for %d packed frames\n"
                                           : "Unsufficient memory for %d unpacked frames\n",
                         static_cast<int>(frames));
        return 0;
    }

    const bool engineeringView = IsEngineering() && !IsRegression();
    const DWORD frameSize = static_cast<DWORD>(stride), moveSize = static_cast<DWORD>(moved);
    DWORD at = address;
    for (DWORD n = 1; n <= frames; ++n, at += frameSize) {
        if (IsStopRequested()) return 0;  // the harness reports the stop
        if (!packed && verbose > 2 && engineeringView)
            PrintColorFormat(kColorGreen, "Write wexal address[0x%08X]\n", at);
        const DWORD to = at;
        if (!WriteMemory(image->GetBuffer(), to, moveSize)) result = 0;
        PostWriteFlush();
    }

    // The read-back copy, made at the first frame that needs one: frames that match where they lie
    // need none.
    std::unique_ptr<CImage> readBack;
    auto makeReadBack = [&]() -> bool {
        if (readBack) return true;
        if (packed)
            readBack = std::make_unique<Packed::Image::YCbCr_8_2>(width, height, image->GetOffset());
        else
            readBack = std::make_unique<Unpacked::Image::YCbCr_10_6>(width, height, image->GetOffset());
        if (readBack->GetBuffer()) return true;
        PrintColor("NULL pointer for rtvSrcImage\n", kColorRed);
        return false;
    };

    auto compare = [&]() -> BOOL {
        if (packed)
            return ComparePackedImages(*static_cast<const Packed::Image::YCbCr_8_2*>(image),
                                       *static_cast<const Packed::Image::YCbCr_8_2*>(readBack.get()));
        return CompareUnpackedImages(*static_cast<const Unpacked::Image::YCbCr_10_6*>(image),
                                     *static_cast<const Unpacked::Image::YCbCr_10_6*>(readBack.get()));
    };
    const bool progressLines = verbose > 1 && engineeringView;
    // Equal blocks pass either compare unless a packed picture lacks its planes.
    const bool comparable = !packed || (static_cast<const Packed::Image::YCbCr_8_2*>(image)->Get2BitPlane() &&
                                        static_cast<const Packed::Image::YCbCr_8_2*>(image)->Get8BitPlane());
    CWexalSDRAMSpace* sdram = m_boardIF.GetWexalSDRAMSpace();
    at = address;
    for (DWORD n = 1; n <= frames; ++n, at += frameSize) {
        if (IsStopRequested()) return 0;
        if (progressLines) {
            PrintColorFormat(kColorBlack,
                             packed ? "Read/Compare SRC Image #:  %d  Address[0x%08X]\n"
                                    : "Read/Compare DST Image #:  %d  Address[0x%08X]\n",
                             static_cast<int>(n), at);
        } else {
            if (n == 1) PrintColor(packed ? "Read/Compare SRC Image:  " : "Read/Compare DST:  ", kColorBlack);
            PrintColorFormat(kColorBlack, "%d ", static_cast<int>(n));
        }
        // A frame that lies in memory byte for byte as written passes the compare of its read-back
        // copy, which reports nothing: it is looked at where it lies instead.
        if (comparable && sdram && sdram->HoldsInPlace(at, image->GetBuffer(), moveSize)) continue;
        if (!makeReadBack()) return 0;
        DWORD from = at;
        // A read that came back short leaves the previous frame in the buffer: never a pass.
        const bool readOk = ReadMemory(from, readBack->GetBuffer(), moveSize);
        if (compare() && readOk) continue;
        result = 0;
        CString path;
        path.Format(packed ? ".\\Zorv.Image.HostTransfer.Packed.%d" : ".\\Zorv.Image.HostTransfer.Unpacked.%d",
                    static_cast<int>(n));
        StoreImagePair(path, *image, *readBack, packed ? 1 : 0);
        PrintColor("\n", kColorBlack);
        for (long r = 1; r <= retries && !IsStopRequested(); ++r) {
            if (progressLines) {
                PrintColorFormat(kColorBlack, "\tRetry[%d]  Read/Compare SRC Image #:  %d\n", static_cast<int>(r),
                                 static_cast<int>(n));
            } else {
                if (r == 1) PrintColorFormat(kColorBlack, "\tRetry[%d]  Read/Compare SRC Image:  ", static_cast<int>(r));
                PrintColorFormat(kColorBlack, "%d ", static_cast<int>(r));
            }
            from = at;
            ReadMemory(from, readBack->GetBuffer(), moveSize);
            compare();
        }
        PrintColor("\n", kColorBlack);
    }
    PrintColor("\n", kColorBlack);
    if (result == 1) PrintColor("Passed\n", kColorGreen);
    return result;
}

BOOL CWexal::CompareUnpackedImages(const Unpacked::Image::YCbCr_10_6& expected, const Unpacked::Image::YCbCr_10_6& read) {
    if (expected.GetWidth() != read.GetWidth()) {
        PrintColor("Image XSize mismatch\n", kColorRed);
        return FALSE;
    }
    if (expected.GetHeight() != read.GetHeight()) {
        PrintColor("Image YSize mismatch\n", kColorRed);
        return FALSE;
    }
    const BYTE* e = expected.GetBuffer();
    const BYTE* r = read.GetBuffer();
    if (!e || !r) return FALSE;
    const size_t words = size_t{expected.GetWidth()} * expected.GetHeight();
    const size_t blockBytes = std::min<size_t>(size_t{expected.GetSize()} + expected.GetOffset(),
                                               size_t{read.GetSize()} + read.GetOffset());
    const size_t steps = std::min(words / 2, blockBytes / 8);
    const size_t stepBytes = steps * 8;
    long total = 0;
    int reportCounter = 0, reportedSteps = 0;
    // Bits 5..0 of each sample are not part of the value; the walk skips equal stretches whole, and
    // is left out when the blocks are equal.
    auto sampleDiffers = [](const BYTE* a, const BYTE* b) { return ((Le16(a) ^ Le16(b)) & 0xFFC0) != 0; };
    const size_t walked = std::memcmp(e, r, stepBytes) == 0 ? 0 : stepBytes;
    for (size_t off = 0; off < walked; off += 8) {
        if (std::equal(e + off, e + off + 8, r + off)) continue;
        int errors = 0;
        for (int w = 0; w < 2; ++w) {
            const size_t p = off + 4 * static_cast<size_t>(w);
            if (sampleDiffers(e + p, r + p) || sampleDiffers(e + p + 2, r + p + 2)) ++errors;
        }
        if (errors == 0) continue;
        total += errors;
        reportCounter += errors;
        if (reportCounter > kMaxReportedErrors || reportedSteps >= kMaxReportedSteps) continue;
        ++reportedSteps;
        const DWORD e0 = Le32(e + off), e1 = Le32(e + off + 4), r0 = Le32(r + off), r1 = Le32(r + off + 4);
        PrintColorFormat(kColorRed,
                         "64 bit Offset[0x%08X]:  \n                 Expected[0x%08X]  Read[0x%08X]  EX xor RD[0x%08X]\n"
                         "                 Expected[0x%08X]  Read[0x%08X]  EX xor RD[0x%08X]\n",
                         static_cast<DWORD>(off), e0, r0, e0 ^ r0, e1, r1, e1 ^ r1);
        // Each sample as its top eight bits and its bottom two.
        auto hi = [](const BYTE* s) { return static_cast<unsigned>(s[1]); };
        auto lo = [](const BYTE* s) { return static_cast<unsigned>(s[0] >> 6 & 3); };
        const BYTE* es = e + off;
        const BYTE* rs = r + off;
        PrintColorFormat(kColorBlack,
                         "\tExpected:\tY0[0x%08X:%01X]  CB[0x%08X:%01X]\n\tExpected:\tY1[0x%08X:%01X]  CR[0x%08X:%01X]\n",
                         hi(es + 2), lo(es + 2), hi(es), lo(es), hi(es + 6), lo(es + 6), hi(es + 4), lo(es + 4));
        PrintColorFormat(kColorBlack,
                         "\tRead:\t\tY0[0x%08X:%01X]  CB[0x%08X:%01X]\n\tRead:\t\tY1[0x%08X:%01X]  CR[0x%08X:%01X]\n",
                         hi(rs + 2), lo(rs + 2), hi(rs), lo(rs), hi(rs + 6), lo(rs + 6), hi(rs + 4), lo(rs + 4));
    }
    if (total != 0)
        PrintColorFormat(kColorRed, "Total %ld errors out of %ld\n", total, static_cast<long>(words));
    return total == 0;
}

BOOL CWexal::ComparePackedImages(const Packed::Image::YCbCr_8_2& expected, const Packed::Image::YCbCr_8_2& read) {
    const BYTE* eBase = expected.GetBuffer();
    const BYTE* rBase = read.GetBuffer();
    if (!eBase || !rBase || !expected.Get2BitPlane() || !expected.Get8BitPlane()) return FALSE;
    const size_t off2 = static_cast<size_t>(expected.Get2BitPlane() - eBase);
    const size_t off8 = static_cast<size_t>(expected.Get8BitPlane() - eBase);
    const BYTE* e2 = eBase + off2;
    const BYTE* e8 = eBase + off8;
    const BYTE* r2 = rBase + off2;
    const BYTE* r8 = rBase + off8;
    const size_t pixels = size_t{expected.GetWidth()} * expected.GetHeight();
    // Never past either block, whatever the two images claim.
    const size_t eBytes = size_t{expected.GetSize()} + expected.GetOffset();
    const size_t rBytes = size_t{read.GetSize()} + read.GetOffset();
    const size_t bytes = std::min(eBytes, rBytes);
    size_t groups = pixels / 2;
    if (off2 + groups > bytes) groups = bytes > off2 ? bytes - off2 : 0;
    if (off8 + 4 * groups > bytes) groups = bytes > off8 ? (bytes - off8) / 4 : 0;

    long total = 0;
    int reportCounter = 0, reportedGroups = 0;
    // Only pictures whose planes differ are walked group by group.
    const size_t walked = std::memcmp(e2, r2, groups) == 0 && std::memcmp(e8, r8, 4 * groups) == 0 ? 0 : groups;
    for (size_t g = 0; g < walked; ++g) {
        if (e2[g] == r2[g] && Le32(e8 + 4 * g) == Le32(r8 + 4 * g)) continue;
        int errors = 0;
        for (int j = 0; j < 4; ++j)
            if (((e2[g] ^ r2[g]) >> (2 * j) & 3) != 0 || e8[4 * g + j] != r8[4 * g + j]) ++errors;
        total += errors;
        reportCounter += errors;
        if (reportCounter > kMaxReportedErrors || reportedGroups >= kMaxReportedSteps) continue;
        ++reportedGroups;
        PrintColorFormat(kColorRed, "Offset[0x%08X]  2bit[0x%08X]  8bit[0x%08X]\n", static_cast<DWORD>(2 * g),
                         static_cast<DWORD>(off2 + g), static_cast<DWORD>(off8 + 4 * g));
        auto field = [](BYTE two, int shift) { return static_cast<unsigned>(two >> shift & 3); };
        const BYTE* e = e8 + 4 * g;
        const BYTE* r = r8 + 4 * g;
        PrintColorFormat(kColorRed,
                         "\tExpected:\tY0[0x%02X:%01X]  CB[0x%02X:%01X]\n\tExpected:\tY1[0x%02X:%01X]  CR[0x%02X:%01X]\n",
                         e[1], field(e2[g], 2), e[0], field(e2[g], 0), e[3], field(e2[g], 6), e[2], field(e2[g], 4));
        PrintColorFormat(kColorRed,
                         "\tRead:\t\tY0[0x%02X:%01X]  CB[0x%02X:%01X]\n\tRead:\t\tY1[0x%02X:%01X]  CR[0x%02X:%01X]\n",
                         r[1], field(r2[g], 2), r[0], field(r2[g], 0), r[3], field(r2[g], 6), r[2], field(r2[g], 4));
    }
    if (total != 0)
        PrintColorFormat(kColorRed, "Total %ld errors out of %ld\n", total, static_cast<long>(pixels));
    return total == 0;
}
