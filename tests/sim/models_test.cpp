// Memory and part models: SDRAM and its faults, host memory, DCB geometry, a stuck channel control bit, the temperature
// sensor and clock parts, and the memory clock with its window and stored word.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "sim/dma_engine.h"
#include "sim/host_memory.h"
#include "sim/i2c_parts.h"
#include "sim/mem_clock.h"
#include "sim/register_map.h"
#include "sim/rig_config.h"
#include "sim/sdram.h"
#include "sim/wexal_fpga.h"
#include "tests/support/temp_dir.h"

namespace {

using sim::SdramModel;
using Runs = std::vector<std::pair<uint64_t, uint64_t>>;
using sim::BoardConfig;
using sim::BoardKind;
using sim::MemoryClock;
using sim::TemperatureSensor;

std::vector<uint32_t> ReadAll(SdramModel& m, size_t words) {
    std::vector<uint32_t> v(words);
    m.Read(0, v.data(), words * 4);
    return v;
}

TEST(Sdram, WindowsStuckBitsInTheirRangeAndShortedOrStuckAddressLines) {
    SdramModel m(1 << 20);
    uint32_t back = 0;
    EXPECT_EQ(m.Map((1 << 20) - 4, 8), nullptr) << "no window past the end";
    EXPECT_NE(m.Map((1 << 20) - 8, 8), nullptr) << "a window may end at the top";
    std::memset(m.Map(0x2000, 64), 0xA5, 64);
    m.Read(0x203C, &back, 4);
    EXPECT_EQ(back, 0xA5A5A5A5u) << "a healthy window is the memory itself";
    SdramModel s(1 << 20);
    s.SetFaults({{0x1000, 0x2000, 5, 1}, {0x3000, 0x4000, 31, 0}}, {}, {});
    auto* p = reinterpret_cast<uint32_t*>(s.Map(0x3000, 16));
    for (int i = 0; i < 4; ++i) p[i] = 0xFFFFFFFF;
    s.Commit();
    const std::vector<uint32_t> all = ReadAll(s, 0x1000);
    for (size_t i = 0; i < 0xC00; ++i) ASSERT_EQ(all[i], (4 * i >= 0x1000 && 4 * i < 0x2000) ? 0x20u : 0u) << 4 * i;
    EXPECT_EQ(all[0xC01], 0x7FFFFFFFu) << "stuck at 0 under all ones, written through a window";
    // A shorted or stuck address line makes addresses share cells.
    SdramModel al(1 << 20);
    al.SetFaults({}, {{12, 4, 0}}, {});  // line 12 follows line 4
    const uint32_t a = 0xAAAA0001, b = 0xBBBB0002, c = 0x12345678;
    uint32_t r = 0;
    al.Write(0x0010, &a, 4);
    al.Write(0x1000, &b, 4);
    al.Write(0x2018, &c, 4);  // lines 4 and 12 agree: its own cell
    for (const auto& [addr, want] : {std::pair{0x1010u, a}, {0x0000u, b}, {0x2018u, c}}) {
        al.Read(addr, &r, 4);
        EXPECT_EQ(r, want) << std::hex << addr;
    }
    SdramModel t(1 << 20);
    t.SetFaults({}, {{16, -1, 0}}, {});  // line 16 stuck at 0: the power-of-two test's view
    for (uint32_t addr = 4; addr < (1 << 20); addr <<= 1) t.Write(addr, &addr, 4);
    t.Read(0, &r, 4);
    EXPECT_EQ(r, 0x10000u) << "the write to 0x10000 landed on address 0";
}

// Writes of every size land whole and alone however the model moves them: small ones, large ones
// streamed past the cache onto cold cells, ones onto a range just read or handed out (cached
// stores), across the blocks in which large writes fault the cells in, clipped at the top of a
// memory whose size is no whole number of blocks, and through a stuck bit.
TEST(Sdram, WritesLandWholeAndAloneHoweverTheyAreMoved) {
    const struct {
        const char* what;
        uint64_t size;
        uint64_t addr;
        size_t len;
        int before;  // 0 nothing, 1 a window onto the range, 2 a read of it
        bool stuck;  // bit 3 of every word stuck at 1
        size_t lands;
    } rows[] = {
        {"small", 8 << 20, 0x1234, 64, 0, false, 64},
        {"large onto cold cells, across a block", 8 << 20, (2 << 20) - 0x1000, 300 << 10, 0, false, 300 << 10},
        {"large after a window onto it", 8 << 20, 0x40000, 256 << 10, 1, false, 256 << 10},
        {"large after a read of it", 8 << 20, 0x80000, 256 << 10, 2, false, 256 << 10},
        {"larger than the range read before", 8 << 20, 0x80000, 512 << 10, 2, false, 512 << 10},
        {"clipped at the top", (3 << 20) + 4096, (3 << 20) - (256 << 10), 512 << 10, 0, false, (256 << 10) + 4096},
        {"through a stuck bit", 8 << 20, 0x100000, 1 << 20, 1, true, 1 << 20},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        SdramModel m(row.size);
        if (row.stuck) m.SetFaults({{0, row.size, 3, 1}}, {}, {});
        std::vector<uint8_t> scratch(std::min<size_t>(row.len, 1 << 20));
        if (row.before == 1) {
            ASSERT_NE(m.Map(row.addr, scratch.size() / 2), nullptr);
        } else if (row.before == 2) {
            m.Read(row.addr, scratch.data(), scratch.size() / 2);
        }
        std::vector<uint8_t> data(row.len);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
        ASSERT_EQ(m.Write(row.addr, data.data(), data.size()), row.lands);
        // The bytes around the range keep what they held (0), the range holds what was written.
        std::vector<uint8_t> back(row.lands + 8);
        ASSERT_EQ(m.Read(row.addr - 4, back.data(), back.size()), std::min<size_t>(back.size(), row.size - (row.addr - 4)));
        for (size_t i = 0; i < back.size(); ++i) {
            const uint64_t at = row.addr - 4 + i;
            if (at >= row.size) break;
            uint8_t want = at >= row.addr && at < row.addr + row.lands ? data[at - row.addr] : 0;
            if (row.stuck && at % 4 == 0) want |= 8;
            ASSERT_EQ(back[i], want) << std::hex << at;
        }
    }
}

// The masked word copy against a word-by-word one: every whole word from the start ANDed with
// the mask, the bytes after the last whole word as they are, nothing outside the range touched;
// for destinations at every alignment up to 64 bytes, lengths around each vector width and
// streaming step, and in place.
TEST(Sdram, MaskedWordCopiesMatchAWordByWordCopy) {
    const size_t offsets[] = {0, 1, 4, 12, 16, 28, 31, 32, 60};
    const size_t lengths[] = {0, 3, 4, 36, 127, 128, 129, 160, 255, 256, 257, 4096 + 44, (300 << 10) + 7};
    const uint32_t masks[] = {~0u, 0x1FFF1FFFu, 0xFFF8FFF8u};
    for (const size_t offset : offsets)
        for (const size_t len : lengths)
            for (const uint32_t mask : masks)
                for (const int how : {0, 1, 2}) {  // cached, streamed, in place
                    SCOPED_TRACE(std::to_string(offset) + " " + std::to_string(len) + " " + std::to_string(mask) + " " +
                                 std::to_string(how));
                    std::vector<uint8_t> from(len + 64), out(len + 192, 0xEE);
                    for (size_t i = 0; i < from.size(); ++i) from[i] = static_cast<uint8_t>(i * 131 + 7);
                    uint8_t* to = out.data() + 64 + offset - reinterpret_cast<uintptr_t>(out.data()) % 64;
                    std::vector<uint8_t> want(out);
                    const size_t at = static_cast<size_t>(to - out.data());
                    for (size_t i = 0; i < len; ++i) want[at + i] = from[i + offset % 4];
                    for (size_t w = 0; w + 4 <= len; w += 4)
                        for (size_t b = 0; b < 4; ++b) want[at + w + b] &= static_cast<uint8_t>(mask >> (8 * b));
                    const uint8_t* source = from.data() + offset % 4;
                    if (how == 2) {
                        std::memcpy(to, source, len);
                        source = to;
                    }
                    sim::CopyWords(to, source, len, mask, how == 1);
                    ASSERT_EQ(out, want);
                }
}

TEST(Sdram, BitFlipsAreSoftReproducibleAndStayInTheirRange) {
    auto run = [](uint64_t seed) {
        SdramModel m(1 << 20);
        m.SetFaults({}, {}, {{0.01, seed, 0x8000, 0x10000}});
        return ReadAll(m, 0x4000);
    };
    const auto a = run(42);
    EXPECT_TRUE(a == run(42) && a != run(43));
    int flipped = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_LE(__builtin_popcount(a[i]), 4 * i >= 0x8000 && 4 * i < 0x10000 ? 1 : 0) << "one bit per flipped word, in range only: " << 4 * i;
        flipped += a[i] != 0;
    }
    EXPECT_TRUE(flipped > 40 && flipped < 140) << flipped << " of 8192 words at 1%";
    // A faulted window writes back only the words changed through it, not the flips it was read with.
    SdramModel m(1 << 20);
    m.SetFaults({}, {}, {{1.0, 9, 0, 1 << 20}});
    const uint32_t v[4] = {1, 2, 3, 4};
    m.Write(0x200, v, 16);
    reinterpret_cast<uint32_t*>(m.Map(0x200, 16))[2] = 0x33333333;
    m.Commit();
    m.SetFaults({}, {}, {});
    std::vector<uint32_t> back(4);
    m.Read(0x200, back.data(), 16);
    EXPECT_EQ(back, (std::vector<uint32_t>{1, 2, 0x33333333, 4}));
}

