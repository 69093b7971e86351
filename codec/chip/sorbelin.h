// CSorbelin: the base of every codec chip test: run stages, help, the base commands, chip programming and reset.
#pragma once

#include <optional>
#include <vector>

#include "codec/dsp/dremolun.h"
#include "codec/dsp/nuxa_dsp.h"
#include "framework/hw/jastel.h"
#include "framework/str_list.h"
#include "framework/test_record.h"
#include "framework/tree_map_tb.h"
#include "images/image.h"

class CWexalBAR0Space;

// A codec chip test is built twice by the codec board root (names ending in A and B) with its
// chip's DSP, the host-port bridge and the board controller. Run steps through the stages the class
// gives: stage 1 the base commands below, stage 2 the class's RunTest, whose 1 passes, 0 fails and
// 2 stops (a run result 3 only when the host's stop flag is set, else a failure). After a RunTest
// result of 0 or 1 the chip is reset and its RAM initialised again unless the command holds
// "-NORESET" (any case). A VERBOSE= level past an int is refused before any stage runs.
// Base commands (compared case-sensitively with the start of the command):
//   "Reset", "RAM_Init", "Program FILE=<image>" (the diagnostics, encoder, packer or unpacker image
//   through the DSP), "Show Programmed Info", "Show OXD Info FILE=", "Show ZYV Info FILE=" (a
//   package file, or a folder of them), "Compare Files FILE1= FILE2=", "IMAGE_LIST",
//   "RESOLUTION_LIST" (the list commands on the test's own lists), "Modify Image/Resolution List"
//   (the list sheet), "Show DCB Info" (the DCBs of the chip's two channels), "FileMap FILE= NAME="
//   (a log kept on the test itself).
class CSorbelin : public CWexalTreeMapTB {
public:
    static constexpr DWORD kStageBase = 1, kStageRunTest = 2, kStageNone = 3;
    // What RunTest answers for a test that ended because the host asked it to stop.
    static constexpr DWORD kTestStopped = 2;
    // Whether the host asked the running test to stop: every loop over an operator's count
    // (iterations, list entries, VCIDs) looks at it and ends the test with kTestStopped.
    static bool StopRequested() { return *g_StopFlag() != 0; }
    // The bytes a frame of the image moves to or from SDRAM: its whole block, pad included, and no
    // byte more. A packed picture of an odd pixel count holds half a pair less than its counted
    // size, which the DMA geometry still rounds up to whole 4096-byte units.
    static DWORD MovedBytes(const CImage& image) { return image.GetSize() + image.GetOffset(); }
    // Saves the image with its own writer: 1 when written whole, else the file keeps what it held.
    // A file that cannot be created raises the writer's "ERROR:  Couldn't open file" box, one whose
    // writing failed "ERROR:  Couldn't write file", with the cause, as a two-image file does.
    static int SaveImageFile(const CImage& image, const CString& path, int format);
    // The chip's reset register in its DSP's space.
    static constexpr DWORD kChipReset = 0x01C40008;
    // The product-data field that names the codec chip images' revision.
    static constexpr const char* kVpdRevisionKey = "VC";

    CSorbelin(CNuxaDSP* dsp, CDremolun* bridge, CJastel* controller, CString name);
    ~CSorbelin() override;

    DWORD Run(CString command) override;
    // "Reset", "RAM_Init" and names starting with "Program" have no help page (a black line says
    // so); every other name goes to HelpTest. Always 1.
    DWORD Help(CString name) override;

    // The base version has no stage: 3 for every value.
    virtual DWORD GetNextRunStage(DWORD previous);
    virtual void SetParent(CWexalTreeMapTB* parent);
    virtual CWexalTreeMapTB* GetParent() { return m_parent; }
    virtual DWORD RunTest(CString command) = 0;
    virtual void HelpTest(CString name) = 0;
    virtual BOOL RAMInit(DWORD verbose) = 0;
    virtual int GetChipFromName(DWORD verbose) = 0;

