// CVideoPathTB and CKeyerPathTB: what the video-path FPGA tests share: their parent, the FPGA's OXD file choice, the loaded file names.
#pragma once

#include <functional>
#include <memory>

#include "devlib/register_window.h"
#include "framework/str_list.h"
#include "framework/tree_map_tb.h"
#include "platform/cstring.h"
#include "platform/types.h"

class CJastel;

namespace Unpacked {
namespace Alpha {
class YCbCr_10_6;
}
namespace Image {
class YCbCr_10_6;
}
}  // namespace Unpacked

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
// remember the OXD file last loaded and the one loaded as the board's default, and whose command is
// the image harness (image and resolution lists, the "Bypass:Image:Unpacked" loopback).
class CKeyerPathTB : public CVideoPathTB {
public:
    CKeyerPathTB(CString name, DWORD deviceDigit, DWORD noBar0Verbosity, CJastel* controller);

    // Every command answers 2 here; the keyer and pair tests run their image harness.
    DWORD Run(CString command) override;

    // Both names are kept upper-cased, so they compare with file names in any letter case.
    void SetCurrentOXD(CString name);
    void SetDefaultOXD(CString name);
    CString GetCurrentOXD() const { return m_programmedFile; }
    CString GetDefaultOXD() const { return m_rememberedFile; }
    // The names the root's "Program" and the passthru loopbacks use.
    void SetProgrammedFile(CString name) { SetCurrentOXD(name); }
    void SetRememberedFile(CString name) { SetDefaultOXD(name); }
    const CString& GetProgrammedFile() const { return m_programmedFile; }
    const CString& GetRememberedFile() const { return m_rememberedFile; }
    CJastel* GetController() const { return m_controller; }

    // Runs "Program DEVICE=n FILE=path" on the board root at a verbosity, without making the file
    // the default; answers the root's result (1 when the FPGA was loaded, 2 without a root).
    using Programmer = std::function<DWORD(const CString& command, DWORD verbose)>;
    void SetProgrammer(Programmer programmer) { m_programmer = std::move(programmer); }
    DWORD ProgramThroughRoot(const CString& command, DWORD verbose) {
        return m_programmer ? m_programmer(command, verbose) : kRunFailed;
    }

    CStrListImages* GetImageList() { return &m_images; }
    CStrListResolutions* GetResolutionList() { return &m_resolutions; }

    // Writes value into both keyer CRC registers of channel 1 (A) or 2 (B): 1; any other channel
    // prints "Unrecognized Chip" in red, writes nothing and answers 0.
    DWORD SetKerzilCRCs(DWORD channel, DWORD value);
    // Reads both keyer CRC registers of channel 1 or 2 into first and second: 1; any other channel
    // prints "Unrecognized Chip", leaves the outputs alone and answers 0.
    DWORD GetKerzilCRCs(DWORD channel, DWORD* first, DWORD* second);

    // The loopback body of "Bypass:Image:Unpacked": 1 when every frame arrived in time and matched,
    // 0 otherwise. reserved is not used; frames is 1 to 15.
    virtual DWORD TestBypass(DWORD reserved, CString args, Unpacked::Alpha::YCbCr_10_6* alpha,
                             Unpacked::Image::YCbCr_10_6* image, DWORD frames, DWORD verbose) = 0;
    // Engineering only: prints the checksum of count copies of the frames sent beside the chips' CRC
    // registers of channel 1 or 2, green when they agree. image or alpha may be null.
    virtual void CheckCRCs(DWORD channel, Unpacked::Image::YCbCr_10_6* image, Unpacked::Alpha::YCbCr_10_6* alpha,
                           DWORD count) = 0;
    // Called by the loopback body with the channel when its compare is over; does nothing here.
    virtual void AfterBypass(DWORD channel);

    // A command of the test's own keyword table that the image harness does not run itself
    // (code as the harness matched it, arguments after the keyword). 1 passed, 2 otherwise.
    virtual DWORD RunOwnCommand(DWORD code, const CString& arguments);

    // The loopback's read-back frames, kept from one run to the next and made again only when the
    // size changes, so that a run does not pay for fresh memory. Their contents are whatever the
    // last run left.
    Unpacked::Image::YCbCr_10_6& ReadBackImage(DWORD width, DWORD height);
    Unpacked::Alpha::YCbCr_10_6& ReadBackAlpha(DWORD width, DWORD height);

private:
    std::shared_ptr<Unpacked::Image::YCbCr_10_6> m_readBackImage;
    std::shared_ptr<Unpacked::Alpha::YCbCr_10_6> m_readBackAlpha;
    CJastel* m_controller;
    Programmer m_programmer;
    CStrListImages m_images;
    CStrListResolutions m_resolutions;
    CString m_programmedFile;
    CString m_rememberedFile;
};
