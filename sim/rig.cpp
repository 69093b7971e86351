// Rig assembly from its description.
#include "sim/rig.h"

namespace sim {

bool SimBoard::HasSpace(const char* name) const {
    for (const auto& s : m_config.faults.missingSpaces)
        if (s == name) return false;
    return true;
}

Rig::Rig(const RigConfig& config) : m_config(config), m_host(config.hostMemoryBytes) {
    for (const auto& b : m_config.boards) m_boards.push_back(std::make_unique<SimBoard>(b, m_host, m_config.dmaTiming));
}

std::vector<SimBoard*> Rig::Boards() {
    std::vector<SimBoard*> out;
    for (auto& b : m_boards)
        if (!b->Config().faults.missing) out.push_back(b.get());
    return out;
}

}  // namespace sim
