// CWexalTreeMapTB's board reports: DIMM SPD checks, product-data structure and serial, temperature, flash revision.
#include <algorithm>
#include <cstring>
#include <vector>

#include "devlib/devices.h"
#include "devlib/wexal_spaces.h"
#include "framework/hw/oxd.h"
#include "framework/result_screen.h"
#include "framework/tree_map_tb.h"
#include "platform/clock.h"

namespace {

constexpr COLORREF kColorYellowBack = 0x00F0FF;

constexpr DWORD kCasLatencyRegister = 0x48044;  // controller's CAS latency code in bits 4-6
constexpr DWORD kSpdBytes = 128;
constexpr DWORD kSpdComparedBytes = 67;  // bytes 0-66: everything up to the manufacturer's code
constexpr size_t kMaxErrorLines = 128;
constexpr int kMaxLatencies = 3;         // the timing bytes of three latencies exist in the SPD
constexpr DWORD kVpdImageBytes = CWexalBAR0Space::kVpdBytes;
constexpr DWORD kSerialRoom = 79;

const char* const kDimmSpaces[2] = {"I2C.DIMM1", "I2C.DIMM2"};

// SPD byte offsets (JEDEC DDR SDRAM layout).
enum SpdByte : DWORD {
    kRowBits = 3,
    kColumnBits = 4,
    kModuleRows = 5,
    kCycleAtHighest = 9,
    kAccessAtHighest = 10,
    kBurstLengths = 16,
    kCasLatencies = 18,
    kModuleAttributes = 21,
    kCycleAtNext = 23,
    kAccessAtNext = 24,
    kCycleAtThird = 25,
    kAccessAtThird = 26,
    kBankDensity = 31,
    kManufacturer = 64,
};

// Cycle and access time bytes of the recorded latencies, highest latency first.
constexpr DWORD kTimingBytes[kMaxLatencies][2] = {
    {kCycleAtHighest, kAccessAtHighest}, {kCycleAtNext, kAccessAtNext}, {kCycleAtThird, kAccessAtThird}};

// SPD byte 18 bits, highest latency first, with the texts as printed (padded to three characters).
struct CasBit {
    BYTE bit;
    const char* text;
};
constexpr CasBit kCasBits[] = {
    {0x20, "3.5"}, {0x10, "3  "}, {0x08, "2.5"}, {0x04, "2  "}, {0x02, "1.5"}, {0x01, "1  "}};
constexpr const char* kCas25 = "2.5";
constexpr const char* kCas2 = "2  ";

// The latency the memory controller uses, by its code.
const char* ControllerLatency(DWORD code) {
    switch (code) {
    case 2: return "2";
    case 3: return "3";
    case 4: return "4";
    case 6: return "2.5";
    default: return "";
    }
}

const char* SpeedName(BYTE cycle) {
    switch (cycle) {
    case 0x50: return "200Mhz";
    case 0x55: return "180Mhz";
    case 0x60: return "166Mhz";
    case 0x70: return "143Mhz";
    case 0x75: return "133Mhz";
    default: return "";
    }
}

// JEDEC JEP106 manufacturers the boards have been fitted with: bank (1 + the 0x7F continuation
// bytes before the code) and code.
struct Manufacturer {
    int bank;
    BYTE code;
    const char* name;
};
constexpr Manufacturer kManufacturers[] = {
    {2, 0x40, "Viking/Sanmina"},   {2, 0x61, "Wintec Industries"},    {2, 0x91, "Dataram"},
    {2, 0x94, "Smart Modular"},    {2, 0xA8, "SimpleTech"},           {2, 0xCE, "Unigen Corporation"},
    {2, 0xEF, "Advantage Memory"}, {3, 0x2A, "Kentron Technologies"}, {4, 0x19, "Centon Electronics"},
    {4, 0x8A, "Princeton Technology"}, {5, 0xA8, "US Modular"},
};
const char* const kUnknownManufacturer[] = {
    "unknown, Type: %02X,xx,xx,xx",    "unknown, Type: 7F,%02X,xx,xx",    "unknown, Type: 7F,7F,%02X,xx",
    "unknown, Type: 7F,7F,7F,%02X",    "unknown, Type: 7F,7F,7F,7F,%02X",
};
constexpr BYTE kContinuation = 0x7F;
constexpr int kBanks = 5;

CString VendorText(const BYTE* spd) {
    for (int bank = 1; bank <= kBanks; ++bank) {
        const BYTE code = spd[kManufacturer + bank - 1];
        if (code == kContinuation) continue;
        for (const Manufacturer& m : kManufacturers)
            if (m.bank == bank && m.code == code) return m.name;
        CString text;
        text.Format(kUnknownManufacturer[bank - 1], code);
        return text;
    }
    CString text;
    text.Format("Invalid Vendor ID field: %02X,%02X,%02X,%02X,%02X", kContinuation, kContinuation,
                spd[kManufacturer + 2], spd[kManufacturer + 3], spd[kManufacturer + 4]);
    return text;
}

// What the checks found out about one module, for its report.
struct ModuleDecode {
    bool present = false;
    CString vendor;
    DWORD sizeMB = 0;
    CString latencyList = "NONE";
    const char* latencies[kMaxLatencies] = {"", "", ""};
    int latencyCount = 0;
    CString summary;
};

}  // namespace

