// CWexal's PCI master DMA wait and the compare of a DMA host buffer with what was written.
#include <algorithm>
#include <memory>
#include <new>

#include "boards/wexal/wexal.h"
#include "boards/wexal/wexal_dma_report.h"
#include "devlib/perf_list.h"
#include "framework/hw/paged_memory.h"
#include "framework/hw/wexal_dcb.h"
#include "framework/result_screen.h"
#include "platform/clock.h"

namespace {

constexpr int kMaxTimeoutReports = 10;
constexpr int kMaxCompareLines = 20;

}  // namespace

DWORD CWexal::PCIMasterDeadlineMs(DWORD size, DWORD rate) {
    if (rate == 0) return kMinDmaDeadlineMs;
    const DWORD ms = static_cast<DWORD>(static_cast<double>(size) / rate * 1000.0);
    // Size / rate alone gives 0 ms for a 0x20000-byte transfer, which a healthy engine misses.
    return std::max(ms, kMinDmaDeadlineMs);
}

DWORD CWexal::WaitPCIMasterDma(DWORD channel, const WexalDCB* expected, DWORD, DWORD size, DWORD rate, DWORD verbose) {
    CWexalDMAChannel* dma = channel < kChannelCount ? GetDMAChannel(static_cast<int>(channel)) : nullptr;
    if (!dma || !expected) {
        PrintColorFormat(kColorRed, "ERROR:  DMA channel %u is not available\n", channel);
        return kRunFailed;
    }
    WexalDCB live;
    dma->GetDCB(0, &live);
    CPerformanceList deadline;
    deadline.SetMilliTimeout(PCIMasterDeadlineMs(size, rate), -1);
    const DWORD kilobytes = size >> 10;
    const CDmaStopwatch stopwatch;
    const DWORD tag = expected->GetPortField().GetTag();
    auto complete = [&live, tag] { return IsDcbComplete(live, tag); };
    for (;;) {
        dma->GetDCB(0, &live);
        if (complete()) {
            const LONGLONG elapsed = stopwatch.ElapsedMs();
            if (verbose > 1) {
                CString text;
                text.Format("Transfer took PCIMasterDma[%ld, %ld] milliseconds for the completion of %d.%3.3dMbytes to "
                            "DMA.\n DMA Channel=%ld:  Tag=%2d  Lines=%2d  InitialWidth=%2d  Width=%2d.\n",
                            static_cast<long>(static_cast<ULONGLONG>(elapsed) >> 32),
                            static_cast<long>(static_cast<ULONGLONG>(elapsed) & 0xFFFFFFFF),
                            static_cast<int>(kilobytes / 1000), static_cast<int>(kilobytes % 1000), static_cast<long>(channel),
                            static_cast<int>(live.GetPortField().GetTag()), static_cast<int>(live.GetLines()),
                            static_cast<int>(live.GetInitialLineLength()), static_cast<int>(live.GetLineLength()));
                Print(text);
            }
            return kRunPassed;
        }
        if (IsStopRequested()) return kRunStopped;
        if (deadline.IsTimeout()) break;
    }
    for (int report = 0; report < kMaxTimeoutReports; ++report) {
        CString label;
        label.Format(" 5) DMA Channel[%ld]:", static_cast<long>(channel));
        const CString text = DmaTimeoutReport(static_cast<int>(stopwatch.ElapsedMs()), kilobytes, label.c_str(), live);
        Print(text);
        if (complete()) break;
        Sleep(1);
        dma->GetDCB(0, &live);
    }
    CString title;
    title.Format("PCIMasterDma Channel=%ld\n", static_cast<long>(channel));
    ReportFrames(title, channel, 1);
    return kRunFailed;
}

DWORD CWexal::CompareDmaBuffer(DWORD channel, DWORD wexalAddress, CPagedBuffer* buffer, const DWORD* written, DWORD size) {
    if (!buffer || !written) return kRunFailed;
    // Only the bytes both sides hold: never past the DMA buffer, nor past what was written.
    const DWORD bytes = std::min(size, buffer->GetSize()) & ~3u;
    if (buffer->Compare(reinterpret_cast<const BYTE*>(written), bytes)) return kRunPassed;
    std::unique_ptr<DWORD[]> copy(new (std::nothrow) DWORD[bytes / 4 + 1]);
    if (!copy || !buffer->CopyOut(reinterpret_cast<BYTE*>(copy.get()), static_cast<int>(bytes))) {
        PrintColorFormat(kColorRed, "Channel[%ld] unable to read the DMA buffer back\n", static_cast<long>(channel));
        return kRunFailed;
    }
    int lines = 0;
    DWORD result = kRunPassed;
    for (DWORD i = 0; i < bytes / 4 && lines < kMaxCompareLines; ++i) {
        if (copy[i] == written[i]) continue;
        PrintColorFormat(kColorRed, "Channel[%ld] WexalAddress[0x%08X] Write[0x%08X]  Read[0x%08X] XOR[0x%08X]\n",
                         static_cast<long>(channel), wexalAddress + 4 * i, written[i], copy[i], written[i] ^ copy[i]);
        result = kRunFailed;
        ++lines;
    }
    // Compare saw a difference that the walk did not (a page that could not be read): still a failure.
    return lines ? result : kRunFailed;
}
