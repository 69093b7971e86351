// SCRport: the SDRAM cache check and the PCI master read and write through two chained DCBs.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "devlib/devices.h"
#include "devlib/dma_channel.h"
#include "diagport/port_colours.h"
#include "diagport/port_dma.h"
#include "diagport/scr_port.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/paged_memory.h"
#include "framework/hw/wexal_dcb.h"
#include "platform/number_text.h"

namespace {

using namespace portdma;

constexpr DWORD kSdramControl = 0x4018;
constexpr const char* kPassed = ".Readback passed\n";

// The host blocks of a PCI master run, released last allocated first when the set goes.
class HostBlocks {
public:
    // Allocates the named blocks in order; false after the allocation message of the first that
    // is not valid.
    bool Allocate(SCRport& port, CHostPCDevice* host, const std::vector<std::pair<const char*, DWORD>>& blocks) {
        for (const auto& [name, size] : blocks) m_blocks.push_back(std::make_unique<CPagedMemory>(host, size));
        for (size_t i = 0; i < blocks.size(); ++i) {
            Drv_Return r;
            if (m_blocks[i]->GetDrvReturn(&r)) continue;
            port.PrintColor(FormatString("ERROR:  Unable to allocate %s.  DrvReturn[0x%08X:0x%08X]\n", blocks[i].first,
                                         r.status, r.detail),
                            kColorDarkRed);
            return false;
        }
        return true;
    }
    ~HostBlocks() {
        while (!m_blocks.empty()) m_blocks.pop_back();
    }
    CPagedMemory& operator[](size_t i) { return *m_blocks[i]; }

private:
    std::vector<std::unique_ptr<CPagedMemory>> m_blocks;
};

DWORD Low(const CPagedMemory& block) { return static_cast<DWORD>(block.GetBusAddress()); }
DWORD High(const CPagedMemory& block) { return static_cast<DWORD>(block.GetBusAddress() >> 32); }

// Appends a page-table entry for the whole block at entry index of the table.
void PutEntry(CPagedMemory& table, int index, const CPagedMemory& page) {
    PageTableEntry* entries = reinterpret_cast<PageTableEntry*>(table.GetAddress());
    entries[index] = {Low(page), High(page), page.GetSize(), 0};
}

}  // namespace

DWORD SCRport::DMACacheTest(CString, int verboseLevel) {
    constexpr DWORD kWords = 16384, kBytes = kWords * 4;
    const DWORD verbose = static_cast<DWORD>(verboseLevel);
    const RegisterPtr bar0 = ChooseBAR0(nullptr, nullptr);
    if (!bar0) return kRunFailed;
    PrintColor("---------------------------------\n", kColorBlack);
    PrintColor(FormatString("CACHE TEST 0x%X kBytes\n", kBytes / 1024), kColorBlue);
    if (!PrintBoard(*this, bar0)) return kRunFailed;
    PrintColor("Filling SDRAM\n", kColorBlack);
    std::vector<DWORD> written(kWords), read(kWords, 0);
    for (DWORD i = 0; i < kWords; ++i) {
        if (i % 512 == 0) PrintColor(".", kColorBlack);
        written[i] = i;
    }
    PrintColor("\n", kColorBlack);
    WriteMemory(written.data(), 0, kBytes);
    PrintColor("Reading from Wexal SDRAM at location 0 onwards....\n", kColorBlack);
    // A read that fails fails the run: the cleared array could otherwise match in part.
    int errors = ReadMemory(0, read.data(), kBytes) ? 0 : 1;
    CompareWords(*this, written.data(), read.data(), kWords, verbose, 512, errors);
    return errors ? kRunFailed : kRunPassed;
}

