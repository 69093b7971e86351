// A tree-map root built at load, as the board roots are: it publishes per board, buffers its early text,
// and runs its child with arguments through the command of a record the host got from GetTestList.
// Its own program: the root must publish into the process-wide registry before any host attaches.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/output.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "framework/tree_map_tb.h"

using namespace support;

namespace {

class ChildTest : public CWexalTreeMapTB {
public:
    ChildTest() : CWexalTreeMapTB("Child") {}
    DWORD Run(CString arguments) override {
        CString arg;
        if (!CParamString(arguments).GetValue("ARG", arg) || !GetDevice()) return kRunFailed;
        Print("~*GREEN*~Child ran on " + GetDevice()->GetTag() + " with ARG=" + arg + "~*BLACK*~\n");
        return kRunPassed;
    }
};

class RootTest : public CWexalTreeMapTB {
public:
    RootTest() : CWexalTreeMapTB("CRootTest") {
        SetCodeName("CRootTest");
        m_child.AddToMap(this);
        RegisterSelf();
        PrintColor("Root built\n", kColorGreen);
        Print("~*RED*~marked~*BLACK*~ early text\n");
        PublishTests("Tests\\Child test", "Child test <Child ARG=1>", nullptr);
    }
    DWORD Run(CString command) override {
        CString object, name, arguments;
        CTestBase* test = FindTest(command, object, name, arguments);
        if (!test) {
            CString o, child, a;
            SplitCommandLine(command, o, child, a);
            PrintColorFormat(kColorRed, "ERROR:  Unable to find test[%s]", child.c_str());
            return kRunFailed;
        }
        if (SetupDevice(object) != kRunPassed) return kRunFailed;
        for (auto& [childName, child] : *GetChildMap())
            if (auto* tree = dynamic_cast<CWexalTreeMapTB*>(child)) tree->TakeBoardIF(this);
        return test == this ? kRunPassed : test->Run(arguments);
    }
    ChildTest m_child;
};

RootTest g_root;

TEST(TreeMapHost, ARecordsCommandRunsTheChildOnItsBoard) {
    FakeRichEdit window;
    FakeHost host(&window);
    int stop = 0;
    TestList* list = GetTestList(&host, &stop);
    ASSERT_NE(list, nullptr);

    // What was printed while loading reaches the window as plain text.
    EXPECT_EQ(window.m_text, "Root built\nmarked early text\n");

    std::vector<TestRecord*> leaves;
    for (int i = 0; i < list->count; ++i)
        if (list->records[i]->m_isLeaf) leaves.push_back(list->records[i]);
    ASSERT_EQ(leaves.size(), 2u);  // the default rig: Brimola1 and Nuxa1
    EXPECT_EQ(leaves[0]->m_command, "Brimola1 Child test <Child ARG=1>");
    EXPECT_EQ(leaves[1]->m_command, "Nuxa1 Child test <Child ARG=1>");
    EXPECT_EQ(leaves[0]->m_codeName, "CRootTest");
    ASSERT_EQ(leaves[0]->m_owner, &g_root);

    EXPECT_EQ(leaves[0]->m_owner->Run(leaves[0]->m_command), kRunPassed);
    // Now attached, the child's mark-up is turned into formats.
    ASSERT_GE(window.m_runs.size(), 2u);
    EXPECT_EQ(window.m_runs.end()[-2].text, "Child ran on Brimola1 with ARG=1");
    EXPECT_EQ(window.m_runs.end()[-2].format.crTextColor, kColorGreen);
    EXPECT_EQ(g_root.m_child.GetBoardIF().GetOwner(), &g_root.m_child);  // the binding handed over, owned by the child
    EXPECT_EQ(leaves[1]->m_owner->Run(leaves[1]->m_command), kRunPassed);
    EXPECT_NE(window.m_text.find("Child ran on Nuxa1 with ARG=1\n"), std::string::npos);

    EXPECT_EQ(g_root.Run("Brimola1 Child test <Nobody ARG=1>"), kRunFailed);
    EXPECT_NE(window.m_text.find("ERROR:  Unable to find test[Nobody]"), std::string::npos);
}

}  // namespace
