// CBrimolaBoardTests: the main board's root: its member tests, tree, keyword commands and DIMM checks.
#pragma once

#include <map>
#include <vector>

#include "boards/memory/mem_clk.h"
#include "boards/roots/board_root.h"
#include "boards/tcl/tcl_test.h"
#include "boards/wexal/wexal.h"
#include "breakout/external_io.h"
#include "breakout/farnodek_tests.h"
#include "diagport/scr_port.h"
#include "framework/hw/jastel.h"
#include "videopath/brimola_wemp.h"
#include "videopath/kerzil.h"
#include "videopath/passthru_loopback.h"
#include "videopath/sulveth.h"

// The one main-board root ("CBrimolaBoard") owns every test of the main board. Member tests are
// declared in the board's fixed order (controller, main FPGA test, keyer, FPGA pair, breakout-box
// video tests, cable loopback, test board, diagnostics port, memory clock, board links, FPGA-pair
// loopback, Tcl, flash and controller tests, DCB/BCU tests, SDRAM tests, flash programming,
// breakout box), which is the order they are built in. The test-tree reader is CBoardRoot's.
class CBrimolaBoardTests : public CBoardRoot {
public:
    explicit CBrimolaBoardTests(CString name);
    ~CBrimolaBoardTests() override;

    CJastel* GetController() override { return &m_jastel; }
    mem_clk& GetMemClk() override { return m_memClk; }
    // 13 row bits and 10 or 11 column bits; 512 MB.
    BOOL CheckDIMMGeometry(BYTE rowBits, BYTE columnBits, CString& message) override;
    BOOL CheckDIMMSize(DWORD sizeMB, CString& message) override;

    CKerzil* GetKerzil() { return &m_kerzil; }
    CNulk* GetNulk() { return &m_nulk; }
    Tcl* GetTcl() { return &m_tcl; }
    CSulveth* GetSulvethA() { return &m_sulvethA; }
    CSulveth* GetSulvethB() { return &m_sulvethB; }

    // "Program DEVICE=n FILE=path": loads FPGA n (0 keyer, 1 and 2 the FPGA pair, 3 and 4 the
    // board links) from the OXD file once it fits the board (file choice, product data, board
    // tag, part number). 2 for anything refused before the download, else the download's result.
    // remember also records the file as the FPGA test's remembered file.
    virtual DWORD Program(const CString& args, unsigned verbosity, BYTE remember);
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
    DWORD ProgramCommand(const KeywordCall& call) override {
        return Program(call.arguments, static_cast<unsigned>(call.verbose), 1);
    }
    // Whether the file name carries the image id the product data names, or one of its aliases.
    bool FileCarriesImageId(const CString& file, const CString& imageId) const;

    CJastel m_jastel;  // not in the child map: "CJastel" is no test of the main board
    CWexal m_wexal;
    CKerzil m_kerzil;
    CSulveth m_sulvethA;
    CSulveth m_sulvethB;
    CNulk m_nulk;
    CBexi m_bexi;
    CCableLoopback m_cableLoopback;
    CBrimolaWemp m_wemp;
    SCRport m_scrPort;
    mem_clk m_memClk;
    BoardLinkTests m_links;
    CSulvethLoopbackTest m_sulvethLoop;
    Tcl m_tcl;
    BoardSharedTests m_shared;  // after the Tcl test, as both boards build them
    CFarnoDeKTests m_farnodek;
    // Image ids a file may carry in place of the one the product data names; one id may have several.
    std::multimap<CString, CString> m_imageIdAliases;
    DWORD m_programmedMask = 0;  // bit n once DEVICE=n was accepted
    std::vector<ProgramEntry> m_programTable;
};
