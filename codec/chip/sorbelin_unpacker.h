// CSorbelinUnpacker: the unpacker test of one codec chip: dispatch, chip set-up and status, round trips, memory test, saves.
#pragma once

#include <vector>

#include "codec/chip/sorbelin.h"
#include "codec/chip/sorbelin_memtests.h"
#include "images/image.h"
#include "images/unpacked_image.h"

// Runs on a chip programmed with the unpacker image (device id 0x140 on chip A, 0x150 on B).
// Packed frames go from the main FPGA's SDRAM over channel 28 (A) / 29 (B) through the chip and
// come back unpacked on 24 / 25 (video port) or 58 (expansion port, either chip) into SDRAM, where
// the host compares them with its own images. Keywords (case-sensitive prefixes of the command,
// the last that matches wins; all but the first four carry their double quotes):
//   "Show RevID", "RAM_Init", "Show Status", "Show Context Ram", "\"Test Wexal Memory\"" ADDRESS=,
//   "\"Video:Alpha\"", "\"Video:Image\"", "\"Video:Image:Mask\"" and their "Expansion:" twins (DIM=,
//   FRAMES=, FILE= for the alpha), "\"Video:Mixed\"" / "\"Expansion:Mixed\"" (the image-pattern
//   harness), "\"Video:Bypass\"" / "\"Expansion:Bypass\"" SIZE=, "\"Save Image\"", "\"Save Alpha\"",
//   "\"Unpack Image SW\"", and the memory self-tests. Results: 1 passed, 0 failed, 2 stopped (the
//   loops over the image list and the memory tests' repetitions look at the host's stop request).
class CSorbelinUnpacker : public CSorbelin {
public:
    // Chip registers (the chip's address space, through the bridge).
    static constexpr DWORD kRevision = 0x6C000000, kDdrControl = 0x6C000004, kCrcReset = 0x6C00000C;
    static constexpr DWORD kBist64 = 0x6C000010, kFlush = 0x6C000014, kFifo1 = 0x6C000018, kFifo2 = 0x6C00001C;
    static constexpr DWORD kBist32 = 0x6C000020, kCrcVideoIn = 0x6C000028, kCrcVideoOut = 0x6C00002C, kCrcExpansionOut = 0x6C000030;
    static constexpr DWORD kContextRam = 0x64000000;
    // Test codes of the dispatcher.
    static constexpr DWORD kVideoPort = 0x100, kExpansionPort = 0x200, kMask = 0x8000, kFramesGiven = 0x10000;
    // SDRAM byte addresses of a round trip: results from kResultBase, sources from kSourceBase
    // unless the results reach it.
    static constexpr DWORD kResultBase = 0x1000, kSourceBase = 0x800000;
    static constexpr int kMaxPrinted = 20, kMaxErrorsShown = 80;

    CSorbelinUnpacker(CNuxaDSP* dsp, CDremolun* bridge, CJastel* controller, CString name);

    DWORD GetNextRunStage(DWORD previous) override;
    DWORD RunTest(CString command) override;
    void HelpTest(CString name) override;
    // Starts the 32-bit DDR initialisation (programmed revision 0x604 and up) and then the 64-bit
    // one, waiting up to 100 reads for bit 17 and bit 16 of 0x6C000004: 1 when every wait ended.
    BOOL RAMInit(DWORD verbose) override;
    // The last letter of the name after trailing blanks: A 1, B 2, ...; 0 for a non-letter.
    int GetChipFromName(DWORD verbose) override;
    // Appends a line for every resolution whose unpacked image or alpha the DCB moves: 1 when one matched.
    BOOL CheckTransferSize(DWORD channel, const DWORD dcb[8], CString& report) override;

    // Bridge id and revisions, the chip's device id, then the 64-bit DDR init: 1 when all are right.
    BOOL InitRegs(DWORD verbose);
    // 0x140 for chip A; for chip B 0x150, or 0x140 on a board whose product data "ZA" reads below 2.
    DWORD GetExpectedDeviceId();
    // Writes context entry index: 1, or 0 and nothing written for width or height of 4096 and up,
    // height below 4, or index above 15.
    BOOL SetContextRamEntry(DWORD index, DWORD width, DWORD height, WORD inFormat, WORD outFormat);
    BOOL WaitDDRInit64(DWORD verbose);
    // FIFO and self-test status, and the port CRCs from revision 0x60B; nothing at verbose 1.
    void ShowStatus(DWORD verbose);
    void ShowContextRam();
    // Forgets the cached port CRCs and restarts the chip's CRC accumulators.
    void ResetCRCs();
    // The cached CRCs of video in, video out and expansion out; each that is 0 is read afresh.
    void GetCRCs(DWORD& videoIn, DWORD& videoOut, DWORD& expansionOut);
    // Clears the DCB behind dcb (8 words) and strobes its channel's control register.
    void ClearDCB(RegisterPtr dcb, RegisterRef control);
    // Splits a file of frames unpacked 4:2:2 images into packed image files FILE.1, FILE.2, ...:
    // 1 done; 0 when the file is missing or not exactly frames frames long, or a read comes short.
    BOOL UnpackImageSW(const CString& file, DWORD width, DWORD height, DWORD frames);
    // Fetches an unpacked image from ADDRESS=0x... or, with ADDRESS=@DCB(src, dst, n), the packed
    // and the unpacked image of DCB n of both channels, into files: 1 saved, 0 refused or failed.
    DWORD SaveImage(const CString& args, const CString& file, DWORD width, DWORD height);
    DWORD SaveAlpha(const CString& args, const CString& file, DWORD width, DWORD height);

