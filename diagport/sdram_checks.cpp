// SCRport: the SDRAM read-back checks the DMA diagnostics end with, and their shared scratch buffers.
#include <algorithm>
#include <cstring>

#include "diagport/port_colours.h"
#include "diagport/scr_port.h"
#include "framework/hw/paged_memory.h"

DWORD g_VerifyBuffer[kScratchWords];
DWORD g_VerifyBlockBuffer[kScratchWords];
DWORD g_PatternBuffer[kScratchWords];
DWORD g_ReadBackBuffer[kScratchWords];

namespace {

constexpr DWORD kMaxBytes = kScratchWords * 4;
constexpr DWORD kMaxMismatchLines = 20;

// Reads byteCount bytes at address into buffer (zeroed first) and compares them with expected:
// mismatch lines, dump lines at verbose 2 and up, dots below. A failed read has already printed
// its own message; it counts as a mismatch, since a zeroed buffer could otherwise match.
DWORD CompareWithSDRAM(SCRport& port, DWORD* buffer, const DWORD* expected, DWORD address, DWORD byteCount, DWORD verbose) {
    if (byteCount > kMaxBytes) {
        port.PrintColor(FormatString("Passed Buffer Size too big. Can't be larger than 0x%X\n", kMaxBytes), kColorDarkRed);
        return 1;
    }
    std::memset(buffer, 0, byteCount);
    const bool read = port.ReadMemory(address, buffer, byteCount);
    const DWORD n = byteCount / 4;
    DWORD mismatches = 0;
    for (DWORD i = 0; i < n; ++i) {
        if (!expected || expected[i] != buffer[i]) {
            if (mismatches == kMaxMismatchLines) break;
            port.PrintColor(FormatString("SDRAM Addr: 0x%X Expected: 0x%X, Read: 0x%X\n", address + 4 * i,
                                         expected ? expected[i] : 0u, buffer[i]),
                            kColorDarkRed);
            ++mismatches;
        }
        // The dump line shows four words of the buffer even where fewer were compared.
        if (i % 4 == 0 && verbose >= 2)
            port.PrintColor(FormatString("0x%08X: 0x%08X 0x%08X 0x%08X 0x%08X\n", address + 4 * i, buffer[i],
                                         i + 1 < kScratchWords ? buffer[i + 1] : 0u, i + 2 < kScratchWords ? buffer[i + 2] : 0u,
                                         i + 3 < kScratchWords ? buffer[i + 3] : 0u),
                            kColorGreen);
        if (i % 256 == 0 && verbose < 2) port.PrintColor(".", kColorBlack);
    }
    if (verbose < 2) port.PrintColor(".\n", kColorBlack);
    if (!read && mismatches == 0) mismatches = 1;
    return mismatches;
}

}  // namespace

DWORD SCRport::VerifySDRAM(const DWORD* expected, DWORD sdramAddress, DWORD byteCount, DWORD verbose) {
    return CompareWithSDRAM(*this, g_VerifyBuffer, expected, sdramAddress, byteCount, verbose);
}

DWORD SCRport::VerifySDRAMBlock(const DWORD* expected, DWORD sdramAddress, DWORD byteCount, DWORD verbose) {
    return CompareWithSDRAM(*this, g_VerifyBlockBuffer, expected, sdramAddress, byteCount, verbose);
}

DWORD SCRport::VerifySDRAMHost(const CPagedMemory& block, DWORD sdramAddress, DWORD verbose) {
    if (!block.GetAddress()) {
        PrintColor("Host memory block is not allocated\n", kColorDarkRed);
        return 1;
    }
    return VerifySDRAMBlock(block.GetAddress(), sdramAddress, block.GetSize(), verbose);
}

DWORD SCRport::VerifySDRAMCount(DWORD base, DWORD sdramAddress, DWORD verbose) {
    constexpr DWORD kWords = 256;
    std::fill(g_ReadBackBuffer, g_ReadBackBuffer + kWords, 0u);
    const bool read = ReadMemory(sdramAddress, g_ReadBackBuffer, kWords * 4);
    for (DWORD i = 0; i < kWords; ++i) g_PatternBuffer[i] = base + 1 + i;
    DWORD mismatches = 0;
    for (DWORD i = 0; i < kWords; ++i) {
        if (g_PatternBuffer[i] != g_ReadBackBuffer[i]) {
            if (mismatches == kMaxMismatchLines) break;
            PrintColor(FormatString("Expected: 0x%X, Read: 0x%X\n", g_PatternBuffer[i], g_ReadBackBuffer[i]), kColorDarkRed);
            ++mismatches;
        }
        if (i % 4 == 0 && verbose >= 2)
            PrintColor(FormatString("0x%08X: 0x%08X 0x%08X 0x%08X 0x%08X\n", sdramAddress + 4 * i, g_ReadBackBuffer[i],
                                    g_ReadBackBuffer[i + 1], g_ReadBackBuffer[i + 2], g_ReadBackBuffer[i + 3]),
                       kColorGreen);
    }
    if (!read && mismatches == 0) mismatches = 1;
    return mismatches;
}
