// The image loopbacks of the breakout-box tests: up to 15 frames out on channel 4, back through the cable or the box on a BVI channel, compared and dumped.
#include <cstdio>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <memory>
#include <string>
#include <vector>

#include "breakout/external_io.h"
#include "framework/arg_number.h"
#include "framework/hw/jastel.h"
#include "devlib/devices.h"
#include "devlib/dma_channel.h"
#include "devlib/wexal_spaces.h"
#include "framework/board_if.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/dma_report.h"
#include "framework/hw/wexal_dcb.h"
#include "framework/param_string.h"
#include "framework/test_record.h"
#include "images/image_8bit.h"
#include "images/multi_image_file.h"
#include "images/unpacked_image.h"
#include "platform/clock.h"

namespace {

constexpr COLORREF kGreen = 0x00A000;
constexpr DWORD kMask = 0xFFC0FFC0;
constexpr BYTE kImageFrame = 1, kAlphaFrame = 2;
constexpr DWORD kFirstDestination = 0x1000;
constexpr DWORD kBviSelect = 0x80100, kCacheFlush = 0x40004, kChannelControl = 0x58000;
constexpr int kOutChannel = 4;
constexpr int kMaxErrorsPrinted = 80, kMaxEntriesPrinted = 20;
// Frames are compared in blocks of this many bytes: whole blocks that agree byte for byte agree under
// any mask.
constexpr DWORD kCompareBlock = 2048;
// The box members start video I/O this many frames ahead; the first frame of a per-frame run also
// waits for that start, up to a frame period of the slowest format (23.976 frames a second) each.
constexpr DWORD kStartDelayFrames = 8, kLongestFrameMs = 42;

// How a member compares a read-back frame with what it sent.
enum class Compare {
    EightBit,      // every word under the sample mask, the masked values written back into both
    CableSamples,  // a pixel pair's two words, read as is against the expected under the mask
    Full,          // a pixel pair's two words in full
};
enum class Stamp { None, Byte, Sample10 };

// What one member does differently (the box set-up, names, deadlines, the compare).
struct Member {
    const char* banner;
    const char* device;   // in the channel lines: "Nulk", "Bexi", "CableLoopback"
    const char* toWexal;  // "NulkToWexal"
    const char* fromWexal;
    Compare compare;
    Stamp stamp;
    DWORD chainedDeadline;   // 0: from the amount
    DWORD perFrameDeadline;  // 0: from the frame's size
    DWORD delay;             // frames the path returns late
    const char* dumpName;
    bool tagPairs;  // the compact progress names both tags
    // Sets the box up; the failure message or null.
    std::function<const char*()> setUp;
    std::function<void()> undo;
    std::function<void(int verbose)> afterTrigger;  // with the verbosity of the run in progress
};

struct Arguments {
    int bvi = 0;
    DWORD forceUpdate = 0, forceStall = 0;
    std::vector<BYTE> kinds;
};

// The keys of the argument text; false after the red line. frames counts the frames sent: the
// operator's FRAMES and the delay frames that a late path needs on top.
bool ReadArguments(CExternalIO& test, const CString& text, DWORD frames, DWORD delay, Arguments& a) {
    const CParamString params(text);
    CString value;
    if (params.IsSwitch("NOCRC")) test.PrintColor("CRC check is off\n", CExternalIO::kBlack);
    const ArgNumber bvi = ReadArgValue(params, "BVI", platform::NumberForm::Decimal, platform::kSigned32Field);
    if (bvi.state == ArgRead::Refused) {
        test.PrintColor(bvi.refusal, CExternalIO::kRed);
        return false;
    }
    a.bvi = bvi.state == ArgRead::Read ? static_cast<int>(bvi.value) : 0;
    // Each switch's own message answers any other number, one past 32 bits included.
    const ArgNumber update = ReadArgValue(params, "FORCEUPDATE", platform::NumberForm::Decimal, platform::NumberField{0, 1});
    if (update.state == ArgRead::Refused) {
        test.PrintColor("FORCEUPDATE must be 0 or 1\n", CExternalIO::kRed);
        return false;
    }
    long long number = update.state == ArgRead::Read ? update.value : 0;
    if (number != 0) {
        a.forceUpdate = 1;
        test.PrintColor("FORCEUPDATE=1\n", CExternalIO::kBlack);
    }
    const ArgNumber stall = ReadArgValue(params, "FORCESTALL", platform::NumberForm::Decimal, platform::NumberField{0, 2});
    if (stall.state == ArgRead::Refused) {
        test.PrintColor("FORCESTALL must be 0, 1 or 2\n", CExternalIO::kRed);
        return false;
    }
    number = stall.state == ArgRead::Read ? stall.value : 0;
    if (number != 0) {
        a.forceStall = static_cast<DWORD>(number);
        test.PrintColor(number == 1 ? "FORCESTALL=1\n" : "FORCESTALL=2\n", CExternalIO::kBlack);
    }
    const DWORD sent = frames < box::kMaxFrames ? frames : box::kMaxFrames;
    if (!params.GetValue("SEQUENCE", value)) {
        for (DWORD f = 0; f < sent; ++f) a.kinds.push_back(f % 3 == 2 ? kAlphaFrame : kImageFrame);
        return true;
    }
    // The operator's sequence describes the frames compared; the delay frames behind them only fill
    // the path and are never compared.
    const DWORD compared = frames > delay ? frames - delay : frames;
    const DWORD wanted = compared < box::kMaxFrames ? compared : box::kMaxFrames;
    std::string textValue = value.str();
    const bool repeat = textValue.size() >= 3 && textValue.compare(textValue.size() - 3, 3, "...") == 0;
    if (repeat) textValue.resize(textValue.size() - 3);
    std::string kept;
    for (char c : textValue)
        if (c != '\t' && c != '\r' && c != '\n' && c != ' ') kept += c;
    std::vector<std::string> tokens;
    for (size_t at = 0; !kept.empty() && at <= kept.size();) {
        size_t end = kept.find(':', at);
        if (end == std::string::npos) end = kept.size();
        tokens.push_back(kept.substr(at, end - at));
        at = end + 1;
    }
    bool bad = false;
    for (size_t t = 0; a.kinds.size() < wanted && t < tokens.size();) {
        const std::string& token = tokens[t++];
        if (token == "I" || token == "i") a.kinds.push_back(kImageFrame);
        else if (token == "A" || token == "a") a.kinds.push_back(kAlphaFrame);
        else {
            bad = true;
            break;
        }
        if (repeat && t == tokens.size()) t = 0;
    }
    if (a.kinds.size() != compared) {
        test.PrintColorFormat(CExternalIO::kRed, "SEQUENCE count[%d] does not match number of frames specified[%d]\n",
                              static_cast<int>(a.kinds.size()), static_cast<int>(compared));
        return false;
    }
    if (bad) {
        test.PrintColor("Bad token in SEQUENCE\n", CExternalIO::kRed);
        return false;
    }
    a.kinds.resize(sent, kImageFrame);
    return true;
}

DWORD Word(const BYTE* p) {
    DWORD w;
    std::memcpy(&w, p, 4);
    return w;
}

// One frame of the two chains.
struct Frame {
    BYTE kind = kImageFrame;      // what the source frame sends
    BYTE received = kImageFrame;  // what the destination frame takes: the source frame D places back
    WexalDCB source, destination;
};

template <class ImageT, class AlphaT>
class Loopback {
public:
    Loopback(CExternalIO& test, const Member& member, const Arguments& args, ImageT& image, AlphaT& alpha, int verbose)
        : m_test(test), m_member(member), m_args(args), m_image(image), m_alpha(alpha), m_verbose(verbose) {}

