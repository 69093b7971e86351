// CJastelTest: the controller register sections, the flash content checks behind them, and the per-board flash port state.
#include "boards/flash/jastel_test.h"

#include <algorithm>
#include <vector>

#include "devlib/addr_space.h"
#include "devlib/devices.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "platform/clock.h"

namespace {

constexpr DWORD kBar0[CJastelTest::kRegisters] = {0x4000, 0x4004, 0x4008, 0x400C, 0x4010, 0x4014, 0x4018};
constexpr DWORD kAddressMask = 0x3FFFFF;

// I2C port: CO and DO are driven, CI and DI read the lines back.
constexpr DWORD kCo = 0x1, kDi = 0x2, kDo = 0x4, kCi = 0x8;

// LED register.
constexpr DWORD kForceSafe = 0x20, kPciActive = 0x40, kPcix = 0x80, kOverTemperature = 0x800, kFlashSts = 0x1000;
constexpr DWORD kPcixTried = 0x10000, kPciTried = 0x20000, kSafeTried = 0x40000;
constexpr DWORD kLeds = 0xC300;

constexpr DWORD kFpgaChecked = 0x706FF, kFpgaCode = 0x70000, kProgramBit = 0x400, kChipSelect = 0x200;
constexpr DWORD kRamChecked = 0x11F, kRamClocks = 0x3;

struct BitName {
    DWORD bits;
    const char* name;
};
constexpr BitName kLedNames[] = {{0x4000, "Yellow LED, "}, {0x8000, "Green LED, "}, {0x100, "SW LED 1, "}, {0x200, "SW LED 2, "}};
constexpr BitName kFpgaNames[] = {{kFpgaCode, "Device Code, "}, {kProgramBit, "Program bit, "},
                                  {kChipSelect, "Chip Select, "}, {0xFF, "Data Byte, "}};
constexpr BitName kRamNames[] = {{0x2, "Sulveth Clock, "}, {0x1, "Wexal Clock, "}, {0x8, "CODEC Power, "},
                                 {0x10, "Exp Port Power, "}, {0x4, "PPP Power, "}, {0x100, "Vantrel, "}};

// "  Yellow LED, Green LED\n" for the named bits among bits; a long list starts on a line of its own.
template <size_t N>
CString NameList(DWORD bits, const BitName (&names)[N]) {
    CString list;
    for (const BitName& n : names)
        if (bits & n.bits) list += n.name;
    list = list.IsEmpty() ? CString("???") : list.Left(list.GetLength() - 2);
    list = "  " + list;
    if (list.GetLength() > 50) list = "\n  " + list;
    return list + "\n";
}

// The words the three Wexal segments start with, and what is said when one is not there.
struct LoadHeader {
    DWORD address;
    const char* missing;
};
constexpr LoadHeader kLoadHeaders[] = {{0x000000, "  The board may not have a FPGA SAFE image\n"},
                                       {0x100000, "  The board may not have a FPGA PCIX image\n"},
                                       {0x200000, "  The board may not have a FPGA PCI image\n"}};
constexpr WORD kLoadWords[6] = {0xFFFF, 0xFFFF, 0x9955, 0x66AA, 0x000C, 0x8001};

// The expansion ROM and product data areas and where BAR0 mirrors them.
constexpr DWORD kMirrorAreas[2][2] = {{0x3E0000, 0x0000}, {0x3F0000, 0x2000}};
constexpr int kMirrorWords = 4096, kWindowWords = 64;

struct TemperaturePair {
    const char* limitLabel;
    const char* limit;
    const char* label;
    const char* temperature;
};
constexpr TemperaturePair kTemperatures[] = {{"Local Hi Limit", "LRHI", "   Local Temp.", "LTEMP"},
                                             {"Wexal Hi Limit", "1RHI", "   Wexal Temp.", "1TEMP"},
                                             {"FPGA1 Hi Limit", "2RHI", "   FPGA1 Temp.", "2TEMP"},
                                             {"FPGA2 Hi Limit", "3RHI", "   FPGA2 Temp.", "3TEMP"}};

bool Stopped() { return *g_StopFlag() != 0; }

}  // namespace

