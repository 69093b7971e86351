// CNuxaBoardTests: construction, member order, keyword table and DIMM checks of the codec-board root.
#include "boards/roots/nuxa_board_tests.h"

#include <utility>

#include "framework/result_screen.h"

namespace {

constexpr BoardRootProfile kNuxaProfile = {
    "CNuxaBoardTests",
    CZorvDevice::DEVTYPE_NUXA,
    treepath::RootKind::CodecBoard,
    "Nuxa",
    "Nuxa",
    "Nuxa diagnostics are in Manufacturing mode\n\n",
    "NuxaTree_Eng.txt",
    "NuxaTree_Mfg.txt",
    &CBoardRoot::IsCodecBoardDevice,
};

}  // namespace

CNuxaBoardTests::CNuxaBoardTests(CString name)
    : CBoardRoot(std::move(name), kNuxaProfile),
      m_jastel("CJastel"),
      m_wexal("CWexal"),
      m_memClk("mem_clk", &m_wexal),
      m_ramBlock("RAMblock"),
      m_memTestA("MemTestA"),
      m_memTestB("MemTestB"),
      m_programTable{{3, "$(CWD)\\testdata\\FESK$(VPDVER).oxd"}, {4, "$(CWD)\\testdata\\FESK$(VPDVER).oxd"}} {
    StartUp();
}

CNuxaBoardTests::~CNuxaBoardTests() = default;

// The order is "CDremolun", "CJastel", "CNuxaDSPA", "CNuxaDSPB", the ten codec tests (Diag,
// Packer, Unpacker, Encoder, Decoder; A before B), "CWexal.Unpacker.A", "CWexal.Unpacker.B",
// "CVantrelCodec", "CVantrelExpansion", "CWexal", "CableLoopback", "CNulk", "CBexi", "SCRport",
// "mem_clk", "Tcl", "FlashTest", "JastelTest", "DCBActive", "BCUActive", "RAMblock", "MemTestA",
// "MemTestB", "Flash"; each other test joins as it is built.
void CNuxaBoardTests::SetParents() {
    m_jastel.SetParent(this);
    m_wexal.SetParent(this);
    m_memClk.SetParent(this);
    m_ramBlock.SetParent(this);
    m_memTestA.SetParent(this);
    m_memTestB.SetParent(this);
}

void CNuxaBoardTests::ProgramAtStartUp(const CString& command) {
    // FPGA programming runs each PD=ALL command here: Program(command, 2).
    (void)command;
}

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

DWORD CNuxaBoardTests::CopyFileCommand(const KeywordCall& call) {
    // The command text ends in the ">" that closes the test's arguments: a DST= at the end would
    // keep it as part of the file name.
    CString command = call.command;
    const int close = command.ReverseFind('>');
    if (close >= 0) command = command.Left(close);
    const DWORD result = CopyFileStep(command);
    if (result != kRunPassed) PrintColor("ERROR:  File copy failed\n", kColorRed);
    return result;
}

DWORD CNuxaBoardTests::RunKeyword(const KeywordCall& call) {
    using Root = CNuxaBoardTests;
    using M = KeywordMatch;
    using R = KeywordResult;
    // Rows without a handler belong to commands that are not part of this build yet; they are
    // passed over until their handlers join.
    static const KeywordRow<Root> kTable[] = {
        {"Zero", M::Exact, R::PassWhenOne, nullptr},  // SetFillPattern(arguments), also the next four
        {"Unique Byte", M::Exact, R::PassWhenOne, nullptr},
        {"Incrementing", M::Exact, R::PassWhenOne, nullptr},
        {"Increment XOR", M::Prefix, R::PassWhenOne, nullptr},
        {"Specify DWord", M::Prefix, R::PassWhenOne, nullptr},
        {"Display Rev", M::Prefix, R::PassWhenOne, nullptr},  // DisplayRev(arguments)
        {"I2C Clock", M::Prefix, R::Handler, nullptr},  // I2CClock(arguments)
        {"Show VPD Information", M::Exact, R::PassWhenOne, nullptr},  // ShowVPDInformation()
        {"Show DCB Info", M::Prefix, R::Handler, nullptr},  // ShowDCBInfo(rest)
        {"\"Save Image\"", M::Prefix, R::Handler, nullptr},  // SaveDCBImage(command)
        {"\"Save Alpha\"", M::Prefix, R::Handler, nullptr},  // SaveDCBImage(command)
        {"Program", M::Prefix, R::Handler, nullptr},  // Program(arguments, verbose)
        {"InitPexano", M::Prefix, R::Handler, nullptr},  // InitPexano(arguments, 1)
        {"\"Show Device Temperatures\"", M::Exact, R::Handler, nullptr},  // ShowDeviceTemperatures(1)
        {"\"Show DIMM Information\"", M::Prefix, R::PassWhenOne, &Root::ShowDIMMInfoCommand},
        {"\"Check VPD Structure\"", M::Exact, R::PassWhenOne, &Root::CheckVPDStructureCommand},
        {"Compare Files", M::Prefix, R::Handler, nullptr},  // CompareFiles(command), failure line
        {"Copy File", M::Prefix, R::Handler, &Root::CopyFileCommand},
        {"FileMap", M::Prefix, R::Handler, &Root::FileMapCommand},
    };
    return DispatchKeyword(*this, kTable, call);
}