    int Run();

private:
    bool Transfer(int verbose);
    void Wait(int verbose, DWORD tag, DWORD deadlineMs, DWORD bytes, int transfer);
    void StampFrame(CImage& object, DWORD tag);
    void CompareFrames();
    bool MatchesInPlace(DWORD from);
    bool MatchesMaskedInPlace(DWORD from);
    bool ReadBack(DWORD from);
    int CompareWords(const Frame& source, const Frame& destination);
    void PrintMismatch(const Frame& source, const Frame& destination, DWORD offset, DWORD e0, DWORD r0, DWORD e1, DWORD r1);

    CExternalIO& m_test;
    const Member& m_member;
    const Arguments& m_args;
    ImageT& m_image;
    AlphaT& m_alpha;
    int m_verbose;
    // The frame read back, made at the first frame that needs a copy: a frame that matches where it
    // lies needs none.
    std::unique_ptr<ImageT> m_readImage;
    RegisterPtr m_bar0;
    CWexalBoardDevice* m_board = nullptr;
    CWexalDMAChannel* m_in = nullptr;
    CWexalDMAChannel* m_out = nullptr;
    int m_inChannel = 0;
    std::vector<Frame> m_frames;
    DWORD m_totalDwords = 0;
    int m_result = 1;
    bool m_timedOut = false;
    DWORD m_tagReached = 0;
    long m_errors = 0;
    int m_printed = 0;
};

template <class ImageT, class AlphaT>
int Loopback<ImageT, AlphaT>::Run() {
    if (!m_test.ConnectorPresent()) {
        m_test.PrintColor("Loopback connector is not present\n", CExternalIO::kRed);
        return 0;
    }
    if (!m_test.GetJastel()->RAMClockEnable(1, 1)) {
        m_test.PrintColor("ERROR:  Unable to set SulvthSDRAMClock\n", CExternalIO::kRed);
        return 0;
    }
    Sleep(1);
    if (m_member.setUp) {
        if (const char* failure = m_member.setUp()) {
            m_test.PrintColor(failure, CExternalIO::kRed);
            return 0;
        }
    }
    auto undo = [&](int result) {
        if (m_member.undo) m_member.undo();
        return result;
    };
    m_bar0 = m_test.Bar0();
    m_board = dynamic_cast<CWexalBoardDevice*>(m_test.GetDevice());
    m_inChannel = m_args.bvi >= 0 && m_args.bvi <= 3 ? m_args.bvi : 0;
    m_in = m_board ? m_board->GetDMAChannel(m_inChannel) : nullptr;
    m_out = m_board ? m_board->GetDMAChannel(kOutChannel) : nullptr;
    if (!m_bar0 || !m_in || !m_out) {
        m_test.PrintColor("Unrecognized Channel", CExternalIO::kRed);
        for (const char* line : {"Unable to obtain pBobStruct\n", "Unable to obtain pBCUStruct\n",
                                 "Unable to obtain pDMACStruct\n", "Unable to obtain pPCIStruct\n",
                                 "Unable to obtain pDMAin\n", "Unable to obtain pDMAout\n"})
            m_test.PrintColor(line, CExternalIO::kRed);
        return undo(0);
    }
    if (m_verbose > 1)
        m_test.PrintColorFormat(CExternalIO::kBlack, "DCB  %s outbound to Wexal=%d\nDCB  Wexal outbound to %s=%d\n",
                                m_member.device, m_inChannel, m_member.device, kOutChannel);
    if (m_verbose > 1)
        m_test.PrintColorFormat(CExternalIO::kBlack, "SET:  XSize = %ld YSize = %ld ImageSize = %ld\n",
                                static_cast<long>(m_image.GetWidth()), static_cast<long>(m_image.GetHeight()),
                                static_cast<long>(m_image.GetSize()));
    // FORCESTALL: a first run without output, then the run that counts. Frames the host's stop flag
    // cut short are not compared.
    if (m_args.forceStall) {
        if (!Transfer(0) || *g_StopFlag()) return undo(0);
        m_timedOut = false;
        m_result = 1;
    }
    if (!Transfer(m_verbose) || *g_StopFlag()) return undo(0);
    CompareFrames();
    m_bar0[(kChannelControl + 4 * kOutChannel) / 4] = 0x80;
    m_bar0[(kChannelControl + 4 * kOutChannel) / 4] = 1;
    m_bar0[(kChannelControl + 4 * static_cast<DWORD>(m_inChannel)) / 4] = 0x80;
    m_bar0[(kChannelControl + 4 * static_cast<DWORD>(m_inChannel)) / 4] = 1;
    return undo(m_result);
}

template <class ImageT, class AlphaT>
void Loopback<ImageT, AlphaT>::StampFrame(CImage& object, DWORD tag) {
    BYTE* data = object.GetBuffer() + object.GetOffset();
    if (!data || object.GetSize() < 4) return;
    if (m_member.stamp == Stamp::Byte) {
        data[1] = static_cast<BYTE>(0x40 + tag);
    } else if (m_member.stamp == Stamp::Sample10) {
        WORD sample;
        std::memcpy(&sample, data + 2, 2);
        sample = static_cast<WORD>(((0x40 + tag) & 0x3FF) << 6 | (sample & 0x3F));
        std::memcpy(data + 2, &sample, 2);
    }
}

template <class ImageT, class AlphaT>
bool Loopback<ImageT, AlphaT>::Transfer(int verbose) {
    m_out->Flush();
    m_in->Flush();
    m_frames.assign(m_args.kinds.size(), Frame{});
    m_totalDwords = 0;
    m_bar0[kBviSelect / 4] = static_cast<DWORD>(m_args.bvi);
    const DWORD n = static_cast<DWORD>(m_frames.size());
    const bool chained = m_args.forceUpdate == 0;
    const DWORD height = m_image.GetHeight();
    auto length = [&](BYTE kind) { return kind == kImageFrame ? m_image.GetWidth() : m_image.GetWidth() / 2; };

    WexalDCB model;
    m_in->GetDCB(1, &model);
    model.GetOpField().Set16bit(1);
    DWORD address = kFirstDestination;
    for (DWORD i = 1; i <= n; ++i) {
        Frame& frame = m_frames[i - 1];
        frame.kind = m_args.kinds[i - 1];
        // A path that returns frames late brings source frame i - D into destination frame i: its
        // geometry is that frame's (the first D, black, take their own frame's).
        frame.received = i > m_member.delay ? m_args.kinds[i - 1 - m_member.delay] : frame.kind;
        const DWORD l = length(frame.received);
        WexalDCB& d = frame.destination;
        d = MakeFrameDCB(model, i, n, chained, frame.received == kImageFrame ? 4 : 5, static_cast<BYTE>(chained ? i : 2), l,
                         height - 1, address);
        d.GetOpField().SetInputFormat(INPUT_FORMAT_4444);
        m_in->SetDCB(static_cast<int>(i), &d);
        address += height * l * 4;
        m_totalDwords += (frame.received == kImageFrame ? m_image.GetSize() : m_alpha.GetSize()) / 4;
        if (verbose > 1)
            m_test.PrintColorFormat(CExternalIO::kBlack, "DST Image:  Tag[%d]:  Addr[0x%08X]  [I=%d,W=%d,H=%d]\n",
                                    static_cast<int>(i), d.GetStartAddress(), static_cast<int>(d.GetInitialLineLength()),
                                    static_cast<int>(d.GetLineLength()), static_cast<int>(d.GetLines()));
    }
    m_out->GetDCB(1, &model);
    model.CopyFrom(m_frames.back().destination);
    // The outbound frames start from the last inbound one, with the BVI as their context.
    const BYTE inContext = static_cast<BYTE>(m_args.bvi);
    model.GetPortField().SetContextID(inContext);
    for (DWORD j = 1; j <= n; ++j) {
        Frame& frame = m_frames[j - 1];
        // Each frame goes out with its own kind's line length (an image sent with an alpha frame's
        // geometry would arrive half missing), its own tag and its own link (a chain of FRAMES above
        // 1 runs to its end).
        WexalDCB& s = frame.source;
        s = MakeFrameDCB(model, j, n, chained, frame.kind == kImageFrame ? 2 : 3, inContext, length(frame.kind), height - 1,
                         address);
        m_out->SetDCB(static_cast<int>(j), &s);
        if (verbose > 1)
            m_test.PrintColorFormat(CExternalIO::kBlack, "SRC Image:  Tag[%d]  Addr[0x%08X]  [I=%d,W=%d,H=%d]\n",
                                    static_cast<int>(j), address, static_cast<int>(s.GetInitialLineLength()),
                                    static_cast<int>(s.GetLineLength()), static_cast<int>(s.GetLines()));
        CImage& object = frame.kind == kImageFrame ? static_cast<CImage&>(m_image) : m_alpha;
        StampFrame(object, j);
        const DWORD at = address;
        // A frame that did not reach the SDRAM would be compared against whatever was there.
        if (!m_test.WriteMemory(object.GetBuffer(), at, object.GetSize() + object.GetOffset())) return false;
        m_bar0[kCacheFlush / 4] = 0xFF;
        Sleep(1);
        address += object.GetSize() + object.GetOffset();
    }
    for (int unit : {2, 4, 3, 5}) {
        BufferControlUnit bcu(m_bar0 + (BufferControlUnit::kBase + 16 * unit) / 4);
        bcu.Clear();
        bcu.SetGo(1);
    }
    if (chained) {
        m_in->Trigger(1);
        m_out->Trigger(1);
        if (m_member.afterTrigger) m_member.afterTrigger(verbose);
        if (verbose > 1)
            m_test.PrintColorFormat(CExternalIO::kBlack, "Total destination size in DWORDS = %ld\n",
                                    static_cast<long>(m_totalDwords));
        const DWORD deadline = m_member.chainedDeadline ? m_member.chainedDeadline * (n + 14) : m_totalDwords / 20000 + 20;
        Wait(verbose, n, deadline, m_totalDwords * 4, 0);
    } else {
        for (DWORD k = 1; k <= n && !m_timedOut && !*g_StopFlag(); ++k) {
            const WexalDCB& d = m_frames[k - 1].destination;
            m_bar0[kBviSelect / 4] = 0;
            Sleep(1);
            m_in->Trigger(static_cast<int>(k));
            m_out->Trigger(static_cast<int>(k));
            if (m_member.afterTrigger) m_member.afterTrigger(verbose);
            const DWORD bytes = (d.GetLines() * d.GetLineLength() + d.GetInitialLineLength()) * 4;
            DWORD deadline = m_member.perFrameDeadline ? m_member.perFrameDeadline : bytes / 1000 / 20 + 20;
            if (k == 1 && m_member.afterTrigger) deadline += kStartDelayFrames * kLongestFrameMs;
            Wait(verbose, k, deadline, bytes, static_cast<int>(k));
        }
    }
    m_board->GetMainRegisters()[1] = 0xFF;
    Sleep(1);
    return true;
}

template <class ImageT, class AlphaT>
void Loopback<ImageT, AlphaT>::Wait(int verbose, DWORD tag, DWORD deadlineMs, DWORD bytes, int transfer) {
    if (WaitForFramePair(m_test, *m_in, *m_out, tag, deadlineMs, bytes, transfer, verbose > 1,
                         {.inName = m_member.toWexal, .outName = m_member.fromWexal}, &m_tagReached))
        return;
    m_timedOut = true;
    m_result = 0;
    if (verbose > 1) {
        const std::string device = m_member.device;
        m_test.ReportFrames(("Wexal to " + device).c_str(), kOutChannel, 1);
        m_test.ReportFrames((device + " to Wexal").c_str(), static_cast<DWORD>(m_inChannel), 1);
    }
}

template <class ImageT, class AlphaT>
void Loopback<ImageT, AlphaT>::PrintMismatch(const Frame& source, const Frame& destination, DWORD offset, DWORD e0,
                                             DWORD r0, DWORD e1, DWORD r1) {
    const DWORD src = source.source.GetStartAddress(), dst = destination.destination.GetStartAddress();
    if (m_member.compare == Compare::EightBit) {
        m_test.PrintColorFormat(CExternalIO::kRed,
                                "Offset[0x%08X]:  SRC[0x%08X]  DST[0x%08X]\n                 Src[0x%08X]  Read[0x%08X]  "
                                "EX xor RD[0x%08X]\n",
                                offset, src, dst, e0, r0, e0 ^ r0);
        auto b = [](DWORD w, int n) { return static_cast<unsigned>(w >> (8 * n) & 0xFF); };
        m_test.PrintColorFormat(CExternalIO::kBlack,
                                "\tSrc:\tY0[0x%02X]  CB[0x%02X]  Y1[0x%02X]  CR[0x%02X]\n\tRead:\t\tY0[0x%02X]  "
                                "CB[0x%02X]  Y1[0x%02X]  CR[0x%02X]\n",
                                b(e0, 1), b(e0, 0), b(e0, 3), b(e0, 2), b(r0, 1), b(r0, 0), b(r0, 3), b(r0, 2));
        return;
    }
    const bool bexi = m_member.compare == Compare::Full;
    m_test.PrintColorFormat(CExternalIO::kRed,
                            bexi ? "Offset[0x%08X]:  SRC[0x%08x]  DST[0x%08X]\nOffset[0x%08X]:  SRC[0x%08X]  DST[0x%08X]\n"
                                   "                 Expected[0x%08X]  Read[0x%08X]  EX xor RD[0x%08X]\n"
                                   "                 Expected[0x%08X]  Read[0x%08X]  EX xor RD[0x%08X]\n"
                                 : "Offset[0x%08X]:  SRC[0x%08X]  DST[0x%08X]\nOffset[0x%08X]:  SRC[0x%08X]  DST[0x%08X]\n"
                                   "                 Expected[0x%08X]  Read[0x%08X]  EX xor RD[0x%08X]\n"
                                   "                 Expected[0x%08X]  Read[0x%08X]  EX xor RD[0x%08X]\n",
                            offset, src + offset, dst + offset, offset + 4, src + offset + 4, dst + offset + 4, e0, r0,
                            e0 ^ r0, e1, r1, e1 ^ r1);
    // Word 0 holds Cb low and Y0 high, word 1 Cr and Y1; each sample as its top 8 bits, the next 2
    // and (Bexi form) its 10-bit value.
    auto hi8 = [](DWORD s) { return static_cast<unsigned>(s >> 8 & 0xFF); };
    auto lo2 = [](DWORD s) { return static_cast<unsigned>(s >> 6 & 3); };
    auto v10 = [](DWORD s) { return static_cast<unsigned>(s >> 6 & 0x3FF); };
    for (int side = 0; side < 2; ++side) {
        const DWORD w0 = side ? r0 : e0, w1 = side ? r1 : e1;
        const DWORD y0 = w0 >> 16, cb = w0 & 0xFFFF, y1 = w1 >> 16, cr = w1 & 0xFFFF;
        const char* label = side ? "\tRead:\t\t" : "\tExpected:\t";
        CString text;
        if (bexi)
            text.Format("%sY0[0x%02X:%01X = 0x%04X]  CB[0x%02X:%01X = 0x%04X]\n%sY1[0x%02X:%01X = 0x%04X]  CR[0x%02X:%01X = "
                        "0x%04X]\n",
                        label, hi8(y0), lo2(y0), v10(y0), hi8(cb), lo2(cb), v10(cb), label, hi8(y1), lo2(y1), v10(y1),
                        hi8(cr), lo2(cr), v10(cr));
        else
            text.Format("%sY0[0x%08X:%01X]  CB[0x%08X:%01X]\n%sY1[0x%08X:%01X]  CR[0x%08X:%01X]\n", label, hi8(y0), lo2(y0),
                        hi8(cb), lo2(cb), label, hi8(y1), lo2(y1), hi8(cr), lo2(cr));
        m_test.PrintColor(text, CExternalIO::kBlack);
    }
}

template <class ImageT, class AlphaT>
int Loopback<ImageT, AlphaT>::CompareWords(const Frame& source, const Frame& destination) {
    BYTE* expected = m_image.GetBuffer() + m_image.GetOffset();
    BYTE* read = m_readImage->GetBuffer() + m_readImage->GetOffset();
    const DWORD bytes = m_readImage->GetSize();
    int frameErrors = 0;
    const DWORD step = m_member.compare == Compare::EightBit ? 4 : 8;
    for (DWORD first = 0; first < bytes; first += kCompareBlock) {
        const DWORD last = first + kCompareBlock < bytes ? first + kCompareBlock : bytes;
        if (std::memcmp(expected + first, read + first, last - first) == 0) continue;
        for (DWORD off = first; off + step <= last; off += step) {
            DWORD e0 = Word(expected + off), r0 = Word(read + off);
            DWORD e1 = step == 8 ? Word(expected + off + 4) : 0, r1 = step == 8 ? Word(read + off + 4) : 0;
            int wrong = 0;
            if (m_member.compare == Compare::EightBit) {
                e0 &= kMask;
                r0 &= kMask;
                std::memcpy(expected + off, &e0, 4);
                std::memcpy(read + off, &r0, 4);
                wrong = e0 != r0;
            } else if (m_member.compare == Compare::CableSamples) {
                wrong = (r0 != (e0 & kMask)) + (r1 != (e1 & kMask));
            } else {
                wrong = (e0 != r0) + (e1 != r1);
            }
            if (!wrong) continue;
            frameErrors += wrong;
            m_errors += wrong;
            if (m_errors > kMaxErrorsPrinted || m_printed >= kMaxEntriesPrinted) continue;
            if (m_printed == 0) m_test.PrintColor("\n", CExternalIO::kBlack);
            ++m_printed;
            PrintMismatch(source, destination, off, e0, r0, e1, r1);
        }
    }
    return frameErrors;
}

// Whether the frame at from holds the expected image byte for byte, read where it lies. Healthy
// memory reads in place as a copy would; on memory with faults, or where the frame differs, the
// copied read-back decides (reading a faulty memory twice would not read the same).
template <class ImageT, class AlphaT>
bool Loopback<ImageT, AlphaT>::MatchesInPlace(DWORD from) {
    CWexalSDRAMSpace* sdram = m_test.GetBoardIF().GetWexalSDRAMSpace();
    const DWORD bytes = m_image.GetSize();
    return sdram && sdram->HoldsInPlace(from, m_image.GetBuffer() + m_image.GetOffset(), bytes);
}

// Masks the whole expected words of a block in place, as the read-back compare does with every word
// of a block that differs, and answers whether each then equals the read word under the mask.
bool MaskAndMatch(BYTE* expected, const BYTE* read, DWORD bytes) {
    DWORD off = 0;
    bool same = true;
#if defined(__SSE2__)
    const __m128i mask = _mm_set1_epi32(static_cast<int>(kMask));
    __m128i wrong = _mm_setzero_si128();
    for (; off + 16 <= bytes; off += 16) {
        const __m128i e = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(expected + off)), mask);
        const __m128i r = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(read + off)), mask);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(expected + off), e);
        wrong = _mm_or_si128(wrong, _mm_xor_si128(e, r));
    }
    same = _mm_movemask_epi8(_mm_cmpeq_epi8(wrong, _mm_setzero_si128())) == 0xFFFF;
