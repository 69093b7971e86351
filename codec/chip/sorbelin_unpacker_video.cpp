// CSorbelinUnpacker round trips: image, alpha and mixed frames and the bypass buffer through the chip and back over DMA.
#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <optional>
#include <vector>

#include "codec/chip/sorbelin_harness.h"
#include "codec/chip/sorbelin_unpacker.h"
#include "devlib/devices.h"
#include "devlib/dma_channel.h"
#include "devlib/perf_list.h"
#include "devlib/wexal_spaces.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/dcb_list.h"
#include "framework/hw/dma_report.h"
#include "framework/hw/wexal_dcb.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "images/multi_image_file.h"
#include "images/packed_image.h"
#include "platform/clock.h"
#include "platform/runtime.h"

namespace {

// Each 16-bit sample keeps its 10-bit value in bits 15..6: both halves of a word are compared.
constexpr DWORD kImageMask = 0xFFC0FFC0;
constexpr WORD kAlphaMask = 0xFFC0;
const FramePairReport kReportStyle = {"SorbelinToWexal", "WexalToSorbelin", false, false};


DWORD Word(const BYTE* p, size_t index) {
    return DWORD{p[4 * index]} | DWORD{p[4 * index + 1]} << 8 | DWORD{p[4 * index + 2]} << 16 | DWORD{p[4 * index + 3]} << 24;
}

// Word(p, index) with a plain load where the host is little-endian, so block loops vectorise.
inline DWORD NativeWord(const BYTE* p, size_t index) {
    if constexpr (std::endian::native == std::endian::little) {
        DWORD w;
        std::memcpy(&w, p + 4 * index, 4);
        return w;
    } else {
        return Word(p, index);
    }
}

// Top 8 bits and bits 7..6 of a sample half-word.
DWORD Top8(DWORD half) { return (half >> 8) & 0xFF; }
DWORD Low2(DWORD half) { return (half >> 6) & 3; }

// Whether two blocks of little-endian words are equal under mask: a block that matches exactly
// (as every block of a good frame does) is passed by memcmp, only the rest goes word by word.
bool SameUnderMask(const BYTE* a, const BYTE* b, size_t bytes, DWORD mask) {
    if (std::memcmp(a, b, bytes) == 0) return true;
    DWORD differ = 0;
    for (size_t w = 0; w < bytes / 4; ++w) differ |= NativeWord(a, w) ^ NativeWord(b, w);
    return (differ & mask) == 0;
}

}  // namespace

struct CSorbelinUnpacker::Channels {
    int chip = 0;
    DWORD source = 0, result = 0;
    RegisterPtr window;
    CWexalDMAChannel* src = nullptr;
    CWexalDMAChannel* dst = nullptr;
};

bool CSorbelinUnpacker::ChooseChannels(DWORD code, bool printTitle, Channels& ch) {
    ch.chip = GetChipFromName(1);
    if (ch.chip != 1 && ch.chip != 2) {
        PrintColor("Unrecognized Chip", kColorRed);
        return false;
    }
    if (printTitle)
        PrintColorFormat(kColorGreen, "Test Sorbelin %c%s\n", ch.chip == 1 ? 'A' : 'B', code & kExpansionPort ? " Expansion Port" : "");
    const RegisterPtr bar0 = m_boardIF.GetRegisters();
    ch.window = bar0 ? bar0 + (ch.chip == 1 ? 0x88000 : 0x90000) / 4 : RegisterPtr();
    if (!ch.window) {
        PrintColor("pColl_X is NULL\n", kColorRed);
        return false;
    }
    ch.source = ch.chip == 1 ? 28 : 29;
    ch.result = code & kExpansionPort ? 58 : ch.chip == 1 ? 24 : 25;
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    ch.src = board ? board->GetDMAChannel(static_cast<int>(ch.source)) : nullptr;
    ch.dst = board ? board->GetDMAChannel(static_cast<int>(ch.result)) : nullptr;
    if (!ch.src || !ch.dst) {
        PrintColor("pColl_X is NULL\n", kColorRed);
        return false;
    }
    return true;
}

bool CSorbelinUnpacker::PlanLayout(DWORD resultBytes, DWORD sourceBytes, DWORD& resultBase, DWORD& sourceBase) {
    resultBase = kResultBase;
    // Sources start above the results when the results reach the usual source area.
    const unsigned long long resultEnd = 0ull + kResultBase + resultBytes;
    const unsigned long long source = std::max<unsigned long long>(kSourceBase, (resultEnd + 4095) / 4096 * 4096);
    if (!FramesFit(kResultBase, resultEnd, source, source + sourceBytes)) return false;
    sourceBase = static_cast<DWORD>(source);
    return true;
}

const BYTE* CSorbelinUnpacker::ResultFrame(DWORD address, DWORD bytes, std::vector<BYTE>& copy) {
    CWexalSDRAMSpace* sdram = m_boardIF.GetWexalSDRAMSpace();
    if (const void* view = sdram ? sdram->GetReadView(address, bytes) : nullptr)
        return static_cast<const BYTE*>(view);
    copy.assign(bytes, BYTE{0});
    ReadMemory(address, copy.data(), bytes);
    return copy.data();
}

void CSorbelinUnpacker::Cleanup(const Channels& ch) {
    const RegisterPtr bar0 = m_boardIF.GetRegisters();
    for (DWORD channel : {ch.source, ch.result}) {
        bar0[(0x58000 + 4 * channel) / 4] = 0x80;
        bar0[(0x58000 + 4 * channel) / 4] = 1;
    }
}

void CSorbelinUnpacker::ReportCompare(const DWORD expected[2], const DWORD read[2]) {
    auto samples = [&](const char* who, const DWORD w[2]) {
        PrintColorFormat(kColorBlack, "\t%s:%sY0[0x%08X:%01X]  CB[0x%08X:%01X]\n\t%s:%sY1[0x%08X:%01X]  CR[0x%08X:%01X]\n", who,
                         who[0] == 'R' ? "\t\t" : "\t", Top8(w[0] >> 16), Low2(w[0] >> 16), Top8(w[0]), Low2(w[0]), who,
                         who[0] == 'R' ? "\t\t" : "\t", Top8(w[1] >> 16), Low2(w[1] >> 16), Top8(w[1]), Low2(w[1]));
    };
    samples("Expected", expected);
    samples("Read", read);
}

