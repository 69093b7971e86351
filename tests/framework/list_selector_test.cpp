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

template <class List = CStrList>
List Make(const Entries& entries) {
    List list;
    for (const std::string& e : entries) list.Add(e.c_str());
    return list;
}

Entries Of(const CStrList& list) {
    Entries out;
    for (const CString& e : list.GetEntries()) out.push_back(e.str());
    return out;
}

Entries Texts(const CSelectorListBox& box) {
    Entries out;
    for (int i = 0; i < box.GetCount(); ++i) out.push_back(box.GetText(i).str());
    return out;
}

const char kGrid[] = "GRID=>$(CWD)\\testdata\\VCID\\$(VCID_LIST)\\E_Grid.img";
const char kGridPath[] = "$(CWD)\\testdata\\VCID\\$(VCID_LIST)\\E_Grid.img";

class ListSelectorTest : public ::testing::Test {
protected:
    void SetUp() override { m_previous = platform::SetDialogRunner(&m_runner); }
    void TearDown() override { platform::SetDialogRunner(m_previous); }

    // Runs a sheet with image and resolution lists through one script.
    int Run(const Entries& imageSources, const Entries& images, const Entries& sizeSources, const Entries& sizes,
            std::vector<CString> script) {
        m_sheet.SetImageResolutionSources(Make<CStrListImages>(imageSources), Make<CStrListResolutions>(sizeSources));
        m_sheet.SetImageResolutionSelections(Make<CStrListImages>(images), Make<CStrListResolutions>(sizes));
        m_runner.Push(std::move(script));
        const int result = m_sheet.DoModal();
        m_sheet.GetImageResolutionSelections(m_images, m_sizes);
        return result;
    }
    const platform::ScriptedDialogRunner::Record& Last() const { return m_runner.History().back(); }

    platform::ScriptedDialogRunner m_runner;
    platform::DialogRunner* m_previous = nullptr;
    COptionsSheetListSelector m_sheet;
    CStrListImages m_images;
    CStrListResolutions m_sizes;
};

