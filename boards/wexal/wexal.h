// CWexal: the main FPGA test both boards run: keyword dispatch, image transfers, memory commands and memory tests.
#pragma once

#include <cstdint>

#include "devlib/dma_channel.h"
#include "framework/str_list.h"
#include "framework/tree_map_tb.h"
#include "platform/cstring.h"
#include "platform/types.h"

class CImage;
class CPagedBuffer;
class WexalDCB;
namespace Packed::Image {
class YCbCr_8_2;
}
namespace Unpacked::Image {
class YCbCr_10_6;
}

// The test of the Wexal FPGA. Each board root owns one, registered as "CWexal", and hands it the
// text of a tree line between "<CWexal" and ">": one of seventeen keywords and its KEY=value
// arguments. The image transfers run over the test's image and resolution lists (the harness);
// the memory commands and tests reach the SDRAM of the selected board.
class CWexal : public CWexalTreeMapTB {
public:
    // Sub-test codes; kFramesFlag is added when FRAMES= was read.
    enum SubTest : DWORD {
        kImageList = 1,
        kResolutionList = 2,
        kModifyLists = 3,
        kSaveMemory = 4,
        kSaveBMP = 5,
        kDumpMemory = 6,
        kFlushDMA = 7,
        kCRC = 8,
        kAddressTest = 9,
        kMarchTest = 10,
        kRandomTest = 11,
        kDMAMemoryTest = 12,
        kDMAStressTest = 13,
        kClearMemory = 14,
        kHostPacked = 0x1200,
        kHostUnpacked = 0x2200,
        kVideoUtility8Bit = 0x3100,
        kFramesFlag = 0x20000,
    };
    static constexpr DWORD kMaxFrames = 15;
    static constexpr DWORD kChannelCount = 64;
    // Video utility client: VUTILIN reads SDRAM into the loop, VUTILOUT writes it back; both use
    // DCB slot 1 (or chains from it) and buffer control unit 2.
    static constexpr int kVutilIn = 38;
    static constexpr int kVutilOut = 57;
    static constexpr int kVutilBCU = 2;
    // BAR0 words the transfers touch.
    static constexpr DWORD kPostWriteRegister = 0x40004;  // 0xFF makes host writes reach SDRAM
    static constexpr DWORD kRamControlRegister = 0x4018;  // bit 0: SDRAM controller enable
    static constexpr DWORD kBoardIdRegister = 0x4000;
    static constexpr DWORD kChannelControlBase = 0x58000;
    // Expected PCI master rate of the DMA memory tests: 350 MiB/s.
    static constexpr DWORD kPCIMasterRate = 367001600;

    // Drives the video utility client: one SDRAM-to-SDRAM transfer, optionally repeating without
    // end, stopped and drained by WaitForCompletion (or the destructor).
    class VideoUtilityClient {
    public:
        // Line geometry of one pass: I + (Y - 1) x L = size / 4 DWORDs, LineLength L, Lines field
        // Y - 1. Sizes that give no whole line are refused (valid false).
        struct Geometry {
            DWORD lineLength = 0;
            DWORD lines = 0;  // Y, the line count; the DCB's Lines field holds lines - 1
            DWORD initial = 0;
            bool valid = false;
        };
        static Geometry CalcGeometry(DWORD size);
        // The deadline of one channel's drain: twice the size at 600 MiB/s, in milliseconds.
        static DWORD DrainTimeoutMs(DWORD size);

        explicit VideoUtilityClient(CWexal* owner);
        virtual ~VideoUtilityClient();
        VideoUtilityClient(const VideoUtilityClient&) = delete;
        VideoUtilityClient& operator=(const VideoUtilityClient&) = delete;

        // Starts moving size bytes from inAddress (VUTILIN's DCB) to outAddress (VUTILOUT's DCB);
        // loop 1 repeats the pass until WaitForCompletion. false, after a red line, when the size
        // gives no valid geometry or there is no board; nothing is started then.
        bool StartTransfer(DWORD inAddress, DWORD outAddress, DWORD size, BYTE loop);
        // Stops a repeating pass after the one in progress and waits for both channels to drain;
        // 1 when nothing was outstanding or both drained in time, 2 after a time-out report.
        DWORD WaitForCompletion();

