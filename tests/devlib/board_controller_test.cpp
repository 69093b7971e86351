// The board controller, flash PROM and FPGA configuration port as the library reaches them: the controller block, BAR0, the rig's faults.
#include <cstring>

#include "platform/clock.h"
#include "rig_fixture.h"
#include "sim/firmware_images.h"

namespace {

using devtest::RigTest;

constexpr int64_t kUs = kPerfFrequency / 1'000'000;
constexpr DWORD kInit = 0x4000, kDone = 0x8000;

// The controller block as the flash and controller tests reach it: 0 BID, 1 I2C, 2 FlashAddr,
// 3 FlashData, 4 LED, 5 FPGA, 6 RAM.
struct Controller {
    RegisterPtr r;
    explicit Controller(CWexalBoardDevice* b) : r(b->GetControllerRegisters()) {}
    void Cmd(DWORD a, DWORD v) const {
        r[2] = a;
        r[3] = v;
    }
    WORD Word(DWORD a) const {
        r[2] = a;
        const DWORD pair = r[3];
        return static_cast<WORD>(a & 1 ? pair >> 16 : pair);
    }
    // A block erase polled every 20 ms up to 2000 ms, as the flash access code runs it; the
    // durations of the first four status reads and the whole erase in ticks.
    BYTE Erase(DWORD block, int64_t reads[4], int64_t* total) const {
        Cmd(0, 0x50);
        const int64_t start = platform::NowTicks();
        Cmd(block, 0x20);
        Cmd(block, 0xD0);
        Cmd(0, 0x70);
        r[2] = 0;
        DWORD s = 0;
        for (int poll = 0; poll < 100; ++poll) {
            Sleep(20);
            const int64_t t0 = platform::NowTicks();
            s = r[3];
            if (poll < 4 && reads) reads[poll] = platform::NowTicks() - t0;
            if (s & 0x80) break;
        }
        if (total) *total = platform::NowTicks() - start;
        return static_cast<BYTE>(s);
    }
    // One 16-word buffered write polled to the end; its status and duration.
    BYTE WriteBuffer(DWORD a, const WORD* w, int64_t* took) const {
        const int64_t start = platform::NowTicks();
        Cmd(a, 0xE8E8);
        r[2] = a;
        if (!(r[3] & 0x80)) return 0;
        Cmd(a, 0x0F0F);
        for (DWORD i = 0; i < 16; ++i) Cmd(a + i, w[i]);
        Cmd(a, 0xD0);
        DWORD s = 0;
        for (int i = 0; i < 1000 && !(s & 0x80); ++i) {
            Cmd(a, 0x70);
            r[2] = a;
            s = r[3];
        }
        if (took) *took = platform::NowTicks() - start;
        Cmd(0, 0x50);
        return static_cast<BYTE>(s);
    }
    // The Xilinx download through the configuration register; INIT and DONE at the end (0 on a time-out).
    DWORD Download(int device, const std::vector<uint8_t>& data) const {
        const DWORD s = static_cast<DWORD>(device) << 16;
        r[5] = s | 0x400;
        for (int i = 0; i < 100 && (r[5] & kInit); ++i) Sleep(1);
        if (r[5] & kInit) {
            r[5] = s;
            return 0;
        }
        r[5] = s;
        for (int i = 0; i < 100 && !(r[5] & kInit); ++i) Sleep(1);
        if (!(r[5] & kInit)) return 0;
        r[5] = s | 0x200;
        for (uint8_t b : data) r[5] = s | 0x800300 | b;
        for (int i = 0; i < 16; ++i) r[5] = s | 0x800300;
        Sleep(100);
        const DWORD v = r[5] & (kInit | kDone);
        r[5] = s;
        return v;
    }
};

std::vector<uint8_t> Image(const char* id) { return sim::FirmwareData(*sim::FindFirmwareImage(id)); }

// A tag's value found the way a reader of an in-memory header does: the first letter-colon pair.
std::string TagOf(const std::string& text, char letter) {
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == letter && text[i + 1] == ':') return text.substr(i + 2, text.find(';', i) - i - 2);
    return "";
}

