// Each fault kind of a rig file reaches the board it names, through the library's view of that board, and no other board.
// The flash and FPGA kinds, the module geometry and a missing sensor are loaded the same way by the report, flash and
// download tests that catch them.
#include "platform/clock.h"
#include "rig_fixture.h"

namespace {

using devtest::HostBuffer;
using devtest::RigTest;
using T = const char*;

// A sensor register read by symbol as the temperature reports do (0xDEAD when the symbol or part is missing).
DWORD Symbol(T tag, T name) {
    auto* regs = dynamic_cast<CDevRegSpace*>(support::RigBoard(tag)->GetSpace("I2C.TSENSOR"));
    CPPVarDesc d;
    DWORD v = 0;
    return regs && regs->GetSymbolDesc(name, &d) && regs->GetBytes(&v, d.offset, static_cast<int>(d.size)) > 0 ? v & 0xFF : 0xDEAD;
}

DWORD Vpd(T tag, T key) {
    char buf[80] = {};
    int len = 0;
    return support::RigBoard(tag)->GetBAR0Space()->GetVPDField(key, 79, buf, &len);
}
DWORD VpdSn(T tag) { return Vpd(tag, "SN"); }

TEST_F(RigTest, EachRigFaultShowsOnItsBoardOnly) {
    // The fault's keys besides "board", how the library sees it, and what it sees on the faulty and the healthy board.
    const struct { T fault; DWORD (*probe)(T tag); DWORD faulty, healthy; } rows[] = {
        {R"("kind": "sdram_stuck_bit", "bit": 3, "value": 1, "from": "0x2000", "to": "0x3000")",
         [](T t) { DWORD v = 0; Sdram(t)->Set(&v, 0x2800, 4); Sdram(t)->Get(&v, 0x2800, 4); return v; }, 8, 0},
        // Reads go through the fault model, so the memory offers no read view, even far from the bit.
        {R"("kind": "sdram_stuck_bit", "bit": 3, "value": 1, "from": "0x2000", "to": "0x3000")",
         [](T t) { return DWORD{Sdram(t)->GetReadView(0x100000, 64) != nullptr}; }, 0, 1},
        {R"("kind": "sdram_address_alias", "line": 20, "shorted_to": 6)",
         [](T t) { DWORD v = 0x40404040; Sdram(t)->Set(&v, 64, 4); Sdram(t)->Get(&v, 64 + (1 << 20), 4); return v; }, 0x40404040, 0},
        {R"("kind": "sdram_bit_flips", "rate": 0.001, "seed": 1234)",
         [](T t) { std::vector<DWORD> v(0x10000); Sdram(t)->Get(v.data(), 0, 0x40000); return DWORD{std::count(v.begin(), v.end(), 0u) < 0xFFEC}; }, 1, 0},
        {R"("kind": "dma_stall", "channel": 16)", [](T t) { HostBuffer b(0x1000); return DWORD{Transfer(t, 16, b.Table(), 0x800, 16).Done()}; }, 0, 1},
        {R"("kind": "dma_corrupt", "channel": 12, "mask": "0x100", "first": 3, "count": 2)",
         [](T t) {  // words 3 and 4 are flipped in flight
             DWORD data[6] = {0, 1, 2, 3, 4, 5};
             HostBuffer b(0x1000);
             Sdram(t)->Set(data, 0x4000, 24);
             return Transfer(t, 12, b.Table(), 0x4000, 6).Done() ? b.Words()[4] << 8 | b.Words()[5] : 0;
         }, 0x10405, 0x405},
        {R"("kind": "dma_wrong_tag", "channel": 16)", [](T t) { HostBuffer b(0x1000); return DWORD(Transfer(t, 16, b.Table(), 0, 16, 0xA5A).Tag()); }, 0xA5B, 0xA5A},
        {R"("kind": "register_stuck_bit", "offset": "0x70020", "bit": 29, "value": 0)",
         [](T t) { Regs(t)[0x70020 / 4] = 0xFFFFFFFF; return DWORD(Regs(t)[0x70020 / 4]); }, 0xDFFFFFFF, 0xFFFFFFFF},
        // The library's board identity comes from the board's kind, so it shows a stuck BID bit.
        {R"("kind": "register_stuck_bit", "offset": "0x4000", "bit": 0, "value": 1)",
         [](T t) { return (Regs(t)[0x4000 / 4] & 0xFF) << 8 | Board(t)->GetBoardID(); }, 0x5352, 0x5252},
        {R"("kind": "register_stuck_bit", "offset": "0x4008", "bit": 16, "value": 1)",  // EXP area read as VPD area
         [](T t) { Regs(t)[0x4008 / 4] = 0x3E0000; return DWORD{Regs(t)[0x400C / 4] == Regs(t)[0]}; }, 0, 1},
        {R"("kind": "flash_slow", "access_ns": 50000)",
         [](T t) { const LONGLONG t0 = platform::NowTicks(); Regs(t)[0x400C / 4] = 0xFF; return DWORD(platform::NowTicks() - t0); }, 500, 4},
        {R"("kind": "flash_slow", "erase_ms": 3000)",
         [](T t) { Regs(t)[0x4008 / 4] = 0x3C0000; Regs(t)[0x400C / 4] = 0x20; Regs(t)[0x4008 / 4] = 0x3C0000; Regs(t)[0x400C / 4] = 0xD0;
                   Sleep(2000); return DWORD(Regs(t)[0x4010 / 4] & 0x1000); }, 0, 0x1000},
        {R"("kind": "flash_sts_floating", "seed": 5)",
         [](T t) { DWORD seen = 0; for (int i = 0; i < 10; ++i) seen |= 1u << (Regs(t)[0x4010 / 4] >> 12 & 1); return seen; }, 3, 2},
        {R"("kind": "sensor_over_limit", "sensor": "3TEMP", "by": 10)", [](T t) { return Symbol(t, "3TEMP"); }, 95, 42},
        {R"("kind": "clock_no_window")",
         [](T t) {
             for (int i = 0; i < 399; ++i) Regs(t)[(i < 256 ? 0x7F004 : 0x7F000) / 4] = 1;  // the calibration's way to 112: to 255, down 143
             std::vector<DWORD> out(0x4000, 0x5A5AA5A5), in(0x4000);
             Sdram(t)->Set(out.data(), 0, 0x10000);
             Sdram(t)->Get(in.data(), 0, 0x10000);
             return DWORD{in == out};
         }, 0, 1},
        {R"("kind": "vpd_broken", "part": "name_tag")", VpdSn, PCI_VPD::VPD_BAD_FORMAT, PCI_VPD::VPD_OK},
        {R"("kind": "vpd_broken", "part": "vpd_tag")", VpdSn, PCI_VPD::VPD_BAD_FORMAT, PCI_VPD::VPD_OK},
        {R"("kind": "vpd_broken", "part": "end_tag")", VpdSn, PCI_VPD::VPD_BAD_FORMAT, PCI_VPD::VPD_OK},
        {R"("kind": "vpd_broken", "part": "length")", VpdSn, PCI_VPD::VPD_BAD_FORMAT, PCI_VPD::VPD_OK},
        {R"("kind": "vpd_broken", "part": "checksum")", VpdSn, PCI_VPD::VPD_BAD_CHECKSUM, PCI_VPD::VPD_OK},
        {R"("kind": "vpd_missing_field", "field": "V4")", [](T t) { return Vpd(t, "V4"); }, PCI_VPD::VPD_KEY_NOT_FOUND, PCI_VPD::VPD_OK},
        {R"("kind": "missing_board")", [](T t) { return DWORD{g_WexalHW->GetDevice(t) != nullptr}; }, 0, 1},
        {R"("kind": "missing_space", "space": "SDRAM")",
         [](T t) { return DWORD{Board(t)->GetSDRAMSpace() != nullptr} << 1 | DWORD{Board(t)->GetSpace("I2C.DIMM1") != nullptr}; }, 1, 3},
        {R"("kind": "missing_space", "space": "CLOCK2")",
         [](T t) { return DWORD{Board(t)->GetDevice(CZorvDevice::DEVTYPE_CLOCK, 0)->GetSpace("CLOCK2") != nullptr}; }, 0, 1},
    };
    for (const auto& row : rows) {
        LoadJson((R"({"boards": [{"tag": "F", "kind": "brimola", "sdram_mib": 64}, {"tag": "H", "kind": "brimola", "sdram_mib": 64}], )"
                  R"("faults": [{"board": "F", )" + std::string(row.fault) + "}]}").c_str());
        EXPECT_EQ(row.probe("H"), row.healthy) << row.fault << ": the other board";
        EXPECT_EQ(row.probe("F"), row.faulty) << row.fault;
    }
}

}  // namespace
