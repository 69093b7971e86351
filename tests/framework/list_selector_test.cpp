// Tests of the list selector pages and sheet, driven through the scripted dialog runner.
#include "framework/list_selector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/dialog.h"

namespace {

using Entries = std::vector<std::string>;
using platform::IDCANCEL;
using platform::IDOK;

Entries Of(const CStrList& list) {
    Entries out;
    for (const CString& e : list.GetEntries()) out.push_back(e.str());
    return out;
}

template <class List = CStrList>
List Make(const Entries& entries) {
    List list;
    for (const std::string& e : entries) list.Add(e.c_str());
    return list;
}

Entries Texts(const CSelectorListBox& box) {
    Entries out;
    for (int i = 0; i < box.GetCount(); ++i) out.push_back(box.GetText(i).str());
    return out;
}

const char kGridEntry[] = "GRID=>$(CWD)\\testdata\\VCID\\$(VCID_LIST)\\E_Grid.img";
const char kGridPath[] = "$(CWD)\\testdata\\VCID\\$(VCID_LIST)\\E_Grid.img";

class ListSelectorTest : public ::testing::Test {
protected:
    void SetUp() override { m_previous = platform::SetDialogRunner(&m_runner); }
    void TearDown() override { platform::SetDialogRunner(m_previous); }

    // Runs a sheet with image and resolution lists through one script.
    int RunImages(const Entries& imageSources, const Entries& imageSelections, const Entries& resolutionSources,
                  const Entries& resolutionSelections, std::vector<CString> script) {
        m_sheet.SetImageResolutionSources(Make<CStrListImages>(imageSources),
                                          Make<CStrListResolutions>(resolutionSources));
        m_sheet.SetImageResolutionSelections(Make<CStrListImages>(imageSelections),
                                             Make<CStrListResolutions>(resolutionSelections));
        m_runner.Push(std::move(script));
        int result = m_sheet.DoModal();
        m_sheet.GetImageResolutionSelections(m_images, m_resolutions);
        return result;
    }

    const platform::ScriptedDialogRunner::Record& Last() const { return m_runner.History().back(); }

