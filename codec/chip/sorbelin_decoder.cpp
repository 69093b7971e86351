// CSorbelinDecoder: run stages, help, chip number and the answer to commands the base does not take.
#include "codec/chip/sorbelin_decoder.h"

CSorbelinDecoder::CSorbelinDecoder(CNuxaDSP* dsp, CDremolun* bridge, CJastel* controller, CString name)
    : CSorbelin(dsp, bridge, controller, std::move(name)) {}

DWORD CSorbelinDecoder::GetNextRunStage(DWORD previous) {
    return previous == 0 ? kStageBase : previous == kStageBase ? kStageRunTest : kStageNone;
}

DWORD CSorbelinDecoder::RunTest(CString command) {
    ReportNotRecognized("CSorbelinDecoder", command);
    return 0;
}

void CSorbelinDecoder::HelpTest(CString name) { ReportNoHelp("CSorbelinDecoder", name); }

BOOL CSorbelinDecoder::RAMInit(DWORD) { return TRUE; }

int CSorbelinDecoder::GetChipFromName(DWORD) {
    const CString name = GetName();
    const char last = name.IsEmpty() ? '\0' : name[name.GetLength() - 1];
    return last == 'A' ? 1 : last == 'B' ? 2 : 0;
}
