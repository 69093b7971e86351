// CExternalIO: the base of the tests on a board's external I/O connector, with the breakout-box set-up.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "breakout/box_harness.h"
#include "framework/str_list.h"
#include "framework/tree_map_tb.h"
#include "devlib/register_window.h"
#include "platform/cstring.h"
#include "platform/types.h"

class CImage;
class CJastel;
class CYorbInterface;
class CYorbVideoDevice;

// One row of a project-format list: the format's name, its number (project, output and input
// format alike) and its frame size.
struct ProjectFormatEntry {
    CString name;
    DWORD format;
    DWORD width;
    DWORD height;
};
using ProjectFormatList = std::vector<ProjectFormatEntry>;

// The row of format number 1-24 into *entry; false for another number.
bool FindProjectFormat(DWORD format, ProjectFormatEntry* entry);
// Frames the HD loop through the Bexi returns late for a project format: three for the
// progressive and segmented formats (3, 4, 6-21), two for the interlaced ones and any other number.
DWORD HdLoopDelay(DWORD format);
// The first row of list named exactly name; null when none is.
const ProjectFormatEntry* FindProjectFormat(const ProjectFormatList& list, const CString& name);

// Holds the parent (the board root) and the board's controller test, and binds command objects to
// the breakout box. Nothing of the box connection is kept here: every operation that sends a box
// command calls SetupYorbflow first, which looks the box up and prepares it afresh.
class CExternalIO : public CWexalTreeMapTB {
public:
    static constexpr COLORREF kRed = 0x0000FF;
    static constexpr COLORREF kBlue = 0xFF0000;
    static constexpr COLORREF kBlack = 0;

    // Takes its name as code name too, and fills the image and resolution lists with the run
    // mode's presets.
    CExternalIO(CJastel* controller, CString name);

    DWORD Run(CString command) override = 0;
    DWORD Help(CString subTest) override = 0;

    // 1 when the breakout box or a loopback cable is on the connector and the box's command device
    // is ready and handed to command; 0 at the first missing piece. The connection notices and the
    // missing-pointer lines print only with verbose above 1; the others always.
    int SetupYorbflow(CYorbInterface* command, int verbose);

    virtual void SetParent(CWexalTreeMapTB* parent) { StoreParent(parent); }
    virtual CWexalTreeMapTB* GetParent() { return m_parent; }
    virtual CJastel* GetJastel() { return m_controller; }
    virtual CStrListImages* GetImageList() { return &m_images; }
    virtual CStrListResolutions* GetResolutionList() { return &m_resolutions; }

    // Bit 0 of the controller's word 0x10: the box or a loopback cable on the connector. A
    // controller without its register block counts as no connector.
    bool ConnectorPresent();
    // DWORD index of the loopback functional pattern: bytes index, index + 1, index + 2, index + 3
    // (mod 256) from the lowest address up, with the carries of the sum; repeats every 256 DWORDs.
    static DWORD LoopbackPattern(DWORD index) { return (index % 256) * 0x01010101u + 0x03020100u; }
    // The bound board's BAR0 window: its main-board window, else its codec-board one.
    RegisterPtr Bar0();

protected:
    // Stores the parent and enters this test in its child map.
    void StoreParent(CWexalTreeMapTB* parent);
    // The run-mode preset of the switch file: 2 x regression + engineering.
    int ListPreset();
    // The video frame counter (bits 24-29 of BAR0 0x80208) of the bound board's main-board window,
    // else its codec-board one; 0 with neither.
    DWORD ReadFrameCounter();
    // The shared set-up steps of both video devices, on a bound command object: project, output
    // (through sendOutput), input, play-and-capture video I/O mode. 0 after the failing step's lines.
    // sendOutput sends the output format; outputLines are its progress lines.
    int SendFormats(CYorbVideoDevice& command, const char* device, DWORD project, DWORD input, int verbose,
                    const std::function<int()>& sendOutput, const CString& outputFailure, const CString& outputLines);
    // "SetHVResizerEnable" 0 through a bound Bexi command object.
    int DisableResizer(CYorbVideoDevice& command, int verbose);
    // Starts video I/O at (frame counter + delay) mod 64 through a bound command object.
    int StartVideoIO(CYorbVideoDevice& command, const char* device, DWORD delay, int verbose);
    // The command's error text and "\n\n" in red.
    void PrintErrorText(const CYorbVideoDevice& command);
    // One command of a set-up: not sent, the failure line (when given) and the error text in red,
    // 0; sent, the progress line (when given, verbose above 1) in colour, 1.
    int CommandStep(const CYorbVideoDevice& command, int sent, int verbose, const CString& failure,
                    const CString& progress, COLORREF colour);