namespace {

// Clears buffer control unit n of the main board and sets it going.
void StartUnit(const RegisterPtr& bar0, DWORD n) {
    BufferControlUnit unit(bar0 + (0x70000 + 0x10 * n) / 4);
    unit.Clear();
    unit.SetGo(1);
}

// Points the chip's port at context, then starts both chains at DCB tag, the result side first.
void StartChains(RegisterPtr& window, CWexalDMAChannel& dst, CWexalDMAChannel& src, DWORD context, DWORD tag) {
    window[0] = context;
    Sleep(1);
    dst.GetControlWord() = tag;
    src.GetControlWord() = tag;
}

// Frame k of a chain of n: its tag, the DCB after it and the context the next frame takes; with
// forceUpdate each frame ends its chain and names context 2.
void LinkFrame(WexalDCB& d, int k, int n, bool forceUpdate, bool nextAlpha) {
    d.GetPortField().SetTag(static_cast<WORD>(k & 0xF));
    d.GetOpField().SetNext(static_cast<BYTE>(forceUpdate ? 0 : (k + 1) % (n + 1)));
    d.GetPortField().SetContextID(static_cast<BYTE>(forceUpdate ? 2 : nextAlpha ? 1 : 0));
}

// A frame's DCB on a channel: the channel's DCB 1 as the template, 16-bit, one frame.
WexalDCB FrameTemplate(CWexalDMAChannel& channel, DWORD bcu, DWORD start, DWORD initial, DWORD length, DWORD lines) {
    WexalDCB t;
    channel.GetDCB(1, &t);
    t.GetOpField().Set16bit(1);
    t.GetOpField().SetPack(0);
    t.GetOpField().SetBCUPointer(static_cast<WORD>(bcu));
    t.SetStartAddress(start);
    t.SetInitialLineLength(static_cast<WORD>(initial));
    t.SetLineLength(static_cast<WORD>(length));
    t.SetLines(static_cast<WORD>(lines));
    t.SetPad(0);
    // Each frame announces the one context these round trips program, whatever an earlier run
    // left in DCB 1: the chip takes a chain's later frames in the context the DCB before names.
    t.GetPortField().SetContextID(0);
    return t;
}

// The words the chip sends for one frame: two for each whole pixel pair of a picture (an odd
// count's last pixel has no pair to go out in), one for each pair of alpha samples (an odd
// count's last sample alone in the low half).
DWORD ResultWords(bool alpha, DWORD width, DWORD height) {
    const DWORD pixels = width * height;
    return alpha ? (pixels + 1) / 2 : 2 * (pixels / 2);
}

// A result frame's DCB of exactly words DWORDs in lines of lineDwords, the remainder in the first.
WexalDCB ResultTemplate(CWexalDMAChannel& channel, DWORD bcu, DWORD start, DWORD words, DWORD lineDwords) {
    const DWORD length = std::max<DWORD>(lineDwords, 1), lines = std::max<DWORD>(words / length, 1);
    return FrameTemplate(channel, bcu, start, words - (lines - 1) * length, length, lines - 1);
}

}  // namespace

// The shared body of the image and alpha round trips.
DWORD CSorbelinUnpacker::VideoImageTest(DWORD code, CString args, Unpacked::Image::YCbCr_10_6* source, int frames, int verbose) {
    return VideoFrames(code, args, source, nullptr, frames, verbose);
}

DWORD CSorbelinUnpacker::VideoAlphaTest(DWORD code, CString args, Unpacked::Alpha::YCbCr_10_6* source, int frames, int verbose) {
    return VideoFrames(code, args, nullptr, source, frames, verbose);
}

