// SDRAM, host memory and DMA models: healthy access, each SDRAM fault, DCB geometry, and a stuck channel control bit.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sim/dma_engine.h"
#include "sim/host_memory.h"
#include "sim/rig_config.h"
#include "sim/sdram.h"
#include "sim/wexal_fpga.h"

namespace {

using sim::SdramModel;

std::vector<uint32_t> ReadAll(SdramModel& m, size_t words) {
    std::vector<uint32_t> v(words);
    m.Read(0, v.data(), words * 4);
    return v;
}

TEST(Sdram, HealthyAccessClipsAtTheEndAndAStuckBitHoldsInItsRangeThroughWritesAndWindows) {
    SdramModel m(1 << 20);
    uint32_t back = 0;
    EXPECT_EQ(m.Map((1 << 20) - 4, 8), nullptr) << "no window past the end";
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
}

TEST(Sdram, ShortedOrStuckAddressLineMakesAddressesShareCells) {
    SdramModel m(1 << 20);
    m.SetFaults({}, {{12, 4, 0}}, {});  // line 12 follows line 4
    const uint32_t a = 0xAAAA0001, b = 0xBBBB0002, c = 0x12345678;
    uint32_t r = 0;
    m.Write(0x0010, &a, 4);
    m.Write(0x1000, &b, 4);
    m.Write(0x2018, &c, 4);  // lines 4 and 12 agree: its own cell
    for (const auto& [addr, want] : {std::pair{0x1010u, a}, {0x0000u, b}, {0x2018u, c}}) {
        m.Read(addr, &r, 4);
        EXPECT_EQ(r, want) << std::hex << addr;
    }
    SdramModel t(1 << 20);
    t.SetFaults({}, {{16, -1, 0}}, {});  // line 16 stuck at 0: the power-of-two test's view
    for (uint32_t addr = 4; addr < (1 << 20); addr <<= 1) t.Write(addr, &addr, 4);
    t.Read(0, &r, 4);
    EXPECT_EQ(r, 0x10000u) << "the write to 0x10000 landed on address 0";
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

TEST(HostMemory, TranslationReuseAndLimit) {
    using Status = sim::HostMemory::Status;
    sim::HostMemory mem(0x4000);
    void *a = nullptr, *b = nullptr;
    uint64_t ba = 0, bb = 0;
    ASSERT_EQ(mem.Alloc(0x3000, &a, &ba), Status::Ok);
    EXPECT_EQ(ba % 0x1000 + (ba >> 32), 0u) << "page aligned, below 4 GiB";
    EXPECT_EQ(mem.Translate(ba + 0x10, 16), static_cast<uint8_t*>(a) + 0x10);
    EXPECT_FALSE(mem.Translate(ba + 0x2FF8, 16) || mem.Translate(ba - 4, 4)) << "outside the block";
    EXPECT_EQ(mem.BusAddressOf(static_cast<uint8_t*>(a) + 8), ba + 8);
    EXPECT_EQ(mem.Alloc(0x2000, &b, &bb), Status::NoMemory);
    static_cast<uint8_t*>(a)[0] = 1;
    EXPECT_TRUE(mem.Free(a) && !mem.Free(a));
    EXPECT_EQ(mem.Translate(ba, 4), nullptr);
    ASSERT_EQ(mem.Alloc(0x1000, &b, &bb), Status::Ok);
    EXPECT_EQ(bb, ba) << "first fit reuses the freed bus range";
    EXPECT_EQ(static_cast<uint8_t*>(b)[0], 0) << "blocks come zeroed";
    EXPECT_EQ(mem.Alloc(0, &b, &bb), Status::BadArgument);
}

using Runs = std::vector<std::pair<uint64_t, uint64_t>>;

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

TEST(DmaGeometry, LinesCountDwordsWithEitherFlagAndPadSkipsAfterEachLine) {
    for (bool is16 : {false, true}) {
        EXPECT_EQ(RunsOf(0x1000, 3, 5, 7, 0, is16), (Runs{{0x1000, 104}})) << "5 + 3 x 7 DWORDs, no pad: one block";
        EXPECT_EQ(RunsOf(0x1000, 3, 5, 7, 2, is16), (Runs{{0x1000, 20}, {0x1000 + 28, 28}, {0x1000 + 64, 28}, {0x1000 + 100, 28}}));
    }
    uint64_t bytes = 0;
    EXPECT_TRUE(RunsOf(0x40, 0, 0, 0, 3, false).empty());
    EXPECT_EQ(RunsOf(0, 2, 0, 4, 1, false), (Runs{{0, 16}, {20, 16}})) << "an empty initial line leaves no gap";
    RunsOf(0, 0xFFFF, 0xFFFF, 0xFFFF, 1, true, &bytes);
    EXPECT_EQ(bytes, 4ull * 0x10000 * 0xFFFF) << "beyond 32 bits of bytes";
}

// One 8 MiB main board whose channel 20 enable is stuck at 1, channel 21's at 0, bit 5 of channel 22's at 1.
TEST(ChannelControlStuckBit, HoldsOnlyItsControlWordAndTheEngineObeysIt) {
    sim::RigConfig rig;
    std::string error;
    ASSERT_TRUE(sim::ParseRig(R"({"boards": [{"tag": "B1", "kind": "brimola", "sdram_mib": 8}], "faults": [
        {"kind": "register_stuck_bit", "board": "B1", "offset": "0x58050", "bit": 0, "value": 1},
        {"kind": "register_stuck_bit", "board": "B1", "offset": "0x58054", "bit": 0},
        {"kind": "register_stuck_bit", "board": "B1", "offset": "0x58058", "bit": 5, "value": 1}]})", "r.json", rig, error)) << error;
    sim::HostMemory host(64ull << 20);
    sim::WexalFpga f(rig.boards[0], host, rig.dmaTiming);
    auto control = [](int c) { return sim::WexalFpga::kControlBase + 4u * static_cast<uint32_t>(c); };
    EXPECT_EQ(f.Read32(control(21)) * 0x100 + f.Read32(control(22)), 0x21u) << "shows before any write";
    for (uint32_t v : {0u, 1u}) {
        for (int c = 0; c < 64; ++c) f.Write32(control(c), v);
        for (int c = 0; c < 64; ++c) ASSERT_EQ(f.Read32(control(c)), c == 20 ? 1 : c == 21 ? 0 : c == 22 ? v | 0x20 : v) << c << " after " << v;
    }
    // Disabled by the program but enabled by the fault starts; the reverse refuses; a neighbour obeys the program.
    const struct {
        int channel;
        uint32_t enable, tag;
    } rows[] = {{20, 0, 0xABC}, {21, 1, 0}, {24, 1, 0xABC}, {24, 0, 0}};
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

}  // namespace
