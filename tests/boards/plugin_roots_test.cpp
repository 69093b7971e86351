// Tests of the board roots as the host meets them: the real plug-in loaded with dlopen on chosen
// rigs, switches and tree files; what it publishes and prints before the host attaches; dispatch.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/test_record.h"
#include "platform/host_ui.h"
#include "platform/paths.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"

using namespace support;

namespace {

// A shipped data file, as the build copied it beside the test.
std::string Bin(const std::string& name) {
    static const std::string dir = platform::GetProgramDir();
    return dir + name;
}

struct Leaf {
    std::string command, codeName;
    bool checked = false;
    TestRecord* record = nullptr;
};

// What a load is given: the rig (empty: the default rig), the switches, a tree file "Tree.txt"
// (empty: the shipped tree files instead) and a step before the library loads. The shipped images
// and compatibility rules are always there.
struct LoadSetup {
    std::string rig{}, switches{}, tree{};
    void (*beforeLoad)() = nullptr;
    bool drivers = true;  // the installed drivers folder (table packages, microcode, encoder image)
};

// The plug-in loaded in a folder of its own, handed to a recording host; its leaves by path
// ("Brimola1/Summary/Test Summary"); unloaded at the end.
class LoadedPlugin {
public:
    explicit LoadedPlugin(const LoadSetup& setup) {
        m_dir.Write("CmdLine", "pexhost " + setup.switches);
        m_dir.Write("Environment.txt", ReadText(Bin("Environment.txt")));
        for (const char* tree : {"BrimolaTree_Eng.txt", "BrimolaTree_Mfg.txt", "NuxaTree_Eng.txt", "NuxaTree_Mfg.txt"})
            if (setup.tree.empty()) m_dir.Write(tree, ReadText(Bin(tree)));
        if (!setup.tree.empty()) m_dir.Write("Tree.txt", setup.tree);
        // The firmware images and the rules the shipped trees and PD=ALL program from.
        std::filesystem::create_directory_symlink(Bin("testdata"), m_dir.File("testdata"));
        if (setup.drivers) std::filesystem::create_directory_symlink(Bin("system"), m_dir.File("system"));
        m_dir.Write("DeviceCompatiblity.txt", ReadText(Bin("DeviceCompatiblity.txt")));
        platform::SetProgramDir(m_dir.Path());
        std::string error;
        if (setup.rig.empty()) devlib::LoadDefaultRig();
        else EXPECT_TRUE(devlib::LoadRigFile(m_dir.Write("rig.json", setup.rig), &error)) << error;
        if (setup.beforeLoad) setup.beforeLoad();
        m_library = dlopen(PEX_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(m_library, nullptr) << dlerror();
        auto entry = reinterpret_cast<TestList* (*)(CTestHost*, int*)>(m_library ? dlsym(m_library, "GetTestList") : nullptr);
        const TestList* list = entry ? entry(&m_host, &m_stop) : nullptr;
        preHostText = ctrl.m_text;
        for (int i = 0; list && i < list->count; ++i) {
            TestRecord* r = list->records[i];
            std::string path = r->m_name.str();
            for (const TestRecord* p = r->m_parent; p; p = p->m_parent) path = p->m_name.str() + "/" + path;
            if (r->m_isLeaf) {
                leaves[path] = {r->m_command.str(), r->m_codeName.str(), r->m_checked != FALSE, r};
                order.push_back(path);
            }
        }
    }
    ~LoadedPlugin() {
        Unload();
        platform::SetProgramDir("");
        devlib::LoadDefaultRig();
    }
    // Runs the static destructors; true when the library really left the process.
    bool Unload() {
        const int closed = m_library ? dlclose(m_library) : -1;
        m_library = nullptr;
        void* again = dlopen(PEX_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD);
        if (again) dlclose(again);
        return closed == 0 && !again;
    }
    std::string File(const std::string& name) const { return m_dir.File(name); }
    // Runs a command on the owner of the leaves of that root ("CNuxaBoardTests").
    DWORD RunOn(const std::string& root, const char* command) {
        for (const auto& [path, leaf] : leaves)
            if (leaf.codeName == root) return leaf.record->m_owner->Run(command);
        return 0xDEAD;
    }
    std::vector<std::string> Paths() const {
        std::vector<std::string> paths;
        for (const auto& [path, leaf] : leaves) paths.push_back(path);
        return paths;
    }

    std::string preHostText;
    std::map<std::string, Leaf> leaves;
    std::vector<std::string> order;  // leaf paths in the order the host lists them
    FakeRichEdit ctrl;

private:
    TempDir m_dir;
    ScopedCwd m_cwd{m_dir.Path()};
    void* m_library = nullptr;
    FakeHost m_host{&ctrl};
    int m_stop = 0;
};

// The default rig and a third, codec board with the tag given, loaded as the rig file could not.
void LoadWithThirdBoard(const char* tag) {
    sim::RigConfig rig = sim::DefaultRig();
    rig.boards.push_back(sim::DefaultBoard(sim::BoardKind::Nuxa, tag));
    devlib::LoadRig(rig);
}

// The leaves a shipped tree file holds: its lines that carry a command ("#" lines are comments).
// Without the other board of the pair, the folders that require it are left out, and so are the
// connector loopback folders, whose switch (-NULKLOOPBACK) these loads do not give.
size_t Shipped(const char* tree, bool paired = true) {
    std::ifstream in(Bin(tree));
    size_t leaves = 0, skipFrom = std::string::npos;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t depth = line.find_first_not_of('\t');
        if (skipFrom != std::string::npos) {
            if (depth == skipFrom && line.find('}') != std::string::npos) skipFrom = std::string::npos;
            continue;
        }
        const bool needsPartner = line.find("&(Requirement=Nuxa)") != std::string::npos ||
                                  line.find("&(Requirement=Brimola)") != std::string::npos;
        if ((!paired && needsPartner) || line.find("&(Requirement=NulkLoopback)") != std::string::npos) skipFrom = depth;
        else leaves += line.find('<') != std::string::npos;
    }
    return leaves;
}

// Every controller register of both boards but the flash data port, whose reads move the flash address on.
std::vector<DWORD> ControllerWords() {
    std::vector<DWORD> words;
    for (const char* tag : {"Brimola1", "Nuxa1"})
        for (int w : {0, 1, 2, 4, 5, 6, 7}) words.push_back(RigBoard(tag)->GetControllerRegisters()[w]);
    return words;
}

TEST(PluginRoots, DefaultLoadPublishesTheShippedTreesRunsThemAndUnloadsWithoutTouchingTheBoards) {
    LoadedPlugin plugin(LoadSetup{});
    // Built at load, main board first, before any host was there; outside engineering mode the
    // start-up clock calibration keeps its window to itself.
    // The codec root's encoder tests (A, B) announce their default environment as they are built.
    const std::string encoder = "VCID_LIST = 0X4D6,0X4E3,0X4E4,0X4E5\nENCODE_IMAGE = $(ZORV)\\GUWT$(VPDVER).OXD\n"
                                "DSP_MICRO = $(ZORV)\\KAWF0101.OXD\nZYV_DIRECTORY = $(ZORV)\n"
                                "COMPRESS_IMAGE = $(CWD)\\TESTDATA\\VCID\\$(VCID_LIST)\\ENCODED_2.IMG\n"
                                "DECOMPRESS_IMAGE = $(CWD)\\TESTDATA\\VCID\\DECODED_$(X)_$(Y)_$(P).IMG\nZyv package date = 20040521\n";
    EXPECT_EQ(plugin.preHostText, "Brimola diagnostics are in Manufacturing mode\n\nBrimola Revisions:\n" + encoder + encoder +
                                      "Nuxa diagnostics are in Manufacturing mode\n\nNuxa Revisions:\n");
    ASSERT_EQ(plugin.leaves.size(), Shipped("BrimolaTree_Mfg.txt") + Shipped("NuxaTree_Mfg.txt"));
    const Leaf& summary = plugin.leaves["Brimola1/Summary/Test Summary"];
    EXPECT_EQ(summary.command + summary.codeName, "Brimola1 <CBrimolaBoard Show Test Summary>CBrimolaBoardTests");
    // A test without arguments is written with a blank before its ">", so it is found.
    EXPECT_EQ(plugin.leaves["Brimola1/SDRAM/Memory Lines Stepped Patterns"].command, "Brimola1 <MemTestB >");
    const Leaf& controller = plugin.leaves["Nuxa1/Board Controller/RAM Clock Enable"];
    EXPECT_EQ(controller.command + controller.codeName, "Nuxa1 <CJastel SorbelinRAM_CE>CNuxaBoardTests");
    // Each run prints into the host's window; the image tests clear it, so look after each run. The
    // leaves run in the host's order: the codec chip tests need their chip programmed first.
    for (const std::string& path : plugin.order) {
        const Leaf& l = plugin.leaves[path];
        plugin.ctrl.SetWindowText("");
        EXPECT_TRUE(l.checked) << path;
        EXPECT_EQ(l.record->m_owner->Run(l.command.c_str()), kRunPassed) << path;
        if (&l == &controller) {
            EXPECT_EQ(plugin.ctrl.m_text, "\n--- CJastel SorbelinRAM_CE ---\n");
        }
    }
    const std::vector<DWORD> before = ControllerWords();
    EXPECT_TRUE(plugin.Unload());
    EXPECT_EQ(ControllerWords(), before);
}

TEST(PluginRoots, EngineeringModeAnnouncesEveryObjectAndPublishesBothFolders) {
    LoadedPlugin plugin({.switches = "-ENGINEERING"});
    // The members in their order, then the start-up calibration with its clock window.
    const std::string lastMembers = "Create class FlashTest\nCreate class JastelTest\nCreate class DCBActive\nCreate class BCUActive\n"
                                    "Create class RAMblock\nCreate class MemTestA\n"
                                    "Create class MemTestB\nCreate class Flash\n";
    // The board links come before the FPGA-pair loopback (main board) and the Tcl test (both).
    EXPECT_EQ(Count(plugin.preHostText, "Create class CJastel\nCreate class CWexal\nCreate class CKerzil\nCreate class CSulvethA\n"
                                        "Create class CSulvethB\nCreate class CNulk\nCreate class CBexi\n"
                                        "Create class CableLoopback\nCreate class CBrimolaWemp\nCreate class SCRport\nCreate class mem_clk\n"
                                        "Create class CVantrelCodec\nCreate class CVantrelExpansion\nCreate class SulvethLoop\n"
                                        "Create class Tcl\n" + lastMembers), 1u);
    // The encoder tests announce their default environment after their own line.
    EXPECT_EQ(Count(plugin.preHostText, "Create class CDremolun\nCreate class CJastel\nCreate class CNuxaDSPA\nCreate class CNuxaDSPB\n"
                                        "Create class CSorbelinDiagA\nCreate class CSorbelinDiagB\nCreate class CSorbelinPackerA\n"
                                        "Create class CSorbelinPackerB\nCreate class CSorbelinUnpackerA\nCreate class CSorbelinUnpackerB\n"
                                        "Create class CSorbelinEncoderA\nVCID_LIST = "),
              1u);
    EXPECT_EQ(Count(plugin.preHostText, "\nCreate class CSorbelinEncoderB\nVCID_LIST = "), 1u);
    EXPECT_EQ(Count(plugin.preHostText, "\nZyv package date = "), 2u);
    EXPECT_EQ(Count(plugin.preHostText, "\nCreate class CSorbelinDecoderA\nCreate class CSorbelinDecoderB\nCreate class CWexal\n"
                                        "Create class CNulk\nCreate class CBexi\nCreate class CableLoopback\n"
                                        "Create class CWexal.Unpacker.A\nCreate class CWexal.Unpacker.B\n"
                                        "Create class SCRport\nCreate class mem_clk\nCreate class CVantrelCodec\n"
                                        "Create class CVantrelExpansion\nCreate class Tcl\n" + lastMembers), 1u);
    EXPECT_EQ(Count(plugin.preHostText, " Revisions:\n\nClock Window Begins: 110 Clock Window Ends: 210\nSetting clock value to 160\n"), 2u);
    ASSERT_EQ(plugin.leaves.size(), Shipped("BrimolaTree_Eng.txt") + Shipped("NuxaTree_Eng.txt"));
    // The production run stays checked; the engineering variants wait to be chosen.
    size_t production = 0;
    for (const auto& [path, l] : plugin.leaves) {
        production += l.checked;
        EXPECT_EQ(l.checked, path.find("/Manufacturing/") != std::string::npos) << path;
    }
    EXPECT_EQ(production, Shipped("BrimolaTree_Mfg.txt") + Shipped("NuxaTree_Mfg.txt"));
}

TEST(PluginRoots, RecordsFollowTheBoardsOfTheRig) {
    {
        LoadedPlugin plugin({.rig = R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}]})"});
        EXPECT_EQ(plugin.leaves.size(), Shipped("BrimolaTree_Mfg.txt", false));
        EXPECT_EQ(Count(plugin.preHostText, "No Nuxa board was found: its tests are not published.\n"), 1u);
    }
    {
        LoadedPlugin plugin({.rig = kThreeBoardRig});
        // Two main boards and one codec board make no pairs: the board-link folders are left out.
        EXPECT_EQ(plugin.leaves.size(), 2 * Shipped("BrimolaTree_Mfg.txt", false) + Shipped("NuxaTree_Mfg.txt", false));
        const Leaf& first = plugin.leaves["Brimola1/Summary/Test Summary"];
        const Leaf& second = plugin.leaves["Brimola2/Summary/Test Summary"];
        EXPECT_EQ(second.command, "Brimola2 <CBrimolaBoard Show Test Summary>");
        ASSERT_TRUE(first.record && second.record);
        EXPECT_EQ(first.record->m_owner, second.record->m_owner);
        EXPECT_EQ(second.record->m_owner->Run(second.command.c_str()), kRunPassed);
    }
    LoadedPlugin none({.rig = R"({"boards": []})"});
    EXPECT_TRUE(none.leaves.empty());
    EXPECT_EQ(Count(none.preHostText, "found: its tests are not published.\nBrimolaBAR0 and PNuxaBAR0 not setup"), 2u);
}