// A window onto a faulted memory is the memory as it is: it sees later writes to its cells (DMA,
// the SDRAM space, an address that shares its cells), the faults on what the host wrote through it
// once flushed, and it keeps writing back through every flush, however far the fault lies.
TEST(Sdram, FaultedWindowsShowTheMemoryAsItIs) {
    const auto words = [](const uint8_t* p, size_t n) {
        std::vector<uint32_t> w(n);
        std::memcpy(w.data(), p, 4 * n);
        return w;
    };
    const std::vector<uint32_t> pattern{0x11111111, 0x22222222, 0x33333333, 0x44444444};
    const std::vector<uint32_t> second{0xA0A0A0A0, 0xB0B0B0B0, 0xC0C0C0C0, 0xD0D0D0D0};
    {
        SCOPED_TRACE("a stuck bit far away leaves the window alone; writes after a flush still land");
        SdramModel m(1 << 20);
        m.SetFaults({{0x80000, 0x80004, 0, 1}}, {}, {});
        uint8_t* w = m.Map(0x2000, 16);
        std::memcpy(w, pattern.data(), 16);
        m.Commit();
        EXPECT_EQ(words(w, 4), pattern);
        std::memcpy(w, second.data(), 16);
        m.Commit();
        std::vector<uint32_t> back(4);
        m.Read(0x2000, back.data(), 16);
        EXPECT_EQ(back, second);
        EXPECT_EQ(words(w, 4), second);
        // Unflushed, a write through the window reaches whatever access reads its cells.
        std::memcpy(w + 8, &pattern[2], 4);
        uint32_t one = 0;
        m.Read(0x2008, &one, 4);
        EXPECT_EQ(one, 0x33333333u);
    }
    {
        SCOPED_TRACE("writes to the cells show through this window and older ones");
        SdramModel m(1 << 20);
        m.SetFaults({{0x80000, 0x80004, 0, 1}}, {}, {});
        uint8_t* older = m.Map(0x3000, 16);
        uint8_t* w = m.Map(0x2000, 16);
        m.Write(0x2004, &pattern[1], 8);
        m.Write(0x3008, &pattern[2], 4);
        EXPECT_EQ(words(w, 4), (std::vector<uint32_t>{0, 0x22222222, 0x33333333, 0}));
        EXPECT_EQ(words(older, 4), (std::vector<uint32_t>{0, 0, 0x33333333, 0}));
        // What the DMA wrote is no change of the host's: a flush leaves it.
        m.Commit();
        std::vector<uint32_t> back(4);
        m.Read(0x2000, back.data(), 16);
        EXPECT_EQ(back, (std::vector<uint32_t>{0, 0x22222222, 0x33333333, 0}));
    }
    {
        SCOPED_TRACE("a stuck bit under the window shows once flushed, and on later writes to the cells");
        SdramModel m(1 << 20);
        m.SetFaults({{0x2004, 0x2008, 31, 1}}, {}, {});
        uint8_t* w = m.Map(0x2000, 16);
        std::memset(w, 0, 16);
        m.Commit();
        EXPECT_EQ(words(w, 4), (std::vector<uint32_t>{0, 0x80000000, 0, 0}));
        const uint32_t low = 0x1234;
        m.Write(0x2004, &low, 4);
        EXPECT_EQ(words(w + 4, 1), std::vector<uint32_t>{0x80001234});
    }
    {
        SCOPED_TRACE("a window ending at the top of the memory");
        SdramModel m(1 << 20);
        m.SetFaults({{0, 4, 0, 1}}, {}, {});
        uint8_t* w = m.Map((1 << 20) - 8, 8);
        ASSERT_NE(w, nullptr);
        m.Write((1 << 20) - 4, &pattern[3], 4);
        EXPECT_EQ(words(w, 2), (std::vector<uint32_t>{0, 0x44444444}));
        std::memcpy(w, &pattern[0], 4);
        m.Commit();
        std::vector<uint32_t> back(2);
        EXPECT_EQ(m.Read((1 << 20) - 8, back.data(), 16), 8u);
        EXPECT_EQ(back, (std::vector<uint32_t>{0x11111111, 0x44444444}));
    }
    {
        SCOPED_TRACE("an address that shares the window's cells");
        SdramModel m(1 << 20);
        m.SetFaults({}, {{12, 4, 0}}, {});  // line 12 follows line 4: 0x0010 and 0x1010 are one cell
        uint8_t* w = m.Map(0x1010, 4);
        m.Write(0x0010, &pattern[0], 4);
        EXPECT_EQ(words(w, 1), std::vector<uint32_t>{0x11111111});
    }
}

