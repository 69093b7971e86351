// The lines the frame loopbacks print about a DMA wait: the transfer that completed and the one that timed out.
#pragma once

#include "platform/cstring.h"
#include "platform/types.h"

class WexalDCB;

// "Transfer took K2Q[...] Q2K[...] milliseconds for the completion of n.nnnMbytes to DMA." (with
// transfer above 0: "Transfer #n:  Took ..."), then the inbound and the outbound channel's status
// DCB (tag, lines, initial width, width) under their names. Times go as their high and low 32-bit
// halves; bytes in thousands, shown as megabytes with three decimals.
CString FormatTransferDone(int transfer, LONGLONG k2qMs, LONGLONG q2kMs, DWORD bytes, const char* inName,
                           const WexalDCB& in, const char* outName, const WexalDCB& out);
// The red time-out report with both status DCBs, each field that is still not 0 in red mark-up.
CString FormatTransferTimeout(int elapsedMs, DWORD bytes, const char* inName, const WexalDCB& in, const char* outName,
                              const WexalDCB& out);