// The opening both PCI master runs share: the channel from "Channel=", the board, the SDRAM
// controller and the flushed channel. Null after the refusal's message.
CWexalDMAChannel* SCRport::OpenPciMaster(const CString& args, DWORD first, const char* const* heading) {
    static constexpr char kKey[] = "Channel=";
    const char* text = args.c_str();
    if (std::strncmp(text, kKey, sizeof kKey - 1) != 0) {
        PrintColor("No valid DMA channel to test\n", kColorDarkRed);
        return nullptr;
    }
    text += sizeof kKey - 1;
    // Decimal after blanks, up to the first other character; only the test's two channels fit.
    const platform::FieldScan read =
        platform::ReadField(text, platform::NumberForm::Decimal, platform::NumberField{first, first + 1});
    if (read.fit != platform::NumberFit::Fits) {
        PrintColor("Invalid Channel Number\n", kColorDarkRed);
        return nullptr;
    }
    const DWORD channel = static_cast<DWORD>(read.value);
    const RegisterPtr bar0 = ChooseBAR0(nullptr, nullptr);
    if (!bar0) return nullptr;
    for (const char* const* line = heading; *line; ++line)
        PrintColor(*line, line == heading + 1 ? kColorBlue : kColorBlack);
    if (!PrintBoard(*this, bar0)) return nullptr;
    if (first == 12) {
        std::fill(g_PatternBuffer, g_PatternBuffer + kScratchWords, 0x78787878u);
        std::copy(g_PatternBuffer, g_PatternBuffer + kScratchWords, g_ReadBackBuffer);
    }
    PrintColor("Initialising SDRAM Controller\n", kColorBlack);
    bar0[kSdramControl / 4] = bar0[kSdramControl / 4] | 1;
    CWexalDMAChannel* dma = PortChannel(static_cast<int>(channel));
    if (!dma) {
        PrintColor(FormatString("DMA Channel %d is not available\n", channel), kColorDarkRed);
        return nullptr;
    }
    PrintColor(FormatString("Flush DMA Channel %d\n", channel), kColorBlack);
    dma->Flush();
    return dma;
}

void SCRport::FlushSdramWrites() {
    if (auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice())) board->GetMainRegisters()[1] = 0xFF;
}

