// CBoardRoot: start-up of a board root, device binding, test-tree publishing and command dispatch.
#include "boards/roots/board_root.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>

#include "boards/memory/mem_clk.h"
#include "codec/dsp/zyv_file.h"
#include "framework/arg_number.h"
#include "framework/hw/jastel.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "framework/test_base.h"
#include "platform/file_identity.h"
#include "platform/files.h"
#include "platform/host_ui.h"

namespace {

constexpr COLORREF kBannerBackground = 0x00F0FF;  // yellow

// A clock delta is a distance between two clock settings: never negative.
constexpr platform::NumberField kClockDeltaField{0, INT32_MAX};

constexpr char kTreeFileRole[] = "a test tree file";

}  // namespace

DWORD CBoardRoot::ZyvPackageDate(const CString& directory) { return GetZyvPackageDate(directory); }

CBoardRoot::CBoardRoot(CString name, const BoardRootProfile& profile)
    : CWexalTreeMapTB(std::move(name)),
      m_profile(profile),
      m_tree(std::make_unique<CDirTreeOrdered>("")),
      m_queue(std::make_unique<CStringQueue>(m_tree.get(), "\\")) {}

CBoardRoot::~CBoardRoot() = default;

BOOL CBoardRoot::IsMainBoardDevice(CZorvDevice* device) {
    return device && device->GetType() == CZorvDevice::DEVTYPE_BRIMOLA ? TRUE : FALSE;
}

BOOL CBoardRoot::IsCodecBoardDevice(CZorvDevice* device) {
    return device && device->GetType() == CZorvDevice::DEVTYPE_NUXA ? TRUE : FALSE;
}

CString CBoardRoot::GetProgramDir() { return m_programDir; }

void CBoardRoot::StartUp() {
    SetCodeName(m_profile.codeName);
    if (!IsEngineering()) PrintStyled(m_profile.banner, kColorBlack, kBannerBackground, TRUE);
    m_treePath = ChooseTreePath(m_profile);
    // The run reads these from the program folder: no test may save over them either. Both roots'
    // trees are among them before the first root calibrates its memory clock, whose store the rig
    // may have put on the other root's tree.
    const CString programDir = GetProgramDirectory();
    platform::ProtectFile(platform::MapPath(programDir + "Environment.txt"), "the library's environment file");
    platform::ProtectFile(platform::MapPath(programDir + "DeviceCompatiblity.txt"), "the library's compatibility rules file");
    for (const BoardRootProfile* profile : {&BrimolaRootProfile(), &NuxaRootProfile()})
        platform::ProtectFile(platform::MapPath(ChooseTreePath(*profile)), kTreeFileRole);
    SetParents();
    BindDevices();
    ReadTestTree(m_treePath, kTreeOrderBase);
    RegisterSelf();

    CString problem;
    const int clockDelta = ReadClockDelta(ReadCmdLine(), &problem);
    if (!problem.IsEmpty()) PrintColor(problem, kColorRed);
    CalibrateClockAtStartUp(clockDelta);
    for (const CString& command : GetStartupProgramCommands()) ProgramAtStartUp(command);
}

CString CBoardRoot::ChooseTreePath(const BoardRootProfile& profile) {
    CString path = GetProgramDirectory();
    if (path.IsEmpty()) path = ".\\";
    const CString config = GetSwitchValue("Config");
    if (!config.IsEmpty()) return path + config;
    return path + (IsEngineering() ? profile.engineeringTree : profile.manufacturingTree);
}

void CBoardRoot::HandBoardIFToChildren() {
    if (!m_children) return;
    for (const auto& [name, child] : *m_children)
        if (auto* tree = dynamic_cast<CWexalTreeMapTB*>(child)) tree->TakeBoardIF(this);
}