CString CWexalTreeMapTB::GetDeviceInfoText() {
    const auto* board = dynamic_cast<const CWexalBoardDevice*>(GetDevice());
    return board ? board->GetInfoText() : CString();
}

CString CWexalTreeMapTB::GetFlashRevision() {
    const CTriskoOxd header(GetDeviceInfoText(), 0);
    CString revision;
    if (!header.GetTag('R', revision)) {
        PrintStyled("Unable to get R field from flash OXD\n", kColorBlack, kColorYellowBack, FALSE);
        return CString();
    }
    return revision;
}

BOOL CWexalTreeMapTB::ReadTemperature(const char* registerName, DWORD* value) {
    if (!registerName || !value) return FALSE;
    CZorvDevice* device = GetDevice();
    CDevAddrSpace* space = device ? device->GetSpace("I2C.TSENSOR") : nullptr;
    if (!space) {
        PrintColor("Could not GetSpace( I2C.TSENSOR )\n", kColorRed);
        return FALSE;
    }
    const auto* registers = dynamic_cast<const CDevRegSpace*>(space);
    if (!registers || !registers->AreSymbolsAvailable()) return FALSE;
    CPPVarDesc desc;
    if (!registers->GetSymbolDesc(registerName, &desc)) return FALSE;
    // The sensor's registers are bytes; a wider descriptor must not write past the DWORD.
    DWORD reading = 0;
    const int width = static_cast<int>(std::min<DWORD>(desc.size, sizeof reading));
    if (width < 1 || space->GetBytes(&reading, desc.offset, width) < 1) return FALSE;
    *value = reading & 0xFF;
    return TRUE;
}

BOOL CWexalTreeMapTB::ReadTemperatureNonZero(const char* registerName, DWORD* value, int tries) {
    if (!value) return FALSE;
    for (int i = 0; i < std::max(tries, 1); ++i) {
        if (i) Sleep(1);
        DWORD reading = 0;
        if (!ReadTemperature(registerName, &reading)) return FALSE;
        *value = reading;
        if (reading) return TRUE;
    }
    return FALSE;
}

BOOL CWexalTreeMapTB::CheckDIMMGeometry(BYTE, BYTE, CString&) { return TRUE; }

BOOL CWexalTreeMapTB::CheckDIMMSize(DWORD, CString&) { return TRUE; }

DWORD CWexalTreeMapTB::ReadSPD() {
    CZorvDevice* device = GetDevice();
    ULONGLONG totalMB = 0;
    for (const char* name : kDimmSpaces) {
        CDevAddrSpace* space = device ? device->GetSpace(name) : nullptr;
        if (!space) {
            PrintColor(CString("Could not GetSpace( ") + name + " )\n", kColorRed);
            continue;
        }
        BYTE rows = 0, density = 0;
        space->GetBytes(&rows, kModuleRows, 1);
        space->GetBytes(&density, kBankDensity, 1);
        totalMB += ULONGLONG{rows} * density * 4;
    }
    return static_cast<DWORD>(std::min<ULONGLONG>(totalMB << 20, 0xFFFFFFFF));
}

