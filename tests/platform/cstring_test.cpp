// CString: the original string class's behaviours that callers depend on.
#include "platform/cstring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

TEST(CStringTest, EndsAtFirstNulAndFormatIsPrintfOfAnyLength) {
    EXPECT_EQ(CString("ab\0cd", 5).GetLength(), 2);
    CString s("abc");
    std::strcpy(s.GetBuffer(10), "hel\0lo");
    s.ReleaseBuffer();
    EXPECT_EQ(s, "hel");
    s.Replace('e', '\0');
    EXPECT_EQ(s, "h");
    // Format is printf of any length.
    s.Format("%5.2f|%-4d|%s|%08lX", 3.14159, 7, "x", 0xBEEFul);
    EXPECT_EQ(s, " 3.14|7   |x|0000BEEF");
    s.Format("<%s>", std::string(1500, 'q').c_str());  // past any fixed first buffer
    EXPECT_EQ(s.GetLength(), 1502);
}

TEST(CStringTest, SearchesSlicesTrimsCaseReplaceRemoveAndTokenizeAnswerAsTheOriginal) {
    const CString s("abcabc"), t("abcdef");
    const std::pair<int, int> found[] = {  // {got, want}: -1 when absent
        {s.Find('c', 3), 5}, {s.Find('a', 6), -1}, {s.Find('a', -1), -1}, {s.Find("bc", 2), 4},
        {s.Find("abd"), -1}, {s.Find("a", 7), -1}, {s.ReverseFind('b'), 4}, {s.FindOneOf("xc"), 2},
    };
    for (size_t i = 0; i < std::size(found); ++i) EXPECT_EQ(found[i].first, found[i].second) << "find row " << i;
    const std::pair<CString, const char*> cut[] = {  // {got, want}: ranges clipped, never past the ends
        {t.Left(-1), ""},          {t.Left(99), "abcdef"},       {t.Mid(4), "ef"},      {t.Mid(99), ""},
        {t.Mid(-3, 2), "ab"},      {t.Mid(1, 99), "bcdef"},      {t.Mid(2, 3), "cde"},  {t.Right(2), "ef"},
        {t.Right(-5), ""},         {CString("\t\r\n abc d \n").Trim(), "abc d"},       {CString(" \t ").Trim(), ""},
        {CString("xyxabcx").TrimLeft("xy"), "abcx"},             {CString("xyxabcx").TrimRight('x'), "xyxabc"},
        // A text made only of trim characters trims to nothing from either side.
        {CString(" \t\r\n").TrimLeft(), ""},  {CString(" \t\r\n").TrimRight(), ""},  {CString("\n").Trim(), ""},
        {CString("xyyx").TrimLeft("xy"), ""},   {CString("xyyx").TrimRight("yx"), ""},
        {CString("xxx").TrimLeft('x'), ""},     {CString("x").TrimRight('x'), ""},
        {CString("Mixed 1a_z").MakeUpper(), "MIXED 1A_Z"},       {CString("MiXeD").MakeLower(), "mixed"},
    };
    for (size_t i = 0; i < std::size(cut); ++i) EXPECT_EQ(cut[i].first, cut[i].second) << "cut row " << i;
    EXPECT_EQ(CString("abc").CompareNoCase("ABC"), 0);
    EXPECT_GT(CString("B").CompareNoCase("a"), 0);
    EXPECT_LT(CString("ABC").Compare("abc"), 0);  // byte order: upper case first
    // Containers compare by bytes too; the const char* conversions would order by address.
    EXPECT_TRUE(std::vector<CString>{"A"} < std::vector<CString>{"B"} && CString("Z") > CString("A"));
    CString a("aaaa");
    EXPECT_EQ(a.Replace("aa", "a"), 2);  // left to right, no rescan of what was put in
    EXPECT_EQ(a, "aa");
    EXPECT_EQ(a.Replace("", "x"), 0);
    EXPECT_EQ(a.Remove('a'), 2);
    // Runs of delimiters are skipped; at the end the position stays -1.
    CString list("  a, b,,c ");
    int pos = 0;
    std::string tokens;
    for (int i = 0; i < 5; ++i) tokens += list.Tokenize(" ,", pos).str() + "|";
    EXPECT_EQ(tokens, "a|b|c|||");
    EXPECT_EQ(pos, -1);
}
