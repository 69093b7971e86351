// SCRport: the status, version, temperature and DIMM reports, the product-data keyword search and the revision indices.

#include "diagport/port_colours.h"
#include "diagport/scr_port.h"
#include "framework/arg_number.h"
#include "framework/hw/oxd.h"
#include "framework/param_string.h"

namespace {

constexpr DWORD kKeyerIdRegister = 0xBFC8, kPairAIdRegister = 0x1BFC8, kPairBIdRegister = 0x1FFC8;
constexpr DWORD kControlWords = 0x58000;  // channel c's control word at + 4c
constexpr DWORD kDcbBase = 0x60000;       // DCB n of channel c at + 0x200c + 0x20n

const char* BoardName(const CWexalBoardIF& board) { return board.GetMainBoardRegisters() ? "Brimola" : "Nuxa"; }

}  // namespace

int SCRport::GetVPDKeyword(char k1, char k2, const CString* label, DWORD* value) {
    for (DWORD p = 0; p <= 998; ++p) {
        if (m_VPDImage[p] != static_cast<BYTE>(k1) || m_VPDImage[p + 1] != static_cast<BYTE>(k2)) continue;
        // The length byte is signed; a negative one is taken as an empty text. The text stays
        // inside the image: 998 + 3 + 127 is far below its size.
        const int length = static_cast<signed char>(m_VPDImage[p + 2]);
        CString text;
        for (int i = 0; i < length; ++i) text += static_cast<char>(m_VPDImage[p + 3 + static_cast<DWORD>(i)]);
        if (label && !label->IsEmpty()) PrintColor(*label + text, kColorBlack);
        if (value) {
            // A number too wide for the value reads as no number: the value stays, never cut to fit.
            const platform::FieldScan read =
                platform::ReadField(text.c_str(), platform::NumberForm::Hex, platform::kUnsigned32Field);
            if (read.fit == platform::NumberFit::Fits) *value = static_cast<DWORD>(read.value);
        }
        return 1;
    }
    return 0;
}

int SCRport::SelectRevisionIndices() {
    const bool main = static_cast<bool>(m_boardIF.GetMainBoardRegisters());
    if (!main && !m_boardIF.GetCodecBoardRegisters()) return 1;
    const CTriskoOxd header(GetDeviceInfoText(), 0);
    CString name;
    if (!header.GetTag('N', name)) {
        PrintColor("Unable to get N field from flash OXD\n", kColorRed);
        return 0;
    }
    struct Choice {
        const char* image;
        int minor, pcix, major;
    };
    const Choice choice = GetReleaseId() == kReleaseSkavo ? Choice{"ZVKX", 1, 5, 8}
                          : main                          ? Choice{"PUVI", 2, 6, 9}
                                                          : Choice{"KEZO", 3, 7, 10};
    if (name.Left(4) != choice.image) {
        CString text;
        text.Format("The environment requires the %s image; the board runs %s\n", choice.image, name.c_str());
        PrintColor(text, kColorRed);
        return 0;
    }
    m_WexalMinorRevIndex = choice.minor;
    m_PCIXPromRevIndex = choice.pcix;
    m_WexalMajorRevIndex = choice.major;
    return 1;
}

bool SCRport::ReportFpgaRevision(const char* name, DWORD word, long minimum) {
    const DWORD minor = word & 0xFFF, major = word >> 12 & 0xFF, id = word >> 20;
    CString line;
    bool passed = true;
    if (minimum >= 0 && minor < static_cast<DWORD>(minimum)) {
        line.Format("%s ID.Major.Minor Revision: %03X.%02X.%03X (Current Min Rev: 003.00.%03X)\n", name, id, major, minor,
                    static_cast<unsigned>(minimum));
        PrintColor(line, kColorDarkRed);
        passed = false;
    } else {
        line.Format(minimum >= 0 ? "%s ID.Major.Minor Revision: %03X.%02X.%03X (OK)\n"
                                 : "%s ID.Major.Minor Revision: %03X.%02X.%03X\n",
                    name, id, major, minor);
        PrintColor(line, kColorBlack);
    }
    if (id == 0xFFF) {
        PrintColor(" (not Loaded)\n", kColorRed);
        passed = false;
    }
    return passed;
}

