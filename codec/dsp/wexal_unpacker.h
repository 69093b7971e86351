// CWexalUnpacker: the codec board's main-FPGA unpacker test ("CWexal.Unpacker.A", "CWexal.Unpacker.B").
#pragma once

#include "framework/tree_map_tb.h"

// Held by the codec board root for the main FPGA's unpacker of each codec chip. No unpacker
// sub-test exists yet, so the test takes the root's board binding and answers every command with
// the "Not recognized" line.
class CWexalUnpacker : public CWexalTreeMapTB {
public:
    explicit CWexalUnpacker(CString name);

    // The red "Not recognized" line naming the test, and 2.
    DWORD Run(CString command) override;
    // Keeps the parent and enters the test in its child map under the test's name.
    virtual void SetParent(CWexalTreeMapTB* parent);
    CWexalTreeMapTB* GetParent() const { return m_parent; }

private:
    CWexalTreeMapTB* m_parent = nullptr;
};
