// CSulveth: the pair member's device digit, its CRC and identification registers, and its channel resources.
#include "videopath/sulveth.h"

#include "framework/result_screen.h"

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
}  // namespace

CSulveth::CSulveth(int channel, CJastel* controller, CString name)
    : CKeyerPathTB(name, static_cast<DWORD>(channel), kNoBar0Verbosity, controller) {}

DWORD CSulveth::Run(CString command) { return CKeyerPathTB::Run(command); }

DWORD CSulveth::Help(CString command) { return CKeyerPathTB::Help(command); }

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
