// Tests of the buffer control unit accessor: field placement, read-modify-write, null units, board placement.
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

// Sixteen register words of plain memory.
struct Words16 : CRegisterWindow {
    DWORD Read(DWORD offset) override { return words[offset / 4]; }
    void Write(DWORD offset, DWORD value) override { words[offset / 4] = value; }
    DWORD Size() const override { return sizeof words; }
    DWORD words[16] = {};
};

TEST(BufferControlUnitTest, SettersChangeOnlyTheirField) {
    Words16 window;
    window.words[4] = window.words[6] = 0xF000F000;  // Stop, Go, Read, Write and the bits between the fields
    window.words[7] = 0x00150ABC;
    BufferControlUnit bcu(RegisterPtr(&window, 0x10));
    bcu.SetLinesPerSlice(0x1234);  // only the low 12 bits
    bcu.SetBufferCapacity(0xFFF);
    bcu.SetGo(2);  // bit 0 of the value
    bcu.SetLinesWrittenToNextSlice(0x111);
    bcu.SetLinesReadFromNextSlice(0x222);
    EXPECT_EQ((std::vector<DWORD>{window.words[4], window.words[6], bcu.GetValidSlicesInBuffer(), bcu.GetCurrentBufferSequence()}),
              (std::vector<DWORD>{0xDFFFF234u, 0xF222F111u, 0xABC, 0x15}));
    bcu.Clear();
    EXPECT_EQ(std::vector<DWORD>(window.words + 3, window.words + 9), std::vector<DWORD>(6, 0));
    // Units 0-511 sit 16 bytes apart from 0x70000 on either board; others, or no registers, touch nothing.
    EXPECT_EQ(BufferControlUnit(RegisterPtr()).GetGo() + BufferControlUnit(CWexalBoardIF(), 0).GetBufferCapacity(), 0u);
    devlib::LoadDefaultRig();
    for (const char* name : {"Brimola1", "Nuxa1"}) {
        CWexalBoardIF board;
        ASSERT_EQ(board.SelectDevice(name, FALSE) + board.GetBAR0(FALSE), 2u) << name;
        for (int n : {511, 512, -1}) BufferControlUnit(board, n).SetLinesPerSlice(0x10);
        EXPECT_EQ(board.GetRegisters()[(0x70000 + 16 * 511) / 4].Read(), 0x10u) << name;
        EXPECT_EQ(board.GetRegisters()[(0x70000 + 16 * 512) / 4].Read() + BufferControlUnit(board, 512).GetLinesPerSlice(), 0u) << name;
    }
}

}  // namespace
