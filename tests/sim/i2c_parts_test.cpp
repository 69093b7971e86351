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

uint8_t Checksum(const Spd& s) { return static_cast<uint8_t>(std::accumulate(s.begin(), s.begin() + 63, 0u) & 0xFF); }

TEST(SpdImage, HealthyModulesPassTheBoardChecksOfTheirKind) {
    for (const BoardKind kind : {BoardKind::Brimola, BoardKind::Nuxa}) {
        const BoardConfig cfg = sim::DefaultBoard(kind, "B");
        const bool main = kind == BoardKind::Brimola;
        const Spd m1 = sim::BuildSpdImage(cfg, 1), m2 = sim::BuildSpdImage(cfg, 2);
        SCOPED_TRACE(main ? "main board" : "codec board");
        EXPECT_EQ(m1[3] * 100 + m1[4], main ? 1311 : 1310);
        EXPECT_EQ(SizeMb(m1), main ? 512u : 256u);
        // The two modules hold the low and high order words of the same addresses: together twice the SDRAM.
        EXPECT_EQ((SizeMb(m1) + SizeMb(m2)) / 2, cfg.sdramBytes >> 20);
        EXPECT_TRUE(std::equal(m1.begin(), m1.begin() + 67, m2.begin())) << "bytes 0-66 must match";
        EXPECT_FALSE(std::equal(m1.begin(), m1.end(), m2.begin())) << "serial numbers differ";
        // Burst lengths, attributes, CAS latencies 2 and 2.5, a named bank-2 maker, the open area erased.
        EXPECT_EQ((m1[16] & 0x0E) << 24 | (m1[21] & 0x24) << 16 | m1[18] << 8 | m1[65], 0x0E240C94);
        EXPECT_EQ(m1[64] * 0x100 + m1[200], 0x7FFF);
        // At CL 2.5 with the controller's code 6: cycle <= 0x60, access <= 0x70; at CL 2 both <= 0x75.
        EXPECT_TRUE(m1[9] <= 0x60 && m1[10] <= 0x70 && m1[23] <= 0x75 && m1[24] <= 0x75);
        EXPECT_EQ(m1[63], Checksum(m1));
    }
    // Sizes that one rank cannot describe are split into ranks of at most 512 MB.
    BoardConfig big = sim::DefaultBoard(BoardKind::Brimola, "B");
    big.sdramBytes = 2048ull << 20;
    const Spd s = sim::BuildSpdImage(big, 1);
    EXPECT_EQ(SizeMb(s), 2048u);
    EXPECT_LE(s[31], 0x80);
}

TEST(SpdImage, GeometryAndSizeFaultsChangeOnlyTheirModuleAndKeepTheChecksum) {
    BoardConfig cfg = sim::DefaultBoard(BoardKind::Brimola, "B");
    const Spd healthy = sim::BuildSpdImage(cfg, 1);
    cfg.faults.spdGeometry.push_back({2, 12, 9});
    cfg.faults.spdSize.push_back({0, 0});  // both modules, half size
    const Spd m1 = sim::BuildSpdImage(cfg, 1), m2 = sim::BuildSpdImage(cfg, 2);
    EXPECT_EQ(m1[3] * 100 + m1[4], healthy[3] * 100 + healthy[4]);
    EXPECT_EQ(m2[3] * 100 + m2[4], 1209);
    EXPECT_EQ(SizeMb(m1) + SizeMb(m2), 512u);
    EXPECT_EQ(m1[63] * 0x100 + m2[63], Checksum(m1) * 0x100 + Checksum(m2));
    cfg.faults.spdSize = {{1, 128}};
    EXPECT_EQ(SizeMb(sim::BuildSpdImage(cfg, 1)), 128u);
    EXPECT_EQ(SizeMb(sim::BuildSpdImage(cfg, 2)), 512u);

    const sim::SpdEeprom part(healthy);
    uint8_t buf[16];
    EXPECT_EQ(part.Read(250, buf, sizeof buf), 6u) << "a read stops at the end of the part";
    EXPECT_EQ(part.Read(256, buf, 1), 0u);
    ASSERT_EQ(part.Read(3, buf, 2), 2u);
    EXPECT_EQ(buf[0], 13);
}

uint8_t Read(TemperatureSensor& s, const char* name) {
    for (const auto& r : TemperatureSensor::kRegisters)
        if (std::string(r.name) == name) return s.ReadRegister(r.address);
    ADD_FAILURE() << "no register " << name;
    return 0;
}

uint8_t Address(const char* name) {
    for (const auto& r : TemperatureSensor::kRegisters)
        if (std::string(r.name) == name) return r.address;
    return 0xEE;
}