BOOL CWexalTreeMapTB::ShowDIMMInfo(DWORD verbosity) {
    int failures = 0;
    std::vector<CString> errors;
    auto addError = [&errors](const CString& line) {
        if (errors.size() < kMaxErrorLines) errors.push_back(line);
    };

    if (verbosity >= 1) {
        PrintColor("------------------------------------------------\n", kColorBlack);
        PrintColor("Show Info of DIMMs on the card\n", kColorBlack);
    }

    DWORD controllerCode = 0;
    RegisterPtr bar0 = m_boardIF.GetMainBoardRegisters();
    if (!bar0) bar0 = m_boardIF.GetCodecBoardRegisters();
    if (bar0) controllerCode = bar0[kCasLatencyRegister / 4] >> 4 & 7;
    else PrintColor("Invalid pBAR0\n", kColorRed);

    BYTE spd[2][kSpdBytes] = {};
    ModuleDecode module[2];
    CZorvDevice* device = GetDevice();
    for (int d = 0; d < 2; ++d) {
        if (verbosity == 1) PrintColorFormat(kColorBlack, "Reading DIMM%d-ID info\n", d + 1);
        CDevAddrSpace* space = device ? device->GetSpace(kDimmSpaces[d]) : nullptr;
        if (!space) {
            PrintColor(CString("Could not GetSpace( ") + kDimmSpaces[d] + " )\n", kColorRed);
            continue;
        }
        module[d].present = true;
        for (DWORD offset = 0; offset < kSpdBytes; ++offset) space->GetBytes(&spd[d][offset], offset, 1);
    }

    if (verbosity == 1) {
        PrintColor("Comparing Parameters of DIMM1-ID to DIMM2-ID ...\n", kColorBlack);
    } else if (verbosity >= 2) {
        static const char* const kDumpTitles[2] = {"North DIMM (Low Order Word)\n\n",
                                                   "West DIMM (High Order Word)\n\n"};
        for (int d = 0; d < 2; ++d) {
            PrintColor(kDumpTitles[d], kColorGreen);
            for (DWORD row = 0; row < kSpdBytes; row += 8) {
                const BYTE* b = &spd[d][row];
                PrintColorFormat(kColorGreen, "0x%04lX:  0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X\n",
                                 static_cast<unsigned long>(row), b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7]);
            }
        }
    }

    bool differ = false;
    for (DWORD i = 0; i < kSpdComparedBytes; ++i) {
        if (spd[0][i] == spd[1][i]) continue;
        differ = true;
        ++failures;
        if (verbosity == 1)
            PrintColorFormat(kColorRed, "DIMMS Mismatch, DIMM1[%d]=0x%02X DIMM2[%d]=0x%02X\n", static_cast<int>(i),
                             spd[0][i], static_cast<int>(i), spd[1][i]);
    }
    if (differ) PrintColor("DIMM1 and DIMM2 do not have identical parameters\n", kColorRed);
    else if (verbosity == 1) PrintColor("DIMMS have the same parameters\n", kColorGreen);

    const DWORD cycleLimit25 = controllerCode == 6 ? 0x60 : 0x75;
    const DWORD accessLimit25 = controllerCode == 6 ? 0x70 : 0x75;
    for (int d = 0; d < 2; ++d) {
        const BYTE* s = spd[d];
        ModuleDecode& m = module[d];
        const int n = d + 1;
        CString line;
        if (!m.present) {
            // Its bytes were never read: decoding zeros would only add misleading lines.
            line.Format("DIMM %d: No SPD data, the %s space is missing", n, kDimmSpaces[d]);
            addError(line);
            ++failures;
            continue;
        }
        m.vendor = VendorText(s);

        m.sizeMB = DWORD{s[kModuleRows]} * s[kBankDensity] * 4;
        CString message;
        if (!CheckDIMMSize(m.sizeMB, message)) {
            line.Format("DIMM %d: %s", n, message.c_str());
            addError(line);
            ++failures;
        }
        message.Empty();
        if (!CheckDIMMGeometry(s[kRowBits], s[kColumnBits], message)) {
            line.Format("DIMM %d: %s", n, message.c_str());
            addError(line);
            ++failures;
        }
        if ((s[kBurstLengths] & 0x0E) != 0x0E) {
            line.Format("DIMM %d: Incorrect SDRAM Device Attributes: BurstLength(16d): 0x%02X , expect: 0x0E", n,
                        s[kBurstLengths]);
            addError(line);
            ++failures;
        }
        if ((s[kModuleAttributes] & 0x24) != 0x24) {
            line.Format("DIMM %d: Incorrect SDRAM Module Attributes(21d):  0x%02X , expect: 0x24", n,
                        s[kModuleAttributes]);
            addError(line);
            ++failures;
            if (!(s[kModuleAttributes] & 0x04)) addError("This module does not have On-Card PLL");
            if (!(s[kModuleAttributes] & 0x20)) addError("This module does not have a Differential Clock Input");
        }

        // Supported latencies: recorded highest first (only three have timing bytes), listed lowest first.
        for (const CasBit& cas : kCasBits) {
            if (!(s[kCasLatencies] & cas.bit)) continue;
            if (m.latencyCount < kMaxLatencies) m.latencies[m.latencyCount] = cas.text;
            m.latencyList = m.latencyList == "NONE" ? CString(cas.text) : CString(cas.text) + ", " + m.latencyList;
            ++m.latencyCount;
        }
        if (m.latencyList == "NONE") {
            line.Format("DIMM %d: Incorrect CL Values, DIMM[18]: 0x%02X, expect: 0x0C", n, s[kCasLatencies]);
            addError(line);
            ++failures;
        }

        auto checkTiming = [&](const char* latency, const char* what, DWORD limit, BYTE actual) {
            if (actual <= limit) return;
            CString timing;
            timing.Format("DIMM %d: At CL=%s, %s expected: <=%x, Actual: %02X", n, latency, what, limit, actual);
            addError(timing);
            ++failures;
        };
        for (int k = 0; k < std::min(m.latencyCount, kMaxLatencies); ++k) {
            const char* latency = m.latencies[k];
            const BYTE cycle = s[kTimingBytes[k][0]], access = s[kTimingBytes[k][1]];
            if (std::strcmp(latency, kCas25) == 0) {
                checkTiming(latency, "MCC", cycleLimit25, cycle);
                checkTiming(latency, "MDA", accessLimit25, access);
                m.summary += CString(SpeedName(cycle)) + "@CL=" + latency;
            } else if (std::strcmp(latency, kCas2) == 0) {
                checkTiming(latency, "MCC", 0x75, cycle);
                checkTiming(latency, "MDA", 0x75, access);
                m.summary += CString(", ") + SpeedName(cycle) + "@CL=" + latency;
            }
        }
    }

    for (int d = 0; d < 2; ++d) {
        const BYTE* s = spd[d];
        const ModuleDecode& m = module[d];
        if (!m.present) continue;
        if (verbosity == 1) {
            PrintColor(d == 0 ? "SDRAM module #1 (North):\n" : "\nSDRAM module #2 (West) :\n", kColorBlack);
            PrintColorFormat(kColorBlack, "      Vendor: %s\n", m.vendor.c_str());
            PrintColorFormat(kColorBlack,
                             "        Size: %d MB\n          = DIMM[5] * DIMM[31] * 4\n          = %d * %d * 4\n",
                             static_cast<int>(m.sizeMB), s[kModuleRows], s[kBankDensity]);
            if (m.latencyList == "NONE")
                PrintColorFormat(kColorRed, "   Valid CLs: None Found, DIMM[18]=0x%08X\n", s[kCasLatencies]);
            else
                PrintColorFormat(kColorBlack, "   Valid CLs: %s  (Using: CL=%s)\n", m.latencyList.c_str(),
                                 ControllerLatency(controllerCode));
            PrintColorFormat(kColorBlack, "      RowAdr: %d bits\n", s[kRowBits]);
            PrintColorFormat(kColorBlack, "      ColAdr: %d bits\n", s[kColumnBits]);
            PrintColorFormat(kColorBlack, "          CS: %d lines\n", s[kModuleRows]);
            PrintColorFormat(kColorBlack, "    BurstLen: 0x%08X\n", s[kBurstLengths]);
            PrintColorFormat(kColorBlack, "     ModAttr: 0x%08X\n", s[kModuleAttributes]);
            for (int k = 0; k < std::min(m.latencyCount, kMaxLatencies); ++k) {
                const char* latency = m.latencies[k];
                if (!*latency) continue;
                const BYTE cycle = s[kTimingBytes[k][0]], access = s[kTimingBytes[k][1]];
                CString text;
                text.Format("  MCC@CL=%s: %0d.%0d ns", latency, cycle >> 4, cycle & 0xF);
                if (cycle == 0x75) text += " (133Mhz)";
                else if (cycle == 0x60) text += " (166Mhz)";
                PrintColor(text + "\n", kColorBlack);
                PrintColorFormat(kColorBlack, "  MDA@CL=%s: 0.%0d%0d ns\n", latency, access >> 4, access & 0xF);
            }
        } else {
            PrintColor(d == 0 ? "SDRAM module #1 (North): " : "SDRAM module #2 (West) : ", kColorBlack);
            PrintColorFormat(kColorBlack, "%s, %dMB, %s\n", m.vendor.c_str(), static_cast<int>(m.sizeMB),
                             m.summary.c_str());
        }
    }

    for (const CString& line : errors) PrintColor(line + "\n", kColorRed);
    if (errors.empty()) PrintColor("DIMM Module ID check PASSES\n", kColorGreen);
    return failures == 0 ? TRUE : FALSE;
}