DWORD CSorbelinUnpacker::VideoFrames(DWORD code, const CString&, Unpacked::Image::YCbCr_10_6* image, Unpacked::Alpha::YCbCr_10_6* alpha,
                                     int frames, int verbose) {
    const bool isAlpha = alpha != nullptr;
    const CImage* src = isAlpha ? static_cast<const CImage*>(alpha) : image;
    Channels ch;
    if (!src || !ChooseChannels(code, true, ch)) return 0;
    if (!InitRegs(static_cast<DWORD>(verbose))) {
        PrintColor("InitRegs failed.\n", kColorRed);
        return 0;
    }
    const DWORD width = src->GetWidth(), height = src->GetHeight();
    const WORD outFormat = static_cast<WORD>((isAlpha ? 1 : 0) + (code & kExpansionPort ? 2 : 0));
    if (!SetContextRamEntry(0, width, height, isAlpha ? 1 : 0, outFormat)) {
        PrintColor("Unable to initialize registers\n", kColorRed);
        return 0;
    }
    const DWORD planes = isAlpha ? Packed::Alpha::YCbCr_8_2::GetSizeFor(width, height) : Packed::Image::YCbCr_8_2::GetSizeFor(width, height);
    const DWORD pad = isAlpha ? Packed::Alpha::YCbCr_8_2::GetPadFor(width, height) : Packed::Image::YCbCr_8_2::GetPadFor(width, height);
    if (!isAlpha) {
        PrintColorFormat(kColorBlack, "Width = %ld  Height = %ld\n", static_cast<long>(width), static_cast<long>(height));
        PrintColorFormat(kColorBlack, "WidthSrc[%d]  HeightSrc[%d]  SizeData[%ld]  SizePad[%ld]\n", static_cast<int>(width),
                         static_cast<int>(height), static_cast<long>(planes), static_cast<long>(pad));
    }
    // The expected copy and the packed copy with all ten bits, whatever the source's sample format.
    std::unique_ptr<CImage> expected, packed;
    if (isAlpha) {
        auto copy = std::make_unique<Unpacked::Alpha::YCbCr_10_6>(width, height);
        *static_cast<CImage*>(copy.get()) = *alpha;
        expected = std::move(copy);
        packed = std::make_unique<Packed::Alpha::YCbCr_8_2>(*alpha, pad);
    } else {
        const DWORD format = image->GetSampleFormat();
        image->SetSampleFormat(kSampleFormatFull);
        expected = std::make_unique<Unpacked::Image::YCbCr_10_6>(*image, 0);
        packed = std::make_unique<Packed::Image::YCbCr_8_2>(*image, pad);
        image->SetSampleFormat(format);
        if (format == kSampleFormatEncoded) image->ConvertToFormat4();
    }
    if (!packed->GetBuffer()) {
        PrintColor(isAlpha ? "NULL pointer for rtvAlpha\n" : "NULL pointer for rtvImage\n", kColorRed);
        return 0;
    }
    const DWORD frameBytes = planes + pad;
    const DWORD resultFrameBytes = 4 * ResultWords(isAlpha, width, height);
    // What each frame's compare walks: whole pairs of a picture, every sample of an alpha.
    const DWORD compareBytes = std::min(resultFrameBytes, expected->GetSize());
    DWORD resultBase = 0, sourceBase = 0;
    if (!PlanLayout(resultFrameBytes * static_cast<DWORD>(frames), frameBytes * static_cast<DWORD>(frames), resultBase, sourceBase)) return 0;
    if (m_controller && !m_controller->RAMClockEnable(1, 1)) {
        PrintColor("ERROR:  Unable to set SulvthSDRAMClock\n", kColorRed);
        return 0;
    }
    Sleep(1);
    if (verbose > 1) {
        PrintColorFormat(kColorBlack, "Write 0x%08X image bytes and 0x%08X pad bytes to src\n", planes, pad);
        PrintColorFormat(kColorBlack, "SET:  XSize = %ld YSize = %ld ImageSize = %ld  PadSize = %ld\n", static_cast<long>(width),
                         static_cast<long>(height), static_cast<long>(planes), static_cast<long>(pad));
    }
    const RegisterPtr bar0 = m_boardIF.GetRegisters();
    ch.src->Flush();
    ch.dst->Flush();
    const DWORD bcu = isAlpha ? 3 : 2;
    const DWORD lineDwords = isAlpha ? width / 2 : width;
    const DWORD blocks = std::max<DWORD>(frameBytes / 4096, 1);
    const DCBList results = ResultTemplate(*ch.dst, bcu, resultBase, resultFrameBytes / 4, lineDwords).MakeDCBList(1, static_cast<DWORD>(frames));
    for (DCBList it = results; it != DCBList::End(results); ++it) {
        WexalDCB d = *it;
        const DWORD tag = d.GetPortField().GetTag();
        ch.dst->SetDCB(static_cast<int>(tag), &d);
        PrintColorFormat(kColorBlack, "DST Image:  Tag[%d]:  Addr[0x%08X]  [%d, %d, %d]\n", static_cast<int>(tag), d.GetStartAddress(),
                         static_cast<int>(d.GetLines()), static_cast<int>(d.GetLineLength()), static_cast<int>(d.GetInitialLineLength()));
    }
    const DCBList sources = FrameTemplate(*ch.src, bcu, sourceBase, 0x400, 0x400, blocks - 1).MakeDCBList(1, static_cast<DWORD>(frames));
    std::vector<DWORD> sourceAddress;
    for (DCBList it = sources; it != DCBList::End(sources); ++it) {
        WexalDCB d = *it;
        const DWORD tag = d.GetPortField().GetTag();
        const DWORD at = d.GetStartAddress();
        sourceAddress.push_back(at);
        ch.src->SetDCB(static_cast<int>(tag), &d);
        const DWORD plane2 = isAlpha ? at + width * height : at + pad;
        const DWORD plane8 = isAlpha ? at : at + pad + width * height / 2;
        PrintColorFormat(kColorBlack, "SRC Image:  Tag[%d]  2bit[0x%08X]  8bit[0x%08X]  [%d, %d, %d]  DCBAddr[0x%08X]\n", static_cast<int>(tag),
                         plane2, plane8, static_cast<int>(d.GetLines()), static_cast<int>(d.GetLineLength()),
                         static_cast<int>(d.GetInitialLineLength()), at);
        WriteMemory(packed->GetBuffer(), at, MovedBytes(*packed));
        bar0[0x40004 / 4] = 0xFF;
        Sleep(1);
    }
    StartUnit(bar0, bcu);
    StartChains(ch.window, *ch.dst, *ch.src, 0, 1);
    const DWORD dwords = static_cast<DWORD>(frames) * (resultFrameBytes / 4);
    DWORD reached = 0;
    const bool done = WaitForFramePair(*this, *ch.dst, *ch.src, static_cast<DWORD>(frames), dwords / 20000 + 20, 4 * dwords, 0, true,
                                       kReportStyle, &reached);
    if (!done) {
        ReportFrames("Wexal to Sorbelin", ch.source, 1);
        ReportFrames("Sorbelin to Wexal", ch.result, 1);
    }
    bar0[1] = 0xFF;
    Sleep(1);
    if (verbose > 1)
        PrintColorFormat(kColorGreen, "GET:  XSize = %ld YSize = %ld ImageSize = %ld  PadSize = %ld\n", static_cast<long>(width),
                         static_cast<long>(height), static_cast<long>(planes), static_cast<long>(pad));
    if (!done) {
        Cleanup(ch);
        return 0;
    }
    // Compare each frame at its own address.
    const bool perLine = verbose >= 2 && IsEngineering() && !IsRegression();
    if (!perLine) PrintColor(isAlpha ? "Read/Compare Image #:  " : "Read/Compare DST Image #:  ", kColorBlack);
    DWORD errors = 0, shown = 0;
    std::vector<std::pair<int, DWORD>> failedResults, failedSources;
    std::vector<BYTE> copy;
    for (int n = 1; n <= frames; ++n) {
        const DWORD at = resultBase + static_cast<DWORD>(n - 1) * resultFrameBytes;
        if (perLine) PrintColorFormat(kColorBlack, isAlpha ? "Read/Compare Image #:  %d\n" : "Read/Compare DST Image #:  %d\n", n);
        else PrintColorFormat(kColorBlack, "%d ", n);
        const BYTE* readBack = ResultFrame(at, resultFrameBytes, copy);
        const DWORD before = errors;
        const BYTE* exp = expected->GetBuffer();
        if (isAlpha) CompareAlphaFrame(exp, readBack, compareBytes, at, sourceAddress[static_cast<size_t>(n - 1)], packed->GetBuffer(),
                                       width * height, errors, shown);
        else CompareImageFrame(exp, readBack, compareBytes, at, sourceAddress[static_cast<size_t>(n - 1)], pad, width * height, errors, shown);
        if (errors == before) continue;
        failedResults.push_back({n, at});
        DumpFrame(isAlpha ? ".\\Zorv.Alpha.Unpacked.%d" : ".\\Zorv.Image.Unpacked.%d", n, *packed, readBack, resultFrameBytes, width, height);
    }
    PrintColor("\n", kColorBlack);
    if (errors && !isAlpha) {
        // Source check: did the packed frames stay as written?
        PrintColor("\n", kColorBlack);
        if (!perLine) PrintColor("Read/Compare SRC Image #:  ", kColorBlack);
        std::vector<BYTE> srcBack(frameBytes);
        DWORD srcErrors = 0, srcShown = 0;
        const BYTE* p = packed->GetBuffer();
        for (int n = 1; n <= frames; ++n) {
            const DWORD at = sourceAddress[static_cast<size_t>(n - 1)];
            if (perLine) PrintColorFormat(kColorBlack, "Read/Compare SRC Image #:  %d\n", n);
            else PrintColorFormat(kColorBlack, "%d ", n);
            ReadMemory(at, srcBack.data(), frameBytes);
            const DWORD before = srcErrors;
            for (DWORD g = 0; g < width * height / 2; ++g) {
                const BYTE e2 = p[pad + g], r2 = srcBack[pad + g];
                const BYTE* e8 = p + pad + width * height / 2 + 4 * g;
                const BYTE* r8 = srcBack.data() + pad + width * height / 2 + 4 * g;
                DWORD step = 0;
                for (int s = 0; s < 4; ++s) step += (((e2 ^ r2) >> (2 * s)) & 3) != 0 || e8[s] != r8[s];
                if (!step) continue;
                srcErrors += step;
                if (srcErrors <= kMaxErrorsShown && srcShown < kMaxPrinted) {
                    ++srcShown;
                    PrintColorFormat(kColorRed, "Offset[0x%08X]  2bit[0x%08X]  8bit[0x%08X]\n", 4 * g, at + pad + g,
                                     at + pad + width * height / 2 + 4 * g);
                    auto show = [&](const char* who, BYTE b2, const BYTE* b8) {
                        PrintColorFormat(kColorRed, "\t%s:%sY0[0x%02X:%01X]  CB[0x%02X:%01X]\n\t%s:%sY1[0x%02X:%01X]  CR[0x%02X:%01X]\n", who,
                                         who[0] == 'R' ? "\t\t" : "\t", b8[1], (b2 >> 2) & 3, b8[0], b2 & 3, who, who[0] == 'R' ? "\t\t" : "\t",
                                         b8[3], (b2 >> 6) & 3, b8[2], (b2 >> 4) & 3);
                    };
                    show("Expected", e2, e8);
                    show("Read", r2, r8);
                }
            }
            if (srcErrors != before) failedSources.push_back({n, at});
        }
        PrintColor("\n", kColorBlack);
        for (const auto& [n, at] : failedResults) {
            PrintColorFormat(kColorBlack, "\nDestination Image #%d:  Retest Wexal memory[0x%08X]\n", n, at);
            TestWexalMemory(at, static_cast<long>(width), static_cast<long>(height), verbose);
        }
        for (const auto& [n, at] : failedSources) {
            PrintColorFormat(kColorBlack, "\nSource Image #%d:  Retest Wexal memory[0x%08X]\n", n, at);
            TestWexalMemory(at, static_cast<long>(width), static_cast<long>(height), verbose);
        }
    }
    if (errors) {
        // Out of what the frames' compares counted in: each word of a picture, each alpha sample.
        const long compared = static_cast<long>(frames) * (isAlpha ? compareBytes / 2 : compareBytes / 4);
        if (isAlpha) PrintColorFormat(kColorRed, "Total errors %ld out of %ld\n", static_cast<long>(errors), compared);
        else {
            PrintColorFormat(kColorRed, "Total %ld errors out of %ld\n", static_cast<long>(errors), compared);
            ShowStatus(static_cast<DWORD>(verbose));
        }
    } else {
        PrintColor("Passed\n", kColorGreen);
    }
    Cleanup(ch);
    return errors ? 0 : 1;
}

