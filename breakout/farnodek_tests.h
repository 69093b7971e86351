// CFarnoDeKTests ("FarnoDeK"): the breakout box's audio loop, one DMA block out on channel 20 and back on 32.
#pragma once

#include "framework/tree_map_tb.h"
#include "platform/cstring.h"
#include "platform/types.h"

// Sends 32768 DWORDs of 24-bit pseudo-random samples from SDRAM 0x20000 out through BAUDIOOUT
// (channel 20), takes them back through the box's audio loop (or a loopback cable) on BAUDIOIN1
// (channel 32) into SDRAM 0x40000 and compares. A mismatch is diagnosed: how many DWORDs match the
// pattern 8 or 16 places away, and which bits differ in the rest.
class CFarnoDeKTests : public CWexalTreeMapTB {
public:
    static constexpr int kBlockDwords = 32768;
    static constexpr DWORD kSource = 0x20000, kDestination = 0x40000, kBlockBytes = 4 * kBlockDwords;

    explicit CFarnoDeKTests(CString name);

    // The argument text only goes into the header. 1 passed, 2 failed or unable to run, 3 stopped.
    DWORD Run(CString command) override;
    void ShowHelp() override;

    virtual void SetParent(CWexalTreeMapTB* parent);
    virtual CWexalTreeMapTB* GetParent() { return m_parent; }

    // DWORD i of the test pattern: the generator's state with its low byte cleared (24-bit samples).
    static void FillPattern(DWORD* pattern);
    // The dump windows of a difference from first to last (DWORD indexes): one window of 40 DWORDs,
    // or for a wider span 20 DWORDs from its start and 16 up to its end. Answers the window count.
    struct Window {
        int from, count;
    };
    static int DumpWindows(int first, int last, Window windows[2]);

private:
    // Counts and reports the differences and dumps them; the caller fails the run.
    void ReportMismatch(const DWORD* expected, const DWORD* actual);

    CWexalTreeMapTB* m_parent = nullptr;
};
