// The completion and time-out lines of the frame loopbacks' DMA waits.
#include "framework/hw/dma_report.h"

#include "framework/hw/wexal_dcb.h"

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
