// The flash PROM model: its command set and timing as the flash access code drives it, its faults, and image-file storage.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/flash_prom.h"
#include "tests/support/temp_dir.h"

namespace {

using sim::FlashFaults;
using sim::FlashProm;

constexpr int64_t kMs = kPerfFrequency / 1000;

// Runs a command at an address as the port does: one word write.
void Cmd(FlashProm& f, uint32_t a, uint16_t v) { f.Write(a, v); }

// The erase of a block, then polls every 20 ms as the flash access code does; answers the final status.
uint8_t Erase(FlashProm& f, uint32_t block, int64_t* took = nullptr) {
    const int64_t t0 = platform::NowTicks();
    Cmd(f, block << 16, 0x20);
    Cmd(f, block << 16, 0xD0);
    for (int i = 0; i < 100 && !(f.Status() & 0x80); ++i) Sleep(20);
    if (took) *took = platform::NowTicks() - t0;
    return f.Status();
}

// A buffered program of n words at a, polled to the end; answers the final status.
uint8_t Program(FlashProm& f, uint32_t a, const std::vector<uint16_t>& w) {
    Cmd(f, a, 0xE8E8);
    EXPECT_EQ(f.ReadPair(a) & 0xFF, 0x80u) << "write buffer free";
    Cmd(f, a, static_cast<uint16_t>(0x0F0F & 0xFF00) | static_cast<uint16_t>(w.size() - 1));
    for (size_t i = 0; i < w.size(); ++i) Cmd(f, a + static_cast<uint32_t>(i), w[i]);
    Cmd(f, a, 0xD0);
    for (int i = 0; i < 100 && !(f.Status() & 0x80); ++i) Sleep(1);
    return f.Status();
}

TEST(FlashProm, IdentifierQueryAndArrayReadsAnswerTheWordPairAtTheEvenAddress) {
    FlashProm f(FlashFaults{}, 1);
    const uint16_t w[4] = {0x1111, 0x2222, 0x3333, 0x4444};
    f.WriteWords(0x100, w, 4);
    EXPECT_EQ(f.ReadPair(0x101), 0x22221111u);  // odd address: the pair at 0x100
    Cmd(f, 0, 0x90);
    EXPECT_EQ(f.ReadPair(0), 0x00170089u);
    EXPECT_EQ(f.ReadPair(0x50002) & 0xFFFF, 0u);  // block 5 unlocked
    EXPECT_EQ(f.ReadPair(0x80) & 0xFFFF, 0xFFFEu);
    Cmd(f, 0, 0x98);
    EXPECT_EQ(f.ReadPair(0x10), 0x00520051u);  // "QR"
    EXPECT_EQ(f.ReadPair(0x26) >> 16, 0x17u);   // 2^23 bytes
    EXPECT_EQ(f.ReadPair(0x2C) >> 16, 0x3Fu);   // 64 blocks (count - 1)
    Cmd(f, 0, 0xFF);
    EXPECT_EQ(f.ReadPair(0x100), 0x22221111u);
    // An unknown command byte (the controller test writes 0x12345678) returns to read array.
    Cmd(f, 0, 0x70);
    EXPECT_EQ(f.ReadPair(0x100), 0x00800080u);
    Cmd(f, 0x3F1000, 0x5678);
    EXPECT_EQ(f.ReadPair(0x100), 0x22221111u);
}

TEST(FlashProm, BlockEraseTakesItsTimeAndLeavesTheBlockErased) {
    FlashProm f(FlashFaults{}, 1);
    const std::vector<uint16_t> w(16, 0x1234);
    f.WriteWords(0x10000, w.data(), 16);
    f.WriteWords(0x20000, w.data(), 16);
    const int64_t t0 = platform::NowTicks();
    Cmd(f, 0x10000, 0x20);
    Cmd(f, 0x10000, 0xD0);
    EXPECT_FALSE(f.Ready());
    EXPECT_EQ(f.ReadPair(0x10000), 0u) << "busy: status without bit 7 in both halves";
    Cmd(f, 0, 0xFF);  // ignored while busy
    EXPECT_EQ(f.ReadPair(0x10000) & 0x80, 0u);
    platform::AdvanceTicks(FlashProm::kEraseMicros * 10 - 1 - (platform::NowTicks() - t0));
    EXPECT_FALSE(f.Ready());
    platform::AdvanceTicks(1);
    EXPECT_TRUE(f.Ready());
    EXPECT_EQ(f.Status(), 0x80);
    EXPECT_EQ(f.Word(0x10000) + f.Word(0x1FFFF), 2 * 0xFFFF);
    EXPECT_EQ(f.Word(0x20000), 0x1234) << "only the addressed block";
    int64_t took = 0;
    EXPECT_EQ(Erase(f, 2, &took), 0x80);
    EXPECT_LT(took, 1600 * kMs);  // the flash chip test's limit
    EXPECT_EQ(f.Word(0x20000), 0xFFFF);
}

TEST(FlashProm, BufferedProgramAndsIntoTheArrayWithinItsTime) {
    FlashProm f(FlashFaults{}, 1);
    std::vector<uint16_t> w(16);
    for (int i = 0; i < 16; ++i) w[static_cast<size_t>(i)] = static_cast<uint16_t>(0xF0F0 + i);
    const int64_t t0 = platform::NowTicks();
    EXPECT_EQ(Program(f, 0x3FFFF0, w), 0x80);
    EXPECT_LT(platform::NowTicks() - t0, 50 * kMs);
    EXPECT_EQ(f.Word(0x3FFFF0) + f.Word(0x3FFFFF), w[0] + w[15]);
    // Programming only clears bits: the old and new words ANDed.
    std::vector<uint16_t> v(16, 0x0FFF);
    EXPECT_EQ(Program(f, 0x3FFFF0, v), 0x80);
    EXPECT_EQ(f.Word(0x3FFFF0), 0x00F0);
    // Fewer words than the buffer holds program only those.
    EXPECT_EQ(Program(f, 0x500, {0x1234, 0x5678}), 0x80);
    EXPECT_EQ(f.Word(0x501) * 0x10000u + f.Word(0x502), 0x5678FFFFu);
}

TEST(FlashProm, BrokenCommandSequencesSetBothErrorBitsUntilCleared) {
    FlashProm f(FlashFaults{}, 1);
    Cmd(f, 0x30000, 0x20);
    Cmd(f, 0x30000, 0xFF);  // not a confirm
    EXPECT_EQ(f.Status(), 0x80 | 0x30);
    EXPECT_EQ(f.ReadPair(0), 0x00B000B0u) << "read-status mode";
    Cmd(f, 0, 0x50);
    EXPECT_EQ(f.Status(), 0x80);
    EXPECT_EQ(f.ReadPair(0) & 0xFFFF, 0xFFFFu) << "clear status returns to read array";
    // A buffer word outside the 16-word buffer, and a count above 16 words.
    Cmd(f, 0x100, 0xE8);
    Cmd(f, 0x100, 0x01);
    Cmd(f, 0x110, 0x1234);
    EXPECT_EQ(f.Status(), 0xB0);
    Cmd(f, 0, 0x50);
    Cmd(f, 0x100, 0xE8);
    Cmd(f, 0x100, 0x10);
    EXPECT_EQ(f.Status(), 0xB0);
    EXPECT_EQ(f.Word(0x110), 0xFFFF);
}

TEST(FlashProm, EraseAndProgramFaultsSetTheirErrorBitsOnlyInTheirBlocks) {
    FlashFaults faults;
    faults.eraseFails.push_back({3, 0});
    faults.programFails.push_back({4, 0x18});
    FlashProm f(faults, 1);
    const std::vector<uint16_t> w(16, 0x0000);
    f.WriteWords(0x30000, w.data(), 16);
    EXPECT_EQ(Erase(f, 3), 0x80 | 0x20);
    EXPECT_EQ(f.Word(0x30000), 0x0000) << "the block keeps what it held";
    Cmd(f, 0, 0x50);
    EXPECT_EQ(Erase(f, 2), 0x80);
    EXPECT_EQ(Program(f, 0x40000, w), 0x80 | 0x18);
    EXPECT_EQ(f.Word(0x40000), 0xFFFF);
    Cmd(f, 0, 0x50);
    EXPECT_EQ(Program(f, 0x50000, w), 0x80);
    EXPECT_EQ(f.Word(0x50000), 0x0000);
}

TEST(FlashProm, LockedBlockShowsItsLockBitAndRefusesEraseAndProgram) {
    FlashFaults faults;
    faults.lockedBlocks.push_back(7);
    FlashProm f(faults, 1);
    Cmd(f, 0, 0x90);
    EXPECT_EQ(f.ReadPair(0x70002) & 0xFFFF, 1u);
    EXPECT_EQ(f.ReadPair(0x60002) & 0xFFFF, 0u);
    EXPECT_EQ(Erase(f, 7), 0x80 | 0x20 | 0x02);
    Cmd(f, 0, 0x50);
    EXPECT_EQ(Program(f, 0x70000, std::vector<uint16_t>(16, 0)), 0x80 | 0x10 | 0x02);
    EXPECT_EQ(f.Word(0x70000), 0xFFFF);
    Cmd(f, 0, 0x50);
    EXPECT_EQ(Erase(f, 6), 0x80);
}

TEST(FlashProm, StuckDataBitShowsOnThePortButNotInTheArray) {
    FlashFaults faults;
    faults.stuckBits.push_back({3, 0});
    FlashProm f(faults, 1);
    EXPECT_EQ(f.ReadPair(0), 0xFFF7FFF7u);
    EXPECT_EQ(f.Word(0), 0xFFFF);
    Cmd(f, 0, 0x90);
    EXPECT_EQ(f.ReadPair(0), 0x00170081u);  // 0x89 with bit 3 low
    FlashFaults high;
    high.stuckBits.push_back({7, 1});
    FlashProm g(high, 1);
    Cmd(g, 0x10000, 0x20);
    Cmd(g, 0x10000, 0xD0);
    EXPECT_EQ(g.ReadPair(0) & 0xFF, 0x80u) << "a status bit stuck at 1 claims ready while busy";
    EXPECT_FALSE(g.Ready());
}

TEST(FlashProm, NeverReadyAndWrongIdentifierFaults) {
    FlashFaults faults;
    faults.neverReady = true;
    faults.device = 0x0018;
    FlashProm f(faults, 1);
    EXPECT_TRUE(f.Ready()) << "idle until something starts";
    Cmd(f, 0, 0x90);
    EXPECT_EQ(f.ReadPair(0), 0x00180089u);
    Cmd(f, 0x10000, 0x20);
    Cmd(f, 0x10000, 0xD0);
    Sleep(10000);
    EXPECT_EQ(f.Status() & 0x80, 0);
    faults.manufacturer = 0x00B0;
    FlashProm g(faults, 1);
    Cmd(g, 0, 0x90);
    EXPECT_EQ(g.ReadPair(0), 0x001800B0u);
}

TEST(FlashProm, ImageFileKeepsTheContentsAcrossPowerCycles) {
    support::TempDir dir;
    const std::string path = dir / "board.flash";
    {
        FlashProm f(FlashFaults{}, 1);
        const uint16_t w = 0x0ACE;
        f.WriteWords(0x123456, &w, 1);
        bool created = false;
        std::string error;
        ASSERT_TRUE(f.UseImageFile(path, &created, &error)) << error;
        EXPECT_TRUE(created);
        EXPECT_EQ(f.Word(0x123456), 0x0ACE) << "a new file takes the chip's contents";
        EXPECT_EQ(Program(f, 0x200000, std::vector<uint16_t>(16, 0x5A5A)), 0x80);
        EXPECT_EQ(Erase(f, 0x12), 0x80);
    }
    {
        FlashProm f(FlashFaults{}, 1);
        bool created = true;
        std::string error;
        ASSERT_TRUE(f.UseImageFile(path, &created, &error)) << error;
        EXPECT_FALSE(created);
        EXPECT_EQ(f.Word(0x200000), 0x5A5A);
        EXPECT_EQ(f.Word(0x123456), 0xFFFF) << "erased before the power cycle";
    }
    EXPECT_EQ(dir.Read("board.flash").size(), 0x800000u);
    // A file of another size is refused and the chip stays as it was.
    FlashProm g(FlashFaults{}, 1);
    std::string error;
    EXPECT_FALSE(g.UseImageFile(dir.Write("small.flash", "not a flash"), nullptr, &error));
    EXPECT_NE(error.find("not a flash image of 8388608 bytes"), std::string::npos) << error;
    EXPECT_FALSE(g.UseImageFile(dir / "no/such/dir/x.flash", nullptr, &error));
}

}  // namespace
