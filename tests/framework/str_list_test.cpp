// Tests of the image and resolution lists: presets, list commands, copies and the test-side helpers.
#include "framework/str_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Entries = std::vector<std::string>;

Entries Of(const CStrList& list) {
    Entries out;
    for (const CString& e : list.GetEntries()) out.push_back(e.str());
    return out;
}

CStrList Make(const Entries& entries) {
    CStrList list;
    for (const std::string& e : entries) list.Add(e.c_str());
    return list;
}

struct CapturePrinter : CStrListPrinter {
    void Print(const CString& text) override { printed += text.str(); }
    std::string printed;
};

// The presets as the image tests have always run them.
const Entries kImagePreset0 = {"HORZ_WEDGE_BLUE2RED", "RANDOM"};
const Entries kImagePreset1 = {"DIAGONAL_LINES",      "GRID",
                               "SOLID=(Y=400:CB=50:CR=640)", "HORZ_WEDGE",
                               "HORZ_WEDGE_BLUE2RED", "HORZ_WEDGE_RED2BLUE",
                               "VERT_WEDGE",          "VERT_WEDGE_BLUE2RED",
                               "VERT_WEDGE_RED2BLUE", "RANDOM SEED=0x12345678",
                               "RANDOM"};
const Entries kImagePreset2 = {"HORZ_WEDGE_BLUE2RED", "VERT_WEDGE_BLUE2RED", "RANDOM"};
const Entries kResolutionPreset0 = {"DIM=(720,486)", "DIM=(720,576)"};
const Entries kResolutionPreset1 = {"DIM=(720,480)",  "DIM=(720,486)",   "DIM=(720,576)",
                                    "DIM=(1280,720)", "DIM=(1440,1080)", "DIM=(1920,1080)"};

TEST(StrListPresets, ImagePresetsPerRunModeAndClearFlag) {
    CStrListImages list;
    EXPECT_TRUE(list.IsEmpty());  // construction loads nothing
    ASSERT_TRUE(list.SetDefaults(0, TRUE));
    EXPECT_EQ(Of(list), kImagePreset0);
    ASSERT_TRUE(list.SetDefaults(1, TRUE));
    EXPECT_EQ(Of(list), kImagePreset1);
    ASSERT_TRUE(list.SetDefaults(2, TRUE));
    EXPECT_EQ(Of(list), kImagePreset2);
    ASSERT_TRUE(list.SetDefaults(3, TRUE));
    EXPECT_EQ(Of(list), kImagePreset1);

    // clear FALSE (and anything but exactly TRUE) appends after what is there.
    CStrListImages appended;
    appended.Add("GRID");
    ASSERT_TRUE(appended.SetDefaults(0, FALSE));
    EXPECT_EQ(Of(appended), (Entries{"GRID", "HORZ_WEDGE_BLUE2RED", "RANDOM"}));
    ASSERT_TRUE(appended.SetDefaults(2, 2));
    EXPECT_EQ(appended.GetCount(), 6);

    // A preset outside 0-3 leaves the list as it was, even with clear set.
    EXPECT_FALSE(appended.SetDefaults(4, TRUE));
    EXPECT_FALSE(appended.SetDefaults(-1, TRUE));
    EXPECT_EQ(appended.GetCount(), 6);
}