// One tree file holds both boards' trees; each root takes the paths of its own board word.
const char* kConditionTree =
    "Brimola\n{\n\tManufacturing\n\t{\n"
    "\t\tRelease &(Release=Grenlo)`(Checked)\n\t\t{\n"
    "\t\t\tGrenlo only <CBrimolaBoard Show Test Summary>\n"
    "\t\t\tSkavo only &(Release=Skavo) <CBrimolaBoard Show Test Summary>\n\t\t}\n"
    "\t\tBoards\n\t\t{\n"
    "\t\t\tWith codec &(Requirement=Nuxa) <CBrimolaBoard Show Test Summary>\n"
    "\t\t\tNulk &(Requirement=NulkLoopback) <CBrimolaBoard Show Test Summary>\n"
    "\t\t\tX2V4000 &(Requirement=X2V4000) <CBrimolaBoard Show Test Summary>\n"
    "\t\t}\n\t}\n}\n"
    "Nuxa\n{\n\tManufacturing\n\t{\n\t\tPackages\n\t\t{\n"
    "\t\t\tOld &(ZorvZyvPkg .lt 20040416) <CJastel SorbelinRAM_CE>\n"
    "\t\t\tWith main &(Requirement=Brimola) <CJastel SorbelinRAM_CE>\n"
    "\t\t\tNatural <CJastel>\n\t\t}\n\t}\n}\n";

