// CSorbelinPacker: the pixel packer of one codec chip: dispatcher, chip set-up, video round trips, CRCs, displays and image saves.
#pragma once

#include "codec/chip/sorbelin.h"
#include "codec/chip/sorbelin_memtests.h"
#include "images/packed_image.h"
#include "images/unpacked_image.h"

// The packer test of one codec chip (the name's last letter picks chip A or B). Keywords are
// compared case-sensitively with the start of the command, the last match winning; the quoted
// ones need their quotes. DIM=, FRAMES= and FILE= are read as written, VERBOSE= in any case.
// A valid FRAMES= (1..15) is taken only by the video keywords; with any other keyword the
// command is not recognised.
class CSorbelinPacker : public CSorbelin {
public:
    // Chip registers (reached through the host-port bridge).
    static constexpr DWORD kChipId = 0x6C000000, kDDRControl = 0x6C000004, kDCMControl = 0x6C00000C;
    static constexpr DWORD kMemBist64 = 0x6C000010, kFlush = 0x6C000014, kFifoStatus1 = 0x6C000018, kFifoStatus2 = 0x6C00001C;
    static constexpr DWORD kCrcIn = 0x6C000028, kCrcOut = 0x6C00002C, kContextRam = 0x64000000;
    static constexpr DWORD kBridgeId = 0x110, kFramesFlag = 0x20000;
    // Context RAM input formats.
    static constexpr DWORD kFormatImage = 0x10, kFormatAlpha = 0x11;
    // The first revision whose images keep the video port CRCs.
    static constexpr DWORD kCrcRevision = 0x424;

    CSorbelinPacker(CNuxaDSP* dsp, CDremolun* bridge, CJastel* controller, CString name);

    DWORD GetNextRunStage(DWORD previous) override;
    // 1 passed, 0 failed, refused or not recognised.
    DWORD RunTest(CString command) override;
    // Whether the DCB moves a packed image or alpha of a common resolution: a line for each match,
    // 0 after a red line when none matches.
    BOOL CheckTransferSize(DWORD channel, const DWORD dcb[8], CString& report) override;
    // The packer has no help pages: a line naming the topic.
    void HelpTest(CString name) override;
    // Starts the DDR initialisation and waits up to 100 ms for bit 16: 1, or 0 after a red line.
    BOOL RAMInit(DWORD verbose) override;
    // The name's last letter, upper-cased, minus 0x40 (A 1, B 2); 0 for a non-letter.
    int GetChipFromName(DWORD verbose) override;

    // "Save Image" / "Save Alpha": ADDRESS=0x... saves the packed picture there; ADDRESS=@DCB(s, d, n)
    // saves the packed picture at DCB n of channel d and the unpacked one at DCB n of channel s.
    // FORMAT=0 (default) or 1 (any value above). 1 once read and saved; 0 after a red line.
    virtual DWORD SaveImage(const CString& rest, const CString& file, long width, long height);
    virtual DWORD SaveAlpha(const CString& rest, const CString& file, long width, long height);

    // The chip identification register.
    virtual DWORD GetRevisionID();
    // Clears the cached port CRCs and pulses the chip's CRC reset (bit 8 of the DCM control).
    virtual void ResetVideoPortCRCs();
    // The port CRCs, each read once after a reset and then kept (0 counts as not read yet).
    virtual void GetVideoPortCRCs(DWORD* in, DWORD* out);
    // In engineering mode only: the chip's port CRCs beside the same CRCs computed over frames
    // copies of each given image, green when equal, red otherwise. Never changes a result.
    virtual void CheckChipCRCs(const CImage* source, const CImage* expected, const CImage* readBack, DWORD frames);
    // Bridge identity and revisions, the chip's device id, then WaitDDRInitDone; 0 after a red
    // line at the first check that fails.
    virtual BOOL InitRegs(DWORD verbose);
    virtual BOOL WaitDDRInitDone(DWORD verbose);
    // Writes context entry context: (height << 16 | width, high << 16 | low). 0 without writing for
    // width or height of 4096 or more, or a height below 3.
    virtual BOOL SetContext(DWORD context, DWORD width, DWORD height, DWORD low, DWORD high);
    // 0x120 for chip A; 0x130 for B, or 0x120 on a board whose product data "ZA" is below 2.
    virtual DWORD GetExpectedDeviceID();
    // Round trips through the packer: frames copies of the source over the to-chip channel, the
    // packed frames back and compared with the software packing. 1 passed, 0 failed.
    virtual BOOL VideoImage(DWORD code, CString rest, Unpacked::Image::YCbCr_10_6& source, DWORD frames, DWORD verbose);
    virtual BOOL VideoAlpha(DWORD code, CString rest, Unpacked::Alpha::YCbCr_10_6& source, DWORD frames, DWORD verbose);
    // A chain of image and alpha frames (SEQUENCE=I:A..., default I, I, A, ...) through the two
    // contexts in one run, or frame by frame with FORCEUPDATE=1; FORCESTALL=1 or 2 first runs a
    // silent pass with a changed first line; -NOCRC leaves out the chip CRC check that follows
    // errors. 1 when every frame compared equal and nothing timed out.
    virtual BOOL VideoMixed(DWORD code, CString rest, const Unpacked::Alpha::YCbCr_10_6& alpha, const Unpacked::Image::YCbCr_10_6& image,
                            DWORD frames, DWORD verbose);
    // The frame kinds of SEQUENCE= ("I" 1, "A" 2, separated by ":", a final "..." repeating them)
    // into kinds for frames frames. 0 after a red line for a bad token, a repeat without tokens
    // or a count other than frames.
    BOOL ReadSequence(const CString& value, DWORD frames, DWORD kinds[16]);
    // The chip's packer flush: 0x10000 to the flush register until bit 16 reads clear (10 tries).
    BOOL FlushPacker();
    // Packer FIFO and MemBist status (the MemBist register clears on read), and from revision
    // 0x424 on the cached port CRCs.
    virtual void ShowStatus();
    // The sixteen context entries decoded.
    virtual void ShowContextRam();

    const DWORD* GetContextRamTable() const { return m_contextRam; }

private:
    struct Trip;
    // The chip's announcement, its registers and context 0 for the source's size in format; false
    // after the red line that says why.
    bool PrepareTrip(Trip& trip, const CImage& source, DWORD format, DWORD verbose);
    BOOL RoundTrip(Trip& trip, DWORD frames, DWORD verbose);
    DWORD Save(bool image, const CString& rest, const CString& file, long width, long height);
    // Whether the bytes bytes of SDRAM at start hold exactly want, compared where they lie; false
    // also when the memory gives no view to read in place (the frame is then read and counted).
    bool MatchesInPlace(DWORD start, const BYTE* want, DWORD bytes);

    CSorbelinMemTests m_memTests;
    DWORD m_crcIn = 0, m_crcOut = 0;
    DWORD m_contextRam[16] = {};
};