CJastelTest::CJastelTest(CString name) : CWexalTreeMapTB(name) { SetCodeName(name); }

void CJastelTest::SetParent(CWexalTreeMapTB* parent) {
    m_parent = parent;
    AddToMap(parent);
}

int CJastelTest::GetFlashPortState(const CZorvDevice* board) const {
    const auto it = m_flashPort.find(board);
    return it == m_flashPort.end() ? kPortUntested : it->second;
}

void CJastelTest::SetFlashPortState(const CZorvDevice* board, int state) { m_flashPort[board] = state; }

CJastelTest* CJastelTest::FindSibling(CWexalTreeMapTB* parent) {
    if (!parent || !parent->GetChildMap()) return nullptr;
    for (const auto& [name, child] : *parent->GetChildMap())
        if (auto* test = dynamic_cast<CJastelTest*>(child)) return test;
    return nullptr;
}

void CJastelTest::ShowHelp() {
    PrintRule(72, 0, kColorGreen);
    PrintColor(
        "Checks the seven registers of the Jastel board controller:\n"
        " 1. All registers are read first; LED and RAM are put back at the end.\n"
        " 2. BID must be 0x52 (Brimola) or 0x53 (Nuxa) and must not change when\n"
        "    it is written.\n"
        " 3. I2C: each line is checked while a STOP is sent.\n"
        " 4. FlashAddr: 0x3FFFFF, 0 and a walking one must read back.\n"
        " 5. FlashAddr must count up on each of 13 writes from 0x3F1000.\n"
        " 6. FlashData: the load data at 0x000000, 0x100000 and 0x200000, and the\n"
        "    PCI and VPD data at 0x3E0000 and 0x3F0000 against BAR0.\n"
        " 7. LED: one of the 'Tried' bits must be set.\n"
        " 8. LED: OverTemp must agree with the temperatures; Flash must be on.\n"
        " 9. LED: the four LEDs must take what is written.\n"
        "10. LED: PCIX, Active and ForceSafe must agree with the image tried last.\n"
        "11. FPGA: the device codes (and the other fields) must take what is written.\n"
        "12. RAM: the power and clock bits must take what is written; clocks that\n"
        "    are on stay on.\n",
        kColorBlack);
    PrintRule(72, 0, kColorGreen);
}

void CJastelTest::SectionFailed(bool& failed) {
    if (!failed) PrintColor("Failed", kColorRed);
    failed = true;
}

DWORD CJastelTest::Run(CString arguments) {
    PrintHeader(arguments, "");
    if (Stopped()) return kRunStopped;
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    m_registers = board ? board->GetControllerRegisters() : RegisterPtr();
    if (!m_registers) {
        PrintColor("This test cannot be run without an Brimola or Nuxa Board installed.\n", kColorRed);
        return kRunFailed;
    }
    for (int r = 0; r < kRegisters; ++r) m_saved[r] = m_registers[r];
    m_saved[kFpga] &= kFpgaCode;

    bool passed = CheckBid(*board);
    passed = CheckI2c() && passed;
    bool dataFailed = false;
    const Flow address = CheckFlashAddress();
    const Flow data = address == kStopRequested ? kStopRequested : CheckFlashData(address == kSectionPassed, dataFailed);
    if (address == kStopRequested || data == kStopRequested) {
        Restore();
        return passed && !dataFailed ? kRunStopped : kRunFailed;
    }
    const bool portWorks = address == kSectionPassed && data == kSectionPassed;
    SetFlashPortState(board, portWorks ? kPortWorking : kPortFailing);
    passed = portWorks && passed;
    passed = CheckLed() && passed;
    passed = CheckFpga(!GetBoardIF().GetCodecBoardRegisters() && GetBoardIF().GetMainBoardRegisters()) && passed;
    passed = CheckRam() && passed;
    Restore();
    return passed ? kRunPassed : kRunFailed;
}

void CJastelTest::Restore() {
    m_registers[kLed] = m_saved[kLed];
    m_registers[kRam] = m_saved[kRam];
}

