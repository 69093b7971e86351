// SCRport: the board diagnostics port: one test of each board root that runs a diagnostic chosen by keyword.
#pragma once

#include <functional>

#include "framework/tree_map_tb.h"
#include "platform/cstring.h"
#include "platform/types.h"

class CNulk;
class CPagedMemory;
class CWexalDMAChannel;

// Scratch buffers of the diagnostics port as a whole (every SCRport shares them): 1024 DWORDs each.
// VerifySDRAM and VerifySDRAMBlock read into buffers of their own, so callers may pass the pattern
// or read-back buffer as expected data; VerifySDRAMCount overwrites the first 1024 bytes of both.
constexpr DWORD kScratchWords = 1024;
extern DWORD g_VerifyBuffer[kScratchWords];
extern DWORD g_VerifyBlockBuffer[kScratchWords];
extern DWORD g_PatternBuffer[kScratchWords];
extern DWORD g_ReadBackBuffer[kScratchWords];

// The host runs SCRport with a command text that starts with a diagnostic keyword ("KZ-Version
// VERBOSE=1"). Run matches the keyword (case-sensitive prefix of the whole text, the last matching
// row wins), reads VERBOSE and ABORTCOUNT from the whole text and calls the diagnostic with the
// text after the keyword. Every diagnostic answers 1 passed, 2 failed or unable to run, 3 stopped.
class SCRport : public CWexalTreeMapTB {
public:
    static constexpr int kMinRevEntries = 27;
    static constexpr DWORD kVPDImageBytes = 8192;
    static constexpr int kDefaultAbortCount = 20;

    SCRport(CNulk* nulk, CString name);

    DWORD Run(CString command) override;
    // Prints the description of the diagnostic the command names; answers 1.
    DWORD Help(CString command) override;

    // Stores the parent and enters this test in its child map; answers what AddToMap answers.
    virtual BOOL SetParent(CWexalTreeMapTB* parent);
    virtual CWexalTreeMapTB* GetParent() { return m_Parent; }

    // "KZ-Version": the minimum-revision file when FILE= names one, a revision line per device of
    // the board, then the revision indices. 2 when the file or the index choice fails.
    virtual DWORD ShowVersions(CString args, int verbose);
    // Finds the product-data keyword (k1, k2) at positions 0-998 of m_VPDImage (the first wins): its
    // text is as long as the signed byte after the keyword says (a negative length is an empty text)
    // and follows that byte. A non-empty label is printed in black before the text; the text is read
    // as hexadecimal into *value (untouched when it is no number or one past 32 bits). 1 when found;
    // 0, *value untouched, when not.
    virtual int GetVPDKeyword(char k1, char k2, const CString* label, DWORD* value);
    // "KZ-ShowTemp": the four sensor channels; 2 when one cannot be read.
    virtual DWORD ShowTemperatures(CString args, int verbose);
    // "KZ-ShowDMA-B": the control word and DCB 0 of the channel named by Channel= (0-63, default 0).
    virtual DWORD ShowDMAStatus(CString args, int verbose);
    // "KZ-ShowDIMMS": the DIMM report; 2 when it finds a fault.
    virtual DWORD ShowDIMMs(CString args, int verbose);
    // "KZ-CheckPCISpeed", "KZ-TazuDDR", "KZ-TazuQDR": not part of this build. They check their
    // arguments and answer 2.
    virtual DWORD CheckPCISpeed(CString args, int verbose);
    virtual DWORD TestSulvethDDR(CString args, int verbose);
    virtual DWORD TestSulvethQDR(CString args, int verbose);

    // SDRAM checks of the DMA diagnostics. Each reads at most 4096 bytes at the SDRAM byte address
    // and lists at most 20 mismatching words (dark red); verbose 2 and up dumps the words read
    // (green), below 2 prints progress dots. They answer the number of mismatches (0-20); a read
    // that fails counts as one mismatch at least, so a zeroed buffer never passes as data.
    // VerifySDRAM: byteCount bytes against expected (1 after a message when over 4096).
    virtual DWORD VerifySDRAM(const DWORD* expected, DWORD sdramAddress, DWORD byteCount, DWORD verbose);
    // The host block against SDRAM (through VerifySDRAMBlock); 1 after a message for an invalid block.
    virtual DWORD VerifySDRAMHost(const CPagedMemory& block, DWORD sdramAddress, DWORD verbose);
    // 256 DWORDs against the count base + 1, base + 2, ...; no dots.
    virtual DWORD VerifySDRAMCount(DWORD base, DWORD sdramAddress, DWORD verbose);
    // VerifySDRAM reading into its own buffer.
    virtual DWORD VerifySDRAMBlock(const DWORD* expected, DWORD sdramAddress, DWORD byteCount, DWORD verbose);