TEST(StrListPresets, ResolutionPresetsReplaceTheList) {
    CStrListResolutions list;
    list.Add("DIM=(1,1)");
    ASSERT_TRUE(list.SetDefaults(0));
    EXPECT_EQ(Of(list), kResolutionPreset0);
    ASSERT_TRUE(list.SetDefaults(1));
    EXPECT_EQ(Of(list), kResolutionPreset1);
    ASSERT_TRUE(list.SetDefaults(2));
    EXPECT_EQ(Of(list), kResolutionPreset1);

    // Preset 3: every size of both modes, in its historical, unsorted order.
    ASSERT_TRUE(list.SetDefaults(3));
    ASSERT_EQ(list.GetCount(), 25);
    EXPECT_EQ(list.GetAt(0), "DIM=(160,120)");
    EXPECT_EQ(list.GetAt(2), "DIM=(256,4)");
    EXPECT_EQ(list.GetAt(7), "DIM=(360,288)");
    EXPECT_EQ(list.GetAt(8), "DIM=(360,270)");
    EXPECT_EQ(list.GetAt(21), "DIM=(1440,1080)");
    EXPECT_EQ(list.GetAt(22), "DIM=(1280,720)");
    EXPECT_EQ(list.GetAt(24), "DIM=(2048,1536)");
    for (const std::string& size : kResolutionPreset1) {
        int seen = 0;
        for (const CString& e : list.GetEntries()) seen += e == size.c_str();
        EXPECT_EQ(seen, 1) << size;
    }

    EXPECT_FALSE(list.SetDefaults(4));
    EXPECT_EQ(list.GetCount(), 25);
    EXPECT_EQ(StrListPreset(false, false), 0);
    EXPECT_EQ(StrListPreset(false, true), 1);
    EXPECT_EQ(StrListPreset(true, false), 2);
    EXPECT_EQ(StrListPreset(true, true), 3);
}

TEST(StrListCommands, ClearAndShowAreWholeCaseSensitiveWords) {
    CStrList list = Make({"GRID", "RANDOM SEED=5"});
    CString out = "before\n";
    EXPECT_TRUE(list.DoCommand("SHOW", out));
    EXPECT_EQ(out.str(), "before\nIndex[0]\tGRID\nIndex[1]\tRANDOM SEED=5\n");

    // Lower case and padded words are not the commands: nothing happens, and that is success.
    out.Empty();
    EXPECT_TRUE(list.DoCommand("show", out));
    EXPECT_TRUE(list.DoCommand("clear", out));
    EXPECT_TRUE(list.DoCommand("CLEAR ", out));
    EXPECT_TRUE(list.DoCommand("anything at all", out));
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(list.GetCount(), 2);

    EXPECT_TRUE(list.DoCommand("CLEAR", out));
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_TRUE(list.DoCommand("SHOW", out));
    EXPECT_EQ(out.str(), "List is empty!\n");
}

TEST(StrListCommands, RemoveByZeroBasedIndex) {
    CString out;
    CStrList one = Make({"GRID"});
    EXPECT_FALSE(one.DoCommand("REMOVE=1", out));
    EXPECT_FALSE(one.DoCommand("REMOVE=-1", out));
    EXPECT_EQ(one.GetCount(), 1);
    EXPECT_TRUE(one.DoCommand("REMOVE=0", out));
    EXPECT_TRUE(one.IsEmpty());
    EXPECT_FALSE(one.DoCommand("REMOVE=0", out));

    CStrList three = Make({"A", "B", "C"});
    EXPECT_TRUE(three.DoCommand("remove = 1", out));  // keys are read case-insensitively
    EXPECT_EQ(Of(three), (Entries{"A", "C"}));
    // Not a number, no value, or a number past int: refused, nothing removed.
    out.Empty();
    EXPECT_FALSE(three.DoCommand("REMOVE=X", out));
    EXPECT_FALSE(three.DoCommand("REMOVE=", out));
    EXPECT_FALSE(three.DoCommand("REMOVE=4294967296", out));
    EXPECT_EQ(Of(three), (Entries{"A", "C"}));
    EXPECT_NE(out.Find("REMOVE=X: no such entry"), -1);
    // The index is read as "%d" reads it: digits first, the rest ignored.
    EXPECT_TRUE(three.DoCommand("REMOVE=1st", out));
    EXPECT_EQ(Of(three), (Entries{"A"}));
    // A command with both keys is a REMOVE.
    CStrList both = Make({"A", "B"});
    EXPECT_TRUE(both.DoCommand("ADD=GRID REMOVE=0", out));
    EXPECT_EQ(Of(both), (Entries{"B"}));
}

