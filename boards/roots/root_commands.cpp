// The keyword commands both board roots share: clock synthesiser, init program, product data, temperatures, image revision.
#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "boards/roots/board_root.h"
#include "boards/dma/dcb_display.h"
#include "boards/roots/clock_synth.h"
#include "devlib/wexal_spaces.h"
#include "framework/hw/oxd.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "platform/files.h"
#include "platform/process.h"

namespace {

struct VpdRow {
    const char* key;
    const char* label;
    const char* tabs;
};

// In print order; the codec board also shows the ten free fields V0-V9.
constexpr VpdRow kVpdRows[] = {
    {"SN", "Serial Number", "\t\t\t"},        {"PN", "Part Number", "\t\t\t\t"},
    {"EC", "Eng Change Level", "\t\t\t"},     {"RL", "Default Revision", "\t\t\t"},
    {"FN", "FRU Part Number", "\t\t\t"},      {"MN", "Manufacture ID", "\t\t\t"},
    {"VI", "Vendor/Device ID", "\t\t\t"},     {"SI", "Subsystem Vendor/Device ID", "\t"},
    {"Z0", "Creation Date", "\t\t\t"},        {"Z1", "Modification Date", "\t\t\t"},
    {"ZA", "Artwork Revision", "\t\t\t"},     {"ZB", "Major Revision", "\t\t\t"},
    {"ZC", "Minor Revision", "\t\t\t"},       {"ZD", "Hardware Rework Tag", "\t\t"},
    {"ZE", "OXD Prefix Tag", "\t\t\t"},       {"VA", "Sorbelin A Major/Minor", "\t\t"},
    {"VB", "Sorbelin B Major/Minor", "\t\t"}, {"VC", "DSP A Major/Minor", "\t\t\t"},
    {"VD", "DSP B Major/Minor", "\t\t\t"},    {"V0", "V0", "\t\t"},
    {"V1", "V1", "\t\t"},                     {"V2", "V2", "\t\t"},
    {"V3", "V3", "\t\t"},                     {"V4", "V4", "\t\t"},
    {"V5", "V5", "\t\t"},                     {"V6", "V6", "\t\t"},
    {"V7", "V7", "\t\t"},                     {"V8", "V8", "\t\t"},
    {"V9", "V9", "\t\t"},
};

struct ClockDevice {
    const char* prefix;
    const char* space;
};
constexpr ClockDevice kClockDevices[] = {{"Wexal", "CLOCK1"}, {"Sorbelin", "CLOCK2"}};

constexpr DWORD kClockControl = 0x48048;   // bit 31 cleared while the synthesiser is written
constexpr DWORD kBoardIdRegister = 0x4000;
constexpr DWORD kInitDoneRegister = 0x40060;

// Whether text begins with prefix, case ignored.
bool BeginsNoCase(const CString& text, const CString& prefix) {
    return text.Left(prefix.GetLength()).CompareNoCase(prefix) == 0;
}

}  // namespace

RegisterPtr CBoardRoot::GetBoardRegisters() const {
    return m_profile.kind == treepath::RootKind::MainBoard ? GetBoardIF().GetMainBoardRegisters()
                                                           : GetBoardIF().GetCodecBoardRegisters();
}

