// Fuzz target diag_port: the diagnostics port's keywords with any argument text, run through a board root on the default rig.
#include <cstdio>
#include <string>

#include "boards/roots/nuxa_board_tests.h"
#include "tests/fuzz/board_station.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

// Every keyword the port's Run knows, "INVALID" and two near misses among them.
constexpr const char* kKeywords[] = {
    "INVALID",           "KZ-Version",         "KZ-ShowTemp",        "KZ-ShowDMA-B",
    "KZ-ShowDIMMS",      "KZ-TazuDDR",         "KZ-TazuQDR",         "ZT-DMA_Cache",
    "ZT-DMA_PCI_Master_WR_Multiple_DCB_2Page", "ZT-DMA_PCI_Master_RD_Multiple_DCB",
    "ZT-Play_VUC",       "KZ-CheckPCISpeed",   "QEV-ZBT_Addr",       "QG-YJP_PPA_Lpbk",
    "QG-YJP_PPA_Tazu",   "QG-DMA_CFESK_ILB",   "QG-DMA_CFESK_ELB",   "QEV-DMA_DSK_FG_422",
    "QEV-DMA_DSK_FG_BG", "KZ-CheckVPDStruct",  "KZ_ChkR2Versions",   "ZT-DMA_BoB_LB_Audio",
    "KZ-BoBcom_lb",      "KZ-LTC_WR_lb",       "ZT-DMA_CACHE",       "KZ-ChkR2Versions",
};
constexpr size_t kKeywordCount = sizeof kKeywords / sizeof kKeywords[0];
constexpr size_t kMaxArguments = 256;

}  // namespace

// Byte 0: bit 0 picks the board (clear: the main board, with its FPGAs loaded when bit 1 is set
// too), the rest the keyword; the following bytes, up to a NUL, are the argument text.
int FuzzDiagPort(const uint8_t* data, size_t size) {
    if (size == 0 || size - 1 > kMaxArguments) return 0;
    const bool main = (data[0] & 1) == 0;
    const char* keyword = kKeywords[(data[0] >> 2) % kKeywordCount];
    const std::string args = fuzzstation::ArgumentText(data + 1, size - 1);
    int broken = 0;
    fuzzstation::Run(main && (data[0] & 2), [&](CBrimolaBoardTests& brimola) {
        CNuxaBoardTests nuxa("CNuxaBoard");
        CBoardRoot& root = main ? static_cast<CBoardRoot&>(brimola) : static_cast<CBoardRoot&>(nuxa);
        const std::string command = std::string(main ? "Brimola1" : "Nuxa1") + " <SCRport " + keyword + args + ">";
        const DWORD result = root.Run(command.c_str());
        // A diagnostic answers passed, failed or stopped, and nothing else.
        if (result < kRunPassed || result > kRunStopped) {
            std::fprintf(stderr, "broken promise: \"%s\" answers %u\n", command.c_str(), static_cast<unsigned>(result));
            broken = 1;
        }
    });
    return broken;
}
