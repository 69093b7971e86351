// Tests of the test registry: folder building, record fields, key marks and sort, hand-over.
#include "framework/test_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/result_screen.h"
#include "framework/test_base.h"
#include "tests/support/output.h"

using namespace support;

namespace {

class NullTest : public CTestBase {
public:
    DWORD Run(CString) override { return kRunPassed; }
};

std::vector<TestRecord*> Records(TestList* list) {
    return list->count ? std::vector<TestRecord*>(list->records, list->records + list->count) : std::vector<TestRecord*>{};
}

std::vector<std::string> Names(TestList* list) {
    std::vector<std::string> names;
    for (TestRecord* r : Records(list)) names.push_back(r->m_name.str());
    return names;
}

TEST(TestRegistry, FoldersComeFirstInPublishingOrderWithTheirParents) {
    CTestRegistry reg;
    NullTest owner;
    EXPECT_EQ(reg.AddTest("D1\\Group\\TestA", "CBrimolaBoardTests", 1, &owner, "BRIMOLA0 <CWexal Test A>"), 0u);
    EXPECT_EQ(reg.AddTest("D1\\Group\\TestB", "CBrimolaBoardTests", 1, &owner, "BRIMOLA0 <CWexal Test B>"), 0u);
    EXPECT_EQ(reg.GetCount(), 4);

    std::vector<TestRecord*> r = Records(reg.DetachList());
    ASSERT_EQ(r.size(), 4u);
    const TestRecord& d1 = *r[0];
    EXPECT_EQ(d1.m_name, "D1");
    EXPECT_EQ(d1.m_displayText, "D1");
    EXPECT_EQ(d1.m_command, "");
    EXPECT_EQ(d1.m_codeName, "@#$__NOCODENAME__$#@");
    EXPECT_EQ(d1.m_sortKey, "");
    EXPECT_EQ(d1.m_owner, nullptr);
    EXPECT_EQ(d1.m_isLeaf, FALSE);
    EXPECT_EQ(d1.m_publisherFlag, 0u);
    EXPECT_EQ(d1.m_checked, TRUE);
    EXPECT_EQ(d1.m_checked2, TRUE);
    EXPECT_EQ(d1.m_word44, 0u);
    EXPECT_EQ(d1.m_word52, 3u);
    EXPECT_EQ(d1.m_parent, nullptr);

    EXPECT_EQ(r[1]->m_name, "Group");
    EXPECT_EQ(r[1]->m_parent, r[0]);

    const TestRecord& a = *r[2];
    EXPECT_EQ(a.m_name, "TestA");
    EXPECT_EQ(a.m_displayText, "CBrimolaBoardTests");
    EXPECT_EQ(a.m_codeName, "CBrimolaBoardTests");
    EXPECT_EQ(a.m_command, "BRIMOLA0 <CWexal Test A>");
    EXPECT_EQ(a.m_owner, &owner);
    EXPECT_EQ(a.m_isLeaf, TRUE);
    EXPECT_EQ(a.m_publisherFlag, 1u);
    EXPECT_EQ(a.m_checked, TRUE);
    EXPECT_EQ(a.m_checked2, TRUE);
    EXPECT_EQ(a.m_optional, FALSE);
    EXPECT_EQ(a.m_word52, 3u);
    EXPECT_EQ(a.m_parent, r[1]);
    EXPECT_EQ(r[3]->m_name, "TestB");
    EXPECT_EQ(r[3]->m_parent, r[1]);
}

TEST(TestRegistry, LeavesAreNeverMergedAndFolderLookupIsExact) {
    CTestRegistry reg;
    reg.AddTest("Top", "C", 0, nullptr, "");
    reg.AddTest("Top", "C", 0, nullptr, "");  // same path twice: two leaves
    reg.AddTest("A\\x", "C", 0, nullptr, "");
    reg.AddTest("a\\y", "C", 0, nullptr, "");  // names are case-sensitive
    reg.AddTest("A\\A\\z", "C", 0, nullptr, "");  // same name under another parent
    EXPECT_EQ(reg.FindFolder("A", nullptr)->m_name, "A");
    EXPECT_EQ(reg.FindFolder("Top", nullptr)->m_isLeaf, TRUE);  // the leaf flag is not tested
    EXPECT_EQ(reg.FindFolder("B", nullptr), nullptr);
    TestRecord* upperA = reg.FindFolder("A", nullptr);
    EXPECT_EQ(reg.FindFolder("A", upperA)->m_parent, upperA);
    EXPECT_EQ(Names(reg.DetachList()), (std::vector<std::string>{"Top", "Top", "A", "x", "a", "y", "A", "z"}));
}

TEST(TestRegistry, SeparatorOnlyPathsGiveEmptyNames) {
    CTestRegistry reg;
    reg.AddTest("\\\\", "C", 0, nullptr, "");
    reg.AddTest("F\\", "C", 0, nullptr, "");
    std::vector<TestRecord*> r = Records(reg.DetachList());
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0]->m_name, "");
    EXPECT_EQ(r[1]->m_name, "");
    EXPECT_EQ(r[1]->m_parent, r[0]);
    EXPECT_EQ(r[2]->m_name, "");
    EXPECT_EQ(r[2]->m_isLeaf, TRUE);
    EXPECT_EQ(r[2]->m_parent, r[1]);
    EXPECT_EQ(r[4]->m_name, "");
    EXPECT_EQ(r[4]->m_parent, r[3]);
}