#endif
    for (; off + 4 <= bytes; off += 4) {
        const DWORD e = Word(expected + off) & kMask;
        std::memcpy(expected + off, &e, 4);
        same = same && e == (Word(read + off) & kMask);
    }
    return same;
}

// For the 8-bit compare: whether every word of the frame at from equals the expected one under the
// sample mask, read where it lies. Each block of the expected image that differs byte for byte is
// masked in place, as the read-back compare masks it. False at the first block with a word wrong
// under the mask, whose words the read-back compare then counts and reports (masking again changes
// nothing), and on memory with faults.
template <class ImageT, class AlphaT>
bool Loopback<ImageT, AlphaT>::MatchesMaskedInPlace(DWORD from) {
    CWexalSDRAMSpace* sdram = m_test.GetBoardIF().GetWexalSDRAMSpace();
    const DWORD bytes = m_image.GetSize();
    const BYTE* read = sdram ? static_cast<const BYTE*>(sdram->GetReadView(from, bytes)) : nullptr;
    BYTE* expected = m_image.GetBuffer() + m_image.GetOffset();
    if (!read || !m_image.GetBuffer()) return false;
    for (DWORD first = 0; first < bytes; first += kCompareBlock) {
        const DWORD last = first + kCompareBlock < bytes ? first + kCompareBlock : bytes;
        if (std::memcmp(expected + first, read + first, last - first) == 0) continue;
        if (!MaskAndMatch(expected + first, read + first, last - first)) return false;
    }
    return true;
}

