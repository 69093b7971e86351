// CBrimolaBoardTests: construction, member order, keyword table and DIMM checks of the main-board root.
#include "boards/roots/brimola_board_tests.h"

#include <cstdio>
#include <utility>

#include "boards/tcl/brimola_peak_temps_dlg.h"
#include "framework/arg_number.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"

namespace {

constexpr BoardRootProfile kBrimolaProfile = {
    "CBrimolaBoardTests",
    CZorvDevice::DEVTYPE_BRIMOLA,
    treepath::RootKind::MainBoard,
    "Brimola",
    "Brimola diagnostics are in Manufacturing mode\n\n",
    "BrimolaTree_Eng.txt",
    "BrimolaTree_Mfg.txt",
    &CBoardRoot::IsMainBoardDevice,
    "m_pBrimola",
    19,
    {"   Kerzil\t%d C\t\t%d C\n", "SulvethA\t%d C\t\t%d C\n"},
    "-c",
    "strSetting(%s) == DevSettings[%d].pszSetting(%s)\n",
};

}  // namespace

const BoardRootProfile& BrimolaRootProfile() { return kBrimolaProfile; }

CBrimolaBoardTests::CBrimolaBoardTests(CString name)
    : CBoardRoot(std::move(name), kBrimolaProfile),
      m_jastel("CJastel"),
      m_wexal("CWexal"),
      m_kerzil(&m_jastel, "CKerzil"),
      m_sulvethA(1, &m_jastel, "CSulvethA"),
      m_sulvethB(2, &m_jastel, "CSulvethB"),
      m_nulk(&m_jastel, "CNulk"),
      m_bexi(&m_jastel, "CBexi"),
      m_cableLoopback(&m_jastel, "CableLoopback"),
      m_wemp(&m_jastel, "CBrimolaWemp"),
      m_scrPort(&m_nulk, "SCRport"),
      m_memClk("mem_clk", &m_wexal),
      m_sulvethLoop("SulvethLoop"),
      m_tcl(&m_nulk, "Tcl"),
      m_farnodek("FarnoDeK"),
      m_programTable{{0, "$(CWD)\\testdata\\LOCV$(VPDVER).oxd"},
                     {1, "$(CWD)\\testdata\\TAZU$(VPDVER).oxd"},
                     {2, "$(CWD)\\testdata\\TAZU$(VPDVER).oxd"},
                     {3, "$(CWD)\\testdata\\FESK$(VPDVER).oxd"},
                     {4, "$(CWD)\\testdata\\FESK$(VPDVER).oxd"}} {
    // The loopback loads the FPGA pair with the file it wants, without making that the default.
    m_sulvethLoop.SetProgrammer([this](const CString& command) { return Program(command, 1, 0); });
    // The bypass loopbacks load the file they are given, at their own verbosity.
    for (CKeyerPathTB* chip : {static_cast<CKeyerPathTB*>(&m_kerzil), static_cast<CKeyerPathTB*>(&m_sulvethA),
                               static_cast<CKeyerPathTB*>(&m_sulvethB)})
        chip->SetProgrammer([this](const CString& command, DWORD verbose) {
            return Program(command, static_cast<unsigned>(verbose), 0);
        });
    // The diagnostics port's PPP loopback loads the pair as its tests do and keeps their bookkeeping.
    auto pair = [this](char letter) -> CSulveth& { return letter == 'A' ? m_sulvethA : m_sulvethB; };
    m_scrPort.SetPairImages({[pair](char letter) { return pair(letter).GetCurrentOXD(); },
                             [pair](char letter) { return pair(letter).GetDefaultOXD(); },
                             [pair](char letter, const CString& file) { pair(letter).SetCurrentOXD(file); },
                             [this](const CString& command, DWORD verbose) {
                                 return Program(command, static_cast<unsigned>(verbose), 0);
                             }});
    m_imageIdAliases = {{"LOCV0202", "MEPT0202"}, {"TAZU0202", "VOKA0202"}, {"TAZU0202", "VOKB0202"}};
    StartUp();
}

CBrimolaBoardTests::~CBrimolaBoardTests() = default;

