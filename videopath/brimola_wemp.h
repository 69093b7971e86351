// CBrimolaWemp: plays GenFile frames from the main board's SDRAM towards the test board (Wemp) on DMA channel 4.
#pragma once

#include <memory>

#include "devlib/register_window.h"
#include "framework/param_string.h"
#include "framework/tree_map_tb.h"
#include "platform/cstring.h"
#include "platform/files.h"
#include "platform/types.h"

class CJastel;
class CWexalDMAChannel;

// A GenFile: a 4096-byte little-endian header, then the frames, each starting on a block boundary
// (frame n at (n x ceil(frame size / block size) + 1) x block size + frame offset).
class CGenFileReader {
public:
    static constexpr DWORD kHeaderBytes = 4096;

    CGenFileReader() = default;
    ~CGenFileReader() { Close(); }
    CGenFileReader(const CGenFileReader&) = delete;
    CGenFileReader& operator=(const CGenFileReader&) = delete;

    // Opens the file and reads its header. 0 when the file cannot be opened or is shorter than the
    // header (nothing is then kept). The frame buffer is made at the first ReadFrame, so a header
    // claiming an absurd frame size costs nothing until the caller has checked it.
    BOOL Open(const CString& name, UINT flags);
    // The header fields; 0 while no header is loaded.
    DWORD GetLineCountField() const { return Field32(44); }  // lines per frame: (value >> 2) - 1
    DWORD GetLineLength() const { return Field32(48); }      // in DWORDs
    DWORD GetFrameSize() const { return Field32(52); }       // in bytes
    ULONGLONG GetFrameCount() const;
    DWORD GetBlockSize() const { return Field32(176); }
    DWORD GetFrameOffset() const { return Field32(180); }
    // The file position of frame index (from 0); false when it does not fit a file offset.
    bool FramePosition(ULONGLONG index, ULONGLONG* position) const;
    // Frame index read into the frame buffer; null unless exactly the frame size was read.
    const BYTE* ReadFrame(ULONGLONG index);
    void Close();

private:
    DWORD Field32(DWORD offset) const;

    std::unique_ptr<BYTE[]> m_frame;
    std::unique_ptr<BYTE[]> m_header;
    std::unique_ptr<CFile> m_file;
    BOOL m_opened = FALSE;
};

// "Play GenFile=path [FRAMES=n] [BVI=n] [XSize=n] [ISize=n] [YSize=n] [VERBOSE=n]": loads the first
// FRAMES frames (all of them for 0) into SDRAM from 0x1000 on, one DCB of channel 4 each, DCBs 1 to
// FRAMES chained into a ring, and starts the channel. It neither waits for the channel nor checks
// what it sends. Run answers 1 started, 2 refused or failed, 3 stopped by the host while loading.
class CBrimolaWemp : public CWexalTreeMapTB {
public:
    static constexpr DWORD kChannel = 4;
    static constexpr DWORD kFirstFrameAddress = 0x1000;
    static constexpr long kMaxFrames = 15;

    CBrimolaWemp(CJastel* controller, CString name);

    DWORD Run(CString command) override;
    // Every command answers that no help is available.
    DWORD Help(CString command) override;

    virtual void SetParent(CWexalTreeMapTB* parent);
    virtual CWexalTreeMapTB* GetParent() { return m_parent; }
    virtual CJastel* GetJastel() { return m_controller; }

    // 1 once the channel was started; 0 after a red reason; 3 when the host's stop flag ended the
    // loading of the frames (the channel is not started). test is not read.
    virtual DWORD Play(int test, CParamString arguments, DWORD frames, DWORD verbosity);
    // The board's BoB (BAR0 + 0x80000), BCU (+ 0x70000), DMA controller (+ 0x58000) and PCI
    // (+ 0x40000) blocks and the device's object of the channel; FALSE unless all five were found
    // (without any BAR0 pointer all five are null, after a red "Unrecognized Channel").
    virtual BOOL GetChannelStructs(DWORD channel, RegisterPtr* bob, RegisterPtr* bcu, RegisterPtr* dmac,
                                   RegisterPtr* pci, CWexalDMAChannel** dma);

private:
    CWexalTreeMapTB* m_parent = nullptr;
    CJastel* m_controller;
};
