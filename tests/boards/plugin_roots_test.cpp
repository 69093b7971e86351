// Tests of the board roots as the host meets them: the real plug-in loaded with dlopen on chosen
// rigs, switches and tree files; what it publishes and prints before the host attaches; dispatch.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devlib/devices.h"
#include "devlib/rig.h"
#include "framework/test_base.h"
#include "framework/test_record.h"
#include "platform/paths.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"
#include "tests/support/temp_dir.h"

using namespace support;

namespace {

constexpr COLORREF kRed = 0x0000FF;
constexpr COLORREF kBlack = 0x000000;

// The shipped data files, as the build copied them beside the test.
const std::string& BinDir() {
    static const std::string dir = platform::GetProgramDir();
    return dir;
}

struct Leaf {
    std::string path;  // "Brimola1/Summary/Test Summary"
    std::string command;
    std::string codeName;
    bool checked = false;
    TestRecord* record = nullptr;
};

// What a load is given: the rig (empty: the default rig), the switch file, the files of the
// program folder (by default the shipped tree files and "Environment.txt"), and what to do to the
// device tree before the library loads.
struct LoadSetup {
    std::string rig;
    std::string switches;
    std::map<std::string, std::string> files;
    bool shippedTrees = true;
    void (*beforeLoad)() = nullptr;
};

// The plug-in loaded in a folder of its own, handed to a recording host; unloaded at the end.
class LoadedPlugin {
public:
    explicit LoadedPlugin(const LoadSetup& setup) {
        const std::string bin = BinDir();
        m_dir.Write("CmdLine", "pexhost " + setup.switches);
        m_dir.Write("Environment.txt", ReadText(bin + "Environment.txt"));
        if (setup.shippedTrees)
            for (const char* tree : {"BrimolaTree_Eng.txt", "BrimolaTree_Mfg.txt", "NuxaTree_Eng.txt", "NuxaTree_Mfg.txt"})
                m_dir.Write(tree, ReadText(bin + tree));
        for (const auto& [name, text] : setup.files) m_dir.Write(name, text);
        platform::SetProgramDir(m_dir.Path());
        std::string error;
        if (setup.rig.empty()) devlib::LoadDefaultRig();
        else EXPECT_TRUE(devlib::LoadRigFile(m_dir.Write("rig.json", setup.rig), &error)) << error;
        if (setup.beforeLoad) setup.beforeLoad();

        m_library = dlopen(PEX_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(m_library, nullptr) << dlerror();
        if (!m_library) return;
        auto entry = reinterpret_cast<TestList* (*)(CTestHost*, int*)>(dlsym(m_library, "GetTestList"));
        if (entry) m_list = entry(&m_host, &m_stop);
        m_preHostText = m_ctrl.m_text;
    }

    ~LoadedPlugin() {
        Unload();
        platform::SetProgramDir("");
        devlib::LoadDefaultRig();
    }

    // Runs the static destructors; TRUE when the library really left the process.
    bool Unload() {
        if (!m_library) return false;
        const int closed = dlclose(m_library);
        m_library = nullptr;
        m_list = nullptr;
        void* again = dlopen(PEX_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD);
        if (again) dlclose(again);
        return closed == 0 && !again;
    }

    std::string File(const std::string& name) const { return m_dir.File(name); }
    const std::string& PreHostText() const { return m_preHostText; }
    FakeRichEdit& Control() { return m_ctrl; }

    std::vector<Leaf> Leaves() const {
        std::vector<Leaf> leaves;
        if (!m_list) return leaves;
        for (int i = 0; i < m_list->count; ++i) {
            TestRecord* r = m_list->records[i];
            if (!r->m_isLeaf) continue;
            Leaf leaf;
            leaf.path = r->m_name.str();
            for (const TestRecord* p = r->m_parent; p; p = p->m_parent) leaf.path = p->m_name.str() + "/" + leaf.path;
            leaf.command = r->m_command.str();
            leaf.codeName = r->m_codeName.str();
            leaf.checked = r->m_checked != FALSE;
            leaf.record = r;
            leaves.push_back(leaf);
        }
        std::sort(leaves.begin(), leaves.end(), [](const Leaf& a, const Leaf& b) { return a.path < b.path; });
        return leaves;
    }
    std::vector<std::string> LeafPaths() const {
        std::vector<std::string> paths;
        for (const Leaf& l : Leaves()) paths.push_back(l.path);
        return paths;
    }
    // The command of the leaf at path; "" when there is none.
    std::string Command(const std::string& path) const {
        for (const Leaf& l : Leaves())
            if (l.path == path) return l.command;
        return "";
    }
    std::optional<Leaf> FindLeaf(const std::string& path) const {
        for (const Leaf& l : Leaves())
            if (l.path == path) return l;
        return std::nullopt;
    }
    // Runs a command on the owner of the first leaf of that board ("Brimola", "Nuxa").
    DWORD RunOn(const std::string& board, const std::string& command) {
        for (const Leaf& l : Leaves())
            if (l.codeName == board + "BoardTests") return l.record->m_owner->Run(command.c_str());
        ADD_FAILURE() << "no record of " << board;
        return 0;
    }

private:
    TempDir m_dir;
    ScopedCwd m_cwd{m_dir.Path()};
    void* m_library = nullptr;
    FakeRichEdit m_ctrl;
    FakeHost m_host{&m_ctrl};
    int m_stop = 0;
    TestList* m_list = nullptr;
    std::string m_preHostText;
};

// The leaves a shipped tree file holds: its lines that carry a command ("#" lines are comments).
size_t ShippedLeafCount(const char* tree) {
    std::ifstream in(BinDir() + tree);
    EXPECT_TRUE(in) << tree;
    size_t leaves = 0;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#' && line.find('<') != std::string::npos) ++leaves;
    return leaves;
}

DWORD ControllerWord(const char* tag, int word) {
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetZorvHardware()->GetDevice(tag));
    return board ? static_cast<DWORD>(board->GetControllerRegisters()[word]) : 0xDEAD;
}

TEST(PluginRoots, DefaultLoadPublishesTheShippedTreesRunsThemAndUnloadsWithoutTouchingTheBoards) {
    LoadedPlugin plugin(LoadSetup{});
    // Built at load, main board first, before any host was there.
    // The start-up clock calibration names each board's revisions and, outside engineering mode,
    // keeps its window to itself.
    EXPECT_EQ(plugin.PreHostText(),
              "Brimola diagnostics are in Manufacturing mode\n\nBrimola Revisions:\n"
              "Nuxa diagnostics are in Manufacturing mode\n\nNuxa Revisions:\n");

    // Every leaf of both manufacturing files, each on its board's root.
    const std::vector<Leaf> leaves = plugin.Leaves();
    ASSERT_EQ(leaves.size(), ShippedLeafCount("BrimolaTree_Mfg.txt") + ShippedLeafCount("NuxaTree_Mfg.txt"));
    EXPECT_EQ(leaves[0].path, "Brimola1/Board Information/DIMM Information");
    EXPECT_EQ(leaves[0].command, "Brimola1 <CBrimolaBoard \"Show DIMM Information\">");
    EXPECT_EQ(leaves[0].codeName, "CBrimolaBoardTests");
    EXPECT_EQ(plugin.Command("Brimola1/Summary/Test Summary"), "Brimola1 <CBrimolaBoard Show Test Summary>");
    // A test without arguments is written with a blank before its ">", so it is found.
    EXPECT_EQ(plugin.Command("Brimola1/SDRAM/Memory Lines Stepped Patterns"), "Brimola1 <MemTestB >");
    EXPECT_EQ(plugin.Command("Nuxa1/Board Information/VPD Structure"), "Nuxa1 <CNuxaBoard \"Check VPD Structure\">");
    const std::optional<Leaf> controller = plugin.FindLeaf("Nuxa1/Board Controller/RAM Clock Enable");
    ASSERT_TRUE(controller);
    EXPECT_EQ(controller->command, "Nuxa1 <CJastel SorbelinRAM_CE>");
    EXPECT_EQ(controller->codeName, "CNuxaBoardTests");
    // Each run prints into the host's window; the image tests clear it, so look after each run.
    for (const Leaf& l : leaves) {
        EXPECT_TRUE(l.checked) << l.path;
        plugin.Control().SetWindowText("");
        EXPECT_EQ(l.record->m_owner->Run(l.command.c_str()), kRunPassed) << l.path;
        if (l.path == controller->path) {
            EXPECT_EQ(plugin.Control().m_text, "\n--- CJastel SorbelinRAM_CE ---\n");
        }
    }

    // Every controller register but the flash data port, whose reads move the flash address on.
    const int words[] = {0, 1, 2, 4, 5, 6, 7};
    DWORD before[2][8];
    for (int w : words) {
        before[0][w] = ControllerWord("Brimola1", w);
        before[1][w] = ControllerWord("Nuxa1", w);
    }
    EXPECT_TRUE(plugin.Unload());
    for (int w : words) {
        EXPECT_EQ(ControllerWord("Brimola1", w), before[0][w]) << w;
        EXPECT_EQ(ControllerWord("Nuxa1", w), before[1][w]) << w;
    }
}

TEST(PluginRoots, EngineeringModeAnnouncesEveryObjectAndPublishesBothFolders) {
    LoadSetup setup;
    setup.switches = "-ENGINEERING";
    LoadedPlugin plugin(setup);
    // The members in their order, then the start-up calibration with its clock window.
    const std::string members =
        "Create class CJastel\nCreate class CWexal\nCreate class mem_clk\nCreate class RAMblock\n"
        "Create class MemTestA\nCreate class MemTestB\n";
    const std::string calibration =
        " Revisions:\n\nClock Window Begins: 110 Clock Window Ends: 210\nSetting clock value to 160\n\n";
    EXPECT_EQ(plugin.PreHostText(), "Create class CBrimolaBoard\n" + members + "Brimola" + calibration +
                                        "Create class CNuxaBoard\n" + members + "Nuxa" + calibration);
    const std::vector<Leaf> leaves = plugin.Leaves();
    ASSERT_EQ(leaves.size(), ShippedLeafCount("BrimolaTree_Eng.txt") + ShippedLeafCount("NuxaTree_Eng.txt"));
    EXPECT_EQ(leaves[0].path, "Brimola1/Engineering/Board Commands/Show Test Summary");
    // The production run stays checked; the engineering variants wait to be chosen.
    size_t production = 0;
    for (const Leaf& l : leaves) {
        const bool manufacturing = l.path.find("/Manufacturing/") != std::string::npos;
        EXPECT_TRUE(manufacturing || l.path.find("/Engineering/") != std::string::npos) << l.path;
        EXPECT_EQ(l.checked, manufacturing) << l.path;
        production += manufacturing;
    }
    EXPECT_EQ(production, ShippedLeafCount("BrimolaTree_Mfg.txt") + ShippedLeafCount("NuxaTree_Mfg.txt"));
    EXPECT_EQ(plugin.Command("Nuxa1/Engineering/Main FPGA/DMA Memory Test Sequence"),
              "Nuxa1 <CWexal \"DMA Memory Test\" Addr=0x01000000 ChWrite=16 ChRead=12 Size=4194304 Burst=131072 "
              "Seed=0x00000000 Incr=0x10000000 Mode=Sequence>");
    EXPECT_EQ(plugin.Command("Nuxa1/Manufacturing/Board Controller/RAM Clock Enable"), "Nuxa1 <CJastel SorbelinRAM_CE>");
    // Every leaf names its test: a name, then a blank, inside the brackets.
    for (const Leaf& l : leaves) {
        const std::string bracket = l.command.substr(l.command.find('<') + 1);
        const size_t blank = bracket.find_first_of(" \t");
        EXPECT_TRUE(blank > 0 && blank < bracket.rfind('>')) << l.path;
    }
}

TEST(PluginRoots, RecordsFollowTheBoardsOfTheRig) {
    {
        LoadSetup setup;
        setup.rig = R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}]})";
        LoadedPlugin plugin(setup);
        const std::vector<std::string> paths = plugin.LeafPaths();
        EXPECT_EQ(paths.size(), ShippedLeafCount("BrimolaTree_Mfg.txt"));
        for (const std::string& p : paths) EXPECT_EQ(p.rfind("Brimola1/", 0), 0u) << p;
        EXPECT_EQ(Count(plugin.PreHostText(), "No Nuxa board was found: its tests are not published.\n"), 1u);
        EXPECT_EQ(Count(plugin.PreHostText(), "No Brimola board"), 0u);
    }
    {
        LoadSetup setup;
        setup.rig = kThreeBoardRig;
        LoadedPlugin plugin(setup);
        EXPECT_EQ(plugin.Leaves().size(), 2 * ShippedLeafCount("BrimolaTree_Mfg.txt") + ShippedLeafCount("NuxaTree_Mfg.txt"));
        const std::optional<Leaf> first = plugin.FindLeaf("Brimola1/Summary/Test Summary");
        const std::optional<Leaf> second = plugin.FindLeaf("Brimola2/Summary/Test Summary");
        ASSERT_TRUE(first && second);
        EXPECT_EQ(second->command, "Brimola2 <CBrimolaBoard Show Test Summary>");
        EXPECT_EQ(first->record->m_owner, second->record->m_owner);
        EXPECT_EQ(second->record->m_owner->Run(second->command.c_str()), kRunPassed);
    }
    {
        LoadSetup setup;
        setup.rig = R"({"boards": []})";
        LoadedPlugin plugin(setup);
        EXPECT_TRUE(plugin.Leaves().empty());
        // The start-up calibration still runs and says that it has no board.
        EXPECT_EQ(plugin.PreHostText(),
                  "Brimola diagnostics are in Manufacturing mode\n\nNo Brimola board was found: its tests are not "
                  "published.\nBrimolaBAR0 and PNuxaBAR0 not setupNuxa diagnostics are in Manufacturing mode\n\n"
                  "No Nuxa board was found: its tests are not published.\nBrimolaBAR0 and PNuxaBAR0 not setup");
    }
}