bool CJastelTest::CheckBid(CWexalBoardDevice& board) {
    PrintColor("Checking Jastel.BID ...", kColorBlack);
    const DWORD expected = board.GetBoardID() & 0xFF, got = m_saved[kBid] & 0xFF;
    CString message;
    DWORD bits = 0;
    if (expected != got) {
        message.Format("Board ID is not correct.  Expected 0x%2.2X;  Received 0x%2.2X.", expected, got);
        bits = 0xFF;
    } else {
        m_registers[kBid] = ~m_saved[kBid];
        if ((bits = m_registers[kBid] ^ m_saved[kBid]) != 0) message = "BID contents has changed.";
    }
    if (bits) {
        CString line;
        line.Format("~*RED*~Failed~*BLACK*~\n  At BAR0+0x%6.6X, these bits failed: ~*RED*~0x%8.8X\n  %s~*BLACK*~\n",
                    kBar0[kBid], bits, message.c_str());
        Print(line);
        return false;
    }
    PrintColor("Okay\n", kColorGreen);
    return true;
}

bool CJastelTest::CheckI2c() {
    PrintColor("Testing Jastel.I2C ...", kColorBlack);
    auto judge = [](DWORD v) -> const char* {
        if ((v & kCo) && !(v & kCi)) return "The I2C Clock is in use.";
        if (!(v & kCo) && (v & kCi)) return "Unable to force the I2C Clock low.";
        if ((v & kDo) && !(v & kDi)) return "The I2C Data line is in use.";
        if (!(v & kDo) && (v & kDi)) return "Unable to force the I2C Data line low.";
        return nullptr;
    };
    auto write = [&](DWORD value) -> const char* {
        m_registers[kI2c] = value;
        DWORD read = m_registers[kI2c];
        if ((read ^ value) & kDo) return (read & kDo) ? "I2C.DO is stuck high." : "I2C.DO is stuck low.";
        if ((read ^ value) & kCo) return (read & kCo) ? "I2C.CO is stuck high." : "I2C.CO is stuck low.";
        if (!(read & kCi) != !(read & kCo) || !(read & kDi) != !(read & kDo)) {
            Sleep(1);  // give the lines time to follow
            read = m_registers[kI2c];
        }
        return judge(read);
    };
    const DWORD saved = m_saved[kI2c];
    DWORD value = saved;
    const char* message = judge(saved);
    if (!message && (saved & kDo)) message = write(value &= ~kDo);
    if (!message && (saved & kCo)) message = write(value &= ~kCo);
    // A STOP: data high while the clock is high, then both low again.
    const DWORD steps[] = {value | kDo, value | kDo | kCo, (value | kCo) & ~kDo, value & ~(kCo | kDo), saved};
    for (size_t i = 0; !message && i < std::size(steps); ++i) {
        if (i == 0 || i == 3) Sleep(1);
        message = write(steps[i]);
    }
    if (!message) {
        PrintColor("Okay\n", kColorGreen);
        return true;
    }
    PrintColor("Failed", kColorRed);
    CString where;
    where.Format("\n  At BAR0+0x%6.6X, bits 3-0 are CI,DO,DI,DO.\n  ", kBar0[kI2c]);
    Print(where);
    PrintColor(message, kColorRed);
    Print("\n");
    return false;
}

CJastelTest::Flow CJastelTest::CheckFlashAddress() {
    PrintColor("Checking Jastel.Flash.Addr ...", kColorBlack);
    DWORD values[24] = {kAddressMask, 0};
    for (int bit = 0; bit < 22; ++bit) values[2 + bit] = DWORD{1} << bit;
    for (const DWORD value : values) {
        m_registers[kFlashAddr] = value;
        const DWORD got = m_registers[kFlashAddr] & kAddressMask;
        if (got != value) {
            PrintColor("Failed", kColorRed);
            CString where;
            where.Format("\n  Jastel.FlashAddr is at BAR0+0x%6.6X\n  ", kBar0[kFlashAddr]);
            Print(where);
            PrintColorFormat(kColorBlack, "Wrote 0x%6.6X to FlashAddr.  Got back ", value);
            PrintColorFormat(kColorRed, "0x%6.6X.", got);
            Print("\n");
            return kSectionFailed;
        }
        if (Stopped()) {
            PrintColor("Stopped by User\n", kColorRed);
            return kStopRequested;
        }
    }
    PrintColor("Okay\n", kColorGreen);
    return kSectionPassed;
}

