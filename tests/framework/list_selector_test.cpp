// Tests of the list selector pages and sheet, driven through the scripted dialog runner.
#include "framework/list_selector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/dialog.h"
#include "tests/framework/list_text.h"

namespace {

using namespace support;
using platform::IDCANCEL;
using platform::IDOK;

const char kGrid[] = "GRID=>$(CWD)\\testdata\\VCID\\$(VCID_LIST)\\E_Grid.img";

class ListSelectorTest : public ::testing::Test {
protected:
    void SetUp() override { m_previous = platform::SetDialogRunner(&m_runner); }
    void TearDown() override { platform::SetDialogRunner(m_previous); }

    // Runs a sheet with image and resolution lists through one script.
    int Run(const char* imageSources, const char* images, const char* sizeSources, const char* sizes,
            const std::string& script) {
        m_sheet.SetImageResolutionSources(MakeList<CStrListImages>(imageSources),
                                          MakeList<CStrListResolutions>(sizeSources));
        m_sheet.SetImageResolutionSelections(MakeList<CStrListImages>(images), MakeList<CStrListResolutions>(sizes));
        std::vector<CString> lines;
        for (const std::string& line : Split(script)) lines.emplace_back(line.c_str());
        m_runner.Push(std::move(lines));
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

TEST_F(ListSelectorTest, ScriptsEditTheSelectionsOnEveryPage) {
    // Lists and scripts joined with "|": image sources, images, size sources, sizes, script; then the result,
    // the images and sizes handed back.
    const struct { const char* name; const char *imageSources, *images, *sizeSources, *sizes, *script;
                   int result; const char *imagesAfter, *sizesAfter; } rows[] = {
        {"script ends with the sheet open", "G", "R", "", "", "addall", IDCANCEL, "R", ""},
        {"remove every named item", "G", "G|R|G|S", "", "", "remove G g|ok", IDOK, "R|S", ""},
        {"default restores", "G|R", "R|G", "D1", "D2", "removeall|add 0|default|page 1|addall|default|ok", IDOK, "R|G", "D2"},
        {"pages keep their edits", "G", "", "D1|D3", "", "add G|page 1|add 1|page 0|page 1|add 0|ok", IDOK, "G", "D3|D1"},
        {"names show, values come back", "G=>g|R| H  =>  p b ", "B=>b", "", "", "add R|add H|add G|ok", IDOK, "B=>b|R|H=>p b|G=>g", ""},
        {"mistakes change nothing", "G|R", "R", "D1", "", "add G NOPE|add 7|remove G|click sources|click middle 0|"
         "frobnicate|addall 1|page 2|page x|page 1|value 5|addcmd|ok", IDOK, "R", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Run(row.imageSources, row.images, row.sizeSources, row.sizes, row.script), row.result);
        EXPECT_EQ(Joined(m_images), row.imagesAfter);
        EXPECT_EQ(Joined(m_sizes), row.sizesAfter);
        EXPECT_EQ(m_sheet.GetImagePage().GetSourcesBox().GetSelectedCount(), 0);
    }
    ASSERT_EQ(Last().errors.size(), 11u);  // the mistakes, each refused
    EXPECT_NE(Last().errors[0].Find("No item \"NOPE\" in Sources"), -1) << Last().errors[0].str();
    EXPECT_NE(Last().errors[9].Find("no Value field"), -1) << Last().errors[9].str();
    // Item and page numbers no index can be are refused in the one refusal's words, never cut to
    // another number (4294967296 is not item 0).
    ASSERT_EQ(Run("G|R", "R", "D1", "", "add 4294967296|remove 4294967296|click sources 99999999999|page 4294967297|ok"), IDOK);
    EXPECT_EQ(Joined(m_images), "R");
    const char* const refused[] = {"item=4294967296", "item=4294967296", "item=99999999999", "page=4294967297"};
    ASSERT_EQ(Last().errors.size(), std::size(refused));
    for (size_t i = 0; i < std::size(refused); ++i)
        EXPECT_NE(Last().errors[i].Find(CString("Argument ") + refused[i] + " does not fit its range 0..2147483647"), -1)
            << Last().errors[i].str();
    ASSERT_EQ(Run(kGrid, kGrid, "D1", "", "click sources GRID|ok"), IDOK);  // the value shows beside the name
    EXPECT_NE(Last().after.Find("$(CWD)\\testdata"), -1) << Last().after.str();
    // With generic sources the generic page comes first; without image sources that page is left out.
    m_sheet.SetSources(MakeList("RUN A|RUN B=>CMD B"));
    m_sheet.SetSelections(MakeList(""));
    ASSERT_EQ(Run("", "", "D1", "", "addcmd|click sources 1|addcmd|addcmd Run  \"C D\"|ok"), IDOK);
    EXPECT_EQ(m_sheet.GetPage(0), &m_sheet.GetGenericPage());
    EXPECT_EQ(m_sheet.GetPageCount(), 2);
    CStrList out;
    m_sheet.GetSelections(out);
    EXPECT_EQ(Joined(out), "RUN B=>CMD B|Run C D");  // empty Value adds nothing; the caret's text goes to Value
    auto images = MakeList<CStrListImages>("GRID");
    auto sizes = MakeList<CStrListResolutions>("DIM=(64,64)");
    m_runner.Push({"add RANDOM", "page 1", "removeall", "add DIM=(720,576)", "ok"});
    EXPECT_EQ(EditImageResolutionLists(images, sizes, 0), IDOK);  // preset 0 as sources
    EXPECT_EQ(Joined(images) + "/" + Joined(sizes), "GRID|RANDOM/DIM=(720,576)");
    const size_t shown = m_runner.History().size();
    EXPECT_EQ(EditImageResolutionLists(images, sizes, 4), IDCANCEL);  // an unknown preset shows nothing
    EXPECT_EQ(m_runner.History().size(), shown);
    // The headless runner cancels without asking for a script.
    platform::SetDialogRunner(nullptr);
    EXPECT_EQ(Run("G", "R", "", "", "ok"), IDCANCEL);
    EXPECT_EQ(m_runner.Pending(), 1u);
}

}  // namespace