// A read view is the cells as a Read delivers them, after the same bring-up of the DMA; memory with
// any fault (however far from the range) or without its timing margin gives none, as it does past
// the end, and a view comes back once the memory is healthy again.
TEST(Sdram, ReadViewsReadAsAReadDoesOnHealthyMemoryOnly) {
    const struct {
        const char* what;
        std::vector<sim::SdramStuckBit> stuck;
        std::vector<sim::SdramAlias> alias;
        std::vector<sim::SdramFlips> flips;
        bool margin;
        uint64_t addr;
        size_t len;
        bool viewed;
    } rows[] = {
        {"healthy", {}, {}, {}, true, 0x1002, 0x301, true},
        {"ending at the top", {}, {}, {}, true, (1 << 20) - 6, 6, true},
        {"past the top", {}, {}, {}, true, (1 << 20) - 4, 8, false},
        {"a stuck bit far from the range", {{0x80000, 0x80004, 0, 1}}, {}, {}, true, 0x1000, 64, false},
        {"a shorted address line", {}, {{12, 4, 0}}, {}, true, 0x1000, 64, false},
        {"bit flips", {}, {}, {{0.001, 7, 0x80000, 0x90000}}, true, 0x1000, 64, false},
        {"outside the timing window", {}, {}, {}, false, 0x1000, 64, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        SdramModel m(1 << 20);
        int broughtUp = 0;
        m.SetBeforeRead([&] { ++broughtUp; });
        std::vector<uint8_t> data(0x400);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13 + 5);
        m.Write(row.addr & ~uint64_t{0xFF}, data.data(), std::min<size_t>(data.size(), (1 << 20) - (row.addr & ~uint64_t{0xFF})));
        m.SetFaults(row.stuck, row.alias, row.flips);
        m.SetTimingMargin(row.margin);
        const uint8_t* view = m.ReadView(row.addr, row.len);
        ASSERT_EQ(view != nullptr, row.viewed);
        EXPECT_EQ(broughtUp, row.viewed ? 1 : 0) << "the DMA is brought up to date for a view as for a read";
        if (view) {
            std::vector<uint8_t> read(row.len);
            ASSERT_EQ(m.Read(row.addr, read.data(), row.len), row.len);
            EXPECT_EQ(std::vector<uint8_t>(view, view + row.len), read);
        }
        m.SetFaults({}, {}, {});
        m.SetTimingMargin(true);
        EXPECT_EQ(m.ReadView(0x1000, 64) != nullptr, true) << "healthy again";
    }
}