TEST(TemperatureSensor, WritesReachOnlyLimitsAndConfigurationAndStatusFollows) {
    TemperatureSensor s(sim::DefaultBoard(BoardKind::Brimola, "B"));
    EXPECT_FALSE(s.OverLimit());
    EXPECT_EQ(Read(s, "STAT1") + Read(s, "STAT2"), 0);
    // Every register has its own address.
    for (size_t i = 0; i < TemperatureSensor::kRegisters.size(); ++i)
        for (size_t j = i + 1; j < TemperatureSensor::kRegisters.size(); ++j)
            EXPECT_NE(TemperatureSensor::kRegisters[i].address, TemperatureSensor::kRegisters[j].address);

    // Limits and configuration take writes; readings and identity do not.
    s.WriteRegister(Address("1RHI"), 44);
    s.WriteRegister(Address("1TEMP"), 99);
    s.WriteRegister(Address("MANID"), 0x55);
    s.WriteRegister(Address("RCONF"), 0x80);
    EXPECT_EQ(Read(s, "1RHI"), 44);
    EXPECT_EQ(Read(s, "1TEMP"), 45);
    EXPECT_EQ(Read(s, "MANID"), 0x01);
    EXPECT_EQ(Read(s, "RCONF"), 0x80);
    EXPECT_TRUE(s.OverLimit()) << "45 C over a 44 C limit";
    EXPECT_EQ(Read(s, "STAT2"), 0x40) << "remote 1 over its high limit";
    EXPECT_EQ(Read(s, "STAT1"), 0);

    BoardConfig cold = sim::DefaultBoard(BoardKind::Nuxa, "N");
    cold.sensors.tempC[0] = -10;
    TemperatureSensor c(cold);
    EXPECT_EQ(Read(c, "LTEMP"), 0xF6) << "two's complement";
    EXPECT_FALSE(c.OverLimit());
}

TEST(TemperatureSensor, OverLimitFaultRaisesOneChannelAndItsStatus) {
    BoardConfig cfg = sim::DefaultBoard(BoardKind::Brimola, "B");
    cfg.faults.sensorOverLimit.push_back({2, 5});
    TemperatureSensor s(cfg);
    const std::pair<const char*, int> regs[] = {{"2TEMP", 90}, {"1TEMP", 45}, {"LTEMP", 30}, {"3TEMP", 42}, {"STAT1", 0x10}, {"STAT2", 0}};
    for (const auto& [name, value] : regs) EXPECT_EQ(Read(s, name), value) << name;
    EXPECT_TRUE(s.OverLimit());
    cfg.faults.sensorOverLimit = {{1, 60}};
    TemperatureSensor hot(cfg);
    EXPECT_EQ(Read(hot, "1TEMP"), 127) << "a byte register tops out at 127 C";
    EXPECT_EQ(Read(hot, "STAT2"), 0x42) << "over the high and the critical limit";
}

TEST(TemperatureSensor, BadReadingsStayOrRecoverAfterTheirCount) {
    BoardConfig cfg = sim::DefaultBoard(BoardKind::Brimola, "B");
    cfg.faults.sensorBadReading.push_back({3, 200, 3});
    cfg.faults.sensorBadReading.push_back({1, 0, 0});
    TemperatureSensor s(cfg);
    EXPECT_EQ(s.Reading(3), static_cast<int8_t>(200));
    EXPECT_FALSE(s.OverLimit()) << "200 is -56 C to the part's own comparator";
    EXPECT_EQ(s.Reading(3), static_cast<int8_t>(200)) << "looking does not count as a read";
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Read(s, "3TEMP"), 200) << "read " << i;
    EXPECT_EQ(Read(s, "3TEMP"), 42) << "recovered after three reads";
    for (int i = 0; i < 100; ++i) ASSERT_EQ(Read(s, "1TEMP"), 0);
    EXPECT_EQ(Read(s, "2TEMP"), 40);
}

TEST(ClockSynth, RegistersReadBackAndUnknownAddressesAreNotAcknowledged) {
    sim::ClockSynth c;
    uint8_t regs[8];
    ASSERT_EQ(c.Read(0, regs, 8), 8u);
    // Power-up setting: 80 MHz reference, Q 0x50, P 0x18F, 133 MHz.
    const uint8_t powerUp[8] = {0x50, 0x10, 0x02, 0x8F, 0x01, 0x22, 0x00, 0x00};
    EXPECT_TRUE(std::equal(regs, regs + 8, powerUp));
    const uint8_t v = 0xB3;
    EXPECT_EQ(c.Write(2, &v, 1), 1u);
    EXPECT_EQ(c.Register(2), 0xB3);
    EXPECT_EQ(c.Write(8, &v, 1), 0u);
    const uint8_t two[2] = {1, 2};
    EXPECT_EQ(c.Write(7, two, 2), 1u) << "the transfer stops at the end of the part";
    EXPECT_EQ(c.Register(7), 1);
    EXPECT_EQ(c.Read(9, regs, 1), 0u);
}

}  // namespace
