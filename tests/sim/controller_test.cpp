// The board controller's registers at BAR0 0x4000, its flash port and status bits, and the BAR0 mirror of the flash.
#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"
#include "sim/controller.h"
#include "sim/flash_prom.h"
#include "sim/firmware_images.h"
#include "sim/register_map.h"
#include "tests/support/temp_dir.h"

namespace {

using sim::BoardKind;

struct Board {
    sim::BoardController ctl;
    sim::RegisterMap map;
    explicit Board(const sim::BoardConfig& c) : ctl(c) { ctl.Attach(map); }
    explicit Board(BoardKind kind = BoardKind::Brimola) : Board(sim::DefaultBoard(kind, "B")) {}
    uint32_t R(uint32_t off) { return map.Read(off); }
    void W(uint32_t off, uint32_t v) { map.Write(off, v); }
    uint16_t FlashWord(uint32_t a) {
        W(0x4008, a);
        const uint32_t pair = R(0x400C);
        return static_cast<uint16_t>(a & 1 ? pair >> 16 : pair);
    }
    void Erase(uint32_t a) {
        for (uint32_t v : {0x20u, 0xD0u}) {
            W(0x4008, a);
            W(0x400C, v);
        }
    }
    void Load(int device, const char* id) {
        const uint32_t s = static_cast<uint32_t>(device) << 16;
        W(0x4014, s | 0x400);
        W(0x4014, s);
        Sleep(5);
        for (uint8_t x : sim::FirmwareData(*sim::FindFirmwareImage(id))) W(0x4014, s | 0x800300 | x);
        for (int i = 0; i < 16; ++i) W(0x4014, s | 0x800300);
    }
};

TEST(BoardController, IdentityI2cLedRamAndFlashAddressRegisters) {
    Board m;
    const uint32_t id = m.R(0x4000);
    m.W(0x4000, ~id);
    EXPECT_EQ(m.R(0x4000), id) << "read-only";
    // I2C: CO bit 0 -> CI bit 3, DO bit 2 -> DI bit 1; inputs written as 1 are ignored.
    const uint32_t i2c[4] = {0x0, 0x9, 0x6, 0xF};
    for (uint32_t v = 0; v < 4; ++v) {
        m.W(0x4004, (v & 1) | (v & 2) << 1 | 0xA);
        EXPECT_EQ(m.R(0x4004), i2c[v]) << v;
    }
    const uint32_t before = m.R(0x4010);
    m.W(0x4010, 0xFFFF7FFF);
    EXPECT_EQ(m.R(0x4010), (before & ~0xC300u) | 0x4300) << "only the LED bits 0xC300 are writable";
    m.W(0x4018, 0xA5A5A5A5);
    m.W(0x4008, 0xFFFFFFFF);
    EXPECT_EQ(m.R(0x4018) + m.R(0x4008), 0xA5A5A5A5u + 0x3FFFFFu) << "the RAM register holds every bit, the flash address 22";
    m.W(0x4008, 0);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(static_cast<uint16_t>(m.R(0x400C) >> (i & 1 ? 16 : 0)), sim::kSegmentHeader[i]) << i;
    EXPECT_EQ(m.R(0x4008), 6u) << "every data access advances the address";
    const int64_t t0 = platform::NowTicks();
    m.R(0x400C);
    EXPECT_EQ(platform::NowTicks() - t0, sim::BoardController::kFlashAccessTicks) << "and costs bus time";
}

TEST(BoardController, StatusFollowsTheSensorAlarmTheFlashAndTheLinkClocks) {
    Board b;
    bool hot = false;
    b.ctl.SetOverTemperatureSource([&] { return hot; });
    hot = true;
    EXPECT_EQ(b.R(0x4010) & 0x800, 0x800u);
    b.Erase(0x3C0000);
    EXPECT_EQ(b.R(0x4010) & 0x1000, 0u) << "STS low while an erase runs";
    Sleep(600);
    EXPECT_EQ(b.R(0x4010) & 0x1000, 0x1000u);
    b.W(0x4018, 0x1F);
    b.Load(4, "FESK");
    EXPECT_EQ(b.R(0x4010) & 6, 4u) << "a link's clock once its FPGA is configured and its clock enabled";
    b.W(0x4018, 0x0F);
    EXPECT_EQ(b.R(0x4010) & 6, 0u);
    b.ctl.SetPortClockSource(1, [] { return true; });
    EXPECT_EQ(b.R(0x4010) & 6, 2u);
    b.Load(2, "TAZU");
    EXPECT_EQ(b.R(0x1FFC8), 0x004020A0u) << "the identification word of the configured FPGA";
    EXPECT_EQ(Board(BoardKind::Nuxa).R(0x1FFC8), 0u) << "no FPGA pair on the codec board";
}

TEST(BoardController, MirrorShowsTheExpAndVpdAreasReadOnlyAndItsFault) {
    sim::BoardConfig cfg = sim::DefaultBoard(BoardKind::Nuxa, "N");
    Board b(cfg);
    for (uint32_t off = 0; off < 0x4000; off += 4) {
        const uint32_t a = (off < 0x2000 ? sim::kExpArea : sim::kVpdArea) + (off & 0x1FFF) / 2;
        ASSERT_EQ(b.R(off), b.ctl.Flash().Word(a) | uint32_t{b.ctl.Flash().Word(a + 1)} << 16) << std::hex << off;
    }
    b.W(0x2000, 0);
    EXPECT_EQ(b.R(0x2000) & 0xFF, 0x82u);
    cfg.faults.flash.mirrorMismatch.push_back({0x2010, 0x00010000});
    Board bad(cfg);
    for (uint32_t off = 0; off < 0x4000; off += 4) ASSERT_EQ(bad.R(off) ^ b.R(off), off == 0x2010 ? 0x00010000u : 0u) << std::hex << off;
    EXPECT_EQ(bad.FlashWord(0x3F0009), b.FlashWord(0x3F0009)) << "the flash itself is right";
}

TEST(BoardController, BootInformationTextAndStatusFollowTheSegmentHeaders) {
    sim::BoardConfig cfg = sim::DefaultBoard(BoardKind::Brimola, "B");
    cfg.breakoutBox = true;
    EXPECT_EQ(Board(cfg).R(0x4010) & 0x718E7, 0x110C1u) << "PCIX booted and active, only PCIX tried, STS on, the box";
    EXPECT_EQ(Board(cfg).ctl.InfoText(), sim::OxdHeaderText(*sim::FindFirmwareImage("ZVKX"), cfg.revision));
    cfg.faults.flash.missingHeaders = {"PCIX"};
    EXPECT_EQ(Board(cfg).R(0x4010) & 0x700C0, 0x30040u) << "PCIX and PCI tried, PCI active";
    EXPECT_EQ(Board(cfg).ctl.InfoText(), sim::OxdHeaderText(*sim::FindFirmwareImage("ZVKP"), cfg.revision));
    cfg.faults.flash.missingHeaders = {"PCIX", "PCI", "SAFE"};
    EXPECT_EQ(Board(cfg).R(0x4010) & 0x700C0, 0x70000u) << "all tried, neither active bit";
    EXPECT_EQ(Board(cfg).ctl.InfoText(), "") << "a blank SAFE segment has no record";
}

TEST(BoardController, BootsFromItsFlashImageFileOrRunsHealthyFromMemorySayingWhy) {
    support::TempDir dir;
    sim::BoardConfig cfg = sim::DefaultBoard(BoardKind::Brimola, "B");
    cfg.flashImage = dir / "brimola.flash";
    sim::FlashProm erased(sim::FlashFaults{}, 1);
    ASSERT_TRUE(erased.UseImageFile(cfg.flashImage, nullptr, nullptr));
    EXPECT_EQ(Board(cfg).ctl.Booted(), sim::BootImage::Safe) << "an erased image file: nothing else to boot";
    cfg.flashImage = dir / "missing/dir/x.flash";
    Board fallback(cfg);
    EXPECT_NE(fallback.ctl.FlashError(), "");
    EXPECT_EQ(fallback.FlashWord(0x100002), 0x9955);
}

}  // namespace