TEST(PluginRoots, ConditionsAreTestedAgainstTheLoad) {
    {  // one library at a time: a second dlopen would hand back the loaded one
        LoadedPlugin plugin({.rig = R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}, {"tag": "Nuxa1", "kind": "nuxa"}]})",
                             .switches = "-Config=Tree.txt -NULKLOOPBACK",  // the value arrives upper-cased
                             .tree = kConditionTree,
                             .beforeLoad = [] {
                                 RigBoard("Brimola1")->AddSpace(std::make_unique<CDevAddrSpace>(
                                     CDevAddrSpace::SPACE_REGISTER, "X2V4000", "test FPGA", 16, PMD_AccessInfo{}));
                             },
                             .drivers = false});  // no packages installed: their date reads 0
        EXPECT_EQ(plugin.Paths(), (std::vector<std::string>{"Brimola1/Boards/Nulk",
                                                            "Brimola1/Boards/With codec", "Brimola1/Boards/X2V4000",
                                                            "Brimola1/Release/Grenlo only", "Nuxa1/Packages/Natural",
                                                            "Nuxa1/Packages/Old", "Nuxa1/Packages/With main"}));
        // Without a blank before ">" the bracket text is all arguments and names no test.
        EXPECT_EQ(plugin.leaves["Nuxa1/Packages/Natural"].command, "Nuxa1 < CJastel>");
        EXPECT_EQ(plugin.RunOn("CNuxaBoardTests", "Nuxa1 < CJastel>"), kRunFailed);
        EXPECT_NE(plugin.ctrl.m_text.find("ERROR:  Unable to find test[Nuxa1 < CJastel>]\n"), std::string::npos);
        EXPECT_EQ(plugin.preHostText.find("ERROR"), std::string::npos) << plugin.preHostText;
    }
    // Two main boards: the codec board's requirement of one main board fails; no switch, no X2V space.
    LoadedPlugin three({.rig = kThreeBoardRig, .switches = "-Config=Tree.txt", .tree = kConditionTree, .drivers = false});
    EXPECT_EQ(three.Paths(), (std::vector<std::string>{"Brimola1/Release/Grenlo only", "Brimola2/Release/Grenlo only",
                                                       "Nuxa1/Packages/Natural", "Nuxa1/Packages/Old"}));
}

