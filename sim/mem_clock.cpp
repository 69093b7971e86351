// Memory clock model: steps, the reliable window handed to the SDRAM model, and the persisted clock word.
#include "sim/mem_clock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "platform/number_text.h"
#include "sim/sdram.h"

namespace sim {

ClockStoreContents ReadClockStore(const std::string& path) {
    using Kind = ClockStoreContents::Kind;
    ClockStoreContents store;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return store;
        return {Kind::Unreadable, 0, std::strerror(errno)};
    }
    // Only a regular file is read: a FIFO would wait for a writer.
    if (!S_ISREG(st.st_mode)) return {Kind::Other, 0, ""};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {Kind::Unreadable, 0, std::strerror(errno)};
    // A store's word with blanks around it is a few bytes: a file that fills this is something
    // else, whatever its first bytes are (notes that start with blank lines).
    char buffer[256];
    size_t got = 0;
    for (ssize_t n; got < sizeof buffer && ((n = ::read(fd, buffer + got, sizeof buffer - got)) > 0 || (n < 0 && errno == EINTR));)
        if (n > 0) got += static_cast<size_t>(n);
    ::close(fd);
    const std::string text(buffer, got);
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    size_t first = 0;
    while (first < text.size() && blank(text[first])) ++first;
    size_t last = first;
    while (last < text.size() && !blank(text[last]) && text[last] != '\0') ++last;
    store.text = text.substr(first, std::min<size_t>(last - first, 40));
    const bool whole = got < sizeof buffer;
    if (first == text.size() && whole) {
        store.kind = Kind::Empty;
        return store;
    }
    size_t rest = last;
    while (rest < text.size() && blank(text[rest])) ++rest;
    const platform::UnsignedScan scan = platform::ScanUnsigned(store.text.c_str());
    const bool word = whole && rest == text.size() && last - first <= 40 && *scan.end == '\0' &&
                      scan.end != store.text.c_str() && !scan.overflow && scan.value <= 0xFFFFFFFFu;
    store.kind = word ? Kind::Word : Kind::Other;
    store.word = word ? static_cast<uint32_t>(scan.value) : 0;
    return store;
}

namespace {

// A missing file reads as 0, a board never calibrated; so does an empty one, with a line on stderr
// (the rig check refuses any other contents before anything is written).
uint32_t LoadStore(const std::string& path) {
    if (path.empty()) return 0;
    const ClockStoreContents store = ReadClockStore(path);
    if (store.kind == ClockStoreContents::Kind::Word) return store.word;
    if (store.kind != ClockStoreContents::Kind::Absent)
        std::fprintf(stderr, "ERROR:  memory clock store %s holds \"%s\", not a clock word; it reads as 0\n", path.c_str(), store.text.c_str());
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
