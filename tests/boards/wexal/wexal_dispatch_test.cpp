// Tests of CWexal's dispatch and refusals, presets, "Flush DMA", the memory commands and CRC.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <tuple>

#include "framework/hw/wexal_dcb.h"
#include "tests/boards/wexal/wexal_test_support.h"

using wexaltest::RecordingWexal;
using wexaltest::WexalTest;

namespace {

// CRC-32 MSB first, polynomial 0x04C11DB7, no reflection, no final XOR, over the words' bytes taken
// high byte first (or, swapped, low byte first).
DWORD ReferenceCrc(const std::vector<DWORD>& words, bool swap, DWORD crc = 0xFFFFFFFF) {
    for (DWORD w : words)
        for (int i = 0; i < 4; ++i) {
            crc ^= (w >> (8 * (swap ? i : 3 - i)) & 0xFF) << 24;
            for (int b = 0; b < 8; ++b) crc = crc & 0x80000000u ? crc << 1 ^ 0x04C11DB7u : crc << 1;
        }
    return crc;
}

TEST_F(WexalTest, RefusalsNameTheirFaultAndTouchNothingAndFlushClearsTheChannel) {
    RecordingWexal orphan("CWexal");
    EXPECT_EQ(orphan.Run("Dump Memory SIZE=32 ADDRESS=0x0 FORMAT=32BIT"), kRunFailed);
    EXPECT_TRUE(orphan.out.HasColoured("no parent", 0x0000FF));
    Make("", nullptr);
    EXPECT_TRUE(Gives("Dump Memory SIZE=32 ADDRESS=0x0 FORMAT=32BIT", kRunFailed, {"Board Device is NULL\n"}));
    Bind("Brimola1");
    CWexalDMAChannel* ch = Board()->GetDMAChannel(12);
    WexalDCB dcb;
    dcb.SetLines(5);
    dcb.SetInitialLineLength(7);
    ASSERT_TRUE(ch->SetDCB(0, &dcb));
    // {command, a part of what it prints ("" when the failure alone is pinned)}
    const std::pair<const char*, const char*> refused[] = {
        {"dump memory SIZE=32 ADDRESS=0x0 FORMAT=32BIT", "\"dump memory SIZE=32 ADDRESS=0x0 FORMAT=32BIT\"\n Not recognized as a valid test\n"},
        {"\"Host Transfer:Packed Image\" DIM=(64,8) FRAMES=0", "Number of frames must be between 1 and 15."},
        {"\"Host Transfer:Packed Image\" DIM=(64,8) FRAMES=16", "Number of frames must be between 1 and 15."},
        {"IMAGE_LIST REMOVE=7", ""},
        {"Flush DMA", ""},
        {"Flush DMA CHANNEL=64", "CHANNEL=64"},
        {"Dump Memory SIZE=24 ADDRESS=0x100 FORMAT=16BIT", "Size must be a multiple of format\n"},
        {"Dump Memory SIZE=32 ADDRESS=100 FORMAT=32BIT", "ADDRESS parameter not 0x%%8X format\n"},
        {"Dump Memory ADDRESS=0x0 FORMAT=32BIT", "SIZE parameter not found\n"},
        {"Dump Memory SIZE=32 ADDRESS=0x0", "FORMAT parameter not found\n"},
        {"Dump Memory SIZE=32 ADDRESS=0x0 FORMAT=64BIT", "FORMAT must be [32BIT, 16BIT, or 8BIT]\n"},
        {"Dump Memory SIZE=-8 ADDRESS=0x0 FORMAT=8BIT", "SIZE must be greater than 0"},
        {"Dump Memory SIZE=64 ADDRESS=0x1FFFFFE0 FORMAT=32BIT", "beyond the board's memory"},
        {"Clear Memory SIZE=8 ADDRESS=0x200 VALUE=12", ""},
        {"Clear Memory SIZE=8 ADDRESS=0x200", "VALUE parameter not found\n"},
        {"Save Memory To File FILE=c.bin FORMAT=text ADDRESS=0 SIZE=4", ""},
        {"Save Memory To File FILE=c.bin ADDRESS=0 SIZE=0", ""},
        {"Save Memory To File FILE=c.bin ADDRESS=0x1FFFFFFC SIZE=8", ""},
        {"Save Memory To File FILE=c.bin ADDRESS=ZZ SIZE=8", ""},
        {"Save Memory To File ADDRESS=0 SIZE=8", ""},
        {"CRC FILE=missing.bin", "ERROR:  Unable to expand variable FILE[MISSING.BIN].\n"},
        {"CRC ADDRESS=0x400 SIZE=0", ""},
        {"CRC ADDRESS=0x400 SIZE=16 MASK=QQ", ""}};
    for (const auto& [command, message] : refused) EXPECT_TRUE(Gives(command, kRunFailed, {message}));
    EXPECT_FALSE(platform::FileExists(Dir().File("C.BIN").c_str()));
    ch->GetDCB(0, &dcb);
    EXPECT_EQ(dcb.GetLines(), 5u) << "a refused flush leaves the channel alone";
    EXPECT_TRUE(Gives("Flush DMA CHANNEL=12", kRunPassed));
    ch->GetDCB(0, &dcb);
    EXPECT_EQ(dcb.GetLines() | dcb.GetInitialLineLength(), 0u);
    // A range that ends exactly at the top of the memory (512 MiB) lies inside it.
    for (const char* command : {"Dump Memory SIZE=32 ADDRESS=0x1FFFFFE0 FORMAT=32BIT", "Clear Memory SIZE=8 ADDRESS=0x1FFFFFF8 VALUE=0x0",
                                "CRC ADDRESS=0x1FFFFFF0 SIZE=16", "Save Memory To File FILE=top.bin ADDRESS=0x1FFFFFF8 SIZE=8"})
        EXPECT_TRUE(Gives(command, kRunPassed)) << command;
    Bind("Nuxa1");  // 256 MiB: the main board's upper half is out of range there
    EXPECT_TRUE(Gives("Clear Memory SIZE=8 ADDRESS=0x10000000 VALUE=0x0", kRunFailed, {"beyond the board's memory"}));
    EXPECT_TRUE(Gives("Clear Memory SIZE=8 ADDRESS=0x0FFFFFF8 VALUE=0x0", kRunPassed));
}

TEST_F(WexalTest, PresetsFollowTheSwitchFileAndMemoryIsDumpedClearedAndSaved) {
    for (const auto& [switches, images, resolutions] : {std::tuple{"-ENGINEERING -REGRESSION", 11, 25}, {"-REGRESSION", 3, 6}, {"", 2, 2}}) {
        RecordingWexal& t = Make(switches);
        EXPECT_EQ(std::pair(t.GetImageList()->GetCount(), t.GetResolutionList()->GetCount()), std::pair(images, resolutions)) << switches;
    }
    std::vector<DWORD> words;
    for (DWORD i = 0; i < 64; ++i) words.push_back(0x11223344u + i * 0x01010101u);
    Poke(0x100, words);
    EXPECT_TRUE(Gives("Dump Memory SIZE=32 ADDRESS=0x100 FORMAT=32BIT", kRunPassed,
                      {"0x00000110:  0x15263748  0x16273849  0x1728394A  0x18293A4B\n"}));
    EXPECT_TRUE(Gives("Dump Memory SIZE=16 ADDRESS=0x100 FORMAT=16bit", kRunPassed,
                      {"0x00000100:  0x3344  0x1122  0x3445  0x1223\n0x00000108:  0x3546  0x1324"}));
    EXPECT_TRUE(Gives("Save Memory To File FILE=a.bin FORMAT=binary ADDRESS=100 SIZE=100", kRunPassed,
                      {"Saving FILE=a.bin  ADDRESS=0x00000100  SIZE=0x00000064=100\n"}));
    EXPECT_FALSE(std::filesystem::exists(Dir().File("A.BIN"))) << "created as written";
    const std::string saved = Dir().Read("a.bin");
    ASSERT_EQ(saved.size(), 100u);
    EXPECT_EQ(std::memcmp(saved.data(), words.data(), 100), 0) << "a bare ADDRESS is hexadecimal";
    EXPECT_TRUE(Gives("Save Memory To File FILE=b.bin ADDRESS=0x100 SIZE=0x100", kRunPassed));
    EXPECT_TRUE(HasRed("FORMAT not found on command line assuming binary.\n"));
    // Clear writes whole words only.
    EXPECT_TRUE(Gives("Clear Memory SIZE=10 ADDRESS=0x100 VALUE=0xCAFEF00D", kRunPassed));
    std::vector<DWORD> cleared(4);
    Board()->GetSDRAMSpace()->Get(cleared.data(), 0x100, 16);
    EXPECT_EQ(cleared, (std::vector<DWORD>{0xCAFEF00D, 0xCAFEF00D, words[2], words[3]}));
}

TEST_F(WexalTest, CrcMatchesAnIndependentModelWithMaskSwapAndFiles) {
    Make();
    const std::vector<DWORD> words = {0x31323334, 0x35363738, 0xDEADBEEF, 0x00000001};
    Poke(0x400, words);
    Dir().Write("check.bin", "123456789");
    const std::pair<std::string, DWORD> cases[] = {
        {"ADDRESS=0x400 SIZE=16 SEED=0xFFFFFFFF", ReferenceCrc(words, false)},
        {"ADDRESS=0x400 SIZE=16 SEED=0xFFFFFFFF MASK=0xFFFFFFFF", ~ReferenceCrc(words, false)},
        {"ADDRESS=0x400 SIZE=16 SEED=0xFFFFFFFF -SWAP", ReferenceCrc(words, true)},
        // A file is taken in stored byte order with -SWAP and padded with zero bytes to whole words.
        {"FILE=" + support::Bracketed(Dir().File("check.bin")) + " SEED=0xFFFFFFFF -SWAP", ReferenceCrc({0x34333231, 0x38373635, 0x39}, true)},
    };
    for (const auto& [arguments, crc] : cases) {
        char line[32];
        std::snprintf(line, sizeof line, "CRC[0x%08X]\n", crc);
        EXPECT_TRUE(Gives("CRC " + arguments, kRunPassed, {line}));
    }
}

}  // namespace
