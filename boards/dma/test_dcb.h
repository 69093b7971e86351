// CTestDCB ("DispDCB"): prints one DCB of the main FPGA, chosen by a channel name and an index.
#pragma once

#include "framework/wexal_test_base.h"
#include "platform/cstring.h"
#include "platform/types.h"

// Built at load and held by no child map and no record: the host cannot reach it, but its Run
// works on any board device it is given. The channel names number the channels their own way.
class CTestDCB : public CWexalTestBase {
public:
    CTestDCB();

    // "<device> <name>, <subscript>": the eight words of DCB <subscript> (0-15) of the named
    // channel, each field shown; 1 shown, 2 after a red line for a bad argument or board.
    DWORD Run(CString args) override;
    void ShowHelp() override;

    // The channel of a name (exact, case-sensitive); -1 when none has it.
    static int FindChannel(const CString& name);
};