// The order is "CWexal", "CKerzil", "CSulvethA", "CSulvethB", "CNulk", "CBexi", "CBrimolaWemp",
// "CVantrelCodec", "CVantrelExpansion", "CableLoopback", "SCRport", "mem_clk", "SulvethLoop", "Tcl",
// "FlashTest", "JastelTest", "DCBActive", "BCUActive", "RAMblock", "MemTestA", "MemTestB", "Flash",
// "FarnoDeK". The controller gets no parent.
void CBrimolaBoardTests::SetParents() {
    m_wexal.SetParent(this);
    m_kerzil.SetParent(this);
    m_sulvethA.SetParent(this);
    m_sulvethB.SetParent(this);
    m_nulk.SetParent(this);
    m_bexi.SetParent(this);
    m_wemp.SetParent(this);
    m_links.SetParents(this);
    m_cableLoopback.SetParent(this);
    m_scrPort.SetParent(this);
    m_memClk.SetParent(this);
    m_sulvethLoop.SetParent(this);
    m_tcl.SetParent(this);
    m_shared.SetParents(this);  // flash and controller, DCB/BCU, SDRAM, flash programming
    m_farnodek.SetParent(this);
}

void CBrimolaBoardTests::ProgramAtStartUp(const CString& command) { Program(command, 2, 1); }

BOOL CBrimolaBoardTests::CheckDIMMGeometry(BYTE rowBits, BYTE columnBits, CString& message) {
    if (rowBits == 13 && (columnBits == 10 || columnBits == 11)) return TRUE;
    message.Format("Incorrect Number of Row/Column addresses,exp: R=13,C=[10 | 11] act:R=%d,C=%d", rowBits, columnBits);
    return FALSE;
}

BOOL CBrimolaBoardTests::CheckDIMMSize(DWORD sizeMB, CString& message) {
    if (sizeMB == 512) return TRUE;
    message.Format("Incorrect Size Expect:512MB   Actual:%dMB", static_cast<int>(sizeMB));
    return FALSE;
}

DWORD CBrimolaBoardTests::DisplayRev(const CString& args) {
    CString file;
    if (!ReadDisplayRevFile(args, file)) return 0;
    // An image of one of the board's FPGAs is found the way its test finds it.
    const struct {
        const char* id;
        CVideoPathTB* test;
    } resolvers[] = {{"\\LOCV", &m_kerzil},   {"\\MEPT", &m_kerzil},   {"\\TAZU", &m_sulvethA},
                     {"\\VOKA", &m_sulvethA}, {"\\VOKB", &m_sulvethB}, {"\\FESK", &m_links.vantrelCodec}};
    for (const auto& resolver : resolvers) {
        if (file.Find(resolver.id) < 0) continue;
        resolver.test->DetermineFilenameOXD(file, FALSE, 1);
        return ShowOxdRevision(file);
    }
    // A file found only under the host's testdata folder is found all the same.
    const int found = ExpandPathMacros(file, TRUE, TRUE);
    if (found != kPathFound && found != kPathFoundInTestData) return 0;
    return ShowOxdRevision(file);
}

DWORD CBrimolaBoardTests::ShowDeviceTemperatures(const CString& args, unsigned verbosity) {
    const CParamString params(args);
    if (const CString refused = RefusedInts(params, {"PEAK", "UNIQUE"}); !refused.IsEmpty()) {
        PrintColor(refused, kColorRed);
        return kRunFailed;
    }
    const ArgNumber peak = ReadArgValue(params, "PEAK", platform::NumberForm::Decimal, platform::kSigned32Field);
    if (peak.state == ArgRead::Read && peak.value == 1) {
        const ArgNumber uniqueRead = ReadArgValue(params, "UNIQUE", platform::NumberForm::Decimal, platform::kSigned32Field);
        const int unique = uniqueRead.state == ArgRead::Read ? static_cast<int>(uniqueRead.value) : 0;
        CBrimolaPeakTempsDlg dialog(this, args, unique, nullptr);
        dialog.DoModal();
        // The operator asked for the log: one that lost its lines fails the command.
        if (!dialog.GetLogFailure().IsEmpty()) {
            PrintColor(dialog.GetLogFailure(), kColorRed);
            return kRunFailed;
        }
        return kRunPassed;
    }
    return ShowTemperatureReport(verbosity);
}

DWORD CBrimolaBoardTests::ShowTestSummaryCommand(const KeywordCall&) {
    ShowTestSummary(0);
    GetSummary().clear();
    return kRunPassed;
}

DWORD CBrimolaBoardTests::RunKeyword(const KeywordCall& call) {
    using Root = CBrimolaBoardTests;
    using M = KeywordMatch;
    using R = KeywordResult;
    // The main board's own commands; the shared ones follow in DispatchKeyword.
    static const KeywordRow<Root> kTable[] = {
        {"\"Show Device Temperatures\"", M::Prefix, R::Handler, &Root::TemperaturesCommand},
        {"Show Test Summary", M::Prefix, R::AlwaysPass, &Root::ShowTestSummaryCommand},
    };
    return DispatchKeyword(*this, kTable, call);
}
