// CWexalUnpacker: registration with the codec board root and the answer to its commands.
#include "codec/dsp/wexal_unpacker.h"

#include "framework/result_screen.h"

CWexalUnpacker::CWexalUnpacker(CString name) : CWexalTreeMapTB(std::move(name)) {}

void CWexalUnpacker::SetParent(CWexalTreeMapTB* parent) {
    m_parent = parent;
    AddToMap(parent);
}

DWORD CWexalUnpacker::Run(CString command) {
    PrintColor("\n\nERROR:  " + GetName() + "\n\"" + command + "\" Not recognized as a valid test\n", kColorRed);
    return kRunFailed;
}
