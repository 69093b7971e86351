// CVideoPathTB and CKeyerPathTB: what the video-path FPGA tests share: their parent, the FPGA's OXD file choice, the loaded file names.
#pragma once

#include "framework/tree_map_tb.h"
#include "platform/cstring.h"
#include "platform/types.h"

class CJastel;

// A test of one FPGA on the board controller's configuration port, registered under a board root.
// The FPGA is named by its device digit (0 keyer, 1 and 2 the FPGA pair, 3 and 4 the board links);
// the board's product data records the revision of the image it should carry under "V<digit>".
class CVideoPathTB : public CWexalTreeMapTB {
public:
    // noBar0Verbosity: the lowest verbosity at which DetermineFilenameOXD reports a board
    // interface without BAR0 space.
    CVideoPathTB(CString name, DWORD deviceDigit, DWORD noBar0Verbosity);

    // Keeps the parent and enters this test in its child map.
    virtual void SetParent(CWexalTreeMapTB* parent);
    CWexalTreeMapTB* GetParent() const { return m_parent; }
    DWORD GetDeviceDigit() const { return m_deviceDigit; }

    // Settles the FPGA's OXD file: every "$(VPDVER)" in path becomes the revision the product data
    // records for this FPGA, the path macros are expanded (a file found only under
    // "$(CWD)\testdata" counts as found), and with ask set a file dialog is offered when nothing is
    // found. Answers 1 with path naming the file, whose base name carries that revision as its
    // characters 5-8; 2 otherwise, with red reasons from verbosity 2 (a missing BAR0 space from the
    // test's own threshold) and "OXD FILE:  <path>" in black on success from verbosity 1.
    virtual DWORD DetermineFilenameOXD(CString& path, BOOL ask, DWORD verbose);

    // The last four characters (all, when shorter) of this FPGA's product-data field; "" when the
    // board has no BAR0 space or no such field.
    CString GetVPDRevision();

    // The revision an OXD file's name carries: characters 5-8 of the base name, which starts
    // after the last backslash, else after the first colon.
    static CString FileRevision(const CString& path);

private:
    CWexalTreeMapTB* m_parent = nullptr;
    DWORD m_deviceDigit;
    DWORD m_noBar0Verbosity;
};

// The keyer test and the FPGA-pair tests: FPGAs the main root loads itself (DownloadXilinx), which
// remember the OXD file last loaded and the one loaded as the board's default.
class CKeyerPathTB : public CVideoPathTB {
public:
    CKeyerPathTB(CString name, DWORD deviceDigit, DWORD noBar0Verbosity, CJastel* controller);

    // Their image and register sub-tests are not part of this library yet: every command answers 2.
    DWORD Run(CString command) override;

    // Both names are kept upper-cased, so they compare with file names in any letter case.
    void SetProgrammedFile(CString name);
    void SetRememberedFile(CString name);
    const CString& GetProgrammedFile() const { return m_programmedFile; }
    const CString& GetRememberedFile() const { return m_rememberedFile; }
    CJastel* GetController() const { return m_controller; }

private:
    CJastel* m_controller;
    CString m_programmedFile;
    CString m_rememberedFile;
};
