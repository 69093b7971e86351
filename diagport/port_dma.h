// Pieces the port's DMA diagnostics share: the board's registers, word compares, DCB and BCU set-up.
#pragma once

#include "framework/board_if.h"
#include "platform/types.h"

class CPagedMemory;
class CWexalDMAChannel;
class SCRport;

namespace portdma {

constexpr COLORREF kGreen = 0x00A000;
constexpr const char* kRule = "-------------------------------------------\n";

// Sets, or clears, the bits of the register at the byte offset, leaving its other bits as they read.
inline void SetBits(const RegisterPtr& bar0, DWORD offset, DWORD bits) { bar0[offset / 4] = bar0[offset / 4] | bits; }
inline void ClearBits(const RegisterPtr& bar0, DWORD offset, DWORD bits) { bar0[offset / 4] = bar0[offset / 4] & ~bits; }

// "Testing Brimola...\n" or "Testing Nuxa...\n" from the identity register; false after the dark red
// line for another identity.
bool PrintBoard(SCRport& port, const RegisterPtr& bar0);

// The green dump line of four words at the byte offset.
void PrintDump(SCRport& port, DWORD offset, const DWORD* words);

// Compares count words with expected (null: zeros), adding the mismatches to errors: a mismatch line
// ("Expected: 0x%X, Read: 0x%X") and a dump line every fourth word at verbose 2 and up; below 2 a
// dot every dotEvery words (0: none), dark red once the run has an error. true when this call found none.
bool CompareWords(SCRport& port, const DWORD* expected, const DWORD* read, DWORD count, DWORD verbose, DWORD dotEvery,
                  int& errors);

struct DcbSetting {
    BYTE next;
    WORD tag;
    DWORD sdramAddress;
    WORD lines;
    WORD bcu;
    const CPagedMemory* pageTable;  // null: the PCI address words are left as read
    DWORD is16bit = 1;
    int inputFormat = 1;  // 4:4:4:4
    WORD initialLength = 128, lineLength = 128;
};

// Reads DCB n of the channel, sets every field (the pad 0, the flags the setting does not name clear)
// and loads it back; the bits no field covers keep their value.
void LoadDcb(CWexalDMAChannel& channel, int n, const DcbSetting& setting);

// BCU n running with two lines a slice and three slices.
void SetRunningBcu(const CWexalBoardIF& board, int n);

}  // namespace portdma
