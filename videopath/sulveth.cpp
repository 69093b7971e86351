// CSulveth: the pair member's device digit, and its file choice that reports a missing BAR0 space already at verbosity 1.
#include "videopath/sulveth.h"

namespace {
constexpr DWORD kNoBar0Verbosity = 1;
}  // namespace

CSulveth::CSulveth(int channel, CJastel* controller, CString name)
    : CKeyerPathTB(name, static_cast<DWORD>(channel), kNoBar0Verbosity, controller) {}
