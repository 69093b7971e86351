// CString: the original string class's behaviours that callers depend on.
#include "platform/cstring.h"

#include <gtest/gtest.h>

#include <cstring>
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

TEST(CStringTest, FindAnswersMinusOneWhenAbsent) {
    CString s("abcabc");
    EXPECT_EQ(s.Find('c'), 2);
    EXPECT_EQ(s.Find('c', 3), 5);
    EXPECT_EQ(s.Find('z'), -1);
    EXPECT_EQ(s.Find('a', 6), -1);
    EXPECT_EQ(s.Find('a', -1), -1);
    EXPECT_EQ(s.Find("bc", 2), 4);
    EXPECT_EQ(s.Find("cab"), 2);
    EXPECT_EQ(s.Find("abd"), -1);
    EXPECT_EQ(s.Find("a", 7), -1);
    EXPECT_EQ(s.ReverseFind('b'), 4);
    EXPECT_EQ(s.FindOneOf("xc"), 2);
}

TEST(CStringTest, LeftMidRightClip) {
    CString s("abcdef");
    EXPECT_EQ(s.Left(2), "ab");
    EXPECT_EQ(s.Left(-1), "");
    EXPECT_EQ(s.Left(99), "abcdef");
    EXPECT_EQ(s.Mid(4), "ef");
    EXPECT_EQ(s.Mid(6), "");
    EXPECT_EQ(s.Mid(99), "");
    EXPECT_EQ(s.Mid(-3, 2), "ab");
    EXPECT_EQ(s.Mid(1, 99), "bcdef");
    EXPECT_EQ(s.Mid(2, -1), "");
    EXPECT_EQ(s.Right(2), "ef");
    EXPECT_EQ(s.Right(99), "abcdef");
    EXPECT_EQ(s.Right(-5), "");
}

TEST(CStringTest, TrimBlanksAndSets) {
    EXPECT_EQ(CString("\t\r\n abc d \n").Trim(), "abc d");
    EXPECT_EQ(CString("  x  ").TrimLeft(), "x  ");
    EXPECT_EQ(CString("  x  ").TrimRight(), "  x");
    EXPECT_EQ(CString("xyxabcx").TrimLeft("xy"), "abcx");
    EXPECT_EQ(CString("xyxabcx").TrimRight('x'), "xyxabc");
    EXPECT_EQ(CString(" \t ").Trim(), "");
}

TEST(CStringTest, CaseAndComparison) {
    EXPECT_EQ(CString("Mixed 1a_z").MakeUpper(), "MIXED 1A_Z");
    EXPECT_EQ(CString("MiXeD").MakeLower(), "mixed");
    EXPECT_FALSE(CString("abc") == "ABC");
    EXPECT_TRUE(CString("abc") == CString("abc"));
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

TEST(CStringTest, TokenizeSkipsDelimiterRuns) {
    CString s("  a, b,,c ");
    int pos = 0;
    EXPECT_EQ(s.Tokenize(" ,", pos), "a");
    EXPECT_EQ(s.Tokenize(" ,", pos), "b");
    EXPECT_EQ(s.Tokenize(" ,", pos), "c");
    EXPECT_EQ(s.Tokenize(" ,", pos), "");
    EXPECT_EQ(pos, -1);
    EXPECT_EQ(s.Tokenize(" ,", pos), "");
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
