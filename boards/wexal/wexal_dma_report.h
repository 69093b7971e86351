// Texts and checks that CWexal's DMA waits share: completion of a channel's live context and its time-out report.
#pragma once

#include "framework/hw/wexal_dcb.h"
#include "platform/cstring.h"
#include "platform/types.h"

// "%2d" of a DCB field, between red and black mark-up when it is non-zero.
CString MarkedDcbField(DWORD value);
// "Tag=..  Lines=..  InitialWidth=..  Width=...\n" of a live context, each field marked.
CString DcbFieldsText(const WexalDCB& live);

// The live context of a channel has nothing left to move: no lines and no initial line.
inline bool IsDcbDrained(const WexalDCB& live) { return live.GetLines() == 0 && live.GetInitialLineLength() == 0; }
// Drained, and the last DCB loaded (the one that carries tag) is the one that finished.
inline bool IsDcbComplete(const WexalDCB& live, DWORD tag) {
    return IsDcbDrained(live) && live.GetPortField().GetTag() == tag;
}

// One time-out report: the red error for kilobytes K (as "K / 1000.K mod 1000" megabytes) after
// elapsedMs, then label (which follows the black mark-up as given) and the live context's Tag,
// Lines, InitialWidth and Width, each marked when non-zero.
CString DmaTimeoutReport(int elapsedMs, DWORD kilobytes, const char* label, const WexalDCB& live);

// Milliseconds on the performance counter since construction; 0 when there is no counter.
class CDmaStopwatch {
public:
    CDmaStopwatch();
    LONGLONG ElapsedMs() const;

private:
    LONGLONG m_frequency = 0;
    LONGLONG m_start = 0;
};
