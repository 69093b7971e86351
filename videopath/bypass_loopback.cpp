// The bypass image loopback of the keyer and the FPGA-pair tests: frames from SDRAM through the chip and back, read and compared.
#include <cstring>
#include <memory>
#include <vector>

#include "devlib/devices.h"
#include "devlib/dma_channel.h"
#include "devlib/wexal_spaces.h"
#include "framework/arg_number.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/dma_report.h"
#include "framework/hw/jastel.h"
#include "framework/hw/wexal_dcb.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "images/multi_image_file.h"
#include "images/unpacked_image.h"
#include "platform/clock.h"
#include "videopath/kerzil.h"
#include "videopath/sulveth.h"

namespace {

using AlphaImage = Unpacked::Alpha::YCbCr_10_6;
using VideoImage = Unpacked::Image::YCbCr_10_6;

constexpr COLORREF kColorDarkRed = 0x0000C0;
constexpr DWORD kMaxFrames = 15;
constexpr BYTE kImageFrame = 1, kAlphaFrame = 2;
constexpr DWORD kLoopbackBit = 1u << 15;
constexpr DWORD kControlTwo = 0x3C8;
constexpr DWORD kKeyerId = 0xBFC8;
constexpr DWORD kKeyerDcm = 0xBFD0;
constexpr DWORD kPairIdOffset = 0x3FC8;
constexpr DWORD kUnconfigured = 0xFFFFFFFF;
constexpr DWORD kCacheFlush = 0x40004;
constexpr DWORD kChannelControl = 0x58000;
constexpr DWORD kFirstDestination = 0x1000;
constexpr int kMaxErrorsPrinted = 0x50, kMaxEntriesPrinted = 0x14;

// The route of one channel through the main FPGA.
struct BypassRoute {
    int channel = 0;       // 1 A, 2 B
    int source = 0;        // SDRAM to the keyer
    int destination = 0;   // keyer to SDRAM
    DWORD context = 0;     // Wexal port context register
    DWORD controlTwo = 0;  // the keyer block's CONTROL_REG_TWO (LOOPBACK)
    DWORD pairWindow = 0;  // the pair FPGA's register window
};

BypassRoute FixedRoute(int channel) {
    if (channel == 1) return {1, 28, 24, 0x88000, 0x8C00 + kControlTwo, 0x18000};
    return {2, 29, 25, 0x90000, 0xAC00 + kControlTwo, 0x1C000};
}

// The keys both bodies read, in the forms they take.
struct BypassArguments {
    bool crc = true;
    int channel = 0;
    DWORD forceUpdate = 0;
    DWORD forceStall = 0;
    BYTE kinds[kMaxFrames] = {};
    DWORD count = 0;
    CString fpga;
};

bool ReadNoCrc(CTestBase& out, const CParamString& params, BypassArguments& a, DWORD verbose) {
    if (params.IsSwitch("NOCRC")) {
        a.crc = false;
        if (verbose > 1) out.PrintColor("CRC check is off\n", kColorBlack);
    }
    return true;
}

bool ReadChannel(CTestBase& out, const CParamString& params, BypassArguments& a) {
    CString value;
    if (!params.GetValue("CHANNEL", value) || value.IsEmpty()) {
        out.PrintColor("CHANNEL not specified!\n", kColorRed);
        return false;
    }
    const char letter = value[0];
    if (letter == 'A' || letter == 'a') a.channel = 1;
    else if (letter == 'B' || letter == 'b') a.channel = 2;
    else {
        out.PrintColor("CHANNEL not understood!\n", kColorRed);
        return false;
    }
    return true;
}

bool ReadModes(CTestBase& out, const CParamString& params, BypassArguments& a) {
    // Each switch's own message answers any other number, one past 32 bits included.
    const ArgNumber update = ReadArgValue(params, "FORCEUPDATE", platform::NumberForm::Decimal, platform::NumberField{0, 1});
    if (update.state == ArgRead::Refused) {
        out.PrintColor("FORCEUPDATE must be 0 or 1\n", kColorRed);
        return false;
    }
    long long number = update.state == ArgRead::Read ? update.value : 0;
    if (number != 0) {
        a.forceUpdate = 1;
        out.PrintColor("FORCEUPDATE=1\n", kColorBlack);
    }
    const ArgNumber stall = ReadArgValue(params, "FORCESTALL", platform::NumberForm::Decimal, platform::NumberField{0, 2});
    if (stall.state == ArgRead::Refused) {
        out.PrintColor("FORCESTALL must be 0, 1 or 2\n", kColorRed);
        return false;
    }
    number = stall.state == ArgRead::Read ? stall.value : 0;
    if (number != 0) {
        a.forceStall = static_cast<DWORD>(number);
        out.PrintColor(number == 1 ? "FORCESTALL=1\n" : "FORCESTALL=2\n", kColorBlack);
    }
    return true;
}

// SEQUENCE=I:A... gives the frames their kinds; without it they run I, I, A over and over.
bool ReadSequence(CTestBase& out, const CParamString& params, BypassArguments& a, DWORD frames) {
    const DWORD wanted = frames < kMaxFrames ? frames : kMaxFrames;
    CString value;
    if (!params.GetValue("SEQUENCE", value)) {
        for (a.count = 0; a.count < wanted; ++a.count) a.kinds[a.count] = a.count % 3 == 2 ? kAlphaFrame : kImageFrame;
        return true;
    }
    std::string text = value.str();
    const bool repeat = text.size() >= 3 && text.compare(text.size() - 3, 3, "...") == 0;
    if (repeat) text.resize(text.size() - 3);
    std::string kept;
    for (char c : text)
        if (c != '\t' && c != '\r' && c != '\n' && c != ' ') kept += c;
    std::vector<BYTE> tokens;
    // "..." alone names no frame: nothing is stored, and the count check below reports it.
    for (size_t at = 0; !kept.empty() && at <= kept.size();) {
        size_t end = kept.find(':', at);
        if (end == std::string::npos) end = kept.size();
        const std::string token = kept.substr(at, end - at);
        if (token == "I" || token == "i") tokens.push_back(kImageFrame);
        else if (token == "A" || token == "a") tokens.push_back(kAlphaFrame);
        else {
            out.PrintColor("Bad token in SEQUENCE\n", kColorRed);
            return false;
        }
        at = end + 1;
    }
    for (size_t t = 0; a.count < wanted && t < tokens.size();) {
        a.kinds[a.count++] = tokens[t++];
        if (repeat && t == tokens.size()) t = 0;
    }
    if (a.count != frames) {
        out.PrintColorFormat(kColorRed, "SEQUENCE count[%d] does not match number of frames specified[%d]\n",
                             static_cast<int>(a.count), static_cast<int>(frames));
        return false;
    }
    return true;
}

bool ReadFpga(CTestBase& out, const CParamString& params, BypassArguments& a) {
    if (!params.GetValue("FPGA", a.fpga, TRUE)) {
        out.PrintColor("FPGA not specified on CmdLine!\n", kColorRed);
        return false;
    }
    return true;
}

// Frames must fit the DCB fields, 32-bit byte counts and, both regions together, the board's SDRAM.
bool FitsTheBoard(CTestBase& out, const VideoImage& image, const AlphaImage& alpha, const BypassArguments& a,
                  ULONGLONG sdramBytes) {
    const DWORD w = image.GetWidth(), h = image.GetHeight();
    ULONGLONG frames = 0;
    for (DWORD f = 0; f < a.count; ++f) frames += 4ull * h * (a.kinds[f] == kImageFrame ? w : w / 2);
    const bool fits = w && h && w <= 0xFFFF && h <= 0x10000 && 4ull * w * h <= 0xFFFFFFFFull &&
                      alpha.GetWidth() == w && alpha.GetHeight() == h && kFirstDestination + 2 * frames <= sdramBytes;
    if (!fits) out.PrintColorFormat(kColorRed, "Invalid resolution DIM=(%ld,%ld)\n", static_cast<long>(w), static_cast<long>(h));
    return fits;
}

// One frame of the two chains.
struct BypassFrame {
    BYTE kind = kImageFrame;
    WexalDCB source, destination;
    DWORD bytes = 0;
};

// What is left to both bodies once their chip is set up: the transfers, the compare and the report.
class BypassLoopback {
public:
    BypassLoopback(CKeyerPathTB& test, const BypassRoute& route, const BypassArguments& args, VideoImage& image,
                   AlphaImage& alpha, VideoImage& readImage, DWORD verbose)
        : m_test(test), m_route(route), m_args(args), m_image(image), m_alpha(alpha), m_readImage(readImage),
          m_verbose(verbose) {
        m_board = dynamic_cast<CWexalBoardDevice*>(test.GetBoardIF().GetDevice());
        m_bar0 = test.GetBoardIF().GetMainBoardRegisters();
        m_sourceChannel = m_board ? m_board->GetDMAChannel(route.source) : nullptr;
        m_destinationChannel = m_board ? m_board->GetDMAChannel(route.destination) : nullptr;
    }