TEST(TestRegistry, PopPathSegmentTakesTheTextBeforeTheFirstSeparator) {
    char buffer[32];
    std::strcpy(buffer, "a\\bc\\d");
    CString segment = "unchanged";
    EXPECT_TRUE(PopPathSegment(buffer, segment));
    EXPECT_EQ(segment, "a");
    EXPECT_STREQ(buffer, "bc\\d");
    EXPECT_TRUE(PopPathSegment(buffer, segment));
    EXPECT_EQ(segment, "bc");
    EXPECT_STREQ(buffer, "d");
    EXPECT_FALSE(PopPathSegment(buffer, segment));
    EXPECT_EQ(segment, "bc");
    EXPECT_STREQ(buffer, "d");
}

TEST(TestRegistry, SetUpIsGuardedSoEarlyRecordsSurvive) {
    CTestRegistry reg;
    // A publisher that runs before the registry's own set-up.
    EXPECT_TRUE(reg.AppendRecord(new TestRecord));
    reg.AddTest("Early", "C", 1, nullptr, "");
    reg.Init();
    reg.Init();
    EXPECT_EQ(reg.GetCount(), 2);
    EXPECT_EQ(reg.DetachList()->count, 2);
}

TEST(TestRegistry, KeyMarksSetTheCheckedAndOptionalFlags) {
    CTestRegistry reg;
    reg.AddTest("Boards`#1\\Scan`+2", "CCode", 1, nullptr, "");
    reg.AddTest("A`=", "CCode", 1, nullptr, "");
    reg.AddTest("Off`-3", "CCode", 1, nullptr, "");
    reg.AddTest("Plain`x7", "CCode", 1, nullptr, "");
    reg.AddTest("Two`tick`s", "CCode", 1, nullptr, "");
    std::vector<TestRecord*> r = Records(reg.DetachList());
    ASSERT_EQ(r.size(), 6u);
    auto find = [&](const char* name) -> const TestRecord& {
        for (TestRecord* t : r)
            if (t->m_name == name) return *t;
        ADD_FAILURE() << "no record " << name;
        return *r[0];
    };

    const TestRecord& boards = find("Boards");  // folder: display text follows the name
    EXPECT_EQ(boards.m_displayText, "Boards");
    EXPECT_EQ(boards.m_sortKey, "1");
    EXPECT_EQ(boards.m_checked, TRUE);
    EXPECT_EQ(boards.m_optional, TRUE);

    const TestRecord& scan = find("Scan");  // leaf: display text stays the code name
    EXPECT_EQ(scan.m_displayText, "CCode");
    EXPECT_EQ(scan.m_sortKey, "2");
    EXPECT_EQ(scan.m_checked, TRUE);
    EXPECT_EQ(scan.m_optional, FALSE);

    const TestRecord& a = find("A");
    EXPECT_EQ(a.m_sortKey, "");
    EXPECT_EQ(a.m_checked, FALSE);
    EXPECT_EQ(a.m_checked2, FALSE);
    EXPECT_EQ(a.m_optional, TRUE);

    const TestRecord& off = find("Off");
    EXPECT_EQ(off.m_sortKey, "3");
    EXPECT_EQ(off.m_checked, FALSE);
    EXPECT_EQ(off.m_optional, FALSE);

    const TestRecord& plain = find("Plain");  // not a mark: stays in the key, flags untouched
    EXPECT_EQ(plain.m_sortKey, "x7");
    EXPECT_EQ(plain.m_checked, TRUE);
    EXPECT_EQ(plain.m_optional, FALSE);

    EXPECT_EQ(find("Two`tick").m_sortKey, "s");  // the last backtick splits
}

