// The argument parser: words, the optional-argument pass, and each argument class's value syntax.
#include "devlib/arg_list.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Words = std::vector<std::string>;

// Runs the table over text; answers the words handed back (and checks the count and the block's end).
Words Leftover(ArgListArg* const* table, const char* text) {
    ArgumentList list;
    char* block = nullptr;
    const int count = list.HandleOptArgs(table, text, &block);
    Words words;
    const char* p = block;
    for (; p && *p; p += std::strlen(p) + 1) words.emplace_back(p);
    EXPECT_EQ(count, static_cast<int>(words.size())) << text;
    EXPECT_EQ(block == nullptr, count == 0) << text;
    std::free(block);
    return words;
}

TEST(ArgumentList, WordsByIndexAndByWalking) {
    ArgumentList a;
    EXPECT_EQ(a.Index(0), nullptr);
    a.Set("  Brimola1\tA  \"two words\" \"\" last ");
    const char* want[] = {"Brimola1", "A", "two words", "", "last"};
    for (int i = 0; i < 5; ++i) EXPECT_STREQ(a.Index(i), want[i]) << i;
    EXPECT_EQ(a.Index(5), nullptr);
    EXPECT_EQ(a.Index(-1), nullptr);
    EXPECT_EQ(a.Get(), "Brimola1");
    EXPECT_EQ(std::string(a.First()).substr(0, 3), "\tA ");
    EXPECT_EQ(a.Get(), "A");
    a.Reset();
    EXPECT_EQ(a.Index(0), nullptr);
}

void CountCall(ArgListArg*, void* context) { ++*static_cast<int*>(context); }

TEST(ArgumentList, OptionalArgumentsAndTheLeftoverBlock) {
    ArgListValues dim("DIM", 2);
    ArgListString form("FORMSEQ", ArgListArg::ARG_ASSIGN, "abcd");
    ArgListArg external("EXTERNAL", ArgListArg::ARG_FLAG);
    external.SetFlagValue(1);
    int calls = 0;
    dim.SetPostAssignCB(CountCall, &calls);
    ArgListArg* table[] = {&dim, &form, &external, nullptr};
    EXPECT_EQ(Leftover(table, "dim = 100, 0x20 FORMSEQ=\"ba\" -EXTERNAL bogus DIM2=3 -x"), (Words{"bogus", "DIM2=3", "-x"}));
    EXPECT_EQ(dim[0], 100);
    EXPECT_EQ(dim[1], 0x20);
    EXPECT_EQ(dim.GetOccurCount(), 1);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(form.GetString(), "ba");
    EXPECT_EQ(external.GetFlagValue(), 0);
    // A value missing from the list keeps its old value; a switch sets its flag.
    EXPECT_EQ(Leftover(table, "DIM=,5 EXTERNAL"), Words{});
    EXPECT_EQ(dim[0] * 10 + dim[1], 1005);
    EXPECT_EQ(external.GetFlagValue(), 1);
    // A switch-only argument takes no value, nor an assignment-only one a bare name.
    EXPECT_EQ(Leftover(table, "EXTERNAL=1 DIM"), (Words{"EXTERNAL=1", "DIM"}));
    // Without a leftover pointer the count still comes back; the list's own text serves when none is given.
    ArgumentList a;
    a.Set("FORMSEQ=c junk");
    EXPECT_EQ(a.HandleOptArgs(table, nullptr, nullptr), 1);
    EXPECT_EQ(form.GetString(), "c");
    EXPECT_EQ(ArgumentList::Help(table), "    [-]EXTERNAL\n");
}

