// CVantrel's transfers: "Over the top" between the two boards of a pair and "Loopback" on one board, with their DMA steps.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <tuple>
#include <utility>
#include <vector>

#include "devlib/devices.h"
#include "devlib/perf_list.h"
#include "framework/arg_number.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/paged_memory.h"
#include "framework/hw/wexal_dcb.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "platform/clock.h"
#include "videopath/vantrel.h"

namespace {

constexpr COLORREF kDarkRed = 0x0000C0;
constexpr COLORREF kBlue = 0xFF0000;

constexpr int kFpgaWord = 0x14 / 4;
constexpr int kRamWord = 0x18 / 4;
constexpr DWORD kLinkLoopBit = 1u << 8;
constexpr DWORD kLoopSwitchWaitMs = 30;
constexpr DWORD kCacheFlushWord = 0x40004 / 4;
constexpr DWORD kDmaErrorStatusWord = 0x58110 / 4;

constexpr DWORD kPageBytes = 0x20000;
constexpr WORD kTag = 0xA5A;
constexpr DWORD kPageRate = 350 * 1048576;
constexpr DWORD kLinkRate = 200 * 1048576;
constexpr DWORD kMinWaitMs = 10;
constexpr DWORD kMask8 = 0xFFFFFFFF;
constexpr DWORD kMask16 = 0xFFF8FFF8;  // 16-bit elements carry bits 15-3 of each half
constexpr int kMaxListedWords = 20;
constexpr DWORD kUploadChannel = 16, kReadBackChannel = 12;

const char* const kClockMessage =
    "~*RED*~~*BACK_WHITE*~%s\nError: Timed out (250msec) waiting for clock.\n~*BLACK*~ ~*BACK_LTYELLOW*~ This error "
    "may indicate that the loopback  \n~*BACK_WHITE*~ ~*BACK_LTYELLOW*~ cable is not in place on Expansion Port %s. "
    "\n~*BACK_WHITE*~";

struct TransferArgs {
    bool srcIsMain = false;
    DWORD srcAddress = 0, dstAddress = 0;
    DWORD seed = 0, incr = 1, size = 0;
    bool is16bit = false, format4444 = false, sequence = false;
};

// "0X%08lX": a number counts only when written with its 0x prefix, and only whole.
bool ReadPrefixedHex(const CString& text, DWORD& value) { return ReadPrefixedWord(text, value); }

// The line geometry the engine wants for bytes: lines below 16384, the first line taking the rest.
// False, the DCB untouched, when the first line would not fit its 16-bit field (transfers of
// 0x70040000 bytes and more): cut, it would move far less than the run then compares.
bool SetLinkGeometry(WexalDCB& dcb, DWORD bytes) {
    const DWORD words = bytes / 4;
    DWORD length = 4096, lines = 0;
    do {
        lines = words / length;
        length += 4096;
    } while (lines > 16383);
    lines = words / length;
    const DWORD initial = words - (lines - 1) * length;
    if (lines == 0 || initial > 0xFFFF || length > 0xFFFF) return false;
    dcb.SetLines(static_cast<WORD>(lines - 1));
    dcb.SetLineLength(static_cast<WORD>(length));
    dcb.SetInitialLineLength(static_cast<WORD>(initial));
    return true;
}

CWexalDMAChannel* Channel(CZorvDevice* device, DWORD channel) {
    auto* board = dynamic_cast<CWexalBoardDevice*>(device);
    return board ? board->GetDMAChannel(static_cast<int>(channel)) : nullptr;
}

long AsLong(DWORD v) { return static_cast<long>(static_cast<LONG>(v)); }

// The boards of one run: the source sends through its port, the destination receives (one board
// for the loopback). The loop bit of each RAM register is put back as found on every way out,
// destination first; the clock enables the run switched on stay.
class LinkBoards {
public:
    LinkBoards(CWexalBoardIF source, CWexalBoardIF destination, bool loopback)
        : m_src(std::move(source)), m_dst(std::move(destination)), m_loopback(loopback) {}
    ~LinkBoards() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            const RegisterRef ram = it->first[kRamWord];
            ram = (ram.Read() & ~kLinkLoopBit) | (it->second & kLinkLoopBit);
            Sleep(kLoopSwitchWaitMs);
        }
    }
    LinkBoards(const LinkBoards&) = delete;
    LinkBoards& operator=(const LinkBoards&) = delete;

    // The loopback sets the loop bit, the board-to-board run clears it where it is set.
    void SetLoopMode(RegisterPtr controller) {
        const RegisterRef ram = controller[kRamWord];
        const DWORD found = ram.Read();
        m_saved.emplace_back(controller, found);
        if (m_loopback) {
            ram = found | kLinkLoopBit;
            Sleep(kLoopSwitchWaitMs);
        } else if (found & kLinkLoopBit) {
            ram = found & ~kLinkLoopBit;
            Sleep(kLoopSwitchWaitMs);
        }
    }

    CWexalBoardIF& Src() { return m_src; }
    CWexalBoardIF& Dst() { return m_loopback ? m_src : m_dst; }

