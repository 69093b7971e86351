// CSorbelinEncoder's bypass round trip: frames through the chip in its bypass context over both DMA chains, timed, not compared.
#include <algorithm>
#include <memory>
#include <new>

#include "codec/chip/sorbelin_encoder.h"
#include "devlib/devices.h"
#include "devlib/dma_channel.h"
#include "devlib/perf_list.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/dcb_list.h"
#include "framework/hw/dma_report.h"
#include "framework/hw/wexal_dcb.h"
#include "platform/clock.h"

namespace {

constexpr DWORD kCacheFlush = 0x40004, kChannelControl = 0x58000, kReturnArea = 0x1000, kMaxBypassBytes = 0x800000;
constexpr int kBypassBcu = 2;

bool ChainDone(const WexalDCB& d, DWORD frames) {
    return d.GetLines() == 0 && d.GetInitialLineLength() == 0 && d.GetPortField().GetTag() == frames;
}

}  // namespace

BOOL CSorbelinEncoder::VideoBypass(DWORD code, const CString& arguments, Image::YCbCr_8bit& image, DWORD frames, DWORD verbose) {
    (void)code;
    (void)arguments;
    const DWORD size = image.GetSize();
    if (size == 0) {
        PrintColor("Buffersize must be greater than zero.\n", kColorRed);
        return FALSE;
    }
    if (size > kMaxBypassBytes) {
        PrintColor("Buffer size must be less than 8MB", kColorRed);
        return FALSE;
    }
    // Each chain has DCBs 1..15: more frames would wait for a tag the chain never shows.
    if (frames < 1 || frames > 15) {
        PrintColor("Number of frames must be between 1 and 15.", kColorRed);
        return FALSE;
    }
    const int chip = GetChipFromName(1);
    if (chip == 1 || chip == 2) {
        if (verbose > 1) PrintColor(chip == 1 ? "Test Sorbelin A\n" : "Test Sorbelin B\n", kColorGreen);
    } else {
        PrintColor("Unrecognized Chip", kColorRed);
        return FALSE;
    }
    const DWORD returnNumber = chip == 1 ? 24 : 25, sendNumber = chip == 1 ? 28 : 29;
    const DWORD forceUpdate = chip == 1 ? 0x88000 : 0x90000;
    const DWORD dwords = size / 4;
    DWORD lineLength = 1024;
    while (lineLength && dwords / lineLength < 4) lineLength /= 2;
    if (lineLength == 0) {
        PrintColor("dwXSizeDst = 0\n.", kColorRed);
        return FALSE;
    }
    const DWORD initial = lineLength + dwords % lineLength, lines = dwords / lineLength - 1;
    if (!InitRegs(1)) {
        PrintColor("InitRegs failed.\n", kColorRed);
        return FALSE;
    }
    if (!SetContext(0, &image)) {
        PrintColor("ERROR:  Unable to set the context\n", kColorRed);
        return FALSE;
    }
    EnableVideoInput();
    if (!SetSDRAMClock(1)) return FALSE;  // its own red line
    Sleep(1);
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    CWexalDMAChannel* back = board ? board->GetDMAChannel(static_cast<int>(returnNumber)) : nullptr;
    CWexalDMAChannel* send = board ? board->GetDMAChannel(static_cast<int>(sendNumber)) : nullptr;
    const RegisterPtr bar0 = m_boardIF.GetRegisters();
    if (!back || !send || !bar0) {
        PrintColor("ERROR:  No DMA channels for the chip\n", kColorRed);
        return FALSE;
    }
    if (verbose >= 2) PrintColorFormat(kColorBlack, "Write %ld { 0x%08X } image bytes pad bytes to src\n", static_cast<long>(size), size);
    WexalDCB zero;
    for (int n = 1; n <= 15; ++n) {
        back->SetDCB(n, &zero);
        send->SetDCB(n, &zero);
    }

    WexalDCB model;
    back->GetDCB(1, &model);
    model.GetOpField().Set16bit(1);
    model.GetOpField().SetBCUPointer(kBypassBcu);
    model.SetStartAddress(size + kReturnArea);
    if (verbose > 1) PrintColorFormat(kColorBlack, "DST [0x%08X]\n", size + kReturnArea);
    model.SetLineLength(static_cast<WORD>(lineLength));
    model.SetInitialLineLength(static_cast<WORD>(initial));
    model.SetLines(static_cast<WORD>(lines));
    DWORD returned = 0;
    for (DCBList it(model, 1, frames), end = DCBList::End(it); it != end; ++it) {
        WexalDCB dcb = *it;
        const int tag = static_cast<int>(dcb.GetPortField().GetTag());
        back->SetDCB(tag, &dcb);
        ClearSDRAM(dcb.GetStartAddress(), size, 0);
        bar0[kCacheFlush / 4] = 0xFF;
        Sleep(1);
        if (verbose > 1)
            PrintColorFormat(kColorBlack, "DST Image:  Tag[%d]:  Addr[0x%08X]  Initial[%d] Length[%d] Lines[%d]\n", tag,
                             dcb.GetStartAddress(), static_cast<int>(dcb.GetInitialLineLength()), static_cast<int>(dcb.GetLineLength()),
                             static_cast<int>(dcb.GetLines()));
        ++returned;
    }

    DWORD pages = size / 4096;
    if ((pages & 0xFFFF) == 0) pages = 1;
    const DWORD sendStart = size + kReturnArea + frames * size;
    send->GetDCB(1, &model);
    model.GetOpField().Set16bit(1);
    model.GetOpField().SetBCUPointer(kBypassBcu);
    model.SetStartAddress(sendStart);
    if (verbose > 1) PrintColorFormat(kColorBlack, "SRC[0x%08X]\n", sendStart);
    model.SetLineLength(1024);
    model.SetInitialLineLength(1024);
    model.SetLines(static_cast<WORD>(pages - 1));
    DWORD sent = 0;
    for (DCBList it(model, 1, frames), end = DCBList::End(it); it != end; ++it) {
        WexalDCB dcb = *it;
        const int tag = static_cast<int>(dcb.GetPortField().GetTag());
        send->SetDCB(tag, &dcb);
        if (verbose > 1)
            PrintColorFormat(kColorBlack, "SRC Image:  Tag[%d]  Address[0x%08X]  Initial[%d] Length[%d] Lines[%d]\n", tag,
                             dcb.GetStartAddress(), static_cast<int>(dcb.GetInitialLineLength()), static_cast<int>(dcb.GetLineLength()),
                             static_cast<int>(dcb.GetLines()));
        std::unique_ptr<WORD[]> words(new (std::nothrow) WORD[size]);
        if (!words) {
            PrintColor("Unable to allocate pui16Data\n", kColorRed);
            return FALSE;
        }
        // One 16-bit sample per image byte, the byte in the sample's upper half.
        const BYTE* pixels = image.GetBuffer();
        for (DWORD i = 0; i < size; ++i) words[i] = static_cast<WORD>(pixels[i] << 8);
        if (!WriteMemory(words.get(), dcb.GetStartAddress(), 2 * size)) return FALSE;
        bar0[kCacheFlush / 4] = 0xFF;
        Sleep(1);
        ++sent;
    }

    BufferControlUnit bcu(bar0 + (BufferControlUnit::kBase + 16 * kBypassBcu) / 4);
    bcu.Clear();
    bcu.SetGo(1);
    bar0[forceUpdate / 4] = 0;
    Sleep(1);
    back->Trigger(1);
    send->Trigger(1);

    const DWORD count = std::max(returned, sent);
    const DWORD deadlineMs = count * dwords / 20000 + 20;
    const DWORD bytes = count * dwords * 4;
    const int kb = static_cast<int>(bytes / 1000);
    CPerformanceList deadline;
    deadline.SetMilliTimeout(deadlineMs, -1);
    WexalDCB dst, src;
    if (verbose > 1) {
        back->GetDCB(0, &dst);
        send->GetDCB(0, &src);
        PrintColorFormat(kColorBlack, "Frame Size Dst: Y=%d; I=%d; L=%d; P=%d.\nFrame Size Src: Y=%d; I=%d; L=%d; P=%d.\n",
                         static_cast<int>(dst.GetLines()), static_cast<int>(dst.GetInitialLineLength()), static_cast<int>(dst.GetLineLength()),
                         static_cast<int>(dst.GetPad()), static_cast<int>(src.GetLines()), static_cast<int>(src.GetInitialLineLength()),
                         static_cast<int>(src.GetLineLength()), static_cast<int>(src.GetPad()));
    }
    Sleep(1);
    LONGLONG frequency = 0, start = 0, now = 0;
    QueryPerformanceFrequency(&frequency);
    if (frequency) QueryPerformanceCounter(&start);
    auto ms = [&](LONGLONG ticks) { return frequency ? ticks * 1000 / frequency : 0; };
    LONGLONG sendMs = 0;
    BOOL result = FALSE;
    for (;;) {
        back->GetDCB(0, &dst);
        send->GetDCB(0, &src);
        QueryPerformanceCounter(&now);
        if (ChainDone(src, frames)) sendMs = ms(now - start);
        if (ChainDone(dst, frames)) {
            result = TRUE;
            break;
        }
        if (deadline.IsTimeout()) break;
    }
    if (result) {
        if (verbose > 1)
            Print(FormatTransferDone(0, sendMs, ms(now - start), bytes, "SorbelinToWexal", dst, "WexalToSorbelin", src));
    } else {
        auto field = [](DWORD v) {
            CString text;
            text.Format(v ? "~*RED*~%2d~*BLACK*~" : "%2d", static_cast<int>(v));
            return text;
        };
        auto status = [&](const char* name, const WexalDCB& d) {
            return CString(" ") + name + " DMA:  Tag=" + field(d.GetPortField().GetTag()) + "  Lines=" + field(d.GetLines()) +
                   "  InitialWidth=" + field(d.GetInitialLineLength()) + "  Width=" + field(d.GetLineLength()) + ".\n";
        };
        CString head;
        head.Format("~*RED*~Error: After %dmsec, timed out waiting for the completion of %d.%3.3dMbytes to DMA.\n~*BLACK*~",
                    static_cast<int>(deadlineMs), kb / 1000, kb % 1000);
        Print(head + status("SorbelinToWexal", dst) + status("WexalToSorbelin", src));
    }
    deadline.Clear();
    if (board) board->GetMainRegisters()[1] = 0xFF;
    Sleep(1);
    ShowStatus();
    // Each chip strobes its own pair of channels.
    bar0[(kChannelControl + 4 * sendNumber) / 4] = 1;
    bar0[(kChannelControl + 4 * returnNumber) / 4] = 1;
    return result;
}