    virtual void SetProgramFlag(int flag) { m_programFlag = flag; }
    virtual int GetProgramFlag() { return m_programFlag; }
    virtual void SetPatternBuffer(const std::vector<DWORD>* pattern) { m_pattern = pattern; }
    const std::vector<DWORD>* GetPatternBuffer() const { return m_pattern; }
    // The revision tag of the last programming read as a hexadecimal number: 1 and *revision, or
    // 0 and *revision 0 when there was none or it does not convert.
    virtual BOOL GetProgrammedRevision(DWORD* revision);
    virtual void ShowProgrammedInfo();
    // Resets the chip through its reset register: status, FIFOs and windows cleared, the
    // configuration kept.
    virtual void Reset(int verbose);
    // Settles a codec image's file name: "$(VPDVER)" becomes the revision the product data records
    // for the codec chips, path macros are expanded. 1 when the file exists, else 2 (a red line
    // from verbosity 1).
    virtual DWORD DetermineFilenameOXD(CString& file, int ask, int unused, int verbose);
    // "Program": FILE= through DetermineFilenameOXD into the chip: 1 and the file and revision kept
    // (program flag 1), or 2 with the kept information unchanged.
    virtual DWORD Program(const CString& arguments, int verbose);
    // "Program" of the image at file as it is named, on this test's chip at the command's usual
    // verbosity: no argument text is read, so any character of the path is kept.
    DWORD ProgramImage(const CString& file);
    // FILE1= and FILE2= compared byte for byte: 1 equal, else 0 after a red line.
    virtual int CompareFiles(CString arguments);
    // Runs every entry of the OnFail list: "@FILE=<path>" runs each line of that file (path macros
    // allowed; a red line when it cannot be read), any other entry is one line. A line is a command
    // of this test, or "@SYSCMD <program> <arguments>", a program run to its end (a double-quoted
    // word keeps its blanks). Blank lines and lines starting with "#" are skipped.
    virtual void RunOnFail();
    CStrList* GetOnFailList() { return &m_onFail; }
    // Prints the DCBs of the chip's channels (to the chip and back) with CheckTransferSize's
    // verdict on each: red when it answers 0. Always 1.
    virtual DWORD ShowDCBInfo();
    // Whether a DCB of the channel moves what the test expects; the base has no expectation: 1.
    virtual BOOL CheckTransferSize(DWORD channel, const DWORD dcb[8], CString& report) {
        (void)channel;
        (void)dcb;
        (void)report;
        return TRUE;
    }
    // The chip's set point and temperature from the board's sensor (remote channel 2 for chip A,
    // 3 for B): "Sorbelin<A|B>\t<set point> C\t\t<temperature> C", red when over the set point.
    // FALSE when the sensor cannot be read.
    virtual BOOL ShowTemperature(int verbose);
    // Flushes the chip's DMA streams: channels 24, 25, 28, 29 and 58.
    virtual void FlushDMAStreams();
    // Writes the four words of a context RAM entry to 0x60000100 + 16 x (its context ID, bits 12-15
    // of word 0; width below, height above). 1.
    virtual BOOL WriteContextEntry(const DWORD entry[4]);
    // The packages a codec image supports: its tag 'X' split at commas and blanks; empty without one.
    static std::vector<CString> GetSupportedPackages(const CString& imagePath);
    // The chip's DMA channels: to the chip (28 A, 29 B), from the chip (24 A, 25 B), and its
    // control word (the to-chip channel's); FALSE and nothing for another chip.
    BOOL GetChipDMAChannels(DWORD& toChip, DWORD& fromChip, RegisterRef* controlWord);
    CStrListImages* GetImageList() { return &m_images; }
    CStrListResolutions* GetResolutionList() { return &m_resolutions; }
    CNuxaDSP* GetDSP() const { return m_dsp; }
    CDremolun* GetBridge() const { return m_bridge; }
    const CString& GetProgrammedFile() const { return m_programmedFile; }

protected:
    // The verbosity of a command: 1, or 2 in engineering mode without regression mode; VERBOSE=n
    // (any case) replaces it. A level past an int never reaches here: Run refuses it.
    DWORD ReadVerbosity(const CString& command);
    // The file name a FILE= value starts (leading white space already removed): up to the first
    // blank after its first character, or, when it opens a double quote, what the quotes hold
    // joined by what follows them up to a blank (a save by DCB adds its ".<kind>.<n>" there). A quote
    // never closed prints "Invalid file name" in red and gives false.
    bool ReadFileName(const CString& value, CString& file);
    // Selects the bridge block of this test's chip; false when the name gives no chip.
    bool SelectChip();
    // Program's work once the file is named.
    DWORD ProgramFile(CString file, int verbose);
    // The board's artwork revision, the number in product data field "ZA" as strtoll reads its
    // first `capacity` characters (at most 79); nothing when the field is missing or empty.
    static std::optional<long long> ReadArtwork(CWexalBAR0Space& bar0, int capacity);
    // "Revision ID register = [0x...]" in black.
    void ShowRevisionID(DWORD id);
    // The red line that answers a command the class does not know, naming the class.
    void ReportNotRecognized(const char* className, const CString& command);
    // The black line that answers a help topic the class has no page for, naming the class.
    void ReportNoHelp(const char* className, const CString& name);
    // Whether the result frames [resultStart, resultEnd) and the source frames [sourceStart,
    // sourceEnd) lie in the board's SDRAM (and its 32-bit addresses); false after the red line
    // that gives both ranges, before the caller writes anything.
    bool FramesFit(DWORD resultStart, unsigned long long resultEnd, unsigned long long sourceStart, unsigned long long sourceEnd);
    const std::vector<DWORD>* m_pattern = nullptr;
    CNuxaDSP* m_dsp;
    CDremolun* m_bridge;
    CJastel* m_controller;

private:
    // Stage 1: true when the command is a base command, its result in result.
    bool RunBaseCommand(const CString& command, DWORD verbose, DWORD& result);
    DWORD ShowOXDInfo(const CString& arguments);
    DWORD ShowZYVInfo(const CString& arguments);
    // IMAGE_LIST / RESOLUTION_LIST: the list command on the test's own list.
    DWORD ListCommand(CStrList& list, const CString& arguments);
    // "Modify Image/Resolution List": the list sheet over the plain-run presets and the test's lists.
    DWORD ModifyLists();

    CWexalTreeMapTB* m_parent = nullptr;
    int m_programFlag = 1;
    CString m_programmedFile, m_programmedRevision;
    void RunOnFailLine(const CString& line);
    CStrListImages m_images;
    CStrListResolutions m_resolutions;
    CStrList m_onFail;
};
