// CWexalUnpacker: the codec board's main-FPGA unpacker test ("CWexal.Unpacker.A", "CWexal.Unpacker.B").
#pragma once

#include "codec/dsp/board_member.h"

// Held by the codec board root for the main FPGA's unpacker of each codec chip. No unpacker
// sub-test exists yet, so the test takes the root's board binding and answers every command with
// the "Not recognized" line.
class CWexalUnpacker : public CNuxaBoardMember {
public:
    explicit CWexalUnpacker(CString name) : CNuxaBoardMember(std::move(name)) {}
};
