// One DMA channel of a Wexal board: its DCB slots, trigger and flush, reached through the register window.
#pragma once

#include "devlib/register_window.h"

class WexalDCB;  // the library's DCB record; its first eight DWORDs are the DCB's hardware words

// A channel record of the board device (entry n of its 64 is channel n). DCB n of the channel is
// the eight registers at BAR0 + 0x60000 + 0x200 x channel + 0x20 x n, the same storage the
// register window shows; DCB 0 is the live context of a running chain.
class PEX_EXPORT CWexalDMAChannel {
public:
    CWexalDMAChannel() = default;
    CWexalDMAChannel(int channel, CRegisterWindow* window);
    CWexalDMAChannel(const CWexalDMAChannel&) = default;
    CWexalDMAChannel& operator=(const CWexalDMAChannel&) = default;

    DWORD GetChannel() const { return m_channel; }
    // Stops the channel and clears its live context. 1, or 0 without a board.
    BOOL Flush();
    // Loads / reads words 0-7 of DCB n (0-15). 1 on success; 0 for another n, a null record or no board.
    // The WexalDCB forms read or fill the record's first eight DWORDs.
    BOOL SetDCB(int n, const WexalDCB* dcb);
    BOOL GetDCB(int n, WexalDCB* dcb);
    BOOL SetDCBWords(int n, const DWORD* words);
    BOOL GetDCBWords(int n, DWORD* words);
    // Writes value to the channel's trigger register: k (1-15) starts the loaded chain at DCB k.
    void Trigger(int value);
    // The channel's control word, which the codec tests write 1 to: its trigger register, so 1
    // starts the loaded chain at DCB 1. Reads and writes nothing without a board.
    RegisterRef GetControlWord() const { return RegisterRef(m_window, m_triggerOffset); }

    static constexpr DWORD kDcbBase = 0x60000, kTriggerBase = 0x58200, kFlushBase = 0x58400;

private:
    DWORD m_channel = 0;
    CRegisterWindow* m_window = nullptr;
    DWORD m_dcbOffset = 0;
    DWORD m_flushOffset = 0;
    [[maybe_unused]] DWORD m_reserved = 0;  // layout only
    DWORD m_triggerOffset = 0;
};