TEST(PluginRoots, TreeFileFaultsAtLoad) {
    {
        LoadedPlugin absent({.switches = "-Config=Absent.txt -CLKDELTA=0x19"});
        EXPECT_TRUE(absent.leaves.empty());
        EXPECT_EQ(Count(absent.preHostText, "*** ERROR:  Unable to read " + absent.File("ABSENT.TXT") + "\n"), 2u);
        EXPECT_EQ(Count(absent.preHostText, "ERROR:  CLKDELTA=0X19 is not a decimal number; the clock test uses 10\n"), 2u);
    }
    // A stray "}" is a note for engineers only, once per root, each of which reads the whole file.
    for (const bool engineering : {false, true}) {
        LoadedPlugin plugin({.switches = engineering ? "-ENGINEERING -Config=Tree.txt" : "-Config=Tree.txt",
                             .tree = "Brimola\n{\n\tSummary\n\t{\n\t\tTest Summary <CBrimolaBoard Show Test Summary>\n\t}\n}\n}\n"});
        EXPECT_EQ(Count(plugin.preHostText, "ERROR"), 0u) << plugin.preHostText;
        EXPECT_EQ(Count(plugin.preHostText, "Note: " + plugin.File("TREE.TXT") + " line 8: \"}\" without an open \"{\" is ignored\n"),
                  engineering ? 2u : 0u);
        EXPECT_EQ(plugin.leaves.size(), 1u);
    }
    // A private tree may name one board alone: the board left out is no fault. One that names no
    // test at all (a group without a leaf is none) is the fault of both boards, and publishes nothing.
    // A board of the kind a tree publishes for must get records: one whose tag finds another device
    // first gets none (a rig file refuses such a tag; these rigs are loaded past that check).
    const char* nuxaOnly = "Nuxa\n{\n\tBoard Controller\n\t{\n\t\tRAM Clock Enable <CJastel SorbelinRAM_CE>\n\t}\n}\n";
    const struct { const char* tree; size_t leaves, faults; const char* says = nullptr; void (*rig)() = nullptr; } privateTrees[] = {
        {nuxaOnly, 1, 0},
        {"Brimola\n{\n\tSummary`(Checked)\n\t{\n\t}\n}\n", 0, 2},
        {nuxaOnly, 1, 1, "No test is bound to board \"HostPC\": its tag finds the device \"HostPC\" first", [] { LoadWithThirdBoard("HostPC"); }},
        {nuxaOnly, 1, 1, "No test is bound to board \"Nuxa1.Clock\": its tag finds the device \"Nuxa1.Clock\" first",
         [] { LoadWithThirdBoard("Nuxa1.Clock"); }},
        {nuxaOnly, 2, 1, "No test is bound to board \"NUXA1\": its tag finds the device \"Nuxa1\" first", [] { LoadWithThirdBoard("NUXA1"); }},
    };
    for (const auto& row : privateTrees) {
        SCOPED_TRACE(row.says ? row.says : row.tree);
        platform::ClearStartupFaults();
        LoadedPlugin plugin({.switches = "-Config=Tree.txt", .tree = row.tree, .beforeLoad = row.rig});
        EXPECT_EQ(plugin.leaves.size(), row.leaves);
        EXPECT_EQ(Count(plugin.preHostText, "ERROR"), row.faults) << plugin.preHostText;
        const std::string says = row.says ? row.says : plugin.File("TREE.TXT") + " holds no test";
        EXPECT_EQ(Count(plugin.preHostText, "*** ERROR:  " + says + "\n"), row.faults) << plugin.preHostText;
        EXPECT_EQ(platform::StartupFaults().size(), row.faults);
    }
    platform::ClearStartupFaults();
}