BOOL CWexalTreeMapTB::CheckVPDStructure() {
    PrintColor("----------------------------------------------\n", kColorBlack);
    PrintColor("Check VPD Structure:\n", kColorBlack);
    RegisterPtr bar0 = m_boardIF.GetRegisters();
    if (!bar0) {
        PrintColor("Invalid pBAR0\n", kColorRed);
        return FALSE;
    }
    BYTE image[kVpdImageBytes];
    DWORD words[kVpdImageBytes / 4];
    (bar0 + CWexalBAR0Space::kVpdOffset / 4).ReadBlock(words, static_cast<int>(kVpdImageBytes / 4));
    for (DWORD i = 0; i < kVpdImageBytes / 4; ++i)
        for (DWORD b = 0; b < 4; ++b) image[4 * i + b] = static_cast<BYTE>(words[i] >> (8 * b));

    // A position is usable when it and every byte read from there lie inside the image.
    auto fits = [](DWORD pos, DWORD bytes) { return pos + bytes <= kVpdImageBytes; };
    int errors = 0;
    auto fail = [&](const char* format, BYTE actual) {
        PrintColorFormat(kColorRed, format, actual);
        ++errors;
    };
    auto tooLarge = [&] {
        PrintColor("dwPos to large\n", kColorRed);
        ++errors;
    };

    PrintColor(" Check for Name Tag(0x82): ", kColorBlack);
    if (image[0] == 0x82) PrintColor("Pass\n", kColorGreen);
    else fail("FAIL, Expected: 0x82, Actual: 0x%02X\n", image[0]);

    DWORD pos = image[1] + 256u * image[2] + 3;
    bool lost = false;
    PrintColor(" Check for VPD Tag(0x90):  ", kColorBlack);
    if (!fits(pos, 1)) {
        lost = true;
        tooLarge();
    } else if (image[pos] == 0x90) {
        PrintColor("Pass\n", kColorGreen);
    } else {
        fail("FAIL, Expected: 0x90, Actual: 0x%02X", image[pos]);
    }

    PrintColor(" Check for End Tag(0x79):  ", kColorBlack);
    if (!lost && fits(pos, 3)) pos += image[pos + 1] + 256u * image[pos + 2] + 3;
    else lost = true;
    if (lost || !fits(pos, 1)) {
        lost = true;
        tooLarge();
    } else if (image[pos] == 0x79) {
        PrintColor("Pass\n", kColorGreen);
    } else {
        fail("FAIL, Expected: 0x79, Actual: 0x%02X", image[pos]);
    }

    PrintColor(" Check for End Zero(0x00): ", kColorBlack);
    ++pos;
    if (lost || !fits(pos, 1)) {
        tooLarge();
    } else {
        if (image[pos] != 0) {  // the end tag's checksum byte
            PrintColor("+1 ", kColorBlack);
            ++pos;
        }
        if (!fits(pos, 1)) tooLarge();
        else if (image[pos] == 0) PrintColor("Pass", kColorGreen);
        else fail("FAIL, Expected: 0x00, Actual: 0x%02X", image[pos]);
    }
    return errors == 0 ? TRUE : FALSE;
}

CString CWexalTreeMapTB::GetSerialNumber() {
    CWexalBAR0Space* bar0 = m_boardIF.GetWexalBAR0Space();
    if (!bar0) return CString();
    char buffer[kSerialRoom + 1] = {};
    int length = 0;
    bar0->GetVPDField("SN", static_cast<int>(kSerialRoom), buffer, &length);
    if (length <= 0) return CString();
    buffer[std::min<DWORD>(static_cast<DWORD>(length), kSerialRoom)] = '\0';
    return CString(buffer);
}
