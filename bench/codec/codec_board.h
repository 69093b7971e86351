// The codec board of the default rig, as the benchmarks of its chips attach to it.
#pragma once

#include "codec/dsp/dremolun.h"
#include "devlib/devices.h"
#include "devlib/rig.h"
#include "framework/hw/jastel.h"

namespace bench {

// Loads the default rig and attaches the host-port bridge, and the controller port when given, to
// the codec board's registers as its board root does.
inline void AttachCodecBoard(CDremolun& bridge, CJastel* jastel = nullptr) {
    devlib::LoadDefaultRig();
    auto* board = dynamic_cast<CWexalBoardDevice*>(g_WexalHW->GetDevice("Nuxa1"));
    bridge.SetRegisterBase(board->GetRegisters() + 0x10000 / 4);
    if (jastel) jastel->SetControllerRegisters(board->GetControllerRegisters());
}

}  // namespace bench