// One Config file holds both boards' trees; each root takes the paths of its own board word.
const char* kConditionTree =
    "Brimola\n{\n"
    "\tManufacturing\n\t{\n"
    "\t\tRelease &(Release=Grenlo)`(Checked)\n\t\t{\n"
    "\t\t\tGrenlo only <CBrimolaBoard Show Test Summary>\n"
    "\t\t\tSkavo only &(Release=Skavo) <CBrimolaBoard Show Test Summary>\n\t\t}\n"
    "\t\tBoards\n\t\t{\n"
    "\t\t\tWith codec &(Requirement=Nuxa) <CBrimolaBoard Show Test Summary>\n"
    "\t\t\tUnknown here &(Requirement=Brimola) <CBrimolaBoard Show Test Summary>\n"
    "\t\t\tNulk &(Requirement=NulkLoopback) <CBrimolaBoard Show Test Summary>\n"
    "\t\t\tBexi &(Requirement=BexiLoopback) <CBrimolaBoard Show Test Summary>\n"
    "\t\t\tX2V4000 &(Requirement=X2V4000) <CBrimolaBoard Show Test Summary>\n"
    "\t\t\tX2V6000 &(Requirement=X2V6000) <CBrimolaBoard Show Test Summary>\n\t\t}\n"
    "\t}\n}\n"
    "Nuxa\n{\n"
    "\tManufacturing\n\t{\n"
    "\t\tPackages\n\t\t{\n"
    "\t\t\tOld &(ZorvZyvPkg .lt 20040416) <CJastel SorbelinRAM_CE>\n"
    "\t\t\tNew &(ZorvZyvPkg .ge 20040521) <CJastel SorbelinRAM_CE>\n"
    "\t\t\tWith main &(Requirement=Brimola) <CJastel SorbelinRAM_CE>\n"
    "\t\t\tBare <CJastel >\n"
    "\t\t\tNatural <CJastel>\n"
    "\t\t\tArrow <CJastel NOTE=(a>b) SorbelinRAM_CE>\n\t\t}\n"
    "\t}\n}\n";

