// The loopback functional DMA test: one block out of SDRAM on channel 4, back through the cable or the Nulk into a BVI channel, compared.
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "breakout/external_io.h"
#include "framework/arg_number.h"
#include "framework/hw/jastel.h"
#include "devlib/addr_space.h"
#include "devlib/devices.h"
#include "devlib/dma_channel.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/dma_report.h"
#include "framework/hw/wexal_dcb.h"
#include "framework/param_string.h"
#include "platform/clock.h"

namespace {

constexpr COLORREF kGreen = 0x00A000;
constexpr DWORD kMask = 0xFFC0FFC0;  // the ten value bits of each 16-bit sample
constexpr DWORD kDefaultSize = 0x4000;
// One DCB line is 256 DWORDs, so the block is a whole number of 1 KiB lines; the largest is 16 MiB.
constexpr DWORD kLineBytes = 1024, kMaxSize = 0x1000000;
constexpr DWORD kBviSelect = 0x80100, kErrorStatus = 0x58110, kCacheFlush = 0x40004;
constexpr DWORD kSyncError = 1u << 24;
constexpr int kOutChannel = 4;
constexpr int kMaxPrinted = 20;

// A 0x address or size; false after the red line for one past 32 bits.
bool ReadHex(CExternalIO& test, const CParamString& params, const char* key, DWORD& value) {
    const ArgNumber read = ReadArgValue(params, key, platform::NumberForm::Prefixed, platform::kUnsigned32Field);
    if (read.state == ArgRead::Refused) test.PrintColor(read.refusal, CExternalIO::kRed);
    if (read.state == ArgRead::Read) value = static_cast<DWORD>(read.value);
    return read.state != ArgRead::Refused;
}

}  // namespace

bool CExternalIO::ConnectorPresent() {
    CJastel* controller = GetJastel();
    const RegisterPtr registers = controller ? controller->GetControllerRegisters() : RegisterPtr();
    return registers && (registers[0x10 / 4].Read() & 1) != 0;
}

RegisterPtr CExternalIO::Bar0() {
    RegisterPtr bar0 = m_boardIF.GetMainBoardRegisters();
    return bar0 ? bar0 : m_boardIF.GetCodecBoardRegisters();
}

int CExternalIO::WriteReadCompareBody(DWORD address, const DWORD* write, DWORD* read, DWORD bytes, bool flush) {
    if (bytes == 0) {
        PrintColor("dwDataSize is NULL\n", kRed);
        return 0;
    }
    if (!write) {
        PrintColor("pdwaWr is NULL\n", kRed);
        return 0;
    }
    if (!read) {
        PrintColor("pdwaRd is NULL\n", kRed);
        return 0;
    }
    const RegisterPtr bar0 = Bar0();
    if (flush && !bar0) {
        PrintColor("m_pBrimola and m_pNuxa are NULL\n", kRed);
        return 0;
    }
    // A block that did not get there or back cannot be compared.
    if (!WriteMemory(write, address, bytes)) return 0;
    if (flush) {
        bar0[kCacheFlush / 4] = 0xFF;
        Sleep(10);
    }
    if (!ReadMemory(address, read, bytes)) return 0;
    if (flush) {
        bar0[kCacheFlush / 4] = 0xFF;
        Sleep(10);
    }
    int result = 1, printed = 0;
    for (DWORD i = 0; i < bytes / 4; ++i) {
        if (write[i] == read[i]) continue;
        result = 0;
        if (printed >= kMaxPrinted) continue;
        ++printed;
        PrintColorFormat(kRed, "Offset[0x%08X]  Wrote[0x%08X]  Read[0x%08X]\n", i, write[i], read[i]);
        if (i % 4 == 3) PrintColor("\n", kBlack);
    }
    return result;
}