private:
    CWexalBoardIF m_src, m_dst;
    bool m_loopback;
    std::vector<std::pair<RegisterPtr, DWORD>> m_saved;
};

class ProgressBar {
public:
    explicit ProgressBar(int upper) : m_ctrl(GetProgressCtrl()) {
        if (!m_ctrl) return;
        m_ctrl->SetRange32(0, upper);
        m_ctrl->SetPos(0);
        m_ctrl->ShowWindow(SW_SHOW);
    }
    ~ProgressBar() {
        if (m_ctrl) m_ctrl->ShowWindow(SW_HIDE);
    }
    void Pos(DWORD p) {
        if (m_ctrl) m_ctrl->SetPos(static_cast<int>(p));
    }

private:
    CProgressCtrl* m_ctrl;
};

}  // namespace

DWORD CVantrel::Run(CString command) {
    if (!GetParent()) {
        PrintColor("CVantrel:  Parent is NULL\n", kColorRed);
        return kRunFailed;
    }
    static const char* const kOverTheTop = "\"Over the top\"";
    static const char* const kLoopback = "\"Loopback\"";
    if (command.Find(kOverTheTop) == 0)
        return OverTheTop(command.Mid(static_cast<int>(std::strlen(kOverTheTop))).TrimLeft());
    if (command.Find(kLoopback) == 0) return Loopback(command.Mid(static_cast<int>(std::strlen(kLoopback))).TrimLeft());
    return kRunFailed;
}

DWORD CVantrel::OverTheTop(CString arguments) { return RunTransfer(false, arguments); }

DWORD CVantrel::Loopback(CString arguments) { return RunTransfer(true, arguments); }

namespace {

// Starts a PCI page transfer on one of the two channels of its direction: the DCB at sdramAddress
// with the page table at the bus address, as DCB 1 of the flushed channel.
DWORD StartPageDMA(CWexalDMAChannel* dma, DWORD pciLow, DWORD pciHigh, WexalDCB& dcb, DWORD sdramAddress) {
    if (!dma) return kRunFailed;
    dma->Flush();
    dcb.SetStartAddress(sdramAddress);
    dcb.GetPCIAddressField().Set(pciLow, pciHigh);
    dma->SetDCB(1, &dcb);
    dma->Trigger(1);
    return kRunPassed;
}

}  // namespace

DWORD CVantrel::StartDMAToBoard(CZorvDevice* device, DWORD pciLow, DWORD pciHigh, DWORD channel, WexalDCB& dcb,
                                DWORD sdramAddress) {
    return StartPageDMA(channel == 16 || channel == 17 ? Channel(device, channel) : nullptr, pciLow, pciHigh, dcb, sdramAddress);
}

DWORD CVantrel::StartDMAToHost(CZorvDevice* device, DWORD pciLow, DWORD pciHigh, DWORD channel, WexalDCB& dcb,
                               DWORD sdramAddress) {
    return StartPageDMA(channel == 12 || channel == 13 ? Channel(device, channel) : nullptr, pciLow, pciHigh, dcb, sdramAddress);
}

DWORD CVantrel::WaitDMADone(CZorvDevice* device, DWORD channel, const WexalDCB& expected, DWORD, DWORD bytes,
                            DWORD bytesPerSecond) {
    CWexalDMAChannel* dma = Channel(device, channel);
    if (!dma || !bytesPerSecond) return kRunFailed;
    const auto ms = static_cast<DWORD>(static_cast<double>(bytes) * 1000.0 / bytesPerSecond);
    CPerformanceList deadline;
    deadline.SetMilliTimeout(std::max(ms, kMinWaitMs));
    const DWORD tag = expected.GetPortField().GetTag();
    WexalDCB live;
    for (;;) {
        dma->GetDCB(0, &live);
        if (live.GetLines() == 0 && live.GetInitialLineLength() == 0 && live.GetPortField().GetTag() == tag)
            return kRunPassed;
        if (*g_StopFlag()) return kRunStopped;
        if (deadline.IsTimeout()) return kRunFailed;
    }
}

