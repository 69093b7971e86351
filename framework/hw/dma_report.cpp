// The frame loopbacks' wait for a channel pair: the poll against its deadline, the completion and time-out lines.
#include "framework/hw/dma_report.h"

#include "devlib/dma_channel.h"
#include "devlib/perf_list.h"
#include "framework/hw/wexal_dcb.h"
#include "framework/test_base.h"
#include "platform/clock.h"

CString FormatTransferDone(int transfer, LONGLONG k2qMs, LONGLONG q2kMs, DWORD bytes, const char* inName,
                           const WexalDCB& in, const char* outName, const WexalDCB& out) {
    CString head = "Transfer took ";
    if (transfer) head.Format("Transfer #%d:  Took ", transfer);
    const int kb = static_cast<int>(bytes / 1000);
    CString text;
    text.Format("%sK2Q[%ld, %ld] Q2K[%ld, %ld] milliseconds for the completion of %d.%3.3dMbytes to DMA.\n"
                " %s DMA:  Tag=%2d  Lines=%2d  InitialWidth=%2d  Width=%2d.\n"
                " %s DMA:  Tag=%2d  Lines=%2d  InitialWidth=%2d  Width=%2d.\n",
                head.c_str(), static_cast<long>(k2qMs >> 32), static_cast<long>(k2qMs & 0xFFFFFFFF),
                static_cast<long>(q2kMs >> 32), static_cast<long>(q2kMs & 0xFFFFFFFF), kb / 1000, kb % 1000, inName,
                static_cast<int>(in.GetPortField().GetTag()), static_cast<int>(in.GetLines()),
                static_cast<int>(in.GetInitialLineLength()), static_cast<int>(in.GetLineLength()), outName,
                static_cast<int>(out.GetPortField().GetTag()), static_cast<int>(out.GetLines()),
                static_cast<int>(out.GetInitialLineLength()), static_cast<int>(out.GetLineLength()));
    return text;
}

CString FormatTransferTimeout(int elapsedMs, DWORD bytes, const char* inName, const WexalDCB& in, const char* outName,
                              const WexalDCB& out) {
    // Counts that are still running stand out in red.
    auto field = [](DWORD v) {
        CString text;
        text.Format(v ? "~*RED*~%2d~*BLACK*~" : "%2d", static_cast<int>(v));
        return text;
    };
    auto status = [&](const char* name, const WexalDCB& d) {
        return CString(" ") + name + " DMA:  Tag=" + field(d.GetPortField().GetTag()) + "  Lines=" + field(d.GetLines()) +
               "  InitialWidth=" + field(d.GetInitialLineLength()) + "  Width=" + field(d.GetLineLength()) + ".\n";
    };
    const int kb = static_cast<int>(bytes / 1000);
    CString head;
    head.Format("~*RED*~\nERROR: After %d milliseconds, timed out waiting for the\n  completion of %d.%3.3d Megabytes to "
                "DMA.\n~*BLACK*~",
                elapsedMs, kb / 1000, kb % 1000);
    return head + status(inName, in) + status(outName, out) + "\n";
}

bool WaitForFramePair(CTestBase& test, CWexalDMAChannel& in, CWexalDMAChannel& out, DWORD tag, DWORD deadlineMs,
                      DWORD bytes, int transfer, bool report, const FramePairReport& style, DWORD* tagReached) {
    constexpr int kTimeoutReports = 10;
    WexalDCB dst, src;
    in.GetDCB(0, &dst);
    out.GetDCB(0, &src);
    CPerformanceList deadline;
    deadline.SetMilliTimeout(deadlineMs, -1);
    if (report)
        test.PrintColorFormat(0, "Frame Size Dst: Y=%d; I=%d; L=%d; P=%d.\nFrame Size Src: Y=%d; I=%d; L=%d; P=%d.\n",
                              static_cast<int>(dst.GetLines()), static_cast<int>(dst.GetInitialLineLength()),
                              static_cast<int>(dst.GetLineLength()), static_cast<int>(dst.GetPad()),
                              static_cast<int>(src.GetLines()), static_cast<int>(src.GetInitialLineLength()),
                              static_cast<int>(src.GetLineLength()), static_cast<int>(src.GetPad()));
    Sleep(1);
    LONGLONG frequency = 0, start = 0, now = 0;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    LONGLONG outDone = start;
    auto done = [tag](const WexalDCB& d) {
        return d.GetLines() == 0 && d.GetInitialLineLength() == 0 && d.GetPortField().GetTag() == (tag & 15);
    };
    // A counter without a frequency gives times of 0.
    auto ms = [&](LONGLONG ticks) { return frequency ? ticks * 1000 / frequency : 0; };
    for (;;) {
        in.GetDCB(0, &dst);
        out.GetDCB(0, &src);
        QueryPerformanceCounter(&now);
        if (done(src)) outDone = now;
        if (done(dst)) {
            if (report)
                test.Print(FormatTransferDone(transfer, ms(outDone - start), ms(now - (style.q2kFromOutbound ? outDone : start)),
                                              bytes, style.inName, dst, style.outName, src));
            return true;
        }
        if (deadline.IsTimeout()) break;
    }
    *tagReached = dst.GetPortField().GetTag();
    if (report) test.PrintColor("\n", 0);
    for (int i = 0; i < kTimeoutReports; ++i) {
        if (style.deadlineReports) {
            Sleep(1);
            if (!report) continue;
            in.GetDCB(0, &dst);
            out.GetDCB(0, &src);
            test.Print(FormatTransferTimeout(static_cast<int>(deadlineMs), bytes, style.inName, dst, style.outName, src));
            continue;
        }
        if (report) {
            QueryPerformanceCounter(&now);
            test.Print(FormatTransferTimeout(static_cast<int>(ms(now - start)), bytes, style.inName, dst, style.outName, src));
        }
        Sleep(1);
        in.GetDCB(0, &dst);
        out.GetDCB(0, &src);
    }
    return false;
}
