// Each fault kind of a rig file reaches the board it names, through the library's view of that board, and no other board.
#include <numeric>

#include "platform/clock.h"
#include "rig_fixture.h"
#include "sim/firmware_images.h"

namespace {

using devtest::HostBuffer;
using devtest::RigTest;

constexpr DWORD kInit = 0x4000, kDone = 0x8000;

// The board controller block as the flash and FPGA code reach it: 2 FlashAddr, 3 FlashData, 4 LED/status, 5 FPGA.
struct Controller {
    RegisterPtr r;
    explicit Controller(const char* tag) : r(support::RigBoard(tag)->GetControllerRegisters()) {}
    void Cmd(DWORD a, DWORD v) const {
        r[2] = a;
        r[3] = v;
    }
    WORD Word(DWORD a) const {
        r[2] = a;
        const DWORD pair = r[3];
        return static_cast<WORD>(a & 1 ? pair >> 16 : pair);
    }
    // A block erase, or a 16-word buffered program of zeros, given the flash code's 2 s; the status then.
    DWORD Run(DWORD a, bool program) const {
        Cmd(0, 0x50);
        Cmd(a, program ? 0xE8E8 : 0x20);
        for (DWORD i = 0; program && i < 17; ++i) Cmd(a + (i ? i - 1 : 0), i ? 0 : 0x0F0F);
        Cmd(a, 0xD0);
        Sleep(2000);
        Cmd(0, 0x70);
        r[2] = 0;
        return r[3] & 0xFF;
    }
    // The Xilinx download through the configuration register; INIT and DONE at the end (0 on a time-out).
    DWORD Download(int device, const char* id) const {
        const DWORD s = static_cast<DWORD>(device) << 16;
        r[5] = s | 0x400;
        for (int i = 0; i < 100 && (r[5] & kInit); ++i) Sleep(1);
        const bool fell = !(r[5] & kInit);
        r[5] = s;
        for (int i = 0; fell && i < 100 && !(r[5] & kInit); ++i) Sleep(1);
        if (!fell || !(r[5] & kInit)) return 0;
        r[5] = s | 0x200;
        for (uint8_t b : sim::FirmwareData(*sim::FindFirmwareImage(id))) r[5] = s | 0x800300 | b;
        for (int i = 0; i < 16; ++i) r[5] = s | 0x800300;
        Sleep(100);
        const DWORD v = r[5] & (kInit | kDone);
        r[5] = s;
        return v;
    }
};

// A sensor register read by symbol as the temperature reports do (0xDEAD when the symbol or part is missing).
DWORD Symbol(const char* tag, const char* name) {
    auto* regs = dynamic_cast<CDevRegSpace*>(support::RigBoard(tag)->GetSpace("I2C.TSENSOR"));
    CPPVarDesc d;
    DWORD v = 0;
    if (!regs || !regs->GetSymbolDesc(name, &d) || regs->GetBytes(&v, d.offset, static_cast<int>(d.size)) != static_cast<int>(d.size))
        return 0xDEAD;
    return v & 0xFF;
}

DWORD VpdResult(const char* tag, const char* key) {
    char buf[80] = {};
    int len = 0;
    return support::RigBoard(tag)->GetBAR0Space()->GetVPDField(key, 79, buf, &len);
}

using Probe = DWORD (*)(const char* tag);

TEST_F(RigTest, EachRigFaultShowsOnItsBoardOnly) {
    const struct {
        const char *kind, *fault;  // the board kind, the fault's keys besides "board"
        Probe probe;
        DWORD faulty, healthy;
    } rows[] = {
        {"brimola", R"("kind": "sdram_stuck_bit", "bit": 3, "value": 1, "from": "0x2000", "to": "0x3000")",
         [](const char* t) { DWORD v = 0; Sdram(t)->Set(&v, 0x2800, 4); Sdram(t)->Get(&v, 0x2800, 4); return v; }, 8, 0},
        {"nuxa", R"("kind": "sdram_address_alias", "line": 20, "shorted_to": 6)",
         [](const char* t) { DWORD v = 0x40404040; Sdram(t)->Set(&v, 64, 4); Sdram(t)->Get(&v, 64 + (1 << 20), 4); return v; }, 0x40404040, 0},
        {"brimola", R"("kind": "sdram_bit_flips", "rate": 0.001, "seed": 1234)",
         [](const char* t) {
             std::vector<DWORD> v(0x10000);
             Sdram(t)->Get(v.data(), 0, 0x40000);
             return static_cast<DWORD>(std::count(v.begin(), v.end(), 0u) < 0x10000 - 20);
         }, 1, 0},
        {"brimola", R"("kind": "dma_stall", "channel": 16)", [](const char* t) { HostBuffer b(0x1000); return DWORD{Transfer(t, 16, b.Table(), 0x800, 16).Done()}; }, 0, 1},
        {"brimola", R"("kind": "dma_corrupt", "channel": 12, "mask": "0x100", "first": 3, "count": 2)",
         [](const char* t) {
             std::vector<DWORD> data(64);
             std::iota(data.begin(), data.end(), 0u);
             Sdram(t)->Set(data.data(), 0x4000, 256);
             HostBuffer b(0x1000);
             Transfer(t, 12, b.Table(), 0x4000, 64);
             Sdram(t)->Get(data.data(), 0x4000, 256);
             return b.Words()[4] << 16 | b.Words()[5] << 8 | data[4];
         }, 0x1040504, 0x40504},
        {"brimola", R"("kind": "dma_wrong_tag", "channel": 16)",
         [](const char* t) { HostBuffer b(0x1000); return static_cast<DWORD>(Transfer(t, 16, b.Table(), 0, 16, 0xA5A).Tag()); }, 0xA5B, 0xA5A},
        {"brimola", R"("kind": "register_stuck_bit", "offset": "0x70020", "bit": 29, "value": 0)",
         [](const char* t) { Regs(t)[0x70020 / 4] = 0xFFFFFFFF; return static_cast<DWORD>(Regs(t)[0x70020 / 4]); }, 0xDFFFFFFF, 0xFFFFFFFF},
        {"brimola", R"("kind": "sensor_over_limit", "sensor": "3TEMP", "by": 10)", [](const char* t) { return Symbol(t, "3TEMP"); }, 95, 42},
        {"brimola", R"("kind": "sensor_bad_reading", "sensor": "LTEMP", "value": 200)", [](const char* t) { return Symbol(t, "LTEMP"); }, 200, 30},
        {"nuxa", R"("kind": "spd_wrong_geometry", "module": 1, "rows": 13, "columns": 11)",
         [](const char* t) { BYTE b = 0; Board(t)->GetSpace("I2C.DIMM1")->GetBytes(&b, 4, 1); return DWORD{b}; }, 11, 10},
        {"brimola", R"("kind": "clock_no_window")",
         [](const char* t) {
             // Settings 105-115 at which 64 KiB of SDRAM read back, the clock set through BAR0 as the calibration does.
             RegisterPtr r = Regs(t);
             std::vector<DWORD> out(0x4000), in(0x4000);
             DWORD pass = 0;
             for (int v = 105; v <= 115; ++v) {
                 for (int i = 0; i < 256; ++i) r[0x7F004 / 4] = 1;
                 for (int i = 0; i < 255 - v; ++i) r[0x7F000 / 4] = 0;
                 for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<DWORD>(v) * 0x01000193u ^ static_cast<DWORD>(i * 0x9E3779B9u);
                 Sdram(t)->Set(out.data(), 0, 0x10000);
                 Sdram(t)->Get(in.data(), 0, 0x10000);
                 pass += in == out;
             }
             return pass;
         }, 0, 6},
        {"brimola", R"("kind": "vpd_broken", "part": "name_tag")", [](const char* t) { return VpdResult(t, "SN"); }, PCI_VPD::VPD_BAD_FORMAT, PCI_VPD::VPD_OK},
        {"brimola", R"("kind": "vpd_broken", "part": "vpd_tag")", [](const char* t) { return VpdResult(t, "SN"); }, PCI_VPD::VPD_BAD_FORMAT, PCI_VPD::VPD_OK},
        {"brimola", R"("kind": "vpd_broken", "part": "end_tag")", [](const char* t) { return VpdResult(t, "SN"); }, PCI_VPD::VPD_BAD_FORMAT, PCI_VPD::VPD_OK},
        {"brimola", R"("kind": "vpd_broken", "part": "length")", [](const char* t) { return VpdResult(t, "SN"); }, PCI_VPD::VPD_BAD_FORMAT, PCI_VPD::VPD_OK},
        {"brimola", R"("kind": "vpd_broken", "part": "checksum")", [](const char* t) { return VpdResult(t, "SN"); }, PCI_VPD::VPD_BAD_CHECKSUM, PCI_VPD::VPD_OK},
        {"nuxa", R"("kind": "vpd_missing_field", "field": "V4")", [](const char* t) { return VpdResult(t, "V4"); }, PCI_VPD::VPD_KEY_NOT_FOUND, PCI_VPD::VPD_OK},
        {"brimola", R"("kind": "missing_board")", [](const char* t) { return DWORD{g_WexalHW->GetDevice(t) != nullptr}; }, 0, 1},
        {"brimola", R"("kind": "missing_space", "space": "SDRAM")",
         [](const char* t) { return DWORD{Board(t)->GetSDRAMSpace() != nullptr} << 1 | DWORD{Board(t)->GetSpace("I2C.DIMM1") != nullptr}; }, 1, 3},
        {"nuxa", R"("kind": "missing_space", "space": "I2C.TSENSOR")", [](const char* t) { return Symbol(t, "LTEMP"); }, 0xDEAD, 30},
        {"nuxa", R"("kind": "missing_space", "space": "CLOCK2")",
         [](const char* t) {
             CZorvDevice* clock = Board(t)->GetDevice(CZorvDevice::DEVTYPE_CLOCK, 0);
             return DWORD{clock->GetSpace("CLOCK1") != nullptr} << 1 | DWORD{clock->GetSpace("CLOCK2") != nullptr};
         }, 2, 3},
        {"brimola", R"("kind": "flash_erase_fails", "block": 60)", [](const char* t) { return Controller(t).Run(0x3C0000, false); }, 0xA0, 0x80},
        {"brimola", R"("kind": "flash_program_fails", "block": 61)", [](const char* t) { return Controller(t).Run(0x3D0000, true); }, 0x90, 0x80},
        {"brimola", R"("kind": "flash_locked_block", "block": 57)", [](const char* t) { return Controller(t).Run(0x390000, true); }, 0x92, 0x80},
        {"brimola", R"("kind": "flash_never_ready")",
         [](const char* t) { const Controller c(t); return (c.Run(0x3C0000, false) & 0x80) | (c.r[4] & 0x1000); }, 0, 0x1080},
        {"nuxa", R"("kind": "flash_stuck_bit", "bit": 1, "value": 1)", [](const char* t) { return DWORD{Controller(t).Word(0x100002)}; }, 0x9957, 0x9955},
        {"nuxa", R"("kind": "flash_wrong_id")",
         [](const char* t) { const Controller c(t); c.Cmd(0, 0x90); c.r[2] = 0; return static_cast<DWORD>(c.r[3]); }, 0x00180089, 0x00170089},
        {"nuxa", R"("kind": "flash_missing_header", "segment": "PCIX")", [](const char* t) { return Controller(t).r[4] & 0x700C0; }, 0x30040, 0x100C0},
        {"brimola", R"("kind": "flash_mirror_mismatch", "offset": "0x2004", "mask": "0x100")",
         [](const char* t) { return Controller(t).Word(0x3F0002) ^ (Regs(t)[0x2004 / 4] & 0xFFFF); }, 0x100, 0},
        {"brimola", R"("kind": "fpga_init_never_falls", "device": 0)", [](const char* t) { return Controller(t).Download(0, "LOCV"); }, 0, kInit | kDone},
        {"brimola", R"("kind": "fpga_init_never_rises", "device": 1)", [](const char* t) { return Controller(t).Download(1, "TAZU"); }, 0, kInit | kDone},
        {"brimola", R"("kind": "fpga_done_stays_low", "device": 2)", [](const char* t) { return Controller(t).Download(2, "TAZU"); }, kInit, kInit | kDone},
        {"brimola", R"("kind": "fpga_crc_error", "device": 3, "at": 3000)", [](const char* t) { return Controller(t).Download(3, "FESK"); }, 0, kInit | kDone},
        {"nuxa", R"("kind": "fpga_code_stuck_bit", "bit": 2, "value": 0)", [](const char* t) { return Controller(t).Download(4, "FESK"); }, 0, kInit | kDone},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        const std::string json = std::string(R"({"boards": [{"tag": "F", "kind": ")") + row.kind + R"(", "sdram_mib": 64}, {"tag": "H", "kind": ")" +
                                 row.kind + R"(", "sdram_mib": 64}], "faults": [{"board": "F", )" + row.fault + "}]}";
        LoadJson(json.c_str());
        EXPECT_EQ(row.probe("H"), row.healthy) << "the other board";
        EXPECT_EQ(row.probe("F"), row.faulty);
    }
}

}  // namespace