DWORD CJastelTest::ReadFlashWord(DWORD address) {
    m_registers[kFlashAddr] = address;
    const DWORD pair = m_registers[kFlashData];
    return (address & 1) ? pair >> 16 : pair & 0xFFFF;
}

CJastelTest::Flow CJastelTest::CheckFlashData(bool addressPassed, bool& failed) {
    PrintColor("Checking Jastel.Flash.Data ...", kColorBlack);
    constexpr DWORD kStart = 0x3F1000;
    m_registers[kFlashAddr] = kStart;
    DWORD at = m_registers[kFlashAddr] & kAddressMask;
    if ((at & 0x3E000F) != 0x3E0000 || !(at & 0xF000)) {
        PrintColor("Not Tested\n  ", kColorRed);
        if (at != kStart) {
            PrintColorFormat(kColorBlack, "Wrote 0x%6.6X to FlashAddr.  Got back ", kStart);
            PrintColorFormat(kColorRed, "0x%6.6X.", at);
            Print("\n");
        } else {
            PrintColor("A Flash Address fault precludes the testing of the Flash\n  Data register.\n", kColorRed);
        }
        return kSectionFailed;
    }
    for (int write = 1; write <= 13; ++write) {
        m_registers[kFlashData] = 0x12345678;
        const DWORD read = m_registers[kFlashAddr] & kAddressMask;
        if (read != at + 1) {
            SectionFailed(failed);
            CString line;
            line.Format("~*RED*~  Flash Address (BAR0+0x%6.6X) increment failed on write #%d.~*BLACK*~\n"
                        "  Expected 0x%8.8X.  Read ~*RED*~0x%8.8X~*BLACK*~.\n",
                        kBar0[kFlashAddr], write, at + 1, read);
            Print(line);
            break;
        }
        at = read;
    }
    if (!addressPassed) {
        if (!failed) PrintColor("Not Tested.\n", kColorRed);
        return kSectionFailed;
    }
    for (const LoadHeader& segment : kLoadHeaders) {
        if (Stopped()) {
            PrintColor("Stopped by User.\n", kColorRed);
            return kStopRequested;
        }
        DWORD expected[3], read[3];
        for (int i = 0; i < 3; ++i) {
            expected[i] = kLoadWords[2 * i] | DWORD{kLoadWords[2 * i + 1]} << 16;
            read[i] = ReadFlashWord(segment.address + 2 * i) | ReadFlashWord(segment.address + 2 * i + 1) << 16;
        }
        if (std::equal(expected, expected + 3, read)) continue;
        if (!failed) {
            PrintColor("Failed", kColorRed);
            PrintColorFormat(kColorBlack, "\n  FlashData register is at BAR0+0x%6.6X.\n", kBar0[kFlashData]);
        }
        failed = true;
        PrintColor(segment.missing, kColorRed);
        PrintColorFormat(kColorBlack, "  Wexal load data expected at 0x%6.6X:\n", segment.address);
        PrintCompareDwords(3, expected, read);
    }
    for (const auto& [area, mirror] : kMirrorAreas) {
        if (Stopped()) {
            PrintColor("Stopped by User.\n", kColorRed);
            return kStopRequested;
        }
        if (CompareMirror(area, mirror, failed) == kStopRequested) return kStopRequested;
    }
    if (!failed) PrintColor("Okay.\n", kColorGreen);
    return failed ? kSectionFailed : kSectionPassed;
}

