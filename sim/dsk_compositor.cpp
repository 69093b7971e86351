// The DSK1 compositor: control registers and the foreground passthru to the output channel.
#include "sim/dsk_compositor.h"

#include <algorithm>

#include "sim/sdram.h"

namespace sim {

void DskCompositor::Attach(RegisterMap& map) {
    map.Add(kControl, kControl + 4, this);
    map.Add(kActive, kActive + 4, this);
}

uint32_t DskCompositor::Read(uint32_t offset) {
    if (offset == kControl) return m_control;
    return Running() ? m_control : 0;
}

void DskCompositor::Write(uint32_t offset, uint32_t value) {
    if (offset == kControl) m_control = value;
}

bool DskCompositor::Ready(DmaEngine&, int channel, const DcbImage&) {
    if (!Running()) return false;
    if (channel == kForeground) return !m_foregroundFull;
    if (channel == kBackground) return NeedsBackground() && !m_backgroundFull;
    return m_foregroundFull && (!NeedsBackground() || m_backgroundFull);
}

bool DskCompositor::ReadFrame(DmaEngine& engine, int channel, const DcbImage& dcb, std::vector<uint8_t>& frame) {
    SdramModel& sdram = engine.Sdram();
    // A frame larger than the memory cannot be read whole; refusing it also bounds the buffer.
    if (dcb.Bytes() > sdram.Size()) return false;
    frame.resize(static_cast<size_t>(dcb.Bytes()));
    bool ok = true;
    uint64_t pos = 0;
    engine.ForEachRun(dcb, [&](uint64_t addr, uint64_t len) {
        ok = ok && sdram.Read(addr, frame.data() + pos, static_cast<size_t>(len)) == len;
        pos += len;
    });
    engine.Corrupt(channel, frame.data(), 0, frame.size());
    return ok;
}

bool DskCompositor::Transfer(DmaEngine& engine, int channel, const DcbImage& dcb) {
    if (channel == kForeground) return m_foregroundFull = ReadFrame(engine, channel, dcb, m_foreground);
    if (channel == kBackground) return m_backgroundFull = ReadFrame(engine, channel, dcb, m_background);
    // The output takes as much of the foreground as its geometry holds.
    SdramModel& sdram = engine.Sdram();
    engine.Corrupt(channel, m_foreground.data(), 0, m_foreground.size());
    bool ok = true;
    uint64_t pos = 0;
    engine.ForEachRun(dcb, [&](uint64_t addr, uint64_t len) {
        if (pos >= m_foreground.size()) return;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(len, m_foreground.size() - pos));
        ok = ok && sdram.Write(addr, m_foreground.data() + pos, n) == n;
        pos += n;
    });
    m_foregroundFull = m_backgroundFull = false;
    return ok;
}

void DskCompositor::Flush(int channel) {
    if (channel == kForeground || channel == kOutput) m_foregroundFull = false;
    if (channel == kBackground || channel == kOutput) m_backgroundFull = false;
}

}  // namespace sim
