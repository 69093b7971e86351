// CVideoPathTB and CKeyerPathTB: parent, OXD file choice by the product data's FPGA revision, the loaded file names.
#include "videopath/video_path_tb.h"

#include <algorithm>
#include <vector>

#include "devlib/wexal_spaces.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"

namespace {

constexpr int kRevisionChars = 4;
constexpr int kRevisionStart = 4;  // in the base name, after the four-letter family name
// The three FPGA families print their file-choice messages under the one name.
constexpr const char* kMessagePrefix = "ERROR:  CVantrel::DetermineFilenameOXD()  ";
constexpr DWORD kReasonVerbosity = 2;

}  // namespace

CVideoPathTB::CVideoPathTB(CString name, DWORD deviceDigit, DWORD noBar0Verbosity)
    : CWexalTreeMapTB(name), m_deviceDigit(deviceDigit), m_noBar0Verbosity(noBar0Verbosity) {
    SetCodeName(name);
}

void CVideoPathTB::SetParent(CWexalTreeMapTB* parent) {
    m_parent = parent;
    AddToMap(parent);
}

CString CVideoPathTB::GetVPDRevision() {
    CWexalBAR0Space* bar0 = m_boardIF.GetWexalBAR0Space();
    if (!bar0) return CString();
    CString key;
    key.Format("V%u", m_deviceDigit);
    int length = 0;
    if (bar0->GetVPDField(key, 0, nullptr, &length) != PCI_VPD::VPD_OK || length <= 0) return CString();
    std::vector<char> field(static_cast<size_t>(length) + 1, '\0');
    if (bar0->GetVPDField(key, length, field.data(), &length) != PCI_VPD::VPD_OK) return CString();
    return CString(field.data() + length - std::min(length, kRevisionChars));
}

CString CVideoPathTB::FileRevision(const CString& path) {
    // Expanded macros give local paths, whose separator is '/'.
    int start = std::max(path.ReverseFind('\\'), path.ReverseFind('/'));
    if (start < 0) start = path.Find(':');
    return path.Mid(start + 1).Mid(kRevisionStart, kRevisionChars);
}

DWORD CVideoPathTB::DetermineFilenameOXD(CString& path, BOOL ask, DWORD verbose) {
    // A path without the revision macro may name its file already; where it was found (as given or
    // only under the test data) is settled again by the search below, so the answer is not needed.
    ExpandPathMacros(path, TRUE, TRUE);
    if (!m_boardIF.GetBAR0Space()) {
        if (verbose >= m_noBar0Verbosity) PrintColor(CString(kMessagePrefix) + "pBar0Space is NULL\n", kColorRed);
        return kRunFailed;
    }
    const CString revision = GetVPDRevision();
    path.Replace("$(VPDVER)", revision);

    if (FindFileOrAsk(path, "", "*.oxd", "OXD Files (*.oxd)|*.oxd| All Files (*.*)|*.*||", "JQV_OXD_IMAGE_PATH", ask,
                      TRUE) != 2) {
        if (verbose >= kReasonVerbosity) PrintColor(CString(kMessagePrefix) + "Unable to get OXD filename.\n", kColorRed);
        return kRunFailed;
    }
    const CString fileRevision = FileRevision(path);
    if (fileRevision != revision) {
        if (verbose >= kReasonVerbosity) {
            CString text;
            text.Format("%sVPD rev[%s] does not match rev in filename[%s]\n", kMessagePrefix, revision.c_str(),
                        fileRevision.c_str());
            PrintColor(text, kColorRed);
        }
        return kRunFailed;
    }
    if (verbose >= 1) PrintColor("OXD FILE:  " + path + "\n", kColorBlack);
    return kRunPassed;
}

CKeyerPathTB::CKeyerPathTB(CString name, DWORD deviceDigit, DWORD noBar0Verbosity, CJastel* controller)
    : CVideoPathTB(name, deviceDigit, noBar0Verbosity), m_controller(controller) {}

DWORD CKeyerPathTB::Run(CString) { return kRunFailed; }

void CKeyerPathTB::SetCurrentOXD(CString name) { m_programmedFile = name.MakeUpper(); }

void CKeyerPathTB::SetDefaultOXD(CString name) { m_rememberedFile = name.MakeUpper(); }

namespace {

// BAR0 byte offsets of the keyer's two CRC registers per channel (A, B).
constexpr DWORD kKerzilCrcFirst[] = {0x8FD8, 0xAFD8};
constexpr DWORD kKerzilCrcSecond[] = {0x87CC, 0xA7CC};

bool IsChannel(DWORD channel) { return channel == 1 || channel == 2; }

}  // namespace

DWORD CKeyerPathTB::SetKerzilCRCs(DWORD channel, DWORD value) {
    if (!IsChannel(channel)) {
        PrintColor("Unrecognized Chip", kColorRed);
        return 0;
    }
    const RegisterPtr bar0 = m_boardIF.GetMainBoardRegisters();
    bar0[kKerzilCrcFirst[channel - 1] / 4] = value;
    bar0[kKerzilCrcSecond[channel - 1] / 4] = value;
    return 1;
}

DWORD CKeyerPathTB::GetKerzilCRCs(DWORD channel, DWORD* first, DWORD* second) {
    if (!IsChannel(channel)) {
        PrintColor("Unrecognized Chip", kColorRed);
        return 0;
    }
    const RegisterPtr bar0 = m_boardIF.GetMainBoardRegisters();
    if (first) *first = bar0[kKerzilCrcFirst[channel - 1] / 4];
    if (second) *second = bar0[kKerzilCrcSecond[channel - 1] / 4];
    return 1;
}

void CKeyerPathTB::AfterBypass(DWORD) {}

DWORD CKeyerPathTB::RunOwnCommand(DWORD, const CString&) { return kRunFailed; }