CJastelTest::Flow CJastelTest::CompareMirror(DWORD area, DWORD mirrorOffset, bool& failed) {
    const RegisterPtr bar0 = GetBoardIF().GetRegisters();
    // The mirror is read whole at once; the flash through its data register a pair at a time.
    DWORD mirror[kMirrorWords / 2];
    (bar0 + static_cast<int>(mirrorOffset / 4)).ReadBlock(mirror, kMirrorWords / 2);
    int first = -1, latest = -1, start = 0;
    // Differences are gathered into one 64-word window around them.
    for (int i = 0; i < kMirrorWords; i += 2) {
        const DWORD direct = mirror[i / 2];
        m_registers[kFlashAddr] = area + static_cast<DWORD>(i);
        const DWORD indirect = m_registers[kFlashData];
        for (int k = 0; k < 2; ++k) {
            const int word = i + k;
            if (first >= 0 && word > start + kWindowWords - 1) break;
            if (((direct ^ indirect) >> (16 * k)) & 0xFFFF) {
                latest = word & ~7;
                if (first < 0) first = latest;
                start = first - std::min(first, std::max(latest - first + 56, 0) / 2 / 8 * 8);
                start = std::min(start, kMirrorWords - kWindowWords);
            }
        }
        if (first >= 0 && i + 1 >= start + kWindowWords - 1) break;
    }
    if (first < 0) return kSectionPassed;
    if (!failed) {
        PrintColor("Failed", kColorRed);
        PrintColorFormat(kColorBlack, "\n  FlashData register is at BAR0+0x%6.6X.\n", kBar0[kFlashData]);
    }
    failed = true;
    PrintColorFormat(kColorBlack, "  PCI or VPD data expected at 0x%6.6X:\n", area + static_cast<DWORD>(start));
    DWORD direct[kWindowWords / 2], indirect[kWindowWords / 2];
    for (int j = 0; j < kWindowWords / 2; ++j) {
        direct[j] = bar0[static_cast<int>(mirrorOffset / 4) + start / 2 + j];
        m_registers[kFlashAddr] = area + static_cast<DWORD>(start + 2 * j);
        indirect[j] = m_registers[kFlashData];
    }
    PrintCompare("   %s.Direct.%s  %sIndirect%s\n", nullptr, 0, 0, 8, kWindowWords / 2, direct, indirect);
    return kSectionFailed;
}

DWORD CJastelTest::ReadTemperatureSymbol(const char* name) {
    CZorvDevice* device = GetDevice();
    auto* space = dynamic_cast<CDevRegSpace*>(device ? device->GetSpace("I2C.TSENSOR") : nullptr);
    CPPVarDesc desc;
    if (!space || !space->AreSymbolsAvailable() || !space->GetSymbolDesc(name, &desc)) return 0;
    DWORD value = 0;
    const int width = static_cast<int>(std::min<DWORD>(desc.size, sizeof value));
    if (width < 1 || space->GetBytes(&value, desc.offset, width) < 1) return 0;
    return value & 0xFF;
}