TEST_F(ListSelectorTest, ScriptsEditTheSelections) {
    const struct {
        const char* name;
        Entries imageSources, images, sizeSources, sizes;
        std::vector<CString> script;
        int result;
        Entries imagesAfter, sizesAfter;
        size_t errors;
    } rows[] = {
        {"ok untouched gives back what was set", {"GRID", "RANDOM"}, {"RANDOM", "SOLID"}, {"DIM=(64,64)"}, {"DIM=(1,1)"},
         {"ok"}, IDOK, {"RANDOM", "SOLID"}, {"DIM=(1,1)"}, 0},
        {"cancel after edits changes nothing", {"GRID"}, {"RANDOM"}, {"DIM=(64,64)"}, {"DIM=(1,1)"},
         {"addall", "page 1", "removeall", "cancel"}, IDCANCEL, {"RANDOM"}, {"DIM=(1,1)"}, 0},
        {"a script ending with the sheet open cancels", {"GRID"}, {"RANDOM"}, {}, {}, {"addall"}, IDCANCEL, {"RANDOM"}, {}, 0},
        {"add twice lists twice", {"DIAGONAL_LINES", "GRID", "RANDOM"}, {"RANDOM"}, {}, {}, {"add 1", "add GRID", "ok"},
         IDOK, {"RANDOM", "GRID", "GRID"}, {}, 0},
        {"selected sources go over top to bottom", {"A", "B", "C"}, {}, {}, {},
         {"click sources 2", "click sources 0", "click sources 1", "click sources 1", "add", "ok"}, IDOK, {"A", "C"}, {}, 0},
        {"add all replaces the selections", {"A", "B"}, {"RANDOM", "B"}, {}, {}, {"addall", "ok"}, IDOK, {"A", "B"}, {}, 0},
        {"remove takes every named item", {"GRID"}, {"GRID", "RANDOM", "GRID", "SOLID"}, {}, {}, {"remove GRID grid", "ok"},
         IDOK, {"RANDOM", "SOLID"}, {}, 0},
        {"remove takes every selected item", {"GRID"}, {"A", "B", "C", "D"}, {}, {}, {"click selections 3", "remove 1", "ok"},
         IDOK, {"A", "C"}, {}, 0},
        {"remove all on both pages", {"GRID"}, {"A"}, {"DIM=(64,64)"}, {"DIM=(1,1)"},
         {"removeall", "page 1", "removeall", "ok"}, IDOK, {}, {}, 0},
        {"default restores what the sheet was given", {"GRID", "RANDOM"}, {"RANDOM", "GRID"}, {"DIM=(64,64)"}, {"DIM=(1,1)"},
         {"removeall", "add 0", "default", "page 1", "addall", "default", "ok"}, IDOK, {"RANDOM", "GRID"}, {"DIM=(1,1)"}, 0},
        {"leaving a page keeps its edits", {"GRID", "RANDOM"}, {}, {"DIM=(64,64)", "DIM=(256,4)"}, {},
         {"add RANDOM", "page 1", "add 1", "page 0", "add GRID", "page 1", "add 0", "ok"}, IDOK, {"RANDOM", "GRID"},
         {"DIM=(256,4)", "DIM=(64,64)"}, 0},
        {"names show, values come back joined", {kGrid, "RANDOM", " HORZ  =>  path b "}, {}, {}, {},
         {"add RANDOM", "add HORZ", "add GRID", "ok"}, IDOK, {"RANDOM", "HORZ=>path b", kGrid}, {}, 0},
        {"a selection takes the source's value or keeps its own", {"GRID=>new.img"}, {"GRID=>old.img", "BARS=>b.img"}, {}, {},
         {"ok"}, IDOK, {"GRID=>new.img", "BARS=>b.img"}, {}, 0},
        {"default hands the given entries back whole", {kGrid}, {kGrid}, {}, {}, {"removeall", "default", "ok"}, IDOK,
         {kGrid}, {}, 0},
        {"no value field and no add cmd on the image page", {kGrid}, {}, {}, {}, {"value x", "addcmd GRID", "ok"}, IDOK,
         {}, {}, 2},
        {"mistakes are refused and change nothing", {"GRID", "RANDOM"}, {"RANDOM"}, {"DIM=(64,64)"}, {},
         {"add GRID NOPE", "add 7", "remove GRID", "click sources", "click middle 0", "frobnicate", "addall 1", "page 2",
          "page x", "page 1", "value 5", "addcmd", "ok"},
         IDOK, {"RANDOM"}, {}, 11},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Run(row.imageSources, row.images, row.sizeSources, row.sizes, row.script), row.result);
        EXPECT_EQ(Of(m_images), row.imagesAfter);
        EXPECT_EQ(Of(m_sizes), row.sizesAfter);
        EXPECT_EQ(Last().errors.size(), row.errors);
        EXPECT_EQ(m_sheet.GetImagePage().GetSourcesBox().GetSelectedCount(), 0);
    }
    EXPECT_NE(Last().errors[0].Find("No item \"NOPE\" in Sources"), -1) << Last().errors[0].str();
    EXPECT_NE(Last().errors[2].Find("No item \"GRID\" in Selections"), -1) << Last().errors[2].str();
    EXPECT_NE(Last().errors[9].Find("no Value field"), -1) << Last().errors[9].str();
    // The headless runner cancels without asking for a script.
    platform::SetDialogRunner(nullptr);
    EXPECT_EQ(Run({"GRID"}, {"RANDOM"}, {}, {}, {}), IDCANCEL);
    EXPECT_EQ(Of(m_images), Entries{"RANDOM"});
    EXPECT_EQ(m_runner.Pending(), 1u);
}

TEST_F(ListSelectorTest, PagesShownAreThoseWithSources) {
    EXPECT_EQ(m_sheet.DoModal(), IDCANCEL);  // nothing to choose from: nothing shown
    EXPECT_TRUE(m_runner.History().empty());
    ASSERT_EQ(Run({"GRID"}, {}, {"DIM=(64,64)"}, {}, {"ok"}), IDOK);
    ASSERT_EQ(m_sheet.GetPageCount(), 2);
    EXPECT_EQ(m_sheet.GetPage(0), &m_sheet.GetImagePage());
    EXPECT_EQ(Last().title, "List Selections");
    EXPECT_NE(Last().before.Find("Pages: [0: Images (163)] 1: Resolutions (162)"), -1) << Last().before.str();
    // With generic sources too, the generic page comes first; without image sources it is left out.
    m_sheet.SetSources(Make({"RUN"}));
    ASSERT_EQ(Run({}, {}, {"DIM=(64,64)"}, {}, {"ok"}), IDOK);
    ASSERT_EQ(m_sheet.GetPageCount(), 2);
    EXPECT_EQ(m_sheet.GetPage(0), &m_sheet.GetGenericPage());
    EXPECT_EQ(m_sheet.GetPage(1), &m_sheet.GetResolutionPage());
    EXPECT_EQ(m_sheet.GetGenericPage().GetTemplateId(), 161);
}

