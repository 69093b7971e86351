// Texts and checks that CWexal's DMA waits share: completion of a channel's live context and its time-out report.
#include "boards/wexal/wexal_dma_report.h"

#include "platform/clock.h"

CString MarkedDcbField(DWORD value) {
    CString text;
    if (value)
        text.Format("~*RED*~%2d~*BLACK*~", static_cast<int>(value));
    else
        text.Format("%2d", static_cast<int>(value));
    return text;
}

CString DcbFieldsText(const WexalDCB& live) {
    return "Tag=" + MarkedDcbField(live.GetPortField().GetTag()) + "  Lines=" + MarkedDcbField(live.GetLines()) +
           "  InitialWidth=" + MarkedDcbField(live.GetInitialLineLength()) +
           "  Width=" + MarkedDcbField(live.GetLineLength()) + ".\n";
}

CString DmaTimeoutReport(int elapsedMs, DWORD kilobytes, const char* label, const WexalDCB& live) {
    CString text;
    text.Format("~*RED*~\nERROR: After %d milliseconds, timed out waiting for the\n  completion of %d.%3.3d Megabytes to "
                "DMA.\n~*BLACK*~%s  ",
                elapsedMs, static_cast<int>(kilobytes / 1000), static_cast<int>(kilobytes % 1000), label);
    return text + DcbFieldsText(live);
}

CDmaStopwatch::CDmaStopwatch() {
    QueryPerformanceFrequency(&m_frequency);
    if (m_frequency) QueryPerformanceCounter(&m_start);
}

LONGLONG CDmaStopwatch::ElapsedMs() const {
    if (!m_frequency) return 0;
    LONGLONG now = 0;
    QueryPerformanceCounter(&now);
    return (now - m_start) * 1000 / m_frequency;
}
