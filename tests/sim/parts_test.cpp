// I2C part models (SPD, temperature sensor, clock), product-data images and the memory clock with its window and stored word.
#include <gtest/gtest.h>

#include <map>
#include <numeric>

#include "sim/i2c_parts.h"
#include "sim/mem_clock.h"
#include "sim/sdram.h"
#include "sim/vpd.h"
#include "tests/support/temp_dir.h"

namespace {

using sim::BoardConfig;
using sim::BoardKind;
using sim::MemoryClock;
using sim::TemperatureSensor;
using sim::VpdDefect;

using Spd = std::array<uint8_t, sim::SpdEeprom::kBytes>;

// Size in MB as the DIMM report computes it: ranks x rank density x 4.
unsigned SizeMb(const Spd& s) { return s[5] * s[31] * 4u; }
bool ChecksumOk(const Spd& s) { return s[63] == (std::accumulate(s.begin(), s.begin() + 63, 0u) & 0xFF); }

TEST(SpdImage, ModulesOfEachKindTheirFaultsAndTheChecksum) {
    for (const BoardKind kind : {BoardKind::Brimola, BoardKind::Nuxa}) {
        const BoardConfig cfg = sim::DefaultBoard(kind, "B");
        const Spd m1 = sim::BuildSpdImage(cfg, 1), m2 = sim::BuildSpdImage(cfg, 2);
        EXPECT_EQ(m1[3] * 100 + m1[4], kind == BoardKind::Brimola ? 1311 : 1310);
        EXPECT_EQ((SizeMb(m1) + SizeMb(m2)) / 2, cfg.sdramBytes >> 20) << "two modules hold the two halves of each word";
        EXPECT_TRUE(std::equal(m1.begin(), m1.begin() + 67, m2.begin()) && m1 != m2) << "bytes 0-66 match, serial numbers differ";
        EXPECT_TRUE(ChecksumOk(m1));
    }
    BoardConfig cfg = sim::DefaultBoard(BoardKind::Brimola, "B");
    cfg.sdramBytes = 2048ull << 20;
    EXPECT_EQ(SizeMb(sim::BuildSpdImage(cfg, 1)) * 1000 + sim::BuildSpdImage(cfg, 1)[31], 2048000u + 0x80) << "ranks of at most 512 MB";
    cfg = sim::DefaultBoard(BoardKind::Brimola, "B");
    cfg.faults.spdGeometry.push_back({2, 12, 9});
    cfg.faults.spdSize.push_back({0, 0});  // both modules, half size
    const Spd m1 = sim::BuildSpdImage(cfg, 1), m2 = sim::BuildSpdImage(cfg, 2);
    EXPECT_EQ((m1[3] * 100 + m1[4]) * 10000 + m2[3] * 100 + m2[4], 13111209);
    EXPECT_EQ(SizeMb(m1) + SizeMb(m2), 512u);
    EXPECT_TRUE(ChecksumOk(m1) && ChecksumOk(m2));
    cfg.faults.spdSize = {{1, 128}};
    EXPECT_EQ(SizeMb(sim::BuildSpdImage(cfg, 1)) * 1000 + SizeMb(sim::BuildSpdImage(cfg, 2)), 128512u);
}

uint8_t Address(const char* name) {
    for (const auto& r : TemperatureSensor::kRegisters)
        if (std::string(r.name) == name) return r.address;
    ADD_FAILURE() << "no register " << name;
    return 0xEE;
}
uint8_t Read(TemperatureSensor& s, const char* name) { return s.ReadRegister(Address(name)); }

TEST(TemperatureSensor, WritesReachOnlyLimitsAndConfigurationStatusFollowsAndItsFaults) {
    BoardConfig cfg = sim::DefaultBoard(BoardKind::Brimola, "B");
    cfg.sensors.tempC[0] = -10;
    TemperatureSensor s(cfg);
    EXPECT_FALSE(s.OverLimit());
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
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Read(f, "3TEMP"), 200) << "read " << i;
    EXPECT_EQ(Read(f, "3TEMP"), 42) << "recovered after three reads";
    for (int i = 0; i < 100; ++i) ASSERT_EQ(Read(f, "LTEMP"), 0) << "a count of 0 stays";
    cfg.faults.sensorOverLimit.clear();
    EXPECT_FALSE(TemperatureSensor(cfg).OverLimit()) << "200 is -56 C to the part's own comparator";
}

