// SCRport: construction, the keyword table, Run, Help, Delay and the date line.
#include "diagport/scr_port.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "devlib/utility.h"
#include "diagport/port_colours.h"
#include "framework/arg_number.h"
#include "framework/param_string.h"
#include "platform/clock.h"

SCRport::SCRport(CNulk* nulk, CString name) : CWexalTreeMapTB(name), m_Nulk(nulk) { SetCodeName(name); }

// Rows by diagnostic index (no 7). A row without a diagnostic keeps its help text and Run passes it over.
const SCRport::KeywordRow SCRport::kKeywords[24] = {
    {0, "INVALID", "INVALID", nullptr, {nullptr, nullptr}},
    {1, "KZ-Version", "KZ-Version", &SCRport::ShowVersions,
     {"Reports the versions of all programable devices present a Pexano System\n including the attached Break Out Box if present.",
      nullptr}},
    {2, "KZ-ShowTemp", "KZ-ShowTemp", &SCRport::ShowTemperatures,
     {"Reads and displays the contents of the temperature sensors.", nullptr}},
    {3, "KZ-ShowDMA-B", "KZ-ShowDMA-B", &SCRport::ShowDMAStatus, {"Displays the DMA Status.", nullptr}},
    {4, "KZ-ShowDIMMS", "KZ-ShowDIMMS", &SCRport::ShowDIMMs, {"Displays the DIMM Module Information.", nullptr}},
    {5, "KZ-TazuDDR", "KZ-TazuDDR", &SCRport::TestSulvethDDR,
     {"Performs a Data or Address Line Test on the Sulveth DDR Memory.", nullptr}},
    {6, "KZ-TazuQDR", "KZ-TazuQDR", &SCRport::TestSulvethQDR,
     {"Performs a Data or Address Line Test on the Sulveth QDR Memory.", nullptr}},
    {8, "ZT-DMA_Cache", "ZT-DMA_CACHE", &SCRport::DMACacheTest, {"CACHE TEST.", nullptr}},
    {9, "ZT-DMA_PCI_Master_WR_Multiple_DCB_2Page", "ZT-DMA_PCI_Master_WR_Multiple_DCB_2Page", &SCRport::DMAMasterWriteMultiDCB2Page,
     {"This test will verify the ability for the DMA in Wexal to move data from HOST memory to Brimola's SDRAM", nullptr}},
    {10, "ZT-DMA_PCI_Master_RD_Multiple_DCB", "ZT-DMA_PCI_Master_RD_Multiple_DCB", &SCRport::DMAMasterReadMultiDCB,
     {"This test will verify the ability for the DMA in Wexal to move data from Brimola's SDRAM to HOST memory", nullptr}},
    {11, "ZT-Play_VUC", "ZT-Play_VUC", &SCRport::PlayVUC,
     {"This test will verify the ability for the Video Utility Client Out DMA and", "Video Utility Client In DMA Wexal to move data"}},
    {12, "KZ-CheckPCISpeed", "KZ-CheckPCISpeed", &SCRport::CheckPCISpeed, {"Show PCI frequency.", nullptr}},
    {13, "QEV-ZBT_Addr", "QEV-ZBT_Addr", &SCRport::KerzilZBTAddressTest, {"This test will verify Kerzil ZBT Memory Addresses", nullptr}},
    {14, "QG-YJP_PPA_Lpbk", "QG-YJP_PPA_Lpbk", &SCRport::PPPKerzilLoopback, {"VelkoDRUN Channel PPP Kerzil Loopback test", nullptr}},
    {15, "QG-YJP_PPA_Tazu", "QG-YJP_PPA_Tazu", &SCRport::PPPKerzilToSulveth, {"VelkoDRUN Channel PPP Kerzil to Sulveth test", nullptr}},
    {16, "QG-DMA_CFESK_ILB", "QG-DMA_CFESK_ILB", &SCRport::VantrelInternalLoopback, {"DMA VelkoDRUN C or E-Channel Vantrel Internal Loopback", nullptr}},
    {17, "QG-DMA_CFESK_ELB", "QG-DMA_CFESK_ELB", &SCRport::VantrelExternalLoopback, {"DMA VelkoDRUN C or E-Channel Vantrel External Loopback", nullptr}},
    {18, "QEV-DMA_DSK_FG_422", "QEV-DMA_DSK_FG_422", &SCRport::DSKFG422Passthru, {"DMA DSK FG 422 Passthru Test", nullptr}},
    {19, "QEV-DMA_DSK_FG_BG", "QEV-DMA_DSK_FG_BG", &SCRport::DSKFGBGPassthru, {"DMA DSK FG BG 422 Passthru Test", nullptr}},
    {20, "KZ-CheckVPDStruct", "KZ-CheckVPDStruct", &SCRport::CheckVPDStruct, {"Check VPD Structure", nullptr}},
    {21, "KZ_ChkR2Versions", "KZ_ChkR2Versions", &SCRport::CheckR2Versions, {"Check Rev2-VERSIONS", nullptr}},
    {22, "ZT-DMA_BoB_LB_Audio", "ZT-DMA_BoB_LB_Audio", &SCRport::FarnoDeKAudioLoopback, {"DMA Bob Audio LoopBack", nullptr}},
    {23, "KZ-BoBcom_lb", "KZ-BoBcom_lb", &SCRport::FarnoDeKCOMLoopback, {"Bob COM loopback", nullptr}},
    {24, "KZ-LTC_WR_lb", "KZ-LTC_WR_lb", &SCRport::LTCLoopback, {"Bob LTC W/R Loopback Test", nullptr}},
};