DWORD SCRport::DMAMasterReadMultiDCB(CString args, int verboseLevel) {
    const DWORD verbose = static_cast<DWORD>(verboseLevel);
    static constexpr const char* kHeading[] = {"----------------------------------------------\n",
                                               "DMA PCI Master SDRAM Read Test Multiple DCBs\n", nullptr};
    CWexalDMAChannel* dma = OpenPciMaster(args, 12, kHeading);
    if (!dma) return kRunFailed;
    const DWORD channel = dma->GetChannel();
    PrintColor("Filling the SDRAM\n", kColorBlack);
    CHostPCDevice* host = GetZorvHardware();
    if (!host) {
        PrintColor("Call to GetZorvHardware Failed\n", kColorDarkRed);
        return kRunFailed;
    }
    for (DWORD i = 0; i < 512; ++i) g_PatternBuffer[i] = i + 1;
    WriteMemory(g_PatternBuffer, 0, 2048);
    FlushSdramWrites();
    PrintColor("Reading the filled data from SDRAM...\n", kColorBlack);
    std::fill(g_ReadBackBuffer, g_ReadBackBuffer + 512, 0u);
    // A failed read is an error of its own: the zeroed buffer must not stand for SDRAM data.
    int errors = ReadMemory(0, g_ReadBackBuffer, 2048) ? 0 : 1;
    if (CompareWords(*this, g_PatternBuffer, g_ReadBackBuffer, 512, verbose, 0, errors) && !errors)
        PrintColor(kPassed, kGreen);
    PrintColor(kRule, kColorBlack);
    PrintColor(kRule, kColorBlack);

    HostBlocks blocks;
    if (!blocks.Allocate(*this, host, {{"page_table1", 4096}, {"page_table2", 4096}, {"dma_mem1", 1024}, {"dma_mem2", 1024}}))
        return kRunFailed;
    CPagedMemory &table1 = blocks[0], &table2 = blocks[1], &mem1 = blocks[2], &mem2 = blocks[3];
    PrintColor("Zeroing at DMA Write Buffer\n", kColorBlack);
    std::memset(mem1.GetAddress(), 0, 1024);
    std::memset(mem2.GetAddress(), 0, 1024);
    int n = 1;
    for (CPagedMemory* mem : {&mem1, &mem2}) {
        PrintColor(FormatString("Reading from DMA write buffer %d....\n", n++), kColorBlack);
        CompareWords(*this, nullptr, mem->GetAddress(), 256, verbose, 64, errors);
        if (!errors) PrintColor(kPassed, kGreen);
        PrintColor(kRule, kColorBlack);
    }
    const char* rule = "========================================\n";
    PrintColor(rule, kColorBlue);
    PrintColor(FormatString("Page table Address for DCB 1 = 0x%08X:%08X\n", High(table1), Low(table1)), kColorBlue);
    PrintColor(FormatString("Host Buffer 1 Address        = 0x%08X:%08X\n", High(mem1), Low(mem1)), kColorBlue);
    PrintColor(FormatString("Page table Address for DCB 2 = 0x%08X:%08X\n", High(table2), Low(table2)), kColorBlue);
    PrintColor(FormatString("Host Buffer 2 Address        = 0x%08X:%08X\n", High(mem2), Low(mem2)), kColorBlue);
    PrintColor(rule, kColorBlue);
    PutEntry(table1, 0, mem1);
    PutEntry(table2, 0, mem2);
    PrintColor(FormatString("Initialising DCB 1 Channel %d\n", channel), kColorBlack);
    LoadDcb(*dma, 1, {2, 0xA5A, 0x000, 1, 1, &table1});
    PrintColor(FormatString("Initialising DCB 2 Channel %d\n", channel), kColorBlack);
    LoadDcb(*dma, 2, {0, 0xB6B, 0x400, 1, 1, &table2});
    PrintColor("Initialising BCU 1\n", kColorBlack);
    SetRunningBcu(m_boardIF, 1);
    PrintColor(FormatString("Starting DCB 0 Channel %d - Outbound\n", channel), kColorBlack);
    dma->Trigger(1);
    Delay(500);
    FlushSdramWrites();
    PrintColor(kRule, kColorBlack);
    PrintColor("Reading the PCI Master write data at DMA write Buffer 1\n", kColorBlack);
    PrintColor(kRule, kColorBlack);
    DWORD found = VerifySDRAMHost(mem1, 0, verbose);
    errors += static_cast<int>(found);
    if (!found) PrintColor(kPassed, kGreen);
    PrintColor(kRule, kColorBlack);
    PrintColor("Reading the PCI Master write data at DMA write Buffer 2\n", kColorBlack);
    found = VerifySDRAMHost(mem2, 0x400, verbose);
    errors += static_cast<int>(found);
    if (!found) PrintColor(kPassed, kGreen);
    PrintColor(kRule, kColorBlack);
    return PciMasterVerdict(errors);
}