void CSorbelinUnpacker::CompareImageFrame(const BYTE* exp, const BYTE* read, DWORD bytes, DWORD at, DWORD srcAt, DWORD pad, DWORD pixels,
                                          DWORD& errors, DWORD& shown) {
    // Blocks in which no word differs under the mask are passed over without the step's bookkeeping.
    constexpr DWORD kBlockPairs = 512;
    const DWORD pairs = bytes / 8;
    for (DWORD pair = 0; pair < pairs; ++pair) {
        if (pair % kBlockPairs == 0 && pairs - pair >= kBlockPairs && SameUnderMask(exp + 8 * pair, read + 8 * pair, 8 * kBlockPairs, kImageMask)) {
            pair += kBlockPairs - 1;
            continue;
        }
        const DWORD e[2] = {Word(exp, 2 * pair), Word(exp, 2 * pair + 1)};
        const DWORD r[2] = {Word(read, 2 * pair), Word(read, 2 * pair + 1)};
        const DWORD stepErrors = (((e[0] ^ r[0]) & kImageMask) != 0) + (((e[1] ^ r[1]) & kImageMask) != 0);
        if (!stepErrors) continue;
        errors += stepErrors;
        if (errors > kMaxErrorsShown || shown >= kMaxPrinted) continue;
        ++shown;
        const DWORD src2 = srcAt + pad + pair, src8 = srcAt + pad + pixels / 2 + 4 * pair;
        PrintColorFormat(kColorRed,
                         "Offset[0x%08X]:  SRC[2bit:0x%08x, 8bit:0x%08X]  DST[0x%08X]\nOffset[0x%08X]:  SRC[2bit:0x%08x, 8bit:0x%08X]  DST[0x%08X]\n"
                         "                 Expected[0x%08X]  Read[0x%08X]  EX xor RD[0x%08X]\n                 Expected[0x%08X]  Read[0x%08X]  EX xor RD[0x%08X]\n",
                         8 * pair, src2, src8, at + 8 * pair, 8 * pair + 4, src2, src8 + 2, at + 8 * pair + 4, e[0], r[0], e[0] ^ r[0], e[1], r[1],
                         e[1] ^ r[1]);
        ReportCompare(e, r);
    }
}

