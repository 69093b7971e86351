// CSulveth: the test of one FPGA of the main board's FPGA pair (Sulveth A, device 1; Sulveth B, device 2).
#pragma once

#include "videopath/video_path_tb.h"

class CSulveth : public CKeyerPathTB {
public:
    // channel 1 for "CSulvethA", 2 for "CSulvethB"; it is the FPGA's device digit.
    CSulveth(int channel, CJastel* controller, CString name);

    int GetChannel() const { return static_cast<int>(GetDeviceDigit()); }
};