// Reads the frame at from into the read-back copy; false after the red line.
template <class ImageT, class AlphaT>
bool Loopback<ImageT, AlphaT>::ReadBack(DWORD from) {
    if (!m_readImage) {
        m_readImage = std::make_unique<ImageT>(m_image.GetWidth(), m_image.GetHeight());
        if (!m_readImage->GetBuffer()) {
            m_readImage.reset();
            m_test.PrintColor("NULL pointer for rtvImage\n", CExternalIO::kRed);
            return false;
        }
    }
    return m_test.ReadMemory(from, m_readImage->GetBuffer() + m_readImage->GetOffset(), m_readImage->GetSize());
}

template <class ImageT, class AlphaT>
void Loopback<ImageT, AlphaT>::CompareFrames() {
    // The read-back copy's geometry: the image's, with no pad.
    if (m_verbose > 1)
        m_test.PrintColorFormat(kGreen, "GET:  XSize = %ld YSize = %ld ImageSize = %ld  PadSize = %ld\n",
                                static_cast<long>(m_image.GetWidth()), static_cast<long>(m_image.GetHeight()),
                                static_cast<long>(m_image.GetSize()), 0L);
    const bool headers = m_verbose > 1 && m_test.IsEngineering() && !m_test.IsRegression();
    DWORD last = static_cast<DWORD>(m_frames.size());
    if (m_timedOut && m_tagReached < last) last = m_tagReached;
    const DWORD d = m_member.delay;
    bool lineOpen = false;
    for (DWORD m = d + 1; m <= last; ++m) {
        const Frame& destination = m_frames[m - 1];
        const Frame& source = m_frames[m - 1 - d];
        // The destination frame holds what its source frame sent.
        const char* kind = source.kind == kImageFrame ? "Image" : "Alpha";
        if (m_verbose > 1) {
            const int dstTag = static_cast<int>(destination.destination.GetPortField().GetTag());
            if (headers) {
                m_test.PrintColorFormat(CExternalIO::kBlack,
                                        "Read/Compare DST %s #%d:  Src[Tag=%d,Addr=0x%08X]  Dst[Tag=%d,Addr=0x%08X]\n", kind,
                                        static_cast<int>(m - d), static_cast<int>(source.source.GetPortField().GetTag()),
                                        source.source.GetStartAddress(), dstTag, destination.destination.GetStartAddress());
            } else {
                if (!lineOpen) m_test.PrintColorFormat(CExternalIO::kBlack, "Read/Compare DST %s:  ", kind);
                lineOpen = true;
                m_test.PrintColorFormat(CExternalIO::kBlack, "%d ", dstTag - static_cast<int>(d));
                if (m_member.tagPairs)
                    m_test.PrintColorFormat(CExternalIO::kBlack, "SrcTag[%d]  DstTag[%d] ",
                                            static_cast<int>(source.source.GetPortField().GetTag()), dstTag);
            }
        }
        if (source.kind != kImageFrame) {
            m_test.PrintColor("Alpha comparison not implemented yet", CExternalIO::kBlack);
        } else {
            StampFrame(m_image, source.source.GetPortField().GetTag());
            const DWORD from = destination.destination.GetStartAddress();
            if (MatchesInPlace(from)) {
                // Every byte as sent: no word to report, nothing to dump.
            } else if (m_member.compare == Compare::EightBit && MatchesMaskedInPlace(from)) {
                // Every word as sent under the mask: the same.
            } else if (!ReadBack(from)) {
                // A frame that could not be read back cannot pass.
                m_result = 0;
                ++m_errors;
            } else if (CompareWords(source, destination) != 0) {
                m_result = 0;
                lineOpen = false;
                CString path;
                path.Format(m_member.dumpName, static_cast<int>(m));
                CMultiImageFile<ImageT, ImageT> dump;
                dump.Save(path, m_image, *m_readImage, 0);
            }
        }
        if (m_verbose > 1 && !headers) m_test.PrintColor("\n", CExternalIO::kBlack);
    }
    m_test.PrintColor("\n", CExternalIO::kBlack);
    if (m_errors)
        m_test.PrintColorFormat(CExternalIO::kRed, "Total %ld errors out of %ld\n", m_errors,
                                static_cast<long>(m_image.GetWidth() * m_image.GetHeight()));
    else if (!m_timedOut)
        m_test.PrintColor("Passed\n", kGreen);
}