Runs RunsOf(uint32_t start, uint32_t lines, uint32_t initial, uint32_t lineLength, uint32_t pad, bool is16, uint64_t* bytes = nullptr) {
    sim::DcbImage d;
    d.w[0] = is16 ? 1u << 13 : 0;
    d.w[2] = start;
    d.w[3] = lines << 16 | initial;
    d.w[4] = pad << 16 | lineLength;
    if (bytes) *bytes = d.Bytes();
    Runs runs;
    sim::DmaEngine::ForEachRun(d, [&](uint64_t at, uint64_t len) { runs.emplace_back(at, len); });
    return runs;
}

TEST(DmaGeometry, LinesCountDwordsPadSkipsAfterEachLineAndAStuckControlBitHoldsOnlyItsWord) {
    for (bool is16 : {false, true}) {
        EXPECT_EQ(RunsOf(0x1000, 3, 5, 7, 0, is16), (Runs{{0x1000, 104}})) << "5 + 3 x 7 DWORDs, no pad: one block";
        EXPECT_EQ(RunsOf(0x1000, 3, 5, 7, 2, is16), (Runs{{0x1000, 20}, {0x1000 + 28, 28}, {0x1000 + 64, 28}, {0x1000 + 100, 28}}));
    }
    uint64_t bytes = 0;
    EXPECT_TRUE(RunsOf(0x40, 0, 0, 0, 3, false).empty());
    EXPECT_EQ(RunsOf(0, 2, 0, 4, 1, false), (Runs{{0, 16}, {20, 16}})) << "an empty initial line leaves no gap";
    RunsOf(0, 0xFFFF, 0xFFFF, 0xFFFF, 1, true, &bytes);
    EXPECT_EQ(bytes, 4ull * 0x10000 * 0xFFFF) << "beyond 32 bits of bytes";
    // One 8 MiB main board whose channel 20 enable is stuck at 1, channel 21's at 0, bit 5 of channel 22's at 1.
    sim::RigConfig rig;
    std::string error;
    ASSERT_TRUE(sim::ParseRig(R"({"boards": [{"tag": "B1", "kind": "brimola", "sdram_mib": 8}], "faults": [
        {"kind": "register_stuck_bit", "board": "B1", "offset": "0x58050", "bit": 0, "value": 1},
        {"kind": "register_stuck_bit", "board": "B1", "offset": "0x58054", "bit": 0},
        {"kind": "register_stuck_bit", "board": "B1", "offset": "0x58058", "bit": 5, "value": 1}]})", "r.json", rig, error)) << error;
    sim::HostMemory host(64ull << 20);
    sim::WexalFpga f(rig.boards[0], host, rig.dmaTiming);
    auto control = [](int c) { return sim::WexalFpga::kControlBase + 4u * static_cast<uint32_t>(c); };
    for (uint32_t v : {0u, 1u}) {
        for (int c = 0; c < 64; ++c) f.Write32(control(c), v);
        for (int c = 0; c < 64; ++c) ASSERT_EQ(f.Read32(control(c)), c == 20 ? 1 : c == 21 ? 0 : c == 22 ? v | 0x20 : v) << c << " after " << v;
    }
    // Disabled by the program but enabled by the fault starts; the reverse refuses; a neighbour obeys the program.
    const struct { int channel; uint32_t enable, tag; } rows[] = {{20, 0, 0xABC}, {21, 1, 0}, {24, 1, 0xABC}, {24, 0, 0}};
    for (const auto& row : rows) {
        const uint32_t c = static_cast<uint32_t>(row.channel);
        f.Write32(control(row.channel), row.enable);
        f.Write32(sim::WexalFpga::kFlushBase + 4 * c, 1);
        f.Write32(sim::DcbStore::Offset(row.channel, 1, 1), 0x0ABC0000);
        f.Write32(sim::DcbStore::Offset(row.channel, 1, 3), 16);  // BCU 0 has no Go: the DCB stays live
        f.Write32(sim::WexalFpga::kTriggerBase + 4 * c, 1);
        EXPECT_EQ(f.Read32(sim::DcbStore::Offset(row.channel, 0, 1)) >> 16 & 0xFFF, row.tag) << row.channel << " enable " << row.enable;
    }
}

