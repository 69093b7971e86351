// I2C part models: SPD images per board kind and their faults, the temperature sensor's registers and faults, clock registers.
#include "sim/i2c_parts.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

using sim::BoardConfig;
using sim::BoardKind;
using sim::TemperatureSensor;

using Spd = std::array<uint8_t, sim::SpdEeprom::kBytes>;

// Size in MB as the DIMM report computes it: ranks x rank density x 4.
unsigned SizeMb(const Spd& s) { return s[5] * s[31] * 4u; }
bool ChecksumOk(const Spd& s) { return s[63] == (std::accumulate(s.begin(), s.begin() + 63, 0u) & 0xFF); }

TEST(SpdImage, HealthyModulesPassTheBoardChecksOfTheirKind) {
    for (const BoardKind kind : {BoardKind::Brimola, BoardKind::Nuxa}) {
        const BoardConfig cfg = sim::DefaultBoard(kind, "B");
        const Spd m1 = sim::BuildSpdImage(cfg, 1), m2 = sim::BuildSpdImage(cfg, 2);
        SCOPED_TRACE(kind == BoardKind::Brimola ? "main board" : "codec board");
        EXPECT_EQ(m1[3] * 100 + m1[4], kind == BoardKind::Brimola ? 1311 : 1310);
        // The two modules hold the low and high order words of the same addresses: together twice the SDRAM.
        EXPECT_EQ((SizeMb(m1) + SizeMb(m2)) / 2, cfg.sdramBytes >> 20);
        EXPECT_TRUE(std::equal(m1.begin(), m1.begin() + 67, m2.begin())) << "bytes 0-66 must match";
        EXPECT_NE(m1, m2) << "serial numbers differ";
        // Burst lengths, attributes, CAS latencies 2 and 2.5, a named bank-2 maker, the open area erased.
        EXPECT_EQ((m1[16] & 0x0E) << 24 | (m1[21] & 0x24) << 16 | m1[18] << 8 | m1[65], 0x0E240C94);
        EXPECT_EQ(m1[64] * 0x100 + m1[200], 0x7FFF);
        // At CL 2.5 with the controller's code 6: cycle <= 0x60, access <= 0x70; at CL 2 both <= 0x75.
        EXPECT_TRUE(m1[9] <= 0x60 && m1[10] <= 0x70 && m1[23] <= 0x75 && m1[24] <= 0x75);
        EXPECT_TRUE(ChecksumOk(m1));
    }
    BoardConfig big = sim::DefaultBoard(BoardKind::Brimola, "B");
    big.sdramBytes = 2048ull << 20;
    const Spd s = sim::BuildSpdImage(big, 1);
    EXPECT_EQ(SizeMb(s), 2048u);
    EXPECT_LE(s[31], 0x80) << "split into ranks of at most 512 MB";
}

TEST(SpdImage, GeometryAndSizeFaultsChangeOnlyTheirModuleAndKeepTheChecksum) {
    BoardConfig cfg = sim::DefaultBoard(BoardKind::Brimola, "B");
    cfg.faults.spdGeometry.push_back({2, 12, 9});
    cfg.faults.spdSize.push_back({0, 0});  // both modules, half size
    const Spd m1 = sim::BuildSpdImage(cfg, 1), m2 = sim::BuildSpdImage(cfg, 2);
    EXPECT_EQ((m1[3] * 100 + m1[4]) * 10000 + m2[3] * 100 + m2[4], 13111209);
    EXPECT_EQ(SizeMb(m1) + SizeMb(m2), 512u);
    EXPECT_TRUE(ChecksumOk(m1) && ChecksumOk(m2));
    cfg.faults.spdSize = {{1, 128}};
    EXPECT_EQ(SizeMb(sim::BuildSpdImage(cfg, 1)) * 1000 + SizeMb(sim::BuildSpdImage(cfg, 2)), 128512u);
    uint8_t buf[16];
    const sim::SpdEeprom part(m1);
    EXPECT_EQ(part.Read(250, buf, sizeof buf), 6u) << "a read stops at the end of the part";
    EXPECT_EQ(part.Read(256, buf, 1), 0u);
}