TEST(TestRegistry, WithoutKeysTheOrderOfPublicationStays) {
    CTestRegistry reg;
    reg.AddTest("Z\\b", "C", 1, nullptr, "");
    reg.AddTest("A\\a", "C", 1, nullptr, "");
    reg.AddTest("M`=", "C", 1, nullptr, "");  // a mark alone leaves an empty key: no sort
    EXPECT_EQ(Names(reg.DetachList()), (std::vector<std::string>{"Z", "b", "A", "a", "M"}));
}

TEST(TestRegistry, SortFollowsTheKeysAlongEachPath) {
    CTestRegistry reg;
    reg.AddTest("T`3", "C", 1, nullptr, "");
    reg.AddTest("B`2\\L2`0", "C", 1, nullptr, "");
    reg.AddTest("A`1\\L1`9", "C", 1, nullptr, "");
    reg.AddTest("X`5\\a", "C", 1, nullptr, "");
    reg.AddTest("X`4\\b", "C", 1, nullptr, "");  // a different folder before the key pass
    reg.AddTest("U", "C", 1, nullptr, "");        // no key: sorts before every key
    std::vector<TestRecord*> r = Records(reg.DetachList());
    std::vector<std::string> got;
    for (TestRecord* t : r) got.push_back((t->m_name + "/" + t->m_sortKey).str());
    EXPECT_EQ(got, (std::vector<std::string>{"U/", "A/1", "L1/9", "B/2", "L2/0", "T/3", "X/4", "b/", "X/5", "a/"}));
    EXPECT_NE(r[6], r[8]);
    EXPECT_EQ(r[7]->m_parent, r[6]);
    EXPECT_EQ(r[9]->m_parent, r[8]);
}

TEST(TestRegistry, CompareByKeyPathOrdersFoldersBeforeTheirContents) {
    TestRecord top, child, other;
    top.m_sortKey = "1";
    child.m_sortKey = "0";
    child.m_parent = &top;
    other.m_sortKey = "1";
    EXPECT_LT(TestRecord::CompareByKeyPath(&top, &child), 0);
    EXPECT_GT(TestRecord::CompareByKeyPath(&child, &top), 0);
    EXPECT_EQ(TestRecord::CompareByKeyPath(&top, &other), 0);
    EXPECT_GT(TestRecord::CompareByKeyPath(&child, &other), 0);
    other.m_sortKey = "10";  // byte order
    EXPECT_LT(TestRecord::CompareByKeyPath(&child, &other), 0);
}

TEST(TestRegistry, NothingPublishedHandsOverAnEmptyList) {
    CTestRegistry reg;
    TestList* list = reg.DetachList();
    EXPECT_EQ(list->count, 0);
    EXPECT_EQ(list->records, nullptr);
}

