// CKerzil: the keyer FPGA's device digit and file-choice reporting.
#include "videopath/kerzil.h"

namespace {
constexpr DWORD kKeyerDevice = 0;
constexpr DWORD kNoBar0Verbosity = 2;
}  // namespace

CKerzil::CKerzil(CJastel* controller, CString name) : CKeyerPathTB(name, kKeyerDevice, kNoBar0Verbosity, controller) {}

DWORD CKerzil::Run(CString command) { return CKeyerPathTB::Run(command); }

DWORD CKerzil::Help(CString command) { return CKeyerPathTB::Help(command); }
