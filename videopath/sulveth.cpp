// CSulveth: the pair member's device digit, its CRC and identification registers, and its channel resources.
#include "videopath/sulveth.h"

#include "framework/result_screen.h"
#include "videopath/image_harness.h"

namespace {
constexpr DWORD kNoBar0Verbosity = 1;
// BAR0 byte offsets per chip (A, B).
constexpr DWORD kWindow[] = {0x18000, 0x1C000};
constexpr DWORD kCrcInWindow = 0x0FD8;
constexpr DWORD kIdInWindow = 0x3FC8;
// Channel resources per channel (A, B): DMA channels and BAR0 byte offsets.
constexpr DWORD kDstChannel[] = {24, 25};
constexpr DWORD kSrcChannel[] = {28, 29};
constexpr DWORD kContextReg[] = {0x88000, 0x90000};
constexpr DWORD kAopBlock[] = {0x8C00, 0xAC00};
constexpr DWORD kKerzilWindow = 0x8000;
constexpr DWORD kNoDmaChannel = 64;  // one past the last DMA channel

bool IsChip(DWORD chip) { return chip == 1 || chip == 2; }

constexpr HarnessKeyword kKeywords[] = {
    {"IMAGE_LIST", harness::kImageList, true},
    {"RESOLUTION_LIST", harness::kResolutionList, true},
    {"\"Bypass:Image:Unpacked\"", harness::kBypass, true},
    {"Modify Image/Resolution List", harness::kModifyLists, true},
};

constexpr HarnessHelpLine kBypassHelp[] = {
    {true, "~*BLUE*~PURPOSE:~*BLACK*~\n"},
    {false, "Uses context ID of 15:  The data path is as follows\n"},
    {false, "Host->Wexal->Kerzil->Sulveth->Kerzil->Wexal->Host\n"},
    {false, "The received data is compared against the send data\n"},
    {false, "and errors are flagged accordingly.\n"},
    {true, "~*BLUE*~PARAMETERS:~*BLACK*~\n"},
    {true, "~*BLUE*~CHANNEL=[A|B]~*BLACK*~ choose one.\n"},
    {true, "~*BLUE*~FRAMES=[1 ... 15]~*BLACK*~ choose one.\n"},
    {true, "~*BLUE*~SEQUENCE=(I ...)~*BLACK*~ cannot be changed\n"},
    {true, "~*BLUE*~-NoCRC~*BLACK*~ do not calculate crc if test fails\n"},
    {false, "\n"},
};

// SOLID values are decimal only; an undefined preset ends "Modify Image/Resolution List".
constexpr HarnessTraits kTraits{"CSulveth", kKeywords, false, true, kBypassHelp};
}  // namespace

CSulveth::CSulveth(int channel, CJastel* controller, CString name)
    : CKeyerPathTB(name, static_cast<DWORD>(channel), kNoBar0Verbosity, controller) {
    CImageHarness(*this, kTraits).LoadPresets(*GetImageList(), *GetResolutionList());
}

DWORD CSulveth::Run(CString command) { return CImageHarness(*this, kTraits).Run(command); }

DWORD CSulveth::Help(CString command) { return CImageHarness(*this, kTraits).Help(command); }

DWORD CSulveth::SetSulvethCRC(DWORD chip, DWORD value) {
    if (!IsChip(chip)) {
        PrintColor("Unrecognized Chip", kColorRed);
        return 0;
    }
    m_boardIF.GetMainBoardRegisters()[(kWindow[chip - 1] + kCrcInWindow) / 4] = value;
    return 1;
}

DWORD CSulveth::GetSulvethCRC(DWORD chip) {
    if (!IsChip(chip)) {
        PrintColor("Unrecognized Chip", kColorRed);
        return 0;
    }
    return m_boardIF.GetMainBoardRegisters()[(kWindow[chip - 1] + kCrcInWindow) / 4];
}

void CSulveth::GetChipRevision(DWORD chip, DWORD* devId, DWORD* revMajor, DWORD* revMinor) {
    *devId = *revMajor = *revMinor = 0;
    if (!IsChip(chip)) return;
    const DWORD word = m_boardIF.GetMainBoardRegisters()[(kWindow[chip - 1] + kIdInWindow) / 4];
    *devId = word >> 20;
    *revMajor = (word >> 12) & 0xFF;
    *revMinor = word & 0xFFF;
}

DWORD CSulveth::GetDCBParams(DWORD channel, DWORD* dstChannel, DWORD* srcChannel, RegisterPtr* contextReg,
                             RegisterPtr* kerzilWindow, RegisterPtr* sulvethWindow, RegisterPtr* aopBlock) {
    const RegisterPtr bar0 = m_boardIF.GetMainBoardRegisters();
    if (!IsChip(channel) || !bar0) {
        *dstChannel = *srcChannel = kNoDmaChannel;
        *contextReg = *kerzilWindow = *sulvethWindow = *aopBlock = RegisterPtr();
        PrintColor("Unrecognized Channel", kColorRed);
        return 0;
    }
    const size_t i = channel - 1;
    *dstChannel = kDstChannel[i];
    *srcChannel = kSrcChannel[i];
    *contextReg = bar0 + kContextReg[i] / 4;
    *kerzilWindow = bar0 + kKerzilWindow / 4;
    *sulvethWindow = bar0 + kWindow[i] / 4;
    *aopBlock = bar0 + kAopBlock[i] / 4;
    return 1;
}