TEST(TestRegistry, RecordsAddedAfterTheHandOverAreRefused) {
    CTestRegistry reg;
    reg.AddTest("F\\Leaf", "C", 1, nullptr, "");
    TestList* list = reg.DetachList();
    TestRecord** records = list->records;
    EXPECT_EQ(reg.AddTest("F\\Late", "C", 1, nullptr, ""), 1u);
    EXPECT_EQ(reg.AddTest("New\\Late", "C", 1, nullptr, ""), 1u);
    EXPECT_FALSE(reg.AppendRecord(new TestRecord));
    EXPECT_EQ(reg.GetCount(), 2);
    EXPECT_EQ(reg.FindFolder("F", nullptr), nullptr);
    // A second hand-over answers the same list.
    EXPECT_EQ(reg.DetachList(), list);
    EXPECT_EQ(list->count, 2);
    EXPECT_EQ(list->records, records);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"F", "Leaf"}));
}

struct HandOverFixture : ::testing::Test {
    CTestRegistry reg;
    CResultScreen screen;
    FakeRichEdit ctrl;
    int stop = 0;
    HandOverFixture() { CTestBase::TakePreHostText(TRUE); }
    ~HandOverFixture() override { CTestBase::TakePreHostText(TRUE); }
};

TEST_F(HandOverFixture, AttachesTheHostAndAppendsEarlyTextRaw) {
    reg.AddTest("Leaf", "C", 1, nullptr, "");
    CTestBase::BufferPreHostText("Create class ~*RED*~X\n");
    FakeHost host(&ctrl);
    ctrl.m_text = "host banner\n";
    TestList* list = reg.HandOver(screen, &host, &stop);
    EXPECT_EQ(list->count, 1);
    EXPECT_EQ(reg.GetHost(), &host);
    EXPECT_EQ(reg.GetOutputCtrl(), &ctrl);
    EXPECT_EQ(reg.GetStopFlag(), &stop);
    EXPECT_EQ(screen.GetHost(), &host);
    EXPECT_EQ(ctrl.m_text, "host banner\nCreate class ~*RED*~X\n");
    EXPECT_TRUE(ctrl.m_runs.empty());
    EXPECT_EQ(CTestBase::TakePreHostText(FALSE), "");
}

TEST_F(HandOverFixture, NoHostOrNoControlKeepsTheEarlyTextForLater) {
    reg.AddTest("Leaf", "C", 1, nullptr, "");
    CTestBase::BufferPreHostText("early\n");
    TestList* list = reg.HandOver(screen, nullptr, &stop);
    EXPECT_EQ(list->count, 1);
    EXPECT_EQ(reg.GetHost(), nullptr);
    EXPECT_EQ(CTestBase::TakePreHostText(FALSE), "early\n");

    FakeHost blind(nullptr);
    EXPECT_EQ(reg.HandOver(screen, &blind, &stop), list);
    EXPECT_EQ(reg.GetHost(), &blind);
    EXPECT_EQ(reg.GetOutputCtrl(), nullptr);
    EXPECT_EQ(CTestBase::TakePreHostText(FALSE), "early\n");

    FakeHost host(&ctrl);
    EXPECT_EQ(reg.HandOver(screen, &host, &stop), list);
    EXPECT_EQ(ctrl.m_text, "early\n");
    EXPECT_EQ(CTestBase::TakePreHostText(FALSE), "");
}

TEST_F(HandOverFixture, RefreshFetchesTheControlAgain) {
    FakeHost host(nullptr);
    reg.HandOver(screen, &host, &stop);
    EXPECT_EQ(reg.GetOutputCtrl(), nullptr);
    host.m_ctrl = &ctrl;
    CResultScreen other;
    reg.RefreshHostAttachment(other);
    EXPECT_EQ(reg.GetOutputCtrl(), &ctrl);
    EXPECT_EQ(other.GetHost(), &host);

    CTestRegistry none;
    CResultScreen untouched;
    none.RefreshHostAttachment(untouched);
    EXPECT_EQ(untouched.GetHost(), nullptr);
}

}  // namespace