TEST_F(ListSelectorTest, ImagePageShowsNamesAndTheCaretsValue) {
    ASSERT_EQ(Run({kGrid, "RANDOM", " HORZ  =>  path b "}, {kGrid}, {}, {}, {"click sources GRID", "ok"}), IDOK);
    const CListSelectorPage& page = m_sheet.GetImagePage();
    EXPECT_EQ(Texts(page.GetSourcesBox()), (Entries{"GRID", "RANDOM", "HORZ"}));
    EXPECT_EQ(Texts(page.GetSelectionsBox()), Entries{"GRID"});
    EXPECT_EQ(page.GetValueText(), kGridPath);
    EXPECT_NE(Last().after.Find("Value (1056, read-only): $(CWD)"), -1) << Last().after.str();
    for (const char* control : {"Sources (1001)", "Selections (1002)", "\"&Add -->\" (1003)", "\"<-- Re&move All\" (1004)",
                                "\"<-- &Remove\" (1005)", "\"A&dd All -->\" (1006)", "\"<-- &Default\" (1007)",
                                "> 0 [x] GRID", "  1 [ ] RANDOM", "ok | cancel"})
        EXPECT_NE(Last().after.Find(control), -1) << control << "\n" << Last().after.str();
    EXPECT_EQ(Last().after.Find("Add &Cmd"), -1);
    ASSERT_EQ(Run({kGrid, "RANDOM"}, {}, {}, {}, {"click sources RANDOM", "ok"}), IDOK);
    EXPECT_EQ(m_sheet.GetImagePage().GetValueText(), "(null)");
    ASSERT_EQ(Run({"GRID"}, {}, {}, {}, {"ok"}), IDOK);  // without values the field is hidden
    EXPECT_FALSE(m_sheet.GetImagePage().IsValueVisible());
    EXPECT_EQ(Last().before.Find("Value ("), -1);
}

TEST_F(ListSelectorTest, GenericPageValueBoxAndAddCmd) {
    m_sheet.SetSources(Make({"RUN A", "RUN B=>CMD B"}));
    m_sheet.SetSelections(Make({"RUN A"}));
    m_runner.Push({"addcmd", "value (null)", "addcmd",  // empty and "(null)" add nothing
                   "click sources 1", "addcmd",          // the caret's text goes to Value
                   "click selections 0", "addcmd",       // so does a selection's
                   "addcmd Run  \"C D\"", "value", "addcmd", "ok"});
    ASSERT_EQ(m_sheet.DoModal(), IDOK);
    EXPECT_TRUE(Last().errors.empty());
    EXPECT_NE(Last().before.Find("\"<-- Add &Cmd\" (1008)"), -1);
    CStrList out;
    EXPECT_EQ(m_sheet.GetSelections(out), 1);
    const Entries edited{"RUN A", "RUN B=>CMD B", "RUN A", "Run C D"};
    EXPECT_EQ(Of(out), edited);
    m_runner.Push({"removeall", "cancel"});  // cancel: the getter answers what was set
    EXPECT_EQ(m_sheet.DoModal(), IDCANCEL);
    m_sheet.GetSelections(out);
    EXPECT_EQ(Of(out), edited);
}

TEST_F(ListSelectorTest, ImageTestListEditing) {
    auto images = Make<CStrListImages>({"GRID"});
    auto sizes = Make<CStrListResolutions>({"DIM=(64,64)"});
    m_runner.Push({"add RANDOM", "page 1", "removeall", "add DIM=(720,576)", "ok"});
    EXPECT_EQ(EditImageResolutionLists(images, sizes, 0), IDOK);
    EXPECT_NE(Last().before.Find("HORZ_WEDGE_BLUE2RED"), -1);  // preset 0 as sources
    EXPECT_EQ(Of(images), (Entries{"GRID", "RANDOM"}));
    EXPECT_EQ(Of(sizes), Entries{"DIM=(720,576)"});
    m_runner.Push({"removeall", "page 1", "removeall", "cancel"});
    EXPECT_EQ(EditImageResolutionLists(images, sizes, 3), IDCANCEL);
    EXPECT_NE(Last().after.Find("DIM=(2048,1536)"), -1);  // preset 3 sources on the resolution page
    EXPECT_EQ(Of(images), (Entries{"GRID", "RANDOM"}));
    const size_t shown = m_runner.History().size();
    EXPECT_EQ(EditImageResolutionLists(images, sizes, 4), IDCANCEL);
    EXPECT_EQ(m_runner.History().size(), shown);
}

TEST(SelectorListBox, CaretFollowsDeletions) {
    CSelectorListBox box;
    for (const char* t : {"A", "B", "C", "D"}) box.AddItem(t);
    box.Click(1);
    box.DeleteItem(0);  // one before the caret goes: it stays on its item
    EXPECT_EQ(box.GetText(box.GetCaret()), "B");
    box.DeleteItem(box.GetCaret());  // its own goes: it stays on the place
    EXPECT_EQ(box.GetText(box.GetCaret()), "C");
    box.Click(1);
    box.DeleteItem(1);  // the last one, under the caret: it moves up
    EXPECT_EQ(box.GetCaret(), 0);
    box.DeleteItem(0);
    EXPECT_EQ(box.GetCaret(), -1);
    box.DeleteItem(0);  // nothing left: ignored
    EXPECT_EQ(box.GetCount(), 0);
}

}  // namespace
