// Tests of the test-tree file parser, its leaf-path walks and the path queue.
#include "framework/dir_tree.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class DirTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/pextreeXXXXXX";
        m_dir = ::mkdtemp(tmpl);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    CString Write(const std::string& text) {
        std::string p = m_dir + "/tree" + std::to_string(m_count++) + ".txt";
        FILE* f = std::fopen(p.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
        return CString(p.c_str());
    }

    // All queued paths of a tree read from text.
    std::vector<std::string> Paths(CDirTree& tree, const std::string& text, const char* sep = "\\") {
        EXPECT_EQ(tree.Parse(Write(text)), 1);
        CStringQueue q(&tree, sep);
        std::vector<std::string> out;
        for (; q.GetCount() > 0; q.Pop()) out.push_back(q.GetFront(FALSE).c_str());
        return out;
    }

    std::vector<std::string> Paths(const std::string& text) {
        CDirTree tree("");
        return Paths(tree, text);
    }

    std::string m_dir;
    int m_count = 0;
};

using Strings = std::vector<std::string>;

TEST_F(DirTreeTest, BracesGroupNamesIntoLeafPaths) {
    EXPECT_EQ(Paths("Group1\n{\n\tLeafA\n\tLeafB\n}\nGroup2\n{\n\tSub\n\t{\n\t\tDeep\n\t}\n\tLeafC\n}\nLonely\n"),
              (Strings{"\\Group1\\LeafA", "\\Group1\\LeafB", "\\Group2\\Sub\\Deep", "\\Group2\\LeafC"}));
    // "{" directly after the name, CRLF line ends, another separator.
    CDirTree tree("");
    EXPECT_EQ(Paths(tree, "G{\r\n\tL1\r\n\tL2\r\n}\r\n", "/"), (Strings{"/G/L1", "/G/L2"}));
    // Childless top-level names and the head give nothing.
    EXPECT_EQ(Paths("A\nB\nC\n"), Strings{});
}

TEST_F(DirTreeTest, NamesKeepBlanksAndCommentsNeedATab) {
    // Blanks and "#" inside a name belong to it; a tab ends the name before a comment.
    EXPECT_EQ(Paths("# header line\nG\t# about G\n{\n\tName # note\n\tTest  \n\tTest\n\tLeaf\t# comment\n}\n"),
              (Strings{"\\G\\Name # note", "\\G\\Test  ", "\\G\\Test", "\\G\\Leaf"}));
    // After a name a blank starts the next name; other stray characters outside names are skipped.
    EXPECT_EQ(Paths("G\n{\n\tA\n  B\n\t*C\n}\n"), (Strings{"\\G\\A", "\\G\\  B", "\\G\\C"}));
    // A comment without a line end runs to the end of the text.
    EXPECT_EQ(Paths("G\n{\n\tA\n}\n# trailing { B }"), (Strings{"\\G\\A"}));
}

TEST_F(DirTreeTest, StrayAndEmptyBraces) {
    // A "{" with no name before it is ignored, also a second block right after a "}": its names
    // join the level of the "}" and its own "}" then has nothing to close.
    CDirTree tree("");
    EXPECT_EQ(Paths(tree, "{\nG\n{\n\tA\n}\n{\n\tB\n}\n"), (Strings{"\\G\\A"}));
    EXPECT_EQ(tree.GetWarnings().size(), 3u);
    CDirTree inner("");
    EXPECT_EQ(Paths(inner, "R\n{\n\tG\n\t{\n\t\tA\n\t}\n\t{\n\t\tB\n\t}\n\tC\n}\n"),
              (Strings{"\\R\\G\\A", "\\R\\B"}));
    // Empty braces leave the first-child flag: the next name becomes that node's child.
    EXPECT_EQ(Paths("G\n{\n}\nX\n"), (Strings{"\\G\\X"}));
}

TEST_F(DirTreeTest, MalformedFilesAreReadSafelyAndReported) {
    // More closing than opening braces: the extra ones are ignored, and said so.
    CDirTree tree("");
    EXPECT_EQ(Paths(tree, "}\nG\n{\n\tL\n}\n}\n}\nH\n{\n\tM\n}\n"), (Strings{"\\G\\L", "\\H\\M"}));
    ASSERT_EQ(tree.GetWarnings().size(), 3u);
    EXPECT_EQ(tree.GetWarnings()[0], "line 1: \"}\" without an open \"{\" is ignored");
    EXPECT_EQ(tree.GetWarnings()[2], "line 7: \"}\" without an open \"{\" is ignored");

    // A file that ends inside a name loses it; open levels need no closing but are reported.
    CDirTree cut("");
    EXPECT_EQ(Paths(cut, "G\n{\n\tL1\n\tL2"), (Strings{"\\G\\L1"}));
    ASSERT_EQ(cut.GetWarnings().size(), 2u);
    EXPECT_NE(cut.GetWarnings()[0].Find("\"L2\""), -1);
    EXPECT_NE(cut.GetWarnings()[1].Find("not closed"), -1);

    // A "}" right after a name ends that name.
    EXPECT_EQ(Paths("G{\n\tA}\nH{\n\tB\n}\n"), (Strings{"\\G\\A", "\\H\\B"}));
    EXPECT_EQ(Paths("P{X Y}"), (Strings{"\\P\\X Y"}));

    // Binary junk and NUL bytes neither crash nor invent levels.
    std::string junk("G\n{\n\t\x01\x02\xff\0A\n}\n\0\0}}}{{", 20);
    CDirTree j("");
    EXPECT_EQ(j.Parse(Write(junk)), 1);

    // A missing file.
    CDirTree missing("");
    EXPECT_EQ(missing.Parse(CString((m_dir + "/none.txt").c_str())), 2);
    EXPECT_EQ(missing.Parse(CString(m_dir.c_str())), 2);  // a folder is not a file
}