    platform::ScriptedDialogRunner m_runner;
    platform::DialogRunner* m_previous = nullptr;
    COptionsSheetListSelector m_sheet;
    CStrListImages m_images;
    CStrListResolutions m_resolutions;
};

TEST_F(ListSelectorTest, PagesShownAreThoseWithSources) {
    EXPECT_EQ(m_sheet.GetTitle(), "List Selections");
    // Nothing to choose from: cancel without showing anything.
    EXPECT_EQ(m_sheet.DoModal(), IDCANCEL);
    EXPECT_TRUE(m_runner.History().empty());

    ASSERT_EQ(RunImages({"GRID"}, {}, {"DIM=(64,64)"}, {}, {"ok"}), IDOK);
    ASSERT_EQ(m_sheet.GetPageCount(), 2);
    EXPECT_EQ(m_sheet.GetPage(0), &m_sheet.GetImagePage());
    EXPECT_EQ(m_sheet.GetPage(1), &m_sheet.GetResolutionPage());
    EXPECT_EQ(m_sheet.GetPage(0)->GetCaption(), "Images");
    EXPECT_EQ(m_sheet.GetPage(1)->GetCaption(), "Resolutions");
    EXPECT_EQ(Last().title, "List Selections");
    EXPECT_NE(Last().before.Find("Pages: [0: Images (163)] 1: Resolutions (162)"), -1) << Last().before.str();

    // With generic sources too, the generic page comes first; without image sources it is left out.
    m_sheet.SetSources(Make({"RUN"}));
    m_sheet.SetImageResolutionSources(CStrListImages(), Make<CStrListResolutions>({"DIM=(64,64)"}));
    m_runner.Push({"ok"});
    EXPECT_EQ(m_sheet.DoModal(), IDOK);
    ASSERT_EQ(m_sheet.GetPageCount(), 2);
    EXPECT_EQ(m_sheet.GetPage(0), &m_sheet.GetGenericPage());
    EXPECT_EQ(m_sheet.GetPage(1), &m_sheet.GetResolutionPage());
    EXPECT_EQ(m_sheet.GetGenericPage().GetTemplateId(), 161);
    EXPECT_EQ(m_sheet.GetGenericPage().GetOwner(), &m_sheet);
}

TEST_F(ListSelectorTest, OkUntouchedGivesBackWhatWasSetAndCancelChangesNothing) {
    EXPECT_EQ(RunImages({"GRID", "RANDOM"}, {"RANDOM", "SOLID=(Y=400:CB=50:CR=640)"}, {"DIM=(64,64)"},
                        {"DIM=(720,486)"}, {"ok"}),
              IDOK);
    EXPECT_EQ(Of(m_images), (Entries{"RANDOM", "SOLID=(Y=400:CB=50:CR=640)"}));
    EXPECT_EQ(Of(m_resolutions), (Entries{"DIM=(720,486)"}));  // the page never shown hands back its set-up

    // Cancel after edits: 2, and the getter answers the lists that were set.
    EXPECT_EQ(RunImages({"GRID", "RANDOM"}, {"RANDOM"}, {"DIM=(64,64)"}, {"DIM=(720,486)"},
                        {"addall", "page 1", "removeall", "cancel"}),
              IDCANCEL);
    EXPECT_TRUE(Last().errors.empty());
    EXPECT_EQ(Of(m_images), (Entries{"RANDOM"}));
    EXPECT_EQ(Of(m_resolutions), (Entries{"DIM=(720,486)"}));

    // A script that ends with the sheet open is a cancel too, as is the headless runner.
    EXPECT_EQ(RunImages({"GRID"}, {"RANDOM"}, {}, {}, {"addall"}), IDCANCEL);
    EXPECT_EQ(Of(m_images), (Entries{"RANDOM"}));
    platform::SetDialogRunner(nullptr);
    EXPECT_EQ(RunImages({"GRID"}, {"RANDOM"}, {}, {}, {}), IDCANCEL);
    EXPECT_EQ(Of(m_images), (Entries{"RANDOM"}));
    EXPECT_EQ(m_runner.Pending(), 1u);  // the script queued for it was never asked for
}

TEST_F(ListSelectorTest, AddAndAddAll) {
    // Add twice with the same item: listed twice; the source stays and is deselected.
    ASSERT_EQ(RunImages({"DIAGONAL_LINES", "GRID", "RANDOM"}, {"RANDOM"}, {}, {}, {"add 1", "add GRID", "ok"}), IDOK);
    EXPECT_TRUE(Last().errors.empty());
    EXPECT_EQ(Of(m_images), (Entries{"RANDOM", "GRID", "GRID"}));
    const CListSelectorPage& page = m_sheet.GetImagePage();
    EXPECT_EQ(Texts(page.GetSourcesBox()), (Entries{"DIAGONAL_LINES", "GRID", "RANDOM"}));
    EXPECT_EQ(page.GetSourcesBox().GetSelectedCount(), 0);

    // Several selected sources go over top to bottom, whatever order they were clicked in.
    ASSERT_EQ(RunImages({"DIAGONAL_LINES", "GRID", "RANDOM"}, {}, {}, {},
                        {"click sources 2", "click sources 0", "click sources 1", "click sources 1", "add", "ok"}),
              IDOK);
    EXPECT_EQ(Of(m_images), (Entries{"DIAGONAL_LINES", "RANDOM"}));

    // Add All replaces the selections by every source, in order.
    ASSERT_EQ(RunImages({"DIAGONAL_LINES", "GRID"}, {"RANDOM", "GRID"}, {}, {}, {"addall", "ok"}), IDOK);
    EXPECT_EQ(Of(m_images), (Entries{"DIAGONAL_LINES", "GRID"}));
}

TEST_F(ListSelectorTest, RemoveRemoveAllAndDefault) {
    // Remove takes every selected item; duplicates are named twice by text.
    ASSERT_EQ(RunImages({"GRID"}, {"GRID", "RANDOM", "GRID", "SOLID"}, {}, {}, {"remove GRID grid", "ok"}), IDOK);
    EXPECT_EQ(Of(m_images), (Entries{"RANDOM", "SOLID"}));
    ASSERT_EQ(RunImages({"GRID"}, {"A", "B", "C", "D"}, {}, {}, {"click selections 3", "remove 1", "ok"}), IDOK);
    EXPECT_EQ(Of(m_images), (Entries{"A", "C"}));
    EXPECT_EQ(m_sheet.GetImagePage().GetSelectionsBox().GetSelectedCount(), 0);

    ASSERT_EQ(RunImages({"GRID"}, {"A", "B"}, {"DIM=(64,64)"}, {"DIM=(1,1)"}, {"removeall", "page 1", "removeall", "ok"}),
              IDOK);
    EXPECT_TRUE(m_images.IsEmpty());
    EXPECT_TRUE(m_resolutions.IsEmpty());

    // Default after edits restores the selections the sheet was given.
    ASSERT_EQ(RunImages({"GRID", "RANDOM"}, {"RANDOM", "GRID"}, {"DIM=(64,64)"}, {"DIM=(1,1)"},
                        {"removeall", "add 0", "default", "page 1", "addall", "default", "ok"}),
              IDOK);
    EXPECT_EQ(Of(m_images), (Entries{"RANDOM", "GRID"}));
    EXPECT_EQ(Of(m_resolutions), (Entries{"DIM=(1,1)"}));
}

TEST_F(ListSelectorTest, ImagePageShowsNamesAndKeepsTheirValues) {
    ASSERT_EQ(RunImages({kGridEntry, "RANDOM", " HORZ  =>  path b "}, {kGridEntry}, {}, {},
                        {"click sources GRID", "ok"}),
              IDOK);
    const CListSelectorPage& page = m_sheet.GetImagePage();
    EXPECT_EQ(Texts(page.GetSourcesBox()), (Entries{"GRID", "RANDOM", "HORZ"}));
    EXPECT_EQ(Texts(page.GetSelectionsBox()), (Entries{"GRID"}));
    EXPECT_TRUE(page.IsValueVisible());
    EXPECT_EQ(page.GetValueText(), kGridPath);
    EXPECT_NE(Last().after.Find("Value (1056, read-only): $(CWD)"), -1) << Last().after.str();
    EXPECT_EQ(Of(m_images), (Entries{kGridEntry}));

    // An item without value shows "(null)"; names and values come back joined without blanks.
    ASSERT_EQ(RunImages({kGridEntry, "RANDOM", " HORZ  =>  path b "}, {}, {}, {},
                        {"add RANDOM", "add HORZ", "add GRID", "ok"}),
              IDOK);
    EXPECT_EQ(m_sheet.GetImagePage().GetValueText(), kGridPath);
    EXPECT_EQ(Of(m_images), (Entries{"RANDOM", "HORZ=>path b", kGridEntry}));
    ASSERT_EQ(RunImages({kGridEntry, "RANDOM"}, {}, {}, {}, {"click sources RANDOM", "ok"}), IDOK);
    EXPECT_EQ(m_sheet.GetImagePage().GetValueText(), "(null)");

    // The Value field is read-only here, there is no Add Cmd, and without values it is hidden.
    ASSERT_EQ(RunImages({kGridEntry}, {}, {}, {}, {"value x", "addcmd GRID", "ok"}), IDOK);
    ASSERT_EQ(Last().errors.size(), 2u);
    EXPECT_TRUE(m_images.IsEmpty());
    ASSERT_EQ(RunImages({"GRID"}, {}, {}, {}, {"ok"}), IDOK);
    EXPECT_FALSE(m_sheet.GetImagePage().IsValueVisible());
    EXPECT_EQ(Last().before.Find("Value ("), -1);
}

TEST_F(ListSelectorTest, SelectedValuesSurviveOkAndDefault) {
    // A selection whose name is among the sources takes the sources' value back; one whose name is
    // not keeps its own value instead of losing it.
    ASSERT_EQ(RunImages({"GRID=>new.img"}, {"GRID=>old.img", "BARS=>bars.img", "RANDOM"}, {}, {}, {"ok"}), IDOK);
    EXPECT_EQ(Texts(m_sheet.GetImagePage().GetSelectionsBox()), (Entries{"GRID", "BARS", "RANDOM"}));
    EXPECT_EQ(Of(m_images), (Entries{"GRID=>new.img", "BARS=>bars.img", "RANDOM"}));

    // Default shows the given entries as they stand and hands them back whole.
    ASSERT_EQ(RunImages({kGridEntry}, {kGridEntry}, {}, {}, {"removeall", "default", "ok"}), IDOK);
    EXPECT_EQ(Texts(m_sheet.GetImagePage().GetSelectionsBox()), (Entries{kGridEntry}));
    EXPECT_EQ(Of(m_images), (Entries{kGridEntry}));
}

TEST_F(ListSelectorTest, GenericPageValueBoxAndAddCmd) {
    m_sheet.SetSources(Make({"RUN A", "RUN B=>CMD B"}));
    m_sheet.SetSelections(Make({"RUN A"}));
    m_runner.Push({"addcmd", "value (null)", "addcmd",                   // empty and "(null)" add nothing
                   "click sources 1", "addcmd",                           // the caret's text goes to Value
                   "click selections 0", "addcmd",                        // so does a selection's
                   "addcmd Run  \"C D\"", "value", "addcmd", "ok"});
    ASSERT_EQ(m_sheet.DoModal(), IDOK);
    EXPECT_TRUE(Last().errors.empty());
    CStrList out;
    EXPECT_EQ(m_sheet.GetSelections(out), 1);
    EXPECT_EQ(Of(out), (Entries{"RUN A", "RUN B=>CMD B", "RUN A", "Run C D"}));
    EXPECT_EQ(m_sheet.GetGenericPage().GetValueText(), "");
    EXPECT_NE(Last().before.Find("\"<-- Add &Cmd\" (1008)"), -1);
    EXPECT_NE(Last().before.Find("Value (1056): "), -1);

    // Cancel: the generic getter answers what was set.
    m_runner.Push({"removeall", "cancel"});
    EXPECT_EQ(m_sheet.DoModal(), IDCANCEL);
    EXPECT_EQ(m_sheet.GetSelections(out), 1);
    EXPECT_EQ(Of(out), (Entries{"RUN A", "RUN B=>CMD B", "RUN A", "Run C D"}));
}

TEST_F(ListSelectorTest, LeavingAPageKeepsItsEdits) {
    ASSERT_EQ(RunImages({"GRID", "RANDOM"}, {}, {"DIM=(64,64)", "DIM=(256,4)"}, {},
                        {"add RANDOM", "page 1", "add 1", "page 0", "add GRID", "page 1", "add 0", "ok"}),
              IDOK);
    EXPECT_EQ(Of(m_images), (Entries{"RANDOM", "GRID"}));
    EXPECT_EQ(Of(m_resolutions), (Entries{"DIM=(256,4)", "DIM=(64,64)"}));
    EXPECT_EQ(m_sheet.GetActiveIndex(), 1);
}

TEST_F(ListSelectorTest, MistakesAreRefusedAndChangeNothing) {
    ASSERT_EQ(RunImages({"GRID", "RANDOM"}, {"RANDOM"}, {"DIM=(64,64)"}, {},
                        {"add GRID NOPE", "add 7", "remove GRID", "click sources", "click middle 0", "frobnicate",
                         "addall 1", "page 2", "page x", "page 1", "value 5", "addcmd", "ok"}),
              IDOK);
    ASSERT_EQ(Last().errors.size(), 11u);
    EXPECT_NE(Last().errors[0].Find("No item \"NOPE\" in Sources"), -1) << Last().errors[0].str();
    EXPECT_NE(Last().errors[2].Find("No item \"GRID\" in Selections"), -1) << Last().errors[2].str();
    EXPECT_NE(Last().errors[9].Find("no Value field"), -1) << Last().errors[9].str();
    EXPECT_EQ(Of(m_images), (Entries{"RANDOM"}));
    EXPECT_TRUE(m_resolutions.IsEmpty());
    EXPECT_EQ(m_sheet.GetImagePage().GetSourcesBox().GetSelectedCount(), 0);
}

TEST_F(ListSelectorTest, DescribeNamesTheControlsByCaptionAndId) {
    ASSERT_EQ(RunImages({"GRID"}, {"RANDOM"}, {}, {}, {"click sources 0", "cancel"}), IDCANCEL);
    const CString& after = Last().after;
    for (const char* expected : {"Sources (1001)", "Selections (1002)", "\"&Add -->\" (1003)",
                                 "\"<-- Re&move All\" (1004)", "\"<-- &Remove\" (1005)", "\"A&dd All -->\" (1006)",
                                 "\"<-- &Default\" (1007)", "> 0 [x] GRID", "  0 [ ] RANDOM", "ok | cancel"})
        EXPECT_NE(after.Find(expected), -1) << expected << "\n" << after.str();
    EXPECT_EQ(after.Find("Add &Cmd"), -1);
}

TEST_F(ListSelectorTest, ImageTestListEditing) {
    CStrListImages images = Make<CStrListImages>({"GRID"});
    CStrListResolutions resolutions = Make<CStrListResolutions>({"DIM=(64,64)"});
    m_runner.Push({"add RANDOM", "page 1", "removeall", "add DIM=(720,576)", "ok"});
    EXPECT_EQ(EditImageResolutionLists(images, resolutions, 0), IDOK);
    EXPECT_EQ(Texts(m_sheet.GetImagePage().GetSourcesBox()), Entries{});  // a sheet of its own
    EXPECT_NE(Last().before.Find("HORZ_WEDGE_BLUE2RED"), -1);              // preset 0 as sources
    EXPECT_EQ(Of(images), (Entries{"GRID", "RANDOM"}));
    EXPECT_EQ(Of(resolutions), (Entries{"DIM=(720,576)"}));

    m_runner.Push({"removeall", "page 1", "removeall", "cancel"});
    EXPECT_EQ(EditImageResolutionLists(images, resolutions, 3), IDCANCEL);
    EXPECT_NE(Last().after.Find("DIM=(2048,1536)"), -1);  // preset 3 sources on the resolution page
    EXPECT_EQ(Of(images), (Entries{"GRID", "RANDOM"}));
    EXPECT_EQ(Of(resolutions), (Entries{"DIM=(720,576)"}));

    size_t shown = m_runner.History().size();
    EXPECT_EQ(EditImageResolutionLists(images, resolutions, 4), IDCANCEL);
    EXPECT_EQ(m_runner.History().size(), shown);
    EXPECT_EQ(Of(images), (Entries{"GRID", "RANDOM"}));
}

TEST(SelectorListBox, CaretFollowsDeletions) {
    CSelectorListBox box;
    for (const char* t : {"A", "B", "C"}) box.AddItem(t);
    box.Click(2);
    EXPECT_EQ(box.GetCaret(), 2);
    box.DeleteItem(0);
    EXPECT_EQ(box.GetCaret(), 1);
    EXPECT_EQ(box.GetText(1), "C");
    box.DeleteItem(1);
    EXPECT_EQ(box.GetCaret(), 0);
    box.DeleteItem(0);
    EXPECT_EQ(box.GetCaret(), -1);
    box.DeleteItem(0);  // nothing left: ignored
    EXPECT_EQ(box.GetCount(), 0);

    // The caret stays on its item when one before it goes, and on the place when its own goes.
    for (const char* t : {"A", "B", "C", "D"}) box.AddItem(t);
    box.Click(1);
    box.DeleteItem(0);
    EXPECT_EQ(box.GetText(box.GetCaret()), "B");
    box.DeleteItem(box.GetCaret());
    EXPECT_EQ(box.GetText(box.GetCaret()), "C");
    box.DeleteItem(2);
    EXPECT_EQ(box.GetText(box.GetCaret()), "C");
}

}  // namespace
