// The port's DMA diagnostics' shared pieces: board choice and identity, word compares, DCBs and BCUs.
#include "diagport/port_dma.h"

#include "devlib/dma_channel.h"
#include "diagport/port_colours.h"
#include "diagport/scr_port.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/paged_memory.h"
#include "framework/hw/wexal_dcb.h"

namespace portdma {

namespace {
constexpr DWORD kBoardId = 0x4000;
constexpr DWORD kMainId = 0x52, kCodecId = 0x53;
}  // namespace

bool PrintBoard(SCRport& port, const RegisterPtr& bar0) {
    const DWORD id = bar0[kBoardId / 4] & 0xFF;
    if (id == kMainId) {
        port.PrintColor("Testing Brimola...\n", kColorBlack);
    } else if (id == kCodecId) {
        port.PrintColor("Testing Nuxa...\n", kColorBlack);
    } else {
        port.PrintColor(FormatString("Unknown board, ID= 0x%X\n", id), kColorDarkRed);
        return false;
    }
    return true;
}

void PrintDump(SCRport& port, DWORD offset, const DWORD* words) {
    port.PrintColor(FormatString("0x%08X: 0x%08X 0x%08X 0x%08X 0x%08X\n", offset, words[0], words[1], words[2], words[3]),
                    kGreen);
}

bool CompareWords(SCRport& port, const DWORD* expected, const DWORD* read, DWORD count, DWORD verbose, DWORD dotEvery,
                  int& errors) {
    const int before = errors;
    for (DWORD i = 0; i < count; ++i) {
        const DWORD want = expected ? expected[i] : 0;
        if (want != read[i]) {
            ++errors;
            if (verbose >= 2) port.PrintColor(FormatString("Expected: 0x%X, Read: 0x%X\n", want, read[i]), kColorDarkRed);
        }
        if (dotEvery && i % dotEvery == 0 && verbose < 2) port.PrintColor(".", errors ? kColorDarkRed : kGreen);
        if (i % 4 == 0 && verbose >= 2) PrintDump(port, 4 * i, read + i);
    }
    return errors == before;
}

void LoadDcb(CWexalDMAChannel& channel, int n, const DcbSetting& s) {
    WexalDCB dcb;
    channel.GetDCB(n, &dcb);
    WexalDCBOp& op = dcb.GetOpField();
    op.SetNext(s.next);
    op.SetForceBCU(0);
    op.SetRepeatLine(0);
    op.SetPack(WEXAL_DCBPACK_NONE);
    op.SetIntEn(0);
    op.SetWaitDMA(0);
    op.Set16bit(s.is16bit);
    op.SetInputFormat(s.inputFormat);
    op.SetBCUIncrement(0);
    op.SetBCUSequence(0);
    op.SetBCUPointer(s.bcu);
    dcb.GetPortField().SetContextID(0);
    dcb.GetPortField().SetSecondaryControl(0);
    dcb.GetPortField().SetTag(s.tag);
    dcb.SetStartAddress(s.sdramAddress);
    dcb.SetLines(s.lines);
    dcb.SetInitialLineLength(s.initialLength);
    dcb.SetLineLength(s.lineLength);
    dcb.SetPad(0);
    if (s.pageTable)
        dcb.GetPCIAddressField().Set(static_cast<DWORD>(s.pageTable->GetBusAddress()),
                                     static_cast<DWORD>(s.pageTable->GetBusAddress() >> 32));
    channel.SetDCB(n, &dcb);
}

void SetRunningBcu(const CWexalBoardIF& board, int n) {
    BufferControlUnit bcu(board, n);
    bcu.SetLinesPerSlice(2);
    bcu.SetBufferCapacity(3);
    bcu.SetGo(1);
    bcu.SetLinesWrittenToNextSlice(2);
    bcu.SetLinesReadFromNextSlice(2);
}

}  // namespace portdma
