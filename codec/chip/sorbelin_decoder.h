// CSorbelinDecoder: the decoder test of one codec chip, which so far answers the codec tests' base commands only.
#pragma once

#include "codec/chip/sorbelin.h"

// Built twice by the codec board root (names ending in A and B) like the other codec chip tests,
// and handed the board's fill pattern before every run. No decoder sub-test exists yet: a command
// reaches the base commands of CSorbelin and anything else is answered "Not recognized".
class CSorbelinDecoder : public CSorbelin {
public:
    CSorbelinDecoder(CNuxaDSP* dsp, CDremolun* bridge, CJastel* controller, CString name);

    DWORD GetNextRunStage(DWORD previous) override;
    // The red "Not recognized" line and 0 for every command.
    DWORD RunTest(CString command) override;
    // The decoder has no help pages: a line naming the topic.
    void HelpTest(CString name) override;
    // The decoder keeps no chip memory that needs initialising: 1.
    BOOL RAMInit(DWORD verbose) override;
    // 1 for a name ending in A, 2 for B, 0 otherwise.
    int GetChipFromName(DWORD verbose) override;
};
