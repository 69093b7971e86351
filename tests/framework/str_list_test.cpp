// Tests of the image and resolution lists: presets, list commands, copies and the test-side helpers.
#include "framework/str_list.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/framework/list_text.h"

namespace {

using support::MakeList;
const auto& Of = support::Joined;

struct CapturePrinter : CStrListPrinter {
    void Print(const CString& text) override { printed += text.str(); }
    std::string printed;
};

// Marks the entries that arrive through Add, as assignment and ADD must route them.
struct CountingList : CStrList {
    using CStrList::operator=;
    void Add(CString entry) override { CStrList::Add(entry + "!"); }
};

TEST(StrListPresets, PresetsCommandsCopiesAndHelpers) {
    // {preset, image count, sizes count, an image and a size in their places}
    const struct { int preset, images, sizes, imageAt; const char* image; int sizeAt; const char* size; } rows[] = {
        {0, 2, 2, 0, "HORZ_WEDGE_BLUE2RED", 1, "DIM=(720,576)"},
        {1, 11, 6, 2, "SOLID=(Y=400:CB=50:CR=640)", 5, "DIM=(1920,1080)"},
        {2, 3, 6, 1, "VERT_WEDGE_BLUE2RED", 0, "DIM=(720,480)"},
        {3, 11, 25, 9, "RANDOM SEED=0x12345678", 24, "DIM=(2048,1536)"},
    };
    for (const auto& row : rows) {
        auto images = MakeList<CStrListImages>("OLD");
        auto sizes = MakeList<CStrListResolutions>("OLD");
        EXPECT_TRUE(images.SetDefaults(row.preset, TRUE));
        EXPECT_TRUE(sizes.SetDefaults(row.preset));  // always replaces
        EXPECT_EQ(images.GetCount(), row.images) << row.preset;
        EXPECT_EQ(sizes.GetCount(), row.sizes) << row.preset;
        EXPECT_EQ(images.GetAt(row.imageAt) + " " + sizes.GetAt(row.sizeAt), CString(row.image) + " " + row.size);
    }
    auto appended = MakeList<CStrListImages>("GRID");  // clear other than exactly TRUE appends
    EXPECT_TRUE(appended.SetDefaults(0, 2));
    EXPECT_FALSE(appended.SetDefaults(4, TRUE));
    EXPECT_EQ(Of(appended), "GRID|HORZ_WEDGE_BLUE2RED|RANDOM");
    EXPECT_EQ(StrListPreset(true, false), 2);  // 2 x regression + engineering
    // List commands change the list and answer.
    const struct { const char* name; std::string before, command; BOOL result; std::string after, output; } commands[] = {
        {"show lists every entry", "GRID|R S", "SHOW", TRUE, "GRID|R S", "Index[0]\tGRID\nIndex[1]\tR S\n"},
        {"show on an empty list", "", "SHOW", TRUE, "", "List is empty!\n"}, {"clear", "A|B", "CLEAR", TRUE, "", ""},
        {"remove past the end", "G", "REMOVE=1", FALSE, "G", ""}, {"remove shifts up", "A|B|C", "remove = 1", TRUE, "A|C", ""},
        {"remove of no number", "A", "REMOVE=X", FALSE, "A", ""}, {"remove past int", "A", "REMOVE=4294967296", FALSE, "A", "~*RED*~Argument REMOVE=4294967296 does not fit its range -2147483648..2147483647\n~*BLACK*~"},
        {"both keys is a remove", "A|B", "ADD=G REMOVE=0", TRUE, "B", ""}, {"add upper-cases", "G", "ADD=g", TRUE, "G|G", ""},
        {"add loses outer brackets", "", "ADD=(SOLID=(Y=400:CB=50))", TRUE, "SOLID=(Y=400:CB=50)", ""},
        {"empty add appends \"\"", "A", "ADD=", TRUE, "A|", ""}, {"unbalanced is no add", "A", "ADD=(G", TRUE, "A", ""},
    };
    for (const auto& row : commands) {
        SCOPED_TRACE(row.name);
        CStrList list = MakeList(row.before);
        CString out = "before\n";  // appended to, never cleared
        EXPECT_EQ(list.DoCommand(row.command.c_str(), out), row.result);
        EXPECT_EQ(Of(list), row.after);
        EXPECT_EQ(out.str(), "before\n" + row.output);
    }
    // Copies are independent; assignment goes through Add.
    CStrList source = MakeList("A|B");
    CStrList copy(source);
    copy.Add("C");
    EXPECT_EQ(Of(copy) + "/" + Of(source), "A|B|C/A|B");
    CStrList& alias = copy;
    copy = alias;  // self-assignment keeps the entries
    EXPECT_EQ(Of(copy), "A|B|C");
    CountingList counting;
    counting = source;
    CString out;
    counting.DoCommand("ADD=z", out);
    EXPECT_EQ(Of(counting), "A!|B!|Z!");
    EXPECT_EQ(source.GetAt(-1), "");
    // The test-side command and preset helpers.
    CStrListImages list;
    CStrListResolutions sizes;
    CapturePrinter printer;
    EXPECT_EQ(RunStrListCommand(list, "  ADD=grid \r\n", printer), 1);  // trimmed
    EXPECT_EQ(RunStrListCommand(list, "\tSHOW  ", printer), 1);
    EXPECT_EQ(RunStrListCommand(list, " REMOVE=3 ", printer), 2);
    EXPECT_EQ(printer.printed, "Index[0]\tGRID\n");
    printer.printed.clear();
    EXPECT_FALSE(LoadStrListPresets(list, sizes, 5, printer));
    EXPECT_EQ(printer.printed, "~*RED*~Image Mode is UNDEFINED\n~*BLACK*~~*RED*~Resolution Mode is UNDEFINED\n~*BLACK*~");
    EXPECT_TRUE(LoadStrListPresets(list, sizes, 2, printer));
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(sizes.GetCount(), 6);
}

}  // namespace