void CSorbelinUnpacker::CompareAlphaFrame(const BYTE* exp, const BYTE* read, DWORD bytes, DWORD at, DWORD srcAt, const BYTE* packed,
                                          DWORD pixels, DWORD& errors, DWORD& shown) {
    // Blocks in which no sample differs under the mask are passed over as in the picture compare.
    constexpr DWORD kBlockSamples = 2048;
    const DWORD samples = bytes / 2;
    for (DWORD i = 0; i < samples; ++i) {
        if (i % kBlockSamples == 0 && samples - i >= kBlockSamples &&
            SameUnderMask(exp + 2 * i, read + 2 * i, 2 * kBlockSamples, DWORD{kAlphaMask} << 16 | kAlphaMask)) {
            i += kBlockSamples - 1;
            continue;
        }
        const WORD e = static_cast<WORD>(exp[2 * i] | exp[2 * i + 1] << 8);
        const WORD r = static_cast<WORD>(read[2 * i] | read[2 * i + 1] << 8);
        if (((e ^ r) & kAlphaMask) == 0) continue;
        ++errors;
        if (errors > kMaxErrorsShown || shown >= kMaxPrinted) continue;
        ++shown;
        const DWORD wrote8 = packed[i], wrote2 = (packed[pixels + i / 4] >> (2 * (i % 4))) & 3;
        CString line;
        line.Format("Address[0x%08X]  SrcAddr8[0x%08X]  SrcAddr2[0x%08X]  DstAddr[0x%08X]\n\tWrote[0x%04X:%01X]  Expected[0x%04X]  Read[0x%04X]", 2 * i,
                    srcAt + i, srcAt + pixels + i / 4, at + 2 * i, wrote8, wrote2, e, r);
        PrintRed(line);
    }
}

void CSorbelinUnpacker::DumpFrame(const char* format, int frame, const CImage& packed, const BYTE* readBack, size_t readBytes, DWORD width,
                                  DWORD height) {
    CString name;
    name.Format(format, frame);
    if (const auto* alpha = dynamic_cast<const Packed::Alpha::YCbCr_8_2*>(&packed)) {
        Unpacked::Alpha::YCbCr_10_6 got(width, height);
        if (got.GetBuffer()) std::copy_n(readBack, std::min<size_t>(readBytes, got.GetSize()), got.GetBuffer());
        CMultiImageFile<Packed::Alpha::YCbCr_8_2, Unpacked::Alpha::YCbCr_10_6>().Save(name, *alpha, got, 0);
    } else if (const auto* image = dynamic_cast<const Packed::Image::YCbCr_8_2*>(&packed)) {
        Unpacked::Image::YCbCr_10_6 got(width, height, 0);
        if (got.GetBuffer()) std::copy_n(readBack, std::min<size_t>(readBytes, got.GetSize()), got.GetBuffer());
        CMultiImageFile<Packed::Image::YCbCr_8_2, Unpacked::Image::YCbCr_10_6>().Save(name, *image, got, 0);
    }
}