TEST_F(RigTest, DefaultBoardsShowTheControllerTestAHealthyController) {
    for (const char* tag : {"Brimola1", "Nuxa1"}) {
        SCOPED_TRACE(tag);
        CWexalBoardDevice* b = Board(tag);
        const Controller c(b);
        EXPECT_EQ(c.r[0] & 0xFF, b->GetBoardID());
        EXPECT_EQ(c.r[1], 0xFu);
        EXPECT_EQ(c.r[6], 0x1Fu);
        const DWORD led = c.r[4];
        EXPECT_EQ(led & 0x700E0, 0x100C0u) << "PCIX tried and running, no ForceSafe";
        EXPECT_EQ(led & 0x1800, 0x1000u) << "flash STS on, no over-temperature";
        // The three Wexal segments start with the load header.
        const WORD header[6] = {0xFFFF, 0xFFFF, 0x9955, 0x66AA, 0x000C, 0x8001};
        for (DWORD seg : {0x000000u, 0x100000u, 0x200000u})
            for (DWORD i = 0; i < 6; ++i) EXPECT_EQ(c.Word(seg + i), header[i]) << seg;
        // The first 4096 words of the EXP and VPD areas match BAR0 0x0000 and 0x2000.
        const RegisterPtr bar0 = Regs(tag);
        for (DWORD area : {0x3E0000u, 0x3F0000u}) {
            c.r[2] = area;
            for (DWORD i = 0; i < 4096; ++i) {
                const DWORD pair = c.r[3];  // each read moves the address on by one word
                const DWORD direct = bar0[((area == 0x3E0000 ? 0 : 0x2000) + 2 * (i & ~1u)) / 4];
                ASSERT_EQ(static_cast<WORD>(i & 1 ? pair >> 16 : pair), static_cast<WORD>(i & 1 ? direct >> 16 : direct))
                    << std::hex << area << " word " << i;
            }
        }
        // The information text is the booted image's header: its name and the running revision.
        const std::string info = b->GetInfoText().c_str();
        EXPECT_EQ(TagOf(info, 'N'), std::strcmp(tag, "Brimola1") == 0 ? "ZVKX0202" : "KEZO0202");
        EXPECT_EQ(TagOf(info, 'R'), "0C75");
        // The product data reaches the library through the mirror.
        char buf[16] = {};
        int len = 0;
        EXPECT_EQ(b->GetBAR0Space()->GetVPDField("V4", 15, buf, &len), PCI_VPD::VPD_OK);
        EXPECT_EQ(std::string(buf, static_cast<size_t>(len)), "FESK0202");
    }
}

TEST_F(RigTest, FlashTimingStaysInsideTheFlashTestsLimits) {
    const Controller c(Board("Brimola1"));
    // Status register access: 10000 reads well inside 500 ms, each under 4 us.
    c.Cmd(0, 0x70);
    const int64_t t0 = platform::NowTicks();
    for (int i = 0; i < 10000; ++i) {
        c.r[2] = 0;
        ASSERT_EQ(c.r[3] & 0xFF, 0x80u);
    }
    EXPECT_LT((platform::NowTicks() - t0) / 10000, 4 * kUs);
    // Block erase of the unused block 0x3C0000.
    int64_t reads[4] = {}, total = 0;
    EXPECT_EQ(c.Erase(0x3C0000, reads, &total), 0x80);
    for (int i = 0; i < 4; ++i) EXPECT_LT(reads[i], 30 * kUs) << "status read " << i;
    EXPECT_LT(total, 1'600'000 * kUs);
    EXPECT_GT(total, 100'000 * kUs) << "an erase takes a real erase time";
    c.Cmd(0, 0xFF);
    EXPECT_EQ(c.Word(0x3C1234), 0xFFFF);
    // A buffered write within its 50 ms.
    WORD w[16];
    for (int i = 0; i < 16; ++i) w[i] = static_cast<WORD>(0x1000 + i);
    int64_t took = 0;
    EXPECT_EQ(c.WriteBuffer(0x3C0010, w, &took), 0x80);
    EXPECT_LT(took, 50'000 * kUs);
    for (DWORD i = 0; i < 16; ++i) EXPECT_EQ(c.Word(0x3C0010 + i), w[i]);
}

TEST_F(RigTest, FlashFaultsShowWhereTheFlashTestsLook) {
    LoadJson(R"({"boards": [{"tag": "B1", "kind": "brimola"}, {"tag": "B2", "kind": "brimola"},
                            {"tag": "B3", "kind": "nuxa"}, {"tag": "B4", "kind": "nuxa"}, {"tag": "B5", "kind": "brimola"}],
                 "faults": [{"kind": "flash_erase_fails", "board": "B1", "block": 60},
                            {"kind": "flash_program_fails", "board": "B1", "block": 61},
                            {"kind": "flash_never_ready", "board": "B2"},
                            {"kind": "flash_stuck_bit", "board": "B3", "bit": 1, "value": 1},
                            {"kind": "flash_wrong_id", "board": "B3"},
                            {"kind": "flash_missing_header", "board": "B4", "segment": "PCIX"},
                            {"kind": "flash_mirror_mismatch", "board": "B5", "offset": "0x2004", "mask": "0x100"}]})");
    const WORD w[16] = {};
    {
        const Controller c(Board("B1"));
        EXPECT_EQ(c.Erase(0x3C0000, nullptr, nullptr), 0xA0);
        EXPECT_EQ(c.Erase(0x3B0000, nullptr, nullptr), 0x80);
        EXPECT_EQ(c.WriteBuffer(0x3D0000, w, nullptr), 0x90);
        EXPECT_EQ(c.WriteBuffer(0x3B0000, w, nullptr), 0x80);
    }
    {
        const Controller c(Board("B2"));
        int64_t total = 0;
        EXPECT_EQ(c.Erase(0x3C0000, nullptr, &total) & 0x80, 0) << "no ready within 2000 ms";
        EXPECT_GE(total, 2'000'000 * kUs);
        EXPECT_EQ(c.r[4] & 0x1000, 0u) << "STS stays off";
    }
    {
        const Controller c(Board("B3"));
        EXPECT_EQ(c.Word(0x100002), 0x9957) << "segment header word 2 with bit 1 high";
        // VPD area word 1 (bytes 2 and 3 of the image) has bit 1 clear; the mirror does not pass the
        // faulty data line.
        EXPECT_EQ(c.Word(0x3F0001), (Regs("B3")[0x2000 / 4] >> 16) | 2u);
        EXPECT_EQ(Regs("B3")[0x2000 / 4] >> 16 & 2, 0u);
        c.Cmd(0, 0x90);
        c.r[2] = 0;
        EXPECT_EQ(c.r[3], 0x001A008Bu) << "device 0x18 and manufacturer 0x89, bit 1 high in both";
    }
    {
        CWexalBoardDevice* b = Board("B4");
        const Controller c(b);
        EXPECT_EQ(c.Word(0x100002), 0xFFFF);
        EXPECT_EQ(c.Word(0x200002), 0x9955);
        EXPECT_EQ(c.r[4] & 0x700C0, 0x30040u) << "PCI booted after PCIX was tried";
        EXPECT_EQ(TagOf(b->GetInfoText().c_str(), 'N'), "ZVKP0202");
    }
    {
        const Controller c(Board("B5"));
        const RegisterPtr bar0 = Regs("B5");
        int differing = 0;
        for (DWORD i = 0; i < 4096; ++i)
            if (c.Word(0x3F0000 + i) != static_cast<WORD>(i & 1 ? bar0[(0x2000 + 2 * (i & ~1u)) / 4] >> 16
                                                                 : bar0[(0x2000 + 2 * i) / 4]))
                ++differing;
        EXPECT_EQ(differing, 1) << "word 2 of the VPD area, bit 8";
        EXPECT_EQ(c.Word(0x3F0002) ^ static_cast<WORD>(bar0[0x2004 / 4]), 0x100);
    }
}

