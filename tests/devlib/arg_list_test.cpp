// The argument parser: words, the optional-argument pass, and each argument class's value syntax.
#include "devlib/arg_list.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Leftovers(const char* block) {
    std::vector<std::string> out;
    for (const char* p = block; p && *p; p += std::strlen(p) + 1) out.emplace_back(p);
    return out;
}

TEST(ArgumentList, WordsByIndexAndByWalking) {
    ArgumentList a;
    EXPECT_EQ(a.Index(0), nullptr);
    EXPECT_EQ(a.First(), nullptr);
    a.Set("  Brimola1\tA  \"two words\" last ");
    EXPECT_STREQ(a.Index(0), "Brimola1");
    EXPECT_STREQ(a.Index(1), "A");
    EXPECT_STREQ(a.Index(2), "two words");
    EXPECT_STREQ(a.Index(3), "last");
    EXPECT_EQ(a.Index(4), nullptr);
    EXPECT_EQ(a.Index(-1), nullptr);
    EXPECT_EQ(a.Get(), "Brimola1");
    EXPECT_EQ(std::string(a.First()).substr(0, 3), "\tA ");
    EXPECT_EQ(a.Get(), "A");
    a.Reset();
    EXPECT_EQ(a.Index(0), nullptr);
    a.Set(nullptr);
    EXPECT_EQ(a.Index(0), nullptr);
}

int g_callbacks = 0;
void CountCallback(ArgListArg*, void* context) {
    ++g_callbacks;
    *static_cast<int*>(context) += 1;
}

TEST(ArgumentList, OptionalArgumentsAndTheLeftoverBlock) {
    ArgListValues dim("DIM", 2);
    dim.SetDefaultVal(static_cast<int>(0x80000000));
    ArgListString form("FORMSEQ", ArgListArg::ARG_ASSIGN, "abcd");
    ArgListArg external("EXTERNAL", ArgListArg::ARG_FLAG);
    external.SetFlagValue(1);
    int calls = 0;
    dim.SetPostAssignCB(CountCallback, &calls);
    ArgListArg* table[] = {&dim, &form, &external, nullptr};
    ArgumentList a;
    char* rest = nullptr;
    EXPECT_EQ(a.HandleOptArgs(table, "dim = 100, 0x20 FORMSEQ=\"ba\" -EXTERNAL bogus DIM2=3 -x", &rest), 3);
    EXPECT_EQ(dim[0], 100);
    EXPECT_EQ(dim[1], 0x20);
    EXPECT_EQ(dim.GetOccurCount(), 1);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(form.GetString(), "ba");
    EXPECT_EQ(external.GetFlagValue(), 0);
    ASSERT_NE(rest, nullptr);
    EXPECT_EQ(Leftovers(rest), (std::vector<std::string>{"bogus", "DIM2=3", "-x"}));
    // The block ends with an empty string after the last word.
    const char* end = rest;
    for (int i = 0; i < 3; ++i) end += std::strlen(end) + 1;
    EXPECT_EQ(*end, '\0');
    std::free(rest);

    // Nothing left over: null. A value missing from the list keeps its old value; a lone value too.
    EXPECT_EQ(a.HandleOptArgs(table, "DIM=,5 EXTERNAL", &rest), 0);
    EXPECT_EQ(rest, nullptr);
    EXPECT_EQ(dim[0], 100);
    EXPECT_EQ(dim[1], 5);
    EXPECT_EQ(external.GetFlagValue(), 1);
    a.HandleOptArgs(table, "DIM=-7", &rest);
    EXPECT_EQ(dim[0], -7);
    EXPECT_EQ(dim[1], 5);
    // A switch-only argument does not take a value, nor an assignment-only one a bare name.
    EXPECT_EQ(a.HandleOptArgs(table, "EXTERNAL=1 DIM", &rest), 2);
    std::free(rest);
    // Without a leftover pointer the count still comes back; the list's own text serves when none is given.
    a.Set("FORMSEQ=c junk");
    EXPECT_EQ(a.HandleOptArgs(table, nullptr, nullptr), 1);
    EXPECT_EQ(form.GetString(), "c");
    EXPECT_EQ(ArgumentList::Help(table), "    [-]EXTERNAL\n");
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
    EXPECT_EQ(k.GetIndex(), 6) << "nothing selected";
    const char* rest = k.HandleAssign("flrs5,2");
    EXPECT_EQ(k.GetIndex(), 1);
    EXPECT_STREQ(rest, "5,2");
    rest = k.HandleAssign("FLRSX:1");
    EXPECT_EQ(k.GetIndex(), 5);
    EXPECT_STREQ(rest, ":1");
    const char* text = "INCREASE";
    EXPECT_EQ(k.HandleAssign(text), text) << "a longer word is not the keyword";
    EXPECT_EQ(k.GetIndex(), 6);
    k.HandleAssign("SOLID");
    EXPECT_EQ(k.GetIndex(), 2);
    k.SetDefault();
    EXPECT_EQ(k.GetIndex(), 6);
    ArgListKeyword empty;
    EXPECT_EQ(empty.GetKeywordCount(), 0);
    EXPECT_STREQ(empty.HandleAssign("INC"), "INC");
}

TEST(ArgListColor, HexHashDecimalAndComponents) {
    ArgListColor c("COLOR", ArgListArg::ARG_ASSIGN);
    const char* rest = c.HandleAssign("0xFF8000/0x10");
    EXPECT_EQ(c.GetColor(), 0xFF8000u);
    EXPECT_EQ(c[0], 0xFF);
    EXPECT_EQ(c[1], 0x80);
    EXPECT_EQ(c[2], 0);
    EXPECT_STREQ(rest, "/0x10");
    EXPECT_EQ(c.GetOccurCount(), 1);
    c.HandleAssign(" #00ff10 V");
    EXPECT_EQ(c.GetColor(), 0x00FF10u);
    c.HandleAssign("(1, 2,3)");
    EXPECT_EQ(c.GetColor(), 0x010203u);
    c.HandleAssign("255");
    EXPECT_EQ(c.GetColor(), 255u);
    ArgListColor none("C", 0);
    const char* text = "(1,2)";
    EXPECT_EQ(none.HandleAssign(text), text);
    EXPECT_EQ(none.HandleAssign("V"), std::string("V"));
    EXPECT_EQ(none.GetOccurCount(), 0) << "no colour read";
    EXPECT_EQ(none.GetColor(), 0u);
}

TEST(ArgListArg, WhiteSpaceHelpersAndStrings) {
    const char* p = "  :x";
    EXPECT_EQ(ArgListArg::GetNextNonWhite(p), ':');
    EXPECT_EQ(*p, 'x');
    const char* q = "   ";
    EXPECT_EQ(ArgListArg::GetNextNonWhite(q), '\0');
    EXPECT_EQ(*q, '\0');
    const char* r = " y";
    EXPECT_EQ(ArgListArg::GotoNextNonWhite(r), 'y');
    EXPECT_EQ(*r, 'y');
    ArgListString s("FILE", ArgListArg::ARG_ASSIGN);
    EXPECT_STREQ(s.HandleAssign("pic.bin 0,-1"), " 0,-1");
    EXPECT_EQ(s.GetString(), "pic.bin");
    EXPECT_EQ(s.GetLength(), 7);
    EXPECT_EQ(s[3], '.');
    s.SetDown();
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_EQ(s.GetOccurCount(), 0);
    ArgListValues v("V", 3);
    ArgListValues copy(v);
    v[0] = 4;
    EXPECT_EQ(copy[0], 0) << "copies own their values";
}

}  // namespace