TEST(PluginRoots, ConditionsAreTestedAgainstTheLoad) {
    LoadSetup setup;
    setup.rig = R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}, {"tag": "Nuxa1", "kind": "nuxa"}]})";
    setup.switches = "-Config=Conditions.txt -NULKLOOPBACK";  // the value arrives upper-cased
    setup.shippedTrees = false;
    setup.files["Conditions.txt"] = kConditionTree;
    setup.beforeLoad = [] {
        GetZorvHardware()->GetDevice("Brimola1")->AddSpace(
            std::make_unique<CDevAddrSpace>(CDevAddrSpace::SPACE_REGISTER, "X2V4000", "test FPGA", 16, PMD_AccessInfo{}));
    };
    LoadedPlugin plugin(setup);
    EXPECT_EQ(plugin.LeafPaths(), (std::vector<std::string>{
                                      "Brimola1/Boards/Nulk",
                                      "Brimola1/Boards/Unknown here &(Requirement=Brimola)",
                                      "Brimola1/Boards/With codec",
                                      "Brimola1/Boards/X2V4000",
                                      "Brimola1/Release/Grenlo only",
                                      "Nuxa1/Packages/Arrow",
                                      "Nuxa1/Packages/Bare",
                                      "Nuxa1/Packages/Natural",
                                      "Nuxa1/Packages/Old",
                                      "Nuxa1/Packages/With main",
                                  }));
    EXPECT_EQ(plugin.Command("Brimola1/Boards/Nulk"), "Brimola1 <CBrimolaBoard Show Test Summary>");
    // Without arguments the blank before ">" names the test; without it the text is all arguments
    // and names none. The arguments run to the last ">".
    EXPECT_EQ(plugin.Command("Nuxa1/Packages/Bare"), "Nuxa1 <CJastel >");
    EXPECT_EQ(plugin.Command("Nuxa1/Packages/Natural"), "Nuxa1 < CJastel>");
    EXPECT_EQ(plugin.Command("Nuxa1/Packages/Arrow"), "Nuxa1 <CJastel NOTE=(a>b) SorbelinRAM_CE>");
    EXPECT_EQ(plugin.RunOn("CNuxa", "Nuxa1 < CJastel>"), kRunFailed);
    EXPECT_NE(plugin.Control().m_text.find("ERROR:  Unable to find test[Nuxa1 < CJastel>]\n"), std::string::npos);
    EXPECT_EQ(plugin.PreHostText().find("ERROR"), std::string::npos) << plugin.PreHostText();
}