// Each board of this kind is bound in turn, so the children end up with the last one.
void CBoardRoot::BindDevices() {
    char* names = nullptr;
    const int count = GetBoardDeviceNames(names);
    CHostPCDevice* hardware = GetZorvHardware();
    const char* name = names;
    for (int i = 0; i < count; ++i, name += std::strlen(name) + 1) {
        CZorvDevice* device = hardware ? hardware->GetDevice(name) : nullptr;
        if (!device || device->GetType() != m_profile.deviceType) continue;
        if (SetupDevice(name) != kRunPassed) continue;
        auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
        if (board && board->GetRegisters() && m_children) HandBoardIFToChildren();
    }
    std::free(names);
}

int CBoardRoot::ReadClockDelta(const CString& switches, CString* problem) {
    if (problem) problem->Empty();
    CString value;
    if (!CParamString(switches).GetValue("CLKDELTA", value)) return kDefaultClockDelta;
    const platform::FieldScan read = platform::ReadField(value.c_str(), platform::NumberForm::Decimal, kClockDeltaField);
    // The whole value is the number: "25x" is no delta, nor is "0x19".
    const bool whole = read.fit != platform::NumberFit::None && *read.end == '\0';
    if (whole && read.fit == platform::NumberFit::Fits) return static_cast<int>(read.value);
    if (problem) {
        CString line;
        if (whole) {
            line = RefusedArgument("CLKDELTA", value, kClockDeltaField);
            line.TrimRight("\n");
            line.AppendFormat("; the clock test uses %d\n", kDefaultClockDelta);
        } else {
            line.Format("ERROR:  CLKDELTA=%s is not a decimal number; the clock test uses %d\n", value.c_str(),
                        kDefaultClockDelta);
        }
        *problem = line;
    }
    return kDefaultClockDelta;
}

std::vector<CString> CBoardRoot::GetStartupProgramCommands() {
    std::vector<CString> commands;
    if (GetSwitchValue("PD").CompareNoCase("ALL") != 0) return commands;
    for (const ProgramEntry& entry : GetProgrammingTable()) {
        CString command;
        command.Format("Program DEVICE=%d FILE=%s", entry.device, entry.file.c_str());
        commands.push_back(command);
    }
    return commands;
}

treepath::ConditionFacts CBoardRoot::GatherConditionFacts() {
    treepath::ConditionFacts facts;
    char* list = nullptr;
    facts.mainBoards = GetMainBoardDeviceNames(list);
    std::free(list);
    list = nullptr;
    facts.codecBoards = GetCodecBoardDeviceNames(list);
    std::free(list);
    if (m_profile.kind == treepath::RootKind::CodecBoard) facts.zyvPackageDate = ZyvPackageDate(GetDriversDirectory());
    facts.releaseId = GetReleaseId();
    facts.switchesUpper = ReadCmdLine();
    facts.switchesUpper.MakeUpper();
    if (CZorvDevice* device = GetDevice()) {
        facts.hasDevice = true;
        facts.hasX2V4000 = device->GetSpace("X2V4000") != nullptr;
        facts.hasX2V6000 = device->GetSpace("X2V6000") != nullptr;
    }
    return facts;
}

CString CBoardRoot::MakeCommandText(const CString& strippedPath) {
    CString object, test, arguments;
    SplitCommandLine(CString(treepath::BoardWord(m_profile.kind)) + " " + strippedPath, object, test, arguments);
    CString text;
    text.Format("<%s %s>", test.c_str(), arguments.c_str());
    return text;
}

