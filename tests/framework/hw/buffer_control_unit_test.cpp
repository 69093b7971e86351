// Tests of the buffer control unit accessor: field placement, read-modify-write, null units, board placement.
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

TEST(BufferControlUnitTest, SettersChangeOnlyTheirField) {
    MemoryWindow window(0x80000);
    const DWORD at = 0x70000 + 16 * 7;
    window.At(at) = window.At(at + 8) = 0xF000F000;  // Stop, Go, Read, Write and the bits between the fields
    window.At(at + 12) = 0x00150ABC;
    BufferControlUnit bcu(RegisterPtr(&window, at));
    bcu.SetLinesPerSlice(0x1234);  // only the low 12 bits
    bcu.SetBufferCapacity(0xFFF);
    bcu.SetGo(2);  // bit 0 of the value
    bcu.SetLinesWrittenToNextSlice(0x111);
    bcu.SetLinesReadFromNextSlice(0x222);
    EXPECT_EQ(window.At(at), 0xDFFFF234u);
    EXPECT_EQ(window.At(at + 8), 0xF222F111u);
    bcu.SetGo(1);
    EXPECT_EQ((std::vector<DWORD>{bcu.GetGo(), bcu.GetStop(), bcu.GetRead(), bcu.GetWrite(), bcu.GetLinesPerSlice(), bcu.GetBufferCapacity(),
                                  bcu.GetLinesWrittenToNextSlice(), bcu.GetLinesReadFromNextSlice(), bcu.GetValidSlicesInBuffer(),
                                  bcu.GetCurrentBufferSequence()}),
              (std::vector<DWORD>{1, 1, 1, 1, 0x234, 0xFFF, 0x111, 0x222, 0xABC, 0x15}));
    bcu.Clear();
    for (DWORD r = 0; r < 6; ++r) EXPECT_EQ(window.At(at - 4 + 4 * r), 0u) << r;
    // No registers, no board, or a unit number outside 0-511: nothing is read or written.
    BufferControlUnit none{RegisterPtr()};
    none.SetGo(1);
    EXPECT_EQ(none.GetGo() + none.GetCurrentBufferSequence() + BufferControlUnit(CWexalBoardIF(), 0).GetBufferCapacity(), 0u);
    devlib::LoadDefaultRig();
    for (const char* name : {"Brimola1", "Nuxa1"}) {
        CWexalBoardIF board;
        ASSERT_EQ(board.SelectDevice(name, FALSE) + board.GetBAR0(FALSE), 2u) << name;
        for (int n : {0, 511, 512, -1}) {
            BufferControlUnit unit(board, n);
            unit.SetLinesPerSlice(0x10);
            unit.SetBufferCapacity(0x20);
            EXPECT_EQ(unit.GetLinesPerSlice(), n < 512 && n >= 0 ? 0x10u : 0u) << name << " BCU " << n;
        }
        EXPECT_EQ(board.GetRegisters()[(0x70000 + 16 * 511) / 4].Read(), 0x10u | 0x20u << 16) << name;
        EXPECT_EQ(board.GetRegisters()[(0x70000 + 16 * 512) / 4].Read(), 0u) << name;
    }
}

}  // namespace
