// CWexal's video utility image test: 8-bit images through the video utility channels, chained one DCB per frame.
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "boards/wexal/wexal.h"
#include "boards/wexal/wexal_dma_report.h"
#include "devlib/wexal_spaces.h"
#include "devlib/perf_list.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/wexal_dcb.h"
#include "framework/result_screen.h"
#include "images/image_8bit.h"
#include "images/multi_image_file.h"
#include "platform/clock.h"

namespace {

constexpr DWORD kFirstFrameAddress = 0x1000;
constexpr DWORD kInAreaGap = 0x20000;
constexpr int kMaxReportedErrors = 80;
constexpr int kMaxReportedWords = 20;

}  // namespace

DWORD CWexal::VideoUtilityClientImages(DWORD, CString, CImage* image, DWORD frames, DWORD verbose) {
    if (verbose > 1) PrintColor("Test Wexal Using Video Utility Client - Unpacked Images\n", kColorBlack);
    const RegisterPtr codec = m_boardIF.GetCodecBoardRegisters();
    const RegisterPtr main = m_boardIF.GetMainBoardRegisters();
    if (!codec && !main) {
        PrintColor("m_pNuxa and m_pBrimola are NULL\n", kColorRed);
        return 0;
    }
    const DWORD width = image->GetWidth(), height = image->GetHeight();
    if (verbose > 1)
        PrintColorFormat(kColorBlack, "Width=%ld  Height=%ld  dcbs[%d -> %d]\n", long{width}, long{height}, kVutilOut,
                         kVutilIn);
    // One line of the DCB is the picture's width, one DCB the whole picture.
    if (width == 0 || height == 0 || width > 0xFFFF || height > 0x10000 || frames == 0 || frames > kMaxFrames) {
        PrintColorFormat(kColorRed, "Image DIM=(%ld,%ld) with %ld frames does not fit a DCB chain\n", long{width},
                         long{height}, long{frames});
        return 0;
    }
    const DWORD n = frames;
    const DWORD S = image->GetSize(), P = image->GetOffset();
    // The engine counts line lengths in DWORDs, so a DCB of `width` DWORDs a line moves 4 x w x h
    // bytes, twice the image: frames lie that far apart and the memory check counts it, so the last
    // frame cannot spill into the source area.
    const ULONGLONG moved = 4ull * width * height;
    const ULONGLONG spacing = std::max<ULONGLONG>(ULONGLONG{S} + P, moved);
    // Both areas, VUTILOUT's and then VUTILIN's, must lie in the board's memory.
    if (kFirstFrameAddress + 2 * n * spacing + kInAreaGap > GetSDRAMSize()) {
        PrintColorFormat(kColorRed, "Unsufficient memory for %d 8bit frames\n", static_cast<int>(n));
        return 0;
    }
    const DWORD frameBytes = static_cast<DWORD>(spacing);
    CWexalDMAChannel* in = GetDMAChannel(kVutilIn);
    CWexalDMAChannel* out = GetDMAChannel(kVutilOut);
    if (!in || !out) {
        PrintColor("Board Device is NULL\n", kColorRed);
        return 0;
    }
    in->Flush();
    out->Flush();

    const DWORD inArea = kFirstFrameAddress + n * frameBytes + kInAreaGap;
    auto buildChain = [&](CWexalDMAChannel* channel, DWORD area, const char* label, std::vector<WexalDCB>& list) -> bool {
        WexalDCB dcb;
        channel->GetDCB(1, &dcb);
        for (DWORD k = 1; k <= n; ++k) {
            dcb.GetOpField().Set16bit(1);
            dcb.GetOpField().SetBCUPointer(kVutilBCU);
            dcb.SetStartAddress(area + (k - 1) * frameBytes);
            dcb.SetLineLength(static_cast<WORD>(width));
            dcb.SetInitialLineLength(static_cast<WORD>(width));
            dcb.SetLines(static_cast<WORD>(height - 1));
            dcb.GetPortField().SetTag(static_cast<WORD>(k & 0xF));
            dcb.GetOpField().SetNext(static_cast<BYTE>((k + 1) % (n + 1)));
            list.push_back(dcb);
            channel->SetDCB(static_cast<int>(k & 0xF), &dcb);
            if (verbose > 1)
                PrintColorFormat(kColorBlack, "%s  Tag[%d]:  Addr[0x%08X]  [I=%d,W=%d,H=%d]\n", label,
                                 static_cast<int>(k & 0xF), dcb.GetStartAddress(), static_cast<int>(dcb.GetInitialLineLength()),
                                 static_cast<int>(dcb.GetLineLength()), static_cast<int>(dcb.GetLines()));
            if (channel == in) {
                const DWORD to = dcb.GetStartAddress();
                if (!WriteMemory(image->GetBuffer(), to, S + P)) return false;
                for (const RegisterPtr& bar0 : {codec, main}) {
                    if (!bar0) continue;
                    bar0[kPostWriteRegister / 4] = 0xFF;
                    Sleep(1);
                }
            }
        }
        return true;
    };
    std::vector<WexalDCB> outList, inList;
    buildChain(out, kFirstFrameAddress, "DST Image:", outList);
    if (!buildChain(in, inArea, "SRC Image:", inList)) return 0;

    const RegisterPtr bar0 = codec ? codec : main;
    BufferControlUnit bcu(bar0 + (BufferControlUnit::kBase + 16 * kVutilBCU) / 4);
    bcu.Clear();
    bcu.SetGo(1);
    Sleep(1);
    out->Trigger(1);
    in->Trigger(1);

    WexalDCB liveOut, liveIn;
    out->GetDCB(0, &liveOut);
    in->GetDCB(0, &liveIn);
    const DWORD kilobytes = static_cast<DWORD>((ULONGLONG{S} + P) * std::max(outList.size(), inList.size()) / 1000);
    const DWORD timeoutMs = kilobytes + 20;
    CPerformanceList deadline;
    deadline.SetMilliTimeout(timeoutMs, -1);
    if (verbose > 1) {
        PrintColorFormat(kColorBlack, "Timeout calculation:  ImageSize=%d  PadSize = %d  KBytes = %d DCBs=%d  nTOmsec=%d\n",
                         static_cast<int>(S), static_cast<int>(P), static_cast<int>(kilobytes),
                         static_cast<int>(std::max(outList.size(), inList.size())), static_cast<int>(timeoutMs));
        PrintColorFormat(kColorBlack, "Frame Size Dst: Y=%d; I=%d; L=%d; P=%d.\nFrame Size Src: Y=%d; I=%d; L=%d; P=%d.\n",
                         static_cast<int>(liveOut.GetLines()), static_cast<int>(liveOut.GetInitialLineLength()),
                         static_cast<int>(liveOut.GetLineLength()), static_cast<int>(liveOut.GetPad()),
                         static_cast<int>(liveIn.GetLines()), static_cast<int>(liveIn.GetInitialLineLength()),
                         static_cast<int>(liveIn.GetLineLength()), static_cast<int>(liveIn.GetPad()));
    }

    // Channel control: the end strobe, then the DCB enable, of both channels.
    auto endChannels = [&bar0]() {
        for (const int channel : {kVutilOut, kVutilIn}) {
            bar0[(kChannelControlBase + 4 * channel) / 4] = 0x80;
            bar0[(kChannelControlBase + 4 * channel) / 4] = 0x01;
        }
    };
    Sleep(1);
    const CDmaStopwatch stopwatch;
    DWORD result = 1;
    LONGLONG inboundMs = 0, outboundMs = 0;
    bool inboundSeen = false, complete = false;
    for (;;) {
        out->GetDCB(0, &liveOut);
        in->GetDCB(0, &liveIn);
        if (!inboundSeen && IsDcbComplete(liveIn, n)) {
            inboundSeen = true;
            inboundMs = stopwatch.ElapsedMs();
        }
        if (IsDcbComplete(liveOut, n)) {
            complete = true;
            outboundMs = stopwatch.ElapsedMs();
            break;
        }
        // The deadline follows the frames' size: the host's stop request need not wait for it.
        if (IsStopRequested()) {
            endChannels();
            return 0;
        }
        if (deadline.IsTimeout()) break;
    }
    if (complete) {
        if (verbose > 1) {
            CString text;
            text.Format("Transfer took outbound[%ld, %ld] inbound[%ld, %ld] milliseconds for the completion of "
                        "%d.%3.3dMbytes to DMA.\n",
                        static_cast<long>(static_cast<ULONGLONG>(inboundMs) >> 32),
                        static_cast<long>(static_cast<ULONGLONG>(inboundMs) & 0xFFFFFFFF),
                        static_cast<long>(static_cast<ULONGLONG>(outboundMs) >> 32),
                        static_cast<long>(static_cast<ULONGLONG>(outboundMs) & 0xFFFFFFFF),
                        static_cast<int>(kilobytes / 1000), static_cast<int>(kilobytes % 1000));
            CString dcbs;
            dcbs.Format(" SorbelinToWexal DMA:  Tag=%2d  Lines=%2d  InitialWidth=%2d  Width=%2d.\n WexalToSorbelin DMA:  "
                        "Tag=%2d  Lines=%2d  InitialWidth=%2d  Width=%2d.\n",
                        static_cast<int>(liveOut.GetPortField().GetTag()), static_cast<int>(liveOut.GetLines()),
                        static_cast<int>(liveOut.GetInitialLineLength()), static_cast<int>(liveOut.GetLineLength()),
                        static_cast<int>(liveIn.GetPortField().GetTag()), static_cast<int>(liveIn.GetLines()),
                        static_cast<int>(liveIn.GetInitialLineLength()), static_cast<int>(liveIn.GetLineLength()));
            Print(text + dcbs);
        }
    } else {
        Print("\n");
        for (int report = 0; report < 10; ++report) {
            Print(DmaTimeoutReport(static_cast<int>(stopwatch.ElapsedMs()), kilobytes, " SorbelinToWexal DMA:", liveOut) +
                  " WexalToSorbelin DMA:  " + DcbFieldsText(liveIn) + "\n");
            Sleep(1);
            out->GetDCB(0, &liveOut);
            in->GetDCB(0, &liveIn);
        }
        ReportFrames("Wexal outbound", kVutilIn, 1);
        ReportFrames("Wexal inbound", kVutilOut, 1);
        result = 0;
    }

    if (verbose > 1)
        PrintColorFormat(kColorGreen, "GET:  XSize = %ld YSize = %ld ImageSize = %ld  PadSize = %ld\n", long{width},
                         long{height}, long{S}, long{P});
    const bool progressLines = verbose > 1 && IsEngineering() && !IsRegression();
    const DWORD* expected = reinterpret_cast<const DWORD*>(image->GetBuffer());
    // The read-back copy, made at the first frame that needs one: frames that match where they lie
    // need none.
    std::optional<Image::YCbCr_8bit> readBack;
    const DWORD* read = nullptr;
    const size_t words = std::min<size_t>(size_t{width} * height / 2, S / 4);
    long total = 0;
    const size_t images = std::min(outList.size(), inList.size());
    CWexalSDRAMSpace* sdram = m_boardIF.GetWexalSDRAMSpace();
    for (size_t i = 0; i < images; ++i) {
        const WexalDCB& dst = outList[i];
        const WexalDCB& src = inList[i];
        const int tag = static_cast<int>(dst.GetPortField().GetTag());
        if (progressLines) {
            PrintColor("Read/Compare DST Image #:  ", kColorBlack);
            PrintColorFormat(kColorBlack, "%d ", tag);
        } else {
            if (i == 0) PrintColor("Read/Compare DST Image:  ", kColorBlack);
            PrintColorFormat(kColorBlack, "%d ", tag);
        }
        const DWORD from = dst.GetStartAddress();
        // A frame whose compared words lie in memory as sent matches its read-back copy: no word to
        // walk, nothing to dump. It is looked at where it lies.
        if (sdram && sdram->HoldsInPlace(from, expected, static_cast<DWORD>(words * 4))) continue;
        if (!readBack) {
            readBack.emplace(width, height);
            if (!readBack->GetBuffer()) {
                PrintColor("NULL pointer for rtvImage\n", kColorRed);
                return 0;
            }
            readBack->FillSolid(0, 0x80, 0x80);
            read = reinterpret_cast<const DWORD*>(readBack->GetBuffer());
        }
        bool differs = !ReadMemory(from, readBack->GetBuffer(), S + P);
        if (differs) result = 0;
        int reportCounter = 0, reported = 0;
        // Only a frame that differs is walked word by word.
        const size_t walked = std::memcmp(read, expected, words * 4) == 0 ? 0 : words;
        for (size_t w = 0; w < walked; ++w) {
            if (read[w] == expected[w]) continue;
            differs = true;
            result = 0;
            ++total;
            ++reportCounter;
            if (verbose > 1) PrintColor("\n", kColorBlack);
            if (reportCounter > kMaxReportedErrors || reported >= kMaxReportedWords) continue;
            ++reported;
            const DWORD offset = static_cast<DWORD>(4 * w);
            const DWORD e = expected[w], r = read[w];
            PrintColorFormat(kColorRed,
                             "Offset[0x%08X]:  SRC[0x%08X]  DST[0x%08X]\n                 Expected[0x%08X]  "
                             "Read[0x%08X]  EX xor RD[0x%08X]\n",
                             offset, src.GetStartAddress() + offset, dst.GetStartAddress() + offset, e, r, e ^ r);
            // Bytes 1, 0, 3, 2 of the word are Y0, Cb, Y1, Cr.
            PrintColorFormat(kColorBlack, "\tExpected:\tY0[0x%02X]  CB[0x%02X]\n\tExpected:\tY1[0x%02X]  CR[0x%02X]\n",
                             e >> 8 & 0xFF, e & 0xFF, e >> 24 & 0xFF, e >> 16 & 0xFF);
            PrintColorFormat(kColorBlack, "\tRead:\t\tY0[0x%02X]  CB[0x%08X]\n\tRead:\t\tY1[0x%02X]  CR[0x%08X]\n",
                             r >> 8 & 0xFF, r & 0xFF, r >> 24 & 0xFF, r >> 16 & 0xFF);
        }
        if (differs) {
            CString path;
            path.Format(".\\Zorv.Image.Wexal.YCbCr_8bit.%d", static_cast<int>(i + 1));
            CMultiImageFile<Image::YCbCr_8bit, Image::YCbCr_8bit> pair;
            pair.Save(path, *static_cast<const Image::YCbCr_8bit*>(image), *readBack, 0);
        }
    }
    PrintColor("\n", kColorBlack);
    if (total != 0)
        PrintColorFormat(kColorRed, "\nTotal %ld errors out of %ld\n", total, static_cast<long>(size_t{width} * height));
    else if (result == 1)
        PrintColor("\nPassed\n", kColorGreen);

    endChannels();
    return result;
}
