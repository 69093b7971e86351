// The tree-map base's board memory services: SDRAM clear, chunked host<->SDRAM transfers, DMA frame reports.
#include <algorithm>
#include <memory>
#include <new>

#include "devlib/devices.h"
#include "devlib/dma_channel.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/wexal_dcb.h"
#include "framework/result_screen.h"
#include "framework/tree_map_tb.h"
#include "platform/clock.h"

namespace {

// Writing 0xFF here makes the FPGA push what it holds of earlier writes out to SDRAM.
constexpr DWORD kSdramFlushRegister = 0x40004;
constexpr int kDcbsPerChannel = 16;

// Counts print as the 32-bit signed values they were.
long AsLong(DWORD value) { return static_cast<long>(static_cast<LONG>(value)); }

enum class Direction { kSend, kRetrieve };

// Moves size bytes in whole chunks and a trailer; prints the first short piece and answers false.
bool Transfer(CWexalTreeMapTB& test, CDevAddrSpace& space, Direction direction, BYTE* host, DWORD address,
              DWORD size) {
    const DWORD chunk = CWexalTreeMapTB::kTransferChunk;
    const DWORD chunks = size / chunk;
    auto move = [&](DWORD offset, DWORD count, const char* piece) {
        const int moved = direction == Direction::kSend ? space.Set(host + offset, address + offset, static_cast<int>(count))
                                                        : space.Get(host + offset, address + offset, static_cast<int>(count));
        if (moved == static_cast<int>(count)) return true;
        CString line;
        line.Format("Unable to %s image data (%s) Expected[%ld bytes]  Transferred[%ld bytes]\n",
                    direction == Direction::kSend ? "send" : "retrieve", piece, AsLong(count), AsLong(static_cast<DWORD>(moved)));
        test.PrintColor(line, kColorRed);
        return false;
    };
    for (DWORD k = 0; k < chunks; ++k)
        if (!move(k * chunk, chunk, "chunk")) return false;
    return move(chunks * chunk, size % chunk, "trailer");
}

}  // namespace

bool CWexalTreeMapTB::ClearSDRAM(DWORD address, DWORD size, DWORD) {
    CDevAddrSpace* sdram = m_boardIF.GetSDRAMSpace();
    if (!sdram) {
        PrintColor("ERROR:  pWexalSDRAM = NULL in CWexalTreeMapTB::ClearSDRAM()\n", kColorRed);
        return false;
    }
    // One chunk of zeros, written as often as the range needs.
    const DWORD bufferBytes = std::max<DWORD>(1, std::min(size, kTransferChunk));
    std::unique_ptr<BYTE[]> zeros(new (std::nothrow) BYTE[bufferBytes]());
    if (!zeros) return false;
    for (DWORD done = 0; done < size;) {
        const DWORD count = std::min(size - done, kTransferChunk);
        const int moved = sdram->Set(zeros.get(), address + done, static_cast<int>(count));
        if (moved != static_cast<int>(count)) {
            CString line;
            line.Format("ERROR:  Unable to clear SDRAM at [0x%08X] Expected[%ld bytes]  Transferred[%ld bytes]\n",
                        address + done, AsLong(count), AsLong(static_cast<DWORD>(moved)));
            PrintColor(line, kColorRed);
            return false;
        }
        done += count;
    }
    RegisterPtr registers = m_boardIF.GetMainBoardRegisters();
    if (!registers) registers = m_boardIF.GetCodecBoardRegisters();
    if (registers) registers[kSdramFlushRegister / 4] = 0xFF;
    Sleep(1);
    return true;
}

bool CWexalTreeMapTB::WriteMemory(const void* buffer, const DWORD& address, DWORD size, CDevAddrSpace* space) {
    const DWORD at = address;
    if (!space) space = m_boardIF.GetSDRAMSpace();
    if (!space) {
        PrintColor("ERROR:  pWexalSDRAM = NULL in CWexalTreeMapTB::WriteMemory()\n", kColorRed);
        return false;
    }
    if (!buffer && size) {
        PrintColor("ERROR:  No host buffer in CWexalTreeMapTB::WriteMemory()\n", kColorRed);
        return false;
    }
    // The space only reads from the buffer.
    BYTE* host = const_cast<BYTE*>(static_cast<const BYTE*>(buffer));
    return Transfer(*this, *space, Direction::kSend, host, at, size);
}

