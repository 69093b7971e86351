// SCRport: the product-data structure check, the revision check against the minimum-revision file, and that file's reader.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "diagport/port_colours.h"
#include "diagport/scr_port.h"
#include "framework/param_string.h"
#include "platform/clock.h"
#include "platform/number_text.h"

namespace {

constexpr DWORD kVpdArea = 0x2000;
constexpr DWORD kBoardId = 0x4000, kPromAddress = 0x4008, kPromData = 0x400C, kStatus = 0x4010;
constexpr DWORD kLtcIn = 0x80218, kLtcOut = 0x80340;
constexpr DWORD kLtcProbe = 0x55555555;
constexpr int kPieceChars = 79;  // a longer line is read as several pieces

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

RegisterPtr SCRport::ChooseBAR0(const char* mainHeading, const char* codecHeading) {
    if (const RegisterPtr main = m_boardIF.GetMainBoardRegisters()) {
        if (mainHeading) PrintColor(mainHeading, kColorBlue);
        return main;
    }
    if (const RegisterPtr codec = m_boardIF.GetCodecBoardRegisters()) {
        if (codecHeading) PrintColor(codecHeading, kColorBlue);
        return codec;
    }
    PrintColor("BrimolaBAR0 and PNuxaBAR0 not setup", kColorRed);
    return RegisterPtr();
}

void SCRport::ReadVPDImage(const RegisterPtr& bar0) {
    DWORD words[kVPDImageBytes / 4];
    (bar0 + static_cast<std::ptrdiff_t>(kVpdArea / 4)).ReadBlock(words, static_cast<int>(kVPDImageBytes / 4));
    for (DWORD i = 0; i < kVPDImageBytes / 4; ++i)
        for (DWORD b = 0; b < 4; ++b) m_VPDImage[4 * i + b] = static_cast<BYTE>(words[i] >> 8 * b);
}

DWORD SCRport::CheckVPDStruct(CString, int) {
    const RegisterPtr bar0 = ChooseBAR0("Brimola Revisions:\n", "Nuxa Revisions:\n");
    if (!bar0) return kRunFailed;
    ReadVPDImage(bar0);
    // A tag position past the image fails that tag's check without a byte to show.
    auto check = [&](const char* title, DWORD position, BYTE expected) {
        PrintColor(title, kColorBlack);
        CString line;
        if (position >= kVPDImageBytes) {
            line.Format("FAIL, Expected: 0x%02X, Actual: beyond the product data\n", expected);
        } else if (m_VPDImage[position] == expected) {
            PrintColor("Pass\n", kColorGreen);
            return true;
        } else {
            line.Format("FAIL, Expected: 0x%02X, Actual: 0x%02X\n", expected, m_VPDImage[position]);
        }
        PrintColor(line, kColorDarkRed);
        return false;
    };
    auto length = [&](DWORD at) -> DWORD {
        return at + 1 < kVPDImageBytes ? m_VPDImage[at] + 256u * m_VPDImage[at + 1] : 0x10000;
    };
    if (!check(" Check for Name Tag(0x82): ", 0, 0x82)) return kRunFailed;
    const DWORD p = (length(1) + 3) & 0xFFFF;
    if (!check(" Check for VPD Tag(0x90):  ", p, 0x90)) return kRunFailed;
    const DWORD q = (p + length(p + 1) + 3) & 0xFFFF;
    if (!check(" Check for End Tag(0x79):  ", q, 0x79)) return kRunFailed;
    PrintColor(" Check for End Zero(0x00): ", kColorBlack);
    DWORD r = q + 1;
    if (r < kVPDImageBytes && m_VPDImage[r] != 0) {
        PrintColor("+1: ", kColorBlack);
        r = q + 2;
    }
    CString line;
    if (r < kVPDImageBytes && m_VPDImage[r] == 0) {
        PrintColor("Pass\n", kColorGreen);
        return kRunPassed;
    }
    if (r >= kVPDImageBytes)
        line = "FAIL, Expected: 0x00, Actual: beyond the product data\n";
    else
        line.Format("FAIL, Expected: 0x00, Actual: 0x%02X\n", m_VPDImage[r]);
    PrintColor(line, kColorDarkRed);
    return kRunFailed;
}

DWORD SCRport::ReadMinimumRevisions(const CString& name) {
    CString path = name;
    if (ExpandPathMacros(path, TRUE, TRUE) == kPathNotFound) {
        CString line;
        line.Format("ERROR:  Unable to expand variables FILE[%s] setting.\n", name.c_str());
        PrintColor(line, kColorRed);
        return kRunFailed;
    }
    // Only a plain file is read: a device or a pipe could keep the test waiting for ever.
    std::error_code error;
    std::unique_ptr<std::FILE, FileCloser> file;
    if (std::filesystem::is_regular_file(path.c_str(), error)) file.reset(std::fopen(path.c_str(), "r"));
    if (!file) {
        PrintColor("Can't find " + name + "\n", kColorDarkRed);
        return kRunFailed;
    }
    std::memset(m_MinRev, 0, sizeof m_MinRev);
    int entries = 0;
    char piece[kPieceChars + 1];
    while (entries < kMinRevEntries) {
        if (!std::fgets(piece, sizeof piece, file.get())) {
            CString line;
            line.Format("Only found %d entries Extected %d\n", entries, kMinRevEntries);
            PrintColor("Reached end of " + name + "\nbefore finding the correct number of Minimum Revisions\n" + line,
                       kColorDarkRed);
            return kRunFailed;
        }
        const char* label = piece;
        while (*label == ':') ++label;
        if (!*label) {  // nothing but ':' and no line end: no label to read
            CString line;
            line.Format("Can't find Minimum Revision entry %d\n", entries);
            PrintColor(line, kColorDarkRed);
            return kRunFailed;
        }
        const char* colon = std::strchr(label, ':');
        if (!colon) continue;  // no value on this line
        CString value(colon + 1);
        const int cr = value.Find('\r');
        if (cr >= 0) value = value.Left(cr);
        // A value too wide for an entry leaves it 0, as text that is no number does; never cut to fit.
        const platform::FieldScan read =
            platform::ReadField(value.c_str(), platform::NumberForm::Hex, platform::kUnsigned32Field);
        m_MinRev[entries++] = read.fit == platform::NumberFit::Fits ? static_cast<DWORD>(read.value) : 0;
    }
    return kRunPassed;
}

DWORD SCRport::CheckR2Versions(CString args, int) {
    const CParamString params(args);
    CString value;
    if (!params.GetValue("PATH", value)) PrintColor("PATH\n", kColorDarkRed);
    CString file;
    if (!params.GetValueAsWritten("FILE", file)) PrintColor("FILE\n", kColorDarkRed);
    if (ReadMinimumRevisions(file) != kRunPassed) return kRunFailed;

    PrintColor("----------------------------------------------\n", kColorBlack);
    PrintColor("Check Revision Numbers:\n", kColorBlack);
    const RegisterPtr bar0 = ChooseBAR0("Brimola Revisions:\n", "Nuxa Revisions:\n");
    if (!bar0) return kRunFailed;
    const bool main = static_cast<bool>(m_boardIF.GetMainBoardRegisters());
    DWORD result = kRunPassed;
    // Until a version report has chosen the indices they are 0, which would hold the main FPGA and
    // the PCI-X image against the controller's minimum: choose them here then.
    bool indexed = m_WexalMinorRevIndex != 0 && m_PCIXPromRevIndex != 0 && m_WexalMajorRevIndex != 0;
    if (!indexed) {
        indexed = SelectRevisionIndices() == 1 && m_WexalMinorRevIndex != 0;
        if (!indexed) {
            PrintColor("No revision minimums apply to this image: main FPGA and PCI-X image not compared\n", kColorRed);
            result = kRunFailed;
        }
    }
    const DWORD status = bar0[kStatus / 4];
    const DWORD identity = bar0[kBoardId / 4];
    CString line;
    auto report = [&](bool below, COLORREF failColour, const CString& failing, const CString& passing) {
        if (below) {
            PrintColor(failing, failColour);
            result = kRunFailed;
        } else {
            PrintColor(passing, kColorBlack);
        }
    };

    const DWORD jastel = identity >> 16 & 0xFF;
    report(jastel < m_MinRev[0], kColorRed, FormatString("Jastel Rev: 0x%04X) (Current Min Rev: 0x%04X)\n", jastel, m_MinRev[0]),
           FormatString("Jastel Rev: 0x%04X (OK)\n", jastel));
    if ((identity & 0xFFFF) == 0xFFFF || identity == 0) {
        PrintColor("LBUS READBACK PROBLEM DETECTED !!\n", kColorRed);
        result = kRunFailed;
    }

    bar0[kPromAddress / 4] = 0xFFFC0;
    const DWORD idWord = bar0[kPromData / 4];
    bar0[kPromAddress / 4] = 0x2FFFFC;
    const DWORD pciRev = bar0[kPromData / 4] & 0xFFFF;
    if (idWord == 0x58573A4E && pciRev == 0)
        PrintColor("Wexal PCI   Prom Image Rev: 0004 (old ID Format)\n", kColorBlack);
    else
        report(pciRev < m_MinRev[4], kColorDarkRed,
               FormatString("Wexal PCI Prom Image Rev: 0x%04X (Current Min Rev: 0x%04X)\n", pciRev, m_MinRev[4]),
               FormatString("Wexal PCI Prom Image Rev:   0x%04X (OK)\n", pciRev));

    bar0[kPromAddress / 4] = 0x1FFFFC;
    const DWORD pcixRev = bar0[kPromData / 4] & 0xFFFF;
    if (indexed) {
        const DWORD minimum = m_MinRev[m_PCIXPromRevIndex];
        report(pcixRev < minimum, kColorDarkRed,
               FormatString("Wexal PCI-X Prom Image Rev: 0x%04X (Current Min Rev: 0x%04X)\n", pcixRev, minimum),
               FormatString("Wexal PCI-X Prom Image Rev: 0x%04X (OK)\n", pcixRev));
    } else {
        PrintColor(FormatString("Wexal PCI-X Prom Image Rev: 0x%04X\n", pcixRev), kColorBlack);
    }

    const DWORD wexal = bar0[CWexalBoardIF::kRevisionRegister / 4];
    const CString wexalLine =
        FormatString("Wexal  Func.Major.Minor Revision: %03X.%02X.%03X", wexal >> 20, wexal >> 12 & 0xFF, wexal & 0xFFF);
    if (indexed) {
        const DWORD major = m_MinRev[m_WexalMajorRevIndex], minor = m_MinRev[m_WexalMinorRevIndex];
        const CString minimumText = main ? FormatString(" (Current Min Rev: 000.%02X.%03X)\n", major, minor)
                                         : FormatString(" (Current Min Rev: 000.xx.%03X)\n", minor);
        report((wexal & 0xFFFFF) < (major << 12 | minor), kColorDarkRed, wexalLine + minimumText, wexalLine + " (OK)\n");
    } else {
        PrintColor(wexalLine + "\n", kColorBlack);
    }

    if (main) {
        if (!ReportFpgaRevision("Kerzil  ", bar0[0xBFC8 / 4], m_MinRev[11])) result = kRunFailed;
        if (!ReportFpgaRevision("SulvethA", bar0[0x1BFC8 / 4], m_MinRev[13])) result = kRunFailed;
        if (!ReportFpgaRevision("SulvethB", bar0[0x1FFC8 / 4], m_MinRev[13])) result = kRunFailed;
    }

    const DWORD board = identity >> 8 & 0xFF;
    report(board < m_MinRev[9], kColorRed,
           FormatString("Brimola HW Board Rev Rev: 0x%02X) (Current Min Rev: 0x%02X)\n", board, m_MinRev[9]),
           FormatString("Brimola HW Board Rev Rev: 0x%02X (OK)\n", board));

    ReadVPDImage(bar0);
    const CString name = main ? "Brimola" : "Nuxa";
    int found = 0;
    // An absent keyword is left to the "VPD Not Programmed" line: there is no value to compare.
    for (const auto& [k2, label, entry] : {std::tuple{'B', " MajorNum(ZB): ", 25}, std::tuple{'C', " MinorNum(ZC): ", 26}}) {
        DWORD number = 0;
        const CString text = name + label;
        if (!GetVPDKeyword('Z', k2, &text, &number)) continue;
        ++found;
        PrintColor(number >= m_MinRev[entry] ? " (OK)\n" : "\n", kColorBlack);
    }
    if (found < 2) {
        PrintColor(FormatString("VPD Not Programmed %d\n", found), kColorRed);
        result = kRunFailed;
    }

    if ((status & 0xC0) == 0xC0) {
        PrintColor("PCI-X ACTIVE Image is running\n", kColorBlack);
    } else if (status & 0x40) {
        PrintColor("PCI ACTIVE Image is running\n", kColorBlack);
    } else {
        PrintColor("SAFE Image is running", kColorDarkRed);
        PrintColor(" (FORCED)\n", kColorDarkRed);
        result = kRunFailed;
    }

    if (main) {
        PrintColor(status & 1 ? "Receiving clock from BoB Port\n" : "Loopback/BOB cable is not present\n", kColorBlack);
        DWORD v = 0;
        for (int i = 0; i < 16; ++i) v = bar0[kLtcIn / 4];
        for (int i = 0; i < 16; ++i) bar0[kLtcIn / 4] = v;
        bar0[kLtcOut / 4] = kLtcProbe;
        Sleep(25);
        v = bar0[kLtcIn / 4];
        bar0[kLtcIn / 4] = v;
        if (status & 1)
            PrintColor(v == kLtcProbe ? "BOB Loopback cable is present\n" : "Brimola is probably connected to Nulk\n", kColorBlack);
    }
    return result;
}
