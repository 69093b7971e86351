// The names of the devices the device library builds over a rig, beside the boards named by their tags.
#pragma once

#include <string>

namespace sim {

// The device tree is searched by name, ignoring case, and the first match wins: a board whose tag
// is one of these names would be found as that device, so the rig refuses such a tag.
inline constexpr const char* kHostDeviceName = "HostPC";

// The devices below each board, named "<tag>.<part>".
enum class BoardPart { I2C, Clock, FarnoDeK, YorbFlow };
inline constexpr BoardPart kBoardParts[] = {BoardPart::I2C, BoardPart::Clock, BoardPart::FarnoDeK, BoardPart::YorbFlow};

inline std::string BoardPartDeviceName(const std::string& tag, BoardPart part) {
    switch (part) {
    case BoardPart::I2C: return tag + ".I2C";
    case BoardPart::Clock: return tag + ".Clock";
    case BoardPart::FarnoDeK: return tag + ".FarnoDeK";
    case BoardPart::YorbFlow: return tag + ".YorbFlow";
    }
    return tag;
}

}  // namespace sim