DWORD CBoardRoot::I2CClock(CString args) {
    const RegisterPtr registers = GetBoardRegisters();
    if (!registers || !GetDevice()) return kRunFailed;
    const CParamString params(args);
    CString device, file, setting;
    if (!params.GetValue("DEVICE", device)) {
        PrintColor("ERROR:  DEVICE not found on command line.\n", kColorRed);
        return kRunFailed;
    }
    std::array<clocksynth::Setting, clocksynth::kSettingRows> settings = clocksynth::MakeSettings();
    if (params.GetValue("FILE", file)) {
        ExpandPathMacros(file, TRUE, TRUE);
        CFile in;
        if (!in.Open(file, CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary)) {
            PrintColor("ERROR:  Unable to open file - \n" + file, kColorRed);
            return kRunFailed;
        }
        const LONGLONG length = in.GetLength();
        // The text is taken as one CString: a longer file is refused whole, never read in part.
        if (length > INT_MAX) {
            PrintColor("ERROR:  Unable to read file - \n" + file + ": more than 2 GiB, larger than a register file may be.\n", kColorRed);
            return kRunFailed;
        }
        std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
        if (in.Read(text.data(), static_cast<UINT>(length)) != static_cast<UINT>(length)) {
            PrintColor("ERROR:  Unable to read file.\n", kColorRed);
            return kRunFailed;
        }
        CString refusal;
        setting = clocksynth::ReadRegisterFile(CString(text.data()), settings[0], &refusal);
        if (!refusal.IsEmpty()) {
            PrintColor(refusal, kColorRed);
            return kRunFailed;
        }
    } else if (!params.GetValue("MODE", setting)) {
        PrintColor("ERROR:  MODE not found on command line.\n", kColorRed);
        return kRunFailed;
    }

    for (int d = 0; d < static_cast<int>(std::size(kClockDevices)); ++d) {
        const ClockDevice& row = kClockDevices[d];
        if (!BeginsNoCase(device, row.prefix)) continue;
        CString line;
        line.Format("sParams(%s) == DevNames[%d].pszDevice(%s)\n", device.c_str(), d, row.prefix);
        PrintColor(line, kColorBlack);
        CZorvDevice* clock = GetDevice()->GetDevice(CZorvDevice::DEVTYPE_CLOCK, 0);
        if (!clock) {
            PrintColor("Could not GetDevice( CZorvDevice::DEV_WEXALIIC )\n", kColorRed);
            return kRunFailed;
        }
        CDevAddrSpace* space = clock->GetSpace(row.space);
        line.Format(space ? "Using Space( %s )\n" : "Could not GetSpace( %s )\n", row.space);
        PrintColor(line, space ? kColorBlack : kColorRed);
        if (!space) return kRunFailed;

        for (int s = 0; s < clocksynth::kSettingRows; ++s) {
            const clocksynth::Setting& chosen = settings[static_cast<size_t>(s)];
            if (!BeginsNoCase(setting, chosen.name)) continue;
            line.Format(m_profile.settingTrace, setting.c_str(), s, chosen.name.c_str());
            PrintColor(line, kColorBlack);
            registers[kClockControl / 4] = registers[kClockControl / 4] & 0x7FFFFFFF;
            for (const clocksynth::RegisterWrite& write : chosen.writes) {
                line.Format("Reg[0x%02X] = 0x%02X\n", write.reg, write.value);
                PrintColor(line, kColorBlack);
                const BYTE value = static_cast<BYTE>(write.value);
                space->Set(&value, write.reg, 1);
            }
            registers[kClockControl / 4] = registers[kClockControl / 4] | 0x80000000;
            const DWORD boardId = (registers[kBoardIdRegister / 4] >> 8) & 0xFF;
            registers[kBoardIdRegister / 4] = boardId;
            line.Format(boardId == 0 ? "jastelBID.dw(0x%04X) <= 0\n" : "jastelBID.dw(0x%04X)\n", boardId);
            PrintColor(line, boardId == 0 ? kColorRed : kColorBlack);
            if (boardId == 0) return kRunPassed;
            const auto hz = static_cast<long long>(clocksynth::ClockHz(chosen));
            line.Format("SDRAM Memory: Reference = %d Mhz, Clock= %d.%06d\n", chosen.referenceHz == 40000000 ? 40 : 80,
                        static_cast<int>(hz / 1000000), static_cast<int>(hz % 1000000));
            Print(line);
            return kRunPassed;
        }
    }
    return kRunFailed;
}

DWORD CBoardRoot::InitPexano(const CString&, int) {
    const CString directory = GetProgramDirectory();
    std::vector<std::string> arguments = {m_profile.initOption, "-v"};
    if (IsEngineering()) {
        arguments.push_back("-p");
        arguments.push_back((directory + "TestData").str());
    }
    const int code = platform::RunProcess((directory + "InitPexano.exe").str(), arguments);
    if (code != 0) {
        CString line;
        line.Format("InitPexano _SPAWNL returned %d", code);
        PrintColor(line, kColorRed);
        return kRunFailed;
    }
    if (m_profile.kind == treepath::RootKind::MainBoard) {
        if (const RegisterPtr registers = GetBoardRegisters()) registers[kInitDoneRegister / 4] = 2;
    }
    return kRunPassed;
}

DWORD CBoardRoot::ShowVPDInformation() {
    CWexalBAR0Space* bar0 = GetBoardIF().GetWexalBAR0Space();
    if (!GetBoardRegisters()) {
        PrintColor(CString(m_profile.registersName) + " is NULL\n", kColorRed);
        return 0;
    }
    if (!bar0) {
        PrintColor("pBar0Space is NULL\n", kColorRed);
        return 0;
    }
    DWORD shown = 0;
    for (int i = 0; i < m_profile.vpdFields; ++i) {
        const VpdRow& row = kVpdRows[i];
        char field[80] = {};
        int length = 0;
        if (bar0->GetVPDField(row.key, 79, field, &length) != PCI_VPD::VPD_OK || length <= 0) continue;
        field[std::min(length, 79)] = '\0';
        CString line;
        line.Format("%s:\t%s%s\n", row.label, row.tabs, field);
        PrintColor(line, kColorBlack);
        shown = 1;
    }
    return shown;
}

