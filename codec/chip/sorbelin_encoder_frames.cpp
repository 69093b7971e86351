// CSorbelinEncoder's encode pieces: the package check, the context entry, the compressed frame's sections, checksums and the DSP's time-out report.
#include <cstdio>
#include <cstring>

#include "codec/chip/sorbelin_encoder.h"
#include "codec/dsp/zyv_file.h"
#include "framework/hw/byte_order.h"
#include "framework/hw/crc32.h"
#include "framework/hw/oxd.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"

namespace {

constexpr COLORREF kNotice = 0xF0FF;
constexpr DWORD kFirstPackageDate = 20040319, kSecondPackageDate = 20040416;
constexpr DWORD kEndMarker = 0x600DC0DE;

DWORD Revision(const CString& path, const char* format) {
    CString text;
    unsigned int value = 0;
    if (!COxd(path, 1).GetRevision(text) || std::sscanf(text.c_str(), format, &value) != 1) return 0;
    return value;
}

DWORD StoredWord(const BYTE* at, BOOL swap) {
    DWORD word = 0;
    std::memcpy(&word, at, 4);
    return swap ? SwapDword(word) : word;
}

}  // namespace

BOOL CSorbelinEncoder::CheckZyvPackage(CString directory, const CString& microcode, const CString& encoder, DWORD verbose) {
    CString line;
    if (ExpandPathMacros(directory, TRUE, TRUE) != kPathFound) {
        line.Format("ERROR:  Zyv Path[%s] is not valid\n", directory.c_str());
        PrintStyled(line, kNotice, kColorWhite, FALSE);
        return FALSE;
    }
    std::map<CString, DWORD> sums;
    const DWORD date = DetermineZyvPackage(directory, sums);
    if (verbose > 1) PrintColorFormat(kColorBlack, "ZYV Package Date:  %lu\n", static_cast<unsigned long>(date));
    const DWORD dsp = Revision(microcode, "%u"), chip = Revision(encoder, "%X");
    if (date < kFirstPackageDate) {
        line.Format("Test does not allow Zyv Package Date of %lu\n", static_cast<unsigned long>(date));
    } else if (date == kFirstPackageDate && dsp < 44) {
        line.Format("ERROR:  Zyv Package[%lu] requires DSP code[%s] %lu >= 44.  Zyv[%s].\n", static_cast<unsigned long>(date),
                    microcode.c_str(), static_cast<unsigned long>(dsp), directory.c_str());
    } else if (date > kFirstPackageDate && date <= kSecondPackageDate && dsp < 48) {
        line.Format("ERROR:  Zyv Package[%lu] requires DSP code[%s] %lu >= 48.  Zyv[%s].\n", static_cast<unsigned long>(date),
                    microcode.c_str(), static_cast<unsigned long>(dsp), directory.c_str());
    } else if (chip < 0x810) {
        line.Format("ERROR:  Requires Encoder[%s] [0x%08X] > 810\n", encoder.c_str(), chip);
    } else {
        return TRUE;
    }
    PrintStyled(line, kNotice, kColorWhite, FALSE);
    return FALSE;
}

BOOL CSorbelinEncoder::SetupEncoderContext(DWORD contextID, DWORD tableOffset, const CZyvFile& package, DWORD verbose) {
    const DWORD width = package.GetRasterWidth(), height = package.GetRasterHeight();
    const BOOL tenBit = package.Is10Bit();
    if (verbose > 1)
        PrintColorFormat(kColorBlack, "USE VCID[0x%04X, %lu]\nContext ID[%lu]\nSorbelinOffset[%lu]\nWidth[%lu]\nHeight[%lu]\n%s\n\n", package.GetVCID(),
                         static_cast<unsigned long>(package.GetVCID()), static_cast<unsigned long>(contextID),
                         static_cast<unsigned long>(tableOffset), static_cast<unsigned long>(width), static_cast<unsigned long>(height),
                         tenBit ? "10 bit" : "8 bit");
    const DWORD entry[4] = {(width & 0xFFF) | (contextID & 0xF) << 12 | (height & 0xFFF) << 16, (tableOffset & 0x3FF) | (tenBit ? 1u << 16 : 0),
                            package.GetVCID(), 0};
    if (!WriteContextEntry(entry)) {
        PrintColor("ERROR:  Unable to initialize context RAM!\n", kColorRed);
        return FALSE;
    }
    PrintColor("Context RAM loaded\n", kColorGreen);
    return TRUE;
}

DWORD CSorbelinEncoder::GetMacroBlockStart(DWORD headerSize, DWORD lines) {
    // One 4-byte entry per macroblock row of 16 lines, the height first rounded up to 8 lines
    // (a half-row counts as a row).
    const DWORD padded = (lines + 7) / 8 * 8;
    const DWORD rows = (padded + 8) / 16;
    return headerSize - 4 * rows;
}

BOOL CSorbelinEncoder::CheckFrameCRC(const BYTE* frame, DWORD bytes, DWORD* computed, DWORD* stored, BOOL twoFields, BOOL swap) {
    if (!frame || bytes < 8 || bytes % 4 || (twoFields && bytes % 8)) return FALSE;
    const DWORD field = twoFields ? bytes / 2 : bytes;
    const DWORD stored1 = StoredWord(frame + bytes - 4, swap);
    const DWORD stored0 = twoFields ? StoredWord(frame + field - 4, swap) : stored1;
    if (!(frame[6] & 0x10)) {
        if (computed) *computed = kEndMarker;
        if (stored) *stored = stored1;
        return stored1 == kEndMarker && stored0 == kEndMarker;
    }
    const DWORD crc0 = Crc32Buffer(reinterpret_cast<const DWORD*>(frame), field - 4, 0, swap);
    DWORD last = crc0;
    bool pass = stored0 == crc0;
    if (twoFields && pass) {
        last = Crc32Buffer(reinterpret_cast<const DWORD*>(frame + field), field - 4, 0, swap);
        pass = stored1 == last;
    }
    if (computed) *computed = last;
    if (stored) *stored = stored1;
    if (pass) PrintColorFormat(kColorGreen, "CRC[0x%08X]\n\r", last);
    return pass ? TRUE : FALSE;
}

BOOL CSorbelinEncoder::ReportDSPTimeouts(CString& text) {
    const DWORD revision = m_dsp ? m_dsp->GetMicrocodeRevision() : 0;
    if (revision < 52) {
        text.Format("ERROR:  DspMicrocodeRev[%lu] < 52\n", static_cast<unsigned long>(revision));
        return TRUE;
    }
    const DWORD status = m_bridge && SelectChip() ? m_bridge->ReadDataFixed(kCodecStatus) : 0;
    static const char* const kTimeouts[] = {"ERROR:  DSP Timeout EDMA STATS\n", "ERROR:  DSP Timeout EDMA QSF\n", "ERROR:  DSP Timeout EDMA VLC\n",
                                            "ERROR:  DSP Timeout EDMA Format Frame\n"};
    text.Empty();
    for (int bit = 0; bit < 4; ++bit)
        if (status >> bit & 1) text += kTimeouts[bit];
    if (text.IsEmpty()) text = "No DSP timeouts occurred\n";
    return TRUE;
}