bool CJastelTest::CheckLed() {
    PrintColor("Checking Jastel.LED ...", kColorBlack);
    const DWORD led = m_saved[kLed];
    bool failed = false;
    auto fail = [&](const CString& line) {
        if (!failed) {
            PrintColor("Failed\n", kColorRed);
            PrintColorFormat(kColorBlack, "  Jastel LED register is at BAR0+0x%6.6X.\n", kBar0[kLed]);
        }
        failed = true;
        PrintColor(line, kColorRed);
    };
    if (!(led & (kPcixTried | kPciTried | kSafeTried))) fail("  None of PCIX, PCI, or Safe were tried.\n");

    CString report = "~*BLACK*~";
    bool over = false;
    for (const TemperaturePair& t : kTemperatures) {
        const int limit = static_cast<int>(ReadTemperatureSymbol(t.limit));
        const int temperature = static_cast<int>(ReadTemperatureSymbol(t.temperature));
        const bool hot = limit < temperature;
        over = over || hot;
        report.AppendFormat("%s:%4d   %s%s%4d%s\n", t.limitLabel, limit, t.label, hot ? "~*RED*~" : "", temperature,
                            hot ? "~*BLACK*~" : "");
    }
    if (!(led & kOverTemperature) && over) {
        fail("  The Over-Temperature indicator isn't on.\n");
        Print(report);
    } else if ((led & kOverTemperature) && over) {
        fail("  The Over-Temperature indicator is on.\n");
        Print(report);
    } else if (led & kOverTemperature) {
        Print("  ~*BACK_YELLOW*~~*BLACK*~The Over-Temperature indicator is on.~*BACK_WHITE*~\n" + report);
    }
    if (!(led & kFlashSts)) fail("  The Flash indicator is off.\n");

    const DWORD base = led & ~kLeds;
    DWORD bad = 0;
    for (const DWORD value : {base, base | 0x4000, base | 0x8000, base | 0x100, base | 0x200, led}) {
        m_registers[kLed] = value;
        bad |= (m_registers[kLed] ^ value) & kLeds;
    }
    if (bad) {
        CString line;
        line.Format("  These bits failed: 0x%8.8X.\n  Unable to write these bits:", bad);
        fail(line + NameList(bad, kLedNames));
    }

    const int last = (led & kSafeTried) ? 1 : (led & kPciTried) ? 2 : (led & kPcixTried) ? 3 : 0;
    if ((led & kPcix) && (last == 1 || last == 2))
        fail("  The PCIX indicator in on, but PCIX was not the last Wexal\n  image tried.\n");
    if (!(led & kPcix) && last == 3) fail("  The PCIX indicator in off, but PCIX was the last Wexal\n  image tried.\n");
    if ((led & kPciActive) && last == 1)
        fail("  The PCI Active indicator in on, but Safe was the last\n  Wexal image tried.\n");
    if (!(led & kPciActive) && (last == 2 || last == 3))
        fail("  The PCI Active indicator in off, but Safe was not the\n  last Wexal image tried.\n");
    if ((led & kForceSafe) && (led & kPcix))
        fail("  The ForceSafe indicator in on, but an attempt was still\n  made to load a non-Safe Wexal image.\n");
    if (!failed) PrintColor("Okay\n", kColorGreen);
    return !failed;
}

bool CJastelTest::CheckFpga(bool mainBoard) {
    PrintColor("Checking Jastel.FPGA ...", kColorBlack);
    DWORD value = m_saved[kFpga], bad = 0;
    auto write = [&](DWORD v) {
        m_registers[kFpga] = value = v;
        return (m_registers[kFpga] ^ v) & kFpgaChecked;
    };
    bad |= write(value);
    for (DWORD code = 0; code < 8 && !bad; ++code) bad |= write((value & ~kFpgaCode) | code << 16) & kFpgaCode;
    if (!bad) {
        std::vector<DWORD> steps;
        if (mainBoard) steps = {value | kProgramBit, value};
        steps.insert(steps.end(), {value | kChipSelect, value});
        for (DWORD byte = 0x80; byte; byte >>= 1) steps.push_back((value & ~0xFFu) | byte);
        for (const DWORD v : steps) bad |= write(v);
    }
    return ReportWrittenBits(kFpga, bad, "fields:" + NameList(bad, kFpgaNames));
}

bool CJastelTest::CheckRam() {
    PrintColor("Checking Jastel.RAM ...", kColorBlack);
    // Clocks that are on stay on: memory behind them may be in use.
    const DWORD clocks = m_saved[kRam] & kRamClocks;
    std::vector<DWORD> steps = {clocks, clocks | 0x100, clocks | 0x8, clocks | 0x10, clocks | 0x4};
    if (!(clocks & 0x2)) steps.insert(steps.end(), {clocks | 0x2, clocks});
    if (!(clocks & 0x1)) steps.insert(steps.end(), {clocks | 0x1, clocks});
    DWORD bad = 0;
    for (const DWORD v : steps) {
        m_registers[kRam] = v;
        bad |= (m_registers[kRam] ^ v) & kRamChecked;
    }
    return ReportWrittenBits(kRam, bad, "indicators:" + NameList(bad, kRamNames));
}

bool CJastelTest::ReportWrittenBits(Register reg, DWORD bad, const CString& what) {
    if (!bad) {
        PrintColor("Okay\n", kColorGreen);
        return true;
    }
    PrintColor(" Failed.", kColorRed);
    PrintColorFormat(kColorBlack, "\n  At BAR0+0x%6.6X, these bits failed: ", kBar0[reg]);
    CString line;
    line.Format("0x%8.8X.\n  Unable to write these ", bad);
    PrintColor(line + what, kColorRed);
    return false;
}
