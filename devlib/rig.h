// The process-wide simulated rig behind the device library, and how a process chooses it.
#pragma once

#include <string>

#include "sim/rig_config.h"

class CHostPCDevice;
namespace sim {
class HostMemory;
class Rig;
}

namespace devlib {

// The rig is built once per process, before the device library is used: from the file named by the
// environment variable PEXANO_RIG, else the default rig. A bad rig file prints one line naming the
// file and the key on stderr and ends the process with status 2; it is never silently ignored.
constexpr const char* kRigEnvironmentVariable = "PEXANO_RIG";

// Replace the rig (tests, tools). The device tree is rebuilt and g_WexalHW follows; pointers into
// the old tree are no longer valid. LoadRig answers why the rig cannot be stood by ("" when it can):
// a board's flash image file that cannot be used ("key \"boards[0].flash.image\": ..."); the rig
// is in place all the same. LoadRigFile leaves the current rig in place when the file is refused
// or a file it keeps holds what it must not (sim::CheckKeptContents), and fails with the rig in
// place when a flash image cannot be used.
std::string LoadRig(const sim::RigConfig& config);
bool LoadRigFile(const std::string& path, std::string* error);
void LoadDefaultRig();

// The rig now in place, and its host DMA memory (null before the rig is built).
sim::Rig* CurrentRig();
sim::HostMemory* RigHostMemory();

}  // namespace devlib