    // "KZ-CheckVPDStruct": the product data's tag structure (name, read-only data, end, zero).
    virtual DWORD CheckVPDStruct(CString args, int verbose);
    // "KZ_ChkR2Versions PATH=... FILE=...": every revision of the board against the file's minimums.
    virtual DWORD CheckR2Versions(CString args, int verbose);
    // "KZ-BoBcom_lb", "KZ-LTC_WR_lb": 16 words through the message or LTC registers of the
    // breakout-box port, with the loopback connector fitted.
    virtual DWORD FarnoDeKCOMLoopback(CString args, int verbose);
    virtual DWORD LTCLoopback(CString args, int verbose);

    // "ZT-DMA_Cache": 64 KB of the index pattern through the SDRAM window and back, every word compared.
    virtual DWORD DMACacheTest(CString args, int verbose);
    // "ZT-DMA_PCI_Master_RD_Multiple_DCB Channel=12|13": 2 KB of SDRAM to two host pages through two
    // chained DCBs; "ZT-DMA_PCI_Master_WR_Multiple_DCB_2Page Channel=16|17": four host pages to 4 KB of
    // SDRAM, two pages a DCB. A fixed wait, no polling: a transfer that never ends fails the compare.
    virtual DWORD DMAMasterReadMultiDCB(CString args, int verbose);
    virtual DWORD DMAMasterWriteMultiDCB2Page(CString args, int verbose);
    // "ZT-DMA_BoB_LB_Audio": 1 KB from SDRAM 0 out on channel 20 and back on 32 to 0x800 over the
    // loopback connector. "ZT-Play_VUC": 1 KB from 0x1C through the video utility client (38, 57) to 0x81C.
    virtual DWORD FarnoDeKAudioLoopback(CString args, int verbose);
    virtual DWORD PlayVUC(CString args, int verbose);
    // "QG-DMA_CFESK_ILB", "QG-DMA_CFESK_ELB" with CFESK (codec port) or EFESK (expansion port): a
    // 3 KB frame out through the board-link FPGA and back, looped inside it or by the port's
    // connector, in up to four formats (FULL_TEST=0: the first only).
    virtual DWORD VantrelInternalLoopback(CString args, int verbose);
    virtual DWORD VantrelExternalLoopback(CString args, int verbose);
    // "QEV-DMA_DSK_FG_422", "QEV-DMA_DSK_FG_BG": 1 KB from SDRAM 0 into the DSK compositor's
    // foreground (channel 46; with the background also from 62) and out of DSK1 (42) to 0x100000.
    virtual DWORD DSKFG422Passthru(CString args, int verbose);
    virtual DWORD DSKFGBGPassthru(CString args, int verbose);
    // "QEV-ZBT_Addr": the keyer's ZBT RAM (main board) at the even addresses below 0x1000 and the
    // multiples of 0x1000 up to 0x7F000, each written with its address and read back.
    virtual DWORD KerzilZBTAddressTest(CString args, int verbose);
    // "QG-YJP_PPA_Lpbk YJP-PPA|YJP-PPB": a 3 KB frame through the PPP port, turned round inside the
    // keyer. "QG-YJP_PPA_Tazu SulvethA|SulvethB [FPGA=file]": through the keyer and the FPGA pair of
    // that letter, loading the pair with the file first when it holds another. Main board only.
    virtual DWORD PPPKerzilLoopback(CString args, int verbose);
    virtual DWORD PPPKerzilToSulveth(CString args, int verbose);

    virtual CNulk* GetNulk() { return m_Nulk; }

    // What the PPP loopback through the FPGA pair needs of the pair tests, given by the main board's
    // root (the port cannot reach the video-path tests itself): the pair's current and default
    // image files, recording a newly loaded one, and loading through the root at a verbosity.
    struct PairImages {
        std::function<CString(char letter)> current;
        std::function<CString(char letter)> defaultFile;
        std::function<void(char letter, const CString& file)> setCurrent;
        std::function<DWORD(const CString& command, DWORD verbose)> program;
    };
    void SetPairImages(PairImages pairs) { m_pairImages = std::move(pairs); }
    // Waits ms milliseconds in 20 ms steps, letting the host serve its messages between them.
    virtual void Delay(int ms);

