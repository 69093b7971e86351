// Memory clock: stepping, the window of reliable SDRAM reads, window faults and the stored clock word with its store file.
#include "sim/mem_clock.h"

#include <gtest/gtest.h>

#include "sim/sdram.h"
#include "tests/support/temp_dir.h"

namespace {

using sim::MemoryClock;

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

TEST(MemoryClock, StepsSaturateAndOnlyTheWindowReadsReliably) {
    sim::BoardConfig cfg = sim::DefaultBoard(sim::BoardKind::Nuxa, "N");
    sim::SdramModel sdram(8 << 20);
    MemoryClock clock(cfg, sdram);
    EXPECT_EQ(BadWords(sdram, 1), 0u) << "the power-up setting lies in the default window";
    for (int i = 0; i < 300; ++i) clock.Write(MemoryClock::kStepUp, 1);
    EXPECT_EQ(clock.Setting() + clock.Read(MemoryClock::kStepUp), 255u) << "saturates; no read-back";
    for (int i = 0; i < 300; ++i) clock.Write(MemoryClock::kStepDown, 0);
    EXPECT_EQ(clock.Setting(), 0);
    // Outside the window about one word in eight reads wrong, differently each time; the cells keep their data.
    SetClock(clock, 100);
    const size_t bad = BadWords(sdram, 2);
    EXPECT_TRUE(bad > 0x4000 / 16 && bad < 0x4000 / 4) << bad;
    std::vector<uint32_t> a(0x4000), b(0x4000);
    sdram.Read(0, a.data(), 0x10000);
    sdram.Read(0, b.data(), 0x10000);
    EXPECT_NE(a, b);
    EXPECT_FALSE(std::equal(a.begin(), a.end(), reinterpret_cast<const uint32_t*>(sdram.Map(0, 0x10000)))) << "windows too";
    SetClock(clock, 160);
    sdram.Read(0, b.data(), 0x10000);
    EXPECT_EQ(b[5], 2 * 0x9E3779B9u + 5 * 0x01000193u) << "back in the window the written data reads back";
    const std::vector<int> good = Window(cfg, 90, 250);
    ASSERT_EQ(good.size(), 101u) << "one unbroken window";
    EXPECT_EQ(good.front(), 110);
}

TEST(MemoryClock, WindowFaultsMoveOrRemoveTheWindow) {
    sim::BoardConfig cfg = sim::DefaultBoard(sim::BoardKind::Brimola, "B");
    cfg.faults.clockWindowShift = 40;
    const std::vector<int> shifted = Window(cfg, 140, 255, 5);
    ASSERT_FALSE(shifted.empty());
    EXPECT_EQ(shifted.front() * 1000 + shifted.back(), 150250);
    cfg.faults.clockWindowShift = 0;
    cfg.faults.clockNoWindow = true;
    EXPECT_TRUE(Window(cfg, 0, 255, 15).empty());
}

TEST(MemoryClock, StoredWordSurvivesAPowerCycleOnlyWithAStoreFile) {
    support::TempDir dir;
    sim::BoardConfig cfg = sim::DefaultBoard(sim::BoardKind::Brimola, "B");
    cfg.memoryClock.store = dir / "clock";
    sim::SdramModel sdram(8 << 20);
    const struct {
        const char* name;
        uint32_t before, write;
        int setting;
    } rows[] = {{"never calibrated", 0, 123, MemoryClock::kPowerUpSetting},
                {"powers up at the stored setting", 123, 0x12345678, 123},
                {"a word that is not a setting", 0x12345678, 0, MemoryClock::kPowerUpSetting}};
    for (const auto& row : rows) {
        MemoryClock clock(cfg, sdram);
        EXPECT_EQ(clock.Read(MemoryClock::kStoredWord), row.before) << row.name;
        EXPECT_EQ(clock.Setting(), row.setting) << row.name;
        clock.Write(MemoryClock::kStoredWord, row.write);
    }
    dir.Write("clock", "garbage\n");
    EXPECT_EQ(MemoryClock(cfg, sdram).StoredWord(), 0u) << "an unreadable store reads as never calibrated";
    cfg.memoryClock.store.clear();
    MemoryClock(cfg, sdram).Write(MemoryClock::kStoredWord, 99);
    EXPECT_EQ(MemoryClock(cfg, sdram).StoredWord(), 0u) << "without a store the word starts at 0";
}

}  // namespace
