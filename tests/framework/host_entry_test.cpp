// Tests of the exported host entry: a record published by a static object before the registry's own
// static set-up survives, and GetTestList copes with a missing host or control.
#include <gtest/gtest.h>

#include "framework/result_screen.h"
#include "framework/test_base.h"
#include "framework/test_record.h"
#include "tests/support/output.h"

using namespace support;

namespace {

class EarlyTest : public CTestBase {
public:
    EarlyTest() {
        // Like a board root: built at load, before the framework's statics, publishing at once.
        s_registryWasSetUp = CTestRegistry::Instance().IsSetUp();
        CTestRegistry::Instance().AddTest("Early\\Leaf`+1", "CEarlyTest", 1, this, "DEV0 <CEarlyTest>");
        BufferPreHostText("Create class CEarlyTest\n");
    }
    DWORD Run(CString) override { return *g_StopFlag() ? kRunStopped : kRunPassed; }
    static inline bool s_registryWasSetUp = true;
};

EarlyTest s_early;

TEST(HostEntry, EarlyRecordSurvivesAndTheHandOverToleratesMissingParts) {
    EXPECT_FALSE(EarlyTest::s_registryWasSetUp);
    EXPECT_EQ(*g_StopFlag(), 0);  // no host flag yet: a harmless stand-in
    // No host, then a host without an output control: the list is handed over, the early text stays buffered.
    int stop = 0;
    TestList* list = GetTestList(nullptr, &stop);
    ASSERT_EQ(list ? list->count : 0, 2);
    EXPECT_EQ(list->records[1]->m_sortKey, "1");
    FakeHost blind(nullptr);
    EXPECT_EQ(GetTestList(&blind, &stop), list);
    EXPECT_EQ(GetCachedOutputCtrl(), nullptr);
    EXPECT_EQ(CTestBase::TakePreHostText(FALSE), "Create class CEarlyTest\n");

    // A proper host gets the early text raw behind what its control holds, then the records' owners print into it.
    FakeRichEdit ctrl;
    FakeHost host(&ctrl);
    ctrl.m_text = "banner\n";
    EXPECT_EQ(GetTestList(&host, &stop), list);
    EXPECT_TRUE(ctrl.m_runs.empty() && CTestBase::TakePreHostText(FALSE) == "") << "raw: no formatted run; the buffer emptied";
    CTestBase* owner = list->records[1]->m_owner;
    owner->PrintColor("PASS\n", kColorGreen);
    EXPECT_EQ(ctrl.m_text, "banner\nCreate class CEarlyTest\nPASS\n");
    EXPECT_EQ(owner->Run(list->records[1]->m_command), kRunPassed);
    stop = 1;  // the host's stop flag is the one the tests read now
    EXPECT_EQ(owner->Run(list->records[1]->m_command), kRunStopped);
    EXPECT_EQ(CTestRegistry::Instance().AddTest("Late", "C", 1, nullptr, ""), 1u);  // the list is closed
    EXPECT_EQ(list->count, 2);
    GetResultScreen().SetHost(nullptr);
}

}  // namespace