int CExternalIO::LoopbackFunctionalBody(const CString& text, int verbose, const std::function<int(BYTE)>& switchLoop) {
    const CParamString params(text);
    const ArgNumber bviRead = ReadArgValue(params, "BVI", platform::NumberForm::Decimal, platform::kSigned32Field);
    if (bviRead.state == ArgRead::Refused) PrintColor(bviRead.refusal, kRed);
    const int bvi = bviRead.state == ArgRead::Read ? static_cast<int>(bviRead.value) : 0;
    DWORD size = 0, source = 0, destination = 0;
    if (bviRead.state == ArgRead::Refused || !ReadHex(*this, params, "DATASIZE", size) ||
        !ReadHex(*this, params, "SRCADDR", source) || !ReadHex(*this, params, "DSTADDR", destination))
        return 0;
    if (size == 0) size = kDefaultSize;
    size &= ~3u;
    if (size == 0) {
        PrintColor("Data size cannot be 0\n", kRed);
        return 0;
    }
    // A size the DCB cannot carry whole would compare more than was moved.
    if (size % kLineBytes != 0 || size > kMaxSize) {
        PrintColorFormat(kRed, "DATASIZE=0x%08X must be a multiple of 0x%X up to 0x%08X\n", size, kLineBytes, kMaxSize);
        return 0;
    }
    // The default destination follows the source; past 32 bits it lies outside any SDRAM, never
    // wraps to 0.
    const ULONGLONG destinationStart = destination ? destination : ULONGLONG{source} + size;
    const ULONGLONG sourceEnd = ULONGLONG{source} + size, destinationEnd = destinationStart + size;
    const CDevAddrSpace* sdram = GetBoardIF().GetSDRAMSpace();
    const ULONGLONG sdramBytes = sdram ? sdram->GetSize() : 0x100000000ull;
    if (sourceEnd > sdramBytes || destinationEnd > sdramBytes) {
        PrintColorFormat(kRed,
                         "Source[0x%08X ... 0x%08X] or Destination[0x%08llX ... 0x%08llX] lies outside the SDRAM\n",
                         source, static_cast<DWORD>(sourceEnd - 1), static_cast<unsigned long long>(destinationStart),
                         static_cast<unsigned long long>(destinationEnd - 1));
        return 0;
    }
    destination = static_cast<DWORD>(destinationStart);
    const DWORD sourceLast = source + size - 1, destinationLast = destination + size - 1;
    if (source == destination || (destination > source && destination <= sourceLast) ||
        (source > destination && source <= destinationLast)) {
        PrintColorFormat(kRed, "Source[0x%08X ... 0x%08X] overlaps Destination[0x%08X ... 0x%08X]\n", source, sourceLast,
                         destination, destinationLast);
        return 0;
    }
    PrintColor("DMA BOB Loopback Functional Test\n", kBlue);
    if (switchLoop && !switchLoop(1)) {
        PrintColor("Unable to enable Nulk video loopback\n", kRed);
        return 0;
    }
    // From here every way out switches the Nulk's loopback off again.
    auto leave = [&](int result) {
        if (switchLoop) switchLoop(0);
        return result;
    };

    const DWORD dwords = size / 4;
    std::unique_ptr<DWORD[]> wrData(new (std::nothrow) DWORD[dwords]);
    if (!wrData) PrintColor("Unable to allocate memory for WrData\n", kRed);
    std::unique_ptr<DWORD[]> rdData(new (std::nothrow) DWORD[dwords]);
    if (!rdData) PrintColor("Unable to allocate memory for RdData\n", kRed);
    std::unique_ptr<DWORD[]> pattern(new (std::nothrow) DWORD[dwords]);
    if (!pattern) PrintColor("Unable to allocate memory for WrPattern\n", kRed);
    if (!wrData || !rdData || !pattern) return leave(0);

    if (!ConnectorPresent()) {
        PrintColor("Loopback connector is not present\n", kRed);
        return leave(0);
    }
    if (!GetJastel()->RAMClockEnable(1, 1)) {
        PrintColor("ERROR:  Unable to set SulvthSDRAMClock\n", kRed);
        return leave(0);
    }
    Sleep(1);
    const int inChannel = bvi >= 0 && bvi <= 3 ? bvi : 0;
    const RegisterPtr bar0 = Bar0();
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    CWexalDMAChannel* in = board ? board->GetDMAChannel(inChannel) : nullptr;
    CWexalDMAChannel* out = board ? board->GetDMAChannel(kOutChannel) : nullptr;
    if (!bar0 || !in || !out) {
        PrintColor("Unrecognized Channel", kRed);
        for (const char* line : {"Unable to obtain pBobStruct\n", "Unable to obtain pBCUStruct\n",
                                 "Unable to obtain pDMACStruct\n", "Unable to obtain pPCIStruct\n",
                                 "Unable to obtain pDMAin\n", "Unable to obtain pDMAout\n"})
            PrintColor(line, kRed);
        return leave(0);
    }
    in->Flush();
    out->Flush();

    PrintColor("Testing the source SDRAM with pattern\n", kBlack);
    if (verbose > 1) PrintColorFormat(kBlack, "  Location[ 0x%08X ... 0x%08X ]\n", source, sourceLast);
    for (DWORD i = 0; i < dwords; ++i) pattern[i] = LoopbackPattern(i);
    if (!WriteReadCompareBody(source, pattern.get(), rdData.get(), size, static_cast<bool>(switchLoop))) {
        PrintColorFormat(kRed, "ERROR:  Reading the source SDRAM data pattern FAILED  Location[0x%08X ... 0x%08X]", source,
                         sourceLast);
        return leave(0);
    }
    if (verbose > 1) PrintColor("Passed\n", kGreen);
    PrintColor("Clearing destination SDRAM memory\n", kBlack);
    if (verbose > 1) PrintColorFormat(kBlack, "  Location[0x%08X ... 0x%08X]\n", destination, destinationLast);
    std::fill_n(wrData.get(), dwords, 0u);
    if (!WriteReadCompareBody(destination, wrData.get(), rdData.get(), size, static_cast<bool>(switchLoop))) {
        PrintColorFormat(kRed, "ERROR:  Clearing destination SDRAM memory FAILED\n  Location[0x%08X ... 0x%08X]\n",
                         destination, destinationLast);
        return leave(0);
    }
    if (verbose > 1) PrintColor("Passed\n", kGreen);

    PrintColor("Test BVO->BVI data transfer\n", kBlack);
    if (verbose > 1)
        PrintColorFormat(kBlack, "    SrcLocation[ 0x%08X ... 0x%08X]\n -> DstLocation[ 0x%08X ... 0x%08X]\n", source,
                         sourceLast, destination, destinationLast);
    bar0[kBviSelect / 4] = static_cast<DWORD>(bvi);
    auto setUpBcu = [&](int n) {
        BufferControlUnit bcu(bar0 + (BufferControlUnit::kBase + 16 * n) / 4);
        bcu.Clear();
        bcu.SetLinesPerSlice(2);
        bcu.SetBufferCapacity(3);
        bcu.SetLinesWrittenToNextSlice(2);
        bcu.SetLinesReadFromNextSlice(2);
        bcu.SetGo(1);
    };
    if (verbose > 1) PrintColor("Initialising DCB 1 Channel 0\n", kBlack);
    WexalDCB inbound;
    in->GetDCB(1, &inbound);
    inbound.GetOpField().Set16bit(1);
    inbound.GetOpField().SetInputFormat(INPUT_FORMAT_4444);
    inbound.GetOpField().SetBCUPointer(0);
    // One DCB is the whole transfer: a Next left behind by an earlier test would run on into its DCBs.
    inbound.GetOpField().SetNext(0);
    inbound.GetPortField().SetTag(1);
    inbound.SetStartAddress(destination);
    inbound.SetLineLength(256);
    inbound.SetInitialLineLength(256);
    inbound.SetLines(static_cast<WORD>(dwords / 256 - 1));
    in->SetDCB(1, &inbound);
    if (verbose > 1) PrintColor("Initialising BCU 0\n", kBlack);
    setUpBcu(0);
    if (verbose > 1) PrintColor("Initialising DCB 1 Channel 4\n", kBlack);
    WexalDCB outbound;
    out->GetDCB(1, &outbound);
    outbound.CopyFrom(inbound);
    outbound.GetOpField().SetBCUPointer(1);
    outbound.GetPortField().SetContextID(static_cast<BYTE>(bvi));
    outbound.SetStartAddress(source);
    out->SetDCB(1, &outbound);
    if (verbose > 1) PrintColor("Initialising BCU 1\n", kBlack);
    setUpBcu(1);
    Sleep(20);
    Sleep(10);
    if (verbose > 1) {
        PrintColor("Starting DCB 0 Channel 4 - Outbound\n", kBlack);
        PrintColor("Starting DCB 0 Channel 0 - Outbound\n", kBlack);
    }
    in->Trigger(1);
    out->Trigger(1);
    bar0[kCacheFlush / 4] = 0xFF;
    // A fixed pause moves only what the link carries in it: wait for the block's end instead, with
    // the frame loopbacks' deadline for its size.
    const char* device = switchLoop ? "Nulk" : "CableLoopback";
    const std::string toWexal = std::string(device) + "ToWexal", fromWexal = std::string("WexalTo") + device;
    DWORD tagReached = 0;
    const bool done = WaitForFramePair(*this, *in, *out, 1, dwords / 20000 + 20, size, 0, verbose > 1,
                                       {.inName = toWexal.c_str(), .outName = fromWexal.c_str()}, &tagReached);
    if (!done && verbose > 1) {
        ReportFrames(("Wexal to " + std::string(device)).c_str(), kOutChannel, 1);
        ReportFrames((std::string(device) + " to Wexal").c_str(), static_cast<DWORD>(inChannel), 1);
    }
    if (!ReadMemory(destination, rdData.get(), size)) return leave(0);

    const bool masked = static_cast<bool>(switchLoop);
    int shown = 0;
    bool matched = done;  // a block that did not arrive whole fails even where its words agree
    for (DWORD i = 0; i < dwords; i += 4) {
        bool group = true;
        for (DWORD k = i; k < i + 4; ++k) {
            const DWORD got = masked ? rdData[k] & kMask : rdData[k];
            if (got != (pattern[k] & kMask)) group = false;
        }
        if (group) continue;
        matched = false;
        if (verbose <= 1 || shown >= kMaxPrinted) continue;
        ++shown;
        auto read = [&](DWORD k) { return masked ? rdData[k] & kMask : rdData[k]; };
        PrintColorFormat(kRed, "Write:  0x%08X: 0x%08X 0x%08X 0x%08X 0x%08X\n", i, pattern[i] & kMask,
                         pattern[i + 1] & kMask, pattern[i + 2] & kMask, pattern[i + 3] & kMask);
        PrintColorFormat(kRed, "Read:   0x%08X: 0x%08X 0x%08X 0x%08X 0x%08X\n", i, read(i), read(i + 1), read(i + 2),
                         read(i + 3));
        PrintColor("\n", kBlack);
    }
    if (!matched) {
        PrintColorFormat(kRed,
                         "Test BVO->BVI data transfer FAILED\n    SrcLocation[ 0x%08X ... 0x%08X]\n -> DstLocation[ "
                         "0x%08X ... 0x%08X]\n",
                         source, sourceLast, destination, destinationLast);
        return leave(0);
    }
    if (verbose > 1) PrintColor("Passed\n", kGreen);
    bool passed = true;
    if (bar0[kErrorStatus / 4].Read() & kSyncError) {
        PrintColor("BVI sync error detected\n", kRed);
        bar0[kErrorStatus / 4] = kSyncError;
        passed = false;
    }
    PrintColorFormat(kGreen, "BoB video loopback test for DATASIZE=0x%08X %s\n", size, passed ? "PASSED" : "FAILED");
    return leave(passed ? 1 : 0);
}

int CCableLoopback::LoopbackFunctional(DWORD, CString text, DWORD, int verbose) {
    return LoopbackFunctionalBody(text, verbose, nullptr);
}

int CCableLoopback::WriteReadCompare(DWORD address, const DWORD* write, DWORD* read, DWORD bytes) {
    return WriteReadCompareBody(address, write, read, bytes, false);
}

int CNulk::LoopbackFunctional(DWORD, CString text, DWORD, int verbose) {
    return LoopbackFunctionalBody(text, verbose, [&](BYTE enable) { return SetVideoLoopback(enable, verbose); });
}

int CNulk::WriteReadCompare(DWORD address, const DWORD* write, DWORD* read, DWORD bytes) {
    return WriteReadCompareBody(address, write, read, bytes, true);
}