    // The main FPGA's SDRAM alone: every image-list pattern written at address and read back.
    DWORD TestWexalMemory(DWORD address, long width, long height, int verbose);
    // Every sample's bits 15..6 compared: 1 equal, 0 different (after the report) or of another size.
    BOOL CompareUnpackedImages(const CImage& expected, const CImage& read, int verbose);

    // Round trips: frames copies of the source through the chip and back, each compared.
    DWORD VideoImageTest(DWORD code, CString args, Unpacked::Image::YCbCr_10_6* source, int frames, int verbose);
    DWORD VideoAlphaTest(DWORD code, CString args, Unpacked::Alpha::YCbCr_10_6* source, int frames, int verbose);
    // A sequence of picture (I) and alpha (A) frames in one chain (SEQUENCE=, FORCEUPDATE=,
    // FORCESTALL=, NOCRC), each compared by its kind, then the frame CRC report.
    DWORD VideoMixedTest(DWORD code, CString args, Unpacked::Alpha::YCbCr_10_6* alpha, Unpacked::Image::YCbCr_10_6* image,
                         int frames, int verbose);
    // A RAMP or RANDOM DATA buffer of size bytes through the chip's pass-through, twice.
    DWORD BypassBufferTest(DWORD code, CString args, DWORD size, int frames, int verbose);
    // With -ENGINEERING: the chip's port CRCs beside those computed over frames copies of each
    // image given; informs only.
    void FrameCRCReport(const CImage* srcPacked, const CImage* dstUnpacked, const CImage* rtvUnpacked, DWORD frames);

private:
    struct Options;
    struct Channels;
    DWORD SingleResolution(DWORD code, const CString& command, const CString& arguments, const Options& options);
    // The single-resolution loops' fill of the picture given by a pattern entry of the image list:
    // 1, or 0 after the red line of an unknown pattern or an unreadable seed.
    int FillByEntry(const CString& entry, Unpacked::Image::YCbCr_10_6* image, Unpacked::Alpha::YCbCr_10_6* alpha);
    DWORD RunSave(bool alpha, const CString& args, const CString& file, DWORD width, DWORD height);
    // The chip's channels and register window for the code's port; false after the red line.
    bool ChooseChannels(DWORD code, bool printTitle, Channels& channels);
    // Where the results and the sources of a run lie; false after a red line when they do not fit the SDRAM.
    bool PlanLayout(DWORD resultBytes, DWORD sourceBytes, DWORD& resultBase, DWORD& sourceBase);
    void Cleanup(const Channels& channels);
    DWORD VideoFrames(DWORD code, const CString& args, Unpacked::Image::YCbCr_10_6* image, Unpacked::Alpha::YCbCr_10_6* alpha, int frames,
                      int verbose);
    // Frame compares: errors and printed blocks accumulate across the frames of a run.
    void CompareImageFrame(const BYTE* expected, const BYTE* read, DWORD bytes, DWORD at, DWORD sourceAt, DWORD pad, DWORD pixels,
                           DWORD& errors, DWORD& shown);
    void CompareAlphaFrame(const BYTE* expected, const BYTE* read, DWORD bytes, DWORD at, DWORD sourceAt, const BYTE* packed, DWORD pixels,
                           DWORD& errors, DWORD& shown);
    // A failing frame's packed source and read-back as a two-image file in the current folder.
    void DumpFrame(const char* format, int frame, const CImage& packed, const BYTE* readBack, size_t readBytes, DWORD width, DWORD height);
    // A result frame of bytes at address: read in place where the memory reads plainly, else read
    // into copy as ReadMemory reads it (zeros where a read comes short).
    const BYTE* ResultFrame(DWORD address, DWORD bytes, std::vector<BYTE>& copy);
    // Whether FrameCRCReport speaks: engineering runs with the bridge there.
    bool ReportsFrameCRCs();
    // The black Expected / Read lines of a pixel pair: each sample's top 8 bits and bits 7..6.
    void ReportCompare(const DWORD expected[2], const DWORD read[2]);

    CSorbelinMemTests m_memTests;
    DWORD m_crc[3] = {0, 0, 0};  // video in, video out, expansion out; 0: not read since the reset
    DWORD m_contextAddress[16];
};