TEST(PluginRoots, RequirementOfTheOtherBoardCountsTheBoards) {
    LoadSetup setup;
    setup.rig = R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}, {"tag": "Brimola2", "kind": "brimola"},
                               {"tag": "Nuxa1", "kind": "nuxa"}]})";
    setup.switches = "-Config=Conditions.txt";  // no -NULKLOOPBACK, no board with an X2V space
    setup.shippedTrees = false;
    setup.files["Conditions.txt"] = kConditionTree;
    LoadedPlugin plugin(setup);
    EXPECT_EQ(plugin.LeafPaths(), (std::vector<std::string>{
                                      "Brimola1/Boards/Unknown here &(Requirement=Brimola)", "Brimola1/Release/Grenlo only",
                                      "Brimola2/Boards/Unknown here &(Requirement=Brimola)", "Brimola2/Release/Grenlo only",
                                      "Nuxa1/Packages/Arrow", "Nuxa1/Packages/Bare", "Nuxa1/Packages/Natural", "Nuxa1/Packages/Old"}));
}

TEST(PluginRoots, MissingTreeFilesAreErrorsAndStrayBracesNotesForEngineersOnly) {
    {
        LoadSetup setup;
        setup.switches = "-Config=Absent.txt";
        LoadedPlugin plugin(setup);
        EXPECT_TRUE(plugin.Leaves().empty());
        EXPECT_EQ(Count(plugin.PreHostText(), "*** ERROR:  Unable to read " + plugin.File("ABSENT.TXT") + "\n"), 2u);
    }
    const std::string tree = "Brimola\n{\n\tSummary\n\t{\n\t\tTest Summary <CBrimolaBoard Show Test Summary>\n\t}\n}\n}\n";
    for (const bool engineering : {false, true}) {
        SCOPED_TRACE(engineering ? "engineering" : "manufacturing");
        LoadSetup setup;
        setup.shippedTrees = false;
        setup.switches = engineering ? "-ENGINEERING -Config=Stray.txt" : "-Config=Stray.txt";
        setup.files["Stray.txt"] = tree;
        LoadedPlugin plugin(setup);
        EXPECT_EQ(Count(plugin.PreHostText(), "ERROR"), 0u) << plugin.PreHostText();
        // Once per root, each of which reads the whole file.
        EXPECT_EQ(Count(plugin.PreHostText(), "Note: " + plugin.File("STRAY.TXT") + " line 8: \"}\" without an open \"{\" is ignored\n"),
                  engineering ? 2u : 0u);
        EXPECT_EQ(plugin.Leaves().size(), 1u);
    }
}