uint8_t Address(const char* name) {
    for (const auto& r : TemperatureSensor::kRegisters)
        if (std::string(r.name) == name) return r.address;
    ADD_FAILURE() << "no register " << name;
    return 0xEE;
}
uint8_t Read(TemperatureSensor& s, const char* name) { return s.ReadRegister(Address(name)); }

TEST(RegisterMap, LaterClaimsTakeTheirRegistersWholeGranulesOrInPart) {
    // Each block answers its own id and keeps the last offset written to it.
    struct Block : sim::RegisterBlock {
        explicit Block(uint32_t id) : id(id) {}
        uint32_t Read(uint32_t) override { return id; }
        void Write(uint32_t offset, uint32_t) override { written = offset; }
        uint32_t id, written = 0;
    } a(1), b(2), c(3), d(4);
    sim::RegisterMap map;
    map.Add(0, 0x10000, &a);
    map.Add(0x4000, 0x4008, &b);  // part of one granule
    map.Add(0x4010, 0x4300, &c);  // over part of b, whole granules and part of the next
    map.Add(0xFFFF0, 0x100010, &d);  // runs past the window
    map.Add(0x8000, 0x8000, &d);  // empty: claims nothing
    const std::pair<uint32_t, uint32_t> rows[] = {{0, 1},      {0x3FFC, 1}, {0x4000, 2}, {0x4007, 2}, {0x4008, 1}, {0x4010, 3},
                                                  {0x4020, 3}, {0x42FC, 3}, {0x4300, 1}, {0x8000, 1}, {0xFFFC, 1},
                                                  {0x10000, 0}, {0xFFFFC, 4}, {0x100000, 0}};
    for (const auto& [offset, id] : rows) {
        EXPECT_EQ(map.Read(offset), id) << std::hex << offset;
        map.Write(offset, 0);
    }
    EXPECT_EQ(std::vector<uint32_t>({a.written, b.written, c.written, d.written}), std::vector<uint32_t>({0xFFFC, 0x4004, 0x42FC, 0xFFFFC}));
}

