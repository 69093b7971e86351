// CWexal's image harness: every image pattern over every resolution through one transfer, with PASS/FAIL lines and logs.
#include <cerrno>
#include <cstdio>
#include <memory>

#include "boards/wexal/wexal.h"
#include "framework/arg_number.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "images/image_8bit.h"
#include "images/packed_image.h"
#include "images/unpacked_image.h"
#include "images/wedge_patterns.h"
#include "platform/runtime.h"

namespace {

constexpr WORD kSampleLow = 0;
constexpr WORD kSampleHigh = 0x3FF;

enum class ImageKind { Packed, Unpacked, EightBit };

ImageKind KindOf(DWORD code) {
    switch (code & 0xFFFF) {
    case CWexal::kHostPacked: return ImageKind::Packed;
    case CWexal::kHostUnpacked: return ImageKind::Unpacked;
    default: return ImageKind::EightBit;
    }
}

// The images one resolution needs: what the pattern is drawn into, and what the transfer gets.
struct HarnessImages {
    std::unique_ptr<Unpacked::Image::YCbCr_10_6> unpacked;
    std::unique_ptr<Packed::Image::YCbCr_8_2> packed;
    std::unique_ptr<Image::YCbCr_8bit> eightBit;

    CImage* Drawing() const {
        if (eightBit) return eightBit.get();
        return unpacked.get();
    }
    CImage* Transferred() const {
        if (packed) return packed.get();
        return Drawing();
    }
    bool Allocated() const {
        const CImage* t = Transferred();
        const CImage* d = Drawing();
        return d && d->GetBuffer() && t && t->GetBuffer();
    }
};

HarnessImages MakeImages(ImageKind kind, DWORD x, DWORD y) {
    HarnessImages images;
    if (kind == ImageKind::EightBit) {
        images.eightBit = std::make_unique<Image::YCbCr_8bit>(x, y);
        return images;
    }
    images.unpacked = std::make_unique<Unpacked::Image::YCbCr_10_6>(x, y, 0);
    images.unpacked->SetSampleFormat(kSampleFormatFull);
    if (kind == ImageKind::Packed)
        images.packed = std::make_unique<Packed::Image::YCbCr_8_2>(*images.unpacked, Packed::Image::YCbCr_8_2::GetPadFor(x, y));
    return images;
}

const char* SummaryFormat(ImageKind kind) {
    switch (kind) {
    case ImageKind::Packed: return "%s\tTest[CWexal:HostSlave_Packed:%s] DIM[%ld,%ld]~*BLACK*~\n";
    case ImageKind::Unpacked: return "%s\tTest[CWexal:HostSlave_Unpacked:%s] DIM[%ld,%ld]~*BLACK*~\n";
    case ImageKind::EightBit: break;
    }
    return "%s\tTest[CWexam:VUC_8:%s] DIM[%ld,%ld]~*BLACK*~\n";
}

}  // namespace

