// Rig assembly from its description.
#include "sim/rig.h"

#include <algorithm>

namespace sim {

bool SimBoard::HasSpace(const char* name) const {
    for (const auto& s : m_config.faults.missingSpaces)
        if (s == name) return false;
    return true;
}

Rig::Rig(const RigConfig& config) : m_config(config), m_host(config.hostMemoryBytes) {
    for (const auto& b : m_config.boards) m_boards.push_back(std::make_unique<SimBoard>(b, m_host, m_config.dmaTiming));
    // Cables once every board exists. The rig file names each cable on one side or on both; a
    // board hidden by missing_board keeps its cable (it is there, it does not enumerate).
    for (size_t i = 0; i < m_boards.size(); ++i) {
        for (int port = 1; port <= 2; ++port) {
            const std::string& tag = port == 1 ? m_boards[i]->Config().codecPort : m_boards[i]->Config().expansionPort;
            SimBoard* partner = tag == "loopback" ? nullptr : Board(tag);
            if (!partner || partner == m_boards[i].get()) continue;
            const std::string& back = port == 1 ? partner->Config().codecPort : partner->Config().expansionPort;
            // Named on both sides: wired once, from the first board.
            const bool wiredFromPartner = back == m_boards[i]->Tag() && std::any_of(m_boards.begin(), m_boards.begin() + static_cast<long>(i),
                                                                                  [&](const auto& b) { return b.get() == partner; });
            if (!wiredFromPartner) VideoPorts::Cable(m_boards[i]->Ports(), partner->Ports(), port);
        }
    }
}

SimBoard* Rig::Board(const std::string& tag) {
    for (auto& b : m_boards)
        if (b->Tag() == tag) return b.get();
    return nullptr;
}

std::vector<SimBoard*> Rig::Boards() {
    std::vector<SimBoard*> out;
    for (auto& b : m_boards)
        if (!b->Config().faults.missing) out.push_back(b.get());
    return out;
}

}  // namespace sim
