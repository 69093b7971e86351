// BufferControlUnit register fields.
#include "framework/hw/buffer_control_unit.h"

#include "framework/board_if.h"

BufferControlUnit::BufferControlUnit(const CWexalBoardIF& board, int n) {
    if (n < 0 || n >= kCount) return;
    const RegisterPtr bar0 = board.GetMainBoardRegisters() ? board.GetMainBoardRegisters() : board.GetCodecBoardRegisters();
    if (bar0) m_regs = bar0 + static_cast<std::ptrdiff_t>((kBase + 16 * static_cast<DWORD>(n)) / 4);
}

void BufferControlUnit::Clear() {
    if (!m_regs) return;
    for (int reg = 0; reg < 4; ++reg) m_regs[reg] = 0;
}

void BufferControlUnit::Put(int reg, DWORD mask, int shift, DWORD value) {
    if (!m_regs) return;
    const RegisterRef r = m_regs[reg];
    r = (r.Read() & ~(mask << shift)) | (value & mask) << shift;
}
