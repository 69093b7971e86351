// CKerzil: the keyer test's harness keywords and help page, its register map and the slider sheet's readiness checks.
#include "videopath/kerzil.h"

#include "framework/hw/jastel.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "platform/host_ui.h"
#include "videopath/image_harness.h"
#include "videopath/kerzil_slider.h"

namespace {

constexpr DWORD kKeyerDevice = 0;
constexpr DWORD kNoBar0Verbosity = 2;

constexpr HarnessKeyword kKeywords[] = {
    {"IMAGE_LIST", harness::kImageList, true},
    {"RESOLUTION_LIST", harness::kResolutionList, true},
    {"\"Bypass:Image:Unpacked\"", harness::kBypass, true},
    {"Show Structure Offsets", harness::kShowOffsets, false},
    {"Modify Image/Resolution List", harness::kModifyLists, true},
    {"Modify Sliders", harness::kModifySliders, true},
};

constexpr HarnessHelpLine kBypassHelp[] = {
    {true, "~*BLUE*~\n\nPURPOSE:~*BLACK*~\n"},
    {false, "Sets pAOP->CONTROL_REG_TWO.bf.LOOPBACK = 1;\n"},
    {false, "Kerzil.AOP_A.CONTROL_REG_TWO = BAR0[0x00008000] + OFFSET[0x00000FC8] = 0x00008FC8\n\n"},
    {false, "Uses context ID of 15:  The data path is as follows\n"},
    {false, "Host->Wexal->Kerzil->Wexal->Host\n"},
    {false, "The received data is compared against the send data\n"},
    {false, "and errors are flagged accordingly.\n\n"},
    {true, "~*BLUE*~PARAMETERS:~*BLACK*~\n"},
    {true, "~*BLUE*~CHANNEL=[A|B]~*BLACK*~ choose one.\n"},
    {true, "~*BLUE*~FRAMES=[1 ... 15]~*BLACK*~ choose one.\n"},
    {true, "~*BLUE*~SEQUENCE=(I ...)~*BLACK*~ cannot be changed\n"},
    {true, "~*BLUE*~-NoCRC~*BLACK*~ do not calculate crc if test fails\n"},
    {false, "\n"},
};

constexpr HarnessTraits kTraits{"CKerzil", kKeywords, true, false, kBypassHelp};

// The keyer's register map from its base in BAR0.
constexpr DWORD kKerzilBase = 0x8000;
struct MapLine {
    const char* format;
    DWORD offset;
};
constexpr MapLine kRegisterMap[] = {
    {"Kerzil.TAPU_A = 0x%08X + 0x%08X = 0x%08X\n", 0x0000},
    {"Kerzil.TAPD_A = 0x%08X + 0x%08X = 0x%08X\n", 0x0400},
    {"Kerzil.AOP_A = 0x%08X + 0x%08X = 0x%08X\n", 0x0C00},
    {"  Kerzil.AOP_A.active = 0x%08X + 0x%08X = 0x%08X\n", 0x0C00},
    {"  Kerzil.AOP_A.CONTROL_REG_TWO = 0x%08X + 0x%08X = 0x%08X\n", 0x0FC8},
    {"Kerzil.YCK_A = 0x%08X + 0x%08X = 0x%08X\n", 0x1000},
    {"Kerzil.PCC_A = 0x%08X + 0x%08X = 0x%08X\n", 0x1400},
    {"Kerzil.CTXT = 0x%08X + 0x%08X = 0x%08X\n", 0x1800},
    {"Kerzil.CSCF_A = 0x%08X + 0x%08X = 0x%08X\n", 0x1C00},
    {"Kerzil.TAPU_B = 0x%08X + 0x%08X = 0x%08X\n", 0x2000},
    {"Kerzil.TAPD_B = 0x%08X + 0x%08X = 0x%08X\n", 0x2400},
    {"Kerzil.AOP_B = 0x%08X + 0x%08X = 0x%08X\n", 0x2C00},
    {"  Kerzil.AOP_B.active = 0x%08X + 0x%08X = 0x%08X\n", 0x2C00},
    {"  Kerzil.AOP_B.CONTROL_REG_TWO = 0x%08X + 0x%08X = 0x%08X\n", 0x2FC8},
    {"Kerzil.PCC_B = 0x%08X + 0x%08X = 0x%08X\n", 0x3400},
    {"Kerzil.LBIA = 0x%08X + 0x%08X = 0x%08X\n", 0x3C00},
};

// The slider sheet edits the keyer's YCK contexts from here on; it needs the loopback connector and
// all three keyer-side FPGAs configured.
constexpr DWORD kSliderBlock = 0x9000;
constexpr DWORD kConnectorStatus = 0x10;  // in the controller's block; bit 0: something on the connector
constexpr DWORD kUnconfigured = 0xFFFFFFFF;
struct DownloadCheck {
    DWORD idRegister;
    const char* message;
};
constexpr DownloadCheck kDownloadChecks[] = {
    {0xBFC8, "Kerzil has not been downloaded\n"},
    {0x1BFC8, "SulvethA has not been downloaded\n"},
    {0x1FFC8, "SulvethB has not been downloaded\n"},
};

}  // namespace

CKerzil::CKerzil(CJastel* controller, CString name) : CKeyerPathTB(name, kKeyerDevice, kNoBar0Verbosity, controller) {
    CImageHarness(*this, kTraits).LoadPresets(*GetImageList(), *GetResolutionList());
}

DWORD CKerzil::Run(CString command) { return CImageHarness(*this, kTraits).Run(command); }

DWORD CKerzil::Help(CString command) { return CImageHarness(*this, kTraits).Help(command); }

DWORD CKerzil::RunOwnCommand(DWORD code, const CString& arguments) {
    if (code == harness::kShowOffsets) return ShowStructureOffsets();
    // The sheet's outcome is not a test result, but a stop the host asked for is.
    if (code == harness::kModifySliders && ModifySliders(arguments)) return kRunStopped;
    return kRunFailed;
}

DWORD CKerzil::ShowStructureOffsets() {
    PrintColor("The Kerzil register map, for address offset calculations:\n", kColorBlack);
    for (const MapLine& line : kRegisterMap)
        PrintColorFormat(kColorBlack, line.format, kKerzilBase, line.offset, kKerzilBase + line.offset);
    return kRunPassed;
}

bool CKerzil::SlidersReady() {
    const CJastel* controller = GetController();
    const RegisterPtr status = controller ? controller->GetControllerRegisters() : RegisterPtr();
    if (!(status[kConnectorStatus / 4] & 1)) {
        PrintColor("Loopback connector is not present\n", kColorRed);
        return false;
    }
    const RegisterPtr bar0 = m_boardIF.GetMainBoardRegisters();
    for (const DownloadCheck& check : kDownloadChecks) {
        if (bar0[check.idRegister / 4] == kUnconfigured) {
            PrintColor(check.message, kColorRed);
            return false;
        }
    }
    return true;
}

bool CKerzil::ModifySliders(const CString& arguments) {
    if (!SlidersReady()) return false;
    COptionsSheetKerzilSlider sheet(arguments, kSliderBlock, m_boardIF.GetMainBoardRegisters() + kSliderBlock / 4,
                                    platform::GetMainWnd());
    // The dialog runner ends a dialog as cancelled when the host asks the test to stop.
    return sheet.DoModal() == platform::IDCANCEL && *g_StopFlag() != 0;
}