    // The transfers (run twice with FORCESTALL); false when a source frame could not be written or
    // the host's stop flag cut them short (nothing is then compared).
    bool Transfer() {
        if (m_args.forceStall) {
            if (!RunOnce(0, m_args.forceStall) || *g_StopFlag()) return false;
            m_result = 1;
            m_timedOut = false;
        }
        return RunOnce(m_verbose, 0) && !*g_StopFlag();
    }

    // Reads back and compares the image frames; mask selects the bits of each word that count.
    void Compare(DWORD mask, const char* dumpFormat);

    DWORD GetResult() const { return m_result; }
    long GetErrors() const { return m_errors; }
    bool TimedOut() const { return m_timedOut; }

private:
    bool RunOnce(DWORD verbose, DWORD stall);
    bool BuildChains(DWORD verbose, DWORD stall);
    void Wait(DWORD verbose, DWORD tag, DWORD deadlineMs, DWORD bytes, int transfer);
    void ComparePairs(const BypassFrame& frame, DWORD mask, int& errors, int& printed, bool& failed);
    bool ArrivedWhole(DWORD from) const;

    CKeyerPathTB& m_test;
    BypassRoute m_route;
    const BypassArguments& m_args;
    VideoImage& m_image;
    AlphaImage& m_alpha;
    VideoImage& m_readImage;
    DWORD m_verbose;
    CWexalBoardDevice* m_board = nullptr;
    RegisterPtr m_bar0;
    CWexalDMAChannel* m_sourceChannel = nullptr;
    CWexalDMAChannel* m_destinationChannel = nullptr;
    std::vector<BypassFrame> m_frames;
    DWORD m_totalDwords = 0;
    DWORD m_result = 1;
    bool m_timedOut = false;
    DWORD m_tagReached = 0;
    long m_errors = 0;
};

bool BypassLoopback::BuildChains(DWORD verbose, DWORD stall) {
    m_sourceChannel->Flush();
    m_destinationChannel->Flush();
    m_frames.assign(m_args.count, BypassFrame{});
    m_totalDwords = 0;
    const DWORD n = m_args.count;
    const bool chained = m_args.forceUpdate == 0;
    const DWORD height = m_image.GetHeight();
    const BYTE context = chained ? 15 : 2;
    auto lineLength = [&](BYTE kind) { return kind == kImageFrame ? m_image.GetWidth() : m_alpha.GetWidth() / 2; };

    WexalDCB model;
    m_destinationChannel->GetDCB(1, &model);
    model.GetOpField().Set16bit(1);
    DWORD address = kFirstDestination;
    for (DWORD f = 1; f <= n; ++f) {
        BypassFrame& frame = m_frames[f - 1];
        frame.kind = m_args.kinds[f - 1];
        const DWORD length = lineLength(frame.kind);
        frame.bytes = (height & 0xFFFF) * (length & 0xFFFF) * 4;
        frame.destination =
            MakeFrameDCB(model, f, n, chained, frame.kind == kImageFrame ? 4 : 5, context, length, height - 1, address);
        address += frame.bytes;
        m_destinationChannel->SetDCB(static_cast<int>(f & 15), &frame.destination);
        if (verbose > 1)
            m_test.PrintColorFormat(kColorBlack, "DstImg:  Tag[%d]:  Addr[0x%08X]  [I=%d,W=%d,H=%d]\n", static_cast<int>(f),
                                    frame.destination.GetStartAddress(), static_cast<int>(length),
                                    static_cast<int>(length), static_cast<int>(height - 1));
        m_totalDwords += (frame.kind == kImageFrame ? m_readImage.GetSize() : m_alpha.GetSize()) / 4;
    }

    m_sourceChannel->GetDCB(1, &model);
    model.GetOpField().Set16bit(1);
    for (DWORD f = 1; f <= n; ++f) {
        BypassFrame& frame = m_frames[f - 1];
        DWORD length = lineLength(frame.kind);
        // A first frame of the wrong length throws the two chains out of step until they are flushed.
        if (f == 1 && stall == 1) length = (length & 0xFFFF) >> 1;
        if (f == 1 && stall == 2) length = (length << 1) & 0xFFFF;
        frame.source =
            MakeFrameDCB(model, f, n, chained, frame.kind == kImageFrame ? 2 : 3, context, length, height - 1, address);
        m_sourceChannel->SetDCB(static_cast<int>(f & 15), &frame.source);
        if (verbose > 1)
            m_test.PrintColorFormat(kColorBlack, "SrcImg:  Tag[%d]  Addr[0x%08X]  [I=%d,W=%d,H=%d]\n", static_cast<int>(f),
                                    address, static_cast<int>(length), static_cast<int>(length),
                                    static_cast<int>(height - 1));
        const CImage& data = frame.kind == kImageFrame ? static_cast<const CImage&>(m_image) : m_alpha;
        const DWORD at = address;
        if (!m_test.WriteMemory(data.GetBuffer(), at, data.GetSize() + data.GetOffset())) return false;
        address += frame.bytes;
        m_bar0[kCacheFlush / 4] = 0xFF;
        Sleep(1);
    }
    return true;
}

bool BypassLoopback::RunOnce(DWORD verbose, DWORD stall) {
    if (!BuildChains(verbose, stall)) return false;
    for (int unit : {2, 4, 3, 5}) {
        BufferControlUnit bcu(m_bar0 + (BufferControlUnit::kBase + 16 * unit) / 4);
        bcu.Clear();
        bcu.SetGo(1);
    }
    if (m_args.forceUpdate == 0) {
        m_bar0[m_route.context / 4] = 0xF;
        Sleep(1);
        m_destinationChannel->Trigger(1);
        m_sourceChannel->Trigger(1);
        if (verbose > 1)
            m_test.PrintColorFormat(kColorBlack, "Total destination size in DWORDS = %ld\n", static_cast<long>(m_totalDwords));
        Wait(verbose, m_args.count, m_totalDwords / 20000 + 20, m_totalDwords * 4, 0);
    } else {
        for (DWORD t = 1; t <= m_frames.size() && !m_timedOut && !*g_StopFlag(); ++t) {
            const WexalDCB& d = m_frames[t - 1].destination;
            m_bar0[m_route.context / 4] = 0xF;
            Sleep(1);
            m_destinationChannel->Trigger(static_cast<int>(t));
            m_sourceChannel->Trigger(static_cast<int>(t));
            const DWORD bytes = (d.GetLines() * d.GetLineLength() + d.GetInitialLineLength()) * 4;
            Wait(verbose, t, bytes / 1000 / 20 + 20, bytes, static_cast<int>(t));
        }
    }
    m_board->GetMainRegisters()[1] = 0xFF;
    Sleep(1);
    return true;
}

void BypassLoopback::Wait(DWORD verbose, DWORD tag, DWORD deadlineMs, DWORD bytes, int transfer) {
    // Q2K is the return leg alone; each time-out report names the deadline.
    const FramePairReport style{.inName = "KerzilToWexal", .outName = "WexalToKerzil", .q2kFromOutbound = true,
                                .deadlineReports = true};
    if (WaitForFramePair(m_test, *m_destinationChannel, *m_sourceChannel, tag, deadlineMs, bytes,
                         transfer, verbose > 1, style, &m_tagReached))
        return;
    m_timedOut = true;
    m_result = 0;
    if (verbose > 1) {
        m_test.ReportFrames("Wexal to Kerzil", static_cast<DWORD>(m_route.source), 1);
        m_test.ReportFrames("Kerzil to Wexal", static_cast<DWORD>(m_route.destination), 1);
    }
}

void BypassLoopback::ComparePairs(const BypassFrame& frame, DWORD mask, int& errors, int& printed, bool& failed) {
    const BYTE* sent = m_image.GetBuffer();
    const BYTE* read = m_readImage.GetBuffer();
    const size_t pairs = size_t{m_image.GetWidth()} * m_image.GetHeight() / 2;
    const ULONGLONG mask64 = ULONGLONG{mask} << 32 | mask;
    constexpr size_t kBlock = 256;
    auto word = [](const BYTE* p) {
        DWORD w;
        std::memcpy(&w, p, 4);
        return w;
    };
    // Equal bytes match under any mask: a frame that arrived whole passes at memcmp's speed.
    if (std::memcmp(sent, read, 8 * pairs) == 0) return;
    for (size_t first = 0; first < pairs; first += kBlock) {
        const size_t last = first + kBlock < pairs ? first + kBlock : pairs;
        // Whole blocks that match under the mask are passed over at memory speed.
        if (std::memcmp(sent + 8 * first, read + 8 * first, 8 * (last - first)) == 0) continue;
        ULONGLONG any = 0;
        for (size_t p = first; p < last; ++p) {
            ULONGLONG a, b;
            std::memcpy(&a, sent + 8 * p, 8);
            std::memcpy(&b, read + 8 * p, 8);
            any |= (a ^ b) & mask64;
        }
        if (!any) continue;
        for (size_t p = first; p < last; ++p) {
            const DWORD off = static_cast<DWORD>(8 * p);
            const DWORD e0 = word(sent + off), e1 = word(sent + off + 4), r0 = word(read + off), r1 = word(read + off + 4);
            const int wrong = ((e0 ^ r0) & mask ? 1 : 0) + ((e1 ^ r1) & mask ? 1 : 0);
            if (!wrong) continue;
            errors += wrong;
            m_errors += wrong;
            failed = true;
            m_result = 0;
            if (errors > kMaxErrorsPrinted || printed >= kMaxEntriesPrinted) continue;
            ++printed;
            const DWORD src = frame.source.GetStartAddress(), dst = frame.destination.GetStartAddress();
            m_test.PrintColorFormat(kColorRed,
                                    "Offset[0x%08X]:  SRC[0x%08X]  DST[0x%08X]\nOffset[0x%08X]:  SRC[0x%08X]  DST[0x%08X]\n"
                                    "                 Expected[0x%08X]  Read[0x%08X]  EX xor RD[0x%08X]\n"
                                    "                 Expected[0x%08X]  Read[0x%08X]  EX xor RD[0x%08X]\n",
                                    off, src + off, dst + off, off + 4, src + off + 4, dst + off + 4, e0, r0, e0 ^ r0, e1,
                                    r1, e1 ^ r1);
            // Words hold Cb (or Cr) low and Y high; each sample as its 10-bit value, top 8 bits and low 2 bits.
            auto v10 = [](DWORD half) { return static_cast<unsigned>(half >> 6 & 0x3FF); };
            auto hi8 = [](DWORD half) { return static_cast<unsigned>(half >> 8 & 0xFF); };
            auto lo2 = [](DWORD half) { return static_cast<unsigned>(half >> 6 & 3); };
            const DWORD y0 = e0 >> 16, cb = e0 & 0xFFFF, y1 = e1 >> 16, cr = e1 & 0xFFFF;
            m_test.PrintColorFormat(kColorBlack,
                                    "\tExpected:\tY0[0x%04X = 0x%02X:%01X]  CB[0x%04X = 0x%02X:%01X]\n"
                                    "\tExpected:\tY1[0x%04X = 0x%02X:%01X]  CR[0x%04X = 0x%02X:%01X]\n",
                                    v10(y0), hi8(y0), lo2(y0), v10(cb), hi8(cb), lo2(cb), v10(y1), hi8(y1), lo2(y1),
                                    v10(cr), hi8(cr), lo2(cr));
            const DWORD ry0 = r0 >> 16, rcb = r0 & 0xFFFF, ry1 = r1 >> 16, rcr = r1 & 0xFFFF;
            m_test.PrintColorFormat(kColorBlack,
                                    "\tRead:\t\tY0[0x%08X:%01X]  CB[0x%08X:%01X]\n\tRead:\t\tY1[0x%08X:%01X]  CR[0x%08X:%01X]\n",
                                    hi8(ry0), lo2(ry0), hi8(rcb), lo2(rcb), hi8(ry1), lo2(ry1), hi8(rcr), lo2(rcr));
        }
    }
}

// Whether the frame at from holds every byte of the image sent, looked at in place where the memory
// reads the same however it is read: such a frame passes under any mask without its read-back copy.
// Any other frame, and every frame of a memory whose reads vary, goes through the read-back.
bool BypassLoopback::ArrivedWhole(DWORD from) const {
    auto* sdram = dynamic_cast<CWexalSDRAMSpace*>(m_test.GetBoardIF().GetSDRAMSpace());
    const DWORD bytes = m_readImage.GetSize() + m_readImage.GetOffset();
    const void* cells = sdram ? sdram->GetReadView(from, bytes) : nullptr;
    const size_t compared = size_t{m_image.GetWidth()} * m_image.GetHeight() / 2 * 8;
    return cells && std::memcmp(m_image.GetBuffer(), cells, compared) == 0;
}

void BypassLoopback::Compare(DWORD mask, const char* dumpFormat) {
    if (m_verbose > 1)
        m_test.PrintColorFormat(kColorGreen, "GET:  XSize = %ld YSize = %ld ImageSize = %ld  PadSize = %ld\n",
                                static_cast<long>(m_readImage.GetWidth()), static_cast<long>(m_readImage.GetHeight()),
                                static_cast<long>(m_readImage.GetSize()), static_cast<long>(m_readImage.GetOffset()));
    const bool headers = m_verbose > 1 && m_test.IsEngineering() && !m_test.IsRegression();
    const DWORD last = m_timedOut ? (m_tagReached < m_frames.size() ? m_tagReached : m_frames.size()) : m_frames.size();
    bool lineOpen = false;
    for (DWORD f = 1; f <= last; ++f) {
        const BypassFrame& frame = m_frames[f - 1];
        const char* kind = frame.kind == kImageFrame ? "Image" : "Alpha";
        if (headers) {
            m_test.PrintColorFormat(kColorBlack, "Read/Compare Dst%s #%d:  Src[Tag=%d,Addr=0x%08X]  Dst[Tag=%d,Addr=0x%08X]\n",
                                    kind, static_cast<int>(f), static_cast<int>(frame.source.GetPortField().GetTag()),
                                    frame.source.GetStartAddress(), static_cast<int>(frame.destination.GetPortField().GetTag()),
                                    frame.destination.GetStartAddress());
        } else {
            if (!lineOpen) m_test.PrintColorFormat(kColorBlack, "Read/Compare DST %s:  ", kind);
            lineOpen = true;
            m_test.PrintColorFormat(kColorBlack, "%d ", static_cast<int>(frame.destination.GetPortField().GetTag()));
        }
        if (frame.kind != kImageFrame) continue;
        const DWORD from = frame.destination.GetStartAddress();
        if (ArrivedWhole(from)) continue;
        // A read that failed leaves an old buffer behind, which could well match: the frame fails.
        if (!m_test.ReadMemory(from, m_readImage.GetBuffer(), m_readImage.GetSize() + m_readImage.GetOffset())) {
            m_result = 0;
            lineOpen = false;
            continue;
        }
        int errors = 0, printed = 0;
        bool failed = false;
        ComparePairs(frame, mask, errors, printed, failed);
        if (!failed) continue;
        lineOpen = false;
        CString path;
        path.Format(dumpFormat, static_cast<int>(f));
        CMultiImageFile<VideoImage, VideoImage> dump;
        dump.Save(path, m_image, m_readImage, 0);
    }
    m_test.PrintColor("\n", kColorBlack);
}

// The LOOPBACK bit of a channel, put back as it was whenever the body ends.
class LoopbackBitGuard {
public:
    LoopbackBitGuard(RegisterPtr bar0, DWORD controlTwo, bool set) : m_reg(bar0[controlTwo / 4]) {
        m_saved = m_reg.Read() & kLoopbackBit;
        m_reg = set ? (m_reg.Read() | kLoopbackBit) : (m_reg.Read() & ~kLoopbackBit);
    }
    ~LoopbackBitGuard() { m_reg = (m_reg.Read() & ~kLoopbackBit) | m_saved; }
    LoopbackBitGuard(const LoopbackBitGuard&) = delete;
    LoopbackBitGuard& operator=(const LoopbackBitGuard&) = delete;

private:
    RegisterRef m_reg;
    DWORD m_saved = 0;
};

// A test of the root's child map by name; null when it has none.
CKeyerPathTB* Sibling(CVideoPathTB& test, const char* name) {
    CWexalTreeMapTB* parent = test.GetParent();
    CWexalTreeMapTB::ChildMap* children = parent ? parent->GetChildMap() : nullptr;
    if (!children) return nullptr;
    const auto found = children->find(name);
    return found == children->end() ? nullptr : dynamic_cast<CKeyerPathTB*>(found->second);
}

// Whether the FPGA= file is there for the chip, or for the pair's first chip whose image the second
// may take; false after one red line naming the file looked for. The chip keeps its image then.
bool FpgaFileFound(CTestBase& out, const CString& fpga, CKeyerPathTB& chip, CKeyerPathTB* alternative) {
    CString looked = fpga;
    if (FindNamedFile(looked, chip.GetVPDRevision())) return true;
    CString other = fpga;
    if (alternative && FindNamedFile(other, alternative->GetVPDRevision())) return true;
    out.PrintColor("ERROR:  FPGA file[" + looked + "] not found.\n", kColorRed);
    return false;
}

// The sources and their geometry; false after the message.
bool CheckSources(CTestBase& out, const CWexalBoardIF& board, VideoImage* image, AlphaImage* alpha,
                  const BypassArguments& a) {
    if (!image || !image->GetBuffer()) {
        out.PrintColor("NULL pointer for rtvImage\n", kColorRed);
        return false;
    }
    if (!alpha || !alpha->GetBuffer()) {
        out.PrintColor("NULL pointer for rtvAlpha\n", kColorRed);
        return false;
    }
    const CDevAddrSpace* sdram = board.GetSDRAMSpace();
    return FitsTheBoard(out, *image, *alpha, a, sdram ? sdram->GetSize() : 0);
}

bool MakeReadBack(CTestBase& out, const VideoImage& readImage, const AlphaImage& readAlpha, const VideoImage& image,
                  DWORD verbose) {
    if (!readImage.GetBuffer()) {
        out.PrintColor("NULL pointer for rtvImage\n", kColorRed);
        return false;
    }
    if (!readAlpha.GetBuffer()) {
        out.PrintColor("NULL pointer for rtvAlpha\n", kColorRed);
        return false;
    }
    if (verbose > 1)
        out.PrintColorFormat(kColorBlack, "SET:  XSize = %ld YSize = %ld ImageSize = %ld\n", static_cast<long>(image.GetWidth()),
                             static_cast<long>(image.GetHeight()), static_cast<long>(image.GetSize()));
    return true;
}

// The SDRAM and FPGA clocks on through the controller test; the RAM word must read back as written.
bool RamClocksOn(CKeyerPathTB& test) {
    CJastel* controller = test.GetController();
    if (!controller || !controller->RAMClockEnable(1, 1)) {
        test.PrintColor("ERROR:  Unable to set SulvthSDRAMClock\n", kColorRed);
        return false;
    }
    Sleep(1);
    return true;
}

void PrintDcbLine(CTestBase& out, const BypassRoute& route, DWORD verbose) {
    if (verbose > 1)
        out.PrintColorFormat(kColorBlack, "DCB  Kerzil outbound to Wexal=%d\nDCB  Wexal outbound to Kerzil=%d\n",
                             route.destination, route.source);
}

// Steps shared by both bodies once the chip is ready: transfers, compare, report, clean-up.
DWORD RunBypass(CKeyerPathTB& test, const BypassRoute& route, const BypassArguments& args, VideoImage& image,
                AlphaImage& alpha, VideoImage& readImage, DWORD frames, DWORD verbose, DWORD mask, const char* dumpFormat) {
    const RegisterPtr bar0 = test.GetBoardIF().GetMainBoardRegisters();
    BypassLoopback run(test, route, args, image, alpha, readImage, verbose);
    DWORD result = 0;
    // A source frame that did not reach SDRAM would be compared against whatever lay there before.
    if (run.Transfer()) {
        run.Compare(mask, dumpFormat);
        result = run.GetResult();
        if (run.GetErrors() > 0) {
            test.PrintColorFormat(kColorRed, "Total %ld errors out of %ld\n", run.GetErrors(),
                                  static_cast<long>(image.GetWidth() * image.GetHeight()));
            test.AfterBypass(static_cast<DWORD>(route.channel));
            if (args.crc) test.CheckCRCs(static_cast<DWORD>(route.channel), &image, nullptr, frames);
        } else if (!run.TimedOut() && result) {
            test.PrintColor("Passed\n", kColorGreen);
            test.AfterBypass(static_cast<DWORD>(route.channel));
            test.PrintColor("\n", kColorBlack);
        }
    }
    for (int channel : {route.source, route.destination}) {
        const RegisterRef control = bar0[(kChannelControl + 4 * static_cast<DWORD>(channel)) / 4];
        control = 0x80;
        control = 1;
    }
    return result;
}

}  // namespace

