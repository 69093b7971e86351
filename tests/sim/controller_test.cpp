// The board controller's registers at BAR0 0x4000, its flash port and status bits, and the BAR0 mirror of the flash.
#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"
#include "sim/controller.h"
#include "sim/firmware_images.h"
#include "sim/register_map.h"
#include "sim/vpd.h"
#include "tests/support/temp_dir.h"

namespace {

using sim::BoardController;
using sim::BoardKind;

struct Board {
    BoardController ctl;
    sim::RegisterMap map;
    explicit Board(const sim::BoardConfig& c) : ctl(c) { ctl.Attach(map); }
    uint32_t R(uint32_t off) { return map.Read(off); }
    void W(uint32_t off, uint32_t v) { map.Write(off, v); }
    uint16_t FlashWord(uint32_t a) {
        W(0x4008, a);
        const uint32_t pair = R(0x400C);
        return static_cast<uint16_t>(a & 1 ? pair >> 16 : pair);
    }
    // A block erase through the port, waited out.
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

sim::BoardConfig Config(BoardKind kind) { return sim::DefaultBoard(kind, kind == BoardKind::Brimola ? "Brimola1" : "Nuxa1"); }

TEST(BoardController, IdentityI2cLedAndRamRegisters) {
    Board m(Config(BoardKind::Brimola)), c(Config(BoardKind::Nuxa));
    const uint32_t id = m.R(0x4000);
    EXPECT_EQ((id & 0xFF) * 0x100 + (c.R(0x4000) & 0xFF), 0x5253u);
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
    c.W(0x4018, 0xA5A5A5A5);
    EXPECT_EQ(c.R(0x4018), 0xA5A5A5A5u) << "the RAM register holds every bit";
}

TEST(BoardController, FlashAddressIs22BitsAndEveryDataAccessAdvancesItAndCostsTime) {
    Board b(Config(BoardKind::Brimola));
    b.W(0x4008, 0xFFFFFFFF);
    EXPECT_EQ(b.R(0x4008), 0x3FFFFFu);
    b.W(0x4008, 0x3F1000);
    for (int i = 0; i < 3; ++i) b.W(0x400C, 0x12345678);
    EXPECT_EQ(b.R(0x4008), 0x3F1003u);
    b.W(0x4008, 0);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(static_cast<uint16_t>(b.R(0x400C) >> (i & 1 ? 16 : 0)), sim::kSegmentHeader[i]) << i;
    EXPECT_EQ(b.R(0x4008), 6u) << "reads advance too: a word-at-a-time walk needs one address write";
    EXPECT_EQ(b.FlashWord(0x3F0000), b.R(0x2000) & 0xFFFF) << "the odd writes left read-array mode and the VPD intact";
    const int64_t t0 = platform::NowTicks();
    b.R(0x400C);
    EXPECT_EQ(platform::NowTicks() - t0, BoardController::kFlashAccessTicks);
}

TEST(BoardController, StatusFollowsTheBootTheSensorAlarmTheFlashAndTheLinkClocks) {
    sim::BoardConfig cfg = Config(BoardKind::Brimola);
    cfg.breakoutBox = true;
    Board b(cfg);
    // PCIX and PCI Active, only PCIX tried, no ForceSafe, flash STS on, no over-temperature, no link clocks, the box.
    EXPECT_EQ(b.R(0x4010) & 0x718E7, 0x110C1u);
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
}

TEST(BoardController, MirrorShowsTheExpAndVpdAreasReadOnlyAndItsFault) {
    sim::BoardConfig cfg = Config(BoardKind::Nuxa);
    Board b(cfg);
    for (uint32_t off = 0; off < 0x4000; off += 4) {
        const uint32_t a = (off < 0x2000 ? sim::kExpArea : sim::kVpdArea) + (off & 0x1FFF) / 2;
        ASSERT_EQ(b.R(off), b.ctl.Flash().Word(a) | uint32_t{b.ctl.Flash().Word(a + 1)} << 16) << std::hex << off;
    }
    const std::vector<uint8_t> vpd = sim::BuildVpdImage(cfg);
    EXPECT_EQ(b.R(0x2000), uint32_t{vpd[0]} | uint32_t{vpd[1]} << 8 | uint32_t{vpd[2]} << 16 | uint32_t{vpd[3]} << 24);
    b.W(0x2000, 0);
    EXPECT_EQ(b.R(0x2000) & 0xFF, 0x82u);
    cfg.faults.flash.mirrorMismatch.push_back({0x2010, 0x00010000});
    Board bad(cfg);
    for (uint32_t off = 0; off < 0x4000; off += 4)
        ASSERT_EQ(bad.R(off) ^ b.R(off), off == 0x2010 ? 0x00010000u : 0u) << std::hex << off;
    EXPECT_EQ(bad.FlashWord(0x3F0009), b.FlashWord(0x3F0009)) << "the flash itself is right";
}

TEST(BoardController, IdentificationWordsFollowTheConfiguredFpgas) {
    Board m(Config(BoardKind::Brimola)), c(Config(BoardKind::Nuxa));
    EXPECT_EQ(m.R(0x1FFC8), 0xFFFFFFFFu);
    EXPECT_EQ(c.R(0x1FFC8), 0u) << "no FPGA pair on the codec board";
    m.Load(2, "TAZU");
    EXPECT_EQ(m.R(0x4014) & 0xC000, 0xC000u);
    EXPECT_EQ(m.R(0x1FFC8), 0x004020A0u);
    EXPECT_EQ(m.R(0x1BFC8), 0xFFFFFFFFu);
}

TEST(BoardController, InformationTextAndBootFollowTheSegmentHeaders) {
    sim::BoardConfig cfg = Config(BoardKind::Nuxa);
    EXPECT_EQ(Board(cfg).ctl.InfoText(), sim::OxdHeaderText(*sim::FindFirmwareImage("KEZO"), cfg.revision));
    cfg = Config(BoardKind::Brimola);
    cfg.faults.flash.missingHeaders = {"PCIX"};
    Board m(cfg);
    EXPECT_NE(m.ctl.InfoText().find("N:ZVKP0202;"), std::string::npos);
    EXPECT_EQ(m.R(0x4010) & 0x700C0, 0x30040u) << "PCIX and PCI tried, PCI Active, not PCIX";
    cfg.faults.flash.missingHeaders = {"PCIX", "PCI", "SAFE"};
    Board s(cfg);
    EXPECT_EQ(s.R(0x4010) & 0x700C0, 0x70000u) << "all tried, neither active bit";
    EXPECT_EQ(s.ctl.InfoText(), "") << "a blank SAFE segment has no record";
}

TEST(BoardController, FlashImageFileKeepsAProgrammedBoardProgrammed) {
    support::TempDir dir;
    sim::BoardConfig cfg = Config(BoardKind::Brimola);
    cfg.flashImage = dir / "brimola.flash";
    {
        Board b(cfg);
        EXPECT_EQ(b.ctl.FlashError(), "");
        b.Erase(0x100000);
        Sleep(600);
        b.W(0x400C, 0xFF);
        EXPECT_EQ(b.FlashWord(0x100002), 0xFFFF);
    }
    Board again(cfg);
    EXPECT_EQ(again.FlashWord(0x100002), 0xFFFF) << "the next run finds it erased";
    EXPECT_EQ(again.ctl.Booted(), sim::BootImage::Pci);
    cfg.flashImage = dir / "missing/dir/x.flash";
    Board fallback(cfg);
    EXPECT_NE(fallback.ctl.FlashError(), "") << "an unusable file: healthy from memory, saying why";
    EXPECT_EQ(fallback.FlashWord(0x100002), 0x9955);
}

}  // namespace