    // What every Run does before its keyword's work: the parent, the keyword, DIM=, FRAMES= and
    // VERBOSE=. false when the run ends here (result in *result): no parent, no keyword, FRAMES=
    // out of 1..frameLimit or with a keyword that takes no frame count.
    bool ReadRun(const CString& command, std::span<const box::Keyword> keywords, DWORD frameLimit,
                 const char* parentMessage, box::RunValues& run, DWORD* result);
    // Runs a loopback functional sub-test with the "Failures" log around it, prints its line
    // (lineFormat's %s the verdict) and hands it to the parent's summary. 1 passed, else 2.
    DWORD RunLoopbackFunctional(const char* lineFormat, const std::function<int()>& subTest);
    // The list-selection dialog over the image list and resolutions, offered the run mode's
    // presets (formats: the names of its rows instead of the size presets). 1, or 2 for an
    // undefined preset.
    DWORD ModifyLists(CStrListResolutions& resolutions, const ProjectFormatList* formats);
    // Every pattern of the image list over every resolution entry, one loopback per pair, with
    // the logs, the progress bar and the summary block. 1 when no pair failed, 3 when the host's
    // stop flag ended the pairs (the lines so far handed up, no summary block), else 2.
    DWORD RunImageList(const box::RunValues& run, const box::ImageListForm& form);
    // The loopback functional test of both classes; switchLoop (null for the cable) switches the
    // Nulk's internal loopback on (1) for the transfer and off (0) on every way out after that.
    int LoopbackFunctionalBody(const CString& text, int verbose, const std::function<int(BYTE)>& switchLoop);
    // WriteReadCompare of both classes; flush: the PCI cache is flushed after the write and the read.
    int WriteReadCompareBody(DWORD address, const DWORD* write, DWORD* read, DWORD bytes, bool flush);
    // The help page's frame: a green rule, the line, a green rule; more lines in between.
    void PrintHelp(const char* line, std::span<const char* const> more = {});

    CWexalTreeMapTB* m_parent = nullptr;
    CJastel* m_controller;
    CStrListImages m_images;
    CStrListResolutions m_resolutions;
};

// The loopback cable test: the connector's video output wired back to its input.
class CCableLoopback : public CExternalIO {
public:
    CCableLoopback(CJastel* controller, CString name);

    DWORD Run(CString command) override;
    DWORD Help(CString subTest) override;

    // Moves a block of SDRAM out through the cable and back by DMA and compares it. The test
    // code and frame count of the dispatch are not used.
    int LoopbackFunctional(DWORD code, CString text, DWORD frames, int verbose);
    // Writes bytes from write to SDRAM at address, reads them back into read and compares them.
    int WriteReadCompare(DWORD address, const DWORD* write, DWORD* read, DWORD bytes);
    // One image loopback through the cable (frames 1-15). 1 passed, 0 failed.
    int LoopbackImages(DWORD code, CString text, CImage& alpha, CImage& image, DWORD frames, int verbose);
};

// The breakout box's Bexi video device.
class CBexi : public CExternalIO {
public:
    CBexi(CJastel* controller, CString name);

    DWORD Run(CString command) override;
    DWORD Help(CString subTest) override;

    // One image loopback through the box's HD loop in the project format. 1 passed, 0 failed.
    int LoopbackImages(DWORD code, CString text, CImage& alpha, CImage& image, DWORD format, DWORD frames, int verbose);

