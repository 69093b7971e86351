// Test objects of the codec board's chips, pointed at the board as its root points them.
#pragma once

#include "framework/board_if.h"

namespace support {

// Each test object's board interface on the codec board of the rig, its BAR0 and its SDRAM.
template <class... Tests>
void SelectCodecBoard(Tests&... tests) {
    for (CWexalBoardIF* board : {&tests.GetBoardIF()...}) {
        board->SelectDevice("Nuxa1", FALSE);
        board->GetBAR0(FALSE);
        board->GetSDRAM(FALSE);
    }
}

}  // namespace support
