// CSorbelinDiag: the low-level diagnostics of one codec chip: EMIF FIFOs and RAM tables, SDRAM windows, EMIF registers.
#pragma once

#include "codec/chip/sorbelin.h"
#include "devlib/dma_channel.h"

// Runs on a chip programmed with the diagnostics image. Keywords are compared case-sensitively with
// the start of the command, so options such as VERBOSE= may follow them; the first match in table
// order runs. Every access goes through the bridge's fixed data port of the chip's DSP block.
class CSorbelinDiag : public CSorbelin {
public:
    static constexpr DWORD kFifoA = 0x90000000, kFifoB = 0x64000000;
    static constexpr DWORD kRamTableA = 0xB0000000, kRamTableB = 0x6C000000;
    static constexpr DWORD kDdrStart32 = 0x60000010, kDdrStart64 = 0x60000020, kDdrStatus = 0x6C000112;
    static constexpr int kMaxByteErrorsShown = 80, kMaxRamTableLines = 20;

    CSorbelinDiag(CNuxaDSP* dsp, CDremolun* bridge, CJastel* controller, CString name);

    DWORD GetNextRunStage(DWORD previous) override;
    // 1 passed, 0 failed.
    DWORD RunTest(CString command) override;
    void HelpTest(CString name) override;
    // Starts the 32-bit and then the 64-bit DDR initialisation and waits for each done bit (100
    // reads 1 ms apart): 1 when both came, else 0 after the time-out line of each that did not.
    BOOL RAMInit(DWORD verbose) override;
    // The code of the name's last letter after trailing blanks minus 0x40 (A 1, B 2), 0 for a non-letter.
    int GetChipFromName(DWORD verbose) override;

    // The FIFO test: 25 16-bit words 24 .. 0 pushed and popped at address; 1 when all agree.
    DWORD FifoTest(DWORD address, DWORD verbose);
    // The RAM table test: the first size/4 pattern words written at base and read back; 0 at once
    // for a size the table does not take (base 0xB0000000: a multiple of 8, 0x6C000000: of 4).
    DWORD RamTableTest(DWORD base, DWORD size);
    // The SDRAM window test: mode 1 block, 2 address; width 32 or 64.
    DWORD SdramTest(DWORD size, DWORD width, DWORD mode, DWORD verbose);
    // The VelkoDrun tests. Inbound: a 486-line frame of pattern words streamed from SDRAM by
    // channel 28 / 29 and read back at the chip's port, each read compared whole with the two
    // stream halves it carries: 1 when every word agreed. Outbound (always 0: it shows what landed
    // and compares nothing): 256 pattern words fed into the port and streamed by channel 24 / 25
    // into SDRAM. Any other channel: a red line, nothing started.
    DWORD VelkoDrunInbound(int channel);
    DWORD VelkoDrunOutbound(int channel);
    void SetPatternRange(DWORD start, DWORD end) {
        m_patternStart = start;
        m_patternEnd = end;
    }

private:
    // The shared pattern when it holds at least words DWORDs; else a red line and null.
    const std::vector<DWORD>* Pattern(DWORD words, const char* test);
    // Clock, frame and DCB set-up shared by both VelkoDrun tests; false after the red line.
    bool VelkoDrunStart(std::vector<DWORD>& frame, const char* allocationMessage);
    void SetUpVelkoDrunChannel(CWexalDMAChannel* channel, bool inbound);
    DWORD m_patternStart = 0, m_patternEnd = 4096;
};