DWORD CSorbelinUnpacker::VideoMixedTest(DWORD code, CString args, Unpacked::Alpha::YCbCr_10_6* alpha, Unpacked::Image::YCbCr_10_6* image,
                                        int frames, int verbose) {
    if (!alpha || !image) return 0;
    const CParamString params(args);
    const bool crc = !params.IsSwitch("NOCRC");
    if (!crc && verbose > 1) PrintColor("CRC check is off\n", kColorBlack);
    CString value;
    MixedOptions options;
    if (!ReadMixedOptions(*this, params, true, options)) return 0;
    const long forceUpdate = options.forceUpdate, forceStall = options.forceStall;
    if (options.updateGiven) PrintColorFormat(kColorBlack, "FORCEUPDATE=%ld\n", forceUpdate);
    if (options.stallGiven) PrintColorFormat(kColorBlack, "FORCESTALL=%ld\n", forceStall);
    const int n = std::min(frames, 15);
    // The frame kinds: true for an alpha frame.
    std::vector<bool> sequence;
    if (params.GetValue("SEQUENCE", value, FALSE)) {
        CString text;
        for (int i = 0; i < value.GetLength(); ++i)
            if (value[i] != ' ' && value[i] != '\t' && value[i] != '\r' && value[i] != '\n') text += value[i];
        const bool repeat = text.GetLength() >= 3 && text.Right(3) == "...";
        if (repeat) text = text.Left(text.GetLength() - 3);
        std::vector<bool> tokens;
        int at = 0;
        for (CString token = text.Tokenize(":", at); at >= 0 || !token.IsEmpty(); token = text.Tokenize(":", at)) {
            if (token != "I" && token != "A") {
                PrintColor("Bad token in SEQUENCE\n", kColorRed);
                return 0;
            }
            tokens.push_back(token == "A");
            if (at < 0) break;
        }
        if (tokens.empty()) {
            PrintColor("Bad token in SEQUENCE\n", kColorRed);
            return 0;
        }
        sequence = tokens;
        while (repeat && static_cast<int>(sequence.size()) < n) sequence.push_back(tokens[sequence.size() % tokens.size()]);
        if (static_cast<int>(sequence.size()) != frames) {
            PrintColorFormat(kColorRed, "SEQUENCE count[%d] does not match number of frames specified[%d]\n", static_cast<int>(sequence.size()), frames);
            return 0;
        }
    } else {
        for (int k = 0; k < n; ++k) sequence.push_back(k % 3 == 2);
    }
    ResetCRCs();
    Channels ch;
    if (!ChooseChannels(code, verbose > 1, ch)) return 0;
    if (!InitRegs(static_cast<DWORD>(verbose))) {
        PrintColor("InitRegs failed.\n", kColorRed);
        return 0;
    }
    const DWORD width = image->GetWidth(), height = image->GetHeight();
    const WORD expansion = code & kExpansionPort ? 2 : 0;
    if (!SetContextRamEntry(0, width, height, 0, expansion)) {
        PrintColor("Unable to initialize Sorbelin registers for image\n", kColorRed);
        return 0;
    }
    if (!SetContextRamEntry(1, width, height, 1, static_cast<WORD>(1 + expansion))) {
        PrintColor("Unable to initialize Sorbelin registers for alpha\n", kColorRed);
        return 0;
    }
    const DWORD imagePad = Packed::Image::YCbCr_8_2::GetPadFor(width, height);
    const DWORD alphaPad = Packed::Alpha::YCbCr_8_2::GetPadFor(width, height);
    const DWORD format = image->GetSampleFormat();
    image->SetSampleFormat(kSampleFormatFull);
    // What the frames are compared with: the picture itself when it already holds plain 10-bit
    // samples from its first byte, else a copy taken before it is converted back.
    std::optional<Unpacked::Image::YCbCr_10_6> copied;
    if (format != kSampleFormatFull || image->GetOffset() != 0) copied.emplace(*image, 0);
    const Unpacked::Image::YCbCr_10_6& expectedImage = copied ? *copied : *image;
    Packed::Image::YCbCr_8_2 packedImage(*image, imagePad);
    image->SetSampleFormat(format);
    if (format == kSampleFormatEncoded) image->ConvertToFormat4();
    Packed::Alpha::YCbCr_8_2 packedAlpha(*alpha, alphaPad);
    if (!packedImage.GetBuffer()) {
        PrintColor("NULL pointer for rtvImage\n", kColorRed);
        return 0;
    }
    if (!packedAlpha.GetBuffer()) {
        PrintColor("NULL pointer for rtvAlpha\n", kColorRed);
        return 0;
    }
    const DWORD dstBytes[2] = {4 * ResultWords(false, width, height), 4 * ResultWords(true, width, height)};
    const DWORD compareBytes[2] = {std::min(dstBytes[0], expectedImage.GetSize()), std::min(dstBytes[1], alpha->GetSize())};
    // A source frame takes its counted size in whole 4096-byte units; the host writes its block.
    const DWORD srcBytes[2] = {Packed::Image::YCbCr_8_2::GetSizeFor(width, height) + imagePad,
                               Packed::Alpha::YCbCr_8_2::GetSizeFor(width, height) + alphaPad};
    unsigned long long resultTotal = 0, sourceTotal = 0;
    for (bool a : sequence) {
        resultTotal += dstBytes[a];
        sourceTotal += srcBytes[a];
    }
    DWORD resultBase = 0, sourceBase = 0;
    if (resultTotal > 0xFFFFFFFFull || sourceTotal > 0xFFFFFFFFull ||
        !PlanLayout(static_cast<DWORD>(resultTotal), static_cast<DWORD>(sourceTotal), resultBase, sourceBase))
        return 0;
    if (m_controller && !m_controller->RAMClockEnable(1, 1)) {
        PrintColor("ERROR:  Unable to set SulvthSDRAMClock\n", kColorRed);
        return 0;
    }
    Sleep(1);
    if (verbose > 1) {
        PrintColorFormat(kColorBlack, "Width=%ld  Height=%ld  dcbOut=%d  dcbIn=%d\n", static_cast<long>(width), static_cast<long>(height),
                         static_cast<int>(ch.source), static_cast<int>(ch.result));
        PrintColorFormat(kColorBlack, "SET:  XSize = %ld YSize = %ld ImageSize = %ld  PadSize = %ld\n", static_cast<long>(width),
                         static_cast<long>(height), static_cast<long>(packedImage.GetSize()), static_cast<long>(imagePad));
    }
    // The chip's flush: bit 16 of 0x6C000014 stays set while it is busy.
    bool flushed = false;
    for (int i = 0; i < 10 && !flushed; ++i) {
        m_bridge->WriteDataFixed(kFlush, 0x10000);
        Sleep(1);
        flushed = (m_bridge->ReadDataFixed(kFlush) & 0x10000) == 0;
    }
    if (!flushed) {
        PrintColor("Unable to flush Sorbelin\n", kColorRed);
        return 0;
    }
    ch.src->Flush();
    ch.dst->Flush();
    const RegisterPtr bar0 = m_boardIF.GetRegisters();
    std::vector<DWORD> resultAt(static_cast<size_t>(n)), sourceAt(static_cast<size_t>(n));
    DWORD nextResult = resultBase, nextSource = sourceBase, totalDwords = 0;
    for (int k = 1; k <= n; ++k) {
        const bool a = sequence[static_cast<size_t>(k - 1)];
        const bool nextAlpha = k < n && sequence[static_cast<size_t>(k)];
        const DWORD line = a ? width / 2 : width;
        WexalDCB d = ResultTemplate(*ch.dst, a ? 5 : 4, nextResult, dstBytes[a] / 4, line);
        LinkFrame(d, k, n, forceUpdate, nextAlpha);
        ch.dst->SetDCB(k, &d);
        resultAt[static_cast<size_t>(k - 1)] = nextResult;
        totalDwords += dstBytes[a] / 4;
        if (verbose > 1)
            PrintColorFormat(kColorBlack, "DST Image:  Tag[%d]:  Addr[0x%08X]  [I=%d,W=%d,H=%d]\n", k & 0xF, nextResult,
                             static_cast<int>(d.GetInitialLineLength()), static_cast<int>(d.GetLineLength()), static_cast<int>(d.GetLines()));
        nextResult += dstBytes[a];
        const DWORD blocks = std::max<DWORD>(srcBytes[a] / 4096, 1);
        const DWORD length = k == 1 && forceStall ? (forceStall == 1 ? 0x200 : 0x800) : 0x400;
        WexalDCB s = FrameTemplate(*ch.src, a ? 3 : 2, nextSource, length, length, blocks - 1);
        LinkFrame(s, k, n, forceUpdate, nextAlpha);
        ch.src->SetDCB(k, &s);
        sourceAt[static_cast<size_t>(k - 1)] = nextSource;
        const CImage& packed = a ? static_cast<const CImage&>(packedAlpha) : packedImage;
        if (verbose > 1) {
            const DWORD plane2 = a ? nextSource + width * height : nextSource + imagePad;
            const DWORD plane8 = a ? nextSource : nextSource + imagePad + width * height / 2;
            PrintColorFormat(kColorBlack, "SRC Image:  Tag[%d]  Addr[B=0x%08X,2=0x%08X,8=0x%08X]  [I=%d,W=%d,H=%d]\n", k & 0xF, nextSource,
                             plane2, plane8, static_cast<int>(length), static_cast<int>(length), static_cast<int>(blocks - 1));
        }
        WriteMemory(packed.GetBuffer(), nextSource, MovedBytes(packed));
        bar0[0x40004 / 4] = 0xFF;
        Sleep(1);
        nextSource += srcBytes[a];
    }
    for (DWORD unit = 2; unit <= 5; ++unit) StartUnit(bar0, unit);
    bool timedOut = false;
    DWORD reached = 0;
    if (!forceUpdate) {
        StartChains(ch.window, *ch.dst, *ch.src, sequence[0] ? 1 : 0, 1);
        if (verbose > 1) PrintColorFormat(kColorBlack, "Total destination size in DWORDS = %ld\n", static_cast<long>(totalDwords));
        timedOut = !WaitForFramePair(*this, *ch.dst, *ch.src, static_cast<DWORD>(n), totalDwords / 20000 + 20, 4 * totalDwords, 0, true,
                                     kReportStyle, &reached);
    } else {
        for (int u = 1; u <= n && !timedOut; ++u) {
            StartChains(ch.window, *ch.dst, *ch.src, sequence[static_cast<size_t>(u - 1)] ? 1 : 0, static_cast<DWORD>(u));
            WexalDCB live;
            ch.dst->GetDCB(0, &live);
            const DWORD bytes = 4 * (live.GetLines() * live.GetLineLength() + live.GetInitialLineLength());
            timedOut = !WaitForFramePair(*this, *ch.dst, *ch.src, static_cast<DWORD>(u), (bytes / 1000) / 20 + 20, bytes, u, true, kReportStyle,
                                         &reached);
        }
    }
    if (timedOut) {
        ReportFrames("Wexal to Sorbelin", ch.source, 1);
        ReportFrames("Sorbelin to Wexal", ch.result, 1);
    }
    bar0[1] = 0xFF;
    Sleep(1);
    DWORD errors = 0, shown = 0;
    long compared = 0;
    // The read-back picture the CRC report sums: the last picture frame's, kept only for a report.
    const bool reports = crc && ReportsFrameCRCs();
    Unpacked::Image::YCbCr_10_6 returned(reports ? width : 0, reports ? height : 0, 0);
    int lastImage = 0;
    for (int k = 1; k <= n; ++k)
        if (!sequence[static_cast<size_t>(k - 1)]) lastImage = k;
    if (!timedOut) {
        const bool perLine = verbose >= 2 && IsEngineering() && !IsRegression();
        std::vector<BYTE> copy;
        for (int k = 1; k <= n; ++k) {
            const bool a = sequence[static_cast<size_t>(k - 1)];
            const size_t i = static_cast<size_t>(k - 1);
            if (perLine)
                PrintColorFormat(kColorBlack, "Read/Compare Dst%s #%d:  Src[Tag=%d,Addr=0x%08X]  Dst[Tag=%d,Addr=0x%08X]\n", a ? "Alpha" : "Image", k,
                                 k & 0xF, sourceAt[i], k & 0xF, resultAt[i]);
            else PrintColorFormat(kColorBlack, "Read/Compare DST %s:  %d\n", a ? "Alpha" : "Image", k);
            const BYTE* readBack = ResultFrame(resultAt[i], dstBytes[a], copy);
            const DWORD before = errors;
            compared += a ? compareBytes[a] / 2 : compareBytes[a] / 4;
            if (a) CompareAlphaFrame(alpha->GetBuffer(), readBack, compareBytes[a], resultAt[i], sourceAt[i], packedAlpha.GetBuffer(),
                                     width * height, errors, shown);
            else {
                CompareImageFrame(expectedImage.GetBuffer(), readBack, compareBytes[a], resultAt[i], sourceAt[i], imagePad, width * height,
                                  errors, shown);
                if (reports && k == lastImage && returned.GetBuffer()) std::copy_n(readBack, dstBytes[a], returned.GetBuffer());
            }
            if (errors != before)
                DumpFrame(a ? ".\\Zorv.Alpha.Unpacked.1.%d" : ".\\Zorv.Image.Unpacked.%d", k, a ? static_cast<const CImage&>(packedAlpha) : packedImage,
                          readBack, dstBytes[a], width, height);
        }
        if (errors) PrintColorFormat(kColorRed, "Total %ld errors out of %ld\n", static_cast<long>(errors), compared);
        else PrintColor("Passed\n", kColorGreen);
        if (crc) FrameCRCReport(&packedImage, &expectedImage, &returned, static_cast<DWORD>(n));
    } else {
        PrintColor("Timed out\n", kColorRed);
    }
    ShowStatus(static_cast<DWORD>(verbose));
    Cleanup(ch);
    return !timedOut && errors == 0 ? 1 : 0;
}