TEST_F(DirTreeTest, ParseAppendsAndLargeFilesStayIterative) {
    CDirTree tree("");
    ASSERT_EQ(tree.Parse(Write("G\n{\n\tA\n}\n")), 1);
    ASSERT_EQ(tree.Parse(Write("H\n{\n\tB\n}\n")), 1);
    CStringQueue q(&tree, "\\");
    EXPECT_EQ(q.GetCount(), 2u);

    // Very many siblings and a deep nesting: walks and destruction must not recurse per node.
    std::string wide = "G\n{\n";
    for (int i = 0; i < 200000; ++i) wide += "\tL" + std::to_string(i) + "\n";
    wide += "}\n";
    std::string deep;
    for (int i = 0; i < 5000; ++i) deep += "N{";
    deep += "\n\tLeaf\n";
    {
        CDirTree big("");
        Strings paths = Paths(big, wide);
        ASSERT_EQ(paths.size(), 200000u);
        EXPECT_EQ(paths.back(), "\\G\\L199999");
        CDirTree nested("");
        Strings one = Paths(nested, deep);
        ASSERT_EQ(one.size(), 1u);
        EXPECT_EQ(one[0].size(), 5000u * 2 + 5);
    }
}

TEST_F(DirTreeTest, OrderedPathsCarryMarksAndOrderNumbers) {
    CDirTreeOrdered tree("");
    Strings paths = Paths(tree,
                          "Memory`(Checked)\n{\n\tFill`(Unchecked,Optional:Slow)\n\tCompare`(Checked,Optional)\n"
                          "\tPlain\n\tSub\n\t{\n\t\tInner`(Unchecked)\n\t}\n}\n"
                          "Video`(#10)\n{\n\tA\n\tB`(Checked)\n}\n");
    EXPECT_EQ(paths, (Strings{"Memory`+0\\Fill`=Slow0", "Memory`+0\\Compare`#1", "Memory`+0\\Plain`2",
                              "Memory`+0\\Sub`3\\Inner`-0", "Video`10\\A`10", "Video`10\\B`+11"}));
    // The base read from "#10" stays for later walks.
    EXPECT_EQ(tree.GetOrderBase(), 10);

    CStringQueue q(&tree, "\\");
    EXPECT_EQ(q.GetFront(TRUE), "Memory\\Fill");
    q.Pop();
    q.Pop();
    q.Pop();
    EXPECT_EQ(q.GetFront(TRUE), "Memory\\Sub\\Inner");
}

TEST_F(DirTreeTest, NodeNamesFromMarks) {
    CDirTreeOrdered t("");
    LONG base = 0;
    EXPECT_EQ(t.GetNodeName("Memory`(Checked)", &base, 2), "Memory`+2");
    EXPECT_EQ(t.GetNodeName("Video`(Unchecked,Optional:Slow)", &base, 0), "Video`=Slow0");
    EXPECT_EQ(t.GetNodeName("Group`(#10)", &base, 3), "Group`13");
    EXPECT_EQ(base, 10);
    // "#n" beside Checked or Unchecked is not read; a name without marks keeps its text.
    EXPECT_EQ(t.GetNodeName("X`(Checked#5)", &base, 0), "X`+10");
    EXPECT_EQ(base, 10);
    EXPECT_EQ(t.GetNodeName("Plain (not marks)", &base, 1), "Plain (not marks)`11");
    EXPECT_EQ(t.GetNodeName("Odd`)(", &base, 0), "Odd`)(`10");
    EXPECT_EQ(t.GetNodeName("Empty`()", &base, 0), "Empty`10");
    EXPECT_EQ(t.GetNodeName("Over`(#99999999999)", &base, 0), "Over`2147483647");
}

TEST_F(DirTreeTest, QueueHandsOutPathsOnce) {
    CDirTree tree("");
    ASSERT_EQ(tree.Parse(Write("G\n{\n\tA\n\tB\n}\n")), 1);
    CStringQueue q(&tree, "\\");
    EXPECT_EQ(q.GetFront(FALSE), "\\G\\A");
    EXPECT_TRUE(q.Pop());
    EXPECT_EQ(q.GetFront(FALSE), "\\G\\B");
    EXPECT_TRUE(q.Pop());
    EXPECT_EQ(q.GetFront(FALSE), "");  // the final empty front
    EXPECT_FALSE(q.Pop());
    // Refill without consuming doubles every path.
    q.Refill("\\");
    q.Refill("\\");
    EXPECT_EQ(q.GetCount(), 4u);
    // Stripping needs a grave accent in every segment.
    EXPECT_EQ(q.GetFront(TRUE), "");
}

TEST_F(DirTreeTest, PrintListsLeafPathsAndAnEmptyLine) {
    CDirTree tree("");
    ASSERT_EQ(tree.Parse(Write("G\n{\n\tA\n\tB\n}\n")), 1);
    ::testing::internal::CaptureStdout();
    tree.Print();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "\\G\\A\n\\G\\B\n\n");

    CDirTreeOrdered ordered("");
    ASSERT_EQ(ordered.Parse(Write("G\n{\n\tA\n\tB\n}\n")), 1);
    ::testing::internal::CaptureStdout();
    ordered.PrintFrom(5);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "G`5\\A`5\nG`5\\B`6\n\n");

    CDirTree empty("");
    ::testing::internal::CaptureStdout();
    empty.Print();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "\n");
}

}  // namespace
