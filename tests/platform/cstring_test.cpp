// CString: the original string class's behaviours that callers depend on.
#include "platform/cstring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

TEST(CStringTest, EndsAtFirstNul) {
    EXPECT_EQ(CString("ab\0cd", 5).GetLength(), 2);
    EXPECT_EQ(CString(std::string("xy\0z", 4)), "xy");
    CString s("abc");
    s += '\0';
    EXPECT_EQ(s.GetLength(), 3);
    s.SetAt(1, '\0');
    EXPECT_EQ(s, "a");
    char* buf = s.GetBuffer(10);
    std::strcpy(buf, "hello");
    buf[3] = '\0';
    s.ReleaseBuffer();
    EXPECT_EQ(s, "hel");
    s.Replace('e', '\0');
    EXPECT_EQ(s, "h");
}

TEST(CStringTest, FormatIsPrintf) {
    CString s;
    s.Format("%5.2f|%-4d|%s|%08lX", 3.14159, 7, "x", 0xBEEFul);
    EXPECT_EQ(s, " 3.14|7   |x|0000BEEF");
    std::string longText(1500, 'q');
    s.Format("<%s>", longText.c_str());  // past any fixed first buffer
    EXPECT_EQ(s.GetLength(), 1502);
    EXPECT_EQ(s.Right(2), "q>");
    s.Format("a%cb", 0);
    EXPECT_EQ(s, "a");
    s = "n=";
    s.AppendFormat("%d", -12);
    EXPECT_EQ(s, "n=-12");
}

TEST(CStringTest, SearchesAnswerMinusOneWhenAbsent) {
    const CString s("abcabc");
    const std::pair<int, int> rows[] = {  // {got, want}
        {s.Find('c'), 2},      {s.Find('c', 3), 5},   {s.Find('z'), -1},      {s.Find('a', 6), -1},
        {s.Find('a', -1), -1}, {s.Find("bc", 2), 4},  {s.Find("cab"), 2},     {s.Find("abd"), -1},
        {s.Find("a", 7), -1},  {s.ReverseFind('b'), 4}, {s.FindOneOf("xc"), 2},
    };
    for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
}

TEST(CStringTest, SlicesClipTrimsTakeSetsAndCaseChanges) {
    const CString s("abcdef");
    const std::pair<CString, const char*> rows[] = {  // {got, want}
        {s.Left(2), "ab"},           {s.Left(-1), ""},         {s.Left(99), "abcdef"},  {s.Mid(4), "ef"},
        {s.Mid(6), ""},              {s.Mid(99), ""},          {s.Mid(-3, 2), "ab"},    {s.Mid(1, 99), "bcdef"},
        {s.Mid(2, -1), ""},          {s.Right(2), "ef"},       {s.Right(99), "abcdef"}, {s.Right(-5), ""},
        {CString("\t\r\n abc d \n").Trim(), "abc d"},      {CString("  x  ").TrimLeft(), "x  "},
        {CString("  x  ").TrimRight(), "  x"},                {CString("xyxabcx").TrimLeft("xy"), "abcx"},
        {CString("xyxabcx").TrimRight('x'), "xyxabc"},        {CString(" \t ").Trim(), ""},
        {CString("Mixed 1a_z").MakeUpper(), "MIXED 1A_Z"},    {CString("MiXeD").MakeLower(), "mixed"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
    EXPECT_FALSE(CString("abc") == "ABC");
    EXPECT_EQ(CString("abc").CompareNoCase("ABC"), 0);
    EXPECT_LT(CString("abc").CompareNoCase("ABD"), 0);
    EXPECT_GT(CString("B").CompareNoCase("a"), 0);
    EXPECT_LT(CString("ABC").Compare("abc"), 0);  // byte order: upper case first
}

TEST(CStringTest, ReplaceEveryOccurrence) {
    CString s("a.b.c");
    EXPECT_EQ(s.Replace(".", "::"), 2);
    EXPECT_EQ(s, "a::b::c");
    CString t("aaaa");
    EXPECT_EQ(t.Replace("aa", "a"), 2);  // left to right, no rescan of what was put in
    EXPECT_EQ(t, "aa");
    EXPECT_EQ(t.Replace("", "x"), 0);
    EXPECT_EQ(t.Replace("zz", "x"), 0);
    EXPECT_EQ(t, "aa");
    CString u("x-y-z");
    EXPECT_EQ(u.Replace('-', '+'), 2);
    EXPECT_EQ(u, "x+y+z");
    EXPECT_EQ(u.Remove('+'), 2);
    EXPECT_EQ(u, "xyz");
}

TEST(CStringTest, TokenizeSkipsDelimiterRunsAndThenStaysAtTheEnd) {
    CString s("  a, b,,c ");
    int pos = 0;
    std::string tokens;
    for (int i = 0; i < 5; ++i) tokens += s.Tokenize(" ,", pos).str() + "|";
    EXPECT_EQ(tokens, "a|b|c|||");
    EXPECT_EQ(pos, -1);
    CString one("word");
    pos = 0;
    EXPECT_EQ(one.Tokenize(" ", pos), "word");
    EXPECT_EQ(one.Tokenize(" ", pos), "");
    EXPECT_EQ(pos, -1);
}

TEST(CStringTest, OrdersByBytesAlsoInsideContainers) {
    // Comparing the const char* conversions would order by address instead.
    std::vector<CString> a{CString("B")}, b{CString("A")};
    EXPECT_TRUE(b < a);
    EXPECT_FALSE(a < b);
    std::pair<CString, int> p1{"abc", 2}, p2{"abd", 1};
    EXPECT_TRUE(p1 < p2);
    EXPECT_TRUE(CString("Z") > CString("A"));
    EXPECT_TRUE(CString("") < CString("a"));
}