TEST_F(RigTest, ConfigurationFaultsShowInTheDownloadHandshake) {
    LoadJson(R"({"boards": [{"tag": "B1", "kind": "brimola"}, {"tag": "B2", "kind": "nuxa"}],
                 "faults": [{"kind": "fpga_init_never_falls", "board": "B1", "device": 0},
                            {"kind": "fpga_init_never_rises", "board": "B1", "device": 1},
                            {"kind": "fpga_done_stays_low", "board": "B1", "device": 2},
                            {"kind": "fpga_crc_error", "board": "B1", "device": 3, "at": 3000},
                            {"kind": "fpga_code_stuck_bit", "board": "B2", "bit": 2, "value": 0}]})");
    const Controller c(Board("B1"));
    EXPECT_EQ(c.Download(0, Image("LOCV")), 0u);
    EXPECT_EQ(c.r[5] & 0x400, 0u) << "PROG released after the time-out";
    EXPECT_EQ(c.Download(1, Image("TAZU")), 0u);
    EXPECT_EQ(c.Download(2, Image("TAZU")), kInit);
    EXPECT_EQ(c.Download(3, Image("FESK")), 0u) << "CRC error: INIT low";
    EXPECT_EQ(c.Download(4, Image("FESK")), kInit | kDone);
    EXPECT_EQ(Regs("B1")[0x1FFC8 / 4], 0xFFFFFFFFu);
    // On the codec board code 4 reads back as 0, a code without a device there.
    const Controller d(Board("B2"));
    d.r[5] = 4u << 16;
    EXPECT_EQ(d.r[5] >> 16 & 7, 0u);
    EXPECT_EQ(d.Download(4, Image("FESK")), 0u);
    EXPECT_EQ(d.Download(3, Image("FESK")), kInit | kDone);
}

TEST_F(RigTest, DownloadConfiguresTheMainBoardsFpgasThroughBar0) {
    const Controller c(Board("Brimola1"));
    const RegisterPtr bar0 = Regs("Brimola1");
    EXPECT_EQ(bar0[0xBFC8 / 4], 0xFFFFFFFFu);
    EXPECT_EQ(c.Download(0, Image("LOCV")), kInit | kDone);
    EXPECT_EQ(c.Download(1, Image("VOKA")), kInit | kDone);
    EXPECT_EQ(bar0[0xBFC8 / 4], 0x003010A5u);
    EXPECT_EQ(bar0[0x1BFC8 / 4], 0x00302091u);
    EXPECT_EQ(bar0[0x1FFC8 / 4], 0xFFFFFFFFu);
    // The board-link clock appears once its FPGA is loaded and its clock enabled.
    EXPECT_EQ(c.r[4] & 6, 0u);
    EXPECT_EQ(c.Download(3, Image("FESK")), kInit | kDone);
    EXPECT_EQ(c.r[4] & 6, 2u);
}

}  // namespace