// The pattern table: exact lines, except the SOLID and RANDOM prefixes, which carry arguments.
CWexal::FillResult CWexal::FillHarnessImage(DWORD code, const CString& line, CImage* drawing) {
    const ImageKind kind = KindOf(code);
    auto* tenBit = kind == ImageKind::EightBit ? nullptr : static_cast<Unpacked::Image::YCbCr_10_6*>(drawing);
    auto* eightBit = kind == ImageKind::EightBit ? static_cast<Image::YCbCr_8bit*>(drawing) : nullptr;

    if (line == "DIAGONAL_LINES") {
        PrintColor("Test Diagonal Lines\n", kColorBlack);
        if (tenBit) tenBit->FillDiagonalLines(1, kSampleLow, kSampleHigh);
        else eightBit->FillDiagonalLines(1);
        return FillResult::Filled;
    }
    if (line == "GRID") {
        PrintColor("Test Grid\n", kColorBlack);
        if (tenBit) tenBit->FillGrid(1, kSampleLow, kSampleHigh);
        else eightBit->FillGrid(1);
        return FillResult::Filled;
    }
    if (line.Left(5) == "SOLID") {
        // The packed transfer reads its components as decimal only.
        const SolidValues solid = ReadSolidValues(line, kind != ImageKind::Packed, 502, 512, 512);
        if (solid.state == ArgRead::Refused) {
            PrintColor(solid.refusal, kColorRed);
            return FillResult::Refused;
        }
        const int y = static_cast<int>(solid.values[0]), cb = static_cast<int>(solid.values[1]),
                  cr = static_cast<int>(solid.values[2]);
        CString text;
        text.Format("Test Solid:  Y=%d, Cb=%d, Cr=%d\n", y & 0xFFFF, cb & 0xFFFF, cr & 0xFFFF);
        PrintColor(text, kColorBlack);
        if (tenBit) tenBit->FillSolid(static_cast<WORD>(y), static_cast<WORD>(cb), static_cast<WORD>(cr));
        else eightBit->FillSolid(static_cast<BYTE>(y), static_cast<BYTE>(cb), static_cast<BYTE>(cr));
        return FillResult::Filled;
    }
    for (const WedgePattern& wedge : kWedgePatterns) {
        if (line != wedge.keyword) continue;
        if (tenBit) {
            if (wedge.horizontal) tenBit->FillHorzWedge(wedge.mode, kSampleLow, kSampleHigh);
            else tenBit->FillVertWedge(wedge.mode, kSampleLow, kSampleHigh);
        } else {
            if (wedge.horizontal) eightBit->FillHorzWedge(wedge.mode);
            else eightBit->FillVertWedge(wedge.mode);
        }
        PrintColor(wedge.message, kColorBlack);
        return FillResult::Filled;
    }
    if (line.Left(6) == "RANDOM") {
        PrintColor("Random Data\n", kColorBlack);
        DWORD seed = 0;
        if (!ReadRandomSeed(line, seed)) {
            PrintColor("SEED not understood\n", kColorRed);
            return FillResult::BadSeed;
        }
        CString seedLine;
        seedLine.Format("SEED=0x%08X\n", seed);
        PrintColor(seedLine, kColorBlack);
        if (tenBit) tenBit->FillRandom(seed, 1, kSampleLow, kSampleHigh);
        else eightBit->FillRandom(seed, 1);
        return FillResult::Filled;
    }
    CString text;
    text.Format("Unsupported Image Pattern=%s\n", line.c_str());
    PrintColor(text, kColorBlack);
    return FillResult::Unsupported;
}

