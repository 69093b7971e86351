// Dialog runners: headless cancels untouched, scripted applies its lines then closes as told.
#include "platform/dialog.h"

#include <gtest/gtest.h>

#include <algorithm>

using platform::DialogAction;
using platform::IDCANCEL;
using platform::IDOK;

namespace {
// A list editor of the kind the image tests show: entries offered, entries chosen.
class ListModel : public platform::DialogModel {
public:
    std::vector<CString> offered{"Color Bars", "Ramp", "Solid"};
    std::vector<CString> chosen{"Ramp"};
    bool committed = false;
    bool cancelled = false;
    int applied = 0;

    CString GetTitle() const override { return "Images"; }
    CString Describe() const override {
        CString s("chosen:");
        for (const CString& c : chosen) s += " [" + c + "]";
        return s;
    }
    bool Apply(const DialogAction& a, CString& error) override {
        ++applied;
        if (a.verb == "add" && a.args.size() == 1 &&
            std::find(offered.begin(), offered.end(), a.args[0]) != offered.end()) {
            chosen.push_back(a.args[0]);
            return true;
        }
        if (a.verb == "remove" && a.args.size() == 1) {
            auto it = std::find(chosen.begin(), chosen.end(), a.args[0]);
            if (it == chosen.end()) {
                error = "not chosen";
                return false;
            }
            chosen.erase(it);
            return true;
        }
        if (a.verb == "default") {
            chosen = {"Ramp"};
            return true;
        }
        return false;
    }
    bool OnOk(CString& error) override {
        if (chosen.empty()) {
            error = "choose at least one";
            return false;
        }
        committed = true;
        return true;
    }
    void OnCancel() override { cancelled = true; }
};

class DialogTest : public ::testing::Test {
protected:
    void TearDown() override { platform::SetDialogRunner(nullptr); }
};
}  // namespace

TEST(DialogActionTest, WordsQuotesAndVerbCase) {
    DialogAction a = platform::ParseDialogAction("  ADD \"Color Bars\"\t2 x\"y z\" ");
    EXPECT_EQ(a.verb, "add");
    ASSERT_EQ(a.args.size(), 3u);
    EXPECT_EQ(a.args[0], "Color Bars");
    EXPECT_EQ(a.args[1], "2");
    EXPECT_EQ(a.args[2], "xy z");
    EXPECT_EQ(platform::ParseDialogAction(" \t").verb, "");
    EXPECT_TRUE(platform::ParseDialogAction(nullptr).args.empty());
}

TEST_F(DialogTest, HeadlessCancelsWithoutTouchingTheModel) {
    ListModel m;
    EXPECT_EQ(platform::DoModal(m), IDCANCEL);
    EXPECT_EQ(m.applied, 0);
    EXPECT_FALSE(m.committed);
    EXPECT_FALSE(m.cancelled);
    EXPECT_EQ(m.chosen.size(), 1u);
}

TEST_F(DialogTest, ScriptedAppliesLinesInOrderThenCloses) {
    platform::ScriptedDialogRunner runner;
    runner.Push({"add \"Color Bars\"", "remove Ramp", "add Nothing", "ok", "add Solid"});
    runner.Push({"remove \"Color Bars\"", "ok", "cancel"});  // OK refused: the list would be empty
    runner.Push({"default"});                                // ends open: cancelled
    platform::DialogRunner* previous = platform::SetDialogRunner(&runner);
    EXPECT_EQ(platform::GetDialogRunner(), &runner);

    ListModel m;
    EXPECT_EQ(platform::DoModal(m), IDOK);
    EXPECT_TRUE(m.committed);
    EXPECT_EQ(m.Describe(), "chosen: [Color Bars]");  // the line after "ok" was not applied
    EXPECT_EQ(platform::DoModal(m), IDCANCEL);
    EXPECT_TRUE(m.cancelled);
    m.cancelled = false;
    EXPECT_EQ(platform::DoModal(m), IDCANCEL);
    EXPECT_TRUE(m.cancelled);
    EXPECT_EQ(platform::DoModal(m), IDCANCEL);  // no script left
    EXPECT_EQ(runner.Pending(), 0u);

    const auto& h = runner.History();
    ASSERT_EQ(h.size(), 4u);
    EXPECT_EQ(h[0].title, "Images");
    EXPECT_EQ(h[0].before, "chosen: [Ramp]");
    EXPECT_EQ(h[0].after, "chosen: [Color Bars]");
    ASSERT_EQ(h[0].errors.size(), 1u);
    EXPECT_EQ(h[0].errors[0], "add Nothing: Cannot add here");
    ASSERT_EQ(h[1].errors.size(), 1u);
    EXPECT_EQ(h[1].errors[0], "ok: choose at least one");
    EXPECT_EQ(h[1].result, IDCANCEL);
    EXPECT_EQ(h[2].after, "chosen: [Ramp]");

    platform::SetDialogRunner(previous);
    EXPECT_EQ(platform::DoModal(m), IDCANCEL);
    EXPECT_EQ(runner.History().size(), 4u);
}