DWORD CBoardRoot::ShowTemperatureReport(unsigned verbosity) {
    static const char* const kSetPoints[] = {"LRHI", "1RHI", "2RHI", "3RHI"};
    static const char* const kReadings[] = {"LTEMP", "1TEMP", "2TEMP", "3TEMP"};
    const char* const lines[] = {"    Local\t%d C\t\t%d C\n", "    Wexal\t%d C\t\t%d C\n", m_profile.remoteLines[0],
                                 m_profile.remoteLines[1]};
    DWORD setPoint[4] = {}, reading[4] = {};
    for (int i = 0; i < 4; ++i) ReadTemperature(kSetPoints[i], &setPoint[i]);
    for (int i = 0; i < 4; ++i) ReadTemperature(kReadings[i], &reading[i]);
    PrintColor("  Sensor\tSetPoint\tTemperature\n", kColorBlack);
    for (int i = 0; i < 4; ++i) {
        CString line;
        line.Format(lines[i], static_cast<int>(setPoint[i]), static_cast<int>(reading[i]));
        PrintColor(line, setPoint[i] < reading[i] ? kColorRed : kColorBlack);
    }
    PrintColor("\n", kColorBlack);
    struct Register {
        const char* name;
        const char* format;
    };
    static const Register kRegisters[] = {
        {"RCONF", "    Configuration: 0x%08X\n"}, {"STAT1", "         Status 1: 0x%08X\n"},
        {"STAT2", "         Status 2: 0x%08X\n"}, {"RCRIT", "           T-Crit: 0x%08X\n"},
        {"MANID", " Manufacturers ID: 0x%08X\n"}, {"STEP", "         Stepping: 0x%08X\n"},
    };
    DWORD values[std::size(kRegisters)] = {};
    for (size_t i = 0; i < std::size(kRegisters); ++i) ReadTemperature(kRegisters[i].name, &values[i]);
    if (verbosity >= 1) {
        PrintColor("Registers:\n", kColorBlack);
        for (size_t i = 0; i < std::size(kRegisters); ++i) {
            CString line;
            line.Format(kRegisters[i].format, values[i]);
            PrintColor(line, kColorBlack);
        }
    }
    return kRunPassed;
}

DWORD CBoardRoot::ShowOxdRevision(const CString& file) {
    const COxd image(file, 1);
    CString line;
    if (!image.IsValid()) {
        line.Format("ERROR:  Unrecognized file[%s]\n", file.c_str());
        PrintColor(line, kColorRed);
        return 0;
    }
    CString revision;
    image.GetRevision(revision);
    line.Format("%s Revision[%s]\n", file.c_str(), revision.c_str());
    PrintColor(line, kColorGreen);
    return kRunPassed;
}

// The same row in both roots' tables: no keyword here starts another of either root's keywords, so
// the roots may look at their own rows first.
const CBoardRoot::KeywordRow<CBoardRoot> CBoardRoot::kSharedKeywords[9] = {
    {"I2C Clock", KeywordMatch::Prefix, KeywordResult::Handler, &CBoardRoot::I2CClockCommand},
    {"Display Rev", KeywordMatch::Prefix, KeywordResult::PassWhenOne, &CBoardRoot::DisplayRevCommand},
    {"Show VPD Information", KeywordMatch::Exact, KeywordResult::PassWhenOne, &CBoardRoot::ShowVPDInformationCommand},
    {"Show DCB Info", KeywordMatch::Prefix, KeywordResult::Handler, &CBoardRoot::ShowDCBInfoCommand},
    {"Program", KeywordMatch::Prefix, KeywordResult::Handler, &CBoardRoot::ProgramCommand},
    {"InitPexano", KeywordMatch::Prefix, KeywordResult::Handler, &CBoardRoot::InitPexanoCommand},
    {"\"Show DIMM Information\"", KeywordMatch::Prefix, KeywordResult::PassWhenOne, &CBoardRoot::ShowDIMMInfoCommand},
    {"\"Check VPD Structure\"", KeywordMatch::Exact, KeywordResult::PassWhenOne, &CBoardRoot::CheckVPDStructureCommand},
    {"FileMap", KeywordMatch::Prefix, KeywordResult::Handler, &CBoardRoot::FileMapCommand},
};

DWORD CBoardRoot::ShowDCBInfo(CString text) {
    const bool main = m_profile.kind == treepath::RootKind::MainBoard;
    return dcbdisplay::ShowDCBInfo(*this, GetBoardRegisters(), text, main);
}

bool CBoardRoot::ReadDisplayRevFile(const CString& args, CString& file) {
    if (!CParamString(args).GetValue("FILE", file)) {
        PrintColor("ERROR:  FILE= not specified on the command line.\n", kColorRed);
        return false;
    }
    file.MakeUpper();
    return true;
}
