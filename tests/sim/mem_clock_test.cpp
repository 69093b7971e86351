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

// Writes a 64 KiB pattern and answers whether it reads back exactly.
bool ReadsBack(sim::SdramModel& m, uint32_t seed) {
    std::vector<uint32_t> out(0x4000), in(0x4000);
    for (size_t i = 0; i < out.size(); ++i) out[i] = seed * 0x9E3779B9u + static_cast<uint32_t>(i) * 0x01000193u;
    m.Write(0, out.data(), 0x10000);
    m.Read(0, in.data(), 0x10000);
    return in == out;
}

TEST(MemoryClock, StepsSaturateAndOnlyTheWindowReadsReliably) {
    sim::BoardConfig cfg = sim::DefaultBoard(sim::BoardKind::Nuxa, "N");
    cfg.sdramBytes = 8 << 20;
    sim::SdramModel sdram(cfg.sdramBytes);
    MemoryClock clock(cfg, sdram);
    EXPECT_EQ(clock.Setting(), MemoryClock::kPowerUpSetting);
    EXPECT_TRUE(ReadsBack(sdram, 1)) << "the power-up setting lies in the default window";
    for (int i = 0; i < 300; ++i) clock.Write(MemoryClock::kStepUp, 1);
    EXPECT_EQ(clock.Setting() + clock.Read(MemoryClock::kStepUp), 255u) << "saturates; no read-back";
    for (int i = 0; i < 300; ++i) clock.Write(MemoryClock::kStepDown, 0);
    EXPECT_EQ(clock.Setting(), 0);

    std::vector<int> good;
    for (int v = 90; v <= 250; ++v) {
        SetClock(clock, v);
        ASSERT_EQ(clock.Setting(), v);
        if (ReadsBack(sdram, static_cast<uint32_t>(v))) good.push_back(v);
    }
    ASSERT_EQ(good.size(), 101u) << "one unbroken window";
    EXPECT_EQ(good.front(), 110);
}

TEST(MemoryClock, OutsideTheWindowReadsFailButTheCellsKeepTheirData) {
    sim::SdramModel sdram(8 << 20);
    sim::BoardConfig cfg = sim::DefaultBoard(sim::BoardKind::Nuxa, "N");
    MemoryClock clock(cfg, sdram);
    std::vector<uint32_t> out(0x4000, 0x5A5AA5A5u), a(0x4000), b(0x4000);
    sdram.Write(0, out.data(), 0x10000);
    SetClock(clock, 100);
    sdram.Read(0, a.data(), 0x10000);
    sdram.Read(0, b.data(), 0x10000);
    size_t bad = 0;
    for (size_t i = 0; i < a.size(); ++i) bad += a[i] != out[i];
    EXPECT_GT(bad, a.size() / 16) << "about one word in eight";
    EXPECT_LT(bad, a.size() / 4);
    EXPECT_NE(a, b) << "unreliable: two reads differ";
    // A window onto the memory shows the same errors.
    const auto* view = reinterpret_cast<const uint32_t*>(sdram.Map(0, 0x10000));
    EXPECT_FALSE(std::equal(out.begin(), out.end(), view));
    SetClock(clock, 160);
    sdram.Read(0, a.data(), 0x10000);
    EXPECT_EQ(a, out) << "back in the window the written data reads back";
    EXPECT_TRUE(sdram.TimingMargin());
}

TEST(MemoryClock, WindowFaultsMoveOrRemoveTheWindow) {
    sim::BoardConfig cfg = sim::DefaultBoard(sim::BoardKind::Brimola, "B");
    cfg.sdramBytes = 8 << 20;
    cfg.faults.clockWindowShift = 40;
    {
        sim::SdramModel sdram(cfg.sdramBytes);
        MemoryClock clock(cfg, sdram);
        EXPECT_EQ(clock.WindowLow() * 1000 + clock.WindowHigh(), 150250);
        SetClock(clock, 140);
        EXPECT_FALSE(ReadsBack(sdram, 3));
        SetClock(clock, 240);
        EXPECT_TRUE(ReadsBack(sdram, 4));
    }
    cfg.faults.clockWindowShift = 0;
    cfg.faults.clockNoWindow = true;
    sim::SdramModel sdram(cfg.sdramBytes);
    MemoryClock clock(cfg, sdram);
    for (int v = 0; v <= 255; v += 15) {
        SetClock(clock, v);
        EXPECT_FALSE(ReadsBack(sdram, static_cast<uint32_t>(v))) << "setting " << v;
    }
}

TEST(MemoryClock, StoredWordSurvivesAPowerCycleOnlyWithAStoreFile) {
    support::TempDir dir;
    sim::BoardConfig cfg = sim::DefaultBoard(sim::BoardKind::Brimola, "B");
    cfg.sdramBytes = 8 << 20;
    cfg.memoryClock.store = dir / "clock";
    {
        sim::SdramModel sdram(cfg.sdramBytes);
        MemoryClock clock(cfg, sdram);
        EXPECT_EQ(clock.Read(MemoryClock::kStoredWord), 0u) << "a board never calibrated";
        clock.Write(MemoryClock::kStoredWord, 123);
        EXPECT_EQ(clock.Read(MemoryClock::kStoredWord), 123u);
    }
    {
        sim::SdramModel sdram(cfg.sdramBytes);
        MemoryClock clock(cfg, sdram);
        EXPECT_EQ(clock.Read(MemoryClock::kStoredWord), 123u);
        EXPECT_EQ(clock.Setting(), 123) << "the board powers up at the stored setting";
        clock.Write(MemoryClock::kStoredWord, 0x12345678);  // not a setting
    }
    {
        sim::SdramModel sdram(cfg.sdramBytes);
        MemoryClock clock(cfg, sdram);
        EXPECT_EQ(clock.Read(MemoryClock::kStoredWord), 0x12345678u);
        EXPECT_EQ(clock.Setting(), MemoryClock::kPowerUpSetting);
    }
    dir.Write("clock", "garbage\n");
    {
        sim::SdramModel sdram(cfg.sdramBytes);
        MemoryClock clock(cfg, sdram);
        EXPECT_EQ(clock.StoredWord(), 0u) << "an unreadable store reads as never calibrated";
    }

    cfg.memoryClock.store.clear();
    sim::SdramModel sdram(cfg.sdramBytes);
    {
        MemoryClock clock(cfg, sdram);
        clock.Write(MemoryClock::kStoredWord, 99);
    }
    MemoryClock again(cfg, sdram);
    EXPECT_EQ(again.StoredWord(), 0u);
}

}  // namespace
