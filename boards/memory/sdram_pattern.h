// CSDRAM_QD_blockWR ("RAMblock"): 512-byte SDRAM blocks written through both windows and read back.
#pragma once

#include "framework/tree_map_tb.h"
#include "platform/cstring.h"
#include "platform/types.h"

// A 512-byte block pattern (128 little-endian words): walking ones and zeros, a fill word, and
// words 96-107 that name the block (marker words, the range start and the block's address).
class CSDRAM_Pattern : public CWexalTreeMapTB {
public:
    static constexpr int kBlockWords = 128;
    static constexpr DWORD kBlockBytes = 512;
    static constexpr DWORD kMarker = 0xBAD00000;

    CSDRAM_Pattern(CString name, DWORD fill);

    virtual void SetParent(CWexalTreeMapTB* parent);
    virtual CWexalTreeMapTB* GetParent();

    // Rewrites words 96-107 for the block at blockAddress of a range starting at rangeStart;
    // marked puts 0xBAD0xxxx (the block's address bits 8-23) into words 96-99, else 0.
    void SetBlockWords(DWORD blockAddress, DWORD rangeStart, BOOL marked);
    const DWORD* GetPattern() const { return m_pattern; }

protected:
    CWexalTreeMapTB* m_parent = nullptr;
    DWORD m_pattern[kBlockWords];
};

class CSDRAM_QD_blockWR : public CSDRAM_Pattern {
public:
    static constexpr DWORD kFillWord = 0x77777777;
    static constexpr DWORD kAlignMask = 0x3FFFFE00;

    explicit CSDRAM_QD_blockWR(CString name);

    // "addr" or "addr1-addr2" (hexadecimal), after an optional command word: 1 passed, 2
    // differences or no SDRAM window, 3 stopped by the host.
    DWORD Run(CString arguments) override;
    void ShowHelp() override;

    // The blocks a range asks for: first and last block address (inclusive, 512-byte aligned) and
    // the range's start before its alignment (words 100-103 of every block).
    static void AlignRange(ULONGLONG from, ULONGLONG to, DWORD& first, DWORD& last, DWORD& rangeStart);

private:
    // Writes every block of [first, last] through the window; 0 no pointer, 1 done, 3 stopped.
    DWORD WriteBlocks(int window, DWORD first, DWORD last, DWORD rangeStart, BOOL marked);
};
