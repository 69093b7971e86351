// Tests of the tree-path rules: board word, mode cut, command cut, the conditions table and tidying.
#include "boards/roots/tree_paths.h"

#include <gtest/gtest.h>

using treepath::ConditionFacts;
using treepath::RootKind;

namespace {

CString Record(const char* raw, RootKind kind, bool engineering, const ConditionFacts& facts = {}) {
    CString out;
    const char* word = kind == RootKind::MainBoard ? "Brimola" : "Nuxa";
    if (!treepath::MakeRecordPath(raw, word, kind, engineering, facts, out)) return "<dropped>";
    return out;
}

TEST(TreePaths, BoardWordIsAPrefixComparedWithoutCase) {
    const std::pair<const char*, bool> rows[] = {{"BRIMOLA`9000\\X`1", true}, {"Nuxa`9000\\X`1", false}, {"Brim", false}};
    for (const auto& [path, belongs] : rows) EXPECT_EQ(treepath::BelongsToBoard(path, "Brimola"), belongs) << path;
    EXPECT_EQ(Record("Nuxa`9000\\Manufacturing`9000\\G`+9000\\L <CJastel SorbelinRAM_CE>`+9000", RootKind::MainBoard, false),
              "<dropped>");
    // What the other kind of root keeps as a test, its conditions aside.
    const struct { const char* raw; RootKind asker; bool other; } others[] = {
        {"Nuxa`9000\\Manufacturing`9000\\G`+9000\\L <CJastel SorbelinRAM_CE>`+9000", RootKind::MainBoard, true},
        {"Nuxa`9000\\Manufacturing`9000\\G`+9000\\L <CJastel SorbelinRAM_CE>`+9000", RootKind::CodecBoard, false},
        {"Brimola`9000\\G &(Requirement=Nuxa)`+9000\\L <T>`+9001", RootKind::CodecBoard, true},
        {"Brimola`9000\\Engineering`9000\\G`+9000\\L <T>`+9001", RootKind::CodecBoard, false},
        {"Brimola`9000\\G`+9000\\Empty`+9001", RootKind::CodecBoard, false},
    };
    for (const auto& o : others) EXPECT_EQ(treepath::IsOtherBoardsTest(o.raw, o.asker, false), o.other) << o.raw;
}

TEST(TreePaths, ModeCutKeepsTheModesFolderOrLiftsManufacturingTests) {
    struct Row { const char* raw; bool engineering; const char* record; };
    const Row rows[] = {
        // Manufacturing mode: the manufacturing tests stand at the top, engineering ones are dropped.
        {"Brimola`9000\\Manufacturing`9000\\Memory`+9000\\Leaf <T a>`+9001", false, "Memory`+9000\\Leaf`+9001"},
        {"Brimola`9000\\Engineering`9001\\Memory`+9000\\Leaf <T a>`+9001", false, "<dropped>"},
        // Engineering mode: both, each under its folder.
        {"Brimola`9000\\Manufacturing`9000\\Memory`+9000\\Leaf <T a>`+9001", true, "Manufacturing`9000\\Memory`+9000\\Leaf`+9001"},
        {"Brimola`9000\\Engineering`9001\\Memory`+9000\\Leaf <T a>`+9001", true, "Engineering`9001\\Memory`+9000\\Leaf`+9001"},
        {"Brimola`9000\\Memory`+9000\\Leaf <T a>`+9001", false, "Brimola`9000\\Memory`+9000\\Leaf`+9001"},  // neither
        // A manufacturing leaf right under the folder has no backslash left and is dropped.
        {"Brimola`9000\\Manufacturing`9000\\Leaf <T a>`+9001", false, "<dropped>"},
        // A group without a leaf names no test, in either mode.
        {"Brimola`9000\\Manufacturing`9000\\Memory`+9000\\Empty`+9001", false, "<dropped>"},
        {"Brimola`9000\\Memory`+9000", true, "<dropped>"},
    };
    for (const Row& row : rows) EXPECT_EQ(Record(row.raw, RootKind::MainBoard, row.engineering), row.record) << row.raw;

    // "Engineering" decides alone when both words are there.
    CString both = "Brimola`9000\\Manufacturing`9000\\Engineering`9001\\Leaf <T a>`+9001";
    EXPECT_FALSE(treepath::CutMode(both, false));
    EXPECT_TRUE(treepath::CutMode(both, true));
    EXPECT_EQ(both, "Engineering`9001\\Leaf <T a>`+9001");
    // A path that ends in the word, no backslash after it, is kept whole.
    CString last = "Brimola`9000\\Manufacturing";
    EXPECT_TRUE(treepath::CutMode(last, false));
    EXPECT_EQ(last, "Brimola`9000\\Manufacturing");
}

TEST(TreePaths, CommandCutRemovesTheAngleBracketsAndTheBlanksBeforeThem) {
    const std::pair<const char*, const char*> rows[] = {
        {"Memory`+9000\\Random Memory <CWexal Random Memory Test VERBOSE=1>`+9001", "Memory`+9000\\Random Memory`+9001"},
        {"G`+1\\L <T CMD = (<x> y)>`+2", "G`+1\\L`+2"},  // through the last ">"
        {"G`+1\\L <T a`+2", "G`+1\\L <T a`+2"},  // no closing bracket: nothing removed
    };
    for (const auto& [raw, cut] : rows) {
        CString path = raw;
        treepath::CutCommand(path);
        EXPECT_EQ(path, cut) << raw;
    }
}

TEST(TreePaths, EveryConditionIsTestedAgainstItsFact) {
    struct Case { const char* condition; RootKind kind; void (*meet)(ConditionFacts&); };  // meet: makes it hold
    const Case cases[] = {
        {"&(Release=Grenlo)", RootKind::MainBoard, [](ConditionFacts& f) { f.releaseId = 2; }},
        {"&(Release=Skavo)", RootKind::CodecBoard, [](ConditionFacts& f) { f.releaseId = 1; }},
        {"&(Requirement=Nuxa)", RootKind::MainBoard, [](ConditionFacts& f) { f.mainBoards = f.codecBoards = 2; }},
        {"&(Requirement=Brimola)", RootKind::CodecBoard, [](ConditionFacts& f) { f.mainBoards = f.codecBoards = 1; }},
        {"&(Requirement=NulkLoopback)", RootKind::MainBoard, [](ConditionFacts& f) { f.switchesUpper = "PEXHOST -NULKLOOPBACK"; }},
        {"&(Requirement=BexiLoopback)", RootKind::CodecBoard, [](ConditionFacts& f) { f.switchesUpper = "PEXHOST -BEXILOOPBACK -A"; }},
        {"&(Requirement=X2V4000)", RootKind::MainBoard, [](ConditionFacts& f) { f.hasX2V4000 = true; }},
        {"&(Requirement=X2V6000)", RootKind::CodecBoard, [](ConditionFacts& f) { f.hasX2V6000 = true; }},
        {"&(ZorvZyvPkg .lt 20040416)", RootKind::CodecBoard, [](ConditionFacts& f) { f.zyvPackageDate = 20040415; }},
        {"&(ZorvZyvPkg .ge 20040416)", RootKind::CodecBoard, [](ConditionFacts& f) { f.zyvPackageDate = 20040416; }},
        {"&(ZorvZyvPkg .ge 20040521)", RootKind::CodecBoard, [](ConditionFacts& f) { f.zyvPackageDate = 20040521; }},
        {"&(ZorvZyvPkg .lt 20040521)", RootKind::CodecBoard, [](ConditionFacts& f) { f.zyvPackageDate = 20040520; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.condition);
        // The facts that make each condition fail: one main board and no codec board, release 0,
        // no switches, no spaces, and a package date that fails whichever comparison is asked.
        ConditionFacts unmet;
        unmet.hasDevice = true;
        unmet.mainBoards = 1;
        unmet.switchesUpper = "PEXHOST -AUTORUN";
        unmet.zyvPackageDate = CString(c.condition).Find(".lt") >= 0 ? 20040601 : 20040101;
        ConditionFacts met = unmet;
        c.meet(met);

        CString path = CString("G ") + c.condition + "`+1\\Leaf`+2";
        EXPECT_TRUE(treepath::ApplyConditions(path, c.kind, met));
        EXPECT_EQ(path, "G `+1\\Leaf`+2");  // the met condition is removed
        path = CString("G ") + c.condition + "`+1\\Leaf`+2";
        EXPECT_FALSE(treepath::ApplyConditions(path, c.kind, unmet));
    }
}

TEST(TreePaths, ConditionsOfTheOtherRootAndUnknownTextsStay) {
    ConditionFacts facts;
    facts.zyvPackageDate = 0;
    // The main board knows neither the codec requirement nor the package dates.
    CString path = "G &(Requirement=Brimola) &(ZorvZyvPkg .ge 20040416)`+1\\Leaf`+2";
    EXPECT_TRUE(treepath::ApplyConditions(path, RootKind::MainBoard, facts));
    EXPECT_EQ(path, "G &(Requirement=Brimola) &(ZorvZyvPkg .ge 20040416)`+1\\Leaf`+2");
    // The codec board does not know the main board's requirement; spelling counts.
    path = "G &(Requirement=Nuxa) &(release=Grenlo)`+1\\Leaf`+2";
    EXPECT_TRUE(treepath::ApplyConditions(path, RootKind::CodecBoard, facts) && path == "G &(Requirement=Nuxa) &(release=Grenlo)`+1\\Leaf`+2");
    // A met condition is removed wherever it occurs; the first unmet one drops the path.
    facts.releaseId = 2;
    path = "A &(Release=Grenlo)`+1\\B &(Release=Grenlo)`+2\\Leaf`+3";
    EXPECT_TRUE(treepath::ApplyConditions(path, RootKind::MainBoard, facts));
    EXPECT_EQ(path, "A `+1\\B `+2\\Leaf`+3");
    path = "A &(Release=Grenlo)`+1\\B &(Release=Skavo)`+2\\Leaf`+3";
    EXPECT_FALSE(treepath::ApplyConditions(path, RootKind::MainBoard, facts));
}

TEST(TreePaths, X2VConditionsNeedASelectedDeviceAndPackageDateZeroIsOldest) {
    ConditionFacts noDevice;
    CString path = "G &(Requirement=X2V4000)`+1\\Leaf &(Requirement=X2V6000)`+2";
    EXPECT_TRUE(treepath::ApplyConditions(path, RootKind::MainBoard, noDevice));  // left as they are
    EXPECT_EQ(path, "G &(Requirement=X2V4000)`+1\\Leaf &(Requirement=X2V6000)`+2");

    // No recognised package (date 0): ".lt" conditions hold, ".ge" ones fail.
    path = "G&(ZorvZyvPkg .lt 20040521)`+1\\Leaf`+2";
    EXPECT_TRUE(treepath::ApplyConditions(path, RootKind::CodecBoard, noDevice));
    path = "G&(ZorvZyvPkg .ge 20040416)`+1\\Leaf`+2";
    EXPECT_FALSE(treepath::ApplyConditions(path, RootKind::CodecBoard, noDevice));
}

TEST(TreePaths, RecordPathsAreTidyAndKeepTheirMarks) {
    ConditionFacts facts;
    facts.switchesUpper = "PEXHOST -NULKLOOPBACK";
    // A met condition in a folder name keeps the folder, without the condition or stray blanks.
    EXPECT_EQ(Record("Brimola`9000\\Manufacturing`9000\\Loopback &(Requirement=NulkLoopback)`+9002\\Video <CNulk Images>`-9000",
                     RootKind::MainBoard, false, facts), "Loopback`+9002\\Video`-9000");
    CString spaced = " A `+1\\ B\tC `-2\\Leaf";
    treepath::TidySegments(spaced);
    EXPECT_EQ(spaced, "A`+1\\B\tC`-2\\Leaf");
}

}  // namespace
