// The argument parser: words, the optional-argument pass, and each argument class's value syntax.
#include "devlib/arg_list.h"
#include "platform/number_text.h"

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

// The shared number reader of every test's arguments: a number is either the one typed or refused
// as out of its field, around 2^31, 2^32 and 2^63 alike; each form reads what its scanf conversion
// would find, so text that is no number stays "no number" and the rest of the text stays unread.
TEST(NumberField, ANumberIsTheOneTypedOrOutOfItsField) {
    using platform::NumberFit;
    using platform::NumberForm;
    constexpr platform::NumberField kInt = platform::kSigned32Field, kWord = platform::kUnsigned32Field;
    constexpr platform::NumberField kAny{INT64_MIN, INT64_MAX}, kFrames{1, 15};
    const struct { const char* text; NumberForm form; platform::NumberField field; NumberFit fit; long long value; int used; } rows[] = {
        {"2147483647", NumberForm::Decimal, kInt, NumberFit::Fits, 2147483647, 10},
        {"2147483648", NumberForm::Decimal, kInt, NumberFit::OutOfRange, 0, 10},
        {"-2147483648", NumberForm::Decimal, kInt, NumberFit::Fits, -2147483648LL, 11},
        {"-2147483649", NumberForm::Decimal, kInt, NumberFit::OutOfRange, 0, 11},
        {"4294967295", NumberForm::Decimal, kWord, NumberFit::Fits, 4294967295LL, 10},
        {"4294967296", NumberForm::Decimal, kWord, NumberFit::OutOfRange, 0, 10},
        {"4294967297", NumberForm::Decimal, kWord, NumberFit::OutOfRange, 0, 10},
        {"-1", NumberForm::Decimal, kWord, NumberFit::OutOfRange, 0, 2},
        {"-0", NumberForm::Decimal, kWord, NumberFit::Fits, 0, 2},
        {"9223372036854775807", NumberForm::Decimal, kAny, NumberFit::Fits, INT64_MAX, 19},
        {"9223372036854775808", NumberForm::Decimal, kAny, NumberFit::OutOfRange, 0, 19},
        {"-9223372036854775808", NumberForm::Decimal, kAny, NumberFit::Fits, INT64_MIN, 20},
        {"-9223372036854775809", NumberForm::Decimal, kAny, NumberFit::OutOfRange, 0, 20},
        {"18446744073709551617", NumberForm::Decimal, kAny, NumberFit::OutOfRange, 0, 20},
        {"99999999999999999999999999", NumberForm::Decimal, kWord, NumberFit::OutOfRange, 0, 26},
        {"  +15,3", NumberForm::Decimal, kFrames, NumberFit::Fits, 15, 5},
        {"0", NumberForm::Decimal, kFrames, NumberFit::OutOfRange, 0, 1},
        {"16", NumberForm::Decimal, kFrames, NumberFit::OutOfRange, 0, 2},
        {"010", NumberForm::Decimal, kInt, NumberFit::Fits, 10, 3},
        {"0x10", NumberForm::Decimal, kInt, NumberFit::Fits, 0, 1},
        {"x", NumberForm::Decimal, kInt, NumberFit::None, 0, 0},
        {"-", NumberForm::Decimal, kInt, NumberFit::None, 0, 0},
        {"", NumberForm::Decimal, kInt, NumberFit::None, 0, 0},
        {"0XFFFFFFFF", NumberForm::Prefixed, kWord, NumberFit::Fits, 0xFFFFFFFFLL, 10},
        {"0x100000000", NumberForm::Prefixed, kWord, NumberFit::OutOfRange, 0, 11},
        {"0x0000000012", NumberForm::Prefixed, kWord, NumberFit::Fits, 0x12, 12},
        {"0x8000000000000000", NumberForm::Prefixed, kAny, NumberFit::OutOfRange, 0, 18},
        {"4000", NumberForm::Prefixed, kWord, NumberFit::None, 0, 0},
        {"-0x10", NumberForm::Prefixed, kWord, NumberFit::None, 0, 0},
        {"100000000", NumberForm::Hex, kWord, NumberFit::OutOfRange, 0, 9},
        {"FFFFFFFF", NumberForm::Hex, kWord, NumberFit::Fits, 0xFFFFFFFFLL, 8},
        {"0x1f", NumberForm::Hex, kWord, NumberFit::Fits, 0x1F, 4},
        {"-1", NumberForm::Hex, kWord, NumberFit::OutOfRange, 0, 2},
        {"0x7FFFFFFFFFFFFFFF", NumberForm::Either, kAny, NumberFit::Fits, INT64_MAX, 18},
        {"0x10000000000000000", NumberForm::Either, kAny, NumberFit::OutOfRange, 0, 19},
        {"-0x80000000", NumberForm::Either, kInt, NumberFit::Fits, -2147483648LL, 11},
        {"65536)", NumberForm::Either, kWord, NumberFit::Fits, 65536, 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const platform::FieldScan scan = platform::ReadField(row.text, row.form, row.field);
        EXPECT_EQ(scan.fit, row.fit);
        EXPECT_EQ(scan.value, row.value);
        EXPECT_EQ(scan.end - row.text, row.used);
    }
}

}  // namespace
