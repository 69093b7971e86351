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

TEST(DialogActionTest, WordsQuotesAndVerbCase) {
    DialogAction a = platform::ParseDialogAction("  ADD \"Color Bars\"\t2 x\"y z\" ");
    EXPECT_EQ(a.verb, "add");
    EXPECT_EQ(a.args, (std::vector<CString>{"Color Bars", "2", "xy z"}));
    EXPECT_TRUE(platform::ParseDialogAction(nullptr).args.empty());
}

TEST_F(DialogTest, ScriptedAppliesLinesInOrderThenCloses) {
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
}