TEST(ClockSynth, PowerUpRegistersAndTransfersStopAtTheEndOfThePart) {
    sim::ClockSynth c;
    uint8_t regs[8];
    ASSERT_EQ(c.Read(0, regs, 8), 8u);
    EXPECT_EQ(regs[0] * 0x1000000u + regs[3] * 0x10000u + regs[4] * 0x100u + regs[5], 0x508F0122u) << "power-up: 133 MHz";
    const uint8_t two[2] = {1, 2};
    EXPECT_EQ(c.Write(7, two, 2) + c.Write(8, two, 1) + c.Read(9, regs, 1), 1u);
    EXPECT_EQ(c.Register(7), 1);
}

// Positions of the read-only tag and the end tag, as the structure check walks them.
std::pair<size_t, size_t> Tags(const std::vector<uint8_t>& img) {
    const size_t ro = img[1] + 256u * img[2] + 3;
    return {ro, ro + img[ro + 1] + 256u * img[ro + 2] + 3};
}

unsigned SumThroughChecksum(const std::vector<uint8_t>& img, size_t end) {
    unsigned sum = 0;
    for (size_t i = 0; i <= end + 1; ++i) sum += img[i];
    return sum & 0xFF;
}

// Fields of the read-only resource, parsed independently of the builder.
std::map<std::string, std::string> Fields(const std::vector<uint8_t>& img) {
    std::map<std::string, std::string> out;
    const auto [ro, end] = Tags(img);
    for (size_t at = ro + 3; at + 3 <= end; at += 3 + img[at + 2])
        out[std::string{static_cast<char>(img[at]), static_cast<char>(img[at + 1])}] =
            std::string(img.begin() + static_cast<long>(at + 3), img.begin() + static_cast<long>(at + 3 + img[at + 2]));
    return out;
}

TEST(VpdImage, DefaultFieldsNameTheFirmwareOfRevision0202) {
    const auto main = Fields(sim::BuildVpdImage(sim::DefaultBoard(BoardKind::Brimola, "B")));
    // "$(VPDVER)" is the first four characters of ZB followed by those of ZC.
    EXPECT_EQ(main.at("ZB").substr(0, 4) + main.at("ZC").substr(0, 4), "0202");
    EXPECT_EQ(main.at("V0") + main.at("V1") + main.at("V2") + main.at("V3") + main.at("V4"), "LOCV0202TAZU0202TAZU0202FESK0202FESK0202");
    EXPECT_EQ(main.at("PN") + main.at("ZA"), sim::kBrimolaPartNumber + std::string("02"));
    EXPECT_NE(Fields(sim::BuildVpdImage(sim::DefaultBoard(BoardKind::Nuxa, "N"))).at("SN"), main.at("SN"));
}

TEST(VpdImage, EachStructureFaultDamagesItsOwnPart) {
    const BoardConfig healthy = sim::DefaultBoard(BoardKind::Brimola, "B");
    const auto good = sim::BuildVpdImage(healthy);
    const auto [ro, end] = Tags(good);
    auto broken = [&](VpdDefect d) {
        BoardConfig c = healthy;
        c.faults.vpdBroken = {d};
        return sim::BuildVpdImage(c);
    };
    auto img = broken(VpdDefect::NameTag);
    EXPECT_NE(img[0], 0x82);
    EXPECT_TRUE(std::equal(img.begin() + 1, img.end(), good.begin() + 1)) << "only the name tag changes";
    img = broken(VpdDefect::VpdTag);
    EXPECT_TRUE(img[0] == 0x82 && img[ro] != 0x90);
    img = broken(VpdDefect::EndTag);
    EXPECT_TRUE(img[ro] == 0x90 && img[end] != 0x79);
    img = broken(VpdDefect::Length);
    EXPECT_TRUE(img[Tags(img).second] != 0x79 && img[end] == 0x79) << "the claimed length misses the end tag";
    img = broken(VpdDefect::Checksum);
    EXPECT_TRUE(img[end] == 0x79 && SumThroughChecksum(img, end) != 0);
    BoardConfig missing = healthy;
    missing.faults.vpdMissing = {"V2"};
    const auto fields = Fields(sim::BuildVpdImage(missing));
    EXPECT_EQ(fields.count("V2"), 0u);
    EXPECT_EQ(fields.at("V1"), "TAZU0202");
    EXPECT_EQ(fields.size(), Fields(good).size() - 1);
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
}

}  // namespace
