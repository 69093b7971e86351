// Memory clock model: steps, the reliable window handed to the SDRAM model, and the persisted clock word.
#include "sim/mem_clock.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "sim/sdram.h"

namespace sim {

namespace {

// The store file holds the word as text: "0x000000A0" as written here, or a decimal number. A
// missing file reads as 0, a board never calibrated; contents that are no such number read as 0
// too, with a line on stderr, so a damaged store is not taken for an uncalibrated board unseen.
uint32_t LoadStore(const std::string& path) {
    if (path.empty()) return 0;
    // Only a regular file is read: a FIFO would wait for a writer (the rig file refuses one anyway).
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return 0;
    std::ifstream in(path);
    if (!in) return 0;
    std::string text;
    in >> text;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    try {
        size_t used = 0;
        const unsigned long long v = std::stoull(hex ? text.substr(2) : text, &used, hex ? 16 : 10);
        if (used == text.size() - (hex ? 2 : 0) && v <= 0xFFFFFFFFull) return static_cast<uint32_t>(v);
    } catch (...) {
    }
    std::fprintf(stderr, "ERROR:  memory clock store %s holds \"%s\", not a clock word; it reads as 0\n", path.c_str(),
                 text.c_str());
    return 0;
}

}  // namespace

MemoryClock::MemoryClock(const BoardConfig& config, SdramModel& sdram)
    : m_sdram(sdram), m_store(config.memoryClock.store), m_storeRole(MemoryClockStoreRole(config.tag)) {
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

// Replaced whole, so that a failed write never leaves a cut store; and never over another file
// the run depends on (the rig file, a tree, the log), whatever the rig's name for it.
void MemoryClock::Save() const {
    if (m_store.empty()) return;
    char text[16];
    const int length = std::snprintf(text, sizeof text, "0x%08X\n", m_stored);
    if (platform::SaveOwnFile(m_store, text, static_cast<size_t>(length), m_storeRole)) return;
    const int cause = errno;
    std::string why = std::strerror(cause);
    if (const std::string detail = platform::FileFailureDetail(cause); !detail.empty()) why = detail;
    std::fprintf(stderr, "ERROR:  memory clock store %s cannot be written; the clock word 0x%08X is not kept (%s)\n", m_store.c_str(),
                 m_stored, why.c_str());
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