DWORD CSorbelinUnpacker::BypassBufferTest(DWORD code, CString args, DWORD size, int frames, int verbose) {
    if (size == 0) {
        PrintColor("Buffersize must be greater than zero.\n", kColorRed);
        return 0;
    }
    if (size % 4096) {
        PrintColor("Buffer size must be a multiple of 4096", kColorRed);
        return 0;
    }
    if (size > 0x800000) {
        PrintColor("Buffer size must be less than 8MB", kColorRed);
        return 0;
    }
    CString upper = args;
    upper.MakeUpper();
    std::vector<BYTE> source(size), merged(size), second(size);
    if (upper.Find("RANDOM DATA") >= 0) {
        // The runtime's generator, drawn a few kilobytes at a time, as the pictures' random fills draw it.
        platform::srand(static_cast<unsigned>(std::time(nullptr)));
        int draws[1024];
        for (size_t at = 0; at < source.size(); at += std::size(draws)) {
            const size_t count = std::min(std::size(draws), source.size() - at);
            platform::RandFill(draws, count);
            std::transform(draws, draws + count, source.begin() + static_cast<std::ptrdiff_t>(at), [](int d) { return static_cast<BYTE>(d); });
        }
    } else if (upper.Find("RAMP") >= 0) {
        for (DWORD i = 0; i < size / 2; ++i) source[2 * i] = source[2 * i + 1] = static_cast<BYTE>(i);
    } else {
        PrintColor("Data requirement was not specified", kColorRed);
        return 0;
    }
    Channels ch;
    if (!ChooseChannels(code, true, ch)) return 0;
    const DWORD dwords = size / 4;
    DWORD lineLength = 0x400, lines = size / 4096;
    while (lines < 4) {
        lineLength /= 2;
        if (lineLength == 0) {
            PrintColor("dwXSizeDst = 0\n.", kColorRed);
            return 0;
        }
        lines = dwords / lineLength;
    }
    if (!InitRegs(static_cast<DWORD>(verbose))) {
        PrintColor("InitRegs failed.\n", kColorRed);
        return 0;
    }
    if (!SetContextRamEntry(0, lineLength, lines, 0, code & kExpansionPort ? 2 : 0)) {
        PrintColor("Unable to initialize registers\n", kColorRed);
        return 0;
    }
    if (m_controller && !m_controller->RAMClockEnable(1, 1)) {
        PrintColor("ERROR:  Unable to set SulvthSDRAMClock\n", kColorRed);
        return 0;
    }
    Sleep(1);
    PrintColorFormat(kColorBlack, "Write %ld { 0x%08X } image bytes pad bytes to src\n", static_cast<long>(size), size);
    // Both passes' results below the sources: pass 2's frames follow all of pass 1's.
    const DWORD passBytes = size * static_cast<DWORD>(frames);
    DWORD resultBase = 0, sourceBase = 0;
    if (!PlanLayout(2 * passBytes, passBytes, resultBase, sourceBase)) return 0;
    const RegisterPtr bar0 = m_boardIF.GetRegisters();
    const std::vector<BYTE> stale(size, BYTE{0xDE});
    // Each frame of a chain set on its channel, announced and its memory written from data; a frame
    // to the chip is then flushed through.
    const auto load = [&](CWexalDMAChannel& channel, const DCBList& list, const BYTE* data, bool toChip) {
        for (DCBList it = list; it != DCBList::End(list); ++it) {
            WexalDCB d = *it;
            const int tag = static_cast<int>(d.GetPortField().GetTag());
            channel.SetDCB(tag, &d);
            PrintColorFormat(kColorBlack,
                             toChip ? "SRC Image:  Tag[%d]  Address[0x%08X]  Initial[%d] Length[%d] Lines[%d]\n"
                                    : "DST Image:  Tag[%d]:  Addr[0x%08X]  Initial[%d] Length[%d] Lines[%d]\n",
                             tag, d.GetStartAddress(), static_cast<int>(d.GetInitialLineLength()), static_cast<int>(d.GetLineLength()),
                             static_cast<int>(d.GetLines()));
            WriteMemory(data, d.GetStartAddress(), size);
            if (!toChip) continue;
            bar0[0x40004 / 4] = 0xFF;
            Sleep(1);
        }
    };
    bool timedOut = false;
    for (int pass = 1; pass <= 2; ++pass) {
        m_bridge->WriteDataFixed(kBist64, pass == 1 ? 0x2800 : 0x800);
        ch.dst->Flush();
        ch.src->Flush();
        const DWORD start = resultBase + static_cast<DWORD>(pass - 1) * passBytes;
        PrintColorFormat(kColorBlack, "DST #%d[0x%08X]\n", pass, start);
        const DCBList results =
            FrameTemplate(*ch.dst, 2, start, dwords % lineLength + lineLength, lineLength, lines - 1).MakeDCBList(1, static_cast<DWORD>(frames));
        load(*ch.dst, results, stale.data(), false);
        PrintColorFormat(kColorBlack, "SRC[0x%08X]\n", sourceBase);
        const DCBList sources = FrameTemplate(*ch.src, 2, sourceBase, 0x400, 0x400, std::max<DWORD>(size / 4096, 1) - 1)
                                    .MakeDCBList(1, static_cast<DWORD>(frames));
        load(*ch.src, sources, source.data(), true);
        StartUnit(bar0, 2);
        StartChains(ch.window, *ch.dst, *ch.src, 0, 1);
        DWORD reached = 0;
        const DWORD total = dwords * static_cast<DWORD>(frames);
        if (!WaitForFramePair(*this, *ch.dst, *ch.src, static_cast<DWORD>(frames), total / 20000 + 20, 4 * total, 0, true, kReportStyle, &reached))
            timedOut = true;
        bar0[1] = 0xFF;
        Sleep(1);
        m_bridge->WriteDataFixed(kBist64, 0);
    }
    DWORD errors = 0, shown = 0;
    if (!timedOut) {
        for (int n = 1; n <= frames; ++n) {
            PrintColorFormat(kColorBlack, "Read/Compare Image #:  %d\n", n);
            const DWORD at = resultBase + static_cast<DWORD>(n - 1) * size;
            ReadMemory(at, merged.data(), size);
            ReadMemory(at + passBytes, second.data(), size);
            for (DWORD i = 0; i < dwords; ++i) {
                const DWORD m = (Word(merged.data(), i) & 0xFF00FF00) | ((Word(second.data(), i) >> 8) & 0x00FF00FF);
                const DWORD s = Word(source.data(), i);
                if (m == s) continue;
                ++errors;
                if (errors <= kMaxErrorsShown && shown < kMaxPrinted) {
                    ++shown;
                    PrintColorFormat(kColorRed, "Offset[0x%08X]:  SRC[0x%08X]  DST[0x%08X] EX xor RD[0x%08X]\n", 4 * i, s, m, s ^ m);
                }
            }
        }
        if (errors) PrintColorFormat(kColorRed, "Total %ld errors out of %ld\n", static_cast<long>(errors), static_cast<long>(dwords));
        else PrintColor("Passed\n", kColorGreen);
    }
    Cleanup(ch);
    return !timedOut && errors == 0 ? 1 : 0;
}