Unpacked::Image::YCbCr_10_6& CKeyerPathTB::ReadBackImage(DWORD width, DWORD height) {
    if (!m_readBackImage || !m_readBackImage->GetBuffer() || m_readBackImage->GetOffset() != 0 ||
        m_readBackImage->GetWidth() != width || m_readBackImage->GetHeight() != height)
        m_readBackImage = std::make_shared<VideoImage>(width, height, 0);
    return *m_readBackImage;
}

Unpacked::Alpha::YCbCr_10_6& CKeyerPathTB::ReadBackAlpha(DWORD width, DWORD height) {
    if (!m_readBackAlpha || !m_readBackAlpha->GetBuffer() || m_readBackAlpha->GetWidth() != width ||
        m_readBackAlpha->GetHeight() != height)
        m_readBackAlpha = std::make_shared<AlphaImage>(width, height);
    return *m_readBackAlpha;
}

DWORD CKerzil::TestBypass(DWORD, CString args, Unpacked::Alpha::YCbCr_10_6* alpha, Unpacked::Image::YCbCr_10_6* image,
                          DWORD frames, DWORD verbose) {
    const CParamString params(args);
    BypassArguments a;
    ReadNoCrc(*this, params, a, verbose);
    if (!ReadChannel(*this, params, a)) return 0;
    PrintColor(a.channel == 1 ? "Test Kerzil Channel A\n" : "Test Kerzil Channel B\n", kColorGreen);
    SetKerzilCRCs(static_cast<DWORD>(a.channel), 0);
    if (!ReadModes(*this, params, a) || !ReadSequence(*this, params, a, frames) || !ReadFpga(*this, params, a)) return 0;

    const RegisterPtr bar0 = m_boardIF.GetMainBoardRegisters();
    if (!bar0 || !dynamic_cast<CWexalBoardDevice*>(m_boardIF.GetDevice())) {
        PrintColor("pBrimola_X is NULL\n", kColorRed);
        return 0;
    }
    if (!CheckSources(*this, m_boardIF, image, alpha, a)) return 0;
    CKeyerPathTB* keyer = Sibling(*this, "CKerzil");
    if (!keyer) keyer = this;
    if (a.fpga.CompareNoCase(keyer->GetCurrentOXD()) != 0) {
        if (!FpgaFileFound(*this, a.fpga, *keyer, nullptr)) return 0;
        CString command;
        command.Format("Program DEVICE=0 FILE=%s", a.fpga.c_str());
        // A failed download leaves the keyer without a known image: nothing is recorded, nothing sent.
        if (ProgramThroughRoot(command, 0) != kRunPassed) {
            PrintColor(" Error: The Kerzil FPGA has not been downloaded.\n", kColorRed);
            return 0;
        }
        keyer->SetCurrentOXD(a.fpga);
    }

    const BypassRoute route = FixedRoute(a.channel);
    const LoopbackBitGuard loopback(bar0, route.controlTwo, true);
    PrintDcbLine(*this, route, verbose);
    VideoImage& readImage = ReadBackImage(image->GetWidth(), image->GetHeight());
    const AlphaImage& readAlpha = ReadBackAlpha(alpha->GetWidth(), alpha->GetHeight());
    if (!MakeReadBack(*this, readImage, readAlpha, *image, verbose) || !RamClocksOn(*this)) return 0;
    if (bar0[kKeyerId / 4] == kUnconfigured) {
        PrintColor(" Error: The Kerzil FPGA has not been downloaded.\n", kColorRed);
        return 0;
    }
    if (bar0[(route.pairWindow + kPairIdOffset) / 4] == kUnconfigured) {
        PrintColor(" Error: The Sulveth FPGA has not been downloaded.\n", kColorRed);
        return 0;
    }
    return RunBypass(*this, route, a, *image, *alpha, readImage, frames, verbose, 0xFFC0FFC0,
                     ".\\Zorv.Kerzil.Bypass.Unpacked.%d");
}