DWORD SCRport::DMAMasterWriteMultiDCB2Page(CString args, int verboseLevel) {
    const DWORD verbose = static_cast<DWORD>(verboseLevel);
    static constexpr const char* kDashes = "--------------------------------------------\n";
    static constexpr const char* kHeading[] = {kDashes, "DMA PCI Master SDRAM Write Test, with 2 DCBs, 2 pages per DCB\n",
                                               kDashes, nullptr};
    CWexalDMAChannel* dma = OpenPciMaster(args, 16, kHeading);
    if (!dma) return kRunFailed;
    const DWORD channel = dma->GetChannel();
    PrintColor("Filling the Host Memory\n", kColorBlack);
    CHostPCDevice* host = GetZorvHardware();
    if (!host) {
        PrintColor("Call to GetZorvHardware Failed\n", kColorDarkRed);
        return kRunFailed;
    }
    HostBlocks blocks;
    if (!blocks.Allocate(*this, host,
                         {{"page_table1", 4096}, {"page_table2", 4096}, {"dma_mem1", 1024}, {"dma_mem2", 1024},
                          {"dma_mem3", 1024}, {"dma_mem4", 1024}}))
        return kRunFailed;
    CPagedMemory &table1 = blocks[0], &table2 = blocks[1];
    CPagedMemory* mems[] = {&blocks[2], &blocks[3], &blocks[4], &blocks[5]};
    for (DWORD b = 0; b < 4; ++b)
        for (DWORD k = 0; k < 256; ++k) mems[b]->GetAddress()[k] = 256 * b + k + 1;
    PrintColor("Zeroing at 0 in Wexal SDRAM\n", kColorBlack);
    std::fill(g_PatternBuffer, g_PatternBuffer + kScratchWords, 0u);
    WriteMemory(g_PatternBuffer, 0, 4096);
    PrintColor("Reading from Wexal SDRAM at location 0 onwards....\n", kColorBlack);
    std::fill(g_ReadBackBuffer, g_ReadBackBuffer + kScratchWords, 0u);
    // A failed read is an error of its own: the zeroed buffer would otherwise pass the check.
    int errors = ReadMemory(0, g_ReadBackBuffer, 4096) ? 0 : 1;
    CompareWords(*this, g_PatternBuffer, g_ReadBackBuffer, kScratchWords, verbose, 64, errors);
    if (!errors) PrintColor(kPassed, kGreen);
    PrintColor(kRule, kColorBlack);
    const char* rule = "=========================================\n";
    PrintColor(rule, kColorBlue);
    PrintColor(FormatString("Page table Address for DCB 1 = 0x%08X:%08X\n", High(table1), Low(table1)), kColorBlue);
    PrintColor(FormatString("Page table Address for DCB 2 = 0x%08X:%08X\n", High(table2), Low(table2)), kColorBlue);
    for (int b = 0; b < 4; ++b)
        PrintColor(FormatString("Host Buffer %d Address        = 0x%08X:%08X\n", b + 1, High(*mems[b]), Low(*mems[b])),
                   kColorBlue);
    PrintColor(rule, kColorBlue);
    PutEntry(table1, 0, *mems[0]);
    PutEntry(table1, 1, *mems[1]);
    PutEntry(table2, 0, *mems[2]);
    PutEntry(table2, 1, *mems[3]);
    PrintColor(FormatString("Initialising DCB 1 Channel %d(new)\n", channel), kColorBlack);
    LoadDcb(*dma, 1, {2, 0xA5A, 0x000, 3, 1, &table1});
    PrintColor(FormatString("Initialising DCB 2 Channel %d(new)\n", channel), kColorBlack);
    LoadDcb(*dma, 2, {0, 0xA5A, 0x800, 3, 1, &table2});
    PrintColor("Initialising BCU 1\n", kColorBlack);
    SetRunningBcu(m_boardIF, 1);
    PrintColor(FormatString("Initialising DCB 0 Channel %d(new)\n", channel), kColorBlack);
    dma->Trigger(1);
    Delay(100);
    FlushSdramWrites();
    static constexpr struct {
        DWORD base, address;
        const char* text;
    } kBlocks[] = {{0x000, 0x000, "Reading the data at 0 from SDRAM\n"},
                   {0x100, 0x400, "Reading the data at 400 from SDRAM\n"},
                   {0x200, 0x800, "Reading the data at 800 from SDRAM\n"},
                   {0x300, 0xC00, "Reading the data at C00 from SDRAM\n"}};
    for (const auto& block : kBlocks) {
        if (block.base == 0) PrintColor(kRule, kColorBlack);
        PrintColor(block.text, kColorBlack);
        if (block.base == 0) PrintColor(kRule, kColorBlack);
        const DWORD found = VerifySDRAMCount(block.base, block.address, verbose);
        errors += static_cast<int>(found);
        if (!found) PrintColor(kPassed, kGreen);
        PrintColor(kRule, kColorBlack);
    }
    return PciMasterVerdict(errors);
}

DWORD SCRport::PciMasterVerdict(int errors) {
    if (errors) {
        PrintColor("PCI Master SDRAM write test with 2 DCBs failed\n", kColorDarkRed);
        return kRunFailed;
    }
    PrintColor("PCI Master SDRAM write test with 2 DCBs passed\n", kGreen);
    return kRunPassed;
}
