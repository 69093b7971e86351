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
    for (const char* p = block; p && *p; p += std::strlen(p) + 1) words.emplace_back(p);
    EXPECT_EQ(count, static_cast<int>(words.size())) << text;
    EXPECT_EQ(block == nullptr, count == 0) << text;
    std::free(block);
    return words;
}

TEST(ArgumentList, WordsByIndexAndByWalking) {
    ArgumentList a;
    a.Set("  Brimola1\tA  \"two words\" \"\" last ");
    const char* want[] = {"Brimola1", "A", "two words", "", "last"};
    for (int i = 0; i < 5; ++i) EXPECT_STREQ(a.Index(i), want[i]) << i;
    EXPECT_FALSE(a.Index(5) || a.Index(-1));
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
    EXPECT_EQ(dim[0] * 1000 + dim[1], 100032);
    EXPECT_EQ(dim.GetOccurCount() * 10 + calls, 11);
    EXPECT_EQ(form.GetString(), "ba");
    EXPECT_EQ(external.GetFlagValue(), 0);
    EXPECT_EQ(Leftover(table, "DIM=,5 EXTERNAL"), Words{});
    EXPECT_EQ(dim[0] * 10 + dim[1], 1005) << "a value missing from the list keeps its old value";
    EXPECT_EQ(external.GetFlagValue(), 1);
    EXPECT_EQ(Leftover(table, "EXTERNAL=1 DIM"), (Words{"EXTERNAL=1", "DIM"})) << "a switch takes no value, an assignment needs one";
    ArgumentList a;
    a.Set("FORMSEQ=c junk");
    EXPECT_EQ(a.HandleOptArgs(table, nullptr, nullptr), 1) << "the list's own text, no leftover pointer";
    EXPECT_EQ(form.GetString(), "c");
    EXPECT_EQ(ArgumentList::Help(table), "    [-]EXTERNAL\n");
}

// Numbers are decimal (a leading 0 is not octal) or 0x; one that does not fit its argument is
// refused whole and handed back naming the argument, never cast into another value.
TEST(ArgumentList, NumbersOutOfRangeAreRefusedNotWrapped) {
    const struct {
        const char* text;
        int count, addr0, addr1;  // 3, 5, 5 and the word handed back whole: refused
    } rows[] = {
        {"COUNT=010", 10, 5, 5}, {"COUNT=-2147483648", INT_MIN, 5, 5}, {"COUNT=0xFFFFFFFF ADDR=0x80000000", -1, INT_MIN, 5},
        {"ADDR=-1,0x10", 3, -1, 16}, {"COUNT=4294967297", 3, 5, 5}, {"COUNT=2147483648", 3, 5, 5}, {"COUNT=0x100000000", 3, 5, 5},
        {"ADDR=99999999999999999999", 3, 5, 5}, {"ADDR=1,99999999999", 3, 5, 5},
        {"COLOR=0x1000000", 3, 5, 5}, {"COLOR=#1000000", 3, 5, 5}, {"COLOR=-1", 3, 5, 5}, {"\"\"", 3, 5, 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        ArgListArg count("COUNT");
        count.SetFlagValue(3);
        ArgListValues addr("ADDR", 2);
        addr.SetDefaultVal(5);
        ArgListColor color("COLOR", ArgListArg::ARG_ASSIGN);
        color.HandleAssign("7");
        ArgListArg* table[] = {&count, &addr, &color, nullptr};
        const bool refused = row.count == 3 && row.addr0 == 5;
        EXPECT_EQ(Leftover(table, row.text), refused ? Words{row.text} : Words{});
        EXPECT_EQ(count.GetFlagValue(), row.count);
        EXPECT_EQ(addr[0] * 1000 + addr[1], row.addr0 * 1000 + row.addr1);
        EXPECT_EQ(color.GetColor(), 7u);
        EXPECT_EQ(addr.GetOccurCount(), row.addr0 != 5 ? 1 : 0) << "a refused list is not counted";
    }
    ArgListArg count("COUNT");
    ArgListArg* table[] = {&count, nullptr};
    EXPECT_EQ(Leftover(table, "COUNT = -9223372036854775807 X"), (Words{"COUNT=-9223372036854775807", "X"})) << "handed back as one word";
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
}

TEST(ArgListColor, HexHashDecimalAndComponents) {
    ArgListColor c("COLOR", ArgListArg::ARG_ASSIGN);
    EXPECT_STREQ(c.HandleAssign("0xFF8000/0x10"), "/0x10");
    EXPECT_EQ(c[0] * 0x10000 + c[1] * 0x100 + c[2], 0xFF8000);
    const std::pair<const char*, DWORD> rows[] = {{" #00ff10 V", 0x00FF10}, {"(1, 2,3)", 0x010203}, {"255", 255}};
    for (const auto& [text, colour] : rows) {
        c.HandleAssign(text);
        EXPECT_EQ(c.GetColor(), colour) << text;
    }
    ArgListColor none("C", 0);
    const char* text = "(1,2)";
    EXPECT_EQ(none.HandleAssign(text), text);
    EXPECT_EQ(none.GetOccurCount(), 0) << "no colour read";
    ArgListString s("FILE", ArgListArg::ARG_ASSIGN);
    EXPECT_STREQ(s.HandleAssign("pic.bin 0,-1"), " 0,-1");
    EXPECT_EQ(s.GetString(), "pic.bin");
    ArgListValues v("V", 3);
    ArgListValues copy(v);
    v[0] = 4;
    EXPECT_EQ(copy[0], 0) << "copies own their values";
}

}  // namespace
