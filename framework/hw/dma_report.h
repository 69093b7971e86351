// The frame loopbacks' wait for a pair of DMA channels (one sending frames out, one taking them back) and the lines it prints.
#pragma once

#include "platform/cstring.h"
#include "platform/types.h"

class CTestBase;
class CWexalDMAChannel;
class WexalDCB;

// How a family's frame-pair wait words and times its reports.
struct FramePairReport {
    const char* inName;   // the inbound channel in the report lines ("NulkToWexal")
    const char* outName;  // the outbound one ("WexalToNulk")
    // Q2K counts from the outbound side's completion instead of from the start.
    bool q2kFromOutbound = false;
    // The time-out reports give the deadline instead of the time elapsed, and each shows both
    // channels 1 ms after the one before (the first 1 ms after the deadline); without the reports
    // the channels are not read again.
    bool deadlineReports = false;
};

// Polls the status DCBs (DCB 0) of both channels without sleeping until the inbound one shows lines
// 0, initial line length 0 and tag (its low four bits), or deadlineMs passes on the performance
// counter. With report it prints the frame sizes first and then the completion line or the
// time-out reports (ten, 1 ms apart); transfer above 0 numbers the completion line. Answers true
// when the inbound side finished; else *tagReached is the tag its status showed at the deadline.
bool WaitForFramePair(CTestBase& test, CWexalDMAChannel& in, CWexalDMAChannel& out, DWORD tag, DWORD deadlineMs,
                      DWORD bytes, int transfer, bool report, const FramePairReport& style, DWORD* tagReached);

// "Transfer took K2Q[...] Q2K[...] milliseconds for the completion of n.nnnMbytes to DMA." (with
// transfer above 0: "Transfer #n:  Took ..."), then the inbound and the outbound channel's status
// DCB (tag, lines, initial width, width) under their names. Times go as their high and low 32-bit
// halves; bytes in thousands, shown as megabytes with three decimals.
CString FormatTransferDone(int transfer, LONGLONG k2qMs, LONGLONG q2kMs, DWORD bytes, const char* inName,
                           const WexalDCB& in, const char* outName, const WexalDCB& out);
// The red time-out report with both status DCBs, each field that is still not 0 in red mark-up.
CString FormatTransferTimeout(int elapsedMs, DWORD bytes, const char* inName, const WexalDCB& in, const char* outName,
                              const WexalDCB& out);