        DWORD GetSize() const { return m_size; }
        BOOL IsBusy() const { return m_busy; }

    private:
        DWORD WaitForChannel(CWexalDMAChannel* channel, const char* label);

        CWexal* m_owner;
        RegisterPtr m_registers;
        DWORD m_size = 0;
        BOOL m_busy = FALSE;
    };

    explicit CWexal(CString name);
    ~CWexal() override;

    DWORD Run(CString command) override;
    DWORD Help(CString text) override;

    virtual DWORD GetClockValue();
    // Stores v (the memory clock calibration calls it before each clock setting) and answers it.
    virtual DWORD SetClockValue(DWORD v);
    virtual void SetParent(CWexalTreeMapTB* parent);
    virtual CWexalTreeMapTB* GetParent();
    // "Dump Memory" and "Clear Memory": 1 done, 0 after a red line.
    virtual int DumpMemory(CString arguments);
    virtual int ClearMemory(CString arguments);
    // The SDRAM tests: 1 passed, 2 failed, 3 stopped by the host.
    virtual DWORD Addr_Mem_Test(CString arguments);
    virtual DWORD March_Mem_Test(CString arguments);
    virtual DWORD RandomMemTest(CString arguments);
    // One pass of the random test: the MT19937 stream of seed (0 stands for 4357), complemented
    // when asked, written over [start, start + bytes) and checked against the regenerated stream;
    // 1 passed, 2 failed (failure lines and summary with verbose), 3 stopped by the host.
    DWORD RandomMemPass(DWORD start, DWORD bytes, DWORD seed, int verbose, int abortCount, BOOL complement);
    virtual DWORD DMA_MemoryTest(CString arguments);
    virtual DWORD DMA_MemoryStressTest(CString arguments);
    // Prints the FPGA temperature and keeps the peak; 1, or 2 when it is over the sensor's limit.
    virtual DWORD ReportTemperature();
    // Empties one DMA channel (0-63) of the selected board; 1, or 2 for another channel or no board.
    virtual DWORD FlushDMA(DWORD channel);
    virtual CStrListImages* GetImageList();
    virtual CStrListResolutions* GetResolutionList();

    // "Save Memory To File" and "CRC": 1 done, 0 after a red line; help 1 prints the syntax.
    int SaveMemoryToFile(int code, CString arguments, int verbose, BOOL help);
    int ComputeCRC(CString arguments);
    // "Save BMP Image": captures the frame a DCB describes into a BMP file; 1 done, 0 failed.
    DWORD SaveBMPImage(DWORD code, CString arguments, DWORD frames, DWORD verbose, BOOL help);

    // Transfer routines of the image harness: non-zero when the image passed.
    DWORD HostTransferPacked(DWORD code, CString arguments, CImage* image, DWORD frames, DWORD verbose);
    DWORD HostTransferUnpacked(DWORD code, CString arguments, CImage* image, DWORD frames, DWORD verbose);
    DWORD VideoUtilityClientImages(DWORD code, CString arguments, CImage* image, DWORD frames, DWORD verbose);
    using TransferRoutine = DWORD (CWexal::*)(DWORD, CString, CImage*, DWORD, DWORD);
    // Runs the transfer of the code over every image and resolution; 1 when every image passed, 3
    // when the host asked to stop (no further image runs). With hasDim the one resolution (x, y)
    // replaces the resolution list.
    DWORD RunImageHarness(DWORD code, const CString& command, const CString& arguments, bool hasDim, long x, long y,
                          DWORD frames, DWORD verbose);

