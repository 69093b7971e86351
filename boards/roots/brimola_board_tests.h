// CBrimolaBoardTests: the main board's root: its member tests, tree, keyword commands and DIMM checks.
#pragma once

#include <vector>

#include "boards/flash/jastel.h"
#include "boards/memory/mem_clk.h"
#include "boards/memory/mem_test.h"
#include "boards/memory/sdram_pattern.h"
#include "boards/roots/board_root.h"
#include "boards/wexal/wexal.h"

// The one main-board root ("CBrimolaBoard") owns every test of the main board. Member tests are
// declared in the board's fixed order (controller, main FPGA test, keyer, FPGA pair, breakout-box
// video tests, cable loopback, test board, diagnostics port, memory clock, board links, FPGA-pair
// loopback, tree reader, Tcl, flash and controller tests, DCB/BCU tests, SDRAM tests, flash
// programming, breakout box); each subsystem adds its members in their places as it is built.
class CBrimolaBoardTests : public CBoardRoot {
public:
    explicit CBrimolaBoardTests(CString name);
    ~CBrimolaBoardTests() override;

    CJastel* GetController() override { return &m_jastel; }
    mem_clk& GetMemClk() override { return m_memClk; }
    // 13 row bits and 10 or 11 column bits; 512 MB.
    BOOL CheckDIMMGeometry(BYTE rowBits, BYTE columnBits, CString& message) override;
    BOOL CheckDIMMSize(DWORD sizeMB, CString& message) override;

    DWORD DisplayRev(const CString& args) override;
    // The temperature report; PEAK=1 opens the peak-temperature monitor instead. Always 1.
    virtual DWORD ShowDeviceTemperatures(const CString& args, unsigned verbosity);

protected:
    void SetParents() override;
    DWORD RunKeyword(const KeywordCall& call) override;
    const std::vector<ProgramEntry>& GetProgrammingTable() const override { return m_programTable; }
    void ProgramAtStartUp(const CString& command) override;

private:
    DWORD ShowTestSummaryCommand(const KeywordCall& call);
    DWORD TemperaturesCommand(const KeywordCall& call) { return ShowDeviceTemperatures(call.arguments, 1); }

    CJastel m_jastel;  // not in the child map: "CJastel" is no test of the main board
    CWexal m_wexal;
    mem_clk m_memClk;
    CSDRAM_QD_blockWR m_ramBlock;
    CMemTestA m_memTestA;
    CMemTestB m_memTestB;
    std::vector<ProgramEntry> m_programTable;
};