TEST(TemperatureSensor, WritesReachOnlyLimitsConfigurationStatusAndFaultsAndTheClockPartPowersUpAt133MHz) {
    BoardConfig cfg = sim::DefaultBoard(BoardKind::Brimola, "B");
    cfg.sensors.tempC[0] = -10;
    TemperatureSensor s(cfg);
    const std::pair<const char*, uint8_t> writes[] = {{"1RHI", 44}, {"1TEMP", 99}, {"MANID", 0x55}, {"RCONF", 0x80}};
    for (const auto& [name, v] : writes) s.WriteRegister(Address(name), v);
    const std::pair<const char*, int> reads[] = {{"1RHI", 44}, {"1TEMP", 45}, {"MANID", 1}, {"RCONF", 0x80}, {"STAT2", 0x40}, {"LTEMP", 0xF6}};
    for (const auto& [name, v] : reads) EXPECT_EQ(Read(s, name), v) << name;
    EXPECT_TRUE(s.OverLimit()) << "45 C over a 44 C limit";
    cfg = sim::DefaultBoard(BoardKind::Brimola, "B");
    cfg.faults.sensorOverLimit = {{2, 5}, {1, 60}};
    cfg.faults.sensorBadReading = {{3, 200, 3}, {0, 0, 0}};
    TemperatureSensor f(cfg);
    const std::pair<const char*, int> faulty[] = {{"2TEMP", 90}, {"1TEMP", 127}, {"STAT1", 0x10}, {"STAT2", 0x42}};  // 127 C tops out
    for (const auto& [name, value] : faulty) EXPECT_EQ(Read(f, name), value) << name;
    EXPECT_EQ(f.Reading(3), static_cast<int8_t>(200)) << "looking does not count as a read";
    cfg.faults.sensorOverLimit.clear();
    EXPECT_FALSE(TemperatureSensor(cfg).OverLimit()) << "200 is -56 C to the part's own comparator";
    sim::ClockSynth c;
    uint8_t regs[8];
    ASSERT_EQ(c.Read(0, regs, 8), 8u);
    EXPECT_EQ(regs[0] * 0x1000000u + regs[3] * 0x10000u + regs[4] * 0x100u + regs[5], 0x508F0122u) << "power-up: 133 MHz";
}