int CBoardRoot::ReadTestTree(CString path, int orderBase) {
    const treepath::ConditionFacts facts = GatherConditionFacts();
    m_programDir = GetProgramDirectory();

    // A fresh reader each time: the parser appends to what it already holds.
    m_tree = std::make_unique<CDirTreeOrdered>("");
    m_queue = std::make_unique<CStringQueue>(m_tree.get(), "\\");
    // The run depends on its tree: no test may save over it.
    platform::ProtectFile(platform::MapPath(path), kTreeFileRole);
    const int ownBoards = m_profile.kind == treepath::RootKind::MainBoard ? facts.mainBoards : facts.codecBoards;
    // A board on the rig whose tests cannot be published leaves it untested: the run cannot pass.
    const auto fault = [&](const CString& line) {
        PrintColor("*** ERROR:  " + line + "\n", kColorRed);
        CString reason;
        reason.Format("the %s board's tests are not published: %s", m_profile.boardName, line.c_str());
        if (ownBoards > 0) platform::NoteStartupFault(reason);
    };
    if (const int read = m_tree->Parse(path); read != 1) {
        fault("Unable to read " + path + (read == 4 ? " (more than 2 GiB, larger than a test tree file may be)" : ""));
        return 0;
    }
    // Stray characters are skipped by design; only an engineer editing a tree wants to hear of them.
    if (IsEngineering())
        for (const CString& warning : m_tree->GetWarnings()) PrintColor("Note: " + path + " " + warning + "\n", kColorBlack);
    if (ownBoards == 0) {
        CString line;
        line.Format("No %s board was found: its tests are not published.\n", m_profile.boardName);
        PrintColor(line, kColorBlack);
    }

    m_tree->SetOrderBase(orderBase);
    m_queue->Refill("\\");
    const bool engineering = IsEngineering() != FALSE;
    // Judged by what is published, after the mode, the conditions and the test rule: nodes they
    // drop test nothing. A private tree ("Config") may name one board alone, so it fails only
    // when it names a test for neither.
    const bool privateTree = !GetSwitchValue("Config").IsEmpty();
    bool holdsTest = false, published = false;
    std::set<const CZorvDevice*> bound;
    for (; m_queue->GetCount() > 0; m_queue->Pop()) {
        const CString rawPath = m_queue->GetFront(FALSE);
        CString recordPath;
        if (treepath::MakeRecordPath(rawPath, treepath::BoardWord(m_profile.kind), m_profile.kind, engineering, facts,
                                     recordPath)) {
            holdsTest = published = true;
            for (const CZorvDevice* device : PublishTests(recordPath, MakeCommandText(m_queue->GetFront(TRUE)), m_profile.filter))
                bound.insert(device);
        } else if (privateTree && !holdsTest) {
            holdsTest = treepath::IsOtherBoardsTest(rawPath, m_profile.kind, engineering);
        }
    }
    if (!holdsTest) fault(path + " holds no test");
    // What the tree published must reach every board of this kind: a record's command finds its
    // board by name, and a name that finds another device first leaves this board untested.
    if (published)
        for (const CString& line : UnboundBoards(bound)) fault(line);
    return 1;
}

std::vector<CString> CBoardRoot::UnboundBoards(const std::set<const CZorvDevice*>& bound) {
    std::vector<CString> lines;
    CHostPCDevice* hardware = GetZorvHardware();
    if (!hardware) return lines;
    std::vector<CZorvDevice*> boards;
    const int types[] = {m_profile.deviceType, CZorvDevice::DEVTYPE_END};
    hardware->GetDevList(types, boards);
    for (const CZorvDevice* board : boards) {
        if (bound.count(board)) continue;
        const CString tag = board->GetTag();
        CZorvDevice* found = hardware->GetDevice(tag.c_str());
        CString line;
        line.Format("No test is bound to board \"%s\"", tag.c_str());
        if (found && found != board) line.AppendFormat(": its tag finds the device \"%s\" first", found->GetTag().c_str());
        lines.push_back(line);
    }
    return lines;
}

int CBoardRoot::ReadVerbose(const CString& arguments) {
    // A level past an int keeps 1 for the header; the keyword or the test refuses it.
    const ArgNumber read = ReadArgValue(CParamString(arguments), "VERBOSE", platform::NumberForm::Decimal, platform::kSigned32Field);
    return read.state == ArgRead::Read ? static_cast<int>(read.value) : 1;
}