    // Refills the HD format list with the preset's formats (0-3); any other preset answers 0 and
    // leaves the list as it was. The resolution list is not refilled.
    virtual int BuildFormatList(int preset);
    // Project, output with its SD proxy, input, play-and-capture video I/O, resizer off. 1 when the
    // box took all; 0 after the failing step's lines (what earlier steps set stays set).
    virtual int SetupVideoFormat(DWORD project, DWORD output, DWORD proxy, DWORD input, int verbose);
    // Starts video I/O at (frame counter + delay) mod 64.
    virtual int StartIO(DWORD delay, int verbose);
    virtual int StopIO(int verbose);

    const ProjectFormatList& GetFormatList() const { return m_formats; }

private:
    ProjectFormatList m_formats;
};

struct HWConfigFBRecord;

// The breakout box's Nulk video device, which also serves the command console of the Tcl test.
class CNulk : public CExternalIO {
public:
    CNulk(CJastel* controller, CString name);

    DWORD Run(CString command) override;
    DWORD Help(CString subTest) override;

    // Moves a block of SDRAM out and back through the Nulk's internal loopback and compares it.
    int LoopbackFunctional(DWORD code, CString text, DWORD frames, int verbose);
    int WriteReadCompare(DWORD address, const DWORD* write, DWORD* read, DWORD bytes);
    // One 8-bit image loopback through the Nulk's internal loopback. 1 passed, 0 failed.
    int InternalLoopbackImages(DWORD code, CString text, CImage& alpha, CImage& image, DWORD frames, int verbose);
    // One image loopback through the Nulk's SDI loop in the project format. 1 passed, 0 failed.
    int ExternalLoopbackImages(DWORD code, CString text, CImage& alpha, CImage& image, DWORD format, DWORD frames,
                               int verbose);

    // The console's reply mode: 0 shows values by their symbols where it knows them, else in hex.
    virtual void SetShowValues(BYTE show) { m_showValues = show; }
    virtual BYTE GetShowValues() { return m_showValues; }
    // The box's revision record and product data into the caller's record or buffer (capacity
    // bytes); 0 after a red reason and the error text.
    virtual int FetchRevisions(HWConfigFBRecord* record, int verbose);
    virtual int FetchVPDInfo(signed char board, BYTE* buffer, DWORD capacity, int verbose);
    // The external loopback's list: the project format names.
    virtual CStrListResolutions* GetExternalResolutionList() { return &m_externalResolutions; }
    // Switches the Nulk's video loopback (on only for an enable of exactly 1). 1 once the box took
    // it; 0 when the box cannot be set up, or refuses (after its error text and "\n\n" in red).
    virtual int SetVideoLoopback(BYTE enable, int verbose);

    // Project, output (SD proxy 0), input, play-and-capture video I/O; then the Bexi's resizer off.
    virtual int SetupVideoFormat(DWORD project, DWORD output, DWORD input, int verbose);
    // Selects the Nulk's video output, then its video input.
    virtual int SetVideoTransport(DWORD output, DWORD input, int verbose);
    // Starts video I/O at (frame counter + delay) mod 64; a delay above 64 is refused (its line only
    // with verbose above 1) and nothing is sent.
    virtual int StartIO(DWORD delay, int verbose);
    virtual int StopIO(int verbose);

    const ProjectFormatList& GetFormatList() const { return m_formats; }

    // "Test Yorb Command": ENABLE=n switches the loopback on for n other than 0, off otherwise.
    int TestYorbCommand(DWORD code, CString text, int verbose);

    // The console: words[1] is the command name, the words after it name/value pairs. A request
    // named with "Get" writes its name and the values of every word that is one of its reply
    // parameters into reply as text (by symbol or " 0x%X " after the reply mode) and its length into
    // *replyLength. 1 when sent and answered; 0 otherwise, *replyLength 0. A text that would not fit
    // capacity (with its terminating NUL) gives 0 after a red line.
    int RunYorbCommand(int wordCount, const char* const* words, BYTE* reply, DWORD capacity, DWORD* replyLength,
                       int verbose);

private:
    CStrListResolutions m_externalResolutions;
    ProjectFormatList m_formats;
    BYTE m_showValues = 0;  // set by the console's caller before every run
};