// Limits that differ on every channel, from the rig file: each channel is held to its own, whether read,
// compared in the status registers or topped by an over-limit fault.
TEST(TemperatureSensor, EachChannelIsHeldToItsOwnLimitFromTheRigFile) {
    // A channel: its rig-file keys, its registers and the status register and bit that show it over its limit.
    struct Channel { const char *temp, *limit, *tempReg, *limitReg, *status; uint8_t bit; int tempC, limitC; };
    const Channel channels[] = {
        {"local_temp_c", "local_temp_limit_c", "LTEMP", "LRHI", "STAT1", 0x40, 61, 60},
        {"fpga_temp_c", "fpga_temp_limit_c", "1TEMP", "1RHI", "STAT2", 0x40, 70, 71},
        {"remote2_temp_c", "remote2_temp_limit_c", "2TEMP", "2RHI", "STAT1", 0x10, 79, 78},
        {"remote3_temp_c", "remote3_temp_limit_c", "3TEMP", "3RHI", "STAT2", 0x10, 90, 91},
    };
    std::string sensors;
    for (const Channel& c : channels)
        sensors += std::string(sensors.empty() ? "" : ", ") + "\"" + c.temp + "\": " + std::to_string(c.tempC) + ", \"" + c.limit +
                   "\": " + std::to_string(c.limitC);
    const std::string board = R"({"boards": [{"tag": "B", "kind": "brimola", "sensors": {)" + sensors + "}}], \"faults\": [";
    sim::RigConfig rig;
    std::string error;
    ASSERT_TRUE(sim::ParseRig(board + "]}", "r.json", rig, error)) << error;
    TemperatureSensor s(rig.boards[0]);
    for (const Channel& c : channels) {
        SCOPED_TRACE(c.tempReg);
        EXPECT_EQ(Read(s, c.tempReg), c.tempC);
        EXPECT_EQ(Read(s, c.limitReg), c.limitC);
        EXPECT_EQ(Read(s, c.status) & c.bit, c.tempC > c.limitC ? c.bit : 0);
        // Over its limit by a channel's own amount: its own limit plus that, and only its status bit.
        const int by = c.bit == 0x40 ? 2 : 3;
        ASSERT_TRUE(sim::ParseRig(board + R"({"kind": "sensor_over_limit", "board": "B", "sensor": ")" + c.tempReg + "\", \"by\": " +
                                      std::to_string(by) + "}]}", "r.json", rig, error)) << error;
        TemperatureSensor over(rig.boards[0]);
        EXPECT_EQ(Read(over, c.tempReg), c.limitC + by);
        EXPECT_EQ(Read(over, c.status) & c.bit, c.bit);
        EXPECT_TRUE(over.OverLimit());
        // Raising every limit but this channel's own above the readings leaves only its bit.
        for (const Channel& other : channels)
            if (&other != &c) over.WriteRegister(Address(other.limitReg), 120);
        EXPECT_EQ(Read(over, "STAT1") | Read(over, "STAT2") << 8, c.bit << (c.status[4] == '2' ? 8 : 0));
        EXPECT_TRUE(over.OverLimit());
        over.WriteRegister(Address(c.limitReg), static_cast<uint8_t>(c.limitC + by));
        EXPECT_FALSE(over.OverLimit()) << "equal is not over";
    }
}

// Sets the clock as the calibration does, with no read-back: 256 steps up, then 255 - v down.
void SetClock(MemoryClock& c, int v) {
    for (int i = 0; i < 256; ++i) c.Write(MemoryClock::kStepUp, 1);
    for (int i = 0; i < 255 - v; ++i) c.Write(MemoryClock::kStepDown, 0);
}

// Writes a 64 KiB pattern and answers how many words read back wrong.
size_t BadWords(sim::SdramModel& m, uint32_t seed) {
    std::vector<uint32_t> out(0x4000), in(0x4000);
    for (size_t i = 0; i < out.size(); ++i) out[i] = seed * 0x9E3779B9u + static_cast<uint32_t>(i) * 0x01000193u;
    m.Write(0, out.data(), 0x10000);
    m.Read(0, in.data(), 0x10000);
    size_t bad = 0;
    for (size_t i = 0; i < in.size(); ++i) bad += in[i] != out[i];
    return bad;
}

// The settings in [lo, hi] (every step) at which the pattern reads back.
std::vector<int> Window(const sim::BoardConfig& cfg, int lo, int hi, int step = 1) {
    sim::SdramModel sdram(8 << 20);
    MemoryClock clock(cfg, sdram);
    std::vector<int> good;
    for (int v = lo; v <= hi; v += step) {
        SetClock(clock, v);
        if (clock.Setting() == v && BadWords(sdram, static_cast<uint32_t>(v)) == 0) good.push_back(v);
    }
    return good;
}