// Numbers are decimal (a leading 0 is not octal) or 0x; one that does not fit its argument is
// refused whole and handed back naming the argument, never cast into another value.
TEST(ArgumentList, NumbersOutOfRangeAreRefusedNotWrapped) {
    struct Row {
        const char* name;
        const char* text;
        Words left;
        int count, addr0, addr1;
        DWORD color;
    } rows[] = {
        {"decimal with a leading zero", "COUNT=010", {}, 10, 5, 5, 7},
        {"int minimum", "COUNT=-2147483648", {}, INT_MIN, 5, 5, 7},
        {"a 32-bit word in hex", "COUNT=0xFFFFFFFF ADDR=0x80000000", {}, -1, INT_MIN, 5, 7},
        {"beyond 32 bits", "COUNT=4294967297", {"COUNT=4294967297"}, 3, 5, 5, 7},
        {"beyond int", "COUNT=2147483648", {"COUNT=2147483648"}, 3, 5, 5, 7},
        {"large negative", "COUNT = -9223372036854775807 X", {"COUNT=-9223372036854775807", "X"}, 3, 5, 5, 7},
        {"hex beyond 32 bits", "COUNT=0x100000000", {"COUNT=0x100000000"}, 3, 5, 5, 7},
        {"20 digits", "ADDR=99999999999999999999", {"ADDR=99999999999999999999"}, 3, 5, 5, 7},
        {"one bad value keeps the list", "ADDR=1,99999999999", {"ADDR=1,99999999999"}, 3, 5, 5, 7},
        {"list read", "ADDR=-1,0x10", {}, 3, -1, 16, 7},
        {"colour beyond 24 bits", "COLOR=0x1000000", {"COLOR=0x1000000"}, 3, 5, 5, 7},
        {"hash colour beyond 24 bits", "COLOR=#1000000", {"COLOR=#1000000"}, 3, 5, 5, 7},
        {"negative colour", "COLOR=-1", {"COLOR=-1"}, 3, 5, 5, 7},
        {"empty word stays a word", "\"\" BOGUS=1", {"\"\"", "BOGUS=1"}, 3, 5, 5, 7},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ArgListArg count("COUNT");
        count.SetFlagValue(3);
        ArgListValues addr("ADDR", 2);
        addr.SetDefaultVal(5);
        ArgListColor color("COLOR", ArgListArg::ARG_ASSIGN);
        color.HandleAssign("7");
        ArgListArg* table[] = {&count, &addr, &color, nullptr};
        EXPECT_EQ(Leftover(table, row.text), row.left);
        EXPECT_EQ(count.GetFlagValue(), row.count);
        EXPECT_EQ(addr[0], row.addr0);
        EXPECT_EQ(addr[1], row.addr1);
        EXPECT_EQ(color.GetColor(), row.color);
        EXPECT_EQ(addr.GetOccurCount(), row.addr0 != 5 ? 1 : 0) << "a refused list is not counted";
    }
}

struct KeywordRow {
    const char* text;
    int code;
};
const KeywordRow kPatterns[] = {{"INC", 0}, {"FLRS", 1}, {"SOLID", 2}, {"RAMP", 3}, {"FILE", 4}, {"FLRSX", 9}, {nullptr, 5}};

TEST(ArgListKeyword, MatchesWholeKeywordsWithoutCaseLongestFirst) {
    ArgListKeyword k("", kPatterns, sizeof(KeywordRow));
    EXPECT_EQ(k.GetKeywordCount(), 6);
    EXPECT_STREQ(k[3], "RAMP");
    EXPECT_EQ(k.GetKeyword(6), nullptr);
    EXPECT_STREQ(k.HandleAssign("flrs5,2"), "5,2");
    EXPECT_EQ(k.GetIndex(), 1);
    EXPECT_STREQ(k.HandleAssign("FLRSX:1"), ":1");
    EXPECT_EQ(k.GetIndex(), 5);
    const char* text = "INCREASE";
    EXPECT_EQ(k.HandleAssign(text), text) << "a longer word is not the keyword";
    EXPECT_EQ(k.GetIndex(), 6);
    k.HandleAssign("SOLID");
    k.SetDefault();
    EXPECT_EQ(k.GetIndex(), 6);
    ArgListKeyword empty;
    EXPECT_STREQ(empty.HandleAssign("INC"), "INC");
}

TEST(ArgListColor, HexHashDecimalAndComponents) {
    ArgListColor c("COLOR", ArgListArg::ARG_ASSIGN);
    EXPECT_STREQ(c.HandleAssign("0xFF8000/0x10"), "/0x10");
    EXPECT_EQ(c[0] * 0x10000 + c[1] * 0x100 + c[2], 0xFF8000);
    EXPECT_EQ(c.GetOccurCount(), 1);
    const struct {
        const char* text;
        DWORD color;
    } rows[] = {{" #00ff10 V", 0x00FF10}, {"(1, 2,3)", 0x010203}, {"255", 255}};
    for (const auto& row : rows) {
        c.HandleAssign(row.text);
        EXPECT_EQ(c.GetColor(), row.color) << row.text;
    }
    ArgListColor none("C", 0);
    const char* text = "(1,2)";
    EXPECT_EQ(none.HandleAssign(text), text);
    EXPECT_STREQ(none.HandleAssign("V"), "V");
    EXPECT_EQ(none.GetOccurCount(), 0) << "no colour read";
}

TEST(ArgListArg, WhiteSpaceHelpersStringsAndCopies) {
    const char* p = "  :x";
    EXPECT_EQ(ArgListArg::GetNextNonWhite(p), ':');
    EXPECT_EQ(*p, 'x');
    const char* q = "   ";
    EXPECT_EQ(ArgListArg::GetNextNonWhite(q), '\0');
    const char* r = " y";
    EXPECT_EQ(ArgListArg::GotoNextNonWhite(r), 'y');
    EXPECT_EQ(*r, 'y');
    ArgListString s("FILE", ArgListArg::ARG_ASSIGN);
    EXPECT_STREQ(s.HandleAssign("pic.bin 0,-1"), " 0,-1");
    EXPECT_EQ(s.GetString(), "pic.bin");
    s.SetDown();
    EXPECT_EQ(s.GetLength() + s.GetOccurCount(), 0);
    ArgListValues v("V", 3);
    ArgListValues copy(v);
    v[0] = 4;
    EXPECT_EQ(copy[0], 0) << "copies own their values";
}

}  // namespace
