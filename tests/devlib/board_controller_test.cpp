// The board controller, flash PROM and FPGA configuration port as the library reaches them: the controller block, BAR0, the rig's faults.
#include "platform/clock.h"
#include "rig_fixture.h"
#include "sim/firmware_images.h"

namespace {

using devtest::RigTest;

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
    // A block erase, or a 16-word buffered program of zeros, at a given the flash tests' 2 s; the status then.
    BYTE Run(DWORD a, bool program) const {
        Cmd(0, 0x50);
        if (program) {
            Cmd(a, 0xE8E8);
            Cmd(a, 0x0F0F);
            for (DWORD i = 0; i < 16; ++i) Cmd(a + i, 0);
        } else {
            Cmd(a, 0x20);
        }
        Cmd(a, 0xD0);
        Sleep(2000);
        Cmd(0, 0x70);
        r[2] = 0;
        return static_cast<BYTE>(r[3]);
    }
    // The Xilinx download through the configuration register; INIT and DONE at the end (0 on a time-out).
    DWORD Download(int device, const std::vector<uint8_t>& data) const {
        const DWORD s = static_cast<DWORD>(device) << 16;
        r[5] = s | 0x400;
        for (int i = 0; i < 100 && (r[5] & kInit); ++i) Sleep(1);
        const bool fell = !(r[5] & kInit);
        r[5] = s;
        for (int i = 0; fell && i < 100 && !(r[5] & kInit); ++i) Sleep(1);
        if (!fell || !(r[5] & kInit)) return 0;
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
        EXPECT_EQ(c.r[1] * 0x100 + c.r[6], 0xF1Fu) << "I2C inputs and RAM register";
        EXPECT_EQ(c.r[4] & 0x718E0, 0x110C0u) << "PCIX tried and running, no ForceSafe, flash STS on, no over-temperature";
        // The three Wexal segments start with the load header.
        for (DWORD seg : {0x000000u, 0x100000u, 0x200000u}) EXPECT_EQ(c.Word(seg + 2), 0x9955) << seg;
        // The VPD area through the port is what BAR0 0x2000 mirrors.
        EXPECT_EQ(c.Word(0x3F0001), Regs(tag)[0x2000 / 4] >> 16);
        // The information text is the booted image's header: its name and the running revision.
        const std::string info = b->GetInfoText().c_str();
        EXPECT_EQ(TagOf(info, 'N') + TagOf(info, 'R'), std::string(tag[0] == 'B' ? "ZVKX0202" : "KEZO0202") + "0C75");
    }
}

TEST_F(RigTest, FlashFaultsShowWhereTheFlashTestsLook) {
    LoadJson(R"({"boards": [{"tag": "B1", "kind": "brimola"}, {"tag": "B2", "kind": "brimola"},
                            {"tag": "B3", "kind": "nuxa"}, {"tag": "B4", "kind": "nuxa"}, {"tag": "B5", "kind": "brimola"}],
                 "faults": [{"kind": "flash_erase_fails", "board": "B1", "block": 60},
                            {"kind": "flash_program_fails", "board": "B1", "block": 61},
                            {"kind": "flash_locked_block", "board": "B1", "block": 57},
                            {"kind": "flash_never_ready", "board": "B2"},
                            {"kind": "flash_stuck_bit", "board": "B3", "bit": 1, "value": 1},
                            {"kind": "flash_wrong_id", "board": "B3"},
                            {"kind": "flash_missing_header", "board": "B4", "segment": "PCIX"},
                            {"kind": "flash_mirror_mismatch", "board": "B5", "offset": "0x2004", "mask": "0x100"}]})");
    const Controller b1(Board("B1"));
    const std::pair<DWORD, bool> ops[] = {{0x3C0000, false}, {0x3B0000, false}, {0x3D0000, true}, {0x3A0000, true}, {0x390000, true}};
    const BYTE want[] = {0xA0, 0x80, 0x90, 0x80, 0x92};  // erase fail, sound, program fail, sound, locked
    for (int i = 0; i < 5; ++i) EXPECT_EQ(b1.Run(ops[i].first, ops[i].second), want[i]) << std::hex << ops[i].first;
    const Controller b2(Board("B2"));
    EXPECT_EQ(b2.Run(0x3C0000, false) & 0x80, 0) << "no ready within 2000 ms";
    EXPECT_EQ(b2.r[4] & 0x1000, 0u) << "STS stays off";
    const Controller b3(Board("B3"));
    EXPECT_EQ(b3.Word(0x100002), 0x9957) << "segment header word 2 with bit 1 high";
    // The mirror does not pass the faulty data line.
    EXPECT_EQ(b3.Word(0x3F0001), (Regs("B3")[0x2000 / 4] >> 16) | 2u);
    EXPECT_EQ(Regs("B3")[0x2000 / 4] >> 16 & 2, 0u);
    b3.Cmd(0, 0x90);
    b3.r[2] = 0;
    EXPECT_EQ(b3.r[3], 0x001A008Bu) << "device 0x18 and manufacturer 0x89, bit 1 high in both";
    const Controller b4(Board("B4"));
    EXPECT_EQ(b4.Word(0x100002) * 0x10000u + b4.Word(0x200002), 0xFFFF9955u);
    EXPECT_EQ(b4.r[4] & 0x700C0, 0x30040u) << "PCI booted after PCIX was tried";
    EXPECT_EQ(TagOf(Board("B4")->GetInfoText().c_str(), 'N'), "ZVKP0202");
    const Controller b5(Board("B5"));
    const RegisterPtr bar0 = Regs("B5");
    for (DWORD i = 0; i < 8; ++i)  // word 2 of the VPD area differs, in bit 8
        EXPECT_EQ(b5.Word(0x3F0000 + i) ^ static_cast<WORD>(bar0[(0x2000 + 2 * (i & ~1u)) / 4] >> (i & 1 ? 16 : 0)), i == 2 ? 0x100 : 0) << i;
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
