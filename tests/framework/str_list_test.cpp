// Tests of the image and resolution lists: presets, list commands, copies and the test-side helpers.
#include "framework/str_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/framework/list_text.h"

namespace {

using support::MakeList;
const auto& Of = support::Joined;

struct CapturePrinter : CStrListPrinter {
    void Print(const CString& text) override { printed += text.str(); }
    std::string printed;
};

const std::string kImages0 = "HORZ_WEDGE_BLUE2RED|RANDOM";
const std::string kImages1 =
    "DIAGONAL_LINES|GRID|SOLID=(Y=400:CB=50:CR=640)|HORZ_WEDGE|HORZ_WEDGE_BLUE2RED|HORZ_WEDGE_RED2BLUE|"
    "VERT_WEDGE|VERT_WEDGE_BLUE2RED|VERT_WEDGE_RED2BLUE|RANDOM SEED=0x12345678|RANDOM";
const std::string kImages2 = "HORZ_WEDGE_BLUE2RED|VERT_WEDGE_BLUE2RED|RANDOM";
const std::string kSizes0 = "DIM=(720,486)|DIM=(720,576)";
const std::string kSizes1 = "DIM=(720,480)|DIM=(720,486)|DIM=(720,576)|DIM=(1280,720)|DIM=(1440,1080)|DIM=(1920,1080)";
const std::string kSizes3 =
    "DIM=(160,120)|DIM=(64,64)|DIM=(256,4)|DIM=(320,180)|DIM=(320,240)|DIM=(360,240)|DIM=(360,242)|"
    "DIM=(360,288)|DIM=(360,270)|DIM=(480,258)|DIM=(480,270)|DIM=(512,384)|DIM=(640,360)|DIM=(640,480)|"
    "DIM=(720,480)|DIM=(720,486)|DIM=(720,540)|DIM=(720,576)|DIM=(960,517)|DIM=(960,540)|DIM=(1024,768)|"
    "DIM=(1440,1080)|DIM=(1280,720)|DIM=(1920,1080)|DIM=(2048,1536)";

TEST(StrListPresets, EachRunModeLoadsItsListAndABadPresetChangesNothing) {
    const std::string images[] = {kImages0, kImages1, kImages2, kImages1};
    const std::string sizes[] = {kSizes0, kSizes1, kSizes1, kSizes3};
    for (int preset = 0; preset < 4; ++preset) {
        auto imageList = MakeList<CStrListImages>("OLD");
        auto sizeList = MakeList<CStrListResolutions>("OLD");
        EXPECT_TRUE(imageList.SetDefaults(preset, TRUE));
        EXPECT_TRUE(sizeList.SetDefaults(preset));  // always replaces
        EXPECT_EQ(Of(imageList), images[preset]) << preset;
        EXPECT_EQ(Of(sizeList), sizes[preset]) << preset;
    }
    // Clear other than exactly TRUE appends.
    auto appended = MakeList<CStrListImages>("GRID");
    EXPECT_TRUE(appended.SetDefaults(0, FALSE));
    EXPECT_TRUE(appended.SetDefaults(0, 2));
    EXPECT_EQ(Of(appended), "GRID|" + kImages0 + "|" + kImages0);
    EXPECT_FALSE(appended.SetDefaults(4, TRUE));
    EXPECT_FALSE(appended.SetDefaults(-1, TRUE));
    EXPECT_EQ(appended.GetCount(), 5);
    auto sizeList = MakeList<CStrListResolutions>("DIM=(1,1)");
    EXPECT_FALSE(sizeList.SetDefaults(4));
    EXPECT_FALSE(sizeList.SetDefaults(-1));
    EXPECT_EQ(Of(sizeList), "DIM=(1,1)");
    EXPECT_EQ((std::vector<int>{StrListPreset(false, false), StrListPreset(false, true), StrListPreset(true, false),
                                StrListPreset(true, true)}),
              (std::vector<int>{0, 1, 2, 3}));  // 2 x regression + engineering
}

TEST(StrListCommands, CommandsChangeTheListAndAnswer) {
    struct Row {
        const char* name;
        std::string before, command;
        BOOL result;
        std::string after, output;
    } rows[] = {
        {"show lists every entry", "GRID|RANDOM SEED=5", "SHOW", TRUE, "GRID|RANDOM SEED=5",
         "Index[0]\tGRID\nIndex[1]\tRANDOM SEED=5\n"},
        {"show on an empty list", "", "SHOW", TRUE, "", "List is empty!\n"}, {"clear", "A|B", "CLEAR", TRUE, "", ""},
        {"lower-case show is nothing", "A", "show", TRUE, "A", ""},
        {"padded clear is nothing", "A", "CLEAR ", TRUE, "A", ""},
        {"unknown text is nothing", "A", "anything at all", TRUE, "A", ""},
        {"remove the only entry", "GRID", "REMOVE=0", TRUE, "", ""},
        {"remove past the end", "GRID", "REMOVE=1", FALSE, "GRID", ""},
        {"remove a negative index", "GRID", "REMOVE=-1", FALSE, "GRID", ""},
        {"remove from an empty list", "", "REMOVE=0", FALSE, "", ""},
        {"remove moves later entries up", "A|B|C", "remove = 1", TRUE, "A|C", ""},
        {"remove of no number", "A|C", "REMOVE=X", FALSE, "A|C", ""},
        {"remove of nothing", "A|C", "REMOVE=", FALSE, "A|C", ""},
        {"remove past int", "A|C", "REMOVE=4294967296", FALSE, "A|C", ""},
        {"remove reads digits first", "A|C", "REMOVE=1st", TRUE, "A", ""},
        {"both keys is a remove", "A|B", "ADD=GRID REMOVE=0", TRUE, "B", ""},
        {"add upper-cases", "GRID", "ADD=grid", TRUE, "GRID|GRID", ""},
        {"add loses outer brackets", "", "ADD=(SOLID=(Y=400:CB=50:CR=640))", TRUE, "SOLID=(Y=400:CB=50:CR=640)", ""},
        {"add of a bracketed phrase", "", "ADD=(random seed=5)", TRUE, "RANDOM SEED=5", ""},
        {"bare add ends at a blank", "", "ADD=vert_wedge trailing words", TRUE, "VERT_WEDGE", ""},
        {"empty add appends an empty entry", "A", "ADD=", TRUE, "A|", ""},
        {"unbalanced brackets are no add", "A", "ADD=(GRID", TRUE, "A", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CStrList list = MakeList(row.before);
        CString out = "before\n";  // appended to, never cleared
        EXPECT_EQ(list.DoCommand(row.command.c_str(), out), row.result);
        EXPECT_EQ(Of(list), row.after);
        EXPECT_EQ(out.str(), "before\n" + row.output);
    }
}

// Counts the entries that arrive through Add, as assignment and ADD must route them.
struct CountingList : CStrList {
    using CStrList::operator=;
    void Add(CString entry) override {
        ++adds;
        CStrList::Add(entry + "!");
    }
    int adds = 0;
};

TEST(StrListCopies, CopiesAreIndependentAndAssignmentGoesThroughAdd) {
    CStrList source = MakeList("A|B|A");
    CStrList copy(source);
    copy.Add("C");
    EXPECT_EQ(Of(copy), "A|B|A|C");
    EXPECT_EQ(Of(source), "A|B|A");

    CStrList target = MakeList("X");
    target = source;
    CStrList& alias = target;
    target = alias;  // self-assignment keeps the entries
    EXPECT_EQ(Of(target), "A|B|A");

    CountingList counting;
    counting = source;
    CString out;
    counting.DoCommand("ADD=z", out);
    EXPECT_EQ(counting.adds, 4);
    EXPECT_EQ(Of(counting), "A!|B!|A!|Z!");

    EXPECT_EQ(target.FreeStrings(), 0);
    EXPECT_TRUE(target.IsEmpty());
    EXPECT_EQ(target.GetAt(0), "");
    EXPECT_EQ(source.GetAt(-1), "");
    EXPECT_EQ(source.GetAt(0) + source.GetAt(1), "AB");
}

TEST(StrListHelpers, TestCommandTrimsPrintsAndAnswersTheResult) {
    CStrListImages list;
    CapturePrinter printer;
    EXPECT_EQ(RunStrListCommand(list, "  ADD=grid \r\n", printer), 1);
    EXPECT_EQ(RunStrListCommand(list, "\tSHOW  ", printer), 1);
    EXPECT_EQ(RunStrListCommand(list, " REMOVE=3 ", printer), 2);
    EXPECT_EQ(printer.printed, "Index[0]\tGRID\n");
    EXPECT_EQ(RunStrListCommand(list, " CLEAR", printer), 1);
    EXPECT_TRUE(list.IsEmpty());
}

TEST(StrListHelpers, PresetLoaderReportsAnUndefinedModeInRed) {
    CStrListImages images;
    CStrListResolutions resolutions;
    CapturePrinter printer;
    EXPECT_TRUE(LoadStrListPresets(images, resolutions, 2, printer));
    EXPECT_EQ(printer.printed, "");
    EXPECT_FALSE(LoadStrListPresets(images, resolutions, 5, printer));
    EXPECT_EQ(printer.printed,
              "~*RED*~Image Mode is UNDEFINED\n~*BLACK*~~*RED*~Resolution Mode is UNDEFINED\n~*BLACK*~");
    EXPECT_EQ(Of(images), kImages2);
    EXPECT_EQ(Of(resolutions), kSizes1);
}

}  // namespace
