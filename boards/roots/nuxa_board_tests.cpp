// CNuxaBoardTests: construction, member order, keyword table and DIMM checks of the codec-board root.
#include "boards/roots/nuxa_board_tests.h"

#include <utility>

#include "boards/roots/fill_pattern.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "platform/files.h"

namespace {

constexpr BoardRootProfile kNuxaProfile = {
    "CNuxaBoardTests",
    CZorvDevice::DEVTYPE_NUXA,
    treepath::RootKind::CodecBoard,
    "Nuxa",
    "Nuxa diagnostics are in Manufacturing mode\n\n",
    "NuxaTree_Eng.txt",
    "NuxaTree_Mfg.txt",
    &CBoardRoot::IsCodecBoardDevice,
    "m_pNuxa",
    29,
    {"SorbelinA\t%d C\t\t%d C\n", "SorbelinB\t%d C\t\t%d C\n"},
    "-b",
    "strSetting(%s) == DevSettings[%d].szSetting(%s)\n",
};

}  // namespace

const BoardRootProfile& NuxaRootProfile() { return kNuxaProfile; }

CNuxaBoardTests::CNuxaBoardTests(CString name)
    : CBoardRoot(std::move(name), kNuxaProfile),
      m_bridge(nullptr, nullptr, "CDremolun"),
      m_jastel("CJastel"),
      m_dspA(&m_bridge, "CNuxaDSPA"),
      m_dspB(&m_bridge, "CNuxaDSPB"),
      m_diagA(&m_dspA, &m_bridge, &m_jastel, "CSorbelinDiagA"),
      m_diagB(&m_dspB, &m_bridge, &m_jastel, "CSorbelinDiagB"),
      m_packerA(&m_dspA, &m_bridge, &m_jastel, "CSorbelinPackerA"),
      m_packerB(&m_dspB, &m_bridge, &m_jastel, "CSorbelinPackerB"),
      m_unpackerA(&m_dspA, &m_bridge, &m_jastel, "CSorbelinUnpackerA"),
      m_unpackerB(&m_dspB, &m_bridge, &m_jastel, "CSorbelinUnpackerB"),
      m_encoderA(&m_dspA, &m_bridge, &m_jastel, "CSorbelinEncoderA"),
      m_encoderB(&m_dspB, &m_bridge, &m_jastel, "CSorbelinEncoderB"),
      m_decoderA(&m_dspA, &m_bridge, &m_jastel, "CSorbelinDecoderA"),
      m_decoderB(&m_dspB, &m_bridge, &m_jastel, "CSorbelinDecoderB"),
      m_wexal("CWexal"),
      m_nulk(&m_jastel, "CNulk"),
      m_bexi(&m_jastel, "CBexi"),
      m_cableLoopback(&m_jastel, "CableLoopback"),
      m_wexalUnpackerA("CWexal.Unpacker.A"),
      m_wexalUnpackerB("CWexal.Unpacker.B"),
      m_scrPort(&m_nulk, "SCRport"),
      m_memClk("mem_clk", &m_wexal),
      m_tcl(&m_nulk, "Tcl"),
      m_patternBuffer(kPatternWords, 0),
      m_programTable{{3, "$(CWD)\\testdata\\FESK$(VPDVER).oxd"}, {4, "$(CWD)\\testdata\\FESK$(VPDVER).oxd"}} {
    SetFillPattern("Unique Byte");
    StartUp();
}

CNuxaBoardTests::~CNuxaBoardTests() = default;