template <class ImageT, class AlphaT>
int RunLoopback(CExternalIO& test, const Member& member, const CString& text, CImage& image, CImage& alpha, DWORD frames,
                int verbose) {
    test.PrintColor(member.banner, kGreen);
    Arguments args;
    if (!ReadArguments(test, text, frames, member.delay, args)) return 0;
    auto* typedImage = dynamic_cast<ImageT*>(&image);
    auto* typedAlpha = dynamic_cast<AlphaT*>(&alpha);
    if (!typedImage || !typedAlpha) {
        test.PrintColor("NULL pointer for rtvImage\n", CExternalIO::kRed);
        return 0;
    }
    Loopback<ImageT, AlphaT> loopback(test, member, args, *typedImage, *typedAlpha, verbose);
    return loopback.Run();
}

using Unpacked10 = Unpacked::Image::YCbCr_10_6;
using UnpackedAlpha10 = Unpacked::Alpha::YCbCr_10_6;

}  // namespace

int CCableLoopback::LoopbackImages(DWORD, CString text, CImage& alpha, CImage& image, DWORD frames, int verbose) {
    const Member member{"Test CableLoopback Images\n", "CableLoopback", "CableLoopbackToWexal", "WexalToCableLoopback",
                        Compare::CableSamples, Stamp::None, 0, 0, 0, ".\\Zorv.CableLoopback.Bypass.Unpacked.%d", false,
                        nullptr, nullptr, nullptr};
    return RunLoopback<Unpacked10, UnpackedAlpha10>(*this, member, text, image, alpha, frames, verbose);
}