DWORD CVantrel::CompareBuffer(CString& report, const CPagedBuffer& buffer, const DWORD* expected, DWORD bytes,
                              DWORD mask) {
    const DWORD words = bytes / 4;
    if (mask == kMask8 && buffer.Compare(reinterpret_cast<const BYTE*>(expected), words * 4)) return kRunPassed;
    std::vector<DWORD> read(words);
    if (!buffer.CopyOut(reinterpret_cast<BYTE*>(read.data()), static_cast<int>(words * 4))) return kRunFailed;
    int differing = 0;
    for (DWORD i = 0; i < words && differing < kMaxListedWords; ++i) {
        const DWORD x = (read[i] ^ expected[i]) & mask;
        if (!x) continue;
        ++differing;
        report.AppendFormat("Offset[0x%08lX]:  Read[0x%08lX]  Src[0x%08lX]  XOR[0x%08lX]\n", static_cast<unsigned long>(i),
                            static_cast<unsigned long>(read[i] & mask), static_cast<unsigned long>(expected[i] & mask),
                            static_cast<unsigned long>(x));
    }
    return differing ? kRunFailed : kRunPassed;
}

DWORD CVantrel::RunTransfer(bool loopback, const CString& arguments) {
    const CString prefix = loopback ? "CVantrel::Loopback:  " : "CVantrel::OverTheTop:  ";
    auto refuse = [&](COLORREF colour, const char* format, auto... values) {
        CString text = format;
        if constexpr (sizeof...(values) > 0) text.Format(format, values...);
        PrintColor(prefix + text, colour);
        return kRunFailed;
    };

    // Arguments.
    const CParamString params(arguments);
    TransferArgs args;
    CString value;
    if (!loopback) args.srcIsMain = params.GetValue("Src", value) && value == "BRIMOLA";
    if (loopback && params.GetValue("SrcAddress", value) && !ReadPrefixedHex(value, args.srcAddress))
        return refuse(kDarkRed, "No valid SrcAddress parameter\n");
    if (loopback && params.GetValue("DstAddress", value) && !ReadPrefixedHex(value, args.dstAddress))
        return refuse(kDarkRed, "No valid DstAddress parameter\n");
    for (const char* key : {"Seed", "Incr", "Size"}) {
        const ArgNumber read = ReadArgValue(params, key, platform::NumberForm::Prefixed, platform::kUnsigned32Field);
        if (read.state == ArgRead::Refused) return refuse(kColorRed, "%s", read.refusal.c_str());
    }
    if (!params.GetValue("Seed", value)) return refuse(kDarkRed, "No valid Seed parameter\n");
    ReadPrefixedHex(value, args.seed);
    if (!params.GetValue("Incr", value)) return refuse(kDarkRed, "No valid Incr parameter\n");
    ReadPrefixedHex(value, args.incr);
    if (!params.GetValue("Size", value)) return refuse(kDarkRed, "No valid Size parameter\n");
    ReadPrefixedHex(value, args.size);
    if (!params.GetValue("BitsPerPixel", value)) return refuse(kDarkRed, "No valid BitsPerPixel parameter\n");
    if (value != "8" && value != "16") return refuse(kDarkRed, "BitsPerPixel must be either 8 or 16.\n");
    args.is16bit = value == "16";
    if (!params.GetValue("Format", value)) return refuse(kDarkRed, "No valid Format parameter\n");
    if (value == "4:4:4:4") args.format4444 = true;
    else if (value != "4:2:2") refuse(kDarkRed, "Format parameter is not correct\n");
    args.sequence = params.GetValue("Mode", value) && value == "SEQUENCE";
    // Only whole pages are uploaded and read back; anything else would move or check nothing.
    if (args.size < kPageBytes || args.size % kPageBytes)
        return refuse(kDarkRed, "Size[0x%08lX] must be a multiple of 0x20000 (at least 0x20000)\n",
                      static_cast<unsigned long>(args.size));
    if (args.sequence && args.incr == 0) return refuse(kDarkRed, "Mode=Sequence needs an Incr other than 0\n");
    WexalDCB transfer;
    if (!SetLinkGeometry(transfer, args.size))
        return refuse(kDarkRed, "Size[0x%08lX] does not fit the line fields of one transfer DCB\n",
                      static_cast<unsigned long>(args.size));

    // Boards.
    CWexalBoardIF own = m_boardIF;
    const bool ownIsMain = static_cast<bool>(own.GetMainBoardRegisters());
    CWexalBoardIF source, destination;
    if (loopback) {
        if (!own.GetDevice()) return refuse(kColorRed, "No device found\r\n");
        source = own;
    } else {
        CWexalBoardIF partner = MakePartnerBoardIF();
        const bool ownIsSource = ownIsMain == args.srcIsMain && own.GetDevice();
        source = ownIsSource ? own : partner;
        destination = ownIsSource ? partner : own;
        // A board of the wrong kind cannot stand in for the one named.
        if (static_cast<bool>(source.GetMainBoardRegisters()) != args.srcIsMain) source = CWexalBoardIF();
        if (!source.GetDevice()) return refuse(kColorRed, "No SRC device found\r\n");
        if (!destination.GetDevice()) return refuse(kColorRed, "No DST device found\r\n");
    }
    CWexalBoardIF& dstBoard = loopback ? source : destination;
    const DWORD srcBase = loopback ? args.srcAddress : 0, dstBase = loopback ? args.dstAddress : 0;
    for (const auto& [board, base, name] : {std::tuple{&source, srcBase, "SRC"}, std::tuple{&dstBoard, dstBase, "DST"}}) {
        const CDevAddrSpace* sdram = board->GetSDRAMSpace();
        const ULONGLONG memory = sdram ? sdram->GetSize() : 0;
        if (ULONGLONG{base} + args.size > memory)
            return refuse(kDarkRed, "Address[0x%08lX] + Size[0x%08lX] runs past the SDRAM of the %s board\n",
                          static_cast<unsigned long>(base), static_cast<unsigned long>(args.size), name);
    }

    LinkBoards boards(source, destination, loopback);
    CWexalBoardIF& src = boards.Src();
    CWexalBoardIF& dst = boards.Dst();
    boards.SetLoopMode(ControllerBlock(src));
    if (!loopback) boards.SetLoopMode(ControllerBlock(dst));
    EnableClock(src, true);
    if (!loopback) EnableClock(dst, true);

    transfer.GetOpField().Set16bit(args.is16bit ? 1 : 0);
    transfer.GetOpField().SetInputFormat(args.format4444 ? INPUT_FORMAT_4444 : INPUT_FORMAT_422);
    transfer.GetOpField().SetBCUPointer(2);
    transfer.GetPortField().SetTag(kTag);
    WexalDCB srcDcb = transfer, dstDcb = transfer;
    srcDcb.SetStartAddress(srcBase);
    dstDcb.SetStartAddress(dstBase);
    if (loopback) dstDcb.GetOpField().SetBCUPointer(3);
    // Units 2 and 3 on every board of the run: the transfer DCB and the page DCBs made from it
    // name unit 2 on both boards, and the loopback's destination names unit 3.
    for (CWexalBoardIF* board : {&src, &dst}) {
        for (int unit : {2, 3}) {
            BufferControlUnit bcu(*board, unit);
            bcu.Clear();
            bcu.SetGo(1);
        }
    }
    WexalDCB page = transfer;
    page.GetOpField().Set16bit(0);
    page.GetOpField().SetInputFormat(INPUT_FORMAT_422);
    SetLinkGeometry(page, kPageBytes);

    DWORD srcChannel = 0, dstChannel = 0;
    if (GetId() == kCodecPort) srcChannel = 37, dstChannel = 59;
    else if (GetId() == kExpansionPort) srcChannel = 36, dstChannel = 58;
    else return refuse(kColorRed, "Unknown vantrel\r\n");

    if (loopback) {
        if (!IsLoaded(ControllerBlock(src) + kFpgaWord)) return refuse(kColorRed, "Vantrel device not loaded\r\n");
    } else {
        if (!IsLoaded(ControllerBlock(src) + kFpgaWord)) return refuse(kColorRed, "Vantrel on SRC device not loaded\r\n");
        if (!IsLoaded(ControllerBlock(dst) + kFpgaWord)) return refuse(kColorRed, "Vantrel on DST device not loaded\r\n");
    }
    if ((!loopback || MakePartnerBoardIF().GetDevice()) && !IsClockTicking()) {
        CString text;
        text.Format(kClockMessage, prefix.c_str(), GetName().c_str());
        Print(text);
        return kRunFailed;
    }

    CWexalDMAChannel* srcDma = Channel(src.GetDevice(), srcChannel);
    CWexalDMAChannel* dstDma = Channel(dst.GetDevice(), dstChannel);
    if (!srcDma || !dstDma) return refuse(kColorRed, "Unknown vantrel\r\n");
    srcDma->Flush();
    dstDma->Flush();
    for (CWexalBoardIF* board : {&src, &dst}) {
        const RegisterRef status = BoardWindow(*board)[kDmaErrorStatusWord];
        status = status.Read();
    }

    CHostPCDevice* host = GetZorvHardware();
    if (!host) return refuse(kDarkRed, "Call to GetZorvHardware Failed\n");
    std::unique_ptr<CPagedBuffer> buffers[2];
    const char* const bufferNames[2] = {"DmaMemoryWr", "DmaMemoryRd"};
    for (int i = 0; i < 2; ++i) {
        buffers[i].reset(new (std::nothrow) CPagedBuffer(host, kPageBytes, kPageBytes, kPageBytes));
        Drv_Return r{};
        if (buffers[i] && buffers[i]->GetPageTable().GetDrvReturn(&r)) continue;
        return refuse(kDarkRed, "Unable to allocate %s.  DrvReturn[0x%08lX:0x%08lX]\n", bufferNames[i],
                      static_cast<unsigned long>(r.status), static_cast<unsigned long>(r.detail));
    }
    CPagedBuffer& writeBuffer = *buffers[0];
    CPagedBuffer& readBuffer = *buffers[1];

    const DWORD checkBytes = std::min(args.size, kPageBytes);
    // The source words are seed, seed + Incr, ...: each page of them is made where it is needed
    // (to send, and again to compare), so the whole transfer never sits in host memory.
    PrintColor("Allocate host SRC buffer\n", kBlue);
    std::unique_ptr<DWORD[]> pattern(new (std::nothrow) DWORD[kPageBytes / 4]);
    if (!pattern) return refuse(kDarkRed, "Unable to allocate host SRC buffer\n");
    PrintColor("Allocate host DST buffer\n", kBlue);
    std::unique_ptr<DWORD[]> readBack(new (std::nothrow) DWORD[checkBytes / 4]);
    if (!readBack) return refuse(kDarkRed, "Unable to allocate host DST buffer\n");

    const DWORD mask = args.is16bit ? kMask16 : kMask8;
    const DWORD pages = args.size / kPageBytes;
    const DWORD pciLow[2] = {static_cast<DWORD>(writeBuffer.GetPageTableAddress(0)),
                             static_cast<DWORD>(readBuffer.GetPageTableAddress(0))};
    const DWORD pciHigh[2] = {static_cast<DWORD>(writeBuffer.GetPageTableAddress(0) >> 32),
                              static_cast<DWORD>(readBuffer.GetPageTableAddress(0) >> 32)};
    ProgressBar progress(static_cast<int>(2 * pages));
    DWORD result = kRunPassed;
    // The host's stop flag ends the run before each pass and page, and in every wait (result 3).
    auto going = [&] {
        if (result == kRunPassed && *g_StopFlag()) result = kRunStopped;
        return result == kRunPassed;
    };
    // Without Sequence one pass; with it every multiple of Incr that fits 32 bits.
    for (ULONGLONG step = 1; going() && (step == 1 || args.sequence); ++step) {
        const ULONGLONG increment = ULONGLONG{args.incr} * step;
        if (increment > 0xFFFFFFFFull) break;
        const auto inc = static_cast<DWORD>(increment);
        PrintColorFormat(kColorBlack, "Filling host memory buffer Seed[0x%08lX] Incr[0x%08lX]\n",
                         static_cast<unsigned long>(args.seed), static_cast<unsigned long>(inc));
        // Page p's words: seed + Incr x (p x words per page + i), in 32-bit arithmetic.
        auto makePage = [&](DWORD p) {
            // Two vectors of four running words, each stepped by 8 x Incr: two adds per eight words.
            using Quad = DWORD __attribute__((vector_size(16)));
            const DWORD step = inc, first = args.seed + step * (p * (kPageBytes / 4));
            Quad low = {first, first + step, first + 2 * step, first + 3 * step};
            Quad high = low + 4 * step;
            const Quad stride = Quad{} + 8 * step;
            BYTE* const out = reinterpret_cast<BYTE*>(pattern.get());
            for (DWORD at = 0; at < kPageBytes; at += 32) {
                std::memcpy(out + at, &low, 16);
                std::memcpy(out + at + 16, &high, 16);
                low += stride;
                high += stride;
            }
        };

        for (DWORD p = 0; p < pages && going(); ++p) {
            progress.Pos(p);
            makePage(p);
            if (!writeBuffer.CopyIn(reinterpret_cast<const BYTE*>(pattern.get()), kPageBytes)) {
                refuse(kDarkRed, "Unable to copy host buffer to DMA buffer\n");
                result = kRunFailed;
            } else if (StartDMAToBoard(src.GetDevice(), pciLow[0], pciHigh[0], kUploadChannel, page,
                                       srcBase + p * kPageBytes) != kRunPassed) {
                result = kRunFailed;
            } else {
                result = WaitDMADone(src.GetDevice(), kUploadChannel, page, srcBase + p * kPageBytes, args.size,
                                     kPageRate);
            }
        }
        if (result != kRunPassed) break;

        dstDma->SetDCB(1, &dstDcb);
        srcDma->SetDCB(1, &srcDcb);
        srcDma->Trigger(1);
        dstDma->Trigger(1);
        const DWORD sent = WaitDMADone(src.GetDevice(), srcChannel, srcDcb, srcBase, args.size, kLinkRate);
        result = sent == kRunPassed ? WaitDMADone(dst.GetDevice(), dstChannel, dstDcb, dstBase, args.size, kLinkRate)
                                    : sent;
        if (sent == kRunFailed) refuse(kColorRed, "Timeout waiting for this board to DMA to Dst\n");
        else if (result == kRunFailed) refuse(kColorRed, "Timeout waiting for data to arrive from SRC\n");
        srcDma->Flush();
        dstDma->Flush();
        if (result != kRunPassed) break;

        PrintColorFormat(kBlue, "DMA WexalAddr[0x%08lX]  Size[%ld] and compare board data to host\n",
                         static_cast<unsigned long>(srcBase + pages * kPageBytes), AsLong(args.size));
        CString report;
        bool compareFailed = false;
        for (DWORD p = 0; p < pages && going(); ++p) {
            progress.Pos(pages + p);
            readBuffer.Clear();
            const DWORD at = dstBase + p * kPageBytes;
            if (StartDMAToHost(dst.GetDevice(), pciLow[1], pciHigh[1], kReadBackChannel, page, at) != kRunPassed) {
                result = kRunFailed;
                break;
            }
            result = WaitDMADone(dst.GetDevice(), kReadBackChannel, page, at, args.size, kPageRate);
            if (result != kRunPassed) break;
            makePage(p);
            if (CompareBuffer(report, readBuffer, pattern.get(), checkBytes, mask) != kRunPassed) {
                compareFailed = true;
                result = kRunFailed;
            }
        }
        if (result == kRunPassed) {
            PrintColor("DMA_Read compare passed\n", kColorGreen);
        } else if (result == kRunFailed) {
            if (compareFailed) PrintColor(report, kColorRed);
            refuse(kColorRed, "DMA_Read compare failed\n");
        }
        for (CWexalBoardIF* board : {&src, &dst}) {
            BoardWindow(*board)[kCacheFlushWord] = 0xFF;
            Sleep(1);
            if (loopback) break;
        }
        if (result == kRunPassed) continue;
        if (result == kRunStopped) break;

        // A second look through the board's memory window tells a link fault from a read-back fault.
        PrintColor("Compare using slave mode reads\n", kColorBlack);
        if (!ReadMemory(dstBase, readBack.get(), checkBytes, dst.GetSDRAMSpace())) continue;
        makePage(0);
        if (std::memcmp(readBack.get(), pattern.get(), checkBytes) == 0) {
            PrintColor("Slave mode compare passed\n", kColorGreen);
            continue;
        }
        int listed = 0;
        for (DWORD i = 0; i < checkBytes / 4 && listed < kMaxListedWords; ++i) {
            const DWORD x = (readBack[i] ^ pattern[i]) & mask;
            if (!x) continue;
            ++listed;
            PrintColorFormat(kColorRed, "WexalAddress[0x%08lX] Write[0x%08lX]  Read[0x%08lX] XOR[0x%08lX]\n",
                             static_cast<unsigned long>(dstBase + 4 * i), static_cast<unsigned long>(pattern[i] & mask),
                             static_cast<unsigned long>(readBack[i] & mask), static_cast<unsigned long>(x));
        }
        if (listed) refuse(kColorRed, "Slave mode compare failed\n");
        else PrintColor("Slave mode compare passed\n", kColorGreen);
    }
    if (result == kRunStopped) refuse(kColorRed, "Stopped by User\n");
    else if (result != kRunPassed) refuse(kColorRed, "Please check the over the top (board to board) cables\n");
    return result;
}