// The order is "CDremolun", "CJastel", "CNuxaDSPA", "CNuxaDSPB", the ten codec tests (Diag,
// Packer, Unpacker, Encoder, Decoder; A before B), "CWexal.Unpacker.A", "CWexal.Unpacker.B",
// "CVantrelCodec", "CVantrelExpansion", "CWexal", "CableLoopback", "CNulk", "CBexi", "SCRport",
// "mem_clk", "Tcl", "FlashTest", "JastelTest", "DCBActive", "BCUActive", "RAMblock", "MemTestA",
// "MemTestB", "Flash".
void CNuxaBoardTests::SetParents() {
    m_bridge.SetParent(this);
    m_jastel.SetParent(this);
    m_dspA.SetParent(this);
    m_dspB.SetParent(this);
    m_diagA.SetParent(this);
    m_diagB.SetParent(this);
    m_packerA.SetParent(this);
    m_packerB.SetParent(this);
    m_unpackerA.SetParent(this);
    m_unpackerB.SetParent(this);
    m_encoderA.SetParent(this);
    m_encoderB.SetParent(this);
    m_decoderA.SetParent(this);
    m_decoderB.SetParent(this);
    m_wexalUnpackerA.SetParent(this);
    m_wexalUnpackerB.SetParent(this);
    m_links.SetParents(this);
    m_wexal.SetParent(this);
    m_cableLoopback.SetParent(this);
    m_nulk.SetParent(this);
    m_bexi.SetParent(this);
    m_scrPort.SetParent(this);
    m_memClk.SetParent(this);
    m_tcl.SetParent(this);
    m_shared.SetParents(this);  // flash and controller, DCB/BCU, SDRAM, flash programming
}

void CNuxaBoardTests::PrepareChildren(CWexalBoardDevice* board) {
    const RegisterPtr registers = board ? board->GetRegisters() : RegisterPtr();
    m_bridge.SetRegisterBase(registers ? registers + 0x10000 / 4 : RegisterPtr());
    for (CNuxaDSP* dsp : {&m_dspA, &m_dspB}) dsp->SetPatternBuffer(&m_patternBuffer);
    CSorbelin* const codecTests[] = {&m_diagA, &m_diagB, &m_packerA, &m_packerB, &m_unpackerA,
                                     &m_unpackerB, &m_encoderA, &m_encoderB, &m_decoderA, &m_decoderB};
    for (CSorbelin* test : codecTests) test->SetPatternBuffer(&m_patternBuffer);
}

void CNuxaBoardTests::ProgramAtStartUp(const CString& command) { Program(command, 2); }

BOOL CNuxaBoardTests::CheckDIMMGeometry(BYTE rowBits, BYTE columnBits, CString& message) {
    if (rowBits == 13 && columnBits == 10) return TRUE;
    message.Format("Incorrect Number of Row/Column addresses,exp: R=13,C=10 act:R=%d,C=%d", rowBits, columnBits);
    return FALSE;
}

BOOL CNuxaBoardTests::CheckDIMMSize(DWORD sizeMB, CString& message) {
    if (sizeMB == 256) return TRUE;
    message.Format("Incorrect Size Expect:256MB   Actual:%dMB", static_cast<int>(sizeMB));
    return FALSE;
}

DWORD CNuxaBoardTests::SetFillPattern(CString command) {
    CString refusal;
    if (fillpattern::Apply(m_patternBuffer, m_fillFirst, m_fillEnd, command, &refusal)) return kRunPassed;
    if (!refusal.IsEmpty()) PrintColor(refusal, kColorRed);
    return 0;
}

namespace {

// The command text ends in the ">" that closes the test's arguments: a file name at the end would
// keep it.
CString WithoutClosingBracket(const CString& command) {
    const int close = command.ReverseFind('>');
    return close >= 0 ? command.Left(close) : command;
}

}  // namespace

DWORD CNuxaBoardTests::DisplayRev(const CString& args) {
    CString file;
    if (!ReadDisplayRevFile(args, file)) return 0;
    if (file.Find("$(ZYVPKG)") >= 0) {
        if (file.Replace("\\$(ZYVPKG)", "") == 0) file.Replace("$(ZYVPKG)", "");
        ExpandPathMacros(file, TRUE, TRUE);
        CString line;
        line.Format("Zyv files[%s] date[%u]\n", file.c_str(), ZyvPackageDate(file));
        PrintColor(line, kColorGreen);
        return kRunPassed;
    }
    // The board-link image is found the way its test finds it, the codec chips' images the way the
    // codec tests find them.
    if (file.Find("\\FESK") >= 0) m_links.vantrelCodec.DetermineFilenameOXD(file, FALSE, 1);
    else m_diagA.DetermineFilenameOXD(file, 0, 0, 1);
    return ShowOxdRevision(file);
}