    // The revision indices for the release and the image the board booted ("N" tag of its flash
    // image): Skavo needs ZVKX (1, 5, 8); any other release PUVI on the main board (2, 6, 9) and
    // KEZO on the codec board (3, 7, 10). 0 after a message, indices unchanged, when the image
    // does not fit or the tag cannot be read; 1 otherwise (also without a board).
    virtual int SelectRevisionIndices();
    // Reads the minimum-revision file into m_MinRev: 1, or 2 after a dark red message.
    DWORD ReadMinimumRevisions(const CString& file);

    int GetAbortCount() const { return m_AbortCount; }
    const DWORD* GetMinRev() const { return m_MinRev; }
    int GetWexalMinorRevIndex() const { return m_WexalMinorRevIndex; }
    int GetPCIXPromRevIndex() const { return m_PCIXPromRevIndex; }
    int GetWexalMajorRevIndex() const { return m_WexalMajorRevIndex; }

protected:
    using Diagnostic = DWORD (SCRport::*)(CString, int);
    struct KeywordRow {
        int index;
        const char* runKeyword;
        const char* helpKeyword;
        Diagnostic diagnostic;  // null: the diagnostic is not part of this build and is passed over
        const char* description[2];
    };
    static const KeywordRow kKeywords[24];
    // The index of the last row whose keyword starts command (0 when none) and the text after it,
    // leading white space removed. forHelp matches the help spellings and every row.
    static int MatchKeyword(const CString& command, bool forHelp, CString& remainder);

    // The board's BAR0 pointer for the revision and loopback diagnostics: the main board's, else
    // the codec board's, printing the heading of that board in blue; null after a red line.
    RegisterPtr ChooseBAR0(const char* mainHeading, const char* codecHeading);
    // Copies the product-data area (BAR0 0x2000, 2048 DWORDs) into m_VPDImage.
    void ReadVPDImage(const RegisterPtr& bar0);
    // One revision line of a main-board FPGA (keyer, pair); false when it is below its minimum or
    // not loaded. minimum < 0 prints the line without a comparison.
    bool ReportFpgaRevision(const char* name, DWORD word, long minimum);

    // The PCI master runs' common opening for the channel pair from first: the channel, the heading
    // lines (null-ended; the second in blue), the board line, the SDRAM controller and the flush.
    // Null after the refusal's message.
    CWexalDMAChannel* OpenPciMaster(const CString& args, DWORD first, const char* const* heading);
    DWORD PciMasterVerdict(int errors);
    // Writes 0xFF to word 1 of the board's status block so host writes reach SDRAM.
    void FlushSdramWrites();
    DWORD VantrelLoopback(const CString& args, int verbose, bool internal);
    // A 3 KB frame out on one channel and back on another through a video port, in up to four
    // formats (fullTest 0: the first only); the hooks add what each port's loop needs.
    struct FrameRun {
        RegisterPtr bar0;
        CWexalDMAChannel* in = nullptr;
        CWexalDMAChannel* out = nullptr;
        DWORD context = 0, syncBit = 0;
        int fullTest = 1;
        DWORD verbose = 0;
        bool announceFill = false, debugLine = false, abortMessage = false;
        const char* contextText = "";
        CString title;                               // before " PASSED" / " FAILED with ..."
        std::function<void()> afterFlush, beforeContext;
        std::function<void(bool finished)> leave;    // every way out; finished after the last sub-test
    };
    DWORD RunFrameLoop(const FrameRun& run);
    DWORD PPPLoopback(const CString& args, int verbose, bool throughPair);
    // The pair's image (loaded through the root when it is not the wanted file), the keyer set to
    // pass the port on, both datapaths reset and the pair's DDR started; false after the message.
    bool PreparePair(const RegisterPtr& bar0, char letter, int device, DWORD window, DWORD keyerBlock, const CString& wanted);
    DWORD DSKPassthru(int verbose, bool background);
    // Channel n of the board this test is bound to; null without one.
    CWexalDMAChannel* PortChannel(int n);
    // Polls DCB 0 of watched every 10 ms, a blue line each time, until its initial line length reads 0;
    // past maxWaitMs a red line and words 2 and 3 of DCB 0 of out and of watched. false after a time-out.
    bool WaitForDCB(CWexalDMAChannel* watched, CWexalDMAChannel* out, DWORD maxWaitMs);

    int m_AbortCount = 0;
    DWORD m_MinRev[kMinRevEntries] = {};
    BYTE m_VPDImage[kVPDImageBytes] = {};
    int m_WexalMinorRevIndex = 0;
    int m_PCIXPromRevIndex = 0;
    int m_WexalMajorRevIndex = 0;
    CWexalTreeMapTB* m_Parent = nullptr;
    CNulk* m_Nulk = nullptr;
    PairImages m_pairImages;  // empty on the codec board
};