int SCRport::MatchKeyword(const CString& command, bool forHelp, CString& remainder) {
    int index = 0;
    remainder = CString();
    // Every row is tried against the whole text; a later match replaces an earlier one.
    for (const KeywordRow& row : kKeywords) {
        if (!forHelp && row.index != 0 && !row.diagnostic) continue;
        const char* keyword = forHelp ? row.helpKeyword : row.runKeyword;
        const size_t n = std::strlen(keyword);
        if (static_cast<size_t>(command.GetLength()) < n || std::memcmp(command.c_str(), keyword, n) != 0) continue;
        index = row.index;
        remainder = command.Mid(static_cast<int>(n));
        remainder.TrimLeft();
    }
    return index;
}

DWORD SCRport::Run(CString command) {
    if (!GetParent()) {
        PrintColor("SCRport:  Parent is NULL\n", kColorRed);
        return kRunFailed;
    }
    CString remainder;
    const int index = MatchKeyword(command, false, remainder);
    // The common settings come from the whole text; they stay in the diagnostic's argument text.
    const CParamString params(command);
    if (const CString refused = RefusedInts(params, {"VERBOSE", "ABORTCOUNT"}); !refused.IsEmpty()) {
        PrintColor(refused, kColorRed);
        return kRunFailed;
    }
    int verbose = 0;
    const ArgNumber verboseRead = ReadArgValue(params, "VERBOSE", platform::NumberForm::Decimal, platform::kSigned32Field);
    if (verboseRead.state == ArgRead::Read) verbose = static_cast<int>(verboseRead.value);
    m_AbortCount = kDefaultAbortCount;
    const ArgNumber abort = ReadArgValue(params, "ABORTCOUNT", platform::NumberForm::Decimal, platform::kSigned32Field);
    if (abort.state == ArgRead::Read) m_AbortCount = static_cast<int>(abort.value);
    for (const KeywordRow& row : kKeywords)
        if (row.index == index && index != 0) return (this->*row.diagnostic)(remainder, verbose);
    PrintColor("Invalid Test", kColorRed);
    return kRunFailed;
}

DWORD SCRport::Help(CString command) {
    CString remainder;
    const int index = MatchKeyword(command, true, remainder);
    for (const KeywordRow& row : kKeywords) {
        if (row.index != index || index == 0) continue;
        PrintRule(72, 0, kColorGreen);
        for (const char* line : row.description)
            if (line) PrintBlack(line);
        PrintRule(72, 0, kColorGreen);
        return kRunPassed;
    }
    CString text;
    text.Format("\n\nERROR:  SCRport\n\"%s\"\n Not recognized as a valid test\n", command.c_str());
    PrintColor(text, kColorRed);
    return kRunPassed;
}

BOOL SCRport::SetParent(CWexalTreeMapTB* parent) {
    m_Parent = parent;
    return AddToMap(parent);
}

void SCRport::Delay(int ms) {
    while (ms > 20) {
        Sleep(20);
        HandleMessages();
        ms -= 20;
    }
    if (ms > 0) Sleep(static_cast<DWORD>(ms));
}
