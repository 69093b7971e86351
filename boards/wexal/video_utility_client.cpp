// CWexal::VideoUtilityClient: an SDRAM-to-SDRAM transfer through the video utility channels, started and drained.
#include "boards/wexal/wexal.h"
#include "boards/wexal/wexal_dma_report.h"
#include "devlib/perf_list.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/wexal_dcb.h"
#include "framework/result_screen.h"
#include "platform/clock.h"

namespace {

// Twice the transfer at 600 MiB/s.
constexpr double kDrainBytesPerSecond = 629145600.0;
constexpr DWORD kMaxField = 0xFFFF;

}  // namespace

CWexal::VideoUtilityClient::Geometry CWexal::VideoUtilityClient::CalcGeometry(DWORD size) {
    Geometry g;
    const DWORD d = size / 4;
    if (d == 0) return g;
    if (size >= 0x4000) {
        DWORD lineLength = 4096, lines = 0;
        do {
            lines = d / lineLength;
            lineLength += 4096;
        } while (lines > 16383);
        g.lineLength = lineLength;
        g.lines = d / lineLength;
        if (g.lines) g.initial = d - (g.lines - 1) * lineLength;
    }
    // Sizes whose long lines give no whole line (0x4000 to 0x7FFF bytes) take lines of 1024, and
    // below 4096 bytes the whole transfer is the one initial line.
    if (g.lines == 0) {
        g.lineLength = 1024;
        g.lines = d >> 10;
        g.initial = g.lines ? d - 1024 * g.lines + 1024 : d;
        if (g.lines == 0) g.lines = 1;
    }
    g.valid = g.lineLength <= kMaxField && g.initial <= kMaxField && g.lines - 1 <= kMaxField;
    return g;
}

DWORD CWexal::VideoUtilityClient::DrainTimeoutMs(DWORD size) {
    const DWORD ms = static_cast<DWORD>(2.0 * size * 1000.0 / kDrainBytesPerSecond);
    return ms < kMinDmaDeadlineMs ? kMinDmaDeadlineMs : ms;
}

CWexal::VideoUtilityClient::VideoUtilityClient(CWexal* owner) : m_owner(owner) {
    if (owner) m_registers = owner->GetBar0();
}

CWexal::VideoUtilityClient::~VideoUtilityClient() { WaitForCompletion(); }

bool CWexal::VideoUtilityClient::StartTransfer(DWORD inAddress, DWORD outAddress, DWORD size, BYTE loop) {
    CWexalDMAChannel* in = m_owner ? m_owner->GetDMAChannel(kVutilIn) : nullptr;
    CWexalDMAChannel* out = m_owner ? m_owner->GetDMAChannel(kVutilOut) : nullptr;
    if (!in || !out || !m_registers) {
        if (m_owner) m_owner->PrintColor("ERROR:  VideoUtilityClient has no board\n", kColorRed);
        return false;
    }
    in->Flush();
    out->Flush();
    m_size = 0;
    m_busy = FALSE;
    const Geometry g = CalcGeometry(size);
    if (!g.valid) {
        m_owner->PrintColorFormat(kColorRed, "ERROR:  VideoUtilityClient cannot move %u bytes in one DCB\n", size);
        return false;
    }
    WexalDCB dcb;
    WexalDCBOp& op = dcb.GetOpField();
    op.SetNext(loop == 1 ? 1 : 0);
    op.SetBCUPointer(kVutilBCU);
    dcb.GetPortField().SetTag(0x111);
    dcb.SetLines(static_cast<WORD>(g.lines - 1));
    dcb.SetInitialLineLength(static_cast<WORD>(g.initial));
    dcb.SetLineLength(static_cast<WORD>(g.lineLength));
    WexalDCB inCopy(dcb), outCopy(dcb);
    inCopy.SetStartAddress(inAddress);
    outCopy.SetStartAddress(outAddress);

    BufferControlUnit bcu(m_registers + (BufferControlUnit::kBase + 16 * kVutilBCU) / 4);
    bcu.Clear();
    bcu.SetGo(1);
    in->SetDCB(1, &inCopy);
    out->SetDCB(1, &outCopy);
    out->Trigger(1);
    in->Trigger(1);
    m_size = size;
    m_busy = TRUE;
    return true;
}

DWORD CWexal::VideoUtilityClient::WaitForCompletion() {
    if (!m_busy || m_size == 0) return kRunPassed;
    CWexalDMAChannel* in = m_owner->GetDMAChannel(kVutilIn);
    CWexalDMAChannel* out = m_owner->GetDMAChannel(kVutilOut);
    if (!in || !out) {
        m_size = 0;
        m_busy = FALSE;
        return kRunFailed;
    }
    // Ending the loop lets the pass in progress finish.
    WexalDCB inDcb, outDcb;
    in->GetDCB(1, &inDcb);
    out->GetDCB(1, &outDcb);
    inDcb.GetOpField().SetNext(0);
    outDcb.GetOpField().SetNext(0);
    out->SetDCB(1, &outDcb);
    in->SetDCB(1, &inDcb);

    DWORD result = kRunPassed;
    if (WaitForChannel(out, "VideoUtilT2M:") != kRunPassed) result = kRunFailed;
    if (WaitForChannel(in, "VideoUtilM2T:") != kRunPassed) result = kRunFailed;
    in->Flush();
    out->Flush();
    m_size = 0;
    m_busy = FALSE;
    return result;
}

DWORD CWexal::VideoUtilityClient::WaitForChannel(CWexalDMAChannel* channel, const char* label) {
    CPerformanceList deadline;
    deadline.SetMilliTimeout(DrainTimeoutMs(m_size), -1);
    const CDmaStopwatch stopwatch;
    WexalDCB live;
    for (;;) {
        channel->GetDCB(0, &live);
        if (IsDcbDrained(live)) return kRunPassed;
        if (deadline.IsTimeout()) break;
    }
    m_owner->Print("\n");
    const CString marked = CString(" ") + label;
    for (int report = 0; report < 10; ++report) {
        m_owner->Print(DmaTimeoutReport(static_cast<int>(stopwatch.ElapsedMs()), m_size >> 10, marked.c_str(), live));
        if (IsDcbDrained(live)) break;
        Sleep(1);
        channel->GetDCB(0, &live);
    }
    return kRunFailed;
}