// The SPD's size bytes: 4 MB x ranks (byte 5) x rank density (byte 31). A size they can make comes
// back exactly, in the fewest ranks that keep the density at 0x80 or below when it halves evenly; a
// size they cannot make is told apart (the rig check refuses it) and its bytes make a smaller one.
TEST(SpdSize, RanksTimesDensityTimesFourMakesTheSizeOrTheSizeIsToldApart) {
    const struct {
        uint64_t mib;
        int ranks, density;
        bool exact;
    } rows[] = {
        {4, 1, 1, true},       {256, 1, 64, true},    {512, 1, 128, true},   {516, 1, 129, true},
        {1020, 1, 255, true},  {1024, 2, 128, true},  {2040, 2, 255, true},  {4080, 4, 255, true},
        {4096, 8, 128, true},  {513, 1, 128, false},  {515, 1, 128, false},  {257, 1, 64, false},
        {6, 1, 1, false},      {1028, 1, 255, false}, {2056, 2, 255, false},
    };
    for (const auto& row : rows) {
        const sim::SpdSizeBytes size = sim::SpdSizeFor(row.mib);
        EXPECT_EQ(std::make_tuple(int{size.ranks}, int{size.density}, size.exact), std::make_tuple(row.ranks, row.density, row.exact))
            << row.mib;
        EXPECT_EQ(4u * size.ranks * size.density == row.mib, row.exact) << row.mib;
    }
    // The image carries them, a module's fault only its own, and byte 63 still sums bytes 0-62.
    BoardConfig config;
    config.sdramBytes = 512ull << 20;
    config.faults.spdSize.push_back({2, 516});
    const auto module1 = sim::BuildSpdImage(config, 1), module2 = sim::BuildSpdImage(config, 2);
    EXPECT_EQ(std::make_pair(int{module1[5]}, int{module1[31]}), std::make_pair(1, 128)) << "the healthy 512 MB";
    EXPECT_EQ(std::make_pair(int{module2[5]}, int{module2[31]}), std::make_pair(1, 129));
    uint8_t sum = 0;
    for (int i = 0; i < 63; ++i) sum = static_cast<uint8_t>(sum + module2[static_cast<size_t>(i)]);
    EXPECT_EQ(module2[63], sum);
}

TEST(MemoryClock, StepsSaturateAndOnlyTheWindowReadsReliably) {
    sim::BoardConfig cfg = sim::DefaultBoard(sim::BoardKind::Nuxa, "N");
    sim::SdramModel sdram(8 << 20);
    MemoryClock clock(cfg, sdram);
    EXPECT_EQ(BadWords(sdram, 1), 0u) << "the power-up setting lies in the default window";
    for (int i = 0; i < 300; ++i) clock.Write(MemoryClock::kStepUp, 1);
    EXPECT_EQ(clock.Setting() + clock.Read(MemoryClock::kStepUp), 255u) << "saturates; no read-back";
    for (int i = 0; i < 300; ++i) clock.Write(MemoryClock::kStepDown, 0);
    EXPECT_EQ(clock.Setting(), 0);
    // Outside the window about one word in eight reads wrong; the cells keep their data.
    SetClock(clock, 100);
    const size_t bad = BadWords(sdram, 2);
    EXPECT_TRUE(bad > 0x4000 / 16 && bad < 0x4000 / 4) << bad;
    SetClock(clock, 160);
    uint32_t w = 0;
    sdram.Read(0, &w, 4);
    EXPECT_EQ(w, 2 * 0x9E3779B9u) << "back in the window the written data reads back";
    const std::vector<int> good = Window(cfg, 90, 250);
    ASSERT_EQ(good.size(), 101u) << "one unbroken window";
    EXPECT_EQ(good.front(), 110);
}

TEST(MemoryClock, WindowFaultsAndTheStoredWordThatSurvivesAPowerCycleOnlyWithAStoreFile) {
    sim::BoardConfig cfg = sim::DefaultBoard(sim::BoardKind::Brimola, "B");
    cfg.faults.clockWindowShift = 40;
    const std::vector<int> shifted = Window(cfg, 140, 255, 5);
    ASSERT_FALSE(shifted.empty());
    EXPECT_EQ(shifted.front() * 1000 + shifted.back(), 150250);
    cfg.faults.clockWindowShift = 0;
    cfg.faults.clockNoWindow = true;
    EXPECT_TRUE(Window(cfg, 0, 255, 15).empty());
    support::TempDir dir;
    cfg = sim::DefaultBoard(sim::BoardKind::Brimola, "B");
    cfg.memoryClock.store = dir / "clock";
    sim::SdramModel sdram(8 << 20);
    const struct { const char* name; uint32_t before, write; int setting; } rows[] = {
        {"never calibrated", 0, 123, MemoryClock::kPowerUpSetting}, {"powers up at the stored setting", 123, 0x12345678, 123},
        {"a word that is not a setting", 0x12345678, 0, MemoryClock::kPowerUpSetting}};
    for (const auto& row : rows) {
        MemoryClock clock(cfg, sdram);
        EXPECT_EQ(clock.Read(MemoryClock::kStoredWord), row.before) << row.name;
        EXPECT_EQ(clock.Setting(), row.setting) << row.name;
        clock.Write(MemoryClock::kStoredWord, row.write);
    }
    dir.Write("clock", "garbage\n");
    EXPECT_EQ(MemoryClock(cfg, sdram).StoredWord(), 0u) << "an unreadable store reads as never calibrated";
}

}  // namespace