DWORD CWexal::RunImageHarness(DWORD code, const CString& command, const CString& arguments, bool hasDim, long x,
                              long y, DWORD frames, DWORD verbose) {
    const ImageKind kind = KindOf(code);
    const TransferRoutine transfer = kind == ImageKind::Packed     ? &CWexal::HostTransferPacked
                                     : kind == ImageKind::Unpacked ? &CWexal::HostTransferUnpacked
                                                                   : &CWexal::VideoUtilityClientImages;
    CStrListResolutions resolutions;
    if (hasDim) {
        CString line;
        line.Format("DIM=(%d,%d)", static_cast<int>(x), static_cast<int>(y));
        resolutions.Add(line);
    } else {
        resolutions = m_resolutionList;
    }
    if (resolutions.IsEmpty()) {
        PrintColor("The RESOLUTION list is empty!\n", kColorRed);
        return kRunFailed;
    }
    if (m_imageList.IsEmpty()) {
        PrintColor("The IMAGE list is empty!\n", kColorRed);
        return kRunFailed;
    }

    CResultScreen& screen = GetResultScreen();
    CWexalTreeMapTB* parent = GetParent();
    const bool failuresLog = parent && parent->FindLogFile("Failures", nullptr);
    const CString rule = CString('-', 76) + "\n";
    bool pass = true;
    bool stopped = false;  // the host's stop request ends the runs; the summary of those done follows
    long width = 0, height = 0;  // a line without DIM keeps the dimensions in force
    for (const CString& resolution : resolutions.GetEntries()) {
        if (stopped) break;
        CString dim;
        if (CParamString(resolution).GetValue("DIM", dim)) {
            const ArgSize size = ReadArgSize(dim.c_str(), true, platform::kSigned32Field, "DIM");
            if (size.state == ArgRead::Refused) {
                PrintColor(size.refusal, kColorRed);
                return kRunFailed;
            }
            if (size.state != ArgRead::Read) {
                PrintColorFormat(kColorRed, "Unrecognized resolution DIM=(%ld,%ld)\n", width, height);
                return kRunFailed;
            }
            width = static_cast<long>(size.x);
            height = static_cast<long>(size.y);
        }
        // Also before the first readable line, so no empty image is ever built.
        if (width <= 0 || height <= 0) {
            PrintColorFormat(kColorRed, "Invalid resolution DIM=(%ld,%ld)\n", width, height);
            return kRunFailed;
        }

        const HarnessImages images = MakeImages(kind, static_cast<DWORD>(width), static_cast<DWORD>(height));
        if (!images.Allocated()) {
            PrintColorFormat(kColorRed, "Unable to allocate an image of DIM=(%ld,%ld)\n", width, height);
            return kRunFailed;
        }
        for (const CString& pattern : m_imageList.GetEntries()) {
            if ((stopped = IsStopRequested())) break;
            if (failuresLog) screen.Clear();
            PrintColor(rule, kColorBlack);
            PrintColorFormat(kColorBlack, "%s IMAGE=%s DIM=(%ld,%ld)\n", command.c_str(), pattern.c_str(), width, height);
            PrintTimeStamp();
            PrintColor("\n", kColorBlack);
            PrintColor(rule, kColorBlack);

            const FillResult filled = FillHarnessImage(code, pattern, images.Drawing());
            if (filled == FillResult::Unsupported) continue;
            if (filled == FillResult::Refused) pass = false;
            if (filled == FillResult::BadSeed || filled == FillResult::Refused) break;
            if (images.packed) {
                const CImage& drawing = *images.unpacked;
                images.packed->PackFrom(drawing.GetWidth() * drawing.GetHeight(),
                                        reinterpret_cast<const WORD*>(drawing.GetBuffer() + drawing.GetOffset()),
                                        images.packed->Get8BitPlane(), images.packed->Get2BitPlane());
            }

            const bool passed = (this->*transfer)(code, arguments, images.Transferred(), frames, verbose) != 0;
            if ((stopped = IsStopRequested())) break;  // a transfer cut short is neither a pass nor a fail
            CString summary;
            summary.Format(SummaryFormat(kind), passed ? "~*GREEN*~PASS:" : "~*RED*~FAIL:", pattern.c_str(), width,
                           height);
            GetSummary().push_back(summary);
            if (!passed) {
                pass = false;
                if (failuresLog) {
                    if (parent->FileAccess("Failures", &screen)) screen.Clear();
                    else PrintColor(parent->LogFailureText("Failures", errno), kColorRed);
                }
            }
        }
    }

    CString bufferA, bufferB;
    const bool summaryLog = parent && parent->FindLogFile("Summary", nullptr);
    if (summaryLog) {
        screen.NotifyHost(reinterpret_cast<uintptr_t>(&bufferA));
        screen.Clear();
    }
    PrintColor("\nSUMMARY:  " + command + "\n", kColorBlack);
    for (const CString& line : GetSummary()) {
        Print(line);
        if (parent) parent->GetSummary().push_back(line);
    }
    GetSummary().clear();
    // A summary that did not reach its log fails the command.
    if (summaryLog && !parent->FileAccess("Summary", &screen)) {
        PrintColor(parent->LogFailureText("Summary", errno), kColorRed);
        pass = false;
    }
    screen.NotifyHost(reinterpret_cast<uintptr_t>(&bufferB));
    screen.NotifyHostResult(reinterpret_cast<uintptr_t>(&bufferA), 1);
    screen.NotifyHostResult(reinterpret_cast<uintptr_t>(&bufferB), 0);
    if (stopped) {
        PrintColor("\nStopped by User\n", kColorRed);
        return kRunStopped;
    }
    return pass ? kRunPassed : kRunFailed;
}
