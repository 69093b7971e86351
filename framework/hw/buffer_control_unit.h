// BufferControlUnit: one of the Wexal FPGA's 512 buffer control units, read and written through BAR0.
#pragma once

#include "devlib/register_window.h"
#include "platform/types.h"

class CWexalBoardIF;

// BCU n is four registers at BAR0 + 0x70000 + 16 x n. Every setter is a read-modify-write of one
// register that keeps the bits outside its field. A unit without a register pointer (no board, or
// n of 512 and above) ignores writes and reads 0.
class BufferControlUnit {
public:
    static constexpr DWORD kBase = 0x70000;
    static constexpr int kCount = 512;

    // Directly on the unit's first register.
    explicit BufferControlUnit(RegisterPtr registers) : m_regs(registers) {}
    // Unit n (0-511) of the board interface's board: its main-board register window, or its
    // codec-board one when that is unset.
    BufferControlUnit(const CWexalBoardIF& board, int n);

    // Zeroes the four registers.
    void Clear();

    void SetLinesPerSlice(DWORD value) { Put(0, 0xFFF, 0, value); }
    void SetBufferCapacity(DWORD value) { Put(0, 0xFFF, 16, value); }
    void SetGo(DWORD value) { Put(0, 1, 29, value); }
    void SetLinesWrittenToNextSlice(DWORD value) { Put(2, 0xFFF, 0, value); }
    void SetLinesReadFromNextSlice(DWORD value) { Put(2, 0xFFF, 16, value); }

    WORD GetLinesPerSlice() const { return static_cast<WORD>(Get(0) & 0xFFF); }
    WORD GetBufferCapacity() const { return static_cast<WORD>(Get(0) >> 16 & 0xFFF); }
    DWORD GetStop() const { return Get(0) >> 28 & 1; }
    DWORD GetGo() const { return Get(0) >> 29 & 1; }
    DWORD GetRead() const { return Get(0) >> 30 & 1; }
    DWORD GetWrite() const { return Get(0) >> 31 & 1; }
    WORD GetLinesWrittenToNextSlice() const { return static_cast<WORD>(Get(2) & 0xFFF); }
    WORD GetLinesReadFromNextSlice() const { return static_cast<WORD>(Get(2) >> 16 & 0xFFF); }
    WORD GetValidSlicesInBuffer() const { return static_cast<WORD>(Get(3) & 0xFFF); }
    BYTE GetCurrentBufferSequence() const { return static_cast<BYTE>(Get(3) >> 16 & 0x3F); }

private:
    DWORD Get(int reg) const { return m_regs ? m_regs[reg].Read() : 0; }
    void Put(int reg, DWORD mask, int shift, DWORD value);

    RegisterPtr m_regs;
};
