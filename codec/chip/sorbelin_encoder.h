// CSorbelinEncoder: one codec chip as a hardware encoder: its environment, dispatcher, help and chip preparation.
#pragma once

#include <functional>
#include <map>
#include <vector>

#include "codec/chip/sorbelin.h"
#include "codec/dsp/zyv_file.h"
#include "framework/log_file.h"
#include "framework/param_string.h"
#include "images/file_buffer.h"
#include "images/unpacked_image.h"
#include "images/image.h"
#include "images/image_8bit.h"


// The encoder test of one codec chip (the name's last letter picks chip A or B). It keeps a test
// environment of upper-cased variables that the image names and reference files are built from,
// and an OnFail list that the base runs after a failure. Keywords are compared case-sensitively
// with the start of the command; options (VERBOSE=, FRAMES=) are read in any case, DIM= only as
// written. FRAMES= is accepted only by the keywords that move frames.
// One table of a package as the DSP holds it.
struct DspTableEntry {
    DWORD type = 0;                  // 0 encode, 128 resolution
    const BYTE* hostData = nullptr;  // inside the loaded package
    DWORD size = 0;
    DWORD dspAddress = 0;            // from the DSP's allocation; 0 while none
};

// A supported package loaded for one VCID's pass: its two tables in DSP memory and the offset the
// DSP gave the set in its encode table list (the chip's table offset for the package's VCID).
struct EncodeTableSet {
    explicit EncodeTableSet(CString file) : package(std::move(file)) {}
    DspTableEntry encodeTable, resolutionTable;
    DWORD tableOffset = 0;
    CZyvFile package;
};

class CSorbelinEncoder : public CSorbelin {
public:
    // The package date from which the "_2" reference files apply.
    static constexpr DWORD kSecondReferenceDate = 20040416;

    CSorbelinEncoder(CNuxaDSP* dsp, CDremolun* bridge, CJastel* controller, CString name);

    DWORD GetNextRunStage(DWORD previous) override;
    // 1 passed, 0 failed, or what the called test answers.
    DWORD RunTest(CString command) override;
    // Only "Encode" has a help page.
    void HelpTest(CString name) override;
    // The DDR-initialisation wait (WaitDDRInit).
    BOOL RAMInit(DWORD verbose) override;
    // The code of the name's last letter minus 0x40 (A 1, B 2); 0 for a non-letter. Trailing blanks
    // are not trimmed.
    int GetChipFromName(DWORD verbose) override;

    // "VARIABLE=name VALUE=value": stores the pair upper-cased (a bracketed value without its outer
    // brackets), replacing an earlier value of the name. 0 after a red line when either is missing.
    virtual BOOL SetEnvironment(const CString& text);
    // Empties resolutions and fills images with the list of the mode (2 x regression + engineering).
    // 0 after a red line for a mode outside 0..3.
    virtual BOOL SetDefaultLists(CStrList& images, CStrList& resolutions, int mode);
    // The chip's revision register: high half << 16 | low half, after a line for each half.
    virtual DWORD GetRevisionID();
    // "Determine Zyv Package PATH=": each package file's checksum and the package date; 1 when
    // the files form a known package.
    virtual DWORD DetermineZyvPackageCommand(const CString& command, DWORD verbose);

    // The DDR-initialisation wait: after a programming, starts both DDR sequences and waits up to
    // 100 rounds of 1 ms for their done bits, clearing each. 1 (and the program flag cleared) when
    // both came; 1 at once when nothing was programmed since the last successful wait.
    virtual BOOL WaitDDRInit(DWORD verbose);
    // Writes 0xFFFF to Status and 0 to Interrupt Enable. 1.
    virtual BOOL ClearStatus();
    // Writes context RAM entry index for a 480 x 320 8-bit bypass frame (VCID 0x8002); 0 without
    // writing for an index above 15 or another image size.
    virtual BOOL SetContext(int index, CImage* image);
    // Control 2: video input from the port, table loading ignored, pattern generator off. 1.
    virtual BOOL EnableVideoInput();
    // The codec board's RAM clock on; 0 after a red line when the controller refuses.
    virtual BOOL SetSDRAMClock(DWORD verbose);
    // Checks the bridge's identity and revision and the chip's device id, then runs WaitDDRInit;
    // 0 after a red line at the first check that fails.
    virtual BOOL InitRegs(DWORD verbose);
    // The chip's expected device id: 0x160 for A; 0x170 for B, or 0x160 on a board whose product
    // data "ZA" holds an artwork below 2 (a field that is no number counts as 0). 0 for B without
    // a BAR0 space, after a red line.
    virtual DWORD GetExpectedRevision();
    // One line per Status bit of interest.
    virtual void ShowStatus();
    // The DSP's codec status word (all 32 bits) into *status: 2 when an error bit is set (or
    // status is null), else 1.
    virtual int GetCodecStatus(DWORD* status);
    // "CODEC STATUS:  OK" in green, or the word and a line per error bit in red.
    virtual void ShowCodecStatus();
    // Every register decoded into readable lines, the sixteen context RAM entries and the codec
    // status.
    virtual void DumpRegs();

