// DMA engine: walks DCB chains, gates them on their BCUs, and hands each DCB's data to the channel's endpoint.
#include "sim/dma_engine.h"

#include <algorithm>

#include "platform/clock.h"
#include "sim/sdram.h"

namespace sim {

namespace {

constexpr uint32_t kNewProfile = 0xC70;  // from this revision every DCB and BCU bit is implemented

}  // namespace

void ForcedBits::Add(uint32_t offset, int bit, int value) {
    Force& f = m_bits[offset];
    const uint32_t m = 1u << bit;
    if (value) {
        f.set |= m;
        f.clear &= ~m;
    } else {
        f.clear |= m;
        f.set &= ~m;
    }
}

void UnitAlias::Configure(const std::vector<RegisterAlias>& aliases, bool bcu) {
    m_lines.clear();
    for (const auto& a : aliases)
        if (a.bcu == bcu) m_lines.push_back(a);
}

void DcbStore::Configure(uint32_t revision, const std::vector<RegisterStuckBit>& stuck, const std::vector<RegisterAlias>& aliases) {
    m_fullMasks = (revision & 0xFFF) >= kNewProfile;
    m_alias.Configure(aliases, false);
    m_forced = ForcedBits{};
    for (const auto& s : stuck)
        if (s.offset >= kBase && s.offset < kBase + 0x8000) m_forced.Add(s.offset, s.bit, s.value);
    for (int c = 0; c < kChannels; ++c)
        for (int d = 0; d < kDcbsPerChannel; ++d)
            for (int w = 0; w < 8; ++w) Write(c, d, w, Read(c, d, w));
}

uint32_t DcbStore::Mask(int channel, int word) const {
    // Words 5-7 exist only where they hold a PCI address or audio words.
    if (word >= 5) return ChannelAt(channel).kind == 1 ? 0xFFFFFFFFu : 0;
    if (m_fullMasks) return 0xFFFFFFFFu;
    static constexpr uint32_t kOld[5] = {0xFFFF7FFF, 0x0FFF03FF, 0x3FFFFFFC, 0x3FFFFFFF, 0xFFFFFFFF};
    return kOld[word];
}

uint32_t DcbStore::Read(int channel, int dcb, int word) const {
    const uint32_t v = m_words[CellWord(channel, dcb, word)];
    return m_forced.Apply(Offset(channel, dcb, word), v);
}

void DcbStore::Write(int channel, int dcb, int word, uint32_t value) {
    m_words[CellWord(channel, dcb, word)] = value & Mask(channel, word);
}

DcbImage DcbStore::Load(int channel, int dcb) const {
    DcbImage d;
    for (int w = 0; w < 8; ++w) d.w[w] = Read(channel, dcb, w);
    return d;
}

void DcbStore::Store(int channel, int dcb, const DcbImage& image) {
    for (int w = 0; w < 8; ++w) Write(channel, dcb, w, image.w[w]);
}

void BcuStore::Configure(uint32_t revision, const std::vector<RegisterStuckBit>& stuck, const std::vector<RegisterAlias>& aliases) {
    m_alias.Configure(aliases, true);
    if ((revision & 0xFFF) >= kNewProfile) m_masks = {0xFFFFFFFF, 0x00000000, 0xFFFFFFFF, 0xFFFFFFFF};
    else m_masks = {0xFFFF0FFF, 0x003F0FFF, 0x0FFF0FFF, 0x003F0FFF};
    m_forced = ForcedBits{};
    for (const auto& s : stuck)
        if (s.offset >= kBase && s.offset < kBase + 16 * kBcus) m_forced.Add(s.offset, s.bit, s.value);
    for (int n = 0; n < kBcus; ++n)
        for (int r = 0; r < 4; ++r) Write(n, r, m_regs[CellWord(n, r)]);
}

uint32_t BcuStore::Read(int bcu, int reg) const {
    return m_forced.Apply(kBase + 16u * static_cast<uint32_t>(bcu) + 4u * static_cast<uint32_t>(reg),
                          m_regs[CellWord(bcu, reg)]);
}

void BcuStore::Write(int bcu, int reg, uint32_t value) {
    m_regs[CellWord(bcu, reg)] = value & m_masks[static_cast<size_t>(reg)];
}

DmaEngine::DmaEngine(DcbStore& dcbs, BcuStore& bcus, SdramModel& sdram, HostMemory& host, const DmaTiming& timing)
    : m_dcbs(dcbs), m_bcus(bcus), m_sdram(sdram), m_host(host), m_timing(timing) {
    for (int c = 0; c < kChannels; ++c) m_ch[c].control = ChannelAt(c).present ? 1 : 0;
}

void DmaEngine::ApplyFaults(const BoardFaults& faults) {
    for (const auto& s : faults.dmaStall) m_ch[s.channel].stall = true;
    for (const auto& w : faults.dmaWrongTag) m_ch[w.channel].wrongTag = w.tag;
    for (const auto& c : faults.dmaCorrupt) m_ch[c.channel].corrupt.push_back(c);
    m_controlForced = ForcedBits{};
    for (const auto& s : faults.registerStuck)
        if (s.offset >= kControlBase && s.offset < kControlBase + 4 * kChannels) m_controlForced.Add(s.offset, s.bit, s.value);
}

void DmaEngine::SetEndpoint(int channel, std::shared_ptr<DmaEndpoint> endpoint) {
    m_ch[channel & 63].endpoint = std::move(endpoint);
}

void DmaEngine::WriteControl(int channel, uint32_t value) {
    // Bit 7 is a strobe that leaves no state; only the DCB enable is kept.
    m_ch[channel].control = value & 1;
}

void DmaEngine::Trigger(int channel, uint32_t value) {
    Channel& ch = m_ch[channel];
    const int first = static_cast<int>(value & 15);
    if (!first || !Enabled(channel)) return;
    ch.state = State::Running;
    ch.current = first;
    ch.visited = 0;
    ch.timing = false;
    ch.lastEnd = m_timing.modelled ? platform::NowTicks() : 0;  // modelled time runs from the trigger
    ShowLive(channel, m_dcbs.Load(channel, first));
    if (ch.endpoint) ch.endpoint->Started(channel);
}

void DmaEngine::Flush(int channel) {
    Channel& ch = m_ch[channel];
    ch.state = State::Idle;
    ch.visited = 0;
    ch.timing = false;
    m_dcbs.Store(channel, 0, DcbImage{});
    if (ch.endpoint) ch.endpoint->Flush(channel);
}

void DmaEngine::Observe(int channel) {
    Channel& ch = m_ch[channel];
    if (ch.state == State::Idle) return;
    // Each status read costs bus time, so a poll that never reads the counter still sees time pass.
    if (m_timing.modelled) platform::AdvanceTicks(kPerfFrequency / 1'000'000);
    Bring(channel);
}

void DmaEngine::DeferUntilSettled(DmaEndpoint* endpoint) {
    if (std::find(m_unsettled.begin(), m_unsettled.end(), endpoint) == m_unsettled.end()) m_unsettled.push_back(endpoint);
}

void DmaEngine::SettleAll() {
    while (!m_unsettled.empty()) {
        DmaEndpoint* endpoint = m_unsettled.back();
        m_unsettled.pop_back();
        endpoint->Settle();
    }
}

void DmaEngine::Bring(int channel) {
    Channel& ch = m_ch[channel];
    // A pass inside another may touch what the outer one put off.
    SettleAll();
    ++m_observing;
    std::vector<int> group = ch.endpoint ? ch.endpoint->Group(channel) : std::vector<int>{channel};
    if (std::find(group.begin(), group.end(), channel) == group.end()) group.push_back(channel);
    const Stepping outer = m_stepping;
    m_stepping.group = &group;
    // Bounded: every round that makes progress completes at least one DCB.
    for (int round = 0; round < kRounds; ++round) {
        bool progress = false;
        m_stepping.round = round;
        for (size_t i = 0; i < group.size(); ++i) {
            m_stepping.index = i;
            progress = Step(group[i]) || progress;
        }
        if (!progress) break;
    }
    m_stepping = outer;
    SettleAll();
    --m_observing;
}

std::pair<uint64_t, uint64_t> DmaEngine::Span(const DcbImage& dcb) {
    uint64_t low = UINT64_MAX, high = 0;
    ForEachRun(dcb, [&](uint64_t addr, uint64_t len) {
        low = std::min(low, addr);
        high = std::max(high, addr + len);
    });
    return {low, high};
}

bool DmaEngine::InMemory(const DcbImage& dcb) const {
    // The runs cover every byte of the DCB.
    const uint64_t size = m_sdram.Size();
    bool inside = true;
    ForEachRun(dcb, [&](uint64_t addr, uint64_t len) { inside = inside && addr <= size && len <= size - addr; });
    return inside;
}

bool DmaEngine::ReadRuns(const DcbImage& dcb, uint8_t* out) {
    bool ok = true;
    size_t pos = 0;
    ForEachRun(dcb, [&](uint64_t addr, uint64_t len) {
        ok = ok && m_sdram.Read(addr, out + pos, static_cast<size_t>(len)) == len;
        pos += static_cast<size_t>(len);
    });
    return ok;
}

bool DmaEngine::WriteRuns(const DcbImage& dcb, const uint8_t* data, size_t size) {
    bool ok = true;
    size_t pos = 0;
    ForEachRun(dcb, [&](uint64_t addr, uint64_t len) {
        if (pos >= size) return;
        const size_t n = std::min(static_cast<size_t>(len), size - pos);
        ok = ok && m_sdram.Write(addr, data + pos, n) == n;
        pos += n;
    });
    return ok;
}

bool DmaEngine::StepsAgain(int channel) const {
    if (!m_stepping.group) return false;
    const auto& group = *m_stepping.group;
    const auto at = std::find(group.begin(), group.end(), channel);
    if (at == group.end()) return false;
    // Later in this round, or in the next one, which follows whenever the member stepping now moves a DCB.
    return static_cast<size_t>(at - group.begin()) > m_stepping.index || m_stepping.round + 1 < kRounds;
}

void DmaEngine::Upcoming(int channel, size_t max, std::vector<DcbImage>& out) const {
    out.clear();
    const Channel& ch = m_ch[channel];
    if (ch.state != State::Running || ch.stall || !Enabled(channel) || m_timing.modelled) return;
    int current = ch.current;
    uint32_t visited = ch.visited;
    while (out.size() < max) {
        const DcbImage dcb = m_dcbs.Load(channel, current);
        if (!m_bcus.Go(dcb.BcuPointer())) return;
        out.push_back(dcb);
        visited |= 1u << current;
        const int next = dcb.Next();
        if (next == 0 || next >= kDcbsPerChannel || (visited & (1u << next))) return;
        current = next;
    }
}

void DmaEngine::ObserveAll() {
    if (m_observing) return;
    for (int c = 0; c < kChannels; ++c)
        if (m_ch[c].state != State::Idle) Bring(c);
}

bool DmaEngine::ChainEndsFrom(int channel, int dcb) const {
    for (int i = 0; i <= kDcbsPerChannel; ++i) {
        const int next = m_dcbs.Load(channel, dcb).Next();
        if (next == 0) return true;
        if (next >= kDcbsPerChannel) return false;
        dcb = next;
    }
    return false;
}

void DmaEngine::ShowLive(int channel, DcbImage image) { m_dcbs.Store(channel, 0, image); }

void DmaEngine::ShowPartial(int channel, const DcbImage& image, uint64_t remaining) {
    // Remaining units shown as the hardware counts: the rest of the initial line while in it,
    // then whole lines left with the current line's remainder in InitialLineLength.
    DcbImage live = image;
    const uint64_t lines = image.Lines(), len = image.LineLength();
    uint64_t y = 0, i = 0;
    if (remaining > lines * len) {
        y = lines;
        i = remaining - lines * len;
    } else if (remaining && len) {
        y = (remaining - 1) / len;
        i = remaining - y * len;
    }
    live.w[3] = static_cast<uint32_t>((y & 0xFFFF) << 16 | (i & 0xFFFF));
    ShowLive(channel, live);
}

void DmaEngine::Finish(int channel, const DcbImage& image) {
    const Channel& ch = m_ch[channel];
    DcbImage live = image;
    live.w[3] = 0;
    if (ch.wrongTag != -2) {
        const uint32_t tag = ch.wrongTag == -1 ? static_cast<uint32_t>(image.Tag() ^ 1) : static_cast<uint32_t>(ch.wrongTag);
        live.w[1] = (live.w[1] & ~0x0FFF0000u) | (tag & 0xFFF) << 16;
    }
    ShowLive(channel, live);
}

bool DmaEngine::Step(int channel) {
    Channel& ch = m_ch[channel];
    if (ch.state == State::Idle || ch.state == State::Hung || ch.stall || !Enabled(channel)) return false;
    if (ch.state == State::Looping) {
        // A looping chain repeats the same data; it is worth moving again only for the pass that ends it.
        if (!ChainEndsFrom(channel, ch.current)) return false;
        ch.state = State::Running;
        ch.visited = 0;
    }
    bool progress = false;
    for (int guard = 0; guard <= kDcbsPerChannel; ++guard) {
        const DcbImage dcb = m_dcbs.Load(channel, ch.current);
        if (!m_bcus.Go(dcb.BcuPointer()) || !ch.endpoint || !ch.endpoint->Ready(*this, channel, dcb)) {
            ch.timing = false;  // paused: the modelled time starts again once it can go
            return progress;
        }
        if (m_timing.modelled) {
            const int64_t now = platform::NowTicks();
            if (!ch.timing) {
                ch.timing = true;
                ch.start = ch.lastEnd && ch.lastEnd <= now ? ch.lastEnd : now;
                const long double ticks = static_cast<long double>(dcb.Bytes()) * kPerfFrequency / m_timing.bytesPerSecond;
                ch.end = ch.start + static_cast<int64_t>(ticks);
            }
            if (now < ch.end) {
                const uint64_t units = dcb.Units();
                const long double done = static_cast<long double>(now - ch.start) / static_cast<long double>(ch.end - ch.start);
                ShowPartial(channel, dcb, units - std::min<uint64_t>(units, static_cast<uint64_t>(done * units)));
                return progress;
            }
            ch.timing = false;
            ch.lastEnd = ch.end;
        }
        if (!ch.endpoint->Transfer(*this, channel, dcb)) {
            ch.state = State::Hung;
            return progress;
        }
        progress = true;
        ch.visited |= 1u << ch.current;
        const int next = dcb.Next();
        if (next == 0) {
            Finish(channel, dcb);
            ch.state = State::Idle;
            return true;
        }
        if (next >= kDcbsPerChannel) {
            // No such DCB: the engine stops with the context of the last one.
            ShowLive(channel, dcb);
            ch.state = State::Hung;
            return true;
        }
        ch.current = next;
        ShowLive(channel, m_dcbs.Load(channel, next));
        if (ch.visited & (1u << next)) {
            ch.state = State::Looping;
            return true;
        }
    }
    return progress;
}

bool DmaEngine::HasCorruption(int channel) const { return !m_ch[channel].corrupt.empty(); }

void DmaEngine::Corrupt(int channel, uint8_t* buf, uint64_t pos, size_t len) const {
    for (const auto& c : m_ch[channel].corrupt) {
        const uint64_t firstWord = c.first;
        const uint64_t endWord = c.count ? firstWord + c.count : UINT64_MAX;
        uint64_t w = std::max(pos / 4, firstWord);
        const uint64_t lastWord = std::min<uint64_t>((pos + len + 3) / 4, endWord);
        for (; w < lastWord; ++w) {
            for (uint64_t b = 0; b < 4; ++b) {
                const uint64_t at = 4 * w + b;
                if (at < pos || at >= pos + len) continue;
                buf[at - pos] ^= static_cast<uint8_t>(c.mask >> (8 * b));
            }
        }
    }
}

}  // namespace sim
