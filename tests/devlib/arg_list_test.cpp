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

void CountCall(ArgListArg*, void* context) { ++*static_cast<int*>(context); }

struct KeywordRow { const char* text; int code; };

TEST(ArgumentList, WordsOptionalArgumentsLeftoversKeywordsColoursAndNumbersRefusedNotWrapped) {
    ArgumentList a;
    a.Set("  Brimola1\tA  \"two words\" \"\" last ");
    EXPECT_EQ(std::string(a.Index(2)) + "|" + a.Index(3) + "|" + a.Index(4), "two words||last");
    EXPECT_FALSE(a.Index(5) || a.Index(-1));
    EXPECT_EQ(a.Get(), "Brimola1");
    EXPECT_EQ(a.Get(), "A");
    ArgListValues dim("DIM", 2);
    ArgListString form("FORMSEQ", ArgListArg::ARG_ASSIGN, "abcd");
    ArgListArg external("EXTERNAL", ArgListArg::ARG_FLAG);
    external.SetFlagValue(1);
    int calls = 0;
    dim.SetPostAssignCB(CountCall, &calls);
    ArgListArg* table[] = {&dim, &form, &external, nullptr};
    EXPECT_EQ(Leftover(table, "dim = 100, 0x20 FORMSEQ=\"ba\" -EXTERNAL bogus DIM2=3 -x"), (Words{"bogus", "DIM2=3", "-x"}));
    EXPECT_EQ((std::vector<int>{dim[0], dim[1], dim.GetOccurCount(), calls}), (std::vector<int>{100, 0x20, 1, 1}));
    EXPECT_EQ(form.GetString() + std::to_string(external.GetFlagValue()), "ba0");
    EXPECT_EQ(Leftover(table, "DIM=,5 EXTERNAL"), Words{});
    EXPECT_EQ((std::vector<int>{dim[0], dim[1], external.GetFlagValue()}), (std::vector<int>{100, 5, 1})) << "a value missing keeps its old one";
    EXPECT_EQ(Leftover(table, "EXTERNAL=1 DIM"), (Words{"EXTERNAL=1", "DIM"})) << "a switch takes no value, an assignment needs one";
    // Keywords are whole words, the longest first; colours have three components.
    const KeywordRow patterns[] = {{"FLRS", 1}, {"FLRSX", 9}, {nullptr, 5}};
    ArgListKeyword k("", patterns, sizeof(KeywordRow));
    EXPECT_STREQ(k.HandleAssign("flrsx:1"), ":1");
    EXPECT_EQ(k.GetIndex(), 1);
    const char* text = "FLRSXY";
    EXPECT_EQ(k.HandleAssign(text), text) << "a longer word is not the keyword";
    EXPECT_EQ(k.GetIndex(), 2);
    ArgListColor c("COLOR", ArgListArg::ARG_ASSIGN), none("C", 0);
    EXPECT_STREQ(c.HandleAssign("(1, 2,3)/V"), "/V");
    EXPECT_EQ(c.GetColor(), 0x010203u);
    text = "(1,2)";
    EXPECT_EQ(none.HandleAssign(text), text);
    EXPECT_EQ(none.GetOccurCount(), 0) << "no colour read";
    // Numbers are decimal (a leading 0 is not octal) or 0x; one that does not fit its argument is
    // refused whole and handed back naming the argument, never cast into another value.
    // count, addr0, addr1: 3, 5, 5 and the word handed back whole is a refusal.
    const struct { const char* text; int count, addr0, addr1; } rows[] = {
        {"COUNT=010", 10, 5, 5}, {"COUNT=-2147483648", INT_MIN, 5, 5}, {"COUNT=0xFFFFFFFF ADDR=0x80000000", -1, INT_MIN, 5},
        {"ADDR=-1,0x10", 3, -1, 16}, {"COUNT=4294967297", 3, 5, 5}, {"COUNT=2147483648", 3, 5, 5}, {"COUNT=0x100000000", 3, 5, 5},
        {"ADDR=99999999999999999999", 3, 5, 5}, {"ADDR=1,99999999999", 3, 5, 5}, {"COLOR=0x1000000", 3, 5, 5},
        {"COLOR=#1000000", 3, 5, 5}, {"COLOR=-1", 3, 5, 5}, {"\"\"", 3, 5, 5},
        // Switches written as words, either way and in any case.
        {"COUNT=off", 0, 5, 5}, {"COUNT=ON", 1, 5, 5}, {"COUNT=No", 0, 5, 5}, {"COUNT=yes", 1, 5, 5},
        {"COUNT=FALSE", 0, 5, 5}, {"COUNT=true", 1, 5, 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        ArgListArg number("COUNT");
        number.SetFlagValue(3);
        ArgListValues addr("ADDR", 2);
        addr.SetDefaultVal(5);
        ArgListColor color("COLOR", ArgListArg::ARG_ASSIGN);
        color.HandleAssign("7");
        ArgListArg* numbers[] = {&number, &addr, &color, nullptr};
        EXPECT_EQ(Leftover(numbers, row.text), row.count == 3 && row.addr0 == 5 ? Words{row.text} : Words{});
        EXPECT_EQ(number.GetFlagValue(), row.count);
        EXPECT_EQ((std::vector<int>{addr[0], addr[1]}), (std::vector<int>{row.addr0, row.addr1}));
        EXPECT_EQ(color.GetColor(), 7u);
        EXPECT_EQ(addr.GetOccurCount(), row.addr0 != 5 ? 1 : 0) << "a refused list is not counted";
    }
    ArgListArg number("COUNT");
    ArgListArg* numbers[] = {&number, nullptr};
    EXPECT_EQ(Leftover(numbers, "COUNT = -9223372036854775807 X"), (Words{"COUNT=-9223372036854775807", "X"})) << "handed back as one word";
}

}  // namespace