TEST(PluginRoots, ANonDecimalClockDeltaIsReportedAtLoad) {
    LoadSetup setup;
    setup.switches = "-CLKDELTA=0x19";
    LoadedPlugin plugin(setup);
    EXPECT_EQ(Count(plugin.PreHostText(), "ERROR:  CLKDELTA=0X19 is not a decimal number; the clock test uses 10\n"), 2u);
    EXPECT_EQ(plugin.Leaves().size(), ShippedLeafCount("BrimolaTree_Mfg.txt") + ShippedLeafCount("NuxaTree_Mfg.txt"));
}

TEST(PluginRoots, HostCommandsReachTheRootsWithTheirColours) {
    LoadedPlugin plugin(LoadSetup{});
    FakeRichEdit& ctrl = plugin.Control();
    ctrl.m_runs.clear();

    EXPECT_EQ(plugin.RunOn("CNuxa", "Nuxa1 <CNuxaBoard Bogus>"), kRunFailed);
    EXPECT_EQ(plugin.RunOn("CNuxa", "Nuxa1 <CMissing x>"), kRunFailed);
    EXPECT_EQ(plugin.RunOn("CBrimola", "Brimola1 <CJastel SorbelinRAM_CE>"), kRunFailed);
    std::vector<std::pair<std::string, COLORREF>> runs;
    for (const FakeRichEdit::Run& r : ctrl.m_runs) runs.emplace_back(r.text, r.format.crTextColor);
    const std::vector<std::pair<std::string, COLORREF>> expected = {
        {"\n--- CNuxaBoard Bogus ---\n", kBlack},
        {"\n\nERROR:  CNuxaBoardTests\n\"Nuxa1 <CNuxaBoard Bogus>\" Not recognized as a valid test\n", kRed},
        {"ERROR:  Unable to find test[Nuxa1 <CMissing x>]\n", kRed},
        {"ERROR:  Unable to find test[Brimola1 <CJastel SorbelinRAM_CE>]\n", kRed},
    };
    EXPECT_EQ(runs, expected);
}

}  // namespace
