// Tests of the test-tree file parser, its leaf-path walks and the path queue.
#include "framework/dir_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

struct DirTreeTest : ::testing::Test {
    support::TempDir dir;
    int files = 0;
    CString Write(const std::string& text) { return dir.Write("tree" + std::to_string(files++) + ".txt", text).c_str(); }
    // All queued paths of a tree read from text, joined with "|".
    std::string Paths(CDirTree& tree, const std::string& text, const char* sep = "\\") {
        EXPECT_EQ(tree.Parse(Write(text)), 1);
        std::string out;
        for (CStringQueue q(&tree, sep); q.GetCount() > 0; q.Pop()) out += (out.empty() ? "" : "|") + q.GetFront(FALSE).str();
        return out;
    }
};

TEST_F(DirTreeTest, LeafPathsOrderedPathsAndTheQueue) {
    const struct { const char* name; std::string text; const char* paths; size_t warnings; } rows[] = {
        {"groups and nesting", "Group1\n{\n\tLeafA\n\tLeafB\n}\nGroup2\n{\n\tSub\n\t{\n\t\tDeep\n\t}\n\tLeafC\n}\nLonely\n",
         "\\Group1\\LeafA|\\Group1\\LeafB|\\Group2\\Sub\\Deep|\\Group2\\LeafC", 0},
        {"brace after the name, CRLF", "G{\r\n\tL1\r\n}\r\n", "\\G\\L1", 0}, {"a block on one line", "P{X Y}", "\\P\\X Y", 0},
        {"blanks and # belong to names; a tab ends a name before a comment",
         "# header\nG\t# about G\n{\n\tName # note\n\tTest  \n\tLeaf\t# comment\n}\n", "\\G\\Name # note|\\G\\Test  |\\G\\Leaf", 0},
        {"a blank after a name starts the next; stray characters skipped", "G\n{\n\tA\n  B\n\t*C\n}\n", "\\G\\A|\\G\\  B|\\G\\C", 0},
        {"a second block joins the level of the closer", "R\n{\n\tG\n\t{\n\t\tA\n\t}\n\t{\n\t\tB\n\t}\n\tC\n}\n", "\\R\\G\\A|\\R\\B", 2},
        {"extra closers are ignored", "}\nG\n{\n\tL\n}\n}\n}\nH\n{\n\tM\n}\n", "\\G\\L|\\H\\M", 3},
        {"a file ending in a name loses it; open levels are reported", "G\n{\n\tL1\n\tL2", "\\G\\L1", 2},
    };
    for (const auto& row : rows) {
        CDirTree tree("");
        EXPECT_EQ(Paths(tree, row.text), row.paths) << row.name;
        EXPECT_EQ(tree.GetWarnings().size(), row.warnings) << row.name;
    }
    CDirTree tree("");
    Paths(tree, "}\nG\n{\n\tL\n}\n}\n}\n");
    EXPECT_EQ(tree.GetWarnings().at(2), "line 7: \"}\" without an open \"{\" is ignored");
    // Binary junk and NUL bytes neither crash nor invent levels; a missing file or a folder is 2.
    CDirTree junk("");
    EXPECT_EQ(junk.Parse(Write(std::string("G\n{\n\t\x01\x02\xff\0A\n}\n\0\0}}}{{", 20))), 1);
    EXPECT_EQ(junk.Parse(dir.File("none.txt").c_str()), 2);
    CDirTree twice("");  // a second parse appends
    ASSERT_EQ(twice.Parse(Write("G\n{\n\tA\n}\n")), 1);
    EXPECT_EQ(Paths(twice, "H\n{\n\tB\n}\n"), "\\G\\A|\\H\\B");
    // Very many siblings and a deep nesting: walks and destruction must not recurse per node.
    std::string wide = "G\n{\n", deep;
    for (int i = 0; i < 200000; ++i) wide += "\tL" + std::to_string(i) + "\n";
    for (int i = 0; i < 5000; ++i) deep += "N{";
    CDirTree big(""), nested("");
    const std::string paths = Paths(big, wide + "}\n");
    EXPECT_EQ(std::count(paths.begin(), paths.end(), '|'), 199999);
    EXPECT_EQ(Paths(nested, deep + "\n\tLeaf\n").size(), 5000u * 2 + 5);
    // Ordered trees: marks and order numbers in the paths.
    CDirTreeOrdered ordered("");
    EXPECT_EQ(Paths(ordered, "Memory`(Checked)\n{\n\tFill`(Unchecked,Optional:Slow)\n\tCompare`(Checked,Optional)\n"
                          "\tPlain\n\tSub\n\t{\n\t\tInner`(Unchecked)\n\t}\n}\nVideo`(#10)\n{\n\tA\n\tB`(Checked)\n}\n"),
              "Memory`+0\\Fill`=Slow0|Memory`+0\\Compare`#1|Memory`+0\\Plain`2|Memory`+0\\Sub`3\\Inner`-0|"
              "Video`10\\A`10|Video`10\\B`+11");
    EXPECT_EQ(CStringQueue(&ordered, "\\").GetFront(TRUE), "Memory\\Fill");
    LONG base = 0;
    EXPECT_EQ(ordered.GetNodeName("X`(Checked#5)", &base, 0), "X`+0");  // "#n" beside a mark is not read
    EXPECT_EQ(ordered.GetNodeName("Over`(#99999999999)", &base, 0), "Over`2147483647");
    // The queue hands out paths once; Print lists them.
    CDirTree plain("");
    ASSERT_EQ(plain.Parse(Write("G\n{\n\tA\n\tB\n}\n")), 1);
    CStringQueue q(&plain, "\\");
    EXPECT_TRUE(q.Pop() && q.Pop());
    EXPECT_FALSE(q.Pop());  // the final empty front stays
    q.Refill("\\");
    q.Refill("\\");
    EXPECT_EQ(q.GetCount(), 4u);  // refill without consuming doubles every path
    ::testing::internal::CaptureStdout();
    plain.Print();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "\\G\\A\n\\G\\B\n\n");
}

}  // namespace
