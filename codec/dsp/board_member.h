// CNuxaBoardMember: a codec-board object that the root holds in its child map but that has no
// sub-tests of its own (the bridge, the DSPs, the main FPGA's unpackers).
#pragma once

#include "framework/tree_map_tb.h"

class CNuxaBoardMember : public CWexalTreeMapTB {
public:
    explicit CNuxaBoardMember(CString name) : CWexalTreeMapTB(std::move(name)) {}

    // No command is the object's own: every one is answered with the red "Not recognized" line,
    // naming the object, and 2.
    DWORD Run(CString command) override;
    // Keeps the parent and enters the object in its child map under the object's name.
    virtual void SetParent(CWexalTreeMapTB* parent);
    CWexalTreeMapTB* GetParent() const { return m_parent; }

private:
    CWexalTreeMapTB* m_parent = nullptr;
};