DWORD CSulveth::TestBypass(DWORD, CString args, Unpacked::Alpha::YCbCr_10_6* alpha, Unpacked::Image::YCbCr_10_6* image,
                           DWORD frames, DWORD verbose) {
    const CParamString params(args);
    BypassArguments a;
    ReadNoCrc(*this, params, a, verbose);
    if (!ReadChannel(*this, params, a)) return 0;
    const DWORD channel = static_cast<DWORD>(a.channel);
    const char letter = a.channel == 1 ? 'A' : 'B';
    CKeyerPathTB* chip = Sibling(*this, a.channel == 1 ? "CSulvethA" : "CSulvethB");
    if (!chip && GetChannel() == a.channel) chip = this;
    auto notDownloaded = [&] { PrintColorFormat(kColorDarkRed, "ERROR: Sulveth %c has not been downloaded\n", letter); };
    if (!chip) {
        notDownloaded();
        return 0;
    }
    const CString defaultFile = chip->GetDefaultOXD();
    if (!defaultFile.IsEmpty() && defaultFile != chip->GetCurrentOXD()) {
        CString command;
        command.Format("Program DEVICE=%d FILE=%s", a.channel, defaultFile.c_str());
        if (ProgramThroughRoot(command, 2) != kRunPassed) {
            notDownloaded();
            return 0;
        }
    }
    if (!ReadFpga(*this, params, a)) return 0;
    DWORD devId = 0, revMajor = 0, revMinor = 0;
    GetChipRevision(channel, &devId, &revMajor, &revMinor);
    PrintColorFormat(kColorGreen, "Test Sulveth Channel %c:  DevID[0x%03X]  RevMajor[0x%02X]  RevMinor[0x%03X]\n", letter,
                     devId, revMajor, revMinor);
    SetSulvethCRC(channel, 0);
    SetKerzilCRCs(channel, 0);
    if (!ReadModes(*this, params, a) || !ReadSequence(*this, params, a, frames)) return 0;
    DWORD dst = 0, src = 0;
    RegisterPtr context, keyerWindow, pairWindow, block;
    if (!GetDCBParams(channel, &dst, &src, &context, &keyerWindow, &pairWindow, &block)) {
        PrintColor("ERROR:  GetDCBParams failed\n", kColorRed);
        return 0;
    }
    const RegisterPtr bar0 = m_boardIF.GetMainBoardRegisters();
    if (!dynamic_cast<CWexalBoardDevice*>(m_boardIF.GetDevice())) {
        PrintColor("pBrimola_X is NULL\n", kColorRed);
        return 0;
    }
    if (!CheckSources(*this, m_boardIF, image, alpha, a)) return 0;
    // Compared with the file loaded now, after the default programming above.
    if (a.fpga.CompareNoCase(chip->GetCurrentOXD()) != 0) {
        if (!FpgaFileFound(*this, a.fpga, *chip, a.channel == 2 ? Sibling(*this, "CSulvethA") : nullptr)) return 0;
        CString command;
        command.Format("Program DEVICE=%d FILE=%s", a.channel, a.fpga.c_str());
        if (ProgramThroughRoot(command, channel) != kRunPassed) {
            notDownloaded();
            return 0;
        }
        chip->SetCurrentOXD(a.fpga);
    }

    BypassRoute route = FixedRoute(a.channel);
    route.source = static_cast<int>(src);
    route.destination = static_cast<int>(dst);
    const LoopbackBitGuard loopback(bar0, route.controlTwo, false);
    PrintDcbLine(*this, route, verbose);
    if (!RamClocksOn(*this)) return 0;
    // Passthru through this channel's own keyer block.
    block[kControlTwo / 4] = 0x4000;
    block[(kControlTwo - 4) / 4] = 0xC0000000;
    const DWORD reset = a.channel == 1 ? 1u << 16 : 1u << 17;
    auto pulse = [reset](RegisterRef word) {
        word = word.Read() | reset;
        Sleep(1);
        word = word.Read() & ~reset;
        Sleep(1);
        return word.Read();
    };
    const DWORD keyerDcm = pulse(bar0[kKeyerDcm / 4]);
    if ((keyerDcm & 0x5F000000) != 0x5F000000) {
        PrintColorFormat(kColorBlack, "ERROR:  Kerzil not locked = 0x%08X\n", keyerDcm);
        return 0;
    }
    const DWORD pairDcm = pulse(pairWindow[0x3FD0 / 4]);
    if ((pairDcm & 0x1F000000) != 0x1F000000) {
        PrintColorFormat(kColorRed, "ERROR:  Sulveth not locked = 0x%08X\n", pairDcm);
        return 0;
    }
    pairWindow[0x1FC4 / 4] = 0x16;
    pairWindow[0x27C4 / 4] = 0x16;
    Sleep(1);
    const struct { DWORD offset; const char* pass; } passes[] = {{0x17FC, "1st-Pass"}, {0x27FC, "2nd-Pass"}};
    for (const auto& pass : passes) {
        const DWORD word = pairWindow[pass.offset / 4];
        if ((word & 0x000C0000) != 0x000C0000) {
            PrintColorFormat(kColorRed,
                             "ERROR: Init did NOT complete in time: Sulveth %c %s DDR chips\nExpected[0x000C0000]  "
                             "Received[0x%08X & 0x000C0000 = 0x%08X]\n",
                             letter, pass.pass, word, word & 0x000C0000);
            return 0;
        }
    }
    VideoImage& readImage = ReadBackImage(image->GetWidth(), image->GetHeight());
    const AlphaImage& readAlpha = ReadBackAlpha(alpha->GetWidth(), alpha->GetHeight());
    if (!MakeReadBack(*this, readImage, readAlpha, *image, verbose)) return 0;
    if (bar0[kKeyerId / 4] == kUnconfigured) {
        PrintColor(" Error: The Kerzil FPGA has not been downloaded.\n", kColorRed);
        return 0;
    }
    if (pairWindow[kPairIdOffset / 4] == kUnconfigured) {
        notDownloaded();
        return 0;
    }
    GetChipRevision(channel, &devId, &revMajor, &revMinor);
    // Later revisions of device 4 return only bits 12-6 of each sample.
    const DWORD mask = devId == 4 && revMinor >= 0x9F ? 0x1FC01FC0 : 0xFFC0FFC0;
    return RunBypass(*this, route, a, *image, *alpha, readImage, frames, verbose, mask,
                     ".\\Zorv.Sulveth.Bypass.Unpacked.%d");
}