bool CWexalTreeMapTB::ReadMemory(const DWORD& address, void* buffer, DWORD size, CDevAddrSpace* space) {
    const DWORD at = address;
    if (!space) space = m_boardIF.GetSDRAMSpace();
    if (!space) {
        PrintColor("ERROR:  pWexalSDRAM = NULL in CWexalTreeMapTB::ReadMemory()", kColorRed);
        return false;
    }
    if (!buffer && size) {
        PrintColor("ERROR:  No host buffer in CWexalTreeMapTB::ReadMemory()\n", kColorRed);
        return false;
    }
    return Transfer(*this, *space, Direction::kRetrieve, static_cast<BYTE*>(buffer), at, size);
}

void CWexalTreeMapTB::ScanDescriptors(DWORD channel, DWORD first, DWORD* expected, DWORD* received, DWORD* lines,
                                      DWORD* bytes) {
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    CWexalDMAChannel* dma = board && channel < 64 ? board->GetDMAChannel(static_cast<int>(channel)) : nullptr;
    if (!dma) return;
    // A snapshot: the engine keeps running while the blocks are read.
    WexalDCB dcbs[kDcbsPerChannel];
    for (int n = 0; n < kDcbsPerChannel; ++n) dma->GetDCB(n, &dcbs[n]);

    const RegisterPtr codec = m_boardIF.GetCodecBoardRegisters();
    const RegisterPtr main = m_boardIF.GetMainBoardRegisters();
    // A block takes part while its buffer control unit runs.
    auto live = [&](DWORD n) {
        const DWORD unit = (BufferControlUnit::kBase + 16 * dcbs[n].GetOpField().GetBCUPointer()) / 4;
        if (codec && !BufferControlUnit(codec + unit).GetGo()) return false;
        if (main && !BufferControlUnit(main + unit).GetGo()) return false;
        return true;
    };
    // Next holds six bits, but a channel has only 16 blocks; a loop is cut after 16 steps.
    auto walking = [&](DWORD n, int step) { return n != 0 && n < kDcbsPerChannel && step < kDcbsPerChannel && live(n); };

    int step = 0;
    for (DWORD n = first; walking(n, step); n = dcbs[n].GetOpField().GetNext(), ++step)
        if (expected) ++*expected;

    const WexalDCB& context = dcbs[0];
    const DWORD contextTag = context.GetPortField().GetTag();
    step = 0;
    for (DWORD n = first; walking(n, step); n = dcbs[n].GetOpField().GetNext(), ++step) {
        const WexalDCB& dcb = dcbs[n];
        if (dcb.GetPortField().GetTag() != contextTag) {
            if (received) ++*received;
            continue;
        }
        // The block in transfer: the context counts down what is left of it.
        if (context.GetInitialLineLength() == 0 && context.GetLines() == 0) {
            if (received) ++*received;
            return;
        }
        DWORD lineCount = dcb.GetLines() - context.GetLines() + 1;
        DWORD x = dcb.GetInitialLineLength();
        if (lineCount > 0 && x < context.GetInitialLineLength()) {
            x += dcb.GetLineLength();
            --lineCount;
        }
        if (lines) *lines = lineCount;
        if (bytes) *bytes = 4 * (x - context.GetInitialLineLength());
        return;
    }
}

void CWexalTreeMapTB::ReportFrames(const CString& title, DWORD channel, DWORD first) {
    DWORD expected = 0, received = 0, lines = 0, bytes = 0;
    ScanDescriptors(channel, first, &expected, &received, &lines, &bytes);
    CString text;
    text.Format("\n%s\nTotal Frames expected[%d]\nTotal Frames received[%d]\nAdditional Lines received[%d]\n"
                "Additional Bytes received[%d]\n\n",
                title.c_str(), static_cast<int>(expected), static_cast<int>(received), static_cast<int>(lines),
                static_cast<int>(bytes));
    PrintColor(text, kColorBlack);
}