// With PD=ALL the roots program their FPGAs at load, before any host is there: the main board's
// five, then the codec board's two; a configuration fault shows in the text handed over.
TEST(PluginRoots, ProgrammingAtLoad) {
    struct Row { const char* fault; const char* text; };
    const Row rows[] = {
        {"", "***************************** Program using dual board *****************************\n"},
        {R"({"kind": "fpga_init_never_falls", "board": "Brimola1", "device": 0})", "ERROR TIMEOUT:  Waiting for xilinx to pull init pin low\n"},
        {R"({"kind": "fpga_crc_error", "board": "Brimola1", "device": 2})", "Init bit did not go to 1 at end\n"},
        {R"({"kind": "fpga_done_stays_low", "board": "Nuxa1", "device": 4})", "Done bit did not go to 1 at end\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        LoadedPlugin plugin({.rig = std::string(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}, {"tag": "Nuxa1", "kind": "nuxa"}], "faults": [)") + row.fault + "]}",
                             .switches = "-PD=all"});
        EXPECT_EQ(Count(plugin.preHostText, "Program Xilinx FPGA.\n"), 7u);
        const bool failed = Count(plugin.preHostText, "ERROR") + Count(plugin.preHostText, " did not go to 1 at end") > 0;
        EXPECT_EQ(failed, *row.fault != '\0') << plugin.preHostText;
        EXPECT_NE(plugin.preHostText.find(row.text), std::string::npos) << plugin.preHostText;
    }
}

TEST(PluginRoots, HostCommandsReachTheRootsWithTheirColours) {
    LoadedPlugin plugin(LoadSetup{});
    plugin.ctrl.m_runs.clear();
    EXPECT_EQ(plugin.RunOn("CNuxaBoardTests", "Nuxa1 <CNuxaBoard Bogus>"), kRunFailed);
    std::vector<std::pair<std::string, COLORREF>> runs;
    for (const FakeRichEdit::Run& r : plugin.ctrl.m_runs) runs.emplace_back(r.text, r.format.crTextColor);
    EXPECT_EQ(runs, (std::vector<std::pair<std::string, COLORREF>>{
                        {"\n--- CNuxaBoard Bogus ---\n", 0x000000u},  // black
                        {"\n\nERROR:  CNuxaBoardTests\n\"Nuxa1 <CNuxaBoard Bogus>\" Not recognized as a valid test\n", 0x0000FFu}}));
}

}  // namespace