DWORD SCRport::ShowVersions(CString args, int) {
    const CParamString params(args);
    CString file;
    if (params.GetValueAsWritten("FILE", file) && ReadMinimumRevisions(file) != kRunPassed) return kRunFailed;
    const RegisterPtr bar0 = ChooseBAR0("Brimola Versions:\n", "Nuxa Versions:\n");
    if (!bar0) return kRunFailed;
    DWORD result = kRunPassed;
    CString line;
    const DWORD identity = bar0[0x4000 / 4];
    line.Format("Jastel Rev: 0x%04X\n", identity >> 16 & 0xFF);
    PrintColor(line, kColorBlack);
    const DWORD wexal = bar0[CWexalBoardIF::kRevisionRegister / 4];
    line.Format("Wexal  Func.Major.Minor Revision: %03X.%02X.%03X\n", wexal >> 20, wexal >> 12 & 0xFF, wexal & 0xFFF);
    PrintColor(line, kColorBlack);
    struct Prom {
        const char* format;
        DWORD address;
    };
    for (const Prom& prom : {Prom{"Wexal PCI-X Prom Image Rev: 0x%04X\n", 0x1FFFFC}, Prom{"Wexal PCI Prom Image Rev:   0x%04X\n", 0x2FFFFC}}) {
        bar0[0x4008 / 4] = prom.address;
        line.Format(prom.format, static_cast<DWORD>(bar0[0x400C / 4]) & 0xFFFF);
        PrintColor(line, kColorBlack);
    }
    line.Format("%s HW Board Rev: 0x%02X\n", BoardName(m_boardIF), identity >> 8 & 0xFF);
    PrintColor(line, kColorBlack);
    if (m_boardIF.GetMainBoardRegisters()) {
        if (!ReportFpgaRevision("Kerzil  ", bar0[kKeyerIdRegister / 4], -1)) result = kRunFailed;
        if (!ReportFpgaRevision("SulvethA", bar0[kPairAIdRegister / 4], -1)) result = kRunFailed;
        if (!ReportFpgaRevision("SulvethB", bar0[kPairBIdRegister / 4], -1)) result = kRunFailed;
    }
    ReadVPDImage(bar0);
    const CString name = BoardName(m_boardIF);
    DWORD unused = 0;
    for (const auto& [k2, label] : {std::pair{'B', " MajorNum(ZB): "}, std::pair{'C', " MinorNum(ZC): "}}) {
        const CString text = name + label;
        if (GetVPDKeyword('Z', k2, &text, &unused)) PrintColor("\n", kColorBlack);
    }
    if (!SelectRevisionIndices()) return kRunFailed;
    line.Format("Revision indices: %d %d %d\n", m_WexalMinorRevIndex, m_PCIXPromRevIndex, m_WexalMajorRevIndex);
    PrintColor(line, kColorBlack);
    return result;
}

DWORD SCRport::ShowTemperatures(CString, int) {
    const RegisterPtr bar0 = ChooseBAR0(nullptr, nullptr);
    if (!bar0) return kRunFailed;
    PrintColor(m_boardIF.GetMainBoardRegisters() ? "Brimola Temperature Sensor Info:\n" : "Nuxa Temperature Sensor Info:\n",
               kColorBlack);
    static const char* const kChannels[][2] = {{"LTEMP", "Local"}, {"1TEMP", "Wexal"}, {"2TEMP", "Remote 2"}, {"3TEMP", "Remote 3"}};
    DWORD result = kRunPassed;
    for (const auto& [reg, label] : kChannels) {
        DWORD value = 0;
        CString line;
        if (!ReadTemperature(reg, &value)) {
            line.Format("  %-8s unable to read %s\n", label, reg);
            PrintColor(line, kColorRed);
            result = kRunFailed;
            continue;
        }
        // The sensor counts in two's complement: below 0 C the byte's top bit is set.
        line.Format("  %-8s %d C\n", label, static_cast<int>(static_cast<signed char>(value & 0xFF)));
        PrintColor(line, kColorBlack);
    }
    return result;
}

