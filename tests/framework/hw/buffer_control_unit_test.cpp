// Tests of the buffer control unit accessor: field placement, read-modify-write, null units, board placement.
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

TEST(BufferControlUnitTest, SettersChangeOnlyTheirField) {
    MemoryWindow window(0x80000);
    const DWORD at = 0x70000 + 16 * 7;
    window.At(at) = 0xF000F000;      // Stop, Go, Read, Write and the bits between the fields
    window.At(at + 8) = 0xF000F000;
    window.At(at + 12) = 0x00150ABC;
    BufferControlUnit bcu(RegisterPtr(&window, at));

    bcu.SetLinesPerSlice(0x1234);   // only the low 12 bits
    bcu.SetBufferCapacity(0xFFF);
    EXPECT_EQ(window.At(at), 0xFFFFF234u);
    bcu.SetGo(2);                   // bit 0 of the value
    EXPECT_EQ(window.At(at), 0xDFFFF234u);
    EXPECT_EQ(bcu.GetGo(), 0u);
    bcu.SetGo(1);
    EXPECT_EQ(bcu.GetGo(), 1u);
    EXPECT_EQ(bcu.GetStop(), 1u);
    EXPECT_EQ(bcu.GetRead(), 1u);
    EXPECT_EQ(bcu.GetWrite(), 1u);
    EXPECT_EQ(bcu.GetLinesPerSlice(), 0x234u);
    EXPECT_EQ(bcu.GetBufferCapacity(), 0xFFFu);

    bcu.SetLinesWrittenToNextSlice(0x111);
    bcu.SetLinesReadFromNextSlice(0x222);
    EXPECT_EQ(window.At(at + 8), 0xF222F111u);
    EXPECT_EQ(bcu.GetLinesWrittenToNextSlice(), 0x111u);
    EXPECT_EQ(bcu.GetLinesReadFromNextSlice(), 0x222u);
    EXPECT_EQ(bcu.GetValidSlicesInBuffer(), 0xABCu);
    EXPECT_EQ(bcu.GetCurrentBufferSequence(), 0x15u);

    bcu.Clear();
    for (DWORD r = 0; r < 4; ++r) EXPECT_EQ(window.At(at + 4 * r), 0u);
    EXPECT_EQ(window.At(at + 16), 0u);
    EXPECT_EQ(window.At(at - 4), 0u);
}

TEST(BufferControlUnitTest, UnitWithoutRegistersDoesNothing) {
    BufferControlUnit none{RegisterPtr()};
    none.SetGo(1);
    none.SetLinesPerSlice(5);
    none.Clear();
    EXPECT_EQ(none.GetGo(), 0u);
    EXPECT_EQ(none.GetLinesPerSlice(), 0u);
    EXPECT_EQ(none.GetCurrentBufferSequence(), 0u);

    // A board interface without a board, and unit numbers outside 0-511.
    CWexalBoardIF unbound;
    BufferControlUnit noBoard(unbound, 0);
    noBoard.SetBufferCapacity(9);
    EXPECT_EQ(noBoard.GetBufferCapacity(), 0u);
    devlib::LoadDefaultRig();
    CWexalBoardIF board;
    ASSERT_EQ(board.SelectDevice("Brimola1", FALSE), 1u);
    ASSERT_EQ(board.GetBAR0(FALSE), 1u);
    const DWORD before = board.GetRegisters()[0x70000 / 4 + 4 * 511 + 4];
    for (int n : {512, -1}) {
        BufferControlUnit outside(board, n);
        outside.SetLinesPerSlice(0xFFF);
        outside.SetGo(1);
        EXPECT_EQ(outside.GetLinesPerSlice(), 0u);
        EXPECT_EQ(outside.GetGo(), 0u);
    }
    EXPECT_EQ(board.GetRegisters()[0x70000 / 4 + 4 * 511 + 4], before);
}

TEST(BufferControlUnitTest, UnitsLieInTheBoardsRegisterWindow) {
    devlib::LoadDefaultRig();
    for (const char* name : {"Brimola1", "Nuxa1"}) {
        CWexalBoardIF board;
        ASSERT_EQ(board.SelectDevice(name, FALSE), 1u) << name;
        ASSERT_EQ(board.GetBAR0(FALSE), 1u) << name;
        for (int n : {0, 2, 511}) {
            BufferControlUnit bcu(board, n);
            bcu.Clear();
            bcu.SetLinesPerSlice(0x10 + n % 0x100);
            bcu.SetBufferCapacity(0x20);
            const RegisterPtr regs = board.GetRegisters() + (0x70000 + 16 * n) / 4;
            EXPECT_EQ(regs[0].Read(), static_cast<DWORD>(0x10 + n % 0x100) | 0x20u << 16) << name << " BCU " << n;
            bcu.SetLinesWrittenToNextSlice(3);
            EXPECT_EQ(regs[2].Read() & 0xFFF, 3u);
            bcu.Clear();
            EXPECT_EQ(regs[0].Read(), 0u);
        }
    }
}

}  // namespace
