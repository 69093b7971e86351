// The DCB display of both board roots: one channel's sixteen DCBs word by word and decoded, and the overview of DCB 0.
#pragma once

#include "devlib/register_window.h"
#include "platform/cstring.h"
#include "platform/types.h"

class CWexalTestBase;

namespace dcbdisplay {

constexpr DWORD kControlBase = 0x58000;  // channel c's control register at + 4c, bit 0 the DCB enable
constexpr DWORD kDCBBase = 0x60000;      // channel c's sixteen DCBs of 32 bytes at + 512c
constexpr DWORD kBCUBase = 0x70000;      // BCU n at + 16n
constexpr DWORD kChannelBytes = 0x200;
constexpr int kChannels = 64;
constexpr int kDCBsPerChannel = 16;

// "Show DCB Info" with the text after the keyword, as the root hands it over: "Channel=<n>" dumps
// channel n (EXPAND=HEX_ONLY, any case, leaves out the decoded blocks); "All DCB0" prints the
// overview when the root offers it. Any other text, a channel outside 0-63 or a board without
// registers prints nothing. Only reads the board; always answers 1.
DWORD ShowDCBInfo(CWexalTestBase& out, RegisterPtr bar0, const CString& text, bool withOverview);

// The name of a Pack value as the OP word holds it.
const char* PackName(DWORD pack);

}  // namespace dcbdisplay
