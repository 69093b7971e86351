// CDremolun: the codec board's host-port bridge, through which every DSP and codec chip register is reached.
#pragma once

#include "codec/dsp/board_member.h"
#include "devlib/register_window.h"

// The bridge's register block starts at BAR0 0x10000 of the codec board. Offsets from its base:
// 0x48 identification (bits 31-20 device id 0x110, 19-12 major, 11-0 minor revision); DSP block n
// (1 chip A's DSP, 2 chip B's) at 0x100 x n: +0x00 control (bit 3 ready), +0x04 address, +0x08
// fixed data (the word at the address), +0x0C auto-increment data (the address moves on by 4),
// +0x10 mailbox doorbell. Every access waits for the ready bit before it and after it: at most
// kReadyPolls polls, sleeping 1 ms after each that finds the bridge busy.
class CDremolun : public CNuxaBoardMember {
public:
    static constexpr DWORD kDeviceId = 0x110;
    static constexpr DWORD kIdOffset = 0x48, kBlockStride = 0x100;
    static constexpr DWORD kControl = 0x0, kAddress = 0x4, kDataFixed = 0x8, kDataAuto = 0xC, kDoorbell = 0x10;
    static constexpr DWORD kReady = 8;
    static constexpr int kReadyPolls = 100;

    // The two unused arguments stand where the board's older constructor took its mapping.
    CDremolun(void* unused1, void* unused2, CString name);


    // The bridge's register block (the codec board's BAR0 + 0x10000); a null pointer leaves the
    // bridge without a window, when every access does nothing and reads answer 0.
    void SetRegisterBase(RegisterPtr base) { m_base = base; }
    RegisterPtr GetRegisterBase() const { return m_base; }
    // Selects DSP block 1 or 2; any other value leaves no block selected.
    void SetDSPBlock(int block) { m_block = block == 1 || block == 2 ? block : 0; }
    int GetDSPBlock() const { return m_block; }

    // Writes one 32-bit word at a chip or DSP address of the selected block. A wait that runs out
    // prints its red line (loc 13, 14, 15 for the three waits) and abandons the rest; the caller
    // learns nothing of it. Nothing without a window or a block.
    virtual void WriteDataFixed(DWORD address, DWORD data);
    // Reads one word; a wait that runs out prints its red line (loc 18, 19, 20) and answers 0, as
    // does a bridge without a window or a block.
    virtual DWORD ReadDataFixed(DWORD address);
    // Writes count words from address on through the auto-increment port: TRUE when every wait
    // held (after a time-out a red line and FALSE).
    virtual BOOL WriteDataAuto(DWORD address, const DWORD* data, DWORD count);
    // Reads count words from address on; FALSE after a red line when a wait runs out.
    virtual BOOL ReadDataAuto(DWORD address, DWORD* data, DWORD count);
    // Rings the selected block's mailbox doorbell after a ready wait; FALSE when it ran out.
    virtual BOOL RingDoorbell();
    // The identification register; 0 without a window.
    DWORD ReadIdentification() const;
    // Whether the identification register names this bridge (device id 0x110), with its revision.
    BOOL CheckIdentification(DWORD& major, DWORD& minor) const;

private:
    // Waits for the ready bit: TRUE when it came within kReadyPolls polls.
    BOOL WaitReady();
    // Moves count words through the auto-increment port from address on, step(i) moving word i after
    // its ready wait; FALSE after the caller's red time-out line.
    template <class Step>
    BOOL AutoRun(const char* caller, DWORD address, DWORD count, Step step);
    // Prints the caller's red time-out line for the word at address; answers FALSE.
    BOOL AutoTimeout(const char* caller, DWORD address);
    RegisterRef Reg(DWORD offset) const { return m_base[(kBlockStride * static_cast<DWORD>(m_block) + offset) / 4]; }
    bool Usable() const { return m_base && m_block != 0; }

    RegisterPtr m_base;
    int m_block = 0;
};
