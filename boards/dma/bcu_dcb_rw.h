// C_BCU_RW, C_DCB_RW and their "Active" forms: pattern tests of the DMA descriptor memories (BCUs and DCBs).
#pragma once

#include "boards/memory/dma_channel_table.h"
#include "devlib/register_window.h"
#include "framework/tree_map_tb.h"
#include "platform/cstring.h"
#include "platform/types.h"

// One BCU as read back against the pattern written to it: all four registers are compared, so bits
// outside the masks must read 0.
class BCUCompareRecord {
public:
    static constexpr int kWords = 4;
    // Reads the unit's four registers; expected is the pattern, under the masks when there are any.
    void Set(int bcu, const DWORD* masks, DWORD pattern, RegisterPtr registers);
    BOOL Matches() const;
    // " BCU #n; BAR0+offset" in red and the expected/actual dump.
    void Print(CTestBase* out) const;

private:
    int m_bcu = 0;
    DWORD m_expected[kWords] = {};
    DWORD m_actual[kWords] = {};
};

// One DCB (index 16 x channel + dcb) as read back; only the words up to the last masked one are
// compared, and words a mask leaves out count as 0.
class DCBCompareRecord {
public:
    static constexpr int kWords = 8;
    void Set(int dcb, const DWORD* masks, DWORD pattern, RegisterPtr words);
    BOOL Matches() const;
    void Print(CTestBase* out) const;

private:
    int m_dcb = 0;
    int m_count = kWords;
    DWORD m_expected[kWords] = {};
    DWORD m_actual[kWords] = {};
};

// The five pattern passes over the 512 BCUs, with the DMA channels disabled around them. Results:
// 1 passed, 2 a BCU failed (or there is no BCU window), 3 stopped by the host.
class C_BCU_RW : public CWexalTreeMapTB {
public:
    static constexpr DWORD kWindow = 0x70000;
    static constexpr int kUnits = 512;

    explicit C_BCU_RW(CString name) : CWexalTreeMapTB(name) {}
    // The arguments are only shown in the header.
    DWORD Run(CString arguments) override;
    void ShowHelp() override = 0;
    virtual void RunPasses(int unused);
    // Writes every BCU, then checks them; 1 clean, 2 a fault, 3 stopped.
    virtual int RunPass(DWORD start, DWORD step);
    // Four masks of the bits to compare, or null to compare every bit.
    virtual const DWORD* GetMasks() = 0;

    int GetTotalFailures() const { return m_totalFailures; }

protected:
    CDMAControlChannels m_channels;
    RegisterPtr m_bcuWindow;  // null without a BAR0 mapping
    int m_totalFailures = 0;
    int m_result = kRunPassed;
};

// BCU test comparing only the bits the running firmware implements.
class C_BCU_RW_Active : public C_BCU_RW {
public:
    explicit C_BCU_RW_Active(CString name) : C_BCU_RW(name) { SetCodeName(name); }
    void ShowHelp() override;
    // By the flash revision, asked afresh on every call.
    const DWORD* GetMasks() override;
    virtual void SetParent(CWexalTreeMapTB* parent);
    CWexalTreeMapTB* GetParent() const { return m_parent; }

private:
    CWexalTreeMapTB* m_parent = nullptr;
};

// The five pattern passes over the 16 DCBs of every ready channel. Results: 1 passed, 2 a DCB
// failed, a pass was stopped or there is no DCB window, 3 stopped before the run.
class C_DCB_RW : public CWexalTreeMapTB {
public:
    static constexpr DWORD kWindow = 0x60000;
    static constexpr int kUnits = 1024;

    explicit C_DCB_RW(CString name) : CWexalTreeMapTB(name) {}
    DWORD Run(CString arguments) override;
    void ShowHelp() override;
    virtual int RunPass(DWORD start, DWORD step);
    // Eight masks for the channel's DCBs, or null to compare every bit of all eight words.
    virtual const DWORD* GetMasks(int channel, int dcb) = 0;

    int GetTotalFailures() const { return m_totalFailures; }

protected:
    CDMAControlChannels m_channels;
    int m_totalFailures = 0;
    int m_result = kRunPassed;
};

class C_DCB_RW_Active : public C_DCB_RW {
public:
    explicit C_DCB_RW_Active(CString name) : C_DCB_RW(name) { SetCodeName(name); }
    void ShowHelp() override;
    // By the flash revision and the channel's kind, asked afresh for every DCB.
    const DWORD* GetMasks(int channel, int dcb) override;
    virtual void SetParent(CWexalTreeMapTB* parent);
    CWexalTreeMapTB* GetParent() const { return m_parent; }

private:
    CWexalTreeMapTB* m_parent = nullptr;
};

// The revision text read as hexadecimal; 0 when it is empty or not a hexadecimal number of a DWORD.
DWORD DescriptorMaskRevision(const CString& revision);
