// CSulveth: the test of one FPGA of the main board's FPGA pair (Sulveth A, device 1; Sulveth B, device 2).
#pragma once

#include "videopath/video_path_tb.h"

class CSulveth : public CKeyerPathTB {
public:
    // channel 1 for "CSulvethA", 2 for "CSulvethB"; it is the FPGA's device digit.
    CSulveth(int channel, CJastel* controller, CString name);

    int GetChannel() const { return static_cast<int>(GetDeviceDigit()); }

    DWORD Run(CString command) override;
    DWORD Help(CString command) override;

    // Host -> Wexal -> Kerzil -> Sulveth -> Kerzil -> Wexal -> Host, the keyer's LOOPBACK off.
    DWORD TestBypass(DWORD reserved, CString args, Unpacked::Alpha::YCbCr_10_6* alpha,
                     Unpacked::Image::YCbCr_10_6* image, DWORD frames, DWORD verbose) override;
    // Green only when the checksum equals the chip's CRC register and both keyer CRC registers.
    void CheckCRCs(DWORD channel, Unpacked::Image::YCbCr_10_6* image, Unpacked::Alpha::YCbCr_10_6* alpha,
                   DWORD count) override;

    // Writes the CRC register of chip 1 (A) or 2 (B): 1; any other chip prints "Unrecognized Chip"
    // in red, writes nothing and answers 0.
    DWORD SetSulvethCRC(DWORD chip, DWORD value);
    // The CRC register of chip 1 or 2; any other chip prints "Unrecognized Chip" and answers 0.
    DWORD GetSulvethCRC(DWORD chip);
    // The fields of chip 1's or 2's identification word (DevID bits 31-20, RevMajor 19-12, RevMinor
    // 11-0); zeros for any other chip. An unconfigured chip gives 0xFFF, 0xFF, 0xFFF.
    void GetChipRevision(DWORD chip, DWORD* devId, DWORD* revMajor, DWORD* revMinor);
    // The DMA channels and register blocks of channel 1 or 2: 1. Any other channel, or a board without
    // a register window, gives DMA channels 64 (past the last), null pointers, "Unrecognized Channel"
    // in red, and 0.
    DWORD GetDCBParams(DWORD channel, DWORD* dstChannel, DWORD* srcChannel, RegisterPtr* contextReg,
                       RegisterPtr* kerzilWindow, RegisterPtr* sulvethWindow, RegisterPtr* aopBlock);
};