int CBexi::LoopbackImages(DWORD, CString text, CImage& alpha, CImage& image, DWORD format, DWORD frames, int verbose) {
    const Member member{"Test Bexi Images\n", "Bexi", "BexiToWexal", "WexalToBexi", Compare::Full, Stamp::Sample10, 33, 462,
                        HdLoopDelay(format), ".\\Zorv.Bexi.LBypass.UP_YCbCr_10_6.%d", true,
                        [&]() -> const char* {
                            return SetupVideoFormat(format, format, 0, format, verbose)
                                       ? nullptr
                                       : "Unable to enable Bexi video loopback\n";
                        },
                        [&] { StopIO(verbose); }, [&](int runVerbose) { StartIO(kStartDelayFrames, runVerbose); }};
    return RunLoopback<Unpacked10, UnpackedAlpha10>(*this, member, text, image, alpha, frames, verbose);
}

int CNulk::InternalLoopbackImages(DWORD, CString text, CImage& alpha, CImage& image, DWORD frames, int verbose) {
    const Member member{"Test Nulk Images\n", "Nulk", "NulkToWexal", "WexalToNulk", Compare::EightBit, Stamp::Byte, 0, 0, 0,
                        ".\\Zorv.Nulk.LBypass.YCbCr8bit.%d", false,
                        [&]() -> const char* {
                            return SetVideoLoopback(1, verbose) ? nullptr : "Unable to enable Nulk video loopback\n";
                        },
                        [&] { SetVideoLoopback(0, verbose); }, nullptr};
    return RunLoopback<Image::YCbCr_8bit, Alpha::YCbCr_8bit>(*this, member, text, image, alpha, frames, verbose);
}

int CNulk::ExternalLoopbackImages(DWORD, CString text, CImage& alpha, CImage& image, DWORD format, DWORD frames,
                                  int verbose) {
    const Member member{"Test Nulk Images\n", "Nulk", "NulkToWexal", "WexalToNulk", Compare::Full, Stamp::Sample10, 33, 198,
                        1, ".\\Zorv.Nulk.LBypass.UP_YCbCr_10_6.%d", true,
                        [&]() -> const char* {
                            if (!SetupVideoFormat(format, format, format, verbose))
                                return "Unable to enable Nulk video loopback\n";
                            if (!SetVideoTransport(5, 5, verbose)) return "Unable to enable Nulk video transport\n";
                            return nullptr;
                        },
                        [&] { StopIO(verbose); }, [&](int runVerbose) { StartIO(kStartDelayFrames, runVerbose); }};
    return RunLoopback<Unpacked10, UnpackedAlpha10>(*this, member, text, image, alpha, frames, verbose);
}
