// Memory clock model: steps, the reliable window handed to the SDRAM model, and the persisted clock word.
#include "sim/mem_clock.h"

#include <cstdio>
#include <fstream>

#include "sim/sdram.h"

namespace sim {

namespace {

// The store file holds the word as text ("0x000000A0"); a missing or unreadable file reads as 0,
// a board never calibrated.
uint32_t LoadStore(const std::string& path) {
    if (path.empty()) return 0;
    std::ifstream in(path);
    std::string text;
    if (!(in >> text)) return 0;
    try {
        size_t used = 0;
        const unsigned long long v = std::stoull(text, &used, 0);
        return used == text.size() && v <= 0xFFFFFFFFull ? static_cast<uint32_t>(v) : 0;
    } catch (...) {
        return 0;
    }
}

}  // namespace

MemoryClock::MemoryClock(const BoardConfig& config, SdramModel& sdram) : m_sdram(sdram), m_store(config.memoryClock.store) {
    const auto& f = config.faults;
    if (!f.clockNoWindow) {
        m_low = config.memoryClock.windowLow + f.clockWindowShift;
        m_high = config.memoryClock.windowHigh + f.clockWindowShift;
    }
    m_stored = LoadStore(m_store);
    if (m_stored >= 1 && m_stored <= 255) m_setting = static_cast<int>(m_stored);
    m_sdram.SetTimingMargin(InWindow());
}

void MemoryClock::Step(int delta) {
    m_setting += delta;
    if (m_setting < 0) m_setting = 0;
    if (m_setting > 255) m_setting = 255;
    m_sdram.SetTimingMargin(InWindow());
}

void MemoryClock::Save() const {
    if (m_store.empty()) return;
    if (FILE* f = std::fopen(m_store.c_str(), "w")) {
        std::fprintf(f, "0x%08X\n", m_stored);
        std::fclose(f);
    }
}

uint32_t MemoryClock::Read(uint32_t offset) { return offset == kStoredWord ? m_stored : 0; }

void MemoryClock::Write(uint32_t offset, uint32_t value) {
    switch (offset) {
    case kStepUp: Step(1); break;
    case kStepDown: Step(-1); break;
    case kStoredWord:
        m_stored = value;
        Save();
        break;
    default: break;
    }
}

}  // namespace sim
