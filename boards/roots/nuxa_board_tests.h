// CNuxaBoardTests: the codec board's root: its member tests, tree, keyword commands and DIMM checks.
#pragma once

#include <vector>

#include "boards/memory/mem_clk.h"
#include "boards/roots/board_root.h"
#include "boards/tcl/tcl_test.h"
#include "boards/wexal/wexal.h"
#include "breakout/external_io.h"
#include "codec/chip/sorbelin_decoder.h"
#include "codec/chip/sorbelin_diag.h"
#include "codec/chip/sorbelin_encoder.h"
#include "codec/chip/sorbelin_packer.h"
#include "codec/chip/sorbelin_unpacker.h"
#include "codec/dsp/dremolun.h"
#include "codec/dsp/nuxa_dsp.h"
#include "codec/dsp/wexal_unpacker.h"
#include "diagport/scr_port.h"
#include "framework/hw/jastel.h"

// The one codec-board root ("CNuxaBoard") owns every test of the codec board. Member tests are
// declared in the board's fixed order (bridge, controller, DSPs, the ten codec tests, main FPGA
// test, breakout-box video tests, cable loopback, main-FPGA unpackers, diagnostics port, memory
// clock, board links, Tcl, flash and controller tests, DCB/BCU tests, SDRAM tests, flash
// programming, the fill-pattern buffer), which is the order they are built in. The test-tree reader
// is CBoardRoot's.
// Unlike the main board, the controller is a test here ("CJastel"). Run gives the bridge its
// register base before every command and the fill-pattern buffer to the DSP and codec tests before
// every child run.
class CNuxaBoardTests : public CBoardRoot {
public:
    explicit CNuxaBoardTests(CString name);
    ~CNuxaBoardTests() override;

    CJastel* GetController() override { return &m_jastel; }
    mem_clk& GetMemClk() override { return m_memClk; }
    CNulk* GetNulk() { return &m_nulk; }
    Tcl* GetTcl() { return &m_tcl; }
    // 13 row bits and 10 column bits; 256 MB.
    BOOL CheckDIMMGeometry(BYTE rowBits, BYTE columnBits, CString& message) override;
    BOOL CheckDIMMSize(DWORD sizeMB, CString& message) override;

    // "Program DEVICE=n FILE=path" for the board links (3 codec port, 4 expansion port), as on the
    // main board without the product-data file checks; the part number is read as the codec
    // board's number translates to the main board's family.
    virtual DWORD Program(const CString& args, unsigned verbosity);
    // Refills the fill-pattern buffer by the pattern the command names (see fillpattern::Apply):
    // 1 when one was applied, 0 for any other command (the buffer unchanged).
    virtual DWORD SetFillPattern(CString command);
    // FILE1= and FILE2= of the command (path macros allowed) compared byte for byte: 1 equal, 2
    // otherwise after a red line naming the reason.
    virtual DWORD CompareFiles(const CString& command);
    // "Display Rev"; a FILE= ending in "$(ZYVPKG)" reports the codec table package date of that
    // folder instead.
    DWORD DisplayRev(const CString& args) override;
    virtual DWORD ShowDeviceTemperatures(unsigned verbosity) { return ShowTemperatureReport(verbosity); }
    // An image save ("\"Save Image\"", "\"Save Alpha\"") addressed as ADDRESS=@DCB(PACKER|UNPACKER,
    // DEVICEA|DEVICEB, dcbStart, dcbCount): one command per DCB, run through Run on the packer or
    // unpacker test of that chip, naming the chip's two channels, the DCB and a file of its own.
    // 1 when every issued command passed; 2 when one did not (each reports its own failure, an
    // unknown target test its red line; the remaining DCBs are still issued); 3 when the host asked
    // to stop (no further DCB is issued); 0 after a red message, 0 without a word when there is no
    // macro.
    virtual int SaveDCBImage(CString command);
    // The buffer the DSP and codec tests are handed before every run.
    const std::vector<DWORD>& GetPatternBuffer() const { return m_patternBuffer; }

protected:
    void SetParents() override;
    // The bridge's register base (the board's BAR0 + 0x10000) and the fill-pattern buffer for the
    // DSP and codec tests.
    void PrepareChildren(CWexalBoardDevice* board) override;
    DWORD RunKeyword(const KeywordCall& call) override;
    const std::vector<ProgramEntry>& GetProgrammingTable() const override { return m_programTable; }
    void ProgramAtStartUp(const CString& command) override;

private:
    DWORD CopyFileCommand(const KeywordCall& call);
    DWORD FillPatternCommand(const KeywordCall& call) { return SetFillPattern(call.arguments); }
    DWORD CompareFilesCommand(const KeywordCall& call);
    DWORD TemperaturesCommand(const KeywordCall&) { return ShowDeviceTemperatures(1); }
    DWORD SaveDCBImageCommand(const KeywordCall& call) { return static_cast<DWORD>(SaveDCBImage(call.command)); }
    DWORD ProgramCommand(const KeywordCall& call) override { return Program(call.arguments, static_cast<unsigned>(call.verbose)); }

    CDremolun m_bridge;
    CJastel m_jastel;
    CNuxaDSP m_dspA, m_dspB;
    CSorbelinDiag m_diagA, m_diagB;
    CSorbelinPacker m_packerA, m_packerB;
    CSorbelinUnpacker m_unpackerA, m_unpackerB;
    CSorbelinEncoder m_encoderA, m_encoderB;
    CSorbelinDecoder m_decoderA, m_decoderB;
    CWexal m_wexal;
    CNulk m_nulk;
    CBexi m_bexi;
    CCableLoopback m_cableLoopback;
    CWexalUnpacker m_wexalUnpackerA, m_wexalUnpackerB;
    SCRport m_scrPort;
    mem_clk m_memClk;
    BoardLinkTests m_links;
    Tcl m_tcl;
    BoardSharedTests m_shared;  // after the Tcl test, as both boards build them
    static constexpr DWORD kPatternWords = 4096;
    std::vector<DWORD> m_patternBuffer;
    DWORD m_fillFirst = 0, m_fillEnd = kPatternWords;  // the range SetFillPattern fills
    DWORD m_programmedMask = 0;  // bit n once DEVICE=n was accepted
    std::vector<ProgramEntry> m_programTable;
};
