// CJastel: RAM clock enable with read-back, and its one keyword command.
#include "framework/hw/jastel.h"

#include "framework/result_screen.h"
#include "framework/test_base.h"

CJastel::CJastel(CString name) : CWexalTreeMapTB(name) { SetCodeName(name); }

void CJastel::SetParent(CWexalTreeMapTB* parent) {
    m_parent = parent;
    AddToMap(parent);
}

BOOL CJastel::RAMClockEnable(int enable, unsigned verbose) {
    if (!m_registers) return FALSE;
    DWORD value = m_registers[kRamWord];
    if (enable == 1) value |= kClockEnableBits;
    else value &= ~kClockEnableBits;
    m_registers[kRamWord] = value;
    if (verbose > 1) {
        CString line;
        line.Format("Wrote Jastel.RAM.dw = [0x%08X]\n", value);
        Print(line);
    }
    // All 32 bits count: a bit outside the group that does not hold is a failure too.
    return static_cast<DWORD>(m_registers[kRamWord]) == value ? TRUE : FALSE;
}

DWORD CJastel::Run(CString arguments) {
    const unsigned verbose = IsEngineering() && !IsRegression() ? 2 : 1;
    if (arguments == "SorbelinRAM_CE") return RAMClockEnable(1, verbose) == TRUE ? kRunPassed : kRunFailed;
    PrintColor("\n\nERROR:  CJastel\n\"" + arguments + "\" Not recognized as a valid test\n", kColorRed);
    return kRunFailed;
}