uint8_t Address(const char* name) {
    for (const auto& r : TemperatureSensor::kRegisters)
        if (std::string(r.name) == name) return r.address;
    ADD_FAILURE() << "no register " << name;
    return 0xEE;
}
uint8_t Read(TemperatureSensor& s, const char* name) { return s.ReadRegister(Address(name)); }

TEST(TemperatureSensor, WritesReachOnlyLimitsAndConfigurationAndStatusFollows) {
    TemperatureSensor s(sim::DefaultBoard(BoardKind::Brimola, "B"));
    EXPECT_FALSE(s.OverLimit());
    const std::pair<const char*, uint8_t> writes[] = {{"1RHI", 44}, {"1TEMP", 99}, {"MANID", 0x55}, {"RCONF", 0x80}};
    for (const auto& [name, v] : writes) s.WriteRegister(Address(name), v);
    const std::pair<const char*, int> reads[] = {{"1RHI", 44}, {"1TEMP", 45}, {"MANID", 1}, {"RCONF", 0x80}, {"STAT2", 0x40}, {"STAT1", 0}};
    for (const auto& [name, v] : reads) EXPECT_EQ(Read(s, name), v) << name;
    EXPECT_TRUE(s.OverLimit()) << "45 C over a 44 C limit";
    BoardConfig cold = sim::DefaultBoard(BoardKind::Nuxa, "N");
    cold.sensors.tempC[0] = -10;
    TemperatureSensor c(cold);
    EXPECT_EQ(Read(c, "LTEMP"), 0xF6) << "two's complement";
}

TEST(TemperatureSensor, OverLimitAndBadReadingFaults) {
    BoardConfig cfg = sim::DefaultBoard(BoardKind::Brimola, "B");
    cfg.faults.sensorOverLimit.push_back({2, 5});
    TemperatureSensor s(cfg);
    const std::pair<const char*, int> regs[] = {{"2TEMP", 90}, {"1TEMP", 45}, {"LTEMP", 30}, {"3TEMP", 42}, {"STAT1", 0x10}, {"STAT2", 0}};
    for (const auto& [name, value] : regs) EXPECT_EQ(Read(s, name), value) << name;
    EXPECT_TRUE(s.OverLimit());
    cfg.faults.sensorOverLimit = {{1, 60}};
    TemperatureSensor hot(cfg);
    EXPECT_EQ(Read(hot, "1TEMP") * 0x100 + Read(hot, "STAT2"), 127 * 0x100 + 0x42) << "tops out at 127 C, over high and critical";
    cfg.faults.sensorOverLimit.clear();
    cfg.faults.sensorBadReading = {{3, 200, 3}, {1, 0, 0}};
    TemperatureSensor bad(cfg);
    EXPECT_EQ(bad.Reading(3), static_cast<int8_t>(200)) << "looking does not count as a read";
    EXPECT_FALSE(bad.OverLimit()) << "200 is -56 C to the part's own comparator";
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Read(bad, "3TEMP"), 200) << "read " << i;
    EXPECT_EQ(Read(bad, "3TEMP"), 42) << "recovered after three reads";
    for (int i = 0; i < 100; ++i) ASSERT_EQ(Read(bad, "1TEMP"), 0) << "a count of 0 stays";
}

TEST(ClockSynth, RegistersReadBackAndUnknownAddressesAreNotAcknowledged) {
    sim::ClockSynth c;
    uint8_t regs[8];
    ASSERT_EQ(c.Read(0, regs, 8), 8u);
    EXPECT_EQ(regs[0] * 0x1000000u + regs[3] * 0x10000u + regs[4] * 0x100u + regs[5], 0x508F0122u) << "power-up: 133 MHz";
    const uint8_t two[2] = {1, 2};
    EXPECT_EQ(c.Write(7, two, 2), 1u) << "the transfer stops at the end of the part";
    EXPECT_EQ(c.Register(7), 1);
    EXPECT_EQ(c.Write(8, two, 1) + c.Read(9, regs, 1), 0u);
}

}  // namespace
