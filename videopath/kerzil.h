// CKerzil: the test of the main board's keyer FPGA (device 0 of the configuration port).
#pragma once

#include "videopath/video_path_tb.h"

class CKerzil : public CKeyerPathTB {
public:
    // The main root passes its controller test and "CKerzil".
    CKerzil(CJastel* controller, CString name);
};