    // TRUE when no sample differs (unpacked: in bits 15..6; packed: 8-bit byte or 2-bit field).
    BOOL CompareUnpackedImages(const Unpacked::Image::YCbCr_10_6& expected, const Unpacked::Image::YCbCr_10_6& read);
    BOOL ComparePackedImages(const Packed::Image::YCbCr_8_2& expected, const Packed::Image::YCbCr_8_2& read);

    // Waits for a PCI master transfer on the channel to show the expected DCB's tag with nothing
    // left to move; 1 done, 2 after the time-out reports, 3 when the host asked to stop while it
    // waited. The deadline follows size at rate, with a floor (kMinDmaDeadlineMs) so a healthy
    // short transfer is not timed out.
    DWORD WaitPCIMasterDma(DWORD channel, const WexalDCB* expected, DWORD address, DWORD size, DWORD rate,
                           DWORD verbose);
    static constexpr DWORD kMinDmaDeadlineMs = 2;
    static DWORD PCIMasterDeadlineMs(DWORD size, DWORD rate);
    // 1 when the buffer holds written over size bytes, else 2 after listing at most 20 words.
    DWORD CompareDmaBuffer(DWORD channel, DWORD wexalAddress, CPagedBuffer* buffer, const DWORD* written, DWORD size);

    // Memory-test helpers (the SDRAM tests' own file).
    // word 0 = seed, each next word = previous + increment; seed ends as the last word written.
    void FillSeedIncrement(DWORD* buffer, DWORD count, DWORD& seed, DWORD increment);
    // Flush, set the SDRAM start and PCI address, load as DCB 1 and trigger; 1, or 2 for a
    // channel outside the pair (write 16/17, read 12/13).
    DWORD StartWriteDMA(DWORD pciLow, DWORD pciHigh, DWORD channel, WexalDCB* dcb, DWORD sdramAddress);
    DWORD StartReadDMA(DWORD pciLow, DWORD pciHigh, DWORD channel, WexalDCB* dcb, DWORD sdramAddress);

    // The peak FPGA temperature and the cached sensor limit (degrees Celsius).
    int GetPeakTemperature() const { return m_peakTemperature; }
    int GetSensorHighLimit() const { return m_sensorHighLimit; }

    // The selected board as the transfers reach it; null / 0 without one.
    CWexalBoardDevice* GetBoardDevice();
    CWexalDMAChannel* GetDMAChannel(int channel);
    // BAR0 of the main board when selected, else of the codec board.
    RegisterPtr GetBar0();
    // The SDRAM size of the selected board in bytes (item count x unit of its SDRAM space).
    ULONGLONG GetSDRAMSize();
    // A pointer onto bytes of SDRAM at address to read from (the device library's window 1), so
    // the memory tests check whole blocks in place; null where the board offers none.
    const DWORD* GetSDRAMView(DWORD address, DWORD bytes);
    // Writes 0xFF to the post-write register and sleeps 1 ms, so host writes reach SDRAM.
    void PostWriteFlush();
    // Non-zero when the host asked the running test to stop.
    static bool IsStopRequested();
    // VERBOSE as Run starts it: 2 with -ENGINEERING and not -REGRESSION, else 1.
    int DefaultVerbose();

protected:
    // Pattern fill of one harness image line; see the source for the table.
    enum class FillResult { Filled, Unsupported, BadSeed, Refused };

    CWexalTreeMapTB* m_parent = nullptr;
    CStrListImages m_imageList;
    CStrListResolutions m_resolutionList;
    DWORD m_clockValue = 0;
    int m_peakTemperature = 0;
    int m_sensorHighLimit = 0;

private:
    DWORD RunListCommand(CStrList& list, const CString& arguments);
    DWORD ModifyLists();
    DWORD FlushDMACommand(const CString& arguments);
    void ReportNotRecognized(const CString& command);
    FillResult FillHarnessImage(DWORD code, const CString& line, CImage* drawing);
    void StoreImagePair(const CString& path, const CImage& expected, const CImage& read, int kind);
    DWORD HostTransfer(bool packed, CString arguments, CImage* image, DWORD frames, DWORD verbose);
};