    // The bypass round trip: frames of the image from SDRAM through the chip in bypass context (VCID
    // 0x8002) and back, over the chip's own channels (28 / 24 for A, 29 / 25 for B). Moves data
    // without comparing it: 1 when the returning chain completed before its deadline, else 0
    // after a red line. Only a 480 x 320 image gets a context.
    virtual BOOL VideoBypass(DWORD code, const CString& arguments, Image::YCbCr_8bit& image, DWORD frames, DWORD verbose);

    // An image-list file name made real: "Env.$(COMPRESS_IMAGE)" / "Env.$(DECOMPRESS_IMAGE)" become
    // their variable's value, "$(VCID_LIST)" the VCID ("%X"), "$(X)", "$(Y)", "$(P)" width, height
    // and bits per sample, then the path macros. 1 when the file exists; 0 (a red line only for a
    // missing variable) otherwise.
    virtual BOOL ExpandImageName(CString& name, DWORD vcid, DWORD width, DWORD height, DWORD bits);
    // The source picture of an image-list entry (pattern "=>" reference) into an image the caller
    // sized: the DECOMPRESS_IMAGE file for the key "Env.$(DECOMPRESS_IMAGE)", else the fill the key
    // names (SOLID=(Y=..:CB=..:CR=..) in decimal or 0x hexadecimal; RANDOM with SEED=, else the
    // time). 0 after a red line for an unknown key, a missing variable or file, or another class
    // of image (8: Image::YCbCr_8bit, 10: Unpacked::Image::YCbCr_10_6).
    virtual BOOL BuildSourceImage8(CKeyValue& entry, CImage* image, DWORD vcid, int verbose);
    virtual BOOL BuildSourceImage10(CKeyValue& entry, CImage* image, DWORD vcid, int verbose);

    // Whether the package set in directory may be used with the microcode (its revision tag read
    // as decimal) and the encoder image (its tag read as hexadecimal): a known set dated 20040319
    // or later, microcode 44 or later for that date and 48 or later up to 20040416, and an encoder
    // of 0x810 or later. 0 after a line saying which rule refused.
    virtual BOOL CheckZyvPackage(CString directory, const CString& microcode, const CString& encoder, DWORD verbose);
    // Writes context entry contextID for the package: raster width and height, the table offset
    // the DSP gave the package (10 bits), the 10-bit flag and the VCID. 1 after "Context RAM loaded".
    virtual BOOL SetupEncoderContext(DWORD contextID, DWORD tableOffset, const CZyvFile& package, DWORD verbose);
    // Where the macroblock section of a compressed frame starts: the header size less 4 bytes per
    // macroblock row (the height rounded up to 8 lines, then to the nearest number of 16-line rows).
    static DWORD GetMacroBlockStart(DWORD headerSize, DWORD lines);
    // Checks the words that end each field of a compressed frame of bytes bytes (two fields of
    // bytes / 2 with twoFields; stored words byte-reversed with swap): with bit 0x10 of byte 6 the
    // CRC of the field's bytes before the word (seed 0), else the end marker 0x600DC0DE. 1 when
    // every field's word holds; *computed and *stored (either may be null) the last compared pair.
    virtual BOOL CheckFrameCRC(const BYTE* frame, DWORD bytes, DWORD* computed, DWORD* stored, BOOL twoFields, BOOL swap);
    // The DSP's EDMA time-outs from its codec status word, one line each ("No DSP timeouts
    // occurred" without any); microcode below 52 has no such word. Always 1.
    virtual BOOL ReportDSPTimeouts(CString& text);

