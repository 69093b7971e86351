// CNuxaBoardMember: registration with the codec board root and the answer to commands.
#include "codec/dsp/board_member.h"

#include "framework/result_screen.h"

void CNuxaBoardMember::SetParent(CWexalTreeMapTB* parent) {
    m_parent = parent;
    AddToMap(parent);
}

DWORD CNuxaBoardMember::Run(CString command) {
    PrintColor("\n\nERROR:  " + GetName() + "\n\"" + command + "\" Not recognized as a valid test\n", kColorRed);
    return kRunFailed;
}
