// Dialog runners: headless cancels untouched, scripted applies its lines then closes as told.
#include "platform/dialog.h"

#include <gtest/gtest.h>

using platform::DialogAction;
using platform::IDCANCEL;
using platform::IDOK;

namespace {
// A list of chosen words: "add WORD" and "remove WORD"; OK is refused while the list is empty.
class ListModel : public platform::DialogModel {
public:
    std::vector<CString> chosen{"Ramp"};
    int applied = 0, cancelled = 0;

    CString GetTitle() const override { return "Images"; }
    CString Describe() const override {
        CString s("chosen:");
        for (const CString& c : chosen) s += " [" + c + "]";
        return s;
    }
    bool Apply(const DialogAction& a, CString&) override {
        ++applied;
        if (a.verb == "remove") return std::erase(chosen, a.args.at(0)) > 0;
        if (a.verb == "add" && a.args.at(0) != "Nothing") chosen.push_back(a.args[0]);
        return a.verb == "add" && a.args[0] != "Nothing";
    }
    bool OnOk(CString& error) override { return chosen.empty() ? (error = "choose at least one", false) : true; }
    void OnCancel() override { ++cancelled; }
};

struct DialogTest : ::testing::Test {
    void TearDown() override { platform::SetDialogRunner(nullptr); }
};
}  // namespace

TEST_F(DialogTest, ScriptedAppliesLinesInOrderThenClosesAndActionsSplitIntoWords) {
    platform::ScriptedDialogRunner runner;
    runner.Push({"add \"Color Bars\"", "remove Ramp", "add Nothing", "ok", "add Solid"});
    runner.Push({"remove \"Color Bars\"", "ok", "cancel"});  // OK refused: the list would be empty
    runner.Push({"add Ramp"});                               // ends open: cancelled
    ListModel m;
    EXPECT_EQ(platform::DoModal(m), IDCANCEL);  // headless: the model is not touched
    EXPECT_EQ(m.applied + m.cancelled, 0);
    platform::SetDialogRunner(&runner);
    EXPECT_EQ(platform::DoModal(m), IDOK);
    EXPECT_EQ(m.Describe(), "chosen: [Color Bars]");  // the line after "ok" was not applied
    EXPECT_EQ(platform::DoModal(m), IDCANCEL);
    EXPECT_EQ(platform::DoModal(m), IDCANCEL);
    EXPECT_EQ(m.cancelled, 2);
    EXPECT_EQ(platform::DoModal(m), IDCANCEL);  // no script left

    const auto& h = runner.History();
    ASSERT_EQ(h.size(), 4u);
    EXPECT_EQ(h[0].before, "chosen: [Ramp]");
    EXPECT_EQ(h[0].errors, (std::vector<CString>{"add Nothing: Cannot add here"}));
    EXPECT_EQ(h[1].errors, (std::vector<CString>{"ok: choose at least one"}));
    EXPECT_EQ(h[2].after, "chosen: [Ramp]");
    // Actions: words, quotes and the verb's case.
    DialogAction a = platform::ParseDialogAction("  ADD \"Color Bars\"\t2 x\"y z\" ");
    EXPECT_EQ(a.verb, "add");
    EXPECT_EQ(a.args, (std::vector<CString>{"Color Bars", "2", "xy z"}));
    EXPECT_TRUE(platform::ParseDialogAction(nullptr).args.empty());
}

namespace {
// "loop" pumps until "end" or the runner says stop, counting the pumps that let it go on.
class LoopModel : public ListModel {
public:
    int cycles = 0;
    bool ended = false;
    bool Apply(const DialogAction& a, CString& error) override {
        if (a.verb == "end") return ended = true;
        if (a.verb != "loop") return ListModel::Apply(a, error);
        for (ended = false; platform::PumpDialog(*this) && !ended;) ++cycles;
        return true;
    }
};
}  // namespace

TEST_F(DialogTest, PumpAppliesOneLinePerCallWaitLetsPumpsPassAndNothingHangs) {
    struct Row { const char* name; std::vector<CString> script; int cycles; int result; const char* chosen; size_t errors; };
    const Row rows[] = {
        {"wait 2, a line, then OK closes from inside the loop", {"loop", "wait 2", "add A", "ok", "add B"}, 3, IDOK, "[Ramp] [A]", 0},
        {"the script runs out: the loop ends, the dialog is cancelled", {"loop", "wait 1", "add A"}, 2, IDCANCEL, "[Ramp] [A]", 0},
        {"a bad count is refused and read past", {"loop", "wait x", "wait", "add A"}, 1, IDCANCEL, "[Ramp] [A]", 2},
        {"a count past its range is refused, not a wait without end", {"loop", "wait 4294967296", "wait 2x", "add A"}, 1, IDCANCEL,
         "[Ramp] [A]", 2},
        {"after the loop the script goes on", {"loop", "add A", "end", "remove Ramp", "ok"}, 1, IDOK, "[A]", 0},
    };
    platform::ScriptedDialogRunner runner;
    LoopModel idle;
    EXPECT_FALSE(runner.Pump(idle));  // outside a dialog there is nothing to apply
    platform::SetDialogRunner(&runner);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LoopModel m;
        runner.Push(row.script);
        EXPECT_EQ(platform::DoModal(m), row.result);
        EXPECT_EQ(m.cycles, row.cycles);
        EXPECT_EQ(m.Describe(), CString("chosen: ") + row.chosen);
        EXPECT_EQ(runner.History().back().errors.size(), row.errors);
    }
    platform::SetDialogRunner(nullptr);
    CString error;
    EXPECT_TRUE(idle.Apply({"loop", {}}, error));
    EXPECT_EQ(idle.cycles, 0);  // the headless runner lets no loop go on
}