    // "Encode": for each VCID of VCID_LIST the DSP gets the microcode and the tables of every package
    // the encoder image lists, the chip is programmed and given the VCID's context, and each image
    // entry (IMG=$(IMG_LIST), IMG=<entry>, or DECOMPRESS_IMAGE=>COMPRESS_IMAGE) is encoded frames
    // times and compared with its reference frame (MASTER: the reference file is rewritten with the
    // first frame instead). 1 when everything passed, else 0 after the red line of the step; 2
    // (kTestStopped) when the host asked to stop, looked at before each VCID and image entry.
    virtual int Encode(CString params, DWORD frames, DWORD verbose);
    // One encode run of the picture over the chip's channels and the compare of each frame with the
    // last MaxCompressedFrameSize bytes of reference, difference by difference and by section
    // (SAVE=n frames, or every frame from the first failure with SAVE_ON_FAIL, to
    // "C:\Zorv.Encode.<i>.img"). With master nothing is compared and reference becomes the first
    // frame. 1 passed, 0 failed.
    virtual BOOL EncodeAndCompare8(const CString& params, const CZyvFile& package, Image::YCbCr_8bit& image, CFileBuffer& reference,
                                   DWORD frames, DWORD verbose, BOOL master);
    virtual BOOL EncodeAndCompare10(const CString& params, const CZyvFile& package, Unpacked::Image::YCbCr_10_6& image,
                                    CFileBuffer& reference, DWORD frames, DWORD verbose, BOOL master);
    // SDRAM of the codec board the encode run uses: the returned frames from kReceiveBase (a
    // package's chain must fit kReceiveArea), the pictures sent from kSendBase.
    static constexpr DWORD kReceiveBase = 0x1000, kReceiveArea = 0x2000000, kSendBase = kReceiveBase + kReceiveArea;

    // The VCIDs of the environment's VCID_LIST in text order: one "0X..." or "(decimal)" value, or
    // a comma-separated list whose hexadecimal entries are taken (others skipped). Empty after a
    // red line when the variable is missing or a single value does not convert.
    virtual std::vector<DWORD> GetVCIDList();
    // "Compare Files": with "$(VCID_LIST)" in the arguments the base compare once per VCID (written
    // "%04X"), 1 only when every one matched; else the base compare.
    int CompareFiles(CString arguments) override;

    const std::map<CString, CString>& GetEnvironment() const { return m_environment; }

    // Chip registers (16-bit values).
    static constexpr DWORD kStatus = 0x60000000, kControl = 0x60000004, kInterruptEnable = 0x60000008, kInterrupt = 0x6000000C;
    static constexpr DWORD kContextID = 0x60000010, kRevisionLow = 0x60000018, kRevisionHigh = 0x6000001C;
    static constexpr DWORD kBridgeId = 0x110, kBypassVCID = 0x8002;
    // The DSP's codec status word and its error bits.
    static constexpr DWORD kCodecStatus = 0xFF204, kCodecErrorMask = 0x807F801F;
    static constexpr DWORD kVCIDLow = 0x60000020, kVCIDHigh = 0x60000024, kDDRStart = 0x6000003C, kContextRAM = 0x60000100;

private:
    // The package date of the installed drivers folder.
    DWORD InstalledPackageDate();
    bool FindVariable(const char* name, CString& value) const;
    static CString FormatPackageName(const CString& directory, const CString& entry);
    // Loads, places and registers every set's package; tested is the last set of the VCID.
    bool LoadTableSets(std::vector<EncodeTableSet>& sets, DWORD vcid, DWORD verbose, int& tested);
    bool RunImages(const CParamString& options, CZyvFile& package, DWORD vcid, const CString& image, DWORD frames, DWORD verbose, bool master);
    // Compares each received frame with the reference's last frame and saves the frames SAVE= and
    // -SAVE_ON_FAIL ask for; frame is the read-back buffer of one frame. 1 when all matched and saved.
    BOOL CompareFrames(const CFileBuffer& reference, std::vector<BYTE>& frame, const std::vector<DWORD>& starts, bool fields, DWORD frames,
                       DWORD receivedFrames, DWORD lines, DWORD verbose, DWORD saveCount, bool saveOnFail, const char* tagWord);
    BOOL EncodeAndCompare(const CString& params, const CZyvFile& package, CImage& image, DWORD lineDwords, BOOL sixteenBit, CFileBuffer& reference,
                          DWORD frames, DWORD verbose, BOOL master, const char* tagWord);
    // The variable's value; false after a red "Unable to find" line.
    bool LookUp(const char* name, CString& value);
    static CString ReplacePlaceholders(CString name, DWORD vcid, DWORD width, DWORD height, DWORD bits);
    enum class Fill { Diagonal, Grid, Solid, HorzWedge, VertWedge, Tiles, Random };
    // The class-independent part of the source builders; fill(kind, mode, y or seed, cb, cr) draws.
    BOOL BuildSourceImage(CKeyValue& entry, CImage& image, DWORD bits, DWORD vcid, int verbose,
                          const std::function<bool(Fill, DWORD, DWORD, DWORD, DWORD)>& fill);
    DWORD ModifyListImage();
    DWORD ModifyListOnFail();
    // "Video:Bypass": the announcement, the DIM= bounds, a horizontal wedge of that size through VideoBypass.
    DWORD VideoBypassCommand(const CString& arguments, long width, long height, DWORD frames, DWORD verbose);

    std::map<CString, CString> m_environment;
};
