// CFlashTest ("FlashTest"): the flash chip's access and erase times, its STS pin, its identifier data and block locks.
#pragma once

#include "framework/tree_map_tb.h"
#include "platform/cstring.h"
#include "platform/types.h"

class CFlashPROM;

// Keywords, compared whole and without regard to case: "Timing Tests", "Poll STS Pin", "ID Checks".
// Results: 1 pass, 2 fail, 3 not run. The timing test erases block 0x3C0000 (unused by every image)
// and runs only on a board whose flash port the controller test has found working.
class CFlashTest : public CWexalTreeMapTB {
public:
    static constexpr int kStatusReads = 10000;
    static constexpr DWORD kStatusReadBudgetMs = 500;
    static constexpr int kTestBlock = 0x3C0000;

    explicit CFlashTest(CString name);

    DWORD Run(CString arguments) override;
    DWORD Help(CString arguments) override;
    virtual void SetParent(CWexalTreeMapTB* parent);
    CWexalTreeMapTB* GetParent() const { return m_parent; }

private:
    DWORD TimingTests(const CString& arguments);
    DWORD PollStsPin();
    DWORD IdChecks();
    bool AttachFlash(CFlashPROM& flash);

    CWexalTreeMapTB* m_parent = nullptr;
};
