// Tests of the diagnostics port's SDRAM read-back checks on a main board of the simulated rig.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diagport/scr_port.h"
#include "framework/hw/paged_memory.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"

namespace {

using namespace support;

constexpr COLORREF kDarkRed = 0x0000C0, kGreen = 0x00A000;

// A port bound to Brimola1; SDRAM is written straight through the board's space.
class SdramCheck : public RigTest {
protected:
    void SetUp() override {
        RigTest::SetUp();
        Bind();
    }
    void Bind() {
        port.SetParent(&parent);
        port.SetupDevice("Brimola1");
        TakeText();
    }
    static void Fill(DWORD address, const std::vector<DWORD>& words) {
        Sdram("Brimola1")->Set(words.data(), address, static_cast<int>(words.size() * 4));
    }
    static std::vector<DWORD> Count(DWORD first, DWORD n) {
        std::vector<DWORD> w(n);
        for (DWORD i = 0; i < n; ++i) w[i] = first + i;
        return w;
    }
    std::string Take() {
        std::string t = port.out.text + TakeText();
        port.out = {};
        return t;
    }
    RecordingTreeTest parent{"CParent"};
    Recording<SCRport> port{nullptr, "SCRport"};
};

TEST_F(SdramCheck, CountsListsDumpsAndDotsWithinTheirLimits) {
    const std::vector<DWORD> expected = Count(0x1000, 1024);
    Fill(0x2000, expected);
    struct Row {
        const char* name;
        DWORD bytes, verbose, result;
        std::string text;  // the whole output
    };
    const Row rows[] = {
        {"4096 bytes compared in full: dots at words 0, 256, 512, 768", 4096, 0, 0, ".....\n"},
        {"4097 bytes refused unread", 4097, 0, 1, "Passed Buffer Size too big. Can't be larger than 0x1000\n"},
        {"0 bytes", 0, 0, 0, ".\n"},
        {"1024 bytes: one dot", 1024, 1, 0, "..\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(port.VerifySDRAM(expected.data(), 0x2000, row.bytes, row.verbose), row.result);
        EXPECT_EQ(Take(), row.text);
    }
    // A negative verbose dumps instead of dots: one line for two words, beyond them what the buffer held.
    EXPECT_EQ(port.VerifySDRAM(expected.data(), 0x2000, 8, 0xFFFFFFFF), 0u);
    EXPECT_EQ(Take(), "0x00002000: 0x00001000 0x00001001 0x00001002 0x00001003\n");
    // Ten DWORDs at verbose 2: dump lines for words 0, 4 and 8, the last showing buffer words past the tenth.
    EXPECT_EQ(port.VerifySDRAMBlock(expected.data(), 0x2000, 40, 2), 0u);
    EXPECT_TRUE(port.out.HasColoured("0x00002000: ", kGreen));
    const std::string dump = Take();
    EXPECT_EQ(support::Count(dump, "\n"), 3u);
    EXPECT_TRUE(HasAll(dump, {"0x00002000: 0x00001000 0x00001001 0x00001002 0x00001003\n",
                              "0x00002020: 0x00001008 0x00001009 0x"}));
}

TEST_F(SdramCheck, MismatchesAreListedUpToTwentyOnBothSamples) {
    std::vector<DWORD> expected = Count(0x500, 256);
    Fill(0x4000, expected);
    for (DWORD i = 0; i < 25; ++i) expected[10 + 2 * i] ^= 0x80000000;  // 25 words differ in the high half
    EXPECT_EQ(port.VerifySDRAM(expected.data(), 0x4000, 1024, 0), 20u);
    const std::string text = Take();
    EXPECT_EQ(support::Count(text, "SDRAM Addr: "), 20u);
    EXPECT_TRUE(HasAll(text, {"SDRAM Addr: 0x4028 Expected: 0x8000050A, Read: 0x50A\n", ".\n"}));
    // A difference in the low half only is found as well.
    expected = Count(0x500, 4);
    expected[3] ^= 1;
    EXPECT_EQ(port.VerifySDRAMBlock(expected.data(), 0x4000, 16, 0), 1u);
    EXPECT_TRUE(HasAll(Take(), {"SDRAM Addr: 0x400C Expected: 0x502, Read: 0x503\n"}));
}

TEST_F(SdramCheck, RunningCountFromItsBase) {
    Fill(0x400, Count(0x101, 256));
    EXPECT_EQ(port.VerifySDRAMCount(0x100, 0x400, 0), 0u);
    EXPECT_EQ(Take(), "");  // no dots, no closing line
    EXPECT_EQ(port.VerifySDRAMCount(0x0FF, 0x400, 0), 20u);
    EXPECT_TRUE(HasAll(Take(), {"Expected: 0x100, Read: 0x101\n"}));
    EXPECT_EQ(port.VerifySDRAMCount(0x100, 0x400, 2), 0u);
    EXPECT_EQ(support::Count(Take(), "\n"), 64u);
    EXPECT_EQ(g_PatternBuffer[255], 0x200u);
}

TEST_F(SdramCheck, HostBlocksUpToOnePage) {
    CPagedMemory page(GetZorvHardware(), 4096), twoPages(GetZorvHardware(), 8192), none(nullptr, 4096);
    ASSERT_NE(page.GetAddress(), nullptr);
    for (DWORD i = 0; i < 1024; ++i) page.GetAddress()[i] = 0xC0DE0000 + i;
    Fill(0x8000, std::vector<DWORD>(page.GetAddress(), page.GetAddress() + 1024));
    EXPECT_EQ(port.VerifySDRAMHost(page, 0x8000, 0), 0u);
    EXPECT_EQ(Take(), ".....\n");
    page.GetAddress()[1023] ^= 0x10000;
    EXPECT_EQ(port.VerifySDRAMHost(page, 0x8000, 0), 1u);
    EXPECT_TRUE(HasAll(Take(), {"SDRAM Addr: 0x8FFC Expected: 0xC0DF03FF, Read: 0xC0DE03FF\n"}));
    EXPECT_EQ(port.VerifySDRAMHost(twoPages, 0x8000, 0), 1u);
    EXPECT_EQ(Take(), "Passed Buffer Size too big. Can't be larger than 0x1000\n");
    EXPECT_EQ(port.VerifySDRAMHost(none, 0x8000, 0), 1u);
    EXPECT_EQ(Take(), "Host memory block is not allocated\n");
}

// A read that fails leaves zeros in the buffer; that must not pass as data of zeros.
TEST_F(SdramCheck, AFailedReadIsNeverAMatch) {
    ScopedRig rig(MainBoardRig(R"([{"kind": "missing_space", "board": "Brimola1", "space": "SDRAM"}])"));
    Bind();
    const std::vector<DWORD> zeros(16, 0);
    EXPECT_EQ(port.VerifySDRAM(zeros.data(), 0, 64, 0), 1u);
    EXPECT_EQ(port.VerifySDRAMBlock(zeros.data(), 0, 64, 0), 1u);
    EXPECT_GE(port.VerifySDRAMCount(0xFFFFFFFF, 0, 0), 1u);
    EXPECT_TRUE(port.out.HasColoured("", 0x0000FF));  // the read's own red message
}

// The fault the checks exist for: a stuck SDRAM bit.
TEST_F(SdramCheck, StuckBitIsCaught) {
    ScopedRig rig(MainBoardRig(R"([{"kind": "sdram_stuck_bit", "board": "Brimola1", "from": 0, "to": 4096, "bit": 7, "value": 1}])"));
    Bind();
    const std::vector<DWORD> expected = Count(0x100, 16);
    Fill(0x100, expected);
    EXPECT_EQ(port.VerifySDRAM(expected.data(), 0x100, 64, 0), 16u);
    EXPECT_TRUE(port.out.HasColoured("SDRAM Addr: 0x100 Expected: 0x100, Read: 0x180\n", kDarkRed));
}

}  // namespace