DWORD CNuxaBoardTests::CompareFiles(const CString& command) {
    auto fail = [this](const char* format, const CString& a, const CString& b = CString()) {
        CString line;
        line.Format(format, a.c_str(), b.c_str());
        PrintColor(line, kColorRed);
        return kRunFailed;
    };
    const CParamString params(command);
    CString names[2];
    if (!params.GetValue("FILE1", names[0])) return fail("ERROR:  FILE1= not specified on the command line.\n", "");
    if (!params.GetValue("FILE2", names[1])) return fail("ERROR:  FILE2= not specified on the command line.\n", "");
    static const char* const kExpand[] = {"ERROR:  Unable to expand variables FILE1[%s] setting.\n",
                                          "ERROR:  Unable to expand variables FILE2[%s] setting.\n"};
    for (int i = 0; i < 2; ++i)
        if (ExpandPathMacros(names[i], TRUE, TRUE) == kPathNotFound) return fail(kExpand[i], names[i]);
    CFile files[2];
    static const char* const kOpen[] = {"ERROR:  Unable to open FILE1[%s].\n", "ERROR:  Unable to open FILE2[%s].\n"};
    for (int i = 0; i < 2; ++i)
        if (!files[i].Open(names[i], CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary))
            return fail(kOpen[i], names[i]);
    const LONGLONG length = files[0].GetLength();
    if (length != files[1].GetLength())
        return fail("ERROR:  FILE1[%s] and FILE2[%s] have different lengths.\n", names[0], names[1]);
    // In pieces: files of any size, with no more memory than two pieces.
    switch (platform::CompareFileContents(files[0], files[1], length, g_StopFlag())) {
    case platform::FileComparison::Equal: return kRunPassed;
    case platform::FileComparison::Stopped: return kRunStopped;
    case platform::FileComparison::FirstUnreadable: return fail("ERROR:  Unable to read FILE1[%s].\n", names[0]);
    case platform::FileComparison::SecondUnreadable: return fail("ERROR:  Unable to read FILE2[%s].\n", names[1]);
    case platform::FileComparison::Different: break;
    }
    return fail("ERROR:  FILE1[%s] does not match FILE2[%s].\n", names[0], names[1]);
}

DWORD CNuxaBoardTests::CompareFilesCommand(const KeywordCall& call) {
    const DWORD result = CompareFiles(WithoutClosingBracket(call.command));
    if (result != kRunPassed) PrintColor("ERROR:  File compare failed\n", kColorRed);
    return result;
}

DWORD CNuxaBoardTests::CopyFileCommand(const KeywordCall& call) {
    const DWORD result = CopyFileStep(WithoutClosingBracket(call.command));
    if (result != kRunPassed) PrintColor("ERROR:  File copy failed\n", kColorRed);
    return result;
}

DWORD CNuxaBoardTests::RunKeyword(const KeywordCall& call) {
    using Root = CNuxaBoardTests;
    using M = KeywordMatch;
    using R = KeywordResult;
    // The codec board's own commands; the shared ones follow in DispatchKeyword.
    static const KeywordRow<Root> kTable[] = {
        {"Zero", M::Exact, R::PassWhenOne, &Root::FillPatternCommand},
        {"Unique Byte", M::Exact, R::PassWhenOne, &Root::FillPatternCommand},
        {"Incrementing", M::Exact, R::PassWhenOne, &Root::FillPatternCommand},
        {"Increment XOR", M::Prefix, R::PassWhenOne, &Root::FillPatternCommand},
        {"Specify DWord", M::Prefix, R::PassWhenOne, &Root::FillPatternCommand},
        {"\"Save Image\"", M::Prefix, R::Handler, &Root::SaveDCBImageCommand},
        {"\"Save Alpha\"", M::Prefix, R::Handler, &Root::SaveDCBImageCommand},
        {"\"Show Device Temperatures\"", M::Exact, R::Handler, &Root::TemperaturesCommand},
        {"Compare Files", M::Prefix, R::Handler, &Root::CompareFilesCommand},
        {"Copy File", M::Prefix, R::Handler, &Root::CopyFileCommand},
    };
    return DispatchKeyword(*this, kTable, call);
}
