// CKerzil: the test of the main board's keyer FPGA (device 0 of the configuration port).
#pragma once

#include "videopath/video_path_tb.h"

class CKerzil : public CKeyerPathTB {
public:
    // The main root passes its controller test and "CKerzil".
    CKerzil(CJastel* controller, CString name);

    DWORD Run(CString command) override;
    DWORD Help(CString command) override;
    // "Show Structure Offsets" (1; no register is touched) and "Modify Sliders" (2 whatever the sheet
    // did, 3 when it was cancelled because the host asked the test to stop).
    DWORD RunOwnCommand(DWORD code, const CString& arguments) override;

    // Host -> Wexal -> Kerzil -> Wexal -> Host with the channel's AOP block in LOOPBACK.
    DWORD TestBypass(DWORD reserved, CString args, Unpacked::Alpha::YCbCr_10_6* alpha,
                     Unpacked::Image::YCbCr_10_6* image, DWORD frames, DWORD verbose) override;
    // Green when the checksum equals the channel's first keyer CRC register; the second is shown only.
    void CheckCRCs(DWORD channel, Unpacked::Image::YCbCr_10_6* image, Unpacked::Alpha::YCbCr_10_6* alpha,
                   DWORD count) override;

private:
    DWORD ShowStructureOffsets();
    // The loopback connector, then the keyer and both pair FPGAs configured; false after the first
    // missing one's red line, before any FPGA register is read past it.
    bool SlidersReady();
    // Whether the sheet was shown and closed by a cancel while the host's stop flag was set.
    bool ModifySliders(const CString& arguments);
};
