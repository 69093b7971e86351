// The codec board's fixture: a rig with the codec board, whose bridge is attached to its registers.
#pragma once

#include <string>

#include "codec/dsp/dremolun.h"
#include "tests/support/codec_board.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"
#include "tests/support/stop_flag.h"

namespace codectest {

// Base is support::RigTest or a fixture made from it.
template <class Base>
class CodecBoardTest : public Base {
protected:
    void SetUp() override {
        Base::SetUp();
        Attach();
    }
    // Points the bridge, and what a fixture adds, at the codec board of the rig loaded last: the
    // bridge as the codec root hands it its base, the board's BAR0 + 0x10000.
    virtual void Attach() { bridge.SetRegisterBase(Regs("Nuxa1") + 0x10000 / 4); }
    // A board's register window.
    static RegisterPtr Regs(const char* tag) { return Base::Board(tag)->GetBAR0Space()->GetRegisterPointer(0, 0x100000); }
    // Loads a rig of the codec board alone: faults is its faults array, board adds keys to the
    // board's entry.
    void LoadFaults(const std::string& faults, const std::string& board = "") {
        Base::LoadJson((R"({"boards": [{"tag": "Nuxa1", "kind": "nuxa")" + board + R"(}], "faults": )" + faults + "}").c_str());
        Attach();
    }
    support::Recording<CDremolun> bridge{nullptr, nullptr, "CDremolun"};
};

}  // namespace codectest