void CBoardRoot::PrintHeader(const CString& name, const CString& arguments, int verbose) {
    if (verbose == 0) return;
    CString header;
    header.Format("\n--- %s %s ---\n", name.c_str(), arguments.c_str());
    PrintColor(header, kColorBlack);
}

void CBoardRoot::ReportNotRecognized(const CString& command) {
    PrintColor(CString("\n\nERROR:  ") + m_profile.codeName + "\n\"" + command + "\" Not recognized as a valid test\n",
               kColorRed);
}

DWORD CBoardRoot::Run(CString command) {
    CString object, test, arguments;
    CTestBase* child = FindTest(command, object, test, arguments);
    if (!child) {
        CString line;
        line.Format("ERROR:  Unable to find test[%s]\n", command.c_str());
        PrintColor(line, kColorRed);
        return kRunFailed;
    }
    SetupDevice(object);
    CZorvDevice* device = GetDevice();
    if (!device) {
        PrintColor("ERROR:  m_pDevice is NULL", kColorRed);
        return kRunFailed;
    }

    // A test that changes the RAM clock enables leaves them as it found them.
    auto* board = dynamic_cast<CWexalBoardDevice*>(device);
    const RegisterPtr controller = board ? board->GetControllerRegisters() : RegisterPtr();
    const DWORD savedRam = controller ? static_cast<DWORD>(controller[CJastel::kRamWord]) : 0;
    HandBoardIFToChildren();
    GetController()->SetControllerRegisters(controller);
    PrepareChildren(board);

    const int verbose = ReadVerbose(arguments);
    DWORD result;
    if (child == this) {
        PrintHeader(GetName(), arguments, verbose);
        const CString refused = RefusedInts(CParamString(arguments), {"VERBOSE"});
        if (!refused.IsEmpty()) PrintColor(refused, kColorRed);
        result = refused.IsEmpty() ? RunKeyword(KeywordCall{command, arguments, CString(), verbose}) : kRunFailed;
    } else {
        PrintHeader(test, arguments, verbose);
        result = child->Run(arguments);
    }
    if (controller) controller[CJastel::kRamWord] = savedRam;
    return result;
}

DWORD CBoardRoot::Help(CString command) {
    CString object, test, arguments;
    CTestBase* child = FindTest(command, object, test, arguments);
    if (!child) return kRunPassed;
    if (child == this) {
        CString line;
        line.Format("\nHelp is not available for:\n  %s %s\n", m_profile.codeName, command.c_str());
        PrintColor(line, kColorBlack);
        return kRunPassed;
    }
    return child->Help(arguments);
}

void CBoardRoot::CalibrateClockAtStartUp(int clockDelta) {
    mem_clk& clock = GetMemClk();
    clock.SetClockDelta(static_cast<DWORD>(clockDelta));
    clock.Run(kStartupClockLine);
}

BoardLinkTests::BoardLinkTests()
    : vantrelCodec(CVantrel::kCodecPort, "CVantrelCodec"), vantrelExpansion(CVantrel::kExpansionPort, "CVantrelExpansion") {}

void BoardLinkTests::SetParents(CWexalTreeMapTB* root) {
    vantrelCodec.SetParent(root);
    vantrelExpansion.SetParent(root);
}

BoardSharedTests::BoardSharedTests()
    : flashTest("FlashTest"),
      jastelTest("JastelTest"),
      dcbActive("DCBActive"),
      bcuActive("BCUActive"),
      ramBlock("RAMblock"),
      memTestA("MemTestA"),
      memTestB("MemTestB"),
      flash("Flash") {}

void BoardSharedTests::SetParents(CWexalTreeMapTB* root) {
    flashTest.SetParent(root);
    jastelTest.SetParent(root);
    dcbActive.SetParent(root);
    bcuActive.SetParent(root);
    ramBlock.SetParent(root);
    memTestA.SetParent(root);
    memTestB.SetParent(root);
    flash.SetParent(root);
}