DWORD SCRport::ShowDIMMs(CString, int verbose) {
    if (!ChooseBAR0(nullptr, nullptr)) return kRunFailed;
    return ShowDIMMInfo(static_cast<DWORD>(verbose)) ? kRunPassed : kRunFailed;
}

DWORD SCRport::ShowDMAStatus(CString args, int) {
    const RegisterPtr bar0 = ChooseBAR0(nullptr, nullptr);
    if (!bar0) return kRunFailed;
    PrintColor(m_boardIF.GetMainBoardRegisters() ? "Brimola DMA Status:\n" : "Nuxa DMA Status:\n", kColorBlack);
    const CParamString params(args);
    CString value;
    long channel = 0;
    if (params.GetValue("Channel", value)) {
        // Decimal or 0x: a leading 0 does not make it octal, and no number is cut to fit.
        const platform::FieldScan read = platform::ReadField(value.c_str(), platform::NumberForm::Either, {0, 63});
        if (read.fit != platform::NumberFit::Fits || *read.end) {
            PrintColor("Channel= must be a channel number from 0 to 63\n", kColorRed);
            return kRunFailed;
        }
        channel = static_cast<long>(read.value);
    }
    CString line;
    line.Format("Channel %ld Control: 0x%08X\n", channel, static_cast<DWORD>(bar0[(kControlWords + 4 * channel) / 4]));
    PrintColor(line, kColorBlack);
    DWORD words[8] = {};
    (bar0 + static_cast<std::ptrdiff_t>((kDcbBase + 0x200 * channel) / 4)).ReadBlock(words, 8);
    line.Format("DCB 0: 0x%08X 0x%08X 0x%08X 0x%08X 0x%08X 0x%08X 0x%08X 0x%08X\n", words[0], words[1], words[2], words[3],
                words[4], words[5], words[6], words[7]);
    PrintColor(line, kColorBlack);
    return kRunPassed;
}

namespace {

// The diagnostics whose registers this build does not know: the argument check, then the refusal.
DWORD NotInThisBuild(SCRport& port, const char* name, const CString& args, bool needsDeviceAndTest, int& abortCount) {
    const CParamString params(args);
    CString value;
    if (needsDeviceAndTest) {
        for (const char* key : {"DEVICE", "TEST"})
            if (!params.GetValue(key, value)) {
                CString line;
                line.Format("ERROR:  %s needs %s=\n", name, key);
                port.PrintColor(line, kColorRed);
                return kRunFailed;
            }
        const ArgNumber abort = ReadArgValue(params, "ABORTCOUNT", platform::NumberForm::Decimal, platform::kSigned32Field);
        if (abort.state == ArgRead::Refused) {
            port.PrintColor(abort.refusal, kColorRed);
            return kRunFailed;
        }
        if (abort.state == ArgRead::Read) abortCount = static_cast<int>(abort.value);
    }
    CString line;
    line.Format("ERROR:  %s is not part of this build\n", name);
    port.PrintColor(line, kColorRed);
    return kRunFailed;
}

}  // namespace

DWORD SCRport::CheckPCISpeed(CString args, int) { return NotInThisBuild(*this, "KZ-CheckPCISpeed", args, false, m_AbortCount); }
DWORD SCRport::TestSulvethDDR(CString args, int) { return NotInThisBuild(*this, "KZ-TazuDDR", args, true, m_AbortCount); }
DWORD SCRport::TestSulvethQDR(CString args, int) { return NotInThisBuild(*this, "KZ-TazuQDR", args, true, m_AbortCount); }