TEST(StrListCommands, AddTakesTheValueAsTheParameterReaderGivesIt) {
    CString out;
    CStrList list;
    EXPECT_TRUE(list.DoCommand("ADD=grid", out));
    EXPECT_TRUE(list.DoCommand("ADD=(SOLID=(Y=400:CB=50:CR=640))", out));
    EXPECT_TRUE(list.DoCommand("ADD=(random seed=5)", out));
    EXPECT_TRUE(list.DoCommand("ADD=vert_wedge trailing words", out));
    EXPECT_TRUE(list.DoCommand("ADD=GRID", out));  // duplicates are kept
    EXPECT_EQ(Of(list), (Entries{"GRID", "SOLID=(Y=400:CB=50:CR=640)", "RANDOM SEED=5", "VERT_WEDGE", "GRID"}));
    EXPECT_EQ(out.str(), "");

    // An empty value names nothing a test could run: refused with a word, the list unchanged.
    EXPECT_FALSE(list.DoCommand("ADD=", out));
    EXPECT_FALSE(list.DoCommand("ADD=()", out));
    EXPECT_EQ(list.GetCount(), 5);
    EXPECT_NE(out.Find("Nothing to add"), -1);
    // Unbalanced brackets give no value at all: the command is not an ADD.
    EXPECT_TRUE(list.DoCommand("ADD=(GRID", out));
    EXPECT_EQ(list.GetCount(), 5);
}

// Counts the entries that arrive through Add, as assignment must route them.
struct CountingList : CStrList {
    using CStrList::operator=;
    void Add(CString entry) override {
        ++adds;
        CStrList::Add(entry + "!");
    }
    int adds = 0;
};

TEST(StrListCopies, CopyAssignAndFree) {
    CStrList source = Make({"A", "B", "A"});
    CStrList copy(source);
    EXPECT_EQ(Of(copy), (Entries{"A", "B", "A"}));
    copy.Add("C");
    EXPECT_EQ(source.GetCount(), 3);  // a copy, not a view

    CStrList target = Make({"X"});
    target = source;
    EXPECT_EQ(Of(target), (Entries{"A", "B", "A"}));

    // Assigning a list to itself keeps it.
    CStrList& alias = target;
    target = alias;
    EXPECT_EQ(Of(target), (Entries{"A", "B", "A"}));

    CountingList counting;
    counting = source;
    EXPECT_EQ(counting.adds, 3);
    EXPECT_EQ(Of(counting), (Entries{"A!", "B!", "A!"}));
    // Commands append through Add as well.
    CString out;
    EXPECT_TRUE(counting.DoCommand("ADD=z", out));
    EXPECT_EQ(counting.GetAt(3), "Z!");

    EXPECT_EQ(target.FreeStrings(), 0);
    EXPECT_TRUE(target.IsEmpty());
    EXPECT_EQ(target.GetAt(0), "");
    EXPECT_EQ(target.GetAt(-1), "");
    EXPECT_EQ(target.FreeStrings(), 0);
}

TEST(StrListHelpers, TestCommandTrimsPrintsAndAnswersTheResult) {
    CStrListImages list;
    CapturePrinter printer;
    EXPECT_EQ(RunStrListCommand(list, "  ADD=grid \r\n", printer), 1);
    EXPECT_EQ(RunStrListCommand(list, "\tSHOW  ", printer), 1);
    EXPECT_EQ(printer.printed, "Index[0]\tGRID\n");
    EXPECT_EQ(RunStrListCommand(list, " REMOVE=3 ", printer), 2);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(RunStrListCommand(list, " CLEAR", printer), 1);
    EXPECT_TRUE(list.IsEmpty());
}

TEST(StrListHelpers, PresetLoaderReportsAnUndefinedModeInRed) {
    CStrListImages images;
    CStrListResolutions resolutions;
    CapturePrinter printer;
    EXPECT_TRUE(LoadStrListPresets(images, resolutions, 2, printer));
    EXPECT_EQ(Of(images), kImagePreset2);
    EXPECT_EQ(Of(resolutions), kResolutionPreset1);
    EXPECT_EQ(printer.printed, "");

    EXPECT_FALSE(LoadStrListPresets(images, resolutions, 5, printer));
    EXPECT_EQ(printer.printed,
              "~*RED*~Image Mode is UNDEFINED\n~*BLACK*~~*RED*~Resolution Mode is UNDEFINED\n~*BLACK*~");
    EXPECT_EQ(Of(images), kImagePreset2);
    EXPECT_EQ(Of(resolutions), kResolutionPreset1);
}

}  // namespace
